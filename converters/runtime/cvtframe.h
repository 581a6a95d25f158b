// The frame every converter entry runs in: the state built by the
// converter's own constructor, the fatal exit armed around the body, and one
// return point that releases what the run still holds and returns its status.
#ifndef KES_CONVERTERS_RUNTIME_CVTFRAME_H
#define KES_CONVERTERS_RUNTIME_CVTFRAME_H

#include <cstdint>

#include "converters/runtime/cx.h"

// cvtsetout: copies an output path into the state's output-file name; 0, or
// -1 (and nothing copied) when the path does not fit the field.
int cvtsetout(cxstate* st, const char* outpath);

// cvtoutname: cvtsetout that ends the run with status 3 when the path does
// not fit: an output that cannot be named cannot be opened.
void cvtoutname(cxstate* st, const char* outpath);

// cvtopen: opens the input for reading and the output (the state's
// output-file name) for writing; ends the run with 1 when the input cannot
// be opened and with 3 when the output cannot.
void cvtopen(cxstate* st, const char* inpath, int* in, int* out);

// cvtframe: runs body(closed) on a state a converter's constructor built and
// returns the run's status as 16 bits: -1 when there is no state; otherwise
// the status the body ended with through cxthrow (the body never returns on
// its own; a body that does is taken as status 0). When outpath is given it
// is copied into the output-file name first. The body sets *closed to 1 once
// it has closed every file it opened; the return point then closes nothing a
// second time. Either way the run's end releases every buffer, handle,
// stream, virtual file, temporary file and block of memory the run still
// holds, and the state's own destructor frees the state.
template <class F>
int16_t cvtframe(cxstate* st, const char* outpath, F&& body) noexcept {
  if (!st) return -1;
  char closed = 0;
  int status = cxentry(st, [&]() -> int {
    if (outpath) cvtoutname(st, outpath);
    body(&closed);
    return CX_OK;
  });
  if (!closed) cxprogend(st);
  void (*destructor)(cxstate*) = st->mn->destructor;
  if (destructor)
    destructor(st);
  else
    cxfreest(st);
  return static_cast<int16_t>(status);
}

#endif
