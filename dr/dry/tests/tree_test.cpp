// The evaluation tree over scripted leaves: scores of every operator, the
// streaming walk, occurrence mode, phrases against the stop words recorded
// beside indexed words, where stop words may stand, and the builder's
// refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "dr/dru/dru.h"
#include "dr/dry/dry.h"
#include "tests/fixtures/query/dryscript.h"
#include "tests/fixtures/query/qcomp.h"
#include "tests/fixtures/server/statefix.h"

namespace {

using dryscript::Doc;
using dryscript::Pos;
using dryscript::Script;
using Hits = std::vector<std::pair<uint32_t, uint32_t>>;

// A document with single-word positions and no stop words.
Doc at(uint32_t id, std::initializer_list<uint32_t> ps, int32_t score = 10) {
  Doc d{id, score, {}};
  for (uint32_t p : ps) d.pos.push_back({p, {}, {}});
  return d;
}

// Positions 1..n of one document.
Doc run(uint32_t id, uint32_t n) {
  Doc d{id, 10, {}};
  for (uint32_t p = 1; p <= n; ++p) d.pos.push_back({p, {}, {}});
  return d;
}

drynode *nosqe(void *, drytree *t, drpanode *, int32_t, drynode **) {
  dracnerr(t->srv, DRFAC_DRG, 50701, 2, DRA_STR, "stored query expressions", DRA_END);
  return nullptr;
}

struct Tree : statefix::State {
  qcomp::Comp comp;
  dryscript::Leaves leaves;
  drytree *tree = nullptr;

  void SetUp() override {
    statefix::State::SetUp();
    ASSERT_EQ(dracnchp(st), 0);
    qcomp::init(comp, st);
    comp.stops = leaves.stops = {{"the", 1}, {"a", 2}, {"of", 3}};
  }
  void TearDown() override {
    drop();
    statefix::State::TearDown();
  }

  // Frees the tree built last; its leaves refer to the scripts.
  void drop() {
    if (tree) EXPECT_EQ(drymfree(tree), 0);
    tree = nullptr;
  }

  int build(const char *q, int32_t mode = DRY_DOCS) {
    drop();
    drueclr(st);
    EXPECT_EQ(qcomp::parse(comp, q), 0) << q;
    return drymbuild(st, st->cmdhp, comp.obj(), &tree, dryscript::term, dryscript::prefix,
                     dryscript::equiv, nosqe, &leaves, mode, 0, nullptr);
  }

  // The walk's calls, the final (0, 0) included.
  Hits walk(uint32_t start = 0, int stopafter = -1) {
    struct Ctx {
      Hits h;
      int stopafter;
    } c{{}, stopafter};
    auto cb = [](void *d, uint32_t doc, uint32_t score) {
      auto *c = static_cast<Ctx *>(d);
      c->h.push_back({doc, score});
      return c->stopafter >= 0 && static_cast<int>(c->h.size()) > c->stopafter ? 2 : 0;
    };
    EXPECT_EQ(drymeval(tree, start, cb, &c), 0);
    return c.h;
  }

  // The documents and scores a query yields, without the final (0, 0).
  Hits hits(const char *q) {
    EXPECT_EQ(build(q), 0) << q;
    if (!tree) return {};
    Hits h = walk();
    EXPECT_FALSE(h.empty());
    if (!h.empty()) {
      EXPECT_EQ(h.back(), (std::pair<uint32_t, uint32_t>{0, 0})) << q;
      h.pop_back();
    }
    return h;
  }

  std::vector<dryocc> occurrences(const char *q) {
    EXPECT_EQ(build(q, DRY_OCCS), 0) << q;
    std::vector<dryocc> out;
    auto cb = [](void *d, const dryocc *o) {
      if (o) static_cast<std::vector<dryocc> *>(d)->push_back(*o);
      return 0;
    };
    EXPECT_EQ(drymoccur(tree, cb, &out), 0);
    return out;
  }

