// SQL builders, work ranges and the index log against the private cluster.
// Each test works in a schema of its own.
#include <cstring>
#include <string>
#include <vector>

#include "dr/drd/tests/dbfix.h"

using drdtest::sql;

namespace {

std::vector<std::string> texts;
void record(const char *text) { texts.emplace_back(text); }
// The last text run that starts with a word.
std::string last(const char *word) {
  for (auto i = texts.rbegin(); i != texts.rend(); ++i)
    if (i->rfind(word, 0) == 0) return *i;
  return "";
}

class Sql : public ::testing::Test {
 protected:
  drsrvstate *s = nullptr;
  std::string schema;
  void SetUp() override {
    s = drdtest::logon();
    ASSERT_NE(s, nullptr);
    const auto *ti = ::testing::UnitTest::GetInstance()->current_test_info();
    schema = std::string("drud_") + ti->name();
    for (char &c : schema) c = (char)std::tolower((unsigned char)c);
    sql(s, "DROP SCHEMA IF EXISTS " + schema + " CASCADE");
    sql(s, "CREATE SCHEMA " + schema);
    druocmt(s);
    texts.clear();
    drudtrace = record;
  }
  void TearDown() override {
    drudtrace = nullptr;
    if (s) {
      sql(s, "DROP SCHEMA IF EXISTS " + schema + " CASCADE");
      druocmt(s);
    }
    drdtest::logoff(s);
  }
  std::string t(const char *name) { return schema + "." + name; }
  // One integer from a query.
  int count(drsrvstate *st, const std::string &q) {
    druocur *cur = nullptr;
    if (druoprs(st, st->seshp, q.c_str(), &cur) != 0) return -1;
    int32_t n = -1;
    druodef(st, cur, 1, &n, sizeof n, DRUO_INTEGER);
    if (druoexf(st, cur, 1) != 0) n = -1;
    druofre(st, st->seshp, &cur);
    return n;
  }
};

TEST_F(Sql, CreateTableTextAndReplace) {
  std::string name = t("t1");
  drudcol cols[] = {{"number", "a", 3}, {"varchar2(10)", "b", 5}, {nullptr, nullptr, 0}};
  drudtab tab{name.c_str(), "TS", nullptr, nullptr, cols, 0};
  char buf[1024];
  // The types mapped; the tablespace does not exist here, so the database
  // refuses it and the builder reports which table.
  EXPECT_EQ(drudcrtab(s, &tab, buf, sizeof buf, 0), 1);
  EXPECT_EQ(std::string(buf), "create table " + name + " (a numeric,b varchar(10)) tablespace TS");
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts[0], buf);
  EXPECT_TRUE(druefind(s, 10538));
  EXPECT_EQ(tab.ncols, 2);
  drueclr(s);

  tab.tablespace = nullptr;
  tab.storage = "initial 1M";
  ASSERT_EQ(drudcrtab(s, &tab, buf, sizeof buf, 0), 0) << drdtest::stack(s);
  // A storage clause has no form here: it is left out.
  EXPECT_EQ(std::string(buf), "create table " + name + " (a numeric,b varchar(10))");
  sql(s, "INSERT INTO " + name + " VALUES (1, 'x')");
  druocmt(s);
  // Name in use, no replace: 50606 and the table is untouched.
  EXPECT_EQ(drudcrtab(s, &tab, buf, sizeof buf, 0), 1);
  EXPECT_TRUE(druefind(s, 50606));
  drueclr(s);
  EXPECT_EQ(count(s, "SELECT count(*)::int FROM " + name), 1);
  // Replace: dropped and created anew.
  ASSERT_EQ(drudcrtab(s, &tab, buf, sizeof buf, 1), 0) << drdtest::stack(s);
  EXPECT_EQ(count(s, "SELECT count(*)::int FROM " + name), 0);

  // A name taken by an object the drop cannot remove ends after one retry.
  std::string v = t("v1");
  sql(s, "CREATE VIEW " + v + " AS SELECT 1 AS x");
  druocmt(s);
  drudtab vt{v.c_str(), nullptr, nullptr, nullptr, cols, 0};
  EXPECT_EQ(drudcrtab(s, &vt, buf, sizeof buf, 1), 1);
  EXPECT_TRUE(druefind(s, 50801)) << drdtest::stack(s);
  drueclr(s);

