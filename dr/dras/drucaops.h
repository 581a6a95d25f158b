/* Operations of the class-15 object of a query command: the check object
 * the query parser and the word list are handed. Every such object starts
 * with a drobjhd<drucaops>. */
#ifndef KES_DR_DRAS_DRUCAOPS_H
#define KES_DR_DRAS_DRUCAOPS_H

#include "dr/dras/drobj.h"

struct drucaops {
  static constexpr int32_t clsid = DRCLS_QUERYAUX;
  /* 0: frees the object from its heap; 0. */
  int (*free)(drobj *o);
  /* 1: does nothing; 0. */
  int (*nop)(drobj *o);
  /* 2: sets every one of count entries to 1; 0. */
  int (*check)(drobj *o, int32_t count, void *ignored, int32_t *entries);
};
DROBJ_SLOTS(drucaops, 3);
DROBJ_SLOT(drucaops, free, 0);
DROBJ_SLOT(drucaops, nop, 1);
DROBJ_SLOT(drucaops, check, 2);

/* Constructor of the class-15 object (the kind is not used); the object, or
 * null after pushing why. */
using drucactor = drobj *(*)(drsrvstate *s, drheap h, int32_t kind);

#endif
