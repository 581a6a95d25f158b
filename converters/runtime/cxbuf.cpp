// Buffered input and output of a converter run: one input buffer with a
// push-back stack, two output halves so that the last bytes written can be
// taken back, counters, and switches that redirect input or output.
#include "converters/runtime/cx.h"

#include <cstring>
#include <unistd.h>

namespace {

constexpr int kspare = 17;
constexpr int kpbspare = 16;

void freebuffers(cxstate* st) {
  cxmain* mn = st->mn;
  unsigned char* bufs[4] = {mn->inbuf, mn->outbuf[0], mn->outbuf[1], mn->pbbuf};
  mn->inbuf = mn->outbuf[0] = mn->outbuf[1] = mn->pbbuf = nullptr;
  for (unsigned char* b : bufs)
    if (b) cxfree(st, b);
}

// Fills the input buffer with one read; false when the read failed.
bool refill(cxstate* st) {
  cxio* io = st->io;
  int r = cxread(st, io->inhandle, st->mn->inbuf, io->insize);
  io->inbase += io->insize;
  if (r < 0) {
    st->mn->inpos = st->mn->inend = 0;
    return false;
  }
  st->mn->inpos = 0;
  st->mn->inend = r;
  if (r == 0) io->ineof = 1;
  return true;
}

// The next byte of the buffered input, or -1 at the end; a failed read ends the run.
int bufferedget(cxstate* st) {
  cxmain* mn = st->mn;
  cxio* io = st->io;
  if (mn->inpos < mn->inend) return mn->inbuf[mn->inpos++];
  if (io->ineof == 0 && io->inhandle >= 0 && mn->inbuf) {
    if (!refill(st)) ccseterr(st, CX_READERR);
    if (mn->inpos < mn->inend) return mn->inbuf[mn->inpos++];
  }
  // At the end: the count starts at 1 and grows by 2 per call, so the 25th
  // call that returns -1 is the first to record the warning.
  if (io->ineof == 0) io->ineof = 1;
  io->ineof += 2;
  if (io->ineof > 50) ccseterr(st, CX_WARN);
  return -1;
}

// The top byte of the push-back (the overflow stream first), or -2 when empty.
int pushedback(cxstate* st) {
  cxio* io = st->io;
  if (io->pbcount <= 0) return -2;
  if (io->pbover != -1) {
    int c = cxspop(st, io->pbover);
    if (c != -1) return c;
    cxsclose(st, io->pbover);
    io->pbover = -1;
  }
  return st->mn->pbbuf[--io->pbcount];
}

}  // namespace

int cxsetlimit(cxstate* st, int size) {
  st->sb->buflimit = size;
  st->sb->buflimitset = 1;
  return 0;
}

int cxbufinit(cxstate* st, int inhandle, int outhandle, int size) {
  cxio* io = st->io;
  cxmain* mn = st->mn;
  if (st->sb->buflimit != -1 && st->sb->buflimit < size) size = st->sb->buflimit;
  if (st->sb->buflimit == -1 && size < 50000) size = 50000;
  if (st->fb->queueid != -1) size = 4096;
  if (size < 1) size = 1;
  freebuffers(st);
  io->outredir = 0;
  if (io->inmode != 1) io->inmode = 0;
  io->inhandle = inhandle;
  io->outhandle = outhandle;
  io->pbcap = size < 1024 ? size : 1024;
  io->incalls = 0;
  io->outcount = 0;
  io->outrewound = 0;
  io->inbase = 0;
  int nbuf = outhandle < 0 ? 1 : inhandle < 0 ? 2 : 3;
  unsigned char* got[3] = {};
  int quarter = size / 4 > 0 ? size / 4 : 1;
  int granted = 0;
  for (int tryl = size; tryl >= quarter && !granted; tryl -= quarter) {
    int i = 0;
    for (; i < nbuf; i++) {
      got[i] = static_cast<unsigned char*>(cxalloc(st, static_cast<size_t>(tryl) + kspare));
      if (!got[i]) break;
    }
    if (i == nbuf) {
      granted = tryl;
    } else {
      for (int k = 0; k < i; k++) cxfree(st, got[k]);
    }
  }
  if (!granted) return CX_NOMEM;
  int k = 0;
  if (inhandle >= 0) mn->inbuf = got[k++];
  else if (nbuf == 1) mn->inbuf = got[k++];  // no handles at all: the one buffer idles
  if (k < nbuf) mn->outbuf[0] = got[k++];
  if (k < nbuf) mn->outbuf[1] = got[k++];
  io->insize = granted;
  io->outsize = granted;
  io->curhalf = 0;
  io->pending[0] = io->pending[1] = 0;
  mn->outpos = 0;
  mn->inpos = mn->inend = 0;
  io->pbcount = 0;
  io->ineof = 0;
  io->pbover = -1;
  if (io->pbcap > granted) io->pbcap = granted;
  mn->pbbuf = static_cast<unsigned char*>(cxalloc(st, static_cast<size_t>(io->pbcap) + kpbspare));
  if (!mn->pbbuf) {
    freebuffers(st);
    return CX_NOMEM;
  }
  if (inhandle >= 0 && !refill(st)) return CX_READERR;
  return 0;
}