  // The type texts of the callers' templates, as this database runs them.
  std::string m = t("types");
  drudcol mc[] = {{"NUMBER(38) not null", "a", 3}, {"long raw", "b", 24}, {"raw(16)", "c", 23},
                  {"long", "d", 8},  {"date", "e", 5}, {"char(1)", "f", 96},
                  {nullptr, nullptr, 0}};
  drudtab mt{m.c_str(), nullptr, nullptr, nullptr, mc, 0};
  ASSERT_EQ(drudcrtab(s, &mt, buf, sizeof buf, 0), 0) << drdtest::stack(s);
  EXPECT_EQ(last("create"), "create table " + m +
                                       " (a numeric(38) not null,b bytea,c bytea,d text,"
                                       "e timestamp(0),f char(1))");

  // No columns, and a text that does not fit its buffer.
  drudcol none[] = {{nullptr, nullptr, 0}};
  drudtab nt{name.c_str(), nullptr, nullptr, nullptr, none, 0};
  EXPECT_EQ(drudcrtab(s, &nt, buf, sizeof buf, 0), 1);
  EXPECT_TRUE(druefind(s, 50600));
  drueclr(s);
  EXPECT_EQ(drudcrtab(s, &tab, buf, 20, 1), 1);
  EXPECT_TRUE(druefind(s, 50100));
}

TEST_F(Sql, IndexSequenceTexts) {
  std::string tab = t("t2");
  sql(s, "CREATE TABLE " + tab + " (c1 int, c2 int)");
  druocmt(s);
  std::string iname = t("i2");
  const char *cols[] = {"c1", "c2"};
  drudidx x{iname.c_str(), 0, tab.c_str(), cols, 2, nullptr, nullptr, nullptr};
  ASSERT_EQ(drudcridx(s, &x, 0), 0) << drdtest::stack(s);
  ASSERT_FALSE(texts.empty());
  // The index is made in its table's schema: its name goes without the owner.
  EXPECT_EQ(texts.back(), "create  index i2 on " + tab + " (c1,c2)");
  EXPECT_EQ(drudcridx(s, &x, 0), 1);
  EXPECT_TRUE(druefind(s, 50606));
  drueclr(s);
  EXPECT_EQ(drudcridx(s, &x, 1), 0) << drdtest::stack(s);
  EXPECT_EQ(druddropidx(s, iname.c_str()), 0) << drdtest::stack(s);
  // Dropping a missing index is not tolerated.
  EXPECT_EQ(druddropidx(s, iname.c_str()), 1);
  EXPECT_TRUE(druefind(s, 50801));
  drueclr(s);

  std::string seq = t("s2");
  drudseq q{1, 1, -1, 1, 0, 0, 0, 0};
  ASSERT_EQ(drudcrseq(s, seq.c_str(), q), 0) << drdtest::stack(s);
  EXPECT_EQ(texts.back(), "create sequence " + seq + " increment by 1");
  EXPECT_EQ(drudcrseq(s, seq.c_str(), q), 1);
  EXPECT_TRUE(druefind(s, 50606));
  drueclr(s);
  drudseq r{5, 10, 100, 1, 1, 20, 1, 1};
  ASSERT_EQ(drudcrseq(s, seq.c_str(), r), 0) << drdtest::stack(s);
  // The ordering flag has no form here: it is left out.
  EXPECT_EQ(last("create"), "create sequence " + seq +
                                " increment by 5 start with 10 minvalue 1 maxvalue 100 cycle"
                                " cache 20");
  EXPECT_EQ(druddropseq(s, seq.c_str()), 0);
  EXPECT_EQ(druddropseq(s, seq.c_str()), 0);  // missing: passes

  // Missing tables pass for truncate and drop.
  std::string gone = t("gone");
  EXPECT_EQ(drudtrunc(s, gone.c_str()), 0);
  EXPECT_EQ(druddroptab(s, gone.c_str()), 0);
  EXPECT_EQ(rtmsgcnt(s->msg), 0) << drdtest::stack(s);
  EXPECT_EQ(texts.back(), "drop table " + gone);

  // Synonyms become views.
  std::string syn = t("syn2");
  ASSERT_EQ(drudcrsyn(s, tab.c_str(), syn.c_str(), 0), 0) << drdtest::stack(s);
  EXPECT_EQ(texts.back(), "create view " + syn + " as select * from " + tab);
  EXPECT_EQ(druddropsyn(s, syn.c_str()), 0) << drdtest::stack(s);
  // Dropping a missing synonym fails as for a missing index.
  testing::internal::CaptureStdout();
  EXPECT_EQ(druddropsyn(s, syn.c_str()), 1);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Failed to parse generated SQL"),
            std::string::npos);
  EXPECT_TRUE(druefind(s, 50801));
  drueclr(s);
  EXPECT_EQ(drudcrsyn(s, nullptr, syn.c_str(), 0), 1);
  EXPECT_TRUE(druefind(s, 50600));
}

