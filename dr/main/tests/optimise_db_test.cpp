// Optimisation of the boats' index as an administrator runs it, through
// dr_opt.optimize, with two veksrv processes sharing each run: the
// two-table modes switch the policy to the new table and drop the old one,
// the in-place modes merge the rows where they are, the lazy modes take a
// deleted document out; queries answer the same throughout.
#include <unistd.h>

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

struct Optimise : ::testing::Test {
  pgtest::Database db;
  pgtest::Server srv, srv2;
  std::unique_ptr<Conn> c;
  std::string res;
  int keys = 8;      // rows indexed
  int nextkey = 100;  // key of the next row added
  int switches = 0;

  // Whether a server has logged n refreshes of the policy, within two minutes.
  static bool refreshed(const pgtest::Server &s, int n) {
    return pgtest::until(
        [&] {
          std::string l = s.log();
          int got = 0;
          for (size_t at = l.find("refresh, user="); at != std::string::npos; at = l.find("refresh, user=", at + 1))
            ++got;
          return got >= n;
        },
        120);
  }

  void SetUp() override {
    PGTEST_NEED_DB(db);
    boats::start(srv, db);
    setenv("NLS_LANG", boats::kNls, 1);
    srv2.start({"-user", db.user(), "-logfile", srv2.logpath, "-personality", "D"}, db.name);
    unsetenv("NLS_LANG");
    c = std::make_unique<Conn>(db.name);
    ASSERT_TRUE(srv.ready()) << srv.out();
    ASSERT_TRUE(srv2.ready()) << srv2.out();
    ASSERT_TRUE(boats::load(*c));
    ASSERT_TRUE(boats::index(*c)) << srv.log() << srv2.log();
    Reply r = pgtest::submit(*c, 46, {"0", "RESULT", "1"}, 60);
    ASSERT_EQ(r.code, 101) << r.arg(1);
    res = r.arg(4);
  }
  // Adds rows in batches of three, each batch indexed (and flushed) on its
  // own, so that frequent terms get a row per batch.
  void grow(int batches) {
    for (int b = 0; b < batches; ++b) {
      for (int i = 0; i < 3; ++i) {
        std::string k = std::to_string(nextkey++);
        c->one("INSERT INTO qfix.boats VALUES (" + k + ", 'a red boat " + k + " north')");
        c->one("CALL dmlq.queue_change(1900, '" + k + "')");
      }
      keys += 3;
      ASSERT_TRUE(pgtest::waitrow(*c, "SELECT count(*) FROM qfix.dr_01900_ktb", std::to_string(keys), 60))
          << srv.log();
    }
  }
  std::string contains(const std::string &query) {
    Reply r = pgtest::submit(*c, 15, {boats::pol, query, res, "0", "0", "0", "0", "0", "x", "NULL"}, 60);
    if (r.code != 101) return "error: " + r.arg(1);
    return boats::rows(*c, res);
  }
  std::string answers() {
    std::string out;
    for (const char *q : {"red", "boat", "north", "harbour", "red & boat", "river", "sky"})
      out += std::string(q) + "=" + contains(q) + "\n";
    return out;
  }
  std::string table() { return "qfix.dr_01900_i1t" + c->one("SELECT dr_opt.suffix(1900)").value_or("?"); }
  int rows() { return std::stoi(c->one("SELECT count(*) FROM " + table()).value_or("-1")); }
  int terms() { return std::stoi(c->one("SELECT count(DISTINCT word_text) FROM " + table()).value_or("-1")); }
  // Runs an optimisation; its error text, or "".
  std::string optimize(int mode, int servers) {
    PGresult *r = c->exec("CALL dr_opt.optimize(1900, " + std::to_string(mode) + ", " +
                              std::to_string(servers) + ", 50, 120)",
                          {});
    std::string err = PQresultStatus(r) == PGRES_COMMAND_OK ? "" : PQerrorMessage(c->c);
    PQclear(r);
    // After a two-table mode each server is told to read the policy again,
    // which it logs and does not answer.
    if (err.empty() && (mode == 3 || mode == 4)) {
      ++switches;
      for (pgtest::Server *s : {&srv, &srv2})
        EXPECT_TRUE(refreshed(*s, switches)) << s->log();
    }
    return err;
  }
};

