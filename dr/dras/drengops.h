/* Engine operations (class 7): index builds, optimisation, queries, stored
 * queries and highlighting of a policy. Every engine, base or test, starts
 * with a drobjhd<drengops>. */
#ifndef KES_DR_DRAS_DRENGOPS_H
#define KES_DR_DRAS_DRENGOPS_H

#include "dr/dras/drobj.h"

struct drubbuf;

struct drengops {
  static constexpr int32_t clsid = DRCLS_ENGINE;
  /* 0: binds the engine to its policy, preference and stop list; 0 / 1. */
  int (*bnd)(drobj *eng, int32_t polid, int32_t prefid, drobj *stoplist);
  /* 1: begin index. */
  int (*begx)(drobj *eng, int32_t srvcnt, int32_t runseq, char oper);
  /* 2: populate (also the changed-rows batch with qualifier 'M'). */
  int (*popx)(drobj *eng, drobj *lexer, drobj *wordlist, drobj *stoplist, int32_t runseq,
              int32_t srvid, char qual);
  /* 3: end index. */
  int (*endx)(drobj *eng, int32_t runseq, char oper);
  /* 4: drop index. */
  int (*drpx)(drobj *eng, int32_t runseq);
  /* 5: truncate index. */
  int (*trnx)(drobj *eng);
  /* 6: begin optimisation. */
  int (*bnox)(drobj *eng, int32_t mode, int32_t srvcnt);
  /* 7: optimise. */
  int (*optx)(drobj *eng, int32_t mode, int32_t srvcnt, int32_t srvno, int32_t threshold);
  /* 8: end optimisation. */
  int (*enox)(drobj *eng, int32_t mode);
  /* 9: evaluates a parsed query into a result writer (bynum: by document
   * number rather than by text key), between start and ceiling ids. */
  int (*qry)(drobj *eng, drobj *qparser, drobj *writer, drobj *stoplist, uint8_t bynum,
             uint32_t start, uint32_t ceiling, const char *view, int32_t maxdoc,
             int32_t firstdoc, int32_t lastdoc);
  /* 10: saves a stored query. */
  int (*sqsave)(drobj *eng, const char *name, const char *sessid, const char *text, drobj *qparser,
                int32_t scope);
  /* 11: deletes a stored query. */
  int (*sqdel)(drobj *eng, const char *name, const char *sessid, int32_t scope);
  /* 12: refreshes a stored query (clear: empty its results first). */
  int (*sqref)(drobj *eng, const char *name, const char *sessid, drobj *qparser, uint16_t clear);
  /* 13: purges a session's stored queries. */
  int (*sqpurge)(drobj *eng, const char *sessid);
  /* 14: the text of a stored query into a buffer. */
  int (*sqtext)(drobj *eng, const char *name, const char *sessid, char *buf, uint16_t size,
                const char *outer);
  /* 15: highlights the current document into a highlight writer. */
  int (*hlite)(drobj *eng, drobj *lexer, drobj *wordlist, drobj *qparser, drobj *stoplist,
               const char *key, drobj *writer, int32_t polid);
  /* 16: any operation the engine lacks; 1, nothing pushed. */
  int (*unsup)(drobj *eng, ...);
  /* 17: expands LIKE patterns into words from the index. */
  int (*lik)(drobj *eng, const char *const *patterns, int32_t npatterns, drubbuf *arena,
             char **result, int32_t *nresult, int32_t capacity);
  /* 18: closes the engine's statements. */
  int (*close)(drobj *eng);
  /* 19: releases the engine and all it owns. */
  int (*free)(drobj *eng);
};
DROBJ_SLOTS(drengops, 20);
DROBJ_SLOT(drengops, bnd, 0);
DROBJ_SLOT(drengops, begx, 1);
DROBJ_SLOT(drengops, popx, 2);
DROBJ_SLOT(drengops, endx, 3);
DROBJ_SLOT(drengops, drpx, 4);
DROBJ_SLOT(drengops, trnx, 5);
DROBJ_SLOT(drengops, bnox, 6);
DROBJ_SLOT(drengops, optx, 7);
DROBJ_SLOT(drengops, enox, 8);
DROBJ_SLOT(drengops, qry, 9);
DROBJ_SLOT(drengops, sqsave, 10);
DROBJ_SLOT(drengops, sqdel, 11);
DROBJ_SLOT(drengops, sqref, 12);
DROBJ_SLOT(drengops, sqpurge, 13);
DROBJ_SLOT(drengops, sqtext, 14);
DROBJ_SLOT(drengops, hlite, 15);
DROBJ_SLOT(drengops, unsup, 16);
DROBJ_SLOT(drengops, lik, 17);
DROBJ_SLOT(drengops, close, 18);
DROBJ_SLOT(drengops, free, 19);

/* Constructor of an engine; the object, or null after pushing why. */
using drengctor = drobj *(*)(drsrvstate *s, drheap h);

#endif
