// Fuzz target: arbitrary bytes as an intermediate file, made plain text, and
// read field by field through the COM readers with a push-back and skips.
#include <cstdint>
#include <string>

#include "filters/framework/runtime/tests/cvtest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  {
    cvtesthost host;
    convstate* st = host.open();
    cvputfile(st, "kvj99int.tmp", bytes);
    convtotext(st);
  }
  cvtestrun t("text", {}, 1, 0);
  cvrun* run = t.run;
  t.input(bytes, 64);
  for (int i = 0; i < 100000; i++) {
    int c = cvsgetc(run, run->in);
    if (c < 0) break;
    switch (c % 9) {
      case 0: cwgethex(run); break;
      case 1: cwgethex2(run); break;
      case 2: cwgetint(run); break;
      case 3: cwgetuint(run); break;
      case 4: cwgetint2(run); break;
      case 5: cwgetuint2(run); break;
      case 6: cwskiprec(run); break;
      case 7: cwskiptors(run); break;
      case 8: cvsungetc(run, run->in, COM_US); break;  // read back at once as the next byte
    }
  }
  if (size >= 3) {
    char t3[4] = {static_cast<char>(data[0]), static_cast<char>(data[1]), static_cast<char>(data[2]), 0};
    char back[4];
    cwcodeunpack(cwcodepack(t3), back);
  }
  return 0;
}
