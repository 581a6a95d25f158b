/* The listener: the loop that polls listener.get_cmd and acts on each
 * message, the command table with its log lines and handlers, the
 * out-of-band check and the sleep built on it, changed-rows batches and
 * linguistic requests; also the server's option callback, usage text and
 * banner, and the table of entry points of the components the listener
 * calls but does not own. */
#ifndef KES_DR_DRT_DRT_H
#define KES_DR_DRT_DRT_H

#include <csignal>
#include <cstddef>
#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/drm/drm.h"

/* Message types of listener.get_cmd. */
enum {
  DRT_IDLE = 1,  /* nothing arrived */
  DRT_CMD = 2,   /* a command */
  DRT_DML = 3,   /* a batch of changed rows */
  DRT_LING = 4,  /* a linguistic request */
  DRT_LOAD = 5   /* a text-loading batch */
};

/* Results beyond 0 and 1. */
enum { DRT_INTR = 4, DRT_SHUT = 5 };

/* Keys one changed-rows batch holds at most. */
enum { DRT_DMLCAP = 500 };

/* A batch of changed rows. */
struct drtldml {
  int32_t polid;  /* policy id; 0 with a negative count marks a queue error */
  int32_t nkeys;  /* sent as the capacity, returned as the number of rows */
};

/* A linguistic request: its service request number and the ten arguments. */
struct drtlreq {
  int32_t id;
  drmslot args[DRM_NARGS];
};

/* Entry points of components the listener and the start-up call but other
 * modules own. The process fills them once at start-up; a null entry makes
 * its command fail with "not available". */
struct drtlsvc {
  /* Creates the dictionary cache; 0 / 1. */
  int (*dmini)(drsrvstate *s);
  /* Frees the dictionary cache with every policy's components; 0. */
  int (*dmfre)(drsrvstate *s);
  /* Drops a policy from the dictionary cache; 0 / 1. */
  int (*dmref)(drsrvstate *s, int32_t polid);
  /* The id of the policy a column specification names; 0 / 1. */
  int (*polbyspec)(drsrvstate *s, const char *colspec, int32_t *polid);
  /* Runs one text-loading batch of a source; 0 / 1. */
  int (*loadcyc)(drsrvstate *s, int32_t srcid);
  /* Re-indexes a batch of changed rows of a policy; 0 / 1. */
  int (*dmlbatch)(drsrvstate *s, int32_t polid, int32_t nkeys);
  /* Starts the linguistic service, which sets the state's field once it
   * runs; 0, or non-zero after pushing why. */
  int (*lingstart)(drsrvstate **sp);
  /* Serves a linguistic request; 0, or non-zero after pushing why. */
  int (*lingreq)(drsrvstate *s, int32_t svcno, int32_t polid, const char *a2, const char *a3,
                 const char *a4);
};

/* The process's entry points; zero until start-up fills them. */
extern drtlsvc drtsvc;

/* ---- listener ---- */

/* Polls and acts on messages until the shutdown command (0) or a fatal
 * failure (1). */
int drtlmain(drsrvstate *s);
/* Polls listener.get_cmd once; 0 with the message type, or 1 after 50301. */
int drtlgcmd(drsrvstate *s, int32_t *type, drmcmd *cmd, drtldml *dml);

/* Waits for work after a poll found none: until the database side says
 * something was queued, a signal arrives, or drtwaitms pass; 0. A wait that
 * fails leaves the failure to the next poll. */
int drtlwait(drsrvstate *s);
/* Milliseconds the listener waits for word of new work before it looks
 * anyway (a word lost or never sent strands nothing for longer). */
extern unsigned drtwaitms;

/* The poll statement. */
extern const char drtlgsql[];
/* What one poll binds besides the state's session id, mailbox and mask: the
 * message type, the message, the changed-rows batch and the database side's
 * error text, with the indicators of the integers an idle poll leaves null. */
struct drtlpoll {
  int32_t type;
  drmcmd *cmd;
  drtldml *dml;
  char stack[DRM_SLOTMAX + 1];
  int16_t stackind;
  int16_t ind[5];
};
/* Clears a poll record's results and binds the 21 placeholders of the poll
 * on a cursor that holds the parsed statement; 0, or 1 after pushing the
 * failing bind. The record must stay put until the poll is executed. */
int drtlgbnd(drsrvstate *s, druocur *c, drtlpoll *p);
/* Logs, dispatches and answers one command; its final result. */
int drtlcmd(drsrvstate *s, drmcmd *cmd, drmcmd *reply);
/* Answers a command after its handler returned rc: success, error or (for
 * a refresh that worked) nothing, then "End cmd"; the command's final
 * result (0, 1 after a fatal failure, 5 after the shutdown command). */
