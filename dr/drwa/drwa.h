/* The word list (class 5) as indexing sees it. Until the word list with
 * its tables is built, drwanew makes a stand-in: it keeps the mode of its
 * last open and does nothing else, so that index commands run through it. */
#ifndef KES_DR_DRWA_DRWA_H
#define KES_DR_DRWA_DRWA_H

#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dras/drwlops.h"

/* The stand-in word list. */
struct drwaobj {
  drobjhd<drwlops> hd;
  drsrvstate *st;
  drheap heap;
  int32_t prefid;
};

/* Makes the word list of a preference; null after pushing (51001 for
 * preference id 0, 10900). */
drobj *drwanew(drsrvstate *st, drheap heap, int32_t prefid, drdmpol *pol);

#endif
