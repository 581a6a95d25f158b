// Fuzz target: the WordPerfect 5.x entry over arbitrary documents.
#include "converters/word/tests/wxfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) { return wxfuzz(cvtwp5, data, size); }
