// Fuzz target over the loader engine's reading of load files: any bytes,
// in a single-byte set, UTF8 or Shift-JIS, with or without named documents,
// cut into pieces, scanned and run through the record states against a
// described column table; rows are kept in memory, not inserted.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "dr/drbe/tests/drbefix.h"

namespace {

drsrvstate *g_srv[3];

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
#ifdef KES_SOURCE_DIR
  setenv("KESTRIN_HOME", KES_SOURCE_DIR, 0);
#endif
  const char *sets[3] = {"AMERICAN_AMERICA.WE8ISO8859P1", "AMERICAN_AMERICA.UTF8",
                         "JAPANESE_JAPAN.JA16SJIS"};
  for (int i = 0; i < 3; i++) {
    setenv("NLS_LANG", sets[i], 1);
    if (dracnnew(&g_srv[i]) != 0) std::abort();
    // The log goes nowhere: a run writes the stack of every failed file.
    g_srv[i]->log = nullptr;
  }
  unsetenv("NLS_LANG");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0 || size > 200000) return 0;
  drsrvstate *st = g_srv[data[0] % 3];
  uint8_t withname = (data[0] / 3) & 1;
  drueclr(st);
  if (dracnchp(st) != 0) std::abort();
  drbefix::Sink sink;
  drbegstate *ld = drbefix::loader(st, &sink);
  if (!ld) std::abort();
  // Named documents may only come from a folder that holds nothing.
  std::strcpy(ld->dir, "/nonexistent-folder");
  std::string bytes(reinterpret_cast<const char *>(data + 1), size - 1);
  int rc = drbefix::run(st, ld, bytes, withname);
  if (rc != 0 && rc != 1) std::abort();
  for (auto &r : sink.rows)
    if (r.size() > 4 * 2100 + DRBEG_TEXTMAX) std::abort();
  if (rc == 1 && rtmsgcnt(st->msg) != 0) std::abort();  // a failure logs its stack and clears it
  drbegclose(ld);
  drobj *o = &ld->hd.obj;
  drops<drldrops>(o)->free(&o);
  drueclr(st);
  return 0;
}
