/* Declarations shared by the units of the SQL rewrite module; other modules
 * include dr/drz/drz.h only. */
#ifndef KES_DR_DRZ_DRZINT_H
#define KES_DR_DRZ_DRZINT_H

#include "dr/drz/drz.h"

/* First position of each letter A to Z in the extended keyword table. */
extern const uint16_t drzgtextidx[26];

/* Raises internal error 50100 with the source file and line: a request
 * that breaks what the rewrite's own callers must keep to. */
[[noreturn]] void drzierr(drsrvstate *st, const char *file, int line);

/* A zero-filled block of size bytes from the command heap; raises 10900
 * when there is none. */
void *drzalloc(drsrvstate *st, size_t size, const char *file, int line);
/* Returns a block of drzalloc to the command heap; null is accepted. */
void drzfree(drsrvstate *st, void *block);


/* Appends n bytes to the rewrite's output text; raises 11301 when they do
 * not fit. */
void drzout(drsrvstate *st, drzsstate *rs, const char *bytes, int32_t n);
/* Appends a NUL-terminated text. */
void drzouts(drsrvstate *st, drzsstate *rs, const char *text);
/* Appends a number in decimal. */
void drzoutn(drsrvstate *st, drzsstate *rs, int32_t v);
/* Appends to a counted text of cap bytes; raises 11301 when it does not fit. */
void drzcat(drsrvstate *st, char *base, int32_t *len, int32_t cap, const char *bytes, int32_t n);
void drzcats(drsrvstate *st, char *base, int32_t *len, int32_t cap, const char *text);

/* Pushes a message of the facility with one text argument (or none). */
void drzpush(drsrvstate *st, int32_t num, const char *text);
/* Pushes a message with one number argument. */
void drzpushn(drsrvstate *st, int32_t num, int32_t v);

#endif
