// The compound-file reader: header and allocation-table sector list, the
// directory read as a stream, streams found by name or by storage path,
// small streams loaded whole from the mini stream, regular streams through a
// sector chain resolved at open and a cache of four eight-sector pages.
//
// Files come from outside: every walk over a chain, the directory or the
// sibling tree is bounded by the number of sectors the file holds, and no
// allocation is sized from a field larger than the file.
#include "filters/framework/runtime/cv.h"
#include "filters/framework/runtime/cvint.h"

#include <cstring>

namespace {

constexpr unsigned char signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr int WORK = 2048;       // bytes of the work buffer in use
constexpr int PAGE = 8 * OLST_SECTOR;
constexpr int ENTRY = 128;
constexpr int32_t FREESECT = -1, ENDOFCHAIN = -2;

olststg* stgof(cvrun* run, int stg) {
  if (!run->olsetup || stg < 0 || stg >= OLST_NSTG || run->olstgs[stg].fh < 0) return nullptr;
  return &run->olstgs[stg];
}

olststream* slotof(cvrun* run, int slot) {
  if (!run->olsetup || slot < 0 || slot >= OLST_NSTREAMS || run->olstreams[slot].owner < 0) return nullptr;
  return &run->olstreams[slot];
}

int32_t word(const unsigned char* p) { return cwget32(p, 0); }

// Reads count bytes at a file offset; the bytes the file did not have are
// zero. The number read, or -1 when nothing could be read.
int readat(cvrun* run, const olststg* g, long offset, void* buf, int count) {
  std::memset(buf, 0, count);
  if (offset < 0 || offset >= g->filesize || cvfseek(run, g->fh, offset, 0) < 0) return -1;
  int n = cvfread(run, g->fh, buf, count);
  return n > 0 ? n : -1;
}

long sectorpos(int32_t s) { return (static_cast<long>(s) + 1) * OLST_SECTOR; }

bool insideof(const olststg* g, int32_t s) { return s >= 0 && s < g->nsectors; }

// The next sector of a chain in the current storage; -1 when the table has
// no entry for it.
int32_t fatnext(cvrun* run, int32_t s) {
  olststg* g = stgof(run, run->olcur);
  if (!g || s < 0 || s / 128 >= g->fatcount) return FREESECT;
  int32_t fs = g->fatlist[s / 128];
  if (!insideof(g, fs)) return FREESECT;
  if (fs != g->fatbufsec) {
    g->fatbufsec = -1;
    if (readat(run, g, sectorpos(fs), g->fatbuf, OLST_SECTOR) < 0) return FREESECT;
    g->fatbufsec = fs;
  }
  return word(g->fatbuf + 4 * (s % 128));
}

// Walks n steps along a chain; the sector reached, or -1 when the chain
// ends first or n is more than the file holds.
int32_t fatwalk(cvrun* run, int32_t s, long n) {
  olststg* g = stgof(run, run->olcur);
  if (!g || n > g->nsectors) return FREESECT;
  for (long i = 0; i < n && s >= 0; i++) s = fatnext(run, s);
  return s >= 0 ? s : FREESECT;
}

int freeslot(cvrun* run) {
  for (int i = 0; i < OLST_NSTREAMS; i++)
    if (run->olstreams[i].owner < 0) return i;
  return -1;
}

void clearslot(olststream* t) {
  std::memset(t, 0, sizeof *t);
  t->owner = -1;
  t->loaded = -1;
  t->chain = -1;
}

// Frees what a slot holds and marks it free.
void dropslot(cvrun* run, olststream* t) {
  if (t->chain >= 0) cvsclose(run, t->chain);
  if (t->buf) cvfree(run, t->buf);
  if (t->mem) cvfree(run, t->mem);
  clearslot(t);
}

// Marks a cache page most recent.
void touch(cvrun* run, olstcache* page) {
  for (int i = 0; i < OLST_NCACHE; i++) {
    olstcache* c = &run->olcache[i];
    if (c != page && c->age < page->age) c->age++;
  }
  page->age = 0;
}

// Makes sector k of a regular stream current; -1 past its chain.
int sectorload(cvrun* run, olststream* t, int32_t k) {
  if (k == t->loaded) return 0;
  if (k < 0 || k >= t->nchain) return -1;
  olststg* g = stgof(run, t->owner);
  unsigned char w[4];
  if (!g || cvsseek(run, t->chain, 4L * k) < 0 || cvsread(run, t->chain, w, 4) != 4) return -1;
  int32_t s = word(w);
  olstcache* page = nullptr;
  for (int i = 0; i < OLST_NCACHE && !page; i++) {
    olstcache* c = &run->olcache[i];
    if (c->stg == t->owner && c->first >= 0 && c->first <= s && s <= c->last) page = c;
  }
  if (!page) {
    page = &run->olcache[OLST_NCACHE - 1];
    for (int i = 0; i < OLST_NCACHE; i++)
      if (run->olcache[i].age == OLST_NCACHE - 1) {
        page = &run->olcache[i];
        break;
      }
    page->first = page->last = -1;
    int32_t base = s / 8 * 8;
    if (readat(run, g, sectorpos(base), page->buf, PAGE) < 0) return -1;
    page->first = base;
    page->last = base + 7;
    page->stg = t->owner;
  }
  std::memcpy(t->buf, page->buf + OLST_SECTOR * (s - page->first), OLST_SECTOR);
  touch(run, page);
  t->loaded = k;
  return 0;
}

// Resolves a regular stream's chain into its scratch stream and makes its
// first sector current. A chain longer than the file holds fails; a sector
// outside the file ends the chain there.
int buildchain(cvrun* run, olststream* t) {
  olststg* g = stgof(run, run->olcur);
  t->chain = cvsscratch(run, PAGE);
  if (!g || t->chain < 0) return -1;
  auto* block = static_cast<unsigned char*>(cvalloc(run, WORK));
  if (!block) return -1;
  int inblock = 0, ok = 1;
  int32_t n = 0;
  for (int32_t s = t->first; insideof(g, s); s = fatnext(run, s)) {
    if (n > g->nsectors) {
      ok = 0;
      break;
    }
    cwput32(s, block + 4 * inblock++, 0);
    n++;
    if (inblock == WORK / 4) {
      if (cvswrite(run, t->chain, block, WORK) < 0) ok = 0;
      inblock = 0;
    }
  }
  if (ok && inblock > 0 && cvswrite(run, t->chain, block, 4 * inblock) < 0) ok = 0;
  cvfree(run, block);
  if (!ok) return -1;
  t->nchain = n;
  t->sector = t->offset = 0;
  t->loaded = -1;
  if (!(t->buf = static_cast<unsigned char*>(cvalloc(run, OLST_SECTOR)))) return -1;
  if (n > 0) sectorload(run, t, 0);
  return 0;
}

// Reads the directory entry of number e through the directory stream into
// out; -1 when the directory does not hold it.
int direntry(cvrun* run, const olststg* g, long e, unsigned char* out) {
  olststream* d = slotof(run, g->dirslot);
  if (!d || e < 0 || e >= static_cast<long>(d->nchain) * (OLST_SECTOR / ENTRY)) return -1;
  olstseek(run, g->dirslot, e * ENTRY);
  return olstread(run, g->dirslot, out, ENTRY) == ENTRY ? 0 : -1;
}

// Compares an entry's name (16-bit characters) with an 8-bit name: 0 equal.
int namecmp(const unsigned char* entry, const char* name) {
  for (int i = 0; i < 32; i++) {
    int c = cwget16(entry + 2 * i, 0);
    int b = static_cast<unsigned char>(name[i]);
    if (c != b) return 1;
    if (c == 0) return 0;
  }
  return name[32] == 0 ? 0 : 1;
}

// Loads a small stream whole from the mini stream.
int miniload(cvrun* run, olststream* t) {
  olststg* g = stgof(run, run->olcur);
  unsigned char* work = run->olwork;
  if (!g || !(t->mem = static_cast<unsigned char*>(cvalloc(run, OLST_SMALL)))) return -1;
  t->pos = 0;
  if (readat(run, g, sectorpos(g->dirstart), work, OLST_SECTOR) < 0) {
    t->size = 0;
    return 0;
  }
  int32_t ministart = word(work + 116);
  int32_t have = -1;  // the mini-table sector in the work buffer
  int32_t c = t->first;
  int32_t want = (t->size + 63) / 64, got = 0;
  for (; got < want && c >= 0; got++) {
    int32_t ms = fatwalk(run, g->minifat, c / 128);
    if (ms < 0 || !insideof(g, ms)) break;
    if (ms != have) {
      if (readat(run, g, sectorpos(ms), work, OLST_SECTOR) < 0) break;
      have = ms;
    }
    int32_t next = word(work + 4 * (c % 128));
    int32_t s = fatwalk(run, ministart, static_cast<long>(c) * 64 / OLST_SECTOR);
    if (s < 0 || !insideof(g, s)) break;
    unsigned char piece[64];
    if (readat(run, g, sectorpos(s) + static_cast<long>(c) * 64 % OLST_SECTOR, piece, 64) < 0) break;
    std::memcpy(t->mem + 64 * got, piece, 64);
    c = next;
  }
  if (got < want) t->size = 64 * got;
  return 0;
}

// Opens a slot on a directory entry of the current storage; slot or -1.
int openentry(cvrun* run, const unsigned char* entry) {
  int slot = freeslot(run);
  if (slot < 0) return -1;
  olststream* t = &run->olstreams[slot];
  clearslot(t);
  t->owner = run->olcur;
  t->first = word(entry + 116);
  t->size = word(entry + 120);
  int r = static_cast<uint32_t>(t->size) < OLST_SMALL ? miniload(run, t) : buildchain(run, t);
  if (r < 0) {
    dropslot(run, t);
    return -1;
  }
  return slot;
}

// Opens the directory stream of a storage.
int openroot(cvrun* run, int stg) {
  run->olcur = stg;
  olststg* g = stgof(run, stg);
  unsigned char* work = run->olwork;
  if (!g || !insideof(g, g->dirstart) || readat(run, g, sectorpos(g->dirstart), work, WORK) < 0) return -1;
  if (namecmp(work, "RootEntry") == 0) return -1;
  int slot = freeslot(run);
  if (slot < 0) return -1;
  olststream* t = &run->olstreams[slot];
  clearslot(t);
  t->owner = stg;
  t->first = g->dirstart;
  if (buildchain(run, t) < 0) {
    dropslot(run, t);
    return -1;
  }
  // The directory has no size field: it is as long as its chain.
  t->size = t->nchain * OLST_SECTOR;
  return slot;
}

// Searches the sibling tree under entry top for a name; the entry number,
// or 0 when it is not there. Every entry is visited at most once, so a tree
// that loops ends.
long dirfind(cvrun* run, const olststg* g, long top, const char* name) {
  olststream* d = slotof(run, g->dirslot);
  long nentries = d ? static_cast<long>(d->nchain) * (OLST_SECTOR / ENTRY) : 0;
  if (top <= 0 || top >= nentries) return 0;
  auto* seen = static_cast<unsigned char*>(cvalloc(run, nentries / 8 + 1));
  auto* stack = static_cast<int32_t*>(cvalloc(run, sizeof(int32_t) * (nentries + 1)));
  long found = 0;
  if (seen && stack) {
    std::memset(seen, 0, nentries / 8 + 1);
    long depth = 0;
    stack[depth++] = static_cast<int32_t>(top);
    unsigned char entry[ENTRY];
    while (depth > 0 && !found) {
      long e = stack[--depth];
      if (e <= 0 || e >= nentries || (seen[e / 8] & (1 << (e % 8)))) continue;
      seen[e / 8] |= static_cast<unsigned char>(1 << (e % 8));
      if (direntry(run, g, e, entry) < 0) continue;
      if (namecmp(entry, name) == 0) {
        found = e;
        break;
      }
      // Left before right: the right sibling goes on the stack first.
      stack[depth++] = word(entry + 72);
      stack[depth++] = word(entry + 68);
    }
  }
  if (seen) cvfree(run, seen);
  if (stack) cvfree(run, stack);
  return found;
}

int setup(cvrun* run) {
  if (!run->olsetup) {
    run->olstreams = static_cast<olststream*>(cvalloc(run, sizeof(olststream) * OLST_NSTREAMS));
    run->olstgs = static_cast<olststg*>(cvalloc(run, sizeof(olststg) * OLST_NSTG));
    run->olcache = static_cast<olstcache*>(cvalloc(run, sizeof(olstcache) * OLST_NCACHE));
    if (!run->olstreams || !run->olstgs || !run->olcache) return -1;
    for (int i = 0; i < OLST_NSTREAMS; i++) clearslot(&run->olstreams[i]);
    for (int i = 0; i < OLST_NSTG; i++) {
      std::memset(&run->olstgs[i], 0, sizeof(olststg));
      run->olstgs[i].fh = -1;
      run->olstgs[i].dirslot = -1;
    }
    for (int i = 0; i < OLST_NCACHE; i++) run->olcache[i] = olstcache{-1, -1, i, -1, nullptr};
    run->olsetup = 1;
  }
  // After a shut the shared buffers are made again.
  if (!run->olwork && !(run->olwork = static_cast<unsigned char*>(cvalloc(run, WORK + 2)))) return -1;
  for (int i = 0; i < OLST_NCACHE; i++) {
    olstcache* c = &run->olcache[i];
    if (!c->buf && !(c->buf = static_cast<unsigned char*>(cvalloc(run, PAGE)))) return -1;
  }
  return 0;
}

// Frees the work buffer and the cache pages once no storage is open.
void dropshared(cvrun* run) {
  for (int i = 0; i < OLST_NSTG; i++)
    if (run->olstgs[i].fh >= 0) return;
  if (run->olwork) cvfree(run, run->olwork);
  run->olwork = nullptr;
  for (int i = 0; i < OLST_NCACHE; i++) {
    olstcache* c = &run->olcache[i];
    if (c->buf) cvfree(run, c->buf);
    *c = olstcache{-1, -1, i, -1, nullptr};
  }
}

// Fills the table's sector list: 109 numbers from the header, then the
// extension sectors, 127 numbers each. The walk stops where the list is
// full, at the end of the chain, or at an extension sector met before.
int fatlist(cvrun* run, olststg* g, const unsigned char* head) {
  int32_t count = word(head + 44);
  if (count < 0) count = 0;
  if (count > g->nsectors) count = g->nsectors;
  g->fatcount = count;
  g->fatlen = (count > 236 ? count : 236) + 128;
  g->fatlist = static_cast<int32_t*>(cvalloc(run, sizeof(int32_t) * g->fatlen));
  if (!g->fatlist) return -1;
  for (int32_t i = 0; i < g->fatlen; i++) g->fatlist[i] = FREESECT;
  for (int i = 0; i < 109; i++) g->fatlist[i] = word(head + 76 + 4 * i);
  unsigned char sec[OLST_SECTOR];
  int32_t ext = word(head + 68);
  if (insideof(g, ext) && readat(run, g, sectorpos(ext), sec, OLST_SECTOR) > 0)
    for (int i = 0; i < 128; i++) g->fatlist[109 + i] = word(sec + 4 * i);
  if (count <= 236) return 0;
  auto* seen = static_cast<unsigned char*>(cvalloc(run, g->nsectors / 8 + 1));
  if (!seen) return -1;
  std::memset(seen, 0, g->nsectors / 8 + 1);
  if (insideof(g, ext)) seen[ext / 8] |= static_cast<unsigned char>(1 << (ext % 8));
  for (int32_t j = 236; j + 128 <= g->fatlen; j += 127) {
    int32_t s = g->fatlist[j];
    if (!insideof(g, s) || (seen[s / 8] & (1 << (s % 8)))) {
      g->fatlist[j] = FREESECT;
      break;
    }
    seen[s / 8] |= static_cast<unsigned char>(1 << (s % 8));
    if (readat(run, g, sectorpos(s), sec, OLST_SECTOR) < 0) {
      g->fatlist[j] = FREESECT;
      break;
    }
    for (int i = 0; i < 128; i++) g->fatlist[j + i] = word(sec + 4 * i);
  }
  cvfree(run, seen);
  return 0;
}

void closestg(cvrun* run, olststg* g) {
  if (g->fh >= 0) cvfclose(run, g->fh);
  if (g->fatlist) cvfree(run, g->fatlist);
  std::memset(g, 0, sizeof *g);
  g->fh = -1;
  g->dirslot = -1;
}

}  // namespace

