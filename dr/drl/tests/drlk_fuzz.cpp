// Fuzz target over the Korean analysis and lexer. The first byte chooses:
// even, the rest is a text the lexer reads at once and in pieces (the same
// tokens, each within the record's rules, ending with type 7) and that the
// analysis takes word by word; odd, the rest is one of the four dictionary
// files (the byte chooses which), which the analysis loads beside good
// ones, and a few words are analysed with whatever loaded.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dr/drl/drlk.h"
#include "platform/nls/nls.h"
#include "tests/fixtures/pipe/kodict.h"
#include "tests/fixtures/pipe/pipefix.h"

namespace {

namespace fs = std::filesystem;

drsrvstate *g_srv = nullptr;
pipefix::Prefs *g_prefs = nullptr;
pipefix::MemFilter *g_fil = nullptr;
drobj *g_lex = nullptr;
fs::path g_dir;
const char *const kNames[4] = {"drkoudic.dat", "drkosdic.dat", "drkoxdic.dat", "drkogram.dat"};
std::string g_good[4];

void put(const char *name, const std::string &bytes) {
  std::ofstream(g_dir / name, std::ios::binary) << bytes;
}

std::vector<pipefix::Tok> run() {
  const drlexops *ops = drops<drlexops>(g_lex);
  int32_t op = 0;
  char *key = nullptr;
  g_fil->cur = -1;
  if (ops->next(g_lex, &op, &key) != 0) std::abort();
  std::vector<pipefix::Tok> out;
  for (int guard = 0; guard < 100000; ++guard) {
    drtoken *t = nullptr;
    int32_t n = 0;
    int rc = ops->tok(g_lex, 0, &t, &n);
    if (rc == 1 || n < 0 || n > DRLK_BATCH) std::abort();
    for (int32_t i = 0; i < n; ++i) {
      const drtoken &k = t[i];
      if (k.flag != 0 || k.weight != 1 || k.value != 0 || !k.text) std::abort();
      if (k.type != DRTOK_WORD && k.type != DRTOK_END) std::abort();
      if ((k.type == DRTOK_END) != (rc == 2 && i == n - 1)) std::abort();
      out.push_back(pipefix::row(k));
    }
    if (rc == 2) return out;
  }
  std::abort();  // the text never ended
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  setenv("NLS_LANG", "KOREAN_KOREA.KO16KSC5601", 1);
  g_dir = fs::temp_directory_path() / ("drlk-fuzz-" + std::to_string(::getpid())) / "vek73" / "data";
  fs::create_directories(g_dir);
  kodict::Sdic d;
  d.rows = {{1, {{1, 1}}}, {2, {{2, 2}}}, {3, {{3, 3}}}, {10, {{200, 200}, {402, 200}}},
            {11, {{20, 20}}}, {12, {{7, 21}, {181, 21}}}};
  d.morphemes = {{"es9", 10}, {"oygGah", 11}, {"*alas", 12}, {"a", 12}, {"ag", 11}};
  g_good[0] = "AB\nABC\n\xB4\xEB\n";
  g_good[1] = kodict::sdicbytes(d);
  g_good[2] = "\xC7\xD0\xBB\xFD\n";
  g_good[3] = "1 20 21 0\n20 200 2 460 0\n200 2 460 0\n3 21 0\n21 2 460 200 0\n";
  for (int k = 0; k < 4; ++k) put(kNames[k], g_good[k]);
  // The messages come from the source tree, the dictionaries from here.
#ifdef KES_SOURCE_DIR
  setenv("KESTRIN_HOME", KES_SOURCE_DIR, 0);
#endif
  if (dracnnew(&g_srv) != 0) std::abort();
  setenv("KESTRIN_HOME", g_dir.parent_path().parent_path().c_str(), 1);
  g_prefs = new pipefix::Prefs(g_srv);
  g_fil = new pipefix::MemFilter({""});
  g_lex = drlknew(g_srv, g_srv->seshp);
  if (!g_lex || drops<drlexops>(g_lex)->bnd(g_lex, 1, g_fil->obj(), g_prefs->add(DRCLS_LEXER, 3, {})) ||
      drops<drlexops>(g_lex)->mode(g_lex, 1))
    std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2 || size > 40000) return 0;
  std::string rest(reinterpret_cast<const char *>(data) + 2, size - 2);
  if ((data[0] & 1) == 0) {
    g_fil->docs[0] = rest;
    g_fil->piece = 0;
    std::vector<pipefix::Tok> whole = run();
    g_fil->piece = 1 + data[1] * 37u;
    // Pieces may cut a word where the buffer ends, but never lose the end.
    std::vector<pipefix::Tok> cut = run();
    if (cut.empty() || cut.back().type != DRTOK_END) std::abort();
    return 0;
  }
  const int which = (data[0] >> 1) & 3;
  put(kNames[which], rest);
  drlkmmod *m = drlkminit(g_srv);
  if (!m) std::abort();
  std::string p[4];
  for (int k = 0; k < 4; ++k) p[k] = (g_dir / kNames[k]).string();
  if (drlkmload(g_srv, m, p[0].c_str(), p[1].c_str(), p[2].c_str(), p[3].c_str()) == 0) {
    drlkmterm out[DRLKM_TERMS];
    static const char *const kWords[] = {"\xC7\xD0\xB1\xB3\xBF\xA1\xBC\xAD",
                                         "abc\xBB\xE7\xB6\xFB", "\xB0\xA1\xB3\xAA\xB4\xD9",
                                         "AB\xC7\xD0"};
    for (const char *w : kWords) {
      int32_t took = drlkmword(g_srv, m, w, out);
      if (took < 0 || took > static_cast<int32_t>(std::strlen(w)) + 1) std::abort();
    }
  }
  rtmsgclr(g_srv->msg);
  drlkmfree(g_srv, m);
  put(kNames[which], g_good[which]);
  return 0;
}
