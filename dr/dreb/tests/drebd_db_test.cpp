// The doc-id manager against the private cluster: the journal and undo,
// release, retire by key, reading the deleted ids in pieces, table actions
// over both stores and the journal's limit.
#include <string>
#include <vector>

#include "dr/dreb/tests/idfix.h"

namespace {

struct DocIds : idfix::Ids {
  drobj *dm = nullptr;
  const drdidops *ops = nullptr;
  drebdmgr *rec() { return reinterpret_cast<drebdmgr *>(dm); }
  void SetUp() override {
    idfix::Ids::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    dm = drebdnew(st, st->seshp, idfix::kPol, nullptr);
    ASSERT_NE(dm, nullptr) << stack();
    ops = drops<drdidops>(dm);
    ASSERT_EQ(ops->tabs(dm, 0), 0) << stack();
    ASSERT_EQ(ops->tabs(dm, 1), 0) << stack();
  }
  void TearDown() override {
    if (dm) ops->free(dm);
    idfix::Ids::TearDown();
  }
  int32_t alloc(int32_t n) {
    int32_t first = -1;
    EXPECT_EQ(ops->alloc(dm, n, &first), 0) << stack();
    return first;
  }
  void ins(int32_t first, int32_t n) {
    std::vector<std::string> ks;
    std::vector<const char *> p;
    for (int32_t i = 0; i < n; ++i) ks.push_back("k" + std::to_string(first + i));
    for (auto &k : ks) p.push_back(k.c_str());
    ASSERT_EQ(ops->ins(dm, n, p.data(), first), 0) << stack();
  }
  // The values a bind took in the traced statements, in order.
  std::vector<std::string> bound(const std::string &name) {
    std::string l = lowlog(), key = "  :" + name + " = '";
    std::vector<std::string> out;
    for (size_t at = l.find(key); at != std::string::npos; at = l.find(key, at + 1)) {
      size_t from = at + key.size();
      out.push_back(l.substr(from, l.find('\'', from) - from));
    }
    return out;
  }
};

TEST_F(DocIds, UndoRemovesTheRunsKeysNewestBlockFirstAndRetiresItsRanges) {
  EXPECT_EQ(alloc(100), 1);
  ins(1, 100);
  EXPECT_EQ(alloc(10), 101);
  ins(101, 10);
  EXPECT_EQ(rec()->jused, 2);
  ASSERT_EQ(ops->undo(dm), 0) << stack();
  EXPECT_EQ(bound("lowerid"), (std::vector<std::string>{"101", "1"}));
  EXPECT_EQ(ktb(), "");
  EXPECT_EQ(lst(), "null,D,1,100,1;null,D,1,10,101;null,F,1,3999999890,111");
  EXPECT_EQ(rec()->jused, 0);

  // With nothing journaled, undo only retires this session's reserved rows.
  pq->one("insert into t.dr_00042_lst values (11, 5, 'R', 1, '200'), (12, 5, 'R', 1, '300')");
  ASSERT_EQ(ops->undo(dm), 0) << stack();
  EXPECT_EQ(text("select string_agg(coalesce(sid::text, 'null') || ltype || data, ',' order by"
                 " data::bigint) from t.dr_00042_lst where data in ('200', '300')"),
            "nullD200,12R300");
}

TEST_F(DocIds, ReleaseMakesTheRunFinal) {
  EXPECT_EQ(alloc(100), 1);
  ins(1, 100);
  ASSERT_EQ(ops->release(dm), 0) << stack();
  EXPECT_EQ(lst(), "null,F,1,3999999900,101");
  EXPECT_EQ(rec()->jused, 0);
  EXPECT_EQ(pq->one("select count(*) from t.dr_00042_ktb"), "100") << "committed";
  int32_t id = 0;
  ASSERT_EQ(ops->maxid(dm, &id), 0);
  EXPECT_EQ(id, 100);
}

TEST_F(DocIds, RetireTurnsTheKeysDocumentsIntoDeletedIds) {
  alloc(5);
  ins(1, 5);
  ASSERT_EQ(ops->release(dm), 0);
  EXPECT_EQ(ops->retire(dm, 0, nullptr), 0) << "nothing to do";
  const char *keys[] = {"k2", "k4", "kx"};
  ASSERT_EQ(ops->retire(dm, 3, keys), 0) << stack();
  EXPECT_EQ(pq->col("select textkey from t.dr_00042_ktb order by docid"),
            (std::vector<std::string>{"k1", "k3", "k5"}))
      << "committed";
  EXPECT_EQ(pq->one("select concat_ws(',', sid, ltype, contiguous, idcount, data) from"
                    " t.dr_00042_lst where ltype = 'D'"),
            "0,D,0,2,2,4,");
}

// The id-list store's getdel, recording the maximum of every call.
std::vector<int32_t> asked;
int (*realgetdel)(drobj *, int32_t, int32_t *, int32_t *) = nullptr;
int recgetdel(drobj *o, int32_t max, int32_t *count, int32_t *ids) {
  asked.push_back(max);
  return realgetdel(o, max, count, ids);
}

TEST_F(DocIds, DeadIdsComeInPiecesUpToTheMaximum) {
  auto *store = reinterpret_cast<drebpstore *>(rec()->idlist);
  realgetdel = store->hd.ops.getdel;
  store->hd.ops.getdel = recgetdel;
  int32_t count = -1, *list = nullptr;
  EXPECT_EQ(ops->dead(dm, 1000, &count, &list), 2) << "no deleted list";
  EXPECT_EQ(count, 0);
  EXPECT_EQ(list, nullptr);

  struct Case {
    int32_t deleted, max;
    int rc;
    int32_t count;
    std::vector<int32_t> pieces;
  } cases[] = {
      {50000, 45000, 0, 45000, {20000, 20000, 5000}},
      {30000, 45000, 2, 30000, {20000, 20000}},
  };
  for (const Case &c : cases) {
    ASSERT_EQ(ops->delids(dm, 0, nullptr), 0) << stack();  // no deleted list left
    int32_t first = alloc(c.deleted);
    ASSERT_EQ(ops->undo(dm), 0) << stack();  // its ids deleted
    ASSERT_EQ(ops->take(dm), 0) << stack();
    ops->close(dm, 0);
    asked.clear();
    list = nullptr;
    ASSERT_EQ(ops->dead(dm, c.max, &count, &list), c.rc) << stack();
    EXPECT_EQ(asked, c.pieces);
    ASSERT_EQ(count, c.count);
    ASSERT_NE(list, nullptr);
    bool ascending = true;
    for (int32_t i = 0; i < count; ++i) ascending = ascending && list[i] == first + i;
    EXPECT_TRUE(ascending);
    void *p = list;
    drumfre(st, st->hpmgr, st->seshp, &p);
  }
  // Into the caller's array: one read.
  ops->close(dm, 0);
  asked.clear();
  int32_t mine[10];
  list = mine;
  EXPECT_EQ(ops->dead(dm, 10, &count, &list), 0);
  EXPECT_EQ(count, 10);
  EXPECT_EQ(asked, std::vector<int32_t>{10});

  // delids with no ids purges every deleted list taken.
  ASSERT_EQ(ops->delids(dm, 0, nullptr), 0) << stack();
  EXPECT_EQ(pq->one("select count(*) from t.dr_00042_lst where ltype = 'D'"), "0");
}

TEST_F(DocIds, TableActionsGoToBothStores) {
  alloc(3);
  ins(1, 3);
  struct Case {
    int32_t action;
    const char *objects;
  } cases[] = {
      {3, "dr_00042_kid,dr_00042_kik,dr_00042_ksq,dr_00042_ktb,dr_00042_lix,dr_00042_lst"},
      {2, ""},
      {0, "dr_00042_ksq,dr_00042_ktb,dr_00042_lst"},
  };
  for (const Case &c : cases) {
    ASSERT_EQ(ops->tabs(dm, c.action), 0) << stack();
    EXPECT_EQ(objects(), c.objects) << c.action;
    if (c.action == 3) {
      EXPECT_EQ(ktb(), "");
      EXPECT_EQ(lst(), "11,R,1,3,1;null,F,1,3999999997,4") << "the id list keeps its rows";
    }
  }
}

TEST_F(DocIds, TheJournalTakes255BlocksAndRefusesTheNext) {
  for (int i = 0; i < DREBD_JOURNAL; ++i) ASSERT_EQ(alloc(1), i + 1);
  int32_t first = -1;
  EXPECT_EQ(ops->alloc(dm, 1, &first), 1);
  EXPECT_EQ(rtmsgnum(st->msg, 1), 50600);
  EXPECT_EQ(first, -1);
  EXPECT_EQ(pq->one("select count(*) from t.dr_00042_lst where ltype = 'R'"), "255")
      << "nothing reserved for the refused block";
  ASSERT_EQ(ops->undo(dm), 0) << stack();
  EXPECT_EQ(rec()->jused, 0);
}

TEST_F(DocIds, IdsWithoutKeysFailsWithoutAMessage) {
  int32_t found = 0, ids[1];
  EXPECT_EQ(ops->ids(dm, 1, nullptr, &found, ids), 1);
  const char *keys[] = {"k1"};
  EXPECT_EQ(ops->ids(dm, 1, keys, nullptr, ids), 1);
  EXPECT_EQ(rtmsgcnt(st->msg), 0);
}

}  // namespace
