// The server process against the private cluster: start-up and shutdown,
// the commands of the listener, interrupts, personality routing, the marker
// file, option failures and a database that goes away.
#include <sys/stat.h>

#include <regex>

#include "tests/fixtures/server/pgtest.h"

namespace {

using pgtest::Conn;
using pgtest::Database;
using pgtest::Reply;
using pgtest::Server;

bool has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// add, reverse, an unknown code, numbers that are not numbers, arguments of
// 2000 bytes, and a shutdown that leaves nothing behind.
TEST(Veksrv, ServesTestCommandsAndShutsDown) {
  Database db;
  PGTEST_NEED_DB(db);
  Server srv;
  srv.start({"-user", db.user(), "-logfile", srv.logpath, "-personality", "DQM"}, db.name);
  Conn c(db.name);
  ASSERT_TRUE(pgtest::registered(c, 1)) << srv.out();

  // The marker names the process and its personality while it runs.
  EXPECT_EQ(pgtest::slurp(srv.marker()),
            "-pid " + std::to_string(srv.pid) + " veksrv73 -personality dqm");

  Reply add = pgtest::submit(c, 201, {"2", "40"});
  EXPECT_EQ(add.code, 101);
  EXPECT_EQ(add.arg(3), "42");
  std::string id = std::to_string(add.id);
  std::string log = srv.log();
  EXPECT_TRUE(has(log, "Cmd " + id + ": add, user=")) << log;
  EXPECT_TRUE(has(log, "add 2 + 40 = 42\n"));
  EXPECT_TRUE(has(log, "End cmd " + id + "\n"));

  struct {
    std::vector<std::optional<std::string>> in;
    std::string sum;
  } sums[] = {{{"x", "40"}, "40"},
              {{"2147483647", "1"}, "2147483648"},
              {{"-2147483648", "-1"}, "-2147483649"},
              {{"99999999999", "0"}, "2147483647"},
              {{std::nullopt, std::nullopt}, "0"}};
  for (auto &s : sums) {
    Reply r = pgtest::submit(c, 201, s.in);
    EXPECT_EQ(r.code, 101);
    EXPECT_EQ(r.arg(3), s.sum);
  }

  std::string big(2000, 'z');
  Reply rev = pgtest::submit(c, 204, {"a", std::nullopt, "ccc", std::nullopt, std::nullopt,
                                      std::nullopt, std::nullopt, std::nullopt, std::nullopt, big});
  EXPECT_EQ(rev.code, 101);
  EXPECT_EQ(rev.arg(1), big);
  EXPECT_EQ(rev.arg(8), "ccc");
  EXPECT_EQ(rev.arg(9), "<null>");
  EXPECT_EQ(rev.arg(10), "a");

  // An argument longer than a slot is refused, and the server goes on.
  Reply toolong = pgtest::submit(c, 204, {"a", std::string(2500, 'y')});
  EXPECT_EQ(toolong.code, 102);
  EXPECT_TRUE(has(toolong.arg(1), "DRG-50705: message " + std::to_string(toolong.id) + ": argument 2 "))
      << toolong.arg(1);

  Reply unk = pgtest::submit(c, 45);
  EXPECT_EQ(unk.code, 102);
  EXPECT_TRUE(has(unk.arg(1), "DRG-50700:")) << unk.arg(1);
  EXPECT_TRUE(has(srv.log(), "Cmd " + std::to_string(unk.id) + ": unknown, user="));

  // Commands whose handlers come later answer that they are not there yet.
  Reply later = pgtest::submit(c, 38, {"1", "dog"});
  EXPECT_EQ(later.code, 102);
  EXPECT_TRUE(has(later.arg(1), "DRG-50701: count_hits is not available")) << later.arg(1);
  EXPECT_TRUE(has(srv.log(), "Cmd " + std::to_string(later.id) + ": count_hits, user="));
  // The no-op commands answer success.
  for (int code : {17, 18, 19, 23, 24, 30, 31, 35, 40}) EXPECT_EQ(pgtest::submit(c, code).code, 101) << code;
  EXPECT_TRUE(has(srv.log(), "Random Admin Command\n"));

  Reply shut = pgtest::submit(c, 21);
  EXPECT_EQ(shut.code, 101);
  EXPECT_EQ(srv.wait(), 0) << srv.out();
  log = srv.log();
  EXPECT_TRUE(has(log, "Shutting down server...\n"));
  EXPECT_TRUE(has(log, "=== Server shutting down ===\n"));
  EXPECT_FALSE(has(log, "=== Server failure ==="));
  EXPECT_EQ(c.one("SELECT count(*) FROM draserm.server"), "0");
  struct stat st;
  EXPECT_NE(stat(srv.marker().c_str(), &st), 0) << "marker left behind";
}

// Sleep, an interrupted sleep, an interrupt for another message, refresh.
TEST(Veksrv, SleepsAndIsInterrupted) {
  Database db;
  PGTEST_NEED_DB(db);
  Server srv;
  srv.start({"-u", db.user(), "-l", srv.logpath}, db.name);
  Conn c(db.name);
  ASSERT_TRUE(pgtest::registered(c, 1)) << srv.out();

  auto t0 = std::chrono::steady_clock::now();
  Reply sl = pgtest::submit(c, 200, {"3"});
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_EQ(sl.code, 101);
  EXPECT_GE(secs, 2.9);
  EXPECT_TRUE(has(srv.log(), "drtlslp(3) begin\n"));

  Reply neg = pgtest::submit(c, 200, {"-1"});
  EXPECT_EQ(neg.code, 102);
  EXPECT_TRUE(has(neg.arg(1), "DRG-50702")) << neg.arg(1);

  int id = pgtest::post(c, 200, {"60"});
  ASSERT_TRUE(pgtest::inservice(c, id));
  c.one("CALL dispatcher.interrupt($1::integer)", {std::to_string(id)});
  auto r = c.run("CALL dispatcher.wait_reply($1::integer, 20)", {std::to_string(id)});
  ASSERT_EQ(PQntuples(r), 1);
  EXPECT_STREQ(PQgetvalue(r, 0, 0), "102");
  PQclear(r);
  std::string log = srv.log();
  EXPECT_TRUE(has(log, "drtlslp: interrupted\n"));
  EXPECT_TRUE(has(log, "OOB current mesg id = " + std::to_string(id) + "\n")) << log;

  // A refresh is not answered but ends its command in the log.
  int ref = pgtest::post(c, 20, {"42"});
  EXPECT_TRUE(srv.waitlog("End cmd " + std::to_string(ref) + "\n"));
  EXPECT_TRUE(has(srv.log(), "Cmd " + std::to_string(ref) + ": refresh, user="));
  EXPECT_EQ(c.one("SELECT count(*) FROM dispatcher.reply_message WHERE message_id = $1",
                  {std::to_string(ref)}),
            "0");

  EXPECT_EQ(pgtest::submit(c, 21).code, 101);
  EXPECT_EQ(srv.wait(), 0);
}

TEST(Veksrv, HandsOutAndTakesBackResultTables) {
  Database db;
  PGTEST_NEED_DB(db);
  Server srv;
  srv.start({"-user", db.user(), "-logfile", srv.logpath}, db.name);
  Conn c(db.name);
  ASSERT_TRUE(pgtest::registered(c, 1)) << srv.out();
  Reply get = pgtest::submit(c, 46, {"7", "RESULT", "2"});
  EXPECT_EQ(get.code, 101);
  std::string tab = get.arg(4);
  EXPECT_FALSE(tab.empty());
  EXPECT_EQ(c.one("SELECT count(*) FROM information_schema.columns WHERE table_name = lower($1) "
                  "AND column_name LIKE 'textkey%'",
                  {tab}),
            "2");
  EXPECT_EQ(pgtest::submit(c, 47, {tab}).code, 101);
  Reply rel = pgtest::submit(c, 47, {"no_such_table"});
  EXPECT_EQ(rel.code, 102);
  EXPECT_TRUE(has(rel.arg(1), "DRG-52006")) << rel.arg(1);
  Reply bad = pgtest::submit(c, 46, {"7", "RESULT", "0"});
  EXPECT_EQ(bad.code, 102);
  EXPECT_TRUE(has(bad.arg(1), "DRG-52005")) << bad.arg(1);
  EXPECT_EQ(pgtest::submit(c, 21).code, 101);
  EXPECT_EQ(srv.wait(), 0);
}

// Each server takes only the commands its personality takes.
TEST(Veksrv, RoutesByPersonality) {
  Database db;
  PGTEST_NEED_DB(db);
  Server dsrv, qsrv;
  dsrv.start({"-user", db.user(), "-logfile", dsrv.logpath, "-personality", "D"}, db.name);
  qsrv.start({"-user", db.user(), "-logfile", qsrv.logpath, "-personality", "Q"}, db.name);
  Conn c(db.name);
  ASSERT_TRUE(pgtest::registered(c, 2)) << dsrv.out() << qsrv.out();
  for (int i = 0; i < 3; ++i) {
    Reply q = pgtest::submit(c, 46, {"1", "RESULT", "1"});
    EXPECT_EQ(q.code, 101);
    Reply d = pgtest::submit(c, 10, {"1", "1", "1", "C"});
    EXPECT_EQ(d.code, 102);
  }
  std::string dl = dsrv.log(), ql = qsrv.log();
  EXPECT_TRUE(has(dl, ": begin_index, user=")) << dl;
  EXPECT_FALSE(has(dl, ": gettab, user="));
  EXPECT_TRUE(has(ql, ": gettab, user=")) << ql;
  EXPECT_FALSE(has(ql, ": begin_index, user="));
  // A mask change makes the D server take Q commands as well.
  auto dbox = c.one("SELECT mbox FROM draserm.server WHERE person_mask = 'D'");
  auto qbox = c.one("SELECT mbox FROM draserm.server WHERE person_mask = 'Q'");
  ASSERT_TRUE(dbox && qbox);
  c.one("CALL dispatcher.post(22, 'DQ', target_mbox => $1)", {*dbox});
  ASSERT_TRUE(dsrv.waitlog(": change_mask, user="));
  // Stop the Q server; the D server now serves gettab.
  c.one("CALL dispatcher.post(21, target_mbox => $1)", {*qbox});
  EXPECT_EQ(qsrv.wait(), 0);
  EXPECT_EQ(pgtest::submit(c, 46, {"1", "RESULT", "1"}).code, 101);
  EXPECT_TRUE(has(dsrv.log(), ": gettab, user="));
  EXPECT_EQ(pgtest::submit(c, 21).code, 101);
  EXPECT_EQ(dsrv.wait(), 0);
}

// The linguistic service starts once for a mask with L, also for two Ls;
// the SQL trace shows the statements.
TEST(Veksrv, StartsLinguisticsOnce) {
  Database db;
  PGTEST_NEED_DB(db);
  Server srv;
  srv.start({"-user", db.user(), "-logfile", srv.logpath, "-personality", "LDL", "-sqltrace"},
            db.name);
  Conn c(db.name);
  ASSERT_TRUE(pgtest::registered(c, 1)) << srv.out();
  EXPECT_EQ(pgtest::submit(c, 21).code, 101);
  EXPECT_EQ(srv.wait(), 0);
  std::string log = srv.log();
  size_t first = log.find("=== Initialized Linguistics ===\n");
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_EQ(log.find("=== Initialized Linguistics ===\n", first + 1), std::string::npos);
  EXPECT_LT(log.find("=== Server startup completed. ===\n"), first);
  // -sqltrace writes the statements the server runs into its log.
  EXPECT_TRUE(has(log, "draserm.add")) << log;
}

// Batches of changed rows, linguistic requests and text-loading batches:
// each is run or fails on its own, and the server goes on.
TEST(Veksrv, ServesBatchesAndRequests) {
  Database db;
  PGTEST_NEED_DB(db);
  Conn c(db.name);
  c.one("CREATE TABLE ling_log (svcno integer, a1 text, a2 text)");
  c.one("CREATE PROCEDURE ling_done(svcno integer, arg1 text, arg2 text) LANGUAGE sql AS "
        "$$ INSERT INTO ling_log VALUES (svcno, arg1, arg2) $$");
  Server srv;
  srv.start({"-user", db.user(), "-logfile", srv.logpath, "-personality", "MLR"}, db.name);
  ASSERT_TRUE(pgtest::registered(c, 1)) << srv.out();

  // A queue error arrives as a failed batch: its text is logged.
  c.one("CALL dmlq.queue_failure('queue went wrong')");
  EXPECT_TRUE(srv.waitlog("queue went wrong\n"));
  // A batch of changed rows: logged, and failing until indexing is there.
  c.one("CALL dmlq.queue_change(42, 'k1')");
  EXPECT_TRUE(srv.waitlog("DML batch: cid=42, number of rows=1\n"));

  // A linguistic request runs its completion procedure and is closed.
  auto svcno = c.one("CALL svcq.queue('LING', 0, NULL, true, ' ', 'a2', 'a3', 'a4', 'ling_done')");
  ASSERT_TRUE(svcno);
  EXPECT_TRUE(srv.waitlog("End LING cmd, return code is 0\n"));
  for (int i = 0; i < 100 && c.one("SELECT count(*) FROM ling_log") == "0"; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(c.col("SELECT svcno || ':' || a1 || ':' || coalesce(a2, '<null>') FROM ling_log"),
            (std::vector<std::string>{*svcno + ":SUCCESS:<null>"}));
  EXPECT_TRUE(has(srv.log(), "LING cmd: user="));

  // A request naming a policy by its column gets the policy's id; one naming
  // no policy fails: recorded, then both procedures hear of it.
  c.one("CREATE PROCEDURE ling_err(svcno integer, arg1 text) LANGUAGE sql AS "
        "$$ INSERT INTO ling_log VALUES (svcno, 'E', arg1) $$");
  auto pol = c.one("INSERT INTO dr$policy (pol_name, pol_tablename, pol_text_expr) "
                   "VALUES ('DOCS_POL', 'DOCS', 'BODY') RETURNING pol_id");
  ASSERT_TRUE(pol);
  auto good = c.one("CALL svcq.queue('LING', 0, NULL, true, 'kestrin.docs.body', 'x', 'y', 'z', 'ling_done')");
  ASSERT_TRUE(good);
  EXPECT_TRUE(srv.waitlog(", svcno=" + *good + ", cid=" + *pol + "\n")) << srv.log();
  auto bad = c.one("CALL svcq.queue('LING', 0, NULL, true, 'no.such.column', 'x', 'y', 'z', "
                   "'ling_done', 'ling_err')");
  ASSERT_TRUE(bad);
  for (int i = 0; i < 250 && c.one("SELECT count(*) FROM ling_log WHERE svcno = $1::integer", {*bad}) != "2"; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  auto failed = c.col("SELECT a1 || ':' || (a2 LIKE '%DRG-10502%') FROM ling_log WHERE svcno = " + *bad +
                      " ORDER BY a1");
  EXPECT_EQ(failed, (std::vector<std::string>{"E:true", "ERROR:true"}));
  EXPECT_EQ(c.one("SELECT status FROM svcq.request WHERE svcno = $1::integer", {*bad}), "E");

  // A text-loading batch is requeued when it fails.
  auto src = c.one("INSERT INTO dr$source (src_name) VALUES ('docs') RETURNING src_id");
  ASSERT_TRUE(src);
  c.one("CALL srcq.queue_batch($1::integer)", {*src});
  bool back = false;
  for (int i = 0; i < 250 && !back; ++i) {
    back = c.one("SELECT tries > 0 AND state IN ('Q', 'X') FROM srcq.batch") == "t";
    if (!back) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(back) << srv.log();

  EXPECT_EQ(pgtest::submit(c, 201, {"1", "1"}).code, 101);
  EXPECT_EQ(pgtest::submit(c, 21).code, 101);
  EXPECT_EQ(srv.wait(), 0);
}

// Polls that go wrong: an unknown message type is reported and passed
// over; an error stack coming back with a command ends the server.
TEST(Veksrv, HandlesPollsThatGoWrong) {
  Database db;
  PGTEST_NEED_DB(db);
  Conn c(db.name);
  c.one("CREATE TABLE poll_fault (kind text)");
  c.one(R"(CREATE OR REPLACE PROCEDURE listener.get_cmd_blk(sid integer, mbox text, pmask text,
    INOUT cmd_type integer, INOUT disp_id integer,
    INOUT disp_return_address text, INOUT disp_user text, INOUT disp_command integer,
    INOUT disp_arg1 text, INOUT disp_arg2 text, INOUT disp_arg3 text, INOUT disp_arg4 text,
    INOUT disp_arg5 text, INOUT disp_arg6 text, INOUT disp_arg7 text, INOUT disp_arg8 text,
    INOUT disp_arg9 text, INOUT disp_arg10 text,
    INOUT dml_numpkeys integer, INOUT dml_cid integer, INOUT error_stack text)
    LANGUAGE plpgsql AS $$
    DECLARE k text;
    BEGIN
      DELETE FROM poll_fault RETURNING kind INTO k;
      IF k = 'type' THEN cmd_type := 9; disp_id := 0; RETURN; END IF;
      IF k = 'stack' THEN cmd_type := 2; disp_id := 0; error_stack := 'XX000: injected'; RETURN; END IF;
      CALL listener.get_cmd(sid, mbox, pmask, cmd_type, disp_id, disp_return_address, disp_user,
                            disp_command, disp_arg1, disp_arg2, disp_arg3, disp_arg4, disp_arg5,
                            disp_arg6, disp_arg7, disp_arg8, disp_arg9, disp_arg10,
                            dml_numpkeys, dml_cid);
      error_stack := NULL;
    END $$)");
  Server srv;
  srv.start({"-user", db.user(), "-logfile", srv.logpath}, db.name);
  ASSERT_TRUE(pgtest::registered(c, 1)) << srv.out();
  c.one("INSERT INTO poll_fault VALUES ('type')");
  for (int i = 0; i < 250 && !has(srv.out(), "Unknown command type: 9\n"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(has(srv.out(), "Unknown command type: 9\n")) << srv.out();
  EXPECT_EQ(pgtest::submit(c, 201, {"1", "2"}).arg(3), "3");

  c.one("INSERT INTO poll_fault VALUES ('stack')");
  EXPECT_EQ(srv.wait(), 3);
  std::string log = srv.log();
  EXPECT_TRUE(has(log, "XX000: injected\n")) << log;
  EXPECT_TRUE(has(log, "DRG-50301")) << log;
  EXPECT_TRUE(has(log, "=== Server failure ===\n"));
}

// Start-up failures: each exits 3 with its reason where the log goes.
TEST(Veksrv, RefusesBadStarts) {
  Database db;
  PGTEST_NEED_DB(db);
  struct {
    std::vector<std::string> args;
    std::optional<std::string> input;
    std::string expect;  // in standard output
    bool usage;
  } cases[] = {
      {{"-user", db.user(), "-bogus"}, std::nullopt, "DRG-10100: unknown option -bogus", true},
      {{"-user", db.user(), "-p", "DQX"}, std::nullopt, "DRG-10200", false},
      {{"-logfile", "/tmp/x.log"}, std::nullopt, "DRG-10102", false},
      {{}, std::string("\n"), "DRG-10102", false},
      {{"-user", db.user(), "-logfile"}, std::nullopt, "DRG-10101", false},
      {{"-user", db.user(), "-logfile", "/nonexistent-dir/x/y.log"}, std::nullopt, "DRG-111", false},
      {{"-user", "nosuchuser@" + db.name}, std::nullopt, "DRG-11100", false},
      {{"-user", std::string(200, 'u')}, std::nullopt, "DRG-10103", false},
  };
  for (auto &cs : cases) {
    Server srv;
    srv.start(cs.args, db.name, cs.input);
    EXPECT_EQ(srv.wait(), 3) << srv.out();
    std::string out = srv.out();
    EXPECT_TRUE(has(out, cs.expect)) << out;
    EXPECT_TRUE(has(out, "=== Server failure ===\n")) << out;
    EXPECT_TRUE(has(out, "=== Server shutting down ===\n")) << out;
    EXPECT_EQ(has(out, "Usage: veksrv \n"), cs.usage) << out;
    struct stat st;
    EXPECT_NE(stat(srv.marker().c_str(), &st), 0);
  }
  Conn c(db.name);
  EXPECT_EQ(c.one("SELECT count(*) FROM draserm.server"), "0");
}

// A registration that fails after the log-on: the server logs off and exits 3.
TEST(Veksrv, FailedRegistrationLogsOff) {
  Database db;
  PGTEST_NEED_DB(db);
  Conn c(db.name);
  c.one("CREATE OR REPLACE PROCEDURE draserm.add(person_mask text, INOUT name text, "
        "INOUT addr text, INOUT audsid integer) LANGUAGE plpgsql AS $$ BEGIN "
        "CALL dr_def.raise_error('registry closed'); END $$");
  Server srv;
  srv.start({"-user", db.user(), "-logfile", srv.logpath}, db.name);
  EXPECT_EQ(srv.wait(), 3);
  std::string log = srv.log();
  EXPECT_TRUE(has(log, "registry closed")) << log;
  EXPECT_TRUE(has(log, "DRG-50804")) << log;
  EXPECT_TRUE(has(log, "=== Server failure ===\n"));
  EXPECT_FALSE(has(log, "=== Server startup completed. ==="));
  EXPECT_FALSE(has(log, "DRG-50855"));  // the shutdown did not log off again
  // The log-off closed both connections.
  std::optional<std::string> left;
  for (int i = 0; i < 250; ++i) {
    left = c.one("SELECT count(*) FROM pg_stat_activity WHERE datname = $1 AND "
                 "application_name LIKE 'kestrin%'",
                 {db.name});
    if (left == "0") break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(left, "0");
}

// SIGTERM ends the server and takes the marker with it.
TEST(Veksrv, SigtermRemovesTheMarker) {
  Database db;
  PGTEST_NEED_DB(db);
  Server srv;
  srv.start({"-user", db.user(), "-logfile", srv.logpath}, db.name);
  Conn c(db.name);
  ASSERT_TRUE(pgtest::registered(c, 1)) << srv.out();
  struct stat st;
  ASSERT_EQ(stat(srv.marker().c_str(), &st), 0);
  kill(srv.pid, SIGTERM);
  EXPECT_NE(srv.wait(), 0);
  EXPECT_NE(stat(srv.marker().c_str(), &st), 0);
}

// A database that goes away while the server waits ends it with 3 and the
// reason in the log, without a hang.
TEST(Veksrv, EndsWhenTheDatabaseGoesAway) {
  Database db;
  PGTEST_NEED_DB(db);
  Server srv;
  srv.start({"-user", db.user(), "-logfile", srv.logpath}, db.name);
  Conn c(db.name);
  ASSERT_TRUE(pgtest::registered(c, 1)) << srv.out();
  c.one("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE datname = $1 AND "
        "application_name LIKE 'kestrin%'",
        {db.name});
  EXPECT_EQ(srv.wait(30), 3);
  std::string log = srv.log();
  EXPECT_TRUE(has(log, "DRG-50301")) << log;
  EXPECT_TRUE(has(log, "=== Server failure ===\n"));
  EXPECT_TRUE(has(log, "=== Server shutting down ===\n"));
}

}  // namespace
