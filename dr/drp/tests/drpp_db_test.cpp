// Thesaurus operators and stored functions against the private cluster:
// answers parsed into the query, identical calls shared, answers that are no
// query refused, calls run with the rights of the query's user, statements
// that no text of a query can break out of.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "dr/drp/drpint.h"
#include "dr/drp/drtq.h"
#include "dr/dru/dru.h"
#include "tests/fixtures/db/pguser.h"
#include "tests/fixtures/query/qdoubles.h"
#include "tests/fixtures/server/pgtest.h"
#include "tests/fixtures/server/statefix.h"

namespace {

struct Calls : statefix::State {
  pgtest::Role alice{"alice"};
  qdbl::Lexer lex;
  qdbl::Words words;
  std::string t;  // prefix of the test's own words and procedures
  std::unique_ptr<pgtest::Conn> db;
  drobj *qp = nullptr;

  Calls() { logname = "drpp"; }

  void SetUp() override {
    if (!getenv("PGHOST")) GTEST_SKIP() << "no database cluster (PGHOST)";
    statefix::State::SetUp();
    ASSERT_EQ(logon(pgtest::userstring()), 0);
    t = "t" + std::to_string(getpid());
    db = std::make_unique<pgtest::Conn>(getenv("PGDATABASE"));
    ASSERT_TRUE(db->ok());
    const std::string &u = alice.name;
    for (const std::string &sql : {
             "CREATE TABLE public." + t + "log (a text, who text)",
             "GRANT SELECT, INSERT ON public." + t + "log TO " + u,
             "INSERT INTO vek_ths.relation VALUES ('" + t + "boat', 'SYN', '" + t + "ship'), ('" +
                 t + "boat', 'SYN', '" + t + "vessel'), ('" + t + "boat', 'NT', '" + t + "dinghy')",
             // The answer of a stored function is a query text.
             "CREATE PROCEDURE public." + t + "two(INOUT res text) LANGUAGE sql AS $$ SELECT '2' $$",
             "CREATE PROCEDURE public." + t + "cnt(INOUT res text, a text) LANGUAGE plpgsql AS $$"
             " BEGIN INSERT INTO public." + t + "log VALUES (a, current_user);"
             " res := '{' || a || '}'; END $$",
             "CREATE PROCEDURE public." + t + "ans(INOUT res text, a text) LANGUAGE sql AS $$"
             " SELECT CASE a WHEN 'max' THEN 'red : 5' WHEN 'near' THEN 'a ; b'"
             " WHEN 'empty' THEN '' WHEN 'nested' THEN 'SYN(x)' END $$",
             "CREATE PROCEDURE public." + t + "secret(INOUT res text) LANGUAGE sql AS $$ SELECT 'x' $$",
             "CREATE PROCEDURE public." + t + "errp(INOUT res text, INOUT err integer, a text)"
             " LANGUAGE sql AS $$ SELECT 'the thesaurus', 50701 $$",
             "CREATE FUNCTION public." + t + "mark() RETURNS text LANGUAGE sql AS $$"
             " INSERT INTO public." + t + "log VALUES ('injected', current_user) RETURNING a $$",
         })
      PQclear(db->run(sql, {}));
    for (const char *p : {"two(text)", "cnt(text, text)", "ans(text, text)", "secret(text)",
                          "errp(text, integer, text)"})
      PQclear(db->run("REVOKE ALL ON PROCEDURE public." + t + p + " FROM PUBLIC", {}));
    for (const char *p : {"two(text)", "cnt(text, text)", "ans(text, text)", "errp(text, integer, text)"})
      PQclear(db->run("GRANT EXECUTE ON PROCEDURE public." + t + p + " TO " + u, {}));
    PQclear(db->run("GRANT EXECUTE ON FUNCTION public." + t + "mark() TO " + u, {}));
  }

  void TearDown() override {
    if (db) {
      for (const std::string &sql :
           {"DROP TABLE IF EXISTS public." + t + "log",
            "DELETE FROM vek_ths.relation WHERE term LIKE '" + t + "%'",
            "DROP PROCEDURE IF EXISTS public." + t + "two, public." + t + "cnt, public." + t +
                "ans, public." + t + "secret, public." + t + "errp",
            "DROP FUNCTION IF EXISTS public." + t + "mark"})
        PQclear(db->exec(sql, {}));
      db.reset();
    }
    statefix::State::TearDown();
  }

  const drtqops *ops() { return drops<drtqops>(qp); }
  drpabuf *buf() { return reinterpret_cast<drtqcmp *>(qp)->buf; }