void olstreset(cvrun* run) {
  run->olstreams = nullptr;
  run->olstgs = nullptr;
  run->olcache = nullptr;
  run->olsetup = 0;
  run->olcur = -1;
  run->olwork = nullptr;
  run->olpushstg = run->olpushslot = -1;
}

int olstopen(cvrun* run, const char* name) {
  if (!name || setup(run) < 0) return -1;
  int stg = -1;
  for (int i = 0; i < OLST_NSTG && stg < 0; i++)
    if (run->olstgs[i].fh < 0) stg = i;
  if (stg < 0) return -1;
  olststg* g = &run->olstgs[stg];
  long size = cvfsize(run, name);
  int fh = cvfopen(run, name, 1, 1);
  if (fh < 0) return -1;
  unsigned char* head = run->olwork;
  std::memset(head, 0, WORK);
  // The file may be the run's own input, already read past its start.
  cvfseek(run, fh, 0, 0);
  int n = cvfread(run, fh, head, WORK);
  if (n < 8 || std::memcmp(head, signature, 8) != 0) {
    cvfclose(run, fh);
    return -1;
  }
  g->fh = fh;
  g->filesize = size;
  long nsec = size > OLST_SECTOR ? (size - 1) / OLST_SECTOR : 0;
  g->nsectors = static_cast<int32_t>(nsec > 0x7FFFFFF0 ? 0x7FFFFFF0 : nsec);
  g->dirstart = word(head + 48);
  g->minifat = word(head + 60);
  g->minifatcount = word(head + 64);
  g->fatbufsec = -1;
  g->dirslot = -1;
  if (fatlist(run, g, head) < 0) {
    closestg(run, g);
    return -1;
  }
  run->olcur = stg;
  g->dirslot = openroot(run, stg);
  if (g->dirslot < 0) {
    closestg(run, g);
    return -1;
  }
  return stg;
}

