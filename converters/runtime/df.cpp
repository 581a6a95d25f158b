// Reading compound documents: header and FAT list, directory search by name,
// and stream reads along FAT chains or, for small streams, mini-FAT chains.
// Documents come from outside: every sector number is checked against the
// file's length and every chain walk is bounded, so damage ends in a status.
#include "converters/runtime/df.h"

#include <cstring>

namespace {

constexpr int32_t kfree = -1;  // free or absent entry
constexpr int kwindow = 20480; // the document's virtual-file window

uint32_t le32(const unsigned char *p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Reports a failure through the callback (which normally ends the run) and
// gives the failure value when the callback returns or there is none.
template <class T>
T fail(cxstate *st, dferrcb_t cb, int status, T value) {
  if (cb) cb(st, status);
  return value;
}

dfslot *slotat(cxstate *st, int slot) {
  if (slot < 0 || slot >= DF_NSLOTS) return nullptr;
  return st->mn->dfslots[slot];
}

// The open document in slot, or null.
dfslot *openslot(cxstate *st, int slot) {
  dfslot *d = slotat(st, slot);
  return (d && d->inuse) ? d : nullptr;
}

// The callback to report a bad slot through: the slot's own when it has one.
dferrcb_t slotcb(cxstate *st, int slot) {
  dfslot *d = slotat(st, slot);
  return d ? d->errcb : nullptr;
}

dfstream *openstream(dfslot *d, int stream) {
  if (!d || stream < 0 || stream >= DF_NSTREAMS || !d->streams[stream].inuse) return nullptr;
  return &d->streams[stream];
}

// Reads n bytes of the document at off; the count read, short at its end.
int32_t rawread(cxstate *st, dfslot *d, int64_t off, void *buf, int32_t n) {
  int32_t size = bfsize(st, d->vfile);
  if (off < 0 || off >= size || n <= 0) return 0;
  if (off + n > size) n = static_cast<int32_t>(size - off);
  if (bfseek(st, d->vfile, static_cast<int32_t>(off)) != off) return 0;
  int32_t got = bfread(st, d->vfile, buf, n);
  return got < 0 ? 0 : got;
}

bool validsector(const dfslot *d, int64_t s) { return s >= 0 && s < d->nsectors; }

int64_t sectoroff(int64_t s) { return DF_SECTOR + DF_SECTOR * s; }

// Reads the 32-bit value at off; false when the document ends before it.
bool read32(cxstate *st, dfslot *d, int64_t off, int32_t *v) {
  unsigned char b[4];
  if (rawread(st, d, off, b, 4) != 4) return false;
  *v = static_cast<int32_t>(le32(b));
  return true;
}

// The next sector of s's chain: the FAT entry for s, or -1 when the header
// is not loaded, s lies beyond the FAT list, or the document is cut short.
int32_t dffatnext(cxstate *st, dfslot *d, int32_t s) {
  if (!d->hdr.loaded || s < 0) return kfree;
  int32_t idx = s / 128;
  if (idx >= d->hdr.fatcount || idx >= DF_NFAT) return kfree;
  int32_t fs = d->hdr.fat[idx];
  if (!validsector(d, fs)) return kfree;
  if (d->fatcached != idx) {
    // Whole FAT sectors are kept one at a time: a sequential walk then
    // reads each FAT sector once rather than once per entry.
    unsigned char b[DF_SECTOR];
    int32_t got = rawread(st, d, sectoroff(fs), b, DF_SECTOR);
    std::memset(b + got, 0xFF, DF_SECTOR - got);
    for (int i = 0; i < DF_SECTOR / 4; ++i) d->fatcache[i] = le32(b + 4 * i);
    d->fatcached = idx;
  }
  return static_cast<int32_t>(d->fatcache[s % 128]);
}

// Walks k steps along a chain from s; the sector reached, or -1 when the
// chain ends or leaves the document first. A chain cannot be longer than
// the document has sectors, so a loop ends too.
int32_t chainwalk(cxstate *st, dfslot *d, int32_t s, int64_t k) {
  if (k > d->nsectors) return kfree;
  for (int64_t i = 0; i < k; ++i) {
    if (!validsector(d, s)) return kfree;
    s = dffatnext(st, d, s);
  }
  return validsector(d, s) ? s : kfree;
}

// Loads the header: FAT sector count, mini-FAT fields and the FAT list.
bool dfhdrload(cxstate *st, dfslot *d) {
  if (d->hdr.loaded) return false;
  unsigned char h[DF_SECTOR];
  if (rawread(st, d, 0, h, DF_SECTOR) != DF_SECTOR) return false;
  d->hdr.fatcount = static_cast<int32_t>(le32(h + 44));
  d->hdr.minifat = static_cast<int32_t>(le32(h + 60));
  d->hdr.minifatcount = static_cast<int32_t>(le32(h + 64));
  for (int i = 0; i < 109; ++i) d->hdr.fat[i] = static_cast<int32_t>(le32(h + 76 + 4 * i));
  for (int i = 109; i < DF_NFAT; ++i) d->hdr.fat[i] = kfree;
  uint32_t ext = le32(h + 68);
  if (ext >= 1 && ext <= 0x7FFFFFFE && validsector(d, ext)) {
    unsigned char e[DF_SECTOR];
    if (rawread(st, d, sectoroff(ext), e, DF_SECTOR) == DF_SECTOR)
      for (int i = 0; i < 128; ++i) d->hdr.fat[109 + i] = static_cast<int32_t>(le32(e + 4 * i));
  }
  if (d->hdr.fatcount <= 0) return false;
  d->hdr.loaded = 1;
  d->hdr.mode = 1;
  return true;
}

// The entry name's characters against the wanted name's bytes, up to and
// including the entry's terminating 0; exact and case-sensitive.
bool dfnamecmp(const unsigned char *entry, const char *name) {
  for (int i = 0; i < 32; ++i) {
    uint32_t c = entry[2 * i] | (entry[2 * i + 1] << 8);
    if (c != static_cast<unsigned char>(name[i])) return false;
    if (c == 0) return true;
  }
  return false;
}

// Finds the directory entry of a name; its file offset, or -1.
int64_t dffind(cxstate *st, dfslot *d, const char *name) {
  if (!name || !*name) return -1;
  int32_t s = d->dirstart;
  for (int32_t steps = 0; validsector(d, s) && steps <= d->nsectors; ++steps) {
    unsigned char sec[DF_SECTOR];
    int32_t got = rawread(st, d, sectoroff(s), sec, DF_SECTOR);
    for (int e = 0; e + 128 <= got; e += 128)
      if (dfnamecmp(sec + e, name)) return sectoroff(s) + e;
    s = dffatnext(st, d, s);
  }
  return -1;
}

// Opens the entry of a name into a stream entry; false when it is missing.
bool dfentopen(cxstate *st, dfslot *d, dfstream *t, const char *name) {
  int64_t off = dffind(st, d, name);
  if (off < 0) return false;
  unsigned char e[128];
  if (rawread(st, d, off, e, 128) != 128) return false;
  int32_t size = static_cast<int32_t>(le32(e + 120));
  if (size < 0) return false; // no stream this reader can hold
  for (int i = 0; i < 32; ++i) t->name[i] = e[2 * i] | (e[2 * i + 1] << 8);
  t->start = static_cast<int32_t>(le32(e + 116));
  t->size = size;
  t->entryoff = static_cast<int32_t>(off);
  return true;
}

// The next mini sector of m's chain in the mini FAT, or -1.
int32_t dfminifatnext(cxstate *st, dfslot *d, int32_t m) {
  if (m < 0) return kfree;
  int32_t s = chainwalk(st, d, d->hdr.minifat, m / 128);
  int32_t v;
  if (s < 0 || !read32(st, d, sectoroff(s) + 4 * (m % 128), &v)) return kfree;
  return v;
}

// The file offset of mini sector m inside the mini stream, or -1.
int64_t dfminiloc(cxstate *st, dfslot *d, int32_t m) {
  int32_t root;
  if (m < 0 || !validsector(d, d->dirstart) ||
      !read32(st, d, sectoroff(d->dirstart) + 116, &root))
    return -1;
  int32_t r = chainwalk(st, d, root, m / 8);
  if (r < 0) return -1;
  return sectoroff(r) + DF_MINISECTOR * (m % 8);
}

// Reads n bytes from the stream's position through the FAT chain.
int32_t bigread(cxstate *st, dfslot *d, dfstream *t, unsigned char *out, int32_t n) {
  int32_t s = chainwalk(st, d, t->start, t->pos / DF_SECTOR);
  int32_t done = 0;
  int64_t steps = 0;
  while (done < n && s >= 0) {
    int32_t in = t->pos % DF_SECTOR;
    int32_t k = DF_SECTOR - in;
    if (k > n - done) k = n - done;
    // A last sector cut short still serves the bytes it holds.
    int32_t got = rawread(st, d, sectoroff(s) + in, out + done, k);
    done += got;
    t->pos += got;
    if (got < k || ++steps > d->nsectors) break;
    if (done < n) {
      s = dffatnext(st, d, s);
      if (!validsector(d, s)) break;
    }
  }
  return done;
}

// Reads n bytes from the stream's position through the mini stream.
int32_t dfminiread(cxstate *st, dfslot *d, dfstream *t, unsigned char *out, int32_t n) {
  int32_t m = t->start;
  int64_t limit = static_cast<int64_t>(d->nsectors) * 8;
  for (int64_t i = 0, k = t->pos / DF_MINISECTOR; i < k && m >= 0; ++i) {
    if (i > limit) return 0;
    m = dfminifatnext(st, d, m);
  }
  int32_t done = 0;
  int64_t steps = 0;
  while (done < n && m >= 0) {
    int64_t at = dfminiloc(st, d, m);
    if (at < 0) break;
    int32_t in = t->pos % DF_MINISECTOR;
    int32_t k = DF_MINISECTOR - in;
    if (k > n - done) k = n - done;
    int32_t got = rawread(st, d, at + in, out + done, k);
    done += got;
    t->pos += got;
    if (got < k || ++steps > limit) break;
    if (done < n) m = dfminifatnext(st, d, m);
  }
  return done;
}

void releasepath(cxstate *st, dfslot *d) {
  if (d->path) cxfree(st, d->path);
  d->path = nullptr;
}

} // namespace

int dfopen(cxstate *st, const char *path, int mode, void *cookie, dferrcb_t errcb) {
  cxmain *mn = st->mn;
  if (st->io->dffirst) {
    for (int i = 0; i < DF_NSLOTS; ++i) {
      if (!mn->dfslots[i]) mn->dfslots[i] = static_cast<dfslot *>(cxalloc(st, sizeof(dfslot)));
      if (!mn->dfslots[i]) return fail(st, errcb, CX_NOMEM, -1);
      std::memset(mn->dfslots[i], 0, sizeof(dfslot));
    }
    st->io->dffirst = 0;
  }
  int slot = -1;
  for (int i = 0; i < DF_NSLOTS && slot < 0; ++i)
    if (mn->dfslots[i] && !mn->dfslots[i]->inuse) slot = i;
  if (slot < 0 || !path || mode != 1) return fail(st, errcb, CX_WARN, -1);
  dfslot *d = mn->dfslots[slot];
  std::memset(d, 0, sizeof *d);
  d->errcb = errcb;
  d->fatcached = -1;
  size_t plen = std::strlen(path);
  d->path = static_cast<char *>(cxalloc(st, plen + 1));
  if (!d->path) return fail(st, errcb, CX_NOMEM, -1);
  std::memcpy(d->path, path, plen + 1);
  d->vfile = bfopen(st, d->path, kwindow, 1, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  if (d->vfile < 0) {
    releasepath(st, d);
    return fail(st, errcb, CX_WARN, -1);
  }
  int32_t size = bfsize(st, d->vfile);
  d->nsectors = size > DF_SECTOR ? (size - DF_SECTOR + DF_SECTOR - 1) / DF_SECTOR : 0;
  static const unsigned char sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  unsigned char head[8];
  bool ok = rawread(st, d, 0, head, 8) == 8 && std::memcmp(head, sig, 4) == 0 &&
            std::memcmp(head + 4, sig + 4, 4) == 0 && dfhdrload(st, d);
  int32_t dir = kfree;
  if (!ok || !read32(st, d, 48, &dir)) {
    bfclose(st, d->vfile);
    releasepath(st, d);
    std::memset(d, 0, sizeof *d);
    return fail(st, errcb, CX_NOTFMT, -1);
  }
  d->dirstart = dir;
  d->mode = mode;
  d->cookie = cookie;
  d->inuse = 1;
  return slot;
}

int dfdocclose(cxstate *st, int slot) {
  dfslot *d = openslot(st, slot);
  if (!d) return fail(st, slotcb(st, slot), CX_WARN, 0);
  for (dfstream &t : d->streams) t.inuse = 0;
  d->hdr.loaded = 0;
  int f = d->vfile;
  char *path = d->path;
  dferrcb_t cb = d->errcb;
  std::memset(d, 0, sizeof *d);
  d->errcb = cb;
  bfclose(st, f);
  cxfree(st, path);
  return 0;
}

int dfstmopen(cxstate *st, int slot, const char *name, int mode, int share) {
  dfslot *d = openslot(st, slot);
  if (!d) return fail(st, slotcb(st, slot), CX_WARN, -1);
  int free = -1;
  for (int i = 0; i < DF_NSTREAMS && free < 0; ++i)
    if (!d->streams[i].inuse) free = i;
  // Only existing streams open: a document is never written here.
  if (free < 0 || mode < 1 || mode > 3) return fail(st, d->errcb, CX_WARN, -1);
  dfstream t{};
  if (!dfentopen(st, d, &t, name)) return fail(st, d->errcb, CX_WARN, -1);
  t.mode = mode;
  t.share = share;
  t.pos = 0;
  t.inuse = 1;
  d->streams[free] = t;
  return free;
}

int32_t dfstmread(cxstate *st, int slot, int stream, void *buf, int32_t n) {
  dfslot *d = openslot(st, slot);
  dfstream *t = openstream(d, stream);
  if (!t || !buf) return fail(st, slotcb(st, slot), CX_WARN, 0);
  if (n <= 0 || t->pos >= t->size) return 0;
  if (n > t->size - t->pos) n = t->size - t->pos;
  auto *out = static_cast<unsigned char *>(buf);
  if (t->size < DF_MINICUTOFF && st->fb->ministream == 1) return dfminiread(st, d, t, out, n);
  return bigread(st, d, t, out, n);
}

int32_t dfstmwrite(cxstate *st, int slot, int stream, const void *data, int32_t n) {
  return fail(st, slotcb(st, slot), CX_WARN, -1);
}

int32_t dfstmseek(cxstate *st, int slot, int stream, int32_t offset, int origin) {
  dfslot *d = openslot(st, slot);
  dfstream *t = openstream(d, stream);
  if (!t) return fail(st, slotcb(st, slot), CX_WARN, -1);
  int64_t to;
  switch (origin) {
  case 0: to = offset; break;
  case 1: to = static_cast<int64_t>(t->pos) + offset; break;
  case 2: to = static_cast<int64_t>(t->size) + offset; break;
  default: return fail(st, d->errcb, CX_WARN, -1);
  }
  if (to < 0 || to > t->size) return fail(st, d->errcb, CX_WARN, -1);
  t->pos = static_cast<int32_t>(to);
  return t->pos;
}

int32_t dfstmsize(cxstate *st, int slot, int stream) {
  dfstream *t = openstream(openslot(st, slot), stream);
  return t ? t->size : fail(st, slotcb(st, slot), CX_WARN, -1);
}

int32_t dfstmtell(cxstate *st, int slot, int stream) {
  dfstream *t = openstream(openslot(st, slot), stream);
  return t ? t->pos : fail(st, slotcb(st, slot), CX_WARN, -1);
}

int32_t dfstmsetpos(cxstate *st, int slot, int stream, int32_t pos) {
  dfstream *t = openstream(openslot(st, slot), stream);
  if (!t) return fail(st, slotcb(st, slot), CX_WARN, -1);
  if (pos < 0 || pos > t->size) return -1;
  t->pos = pos;
  return pos;
}

int dfstmclose(cxstate *st, int slot, int stream) {
  dfstream *t = openstream(openslot(st, slot), stream);
  if (!t) return fail(st, slotcb(st, slot), CX_WARN, 0);
  *t = dfstream{};
  return 0;
}
