// Fields: a field is a begin mark (19), an instruction, an optional
// separator (20), a result and an end mark (21), and fields nest in both
// parts. The instruction's keyword decides what the field becomes: entries
// of a table of contents, an index or a table of authorities, a generated
// region holding the result, a cross-reference, a page-number or page-count
// character, a live date format, a symbol, a link to a picture or a text
// file, a check box. A field with any other keyword is its result, as text.
//
// Every scan stops at the end of the range being converted, so a field
// whose end mark never comes cannot read past it, and fields nested deeper
// than WW_FLDDEPTH inside results leave their results to the loop, so that
// nesting costs neither stack nor repeated scans.
#include <cstring>

#include "filters/word/wwfld.h"

namespace {

int32_t stepof(const wwstate* w) {
  int32_t s = w->hdr ? wwhdrf(w, WWH_CBCH) : 1;
  return s > 0 ? s : 1;
}

// n characters from a position on, as a zero-terminated wide string.
int32_t* copychars(wwstate* w, int32_t from, int32_t n, int32_t step) {
  auto* b = static_cast<int32_t*>(wwalloc(w, (static_cast<long>(n) + 1) * static_cast<long>(sizeof(int32_t))));
  for (int32_t i = 0; i < n; i++) {
    int c = wwgetch(w, WW_MAIN, static_cast<int32_t>(from + static_cast<int64_t>(i) * step));
    b[i] = c < 0 ? 0 : c;
  }
  b[n] = 0;
  return b;
}

enum handler {
  H_TC, H_XE, H_TA, H_TOC, H_GOTO, H_INDEX, H_TOA, H_DATE, H_TIME, H_PAGEREF, H_REF, H_PAGE, H_NUMPAGES,
  H_AUTONUM, H_SYMBOL, H_INCPIC, H_INCTEXT, H_CHECKBOX
};

// Tried in this order; a keyword matches as a prefix of the instruction.
struct keyword {
  const char* name;
  handler h;
};
const keyword kkeywords[] = {
    {"TC", H_TC},           {"XE", H_XE},
    {"TA", H_TA},           {"TOC", H_TOC},
    {"GOTOBUTTON", H_GOTO}, {"INDEX", H_INDEX},
    {"TOA", H_TOA},         {"DATE", H_DATE},
    {"TIME", H_TIME},       {"PAGEREF", H_PAGEREF},
    {"REF", H_REF},         {"REV", H_REF},
    {"RIF", H_REF},         {"RENV", H_REF},
    {"VERWZG", H_REF},      {"PAGE", H_PAGE},
    {"SEITE", H_PAGE},      {"NUMPAGES", H_NUMPAGES},
    {"AUTONUMLGL", H_AUTONUM}, {"SYMBOL", H_SYMBOL},
    {"SONDZEICHEN", H_SYMBOL}, {"INCLUDEPICTURE", H_INCPIC},
    {"IMPORT", H_INCPIC},   {"INCLUDETEXT", H_INCTEXT},
    {"INCLUDE", H_INCTEXT}, {"FORMCHECKBOX", H_CHECKBOX},
};

// One field being converted.
struct field {
  wwstate* w;
  int32_t step;
  int32_t b;        // begin mark
  int32_t n;        // instruction characters
  int32_t s;        // separator, -1 when the end mark closes the instruction
  int32_t m;        // result characters
  int32_t stop;     // end of the result range: the end mark, or the range's end
  int32_t* inst;
  int32_t* res;     // the copied result, or null
  const int32_t* rest;
  wwsep* sep;
  wwpap* pap;
  wwchp* chp;
};

// The position of the instruction character at an index.
int32_t instpos(const field& f, long index) {
  return static_cast<int32_t>(f.b + (static_cast<int64_t>(index) + 1) * f.step);
}

// Converts positions through the loop, one level deeper in field results.
void text(field& f, int32_t from, int32_t to, int kind) {
  if (from >= to) return;
  f.w->flddepth++;
  wwrtext(f.w, from, to, kind);
  f.w->flddepth--;
}

void entry(field& f, int kind, int32_t subtype, const char* const* texts) {
  cwfielddesc d{};
  d.version = 2;
  d.kind = kind;
  d.subtype = subtype;
  d.closed = 0;
  for (int i = 0; i < 5; i++) {
    d.args[i] = texts ? texts[i] : nullptr;
    d.streams[i] = -1;
  }
  d.enc = 5;
  cwfldbeg(f.w->run, &d);
  cwfldend(f.w->run);
}

void tc(field& f) {
  wwstate* w = f.w;
  int32_t* lv = wwfldswitch(w, f.rest, "\\L");
  int64_t level = lv ? wwfldint(lv) : 1;
  if (lv) wwfree(w, lv);
  int32_t* t = wwfldarg(w, f.rest);
  char* s = wwstrdup(w, t);
  const char* texts[5] = {s, nullptr, nullptr, nullptr, nullptr};
  entry(f, 0, static_cast<int32_t>(level - 1), texts);
  wwfree(w, s);
  wwfree(w, t);
}

void xe(field& f) {
  wwstate* w = f.w;
  int32_t* t = wwfldarg(w, f.rest);
  char* s = wwstrdup(w, t);
  char* parts[5] = {};
  for (int k = 0; k < 5; k++) {
    parts[k] = wwfldpart(w, s, k, ':');
    if (!parts[k]) break;
  }
  const char* texts[5] = {parts[0], parts[1], parts[2], parts[3], parts[4]};
  entry(f, 1, 0, texts);
  for (char* p : parts)
    if (p) wwfree(w, p);
  wwfree(w, s);
  wwfree(w, t);
}

// A generated region around the result; the region ends after the
// result's last character.
void region(field& f, int kind) {
  cwgendesc d{};
  d.kindword = 1;
  d.kind = kind;
  d.subtype = 1;
  cwgenbeg(f.w->run, &d);
  if (f.s < 0 || f.m < 1) return;
  if (f.pap) wwstyleemit(f.w, f.pap->istd);
  text(f, f.s, f.stop, 5);
  cwgenend(f.w->run);
}

void gotobutton(field& f) {
  const int32_t* r = f.rest;
  long i = 0;
  while (r[i] == 32) i++;
  if (!r[i]) return;
  while (r[i] && r[i] != 32) i++;
  if (!r[i]) return;
  while (r[i] == 32) i++;
  if (!r[i]) return;
  long at = (r + i) - f.inst;
  text(f, instpos(f, at), instpos(f, f.n), 3);
}

void date(field& f, const char* dflt) {
  int32_t* pic = wwfldswitch(f.w, f.rest, "\\@");
  if (!pic || wwiswide(pic)) {
    wwrdatepic(f.w, dflt);
  } else {
    char* s = wwstrdup(f.w, pic);
    wwrdatepic(f.w, s);
    wwfree(f.w, s);
  }
  if (pic) wwfree(f.w, pic);
}

void xref(field& f, int32_t subtype) {
  wwstate* w = f.w;
  int32_t* t = wwfldarg(w, f.rest);
  char* target = wwstrdup(w, t);
  char* shown = f.res ? wwstrdup(w, f.res) : nullptr;
  cwxrefdesc d{};
  d.version = 1;
  d.kind = 0;
  d.value = subtype;
  d.target = target;
  d.text = shown;
  d.enc = 5;
  d.tstream = d.xstream = -1;
  cwxref(w->run, &d);
  if (shown) wwfree(w, shown);
  wwfree(w, target);
  wwfree(w, t);
}

// The number of a symbol; a missing one is written as '_'.
int symbolcode(wwstate* w, const int32_t* rest) {
  int32_t* t = wwfldarg(w, rest);
  int code = t[0] ? wwfldint(t) : 95;
  wwfree(w, t);
  return code;
}

void symbol(field& f) {
  wwstate* w = f.w;
  cvrun* run = w->run;
  int code = symbolcode(w, f.rest);
  int32_t* fn = wwfldswitch(w, f.rest, "\\F");
  if (!fn) {
    cwputc(run, code);
    return;
  }
  char* name = wwstrdup(w, fn);
  wwfree(w, fn);
  int32_t* sz = wwfldswitch(w, f.rest, "\\S");
  int points = sz ? wwfldint(sz) : 0;
  if (sz) wwfree(w, sz);
  int hps = points != 0 ? 2 * (points % 0x10000) : (f.chp ? wwchpv(f.chp, WC_SIZE) : 20);
  if (std::strcmp(name, "Symbol") == 0) {
    wwrputcp(w, code, 9998);
  } else {
    // The writer's own font number and size are restored, whatever font
    // of the document was current; nothing is restored that was not set.
    auto* oldfont = static_cast<int32_t*>(cwfontget(run, 2));
    auto* oldsize = static_cast<int32_t*>(cwfontget(run, 0));
    wwfontemit(w, wwfontfind(w, name));
    wwhpsemit(w, hps);
    cwputc(run, code);
    if (oldfont) {
      cwfontsel(run, *oldfont);
      cvfree(run, oldfont);
    }
    if (oldsize) {
      cwfontsize(run, *oldsize);
      cvfree(run, oldsize);
    }
  }
  wwfree(w, name);
}

// The file name of a link, taken from the rest in place; null when the
// rest names none.
char* linkname(field& f) {
  wwstate* w = f.w;
  const int32_t* r = f.rest;
  if (!r[0]) return nullptr;
  long from, to;
  if (wwcodepage(w) == 9999) {
    long i = 1;
    while (r[i] && r[i] != 34) i++;
    if (!r[i]) return nullptr;
    from = to = i + 1;
    while (r[to] && r[to] != 34) to++;
  } else {
    from = to = 1;
    while (r[to] && r[to] != 32) to++;
  }
  if (to == from) return nullptr;
  auto* name = static_cast<int32_t*>(wwalloc(w, (to - from + 1) * static_cast<long>(sizeof(int32_t))));
  long n = 0;
  for (long i = from; i < to; i++) {
    name[n++] = r[i];
    if (r[i] == 92 && i + 1 < to && r[i + 1] == 92) i++;
  }
  name[n] = 0;
  char* s = wwstrdup(w, name);
  wwfree(w, name);
  return s;
}

void link(field& f, bool picture) {
  wwstate* w = f.w;
  char* name = linkname(f);
  if (!name) return;
  if (picture) {
    cwobjdesc d{};
    d.version = 1;
    d.value1 = wwcodepage(w) == 9999 ? 2 : 1;
    d.format = -1;
    d.inlined = 1;
    d.slot = -1;
    cwgraphic(w->run, &d, name, 5);
  } else {
    cwfileinc(w->run, name, 5, 0);
  }
  wwfree(w, name);
}

void checkbox(field& f) {
  wwchp c;
  wwchpget(f.w, f.n > 0 ? instpos(f, f.n - 1) : f.b, &c);
  cvrun* run = f.w->run;
  cwputc(run, '[');
  cwputc(run, wwchkstate(f.w, &c));
  cwputc(run, ']');
}

// Runs the keyword's handler; true when it converted the result range.
bool dispatch(field& f, handler h) {
  switch (h) {
    case H_TC: tc(f); return false;
    case H_XE: xe(f); return false;
    case H_TA: {
      const char* texts[5] = {"", nullptr, nullptr, nullptr, nullptr};
      entry(f, 2, 0, texts);
      return false;
    }
    case H_TOC: region(f, 0); return true;
    case H_INDEX: region(f, 1); return true;
    case H_TOA: region(f, 2); return true;
    case H_GOTO: gotobutton(f); return false;
    case H_DATE: date(f, "MM/DD/YY"); return false;
    case H_TIME: date(f, "hh:mm AM/PM"); return false;
    case H_PAGEREF: xref(f, 0); return false;
    case H_REF: xref(f, 10); return false;
    case H_PAGE: cwspecial(f.w->run, 4); return false;
    case H_NUMPAGES: cwspecial(f.w->run, 5); return false;
    case H_AUTONUM: return false;
    case H_SYMBOL: symbol(f); return false;
    case H_INCPIC: link(f, true); return false;
    case H_INCTEXT: link(f, false); return false;
    case H_CHECKBOX: checkbox(f); return false;
  }
  return false;
}

}  // namespace

