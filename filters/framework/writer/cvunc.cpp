// Code-page tables and 16-bit strings: the two-slot cache of the files
// "unc" + code page + ".dat", read through the file services, the look-ups
// from a byte to its 16-bit character and back, and the 16-bit string helpers.
#include "filters/framework/writer/cw.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr long kforward = 256;   // the forward table's offset in a file
constexpr long kpages = 1024;    // the first reverse page's offset

int cpindex(int cp) {
  for (int i = 0; i < CV_NCP; i++)
    if (cvcodepages[i] == cp) return i;
  return -1;
}

// "unc" + the code page, four digits at least, + ".dat".
void uncname(int cp, char* out, size_t size) { std::snprintf(out, size, "unc%04d.dat", cp); }

// The cache slot holding a code page, or null.
cvcpslot* slotof(cvrun* run, int cp) {
  for (cvcpslot* s : run->writer->cpslot)
    if (s && s->cp == cp && cp != 0) return s;
  return nullptr;
}

// Reads n bytes at an offset of an open file; what the file does not have
// stays zero.
void readat(cvrun* run, int h, long offset, unsigned char* buf, int n) {
  std::memset(buf, 0, n);
  if (cvfseek(run, h, offset, 0) != offset) return;
  for (int got = 0; got < n;) {
    int r = cvfread(run, h, buf + got, n - got);
    if (r <= 0) return;
    got += r;
  }
}

// 16-bit units in the run's byte order.
int unitlo(cvrun* run, const char* u) { return static_cast<unsigned char>(u[run->bigendian ? 1 : 0]); }

bool zerounit(const char* u) { return u[0] == 0 && u[1] == 0; }

}  // namespace

// ---------------------------------------------------------------- 16-bit strings

void cvsetbe(cvrun* run, int order) { run->bigendian = order; }

void cvwcpy(cvrun* run, char* dst, const char* src) {
  if (!src || !dst) return;
  int n = cvwlen(run, src);
  std::memcpy(dst, src, 2 * (n + 1));
}

int cvwlen(cvrun*, const char* s) {
  if (!s) return 0;
  int n = 0;
  while (!zerounit(s + 2 * n)) n++;
  return n;
}

int cvwequal(cvrun* run, const char* a, const char* b) {
  if (!a || !b) return 0;
  int n = cvwlen(run, a);
  return n == cvwlen(run, b) && std::memcmp(a, b, 2 * n) == 0 ? 1 : 0;
}

const char* cvwchr(cvrun*, const char* s, int ch) {
  if (!s) return nullptr;
  for (; !zerounit(s); s += 2)
    if (static_cast<unsigned char>(s[0]) == ((ch >> 8) & 0xFF) &&
        static_cast<unsigned char>(s[1]) == (ch & 0xFF))
      return s;
  return nullptr;
}

int cvwncmp(cvrun*, const char* a, const char* b, int n) {
  if (!a || !b) return 0;
  for (int i = 0; i < n; i++, a += 2, b += 2) {
    if (zerounit(a) || zerounit(b)) return 1;
    if (a[0] != b[0] || a[1] != b[1]) return 0;
  }
  return 1;
}

char* cvwfroma(cvrun* run, const char* s) {
  if (!s) return nullptr;
  size_t n = std::strlen(s);
  auto* w = static_cast<char*>(cvalloc(run, 2 * (n + 1)));
  if (!w) return nullptr;
  int lo = run->bigendian ? 1 : 0;
  for (size_t i = 0; i <= n; i++) {
    w[2 * i + lo] = s[i];
    w[2 * i + 1 - lo] = 0;
  }
  return w;
}

char* cvatow(cvrun* run, const char* w) {
  if (!w) return nullptr;
  int n = 0;
  while (!zerounit(w + 2 * n) && unitlo(run, w + 2 * n) != 0) n++;
  if (n == 0) return nullptr;
  auto* s = static_cast<char*>(cvalloc(run, n + 1));
  if (!s) return nullptr;
  for (int i = 0; i < n; i++) s[i] = static_cast<char>(unitlo(run, w + 2 * i));
  s[n] = '\0';
  return s;
}

