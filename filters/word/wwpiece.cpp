// The piece table of complex (fast-saved) documents: the Clx read once into
// fixed-size piece records and the pieces' property lists split by class,
// text positions mapped to file offsets through their piece, and the
// character, paragraph and section lists that a piece gives its text.
// Every scan is bounded: a position in no piece maps through the nearest
// piece, and a mark scan stops at the end of the pieces.
#include <cstring>

#include "filters/word/ww.h"

namespace {

constexpr int kreclen = static_cast<int>(sizeof(wwpiecerec));
static_assert(kreclen == 44, "a piece record is eleven 32-bit words");

enum { NOCLASS, CHP, PAP, SEP };

bool in(int c, int lo, int hi) { return c >= lo && c <= hi; }

// The class of a sprm code at a level, by the code ranges of each level.
int classof(int ver, int c) {
  switch (ver) {
    case 6:
      if (in(c, 65, 124)) return CHP;
      if (in(c, 2, 64) || in(c, 182, 207)) return PAP;
      if (in(c, 131, 181)) return SEP;
      break;
    case 5:
    case 4:
      if (in(c, 57, ver == 5 ? 83 : 78) || in(c, 94, 95)) return CHP;
      if (in(c, 2, ver == 5 ? 56 : 36) || in(c, 146, 163)) return PAP;
      if (in(c, 117, 132)) return SEP;
      break;
    case 3:
      if (in(c, 27, 41) || in(c, 48, 49)) return CHP;
      if (in(c, 2, 22)) return PAP;
      if (in(c, 54, 69)) return SEP;
      break;
    case 2:
      if (in(c, 53, 111)) return CHP;
      if (in(c, 2, 52) || in(c, 146, 164)) return PAP;
      if (in(c, 112, 145)) return SEP;
      break;
    case 1:
      if (in(c, 57, 116)) return CHP;
      if (in(c, 2, 56) || in(c, 146, 163)) return PAP;
      if (in(c, 117, 145)) return SEP;
      break;
    default: break;
  }
  return NOCLASS;
}

// The length of a section sprm at a level, code included: -1 for a code
// that is none of the level's, 0 for the one that ends a list. A column
// sprm's length depends on the column count, so it cannot be measured.
int seclen(int ver, int c) {
  if (ver == 6) {
    switch (c) {
      case 133: return 214;
      case 134: case 135: case 136: return -1;
      case 137: return 4;
      case 140: case 141: case 144: case 145: case 148: case 149: case 154: case 155: case 156: case 157:
      case 160: case 161: case 164: case 165: case 166: case 167: case 168: case 169: case 170: case 171:
      case 179: case 181:
        return 3;
      case 163: return 0;
      default: return c >= 131 && c <= 181 && !(c >= 172 && c <= 178) ? 2 : -1;
    }
  }
  if (ver == 2) {
    switch (c) {
      case 113: return -1;
      case 115: case 116: case 119: case 120: case 123: case 124: case 129: case 130: case 131: case 132:
      case 135: case 136: case 139: case 140: case 141: case 142: case 143: case 144: case 145:
        return 3;
      default: return c >= 112 && c <= 145 ? 2 : -1;
    }
  }
  // Levels 3-5 number the shared sprms from 54 and 117; level 1 as level 2
  // without the ones it lacks.
  int base = ver == 3 ? 54 : 117;
  if (ver == 1) {
    if (c == 121 || c == 123 || c == 124 || c < 117 || c > 136) return -1;
  } else if (c < base || c > base + 15) {
    return -1;
  }
  switch (c - base) {
    case 2: case 3: case 6: case 7: case 12: case 13: case 14: case 15: case 18: case 19: return 3;
    default: return 2;
  }
}

// The length of a sprm of a class, measured in a copy whose tail is zeros
// so that an operand's length byte past the group reads 0.
int lengthof(wwstate* w, int cls, const unsigned char* p) {
  switch (cls) {
    case CHP: return wwsprmchpx(w, p);
    case PAP: return wwsprmpapx(w, p);
    case SEP: return seclen(w->ver, p[0]);
    default: return -1;
  }
}

void readrec(wwstate* w, long rec, wwpiecerec* r) {
  unsigned char b[kreclen];
  wwseek(w, w->piecestm, rec * kreclen);
  wwread(w, w->piecestm, b, kreclen);
  std::memcpy(r, b, kreclen);
}

bool holds(const wwpiecerec& r, int32_t pos) { return r.start <= pos && pos < r.end; }

// The lists being built for one piece: character and section lists keep at
// most 255 sprm bytes, the paragraph list what fits a 512-byte wwpapx.
struct lists {
  unsigned char chp[256];
  unsigned char pap[512];
  unsigned char sep[256];
  int nchp, npap, nsep;  // sprm bytes
  bool cut[4];
};

void add(lists* l, int cls, const unsigned char* p, int len) {
  unsigned char* at;
  int* n;
  int most;
  switch (cls) {
    case CHP: at = l->chp + 1, n = &l->nchp, most = 255; break;
    case PAP: at = l->pap + 4, n = &l->npap, most = 508; break;
    default: at = l->sep + 1, n = &l->nsep, most = 255; break;
  }
  // A list that is full keeps what it has: a later sprm is not applied
  // out of its order.
  if (l->cut[cls] || *n + len > most) {
    l->cut[cls] = true;
    return;
  }
  std::memcpy(at + *n, p, len);
  *n += len;
}

void finish(wwstate* w, lists* l) {
  l->chp[0] = static_cast<unsigned char>(l->nchp);
  l->sep[0] = static_cast<unsigned char>(l->nsep);
  wwputw(w, l->pap, static_cast<unsigned>(l->npap + 2));
  wwputw(w, l->pap + 2, 0xFFFF);
}

// Splits a property group into the three lists. A sprm of no class, or one
// whose length cannot be measured or runs past the group, leaves the rest
// of the group without sprm boundaries: the split stops there.
void split(wwstate* w, const unsigned char* g, int n, lists* l) {
  for (int p = 0; p < n;) {
    int cls = classof(w->ver, g[p]);
    if (cls == NOCLASS) break;
    int len = lengthof(w, cls, g + p);
    if (len <= 0 || len > n - p) break;
    add(l, cls, g + p, len);
    p += len;
  }
}

// A group of the Clx: its offset and size.
struct groupref {
  int32_t at, size;
};

// Reads the pieces of the piece table whose PLC starts at plc.
void pieces(wwstate* w, long plc, long n, const groupref* groups, int ngroups) {
  int32_t start0 = wwfcmin(w);
  int32_t cbch = wwhdrf(w, WWH_CBCH);
  bool bigbits = w->ver >= 3 && w->ver <= 5;
  for (long i = 0; i < n; i++) {
    wwseek(w, WW_MAIN, plc + 4 * i);
    int32_t cp0 = wwgetl(w, WW_MAIN), cp1 = wwgetl(w, WW_MAIN);
    unsigned char d[8];
    wwseek(w, WW_MAIN, plc + 4 * (n + 1) + 8 * i);
    wwread(w, WW_MAIN, d, 8);
    wwpiecerec r{};
    r.start = static_cast<int32_t>(start0 + static_cast<int64_t>(cp0) * cbch);
    r.end = static_cast<int32_t>(start0 + static_cast<int64_t>(cp1) * cbch);
    r.noparaend = bigbits ? (d[0] >> 7) & 1 : d[0] & 1;
    r.fc = wwbufl(w, d + 2);
    r.fcend = static_cast<int32_t>(static_cast<int64_t>(r.fc) + r.end - r.start);
    int b0 = d[6], b1 = d[7];
    bool grouped = bigbits ? (b0 & 0x80) != 0 : (b0 & 1) != 0;
    lists l{};
    if (!grouped) {
      int code = bigbits ? b0 & 0x7F : b0 >> 1;
      unsigned char s[2] = {static_cast<unsigned char>(code), static_cast<unsigned char>(b1)};
      int cls = classof(w->ver, code);
      if (cls != NOCLASS) add(&l, cls, s, 2);
      finish(w, &l);
      wwpieceput(w, &r, cls == CHP ? l.chp : nullptr, cls == PAP ? l.pap : nullptr, cls == SEP ? l.sep : nullptr);
      continue;
    }
    int k = bigbits ? ((b0 << 8) | b1) & 0x7FFF : ((b1 << 8) | b0) >> 1;
    // A piece whose group is not in the Clx has no record: its text maps
    // through the nearest piece.
    if (k >= ngroups) continue;
    int size = groups[k].size;
    auto* g = static_cast<unsigned char*>(wwalloc(w, size + 512));
    wwseek(w, WW_MAIN, groups[k].at);
    wwread(w, WW_MAIN, g, size);
    split(w, g, size, &l);
    wwfree(w, g);
    finish(w, &l);
    wwpieceput(w, &r, l.chp, l.pap, l.sep);
  }
}

// Reads a list of a record into buf, or its empty form.
void readlist(wwstate* w, int32_t at, int32_t len, int cap, unsigned char* buf, bool wide) {
  std::memset(buf, 0, cap);
  if (len <= 0) return;
  if (len > cap) len = cap;
  wwseek(w, w->plstm, at);
  wwread(w, w->plstm, buf, len);
  // A paragraph list is held to what the buffer carries.
  if (wide && static_cast<int>(wwbufw(w, buf)) > cap - 2) wwputw(w, buf, static_cast<unsigned>(cap - 2));
}

// The mark ending the stretch of text from a position: the first position
// from it whose byte is one of the marks, or where the pieces end. The
// stream position is kept.
int32_t markscan(wwstate* w, int32_t pos, int m1, int m2, int32_t bound) {
  long back = wwtell(w, WW_MAIN);
  int32_t p = pos;
  for (; p < bound; p++) {
    wwseek(w, WW_MAIN, wwcp2fc(w, p));
    int c = wwgetb(w, WW_MAIN);
    if (c < 0 || c == m1 || c == m2) break;
  }
  if (p >= bound && bound > pos) p = bound - 1;
  wwseek(w, WW_MAIN, back);
  return p;
}

bool complexdoc(const wwstate* w) { return w->hdr && wwhdrf(w, WWH_COMPLEX) != 0; }

}  // namespace

