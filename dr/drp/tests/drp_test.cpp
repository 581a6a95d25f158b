// The query parser: the lexer's tokens, printed trees for query texts, the
// errors with their line and column, the numeric operators, the parse
// buffer's growth and limit, and inputs that push the parser hard.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dr/drp/drpint.h"
#include "dr/dru/dru.h"
#include "tests/fixtures/server/statefix.h"

namespace {

struct Outcome {
  int rc = 0;
  std::string tree;
  std::vector<int> msgs;
  int line = 0, col = 0;
};

struct Parser : ::testing::Test {
  drsrvstate *srv = nullptr;
  drphtab *kw = nullptr;

  void SetUp() override {
    setenv("KESTRIN_HOME", KES_SOURCE_DIR, 0);
    ASSERT_EQ(statefix::build(&srv), 0);
    fresh();
  }
  void TearDown() override { dracnfre(&srv); }

  // A new command: new command heap, empty stack, keyword table.
  void fresh() {
    drueclr(srv);
    ASSERT_EQ(dracnchp(srv), 0);
    ASSERT_EQ(drphnew(srv, &kw), 0);
    ASSERT_EQ(drpmkwfill(srv, kw), 0);
  }

  std::vector<int> stack() {
    std::vector<int> v;
    for (int i = 1; i <= rtmsgcnt(srv->msg); i++) v.push_back(rtmsgnum(srv->msg, i));
    return v;
  }

  std::string print(drpabuf *b) {
    std::vector<char> out(0x8000);
    size_t pos = 0;
    out[0] = 0;
    if (drptprint(b->root, b, out.data(), out.size(), &pos, 0) != 0) return "(too large)";
    return std::string(out.data(), pos);
  }

  Outcome parse(const std::string &q, int theme = 0) {
    fresh();
    Outcome o;
    drpabuf *b = nullptr;
    testing::internal::CaptureStdout();
    o.rc = drpmparse(srv, &b, "SCOTT", q.c_str(), kw, 1, theme);
    testing::internal::GetCapturedStdout();
    o.msgs = stack();
    if (b) {
      if (o.rc == 0) o.tree = print(b);
      o.line = b->err.line;
      o.col = b->err.col;
      last = b;
    }
    return o;
  }

