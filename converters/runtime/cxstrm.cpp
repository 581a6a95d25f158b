// Scratch streams: byte sequences of any length that keep one buffer in
// memory and spill further halves to a temporary file, read as a queue,
// popped as a stack or pushed back into; and the sink and source stacks
// that route a run's output or input through them.
#include "converters/runtime/cx.h"

#include <cstring>

struct cxstrm {
  int capacity;       // bytes of the data area (two halves)
  int half;
  int wend;           // bytes held in memory
  int rpos;           // read position
  int spilled;        // halves written to the spill file
  int readback;       // of those, halves already read back
  int contuse;        // pushed-back bytes wait in the continuation stream
  int cont;           // continuation stream, -1 none
  char name[300];     // spill file name, empty until the first spill
  unsigned char data[1];
};

namespace {

cxstrm* strm(cxstate* st, int s) {
  if (s < 0 || s >= CX_NSTREAMS) return nullptr;
  return st->mn->strms[s];
}

// Releases the shared spill handle.
void spillrelease(cxstate* st) {
  cxfileblk* fb = st->fb;
  if (fb->spillhandle >= 0) cxclose(st, fb->spillhandle);
  fb->spillhandle = -1;
  fb->spillowner = -1;
  st->io->spillpos = 0;
}

// Makes the shared spill handle this stream's, positioned at offset.
int spillacquire(cxstate* st, int s, cxstrm* p, int offset) {
  cxfileblk* fb = st->fb;
  if (fb->spillowner != s || fb->spillhandle < 0) {
    spillrelease(st);
    int h;
    if (!p->name[0]) {
      cctmpname(st, st->nm->intfile, p->name);
      h = cxopen(st, p->name, 2, 3);
    } else {
      h = cxopen(st, p->name, 3, 3);
    }
    if (h < 0) ccseterr(st, CX_NOOUTPUT);
    fb->spillhandle = h;
    fb->spillowner = s;
    st->io->spillpos = 0;
  }
  if (st->io->spillpos != offset) {
    if (cxseek(st, fb->spillhandle, offset, 0) != offset) ccseterr(st, CX_WRITEERR);
    st->io->spillpos = offset;
  }
  return fb->spillhandle;
}

// Deletes the stream's spill file, whose halves have all come back.
void spilldrop(cxstate* st, int s, cxstrm* p) {
  if (st->fb->spillowner == s) spillrelease(st);
  if (p->name[0]) cxunlink(st, p->name);
  p->name[0] = '\0';
  p->spilled = p->readback = 0;
}

void spillwrite(cxstate* st, int s, cxstrm* p, const unsigned char* from) {
  int off = p->spilled * p->half;
  int h = spillacquire(st, s, p, off);
  cxwritechk(st, h, from, p->half);
  st->io->spillpos += p->half;
  p->spilled++;
}

void spillread(cxstate* st, int s, cxstrm* p, int index, unsigned char* to) {
  int off = index * p->half;
  int h = spillacquire(st, s, p, off);
  int got = 0;
  while (got < p->half) {
    int r = cxread(st, h, to + got, p->half - got);
    if (r <= 0) {
      st->io->spillpos = -1;  // unknown after a failed read
      ccseterr(st, CX_READERR);
    }
    got += r;
  }
  st->io->spillpos += p->half;
}

int pendinghalves(const cxstrm* p) {
  return p->spilled - p->readback;
}

// Takes up to n bytes of stream s into buf, one at a time through take,
// until it answers below 0; the number taken.
int takeeach(cxstate* st, int s, void* buf, int n, int (*take)(cxstate*, int)) {
  auto* b = static_cast<unsigned char*>(buf);
  int i = 0;
  for (; i < n; i++) {
    int c = take(st, s);
    if (c < 0) break;
    b[i] = static_cast<unsigned char>(c);
  }
  return i;
}

}  // namespace

