// Stored query expressions through the sqe command and the query commands
// of a veksrv process over the eight documents of
// tests/fixtures/query/boats.sql: what is saved and stored, queries that
// name them, refreshes after a changed row, the refusals, and the purge of
// ended sessions.
#include <cstdio>
#include <map>
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

// A document id as the 4 bytes of a stored entry, in hex.
std::string hexid(const std::string &id) {
  char b[16];
  std::snprintf(b, sizeof b, "%08x", static_cast<unsigned>(std::stoul(id)));
  return b;
}

struct Stored : ::testing::Test {
  pgtest::Database db;
  pgtest::Server srv;
  std::unique_ptr<Conn> c;
  std::map<std::string, std::string> ids;
  std::string res;

  void SetUp() override {
    PGTEST_NEED_DB(db);
    boats::start(srv, db);
    c = std::make_unique<Conn>(db.name);
    ASSERT_TRUE(srv.ready()) << srv.out();
    ASSERT_TRUE(boats::load(*c));
    ASSERT_TRUE(boats::index(*c)) << srv.log();
    ids = boats::docids(*c);
    Reply r = pgtest::submit(*c, 46, {"0", "RESULT", "1"}, 60);
    ASSERT_EQ(r.code, 101) << r.arg(1);
    res = r.arg(4);
  }
  // sqe command cmd of this session (the session argument is put in by
  // the database side: what is written here is never used).
  Reply sqe(int cmd, const std::string &name, const std::string &query = "", int scope = 0,
            Conn *as = nullptr) {
    return pgtest::submit(as ? *as : *c, 42,
                          {std::to_string(cmd), boats::pol, "someone else", name, query,
                           std::to_string(scope)},
                          60);
  }
  // The rows a contains query writes, or its error text.
  std::string contains(const std::string &query) {
    Reply r = pgtest::submit(*c, 15, {boats::pol, query, res, "0", "0", "0", "0", "0", "x", "NULL"}, 60);
    if (r.code != 101) return "error: " + r.arg(1);
    return boats::rows(*c, res);
  }
  // A stored query's result rows as "first_doc:hex" in order.
  std::string sqr(const std::string &name) {
    return c->one("SELECT coalesce(string_agg(first_doc || ':' || encode(query_result, 'hex'), ' '"
                  " ORDER BY first_doc), '') FROM qfix.dr_01900_sqr WHERE query_name = upper($1)",
                  {name})
        .value_or("?");
  }
  std::string def(const std::string &name) {
    return c->one("SELECT session_id || ' ' || hwmark FROM dr$sqe WHERE query_name = upper($1)", {name})
        .value_or("none");
  }
  // The highest settled document id: below every reserved or free one.
  std::string settled() {
    return c->one("SELECT min(data::bigint) - 1 FROM qfix.dr_01900_lst WHERE ltype IN ('R', 'F')")
        .value_or("?");
  }
  std::string me() { return c->one("SELECT dr_utl.session_id()").value_or("?"); }
  std::string entry(const char *key, const char *score) { return hexid(ids[key]) + score; }
};

TEST_F(Stored, SavedQueriesAreStoredAndAnsweredByName) {
  Reply r = sqe(0, "redq", "red");
  ASSERT_EQ(r.code, 101) << r.arg(1);
  EXPECT_EQ(def("redq"), me() + " " + settled());
  EXPECT_EQ(sqr("redq"), ids["1"] + ":" + entry("1", "0a") + entry("3", "64") + entry("8", "0a") + "00000000");
  EXPECT_EQ(contains("SQE(redq)"), "1:10 3:100 8:10");
  EXPECT_EQ(contains("SQE(redq) & boat"), "1:10");
  std::string nope = contains("SQE(nope)");
  EXPECT_TRUE(has(nope, "DRG-10825")) << nope;
  EXPECT_TRUE(has(nope, "NOPE") || has(nope, "nope")) << nope;

  // A changed row: the next query that names the stored query refreshes it
  // with what is new, and only once.
  c->one("INSERT INTO qfix.boats VALUES (9, 'red sky at night')");
  c->one("CALL dmlq.queue_change(1900, '9')");
  ASSERT_TRUE(pgtest::waitrow(*c, "SELECT count(*) FROM dmlq.queue", "0", 60));
  ASSERT_TRUE(srv.waitlog("End batch, return code is 0\n"));
  ids = boats::docids(*c);
  std::string before = sqr("redq");
  EXPECT_EQ(contains("SQE(redq)"), "1:10 3:100 8:10 9:10");
  EXPECT_EQ(sqr("redq"), before + " " + ids["9"] + ":" + entry("9", "0a") + "00000000");
  EXPECT_EQ(def("redq"), me() + " " + settled());
  EXPECT_EQ(contains("SQE(redq)"), "1:10 3:100 8:10 9:10");
  EXPECT_EQ(sqr("redq"), before + " " + ids["9"] + ":" + entry("9", "0a") + "00000000");
  // A refresh clears first: one row of all four.
  r = sqe(2, "redq");
  ASSERT_EQ(r.code, 101) << r.arg(1);
  EXPECT_EQ(sqr("redq"), ids["1"] + ":" + entry("1", "0a") + entry("3", "64") + entry("8", "0a") +
                             entry("9", "0a") + "00000000");
}

