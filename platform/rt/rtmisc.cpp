// Runtime start and stop, configuration values, sleep, sorting, and the
// runtime's small knowledge of multi-byte character sets.
#include "platform/rt/rtint.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include <strings.h>

rtctx *rtstart(const char *program, const char *package) {
  auto *rt = static_cast<rtctx *>(std::calloc(1, sizeof(rtctx)));
  if (!rt) return nullptr;
  std::snprintf(rt->program, sizeof rt->program, "%s", program ? program : "");
  std::snprintf(rt->package, sizeof rt->package, "%s", package ? package : "");
  rt->hpmgr = rt_hpmgr_new();
  if (!rt->hpmgr) {
    std::free(rt);
    return nullptr;
  }
  rt->out.f = stdout;
  rt->out.isstd = 1;
  rt->out.mode = RTF_WRITE;
  rt->in.f = stdin;
  rt->in.isstd = 1;
  rt->in.mode = RTF_READ;
  return rt;
}

void rtstop(rtctx *rt) {
  if (!rt) return;
  std::fflush(stdout);
  rt_hpmgr_free(rt->hpmgr);
  std::free(rt);
}

const char *rtprogram(const rtctx *rt) { return rt ? rt->program : ""; }
rthpmgr *rthpmgrget(rtctx *rt) { return rt ? rt->hpmgr : nullptr; }
rtstream *rtstdout(rtctx *rt) { return rt ? &rt->out : nullptr; }
rtstream *rtstdin(rtctx *rt) { return rt ? &rt->in : nullptr; }

int rtcfg(rtctx *rt, const char *name, char *buf, size_t size) {
  (void)rt;
  if (!name || !buf || size == 0) return -1;
  const char *v = std::getenv(name);
  if (!v || !*v) return -1;
  size_t n = std::strlen(v);
  if (n + 1 > size) return -1;
  std::memcpy(buf, v, n + 1);
  return static_cast<int>(n);
}

void rtsleep(unsigned ms) {
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0) {
  }
}

namespace {

void merge_sort(unsigned char *a, unsigned char *tmp, size_t n, size_t sz,
                int (*cmp)(const void *, const void *)) {
  if (n < 2) return;
  if (n <= 8) {  // insertion sort keeps equal elements in order
    for (size_t i = 1; i < n; i++) {
      std::memcpy(tmp, a + i * sz, sz);
      size_t j = i;
      while (j > 0 && cmp(a + (j - 1) * sz, tmp) > 0) {
        std::memcpy(a + j * sz, a + (j - 1) * sz, sz);
        j--;
      }
      std::memcpy(a + j * sz, tmp, sz);
    }
    return;
  }
  size_t h = n / 2;
  merge_sort(a, tmp, h, sz, cmp);
  merge_sort(a + h * sz, tmp, n - h, sz, cmp);
  size_t i = 0, j = h, k = 0;
  while (i < h && j < n) {
    if (cmp(a + j * sz, a + i * sz) < 0) std::memcpy(tmp + k++ * sz, a + j++ * sz, sz);
    else std::memcpy(tmp + k++ * sz, a + i++ * sz, sz);
  }
  while (i < h) std::memcpy(tmp + k++ * sz, a + i++ * sz, sz);
  while (j < n) std::memcpy(tmp + k++ * sz, a + j++ * sz, sz);
  std::memcpy(a, tmp, n * sz);
}

}  // namespace

void rtsort(void *base, size_t count, size_t size, int (*cmp)(const void *, const void *)) {
  if (!base || count < 2 || size == 0 || !cmp) return;
  if (count > SIZE_MAX / size) return;
  auto *tmp = static_cast<unsigned char *>(std::malloc(count * size));
  if (!tmp) {  // no room for the merge: an in-place sort, not stable
    std::qsort(base, count, size, cmp);
    return;
  }
  merge_sort(static_cast<unsigned char *>(base), tmp, count, size, cmp);
  std::free(tmp);
}
