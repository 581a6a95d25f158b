// The stand-in word list: every slot succeeds and does nothing. It has no
// word table, so an open for changed rows (mode 5) leaves it in mode 0 and
// the indexer hands it no words; an expansion yields nothing.
#include "dr/drwa/drwa.h"

namespace {

drwaobj *wa(drobj *o) { return reinterpret_cast<drwaobj *>(o); }

int drwaopen(drobj *o, int32_t, int32_t mode) {
  wa(o)->hd.ops.mode = mode == 5 ? 0 : mode;
  return 0;
}
int drwaprefs(drobj *o, int32_t prefid, drdmpol *) {
  wa(o)->prefid = prefid;
  return 0;
}
int drwaadd(drobj *, const char *const *, int32_t) { return 0; }
int drwaload(drobj *) { return 0; }
int drwaexp(drobj *, const char *const *, int32_t, int32_t, drobj *, char ***out) {
  if (out) *out = nullptr;
  return 7;
}
int drwaw2r(drobj *, const char *, int32_t, drobj *, char ***out) {
  if (out) *out = nullptr;
  return 0;
}
int drwaclose(drobj *, int32_t) { return 0; }
int drwafree(drobj *o) {
  drwaobj *w = wa(o);
  void *p = w;
  drumfre(w->st, w->st->hpmgr, w->heap, &p);
  return 0;
}

const drobjhd<drwlops> kTpl = {{DRCLS_WORDLIST, 1, "word list"},
                               {.mode = 0,
                                .open = drwaopen,
                                .prefs = drwaprefs,
                                .add = drwaadd,
                                .load = drwaload,
                                .exp = drwaexp,
                                .w2r = drwaw2r,
                                .close = drwaclose,
                                .free = drwafree}};

}  // namespace

drobj *drwanew(drsrvstate *st, drheap heap, int32_t prefid, drdmpol *) {
  if (prefid == 0) {
    dracnierr(st, DRFAC_DRG, 51001, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT,
              static_cast<int>(prefid), 0);
    druetrc();
    return nullptr;
  }
  auto *w = static_cast<drwaobj *>(
      drumalc(st, st->hpmgr, heap, 1, sizeof(drwaobj), __FILE__, __LINE__));
  if (!w) {
    druetrc();
    return nullptr;
  }
  w->hd = kTpl;
  w->st = st;
  w->heap = heap;
  w->prefid = prefid;
  return &w->hd.obj;
}
