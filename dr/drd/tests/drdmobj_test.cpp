// Building a policy's components through the registry with stand-in
// components: build order and wiring, the rows each object id picks,
// refusals, teardown.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dr/drd/drd.h"
#include "dr/dru/dru.h"
#include "dr/drd/tests/stubobj.h"

namespace {

using stubobj::events;
using stubobj::make;
using stubobj::note;
using stubobj::of;

bool failbnd = false;

int filbnd(drobj *o, int32_t, drobj *ds, int32_t pref, uint8_t standalone) {
  of<drfilops>(o).below = ds;
  of<drfilops>(o).bndpref = pref;
  note("bnd filter standalone=" + std::to_string(standalone));
  return failbnd ? 1 : 0;
}
int lexbnd(drobj *o, int32_t, drobj *fil, int32_t pref) {
  of<drlexops>(o).below = fil;
  of<drlexops>(o).bndpref = pref;
  note("bnd lexer pref=" + std::to_string(pref));
  return 0;
}
int engbnd(drobj *o, int32_t, int32_t pref, drobj *sl) {
  of<drengops>(o).below = sl;
  of<drengops>(o).bndpref = pref;
  return 0;
}

drobj *dsnew(drsrvstate *, drheap, int32_t, int32_t) {
  return &make<drdsops>(DRCLS_DATASTORE, "datastore")->hd.obj;
}
drobj *filnew(drsrvstate *, drheap) {
  auto *st = make<drfilops>(DRCLS_FILTER, "filter");
  st->hd.ops.bnd = filbnd;
  return &st->hd.obj;
}
drobj *lexnew(drsrvstate *, drheap) {
  auto *st = make<drlexops>(DRCLS_LEXER, "lexer");
  st->hd.ops.bnd = lexbnd;
  return &st->hd.obj;
}
drobj *slnew(drsrvstate *, drheap, int32_t, drobj *lexer) {
  auto *st = make<drstops>(DRCLS_STOPLIST, "stoplist");
  st->inf.below = lexer;
  return &st->hd.obj;
}
drobj *engnew(const char *kind) {
  auto *st = make<drengops>(DRCLS_ENGINE, kind);
  st->hd.ops.bnd = engbnd;
  return &st->hd.obj;
}
drobj *testengnew(drsrvstate *, drheap) { return engnew("test engine"); }
drobj *baseengnew(drsrvstate *, drheap) { return engnew("base engine"); }
drobj *wlnew(drsrvstate *, drheap, int32_t, drdmpol *) {
  return &make<drwlops>(DRCLS_WORDLIST, "wordlist")->hd.obj;
}

// Puts a stand-in into every row of a block that names the constructor.
template <class Ctor, size_t N>
void install(drasmrow<Ctor> (&blk)[N], const char *name, Ctor fn) {
  for (auto &row : blk)
    if (row.name && std::strcmp(row.name, name) == 0) row.fn = fn;
}

// What a built component of a class was made as and wired to.
stubobj::info &comp(drobj *o) {
  switch (o->clsid) {
    case DRCLS_DATASTORE: return of<drdsops>(o);
    case DRCLS_FILTER: return of<drfilops>(o);
    case DRCLS_LEXER: return of<drlexops>(o);
    case DRCLS_STOPLIST: return of<drstops>(o);
    case DRCLS_ENGINE: return of<drengops>(o);
    default: return of<drwlops>(o);
  }
}

class Registry : public ::testing::Test {
 protected:
  drsrvstate *s = nullptr;
  drdmcache *cache = nullptr;
  drdmpol pol{};
  std::vector<drdmpref *> prefs;
  drasmreg saved{};

