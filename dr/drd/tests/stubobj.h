// Stand-in components for the tests that build through the registry: a
// class's head and table, the kind it was built as and what its bnd wired it
// to; every build and free noted in one list of events.
#ifndef KES_DR_DRD_TESTS_STUBOBJ_H
#define KES_DR_DRD_TESTS_STUBOBJ_H

#include <string>
#include <type_traits>
#include <vector>

#include "dr/drd/drd.h"

namespace stubobj {

// What happened, in order: "new <kind>", "free <kind>" and what the tests add.
inline std::vector<std::string> events;

inline void note(const std::string &e) { events.push_back(e); }

// What a stand-in was built as and wired to.
struct info {
  std::string kind;
  drobj *below = nullptr;
  int32_t bndpref = -1;
};

template <class Ops>
struct stub {
  drobjhd<Ops> hd;
  info inf;
};

// The record of a stand-in of the class whose table is Ops.
template <class Ops>
info &of(drobj *o) {
  return reinterpret_cast<stub<Ops> *>(o)->inf;
}

template <class Ops>
int freeobj(drobj *o) {
  note("free " + of<Ops>(o).kind);
  delete reinterpret_cast<stub<Ops> *>(o);
  return 0;
}

template <class Ops>
int freeptr(drobj **o) {
  freeobj<Ops>(*o);
  *o = nullptr;
  return 0;
}

// A stand-in of a class with its free in place; the test fills the slots it
// calls.
template <class Ops>
stub<Ops> *make(int32_t cls, const std::string &kind) {
  auto *st = new stub<Ops>{};
  st->hd.obj.clsid = cls;
  st->hd.obj.objid = 1;
  st->inf.kind = kind;
  // The text-loading classes free through the caller's pointer.
  if constexpr (std::is_same_v<decltype(Ops::free), int (*)(drobj **)>)
    st->hd.ops.free = freeptr<Ops>;
  else
    st->hd.ops.free = freeobj<Ops>;
  note("new " + kind);
  return st;
}

}  // namespace stubobj

#endif
