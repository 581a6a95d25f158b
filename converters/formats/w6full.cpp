// The Word 6 full reader: registry and fatal exit, the run's frame, the file
// header and the tables read before the text. Tables come from outside:
// every offset and length is checked against the stream before anything is
// read or allocated, and every count read from one is bounded by its table.
#include "converters/formats/w6full.h"

#include <cstring>
#include <initializer_list>

#include "converters/runtime/df.h"

namespace {


w6blk *blk(cxstate *st) { return static_cast<w6blk *>(st->w6blk); }

void w6failcb(cxstate *st, int status) { w6fail(st, status); }

int32_t le32(const uint8_t *p) { return w6le32(p); }
int le16(const uint8_t *p) { return w6le16(p); }
int32_t readat(cxstate *st, w6doc *d, int32_t off, void *buf, int32_t n) { return w6readat(st, d, off, buf, n); }

// A table of lcb bytes at fc, read whole into a registered block; a table
// that does not lie inside the stream ends the run with 9.
uint8_t *table(cxstate *st, w6doc *d, int32_t fc, int32_t lcb) {
  if (fc < 0 || lcb <= 0 || fc > d->size || lcb > d->size - fc) w6fail(st, CX_NOTFMT);
  auto *b = static_cast<uint8_t *>(w6alloc(st, lcb));
  if (readat(st, d, fc, b, lcb) != lcb) w6fail(st, CX_WARN);
  return b;
}

void parsefib(w6fib *f, const uint8_t *h) {
  f->ident = static_cast<uint16_t>(le16(h));
  f->flags = h[10];
  int32_t *fields[] = {&f->fcmin,    &f->fcmac,     &f->ccptext,  &f->ccpftn,    &f->fcstshf,  &f->lcbstshf,
                       &f->fcfndref, &f->lcbfndref, &f->fcfndtxt, &f->lcbfndtxt, &f->fcsed,    &f->lcbsed,
                       &f->fchdd,    &f->lcbhdd,    &f->fcchpx,   &f->lcbchpx,   &f->fcpapx,   &f->lcbpapx,
                       &f->fcdop,    &f->lcbdop,    &f->fcclx,    &f->lcbclx};
  static const int offsets[] = {24,  28,  52,  56,  96,  100, 104, 108, 112, 116, 136,
                                140, 176, 180, 184, 188, 192, 196, 336, 340, 352, 356};
  for (size_t i = 0; i < sizeof offsets / sizeof offsets[0]; ++i) *fields[i] = le32(h + offsets[i]);
}

// The style sheet: its header values, then a walk over its styles that
// checks each against the table's end and the kinds' UPX counts. Nothing
// of the styles is kept: no part of the conversion resolves a style.
void stylesheet(cxstate *st, w6doc *d) {
  const w6fib &f = d->fib;
  if (f.lcbstshf <= 0) w6fail(st, CX_NOTFMT);
  uint8_t *t = table(st, d, f.fcstshf, f.lcbstshf);
  int32_t end = f.lcbstshf, at = 0;
  auto u16 = [&](int32_t i) { return i >= 0 && i + 2 <= end ? le16(t + i) : -1; };
  int cbstshi = u16(0);
  if (cbstshi <= 13 || 2 + cbstshi > end) w6fail(st, CX_NOTFMT);
  const uint8_t *h = t + 2;
  d->cstd = static_cast<uint16_t>(le16(h));
  d->cbbase = static_cast<uint16_t>(le16(h + 2));
  d->stdnames = h[4] & 1;
  d->stimax = static_cast<uint16_t>(le16(h + 6));
  d->istdmaxfixed = static_cast<uint16_t>(le16(h + 8));
  d->nverbuiltin = static_cast<uint16_t>(le16(h + 10));
  d->ftcstandard = static_cast<int16_t>(le16(h + 12));
  if (d->cbbase <= 7) w6fail(st, CX_NOTFMT);
  at = 2 + cbstshi;
  auto even = [&] { at += (f.fcstshf + at) & 1; };
  // Skips one UPX (16-bit length and bytes); false past the table's end.
  auto upx = [&]() {
    even();
    int cb = u16(at);
    if (cb < 0 || at + 2 + cb > end) return false;
    at += 2 + cb;
    return true;
  };
  for (int i = 0; i < d->cstd; ++i) {
    even();
    int cbstd = u16(at);
    if (cbstd < 0) w6fail(st, CX_NOTFMT);
    at += 2;
    if (cbstd == 0) continue;
    if (at + d->cbbase > end) w6fail(st, CX_NOTFMT);
    int sgc = le16(t + at + 2) & 0xF, cupx = le16(t + at + 4) & 0xF;
    at += d->cbbase;
    even();
    if (at >= end) w6fail(st, CX_NOTFMT);
    int nlen = t[at++];
    if (nlen) at += nlen + 1;
    if (at > end) w6fail(st, CX_NOTFMT);
    int need = sgc == 1 ? 2 : sgc == 2 ? 1 : 0;
    if (cupx < need) w6fail(st, CX_NOTFMT);
    if (need == 0) continue;
    for (int k = 0; k < cupx; ++k)
      if (!upx()) w6fail(st, CX_NOTFMT);
  }
  w6dealloc(st, t);
}

// The complex part: property-modifier groups (type 1) and the piece table
// (type 2), which ends it.
void readclx(cxstate *st, w6doc *d) {
  const w6fib &f = d->fib;
  if (f.lcbclx <= 0) w6fail(st, CX_NOTFMT);
  uint8_t *t = table(st, d, f.fcclx, f.lcbclx);
  int32_t end = f.lcbclx, at = 0, groups = 0, ngroups = 0;
  while (at < end && t[at] == 1) {
    if (at + 3 > end) w6fail(st, CX_NOTFMT);
    int len = le16(t + at + 1);
    if (at + 3 + len > end) w6fail(st, CX_NOTFMT);
    at += 3 + len;
    ngroups++;
  }
  groups = at;
  if (at + 5 > end || t[at] != 2) w6fail(st, CX_NOTFMT);
  int32_t len = le32(t + at + 1);
  // A piece table holds at least its first CP, and lies within the part.
  if (len < 4 || len > end - at - 5) w6fail(st, CX_NOTFMT);
  d->groups = static_cast<uint8_t *>(w6alloc(st, groups > 0 ? groups : 1));
  std::memcpy(d->groups, t, static_cast<size_t>(groups));
  d->groupslen = groups;
  d->ngroups = ngroups;
  d->pieces = static_cast<uint8_t *>(w6alloc(st, len));
  std::memcpy(d->pieces, t + at + 5, static_cast<size_t>(len));
  d->piecelen = len;
  d->npieces = (len - 4) / 12;
  w6dealloc(st, t);
}

// The CP of piece boundary i and the descriptor of piece i.
uint32_t piececp(const w6doc *d, int32_t i) { return static_cast<uint32_t>(le32(d->pieces + 4 * i)); }
const uint8_t *piecepcd(const w6doc *d, int32_t i) { return d->pieces + 4 * (d->npieces + 1) + 8 * i; }

}  // namespace

