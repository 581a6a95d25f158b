// The paragraph sprm interpreter of every version level: which codes are
// paragraph and table sprms, how long each one is, and what it changes in a
// paragraph record, its tab stops and its table row. Every index an operand
// names is held within the record's arrays.
#include <cstring>

#include "filters/word/ww.h"

namespace {

// Table sprm codes of the older levels under their level-6 numbers; 0 when
// the code is none of them. 257 stands for the level-5 range shading.
int tablecode(int ver, int code) {
  if (ver == 6) return (code >= 182 && code <= 200) || code == 207 ? code : 0;
  if (ver == 2) {
    switch (code) {
      case 146: return 182;
      case 147: return 183;
      case 148: return 184;
      case 149: return 207;
      case 152: return 188;
      case 153: return 189;
      case 154: return 190;
      case 155: return 191;
      default: return code >= 157 && code <= 164 ? code + 36 : 0;
    }
  }
  if (ver == 1 || ver == 4 || ver == 5) {
    switch (code) {
      case 146: return 182;
      case 147: return 183;
      case 148: return 184;
      case 152: return 188;
      case 153: return 189;
      case 154: return ver == 5 ? 191 : 0;
      case 157: return ver == 5 ? 257 : 0;
      default: return code >= 158 && code <= 163 ? code + 36 : 0;
    }
  }
  return 0;
}

bool paracode(int ver, int code) {
  switch (ver) {
    case 6: return code == 0 || (code >= 2 && code <= 59) || code == 64;
    case 2: return code == 0 || (code >= 2 && code <= 43) || (code >= 45 && code <= 50);
    case 5:
      if (code == 56) return true;
      [[fallthrough]];
    case 1:
    case 4: return code == 0 || (code >= 2 && code <= 11) || (code >= 14 && code <= 36);
    case 3: return code == 0 || (code >= 2 && code <= 11) || (code >= 14 && code <= 22);
    default: return false;
  }
}

int tablen(const unsigned char* p, bool tolerance) {
  int b = p[1];
  if (b == 0) return 2;
  if (b != 255) return b + 2;
  int d = p[2];
  int a = p[3 + d * (tolerance ? 4 : 2)];
  return 2 + d * (tolerance ? 4 : 2) + a * 3 + 2;
}

// The length of a sprm of the level; 0 ends a list, -1 for no sprm.
int lengthof(const wwstate* w, const unsigned char* p) {
  int v = w->ver, code = p[0];
  if (int t = tablecode(v, code)) {
    switch (t) {
      case 185:
      case 186:
      case 207: return 2;
      case 187: return 13;
      case 188:
      case 190: return static_cast<int>(wwbufw(w, p + 1)) + 2;
      case 191: return p[1] + 2;
      case 192:
      case 194:
      case 196:
      case 200: return 5;
      case 193:
      case 199:
      case 257: return 6;
      default: return 3;  // 182-184, 189, 195, 197, 198
    }
  }
  if (!paracode(v, code)) return -1;
  switch (code) {
    case 0: return 0;
    case 2: return v == 6 ? 3 : 2;
    case 3: return p[1] + 2;
    case 12: return v == 6 ? 54 : 2;
    case 15: return tablen(p, false);
    case 23: return tablen(p, true);
    case 16:
    case 17:
    case 18:
    case 19:
    case 21:
    case 22:
    case 26:
    case 27:
    case 28: return 3;
    case 20: return v == 6 ? 5 : 3;
    case 46: return v == 6 ? 3 : 2;
    case 52: return 0;
    case 56: return v == 5 ? 4 : 2;
    default:
      if (code >= 30 && code <= 36) return 3;
      if (code >= 38 && code <= 43) return 3;
      if (code >= 45 && code <= 49) return 3;
      if (code == 59 || code == 64) return 3;
      return 2;
  }
}

void setp(int32_t* value, int32_t v) {
  value[0] = v;
  value[1] = 1;
}

int clampcell(int i) { return i < 0 ? 0 : i > WW_MAXCELL ? WW_MAXCELL : i; }

void bordertype(wwpap* a, int c) {
  int t = c == 1 ? 2 : c == 2 ? 3 : 1;
  wwbrc* b[4] = {&a->brcTop, &a->brcLeft, &a->brcBottom, &a->brcRight};
  int32_t* set[4] = {&a->brcTopset, &a->brcLeftset, &a->brcBottomset, &a->brcRightset};
  bool all = *set[0] && *set[1] && *set[2] && *set[3];
  for (int i = 0; i < 4; i++) {
    if (all) {
      if (b[i]->brcType != 0) b[i]->brcType = t, b[i]->dxpLineWidth = 2;
    } else {
      *b[i] = {2, t, 0, 1};
      *set[i] = 1;
    }
  }
}

void borderpos(wwpap* a, int c) {
  wwbrc* b[4] = {&a->brcTop, &a->brcLeft, &a->brcBottom, &a->brcRight};
  int32_t* set[4] = {&a->brcTopset, &a->brcLeftset, &a->brcBottomset, &a->brcRightset};
  bool on[4] = {c == 1 || c == 15, c == 16 || c == 15, c == 2 || c == 15, c == 15};
  bool all = *set[0] && *set[1] && *set[2] && *set[3];
  for (int i = 0; i < 4; i++) {
    bool keep = c == 15 ? all : *set[i] != 0;
    if (!on[i])
      *b[i] = {0, 0, 0, 0};
    else if (keep)
      b[i]->ico = 0, b[i]->dxpSpace = 1;
    else
      *b[i] = {2, 1, 0, 1};
  }
  for (int i = 0; i < 4; i++) *set[i] = 1;
}

void tabs(wwstate* w, const unsigned char* p, wwpap* a, bool tolerance) {
  if (p[1] == 0) return;
  a->itbdMacset = a->rgdxaTabset = a->rgtbdset = 1;
  int n = a->itbdMac < 0 ? 0 : a->itbdMac > WW_MAXTAB ? WW_MAXTAB : a->itbdMac;
  int d = p[2];
  const unsigned char* del = p + 3;
  const unsigned char* tol = del + 2 * d;
  for (int i = 0; i < d; i++) {
    int at = wwbufsw(w, del + 2 * i);
    int t = tolerance ? wwbufsw(w, tol + 2 * i) : 0;
    for (int j = 0; j < n;) {
      int x = a->rgdxaTab[j];
      bool hit = tolerance ? x >= at - t && x <= at + t : x == at;
      if (!hit) {
        j++;
        continue;
      }
      for (int k = j; k + 1 < n; k++) a->rgdxaTab[k] = a->rgdxaTab[k + 1], a->rgtbd[k] = a->rgtbd[k + 1];
      n--;
      a->rgdxaTab[n] = 0;
      a->rgtbd[n] = {0, 0};
    }
  }
  const unsigned char* add = tol + (tolerance ? 2 * d : 0);
  int cnt = add[0];
  const unsigned char* pos = add + 1;
  const unsigned char* desc = pos + 2 * cnt;
  for (int i = 0; i < cnt; i++) {
    // Stops past the fiftieth have no slot and are dropped.
    if (n >= WW_MAXTAB) break;
    int q = wwbufsw(w, pos + 2 * i);
    int j = 0;
    while (j < n && a->rgdxaTab[j] <= q) j++;
    for (int k = n; k > j; k--) a->rgdxaTab[k] = a->rgdxaTab[k - 1], a->rgtbd[k] = a->rgtbd[k - 1];
    a->rgdxaTab[j] = q;
    a->rgtbd[j] = {desc[i] & 7, (desc[i] >> 3) & 7};
    n++;
  }
  a->itbdMac = n;
}

void readbrc(wwstate* w, wwbrc* b, const unsigned char* p, bool old) {
  if (old)
    wwbrcoldread(w, b, p);
  else
    wwbrcread(w, b, p);
}

void rowdef(wwstate* w, const unsigned char* p, wwtap* t, bool old) {
  int c = static_cast<int>(wwbufw(w, p + 1));
  int n = p[3] > WW_MAXCELL ? WW_MAXCELL : p[3];
  t->itcMacset = t->rgdxaCenterset = t->rgtcset = 1;
  t->itcMac = n;
  for (int i = 0; i <= n; i++) t->rgdxaCenter[i] = wwbufsw(w, p + 4 + 2 * i);
  for (int i = 0; i < n; i++) {
    t->rgtc[i].brcTop = t->rgbrcTable[0];
    t->rgtc[i].brcLeft = t->rgbrcTable[1];
    t->rgtc[i].brcBottom = t->rgbrcTable[2];
    t->rgtc[i].brcRight = t->rgbrcTable[3];
  }
  int recs = (c - 2 * p[3] - 3) / 10;
  const unsigned char* r = p + 4 + 2 * (n + 1);
  for (int i = 0; i < n && i < recs; i++, r += 10) {
    wwtc* tc = &t->rgtc[i];
    unsigned f = wwbufw(w, r);
    tc->fFirstMerged = f & 1;
    tc->fMerged = (f >> 1) & 1;
    readbrc(w, &tc->brcTop, r + 2, old);
    readbrc(w, &tc->brcLeft, r + 4, old);
    readbrc(w, &tc->brcBottom, r + 6, old);
    readbrc(w, &tc->brcRight, r + 8, old);
  }
  for (int i = 0; i + 1 < n; i++) {
    wwbrc* right = &t->rgtc[i].brcRight;
    wwbrc* left = &t->rgtc[i + 1].brcLeft;
    if (right->dxpLineWidth == 0 && left->dxpLineWidth != 0) *right = *left;
    if (right->dxpLineWidth != 0 && left->dxpLineWidth == 0) *left = *right;
  }
}

void tablesprm(wwstate* w, int t, const unsigned char* p, wwpap* a) {
  wwtap* tap = &a->tap;
  if (t == 185 || t == 186 || t == 192) return;
  a->fTapChanged = 1;
  switch (t) {
    case 182: setp(&tap->jc, static_cast<int32_t>(wwbufw(w, p + 1))); break;
    case 183:
      if (tap->itcMac > 0) {
        int32_t s = wwbufsw(w, p + 1) - (tap->rgdxaCenter[0] + tap->dxaGapHalf);
        for (int i = 0; i <= clampcell(tap->itcMac); i++) tap->rgdxaCenter[i] += s;
        tap->rgdxaCenterset = 1;
      }
      break;
    case 184: {
      int32_t g = wwbufsw(w, p + 1);
      tap->rgdxaCenter[0] += tap->dxaGapHalf - g;
      setp(&tap->dxaGapHalf, g);
      tap->rgdxaCenterset = 1;
      break;
    }
    case 187:
      for (int i = 0; i < 6; i++) wwbrcread(w, &tap->rgbrcTable[i], p + 1 + 2 * i);
      tap->rgbrcTableset = 1;
      break;
    case 188:
    case 190: rowdef(w, p, tap, t == 188); break;
    case 189: setp(&tap->dyaRowHeight, wwbufsw(w, p + 1)); break;
    case 191: {
      int n = p[1];
      tap->rgshdset = 1;
      for (int i = 0; 2 + 2 * i < n + 2 && i < clampcell(tap->itcMac); i++) wwshdread(w, &tap->rgshd[i], p + 2 + 2 * i);
      break;
    }
    case 193:
    case 199: {
      int f = clampcell(p[1]), l = clampcell(p[2]), mask = p[3];
      wwbrc b;
      readbrc(w, &b, p + 4, t == 199);
      tap->rgtcset = 1;
      for (int i = f; i < l; i++) {
        if (mask & 1) tap->rgtc[i].brcTop = b;
        if (mask & 2) tap->rgtc[i].brcLeft = b;
        if (mask & 4) tap->rgtc[i].brcBottom = b;
        if (mask & 8) tap->rgtc[i].brcRight = b;
      }
      break;
    }
    case 194: {
      int i = p[1], n = p[2];
      int32_t wd = wwbufsw(w, p + 3);
      tap->rgdxaCenterset = tap->rgtcset = 1;
      if (!tap->itcMacset) tap->itcMacset = 1, tap->itcMac = 0;
      int m = clampcell(tap->itcMac);
      if (m + n > WW_MAXCELL) n = WW_MAXCELL - m;
      if (i <= m) {
        for (int k = m + n; k >= i + n + 1; k--) {
          tap->rgdxaCenter[k] = tap->rgdxaCenter[k - n] + n * wd;
          tap->rgtc[k - 1] = tap->rgtc[k - 1 - n];
        }
        m += n;
        for (int k = i; k < i + n; k++) {
          tap->rgdxaCenter[k + 1] = tap->rgdxaCenter[k] + wd;
          tap->rgtc[k] = wwtc{};
        }
      } else {
        for (int k = m; k < m + n; k++) {
          tap->rgdxaCenter[k + 1] = tap->rgdxaCenter[k] + wd;
          tap->rgtc[k] = wwtc{};
        }
        m += n;
      }
      tap->itcMac = m;
      break;
    }
    case 195: {
      int f = clampcell(p[1]), l = clampcell(p[2]);
      tap->rgdxaCenterset = tap->rgtcset = 1;
      if (l < f) break;
      int gap = l - f;
      int m = clampcell(tap->itcMac);
      if (m >= gap) m -= gap;
      tap->itcMac = m;
      for (int k = f; k <= m && k + gap <= WW_MAXCELL; k++) tap->rgdxaCenter[k] = tap->rgdxaCenter[k + gap];
      for (int k = f; k < m && k + gap < WW_MAXCELL; k++) tap->rgtc[k] = tap->rgtc[k + gap];
      break;
    }
    case 196: {
      int f = clampcell(p[1]), l = clampcell(p[2]);
      int32_t wd = wwbufsw(w, p + 3);
      tap->rgdxaCenterset = 1;
      int m = clampcell(tap->itcMac);
      if (m < l || l < f) break;
      int32_t v = tap->rgdxaCenter[l];
      for (int k = f; k < l; k++) tap->rgdxaCenter[k + 1] = tap->rgdxaCenter[k] + wd;
      int32_t delta = tap->rgdxaCenter[l] - v;
      for (int k = l; k < m; k++) tap->rgdxaCenter[k + 1] += delta;
      break;
    }
    case 197: {
      int f = clampcell(p[1]), l = clampcell(p[2]);
      tap->rgtcset = 1;
      if (f < WW_MAXCELL) tap->rgtc[f].fFirstMerged = 1;
      for (int k = f + 1; k < l; k++) tap->rgtc[k].fMerged = 1;
      break;
    }
    case 198: {
      int f = clampcell(p[1]), l = clampcell(p[2]);
      tap->rgtcset = 1;
      for (int k = f; k < l; k++) tap->rgtc[k].fFirstMerged = tap->rgtc[k].fMerged = 0;
      break;
    }
    case 200:
    case 257: {
      const unsigned char* q = t == 257 ? p + 1 : p;
      int f = clampcell(q[1]), l = clampcell(q[2]);
      wwshd s;
      wwshdread(w, &s, q + 3);
      tap->rgshdset = 1;
      for (int k = f; k < l; k++) tap->rgshd[k] = s;
      break;
    }
    case 207: setp(&tap->fRightToLeft, p[1]); break;
    default: break;
  }
}

void parasprm(wwstate* w, int code, const unsigned char* p, int len, wwpap* a) {
  int v = w->ver;
  switch (code) {
    case 2: setp(&a->istd, v == 6 ? static_cast<int32_t>(wwbufw(w, p + 1)) : p[1]); break;
    case 3:
      if (v == 6) {
        int first = static_cast<int>(wwbufw(w, p + 4)), last = static_cast<int>(wwbufw(w, p + 6));
        int held = (len - 8) / 2;
        if (first <= a->istd && a->istd <= last && a->istd - first < held)
          setp(&a->istd, static_cast<int32_t>(wwbufw(w, p + 8 + 2 * (a->istd - first))));
      } else if (a->istd > 0 && a->istd <= p[1]) {
        setp(&a->istd, p[1 + a->istd]);
      }
      break;
    case 4: {
      int d = wwbufsb(w, p + 1);
      if (v == 6 && a->istd >= 1 && a->istd <= 9) {
        int s = a->istd + d;
        setp(&a->istd, s < 1 ? 1 : s > 9 ? 9 : s);
      } else if (v != 6 && a->istd >= 247 && a->istd <= 255) {
        int s = a->istd - d;
        setp(&a->istd, s < 247 ? 247 : s > 255 ? 255 : s);
      }
      break;
    }
    case 5: setp(&a->jc, p[1]); break;
    case 7: setp(&a->fKeep, p[1]); break;
    case 8: setp(&a->fKeepFollow, p[1]); break;
    case 9: setp(&a->fPageBreakBefore, p[1]); break;
    case 10: bordertype(a, p[1]); break;
    case 11: borderpos(a, p[1]); break;
    case 12:
      if (v == 6) {
        wwanldread(w, &a->anld, p + 2);
        a->anldset = 1;
      }
      break;
    case 13:
      if (v == 6) setp(&a->nLvlAnm, p[1]);
      break;
    case 15: tabs(w, p, a, false); break;
    case 23: tabs(w, p, a, true); break;
    case 16: setp(&a->dxaRight, wwbufsw(w, p + 1)); break;
    case 17: setp(&a->dxaLeft, wwbufsw(w, p + 1)); break;
    case 18: {
      int32_t l = a->dxaLeft + wwbufsw(w, p + 1);
      setp(&a->dxaLeft, l < 0 ? 0 : l);
      break;
    }
    case 19: setp(&a->dxaLeft1, wwbufsw(w, p + 1)); break;
    case 20:
      a->dyaLine = wwbufsw(w, p + 1);
      if (v == 6) a->fMultLinespace = wwbufsw(w, p + 3);
      a->dyaLineset = 1;
      break;
    case 21: setp(&a->dyaBefore, static_cast<int32_t>(wwbufw(w, p + 1))); break;
    case 22: setp(&a->dyaAfter, static_cast<int32_t>(wwbufw(w, p + 1))); break;
    case 24: setp(&a->fInTable, p[1]); break;
    case 25:
      setp(&a->fInTable, p[1]);
      setp(&a->fTtp, p[1]);
      break;
    case 26: setp(&a->dxaAbs, wwbufsw(w, p + 1)); break;
    case 27: setp(&a->dyaAbs, wwbufsw(w, p + 1)); break;
    case 28: setp(&a->dxaWidth, static_cast<int32_t>(wwbufw(w, p + 1))); break;
    case 29: {
      int vert = v == 4 || v == 5 ? p[1] & 3 : (p[1] >> 4) & 3;
      int horz = v == 4 || v == 5 ? (p[1] >> 2) & 3 : (p[1] >> 6) & 3;
      if (vert != 3) setp(&a->pcVert, vert);
      if (horz != 3) setp(&a->pcHorz, horz);
      break;
    }
    case 30: wwbrcoldread(w, &a->brcTop, p + 1), a->brcTopset = 1; break;
    case 31: wwbrcoldread(w, &a->brcLeft, p + 1), a->brcLeftset = 1; break;
    case 32: wwbrcoldread(w, &a->brcBottom, p + 1), a->brcBottomset = 1; break;
    case 33: wwbrcoldread(w, &a->brcRight, p + 1), a->brcRightset = 1; break;
    case 36: setp(&a->dxaFromText, wwbufsw(w, p + 1)); break;
    case 37: setp(&a->wr, p[1]); break;
    case 38: wwbrcread(w, &a->brcTop, p + 1), a->brcTopset = 1; break;
    case 39: wwbrcread(w, &a->brcLeft, p + 1), a->brcLeftset = 1; break;
    case 40: wwbrcread(w, &a->brcBottom, p + 1), a->brcBottomset = 1; break;
    case 41: wwbrcread(w, &a->brcRight, p + 1), a->brcRightset = 1; break;
    case 44:
      if (v == 6) setp(&a->fNoAutoHyph, p[1]);
      break;
    case 45: {
      unsigned h = wwbufw(w, p + 1);
      setp(&a->wHeightAbs, static_cast<int32_t>(h & 0x7FFF));
      setp(&a->fMinHeight, static_cast<int32_t>(h >> 15));
      break;
    }
    case 47: wwshdread(w, &a->shd, p + 1), a->shdset = 1; break;
    case 48: setp(&a->dyaFromText, wwbufsw(w, p + 1)); break;
    case 49: setp(&a->dxaFromText, wwbufsw(w, p + 1)); break;
    case 50:
      if (v == 2) setp(&a->fRightToLeft, p[1]);
      break;
    case 51:
      if (v == 6) setp(&a->fWidowControl, p[1]);
      break;
    case 56:
      if (v == 5) wwshdread(w, &a->shd, p + 2), a->shdset = 1;
      break;
    case 64: setp(&a->fRightToLeft, p[1]); break;
    default: break;
  }
}

}  // namespace

