// Fuzz target over the word list's providers: any word, in a JA16EUC, a
// UTF8 or a single-byte session, through the Japanese patterns, the
// choice of the Japanese way, the stemmer provider and both fuzzy modes
// (with no engine, so no database); each must end with 0 or 1 and release
// what it made.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "dr/dru/dru.h"
#include "dr/drwa/drwa.h"
#include "tests/fixtures/server/fuzzstate.h"

namespace {

struct session {
  drsrvstate *st;
  drwaprov stem, fuzzy, ja;
};
session g_s[3];

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
#ifdef KES_BINARY_DIR
  setenv("VEK73", KES_BINARY_DIR, 0);
#endif
  const char *sets[] = {"JAPANESE_JAPAN.JA16EUC", "AMERICAN_AMERICA.UTF8",
                        "AMERICAN_AMERICA.WE8ISO8859P1"};
  for (int i = 0; i < 3; ++i) {
    session &s = g_s[i];
    s.st = fuzzstate::make(sets[i]);
    if (drwasnew(s.st, &s.stem, nullptr, 1) != 0 || drwafnew(s.st, &s.fuzzy, nullptr, 1, nullptr) != 0 ||
        drwafnew(s.st, &s.ja, nullptr, 2, nullptr) != 0)
      std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2 || size > 300) return 0;
  session &s = g_s[data[0] % 3];
  drsrvstate *st = s.st;
  drueclr(st);
  std::string word(reinterpret_cast<const char *>(data) + 1, size - 1);
  word = word.c_str();  // a word ends at its first NUL
  char *buf = nullptr;
  const char **pats = nullptr;
  int32_t n = 0;
  int rc = drwafjapat(st, word.c_str(), &buf, &pats, &n);
  if (rc != 0 && rc != 1) std::abort();
  for (int32_t i = 0; i < n; ++i)
    if (!pats[i]) std::abort();
  void *b = buf, *p = pats;
  if (b) drumfre(st, st->hpmgr, st->seshp, &b);
  if (p) drumfre(st, st->hpmgr, st->seshp, &p);
  (void)drwafisja(st, word.c_str());
  // The stemmer loads its lexicon again after every release: it takes one
  // input in eight, so that the others run many.
  for (drwaprov *pv : {&s.stem, &s.fuzzy, &s.ja}) {
    if (pv == &s.stem && (data[0] / 3) % 8 != 0) continue;
    const char **out = nullptr;
    int32_t count = 0;
    rc = pv->exp(pv, word.c_str(), &out, &count);
    if (rc != 0 && rc != 1) std::abort();
    for (int32_t i = 0; rc == 0 && i < count; ++i)
      if (!out[i]) std::abort();
    if (pv->rel(pv) != 0) std::abort();
  }
  return 0;
}
