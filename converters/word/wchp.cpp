// Character properties of the Word 1.x/2.0 and Mac Word full readers: the
// property set of a run built from its paragraph style and the bytes stored
// for it, styles applied through their base chains with the defaults of the
// built-in styles, style names, the change records written when the
// properties differ from those written last, and the font widths with which
// the line layout measures the text.
#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "converters/word/wfull.h"
#include "converters/word/wread.h"

namespace {

// Change records of the character properties.
enum : int {
  WR_POSUPOFF = 19973, WR_POSDNOFF = 19525, WR_POSUP = 19987, WR_POSDN = 19539,
  WR_SPACE0 = 18789, WR_SPACE = 18603, WR_COLOUR0 = 12389, WR_COLOUR = 12386,
  WR_ULOFF3 = 21637, WR_ULOFF = 12965, WR_ULKIND = 14003, WR_ULON3 = 21634, WR_ULON = 12962,
  WR_F21ON = 20610, WR_F21OFF = 20613, WR_F21REC = 25220, WR_FONT = 6675, WR_BASESTYLE = 15443,
};

// Toggles: flag, on record, off record.
const int ktoggles[8][3] = {{0, 20546, 20549}, {1, 16009, 6793},  {2, 15970, 15973}, {3, 12770, 12773},
                            {4, 16994, 16997}, {5, 19554, 19557}, {6, 21602, 21605}, {8, 12866, 12869}};

const int kcolw2[16] = {0, 0, 9, 11, 10, 13, 12, 14, 15, 1, 3, 2, 5, 4, 6, 7};
const int kcolmw[16] = {0, 9, 11, 10, 13, 12, 14, 15, 9, 11, 10, 13, 12, 14, 0, 0};
const int kulkind[8] = {0, 2, 0, 3, 1, 0, 0, 9};

// Built-in style names, by style number from 222 up (Word 1.x/2.0, Mac Word).
const char* const kw2names[34] = {
    "null", "ann ref", "ann text", "toc8", "toc7", "toc6", "toc5", "toc4", "toc3", "toc2", "toc1",
    "index 7", "index 6", "index 5", "index 4", "index 3", "index 2", "index 1", "line number",
    "index heading", "footer", "header", "fnote reference", "fnote text", "heading 9", "heading 8",
    "heading 7", "heading 6", "heading 5", "heading 4", "heading 3", "heading 2", "heading 1",
    "normal indent"};
const char* const kmwnames[34] = {
    "null", "reserved", "PostScript", "toc9", "toc8", "toc7", "toc6", "toc5", "toc4", "toc3", "toc2",
    "toc1", "index 7", "index 6", "index 5", "index 4", "index 3", "index 2", "index 1",
    "line number", "index heading", "footer", "header", "fnote reference", "fnote text", "heading 9",
    "heading 8", "heading 7", "heading 6", "heading 5", "heading 4", "heading 3", "heading 2",
    "heading 1"};

// Mac fonts by number.
const struct {
  int num;
  const char* name;
} kmacfonts[] = {{0, "Chicago"}, {1, "AppleFont"}, {2, "New York"}, {3, "Geneva"}, {4, "Monaco"},
                 {5, "Venice"}, {6, "London"}, {7, "Athens"}, {8, "San Francisco"}, {9, "Toronto"},
                 {11, "Cairo"}, {12, "Los Angeles"}, {13, "Zapf Dingbats"}, {14, "Bookman"},
                 {16, "Palatino"}, {18, "Zapf Chancery"}, {20, "Times"}, {21, "Helvetica"},
                 {22, "Courier"}, {23, "Symbol"}, {24, "Mobile"}, {33, "Avant Garde"},
                 {34, "New Century Schlbk"}, {97, "Avignon"}, {101, "Cartoon"}, {128, "PC80"},
                 {129, "PC40"}, {150, "Manhattan"}, {151, "Hollywood"}, {168, "Eire"}};

// Widths of the codes 32 to 127 in 1/144 of the point size: A for the
// Helvetica-like faces, B for any other proportional face.
const unsigned char kwidthA[96] = {
    45, 45, 75, 105, 105, 180, 135, 45, 60, 60, 75, 105, 45, 60, 45, 60,
    105, 105, 105, 105, 105, 105, 105, 105, 105, 105, 45, 45, 105, 105, 105, 105,
    210, 135, 135, 135, 150, 135, 120, 150, 150, 45, 105, 120, 105, 165, 150, 150,
    135, 150, 150, 135, 135, 150, 135, 195, 120, 135, 120, 60, 60, 60, 105, 105,
    60, 120, 120, 105, 120, 120, 45, 120, 105, 45, 45, 105, 45, 165, 105, 120,
    120, 120, 60, 105, 45, 105, 105, 135, 90, 105, 90, 75, 45, 75, 135, 60};
const unsigned char kwidthB[96] = {
    60, 75, 75, 105, 105, 180, 165, 45, 75, 75, 105, 120, 60, 75, 60, 60,
    105, 105, 105, 105, 105, 105, 105, 105, 105, 105, 45, 60, 120, 120, 120, 90,
    195, 135, 120, 135, 150, 120, 120, 150, 135, 75, 90, 135, 120, 180, 150, 150,
    120, 150, 135, 120, 135, 135, 135, 195, 150, 135, 120, 75, 60, 75, 90, 105,
    60, 90, 105, 105, 105, 90, 75, 105, 105, 45, 45, 105, 45, 165, 105, 105,
    105, 105, 75, 90, 60, 105, 105, 165, 105, 105, 90, 105, 45, 105, 120, 165};

int tablewidth(const unsigned char* t, int c) {
  if (c < 32) return 190;
  if (c < 128) return t[c - 32];
  return 105;  // the upper half: an average letter
}

bool contains(const char* name, const char* part) {
  size_t n = std::strlen(part);
  for (const char* p = name; *p; p++) {
    size_t i = 0;
    while (i < n && p[i] && (p[i] | 32) == (part[i] | 32)) i++;
    if (i == n) return true;
  }
  return false;
}

// Makes the width table of a font, size and style current; -1 when the
// cache cannot be set up.
int fontmatch(cxstate* st, const char* name, int points, int style) {
  cxmain* mn = st->mn;
  if (!st->fb->fontcacheset) {
    for (cxfontw& f : mn->fontcache) {
      f = {};
      f.widths = cxalloc(st, 1024);
      if (!f.widths) return -1;
    }
    st->fb->fontcacheset = 1;
  }
  char key[32];
  std::strncpy(key, name ? name : "", sizeof key - 1);
  key[sizeof key - 1] = '\0';
  for (cxfontw& f : mn->fontcache)
    if (f.name[0] && std::strcmp(f.name, key) == 0 && f.twips == points * 20 && f.style == style) {
      mn->curwidths = f.widths;
      return 0;
    }
  cxfontw* slot = &mn->fontcache[0];
  for (cxfontw& f : mn->fontcache)
    if (!f.name[0]) {
      slot = &f;
      break;
    }
  auto* w = static_cast<int32_t*>(const_cast<void*>(slot->widths));
  bool fixed = false;
  const unsigned char* table = kwidthB;
  for (const char* p : {"Helv", "Arial", "Swiss"})
    if (contains(key, p)) table = kwidthA;
  for (const char* p : {"Modern", "Courier", "Pica", "MS Line"})
    if (contains(key, p)) fixed = true;
  for (int c = 0; c < 256; c++) w[c] = fixed ? points * 12 : points * 12 * tablewidth(table, c) / 144;
  std::memcpy(slot->name, key, sizeof key);
  slot->twips = points * 20;
  slot->style = style;
  mn->curwidths = slot->widths;
  return 0;
}

// The name of a font number of the document.
const char* fontname(wrd* d, int32_t font, int* len) {
  static const char* const builtin[3] = {"Tms Rmn", "Symbol", "Helv"};
  if (d->mac) {
    for (const auto& f : kmacfonts)
      if (f.num == font) {
        *len = static_cast<int>(std::strlen(f.name));
        return f.name;
      }
    *len = 7;
    return "Chicago";
  }
  if (font >= 0 && font < d->nfonts) {
    *len = d->fontnamelen[font];
    return d->fontname[font];
  }
  if (font >= 0 && font < 3) {
    *len = static_cast<int>(std::strlen(builtin[font]));
    return builtin[font];
  }
  *len = 0;
  return nullptr;
}

// ---------------------------------------------------------------- building a run's properties

int bit(int byte, int k) { return byte & (1 << k); }

// The bytes a run stores, from the current character property page; none
// when it stores nothing.
const unsigned char* pagebytes(wrd* d) {
  const wfkp& f = d->story[d->cur].fkp[0];
  if (f.loaded < 0 || f.run < 0 || f.run >= f.runs) return nullptr;
  int off = f.page[4 * (f.runs + 1) + f.run];
  if (!d->mac || d->layout != 3) off *= 2;
  if (off == 0 || off >= d->pagesize - 1) return nullptr;
  return f.page + off;
}

}  // namespace