int cxsopen(cxstate* st, int size) {
  cxfileblk* fb = st->fb;
  if (fb->nstreams >= CX_NSTREAMS) return -1;
  if (size < 30000) size = 30000;
  cxstrm* p = nullptr;
  for (; size > 1 && !p; size -= 128)
    p = static_cast<cxstrm*>(cxalloc(st, sizeof(cxstrm) + static_cast<size_t>(size) + 16));
  if (!p) return -1;
  size += 128;  // the loop stepped once past the size that was granted
  int slot = fb->nstreams;
  for (int i = 0; i < fb->nstreams; i++)
    if (!st->mn->strms[i]) {
      slot = i;
      break;
    }
  p->half = size / 2;
  p->capacity = 2 * p->half;
  p->cont = -1;
  st->mn->strms[slot] = p;
  fb->nstreams++;
  return slot;
}

int cxsputc(cxstate* st, int byte, int s) {
  cxstrm* p = strm(st, s);
  if (!p) return -1;
  if (p->wend >= p->capacity) {
    spillwrite(st, s, p, p->data + p->half);
    p->wend = p->half;
  }
  p->data[p->wend++] = static_cast<unsigned char>(byte);
  return 0;
}

int cxsputs(cxstate* st, int s, const void* data, int n) {
  auto* b = static_cast<const unsigned char*>(data);
  for (int i = 0; i < n; i++) cxsputc(st, b[i], s);
  return 0;
}

int cxsgetc(cxstate* st, int s) {
  cxstrm* p = strm(st, s);
  if (!p) return -1;
  if (p->contuse) {
    int c = cxspop(st, p->cont);
    if (c != -1) return c;
    cxsclose(st, p->cont);
    p->cont = -1;
    p->contuse = 0;
  }
  if (pendinghalves(p) > 0 && p->rpos >= p->half) {
    spillread(st, s, p, p->readback, p->data);
    p->readback++;
    p->rpos = 0;
    if (pendinghalves(p) == 0) spilldrop(st, s, p);
  } else if (pendinghalves(p) == 0 && p->rpos >= p->half && p->rpos < p->wend) {
    std::memmove(p->data, p->data + p->rpos, static_cast<size_t>(p->wend - p->rpos));
    p->wend -= p->rpos;
    p->rpos = 0;
  }
  if (pendinghalves(p) == 0 && p->rpos >= p->wend) {
    // Read to the end: the stream is empty and can be filled again.
    if (p->name[0]) spilldrop(st, s, p);
    p->wend = p->rpos = 0;
    return -1;
  }
  return p->data[p->rpos++];
}

int cxsgets(cxstate* st, int s, void* buf, int n) { return takeeach(st, s, buf, n, cxsgetc); }

int cxspop(cxstate* st, int s) {
  cxstrm* p = strm(st, s);
  if (!p) return -1;
  if (pendinghalves(p) > 0 && p->wend <= p->half) {
    // The upper half is used up: the last spilled half comes back into it.
    spillread(st, s, p, p->spilled - 1, p->data + p->half);
    p->spilled--;
    p->wend = p->capacity;
    if (pendinghalves(p) == 0) spilldrop(st, s, p);
  }
  if (pendinghalves(p) == 0 && p->wend <= p->rpos) {
    if (p->contuse) {
      int c = cxsgetc(st, p->cont);
      if (c == -1) {
        cxsclose(st, p->cont);
        p->cont = -1;
        p->contuse = 0;
      }
      return c;
    }
    return -1;
  }
  return p->data[--p->wend];
}

int cxspops(cxstate* st, int s, void* buf, int n) { return takeeach(st, s, buf, n, cxspop); }

int cxsunget(cxstate* st, int byte, int s) {
  cxstrm* p = strm(st, s);
  if (!p) return -1;
  if (p->contuse || p->rpos == 0) {
    if (p->cont == -1) {
      int want = p->half < 128 ? 128 : p->half > 2048 ? 2048 : p->half;
      p->cont = cxsopen(st, want);
      if (p->cont == -1) return -1;
    }
    cxsputc(st, byte, p->cont);
    p->contuse = 1;
    return 0;
  }
  p->data[--p->rpos] = static_cast<unsigned char>(byte);
  return 0;
}

