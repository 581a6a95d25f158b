/* The row reader every data store is built on: it composes the batch's
 * SELECT over the policy's base table (or the queue of changed rows),
 * array-fetches key, operation and text, hands the rows out one at a time
 * and reads texts longer than the fetch buffer piece by piece. Also the
 * kinds of data store built on it: plain rows, detail rows and files. */
#ifndef KES_DR_DRS_DRSX_H
#define KES_DR_DRS_DRSX_H

#include <cstddef>
#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dras/drdsops.h"
#include "dr/drs/druvf.h"
#include "dr/dru/druo.h"

enum : int32_t {
  DRSX_MAXKEYS = 16,    /* key columns of a policy */
  DRSX_KEYNAME = 65,    /* bytes of a key column name with its NUL */
  DRSX_ROWS = 100,      /* rows of one fetch */
  DRSX_TEXTAREA = 65535,/* text bytes of one fetch */
  DRSX_INLIST = 50,     /* keys of one group of a key-list batch */
  DRSX_CKEYVAL = 65,    /* bytes of one value of a composite key with its NUL */
  DRSX_ATTRSTR = 1024,  /* string attributes are shorter than this */
  DRSX_TYPENAME = 64,   /* a key column's type name */
};

/* Start modes of a batch. */
enum : int32_t {
  DRSX_POPULATE = 1,  /* every row of the server's slice */
  DRSX_DMLINDEX = 2,  /* the base rows of the keys queued for this session */
  DRSX_DMLDELETE = 3, /* every key queued for this session, then mode 2 */
  DRSX_KEYLIST = 4,   /* the rows of the given keys, a group at a time */
  DRSX_RESUME = 5,    /* as 1, less what the index log shows as done */
};

/* Record kinds: what the rows mean. */
enum : int32_t { DRSX_ROWKIND = 1, DRSX_DETAILKIND = 2, DRSX_URLKIND = 4 };

/* Operations handed out by next key. */
enum : int32_t { DRSX_OPINDEX = 1, DRSX_OPUPDATE = 2, DRSX_OPDELETE = 3, DRSX_OPEND = 4 };

/* The rows of one fetch. */
struct drsxrowset {
  uint16_t textsize;   /* text bytes per row (the bufsize attribute) */
  int32_t perfetch;    /* rows per fetch */
  uint8_t pending;     /* the statement must be executed before the next fetch */
  int32_t rows;        /* rows in the arrays */
  int32_t cur;         /* current row */
  int32_t off;         /* read offset in the current text */
  int32_t end;         /* the last fetch reached the end of the rows */
  int32_t longend;     /* the piecewise read reached the end of the text */
  char *text;          /* DRSX_TEXTAREA bytes; row r at r * textsize */
  uint16_t tlen[DRSX_ROWS];
  uint16_t trc[DRSX_ROWS];
  int16_t tind[DRSX_ROWS];
  int32_t curlen;      /* length of the current text in the array */
  char keys[DRSX_MAXKEYS][DRSX_ROWS][DRDS_KEYSIZE];
  uint16_t klen[DRSX_MAXKEYS][DRSX_ROWS];
  uint16_t krc[DRSX_MAXKEYS][DRSX_ROWS];
  char lines[DRSX_ROWS][DRDS_KEYSIZE];
  uint16_t llen[DRSX_ROWS];
  uint16_t lrc[DRSX_ROWS];
  int16_t lind[DRSX_ROWS];
  char ops[DRSX_ROWS][2];
  int64_t tsize[DRSX_ROWS];  /* bytes of each row's whole text */
  int16_t sind[DRSX_ROWS];
};

/* The record of a data store, one per object, zero-filled from the heap
 * given to its constructor. */
