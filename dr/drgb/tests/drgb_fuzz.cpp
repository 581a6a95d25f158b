// Fuzz target over the document-format filter and its program list: the
// first byte chooses. Either the rest is a program-list value, which must
// parse to a row and a name fit to run or be refused; or it is a document,
// which the filter (recognising each format) converts while indexing or
// while highlighting, ending with a text or with a message that says why,
// and leaving no temporary file behind.
#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dr/drgb/drgb.h"
#include "dr/drgb/drgbt.h"
#include "platform/rt/rt.h"
#include "tests/fixtures/pipe/pipefix.h"
#include "tests/fixtures/server/fuzzstate.h"

namespace {

drsrvstate *g_srv = nullptr;
pipefix::Prefs *g_prefs = nullptr;
pipefix::MemStore *g_ds = nullptr;
drobj *g_fil = nullptr;
std::string g_tmp;

bool emptydir(const std::string &d, int depth = 0) {
  DIR *h = opendir(d.c_str());
  if (!h) return false;
  bool empty = true;
  // The filter keeps one private folder of its own, empty between documents.
  while (struct dirent *e = readdir(h))
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0 &&
        (depth > 0 || !emptydir(d + "/" + e->d_name, 1)))
      empty = false;
  closedir(h);
  return empty;
}

void plist(const std::string &value) {
  int16_t row = -1;
  char name[DRGB_NAMEMAX + 1];
  int rc = drgbplist(value.c_str(), &row, name);
  if (rc == 0) {
    if (row < 0 || drgbtname(name) != 0 || std::strlen(name) > DRGB_NAMEMAX) std::abort();
    if (value.find(',') == std::string::npos) std::abort();
  } else if (rc != 1 && rc != 2) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  g_srv = fuzzstate::make("AMERICAN_AMERICA.WE8ISO8859P1");
  char t[] = "/tmp/drgbfuzz-XXXXXX";
  if (!mkdtemp(t)) std::abort();
  g_tmp = t;
  setenv("TMPDIR", t, 1);
  g_prefs = new pipefix::Prefs(g_srv);
  g_ds = new pipefix::MemStore({""});
  g_fil = drgbnew(g_srv, g_srv->seshp);
  if (!g_fil) std::abort();
  int32_t pref = g_prefs->add(DRCLS_FILTER, 2, {pipefix::num(1, 997)});
  if (drops<drfilops>(g_fil)->bnd(g_fil, 1, g_ds->obj(), pref, 0) != 0) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  std::string rest(reinterpret_cast<const char *>(data) + 1, size - 1);
  if (data[0] < 64) {
    plist(rest);
    return 0;
  }
  g_ds->docs = {rest};
  g_ds->cur = -1;
  drops<drfilops>(g_fil)->setmode(g_fil, data[0] & 1 ? 2 : 1);
  int32_t op = 0;
  char key[DRDS_KEYSIZE];
  int rc = drops<drfilops>(g_fil)->next(g_fil, &op, key);
  if (rc == 0) {
    char buf[4096];
    int32_t got = 0;
    int r;
    while ((r = drops<drfilops>(g_fil)->read(g_fil, buf, sizeof buf, &got)) == 0) {
    }
    if (r != 2) std::abort();
  } else if (rc != 1 || rtmsgcnt(g_srv->msg) == 0) {
    std::abort();  // a refusal always says why
  }
  rtmsgclr(g_srv->msg);
  if (!emptydir(g_tmp)) std::abort();
  return 0;
}
