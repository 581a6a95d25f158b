/* Data-store operations (class 1): how filters, command handlers and the
 * document buffer reach the documents of a policy. Every data store starts
 * with a drobjhd<drdsops>. */
#ifndef KES_DR_DRAS_DRDSOPS_H
#define KES_DR_DRAS_DRDSOPS_H

#include "dr/dras/drobj.h"

/* Bytes of a key text with its NUL. */
enum { DRDS_KEYSIZE = 257 };

struct drdsops {
  static constexpr int32_t clsid = DRCLS_DATASTORE;
  /* 0: starts a populate batch of the server's slice (qualifier 'C' a fresh
   * run, any other a resumed one of the run sequence); 0 / 1. */
  int (*start)(drobj *ds, int32_t srvcnt, int32_t srvno, char qual, int32_t runseq);
  /* 1: starts a batch of the changed rows queued for this session; 0 / 1. */
  int (*dml)(drobj *ds);
  /* 2: starts a batch of the given keys (at least one); 0 / 1. */
  int (*key)(drobj *ds, char (*keys)[DRDS_KEYSIZE], int32_t nkeys);
  /* 3: the number of documents of the batch as counted at its start; 0. */
  int (*count)(drobj *ds, int32_t *count);
  /* 4: advances to the next document: its operation and key; 2 at the end
   * of the batch with operation 4. */
  int (*next)(drobj *ds, int32_t *op, char *key);
  /* 5: reads the next bytes of the current document; 2 when nothing is left. */
  int (*read)(drobj *ds, void *dst, int32_t n, int32_t *got);
  /* 6: sets the read offset (adds to it when rel is set); 0 / 1. */
  int (*seek)(drobj *ds, int32_t off, uint8_t rel);
  /* 7: the read offset in the current document; 0. */
  int (*tell)(drobj *ds, int32_t *off);
  /* 8: kind 2 closes both cursors, kind 1 releases the text area; 0 / 1. */
  int (*reset)(drobj *ds, int32_t kind);
  /* 9: releases the object and all it owns; 0 / 1. */
  int (*free)(drobj *ds);
};
DROBJ_SLOTS(drdsops, 10);
DROBJ_SLOT(drdsops, start, 0);
DROBJ_SLOT(drdsops, dml, 1);
DROBJ_SLOT(drdsops, key, 2);
DROBJ_SLOT(drdsops, count, 3);
DROBJ_SLOT(drdsops, next, 4);
DROBJ_SLOT(drdsops, read, 5);
DROBJ_SLOT(drdsops, seek, 6);
DROBJ_SLOT(drdsops, tell, 7);
DROBJ_SLOT(drdsops, reset, 8);
DROBJ_SLOT(drdsops, free, 9);

/* The current URL of a data store: the address of the document it handed
 * out last, against which that document's relative links resolve; null for
 * the stores that keep none. A kind that fetches documents by address sets
 * the hook when the process is built with it. */
extern const char *(*drdsurlfn)(drobj *ds);
inline const char *drdscurl(drobj *ds) { return ds && drdsurlfn ? drdsurlfn(ds) : nullptr; }

/* Constructor of a data store for a policy and its preference; the object,
 * or null after pushing why. */
using drdsctor = drobj *(*)(drsrvstate *s, drheap h, int32_t polid, int32_t prefid);

#endif
