/* The document-format filter: turns word-processor and spreadsheet files
 * into plain text. Built by the chaining filter as its last sub-filter and
 * bound with that filter's preference. Per document it picks a site program
 * listed for the recognised format, a converter of the converter family
 * (indexing), the document filter framework (highlighting, which also
 * yields the intermediate form), an inner HTML filter, or passes plain text
 * through. */
#ifndef KES_DR_DRGB_DRGB_H
#define KES_DR_DRGB_DRGB_H

#include <cstddef>
#include <cstdint>

#include "dr/dras/dras.h"
#include "dr/drgb/drgbs.h"
#include "dr/drgb/drgbt.h"
#include "dr/drs/druvf.h"

/* Ordinals of the preference: the format (a converter id, or 997 to
 * recognise each document) and one program-list entry each. */
enum { DRGB_ATTR_FORMAT = 1, DRGB_ATTR_PROGRAM = 2 };
/* Entries a program list holds at most, and the longest program name. */
enum { DRGB_MAXPROGS = 1000, DRGB_NAMEMAX = 64 };

/* The filter's record. */
struct drgbstate {
  drobjhd<drfilops> hd;
  drsrvstate *st;
  drheap heap;
  int32_t polid;        /* 0 until bound */
  int32_t prefid;
  drobj *ds;
  druvfd *input;        /* the document, through the data store */
  druvfd *output;       /* the converted text */
  druvfd *current;      /* what read reads: output, or input passed through */
  druvfd *icf;          /* the intermediate form of a framework conversion */
  int16_t format;       /* the configured converter id */
  int32_t mode;         /* the last setmode; 1 at first */
  int32_t progs;        /* program-list entries */
  int16_t *rows;        /* the catalogue row each entry serves */
  char **names;         /* each entry's program name */
  char *bin;            /* "<home>/bin/", with programs only */
  int32_t timeout;      /* seconds a program may run */
  uint8_t framework;    /* the last document went through the framework */
  drobj *inner;         /* the inner HTML filter */
  drobj *active;        /* this filter, the inner filter, or null */
  drgbtdir tmp;         /* the private folder of its conversions */
};

/* Builds an unbound document-format filter with its inner HTML filter; null
 * after pushing 51500. */
drobj *drgbnew(drsrvstate *s, drheap h);
/* Converts the input into the output through temporary files, with the
 * converter entry or the named program (in the bin folder); 0 / 1. */
int drgbconv(drgbstate *f, cvtentry entry, const char *program);
/* Reads one program-list value "row,program" into *row and name (room
 * DRGB_NAMEMAX + 1): 0; 1 when malformed (no comma, a row that is not a
 * number from 0 to 32767, an empty or too long name); 2 when the name holds
 * a character a program name may not have. */
int drgbplist(const char *value, int16_t *row, char *name);

#endif
