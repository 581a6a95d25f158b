// The writers that fill tables, on the private cluster: the result-table
// writer (clearing modes, batches of 512, keys split over several columns,
// missing columns, refused keys and names, a batch that fails), the
// highlight writers (batches of 512, the in-memory limit) and the document
// writer (growth, the 64 MiB cap in both modes, text and raw columns).
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "dr/drr/drr.h"
#include "dr/dru/dru.h"
#include "tests/fixtures/db/pguser.h"
#include "tests/fixtures/server/pgtest.h"
#include "tests/fixtures/server/statefix.h"

namespace {

struct TableWriters : statefix::State {
  std::unique_ptr<pgtest::Conn> pq;
  std::string tab;  // a name of this test's own
  std::vector<std::string> made;

  void SetUp() override {
    if (!getenv("PGHOST")) GTEST_SKIP() << "no database cluster (PGHOST)";
    statefix::State::SetUp();
    ASSERT_EQ(logon(pgtest::userstring()), 0);
    ASSERT_EQ(dracnchp(st), 0);
    pq = std::make_unique<pgtest::Conn>(getenv("PGDATABASE") ? getenv("PGDATABASE") : "kestrin");
    static int seq = 0;
    tab = "r1w_" + std::to_string(getpid()) + "_" + std::to_string(++seq);
  }
  void TearDown() override {
    if (pq)
      for (const std::string &t : made) PQclear(pq->exec("DROP TABLE IF EXISTS " + t, {}));
    statefix::State::TearDown();
  }
  // Makes a table of this test with columns; its name.
  std::string table(const std::string &cols, const std::string &suffix = "") {
    std::string t = tab + suffix;
    pq->one("CREATE TABLE " + t + " (" + cols + ")");
    made.push_back(t);
    return t;
  }
  std::string rows(const std::string &sql) {
    std::string out;
    for (const std::string &r : pq->col(sql)) out += r + ";";
    return out;
  }
  std::string count(const std::string &t) { return *pq->one("SELECT count(*) FROM " + t); }
};

// Keys k0001 ... of n hits, scores 1 to 100 round.
struct Hits {
  std::vector<std::string> text;
  std::vector<const char *> keys;
  std::vector<uint8_t> scores;
  explicit Hits(int n, const std::string &prefix = "k") {
    for (int i = 0; i < n; ++i) {
      char b[32];
      snprintf(b, sizeof b, "%s%04d", prefix.c_str(), i + 1);
      text.push_back(b);
      scores.push_back(static_cast<uint8_t>(i % 100 + 1));
    }
    for (const std::string &t : text) keys.push_back(t.c_str());
  }
  int32_t n() const { return static_cast<int32_t>(keys.size()); }
};

TEST_F(TableWriters, BatchesOf512AndTheClearingModes) {
  std::string t = table("textkey varchar(256), score numeric, conid integer, curid integer");
  pq->one("INSERT INTO " + t + " VALUES ('old1', 5, 1, 1), ('old2', 5, 1, 2), ('old3', 5, 2, 1)");
  struct Case {
    int shr, conid, curid;
    int hits;
    std::string before, after;  // rows left of the old ones; rows after finish
  } cases[] = {
      {4, 7, 0, 0, "old1;old2;old3;", "3"},       // no clearing, nothing written
      {1, 1, 0, 0, "old3;", "1"},                 // the rows of conid 1
      {2, 2, 1, 512, "", "512"},                  // conid 2, curid 1; one batch from putrows
      {0, 0, 0, 513, "", "513"},                  // truncate; 512 + 1
  };
  for (const Case &c : cases) {
    drobj *w = drrcnew(st, st->seshp);
    ASSERT_NE(w, nullptr);
    const drrwrops *o = drops<drrwrops>(w);
    ASSERT_EQ(o->open(w, t.c_str(), c.shr, c.conid, c.curid, 1), 0) << c.shr;
    EXPECT_EQ(rows("SELECT textkey FROM " + t + " WHERE textkey LIKE 'old%' ORDER BY 1"), c.before)
        << c.shr;
    Hits h(c.hits);
    ASSERT_EQ(o->putrows(w, h.n(), h.keys.data(), h.scores.data()), 0);
    // What putrows sent is committed already; the rest waits for finish.
    int sent = c.hits / 512 * 512;
    EXPECT_EQ(*pq->one("SELECT count(*) FROM " + t + " WHERE textkey LIKE 'k%'"), std::to_string(sent));
    ASSERT_EQ(o->finish(w), 0);
    EXPECT_EQ(count(t), c.after) << c.shr;
    o->destroy(w);
  }
  // Mode 2 wrote CONID and CURID with every row; mode 0 neither.
  EXPECT_EQ(rows("SELECT count(conid) || '/' || count(curid) FROM " + t), "0/0;");
  EXPECT_EQ(rows("SELECT textkey || ':' || score FROM " + t + " WHERE textkey IN ('k0001', 'k0100', 'k0513')"),
            "k0001:1;k0100:100;k0513:13;");
}

TEST_F(TableWriters, ModeFourCarriesTheContainsIdOnly) {
  std::string t = table("textkey varchar(256), score numeric, conid integer, curid integer");
  drobj *w = drrcnew(st, st->seshp);
  const drrwrops *o = drops<drrwrops>(w);
  ASSERT_EQ(o->open(w, t.c_str(), 4, 17, 99, 1), 0);
  Hits h(3);
  ASSERT_EQ(o->putrows(w, h.n(), h.keys.data(), h.scores.data()), 0);
  ASSERT_EQ(o->finish(w), 0);
  o->destroy(w);
  EXPECT_EQ(rows("SELECT textkey || ':' || conid || ':' || coalesce(curid, -1) FROM " + t + " ORDER BY 1"),
            "k0001:17:-1;k0002:17:-1;k0003:17:-1;");
}

TEST_F(TableWriters, KeysOfSeveralColumnsAreSplitAtUnescapedCommas) {
  std::string t = table("textkey varchar(256), textkey2 varchar(256), textkey3 varchar(256),"
                        " score numeric, conid integer");
  drobj *w = drrcnew(st, st->seshp);
  const drrwrops *o = drops<drrwrops>(w);
  ASSERT_EQ(o->open(w, t.c_str(), 1, 5, 0, 3), 0);
  const std::string v256(256, 'v');
  std::string last = "x," + v256 + ",y,dropped";
  const char *keys[] = {"a\\,b,c,d", "p\\\\q,r", last.c_str()};
  uint8_t scores[] = {10, 20, 30};
  ASSERT_EQ(o->putrows(w, 3, keys, scores), 0);
  ASSERT_EQ(o->finish(w), 0);
  o->destroy(w);
  EXPECT_EQ(rows("SELECT textkey || '|' || textkey2 || '|' || coalesce(textkey3, '<null>') || '|' ||"
                 " length(textkey2) || '|' || conid FROM " + t + " ORDER BY score"),
            "a,b|c|d|1|5;p\\q|r|<null>|1|5;x|" + v256 + "|y|256|5;");
}

TEST_F(TableWriters, RefusalsOfOpenAndPutrows) {
  std::string noconid = table("textkey varchar(256), score numeric", "a");
  std::string good = table("textkey varchar(256), score numeric, conid integer, curid integer", "b");
  struct Case {
    const char *what;
    std::string table;
    int shr, nkeys;
    std::vector<int> stack;
  } cases[] = {
      {"no CONID column for mode 1", noconid, 1, 1, {50850, DRR_ECOLUMN}},
      {"no CONID column for mode 4 (no delete)", noconid, 4, 1, {50850, DRR_ECOLUMN}},
      {"no TEXTKEY2 column", good, 3, 2, {50850, DRR_ECOLUMN}},
      {"a table that is not there", tab + "zz", 3, 1, {50850, DRR_EOPEN}},
      {"not a plain name", good + "; drop table " + good, 0, 1, {52009}},
      {"clearing mode 6", good, 6, 1, {DRR_ESHR}},
      {"17 key columns", good, 3, 17, {DRR_EKEYCNT}},
  };
  for (const Case &c : cases) {
    drobj *w = drrcnew(st, st->seshp);
    EXPECT_EQ(drops<drrwrops>(w)->open(w, c.table.c_str(), c.shr, 1, 1, c.nkeys), 1) << c.what;
    EXPECT_EQ(stacknums(), c.stack) << c.what;
    drueclr(st);
    drops<drrwrops>(w)->destroy(w);
  }
  EXPECT_EQ(pq->one("SELECT to_regclass('" + good + "') IS NOT NULL"), "t");
  // A key longer than its cell is refused; nothing of it is written.
  drobj *w = drrcnew(st, st->seshp);
  const drrwrops *o = drops<drrwrops>(w);
  ASSERT_EQ(o->open(w, good.c_str(), 3, 0, 0, 1), 0);
  std::string big(257, 'b');
  const char *keys[] = {"fine", big.c_str()};
  uint8_t scores[] = {1, 2};
  EXPECT_EQ(o->putrows(w, 2, keys, scores), 1);
  EXPECT_EQ(stacknums(), std::vector<int>{DRR_EKEYLEN});
  drueclr(st);
  o->destroy(w);
  EXPECT_EQ(count(good), "0");
}

TEST_F(TableWriters, AFailedBatchIsNotWrittenPast) {
  // Duplicate keys make every batch fail.
  std::string t = table("textkey varchar(256) PRIMARY KEY, score numeric");
  drobj *w = drrcnew(st, st->seshp);
  const drrwrops *o = drops<drrwrops>(w);
  ASSERT_EQ(o->open(w, t.c_str(), 3, 0, 0, 1), 0);
  std::vector<const char *> keys(512, "same");
  std::vector<uint8_t> scores(512, 50);
  EXPECT_EQ(o->putrows(w, 512, keys.data(), scores.data()), 1);
  EXPECT_EQ(stacknums(), (std::vector<int>{50850, DRR_ESEND, DRR_ESEND}));
  drueclr(st);
  auto *rec = reinterpret_cast<drrcwr *>(w);
  EXPECT_EQ(rec->rows, 512);
  const char *one[] = {"other"};
  EXPECT_EQ(o->putrows(w, 1, one, scores.data()), 1);
  EXPECT_EQ(rec->rows, 512);
  EXPECT_EQ(o->finish(w), 1);
  drueclr(st);
  o->destroy(w);
  EXPECT_EQ(count(t), "0");
}

TEST_F(TableWriters, HighlightEntriesGoInBatchesOf512) {
  std::string t = table("id integer, \"offset\" integer, length integer, strength integer");
  drobj *w = drrhnew(st, st->seshp);
  const drrhlops *o = drops<drrhlops>(w);
  ASSERT_EQ(o->open(w, t.c_str(), 42), 0);
  std::vector<int32_t> offs, lens, strs;
  for (int i = 0; i < 513; ++i) offs.push_back(1 + 10 * i), lens.push_back(3), strs.push_back(100);
  ASSERT_EQ(o->add(w, 513, offs.data(), lens.data(), strs.data()), 0);
  EXPECT_EQ(count(t), "512");
  ASSERT_EQ(o->add(w, 1, offs.data(), lens.data(), nullptr), 0);
  ASSERT_EQ(o->finish(w), 0);
  EXPECT_EQ(rows("SELECT count(*) || ':' || sum(strength) || ':' || min(id) || ':' || max(\"offset\") FROM " + t),
            "514:51300:42:5121;");
  // A table without the columns is refused at open.
  w = drrhnew(st, st->seshp);
  EXPECT_EQ(drops<drrhlops>(w)->open(w, (tab + "zz").c_str(), 1), 1);
  EXPECT_EQ(stacknums(), (std::vector<int>{50850, DRR_EHLOPEN}));
  drueclr(st);
  drops<drrhlops>(w)->finish(w);
}

TEST_F(TableWriters, TheInMemoryWriterKeeps10000Entries) {
  drobj *w = drrhinew(st, st->seshp);
  const drrhlops *o = drops<drrhlops>(w);
  ASSERT_EQ(o->open(w, "NULL", 0), 0);
  std::vector<int32_t> offs(10001, 7), lens(10001, 2);
  EXPECT_EQ(o->add(w, 10001, offs.data(), lens.data(), nullptr), 0);
  auto *m = reinterpret_cast<drrhmem *>(w);
  EXPECT_EQ(m->count, 10000u);
  EXPECT_EQ(m->strs[9999], 0);
  EXPECT_EQ(o->finish(w), 0);
}

TEST_F(TableWriters, DocumentsGrowToTheirCap) {
  std::string text = table("id integer, document text", "t");
  std::string raw = table("id integer, document bytea", "r");
  auto doc = [&](const std::string &t, uint8_t mode, int32_t id) {
    drobj *w = drrdnew(st, st->seshp, mode);
    EXPECT_EQ(drops<drrdocops>(w)->open(w, t.c_str(), id), 0);
    return w;
  };
  // Ten chunks of 2000 bytes: 16384, then 65536 bytes of room.
  drobj *w = doc(text, 0, 1);
  std::string chunk(2000, 'a');
  for (int i = 0; i < 10; ++i) ASSERT_EQ(drops<drrdocops>(w)->append(w, chunk.data(), 2000), 0);
  EXPECT_EQ(reinterpret_cast<drrdwr *>(w)->cap, 65536u);
  ASSERT_EQ(drops<drrdocops>(w)->finish(w), 0);
  // Bytes of every value into a raw column, the same through its type.
  w = doc(raw, 0, 2);
  std::string bytes("\0\xff\x01 text", 8);
  ASSERT_EQ(drops<drrdocops>(w)->append(w, bytes.data(), 8), 0);
  ASSERT_EQ(drops<drrdocops>(w)->finish(w), 0);
  EXPECT_EQ(rows("SELECT id || ':' || length(document) FROM " + text), "1:20000;");
  EXPECT_EQ(rows("SELECT encode(document, 'hex') FROM " + raw), "00ff012074657874;");
  // Past the cap: mode 0 refuses with 10005 (also a first chunk that large)
  // and stores nothing; mode 1 stores what it had and answers 6.
  std::vector<char> huge(DRR_DOCCAP + 1u);
  for (int mode : {0, 1}) {
    for (uint32_t first : {0u, 1000u}) {
      w = doc(raw, static_cast<uint8_t>(mode), 10 + mode * 2 + (first ? 1 : 0));
      if (first) ASSERT_EQ(drops<drrdocops>(w)->append(w, bytes.data(), 8), 0);
      int rc = drops<drrdocops>(w)->append(w, huge.data(), DRR_DOCCAP + 1u);
      if (mode == 0 || !first) {
        EXPECT_EQ(rc, 1) << mode << first;
        EXPECT_EQ(stacknums(), std::vector<int>{DRR_EDOC}) << mode << first;
      } else {
        EXPECT_EQ(rc, 6);
        EXPECT_EQ(drops<drrdocops>(w)->append(w, bytes.data(), 8), 6);
      }
      drueclr(st);
      EXPECT_EQ(reinterpret_cast<drrdwr *>(w)->held, first ? 8u : 0u);
      EXPECT_EQ(drops<drrdocops>(w)->finish(w), 0);
    }
  }
  EXPECT_EQ(rows("SELECT id || ':' || length(document) FROM " + raw + " WHERE id >= 10 ORDER BY id"),
            "13:8;");
  // A chunk that would carry a document past the cap is not copied.
  w = doc(raw, 0, 20);
  ASSERT_EQ(drops<drrdocops>(w)->append(w, bytes.data(), 8), 0);
  EXPECT_EQ(drops<drrdocops>(w)->append(w, huge.data(), DRR_DOCCAP - 7), 1);
  EXPECT_EQ(reinterpret_cast<drrdwr *>(w)->held, 8u);
  drueclr(st);
  drops<drrdocops>(w)->finish(w);
  // Names longer than the writer keeps, or not plain, are refused at open.
  for (std::string bad : {std::string(35, 'n'), std::string("a b")}) {
    w = drrdnew(st, st->seshp, 0);
    EXPECT_EQ(drops<drrdocops>(w)->open(w, bad.c_str(), 1), 1) << bad;
    EXPECT_FALSE(stacknums().empty());
    drueclr(st);
    drops<drrdocops>(w)->finish(w);
  }
}

}  // namespace
