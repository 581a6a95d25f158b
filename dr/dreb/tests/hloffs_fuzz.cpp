// Fuzz target over highlight offsets: a query (the input up to its first
// line end) walked in occurrence mode over the in-memory index of a
// document (the rest of the input). The walk ends with 0 or 1; a failure
// says why; every occurrence it gives lies inside the document.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dr/dreb/dreby.h"
#include "dr/dru/dru.h"
#include "dr/dry/dry.h"
#include "tests/fixtures/query/hifix.h"
#include "tests/fixtures/query/qcomp.h"
#include "tests/fixtures/server/fuzzstate.h"

namespace {
drsrvstate *g_srv = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // The default lexer reads a one-byte character set: offsets are bytes.
  g_srv = fuzzstate::make("AMERICAN_AMERICA.WE8ISO8859P1");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 8192) return 0;
  std::string in(reinterpret_cast<const char *>(data), size);
  size_t nl = in.find('\n');
  if (nl == std::string::npos) return 0;
  std::string query = in.substr(0, nl), text = in.substr(nl + 1);
  if (query.find('\0') != std::string::npos) return 0;
  drsrvstate *st = g_srv;
  drueclr(st);
  if (dracnchp(st) != 0) std::abort();
  qcomp::Comp comp;
  qcomp::init(comp, st);
  comp.stops = {{"THE", 1}, {"TO", 2}};
  if (qcomp::parse(comp, query.c_str()) != 0) return 0;
  drpabuf *b = comp.c.buf;
  // A wildcard word is looked up as the prefix before its first %.
  for (int32_t i = 1; i <= b->nnodes; ++i) {
    drpanode *n = drpanodep(b, i);
    if (n->op == DRYOP_WILD1 && n->text) {
      if (char *pc = std::strchr(drpastrp(b, n->text), '%')) *pc = '\0';
    }
  }
  hifix::Doc d(st, {text});
  if (d.build(0) != 0) {
    if (rtmsgcnt(st->msg) == 0) std::abort();
    return 0;
  }
  drebyctx ctx{"t.i1t", "word_text", "word_info", "first_doc", DRUO_UNSIGNED, DREL_KIND0, nullptr};
  drytree *tree = nullptr;
  int rc = drymbuild(st, st->cmdhp, comp.obj(), &tree, drebytnew, drebypnew, drebyenew, drebysnew,
                     &ctx, DRY_OCCS, hifix::kPol, d.idx);
  if (rc == 0) {
    struct Walk {
      size_t len;
      bool ended = false;
    } w{text.size()};
    rc = drymoccur(tree, [](void *p, const dryocc *o) {
      auto *w = static_cast<Walk *>(p);
      if (w->ended) std::abort();  // nothing after the end
      if (!o) {
        w->ended = true;
        return 0;
      }
      if (static_cast<size_t>(o->off) + o->ext > w->len) std::abort();
      return 0;
    }, &w);
    if (rc == 0 && !w.ended) std::abort();
  }
  if (rc != 0 && rc != 1) std::abort();
  if (rc == 1 && rtmsgcnt(st->msg) == 0) std::abort();  // a failure always says why
  if (tree && drymfree(tree) != 0) std::abort();
  return 0;
}
