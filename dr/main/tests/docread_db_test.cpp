// Documents read by a veksrv process that starts without NLS_LANG: the
// character set it takes and logs, characters outside it replaced with one
// warning per document or message, a fetch that fails ending the read once, documents
// above the size and word limits refused or cut with an error row each, and
// begins sent again and id arguments below 0.
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/fixtures/engine/idxfix.h"

namespace {

using pgtest::Conn;
using pgtest::Reply;

constexpr int kPol = 1000;

bool has(const std::string &text, const std::string &part) {
  return text.find(part) != std::string::npos;
}

size_t count(const std::string &text, const std::string &part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

struct Reading : ::testing::Test {
  pgtest::Database db;
  pgtest::Server srv;
  std::unique_ptr<Conn> c;
  std::string pol = std::to_string(kPol);

  void SetUp() override {
    PGTEST_NEED_DB(db);
    const char *nls = getenv("NLS_LANG");
    std::string saved = nls ? nls : "";
    unsetenv("NLS_LANG");
    // A size limit the test can pass without moving much data.
    setenv("KESTRIN_MAXDOC", "9M", 1);
    srv.start({"-user", db.user(), "-logfile", srv.logpath, "-personality", "DQM"}, db.name);
    unsetenv("KESTRIN_MAXDOC");
    if (nls) setenv("NLS_LANG", saved.c_str(), 1);
    c = std::make_unique<Conn>(db.name);
    ASSERT_TRUE(srv.ready()) << srv.out();
    c->one("CREATE SCHEMA t");
  }
  Reply cmd(int code, const std::vector<std::optional<std::string>> &args) {
    return pgtest::submit(*c, code, args, 120);
  }
  // Begins and populates the policy's index; the populate's reply.
  Reply index() {
    Reply b = cmd(10, {pol, "1", "1", "C"});
    EXPECT_EQ(b.code, 101) << b.arg(1);
    return cmd(11, {pol, "1", "1", "1", "C"});
  }
  // The error rows of documents the indexer could not read, in order.
  std::vector<std::string> errors() {
    return c->col("SELECT coalesce(par[2], '') || ': ' || errors FROM svcq.request"
                  " WHERE svctype = 'INDEX_SVC' ORDER BY svcno");
  }
  // The server still answers.
  void answers() {
    Reply r = cmd(201, {"2", "40"});
    EXPECT_EQ(r.code, 101);
    EXPECT_EQ(r.arg(3), "42");
  }
};

TEST_F(Reading, CharactersOutsideTheSetAreReplacedWithOneWarning) {
  // Without NLS_LANG the session holds Western European letters.
  EXPECT_TRUE(has(srv.out(), "NLS_LANG not set - using defaults.\n")) << srv.out();
  EXPECT_TRUE(has(srv.log(), "Character set WE8ISO8859P1\n")) << srv.log();
  c->one("CREATE TABLE t.docs (id integer PRIMARY KEY, body text)");
  // The last one is long: it is read whole from the database, after the
  // part the fetch brings.
  c->one("INSERT INTO t.docs VALUES (1, 'city of \u0141\u00f3d\u017a'), (2, 'caf\u00e9 cr\u00e8me'),"
         " (3, 'plain words'), (4, repeat('x ', 20000) || '\u0141\u00f3d\u017a')");
  idxfix::policy(*c, kPol, "DOCS", {});
  Reply r = index();
  EXPECT_EQ(r.code, 101) << r.arg(1);
  idxfix::Decoded d = idxfix::decode(*c, kPol, DREL_KIND0, {"1", "2", "3"});
  EXPECT_EQ(d.kept, idxfix::expected({{"1", {"CITY", "OF", "\u00d3D"}},
                                      {"2", {"CAF\u00c9", "CR\u00c8ME"}},
                                      {"3", {"PLAIN", "WORDS"}}},
                                     {}));
  idxfix::Decoded all = idxfix::decode(*c, kPol, DREL_KIND0, {"4"});
  ASSERT_EQ(all.kept.size(), 20001u);
  EXPECT_EQ(all.kept.front().word, "X");
  EXPECT_EQ(all.kept.back().word, "\u00d3D");
  std::string log = srv.log();
  EXPECT_EQ(count(log, "Warning: document 1 holds 2 characters outside character set WE8ISO8859P1"), 1u)
      << log;
  EXPECT_EQ(count(log, "Warning: document 4 holds 2 characters"), 1u) << log;
  EXPECT_EQ(count(log, "Warning: document"), 2u) << log;
  EXPECT_TRUE(errors().empty());
  answers();
  // A message holding such a character is served with it replaced, and the
  // server goes on.
  Reply rev = cmd(204, {"5 \u20ac"});
  EXPECT_EQ(rev.code, 101);
  EXPECT_EQ(rev.arg(10), "5 \u00bf");
  EXPECT_EQ(count(srv.log(), "Warning: message " + std::to_string(rev.id) + " holds 1 characters"), 1u)
      << srv.log();
  answers();
}

TEST_F(Reading, AFetchThatFailsEndsTheReadWithOneErrorRow) {
  // A key the session's set cannot carry fails the fetch itself.
  c->one("CREATE TABLE t.names (id text PRIMARY KEY, body text)");
  c->one("INSERT INTO t.names VALUES ('a', 'first'), ('\u0141\u00f3d\u017a', 'city'), ('z', 'last')");
  idxfix::policy(*c, kPol, "NAMES", {});
  c->one("UPDATE dr$policy SET pol_key_type = 1 WHERE pol_id = $1::integer", {pol});
  Reply r = index();
  EXPECT_EQ(r.code, 101) << r.arg(1);
  std::vector<std::string> e = errors();
  ASSERT_EQ(e.size(), 1u) << srv.log();
  EXPECT_TRUE(has(e[0], "LATIN1")) << e[0];
  answers();
  EXPECT_EQ(errors().size(), 1u);
}

TEST_F(Reading, DocumentsAboveTheLimitsAreErrorsAndThePopulateGoesOn) {
  c->one("CREATE TABLE t.docs (id integer PRIMARY KEY, body text)");
  // 10 MB against a limit of 9 MB; then one word more than a document may
  // index, in 8 MB.
  c->one("INSERT INTO t.docs VALUES (1, 'before'), (2, repeat('abcdefghi ', 1048576)),"
         " (3, 'between'), (4, repeat('a ', 4194304) || 'z'), (5, 'after')");
  idxfix::policy(*c, kPol, "DOCS", {});
  Reply r = index();
  EXPECT_EQ(r.code, 101) << r.arg(1);
  std::vector<std::string> e = errors();
  ASSERT_EQ(e.size(), 2u) << srv.log();
  EXPECT_TRUE(has(e[0], "2: ")) << e[0];
  EXPECT_TRUE(has(e[0], "DRG-10727: document 2 has 10485760 bytes, more than the limit of 9437184"))
      << e[0];
  EXPECT_TRUE(has(e[1], "4: ")) << e[1];
  EXPECT_TRUE(has(e[1], "DRG-10728: document 4 has more than 4194304 words")) << e[1];
  idxfix::Decoded d = idxfix::decode(*c, kPol, DREL_KIND0, {"1", "3", "5"});
  EXPECT_EQ(d.kept, idxfix::expected({{"1", {"BEFORE"}}, {"3", {"BETWEEN"}}, {"5", {"AFTER"}}}, {}));
  // The words up to the limit are indexed, the one past it is not.
  idxfix::Decoded big = idxfix::decode(*c, kPol, DREL_KIND0);
  EXPECT_EQ(big.count, 3u + 4194304u);
  answers();
}

TEST_F(Reading, BytesAboveTheLimitsAreErrorsToo) {
  // The same limits over a column of bytes: one document above the size
  // limit, one past the word limit, each an error row of its own.
  c->one("CREATE TABLE t.bin (id integer PRIMARY KEY, body bytea)");
  c->one("INSERT INTO t.bin VALUES (1, 'before'), (2, convert_to(repeat('abcdefghi ', 1048576), 'UTF8')),"
         " (3, convert_to(repeat('a ', 4194304) || 'z', 'UTF8')), (4, 'after')");
  idxfix::policy(*c, kPol, "BIN", {});
  c->one("UPDATE dr$policy SET pol_text_type = 24 WHERE pol_id = $1::integer", {pol});
  Reply r = index();
  EXPECT_EQ(r.code, 101) << r.arg(1);
  std::vector<std::string> e = errors();
  ASSERT_EQ(e.size(), 2u) << srv.log();
  EXPECT_TRUE(has(e[0], "DRG-10727: document 2 has 10485760 bytes, more than the limit of 9437184"))
      << e[0];
  EXPECT_TRUE(has(e[1], "DRG-10728: document 3 has more than 4194304 words")) << e[1];
  idxfix::Decoded d = idxfix::decode(*c, kPol, DREL_KIND0, {"1", "4"});
  EXPECT_EQ(d.kept, idxfix::expected({{"1", {"BEFORE"}}, {"4", {"AFTER"}}}, {}));
  answers();
}

TEST_F(Reading, BeginsSentAgainAndIdsBelowZero) {
  c->one("CREATE TABLE t.docs (id integer PRIMARY KEY, body text)");
  c->one("INSERT INTO t.docs VALUES (1, 'one'), (2, 'two')");
  idxfix::policy(*c, kPol, "DOCS", {});
  // A begin that fails leaves its row in the index log; sent again once the
  // cause is gone, it goes through.
  c->one("CREATE VIEW " + idxfix::object(kPol, "sqr") + " AS SELECT 1 AS x");
  EXPECT_EQ(cmd(10, {pol, "1", "1", "C"}).code, 102);
  c->one("DROP VIEW " + idxfix::object(kPol, "sqr"));
  Reply b = cmd(10, {pol, "1", "1", "C"});
  EXPECT_EQ(b.code, 101) << b.arg(1);
  // Sent again after it went through, it says what it found and leaves the
  // index as it was.
  b = cmd(10, {pol, "1", "1", "C"});
  EXPECT_EQ(b.code, 102);
  EXPECT_TRUE(has(b.arg(1), "DRG-10539: the index of policy 1000 exists already")) << b.arg(1);
  EXPECT_EQ(idxfix::objects(*c, kPol), "i1t1,ksq,ktb,lst,sqr,sri");
  EXPECT_EQ(cmd(11, {pol, "1", "1", "1", "C"}).code, 101);
  EXPECT_EQ(cmd(29, {pol, "1", "C"}).code, 101);

  Reply t = cmd(46, {"0", "RESULT", "1"});
  ASSERT_EQ(t.code, 101) << t.arg(1);
  struct Case {
    int code;
    std::vector<std::optional<std::string>> args;
    const char *refusal;  // null: answered
  } const cases[] = {
      {15, {pol, "one", t.arg(4), "0", "0", "0", "0", "0", std::nullopt, "NULL"}, nullptr},
      {15, {pol, "one", t.arg(4), "0", "0", "0", "-1", "0", std::nullopt, "NULL"}, "argument 7"},
      {15, {pol, "one", t.arg(4), "0", "0", "0", "0", "-5", std::nullopt, "NULL"}, "argument 8"},
      {41, {pol, "one", "-1"}, "argument 3"},
      {43, {pol, "one", "-1", "10", "10"}, "argument 3"},
  };
  for (const Case &k : cases) {
    Reply q = cmd(k.code, k.args);
    if (!k.refusal) {
      EXPECT_EQ(q.code, 101) << q.arg(1);
      continue;
    }
    EXPECT_EQ(q.code, 102) << k.refusal;
    EXPECT_TRUE(has(q.arg(1), "DRG-50708: message " + std::to_string(q.id) + ": " + k.refusal +
                                  " must be a document id of 0 or more"))
        << q.arg(1);
  }
}

}  // namespace
