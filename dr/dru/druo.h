/* The cursor layer: the one door from the server to the database client
 * layer. Every statement runs on a cursor opened, parsed, bound, executed and
 * fetched through these calls, and every failing step reaches the error
 * stack the same way: the database's text as 50850, then the step. */
#ifndef KES_DR_DRU_DRUO_H
#define KES_DR_DRU_DRUO_H

#include <cstddef>
#include <cstdint>

#include "dr/dra/dra.h"

/* The client library's 64-byte cursor area, owned by whoever opens it (a
 * field of a longer-lived record, or a block from druoprs). Callers read it
 * only through druorows and druorc. */
struct druocur {
  alignas(8) unsigned char area[64];
};

/* The two connections of the login: the work connection runs implicit
 * transactions; the transport connection commits each statement at once
 * (message transport, registry, queues, result tables). */
/* The login's connections: work, transport, and the fence connection that
 * runs code the server does not own (see druofrs). */
enum { DRUO_WORK = 0, DRUO_TRANSPORT = 1, DRUO_FENCE = 2 };

/* External datatypes of binds and defines. */
enum {
  DRUO_VARCHAR2 = 1,     /* characters, length from the length array or the size */
  DRUO_INTEGER = 3,      /* signed integer of 1, 2, 4 or 8 bytes */
  DRUO_FLOAT = 4,        /* float or double by size */
  DRUO_STRING = 5,       /* NUL-terminated characters */
  DRUO_LONG = 8,         /* characters of a long column */
  DRUO_VARCHAR = 9,      /* 16-bit length, then characters */
  DRUO_RAW = 23,         /* bytes */
  DRUO_LONGRAW = 24,     /* bytes of a long raw column */
  DRUO_UNSIGNED = 68,    /* unsigned integer of 1, 2, 4 or 8 bytes */
  DRUO_LONGVARCHAR = 94, /* 32-bit length, then characters */
  DRUO_LONGVARRAW = 95,  /* 32-bit length, then bytes */
  DRUO_CHAR = 96,        /* fixed-length characters, blank-padded on output */
  DRUO_CHARZ = 97        /* NUL-terminated characters */
};

/* Return codes of the client layer the server acts on. */
enum {
  DRUO_OK = 0,
  DRUO_UNIQUE = 1,        /* unique violation */
  DRUO_NOCOLUMN = 904,    /* a column the statement names does not exist */
  DRUO_NOTABLE = 942,     /* table or view does not exist */
  DRUO_EXISTS = 955,      /* name already used by an object */
  DRUO_NOTINLIST = 1007,  /* describe past the last column */
  DRUO_NODATA = 1403,     /* no (more) rows; the end of a long value */
  DRUO_NULL = 1405,       /* a NULL into a buffer without indicator */
  DRUO_TRUNC = 1406,      /* a value longer than its buffer */
  DRUO_OVERFLOW = 1426,   /* a number its buffer cannot carry */
  DRUO_BADTEXT = 1483,    /* text the database refuses: bytes of no character of its set */
  DRUO_NOSEQ = 2289,      /* sequence does not exist */
  DRUO_NOTCONN = 3114,    /* not connected, or the connection was lost */
  DRUO_NOPROC = 6550,     /* the called procedure does not exist or takes other arguments */
  DRUO_AGAIN = 8176,      /* the statement must be executed again before it is fetched */
  DRUO_TOOOLD = 1555,     /* the rows a fetch reads from are gone: execute again */
  DRUO_BADNAME = 1036     /* a bind name the statement does not hold */
};

/* The caller's place, which a failing step names in its internal error (the
 * file as __FILE__ gives it, through the build's prefix map). */
#define DRUO_HERE const char *file = __builtin_FILE(), int line = __builtin_LINE()

/* How a call reports a failing step: the message number of each step, pushed
 * after the database's text (0: the database's text alone; -1: nothing, the
 * caller acts on the code and reports through druoerr itself), and the
 * severities of the open and parse steps and of the others (below 0:
 * nothing). */
struct druorep {
  int open, parse, bind, define, exec, fetch, close;
  int opsev; /* open and parse */
  int sev;   /* every other step */
};
/* The steps of the client-library report at severity 2: open 50800, parse
 * 50801, bind 50802, define 50803, execute 50804, close 50805; a fetch with
 * the database's text alone. A null rep means this one. */
extern const druorep druorepd;
/* As druorepd, but a failing open or parse is fatal (severity 3) and a
 * failing close is not reported: the calls of the server registry, the
 * queues and the transport. */
extern const druorep druorepf;
/* Reports nothing. */
extern const druorep druorepq;

/* Pushes the database's text for a return code (50850, severity 2) and,
 * when step is above 0, the step's message as an internal error at sev; a
 * step or sev below 0 pushes nothing; the internal error names the caller's
 * file and line. Returns 1. The one place the client layer's failures reach
 * the error stack. */
