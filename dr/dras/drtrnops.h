/* Translator operations (class 9): what a text-loading source's files are
 * loaded into, one file at a time from the reader. Every translator starts
 * with a drobjhd<drtrnops>. */
#ifndef KES_DR_DRAS_DRTRNOPS_H
#define KES_DR_DRAS_DRTRNOPS_H

#include "dr/dras/drobj.h"

struct drtrnops {
  static constexpr int32_t clsid = DRCLS_TRANSLATOR;
  /* 0: binds the translator to its source once; another source gives 1. */
  int (*bnd)(drobj *trn, int32_t polid, int32_t prefid);
  /* 1: the target table ("owner.table") and text column. */
  int (*target)(drobj *trn, const char *table, const char *column);
  /* 2: the next load file from the reader, its target and whether the file
   * name is loaded too; 2 when no file is left. */
  int (*next)(drobj *trn, drobj *rdr, char *name, char *table, char *column, uint8_t *withname);
  /* 3: the loader succeeded: the reader's done. */
  int (*done)(drobj *trn, drobj *rdr);
  /* 4: the loader failed: the reader's fail. */
  int (*fail)(drobj *trn, drobj *rdr);
  /* 5: frees the translator and clears the caller's pointer; 0. */
  int (*free)(drobj **trn);
};
DROBJ_SLOTS(drtrnops, 6);
DROBJ_SLOT(drtrnops, bnd, 0);
DROBJ_SLOT(drtrnops, target, 1);
DROBJ_SLOT(drtrnops, next, 2);
DROBJ_SLOT(drtrnops, done, 3);
DROBJ_SLOT(drtrnops, fail, 4);
DROBJ_SLOT(drtrnops, free, 5);

/* Constructor of a translator; the object, or null after pushing why. */
using drtrnctor = drobj *(*)(drsrvstate *s, drheap h);

#endif
