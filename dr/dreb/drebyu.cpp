/* What the index leaves share: a fetched row read whole, the names checked
 * before they go into a statement, and the walk of a document's index. */
#include <cstring>

#include "dr/dra/dra.h"
#include "dr/dreb/drebyint.h"
#include "dr/dreu/dreu.h"

int drebyrowget(drsrvstate *st, drheap heap, druocur *cur, int32_t k, int16_t ind,
                const uint8_t **data, uint32_t *len, drebylong *big, const char *what) {
  if (ind == -1) {
    drelbad(st, what);
    return 1;
  }
  if (ind == 0) return 0;
  /* Cut at its slot: the rest comes through the long-piece read. */
  uint32_t have = *len;
  uint32_t want = have * 2;
  for (;;) {
    if (big->size < want) {
      void *p = big->buf ? drumrea(st, st->hpmgr, heap, big->buf, want, __FILE__, __LINE__)
                         : drumalz(st, st->hpmgr, heap, want, __FILE__, __LINE__);
      if (!p) return 1;
      big->buf = static_cast<uint8_t *>(p);
      big->size = want;
    }
    if (have == *len && *data != big->buf) std::memcpy(big->buf, *data, have);
    uint32_t got = 0;
    int rc = druolng(st, cur, k, 1, big->buf + have, static_cast<int32_t>(big->size - have),
                     DRUO_LONGRAW, &got, have);
    if (rc != 0 && rc != DRUO_NODATA) return 1;
    have += got;
    if (rc == DRUO_NODATA) break;
    want = big->size * 2;
  }
  *data = big->buf;
  *len = have;
  return 0;
}

void drebylongfree(drsrvstate *st, drheap heap, drebylong *big) {
  if (!big->buf) return;
  void *p = big->buf;
  drumfre(st, st->hpmgr, heap, &p);
  big->buf = nullptr;
  big->size = 0;
}

int drebynames(drsrvstate *st, const drebyctx *ctx) {
  struct {
    const char *name;
    int parts;
  } names[] = {{ctx->table, 2}, {ctx->wordtext, 1}, {ctx->wordinfo, 1}, {ctx->firstdoc, 1}};
  for (auto &n : names) {
    if (n.name && druoidn(n.name, n.parts)) continue;
    dracnierr(st, DRFAC_DRG, 50600, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_STR,
              n.name ? n.name : "(null)", DRA_END);
    return 1;
  }
  return 0;
}

int drebyhinext(drhiidx *idx, drhicur *cur, drynode *n, uint32_t t) {
  drobj *x = &idx->hd.obj;
  for (;;) {
    dryocc *o = nullptr;
    drops<drhiops>(x)->next(x, cur, &o);
    if (!o) {
      n->state = DRY_DONE;
      return 0;
    }
    if (o->wpos < t) continue;
    n->occ = *o;
    return 0;
  }
}
