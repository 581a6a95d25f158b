// Stand-in entries for the converters not built yet: each refuses the request
// with status 5, so a document routed to it fails cleanly. A converter that
// arrives replaces its line here with its own entry.
#include "converters/formats/cvt.h"

int16_t cvtwp5(const char *, const char *) { return CX_WARN; }
int16_t cvtwp6(const char *, const char *) { return CX_WARN; }
