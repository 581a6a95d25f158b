/* Reader operations (class 10): the files a text-loading source offers,
 * one at a time. Every reader starts with a drobjhd<drrdrops>. */
#ifndef KES_DR_DRAS_DRRDROPS_H
#define KES_DR_DRAS_DRRDROPS_H

#include "dr/dras/drobj.h"

/* Bytes of a file name a reader hands out, with its NUL: the longest path
 * the system opens, so that no name is ever cut to fit. */
enum { DRRDR_NAMESIZE = 4096 };

struct drrdrops {
  static constexpr int32_t clsid = DRCLS_READER;
  /* 0: binds the reader to its source once; another source gives 1. */
  int (*bnd)(drobj *rdr, int32_t polid, int32_t prefid);
  /* 1: lists the files to load; 2 when there is none. */
  int (*scan)(drobj *rdr);
  /* 2: the current file's name (DRRDR_NAMESIZE bytes); 2 when none is left. */
  int (*next)(drobj *rdr, char *name);
  /* 3: the current file was loaded: removes it and advances; 2 after the last. */
  int (*done)(drobj *rdr);
  /* 4: the current file failed: keeps it, warns and advances; 2 after the last. */
  int (*fail)(drobj *rdr);
  /* 5: frees the reader and clears the caller's pointer; 0. */
  int (*free)(drobj **rdr);
};
DROBJ_SLOTS(drrdrops, 6);
DROBJ_SLOT(drrdrops, bnd, 0);
DROBJ_SLOT(drrdrops, scan, 1);
DROBJ_SLOT(drrdrops, next, 2);
DROBJ_SLOT(drrdrops, done, 3);
DROBJ_SLOT(drrdrops, fail, 4);
DROBJ_SLOT(drrdrops, free, 5);

/* Constructor of a reader; the object, or null after pushing why. */
using drrdrctor = drobj *(*)(drsrvstate *s, drheap h);

#endif
