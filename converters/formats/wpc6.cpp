// The WordPerfect 6.x converter: header and packet index, the main loop
// with its dispatch over the code table, and the packet readers through
// which the text of headers, footers, notes, boxes and marks is read in
// place. Packets come from outside: one already being read, or one past
// kmaxdepth open packets, is refused, so no index can make the readers
// recurse without end; and the packets together deliver at most as many
// bytes as the input holds, so codes naming one packet again and again
// cannot make a small document write without end.
#include <cstring>

#include "converters/formats/cvt.h"
#include "converters/formats/wpc.h"
#include "converters/runtime/cvtframe.h"
#include "converters/runtime/wpchars.h"

namespace {

constexpr int kmaxdepth = 32;
constexpr int kpktbuf = 1048;

wpc6blk *blk(cxstate *st) { return static_cast<wpc6blk *>(st->wpc6blk); }

void wpc6init(void *block) {
  auto *b = static_cast<wpc6blk *>(block);
  b->codepage = 819;
  b->lemode = 3;
  b->inhandle = b->outhandle = -1;
  b->scratch = -1;
}

// Frees every packet reader (the input is not moved) and every index entry.
void wpc6release(cxstate *st) {
  wpc6blk *b = blk(st);
  while (wpc6pktrd *r = b->rd) {
    b->rd = r->next;
    if (r->pushed >= 0) cxsclose(st, r->pushed);
    cxfree(st, r);
  }
  b->depth = 0;
  if (b->scratch >= 0) cxsclose(st, b->scratch);
  b->scratch = -1;
  while (wpc6pkt *p = b->pkts) {
    b->pkts = p->next;
    cxfree(st, p);
  }
  if (b->bynum) cxfree(st, b->bynum);
  b->bynum = nullptr;
  b->nnum = 0;
  if (st->io->inmode == 2) cxinnorm(st);
}

void wpc6closeio(cxstate *st) {
  wpc6blk *b = blk(st);
  if (b->inhandle >= 0) cxclose(st, b->inhandle);
  if (b->outhandle >= 0) cxclose(st, b->outhandle);
  b->inhandle = b->outhandle = -1;
}

// Loads the next chunk of the top reader's packet; false when none is left.
bool wpc6load(cxstate *st, wpc6pktrd *r) {
  if (r->unloaded <= 0) return false;
  int64_t at = r->offset + (r->size - r->unloaded);
  int n = r->unloaded < kpktbuf ? static_cast<int>(r->unloaded) : kpktbuf;
  if (at > INT32_MAX || cxseek(st, blk(st)->inhandle, static_cast<int>(at), 0) != at) wpc6fatal(st, CX_READERR);
  int got = cxread(st, blk(st)->inhandle, r->buf, n);
  if (got < 0) wpc6fatal(st, CX_READERR);
  // A packet that runs past the end of the file ends where the file does.
  r->unloaded = got < n ? 0 : r->unloaded - n;
  if (got < n) r->size = r->delivered + got;
  r->bufpos = 0;
  r->buflen = got;
  return got > 0;
}

// The get callback while a packet is read: its next byte, -1 at its end.
int wpc6pktget(cxstate *st) {
  wpc6blk *b = blk(st);
  wpc6pktrd *r = b->rd;
  if (!r || r->delivered >= r->size) return -1;
  if (b->budget <= 0) {
    // The rest of the packet is lost: the run says so.
    ccseterr(st, CX_WARNEND);
    return -1;
  }
  if (r->pushed >= 0) {
    int c = cxspop(st, r->pushed);
    if (c >= 0) {
      r->delivered++;
      b->budget--;
      return c;
    }
    cxsclose(st, r->pushed);
    r->pushed = -1;
  }
  if (r->bufpos >= r->buflen && !wpc6load(st, r)) return -1;
  r->delivered++;
  b->budget--;
  return r->buf[r->bufpos++];
}

// The unget callback while a packet is read: the byte is delivered again next.
int wpc6pktunget(cxstate *st, int byte) {
  wpc6pktrd *r = blk(st)->rd;
  if (!r) return -1;
  if (r->pushed < 0) {
    r->pushed = cxsopen(st, 256);
    if (r->pushed < 0) wpc6fatal(st, CX_NOMEM);
  }
  if (--r->delivered < 0) wpc6fatal(st, CX_SIGNAL);
  blk(st)->budget++;
  cxsputc(st, byte, r->pushed);
  return 0;
}

bool wpc6onstack(cxstate *st, const wpc6pkt *p) {
  for (wpc6pktrd *r = blk(st)->rd; r; r = r->next)
    if (r->offset == p->offset) return true;
  return false;
}

// The header tests, all of them: 15 for encryption, 9 for any other fault, else 0.
int wpc6headerstatus(const unsigned char *h) {
  int status = 0;
  if (h[0] != 0xFF || h[1] != 'W' || h[2] != 'P' || h[3] != 'C') status = CX_NOTFMT;
  if (h[8] != 1 || h[9] != 10 || h[10] != 2 || h[11] > 1) status = CX_NOTFMT;
  if (h[12] != 0 || h[13] != 0) status = CX_CRYPT;
  return status;
}

// Options, input, header; every failure ends the run.
void wpc6start(cxstate *st, const char *inpath) {
  wpc6blk *b = blk(st);
  b->textsw = 1;
  b->depth = b->cellzone = b->cells = 0;
  b->rd = nullptr;
  b->pkts = nullptr;
  b->bynum = nullptr;
  b->nnum = 0;
  b->row = nullptr;
  b->budget = cxfsize(st, inpath);
  wxset o;
  wxoptions(st, &o);
  b->lemode = o.lemode;
  b->codepage = o.codepage;
  b->inhandle = cxopen2(st, inpath, 1);
  if (b->inhandle < 0) cxthrow(st, CX_NOINPUT);
  int status = cxread(st, b->inhandle, b->header, 16) == 16 ? wpc6headerstatus(b->header) : CX_NOTFMT;
  if (status != 0) {
    b->docstate = -1;
    wpc6closeio(st);
    cxthrow(st, status);
  }
  b->indexoff = ccgetu16(st, b->header + 14, 0);
  if (b->indexoff < 16) b->indexoff = 16;
  b->docoff = ccget32(st, b->header + 4, 0);
}

// Reads the packet index: one node per entry of a type that may carry text.
void wpc6index(cxstate *st) {
  static const int ktypes[] = {8, 14, 27, 65};
  wpc6blk *b = blk(st);
  int in = b->inhandle;
  unsigned char h[14];
  if (cxseek(st, in, b->indexoff, 0) != b->indexoff) wpc6fatal(st, CX_READERR);
  if (cxread(st, in, h, 14) != 14) wpc6fatal(st, CX_READERR);
  if (h[0] != 2) wpc6fatal(st, CX_NOTFMT);
  int n = ccgetu16(st, h + 2, 0);
  // An index of no entries lists no packets.
  if (n == 0) return;
  auto *e = static_cast<unsigned char *>(cxalloc(st, static_cast<size_t>(n) * 14));
  if (!e) wpc6fatal(st, CX_NOMEM);
  if (cxread(st, in, e, n * 14) != n * 14) wpc6fatal(st, CX_READERR);
  b->bynum = static_cast<wpc6pkt **>(cxalloc(st, static_cast<size_t>(n) * sizeof(wpc6pkt *)));
  if (!b->bynum) wpc6fatal(st, CX_NOMEM);
  b->nnum = n;
  for (int i = 1; i < n; i++) {
    const unsigned char *x = e + (i - 1) * 14;
    bool keep = false;
    for (int t : ktypes) keep = keep || x[1] == t;
    if (!keep) continue;
    auto *p = static_cast<wpc6pkt *>(cxalloc(st, sizeof(wpc6pkt)));
    if (!p) wpc6fatal(st, CX_NOMEM);
    p->number = static_cast<uint16_t>(i);
    p->type = x[1];
    p->size = static_cast<uint32_t>(ccget32(st, x + 6, 0));
    p->offset = ccget32(st, x + 10, 0);
    p->next = b->pkts;
    b->pkts = p;
    b->bynum[i] = p;
  }
  cxfree(st, e);
}

// Ends a run that reached the end of its document: 12 when warnings were
// recorded, else 0.
[[noreturn]] void wpc6finish(cxstate *st, char *closed) {
  cxzonemark(st, 0, 0);
  cxzoneclose(st);
  wpc6release(st);
  cxbufend(st);
  cxprogend(st);
  wpc6closeio(st);
  *closed = 1;
  if (st->sb->warnflag) {
    st->sb->firststatus = CX_WARNEND;
    cxthrow(st, CX_WARNEND);
  }
  cxthrow(st, CX_OK);
}

}  // namespace

