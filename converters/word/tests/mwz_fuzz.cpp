// Fuzz target: the Mac Word full reader (a zone file named) over arbitrary
// documents.
#include "converters/word/tests/wxfuzz.h"

namespace {
int16_t mwzones(const char *in, const char *out) { return wxzones(mwnewst, cvtmacwordst, in, out); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) { return wxfuzz(mwzones, data, size); }
