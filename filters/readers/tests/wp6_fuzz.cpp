// Fuzz target: WordPerfect 6 documents through the host interface with the
// readers installed. An input that does not start like a document is taken
// as a body and given a header and an index (a packet of the input's first
// bytes among them), so that most runs reach the code table and packets.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "converters/formats/tests/wpgen.h"
#include "filters/framework/runtime/tests/cvtest.h"
#include "filters/readers/rdr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = (rdrregister(), true);
  (void)registered;
  std::string in(reinterpret_cast<const char*>(data), size);
  std::string doc = in;
  if (in.compare(0, 4, "\xFFWPC") != 0) {
    int type = size > 0 ? data[0] : 0x20;
    doc = wpg::wp6(in, {{type, in.substr(0, 64)}, {0x55, in.substr(size / 2)}});
  }
  cvtesthost host(doc);
  convstate* st = host.open();
  std::string text = cvpullall(st, 1 + static_cast<int>(size % 997));
  (void)text;
  convclose(st);
  if (!host.blocks.empty()) std::abort();
  return 0;
}
