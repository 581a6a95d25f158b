/* Component objects: the head every pluggable component starts with, the
 * class ids, and the form of a class's operation table, which sits right
 * after the head. Each class's table lives in its own class header. */
#ifndef KES_DR_DRAS_DROBJ_H
#define KES_DR_DRAS_DROBJ_H

#include <cassert>
#include <cstddef>
#include <cstdint>

#include "dr/dra/dra.h"

/* Component classes. */
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
  DRCLS_DOCINDEX = 17,
};

/* Head of every component object: the first fields of its kind's static
 * template. The class's operation table follows it directly, then the
 * object's own fields. */
struct drobj {
  int32_t clsid;     /* class id (1 to 10 for policy components) */
  int32_t objid;     /* kind within the class, as the template sets it */
  const char *name;  /* constant name of the kind, or null */
};

/* The head and the operation table of a class: what a kind's template holds
 * and what every object of the class starts with. */
template <class Ops>
struct drobjhd {
  drobj obj;
  Ops ops;
};

/* The operation table of an object of the class whose table is Ops. A table
 * with a class id of its own checks the object's (debug builds). */
template <class Ops>
inline const Ops *drops(const drobj *o) {
  static_assert(offsetof(drobjhd<Ops>, ops) == sizeof(drobj),
                "the operations follow the head directly");
  assert(o && (Ops::clsid == 0 || o->clsid == Ops::clsid));
  return &reinterpret_cast<const drobjhd<Ops> *>(o)->ops;
}

/* A zero-filled object of record T from heap, its head copied from the
 * kind's template and its state and heap set; null (traced) after 10900.
 * The allocation is tagged with the caller's file and line. */
template <class T, class Ops>
T *drobjnew(drsrvstate *st, drheap heap, const drobjhd<Ops> &tpl,
            const char *file = __builtin_FILE(), int line = __builtin_LINE()) {
  auto *o = static_cast<T *>(drumalc(st, st->hpmgr, heap, 1, sizeof(T), file, line));
  if (!o) {
    druetrc();
    return nullptr;
  }
  o->hd = tpl;
  o->st = st;
  o->heap = heap;
  return o;
}

/* The size of one slot of an operation table. */
#define DROBJ_SLOTSIZE sizeof(void (*)())

/* Pins a table member to its slot number. */
#define DROBJ_SLOT(ops, member, n) \
  static_assert(offsetof(ops, member) == (n) * DROBJ_SLOTSIZE, #ops "." #member " is slot " #n)

/* Pins the number of slots of a table. */
#define DROBJ_SLOTS(ops, n) \
  static_assert(sizeof(ops) == (n) * DROBJ_SLOTSIZE, #ops " has " #n " slots")

#endif