void wpc6fatal(cxstate *st, int status) {
  wpc6release(st);
  cxbufend(st);
  wpc6closeio(st);
  ccseterr(st, status);
  cxthrow(st, status);
}

wpc6pkt *wpc6findpkt(cxstate *st, int number) {
  wpc6blk *b = blk(st);
  return number > 0 && number < b->nnum ? b->bynum[number] : nullptr;
}

void wpc6pktopen(cxstate *st, int32_t offset, int64_t size) {
  wpc6blk *b = blk(st);
  int in = b->inhandle;
  auto *r = static_cast<wpc6pktrd *>(cxalloc(st, sizeof(wpc6pktrd)));
  if (!r) wpc6fatal(st, CX_NOMEM);
  r->saved = cxseek(st, in, 0, 1);
  r->offset = offset;
  r->size = size > 0 ? size : 0;
  r->unloaded = r->size;
  r->pushed = -1;
  r->next = b->rd;
  b->rd = r;
  b->depth++;
  if (r->saved < 0 || offset < 0) wpc6fatal(st, CX_READERR);
  wpc6load(st, r);
  cxinredir(st, wpc6pktget, wpc6pktunget);
}

void wpc6pktclose(cxstate *st) {
  wpc6blk *b = blk(st);
  wpc6pktrd *r = b->rd;
  if (!r) return;
  if (cxseek(st, b->inhandle, r->saved, 0) != r->saved) wpc6fatal(st, CX_READERR);
  if (r->pushed >= 0) cxsclose(st, r->pushed);
  b->rd = r->next;
  b->depth--;
  cxfree(st, r);
  if (!b->rd) cxinnorm(st);
}

