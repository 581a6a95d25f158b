// Paragraph properties of the Word 1.x/2.0 and Mac Word full readers: the
// property modifiers (a code byte and its operands) of property pages,
// style sheets and pieces, applied through a table of the codes that set
// one field and the interpreter's own cases for the rest; the paragraph's
// record built from its style and its stored differences.
//
// Modifier lists come from the document: every modifier's length is checked
// against what its list still holds before any operand is read, and the
// walks over tab stops and table cells stay inside their tables.
#include <cstring>
#include <initializer_list>
#include <iterator>

#include "converters/word/wfull.h"
#include "converters/word/wread.h"

namespace {

// Where a table row stores its operand.
enum : int { TPAP = 0, TCHPSIZE = 1, TMOD = 2 };

struct wmodrow {
  int code;
  int kind;  // 1 a byte, 2 a signed 16-bit value
  int target;
  int32_t wpap::* field;
};

#define PAP(f) TPAP, &wpap::f
#define MOD TMOD, nullptr

// Word 1.x/2.0: the codes that set one field.
const wmodrow kw2rows[] = {
    {5, 1, PAP(justify)}, {6, 1, PAP(sidebyside)}, {7, 1, PAP(keeptogether)}, {8, 1, PAP(keepnext)},
    {9, 1, PAP(pagebreakbefore)}, {10, 1, PAP(borderstyle)}, {11, 1, PAP(bordercode)},
    {14, 1, PAP(nolinenumbers)}, {16, 2, PAP(rightindent)}, {17, 2, PAP(leftindent)},
    {19, 2, PAP(firstindent)}, {20, 2, PAP(linespacing)}, {21, 2, PAP(spacebefore)},
    {22, 2, PAP(spaceafter)}, {24, 1, PAP(intable)}, {25, 1, PAP(rowend)}, {26, 2, PAP(framex)},
    {27, 2, PAP(framey)}, {28, 2, PAP(framewidth)}, {36, 2, PAP(fromtextx)}, {45, 2, PAP(frameheight)},
    {47, 2, PAP(spare47)}, {48, 2, PAP(fromtexty)}, {49, 2, PAP(fromtextx)},
    {53, 1, MOD}, {54, 1, MOD}, {55, 1, MOD}, {68, 2, MOD}, {69, 1, MOD}, {71, 2, MOD}, {73, 1, MOD},
    {74, 1, TCHPSIZE, nullptr}, {76, 1, MOD}, {77, 1, MOD}, {94, 1, MOD}, {96, 2, MOD}, {97, 2, MOD},
    {98, 2, MOD}, {99, 2, MOD}, {115, 2, MOD}, {116, 2, MOD}, {119, 2, MOD}, {120, 2, MOD},
    {129, 2, MOD}, {130, 2, MOD}, {131, 2, MOD}, {132, 2, MOD}, {135, 2, MOD}, {136, 2, MOD},
    {139, 2, MOD}, {140, 2, MOD}, {141, 2, MOD}, {142, 2, MOD}, {143, 2, MOD}, {144, 2, MOD},
    {145, 2, MOD}, {117, 1, MOD}, {118, 1, MOD}, {122, 1, MOD}, {125, 1, MOD}, {126, 1, MOD},
    {127, 1, MOD}, {128, 1, MOD}, {133, 1, MOD}, {134, 1, MOD}, {137, 1, MOD}, {153, 2, MOD},
};

// Mac Word.
const wmodrow kmwrows[] = {
    {7, 1, PAP(keeptogether)}, {8, 1, PAP(keepnext)}, {10, 1, PAP(borderstyle)},
    {11, 1, PAP(bordercode)}, {14, 1, PAP(nolinenumbers)}, {20, 2, PAP(linespacing)},
    {21, 2, PAP(spacebefore)}, {22, 2, PAP(spaceafter)}, {26, 2, PAP(framex)}, {27, 2, PAP(framey)},
    {28, 2, PAP(framewidth)}, {45, 2, PAP(frameheight)}, {36, 2, PAP(fromtextx)},
    {68, 2, MOD}, {69, 1, MOD}, {71, 2, MOD}, {73, 1, MOD}, {74, 1, TCHPSIZE, nullptr},
    {117, 1, MOD}, {118, 1, MOD}, {119, 2, MOD}, {120, 2, MOD}, {121, 1, MOD}, {122, 1, MOD},
    {123, 2, MOD}, {124, 2, MOD}, {125, 1, MOD}, {126, 1, MOD}, {127, 1, MOD}, {129, 2, MOD},
    {130, 2, MOD}, {131, 2, MOD}, {132, 2, MOD}, {153, 2, MOD},
};

#undef PAP
#undef MOD

// The border words: 30-35 (and Word's 38-43) in order.
int32_t* borderword(wrd* d, int code) {
  int i = code >= 38 ? code - 38 : code - 30;
  return &d->pap.border[i];
}

const wmodrow* findrow(const wrd* d, int code) {
  const wmodrow* rows = d->mac ? kmwrows : kw2rows;
  size_t n = d->mac ? std::size(kmwrows) : std::size(kw2rows);
  for (size_t i = 0; i < n; i++)
    if (rows[i].code == code) return &rows[i];
  return nullptr;
}

bool isborder(const wrd* d, int code) {
  return (code >= 30 && code <= 35) || (!d->mac && code >= 38 && code <= 43);
}

// The length of a modifier by its code; 0 when the code is unknown.
int modlen(const wrd* d, int code, const unsigned char* m, int avail) {
  if (const wmodrow* r = findrow(d, code)) return r->kind == 2 ? 3 : 2;
  if (isborder(d, code)) return 3;
  auto counted = [&] { return avail >= 2 ? m[1] + 2 : 2; };
  if (code >= 60 && code <= 67) return 2;
  switch (code) {
    case 3: case 15: case 23: case 78: case 95: return counted();
    case 4: case 29: case 57: case 75: return 2;
    case 58: return 1;
    case 18: return 3;
    case 70: return 4;
    case 146: case 147: case 148: case 159: case 161: case 162: return 3;
    case 152: return avail >= 3 ? wget16(d, m + 1) + 3 : 3;
    case 158: case 160: return 5;
    case 163: return 6;
    default: break;
  }
  if (d->mac) {
    switch (code) {
      case 5: case 6: case 9: case 24: case 25: case 76: case 77: case 128: return 2;
      case 16: case 17: case 19: return 3;
      default: return 0;
    }
  }
  switch (code) {
    case 37: case 46: return 2;
    case 154: return avail >= 3 ? wget16(d, m + 1) + 3 : 3;
    case 157: return 6;
    case 164: return 5;
    default: return 0;
  }
}

// A cell index or count of a table modifier, clamped to the table.
int cellat(int i) { return i > WMAXCELLS ? WMAXCELLS : i; }

// A boundary moved by a table modifier; a table definition lives as long
// as the document, so its boundaries are kept within a page's reach.
int32_t moved(int32_t x, int64_t by) {
  int64_t v = x + by;
  return static_cast<int32_t>(v > 1000000000 ? 1000000000 : v < -1000000000 ? -1000000000 : v);
}

// Tab changes of modifier 15: the record's own list, at most 50 stops.
void tabchanges(const wrd* d, wpap* p, const unsigned char* m, int len) {
  int at = 2;
  auto take = [&](int n) { return at + n <= len; };
  if (!take(1)) return;
  int dels = m[at++];
  int32_t offset = d->leftm;
  for (int i = 0; i < dels && take(2); i++, at += 2) {
    int32_t pos = static_cast<int16_t>(wget16(d, m + at)) + offset;
    for (int k = 0; k < p->tabcount; k++)
      if (p->tabpos[k] == pos) {
        std::memmove(p->tabpos + k, p->tabpos + k + 1, sizeof(int32_t) * static_cast<size_t>(p->tabcount - k - 1));
        std::memmove(p->tabdesc + k, p->tabdesc + k + 1, static_cast<size_t>(p->tabcount - k - 1));
        p->tabcount--;
        break;
      }
  }
  if (!take(1)) return;
  int adds = m[at++];
  int descat = at + 2 * adds;
  for (int i = 0; i < adds && take(2); i++, at += 2) {
    if (descat + i >= len) break;
    int desc = m[descat + i];
    if (d->mac && (desc & 0x80)) continue;
    int32_t pos = static_cast<int16_t>(wget16(d, m + at)) + offset;
    if (pos <= 0 || p->tabcount >= WMAXTABS) continue;
    int k = 0;
    while (k < p->tabcount && p->tabpos[k] < pos) k++;
    std::memmove(p->tabpos + k + 1, p->tabpos + k, sizeof(int32_t) * static_cast<size_t>(p->tabcount - k));
    std::memmove(p->tabdesc + k + 1, p->tabdesc + k, static_cast<size_t>(p->tabcount - k));
    p->tabpos[k] = pos;
    // The record keeps Word's descriptor layout: kind in bits 0-2, leader
    // in bits 3-5.
    p->tabdesc[k] = static_cast<unsigned char>(d->mac ? ((desc >> 5) & 7) | ((desc >> 2) & 7) << 3 : desc & 0x3F);
    p->tabcount++;
  }
}

// Table-definition modifiers.
void tablemod(wrd* d, int code, const unsigned char* m, int len) {
  wtdef& t = d->tdef;
  int b1 = m[1];
  auto op16 = [&](int at) { return static_cast<int32_t>(static_cast<int16_t>(wget16(d, m + at))); };
  switch (code) {
    case 146: t.justify = wget16(d, m + 1) & 0xFF; return;
    case 147: {
      int64_t shift = op16(1) - (static_cast<int64_t>(t.gaphalf) + t.cellx[0]);
      for (int i = 1; i < t.cellcount; i++) t.cellx[i] = moved(t.cellx[i], shift);
      return;
    }
    case 148: t.cellx[0] = moved(t.cellx[0], static_cast<int64_t>(t.gaphalf) - op16(1)); t.gaphalf = op16(1); return;
    case 152: case 154: {
      if (len < 4) return;
      int count = cellat(m[3]);
      t.cellcount = count;
      int at = 4;
      for (int i = 0; i <= count && at + 2 <= len; i++, at += 2) {
        int32_t x = op16(at);
        if (t.rowopen && t.cellx[i] != x) t.rowopen = 2;
        t.cellx[i] = x;
      }
      for (int i = 0; i <= count && i <= WMAXCELLS; i++) {
        wcell& c = t.cell[i];
        c = {};
        if (at + 10 > len) continue;
        c.first = m[at] & 1;
        c.merged = m[at] >> 1 & 1;
        for (int k = 0; k < 4; k++) c.border[k] = wget16(d, m + at + 2 + 2 * k);
        at += 10;
      }
      return;
    }
    case 157: case 163:
      for (int i = b1; i < cellat(m[2]); i++)
        for (int k = 0; k < 4; k++)
          if (m[3] >> k & 1) t.cell[i].border[k] = wget16(d, m + 4);
      return;
    case 158: {
      int j = cellat(b1), k = m[2];
      int32_t w = op16(3);
      if (t.cellcount + k > WMAXCELLS) k = WMAXCELLS - t.cellcount;
      if (k <= 0 || j > t.cellcount) return;
      int32_t h = t.cellx[j];
      for (int i = t.cellcount - 1; i >= j; i--) {
        t.cell[i + k] = t.cell[i];
        t.cellx[i] = moved(t.cellx[i], static_cast<int64_t>(k) * w);
        t.cellx[i + k] = t.cellx[i];
      }
      for (int i = j; i < j + k; i++) {
        t.cellx[i] = h;
        t.cell[i] = {};
        h = moved(h, static_cast<int64_t>(k) * w);
      }
      t.cellcount += k;
      return;
    }
    case 159: {
      int j = cellat(b1), e = cellat(m[2]);
      if (e <= j || e > t.cellcount) return;
      int32_t f = t.cellx[j + 1], g = t.cellx[j];
      for (int i = j; i < t.cellcount - (e - j) + 1 && i + (e - j) <= WMAXCELLS; i++) {
        t.cellx[i] = moved(t.cellx[i + (e - j)], static_cast<int64_t>(g) - f);
        t.cell[i] = t.cell[i + (e - j)];
      }
      t.cellcount -= e - j;
      return;
    }
    case 160: {
      int j = cellat(b1), e = cellat(m[2]);
      int32_t w = op16(3);
      for (int i = j; i < e; i++) t.cellx[i + 1] = moved(t.cellx[i], w);
      for (int i = e; i <= t.cellcount; i++) t.cellx[i] = moved(t.cellx[i], w);
      return;
    }
    case 161: case 162:
      for (int i = b1; i < cellat(m[2]); i++) {
        if (code == 161)
          t.cell[i].flags |= 2;
        else
          t.cell[i].flags &= ~2;
      }
      return;
    default: return;
  }
}

// A character toggle: 0 or 1 stored, 128 the style's value, 129 its
// complement, anything else leaves it.
void toggle(wrd* d, int k, int b) {
  if (b == 0 || b == 1)
    d->chp.flag[k] = static_cast<unsigned char>(b);
  else if (b == 128)
    d->chp.flag[k] = d->style.flag[k];
  else if (b == 129)
    d->chp.flag[k] = static_cast<unsigned char>(d->style.flag[k] ^ 1);
}

}  // namespace

