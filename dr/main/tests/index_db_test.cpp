// Index commands sent through dispatcher.submit to veksrv processes: the
// objects each step makes and removes, the test engine, an unknown policy,
// a begin that fails part way, an interrupted populate, and a batch of
// changed rows that fails once and is retried.
#include <cstdlib>
#include <memory>
#include <set>
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

struct Indexing : ::testing::Test {
  pgtest::Database db;
  pgtest::Server srv;
  std::unique_ptr<Conn> c;
  std::string pol = std::to_string(kPol);

  void SetUp() override {
    PGTEST_NEED_DB(db);
    setenv("NLS_LANG", idxfix::kNls, 1);
    srv.start({"-user", db.user(), "-logfile", srv.logpath, "-personality", "DQM"}, db.name);
    unsetenv("NLS_LANG");
    c = std::make_unique<Conn>(db.name);
    ASSERT_TRUE(srv.ready()) << srv.out();
    c->one("CREATE SCHEMA t");
    c->one("CREATE TABLE t.docs (id integer PRIMARY KEY, body text)");
    c->one("INSERT INTO t.docs VALUES (1, 'the cat sat on the mat'), (2, 'a dog and the cat'),"
           " (3, 'numbers 42 and 7')");
  }
  Reply cmd(int code, const std::vector<std::optional<std::string>> &args) {
    return pgtest::submit(*c, code, args, 60);
  }
  // Waits for the reply to a posted message.
  Reply await(int id) { return pgtest::await(*c, id, 60); }
};

TEST_F(Indexing, EachStepMakesAndRemovesItsObjects) {
  idxfix::policy(*c, kPol, "DOCS", {"THE", "A", "AND"});
  EXPECT_EQ(cmd(10, {pol, "1", "1", "C"}).code, 101);
  EXPECT_EQ(idxfix::objects(*c, kPol), "i1t1,ksq,ktb,lst,sqr,sri");
  EXPECT_EQ(cmd(11, {pol, "1", "1", "1", "C"}).code, 101);
  idxfix::Decoded d = idxfix::decode(*c, kPol, DREL_KIND0, {"1", "2", "3"});
  EXPECT_EQ(d.kept, idxfix::expected({{"1", {"THE", "CAT", "SAT", "ON", "THE", "MAT"}},
                                      {"2", {"A", "DOG", "AND", "THE", "CAT"}},
                                      {"3", {"NUMBERS", "42", "AND", "7"}}},
                                     {"THE", "A", "AND"}));
  EXPECT_EQ(cmd(29, {pol, "1", "C"}).code, 101);
  EXPECT_EQ(idxfix::objects(*c, kPol), "i1i1,i1t1,kid,kik,ksq,ktb,lix,lst,sqr,sri");

  // Truncate empties tokens and keys and keeps the id list.
  std::string lst = *c->one("SELECT string_agg(ltype || idcount, ',') FROM " + idxfix::object(kPol, "lst"));
  EXPECT_EQ(cmd(13, {pol}).code, 101);
  EXPECT_EQ(c->one("SELECT count(*) FROM " + idxfix::object(kPol, "i1t1")), "0");
  EXPECT_EQ(c->one("SELECT count(*) FROM " + idxfix::object(kPol, "ktb")), "0");
  EXPECT_EQ(c->one("SELECT string_agg(ltype || idcount, ',') FROM " + idxfix::object(kPol, "lst")), lst);

  // Drop leaves nothing; the components go with it and a new run builds
  // them again.
  EXPECT_EQ(cmd(12, {pol, "1"}).code, 101);
  EXPECT_EQ(idxfix::objects(*c, kPol), "");
  EXPECT_EQ(cmd(10, {pol, "1", "2", "C"}).code, 101);
  EXPECT_EQ(idxfix::objects(*c, kPol), "i1t1,ksq,ktb,lst,sqr,sri");
  EXPECT_EQ(cmd(11, {pol, "1", "1", "2", "C"}).code, 101);
  EXPECT_EQ(c->one("SELECT count(*) FROM " + idxfix::object(kPol, "ktb")), "3");
}

