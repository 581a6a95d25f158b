// The base engine's life cycle against the private cluster: the objects
// begin, end and drop make and remove, a begin that fails part way,
// truncate, the index log, a resumed run after a killed one, and the slots
// that are not available yet.
#include <functional>
#include <string>
#include <vector>

#include "dr/dreb/tests/engfix.h"

namespace {

using engfix::doc;
using engfix::Doc;

struct Life : engfix::Engine {
  // The policy's index log rows as "operation stage run server ended;".
  std::string logrows() {
    return text("select string_agg(concat_ws(' ', txil_operation, txil_oper_stage, txil_run_seq,"
                " txil_server_id, txil_end_time is not null), ';' order by txil_operation,"
                " txil_oper_stage) from dr$text_index_log");
  }
};

TEST_F(Life, BeginEndAndDropMakeAndRemoveThePolicysObjects) {
  begin();
  EXPECT_EQ(objects(), "dr_00042_i1t1,dr_00042_ksq,dr_00042_ktb,dr_00042_lst,dr_00042_sqr,"
                       "dr_00042_sri");
  ASSERT_EQ(populate({doc("1", "one two"), doc("2", "two")}), 0) << stack();
  ASSERT_EQ(ops()->endx(eng, 1, 'C'), 0) << stack();
  EXPECT_EQ(objects(), "dr_00042_i1i1,dr_00042_i1t1,dr_00042_kid,dr_00042_kik,dr_00042_ksq,"
                       "dr_00042_ktb,dr_00042_lix,dr_00042_lst,dr_00042_sqr,dr_00042_sri");
  ASSERT_EQ(ops()->drpx(eng, 1), 0) << stack();
  EXPECT_EQ(objects(), "");
  EXPECT_EQ(logrows(), "C I 1 0 t;C P 1 1 t;C T 1 0 t;D P 1 0 t");
}

TEST_F(Life, ABeginThatFailsLeavesNoTablesBehind) {
  // The result table's name is taken by a view, which the creation cannot
  // replace.
  pq->one("create view t.dr_00042_sqr as select 1 as x");
  ASSERT_EQ(build(), 0) << stack();
  EXPECT_EQ(ops()->begx(eng, 1, 1, 'C'), 1);
  drueclr(st);
  EXPECT_EQ(objects(), "dr_00042_sqr");
}

TEST_F(Life, TruncateEmptiesTokensAndKeysAndKeepsTheIdList) {
  begin();
  ASSERT_EQ(populate({doc("1", "one"), doc("2", "two")}), 0) << stack();
  std::string ids = lst();
  ASSERT_EQ(ops()->trnx(eng), 0) << stack();
  EXPECT_EQ(rows().size(), 0u);
  EXPECT_EQ(ktb(), "");
  EXPECT_EQ(lst(), ids);
}

TEST_F(Life, SlotsNotBuiltYetSaySo) {
  begin();
  const drengops *o = ops();
  drobj *e = eng;
  struct Case {
    const char *what;
    std::function<int()> call;
  } cases[] = {
      {"begin optimise", [&] { return o->bnox(e, 1, 1); }},
      {"optimise", [&] { return o->optx(e, 1, 1, 1, 0); }},
      {"end optimise", [&] { return o->enox(e, 1); }},
      {"save a stored query", [&] { return o->sqsave(e, "Q", 1, "a", nullptr, 0); }},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(c.call(), 1) << c.what;
    EXPECT_TRUE(druefind(st, 50701)) << c.what;
    drueclr(st);
  }
  EXPECT_EQ(ops()->unsup(eng), 1);
  EXPECT_FALSE(druefind(st, 50701));
}

// A run on another server was killed after a full flush of k1: its log
// names k1 as the last document made durable, its key rows k1 and k2 are
// committed (k2's by an early key batch) and its block of 11 ids stays
// reserved under its dead session. The resumed run settles the block: the
// ids after k1's lose their key rows and become deleted ids.
struct Resume : Life {
  void killed(const char *lastdoc) {
    begin();
    pq->one(std::string("insert into dr$text_index_log (txil_pol_id, txil_operation,"
                        " txil_oper_stage, txil_run_seq, txil_server_id, txil_first_doc,"
                        " txil_last_doc, txil_doc_processed_cnt) values (42, 'C', 'P', 1, 1,"
                        " 'k1', ") + lastdoc + ", 1)");
    pq->one("insert into t.dr_00042_ktb values ('k1', 1), ('k2', 2)");
    pq->one("update t.dr_00042_lst set idcount = idcount - 11, data = '12' where ltype = 'F'");
    pq->one("insert into t.dr_00042_lst values (99, 11, 'R', 1, '1')");
    // A block of a server still running (its session holds the server's
    // lock) is left alone.
    pq->one("select pg_advisory_lock(draserm.lock_class(), 555)");
    pq->one("insert into t.dr_00042_lst values (555, 5, 'R', 1, '900')");
  }
};

TEST_F(Resume, IdsAfterTheLastDurableDocumentAreDeleted) {
  killed("'k1'");
  ASSERT_EQ(populate({doc("k2", "two"), doc("k3", "three")}, 'R'), 0) << stack();
  EXPECT_EQ(ktb(), "k1=1;k2=12;k3=13");
  EXPECT_EQ(text("select string_agg(concat_ws(',', ltype, idcount, data), ';' order by"
                 " data::bigint) from t.dr_00042_lst where ltype <> 'F'"),
            "D,10,2;R,5,900");
  EXPECT_EQ(logrows(), "C I 1 0 t;C P 1 1 t") << "the interrupted run's row goes on";
  EXPECT_EQ(pq->one("select txil_doc_processed_cnt from dr$text_index_log where txil_oper_stage = 'P'"),
            "3");
}

TEST_F(Resume, WithoutADurableDocumentTheWholeBlockIsDeleted) {
  killed("null");
  ASSERT_EQ(populate({doc("k1", "one")}, 'R'), 0) << stack();
  EXPECT_EQ(ktb(), "k1=12");
  EXPECT_EQ(text("select string_agg(concat_ws(',', ltype, idcount, data), ';' order by"
                 " data::bigint) from t.dr_00042_lst where ltype <> 'F'"),
            "D,11,1;R,5,900");
}

}  // namespace