  drpabuf *last = nullptr;
};

// ---- lexer ----

struct Tok {
  int code;
  std::string text;
  bool operator==(const Tok &o) const { return code == o.code && text == o.text; }
};
std::ostream &operator<<(std::ostream &os, const Tok &t) { return os << t.code << ":" << t.text; }

TEST_F(Parser, LexerTokens) {
  const int W = DRPT_WORD, WC = DRPT_WCWORD, P = DRPT_PARAM;
  struct Case {
    const char *text;
    int paramdepth;
    std::vector<Tok> toks;
  } cases[] = {
      {"aNd", 0, {{DRPT_AND, ""}}},
      {"{and}", 0, {{DRPT_OESCAPE, ""}, {W, "and"}, {DRPT_CESCAPE, ""}}},
      {"\\and", 0, {{DRPT_AND, ""}}},
      {"fox%", 0, {{WC, "fox%"}}},
      {"{fox%}", 0, {{DRPT_OESCAPE, ""}, {W, "fox%"}, {DRPT_CESCAPE, ""}}},
      {"fo\\_x", 0, {{W, "fo_x"}}},
      {"{a b}", 0, {{DRPT_OESCAPE, ""}, {W, "a b"}, {DRPT_CESCAPE, ""}}},
      {"{a}}b}", 0, {{DRPT_OESCAPE, ""}, {W, "a}b"}, {DRPT_CESCAPE, ""}}},
      {"* 2.5", 0, {{DRPT_WEIGHT, ""}, {W, "2.5"}}},
      {"a-b", 0, {{W, "a"}, {DRPT_MINUS, ""}, {W, "b"}}},
      {"a\\&b", 0, {{W, "a&b"}}},
      {"ab\\", 0, {{W, "ab"}}},
      {"", 0, {}},
      {", | & ~ - ; = > * : # $ ? ! ^ @ [ ] ( )", 0,
       {{DRPT_ANY, ""}, {DRPT_OR, ""}, {DRPT_AND, ""}, {DRPT_NOT, ""}, {DRPT_MINUS, ""},
        {DRPT_NEAR, ""}, {DRPT_EQUIV, ""}, {DRPT_THRESH, ""}, {DRPT_WEIGHT, ""},
        {DRPT_MAXDOC, ""}, {DRPT_FIRSTDOC, ""}, {DRPT_STEM, ""}, {DRPT_FUZZY, ""},
        {DRPT_SOUNDEX, ""}, {DRPT_THEME, ""}, {DRPT_EXECUTE, ""}, {DRPT_OSQUARE, ""},
        {DRPT_CSQUARE, ""}, {DRPT_OPAREN, ""}, {DRPT_CPAREN, ""}}},
      {"accum or not minus near equiv exec sqe syn nt bt pt tt rt btp btg ntp ntg", 0,
       {{DRPT_ANY, ""}, {DRPT_OR, ""}, {DRPT_NOT, ""}, {DRPT_MINUS, ""}, {DRPT_NEAR, ""},
        {DRPT_EQUIV, ""}, {DRPT_EXECUTE, ""}, {DRPT_SQE, ""}, {271, ""}, {272, ""}, {273, ""},
        {274, ""}, {275, ""}, {276, ""}, {277, ""}, {278, ""}, {279, ""}, {280, ""}}},
      // parameter-list mode
      {"a b", 1, {{P, "a"}, {P, "b"}}},
      {"a,b", 1, {{P, "a"}, {DRPT_PLSEP, ""}, {P, "b"}}},
      {"f(x) and", 1, {{P, "f(x"}, {DRPT_CPAREN, ""}, {P, "and"}}},
  };
  for (const Case &c : cases) {
    fresh();
    drpmstate *st = nullptr;
    ASSERT_EQ(drpmnew(&st, DRPA_FIRSTSIZE, "SCOTT", c.text, srv, kw, 1, nullptr, 0), 0);
    nlscurset(&st->cur, drpcs(srv), st->text, std::strlen(st->text));
    st->paramdepth = static_cast<uint8_t>(c.paramdepth);
    std::vector<Tok> got;
    for (int i = 0; i < 64; i++) {
      tqtoken *t = drpglex(st);
      if (t->code == 0) break;
      int32_t off = 0;
      std::memcpy(&off, t->value, 4);
      got.push_back({t->code, t->code >= W && t->code <= DRPT_SQENAME ? drpastrp(st->buf, off) : ""});
    }
    EXPECT_EQ(got, c.toks) << c.text;
  }
}

TEST_F(Parser, StoredQueryNameTakesBlanks) {
  Outcome o = parse("SQE( my query )");
  EXPECT_EQ(o.rc, 0);
  EXPECT_EQ(o.tree, "SQE  my query  \n");
}

TEST_F(Parser, WordLengthLimit) {
  Outcome o = parse(std::string(255, 'x'));
  EXPECT_EQ(o.rc, 0);
  EXPECT_EQ(o.tree, "WORD " + std::string(255, 'x') + " \n");
  o = parse("ab " + std::string(256, 'x'));
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.msgs, (std::vector<int>{DRPM_LONGWORD}));
  EXPECT_EQ(o.col, 4);
}

TEST_F(Parser, MultiByteWords) {
  // Only single-byte characters end words; case folding for keywords goes
  // by whole characters of the session's set.
  std::snprintf(srv->csname, sizeof srv->csname, "%s", "UTF8");
  struct Case {
    const char *query;
    const char *tree;
  } cases[] = {
      {"\xc3\xbcber & stra\xc3\x9fe", "AND \n  WORD \xc3\xbcber \n  WORD stra\xc3\x9fe \n"},
      {"\xe6\x97\xa5\xe6\x9c\xac \xe8\xaa\x9e", "PHRASE \n  WORD \xe6\x97\xa5\xe6\x9c\xac \n  WORD \xe8\xaa\x9e \n"},
      {"a \xe3\x80\x80 b", "PHRASE \n  WORD a \n  WORD b \n"},  // ideographic space
      {"a AnD b", "AND \n  WORD a \n  WORD b \n"},
  };
  for (const Case &c : cases) {
    Outcome o = parse(c.query);
    EXPECT_EQ(o.rc, 0) << c.query;
    EXPECT_EQ(o.tree, c.tree) << c.query;
  }
  // A three-byte character that would pass the limit stops the word.
  Outcome o = parse(std::string(253, 'x') + "\xe6\x97\xa5");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.msgs, (std::vector<int>{DRPM_LONGWORD}));
  o = parse(std::string(252, 'x') + "\xe6\x97\xa5");
  EXPECT_EQ(o.rc, 0);
}

