/* The loader engine (class 8): parses each load file the translator hands
 * out into records of column values and a text body, and inserts one row
 * per record into the target table, committing each. The attribute part of
 * a record is cut into pieces that end after a "," or ">" outside quotes, so
 * that the statement scanner never sees a token split. */
#ifndef KES_DR_DRBE_DRBE_H
#define KES_DR_DRBE_DRBE_H

#include <cstdint>

#include "dr/dras/dras.h"
#include "dr/drbx/drbx.h"
#include "dr/dru/druo.h"
#include "dr/drz/drz.h"

enum {
  DRBEG_MAXCOLS = 254,     /* columns of a target table that are described */
  DRBEG_PIECE = 8152,      /* capacity of the read and piece buffers */
  DRBEG_TEXTMAX = 65535,   /* longest text body */
  DRBEG_NAMEDMAX = 256,    /* longest line naming a document */
  DRBEG_INSERT = 2048,     /* bytes of the INSERT text */
  DRBEG_LINEBUF = 65536    /* the load file's own read-ahead */
};

/* The loader's keyword table: four blank records, TEXTEND and TEXTSTART,
 * the punctuation it knows, and a zero record. */
enum { DRBEG_KWCOUNT = 13, DRBEG_TEXTSTART = 400, DRBEG_TEXTEND = 401, DRBEG_EQ = 221,
       DRBEG_GT = 222, DRBEG_LT = 224 };
extern const drzgtkw drbegkw[DRBEG_KWCOUNT];

/* One column of the target table as the engine binds it. */
struct drbegcol {
  char bind[16];     /* ":c<position>" */
  char name[64];     /* the column's name, upper case */
  int32_t type;      /* DRUO_STRING, or DRUO_LONGVARCHAR / DRUO_LONGVARRAW for the text */
  int32_t size;      /* bytes of its buffer */
};

struct drbegstate;
/* Inserts the row the record filled: 0, 1 after a failure (pushed), 3 for a
 * duplicate key (pushed; the session rolled back). */
using drbegins = int (*)(drbegstate *ld);

/* The loader engine's record. */
struct drbegstate {
  drobjhd<drldrops> hd;
  drsrvstate *st;
  drheap heap;
  int32_t prefid;              /* -1 until bound */
  int32_t polid;               /* -1 until bound */
  /* The file being loaded. */
  char table[DRBX_TARGET];
  uint8_t withname;            /* 1: the body names a file in the source's folder */
  int32_t textsize;            /* bytes of the text column's buffer */
  drzgtstate *gt;              /* the scanner over the current piece, or null */
  char insert[DRBEG_INSERT];
  int32_t line;                /* lines read so far: the record number of messages */
  int32_t ncols;
  drbegcol cols[DRBEG_MAXCOLS];
  drzeset *rows;               /* one row of every column */
  char path[DRRDR_NAMESIZE];   /* the load file */
  char dir[DRRDR_NAMESIZE];    /* the source's folder (resolved), empty when unknown */
  druocur cur;                 /* the parsed INSERT */
  uint8_t curopen;
  int fd;                      /* the load file, -1 when closed */
  char *rbuf;                  /* read buffer: what is not yet cut into pieces */
  int32_t rfill;
  char *pbuf;                  /* the piece the scanner reads */
  int32_t plen;
  char *lbuf;                  /* the load file's read-ahead */
  int32_t lpos, lend;
  uint8_t leof;                /* the end of the load file was read */
  uint8_t atstart;             /* the next read starts a line */
  int32_t textcol;             /* the text column's position, -1 when none */
  drbegins ins;                /* how a row goes in: the database, or a test's */
  void *user;                  /* for ins */
};

/* Builds an unbound loader engine; null after pushing 10900. */
drobj *drbegnew(drsrvstate *s, drheap h);

/* Takes the column table from a description (names, database type codes
 * and sizes as the cursor layer describes them), chooses the text column,
 * writes the INSERT text and builds the row arrays; 0, or 1 after pushing
 * 11506, 11517 or 10900. */
int drbegcolset(drbegstate *ld, const char *const *names, const int16_t *types,
                const int32_t *sizes, int32_t n);
/* Takes the read buffers from the command heap; 0, or 1 after 10900. */
int drbegbufs(drbegstate *ld);
/* Reads the records of the open load file (ld->fd) and inserts each through
 * ld->ins; 0, or 1 after pushing why the file failed (11514 last). */
int drbegrows(drbegstate *ld);
/* Cuts the next piece of the attribute part into the piece buffer; 0, 2 at
 * the end of the file, 1 after pushing 11503 (a read error, or a read buffer
 * full without a delimiter). */
int drbegfbuf(drbegstate *ld);
/* Bytes up to and including the last "," or ">" of the len bytes at buf
 * that stands outside quotes; 0 when there is none. */
int32_t drbegfield(const nlscs *cs, const char *buf, int32_t len);
/* Frees the row arrays, the scanner and the buffers, closes the INSERT and
 * the load file. */
void drbegclose(drbegstate *ld);

#endif