void wchpreset(wrd* d, wchp* c) {
  *c = {};
  c->size = 20;
  c->language = d->lang;
}

void wchpx(cxstate* st, wrd* d, const unsigned char* stored, int fromstyle) {
  (void)st;
  wchp& cur = d->chp;
  const wchp& sty = d->style;
  if (!d->mac) d->saved = cur;
  cur = sty;
  const unsigned char* b = stored ? stored : fromstyle ? nullptr : pagebytes(d);
  if (b) {
    int c = b[0];
    // The stored bytes never reach past the page (or the group) they lie in.
    if (!stored) {
      const wfkp& f = d->story[d->cur].fkp[0];
      int room = static_cast<int>(f.page + d->pagesize - 1 - b);
      if (c > room) c = room;
    }
    b++;
    auto flip = [&](int flag, int value) { cur.flag[flag] = static_cast<unsigned char>(value ^ sty.flag[flag]); };
    auto present = [&](int flag, int value) {
      cur.flag[flag] = static_cast<unsigned char>(value);
      if (!value) return;
      switch (flag) {
        case 10: cur.flag[WF_COLOUR] = 0; break;
        case 11: cur.font = 0; break;
        case 12: cur.size = 0; break;
        case 13: cur.flag[WF_UNDERLINE] = 0; break;
        case 14: cur.position = 0; break;
        case 15: cur.flag[WF_SPACING] = 0; break;
        case 22: cur.language = 0; break;
        default: break;
      }
    };
    if (d->mac) {
      if (c >= 1) {
        cur.byte0 = b[0];
        for (int k = 0; k < 8; k++) flip(k, bit(b[0], 7 - k));
      }
      if (c >= 2) {
        cur.byte1 = b[1];
        flip(8, bit(b[1], 7));
        flip(9, bit(b[1], 6));
        for (int k = 10; k < 16; k++) present(k, bit(b[1], 15 - k));
      }
      if (c >= 3) cur.font = c == 3 ? b[2] : b[2] << 8 | b[3];
      if (c >= 5) cur.size = b[4];
      if (c >= 6) cur.position = b[5];
      if (c >= 7) {
        int p = c == 7 ? b[6] << 8 : b[6] << 8 | b[7];
        cur.packed = p;
        cur.flag[WF_SPACING] = static_cast<unsigned char>(p >> 10 & 63);
        cur.flag[17] = static_cast<unsigned char>(p >> 8 & 3);
        cur.flag[WF_COLOUR] = static_cast<unsigned char>(p >> 4 & 15);
        cur.flag[WF_UNDERLINE] = static_cast<unsigned char>(p >> 1 & 7);
        cur.flag[20] = static_cast<unsigned char>(p & 1);
      }
      cur.picture = 0;
      if (c > 8 && cur.flag[WF_SPECIAL] && wpeekchar(d) == 1) {
        uint32_t v = 0;
        for (int i = 8; i < c && i < 12; i++) v = v << 8 | b[i];
        cur.picture = static_cast<int32_t>(v & 0xFFFFFF);
      }
    } else if (d->version == 1) {
      if (c >= 1) {
        cur.byte0 = b[0];
        for (int k = 0; k < 8; k++) flip(k, bit(b[0], k));
      }
      if (c >= 2) {
        cur.byte1 = b[1];
        flip(8, bit(b[1], 0));
        flip(9, bit(b[1], 1));
        for (int k = 10; k < 16; k++) present(k, bit(b[1], k - 8));
        if (cur.flag[WF_SPECIAL] && wpeekchar(d) >= 32) {
          cur = d->saved;
          return;
        }
      }
      if (c >= 3) cur.font = c == 3 ? b[2] : b[2] | b[3] << 8;
      if (c >= 5) cur.size = b[4];
      if (c >= 6) cur.position = b[5];
      if (c >= 7) {
        int p = c == 7 ? b[6] : b[6] | b[7] << 8;
        cur.packed = p;
        cur.flag[WF_SPACING] = static_cast<unsigned char>(p & 63);
        cur.flag[17] = static_cast<unsigned char>(p >> 6 & 3);
        cur.flag[WF_COLOUR] = static_cast<unsigned char>(p >> 8 & 15);
        cur.flag[WF_UNDERLINE] = static_cast<unsigned char>(p >> 12 & 7);
        cur.flag[20] = static_cast<unsigned char>((p >> 15 & 1) ^ sty.flag[20]);
      }
      cur.picture = 0;
      if (c > 8 && wpeekchar(d) == 1) {
        uint32_t v = 0;
        for (int i = std::min(c, 12) - 1; i >= 8; i--) v = v << 8 | b[i];
        cur.picture = static_cast<int32_t>(v & 0xFFFFFF);
      }
    } else {
      if (c >= 1) {
        cur.byte0 = b[0];
        for (int k : {0, 1, 3, 4, 5, 6, 7}) flip(k, bit(b[0], k));
        flip(21, bit(b[0], 2));
      }
      if (c >= 2) {
        cur.byte1 = b[1];
        flip(8, bit(b[1], 0));
        flip(9, bit(b[1], 1));
        flip(2, bit(b[1], 2));
        flip(23, bit(b[1], 3));
        if (cur.flag[WF_SPECIAL] && wpeekchar(d) >= 32) {
          cur = d->saved;
          return;
        }
      }
      if (c >= 3) {
        cur.packed = b[2];
        for (int k = 10; k < 16; k++) present(k, bit(b[2], k - 10));
        present(22, bit(b[2], 6));
        cur.flag[20] = 0;
      }
      if (c >= 5) cur.font = c == 5 ? b[4] : b[4] | b[5] << 8;
      if (c >= 7) cur.size = b[6];
      if (c >= 9) {
        cur.spacebyte = b[8];
        cur.flag[WF_SPACING] = static_cast<unsigned char>(b[8] & 63);
        flip(20, bit(b[8], 6));
      }
      if (c >= 10) {
        cur.colourbyte = b[9];
        cur.flag[WF_COLOUR] = static_cast<unsigned char>(b[9] & 31);
        cur.flag[WF_UNDERLINE] = static_cast<unsigned char>(b[9] >> 5 & 3);
      }
      if (c >= 11) cur.position = cur.flag[14] ? b[10] : sty.position;
      if (c >= 13) cur.language = c == 13 ? b[12] : b[12] | b[13] << 8;
      cur.picture = 0;
      if (c == 18 && wpeekchar(d) == 1) cur.picture = (b[14] | b[15] << 8 | b[16] << 16);
    }
  }
  // What the run does not store comes from its style.
  if (!cur.flag[11]) cur.font = sty.font;
  if (!cur.flag[15]) cur.flag[WF_SPACING] = sty.flag[WF_SPACING];
  if (!cur.flag[12]) cur.size = sty.size;
  if (!cur.flag[14]) cur.position = sty.position;
  if (!cur.flag[10]) cur.flag[WF_COLOUR] = sty.flag[WF_COLOUR];
  if (!cur.flag[13]) cur.flag[WF_UNDERLINE] = sty.flag[WF_UNDERLINE];
  if (!d->mac && !cur.flag[22]) cur.language = sty.language;
  if (cur.size == 0) cur.size = 20;
}