TEST_F(Sql, InsertSelectAndFetch) {
  std::string name = t("t3");
  drudcol cols[] = {{"number(10)", "id", 3}, {"varchar2(20)", "val", 5}, {nullptr, nullptr, 0}};
  drudtab tab{name.c_str(), nullptr, nullptr, nullptr, cols, 0};
  char buf[1024];
  ASSERT_EQ(drudcrtab(s, &tab, buf, sizeof buf, 0), 0) << drdtest::stack(s);

  druocur *cur = nullptr;
  ASSERT_EQ(druoprs(s, s->seshp, "SELECT 1", &cur), 0);
  drudph ph[16];
  char ins[256];
  ASSERT_EQ(drudins(s, &tab, ph, ins, sizeof ins, cur), 0) << drdtest::stack(s);
  EXPECT_EQ(std::string(ins), "insert into " + name + " (id,val) values(:v0,:v1)");
  EXPECT_EQ(ph[0].len, 3);
  EXPECT_EQ(std::string(ph[1].addr, ph[1].len), ":v1");
  int32_t id = 7;
  char val[20] = "seven";
  int32_t sizes[] = {4, 20};
  void *vals[] = {&id, val};
  ASSERT_EQ(drudexec1(s, &tab, ph, sizes, vals, cur), 0) << drdtest::stack(s);
  int32_t ids[3] = {8, 9, 10};
  char vs[3][20] = {"eight", "nine", "ten"};
  uint16_t idl[3] = {4, 4, 4}, vl[3] = {5, 4, 3};
  void *avals[] = {ids, vs};
  uint16_t *lens[] = {idl, vl};
  ASSERT_EQ(drudexecn(s, &tab, ph, sizes, avals, lens, 3, cur), 0) << drdtest::stack(s);
  druofre(s, s->seshp, &cur);
  // A statement that does not fit its buffer is refused.
  ASSERT_EQ(druoprs(s, s->seshp, "SELECT 1", &cur), 0);
  EXPECT_EQ(drudins(s, &tab, ph, ins, 30, cur), 1);
  EXPECT_TRUE(druefind(s, 50100));
  drueclr(s);
  druofre(s, s->seshp, &cur);

  // Eleven columns: the placeholder of position 10 is four characters long.
  std::string wide = t("wide");
  sql(s, "CREATE TABLE " + wide + " (c0 int, c1 int, c2 int, c3 int, c4 int, c5 int, c6 int,"
         " c7 int, c8 int, c9 int, c10 int)");
  const char *cn[] = {"c0", "c1", "c2", "c3", "c4", "c5", "c6", "c7", "c8", "c9", "c10"};
  drudcol wc[12] = {};
  for (int i = 0; i < 11; ++i) wc[i] = {"number", cn[i], 3};
  drudtab wt{wide.c_str(), nullptr, nullptr, nullptr, wc, 0};
  ASSERT_EQ(druoprs(s, s->seshp, "SELECT 1", &cur), 0);
  ASSERT_EQ(drudins(s, &wt, ph, ins, sizeof ins, cur), 0) << drdtest::stack(s);
  EXPECT_EQ(wt.ncols, 11);
  EXPECT_EQ(std::string(ph[9].addr, ph[9].len), ":v9");
  EXPECT_EQ(std::string(ph[10].addr, ph[10].len), ":v10");
  druofre(s, s->seshp, &cur);

  // Select with two placeholders, one ending the text.
  ASSERT_EQ(druoprs(s, s->seshp, "SELECT 1", &cur), 0);
  char sel[256];
  uint16_t nph = 0;
  ASSERT_EQ(drudsel(s, &tab, ph, 16, sel, sizeof sel, "id >= :lo and id <= :hi", "id", cur, &nph),
            0)
      << drdtest::stack(s);
  EXPECT_EQ(std::string(sel), "select id,val from " + name + " where id >= :lo and id <= :hi order by id");
  ASSERT_EQ(nph, 2);
  EXPECT_EQ(std::string(ph[0].addr, ph[0].len), ":lo");
  EXPECT_EQ(std::string(ph[1].addr, ph[1].len), ":hi");
  // Colons in a literal, a comment or a cast are no placeholders; a text
  // with more placeholders than the array holds is refused, and nothing is
  // written past the array.
  struct {
    const char *where;
    uint16_t room;
    int rc;
    std::vector<std::string> names;
  } scans[] = {
      {"id > :lo and val <> 'a:b' and val::text <> :v /* :c */", 16, 0, {":lo", ":v"}},
      {"val <> 'it''s :x' and id = :id -- :y", 16, 0, {":id"}},
      {"id >= :lo and id <= :hi", 1, 1, {}},
  };
  for (auto &sc : scans) {
    drudph room[3] = {};
    drueclr(s);
    uint16_t got = 99;
    EXPECT_EQ(drudsel(s, &tab, room, sc.room, sel, sizeof sel, sc.where, nullptr, cur, &got), sc.rc)
        << sc.where << drdtest::stack(s);
    if (sc.rc != 0) {
      EXPECT_EQ(room[1].addr, nullptr);
      EXPECT_EQ(rtmsgnum(s->msg, 1), 50600);
      continue;
    }
    std::vector<std::string> names;
    for (uint16_t i = 0; i < got; ++i) names.push_back(std::string(room[i].addr, room[i].len));
    EXPECT_EQ(names, sc.names) << sc.where;
  }
  drueclr(s);
  ASSERT_EQ(drudsel(s, &tab, ph, 16, sel, sizeof sel, "id >= :lo and id <= :hi", "id", cur, &nph),
            0);
  int32_t lo = 8, hi = 100;
  int32_t bsz[] = {4, 4};
  void *bv[] = {&lo, &hi};
  drudcol bcols[] = {{"", "lo", 3}, {"", "hi", 3}, {nullptr, nullptr, 0}};
  drudtab btab = tab;
  btab.cols = bcols;
  btab.ncols = 2;
  ASSERT_EQ(drudselbnd(s, &btab, ph, bsz, bv, nph, cur), 0) << drdtest::stack(s);
  // Room for four rows, three there: 2, the three rows in place.
  int32_t fid[4] = {0, 0, 0, 0};
  char fv[4][20] = {};
  int32_t fsz[] = {4, 20};
  void *fvals[] = {&fid[0], fv[0], &fid[1], fv[1], &fid[2], fv[2], &fid[3], fv[3]};
  EXPECT_EQ(drudfetch(s, &tab, fsz, fvals, 8, cur), 2);
  EXPECT_EQ(fid[0], 8);
  EXPECT_STREQ(fv[0], "eight");
  EXPECT_EQ(fid[2], 10);
  EXPECT_STREQ(fv[2], "ten");
  druofre(s, s->seshp, &cur);
}