int cxbufend(cxstate* st) {
  cxmain* mn = st->mn;
  cxio* io = st->io;
  if (io->pbover != -1) {
    cxsclose(st, io->pbover);
    io->pbover = -1;
  }
  if (!mn->inbuf && !mn->outbuf[0] && !mn->pbbuf) return 0;
  // Take the pending output out of the record first: a failed write ends
  // the run, and the run's end must not try the same write again.
  unsigned char* cur = mn->outbuf[io->curhalf];
  unsigned char* other = mn->outbuf[1 - io->curhalf];
  bool otherpending = io->pending[1 - io->curhalf] != 0;
  int curlen = mn->outpos;
  int h = io->outhandle;
  unsigned char* in = mn->inbuf;
  mn->inbuf = mn->outbuf[0] = mn->outbuf[1] = nullptr;
  unsigned char* pb = mn->pbbuf;
  mn->pbbuf = nullptr;
  io->pending[0] = io->pending[1] = 0;
  mn->outpos = 0;
  io->pbcount = 0;
  struct releaser {
    cxstate* st;
    unsigned char* b[4];
    ~releaser() {
      for (unsigned char* p : b)
        if (p) cxfree(st, p);
    }
  } rel{st, {cur, other, pb, in}};
  if (h >= 0 && cur) {
    if (otherpending && other) cxwritechk(st, h, other, io->outsize);
    if (curlen > 0) cxwritechk(st, h, cur, curlen);
    // After output was taken back from the file, what lies beyond the last
    // byte written is stale: cut it off so that it does not reappear.
    if (io->outrewound && !(st->ob->optflags & 0x400)) {
      int end = cxseek(st, h, 0, 1);
      if (end < 0 || ::ftruncate(h, end) != 0) ccseterr(st, CX_WRITEERR);
    }
  }
  io->outrewound = 0;
  return 0;
}

int cxwritechk(cxstate* st, int handle, const void* data, int n) {
  // A short write is not the end of the bytes: the rest is written on, and
  // only a failure or a write of nothing ends the run.
  auto* p = static_cast<const unsigned char*>(data);
  int done = 0;
  while (done < n) {
    int w = cxwrite(st, handle, p + done, n - done);
    if (w < 0) ccseterr(st, CX_WRITEERR);
    if (w == 0) ccseterr(st, CX_NOWRITE);
    if (w <= 0) return w;  // not reached: both statuses are fatal
    done += w;
  }
  return done;
}

int cxgetc(cxstate* st) {
  cxio* io = st->io;
  cxmain* mn = st->mn;
  io->incalls++;
  int c;
  if (io->inmode != 2 && (c = pushedback(st)) != -2) {
    if (st->sb->trace && mn->gettrace) mn->gettrace(st, c);
    return st->nm->lastchar = c;
  }
  if (io->inmode == 0) {
    cxoptblk* ob = st->ob;
    if (++ob->ticks >= ob->tickint) {
      cxprogtick(st);
      ob->ticks = 0;
    }
    c = bufferedget(st);
  } else {
    c = mn->getcb ? mn->getcb(st) : -1;
    if (st->sb->trace && mn->gettrace) mn->gettrace(st, c);
  }
  st->sb->lastget = c;
  return st->nm->lastchar = c;
}

int cxgetc2(cxstate* st) {
  int c = pushedback(st);
  if (c == -2) c = bufferedget(st);
  return st->nm->lastchar = c;
}

int cxpushback(cxstate* st, int byte) {
  cxio* io = st->io;
  cxmain* mn = st->mn;
  if (st->sb->trace && mn->pbtrace) mn->pbtrace(st, byte);
  if (io->inmode == 2) return mn->ungetcb ? mn->ungetcb(st, byte) : -1;
  if (!mn->pbbuf) return -1;
  if (io->pbcount < io->pbcap) {
    mn->pbbuf[io->pbcount++] = static_cast<unsigned char>(byte);
    return 0;
  }
  if (io->pbover == -1) {
    io->pbover = cxsopen(st, 2048);
    if (io->pbover == -1) return -1;
  }
  cxsputc(st, byte, io->pbover);
  return 0;
}

