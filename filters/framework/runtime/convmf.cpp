// Memory files of the filter state, the host document "source.doc" behind
// the host callbacks, the filter-side block list, and the host services that
// the runtime calls (allocation, date and time, progress and conversion hooks).
#include "filters/framework/runtime/cv.h"
#include "filters/framework/runtime/cvint.h"

#include <cstring>
#include <strings.h>

namespace {

constexpr const char* ksource = "source.doc";

bool issource(const char* name) { return name && std::strcmp(name, ksource) == 0; }

long length(const convmfile* f) { return static_cast<long>(f->last) * CONV_MFCHUNK + f->lastbytes; }

// The memory file of a handle: a named slot or a spill file; null for none.
convmfile* mfof(convstate* st, int handle) {
  if (handle >= 0 && handle < CONV_MFSLOTS) return st->mf[handle];
  if (handle >= CONV_MFSPILL && handle - CONV_MFSPILL < st->nspill) return st->spill[handle - CONV_MFSPILL];
  return nullptr;
}

// The handle of the first memory file of that name, or -1.
int mffind(convstate* st, const char* name) {
  for (int i = 0; i < CONV_MFSLOTS; i++)
    if (st->mf[i] && std::strcmp(st->mf[i]->name, name) == 0) return i;
  for (int i = 0; i < st->nspill; i++)
    if (st->spill[i] && std::strcmp(st->spill[i]->name, name) == 0) return CONV_MFSPILL + i;
  return -1;
}

void mffree(convstate* st, convmfile* f) {
  for (unsigned char*& c : f->chunks) {
    if (!c) continue;
    if (st->nspare < CONV_MFSPARE) st->spare[st->nspare++] = c;
    else convbfree(st, c);
  }
  convbfree(st, f->name);
  convbfree(st, f);
}

// A chunk for a file: a spare one, else a new block; null when none.
unsigned char* chunknew(convstate* st) {
  if (st->nspare > 0) return st->spare[--st->nspare];
  return static_cast<unsigned char*>(convbnew(st, CONV_MFCHUNK));
}

convmfile* mfnew(convstate* st, const char* name) {
  auto* f = static_cast<convmfile*>(convbnew(st, sizeof(convmfile)));
  if (!f) return nullptr;
  std::memset(f, 0, sizeof *f);
  size_t n = std::strlen(name);
  f->name = static_cast<char*>(convbnew(st, n + 1));
  f->chunks[0] = chunknew(st);
  if (!f->name || !f->chunks[0]) {
    mffree(st, f);
    return nullptr;
  }
  std::memcpy(f->name, name, n + 1);
  f->mode = 2;
  return f;
}

// A free place in the spill store, grown by doubling; its index or -1.
int spillslot(convstate* st) {
  for (int i = 0; i < st->nspill; i++)
    if (!st->spill[i]) return i;
  if (st->nspill == st->spillcap) {
    int cap = st->spillcap ? st->spillcap * 2 : 16;
    auto* t = static_cast<convmfile**>(convbnew(st, sizeof(convmfile*) * cap));
    if (!t) return -1;
    std::memset(t, 0, sizeof(convmfile*) * cap);
    if (st->spill) {
      std::memcpy(t, st->spill, sizeof(convmfile*) * st->nspill);
      convbfree(st, st->spill);
    }
    st->spill = t;
    st->spillcap = cap;
  }
  return st->nspill++;
}

// Opens an existing file by mode (1 read, 2 truncate, 3 keep, 4 append) or
// creates one, in the named slots or the spill store.
int mfopen(convstate* st, const char* name, int mode, bool tospill) {
  if (!name || !*name) return -1;
  if (mode >= 1 && mode <= 4) {
    int h = mffind(st, name);
    if (h >= 0) {
      convmfile* f = mfof(st, h);
      f->mode = mode == 1 ? 1 : 2;
      f->pos = 0;
      if (mode == 2) f->last = f->lastbytes = 0;  // the chunks stay for reuse
      if (mode == 4) f->pos = length(f);
      return h;
    }
  }
  if (mode == 1) return -1;
  if (tospill) {
    int i = spillslot(st);
    if (i < 0) return -1;
    convmfile* f = mfnew(st, name);
    if (!f) return -1;
    st->spill[i] = f;
    return CONV_MFSPILL + i;
  }
  for (int i = 0; i < CONV_MFSLOTS; i++) {
    if (st->mf[i]) continue;
    convmfile* f = mfnew(st, name);
    if (!f) return -1;
    st->mf[i] = f;
    return i;
  }
  return -1;
}

// The index of the compiled-in file of that name, or -1.
int storefind(const char* name) {
  for (int i = 0; i < convstorecount && i < CONV_STOREMAX; i++)
    if (std::strcmp(convstore[i].name, name) == 0) return i;
  return -1;
}

// The compiled-in file of a handle, or null.
const convstorefile* storeof(int handle) {
  int i = handle - CONV_MFSTORE;
  return i >= 0 && i < convstorecount && i < CONV_STOREMAX ? &convstore[i] : nullptr;
}

// Opens a name for reading: a memory file, else a compiled-in file (from its
// start); -1 when neither has it.
int readopen(convstate* st, const char* name, bool tospill) {
  int h = mfopen(st, name, 1, tospill);
  if (h >= 0 || !name) return h;
  int i = storefind(name);
  if (i < 0) return -1;
  st->storepos[i] = 0;
  return CONV_MFSTORE + i;
}

// A run's open: the host document for reading, else a memory file (read
// ones also from the compiled-in files), in the spill store when tospill.
int runopen(cvrun* run, const char* name, int mode, bool tospill) {
  if (issource(name) && mode == 1) return CONV_MFSOURCE;
  if (mode == 1) return readopen(run->state, name, tospill);
  return mfopen(run->state, name, mode, tospill);
}

}  // namespace