// ---- trees ----

TEST_F(Parser, PrintedTrees) {
  struct Case {
    const char *query;
    const char *tree;
  } cases[] = {
      {"fox", "WORD fox \n"},
      {"fox%", "WORD fox% \n"},
      {"{and}", "WORD and \n"},
      {"a\\-b", "WORD a-b \n"},
      {"((fox))", "WORD fox \n"},
      {"a b c", "PHRASE \n  WORD a \n  WORD b \n  WORD c \n"},
      {"a & b & c", "AND \n  WORD a \n  WORD b \n  WORD c \n"},
      {"a and b AND c", "AND \n  WORD a \n  WORD b \n  WORD c \n"},
      {"a \\and b", "AND \n  WORD a \n  WORD b \n"},
      {"a | b", "OR \n  WORD a \n  WORD b \n"},
      {"a or b", "OR \n  WORD a \n  WORD b \n"},
      {"a ~ b", "NOT \n  WORD a \n  WORD b \n"},
      {"a not b", "NOT \n  WORD a \n  WORD b \n"},
      {"a - b", "MINUS \n  WORD a \n  WORD b \n"},
      {"a minus b", "MINUS \n  WORD a \n  WORD b \n"},
      {"a , b", "ACCUMULATE \n  WORD a \n  WORD b \n"},
      {"a accum b", "ACCUMULATE \n  WORD a \n  WORD b \n"},
      {"a ; b", "NEAR \n  WORD a \n  WORD b \n"},
      {"a near b", "NEAR \n  WORD a \n  WORD b \n"},
      {"a = b", "EQUIVALENCE \n  WORD a \n  WORD b \n"},
      {"a equiv b", "EQUIVALENCE \n  WORD a \n  WORD b \n"},
      {"a * 2", "WEIGHT 2.000\n  WORD a \n"},
      {"a * 2.01", "WEIGHT 2.010\n  WORD a \n"},
      {"a > 50", "THRESHOLD 50 \n  WORD a \n"},
      {"a > 0", "WORD a \n"},
      {"a : 10", "MAX_DOC \n  WORD a \n"},
      {"a # 3-5", "FIRST_DOC \n  WORD a \n"},
      {"a : 10 # 1-2", "FIRST_DOC \n  MAX_DOC \n    WORD a \n"},
      {"(a : 10)", "MAX_DOC \n  WORD a \n"},
      // precedence, loosest first
      {"a , b | c", "ACCUMULATE \n  WORD a \n  OR \n    WORD b \n    WORD c \n"},
      {"a | b & c", "OR \n  WORD a \n  AND \n    WORD b \n    WORD c \n"},
      {"a & b | c", "OR \n  AND \n    WORD a \n    WORD b \n  WORD c \n"},
      {"a & b ~ c", "AND \n  WORD a \n  NOT \n    WORD b \n    WORD c \n"},
      {"a ~ b - c", "NOT \n  WORD a \n  MINUS \n    WORD b \n    WORD c \n"},
      {"a - b * 2", "MINUS \n  WORD a \n  WEIGHT 2.000\n    WORD b \n"},
      {"a ; b * 3", "WEIGHT 3.000\n  NEAR \n    WORD a \n    WORD b \n"},
      {"a b ; c", "NEAR \n  PHRASE \n    WORD a \n    WORD b \n  WORD c \n"},
      {"a = b c", "PHRASE \n  EQUIVALENCE \n    WORD a \n    WORD b \n  WORD c \n"},
      {"a - b - c", "MINUS \n  WORD a \n  WORD b \n  WORD c \n"},
      // modifiers and brackets
      {"$a", "WORD $ a \n"},
      {"?a !b", "PHRASE \n  WORD ? a \n  WORD ! b \n"},
      {"$?a", "WORD $ ? a \n"},
      {"$(a | b)", "OR $ \n  WORD a \n  WORD b \n"},
      {"$[a b]", "PHRASE \n  WORD a \n  WORD b \n"},
      {"[a b] c", "PHRASE \n  PHRASE \n    WORD a \n    WORD b \n  WORD c \n"},
      {"(a b) c", "PHRASE \n  WORD a \n  WORD b \n  WORD c \n"},
      {"[a & b] & c", "AND \n  AND \n    WORD a \n    WORD b \n  WORD c \n"},
      {"{a & b}", "WORD a & b \n"},
      {"{a} & b", "AND \n  WORD a \n  WORD b \n"},
      {"a * {2}", "WEIGHT 2.000\n  WORD a \n"},
      {"a * (2)", "WEIGHT 2.000\n  WORD a \n"},
      // calls: nodes only, shown with the printer's name for unknown ops
      {"exec f()", "EXECUTE f \n"},
      {"@f(a b, c)",
       "EXECUTE f \n  UNKNOWN NODE TYPE \n    UNKNOWN NODE TYPE \n      UNKNOWN NODE TYPE a \n"
       "      UNKNOWN NODE TYPE b \n    UNKNOWN NODE TYPE c \n"},
      {"@{f}({x}) & y",
       "AND \n  EXECUTE f \n    UNKNOWN NODE TYPE \n      UNKNOWN NODE TYPE x \n  WORD y \n"},
      {"syn(dog) cat",
       "PHRASE \n  UNKNOWN NODE TYPE \n    UNKNOWN NODE TYPE \n      UNKNOWN NODE TYPE dog \n"
       "  WORD cat \n"},
      {"SQE(saved) | b", "OR \n  SQE saved \n  WORD b \n"},
  };
  for (const Case &c : cases) {
    Outcome o = parse(c.query);
    EXPECT_EQ(o.rc, 0) << c.query;
    EXPECT_EQ(o.tree, c.tree) << c.query;
    EXPECT_TRUE(o.msgs.empty()) << c.query;
  }
}

