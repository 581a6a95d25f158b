/* Server state: the record every server function takes first, its heaps and
 * memory operations, the log printer, the console line, file streams and the
 * message pushes. Log-on lives with the cursor layer (dr/dru/druo.h). */
#ifndef KES_DR_DRA_DRA_H
#define KES_DR_DRA_DRA_H

#include <cstddef>
#include <cstdint>

#include "platform/rt/rt.h"

/* A heap of the core runtime's heap manager. */
typedef rtheap *drheap;

/* Typed-argument codes: after a format or a message number come pairs of
 * code and value, ended by a single 0 (value types as in platform/rt/rt.h). */
enum drargtype {
  DRA_END = 0,     /* ends the list */
  DRA_INT = 1,     /* int: 32-bit integer by value */
  DRA_UB1 = 3,     /* const uint8_t* */
  DRA_UB2 = 4,     /* const uint16_t*: 16-bit size */
  DRA_UB4 = 5,     /* const uint32_t*: ids, codes, counts */
  DRA_SB2 = 7,     /* const int16_t*: 16-bit counter */
  DRA_SB4 = 8,     /* const int32_t*: values that may be negative */
  DRA_SWORD = 13,  /* const int32_t*: loop counters */
  DRA_VAL = 14,    /* intptr_t: a value handed on unchanged */
  DRA_SB4POS = 15, /* const int32_t*: line and column of a query error */
  DRA_DBL = 20,    /* double */
  DRA_PTR = 23,    /* const void*: shown as an address */
  DRA_STR = 25,    /* const char*: NUL-terminated text */
  DRA_TXT = 30,    /* const char*, const int32_t*: text and its length */
  DRA_FRAME = 36   /* const rtframe*: the error a frame caught */
};

/* Facility index of DRG, the only facility the server registers. */
enum { DRFAC_DRG = 0 };

struct drdmcache; /* dictionary cache */
struct drmstate;  /* dispatcher state */

/* The server state record. Field order is fixed; the areas are opaque
 * storage for the layers that own them. */
typedef struct drsrvstate {
  rtstream *log;          /* where log lines go: standard output until a log file opens */
  char *pmask;            /* personality mask, at most 30 characters */
  uint8_t sqltrace;       /* 1: SQL tracing at log-on */
  uint8_t tstamp;         /* 1: log lines carry the time prefix */
  char *user;             /* the -user string, the whole connect string */
  char srvname[30];       /* server name from the registration */
  char mbox[30];          /* mailbox address from the registration */
  int32_t audsid;         /* audit session id from the registration */
  rtctx *rt;              /* core runtime */
  void *login;            /* &logarea while connected (and during log-on), else null */
  rtfmt *fmt;             /* formatter of the package "lsf" */
  rtmsgmgr *msg;          /* message manager holding the error stack */
  int32_t facid[12];      /* facility handles by facility index */
  rthpmgr *hpmgr;         /* heap manager */
  drheap seshp;           /* session heap: what outlives a command */
  drheap cmdhp;           /* command heap: scratch of one message */
  void *lxws;             /* national-language workspace (in lxwsarea) */
  void *lxhd;             /* language handle from NLS_LANG or defaults */
  char csname[128];       /* session character set name */
  struct drdmcache *dmcache; /* dictionary cache, null until built */
  struct drmstate *mstate;   /* dispatcher state, null until built */
  void *lingsvc;          /* set by the linguistic service once it runs */
  alignas(8) unsigned char logarea[64];  /* client library login data area */
  alignas(8) unsigned char hstarea[256]; /* client library host data area */
  alignas(8) unsigned char msgarea[24];  /* handed to the message manager */
  char quser[64];         /* user of the query being served (the longest name and a NUL) */
  char qsess[68];         /* session text of the query being served */
  alignas(8) unsigned char lxset[284];   /* parsed NLS_LANG settings */
  alignas(8) unsigned char lxwsarea[296]; /* national-language workspace; first word: status */
  uint32_t docerrs;       /* documents the running populate could not read */
} drsrvstate;

/* ---- construction and teardown ---- */

/* Builds a server state: runtime, heaps, formatter, language settings and
 * message manager; 0, or 1 with nothing built (nothing is pushed). */
int dracnnew(drsrvstate **out);
/* Frees a server state and everything it built; clears the caller's pointer; 0. */
int dracnfre(drsrvstate **st);
/* Creates the session heap and the command heap under the top heap; 0 or 1. */
int dracnheap(drsrvstate *st);
/* Loads the package "lsf" and opens the state's formatter; 0 or 1. */
int dracnfmt(drsrvstate *st);
/* Reads NLS_LANG into the language settings and the character set name; 0 or 1. */
int dracnnls(drsrvstate *st);
/* The language settings read by dracnnls, or null before. */
const struct nlslang *dracnlang(const drsrvstate *st);
/* The session character set (US7ASCII before the settings are read). */
const struct nlscs *dracncs(const drsrvstate *st);
/* Creates the message manager and registers the facility DRG; 0 or 1. */
int dracnmsg(drsrvstate *st);
/* Destroys the message manager. */
void dracnmsgfre(drsrvstate *st);
/* Replaces the command heap by a new one; 0, or 1 after pushing 10900. */
int dracnchp(drsrvstate *st);

