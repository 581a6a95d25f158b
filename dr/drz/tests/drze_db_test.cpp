// Column arrays against the private cluster: rows of several external types
// with nulls sent in batches of one execution each (counted in the SQL
// trace), fetches of a full and a short batch, and a failing batch that rolls
// the whole transaction back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "dr/drz/tests/drzfix.h"
#include "tests/fixtures/db/pguser.h"

namespace {

struct Batches : drzfix::Fixture {
  druocur cur{};
  bool open = false;

  Batches() { logname = "kes-drze"; }
  void SetUp() override {
    if (!std::getenv("PGHOST")) GTEST_SKIP() << "no PG environment";
    Fixture::SetUp();
    std::string u = pgtest::userstring();
    ASSERT_EQ(dracnlog(st, u.c_str(), 1), 0);
    // A table of the session's own, so that parallel runs never meet.
    ASSERT_EQ(drqsexe(st,
                      "create temporary table drze_t (c char(30), s integer, u bigint, "
                      "z varchar(20), k integer primary key)"),
              0);
  }
  void TearDown() override {
    if (open) druoend(st, &cur);
    Fixture::TearDown();
  }
  void prepare(const char *sql) {
    if (open) druoend(st, &cur);
    ASSERT_EQ(druoprp(st, &cur, DRUO_WORK, sql), 0);
    open = true;
  }
  // Executions of n rows the trace shows.
  int executions(int n) {
    std::string text = log(), mark = "(" + std::to_string(n) + " rows)";
    int count = 0;
    for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + 1))
      count++;
    return count;
  }
  std::string count(const char *where = "") {
    druocur c{};
    char buf[32] = {};
    std::string sql = std::string("select count(*) from drze_t") + where;
    EXPECT_EQ(druoprp(st, &c, DRUO_WORK, sql.c_str()), 0);
    EXPECT_EQ(druodef(st, &c, 1, buf, sizeof buf, DRUO_STRING), 0);
    EXPECT_EQ(druoexf(st, &c, 1), 0);
    druoend(st, &c);
    return buf;
  }
};

const drzecol kCols[5] = {{":c", DRUO_CHAR, 30, 0},
                          {":s", DRUO_UNSIGNED, 2, 0},
                          {":u", DRUO_UNSIGNED, 4, 0},
                          {":z", DRUO_STRING, 20, 0},
                          {":k", DRUO_UNSIGNED, 4, 0}};

// Fills row r of the set with the values of key k: every third row has
// nulls in its character and string columns.
void fill(drzeset *set, int r, uint32_t k) {
  std::string c = "row" + std::to_string(k);
  std::memcpy(set->values[0] + r * 30, c.data(), c.size());
  uint16_t s = static_cast<uint16_t>(k * 2);
  std::memcpy(set->values[1] + r * 2, &s, 2);
  uint32_t u = 100000u + k;
  std::memcpy(set->values[2] + r * 4, &u, 4);
  std::snprintf(set->values[3] + r * 20, 20, "z%u", k);
  std::memcpy(set->values[4] + r * 4, &k, 4);
  const uint16_t lens[5] = {static_cast<uint16_t>(c.size()), 2, 4,
                            static_cast<uint16_t>(std::strlen(set->values[3] + r * 20)), 4};
  for (int col = 0; col < 5; col++) {
    set->lens[col][r] = lens[col];
    set->inds[col][r] = (k % 3 == 0 && (col == 0 || col == 3)) ? -1 : 0;
  }
  set->filled = r + 1;
}

