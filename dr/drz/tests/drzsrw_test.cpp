// The statement rewrite without a database: the walk, its handlers and the
// generator over a fixed table of columns and policies, each statement with
// the text it comes back as or the error stack it fails with.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dr/drz/drzint.h"
#include "dr/drz/tests/drzfake.h"
#include "dr/drz/tests/drzfix.h"

namespace {

struct Result {
  int rc = 0;
  std::string text;             // the rewritten text, its terminator dropped
  int32_t len = 0;              // bytes with the terminator
  std::vector<int> stack;       // message numbers, first pushed first
};

struct Rw : drzfix::Fixture {
  void SetUp() override {
    drzfix::Fixture::SetUp();
    drzfake::install();
  }
  Result rw(const std::string &stmt, int shr = 0, int exec = 0, const char *user = "SCOTT",
            int32_t cap = DRZS_OUTCAP) {
    std::vector<char> out(static_cast<size_t>(cap));
    Result r;
    rtmsgclr(st->msg);
    r.rc = drzsrwp(st, user, 12, 3, exec_text(stmt), out.data(), cap, shr, exec, &r.len);
    if (r.rc == 0) r.text = out.data();
    for (int i = 1; i <= rtmsgcnt(st->msg); i++) r.stack.push_back(rtmsgnum(st->msg, i));
    rtmsgclr(st->msg);
    return r;
  }
  const char *exec_text(const std::string &s) { return exact(s + std::string(1, '\0')); }
};

using Stack = std::vector<int>;
constexpr int DB = 50850;

TEST_F(Rw, StatementsWithoutPredicatesComeBackNormalised) {
  Result r = rw("select a, b from t where x = 'it''s 5%'");
  ASSERT_EQ(r.rc, 0) << ::testing::PrintToString(r.stack);
  EXPECT_EQ(r.text, "SELECT A , B FROM T WHERE X = 'it''s 5%' ");
  EXPECT_EQ(r.len, static_cast<int32_t>(r.text.size()) + 1);
  EXPECT_EQ(drzfake::counts.allocs, 0);
  // A FROM list keeps its commas without blanks; quoted names stay quoted.
  r = rw("select \"my%Col\" from t,\"Dept\" d where a = 1");
  ASSERT_EQ(r.rc, 0);
  EXPECT_EQ(r.text, "SELECT \"my%Col\" FROM T,\"Dept\" D WHERE A = 1 ");
  // Two-character operators stay whole, or the text would not parse.
  r = rw("select a||'x' from t where a<>1 and b >= 2 and c!=3 and d<=4 and e ^= 5 and f < 6");
  ASSERT_EQ(r.rc, 0);
  EXPECT_EQ(r.text, "SELECT A || 'x' FROM T WHERE A <> 1 AND B >= 2 AND C != 3 AND D <= 4 AND E ^= "
                    "5 AND F < 6 ");
}

TEST_F(Rw, PredicatesBecomeScoreColumnsOfDerivedTables) {
  Result r = rw("select ename, score(3) from emp e where contains(e.text, 'dog', 3) > 0");
  ASSERT_EQ(r.rc, 0) << ::testing::PrintToString(r.stack);
  EXPECT_EQ(r.text,
            "SELECT ENAME , E.SCORE0 FROM ((SELECT  E.*, R1.SCORE SCORE0 FROM EMP E, R1 WHERE  E.ID "
            "= R1.TEXTKEY) UNION ALL (SELECT  E.*, 0 FROM EMP E WHERE NOT EXISTS (SELECT NULL FROM "
            "R1 WHERE  E.ID = R1.TEXTKEY))) E WHERE SCORE0 > 0 ");
  EXPECT_EQ(drzfake::counts.saves, 1);
  // A bind variable's query, a handle, three key columns.
  r = rw("select handle(text) from emp where contains(text, :q) > 0");
  ASSERT_EQ(r.rc, 0);
  EXPECT_NE(r.text.find("':SCOTT.EMP:TEXT:ID:'||TO_CHAR(EMP.ID) FROM"), std::string::npos) << r.text;
  EXPECT_NE(r.text.find("WHERE :Q IS NOT NULL AND SCORE0 > 0 "), std::string::npos) << r.text;
  r = rw("select a from t3 where contains(c, 'x') > 0");
  ASSERT_EQ(r.rc, 0);
  EXPECT_NE(r.text.find("WHERE ( T3.K1 = R3.TEXTKEY AND  T3.K2 = R3.TEXTKEY2 AND  T3.K3 = "
                        "R3.TEXTKEY3))"),
            std::string::npos)
      << r.text;
  // Two predicates with tables of their own: one outer join each, so that a
  // row comes once whatever hits it has.
  r = rw("select a from emp where contains(text,'red',1) > 0 or contains(text,'north',2) > 0");
  ASSERT_EQ(r.rc, 0);
  // The rows with a hit are found through the tables' keys, the others
  // follow with scores of 0.
  EXPECT_EQ(r.text, "SELECT A FROM ((SELECT  EMP.*, COALESCE(R4.SCORE, 0) SCORE0, COALESCE(R5.SCORE, "
                    "0) SCORE1 FROM EMP LEFT OUTER JOIN R4 ON  EMP.ID = R4.TEXTKEY LEFT OUTER JOIN R5 "
                    "ON  EMP.ID = R5.TEXTKEY WHERE  EMP.ID IN (SELECT TEXTKEY FROM R4 UNION SELECT "
                    "TEXTKEY FROM R5)) UNION ALL (SELECT  EMP.*, 0, 0 FROM EMP WHERE NOT EXISTS "
                    "(SELECT NULL FROM R4 WHERE  EMP.ID = R4.TEXTKEY) AND NOT EXISTS (SELECT NULL "
                    "FROM R5 WHERE  EMP.ID = R5.TEXTKEY))) EMP WHERE SCORE0 > 0 OR SCORE1 > 0 ");
  // Shared: one grouped subquery turns CONID into a score per predicate.
  r = rw("select a from emp where contains(text,'red',1) > 0 or contains(text,'north',2) > 0", 1);
  ASSERT_EQ(r.rc, 0);
  EXPECT_EQ(r.text, "SELECT A FROM ((SELECT  EMP.*, SCORE0, SCORE1 FROM EMP, (SELECT TEXTKEY , "
                    "SUM(DECODE(CONID,0,SCORE,0)) SCORE0, SUM(DECODE(CONID,1,SCORE,0)) SCORE1 FROM "
                    "R6 GROUP BY TEXTKEY) R6 WHERE  EMP.ID = R6.TEXTKEY) UNION ALL (SELECT  EMP.*, 0, "
                    "0 FROM EMP WHERE NOT EXISTS (SELECT NULL FROM R6 WHERE  EMP.ID = R6.TEXTKEY))) "
                    "EMP WHERE SCORE0 > 0 OR SCORE1 > 0 ");
  EXPECT_NE(r.text.find("EMP WHERE SCORE0"),
            std::string::npos)
      << r.text;
  EXPECT_EQ(drzfake::counts.allocs, 6);
  // Several key columns: the hits are found by the row of keys.
  r = rw("select a from t3 where contains(c,'red',1) > 0 and contains(c,'north',2) > 0");
  ASSERT_EQ(r.rc, 0);
  EXPECT_NE(r.text.find("WHERE ( T3.K1,  T3.K2,  T3.K3) IN (SELECT TEXTKEY,TEXTKEY2,TEXTKEY3 FROM R"),
            std::string::npos)
      << r.text;
}

TEST_F(Rw, EdgeCases) {
  // 2000 characters, two of them quotes (each written twice in the source).
  std::string q2000 = std::string(998, 'a') + "''''" + std::string(1000, 'a');
  std::string quotes1000(2000, '\'');                                        // 1000 quotes
  std::string unions = "select a from t";
  for (int i = 1; i < 49; i++) unions += " union select a from t";
  struct Case {
    std::string stmt;
    int shr, exec;
    Stack stack;  // empty: it passes
  } cases[] = {
      {"select contains(text,'x') from emp", 0, 0, {11313, 11307, 11300}},
      {"select a from emp where handle(text) = 1", 0, 0, {11315, 11309, 11300}},
      {"select a from emp", 2, 0, {11329, 11300}},
      {"select a from emp where contains(text,'a') > 0 and contains(text,'b') > 0", 0, 0,
       {11303, 11307, 11307, 11300}},
      {"select a from emp where contains(text,'a') > 0 and a in (select a from emp where "
       "contains(text,'b') > 0)", 0, 0, {}},
      {"select a from emp where contains(text,'a',999) > 0", 0, 0, {}},
      {"select a from emp where contains(text,'a',1000) > 0", 0, 0, {11304, 11307, 11307, 11300}},
      {"select a from emp where contains(text,'a',1.5) > 0", 0, 0, {11325, 11307, 11307, 11300}},
      {"select a from emp where contains(text, :q) > 0", 0, 1, {50802, 11312, 11300}},
      {"select a from t where x = '" + q2000 + "'", 0, 0, {11301, 11319, 11300}},
      {"select a from t where x = '" + quotes1000 + "'", 0, 0, {}},
      {unions, 0, 0, {}},
      {unions + " union select a from t", 0, 0, {11300, 11318, 11300}},
      {"select a from t connect by prior a = b", 0, 0, {11320, 11318, 11300}},
      {"select rowid from emp", 0, 0, {}},
      {"select a from emp where rowid = 1", 0, 0, {DB, 11319, 11300}},
      {"select a+b, rowid from emp", 0, 0, {DB, 11317, 11300}},
      {"select rowid from emp, dept", 0, 0, {}},
      {"select rowid from emp, dept where a = 1", 0, 0, {DB, 11318, 11300}},
      {"select a from emp e, emp f where contains(e.text,'x') > 0", 0, 0, {}},
      {"select a from emp e, emp f where contains(text,'x') > 0", 0, 0,
       {11327, 11307, 11307, 11300}},
      {"select a from emp e where exists (select a from dept d where contains(text,'x') > 0)", 0,
       0, {}},
      {"select a from emp where contains(id,'x') > 0", 0, 0, {11306, 11307, 11307, 11300}},
      {"select a from emp where contains(nosuch,'x') > 0", 0, 0, {DB, 11307, 11300}},
      {"select a from emp where a b c = 1", 0, 0, {DB, 11319, 11300}},
      // Mended: what the walk cannot write valid SQL for is refused.
      {"select a from t where a = :", 0, 0, {DB, 11316, 11300}},
      {"score(1)", 0, 0, {11330, 11308, 11300}},
      {"select a from big where contains(c,'x') > 0", 0, 0, {11333, 11310, 11300}},
      {"select a from emp where contains(text, :'" + std::string(31, 'b') + "') > 0", 0, 0,
       {11331, 11307, 11300}},
      {"select a from emp where contains(text, 'x', 1, '" + std::string(62, 'p') + "') > 0", 0, 0,
       {11331, 11307, 11300}},
      {"select a from emp@far where a = 1", 0, 0, {11334, 11318, 11300}},
  };
  for (const Case &c : cases) {
    drzfake::install();
    Result r = rw(c.stmt, c.shr, c.exec);
    EXPECT_EQ(r.rc, c.stack.empty() ? 0 : 1) << c.stmt.substr(0, 120);
    EXPECT_EQ(r.stack, c.stack) << c.stmt.substr(0, 120);
    // A failed rewrite leaves no result table behind.
    if (r.rc) EXPECT_EQ(drzfake::counts.live(), 0) << c.stmt.substr(0, 120);
  }
  EXPECT_EQ(rw("select a from t", 0, 0, "").stack, (Stack{11332, 11300}));
}

TEST_F(Rw, RowidColumnsReadTheDerivedTable) {
  // ROWID once per item.
  EXPECT_EQ(rw("select rowid rowid from emp").stack, (Stack{DB, 11317, 11300}));
  Result r = rw("select rowid from emp e where contains(text,'x') > 0");
  ASSERT_EQ(r.rc, 0) << ::testing::PrintToString(r.stack);
  EXPECT_EQ(r.text.rfind("SELECT DR$ROWID \"ROWID\" FROM ((SELECT  E.ROWID DR$ROWID,  E.*,", 0), 0u)
      << r.text;
  r = rw("select e.rowid r from emp e where contains(text,'x') > 0");
  ASSERT_EQ(r.rc, 0);
  EXPECT_EQ(r.text.rfind("SELECT E . DR$ROWID \"R\" FROM", 0), 0u) << r.text;
  // ROWID in two SELECTs: tracking is given up and nothing is rewritten.
  r = rw("select rowid from emp where contains(text,'x') > 0 union select rowid from emp");
  ASSERT_EQ(r.rc, 0);
  EXPECT_EQ(r.text.find("DR$ROWID"), std::string::npos) << r.text;
}

TEST_F(Rw, SharedTableIsMadeAgainWithEnoughKeys) {
  Result r = rw("select a from t1, t3 where contains(t1.c,'x',1) > 0 and contains(t3.c,'y',2) > 0", 1);
  ASSERT_EQ(r.rc, 0) << ::testing::PrintToString(r.stack);
  EXPECT_EQ(drzfake::counts.allocs, 2);
  EXPECT_EQ(drzfake::counts.live(), 1);
  EXPECT_EQ(drzfake::counts.lastkeys, 3);
  EXPECT_EQ(r.text.find("R1"), std::string::npos) << r.text;
}

TEST_F(Rw, CloseSelectsBySessionAndQuery) {
  char buf[200];
  drzsstate *rs = drzsnew(st, "O'NEIL", 12, 3, buf, sizeof buf, 1, 2);
  drzsstate **rsp = &rs;
  drzfix::Raised raised = drzfix::guarded(st, [&] {
    drzouts(st, *rsp, "SELECT DISTINCT con_restab FROM DR$CONTAINS ");
    drzrsel(st, *rsp, "con", 6);
  });
  EXPECT_EQ(raised.num, 0);
  EXPECT_EQ(std::string(rs->text, rs->textlen),
            "SELECT DISTINCT con_restab FROM DR$CONTAINS WHERE con_session = 12 AND con_queryid = 3 ");
  rs->textlen = 0;
  drzfix::guarded(st, [&] { drzrsel(st, *rsp, "bin", 7); });
  EXPECT_EQ(std::string(rs->text, rs->textlen),
            "WHERE bin_username = 'O''NEIL' AND bin_session = 12 AND bin_queryid = 3 ");
  drzsfree(st, &rs);
}

TEST_F(Rw, StructuredViewQuery) {
  char q[1024];
  auto view = [&](const char *keys, const std::string &sq) -> std::string {
    rtmsgclr(st->msg);
    if (drzsvwq(st, "SCOTT", "owner", "table", keys, exact(sq + std::string(1, '\0')), q, sizeof q) != 0)
      return "fails " + std::to_string(rtmsgnum(st->msg, rtmsgcnt(st->msg)));
    return q;
  };
  EXPECT_EQ(view("ID", "price > 10"), "SELECT ID FROM owner.table WHERE PRICE > 10 ");
  EXPECT_EQ(view("ID", "name = USER"), "SELECT ID FROM owner.table WHERE NAME = 'SCOTT'");
  for (const char *bad : {"rownum < 3", "userenv('x') = 1", "contains(a,'b') > 0",
                          "id in (select id from t)", "a = 1; drop table t"})
    EXPECT_EQ(view("ID", bad), "fails 11300") << bad;
  EXPECT_EQ(view("A,B", "a = 1"),
            "SELECT replace(replace(A,'\\','\\\\'),',','\\,') || ',' || replace(replace(B,'\\','\\\\'),"
            "',','\\,')  FROM owner.table WHERE A = 1 ");
  EXPECT_EQ(view("ID", "a = '" + std::string(1100, 'x') + "'"), "fails 11300");
}

}  // namespace
