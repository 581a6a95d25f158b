/* The directory reader (class 10): lists one folder into a chain of its
 * regular files and hands them out one at a time to the translator; a loaded
 * file is deleted, a failed one kept with a warning. It reads no file. */
#ifndef KES_DR_DRBG_DRBG_H
#define KES_DR_DRBG_DRBG_H

#include <cstdint>

#include "dr/dras/dras.h"

/* One regular file found by the scan, from the reader's heap. */
struct drbgdfile {
  int64_t size;       /* bytes, when the scan saw it */
  int64_t mtime;      /* modification time, seconds */
  drbgdfile *next;
  char name[1];       /* the full path, NUL-terminated (allocated to fit) */
};

/* The directory reader's record. */
struct drbgdstate {
  drobjhd<drrdrops> hd;
  drsrvstate *st;
  drheap heap;
  int32_t prefid;     /* -1 until bound */
  int32_t polid;      /* -1 until bound */
  char dir[DRRDR_NAMESIZE]; /* the folder, from attribute 1 */
  drbgdfile *cur;     /* the current file, null when none is left */
};

/* Builds an unbound directory reader; null after pushing 10900. */
drobj *drbgdnew(drsrvstate *s, drheap h);
/* The folder a directory reader lists (empty until bound); null for any
 * other kind of reader. Named documents of a load file must lie inside it. */
const char *drbgddir(const drobj *rdr);

#endif
