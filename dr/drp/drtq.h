// The query-parser component (class 14): the object through which command
// handlers, the normalisation passes and the evaluation-tree builder reach a
// parsed query. This header fixes its layout and its typed operation table;
// the component's operations live beside the parser.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dr/dras/dras.h"
#include "dr/drp/drp.h"

struct drtqcmp;

// The fifteen operations, in slot order; each takes the component first.
struct drtqops {
  // 0: stores the set-up (normalisation flags, user, second name, word list,
  // class-15 object, lexer, stop list, engine, reserved); 0, or 1 with 50931.
  int (*setup)(drtqcmp *c, uint16_t flags, const char *user, const char *user2, drobj *wordlist,
               drobj *aux, drobj *lexer, drobj *stoplist, drobj *engine, int32_t reserved);
  // 1: parses (and normalises) a query text; 0, or 1 after pushing.
  int (*parse)(drtqcmp *c, const char *text);
  // 2: spare slot; always 1.
  int (*spare)(drtqcmp *c);
  // 3: the root parse node (null when none); hands out the parse buffer.
  drpanode *(*root)(drtqcmp *c, drpabuf **buf);
  // 4: the MAX_DOC value, 0 for none.
  int32_t (*maxdoc)(drtqcmp *c);
  // 5, 6: first and last document of FIRST_DOC, 0 for none.
  int32_t (*firstdoc)(drtqcmp *c);
  int32_t (*lastdoc)(drtqcmp *c);
  // 7: the next sibling of a node, or null at the end of the chain.
  drpanode *(*next)(drtqcmp *c, drpanode *node, drpabuf *buf);
  // 8: the first child of a node, or null for a leaf.
  drpanode *(*child)(drtqcmp *c, drpanode *node, drpabuf *buf);
  // 9: the node's text into *text (null when it has none); 0, or 1 when
  // nothing is parsed.
  int (*text)(drtqcmp *c, drpanode *node, const char **text, drpabuf *buf);
  // 10: the address just past a word, or null after pushing 50935.
  const char *(*wend)(drtqcmp *c, const char *word);
  // 11: the stop-word number of a word into *num (-1 when it is none); the
  // stop list's result.
  int (*stop)(drtqcmp *c, const char *word, int32_t *num);
  // 12: prints the tree into a buffer; 0 or 1.
  int (*print)(drtqcmp *c, char *out, size_t size);
  // 13: mode 1 frees the parse buffer; 0, or 1 with 50939.
  int (*reset)(drtqcmp *c, int mode);
  // 14: frees the component; 0 or 1.
  int (*free)(drtqcmp *c);
};

// The component: the copy of its template (head and operations), then its
// fields in this order.
struct drtqcmp {
  drobj hd;               // class 14, object id 1, no name
  drtqops ops;
  int32_t theme;          // 1 when the lexer given to set-up carries object id 3
  drsrvstate *srv;
  drpabuf *buf;           // the parsed query, null until parsed and after a reset
  int32_t kind;           // parser kind, 0 until the keyword table is built
  const char *user;
  const char *user2;      // handed on to the stored-query look-up
  drobj *wordlist, *aux, *lexer, *stoplist, *engine;
  uint16_t flags;         // normalisation flags
  uint8_t ready;
  drphtab *keywords;
  const char *modstr;     // modifier string (empty)
  uint8_t modflags;
  int32_t reserved;
};
