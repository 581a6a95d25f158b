// The Word 6 full reader's property records and the interpreters of their
// property modifiers. Operands come from the document: every read goes
// through one bounded reader, and no count from an operand writes past the
// records (cells beyond 32, tabs beyond 50 and column values beyond 89 are
// dropped; inserts, deletes and ranges with bad indexes change nothing).
#include "converters/formats/w6prop.h"

#include <cstring>

namespace {

// The n bytes of a sprm; reads past them give 0.
struct ops {
  const uint8_t *p;
  int32_t n;
  int u8(int32_t i) const { return i >= 0 && i < n ? p[i] : 0; }
  int u16(int32_t i) const { return u8(i) | u8(i + 1) << 8; }
  int s16(int32_t i) const { return static_cast<int16_t>(u16(i)); }
  int32_t s32(int32_t i) const { return static_cast<int32_t>(static_cast<uint32_t>(u16(i)) | static_cast<uint32_t>(u16(i + 2)) << 16); }
  // Copies len bytes from i into out; zeros past the end.
  void copy(int32_t i, uint8_t *out, int len) const {
    for (int k = 0; k < len; ++k) out[k] = static_cast<uint8_t>(u8(i + k));
  }
};

template <class T, class V>
inline void put(w6val<T> &f, V v) {
  f.v = static_cast<T>(v);
  f.set = 1;
}

// Bit field of width bits from bit lo.
inline int bits(int v, int lo, int width) { return (v >> lo) & ((1 << width) - 1); }

// A valid cell range [from, to) of a row of itcmac cells; false when empty or bad.
bool cellrange(const w6tap &t, int from, int to, int *lo, int *hi) {
  int mac = t.itcmac < 0 ? 0 : t.itcmac > W6_NCELLS ? W6_NCELLS : t.itcmac;
  if (from < 0 || to > mac || from >= to) return false;
  *lo = from, *hi = to;
  return true;
}

}  // namespace

w6brc w6getbrc(uint16_t v) {
  return {static_cast<uint8_t>(bits(v, 0, 3)), static_cast<uint8_t>(bits(v, 3, 2)), static_cast<uint8_t>(bits(v, 5, 1)),
          static_cast<uint8_t>(bits(v, 6, 5)), static_cast<uint8_t>(bits(v, 11, 5))};
}

w6shd w6getshd(uint16_t v) { return {bits(v, 10, 6), bits(v, 5, 5), bits(v, 0, 5)}; }

w6dttm w6getdttm(uint16_t lo, uint16_t hi) {
  w6dttm d{};
  d.minute = static_cast<uint8_t>(bits(lo, 0, 6));
  d.hour = static_cast<uint8_t>(bits(lo, 6, 5));
  d.day = static_cast<uint8_t>(bits(lo, 11, 5));
  d.month = static_cast<uint8_t>(bits(hi, 0, 4));
  d.year = static_cast<uint16_t>(bits(hi, 4, 9));
  d.weekday = static_cast<uint8_t>(bits(hi, 13, 3));
  return d;
}

w6tlp w6gettlp(const uint8_t *p) {
  w6tlp t{};
  t.format = static_cast<uint16_t>(p[0] | p[1] << 8);
  int w = p[2] | p[3] << 8;
  for (int i = 0; i < 9; ++i) t.flags[i] = static_cast<uint8_t>(bits(w, i, 1));
  return t;
}

