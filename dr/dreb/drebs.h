/* The stored-query manager of the base engine: named text queries whose
 * hits are kept, per policy, in a result table (suffix SQR, unique index
 * SRI) of 5-byte entries, and their definitions in the database side's
 * DR$SQE. Included through dr/dreb/dreb.h. */
#ifndef KES_DR_DREB_DREBS_H
#define KES_DR_DREB_DREBS_H

#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dras/drobj.h"
#include "dr/dreb/dreby.h"
#include "dr/dru/drud.h"
#include "dr/dru/druo.h"

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
  int (*save)(drobj *sq, const char *name, const char *sessid, const char *text, int32_t scope);
  /* 4: deletes a definition and its results. */
  int (*del)(drobj *sq, const char *name, const char *sessid, int32_t scope);
  /* 5: deletes a definition's results. */
  int (*clr)(drobj *sq, const char *name, const char *sessid);
  /* 6: evaluates a definition over the documents new since it last was. */
  int (*eval)(drobj *sq, const char *name, const char *sessid, drobj *engine, drobj *qparser);
  /* 7: removes the definitions and results of ended sessions. */
  int (*purge)(drobj *sq, const char *sessid);
  /* 8: the text of a definition into a buffer. */
  int (*get)(drobj *sq, const char *name, const char *sessid, char *buf, uint16_t size,
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
  drebysqr leaf;     /* the result table as the stored-query leaf reads it */
};

/* A result row: 5-byte entries (the document id, most significant byte
 * first, then the score), then 4 zero bytes. */
enum {
  DREBS_ENTRY = 5,
  DREBS_ROWFULL = 65526, /* a row is written once it holds more bytes */
  DREBS_ROWMAX = 65536
};

/* The row writer of one evaluation. */
struct drebsrow {
  drsrvstate *st;
  const char *name;
  const char *sessid;
  druocur cur;          /* the insert */
  uint32_t first;       /* first document of the row being collected; 0 while empty */
  uint32_t limit;       /* the evaluation limit */
  uint32_t at;          /* bytes collected */
  int32_t polid;
  int32_t opened;
  uint8_t buf[DREBS_ROWMAX];
};

/* Prepares the row insert of an evaluation of name for sessid; 0, or 1
 * after pushing (the cursor is closed again). */
int drebsrowbeg(drebsobj *m, const char *name, const char *sessid, drebsrow *r);
/* Takes one hit (id 0: the end). Writes the row collected so far when the
 * id ends the walk or lies above the limit, or the row is full; 2 for an
 * id above the limit (the walk stops there), else 0; 1 after pushing. */
int drebsput(drebsrow *r, uint32_t doc, uint32_t score);
/* Closes the row insert; 0, or 1 after pushing. */
int drebsrowend(drebsrow *r);

/* Makes a stored-query manager; null after pushing 10900. */
drobj *drebsnew(drsrvstate *st, drheap heap);

#endif
