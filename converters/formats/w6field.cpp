// The Word 6 full reader's special characters (the current date and time,
// symbols, field begins), its fields, and the automatic numbers of
// paragraphs. Number texts are bounded: a Roman number or a run of letters
// is cut at 63 characters, whatever the counter holds.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "converters/formats/w6full.h"

namespace {

constexpr int knumtext = 64;

w6blk *blk(cxstate *st) { return static_cast<w6blk *>(st->w6blk); }

// Date and time pictures of the special characters.
const char *picture(int c) {
  switch (c) {
    case 10:
    case 39: return "6,3 1,4 ";
    case 11:
    case 28:
    case 38: return "7:9 ";
    case 14:
    case 15: return "6 ";
    case 16: return "1 ";
    case 22:
    case 23: return "8 ";
    case 24:
    case 25: return "9 ";
    case 27: return "0 ";
    case 29: return "3 1,4 ";
    case 30: return "2/1/5 ";
    case 33: return "2 ";
    case 34: return "4 ";
    case 35: return "5 ";
    case 36:
    case 37: return "3 ";
    default: return nullptr;
  }
}

const char *const kmonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};
const char *const kdays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// Appends s to out (bounded text of limit bytes); at most n characters.
void append(char *out, int *len, int limit, const char *s, int n = 1 << 30) {
  for (int i = 0; s[i] && i < n && *len < limit - 1; ++i) out[(*len)++] = s[i];
  out[*len] = 0;
}

void datetext(cxstate *st, const char *pic) {
  unsigned char now[8] = {};
  w6blk *b = blk(st);
  (b->clock ? b->clock : cxnow)(st, now);
  char text[60];
  w6datefmt(pic, text, sizeof text, now);
  for (const char *c = text; *c; ++c) cxputc(st, static_cast<unsigned char>(*c));
}

void roman(int32_t n, bool lower, char *out) {
  int len = 0;
  out[0] = 0;
  if (n <= 0) return;
  static const struct {
    int v;
    const char *s;
  } steps[] = {{1000, "M"}, {900, "CM"}, {500, "D"}, {400, "CD"}, {100, "C"}, {90, "XC"}, {50, "L"},
               {40, "XL"},  {10, "X"},   {9, "IX"},  {5, "V"},    {4, "IV"},  {1, "I"}};
  for (auto &s : steps)
    while (n >= s.v && len < knumtext - 1) {
      append(out, &len, knumtext, s.s);
      n -= s.v;
    }
  if (lower)
    for (char *c = out; *c; ++c) *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
}

// The position of a field's characters and its parts.
struct field {
  int32_t begin, codelen, sep, end;  // sep -1: no result
};

field scanfield(cxstate *st, w6doc *d, int32_t p) {
  field f{p, 0, -1, 0};
  int depth = 0;
  int32_t q = p + 1;
  int t;
  for (;; ++q) {
    t = w6readch(st, d, q);
    if (t == 19) {
      depth++;
    } else if (t == 20 || t == 21) {
      if (depth == 0) break;
      depth--;
    }
  }
  f.codelen = q - p - 1;
  if (t == 21) {
    f.end = q;
    return f;
  }
  f.sep = q;
  depth = 0;
  for (q = q + 1;; ++q) {
    int c = w6readch(st, d, q);
    if (c == 19) {
      depth++;
    } else if (c == 21) {
      if (depth == 0) break;
      depth--;
    }
  }
  f.end = q;
  return f;
}

bool keyword(const char *code, const char *word) {
  size_t n = std::strlen(word);
  for (size_t i = 0; i < n; ++i)
    if (std::toupper(static_cast<unsigned char>(code[i])) != word[i]) return false;
  return true;
}

void fields(cxstate *st, w6doc *d, int32_t *p, w6sep *s, const w6pap *pap, const w6chp *chp) {
  field f = scanfield(st, d, *p);
  auto *code = static_cast<char *>(w6alloc(st, f.codelen + 1));
  for (int32_t i = 0; i < f.codelen; ++i) code[i] = static_cast<char>(w6readch(st, d, *p + 1 + i));
  int32_t at = 0;
  while (at < f.codelen && code[at] == ' ') ++at;
  const char *c = code + at;
  auto result = [&](int32_t limit) {
    if (f.sep >= 0) w6storywalk(st, d, f.sep, limit, 3, s, pap, chp);
  };
  if (keyword(c, "TOC")) {
    w6zone(st, 6, 1);
    result(f.end - 1);
    auto *next = static_cast<w6pap *>(w6alloc(st, sizeof(w6pap)));
    w6parapropsat(st, d, f.end + 1, next);
    w6zone(st, 6, 0);
    w6paranum(st, d, s, next);
    w6dealloc(st, next);
  } else if (keyword(c, "GOTOBUTTON")) {
    // After the keyword: spaces, the target, spaces, then the display text.
    at += 10;
    while (at < f.codelen && code[at] == ' ') ++at;
    while (at < f.codelen && code[at] != ' ') ++at;
    while (at < f.codelen && code[at] == ' ') ++at;
    if (at < f.codelen) w6storywalk(st, d, *p + 1 + at, *p + 1 + f.codelen, 3, s, pap, chp);
  } else if (keyword(c, "INDEX") || keyword(c, "TOA")) {
    int zone = keyword(c, "INDEX") ? 7 : 8;
    w6zone(st, zone, 1);
    result(f.end - 1);
    w6zone(st, zone, 0);
  } else {
    result(f.end);
  }
  w6dealloc(st, code);
  *p = f.end;
}

}  // namespace