// The border code of a border word.
int wbrcmap(const wrd* d, int32_t word) {
  int v = word & 0x1FF;
  if (d->mac) {
    switch (v) {
      case 64: return 1;
      case 128: return 5;
      case 256: return 6;
      case 384: return 4;
      case 448: return 7;
      default: return 0;
    }
  }
  if (d->version == 1) {
    switch (v) {
      case 64: return 1;
      case 73: return 2;
      case 384: return 4;
      case 128: return 6;
      case 448: return 7;
      default: return 0;
    }
  }
  static const int kbits[4] = {0, 1, 5, 2};
  return kbits[v >> 3 & 3];
}

void wpapclear(const wrd* d, wpap* p) {
  *p = {};
  if (!d->mac) p->wrap = 2;
}

int wapplymod(cxstate* st, wrd* d, const unsigned char* m, int avail, int seclist) {
  (void)st;
  if (avail < 1) return -1;
  int code = m[0];
  if (d->mac && d->layout == 3) {
    if (seclist)
      code += 63;
    else if (code >= 27 && code <= 49)
      code += 30;
  }
  int len = modlen(d, code, m, avail);
  if (len <= 0 || len > avail) return -1;
  int b = len >= 2 ? m[1] : 0;
  auto op16 = [&] { return static_cast<int32_t>(static_cast<int16_t>(wget16(d, m + 1))); };
  wpap& p = d->pap;
  if (const wmodrow* r = findrow(d, code)) {
    int32_t v = r->kind == 2 ? op16() : b;
    if (!d->mac && (code == 143 || code == 144) && v < 0) v = 0;
    if (code == 153)
      d->tdef.rowheight = v;
    else if (r->target == TPAP)
      p.*(r->field) = v;
    else if (r->target == TCHPSIZE)
      d->chp.size = v;
    else
      d->modfield[code] = v;
    return len;
  }
  if (isborder(d, code)) {
    *borderword(d, code) = op16();
    return len;
  }
  if (code >= 60 && code <= 67) {
    toggle(d, code - 60, b);
    return len;
  }
  switch (code) {
    case 4: p.style = (p.style + b) & 0xFF; return len;
    case 5: case 9: case 24: case 25: {
      int32_t wpap::* f = code == 5 ? &wpap::justify : code == 9 ? &wpap::pagebreakbefore
                                                    : code == 24 ? &wpap::intable : &wpap::rowend;
      p.*f = b;
      return len;
    }
    case 6:
      if (d->layout == 3)
        p.intable = b;
      else
        p.sidebyside = b;
      return len;
    case 15: tabchanges(d, &p, m, len); return len;
    case 16: p.rightindent = op16(); return len;
    case 17: p.leftindent = op16(); return len;
    case 19: p.firstindent = op16(); return len;
    case 18:
      p.leftindent += op16();
      if (p.leftindent < 0) p.leftindent = 0;
      return len;
    case 29:
      if (d->mac) {
        if ((b & 0x0C) != 0x0C) p.vertanchor = (b & 0x0C) >> 2;
        if ((b & 3) != 3) p.horzanchor = b & 3;
      } else {
        if ((b & 0x30) != 0x30) p.vertanchor = b >> 4 & 3;
        if (b < 192) p.horzanchor = b >> 6;
      }
      return len;
    case 37: p.wrap = b; return len;
    case 57:
      for (int k = 0; k < 8; k++) d->chp.flag[k] = 0;
      return len;
    case 58: {
      int32_t keep = d->chp.picture;
      d->chp = d->style;
      d->chp.picture = keep;
      return len;
    }
    case 70:
      if (!d->mac)
        d->chp.size = b + (m[2] & 0xFE);
      else if (b != 0)
        d->chp.size = b;
      if ((m[2] & 1) && m[3] != 128) d->chp.position = m[3];
      return len;
    case 76: d->chp.position = b; return len;
    case 77: d->chp.position = moved(d->chp.position, b); return len;
    case 78:
      // The character majority: a toggle that equals the operand's bit
      // returns to the style's value.
      if (len > 2)
        for (int k = 0; k < 8; k++) {
          int bit = m[2] >> (d->mac ? 7 - k : k) & 1;
          if (d->chp.flag[k] == bit) d->chp.flag[k] = d->style.flag[k];
        }
      return len;
    case 128: d->modfield[128] = b; return len;
    case 146: case 147: case 148: case 152: case 154: case 157: case 158: case 159: case 160:
    case 161: case 162: case 163:
      tablemod(d, code, m, len);
      return len;
    default: return len;  // 3, 23, 46, 75, 95, 164: nothing this reader keeps
  }
}