namespace {

// ---------------------------------------------------------------- records

// Writes a toggle's record when the flag changed; an open enclosing record
// of flag 21 (or of Mac hidden text) is closed first.
void chpflag(cxstate* st, wrd* d, int cur, int wr, int on, int off) {
  if ((cur & 0xFF) == (wr & 0xFF)) return;
  if (d->encl != 0) {
    if (d->encl == 2) {
      cmputcode(st, WR_HIDDENOFF);
    } else if (d->mac) {
      cxputc(st, 30);
    }
    d->encl = 0;
  }
  cmputcode(st, cur ? on : off);
}

void flag21(cxstate* st, wrd* d, int direct) {
  int on = d->chp.flag[21] != 0;
  if (direct || d->instylesheet || d->stylebody) {
    cmputcode(st, on ? WR_F21ON : WR_F21OFF);
    d->encl = on ? 2 : 0;
  } else if (on) {
    cmbegin(st, WR_F21REC);
    d->encl = 1;
  } else {
    if (d->encl == 2) {
      cmputcode(st, WR_F21OFF);
    } else {
      cxputc(st, 31);
      cxputc(st, 30);
    }
    d->encl = 0;
  }
  d->written.flag[21] = d->chp.flag[21];
}

// Reads up to n characters ahead of a hidden run into out; the count.
int peekahead(cxstate* st, wrd* d, int* out, int n) {
  int got = 0;
  while (got < n) {
    int c = d->story[d->cur].left > 0 ? wnextchar(st, d) : -1;
    if (c < 0) break;
    out[got++] = c;
  }
  return got;
}

void giveback(cxstate* st, wrd* d, const int* c, int n) {
  while (n > 0) wungetchar(st, d, c[--n]);
}

// An index entry (".i.") or contents entry (".c" digits ".") held in hidden
// text: its text, up to a ";" outside quotes, becomes an entry record; what
// of it is not hidden is read again as ordinary text.
void mwentry(cxstate* st, wrd* d, int level) {
  d->entrybusy = 1;
  int keep = cxsopen(st, 512);
  cmbegin(st, WR_ENTRY);
  cmputhex2(st, level, 31);
  cmend(st);
  int quotes = 0;
  for (;;) {
    wstory& s = d->story[d->cur];
    if (d->cur == 0 && s.left <= 0 && s.nback <= 0) break;
    if (s.left > 0 && s.fc >= s.nextstop) wrunloop(st, d);
    int c = wnextchar(st, d);
    if (c < 0) break;
    if (c == ';' && quotes % 2 == 0) break;
    if (c == ':' && quotes % 2 == 0) {
      cxputc(st, 31);
    } else if (c == 212 || c == 213) {
      quotes++;
    } else if (c >= 128) {
      wextchar(st, d, c);
    } else if (c < 32) {
      wspecial(st, d, c);
    } else {
      cxputc(st, c);
      if (!d->chp.flag[WF_HIDDEN] && keep >= 0) cxsputc(st, c, keep);
    }
  }
  if (keep >= 0) {
    for (int c; (c = cxspop(st, keep)) != -1;) wungetchar(st, d, c);
    cxsclose(st, keep);
  }
  cmbegin(st, WR_ENTRYEND);
  cmputhex2(st, level, 31);
  cmend(st);
  d->entrybusy = 0;
}

void mwhidden(cxstate* st, wrd* d, int direct) {
  if (d->entrybusy) return;
  int on = d->chp.flag[WF_HIDDEN] != 0;
  d->written.flag[WF_HIDDEN] = d->chp.flag[WF_HIDDEN];
  if (direct || d->instylesheet || d->stylebody) {
    cmputcode(st, on ? WR_HIDDENON : WR_HIDDENOFF);
    d->encl = on ? 2 : 0;
    return;
  }
  if (!on) {
    if (d->encl == 2)
      cmputcode(st, WR_HIDDENOFF);
    else if (d->encl == 1) {
      cxputc(st, 31);
      cxputc(st, 30);
    }
    d->encl = 0;
    return;
  }
  int c[3];
  d->entrybusy = 1;  // the run boundaries crossed while looking ahead change nothing
  int n = peekahead(st, d, c, 3);
  d->entrybusy = 0;
  bool index = n == 3 && c[0] == '.' && c[1] == 'i' && c[2] == '.';
  bool contents = n >= 2 && c[0] == '.' && c[1] == 'c';
  if (index) {
    mwentry(st, d, 20);
  } else if (contents) {
    // The level: the digits before the next ".".
    int level = 0, digits = 0;
    giveback(st, d, c + 2, n - 2);
    for (;;) {
      int x;
      d->entrybusy = 1;
      int got = peekahead(st, d, &x, 1);
      d->entrybusy = 0;
      if (got == 0 || x == '.') break;
      if (x < '0' || x > '9' || ++digits > 6) {
        wungetchar(st, d, x);
        break;
      }
      level = 10 * level + (x - '0') + 9;
    }
    mwentry(st, d, level & 0xFF);
  } else if (n > 0 && c[0] == 5) {
    // Hidden text that opens with the character 5 is not hidden: the 5 goes.
    giveback(st, d, c + 1, n - 1);
    d->chp.flag[WF_HIDDEN] = 0;
    d->written.flag[WF_HIDDEN] = 0;
    d->encl = 0;
  } else {
    giveback(st, d, c, n);
    cmbegin(st, WR_HIDDEN);
    d->encl = 1;
  }
}

void fontname(cxstate* st, wrd* d, const char* name, int n) {
  for (int i = 0; i < n; i++) {
    int c = static_cast<unsigned char>(name[i]);
    if (!d->mac && (c < 32 || c > 127))
      ccputchar(st, c, 819);
    else
      cxputc(st, c);
  }
}

void fontrec(cxstate* st, wrd* d) {
  wchp& cur = d->chp;
  wchp& wr = d->written;
  if (!d->mac && (cur.font < 0 || cur.font >= (d->nfonts > 0 ? d->nfonts : 3))) cur.font = 0;
  int n = 0;
  const char* name = fontname(d, cur.font, &n);
  if (d->mac && !name) cur.font = 0;
  int wsize = wr.size ? wr.size : 24;
  int csize = cur.size ? cur.size : 24;
  cmbegin(st, WR_FONT);
  cmputdec(st, 240 / wsize);
  cmputdec(st, wr.font);
  cmputdec(st, 240 / csize);
  cmputdec(st, cur.font);
  cmputdec(st, csize * 10);
  if (name) fontname(st, d, name, n);
  cxputc(st, 31);
  cmend(st);
  wstory& s = d->story[d->cur];
  s.baseheight = csize * 12;
  if (s.lineheight < s.baseheight) s.lineheight = s.baseheight;
  d->forcefont = 0;
}

void spacing(cxstate* st, wrd* d) {
  int s = d->chp.flag[WF_SPACING];
  int unit = d->mac ? 3 : 5;
  if (s == 0) {
    cmputcode(st, WR_SPACE0);
    return;
  }
  cmbegin(st, WR_SPACE);
  cmputdec(st, s <= 56 ? 1 : 0);
  cmputdec(st, unit * (s <= 56 ? s : 64 - s));
  cmend(st);
}

void colour(cxstate* st, wrd* d) {
  int c = d->chp.flag[WF_COLOUR];
  if (c == 0) {
    if (d->written.flag[WF_COLOUR]) cmputcode(st, WR_COLOUR0);
    return;
  }
  // Colours past the table (17 to 31 in Word, 16 on in Mac Word) name no
  // colour: no record.
  if (c > (d->mac ? 15 : 16)) return;
  cmbegin(st, WR_COLOUR);
  if (!d->mac && c == 16) {
    cmputdec(st, 15);
    for (int i = 0; i < 3; i++) cmputdec(st, 192);
  } else {
    int w = d->mac ? kcolmw[c] : kcolw2[c];
    int e = d->mac ? 255 : (w & 8) ? 255 : 127;
    cmputdec(st, w);
    cmputdec(st, (w & 4) ? e : 0);
    cmputdec(st, (w & 2) ? e : 0);
    cmputdec(st, (w & 1) ? e : 0);
    if (d->mac)
      for (int i = 0; i < 3; i++) cmputdec(st, 0);
  }
  cmend(st);
}

void underline(cxstate* st, wrd* d) {
  int k = d->written.flag[WF_UNDERLINE], n = d->chp.flag[WF_UNDERLINE];
  // Mac Word's kinds stop at 4: 5 to 7 write no underline record.
  if (d->mac && n > 4) return;
  if (k >= 1 && k <= 4) cmputcode(st, k == 3 ? WR_ULOFF3 : WR_ULOFF);
  if (n == 0) return;
  cmbegin(st, WR_ULKIND);
  cmputdec(st, kulkind[k & 7]);
  cmputdec(st, kulkind[n & 7]);
  cmend(st);
  if (n >= 1 && n <= 4) cmputcode(st, n == 3 ? WR_ULON3 : WR_ULON);
}

void position(cxstate* st, wrd* d) {
  int v = d->written.position, c = d->chp.position;
  if (v >= 1 && v <= 127) cmputcode(st, WR_POSUPOFF);
  if (v >= 128 && v <= 255) cmputcode(st, WR_POSDNOFF);
  if (c >= 1 && c <= 127) cmputcode(st, WR_POSUP);
  if (c >= 128 && c <= 255) cmputcode(st, WR_POSDN);
}

}  // namespace

