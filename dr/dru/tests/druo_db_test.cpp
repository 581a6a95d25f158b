// The cursor layer, log-on, log-off and the SQL trace against the private
// cluster (PG environment).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "dr/dra/dra.h"
#include "dr/dru/dru.h"
#include "tests/fixtures/db/pguser.h"
#include "tests/fixtures/server/statefix.h"

namespace {

using pgtest::userstring;

struct Session : statefix::State {
  Session() { logname = "kes-druo"; }
  void SetUp() override {
    if (!std::getenv("PGHOST")) GTEST_SKIP() << "no PG environment";
    State::SetUp();
  }
  std::vector<int> stack() {
    std::vector<int> v;
    for (int i = 1;; ++i) {
      int num = 0, sev = 0;
      if (drueget(st, i, &num, &sev) != 0 || num == 0) break;
      v.push_back(num);
    }
    return v;
  }
  std::string text(int i) {
    char b[256];
    return druetxt(st, i, b, sizeof b) == 0 ? b : "";
  }
};

TEST_F(Session, LogOnCursorsAndLogOff) {
  std::string u = userstring();
  ASSERT_EQ(dracnlog(st, u.c_str(), 0), 0);
  EXPECT_EQ(st->login, static_cast<void *>(st->logarea));
  EXPECT_NE(log().find("Connected to database.\n"), std::string::npos);

  // A statement that does not parse: 1, a null cursor, 50850 then 50801.
  druocur *cur = reinterpret_cast<druocur *>(0x1);
  EXPECT_EQ(druoprs(st, st->seshp, "selec 1", &cur), 1);
  EXPECT_EQ(cur, nullptr);
  EXPECT_EQ(stack(), (std::vector<int>{50850, 50801}));
  EXPECT_EQ(text(1).rfind("42601: ", 0), 0u) << text(1);
  drueclr(st);

  // One that parses, on either connection, runs and is freed.
  for (int link = 0; link < 2; ++link) {
    ASSERT_EQ(link ? druoprst(st, st->seshp, "select 41 + :x", &cur)
                   : druoprs(st, st->seshp, "select 41 + :x", &cur), 0);
    int32_t x = 1, v = 0;
    ASSERT_EQ(kdbbndrv(cur, ":x", &x, 4, KDB_INTEGER), 0);
    ASSERT_EQ(kdbdefin(cur, 1, &v, 4, KDB_INTEGER), 0);
    ASSERT_EQ(kdbexfet(cur, 1), 0);
    EXPECT_EQ(v, 42);
    EXPECT_EQ(cur->rpc, 1u);
    EXPECT_EQ(cur->fc, KDB_FC_EXFET);
    EXPECT_EQ(druofre(st, st->seshp, &cur), 0);
    EXPECT_EQ(cur, nullptr);
  }
  EXPECT_EQ(druofre(st, st->seshp, &cur), 0);  // a null cursor is a no-op

  // A cursor in a caller's record.
  druocur rec{};
  EXPECT_EQ(druoopn(&rec, st->login), 0);
  EXPECT_EQ(druocls(&rec), 0);
  EXPECT_EQ(druoopnt(&rec, st->login), 0);
  EXPECT_EQ(druocls(&rec), 0);

  // The statement runner: success, and a failure's text.
  EXPECT_EQ(drqsexe(st, "select 1"), 0);
  EXPECT_EQ(drqsexe(st, "drop table no_such_table_here"), 1);
  EXPECT_EQ(stack(), (std::vector<int>{50850}));
  EXPECT_EQ(text(1).rfind("42P01: ", 0), 0u) << text(1);
  drueclr(st);

  EXPECT_EQ(dracnlof(st), 0);
  EXPECT_EQ(st->login, nullptr);
  EXPECT_EQ(dracnlof(st), 1);  // not connected any more
  // Cursors cannot be opened on a login that is gone.
  EXPECT_NE(druoopn(&rec, st->logarea), 0);
}

TEST_F(Session, AFailedLogOnIsFatalAndLeavesNoLogin) {
  ASSERT_EQ(dracnlog(st, "no_such_role_at_all/secret", 0), 1);
  EXPECT_EQ(st->login, nullptr);
  EXPECT_EQ(stack(), (std::vector<int>{50850, 11100}));
  EXPECT_TRUE(druefatal(st));
  EXPECT_NE(text(1).find("no_such_role_at_all"), std::string::npos) << text(1);
  EXPECT_EQ(log().find("Connected"), std::string::npos);
}

TEST_F(Session, TraceWritesStatementsWithBindsIntoTheLog) {
  std::string u = userstring();
  ASSERT_EQ(dracnlog(st, u.c_str(), 1), 0);
  druocur *cur = nullptr;
  ASSERT_EQ(druoprs(st, st->seshp, "select :name || '!'", &cur), 0);
  char name[] = "trace me";
  char out[32];
  ASSERT_EQ(kdbbndrv(cur, ":name", name, sizeof name, KDB_STRING), 0);
  ASSERT_EQ(kdbdefin(cur, 1, out, sizeof out, KDB_STRING), 0);
  ASSERT_EQ(kdbexfet(cur, 1), 0);
  druofre(st, st->seshp, &cur);
  std::string l = log();
  EXPECT_NE(l.find("SQL: SELECT set_config('dr.sql_trace', 'on', false)\n"), std::string::npos) << l;
  EXPECT_NE(l.find("SQL: select :name || '!'\n  :NAME = 'trace me'\n"), std::string::npos) << l;
}

struct JapaneseSession : Session {
  JapaneseSession() { nls = "AMERICAN_AMERICA.JA16EUC"; }
};

TEST_F(JapaneseSession, TheSessionSpeaksTheServersCharacterSet) {
  std::string u = userstring();
  ASSERT_EQ(dracnlog(st, u.c_str(), 0), 0);
  druocur *cur = nullptr;
  // U+65E5 is E6 97 A5 in the database (UTF8) and C6 FC in EUC-JP.
  ASSERT_EQ(druoprs(st, st->seshp, "select convert_from('\\xe697a5'::bytea, 'UTF8')", &cur), 0);
  unsigned char out[8] = {0};
  ASSERT_EQ(kdbdefin(cur, 1, out, sizeof out, KDB_STRING), 0);
  ASSERT_EQ(kdbexfet(cur, 1), 0);
  EXPECT_EQ(out[0], 0xC6);
  EXPECT_EQ(out[1], 0xFC);
  EXPECT_EQ(out[2], 0);
  druofre(st, st->seshp, &cur);
}

}  // namespace