TEST_F(Batches, SeventeenRowsGoAsTwoExecutions) {
  drzeset *set = nullptr;
  ASSERT_EQ(drzfix::guarded(st, [&] { drzenew(st, &set, 16, kCols, 5); }), drzfix::Raised{});
  prepare("insert into drze_t (c, s, u, z, k) values (:c, :s, :u, :z, :k)");
  for (uint32_t k = 1; k <= 16; k++) fill(set, static_cast<int>(k - 1), k);
  ASSERT_EQ(drzeins(st, &cur, set), 0);
  EXPECT_EQ(set->processed, 16);
  EXPECT_EQ(set->filled, 0);
  fill(set, 0, 17);  // the next row goes to row 0
  ASSERT_EQ(drzeins(st, &cur, set), 0);
  EXPECT_EQ(set->processed, 1);
  EXPECT_EQ(executions(16), 1);
  EXPECT_EQ(executions(1), 1);
  EXPECT_EQ(count(), "17");
  EXPECT_EQ(count(" where c is null and z is null"), "5");
  EXPECT_EQ(count(" where s = 2 * k and u = 100000 + k and (k % 3 = 0 or "
                  "(c = 'row' || k and z = 'z' || k))"),
            "17");
  // Nothing filled: nothing is executed, and that is no failure.
  ASSERT_EQ(drzeins(st, &cur, set), 0);
  EXPECT_EQ(set->processed, 0);
  EXPECT_EQ(executions(1), 1);
  // More rows than the set holds: refused before anything is bound.
  set->filled = 17;
  EXPECT_EQ(drzeins(st, &cur, set), 1);
  EXPECT_TRUE(druefind(st, 50100));
  EXPECT_EQ(executions(17), 0);
  EXPECT_EQ(count(), "17");
  drzefree(st, &set);
}

TEST_F(Batches, FetchesAFullAndAShortBatch) {
  ASSERT_EQ(drqsexe(st,
                    "insert into drze_t (c, s, u, z, k) select 'r' || g, g, g, "
                    "case when g % 2 = 0 then 'z' || g end, g from generate_series(1, 17) g"),
            0);
  drzeset *set = nullptr;
  ASSERT_EQ(drzfix::guarded(st, [&] { drzenew(st, &set, 16, kCols, 5); }), drzfix::Raised{});
  struct Case {
    const char *sql;
    int rows;
  } cases[] = {{"select c, s, u, z, k from drze_t order by k", 16},
               {"select c, s, u, z, k from drze_t where k <= 5 order by k", 5},
               {"select c, s, u, z, k from drze_t where k > 99", 0}};
  for (const Case &c : cases) {
    prepare(c.sql);
    ASSERT_EQ(drzefetch(st, &cur, set), 0) << c.sql;
    EXPECT_EQ(set->processed, c.rows) << c.sql;
  }
  // The short batch: values, blank-padded characters and nulls as stored.
  prepare("select c, s, u, z, k from drze_t where k <= 5 order by k");
  ASSERT_EQ(drzefetch(st, &cur, set), 0);
  for (int r = 0; r < 5; r++) {
    uint32_t k = 0;
    std::memcpy(&k, set->values[4] + r * 4, 4);
    EXPECT_EQ(k, static_cast<uint32_t>(r + 1));
    EXPECT_EQ(std::string(set->values[0] + r * 30, 30),
              ("r" + std::to_string(r + 1)) + std::string(28, ' '));
    EXPECT_EQ(set->inds[3][r], (r + 1) % 2 == 0 ? 0 : -1) << r;
  }
  drzefree(st, &set);
}

TEST_F(Batches, AFailingBatchRollsEverythingBack) {
  drzeset *set = nullptr;
  ASSERT_EQ(drzfix::guarded(st, [&] { drzenew(st, &set, 16, kCols, 5); }), drzfix::Raised{});
  prepare("insert into drze_t (c, s, u, z, k) values (:c, :s, :u, :z, :k)");
  for (uint32_t k = 1; k <= 16; k++) fill(set, static_cast<int>(k - 1), k);
  ASSERT_EQ(drzeins(st, &cur, set), 0);
  fill(set, 0, 7);  // a key the first batch already holds
  drueclr(st);
  EXPECT_EQ(drzeins(st, &cur, set), 1);
  ASSERT_EQ(rtmsgcnt(st->msg), 1);
  EXPECT_EQ(rtmsgnum(st->msg, 1), 50850);
  char text[256];
  druetxt(st, 1, text, sizeof text);
  EXPECT_NE(std::string(text).find("23505"), std::string::npos) << text;
  EXPECT_EQ(set->filled, 1);
  EXPECT_EQ(count(), "0");
  // A bind name the statement does not hold fails at the bind.
  drueclr(st);
  prepare("insert into drze_t (k) values (:k)");
  EXPECT_EQ(drzeins(st, &cur, set), 1);
  EXPECT_EQ(rtmsgnum(st->msg, 1), 50850);
  drzefree(st, &set);
}

}  // namespace