// ---------------------------------------------------------------- the cache

int cvunctabinit(cvrun* run) {
  cwstate* w = run->writer;
  for (int8_t& m : w->cpmark) m = -1;
  for (cvcpslot*& s : w->cpslot) {
    s = static_cast<cvcpslot*>(cvalloc(run, sizeof(cvcpslot)));
    if (!s) return -1;
    std::memset(s, 0, sizeof *s);
    for (int32_t& h : s->high) h = -1;
  }
  cvunctab(run, 437, 0);
  cvunctab(run, 819, 1);
  return 0;
}

void cvunctabfree(cvrun* run) {
  if (!run->writer) return;
  for (cvcpslot*& s : run->writer->cpslot) {
    if (s) cvfree(run, s);
    s = nullptr;
  }
}

int cvunctab(cvrun* run, int cp, int slot) {
  cwstate* w = run->writer;
  if (slotof(run, cp)) return 0;
  int i = cpindex(cp);
  if (i < 0 || w->cpmark[i] == 0 || slot < 0 || slot > 1 || !w->cpslot[slot]) return -1;
  char name[16];
  uncname(cp, name, sizeof name);
  int h = cvfopen(run, name, 1, 1);
  if (h < 0) {
    w->cpmark[i] = 0;
    return -1;
  }
  w->cpmark[i] = 1;
  // A slot that held another code page starts clean, so that a short file
  // cannot answer with what its predecessor left.
  cvcpslot* s = w->cpslot[slot];
  std::memset(s, 0, sizeof *s);
  for (int32_t& x : s->high) x = -1;
  s->cp = cp;
  readat(run, h, kforward, s->fwd, sizeof s->fwd);
  readat(run, h, kforward + sizeof s->fwd, s->flags, sizeof s->flags);
  for (int hi = 0, k = 0; hi < 256 && k < 4; hi++) {
    if (!s->flags[hi]) continue;
    readat(run, h, kpages + 256L * k, s->pages[k], 256);
    s->high[k] = hi;
    k++;
  }
  cvfclose(run, h);
  return 0;
}

int cvuncpage(cvrun* run, int cp, int ordinal, int page, int high) {
  cvcpslot* s = slotof(run, cp);
  if (!s || page < 0 || page > 3) return -1;
  char name[16];
  uncname(cp, name, sizeof name);
  int h = cvfopen(run, name, 1, 1);
  if (h < 0) return -1;
  readat(run, h, kpages + 256L * ordinal, s->pages[page], 256);
  s->high[page] = high;
  cvfclose(run, h);
  return 0;
}

int cvucsmap(cvrun* run, int cp, int byte, int* hi, int* lo) {
  cvcpslot* s = slotof(run, cp);
  if (!s) {
    *hi = *lo = -1;
    return -1;
  }
  byte &= 0xFF;
  *hi = s->fwd[2 * byte];
  *lo = s->fwd[2 * byte + 1];
  return 0;
}

int cvcurucs(cvrun* run, int byte, int* hi, int* lo) {
  if (!slotof(run, run->codepage)) cvunctab(run, run->codepage, 1);
  return cvucsmap(run, run->codepage, byte, hi, lo);
}

int cvucsback(cvrun* run, int cp, int hi, int lo) {
  if (!slotof(run, cp) && cvunctab(run, cp, 1) < 0) return -1;
  cvcpslot* s = slotof(run, cp);
  hi &= 0xFF;
  lo &= 0xFF;
  if (s->flags[hi] != 1) return -1;
  for (int k = 0; k < 4; k++)
    if (s->high[k] == hi) return s->pages[k][lo];
  // Not among the pages held: its place among the file's pages, read into
  // the swap slot.
  int ordinal = 0;
  for (int x = 0; x < hi; x++) ordinal += s->flags[x] ? 1 : 0;
  if (cvuncpage(run, cp, ordinal, 3, hi) < 0) return -1;
  return s->pages[3][lo];
}
