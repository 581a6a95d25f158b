// Fuzz target: arbitrary documents through the host interface with the
// readers installed. Detection runs over the bytes; a document taken for
// text goes through the plain-text reader and the writer into the
// intermediate file, which is then made plain text; both are pulled whole.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "filters/framework/runtime/tests/cvtest.h"
#include "filters/readers/rdr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = (rdrregister(), true);
  (void)registered;
  cvtesthost host(std::string(reinterpret_cast<const char*>(data), size));
  host.readcap = size > 0 && data[0] % 2 ? 1000 : 32767;
  convstate* st = host.open();
  std::string text = cvpullall(st, size > 1 ? 1 + data[1] % 97 : 2000);
  std::string com = cvpullall(st, 2000, false);
  // A text that came out came from a whole intermediate file.
  if (text != "<fail>" && com == "<fail>") std::abort();
  convclose(st);
  if (!host.blocks.empty()) std::abort();
  return 0;
}