int druoerr(drsrvstate *st, int rc, int step, int sev, DRUO_HERE);

/* ---- cursors: the calls fixed by the cursor layer's record ---- */

/* Opens a cursor on the login's work connection; the client library's return
 * code (0 success). */
int druoopn(druocur *cur, void *login);
/* Opens a cursor on the login's transport connection; the return code. */
int druoopnt(druocur *cur, void *login);
/* Closes a cursor; the client library's return code. */
int druocls(druocur *cur);
/* Allocates a cursor from heap, opens it on the work connection and parses
 * sql; 0, or 1 with 50850 and 50800 or 50801 pushed and *out null. */
int druoprs(drsrvstate *st, drheap heap, const char *sql, druocur **out);
/* druoprs on the transport connection. */
int druoprst(drsrvstate *st, drheap heap, const char *sql, druocur **out);
/* Closes and frees a cursor made by druoprs and clears the pointer; a null
 * cursor is accepted; 0. */
int druofre(drsrvstate *st, drheap heap, druocur **cur);
/* Runs one statement once on a cursor of its own; 0, or 1 with the
 * database's text (50850) pushed. */
int drqsexe(drsrvstate *st, const char *sql);

/* ---- steps: each returns the client's return code (0 success) and
 * reports a failure as rep says (null: druorepd) ---- */

/* Opens a cursor in a caller's area on a connection of the state's login. */
int druoopc(drsrvstate *st, druocur *cur, int link, const druorep *rep = nullptr, DRUO_HERE);
/* Parses sql (whole, not deferred) on an open cursor, replacing what it
 * held; ":name" placeholders become parameters. */
int druopar(drsrvstate *st, druocur *cur, const char *sql, const druorep *rep = nullptr, DRUO_HERE);
/* druoopc, then druopar; on a failed parse the cursor is closed again. */
int druoprp(drsrvstate *st, druocur *cur, int link, const char *sql, const druorep *rep = nullptr,
            DRUO_HERE);
/* Closes a cursor opened by druoprp or druoopc. */
int druoend(drsrvstate *st, druocur *cur, const druorep *rep = nullptr, DRUO_HERE);
/* Binds a placeholder by name (":name" or "name", case-blind) to buf: one
 * value of size bytes, or for druoexn an array of size-byte elements with
 * indicator (-1: NULL; -2 on output: longer than the buffer) and length
 * arrays of as many entries; ind and alen may be null. */
int druobnd(drsrvstate *st, druocur *cur, const char *name, void *buf, int32_t size, int type,
            int16_t *ind = nullptr, uint16_t *alen = nullptr, const druorep *rep = nullptr,
            DRUO_HERE);
/* Binds the placeholder ":<pos>" by its number, as druobnd. */
int druobnn(drsrvstate *st, druocur *cur, int pos, void *buf, int32_t size, int type,
            int16_t *ind = nullptr, uint16_t *alen = nullptr, const druorep *rep = nullptr,
            DRUO_HERE);
/* Binds a collection placeholder of a CALL by name: at most max elements;
 * *count is the number sent and, after the call, the number received. */
int druobna(drsrvstate *st, druocur *cur, const char *name, void *buf, int32_t size, int type,
            int16_t *ind, uint16_t *alen, uint32_t max, uint32_t *count,
            const druorep *rep = nullptr, DRUO_HERE);
/* Defines select-list column pos (from 1) into buf; a fetch of n rows fills
 * n elements of size bytes and the indicator and length arrays. */
int druodef(drsrvstate *st, druocur *cur, int pos, void *buf, int32_t size, int type,
            int16_t *ind = nullptr, uint16_t *alen = nullptr, const druorep *rep = nullptr,
            DRUO_HERE);
/* druodef with a return code per row (0, 1405 null, 1406 cut): a null or
 * cut value marks its row instead of failing the fetch. */
int druodfc(drsrvstate *st, druocur *cur, int pos, void *buf, int32_t size, int type,
            int16_t *ind, uint16_t *alen, uint16_t *rcode, const druorep *rep = nullptr,
            DRUO_HERE);
/* Executes once. */
int druoexe(drsrvstate *st, druocur *cur, const druorep *rep = nullptr, DRUO_HERE);
/* Executes for rows 0 to n-1 of the bound arrays in one round trip. */
int druoexn(drsrvstate *st, druocur *cur, uint32_t n, const druorep *rep = nullptr, DRUO_HERE);
/* Executes and fetches up to n rows; DRUO_NODATA (not reported) when fewer
 * came. */
int druoexf(drsrvstate *st, druocur *cur, uint32_t n, const druorep *rep = nullptr, DRUO_HERE);
/* Fetches up to n rows into the defines; DRUO_NODATA (not reported) when
 * fewer came; druorows counts every row delivered so far. */
