// Fuzz target: the Lotus 1-2-3 entry over arbitrary worksheets.
#include "converters/word/tests/wxfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) { return wxfuzz(cvtlotus, data, size); }
