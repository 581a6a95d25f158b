// The benchmarks' host of the filter framework: one document in memory and
// a heap that counts what it holds, for the peak of host memory.
#ifndef KES_BENCH_CVHOST_H
#define KES_BENCH_CVHOST_H

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "filters/framework/runtime/cv.h"

namespace cvbench {

// A host over one document whose heap counts what it holds: each block
// carries its size in a header before the bytes it hands out.
struct host {
  const std::string* doc;
  long pos = 0;
  size_t held = 0, peak = 0;

  static constexpr size_t khead = 16;
  static host* of(void* u) { return static_cast<host*>(u); }
  static int read(void* u, void* buf, int len, int* count) {
    host* h = of(u);
    long left = static_cast<long>(h->doc->size()) - h->pos;
    int n = len > 32767 ? 32767 : len;
    if (n > left) n = left > 0 ? static_cast<int>(left) : 0;
    std::memcpy(buf, h->doc->data() + h->pos, n);
    h->pos += n;
    return *count = n;
  }
  static long seek(void* u, long off, int origin) {
    host* h = of(u);
    long base = origin == 0 ? 0 : origin == 1 ? h->pos : static_cast<long>(h->doc->size());
    return base + off < 0 ? -1 : (h->pos = base + off);
  }
  static long tell(void* u, long* pos) { return *pos = of(u)->pos; }
  static void* alloc(void* u, size_t size) {
    host* h = of(u);
    auto* b = static_cast<unsigned char*>(std::calloc(1, khead + size + 3));
    if (!b) return nullptr;
    std::memcpy(b, &size, sizeof size);
    h->held += size + 3;
    h->peak = std::max(h->peak, h->held);
    return b + khead;
  }
  static int free(void* u, void* p) {
    auto* b = static_cast<unsigned char*>(p) - khead;
    size_t size;
    std::memcpy(&size, b, sizeof size);
    of(u)->held -= size + 3;
    std::free(b);
    return 0;
  }
};

inline const convhostcb kcb = {host::read, host::seek, host::tell, host::alloc, host::free};

}  // namespace cvbench

#endif
