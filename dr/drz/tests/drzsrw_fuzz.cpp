// Fuzz target over the statement rewrite: any bytes as a statement, walked,
// generated and (on request) evaluated, with the first byte choosing the
// character set, the sharing mode, evaluation and the output's capacity.
// Resolution, result tables and bookkeeping are answered in process. A
// rewrite either fails with a message or returns a terminated text within
// its capacity, and never leaves a result table behind when it fails.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "dr/dru/dru.h"
#include "dr/drz/drz.h"
#include "dr/drz/tests/drzfake.h"

namespace {

drsrvstate *g_srv[2];

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
#ifdef KES_SOURCE_DIR
  setenv("KESTRIN_HOME", KES_SOURCE_DIR, 0);
#endif
  const char *sets[2] = {"AMERICAN_AMERICA.WE8ISO8859P1", "AMERICAN_AMERICA.UTF8"};
  for (int i = 0; i < 2; i++) {
    setenv("NLS_LANG", sets[i], 1);
    if (dracnnew(&g_srv[i]) != 0) std::abort();
  }
  unsetenv("NLS_LANG");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0 || size > 8000) return 0;
  uint8_t mode = data[0];
  drsrvstate *st = g_srv[mode & 1];
  int32_t shr = (mode >> 1) & 1;
  int32_t exec = (mode >> 2) & 1;
  int32_t cap = (mode & 8) ? 200 : DRZS_OUTCAP;
  drzfake::install();
  drueclr(st);
  if (dracnchp(st) != 0) std::abort();
  size_t len = size - 1;
  char *stmt = static_cast<char *>(std::malloc(len + 1));
  std::memcpy(stmt, data + 1, len);
  stmt[len] = 0;
  char *out = static_cast<char *>(std::malloc(static_cast<size_t>(cap)));
  int32_t outlen = -1;
  int rc = drzsrwp(st, "SCOTT", 12, 3, stmt, out, cap, shr, exec, &outlen);
  if (rc == 0) {
    if (outlen < 1 || outlen > cap || out[outlen - 1] != 0) std::abort();
  } else {
    if (rtmsgcnt(st->msg) == 0) std::abort();  // a failure always says why
    if (drzfake::counts.live() != 0) std::abort();
  }
  std::free(out);
  std::free(stmt);
  return 0;
}
