/* The test engine (class 7, object ids 0 and 2): an engine that builds no
 * index. Every operation writes what it was asked into the server log; its
 * populate prints each document and token of the policy's lexer, and its
 * query hands 30 made-up hits to the result writer. */
#ifndef KES_DR_DREA_DREA_H
#define KES_DR_DREA_DREA_H

#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dras/drengops.h"

/* The test engine. */
struct dreaobj {
  drobjhd<drengops> hd;
  drsrvstate *st;
  drheap heap;
  int32_t polid;   /* 0 until bound */
  int32_t prefid;  /* -1 until bound */
};

/* Makes a test engine; null after pushing 10900. */
drobj *dreanew(drsrvstate *st, drheap heap);

#endif