void wwpiecestmnew(wwstate* w) {
  if (w->piecestm < 0) w->piecestm = wwtmpnew(w, 1024);
  if (w->plstm < 0) w->plstm = wwtmpnew(w, 1024);
  if (w->piecestm < 0 || w->plstm < 0) wwfatal(w, RDR_NOMEM);
}

void wwpiecestmfree(wwstate* w) {
  if (w->piecestm >= 0) wwtmpdel(w, w->piecestm);
  if (w->plstm >= 0) wwtmpdel(w, w->plstm);
  w->piecestm = w->plstm = -1;
}

void wwclxfree(wwstate* w) { wwpiecestmfree(w); }

void wwpieceput(wwstate* w, const wwpiecerec* r0, const unsigned char* chp, const unsigned char* pap,
                const unsigned char* sep) {
  wwpiecerec r = *r0;
  int32_t* at[3] = {&r.chpat, &r.papat, &r.sepat};
  int32_t* len[3] = {&r.chplen, &r.paplen, &r.seplen};
  const unsigned char* l[3] = {chp, pap, sep};
  for (int i = 0; i < 3; i++) {
    long end = wwsize(w, w->plstm);
    *at[i] = static_cast<int32_t>(end);
    *len[i] = 0;
    if (!l[i]) continue;
    int n = i == 1 ? static_cast<int>(wwbufw(w, l[i])) + 2 : l[i][0] + 1;
    *len[i] = n;
    wwseek(w, w->plstm, end);
    wwwrite(w, w->plstm, l[i], n);
  }
  unsigned char b[kreclen];
  std::memcpy(b, &r, kreclen);
  wwseek(w, w->piecestm, wwsize(w, w->piecestm));
  wwwrite(w, w->piecestm, b, kreclen);
  if (r.end > w->pcend) w->pcend = r.end;
}