int wpc6pktuse(cxstate *st, int number, int warn) {
  wpc6pkt *p = number >= 0 ? wpc6findpkt(st, number) : nullptr;
  if (!p) {
    if (warn) ccseterr(st, CX_WARNEND);
    return 0;
  }
  // A packet already being read would be read again inside itself.
  if (blk(st)->depth >= kmaxdepth || wpc6onstack(st, p)) {
    ccseterr(st, CX_WARNEND);
    return 0;
  }
  wpc6pktopen(st, p->offset, p->size);
  return 1;
}

int wpc6need(cxstate *st) {
  int c = cxgetc(st);
  if (c < 0) wpc6fatal(st, CX_SIGNAL);
  return c;
}

int wpc6rd16(cxstate *st) {
  int lo = cxgetc(st);
  int hi = lo < 0 ? -1 : cxgetc(st);
  return hi < 0 ? -1 : (lo | hi << 8);
}

bool wpc6rd32(cxstate *st, int32_t *v) {
  int lo = wpc6rd16(st);
  int hi = lo < 0 ? -1 : wpc6rd16(st);
  if (hi < 0) return false;
  *v = static_cast<int32_t>(static_cast<uint32_t>(lo) | static_cast<uint32_t>(hi) << 16);
  return true;
}

bool wpc6skip(cxstate *st, int64_t n) {
  for (; n > 0; n--)
    if (cxgetc(st) < 0) return false;
  return true;
}

void wpc6lineend(cxstate *st) {
  int m = blk(st)->lemode;
  if (m & 2) cxputc(st, 13);
  if (m & 1) cxputc(st, 10);
}

unsigned char *wpc6getcode(cxstate *st) {
  wpc6blk *b = blk(st);
  int len = wpc6rd16(st);
  if (len < 0 || len < 5) wpc6fatal(st, CX_SIGNAL);
  auto *rec = static_cast<unsigned char *>(cxalloc(st, static_cast<size_t>(len)));
  if (!rec) wpc6fatal(st, CX_NOMEM);
  rec[0] = static_cast<unsigned char>(b->code);
  rec[1] = static_cast<unsigned char>(b->sub);
  rec[2] = static_cast<unsigned char>(len);
  rec[3] = static_cast<unsigned char>(len >> 8);
  for (int i = 4; i < len; i++) {
    int c = cxgetc(st);
    if (c < 0) {
      cxfree(st, rec);
      wpc6fatal(st, CX_SIGNAL);
    }
    rec[i] = static_cast<unsigned char>(c);
  }
  if (rec[4] & 0x40) {
    cxfree(st, rec);
    return nullptr;
  }
  return rec;
}

void wpc6freecode(cxstate *st, unsigned char *rec) {
  if (rec) cxfree(st, rec);
}

const wpc6code *wpc6findcode(int code, int sub) {
  // The key is below a row when its code is, or its subfunction is and the
  // row takes a particular one.
  auto cmp = [&](const wpc6code &r) {
    if (code != r.code) return code < r.code ? -1 : 1;
    if (r.sub == 0xFF || sub == r.sub) return 0;
    return sub < r.sub ? -1 : 1;
  };
  int lo = 0, hi = WPC6_NCODES - 1;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    int c = cmp(wpc6codetab[mid]);
    if (c == 0) return &wpc6codetab[mid];
    if (c < 0)
      hi = mid - 1;
    else
      lo = mid + 1;
  }
  return nullptr;
}

