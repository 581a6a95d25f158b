// Internal declarations shared by the listener's own units; other modules
// include drt.h only.
#ifndef KES_DR_DRT_DRTINT_H
#define KES_DR_DRT_DRTINT_H

#include "dr/drt/drt.h"

// The command table: one row per command code.
struct drtlent {
  int32_t code;
  // Logs the command's line (after "Cmd %d: ") and runs its handler; the
  // handler's result.
  int (*run)(drsrvstate *s, drmcmd *cmd, drmcmd *reply);
};

// The row of a command code, or null for an unknown code.
const drtlent *drtlfind(int32_t code);

#endif
