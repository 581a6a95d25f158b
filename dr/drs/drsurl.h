/* The URL data store: the text column holds the address of the document.
 * Rows are read in groups of up to maxurls; within a group the URLs are
 * split into host groups and dispatched one host group after another, so
 * that consecutive fetches go to different hosts. Up to maxthreads fetch
 * threads run at once, and documents are handed out in the order in which
 * their fetches end, each copied into the record's document buffer. "file"
 * URLs are read by the main thread, inside the folder of PATH only. */
#ifndef KES_DR_DRS_DRSURL_H
#define KES_DR_DRS_DRSURL_H

#include <cstdint>

#include "dr/drs/drsuf.h"
#include "dr/drs/drsx.h"

/* Results of the group calls beyond the engine's 1001 and 1003. */
enum : int32_t {
  DRSU_BUSY = 200,       /* fetches of the group are outstanding */
  DRSU_NOMEM = 1002,     /* reading a group failed */
  DRSU_EXHAUSTED = -1006,/* the rows are exhausted */
  DRSU_GROUPDONE = -1008,/* the group is done and rows remain */
  DRSU_MSG_MOVED = 11600,
  DRSU_MSG_FILEOPEN = 11609,
  DRSU_MSG_FILEREAD = 11610,
  DRSU_MSG_DOCSIZE = 11618,
  DRSU_MSG_THREADS = 11620,
  DRSU_MSG_STATUS = 11622,
  DRSU_MSG_NOPATH = 11623,
};

/* The URL kind's batch fields, hung from the data-store record. */
struct drsurec {
  drsufcfg cfg;            /* what the fetch threads read */
  int32_t maxthreads;      /* fetches at once: at most DRSUF_THREADS */
  int32_t nurls, running, started, done;
  uint8_t needgroup;       /* the next call reads a new group */
  uint8_t first;           /* set by every start of a batch */
  uint8_t exhausted;       /* the rows ended while a group was read */
  uint8_t opchange;        /* the group was cut where the operation changed */
  uint8_t engine;          /* the fetch engine is up for this group */
  int32_t ngroups;         /* host groups of the group */
  char *cur;               /* final URL of the document handed out last */
  char (*keys)[DRSUF_KEY]; /* the group's rows: keys, operations, URLs */
  int32_t *ops;
  char *urls;              /* maxurls areas of urlsize bytes */
  int32_t *preset;         /* a status a URL has before any fetch, or 0 */
  int32_t *gstart;         /* first row of each host group */
  int32_t *order;          /* dispatch order: rows to fetch in turn */
  drsufslot *live[DRSUF_THREADS]; /* slots of running fetches */
};

/* Slot 4 and the document-buffer family. */
int drsurlnext(drobj *ds, int32_t *op, char *key);
int drsurlread(drobj *ds, void *dst, int32_t n, int32_t *got);
int drsurlseek(drobj *ds, int32_t off, uint8_t rel);
int drsurltell(drobj *ds, int32_t *off);
int drsurlfree(drobj *ds);
/* Slots 0 to 2: each start of a batch first reclaims what an abandoned
 * batch left running. */
int drsurlstart(drobj *ds, int32_t srvcnt, int32_t srvno, char qual, int32_t runseq);
int drsurldml(drobj *ds);
int drsurlkey(drobj *ds, char (*keys)[DRDS_KEYSIZE], int32_t nkeys);
/* The final URL of the document handed out last; null for other kinds. */
const char *drsurlcur(drobj *ds);

/* The group machinery. */
int32_t drsuhbatch(drsxstate *x);
int32_t drsuhnext(drsxstate *x);
int32_t drsuhwait(drsxstate *x, drsufslot **slot);
int32_t drsuhend(drsxstate *x);
int32_t drsuhslot(drsxstate *x);
/* Writes the first bytes a thread received; the status: 200, 11618 or
 * 10000 when the buffer failed. */
int32_t drsuhcopy(drsxstate *x, drsufslot *slot);
/* Receives the next bytes of the slot's body: a count, DRSUF_END, 11614
 * or 11618. */
int32_t drsuhread(drsxstate *x, drsufslot *slot, char *dst, int32_t *count);
/* Closes the slot's socket and frees the slot. */
void drsuhabort(drsxstate *x, drsufslot *slot);
/* The message number of a fetch status. */
int32_t drsuhstatus(int32_t status);
/* Builds the no_proxy table; 0, or 1 after pushing why. */
int drsuhnoproxy(drsxstate *x);
/* Copies a local file into the document buffer: 1004 on success, else
 * 11609, 11610 or 11623 (the message pushed). */
int32_t drsurlfile(drsxstate *x, const char *path);
/* Waits for every running fetch, closes its socket, frees its slot and the
 * group buffers, and stops the engine. */
void drsurlreclaim(drsxstate *x);

/* Opens a file of a file-reading store: resolved, inside dir when one is
 * given, a regular file only; the descriptor, or -1 after pushing why. */
int drsfilopen(drsrvstate *st, const char *dir, const char *name);

#endif
