// The style sheet: the level-6 header and style entries, or the four
// parallel tables of levels 1-5 indexed through the style codes, read once
// into a record per style and a data stream of their parts; the character
// and paragraph properties of a style resolved through its based-on chain.
// Every part is held to the buffers its readers hand in, each level-6 entry
// is left at its stored end, and a chain that comes back to a style already
// on it is cut there.
#include <cstring>

#include "filters/word/ww.h"

namespace {

// The nine words of a style's record, in the index stream.
struct stdrec {
  int32_t key, headat, headlen, nameat, namelen, papxat, papxlen, chpxat, chpxlen;
};
static_assert(sizeof(stdrec) == WW_STDREC, "a style record is nine 32-bit words");

constexpr int kmaxname = WW_STDNAME - 1;  // characters of a name
constexpr int kmaxpapx = 508;             // bytes after a PAPX's length
constexpr int kmaxchpx = 254;             // bytes after a CHPX's length byte
constexpr int kmaxold = 256;              // positions of a level 1-5 sheet

bool getrec(wwstate* w, int index, stdrec* r) {
  std::memset(r, 0, sizeof *r);
  r->key = -1;
  if (w->stdstm < 0 || index < 0 || index >= wwstdcount(w)) return false;
  unsigned char b[WW_STDREC];
  wwseek(w, w->stdstm, static_cast<long>(index) * WW_STDREC);
  wwread(w, w->stdstm, b, WW_STDREC);
  std::memcpy(r, b, WW_STDREC);
  return true;
}

void putrec(wwstate* w, int index, const stdrec& r) {
  unsigned char b[WW_STDREC];
  std::memcpy(b, &r, WW_STDREC);
  wwseek(w, w->stdstm, static_cast<long>(index) * WW_STDREC);
  wwwrite(w, w->stdstm, b, WW_STDREC);
}

void append(wwstate* w, const void* p, int n, int32_t* at, int32_t* len) {
  long end = wwsize(w, w->stddstm);
  *at = static_cast<int32_t>(end);
  *len = n;
  if (n <= 0) return;
  wwseek(w, w->stddstm, end);
  wwwrite(w, w->stddstm, p, n);
}

bool skipodd(wwstate* w, long s, int* r) {
  if ((wwtell(w, WW_MAIN) - s) & 1) {
    wwgetb(w, WW_MAIN);
    if (r) --*r;
    return true;
  }
  return false;
}

// A style's position in the list: level 6 the index, levels 1-5 the
// position of its style code.
int posof(wwstate* w, int s) { return w->ver == 6 ? s : wwstcmap(w, s); }

// Whether a based-on value ends a walk at a level.
bool root(const wwstate* w, int base) { return base == WW_NOSTYLE || base == -1 || (w->ver == 6 && base == WW_NOSTYLE6); }

// The chain of a style from itself to its root, as list positions: at most
// as many as there are styles, and no position twice. Its length; *end gets
// the value that ended it (a root value, or -1 where it was cut).
int chain(wwstate* w, int pos, int* out, int most, int* end) {
  int n = 0, count = wwstdcount(w);
  auto* seen = static_cast<unsigned char*>(wwalloc(w, count + 1));
  *end = -1;
  while (n < most && pos >= 0 && pos < count && !seen[pos]) {
    seen[pos] = 1;
    out[n++] = pos;
    int base;
    wwstdget(w, pos, nullptr, nullptr, &base, nullptr, nullptr, nullptr);
    if (root(w, base)) {
      *end = base;
      break;
    }
    pos = posof(w, base);
  }
  wwfree(w, seen);
  return n;
}

void stdnew(wwstate* w, long s) {
  wwseek(w, WW_MAIN, s);
  int cbstshi = static_cast<int>(wwgetw(w, WW_MAIN));
  int cstd = static_cast<int>(wwgetw(w, WW_MAIN));
  int cbbase = static_cast<int>(wwgetw(w, WW_MAIN));
  wwstshstmnew(w);
  long size = wwsize(w, WW_MAIN);
  long next = s + 2 + cbstshi;
  char name[WW_STDNAME + 2];
  unsigned char papx[kmaxpapx + 4], chpx[kmaxchpx + 2];
  for (int istd = 0; istd < cstd; istd++) {
    // Entries said to lie past the input are not there.
    if (next >= size) break;
    wwseek(w, WW_MAIN, next);
    skipodd(w, s, nullptr);
    int cbstd = static_cast<int>(wwgetw(w, WW_MAIN));
    long p = wwtell(w, WW_MAIN);
    next = p + cbstd;
    if (cbstd == 0) {
      wwstdput(w, -1, -1, -1, nullptr, nullptr, nullptr);
      continue;
    }
    int r = cbstd;
    unsigned w1 = wwgetw(w, WW_MAIN), w2 = wwgetw(w, WW_MAIN), w3 = wwgetw(w, WW_MAIN);
    int sti = static_cast<int>(w1 & 0xFFF), sgc = static_cast<int>(w2 & 0xF), base = static_cast<int>(w2 >> 4);
    int cupx = static_cast<int>(w3 & 0xF);
    (void)cupx;  // every entry is left at its stored end, whatever UPXs follow
    wwseek(w, WW_MAIN, p + cbbase);
    r -= cbbase;
    skipodd(w, s, &r);
    int l = wwgetb(w, WW_MAIN);
    r--;
    if (l > 0) {
      // A name longer than the buffers is cut; its zero is read all the same.
      unsigned char raw[257] = {};
      wwread(w, WW_MAIN, raw, l + 1);
      r -= l + 1;
      int n = l < kmaxname ? l : kmaxname;
      std::memcpy(name, raw, n);
      name[n] = 0;
    } else {
      std::strcpy(name, "UNNAMED");
    }
    bool haspapx = false, haschpx = false;
    auto upxchpx = [&]() {
      skipodd(w, s, &r);
      int cb = static_cast<int>(wwgetw(w, WW_MAIN));
      r -= 2;
      if (cb != 0 && cb <= r) {
        int n = cb < kmaxchpx ? cb : kmaxchpx;
        chpx[0] = static_cast<unsigned char>(n);
        wwread(w, WW_MAIN, chpx + 1, n);
        haschpx = true;
        r -= cb;
      }
    };
    if (sgc == 1) {
      skipodd(w, s, &r);
      int cb = static_cast<int>(wwgetw(w, WW_MAIN));
      r -= 2;
      if (cb != 0) {
        int n = cb < kmaxpapx ? cb : kmaxpapx;
        wwputw(w, papx, static_cast<unsigned>(n));
        wwread(w, WW_MAIN, papx + 2, n);
        if (n < cb) wwseek(w, WW_MAIN, wwtell(w, WW_MAIN) + cb - n);
        haspapx = true;
        r -= cb;
      }
      upxchpx();
    } else if (sgc == 2) {
      upxchpx();
      if (istd == 10) haschpx = false;
    }
    if (wwhdrf(w, WWH_COMPLEX) && istd == 0) haspapx = false;
    wwstdput(w, sti, sgc, base, name, haspapx ? papx : nullptr, haschpx ? chpx : nullptr);
  }
}

void stdold(wwstate* w, long s) {
  wwseek(w, WW_MAIN, s);
  int n = wwgetsw(w, WW_MAIN);
  // Codes are 0-255: a larger count of standard codes means them all.
  w->cstcstd = n < 0 ? 0 : n > kmaxold ? kmaxold : n;
  wwstshstmnew(w);
  wwseek(w, WW_MAIN, s + 2);
  long cbname = wwgetsw(w, WW_MAIN);
  wwseek(w, WW_MAIN, s + 2 + cbname);
  long cbchpx = wwgetsw(w, WW_MAIN);
  wwseek(w, WW_MAIN, s + 2 + cbname + cbchpx);
  long cbpapx = wwgetsw(w, WW_MAIN);
  long nameat = s + 4, chpxat = s + 2 + cbname + 2, papxat = s + 2 + cbname + cbchpx + 2;
  long baseat = s + 2 + cbname + cbchpx + cbpapx + 2;
  long size = wwsize(w, WW_MAIN);
  char name[WW_STDNAME + 2];
  unsigned char chpx[kmaxchpx + 2], papx[kmaxpapx + 4], entry[264];
  for (int i = 0; i < kmaxold && nameat < s + 2 + cbname && nameat < size; i++) {
    int stc = wwistdstc(w, i);
    wwseek(w, WW_MAIN, nameat);
    int l = wwgetb(w, WW_MAIN);
    if (l <= 0 || l == 255) {
      std::strcpy(name, wwstdname(w, stc));
      nameat += 1;
    } else {
      std::memset(entry, 0, sizeof entry);
      wwread(w, WW_MAIN, entry, l);
      int k = l < kmaxname ? l : kmaxname;
      std::memcpy(name, entry, k);
      name[k] = 0;
      nameat += l + 1;
    }
    wwseek(w, WW_MAIN, chpxat);
    int k = wwgetb(w, WW_MAIN);
    const unsigned char* c;
    if (k <= 0 || k == 255) {
      c = wwstdchpx(w, stc);
      chpxat += 1;
    } else {
      int m = k < kmaxchpx ? k : kmaxchpx;
      chpx[0] = static_cast<unsigned char>(m);
      wwread(w, WW_MAIN, chpx + 1, m);
      c = chpx;
      chpxat += k + 1;
    }
    wwseek(w, WW_MAIN, papxat);
    int b = wwgetb(w, WW_MAIN);
    const unsigned char* pp;
    if (b <= 0 || b == 255) {
      pp = wwstdpapx(w, stc, papx);
      papxat += 1;
    } else {
      std::memset(entry, 0, sizeof entry);
      wwread(w, WW_MAIN, entry, b);
      if (b < 8) {
        wwputw(w, papx, 2);
        wwputw(w, papx + 2, entry[0]);
      } else {
        wwputw(w, papx, static_cast<unsigned>(b - 5));
        wwputw(w, papx + 2, entry[0]);
        std::memcpy(papx + 4, entry + 7, b - 7);
      }
      pp = papx;
      papxat += b + 1;
    }
    wwseek(w, WW_MAIN, baseat + 1);
    int base = wwgetb(w, WW_MAIN);
    baseat += 2;
    wwstdput(w, stc, 1, base < 0 ? WW_NOSTYLE : base, name, wwbufw(w, pp) ? pp : nullptr, c[0] ? c : nullptr);
  }
}

}  // namespace