  std::string top() {
    char buf[512] = "";
    druetxt(st, 1, buf, sizeof buf);
    return buf;
  }
};

struct Case {
  const char *query;
  std::vector<std::pair<const char *, std::vector<Doc>>> leaves;
  Hits want;
};

void play(Tree &t, const std::vector<Case> &cases) {
  for (const Case &c : cases) {
    t.drop();
    t.leaves.scripts.clear();
    for (auto &l : c.leaves) t.leaves.scripts[l.first].docs = l.second;
    EXPECT_EQ(t.hits(c.query), c.want) << c.query;
  }
}

TEST_F(Tree, ScoresOfEachOperator) {
  play(*this, {
      {"a1 & b1", {{"a1", {{1, 30}}}, {"b1", {{1, 70}}}}, {{1, 30}}},
      {"a1 | b1", {{"a1", {{1, 30}}}, {"b1", {{1, 70}}}}, {{1, 70}}},
      {"a1 , b1", {{"a1", {{1, 30}}}, {"b1", {{1, 70}}}}, {{1, 100}}},
      {"a1 , b1", {{"a1", {{1, 30}}}, {"b1", {{1, 40}}}}, {{1, 70}}},
      {"a1 - b1", {{"a1", {{1, 50}}}, {"b1", {{1, 50}}}}, {}},
      {"a1 - b1", {{"a1", {{1, 50}}}, {"b1", {{1, 20}}}}, {{1, 30}}},
      {"a1 ~ b1", {{"a1", {{1, 30}, {4, 60}, {9, 5}}}}, {{1, 30}, {4, 60}, {9, 5}}},
      {"a1 > 50", {{"a1", {{1, 50}, {2, 51}}}}, {{2, 51}}},
      {"a1 * 0.5", {{"a1", {{1, 1}}}}, {{1, 1}}},
      {"a1 * 10", {{"a1", {{1, 20}}}}, {{1, 100}}},
      {"a1 * 1.5", {{"a1", {{1, 33}}}}, {{1, 49}}},
      // several documents: leapfrogging, merging, partial subtraction
      {"a1 & b1", {{"a1", {{1, 10}, {3, 20}, {5, 30}, {7, 40}}}, {"b1", {{2, 5}, {3, 50}, {7, 30}, {8, 1}}}},
       {{3, 20}, {7, 30}}},
      {"a1 | b1", {{"a1", {{1, 10}, {3, 20}}}, {"b1", {{2, 5}, {3, 50}}}}, {{1, 10}, {2, 5}, {3, 50}}},
      {"a1 - b1 - c1", {{"a1", {{2, 60}, {4, 60}}}, {"b1", {{2, 30}, {4, 10}}}, {"c1", {{2, 30}}}}, {{4, 50}}},
      {"a1 ~ b1", {{"a1", {{2, 60}, {4, 60}}}, {"b1", {{2, 1}}}}, {{4, 60}}},
      {"(a1 & b1) | c1", {{"a1", {{1, 40}}}, {"b1", {{1, 20}, {2, 10}}}, {"c1", {{2, 70}}}}, {{1, 20}, {2, 70}}},
      // phrases: matches counted per document
      {"a1 b1", {{"a1", {at(1, {1, 5, 9})}}, {"b1", {at(1, {2, 6, 10})}}}, {{1, 30}}},
      {"a1 b1", {{"a1", {at(1, {1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21})}},
                 {"b1", {at(1, {2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22})}}}, {{1, 100}}},
      {"w1 w1", {{"w1", {run(1, 11)}}}, {{1, 100}}},
      {"a1 b1", {{"a1", {at(1, {1}), at(2, {3})}}, {"b1", {at(1, {3}), at(2, {4})}}}, {{2, 10}}},
      // NEAR: the window between the closest cluster of positions
      {"x1 ; y1", {{"x1", {at(1, {5})}}, {"y1", {at(1, {9})}}}, {{1, 97}}},
      {"x1 ; y1", {{"x1", {at(1, {5})}}, {"y1", {at(1, {6})}}}, {{1, 100}}},
      {"x1 ; y1", {{"x1", {at(1, {1})}}, {"y1", {at(1, {101})}}}, {{1, 1}}},
      {"x1 ; y1", {{"x1", {at(1, {1})}}, {"y1", {at(1, {102})}}}, {{1, 1}}},
      {"x1 ; y1", {{"x1", {at(1, {1})}}, {"y1", {at(1, {103})}}}, {{1, 1}}},
      {"x1 ; y1", {{"x1", {at(1, {1, 4})}}, {"y1", {at(1, {5})}}}, {{1, 100}}},
      {"a1 b1 ; c1", {{"a1", {at(1, {2})}}, {"b1", {at(1, {3})}}, {"c1", {at(1, {9})}}}, {{1, 95}}},
      {"x1 ; y1", {{"x1", {at(1, {5}), at(3, {1})}}, {"y1", {at(2, {1}), at(3, {3})}}}, {{3, 99}}},
  });
}

TEST_F(Tree, PositionsOfLeavesThatStayOnTheirDocument) {
  // Leaves of several terms stay on a document until its positions are read.
  for (bool sticky : {false, true}) {
    drop();
    leaves.scripts.clear();
    leaves.scripts["a1"].docs = {at(1, {1, 5}), at(2, {7})};
    leaves.scripts["b1"].docs = {at(1, {6}), at(2, {8})};
    leaves.scripts["a1"].sticky = leaves.scripts["b1"].sticky = sticky;
    EXPECT_EQ(hits("a1 b1"), (Hits{{1, 10}, {2, 10}})) << sticky;
    EXPECT_EQ(hits("a1 ; b1"), (Hits{{1, 100}, {2, 100}})) << sticky;
  }
}

TEST_F(Tree, WalkFromAStartDocument) {
  leaves.scripts["a1"].docs = {{1, 10}, {3, 10}, {5, 20}, {7, 30}};
  ASSERT_EQ(build("a1 | b1"), 0);
  EXPECT_EQ(walk(4), (Hits{{5, 20}, {7, 30}, {0, 0}}));
}

TEST_F(Tree, AndAsksALongListOnlyAtTheHighestDocument) {
  Script &big = leaves.scripts["big1"];
  big.gencount = 1000000;
  leaves.scripts["one1"].docs = {{500000, 40}};
  EXPECT_EQ(hits("big1 & one1"), (Hits{{500000, 10}}));
  EXPECT_LE(big.calls.size(), 3u);
  // Every target is the walk's start or the highest document seen so far.
  for (const dryscript::Call &c : big.calls) EXPECT_TRUE(c.target == 0 || c.target >= 500000) << c.target;
}

TEST_F(Tree, WalkMemoryDoesNotGrowWithTheLists) {
  for (const char *q : {"big1 | big2", "big1 & big2", "big1 , big2 ~ big3"}) {
    drop();
    leaves.scripts.clear();
    for (const char *name : {"big1", "big2", "big3"}) {
      Script &s = leaves.scripts[name];
      s.gencount = 1000000;
      s.record = false;
    }
    leaves.scripts["big2"].genstep = 2;
    leaves.scripts["big3"].genfirst = 3;
    leaves.scripts["big3"].genstep = 1000;
    ASSERT_EQ(build(q), 0) << q;
    struct Ctx {
      rtheap *heap;
      size_t before, most;
      uint32_t docs;
    } c{st->cmdhp, rthpbytes(st->cmdhp), 0, 0};
    auto cb = [](void *d, uint32_t doc, uint32_t) {
      auto *c = static_cast<Ctx *>(d);
      size_t b = rthpbytes(c->heap);
      if (b > c->most) c->most = b;
      c->docs += doc != 0;
      return 0;
    };
    ASSERT_EQ(drymeval(tree, 0, cb, &c), 0);
    EXPECT_GE(c.docs, 500000u) << q;
    EXPECT_LE(c.most, c.before) << q;
  }
}

TEST_F(Tree, CallbackEndsTheWalk) {
  leaves.scripts["a1"].docs = {{1, 10}, {2, 20}, {3, 30}};
  ASSERT_EQ(build("a1"), 0);
  EXPECT_EQ(walk(0, 0), (Hits{{1, 10}}));  // 2 at once: no final (0, 0)
  ASSERT_EQ(build("nothing1"), 0);
  EXPECT_EQ(walk(), (Hits{{0, 0}}));
  // Any other answer fails the walk.
  ASSERT_EQ(build("a1"), 0);
  auto bad = [](void *, uint32_t, uint32_t) { return 5; };
  EXPECT_EQ(drymeval(tree, 0, bad, nullptr), 1);
}

TEST_F(Tree, OrFreesChildrenThatRunOut) {
  leaves.scripts["a1"].docs = {{1, 10}};
  leaves.scripts["b1"].docs = {{2, 10}, {3, 10}};
  ASSERT_EQ(build("a1 | b1"), 0);
  EXPECT_EQ(walk(), (Hits{{1, 10}, {2, 10}, {3, 10}, {0, 0}}));
  EXPECT_TRUE(leaves.scripts["a1"].freed);
  EXPECT_TRUE(leaves.scripts["b1"].freed);
  EXPECT_EQ(tree->root->nchild, 0);
}

TEST_F(Tree, OccurrencesInTextOrder) {
  auto occ = [](uint32_t off, uint32_t wpos, uint16_t ext) { return dryocc{off, wpos, ext, 100, nullptr}; };
  leaves.scripts["a1"].occs = {occ(0, 0, 3), occ(10, 2, 3)};
  leaves.scripts["b1"].occs = {occ(4, 1, 5), occ(20, 4, 2)};
  struct Want {
    const char *query;
    std::vector<std::pair<uint32_t, uint16_t>> spans;  // offset, extent
  } cases[] = {
      {"a1 & b1", {{0, 3}, {4, 5}, {10, 3}, {20, 2}}},
      {"a1 | b1", {{0, 3}, {4, 5}, {10, 3}, {20, 2}}},
      {"a1 ; b1", {{0, 3}, {4, 5}, {10, 3}, {20, 2}}},
      {"a1 - b1", {{0, 3}, {10, 3}}},
      {"a1 ~ b1", {{0, 3}, {10, 3}}},
      {"a1 * 2 > 10", {{0, 3}, {10, 3}}},
      {"a1 b1", {{0, 9}}},
      {"the", {}},  // a stop word is a term here; this one never occurs
  };
  for (const Want &w : cases) {
    std::vector<dryocc> got = occurrences(w.query);
    std::vector<std::pair<uint32_t, uint16_t>> spans;
    for (const dryocc &o : got) {
      spans.push_back({o.off, o.ext});
      EXPECT_EQ(o.score, 100) << w.query;
    }
    EXPECT_EQ(spans, w.spans) << w.query;
  }
}

// Phrases with stop words: the stop words are not stored as words, only in
// the arrays before and after the indexed words beside them (the = 1, a = 2,
// of = 3).
TEST_F(Tree, PhrasesMatchStopWordsThroughTheArrays) {
  auto word = [](uint32_t id, uint32_t p, std::vector<uint16_t> before, std::vector<uint16_t> after) {
    return Doc{id, 10, {{p, before, after}}};
  };
  play(*this, {
      // (stop, w1, w2): w1's before array must end with that stop word
      {"the w1 w2",
       {{"w1", {word(1, 2, {1}, {}), word(2, 2, {2}, {}), word(3, 2, {}, {}), word(4, 2, {3, 1}, {})}},
        {"w2", {at(1, {3}), at(2, {3}), at(3, {3}), at(4, {3})}}},
       {{1, 10}, {4, 10}}},
      // an equivalence of two stop words there matches either
      {"(the = a) w1 w2",
       {{"w1", {word(1, 2, {1}, {}), word(2, 2, {2}, {}), word(3, 2, {3}, {})}},
        {"w2", {at(1, {3}), at(2, {3}), at(3, {3})}}},
       {{1, 10}, {2, 10}}},
      // (w1, stop, stop, w2): w1's after array holds both, in order
      {"w1 the of w2",
       {{"w1", {word(1, 1, {}, {1, 3}), word(2, 1, {}, {3, 1}), word(3, 1, {}, {1}), word(4, 1, {}, {1, 3, 2})}},
        {"w2", {at(1, {4}), at(2, {4}), at(3, {3}), at(4, {5})}}},
       {{1, 10}}},
      // an equivalence with one stop word: a word at its place, or the stop
      // word in the neighbour's array
      {"w1 (the = x1) w2",
       {{"w1", {word(1, 1, {}, {}), word(2, 1, {}, {1}), word(3, 1, {}, {2})}},
        {"the=x1", {at(1, {2})}},
        {"w2", {at(1, {3}), at(2, {3}), at(3, {3})}}},
       {{1, 10}, {2, 10}}},
      // a word between the two words is no stop word
      {"w1 the w2", {{"w1", {word(1, 1, {}, {})}}, {"w2", {at(1, {3})}}}, {}},
  });
}

TEST_F(Tree, StopWordsWhereTheyCannotStand) {
  struct Refusal {
    const char *query;
    int32_t mode;
    const char *named;  // null: accepted
  } cases[] = {
      {"the", DRY_DOCS, "\"the\""},
      {"w1 & the", DRY_DOCS, "\"the\""},
      {"the | w1", DRY_DOCS, "\"the\""},
      {"the a", DRY_DOCS, "\"the ...\""},
      {"the = a", DRY_DOCS, "\"\""},
      {"(the = a) ; w1", DRY_DOCS, "\"\""},
      {"the w1", DRY_DOCS, nullptr},
      {"w1 & (the w1)", DRY_DOCS, nullptr},
      {"the", DRY_OCCS, nullptr},
      {"the a & w1", DRY_OCCS, nullptr},
  };
  for (const Refusal &c : cases) {
    int rc = build(c.query, c.mode);
    if (!c.named) {
      EXPECT_EQ(rc, 0) << c.query;
      continue;
    }
    EXPECT_EQ(rc, 1) << c.query;
    EXPECT_EQ(tree, nullptr) << c.query;
    ASSERT_EQ(rtmsgcnt(st->msg), 1) << c.query;
    EXPECT_EQ(rtmsgnum(st->msg, 1), DRYM_STOPWORD) << c.query;
    EXPECT_EQ(rtmsgsev(st->msg, 1), 2) << c.query;
    EXPECT_NE(top().find(c.named), std::string::npos) << c.query << ": " << top();
  }
}

TEST_F(Tree, BuilderRefusals) {
  // Operators the normalisation removes, reaching the builder.
  for (const char *q : {"a1 : 10", "a1 # 1-2", "exec f()"}) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(build(q), 1) << q;
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("drymnew node type"), std::string::npos) << q;
    EXPECT_TRUE(druefind(st, DRYM_NOTSUP)) << q;
    EXPECT_EQ(tree, nullptr);
  }
  // A leaf builder's refusal fails the build with its message.
  EXPECT_EQ(build("w1 & SQE(saved)"), 1);
  EXPECT_TRUE(druefind(st, 50701));
  // A mode other than documents or occurrences.
  ASSERT_EQ(qcomp::parse(comp, "w1"), 0);
  EXPECT_EQ(drymbuild(st, st->cmdhp, comp.obj(), &tree, dryscript::term, dryscript::prefix,
                      dryscript::equiv, nosqe, &leaves, 2, 0, nullptr), 1);
  EXPECT_EQ(tree, nullptr);
}

