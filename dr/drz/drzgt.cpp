/* The SQL statement scanner: tokens of a statement text in the connection's
 * character set, keywords through a first-letter index, and the raise that
 * every part of the rewrite reports its errors with. It never returns an
 * error: the caller's error frame catches what it raises. */
#include <cstdlib>
#include <cstring>

#include "dr/dru/drue.h"
#include "dr/drz/drzint.h"

namespace {

/* Pairs of an expected token code and the database error raised when the
 * token is missing. */
struct expect {
  int16_t code;
  int16_t err;
};
constexpr expect kExpect[] = {
    {5, 914},    {18, 924},   {75, 952},   {77, 954},   {73, 993},   {225, 906},  {229, 907},
    {131, 908},  {219, 917},  {70, 923},   {93, 925},   {208, 926},  {221, 927},  {172, 928},
    {226, 929},  {232, 930},  {199, 946},  {22, 958},   {194, 966},  {213, 967},  {83, 968},
    {136, 969},  {214, 970},  {175, 971},  {227, 982},  {139, 994},  {190, 1703}, {134, 1710},
    {80, 1738},  {113, 1739}, {102, 1900}, {162, 1901}, {171, 1902}, {59, 1903},  {41, 1904},
    {188, 1905}, {15, 1906},  {196, 1907}, {62, 1908},  {160, 1909}, {195, 1910}, {32, 1911},
    {163, 1912}, {60, 1913},  {206, 2012}, {30, 2013},  {99, 2026},  {64, 2029}};

/* Database errors of the scanner. */
constexpr int32_t kMissing = 905;
constexpr int32_t kBadChar = 911;
constexpr int32_t kPastEnd = 921;
constexpr int32_t kLongName = 972;
constexpr int32_t kLongLiteral = 1704;
constexpr int32_t kOpenQuoted = 1740;
constexpr int32_t kEmptyQuoted = 1741;
constexpr int32_t kOpenComment = 1742;
constexpr int32_t kOpenLiteral = 1756;
constexpr int32_t kLongNumber = 1768;
constexpr int32_t kOverflow = 1426;
constexpr int32_t kLongLinkName = 2086;

constexpr int32_t kNameMax = 30;      /* bytes of a name */
constexpr int32_t kLinkNameMax = 128; /* bytes of a quoted name right after "@" */
constexpr size_t kNumberMax = 255;    /* bytes of a number */

/* Characters of the text as the connection's character set cuts them. A
 * single-byte set needs no call into the national-language layer. */
struct chars {
  const nlscs *cs;
  bool single;
  const char *end;
  /* Bytes of the character at p (p before end); a character cut off by the
   * end of the text counts as one byte, so that scanning always moves on. */
  size_t width(const char *p) const {
    if (single) return 1;
    size_t w = nlsclen(cs, p, static_cast<size_t>(end - p));
    return w ? w : 1;
  }
  /* Class flags of the character of w bytes at p. */
  uint16_t cls(const char *p, size_t w) const {
    return w == 1 ? cs->cls[static_cast<unsigned char>(*p)] : nlscls(cs, p, w);
  }
};

chars charsof(const drzgtstate *gt) {
  return {gt->charset, (gt->charset->flags & NLS_CS_SINGLE) != 0, gt->cur.end};
}

bool isdigit1(char c) { return c >= '0' && c <= '9'; }

/* The code of the keyword equal to the n bytes of word, searched from start
 * while the records begin with the word's first byte; 1 when none is. */
uint16_t kwfind(const drzgtkw *tab, int32_t count, int32_t start, const char *word, size_t n) {
  for (int32_t i = start; i < count && tab[i].text[0] == word[0]; i++)
    if (tab[i].len == n && n <= sizeof tab[i].text && std::memcmp(tab[i].text, word, n) == 0)
      return static_cast<uint16_t>(tab[i].code);
  return DRZGT_IDENT;
}

/* Reads a quoted name or literal that starts at p (on the opening quote)
 * into the token text, a doubled quote standing for one; returns the
 * position after the closing quote. */
const char *quoted(drsrvstate *st, drzgtstate *gt, const chars &ch, const char *p, char quote,
                   int32_t limit, int32_t toolong, int32_t open, int32_t *n) {
  const char *q = p + 1;
  *n = 0;
  for (;;) {
    if (q >= ch.end) drzgterr(st, DRZ_DB | open);
    size_t w = ch.width(q);
    if (w == 1 && *q == quote) {
      if (q + 1 >= ch.end || q[1] != quote) return q + 1;
      q++; /* the first of the two stands for the one written below */
    }
    if (*n + static_cast<int32_t>(w) > limit) drzgterr(st, DRZ_DB | toolong);
    std::memcpy(gt->toktext + *n, q, w);
    *n += static_cast<int32_t>(w);
    q += w;
  }
}

}  // namespace

