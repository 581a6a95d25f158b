// Character properties: the character runs of the document loaded from its
// bin table and property pages into two work streams, the old property
// layouts of levels 1-5 decoded, and the properties in force at a position
// built from the defaults, the styles, the run and the piece, with caches
// so that a run of ordinary text costs one comparison per character.
#include <cstring>

#include "filters/word/ww.h"

namespace {

constexpr int kreclen = static_cast<int>(sizeof(wwchprunrec));

int pagesize(const wwstate* w) { return w->ver == 3 ? 128 : 512; }

void toggle(wwchp* c, int p) { wwchpset(c, p, wwchpv(c, p) == 0 ? 1 : 0); }

// Spacing from a count q of quarter points in six bits (57-63 negative).
int32_t spacing(int q) { return q <= 56 ? 5 * q : 5 * q - 320; }

void readrec(wwstate* w, long rec, wwchprunrec* r) {
  wwseek(w, w->chprunstm, rec * kreclen);
  unsigned char b[kreclen];
  wwread(w, w->chprunstm, b, kreclen);
  std::memcpy(r, b, kreclen);
}

bool holds(const wwchprunrec& r, int32_t fc) { return r.first <= fc && fc < r.limit; }

void old345(wwstate* w, const unsigned char* b, int n, wwchp* c) {
  static const int kbits[8] = {WC_BOLD, WC_ITALIC, WC_STRIKE, WC_OUTLINE, WC_SHADOW, WC_SMALLCAPS, WC_CAPS, WC_HIDDEN};
  if (n >= 1)
    for (int i = 0; i < 8; i++)
      if (b[0] & (0x80 >> i)) toggle(c, kbits[i]);
  if (n < 2) return;
  int b1 = b[1];
  if ((b1 & 0x80) && w->ver != 3) toggle(c, WC_RMARK);
  if (b1 & 0x40) toggle(c, WC_SPECIAL);
  if (n >= 4 && (b1 & 0x10)) wwchpset(c, WC_FONT, static_cast<int32_t>(wwbufw(w, b + 2)));
  if (n >= 5 && (b1 & 0x08)) {
    wwchpset(c, WC_SIZE, b[4]);
    if (w->ver == 5 && n >= 10 && !(b1 & 0x40)) wwchpset(c, WC_SIZE, wwbufsw(w, b + 8));
  }
  if (n >= 6 && (b1 & 0x02)) wwchpset(c, WC_POS, b[5]);
  if (n >= 7 && (b1 & 0x01)) wwchpset(c, WC_SPACING, spacing((b[6] >> 2) & 0x3F));
  if (n >= 8 && (b1 & 0x20) && w->ver != 3) wwchpset(c, WC_COLOR, b[7] >> 4);
  if (n >= 8 && (b1 & 0x04)) wwchpset(c, WC_ULINE, (b[7] >> 1) & 7);
  if (n >= 12 && (b1 & 0x40)) wwchpset(c, WC_PICLOC, wwbuf3b(w, b + 8));
}

void old2(wwstate* w, const unsigned char* b, int n, wwchp* c) {
  static const int kb0[8] = {WC_BOLD, WC_ITALIC, WC_DELETED, WC_OUTLINE, WC_FLDVANISH, WC_SMALLCAPS, WC_CAPS, WC_HIDDEN};
  if (n >= 1)
    for (int i = 0; i < 8; i++)
      if (b[0] & (1 << i)) toggle(c, kb0[i]);
  if (n >= 2) {
    if (b[1] & 0x01) toggle(c, WC_RMARK);
    if (b[1] & 0x02) toggle(c, WC_SPECIAL);
    if (b[1] & 0x04) toggle(c, WC_STRIKE);
    if (b[1] & 0x08) toggle(c, WC_EMBED);
    if (b[1] & 0x40) toggle(c, WC_RTL);
  }
  int b2 = n >= 3 ? b[2] : 0;
  if (n >= 5 && (b2 & 0x02)) wwchpset(c, WC_FONT, n == 5 ? b[4] : static_cast<int32_t>(wwbufw(w, b + 4)));
  if (n >= 7 && (b2 & 0x04)) wwchpset(c, WC_SIZE, n == 7 ? b[6] : static_cast<int32_t>(wwbufw(w, b + 6)));
  if (n >= 9 && (b2 & 0x20)) wwchpset(c, WC_SPACING, spacing(b[8] & 0x3F));
  if (n >= 10 && (b2 & 0x01)) wwchpset(c, WC_COLOR, b[9] & 0x1F);
  if (n >= 10 && (b2 & 0x08)) wwchpset(c, WC_ULINE, b[9] >> 5);
  if (n >= 11 && (b2 & 0x10)) wwchpset(c, WC_POS, static_cast<signed char>(b[10]));
  if (n >= 13 && (b2 & 0x40)) wwchpset(c, WC_LANG, n == 13 ? b[12] : static_cast<int32_t>(wwbufw(w, b + 12)));
  if (n >= 15)
    wwchpset(c, WC_PICLOC, n == 15 ? b[14] : n == 16 ? static_cast<int32_t>(wwbufw(w, b + 14)) : wwbuf3b(w, b + 14));
}

void old1(wwstate* w, const unsigned char* b, int n, wwchp* c) {
  static const int kb0[8] = {WC_BOLD, WC_ITALIC, WC_STRIKE, WC_OUTLINE, WC_FLDVANISH, WC_SMALLCAPS, WC_CAPS, WC_HIDDEN};
  if (n >= 1)
    for (int i = 0; i < 8; i++)
      if (b[0] & (1 << i)) toggle(c, kb0[i]);
  if (n < 2) return;
  int b1 = b[1];
  if (b1 & 0x01) toggle(c, WC_RMARK);
  if (b1 & 0x02) toggle(c, WC_SPECIAL);
  if (n >= 3 && (b1 & 0x08)) wwchpset(c, WC_FONT, n == 3 ? b[2] : static_cast<int32_t>(wwbufw(w, b + 2)));
  if (n >= 5 && (b1 & 0x10)) wwchpset(c, WC_SIZE, b[4]);
  if (n >= 6 && (b1 & 0x40)) wwchpset(c, WC_POS, static_cast<signed char>(b[5]));
  if (n >= 7 && (b1 & 0x80)) wwchpset(c, WC_SPACING, spacing(b[6] & 0x3F));
  if (n >= 8 && (b1 & 0x04)) wwchpset(c, WC_COLOR, b[7] & 0x0F);
  if (n >= 8 && (b1 & 0x20)) wwchpset(c, WC_ULINE, (b[7] >> 4) & 7);
  if (n >= 9) wwchpset(c, WC_PICLOC, n == 9 ? b[8] : n == 10 ? static_cast<int32_t>(wwbufw(w, b + 8)) : wwbuf3b(w, b + 8));
}

}  // namespace