TEST_F(Tree, FailedAllocationsFreeWhatWasBuilt) {
  // Fail each allocation of the build in turn: the build fails cleanly.
  for (long n = 1; n < 40; ++n) {
    ASSERT_EQ(qcomp::parse(comp, "(a1 & b1 c1) | d1 ; e1 * 2"), 0);
    drueclr(st);
    size_t before = rthpblocks(st->cmdhp);
    rthpfailat(st->hpmgr, n);
    int rc = drymbuild(st, st->cmdhp, comp.obj(), &tree, dryscript::term, dryscript::prefix,
                       dryscript::equiv, nosqe, &leaves, DRY_DOCS, 0, nullptr);
    rthpfailat(st->hpmgr, 0);
    if (rc == 0) {
      EXPECT_EQ(drymfree(tree), 0);
      tree = nullptr;
      break;
    }
    EXPECT_EQ(tree, nullptr) << n;
    EXPECT_EQ(rthpblocks(st->cmdhp), before) << n;
  }
}

TEST_F(Tree, DumpLines) {
  leaves.scripts["a1"].docs = {{3, 10}};
  ASSERT_EQ(build("a1 & a1"), 0);
  ASSERT_EQ(walk(), (Hits{{3, 10}, {0, 0}}));
  struct Line {
    int depth;
    std::string text;
  } lines[] = {
      {0, "\ndryadump AND  docid=-1"},
      {2, "\n      dryadump AND  docid=-1"},
      {20, "\n" + std::string(45, ' ') + "dryadump AND  docid=-1"},
  };
  for (const Line &l : lines) {
    testing::internal::CaptureStdout();
    tree->root->hd.ops.dump(nullptr, tree->root, l.depth);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), l.text);
  }
}

}  // namespace