w6anlv w6getanlv(const uint8_t *p) {
  w6anlv a{};
  a.nfc = p[0], a.before = p[1], a.after = p[2];
  a.jc = static_cast<uint8_t>(bits(p[3], 0, 2));
  uint8_t *b3[] = {&a.prev, &a.hang, &a.setbold, &a.setitalic, &a.setsmallcaps, &a.setcaps};
  for (int i = 0; i < 6; ++i) *b3[i] = static_cast<uint8_t>(bits(p[3], 2 + i, 1));
  uint8_t *b4[] = {&a.setstrike, &a.setkul, &a.prevspace, &a.bold, &a.italic, &a.smallcaps, &a.caps, &a.strike};
  for (int i = 0; i < 8; ++i) *b4[i] = static_cast<uint8_t>(bits(p[4], i, 1));
  a.kul = static_cast<uint8_t>(bits(p[5], 0, 3));
  a.colour = static_cast<uint8_t>(bits(p[5], 3, 5));
  a.ftc = static_cast<int16_t>(p[6] | p[7] << 8);
  a.hps = static_cast<uint16_t>(p[8] | p[9] << 8);
  a.startat = static_cast<uint16_t>(p[10] | p[11] << 8);
  a.indent = static_cast<int16_t>(p[12] | p[13] << 8);
  a.space = static_cast<uint16_t>(p[14] | p[15] << 8);
  return a;
}

w6anld w6getanld(const uint8_t *p) {
  w6anld a{};
  a.lv = w6getanlv(p);
  a.number1 = p[16], a.across = p[17], a.restarthdn = p[18];
  std::memcpy(a.text, p + 20, sizeof a.text);
  return a;
}

w6olst w6getolst(const uint8_t *p) {
  w6olst o{};
  for (int i = 0; i < 9; ++i) o.lv[i] = w6getanlv(p + 16 * i);
  o.restart = p[144];
  std::memcpy(o.text, p + 148, sizeof o.text);
  return o;
}

w6tc w6gettc(const uint8_t *p) {
  w6tc t{};
  int flags = p[0] | p[1] << 8;
  t.first = static_cast<uint8_t>(bits(flags, 0, 1));
  t.merged = static_cast<uint8_t>(bits(flags, 1, 1));
  w6brc *b[] = {&t.top, &t.left, &t.bottom, &t.right};
  for (int i = 0; i < 4; ++i) *b[i] = w6getbrc(static_cast<uint16_t>(p[2 + 2 * i] | p[3 + 2 * i] << 8));
  return t;
}

void w6sepdefault(cxstate *, w6sep *r) {
  std::memset(r, 0, sizeof *r);
  r->bkc.v = 2;
  r->dxacolumns.v = 720;
  r->dyahdrtop.v = r->dyahdrbottom.v = 720;
  r->dxapgn.v = r->dyapgn.v = 720;
  r->orient.v = 1;
  r->xapage.v = 12240;
  r->yapage.v = 15840;
  r->dxaleft.v = r->dxaright.v = 1800;
  r->dyatop.v = r->dyabottom.v = 1440;
  r->evenly.v = 1;
  for (w6anlv &l : r->olst.v.lv) l.startat = 1;
}

void w6papdefault(cxstate *, w6pap *r) {
  std::memset(r, 0, sizeof *r);
  r->dyaline.v = 240;
  r->multline.v = 1;
  r->widow.v = 1;
  r->anld.v.lv.startat = 1;
}

void w6chpdefault(cxstate *, w6chp *r) {
  std::memset(r, 0, sizeof *r);
  r->hps.v = 20;
  r->lid.v = 1033;
  r->istd.v = 10;
}

