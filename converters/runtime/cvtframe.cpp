// The output-file name of a converter entry's frame.
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
