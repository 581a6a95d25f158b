/* The translators (class 9) between the reader and the loader engine: for
 * each file the reader hands out they deliver a load file with the target
 * table, and pass the loader's verdict back to the reader. */
#ifndef KES_DR_DRBX_DRBX_H
#define KES_DR_DRBX_DRBX_H

#include <cstdint>

#include "dr/dras/dras.h"

/* Bytes of a target table ("owner.table") or column text, with its NUL. */
enum { DRBX_TARGET = 98 };
/* Bytes of the program's full path, with its NUL. */
enum { DRBX_PROGRAM = 780 };

/* The plain translator's record (object id 1). */
struct drbxnstate {
  drobjhd<drtrnops> hd;
  drsrvstate *st;
  drheap heap;
  int32_t prefid;             /* -1 until bound */
  int32_t polid;              /* -1 until bound */
  char table[DRBX_TARGET];
  char column[DRBX_TARGET];
  uint8_t withname;           /* 1: a record's body names the file holding its text */
};

/* The user-program translator's record (object id 2). */
struct drbxustate {
  drobjhd<drtrnops> hd;
  drsrvstate *st;
  drheap heap;
  int32_t prefid;             /* -1 until bound */
  int32_t polid;              /* -1 until bound */
  char *tmp;                  /* the current translation (a temporary file), or null */
  char table[DRBX_TARGET];
  char column[DRBX_TARGET];
  char program[DRBX_PROGRAM]; /* the name from attribute 1, then its full path */
  uint8_t withname;           /* always 0 */
};

/* Builds an unbound plain translator; null after pushing 10900. */
drobj *drbxnnew(drsrvstate *s, drheap h);
/* Builds an unbound user-program translator; null after pushing 10900. */
drobj *drbxunew(drsrvstate *s, drheap h);

/* Copies a target text into a field of DRBX_TARGET bytes; 0, or 1 after
 * pushing 10012 for a text that does not fit (it is never cut). */
int drbxcopy(drsrvstate *st, char *dst, const char *src);

#endif