struct drsxstate {
  drobjhd<drdsops> hd;
  drsrvstate *st;
  drheap heap;
  int32_t polid;      /* bound as :cid */
  int32_t prefid;
  int32_t mode;       /* start mode of the batch */
  int32_t kind;       /* record kind */
  int32_t doccnt;     /* documents of the batch as counted at its start */
  uint8_t flag1;      /* detail rows: join the lines without a line break */
  char (*keylist)[DRDS_KEYSIZE];                        /* keys of a key-list batch */
  char inlist[DRSX_INLIST][DRDS_KEYSIZE];               /* one key column */
  char cinlist[DRSX_INLIST][DRSX_MAXKEYS][DRSX_CKEYVAL]; /* several */
  int32_t keysgiven, keysused, inlsize;
  int32_t srvcnt, srvno, runseq;  /* :p, :q; the run to resume */
  int32_t texttype;   /* client datatype of the text (96 is stored as 1) */
  int32_t keytype;    /* 2 numeric, else character */
  char table[98];     /* owner.table */
  char textexpr[2000];
  char keycols[257];  /* key column list as the policy has it */
  char lncol[33];     /* line column of detail rows */
  uint16_t nkeys;     /* key columns of the statement */
  uint16_t savednkeys;
  char keynames[DRSX_MAXKEYS][DRSX_KEYNAME];
  druocur rowcur;
  druocur textcur;
  drsxrowset rs;
  char lastkey[DRSX_MAXKEYS][DRDS_KEYSIZE];  /* :lp1 to :lp16 */
  char lastline[DRDS_KEYSIZE];               /* :last_lineno */
  /* The "Data Store" attributes. */
  char path[DRSX_ATTRSTR];
  int32_t timeout, maxthreads, urlsize, maxurls, maxdocsize;
  char httpproxy[DRSX_ATTRSTR];
  char noproxy[DRSX_ATTRSTR];
  rtstream *file;     /* the local file being copied */
  druvfd doc;         /* the document of the detail-row, file and URL kinds */
  struct drsurec *url;/* the URL kind's batch fields, null for the others */
  /* Kept by the reader itself. */
  uint8_t rowopen, textopen;  /* the cursors are open */
  uint8_t textbytes;  /* the text is bytes (bytea), not characters */
  uint8_t nlsent;     /* the current detail line's line break went out */
  char keytypes[DRSX_MAXKEYS][DRSX_TYPENAME];  /* key column types, for the queue casts */
  /* The current document's text as it is handed out: the fetch's part of
   * it, or the whole value read once; characters arrive as UTF-8 and are
   * converted into the session's set once per document. */
  uint8_t tconv;      /* the text is converted into the session's set */
  uint8_t dstate;     /* 0 nothing ready, 1 the fetch's part, 2 the whole text */
  uint8_t failed;     /* a fetch failed: the batch has ended */
  const char *dtext;  /* the text handed out, dlen bytes */
  int32_t dlen;
  char *dbuf;         /* the converted text, dcap bytes */
  size_t dcap;
  char *wbuf;         /* the whole value as read, wcap bytes */
  size_t wcap;
  int64_t maxdoc;     /* bytes a document may have */
  char curkey[DRDS_KEYSIZE];  /* the key of the current document */
};

/* Bytes a document may have unless the administrator sets
 * KESTRIN_MAXDOC (a number of bytes, or with K, M or G). */
constexpr int64_t DRSX_MAXDOC = int64_t{64} << 20;
/* The document size limit the environment sets, else DRSX_MAXDOC. */
int64_t drsxmaxdoc(drsrvstate *st);

/* The record of a data-store object. */
inline drsxstate *drsxof(drobj *ds) { return reinterpret_cast<drsxstate *>(ds); }

/* ---- the row reader ---- */

/* Builds the record of a policy's data store from the policy and the
 * preference's attributes; null after pushing why. */
drsxstate *drsxnew(drsrvstate *st, drheap heap, int32_t polid, int32_t prefid, int32_t kind);
/* Slot 0: starts a populate batch ('C' fresh, else resuming the run). */
int drsxstart(drobj *ds, int32_t srvcnt, int32_t srvno, char qual, int32_t runseq);
/* Slot 1: starts a batch of the changed rows queued for this session. */
int drsxdml(drobj *ds);
/* Slot 2: starts a batch of the given keys. */
int drsxkey(drobj *ds, char (*keys)[DRDS_KEYSIZE], int32_t nkeys);
/* Slot 3: the batch's document count; 0. */
int drsxcount(drobj *ds, int32_t *count);
/* Slot 4: the next row's operation and key; 2 at the end with operation 4. */
int drsxnextkey(drobj *ds, int32_t *op, char *key);
/* Slot 5: the next bytes of the current row's text; 2 when none are left. */
int drsxfetch(drobj *ds, void *dst, int32_t n, int32_t *got);
/* Slot 6: sets (or with rel moves) the read offset; 0. */
int drsxseek(drobj *ds, int32_t off, uint8_t rel);
/* Slot 7: the read offset; 0. */
int drsxtell(drobj *ds, int32_t *off);
/* Slot 8: kind 2 closes the cursors; kind 1 releases the text area and
 * clears the rows (for the end of the object's life); 0. */
