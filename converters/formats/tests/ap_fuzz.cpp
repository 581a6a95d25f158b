// Fuzz target: the Ami Pro entry over arbitrary documents.
#include "converters/word/tests/wxfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) { return wxfuzz(cvtamipro, data, size); }