int32_t w6readat(cxstate *st, w6doc *d, int32_t off, void *buf, int32_t n) {
  if (off < 0 || off > d->size || n <= 0) return 0;
  if (n > d->size - off) n = d->size - off;
  dfseek(st, d->vf, off);
  return dfread(st, d->vf, buf, n);
}

void *w6alloc(cxstate *st, int32_t size) {
  w6blk *b = blk(st);
  void *p = size >= 0 ? cxalloc(st, static_cast<size_t>(size > 0 ? size : 1)) : nullptr;
  if (!p) w6fail(st, CX_NOMEM);
  std::memset(p, 0, static_cast<size_t>(size > 0 ? size : 1));
  for (void *&slot : b->reg)
    if (!slot) {
      slot = p;
      return p;
    }
  // No slot: the block is freed before the run ends.
  cxfree(st, p);
  w6fail(st, CX_NOMEM);
}

int w6dealloc(cxstate *st, void *block) {
  if (!block) return 0;
  for (void *&slot : blk(st)->reg)
    if (slot == block) {
      slot = nullptr;
      cxfree(st, block);
      break;
    }
  return 0;
}

void w6fail(cxstate *st, int status) {
  cxzoneclose(st);
  w6blk *b = blk(st);
  for (void *&slot : b->reg)
    if (slot) {
      cxfree(st, slot);
      slot = nullptr;
    }
  b->doc = nullptr;
  cxthrow(st, status);
}

int w6readfib(cxstate *st, w6doc *d) {
  uint8_t h[682] = {};
  readat(st, d, 0, h, sizeof h);
  if (le16(h) != 0xA5DC) w6fail(st, CX_NOTFMT);
  parsefib(&d->fib, h);
  const w6fib &f = d->fib;
  if (f.lcbdop < 84) w6fail(st, CX_NOTFMT);
  uint8_t *dop = table(st, d, f.fcdop, f.lcbdop);
  std::memcpy(d->dop, dop, sizeof d->dop);
  w6dealloc(st, dop);
  stylesheet(st, d);
  w6buildindexes(st, d);
  if (f.lcbfndref > 0) {
    d->fndref = table(st, d, f.fcfndref, f.lcbfndref);
    d->lfndref = f.lcbfndref;
    if (f.lcbfndtxt > 0) {
      d->fndtxt = table(st, d, f.fcfndtxt, f.lcbfndtxt);
      d->lfndtxt = f.lcbfndtxt;
    }
  }
  if (f.lcbhdd > 0) {
    d->hdd = table(st, d, f.fchdd, f.lcbhdd);
    d->lhdd = f.lcbhdd;
  }
  if (f.flags & 0x04) readclx(st, d);
  return 0;
}