int w6sprmsep(cxstate *, const uint8_t *s, int32_t n, w6sep *r) {
  ops o{s, n};
  int num = o.u8(0);
  switch (num) {
    case 131: put(r->cnspgn, o.u8(1)); return 2;
    case 132: put(r->iheadingpgn, o.u8(1)); return 2;
    case 133: {
      uint8_t b[212];
      o.copy(2, b, sizeof b);
      put(r->olst, w6getolst(b));
      return 214;
    }
    case 136: {
      // Column widths and spacings: 4 × ccolM1 + 1 values, as many as the
      // record holds.
      for (auto &c : r->cols) c = {};
      int32_t count = 4 * r->ccolm1.v + 1;
      for (int32_t i = 0; i < count && i < W6_NCOLS; ++i) put(r->cols[i], o.u16(2 + 2 * i));
      int32_t used = 8 * r->ccolm1.v + 4;
      return used > 0 ? used : 4;
    }
    case 137: return 4;
    case 138: put(r->evenly, o.u8(1)); return 2;
    case 139: put(r->protect, o.u8(1)); return 2;
    case 140: put(r->binfirst, o.u16(1)); return 3;
    case 141: put(r->binother, o.u16(1)); return 3;
    case 142: put(r->bkc, o.u8(1)); return 2;
    case 143: put(r->titlepage, o.u8(1)); return 2;
    case 144: put(r->ccolm1, o.s16(1)); return 3;
    case 145: put(r->dxacolumns, o.u16(1)); return 3;
    case 146: put(r->autopgn, o.u8(1)); return 2;
    case 147: put(r->nfcpgn, o.u8(1)); return 2;
    case 148: put(r->dyapgn, o.s16(1)); return 3;
    case 149: put(r->dxapgn, o.s16(1)); return 3;
    case 150: put(r->pgnrestart, o.u8(1)); return 2;
    case 151: put(r->endnote, o.u8(1)); return 2;
    case 152: put(r->lnc, o.u8(1)); return 2;
    case 153: put(r->grpfihdt, o.u8(1)); return 2;
    case 154: put(r->nlnnmod, o.s16(1)); return 3;
    case 155: put(r->dxalnn, o.s16(1)); return 3;
    case 156: put(r->dyahdrtop, o.u16(1)); return 3;
    case 157: put(r->dyahdrbottom, o.u16(1)); return 3;
    case 158: put(r->lbetween, o.u8(1)); return 2;
    case 159: put(r->vjc, o.u8(1)); return 2;
    case 160: put(r->lnnmin, o.s16(1)); return 3;
    case 161: put(r->pgnstart, o.u16(1)); return 3;
    case 162: put(r->orient, o.u8(1)); return 2;
    case 164: put(r->xapage, o.u16(1)); return 3;
    case 165: put(r->yapage, o.u16(1)); return 3;
    case 166: put(r->dxaleft, o.u16(1)); return 3;
    case 167: put(r->dxaright, o.u16(1)); return 3;
    case 168: put(r->dyatop, o.s16(1)); return 3;
    case 169: put(r->dyabottom, o.s16(1)); return 3;
    case 170: put(r->gutter, o.u16(1)); return 3;
    case 171: put(r->paperreq, o.u16(1)); return 3;
    default: return 0;
  }
}

namespace {

// The six paragraph borders by sprm: 30-35 and 38-43 name top, left,
// bottom, right, between and bar in that order, twice.
int papborder(const ops &o, w6pap *r, int which) {
  r->brcs[which] = w6getbrc(static_cast<uint16_t>(o.u16(1)));
  r->brcset[which] = 1;
  return 3;
}

// Tab changes: the tab list becomes the added tabs (removals are not applied).
int paptabs(const ops &o, w6pap *r, bool close) {
  int len = o.u8(1);
  r->ntabs.set = 1;
  if (len == 0) return 2;
  int del = o.u8(2);
  int at = 3 + (close ? 4 : 2) * del;
  int add = o.u8(at);
  int kinds = at + 1 + 2 * add;
  int kept = add < W6_NTABS ? add : W6_NTABS;
  r->ntabs.v = static_cast<uint8_t>(kept);
  for (int i = 0; i < kept; ++i) {
    int k = o.u8(kinds + i);
    r->tabs[i] = {static_cast<int16_t>(o.s16(at + 1 + 2 * i)), static_cast<uint8_t>(bits(k, 0, 3)),
                  static_cast<uint8_t>(bits(k, 3, 3))};
  }
  if (close && len == 255) return 4 * del + 3 * add + 2;
  return len + 2;
}

int tapgiven(w6pap *r, int used) {
  r->tapgiven.v = 1;
  r->tapgiven.set = 1;
  return used;
}

int mac(const w6tap &t) { return t.itcmac < 0 ? 0 : t.itcmac > W6_NCELLS ? W6_NCELLS : t.itcmac; }

}  // namespace

