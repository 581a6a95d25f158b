// Fuzz target over query evaluation: any query text, parsed and walked in
// document mode over a small fixed index of scripted leaves. The walk ends
// with 0 or 1; a failure says why; documents come in increasing order with
// scores within 0..100, and the walk ends with the (0, 0) call.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "dr/dru/dru.h"
#include "dr/dry/dry.h"
#include "tests/fixtures/query/dryscript.h"
#include "tests/fixtures/query/qcomp.h"
#include "tests/fixtures/server/fuzzstate.h"

namespace {

drsrvstate *g_srv = nullptr;

// The fixed index: a few words over ten documents, with positions, and
// stop words recorded beside some of them.
dryscript::Leaves *index() {
  static dryscript::Leaves l;
  if (!l.scripts.empty()) return &l;
  using dryscript::Doc;
  l.stops = {{"THE", 1}, {"A", 2}, {"OF", 3}};
  l.scripts["RED"].docs = {{1, 10, {{1, {}, {}}, {5, {}, {}}}}, {3, 100, {{2, {1}, {}}}},
                           {8, 10, {{4, {}, {}}}}};
  l.scripts["BOAT"].docs = {{1, 10, {{2, {}, {}}}}, {4, 20, {{1, {}, {}}, {3, {2}, {}}}},
                            {6, 10, {{7, {}, {1}}}}};
  l.scripts["RIVER"].docs = {{4, 10, {{2, {}, {}}}}, {7, 40, {{1, {}, {}}}}};
  l.scripts["NORTH"].docs = {{1, 10, {{9, {}, {}}}}, {5, 20, {{3, {}, {}}}}, {8, 10, {{5, {}, {}}}}};
  l.scripts["SAILS"].docs = {{1, 10, {{8, {}, {}}}}};
  l.scripts["HARBOUR"].docs = {{2, 10, {{6, {3}, {}}}}, {6, 10, {{2, {}, {}}}}};
  l.scripts["MANY"].gencount = 5000;
  l.scripts["MANY"].genstep = 3;
  for (auto &s : l.scripts) s.second.record = false;
  return &l;
}

drynode *nosqe(void *, drytree *t, drpanode *, int32_t, drynode **) {
  dracnerr(t->srv, DRFAC_DRG, 50701, 2, DRA_STR, "stored query expressions", DRA_END);
  return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  g_srv = fuzzstate::make(nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 4096) return 0;
  drsrvstate *srv = g_srv;
  drueclr(srv);
  if (dracnchp(srv) != 0) std::abort();
  std::string query(reinterpret_cast<const char *>(data), size);
  if (query.find('\0') != std::string::npos) return 0;
  qcomp::Comp comp;
  qcomp::init(comp, srv);
  dryscript::Leaves *leaves = index();
  comp.stops = leaves->stops;
  if (qcomp::parse(comp, query.c_str()) != 0) return 0;
  drytree *tree = nullptr;
  int rc = drymbuild(srv, srv->cmdhp, comp.obj(), &tree, dryscript::term, dryscript::prefix,
                     dryscript::equiv, nosqe, leaves, DRY_DOCS, 0, nullptr);
  if (rc != 0 && rc != 1) std::abort();
  if (rc == 0 && tree) {
    struct Walk {
      uint32_t last = 0;
      bool ended = false;
    } w;
    rc = drymeval(tree, 0, [](void *d, uint32_t doc, uint32_t score) {
      auto *w = static_cast<Walk *>(d);
      if (w->ended) std::abort();  // nothing after the end
      if (doc == 0) {
        if (score != 0) std::abort();
        w->ended = true;
        return 0;
      }
      if (doc <= w->last || score > 100) std::abort();
      w->last = doc;
      return 0;
    }, &w);
    if (rc != 0 && rc != 1) std::abort();
    if (rc == 0 && !w.ended) std::abort();
  }
  if (rc == 1 && rtmsgcnt(srv->msg) == 0) std::abort();  // a failure always says why
  if (tree && drymfree(tree) != 0) std::abort();
  return 0;
}
