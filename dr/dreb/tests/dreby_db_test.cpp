// The index leaves over token tables in the private cluster: lists written
// by the posting-list writer into rows, read back through the term, prefix
// and equivalence leaves under the evaluation tree; scores, rows fetched only
// when needed, merges across rows and terms, long and damaged rows, and a
// statement that must run again.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "dr/dreb/dreby.h"
#include "dr/dreu/dreu.h"
#include "dr/dru/dru.h"
#include "dr/dry/dry.h"
#include "tests/fixtures/db/pguser.h"
#include "tests/fixtures/engine/postings.h"
#include "tests/fixtures/query/qcomp.h"
#include "tests/fixtures/server/statefix.h"

namespace {

using postfix::Post;
using postfix::Posts;
using Hits = std::vector<std::pair<uint32_t, uint32_t>>;

// n documents from first, step apart, each with count occurrences.
Posts docs(uint32_t first, uint32_t n, uint32_t step = 1, uint32_t count = 1) {
  Posts p;
  for (uint32_t i = 0; i < n; ++i)
    for (uint32_t k = 0; k < count; ++k) p.push_back({first + i * step, 1 + 2 * k, {}, {}});
  return p;
}

struct Leaves : statefix::State {
  qcomp::Comp comp;
  std::string table;
  drebyctx ctx{};
  drytree *tree = nullptr;

  void SetUp() override {
    if (!getenv("PGHOST")) GTEST_SKIP() << "no database cluster (PGHOST)";
    statefix::State::SetUp();
    ASSERT_EQ(logon(pgtest::userstring()), 0);
    ASSERT_EQ(dracnchp(st), 0);
    static int seq = 0;
    table = "public.q2_i1t_" + std::to_string(getpid()) + "_" + std::to_string(++seq);
    sql("CREATE TABLE " + table +
        " (word_text varchar(64) COLLATE \"C\" NOT NULL, first_doc bigint NOT NULL,"
        " doclsize integer, word_info bytea)");
    ctx = {table.c_str(), "word_text", "word_info", "first_doc", DRUO_UNSIGNED, DREL_KIND0, nullptr};
    qcomp::init(comp, st);
    comp.stops = {{"the", 1}, {"a", 2}, {"of", 3}};
  }
  void TearDown() override {
    if (!st) return;
    drop();
    druofetat(0, 0);
    if (st->login) sql("DROP TABLE IF EXISTS " + table);
    statefix::State::TearDown();
  }

  void sql(const std::string &text) {
    if (drqsexe(st, text.c_str()) != 0 || druocmt(st) != 0) {
      char buf[2000];
      druestk(st, buf, sizeof buf);
      ADD_FAILURE() << text << "\n" << buf;
      drueclr(st);
    }
  }

  // One token-table row of a word holding the postings.
  void row(const std::string &word, const Posts &p, int kind = DREL_KIND0) {
    std::vector<uint8_t> b = postfix::list(st, kind, p);
    sql("INSERT INTO " + table + " VALUES ('" + word + "', " + std::to_string(p.front().doc) + ", " +
        std::to_string(b.size()) + ", " + postfix::bytea(b) + ")");
  }

  void drop() {
    if (tree) EXPECT_EQ(drymfree(tree), 0);
    tree = nullptr;
  }

  int build(const char *q) {
    drop();
    drueclr(st);
    EXPECT_EQ(qcomp::parse(comp, q), 0) << q;
    return drymbuild(st, st->cmdhp, comp.obj(), &tree, drebytnew, drebypnew, drebyenew, drebysnew,
                     &ctx, DRY_DOCS, 0, nullptr);
  }

