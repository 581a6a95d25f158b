/* The class-15 object of a query: handed to the query parser's set-up and
 * to the word list as the check that keeps every candidate. It lives in the
 * heap its maker names and is freed by its maker. */
#include "dr/drp/drtq.h"

namespace {

drucaobj *uca(drobj *o) { return reinterpret_cast<drucaobj *>(o); }

int drucafree(drobj *o) {
  drucaobj *u = uca(o);
  void *p = u;
  drumfre(u->srv, u->srv->hpmgr, u->heap, &p);
  return 0;
}

int drucanop(drobj *) { return 0; }

int drucacheck(drobj *, int32_t count, void *, int32_t *entries) {
  for (int32_t i = 0; i < count; ++i) entries[i] = 1;
  return 0;
}

const drobjhd<drucaops> kTpl = {{DRCLS_QUERYAUX, 1, nullptr},
                                {.free = drucafree, .nop = drucanop, .check = drucacheck}};

}  // namespace

drobj *drucanew(drsrvstate *srv, drheap heap, int32_t kind) {
  (void)kind;
  auto *u = static_cast<drucaobj *>(
      drumalc(srv, srv->hpmgr, heap, 1, sizeof(drucaobj), __FILE__, __LINE__));
  if (!u) return nullptr;
  u->hd = kTpl;
  u->heap = heap;
  u->srv = srv;
  return &u->hd.obj;
}
