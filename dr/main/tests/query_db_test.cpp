// Query commands sent through dispatcher.submit to a veksrv process over the
// eight indexed documents of tests/fixtures/query/boats.sql: the rows each
// query writes, the refusals, the replies by document id, highlighting, and
// clear_result as a user with no rights but his own result tables.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/fixtures/query/boats.h"

namespace {

using pgtest::Conn;
using pgtest::Reply;

bool has(const std::string &text, const std::string &part) {
  return text.find(part) != std::string::npos;
}

struct Queries : ::testing::Test {
  pgtest::Role caller{"qcaller"};
  pgtest::Database db;
  pgtest::Server srv;
  std::unique_ptr<Conn> c;

  void SetUp() override {
    PGTEST_NEED_DB(db);
    boats::start(srv, db);
    c = std::make_unique<Conn>(db.name);
    ASSERT_TRUE(srv.ready()) << srv.out();
    ASSERT_TRUE(boats::load(*c));
    ASSERT_TRUE(boats::index(*c)) << srv.log();
  }
  Reply cmd(int code, const std::vector<std::optional<std::string>> &args, Conn *as = nullptr) {
    return pgtest::submit(as ? *as : *c, code, args, 60);
  }
  // A result table of one key column from the result-table manager.
  std::string gettab(Conn *as = nullptr) {
    Reply r = cmd(46, {"0", "RESULT", "1"}, as);
    EXPECT_EQ(r.code, 101) << r.arg(1);
    return r.arg(4);
  }
  Reply contains(const std::string &query, const std::string &restab) {
    return cmd(15, {boats::pol, query, restab, "0", "0", "0", "0", "0", std::nullopt, "NULL"});
  }
};

TEST_F(Queries, ContainsWritesTheRowsOfEachQuery) {
  std::string res = gettab();
  struct Case {
    const char *query, *rows;
  } cases[] = {
      {"red", "1:10 3:100 8:10"},
      {"Boat", "1:10 4:20 6:10"},
      {"boat & harbour", "1:10 6:10"},
      {"boat | north", "1:10 4:20 5:20 6:10 8:10"},
      {"harbour ~ boat", "2:10"},
      {"boat - river", "1:10 4:10 6:10"},
      {"red red", "3:100"},
      {"boat near river", "4:98"},
      {"sails ; north", "1:98"},
      {"red boat ; harbour", "1:96"},
      {"a red boat", "1:10"},
      {"the = a red", "1:10 8:10"},
      {"sails to the north", "1:10"},
      {"river%", "4:10 7:40"},
      {"red*3 , boat", "1:40 3:100 4:20 6:10 8:30"},
      {"red , boat , north : 2", "1:30 3:100"},
      {"boat , north # 2-3", "4:20 5:20"},
      {"zebra", ""},
  };
  for (const Case &k : cases) {
    Reply r = contains(k.query, res);
    EXPECT_EQ(r.code, 101) << k.query << ": " << r.arg(1);
    EXPECT_EQ(boats::rows(*c, res), k.rows) << k.query;
  }
  // Refused queries say why and leave the table as it was.
  struct Bad {
    const char *query;
    std::vector<std::string> says;
  } bad[] = {
      {"the", {"DRG-10817", "\"THE\""}},
      {"the of", {"DRG-10817", "\"THE ...\""}},
      {"boat &", {"DRG-50901: syntax error in the text query at line 1, column 7"}},
  };
  for (const Bad &b : bad) {
    Reply r = contains(b.query, res);
    EXPECT_EQ(r.code, 102) << b.query;
    for (const std::string &s : b.says) EXPECT_TRUE(has(r.arg(1), s)) << b.query << ": " << r.arg(1);
  }
  EXPECT_EQ(boats::rows(*c, res), "");
  // Stem and fuzzy words that stand for no indexed word find nothing;
  // soundex needs the word table, which this policy's word list does not
  // keep, and says so first.
  for (const char *q : {"$dogs", "?dgo"}) {
    Reply r = contains(q, res);
    EXPECT_EQ(r.code, 101) << q << ": " << r.arg(1);
    EXPECT_EQ(boats::rows(*c, res), "") << q;
  }
  Reply r = contains("!dawg", res);
  EXPECT_EQ(r.code, 102);
  EXPECT_EQ(r.arg(1).rfind("DRG-10818: ", 0), 0u) << r.arg(1);
}

TEST_F(Queries, RepliesByDocumentId) {
  auto ids = boats::docids(*c);
  auto id = [&](const char *key) { return ids[key]; };
  for (int code : {38, 39}) {
    Reply r = cmd(code, {boats::pol, "boat | north"});
    EXPECT_EQ(r.code, 101) << code << r.arg(1);
    EXPECT_EQ(r.arg(3), "5") << code;
  }
  Reply s = cmd(43, {boats::pol, "boat | north", "0", "100", "0"});
  ASSERT_EQ(s.code, 101) << s.arg(1);
  EXPECT_EQ(s.arg(6), id("4") + "20:" + id("5") + "20:" + id("1") + "10:" + id("6") + "10:" + id("8") +
                          "10:");
  EXPECT_EQ(s.arg(3) + " " + s.arg(4) + " " + s.arg(5), "0 10 " + std::to_string(std::stoi(id("8")) + 1));
  Reply f = cmd(41, {boats::pol, "red", "0"});
  ASSERT_EQ(f.code, 101) << f.arg(1);
  EXPECT_EQ(f.arg(6), id("1") + "10:" + id("3") + "00:" + id("8") + "10:");
  EXPECT_EQ(f.arg(3), "0");
  // The session of a query is the submitter's own, put in by the database
  // side: what the caller writes there is never used.
  EXPECT_EQ(cmd(38, {boats::pol, "boat", "0", std::string(68, 's')}).code, 101);
  // check_query says whether a query parses.
  EXPECT_EQ(cmd(32, {boats::pol, "boat near river"}).code, 101);
  EXPECT_EQ(cmd(32, {boats::pol, "boat &"}).code, 102);
}

TEST_F(Queries, HighlightFindsTheWordsOfOneDocument) {
  c->one("CREATE TABLE hl (id integer, \"offset\" integer, length integer, strength integer)");
  c->one("CREATE TABLE mu (id integer, document text)");
  c->one("CREATE TABLE uf (id integer, document text)");
  struct Case {
    const char *key, *query;
    std::string entries;
  } cases[] = {
      {"1", "red boat", "3,8,100"},
      {"4", "boat - river", "1,4,100 9,4,100"},
      {"8", "the red", "1,7,100"},
  };
  int32_t id = 0;
  for (const Case &k : cases) {
    ++id;
    Reply r = cmd(16, {boats::pol, k.query, k.key, std::to_string(id), "NULL", "NULL", "hl", "NULL",
                       id == 1 ? "mu" : "NULL", ",<b>,</b>"});
    EXPECT_EQ(r.code, 101) << k.query << ": " << r.arg(1);
    std::string got;
    for (const std::string &e : c->col("SELECT \"offset\" || ',' || length || ',' || strength FROM hl"
                                       " WHERE id = " + std::to_string(id) + " ORDER BY 1"))
      got += (got.empty() ? "" : " ") + e;
    EXPECT_EQ(got, k.entries) << k.query;
  }
  EXPECT_EQ(c->one("SELECT document FROM mu WHERE id = 1"), "a <b>red boat</b> sails to the north harbour");
  // A backslash keeps a comma inside a tag.
  EXPECT_EQ(cmd(16, {boats::pol, "the red", "8", "8", "NULL", "NULL", "NULL", "NULL", "mu", "x,[\\,,]"}).code,
            101);
  EXPECT_EQ(c->one("SELECT document FROM mu WHERE id = 8"), "[,the red] boats sail north");
  // A highlight that cannot be written is an error, not a partial table.
  c->one("CREATE TABLE hl2 (id integer, \"offset\" integer CHECK (\"offset\" < 5), length integer,"
         " strength integer)");
  Reply part = cmd(16, {boats::pol, "boat", "4", "4", "NULL", "NULL", "hl2", "NULL", "NULL", "NULL"});
  EXPECT_EQ(part.code, 102);
  EXPECT_TRUE(has(part.arg(1), "DRG-10008")) << part.arg(1);
  EXPECT_EQ(c->one("SELECT count(*) FROM hl2"), "0");
  // Every table "NULL" and no query: the document is only fetched; its raw
  // text goes where asked.
  EXPECT_EQ(cmd(16, {boats::pol, "NULL", "2", "9", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL"}).code, 101);
  EXPECT_EQ(cmd(16, {boats::pol, "NULL", "5", "9", "uf", "NULL", "NULL", "NULL", "NULL", "NULL"}).code, 101);
  EXPECT_EQ(c->one("SELECT document FROM uf WHERE id = 9"), "north wind and north sea");
  Reply r = cmd(16, {boats::pol, "red", "99", "1", "NULL", "NULL", "hl", "NULL", "NULL", "NULL"});
  EXPECT_EQ(r.code, 102);
  EXPECT_TRUE(has(r.arg(1), "DRG-10826")) << r.arg(1);
}

TEST_F(Queries, ClearResultCopiesThroughTheCallbackItInstalls) {
  ASSERT_FALSE(caller.name.empty());
  Conn as(db.name, caller.name);
  ASSERT_TRUE(as.ok());
  std::string src = gettab(&as), res = gettab(&as);
  as.one("INSERT INTO " + src + " (textkey, score) VALUES ('a', 10), ('b', 20)");
  as.one("INSERT INTO " + res + " (textkey, score, conid) VALUES ('old', 5, 7)");
  // The user's first call installs his callback and copies.
  Reply r = cmd(44, {res, src, "1", "1", "7", "0", "1"}, &as);
  EXPECT_EQ(r.code, 101) << r.arg(1) << srv.log();
  EXPECT_EQ(as.col("SELECT textkey || ':' || score || ':' || conid FROM " + res + " ORDER BY 1"),
            (std::vector<std::string>{"a:10:7", "b:20:7"}));
  EXPECT_EQ(c->one("SELECT count(*) FROM pg_proc WHERE proname = 'dr$callback'"), "1");
  // The missing callback the first call met is no part of the next reply.
  Reply next = cmd(44, {res, src, "2", "1", "7", "0", "1"}, &as);
  EXPECT_FALSE(has(next.arg(1), "callback")) << next.arg(1);
  // Result type 2, a key count outside 1 to 16, a table of the server's own
  // and a table the user may not empty are refused, with a reason.
  struct Bad {
    std::vector<std::optional<std::string>> args;
    const char *says;
  } bad[] = {
      {{res, src, "2", "1", "7", "0", "1"}, "DRG-10015"},
      {{res, src, "1", "1", "7", "0", "17"}, "DRG-10011"},
      {{"dr$policy", "NULL", "1", "0", "0", "0", "1"}, "DRG-52010"},
      {{"qfix.boats", "NULL", "1", "0", "0", "0", "1"}, "DRG-52008"},
  };
  for (const Bad &b : bad) {
    Reply x = cmd(44, b.args, &as);
    EXPECT_EQ(x.code, 102) << b.says;
    EXPECT_TRUE(has(x.arg(1), b.says)) << x.arg(1);
  }
  EXPECT_EQ(c->one("SELECT count(*) FROM dr$policy"), "1");
  EXPECT_EQ(as.one("SELECT count(*) FROM " + res), "2");
}

TEST_F(Queries, ClearResultCallsNoCallbackTheUserCouldHavePlaced) {
  // A user who owns a schema of his name can put a dr$callback of his own
  // there before the server installs one: it must never be called, since
  // the server calls the callback with its own rights.
  ASSERT_FALSE(caller.name.empty());
  c->one("GRANT CREATE ON DATABASE " + db.name + " TO " + caller.name);
  Conn as(db.name, caller.name);
  ASSERT_TRUE(as.ok());
  std::string src = gettab(&as), res = gettab(&as), sch = caller.name;
  as.one("INSERT INTO " + src + " (textkey, score) VALUES ('a', 10)");
  as.one("INSERT INTO " + res + " (textkey, score, conid) VALUES ('old', 5, 7)");
  as.one("CREATE SCHEMA " + sch);
  as.one("GRANT USAGE ON SCHEMA " + sch + " TO PUBLIC");
  as.one("CREATE TABLE " + sch + ".ran (who text)");
  as.one("GRANT INSERT ON " + sch + ".ran TO PUBLIC");
  std::string args;
  for (int k = 1; k <= 10; ++k)
    args += ", v" + std::to_string(k) + " varchar DEFAULT NULL, l" + std::to_string(k) + " integer DEFAULT 0";
  as.one("CREATE PROCEDURE " + sch + ".dr$callback(stmt text" + args +
         ") LANGUAGE sql AS $$ INSERT INTO " + sch + ".ran VALUES (current_user) $$");
  Reply r = cmd(44, {res, src, "1", "0", "7", "0", "1"}, &as);
  EXPECT_EQ(r.code, 102);
  EXPECT_TRUE(has(r.arg(1), "installer")) << r.arg(1);
  EXPECT_EQ(as.one("SELECT count(*) FROM " + sch + ".ran"), "0");
  // Refused before the table was cleared: its rows are as they were.
  EXPECT_EQ(as.col("SELECT textkey FROM " + res), (std::vector<std::string>{"old"}));
}

}  // namespace