int druofet(drsrvstate *st, druocur *cur, uint32_t n, const druorep *rep = nullptr, DRUO_HERE);
/* Keeps the next executions of a query as a held cursor that lives across
 * commits and is fetched in blocks (on 1), or not (on 0). */
int druohld(drsrvstate *st, druocur *cur, int on, const druorep *rep = nullptr, DRUO_HERE);
/* Reads a piece of column pos of row `row` (from 0) of the last fetch from
 * byte offset on into buf (at most size bytes); *got the bytes read;
 * DRUO_NODATA (not reported) when the piece reaches the end of the value. */
int druolng(drsrvstate *st, druocur *cur, int row, int pos, void *buf, int32_t size, int type,
            uint32_t *got, uint32_t offset, const druorep *rep = nullptr, DRUO_HERE);
/* Describes select-list column pos (from 1): size, type code and name (at
 * most *namelen bytes, set to its length); DRUO_NOTINLIST (not reported)
 * past the last column. */
int druodsc(drsrvstate *st, druocur *cur, int pos, int32_t *size, int16_t *type, char *name,
            int32_t *namelen, const druorep *rep = nullptr, DRUO_HERE);
/* Cancels the cursor's query: the rows not yet fetched are dropped. */
int druocan(drsrvstate *st, druocur *cur, const druorep *rep = nullptr, DRUO_HERE);
/* Commits the work connection; a failure is reported with the database's
 * text. */
int druocmt(drsrvstate *st, const druorep *rep = nullptr, DRUO_HERE);
/* Rolls the work connection back; a failure is reported with the
 * database's text. */
int druorbk(drsrvstate *st, const druorep *rep = nullptr, DRUO_HERE);

/* Waits up to ms milliseconds for a notification on a connection of the
 * login (one a LISTEN statement opened): 0 when one came, DRUO_NODATA (not
 * reported) when the time ran out or a signal came first. */
int druowai(drsrvstate *st, int link, int32_t ms, const druorep *rep = nullptr, DRUO_HERE);

/* Test seam: the n-th fetch from now on (1 the next one) answers rc without
 * fetching, once; n 0 clears it. */
void druofetat(long n, int rc);

/* Rows processed by the cursor: rows fetched so far, or rows changed. */
uint32_t druorows(const druocur *cur);
/* Return code of the cursor's last call. */
int druorc(const druocur *cur);
/* Name of the client-library function the cursor called last (for the
 * log line of a failure). */
const char *druofcn(const druocur *cur);
/* The client library's text for a return code into buf (at most size bytes,
 * NUL-terminated): the database's own when rc is the login's last error, else
 * the library's text for the number. Its length. */
int druotxt(drsrvstate *st, int rc, char *buf, size_t size);
/* Writes the client library's version banner for a product and a version
 * number into buf (at most size bytes); its length, or below 0 when it does
 * not fit. */
int druobnr(char *buf, size_t size, const char *product, uint32_t version, int status);

/* ---- names in statement texts ---- */

/* True when name is a plain identifier ([A-Za-z_][A-Za-z0-9_$]*, at most 63
 * bytes) or, with parts 2, also one qualified by another ("schema.name").
 * Every name that reaches a statement's text from outside is checked so. */
bool druoidn(const char *name, int parts);
/* Writes text quoted with q ('\'' a literal, '"' an identifier), every q
 * inside doubled, into dst; 0, or 1 when it does not fit (dst then holds an
 * empty string, never a cut text). */
int druoquo(char *dst, size_t size, const char *text, char q);

/* ---- interrupts ---- */

/* Asked while a statement of the server waits for the database (about five
 * times a second, and at once after a signal), with the connection it runs
 * on: non-zero cancels the statement, which then fails. Null: statements
 * run to their end. The listener sets it at start-up. */
extern int (*druowatch)(drsrvstate *st, int link);
/* The check behind druochk; null: nothing interrupts. The listener sets it
 * at start-up. */
extern int (*druointr)(drsrvstate *st);
/* The interrupt point of a loop that can run long: cheap enough to call for
 * every item. 0 go on; 1 stop, after the reason (an interrupt, or a failed
 * check) was pushed. */
int druochk(drsrvstate *st);

/* ---- log-on ---- */

/* Logs on with the whole user string as connect string, and switches on SQL
 * tracing when trace is 1; 0, or 1 after pushing the reason. */
int dracnlog(drsrvstate *st, const char *user, uint8_t trace);
/* Ends a call of code the server does not own (procedures a message names,
 * run on DRUO_FENCE): resets the fence connection to a fresh session under
 * the administrator's statement time-out, and checks that the server's
 * session still holds its registry lock. 0; 1 after pushing the database's
 * text (severity 2), or 50860 (severity 3) when the lock is gone. */
int druofrs(drsrvstate *st);
/* Logs off; 0, or 1 after pushing the database's text and 50855 (severity 2).
 * The server is not connected afterwards either way. */
int dracnlof(drsrvstate *st);

#endif
