// Compiled by the test dras_slot_signature only: a data-store template whose
// read slot is filled with a function of another signature must not
// compile; with KES_RIGHT_SLOT the same template does.
#include "dr/dras/drdsops.h"

namespace {

#ifdef KES_RIGHT_SLOT
int read(drobj *, void *, int32_t, int32_t *) { return 0; }
#else
int read(drobj *, void *, int32_t) { return 0; }  // the count read is missing
#endif

}  // namespace

extern const drobjhd<drdsops> kesslotsig = {{DRCLS_DATASTORE, 1, nullptr}, {.read = read}};