void wapplymods(cxstate* st, wrd* d, const unsigned char* m, int n) {
  for (int at = 0; at < n;) {
    int l = wapplymod(st, d, m + at, n - at, 0);
    if (l < 0) return;
    at += l;
  }
}

void wlinewidth(wrd* d) {
  wstory& s = d->story[d->cur];
  s.linewidth = d->pagew - (d->leftm + d->pap.leftindent) - d->rightm;
}

namespace {

bool isframe(const wpap& p) { return p.framex + p.framey + p.framewidth + p.vertanchor + p.horzanchor != 0; }

// The differences of a counted list: the height information, then the
// modifiers from its eighth byte (its fourth on Mac Word 3).
void applylist(cxstate* st, wrd* d, const unsigned char* e, int n) {
  int from = d->mac && d->layout == 3 ? 4 : 8;
  if (n > 1 && from == 8) std::memcpy(d->pap.heightinfo, e + 2, 6);
  if (n > from) wapplymods(st, d, e + from, n - from);
}

// The base record of a style: its own paragraph entry over an empty record.
void stylebase(cxstate* st, wrd* d, int s) {
  wpap keep = d->pap;
  wpapclear(d, &d->pap);
  int i = (s + d->nstd) & 0xFF;
  if (i >= d->nstyles && i < 222) i = 0;
  if (d->stpap && i < d->nstyles) {
    int at = 0;
    for (int k = 0; k < i && at < d->lpap; k++) at += d->stpap[at] == 255 ? 1 : 1 + d->stpap[at];
    if (at < d->lpap && d->stpap[at] != 255) wparabuild(st, d, d->stpap + at, d->lpap - at);
  }
  d->base = d->pap;
  d->pap = keep;
}

}  // namespace

