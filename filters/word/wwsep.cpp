// Section properties: the section table loaded into two work streams (one
// run record per section, the section's stored modifiers beside it), the
// section sprm interpreter of every level, and the section properties at a
// position built from the level's defaults and the section's modifiers,
// cached for the section's range.
#include <cstring>

#include "filters/word/ww.h"

namespace {

constexpr int kreclen = 16;
constexpr int32_t kfallback = 0xFFFFFF;

void readrec(wwstate* w, long rec, int32_t r[4]) {
  unsigned char b[kreclen];
  wwseek(w, w->seprunstm, rec * kreclen);
  wwread(w, w->seprunstm, b, kreclen);
  std::memcpy(r, b, kreclen);
}

// A sprm of the table: its number at levels 6, 4-5, 3, 2 and 1 (0 where
// the level has none), its length (-1: the column array's, which depends
// on the column count), and what it sets.
enum eff {
  E_NONE, E_OLST, E_COLS, E_EVEN, E_BKC, E_TITLE, E_CCOL, E_DXACOL, E_NFC, E_RESTART, E_IHDT, E_HDRTOP,
  E_HDRBOT, E_LBETWEEN, E_PGNSTART, E_ORIENT, E_END, E_XA, E_YA, E_LEFT, E_RIGHT, E_TOP, E_BOTTOM, E_RTL
};
struct row {
  uint8_t num[5];
  int8_t len;
  uint8_t e;
};
constexpr row ksprms[] = {
    {{131, 0, 0, 0, 0}, 2, E_NONE},       {{0, 0, 0, 112, 0}, 2, E_NONE},
    {{132, 0, 0, 0, 0}, 2, E_NONE},       {{133, 0, 0, 0, 0}, -2, E_OLST},
    {{136, 0, 0, 0, 0}, -1, E_COLS},      {{137, 0, 0, 0, 0}, 4, E_NONE},
    {{138, 0, 0, 0, 0}, 2, E_EVEN},       {{139, 0, 0, 0, 0}, 2, E_NONE},
    {{140, 0, 0, 0, 0}, 3, E_NONE},       {{141, 0, 0, 0, 0}, 3, E_NONE},
    {{0, 0, 0, 115, 0}, 3, E_NONE},       {{0, 0, 0, 116, 0}, 3, E_NONE},
    {{142, 117, 54, 117, 117}, 2, E_BKC}, {{143, 118, 55, 118, 118}, 2, E_TITLE},
    {{144, 119, 56, 119, 119}, 3, E_CCOL}, {{145, 120, 57, 120, 120}, 3, E_DXACOL},
    {{146, 121, 58, 121, 0}, 2, E_NONE},  {{147, 122, 59, 122, 122}, 2, E_NFC},
    {{148, 123, 60, 123, 0}, 3, E_NONE},  {{149, 124, 61, 124, 0}, 3, E_NONE},
    {{150, 125, 62, 125, 125}, 2, E_RESTART}, {{151, 126, 63, 126, 126}, 2, E_NONE},
    {{152, 127, 64, 127, 127}, 2, E_NONE}, {{153, 128, 65, 128, 128}, 2, E_IHDT},
    {{154, 129, 66, 129, 129}, 3, E_NONE}, {{155, 130, 67, 130, 130}, 3, E_NONE},
    {{156, 131, 68, 131, 131}, 3, E_HDRTOP}, {{157, 132, 69, 132, 132}, 3, E_HDRBOT},
    {{158, 0, 0, 133, 133}, 2, E_LBETWEEN}, {{159, 0, 0, 134, 134}, 2, E_NONE},
    {{160, 0, 0, 135, 135}, 3, E_NONE},   {{161, 0, 0, 136, 136}, 3, E_PGNSTART},
    {{162, 0, 0, 137, 0}, 2, E_ORIENT},   {{163, 0, 0, 0, 0}, 0, E_END},
    {{0, 0, 0, 138, 0}, 2, E_NONE},       {{164, 0, 0, 139, 0}, 3, E_XA},
    {{165, 0, 0, 140, 0}, 3, E_YA},       {{166, 0, 0, 141, 0}, 3, E_LEFT},
    {{167, 0, 0, 142, 0}, 3, E_RIGHT},    {{168, 0, 0, 143, 0}, 3, E_TOP},
    {{169, 0, 0, 144, 0}, 3, E_BOTTOM},   {{170, 0, 0, 145, 0}, 3, E_NONE},
    {{171, 0, 0, 0, 0}, 3, E_NONE},       {{179, 0, 0, 114, 0}, -3, E_RTL},
    {{180, 0, 0, 0, 0}, 2, E_NONE},       {{181, 0, 0, 0, 0}, 3, E_NONE},
};

int column(const wwstate* w) {
  switch (w->ver) {
    case 6: return 0;
    case 4:
    case 5: return 1;
    case 3: return 2;
    case 2: return 3;
    default: return 4;
  }
}

const row* lookup(const wwstate* w, int num) {
  int c = column(w);
  if (num == 0) return nullptr;
  for (const row& r : ksprms)
    if (r.num[c] == num) return &r;
  return nullptr;
}

// The length of a sprm whose row is known; -1 for a column array whose
// count gives no length.
int lengthof(const wwstate* w, const row* r, int ccolM1) {
  switch (r->len) {
    case -1: return ccolM1 < 0 ? -1 : 8 * ccolM1 + 4;
    case -2: return 214;
    case -3: return w->ver == 6 ? 3 : 2;
    default: return r->len;
  }
}

// Operand readers that read zeros past the end of the list.
int opb(const unsigned char* p, int n, int at) { return at < n ? p[at] : 0; }
unsigned opw(const wwstate* w, const unsigned char* p, int n, int at) {
  unsigned char b[2] = {static_cast<unsigned char>(opb(p, n, at)), static_cast<unsigned char>(opb(p, n, at + 1))};
  return wwbufw(w, b);
}
int opsw(const wwstate* w, const unsigned char* p, int n, int at) {
  return static_cast<int16_t>(opw(w, p, n, at));
}

void anlvread(const wwstate* w, const unsigned char* p, int n, int at, wwanlv* a) {
  a->nfc = opb(p, n, at);
  a->cxchTextBefore = opb(p, n, at + 1);
  a->cxchTextAfter = opb(p, n, at + 2);
  int b3 = opb(p, n, at + 3), b4 = opb(p, n, at + 4), b5 = opb(p, n, at + 5);
  a->jc = b3 & 3;
  a->fPrev = (b3 >> 2) & 1;
  a->fHang = (b3 >> 3) & 1;
  a->fSetBold = (b3 >> 4) & 1;
  a->fSetItalic = (b3 >> 5) & 1;
  a->fSetSmallCaps = (b3 >> 6) & 1;
  a->fSetCaps = (b3 >> 7) & 1;
  a->fSetStrike = b4 & 1;
  a->fSetKul = (b4 >> 1) & 1;
  a->fBold = (b4 >> 3) & 1;
  a->fItalic = (b4 >> 4) & 1;
  a->fSmallCaps = (b4 >> 5) & 1;
  a->fCaps = (b4 >> 6) & 1;
  a->fStrike = (b4 >> 7) & 1;
  a->kul = b5 & 7;
  a->ico = b5 >> 3;
  a->ftc = opsw(w, p, n, at + 6);
  a->hps = opsw(w, p, n, at + 8);
  a->iStartAt = static_cast<int32_t>(opw(w, p, n, at + 10));
  a->dxaIndent = opsw(w, p, n, at + 12);
  a->dxaSpace = static_cast<int32_t>(opw(w, p, n, at + 14));
}

void setv(int32_t* field, int32_t v) {
  field[0] = v;
  field[1] = 1;
}

}  // namespace

