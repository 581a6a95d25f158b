/* The in-memory term index of one document: the highlight path tokenises
 * the document again through the policy's lexer and hashes its tokens here,
 * and the leaves of an occurrence-mode evaluation tree walk the occurrences
 * of their terms through cursors (operations in dr/dras/drhiops.h). */
#ifndef KES_DR_DRH_DRH_H
#define KES_DR_DRH_DRH_H

#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dras/drhiops.h"
#include "dr/dru/druh.h"
#include "dr/dry/dry.h"

struct drdmpol;

/* Occurrence records of one chunk, buckets asked of the term table, and the
 * step by which a prefix cursor's head array grows. */
enum { DRHI_CHUNK = 1024, DRHI_BUCKETS = 0xC000, DRHI_GROW = 256 };

/* A chunk of occurrence records after the first, in the chain. */
struct drhilink {
  drhilink *next;
  dryocc *chunk;
};

/* One term of the table: its first occurrence stored in place, its last
 * (null while it has one), and whether the first is taken (the extent
 * cannot say so: a word of 256 characters has extent 0). */
struct drhielt {
  dryocc first;
  dryocc *last;
  uint8_t taken;
};

/* A cursor: the chain heads of the terms it walks and their count (0: one
 * chain, in heads[0], which may be null). */
struct drhicur {
  dryocc **heads;
  int32_t count;
  int32_t cap;
};

/* The index of one document (class 17, object id 1). */
struct drhiidx {
  drobjhd<drhiops> hd;
  drsrvstate *st;
  int32_t polid;
  druhtab *terms;     /* string keys; null until built */
  drheap heap;        /* the per-command heap: everything the index takes */
  drdmpol *pol;
  drhilink *chain;    /* the chunks after the first */
  dryocc *first;      /* the first chunk */
  dryocc *cur;        /* the chunk records are taken from */
  int32_t used;       /* records taken of it */
};

/* Makes the index for a policy in the per-command heap; null when the
 * policy cannot be had or memory fails. */
drhiidx *drhinew(drsrvstate *st, int32_t polid);

#endif
