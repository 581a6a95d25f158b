// The query-parser component and the normalisation it runs: query texts to
// normalised trees, the component's operations and their refusals, word
// expansion through a scripted word list, stored queries through an engine
// stand-in, and the nesting bound.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dr/drp/drpint.h"
#include "dr/drp/drtq.h"
#include "tests/fixtures/query/qdoubles.h"
#include "tests/fixtures/server/statefix.h"

namespace {

struct Out {
  int rc = 0;
  std::string tree;
  std::vector<int> msgs;
  int32_t maxdoc = 0, first = 0, last = 0;
  std::string console;
};

struct Component : ::testing::Test {
  drsrvstate *srv = nullptr;
  qdbl::Lexer lex;
  qdbl::Stops stops;
  qdbl::Words words;
  qdbl::Engine eng;
  drobj *qp = nullptr;

  void SetUp() override {
    ASSERT_EQ(statefix::build(&srv), 0);
    stops.words = {{"THE", 1}, {"A", 2}, {"OF", 3}, {"TO", 4}, {"ON", 5}};
    eng.srv = srv;
  }
  void TearDown() override { dracnfre(&srv); }

  const drtqops *ops() { return drops<drtqops>(qp); }
  drtqcmp *cmp() { return reinterpret_cast<drtqcmp *>(qp); }

  std::vector<int> stack() {
    std::vector<int> v;
    for (int i = 1; i <= rtmsgcnt(srv->msg); i++) v.push_back(rtmsgnum(srv->msg, i));
    return v;
  }

  // A new command with a component set up for flags.
  void make(uint16_t flags = DRTQ_QUERY, drobj *lexer = nullptr) {
    drueclr(srv);
    ASSERT_EQ(dracnchp(srv), 0);
    qp = drtqnew(srv, DRTQ_KIND);
    ASSERT_NE(qp, nullptr);
    ASSERT_EQ(ops()->setup(qp, flags, "SCOTT", "42", words.obj(), nullptr,
                           lexer ? lexer : lex.obj(), stops.obj(), eng.obj(), 0),
              0);
  }