int w6sprmpap(cxstate *, const uint8_t *s, int32_t n, w6pap *r) {
  ops o{s, n};
  int num = o.u8(0);
  w6tap &t = r->tap;
  switch (num) {
    case 2: put(r->istd, o.u16(1)); return 3;
    case 4: return 2;
    case 5: put(r->jc, o.u8(1)); return 2;
    case 6: put(r->sidebyside, o.u8(1)); return 2;
    case 7: put(r->keep, o.u8(1)); return 2;
    case 8: put(r->keepfollow, o.u8(1)); return 2;
    case 9: put(r->pagebreak, o.u8(1)); return 2;
    case 10: put(r->brcl, o.u8(1)); return 2;
    case 11: put(r->brcp, o.u8(1)); return 2;
    case 12: {
      uint8_t b[52];
      o.copy(2, b, sizeof b);
      put(r->anld, w6getanld(b));
      return 54;
    }
    case 13: put(r->lvl, o.u8(1)); return 2;
    case 14: put(r->nolnn, o.u8(1)); return 2;
    case 15: return paptabs(o, r, false);
    case 16: put(r->dxaright, o.s16(1)); return 3;
    case 17: put(r->dxaleft, o.s16(1)); return 3;
    case 18: {
      int v = r->dxaleft.v + o.s16(1);
      put(r->dxaleft, v < 0 ? 0 : v > 32767 ? 32767 : v);
      return 3;
    }
    case 19: put(r->dxaleft1, o.s16(1)); return 3;
    case 20:
      put(r->dyaline, o.s16(1));
      put(r->multline, o.s16(3));
      return 5;
    case 21: put(r->dyabefore, o.u16(1)); return 3;
    case 22: put(r->dyaafter, o.u16(1)); return 3;
    case 23: return paptabs(o, r, true);
    case 24: put(r->intable, o.u8(1)); return 2;
    case 25: put(r->ttp, o.u8(1)); return 2;
    case 26: put(r->dxaabs, o.s16(1)); return 3;
    case 27: put(r->dyaabs, o.s16(1)); return 3;
    case 28: put(r->dxawidth, o.u16(1)); return 3;
    case 29: {
      int b = o.u8(1);
      if (b < 192) put(r->pchorz, bits(b, 6, 2));
      if (bits(b, 4, 2) != 3) put(r->pcvert, bits(b, 4, 2));
      return 2;
    }
    case 30: case 31: case 32: case 33: case 34: case 35: return papborder(o, r, num - 30);
    case 36: put(r->dxafromtext, o.s16(1)); return 3;
    case 37: put(r->wr, o.u8(1)); return 2;
    case 38: case 39: case 40: case 41: case 42: case 43: return papborder(o, r, num - 38);
    case 44: put(r->noautohyph, o.u8(1)); return 2;
    case 45: {
      int v = o.u16(1);
      put(r->heightabs, v & 0x7FFF);
      put(r->minheight, v >> 15);
      return 3;
    }
    case 46: {
      int v = o.u8(1);
      put(r->dcskind, bits(v, 0, 3));
      put(r->dcslines, bits(v, 3, 5));
      return 2;
    }
    case 47: put(r->shd, w6getshd(static_cast<uint16_t>(o.u16(1)))); return 3;
    case 48: put(r->dyafromtext, o.s16(1)); return 3;
    case 49: put(r->dxafromtext, o.s16(1)); return 3;
    case 50: put(r->locked, o.u8(1)); return 2;
    case 51: put(r->widow, o.u8(1)); return 2;
    case 182: t.jc = static_cast<uint16_t>(o.u16(1)); return tapgiven(r, 3);
    case 183: {
      // The first boundary moves; the later ones keep their values.
      t.centers[0] = static_cast<int16_t>(o.s16(1) - t.gaphalf);
      t.centersset = 1;
      return tapgiven(r, 3);
    }
    case 184: {
      int v = o.s16(1);
      t.centers[0] = static_cast<int16_t>(t.centers[0] + t.gaphalf - v);
      t.gaphalf = static_cast<int16_t>(v);
      return tapgiven(r, 3);
    }
    case 185: t.cantsplit = static_cast<uint8_t>(o.u8(1)); return tapgiven(r, 2);
    case 186: t.header = static_cast<uint8_t>(o.u8(1)); return tapgiven(r, 2);
    case 187:
      for (int i = 0; i < 6; ++i) t.brcs[i] = w6getbrc(static_cast<uint16_t>(o.u16(1 + 2 * i)));
      t.brcsset = 1;
      return tapgiven(r, 13);
    case 189: t.rowheight = static_cast<int16_t>(o.s16(1)); return tapgiven(r, 3);
    case 190: {
      int len = o.u16(1);
      int cells = o.u8(3);
      int kept = cells < W6_NCELLS ? cells : W6_NCELLS;
      t.itcmac = static_cast<int16_t>(kept);
      for (int i = 0; i <= kept; ++i) t.centers[i] = static_cast<int16_t>(o.s16(4 + 2 * i));
      int at = 4 + 2 * (cells + 1);
      int tcs = (len - 2 - (2 * cells + 2)) / 10;
      for (int i = 0; i < kept && i < tcs; ++i) {
        uint8_t b[10];
        o.copy(at + 10 * i, b, 10);
        t.cells[i] = w6gettc(b);
      }
      t.centersset = t.cellsset = 1;
      return tapgiven(r, len + 2);
    }
    case 191: {
      int count = o.u16(1);
      for (int i = 0, used = 0; used < count && i < mac(t); ++i, used += 2)
        t.shds[i] = w6getshd(static_cast<uint16_t>(o.u16(3 + 2 * i)));
      t.shdsset = 1;
      return tapgiven(r, count + 3);
    }
    case 192: {
      uint8_t b[4];
      o.copy(1, b, 4);
      t.tlp = w6gettlp(b);
      return tapgiven(r, 5);
    }
    case 193: {
      int lo, hi;
      if (cellrange(t, o.u8(1), o.u8(2), &lo, &hi)) {
        int mask = o.u8(3);
        w6brc b = w6getbrc(static_cast<uint16_t>(o.u16(4)));
        for (int i = lo; i < hi; ++i) {
          if (mask & 1) t.cells[i].top = b;
          if (mask & 2) t.cells[i].left = b;
          if (mask & 4) t.cells[i].bottom = b;
          if (mask & 8) t.cells[i].right = b;
        }
      }
      return tapgiven(r, 6);
    }
    case 194: {
      int i = o.u8(1), c = o.u8(2), w = o.s16(3);
      int m = mac(t);
      // An insert that would leave the row's 32 cells changes nothing.
      if (c > 0 && m + c <= W6_NCELLS && i <= W6_NCELLS) {
        if (m < i) {
          for (int j = m; j < m + c; ++j) {
            t.centers[j + 1] = static_cast<int16_t>(t.centers[j] + w);
            t.cells[j] = {};
          }
        } else {
          for (int j = m - 1; j >= i; --j) t.cells[j + c] = t.cells[j];
          for (int j = m; j >= i; --j) t.centers[j + c] = t.centers[j];
          for (int j = i; j < i + c; ++j) {
            t.centers[j + 1] = static_cast<int16_t>(t.centers[j] + w);
            t.cells[j] = {};
          }
          for (int j = i + c + 1; j <= m + c; ++j) t.centers[j] = static_cast<int16_t>(t.centers[j] + c * w);
        }
        t.itcmac = static_cast<int16_t>(m + c);
      }
      return tapgiven(r, 5);
    }
    case 195: {
      int lo, hi;
      if (cellrange(t, o.u8(1), o.u8(2), &lo, &hi)) {
        int m = mac(t), d = hi - lo;
        for (int j = hi; j < m; ++j) t.cells[j - d] = t.cells[j];
        for (int j = hi; j <= m; ++j) t.centers[j - d] = t.centers[j];
        t.itcmac = static_cast<int16_t>(m - d);
      }
      return tapgiven(r, 3);
    }
    case 196: {
      int lo, hi;
      if (cellrange(t, o.u8(1), o.u8(2), &lo, &hi)) {
        int w = o.s16(3), m = mac(t);
        int change = t.centers[lo] + (hi - lo) * w - t.centers[hi];
        for (int j = lo + 1; j <= hi; ++j) t.centers[j] = static_cast<int16_t>(t.centers[j - 1] + w);
        for (int j = hi + 1; j <= m; ++j) t.centers[j] = static_cast<int16_t>(t.centers[j] + change);
      }
      return tapgiven(r, 5);
    }
    case 197:
    case 198: {
      int lo, hi;
      if (cellrange(t, o.u8(1), o.u8(2), &lo, &hi)) {
        for (int j = lo; j < hi; ++j) {
          t.cells[j].first = num == 197 && j == lo;
          t.cells[j].merged = num == 197 && j > lo;
        }
      }
      return tapgiven(r, 3);
    }
    case 199: return tapgiven(r, 6);
    case 200: {
      int lo, hi;
      if (cellrange(t, o.u8(1), o.u8(2), &lo, &hi)) {
        w6shd sh = w6getshd(static_cast<uint16_t>(o.u16(3)));
        for (int j = lo; j < hi; ++j) t.shds[j] = sh;
      }
      return tapgiven(r, 5);
    }
    default: return 0;
  }
}