void wwstshstmnew(wwstate* w) {
  if (w->stdstm < 0) w->stdstm = wwtmpnew(w, 2000);
  if (w->stddstm < 0) w->stddstm = wwtmpnew(w, 5000);
  if (w->stdstm < 0 || w->stddstm < 0) wwfatal(w, RDR_NOMEM);
}

void wwstshstmfree(wwstate* w) {
  if (w->stdstm >= 0) wwtmpdel(w, w->stdstm);
  if (w->stddstm >= 0) wwtmpdel(w, w->stddstm);
  w->stdstm = w->stddstm = -1;
}

void wwstshfree(wwstate* w) { wwstshstmfree(w); }

void wwstshnew(wwstate* w) {
  long back = wwtell(w, WW_MAIN);
  stdnew(w, wwfcstsh(w));
  wwseek(w, WW_MAIN, back);
}

void wwstshold(wwstate* w) {
  long back = wwtell(w, WW_MAIN);
  stdold(w, wwfcstsh(w));
  wwseek(w, WW_MAIN, back);
}

void wwstshread(wwstate* w) {
  // A header without a style sheet gives no style: every paragraph has the
  // defaults.
  if (wwlcbstsh(w) <= 0) return;
  if (w->ver == 6)
    wwstshnew(w);
  else if (w->ver >= 1 && w->ver <= 5)
    wwstshold(w);
}