  Out parse(const std::string &q, uint16_t flags = DRTQ_QUERY, drobj *lexer = nullptr) {
    make(flags, lexer);
    Out o;
    testing::internal::CaptureStdout();
    o.rc = ops()->parse(qp, q.c_str());
    o.console = testing::internal::GetCapturedStdout();
    o.msgs = stack();
    if (o.rc == 0) {
      drpabuf *b = nullptr;
      drpanode *r = ops()->root(qp, &b);
      o.tree = r ? qdbl::render(b, b->root) : "";
      o.maxdoc = ops()->maxdoc(qp);
      o.first = ops()->first(qp);
      o.last = ops()->last(qp);
    }
    return o;
  }
};

// ---- query texts to normalised trees ----

struct Row {
  const char *query;
  const char *tree;  // null: refused with msg
  int msg = 0;
};

TEST_F(Component, QueriesNormaliseToTheirTrees) {
  const Row rows[] = {
      {"Boat", "BOAT"},
      {"red\\-boat", "PHRASE(RED, BOAT)"},
      {"boat's", "PHRASE(BOAT, S)"},
      {"big boat's", "PHRASE(BIG, BOAT, S)"},
      {"[a & b] & c", "AND(A, B, C)"},
      {"[a - b] - c", "MINUS(A, B, C)"},
      {"a - [b - c]", "MINUS(A, MINUS(B, C))"},
      {"a ~ [b ~ c] ~ d", "NOT(A, NOT(B, C), D)"},
      {"x * 2 * 3", "WEIGHT 6000(X)"},
      {"x * 0.29 * 1.5", "WEIGHT 435(X)"},
      {"(x > 20) * 2", "WEIGHT 2000(THRESHOLD 20(X))"},
      {"x > 20 > 50", "THRESHOLD 50(X)"},
      {"x > 50 > 20", "THRESHOLD 50(X)"},
      {"?($a b)", "PHRASE(A$?, B?)"},
      {"?([$a] b)", "PHRASE(A$, B?)"},
      {"$(a | b)", "OR(A$, B$)"},
      {"$[a | b]", "OR(A, B)"},
      {"a ; boat's", "NEAR(A, PHRASE(BOAT, S))"},
      {"a = b = c", "EQUIVALENCE(A, B, C)"},
      {"boat's = ship", nullptr, DRPM_EQUIVARG},
      {"{#}", nullptr, DRPM_NOTHING},
      {"{#} & {-}", nullptr, DRPM_NOTHING},
      {"{#} - b", nullptr, DRPM_NOTHING},
      {"a - {#}", "A"},
      {"a & {#}", "A"},
  };
  for (const Row &r : rows) {
    Out o = parse(r.query);
    if (r.tree) {
      EXPECT_EQ(o.rc, 0) << r.query;
      EXPECT_EQ(o.tree, r.tree) << r.query;
    } else {
      EXPECT_EQ(o.rc, 1) << r.query;
      ASSERT_FALSE(o.msgs.empty()) << r.query;
      EXPECT_EQ(o.msgs.front(), r.msg) << r.query;
      EXPECT_EQ(o.console, "") << r.query;
    }
  }
}

TEST_F(Component, MaxDocAndFirstDocAreLiftedFromTheTop) {
  Out o = parse("boat : 5 # 1-3");
  ASSERT_EQ(o.rc, 0);
  EXPECT_EQ(o.tree, "BOAT");
  EXPECT_EQ(o.maxdoc, 5);
  EXPECT_EQ(o.first, 1);
  EXPECT_EQ(o.last, 3);
  o = parse("(red | boat) : 7");
  EXPECT_EQ(o.tree, "OR(RED, BOAT)");
  EXPECT_EQ(o.maxdoc, 7);
  EXPECT_EQ(o.first, 0);
}

// Tokens of the ideograph lexers: a piece before a word is matched whole, a
// last character at the end of a phrase adds nothing.
TEST_F(Component, PhraseWildcardPiecesAreFixedUp) {
  lex.script["kana1"] = {{DRTOK_SINGLE, "KA"}, {DRTOK_WORD, "NA"}};
  lex.script["kana2"] = {{DRTOK_WORD, "KA"}, {DRTOK_LAST, "NA"}};
  lex.script["kana3"] = {{DRTOK_PIECE, "KAN"}, {DRTOK_SINGLE, "A"}};
  lex.script["kana4"] = {{DRTOK_LAST, "NA"}};
  EXPECT_EQ(parse("kana1").tree, "PHRASE(KA, NA)");
  EXPECT_EQ(parse("kana2").tree, "KA");
  EXPECT_EQ(parse("kana3").tree, "PHRASE(KAN/92, A/93)");
  EXPECT_EQ(parse("kana4").tree, "NA/94");
}

TEST_F(Component, TokensThatAreNoWordsAreSkippedOrRefused) {
  lex.script["dot"] = {{DRTOK_WORD, "A"}, {DRTOK_SENTENCE, ""}, {DRTOK_PARAGRAPH, ""},
                       {DRTOK_WORD, "B"}};
  lex.script["odd"] = {{DRTOK_WORD, "A"}, {3, "X"}, {DRTOK_WORD, "B"}};
  lex.script["bad"] = {{DRTOK_WORD, "A", 1}};
  lex.script["zero"] = {{0, "A"}};
  EXPECT_EQ(parse("dot").tree, "PHRASE(A, B)");
  Out o = parse("odd");
  EXPECT_EQ(o.tree, "PHRASE(A, B)");
  EXPECT_EQ(o.msgs, std::vector<int>{100});
  for (const char *q : {"bad", "zero"}) {
    o = parse(q);
    EXPECT_EQ(o.rc, 1) << q;
    EXPECT_EQ(o.msgs, std::vector<int>{DRPM_INTERNAL}) << q;
  }
}

// Each word goes to the lexer once, with its wildcard flag.
TEST_F(Component, WordsReachTheLexerWithTheirWildcardFlag) {
  Out o = parse("boat riv%", DRTQ_QUERY & ~DRTQ_WEXP);
  EXPECT_EQ(o.tree, "PHRASE(BOAT, RIV%~)");
  EXPECT_EQ(lex.queries, (std::vector<std::pair<std::string, int>>{{"boat", 0}, {"riv%", 1}}));
}

// ---- a theme lexer ----

TEST_F(Component, ThemeLexerJoinsPhrasesAndWeighsWordParts) {
  qdbl::Lexer theme(3);
  theme.script["red boat"] = {{DRTOK_PART, "RE", 0, 5, 10}, {DRTOK_PART, "BOAT", 0, 10, 10}};
  Out o = parse("red boat", DRTQ_QUERY, theme.obj());
  ASSERT_EQ(o.rc, 0) << ::testing::PrintToString(o.msgs);
  EXPECT_TRUE(cmp()->theme);
  EXPECT_EQ(o.tree, "AND(WEIGHT 500(RE), WEIGHT 1000(BOAT))");
  EXPECT_EQ(theme.queries, (std::vector<std::pair<std::string, int>>{{"red boat", 1}}));
  // A joined word may not outgrow a word.
  std::string longq(130, 'a');
  longq += " " + std::string(130, 'b');
  o = parse(longq, DRTQ_QUERY, theme.obj());
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.msgs, std::vector<int>{DRPM_TOOBIG});
}