int cxputc2(cxstate* st, int byte) {
  cxio* io = st->io;
  cxmain* mn = st->mn;
  unsigned char* half = mn->outbuf[io->curhalf];
  if (!half) return 0;  // no output handle: nothing to write to
  io->outcount++;
  half[mn->outpos++] = static_cast<unsigned char>(byte);
  if (mn->outpos >= io->outsize) {
    int other = 1 - io->curhalf;
    if (io->pending[other]) {
      io->pending[other] = 0;
      cxwritechk(st, io->outhandle, mn->outbuf[other], io->outsize);
    }
    io->pending[io->curhalf] = 1;
    io->curhalf = other;
    mn->outpos = 0;
  }
  return 0;
}

int cxputc(cxstate* st, int byte) {
  if (st->io->outredir) {
    if (st->mn->putcb) st->mn->putcb(st, byte & 0xFF);
    return 0;
  }
  return cxputc2(st, byte);
}

int cxunputc(cxstate* st) {
  cxio* io = st->io;
  cxmain* mn = st->mn;
  if (io->outredir) return mn->unputcb ? mn->unputcb(st) : -1;
  if (io->outcount <= 0 || !mn->outbuf[0]) return -1;
  if (mn->outpos == 0) {
    io->pending[io->curhalf] = 0;
    io->curhalf = 1 - io->curhalf;
    mn->outpos = io->outsize;
    if (!io->pending[io->curhalf]) {
      // That half is already in the file: bring it back and let the next
      // write of it overwrite the same region.
      int h = io->outhandle;
      int n = io->outsize;
      bool ok = cxseek(st, h, -n, 1) >= 0;
      int got = 0;
      while (ok && got < n) {
        int r = cxread(st, h, mn->outbuf[io->curhalf] + got, n - got);
        if (r <= 0) ok = false;
        else got += r;
      }
      if (ok) ok = cxseek(st, h, -n, 1) >= 0;
      io->outrewound = 1;
      if (!ok) {
        io->curhalf = 0;
        mn->outpos = 0;
        io->pending[0] = io->pending[1] = 0;
        return -1;
      }
    }
    io->pending[io->curhalf] = 0;
  }
  io->outcount--;
  return mn->outbuf[io->curhalf][--mn->outpos];
}

int cxgetn(cxstate* st, int ignored, void* buf, int n) {
  auto* p = static_cast<unsigned char*>(buf);
  int i = 0;
  for (; i < n; i++) {
    int c = cxgetc(st);
    if (c < 0) break;
    p[i] = static_cast<unsigned char>(c);
  }
  return i;
}

int cxputn(cxstate* st, int ignored, const void* data, int n) {
  auto* p = static_cast<const unsigned char*>(data);
  for (int i = 0; i < n; i++) cxputc(st, p[i]);
  return n;
}

int cxoutredir(cxstate* st, cxputcb_t put, cxunputcb_t unput) {
  st->mn->putcb = put;
  st->mn->unputcb = unput;
  st->io->outredir = 1;
  return 0;
}

int cxoutnorm(cxstate* st) {
  st->io->outredir = 0;
  return 0;
}

int cxinredir(cxstate* st, cxgetcb_t get, cxungetcb_t unget) {
  st->mn->getcb = get;
  st->mn->ungetcb = unget;
  st->io->inmode = 2;
  return 0;
}

int cxinnorm(cxstate* st) {
  st->io->inmode = 0;
  return 0;
}

int cxingetcb(cxstate* st, cxgetcb_t get) {
  st->mn->getcb = get;
  st->io->inmode = 1;
  return 0;
}

int cxtraceon(cxstate* st, cxtracecb_t get, cxtracecb_t pushback) {
  st->mn->gettrace = get;
  st->mn->pbtrace = pushback;
  st->sb->trace = 1;
  return 0;
}

int cxtraceoff(cxstate* st) {
  st->sb->trace = 0;
  return 0;
}

int cxincount(cxstate* st) { return st->io->incalls; }
int cxoutcount(cxstate* st) { return st->io->outcount; }
int cxinbase(cxstate* st) { return st->io->inbase; }
int cxioword(cxstate* st) { return st->io->ioword; }

int cxrewind(cxstate* st) {
  cxio* io = st->io;
  while (pushedback(st) != -2) {
  }
  io->inbase = 0;
  io->pbcount = 0;
  io->ineof = 0;
  if (io->inhandle >= 0 && st->mn->inbuf) {
    if (cxseek(st, io->inhandle, 0, 0) < 0 || !refill(st)) return CX_READERR;
  }
  return 0;
}

int cxinseek(cxstate* st, int offset, int drop) {
  cxio* io = st->io;
  io->ineof = 0;
  if (drop == 1) {
    io->pbcount = 0;
    if (io->pbover != -1) {
      cxsclose(st, io->pbover);
      io->pbover = -1;
    }
  }
  if (io->inhandle >= 0 && st->mn->inbuf) {
    if (cxseek(st, io->inhandle, offset, 0) < 0) ccseterr(st, CX_READERR);
    io->inbase = offset;
    if (!refill(st)) ccseterr(st, CX_READERR);
  }
  return 0;
}