int wwsprmpapx(wwstate* w, const unsigned char* p) { return lengthof(w, p); }

int wwsprmpap(wwstate* w, const unsigned char* p, wwpap* a) {
  int len = lengthof(w, p);
  if (len <= 0) return len;
  if (int t = tablecode(w->ver, p[0]))
    tablesprm(w, t, p, a);
  else
    parasprm(w, p[0], p, len, a);
  return len;
}

void wwpapxapply(wwstate* w, const unsigned char* papx, wwpap* a) {
  if (!papx) return;
  int l = static_cast<int>(wwbufw(w, papx));
  if (l < 2) return;
  unsigned style = wwbufw(w, papx + 2);
  if (style != 0xFFFF) a->istd = static_cast<int32_t>(style);
  // The operands of the last sprm may reach past the record: they are read
  // from a copy whose tail is zeros.
  int n = l - 2;
  auto* b = static_cast<unsigned char*>(wwalloc(w, n + 2048));
  std::memcpy(b, papx + 4, n);
  for (int p = 0; p < n;) {
    int len = wwsprmpap(w, b + p, a);
    // 0 ends the list; a code that is no paragraph sprm leaves the rest of
    // the list without a length, so the list ends there too.
    if (len <= 0) break;
    p += len;
  }
  wwfree(w, b);
}