// ---------------------------------------------------------------- loading

void wwsepstmnew(wwstate* w) {
  if (w->seprunstm < 0) w->seprunstm = wwtmpnew(w, 1200);
  if (w->sepxstm < 0) w->sepxstm = wwtmpnew(w, 2400);
  if (w->seprunstm < 0 || w->sepxstm < 0) wwfatal(w, RDR_NOMEM);
  if (!w->sepsect) w->sepsect = static_cast<wwsep*>(wwalloc(w, sizeof(wwsep)));
  if (!w->seppiece) w->seppiece = static_cast<wwsep*>(wwalloc(w, sizeof(wwsep)));
}

void wwsepstmfree(wwstate* w) {
  wwtmpdel(w, w->seprunstm);
  wwtmpdel(w, w->sepxstm);
  w->seprunstm = w->sepxstm = -1;
  if (w->sepsect) wwfree(w, w->sepsect);
  if (w->seppiece) wwfree(w, w->seppiece);
  w->sepsect = w->seppiece = nullptr;
  w->sepfirst = w->seplimit = w->seppfirst = w->sepplimit = -1;
}

void wwsedfree(wwstate* w) { wwsepstmfree(w); }

void wwseprunput(wwstate* w, int32_t first, int32_t limit, const unsigned char* sepx) {
  int l = static_cast<int>(sepx[0] | sepx[1] << 8);
  if (l > WW_SEPXMAX) l = WW_SEPXMAX;
  unsigned char len[2] = {static_cast<unsigned char>(l & 0xFF), static_cast<unsigned char>(l >> 8)};
  int32_t r[4] = {first, limit, static_cast<int32_t>(wwsize(w, w->sepxstm)), l + 2};
  wwseek(w, w->sepxstm, r[2]);
  wwwrite(w, w->sepxstm, len, 2);
  if (l > 0) wwwrite(w, w->sepxstm, sepx + 2, l);
  unsigned char b[kreclen];
  std::memcpy(b, r, kreclen);
  wwseek(w, w->seprunstm, wwsize(w, w->seprunstm));
  wwwrite(w, w->seprunstm, b, kreclen);
}