void *drzalloc(drsrvstate *st, size_t size, const char *file, int line) {
  void *b = rthpalloc(st->hpmgr, st->cmdhp, size, RTHP_ZERO, file, line);
  if (!b) drzgterr(st, 10900);
  return b;
}

void drzfree(drsrvstate *st, void *block) {
  if (block) rthpfree(st->hpmgr, st->cmdhp, block, 0);
}

void drzgkindex(const drzgtkw *table, int32_t count, uint16_t *index) {
  if (count > 0xFFFF) count = 0xFFFF;
  if (count < 0) count = 0;
  std::memset(index, 0, DRZGT_IDXLEN * sizeof *index);
  index[0] = static_cast<uint16_t>(count);
  unsigned letter = 'A';
  for (int32_t i = 0; i < count; i++) {
    unsigned first = static_cast<unsigned char>(table[i].text[0]);
    if (first == '&') {
      index[0] = static_cast<uint16_t>(i);
      break;
    }
    while (first > letter && letter <= 'Z') letter++;
    if (first == letter && letter <= 'Z') {
      index[letter - 'A' + 1] = static_cast<uint16_t>(i);
      letter++;
    }
  }
}

drzgtstate *drzgtnew(drsrvstate *st, const drzgtkw *table, int32_t count, const char *text,
                     int32_t len) {
  auto *gt = static_cast<drzgtstate *>(drzalloc(st, sizeof(drzgtstate), __FILE__, __LINE__));
  if (table && count > 0) {
    auto *idx =
        static_cast<uint16_t *>(drzalloc(st, DRZGT_IDXLEN * sizeof(uint16_t), __FILE__, __LINE__));
    drzgkindex(table, count, idx);
    gt->table = table;
    gt->tabcount = count;
    gt->index = idx;
  } else {
    gt->table = drzgtdeftab;
    gt->tabcount = DRZGT_DEFCOUNT;
    gt->index = drzgtdefidx;
  }
  if (!text || len < 0) len = 0;
  gt->text = text ? text : "";
  gt->textlen = len;
  gt->charset = dracncs(st);
  gt->nlsenv = dracnlang(st);
  nlscurset(&gt->cur, gt->charset, gt->text, static_cast<size_t>(len));
  gt->tokstart = gt->cur;
  return gt;
}

void drzgtfree(drsrvstate *st, drzgtstate **gt) {
  if (!gt || !*gt) return;
  if ((*gt)->index != drzgtdefidx) drzfree(st, const_cast<uint16_t *>((*gt)->index));
  drzfree(st, *gt);
  *gt = nullptr;
}

