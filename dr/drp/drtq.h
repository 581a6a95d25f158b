/* The query-parser component's record: its head and operations (class
 * header drtqops.h), then the fields the handlers, the normalisation passes
 * and the evaluation-tree builder read; and the class-15 object of a query. */
#ifndef KES_DR_DRP_DRTQ_H
#define KES_DR_DRP_DRTQ_H

#include <cstdint>

#include "dr/dras/drtqops.h"
#include "dr/dras/drucaops.h"
#include "dr/drp/drp.h"

/* Normalisation passes chosen by the flag word given to set-up. */
enum : uint16_t {
  DRTQ_MODS = 0x01,    /* modifiers pushed down to the words */
  DRTQ_THES = 0x02,    /* thesaurus and stored-function calls expanded */
  DRTQ_LEX = 0x04,     /* words re-tokenised through the policy's lexer */
  DRTQ_WEXP = 0x08,    /* wildcard, stem, fuzzy and soundex words expanded */
  DRTQ_REDUCE = 0x10,  /* the final reduction */
  DRTQ_SQE = 0x20,     /* stored query names checked */
  DRTQ_SQEREF = 0x40,  /* ... and their stored results brought up to date */
  DRTQ_QUERY = 127,    /* what the query commands ask for */
  DRTQ_INLINE = 191    /* the highlight command: stored queries inlined */
};

/* The parser kind the command handlers build. */
enum { DRTQ_KIND = 7 };

struct drtqcmp {
  drobjhd<drtqops> hd;    /* class 14, object id 1, no name */
  int32_t theme;          /* 1 when the lexer given to set-up carries object id 3 */
  drsrvstate *srv;
  drpabuf *buf;           /* the parsed query; null until parsed and after a reset */
  int32_t kind;           /* parser kind, 0 until the keyword table is built */
  const char *user;       /* the message's user: stored functions run with its rights */
  const char *user2;      /* handed on to the stored-query look-up */
  drobj *wordlist, *aux, *lexer, *stoplist, *engine;
  uint16_t flags;         /* normalisation flags */
  uint8_t ready;
  drphtab *keywords;
  const char *modstr;     /* modifier string (empty) */
  uint8_t modflags;
  int32_t reserved;
};

/* The class-15 object: its head and operations, the heap it lives in and
 * the server state. */
struct drucaobj {
  drobjhd<drucaops> hd;   /* class 15, object id 1, no name */
  drheap heap;
  drsrvstate *srv;
};

/* Builds a query-parser component of a parser kind in the command heap,
 * its keyword table filled; null after pushing 50932 with the kind. */
drobj *drtqnew(drsrvstate *srv, int32_t kind);
/* Builds the class-15 object of a query in a heap (the kind is not used);
 * null after the heap layer's 10900. */
drobj *drucanew(drsrvstate *srv, drheap heap, int32_t kind);

#endif
