// Fuzz target: the WordPerfect 6.x entry over arbitrary documents.
#include "converters/word/tests/wxfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) { return wxfuzz(cvtwp6, data, size); }
