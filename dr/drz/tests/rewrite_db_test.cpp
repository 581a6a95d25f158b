// Statements rewritten by a veksrv process through rw_parse (34) and
// released through rw_close (36), over the eight documents of
// tests/fixtures/query/boats.sql: the texts that come back, what they
// return when run, the bookkeeping rows and the result tables they leave.
#include <string>
#include <vector>

#include "tests/fixtures/query/boats.h"

namespace {

using pgtest::Conn;
using pgtest::Reply;

bool has(const std::string &text, const std::string &part) {
  return text.find(part) != std::string::npos;
}

struct Rewrite : ::testing::Test {
  pgtest::Database db;
  pgtest::Server srv;
  std::unique_ptr<Conn> c;
  std::string me, sid;

  void SetUp() override {
    PGTEST_NEED_DB(db);
    boats::start(srv, db);
    c = std::make_unique<Conn>(db.name);
    ASSERT_TRUE(srv.ready()) << srv.out();
    ASSERT_TRUE(boats::load(*c));
    ASSERT_TRUE(boats::index(*c)) << srv.log();
    me = *c->one("SELECT session_user");
    // The caller's own session: result tables of ended sessions are taken
    // back by the result-table manager.
    sid = *c->one("SELECT pg_backend_pid()::text");
  }
  Reply parse(const std::string &stmt, const std::string &curid, int shr = 0, int exec = 1) {
    return pgtest::submit(*c, 34, {me, sid, curid, stmt, std::to_string(shr), std::to_string(exec)},
                          60);
  }
  Reply close(const std::string &curid) { return pgtest::submit(*c, 36, {me, sid, curid}, 60); }
  // The rewritten text of a reply: arguments 7 and 8.
  static std::string text(const Reply &r) {
    std::string t = r.arg(7) == "<null>" ? "" : r.arg(7);
    if (r.arg(8) != "<null>") t += r.arg(8);
    return t;
  }
  // Runs a text and gives its rows, columns joined by ",", rows by " ".
  std::string rows(const std::string &sql) {
    PGresult *r = c->run(sql, {});
    std::string out;
    for (int i = 0; r && i < PQntuples(r); ++i) {
      std::string row;
      for (int j = 0; j < PQnfields(r); ++j) row += (j ? "," : "") + std::string(PQgetvalue(r, i, j));
      out += (out.empty() ? "" : " ") + row;
    }
    PQclear(r);
    return out;
  }
  std::string count(const std::string &sql) { return c->one(sql).value_or("<null>"); }
  // Result tables the manager holds for the caller's session.
  std::string tables() {
    return count("SELECT count(*) FROM dr_rtm.result_table WHERE session_id = " + sid);
  }
};

TEST_F(Rewrite, FirstExampleRunsAndCloses) {
  Reply r = parse(
      "select id, score(1) from qfix.boats b where contains(b.body, 'boat', 1) > 0 "
      "order by score(1) desc, id",
      "7");
  ASSERT_EQ(r.code, 101) << r.arg(1);
  std::string t = text(r);
  std::string rt = *c->one("SELECT con_restab FROM dr$contains WHERE con_queryid = 7");
  EXPECT_EQ(t, "SELECT ID , B.SCORE0 FROM ((SELECT  B.*, " + rt + ".SCORE SCORE0 FROM QFIX.BOATS B, " +
                   rt + " WHERE  B.ID = " + rt +
                   ".TEXTKEY) UNION ALL (SELECT  B.*, 0 FROM QFIX.BOATS B WHERE NOT EXISTS (SELECT "
                   "NULL FROM " + rt + " WHERE  B.ID = " + rt +
                   ".TEXTKEY))) B WHERE SCORE0 > 0 ORDER BY B.SCORE0 DESC , ID ");
  EXPECT_EQ(rows(t), "4,20 1,10 6,10");
  EXPECT_EQ(rows("SELECT con_username = '" + me + "', con_session = " + sid +
                 ", con_policy, con_contid, con_bind, con_pos, con_text, con_dblink FROM dr$contains"),
            "t,t,1900,0,,0,boat,");
  EXPECT_EQ(count("SELECT count(*) FROM dr$bind"), "0");
  EXPECT_EQ(tables(), "1");
  // Another cursor's rows and tables stay through this cursor's close.
  ASSERT_EQ(parse("select id from qfix.boats where contains(body, 'red') > 0", "8").code, 101);
  EXPECT_EQ(tables(), "2");
  Reply k = close("7");
  EXPECT_EQ(k.code, 101) << k.arg(1);
  EXPECT_EQ(count("SELECT count(*) FROM dr$contains WHERE con_queryid = 7"), "0");
  EXPECT_EQ(count("SELECT count(*) FROM dr$contains WHERE con_queryid = 8"), "1");
  EXPECT_EQ(tables(), "1");
  EXPECT_EQ(count("SELECT count(*) FROM pg_class WHERE relname = '" + rt + "'"), "0");
  EXPECT_EQ(close("8").code, 101);
  EXPECT_EQ(tables(), "0");
}

TEST_F(Rewrite, SharedTableAndHandle) {
  Reply r = parse(
      "select id, score(1), score(2) from qfix.boats where contains(body,'red',1) > 0 or "
      "contains(body,'north',2) > 0 order by id",
      "3", 1);
  ASSERT_EQ(r.code, 101) << r.arg(1);
  EXPECT_EQ(rows(text(r)), "1,10,10 3,100,0 5,0,20 8,10,10") << text(r);
  EXPECT_EQ(tables(), "1");
  EXPECT_EQ(count("SELECT count(DISTINCT con_restab) FROM dr$contains"), "1");
  // The same with a table per predicate: each row once.
  Reply p = parse(
      "select id, score(1), score(2) from qfix.boats where contains(body,'red',1) > 0 or "
      "contains(body,'north',2) > 0 order by id",
      "5", 0);
  ASSERT_EQ(p.code, 101) << p.arg(1);
  EXPECT_EQ(rows(text(p)), "1,10,10 3,100,0 5,0,20 8,10,10") << text(p);
  EXPECT_EQ(close("5").code, 101);
  Reply h = parse("select handle(body) from qfix.boats b where contains(body, 'boat') > 0 and id = 4",
                  "4");
  ASSERT_EQ(h.code, 101) << h.arg(1);
  EXPECT_TRUE(has(text(h), "':QFIX.BOATS:BODY:ID:'||TO_CHAR(B.ID) ")) << text(h);
  EXPECT_EQ(rows(text(h)), ":QFIX.BOATS:BODY:ID:4");
  EXPECT_EQ(close("3").code, 101);
  EXPECT_EQ(close("4").code, 101);
  EXPECT_EQ(tables(), "0");
}

TEST_F(Rewrite, StructuredQueryRestrictsTheKeys) {
  std::string res = *c->one("SELECT 'x'");
  Reply g = pgtest::submit(*c, 46, {"0", "RESULT", "1"}, 60);
  ASSERT_EQ(g.code, 101) << g.arg(1);
  res = g.arg(4);
  auto contains = [&](const std::string &sq) {
    return pgtest::submit(*c, 15, {boats::pol, "boat", res, "0", "0", "0", "0", "0", std::nullopt, sq},
                          60);
  };
  Reply r = contains("ID > 3");
  ASSERT_EQ(r.code, 101) << r.arg(1);
  EXPECT_EQ(boats::rows(*c, res), "4:20 6:10");
  EXPECT_EQ(count("SELECT count(*) FROM dr_rtm.result_table WHERE table_type = 'STRUCT_VIEW'"), "0");
  EXPECT_EQ(count("SELECT count(*) FROM pg_views WHERE viewname LIKE 'dr$%'"), "0");
  for (const char *bad : {"ROWNUM < 3", "USERENV('x') = 'y'", "CONTAINS(body, 'x') > 0",
                          "ID IN (SELECT id FROM qfix.boats)"}) {
    Reply b = contains(bad);
    EXPECT_EQ(b.code, 102) << bad;
    EXPECT_TRUE(has(b.arg(1), "DRG-11300")) << bad << ": " << b.arg(1);
  }
  EXPECT_EQ(count("SELECT count(*) FROM pg_views WHERE viewname LIKE 'dr$%'"), "0");
  // USER becomes the caller's name as a literal.
  Reply u = contains("USER = '" + me + "' AND ID < 2");
  ASSERT_EQ(u.code, 101) << u.arg(1);
  EXPECT_EQ(boats::rows(*c, res), "1:10");
}

TEST_F(Rewrite, FailuresLeaveNothingBehind) {
  struct Case {
    const char *stmt;
    int exec;
    const char *says;
  } cases[] = {
      // The second predicate's column has no policy: the first one's table
      // was already handed out.
      {"select id from qfix.boats where contains(body, 'boat', 1) > 0 and contains(id, 'x', 2) > 0",
       1, "DRG-11306"},
      {"select id from qfix.boats where contains(body, :q) > 0", 1, "DRG-50802"},
      {"select id from qfix.boats where contains(nosuch, 'x') > 0", 0, "column NOSUCH"},
      {"select id from qfix.boats b, qfix.boats c where contains(body, 'x') > 0", 0, "DRG-11327"},
  };
  for (const Case &k : cases) {
    Reply r = parse(k.stmt, "9", 0, k.exec);
    EXPECT_EQ(r.code, 102) << k.stmt;
    EXPECT_TRUE(has(r.arg(1), k.says)) << k.stmt << ": " << r.arg(1);
    EXPECT_EQ(tables(), "0") << k.stmt;
  }
  EXPECT_EQ(close("9").code, 101);
  EXPECT_EQ(count("SELECT count(*) FROM dr$contains"), "0");
  EXPECT_EQ(count("SELECT count(*) FROM dr$bind"), "0");
  // Only the user who sends the command may be the requesting user.
  Reply o = pgtest::submit(*c, 34, {"someone", sid, "1", "select 1 from dual", "0", "0"}, 60);
  EXPECT_EQ(o.code, 102);
  EXPECT_TRUE(has(o.arg(1), "DRG-11336")) << o.arg(1);
}

// Seventeen predicates, one word each: their bookkeeping rows go in two
// batches, and the rewritten text no longer fits one reply argument.
TEST_F(Rewrite, ManyPredicatesAndLongTexts) {
  const char *words[] = {"red",  "north",  "boat",   "river", "harbour", "sea",
                         "sky",  "wind",   "town",   "old",   "green",   "sails",
                         "sail", "boats",  "rivers", "riverside", "riverbank"};
  std::string stmt = "select id, score(17) from qfix.boats where (";
  for (int i = 0; i < 17; ++i)
    stmt += std::string(i ? " or " : "") + "contains(body, '" + words[i] + "', " +
            std::to_string(i + 1) + ") > 0";
  stmt += ") and body <> '" + std::string(700, 'x') + "' order by id";
  // One shared table: a text between 2000 and 3998 bytes comes back split
  // over arguments 7 and 8 and runs as a whole.
  Reply r = parse(stmt, "2", 1);
  ASSERT_EQ(r.code, 101) << r.arg(1);
  EXPECT_GT(r.arg(7).size(), 1900u);
  EXPECT_NE(r.arg(8), "<null>");
  EXPECT_GT(text(r).size(), 1999u);
  EXPECT_LE(text(r).size(), 3998u);
  EXPECT_EQ(rows(text(r)), "1,0 2,0 3,0 4,0 5,0 6,0 7,10 8,0") << text(r);
  EXPECT_EQ(count("SELECT count(*) FROM dr$contains WHERE con_queryid = 2"), "17");
  EXPECT_EQ(count("SELECT string_agg(con_text, ' ' ORDER BY con_contid) FROM dr$contains"),
            "red north boat river harbour sea sky wind town old green sails sail boats rivers "
            "riverside riverbank");
  EXPECT_EQ(tables(), "1");
  EXPECT_EQ(close("2").code, 101);
  // A table each: the derived table alone is over 3998 bytes. The reply is
  // an error and the seventeen tables are released.
  Reply big = parse(stmt, "3", 0);
  EXPECT_EQ(big.code, 102);
  EXPECT_TRUE(has(big.arg(1), "DRG-11301")) << big.arg(1);
  EXPECT_EQ(tables(), "0");
  EXPECT_EQ(close("3").code, 101);
  EXPECT_EQ(count("SELECT count(*) FROM dr$contains"), "0");
}

}  // namespace