class Ranges : public Sql {};

TEST_F(Ranges, TwoServersClaimDisjointRanges) {
  drsrvstate *s2 = drdtest::logon();
  ASSERT_NE(s2, nullptr);
  std::string wr = t("dr_00050_rdtopt");
  sql(s, "CREATE TABLE " + wr + " (lowval varchar(64), highval varchar(64), status char(1),"
         " server integer)");
  sql(s, "INSERT INTO " + wr + " VALUES ('a','abc','F',1),('b','bzz','F',2),('c','czz','F',1),"
         "('d','dzz','F',2),('e','ezz','C',1)");
  druocmt(s);
  char lo[65], hi[65];
  std::vector<std::string> got1, got2;
  for (;;) {
    int r1 = drudgetrange(s, s->seshp, wr.c_str(), lo, hi, 1);
    ASSERT_NE(r1, 1) << drdtest::stack(s);
    if (r1 == 0) {
      got1.push_back(lo);
      if (got1.size() == 1) {
        // The high value comes back padded (HighValueIsPadded... shows how).
        EXPECT_EQ(std::string(hi, 3), "abc");
      }
      ASSERT_EQ(drudsetstat(s, s->seshp, wr.c_str(), "C", 1), 0);
    }
    int r2 = drudgetrange(s2, s2->seshp, wr.c_str(), lo, hi, 2);
    ASSERT_NE(r2, 1) << drdtest::stack(s2);
    if (r2 == 0) {
      got2.push_back(lo);
      ASSERT_EQ(drudsetstat(s2, s2->seshp, wr.c_str(), "C", 2), 0);
    }
    if (r1 == 2 && r2 == 2) break;
  }
  EXPECT_EQ(got1, (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(got2, (std::vector<std::string>{"b", "d"}));
  EXPECT_EQ(count(s2, "SELECT count(*)::int FROM " + wr + " WHERE status <> 'C'"), 0);
  // Nothing left: 2, after an update that changed nothing.
  EXPECT_EQ(drudgetrange(s, s->seshp, wr.c_str(), lo, hi, 1), 2);
  drdtest::logoff(s2);
}

// The padded high value can be bound in the session it was read in and
// lies above every key of the range, in a UTF8 session and in a
// single-byte one (the default).
TEST_F(Ranges, HighValueIsPaddedForTheSessionsCharacterSet) {
  struct {
    const char *nls;     // NLS_LANG of the session; null: not set
    const char *pad;     // the padding character as the session sees it
    int below;           // keys at or below the bound
  } cases[] = {{"AMERICAN_AMERICA.UTF8", "\xf4\x8f\xbf\xbf", 4}, {nullptr, "\xff", 3}};
  std::string keys = t("range_keys");
  sql(s, "CREATE TABLE " + keys + " (k varchar(70), latin boolean)");
  sql(s, "INSERT INTO " + keys + " VALUES ('abc', true), ('abczzz', true), ('abc' || chr(255), true),"
         " ('abc' || chr(8364), false), ('abd', true)");
  druocmt(s);
  int n = 0;
  for (auto &c : cases) {
    if (c.nls) setenv("NLS_LANG", c.nls, 1);
    else unsetenv("NLS_LANG");
    testing::internal::CaptureStdout();
    drsrvstate *ss = drdtest::logon();
    testing::internal::GetCapturedStdout();
    unsetenv("NLS_LANG");
    ASSERT_NE(ss, nullptr);
    std::string wr = t(n++ == 0 ? "dr_00052_rdtopt" : "dr_00053_rdtopt");
    drdtest::sql(ss, "CREATE TABLE " + wr + " (lowval varchar(64), highval varchar(64), "
                     "status char(1), server integer)");
    drdtest::sql(ss, "INSERT INTO " + wr + " VALUES ('abc', 'abc', 'F', 1)");
    druocmt(ss);
    char lo[65], hi[65];
    ASSERT_EQ(drudgetrange(ss, ss->seshp, wr.c_str(), lo, hi, 1), 0) << drdtest::stack(ss);
    std::string want = "abc";
    while (want.size() + std::strlen(c.pad) <= 64 && want.size() < 64) want += c.pad;
    EXPECT_EQ(std::string(hi), want) << (c.nls ? c.nls : "default");
    // Bound in a statement of that session, it lies above the range's keys.
    std::string q = "SELECT count(*)::int FROM " + keys + " WHERE k COLLATE \"C\" <= :hi" +
                    (c.nls ? "" : " AND latin");
    druocur *cur = nullptr;
    ASSERT_EQ(druoprs(ss, ss->seshp, q.c_str(), &cur), 0) << drdtest::stack(ss);
    int32_t below = -1;
    ASSERT_EQ(druobnd(ss, cur, ":hi", hi, sizeof hi, DRUO_STRING), 0);
    ASSERT_EQ(druodef(ss, cur, 1, &below, sizeof below, DRUO_INTEGER), 0);
    EXPECT_EQ(druoexf(ss, cur, 1), 0) << drdtest::stack(ss);
    EXPECT_EQ(below, c.below) << (c.nls ? c.nls : "default");
    druofre(ss, ss->seshp, &cur);
    drdtest::logoff(ss);
  }
}

TEST_F(Ranges, StaleRangeInProgressIsCompletedAsRead) {
  std::string wr = t("dr_00051_rdtopt");
  sql(s, "CREATE TABLE " + wr + " (lowval varchar(64), highval varchar(64), status char(1),"
         " server integer)");
  // A range left in progress by an earlier run sits between two free ones.
  sql(s, "INSERT INTO " + wr + " VALUES ('c','czz','F',3),('b','bzz','I',3),('a','azz','F',3)");
  druocmt(s);
  char lo[65], hi[65];
  std::vector<std::string> worked;
  int r;
  while ((r = drudgetrange(s, s->seshp, wr.c_str(), lo, hi, 3)) == 0) {
    worked.push_back(lo);
    // The range read is the one still in progress with the lowest key.
    EXPECT_EQ(count(s, "SELECT count(*)::int FROM " + wr + " WHERE status = 'I' AND lowval < '" +
                           lo + "'"), 0);
    ASSERT_EQ(drudsetstat(s, s->seshp, wr.c_str(), "C", 3), 0);
    EXPECT_EQ(count(s, "SELECT count(*)::int FROM " + wr + " WHERE status = 'C' AND lowval = '" +
                           lo + "'"), 1);
    ASSERT_LT(worked.size(), 5u);
  }
  EXPECT_EQ(r, 2) << drdtest::stack(s);
  EXPECT_EQ(worked, (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(Ranges, IndexLogCommitRules) {
  drsrvstate *s2 = drdtest::logon();
  ASSERT_NE(s2, nullptr);
  sql(s, "DELETE FROM DR$TEXT_INDEX_LOG WHERE txil_pol_id = 41600");
  druocmt(s);
  auto seen = [&](const std::string &cond) {
    return count(s2, "SELECT count(*)::int FROM DR$TEXT_INDEX_LOG WHERE txil_pol_id = 41600 AND " +
                         cond);
  };
  drudlog rec{41600, 'C', 'I', 5, 1, 'E', nullptr, 0};
  ASSERT_EQ(drudlogins(s, s->seshp, &rec), 0) << drdtest::stack(s);
  EXPECT_EQ(seen("true"), 1);

  rec.kind = 'Y';
  ASSERT_EQ(drudlogupd(s, s->seshp, &rec), 0) << drdtest::stack(s);
  EXPECT_EQ(seen("txil_mid_flush_flag = 'Y'"), 0);  // not before the caller's commit
  druocmt(s);
  EXPECT_EQ(seen("txil_mid_flush_flag = 'Y'"), 1);

  std::string longkey(300, 'k');
  rec.kind = 'F';
  rec.key = longkey.c_str();
  rec.count = 12;
  ASSERT_EQ(drudlogupd(s, s->seshp, &rec), 0) << drdtest::stack(s);
  EXPECT_EQ(seen("length(txil_first_doc) = 64 AND txil_doc_selected_cnt = 12"), 1);
  rec.kind = 'L';
  rec.key = "K9";
  rec.count = 5;
  ASSERT_EQ(drudlogupd(s, s->seshp, &rec), 0) << drdtest::stack(s);
  ASSERT_EQ(drudlogupd(s, s->seshp, &rec), 0) << drdtest::stack(s);
  EXPECT_EQ(seen("txil_last_doc = 'K9' AND txil_doc_processed_cnt = 10 AND"
                 " txil_mid_flush_flag = 'N'"), 1);
  rec.kind = 'E';
  ASSERT_EQ(drudlogupd(s, s->seshp, &rec), 0) << drdtest::stack(s);
  EXPECT_EQ(seen("txil_end_time IS NOT NULL"), 1);

  rec.kind = 'X';
  EXPECT_EQ(drudlogupd(s, s->seshp, &rec), 1);
  EXPECT_TRUE(druefind(s, 50600));
  drueclr(s);
  // Operation 'N': nothing is written.
  drudlog off{41600, 'N', 'P', 5, 1, 'E', nullptr, 0};
  EXPECT_EQ(drudlogins(s, s->seshp, &off), 0);
  EXPECT_EQ(drudlogupd(s, s->seshp, &off), 0);
  EXPECT_EQ(seen("txil_oper_stage = 'P'"), 0);
  sql(s, "DELETE FROM DR$TEXT_INDEX_LOG WHERE txil_pol_id = 41600");
  druocmt(s);
  drdtest::logoff(s2);
}

}  // namespace
