/* Lexer operations (class 4): how the indexing driver, the query parser and
 * the stop list turn text into token batches. Every lexer starts with a
 * drobjhd<drlexops>. */
#ifndef KES_DR_DRAS_DRLEXOPS_H
#define KES_DR_DRAS_DRLEXOPS_H

#include "dr/dras/drobj.h"

struct drtoken;

struct drlexops {
  static constexpr int32_t clsid = DRCLS_LEXER;
  /* 0: binds the lexer to its policy, filter and preference (a later call
   * for the same policy only replaces the filter); 0 / 1. */
  int (*bnd)(drobj *lex, int32_t polid, drobj *fil, int32_t prefid);
  /* 1: 1 reads documents through the filter, 2 tokenises caller strings. */
  int (*mode)(drobj *lex, int32_t mode);
  /* 2: the filter's document count, passed on unchanged. */
  int (*count)(drobj *lex, int32_t *count);
  /* 3: starts the next document (with a key pointer, advances the filter and
   * hands out the lexer's key buffer; without one, only restarts the text of
   * the document the filter stands on); 2 when there are no more. */
  int (*next)(drobj *lex, int32_t *op, char **key);
  /* 4: makes a query string the text to tokenise (wild: '%' and '_' are
   * word characters); 0 / 1. */
  int (*query)(drobj *lex, const char *text, uint8_t wild);
  /* 5: the next batch of at most max tokens (0: as many as the batch
   * holds); 0, or 2 when it ends with the end-of-document token, 1 on
   * failure. Callers take 2 as success as well: it only says that the
   * batch's last record has type 7 (end of the document or query word). */
  int (*tok)(drobj *lex, int32_t max, drtoken **toks, int32_t *count);
  /* 6: does nothing; 0. */
  int (*reset)(drobj *lex);
  /* 7: frees the lexer's buffers and the object; 0. */
  int (*free)(drobj *lex);
};
DROBJ_SLOTS(drlexops, 8);
DROBJ_SLOT(drlexops, bnd, 0);
DROBJ_SLOT(drlexops, mode, 1);
DROBJ_SLOT(drlexops, count, 2);
DROBJ_SLOT(drlexops, next, 3);
DROBJ_SLOT(drlexops, query, 4);
DROBJ_SLOT(drlexops, tok, 5);
DROBJ_SLOT(drlexops, reset, 6);
DROBJ_SLOT(drlexops, free, 7);

/* Constructor of a lexer; the object, or null after pushing why. */
using drlexctor = drobj *(*)(drsrvstate *s, drheap h);

#endif
