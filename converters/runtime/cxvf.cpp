// Virtual files: a named file seen through one in-memory window, reopened for
// every window transfer so that a run holds no handle between calls. The six
// file callbacks default to the converter file layer.
#include "converters/runtime/cx.h"

#include <cstring>

namespace {

constexpr uint32_t kmaxwin = 0x7FFF;

// Reports a failure to the table's error callback (which may end the run).
void bffail(cxstate* st, int status) {
  if (st->mn->bferr) st->mn->bferr(st, status);
}

// The open slot f, or null (after reporting 5) for a bad file number.
bfslot* slotof(cxstate* st, int f) {
  if (!st->mn->bftab || f < 0 || f >= st->io->bfcount || !st->mn->bftab[f].name) {
    bffail(st, CX_WARN);
    return nullptr;
  }
  return &st->mn->bftab[f];
}

// Writes a changed window back to the file; 0, or -1 after reporting 5.
int bfflush(cxstate* st, bfslot* s) {
  if (s->size == 0) {
    s->dirty = 0;
    return 0;
  }
  int h = s->open(st, s->name, 3, 1);
  if (h < 0) {
    bffail(st, CX_WARN);
    return -1;
  }
  int32_t n = s->size - s->bufoff;
  if (n > static_cast<int32_t>(s->bufsize)) n = static_cast<int32_t>(s->bufsize);
  if (n < 0) n = 0;
  if (s->seek(st, h, s->bufoff, 0) != s->bufoff || s->write(st, h, s->buf, n) != n) {
    s->close(st, h);
    bffail(st, CX_WARN);
    return -1;
  }
  s->dirty = 0;
  if (s->close(st, h) != 0) {
    bffail(st, CX_WARN);
    return -1;
  }
  return 0;
}

// Loads the window at pos. ondisk is the length the file holds (the size
// before a write piece grew it): exactly the bytes of the file between pos
// and ondisk that fit the window must arrive, or the load fails, so that a
// short read never leaves the previous window's bytes in place of the file's.
int bfload(cxstate* st, bfslot* s, int32_t pos, int32_t ondisk) {
  int32_t want = ondisk - pos;
  if (want > static_cast<int32_t>(s->bufsize)) want = static_cast<int32_t>(s->bufsize);
  int32_t got = 0;
  if (want > 0) {
    int h = s->open(st, s->name, 1, 1);
    if (h < 0) {
      bffail(st, CX_WARN);
      return -1;
    }
    while (got < want) {
      if (got == 0 && s->seek(st, h, pos, 0) != pos) break;
      int r = s->read(st, h, s->buf + got, want - got);
      if (r <= 0) break;
      got += r;
    }
    if (got < want) {
      s->close(st, h);
      bffail(st, CX_WARN);
      return -1;
    }
    if (s->close(st, h) != 0) {
      bffail(st, CX_WARN);
      return -1;
    }
  }
  std::memset(s->buf + got, 0, s->bufsize - static_cast<uint32_t>(got));
  s->bufoff = pos;
  return 0;
}

// Moves one piece of at most one window between the caller and the file.
int32_t piece(cxstate* st, bfslot* s, unsigned char* rbuf, const unsigned char* wbuf, int32_t n) {
  if (n <= 0) return 0;
  int32_t ondisk = s->size;
  if (rbuf) {
    if (s->pos + n > s->size) {
      bffail(st, CX_WARN);
      return -1;
    }
  } else if (s->pos + n > s->size) {
    s->size = s->pos + n;
  }
  if (s->pos < s->bufoff ||
      static_cast<int64_t>(s->pos) + n >= static_cast<int64_t>(s->bufoff) + s->bufsize) {
    if (s->dirty && (wbuf || s->mode != 1) && bfflush(st, s) != 0) return -1;
    if (bfload(st, s, s->pos, ondisk) != 0) return -1;
  }
  unsigned char* at = s->buf + (s->pos - s->bufoff);
  if (rbuf) {
    std::memcpy(rbuf, at, static_cast<size_t>(n));
  } else {
    std::memcpy(at, wbuf, static_cast<size_t>(n));
    s->dirty = 1;
  }
  s->pos += n;
  return n;
}

}  // namespace

int bfinit(cxstate* st, int n, cxerrcb_t err) {
  if (st->mn->bftab) bfcloseall(st);
  st->mn->bferr = err;
  if (n < 0 || n > CX_BFMAX) {
    bffail(st, CX_WARN);
    return -1;
  }
  st->mn->bftab = static_cast<bfslot*>(cxalloc(st, sizeof(bfslot) * static_cast<size_t>(n)));
  if (!st->mn->bftab) {
    bffail(st, CX_NOMEM);
    return -1;
  }
  st->io->bfcount = n;
  return 0;
}

int bfslots(cxstate* st, int n, cxerrcb_t err) {
  return bfinit(st, n, err);
}

