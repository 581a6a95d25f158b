// Paragraph bins: the paragraph runs of the document loaded from its bin
// table and property pages into two work streams as stored paragraph
// records, and the paragraph properties at a position built from the
// defaults, the style, the run and the piece, each layer cached; the style
// index at a position and the end of a paragraph.
#include <cstring>

#include "filters/word/ww.h"

namespace {

constexpr int kreclen = 16;

int pagesize(const wwstate* w) { return w->ver == 3 ? 128 : 512; }

void readrec(wwstate* w, long rec, int32_t r[4]) {
  unsigned char b[kreclen];
  wwseek(w, w->paprunstm, rec * kreclen);
  wwread(w, w->paprunstm, b, kreclen);
  std::memcpy(r, b, kreclen);
}

bool complexpart(wwstate* w) { return wwhdrf(w, WWH_COMPLEX) && wwlcbclx(w) != 0; }

int markof(const wwstate* w) { return w->ver <= 2 ? 10 : 13; }

}  // namespace

void wwpapstmnew(wwstate* w) {
  if (w->paprunstm < 0) w->paprunstm = wwtmpnew(w, 7000);
  if (w->papxstm < 0) w->papxstm = wwtmpnew(w, 15000);
  if (w->paprunstm < 0 || w->papxstm < 0) wwfatal(w, RDR_NOMEM);
}

void wwpapstmfree(wwstate* w) {
  wwtmpdel(w, w->paprunstm);
  wwtmpdel(w, w->papxstm);
  w->paprunstm = w->papxstm = -1;
}

void wwpapbinfree(wwstate* w) { wwpapstmfree(w); }

void wwpaprunput(wwstate* w, int32_t first, int32_t limit, const unsigned char* papx) {
  unsigned char rec[512 + 4];
  int l = static_cast<int>(wwbufw(w, papx));
  if (l > 510) l = 510;
  std::memcpy(rec, papx, l + 2);
  if (w->ver == 6 && l >= 2) {
    unsigned istd = wwbufw(w, rec + 2);
    if (istd != 4095 && static_cast<int>(istd) >= wwstylecount(w)) wwputw(w, rec + 2, 0);
  }
  int32_t r[4] = {wwsize(w, w->paprunstm) == 0 ? 0 : first, limit, static_cast<int32_t>(wwsize(w, w->papxstm)), l + 2};
  wwseek(w, w->papxstm, r[2]);
  wwwrite(w, w->papxstm, rec, l + 2);
  unsigned char b[kreclen];
  std::memcpy(b, r, kreclen);
  wwseek(w, w->paprunstm, wwsize(w, w->paprunstm));
  wwwrite(w, w->paprunstm, b, kreclen);
}

int32_t wwpapfkp(wwstate* w, long at) {
  int ps = pagesize(w);
  unsigned char page[512] = {};
  wwseek(w, WW_MAIN, at);
  wwread(w, WW_MAIN, page, ps);
  int crun = page[ps - 1];
  int width = w->ver == 6 ? 7 : 1;
  // A run count past what a page holds stops at its capacity.
  int most = (ps - 5) / (4 + width);
  if (crun > most) crun = most;
  int d = w->ver == 3 ? 2 : 6;
  for (int i = 0; i < crun; i++) {
    int32_t first = wwbufl(w, page + 4 * i), limit = wwbufl(w, page + 4 * i + 4);
    int b = page[4 * (crun + 1) + width * i];
    int off = w->ver == 3 ? b : 2 * b;
    unsigned char papx[512 + 4] = {};
    if (b != 0 && off < ps - 1) {
      int k = page[off];
      int count = w->ver == 3 ? k : 2 * k;
      if (off + 1 + count > ps) count = ps - off - 1;
      const unsigned char* body = page + off + 1;
      if (w->ver == 6) {
        wwputw(w, papx, static_cast<unsigned>(count));
        std::memcpy(papx + 2, body, count);
      } else {
        int e = count + 1 - d;
        if (e > 2) {
          wwputw(w, papx, static_cast<unsigned>(e));
          wwputw(w, papx + 2, body[0]);
          int n = e - 2;
          if (1 + d + n > count) n = count - 1 - d;
          if (n > 0) std::memcpy(papx + 4, body + 1 + d, n);
        }
      }
    }
    if (first != limit) wwpaprunput(w, first, limit, papx);
  }
  return wwbufl(w, page + 4 * crun);
}

void wwpapbinread(wwstate* w) {
  wwpapstmnew(w);
  wwbinwalk(w, wwfcbtepap(w), wwlcbbtepap(w), wwpapfkp);
}

