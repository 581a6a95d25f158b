/* The plain-text filter, which hands its data store's text on unchanged,
 * and the markup that streams a filter's text to a document writer with
 * tags around hit ranges counted in whole characters. */
#ifndef KES_DR_DRG_DRGA_H
#define KES_DR_DRG_DRGA_H

#include <cstdint>

#include "dr/dras/dras.h"

/* The plain-text filter's record. */
struct drgastate {
  drobjhd<drfilops> hd;
  drsrvstate *st;
  drheap heap;     /* the heap the record came from */
  int32_t polid;   /* 0 until bound */
  int32_t prefid;
  drobj *ds;       /* the data store the text comes from */
};

/* Builds an unbound plain-text filter; null after pushing 10900. */
drobj *drganew(drsrvstate *s, drheap h);

/* Writes the text the filter has prepared (read again from its start through
 * the filter's own seek and read) to the writer's append slot, the start tag
 * before and the end tag after each hit range; offsets are 1-based and
 * offsets and lengths count characters of the server's character set.
 * Ranges that touch or overlap become one; null tags write "<<<" and ">>>".
 * 0, or 1 when the filter or the writer fails (what they pushed stays) or a
 * range reaches past the end of the text, after all the text was written. */
int drgamarkup(drsrvstate *s, drobj *fil, const int32_t *offs, const int32_t *lens,
               const int32_t *strengths, int32_t count, const char *starttag, const char *endtag,
               drobj *writer);

#endif
