// The message transport of the database side driven the way the server and
// a submitter use it: registration, the server's poll and its answer through
// the command table, and a submitter blocked in dispatcher.submit that reads
// the reply's arguments through a collection bind.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "dr/dras/drasrv.h"
#include "dr/drt/drt.h"
#include "dr/dru/dru.h"
#include "tests/fixtures/db/pguser.h"
#include "tests/fixtures/server/statefix.h"

namespace {

using pgtest::userstring;

// A logged-on state whose log goes nowhere; null (and a failure) when not.
drsrvstate *logon() {
  drsrvstate *s = nullptr;
  if (statefix::build(&s) != 0) {
    ADD_FAILURE() << "no server state";
    return nullptr;
  }
  EXPECT_EQ(dracnfop(s, nullptr, 0, "/dev/null", 6, 0, 0, 0, 0, &s->log), 0);
  std::string u = userstring();
  if (dracnlog(s, u.c_str(), 0) != 0) {
    ADD_FAILURE() << "log-on failed as " << u;
    dracnfre(&s);
  }
  return s;
}

void logoff(drsrvstate *&s) {
  if (!s) return;
  if (s->login) dracnlof(s);
  dracnfcl(s, s->log);
  dracnfre(&s);
}

TEST(Transport, ACommandTravelsFromSubmitToTheServerAndBack) {
  if (!std::getenv("PGHOST")) GTEST_SKIP() << "no PG environment";
  drsrvstate *s = logon();
  ASSERT_NE(s, nullptr);
  char mask[31] = "DQM";
  s->pmask = mask;
  ASSERT_EQ(drasmadd(s), 0);
  ASSERT_EQ(drmini(s), 0);
  EXPECT_EQ(std::string(s->srvname).rfind("DRSRV_", 0), 0u);
  EXPECT_EQ(std::string(s->mbox).rfind("DRMBOX_", 0), 0u);
  EXPECT_GT(s->audsid, 0);

  // The submitter blocks in dispatcher.submit until the reply is written;
  // the command names this server's mailbox, so that no other server takes it.
  int32_t code = 0;
  std::string arg3;
  std::thread submitter([&] {
    drsrvstate *t = logon();
    ASSERT_NE(t, nullptr);
    druocur c{};
    EXPECT_EQ(druoprp(t, &c, DRUO_TRANSPORT, "CALL dispatcher.submit(201, :a, :b, no_such_argument => 1)",
                      &druorepq),
              DRUO_NOPROC);
    ASSERT_EQ(druoprp(t, &c, DRUO_TRANSPORT,
                      "CALL dispatcher.submit(201, :a, :b, timeout_s => 20, reply_code => :reply_code, "
                      "reply_args => :reply_args, target_mbox => :mbox)"),
              0);
    char a[] = "2", b[] = "40";
    char args[10][64];
    int16_t ind[10];
    uint32_t cnt = 0;
    ASSERT_EQ(druobnd(t, &c, ":a", a, sizeof a, DRUO_STRING), 0);
    ASSERT_EQ(druobnd(t, &c, ":b", b, sizeof b, DRUO_STRING), 0);
    ASSERT_EQ(druobnd(t, &c, ":reply_code", &code, 4, DRUO_INTEGER), 0);
    ASSERT_EQ(druobnd(t, &c, ":mbox", s->mbox, sizeof s->mbox, DRUO_STRING), 0);
    ASSERT_EQ(druobna(t, &c, ":reply_args", args, 64, DRUO_STRING, ind, nullptr, 10, &cnt), 0);
    ASSERT_EQ(druoexe(t, &c), 0);
    ASSERT_EQ(cnt, 10u);
    EXPECT_EQ(ind[0], -1);
    arg3 = args[2];
    druoend(t, &c);
    logoff(t);
  });
  // The server's own poll: idle until the command arrives, which the
  // command table then runs and answers.
  static drmcmd cmd, reply;
  static drtldml dml;
  int32_t type = DRT_IDLE;
  auto t0 = std::chrono::steady_clock::now();
  while (type == DRT_IDLE && std::chrono::steady_clock::now() - t0 < std::chrono::seconds(15)) {
    ASSERT_EQ(drtlgcmd(s, &type, &cmd, &dml), 0);
    EXPECT_EQ(rtmsgcnt(s->msg), 0);
  }
  ASSERT_EQ(type, DRT_CMD);
  EXPECT_EQ(cmd.cmd, 201);
  EXPECT_EQ(std::string(cmd.args[0].text, cmd.args[0].len), "2");
  EXPECT_EQ(std::string(cmd.args[1].text, cmd.args[1].len), "40");
  EXPECT_EQ(cmd.args[2].ind, -1);
  EXPECT_EQ(drtlcmd(s, &cmd, &reply), 0);
  submitter.join();
  EXPECT_EQ(code, 101);
  EXPECT_EQ(arg3, "42");

  // Nothing waits now: the next poll is idle and pushes nothing.
  ASSERT_EQ(drtlgcmd(s, &type, &cmd, &dml), 0);
  EXPECT_EQ(type, DRT_IDLE);
  EXPECT_EQ(rtmsgcnt(s->msg), 0);
  drmfre(s);
  drasmdel(s);
  logoff(s);
}

}  // namespace
