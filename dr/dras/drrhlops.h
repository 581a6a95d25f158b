/* Highlight-writer operations (class 12): where the engine's highlight
 * operation sends the offsets, lengths and strengths of the words it finds
 * in one document: a highlight table, or an array the command reads. Every
 * highlight writer starts with a drobjhd<drrhlops>. */
#ifndef KES_DR_DRAS_DRRHLOPS_H
#define KES_DR_DRAS_DRRHLOPS_H

#include "dr/dras/drobj.h"

struct drrhlops {
  static constexpr int32_t clsid = DRCLS_HIGHLIGHT;
  /* 0: takes the table (ignored in memory) and the document's id; 0 / 1. */
  int (*open)(drobj *w, const char *table, int32_t id);
  /* 1: takes n entries: 1-based character offsets, lengths and strengths
   * (null: all 0); 0 / 1. */
  int (*add)(drobj *w, int32_t n, const int32_t *offsets, const int32_t *lengths,
             const int32_t *strengths);
  /* 2: sends what is buffered and frees the writer; 0 / 1. */
  int (*finish)(drobj *w);
};
DROBJ_SLOTS(drrhlops, 3);
DROBJ_SLOT(drrhlops, open, 0);
DROBJ_SLOT(drrhlops, add, 1);
DROBJ_SLOT(drrhlops, finish, 2);

/* Constructor of a highlight writer; the object, or null after pushing why. */
using drrhlctor = drobj *(*)(drsrvstate *s, drheap h);

#endif
