// Replies, polls, the registry and the queue calls of one server session,
// run in-process against a database of the test's own.
#include <thread>

#include "dr/dras/drasrv.h"
#include "dr/drm/drm.h"
#include "dr/drq/drq.h"
#include "dr/drt/drt.h"
#include "tests/fixtures/server/pgtest.h"
#include "tests/fixtures/server/statefix.h"

namespace {

using pgtest::Conn;
using pgtest::Database;

struct Session : ::testing::Test {
  Database db;
  drsrvstate *s = nullptr;
  char mask[31] = "DQM";
  std::string user;
  static drmcmd cmd;
  static drtldml dml;

  void SetUp() override {
    PGTEST_NEED_DB(db);
    // A UTF8 session: some byte strings are no text of it (see the refused
    // reply below).
    ASSERT_EQ(statefix::build(&s, "AMERICAN_AMERICA.UTF8"), 0);
    user = db.user();
    s->pmask = mask;
    s->user = user.data();
    ASSERT_EQ(dracnlog(s, s->user, 0), 0);
    strcpy(s->srvname, "left over");
    ASSERT_EQ(drasmadd(s), 0);
    ASSERT_EQ(drmini(s), 0);
  }
  void TearDown() override {
    if (!s) return;
    drmfre(s);
    if (s->login) {
      drasmdel(s);
      dracnlof(s);
    }
    dracnfre(&s);
  }
  // Queues a command for this session's server and polls it.
  void take(Conn &c, int code) {
    c.one("CALL dispatcher.post($1::integer, target_mbox => $2)", {std::to_string(code), std::string(s->mbox)});
    int32_t type = 0;
    ASSERT_EQ(drtlgcmd(s, &type, &cmd, &dml), 0);
    ASSERT_EQ(type, DRT_CMD);
    ASSERT_EQ(cmd.cmd, code);
    EXPECT_EQ(s->mstate->msgid, cmd.id);
  }
  std::vector<std::string> replies(Conn &c, int id, const char *what) {
    return c.col(std::string("SELECT ") + what +
                 " FROM dispatcher.reply_message WHERE message_id = " + std::to_string(id) +
                 " ORDER BY seq");
  }
};
drmcmd Session::cmd;
drtldml Session::dml;

TEST_F(Session, RegistersAndPollsIdle) {
  Conn c(db.name);
  EXPECT_EQ(std::string(s->srvname).rfind("DRSRV_", 0), 0u) << s->srvname;
  EXPECT_EQ(c.one("SELECT mbox FROM draserm.server WHERE name = $1", {std::string(s->srvname)}),
            std::string(s->mbox));
  EXPECT_GT(s->audsid, 0);
  int32_t type = 0;
  EXPECT_EQ(drtlgcmd(s, &type, &cmd, &dml), 0);
  EXPECT_EQ(type, DRT_IDLE);
  EXPECT_EQ(drtloob(s), 0);
  EXPECT_EQ(rtmsgcnt(s->msg), 0);

  // A registry call that cannot be parsed is fatal; one that fails to run is not.
  c.one("ALTER PROCEDURE draserm.upd(text, text, text, integer) RENAME TO upd_gone");
  EXPECT_EQ(drasmupd(s), 1);
  EXPECT_EQ(rtmsgnum(s->msg, rtmsgcnt(s->msg)), 50801);
  EXPECT_TRUE(druefatal(s));
  drueclr(s);
  c.one("CREATE PROCEDURE draserm.upd(name text, status text, person_mask text, idle_time integer) "
        "LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION 'upd refused'; END $$");
  EXPECT_EQ(drasmupd(s), 1);
  EXPECT_EQ(rtmsgnum(s->msg, 1), 50850);
  EXPECT_EQ(rtmsgnum(s->msg, 2), 50804);
  EXPECT_FALSE(druefatal(s));
  drueclr(s);
}

TEST_F(Session, SendsDataInChunksAndErrorsAsText) {
  Conn c(db.name);
  take(c, 201);
  std::string data(2500, 'd');
  data[1024] = 'x';
  ASSERT_EQ(drmrpdat(s, &cmd, data.data(), static_cast<uint32_t>(data.size())), 0);
  EXPECT_EQ(replies(c, cmd.id, "code || ':' || octet_length(args[1])"),
            (std::vector<std::string>{"105:1024", "105:1024", "105:452"}));
  EXPECT_EQ(replies(c, cmd.id, "substr(args[1], 1, 1)")[1], "x");

  // An error reply carries every entry, the database's own text first.
  static drmcmd reply;
  drmrpini(s, &cmd, &reply);
  dracnerr(s, DRFAC_DRG, 50850, 2, DRA_STR, "XX000: boom", 0);
  dracnierr(s, DRFAC_DRG, 50801, 2, DRA_STR, "here", DRA_INT, 1, 0);
  ASSERT_EQ(drmrperr(s, &reply), 0);
  auto last = c.one("SELECT args[1] FROM dispatcher.reply_message WHERE message_id = $1 AND code = 102",
                    {std::to_string(cmd.id)});
  ASSERT_TRUE(last);
  EXPECT_EQ(last->rfind("XX000: boom\nDRG-50801: ", 0), 0u) << *last;
  EXPECT_EQ(last->back(), '\n');
  drueclr(s);
}

TEST_F(Session, BoundsALongStackAndAnswersSuccess) {
  Conn c(db.name);
  take(c, 201);
  std::string longtext(250, 'e');
  for (int i = 0; i < 20; ++i) dracnerr(s, DRFAC_DRG, 50850, 2, DRA_STR, ("X: " + longtext).c_str(), 0);
  static drmcmd reply;
  drmrpini(s, &cmd, &reply);
  ASSERT_EQ(drmrperr(s, &reply), 0);
  drueclr(s);
  auto len = c.one("SELECT octet_length(args[1]) FROM dispatcher.reply_message WHERE message_id = $1",
                   {std::to_string(cmd.id)});
  ASSERT_TRUE(len);
  EXPECT_LE(atoi(len->c_str()), DRM_SLOTMAX);
  EXPECT_GT(atoi(len->c_str()), 1500);

  take(c, 201);
  drmrpini(s, &cmd, &reply);
  drmsettxt(s, &reply, 2, "42");
  ASSERT_EQ(drmrpok(s, &reply), 0);
  EXPECT_EQ(replies(c, cmd.id, "code || ':' || coalesce(args[3], '-') || ':' || coalesce(args[1], '-') "
                               "|| ':' || return_address"),
            (std::vector<std::string>{"101:42:-:SUBMIT_" + std::to_string(cmd.id)}));
}

// Every command gets exactly one answer, whatever its handler returned; only
// the shutdown command ends the loop; a reply that cannot be sent is fatal.
TEST_F(Session, AnswersEveryResultOnce) {
  Conn c(db.name);
  static drmcmd reply;
  struct {
    int code, rc;
    int result;
    const char *answer;  // the reply codes sent, in order
  } cases[] = {
      {201, 0, 0, "101"},  {201, 1, 0, "102"},  {200, 4, 0, "102"},  {201, 7, 0, "102"},
      {201, 5, 0, "102"},  {21, 5, 5, "101"},   {20, 0, 0, ""},
      // The error reply of a refresh is sent, but nobody waits for it (its
      // submitter stopped waiting when a server took it): it is dropped.
      {20, 1, 0, ""},
  };
  for (auto &k : cases) {
    take(c, k.code);
    drmrpini(s, &cmd, &reply);
    EXPECT_EQ(drtlans(s, &cmd, &reply, k.rc), k.result) << k.code << "/" << k.rc;
    auto codes = replies(c, cmd.id, "code");
    std::string got;
    for (auto &x : codes) got += x;
    EXPECT_EQ(got, k.answer) << k.code << "/" << k.rc;
    EXPECT_EQ(rtmsgcnt(s->msg), 0);
  }
  // An unexpected result is named in the error reply; an interrupted
  // command says that it was interrupted.
  auto text = c.one("SELECT args[1] FROM dispatcher.reply_message WHERE args[1] LIKE '%50704%'");
  EXPECT_TRUE(text);
  auto intr = c.col("SELECT r.args[1] FROM dispatcher.reply_message r JOIN dispatcher.message m "
                    "ON m.id = r.message_id WHERE m.command = 200");
  ASSERT_EQ(intr.size(), 1u);
  EXPECT_NE(intr[0].find("DRG-50707: message "), std::string::npos) << intr[0];
  EXPECT_NE(intr[0].find(" was interrupted"), std::string::npos) << intr[0];

  // A reply whose content the database refuses (bytes that are no text of
  // the session's character set) becomes an error reply, and the server
  // goes on.
  take(c, 204);
  drmrpini(s, &cmd, &reply);
  drmsetraw(s, &reply, 0, 3, "a\xff\xfe");
  EXPECT_EQ(drtlans(s, &cmd, &reply, 0), 0);
  EXPECT_FALSE(druefatal(s));
  EXPECT_EQ(rtmsgcnt(s->msg), 0);
  auto refused = replies(c, cmd.id, "code || ':' || args[1]");
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(refused[0].rfind("102:22021: ", 0), 0u) << refused[0];

  // A success reply that cannot be sent leaves a fatal stack and ends the loop.
  take(c, 201);
  c.one("ALTER PROCEDURE dispatcher.reply(text, integer, integer, text, text, text, text, text, "
        "text, text, text, text, text) RENAME TO reply_gone");
  drmrpini(s, &cmd, &reply);
  EXPECT_EQ(drtlans(s, &cmd, &reply, 0), 1);
  EXPECT_TRUE(druefatal(s));
  EXPECT_TRUE(druefind(s, 50300));
  drueclr(s);
}

// Each command ends the transaction it opened on the work connection: its
// work is committed before its success is told and undone before its
// failure is, so that nothing stays open (and locked) between commands.
TEST_F(Session, EndsTheWorkOfEachCommand) {
  Conn c(db.name);
  c.one("CREATE TABLE work_log (n integer)");
  static drmcmd reply;
  struct {
    int rc;
    const char *rows;
  } cases[] = {{0, "1"}, {1, "1"}, {4, "1"}, {0, "2"}};
  int n = 0;
  for (auto &k : cases) {
    take(c, 201);
    std::string ins = "INSERT INTO work_log VALUES (" + std::to_string(++n) + ")";
    ASSERT_EQ(drqsexe(s, ins.c_str()), 0);
    EXPECT_EQ(c.one("SELECT state FROM pg_stat_activity WHERE application_name = 'kestrin' AND "
                    "datname = current_database()"),
              "idle in transaction");
    drmrpini(s, &cmd, &reply);
    drtlans(s, &cmd, &reply, k.rc);
    drueclr(s);
    EXPECT_EQ(c.one("SELECT count(*) FROM work_log"), k.rows) << k.rc;
    EXPECT_EQ(c.one("SELECT state FROM pg_stat_activity WHERE application_name = 'kestrin' AND "
                    "datname = current_database()"),
              "idle")
        << k.rc;
  }
}

TEST_F(Session, RunsRequestProceduresAndQueuesRequests) {
  Conn c(db.name);
  c.one("CREATE TABLE done_log (svcno integer, a1 text, a2 text)");
  c.one("CREATE PROCEDURE done_proc(svcno integer, arg1 text, arg2 text) LANGUAGE sql AS "
        "$$ INSERT INTO done_log VALUES (svcno, arg1, arg2) $$");
  c.one("CREATE PROCEDURE err_proc(svcno integer, arg1 text) LANGUAGE sql AS "
        "$$ INSERT INTO done_log VALUES (svcno, 'E', arg1) $$");
  const char *me = getenv("PGUSER") ? getenv("PGUSER") : "kestrin";
  EXPECT_EQ(drqsprc(s, DRQ_DONE, "done_proc", me, 7, "SUCCESS", ""), 0);
  EXPECT_EQ(drqsprc(s, DRQ_ERROR, "public.err_proc", me, 8, "oops", nullptr), 0);
  EXPECT_EQ(drqsprc(s, DRQ_DONE, "", me, 9, "SUCCESS", ""), 0);
  EXPECT_EQ(c.col("SELECT svcno || ':' || a1 || ':' || coalesce(a2, '<null>') FROM done_log ORDER BY svcno"),
            (std::vector<std::string>{"7:SUCCESS:<null>", "8:E:oops"}));
  EXPECT_EQ(rtmsgcnt(s->msg), 0);

  c.one("CREATE PROCEDURE fail_proc(svcno integer, arg1 text, arg2 text) LANGUAGE plpgsql AS "
        "$$ BEGIN RAISE EXCEPTION 'no luck'; END $$");
  struct {
    const char *name;
    std::vector<int> stack;
  } bad[] = {{"done_proc; drop table done_log", {11415}},
             {"x(1)", {11415}},
             {"fail_proc", {50850, 11415}},
             {"no_such_proc", {50850, 11415}}};
  for (auto &b : bad) {
    drueclr(s);
    EXPECT_EQ(drqsprc(s, DRQ_DONE, b.name, me, 1, "SUCCESS", ""), 1) << b.name;
    std::vector<int> got;
    for (int i = 1; i <= rtmsgcnt(s->msg); ++i) got.push_back(rtmsgnum(s->msg, i));
    EXPECT_EQ(got, b.stack) << b.name;
  }
  drueclr(s);
  EXPECT_EQ(c.one("SELECT count(*) FROM done_log"), "2");

  const char *par[DRQ_NPAR] = {"p1", "p2", nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr};
  ASSERT_EQ(drqsque(s, "INDEX_SVC", 0, "E", "could not read", par), 0);
  EXPECT_EQ(c.one("SELECT svctype || ':' || status || ':' || array_to_string(par, ',', '-') || ':' || "
                  "errors FROM svcq.request"),
            "INDEX_SVC:E:p1,p2,-,-,-,-,-,-,-,-:could not read");
  EXPECT_EQ(drqssbd(s), 0);
  EXPECT_EQ(drqbdn(s), 0);
  EXPECT_EQ(drasmupd(s), 0);
}

}  // namespace
