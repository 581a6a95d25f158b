// Fuzz target over the default lexer: any text under any of 32 attribute
// sets, read at once and in pieces of a size the input chooses, must give
// the same tokens, each within the record's rules, ending with type 7.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dr/drl/drla.h"
#include "tests/fixtures/pipe/pipefix.h"

namespace {

drsrvstate *g_srv = nullptr;
pipefix::Prefs *g_prefs = nullptr;
pipefix::MemFilter *g_fil = nullptr;
drobj *g_lex[32];

// The tokens of the filter's one text, checked record by record.
std::vector<pipefix::Tok> run(drobj *lex) {
  const drlexops *ops = drops<drlexops>(lex);
  int32_t op = 0;
  char *key = nullptr;
  g_fil->cur = -1;
  if (ops->next(lex, &op, &key) != 0) std::abort();
  std::vector<pipefix::Tok> out;
  for (;;) {
    drtoken *t = nullptr;
    int32_t n = 0;
    int rc = ops->tok(lex, 0, &t, &n);
    if (rc == 1 || n < 1 || n > DRLA_BATCH) std::abort();
    for (int32_t i = 0; i < n; ++i) {
      const drtoken &k = t[i];
      bool mark = k.type >= DRTOK_SENTENCE;
      if (k.flag != 0 || k.weight != 1 || k.value != 0 || k.length > DRLA_MAXTOK) std::abort();
      if (mark != (k.text == nullptr) || (k.text && std::strlen(k.text) != k.length)) std::abort();
      if ((k.type == DRTOK_END) != (rc == 2 && i == n - 1)) std::abort();
      out.push_back(pipefix::row(k));
    }
    if (rc == 2) return out;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
#ifdef KES_SOURCE_DIR
  setenv("KESTRIN_HOME", KES_SOURCE_DIR, 0);
#endif
  setenv("NLS_LANG", "AMERICAN_AMERICA.WE8ISO8859P1", 1);
  if (dracnnew(&g_srv) != 0) std::abort();
  g_prefs = new pipefix::Prefs(g_srv);
  g_fil = new pipefix::MemFilter({""});
  for (int m = 0; m < 32; ++m) {
    std::vector<pipefix::Attr> a;
    if (m & 1) a.push_back(pipefix::str(2, "'"));
    if (m & 2) a.push_back(pipefix::str(3, "_."));
    if (m & 4) a.push_back(pipefix::str(1, ";.\n"));
    if (m & 8) a.push_back(pipefix::str(6, "~-\r"));
    if (m & 16) a.insert(a.end(), {pipefix::str(4, ","), pipefix::str(5, "."), pipefix::num(7, 1)});
    g_lex[m] = drlanew(g_srv, g_srv->seshp);
    if (!g_lex[m] ||
        drops<drlexops>(g_lex[m])->bnd(g_lex[m], 1, g_fil->obj(), g_prefs->add(DRCLS_LEXER, 1, a)) ||
        drops<drlexops>(g_lex[m])->mode(g_lex[m], 1))
      std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2 || size > 40000) return 0;
  drobj *lex = g_lex[data[0] & 31];
  g_fil->docs[0].assign(reinterpret_cast<const char *>(data) + 2, size - 2);
  g_fil->piece = 0;
  std::vector<pipefix::Tok> whole = run(lex);
  g_fil->piece = 1 + data[1] * 37u;
  if (run(lex) != whole) std::abort();
  return 0;
}