void w6datefmt(const char *pic, char *out, int size, const unsigned char *now) {
  int len = 0, limit = size - 9;
  char lead = 0;
  bool cut = false;
  out[0] = 0;
  if (limit <= 0) return;
  int year = 1980 + now[1], hour = now[4];
  auto number = [&](int n, bool leading) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%d", n % 100000);
    const char pad[2] = {lead, 0};
    if (leading && lead && n < 10) append(out, &len, size, pad);
    append(out, &len, size, digits);
  };
  auto name = [&](const char *n) { append(out, &len, size, n, cut ? 3 : 1 << 30); };
  for (const char *c = pic; *c && len < limit; ++c) {
    switch (*c) {
      case '$': lead = ' ', cut = true; continue;
      case '%': lead = '0', cut = true; continue;
      case '0': append(out, &len, size, hour < 12 ? "am" : "pm"); break;
      case '1': number(now[3], true); break;
      case '2': number(now[2], true); break;
      case '3': name(now[2] >= 1 && now[2] <= 12 ? kmonths[now[2] - 1] : ""); break;
      case '4': number(year, false); break;
      case '5': number(year % 100, false); break;
      case '6': name(now[0] <= 6 ? kdays[now[0]] : ""); break;
      case '7': number(hour == 0 ? 12 : hour, true); break;
      case '8': number(hour % 12 == 0 ? 12 : hour % 12, true); break;
      case '9': {
        char mm[4];
        std::snprintf(mm, sizeof mm, "%02d", now[5] % 100);
        append(out, &len, size, mm);
        break;
      }
      default:
        if (static_cast<unsigned char>(*c) >= 32) append(out, &len, size, c, 1);
        break;
    }
    lead = 0, cut = false;
  }
}

void w6numtext(int32_t n, int nfc, char *out) {
  out[0] = 0;
  switch (nfc) {
    case 0:
    case 6:
    case 7: std::snprintf(out, knumtext, "%u", static_cast<unsigned>(static_cast<uint16_t>(n))); break;
    case 1:
    case 2: roman(n, nfc == 2, out); break;
    case 3:
    case 4: {
      if (n <= 0) break;
      int times = (n - 1) / 26 + 1;
      if (times > knumtext - 1) times = knumtext - 1;
      char letter = static_cast<char>((nfc == 3 ? 'A' : 'a') + (n - 1) % 26);
      std::memset(out, letter, static_cast<size_t>(times));
      out[times] = 0;
      break;
    }
    case 5: {
      const char *sfx = n % 10 == 1 && n % 100 != 11   ? "st"
                        : n % 10 == 2 && n % 100 != 12 ? "nd"
                        : n % 10 == 3 && n % 100 != 13 ? "rd"
                                                       : "th";
      std::snprintf(out, knumtext, "%d%s", n, sfx);
      break;
    }
    default: break;
  }
}

void w6special(cxstate *st, w6doc *d, int c, int32_t *p, w6sep *s, const w6pap *pap, const w6chp *chp) {
  if (const char *pic = picture(c)) {
    datetext(st, pic);
  } else if (c == 19) {
    fields(st, d, p, s, pap, chp);
  } else if (c == 40) {
    w6putc(st, chp->chsym.v);
  }
}

void w6paranum(cxstate *st, w6doc *d, const w6sep *s, const w6pap *pap) {
  int32_t *cnt = d->counters;
  const w6olst &ol = s->olst.v;
  const w6anld &an = pap->anld.v;
  int l = pap->lvl.v;
  if (l == 0) {
    for (int k = 1; k <= 9; ++k) cnt[k] = ol.lv[k - 1].startat - 1;
    cnt[10] = cnt[11] = an.lv.startat - 1;
  }
  for (int k = l + 1; k <= 9; ++k) cnt[k] = ol.lv[k - 1].startat - 1;
  if (l < 1 || l > 11) return;
  cnt[l]++;
  char num[knumtext];
  // Writes n characters of a number text from at, never past its end.
  auto text = [&](const uint8_t *t, int size, int at, int n) {
    for (int i = 0; i < n && at + i < size; ++i) w6putc(st, t[at + i]);
  };
  auto putnum = [&](int32_t n, int nfc) {
    w6numtext(n, nfc, num);
    for (const char *c = num; *c; ++c) w6putc(st, static_cast<unsigned char>(*c));
  };
  if (l >= 10) {
    text(an.text, sizeof an.text, 0, an.lv.before);
    putnum(cnt[l], an.lv.nfc);
    text(an.text, sizeof an.text, an.lv.before, an.lv.after);
    return;
  }
  int first = ol.lv[l - 1].prev ? 1 : l;
  for (int k = first; k <= l; ++k) {
    int at = 0;
    for (int j = 1; j < k; ++j) at += ol.lv[j - 1].before + ol.lv[j - 1].after;
    const w6anlv &lv = ol.lv[k - 1];
    text(ol.text, sizeof ol.text, at, lv.before);
    putnum(cnt[k], lv.nfc);
    text(ol.text, sizeof ol.text, at + lv.before, lv.after);
  }
}
