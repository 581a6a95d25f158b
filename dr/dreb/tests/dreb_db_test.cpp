// The base engine's life cycle against the private cluster: the objects
// begin, end and drop make and remove, a begin that fails part way,
// truncate, the index log, a resumed run after a killed one, and the slots
// that are not available yet.
#include <functional>
#include <memory>
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

TEST_F(Life, TheUnsupportedSlotSaysSo) {
  begin();
  EXPECT_EQ(ops()->unsup(eng), 1);
  EXPECT_FALSE(druefind(st, 50701));
}

// The row writer of stored queries: full rows of 13106 entries, each row
// ended by four zero bytes and keyed by its first entry; an id above the
// evaluation limit writes what is collected and stops the walk; no hit
// writes no row.
TEST_F(Life, StoredQueryRowsHoldAtMost13106Entries) {
  begin();
  auto *m = reinterpret_cast<drebsobj *>(reinterpret_cast<drebobj *>(eng)->sqm);
  pq->one("INSERT INTO dr$sqe (query_name, session_id, query_text, pol_id) VALUES"
          " ('BIG', 's1', 'x', 42), ('ONE', 'SYSTEM', 'x', 42), ('NONE', 's1', 'x', 42)");
  auto row = std::make_unique<drebsrow>();
  struct Case {
    const char *name;
    std::vector<std::pair<uint32_t, uint32_t>> hits;
    uint32_t limit;
    int last;  // the writer's answer to the last hit
    std::string rows;
  } cases[] = {
      {"big", {}, 100000, 0,
       "1:65534:00000000 13107:65534:00000000 26213:18944:00000000"},
      {"one", {{258, 87}, {301, 5}}, 300, 2, "258:9:0000010257"},
      {"none", {{0, 0}}, 300, 0, ""},
  };
  for (uint32_t i = 1; i <= 30000; ++i) cases[0].hits.push_back({i, i % 101});
  cases[0].hits.push_back({0, 0});
  for (const Case &c : cases) {
    row->limit = c.limit;
    ASSERT_EQ(drebsrowbeg(m, c.name, "s1", row.get()), 0) << stack();
    int rc = 0;
    for (auto &[doc, score] : c.hits) rc = drebsput(row.get(), doc, score);
    EXPECT_EQ(rc, c.last) << c.name;
    EXPECT_EQ(drebsrowend(row.get()), 0) << stack();
    commit();
    // The first entry of a one-entry row, else the last four bytes.
    std::string got = pq->one("SELECT coalesce(string_agg(first_doc || ':' || length(query_result) || ':' ||"
                              " encode(CASE WHEN length(query_result) = 9 THEN substr(query_result, 1, 5)"
                              " ELSE substr(query_result, length(query_result) - 3) END, 'hex'), ' '"
                              " ORDER BY first_doc), '') FROM t.dr_00042_sqr WHERE query_name = upper($1)",
                              {c.name})
                          .value_or("?");
    EXPECT_EQ(got, c.rows) << c.name;
  }
  // The session id of a 'SYSTEM' definition is copied into its rows.
  EXPECT_EQ(pq->one("SELECT session_id FROM t.dr_00042_sqr WHERE query_name = 'ONE'"), "SYSTEM");
  // Every entry of the big rows, in order.
  EXPECT_EQ(pq->one("SELECT sum(length(query_result) - 4) / 5 FROM t.dr_00042_sqr WHERE query_name = 'BIG'"),
            "30000");
}

// Lazy deletes take the postings of retired documents out of the token
// table: a row left with other documents is rewritten, a row of dead
// documents only goes, a row without one is read and left (of five rows
// read, two go and one is rewritten); the end purges
// the dead ids. The arguments are checked first.
TEST_F(Life, LazyDeletesRemoveThePostingsOfDeadDocuments) {
  begin();
  ASSERT_EQ(populate({doc("1", "one two"), doc("2", "two three"), doc("3", "two four"),
                      doc("4", "five")}),
            0)
      << stack();
  ASSERT_EQ(ops()->endx(eng, 1, 'C'), 0) << stack();
  auto before = postings();
  uint32_t d2 = std::stoul(text("select docid from t.dr_00042_ktb where textkey = '2'"));
  uint32_t d4 = std::stoul(text("select docid from t.dr_00042_ktb where textkey = '4'"));
  drobj *ids = reinterpret_cast<drebobj *>(eng)->docids;
  const char *keys[] = {"2", "4"};
  ASSERT_EQ(drops<drdidops>(ids)->retire(ids, 2, keys), 0) << stack();
  ASSERT_EQ(ops()->bnox(eng, 1, 1), 0) << stack();
  ASSERT_EQ(ops()->optx(eng, 1, 1, 1, 0), 0) << stack();
  auto after = postings();
  for (auto &[word, posts] : before) {
    postfix::Posts want;
    for (auto &p : posts)
      if (p.doc != d2 && p.doc != d4) want.push_back(p);
    if (want.empty()) {
      EXPECT_EQ(after.count(word), 0u) << word;
    } else {
      EXPECT_EQ(after[word], want) << word;
    }
  }
  EXPECT_NE(log().find("Starting index optimization for Lazy Deletes"), std::string::npos) << log();
  EXPECT_NE(log().find("Garbage-collecting 2 dead documents between"), std::string::npos) << log();
  EXPECT_NE(log().find("Rows read 5, deleted 2, updated 1."), std::string::npos) << log();
  ASSERT_EQ(ops()->enox(eng, 1), 0) << stack();
  EXPECT_EQ(text("select count(*) from t.dr_00042_lst where ltype = 'D'"), "0");
  // Nothing dead any more: nothing to do.
  EXPECT_EQ(ops()->optx(eng, 1, 1, 1, 0), 0) << stack();
  // An unknown mode names itself and does nothing.
  EXPECT_EQ(ops()->optx(eng, 7, 1, 1, 0), 0) << stack();
  EXPECT_NE(log().find("optimization for Unnknown!"), std::string::npos);
  // A server number above the count, or ids that do not match their count.
  drobj *ix = reinterpret_cast<drebobj *>(eng)->indexer;
  const int32_t one[] = {5};
  struct Bad {
    int32_t srvcnt, srvno;
    const int32_t *dead;
    int32_t ndead;
  } bad[] = {{2, 3, one, 1}, {1, 1, nullptr, 5}, {1, 1, one, 0}};
  for (const Bad &b : bad) {
    EXPECT_EQ(drops<dridxops>(ix)->opt(ix, nullptr, b.srvcnt, b.srvno, b.dead, b.ndead, 1, 0), 1);
    EXPECT_TRUE(druefind(st, 50600)) << b.srvno << " " << b.ndead;
    drueclr(st);
  }
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
