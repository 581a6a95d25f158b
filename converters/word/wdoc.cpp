// The document as a whole in the Word 1.x/2.0 and Mac Word full readers:
// the style sheet, document properties and font table read with the header,
// the records written before the first character (format, document strings
// and dates, fonts, page geometry, styles), and the bookmarks marked before
// the characters where they start and end.
#include <cstring>
#include <initializer_list>

#include "converters/word/wfull.h"
#include "converters/word/wread.h"

namespace {

const char* const kmonths[12] = {"January ", "February ", "March ", "April ", "May ", "June ",
                                 "July ", "August ", "September ", "October ", "November ", "December "};

void putstr(cxstate* st, const char* s) {
  for (; *s; s++) cxputc(st, static_cast<unsigned char>(*s));
}

void putnum(cxstate* st, uint32_t v, int mindigits) {
  char buf[12];
  int n = 0;
  do {
    buf[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v);
  for (; n < mindigits; n++) buf[n] = '0';
  while (n) cxputc(st, buf[--n]);
}

// A field that is 0 when its value, taken as unsigned, is above 0x7FFE.
void putsmall(cxstate* st, int32_t v, bool col) {
  uint32_t u = static_cast<uint32_t>(v);
  if (col) u = (u + 72) / 144;
  cmputdec(st, u > 0x7FFE ? 0 : static_cast<int>(u));
}

// Document string n: its characters of 32 to 127, and US.
void suminfostr(cxstate* st, wrd* d, int n) {
  const unsigned char* t = d->assoc;
  int usable = t ? static_cast<int16_t>(t[0] | t[1] << 8) : -1;
  if (usable > d->assoclen) usable = d->assoclen;
  if (!t || usable < 0) {
    cxputc(st, 31);
    return;
  }
  int at = 3;
  for (int i = 0; i < n; i++) {
    if (at >= usable) break;
    at += 1 + t[at];
  }
  if (at >= usable) {
    cxputc(st, 31);
    return;
  }
  int len = t[at];
  for (int i = 1; i <= len && at + i < d->assoclen; i++)
    if (t[at + i] >= 32 && t[at + i] <= 127) cxputc(st, t[at + i]);
  cxputc(st, 31);
}

}  // namespace

void wsuminfostr(cxstate* st, wrd* d, int n) { suminfostr(st, d, n); }

// The page records: orientation, width, vertical margins, the page count
// and horizontal margins, those of which's bits (WP_ORIENT and so on).
void wpagerecs(cxstate* st, wrd* d, int which) {
  if (which & WP_ORIENT) {
    cmbegin(st, WR_ORIENT);
    cmputdec(st, d->mac ? (d->pageh < d->pagew ? 1 : 0) : d->orient);
    cmend(st);
  }
  if (which & WP_WIDTH) {
    cmbegin(st, WR_PAGEWIDTH);
    wputcol(st, d->pagew);
    cmputdec(st, d->pagew);
    cmend(st);
  }
  if (which & WP_VMARGINS) {
    int32_t text = d->pageh - d->top - d->bottom;
    cmbegin(st, WR_LMARGINS);
    for (int i = 0; i < 2; i++) {
      cmputdec(st, static_cast<int>(static_cast<uint32_t>(d->pageh) / 240));
      cmputdec(st, static_cast<int>(static_cast<uint32_t>(text) / 240));
    }
    cmputdec(st, d->pageh);
    cmputdec(st, text);
    cmend(st);
    cmbegin(st, WR_TMARGIN);
    cmputdec(st, static_cast<int>(static_cast<uint32_t>(d->top) / 240));
    cmputdec(st, static_cast<int>(static_cast<uint32_t>(d->top) / 240));
    cmputdec(st, d->top);
    cmend(st);
    cmbegin(st, WR_BMARGIN);
    cmputdec(st, static_cast<int>(static_cast<uint32_t>(d->bottom) / 240));
    cmputdec(st, d->bottom);
    cmend(st);
  }
  if ((which & WP_PAGES) && !d->mac) {
    cmbegin(st, WR_PAGES);
    cmputdec(st, d->pagecount);
    cmend(st);
  }
  if (which & WP_HMARGINS) {
    cmbegin(st, WR_HMARGINS);
    int32_t right = d->pagew - d->rightm;
    for (int i = 0; i < 2; i++) {
      if (d->mac) {
        wputcol(st, d->leftm);
        wputcol(st, right);
      } else {
        putsmall(st, d->leftm, true);
        putsmall(st, right - 72, true);
      }
    }
    if (d->mac) {
      cmputdec(st, d->leftm);
      cmputdec(st, right);
    } else {
      putsmall(st, d->leftm, false);
      putsmall(st, right, false);
    }
    cmend(st);
    for (int k = 0; k < d->nstories; k++) {
      d->story[k].leftedge = d->leftm;
      d->story[k].rightedge = d->rightm;
    }
    d->mleft = d->leftm;
    d->mright = d->rightm;
  }
}

namespace {

// Writes a name byte by byte: 128 and above through the code page record.
void putname(cxstate* st, wrd* d, const unsigned char* s, int n) {
  for (int i = 0; i < n; i++) {
    if (s[i] < 128)
      cxputc(st, s[i]);
    else
      ccputchar(st, s[i], d->mac ? 9999 : 819);
  }
}

// A bookmark's name (index i of the names table), as a field.
void bookmarkname(cxstate* st, wrd* d, int i) {
  const unsigned char* t = d->bknames;
  int len = d->bkmklen[0];
  int at = 2;
  for (int k = 0; k < i && at < len; k++) at += 1 + t[at];
  if (at < len) {
    int n = t[at];
    if (n > len - at - 1) n = len - at - 1;
    putname(st, d, t + at + 1, n);
  }
  cxputc(st, 31);
}

void bookmarkrec(cxstate* st, wrd* d, int kind, int name) {
  cmbegin(st, WR_BOOKMARK);
  cmputhex2(st, kind, 31);
  cmputdec(st, 0);
  bookmarkname(st, d, name);
  cxputc(st, '?');
  cxputc(st, 31);
  cmend(st);
}

}  // namespace

// ---------------------------------------------------------------- tables

int wreadstyles(cxstate* st, wrd* d, int32_t off, int len) {
  if (len == 0) return 0;
  unsigned char* t;
  if (int s = wloadtab(st, d, off, len, &t)) return s;
  int at = 0;
  auto take16 = [&](int* v) {
    if (at + 2 > len) return false;
    *v = wget16(d, t + at);
    at += 2;
    return true;
  };
  if (!take16(&d->nstd)) return CX_NOTFMT;
  unsigned char** blocks[3] = {&d->stnames, &d->stchp, &d->stpap};
  int* lens[3] = {&d->lnames, &d->lchp, &d->lpap};
  for (int b = 0; b < 3; b++) {
    int l;
    if (!take16(&l)) return CX_NOTFMT;
    l -= 2;
    if (l < 0 || l > len - at) return CX_NOTFMT;
    *blocks[b] = t + at;
    *lens[b] = l;
    at += l;
  }
  int c;
  if (!take16(&c)) return CX_NOTFMT;
  if (2 * c > len - at) return CX_NOTFMT;
  d->nstyles = c;
  d->stnext = t + at;
  return 0;
}

int wreaddop(cxstate* st, wrd* d, int32_t off, int len) {
  d->pageh = 15840, d->pagew = 12240, d->top = 1440, d->leftm = 1800, d->bottom = 1440, d->rightm = 1800;
  d->tabwidth = 720;
  if (d->mac && d->layout == 3) {
    const unsigned char* h = d->head;
    d->pageh = wget16(d, h + 172), d->pagew = wget16(d, h + 174), d->top = wget16(d, h + 176);
    d->leftm = wget16(d, h + 178), d->bottom = wget16(d, h + 180), d->rightm = wget16(d, h + 182);
    d->tabwidth = wget16(d, h + 186);
    d->facing = h[188] & 1;
    d->orient = d->facing;
    d->hfbits = h[189];
    return 0;
  }
  if (len == 0) return 0;
  unsigned char* t;
  if (int s = wloadtab(st, d, off, len, &t)) return s;
  auto at16 = [&](int o) { return o + 2 <= len ? static_cast<int16_t>(wget16(d, t + o)) : 0; };
  auto at32 = [&](int o) { return o + 4 <= len ? static_cast<uint32_t>(wget32(d, t + o)) : 0u; };
  if (d->mac) {
    d->pageh = at16(0), d->pagew = at16(2), d->top = at16(4), d->leftm = at16(6);
    d->bottom = at16(8), d->rightm = at16(10), d->tabwidth = at16(14);
    if (d->top < 0) d->top = 0;
    if (d->bottom < 0) d->bottom = 0;
    d->dopflags = len > 16 ? t[16] : 0;
    d->hfbits = len > 17 ? t[17] : 0;
    d->facing = d->dopflags & 1;
    d->orient = d->facing;  // the section start compares its orientation with this bit
    return 0;
  }
  // Version 1 keeps the page in the table; version 2's later fields start
  // 14 bytes earlier and its page is always the default one.
  int v = d->version == 2 ? 14 : 0;
  d->dopflags = len > 0 ? t[0] : 0;
  d->hfbits = len > 1 ? t[1] : 0;
  d->facing = d->dopflags & 1;
  if (d->version == 1) {
    d->pageh = at16(10), d->pagew = at16(12), d->top = at16(14);
    d->leftm = at16(16), d->bottom = at16(18), d->rightm = at16(20);
  }
  d->tabwidth = at16(24 - v);
  d->created = at32(34 - v), d->revised = at32(38 - v), d->printed = at32(42 - v);
  d->revision = at16(46 - v);
  d->edittime = at32(48 - v), d->words = at32(52 - v), d->chars = at32(56 - v);
  d->pagecount = at16(60 - v);
  return 0;
}

int wreadfonts(cxstate* st, wrd* d, int32_t off, int len) {
  static const char* const builtin[3] = {"Tms Rmn", "Symbol", "Helv"};
  d->nfonts = 0;
  auto addfont = [&](const char* name, int n, int num) {
    d->fontname[d->nfonts] = name;
    d->fontnamelen[d->nfonts] = n;
    d->fontnum[d->nfonts] = num;
    d->nfonts++;
  };
  if (len == 0) return 0;
  if (!d->mac && (d->version == 1 || len <= 2))
    for (int i = 0; i < 3; i++) addfont(builtin[i], static_cast<int>(std::strlen(builtin[i])), i);
  if (!d->mac && len <= 2) return 0;
  unsigned char* t;
  if (int s = wloadtab(st, d, off, len, &t)) return s;
  d->fonttab = t;
  d->fonttablen = len;
  const char* base = reinterpret_cast<const char*>(t);
  if (d->mac) {
    int count = t[0];
    int at = 6;
    for (int i = 0; i < count && at < len && d->nfonts < WMAXFONTS; i++) {
      int e = at;
      while (e < len && t[e]) e++;
      addfont(base + at, e - at, at >= 2 ? wget16(d, t + at - 2) : i);
      at = e + 1 + 5;
    }
    return 0;
  }
  // Each entry: two bytes, then its name up to a NUL; the next entry
  // starts two bytes after that NUL.
  int entry = d->version == 1 ? 2 : 3;
  while (d->nfonts < WMAXFONTS && entry <= len - 2) {
    int name = entry + 2;
    int e = name;
    while (e < len && t[e]) e++;
    if (d->version == 2 && e == name) break;
    addfont(base + name, e - name, d->nfonts);
    entry = e + 2;
  }
  return 0;
}

// ---------------------------------------------------------------- document start

void wdttm(cxstate* st, uint32_t p) {
  int minutes = p & 0x3F, hours = p >> 6 & 0x1F, day = p >> 11 & 0x1F, month = p >> 16 & 0xF;
  int years = p >> 20 & 0x1FF;
  if (month == 0) return;
  // A month past December has no name; the rest of the date still stands.
  if (month <= 12) putstr(st, kmonths[month - 1]);
  putnum(st, static_cast<uint32_t>(day), 1);
  putstr(st, ", ");
  putnum(st, static_cast<uint32_t>(1900 + years), 4);
  putstr(st, "  ");
  putnum(st, static_cast<uint32_t>(hours % 12 == 0 ? 12 : hours % 12), 1);
  cxputc(st, ':');
  putnum(st, static_cast<uint32_t>(minutes), 2);
  cxputc(st, ' ');
  cxputc(st, hours < 12 ? 'A' : 'P');
  cxputc(st, 'M');
  cxputc(st, 31);
}

void wdocstart(cxstate* st, wrd* d) {
  cmbegin(st, WR_DOCSTART);
  cmputdec(st, d->mac ? 54 : 44);
  cmend(st);
  for (int k = 0; k < d->nstories; k++) {
    wstory& s = d->story[k];
    s.pagefull = d->pageh - d->bottom - d->top;
    s.leftedge = d->leftm;
    s.rightedge = d->rightm;
    s.linepos = s.pending = 0;
    s.lineheight = 240;
    // The line width: the text width of the page (stand-in until
    // paragraph indents are read).
    s.linewidth = d->pagew - d->leftm - d->rightm;
  }
  wswitch(d, 0);
  d->marginflag = d->pendleft = d->pendright = -1;
  wpapclear(d, &d->base);
  d->pap = d->papw = d->base;
  if (!d->mac && d->assoc) {
    cmbegin(st, WR_SUMMARY);
    for (int n : {2, 5, 6, 3, 4, 6}) suminfostr(st, d, n);
    wdttm(st, d->created);
    wdttm(st, d->revised);
    suminfostr(st, d, 1);
    for (int i = 0; i < 5; i++) cxputc(st, 31);
    cmputdec(st, d->pagecount);
    cmputdec32(st, d->chars);
    cmputdec32(st, d->words);
    cmputdec32(st, d->edittime);
    cmputdec(st, d->revision);
    cmend(st);
  }
  cmbegin(st, WR_FONTS);
  cmputdec(st, d->nfonts);
  cmputdec(st, 3);
  for (int i = 0; i < d->nfonts; i++) {
    cmputhex2(st, 0, 31);
    cmputdec(st, d->mac ? d->fontnum[i] : i);
    putname(st, d, reinterpret_cast<const unsigned char*>(d->fontname[i]), d->fontnamelen[i]);
    cxputc(st, 31);
  }
  cmputhex2(st, 0, 31);
  cmend(st);
  wcharprops(st, d, 0, 0);
  wpagerecs(st, d, WP_ORIENT | WP_WIDTH | WP_VMARGINS | WP_PAGES | WP_HMARGINS);
  if (d->mac || d->version == 2) {
    cmbegin(st, WR_LANG);
    cmputdec(st, d->lang);
    cmend(st);
  }
  // The style sheet: standard styles get the codes 256 - c to 255, user
  // styles 0, 1, 2 and so on.
  int c = d->nstd;
  int code = c > 0 ? (256 - c) & 0xFF : 0;
  int remaining = c;
  d->instylesheet = 1;
  for (int at = 0; at < d->lnames - 1; at++) {
    int l = d->stnames[at];
    if (l != 255) {
      d->stylebody = 0;
      cmbegin(st, WR_STYLE);
      wstylename(st, d, code);
      wcharprops(st, d, code, 0);
      cmputcode(st, WR_STYLEBODY);
      d->stylebody = 1;
      wcharprops(st, d, 0, 0);
      cmend(st);
      at += l;
    }
    if (remaining > 0) {
      remaining--;
      code = remaining == 0 ? 0 : code + 1;
    } else {
      code++;
    }
  }
  d->instylesheet = d->stylebody = 0;
  d->story[0].linepos = 0;
}

// ---------------------------------------------------------------- bookmarks

void wreadbookmarks(cxstate* st, wrd* d) {
  unsigned char* t[3] = {nullptr, nullptr, nullptr};
  for (int i = 0; i < 3; i++)
    if (d->bkmklen[i] && wloadtab(st, d, d->bkmk[i], d->bkmklen[i], &t[i]) != 0) t[i] = nullptr;
  d->bknames = t[0];
  if (!t[0] || !t[1] || !t[2]) return;
  // The count is bounded by every table it indexes: the ends, the starts
  // with their name indexes, and the names.
  int n = d->bkmklen[2] / 4 - 1;
  int bystarts = (d->bkmklen[1] - 4) / 6;
  if (bystarts < n) n = bystarts;
  if (n <= 0) return;
  d->bkstart = static_cast<int32_t*>(walloc(st, d, sizeof(int32_t) * static_cast<size_t>(n)));
  d->bkend = static_cast<int32_t*>(walloc(st, d, sizeof(int32_t) * static_cast<size_t>(n)));
  d->bkendname = static_cast<uint16_t*>(walloc(st, d, sizeof(uint16_t) * static_cast<size_t>(n)));
  if (!d->bkstart || !d->bkend || !d->bkendname) cxthrow(st, CX_NOMEM);
  for (int i = 0; i < n; i++) {
    d->bkstart[i] = wget32(d, t[1] + 4 * i);
    d->bkend[i] = wget32(d, t[2] + 4 * i);
    d->bkendname[i] = static_cast<uint16_t>(wget16(d, t[1] + 4 * (n + 1) + 2 * i));
  }
  d->nbk = n;
}

int wbookmarks(cxstate* st, wrd* d, int all) {
  if (!d->bknames || d->nbk == 0) return 0;
  int32_t cp = d->story[0].cp;
  int wrote = 0;
  auto due = [&](int32_t p) { return static_cast<uint32_t>(p) < 0x0FFFFFFFu && (all || p < cp); };
  for (int i = 0; i < d->nbk; i++)
    if (due(d->bkstart[i])) {
      d->bkstart[i] = 0x0FFFFFFF;
      bookmarkrec(st, d, 1, i);
      wrote = 1;
    }
  for (int i = 0; i < d->nbk; i++)
    if (due(d->bkend[i])) {
      d->bkend[i] = 0x0FFFFFFF;
      bookmarkrec(st, d, 2, d->bkendname[i]);
      wrote = 1;
    }
  return wrote;
}
