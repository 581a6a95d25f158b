// Fuzz target: arbitrary bytes as an OLE 1.0 object stream and as the hex
// digits of its record form; what parses is written back, measured, sent
// as record 5519 and freed.
#include <cstdint>
#include <string>

#include "filters/framework/writer/tests/objtest.h"

using namespace objt;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cwtestrun t;
  cvrun* run = t.run;
  in.assign(reinterpret_cast<const char*>(data), size);
  inpos = 0;
  if (ole1node* n = ole1parse(run, getin)) {
    out.clear();
    ole1write(run, n, putout);
    if (out != in.substr(0, inpos) || ole1size(n) != static_cast<int32_t>(out.size())) __builtin_trap();
    ole1width(n);
    ole1height(n);
    ole1emit(run, n, nullptr, putout);
    ole1free(run, n);
  }
  // The same bytes as the hex digits of a record form with a header of five values.
  t.t.input("5\x1F" "0\x1F" "0\x1F" "0\x1F" "0\x1F" "0\x1F");
  inpos = 0;
  ole1view* v = nullptr;
  if (ole1node* n = ole1parsehex(run, &v, getin)) ole1free(run, n);
  return 0;
}