int wwpaprun(wwstate* w, int32_t fc, int32_t* first, int32_t* limit, unsigned char* buf) {
  if (buf) std::memset(buf, 0, 510);
  long nrec = w->paprunstm < 0 ? 0 : wwsize(w, w->paprunstm) / kreclen;
  if (nrec <= 0) {
    if (first) *first = INT32_MIN;
    if (limit) *limit = INT32_MAX;
    return 0;
  }
  if (fc == wwfcmin(w) - wwhdrf(w, WWH_CBCH)) fc = wwfcmin(w);
  long rec = w->paplastrec / kreclen - 1;
  if (rec < 0) rec = 0;
  if (rec >= nrec) rec = nrec - 1;
  int32_t r[4] = {};
  if (fc < w->paplastfirst) {
    for (;; rec--) {
      readrec(w, rec, r);
      if ((r[0] <= fc && fc < r[1]) || rec == 0) break;
    }
  } else {
    for (;; rec++) {
      readrec(w, rec, r);
      if ((r[0] <= fc && fc < r[1]) || rec == nrec - 1) break;
    }
  }
  if (first) *first = r[0];
  if (limit) *limit = r[1];
  if (buf) {
    int len = r[3] < 0 ? 0 : r[3] > 512 ? 512 : r[3];
    wwseek(w, w->papxstm, r[2]);
    wwread(w, w->papxstm, buf, len);
  }
  w->paplastfirst = r[0];
  w->paplastrec = static_cast<int32_t>(rec * kreclen);
  return 1;
}

void wwpapfcpara(wwstate* w, int32_t pos, unsigned char* buf, int32_t* first, int32_t* limit) {
  int32_t at = complexpart(w) ? wwcpmark(w, pos) : pos;
  wwpaprun(w, wwcp2fc(w, at), first, limit, buf);
}

int wwistdat(wwstate* w, int32_t pos) {
  // The style index is the run's at the position's file offset, in a
  // complex file as in any other: the run's range keys the cache in both.
  int32_t fc = wwcp2fc(w, pos);
  if (fc >= w->istdfirst && fc < w->istdlimit) return w->istdval;
  int32_t first, limit;
  wwpaprun(w, fc, &first, &limit, w->papxbuf);
  wwpapinit(w, &w->papscratch);
  wwpapxapply(w, w->papxbuf, &w->papscratch);
  w->istdfirst = first;
  w->istdlimit = limit;
  w->istdval = w->papscratch.istd;
  return w->papscratch.istd;
}

void wwpapget(wwstate* w, int32_t pos, wwpap* out) {
  int s = wwistdat(w, pos);
  int32_t fc = wwcp2fc(w, complexpart(w) ? wwcpmark(w, pos) : pos);
  unsigned char buf[512];
  int32_t first = -1, limit = -1;
  bool fresh = true;
  if (s != w->papistd) {
    wwpapinit(w, out);
    wwstylepap(w, s, out);
    w->papstyle = *out;
    w->papistd = s;
  } else if (fc < w->paprunfirst || fc >= w->paprunlimit) {
    *out = w->papstyle;
  } else {
    // The final cache is keyed by the file position, so that one piece's
    // properties are never reused for another's. In a complex file the
    // paragraph's properties sit at its mark: the key is the mark's.
    if (fc >= w->papfinfirst && fc < w->papfinlimit) {
      *out = w->papfinal;
      return;
    }
    *out = w->paprun;
    fresh = false;
    first = w->paprunfirst;
    limit = w->paprunlimit;
  }
  if (fresh) {
    wwpapfcpara(w, pos, buf, &first, &limit);
    wwpapxapply(w, buf, out);
    w->paprun = *out;
    w->paprunfirst = first;
    w->paprunlimit = limit;
  }
  int32_t pfirst, plimit;
  if (wwcppiece(w, pos, buf, &pfirst, &plimit)) {
    wwpapxapply(w, buf, out);
    first = pfirst > first ? pfirst : first;
    limit = plimit < limit ? plimit : limit;
  }
  w->papfinal = *out;
  w->papfinfirst = first;
  w->papfinlimit = limit;
}

int32_t wwparaend(wwstate* w, int32_t pos) {
  long back = wwtell(w, WW_MAIN);
  int mark = markof(w);
  int32_t step = wwhdrf(w, WWH_CBCH);
  int32_t p = pos;
  for (;; p += step) {
    wwseek(w, WW_MAIN, wwcp2fc(w, p));
    int c = wwgetb(w, WW_MAIN);
    if (c < 0 || c == mark || c == 7) break;
  }
  wwseek(w, WW_MAIN, back);
  return p;
}