  std::vector<int> stack() {
    std::vector<int> v;
    for (int i = 1; i <= rtmsgcnt(st->msg); i++) v.push_back(rtmsgnum(st->msg, i));
    return v;
  }

  // Parses q with the normalisation flags; the rendered tree, or "" when
  // the parse failed (its messages are on the stack).
  std::string parse(const std::string &q, uint16_t flags = DRTQ_QUERY) {
    drueclr(st);
    EXPECT_EQ(dracnchp(st), 0);
    qp = drtqnew(st, DRTQ_KIND);
    EXPECT_EQ(ops()->setup(qp, flags, alice.name.c_str(), nullptr, words.obj(), nullptr,
                           lex.obj(), nullptr, nullptr, 0),
              0);
    testing::internal::CaptureStdout();
    int rc = ops()->parse(qp, q.c_str());
    testing::internal::GetCapturedStdout();
    // A command's work ends with it, as the reply does.
    if (rc == 0) druocmt(st);
    else druorbk(st);
    if (rc != 0) return "";
    return qdbl::render(buf(), buf()->root);
  }

  std::string upper(std::string s) {
    for (char &c : s) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return s;
  }
  // The node texts of every node of op in the parsed buffer.
  std::vector<drpanode *> nodes(int op) {
    std::vector<drpanode *> v;
    for (int32_t i = 1; i <= buf()->nnodes; ++i)
      if (drpanodep(buf(), i)->op == op) v.push_back(drpanodep(buf(), i));
    return v;
  }
  std::string count(const std::string &where) {
    return db->one("SELECT count(*) FROM public." + t + "log WHERE " + where).value_or("?");
  }
};

TEST_F(Calls, ThesaurusOperatorsExpandIntoTheQuery) {
  std::string T = upper(t);
  EXPECT_EQ(parse("SYN(" + t + "boat) & harbour"),
            "AND(OR(" + T + "BOAT, " + T + "SHIP, " + T + "VESSEL), HARBOUR)")
      << ::testing::PrintToString(stack());
  EXPECT_EQ(parse("NT(" + t + "boat) & SYN(" + t + "none)"),
            "AND(OR(" + T + "BOAT, " + T + "DINGHY), " + T + "NONE)");
  // The answer goes through the query language: a quote stays a character.
  EXPECT_EQ(parse("SYN({it's})"), "PHRASE(IT, S)");
}

TEST_F(Calls, IdenticalCallsShareOneExpansion) {
  std::string q = "@" + t + "cnt(a) | @" + t + "cnt(a) | @" + t + "cnt(a)";
  ASSERT_NE(parse(q, DRTQ_MODS | DRTQ_THES), "") << ::testing::PrintToString(stack());
  std::vector<drpanode *> shared = nodes(DRPOP_SHARED);
  ASSERT_EQ(shared.size(), 1u);
  EXPECT_EQ(shared[0]->value2, 3);
  EXPECT_EQ(shared[0]->value, 1);
  EXPECT_EQ(count("a = 'a'"), "1");
  EXPECT_EQ(parse(q), "OR(A, A, A)");
  EXPECT_EQ(count("a = 'a'"), "2");
  // The same call under another modifier runs again.
  EXPECT_EQ(parse("@" + t + "cnt(b) | $@" + t + "cnt(b)"), "OR(B, B$)");
  EXPECT_EQ(count("a = 'b'"), "2");
  // Every call ran as the query's user.
  EXPECT_EQ(count("who <> '" + alice.name + "'"), "0");
}

TEST_F(Calls, AnswersThatAreNoQueryEndIt) {
  const struct {
    std::string query;
    int msg;
  } rows[] = {
      {"@" + t + "ans(max) & boat", DRPM_NOTHING},
      {"big @" + t + "ans(near)", DRPM_PHRASEARG},
      {"@" + t + "ans(empty)", DRPM_CALLBAD},
      {"@" + t + "ans(nested)", DRPM_CALLNEST},
  };
  for (const auto &r : rows) {
    EXPECT_EQ(parse(r.query), "") << r.query;
    std::vector<int> msgs = stack();
    EXPECT_NE(std::find(msgs.begin(), msgs.end(), r.msg), msgs.end())
        << r.query << ": " << ::testing::PrintToString(msgs);
  }
}

TEST_F(Calls, StoredFunctionsStandForNumbers) {
  EXPECT_EQ(parse("boat * @" + t + "two()"), "WEIGHT 2000(BOAT)")
      << ::testing::PrintToString(stack());
}

// The statements as built, and as run: no parameters, no parentheses of
// their own; a phrase one literal.
TEST_F(Calls, StatementsCarryTheirParametersAsLiterals) {
  ASSERT_NE(parse("@" + t + "two() & @" + t + "cnt(big red boat)", DRTQ_THES), "");
  std::vector<drpanode *> calls = nodes(DRPOP_EXECUTE);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_STREQ(drpastrp(buf(), calls[0]->text), ("CALL public." + t + "two(:res)").c_str());
  EXPECT_STREQ(drpastrp(buf(), calls[1]->text),
               ("CALL public." + t + "cnt(:res, 'big red boat')").c_str());
  EXPECT_EQ(parse("@" + t + "cnt(big red boat)"), "PHRASE(BIG, RED, BOAT)");
}

TEST_F(Calls, CallsTheUserMayNotMakeAreRefused) {
  EXPECT_EQ(parse("@" + t + "secret()"), "");
  EXPECT_EQ(stack(), std::vector<int>{DRPM_NORIGHT});
  // A name that is no name reaches the access check as a text, nothing else.
  EXPECT_EQ(parse("@{x'||public." + t + "mark()||'}(a)"), "");
  EXPECT_EQ(stack(), std::vector<int>{DRPM_NORIGHT});
  EXPECT_EQ(parse("SYN({x')||public." + t + "mark()||('})"), "PHRASE(X, PUBLIC, " + upper(t) +
                                                                   "MARK)");
  EXPECT_EQ(count("true"), "0");
}

TEST_F(Calls, FailedCallsSayWhy) {
  // No thesaurus procedure takes two terms.
  EXPECT_EQ(parse("SYN(a, b)"), "");
  EXPECT_EQ(stack(), (std::vector<int>{DRPM_CALLFAIL, DRPM_CALLTEXT}));
  std::string lg = log();
  EXPECT_NE(lg.find("does not exist"), std::string::npos) << lg;
  EXPECT_NE(lg.find("While processing KCI function"), std::string::npos) << lg;
  // The error number a call answers is pushed with its answer.
  ASSERT_NE(parse("x", 0), "");
  char res[DRPP_AREA];
  std::string stmt = "CALL public." + t + "errp(:res, :err, 'a')";
  drpabuf *b = buf();
  EXPECT_EQ(drpprun(alice.name.c_str(), res, sizeof res, stmt.c_str(), &b), 7);
  EXPECT_EQ(stack(), std::vector<int>{50701});
  char text[2000] = "";
  druestk(st, text, sizeof text);
  EXPECT_NE(std::string(text).find("the thesaurus"), std::string::npos) << text;
}


// The name the access check answers goes into a statement as it stands: an
// answer that is no plain name is refused, whatever the check says. (The
// database side's own check answers none; one of the test's own database
// does.)
struct Access : statefix::State {
  pgtest::Role bob{"bob"};
  pgtest::Database db;
  qdbl::Lexer lex;