  void SetUp() override {
    ASSERT_EQ(dracnnew(&s), 0);
    saved = drasmtab;
    cache = new drdmcache{};
    s->dmcache = cache;
    pol.id = 42;
    install(drasmtab.ds, "drsdirnew", drdsctor{dsnew});
    install(drasmtab.fil, "drganew", drfilctor{filnew});
    install(drasmtab.lex, "drlanew", drlexctor{lexnew});
    install(drasmtab.sl, "drwsanew", drstctor{slnew});
    install(drasmtab.eng, "dreanew", drengctor{testengnew});
    install(drasmtab.eng, "drebnew", drengctor{baseengnew});
    install(drasmtab.wl, "drwanew", drwlctor{wlnew});
    for (int32_t k = 1; k <= 7; ++k) pref(100 + k, k, 1);
    events.clear();
    failbnd = false;
  }
  void TearDown() override {
    drasmrel(s, &pol);
    drasmtab = saved;
    for (drdmpref *p : prefs) delete p;
    delete cache;
    s->dmcache = nullptr;
    dracnfre(&s);
  }
  // A loaded preference of a class with an object id, named by the policy.
  void pref(int32_t id, int32_t cls, int32_t objid) {
    auto *p = new drdmpref{};
    p->id = id;
    p->clsid = cls;
    p->objid = objid;
    prefs.push_back(p);
    cache->prefs[cache->prefcnt++] = p;
    pol.comp[cls - 1].prefid = id;
  }
  stubobj::info &comp(int32_t cls) { return ::comp(pol.comp[cls - 1].obj); }
  int build(int32_t cls) { return drasmobj(s, s->seshp, &pol, cls); }
};

TEST_F(Registry, BlocksFollowTheLayout) {
  // Block sizes and order as the registry lays them out; a few named rows.
  const void *const blocks[] = {saved.ds, saved.fil, saved.lex, saved.q15, saved.wl,
                                saved.sl, saved.eng, saved.rdr, saved.ldr, saved.trn};
  const size_t sizes[] = {8, 6, 8, 4, 4, 4, 4, 4, 4, 4};
  for (size_t i = 1; i < std::size(blocks); ++i) {
    const char *prev = static_cast<const char *>(blocks[i - 1]);
    EXPECT_EQ(static_cast<const char *>(blocks[i]) - prev,
              static_cast<ptrdiff_t>(sizes[i - 1] * sizeof(drasmrow<drdsctor>)))
        << "block " << i;
  }
  EXPECT_STREQ(saved.lex[5].name, "drlcnew");
  EXPECT_EQ(saved.lex[4].name, nullptr);
  EXPECT_STREQ(saved.trn[2].name, "drbxunew");
  EXPECT_STREQ(saved.eng[1].name, "drebnew");
}

TEST_F(Registry, ChainIsBuiltOnceAndWiredDownwards) {
  for (int32_t c : {1, 3, 4, 6, 7, 5}) ASSERT_EQ(build(c), 0) << "class " << c;
  EXPECT_EQ(comp(3).below, pol.comp[0].obj);
  EXPECT_EQ(comp(4).below, pol.comp[2].obj);
  EXPECT_EQ(comp(6).below, pol.comp[3].obj);
  EXPECT_EQ(comp(7).below, pol.comp[5].obj);
  EXPECT_EQ(comp(4).bndpref, 104);
  // Asking again builds nothing.
  size_t n = events.size();
  for (int32_t c : {1, 3, 4, 6, 7, 5}) EXPECT_EQ(build(c), 0);
  EXPECT_EQ(events.size(), n);
  // The word list is recorded on its preference.
  drobj *wl = nullptr;
  EXPECT_EQ(druhobj(s, 105, &wl), 0);
  EXPECT_EQ(wl, pol.comp[4].obj);
  EXPECT_EQ(events[2], "bnd filter standalone=1");

  // Teardown in the fixed order, clearing the slots and the recorded list.
  events.clear();
  EXPECT_EQ(drasmrel(s, &pol), 0);
  std::vector<std::string> want = {"free datastore", "free filter", "free lexer",
                                   "free stoplist", "free base engine", "free wordlist"};
  EXPECT_EQ(events, want);
  for (auto &c : pol.comp) EXPECT_EQ(c.obj, nullptr);
  EXPECT_EQ(druhobj(s, 105, &wl), 0);
  EXPECT_EQ(wl, nullptr);
}

TEST_F(Registry, FilterBuiltAfterLexerRebindsIt) {
  ASSERT_EQ(build(4), 0);
  EXPECT_EQ(comp(4).below, nullptr);
  ASSERT_EQ(build(3), 0);
  EXPECT_EQ(comp(4).below, pol.comp[2].obj);
  EXPECT_EQ(comp(4).bndpref, 0);
}

TEST_F(Registry, MissingPrerequisitesAreRefusedWithAMessage) {
  // Stop list before the lexer, engine before the stop list, a class without
  // components, a preference not loaded: 1, nothing built, and a message
  // that says why.
  struct {
    int32_t cls;
    int msg;
    const char *says;
  } const cases[] = {
      {6, 10520, "policy 42: component class 6 cannot be built before class 4"},
      {7, 10520, "policy 42: component class 7 cannot be built before class 6"},
      {2, 10521, "component class 2 is not one"},
      {11, 10521, "component class 11 is not one"},
      {1, 10514, "[999]"},
  };
  pol.comp[0].prefid = 999;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.cls);
    EXPECT_EQ(build(c.cls), 1);
    int num = 0, sev = 0;
    ASSERT_EQ(drueget(s, 1, &num, &sev), 0);
    EXPECT_EQ(num, c.msg);
    char txt[256];
    ASSERT_EQ(druetxt(s, 1, txt, sizeof txt), 0);
    EXPECT_NE(std::strstr(txt, c.says), nullptr) << txt;
    EXPECT_EQ(rtmsgcnt(s->msg), 1);
    drueclr(s);
  }
  EXPECT_TRUE(events.empty());
  for (auto &c : pol.comp) EXPECT_EQ(c.obj, nullptr);
}

