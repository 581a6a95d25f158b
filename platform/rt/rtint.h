// Internal declarations shared by the runtime's own units; not part of the
// runtime's interface (other modules include rt.h only).
#ifndef KES_PLATFORM_RT_RTINT_H
#define KES_PLATFORM_RT_RTINT_H

#include "platform/rt/rt.h"

#include <cstdio>

struct rtstream {
  FILE *f;
  int isstd;  // standard stream: closing only flushes it
  int mode;
  int kind;
  int attrs;
  int reclen;
  int count;
  char tag[8];
};

struct rtctx {
  char program[32];
  char package[16];
  rthpmgr *hpmgr;
  rtstream out;
  rtstream in;
};

rthpmgr *rt_hpmgr_new();
void rt_hpmgr_free(rthpmgr *mgr);

// The formatter proper. lenient: a missing argument shows as an empty text
// instead of failing (message texts must always render).
int lsf_run(char *buf, size_t size, const char *format, const rtarg *args, int nargs, bool lenient);

#endif