int32_t wwfldinstlen(wwstate* w, int32_t b, int32_t limit, int* closer) {
  int32_t step = stepof(w);
  int level = 0;
  *closer = 0;
  for (int64_t k = 1;; k++) {
    int64_t p = b + k * step;
    if (p >= limit) return static_cast<int32_t>(k - 1);
    int c = wwgetch(w, WW_MAIN, static_cast<int32_t>(p));
    if (c < 0) return static_cast<int32_t>(k - 1);
    if (c == 19) {
      level++;
    } else if ((c == 20 || c == 21) && level <= 0) {
      *closer = c;
      return static_cast<int32_t>(k - 1);
    } else if (c == 21) {
      level--;
    }
  }
}

int32_t wwfldreslen(wwstate* w, int32_t s, int32_t limit, int* closed) {
  int32_t step = stepof(w);
  int level = 0;
  *closed = 0;
  for (int64_t k = 1;; k++) {
    int64_t p = s + k * step;
    if (p >= limit) return static_cast<int32_t>(k - 1);
    int c = wwgetch(w, WW_MAIN, static_cast<int32_t>(p));
    if (c < 0) return static_cast<int32_t>(k - 1);
    if (c == 19) {
      level++;
    } else if (c == 21) {
      if (level <= 0) {
        *closed = 1;
        return static_cast<int32_t>(k - 1);
      }
      level--;
    }
  }
}

