/* The HTML filter: turns HTML documents into plain text for the lexer and,
 * to highlight one, writes its HTML again with tags around the hit ranges
 * and its links made absolute. Bound standalone it takes every document as
 * HTML; as a sub-filter it takes only documents that pass the binary test
 * and prove to be HTML, so that the filter that owns it can try another.
 * Japanese documents can be converted into the server's set first. */
#ifndef KES_DR_DRGH_DRGH_H
#define KES_DR_DRGH_DRGH_H

#include <cstdint>

#include "dr/dras/dras.h"
#include "dr/drgh/drghc.h"

/* Ordinal of the preference attribute that turns Japanese detection on. */
enum { DRGH_ATTR_JAPANESE = 1 };

/* The filter's record. */
struct drghstate {
  drobjhd<drfilops> hd;
  drsrvstate *st;
  drheap heap;
  int32_t polid;       /* 0 until bound */
  int32_t prefid;
  drobj *ds;
  druvfd *input;       /* the document, read through the data store */
  druvfd *text;        /* the plain text */
  druvfd *markup;      /* the highlighted HTML */
  druvfd *source;      /* what the conversions read: input or japanese */
  druvfd *japanese;    /* the document in the server's set; null without detection */
  drghcstate *conv;
  int32_t mode;
  uint8_t standalone;
};

/* Builds an unbound HTML filter; null after pushing 51500. */
drobj *drghnew(drsrvstate *s, drheap h);
/* The binary-content test over the next 2048 bytes of buf: 0 text, 1 binary
 * or unreadable. */
int drghbin(druvfd *buf);

#endif
