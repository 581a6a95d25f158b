/* Result tables and result writers: the server's side of the database
 * package dr_rtm that hands out result tables for a session and takes them
 * back; the writers that take a query's hits into a result table, the
 * reply (a page sorted by score, a window in document order, a count), and
 * the writers that take a highlighted document's entries and texts. */
#ifndef KES_DR_DRR_DRR_H
#define KES_DR_DRR_DRR_H

#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dras/drrdocops.h"
#include "dr/dras/drrhlops.h"
#include "dr/dras/drrwrops.h"
#include "dr/dru/druo.h"

struct drmcmd;

/* Bytes of a result table's name with its NUL. */
enum { DRR_TABNAME = 32 };

/* Asks dr_rtm.allocate for a table of a type with keycnt key columns for a
 * session; its name goes into name (DRR_TABNAME bytes). 0, or 1 after 52005. */
int drrtalc(drsrvstate *s, int32_t sessid, const char *type, char *name, int32_t keycnt);
/* Gives a table back through dr_rtm.deallocate; 0, or 1 after 52006. */
int drrtdea(drsrvstate *s, const char *name);
/* Asks dr_rtm.recover to recover the package's tables; 0, or 1 after 52007. */
int drrtrcv(drsrvstate *s);
/* Checks that a user holds a right (SELECT, INSERT, DELETE ...) on a table
 * a message names, before the server uses the table for him; 0, or 1 after
 * 52009 (not a plain [schema.]name), 52010 (a table of the database side's
 * own) or 52008. With fence null, a table that carries code of its own is
 * refused (52011); else *fence is set to 1 for a table the result-table
 * manager did not hand out, which the caller then writes with the user's
 * rights (drrcusr), and to 0 for one it did. */
int drrtprv(drsrvstate *s, const char *user, const char *table, const char *right,
            int *fence = nullptr);

/* ---- result writers (class 11) ---- */

enum {
  DRR_BATCH = 512,    /* rows of one array insert */
  DRR_KEYCELL = 257,  /* a key value's cell: 256 bytes and a NUL */
  DRR_MAXKEYS = 16,   /* key columns of a result table */
  DRR_FEED = 1000,    /* hits per call the table and count writers prefer */
  DRR_PAGE = 250,     /* hits of one reply page */
  DRR_TEXT = 2000     /* bytes of one reply argument's text */
};

/* Messages of the writers. */
enum {
  DRR_EOPEN = 10001,     /* the result table cannot be cleared or prepared */
  DRR_ESEND = 10002,     /* a batch of rows could not be inserted */
  DRR_ESHR = 10003,      /* a clearing mode outside 0 to 5 */
  DRR_EDOCOPEN = 10004,  /* the document table cannot be prepared */
  DRR_EDOC = 10005,      /* the document could not be stored */
  DRR_EKEYLEN = 10006,   /* a key value longer than its cell */
  DRR_EHLOPEN = 10007,   /* the highlight table cannot be prepared */
  DRR_EHLSEND = 10008,   /* a batch of highlight rows could not be inserted */
  DRR_ETABLEN = 10009,   /* a document table's name longer than 34 bytes */
  DRR_ECOLUMN = 10010,   /* the result table lacks a column the insert names */
  DRR_EKEYCNT = 10011    /* a key count outside 1 to 16 */
};

/* The result-table writer: hits by text key into a result table, 512 rows
 * an array insert. */
struct drrcwr {
  drobjhd<drrwrops> hd;
  drsrvstate *st;
  drheap heap;
  druocur cur;             /* open from open until close with how 2 */
  uint8_t opened;
  int32_t batch;           /* DRR_BATCH */
  int32_t rows;            /* rows buffered */
  char (*keys)[DRR_BATCH][DRR_KEYCELL];  /* one array of cells per key column */
  int32_t score[DRR_BATCH];
  int32_t curid[DRR_BATCH];
  int32_t conid[DRR_BATCH];
  int32_t nkeys;           /* key columns, 1 to 16 */
  const char *user;        /* set: written as this user through the fence */
  const char *table;       /* the table, while written through the fence */
  int variant;             /* the insert's columns (0, 1, 2) */
  void *pend;              /* through the fence: rows not yet sent, as text */
  uint8_t dirty;           /* through the fence: the connection wants its reset */
};

/* One held hit of the sorted writer: its document and the next entry of the
 * same score (0 ends the chain). */