TEST_F(Parser, NodeValuesAndLevels) {
  struct Case {
    const char *query;
    int op, level, value, value2;
  } cases[] = {
      {"a * 0.1", DRPOP_WEIGHT, 1, 100, 0},   {"a * 10", DRPOP_WEIGHT, 1, 10000, 0},
      {"a * 2.01", DRPOP_WEIGHT, 1, 2010, 0}, {"a * 1.001", DRPOP_WEIGHT, 1, 1001, 0},
      {"a * 9.9999", DRPOP_WEIGHT, 1, 9999, 0}, {"a > 100", DRPOP_THRESHOLD, 1, 100, 0},
      {"a : 65535", DRPOP_MAXDOC, 1, 65535, 0}, {"a # 3-3", DRPOP_FIRSTDOC, 1, 3, 3},
      {"a # 2-2147483647", DRPOP_FIRSTDOC, 1, 2, 2147483647},
      {"nt(a)", DRPOP_THES, 2, 1, 0},          {"ntg(a)", DRPOP_THES, 2, 9, 0},
      {"sqe(x)", DRPOP_SQE, 1, 0, 0},          {"a b", DRPOP_PHRASE, 2, 0, 0},
      {"a & b", DRPOP_AND, 1, 0, 0},
  };
  for (const Case &c : cases) {
    Outcome o = parse(c.query);
    ASSERT_EQ(o.rc, 0) << c.query;
    drpanode *n = drpanodep(last, last->root);
    EXPECT_EQ(n->op, c.op) << c.query;
    EXPECT_EQ(n->level, c.level) << c.query;
    EXPECT_EQ(n->value, c.value) << c.query;
    EXPECT_EQ(n->value2, c.value2) << c.query;
  }
}

// ---- errors ----

