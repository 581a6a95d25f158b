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
  EXPECT_EQ(stacknums(), (std::vector<int>{50850, 50801}));
  EXPECT_EQ(text(1).rfind("42601: ", 0), 0u) << text(1);
  drueclr(st);

  // One that parses, on either connection, runs and is freed.
  for (int link = 0; link < 2; ++link) {
    ASSERT_EQ(link ? druoprst(st, st->seshp, "select 41 + :x", &cur)
                   : druoprs(st, st->seshp, "select 41 + :x", &cur), 0);
    int32_t x = 1, v = 0;
    ASSERT_EQ(druobnd(st, cur, ":x", &x, 4, DRUO_INTEGER), 0);
    ASSERT_EQ(druodef(st, cur, 1, &v, 4, DRUO_INTEGER), 0);
    ASSERT_EQ(druoexf(st, cur, 1), 0);
    EXPECT_EQ(v, 42);
    EXPECT_EQ(druorows(cur), 1u);
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
  EXPECT_EQ(stacknums(), (std::vector<int>{50850}));
  EXPECT_EQ(text(1).rfind("42P01: ", 0), 0u) << text(1);
  drueclr(st);

  EXPECT_EQ(dracnlof(st), 0);
  EXPECT_EQ(st->login, nullptr);
  EXPECT_EQ(dracnlof(st), 1);  // not connected any more
  // Cursors cannot be opened on a login that is gone.
  EXPECT_NE(druoopn(&rec, st->logarea), 0);
}

// Every failing step reaches the stack one way: the database's text, then
// the step's message at the severity the call's report record gives.
TEST_F(Session, EachFailingStepPushesTheDatabaseTextThenTheStep) {
  std::string u = userstring();
  ASSERT_EQ(dracnlog(st, u.c_str(), 0), 0);
  int32_t v = 0;
  struct {
    const char *what, *sql;
    const druorep *rep;
    std::vector<int> stack;
    int sev;  // severity of the last entry
  } const cases[] = {
      {"parse", "selec 1", nullptr, {50850, 50801}, 2},
      {"fatal parse", "selec 1", &druorepf, {50850, 50801}, 3},
      {"quiet parse", "selec 1", &druorepq, {}, 0},
      {"bind", "select 1", nullptr, {50850, 50802}, 2},
      {"execute", "select 1/0", nullptr, {50850, 50804}, 2},
      {"no more rows", "select 1 where false", nullptr, {}, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    druocur cur{};
    int rc = druoprp(st, &cur, DRUO_WORK, c.sql, c.rep);
    if (rc == 0) {
      if (std::string(c.what) == "bind") rc = druobnd(st, &cur, ":nope", &v, 4, DRUO_INTEGER);
      if (rc == 0) rc = druodef(st, &cur, 1, &v, 4, DRUO_INTEGER);
      if (rc == 0) rc = druoexf(st, &cur, 1);
      druoend(st, &cur);
    }
    if (c.stack.empty() && std::string(c.what) == "no more rows") {
      EXPECT_EQ(rc, DRUO_NODATA);
    } else {
      EXPECT_NE(rc, 0);
    }
    EXPECT_EQ(stacknums(), c.stack);
    if (!c.stack.empty()) {
      int num = 0, sev = 0;
      ASSERT_EQ(drueget(st, static_cast<int>(c.stack.size()), &num, &sev), 0);
      EXPECT_EQ(sev, c.sev);
      // The step names the place that ran it, not the cursor layer.
      EXPECT_NE(text(static_cast<int>(c.stack.size())).find("dr/dru/tests/druo_db_test.cpp"),
                std::string::npos);
    }
    drueclr(st);
  }
  // Without a login nothing opens; the report still says why.
  EXPECT_EQ(dracnlof(st), 0);
  druocur cur{};
  EXPECT_EQ(druoprp(st, &cur, DRUO_TRANSPORT, "select 1", &druorepf), DRUO_NOTCONN);
  EXPECT_EQ(stacknums(), (std::vector<int>{50850, 50800}));
  EXPECT_TRUE(druefatal(st));
}

TEST_F(Session, AFailedLogOnIsFatalAndLeavesNoLogin) {
  ASSERT_EQ(dracnlog(st, "no_such_role_at_all/secret", 0), 1);
  EXPECT_EQ(st->login, nullptr);
  EXPECT_EQ(stacknums(), (std::vector<int>{50850, 11100}));
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
  ASSERT_EQ(druobnd(st, cur, ":name", name, sizeof name, DRUO_STRING), 0);
  ASSERT_EQ(druodef(st, cur, 1, out, sizeof out, DRUO_STRING), 0);
  ASSERT_EQ(druoexf(st, cur, 1), 0);
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
  ASSERT_EQ(druodef(st, cur, 1, out, sizeof out, DRUO_STRING), 0);
  ASSERT_EQ(druoexf(st, cur, 1), 0);
  EXPECT_EQ(out[0], 0xC6);
  EXPECT_EQ(out[1], 0xFC);
  EXPECT_EQ(out[2], 0);
  druofre(st, st->seshp, &cur);
}

}  // namespace