// ---- the component's own operations ----

TEST_F(Component, ParseBeforeSetupIsRefused) {
  drueclr(srv);
  qp = drtqnew(srv, DRTQ_KIND);
  ASSERT_NE(qp, nullptr);
  testing::internal::CaptureStdout();
  EXPECT_EQ(ops()->parse(qp, "boat"), 1);
  EXPECT_EQ(ops()->reset(qp, 1), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "parser not setup\nparser not setup\n");
  EXPECT_EQ(stack(), (std::vector<int>{DRPM_NOSETUP, DRPM_NOSETUP}));
}

TEST_F(Component, KindZeroRefusesSetup) {
  qp = drtqnew(srv, 0);
  ASSERT_NE(qp, nullptr);
  EXPECT_EQ(ops()->setup(qp, DRTQ_QUERY, "SCOTT", nullptr, nullptr, nullptr, lex.obj(), nullptr,
                         nullptr, 0),
            1);
  EXPECT_EQ(stack(), std::vector<int>{DRPM_NOKIND});
  EXPECT_EQ(ops()->spare(qp), 1);
  EXPECT_EQ(ops()->free(qp), 0);
}

TEST_F(Component, WalksNeedAParsedQuery) {
  make();
  drpabuf *b = nullptr;
  const char *text = "x";
  char out[256];
  testing::internal::CaptureStdout();
  EXPECT_EQ(ops()->root(qp, &b), nullptr);
  EXPECT_EQ(ops()->text(qp, nullptr, &text, nullptr), 1);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(ops()->print(qp, out, sizeof out), 1);
  EXPECT_EQ(ops()->maxdoc(qp), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "query not parsed \nquery not parsed \nquery not parsed \n");
  EXPECT_EQ(stack(), std::vector<int>(4, DRPM_NOPARSE));

  // A reset that is no release keeps the tree; a release loses it.
  drueclr(srv);
  ASSERT_EQ(ops()->parse(qp, "red & boat"), 0);
  EXPECT_EQ(ops()->reset(qp, 2), 0);
  drpanode *r = ops()->root(qp, &b);
  ASSERT_NE(r, nullptr);
  drpanode *c = ops()->child(qp, r, b);
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(ops()->text(qp, c, &text, b), 0);
  EXPECT_STREQ(text, "RED");
  drpanode *n = ops()->next(qp, c, b);
  ASSERT_NE(n, nullptr);
  ASSERT_EQ(ops()->text(qp, n, &text, b), 0);
  EXPECT_STREQ(text, "BOAT");
  EXPECT_EQ(ops()->next(qp, n, b), nullptr);
  EXPECT_EQ(ops()->child(qp, n, b), nullptr);
  ASSERT_EQ(ops()->print(qp, out, sizeof out), 0);
  EXPECT_STREQ(out, "AND \n  WORD RED \n  WORD BOAT \n");
  EXPECT_EQ(ops()->reset(qp, 1), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(ops()->root(qp, &b), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "query not parsed \n");
  EXPECT_EQ(stack(), std::vector<int>{DRPM_NOPARSE});
  EXPECT_EQ(ops()->free(qp), 0);
}

TEST_F(Component, WordEndsAndStopWordNumbers) {
  make();
  std::string w255(255, 'w'), w256(256, 'w');
  EXPECT_EQ(ops()->wend(qp, w255.c_str()), w255.c_str() + 255);
  testing::internal::CaptureStdout();
  EXPECT_EQ(ops()->wend(qp, w256.c_str()), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "invalid word \n");
  EXPECT_EQ(stack(), std::vector<int>{DRPM_INTERNAL});
  int32_t num = 0;
  EXPECT_EQ(ops()->stop(qp, "BOAT", &num), 0);
  EXPECT_EQ(num, -1);
  EXPECT_EQ(ops()->stop(qp, "OF", &num), 0);
  EXPECT_EQ(num, 3);
}

// A failed parse says why once: no internal error on top of its messages.
TEST_F(Component, FailedParseAddsNothingToItsMessages) {
  Out o = parse("a &");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.msgs, std::vector<int>{DRPM_SYNTAX});
  EXPECT_EQ(o.console, "");
  o = parse("x * 11");
  EXPECT_EQ(o.msgs, (std::vector<int>{DRPM_WRANGE, DRPM_QUERY}));
  // A lexer that fails without a message: the normaliser names the failure,
  // once.
  lex.hd.ops.query = [](drobj *, const char *, uint8_t) { return 1; };
  o = parse("boat");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.msgs, std::vector<int>{DRPM_INTERNAL});
  EXPECT_EQ(o.console, "");
  drpabuf *b = nullptr;
  testing::internal::CaptureStdout();
  EXPECT_EQ(ops()->root(qp, &b), nullptr);
  testing::internal::GetCapturedStdout();
}