void wchpemit2(cxstate* st, wrd* d, int copy, int direct) {
  wchp& cur = d->chp;
  wchp& wr = d->written;
  if (d->mac) {
    if (cur.picture) ccnop3(st);
    if (!cur.flag[WF_HIDDEN] && wr.flag[WF_HIDDEN]) mwhidden(st, d, direct);
  } else {
    if (!cur.flag[21] && wr.flag[21]) flag21(st, d, direct);
    if (cur.flag[WF_HIDDEN] != wr.flag[WF_HIDDEN] && wr.flag[WF_HIDDEN]) {
      cxputc(st, 31);
      cxputc(st, 30);
      d->hiddenopen = 0;
    }
  }
  for (const auto& t : ktoggles) chpflag(st, d, cur.flag[t[0]], wr.flag[t[0]], t[1], t[2]);
  if (cur.font != wr.font || cur.size != wr.size || d->forcefont) fontrec(st, d);
  if (cur.position != wr.position) position(st, d);
  if (cur.language != wr.language) {
    cmbegin(st, WR_LANG);
    cmputdec(st, cur.language);
    cmend(st);
  }
  if (d->mac && !cur.flag[15]) cur.flag[WF_SPACING] = d->style.flag[WF_SPACING];
  if (cur.flag[WF_SPACING] != wr.flag[WF_SPACING]) spacing(st, d);
  if (cur.flag[WF_COLOUR] != wr.flag[WF_COLOUR]) colour(st, d);
  if (cur.flag[WF_UNDERLINE] != wr.flag[WF_UNDERLINE]) underline(st, d);
  if (d->mac) {
    if (cur.flag[WF_HIDDEN] && !wr.flag[WF_HIDDEN]) mwhidden(st, d, direct);
  } else {
    if (cur.flag[21] && !wr.flag[21]) flag21(st, d, direct);
    if (cur.flag[WF_HIDDEN] != wr.flag[WF_HIDDEN] && cur.flag[WF_HIDDEN]) {
      cmbegin(st, WR_HIDDEN);
      d->hiddenopen = 1;
    }
  }
  if (copy) wr = cur;
  int n = 0;
  const char* name = fontname(d, cur.font, &n);
  char key[32] = {};
  if (name) std::memcpy(key, name, static_cast<size_t>(n < 31 ? n : 31));
  int style = (cur.flag[WF_ITALIC] ? 2 : 0) + (cur.flag[WF_BOLD] ? 1 : 0);
  fontmatch(st, key, (cur.size / 2) & 0x7F, style);
}