  void SetUp() override {
    if (!getenv("PGHOST")) GTEST_SKIP() << "no database cluster (PGHOST)";
    ASSERT_TRUE(db.ready);
    statefix::State::SetUp();
    ASSERT_EQ(logon(db.user()), 0);
    pgtest::Conn c(db.name);
    PQclear(c.run("CREATE OR REPLACE PROCEDURE vek_access.can_execute(INOUT res text, usr text,"
                  " name text) LANGUAGE sql AS $$ SELECT 'public.f(:res); DROP TABLE dr$policy; --' $$",
                  {}));
  }
};

TEST_F(Access, AnAnswerThatIsNoNameIsRefused) {
  ASSERT_EQ(dracnchp(st), 0);
  drobj *qp = drtqnew(st, DRTQ_KIND);
  const drtqops *ops = drops<drtqops>(qp);
  ASSERT_EQ(ops->setup(qp, DRTQ_QUERY, bob.name.c_str(), nullptr, nullptr, nullptr, lex.obj(),
                       nullptr, nullptr, 0),
            0);
  EXPECT_EQ(ops->parse(qp, "@f()"), 1);
  std::vector<int> msgs;
  for (int i = 1; i <= rtmsgcnt(st->msg); i++) msgs.push_back(rtmsgnum(st->msg, i));
  EXPECT_EQ(msgs, std::vector<int>{DRPM_NORIGHT});
  druorbk(st);
  pgtest::Conn c(db.name);
  EXPECT_EQ(c.one("SELECT to_regclass('dr$policy') IS NOT NULL"), "t");
}

}  // namespace