TEST_F(Component, ClassFifteenObjectMarksEveryEntry) {
  drobj *u = drucanew(srv, srv->seshp, 7);
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(u->clsid, DRCLS_QUERYAUX);
  int32_t marks[3] = {0, 5, 0};
  EXPECT_EQ(drops<drucaops>(u)->check(u, 3, nullptr, marks), 0);
  EXPECT_EQ(marks[0] + marks[1] + marks[2], 3);
  EXPECT_EQ(drops<drucaops>(u)->nop(u), 0);
  EXPECT_EQ(drops<drucaops>(u)->free(u), 0);
}

// ---- word expansion through the word list ----

TEST_F(Component, WordsWithoutModifiersCallNothing) {
  EXPECT_EQ(parse("red boat | ship").tree, "OR(PHRASE(RED, BOAT), SHIP)");
  EXPECT_TRUE(words.calls.empty());
}

TEST_F(Component, WildcardsBecomeEquivalencesInCollatingOrder) {
  words.table[{0, "RIV%"}] = {"RIVERS", "RIVER", "RIVERBANK", "RIVER"};
  words.table[{0, "SHI%"}] = {"SHIP"};
  Out o = parse("riv% & shi% & xyz%");
  ASSERT_EQ(o.rc, 0) << ::testing::PrintToString(o.msgs);
  EXPECT_EQ(o.tree, "AND(EQUIVALENCE(RIVER, RIVERBANK, RIVERS), SHIP~, XYZ%~)");
  // One call for the three words, each answered with its own terms.
  ASSERT_EQ(words.calls.size(), 1u);
  EXPECT_EQ(words.calls[0].first, 0);
  EXPECT_EQ(words.calls[0].second, (std::vector<std::string>{"RIV%", "SHI%", "XYZ%"}));
}

