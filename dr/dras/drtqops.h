/* Operations of the query-parser component (class 14): set-up, parse, and
 * the walk of the parsed tree that the normalisation passes and the
 * evaluation-tree builder make. Every such component starts with a
 * drobjhd<drtqops>. */
#ifndef KES_DR_DRAS_DRTQOPS_H
#define KES_DR_DRAS_DRTQOPS_H

#include <cstddef>

#include "dr/dras/drobj.h"

struct drpabuf;
struct drpanode;

struct drtqops {
  static constexpr int32_t clsid = DRCLS_QPARSER;
  /* 0: stores the normalisation flags, the user and second name and the
   * word list, class-15 object, lexer, stop list and engine; 0, or 1 with
   * 50931 when the component has no parser kind. */
  int (*setup)(drobj *qp, uint16_t flags, const char *user, const char *user2, drobj *wordlist,
               drobj *aux, drobj *lexer, drobj *stoplist, drobj *engine, int32_t reserved);
  /* 1: parses and normalises a query text; 0, or 1 after pushing. */
  int (*parse)(drobj *qp, const char *text);
  /* 2: spare; always 1. */
  int (*spare)(drobj *qp);
  /* 3: the root node, or null when there is none; hands out the parse buffer. */
  drpanode *(*root)(drobj *qp, drpabuf **buf);
  /* 4: the MAX_DOC value, 0 for none. */
  int32_t (*maxdoc)(drobj *qp);
  /* 5: the first document of FIRST_DOC, 0 for none. */
  int32_t (*first)(drobj *qp);
  /* 6: the last document of FIRST_DOC, 0 for none. */
  int32_t (*last)(drobj *qp);
  /* 7: the next sibling of a node in the buffer given, or null. */
  drpanode *(*next)(drobj *qp, drpanode *node, drpabuf *buf);
  /* 8: the first child of a node, or null for a leaf. */
  drpanode *(*child)(drobj *qp, drpanode *node, drpabuf *buf);
  /* 9: the node's text (null when it has none); 0, or 1 when nothing is
   * parsed. */
  int (*text)(drobj *qp, drpanode *node, const char **text, drpabuf *buf);
  /* 10: the address just past a word, or null after pushing 50935. */
  const char *(*wend)(drobj *qp, const char *word);
  /* 11: the stop-word number of a word (-1 when it is none); the stop
   * list's result. */
  int (*stop)(drobj *qp, const char *word, int32_t *num);
  /* 12: prints the parsed tree into a buffer; 0 or 1. */
  int (*print)(drobj *qp, char *out, size_t size);
  /* 13: with mode 1 frees the parse buffer; 0, or 1 with 50939. */
  int (*reset)(drobj *qp, int32_t mode);
  /* 14: frees the component; 0 or 1. */
  int (*free)(drobj *qp);
};
DROBJ_SLOTS(drtqops, 15);
DROBJ_SLOT(drtqops, setup, 0);
DROBJ_SLOT(drtqops, parse, 1);
DROBJ_SLOT(drtqops, spare, 2);
DROBJ_SLOT(drtqops, root, 3);
DROBJ_SLOT(drtqops, maxdoc, 4);
DROBJ_SLOT(drtqops, first, 5);
DROBJ_SLOT(drtqops, last, 6);
DROBJ_SLOT(drtqops, next, 7);
DROBJ_SLOT(drtqops, child, 8);
DROBJ_SLOT(drtqops, text, 9);
DROBJ_SLOT(drtqops, wend, 10);
DROBJ_SLOT(drtqops, stop, 11);
DROBJ_SLOT(drtqops, print, 12);
DROBJ_SLOT(drtqops, reset, 13);
DROBJ_SLOT(drtqops, free, 14);

#endif
