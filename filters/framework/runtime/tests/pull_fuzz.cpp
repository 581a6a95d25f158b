// Fuzz target: arbitrary documents through the host interface. Detection
// runs over the bytes; a document taken for text goes through a stub reader
// that copies it into the intermediate file, which is then made plain text.
#include <cstdint>
#include <string>

#include "filters/framework/runtime/tests/cvtest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static cvreaderscope stub(1, cvstubreader);
  cvstubecho() = true;
  cvtesthost host(std::string(reinterpret_cast<const char*>(data), size));
  host.readcap = size > 0 && data[0] % 2 ? 1000 : 32767;
  convstate* st = host.open();
  cvpullall(st, size > 1 ? 1 + data[1] % 97 : 2000);
  cvpullall(st, 2000, false);
  convclose(st);
  return 0;
}
