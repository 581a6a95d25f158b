/* Keyed tables: chained hashing over a prime bucket count, fixed-size
 * elements in a sub-heap of the table's own, 32-bit integer or string keys,
 * and one built-in iteration cursor. Main thread only. */
#ifndef KES_DR_DRU_DRUH_H
#define KES_DR_DRU_DRUH_H

#include <cstdint>

#include "dr/dra/dra.h"

/* Key types of druhnew. */
enum { DRUH_INTKEY = 1, DRUH_STRKEY = 0 };
/* Flag bits: an integer-key table; a table that grows its bucket count
 * (druhauto). */
enum { DRUH_FINT = 0x01, DRUH_FGROW = 0x02 };
/* Largest bucket request; anything above fails. */
enum { DRUH_MAXBUCKETS = 65521 };
/* Longest string key in bytes without its terminator: the key's length with
 * the terminator must fit the 8-bit largest-key figure. */
enum { DRUH_MAXKEY = 254 };

/* Messages of the keyed tables (internal errors). */
enum {
  DRUH_EKEYLEN = 50002, /* a string key longer than DRUH_MAXKEY */
  DRUH_EELSIZE = 50003  /* an element size beyond the 16-bit stride */
};

/* One element's hidden head: the chain link sits in front of the caller's
 * data so that it can be pointer-sized while the key stays at data + stride. */
struct druhelt {
  druhelt *next;
  uint32_t tag; /* a 32-bit hash of a string key, compared before the key */
};

/* The table record; field order as the server's other tables expect. */
typedef struct druhtab {
  drsrvstate *st;      /* state it was made for: heaps, error stack */
  drheap heap;         /* the table's own sub-heap: record, buckets, elements */
  druhelt **buckets;   /* bucket count + 1 chain heads; the last stays empty */
  druhelt *cursor;     /* element last handed out by the iteration, or null */
  int32_t used;        /* bytes used, as the indexing driver counts memory */
  uint32_t nbuckets;   /* a prime of the prime table, or above it once grown */
  uint16_t stride;     /* element data size + 4: the key stands at data + stride */
  uint16_t datasize;   /* caller's element size rounded up to a multiple of 4 */
  uint32_t itbucket;   /* bucket of the iteration cursor */
  uint8_t maxkey;      /* longest key inserted (with its terminator); 4 for integer keys */
  uint8_t flags;       /* DRUH_FINT, DRUH_FGROW */
  uint32_t count;      /* elements held */
} druhtab;

/* Compare function of druhscn: the search string and a stored key; the key
 * is accepted when the low byte of the result is nonzero. */
typedef int (*druhcmpf)(const char *search, const char *key);

/* Creates a table of the prime bucket count for the request under a new
 * sub-heap of parent; 0 with the table, 1 on failure (a request above 65521
 * pushes nothing, an allocation failure has pushed 10900). */
int druhnew(drsrvstate *st, drheap parent, uint32_t nbuckets, uint32_t elsize, int keytype,
            druhtab **out);
/* Lets the table grow: once it holds more than two elements a bucket and no
 * iteration is under way, its bucket count is raised about fourfold, so that
 * a look-up stays about one compare however many keys come. The iteration
 * order changes when it grows. 0. */
int druhauto(druhtab *t);
/* Frees the table with all its elements by destroying its sub-heap; 1 when
 * that fails, else 0. */
int druhfre(druhtab *t);
/* The element of a key, inserted with zeroed data when absent (an existing
 * element is handed out untouched); 0 with the element's data address, 1
 * after pushing a message (allocation, or a string key too long). */
int druhins(druhtab *t, const void *key, uint8_t keylen, void **out);
/* Looks a key up; 0 with the element's data address, or null when absent. */
int druhget(druhtab *t, const void *key, void **out);
/* Unlinks and frees the element of a key; an absent key is ignored; 0. */
int druhdel(druhtab *t, const void *key);
/* Next element of the iteration; 0 with it, or 2 and null at the end (the
 * next call starts again). */
int druhnxt(druhtab *t, void **out);
/* Unlinks and frees the element last handed out by the iteration; 0. */
int druhdlc(druhtab *t);
/* Continues the iteration to the next element whose key the compare
 * function accepts: 0 with its key and data, 2 with both null when none is
 * left, 1 with both null on an integer-key table (nothing pushed). */
int druhscn(druhtab *t, const char *search, druhcmpf cmp, const char **outkey, void **out);
/* Writes the table's description and chain lengths to a stream. */
void druhdmp(druhtab *t, rtstream *stream);
/* druhdmp to the runtime's standard output. */
void druhlog(druhtab *t);
/* The smallest prime of the prime table not below the request (7 for
 * anything up to 7); 0 for a request above 65521. */
uint16_t druhprm(uint32_t request);
/* The key stored with an element (its data address as handed out). */
const void *druhkey(const druhtab *t, const void *elem);

#endif
