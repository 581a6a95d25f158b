// The id-list store against the private cluster: reservations and what
// release and retire make of them, deleted-id lists written and read back,
// the highest settled id, the 32-bit limit, table actions, and two sessions
// reserving at once.
#include <libpq-fe.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "dr/dreb/tests/idfix.h"

namespace {

struct IdList : idfix::Ids {
  drobj *store = nullptr;
  const drilsops *ops = nullptr;
  void SetUp() override {
    idfix::Ids::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    store = drebpnew(st, st->seshp, idfix::kPol, nullptr);
    ASSERT_NE(store, nullptr) << stack();
    ops = drops<drilsops>(store);
    ASSERT_EQ(ops->tabs(store, 0), 0) << stack();
  }
  void TearDown() override {
    if (store) ops->free(store);
    idfix::Ids::TearDown();
  }
  int32_t alloc(int32_t n) {
    int32_t first = -1;
    EXPECT_EQ(ops->alloc(store, n, &first), 0) << stack();
    return first;
  }
  // Reads every id getdel or getres hands out, in calls of at most max.
  std::vector<int32_t> readall(bool del, int32_t max, std::vector<int> *rcs = nullptr) {
    std::vector<int32_t> all, got(static_cast<size_t>(max));
    for (;;) {
      int32_t n = 0;
      int rc = del ? ops->getdel(store, max, &n, got.data()) : ops->getres(store, max, &n, got.data());
      EXPECT_NE(rc, 1) << stack();
      if (rcs) rcs->push_back(rc);
      all.insert(all.end(), got.begin(), got.begin() + n);
      if (rc != 0) return all;
    }
  }
};

TEST_F(IdList, AReservationSplitsTheFreeRowAndReleaseOrRetireSettlesIt) {
  EXPECT_EQ(lst(), "null,F,1,4000000000,1");
  struct Case {
    const char *then;  // "release", "retire" or nothing
    const char *rows;
  } cases[] = {
      {"", "11,R,1,100,1;null,F,1,3999999900,101"},
      {"release", "null,F,1,3999999900,101"},
      {"retire", "null,D,1,100,1;null,F,1,3999999900,101"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.then);
    ops->tabs(store, 2);
    ASSERT_EQ(ops->tabs(store, 0), 0) << stack();
    EXPECT_EQ(alloc(100), 1);
    std::string then = c.then;
    if (then == "release") {
      EXPECT_EQ(ops->release(store), 0) << stack();
    } else if (then == "retire") {
      EXPECT_EQ(ops->retire(store), 0) << stack();
    }
    EXPECT_EQ(lst(), c.rows);
    // Every step committed: another session sees the same rows.
    EXPECT_EQ(pq->col("select count(*) from t.dr_00042_lst")[0],
              std::to_string(std::count(c.rows, c.rows + strlen(c.rows), ';') + 1));
  }
}

TEST_F(IdList, ReservationsThatCannotBeServedChangeNothing) {
  struct Case {
    const char *what;
    const char *setup;  // run on the table first
    int32_t count;
  } cases[] = {
      {"the whole free row", "update t.dr_00042_lst set idcount = 50", 50},
      {"an id above 2147483647", "update t.dr_00042_lst set data = '2147483600'", 49},
      {"no free row", "delete from t.dr_00042_lst", 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    pq->one(c.setup);
    std::string before = lst();
    int32_t first = -7;
    EXPECT_EQ(ops->alloc(store, c.count, &first), 1);
    EXPECT_EQ(first, -7);
    EXPECT_NE(stack().find("run out of doc id"), std::string::npos) << stack();
    EXPECT_TRUE(druefind(st, 50853));
    drueclr(st);
    EXPECT_EQ(lst(), before);
    pq->one("delete from t.dr_00042_lst");
    pq->one("insert into t.dr_00042_lst (ltype, contiguous, idcount, data) values ('F', 1, 4000000000, '1')");
  }
  // Up to the last id is fine.
  pq->one("update t.dr_00042_lst set data = '2147483600'");
  EXPECT_EQ(alloc(48), 2147483600);
  int32_t first = 0;
  EXPECT_EQ(ops->alloc(store, 1, &first), 1);
}

TEST_F(IdList, DeletedIdsAreWrittenAsCommaListsOfAtMost1023Characters) {
  std::vector<int32_t> eight;
  for (int32_t i = 0; i < 200; ++i) eight.push_back(10000000 + i * 3);
  struct Case {
    std::vector<int32_t> ids;
    const char *rows;  // the rows' idcount and data lengths, or the rows themselves
  } cases[] = {
      {{12, 15, 20}, "0,D,0,3,12,15,20,"},
      {{}, ""},
      {eight, "200:1017;200:783"},
  };
  for (const Case &c : cases) {
    sql("delete from t.dr_00042_lst where ltype = 'D'");
    commit();
    ASSERT_EQ(ops->putdel(store, static_cast<int32_t>(c.ids.size()), c.ids.data()), 0) << stack();
    std::string rows =
        c.ids.size() > 100
            ? text("select string_agg(idcount || ':' || length(data), ';' order by data) from "
                   "t.dr_00042_lst where ltype = 'D'")
            : text("select coalesce(string_agg(concat_ws(',', sid, ltype, contiguous, idcount, data),"
                   " ';'), '') from t.dr_00042_lst where ltype = 'D'");
    EXPECT_EQ(rows, c.rows);
    ASSERT_EQ(ops->take(store), 0) << stack();
    EXPECT_EQ(readall(true, 1000), c.ids) << "read back in order";
  }
}

TEST_F(IdList, ReadersHandOutIdsInPiecesAndStartOverAfterTheEnd) {
  EXPECT_EQ(alloc(120), 1);
  ASSERT_EQ(ops->retire(store), 0) << stack();
  ASSERT_EQ(ops->take(store), 0) << stack();
  struct Step {
    int rc;
    int32_t n, first;
  } steps[] = {{0, 50, 1}, {0, 50, 51}, {2, 20, 101}, {0, 50, 1}};
  int32_t ids[50];
  for (const Step &s : steps) {
    int32_t n = -1;
    EXPECT_EQ(ops->getdel(store, 50, &n, ids), s.rc) << stack();
    EXPECT_EQ(n, s.n);
    EXPECT_EQ(ids[0], s.first);
  }
  // Reserved rows of every session, ranges and lists in the order of their first id.
  pq->one("insert into t.dr_00042_lst values (99, 5, 'R', 1, '500')");
  EXPECT_EQ(alloc(3), 121);
  std::vector<int> rcs;
  EXPECT_EQ(readall(false, 4, &rcs), (std::vector<int32_t>{121, 122, 123, 500, 501, 502, 503, 504}));
  EXPECT_EQ(rcs, (std::vector<int>{0, 0, 2}));
  int32_t flag = -1;
  EXPECT_EQ(ops->hasres(store, &flag), 0);
  EXPECT_EQ(flag, 1);
  ASSERT_EQ(ops->purge(store), 0);
  pq->one("delete from t.dr_00042_lst where ltype = 'R'");
  EXPECT_EQ(ops->hasres(store, &flag), 0);
  EXPECT_EQ(flag, 0);
  ops->close(store, 1);  // forget the pass the reader was in
  int32_t n = -1;
  EXPECT_EQ(ops->getdel(store, 50, &n, ids), 2) << "no deleted rows";
  EXPECT_EQ(n, 0);
}

// Only the deleted rows taken are read and purged: rows deleted after the
// take wait for the next one, which takes them with those still there.
TEST_F(IdList, OnlyTakenDeletedRowsAreReadAndPurged) {
  const int32_t early[] = {7, 9}, late[] = {8};
  ASSERT_EQ(ops->putdel(store, 2, early), 0) << stack();
  commit();
  ASSERT_EQ(ops->take(store), 0) << stack();
  ASSERT_EQ(ops->putdel(store, 1, late), 0) << stack();
  commit();
  EXPECT_EQ(readall(true, 10), (std::vector<int32_t>{7, 9}));
  ASSERT_EQ(ops->purge(store), 0) << stack();
  EXPECT_EQ(text("select string_agg(concat_ws(',', sid, data), ';') from t.dr_00042_lst where ltype = 'D'"),
            "0,8,");
  ASSERT_EQ(ops->take(store), 0) << stack();
  EXPECT_EQ(readall(true, 10), (std::vector<int32_t>{8}));
}

TEST_F(IdList, AMalformedListRowFailsTheRead) {
  pq->one("insert into t.dr_00042_lst values (-1, 2, 'D', 0, '12,x5,')");
  int32_t ids[10], n = 0;
  EXPECT_EQ(ops->getdel(store, 10, &n, ids), 1);
  EXPECT_EQ(rtmsgnum(st->msg, 1), 50600);
}

TEST_F(IdList, TheHighestSettledIdIsTheNumericMinimumMinusOne) {
  struct Case {
    int32_t released, reserved, maxid;
  } cases[] = {
      {100, 10, 100},  // 1..100 settled, 101..110 reserved
      {994, 10, 994},  // reserved '995' with free '1005': as text '1005' would come first
      {0, 0, 0},
  };
  for (const Case &c : cases) {
    ops->tabs(store, 2);
    ASSERT_EQ(ops->tabs(store, 0), 0);
    if (c.released) alloc(c.released);
    ASSERT_EQ(ops->release(store), 0);
    if (c.reserved) alloc(c.reserved);
    int32_t id = -1;
    EXPECT_EQ(ops->maxid(store, &id), 0) << stack();
    EXPECT_EQ(id, c.maxid);
  }
}

TEST_F(IdList, TableActionsCreateIndexKeepAndDrop) {
  alloc(5);
  struct Case {
    int32_t action;
    const char *objects;
  } cases[] = {
      {1, "dr_00042_lix,dr_00042_lst"},
      {3, "dr_00042_lix,dr_00042_lst"},
      {2, ""},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(ops->tabs(store, c.action), 0) << stack();
    EXPECT_EQ(objects(), c.objects) << c.action;
    if (c.action == 3) {
      EXPECT_EQ(lst(), "11,R,1,5,1;null,F,1,3999999995,6") << "rows stay";
    }
  }
  EXPECT_EQ(ops->tabs(store, 4), 1);
  EXPECT_EQ(rtmsgnum(st->msg, 1), DREB_EACTION);
}

TEST_F(IdList, TwoSessionsReservingAtOnceNeverOverlap) {
  constexpr int kRounds = 1500;
  std::thread other([&] {
    pgtest::Conn c(db.name);
    for (int i = 0; i < kRounds; ++i)
      PQclear(c.run("CALL dr_lst.alloc('t.dr_00042_lst', $1::integer, 12)",
                    {std::to_string(1 + i % 7)}));
  });
  for (int i = 0; i < kRounds; ++i) alloc(1 + i % 5);
  other.join();
  // The reserved blocks and the free row tile 1 .. without gap or overlap.
  auto rows = pq->col("select data || ':' || idcount from t.dr_00042_lst order by data::bigint");
  ASSERT_EQ(rows.size(), 2u * kRounds + 1);
  long long next = 1;
  for (const std::string &r : rows) {
    long long first = std::stoll(r), count = std::stoll(r.substr(r.find(':') + 1));
    ASSERT_EQ(first, next) << r;
    next = first + count;
  }
  EXPECT_EQ(next, 4000000001LL);
}

}  // namespace
