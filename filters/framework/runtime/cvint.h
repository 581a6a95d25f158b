// Small helpers shared by the units of the filter framework's runtime and
// by no one else: path parts, hex digits, whole reads from the host, tracked
// string copies and the two-pointer block lists.
#ifndef KES_FILTERS_FRAMEWORK_RUNTIME_CVINT_H
#define KES_FILTERS_FRAMEWORK_RUNTIME_CVINT_H

#include <cstddef>
#include <cstring>

#include "filters/framework/runtime/cv.h"

// cvissep: a byte that ends a directory part: '\', '/' or ':'.
inline bool cvissep(int c) { return c == '\\' || c == '/' || c == ':'; }

// cvdirlen: the length of a name's directory part, up to and including its
// last '\', '/' or ':'; 0 when it has none.
inline size_t cvdirlen(const char* name) {
  size_t n = 0;
  for (size_t i = 0; name[i]; i++)
    if (cvissep(name[i])) n = i + 1;
  return n;
}

// cvhexval: the value of a hex digit of either case, or -1.
inline int cvhexval(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// cvhostread: reads from the host document until count bytes came or the
// host has no more; the bytes read, else what the host's last read gave.
inline int cvhostread(convstate* st, void* buf, int count) {
  int got = 0;
  while (got < count) {
    int n = 0;
    st->cb.read(st->user, static_cast<char*>(buf) + got, count - got, &n);
    if (n <= 0) return got > 0 ? got : n;
    got += n;
  }
  return got;
}

// cvcopyn: a tracked copy of n bytes of s with a NUL after them, or null.
inline char* cvcopyn(cvrun* run, const char* s, size_t n) {
  auto* c = static_cast<char*>(cvalloc(run, n + 1));
  if (!c) return nullptr;
  std::memcpy(c, s, n);
  c[n] = '\0';
  return c;
}

// cvcopy: a tracked copy of a string, or null.
inline char* cvcopy(cvrun* run, const char* s) { return cvcopyn(run, s, std::strlen(s)); }

// cvlinkend: puts a block header (prev, next) at the end of a list.
template <class B>
void cvlinkend(B* b, B*& first, B*& last) {
  b->prev = last;
  b->next = nullptr;
  if (last)
    last->next = b;
  else
    first = b;
  last = b;
}

// cvunlink: takes a block header out of its list; first and last move on.
template <class B>
void cvunlink(B* b, B*& first, B*& last) {
  if (b->prev)
    b->prev->next = b->next;
  else
    first = b->next;
  if (b->next)
    b->next->prev = b->prev;
  else
    last = b->prev;
}

#endif
