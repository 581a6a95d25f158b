/* The indexer: the base engine's owner of a policy's token table (suffix
 * I1T, its unique index I1I), which writes the posting lists of every flush
 * into it by array inserts and expands LIKE patterns over its words.
 * Included through dr/dreb/dreb.h. */
#ifndef KES_DR_DREB_DREBI_H
#define KES_DR_DREB_DREBI_H

#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dras/drobj.h"
#include "dr/dreu/dreu.h"
#include "dr/dru/drub.h"
#include "dr/dru/drud.h"
#include "dr/dru/druo.h"

struct drdplist;
struct dreupstate;

/* Defaults of the indexer's attributes and its fixed sizes. */
enum : uint32_t {
  DREBI_LIKEFETCH = 32760,   /* -9: bytes of the LIKE fetch array */
  DREBI_LIKEMAX = 32512,     /* most of it a fetch uses */
  DREBI_WORDSLOT = 65,       /* a fetched or bound word with its terminator */
  DREBI_SCANWIDTH = 65535,   /* -7 */
  DREBI_ROWWIDTH = 65535,    /* -6 */
  DREBI_OPTBUF = 1572864,    /* -5 */
  DREBI_SQLSIZE = 512,       /* -4 */
  DREBI_LISTCAP = 8192,      /* -3: lists per flush batch */
  DREBI_INSBUF = 524288,     /* -2: bytes of the insert buffer */
  DREBI_ROWTARGET = 60000,   /* row size compaction aims at */
  DREBI_LONGLIST = 0xffff,   /* a list longer than this goes alone as a long value */
  DREBI_NAME = 33,           /* an object name with its terminator */
  DREBI_WORDS = 255          /* words handed to the word list per call */
};

/* Messages of the indexer. */
enum { DREBI_ECAP = 50400 };  /* more LIKE words than the caller's capacity */

/* Operations of the indexer. Results: 0, or 1 after pushing (unsup: 1 with
 * nothing pushed). */
struct dridxops {
  static constexpr int32_t clsid = 0;
  /* 0: reads the attributes, allocates the buffers, describes the token
   * table and opens the insert cursor; nstop sets the list kind. */
  int (*bnd)(drobj *ix, int32_t polid, int32_t prefid, drdplist *attrs, int32_t mode,
             int32_t nstop);
  /* 1: creates the token table (or the alternate one), replacing it. */
  int (*crt)(drobj *ix);
  /* 2: writes every list of the run's term hash as rows and commits. */
  int (*flush)(drobj *ix, dreupstate *run, drobj *wordlist);
  /* 3: creates the unique index of the token table (or the alternate one). */
  int (*cridx)(drobj *ix);
  /* 4: drops the token table; a missing one passes. */
  int (*drop)(drobj *ix);
  /* 5: empties the token table. */
  int (*trunc)(drobj *ix);
  /* 6: optimisation of the token table. */
  int (*opt)(drobj *ix, drlstmgr *m, int32_t srvcnt, int32_t srvno, const int32_t *dead,
             int32_t ndead, int32_t mode, int32_t threshold);
  /* 7: the words of the token table that LIKE patterns match, copied into
   * the arena; 50400 past capacity words. */
  int (*lik)(drobj *ix, const char *const *patterns, int32_t npatterns, drubbuf *arena,
             char **result, int32_t *nresult, int32_t capacity);
  /* 8: 1 with nothing pushed. */
  int (*unsup)(drobj *ix);
  /* 9: 0. */
  int (*nop)(drobj *ix);
  /* 10: closes the cursor and frees the buffers and the object. */
  int (*free)(drobj *ix);
};
DROBJ_SLOTS(dridxops, 11);
DROBJ_SLOT(dridxops, bnd, 0);
DROBJ_SLOT(dridxops, crt, 1);
DROBJ_SLOT(dridxops, flush, 2);
DROBJ_SLOT(dridxops, cridx, 3);
DROBJ_SLOT(dridxops, drop, 4);
DROBJ_SLOT(dridxops, trunc, 5);
DROBJ_SLOT(dridxops, opt, 6);
DROBJ_SLOT(dridxops, lik, 7);
DROBJ_SLOT(dridxops, unsup, 8);
DROBJ_SLOT(dridxops, nop, 9);
DROBJ_SLOT(dridxops, free, 10);

/* States of the insert cursor. */
enum { DREBI_CLOSED = 0, DREBI_OPEN = 1, DREBI_PARSED = 2 };

/* The indexer. */
struct drebiobj {
  drobjhd<dridxops> hd;
  drsrvstate *st;
  drheap heap;
  uint32_t polid;
  char *base;            /* "OWNER.DR_nnnnn_I1T", without the suffix characters */
  drudtab *tab;          /* the token table: name with the policy's suffix, clauses 6-8 */
  drudtab *alttab;       /* the other table of a two-table optimisation, or null */
  int32_t prefid;
  drdplist *attrs;
  druocur *cur;          /* the insert cursor */
  int32_t curstate;      /* DREBI_CLOSED, DREBI_OPEN or DREBI_PARSED */
  drudph *ph;            /* the insert's 5 placeholders */
  char *sql;             /* the insert's text (sqlsize bytes) */
  uint8_t *ibuf;         /* the insert buffer */
  uint8_t *obuf;         /* the buffer of one optimisation run, or null */
  char *likbuf;          /* the fetch array of one LIKE expansion, or null */
  drelent **lists;       /* the lists of the current flush batch */
  void **vals;           /* per column: the values of the current insert */
  int32_t *sizes;        /* per column: element size */
  uint16_t **lens;       /* per column: 16-bit lengths */
  int32_t mode;          /* indexing mode */
  uint32_t ibufsize;
  uint32_t obufsize;
  uint32_t likfetch;
  uint16_t sqlsize;
  uint16_t listcap;
  uint32_t scanwidth;
  uint32_t rowwidth;
  int32_t rowtarget;
  int32_t kind;          /* posting-list kind of the policy */
};

/* Indexer slot 6: optimisation of the token table in a mode (1 lazy
 * deletes of the ascending dead ids; 2 to 5 compaction, 4 and 5 leaving
 * out the dead ids; any other mode does nothing); 0, or 1 after pushing. */
int drebiopt(drobj *ix, drlstmgr *m, int32_t srvcnt, int32_t srvno, const int32_t *dead,
             int32_t ndead, int32_t mode, int32_t threshold);

/* Compaction of the token table (modes 2 to 5) for drebiopt; the dead ids
 * are used by modes 4 and 5 only. 0, or 1 after pushing. */
int drebicompx(drebiobj *x, int32_t srvcnt, int32_t srvno, const int32_t *dead, int32_t ndead,
               int32_t mode, int32_t threshold);

/* Appends the documents of a stored list (len bytes at row, which the
 * reader never passes) with all their occurrences to the list being
 * written in out, leaving out those among the ascending dead ids; *kept
 * and *dropped count the documents. The documents must lie above those
 * already in out. 0, or 1 after pushing (a list that does not read whole
 * is damaged, named by word). */
int drebimerge(drsrvstate *st, drlstmgr *m, int kind, const uint8_t *row, uint32_t len,
               const char *word, const int32_t *dead, int32_t ndead, drelent *out, int32_t *kept,
               int32_t *dropped);

/* Describes the alternate token table of a two-table run (the policy's
 * other suffix character) when on is 1, and creates it when make is also
 * 1; frees the description when on is 0. 0, or 1 after pushing. */
int drebialt(drobj *ix, int on, int make);

/* Makes an unbound indexer; null after pushing 10900. */
drobj *drebinew(drsrvstate *st, drheap heap);

#endif
