// Fuzz target: the Word 1.x/2.0 full reader (a zone file named) over
// arbitrary documents.
#include "converters/word/tests/wxfuzz.h"

namespace {
int16_t w2zones(const char *in, const char *out) { return wxzones(w2newst, cvtword2st, in, out); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) { return wxfuzz(w2zones, data, size); }