TEST_F(Component, ModifiersComposeInPassOrder) {
  words.table[{3, "RUN"}] = {"RUN", "RAN", "RUNS", "RUNS"};
  words.table[{3, "SWIM"}] = {"SWAM"};
  words.table[{1, "RAN"}] = {"RAIN"};
  words.table[{1, "RUN"}] = {"RAN", "RUNE"};
  Out o = parse("$run $swim");
  EXPECT_EQ(o.tree, "PHRASE(EQUIVALENCE(RAN, RUN, RUNS), EQUIVALENCE(SWAM, SWIM))");
  ASSERT_EQ(words.calls.size(), 1u);
  EXPECT_EQ(words.calls[0].second, (std::vector<std::string>{"RUN", "SWIM"}));

  // Stem, then soundex over the stems.
  words.calls.clear();
  words.table[{3, "RUN"}] = {"RAN"};
  o = parse("$!run");
  EXPECT_EQ(o.tree, "EQUIVALENCE(RAIN, RAN, RUN, RUNE)");
  ASSERT_EQ(words.calls.size(), 2u);
  EXPECT_EQ(words.calls[1], (std::pair<int32_t, std::vector<std::string>>{1, {"RAN", "RUN"}}));
}

TEST_F(Component, ExpansionsStopBelowTheTermLimit) {
  std::vector<std::string> many;
  for (int i = 0; i < 2558; ++i) many.push_back("T" + std::to_string(i));
  words.table[{2, "X"}] = many;
  Out o = parse("?x");  // 2559 with the word itself
  ASSERT_EQ(o.rc, 0);
  EXPECT_EQ(o.tree.substr(0, 15), "EQUIVALENCE(T0,");
  // With the word itself, 2560.
  words.table[{2, "X"}].push_back("T2558");
  o = parse("?x");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.msgs, (std::vector<int>{DRPM_TOOBIG, DRPM_TOOBIG}));
  // An equivalence written out is held to the same limit.
  for (int n : {2559, 2560}) {
    std::string q = "w0";
    for (int i = 1; i < n; ++i) q += "=w" + std::to_string(i);
    o = parse(q);
    EXPECT_EQ(o.rc, n < 2560 ? 0 : 1) << n;
    if (n == 2560) EXPECT_EQ(o.msgs, std::vector<int>{DRPM_TOOBIG});
  }
}

// A word list that fails ends the query with one message: its own when it
// says why, else one internal error.
TEST_F(Component, WordListFailuresEndTheQuery) {
  words.fail = 1;
  Out o = parse("riv%");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.msgs, std::vector<int>{DRPM_INTERNAL});
  EXPECT_EQ(o.console, "component failed\n");
  words.srv = srv;
  words.refuse = 50701;
  for (const char *q : {"$dogs", "?dgo", "!dawg", "riv%"}) {
    o = parse(q);
    EXPECT_EQ(o.rc, 1) << q;
    EXPECT_EQ(o.msgs, std::vector<int>{50701}) << q;
    EXPECT_EQ(o.console, "") << q;
  }
  words.refuse = 0;
  words.fail = 7;
  o = parse("riv%");
  EXPECT_EQ(o.msgs, std::vector<int>{DRPM_TOOBIG});
}

// ---- stored queries ----

TEST_F(Component, StoredQueriesAreCheckedRefreshedOrInlined) {
  eng.sqe["Q1"] = "red boat";
  eng.sqe["Q2"] = "SQE(Q1) | ship";
  Out o = parse("SQE(Q2) & x");
  ASSERT_EQ(o.rc, 0) << ::testing::PrintToString(o.msgs);
  EXPECT_EQ(o.tree, "AND(SQE Q2(), X)");
  EXPECT_EQ(eng.refreshed, (std::vector<std::string>{"Q1", "Q2"}));
  EXPECT_EQ(eng.asked, (std::vector<std::pair<std::string, std::string>>{{"Q2", ""}, {"Q1", "Q2"}}));

  eng.refreshed.clear();
  o = parse("SQE(Q2) & SQE(Q1)", DRTQ_INLINE);
  ASSERT_EQ(o.rc, 0) << ::testing::PrintToString(o.msgs);
  EXPECT_EQ(o.tree, "AND(OR(PHRASE(RED, BOAT), SHIP), PHRASE(RED, BOAT))");
  EXPECT_TRUE(eng.refreshed.empty());

  // The query commands' pass neither refreshes nor inlines without 0x40.
  o = parse("SQE(Q1)", 63);
  EXPECT_EQ(o.tree, "SQE Q1()");
  EXPECT_TRUE(eng.refreshed.empty());
}

