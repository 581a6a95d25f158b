// The output-file name of a converter entry's frame and the opening of its
// two files.
#include "converters/runtime/cvtframe.h"

#include <cstring>

int cvtsetout(cxstate* st, const char* outpath) {
  size_t n = std::strlen(outpath);
  // The field also names the folder of the run's temporary files: a path
  // cut short would put them, and the output, somewhere else.
  if (n >= sizeof st->nm->intfile) return -1;
  std::memcpy(st->nm->intfile, outpath, n + 1);
  return 0;
}

void cvtoutname(cxstate* st, const char* outpath) {
  if (cvtsetout(st, outpath) != 0) cxthrow(st, CX_NOOUTPUT);
}

void cvtopen(cxstate* st, const char* inpath, int* in, int* out) {
  *in = cxopen2(st, inpath, 1);
  if (*in < 0) cxthrow(st, CX_NOINPUT);
  *out = cxopen2(st, st->nm->intfile, 2);
  // The run's end closes the input that stays open.
  if (*out < 0) cxthrow(st, CX_NOOUTPUT);
}
