// List managers: the storage in which posting lists grow while the indexer
// and optimisation build them. A manager hands out each list as a chain of
// pieces carved from one arena and releases all of its lists at once.
// Included through dr/dreu/dreu.h.
#ifndef KES_DR_DREU_DREUL_H
#define KES_DR_DREU_DREUL_H

#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dras/drobj.h"
#include "dr/dru/drub.h"

struct drlstmgr;
struct drlwlist;

// Message of the list managers: a request that is missing, names a type
// that cannot be built, or asks for a first piece no list could use.
enum { DREUL_EREQ = 51700 };

// Manager types, the rows of drlstreg.
enum { DRLST_DEFAULT = 0, DRLST_VIRTUAL = 1, DRLST_LIGHT = 2, DRLST_NTYPES = 3 };

// Modes of the open slot.
enum { DRLST_WRITE = 0, DRLST_READ = 1 };

// Piece sizes of the light-weight manager, in bytes: the default first
// piece, the step by which each further piece grows while the one before
// was below the limit, and the link word in front of every payload.
enum { DREUL_FIRST = 12, DREUL_LIMIT = 1024, DREUL_STEP = 8, DREUL_LINK = 4 };

// Operations of a list manager. Slot 0 takes the manager alone, every
// other slot the server state and the manager first. Results: 0, 1 after
// pushing, 2 at the end.
struct drlstops {
  // 0: frees the manager with every list and piece it holds.
  int (*free)(drlstmgr *m);
  // 1: called before a list is created (with 1 and the handle to be set);
  // the light-weight manager needs nothing here.
  int (*prep)(drsrvstate *st, drlstmgr *m, int32_t what, drlwlist **out);
  // 2: not used.
  int (*op2)(drsrvstate *st, drlstmgr *m);
  // 3: opens a list: mode DRLST_READ reads it from its first piece (2 when
  // it has none); DRLST_WRITE with a null list creates one, with a list
  // reopens it for appending. The handle goes to *out.
  int (*open)(drsrvstate *st, drlstmgr *m, drlwlist *list, int32_t mode, drlwlist **out);
  // 4: called when a list is finished; the light-weight manager needs
  // nothing here.
  int (*done)(drsrvstate *st, drlstmgr *m, drlwlist *list, drlwlist **out);
  // 5: the next piece of an open list: its payload size in bytes and its
  // address. Reading walks the chain (2 past the last piece); writing
  // appends a new piece.
  int (*piece)(drsrvstate *st, drlstmgr *m, drlwlist *list, uint16_t *size, uint8_t **addr);
  // 6 to 10: not used.
  int (*op6)(drsrvstate *st, drlstmgr *m);
  int (*op7)(drsrvstate *st, drlstmgr *m);
  int (*op8)(drsrvstate *st, drlstmgr *m);
  int (*op9)(drsrvstate *st, drlstmgr *m);
  int (*op10)(drsrvstate *st, drlstmgr *m);
};
DROBJ_SLOTS(drlstops, 11);
DROBJ_SLOT(drlstops, free, 0);
DROBJ_SLOT(drlstops, prep, 1);
DROBJ_SLOT(drlstops, op2, 2);
DROBJ_SLOT(drlstops, open, 3);
DROBJ_SLOT(drlstops, done, 4);
DROBJ_SLOT(drlstops, piece, 5);
DROBJ_SLOT(drlstops, op6, 6);
DROBJ_SLOT(drlstops, op10, 10);

// Head of a list manager, before its operations.
struct drlsthd {
  int32_t type;      // manager type (16-bit value kept in a 32-bit word)
  const char *name;  // name of the kind
  const char *desc;  // one line saying what it manages
};

// Any list manager: every manager begins with a copy of its template.
struct drlstmgr {
  drlsthd hd;
  drlstops ops;
};

// Request for a new manager; the caller zeroes it before filling it.
struct drlstreq {
  uint16_t type;   // DRLST_LIGHT is the only type that can be built
  uint16_t first;  // first piece size in bytes; 0 means DREUL_FIRST
};

// A row of the registry: the constructor (null for a type that cannot be
// built) and the type's name.
struct drlstrow {
  int (*ctor)(drsrvstate *st, drheap heap, const drlstreq *req, drlstmgr **out);
  const char *name;
};

// The registry of manager types, indexed by type.
extern const drlstrow drlstreg[DRLST_NTYPES];

// A list of the light-weight manager. Pieces are a 4-byte link word
// followed by the payload; a piece's size counts the link.
struct drlwlist {
  uint8_t *first;  // first piece; null while the list is empty
  uint8_t *cur;    // current piece; null before the first is written or read
  int16_t size;    // writing: bytes of the current piece; reading: minus that
};

// The light-weight manager: every list of one flush or one optimisation
// pass in a single arena, the record included.
struct dreullw {
  drlstmgr tpl;      // copy of its template
  uint32_t inuse;    // block size x block count of the arena
  drubbuf *arena;    // largest item 64, blocks of 4096: record, handles, pieces
  int16_t first;     // size of a list's first piece
  int16_t limit;     // pieces grow while the one before is below this
  int16_t step;      // growth of each further piece
  // Link words are 32 bits, so a link names the arena block (by its place
  // in this table) and the piece's offset in it rather than an address.
  uint32_t nblk;     // blocks of the arena entered in the table
  uint32_t capblk;   // room of the table
  uint8_t **blk;     // start of every arena block, in order (heap)
};

// Builds a list manager of the request's type and fills the slots that the
// type leaves empty with the defaults; 0 with *out, or 1 after pushing
// 51700 (no request, or a type without a constructor) or the
// constructor's own error.
int dreulnew(drsrvstate *st, drheap heap, const drlstreq *req, drlstmgr **out);

// Constructor of the light-weight manager; 0 with *out, or 1 with *out null
// after pushing 51700 (a first piece below 5 or above 4096 bytes), 50600
// or the arena's error.
int dreullnew(drsrvstate *st, drheap heap, const drlstreq *req, drlstmgr **out);
// Frees the arena and with it the record, every handle and every piece; 0.
int dreullfree(drlstmgr *m);
// Opens, creates or reopens a list (the open slot); 0, 2 for reading an
// empty list, 1 after pushing 50600 when no handle can be had.
int dreullnewlist(drsrvstate *st, drlstmgr *m, drlwlist *list, int32_t mode, drlwlist **out);
// The next piece of a list (the piece slot); 0, 2 past the last piece when
// reading, 1 after pushing 50600 when no piece can be had.
int dreullpiece(drsrvstate *st, drlstmgr *m, drlwlist *list, uint16_t *size, uint8_t **addr);

// The default slots: each does nothing and returns 0.
int dreuldef0(drlstmgr *m);
int dreuldef1(drsrvstate *st, drlstmgr *m, int32_t what, drlwlist **out);
int dreuldef2(drsrvstate *st, drlstmgr *m);
int dreuldef3(drsrvstate *st, drlstmgr *m, drlwlist *list, int32_t mode, drlwlist **out);
int dreuldef4(drsrvstate *st, drlstmgr *m, drlwlist *list, drlwlist **out);
int dreuldef5(drsrvstate *st, drlstmgr *m, drlwlist *list, uint16_t *size, uint8_t **addr);
int dreuldef6(drsrvstate *st, drlstmgr *m);
int dreuldef7(drsrvstate *st, drlstmgr *m);
int dreuldef8(drsrvstate *st, drlstmgr *m);
int dreuldef9(drsrvstate *st, drlstmgr *m);
int dreuldef10(drsrvstate *st, drlstmgr *m);

#endif
