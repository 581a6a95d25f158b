// The fuzzy provider of the word list: LIKE patterns pre-select indexed
// words, from the word table when the list keeps one (every distinct word
// once, where the token table holds each word in many rows) and else through
// the engine, and the matcher ranks them against the query word; in fuzzy
// mode 2 a Japanese word instead gets patterns that spell out the usual kana
// variants, and every word they find comes back unranked.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dr/dras/dras.h"
#include "dr/dras/drengops.h"
#include "dr/dru/drub.h"
#include "dr/drwa/drwa.h"
#include "linguistics/fuzzy/fzm.h"
#include "platform/nls/nls.h"

namespace {

// What the engine pushes when a pattern finds more words than it may hand out.
constexpr int kEngineCap = 50400;
// Longest word the text buffer of a result takes, with its terminator.
constexpr uint32_t kItem = 256;
constexpr uint32_t kBlock = 32768;

struct drwafrec {
  drubbuf *tb;
  const char **arr;
  drwafrec *next;
};

struct drwafadp {
  drsrvstate *st;
  drobj *eng;
  drwaobj *wl; /* the word list, whose table stands in for the engine's */
  drheap heap;
  fzmobj *fzm;
  drwafrec *first, *last;
};

drwafadp *adp(drwaprov *p) { return static_cast<drwafadp *>(p->adp); }

void give(drsrvstate *st, drheap h, void *p) {
  if (p) drumfre(st, st->hpmgr, h, &p);
}

void drwaferr(drsrvstate *st, int code, const char *profile) {
  switch (code) {
    case 0: return;
    case FZM_ENOOBJ:
    case FZM_ENOMEM:
      dracnierr(st, DRFAC_DRG, DRWA_EFMEM, 0, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
      break;
    case FZM_EFILE:
    case FZM_EOPEN:
      dracnerr(st, DRFAC_DRG, DRWA_EFPROF, 0, DRA_STR, profile ? profile : "", 0);
      break;
    default:
      dracnierr(st, DRFAC_DRG, DRWA_EFUZZ, 0, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT, code,
                0);
      break;
  }
  druetrc();
}

// Keeps one of every run of equal candidates after sorting; the new count.
int32_t drwafuniq(drsrvstate *st, char **c, int32_t n) {
  const nlscs *cs = dracncs(st);
  std::sort(c, c + n, [cs](const char *a, const char *b) { return nlscmp(cs, a, b) < 0; });
  return static_cast<int32_t>(
      std::unique(c, c + n, [cs](const char *a, const char *b) { return nlscmp(cs, a, b) == 0; }) -
      c);
}

// Appends a result record; 0, or 1 after freeing what it would hold.
int keep(drwafadp *a, drubbuf *tb, const char **arr) {
  auto *r = static_cast<drwafrec *>(
      drumalc(a->st, a->st->hpmgr, a->heap, 1, sizeof(drwafrec), __FILE__, __LINE__));
  if (!r) {
    give(a->st, a->heap, arr);
    drubfre(tb);
    return 1;
  }
  *r = {tb, arr, nullptr};
  (a->last ? a->last->next : a->first) = r;
  a->last = r;
  return 0;
}

// The index's words matching the patterns, each once, in *cands (session
// heap) with their texts in tb; 0 or 1. More than the candidate limit are
// cut at the limit, with a log line, rather than failing the query.
int candidates(drwafadp *a, const char *const *pats, int32_t npats, drubbuf *tb, char ***cands,
               int32_t *n) {
  drsrvstate *st = a->st;
  *n = 0;
  *cands = static_cast<char **>(
      drumalc(st, st->hpmgr, a->heap, DRWA_CANDS, sizeof(char *), __FILE__, __LINE__));
  if (!*cands) return 1;
  if (drwaqtable(a->wl)) {
    bool cut = false;
    if (drwaqpats(a->wl, pats, npats, tb, *cands, n, DRWA_CANDS, &cut) != 0) return 1;
    if (cut)
      dracnprt(st, st->log, "word list: fuzzy candidates cut at %(1)s\n", DRA_INT,
               static_cast<int>(DRWA_CANDS), 0);
    // Nothing in the table may mean a table not filled yet (a word list
    // added to an index made before it): the token table then answers.
    if (*n > 0) {
      *n = drwafuniq(st, *cands, *n);
      return 0;
    }
  }
  if (!a->eng) return 0;
  int rc = drops<drengops>(a->eng)->lik(a->eng, pats, npats, tb, *cands, n, DRWA_CANDS);
  if (rc != 0) {
    int top = rtmsgcnt(st->msg);
    if (*n < DRWA_CANDS || top <= 0 || rtmsgnum(st->msg, top) != kEngineCap) return 1;
    rtmsgdel(st->msg, top);
    dracnprt(st, st->log, "word list: fuzzy candidates cut at %(1)s\n", DRA_INT,
             static_cast<int>(DRWA_CANDS), 0);
  }
  *n = drwafuniq(st, *cands, *n);
  return 0;
}

// Upper-cases patterns in place: the index's words are upper case.
void upcase(drsrvstate *st, char *buf, int32_t n) {
  const nlscs *cs = dracncs(st);
  for (int32_t i = 0; i < n; ++i) {
    size_t len = std::strlen(buf);
    nlsupper(cs, buf, len + 1, buf, len);
    buf += len + 1;
  }
}

int drwaflike(drwafadp *a, const char *word, char **buf, const char ***pats, int32_t *n) {
  drsrvstate *st = a->st;
  int size = 4096, count = 0, rc = 0;
  for (;;) {
    *buf = static_cast<char *>(
        drumalc(st, st->hpmgr, a->heap, static_cast<size_t>(size), 1, __FILE__, __LINE__));
    if (!*buf) return 1;
    rc = fzmlike(a->fzm, word, *buf, size, &count);
    if (rc != FZM_ETOOLONG || size >= (1 << 20)) break;
    give(st, a->heap, *buf);
    size *= 2;
  }
  if (rc != 0 || count <= 0) {
    if (rc != 0) drwaferr(st, rc, nullptr);
    give(st, a->heap, *buf);
    *buf = nullptr;
    return 1;
  }
  upcase(st, *buf, count);
  *pats = static_cast<const char **>(drumalc(st, st->hpmgr, a->heap, static_cast<size_t>(count),
                                             sizeof(char *), __FILE__, __LINE__));
  if (!*pats) {
    give(st, a->heap, *buf);
    *buf = nullptr;
    return 1;
  }
  fzmsplit(*buf, *pats, count);
  *n = count;
  return 0;
}

int drwafrank(drwafadp *a, const char *word, char **cands, int32_t n, const char ***out,
              int32_t *outn) {
  drsrvstate *st = a->st;
  int pool = std::min<int32_t>(n, DRWA_POOL);
  auto **words = static_cast<const char **>(drumalc(st, st->hpmgr, a->heap,
                                                    static_cast<size_t>(pool) + 1,
                                                    sizeof(char *), __FILE__, __LINE__));
  auto *scores = static_cast<uint16_t *>(drumalc(st, st->hpmgr, a->heap,
                                                 static_cast<size_t>(pool) + 1, sizeof(uint16_t),
                                                 __FILE__, __LINE__));
  int got = 0;
  int rc = words && scores ? fzmmatch(a->fzm, word, DRWA_THRESHOLD, pool, cands, n, words,
                                      scores, &got)
                           : FZM_ENOMEM;
  give(st, a->heap, scores);
  if (rc != 0) {
    if (words) drwaferr(st, rc, nullptr);
    give(st, a->heap, words);
    return 1;
  }
  *out = words;
  *outn = got;
  return 0;
}

// A word the patterns cannot serve: itself alone, in the index's case.
int alone(drwafadp *a, const char *word, const char ***out, int32_t *count) {
  drsrvstate *st = a->st;
  drubbuf *tb = drubnew(st, a->heap, kItem, nullptr, 0);
  if (!tb) return 1;
  char up[kItem];
  size_t len = std::min<size_t>(std::strlen(word), kItem - 1);
  nlsupper(dracncs(st), up, sizeof up, word, len);
  auto **arr = static_cast<const char **>(
      drumalc(st, st->hpmgr, a->heap, 1, sizeof(char *), __FILE__, __LINE__));
  if (!arr || !(arr[0] = drubadd(tb, up))) {
    give(st, a->heap, arr);
    drubfre(tb);
    return 1;
  }
  if (keep(a, tb, arr) != 0) return 1;
  *out = arr;
  *count = 1;
  return 0;
}

int drwafexp(drwaprov *p, const char *word, const char ***out, int32_t *count) {
  drwafadp *a = adp(p);
  drsrvstate *st = a->st;
  *out = nullptr;
  *count = 0;
  if (std::strlen(word) <= 2) return alone(a, word, out, count);
  char *pbuf = nullptr;
  const char **pats = nullptr;
  int32_t npats = 0;
  if (drwaflike(a, word, &pbuf, &pats, &npats) != 0) return 1;
  drubbuf *tb = drubnew(st, a->heap, kItem, nullptr, kBlock);
  char **cands = nullptr;
  int32_t n = 0;
  int rc = tb ? candidates(a, pats, npats, tb, &cands, &n) : 1;
  give(st, a->heap, pbuf);
  give(st, a->heap, pats);
  const char **ranked = nullptr;
  int32_t nranked = 0;
  if (rc == 0 && n > 0) rc = drwafrank(a, word, cands, n, &ranked, &nranked);
  give(st, a->heap, cands);
  if (rc != 0 || n == 0) {
    if (tb) drubfre(tb);
    return rc;
  }
  if (keep(a, tb, ranked) != 0) return 1;
  *out = ranked;
  *count = nranked;
  return 0;
}

int drwafexpja(drwaprov *p, const char *word, const char ***out, int32_t *count) {
  drwafadp *a = adp(p);
  drsrvstate *st = a->st;
  if (!drwafisja(st, word)) return drwafexp(p, word, out, count);
  *out = nullptr;
  *count = 0;
  char *pbuf = nullptr;
  const char **pats = nullptr;
  int32_t npats = 0;
  if (drwafjapat(st, word, &pbuf, &pats, &npats) != 0) return 1;
  drubbuf *tb = drubnew(st, a->heap, kItem, nullptr, kBlock);
  if (!tb) dracnierr(st, DRFAC_DRG, DRWA_ETBUF, 0, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
  char **cands = nullptr;
  int32_t n = 0;
  int rc = tb ? candidates(a, pats, npats, tb, &cands, &n) : 1;
  give(st, st->seshp, pbuf);
  give(st, st->seshp, pats);
  if (rc != 0 || n == 0) {
    give(st, a->heap, cands);
    if (tb) drubfre(tb);
    return rc;
  }
  auto **arr = const_cast<const char **>(cands);
  if (keep(a, tb, arr) != 0) return 1;
  *out = arr;
  *count = n;
  return 0;
}

int drwafself(drwaprov *p, const char *word, const char ***out, int32_t *count) {
  return alone(adp(p), word, out, count);
}

int drwafrel(drwaprov *p) {
  drwafadp *a = adp(p);
  if (!a) return 0;
  for (drwafrec *r = a->first; r;) {
    drwafrec *next = r->next;
    drubfre(r->tb);
    give(a->st, a->heap, r->arr);
    give(a->st, a->heap, r);
    r = next;
  }
  a->first = a->last = nullptr;
  return 0;
}

int drwaffree(drwaprov *p) {
  drwafadp *a = adp(p);
  if (!a) return 0;
  if (drwafrel(p) != 0)
    dracnierr(a->st, DRFAC_DRG, DRWA_EFREL, 0, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
  if (a->fzm) fzmfree(a->fzm);
  drsrvstate *st = a->st;
  give(st, st->seshp, a);
  p->adp = nullptr;
  return 0;
}

// ---- Japanese patterns, in EUC-JP ----

using bytes = std::string;
const bytes kPrefix[12][6] = {
    {""},
    {"\xA5\xD0", "\xA5\xF4\xA5\xA1"},
    {"\xA5\xD3", "\xA5\xF4\xA5\xA3"},
    {"\xA5\xD6", "\xA5\xF4", "\xA5\xF4\xA5\xA5"},
    {"\xA5\xD9", "\xA5\xF4\xA5\xA7"},
    {"\xA5\xDC", "\xA5\xF4\xA5\xA9"},
    {"\xA5\xC1", "\xA5\xC6", "\xA5\xC4\xA5\xA3", "\xA5\xC6\xA5\xA3"},
    {"\xA5\xC4", "\xA5\xC8\xA5\xA5"},
    {"\xA5\xC2\xA5\xE7", "\xA5\xB8\xA5\xE7"},
    {"\xA5\xC2", "\xA5\xC7", "\xA5\xB8", "\xA5\xC2\xA5\xA3", "\xA5\xC7\xA5\xA3"},
    {"\xA4\xBA", "\xA4\xC5"},
    {"\xA4\xB8", "\xA4\xC2"}};
const bytes kSuffix[6][6] = {{""},
                             {"\xA5\xF4", "\xA5\xD0", "\xA5\xD3", "\xA5\xD6", "\xA5\xD9", "\xA5\xDC"},
                             {"\xA5\xC1", "\xA5\xC6", "\xA5\xC4", "\xA5\xC8"},
                             {"\xA5\xC2", "\xA5\xC7", "\xA5\xB8"},
                             {"\xA4\xBA", "\xA4\xC5"},
                             {"\xA4\xB8", "\xA4\xC2"}};
const char *const kSmall[] = {"\xA4\xA1", "\xA4\xA3", "\xA4\xA5", "\xA4\xA7", "\xA4\xA9", "\xA4\xE3",
                              "\xA4\xE5", "\xA4\xE7", "\xA5\xA1", "\xA5\xA3", "\xA5\xA5", "\xA5\xA7",
                              "\xA5\xA9", "\xA5\xE3", "\xA5\xE5", "\xA5\xE7"};
const bytes kMarks[2][4] = {{"", "\xA1\xBC"}, {"", "\xA5\xC3", "\xA5\xF5", "\xA5\xF6"}};

bool startswith(const bytes &s, size_t at, const bytes &v) {
  return !v.empty() && s.size() >= at + v.size() && s.compare(at, v.size(), v) == 0;
}

bool smallkana(const bytes &s, size_t at) {
  for (const char *k : kSmall)
    if (startswith(s, at, k)) return true;
  return false;
}

const nlscs *eucjp() { return nlscsbyname("JA16EUC"); }

// Converts between sets; false when the conversion cannot be had.
bool convert(const nlscs *to, const nlscs *from, const char *src, size_t len, bytes *out) {
  if (to == from) {
    out->assign(src, len);
    return true;
  }
  out->assign(len * nlsratio(to, from) + 1, '\0');
  size_t used = 0;
  long n = nlsconv(to, out->data(), out->size(), from, src, len, &used);
  if (n < 0) return false;
  out->resize(static_cast<size_t>(n));
  return true;
}

}  // namespace

bool drwafisja(drsrvstate *st, const char *word) {
  const nlscs *cs = dracncs(st);
  const nlscs *euc = eucjp();
  if (!euc || !word || !*word || cs->maxwidth <= 1) return false;
  nlscur cur;
  nlscurset(&cur, cs, word, std::strlen(word));
  size_t clen = nlscurlen(&cur);
  if (clen < 2) return false;
  bytes e;
  if (!convert(euc, cs, word, clen, &e) || e.size() != 2) return false;
  // Kana (rows 4 and 5) or a kanji (rows 16 and up) of JIS X 0208.
  auto lead = static_cast<unsigned char>(e[0]);
  return lead == 0xA4 || lead == 0xA5 || (lead >= 0xB0 && lead <= 0xFE);
}

int drwafjapat(drsrvstate *st, const char *word, char **buf, const char ***pats,
               int32_t *count) {
  const nlscs *cs = dracncs(st);
  const nlscs *euc = eucjp();
  *buf = nullptr;
  *pats = nullptr;
  *count = 0;
  bytes e;
  if (!euc || !convert(euc, cs, word, std::strlen(word), &e)) return 1;
  const size_t L = e.size();
  int P = 0, S = 0, mrow = 1;
  size_t Lp = 0, Ls = 0, hb = 0, he = 0;
  auto lead = L ? static_cast<unsigned char>(e[0]) : 0;
  if (lead == 0xA4 || lead == 0xA5) {
    for (int r = 1; r < 12; ++r)
      for (const bytes &v : kPrefix[r])
        if (v.size() > Lp && v.size() <= L && startswith(e, 0, v)) {
          P = r;
          Lp = v.size();
        }
    if (L >= 2 && L - 2 >= Lp && (static_cast<unsigned char>(e[L - 2]) == 0xA4 ||
                                  static_cast<unsigned char>(e[L - 2]) == 0xA5)) {
      for (int r = 1; r < 6 && !S; ++r)
        for (const bytes &v : kSuffix[r])
          if (v.size() == 2 && e.compare(L - 2, 2, v) == 0) {
            S = r;
            Ls = 2;
            break;
          }
    }
    size_t at = std::min<size_t>(2, L);
    while (at < L && smallkana(e, at)) at += 2;
    hb = Lp;
    he = at > Lp ? at : Lp;
    mrow = 0;
  } else {
    hb = 0;
    he = L < 2 ? 0 : 2;
  }
  size_t mb = he;
  for (bool again = true; again;) {
    again = false;
    for (const bytes &m : kMarks[mrow])
      if (startswith(e, mb, m)) {
        mb += m.size();
        again = true;
        break;
      }
  }
  size_t me = L - Ls > mb ? L - Ls : mb;
  bytes head = e.substr(hb, he - hb), middle = e.substr(mb, me - mb);
  if ((Lp > 0 ? 4 : 0) + middle.size() + head.size() + Ls + 2 >= DRWA_JAWORK) {
    // Too long for the work area: no variants, and a head that leaves room
    // for a mark, the "%" and the terminator, cut on a whole character.
    P = S = 0;
    size_t room = DRWA_JAWORK - 4;
    head = e.substr(0, nlscut(euc, e.data(), L, std::min(L, room)));
    middle.clear();
  }
  bytes out;
  std::vector<size_t> starts;
  for (const bytes &a : kPrefix[P]) {
    if (&a != &kPrefix[P][0] && a.empty()) break;
    for (const bytes &m : kMarks[mrow]) {
      if (&m != &kMarks[mrow][0] && m.empty()) break;
      for (const bytes &c : kSuffix[S]) {
        if (&c != &kSuffix[S][0] && c.empty()) break;
        bytes pat = a + head + m + middle + c + "%";
        bytes back;
        if (!convert(cs, euc, pat.data(), pat.size(), &back)) return 1;
        starts.push_back(out.size());
        out += back;
        out += '\0';
      }
    }
  }
  *buf = static_cast<char *>(drumalc(st, st->hpmgr, st->seshp, out.size() + 1, 1, __FILE__, __LINE__));
  *pats = static_cast<const char **>(
      drumalc(st, st->hpmgr, st->seshp, starts.size() + 1, sizeof(char *), __FILE__, __LINE__));
  if (!*buf || !*pats) {
    give(st, st->seshp, *buf);
    give(st, st->seshp, *pats);
    *buf = nullptr;
    *pats = nullptr;
    return 1;
  }
  std::memcpy(*buf, out.data(), out.size());
  for (size_t i = 0; i < starts.size(); ++i) (*pats)[i] = *buf + starts[i];
  *count = static_cast<int32_t>(starts.size());
  return 0;
}

int drwafnew(drsrvstate *st, drwaprov *p, drobj *engine, int32_t fuzzmode, drwaobj *wl) {
  static int (*const kExp[])(drwaprov *, const char *, const char ***, int32_t *) = {
      drwafexp, drwafexp, drwafexpja, drwafself, drwafself};
  p->exp = kExp[fuzzmode >= 1 && fuzzmode <= 4 ? fuzzmode : 1];
  p->rel = drwafrel;
  p->destroy = drwaffree;
  auto *a = static_cast<drwafadp *>(
      drumalc(st, st->hpmgr, st->seshp, 1, sizeof(drwafadp), __FILE__, __LINE__));
  if (!a) return 1;
  *a = {st, engine, wl, st->seshp, nullptr, nullptr, nullptr};
  p->adp = a;
  char name[256] = "DEFAULT";
  int err = 0;
  a->fzm = fzmnew(st->hpmgr, st->seshp, name, &err);
  if (!a->fzm) {
    drwaferr(st, err ? err : FZM_ENOOBJ, name);
    return 1;
  }
  return 0;
}
