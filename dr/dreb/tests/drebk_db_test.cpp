// The key map against the private cluster: array inserts, lookups and
// deletes by groups of 40, the keys lookup in both modes with reserved
// ranges hidden, table actions and keys too long for their slot.
#include <algorithm>
#include <string>
#include <vector>

#include "dr/dreb/tests/idfix.h"

namespace {

std::string key(int32_t id) { return "k" + std::to_string(id); }

struct KeyMap : idfix::Ids {
  drobj *km = nullptr, *store = nullptr;
  const drkeyops *ops = nullptr;
  void SetUp() override {
    idfix::Ids::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    km = drebknew(st, st->seshp);
    ASSERT_NE(km, nullptr);
    ops = drops<drkeyops>(km);
    ASSERT_EQ(ops->bnd(km, idfix::kPol, nullptr), 0) << stack();
    ASSERT_EQ(ops->tabs(km, 0), 0) << stack();
    ASSERT_EQ(ops->tabs(km, 1), 0) << stack();
    store = drebpnew(st, st->seshp, idfix::kPol, nullptr);
    ASSERT_EQ(drops<drilsops>(store)->tabs(store, 0), 0) << stack();
  }
  void TearDown() override {
    if (km) ops->free(km);
    if (store) drops<drilsops>(store)->free(store);
    idfix::Ids::TearDown();
  }
  // Records the keys of the ids first .. first + n - 1.
  void put(int32_t first, int32_t n) {
    std::vector<std::string> ks;
    std::vector<const char *> p;
    for (int32_t i = 0; i < n; ++i) ks.push_back(key(first + i));
    for (auto &k : ks) p.push_back(k.c_str());
    ASSERT_EQ(ops->put(km, n, p.data(), first), 0) << stack();
  }
  struct Found {
    int rc;
    std::vector<std::string> keys;
    std::vector<int> scores;
  };
  // The keys of the ids asked in one call, or in calls of at most piece ids
  // (the rc is the last call's); an id's score is its position in ids.
  Found keys(const std::vector<int32_t> &ids, const char *view = nullptr, size_t piece = 0) {
    std::vector<char *> k(ids.size());
    std::vector<uint8_t> sc;
    for (size_t i = 0; i < ids.size(); ++i) sc.push_back(static_cast<uint8_t>(i % 200));
    Found f;
    size_t step = piece ? piece : ids.size();
    for (size_t at = 0; at < ids.size(); at += step) {
      int32_t n = static_cast<int32_t>(std::min(step, ids.size() - at)), found = -1;
      f.rc = ops->keys(km, idfix::kLst, n, ids.data() + at, &found, k.data(), sc.data() + at, view);
      for (int32_t i = 0; i < found; ++i) {
        f.keys.push_back(k[static_cast<size_t>(i)]);
        f.scores.push_back(sc[at + static_cast<size_t>(i)]);
      }
    }
    return f;
  }
  // Executions of the keys lookup so far.
  size_t lookups() { return runs("select k.textkey").size(); }
  // The ids first, first + step, ... up to last.
  static std::vector<int32_t> span(int32_t first, int32_t last, int32_t step = 1) {
    std::vector<int32_t> v;
    for (int32_t i = first; i <= last; i += step) v.push_back(i);
    return v;
  }
};

TEST_F(KeyMap, InsertsGoIn255RowArrays) {
  put(1001, 600);
  EXPECT_EQ(runs("insert into t.dr_00042_ktb"), (std::vector<std::string>{"255", "255", "90"}));
  EXPECT_EQ(text("select min(docid) || '-' || max(docid) || ':' || count(*) from t.dr_00042_ktb"),
            "1001-1600:600");
  EXPECT_EQ(text("select textkey from t.dr_00042_ktb where docid = 1600"), "k1600");
}

TEST_F(KeyMap, LookupsAndDeletesTakeFortyValuesAnExecution) {
  put(1, 45);
  std::vector<std::string> ks;
  for (int32_t i = 1; i <= 45; ++i) ks.push_back(key(i));
  std::vector<const char *> p;
  for (auto &k : ks) p.push_back(k.c_str());
  const char *gone[] = {"k7", "k30"};
  ASSERT_EQ(ops->delkeys(km, 2, gone), 0) << stack();

  std::vector<int32_t> ids(45, 0);
  int32_t found = 0;
  ASSERT_EQ(ops->ids(km, 45, p.data(), &found, ids.data()), 0) << stack();
  EXPECT_EQ(found, 43);
  EXPECT_EQ(runs("select docid from").size(), 2u);
  std::vector<int32_t> got(ids.begin(), ids.begin() + found), want;
  std::sort(got.begin(), got.end());
  for (int32_t i = 1; i <= 45; ++i)
    if (i != 7 && i != 30) want.push_back(i);
  EXPECT_EQ(got, want);

  std::vector<int32_t> first41;
  for (int32_t i = 1; i <= 41; ++i) first41.push_back(i);
  ASSERT_EQ(ops->delids(km, 41, first41.data()), 0) << stack();
  EXPECT_EQ(runs("delete from t.dr_00042_ktb where docid in").size(), 2u);
  struct Range {
    int32_t first, count;
    const char *left;
  } ranges[] = {{42, 0, "k42=42;k43=43;k44=44;k45=45"}, {42, 2, "k44=44;k45=45"}};
  for (const Range &r : ranges) {
    ASSERT_EQ(ops->delrange(km, r.first, r.count), 0) << stack();
    EXPECT_EQ(ktb(), r.left);
  }
}

TEST_F(KeyMap, KeysOfIdsHideReservedRangesAndMoveTheScores) {
  put(5, 1);
  put(9, 1);
  put(150, 1);
  put(41, 9);
  put(51, 90);  // 41 .. 140 but 50
  // Another session's run holds 101 .. 200.
  pq->one("insert into t.dr_00042_lst values (99, 100, 'R', 1, '101')");
  // Many dense ids go as one scan, others as one array an execution; either
  // way the keys are those of the same ids asked 40 at a time, which the
  // short sets spell out.
  std::vector<int32_t> mixed = span(41, 90);
  mixed.insert(mixed.begin(), {5, 7, 9});
  mixed.insert(mixed.end(), {150, 151});
  // rc 2: the scan ran out, no later id has a key.
  struct Case {
    std::vector<int32_t> ids;
    int rc;
    size_t execs;
    std::vector<std::string> keys;
    std::vector<int> scores;
  } cases[] = {
      {{5, 7, 9}, 0, 1, {"k5", "k9"}, {0, 2}},
      {{150}, 0, 1, {}, {}},
      {{4, 5, 150, 151}, 0, 1, {"k5"}, {1}},
      {span(41, 140), 2, 1, {}, {}},     // no key for 50, 101 on hidden
      {mixed, 2, 1, {}, {}},             // the scan from 77 meets 150 hidden
      {span(3, 443, 10), 0, 1, {}, {}},  // sparse: one array
  };
  for (const Case &c : cases) {
    ops->close(km, 3);
    size_t before = lookups();
    Found f = keys(c.ids);
    EXPECT_EQ(f.rc, c.rc) << stack();
    EXPECT_EQ(lookups() - before, c.execs) << c.ids.size() << " ids from " << c.ids[0];
    ops->close(km, 3);
    Found forty = keys(c.ids, nullptr, 40);
    EXPECT_EQ(f.keys, forty.keys);
    EXPECT_EQ(f.scores, forty.scores);
    if (c.ids.size() > 40) continue;
    EXPECT_EQ(f.keys, c.keys);
    EXPECT_EQ(f.scores, c.scores);
  }
}

TEST_F(KeyMap, AViewOrManyDenseIdsStreamOneScanAcrossCalls) {
  put(1, 1200);
  sql("create view t.v as select textkey from t.dr_00042_ktb where docid % 2 = 0");
  std::vector<int32_t> a, b;
  for (int32_t i = 1; i <= 1000; ++i) a.push_back(i);
  for (int32_t i = 1001; i <= 1200; ++i) b.push_back(i);
  Found f = keys(a, "t.v");
  EXPECT_EQ(f.rc, 0) << stack();
  ASSERT_EQ(f.keys.size(), 500u);
  EXPECT_EQ(f.keys[0], "k2");
  EXPECT_EQ(f.scores[1], 3);
  f = keys(b, "t.v");
  EXPECT_EQ(f.rc, 2) << "the stream ran out";
  ASSERT_EQ(f.keys.size(), 100u);
  EXPECT_EQ(f.keys[99], "k1200");
  EXPECT_EQ(lookups(), 1u) << "one execution served both calls";

  // Without a view the same dense ids stream too, up to past the last key.
  ops->close(km, 3);
  f = keys(a);
  EXPECT_EQ(f.rc, 0) << stack();
  EXPECT_EQ(f.keys.size(), 1000u);
  f = keys(b);
  EXPECT_EQ(f.rc, 2);
  ASSERT_EQ(f.keys.size(), 200u);
  EXPECT_EQ(f.keys[199], "k1200");
  f = keys({1300});
  EXPECT_EQ(f.rc, 2);
  EXPECT_TRUE(f.keys.empty());
  EXPECT_EQ(lookups(), 2u);

  // Sparse ids go up to 255 to an execution, as one array.
  ops->close(km, 3);
  f = keys(span(1, 1200, 10));
  EXPECT_EQ(f.rc, 0);
  EXPECT_EQ(f.keys.size(), 120u);
  EXPECT_EQ(lookups(), 2u + 1);

  ops->close(km, 3);
  f = keys(a, "t.v; drop table t.v");
  EXPECT_EQ(f.rc, 1);
  EXPECT_EQ(rtmsgnum(st->msg, 1), DREBK_EVIEW);
}

TEST_F(KeyMap, TableActionsMakeAndDropTheObjects) {
  put(1, 10);
  struct Case {
    int32_t action;
    const char *objects, *rows;
  } cases[] = {
      {3, "dr_00042_kid,dr_00042_kik,dr_00042_ksq,dr_00042_ktb,dr_00042_lst", ""},
      {2, "dr_00042_lst", nullptr},
      {0, "dr_00042_ksq,dr_00042_ktb,dr_00042_lst", ""},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(ops->tabs(km, c.action), 0) << stack();
    EXPECT_EQ(objects(), c.objects) << c.action;
    if (c.rows) {
      EXPECT_EQ(ktb(), c.rows);
    }
  }
  EXPECT_EQ(ops->tabs(km, -1), 1);
  EXPECT_EQ(rtmsgnum(st->msg, 1), DREB_EACTION);
}

TEST_F(KeyMap, KeysLongerThan256BytesAreRefused) {
  std::string longest(256, 'a'), over(257, 'b');
  const char *ok[] = {longest.c_str()};
  ASSERT_EQ(ops->put(km, 1, ok, 1), 0) << stack();
  const char *bad[] = {"k2", over.c_str()};
  EXPECT_EQ(ops->put(km, 2, bad, 2), 1);
  EXPECT_EQ(rtmsgnum(st->msg, 1), DREBK_EKEY);
  drueclr(st);
  EXPECT_EQ(text("select count(*)::text from t.dr_00042_ktb"), "1") << "nothing of the call written";
  int32_t ids[2], found = -1;
  EXPECT_EQ(ops->ids(km, 2, bad, &found, ids), 1);
  EXPECT_EQ(ops->delkeys(km, 2, bad), 1);
}

}  // namespace