void wwsedread(wwstate* w) {
  wwsepstmnew(w);
  int32_t fc = wwfcsed(w), lcb = wwlcbsed(w);
  if (lcb <= 4 || fc <= 0) return;
  long back = wwtell(w, WW_MAIN);
  int dsize = w->ver == 6 ? 12 : 6;
  int32_t n = (lcb - 4) / (4 + dsize);
  long size = wwsize(w, WW_MAIN);
  auto* sepx = static_cast<unsigned char*>(wwalloc(w, 2 + WW_SEPXMAX));
  for (int32_t i = 0; i < n; i++) {
    wwseek(w, WW_MAIN, fc + 4L * i);
    int32_t a = wwgetl(w, WW_MAIN), b = wwgetl(w, WW_MAIN);
    wwseek(w, WW_MAIN, fc + 4L * (n + 1) + static_cast<long>(dsize) * i + 2);
    uint32_t at = wwgetul(w, WW_MAIN);
    std::memset(sepx, 0, 2 + WW_SEPXMAX);
    if (at != 0xFFFFFFFFu && static_cast<long>(at) < size) {
      wwseek(w, WW_MAIN, static_cast<long>(at));
      // The whole stored length is kept (up to the buffer), so that a long
      // list keeps the sprms behind an outline list.
      int l = w->ver == 6 ? static_cast<int>(wwgetw(w, WW_MAIN)) : wwgetb(w, WW_MAIN);
      if (l < 0) l = 0;
      if (l > WW_SEPXMAX) l = WW_SEPXMAX;
      sepx[0] = static_cast<unsigned char>(l & 0xFF);
      sepx[1] = static_cast<unsigned char>(l >> 8);
      wwread(w, WW_MAIN, sepx + 2, l);
    }
    int32_t first = wwfcmin(w) + a, limit = wwfcmin(w) + b;
    if (first < limit) wwseprunput(w, first, limit, sepx);
  }
  wwfree(w, sepx);
  wwseek(w, WW_MAIN, back);
}