void wchpemit(cxstate* st, wrd* d) { wchpemit2(st, d, 1, 0); }

void wfontrec(cxstate* st, wrd* d) { fontrec(st, d); }
void wfontname(cxstate* st, wrd* d, const char* name, int n) { fontname(st, d, name, n); }

void wchprun(cxstate* st, wrd* d) {
  wchpx(st, d, nullptr, 0);
  wchpemit2(st, d, 1, 0);
}

int wcharwidth(cxstate* st, wrd* d, int c) {
  (void)d;
  const auto* w = static_cast<const int32_t*>(st->mn->curwidths);
  return w ? w[c & 0xFF] : 120;
}

// ---------------------------------------------------------------- styles

namespace {

// Walks a block of counted entries to entry i; its offset, or -1 when it
// lies past the block.
int entryat(const unsigned char* b, int len, int i, bool zeroempty) {
  int at = 0;
  for (int k = 0; k < i; k++) {
    if (at >= len) return -1;
    int n = b[at];
    at += (n == 255 || (zeroempty && n == 0)) ? 1 : 1 + n;
  }
  return at < len ? at : -1;
}

// The index of a style in the sheet, and the style number itself, clamped
// to the sheet.
int styleindex(wrd* d, int* s) {
  int i = (*s + d->nstd) & 0xFF;
  if (i >= d->nstyles && i < 222) i = 0;
  if (*s >= d->nstyles && *s < 222) *s = 0;
  return i;
}

void builtin(wrd* d, int s) {
  wchp& y = d->style;
  auto togglebold = [&] { y.flag[WF_BOLD] = static_cast<unsigned char>(d->written.flag[WF_BOLD] ^ 1); };
  auto toggleitalic = [&] { y.flag[WF_ITALIC] = static_cast<unsigned char>(d->written.flag[WF_ITALIC] ^ 1); };
  // Mac Word numbers its built-in styles one above Word's from 223 on.
  int w = d->mac && s >= 223 ? s - 1 : s;
  if (s == 0 || s == 222) {
    wchpreset(d, &y);
    if (s == 222) {
      y.size = 24;
      y.font = 2;
    }
    return;
  }
  if (d->mac && s == 224) {
    y.flag[WF_HIDDEN] = 1;
    y.flag[WF_BOLD] = 1;
    y.size = 20;
    return;
  }
  if (d->mac && (s == 223 || s == 241 || s == 242)) return;
  switch (w) {
    case 223: y.size = 16; break;
    case 224: case 245: y.size = 20; break;
    case 244: y.size = 16; y.position = 6; break;
    case 246: case 247: case 248: toggleitalic(); y.size = 20; break;
    case 249: y.flag[WF_UNDERLINE] = 1; y.size = 20; break;
    case 250: togglebold(); y.size = 20; break;
    case 251: y.flag[WF_UNDERLINE] = 1; y.size = 24; break;
    case 252: togglebold(); y.size = 24; break;
    case 253: togglebold(); y.size = 24; y.font = 2; break;
    case 254: togglebold(); y.flag[WF_UNDERLINE] = 1; y.size = 24; y.font = 2; break;
    default: break;
  }
}

}  // namespace

