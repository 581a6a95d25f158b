// Fuzz target: arbitrary property lists applied by the character and the
// paragraph sprm interpreters, the old property decoder and the section
// sprm interpreter with its length-only variant, at the level
// the first byte names, in both byte orders.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "filters/word/tests/wwtest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  int ver = 1 + data[0] % 6;
  std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  wwtestrun r(std::string(1024, '\0'), ver);
  wwfibread(&r.w);
  wwfontread(&r.w);
  // Character lists: a count byte and at most 255 bytes, as stored.
  unsigned char list[256] = {};
  size_t n = rest.size() < 255 ? rest.size() : 255;
  list[0] = static_cast<unsigned char>(n);
  std::memcpy(list + 1, rest.data(), n);
  wwchp c;
  wwchpinit(&r.w, &c);
  wwchpxsprm(&r.w, list, &c, -1, -1);
  wwchpxapply(&r.w, list, &c, -1, -1);
  // A paragraph record of the whole input.
  std::string papx(4, '\0');
  wwputw(&r.w, reinterpret_cast<unsigned char*>(papx.data()), static_cast<unsigned>(rest.size() + 2) & 0xFFFF);
  wwputw(&r.w, reinterpret_cast<unsigned char*>(papx.data()) + 2, 0xFFFF);
  papx += rest;
  wwpap p;
  wwpapinit(&r.w, &p);
  wwpapxapply(&r.w, reinterpret_cast<const unsigned char*>(papx.data()), &p);
  if (p.itbdMac < 0 || p.itbdMac > WW_MAXTAB || p.tap.itcMac < 0 || p.tap.itcMac > WW_MAXCELL) std::abort();
  // A section list of the whole input, and each of its sprms measured.
  wwsep s;
  wwsepinit(&r.w, &s);
  const auto* b = reinterpret_cast<const unsigned char*>(rest.data());
  wwsepxapply(&r.w, b, static_cast<int>(rest.size()), &s);
  std::string padded = rest + std::string(4, '\0');
  for (size_t i = 0; i < rest.size(); i++) wwsprmsepx(&r.w, reinterpret_cast<const unsigned char*>(padded.data()) + i);
  return 0;
}
