// Fields of the Word 1.x/2.0 and Mac Word full readers: at a field begin
// the instruction is read (nested fields give their replacement text to
// it), its keyword picks the records that stand for the field, and the
// displayed result is either skipped or left to the character loop.
// Dates become date pictures or formatted text, symbols characters of the
// symbol set, legal numbering its numbers.
//
// Instructions come from the document: nesting stops at 16 levels (deeper
// begins are plain characters of the instruction), every text is cut to
// its buffer, and a symbol number is clamped to 0-255. Names found in an
// instruction are written as records only; no file is opened.
#include <cstring>
#include <initializer_list>

#include "converters/word/wfull.h"
#include "converters/word/wread.h"

namespace {

enum : int {
  WR_GROUPBEG = 20706, WR_MACINDEX = 20900, WR_DATEPIC = 6788, WR_PAGENO = 14864, WR_NUMPAGES = 14736,
  WR_LGLBEG = 14576, WR_LGLEND = 14853, WR_LINK = 18665, WR_INCLUDE = 3366, WR_FONTREC = 6675,
};

constexpr int kmaxdepth = 16;
constexpr int kcode = static_cast<int>(sizeof(wrd::fcode));

// The replacement text a field hands back.
struct repl {
  unsigned char* b;
  int n, cap;
  void add(int c) {
    if (n < cap) b[n++] = static_cast<unsigned char>(c);
  }
  void add(const char* s) {
    for (; *s; s++) add(*s);
  }
};

void codeadd(wrd* d, int c) {
  if (d->fcodelen >= kcode - 1) d->fcodelen = 0;
  d->fcode[d->fcodelen++] = static_cast<unsigned char>(c);
}

int at(const wrd* d, int i) { return i >= 0 && i < d->fcodelen ? d->fcode[i] : 0; }

bool keyword(const wrd* d, int pos, const char* k) {
  for (int i = 0; k[i]; i++) {
    int c = at(d, pos + i);
    if (c >= 'a' && c <= 'z') c -= 32;
    if (c != k[i]) return false;
  }
  return true;
}

// Reads and drops the result up to its field end; nested fields in it
// end with their own.
void skipresult(cxstate* st, wrd* d) {
  int open = 1;
  int story = d->cur;
  for (int c; open > 0 && d->cur == story && (c = wnextchar(st, d)) >= 0;) {
    if (c == 19) open++;
    if (c == 21) open--;
  }
}

// The entry text of TC and XE: the quoted text, or the rest of the
// instruction without its switches; ":" separates levels.
void entrytext(cxstate* st, wrd* d, int pos, int end) {
  int q = -1;
  for (int i = pos; i < end; i++)
    if (at(d, i) == '"') {
      q = i;
      break;
    }
  auto put = [&](int c) {
    if (c == ':')
      cxputc(st, 31);
    else if (c < 32 || c > 127)
      wextchar(st, d, c);
    else
      cxputc(st, c);
  };
  if (q >= 0) {
    for (int i = q + 1; i < end && at(d, i) != '"'; i++)
      if (at(d, i) != '\\') put(at(d, i));
  } else {
    for (int i = pos + 3; i < end - 1; i++) {
      int c = at(d, i);
      if (c == '"') continue;
      if (c == '\\') {
        i++;
        while (i < end - 1 && at(d, i) != ' ') i++;
        while (i < end - 1 && at(d, i) == ' ') i++;
        while (i < end - 1 && at(d, i) != ' ') i++;
        while (i < end - 1 && at(d, i) == ' ') i++;
        if (i < end - 1) cxputc(st, at(d, i));
        continue;
      }
      put(c);
    }
  }
  cxputc(st, 31);
}

void entry(cxstate* st, wrd* d, int pos, int end, int level) {
  cmbegin(st, WR_ENTRY);
  cmputhex2(st, level, 31);
  entrytext(st, d, pos, end);
  cmend(st);
  cmbegin(st, WR_ENTRYEND);
  cmputhex2(st, level, 31);
  cmend(st);
}

// The contents level: the number after "\l" (Mac Word: only a small l),
// less one in Word; 0 without one.
int tclevel(const wrd* d, int pos, int end) {
  for (int i = pos + 3; i + 1 < end - 2; i++)
    if (at(d, i) == '\\' && (at(d, i + 1) == 'l' || (!d->mac && at(d, i + 1) == 'L'))) {
      int v = 0, k = i + 2;
      while (k < end && at(d, k) == ' ') k++;
      for (; k < end && at(d, k) >= '0' && at(d, k) <= '9' && v < 1000; k++) v = v * 10 + at(d, k) - '0';
      return (d->mac ? v : v - 1) & 0xFF;
    }
  return 0;
}

// Where the picture switch "\@" leaves the picture, or -1.
int picture(const wrd* d, int pos, int end) {
  for (int i = pos; i + 1 < end; i++)
    if (at(d, i) == '\\' && at(d, i + 1) == '@') {
      i += 2;
      while (i < end && at(d, i) == ' ') i++;
      return i;
    }
  return -1;
}

int runlen(const wrd* d, int i, int end) {
  int n = 1;
  while (i + n < end && at(d, i + n) == at(d, i) && n < 255) n++;
  return n;
}

bool ampm(int c) { return c == 'a' || c == 'A' || c == 'm' || c == 'M' || c == 'p' || c == 'P' || c == '/'; }

// Past the letters of a morning/afternoon marker.
int pastampm(const wrd* d, int i, int end) {
  for (i++; i < end && ampm(at(d, i)); i++) {
  }
  return i;
}

// Text in apostrophes copied as it stands; past the closing one.
int literal(const wrd* d, int i, int end, repl* r) {
  for (i++; i < end && at(d, i) != '\''; i++) r->add(at(d, i));
  return i + 1;
}

// A date or time picture as record 6788 of picture codes; literal text in
// apostrophes goes to the replacement text.
void datepic(cxstate* st, wrd* d, int pos, int end, bool time, repl* r) {
  unsigned char codes[512];
  int n = 0, named = 0;
  auto code = [&](int c, bool isnamed) {
    if (n < static_cast<int>(sizeof codes)) codes[n++] = static_cast<unsigned char>(c);
    named += isnamed;
  };
  int i = picture(d, pos, end);
  for (; i >= 0 && i < end && at(d, i) != 21;) {
    int c = at(d, i), l = runlen(d, i, end);
    switch (c) {
      case 'M': code(l <= 2 ? 0x32 : 0x33, true); i += l; continue;
      case 'd': code(l <= 2 ? 0x31 : 0x36, true); i += l; continue;
      case 'y': code(l <= 2 ? 0x35 : 0x34, true); i += l; continue;
      case 'h': code(0x38, true); i += l; continue;
      case 'H': code(0x37, true); i += l; continue;
      case 'm': code(0x39, true); i += l; continue;
      case 'a': case 'A': code(0x30, true); i = pastampm(d, i, end); continue;
      case '\'': i = literal(d, i, end, r); continue;
      case 20: i = end; continue;
      case '"': i++; continue;
      default: code(c, false); i++; continue;
    }
  }
  if (!named) {
    static const unsigned char kmac[] = {0x33, 0x31, 0x34}, ktime[] = {0x38, 0x3A, 0x39, 0x30},
                               kdate[] = {0x32, 0x2F, 0x31, 0x2F, 0x35};
    const unsigned char* dflt = d->mac ? kmac : time ? ktime : kdate;
    int k = d->mac ? 3 : time ? 4 : 5;
    for (int j = 0; j < k; j++) code(dflt[j], false);
  }
  cmbegin(st, WR_DATEPIC);
  for (int j = 0; j < n; j++) cmputhex2(st, codes[j], 31);
  if (!d->mac)
    for (int j = n; j < 30; j++) cmputhex2(st, 0, 31);
  cmend(st);
}

void digits(repl* r, int v, int least) {
  if (v < 0) v = 0;
  if (v > 9999) v = 9999;
  if (least >= 4 || v >= 1000) r->add('0' + v / 1000);
  if (least >= 3 || v % 1000 >= 100) r->add('0' + v / 100 % 10);
  if (least >= 2 || v % 100 > 9) r->add('0' + v / 10 % 10);
  r->add('0' + v % 10);
}

const char* const kmonths[] = {"January ", "February ", "March ", "April ", "May ", "June ", "July ",
                               "August ", "September ", "October ", "November ", "December "};
const char* const kdays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

void name(repl* r, const char* s, int most) {
  for (int i = 0; s[i] && s[i] != ' ' && i < most; i++) r->add(s[i]);
}

// A stored date formatted by the field's picture, or as "March 7, 1994 ".
void datefmt(const wrd* d, uint32_t p, int pos, int end, repl* r) {
  int mi = p & 63, h = p >> 6 & 31, day = p >> 11 & 31, mo = p >> 16 & 15, y = p >> 20 & 511, wd = p >> 29 & 7;
  if (mi > 60) mi = 0;
  if (h > 24) h = 0;
  if (day < 1 || day > 31) day = 1;
  if (mo < 1 || mo > 12) mo = 1;
  if (wd > 6) wd = 0;
  int start = r->n;
  int i = picture(d, pos, end);
  for (; i >= 0 && i < end && at(d, i) != 20 && at(d, i) != 21;) {
    int c = at(d, i), l = runlen(d, i, end);
    switch (c) {
      case 'M':
        if (l <= 2) digits(r, mo, l);
        else name(r, kmonths[mo - 1], l == 3 ? 3 : 99);
        i += l;
        continue;
      case 'd':
        if (l <= 2) digits(r, day, l);
        else name(r, kdays[wd], l == 3 ? 3 : 99);
        i += l;
        continue;
      case 'y': digits(r, l <= 3 ? y : y + 1900, l); i += l; continue;
      case 'h': digits(r, h % 12, l); i += l; continue;
      case 'H': digits(r, h, l); i += l; continue;
      case 'm': digits(r, mi, l); i += l; continue;
      case 'a': case 'A': r->add(h < 12 ? c : c == 'a' ? 'p' : 'P'); i = pastampm(d, i, end); continue;
      case '\'': i = literal(d, i, end, r); continue;
      case '"': i++; continue;
      default: r->add(c); i++; continue;
    }
  }
  if (r->n == start) {
    r->add(kmonths[mo - 1]);
    digits(r, day, 1);
    r->add(", ");
    digits(r, y + 1900, 4);
    r->add(' ');
  }
}

// A character of the symbol set in the text's code page.
void symbolchar(cxstate* st, int n) {
  int v = -1;
  if (n == 32 || n == 33 || n == 35 || n == 37 || n == 38 || (n >= 40 && n <= 63) || n == 91 || n == 93 ||
      n == 95 || (n >= 123 && n <= 126))
    v = n;
  else if ((n >= 127 && n <= 160) || n == 240 || n == 255)
    v = 32;
  else if (n == 164)
    v = 47;
  else if (n == 189)
    v = 179;
  else if (n == 190)
    v = 196;
  if (v >= 0) {
    if (v > 128) {
      cmbegin(st, WR_CHAR437);
      cmputhex2(st, v, 31);
      cmend(st);
    } else {
      cxputc(st, v);
    }
    return;
  }
  v = n == 96 ? 175 : n == 226 ? 174 : n == 227 ? 169 : n == 228 ? 153 : -1;
  if (v >= 0) {
    if (v < 129) {
      cxputc(st, v);
    } else {
      cmbegin(st, WR_CHAR);
      cmputdec(st, 819);
      cmputhex2(st, v, 31);
      cmend(st);
      cxputc(st, '_');
    }
    return;
  }
  ccputchar(st, n, 9998);
}

void symbol(cxstate* st, wrd* d, int end) {
  int i = 6;
  while (i < end && (at(d, i) < '0' || at(d, i) > '9')) {
    if (d->mac && at(d, i) == '\\') return;
    i++;
  }
  if (i >= end) return;
  int n = 0;
  for (; i < end && at(d, i) >= '0' && at(d, i) <= '9'; i++) n = n * 10 + at(d, i) - '0' > 255 ? 256 : n * 10 + at(d, i) - '0';
  if (n > 255) n = 255;
  // The font name is the quoted text after the number (after its switch).
  while (i < end && at(d, i) != '"' && at(d, i) != 20 && at(d, i) != 21) i++;
  if (!d->mac && i < end && at(d, i) == '"') {
    int s = i + 1, e = s;
    while (e < end && at(d, e) != '"') e++;
    static const char ksym[] = "symbol";
    bool symfont = e - s == 6;
    for (int k = 0; symfont && k < 6; k++) symfont = (at(d, s + k) | 32) == ksym[k];
    if (symfont) {
      ccputchar(st, n, 9998);
      return;
    }
    // Another font of the document: the character in that font, then the
    // current font again. A name the font table lacks is ignored.
    for (int f = 0; f < d->nfonts && f < WMAXFONTS && d->fontnamelen[f] > 0; f++) {
      int len = d->fontnamelen[f];
      const char* fn = d->fontname[f];
      bool same = len == e - s;
      for (int k = 0; same && k < len; k++) same = (static_cast<unsigned char>(fn[k]) | 32) == (at(d, s + k) | 32);
      if (!same) continue;
      const wchp& wr = d->written;
      const wchp& cur = d->chp;
      int wsize = wr.size ? wr.size : 24, csize = cur.size ? cur.size : 24;
      cmbegin(st, WR_FONTREC);
      cmputdec(st, 240 / wsize);
      cmputdec(st, wr.font);
      cmputdec(st, 240 / csize);
      cmputdec(st, f);
      cmputdec(st, csize * 10);
      wfontname(st, d, fn, len);
      cxputc(st, 31);
      cmend(st);
      if (n <= 128) {
        cxputc(st, n);
      } else {
        cmbegin(st, WR_CHAR437);
        cmputhex2(st, n, 31);
        cmend(st);
      }
      wfontrec(st, d);
      return;
    }
  }
  symbolchar(st, n);
}

// Legal numbering: the counter of the paragraph's heading level.
void legal(cxstate* st, wrd* d) {
  int s = d->papw.style;
  int level = s >= 246 && s <= 254 ? 255 - s : 1;
  for (int k = 9; k > level; k--) d->lgl[k - 1] = 0;
  if (d->lgl[level - 1] < 0x7FFFFFFF) d->lgl[level - 1]++;
  cmbegin(st, WR_LGLBEG);
  cmputdec(st, level);
  cmend(st);
  char num[16];
  for (int k = 0; k < level; k++) {
    int len = 0;
    for (uint32_t v = static_cast<uint32_t>(d->lgl[k]);; v /= 10) {
      num[len++] = static_cast<char>('0' + v % 10);
      if (v < 10) break;
    }
    while (len > 0) cxputc(st, num[--len]);
    cxputc(st, '.');
  }
  cmputcode(st, WR_LGLEND);
}

// The index of a bookmark name, or -1.
int findbookmark(const wrd* d, const char* nm, int len) {
  const unsigned char* t = d->bknames;
  if (!t || len <= 0) return -1;
  int total = d->bkmklen[0];
  for (int i = 0, a = 2; a < total; i++, a += 1 + t[a]) {
    int n = t[a];
    if (n != len || a + 1 + n > total) continue;
    bool same = true;
    for (int k = 0; same && k < n; k++) same = (t[a + 1 + k] | 32) == (static_cast<unsigned char>(nm[k]) | 32);
    if (same) return i;
  }
  return -1;
}

// A reference to a bookmark; true when the bookmark exists (and the
// record is written).
bool reference(cxstate* st, wrd* d, int pos, int end, bool page) {
  char nm[30];
  int n = 0;
  for (int i = pos + (page ? 8 : 4); i < end && n < 29; i++) {
    int c = at(d, i);
    if (c == 0 || c == 20 || (!page && (c == ' ' || c == 21))) break;
    nm[n++] = static_cast<char>(c);
  }
  if (findbookmark(d, nm, n) < 0) return false;
  cmbegin(st, WR_BOOKMARK);
  cmputhex2(st, 0, 31);
  cmputdec(st, 0);
  for (int k = 0; k < n; k++) cxputc(st, nm[k]);
  cxputc(st, 31);
  if (page) {
    int story = d->cur;
    for (int c; d->cur == story && (c = wnextchar(st, d)) >= 0 && c != 21;) cxputc(st, c);
  } else {
    cxputc(st, '?');
  }
  cxputc(st, 31);
  cmend(st);
  return true;
}

// A file named in the instruction: a double backslash stands for one.
void filename(const wrd* d, int from, int end, bool tospace, char* out, int cap) {
  int n = 0;
  for (int i = from; i < end && n < cap - 1; i++) {
    int c = at(d, i);
    if (c == 0 || c == 20 || c == 21 || (tospace && c == ' ')) break;
    if (c == '\\' && at(d, i + 1) == '\\') i++;
    out[n++] = static_cast<char>(c);
  }
  out[n] = 0;
}

void putname(cxstate* st, const char* name) {
  for (; *name; name++) cxputc(st, static_cast<unsigned char>(*name));
  cxputc(st, 31);
}

// One field, from after its begin: the number of replacement bytes.
int field(cxstate* st, wrd* d, repl* r) {
  d->fdepth++;
  int start = d->fcodelen, pos = start;
  int last = -1;
  int story = d->cur;
  for (;;) {
    int c = d->cur == story ? wnextchar(st, d) : -1;
    if (c < 0) {
      d->fdepth--;
      return 0;
    }
    if (c == 19 && d->fdepth < kmaxdepth) {
      unsigned char b[256];
      repl inner{b, 0, static_cast<int>(sizeof b)};
      field(st, d, &inner);
      continue;
    }
    codeadd(d, c);
    if (c == 20 || c == 21) {
      last = c;
      break;
    }
  }
  int end = d->fcodelen;
  if (pos >= end) pos = 0;  // the instruction wrapped in its buffer
  bool result = last == 20;
  if (!d->mac && at(d, pos) == '\\') pos++;
  while (at(d, pos) == ' ') pos++;
  bool skip = true;
  if (keyword(d, pos, "TC")) {
    entry(st, d, pos, end, tclevel(d, pos, end));
  } else if (keyword(d, pos, "XE")) {
    entry(st, d, pos, end, 0x20);
  } else if (keyword(d, pos, "TOC") && !d->mac) {
    cmbegin(st, WR_GROUPBEG);
    cmputhex2(st, 0, 31);
    cmend(st);
    skip = false;
  } else if (keyword(d, pos, "INDEX")) {
    if (d->mac) {
      cmbegin(st, WR_MACINDEX);
      for (int v : {0x10, 4, 0, 0, 0, 0}) cmputhex2(st, v, 31);
      cmend(st);
    } else {
      cmbegin(st, WR_GROUPBEG);
      cmputhex2(st, 1, 31);
      cmend(st);
      skip = false;
    }
  } else if (keyword(d, pos, "DATE") || keyword(d, pos, "TIME")) {
    datepic(st, d, pos, end, keyword(d, pos, "TIME"), r);
  } else if (keyword(d, pos, "CREATEDATE") || keyword(d, pos, "PRINTDATE") || keyword(d, pos, "SAVEDATE")) {
    uint32_t when = keyword(d, pos, "CREATEDATE") ? d->created : keyword(d, pos, "PRINTDATE") ? d->printed : d->revised;
    if (!d->mac) datefmt(d, when, pos, end, r);
  } else if (keyword(d, pos, "TITLE") && !d->mac) {
    // The title as the document strings give it, without the field
    // separator that ends it there.
    wsuminfostr(st, d, 1);
    cxunputc(st);
  } else if (keyword(d, pos, "PAGEREF") && !d->mac) {
    if (reference(st, d, pos, end, true))
      result = false;  // the reference read the result itself
    else
      skip = false;
  } else if (keyword(d, pos, "PAGE") || (!d->mac && keyword(d, pos, "SEITE"))) {
    cmputcode(st, WR_PAGENO);
  } else if (keyword(d, pos, "NUMPAGES")) {
    cmputcode(st, WR_NUMPAGES);
  } else if (keyword(d, pos, "SYMBOL") || (!d->mac && keyword(d, pos, "SONDZEICHEN"))) {
    symbol(st, d, end);
  } else if (keyword(d, pos, "SET")) {
  } else if (keyword(d, pos, "AUTO")) {
    legal(st, d);
  } else if (d->mac) {
    skip = false;
  } else if (keyword(d, pos, "REF")) {
    reference(st, d, pos, end, false);
  } else if (keyword(d, pos, "IMPORT")) {
    char nm[kcode];
    filename(d, pos + 7, end, true, nm, kcode);
    int32_t* obj = st->mn->embobj;
    obj[0] = -1;
    for (int k = 1; k < 9; k++) obj[k] = 0;
    if (ccimport(st, obj, nm, 1, 1) != 0) {
      // The picture's own character follows the field; any other character
      // is text and goes back to the input.
      int c = d->cur == story ? wnextchar(st, d) : -1;
      if (c == 1) {
        ccnop1(st);
      } else {
        if (c >= 0) wungetchar(st, d, c);
        cmbegin(st, WR_LINK);
        putname(st, nm);
        for (int v : {1, 0, 0}) cmputdec(st, v);
        cmend(st);
      }
    }
  } else if (keyword(d, pos, "INCLUDE")) {
    char nm[kcode];
    filename(d, pos + 8, end, false, nm, kcode);
    ccdeplist(st, nm, 4);
    cmbegin(st, WR_INCLUDE);
    putname(st, nm);
    cmputdec(st, 0);
    cmend(st);
  } else if (keyword(d, pos, "EMBED") || keyword(d, pos, "LINK")) {
    skip = d->version == 2;
  } else {
    skip = false;
  }
  if (skip && result) skipresult(st, d);
  d->fcodelen = start;
  for (int k = 0; k < r->n; k++) codeadd(d, r->b[k]);
  d->fdepth--;
  return r->n;
}

}  // namespace

void wfield(cxstate* st, wrd* d) {
  d->fdepth = 0;
  d->fcodelen = 0;
  unsigned char b[512];
  repl r{b, 0, static_cast<int>(sizeof b)};
  int n = field(st, d, &r);
  for (int k = 0; k < n; k++) cxputc(st, b[k]);
}
