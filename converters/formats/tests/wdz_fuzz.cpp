// Fuzz target: the Word for DOS entry with a zone-file name set (the zone
// path) over arbitrary documents.
#include <cstring>
#include <string>

#include "converters/word/tests/wxfuzz.h"

namespace {

int16_t worddoszones(const char *in, const char *out) {
  cxstate *st = wdnewst();
  if (!st) return -1;
  std::string z = wxfuzzdir() + "/zones.txt";
  st->mn->zonefile = static_cast<char *>(cxalloc(st, z.size() + 1));
  if (!st->mn->zonefile) abort();
  std::memcpy(st->mn->zonefile, z.c_str(), z.size() + 1);
  int16_t status = cvtworddosst(st, in, out);
  std::remove(z.c_str());
  return status;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) { return wxfuzz(worddoszones, data, size); }
