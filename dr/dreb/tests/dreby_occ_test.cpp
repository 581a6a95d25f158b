// The index leaves when highlighting: term, equivalence and prefix leaves
// walk the occurrences of their words in one document's in-memory index,
// under the operators of an occurrence-mode tree; stop words are words there.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "dr/dreb/dreby.h"
#include "dr/dry/dry.h"
#include "tests/fixtures/query/hifix.h"
#include "tests/fixtures/query/qcomp.h"
#include "tests/fixtures/server/statefix.h"

namespace {

// (character offset, extent, strength) of each occurrence of a walk.
using Occs = std::vector<std::tuple<uint32_t, uint32_t, int32_t>>;

struct OccLeaves : statefix::State {
  qcomp::Comp comp;
  drebyctx ctx{"t.i1t", "word_text", "word_info", "first_doc", DRUO_UNSIGNED, DREL_KIND0, nullptr};

  void SetUp() override {
    nls = "AMERICAN_AMERICA.WE8ISO8859P1";
    statefix::State::SetUp();
    ASSERT_EQ(dracnchp(st), 0);
    qcomp::init(comp, st);
    comp.stops = {{"THE", 1}, {"TO", 2}};
  }

  // The occurrences an occurrence-mode tree of the query finds in the
  // document; a word written with % becomes a prefix of what precedes it.
  Occs walk(hifix::Doc &d, const char *query, int *rc = nullptr) {
    Occs out;
    comp.c.buf = nullptr;
    if (qcomp::parse(comp, query) != 0) {
      ADD_FAILURE() << "does not parse: " << query;
      return out;
    }
    drpabuf *b = comp.c.buf;
    for (int32_t i = 1; i <= b->nnodes; ++i) {
      drpanode *n = drpanodep(b, i);
      if (n->op == DRYOP_WILD1 && n->text) *std::strchr(drpastrp(b, n->text), '%') = '\0';
    }
    drytree *tree = nullptr;
    int r = drymbuild(st, st->cmdhp, comp.obj(), &tree, drebytnew, drebypnew, drebyenew, drebysnew,
                      &ctx, DRY_OCCS, hifix::kPol, d.idx);
    if (r == 0) {
      r = drymoccur(tree, [](void *data, const dryocc *o) {
        if (o) static_cast<Occs *>(data)->emplace_back(o->off, o->ext, o->score);
        return 0;
      }, &out);
      EXPECT_EQ(drymfree(tree), 0);
    }
    if (rc) *rc = r;
    else EXPECT_EQ(r, 0) << query;
    return out;
  }
};

TEST_F(OccLeaves, QueriesFindTheirWordsInTheDocument) {
  hifix::Doc d(st, {"a red boat sails to the north harbour", "boat to boat on the river",
                    "the red boats sail north"});
  struct Case {
    int doc;
    const char *query;
    Occs want;
  } cases[] = {
      {0, "RED", {{2, 3, 100}}},
      {0, "ZEBRA", {}},
      {0, "RED & BOAT", {{2, 3, 100}, {6, 4, 100}}},
      {0, "RED BOAT", {{2, 8, 100}}},
      {0, "HARBOUR = RED = ZEBRA", {{2, 3, 100}, {30, 7, 100}}},
      {0, "HARB%", {{30, 7, 100}}},
      {0, "SAILS TO THE NORTH", {{11, 18, 100}}},
      {1, "BOAT - RIVER", {{0, 4, 100}, {8, 4, 100}}},
      {2, "THE RED", {{0, 7, 100}}},
      {2, "THE", {{0, 3, 100}}},
  };
  for (const Case &c : cases) {
    ASSERT_EQ(d.build(c.doc), 0);
    EXPECT_EQ(walk(d, c.query), c.want) << c.query;
  }
}

TEST_F(OccLeaves, ATreeWithoutItsDocumentIndexIsRefused) {
  hifix::Doc d(st, {"red"});
  int rc = 0;
  EXPECT_TRUE(walk(d, "RED", &rc).empty());
  EXPECT_EQ(rc, 1);
  EXPECT_TRUE(druefind(st, 50600));
}

}  // namespace
