// Fuzz target: arbitrary documents pulled as plain text and as the
// intermediate file with the Word reader installed. Compound files reach it
// through detection (format 49); plain files taken for text or for the
// older Word format run it as well, and plain files that the detection
// gives to no reader (Mac Word files with binary pages) run its entry
// directly, so that every level's path is reached.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "filters/framework/runtime/tests/cvtest.h"
#include "filters/readers/rdr.h"
#include "filters/word/ww.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = (rdrregister(), true);
  (void)registered;
  cvreaderscope text(1, wwrmain), w12(44, wwrmain);
  cvtesthost host(std::string(reinterpret_cast<const char*>(data), size));
  convstate* st = host.open();
  if (convdetect(st) == 0 && convsetup(st) != -1) {
    int r = cvguarded([&] { return wwrmain(st->run, st->argc, st->argv); });
    if (r != 0 || st->run->lost) {
      convclose(st);
      if (!host.blocks.empty()) std::abort();
      return 0;
    }
    st->converted = 1;
  }
  std::string out = cvpullall(st, size > 1 ? 1 + data[1] % 97 : 2000);
  std::string com = cvpullall(st, 2000, false);
  if (out != "<fail>" && com == "<fail>") std::abort();
  convclose(st);
  if (!host.blocks.empty()) std::abort();
  return 0;
}
