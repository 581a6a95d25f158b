// A narrow view of the database client layer for the dictionary cache, the
// SQL builders, the work ranges and the index log: bind by name, define by
// position, execute, fetch, commit. Each call returns the client library's
// return code (0 success, 1403 no more rows); nothing is pushed here.
#pragma once

#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dru/dru.h"

namespace drddb {

// Opens a cursor on the server's work session into a caller-owned area.
int open(drsrvstate *s, druocur *cur);
// Parses a whole statement (not deferred).
int parse(drsrvstate *s, druocur *cur, const char *text);
// Closes a cursor.
int close(drsrvstate *s, druocur *cur);
// Binds a 32-bit integer by name.
int bindint(drsrvstate *s, druocur *cur, const char *name, int32_t *v);
// Binds a NUL-terminated string buffer by name (in and out).
int bindstr(drsrvstate *s, druocur *cur, const char *name, char *buf, int32_t size);
// Binds a value of an external datatype by name (placeholder of given length).
int bindext(drsrvstate *s, druocur *cur, const char *name, int32_t namelen, void *buf,
            int32_t size, int type, uint16_t *lens, int16_t *ind);
// Binds an out array of at most max integers with indicators and a count.
int bindintarr(drsrvstate *s, druocur *cur, const char *name, int32_t *arr, int16_t *ind,
               uint32_t max, uint32_t *count);
// Defines an integer column (an array of as many as fetched per call).
int defint(drsrvstate *s, druocur *cur, int pos, int32_t *v);
// Defines a string column (an array of elements of size bytes).
int defstr(drsrvstate *s, druocur *cur, int pos, char *buf, int32_t size);
// Defines a column of an external datatype.
int defext(drsrvstate *s, druocur *cur, int pos, void *buf, int32_t size, int type);
// Executes once.
int exec(drsrvstate *s, druocur *cur);
// Executes for n rows from row 0 (array binds).
int execn(drsrvstate *s, druocur *cur, uint32_t n);
// Executes and fetches n rows.
int exfet(drsrvstate *s, druocur *cur, uint32_t n);
// Fetches up to n rows into the defines.
int fetch(drsrvstate *s, druocur *cur, uint32_t n);
// Rows delivered so far by the cursor.
uint32_t rows(druocur *cur);
// Return code of the cursor's last call.
int rc(druocur *cur);
// Commits the work session.
int commit(drsrvstate *s);

}  // namespace drddb