int wwseprun(wwstate* w, int32_t pos, int32_t* first, int32_t* limit, unsigned char* sepx) {
  if (sepx) std::memset(sepx, 0, 2 + WW_SEPXMAX);
  long nrec = w->seprunstm < 0 ? 0 : wwsize(w, w->seprunstm) / kreclen;
  if (pos == wwfcmin(w) - wwhdrf(w, WWH_CBCH)) pos = wwfcmin(w);
  long rec = w->seplastrec;
  if (rec < 0 || rec >= nrec) rec = 0;
  int32_t r[4] = {};
  bool found = false;
  if (nrec > 0 && pos < w->seplastfirst) {
    for (; rec >= 0; rec--) {
      readrec(w, rec, r);
      if (r[0] <= pos && pos < r[1]) {
        found = true;
        break;
      }
      if (r[1] <= pos) break;  // between two sections: none holds it
    }
  } else {
    for (; rec < nrec; rec++) {
      readrec(w, rec, r);
      if (r[0] <= pos && pos < r[1]) {
        found = true;
        break;
      }
    }
  }
  if (!found) {
    if (first) *first = 0;
    if (limit) *limit = kfallback;
    w->seplastrec = 0;
    w->seplastfirst = 0;
    return 0;
  }
  if (first) *first = r[0];
  if (limit) *limit = r[1];
  if (sepx) {
    int len = r[3] < 2 ? 0 : r[3] > 2 + WW_SEPXMAX ? 2 + WW_SEPXMAX : r[3];
    wwseek(w, w->sepxstm, r[2]);
    wwread(w, w->sepxstm, sepx, len);
  }
  w->seplastfirst = r[0];
  w->seplastrec = static_cast<int32_t>(rec);
  return 1;
}

// ---------------------------------------------------------------- defaults and sprms

void wwanlvinit(wwstate*, wwanlv* a) {
  std::memset(a, 0, sizeof *a);
  a->iStartAt = 1;
}

void wwolstinit(wwstate* w, wwolst* o) {
  static const int nfc[9] = {1, 3, 0, 4, 0, 4, 2, 4, 2};
  static const int before[9] = {0, 0, 0, 0, 1, 1, 1, 1, 1};
  std::memset(o, 0, sizeof *o);
  for (int i = 0; i < 9; i++) {
    wwanlvinit(w, &o->rganlv[i]);
    o->rganlv[i].nfc = nfc[i];
    o->rganlv[i].cxchTextBefore = before[i];
    o->rganlv[i].cxchTextAfter = 1;
  }
  static const char text[] = "...)()()()()()";
  std::memcpy(o->rgch, text, sizeof text);
}

void wwsepinit(wwstate* w, wwsep* s) {
  std::memset(s, 0, sizeof *s);
  s->bkc = 2;
  s->dxaColumns = 720;
  s->pgnStart = 1;
  s->dyaHdrTop = 720;
  s->dyaHdrBottom = 720;
  s->dmOrientPage = w->ver == 6 ? 1 : 0;
  s->xaPage = 12240;
  s->yaPage = 15840;
  s->dxaLeft = 1800;
  s->dxaRight = 1800;
  s->dyaTop = 1440;
  s->dyaBottom = 1440;
  s->fEvenlySpaced = 1;
  wwolstinit(w, &s->olst);
  if (w->dop && (w->ver == 1 || (w->ver >= 3 && w->ver <= 5))) {
    setv(&s->xaPage, wwxapage(w));
    setv(&s->yaPage, wwyapage(w));
    setv(&s->dxaLeft, wwdxaleft(w));
    setv(&s->dxaRight, wwdxaright(w));
    setv(&s->dyaTop, wwdyatop(w));
    setv(&s->dyaBottom, wwdyabottom(w));
    setv(&s->dmOrientPage, wwlandscape(w));
    if (w->ver >= 3) s->pgnStart = wwpgnstart(w);
  }
}

int wwsprmsepx(wwstate* w, const unsigned char* p) {
  const row* r = lookup(w, p[0]);
  if (!r || r->len == -1) return -1;
  return lengthof(w, r, 0);
}