void wwstdput(wwstate* w, int sti, int sgc, int base, const char* name, const unsigned char* papx,
              const unsigned char* chpx) {
  stdrec r{};
  r.key = -1;
  if (!name) {
    long end = wwsize(w, w->stddstm);
    r.headat = r.nameat = r.papxat = r.chpxat = static_cast<int32_t>(end);
  } else {
    int32_t head[3] = {sti, sgc, base};
    append(w, head, 12, &r.headat, &r.headlen);
    int n = static_cast<int>(std::strlen(name));
    if (n > kmaxname) n = kmaxname;
    char buf[WW_STDNAME];
    std::memcpy(buf, name, n);
    buf[n] = 0;
    append(w, buf, n + 1, &r.nameat, &r.namelen);
    int pl = papx ? static_cast<int>(wwbufw(w, papx)) : 0;
    if (pl > kmaxpapx) pl = kmaxpapx;
    if (papx) {
      unsigned char b[kmaxpapx + 4];
      std::memcpy(b, papx, pl + 2);
      wwputw(w, b, static_cast<unsigned>(pl));
      append(w, b, pl + 2, &r.papxat, &r.papxlen);
    } else {
      append(w, nullptr, 0, &r.papxat, &r.papxlen);
    }
    int cl = chpx ? (chpx[0] < kmaxchpx ? chpx[0] : kmaxchpx) : 0;
    if (chpx) {
      unsigned char b[kmaxchpx + 2];
      std::memcpy(b, chpx, cl + 1);
      b[0] = static_cast<unsigned char>(cl);
      append(w, b, cl + 1, &r.chpxat, &r.chpxlen);
    } else {
      append(w, nullptr, 0, &r.chpxat, &r.chpxlen);
    }
  }
  putrec(w, wwstdcount(w), r);
}

