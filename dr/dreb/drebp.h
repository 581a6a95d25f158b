/* The id-list store: one table per policy (suffix LST) of free, reserved and
 * deleted doc-id ranges and lists, and the object that reserves blocks,
 * records deleted ids and reads them back. Included through dr/dreb/dreb.h. */
#ifndef KES_DR_DREB_DREBP_H
#define KES_DR_DREB_DREBP_H

#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dras/drobj.h"
#include "dr/dru/druo.h"

struct drdplist;

/* Message of the stores: a table action outside 0 to 3. */
enum { DREB_EACTION = 51202 };

/* Most ids one getdel or getres call hands out, and one putdel call takes. */
enum { DREBP_MAXIDS = 65535 };

/* Operations of the id-list store. Results: 0, 1 after pushing (a failed
 * commit pushes nothing), 2 at the end of the data. */
struct drilsops {
  static constexpr int32_t clsid = 0;
  /* 0: table action: 0 creates the table with its free row and commits, 1
   * its index, 2 drops the table, 3 nothing (ids are never handed out again). */
  int (*tabs)(drobj *o, int32_t action);
  /* 1: closes every statement and frees the store; 0. */
  int (*free)(drobj *o);
  /* 2: closes statements: kinds 0, 1, 3 the writers and tests, kinds 1, 3
   * the deleted-list reader, kinds 2, 3 the reserved-list reader; 0. */
  int (*close)(drobj *o, int32_t kind);
  /* 3: reserves count consecutive ids for this server's session and commits;
   * the first id. */
  int (*alloc)(drobj *o, int32_t count, int32_t *first);
  /* 4: deletes this session's reserved rows and commits. */
  int (*release)(drobj *o);
  /* 5: turns this session's reserved rows into deleted rows and commits. */
  int (*retire)(drobj *o);
  /* 6: writes ids as deleted-list rows (no commit). */
  int (*putdel)(drobj *o, int32_t count, const int32_t *ids);
  /* 7: the next ids of the deleted rows an optimisation took (see take), at
   * most max; 2 when they ran out. */
  int (*getdel)(drobj *o, int32_t max, int32_t *count, int32_t *ids);
  /* 8: the next ids of every session's reserved rows; as getdel. */
  int (*getres)(drobj *o, int32_t max, int32_t *count, int32_t *ids);
  /* 9: deletes the deleted rows an optimisation took and commits. */
  int (*purge)(drobj *o);
  /* 10: 1 when any reserved row exists, else 0. */
  int (*hasres)(drobj *o, int32_t *flag);
  /* 11: the highest settled id: one below the lowest reserved or free id. */
  int (*maxid)(drobj *o, int32_t *id);
  /* 12: marks every deleted row there is now as taken by the optimisation
   * that begins, and commits: its runs read these ids and its end purges
   * them, while ids deleted meanwhile wait for the next one. */
  int (*take)(drobj *o);
};
DROBJ_SLOTS(drilsops, 13);
DROBJ_SLOT(drilsops, tabs, 0);
DROBJ_SLOT(drilsops, free, 1);
DROBJ_SLOT(drilsops, close, 2);
DROBJ_SLOT(drilsops, alloc, 3);
DROBJ_SLOT(drilsops, release, 4);
DROBJ_SLOT(drilsops, retire, 5);
DROBJ_SLOT(drilsops, putdel, 6);
DROBJ_SLOT(drilsops, getdel, 7);
DROBJ_SLOT(drilsops, getres, 8);
DROBJ_SLOT(drilsops, purge, 9);
DROBJ_SLOT(drilsops, hasres, 10);
DROBJ_SLOT(drilsops, maxid, 11);
DROBJ_SLOT(drilsops, take, 12);

/* The session id of a deleted row an optimisation took: no session has it. */
enum { DREBP_TAKEN = -1 };

/* A reader of one row kind ('R' or 'D'): its statement and the row it is
 * handing out. */
struct drebprdr {
  druocur *cur;        /* the query, null until first use */
  int64_t idcount;     /* current row: its count */
  int32_t contiguous;  /* 1 a range, 0 a list */
  char data[1025];     /* first id, or the comma list */
  int32_t consumed;    /* 1: the row has been handed out completely */
  int32_t needexec;    /* 1: run the query before the next fetch */
  int64_t first, last; /* the range of the current range row */
  int64_t next;        /* next id of the range; 0: not started */
  int32_t off;         /* parse offset into a list row */
};

/* The store. */
struct drebpstore {
  drobjhd<drilsops> hd; /* head words zero */
  char lst[33];         /* list table name */
  char lix[33];         /* its index name */
  drheap heap;
  drsrvstate *st;
  drdplist *attrs;      /* the engine preference's attributes (storage clauses) */
  druocur *calloc;      /* reservation */
  druocur *crel;        /* release */
  druocur *cret;        /* retire */
  druocur *cput;        /* putdel */
  druocur *cpur;        /* purge */
  druocur *chas;        /* reserved-row test */
  druocur *cmax;        /* highest settled id */
  druocur *ctake;       /* take */
  drebprdr res;         /* reserved rows */
  drebprdr del;         /* deleted rows */
};

/* Builds a store for a policy: its table and index names; null after
 * pushing when the names cannot be built or memory is short. */
drobj *drebpnew(drsrvstate *st, drheap heap, int32_t polid, drdplist *attrs);

#endif
