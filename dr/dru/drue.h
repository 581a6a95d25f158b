/* Error stack: reading, logging, joining and searching the messages the
 * server pushed, and the database-error pushes. */
#ifndef KES_DR_DRU_DRUE_H
#define KES_DR_DRU_DRUE_H

#include <cstddef>

#include "dr/dra/dra.h"

/* Message numbers of database failures: the database's own text, then the
 * step that failed. */
enum {
  DRUE_DBTEXT = 50850, /* the database's error text */
  DRUE_OPEN = 50800,   /* open a cursor */
  DRUE_PARSE = 50801,  /* parse a statement */
  DRUE_BIND = 50802,   /* bind a variable */
  DRUE_DEFINE = 50803, /* define an output column */
  DRUE_EXEC = 50804,   /* execute */
  DRUE_CLOSE = 50805   /* close a cursor */
};

/* Longest text of one entry that the log and the joined stack show. */
enum { DRUE_TXTMAX = 255 };

/* Pushes the database's error text for a client return code as 50850
 * (severity 2). */
void druekci(drsrvstate *st, int rc);
/* druekci for the return code, then the internal error num with severity,
 * source file, line and five blank details. */
void druekcii(drsrvstate *st, int num, int sev, const char *file, int line, int rc);

/* The text of entry idx (1 = oldest) into buf, at most size bytes; a 50850
 * text loses everything up to its first ':' and the character after it.
 * 0, or 1 when the entry cannot be read. */
int druetxt(drsrvstate *st, int idx, char *buf, size_t size);
/* Writes every entry as one log line "%s\n" to the state's log; returns
 * the entry count. */
int druelog(drsrvstate *st);
/* Joins every entry's text, each followed by "\n", into dest of size bytes;
 * a stack that does not fit is cut at a whole character. Returns the
 * length joined. */
size_t druestk(drsrvstate *st, char *dest, size_t size);
/* True when an entry has severity 3. */
int druefatal(drsrvstate *st);
/* True when an entry has message number num. */
int druefind(drsrvstate *st, int num);
/* Number and severity of entry idx; for an index beyond the stack the number
 * is 0. 0, or 1 after pushing 50101 when the entry cannot be read. */
int drueget(drsrvstate *st, int idx, int *num, int *sev);
/* Empties the error stack. */
void drueclr(drsrvstate *st);

#endif