int wwsprmsep(wwstate* w, const unsigned char* p, int n, wwsep* s) {
  if (n < 1) return 0;
  const row* r = lookup(w, p[0]);
  if (!r) return -1;
  int len = lengthof(w, r, s->ccolM1);
  switch (r->e) {
    case E_OLST:
      for (int i = 0; i < 9; i++) anlvread(w, p, n, 2 + 16 * i, &s->olst.rganlv[i]);
      for (int i = 0; i < 64; i++) s->olst.rgch[i] = static_cast<unsigned char>(opb(p, n, 150 + i));
      s->olstset = 1;
      break;
    case E_COLS: {
      if (len < 1) return -1;
      std::memset(s->rgdxaColumn, 0, sizeof s->rgdxaColumn);
      // More columns than the array holds fill it and no further.
      int64_t count = 4LL * s->ccolM1 + 1;
      if (count > WW_NCOLVAL) count = WW_NCOLVAL;
      for (int i = 0; i < count; i++) s->rgdxaColumn[i] = static_cast<int32_t>(opw(w, p, n, 2 + 2 * i));
      s->rgdxaColumnset = 1;
      break;
    }
    case E_EVEN: setv(&s->fEvenlySpaced, opb(p, n, 1)); break;
    case E_BKC: setv(&s->bkc, opb(p, n, 1)); break;
    case E_TITLE: setv(&s->fTitlePage, opb(p, n, 1)); break;
    case E_CCOL: setv(&s->ccolM1, opsw(w, p, n, 1)); break;
    case E_DXACOL: setv(&s->dxaColumns, static_cast<int32_t>(opw(w, p, n, 1))); break;
    case E_NFC: setv(&s->nfcPgn, opb(p, n, 1)); break;
    case E_RESTART: setv(&s->fPgnRestart, opb(p, n, 1)); break;
    case E_IHDT: setv(&s->grpfIhdt, opb(p, n, 1)); break;
    case E_HDRTOP: setv(&s->dyaHdrTop, static_cast<int32_t>(opw(w, p, n, 1))); break;
    case E_HDRBOT: setv(&s->dyaHdrBottom, static_cast<int32_t>(opw(w, p, n, 1))); break;
    case E_LBETWEEN: setv(&s->fLBetween, opb(p, n, 1)); break;
    case E_PGNSTART: {
      int v = opsw(w, p, n, 1);
      setv(&s->pgnStart, v <= 0 ? 1 : v);
      break;
    }
    case E_ORIENT: setv(&s->dmOrientPage, opb(p, n, 1)); break;
    case E_END: return 0;
    case E_XA: setv(&s->xaPage, static_cast<int32_t>(opw(w, p, n, 1))); break;
    case E_YA: setv(&s->yaPage, static_cast<int32_t>(opw(w, p, n, 1))); break;
    case E_LEFT: setv(&s->dxaLeft, static_cast<int32_t>(opw(w, p, n, 1))); break;
    case E_RIGHT: setv(&s->dxaRight, static_cast<int32_t>(opw(w, p, n, 1))); break;
    case E_TOP: setv(&s->dyaTop, opsw(w, p, n, 1)); break;
    case E_BOTTOM: setv(&s->dyaBottom, opsw(w, p, n, 1)); break;
    case E_RTL: setv(&s->fRightToLeft, opb(p, n, 1)); break;
    default: break;
  }
  return len;
}

void wwsepxapply(wwstate* w, const unsigned char* sprms, int len, wwsep* s) {
  if (!sprms) return;
  for (int at = 0; at < len;) {
    int l = wwsprmsep(w, sprms + at, len - at, s);
    if (l <= 0) break;
    at += l;
  }
}

// ---------------------------------------------------------------- the SEP at a position

void wwsepget(wwstate* w, int32_t pos, wwsep* out) {
  if (!w->sepsect || !w->seppiece) {
    wwsepinit(w, out);
    return;
  }
  if (pos >= w->sepfirst && pos < w->seplimit) {
    *out = pos >= w->seppfirst && pos < w->sepplimit ? *w->seppiece : *w->sepsect;
    return;
  }
  auto* sepx = static_cast<unsigned char*>(wwalloc(w, 2 + WW_SEPXMAX));
  int32_t first, limit;
  int found = wwseprun(w, pos, &first, &limit, sepx);
  wwsepinit(w, out);
  wwsepxapply(w, sepx + 2, sepx[0] | sepx[1] << 8, out);
  wwfree(w, sepx);
  // A position in no section (a note's or header's text) gets the defaults
  // without caching them, so the sections of the main text are still found.
  if (!found) return;
  *w->sepsect = *out;
  *w->seppiece = *out;
  w->sepfirst = w->seppfirst = first;
  w->seplimit = w->sepplimit = limit;
}

int wwissect(wwstate* w, int32_t pos) {
  if (pos == wwfcmin(w)) return 1;
  int32_t first, limit;
  if (!wwseprun(w, pos + 1, &first, &limit, nullptr)) return 0;
  return first == pos + 1;
}
