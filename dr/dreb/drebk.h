/* The key map: one table per policy (suffix KTB) tying each indexed
 * document's text key to its doc id, with its sequence and two unique
 * indexes, and the object that owns the statements on it. The key map never
 * commits. Included through dr/dreb/dreb.h. */
#ifndef KES_DR_DREB_DREBK_H
#define KES_DR_DREB_DREBK_H

#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dras/drobj.h"
#include "dr/dru/drub.h"
#include "dr/dru/druo.h"

struct drdplist;

/* Messages of the key map. */
enum {
  DREBK_EBIND = 51200,  /* the names of a policy's key-map objects cannot be built */
  DREBK_ETABS = 51201,  /* a table action failed on the object named */
  DREBK_EKEY = 51203,   /* a text key longer than DREBK_KEYMAX bytes */
  DREBK_EVIEW = 51204   /* a view name that is not a plain [schema.]name */
};

enum {
  DREBK_KEYMAX = 256,  /* bytes of a text key */
  DREBK_BATCH = 255,   /* rows per insert and per fetch */
  DREBK_PLACES = 40    /* values per lookup or delete */
};

/* Operations of the key map. Results: 0, 1 after pushing, and 2 from keys. */
struct drkeyops {
  static constexpr int32_t clsid = 0;
  /* 0: names the policy's objects and makes the key arena; 51200 on failure. */
  int (*bnd)(drobj *o, int32_t polid, drdplist *attrs);
  /* 1: records (key i, first + i) for i below count; keys handed out by keys
   * become invalid. */
  int (*put)(drobj *o, int32_t count, const char *const *keys, int32_t first);
  /* 2: the keys of ascending doc ids (ascending also across the calls of one
   * query), hiding every id inside a reserved range of the id-list table
   * lsttab and, with a view, every key the view lacks. found keys and their
   * scores moved to the front; 2 when a view's stream has run out. */
  int (*keys)(drobj *o, const char *lsttab, int32_t count, const int32_t *ids, int32_t *found,
              char **keys, uint8_t *scores, const char *view);
  /* 3: the doc ids of those keys that are present, in key order. */
  int (*ids)(drobj *o, int32_t count, const char *const *keys, int32_t *found, int32_t *ids);
  /* 4: deletes the rows of these doc ids. */
  int (*delids)(drobj *o, int32_t count, const int32_t *ids);
  /* 5: deletes the rows of these keys. */
  int (*delkeys)(drobj *o, int32_t count, const char *const *keys);
  /* 6: deletes the rows whose doc id lies in [first, first + count - 1]. */
  int (*delrange)(drobj *o, int32_t first, int32_t count);
  /* 7: table action: 0 creates the sequence and the table, 1 the indexes, 2
   * drops them, 3 empties the table and makes sequence and indexes afresh. */
  int (*tabs)(drobj *o, int32_t action);
  /* 8: closes the statements; a kind above 0 also rewinds the key arena; 0. */
  int (*close)(drobj *o, int32_t kind);
  /* 9: frees the key map; 0. */
  int (*free)(drobj *o);
};
DROBJ_SLOTS(drkeyops, 10);
DROBJ_SLOT(drkeyops, bnd, 0);
DROBJ_SLOT(drkeyops, put, 1);
DROBJ_SLOT(drkeyops, keys, 2);
DROBJ_SLOT(drkeyops, ids, 3);
DROBJ_SLOT(drkeyops, delids, 4);
DROBJ_SLOT(drkeyops, delkeys, 5);
DROBJ_SLOT(drkeyops, delrange, 6);
DROBJ_SLOT(drkeyops, tabs, 7);
DROBJ_SLOT(drkeyops, close, 8);
DROBJ_SLOT(drkeyops, free, 9);

/* The key map. */
struct drebkmap {
  drobjhd<drkeyops> hd;  /* head words zero */
  char ktb[33];          /* key table */
  char ksq[33];          /* sequence */
  char kik[33];          /* unique index on the key */
  char kid[33];          /* unique index on (doc id, key) */
  drheap heap;
  drsrvstate *st;
  drdplist *attrs;
  druocur *cins;         /* insert */
  druocur *cids;         /* ids lookup */
  druocur *ckeys;        /* keys lookup */
  druocur *cdelk;        /* delete by key */
  druocur *cdelr;        /* delete by range */
  druocur *cdeli;        /* delete by id */
  int16_t *ind;          /* indicators of the 40 places, made on first use */
  int16_t *indf;         /* indicators of the fetched ids */
  char ph[DREBK_PLACES][4];                /* placeholder names b00 .. b39 */
  char keybuf[DREBK_BATCH][DREBK_KEYMAX + 1];
  int32_t idbuf[DREBK_BATCH];              /* insert ids; the first 40 are the IN-list */
  int32_t fetids[DREBK_BATCH];             /* doc ids fetched by the keys lookup */
  drubbuf *arena;                          /* keys handed out by the keys lookup */
  uint8_t streaming;     /* the keys lookup scans from a lower bound */
  uint8_t drained;       /* the last fetch of the keys lookup reached the end */
  int32_t consumed;      /* rows consumed before the current fetch batch */
  int32_t posn;          /* position in the current fetch batch */
  int32_t nfetched;      /* rows in the current fetch batch */
  uint32_t nids;         /* ids in the array of a sparse keys lookup */
  int32_t chunkend;      /* the ids before this one went into the last lookup */
};

/* Makes a key map (bound later with its bnd); null after pushing 10900. */
drobj *drebknew(drsrvstate *st, drheap heap);

#endif