void wwstdget(wwstate* w, int index, int* sti, int* sgc, int* base, char* name, unsigned char* papx,
              unsigned char* chpx) {
  stdrec r;
  getrec(w, index, &r);
  if (sti || sgc || base) {
    int32_t head[3] = {-1, -1, -1};
    if (r.headlen > 0) {
      wwseek(w, w->stddstm, r.headat);
      wwread(w, w->stddstm, head, 12);
    }
    if (sti) *sti = head[0];
    if (sgc) *sgc = head[1];
    if (base) *base = head[2];
  }
  if (name) {
    if (r.namelen <= 0) {
      std::strcpy(name, "(none)");
    } else {
      int n = r.namelen < WW_STDNAME ? r.namelen : WW_STDNAME;
      wwseek(w, w->stddstm, r.nameat);
      wwread(w, w->stddstm, name, n);
      name[n - 1] = 0;
    }
  }
  if (papx) {
    std::memset(papx, 0, 512);
    if (r.papxlen > 0) {
      wwseek(w, w->stddstm, r.papxat);
      wwread(w, w->stddstm, papx, r.papxlen < kmaxpapx + 2 ? r.papxlen : kmaxpapx + 2);
    }
  }
  if (chpx) {
    std::memset(chpx, 0, 256);
    if (r.chpxlen > 0) {
      wwseek(w, w->stddstm, r.chpxat);
      wwread(w, w->stddstm, chpx, r.chpxlen < kmaxchpx + 1 ? r.chpxlen : kmaxchpx + 1);
    }
  }
}

int wwstdcount(wwstate* w) {
  return w->stdstm < 0 ? 0 : static_cast<int>(static_cast<unsigned long>(wwsize(w, w->stdstm)) / WW_STDREC);
}
int wwstshcount(wwstate* w) { return wwstdcount(w); }
int wwstylecount(wwstate* w) { return wwstdcount(w); }

void wwstdsetkey(wwstate* w, int index, int key) {
  stdrec r;
  if (!getrec(w, index, &r)) return;
  r.key = key;
  putrec(w, index, r);
}