  // The walk's documents and scores (without the final call); rc the walk's
  // result.
  Hits walk(const char *q, int *rc = nullptr) {
    Hits h;
    EXPECT_EQ(build(q), 0) << q << ": " << stack();
    if (!tree) return h;
    auto cb = [](void *d, uint32_t doc, uint32_t score) {
      if (doc) static_cast<Hits *>(d)->push_back({doc, score});
      return 0;
    };
    int r = drymeval(tree, 0, cb, &h);
    if (rc) *rc = r;
    else EXPECT_EQ(r, 0) << q << ": " << stack();
    return h;
  }

};

// What a merge of several words' postings scores: per document, ten per
// occurrence of any of them, at most 100.
Hits merged(const std::vector<Posts> &lists) {
  std::map<uint32_t, uint32_t> n;
  for (const Posts &l : lists)
    for (const Post &p : l) ++n[p.doc];
  Hits h;
  for (auto &[doc, c] : n) h.push_back({doc, c >= 10 ? 100 : c * 10});
  return h;
}

// A stored query's result row: 5-byte entries, then the zero id.
std::string sqerow(const Hits &entries) {
  std::string hex = "'\\x";
  char b[16];
  for (auto &[doc, score] : entries) {
    std::snprintf(b, sizeof b, "%08x%02x", doc, score);
    hex += b;
  }
  return hex + "00000000'::bytea";
}

TEST_F(Leaves, StoredQueryLeafReadsTheSavedHitsOfItsSession) {
  std::string sqr = table + "_sqr";
  sql("CREATE TABLE " + sqr +
      " (query_name varchar(32) NOT NULL, session_id varchar(32) NOT NULL, first_doc bigint NOT NULL,"
      " query_result bytea)");
  drebysqr q{sqr.c_str(), "query_result", "query_name", "session_id", "first_doc"};
  ctx.sqr = &q;
  std::strcpy(st->qsess, "me");
  struct Row {
    const char *name, *sid;
    uint32_t first;
    std::string value;
  } rows[] = {
      {"A", "me", 2, sqerow({{2, 10}, {5, 0}, {9, 100}})},
      {"A", "me", 20, sqerow({{20, 30}, {21, 40}})},
      {"B", "other", 3, sqerow({{3, 50}})},
      {"S", "SYSTEM", 4, sqerow({{4, 70}})},
      {"N", "me", 1, "NULL"},
      {"N", "me", 7, sqerow({{7, 10}})},
      // No terminator, and a cut entry at the end.
      {"T", "me", 11, "'\\x0000000b140000'::bytea"},
  };
  for (const Row &r : rows)
    sql("INSERT INTO " + sqr + " VALUES ('" + r.name + "', '" + r.sid + "', " + std::to_string(r.first) +
        ", " + r.value + ")");
  row("w", {{9, 1, {}, {}}, {21, 1, {}, {}}, {22, 1, {}, {}}});
  struct Case {
    const char *query;
    Hits hits;
  } cases[] = {
      {"SQE(A)", {{2, 10}, {5, 0}, {9, 100}, {20, 30}, {21, 40}}},
      {"SQE(a)", {{2, 10}, {5, 0}, {9, 100}, {20, 30}, {21, 40}}},
      {"SQE(none)", {}},
      {"SQE(B)", {}},
      {"SQE(S)", {{4, 70}}},
      {"SQE(N)", {{7, 10}}},
      {"SQE(T)", {{11, 20}}},
  };
  for (const Case &c : cases) EXPECT_EQ(walk(c.query), c.hits) << c.query;
  // An AND moves the leaf to targets: below them entries are passed over,
  // within a row and from one row into the next.
  Hits both = walk("SQE(A) & w");
  std::vector<uint32_t> docs;
  for (auto &h : both) docs.push_back(h.first);
  EXPECT_EQ(docs, (std::vector<uint32_t>{9, 21}));
  sql("DROP TABLE " + sqr);
}

TEST_F(Leaves, Scores) {
  row("three", docs(5, 1, 1, 3));
  row("ten", docs(5, 1, 1, 10));
  row("eqa", docs(7, 1, 1, 3));
  row("eqb", docs(7, 1, 1, 4));
  EXPECT_EQ(walk("three"), (Hits{{5, 30}}));
  EXPECT_EQ(walk("ten"), (Hits{{5, 100}}));
  EXPECT_EQ(walk("eqa = eqb"), (Hits{{7, 70}}));
  EXPECT_EQ(walk("eq%"), (Hits{{7, 70}}));
  EXPECT_EQ(walk("absent"), Hits{});
  EXPECT_EQ(walk("absent = nothing"), Hits{});
  EXPECT_EQ(walk("absent%"), Hits{});
}

TEST_F(Leaves, AlternateScoringSumsTheValuesAfterEachOccurrence) {
  // A theme lexer's lists carry a value after each occurrence; the score is
  // their sum scaled by 100/64.
  struct Case {
    std::vector<uint16_t> values;
    uint32_t score;
  } cases[] = {{{32}, 50}, {{60, 40}, 100}, {{1}, 1}};
  qcomp::init(comp, st, 1);
  uint32_t doc = 1;
  for (const Case &c : cases) {
    Posts p;
    for (size_t k = 0; k < c.values.size(); ++k) p.push_back({doc, static_cast<uint32_t>(1 + k), {}, {c.values[k]}});
    row("w" + std::to_string(doc), p);
    EXPECT_EQ(walk(("w" + std::to_string(doc)).c_str()), (Hits{{doc, c.score}})) << doc;
    ++doc;
  }
}

TEST_F(Leaves, TermRowsAreFetchedFourAtATime) {
  std::vector<Posts> rows;
  for (uint32_t r = 0; r < 5; ++r) {
    rows.push_back(docs(100 * r + 1, 3, 7));
    row("word", rows.back());
  }
  Hits all = merged(rows);
  EXPECT_EQ(walk("word"), all);
  // The fifth row comes with the second fetch, made when the fourth row is
  // used up: a second fetch that fails stops the walk right there.
  druofetat(2, DRUO_NOTCONN);
  int rc = 0;
  Hits h = walk("word", &rc);
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(h, Hits(all.begin(), all.begin() + 12));
}

// Five words, each with six rows whose ranges interleave with the other
// words' rows and share some documents.
struct Interleaved {
  std::vector<std::string> words;
  std::vector<Posts> lists;     // all postings of each word
  std::vector<uint32_t> firsts; // first_doc of every row
};

Interleaved interleave(Leaves &t, const std::string &stem) {
  Interleaved w;
  for (uint32_t i = 0; i < 5; ++i) {
    w.words.push_back(stem + std::to_string(i + 1));
    Posts all;
    for (uint32_t j = 0; j < 6; ++j) {
      // Document 100j + 90 is in every word's row j.
      uint32_t b = 100 * j;
      Posts r = {{b + 7 * i + 1, 1, {}, {}}, {b + 7 * i + 20, 2, {}, {}}, {b + 60 + i, 3, {}, {}},
                 {b + 90, 5, {}, {}}};
      t.row(w.words.back(), r);
      w.firsts.push_back(r.front().doc);
      all.insert(all.end(), r.begin(), r.end());
    }
    w.lists.push_back(all);
  }
  std::sort(w.firsts.begin(), w.firsts.end());
  return w;
}

TEST_F(Leaves, MergesAcrossRowsAndTerms) {
  Interleaved w = interleave(*this, "pre");
  row("prelude", docs(900, 1));  // matched by the prefix only
  row("other", docs(3, 5));      // matched by neither
  Hits eq = merged(w.lists);
  std::vector<Posts> withprelude = w.lists;
  withprelude.push_back(docs(900, 1));
  Hits pre = merged(withprelude);
  std::string q = w.words[0];
  for (size_t i = 1; i < w.words.size(); ++i) q += " = " + w.words[i];
  EXPECT_EQ(walk(q.c_str()), eq);
  EXPECT_EQ(walk("pre%"), pre);
  // Each row is fetched only when the merge reaches its first document: when
  // fetch k fails, exactly the documents below the (k-1)-th row's first
  // document have come out.
  std::vector<uint32_t> firsts = w.firsts;
  firsts.push_back(900);
  std::sort(firsts.begin(), firsts.end());
  for (size_t k = 1; k <= firsts.size(); ++k) {
    uint32_t below = k == 1 ? 0 : firsts[k - 2];
    Hits want;
    for (auto &h : pre)
      if (h.first < below) want.push_back(h);
    druofetat(static_cast<long>(k), DRUO_NOTCONN);
    int rc = 0;
    EXPECT_EQ(walk("pre%", &rc), want) << k;
    EXPECT_EQ(rc, 1) << k;
    druofetat(0, 0);
  }
}

TEST_F(Leaves, StatementsRunAgainHandOutNoDocumentTwice) {
  Interleaved w = interleave(*this, "pre");
  std::vector<Posts> rows;
  for (uint32_t r = 0; r < 6; ++r) {
    rows.push_back(docs(100 * r + 1, 3, 7));
    row("word", rows.back());
  }
  std::string eq = w.words[0];
  for (size_t i = 1; i < w.words.size(); ++i) eq += " = " + w.words[i];
  struct Case {
    std::string query;
    Hits want;
  } cases[] = {{"word", merged(rows)}, {eq, merged(w.lists)}, {"pre%", merged(w.lists)}};
  for (const Case &c : cases) {
    for (long k : {2, 5, 11}) {
      druofetat(k, DRUO_AGAIN);
      EXPECT_EQ(walk(c.query.c_str()), c.want) << c.query << " again at fetch " << k;
      druofetat(0, 0);
    }
  }
}

TEST_F(Leaves, LongRowsAreReadWhole) {
  // 30000 documents in one row: a list well past 65535 bytes, first in its
  // fetch batch; then two short rows.
  Posts big = docs(1, 30000, 300);
  Posts later = docs(9000000, 4);
  Posts last = docs(9500000, 2);
  Posts other = docs(1, 30000, 301);
  row("long", big);
  row("long", later);
  row("long", last);
  row("longer", other);
  EXPECT_GT(postfix::list(st, DREL_KIND0, big).size(), 65535u);
  EXPECT_EQ(walk("long"), merged({big, later, last}));
  EXPECT_EQ(walk("long%"), merged({big, later, last, other}));
}

TEST_F(Leaves, ProximityOverTheLeaves) {
  row("p1", {{1, 2, {}, {}}, {2, 5, {}, {}}});
  row("p2", {{1, 3, {}, {}}, {2, 9, {}, {}}});
  row("q1", {{2, 4, {}, {}}, {3, 1, {}, {}}});
  EXPECT_EQ(walk("p1 p2"), (Hits{{1, 10}}));
  EXPECT_EQ(walk("p1 ; p2"), (Hits{{1, 100}, {2, 97}}));
  EXPECT_EQ(walk("p% p2"), (Hits{{1, 10}}));
  EXPECT_EQ(walk("(p1 = q1) ; p2"), (Hits{{1, 100}, {2, 97}}));
}

TEST_F(Leaves, DamagedRowsFailWithAMessage) {
  std::vector<uint8_t> b = postfix::list(st, DREL_KIND0, docs(1, 50, 2));
  b.resize(b.size() - 3);
  sql("INSERT INTO " + table + " VALUES ('cut', 1, " + std::to_string(b.size()) + ", " + postfix::bytea(b) + ")");
  sql("INSERT INTO " + table + " VALUES ('null', 1, 0, NULL)");
  for (const char *q : {"cut", "null", "cu%", "cut = null"}) {
    int rc = 0;
    walk(q, &rc);
    EXPECT_EQ(rc, 1) << q;
    EXPECT_TRUE(druefind(st, DREL_EDAMAGED)) << q << ": " << stack();
  }
}

TEST_F(Leaves, EquivalenceStatementsTakeAHundredAndSixtyTerms) {
  row("v1", docs(10, 1));
  row("v80", docs(20, 1));
  row("v161", docs(30, 1));
  std::string q = "v1";
  for (int i = 2; i <= 161; ++i) q += " = v" + std::to_string(i);
  EXPECT_EQ(walk(q.c_str()), (Hits{{10, 10}, {20, 10}, {30, 10}}));
}

TEST_F(Leaves, StopWordsInAnEquivalence) {
  row("w1", {{4, 2, {}, {}}});
  row("w2", {{4, 3, {1}, {}}, {5, 3, {2}, {}}, {6, 3, {3}, {}}});
  row("w3", {{4, 4, {}, {}}, {5, 4, {}, {}}, {6, 4, {}, {}}});
  row("x1", {{4, 2, {}, {}}});
  // The stop word becomes an alternative and stays out of the statement.
  EXPECT_EQ(walk("the = w1"), (Hits{{4, 10}}));
  ASSERT_NE(tree, nullptr);
  ASSERT_NE(tree->root->stopalt, nullptr);
  EXPECT_EQ(tree->root->stopalt[0], 1);
  EXPECT_EQ(tree->root->stopalt[1], -1);
  // In a phrase the stop words come from the stored groups beside w2.
  EXPECT_EQ(walk("(the = a) w2 w3"), (Hits{{4, 10}, {5, 10}}));
  EXPECT_EQ(walk("(the = x1) w2 w3"), (Hits{{4, 10}}));
  // An equivalence of stop words only is a stop-word node.
  EXPECT_EQ(build("the = a"), 1);
  EXPECT_TRUE(druefind(st, DRYM_STOPWORD));
}

TEST_F(Leaves, BuildFailures) {
  // A table that is not there: the statement cannot be parsed.
  std::string missing = table + "_none";
  ctx.table = missing.c_str();
  for (const char *q : {"w", "w%", "w = v"}) {
    EXPECT_EQ(build(q), 1) << q;
    EXPECT_TRUE(druefind(st, 50850)) << q;
  }
  // A name that is no plain identifier never reaches a statement.
  ctx.table = "public.x; drop table y";
  EXPECT_EQ(build("w"), 1);
  EXPECT_TRUE(druefind(st, 50600));
  ctx.table = table.c_str();
  // Stored query expressions are not evaluated yet.
  EXPECT_EQ(build("w & SQE(saved)"), 1);
  EXPECT_TRUE(druefind(st, 50701));
}

}  // namespace