void wwclxread(wwstate* w) {
  if (!complexdoc(w)) return;
  int32_t fcclx = wwfcclx(w), lcb = wwlcbclx(w);
  if (w->ver == 1 && lcb == 0) {
    wwclrcomplex(w);
    return;
  }
  wwpiecestmnew(w);
  if (lcb <= 0) return;
  long back = wwtell(w, WW_MAIN);
  long size = wwsize(w, WW_MAIN);
  // The groups first, so that each piece finds its group at once.
  int most = lcb / 3 + 1, ngroups = 0;
  auto* groups = static_cast<groupref*>(wwalloc(w, static_cast<long>(most) * sizeof(groupref)));
  long plc = -1, npieces = 0;
  for (long count = 0; count < lcb;) {
    wwseek(w, WW_MAIN, fcclx + count);
    int type = wwgetb(w, WW_MAIN);
    count++;
    if (type < 0) break;
    if (type == 1) {
      int32_t n = static_cast<int32_t>(wwgetw(w, WW_MAIN));
      count += 2;
      if (ngroups < most) groups[ngroups++] = {static_cast<int32_t>(fcclx + count), n};
      count += n;
    } else if (type == 2) {
      int32_t s = w->ver == 6 ? wwgetl(w, WW_MAIN) : wwgetsw(w, WW_MAIN);
      count += w->ver == 6 ? 4 : 2;
      plc = fcclx + count;
      npieces = s >= 16 ? (s - 4) / 12 : 0;
      // A table said to reach past the input holds what the input holds.
      long room = (size - plc - 4) / 12;
      if (npieces > room) npieces = room > 0 ? room : 0;
      break;  // a second piece table is not read
    }
  }
  if (plc >= 0) pieces(w, plc, npieces, groups, ngroups);
  wwfree(w, groups);
  wwseek(w, WW_MAIN, back);
}