void wparabuild(cxstate* st, wrd* d, const unsigned char* list, int room) {
  if (list) {
    int n = list[0];
    if (n > room - 1) n = room - 1;
    applylist(st, d, list, n);
    wlinewidth(d);
    return;
  }
  int framemode = d->pap.framemode;
  d->pap = d->base;
  const wfkp& f = d->story[d->cur].fkp[1];
  int off = 0;
  if (f.loaded >= 0 && f.run >= 0 && f.run < f.runs) {
    off = f.page[4 * (f.runs + 1) + f.run];
    if (!d->mac || d->layout != 3) off *= 2;
    if (off >= d->pagesize - 1) off = 0;
  }
  if (off != 0) {
    const unsigned char* e = f.page + off;
    int n = e[0];
    if (!d->mac || d->layout != 3) n *= 2;
    // An entry never reaches past the page's run count byte.
    int most = d->pagesize - 2 - off;
    if (n > most) n = most;
    if (n > 0) {
      int s = e[1];
      if (s < 222 && s >= d->nstyles) s = 0;
      wpap base = d->base;
      stylebase(st, d, s);
      d->pap = d->base;
      d->pap.framemode = framemode;
      d->pap.style = s;
      applylist(st, d, e, n);
      d->base = base;
    }
  }
  if (d->pap.intable != d->papw.intable || isframe(d->pap) != (d->frameopen != 0)) d->reemit = 1;
  wlinewidth(d);
}

void wpiecemod(cxstate* st, wrd* d, uint16_t m) {
  if (m & 0x8000) {
    // The grouped modifiers: each entry a tag byte, a 16-bit count and its
    // bytes; an index past the list applies nothing.
    int idx = m & 0x7FFF;
    int at = d->groupsat;
    for (int i = 0; i < idx; i++) {
      if (at < 0 || at + 3 > d->groupsend) return;
      at += 3 + wget16(d, d->groups + at + 1);
    }
    if (at < 0 || at + 3 > d->groupsend) return;
    int n = wget16(d, d->groups + at + 1);
    if (n > d->groupsend - at - 3) n = d->groupsend - at - 3;
    const unsigned char* g = d->groups + at + 3;
    for (int k = 0; k < n;) {
      if (g[k] >= 37 && g[k] <= 145) return;
      int l = wapplymod(st, d, g + k, n - k, 0);
      if (l < 0) return;
      k += l;
    }
    return;
  }
  int code = m >> 8 & 0x7F;
  if (code < 1 || code > 48) return;
  unsigned char one[3] = {static_cast<unsigned char>(code), static_cast<unsigned char>(m & 0xFF), 0};
  wapplymod(st, d, one, 3, 0);
}

// ---------------------------------------------------------------- the paragraph's records