uint16_t drzgtnext(drsrvstate *st, drzgtstate *gt) {
  gt->flags &= static_cast<uint16_t>(~DRZGT_QUOTED);
  if (gt->flags & DRZGT_ATEND) drzgterr(st, DRZ_DB | kPastEnd);
  const chars ch = charsof(gt);
  const nlscs *cs = gt->charset;
  const char *p = gt->cur.pos;
  const char *end = ch.end;

  /* White space, stray NUL bytes and comments. */
  while (p < end) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (ch.width(p) != 1) break;
    if (c == 0 || (cs->cls[c] & NLS_SPACE)) {
      p++;
    } else if (c == '/' && p + 1 < end && p[1] == '*') {
      const char *q = p + 2;
      while (q < end && !(*q == '*' && q + 1 < end && q[1] == '/')) q += ch.width(q);
      if (q >= end) {
        gt->cur.pos = end;
        drzgterr(st, DRZ_DB | kOpenComment);
      }
      p = q + 2;
    } else if (c == '-' && p + 1 < end && p[1] == '-') {
      p += 2;
      while (p < end && *p != '\n') p += ch.width(p);
      if (p < end) p++;
    } else {
      break;
    }
  }
  gt->cur.pos = p;
  gt->tokstart = gt->cur;
  if (p >= end) {
    gt->flags |= DRZGT_ATEND;
    gt->flags &= static_cast<uint16_t>(~DRZGT_LONGNAME);
    gt->token = DRZGT_EOT;
    gt->toklen = 0;
    gt->toktext[0] = 0;
    return DRZGT_EOT;
  }

  const size_t w = ch.width(p);
  const unsigned char c = static_cast<unsigned char>(*p);
  const uint16_t cls = ch.cls(p, w);
  const char *next = p + w; /* where the token ends */
  int32_t n = 0;            /* bytes of the token text */
  uint16_t code;
  if (w == 1 && c == '"') {
    bool longname = (gt->flags & DRZGT_LONGNAME) != 0;
    next = quoted(st, gt, ch, p, '"', longname ? kLinkNameMax : kNameMax,
                  longname ? kLongLinkName : kLongName, kOpenQuoted, &n);
    if (n == 0) drzgterr(st, DRZ_DB | kEmptyQuoted);
    gt->flags |= DRZGT_QUOTED;
    code = DRZGT_IDENT;
  } else if (w == 1 && c == '\'') {
    next = quoted(st, gt, ch, p, '\'', DRZGT_TEXTMAX, kLongLiteral, kOpenLiteral, &n);
    code = DRZGT_STRING;
  } else if (w == 1 && (isdigit1(*p) || (c == '.' && p + 1 < end && isdigit1(p[1])))) {
    /* The reader takes no white space after the number, in any set. */
    size_t taken = 0;
    rtnumread(p, static_cast<size_t>(end - p), RTNUM_PREFIX, &gt->number, &taken);
    if (taken > kNumberMax) drzgterr(st, DRZ_DB | kLongNumber);
    if (rtnumovf(&gt->number)) drzgterr(st, DRZ_DB | kOverflow);
    std::memcpy(gt->toktext, p, taken);
    n = static_cast<int32_t>(taken);
    next = p + taken;
    code = DRZGT_NUMBER;
  } else if (cls & NLS_ALPHA) {
    const char *q = p;
    while (q < end) {
      size_t cw = ch.width(q);
      uint16_t k = ch.cls(q, cw);
      bool part =
          (k & NLS_ALPHA) || (cw == 1 && ((k & NLS_DIGIT) || *q == '_' || *q == '$' || *q == '#'));
      if (!part) break;
      if (n + static_cast<int32_t>(cw) > kNameMax) drzgterr(st, DRZ_DB | kLongName);
      if (cw == 1)
        gt->toktext[n] = static_cast<char>(cs->upper[static_cast<unsigned char>(*q)]);
      else
        nlsupper(cs, gt->toktext + n, cw + 1, q, cw);
      n += static_cast<int32_t>(cw);
      q += cw;
    }
    next = q;
    code = DRZGT_IDENT;
    /* Only a name that starts with a single-byte letter A to Z can be a keyword. */
    if (w == 1 && gt->toktext[0] >= 'A' && gt->toktext[0] <= 'Z')
      code = kwfind(gt->table, gt->tabcount, gt->index[gt->toktext[0] - 'A' + 1], gt->toktext,
                    static_cast<size_t>(n));
  } else if (w == 1 && c == '<' && p + 1 < end && p[1] == '<') {
    std::memcpy(gt->toktext, "<<", 2);
    n = 2;
    next = p + 2;
    code = DRZGT_SHL;
  } else {
    std::memcpy(gt->toktext, p, w);
    n = static_cast<int32_t>(w);
    code = 0;
    if (w == 1 && ch.single && c == '|') {
      code = DRZGT_BAR;
    } else if (w == 1 && ch.single && c == '@') {
      code = DRZGT_AT;
    } else if (w == 1) {
      for (int32_t i = gt->index[0]; i < gt->tabcount; i++) {
        if (static_cast<unsigned char>(gt->table[i].text[0]) == c) {
          code = static_cast<uint16_t>(gt->table[i].code);
          break;
        }
      }
    }
    if (code == 0) drzgterr(st, DRZ_DB | kBadChar);
  }
  gt->toktext[n] = 0;
  gt->toklen = static_cast<uint16_t>(n);
  gt->flags &= static_cast<uint16_t>(~DRZGT_LONGNAME);
  gt->token = code;
  gt->cur.pos = next;
  return code;
}