int wwfldunesc(int32_t* tok) {
  int r = 0, o = 0;
  while (tok[r]) {
    if (tok[r] == 92 && tok[r + 1] == 92) {
      tok[o++] = 92;
      r += 2;
    } else {
      tok[o++] = tok[r++];
    }
  }
  tok[o] = 0;
  return o;
}

int32_t* wwfldtoken(wwstate* w, const int32_t* s) {
  long i = 0;
  while (s[i] == 32) i++;
  bool quoted = s[i] == 34;
  long start = quoted ? i + 1 : i, end = start;
  if (s[end]) {
    end++;  // the first character belongs to the token whatever it is
    while (s[end] && (quoted ? s[end] != 34 : s[end] != 32 && s[end] != 92)) end++;
  }
  auto* t = static_cast<int32_t*>(wwalloc(w, (end - start + 1) * static_cast<long>(sizeof(int32_t))));
  std::memcpy(t, s + start, static_cast<size_t>(end - start) * sizeof(int32_t));
  t[end - start] = 0;
  wwfldunesc(t);
  return t;
}

int32_t* wwfldarg(wwstate* w, const int32_t* rest) { return wwfldtoken(w, rest); }

int32_t* wwfldswitch(wwstate* w, const int32_t* rest, const char* sw) {
  const int32_t* at = wwkwfind(rest, sw);
  return at ? wwfldtoken(w, at + std::strlen(sw)) : nullptr;
}

