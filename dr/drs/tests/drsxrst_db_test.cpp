// Resumed populates against the private cluster: what the index log makes
// of the conditions, and the rows a resumed batch hands out, with keys that
// try to break out of their quotes.
#include "dr/drs/tests/dsfix.h"

namespace {

using dsfix::Doc;

constexpr int kRun = 3;

class Resume : public dsfix::Store {
 protected:
  // A row of the index log for the policy and run: operation C, the stage,
  // the server, first and last key, ended or not, current run or not.
  void logged(int pol, const char *stage, int server, const std::optional<std::string> &first,
              const std::optional<std::string> &last, bool ended, bool current = false) {
    pq->one("INSERT INTO dr$text_index_log (txil_pol_id, txil_operation, txil_oper_stage,"
            " txil_run_seq, txil_server_id, txil_first_doc, txil_last_doc, txil_end_time,"
            " txil_curr_run) VALUES ($1::integer, 'C', $2, $3::integer, $4::integer, $5, $6,"
            " CASE WHEN $7::boolean THEN localtimestamp(0) END, CASE WHEN $8::boolean THEN 'Y' END)",
            {std::to_string(pol), stage, std::to_string(kRun), std::to_string(server), first, last,
             ended ? "true" : "false", current ? "true" : "false"});
  }
  // The resume conditions of a policy's data store.
  std::string conditions(drobj *ds) {
    drsxstate *x = drsxof(ds);
    x->runseq = kRun;
    char *text = nullptr;
    if (drsxrestart(x, &text) != 0) return "<failed>";
    std::string out = text;
    void *blk = text;
    drumfre(st, st->hpmgr, x->heap, &blk);
    return out;
  }
  // The keys a resumed batch hands out.
  std::vector<std::string> resumed(drobj *ds) {
    if (ops(ds)->start(ds, 1, 1, 'R', kRun) != 0) {
      ADD_FAILURE() << stack();
      return {};
    }
    return keys(drain(ds));
  }
};

TEST_F(Resume, TheLogDecidesTheConditions) {
  pq->one("CREATE TABLE t.lg (k integer, body text)");
  pq->one("CREATE TABLE t.lc (k varchar(20), body text)");
  struct Row {
    const char *stage;
    int server;
    std::optional<std::string> first, last;
    bool ended, current;
  };
  struct {
    const char *name, *table;
    int keytype;
    std::vector<Row> log;
    const char *want;
  } const cases[] = {
      {"nothing logged", "LG", 2, {}, ""},
      {"index stage ended", "LG", 2, {{"I", 1, {}, {}, true, true}, {"P", 1, "1", "500", false, false}}, ""},
      {"piece without progress", "LG", 2, {{"P", 1, {}, {}, false, false}}, ""},
      {"unfinished piece", "LG", 2, {{"P", 1, "1", "500", false, false}},
       "and K > 500 and K not between 1 and 500 "},
      {"finished piece", "LG", 2, {{"P", 1, "1", "500", true, false}}, "and K not between 1 and 500 "},
      {"character keys", "LC", 1, {{"P", 1, "a", "m", false, false}},
       "and K > 'm' and K not between 'a' and 'm' "},
      {"two pieces", "LG", 2, {{"P", 1, "1", "500", false, false}, {"P", 2, "501", "900", false, false}}, ""},
      {"not a number", "LG", 2, {{"P", 1, "1", "500 or 1=1", false, false}}, "<failed>"},
  };
  int pol = 1100;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ++pol;
    policy(pol, c.table, "BODY", 8, "K", c.keytype);
    prefer(pol, 1);
    for (const Row &r : c.log) logged(pol, r.stage, r.server, r.first, r.last, r.ended, r.current);
    drobj *ds = build(pol, drsdirnew);
    ASSERT_NE(ds, nullptr) << stack();
    EXPECT_EQ(conditions(ds), c.want);
    if (std::string(c.want) == "<failed>") EXPECT_TRUE(druefind(st, 10721)) << stack();
    drueclr(st);
    ops(ds)->free(ds);
  }
}

// A resumed batch hands out exactly the keys outside the logged range, in
// key order; logged keys that try to leave their quotes select nothing more.
TEST_F(Resume, BatchesLeaveOutTheLoggedRange) {
  std::vector<std::string> upper, outside;
  for (int k = 501; k <= 1000; ++k) upper.push_back(std::to_string(k));
  for (int a = 1; a <= 8; ++a)
    for (int b = 1; b <= 8; ++b)
      if (a < 3 || (a == 3 && b < 5) || a > 6 || (a == 6 && b > 2))
        outside.push_back(std::to_string(a) + "," + std::to_string(b));
  struct {
    const char *name, *columns, *rows, *keys;
    int keytype;
    const char *first, *last;
    std::vector<std::string> want;
  } const cases[] = {
      {"numeric", "k integer", "SELECT g, 'doc' FROM generate_series(1, 1000) g", "K", 2, "1", "500",
       upper},
      {"composite", "a integer, b integer",
       "SELECT a, b, 'doc' FROM generate_series(1, 8) a, generate_series(1, 8) b", "A,B", 1, "3,5",
       "6,2", outside},
      {"quotes", "k varchar(40)", "VALUES ('a', 'x'), ('o''a', 'x'), ('o''b', 'x'), ('o''c', 'x'), ('z', 'x')",
       "K", 1, "o'a", "o'b", {"o'c", "z"}},
      {"injection", "k varchar(40)", "VALUES ('a', 'x'), ('o''a', 'x'), ('z', 'x')", "K", 1, "a",
       "x' or '1'='1", {"z"}},
  };
  int pol = 1200;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ++pol;
    std::string tab = "R" + std::to_string(pol);
    pq->one("CREATE TABLE t." + tab + " (" + c.columns + ", body text)");
    pq->one("INSERT INTO t." + tab + " " + c.rows);
    policy(pol, tab, "BODY", 8, c.keys, c.keytype);
    prefer(pol, 1);
    logged(pol, "P", 1, c.first, c.last, false);
    drobj *ds = build(pol, drsdirnew);
    ASSERT_NE(ds, nullptr) << stack();
    EXPECT_EQ(resumed(ds), c.want);
    int32_t count = 0;
    ops(ds)->count(ds, &count);
    EXPECT_EQ(count, static_cast<int32_t>(c.want.size()));
    ops(ds)->free(ds);
  }
}

}  // namespace