void wpc6dispatch(cxstate *st, int c) {
  wpc6blk *b = blk(st);
  int sub = 0;
  if (c >= 0xD0 && c <= 0xEF) sub = wpc6need(st);
  b->code = c;
  b->sub = sub;
  b->row = wpc6findcode(c, sub);
  if (b->row) {
    if (b->textsw)
      b->row->handler(st);
    else
      wpc6skipcode(st);
    return;
  }
  int lo = 0, hi = static_cast<int>(sizeof wpc6chartab / sizeof wpc6chartab[0]) - 1;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    const wpc6crow &r = wpc6chartab[mid];
    if (r.byte == c) {
      if (b->textsw && wpc6extmap(st, r.set, r.number) < 0) cxputc(st, '_');
      return;
    }
    if (c < r.byte)
      hi = mid - 1;
    else
      lo = mid + 1;
  }
  wpc6skipcode(st);
}

void wpc6run(cxstate *st) {
  wpc6blk *b = blk(st);
  for (int c; !st->sb->abortflag && (c = cxgetc(st)) >= 0;) {
    if (c >= 0x20 && c <= 0x7F) {
      if (b->textsw) cxputc(st, c);
    } else {
      wpc6dispatch(st, c);
    }
  }
}

unsigned char *wpc6readat(cxstate *st, int32_t offset, int n) {
  int in = blk(st)->inhandle;
  int back = cxseek(st, in, 0, 1);
  auto *mem = n > 0 ? static_cast<unsigned char *>(cxalloc(st, static_cast<size_t>(n))) : nullptr;
  bool ok = mem && back >= 0 && cxseek(st, in, offset, 0) == offset && cxread(st, in, mem, n) == n;
  if (back >= 0) cxseek(st, in, back, 0);
  if (!ok && mem) cxfree(st, mem);
  return ok ? mem : nullptr;
}

void wpc6fill(cxstate *st, void *mem, int byte, int n) {
  if (n > 0) std::memset(mem, byte, static_cast<size_t>(n));
}

int wpc6bytecmp(cxstate *st, const void *a, const void *b, int n) {
  auto *x = static_cast<const unsigned char *>(a), *y = static_cast<const unsigned char *>(b);
  for (int i = 0; i < n; i++)
    if (x[i] != y[i]) return x[i] - y[i];
  return 0;
}

int wpc6bitcount(cxstate *st, int value) {
  int n = 0;
  for (unsigned v = static_cast<unsigned>(value) & 0xFFFF; v; v &= v - 1) n++;
  return n;
}

int wpc6sput(cxstate *st, int byte) {
  wpc6blk *b = blk(st);
  if (b->scratch < 0) b->scratch = cxsopen(st, 256);
  if (b->scratch < 0) return -1;
  return cxsputc(st, byte, b->scratch);
}

int wpc6spop(cxstate *st) {
  wpc6blk *b = blk(st);
  return b->scratch < 0 ? -1 : cxspop(st, b->scratch);
}

cxstate *wpc6newst() {
  static const cxblkspec blocks[] = {{13, sizeof(wpc6blk), wpc6init}};
  return cxnewst(blocks, 1, wpc6freest);
}

void wpc6freest(cxstate *st) { cxfreest(st); }

int16_t cvtwp6st(cxstate *st, const char *inpath, const char *outpath) {
  return cvtframe(st, nullptr, [&](char *closed) {
    wpc6start(st, inpath);
    wpc6index(st);
    wpc6blk *b = blk(st);
    if (cxseek(st, b->inhandle, b->docoff, 0) != b->docoff) wpc6fatal(st, CX_READERR);
    cvtoutname(st, outpath);
    b->outhandle = cxopen2(st, st->nm->intfile, 2);
    if (b->outhandle < 0) wpc6fatal(st, CX_NOINPUT);
    int status = cxbufinit(st, b->inhandle, b->outhandle, 2048);
    if (status != 0) wpc6fatal(st, status);
    cxzoneopen(st);
    cxzonemark(st, 0, 1);
    wpc6run(st);
    wpc6finish(st, closed);
  });
}

int16_t cvtwp6(const char *inpath, const char *outpath) { return cvtwp6st(wpc6newst(), inpath, outpath); }
