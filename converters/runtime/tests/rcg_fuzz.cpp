// Fuzz target: the recogniser over arbitrary buffers, with and without a
// hint, reads nothing past the buffer and always answers.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "converters/runtime/rcg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const int hints[] = {0, 1, 4, 6, 7, 14, 17, 18, 27, 32, 36, 101, 703, 770, 2};
  static cxstate *st = rcgnew();
  if (!st) abort();
  if (size > 4096) size = 4096;
  // An exact-size copy, so that a read past the end trips the sanitizer.
  uint8_t *copy = static_cast<uint8_t *>(std::malloc(size ? size : 1));
  if (size) std::memcpy(copy, data, size);
  int32_t sub = 0;
  for (int hint : {0, hints[size % (sizeof hints / sizeof hints[0])]}) {
    int code = rcgdetect(st, copy, static_cast<int32_t>(size), hint, &sub);
    if (code < 0 || code > 999 || (code == 0 && sub != 0)) abort();
  }
  std::free(copy);
  return 0;
}