namespace {

enum : int {
  WR_KEEPTOGETHER = 16555, WR_KEEPNEXT = 15083, WR_LINESP = 17010, WR_SPBEFORE = 6227,
  WR_SPAFTER = 6195, WR_BORDER = 3152, WR_JUSTIFYOFF = 10821, WR_JUSTIFYON = 10818, WR_CENTRE = 25219, WR_RIGHT = 18625,
};

// Line spacing: the old and new heights as multiples of half the default
// line height, and the new height. A default of 0 (a font of no size) is
// taken as one twip rather than divided by.
void linesp(cxstate* st, wrd* d) {
  wstory& s = d->story[d->cur];
  const wpap &p = d->pap, &w = d->papw;
  int32_t old = d->mac || w.linespacing == 0 ? s.lineheight : w.linespacing < 0 ? -w.linespacing : w.linespacing;
  int32_t dflt = s.baseheight;
  s.lineheight = p.linespacing > 0 ? p.linespacing : p.linespacing < 0 ? -p.linespacing : dflt;
  if (old == s.lineheight) return;
  uint32_t unit = dflt > 0 ? static_cast<uint32_t>(dflt) : 1;
  cmbegin(st, WR_LINESP);
  cmputdec(st, static_cast<int>(static_cast<uint32_t>(old) * 2 / unit));
  cmputdec(st, static_cast<int>(static_cast<uint32_t>(s.lineheight) * 2 / unit));
  cmputdec(st, s.lineheight);
  cmend(st);
}

// Space before or after in blank lines: Word counts lines of 240 twips,
// Mac Word lines of the current height (at least one twip).
int32_t blanklines(wrd* d, int32_t space) {
  if (!d->mac) return (space + 120) / 240;
  int32_t h = d->story[d->cur].lineheight;
  return static_cast<int32_t>(static_cast<uint32_t>(space + 1) / static_cast<uint32_t>(h > 0 ? h : 1));
}

void spacing(cxstate* st, int code, int32_t space, int32_t lines) {
  cmbegin(st, code);
  cmputdec(st, space);
  cmputdec(st, lines);
  cmend(st);
}

void alignrec(cxstate* st, wrd* d) {
  const wpap& p = d->pap;
  if (p.justify == 1) {
    cmbegin(st, WR_CENTRE);
    cmputdec(st, 0);
    wputcol(st, static_cast<int32_t>(p.leftindent + static_cast<uint32_t>(d->pagew - p.rightindent - p.leftindent) / 2));
    wputcol(st, d->pagew);
    cmend(st);
  } else if (p.justify == 2) {
    cmbegin(st, WR_RIGHT);
    cmputdec(st, 10);
    wputcol(st, d->pagew - p.rightindent);
    wputcol(st, d->pagew);
    cmend(st);
  }
}

int borderword4(const wrd* d, const wpap& p) {
  return wbrcmap(d, p.border[0]) << 12 | wbrcmap(d, p.border[1]) << 8 | wbrcmap(d, p.border[2]) << 4 |
         wbrcmap(d, p.border[3]);
}

// The old two-line layout of a border word as one digit.
char oldborder(int32_t w) {
  if (w & 7) return '2';
  if (w & 0x4000) return '8';
  static const char kwidth[8] = {'0', '7', '1', '1', '5', '5', '6', '6'};
  return kwidth[w >> 6 & 7];
}

void borders(cxstate* st, wrd* d) {
  const wpap &p = d->pap, &w = d->papw;
  if (std::memcmp(p.border, w.border, sizeof(int32_t) * 4) != 0) {
    cmbegin(st, WR_BORDER);
    cmputhex4(st, borderword4(d, p));
    cmend(st);
  }
}

void borderrec(cxstate* st, const wpap& p) {
  cmbegin(st, WR_BORDER);
  for (int k = 0; k < 4; k++) cxputc(st, oldborder(p.border[k]));
  cxputc(st, 31);
  cmend(st);
}

bool framed(const wrd* d, const wpap& p) {
  if (!d->mac) return isframe(p);
  return (p.framex | p.framey) != -(p.vertanchor + p.horzanchor + p.framewidth);
}

// Frames of an ordinary paragraph: the open frame ends at a paragraph that
// is not positioned or is positioned differently; a positioned paragraph
// opens one.
void frame(cxstate* st, wrd* d) {
  wpap &p = d->pap, &w = d->papw;
  if (!framed(d, p) && d->frameopen) {
    cmputcode(st, WR_FRAMEEND);
    d->frameopen = 0;
  }
  if (!isframe(p)) return;
  if (d->frameopen) {
    if (!d->mac && w.intable) return;
    if (w.framemode == 0 && isframe(w) &&
        w.framex + w.framey + w.framewidth + w.vertanchor + w.horzanchor !=
            p.framex + p.framey + p.framewidth + p.vertanchor + p.horzanchor) {
      cmputcode(st, WR_FRAMEEND);
      d->frameopen = 0;
    }
  }
  if (d->frameopen) return;
  cmbegin(st, WR_FRAMEBEG);
  cmputhex2(st, 0, 31);
  cmputdec(st, p.vertanchor != 2);
  cmputdec(st, p.framey == -12 ? 3 : p.framey == -8 ? 2 : p.framey == -4 ? 1 : 4);
  if (d->mac) {
    cmputdec(st, p.framex == -8 ? 1 : p.framex == -4 ? 2 : 0);
    cmputdec(st, p.horzanchor == 2 ? 2 : 0);
    cmputdec(st, 1);
  } else {
    cmputdec(st, p.framex == -16 || p.framex == -8 ? 1 : p.framex == -4 ? 2 : 0);
    cmputdec(st, p.horzanchor == 0 ? 1 : p.horzanchor == 1 ? 0 : 2);
    cmputdec(st, p.wrap == 2);
  }
  cmputdec(st, p.framewidth);
  int32_t h = d->mac ? (p.frameheight < 0 ? -p.frameheight : p.frameheight) : p.frameheight & 0x7FFF;
  cmputdec(st, h);
  int32_t x = d->mac ? p.framex - d->leftm : p.framex, y = d->mac ? p.framey - d->top : p.framey;
  cmputdec(st, x < 1 ? 0 : x);
  cmputdec(st, y < 1 ? 0 : y);
  cmputdec(st, p.fromtexty);
  cmputdec(st, p.fromtextx);
  cmputdec(st, p.fromtexty);
  cmputdec(st, p.fromtextx);
  cmputhex4(st, borderword4(d, p));
  cmputhex2(st, 0, 31);
  cmend(st);
  w.vertanchor = p.vertanchor;
  w.horzanchor = p.horzanchor;
  w.framex = p.framex;
  w.framey = p.framey;
  w.framewidth = p.framewidth;
  d->frameopen = 1;
  p.framemode = 0;
}

// ---------------------------------------------------------------- tab stops

// The working tab table from the paragraph's own stops.
void tabsload(wrd* d) {
  const wpap& p = d->pap;
  d->nstops = p.tabcount < WMAXTABS ? p.tabcount : WMAXTABS;
  for (int i = 0; i < d->nstops; i++) d->stops[i] = {p.tabpos[i], p.tabdesc[i] & 7, p.tabdesc[i] >> 3 & 7, 0};
}

// Removes the stop at x; 1 when there was one.
int tabdel(wrd* d, int32_t x) {
  for (int i = 0; i < d->nstops; i++)
    if (d->stops[i].pos == x) {
      std::memmove(d->stops + i, d->stops + i + 1, sizeof(wstop) * static_cast<size_t>(d->nstops - i - 1));
      d->stops[--d->nstops] = {};
      return 1;
    }
  return 0;
}

// Inserts a stop in position order; a full table drops its last stop, and
// a stop past every stop of a full table is dropped. 1 when inserted.
int tabadd(wrd* d, int32_t x, int kind, int leader) {
  if (x <= 0) return 0;
  int i = 0;
  while (i < d->nstops && d->stops[i].pos != 0 && d->stops[i].pos < x) i++;
  if (i < d->nstops && d->stops[i].pos == x) {
    if (d->stops[i].kind != kind || d->stops[i].leader != leader)
      tabdel(d, x);
    else if (!d->stops[i].dflt)
      return 0;
  }
  if (i >= WMAXTABS) return 0;
  if (d->nstops < WMAXTABS) d->nstops++;
  std::memmove(d->stops + i + 1, d->stops + i, sizeof(wstop) * static_cast<size_t>(d->nstops - 1 - i));
  d->stops[i] = {x, kind, leader, 0};
  return 1;
}

// Default stops on the interval grid from the page's left margin, up to the
// right margin, while the table has room.
void tabdefaults(wrd* d, int32_t x) {
  int32_t step = d->tabwidth;
  if (step <= 0) return;
  int64_t at = x - ((static_cast<int64_t>(x) - d->leftm) % step);
  for (; d->nstops < WMAXTABS && at <= d->pagew - d->rightm; at += step)
    d->stops[d->nstops++] = {static_cast<int32_t>(at), 0, 0, 1};
}

char kindletter(int kind) { return "LCRDLLLLV"[kind >= 0 && kind <= 8 ? kind : 0]; }
unsigned char leaderchar(int leader) {
  static const unsigned char kl[5] = {0, '.', '-', '_', '='};
  return leader >= 0 && leader <= 4 ? kl[leader] : 0;
}

// Writes the working table as a ruler and a tab record when it differs
// from the ruler written last.
void tabsout(cxstate* st, wrd* d) {
  if (d->baseout) return;
  int32_t* pos = st->ob->tabpos;
  char* kind = st->nm->tabkind;
  unsigned char* lead = st->nm->tablead;
  bool same = st->sb->tabcount == d->nstops;
  for (int i = 0; same && i < d->nstops; i++)
    same = pos[i] == d->stops[i].pos && kind[i] == kindletter(d->stops[i].kind) && lead[i] == leaderchar(d->stops[i].leader);
  if (same) return;
  // Of stops at one position the later one is kept.
  int n = 0;
  for (int i = 0; i < d->nstops; i++) {
    if (i + 1 < d->nstops && d->stops[i + 1].pos == d->stops[i].pos) continue;
    pos[n] = d->stops[i].pos;
    kind[n] = kindletter(d->stops[i].kind);
    lead[n] = leaderchar(d->stops[i].leader);
    n++;
  }
  st->sb->tabcount = n;
  ccputruler(st, 1, n, pos, kind, lead, nullptr);
  ccputtabs(st, 0);
}

// The default stops after the paragraph's last stop, then the ruler.
void tabsfinish(cxstate* st, wrd* d) {
  int k = 0;
  for (int i = 0; i < d->nstops; i++)
    if (!d->stops[i].dflt) d->stops[k++] = d->stops[i];
  d->nstops = k;
  int32_t from = k > 0 ? d->stops[k - 1].pos : d->leftm;
  tabdefaults(d, static_cast<int32_t>(static_cast<int64_t>(from) + d->tabwidth > WNONE ? WNONE : from + d->tabwidth));
  tabsout(st, d);
}

// The stops placed at the indents come out again.
void dropimplicit(wrd* d) {
  for (int i = 0; i < d->nimplicit; i++) tabdel(d, d->implicit[i]);
  d->nimplicit = 0;
}

// Stops at the left indent and at the first line's start, then the
// defaults and the ruler.
void tabsindent(cxstate* st, wrd* d) {
  const wpap& p = d->pap;
  int32_t start = d->leftm;
  dropimplicit(d);
  if (p.leftindent != 0 && tabadd(d, start + p.leftindent, 0, 0)) d->implicit[d->nimplicit++] = start + p.leftindent;
  if (p.firstindent != 0 && tabadd(d, start + p.leftindent + p.firstindent, 8, 0))
    d->implicit[d->nimplicit++] = start + p.leftindent + p.firstindent;
  tabsfinish(st, d);
}

// ---------------------------------------------------------------- indents

enum : int { WR_RIGHTIND = 9650, WR_HANGING = 19977, WR_TABSTEP = 13971, WR_BACKTAB = 18860 };

// A column number that is never negative, a distance that is never negative.
int32_t colof(int64_t x) {
  int64_t v = (x + 72) / 144;
  return v < 0 ? 0 : static_cast<int32_t>(v);
}
int32_t nonneg(int64_t x) { return x < 0 ? 0 : static_cast<int32_t>(x > WNONE ? WNONE : x); }

void rec(cxstate* st, int code, std::initializer_list<int64_t> fields) {
  cmbegin(st, code);
  for (int64_t v : fields) cmputdec(st, static_cast<int>(v));
  cmend(st);
}

// The runtime ruler: what was written last, plus the positions the indent
// records step over.
struct ruler {
  int n;
  int32_t pos[CX_NTABS];
  char kind[CX_NTABS];
  unsigned char lead[CX_NTABS];
};

void rulersave(cxstate* st, ruler* r) {
  r->n = st->sb->tabcount < 0 ? 0 : st->sb->tabcount > CX_NTABS ? CX_NTABS : st->sb->tabcount;
  std::memcpy(r->pos, st->ob->tabpos, sizeof r->pos);
  std::memcpy(r->kind, st->nm->tabkind, sizeof r->kind);
  std::memcpy(r->lead, st->nm->tablead, sizeof r->lead);
}

void rulerload(cxstate* st, const ruler* r) {
  st->sb->tabcount = r->n;
  std::memcpy(st->ob->tabpos, r->pos, sizeof r->pos);
  std::memcpy(st->nm->tabkind, r->kind, sizeof r->kind);
  std::memcpy(st->nm->tablead, r->lead, sizeof r->lead);
}

// Puts x into the runtime ruler unless it is there; its index.
int rulerput(cxstate* st, int32_t x) {
  int32_t* pos = st->ob->tabpos;
  int n = st->sb->tabcount;
  int i = 0;
  while (i < n && pos[i] < x) i++;
  if ((i < n && pos[i] == x) || n >= CX_NTABS) return i;
  std::memmove(pos + i + 1, pos + i, sizeof(int32_t) * static_cast<size_t>(n - i));
  std::memmove(st->nm->tabkind + i + 1, st->nm->tabkind + i, static_cast<size_t>(n - i));
  std::memmove(st->nm->tablead + i + 1, st->nm->tablead + i, static_cast<size_t>(n - i));
  pos[i] = x;
  st->nm->tabkind[i] = 'V';
  st->nm->tablead[i] = ' ';
  st->sb->tabcount = n + 1;
  return i;
}

// Puts b, then a (a at most b), into the ruler: the ruler positions above
// a up to b, one fewer when a was not there.
int rulerins(cxstate* st, int32_t a, int32_t b) {
  int ib = rulerput(st, b);
  if (a == b) return 0;
  return ib - rulerput(st, a);
}

// The records of one paragraph's indents, from the left margin L, the right
// edge E, the paragraph's left A, its first line's start S and its right F:
// 2 when the right margin moved, 1 when the left one did, else 0.
int indentrecs(cxstate* st, wrd* d, int32_t L, int32_t E, int32_t A, int32_t S, int32_t F) {
  int h = 0;
  if (F < E) {
    rec(st, WR_RIGHTIND, {(static_cast<int64_t>(E) - F + 72) / 144, static_cast<int64_t>(E) - F});
    rec(st, WR_HMARGINS, {colof(L), colof(E), colof(L), colof(F), nonneg(L), nonneg(F)});
    h = 2;
    E = F;
  }
  if (A < L || E < F) {
    rec(st, WR_HMARGINS, {colof(L), colof(E), colof(A), colof(F), nonneg(A), nonneg(F)});
    h = 1;
    L = A;
  }
  if (A < S)
    rec(st, WR_HANGING, {(static_cast<int64_t>(A) - L + 72) / 144, (static_cast<int64_t>(S) - L + 72) / 144, A, S,
                         static_cast<int64_t>(d->mright) + d->pap.rightindent});
  const int32_t* pos = st->ob->tabpos;
  if (L < A) {
    rulerins(st, L, A);
    if (S < A) rulerins(st, S, S);
    int n = st->sb->tabcount, i = 0;
    while (i < n && pos[i] < L) i++;
    for (; i + 1 < n && pos[i] < A; i++) rec(st, WR_TABSTEP, {colof(pos[i]), colof(pos[i + 1]), pos[i], pos[i + 1]});
  }
  if (A < S)
    for (int k = rulerins(st, A, S); k > 0; k--) rec(st, WR_TAB, {1});
  if (S < A) {
    int i = st->sb->tabcount - 1;
    while (i >= 0 && pos[i] > A) i--;
    for (; i > 0 && pos[i] > S; i--) {
      int64_t step = static_cast<int64_t>(pos[i]) - pos[i - 1];
      rec(st, WR_BACKTAB, {(step + 72) / 144, step, pos[i - 1]});
    }
  }
  return h;
}

// Word: a paragraph's indents as margins, hanging-indent and tab-step
// records over the ruler, the ruler written before them.
void indents(cxstate* st, wrd* d, int mode) {
  if (d->marginflag == 1) return;
  wpap& p = d->pap;
  const wpap& w = d->papw;
  int32_t L = d->mleft, R = d->mright, PW = d->pagew;
  int32_t E = PW - R, F;
  if (static_cast<uint32_t>(R) <= 2000) {
    F = E - p.rightindent;
  } else {
    F = E;
    E = PW + p.rightindent - R;
  }
  auto* last = static_cast<ruler*>(walloc(st, d, sizeof(ruler)));
  rulersave(st, last);
  // The working table becomes the ruler the records step over.
  int n = d->nstops;
  for (int i = 0; i < n; i++) {
    st->ob->tabpos[i] = d->stops[i].pos;
    st->nm->tabkind[i] = kindletter(d->stops[i].kind);
    st->nm->tablead[i] = leaderchar(d->stops[i].leader);
  }
  st->sb->tabcount = n;
  int sk = cxsopen(st, 1024);
  if (sk < 0) {
    rulerload(st, last);
    wfree(st, d, last);
    return;
  }
  ccpushsink(st, sk);
  int32_t A = L + p.leftindent, S = A + p.firstindent;
  int h = indentrecs(st, d, L, E, A, S, F);
  if (w.leftindent > 0 && p.leftindent == 0 && w.firstindent < 0 && p.firstindent < 0) {
    rulerins(st, w.firstindent + L, L);
    rec(st, WR_BACKTAB, {w.firstindent / -144, -static_cast<int64_t>(w.firstindent)});
  }
  ccpopsink(st);
  // The ruler, with the positions the records stepped over, becomes the
  // working table and is written before the records.
  d->nstops = st->sb->tabcount < WMAXTABS ? st->sb->tabcount : WMAXTABS;
  for (int i = 0; i < d->nstops; i++) {
    char k = st->nm->tabkind[i];
    unsigned char l = st->nm->tablead[i];
    d->stops[i] = {st->ob->tabpos[i], k == 'C' ? 1 : k == 'D' ? 3 : k == 'R' ? 2 : 0,
                   l == '-' ? 2 : l == '.' ? 1 : l == '_' ? 3 : 0, 0};
  }
  rulerload(st, last);
  wfree(st, d, last);
  tabsout(st, d);
  for (int c; (c = cxsgetc(st, sk)) >= 0;) cxputc(st, c);
  cxsclose(st, sk);
  if (h == 1 || h == 2) {
    if (A < L) {
      d->mleft = A;
      p.leftindent = 0;
      d->pendleft = L;
    }
    d->mright = PW - F;
    p.rightindent = 0;
    d->pendright = PW - E;
    d->marginflag = mode;
  }
  if (p.firstindent < 0) d->hanging = p.firstindent;
}

// Mac Word's indents, written as they are found.
void mwindents(cxstate* st, wrd* d, int mode) {
  wpap& p = d->pap;
  const wpap& w = d->papw;
  if (mode == 0 && (d->frameopen || d->tdef.rowopen || d->ncols > 0)) return;
  int32_t a = d->leftm, PW = d->pagew;
  if (p.rightindent != w.rightindent || (mode == 0 && (d->base.leftindent || d->base.firstindent))) {
    cmbegin(st, WR_HMARGINS);
    cmputdec(st, colof(a));
    cmputdec(st, colof(static_cast<int64_t>(PW) - d->lineright));
    cmputdec(st, colof(a));
    d->lineright = nonneg(static_cast<int64_t>(d->rightm) + p.rightindent);
    cmputdec(st, colof(static_cast<int64_t>(PW) - d->lineright));
    cmputdec(st, a);
    cmputdec(st, PW - d->lineright);
    cmend(st);
  }
  int64_t c = mode != 0 && p.leftindent < 0 ? -static_cast<int64_t>(p.leftindent) : 0;
  rec(st, WR_HANGING, {(p.leftindent + c) / 144, (p.leftindent + p.firstindent + c) / 144, a + p.leftindent + c,
                       a + p.leftindent + p.firstindent + c, static_cast<int64_t>(d->rightm) + p.rightindent});
  tabsindent(st, d);
  if (d->ncols == 0 && (p.leftindent < 0 || d->lineleft < a)) {
    cmbegin(st, WR_HMARGINS);
    cmputdec(st, colof(a));
    cmputdec(st, colof(static_cast<int64_t>(PW) - d->lineright));
    d->lineleft = nonneg(static_cast<int64_t>(a) + p.leftindent);
    cmputdec(st, colof(d->lineleft));
    cmputdec(st, colof(static_cast<int64_t>(PW) - d->lineright));
    cmputdec(st, d->lineleft);
    cmputdec(st, PW - d->lineright);
    cmend(st);
  } else if (p.leftindent > 0) {
    int32_t prev = a;
    for (int i = 0; i < d->nstops && d->stops[i].pos <= static_cast<int64_t>(a) + p.leftindent; i++) {
      if (d->stops[i].pos <= a) continue;
      rec(st, WR_TABSTEP, {colof(prev), colof(d->stops[i].pos), prev, d->stops[i].pos});
      prev = d->stops[i].pos;
    }
  }
  d->lineleft = nonneg(static_cast<int64_t>(a) + p.leftindent);
  if (p.firstindent < 0) {
    int i = 0;
    while (i < d->nstops && d->stops[i].pos < d->lineleft) i++;
    for (int j = i - 1; j >= 0 && j + 1 < d->nstops && d->stops[j].pos >= static_cast<int64_t>(d->lineleft) + p.firstindent; j--) {
      int64_t step = static_cast<int64_t>(d->stops[j + 1].pos) - d->stops[j].pos;
      rec(st, WR_BACKTAB, {(step + 72) / 144, step});
    }
    d->hanging = p.firstindent;
  } else if (p.firstindent > 0) {
    for (int i = 0; i < d->nstops; i++)
      if (d->stops[i].pos > d->lineleft && d->stops[i].pos <= static_cast<int64_t>(d->lineleft) + p.firstindent)
        rec(st, WR_TAB, {1});
  }
}

// ---------------------------------------------------------------- styles

enum : int { WR_STYLEBEG = 26259, WR_STYLEEND = 6803, WR_STYLEDONE = 5779, WR_GROUPBEG = 20706 };

}  // namespace

