/* The stop list: the words of a stop-list preference, converted as the
 * policy's lexer converts token text and numbered by their position, so that
 * the index and the query agree on a stop word's number. */
#ifndef KES_DR_DRWS_DRWS_H
#define KES_DR_DRWS_DRWS_H

#include <cstdint>

#include "dr/dras/dras.h"
#include "dr/dru/druh.h"

/* Limits of a stop list. */
enum : int32_t {
  DRWS_MAXWORDS = 4096, /* words past these are passed over */
  DRWS_MAXKEY = 250     /* bytes of a word its hash key keeps */
};

/* The stop list's record. */
struct drwsaobj {
  drobjhd<drstops> hd;
  drheap heap;       /* the object and its words live here */
  drsrvstate *st;
  druhtab *hash;     /* word -> 32-bit number; null until the words are read */
  int32_t count;
  char **words;      /* count + 1 pointers in preference order, null-ended */
};

/* Builds the stop list of a preference over the policy's lexer (the lexer's
 * letter conversion decides whether the words get it too); null after
 * pushing why (100 for an attribute other than the stop word, 51002). */
drobj *drwsanew(drsrvstate *s, drheap h, int32_t prefid, drobj *lexer);

#endif
