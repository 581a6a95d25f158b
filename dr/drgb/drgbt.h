/* One conversion through temporary files, shared by the document-format
 * and the user-program filters: the document is written to a file in a
 * private temporary folder, a converter entry or a program reads it and
 * writes the text to a second file there, and the text is read back. Both
 * files are gone afterwards, whatever happened, and the folder too unless
 * it is the filter's own. */
#ifndef KES_DR_DRGB_DRGBT_H
#define KES_DR_DRGB_DRGBT_H

#include <cstdint>

#include "converters/formats/cvt.h"
#include "dr/drs/druvf.h"

/* Seconds a filter program may run unless its preference says otherwise. */
enum { DRGBT_TIMEOUT = 60, DRGBT_TIMEOUT_MAX = 86400 };

/* A filter's private temporary folder, made at its first conversion and
 * kept, emptied after every job, until the filter ends: making and removing
 * a folder per document costs more than converting a small one. */
struct drgbtdir {
  char path[4096]; /* empty until made */
};
/* Removes the folder and whatever is left in it; the record is empty after. */
void drgbtdirgone(drgbtdir *d);

/* What to convert and how. */
struct drgbtjob {
  drsrvstate *st;
  druvfd *in;         /* the document, closed; read from its start */
  druvfd *out;        /* receives the text (rewritten, closed after) */
  const char *path;   /* the program to run, or null for the entry */
  const char *name;   /* the program's name in messages */
  cvtentry entry;     /* the converter, when no program */
  int timeout;        /* seconds the program may run; 0 none */
  int64_t limit;      /* bytes the text may have */
  drgbtdir *dir;      /* the filter's folder, or null for one of the job's own */
};

/* Runs the job; 0, or 1 after pushing why: 11101 (a temporary file), 51800
 * (copying), 11206 (program not started), 11212 and 11207 (stopped at its
 * time limit), 11207 (nonzero status), 11200 (converter status), 11213
 * (text too long). */
int drgbtconv(drgbtjob *j);

/* Names a compound document by its whole file: the document (open for
 * reading) is written to a private temporary folder and the recogniser
 * reads its directory where the header places it, which is often past the
 * first 4096 bytes. 0 with *code (0 when nothing matched) and *sub set and
 * the document open again at its start, or 1 after pushing why. */
int drgbtwhole(drsrvstate *st, druvfd *in, int *code, int32_t *sub, drgbtdir *dir);

/* The 19 characters a program name may not hold: it must name a file right
 * in the bin folder, and no character of it may mean anything to a shell
 * that a site's script might hand it to. */
extern const char DRGBT_FORBIDDEN[];
/* 0 when the name is fit to run from the bin folder, else 1. */
int drgbtname(const char *name);
/* The bin folder of the product home into out ("<home>/bin/"); its length,
 * 0 when KESTRIN_HOME is not set, -1 when it does not fit. */
int drgbtbin(drsrvstate *st, char *out, size_t size);

#endif
