// Fuzz target: arbitrary bytes as the body of an HTML page through the host
// interface with the readers installed. The page always passes detection
// and the reader's own check, so every input reaches the HTML reader, the
// writer and the text conversion; both files are pulled whole.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "filters/framework/runtime/tests/cvtest.h"
#include "filters/readers/rdr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = (rdrregister(), true);
  (void)registered;
  cvtesthost host("<html>" + std::string(reinterpret_cast<const char*>(data), size));
  convstate* st = host.open();
  std::string text = cvpullall(st, 2000);
  std::string com = cvpullall(st, 2000, false);
  if (text != "<fail>" && com == "<fail>") std::abort();
  convclose(st);
  if (!host.blocks.empty()) std::abort();
  return 0;
}