TEST_F(Indexing, TheTestEngineAnswersEveryIndexCommand) {
  idxfix::policy(*c, kPol, "DOCS", {}, 2);
  for (auto [code, args] : std::vector<std::pair<int, std::vector<std::optional<std::string>>>>{
           {10, {pol, "1", "1", "C"}}, {11, {pol, "1", "1", "1", "C"}}, {29, {pol, "1", "C"}},
           {37, {pol, "1", "1"}}, {14, {pol, "1", "0", "1", "1"}}, {33, {pol, "1"}},
           {13, {pol}}, {12, {pol, "1"}}}) {
    Reply r = cmd(code, args);
    EXPECT_EQ(r.code, 101) << code << ": " << r.arg(1);
  }
  std::string log = srv.log();
  EXPECT_TRUE(has(log, "TEST ENGINE: dreapopx \n")) << log;
  EXPECT_EQ(idxfix::logged(log)["2"], (std::vector<std::string>{"A", "DOG", "AND", "THE", "CAT"}));
  EXPECT_EQ(idxfix::objects(*c, kPol), "");
}

TEST_F(Indexing, APolicyGoneBeforeItsCommandRunsIsNamedAndNothingIsBuilt) {
  // The door checks the policy when the command is queued: to reach the
  // server with a policy that is gone, the command waits behind a sleep.
  idxfix::policy(*c, kPol, "DOCS", {});
  int sleep = pgtest::post(*c, 200, {"1000"});
  ASSERT_TRUE(pgtest::inservice(*c, sleep));
  int begin = pgtest::post(*c, 10, {pol, "1", "1", "C"});
  c->one("DELETE FROM dr$policy WHERE pol_id = $1::integer", {pol});
  c->one("CALL dispatcher.interrupt($1::integer)", {std::to_string(sleep)});
  Reply r = await(begin);
  EXPECT_EQ(r.code, 102);
  EXPECT_TRUE(has(r.arg(1), "DRG-50607: no policy or source with id 1000")) << r.arg(1);
  EXPECT_EQ(idxfix::objects(*c, kPol), "");
}

TEST_F(Indexing, ABeginThatFailsLeavesNoTables) {
  idxfix::policy(*c, kPol, "DOCS", {});
  c->one("CREATE VIEW " + idxfix::object(kPol, "sqr") + " AS SELECT 1 AS x");
  EXPECT_EQ(cmd(10, {pol, "1", "1", "C"}).code, 102);
  EXPECT_EQ(idxfix::objects(*c, kPol), "sqr");
}

TEST_F(Indexing, AnInterruptedPopulateSaysSoAndLeavesItsIdsDeleted) {
  c->one("INSERT INTO t.docs SELECT n, 'word ' || n FROM generate_series(4, 150) n");
  idxfix::policy(*c, kPol, "DOCS", {});
  ASSERT_EQ(cmd(10, {pol, "1", "1", "C"}).code, 101);
  // The run's first id reservation waits for this lock, so that the
  // interrupt is there before the run reaches its first check.
  Conn lock(db.name);
  lock.one("BEGIN");
  lock.one("SELECT 1 FROM " + idxfix::object(kPol, "lst") + " WHERE ltype = 'F' FOR UPDATE");
  int id = pgtest::post(*c, 11, {pol, "1", "1", "1", "C"});
  ASSERT_TRUE(pgtest::inservice(*c, id));
  c->one("CALL dispatcher.interrupt($1::integer)", {std::to_string(id)});
  lock.one("COMMIT");
  Reply r = await(id);
  EXPECT_EQ(r.code, 102);
  EXPECT_TRUE(has(r.arg(1), "DRG-50707: message " + std::to_string(id) + " was interrupted"))
      << r.arg(1);
  EXPECT_EQ(c->one("SELECT count(*) FROM " + idxfix::object(kPol, "ktb")), "0");
  EXPECT_EQ(c->one("SELECT string_agg(ltype || idcount, ',' ORDER BY data::bigint) FROM " +
                   idxfix::object(kPol, "lst")),
            "D150,F3999999850");
}