int olstfind(cvrun* run, int stg, const char* name) {
  olststg* g = stgof(run, stg);
  if (!g || !name) return -1;
  run->olcur = stg;
  unsigned char* work = run->olwork;
  long steps = 0;
  for (int32_t s = g->dirstart; insideof(g, s) && steps <= g->nsectors; s = fatnext(run, s), steps++) {
    if (readat(run, g, sectorpos(s), work, OLST_SECTOR) < 0) return -1;
    for (int i = 0; i < OLST_SECTOR / ENTRY; i++)
      if (namecmp(work + ENTRY * i, name) == 0) {
        unsigned char entry[ENTRY];
        std::memcpy(entry, work + ENTRY * i, ENTRY);
        return openentry(run, entry);
      }
  }
  return -1;
}

int olstopenpath(cvrun* run, int stg, const char* path) {
  olststg* g = stgof(run, stg);
  if (!g || !path || !*path) return -1;
  run->olcur = stg;
  unsigned char entry[ENTRY];
  if (direntry(run, g, 0, entry) < 0) return -1;
  for (const char* name = path; *name; name += std::strlen(name) + 1) {
    long e = dirfind(run, g, word(entry + 76), name);
    if (e == 0 || direntry(run, g, e, entry) < 0) return -1;
  }
  return openentry(run, entry);
}

