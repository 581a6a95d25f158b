// Fuzz target: WordPerfect 5 documents through the host interface with the
// readers installed. An input that does not start like a document is taken
// as a body and given a header and a prefix (an index over two blocks, a
// font packet of the input's first bytes, a style and a graphics packet of
// its second half), so that most runs reach the code table and the prefix.
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
    int minor = size > 0 ? data[0] & 1 : 1;
    std::string half = in.substr(size / 2);
    doc = wpg::wp5(in, minor,
                   wpg::wp5prefix({{1, in.substr(0, 40)},
                                   {15, in.substr(0, 172)},
                                   {7, std::string("Times\0Arial  (TT)\0", 18)},
                                   {256, wpg::wp5stylepkt("S", 1, half.substr(0, 30))},
                                   {8, wpg::wp5graphics({half})}},
                                  2));
  }
  cvtesthost host(doc);
  convstate* st = host.open();
  std::string text = cvpullall(st, 1 + static_cast<int>(size % 997));
  (void)text;
  convclose(st);
  if (!host.blocks.empty()) std::abort();
  return 0;
}