TEST_F(Parser, ErrorsWithLineAndColumn) {
  const int Q = DRPM_QUERY, S = DRPM_SYNTAX;
  struct Case {
    const char *query;
    int theme;
    std::vector<int> msgs;
    int line, col;
  } cases[] = {
      {"", 0, {S}, 1, 1},
      {"fox &", 0, {S}, 1, 6},
      {"fox\n&", 0, {S}, 2, 2},
      {"a & & b", 0, {S}, 1, 5},
      {"(a b", 0, {S}, 1, 5},
      {"a )", 0, {S}, 1, 3},
      // value errors: the action runs when its rule is reduced, which for
  // these rules is right after the number is read
  // weights, thresholds, document limits
      {"fox * 11", 0, {DRPM_WRANGE, Q}, 1, 7},
      {"fox * 0.09", 0, {DRPM_WRANGE, Q}, 1, 7},
      {"fox * 10.5", 0, {DRPM_WRANGE, Q}, 1, 7},
      {"fox * 10.0001", 0, {DRPM_WRANGE, Q}, 1, 7},
      {"fox * abc", 0, {DRPM_WNUM, Q}, 1, 7},
      {"fox * 11 &", 0, {DRPM_WRANGE, Q}, 1, 7},
      {"fox > 2.5", 0, {DRPM_TINT, Q}, 1, 7},
      {"fox > 101", 0, {DRPM_TRANGE, Q}, 1, 7},
      {"fox > {-1}", 0, {DRPM_TRANGE, Q}, 1, 8},
      {"fox > x", 0, {DRPM_WNUM, Q}, 1, 7},
      {"fox : 65536", 0, {DRPM_MRANGE, Q}, 1, 7},
      {"fox : 0", 0, {DRPM_MRANGE, Q}, 1, 7},
      {"fox : 1.5", 0, {DRPM_MINT, Q}, 1, 7},
      {"fox : x", 0, {DRPM_MNUM, Q}, 1, 7},
      {"fox # 5-3", 0, {DRPM_LORDER, Q}, 1, 9},
      {"fox # 0-3", 0, {DRPM_FFIRST, Q}, 1, 9},
      {"fox # x-3", 0, {DRPM_FNUM, Q}, 1, 9},
      {"fox # 1.5-3", 0, {DRPM_FINT, Q}, 1, 11},
      {"fox # 99999999999-1", 0, {DRPM_FINT, Q}, 1, 19},
      {"fox # 1-x", 0, {DRPM_LNUM, Q}, 1, 9},
      {"fox # 1-2.5", 0, {DRPM_LINT, Q}, 1, 9},
      // where MAX_DOC and FIRST_DOC may stand
      {"fox # 1-2 : 2", 0, {S}, 1, 11},
      {"(fox : 2) & b", 0, {S}, 1, 11},
      {"a & b : 2 c", 0, {S}, 1, 11},
      // operands of word-level operators
      {"(a ; b) c", 0, {DRPM_PHRASEARG, Q}, 1, 10},
      {"(a & b) ; c", 0, {DRPM_NEARARG, Q}, 1, 12},
      {"a = (b c)", 0, {DRPM_EQUIVARG, Q}, 1, 9},
      {"a = (b ; c)", 0, {DRPM_EQUIVARG, Q}, 1, 11},
      {"(a * 2) b", 0, {DRPM_PHRASEARG, Q}, 1, 10},
      // braces
      {"{abc", 0, {DRPM_UNCLOSED, Q}, 1, 5},
      {"a {", 0, {DRPM_UNCLOSED, Q}, 1, 4},
      // theme lexer rules
      {"$a", 1, {DRPM_THEMEMOD, Q}, 1, 2},
      {"^a", 0, {DRPM_NOTHEME, Q}, 1, 2},
      {"a ; b", 1, {DRPM_THEMENEAR, Q}, 1, 6},
      {"a = b", 1, {Q}, 1, 5},
      {"^a b", 1, {DRPM_THEMEPHRASE, Q}, 1, 5},
      // a stored function where a number belongs runs at once: without a
      // database the call fails and says so
      {"a * @f()", 0, {DRPM_CALLFAIL, DRPM_CALLTEXT, Q}, 1, 8},
  };
  for (const Case &c : cases) {
    Outcome o = parse(c.query, c.theme);
    EXPECT_EQ(o.rc, 1) << c.query;
    EXPECT_EQ(o.msgs, c.msgs) << c.query;
    EXPECT_EQ(o.line, c.line) << c.query;
    EXPECT_EQ(o.col, c.col) << c.query;
    for (int i = 1; i <= rtmsgcnt(srv->msg); i++) {
      char text[512];
      rtmsgtxt(srv->msg, i, text, sizeof text);
      EXPECT_EQ(std::strstr(text, "not found"), nullptr) << c.query << ": " << text;
    }
  }
  // The position is in the text of the message.
  parse("fox &");
  char text[512];
  rtmsgtxt(srv->msg, 1, text, sizeof text);
  EXPECT_STREQ(text, "DRG-50901: syntax error in the text query at line 1, column 6");
  // Accepted in theme mode.
  Outcome o = parse("^a | b", 1);
  EXPECT_EQ(o.rc, 0);
  EXPECT_EQ(o.tree, "OR \n  WORD ^ a \n  WORD b \n");
}

