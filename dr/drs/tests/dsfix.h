// Test fixture of the data stores: a database of the test's own with the
// database side installed, a server state logged on to it (SQL traced into
// its log file), policies over tables of the schema t built from dictionary
// rows, and a batch drained into its documents.
#ifndef KES_DR_DRS_TESTS_DSFIX_H
#define KES_DR_DRS_TESTS_DSFIX_H

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dr/drd/drd.h"
#include "dr/drs/drsx.h"
#include "dr/dru/dru.h"
#include "tests/fixtures/server/pgtest.h"
#include "tests/fixtures/server/statefix.h"

namespace dsfix {

// One document of a batch.
struct Doc {
  int32_t op;
  std::string key;
  std::string text;
  bool operator==(const Doc &o) const { return op == o.op && key == o.key && text == o.text; }
};

inline std::ostream &operator<<(std::ostream &os, const Doc &d) {
  return os << "{" << d.op << ", " << d.key << ", " << d.text.size() << " bytes}";
}

using Attrs = std::vector<std::pair<std::string, std::string>>;

struct Store : statefix::State {
  pgtest::Database db;
  std::unique_ptr<pgtest::Conn> pq;  // a second session, committing at once

  void SetUp() override {
    logname = "drs";
    statefix::State::SetUp();
    PGTEST_NEED_DB(db);
    pq = std::make_unique<pgtest::Conn>(db.name);
    ASSERT_TRUE(pq->ok());
    pq->one("CREATE SCHEMA t");
    ASSERT_EQ(dracnlog(st, db.user().c_str(), 1), 0) << stack();
    ASSERT_EQ(drdmini(st), 0) << stack();
    st->audsid = 77;
  }
  void TearDown() override {
    if (st && st->dmcache) drdmfre(st);
    statefix::State::TearDown();
  }
  // A policy of owner T over table t.<table>; lncol names the line column
  // of detail rows.
  void policy(int id, const std::string &table, const std::string &text, int texttype,
              const std::string &keys, int keytype, const std::string &lncol = "") {
    pq->one("INSERT INTO dr$policy (pol_id, pol_name, pol_owner, pol_tablename, pol_text_expr,"
            " pol_text_type, pol_key_name, pol_key_type, pol_ln_name) VALUES ($1::integer, 'P' || $1,"
            " 'T', $2, $3, $4::integer, $5, $6::integer, $7)",
            {std::to_string(id), table, text, std::to_string(texttype), keys, std::to_string(keytype),
             lncol.empty() ? std::nullopt : std::optional<std::string>(lncol)});
  }
  // The preference of a policy's component of class cls (object id obj);
  // attributes by name, a name given again taking the next sequence
  // number; its id.
  int32_t component(int pol, int cls, int obj, const Attrs &attrs = {}) {
    const std::string pref = std::to_string(6000 + pol * 10 + cls);
    pq->one("INSERT INTO dr$preference (pre_id, pre_name, pre_cla_id, pre_obj_id) VALUES"
            " ($1::integer, 'C' || $1, $2::integer, $3::integer)",
            {pref, std::to_string(cls), std::to_string(obj)});
    pq->one("INSERT INTO dr$policy_preference VALUES ($1::integer, $2::integer, $3::integer)",
            {std::to_string(pol), std::to_string(cls), pref});
    std::map<std::string, int> seq;
    for (const auto &[name, value] : attrs)
      pq->one("INSERT INTO dr$preference_attribute VALUES ($1::integer, $2, $3, $4::integer)",
              {pref, name, value, std::to_string(++seq[name])});
    return std::stoi(pref);
  }
  // The policy's data-store preference: object id obj with attributes set
  // by name; its id.
  int32_t prefer(int pol, int obj, const Attrs &attrs = {}) {
    return component(pol, DRCLS_DATASTORE, obj, attrs);
  }
  // The data store of a policy, built by a kind's constructor; null (with
  // the stack in the test's output) when it is refused.
  drobj *build(int pol, drdsctor ctor) {
    drdmpol *p = drqpol(st, pol);
    if (!p) {
      ADD_FAILURE() << "no policy " << pol << "\n" << stack();
      return nullptr;
    }
    return ctor(st, st->seshp, pol, p->comp[0].prefid);
  }
  const drdsops *ops(drobj *ds) { return drops<drdsops>(ds); }
  // The whole text of the current document, read in pieces of n bytes.
  std::string text(drobj *ds, int32_t n = 4000) {
    std::string out;
    std::vector<char> buf(static_cast<size_t>(n));
    for (;;) {
      int32_t got = 0;
      int rc = ops(ds)->read(ds, buf.data(), n, &got);
      if (rc == 2) return out;
      if (rc != 0) {
        ADD_FAILURE() << "read failed\n" << stack();
        return out;
      }
      out.append(buf.data(), static_cast<size_t>(got));
    }
  }
  // Every document of the started batch, until the end (operation 4).
  std::vector<Doc> drain(drobj *ds) {
    std::vector<Doc> docs;
    for (;;) {
      int32_t op = -1;
      char key[DRDS_KEYSIZE];
      int rc = ops(ds)->next(ds, &op, key);
      if (rc == 2) {
        EXPECT_EQ(op, DRSX_OPEND);
        return docs;
      }
      if (rc != 0) {
        ADD_FAILURE() << "next key failed after " << docs.size() << " documents\n" << stack();
        return docs;
      }
      docs.push_back({op, key, text(ds)});
    }
  }
  // The keys of documents.
  static std::vector<std::string> keys(const std::vector<Doc> &docs) {
    std::vector<std::string> k;
    for (const Doc &d : docs) k.push_back(d.key);
    return k;
  }
};

}  // namespace dsfix

#endif