char* wwfldpart(wwstate* w, const char* s, int n, int sepch) {
  const char* p = s;
  for (int k = 0; k < n; k++) {
    p = std::strchr(p, sepch);
    if (!p) return nullptr;
    p++;
  }
  const char* e = std::strchr(p, sepch);
  size_t len = e ? static_cast<size_t>(e - p) : std::strlen(p);
  auto* out = static_cast<char*>(wwalloc(w, static_cast<long>(len) + 1));
  std::memcpy(out, p, len);
  out[len] = 0;
  return out;
}

void wwfldconv(wwstate* w, int32_t* pos, int32_t limit, wwsep* sep, wwpap* pap, wwchp* chp) {
  field f{};
  f.w = w;
  f.step = stepof(w);
  f.b = *pos;
  f.sep = sep;
  f.pap = pap;
  f.chp = chp;
  // The range's last position: where a field that never ends leaves the loop.
  int32_t last = limit - f.step > f.b ? limit - f.step : f.b;
  int closer = 0;
  f.n = wwfldinstlen(w, f.b, limit, &closer);
  if (!closer) {
    *pos = last;
    return;
  }
  int32_t close = instpos(f, f.n);
  if (w->flddepth >= WW_FLDDEPTH) {
    *pos = close;  // the loop converts the result, nested fields included
    return;
  }
  f.inst = copychars(w, f.b + f.step, f.n, f.step);
  f.s = -1;
  int closed = 1;
  if (closer == 20) {
    f.s = close;
    f.m = wwfldreslen(w, f.s, limit, &closed);
    f.stop = closed ? static_cast<int32_t>(f.s + (static_cast<int64_t>(f.m) + 1) * f.step) : limit;
    if (f.m <= WW_FLDRESMAX) f.res = copychars(w, f.s + f.step, f.m, f.step);
  }
  const int32_t* kw = f.inst;
  while (*kw == 32) kw++;
  const keyword* k = nullptr;
  for (const keyword& c : kkeywords)
    if (wwkwmatch(kw, c.name)) {
      k = &c;
      break;
    }
  bool converted = false;
  if (k) {
    f.rest = kw + std::strlen(k->name);
    converted = dispatch(f, k->h);
  } else if (f.s >= 0 && f.m >= 1) {
    text(f, f.s, f.stop, 3);  // any other keyword is its result, as text
    converted = true;
  }
  if (f.s >= 0 && f.m >= 1 && !f.res && !converted) {
    // A result too long to copy is written as text, once, one level deeper:
    // left to the loop, every field nested in it would scan the rest of
    // the result again at the same level.
    text(f, f.s, f.stop, 3);
    converted = true;
  }
  if (f.s < 0)
    *pos = close;
  else if (converted || f.res)
    *pos = closed ? f.stop : last;
  else
    *pos = f.s;
  if (f.res) wwfree(w, f.res);
  wwfree(w, f.inst);
}
