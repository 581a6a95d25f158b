// Fuzz target over the parse driver: any text, either lexer kind; the parse
// must end with 0 or 1, a printable tree or messages, and nothing else.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dr/drp/drp.h"
#include "dr/dru/dru.h"

namespace {
drsrvstate *g_srv = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
#ifdef KES_SOURCE_DIR
  setenv("KESTRIN_HOME", KES_SOURCE_DIR, 0);
#endif
  unsetenv("NLS_LANG");
  if (dracnnew(&g_srv) != 0) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0 || size > 70000) return 0;
  drsrvstate *srv = g_srv;
  drueclr(srv);
  if (dracnchp(srv) != 0) std::abort();
  int theme = data[0] & 1;
  std::string query(reinterpret_cast<const char *>(data) + 1, size - 1);
  drphtab *kw = nullptr;
  if (drphnew(srv, &kw) != 0 || drpmkwfill(srv, kw) != 0) std::abort();
  drpabuf *buf = nullptr;
  int rc = drpmparse(srv, &buf, "SCOTT", query.c_str(), kw, 1, theme);
  if (rc != 0 && rc != 1) std::abort();
  if (rc == 1 && rtmsgcnt(srv->msg) == 0) std::abort();  // a failure always says why
  if (buf) {
    static char out[0x8000];
    size_t pos = 0;
    drptprint(buf->root, buf, out, sizeof out, &pos, 0);
  }
  return 0;
}
