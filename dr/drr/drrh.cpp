/* The highlight writers: the entries (offset, length, strength) of the
 * words found in one document go into a highlight table, 512 rows an array
 * insert with one commit each, or into arrays of up to 10000 entries that
 * the highlight command hands to the filter's markup. */
#include <cstring>

#include "dr/dra/dra.h"
#include "dr/dras/dras.h"
#include "dr/drr/drr.h"
#include "dr/dru/drue.h"

namespace {

/* The database's text alone for a failing step: the writer says what failed. */
constexpr druorep kRep = {0, 0, 0, 0, 0, 0, -1, 2, 2};

drrhtab *tabof(drobj *o) { return reinterpret_cast<drrhtab *>(o); }
drrhmem *memof(drobj *o) { return reinterpret_cast<drrhmem *>(o); }

template <class W>
void release(W *w) {
  void *p = w;
  drumfre(w->st, w->st->hpmgr, w->heap, &p);
}

/* ---- table writer ---- */

int drrhopen(drobj *o, const char *table, int32_t id) {
  drrhtab *w = tabof(o);
  drsrvstate *st = w->st;
  const char *name = table ? table : "";
  char sql[256];
  /* "offset" is a reserved word of the database, so the column is quoted. */
  int rc = druoidn(name, 2) &&
                   drasmfmt(st->fmt, sql, sizeof sql,
                            "INSERT INTO %(1)s (id, \"offset\",   length, strength)"
                            " VALUES(:id, :offset, :length, :strength)",
                            DRA_STR, name, DRA_END) >= 0
               ? 0
               : 1;
  if (rc != 0) {
    dracnerr(st, DRFAC_DRG, 52009, 2, DRA_STR, name, 0);
  } else {
    rc = druoprp(st, &w->cur, DRUO_WORK, sql, &kRep);
    w->opened = rc == 0;
    if (rc == 0) rc = druobnd(st, &w->cur, ":id", w->ids, 4, DRUO_INTEGER, nullptr, nullptr, &kRep);
    if (rc == 0) rc = druobnd(st, &w->cur, ":offset", w->offs, 4, DRUO_INTEGER, nullptr, nullptr, &kRep);
    if (rc == 0) rc = druobnd(st, &w->cur, ":length", w->lens, 4, DRUO_INTEGER, nullptr, nullptr, &kRep);
    if (rc == 0)
      rc = druobnd(st, &w->cur, ":strength", w->strs, 4, DRUO_INTEGER, nullptr, nullptr, &kRep);
  }
  if (rc != 0) {
    if (w->opened) druocls(&w->cur);
    w->opened = 0;
    dracnerr(st, DRFAC_DRG, DRR_EHLOPEN, 2, DRA_STR, name, 0);
    druetrc();
    return 1;
  }
  for (int32_t &i : w->ids) i = id;
  w->rows = 0;
  return 0;
}

/* Inserts the buffered rows and commits; 0, or 1 after 50850 and 10008
 * (the rows stay buffered). */
int send(drrhtab *w) {
  if (w->rows == 0) return 0;
  if (!w->opened || druoexn(w->st, &w->cur, static_cast<uint32_t>(w->rows), &kRep) != 0 ||
      druocmt(w->st, &kRep) != 0) {
    dracnerr(w->st, DRFAC_DRG, DRR_EHLSEND, 2, 0);
    druetrc();
    return 1;
  }
  w->rows = 0;
  return 0;
}

int drrhadd(drobj *o, int32_t n, const int32_t *offs, const int32_t *lens, const int32_t *strs) {
  drrhtab *w = tabof(o);
  for (int32_t i = 0; i < n; ++i) {
    /* A batch that could not be sent is tried again before a row would lie
     * past the arrays. */
    if (w->rows >= w->batch && send(w) != 0) {
      dracnerr(w->st, DRFAC_DRG, DRR_EHLSEND, 2, 0);
      return 1;
    }
    w->offs[w->rows] = offs[i];
    w->lens[w->rows] = lens[i];
    w->strs[w->rows] = strs ? strs[i] : 0;
    if (++w->rows == w->batch && send(w) != 0) {
      dracnerr(w->st, DRFAC_DRG, DRR_EHLSEND, 2, 0);
      return 1;
    }
  }
  return 0;
}

int drrhfinish(drobj *o) {
  drrhtab *w = tabof(o);
  int rc = send(w);
  if (rc != 0) dracnerr(w->st, DRFAC_DRG, DRR_EHLSEND, 2, 0);
  if (w->opened) druocls(&w->cur);
  release(w);
  return rc;
}

/* ---- in-memory writer ---- */

int drrhiopen(drobj *o, const char *, int32_t) {
  memof(o)->count = 0;
  return 0;
}

int drrhiadd(drobj *o, int32_t n, const int32_t *offs, const int32_t *lens, const int32_t *strs) {
  drrhmem *w = memof(o);
  /* Entries past the arrays are dropped. */
  for (int32_t i = 0; i < n && w->count < DRR_HLMEM; ++i, ++w->count) {
    w->offs[w->count] = offs[i];
    w->lens[w->count] = lens[i];
    w->strs[w->count] = strs ? strs[i] : 0;
  }
  return 0;
}

int drrhifinish(drobj *o) {
  release(memof(o));
  return 0;
}

const drobjhd<drrhlops> kTable = {{DRCLS_HIGHLIGHT, 1, nullptr},
                                  {.open = drrhopen, .add = drrhadd, .finish = drrhfinish}};
const drobjhd<drrhlops> kMem = {{DRCLS_HIGHLIGHT, 1, nullptr},
                                {.open = drrhiopen, .add = drrhiadd, .finish = drrhifinish}};

}  // namespace

drobj *drrhnew(drsrvstate *s, drheap heap) {
  drrhtab *w = drobjnew<drrhtab>(s, heap, kTable);
  if (!w) return nullptr;
  w->batch = DRR_BATCH;
  return &w->hd.obj;
}

drobj *drrhinew(drsrvstate *s, drheap heap) {
  drrhmem *w = drobjnew<drrhmem>(s, heap, kMem);
  return w ? &w->hd.obj : nullptr;
}