TEST_F(Registry, StopListAndEngineRows) {
  struct {
    int32_t cls, objid;
    const char *kind;
  } const cases[] = {
      {6, 0, "stoplist"},    {6, 1, "stoplist"},    {6, 2, "stoplist"},
      {6, 3, "stoplist"},    {7, 0, "test engine"}, {7, 1, "base engine"},
      {7, 2, "test engine"},
  };
  for (auto c : cases) {
    SCOPED_TRACE(std::to_string(c.cls) + "/" + std::to_string(c.objid));
    ASSERT_EQ(build(1), 0);
    ASSERT_EQ(build(3), 0);
    ASSERT_EQ(build(4), 0);
    prefs[c.cls - 1]->objid = c.objid;
    if (c.cls == 7) {
      ASSERT_EQ(build(6), 0);
    }
    ASSERT_EQ(build(c.cls), 0);
    EXPECT_EQ(comp(c.cls).kind, c.kind);
    drasmrel(s, &pol);
  }
}

TEST_F(Registry, RowsOutsideTheRegistryAreRefused) {
  struct {
    int32_t cls, objid, msg;
  } const cases[] = {
      {4, 4, 10516},   // empty row inside the block
      {4, 8, 10516},   // beyond the block
      {4, -1, 10516},  // negative
      {7, 4, 10516},   // beyond the engine block
      {4, 2, 10515},   // a kind not in this build
      {1, 4, 10515},
  };
  for (auto c : cases) {
    SCOPED_TRACE(std::to_string(c.cls) + "/" + std::to_string(c.objid));
    drasmrel(s, &pol);
    if (c.cls == 7) {
      for (int32_t k : {1, 3, 4, 6}) ASSERT_EQ(build(k), 0);
    }
    rtmsgclr(s->msg);
    prefs[c.cls - 1]->objid = c.objid;
    EXPECT_EQ(build(c.cls), 1);
    EXPECT_EQ(pol.comp[c.cls - 1].obj, nullptr);
    EXPECT_TRUE(druefind(s, c.msg));
    char txt[256];
    ASSERT_EQ(druetxt(s, 1, txt, sizeof txt), 0);
    EXPECT_NE(std::strstr(txt, std::to_string(c.objid).c_str()), nullptr) << txt;
    prefs[c.cls - 1]->objid = 1;
    drasmrel(s, &pol);
  }
}

TEST_F(Registry, FailedBindLeavesTheSlotEmpty) {
  ASSERT_EQ(build(1), 0);
  failbnd = true;
  EXPECT_EQ(build(3), 1);
  EXPECT_EQ(pol.comp[2].obj, nullptr);
  EXPECT_EQ(events.back(), "free filter");
  failbnd = false;
  EXPECT_EQ(build(3), 0);
  EXPECT_NE(pol.comp[2].obj, nullptr);
}

TEST(PolicyLookup, WithoutACacheIsRefusedWithAMessage) {
  drsrvstate *s = nullptr;
  ASSERT_EQ(dracnnew(&s), 0);
  EXPECT_EQ(drqpol(s, 7), nullptr);
  int num = 0, sev = 0;
  ASSERT_EQ(drueget(s, 1, &num, &sev), 0);
  EXPECT_EQ(num, 50201);
  EXPECT_EQ(rtmsgcnt(s->msg), 1);
  dracnfre(&s);
}

}  // namespace
