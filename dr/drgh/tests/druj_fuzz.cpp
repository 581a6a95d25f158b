// Fuzz target over the Japanese detection and conversion in a JA16EUC and a
// JA16SJIS server: any document detects and converts without reading past a
// buffer, and the conversion does not depend on the pieces the document is
// read in.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "dr/drgh/druj.h"
#include "tests/fixtures/pipe/htmlfix.h"
#include "tests/fixtures/server/fuzzstate.h"

namespace {

drsrvstate *g_srv[2] = {nullptr, nullptr};

std::string run(drsrvstate *st, const std::string &doc, size_t piece, int *rc) {
  htmlfix::Buffers b(st, doc, piece);
  drujstate r;
  drujinit(st, &r);
  *rc = drujdetect(&r, &b.src);
  if (*rc == 0) {
    druvfseek(&b.src, 0, 0);
    *rc = drujconv(&r, &b.src, &b.dst);
  }
  return b.result();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  g_srv[0] = fuzzstate::make("JAPANESE_JAPAN.JA16EUC");
  g_srv[1] = fuzzstate::make("JAPANESE_JAPAN.JA16SJIS");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  size_t piece = 1 + data[0] % 64;
  std::string doc(reinterpret_cast<const char *>(data) + 1, size - 1);
  for (drsrvstate *st : g_srv) {
    int rc1 = 0, rc2 = 0;
    std::string whole = run(st, doc, 0, &rc1);
    std::string parts = run(st, doc, piece, &rc2);
    if (rc1 != 0 || rc2 != 0 || whole != parts) std::abort();
  }
  return 0;
}