int drtlans(drsrvstate *s, const drmcmd *cmd, drmcmd *reply, int rc);
/* Checks for an out-of-band message naming the command being served:
 * 0 go on, 4 interrupted, 1 the check failed. */
int drtloob(drsrvstate *s);
/* drtloob at most a few times a second, for loops that can run long: 4 at
 * once after a termination signal or once the message being served was
 * interrupted, else 0 while the last check is recent; otherwise drtloob's
 * result. */
int drtlask(drsrvstate *s);
/* The interrupt point of long loops (installed as druointr): drtlask, and
 * on an interrupt 50707 with the message's id, once; 0 go on, 1 stop. */
int drtlpoint(drsrvstate *s);
/* The watcher of long statements (installed as druowatch): non-zero when
 * drtlask says stop, for any connection but the transport one. */
int drtlwatch(drsrvstate *s, int link);
/* Logs and answers 1 when a termination signal came, else 0. */
int drtlsig(drsrvstate *s);
/* 1 when a termination signal came or the message being served was
 * interrupted, without asking the database; else 0. */
int drtlintr();
/* Forgets the interrupt of the message just served. */
void drtlnext();
/* Sleeps count units, checking for interrupts before each; 0, 1 or 4. */
int drtlslp(drsrvstate *s, int32_t count);
/* Runs one batch of changed rows and closes it; 0 or 1. */
int drtldmb(drsrvstate *s, drtldml *dml);
/* Serves one linguistic request and closes it; 0 or 1. */
int drtlling(drsrvstate *s, drtlreq *req, const char *user);
/* Changes the personality mask to the text of arg (starting the linguistic
 * service when it names L); 0, or the service's failure. */
int drtlmask(drsrvstate *s, const drmslot *arg);

/* Puts a rewritten statement into reply arguments 7 and 8; 0, or 1 when
 * the two together cannot hold it. */
int drtlrwtxt(drsrvstate *s, drmcmd *reply, const char *text);

/* Reads a number argument: 1 with its value for a whole number within 32
 * bits (blanks around it allowed) and with 0 for a null, empty or blank
 * one; 0 for anything else (trailing characters, out of range). */
int drtlnumok(const drmslot *arg, int32_t *value);
/* The value of a number argument that drtlnumok took; 0 otherwise. */
int32_t drtlnum(const drmslot *arg);
/* Ends the transaction a message left open on the work connection: commits
 * when ok, else rolls back; 0, or 1 when the commit failed (pushed). */
int drtlend(drsrvstate *s, int ok);

/* Milliseconds one sleep unit lasts (1000; tests shorten it). */
extern unsigned drtslpms;
/* The number of a termination signal the process received, or 0: the
 * listener then ends as after the shutdown command, and the command being
 * served counts as interrupted. */
extern volatile sig_atomic_t drtstop;

/* ---- index command handlers: each finds the policy (50607 when there is
 * none), builds the components it needs that are missing, sets their modes
 * and calls the engine; 0, or 1 after the failing step pushed why (where
 * said, the engine's own result) ---- */

/* Finds the policy and builds its six index components; 0 / 1. */
int drcmdobj(drsrvstate *s, int32_t polid);
/* Frees the policy's components and clears them; 0 / 1. */
int drcmdrel(drsrvstate *s, int32_t polid);
/* Resets the data store, filter and lexer and closes the word list, those
 * built; 0 / 1 (1 with nothing pushed for an unknown policy). */
int drcmdrst(drsrvstate *s, int32_t polid, int32_t type);
/* Begins an index: the engine makes its tables. */
int drcmdbeg(drsrvstate *s, int32_t srvcnt, int32_t polid, int32_t runseq, char qual);
/* Populates an index (a slice of srvcnt servers, this one srvno; qualifier
 * 'C', or another letter to resume run runseq). */
int drcmdpop(drsrvstate *s, int32_t polid, int32_t srvcnt, int32_t srvno, int32_t runseq,
             char qual);
/* Ends an index: the engine's indexes, then the word list's. */
int drcmdend(drsrvstate *s, int32_t polid, int32_t runseq, char qual);
/* Drops an index and frees the policy's components. */
int drcmddrp(drsrvstate *s, int32_t polid, int32_t runseq);
/* Truncates an index; the engine's result. */
int drcmdtrn(drsrvstate *s, int32_t polid);
/* Begins an optimisation; the engine's result. */
int drcmdbop(drsrvstate *s, int32_t polid, int32_t mode, int32_t srvcnt);
/* Optimises (this server srvno of srvcnt). */
int drcmdopt(drsrvstate *s, int32_t polid, int32_t mode, int32_t srvcnt, int32_t srvno,
             int32_t thold);
