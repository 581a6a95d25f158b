/* The user-program filter: a site's own converter, a program in the bin
 * folder of the product home that reads a document from one file and
 * writes its text to another. A policy's own filter, or the first
 * sub-filter of the chaining filter when that filter's preference names a
 * program. */
#ifndef KES_DR_DRGB_DRGU_H
#define KES_DR_DRGB_DRGU_H

#include <cstdint>

#include "dr/dras/dras.h"
#include "dr/drd/drd.h"
#include "dr/drgb/drgbt.h"
#include "dr/drs/druvf.h"

/* Ordinals of the program's name and its time limit in seconds: the first
 * pair when the filter is a policy's own, the second when it serves the
 * chaining filter, whose preference it then shares. */
enum {
  DRGU_ATTR_PROGRAM = 1,
  DRGU_ATTR_TIMEOUT = 2,
  DRGU_SUB_PROGRAM = 3,
  DRGU_SUB_TIMEOUT = 4
};

/* The filter's record. */
struct drgustate {
  drobjhd<drfilops> hd;
  drsrvstate *st;
  drheap heap;
  drobj *ds;
  char *path;       /* "<home>/bin/<program>" */
  const char *name; /* the program's name (in path) */
  int32_t timeout;  /* seconds; 0 none */
  druvfd *input;    /* the document, through the data store */
  druvfd *output;   /* the program's text */
  druvfd *current;  /* output once a document was converted, else null */
  drgbtdir tmp;     /* the private folder of its conversions */
};

/* Builds an unbound user-program filter; null after pushing 51500. */
drobj *drgunew(drsrvstate *s, drheap h);
/* Converts the document the input buffer reads into the output buffer;
 * 0 / 1 (messages as drgbtconv's). */
int drgurun(drgustate *f);
/* The time limit of a preference's attribute, clamped to 0 (none) and the
 * largest limit; the default when absent. */
int32_t drgutimeout(drdplist *l, int32_t ordinal);

#endif