void wstylebegin(cxstate* st, wrd* d, int s) {
  if (s == 0) {
    wcharprops(st, d, 0, 0);
    return;
  }
  if (d->mac && s > 224 && s <= 240) {
    // Contents and index styles: their text is an entry of its group.
    auto* m = static_cast<mwdocblk*>(st->mwdocblk);
    if (m->open20706 > 0) {
      m->open20706--;
      cmputcode(st, WR_FIELDEND);
    }
    m->open20706++;
    cmbegin(st, WR_GROUPBEG);
    cmputhex2(st, s <= 233 ? 0 : 1, 31);
    cmend(st);
  }
  cmbegin(st, WR_STYLEBEG);
  wstylename(st, d, s);
  cmend(st);
  wcharprops(st, d, s, 0);
  cmputcode(st, WR_STYLEDONE);
  // Word's annotation text style: its text is the field of a hidden record.
  if (!d->mac && s == 224) cmbegin(st, WR_HIDDEN);
}

void wstyleend(cxstate* st, wrd* d, int s) {
  if (s == 0) {
    wcharprops(st, d, 0, 0);
    return;
  }
  if (!d->mac && s == 224) {
    cxputc(st, 31);
    cxputc(st, 30);
  }
  cmbegin(st, WR_STYLEEND);
  wstylename(st, d, s);
  cmend(st);
  wcharprops(st, d, 0, 0);
  cmputcode(st, WR_STYLEDONE);
  if (d->mac && s > 224 && s <= 240) {
    auto* m = static_cast<mwdocblk*>(st->mwdocblk);
    if (m->open20706 > 0) {
      m->open20706--;
      cmputcode(st, WR_FIELDEND);
    }
  }
}

