// The Word 6 full reader's property indexes: every character and paragraph
// run of the property pages and every section copied into a pair of
// temporary virtual files (12-byte index entries and the runs' modifiers),
// and the lookups that find the run of a file offset, each with a one-run
// cache. Pages come from the document: run counts are clamped so that no
// entry read leaves its 512-byte page, and a stored run never reaches past
// the page either.
#include <cstring>
#include <initializer_list>
#include <type_traits>

#include "converters/formats/w6full.h"
#include "converters/runtime/df.h"

namespace {

constexpr int32_t kpage = 512;

w6blk *blk(cxstate *st) { return static_cast<w6blk *>(st->w6blk); }

// Reads n bytes of the stream at off whole, or ends the run with 5.
void readwhole(cxstate *st, w6doc *d, int32_t off, void *buf, int32_t n) {
  if (n <= 0) return;
  if (off < 0 || off > d->size || n > d->size - off || w6readat(st, d, off, buf, n) != n) w6fail(st, CX_WARN);
}

// A table of lcb bytes at fc read whole into a registered block; one that
// leaves the stream fails before anything is allocated for it.
uint8_t *tableat(cxstate *st, w6doc *d, int32_t fc, int32_t lcb) {
  if (fc < 0 || fc > d->size || lcb > d->size - fc) w6fail(st, CX_WARN);
  auto *t = static_cast<uint8_t *>(w6alloc(st, lcb));
  readwhole(st, d, fc, t, lcb);
  return t;
}

void openpair(cxstate *st, w6doc *d, int k, int ibuf, int dbuf) {
  w6blk *b = blk(st);
  for (int j = 0; j < 2; ++j) {
    char *name = b->tmpnames[2 * k + j];
    cctmpname(st, st->nm->intfile, name);
    int f = bfopen(st, name, j ? dbuf : ibuf, 2, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    (j ? d->pairs[k].dt : d->pairs[k].ix) = f;
  }
}

void putentry(cxstate *st, const w6pair &p, uint32_t first, uint32_t limit, int32_t data) {
  uint8_t e[12];
  const uint32_t v[3] = {first, limit, static_cast<uint32_t>(data)};
  for (int i = 0; i < 3; ++i)
    for (int k = 0; k < 4; ++k) e[4 * i + k] = static_cast<uint8_t>(v[i] >> (8 * k));
  bfwrite(st, p.ix, e, 12);
}

// Copies the runs of one character (pap false) or paragraph page.
void fkp(cxstate *st, w6doc *d, bool pap, int32_t pageoff, int32_t *data) {
  uint8_t pg[kpage];
  readwhole(st, d, pageoff, pg, kpage);
  const w6pair &p = d->pairs[pap ? W6_PAP : W6_CHP];
  // A run takes 4 bytes of offsets and 1 (character) or 7 (paragraph)
  // bytes of entry; one more offset ends the list.
  int width = pap ? 7 : 1;
  int crun = pg[kpage - 1], most = (kpage - 1 - 4) / (4 + width);
  if (crun > most) crun = most;
  for (int j = 0; j < crun; ++j) {
    putentry(st, p, static_cast<uint32_t>(w6le32(pg + 4 * j)), static_cast<uint32_t>(w6le32(pg + 4 * j + 4)), *data);
    int b = pg[4 * (crun + 1) + width * j];
    if (pap) {
      int from = 2 * b + 1, len = b ? 2 * pg[2 * b] : 0;
      if (len > kpage - from) len = kpage - from;
      uint8_t l2[2] = {static_cast<uint8_t>(len), static_cast<uint8_t>(len >> 8)};
      bfwrite(st, p.dt, l2, 2);
      if (len > 0) bfwrite(st, p.dt, pg + from, len);
      *data += len + 2;
    } else {
      int from = 2 * b + 1, len = b ? pg[2 * b] : 0;
      if (len > kpage - from) len = kpage - from;
      uint8_t l1 = static_cast<uint8_t>(len);
      bfwrite(st, p.dt, &l1, 1);
      if (len > 0) bfwrite(st, p.dt, pg + from, len);
      *data += len + 1;
    }
  }
}

// The bin table of a character or paragraph index: n + 1 offsets, then n
// 16-bit page numbers.
void binindex(cxstate *st, w6doc *d, bool pap, int32_t fc, int32_t lcb) {
  openpair(st, d, pap ? W6_PAP : W6_CHP, 12000, 24000);
  if (lcb < 4) return;
  uint8_t *t = tableat(st, d, fc, lcb);
  int32_t n = (lcb - 4) / 6, data = 0;
  for (int32_t i = 0; i < n; ++i) fkp(st, d, pap, w6le16(t + 4 * (n + 1) + 2 * i) * kpage, &data);
  w6dealloc(st, t);
}

// The section table: n + 1 CPs, then n 12-byte descriptors whose 32-bit
// SEPX offset lies at byte 2.
void sepindex(cxstate *st, w6doc *d, int32_t fc, int32_t lcb) {
  openpair(st, d, W6_SEP, 1200, 2400);
  if (lcb < 4) return;
  uint8_t *t = tableat(st, d, fc, lcb);
  const w6pair &p = d->pairs[W6_SEP];
  int32_t n = (lcb - 4) / 16, data = 0;
  uint32_t fcmin = static_cast<uint32_t>(d->fib.fcmin);
  for (int32_t i = 0; i < n; ++i) {
    putentry(st, p, static_cast<uint32_t>(w6le32(t + 4 * i)) + fcmin, static_cast<uint32_t>(w6le32(t + 4 * i + 4)) + fcmin,
             data);
    int32_t sepx = w6le32(t + 4 * (n + 1) + 12 * i + 2);
    uint8_t rec[256];
    int len = 0;
    if (sepx != -1) {
      readwhole(st, d, sepx, rec, 2);
      len = rec[0];
      readwhole(st, d, sepx + 2, rec + 1, len);
    }
    rec[0] = static_cast<uint8_t>(len);
    bfwrite(st, p.dt, rec, len + 1);
    data += len + 1;
  }
  w6dealloc(st, t);
}

// The offset at which a paragraph lookup of a complex file looks: the end
// of the paragraph holding p (its 7 or 13, or the stream's end).
uint32_t paraend(cxstate *st, w6doc *d, int32_t p) {
  int32_t saved = dftell(st, d->vf), fc;
  for (;; ++p) {
    fc = w6cp2fc(st, d, p);
    if (fc < 0 || fc >= d->size) break;
    int c = w6readch(st, d, p);
    if (c == 7 || c == 13 || c < 0) break;
  }
  dfseek(st, d->vf, saved);
  return static_cast<uint32_t>(fc);
}

// Applies one stored run to its record.
void applychp(cxstate *st, w6doc *d, const uint8_t *s, int32_t n, w6chp *r) {
  for (int32_t at = 0; at < n;) {
    int used = w6sprmchp(st, s + at, n - at, r, &d->base);
    if (used <= 0) break;
    at += used;
  }
}
void applysep(cxstate *st, const uint8_t *s, int32_t n, w6sep *r) {
  for (int32_t at = 0; at < n;) {
    int used = w6sprmsep(st, s + at, n - at, r);
    if (used <= 0) break;
    at += used;
  }
}
void applypap(cxstate *st, const uint8_t *s, int32_t n, w6pap *r) {
  if (n <= 1) return;
  r->istd.v = static_cast<uint16_t>(w6le16(s));
  r->istd.set = 1;
  for (int32_t at = 2; at < n;) {
    int used = w6sprmpap(st, s + at, n - at, r);
    if (used <= 0) break;
    at += used;
  }
}

void setdefault(cxstate *st, w6chp *r) { w6chpdefault(st, r); }
void setdefault(cxstate *st, w6pap *r) { w6papdefault(st, r); }
void setdefault(cxstate *st, w6sep *r) { w6sepdefault(st, r); }

// Reads and applies the stored run at data offset off: a length byte and
// its bytes (character and section runs).
template <class R>
void applyshort(cxstate *st, w6doc *d, int k, int32_t off, R *r) {
  uint8_t s[256];
  int f = d->pairs[k].dt;
  bfseek(st, f, off);
  bfread(st, f, s, 1);
  int n = s[0];
  bfread(st, f, s, n);
  if constexpr (std::is_same_v<R, w6chp>)
    applychp(st, d, s, n, r);
  else
    applysep(st, s, n, r);
}
void applyrun(cxstate *st, w6doc *d, int32_t off, w6chp *r) { applyshort(st, d, W6_CHP, off, r); }
void applyrun(cxstate *st, w6doc *d, int32_t off, w6sep *r) { applyshort(st, d, W6_SEP, off, r); }
void applyrun(cxstate *st, w6doc *d, int32_t off, w6pap *r) {
  uint8_t s[kpage];
  int f = d->pairs[W6_PAP].dt;
  bfseek(st, f, off);
  bfread(st, f, s, 2);
  int n = w6le16(s);
  if (n > kpage) n = kpage;
  bfread(st, f, s, n);
  applypap(st, s, n, r);
}

// The lookup of every kind: hit is what a cache hit reports.
template <class R>
int lookup(cxstate *st, w6doc *d, int k, w6cache *c, R *cached, int32_t p, R *r, bool paraends, int hit) {
  uint32_t o = static_cast<uint32_t>(w6cp2fc(st, d, p));
  if (c->first <= o && o < c->limit) {
    *r = *cached;
    return hit;
  }
  if (paraends && d->pieces) o = paraend(st, d, p);
  setdefault(st, r);
  const w6pair &pr = d->pairs[k];
  if (pr.ix < 0) return -1;
  int32_t n = bfsize(st, pr.ix) / 12;
  if (o < c->first || c->scan >= n) c->scan = 0;
  uint8_t e[12];
  for (;; ++c->scan) {
    if (c->scan >= n) return -1;
    bfseek(st, pr.ix, c->scan * 12);
    bfread(st, pr.ix, e, 12);
    uint32_t first = static_cast<uint32_t>(w6le32(e)), limit = static_cast<uint32_t>(w6le32(e + 4));
    if (first <= o && o < limit) {
      c->first = first;
      c->limit = limit;
      break;
    }
  }
  applyrun(st, d, w6le32(e + 8), r);
  *cached = *r;
  return 0;
}

void closepair(cxstate *st, w6pair *p) {
  for (int *f : {&p->ix, &p->dt}) {
    if (*f < 0) continue;
    bfclose(st, *f);
    *f = -1;
  }
}

}  // namespace

void w6buildindexes(cxstate *st, w6doc *d) {
  const w6fib &f = d->fib;
  int32_t saved = dftell(st, d->vf);
  sepindex(st, d, f.fcsed, f.lcbsed);
  binindex(st, d, true, f.fcpapx, f.lcbpapx);
  binindex(st, d, false, f.fcchpx, f.lcbchpx);
  dfseek(st, d->vf, saved);
}

int w6chpat(cxstate *st, w6doc *d, int32_t p, w6chp *r) {
  return lookup(st, d, W6_CHP, &d->cchp, &d->rchp, p, r, false, 1);
}
int w6papatc(cxstate *st, w6doc *d, int32_t p, w6pap *r) {
  return lookup(st, d, W6_PAP, &d->cpapc, &d->rpapc, p, r, true, 1);
}
int w6papat(cxstate *st, w6doc *d, int32_t p, w6pap *r) {
  return lookup(st, d, W6_PAP, &d->cpap, &d->rpap, p, r, true, 0);
}
int w6sepat(cxstate *st, w6doc *d, int32_t p, w6sep *r) {
  return lookup(st, d, W6_SEP, &d->csep, &d->rsep, p, r, false, 1);
}

void w6closeall(cxstate *st, w6doc *d) {
  w6dealloc(st, d->pieces);
  w6dealloc(st, d->groups);
  d->pieces = d->groups = nullptr;
  d->piecelen = d->npieces = d->groupslen = d->ngroups = 0;
  w6dealloc(st, d->hdd);
  w6dealloc(st, d->fndref);
  w6dealloc(st, d->fndtxt);
  d->hdd = d->fndref = d->fndtxt = nullptr;
  w6blk *b = blk(st);
  for (int k = 0; k < W6_NPAIRS; ++k) {
    closepair(st, &d->pairs[k]);
    for (int j = 0; j < 2; ++j)
      if (b->tmpnames[2 * k + j][0]) cxunlink(st, b->tmpnames[2 * k + j]);
  }
}