void wwchpinit(wwstate* w, wwchp* c) {
  std::memset(c, 0, sizeof *c);
  c->v[2 * WC_SIZE - 2] = 20;
  c->v[2 * WC_LANG - 2] = w->hdr ? wwlid(w) : 0;
  c->v[2 * WC_CSTYLE - 2] = 10;
}

void wwchpstmnew(wwstate* w) {
  if (w->chprunstm < 0) w->chprunstm = wwtmpnew(w, 10240);
  if (w->chpxstm < 0) w->chpxstm = wwtmpnew(w, 16384);
  if (w->chprunstm < 0 || w->chpxstm < 0) wwfatal(w, RDR_NOMEM);
}

void wwchpstmfree(wwstate* w) {
  wwtmpdel(w, w->chprunstm);
  wwtmpdel(w, w->chpxstm);
  w->chprunstm = w->chpxstm = -1;
}

void wwchpbinfree(wwstate* w) { wwchpstmfree(w); }

void wwchprunput(wwstate* w, int32_t first, int32_t limit, const unsigned char* chpx) {
  int count = chpx ? chpx[0] : 0;
  wwchprunrec r{first, limit, static_cast<int32_t>(wwsize(w, w->chpxstm)), count + 1};
  wwseek(w, w->chpxstm, r.offset);
  unsigned char zero = 0;
  wwwrite(w, w->chpxstm, chpx ? chpx : &zero, count + 1);
  unsigned char b[kreclen];
  std::memcpy(b, &r, kreclen);
  wwseek(w, w->chprunstm, wwsize(w, w->chprunstm));
  wwwrite(w, w->chprunstm, b, kreclen);
}

