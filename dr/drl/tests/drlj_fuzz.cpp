// Fuzz target over the Japanese and multi-byte lexers: any bytes, in any of
// the five character sets, cut into pairs or single characters, read at
// once and in pieces of a size the input chooses, must give the same
// tokens, each within the record's rules, ending with type 7; the same bytes
// as a query word must end with type 7 too.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dr/drl/drlj.h"
#include "platform/nls/nls.h"
#include "tests/fixtures/pipe/pipefix.h"

namespace {

drsrvstate *g_srv = nullptr;
pipefix::Prefs *g_prefs = nullptr;
pipefix::MemFilter *g_fil = nullptr;
drobj *g_lex[10];  // by set, then cut into pairs (even) or single characters (odd)
drobj *g_query[5];

const uint16_t kSets[5] = {NLS_JA16EUC, NLS_JA16SJIS, NLS_ZHS16CGB231280, NLS_ZHS16GBK,
                           NLS_ZHT16BIG5};

// The tokens of one batch sequence, checked record by record.
std::vector<pipefix::Tok> drainchecked(drobj *lex, int32_t max) {
  const drlexops *ops = drops<drlexops>(lex);
  std::vector<pipefix::Tok> out;
  for (;;) {
    drtoken *t = nullptr;
    int32_t n = 0;
    int rc = ops->tok(lex, max, &t, &n);
    if (rc == 1 || n < 1 || n > DRLJ_BATCH) std::abort();
    for (int32_t i = 0; i < n; ++i) {
      const drtoken &k = t[i];
      bool mark = k.type >= DRTOK_SENTENCE && k.type <= DRTOK_END;
      if (k.flag != 0 || k.weight != 1 || k.value != 0 || k.length > DRLJ_MAXTOK) std::abort();
      if (mark != (k.text == nullptr) || (k.text && std::strlen(k.text) > k.length)) std::abort();
      if ((k.type == DRTOK_END) != (rc == 2 && i == n - 1)) std::abort();
      out.push_back(pipefix::row(k));
    }
    if (rc == 2) return out;
  }
}

std::vector<pipefix::Tok> run(drobj *lex) {
  int32_t op = 0;
  char *key = nullptr;
  g_fil->cur = -1;
  if (drops<drlexops>(lex)->next(lex, &op, &key) != 0) std::abort();
  return drainchecked(lex, 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
#ifdef KES_SOURCE_DIR
  setenv("KESTRIN_HOME", KES_SOURCE_DIR, 0);
#endif
  setenv("NLS_LANG", "JAPANESE_JAPAN.JA16EUC", 1);
  if (dracnnew(&g_srv) != 0) std::abort();
  g_prefs = new pipefix::Prefs(g_srv);
  g_fil = new pipefix::MemFilter({""});
  auto *lang = static_cast<nlslang *>(g_srv->lxhd);
  for (int k = 0; k < 10; ++k) {
    lang->cs = nlscsbyid(kSets[k / 2]);
    bool jp = k < 4;
    std::vector<pipefix::Attr> a;
    if (k & 1) a.push_back(pipefix::num(8, 1));
    drobj *l = jp ? drljnew(g_srv, g_srv->seshp) : drlcnew(g_srv, g_srv->seshp);
    if (!l || drops<drlexops>(l)->bnd(l, 1, g_fil->obj(), g_prefs->add(DRCLS_LEXER, 2, a)) ||
        drops<drlexops>(l)->mode(l, 1))
      std::abort();
    g_lex[k] = l;
    if (k & 1) continue;
    drobj *q = jp ? drljnew(g_srv, g_srv->seshp) : drlcnew(g_srv, g_srv->seshp);
    if (!q || drops<drlexops>(q)->bnd(q, 1, nullptr, g_prefs->add(DRCLS_LEXER, 2, {})) ||
        drops<drlexops>(q)->mode(q, 2))
      std::abort();
    g_query[k / 2] = q;
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2 || size > 40000) return 0;
  const int k = data[0] % 10;
  drobj *lex = g_lex[k];
  g_fil->docs[0].assign(reinterpret_cast<const char *>(data) + 2, size - 2);
  g_fil->piece = 0;
  std::vector<pipefix::Tok> whole = run(lex);
  g_fil->piece = 1 + data[1] * 37u;
  if (run(lex) != whole) std::abort();
  // The same bytes as a query word, up to the first NUL, one token a call.
  drobj *q = g_query[k / 2];
  std::string word(reinterpret_cast<const char *>(data) + 2, size - 2);
  if (drops<drlexops>(q)->query(q, word.c_str(), data[1] & 1) != 0) std::abort();
  drainchecked(q, 1);
  return 0;
}