int olstgetc(cvrun* run, int slot) {
  olststream* t = slotof(run, slot);
  if (!t) return -1;
  if (t->mem) return t->pos < t->size ? t->mem[t->pos++] : -1;
  // A stream ends at its size, or where its chain ends before that.
  long at = static_cast<long>(t->sector) * OLST_SECTOR + t->offset;
  if (at >= static_cast<uint32_t>(t->size)) return -1;
  if (t->offset >= OLST_SECTOR) {
    t->sector++;
    t->offset = 0;
  }
  if (sectorload(run, t, t->sector) < 0) return -1;
  return t->buf[t->offset++];
}

int olstread(cvrun* run, int slot, void* buf, int count) {
  olststream* t = slotof(run, slot);
  if (!t || count <= 0) return 0;
  auto* out = static_cast<unsigned char*>(buf);
  if (t->mem) {
    int n = t->size - t->pos;
    if (n > count) n = count;
    if (n < 0) n = 0;
    std::memcpy(out, t->mem + t->pos, n);
    t->pos += n;
    return n;
  }
  int n = 0;
  while (n < count) {
    long at = static_cast<long>(t->sector) * OLST_SECTOR + t->offset;
    long left = static_cast<uint32_t>(t->size) - at;
    if (left <= 0) break;
    if (t->offset >= OLST_SECTOR) {
      t->sector++;
      t->offset = 0;
    }
    if (sectorload(run, t, t->sector) < 0) break;
    long k = OLST_SECTOR - t->offset;
    if (k > left) k = left;
    if (k > count - n) k = count - n;
    std::memcpy(out + n, t->buf + t->offset, k);
    t->offset += static_cast<int32_t>(k);
    n += static_cast<int>(k);
  }
  return n;
}