TEST_F(Stored, EdgeCases) {
  struct Case {
    const char *what;
    int cmd;
    const char *name, *query;
    int scope;
    const char *says;  // null: succeeds
  } cases[] = {
      {"save for every session", 0, "sysq", "boat", 1, nullptr},
      {"delete it without scope", 1, "sysq", "", 0, "DRG-10014"},
      {"save its name for a session", 0, "sysq", "river", 0, "DRG-10822"},
      {"save without hits", 0, "zq", "zebra", 0, nullptr},
      {"save a name again", 0, "zq", "north", 0, "DRG-10822"},
      {"delete", 1, "zq", "", 0, nullptr},
      {"delete what is gone", 1, "zq", "", 0, "DRG-10823"},
      {"refresh what is gone", 2, "zq", "", 0, "DRG-10825"},
      {"name what does not exist", 0, "outer", "SQE(inner) | boat", 0, "DRG-10825"},
      {"command 4", 4, "whatever", "", 0, nullptr},
  };
  for (const Case &k : cases) {
    Reply r = sqe(k.cmd, k.name, k.query, k.scope);
    if (!k.says) {
      EXPECT_EQ(r.code, 101) << k.what << ": " << r.arg(1);
    } else {
      EXPECT_EQ(r.code, 102) << k.what;
      EXPECT_TRUE(has(r.arg(1), k.says)) << k.what << ": " << r.arg(1);
    }
    if (k.cmd == 0 && std::string(k.name) == "zq" && !k.says) {
      // No hits: no row, and the high-water mark still moves.
      EXPECT_EQ(sqr("zq"), "");
      EXPECT_EQ(def("zq"), me() + " " + settled());
    }
  }
  EXPECT_EQ(def("sysq"), "SYSTEM " + settled());
  EXPECT_EQ(contains("SQE(sysq)"), "1:10 4:20 6:10");
  EXPECT_EQ(def("whatever"), "none");
  EXPECT_EQ(sqe(1, "sysq", "", 1).code, 101);
  EXPECT_EQ(def("sysq"), "none");
  EXPECT_EQ(sqr("sysq"), "");

  // A stored query names only definitions saved before it: one saved again
  // after it is not found through it.
  ASSERT_EQ(sqe(0, "inner", "red").code, 101);
  ASSERT_EQ(sqe(0, "outer", "SQE(inner) | north").code, 101);
  EXPECT_EQ(contains("SQE(outer)"), "1:10 3:100 5:20 8:10");
  ASSERT_EQ(sqe(1, "inner").code, 101);
  ASSERT_EQ(sqe(0, "inner", "boat").code, 101);
  std::string later = contains("SQE(outer)");
  EXPECT_TRUE(has(later, "DRG-10825")) << later;
}

TEST_F(Stored, PurgeRemovesEndedSessionsOnly) {
  std::string gone;
  {
    Conn other(db.name);
    gone = other.one("SELECT dr_utl.session_id()").value_or("?");
    ASSERT_EQ(sqe(0, "theirs", "red", 0, &other).code, 101);
  }
  Conn live(db.name);
  ASSERT_EQ(sqe(0, "alive", "boat", 0, &live).code, 101);
  ASSERT_EQ(sqe(0, "mine", "north").code, 101);
  ASSERT_EQ(sqe(0, "everyone", "river", 1).code, 101);
  // Another session's definition is not this one's.
  std::string theirs = contains("SQE(theirs)");
  EXPECT_TRUE(has(theirs, "DRG-10825")) << theirs;
  ASSERT_TRUE(pgtest::waitrow(*c, "SELECT dr_utl.session_live($1)", "f", 30, {gone}));
  Reply r = sqe(3, "");
  ASSERT_EQ(r.code, 101) << r.arg(1);
  EXPECT_EQ(def("theirs"), "none");
  EXPECT_EQ(sqr("theirs"), "");
  EXPECT_NE(def("alive"), "none");
  EXPECT_NE(sqr("alive"), "");
  EXPECT_EQ(def("mine"), "none");
  EXPECT_EQ(def("everyone"), "SYSTEM " + settled());
}

}  // namespace

namespace {

// Optimisation through its three commands: mode 1 takes a deleted
// document's postings out and queries answer as before; so does an
// in-place compaction after it.
TEST_F(Stored, LazyDeletesThroughTheOptimisationCommands) {
  c->one("DELETE FROM qfix.boats WHERE id = 3");
  c->one("CALL dmlq.queue_change(1900, '3')");
  ASSERT_TRUE(pgtest::waitrow(*c, "SELECT count(*) FROM dmlq.queue", "0", 60));
  ASSERT_TRUE(srv.waitlog("End batch, return code is 0\n"));
  EXPECT_EQ(contains("red"), "1:10 8:10");
  for (int code : {37, 14, 33}) {
    std::vector<std::optional<std::string>> args =
        code == 37 ? std::vector<std::optional<std::string>>{boats::pol, "1", "1"}
        : code == 14 ? std::vector<std::optional<std::string>>{boats::pol, "1", "0", "1", "1"}
                     : std::vector<std::optional<std::string>>{boats::pol, "1"};
    Reply r = pgtest::submit(*c, code, args, 60);
    EXPECT_EQ(r.code, 101) << code << ": " << r.arg(1);
  }
  EXPECT_TRUE(has(srv.log(), "Garbage-collecting for one dead document " + ids["3"] + ".")) << srv.log();
  EXPECT_EQ(contains("red"), "1:10 8:10");
  EXPECT_EQ(c->one("SELECT count(*) FROM qfix.dr_01900_lst WHERE ltype = 'D'"), "0");
  Reply r = pgtest::submit(*c, 14, {boats::pol, "2", "0", "1", "1"}, 60);
  EXPECT_EQ(r.code, 101) << r.arg(1);
  EXPECT_TRUE(has(srv.log(), "Terms compacted 0, rows used before = 0")) << srv.log();
  EXPECT_EQ(contains("red"), "1:10 8:10");
}

}  // namespace