TEST_F(Component, StoredQueryNamingItselfFails) {
  eng.sqe["LOOP"] = "a & SQE(LOOP)";
  Out o = parse("SQE(LOOP)");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.msgs, std::vector<int>{DRPM_INTERNAL});
  o = parse("SQE(NOPE) | a");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.msgs, std::vector<int>{50701});
}

// A stored query's own MAX_DOC stays its own; the table of names is bounded.
TEST_F(Component, StoredQueriesKeepTheirLimitsAndTheirTable) {
  eng.sqe["LIM"] = "red : 5";
  Out o = parse("SQE(LIM) & x", DRTQ_INLINE);
  ASSERT_EQ(o.rc, 0);
  EXPECT_EQ(o.tree, "AND(RED, X)");
  EXPECT_EQ(o.maxdoc, 0);

  std::string q;
  for (int i = 0; i <= 100; ++i) {
    std::string name = "S" + std::to_string(i);
    eng.sqe[name] = "w";
    q += (i ? " | SQE(" : "SQE(") + name + ")";
  }
  o = parse(q);
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.msgs, std::vector<int>{DRPM_TOOBIG});
  std::string name(32, 'N');
  eng.sqe[name] = "w";
  o = parse("SQE(" + name + ") | a");
  EXPECT_EQ(o.msgs, std::vector<int>{DRPM_TOOBIG});
  name.pop_back();
  eng.sqe[name] = "w";
  EXPECT_EQ(parse("SQE(" + name + ") | a").rc, 0);
}

// ---- thesaurus statements ----

// Parameters become literals with their quotes doubled; a phrase is one.
TEST_F(Component, ThesaurusStatementsQuoteTheirParameters) {
  const struct {
    const char *query;
    const char *stmt;
  } rows[] = {
      {"SYN(boat)", "CALL vek_ths.syn(:res, :err, 'boat')"},
      {"NTG(big red boat)", "CALL vek_ths.ntg(:res, :err, 'big red boat')"},
      {"BT({it's} x, y)", "CALL vek_ths.bt(:res, :err, 'it''s x', 'y')"},
  };
  for (const auto &r : rows) {
    make(0);
    ASSERT_EQ(ops()->parse(qp, r.query), 0) << r.query;
    drpabuf *b = cmp()->buf;
    ASSERT_EQ(drppstmt("SCOTT", b->root, &cmp()->buf), 0) << r.query;
    b = cmp()->buf;
    EXPECT_STREQ(drpastrp(b, drpanodep(b, b->root)->text), r.stmt);
    EXPECT_EQ(drpanodep(b, b->root)->first, 0);
  }
  // A statement that would outgrow its area is refused.
  std::string big = "SYN(";
  for (int i = 0; i < 250; ++i) big += (i ? ", " : "") + std::string(130, 'w');
  make(0);
  ASSERT_EQ(ops()->parse(qp, (big + ")").c_str()), 0);
  EXPECT_EQ(drppstmt("SCOTT", cmp()->buf->root, &cmp()->buf), 7);
  EXPECT_EQ(stack(), std::vector<int>{DRPM_CALLLONG});
}

// ---- nesting ----

TEST_F(Component, NestingIsBoundedAtAThousandLevels) {
  // depth levels: operators alternating so that nothing merges.
  auto nested = [](int depth) {
    std::string open, close;
    for (int i = 1; i < depth; ++i) {
      open += "w" + std::to_string(i) + (i % 2 ? " & (" : " | (");
      close += ")";
    }
    return open + "w0" + close;
  };
  make(0);
  ASSERT_EQ(ops()->parse(qp, nested(1000).c_str()), 0);
  EXPECT_EQ(drpndepth(cmp()->buf, cmp()->buf->root, 5000), 1000);
  Out o = parse(nested(1000));
  EXPECT_EQ(o.rc, 0) << ::testing::PrintToString(o.msgs);
  o = parse(nested(1001));
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.msgs, std::vector<int>{DRPM_TOOBIG});
}

}  // namespace