int wwpiececount(wwstate* w) { return w->piecestm < 0 ? 0 : static_cast<int>(wwsize(w, w->piecestm) / kreclen); }

int wwpiecefind(wwstate* w, int32_t pos, wwpiecerec* out) {
  long nrec = wwpiececount(w);
  if (nrec <= 0) return -1;
  int32_t cbch = wwhdrf(w, WWH_CBCH);
  if (pos == wwfcmin(w) - cbch) pos = wwfcmin(w);
  // Positions come in text order: the piece found last usually holds the
  // next one too.
  if (w->pcfound.start < w->pcfound.end && holds(w->pcfound, pos)) {
    *out = w->pcfound;
    return 1;
  }
  wwpiecerec r{};
  if (w->gaprec >= 0 && pos >= w->gaplo && pos < w->gaphi) {
    readrec(w, w->gaprec, &r);
    *out = r;
    return 0;
  }
  long rec = w->pcrec / kreclen - 1;
  if (rec < 0) rec = 0;
  if (rec >= nrec) rec = nrec - 1;
  bool found = false;
  if (pos < w->pclast) {
    for (;; rec--) {
      readrec(w, rec, &r);
      if ((found = holds(r, pos)) || rec == 0) break;
    }
  } else {
    for (;; rec++) {
      readrec(w, rec, &r);
      if ((found = holds(r, pos)) || rec == nrec - 1) break;
    }
  }
  if (!found) {
    // Pieces out of order: one pass over all of them. A position in no
    // piece maps through the nearest one, and the gap around it is kept so
    // that its other positions do not pass over the pieces again.
    long best = -1;
    int64_t bestd = INT64_MAX;
    int64_t lo = INT32_MIN, hi = INT32_MAX;
    for (long i = 0; i < nrec; i++) {
      readrec(w, i, &r);
      if (holds(r, pos)) {
        best = i;
        found = true;
        break;
      }
      if (r.start >= r.end) continue;
      int64_t d = r.start > pos ? static_cast<int64_t>(r.start) - pos : static_cast<int64_t>(pos) - r.end + 1;
      if (d < bestd) bestd = d, best = i;
      if (r.start > pos && r.start < hi) hi = r.start;
      if (r.end <= pos && r.end > lo) lo = r.end;
    }
    if (best < 0) best = 0;
    rec = best;
    readrec(w, rec, &r);
    if (!found) {
      w->gaplo = static_cast<int32_t>(lo);
      w->gaphi = static_cast<int32_t>(hi);
      w->gaprec = static_cast<int32_t>(rec);
    }
  }
  *out = r;
  if (found) w->pcfound = r;
  w->pclast = r.start;
  w->pcrec = static_cast<int32_t>(rec * kreclen);
  return found ? 1 : 0;
}