TEST_F(Optimise, EveryModeOnTwoServersKeepsTheAnswers) {
  ASSERT_NO_FATAL_FAILURE(grow(4));
  std::string want = answers();
  ASSERT_GT(rows(), terms());
  // Two tables: every term merged once into the new table, which the
  // policy now uses; the old one is gone and every range is complete.
  EXPECT_EQ(optimize(3, 2), "");
  EXPECT_EQ(table(), "qfix.dr_01900_i1t2");
  EXPECT_EQ(c->one("SELECT to_regclass('qfix.dr_01900_i1t1') IS NULL"), "t");
  EXPECT_EQ(rows(), terms());
  EXPECT_EQ(c->one("SELECT count(*) FROM qfix.dr_01900_rdtopt WHERE status <> 'C'"), "0");
  EXPECT_TRUE(has(srv.log(), "Terms compacted")) << srv.log();
  EXPECT_TRUE(has(srv2.log(), "Terms compacted")) << srv2.log();
  EXPECT_EQ(answers(), want);

  // A deleted document leaves with the two-table lazy mode, back to the
  // first table.
  c->one("DELETE FROM qfix.boats WHERE id = 3");
  c->one("CALL dmlq.queue_change(1900, '3')");
  --keys;
  ASSERT_TRUE(pgtest::waitrow(*c, "SELECT count(*) FROM qfix.dr_01900_lst WHERE ltype = 'D'", "1", 60));
  EXPECT_EQ(optimize(4, 2), "");
  EXPECT_EQ(table(), "qfix.dr_01900_i1t1");
  EXPECT_EQ(c->one("SELECT count(*) FROM qfix.dr_01900_lst WHERE ltype = 'D'"), "0");
  EXPECT_EQ(contains("sky"), "");
  EXPECT_EQ(c->one("SELECT count(*) FROM " + table() + " WHERE word_text = 'SKY'"), "0");
  want = answers();

  // In place: by the words' hash (mode 2) and by ranges (mode 5).
  for (int mode : {2, 5}) {
    ASSERT_NO_FATAL_FAILURE(grow(3));
    want = answers();
    ASSERT_GT(rows(), terms());
    EXPECT_EQ(optimize(mode, 2), "") << mode;
    EXPECT_EQ(table(), "qfix.dr_01900_i1t1");
    EXPECT_EQ(rows(), terms()) << mode;
    EXPECT_EQ(answers(), want) << mode;
  }
}

// An interrupt ends a run that waits mid-way: here on a lock another
// session holds on the rows of RED, after the run (a term a batch) has
// committed BOAT and NORTH. Those stay merged, RED keeps its rows, the
// index answers as before, and a later run finishes the work.
TEST_F(Optimise, AnInterruptMidRunKeepsTheCommittedTerms) {
  ASSERT_NO_FATAL_FAILURE(grow(3));
  std::string want = answers();
  auto count = [&](const char *w) { return c->one("SELECT count(*) FROM " + table() + " WHERE word_text = $1", {w}); };
  std::string red = count("RED").value_or("?");
  ASSERT_NE(count("BOAT"), "1");
  ASSERT_NE(red, "1");
  Conn holder(db.name);
  holder.one("BEGIN");
  holder.one("SELECT 1 FROM " + table() + " WHERE word_text = 'RED' FOR UPDATE");
  ASSERT_EQ(pgtest::submit(*c, 37, {boats::pol, "1", "2"}, 60).code, 101);
  int id = pgtest::post(*c, 14, {boats::pol, "2", "50", "1", "1"});
  ASSERT_TRUE(pgtest::waitrow(*c,
                              "SELECT count(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock'"
                              " AND datname = current_database() AND query ILIKE '%dr_01900_i1t%'",
                              "1", 60))
      << srv.log() << srv2.log();
  c->one("CALL dispatcher.interrupt($1::integer)", {std::to_string(id)});
  Reply r = pgtest::await(*c, id, 60);
  holder.one("ROLLBACK");
  EXPECT_EQ(r.code, 102);
  EXPECT_TRUE(has(r.arg(1), "DRG-50707: message " + std::to_string(id) + " was interrupted")) << r.arg(1);
  EXPECT_EQ(count("BOAT"), "1");
  EXPECT_EQ(count("NORTH"), "1");
  EXPECT_EQ(count("RED"), red);
  EXPECT_EQ(answers(), want);
  EXPECT_EQ(optimize(2, 1), "");
  EXPECT_EQ(count("RED"), "1");
  EXPECT_EQ(answers(), want);
}

// A run that fails on one server says so, and the index still answers.
TEST_F(Optimise, AFailedRunSaysSoAndTheIndexAnswers) {
  std::string want = answers();
  // No work-range table can be made under a name taken by a view.
  c->one("CREATE VIEW qfix.dr_01900_rdtopt AS SELECT 1 AS x");
  EXPECT_NE(optimize(5, 2), "");
  EXPECT_EQ(answers(), want);
}

}  // namespace
