// Placeholders for the parts of the runtime that follow (buffered I/O,
// scratch streams, zone marks, pipe client); each is replaced by its own file.
#include "converters/runtime/cx.h"

int piofopen(cxstate* st, const char* path, int mode, int share) { return -1; }
int piofclose(cxstate* st, int handle) { return -1; }
int piofread(cxstate* st, int handle, void* buf, int n) { return -1; }
int piofwrite(cxstate* st, int handle, const void* data, int n) { return -1; }
int pioseek(cxstate* st, int handle, int offset, int origin) { return -1; }
int piounlink(cxstate* st, const char* path) { return -1; }
int piorename(cxstate* st, const char* oldp, const char* newp) { return -1; }
int32_t piofsize(cxstate* st, const char* path) { return -1; }
int pioexist(cxstate* st, const char* path) { return -1; }