// ---------------------------------------------------------------- filter blocks

void* convbnew(convstate* st, size_t size) {
  // Two spare bytes follow the caller's bytes.
  auto* b = static_cast<convblock*>(st->cb.alloc(st->user, sizeof(convblock) + size + 2));
  if (!b) return nullptr;
  std::memset(b->tag, 0, sizeof b->tag);
  b->tag[0] = 'm';
  b->tag[1] = 'i';
  cvlinkend(b, st->first, st->last);
  return b + 1;
}

void convbfree(convstate* st, void* block) {
  if (!block) return;
  // A block without the tag among the ten bytes before it is not ours.
  auto* p = static_cast<unsigned char*>(block);
  int i = 1;
  while (i <= 10 && p[-i] == 0) i++;
  if (i > 9 || p[-i] != 'i' || p[-i - 1] != 'm') return;
  convblock* b = static_cast<convblock*>(block) - 1;
  cvunlink(b, st->first, st->last);
  st->cb.free(st->user, b);
}

void convbfreeall(convstate* st) {
  for (convblock* b = st->first; b;) {
    convblock* next = b->next;
    st->cb.free(st->user, b);
    b = next;
  }
  st->first = st->last = nullptr;
}

// ---------------------------------------------------------------- memory files

int convmfcreate(convstate* st, const char* name, int mode) { return mfopen(st, name, mode, false); }

int convmfopen(cvrun* run, const char* name, int mode) { return runopen(run, name, mode, false); }

int convmfopentmp(cvrun* run, const char* name, int mode) { return runopen(run, name, mode, true); }

int convmfget(convstate* st, int handle, void* buf, int count) {
  if (handle == CONV_MFSOURCE) return cvhostread(st, buf, count);
  if (const convstorefile* sf = storeof(handle)) {
    if (count < 0) return -1;
    long& pos = st->storepos[handle - CONV_MFSTORE];
    long n = sf->size - pos < count ? sf->size - pos : count;
    std::memcpy(buf, sf->bytes + pos, n);
    pos += n;
    return static_cast<int>(n);
  }
  convmfile* f = mfof(st, handle);
  if (!f || count < 0) return -1;
  long len = length(f);
  auto* out = static_cast<unsigned char*>(buf);
  int done = 0;
  while (done < count && f->pos < len) {
    int c = static_cast<int>(f->pos / CONV_MFCHUNK), off = static_cast<int>(f->pos % CONV_MFCHUNK);
    long n = CONV_MFCHUNK - off;
    if (n > len - f->pos) n = len - f->pos;
    if (n > count - done) n = count - done;
    std::memcpy(out + done, f->chunks[c] + off, n);
    done += static_cast<int>(n);
    f->pos += n;
  }
  return done;
}

int convmfput(convstate* st, int handle, const void* bytes, int count) {
  if (handle == CONV_MFSOURCE) return -1;
  convmfile* f = mfof(st, handle);
  if (!f || count < 0) return -1;
  auto* in = static_cast<const unsigned char*>(bytes);
  int done = 0;
  while (done < count) {
    int c = static_cast<int>(f->pos / CONV_MFCHUNK), off = static_cast<int>(f->pos % CONV_MFCHUNK);
    if (c > f->last) {
      // The position stands at the end of a full last chunk: the next chunk
      // becomes the last one, reused when a truncation left it allocated.
      // A file that cannot grow ends the write with 0, the bytes so far kept.
      if (c >= CONV_MFMAXCHUNKS) return 0;
      if (!f->chunks[c]) f->chunks[c] = chunknew(st);
      if (!f->chunks[c]) return 0;
      f->last = c;
      f->lastbytes = 0;
    }
    int n = CONV_MFCHUNK - off;
    if (n > count - done) n = count - done;
    std::memcpy(f->chunks[c] + off, in + done, n);
    done += n;
    f->pos += n;
    if (c == f->last && off + n > f->lastbytes) f->lastbytes = off + n;
  }
  return done;
}

