/* Operations of the in-memory term index of one document (class 17): the
 * highlight path hashes the document's tokens into it and the leaves of an
 * occurrence-mode tree walk its occurrences through cursors. Every such
 * index starts with a drobjhd<drhiops>. */
#ifndef KES_DR_DRAS_DRHIOPS_H
#define KES_DR_DRAS_DRHIOPS_H

#include "dr/dras/drobj.h"

struct dryocc;
struct drhicur;

struct drhiops {
  static constexpr int32_t clsid = DRCLS_DOCINDEX;
  /* 0: hashes the tokens of the document the lexer stands on; 0 / 1. */
  int (*build)(drobj *idx, drobj *lexer);
  /* 1: a cursor over the occurrences of one term; 0 / 1. */
  int (*term)(drobj *idx, const char *text, drhicur **out);
  /* 2: a cursor over the occurrences of n terms, merged in word order;
   * 0 / 1. */
  int (*terms)(drobj *idx, const char *const *texts, int32_t n, drhicur **out);
  /* 3: a cursor over every term that begins with a prefix; 0 / 1. */
  int (*prefix)(drobj *idx, const char *prefix, drhicur **out);
  /* 4: the cursor's next occurrence, or null when none is left; 0. */
  int (*next)(drobj *idx, drhicur *cur, dryocc **out);
  /* 5: frees a cursor and clears the pointer; 0. */
  int (*release)(drobj *idx, drhicur **cur);
  /* 6: frees the index with everything it holds; 0 / 1. */
  int (*free)(drobj *idx);
};
DROBJ_SLOTS(drhiops, 7);
DROBJ_SLOT(drhiops, build, 0);
DROBJ_SLOT(drhiops, term, 1);
DROBJ_SLOT(drhiops, terms, 2);
DROBJ_SLOT(drhiops, prefix, 3);
DROBJ_SLOT(drhiops, next, 4);
DROBJ_SLOT(drhiops, release, 5);
DROBJ_SLOT(drhiops, free, 6);

#endif