namespace {

// Frames, and the row start or the table's end, of an ordinary paragraph.
void framesrows(cxstate* st, wrd* d) {
  if ((d->tdef.rowopen || d->rowsink) && !d->pap.intable) {
    wtableend(st, d);
    frame(st, d);
    return;
  }
  frame(st, d);
  if (d->pap.intable && !d->papw.intable) wrowstart(st, d);
}

}  // namespace

void wparaout2(cxstate* st, wrd* d, int copy, int mode) {
  wstory& s = d->story[d->cur];
  wpap &p = d->pap, &w = d->papw;
  bool change = mode == 0 && (p.style != w.style || (!s.softret && w.style != 0 && (p.leftindent || p.firstindent)));
  bool indentcheck = true;
  if (!change) {
    if (mode == 0 && !d->mac && s.pending > 0) wnewline(st, d, 1);
    if (mode == 1) frame(st, d);
    if (mode == 0) framesrows(st, d);
    // The paragraph's own stops, without those placed at the indents.
    if (mode != 2) {
      tabsload(d);
      d->nimplicit = 0;
    }
  } else {
    // The base's records against the written paragraph, the old style's
    // end, then the new style's begin and the paragraph against the base.
    int intable = w.intable;
    wpap keep = p;
    wtdef keept = d->tdef;
    wchp keepc = d->chp, keepy = d->style;
    int old = w.style;
    w.style = d->base.style;
    p = d->base;
    d->chp = d->style;
    d->chp.flag[WF_HIDDEN] = 0;
    wchpemit(st, d);
    d->baseout = 1;
    wparaout2(st, d, 1, 2);
    wstyleend(st, d, old);
    if (!d->mac) wnewline(st, d, 1);
    w.intable = intable;
    p = keep;
    d->tdef = keept;
    d->chp = keepc;
    d->style = keepy;
    tabsload(d);
    d->baseout = 0;
    dropimplicit(d);
    framesrows(st, d);
    wstylebegin(st, d, p.style);
    d->chp = keepc;
    d->style = keepy;
    tabsload(d);
    const wpap& b = d->base;
    bool same = p.leftindent == b.leftindent && p.firstindent == b.firstindent && p.rightindent == b.rightindent;
    if (d->mac) {
      indentcheck = !same;
    } else if (same) {
      tabsindent(st, d);
      indentcheck = false;
    }
  }
  borders(st, d);
  if (p.keeptogether) cmputcode(st, WR_KEEPTOGETHER);
  if (p.keepnext) cmputcode(st, WR_KEEPNEXT);
  if (d->cur == 0 && !s.softret && p.pagebreakbefore && (d->mac || mode == 0)) {
    cmputcode(st, WR_PAGEBREAK);
    if (!d->mac) d->hanging = 0;
  }
  if (p.bordercode) borderrec(st, p);
  if (p.linespacing != w.linespacing) linesp(st, d);
  if (!s.softret && (d->mac || !d->baseout)) {
    if (p.spacebefore != w.spacebefore || p.spacebefore != 0) {
      int32_t n = blanklines(d, p.spacebefore);
      spacing(st, WR_SPBEFORE, p.spacebefore, n);
      if (d->mac || mode == 0)
        for (int32_t i = 0; i < n && i < 1000; i++) {
          cmbegin(st, WR_LINEEND);
          cmputdec(st, 1);
          cmend(st);
        }
    }
    if (p.spaceafter != w.spaceafter || p.spaceafter != 0) {
      int32_t n = blanklines(d, p.spaceafter);
      spacing(st, WR_SPAFTER, p.spaceafter, n);
      s.spacepending = n < 0 ? 0 : n > 1000 ? 1000 : n;
    }
  }
  if (w.justify == 3 && p.justify != 3) cmputcode(st, WR_JUSTIFYOFF);
  if (p.justify == 3 && w.justify != 3 && (d->mac || !d->baseout)) cmputcode(st, WR_JUSTIFYON);
  bool indentsdue = indentcheck && !d->baseout &&
                    (p.rightindent != 0 || p.rightindent != w.rightindent || p.leftindent != 0 || p.firstindent != 0);
  if (d->mac) {
    if (!d->baseout) alignrec(st, d);
    if (indentsdue) mwindents(st, d, mode);
    tabsfinish(st, d);
  } else {
    tabsfinish(st, d);
    if (indentsdue) indents(st, d, mode);
    if (!d->baseout) alignrec(st, d);
  }
  if (copy) w = p;
  if (mode != 2) d->reemit = 0;
  d->lineleft = p.leftindent + d->mleft;
  d->linefirst = p.firstindent;
  if (d->mac)
    d->lineright = d->rightm + p.rightindent;
  else
    d->lineright = static_cast<uint32_t>(d->mright) > 2000 ? d->pagew - d->mright : d->mright + p.rightindent;
  wlinewidth(d);
}