int bfopen(cxstate* st, const char* name, int bufsize, int mode, bfopen_t open, bfclose_t close,
           bfread_t read, bfwrite_t write, bfseek_t seek, bfexists_t exists) {
  uint32_t win = bufsize <= 0 ? 1 : static_cast<uint32_t>(bufsize);
  if (win > kmaxwin) win = kmaxwin;
  bfslot* tab = st->mn->bftab;
  int f = -1;
  for (int i = 0; tab && i < st->io->bfcount; i++)
    if (!tab[i].name) {
      f = i;
      break;
    }
  if (f < 0 || !name || mode < 1 || mode > 3) {
    bffail(st, CX_WARN);
    return -1;
  }
  bfslot s{};
  s.open = open ? open : cxopen;
  s.close = close ? close : cxclose;
  s.read = read ? read : cxread;
  s.write = write ? write : cxwrite;
  s.seek = seek ? seek : cxseek;
  s.exists = exists ? exists : cxexists;
  s.mode = static_cast<uint8_t>(mode);
  s.bufsize = win;
  s.name = name;
  if (mode == 1 && s.exists(st, name) != 0) {
    bffail(st, CX_WARN);
    return -1;
  }
  int h = s.open(st, name, mode, 1);
  if (h < 0) {
    bffail(st, CX_WARN);
    return -1;
  }
  s.buf = static_cast<unsigned char*>(cxalloc(st, win));
  if (!s.buf) {
    s.close(st, h);
    bffail(st, CX_NOMEM);
    return -1;
  }
  s.size = s.seek(st, h, 0, 2);
  bool bad = s.size < 0 || s.seek(st, h, 0, 0) != 0;
  if (!bad && s.size > 0) {
    int32_t want = s.size < static_cast<int32_t>(win) ? s.size : static_cast<int32_t>(win);
    int32_t got = 0;
    while (got < want) {
      int r = s.read(st, h, s.buf + got, want - got);
      if (r <= 0) break;
      got += r;
    }
    bad = got < want;
  }
  if (bad) {
    s.close(st, h);
    cxfree(st, s.buf);
    bffail(st, CX_WARN);
    return -1;
  }
  if (s.close(st, h) != 0) {
    cxfree(st, s.buf);
    bffail(st, CX_WARN);
    return -1;
  }
  tab[f] = s;
  return f;
}

int32_t bfsize(cxstate* st, int f) {
  bfslot* s = slotof(st, f);
  return s ? s->size : 0;
}

int32_t bfseek(cxstate* st, int f, int32_t pos) {
  bfslot* s = slotof(st, f);
  if (!s) return 0;
  if (pos < 0 || pos > s->size) {
    bffail(st, CX_WARN);
    return 0;
  }
  s->pos = pos;
  return pos;
}

int32_t bftell(cxstate* st, int f) {
  bfslot* s = slotof(st, f);
  return s ? s->pos : 0;
}

int32_t bfread(cxstate* st, int f, void* buf, int32_t n) {
  bfslot* s = slotof(st, f);
  if (!s) return -1;
  if (!buf) {
    bffail(st, CX_WARN);
    return -1;
  }
  if (n > 0 && s->pos + static_cast<int64_t>(n) > s->size) {
    // A request beyond the size reads nothing and does not move.
    bffail(st, CX_WARN);
    return -1;
  }
  auto* out = static_cast<unsigned char*>(buf);
  int32_t total = 0;
  while (total < n) {
    int32_t k = n - total;
    if (k > static_cast<int32_t>(s->bufsize)) k = static_cast<int32_t>(s->bufsize);
    int32_t r = piece(st, s, out + total, nullptr, k);
    if (r < 0) return -1;
    total += r;
  }
  return total;
}

int32_t bfwrite(cxstate* st, int f, const void* data, int32_t n) {
  bfslot* s = slotof(st, f);
  if (!s) return -1;
  if (!data || s->mode == 1) {
    bffail(st, CX_WARN);
    return -1;
  }
  if (n > 0 && s->pos + static_cast<int64_t>(n) > INT32_MAX) {
    bffail(st, CX_WARN);
    return -1;
  }
  auto* in = static_cast<const unsigned char*>(data);
  int32_t total = 0;
  while (total < n) {
    int32_t k = n - total;
    if (k > static_cast<int32_t>(s->bufsize)) k = static_cast<int32_t>(s->bufsize);
    int32_t r = piece(st, s, nullptr, in + total, k);
    if (r < 0) return -1;
    total += r;
  }
  return total;
}

int bfclose(cxstate* st, int f) {
  bfslot* s = slotof(st, f);
  if (!s) return -1;
  // The slot is released before the write-back can report, so that a failed
  // write-back that ends the run leaves nothing half-closed behind.
  bfslot copy = *s;
  *s = bfslot{};
  int rc = 0;
  try {
    if (copy.dirty) rc = bfflush(st, &copy);
  } catch (...) {
    cxfree(st, copy.buf);
    throw;
  }
  cxfree(st, copy.buf);
  return rc;
}

int bfcloseall(cxstate* st) {
  bfslot* tab = st->mn->bftab;
  int rc = 0;
  bool thrown = false;
  cxunwind first{0};
  for (int i = 0; tab && i < st->io->bfcount; i++) {
    if (!tab[i].name) continue;
    try {
      if (bfclose(st, i) != 0) rc = -1;
    } catch (const cxunwind& u) {
      if (!thrown) first = u;
      thrown = true;
      rc = -1;
    }
  }
  if (tab) cxfree(st, tab);
  st->mn->bftab = nullptr;
  st->io->bfcount = 0;
  st->mn->bferr = nullptr;
  if (thrown) throw first;
  return rc;
}
