// The message transport of the database side driven through the client
// layer, the way a server and a submitter use it: registration, the poll,
// replies, the idle wait, and a submitter blocked in dispatcher.submit.
#include "platform/db/db.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "tests/fixtures/db/pguser.h"

namespace {

using pgtest::userstring;

struct Slot {
  uint16_t len = 0;
  int16_t ind = -1;
  char text[2000];
};

// A server's side of the transport: registration and the poll statement.
struct Server {
  kdblda lda{};
  char name[30] = {0}, mbox[30] = {0};
  int32_t sid = 0;
  kdbcda poll{};
  int32_t cmd_type = 0, disp_id = 0, disp_command = 0, numpkeys = 500, cid = 0;
  Slot ret, user, args[10];
  char stack[2000];
  char mask[31];

  int start(const char* m) {
    std::snprintf(mask, sizeof mask, "%s", m);
    std::string u = userstring();
    if (kdblogon(&lda, u.c_str(), -1)) return 1;
    kdbcda c{};
    int16_t nind = -1, aind = -1;
    if (kdbopen(&c, &lda, KDB_TRANSPORT) || kdbparse(&c, "CALL draserm.add(:person_mask, :name, :addr, :audsid)") ||
        kdbbndrv(&c, ":person_mask", mask, sizeof mask, KDB_STRING) ||
        kdbbndrv(&c, ":name", name, sizeof name, KDB_STRING, &nind) ||
        kdbbndrv(&c, ":addr", mbox, sizeof mbox, KDB_STRING, &aind) ||
        kdbbndrv(&c, ":audsid", &sid, 4, KDB_INTEGER) || kdbexec(&c))
      return 1;
    kdbclose(&c);
    if (kdbopen(&poll, &lda, KDB_TRANSPORT)) return 1;
    return kdbparse(&poll,
                    "CALL listener.get_cmd_blk(:sid, :mbox, :pmask, :cmd_type, :disp_id, "
                    ":disp_return_address, :disp_user, :disp_command, :disp_arg1, :disp_arg2, "
                    ":disp_arg3, :disp_arg4, :disp_arg5, :disp_arg6, :disp_arg7, :disp_arg8, "
                    ":disp_arg9, :disp_arg10, :dml_numpkeys, :dml_cid, :error_stack)");
  }
  int get() {
    stack[0] = 0;
    numpkeys = 500;
    ret.ind = user.ind = -1;
    int rc = kdbbndrv(&poll, ":sid", &sid, 4, KDB_INTEGER) |
             kdbbndrv(&poll, ":mbox", mbox, sizeof mbox, KDB_STRING) |
             kdbbndrv(&poll, ":error_stack", stack, sizeof stack, KDB_STRING) |
             kdbbndrv(&poll, ":pmask", mask, sizeof mask, KDB_STRING) |
             kdbbndrv(&poll, ":cmd_type", &cmd_type, 4, KDB_INTEGER) |
             kdbbndrv(&poll, ":disp_return_address", ret.text, 2000, KDB_VARCHAR2, &ret.ind, &ret.len) |
             kdbbndrv(&poll, ":disp_user", user.text, 2000, KDB_VARCHAR2, &user.ind, &user.len) |
             kdbbndrv(&poll, ":disp_command", &disp_command, 4, KDB_INTEGER) |
             kdbbndrv(&poll, ":disp_id", &disp_id, 4, KDB_INTEGER) |
             kdbbndrv(&poll, ":dml_cid", &cid, 4, KDB_INTEGER) |
             kdbbndrv(&poll, ":dml_numpkeys", &numpkeys, 4, KDB_INTEGER);
    for (int i = 0; i < 10; ++i) {
      args[i].ind = -1;
      std::string n = ":disp_arg" + std::to_string(i + 1);
      rc |= kdbbndrv(&poll, n.c_str(), args[i].text, 2000, KDB_VARCHAR2, &args[i].ind, &args[i].len);
    }
    if (rc) return rc;
    return kdbexec(&poll);
  }
  int reply(int code, const char* arg3) {
    kdbcda c{};
    int rc = kdbopen(&c, &lda, KDB_TRANSPORT);
    if (!rc) rc = kdbparse(&c, "CALL dispatcher.reply(:address, :id, :command, :arg1, :arg2, :arg3, "
                               ":arg4, :arg5, :arg6, :arg7, :arg8, :arg9, :arg10)");
    Slot a[10];
    a[2].ind = arg3 ? 0 : -1;
    if (arg3) {
      a[2].len = static_cast<uint16_t>(std::strlen(arg3));
      std::memcpy(a[2].text, arg3, a[2].len);
    }
    if (!rc) rc = kdbbndrv(&c, ":address", ret.text, 2000, KDB_VARCHAR2, &ret.ind, &ret.len) |
                  kdbbndrv(&c, ":id", &disp_id, 4, KDB_INTEGER) |
                  kdbbndrv(&c, ":command", &code, 4, KDB_INTEGER);
    for (int i = 0; i < 10 && !rc; ++i) {
      std::string n = ":arg" + std::to_string(i + 1);
      rc = kdbbndrv(&c, n.c_str(), a[i].text, 2000, KDB_VARCHAR2, &a[i].ind, &a[i].len);
    }
    if (!rc) rc = kdbexec(&c);
    kdbclose(&c);
    return rc;
  }
  ~Server() {
    if (lda.sess) {
      kdbclose(&poll);
      kdbcda c{};
      if (kdbopen(&c, &lda, KDB_TRANSPORT) == 0 && kdbparse(&c, "CALL draserm.del(:name)") == 0 &&
          kdbbndrv(&c, ":name", name, sizeof name, KDB_STRING) == 0)
        kdbexec(&c);
      kdbclose(&c);
      kdblogoff(&lda);
    }
  }
};

TEST(KdbDispatch, ACommandTravelsFromSubmitToTheServerAndBack) {
  if (!std::getenv("PGHOST")) GTEST_SKIP() << "no PG environment";
  Server srv;
  // The command names this server's mailbox, so that no other server in
  // the database takes it.
  ASSERT_EQ(srv.start("DQM"), 0);
  EXPECT_EQ(std::string(srv.name).rfind("DRSRV_", 0), 0u);
  EXPECT_EQ(std::string(srv.mbox).rfind("DRMBOX_", 0), 0u);
  EXPECT_GT(srv.sid, 0);

  // The submitter blocks in dispatcher.submit until the reply is written.
  int32_t code = 0;
  char arg3[64] = {0};
  std::thread submitter([&] {
    kdblda lda{};
    std::string u = userstring();
    ASSERT_EQ(kdblogon(&lda, u.c_str(), -1), 0);
    kdbcda c{};
    ASSERT_EQ(kdbopen(&c, &lda, KDB_TRANSPORT), 0);
    ASSERT_EQ(kdbparse(&c, "CALL dispatcher.submit(201, :a, :b, no_such_argument => 1)"), KDB_NOPROC);
    kdbclose(&c);
    ASSERT_EQ(kdbopen(&c, &lda, KDB_TRANSPORT), 0);
    ASSERT_EQ(kdbparse(&c, "CALL dispatcher.submit(201, :a, :b, timeout_s => 20, reply_code => :reply_code, "
                           "reply_args => :reply_args, target_mbox => :mbox)"), 0);
    char a[] = "2", b[] = "40";
    char args[10][64];
    int16_t ind[10];
    uint32_t cnt = 0;
    ASSERT_EQ(kdbbndrv(&c, ":a", a, sizeof a, KDB_STRING), 0);
    ASSERT_EQ(kdbbndrv(&c, ":b", b, sizeof b, KDB_STRING), 0);
    ASSERT_EQ(kdbbndrv(&c, ":reply_code", &code, 4, KDB_INTEGER), 0);
    ASSERT_EQ(kdbbndrv(&c, ":mbox", srv.mbox, sizeof srv.mbox, KDB_STRING), 0);
    ASSERT_EQ(kdbbndra(&c, ":reply_args", args, 64, KDB_STRING, ind, nullptr, nullptr, 10, &cnt), 0);
    char e[2050];
    int rc = kdbexec(&c);
    kdberror(&lda, rc, e, sizeof e);
    ASSERT_EQ(rc, 0) << e;
    ASSERT_EQ(cnt, 10u);
    EXPECT_EQ(ind[0], -1);
    std::snprintf(arg3, sizeof arg3, "%s", args[2]);
    kdbclose(&c);
    kdblogoff(&lda);
  });
  // Poll until the command arrives (the idle poll returns type 1 meanwhile).
  auto t0 = std::chrono::steady_clock::now();
  do {
    int rc = srv.get();
    ASSERT_TRUE(rc == 0 || rc == KDB_NULLVALUE) << rc;  // an idle poll leaves the id null
    ASSERT_STREQ(srv.stack, "");
  } while (srv.cmd_type == 1 && std::chrono::steady_clock::now() - t0 < std::chrono::seconds(15));
  ASSERT_EQ(srv.cmd_type, 2);
  EXPECT_EQ(srv.disp_command, 201);
  EXPECT_EQ(std::string(srv.args[0].text, srv.args[0].len), "2");
  EXPECT_EQ(std::string(srv.args[1].text, srv.args[1].len), "40");
  EXPECT_EQ(srv.args[2].ind, -1);
  ASSERT_EQ(srv.reply(101, "42"), 0);
  submitter.join();
  EXPECT_EQ(code, 101);
  EXPECT_STREQ(arg3, "42");

  // Idle: type 1 after a short wait, with the null id reported as 1405.
  t0 = std::chrono::steady_clock::now();
  int rc = srv.get();
  auto waited = std::chrono::steady_clock::now() - t0;
  if (srv.cmd_type == 1) {
    EXPECT_TRUE(rc == 0 || rc == KDB_NULLVALUE) << rc;
    EXPECT_GE(waited, std::chrono::milliseconds(800));
  }
}

}  // namespace
