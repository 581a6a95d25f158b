/* Link rewriting of highlighted HTML: a byte-driven state machine that
 * follows the attributes of every tag and writes the values of the link
 * attributes (src, href, action, background) in their absolute form, resolved
 * against the base URL of the document, so that a marked-up copy shown away
 * from the document's own address keeps working links. */
#ifndef KES_DR_DRGH_DRGHCL_H
#define KES_DR_DRGH_DRGHCL_H

#include <cstdint>

#include "dr/dra/dra.h"

enum {
  DRGHCL_SIZE = 1024,    /* room of the base, a name, a value and a URL part */
  DRGHCL_BASEMAX = 1018, /* a base URL this long or longer turns rewriting off */
  /* Most bytes one byte of a tag can make the rewriter write: an absolute
   * form of a base part and a value part with its separators, or a held
   * value and the byte that ended it. Callers keep this room free. */
  DRGHCL_ROOM = 2 * DRGHCL_SIZE + 64,
};

/* The rewriter: one record for the process, set up again by every
 * conversion run. */
struct drghclrec {
  drsrvstate *st;
  char base[DRGHCL_SIZE];  /* the base URL, empty when there is none */
  int32_t prev;            /* the state before the last byte */
  int32_t state;           /* 0 text ... 18 unquoted value */
  char name[DRGHCL_SIZE];  /* the attribute name being collected */
  int32_t namelen;
  char value[DRGHCL_SIZE]; /* the attribute value held back until its end */
  int32_t valuelen;        /* bytes held and not yet written */
};

/* One URL in its parts. */
struct drghcurl {
  char scheme[DRGHCL_SIZE];   /* empty when absent */
  char host[DRGHCL_SIZE];     /* empty when absent */
  int32_t port;               /* -1 when absent */
  char path[DRGHCL_SIZE];     /* "/" at least */
  char fragment[DRGHCL_SIZE]; /* the text after "#", empty when absent */
};

/* Sets the rewriter up for a run over a document with the base URL (null:
 * none, and every byte passes unchanged); null when the base is
 * DRGHCL_BASEMAX bytes or longer, and the run then goes without rewriting. */
drghclrec *drghclinit(drsrvstate *st, const char *base);
/* Takes one byte of a tag (the "<" first, up to and including the ">") and
 * writes what it produces at out, below limit; *count is what was written.
 * Null rewriter: the byte is copied. 0, or 1 when the output or a name or
 * value would pass its limit or a link cannot be resolved; the held value
 * then stays for drghclend and the byte was not written. */
int drghclink(drghclrec *rec, unsigned char b, uint32_t *count, char *out, const char *limit);
/* Ends a tag: writes a value still held back, unchanged, and returns the
 * rewriter to the text state; 0, or 1 when the value does not fit. */
int drghclend(drghclrec *rec, uint32_t *count, char *out, const char *limit);
/* Writes the absolute form of value resolved against base at out,
 * NUL-terminated below limit, its length in *len; 0 / 1. */
int drghclabs(drsrvstate *st, const char *base, const char *value, uint32_t *len, char *out,
              const char *limit);
/* Parses a URL into its parts; 1 when it is too long or its port is. */
int drghclparse(drsrvstate *st, const char *text, drghcurl *url);

#endif
