/* The component registry: the table of constructors by class and object id
 * and the free through a class's table, and two small string helpers. The
 * head and the class tables are in drobj.h and the class headers; building a
 * policy's components is the dictionary cache's (dr/drd/drd.h). */
#ifndef KES_DR_DRAS_DRAS_H
#define KES_DR_DRAS_DRAS_H

#include <cstdarg>
#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dras/drdsops.h"
#include "dr/dras/drengops.h"
#include "dr/dras/drfilops.h"
#include "dr/dras/drldrops.h"
#include "dr/dras/drlexops.h"
#include "dr/dras/drobj.h"
#include "dr/dras/drrdocops.h"
#include "dr/dras/drrdrops.h"
#include "dr/dras/drrwrops.h"
#include "dr/dras/drstops.h"
#include "dr/dras/drtrnops.h"
#include "dr/dras/drucaops.h"
#include "dr/dras/drwlops.h"
#include "dr/dru/dru.h"

/* One row of the registry: the constructor's name (null for an empty row)
 * and the constructor, null while the kind is not built into the process. */
template <class Ctor>
struct drasmrow {
  const char *name;
  Ctor fn;
};

/* The component registry: one block of rows per class, indexed by the
 * preference's object id, in this order. */
struct drasmreg {
  drasmrow<drdsctor> ds[8];    /* class 1 data store */
  drasmrow<drfilctor> fil[6];  /* class 3 filter */
  drasmrow<drlexctor> lex[8];  /* class 4 lexer */
  drasmrow<drucactor> q15[4];  /* class 15 */
  drasmrow<drwlctor> wl[4];    /* class 5 word list */
  drasmrow<drstctor> sl[4];    /* class 6 stop list */
  drasmrow<drengctor> eng[4];  /* class 7 engine */
  drasmrow<drrdrctor> rdr[4];  /* class 10 reader */
  drasmrow<drldrctor> ldr[4];  /* class 8 loader engine */
  drasmrow<drtrnctor> trn[4];  /* class 9 translator */
};

/* The process's registry. Each row names its constructor; the process puts
 * the constructors of the kinds it is built with into their rows at
 * start-up. A row whose constructor is still null refuses to build, naming
 * the class and the object id. */
extern drasmreg drasmtab;

/* The constructor in a class's block for an object id; pushes 10516 (an
 * empty row, or an id outside the block) or 10515 (the kind is not built
 * into the process) and returns null when there is none. */
template <class Ctor, size_t N>
inline Ctor drasmctor(drsrvstate *s, const drasmrow<Ctor> (&blk)[N], int32_t clsid,
                      int32_t objid) {
  // An id outside the block names no kind at all: refuse it rather than
  // read past the block.
  if (objid < 0 || static_cast<size_t>(objid) >= N || !blk[objid].name) {
    dracnerr(s, DRFAC_DRG, 10516, 2, DRA_INT, static_cast<int>(clsid), DRA_INT,
             static_cast<int>(objid), 0);
    druetrc();
    return nullptr;
  }
  if (!blk[objid].fn) {
    dracnerr(s, DRFAC_DRG, 10515, 2, DRA_INT, static_cast<int>(clsid), DRA_INT,
             static_cast<int>(objid), DRA_STR, blk[objid].name, 0);
    druetrc();
    return nullptr;
  }
  return blk[objid].fn;
}

/* Frees a component of a class through its class's free operation; 0 for a
 * null object. */
int drasmfree(drobj *o, int32_t clsid);

/* Formats through the server's formatter into a buffer of the given size;
 * the typed arguments end with 0. The number of characters written, or a
 * negative value when the text does not fit or cannot be formatted. */
int drasmfmt(rtfmt *fmt, char *buf, size_t size, const char *format, ...);
int drasmvfmt(rtfmt *fmt, char *buf, size_t size, const char *format, va_list ap);

/* Copies the string without leading and trailing blanks, tabs and newlines,
 * each inner run of them turned into one blank; the buffer, or null when
 * nothing is left. */
char *drasmsqz(void *reserved, const char *str, char *out);

#endif
