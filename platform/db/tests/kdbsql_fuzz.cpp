// Statement texts of any shape through the placeholder rewriter, the
// statement classifier and the insert-over-arrays rewriter: no overrun, and
// every name found is reported once.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/db/db.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* sql = reinterpret_cast<const char*>(data);
  std::vector<char> out(size * 3 + 16), names(size + 16);
  int n = kdbplaceholders(sql, size, out.data(), out.size(), names.data(), names.size());
  if (n < 0) std::abort();  // the buffers are always large enough
  int seen = 0;
  for (const char* p = names.data(); *p; p += std::strlen(p) + 1) ++seen;
  if (seen != n) std::abort();
  // Tight buffers must be refused, never overrun.
  std::vector<char> small(std::strlen(out.data()) / 2 + 1);
  kdbplaceholders(sql, size, small.data(), small.size(), names.data(), names.size());
  kdbkind(sql, size);
  // The text over arrays, when there is one, is as long as said.
  long len = kdbunnest(sql, size, 3, nullptr, 0);
  if (len > 0) {
    std::vector<char> text(static_cast<size_t>(len) + 1);
    if (kdbunnest(sql, size, 3, text.data(), text.size()) != len ||
        std::strlen(text.data()) > static_cast<size_t>(len))
      std::abort();
  }
  return 0;
}