int32_t wwchpfkp(wwstate* w, long at) {
  int ps = pagesize(w);
  unsigned char page[512] = {};
  wwseek(w, WW_MAIN, at);
  wwread(w, WW_MAIN, page, ps);
  int crun = page[ps - 1];
  // A run count past what a page can hold stops at the page's capacity:
  // four bytes of position and one offset byte per run, one more position.
  if (crun > (ps - 5) / 5) crun = (ps - 5) / 5;
  for (int i = 0; i < crun; i++) {
    int32_t first = wwbufl(w, page + 4 * i);
    int32_t limit = wwbufl(w, page + 4 * i + 4);
    int off = page[4 * crun + 4 + i];
    if (w->ver != 3) off *= 2;
    unsigned char chpx[256] = {};
    if (off > 0 && off < ps - 1) {
      int c = page[off];
      if (off + 1 + c > ps) c = ps - off - 1;
      chpx[0] = static_cast<unsigned char>(c);
      std::memcpy(chpx + 1, page + off + 1, c);
    }
    if (first != limit) wwchprunput(w, first, limit, chpx);
  }
  return wwbufl(w, page + 4 * crun);
}

void wwbinwalk(wwstate* w, int32_t fcbte, int32_t lcbbte, int32_t (*fkp)(wwstate*, long)) {
  long back = wwtell(w, WW_MAIN);
  long n = (lcbbte - 4) / 6;
  // An empty bin table gives no run: the defaults stand over the whole text.
  if (lcbbte <= 0 || n <= 0) {
    wwseek(w, WW_MAIN, back);
    return;
  }
  int ps = pagesize(w);
  long insize = wwsize(w, WW_MAIN);
  bool complex = wwhdrf(w, WWH_COMPLEX) != 0;
  long p = 0;
  int32_t last = 0;
  for (long i = 0;; i++) {
    if (i < n) {
      wwseek(w, WW_MAIN, fcbte + 4 * n + 4 + 2 * i);
      p = static_cast<long>(wwgetw(w, WW_MAIN));
    } else {
      // Pages the table does not list: a plain file's follow on; a complex
      // file's is the one that starts where the last ended.
      bool found = false;
      for (p++; (p + 1) * ps <= insize; p++) {
        if (!complex) {
          found = true;
          break;
        }
        wwseek(w, WW_MAIN, p * ps);
        if (wwgetl(w, WW_MAIN) == last) {
          found = true;
          break;
        }
      }
      if (!found) break;
    }
    // A page past the end of the input ends the loading.
    if (p * ps >= insize) break;
    last = fkp(w, p * ps);
    if (!(last < wwfcmac(w) || complex)) break;
  }
  wwseek(w, WW_MAIN, back);
}

void wwchpbinread(wwstate* w) {
  wwchpstmnew(w);
  wwbinwalk(w, wwfcbtechp(w), wwlcbbtechp(w), wwchpfkp);
}