int drsxreset(drobj *ds, int32_t kind);
/* Slot 9 of the plain kind: closes the cursors and frees the record; 0. */
int drsxclose(drobj *ds);
/* Steps back one row, so that the next next key hands it out again. */
void drsxunread(drsxstate *x);
/* Composes, parses, defines and binds the batch statement of a start mode
 * and counts the batch; 0, or 1 after pushing 10000. */
int drsxsel(drsxstate *x, int32_t mode, int32_t srvcnt, int32_t srvno,
            char (*keys)[DRDS_KEYSIZE], int32_t nkeys);
/* Executes when pending and fetches the next rows; 0 rows ready, 2 no more
 * rows, 1 after pushing why. */
int drsxrows(drsxstate *x);
/* Counts the batch into the record's document count; 0 or 1. */
int drsxcnt(drsxstate *x, const char *slice, const char *resume);
/* Binds every name the batch statements use on a cursor; 0 or 1. */
int drsxbind(drsxstate *x, druocur *cur);
/* The join of base rows to the queued composite keys, from the heap; 0 or 1. */
int drsxdmlkey(drsxstate *x, char **out);
/* The composite in-list of a key-list batch, from the heap; 0 or 1. */
int drsxinlist(drsxstate *x, char **out);
/* The conditions that leave out what an interrupted run of the populate
 * already indexed ("" when nothing), from the heap; 0, or 1 after pushing. */
int drsxrestart(drsxstate *x, char **out);
/* Splits a composite key text into its column values (a backslash makes the
 * next character literal); the count in *n; 1 (nothing pushed) for more
 * than 16 values or a value over 64 bytes. */
int drsxkeysplit(drsxstate *x, const char *key, char (*vals)[DRSX_CKEYVAL], int32_t *n);
/* Escapes one column value for a composite key text (a backslash before
 * every backslash and comma) into out; its length, or -1 when the escaped
 * value would pass limit bytes. */
int32_t drsxkeyesc(drsxstate *x, const char *val, char *out, int32_t limit);
/* Takes the next group of keys of a key-list batch into the in-list
 * values; 0, or 1 for a key that cannot be bound whole. */
int drsxgroup(drsxstate *x);
/* Appends formatted text (typed arguments ended by 0) at *len of buf and
 * moves *len on; 0, or 1 when it does not fit (*len then -1). */
int drsxapp(drsxstate *x, char *buf, size_t size, int32_t *len, const char *format, ...);
/* Pushes 10000 with the table and the text expression; 1. */
int drsxfail(drsxstate *x);
/* Opens the document buffer afresh for writing; 0 or 1. */
int drsxrewrite(drsxstate *x);
/* Ends the document being written and opens it for reading; 0 or 1. */
int drsxreadback(drsxstate *x);

/* ---- the kinds of data store ---- */

/* Plain rows: the text column holds the document (object ids 0 and 1). */
drobj *drsdirnew(drsrvstate *st, drheap heap, int32_t polid, int32_t prefid);
/* Detail rows: a document is every row of a key in line order (id 2). */
drobj *drsdetnew(drsrvstate *st, drheap heap, int32_t polid, int32_t prefid);
/* Files: the text column names the file that holds the document (id 3). */
drobj *drsfilnew(drsrvstate *st, drheap heap, int32_t polid, int32_t prefid);
/* URLs: the text column holds the address of the document (id 4). */
drobj *drsurlnew(drsrvstate *st, drheap heap, int32_t polid, int32_t prefid);

/* Next document of the detail-row kind, gathered into the document buffer. */
int drsdetnext(drobj *ds, int32_t *op, char *key);
/* Next document of the file kind, copied into the document buffer. */
int drsfilnext(drobj *ds, int32_t *op, char *key);

/* Read, seek, tell and free over the document buffer: the detail-row, file
 * and URL kinds share them. */
int drsdetread(drobj *ds, void *dst, int32_t n, int32_t *got);
int drsdetseek(drobj *ds, int32_t off, uint8_t rel);
int drsdettell(drobj *ds, int32_t *off);
int drsdetfree(drobj *ds);
inline constexpr auto drsfilread = drsdetread;
inline constexpr auto drsfilseek = drsdetseek;
inline constexpr auto drsfiltell = drsdettell;
inline constexpr auto drsfilfree = drsdetfree;

#endif
