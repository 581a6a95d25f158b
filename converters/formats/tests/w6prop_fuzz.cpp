// Fuzz target: the Word 6 property-modifier interpreters over arbitrary
// runs of sprms, on records that start at their defaults.
#include <cstdint>
#include <vector>

#include "converters/formats/w6prop.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // An exact-size copy: the sanitizer sees any read past its end.
  std::vector<uint8_t> run(data, data + size);
  w6sep sep;
  w6pap pap;
  w6chp chp;
  const w6chp base{};
  w6sepdefault(nullptr, &sep);
  w6papdefault(nullptr, &pap);
  w6chpdefault(nullptr, &chp);
  w6grpprlapply(nullptr, run.data(), static_cast<int32_t>(run.size()), &sep, &pap, &chp, &base);
  return 0;
}
