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

#endif
