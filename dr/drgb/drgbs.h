/* The bridge between the document-format filter and the converters that
 * live outside the document pipeline: recognising a document's format from
 * its first bytes, finding the converter of a converter id, and turning a
 * document into plain text and the intermediate form through the document
 * filter framework, which reads the document through five host callbacks. */
#ifndef KES_DR_DRGB_DRGBS_H
#define KES_DR_DRGB_DRGBS_H

#include <cstdint>

#include "converters/formats/cvt.h"
#include "dr/drs/druvf.h"

struct drgbtdir;

/* Converter ids with a meaning of their own. */
enum : int16_t {
  DRGB_RECOGNISE = 997,  /* recognise each document's format */
  DRGB_NONE = 998,       /* no converter */
  DRGB_PLAIN = 999       /* plain text: passes through */
};

/* Bytes of a document the recogniser looks at. */
enum { DRGBS_HEAD = 4096 };

/* The host handle of one framework run: what every callback is given. */
struct drgbhandle {
  drsrvstate *st;
  druvfd *src;  /* the document, open for reading */
};

/* Recognises the document buf holds from its first bytes: its converter id
 * and its catalogue row (998 unless programs are listed). The buffer is
 * left at 0. With programs listed (progs > 0) the code must have a
 * catalogue row; without, it must have a converter. 0, or 1 after 11201
 * (nothing matched) or 11203 (no converter), or a buffer's own message. */
/* A compound document is written whole to a temporary file for its
 * directory, in the filter's folder when one is given. */
int drgbsdetect(drsrvstate *st, druvfd *buf, int16_t *cvid, int16_t *row, int32_t progs,
                drgbtdir *tmp = nullptr);
/* The converter id of a catalogue code (998 when none reads it). */
int16_t drgbsfmtid(int32_t code, int32_t subcode);
/* The entry of a converter id: 0 with the entry (null for plain text and
 * for id 0), or 1 when the id has no row. */
int drgbsentry(int16_t cvid, cvtentry *entry);
/* Converts the document src holds through the framework into text (plain
 * text) and icf (intermediate form), each opened for rewriting and closed
 * after; at most limit bytes each (0: none). Framework runs are serialised
 * across the process. src is left open. 0, or 1 (with 11211 when the
 * framework failed). */
int drgbshost(drsrvstate *st, druvfd *src, druvfd *icf, druvfd *text, int64_t limit);

/* The host callbacks, in the framework's order. */
int drgbsread(void *handle, void *buf, int len, int *count);
long drgbsseek(void *handle, long offset, int whence);
long drgbstell(void *handle, long *pos);
void *drgbsalloc(void *handle, size_t size);
int drgbsfree(void *handle, void *block);

#endif
