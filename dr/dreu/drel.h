// The posting-list codec: the nibble-coded lists kept in the token table's
// word_info column, the list entry through which they are written into a
// list manager's pieces and read back, and the readers over a stored list.
// Included through dr/dreu/dreu.h.
//
// A list is a stream of 4-bit units, two per byte, low half first. Each
// coded value is a code nibble naming a field (end, document delta,
// position delta, group A value, group B value) and how many data nibbles
// follow, least significant first. Per document: its delta, then per
// occurrence a position delta and the group values; the end code closes
// the list. The kind (0 or 1) is not stored: writer and readers must agree.
#ifndef KES_DR_DREU_DREL_H
#define KES_DR_DREU_DREL_H

#include <cstddef>
#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dreu/dreul.h"

// List kinds: kind 1 for stop lists of 256 words or more, since the group
// values are stop-word numbers.
enum drlistkind { DREL_KIND0 = 0, DREL_KIND1 = 1 };

enum {
  DREL_INLINE = 11,      // bytes of a list held in its entry before any piece
  DREL_BIGLIST = 32768,  // byte count above which every further piece is counted
  DREL_GRPMAX = 32,      // values a group holds
  DREL_GRPLIM0 = 255,    // largest group value of kind 0
  DREL_GRPLIM1 = 4095    // largest group value of kind 1
};

// Message for a stored list that a reader found damaged; the readers have
// no server state, so their caller pushes it (drelbad).
enum { DREL_EDAMAGED = 51701 };

// Code nibble of a list in reading that was found damaged: every reader
// then answers 1.
enum { DREL_BAD = 0xff };

// The list entry. Writing, it holds a list being built: its first 11 bytes
// inline, the rest in pieces of a list manager. Reading, it is a cursor over
// a stored list. Fields in the order the format fixes; the two address
// fields are 8 bytes here, so the entry is 48 bytes rather than 36.
struct drelent {
  uint8_t *pos;      // writing: next byte to write; reading: next byte to read
  uint16_t nib;      // writing: free nibbles left in the piece; reading: 1 when the
                     // next nibble is the high half of the byte at pos
  uint16_t stopno;   // the indexing driver's stop-word number; left alone here
  uint32_t nbytes;   // writing: bytes of all pieces so far; after the end, bytes used
  uint32_t lastdoc;  // writing: last document written; reading: current document
  uint32_t lastpos;  // writing: last position written; reading: current position
  union {
    drlwlist *list;     // writing: the manager's list once the inline area is full
    const uint8_t *end; // reading: one past the last byte of the stored list
  };
  uint8_t code;      // reading: the code nibble of the next coded value
  uint8_t inl[DREL_INLINE];  // writing: the first 22 nibbles of the list
};
static_assert(offsetof(drelent, nib) == sizeof(void *), "position first");
static_assert(offsetof(drelent, list) == offsetof(drelent, lastpos) + 4, "handle after positions");
static_assert(offsetof(drelent, inl) == offsetof(drelent, code) + 1, "inline area last");

// A group of values of one occurrence (the stop words before or after it):
// a count and up to DREL_GRPMAX values.
struct drelgroup {
  uint32_t count;
  uint16_t val[DREL_GRPMAX];
};

// One occurrence handed to the writer; a null group or a count of 0
// writes nothing.
struct drelpost {
  uint32_t doc;
  uint32_t pos;
  const drelgroup *grpa;
  const drelgroup *grpb;
};

// One occurrence handed out by drelnextent: the word is the caller's and
// left alone; a null group pointer skips that group.
struct drelocc {
  uint32_t word;
  uint32_t pos;
  drelgroup *grpa;
  drelgroup *grpb;
};

// A document with its occurrence count (drelgetdoc) or group-B sum
// (drelgetsum).
struct dreldoc {
  uint32_t doc;
  uint32_t val;
};

// Clears an entry to an empty list ready for writing: position at its
// inline area, 22 free nibbles, byte count 11.
void drelinit(drelent *e);

// Appends one occurrence. Documents ascend, and positions within one
// document; a document of 0 or going back, more than DREL_GRPMAX values in
// a group, or a group value above the kind's limit is refused with 50600
// before anything is written. big, when given, counts pieces taken past
// DREL_BIGLIST bytes. 0, or 1 after pushing; after a piece failure the
// entry is unusable.
int drelputdoc(drsrvstate *st, drlstmgr *m, drelent *e, int kind, const drelpost *p,
               uint32_t *big);
// Writes the end code, sets the byte count to the bytes used and closes the
// list; 0, or 1 after pushing.
int drelputend(drsrvstate *st, drlstmgr *m, drelent *e);
// Rewinds a finished entry to its first byte for reading its pieces back;
// 0, or the manager's result.
int drelputinit(drsrvstate *st, drlstmgr *m, drelent *e);
// Copies a finished list out of its pieces into buf (room bytes), gives its
// byte count and first document (0 for an empty list), and leaves the
// entry as a reader over buf. 0, or 1 after pushing 50600 when the list
// does not fit or its pieces run out early, or the manager's error.
int drelread(drsrvstate *st, drlstmgr *m, drelent *e, int kind, uint8_t *buf, uint32_t room,
             uint32_t *nbytes, uint32_t *firstdoc);
// Gets the next piece of the entry's list for writing (mode 0) or reading
// (mode 1); 2 when reading finds none. Internal to the writer and drelread.
int drelpiece(drsrvstate *st, drlstmgr *m, drelent *e, int mode, uint32_t *big);

// The readers. None reads outside [buf, buf + len): a list that is cut
// short, lacks its end code or is read with the wrong kind ends in 1, and
// so does every later call on that entry; nothing is pushed (see drelbad).

// Starts reading the stored list of len bytes at buf; 0.
int drelrdinit(drelent *e, const uint8_t *buf, uint32_t len);
// Moves to the next document whose id is at least target (always past the
// current one); 0 with it in *doc when doc is not null, 2 at the end.
int drelseek(drelent *e, int kind, uint32_t *doc, uint32_t target);
// drelseek, then counts the document's occurrences; 0 with the document
// and the count, 2 at the end (out untouched). The entry stays at the next
// document or the end.
int drelgetdoc(drelent *e, int kind, dreldoc *out, uint32_t target);
// As drelgetdoc with the sum of the document's group-B values.
int drelgetsum(drelent *e, int kind, dreldoc *out, uint32_t target);
// Reads the current document's occurrences up to the first whose position
// is at least target; 0 with its position and groups (copies stop at
// DREL_GRPMAX values), 2 when the document has no further occurrence.
int drelnextent(drelent *e, int kind, drelocc *occ, uint32_t target);

// Pushes DREL_EDAMAGED for a list a reader refused, naming it by what (the
// term, say); for callers of the readers.
void drelbad(drsrvstate *st, const char *what);

#endif
