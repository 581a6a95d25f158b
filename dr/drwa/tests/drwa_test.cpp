// The stand-in word list: wildcards answered with the index's words that the
// engine finds, the other expansions refused by name, and too many words
// refusing the query; through the query parser as a query meets it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dr/drd/drd.h"
#include "dr/drp/drtq.h"
#include "dr/drwa/drwa.h"
#include "tests/fixtures/query/qdoubles.h"
#include "tests/fixtures/server/statefix.h"

namespace {

struct StandIn : ::testing::Test {
  drsrvstate *srv = nullptr;
  qdbl::Lexer lex;
  qdbl::Engine eng;
  std::unique_ptr<drdmpol> pol = std::make_unique<drdmpol>();
  drobj *wl = nullptr;

  void SetUp() override {
    ASSERT_EQ(statefix::build(&srv), 0);
    eng.srv = srv;
    pol->comp[DRCLS_ENGINE - 1].obj = eng.obj();
    wl = drwanew(srv, srv->seshp, 1, pol.get());
    ASSERT_NE(wl, nullptr);
  }
  void TearDown() override {
    if (wl) EXPECT_EQ(drops<drwlops>(wl)->free(wl), 0);
    dracnfre(&srv);
  }

  // Parses and normalises a query as the query commands do: the tree, or
  // the message numbers and their text.
  std::string parse(const char *q, std::vector<int> *msgs = nullptr, std::string *text = nullptr) {
    drueclr(srv);
    EXPECT_EQ(dracnchp(srv), 0);
    drobj *qp = drtqnew(srv, DRTQ_KIND);
    const drtqops *ops = drops<drtqops>(qp);
    EXPECT_EQ(ops->setup(qp, DRTQ_QUERY, "SCOTT", nullptr, wl, nullptr, lex.obj(), nullptr,
                         eng.obj(), 0),
              0);
    testing::internal::CaptureStdout();
    int rc = ops->parse(qp, q);
    testing::internal::GetCapturedStdout();
    if (msgs)
      for (int i = 1; i <= rtmsgcnt(srv->msg); i++) msgs->push_back(rtmsgnum(srv->msg, i));
    if (text) {
      char buf[4000] = "";
      druestk(srv, buf, sizeof buf);
      *text = buf;
    }
    if (rc != 0) return "";
    drpabuf *b = nullptr;
    ops->root(qp, &b);
    return qdbl::render(b, b->root);
  }
};

TEST_F(StandIn, WildcardsGetTheIndexWordsTheEngineFinds) {
  eng.like["RIVER%"] = {"RIVERS", "RIVER", "RIVERBANK"};
  eng.like["SHI%"] = {"SHIP"};
  EXPECT_EQ(parse("river% | shi% | nothing%"),
            "OR(EQUIVALENCE(RIVER, RIVERBANK, RIVERS), SHIP~, NOTHING%~)");
  EXPECT_EQ(eng.patterns, (std::vector<std::string>{"RIVER%", "SHI%", "NOTHING%"}));
}

TEST_F(StandIn, OtherExpansionsAreRefusedByName) {
  const struct {
    const char *query;
    const char *name;
  } rows[] = {{"$boat", "stem expansion"}, {"?boat", "fuzzy expansion"},
              {"!boat", "soundex expansion"}};
  for (const auto &r : rows) {
    std::vector<int> msgs;
    std::string text;
    EXPECT_EQ(parse(r.query, &msgs, &text), "") << r.query;
    ASSERT_FALSE(msgs.empty()) << r.query;
    EXPECT_EQ(msgs.front(), 50701) << r.query;
    EXPECT_NE(text.find(r.name), std::string::npos) << text;
  }
}

TEST_F(StandIn, TooManyWordsRefuseTheQuery) {
  std::vector<std::string> many;
  for (int i = 0; i < DRWA_MAXWORDS + 1; ++i) many.push_back("W" + std::to_string(i));
  eng.like["W%"] = many;
  std::vector<int> msgs;
  EXPECT_EQ(parse("w%", &msgs), "");
  EXPECT_EQ(msgs, (std::vector<int>{50937, 50937}));
  // At the limit the query is only held to the equivalence's own bound.
  many.pop_back();
  eng.like["W%"] = many;
  msgs.clear();
  EXPECT_EQ(parse("w%", &msgs), "");
  EXPECT_EQ(msgs, (std::vector<int>{50937, 50937}));
  many.resize(3);
  eng.like["W%"] = many;
  EXPECT_EQ(parse("w%"), "EQUIVALENCE(W0, W1, W2)");
}

}  // namespace
