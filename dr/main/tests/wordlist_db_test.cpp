// The word list of a policy through a veksrv process: the eight documents
// of tests/fixtures/query/boats.sql indexed with a word-list preference that
// keeps the word table, and the stem ($), fuzzy (?) and soundex (!) queries
// answered through it; the word table filled at the end of indexing,
// extended by a batch of changed rows and dropped with the index.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "tests/fixtures/query/boats.h"

namespace {

using pgtest::Conn;
using pgtest::Reply;

struct WordList : ::testing::Test {
  pgtest::Database db;
  pgtest::Server srv;
  std::unique_ptr<Conn> c;
  const std::string words = "qfix.dr_01900_i1w";

  void SetUp() override {
    PGTEST_NEED_DB(db);
    boats::start(srv, db);
    c = std::make_unique<Conn>(db.name);
    ASSERT_TRUE(srv.ready()) << srv.out();
    ASSERT_TRUE(boats::load(*c));
    // Word table on, stemmer type 1 (English inflections), fuzzy mode 1.
    c->one("INSERT INTO dr$preference (pre_id, pre_name, pre_cla_id, pre_obj_id)"
           " VALUES (19005, 'BOATS_WORDS', 5, 1)");
    c->one("INSERT INTO dr$policy_preference VALUES (1900, 5, 19005)");
    c->one("INSERT INTO dr$preference_attribute VALUES (19005, 'WORD_TABLE', '1', 1),"
           " (19005, 'STEMMER', '1', 1), (19005, 'FUZZY_MODE', '1', 1)");
    ASSERT_TRUE(boats::index(*c)) << srv.log();
  }
  Reply cmd(int code, const std::vector<std::optional<std::string>> &args) {
    return pgtest::submit(*c, code, args, 60);
  }
  std::string restab() {
    Reply r = cmd(46, {"0", "RESULT", "1"});
    EXPECT_EQ(r.code, 101) << r.arg(1);
    return r.arg(4);
  }
  Reply contains(const std::string &query, const std::string &res) {
    return cmd(15, {boats::pol, query, res, "0", "0", "0", "0", "0", std::nullopt, "NULL"});
  }
  // The word table as "WORD=CODE" in word order.
  std::string table() {
    auto v = c->one("SELECT string_agg(word || '=' || coalesce(group1, ''), ' ' ORDER BY word"
                    " COLLATE \"C\") FROM " + words);
    return v ? *v : "";
  }
};

TEST_F(WordList, StemFuzzyAndSoundexQueriesFindTheirRows) {
  std::string res = restab();
  struct Case {
    const char *query, *rows;
  } cases[] = {
      {"$boat", "1:10 4:20 6:10 8:10"}, {"$sails", "1:10 8:10"},
      {"?harbor", "1:10 2:10 6:10"},    {"?norht", "1:10 5:20 8:10"},
      {"?bote", "1:10 4:20 6:10"},      {"?rivr", "4:10 7:20"},
      {"!rivers", "7:20"},              {"!river", "4:10 7:10"},
      {"!boat", "1:10 4:20 6:10"},      {"river%", "4:10 7:40"},
      {"?zz", ""},                      {"$zebras", ""},
  };
  for (const Case &k : cases) {
    Reply r = contains(k.query, res);
    EXPECT_EQ(r.code, 101) << k.query << ": " << r.arg(1);
    EXPECT_EQ(boats::rows(*c, res), k.rows) << k.query;
  }
}

TEST_F(WordList, BadWordsGetAClearErrorOrNothing) {
  std::string res = restab();
  std::string longword(70, 'b');
  for (const std::string &q : {"$" + longword, "?" + longword, "!" + longword, std::string("%"),
                               std::string("$%"), std::string("?b_at"), std::string("$bo%"),
                               std::string("!%"), std::string("?%%")}) {
    Reply r = contains(q, res);
    EXPECT_TRUE(r.code == 101 || r.code == 102) << q << ": " << r.code;
    if (r.code == 102) EXPECT_NE(r.arg(1).find("DRG-"), std::string::npos) << q;
  }
  // The server still answers.
  Reply r = contains("$boat", res);
  EXPECT_EQ(r.code, 101) << r.arg(1);
  EXPECT_EQ(boats::rows(*c, res), "1:10 4:20 6:10 8:10");
}

TEST_F(WordList, TheWordTableFollowsTheIndex) {
  std::string all = table();
  // Every indexed word once, with its sound code.
  for (const char *w : {"BOAT=B300", "BOATS=B320", "RIVER=R160", "RIVERS=R162",
                        "RIVERSIDE=R162", "RIVERBANK=R161", "HARBOUR=H616"})
    EXPECT_NE(all.find(w), std::string::npos) << w << " in " << all;
  EXPECT_EQ(c->one("SELECT count(*) = count(DISTINCT word) FROM " + words), "t");
  EXPECT_EQ(c->one("SELECT count(*) FROM (SELECT DISTINCT word_text FROM qfix.dr_01900_i1t1) t"),
            c->one("SELECT count(*) FROM " + words));

  // A changed row adds its new words and nothing else.
  std::string before = all;
  c->one("INSERT INTO qfix.boats VALUES (9, 'red sky at night')");
  c->one("CALL dmlq.queue_change($1::integer, '9')", {boats::pol});
  ASSERT_TRUE(pgtest::waitrow(*c, "SELECT count(*) FROM dmlq.queue", "0", 60));
  ASSERT_TRUE(srv.waitlog("End batch, return code is 0\n")) << srv.log();
  EXPECT_EQ(c->one("SELECT string_agg(word || '=' || group1, ' ' ORDER BY word) FROM " + words +
                   " WHERE word IN ('AT', 'NIGHT', 'RED', 'SKY')"),
            "AT=A300 NIGHT=N230 RED=R300 SKY=S000");
  EXPECT_EQ(c->one("SELECT count(*) FROM " + words),
            std::to_string(std::count(before.begin(), before.end(), ' ') + 1 + 2));

  // Drop index drops the word table.
  EXPECT_EQ(cmd(12, {boats::pol, "1"}).code, 101);
  EXPECT_EQ(c->one("SELECT count(*) FROM pg_tables WHERE schemaname = 'qfix' AND tablename ="
                   " 'dr_01900_i1w'"),
            "0");
}

}  // namespace
