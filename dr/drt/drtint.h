// Internal declarations shared by the listener's own units; other modules
// include drt.h only.
#ifndef KES_DR_DRT_DRTINT_H
#define KES_DR_DRT_DRTINT_H

#include "dr/drt/drt.h"

// The command table: one row per command code.
struct drtlent {
  int32_t code;
  // The log line after "Cmd %d: ": the user, then the arguments of show;
  // null for a command that logs nothing or its own line.
  const char *line;
  // Argument numbers (from 1) the line shows, ended by 0.
  uint8_t show[DRM_NARGS + 1];
  // Bit n - 1 set: argument n is a number, checked before the handler runs.
  uint16_t nums;
  // Runs the command with the arguments of the message; its result.
  int (*run)(drsrvstate *s, drmcmd *cmd, drmcmd *reply);
};

// The row of a command code, or null for an unknown code.
const drtlent *drtlfind(int32_t code);

#endif
