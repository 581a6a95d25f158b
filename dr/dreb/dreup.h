/* The indexing driver: one populate run (or one batch of changed rows) of
 * the base engine. It pulls documents and token batches from the lexer,
 * gives each document an id, collects postings in a term hash and hands the
 * lists to the indexer's flush. Included through dr/dreb/dreb.h. */
#ifndef KES_DR_DREB_DREUP_H
#define KES_DR_DREB_DREUP_H

#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dras/drobj.h"
#include "dr/dreu/dreu.h"
#include "dr/dru/drub.h"
#include "dr/dru/druh.h"

/* Sizes and intervals of a run. */
enum : uint32_t {
  DREUP_HASH = 49152,     /* buckets asked for the term hash */
  DREUP_BIGHASH = 100,    /* buckets of the hash of oversized lists */
  DREUP_FIRST = 16,       /* first piece of a list, in bytes */
  DREUP_CHECK = 256,      /* documents between two memory estimates */
  DREUP_KEYS = 2048,      /* keys held before they reach the key map */
  DREUP_PROGRESS = 100,   /* documents between two interrupt checks */
  DREUP_FIXED = 88,       /* bytes of the state counted in the estimate */
  DREUP_KEYSIZE = 257,    /* a text key with its terminator */
  DREUP_MAXWORDS = 4194304 /* words of one document that are indexed */
};

/* Document kinds the lexer hands out with a document. */
enum { DREUP_NEW = 1, DREUP_CHANGED = 2, DREUP_DELETED = 3 };

/* Messages of the driver. */
enum {
  DREUP_EMODE = 10527,  /* an indexing mode other than 0 and 1 */
  DREUP_EKIND = 51600,  /* a document kind other than 1, 2 and 3 */
  DREUP_EBASE = 51601   /* more documents counted than ids reserved */
};

/* The state of one run. */
struct dreupstate {
  drsrvstate *st;
  drheap heap;           /* the engine's heap */
  druhtab *terms;        /* term (with its NUL) -> drelent */
  drlstmgr *lm;          /* light-weight manager of the lists of one flush */
  drubbuf *keys;         /* the text keys of the documents since the last full flush */
  uint32_t memlimit;     /* a full flush is due once the estimate passes it */
  uint16_t firstpiece;
  uint32_t hashsize;
  uint32_t check;
  uint32_t keybatch;
  int32_t kind;          /* posting-list kind: DREL_KIND1 for 256 stop words or more */
  const char **newkeys;  /* indexed, not yet in the key map */
  const char **oldkeys;  /* updated or deleted, earlier versions not yet retired */
  uint32_t fixed;        /* the state's own bytes in the estimate */
  uint32_t big;          /* pieces taken past the big-list size since the last look */
  uint32_t flags;        /* DREUP_POSITIONS */
  int32_t polid;
  int32_t runseq;
  int32_t srvid;
  char qual;             /* the populate qualifier */
  int32_t pending;       /* new keys held at the last document indexed */
  char *lastkey;         /* key of the last document indexed */
  /* Read by the indexer's flush: the index-log letter of the run ('C', or
   * 'N' for changed rows), the documents since the last flush, and whether
   * the flush is a full one (only a full one moves the log's last key:
   * an early flush of oversized lists commits documents not yet whole). */
  char oper;
  uint32_t processed;
  uint8_t full;
  /* The entries that took a piece past the big-list size since the last
   * early flush: the ones that flush moves, found without walking the
   * whole term hash. */
  drelent **bigs;
  uint32_t nbig;
  uint32_t capbig;
};

enum { DREUP_POSITIONS = 0x01 };

/* The out-of-band check of the command being served (0 go on, 4
 * interrupted, 1 the check failed). The process hands it down at start-up;
 * without it a run is never interrupted. */
extern int (*dreupoob)(drsrvstate *st);

/* The index-log letter of a populate with this qualifier: 'N' (no log) for
 * changed rows ('M'), else 'C', the letter its row was inserted with. */
char dreupoper(char qual);

/* Makes the state of a run: mode 0 collects words only, 1 writes positional
 * postings; 0, or 1 with *out null after pushing (10527 for another mode). */
int dreupnew(drsrvstate *st, drheap heap, drobj *stoplist, int32_t mode, uint32_t memlimit,
             dreupstate **out);
/* Indexes every document the lexer hands out, flushing through the indexer;
 * 2 after the last document, 1 on failure (the run's ids undone). */
int dreupindex(dreupstate *u, drobj *indexer, drobj *lexer, drobj *wordlist, drobj *docids,
               drobj *stoplist);
/* Indexes the current document of the lexer under an id; 0 / 1, or 3
 * after pushing 10728 when the document has more than DREUP_MAXWORDS words
 * (those past the limit are read but not indexed). */
int dreupdoc(dreupstate *u, drobj *lexer, uint32_t docid, const char *key = "");
/* Ends and hands out up to cap lists of the term hash, going on from where
 * the previous call stopped; 0 when cap was reached, 2 when the hash is
 * exhausted, 1 on failure; *n the lists handed out. */
int dreupendlists(dreupstate *u, drelent **out, uint16_t cap, uint16_t *n);
/* Replaces the term hash and the list manager by empty ones with the stop
 * words entered; 0 / 1. */
int dreupreset(dreupstate *u, drobj *stoplist);
/* Enters the stop words into the term hash, numbered from 1, and sets the
 * list kind; 0 / 1. */
int dreupstop(dreupstate *u, drobj *stoplist);
/* Frees the state and all it holds; 1 when a release failed. */
int dreupfree(dreupstate *u);

#endif