struct drrsent {
  uint32_t doc;
  uint8_t next;
};

/* The sorted writer: the best page of hits by score, in the reply. */
struct drrswr {
  drobjhd<drrwrops> hd;
  drsrvstate *st;
  drheap heap;
  drmcmd *reply;
  uint8_t scl;             /* score limit */
  uint32_t dceil;          /* first document allowed at the score limit */
  uint32_t floor;          /* lowest document that qualified but is not held */
  uint8_t low;             /* lowest held score */
  uint8_t held;            /* hits held, 0 to 250 */
  uint8_t heads[101];      /* most recent entry of each score */
  drrsent ent[DRR_PAGE + 1];  /* entries 1 to 250 */
};

/* The fetch writer: hits in document order from a start id, in the reply. */
struct drrpwr {
  drobjhd<drrwrops> hd;
  drsrvstate *st;
  drheap heap;
  drmcmd *reply;
  uint32_t written;        /* hits written */
  char buf[DRR_TEXT];
  uint32_t filled;         /* reply arguments filled */
  uint16_t used;           /* bytes of buf used */
  uint32_t resume;         /* the id the next fetch starts from */
};

/* The count writer: the number of hits, in the reply. */
struct drrnwr {
  drobjhd<drrwrops> hd;
  drsrvstate *st;
  drheap heap;
  drmcmd *reply;
  uint32_t total;
};

/* The result-table writer, from heap; null after 10900. */
drobj *drrcnew(drsrvstate *s, drheap heap);
/* Makes the result-table writer, before its open, clear and fill the table
 * as user, through dr_utl.write_as on the fence connection, so that code on
 * a table the user made runs as he; user stays the caller's until the
 * writer is destroyed. */
void drrcusr(drobj *w, const char *user);
/* The sorted writer (open: reply, scl, 0, dceil). */
drobj *drrsnew(drsrvstate *s, drheap heap);
/* The fetch writer (open: reply). */
drobj *drrpnew(drsrvstate *s, drheap heap);
/* The count writer (open: reply). */
drobj *drrnnew(drsrvstate *s, drheap heap);

/* ---- highlight writers (class 12) and the document writer (class 16) ---- */

enum {
  DRR_HLMEM = 10000,          /* entries the in-memory writer keeps */
  DRR_DOCCAP = 67108864,      /* bytes of one document (64 MiB) */
  DRR_DOCFIRST = 16384,       /* first capacity of its buffer */
  DRR_DOCQUAD = 4194304,      /* below this the buffer grows fourfold, then twofold */
  DRR_DOCTAB = 34             /* bytes of a document table's name */
};

/* The highlight table writer: entries into a highlight table, 512 rows an
 * array insert. */
struct drrhtab {
  drobjhd<drrhlops> hd;
  drsrvstate *st;
  drheap heap;
  druocur cur;
  uint8_t opened;
  int32_t batch;
  int32_t offs[DRR_BATCH];
  int32_t ids[DRR_BATCH];
  int32_t lens[DRR_BATCH];
  int32_t strs[DRR_BATCH];
  int32_t rows;
};

/* The in-memory highlight writer: the command reads its arrays after the
 * engine has fed it, before finish. */
struct drrhmem {
  drobjhd<drrhlops> hd;
  drsrvstate *st;
  drheap heap;
  int32_t offs[DRR_HLMEM];
  int32_t lens[DRR_HLMEM];
  int32_t strs[DRR_HLMEM];
  uint32_t count;
};

/* The document writer: one document's bytes into one row of a table. */
struct drrdwr {
  drobjhd<drrdocops> hd;
  drsrvstate *st;
  drheap heap;
  druocur cur;
  int32_t id;
  uint8_t *buf;            /* null until the first append */
  uint32_t held;
  uint32_t cap;
  uint8_t written;         /* the row is stored, or the writer is full or failed */
  uint8_t mode;            /* 1: a full writer stores what it has and answers 6 */
  uint8_t opened;
  uint8_t full;            /* the document passed the cap */
  char table[DRR_DOCTAB + 1];
};

/* The highlight table writer, from heap; null after 10900. */
drobj *drrhnew(drsrvstate *s, drheap heap);
/* The in-memory highlight writer, from heap; null after 10900. */
drobj *drrhinew(drsrvstate *s, drheap heap);
/* The document writer of a mode, from heap; null after 10900. */
drobj *drrdnew(drsrvstate *s, drheap heap, uint8_t mode);

#endif
