// Test fixture of the id storage: a database of the test's own with the
// database side installed, a server state logged on to it with SQL tracing
// into a log file, policy 42 owned by T (so its tables are t.dr_00042_*),
// and the rows of a table read back as text through the server's session.
#ifndef KES_DR_DREB_TESTS_IDFIX_H
#define KES_DR_DREB_TESTS_IDFIX_H

#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "dr/drd/drd.h"
#include "dr/dreb/dreb.h"
#include "dr/dru/druo.h"
#include "tests/fixtures/server/pgtest.h"
#include "tests/fixtures/server/statefix.h"

namespace idfix {

constexpr int32_t kPol = 42;
constexpr char kLst[] = "t.dr_00042_lst";
constexpr char kKtb[] = "t.dr_00042_ktb";

struct Ids : statefix::State {
  pgtest::Database db;
  std::unique_ptr<pgtest::Conn> pq;  // a second session, committing at once

  void SetUp() override {
    logname = "dreb";
    statefix::State::SetUp();
    PGTEST_NEED_DB(db);
    pq = std::make_unique<pgtest::Conn>(db.name);
    ASSERT_TRUE(pq->ok());
    pq->one("CREATE SCHEMA t");
    pq->one("INSERT INTO dr$policy (pol_id, pol_name, pol_owner, pol_tablename, pol_text_expr,"
            " pol_text_type, pol_key_name, pol_key_type) VALUES (42, 'P42', 'T', 'DOCS', 'BODY',"
            " 1, 'ID', 2)");
    ASSERT_EQ(dracnlog(st, db.user().c_str(), 1), 0) << stack();
    ASSERT_EQ(drdmini(st), 0) << stack();
    st->audsid = 11;
  }
  void TearDown() override {
    if (st && st->dmcache) drdmfre(st);
    statefix::State::TearDown();
  }
  // Runs a statement in the server's session; fails the test on failure.
  void sql(const std::string &text) {
    if (drqsexe(st, text.c_str()) != 0) ADD_FAILURE() << text << "\n" << stack();
  }
  void commit() { ASSERT_EQ(druocmt(st), 0) << stack(); }
  // One text value of a query run in the server's session (uncommitted rows
  // included); "" for null, "<none>" for no row.
  std::string text(const std::string &q) {
    druocur *cur = nullptr;
    static char buf[70000];
    int16_t ind = 0;
    std::string out = "<none>";
    if (druoprs(st, st->seshp, q.c_str(), &cur) != 0 ||
        druodef(st, cur, 1, buf, sizeof buf, DRUO_STRING, &ind) != 0) {
      ADD_FAILURE() << q << "\n" << stack();
    } else {
      int rc = druoexf(st, cur, 1);
      if (rc == 0) out = ind == -1 ? "" : buf;  // an empty text comes back as null
      else if (rc != DRUO_NODATA) ADD_FAILURE() << q << "\n" << stack();
    }
    druofre(st, st->seshp, &cur);
    return out;
  }
  // The rows of the id-list table as "sid,ltype,contiguous,idcount,data;"
  // in the order of their first id.
  std::string lst() {
    return text(std::string("select string_agg(concat_ws(',', coalesce(sid::text, 'null'), ltype,"
                            " contiguous, idcount, data), ';' order by split_part(data, ',', 1)::bigint,"
                            " ltype) from ") + kLst);
  }
  // The key table as "key=id;" in id order.
  std::string ktb() {
    return text(std::string("select coalesce(string_agg(textkey || '=' || docid, ';' order by docid), '')"
                            " from ") + kKtb);
  }
  // Names of the policy's objects that exist, in name order.
  std::string objects() {
    return text("select coalesce(string_agg(relname, ',' order by relname), '') from pg_class c"
                " join pg_namespace n on n.oid = c.relnamespace where n.nspname = 't'");
  }
  // The log in lower case: the traced texts carry the names as built.
  std::string lowlog() {
    std::string l = log();
    for (char &c : l) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return l;
  }
  // The statements starting with a text (lower case) that the log shows
  // executed: for each, the rows of an array execution ("255") or "1".
  std::vector<std::string> runs(const std::string &start) {
    std::string l = lowlog();
    std::vector<std::string> out;
    std::string key = "sql: " + start;
    for (size_t at = l.find(key); at != std::string::npos; at = l.find(key, at + 1)) {
      size_t eol = l.find('\n', at);
      std::string next = eol == std::string::npos ? "" : l.substr(eol + 1, 40);
      size_t p = next.find(" rows)");
      out.push_back(next.rfind("  (", 0) == 0 && p != std::string::npos ? next.substr(3, p - 3) : "1");
    }
    return out;
  }
};

}  // namespace idfix

#endif
