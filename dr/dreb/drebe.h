/* The base engine (class 7, object id 1): the one object through which the
 * command handlers reach a policy's text index. It owns the indexer, the
 * doc-id manager and the stored-query manager and composes their operations
 * into the index's life cycle. Included through dr/dreb/dreb.h. */
#ifndef KES_DR_DREB_DREBE_H
#define KES_DR_DREB_DREBE_H

#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dras/drengops.h"
#include "dr/dreu/dreu.h"

struct drdplist;
struct dreupstate;

/* Defaults of the engine's attributes. */
enum : uint32_t {
  DREB_MODE = 1,           /* 1: positional postings */
  DREB_MEMORY = 2097152,   /* 2: bytes a run holds before a full flush */
  DREB_DEADLIMIT = 524288  /* -2: deleted ids one optimisation reads */
};

/* The base engine. */
struct drebobj {
  drobjhd<drengops> hd;
  drsrvstate *st;
  drheap heap;          /* the object and every engine allocation */
  drobj *docids;        /* doc-id manager, made at bind */
  drobj *indexer;
  drobj *sqm;           /* stored-query manager */
  drlstmgr *lm;         /* list manager of one optimisation run, else null */
  dreupstate *run;      /* the driver's state during one populate, else null */
  int32_t polid;
  int32_t prefid;
  drdplist *attrs;      /* the engine preference's attributes, owned */
  int32_t mode;         /* indexing mode */
  uint32_t memlimit;
  int32_t deadlimit;
};

/* Makes a base engine with its indexer and stored-query manager; null
 * after the failing step pushed why. */
drobj *drebnew(drsrvstate *st, drheap heap);

#endif