int wwstdkey(wwstate* w, int index) {
  stdrec r;
  getrec(w, index, &r);
  return r.key;
}

int wwistdstc(wwstate* w, int i) {
  int n = w->cstcstd < 0 ? 0 : w->cstcstd;
  if (i < n) return 256 - n + i;
  if (i == n) return 0;
  return i - n;
}

int wwstcmap(wwstate* w, int stc) {
  int n = w->cstcstd < 0 ? 0 : w->cstcstd;
  if (stc >= 256 - n && stc <= 255) return stc + n - 256;
  if (stc == 0) return n;
  if (stc >= 1 && stc <= 221) return n + stc;
  return 0;
}

void wwstylepap(wwstate* w, int s, wwpap* p) {
  if ((w->ver == 6 && s == WW_NOSTYLE6) || (w->ver != 6 && s == WW_NOSTYLE)) {
    wwpapinit(w, p);
    return;
  }
  int pos = posof(w, s);
  int count = wwstdcount(w);
  auto* links = static_cast<int*>(wwalloc(w, static_cast<long>(count + 1) * sizeof(int)));
  int end;
  int n = chain(w, pos, links, count, &end);
  // A level-6 chain that ends at "no style" starts from the defaults.
  if (n > 0 && w->ver == 6 && end == WW_NOSTYLE6) wwpapinit(w, p);
  for (int i = n; i-- > 0;) {
    wwstdget(w, links[i], nullptr, nullptr, nullptr, nullptr, w->stpapx, nullptr);
    wwpapxapply(w, w->stpapx, p);
    if (w->ver == 6 && links[i] == 0) {
      p->dxaRight = p->dxaRightset = 0;
      p->dxaLeft = p->dxaLeftset = 0;
    }
  }
  wwfree(w, links);
}

void wwstylechp(wwstate* w, int s, wwchp* c) {
  wwchpinit(w, c);
  bool none = (w->ver == 6 && s == WW_NOSTYLE6) || (w->ver != 6 && s == WW_NOSTYLE);
  auto rootchp = [&] {
    wwchpinit(w, c);
    c->v[2 * WC_SIZE - 2] = 20;
    wwchpset(c, WC_FONT, 0);
  };
  if (none) {
    rootchp();
    return;
  }
  int count = wwstdcount(w);
  auto* links = static_cast<int*>(wwalloc(w, static_cast<long>(count + 1) * sizeof(int)));
  int end;
  int n = chain(w, posof(w, s), links, count, &end);
  if (n > 0 && w->ver == 6 && end == WW_NOSTYLE6) rootchp();
  unsigned char chpx[256];
  for (int i = n; i-- > 0;) {
    wwstdget(w, links[i], nullptr, nullptr, nullptr, nullptr, nullptr, chpx);
    wwchpxapply(w, chpx, c, -1, -1);
  }
  wwfree(w, links);
}

void wwstylechpx(wwstate* w, int s, wwchp* c, int init) {
  if (w->ver != 6) {
    if (init) {
      wwchpinit(w, c);
      c->v[2 * WC_SIZE - 2] = 20;
    }
    return;
  }
  auto rootchp = [&] {
    if (init) {
      wwchpinit(w, c);
      c->v[2 * WC_SIZE - 2] = 24;
    }
  };
  if (s == WW_NOSTYLE6) {
    rootchp();
    return;
  }
  unsigned char chpx[256];
  int count = wwstdcount(w);
  auto* links = static_cast<int*>(wwalloc(w, static_cast<long>(count + 1) * sizeof(int)));
  int end;
  int n = chain(w, s, links, count, &end);
  if (n > 0 && end == WW_NOSTYLE6) rootchp();
  for (int i = n; i-- > 0;) {
    wwstdget(w, links[i], nullptr, nullptr, nullptr, nullptr, nullptr, chpx);
    wwchpxapply(w, chpx, c, -1, -1);
  }
  wwfree(w, links);
}
