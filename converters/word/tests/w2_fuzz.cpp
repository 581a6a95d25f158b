// Fuzz target: the Word 1.x/2.0 entry over arbitrary documents.
#include "converters/word/tests/wxfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) { return wxfuzz(cvtword2, data, size); }
