// Memory operations every server unit allocates with: blocks and sub-heaps
// of the core runtime's heaps, with 10900 pushed on any failure.
#include "dr/dra/dra.h"

namespace {

void *nomem(drsrvstate *st) {
  dracnerr(st, DRFAC_DRG, 10900, 3, 0);
  druetrc();
  return nullptr;
}

}  // namespace

void *drumalz(drsrvstate *st, rthpmgr *mgr, drheap heap, size_t size, const char *file, int line) {
  if (size == 0) {
    dracnierr(st, DRFAC_DRG, 50600, 0, DRA_STR, file ? file : "", DRA_INT, line, 0);
    return nomem(st);
  }
  void *p = rthpalloc(mgr, heap, size, 0, file, line);
  return p ? p : nomem(st);
}

void *drumalc(drsrvstate *st, rthpmgr *mgr, drheap heap, size_t count, size_t size,
              const char *file, int line) {
  if (size != 0 && count > SIZE_MAX / size) return nomem(st);
  void *p = rthpalloc(mgr, heap, count * size, RTHP_ZERO, file, line);
  return p ? p : nomem(st);
}

void *drumrea(drsrvstate *st, rthpmgr *mgr, drheap heap, void *block, size_t size,
              const char *file, int line) {
  void *p = rthprealloc(mgr, heap, block, size, file, line);
  return p ? p : nomem(st);
}

int drumfre(drsrvstate *st, rthpmgr *mgr, drheap heap, void **block) {
  if (!block) {
    nomem(st);
    return 1;
  }
  if (!*block) return 0;  // nothing to free
  if (rthpfree(mgr, heap, *block, 0) != 0) {
    nomem(st);
    return 1;
  }
  *block = nullptr;
  return 0;
}

namespace {

int subheap(drsrvstate *st, rthpmgr *mgr, drheap *out, drheap parent, int desc, const char *file,
            int line) {
  rtheap *h = out ? rthpnew(mgr, parent, desc, file, line) : nullptr;
  if (!h) {
    nomem(st);
    return 1;
  }
  *out = h;
  return 0;
}

}  // namespace

int drmhpnew(drsrvstate *st, rthpmgr *mgr, drheap *out, drheap parent, const char *file, int line) {
  return subheap(st, mgr, out, parent, RTHP_STD, file, line);
}

int drmhpalt(drsrvstate *st, rthpmgr *mgr, drheap *out, drheap parent, const char *file, int line) {
  return subheap(st, mgr, out, parent, RTHP_ALT, file, line);
}

int drmhpdel(drsrvstate *st, rthpmgr *mgr, drheap heap) {
  if (rthpdel(mgr, heap) != 0) {
    nomem(st);
    return 1;
  }
  return 0;
}
