/* Stop-list operations (class 6): the words the index does not store and
 * their numbers, for the indexing driver and the query parser. Every stop
 * list starts with a drobjhd<drstops>. */
#ifndef KES_DR_DRAS_DRSTOPS_H
#define KES_DR_DRAS_DRSTOPS_H

#include "dr/dras/drobj.h"

struct drstops {
  static constexpr int32_t clsid = DRCLS_STOPLIST;
  /* 0: releases the stop list; 0. */
  int (*free)(drobj *sl);
  /* 1: does nothing; 0. */
  int (*nop)(drobj *sl);
  /* 2: the number of stop words, as the result. */
  int (*count)(drobj *sl);
  /* 3: adds words; 0 / 1. */
  int (*add)(drobj *sl, const char *const *words, int32_t n);
  /* 4: copies the word addresses, in their numbered order, into the
   * caller's array (sized from count); 0. */
  int (*list)(drobj *sl, const char **words);
  /* 5: the stop-word number of a word (1 .. count), 0 for none; 0. */
  int (*look)(drobj *sl, const char *word, int32_t *num);
};
DROBJ_SLOTS(drstops, 6);
DROBJ_SLOT(drstops, free, 0);
DROBJ_SLOT(drstops, nop, 1);
DROBJ_SLOT(drstops, count, 2);
DROBJ_SLOT(drstops, add, 3);
DROBJ_SLOT(drstops, list, 4);
DROBJ_SLOT(drstops, look, 5);

/* Constructor of a stop list for a preference, over the policy's lexer; the
 * object, or null after pushing why. */
using drstctor = drobj *(*)(drsrvstate *s, drheap h, int32_t prefid, drobj *lexer);

#endif
