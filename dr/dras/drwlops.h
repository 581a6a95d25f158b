/* Word-list operations (class 5): how indexing keeps a policy's word table
 * in step and how queries expand words through it. Every word list starts
 * with a drobjhd<drwlops>; its first word is data, the mode of the last open,
 * which the indexer reads. */
#ifndef KES_DR_DRAS_DRWLOPS_H
#define KES_DR_DRAS_DRWLOPS_H

#include "dr/dras/drobj.h"

struct drdmpol;

struct drwlops {
  static constexpr int32_t clsid = DRCLS_WORDLIST;
  /* 0: not an operation: the mode of the last open (5 while changed rows are
   * re-indexed). */
  int32_t mode;
  /* 1: opens for a mode: 1 creates the word table, 2 adds its keys and
   * indexes, 4 drops it, any other checks it; 0 / 1. */
  int (*open)(drobj *wl, int32_t value, int32_t mode);
  /* 2: reads the preference's settings again for a preference and policy. */
  int (*prefs)(drobj *wl, int32_t prefid, drdmpol *pol);
  /* 3: adds words (null entries passed over) while open in mode 5. */
  int (*add)(drobj *wl, const char *const *words, int32_t n);
  /* 4: fills the word table from the index's token table. */
  int (*load)(drobj *wl);
  /* 5: expands n words by kind into a null-separated result; 7 when nothing
   * results. */
  int (*exp)(drobj *wl, const char *const *words, int32_t n, int32_t kind, drobj *check,
             char ***out);
  /* 6: the n words after a word (before it when n is negative). */
  int (*w2r)(drobj *wl, const char *word, int32_t n, drobj *check, char ***out);
  /* 7: closes the word list (how 2: for good). */
  int (*close)(drobj *wl, int32_t how);
  /* 8: releases the word list. */
  int (*free)(drobj *wl);
};
DROBJ_SLOTS(drwlops, 9);
DROBJ_SLOT(drwlops, mode, 0);
DROBJ_SLOT(drwlops, open, 1);
DROBJ_SLOT(drwlops, prefs, 2);
DROBJ_SLOT(drwlops, add, 3);
DROBJ_SLOT(drwlops, load, 4);
DROBJ_SLOT(drwlops, exp, 5);
DROBJ_SLOT(drwlops, w2r, 6);
DROBJ_SLOT(drwlops, close, 7);
DROBJ_SLOT(drwlops, free, 8);

/* Constructor of a word list for a preference of a policy; the object, or
 * null after pushing why. */
using drwlctor = drobj *(*)(drsrvstate *s, drheap h, int32_t prefid, drdmpol *pol);

#endif