void wparaout(cxstate* st, wrd* d) { wparaout2(st, d, 1, 0); }

void wparaend(cxstate* st, wrd* d) {
  // A fast-saved paragraph's properties are stored with its mark: find the
  // mark ahead (characters given back first, then the story's text), build
  // the properties of the run that holds it and apply its piece's modifier.
  wstory& s = d->story[d->cur];
  int64_t ahead = -1, last = -1;
  for (int32_t i = s.nback - 1, k = 0; i >= 0; i--, k++) {
    last = k;
    if (s.back[i] == 13 || s.back[i] == 7) {
      ahead = k;
      break;
    }
  }
  for (int32_t i = s.textpos, k = s.nback; ahead < 0 && i < s.textlen && k < s.left; i++, k++) {
    last = k;
    if (s.text[i] == 13 || s.text[i] == 7) ahead = k;
  }
  if (ahead < 0) ahead = last;
  if (ahead < 0) return;
  int64_t cp = static_cast<int64_t>(s.cp) + ahead;
  const wpiece* p = nullptr;
  for (int i = 0; i < s.npieces; i++)
    if (cp >= s.pieces[i].cp && cp - s.pieces[i].cp < s.pieces[i].len) {
      p = &s.pieces[i];
      break;
    }
  if (!p) return;
  int64_t fc = p->fc + (cp - p->cp);
  if (fc < 0 || fc >= WNONE) return;
  wfkpat(st, d, 1, static_cast<int32_t>(fc));
  wparabuild(st, d, nullptr, 0);
  wpiecemod(st, d, p->prm);
  wparaout(st, d);
  // The run loop builds nothing more until the next look-ahead.
  s.fkp[1].next = WNONE;
  wnextevent(d);
}
