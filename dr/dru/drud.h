// SQL text builders and statement helpers over table, index and sequence
// descriptions; the work-range claims and the index-log writes. Included
// through dr/drd/drd.h.
#ifndef KES_DR_DRU_DRUD_H
#define KES_DR_DRU_DRUD_H

#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dru/dru.h"

struct nlscs;

// A column of a table description.
struct drudcol {
  const char *type;   // type text for create table ("number", "varchar2(10) not null")
  const char *name;   // column name
  uint8_t extype;     // external datatype used to bind or define it
};

// A table description; the column array ends with a null name.
struct drudtab {
  const char *name;        // table name, possibly "owner.table"
  const char *tablespace;  // " tablespace %s" when set
  const char *storage;     // " storage (%s)" when set
  const char *extra;       // " %s" when set (create table only)
  drudcol *cols;
  uint16_t ncols;          // set by the create-table, insert and select builders
};

// An index description.
struct drudidx {
  const char *name;
  uint8_t unique;
  const char *table;
  const char *const *cols;
  uint16_t ncols;
  const char *tablespace;
  const char *storage;
  const char *extra;
};

// A sequence description, passed by value.
struct drudseq {
  int16_t incr;
  int32_t start;
  int32_t maxv;
  int32_t minv;
  uint8_t cycle;
  int32_t cache;
  uint8_t order;
  uint8_t replace;
};

// A placeholder inside a statement text held by the caller.
struct drudph {
  const char *addr;
  uint8_t len;
};

// An index-log record.
struct drudlog {
  int32_t polid;
  char oper;         // operation letter; 'N' turns logging off
  char stage;        // stage letter
  int32_t runseq;
  int32_t srvid;
  char kind;         // update kind: 'E', 'F', 'L' or 'Y'
  const char *key;   // document key
  int32_t count;     // document count
};

// Creates a table from its description; a replace flag of 1 drops a table of
// the same name first. 0 / 1.
int drudcrtab(drsrvstate *s, drudtab *t, char *buf, uint16_t size, uint8_t replace);
// Drops a table; a missing table passes. 0 / 1.
int druddroptab(drsrvstate *s, const char *table);
// Truncates a table; a missing table passes. 0 / 1.
int drudtrunc(drsrvstate *s, const char *table);
// Creates a sequence. 0 / 1.
int drudcrseq(drsrvstate *s, const char *name, drudseq seq);
// Drops a sequence; a missing sequence passes. 0 / 1.
int druddropseq(drsrvstate *s, const char *name);
// Creates an index from its description. 0 / 1.
int drudcridx(drsrvstate *s, drudidx *x, uint8_t replace);
// Drops an index. 0 / 1.
int druddropidx(drsrvstate *s, const char *name);
// Creates a synonym for an object. 0 / 1.
int drudcrsyn(drsrvstate *s, const char *object, const char *synonym, uint8_t replace);
// Drops a synonym. 0 / 1.
int druddropsyn(drsrvstate *s, const char *synonym);
// Runs one data-definition text on a cursor of its own; done is 0 when the
// database refused it as a name in use or an object missing. 0 / 1.
int drudddl(drsrvstate *s, const char *text, uint8_t *done, int32_t *errcode);
// Builds and parses the insert statement of a table on the caller's cursor. 0 / 1.
int drudins(drsrvstate *s, drudtab *t, drudph *ph, char *buf, uint16_t size, druocur *cur);
// Binds one value per column and executes once. 0 / 1.
int drudexec1(drsrvstate *s, drudtab *t, drudph *ph, const int32_t *sizes, void *const *vals,
              druocur *cur);
// Binds an array of values per column and executes for nrows rows. 0 / 1.
int drudexecn(drsrvstate *s, drudtab *t, drudph *ph, const int32_t *sizes, void *const *vals,
              uint16_t *const *lens, uint32_t nrows, druocur *cur);
// Builds and parses a select over a table and records its placeholders
// (':' then a name, up to the next blank; literals, quoted names, comments
// and "::" casts hold none) in ph, which holds at most maxph. 0, or 1 (a
// text with more placeholders than ph holds is refused with 50600).
int drudsel(drsrvstate *s, drudtab *t, drudph *ph, uint16_t maxph, char *buf, uint16_t size,
            const char *where, const char *order, druocur *cur, uint16_t *nph);
// Binds the placeholders of a select and executes it. 0 / 1.
int drudselbnd(drsrvstate *s, drudtab *t, drudph *ph, const int32_t *sizes, void *const *vals,
               uint16_t nph, druocur *cur);
// drudsel, then drudselbnd. 0 / 1.
int drudselx(drsrvstate *s, drudtab *t, drudph *ph, uint16_t maxph, char *buf, uint16_t size,
             const char *where, const char *order, druocur *cur, const int32_t *sizes,
             void *const *vals);
// Fetches rows of the select, one per group of column addresses, until the
// addresses are used up (0) or the rows end (2). 0 / 1 / 2.
int drudfetch(drsrvstate *s, drudtab *t, const int32_t *sizes, void *const *vals,
              uint32_t nvals, druocur *cur);

// Claims the next free work range of a server; 0 with the range (the high
// value padded by drudpadhigh), 2 when none is left, 1 on failure.
int drudgetrange(drsrvstate *s, drheap h, const char *table, char *low, char *high,
                 int32_t server);
// Pads a range's high value (a buffer of 65 bytes) towards 64 characters,
// within 64 bytes, with the highest character the session's character set
// carries, so that every key of the range compares below it in the "C"
// order: the byte 255 in a single-byte set, U+10FFFF in UTF8.
void drudpadhigh(const nlscs *cs, char *high);
// Completes ("C") or claims ("I") a range of a server; 0 / 1.
int drudsetstat(drsrvstate *s, drheap h, const char *table, const char *status,
                int32_t server);
// Inserts the index-log row of a record; 0 / 1.
int drudlogins(drsrvstate *s, drheap h, const drudlog *rec);
// Updates the index-log row of a record by its update kind; 0 / 1.
int drudlogupd(drsrvstate *s, drheap h, const drudlog *rec);

// Test seam: called with each data-definition text as it is run.
extern void (*drudtrace)(const char *text);

#endif
