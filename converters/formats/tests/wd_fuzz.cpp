// Fuzz target: the Word for DOS entry over arbitrary documents.
#include "converters/word/tests/wxfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) { return wxfuzz(cvtworddos, data, size); }
