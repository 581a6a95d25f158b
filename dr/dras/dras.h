// Component objects and the component registry: the head every pluggable
// component starts with, the table of constructors by class and object id,
// the build-and-wire step for a policy, and two small string helpers.
// The class operation tables themselves belong to the classes' own modules.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dru/dru.h"

struct drdmpol;

// Component classes.
enum : int32_t {
  DRCLS_DATASTORE = 1,
  DRCLS_COMPRESSOR = 2,
  DRCLS_FILTER = 3,
  DRCLS_LEXER = 4,
  DRCLS_WORDLIST = 5,
  DRCLS_STOPLIST = 6,
  DRCLS_ENGINE = 7,
  DRCLS_LOADER = 8,
  DRCLS_TRANSLATOR = 9,
  DRCLS_READER = 10,
  DRCLS_RESULT = 11,
  DRCLS_HIGHLIGHT = 12,
  DRCLS_QPARSER = 14,
  DRCLS_QUERYAUX = 15,
  DRCLS_DOCWRITER = 16,
};

// One operation slot; a class's header gives each slot its real type.
// Every operation takes the object (as drobj *) first and returns 0, 1 after
// pushing an error, or 2 for end of data.
using drobjop = void (*)();

// Head of every component object: the copy of its kind's static template.
// The class's operation slots follow it directly, then the server state, the
// heap and the kind's own fields.
struct drobj {
  int32_t clsid;     // class id (1 to 10 for policy components)
  int32_t objid;     // kind within the class, as the template sets it
  const char *name;  // constant name of the kind, or null
};

// The address of the first operation slot of an object or template.
inline drobjop *drobjops(drobj *o) { return reinterpret_cast<drobjop *>(o + 1); }

// Slot `slot` of an object, cast to the operation type the caller expects.
template <class Fn>
inline Fn drobjfn(drobj *o, unsigned slot) {
  return reinterpret_cast<Fn>(drobjops(o)[slot]);
}

// Slot positions the registry and the dictionary cache call.
enum : unsigned {
  DRSLOT_BND = 0,       // bind (filter, lexer, engine, text loading)
  DRSLOT_DSFREE = 9,    // data store: free
  DRSLOT_FILFREE = 10,  // filter: free
  DRSLOT_LEXFREE = 7,   // lexer: free
  DRSLOT_WLFREE = 8,    // word list: free
  DRSLOT_SLFREE = 0,    // stop list: free
  DRSLOT_ENGFREE = 19,  // engine: free
  DRSLOT_TLRUN = 1,     // text loading: scan (reader), target (translator), load (loader)
  DRSLOT_RDRFREE = 5,   // reader: free (address of the pointer)
  DRSLOT_TRNFREE = 5,   // translator: free (address of the pointer)
  DRSLOT_LDRFREE = 2,   // loader engine: free (address of the pointer)
};

// Operation types of the slots above.
using drobjfre = int (*)(drobj *o);                                   // index-side free
using drobjfrp = int (*)(drobj **o);                                  // text-loading free
using drfilbnd = int (*)(drobj *f, int32_t polid, drobj *ds, int32_t prefid, uint8_t standalone);
using drlexbnd = int (*)(drobj *l, int32_t polid, drobj *fil, int32_t prefid);
using drengbnd = int (*)(drobj *e, int32_t polid, int32_t prefid, drobj *stoplist);
using drtlbnd = int (*)(drobj *o, int32_t polid, int32_t prefid);
using drrdrscan = int (*)(drobj *reader);
using drtrntgt = int (*)(drobj *trn, const char *table, const char *column);
using drldrload = int (*)(drobj *ldr, drobj *trn, drobj *reader);

// Constructor types, by class.
using drasmdsn = drobj *(*)(drsrvstate *s, drheap h, int32_t polid, int32_t prefid);  // 1
using drasmpln = drobj *(*)(drsrvstate *s, drheap h);  // 3, 4, 7, 8, 9, 10
using drasmwln = drobj *(*)(drsrvstate *s, drheap h, int32_t prefid, drdmpol *pol);  // 5
using drasmsln = drobj *(*)(drsrvstate *s, drheap h, int32_t prefid, drobj *lexer);  // 6
using drasmqxn = drobj *(*)(drsrvstate *s, drheap h, int32_t prefid);  // 15

// One row of the registry: the constructor's name (null for an empty row)
// and the constructor, or null while the kind is not built into the server.
struct drasmrow {
  const char *name;
  drobjop fn;
};

// The component registry: one block of rows per class, indexed by the
// preference's object id, in this order.
struct drasmreg {
  drasmrow ds[8];    // class 1 data store
  drasmrow fil[6];   // class 3 filter
  drasmrow lex[8];   // class 4 lexer
  drasmrow q15[4];   // class 15
  drasmrow wl[4];    // class 5 word list
  drasmrow sl[4];    // class 6 stop list
  drasmrow eng[4];   // class 7 engine
  drasmrow rdr[4];   // class 10 reader
  drasmrow ldr[4];   // class 8 loader engine
  drasmrow trn[4];   // class 9 translator
};

// The server's registry. Each row names its constructor; a kind's module
// puts its constructor into the rows that name it (in the table's
// initializer in drasm.cpp). A row whose constructor is still null refuses
// to build, naming the class and the object id.
extern drasmreg drasmtab;

// The block of a class and its size; null for a class without one.
drasmrow *drasmblk(int32_t clsid, int *size);

// The constructor of a class's row; pushes 10516 (no such row) or 10515
// (kind not built in) and returns null when there is none.
drobjop drasmctor(drsrvstate *s, int32_t clsid, int32_t objid);

// Replaces the constructor of a row (for kinds added later and for tests);
// returns the previous one, or null for a row outside the registry.
drobjop drasmset(int32_t clsid, int32_t objid, drobjop fn);

// Builds the policy's component of a class once and wires it to the one
// below it; 0 when built or already there, 1 on failure.
int drasmobj(drsrvstate *s, drheap h, drdmpol *pol, int32_t clsid);

// Frees the policy's index components (data store, filter, lexer, stop list,
// engine, word list, in that order) and clears their slots; 0.
int drasmrel(drsrvstate *s, drdmpol *pol);

// Frees a text-loading source's reader, translator and loader engine, in
// that order, and clears their slots; 0.
int drasmtlfre(drsrvstate *s, drdmpol *pol);

// Formats through the server's formatter into a buffer of the given size;
// the typed arguments end with 0. The number of characters written, or a
// negative value when the text does not fit or cannot be formatted.
int drasmfmt(rtfmt *fmt, char *buf, size_t size, const char *format, ...);
int drasmvfmt(rtfmt *fmt, char *buf, size_t size, const char *format, va_list ap);

// Copies the string without leading and trailing blanks, tabs and newlines,
// each inner run of them turned into one blank; the buffer, or null when
// nothing is left.
char *drasmsqz(void *reserved, const char *str, char *out);