void wcharprops(cxstate* st, wrd* d, int s, int depth) {
  if (depth == 0) wchpreset(d, &d->style);
  if (depth > 10) cxthrow(st, CX_NOTFMT);
  int i = styleindex(d, &s);
  if (s != 0 && s != 222 && i < d->nstyles) {
    int b = d->stnext[2 * i + 1];
    if (depth == 0 && d->instylesheet && !d->mac) {
      cmbegin(st, WR_BASESTYLE);
      wstylename(st, d, b);
      cmend(st);
    }
    wcharprops(st, d, b, depth + 1);
  }
  // The margin record of the indents is written by the paragraph output
  // when it is built; until then no margin is pending here.
  int at = d->stchp ? entryat(d->stchp, d->lchp, i, false) : -1;
  if (at >= 0 && d->stchp[at] != 255) {
    // A group that reaches past its block is cut at the block's end.
    unsigned char group[256];
    int n = d->stchp[at];
    if (n > d->lchp - at - 1) n = d->lchp - at - 1;
    group[0] = static_cast<unsigned char>(n);
    std::memcpy(group + 1, d->stchp + at + 1, static_cast<size_t>(n));
    wchpx(st, d, group, 1);
    d->style = d->chp;
  }
  int pat = d->stpap ? entryat(d->stpap, d->lpap, i, false) : -1;
  if (pat < 0 || d->stpap[pat] == 255) builtin(d, s);
  if (depth == 0) {
    d->chp = d->style;
    wchpemit2(st, d, 1, 1);
  }
}

void wstylename(cxstate* st, wrd* d, int s) {
  const char* const* names = d->mac ? kmwnames : kw2names;
  if (s == 0) {
    const char* n = d->mac ? "normal" : "Normal";
    for (; *n; n++) cxputc(st, *n);
  } else if (s >= 222 && s <= 255) {
    for (const char* n = names[s - 222]; *n; n++) cxputc(st, *n);
  } else {
    int i = styleindex(d, &s);
    int at = d->stnames ? entryat(d->stnames, d->lnames, i, true) : -1;
    if (at >= 0 && d->stnames[at] != 0 && d->stnames[at] != 255) {
      int n = d->stnames[at];
      for (int k = 1; k <= n && at + k < d->lnames; k++) {
        int c = d->stnames[at + k];
        if (c >= 128)
          wextchar(st, d, c);
        else
          cxputc(st, c < 32 ? '_' : c);
      }
    }
  }
  cxputc(st, 31);
  cmputdec(st, s);
}
