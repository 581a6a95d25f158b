// The row comparison, sort and search shared by both WordPerfect readers.
#include "filters/readers/wp/wpcode.h"

#include <cstdlib>

int wprowcmp(const void* a, const void* b) {
  const auto* x = static_cast<const uint8_t*>(a);
  const auto* y = static_cast<const uint8_t*>(b);
  if (x[0] != y[0]) return x[0] < y[0] ? -1 : 1;
  if (x[1] == WP_ANYSUB || y[1] == WP_ANYSUB || x[1] == y[1]) return 0;
  return x[1] < y[1] ? -1 : 1;
}

void wprowsort(wpcoderow* rows, size_t n) { std::qsort(rows, n, sizeof *rows, wprowcmp); }

const wpcoderow* wprowfind(const wpcoderow* rows, size_t n, int code, int sub) {
  // A key has the layout of a row's first two fields.
  const uint8_t key[2] = {static_cast<uint8_t>(code), static_cast<uint8_t>(sub)};
  return static_cast<const wpcoderow*>(std::bsearch(key, rows, n, sizeof *rows, wprowcmp));
}
