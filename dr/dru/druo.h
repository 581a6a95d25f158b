/* The cursor layer: every statement the server runs goes through a cursor of
 * the client library; these open, parse, close and free cursors so that each
 * failure reaches the error stack the same way (the database's text as 50850,
 * then the step), and run single statements. */
#ifndef KES_DR_DRU_DRUO_H
#define KES_DR_DRU_DRUO_H

#include "dr/dra/dra.h"
#include "platform/db/db.h"

/* The client library's 64-byte cursor area: rows processed (rpc), function
 * code (fc) and return code (rc) of the last call, as db.h lays them out.
 * Every client-library call takes it where it takes a kdbcda. */
struct druocur : kdbcda {};

/* Opens a cursor on the login's work connection; the client library's return
 * code (0 success). */
int druoopn(druocur *cur, void *login);
/* Opens a cursor on the login's transport connection, whose statements commit
 * at once (message transport, registry, queues, result tables); the return code. */
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

/* Writes the client library's version banner for a product and a version
 * number into buf (at most size bytes); its length, or -1 when it does not
 * fit. */
int druobnr(char *buf, size_t size, const char *product, uint32_t version, int status);

/* ---- log-on ---- */

/* Logs on with the whole user string as connect string, and switches on SQL
 * tracing when trace is 1; 0, or 1 after pushing the reason. */
int dracnlog(drsrvstate *st, const char *user, uint8_t trace);
/* Logs off; 0, or 1 after pushing the database's text and 50855 (severity 2).
 * The server is not connected afterwards either way. */
int dracnlof(drsrvstate *st);

#endif