int32_t cxsavail(cxstate* st, int s) {
  cxstrm* p = strm(st, s);
  if (!p) return 0;
  int32_t n = p->wend - p->rpos + pendinghalves(p) * p->half;
  if (p->contuse) n += cxsavail(st, p->cont);
  return n;
}

int cxsclose(cxstate* st, int s) {
  cxstrm* p = strm(st, s);
  if (!p || st->fb->nstreams <= 0) return 0;
  st->mn->strms[s] = nullptr;
  st->fb->nstreams--;
  if (p->cont != -1) cxsclose(st, p->cont);
  if (st->fb->spillowner == s) spillrelease(st);
  if (p->name[0]) cxunlink(st, p->name);
  cxfree(st, p);
  return 0;
}

int cxscloseall(cxstate* st) {
  for (int i = 0; i < CX_NSTREAMS; i++)
    if (st->mn->strms[i]) cxsclose(st, i);
  return 0;
}

int cxsclosebut(cxstate* st, int s) {
  for (int i = 0; i < CX_NSTREAMS; i++)
    if (i != s && st->mn->strms[i]) cxsclose(st, i);
  return 0;
}

// ---------------------------------------------------------------- sink and source stacks

namespace {

cxw2head* w2head(cxstate* st) {
  if (!st->w2blk) cxthrow(st, CX_WARN);
  return static_cast<cxw2head*>(st->w2blk);
}

int sinkput(cxstate* st, int byte) {
  cxw2head* h = w2head(st);
  return cxsputc(st, byte, h->sinks[h->nsinks - 1]);
}

int sinkunput(cxstate* st) {
  cxw2head* h = w2head(st);
  return cxspop(st, h->sinks[h->nsinks - 1]);
}

int srcget(cxstate* st) {
  cxw2head* h = w2head(st);
  return cxsgetc(st, h->srcs[h->nsrcs - 1]);
}

int srcunget(cxstate* st, int byte) {
  cxw2head* h = w2head(st);
  return cxsunget(st, byte, h->srcs[h->nsrcs - 1]);
}

// Pushes stream s on a stack of n streams, which holds CX_NSINKS (one more
// ends the run with a warning); true when it is the first.
bool stackpush(cxstate* st, int* stack, int& n, int s) {
  if (n < 0 || n >= CX_NSINKS) cxthrow(st, CX_WARN);
  stack[n++] = s;
  return n == 1;
}

// Pops the top of a stack of n streams (an empty one ends the run with a
// warning); true when it is empty then.
bool stackpop(cxstate* st, int& n) {
  if (n <= 0 || n > CX_NSINKS) cxthrow(st, CX_WARN);
  return --n == 0;
}

}  // namespace

int ccpushsink(cxstate* st, int s) {
  cxw2head* h = w2head(st);
  if (stackpush(st, h->sinks, h->nsinks, s)) cxoutredir(st, sinkput, sinkunput);
  return 0;
}

int ccpopsink(cxstate* st) {
  if (stackpop(st, w2head(st)->nsinks)) cxoutnorm(st);
  return 0;
}

int ccsetsink(cxstate* st, int s) {
  cxw2head* h = w2head(st);
  if (h->setsink == -1) {
    ccpushsink(st, s);
    h->setsink = h->nsinks - 1;
    return 0;
  }
  if (h->setsink != h->nsinks - 1) cxthrow(st, CX_WARN);
  h->sinks[h->setsink] = s;
  return 0;
}

int ccendsink(cxstate* st) {
  cxw2head* h = w2head(st);
  if (h->setsink == -1 || h->setsink != h->nsinks - 1) cxthrow(st, CX_WARN);
  ccpopsink(st);
  h->setsink = -1;
  return 0;
}

int ccpushsrc(cxstate* st, int s) {
  cxw2head* h = w2head(st);
  if (stackpush(st, h->srcs, h->nsrcs, s)) cxinredir(st, srcget, srcunget);
  return 0;
}

int ccpopsrc(cxstate* st) {
  if (stackpop(st, w2head(st)->nsrcs)) cxinnorm(st);
  return 0;
}
