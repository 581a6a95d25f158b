/* The query-parser component's record: its head and operations (class
 * header drtqops.h), then the fields the handlers, the normalisation passes
 * and the evaluation-tree builder read. */
#ifndef KES_DR_DRP_DRTQ_H
#define KES_DR_DRP_DRTQ_H

#include <cstdint>

#include "dr/dras/drtqops.h"
#include "dr/drp/drp.h"

struct drtqcmp {
  drobjhd<drtqops> hd;    /* class 14, object id 1, no name */
  int32_t theme;          /* 1 when the lexer given to set-up carries object id 3 */
  drsrvstate *srv;
  drpabuf *buf;           /* the parsed query; null until parsed and after a reset */
  int32_t kind;           /* parser kind, 0 until the keyword table is built */
  const char *user;
  const char *user2;      /* handed on to the stored-query look-up */
  drobj *wordlist, *aux, *lexer, *stoplist, *engine;
  uint16_t flags;         /* normalisation flags */
  uint8_t ready;
  drphtab *keywords;
  const char *modstr;     /* modifier string (empty) */
  uint8_t modflags;
  int32_t reserved;
};

#endif