long convmfpos(convstate* st, int handle, long offset, int origin) {
  if (handle == CONV_MFSOURCE) {
    long pos = 0;
    st->cb.seek(st->user, offset, origin);
    st->cb.tell(st->user, &pos);
    return pos;
  }
  convmfile* f = mfof(st, handle);
  const convstorefile* sf = storeof(handle);
  if (!f && !sf) return -1;
  long& pos = f ? f->pos : st->storepos[handle - CONV_MFSTORE];
  long len = f ? length(f) : sf->size, p;
  if (origin == 0)
    p = offset;
  else if (origin == 1)
    p = pos + offset;
  else
    p = len - offset;
  if (p < 0) p = 0;
  if (p > len) p = len;
  return pos = p;
}

int convmfshut(convstate* st, int handle) {
  if (handle == CONV_MFSOURCE) return 0;
  if (storeof(handle)) {
    st->storepos[handle - CONV_MFSTORE] = 0;
    return 0;
  }
  convmfile* f = mfof(st, handle);
  if (!f) return -1;
  f->pos = 0;
  return 0;
}

int convmfread(cvrun* run, int handle, void* buf, int count) { return convmfget(run->state, handle, buf, count); }

int convmfwrite(cvrun* run, int handle, const void* bytes, int count) {
  if (count == 0 && handle != CONV_MFSOURCE) return mfof(run->state, handle) ? 0 : -1;
  return convmfput(run->state, handle, bytes, count);
}

long convmfseek(cvrun* run, int handle, long offset, int origin) {
  return convmfpos(run->state, handle, offset, origin);
}

int convmfclose(cvrun* run, int handle) {
  convmfshut(run->state, handle);
  return 0;
}

int convmfdelete(cvrun* run, const char* name) {
  convstate* st = run->state;
  if (!name || issource(name)) return 0;
  int h = mffind(st, name);
  if (h < 0) return 0;
  mffree(st, mfof(st, h));
  if (h < CONV_MFSLOTS)
    st->mf[h] = nullptr;
  else
    st->spill[h - CONV_MFSPILL] = nullptr;
  return 0;
}

long convmfsize(cvrun* run, const char* name) {
  convstate* st = run->state;
  if (issource(name)) {
    long here = 0, size = 0;
    st->cb.tell(st->user, &here);
    st->cb.seek(st->user, 0, 2);
    st->cb.tell(st->user, &size);
    st->cb.seek(st->user, here, 0);
    return size;
  }
  if (!name) return 0;
  int h = mffind(st, name);
  if (h >= 0) return length(mfof(st, h));
  int i = storefind(name);
  return i < 0 ? 0 : convstore[i].size;
}

int convmfexists(cvrun* run, const char* name) {
  if (!name) return 0;
  return issource(name) || mffind(run->state, name) >= 0 || storefind(name) >= 0 ? 1 : 0;
}

int convmfrename(cvrun*, const char*, const char*) { return 0; }

// ---------------------------------------------------------------- host services

void* convhostalloc(cvrun* run, size_t size) { return run->state->cb.alloc(run->state->user, size); }

int convhostfree(cvrun* run, void* block) {
  run->state->cb.free(run->state->user, block);
  return 0;
}

int convdatetime(unsigned char rec[8]) {
  static const unsigned char fixed[8] = {1, 15, 12, 31, 9, 0, 0, 0};
  std::memcpy(rec, fixed, 8);
  return 0;
}

int convhostcp() { return 437; }
int convyield(cvrun*, int) { return 0; }
int convprogbeg(cvrun*, int) { return 0; }
int convprogstep(cvrun*, int) { return 0; }
int convprogend(cvrun*) { return 0; }
int convhostcanconv(cvrun*, int, int) { return 0; }
int convhostgfxconv(cvrun*, int, int, const char*, const char*, const char*) { return 0; }
int convhostembconv(cvrun*, void*, int, const char*, const char*) { return -1; }
int convhostident(cvrun*, int, int) { return 0; }
void convhostbadopt(cvrun*, int, const char*) {}
void convhostoptz(cvrun*) {}

int16_t convswap16(int16_t v, int flag) { return static_cast<int16_t>(convswap16u(static_cast<uint16_t>(v), flag)); }

uint16_t convswap16u(uint16_t v, int flag) {
  return flag == 1 ? static_cast<uint16_t>((v >> 8) | (v << 8)) : v;
}

int32_t convswap32(int32_t v, int flag) { return static_cast<int32_t>(convswap32u(static_cast<uint32_t>(v), flag)); }

uint32_t convswap32u(uint32_t v, int flag) {
  if (flag != 1) return v;
  return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

int convstrrev(char* s) {
  int n = static_cast<int>(std::strlen(s));
  for (int i = 0; i < n / 2; i++) {
    char t = s[i];
    s[i] = s[n - 1 - i];
    s[n - 1 - i] = t;
  }
  return n / 2;
}

int convtoupper(int c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }
