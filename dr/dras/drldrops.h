/* Loader operations (class 8): the engine that loads a text-loading
 * source's files into their table. Every loader starts with a
 * drobjhd<drldrops>. */
#ifndef KES_DR_DRAS_DRLDROPS_H
#define KES_DR_DRAS_DRLDROPS_H

#include "dr/dras/drobj.h"

struct drldrops {
  static constexpr int32_t clsid = DRCLS_LOADER;
  /* 0: binds the loader to its source once; another source gives 1. */
  int (*bnd)(drobj *ldr, int32_t polid, int32_t prefid);
  /* 1: loads every file the translator hands out from the reader; 2 when
   * all went in, 0 or 1 when some did not. */
  int (*load)(drobj *ldr, drobj *trn, drobj *rdr);
  /* 2: frees the loader and clears the caller's pointer; 0. */
  int (*free)(drobj **ldr);
};
DROBJ_SLOTS(drldrops, 3);
DROBJ_SLOT(drldrops, bnd, 0);
DROBJ_SLOT(drldrops, load, 1);
DROBJ_SLOT(drldrops, free, 2);

/* Constructor of a loader; the object, or null after pushing why. */
using drldrctor = drobj *(*)(drsrvstate *s, drheap h);

#endif