long olsttell(cvrun* run, int slot) {
  olststream* t = slotof(run, slot);
  if (!t) return -1;
  return t->mem ? t->pos : static_cast<long>(t->sector) * OLST_SECTOR + t->offset;
}

long olstseek(cvrun* run, int slot, long pos) {
  olststream* t = slotof(run, slot);
  if (!t || pos < 0) return -1;
  if (t->mem) {
    t->pos = static_cast<int32_t>(pos < OLST_SMALL ? pos : OLST_SMALL);
    return t->pos;
  }
  if (pos > 0x7FFFFFFFL) pos = 0x7FFFFFFFL;
  t->sector = static_cast<int32_t>(pos / OLST_SECTOR);
  t->offset = static_cast<int32_t>(pos % OLST_SECTOR);
  sectorload(run, t, t->sector);
  return pos;
}

long olstsize(cvrun* run, int slot) {
  olststream* t = slotof(run, slot);
  return t ? t->size : -1;
}

int olstclose(cvrun* run, int slot) {
  if (olststream* t = slotof(run, slot)) dropslot(run, t);
  return 0;
}

int olstshut(cvrun* run, int stg) {
  olststg* g = stgof(run, stg);
  if (!g) return 0;
  // Only this file's streams: another open file keeps its own.
  for (int i = 0; i < OLST_NSTREAMS; i++)
    if (run->olstreams[i].owner == stg) dropslot(run, &run->olstreams[i]);
  closestg(run, g);
  if (run->olcur == stg) run->olcur = -1;
  dropshared(run);
  return 0;
}

int olstpushin(cvrun* run, const char* name, const char* stream) {
  int stg = olstopen(run, name);
  if (stg < 0) return -1;
  int slot = olstfind(run, stg, stream);
  if (slot < 0) {
    olstshut(run, stg);
    return -1;
  }
  cvpushin(run, slot);
  run->olpushstg = stg;
  run->olpushslot = slot;
  return slot;
}

int olstpopin(cvrun* run) {
  cvpopin(run);
  olstclose(run, run->olpushslot);
  olstshut(run, run->olpushstg);
  run->olpushstg = run->olpushslot = -1;
  return 0;
}

int olstslotused(cvrun* run, int slot) {
  olststream* t = slotof(run, slot);
  return t ? t->owner : -1;
}