TEST_F(Parser, EarlierStackEntryDoesNotHideSyntaxError) {
  fresh();
  dracnerr(srv, DRFAC_DRG, 10900, 1, 0);
  drpabuf *b = nullptr;
  EXPECT_EQ(drpmparse(srv, &b, "SCOTT", "a &", kw, 1, 0), 1);
  EXPECT_EQ(stack(), (std::vector<int>{10900, DRPM_SYNTAX}));
}

TEST_F(Parser, MemoryShortageFailsCleanly) {
  // The k-th allocation from the heaps fails: the parse ends with 1 and a
  // message, or succeeds when k lies beyond what it needs.
  bool succeeded = false;
  for (int k = 1; k <= 40 && !succeeded; k++) {
    fresh();
    drpabuf *b = nullptr;
    rthpfailat(srv->hpmgr, k);
    testing::internal::CaptureStdout();
    int rc = drpmparse(srv, &b, "SCOTT", "a & (b | c d) * 2", kw, 1, 0);
    testing::internal::GetCapturedStdout();
    rthpfailat(srv->hpmgr, 0);
    if (rc == 0) {
      succeeded = true;
      EXPECT_EQ(print(b), "AND \n  WORD a \n  WEIGHT 2.000\n    OR \n      WORD b \n      PHRASE \n"
                          "        WORD c \n        WORD d \n");
    } else {
      EXPECT_EQ(rc, 1) << k;
      EXPECT_GT(rtmsgcnt(srv->msg), 0) << k;
      // The runtime's raise is caught and its own entry removed: what
      // remains says why (the heap layer's message), not that a raise
      // happened.
      for (int i = 1; i <= rtmsgcnt(srv->msg); i++) {
        char text[512];
        rtmsgtxt(srv->msg, i, text, sizeof text);
        EXPECT_NE(std::string(text).rfind("par-", 0), 0u) << k << ": " << text;
      }
    }
  }
  EXPECT_TRUE(succeeded);
}

TEST_F(Parser, ParseIntoExistingBuffer) {
  Outcome o = parse("a & b");
  ASSERT_EQ(o.rc, 0);
  drpabuf *b = last;
  int32_t oldroot = b->root, nodes = b->nnodes, strs = b->strbytes;
  ASSERT_EQ(drpmparse(srv, &b, "SCOTT", "c | d", kw, 0, 0), 0);
  EXPECT_NE(b->root, oldroot);
  EXPECT_EQ(b->nnodes, nodes + 3);
  EXPECT_GT(b->strbytes, strs);
  EXPECT_EQ(print(b), "OR \n  WORD c \n  WORD d \n");
  b->root = oldroot;
  EXPECT_EQ(print(b), "AND \n  WORD a \n  WORD b \n");
}