uint16_t drzgtkeyw(drsrvstate *st, drzgtstate *gt) {
  (void)st;
  if (gt->token != DRZGT_IDENT || (gt->flags & DRZGT_QUOTED) || gt->toklen == 0) return gt->token;
  char first = gt->toktext[0];
  if (first < 'A' || first > 'Z') return gt->token;
  gt->token =
      kwfind(drzgtexttab, DRZGT_EXTCOUNT, drzgtextidx[first - 'A'], gt->toktext, gt->toklen);
  return gt->token;
}

void drzgtexpect(drsrvstate *st, drzgtstate *gt, int code) {
  if (gt->token == code) return;
  for (const expect &e : kExpect)
    if (e.code == code) drzgterr(st, DRZ_DB | e.err);
  drzgterr(st, DRZ_DB | kMissing);
}

void drzgtskip(drsrvstate *st, drzgtstate *gt, int code) {
  drzgtexpect(st, gt, code);
  drzgtnext(st, gt);
}

void drzgterr(drsrvstate *st, int32_t code) {
  int32_t fac = st->facid[DRFAC_DRG];
  if (code & DRZ_DB) {
    char text[2050];
    druotxt(st, code & 0xFFFF, text, sizeof text);
    rtfrmraise(st->msg, fac, DRUE_DBTEXT, 2, DRA_STR, text, 0);
  } else {
    rtfrmraise(st->msg, fac, code, 2, DRA_STR, "", 0);
  }
  /* No frame to jump to: the caller broke the rule that the scanner runs
   * under one, and nothing after this point could be trusted. */
  std::abort();
}

void drzierr(drsrvstate *st, const char *file, int line) {
  rtfrmraise(st->msg, st->facid[DRFAC_DRG], 50100, 2, DRA_STR, file, DRA_INT, line, 0);
  std::abort();
}

void drzgttext(drsrvstate *st, drzgtstate *gt, char *buf, size_t size, uint16_t *len) {
  (void)st;
  if (len) *len = gt->toklen;
  if (!buf || size == 0) return;
  size_t n = gt->toklen < size - 1 ? gt->toklen : size - 1;
  n = nlswhole(gt->charset, gt->toktext, n);
  std::memcpy(buf, gt->toktext, n);
  buf[n] = 0;
}

void drzgtpos(drsrvstate *st, drzgtstate *gt, int32_t *pos) {
  (void)st;
  *pos = static_cast<int32_t>(gt->cur.pos - gt->text);
}
