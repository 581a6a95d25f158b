/* What the index leaves share: reading one fetched row whole, the check of
 * the names the engine hands them, the floor that keeps a statement run
 * again from handing out a document twice, and the walk of a document's
 * in-memory index when highlighting. */
#ifndef KES_DR_DREB_DREBYINT_H
#define KES_DR_DREB_DREBYINT_H

#include <cstdint>

#include "dr/dreb/dreby.h"
#include "dr/drh/drh.h"
#include "dr/dru/druo.h"

/* A row longer than the slot it was fetched into, read whole. */
struct drebylong {
  uint8_t *buf;
  uint32_t size;  /* bytes allocated */
};

/* The bytes of row k of the last fetch on cur: *data and *len come in as the
 * row's slot and its returned length; a row cut at its slot is read whole
 * into big (the rest through the long-piece read) and *data, *len then name
 * that. A null row is refused as a damaged list of what. 0, or 1 after
 * pushing. */
int drebyrowget(drsrvstate *st, drheap heap, druocur *cur, int32_t k, int16_t ind,
                const uint8_t **data, uint32_t *len, drebylong *big, const char *what);
/* Frees a long row's buffer. */
void drebylongfree(drsrvstate *st, drheap heap, drebylong *big);
/* Checks the table and column names of the engine's record as plain names
 * before they go into a statement; 0, or 1 after pushing 50600. */
int drebynames(drsrvstate *st, const drebyctx *ctx);
/* Opens a cursor of the tree's document index: open(index, its operations)
 * sets *cur; 0, or 1 after pushing (50600 when the tree has no index). */
template <class Open>
int drebyhiopen(drsrvstate *st, drhiidx *idx, drhicur **cur, Open open) {
  if (!idx) {
    dracnierr(st, DRFAC_DRG, 50600, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_STR,
              "no document index", DRA_END);
    return 1;
  }
  if (open(&idx->hd.obj, drops<drhiops>(&idx->hd.obj)) != 0 || !*cur) return 1;
  return 0;
}
/* Slot 3 of the leaves: the cursor's next occurrence at or after word
 * position t becomes the node's, or the node is exhausted; 0. */
int drebyhinext(drhiidx *idx, drhicur *cur, drynode *n, uint32_t t);

/* The next entry of a stored query's result row at or after target, read
 * from *at on: 0 with its document and score, 2 when the row ends (an id of
 * 0, or fewer than an entry's 5 bytes left). No byte at or past len is
 * read. */
int drebysread(const uint8_t *row, uint32_t len, uint32_t *at, uint32_t target, uint32_t *doc,
               uint8_t *score);

/* The target of a move: t, or past floor once a statement has run again. */
inline uint32_t drebyfloor(uint32_t floor, uint32_t t) {
  return floor != 0 && t <= floor && floor != UINT32_MAX ? floor + 1 : t;
}

#endif
