/* Result-writer operations (class 11): how an engine's query hands its hits
 * (text keys or document ids with scores) to where they go: a result
 * table, a count, the reply. Every result writer starts with a
 * drobjhd<drrwrops>. */
#ifndef KES_DR_DRAS_DRRWROPS_H
#define KES_DR_DRAS_DRRWROPS_H

#include "dr/dras/drobj.h"

struct drrwrops {
  static constexpr int32_t clsid = DRCLS_RESULT;
  /* 0: opens the writer on its target (a result table's name or the reply
   * record) with the clearing mode, the caller's two ids and the policy's
   * key count; 0 / 1. */
  int (*open)(drobj *w, const void *target, int32_t shr, int32_t conid, int32_t curid,
              int32_t nkeys);
  /* 1: takes n hits by text key; 0, 1, or 2 to stop the evaluation. */
  int (*putrows)(drobj *w, int32_t n, const char *const *keys, const uint8_t *scores);
  /* 2: sends what is buffered; 0 / 1. */
  int (*finish)(drobj *w);
  /* 3: with how 2, closes the writer's cursor; 0. */
  int (*close)(drobj *w, int32_t how);
  /* 4: closes and frees the writer; 0. */
  int (*destroy)(drobj *w);
  /* 5: takes n hits by document id; 0, 1, or 2 to stop the evaluation. */
  int (*puthits)(drobj *w, int32_t n, const uint32_t *ids, const uint8_t *scores);
  /* 6: the number of hits the writer prefers per call, as the result. */
  int (*batchsize)(drobj *w);
};
DROBJ_SLOTS(drrwrops, 7);
DROBJ_SLOT(drrwrops, open, 0);
DROBJ_SLOT(drrwrops, putrows, 1);
DROBJ_SLOT(drrwrops, finish, 2);
DROBJ_SLOT(drrwrops, close, 3);
DROBJ_SLOT(drrwrops, destroy, 4);
DROBJ_SLOT(drrwrops, puthits, 5);
DROBJ_SLOT(drrwrops, batchsize, 6);

/* Constructor of a result writer; the object, or null after pushing why. */
using drrwrctor = drobj *(*)(drsrvstate *s, drheap h);

#endif