int32_t w6cp2fc(cxstate *, const w6doc *d, int32_t p) {
  if (!d->pieces || d->npieces <= 0) return p;
  uint32_t dd = static_cast<uint32_t>(p - d->fib.fcmin);
  int32_t i = d->npieces - 1;
  for (int32_t k = 0; k < d->npieces; ++k)
    if (piececp(d, k) <= dd && dd < piececp(d, k + 1)) {
      i = k;
      break;
    }
  return le32(piecepcd(d, i) + 2) + static_cast<int32_t>(dd - piececp(d, i));
}

void w6prmapply(cxstate *st, const uint8_t prm[2], w6sep *sep, w6pap *pap, w6chp *chp, const w6chp *base) {
  int num = prm[0];
  if (((num >= 2 && num <= 52) || (num >= 182 && num <= 200)) && pap)
    w6sprmpap(st, prm, 2, pap);
  else if (num >= 65 && num <= 124 && chp)
    w6sprmchp(st, prm, 2, chp, base);
  else if (num >= 131 && num <= 171 && sep)
    w6sprmsep(st, prm, 2, sep);
}

int w6pieceprm(cxstate *st, const w6doc *d, int32_t p, w6sep *sep, w6pap *pap, w6chp *chp, const w6chp *base) {
  if (!d->pieces) return 0;
  uint32_t dd = static_cast<uint32_t>(p - d->fib.fcmin);
  for (int32_t k = 0; k < d->npieces; ++k) {
    if (!(piececp(d, k) <= dd && dd < piececp(d, k + 1))) continue;
    int prm = le16(piecepcd(d, k) + 6);
    if (prm & 1) {
      int32_t index = (prm >> 1) & 0x7FFF;
      if (index >= d->ngroups) return 0;
      int32_t at = 0;
      for (int32_t g = 0; g < index; ++g) at += 3 + le16(d->groups + at + 1);
      int len = le16(d->groups + at + 1);
      w6grpprlapply(st, d->groups + at + 3, len, sep, pap, chp, base);
      return 1;
    }
    if ((prm & 0xFF) == 0) return 0;
    const uint8_t one[2] = {static_cast<uint8_t>((prm & 0xFF) >> 1), static_cast<uint8_t>(prm >> 8)};
    w6prmapply(st, one, sep, pap, chp, base);
    return 1;
  }
  return 0;
}

void w6fullrun(cxstate *st, const char *inpath, const char *outpath, char *closed) {
  w6blk *b = blk(st);
  cxzoneopen(st);
  wxoptions(st, &b->x);
  bfinit(st, 14, w6failcb);
  dfopenread(st, inpath, w6failcb);
  int vf = dfopenstream(st, "WordDocument", 20000);
  int out = cxopen(st, st->nm->intfile, 2, 2);
  if (out < 0) w6fail(st, CX_NOOUTPUT);
  if (cxbufinit(st, -1, out, 512) != 0) w6fail(st, CX_NOMEM);
  auto *d = static_cast<w6doc *>(w6alloc(st, sizeof(w6doc)));
  b->doc = d;
  d->vf = vf;
  d->size = dfsize(st, vf);
  for (w6pair &p : d->pairs) p.ix = p.dt = -1;
  for (auto &name : b->tmpnames) name[0] = 0;
  for (int32_t &c : d->counters) c = 1;
  w6recs r{static_cast<w6sep *>(w6alloc(st, sizeof(w6sep))), static_cast<w6sep *>(w6alloc(st, sizeof(w6sep))),
           static_cast<w6pap *>(w6alloc(st, sizeof(w6pap))), static_cast<w6pap *>(w6alloc(st, sizeof(w6pap))),
           static_cast<w6chp *>(w6alloc(st, sizeof(w6chp))), static_cast<w6chp *>(w6alloc(st, sizeof(w6chp)))};
  (void)outpath;
  w6readfib(st, d);
  w6walk(st, d, &r);
  w6closeall(st, d);
  for (void *rec : {static_cast<void *>(r.sa), static_cast<void *>(r.sb), static_cast<void *>(r.pa),
                    static_cast<void *>(r.pb), static_cast<void *>(r.ca), static_cast<void *>(r.cb)})
    w6dealloc(st, rec);
  w6zone(st, 0, 0);
  cxbufend(st);
  cxclose(st, out);
  dfclosestream(st, vf);
  dfclose(st);
  bfcloseall(st);
  *closed = 1;
  w6fail(st, CX_OK);
}
