/* The stored-query manager of the base engine: its operations table and
 * object. Until stored queries are built, drebsnew makes a stand-in that
 * creates and drops the policy's result table (suffix SQR, its unique index
 * SRI) and refuses every other operation as not available yet. Included
 * through dr/dreb/dreb.h. */
#ifndef KES_DR_DREB_DREBS_H
#define KES_DR_DREB_DREBS_H

#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dras/drobj.h"
#include "dr/dru/drud.h"

struct drdplist;

/* Operations of the stored-query manager. Results: 0, or 1 after pushing. */
struct drsqmops {
  static constexpr int32_t clsid = 0;
  /* 0: names the result table and its index for a policy. */
  int (*bnd)(drobj *sq, int32_t polid, drdplist *attrs);
  /* 1: creates the result table and its index (replacing them), commits. */
  int (*crt)(drobj *sq);
  /* 2: the highest document id an evaluation may store. */
  int (*limit)(drobj *sq, uint32_t maxid);
  /* 3: saves a definition. */
  int (*save)(drobj *sq, const char *name, int32_t sessid, const char *text, int32_t scope);
  /* 4: deletes a definition and its results. */
  int (*del)(drobj *sq, const char *name, int32_t sessid, int32_t scope);
  /* 5: deletes a definition's results. */
  int (*clr)(drobj *sq, const char *name, int32_t sessid);
  /* 6: evaluates a definition over the documents new since it last was. */
  int (*eval)(drobj *sq, const char *name, int32_t sessid, drobj *engine, drobj *qparser);
  /* 7: removes the definitions and results of ended sessions. */
  int (*purge)(drobj *sq, int32_t sessid);
  /* 8: the text of a definition into a buffer. */
  int (*get)(drobj *sq, const char *name, int32_t sessid, char *buf, uint16_t size,
             const char *outer);
  /* 9: drops the result table; a missing one passes. */
  int (*drop)(drobj *sq);
  /* 10: frees the manager. */
  int (*free)(drobj *sq);
};
DROBJ_SLOTS(drsqmops, 11);
DROBJ_SLOT(drsqmops, bnd, 0);
DROBJ_SLOT(drsqmops, crt, 1);
DROBJ_SLOT(drsqmops, limit, 2);
DROBJ_SLOT(drsqmops, save, 3);
DROBJ_SLOT(drsqmops, del, 4);
DROBJ_SLOT(drsqmops, clr, 5);
DROBJ_SLOT(drsqmops, eval, 6);
DROBJ_SLOT(drsqmops, purge, 7);
DROBJ_SLOT(drsqmops, get, 8);
DROBJ_SLOT(drsqmops, drop, 9);
DROBJ_SLOT(drsqmops, free, 10);

/* The stored-query manager. */
struct drebsobj {
  drobjhd<drsqmops> hd;
  drsrvstate *st;
  drheap heap;
  drdplist *attrs;
  char sqr[33];      /* the result table */
  char sri[33];      /* its index */
  uint32_t limit;
  int32_t polid;
};

/* Makes a stored-query manager; null after pushing 10900. */
drobj *drebsnew(drsrvstate *st, drheap heap);

#endif
