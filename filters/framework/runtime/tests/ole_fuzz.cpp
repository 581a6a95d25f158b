// Fuzz target: arbitrary bytes as a compound file, opened, its directory
// listed, and every stream it names read whole by name, by path and by
// seeks, then the file shut.
#include <cstdint>
#include <string>

#include "filters/framework/runtime/tests/cvtest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cvtestrun t("text", {}, 1, 0);
  cvrun* run = t.run;
  olstreset(run);
  cvputfile(t.st, "doc.ole", std::string(reinterpret_cast<const char*>(data), size));
  int stg = olstopen(run, "doc.ole");
  if (stg < 0) return 0;
  int dir = run->olstgs[stg].dirslot;
  unsigned char entry[128];
  char buf[4096];
  for (int e = 0; e < 64 && olstseek(run, dir, 128L * e) >= 0 && olstread(run, dir, entry, 128) == 128; e++) {
    // The entry's name in 8 bits, as the readers ask for names.
    char name[33] = {};
    for (int i = 0; i < 32 && entry[2 * i]; i++) name[i] = static_cast<char>(entry[2 * i]);
    int slot = olstfind(run, stg, name);
    if (slot >= 0) {
      while (olstread(run, slot, buf, sizeof buf) > 0) {
      }
      olstseek(run, slot, olstsize(run, slot) / 2);
      while (olstgetc(run, slot) >= 0) {
      }
      olsttell(run, slot);
      olstclose(run, slot);
    }
    char path[40] = {};
    std::memcpy(path, name, 33);
    slot = olstopenpath(run, stg, path);
    if (slot >= 0) {
      while (olstread(run, slot, buf, 1000) > 0) {
      }
      olstclose(run, slot);
    }
  }
  olstshut(run, stg);
  return 0;
}