int32_t wwcp2fc(wwstate* w, int32_t pos) {
  if (!complexdoc(w)) return pos;
  wwpiecerec r;
  if (wwpiecefind(w, pos, &r) < 0) return pos;
  int64_t fc = static_cast<int64_t>(pos) - r.start + r.fc;
  return fc < 0 ? 0 : fc > INT32_MAX ? INT32_MAX : static_cast<int32_t>(fc);
}

const unsigned char* wwcpprm(wwstate* w, int32_t pos, int32_t* first, int32_t* limit) {
  if (!complexdoc(w)) return nullptr;
  wwpiecerec r;
  int got = wwpiecefind(w, pos, &r);
  if (got <= 0) {
    // No piece holds the position: its properties hold for it alone.
    if (first) *first = pos;
    if (limit) *limit = pos + 1;
    return nullptr;
  }
  if (first) *first = r.start;
  if (limit) *limit = r.end;
  if (r.chplen <= 0) return nullptr;
  readlist(w, r.chpat, r.chplen, 256, w->pcchp, false);
  return w->pcchp;
}

int32_t wwcpmark(wwstate* w, int32_t pos) {
  if (!complexdoc(w)) return pos;
  if (w->pmlow < 0 || pos < w->pmlow || pos > w->pmhigh) {
    w->pmlow = pos;
    w->pmhigh = w->pmmark = markscan(w, pos, 13, 7, w->pcend);
  }
  return w->pmmark;
}

int wwcppiece(wwstate* w, int32_t pos, unsigned char* buf, int32_t* first, int32_t* limit) {
  std::memset(buf, 0, 4);
  if (!complexdoc(w)) return 0;
  int32_t mark = wwcpmark(w, pos);
  wwpiecerec r;
  if (wwpiecefind(w, mark, &r) <= 0) return 0;
  readlist(w, r.papat, r.paplen, 512, buf, true);
  if (first) *first = r.fc;
  if (limit) *limit = r.fcend;
  return 1;
}

int wwcppiecesep(wwstate* w, int32_t pos, unsigned char* buf, int32_t* first, int32_t* limit) {
  buf[0] = 0;
  if (!complexdoc(w)) return 0;
  if (w->smlow < 0 || pos < w->smlow || pos > w->smhigh) {
    int32_t end = wwcphdrtxbx(w) + wwccphdrtxbx(w);
    if (end < w->pcend) end = w->pcend;
    w->smlow = pos;
    w->smhigh = w->smmark = markscan(w, pos, 12, 12, end);
  }
  wwpiecerec r;
  if (wwpiecefind(w, w->smmark, &r) <= 0) return 0;
  readlist(w, r.sepat, r.seplen, 256, buf, false);
  if (first) *first = r.fc;
  if (limit) *limit = r.fcend;
  return 1;
}
