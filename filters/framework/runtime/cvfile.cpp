// The run's file service over the memory files, with the records of open
// handles and temporary names that the end of a run cleans up; the path join
// for files a document names; 16- and 32-bit access in either byte order.
#include "filters/framework/runtime/cv.h"
#include "filters/framework/runtime/cvint.h"

#include <cstring>

namespace {

bool isoutput(cvrun* run, const char* name) { return run->params[2] && std::strcmp(run->params[2], name) == 0; }

void cvfhandadd(cvrun* run, int h) {
  for (int x : run->fhand)
    if (x == h) return;
  for (int& x : run->fhand)
    if (x == -1) {
      x = h;
      return;
    }
}

void cvfhanddel(cvrun* run, int h) {
  for (int& x : run->fhand)
    if (x == h) {
      x = -1;
      return;
    }
}

void cvftmpadd(cvrun* run, const char* name) {
  for (char* t : run->ftmp)
    if (t && std::strcmp(t, name) == 0) return;
  for (char*& t : run->ftmp)
    if (!t) {
      t = cvcopy(run, name);
      return;
    }
}

void cvftmpdel(cvrun* run, const char* name) {
  for (char*& t : run->ftmp)
    if (t && std::strcmp(t, name) == 0) {
      cvfree(run, t);
      t = nullptr;
      return;
    }
}

}  // namespace

void cvfinit(cvrun* run) {
  for (int& h : run->fhand) h = -1;
  for (char*& t : run->ftmp) t = nullptr;
}

int cvfopen(cvrun* run, const char* name, int mode, int kind) {
  if (!name) return -1;
  // Temporary files are spill files: they live apart from the named slots.
  int h = kind == 3 ? convmfopentmp(run, name, mode) : convmfopen(run, name, mode);
  if (h < 0) return -1;
  cvfhandadd(run, h);
  if ((mode == 2 || mode == 3) && kind == 3) cvftmpadd(run, name);
  return h;
}

int cvfread(cvrun* run, int handle, void* buf, int count) { return convmfread(run, handle, buf, count); }

int cvfwrite(cvrun* run, int handle, const void* bytes, int count) {
  return convmfwrite(run, handle, bytes, count);
}

long cvfseek(cvrun* run, int handle, long offset, int origin) {
  return convmfseek(run, handle, offset, origin);
}

int cvfclose(cvrun* run, int handle) {
  cvfhanddel(run, handle);
  return convmfclose(run, handle);
}

int cvfdelete(cvrun* run, const char* name) {
  if (!name) return -1;
  if (run->opt.deloutput == 0 && isoutput(run, name)) return 0;
  cvftmpdel(run, name);
  return convmfdelete(run, name);
}

long cvfsize(cvrun* run, const char* name) { return name ? convmfsize(run, name) : -1; }

int cvfexists(cvrun* run, const char* name) { return name ? convmfexists(run, name) : 0; }

int cvfrename(cvrun* run, const char* from, const char* to) {
  if (!from || !to) return -1;
  return convmfrename(run, from, to);
}

void cvfcloseall(cvrun* run) {
  for (int& h : run->fhand)
    if (h != -1) {
      convmfclose(run, h);
      h = -1;
    }
  for (char*& t : run->ftmp) {
    if (!t) continue;
    if (!isoutput(run, t)) convmfdelete(run, t);
    cvfree(run, t);
    t = nullptr;
  }
}

char* cwpathjoin(cvrun* run, const char* name, const char* base) {
  auto copy = [run](const char* a, size_t na, const char* b) -> char* {
    size_t nb = std::strlen(b);
    auto* s = static_cast<char*>(cvalloc(run, na + nb + 1));
    if (!s) return nullptr;
    std::memcpy(s, a, na);
    std::memcpy(s + na, b, nb + 1);
    return s;
  };
  size_t d = cvdirlen(name);
  if (d > 0 && cvfexists(run, name)) return copy(name, 0, name);
  char* candidate = copy(base ? base : "", base ? cvdirlen(base) : 0, name + d);
  if (!candidate || cvfexists(run, candidate)) return candidate;
  cvfree(run, candidate);
  return copy(name, 0, name);
}

int cwget16(const unsigned char* p, int flag) { return static_cast<int16_t>(cwget16u(p, flag)); }

unsigned cwget16u(const unsigned char* p, int flag) {
  return flag ? (p[0] << 8) | p[1] : p[0] | (p[1] << 8);
}

int32_t cwget32(const unsigned char* p, int flag) { return static_cast<int32_t>(cwget32u(p, flag)); }

uint32_t cwget32u(const unsigned char* p, int flag) {
  uint32_t v = 0;
  for (int i = 0; i < 4; i++) v |= static_cast<uint32_t>(p[flag ? 3 - i : i]) << (8 * i);
  return v;
}

void cwput16(int value, unsigned char* out, int flag) { cwput16u(static_cast<unsigned>(value), out, flag); }

void cwput16u(unsigned value, unsigned char* out, int flag) {
  out[flag ? 1 : 0] = static_cast<unsigned char>(value);
  out[flag ? 0 : 1] = static_cast<unsigned char>(value >> 8);
}

void cwput32(int32_t value, unsigned char* out, int flag) { cwput32u(static_cast<uint32_t>(value), out, flag); }

void cwput32u(uint32_t value, unsigned char* out, int flag) {
  for (int i = 0; i < 4; i++) out[flag ? 3 - i : i] = static_cast<unsigned char>(value >> (8 * i));
}