namespace {

// A run of character sprms only; other numbers end it.
void chprun(cxstate *st, const uint8_t *s, int32_t n, w6chp *r, const w6chp *base) {
  for (int32_t at = 0; at < n;) {
    int used = w6sprmchp(st, s + at, n - at, r, base);
    if (used <= 0) break;
    at += used;
  }
}

// The toggled properties 85-92 in sprm order.
w6val<uint8_t> w6chp::*const ktoggles[8] = {&w6chp::bold,   &w6chp::italic,    &w6chp::strike, &w6chp::outline,
                                             &w6chp::shadow, &w6chp::smallcaps, &w6chp::caps,   &w6chp::vanish};

}  // namespace

int w6sprmchp(cxstate *st, const uint8_t *s, int32_t n, w6chp *r, const w6chp *base) {
  ops o{s, n};
  int num = o.u8(0);
  if (num >= 85 && num <= 92) {
    w6val<uint8_t> w6chp::*f = ktoggles[num - 85];
    int v = o.u8(1);
    if (v == 0 || v == 1)
      put(r->*f, v);
    else if (base && (v == 128 || v == 129))
      put(r->*f, ((base->*f).v != 0) ^ (v == 129));
    return 2;
  }
  switch (num) {
    case 65: put(r->strikerm, o.u8(1)); return 2;
    case 66: put(r->rmark, o.u8(1)); return 2;
    case 67: put(r->fldvanish, o.u8(1)); return 2;
    case 68:
      put(r->fcpic, o.s32(2));
      put(r->spec, 1);
      return 6;
    case 69: put(r->ibstrmark, o.s16(1)); return 3;
    case 70: put(r->dttm, w6getdttm(static_cast<uint16_t>(o.u16(1)), static_cast<uint16_t>(o.u16(3)))); return 5;
    case 71: put(r->data, o.u8(1)); return 2;
    case 72: put(r->idslreason, o.s16(1)); return 3;
    case 73:
      put(r->chsebyte, o.u8(1));
      put(r->chse, o.u16(2));
      return 4;
    case 74:
      put(r->ftcsym, o.s16(2));
      put(r->chsym, o.u8(4));
      put(r->spec, 1);
      return 5;
    case 75: put(r->ole2, o.u8(1)); return 2;
    case 80: put(r->istd, o.u16(1)); return 3;
    case 82:
      for (auto f : ktoggles) put(r->*f, 0);
      put(r->kul, 0);
      put(r->ico, 0);
      return 2;
    case 83:
      if (base) {
        w6val<uint8_t> spec = r->spec;
        *r = *base;
        r->spec = spec;
      }
      return 1;
    case 93: put(r->ftc, o.u16(1)); return 3;
    case 94: put(r->kul, o.u8(1)); return 2;
    case 95: return 4;
    case 96: put(r->dxaspace, o.s16(1)); return 3;
    case 97: put(r->lid, o.u16(1)); return 3;
    case 98: put(r->ico, o.u8(1)); return 2;
    case 99: put(r->hps, o.u16(1)); return 3;
    case 100: case 102: case 119: return 2;
    case 101: put(r->hpspos, o.s16(1)); return 3;
    case 103:
    case 108: {
      int len = o.u8(1);
      if (base) {
        // The properties the run would set to the record's own values take
        // the base's values instead.
        w6chp scratch;
        w6chpdefault(st, &scratch);
        scratch.ftc.v = 4;
        chprun(st, s + 2, len < n - 2 ? len : (n > 2 ? n - 2 : 0), &scratch, nullptr);
#define W6MAJ(f) \
  if (scratch.f.v == r->f.v) put(r->f, base->f.v);
        W6MAJ(bold) W6MAJ(italic) W6MAJ(strike) W6MAJ(outline) W6MAJ(shadow) W6MAJ(smallcaps) W6MAJ(caps)
        W6MAJ(ftc) W6MAJ(hps) W6MAJ(hpspos) W6MAJ(kul) W6MAJ(dxaspace) W6MAJ(ico)
#undef W6MAJ
      }
      return len + 2;
    }
    case 104: put(r->iss, o.u8(1)); return 2;
    case 105: put(r->hps, o.u16(2)); return 4;
    case 106: {
      int v = r->hps.v + o.s16(2);
      put(r->hps, v < 8 ? 8 : v > 32766 ? 32766 : v);
      return 4;
    }
    case 107: put(r->hpskern, o.u16(1)); return 3;
    case 109: {
      // A percentage of the size in force; kept in the range a size can have.
      int64_t v = static_cast<int64_t>(r->hps.v) * o.u16(1) / 100;
      put(r->hps, static_cast<int>(v > 32766 ? 32766 : v < -32766 ? -32766 : v));
      return 3;
    }
    case 110:
      r->s110[0] = static_cast<uint8_t>(o.u8(1));
      r->s110[1] = static_cast<uint8_t>(o.u8(2));
      return 3;
    case 117: put(r->spec, o.u8(1)); return 2;
    case 118: put(r->obj, o.u8(1)); return 2;
    case 120: return 14;
    case 121: case 122: case 123: case 124: return 3;
    default: return 0;
  }
}

void w6grpprlapply(cxstate *st, const uint8_t *s, int32_t n, w6sep *sep, w6pap *pap, w6chp *chp,
                   const w6chp *base) {
  w6sep tsep{};
  w6pap tpap{};
  w6chp tchp{};
  if (!sep) sep = &tsep;
  if (!pap) pap = &tpap;
  if (!chp) chp = &tchp;
  for (int32_t at = 0; at < n;) {
    int num = s[at], used = 0;
    if ((num >= 2 && num <= 52) || (num >= 182 && num <= 200))
      used = w6sprmpap(st, s + at, n - at, pap);
    else if (num >= 65 && num <= 124)
      used = w6sprmchp(st, s + at, n - at, chp, base);
    else if (num >= 131 && num <= 171)
      used = w6sprmsep(st, s + at, n - at, sep);
    if (used <= 0) break;
    at += used;
  }
}
