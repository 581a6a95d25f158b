/* Filter operations (class 3): how the lexer, the command handlers and the
 * filters that own sub-filters reach the plain text of a document. Every
 * filter starts with a drobjhd<drfilops>. */
#ifndef KES_DR_DRAS_DRFILOPS_H
#define KES_DR_DRAS_DRFILOPS_H

#include "dr/dras/drobj.h"

struct drfilops {
  static constexpr int32_t clsid = DRCLS_FILTER;
  /* 0: binds the filter to its policy, data store and preference; standalone
   * is 1 for a policy's filter, 0 for a sub-filter; 0 / 1. */
  int (*bnd)(drobj *fil, int32_t polid, drobj *ds, int32_t prefid, uint8_t standalone);
  /* 1: the data store's document count, passed on unchanged. */
  int (*count)(drobj *fil, int32_t *count);
  /* 2: with a key buffer advances to the next document and prepares its
   * text (2 at the end of the batch); without one prepares the current
   * document's text. */
  int (*next)(drobj *fil, int32_t *op, char *key);
  /* 3: copies the next bytes of the prepared text; 2 when none is left. */
  int (*read)(drobj *fil, void *dst, int32_t room, int32_t *got);
  /* 4: positions in the prepared text, from its start or (rel) from here. */
  int (*seek)(drobj *fil, int32_t off, uint8_t rel);
  /* 5: the position in the prepared text. */
  int (*tell)(drobj *fil, int32_t *off);
  /* 6: 1 indexing, 2 highlighting, 0 highlighting ends; 0 / 1. */
  int (*setmode)(drobj *fil, int32_t mode);
  /* 7: writes the intermediate form of the last document to the writer;
   * filters without one push 11210 and return 1. */
  int (*icf)(drobj *fil, drobj *writer);
  /* 8: writes the prepared text to the writer with the tags around each hit
   * range (1-based character offsets and lengths); 0 / 1. */
  int (*mark)(drobj *fil, const int32_t *offs, const int32_t *lens, const int32_t *strengths,
              int32_t nhits, const char *starttag, const char *endtag, drobj *writer);
  /* 9: called after a batch; kind 1 releases buffered text; 0 / 1. */
  int (*reset)(drobj *fil, int32_t kind);
  /* 10: releases the filter and all it owns (not the data store); 0 / 1. */
  int (*free)(drobj *fil);
};
DROBJ_SLOTS(drfilops, 11);
DROBJ_SLOT(drfilops, bnd, 0);
DROBJ_SLOT(drfilops, count, 1);
DROBJ_SLOT(drfilops, next, 2);
DROBJ_SLOT(drfilops, read, 3);
DROBJ_SLOT(drfilops, seek, 4);
DROBJ_SLOT(drfilops, tell, 5);
DROBJ_SLOT(drfilops, setmode, 6);
DROBJ_SLOT(drfilops, icf, 7);
DROBJ_SLOT(drfilops, mark, 8);
DROBJ_SLOT(drfilops, reset, 9);
DROBJ_SLOT(drfilops, free, 10);

/* Constructor of a filter; the object, or null after pushing why. */
using drfilctor = drobj *(*)(drsrvstate *s, drheap h);

#endif
