// Query texts to normalised trees through the policy's own default lexer
// and stop list (the stop words THE, A, OF, TO, ON), as the query commands
// normalise them.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dr/drl/drla.h"
#include "dr/drp/drtq.h"
#include "dr/drws/drws.h"
#include "tests/fixtures/pipe/pipefix.h"
#include "tests/fixtures/query/qdoubles.h"
#include "tests/fixtures/server/statefix.h"

namespace {

struct Policy : statefix::State {
  std::unique_ptr<pipefix::Prefs> prefs;
  drobj *lex = nullptr, *sl = nullptr;
  qdbl::Words words;

  Policy() { nls = "AMERICAN_AMERICA.WE8ISO8859P1"; }
  void SetUp() override {
    statefix::State::SetUp();
    prefs = std::make_unique<pipefix::Prefs>(st);
    lex = drlanew(st, st->seshp);
    ASSERT_NE(lex, nullptr);
    ASSERT_EQ(drops<drlexops>(lex)->bnd(lex, 42, nullptr, prefs->add(DRCLS_LEXER, 1, {})), 0);
    std::vector<pipefix::Attr> stops;
    for (const char *w : {"the", "a", "of", "to", "on"}) stops.push_back(pipefix::str(2, w));
    sl = drwsanew(st, st->seshp, prefs->add(DRCLS_STOPLIST, 1, stops), lex);
    ASSERT_NE(sl, nullptr);
    ASSERT_EQ(drops<drlexops>(lex)->mode(lex, 2), 0);
  }
  void TearDown() override {
    if (sl) drops<drstops>(sl)->free(sl);
    if (lex) drops<drlexops>(lex)->free(lex);
    prefs.reset();
    statefix::State::TearDown();
  }

  // The normalised tree of q, or "" with the first message in *msg.
  std::string parse(const std::string &q, int *msg = nullptr, drobj **out = nullptr) {
    drueclr(st);
    EXPECT_EQ(dracnchp(st), 0);
    drobj *qp = drtqnew(st, DRTQ_KIND);
    const drtqops *ops = drops<drtqops>(qp);
    EXPECT_EQ(ops->setup(qp, DRTQ_QUERY, "SCOTT", nullptr, words.obj(), nullptr, lex, sl, nullptr, 0),
              0);
    testing::internal::CaptureStdout();
    int rc = ops->parse(qp, q.c_str());
    testing::internal::GetCapturedStdout();
    if (out) *out = qp;
    if (rc != 0) {
      if (msg) *msg = rtmsgcnt(st->msg) ? rtmsgnum(st->msg, 1) : 0;
      return "";
    }
    drpabuf *b = nullptr;
    ops->root(qp, &b);
    return qdbl::render(b, b->root);
  }
};

TEST_F(Policy, QueriesNormaliseThroughThePolicysLexer) {
  const struct {
    const char *query;
    const char *tree;  // "": refused with msg
    int msg;
  } rows[] = {
      {"Boat", "BOAT", 0},
      {"red\\-boat", "PHRASE(RED, BOAT)", 0},
      {"boat's", "PHRASE(BOAT, S)", 0},
      {"[a & b] & c", "AND(A, B, C)", 0},
      {"[a - b] - c", "MINUS(A, B, C)", 0},
      {"a - [b - c]", "MINUS(A, MINUS(B, C))", 0},
      {"x * 2 * 3", "WEIGHT 6000(X)", 0},
      {"x * 0.29 * 1.5", "WEIGHT 435(X)", 0},
      {"x > 20 > 50", "THRESHOLD 50(X)", 0},
      {"?($a b)", "PHRASE(A$?, B?)", 0},
      {"?([$a] b)", "PHRASE(A$, B?)", 0},
      {"2.5 x4", "PHRASE(2.5, X4)", 0},
      {"the end. of it", "PHRASE(THE, END, OF, IT)", 0},
      {"{#}", "", DRPM_NOTHING},
  };
  for (const auto &r : rows) {
    int msg = 0;
    EXPECT_EQ(parse(r.query, &msg), r.tree) << r.query;
    EXPECT_EQ(msg, r.msg) << r.query;
  }
}

TEST_F(Policy, MaxDocAndFirstDocAreLifted) {
  drobj *qp = nullptr;
  EXPECT_EQ(parse("boat : 5 # 1-3", nullptr, &qp), "BOAT");
  const drtqops *ops = drops<drtqops>(qp);
  EXPECT_EQ(ops->maxdoc(qp), 5);
  EXPECT_EQ(ops->first(qp), 1);
  EXPECT_EQ(ops->last(qp), 3);
}

// The numbers the component answers are the stop list's own, which the
// indexing driver stores.
TEST_F(Policy, StopWordNumbersAreTheStopLists) {
  drobj *qp = nullptr;
  ASSERT_EQ(parse("the boat", nullptr, &qp), "PHRASE(THE, BOAT)");
  const drtqops *ops = drops<drtqops>(qp);
  const struct {
    const char *word;
    int32_t num;
  } rows[] = {{"THE", 1}, {"A", 2}, {"OF", 3}, {"TO", 4}, {"ON", 5}, {"BOAT", -1}};
  for (const auto &r : rows) {
    int32_t num = 0, own = 0;
    EXPECT_EQ(ops->stop(qp, r.word, &num), 0);
    EXPECT_EQ(num, r.num) << r.word;
    drops<drstops>(sl)->look(sl, r.word, &own);
    EXPECT_EQ(num, own ? own : -1) << r.word;
  }
}

// The wildcard reaches the word list as the lexer cut it.
TEST_F(Policy, WildcardsKeepTheirCharactersThroughTheLexer) {
  words.table[{0, "RIV%"}] = {"RIVER", "RIVERS"};
  words.table[{0, "B_AT"}] = {"BOAT"};
  EXPECT_EQ(parse("riv% b_at"), "PHRASE(EQUIVALENCE(RIVER, RIVERS), BOAT~)");
  ASSERT_EQ(words.calls.size(), 1u);
  EXPECT_EQ(words.calls[0].second, (std::vector<std::string>{"RIV%", "B_AT"}));
}

}  // namespace
