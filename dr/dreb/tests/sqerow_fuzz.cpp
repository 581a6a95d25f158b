// Fuzz target over the stored-query leaf's row reader: arbitrary bytes as a
// result row (no terminator needed), read from a target taken from the
// input's first four bytes. Every entry it gives lies inside the row, at or
// above the target, in the order of the row; it never reads past the end.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "dr/dreb/drebyint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 4 || size > 4 + 65535) return 0;
  uint32_t target = static_cast<uint32_t>(data[0]) << 24 | static_cast<uint32_t>(data[1]) << 16 |
                    static_cast<uint32_t>(data[2]) << 8 | data[3];
  // A row of its own size, so that a read past it is caught.
  std::vector<uint8_t> row(data + 4, data + size);
  auto len = static_cast<uint32_t>(row.size());
  uint32_t at = 0, doc = 0;
  uint8_t score = 0;
  while (drebysread(row.data(), len, &at, target, &doc, &score) == 0) {
    if (at > len || at < 5 || doc < target || doc == 0) std::abort();
    uint32_t stored = static_cast<uint32_t>(row[at - 5]) << 24 | static_cast<uint32_t>(row[at - 4]) << 16 |
                      static_cast<uint32_t>(row[at - 3]) << 8 | row[at - 2];
    if (stored != doc || row[at - 1] != score) std::abort();
  }
  return 0;
}
