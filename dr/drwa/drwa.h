/* The word list (class 5) as indexing and queries see it. Until the word
 * list with its tables is built, drwanew makes a stand-in: it keeps the mode
 * of its last open and does nothing else for indexing, so that index
 * commands run through it; its expansion answers wildcards with the index's
 * words and refuses the other kinds by name. */
#ifndef KES_DR_DRWA_DRWA_H
#define KES_DR_DRWA_DRWA_H

#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dras/drwlops.h"

struct drubbuf;

/* Words a wildcard may stand for; more refuse the query with 50937. */
enum { DRWA_MAXWORDS = 5000 };

/* The stand-in word list. */
struct drwaobj {
  drobjhd<drwlops> hd;
  drsrvstate *st;
  drheap heap;
  int32_t prefid;
  drdmpol *pol;     /* the policy: its engine finds the words of a wildcard */
  drubbuf *tb;      /* the words of the last answer, until the next expansion */
  char **found;     /* what the engine finds for one word */
  char **answer;    /* the last answer */
};

/* Makes the word list of a preference; null after pushing (51001 for
 * preference id 0, 10900). */
drobj *drwanew(drsrvstate *st, drheap heap, int32_t prefid, drdmpol *pol);

#endif
