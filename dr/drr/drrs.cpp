/* The writers that answer a query in the reply instead of a table: the
 * sorted writer keeps the best page of 250 hits in fixed storage (chains of
 * entry numbers under 101 score heads) and tells where the next page
 * starts; the fetch writer writes the first 250 hits from a start id in
 * document order; the count writer counts. */
#include <cstdio>
#include <cstring>

#include "dr/drm/drm.h"
#include "dr/drr/drr.h"
#include "dr/dru/drue.h"

namespace {

/* Bytes a buffer must have free before one more entry goes in. */
constexpr int kRoom = 26;

/* The entry text of a hit: its id, its score in two digits (100 as 00),
 * a colon. Its length. */
int entry(char *out, uint32_t doc, uint8_t score) {
  return std::snprintf(out, kRoom, "%u%02u:", doc, static_cast<unsigned>(score % 100));
}

template <class W>
W *as(drobj *o) {
  return reinterpret_cast<W *>(o);
}

template <class W>
int destroy(drobj *o) {
  W *w = as<W>(o);
  void *p = w;
  drumfre(w->st, w->st->hpmgr, w->heap, &p);
  return 0;
}

int nothing(drobj *, int32_t) { return 0; }
int ignore(drobj *, int32_t, const char *const *, const uint8_t *) { return 0; }
int page(drobj *) { return DRR_PAGE; }
int feed(drobj *) { return DRR_FEED; }

/* ---- sorted writer ---- */

int drrsopen(drobj *o, const void *target, int32_t a, int32_t, int32_t c, int32_t) {
  drrswr *w = as<drrswr>(o);
  w->reply = static_cast<drmcmd *>(const_cast<void *>(target));
  w->scl = static_cast<uint8_t>(a);
  w->dceil = static_cast<uint32_t>(c);
  w->floor = UINT32_MAX;
  return 0;
}

int drrsputhits(drobj *o, int32_t n, const uint32_t *ids, const uint8_t *scores) {
  drrswr *w = as<drrswr>(o);
  for (int32_t i = 0; i < n; ++i) {
    uint32_t d = ids[i];
    uint8_t s = scores[i];
    /* A hit of score 0 would take a place the page never shows. */
    if (s == 0 || s > 100) continue;
    if (!(s < w->scl || (s == w->scl && d >= w->dceil))) continue;
    uint8_t e;
    if (w->held < DRR_PAGE) {
      e = ++w->held;
    } else if (s > w->low) {
      /* The most recent hit of the lowest score makes room. */
      e = w->heads[w->low];
      w->heads[w->low] = w->ent[e].next;
      if (w->ent[e].doc < w->floor) w->floor = w->ent[e].doc;
      while (w->heads[w->low] == 0 && w->low < 100) ++w->low;
    } else {
      if (d < w->floor) w->floor = d;
      continue;
    }
    w->ent[e].doc = d;
    w->ent[e].next = w->heads[s];
    w->heads[s] = e;
    if (s < w->low) w->low = s;
    /* Nothing later can enter a full page whose lowest score is the limit. */
    if (w->low == w->scl && w->held == DRR_PAGE) return 2;
  }
  return 0;
}

/* Stores a buffer into reply argument arg (from 1) and restarts it. */
void flush(drmcmd *reply, unsigned arg, char *buf, uint16_t *used) {
  drmsetraw(nullptr, reply, arg - 1, *used, buf);
  *used = 0;
}

int drrsfinish(drobj *o) {
  drrswr *w = as<drrswr>(o);
  uint32_t docs[DRR_PAGE];
  uint8_t scores[DRR_PAGE];
  int32_t at = w->held;
  /* From the lowest score up, each chain from its most recent hit, placed
   * from the back: descending scores, ascending ids within one. */
  for (int s = 1; s <= 100; ++s)
    for (uint8_t e = w->heads[s]; e; e = w->ent[e].next) {
      --at;
      docs[at] = w->ent[e].doc;
      scores[at] = static_cast<uint8_t>(s);
    }
  uint32_t lastscore = 0, lastdoc = 0;
  if (w->held) {
    lastscore = scores[w->held - 1];
    lastdoc = docs[w->held - 1] + 1;
  }
  char buf[DRR_TEXT];
  uint16_t used = 0;
  unsigned arg = 6;
  for (int32_t i = 0; i < w->held; ++i) {
    if (DRR_TEXT - used < kRoom) flush(w->reply, arg++, buf, &used);
    used = static_cast<uint16_t>(used + entry(buf + used, docs[i], scores[i]));
  }
  if (used) flush(w->reply, arg, buf, &used);
  if (w->held < DRR_PAGE) w->floor = 0;
  else if (w->floor == UINT32_MAX) w->floor = lastdoc;
  drmsetuint(w->st, w->reply, 2, w->floor);
  drmsetuint(w->st, w->reply, 3, lastscore);
  drmsetuint(w->st, w->reply, 4, lastdoc);
  return 0;
}

/* ---- fetch writer ---- */

int drrpopen(drobj *o, const void *target, int32_t, int32_t, int32_t, int32_t) {
  as<drrpwr>(o)->reply = static_cast<drmcmd *>(const_cast<void *>(target));
  return 0;
}

int drrpputhits(drobj *o, int32_t n, const uint32_t *ids, const uint8_t *scores) {
  drrpwr *w = as<drrpwr>(o);
  int32_t i = 0;
  bool stopped = false;
  for (; i < n; ++i) {
    if (DRR_TEXT - w->used < kRoom) {
      flush(w->reply, 6 + w->filled, w->buf, &w->used);
      if (++w->filled >= 2) {
        stopped = true;
        break;
      }
    }
    w->used = static_cast<uint16_t>(w->used + entry(w->buf + w->used, ids[i], scores[i]));
  }
  /* The argument being filled is stored again, longer, by the next call. */
  if (w->used) drmsetraw(nullptr, w->reply, 5 + w->filled, w->used, w->buf);
  w->written += static_cast<uint32_t>(i);
  if (stopped) {
    w->resume = ids[i];
    return 2;
  }
  if (w->written >= DRR_PAGE && i > 0) {
    w->resume = ids[i - 1] + 1;
    return 2;
  }
  return 0;
}

int drrpfinish(drobj *o) {
  drrpwr *w = as<drrpwr>(o);
  drmsetuint(w->st, w->reply, 2, w->resume);
  return 0;
}

/* ---- count writer ---- */

int drrnopen(drobj *o, const void *target, int32_t, int32_t, int32_t, int32_t) {
  as<drrnwr>(o)->reply = static_cast<drmcmd *>(const_cast<void *>(target));
  return 0;
}

int drrnputrows(drobj *o, int32_t n, const char *const *, const uint8_t *) {
  as<drrnwr>(o)->total += static_cast<uint32_t>(n);
  return 0;
}

int drrnputhits(drobj *o, int32_t n, const uint32_t *, const uint8_t *) {
  as<drrnwr>(o)->total += static_cast<uint32_t>(n);
  return 0;
}

int drrnfinish(drobj *o) {
  drrnwr *w = as<drrnwr>(o);
  drmsetuint(w->st, w->reply, 2, w->total);
  return 0;
}

const drobjhd<drrwrops> kSorted = {{DRCLS_RESULT, 1, nullptr},
                                   {.open = drrsopen,
                                    .putrows = ignore,
                                    .finish = drrsfinish,
                                    .close = nothing,
                                    .destroy = destroy<drrswr>,
                                    .puthits = drrsputhits,
                                    .batchsize = page}};
const drobjhd<drrwrops> kFetch = {{DRCLS_RESULT, 1, nullptr},
                                  {.open = drrpopen,
                                   .putrows = ignore,
                                   .finish = drrpfinish,
                                   .close = nothing,
                                   .destroy = destroy<drrpwr>,
                                   .puthits = drrpputhits,
                                   .batchsize = page}};
const drobjhd<drrwrops> kCount = {{DRCLS_RESULT, 1, nullptr},
                                  {.open = drrnopen,
                                   .putrows = drrnputrows,
                                   .finish = drrnfinish,
                                   .close = nothing,
                                   .destroy = destroy<drrnwr>,
                                   .puthits = drrnputhits,
                                   .batchsize = feed}};

}  // namespace

drobj *drrsnew(drsrvstate *s, drheap heap) {
  drrswr *w = drobjnew<drrswr>(s, heap, kSorted);
  if (!w) return nullptr;
  w->low = 100;
  return &w->hd.obj;
}
drobj *drrpnew(drsrvstate *s, drheap heap) {
  drrpwr *w = drobjnew<drrpwr>(s, heap, kFetch);
  return w ? &w->hd.obj : nullptr;
}
drobj *drrnnew(drsrvstate *s, drheap heap) {
  drrnwr *w = drobjnew<drrnwr>(s, heap, kCount);
  return w ? &w->hd.obj : nullptr;
}
