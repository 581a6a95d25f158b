/* The doc-id manager: the engine's one door to the key map and the id-list
 * store, and the journal of the id blocks an indexing run reserved, so that
 * a failed run can be undone. Included through dr/dreb/dreb.h. */
#ifndef KES_DR_DREB_DREBD_H
#define KES_DR_DREB_DREBD_H

#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dras/drobj.h"

struct drdplist;

enum {
  DREBD_JOURNAL = 255,  /* blocks one run may reserve */
  DREBD_PIECE = 20000   /* ids read per piece by dead */
};

/* Operations of the doc-id manager. Results: 0, 1 after pushing (unless
 * said otherwise), 2 at the end of the data. */
struct drdidops {
  static constexpr int32_t clsid = 0;
  /* 0: frees the key map, the id-list store and the manager; 1 when either
   * store reported 1. */
  int (*free)(drobj *o);
  /* 1: closes the statements of both stores (the argument is not used). */
  int (*close)(drobj *o, int32_t unused);
  /* 2: table action 0 to 3 on the key map, then on the id-list store. */
  int (*tabs)(drobj *o, int32_t action);
  /* 3: reserves count consecutive ids and journals the block; the first id. */
  int (*alloc)(drobj *o, int32_t count, int32_t *first);
  /* 4: records (key i, first + i) for i below count. */
  int (*ins)(drobj *o, int32_t count, const char *const *keys, int32_t first);
  /* 5: makes this session's reservations final; empties the journal. */
  int (*release)(drobj *o);
  /* 6: undoes the run: its key-map rows, newest block first, then its
   * reserved ranges become deleted ranges. */
  int (*undo)(drobj *o);
  /* 7: lazily deletes the documents of these keys and commits (a failed
   * commit returns 1 with nothing pushed). */
  int (*retire)(drobj *o, int32_t count, const char *const *keys);
  /* 8: deletes the key-map rows of these ids, then the deleted lists the
   * optimisation took (see take), and commits. */
  int (*delids)(drobj *o, int32_t count, const int32_t *ids);
  /* 9: the keys of ascending doc ids (see the key map); 0, 1 or 2. */
  int (*keys)(drobj *o, int32_t count, const int32_t *ids, int32_t *found, char **keys,
              uint8_t *scores, const char *view);
  /* 10: reads up to max deleted ids the optimisation took: into *list when it points to an array,
   * else into a new array from the manager's heap that the caller frees
   * (null when none); 2 when the deleted ids ran out, 0 at the maximum. */
  int (*dead)(drobj *o, int32_t max, int32_t *count, int32_t **list);
  /* 11: the doc ids of the keys present; 1 with nothing pushed when keys or
   * found is null. */
  int (*ids)(drobj *o, int32_t count, const char *const *keys, int32_t *found, int32_t *ids);
  /* 12: the highest settled id. */
  int (*maxid)(drobj *o, int32_t *id);
  /* 13: takes the deleted ids there are now for the optimisation that
   * begins (the id-list store's take). */
  int (*take)(drobj *o);
};
DROBJ_SLOTS(drdidops, 14);
DROBJ_SLOT(drdidops, free, 0);
DROBJ_SLOT(drdidops, close, 1);
DROBJ_SLOT(drdidops, tabs, 2);
DROBJ_SLOT(drdidops, alloc, 3);
DROBJ_SLOT(drdidops, ins, 4);
DROBJ_SLOT(drdidops, release, 5);
DROBJ_SLOT(drdidops, undo, 6);
DROBJ_SLOT(drdidops, retire, 7);
DROBJ_SLOT(drdidops, delids, 8);
DROBJ_SLOT(drdidops, keys, 9);
DROBJ_SLOT(drdidops, dead, 10);
DROBJ_SLOT(drdidops, ids, 11);
DROBJ_SLOT(drdidops, maxid, 12);
DROBJ_SLOT(drdidops, take, 13);

/* The doc-id manager. */
struct drebdmgr {
  drobjhd<drdidops> hd;
  drsrvstate *st;
  drheap heap;          /* the object and its scratch arrays */
  int32_t polid;
  drdplist *attrs;      /* the engine preference's attributes (not owned) */
  drobj *keymap;        /* owned */
  drobj *idlist;        /* owned */
  int32_t jfirst[DREBD_JOURNAL];  /* first id of each block of this run */
  int32_t jcount[DREBD_JOURNAL];  /* its count */
  int32_t jused;                  /* entries in use */
};

/* Builds the manager with its key map (bound to the policy) and id-list
 * store; null after the failing step pushed its error. */
drobj *drebdnew(drsrvstate *st, drheap heap, int32_t polid, drdplist *attrs);

#endif