// SIGTERM while a populate waits on a document that takes minutes to read
// ends the server at once (the statement is cancelled), and a populate
// resumed by a new server indexes every document once.
TEST_F(Indexing, ASignalEndsALongPopulateThatResumesLater) {
  c->one("INSERT INTO t.docs SELECT n, 'word ' || n FROM generate_series(4, 300) n");
  idxfix::policy(*c, kPol, "DOCS", {});
  ASSERT_EQ(cmd(10, {pol, "1", "1", "C"}).code, 101);
  // Another session holds the table, so the populate's read waits on it
  // until the signal comes.
  Conn holder(db.name);
  holder.one("BEGIN");
  holder.one("LOCK TABLE t.docs IN ACCESS EXCLUSIVE MODE");
  int id = pgtest::post(*c, 11, {pol, "1", "1", "1", "C"});
  ASSERT_TRUE(pgtest::waitrow(*c,
                              "SELECT count(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock'"
                              " AND datname = current_database() AND query ILIKE '%docs%'",
                              "1", 60))
      << srv.log();
  kill(srv.pid, SIGTERM);
  EXPECT_EQ(srv.wait(), 0) << srv.log();
  EXPECT_TRUE(has(srv.log(), "DRG-50707: message " + std::to_string(id) + " was interrupted"))
      << srv.log();

  holder.one("COMMIT");
  pgtest::Server again;
  setenv("NLS_LANG", idxfix::kNls, 1);
  again.start({"-user", db.user(), "-logfile", again.logpath, "-personality", "DQM"}, db.name);
  unsetenv("NLS_LANG");
  ASSERT_TRUE(again.ready()) << again.out();
  Reply r = cmd(11, {pol, "1", "1", "1", "R"});
  EXPECT_EQ(r.code, 101) << r.arg(1) << again.log();
  EXPECT_EQ(c->one("SELECT count(DISTINCT textkey) || '/' || count(*) FROM " +
                   idxfix::object(kPol, "ktb")),
            "300/300");
  EXPECT_EQ(cmd(21, {}).code, 101);
  EXPECT_EQ(again.wait(), 0);
}

TEST_F(Indexing, AChangedRowsBatchThatFailsComesBack) {
  idxfix::policy(*c, kPol, "DOCS", {});
  ASSERT_EQ(cmd(10, {pol, "1", "1", "C"}).code, 101);
  ASSERT_EQ(cmd(11, {pol, "1", "1", "1", "C"}).code, 101);
  // The batch's first flush fails once, after its old version is retired.
  std::string i1t = idxfix::object(kPol, "i1t1");
  c->one("CREATE SEQUENCE t.once");
  c->one("CREATE FUNCTION t.failonce() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN"
         " IF nextval('t.once') = 1 THEN RAISE EXCEPTION 'the first flush fails'; END IF;"
         " RETURN NEW; END $$");
  c->one("CREATE TRIGGER failonce BEFORE INSERT ON " + i1t +
         " FOR EACH ROW EXECUTE FUNCTION t.failonce()");
  c->one("UPDATE t.docs SET body = 'a new text' WHERE id = 2");
  c->one("CALL dmlq.queue_change($1::integer, '2')", {pol});
  ASSERT_TRUE(pgtest::waitrow(*c, "SELECT count(*) FROM dmlq.queue", "0", 60));
  ASSERT_TRUE(srv.waitlog("End batch, return code is 0\n"));
  std::string log = srv.log();
  size_t batches = 0;
  for (size_t at = log.find("DML batch: cid=1000"); at != std::string::npos;
       at = log.find("DML batch: cid=1000", at + 1))
    ++batches;
  EXPECT_EQ(batches, 2u) << log;
  EXPECT_TRUE(has(log, "the first flush fails")) << log;
  idxfix::Decoded d = idxfix::decode(*c, kPol, DREL_KIND0, {"2"});
  EXPECT_EQ(d.kept, idxfix::expected({{"2", {"A", "NEW", "TEXT"}}}, {}));
}

}  // namespace
