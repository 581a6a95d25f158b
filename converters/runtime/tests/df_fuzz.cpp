// Fuzz target: the compound-document reader over arbitrary files opens or
// refuses them, and reads its usual streams, directly and as virtual files,
// within bounded time and without touching memory it does not own.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "converters/runtime/df.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const std::string path = "/tmp/kes-df-fuzz-" + std::to_string(getpid()) + ".doc";
  static const char *const names[] = {"WordDocument", "1Table", "0Table", "Workbook", "Book",
                                      "PowerPoint Document", "\x01" "CompObj", "Root Entry", "Data"};
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  cxstate *st = cxnewst(nullptr, 0, cxfreest);
  if (!st || bfinit(st, 8, nullptr) != 0) abort();
  st->fb->ministream = size & 1;
  if (dfopenread(st, path.c_str(), nullptr) >= 0) {
    static uint8_t buf[70000];
    for (const char *name : names) {
      int s = dfstmopen(st, st->io->docfile, name, 1, 1);
      if (s >= 0) {
        int32_t size = dfstmsize(st, st->io->docfile, s), total = 0, n;
        while ((n = dfstmread(st, st->io->docfile, s, buf, sizeof buf)) > 0) total += n;
        if (total > size) abort();
        dfstmclose(st, st->io->docfile, s);
      }
      int v = dfopenstream(st, name, 20000);
      if (v >= 0) {
        int32_t left = dfsize(st, v);
        while (left > 0) {
          int32_t n = left < 30000 ? left : 30000;
          if (dfread(st, v, buf, n) != n) break;
          left -= n;
          if (dfgetc(st, v) < 0) break;
          --left;
        }
        dfclosestream(st, v);
      }
    }
    dfclose(st);
  }
  cxrunend(st);
  cxfreest(st);
  std::remove(path.c_str());
  return 0;
}
