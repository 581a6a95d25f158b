/* HTML conversion: streams an HTML document from a document buffer either
 * into its plain text (tags removed, entities decoded) or into the HTML again
 * with tags inserted around hit ranges and its links made absolute. Both
 * modes count the characters of the plain text the same way, so that hits
 * found in the text fall on the same characters of the HTML. */
#ifndef KES_DR_DRGH_DRGHC_H
#define KES_DR_DRGH_DRGHC_H

#include <cstdint>

#include "dr/drgh/drghcl.h"
#include "dr/drs/druvf.h"

/* Bytes of the input and the output area. */
enum { DRGHC_AREA = 32512 };

/* The converter of one HTML filter; its areas come from the standard
 * allocator, not from the server's heaps. */
struct drghcstate {
  drsrvstate *st;
  druvfd *src;              /* the buffer being converted, during a run */
  char *in;                 /* input area */
  char *inpos, *inend;      /* the unread bytes */
  char *outpos;             /* where the next byte is written */
  char *out;                /* output area */
  char *hiwat;              /* a chunk ends once the output reaches this */
  char *outend;
  char *chunk;              /* first byte not handed out */
  uint32_t counter;         /* 1-based position of the next text character */
  int32_t eos;              /* the source has no more bytes */
  uint32_t nhits, hitidx;
  const int32_t *offs, *lens, *strengths;
  uint32_t nextb;           /* position of the next hit bookkeeping; all ones: none */
  int32_t mode;             /* 0 text, 1 highlight */
  uint8_t html;             /* the document counts as HTML */
  const char *stag, *etag;
  int32_t intitle;
  drghclrec *link;          /* null: no rewriting in this run */
  /* Resumable state: a tag whose bytes run over a chunk's end, and a hit
   * range whose start tag was written and end tag not yet. */
  uint8_t intag;            /* inside the bytes of an ordinary tag */
  uint8_t tagfirst;         /* its first byte (never the end) comes next */
  uint8_t tagraw;           /* the rewriter failed: the rest of the tag is copied */
  uint8_t open;             /* a start tag is written and its end tag is not */
};

/* A converter with its two areas; null when an allocation fails (nothing is
 * pushed). */
drghcstate *drghcnew(drsrvstate *st);
/* Frees the areas and the record. */
void drghcfree(drghcstate *c);
/* Writes the plain text of src to dst (opened for rewriting). With the HTML
 * flag clear the document must prove to be HTML: it is refused when more
 * than 32 characters or an "&" come before an "<html" tag or when any tag but
 * a declaration comes first. 0, or 1 on a refusal or failure. */
int drghctext(drghcstate *c, druvfd *src, druvfd *dst, uint8_t html);
/* Writes the HTML of src to dst (opened for rewriting) with the start tag
 * before and the end tag after each hit range (1-based character offsets of
 * the plain text, ascending), none inside the title; null tags are
 * "<FONT SIZE=+4>" and "</FONT>". Links are made absolute when the data store
 * src reads from gives a current URL. 0 / 1. */
int drghcmark(drghcstate *c, druvfd *src, druvfd *dst, uint8_t html, const int32_t *offs,
              const int32_t *lens, const int32_t *strengths, uint32_t nhits,
              const char *stag, const char *etag);

#endif
