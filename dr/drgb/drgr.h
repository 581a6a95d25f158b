/* The chaining filter: serves policies whose documents come in mixed
 * formats. It owns up to three sub-filters built from its own preference
 * (a user program when one is named, the HTML filter, and last the
 * document-format filter) and hands each document to the first of them
 * that accepts it; the text operations then go to that one. */
#ifndef KES_DR_DRGB_DRGR_H
#define KES_DR_DRGB_DRGR_H

#include <cstdint>

#include "dr/dras/dras.h"

/* Ordinals of the preference read here: the format (997 puts the program
 * and HTML filters ahead of the document-format filter) and the program. */
enum { DRGR_ATTR_FORMAT = 1, DRGR_ATTR_PROGRAM = 3 };

/* The filter's record. */
struct drgrstate {
  drobjhd<drfilops> hd;
  drsrvstate *st;
  drheap heap;
  drobj *ds;
  drobj *active;   /* the sub-filter that took the current document */
  drobj *subs[3];  /* in the order they are tried */
  int32_t nsubs;
};

/* Builds an unbound chaining filter; null after pushing 51500. */
drobj *drgrnew(drsrvstate *s, drheap h);

#endif
