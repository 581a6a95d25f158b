/* Document-writer operations (class 16): where a highlight command sends a
 * document's text, marked up or not. Filters use only the append slot.
 * Every document writer starts with a drobjhd<drrdocops>. */
#ifndef KES_DR_DRAS_DRRDOCOPS_H
#define KES_DR_DRAS_DRRDOCOPS_H

#include "dr/dras/drobj.h"

struct drrdocops {
  static constexpr int32_t clsid = DRCLS_DOCWRITER;
  /* 0: takes the document's id and the table its row goes to; 0 / 1. */
  int (*open)(drobj *w, const char *table, int32_t id);
  /* 1: adds n bytes of the document; 0, 1, or 6 when the writer is full
   * and the document complete (send no more). */
  int (*append)(drobj *w, const void *bytes, uint32_t n);
  /* 2: stores the row unless already stored and frees the writer; 0 / 1. */
  int (*finish)(drobj *w);
};
DROBJ_SLOTS(drrdocops, 3);
DROBJ_SLOT(drrdocops, open, 0);
DROBJ_SLOT(drrdocops, append, 1);
DROBJ_SLOT(drrdocops, finish, 2);

/* Constructor of a document writer (mode 1: a full writer stores what it
 * has and answers 6); the object, or null after pushing why. */
using drrdocctor = drobj *(*)(drsrvstate *s, drheap h, uint8_t mode);

#endif