/* Ends an optimisation; the engine's result. */
int drcmdeop(drsrvstate *s, int32_t polid, int32_t mode);
/* Re-indexes this session's batch of changed rows of a policy. */
int drcmddml(drsrvstate *s, int32_t polid, int32_t nkeys);
/* drtloob for long index operations: an interrupt also pushes 50707 with
 * the message's id, so that the run that stops says why. */
int drcmdoob(drsrvstate *s);

/* ---- query and other command handlers: 0, or 1 after the failing step
 * pushed why ---- */

/* The query driver: parses the policy's query for a user (session text:
 * the stored queries' owner) and evaluates it into a writer by mode: 0 rows
 * into the result table target (n1, n2, n3: clearing mode, contains id,
 * cursor id), 1 a count, 2 a window in id order, 3 a page by score (n1 the
 * score limit, n3 the ceiling at it) into the reply record target; bynum
 * hands hits on by number, from floor up to ceil (0: none). A structured
 * query other than "NULL" restricts the hits to the keys of the policy's
 * rows it selects (the user must be able to read the table). */
int drcmdqry(drsrvstate *s, const char *user, const char *sess, int32_t polid, const char *query,
             const void *target, int32_t n1, int32_t n2, int32_t n3, int32_t mode, uint8_t bynum,
             uint32_t floor, uint32_t ceil, const char *sq);
/* Parses a query of the policy without expanding it: whether it parses. */
int drcmdchk(drsrvstate *s, const char *user, const char *sess, int32_t polid, const char *query);
/* A stored query command of a session: 0 saves the query text under a
 * name (scope 1: for every session) and evaluates it, 1 deletes it, 2
 * refreshes it from its saved text, 3 purges the session's and ended
 * sessions' definitions; any other command does nothing. */
int drcmdsqe(drsrvstate *s, const char *user, int32_t cmd, int32_t polid, const char *sess,
             const char *name, const char *query, int32_t scope);
/* The commands this server accepts and does nothing for (bank query, word
 * assist, validation of a preference); 0. */
int drcmdbnk(drsrvstate *s, const char *query, const char *bank, const char *topic);
int drcmdwas(drsrvstate *s, int32_t polid, int32_t type, const char *word, int32_t limit,
             int32_t *result);
int drcmdvop(drsrvstate *s, int32_t prefid);
/* Test operation: count documents "This is the text of document %d\n" one
 * after another into buf (which holds them all) and their lengths into
 * lens; 0. */
int drcmdtdoc(drsrvstate *s, int32_t count, int32_t *lens, char *buf);
/* Highlights the document of a key: its raw and filtered texts, its
 * highlight entries, its text marked up (markup: session text, start tag,
 * end tag, split at commas) and its intermediate form, each into the table
 * named ("NULL": skipped). */
int drcmdhlt(drsrvstate *s, const char *user, int32_t polid, const char *query, const char *key,
             int32_t id, const char *uftab, const char *ftab, const char *hltab, const char *icftab,
             const char *mutab, const char *markup);
/* Clears a result table by mode and, with a source table, copies its rows
 * into it under the contains id through the user's callback (installed on
 * first use). */
int drcmdclr(drsrvstate *s, const char *user, const char *restab, const char *srctab,
             int32_t restype, int32_t shr, int32_t conid, int32_t curid, int32_t nkeys);
/* Installs the user's callback procedure unless it is there. */
int drcmdcbk(drsrvstate *s, const char *user);

/* ---- options, usage, banner ---- */

/* Option values of the server, zero-filled before parsing. */
struct drtopts {
  char user[128];      /* -user: the database connect string */
  char logfile[2048];  /* -logfile */
  char mask[31];       /* -personality, preset to "DQM" */
  uint8_t sqltrace;    /* -sqltrace */
};

/* The server's option callback: stores a value into the drtopts that data
 * points to; 0, or 1 after pushing why. */
int drtoptcb(drsrvstate *s, void *data, uint8_t idx, const char *value);
/* Prints the usage text on standard output. */
void drtusage(drsrvstate *s);
/* Writes the client library's banner into a buffer of 152 bytes. */
void drtbanner(char *buf);

/* ---- the stand-in linguistic service ---- */

/* Starts the stand-in service: marks it running in the state; 0. The
 * service itself is outside this program: until one is configured, the
 * process leaves the request entry point empty, so that every request fails
 * saying the service is not available. */
int drtlsini(drsrvstate **sp);

#endif