int wwchprun(wwstate* w, int32_t fc, int32_t* first, int32_t* limit, unsigned char* chpx) {
  if (chpx) std::memset(chpx, 0, 255);
  long nrec = w->chprunstm < 0 ? 0 : wwsize(w, w->chprunstm) / kreclen;
  if (nrec <= 0) {
    if (first) *first = 0;
    if (limit) *limit = 0;
    return 0;
  }
  if (fc == wwfcmin(w) - wwhdrf(w, WWH_CBCH)) fc = wwfcmin(w);
  long rec = w->lastrec / kreclen - 1;
  if (rec < 0) rec = 0;
  if (rec >= nrec) rec = nrec - 1;
  wwchprunrec r{};
  if (w->lastfirst > fc) {
    for (;; rec--) {
      readrec(w, rec, &r);
      if (holds(r, fc) || rec == 0) break;
    }
  } else {
    for (;; rec++) {
      readrec(w, rec, &r);
      if (holds(r, fc) || rec == nrec - 1) break;
    }
  }
  if (first) *first = r.first;
  if (limit) *limit = r.limit;
  if (chpx) {
    int len = r.length < 1 ? 1 : r.length > 256 ? 256 : r.length;
    wwseek(w, w->chpxstm, r.offset);
    wwread(w, w->chpxstm, chpx, len);
  }
  w->lastfirst = r.first;
  w->lastrec = static_cast<int32_t>(rec * kreclen);
  return 1;
}

void wwchpxat(wwstate* w, int32_t pos, unsigned char* chpx, int32_t* first, int32_t* limit) {
  wwchprun(w, wwcp2fc(w, pos), first, limit, chpx);
}

void wwchpxold(wwstate* w, const unsigned char* chpx, wwchp* c) {
  if (!chpx) return;
  // The decoders read multi-byte fields whole: what lies past the count
  // reads as zero.
  unsigned char b[260] = {};
  int n = chpx[0];
  std::memcpy(b, chpx + 1, n);
  if (w->ver == 1)
    old1(w, b, n, c);
  else if (w->ver == 2)
    old2(w, b, n, c);
  else
    old345(w, b, n, c);
}

void wwchpxapply(wwstate* w, const unsigned char* chpx, wwchp* c, int istd, int cistd) {
  if (w->ver >= 1 && w->ver <= 5)
    wwchpxold(w, chpx, c);
  else if (w->ver == 6)
    wwchpxsprm(w, chpx, c, istd, cistd);
}

int wwchpistdat(wwstate* w, int32_t pos) {
  if (w->ver != 6) return -1;
  unsigned char chpx[256];
  wwchpxat(w, pos, chpx, nullptr, nullptr);
  wwchp c;
  wwchpinit(w, &c);
  wwchpxapply(w, chpx, &c, -1, -1);
  return wwchpv(&c, WC_CSTYLE);
}

void wwchpget(wwstate* w, int32_t pos, wwchp* out) {
  int istd = wwistdat(w, pos);
  int cistd;
  bool fromrun = true;
  if (istd != w->chpistd) {
    wwchpinit(w, out);
    wwstylechp(w, istd, out);
    w->chpstyle = *out;
    w->chpistd = istd;
  } else {
    int32_t fc = wwcp2fc(w, pos);
    if (fc < w->runfirst || fc >= w->runlimit) {
      *out = w->chpstyle;
    } else {
      if (pos >= w->finfirst && pos < w->finlimit) {
        *out = w->chpfinal;
        return;
      }
      *out = w->chprun;
      fromrun = false;
    }
  }
  if (fromrun) {
    cistd = wwchpistdat(w, pos);
    wwstylechpx(w, cistd, out, 0);
    unsigned char chpx[256];
    int32_t first = -1, limit = -1;
    if (!wwchprun(w, wwcp2fc(w, pos), &first, &limit, chpx)) {
      // No run is stored: the properties hold over the whole text.
      first = INT32_MIN;
      limit = INT32_MAX;
    }
    wwchpxapply(w, chpx, out, -1, -1);
    w->chprun = *out;
    w->runfirst = first;
    w->runlimit = limit;
    w->finfirst = first;
    w->finlimit = limit;
  } else {
    cistd = wwchpistdat(w, pos);
  }
  // The piece's list, keyed by the piece's range of text positions so that
  // one piece's properties are never taken for another's.
  int32_t pfirst = w->runfirst, plimit = w->runlimit;
  const unsigned char* prm = wwcpprm(w, pos, &pfirst, &plimit);
  wwchpxsprm(w, prm, out, istd, cistd);
  w->chpfinal = *out;
  w->finfirst = pfirst;
  w->finlimit = plimit;
}