TEST_F(Parser, KeywordTableAndModifiers) {
  uint16_t code = 0;
  EXPECT_EQ(drphget(kw, srv, "NEAR", &code), 0);
  EXPECT_EQ(code, DRPT_NEAR);
  EXPECT_EQ(drphget(kw, srv, "near", &code), 1);  // the lexer upper-cases first
  EXPECT_EQ(code, 0);
  EXPECT_EQ(drphget(nullptr, srv, "NEAR", &code), 1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(drphput(kw, srv, std::string(257, 'K').c_str(), 1), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "hash map failed\n");
  EXPECT_EQ(stack(), (std::vector<int>{DRPM_INTERNAL}));

  uint8_t flags = 0;
  int32_t pos = 0;
  EXPECT_EQ(drpmmods(&flags, "!$?^", &pos), 0);
  EXPECT_EQ(flags, DRPF_SOUNDEX | DRPF_STEM | DRPF_FUZZY | DRPF_THEME);
  EXPECT_EQ(drpmmods(&flags, "", &pos), 0);
  EXPECT_EQ(flags, 0);
  EXPECT_EQ(drpmmods(&flags, "$x", &pos), 1);
  EXPECT_EQ(pos, 2);
}

// ---- parse buffer ----

struct Buffer : Parser {
  drpabuf *make(int32_t size) {
    auto *b = static_cast<drpabuf *>(
        drumalc(srv, srv->hpmgr, srv->cmdhp, 1, static_cast<size_t>(size), __FILE__, __LINE__));
    EXPECT_EQ(drpainit(b, size, srv), 0);
    return b;
  }
};

TEST_F(Buffer, SmallestSize) {
  std::vector<char> block(DRPA_MINSIZE);
  auto *b = reinterpret_cast<drpabuf *>(block.data());
  EXPECT_EQ(drpainit(b, DRPA_MINSIZE - 1, srv), -1);
  EXPECT_EQ(drpainit(b, DRPA_MINSIZE, srv), 0);
  EXPECT_EQ(b->err.line, 1);
  EXPECT_EQ(b->err.col, 1);
  EXPECT_EQ(b->areasize % 1, 0);
  EXPECT_EQ((b->nodebase - reinterpret_cast<char *>(b) + DRPA_NODESIZE) % DRPA_NODESIZE, 0);
}

TEST_F(Buffer, GrowthKeepsNumbersAndOffsets) {
  drpabuf *b = make(DRPA_MINSIZE);
  std::vector<int32_t> nodes, strs;
  std::vector<std::string> texts;
  for (int i = 0; i < 400; i++) {
    int32_t n = 0, s = 0;
    ASSERT_EQ(drpanewnode(&n, &b), 0);
    EXPECT_EQ(n, i + 1);
    drpanode *p = drpanodep(b, n);
    std::memset(p, 0, sizeof *p);
    p->op = DRPOP_WORD;
    p->value = i;
    std::string t = "w" + std::to_string(i);
    ASSERT_EQ(drpanewstr(&s, t.c_str(), &b), 0);
    p = drpanodep(b, n);  // may have moved
    p->text = s;
    nodes.push_back(n);
    strs.push_back(s);
    texts.push_back(t);
  }
  EXPECT_GT(b->blocksize, DRPA_MINSIZE);
  for (size_t i = 0; i < nodes.size(); i++) {
    drpanode *p = drpanodep(b, nodes[i]);
    EXPECT_EQ(p->value, static_cast<int32_t>(i));
    EXPECT_EQ(p->text, strs[i]);
    EXPECT_STREQ(drpastrp(b, strs[i]), texts[i].c_str());
  }
}

TEST_F(Buffer, NeverGrowsPastTheLimit) {
  drpabuf *b = make(DRPA_MAXSIZE);
  EXPECT_EQ(drpagrow(&b), 1);
  EXPECT_EQ(stack(), (std::vector<int>{DRPM_TOOBIG}));
  EXPECT_EQ(b->blocksize, DRPA_MAXSIZE);
  drueclr(srv);
  // Filling it: the reserving operation adds 50935 to the refusal.
  int32_t off = 0;
  std::string big(DRPA_MAXSIZE / 2, 'x');
  EXPECT_EQ(drpaaddstr(&off, big.c_str(), &b), 0);
  EXPECT_EQ(drpaaddstr(&off, big.c_str(), &b), 1);
  EXPECT_EQ(stack(), (std::vector<int>{DRPM_TOOBIG, DRPM_INTERNAL}));
  EXPECT_EQ(b->blocksize, DRPA_MAXSIZE);
}

TEST_F(Buffer, ErrorPosition) {
  drpgerrrec r;
  drpgposinit(&r);
  drpgposset(&r, DRPM_SYNTAX);
  drpgposset(&r, DRPM_QUERY);  // the first stays
  EXPECT_EQ(r.num, DRPM_SYNTAX);
  drpgposlen(&r, 3);
  drpgerrpos(srv, &r, "a\nbc");
  EXPECT_EQ(r.line, 2);
  EXPECT_EQ(r.col, 2);
  EXPECT_EQ(stack(), (std::vector<int>{DRPM_SYNTAX}));
}

TEST_F(Buffer, PrinterEdges) {
  drpabuf *b = make(DRPA_FIRSTSIZE);
  int32_t n = 0, s = 0, c = 0;
  ASSERT_EQ(drpanewnode(&n, &b), 0);
  ASSERT_EQ(drpanewstr(&s, "fox", &b), 0);
  drpanode *p = drpanodep(b, n);
  std::memset(p, 0, sizeof *p);
  p->op = 99;
  p->text = s;
  b->root = n;
  EXPECT_EQ(print(b), "UNKNOWN NODE TYPE fox \n");
  EXPECT_STREQ(drptname(DRPOP_WORD), "WORD");

  // A tree too large for the output: one 50935 per level, and what was
  // written stays.
  ASSERT_EQ(drpanewnode(&c, &b), 0);
  p = drpanodep(b, n);
  p->op = DRPOP_AND;
  p->text = 0;
  p->first = p->last = c;
  p->nchild = 1;
  drpanode *q = drpanodep(b, c);
  std::memset(q, 0, sizeof *q);
  q->op = DRPOP_WORD;
  q->text = s;
  std::vector<char> out(140);
  size_t pos = 0;
  EXPECT_EQ(drptprint(n, b, out.data(), out.size(), &pos, 0), 1);
  EXPECT_EQ(std::string(out.data(), pos), "AND \n  WORD fox \n");
  EXPECT_EQ(stack(), (std::vector<int>{DRPM_INTERNAL, DRPM_INTERNAL}));

  // Document limits from the header print first.
  drueclr(srv);
  b->firstdoc = 3;
  b->lastdoc = 7;
  b->maxdoc = 10;
  b->root = c;
  EXPECT_EQ(print(b), "FIRST_DOC 3 to 7\nMAX_DOC 10\nWORD fox \n");
}

// ---- hard inputs ----

TEST_F(Parser, HardInputs) {
  std::string nest = std::string(500, '(') + "fox" + std::string(500, ')');
  Outcome o = parse(nest);
  EXPECT_EQ(o.rc, 0);
  EXPECT_EQ(o.tree, "WORD fox \n");

  std::string chain = "w0";
  for (int i = 1; i <= 200; i++) chain += " & w" + std::to_string(i);
  o = parse(chain);
  EXPECT_EQ(o.rc, 0);
  EXPECT_EQ(drpanodep(last, last->root)->nchild, 201);

  std::string ops = "a";
  for (int i = 0; i < 200; i++) ops += " &";
  ops += " b";
  o = parse(ops);
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.msgs, (std::vector<int>{DRPM_SYNTAX}));
  EXPECT_EQ(o.col, 5);

  o = parse(std::string(200, '$') + "fox");
  EXPECT_EQ(o.rc, 0);
  EXPECT_EQ(o.tree, "WORD $ fox \n");

  std::string right = "a";
  for (int i = 0; i < 500; i++) right = "b" + std::to_string(i) + " & (c | " + right + ")";
  o = parse(right);
  EXPECT_EQ(o.rc, 0);

  std::string opens = std::string(20000, '(');
  o = parse(opens);
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.msgs, (std::vector<int>{DRPM_SYNTAX}));
}

TEST_F(Parser, BufferLimitEndsTheParseCleanly) {
  // Twenty thousand words of 60 bytes: more text than a buffer may hold.
  std::string q;
  for (int i = 0; i < 20000; i++) q += std::string(55, 'w') + std::to_string(10000 + i) + " ";
  Outcome o = parse(q);
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.msgs, (std::vector<int>{DRPM_TOOBIG, DRPM_INTERNAL, DRPM_NOMEM}));
  EXPECT_EQ(last->blocksize, DRPA_MAXSIZE);
}

}  // namespace