/* ---- file streams ---- */

/* Opens a file stream (mode 6 writes, 1 reads); a trailing newline of the
 * name is dropped. 0, or 1 after pushing 11107, 11108 or 11101. */
int dracnfop(drsrvstate *st, const char *dir, int dirkind, const char *name, int mode, int kind,
             int attrs, int reclen, uint8_t carriage, rtstream **out);
/* Closes a stream; 1 when the runtime reports failure, else 0. */
int dracnfcl(drsrvstate *st, rtstream *stream);
/* Reads at most size bytes; 0 with the count, 2 at the end, 1 on error. */
int dracnfrd(drsrvstate *st, rtstream *stream, void *buf, size_t size, size_t *count);
/* Writes len bytes; 0 when all were written, 2 when the stream took fewer
 * (the end of its room), 1 on error: the codes of dracnfrd. */
int dracnfwr(drsrvstate *st, rtstream *stream, const void *buf, size_t len, size_t *count);
/* Creates a file by opening a write stream on it and closing it; 0 or 1. */
int dracnfmk(drsrvstate *st, const char *file, int kind, int attrs, int reclen);

/* ---- log ---- */

/* Writes one formatted log line (typed arguments ended by 0) and flushes;
 * prefixed with "%H-%M-%S %x " once the timestamp flag is set; 0 or 1. */
int dracnprt(drsrvstate *st, rtstream *stream, const char *format, ...);
/* Copies text into out (at most size - 1 bytes and a NUL, whole escapes
 * only) with its control characters escaped (\n, \r, \t, \xNN), so that
 * text from users cannot write lines of its own into the log; the length
 * written. Room for four times the text always suffices. */
size_t dracnesc(const char *text, char *out, size_t size);
/* Like dracnprt without the time prefix; flushes only when flush is non-zero. */
int dracnwrt(drsrvstate *st, rtstream *stream, int flush, const char *format, ...);

/* ---- memory: all take the state, the heap manager and the heap first ---- */

/* A block of size bytes (not cleared), or null after pushing 10900 (size 0:
 * 50600 first). */
void *drumalz(drsrvstate *st, rthpmgr *mgr, drheap heap, size_t size, const char *file, int line);
/* A zero-filled block of count x size bytes, or null after pushing 10900. */
void *drumalc(drsrvstate *st, rthpmgr *mgr, drheap heap, size_t count, size_t size,
              const char *file, int line);
/* The block resized with its contents kept, or null after pushing 10900. */
void *drumrea(drsrvstate *st, rthpmgr *mgr, drheap heap, void *block, size_t size,
              const char *file, int line);
/* Frees *block and clears the pointer; 0, or 1 after pushing 10900 (the
 * pointer is kept). */
int drumfre(drsrvstate *st, rthpmgr *mgr, drheap heap, void **block);
/* A sub-heap of parent with the standard descriptor; 0, or 1 after 10900. */
int drmhpnew(drsrvstate *st, rthpmgr *mgr, drheap *out, drheap parent, const char *file, int line);
/* A sub-heap of parent with the alternative descriptor; 0, or 1 after 10900. */
int drmhpalt(drsrvstate *st, rthpmgr *mgr, drheap *out, drheap parent, const char *file, int line);
/* Destroys a sub-heap with all its blocks; 0, or 1 after pushing 10900. */
int drmhpdel(drsrvstate *st, rthpmgr *mgr, drheap heap);

/* ---- messages ---- */

/* Pushes a message of the facility index with typed arguments ended by 0. */
void dracnerr(drsrvstate *st, uint8_t fac, int num, int sev, ...);
/* Pushes an internal error: source file (25), line (1), then five details;
 * fewer details are padded with blank strings. */
void dracnierr(drsrvstate *st, uint8_t fac, int num, int sev, ...);
/* The trace hook every failure path calls right before returning failure:
 * does nothing, so that failures can be traced from one place. */
void druetrc(void);

/* ---- console ---- */

/* Writes one line (typed arguments ended by 0) to the runtime's standard
 * output, outside the log and without a time prefix, and flushes it: the
 * lines that go to standard output beside a pushed message. A null state
 * (before the state exists) writes to the process's standard output. */
int dracnout(drsrvstate *st, const char *format, ...);

#endif
