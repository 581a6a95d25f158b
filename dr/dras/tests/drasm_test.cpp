// The component registry with stand-in components: build order and wiring,
// the rows each object id picks, refusals, teardown; the string helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dr/drd/drd.h"
#include "dr/dru/dru.h"

namespace {

// A stand-in component: the head, twenty slots, and what it was built as.
struct stub {
  drobj head;
  drobjop ops[20];
  std::string kind;
  drobj *below = nullptr;  // what bnd wired it to
  int32_t bndpref = -1;
};

std::vector<std::string> events;
bool failbnd = false;

void note(const std::string &e) { events.push_back(e); }

int freeobj(drobj *o) {
  auto *st = reinterpret_cast<stub *>(o);
  note("free " + st->kind);
  delete st;
  return 0;
}
int filbnd(drobj *o, int32_t, drobj *ds, int32_t pref, uint8_t standalone) {
  auto *st = reinterpret_cast<stub *>(o);
  st->below = ds;
  st->bndpref = pref;
  note("bnd filter standalone=" + std::to_string(standalone));
  return failbnd ? 1 : 0;
}
int lexbnd(drobj *o, int32_t, drobj *fil, int32_t pref) {
  auto *st = reinterpret_cast<stub *>(o);
  st->below = fil;
  st->bndpref = pref;
  note("bnd lexer pref=" + std::to_string(pref));
  return 0;
}
int engbnd(drobj *o, int32_t, int32_t pref, drobj *sl) {
  auto *st = reinterpret_cast<stub *>(o);
  st->below = sl;
  st->bndpref = pref;
  return 0;
}

stub *make(int32_t cls, int32_t objid, const std::string &kind) {
  auto *st = new stub{};
  st->head.clsid = cls;
  st->head.objid = objid;
  st->kind = kind;
  note("new " + kind);
  return st;
}

drobj *dsnew(drsrvstate *, drheap, int32_t, int32_t) {
  stub *st = make(1, 1, "datastore");
  st->ops[DRSLOT_DSFREE] = reinterpret_cast<drobjop>(&freeobj);
  return &st->head;
}
drobj *filnew(drsrvstate *, drheap) {
  stub *st = make(3, 1, "filter");
  st->ops[DRSLOT_BND] = reinterpret_cast<drobjop>(&filbnd);
  st->ops[DRSLOT_FILFREE] = reinterpret_cast<drobjop>(&freeobj);
  return &st->head;
}
drobj *lexnew(drsrvstate *, drheap) {
  stub *st = make(4, 1, "lexer");
  st->ops[DRSLOT_BND] = reinterpret_cast<drobjop>(&lexbnd);
  st->ops[DRSLOT_LEXFREE] = reinterpret_cast<drobjop>(&freeobj);
  return &st->head;
}
drobj *slnew(drsrvstate *, drheap, int32_t, drobj *lexer) {
  stub *st = make(6, 1, "stoplist");
  st->below = lexer;
  st->ops[DRSLOT_SLFREE] = reinterpret_cast<drobjop>(&freeobj);
  return &st->head;
}
drobj *engnew(drsrvstate *, drheap, const char *kind) {
  stub *st = make(7, 1, kind);
  st->ops[DRSLOT_BND] = reinterpret_cast<drobjop>(&engbnd);
  st->ops[DRSLOT_ENGFREE] = reinterpret_cast<drobjop>(&freeobj);
  return &st->head;
}
drobj *testengnew(drsrvstate *s, drheap h) { return engnew(s, h, "test engine"); }
drobj *baseengnew(drsrvstate *s, drheap h) { return engnew(s, h, "base engine"); }
drobj *wlnew(drsrvstate *, drheap, int32_t, drdmpol *) {
  stub *st = make(5, 1, "wordlist");
  st->ops[DRSLOT_WLFREE] = reinterpret_cast<drobjop>(&freeobj);
  return &st->head;
}

// Puts a stand-in into every row of a class that names the constructor.
void install(int32_t cls, const char *name, drobjop fn) {
  int n = 0;
  drasmrow *b = drasmblk(cls, &n);
  for (int i = 0; i < n; ++i)
    if (b[i].name && std::strcmp(b[i].name, name) == 0) b[i].fn = fn;
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
    install(1, "drsdirnew", reinterpret_cast<drobjop>(&dsnew));
    install(3, "drganew", reinterpret_cast<drobjop>(&filnew));
    install(4, "drlanew", reinterpret_cast<drobjop>(&lexnew));
    install(6, "drwsanew", reinterpret_cast<drobjop>(&slnew));
    install(7, "dreanew", reinterpret_cast<drobjop>(&testengnew));
    install(7, "drebnew", reinterpret_cast<drobjop>(&baseengnew));
    install(5, "drwanew", reinterpret_cast<drobjop>(&wlnew));
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
  stub *comp(int32_t cls) { return reinterpret_cast<stub *>(pol.comp[cls - 1].obj); }
  int build(int32_t cls) { return drasmobj(s, s->seshp, &pol, cls); }
};

TEST_F(Registry, BlocksFollowTheLayout) {
  struct {
    int32_t cls;
    int size;
  } const want[] = {{1, 8}, {3, 6}, {4, 8}, {15, 4}, {5, 4}, {6, 4}, {7, 4}, {10, 4}, {8, 4}, {9, 4}};
  drasmrow *prev = nullptr;
  for (auto w : want) {
    int n = 0;
    drasmrow *b = drasmblk(w.cls, &n);
    EXPECT_EQ(n, w.size) << "class " << w.cls;
    if (prev) {
      EXPECT_GT(b, prev) << "class " << w.cls;
    }
    prev = b;
  }
  EXPECT_EQ(drasmblk(2, nullptr), nullptr);
  EXPECT_EQ(drasmblk(11, nullptr), nullptr);
  EXPECT_STREQ(saved.lex[5].name, "drlcnew");
  EXPECT_EQ(saved.lex[4].name, nullptr);
  EXPECT_STREQ(saved.trn[2].name, "drbxunew");
}

TEST_F(Registry, ChainIsBuiltOnceAndWiredDownwards) {
  for (int32_t c : {1, 3, 4, 6, 7, 5}) ASSERT_EQ(build(c), 0) << "class " << c;
  EXPECT_EQ(comp(3)->below, pol.comp[0].obj);
  EXPECT_EQ(comp(4)->below, pol.comp[2].obj);
  EXPECT_EQ(comp(6)->below, pol.comp[3].obj);
  EXPECT_EQ(comp(7)->below, pol.comp[5].obj);
  EXPECT_EQ(comp(4)->bndpref, 104);
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
  EXPECT_EQ(comp(4)->below, nullptr);
  ASSERT_EQ(build(3), 0);
  EXPECT_EQ(comp(4)->below, pol.comp[2].obj);
  EXPECT_EQ(comp(4)->bndpref, 0);
}

TEST_F(Registry, MissingPrerequisitesFailSilently) {
  // Stop list before the lexer, engine before the stop list, a class without
  // components, a preference not loaded: 1, nothing built, nothing pushed.
  EXPECT_EQ(build(6), 1);
  EXPECT_EQ(build(7), 1);
  EXPECT_EQ(build(2), 1);
  EXPECT_EQ(build(11), 1);
  pol.comp[0].prefid = 999;
  EXPECT_EQ(build(1), 1);
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(rtmsgcnt(s->msg), 0);
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
    EXPECT_EQ(comp(c.cls)->kind, c.kind);
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

TEST(Squeeze, Cases) {
  struct {
    const char *in, *out;
  } const cases[] = {
      {"  a \t\n b  ", "a b"},
      {" \t \t", nullptr},
      {"", nullptr},
      {"abc", "abc"},
      {"a\n\nb\tc", "a b c"},
  };
  for (auto c : cases) {
    char buf[64];
    char *r = drasmsqz(nullptr, c.in, buf);
    if (!c.out) {
      EXPECT_EQ(r, nullptr) << c.in;
    } else {
      ASSERT_EQ(r, buf);
      EXPECT_STREQ(buf, c.out);
    }
  }
}

TEST(Format, WritesWithinTheBuffer) {
  drsrvstate *s = nullptr;
  ASSERT_EQ(dracnnew(&s), 0);
  char buf[16];
  EXPECT_EQ(drasmfmt(s->fmt, buf, sizeof buf, "%s.DR_%05d_%s", 25, "AB", 1, 42, 25, "I1T", 0), 15);
  EXPECT_STREQ(buf, "AB.DR_00042_I1T");
  EXPECT_LT(drasmfmt(s->fmt, buf, 8, "%s.DR_%05d_%s", 25, "AB", 1, 42, 25, "I1T", 0), 0);
  dracnfre(&s);
}

}  // namespace
