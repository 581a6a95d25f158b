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
using pgtest::Role;

bool has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }
size_t count(const std::string &text, const std::string &part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// add, reverse, an unknown code, numbers that are not numbers, arguments of
// 2000 bytes and more, user text in the log, and a shutdown that leaves
// nothing behind.
TEST(Veksrv, ServesTestCommandsAndShutsDown) {
  Database db;
  PGTEST_NEED_DB(db);
  Server srv;
  srv.start({"-user", db.user(), "-logfile", srv.logpath, "-personality", "DQM"}, db.name);
  Conn c(db.name);
  ASSERT_TRUE(srv.ready()) << srv.out();

  // The marker names the process and its personality while it runs.
  EXPECT_EQ(pgtest::slurp(srv.marker()),
            "-pid " + std::to_string(srv.pid) + " veksrv73 -personality dqm");

  Reply add = pgtest::submit(c, 201, {"2", "40"});
  EXPECT_EQ(add.code, 101);
  EXPECT_EQ(add.arg(3), "42");
  std::string id = std::to_string(add.id);
  // The command's end is logged after its reply is sent.
  EXPECT_TRUE(srv.waitlog("End cmd " + id + "\n"));
  std::string log = srv.log();
  EXPECT_TRUE(has(log, "Cmd " + id + ": add, user=")) << log;
  EXPECT_TRUE(has(log, "add 2 + 40 = 42\n"));

  // Numbers: empty and null count as 0; anything that is not a whole
  // number within 32 bits is refused, naming the argument.
  struct {
    std::vector<std::optional<std::string>> in;
    std::string sum;  // or the refused argument's number
  } sums[] = {{{"2147483647", "1"}, "2147483648"},
              {{"-2147483648", "-1"}, "-2147483649"},
              {{" 7 ", ""}, "7"},
              {{std::nullopt, std::nullopt}, "0"},
              {{"12abc", "1"}, "argument 1"},
              {{"1", "1e3"}, "argument 2"},
              {{"x", "40"}, "argument 1"},
              {{"99999999999999999999", "0"}, "argument 1"}};
  for (auto &s : sums) {
    Reply r = pgtest::submit(c, 201, s.in);
    if (s.sum.rfind("argument", 0) == 0) {
      EXPECT_EQ(r.code, 102) << s.sum;
      EXPECT_TRUE(has(r.arg(1), "DRG-50706: message " + std::to_string(r.id) + ": " + s.sum +
                                    " is not a whole number"))
          << r.arg(1);
    } else {
      EXPECT_EQ(r.code, 101) << s.sum;
      EXPECT_EQ(r.arg(3), s.sum);
    }
  }

  std::string big(2000, 'z');
  Reply rev = pgtest::submit(c, 204, {"a", std::nullopt, "ccc", std::nullopt, std::nullopt,
                                      std::nullopt, std::nullopt, std::nullopt, std::nullopt, big});
  EXPECT_EQ(rev.code, 101);
  EXPECT_EQ(rev.arg(1), big);
  EXPECT_EQ(rev.arg(8), "ccc");
  EXPECT_EQ(rev.arg(9), "<null>");
  EXPECT_EQ(rev.arg(10), "a");

  // An argument longer than a slot is refused whatever its length, never
  // cut (inside a character, say) and served; the server goes on.
  std::string euro = "\xe2\x82\xac";
  struct {
    std::string arg;
  } toolong[] = {{std::string(2500, 'y')},
                 {std::string(40000, 'x')},
                 {[&] { std::string t; for (int i = 0; i < 11000; ++i) t += euro; return t; }()},
                 {[&] { std::string t; for (int i = 0; i < 667; ++i) t += euro; return t; }()}};
  for (auto &t : toolong) {
    Reply r = pgtest::submit(c, 204, {"a", t.arg});
    EXPECT_EQ(r.code, 102) << t.arg.size();
    EXPECT_TRUE(has(r.arg(1), "DRG-50705: message " + std::to_string(r.id) + ": argument 2 "))
        << r.arg(1);
  }
  EXPECT_EQ(pgtest::submit(c, 201, {"1", "1"}).arg(3), "2");

  for (int code : {45, -1}) {
    Reply unk = pgtest::submit(c, code);
    EXPECT_EQ(unk.code, 102);
    EXPECT_TRUE(has(unk.arg(1), "DRG-50700:")) << unk.arg(1);
    EXPECT_TRUE(has(unk.arg(1), "[" + std::to_string(code) + "]")) << unk.arg(1);
    EXPECT_TRUE(has(srv.log(), "Cmd " + std::to_string(unk.id) + ": unknown, user="));
  }

  // A command is logged under its name with the user who sent it.
  Reply named = pgtest::submit(c, 34, {"kestrin", "1", "1", "select 1", "0", "0"});
  EXPECT_EQ(named.code, 101) << named.arg(1);
  EXPECT_TRUE(has(srv.log(), "Cmd " + std::to_string(named.id) + ": rw_parse, user="));
  // The no-op commands answer success.
  for (int code : {17, 18, 19, 23, 24, 30, 31, 35, 40}) EXPECT_EQ(pgtest::submit(c, code).code, 101) << code;
  EXPECT_TRUE(has(srv.log(), "Random Admin Command\n"));

  // A user's text cannot write lines of its own into the log.
  Reply bank = pgtest::submit(c, 30, {"dog\nEnd cmd 424242", "b\x1b[2Jc"});
  EXPECT_EQ(bank.code, 101);
  log = srv.log();
  EXPECT_TRUE(has(log, "query=dog\\nEnd cmd 424242, bank=b\\x1b[2Jc,")) << log;
  EXPECT_FALSE(has(log, "\nEnd cmd 424242"));

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

// Sleep, an interrupted sleep, an interrupt for another message, refresh,
// and a submitter that gives up.
TEST(Veksrv, SleepsAndIsInterrupted) {
  Database db;
  PGTEST_NEED_DB(db);
  Server srv;
  srv.start({"-u", db.user(), "-l", srv.logpath}, db.name);
  Conn c(db.name);
  ASSERT_TRUE(srv.ready()) << srv.out();

  Reply sl = pgtest::submit(c, 200, {"3"});
  EXPECT_EQ(sl.code, 101);
  EXPECT_TRUE(has(srv.log(), "drtlslp(3) begin\n"));

  Reply neg = pgtest::submit(c, 200, {"-1"});
  EXPECT_EQ(neg.code, 102);
  EXPECT_TRUE(has(neg.arg(1), "DRG-50702")) << neg.arg(1);

  // An interrupted command answers an error that says so.
  int id = pgtest::post(c, 200, {"60"});
  ASSERT_TRUE(pgtest::inservice(c, id));
  c.one("CALL dispatcher.interrupt($1::integer)", {std::to_string(id)});
  auto r = c.run("CALL dispatcher.wait_reply($1::integer, 20)", {std::to_string(id)});
  ASSERT_EQ(PQntuples(r), 1);
  EXPECT_STREQ(PQgetvalue(r, 0, 0), "102");
  EXPECT_TRUE(has(PQgetvalue(r, 0, 1), "DRG-50707: message " + std::to_string(id) +
                                           " was interrupted"))
      << PQgetvalue(r, 0, 1);
  PQclear(r);
  std::string log = srv.log();
  EXPECT_TRUE(has(log, "drtlslp: interrupted\n"));
  EXPECT_TRUE(has(log, "OOB current mesg id = " + std::to_string(id) + "\n")) << log;

  // A refresh is not answered but ends its command in the log; its submitter
  // stops waiting as soon as the server took it, and it is not run again.
  Reply ref = pgtest::submit(c, 20, {"42"});
  EXPECT_EQ(ref.code, 0);
  EXPECT_EQ(ref.args.size(), 0u);
  EXPECT_TRUE(srv.waitlog("End cmd " + std::to_string(ref.id) + "\n"));
  EXPECT_TRUE(has(srv.log(), "Cmd " + std::to_string(ref.id) + ": refresh, user="));
  EXPECT_EQ(c.one("SELECT count(*) FROM dispatcher.message"), "0");

  // A submitter that gives up withdraws its command. In service, it is
  // interrupted (the wait begins once the server has taken it, so that the
  // short timeout cannot run out while it is still queued); ...
  int taken = pgtest::post(c, 200, {"60"});
  ASSERT_TRUE(pgtest::inservice(c, taken));
  std::string err = c.fails("CALL dispatcher.wait_reply($1::integer, 1)", {std::to_string(taken)});
  EXPECT_TRUE(has(err, "got no reply within")) << err;
  EXPECT_TRUE(has(err, "(state in service): withdrawn")) << err;
  EXPECT_TRUE(srv.waitlog("drtlslp: interrupted\n"));
  // ... still queued behind another command, it goes: a shutdown that
  // timed out stops nobody later.
  int busy = pgtest::post(c, 200, {"60"});
  ASSERT_TRUE(pgtest::inservice(c, busy));
  pgtest::submit(c, 21, {}, 1, &err);
  EXPECT_TRUE(has(err, "(state queued): withdrawn")) << err;
  c.one("CALL dispatcher.interrupt($1::integer)", {std::to_string(busy)});
  EXPECT_EQ(pgtest::submit(c, 201, {"1", "2"}).arg(3), "3");
  EXPECT_EQ(c.one("SELECT count(*) FROM dispatcher.message WHERE command = 21"), "0");

  EXPECT_EQ(pgtest::submit(c, 21).code, 101);
  EXPECT_EQ(srv.wait(), 0);
  EXPECT_EQ(count(srv.log(), "Cmd " + std::to_string(ref.id) + ": refresh, user="), 1u);
}

// A command whose statement runs long (here a user's copy from a view that
// sleeps 90 s) stops when its submitter gives up and when the server is
// told to stop: the server cancels the statement and goes on.
TEST(Veksrv, StopsTheStatementOfAWithdrawnCommand) {
  Database db;
  PGTEST_NEED_DB(db);
  Conn c(db.name);
  c.one("CREATE VIEW slowsrc AS SELECT 'k'::varchar(64) AS textkey, 1 AS score FROM pg_sleep(90)");
  // The copy asleep in the server's session (the poll's own short waits
  // sleep too).
  const std::string sleeping =
      "SELECT count(*) FROM pg_stat_activity WHERE wait_event = 'PgSleep'"
      " AND datname = current_database() AND query LIKE '%dr$callback%'";
  for (bool signal : {false, true}) {
    Server srv;
    srv.start({"-user", db.user(), "-logfile", srv.logpath}, db.name);
    ASSERT_TRUE(srv.ready()) << srv.out();
    Reply get = pgtest::submit(c, 46, {"7", "RESULT", "1"});
    ASSERT_EQ(get.code, 101) << get.arg(1);
    int id = pgtest::post(c, 44, {get.arg(4), "slowsrc", "1", "1", "5", "0", "1"});
    ASSERT_TRUE(pgtest::waitrow(c, sleeping, "1")) << srv.log();
    if (!signal) {
      std::string err = c.fails("CALL dispatcher.wait_reply($1::integer, 1)", {std::to_string(id)});
      EXPECT_TRUE(has(err, "(state in service): withdrawn")) << err;
      EXPECT_TRUE(srv.waitlog("DRG-50707: message " + std::to_string(id) + " was interrupted"))
          << srv.log();
      EXPECT_EQ(c.one(sleeping), "0");
      EXPECT_EQ(pgtest::submit(c, 201, {"2", "40"}).arg(3), "42");
      EXPECT_EQ(pgtest::submit(c, 21).code, 101);
    } else {
      kill(srv.pid, SIGTERM);
      auto r = c.run("CALL dispatcher.wait_reply($1::integer, 20)", {std::to_string(id)});
      ASSERT_EQ(PQntuples(r), 1);
      EXPECT_TRUE(has(PQgetvalue(r, 0, 1), "was interrupted")) << PQgetvalue(r, 0, 1);
      PQclear(r);
    }
    EXPECT_EQ(srv.wait(), 0) << srv.log();
    EXPECT_EQ(c.one(sleeping), "0");
  }
}

// A server killed in the middle of a command holds no message: its
// submitter learns at once that the server died, and no other server runs
// the command again.
TEST(Veksrv, SettlesTheMessagesOfAServerThatDied) {
  Database db;
  PGTEST_NEED_DB(db);
  Server doomed, other;
  doomed.start({"-user", db.user(), "-logfile", doomed.logpath, "-personality", "D"}, db.name);
  ASSERT_TRUE(doomed.ready()) << doomed.out();
  Conn c(db.name);
  auto box = c.one("SELECT mbox FROM draserm.server");
  ASSERT_TRUE(box);
  auto id = c.one("CALL dispatcher.post(200, '60', target_mbox => $1)", {*box});
  ASSERT_TRUE(id);
  ASSERT_TRUE(pgtest::inservice(c, atoi(id->c_str())));
  other.start({"-user", db.user(), "-logfile", other.logpath, "-personality", "D"}, db.name);
  ASSERT_TRUE(other.ready()) << other.out();
  kill(doomed.pid, SIGKILL);
  EXPECT_EQ(doomed.wait(), 128 + SIGKILL);
  auto r = c.run("CALL dispatcher.wait_reply($1::integer, 30)", {*id});
  ASSERT_EQ(PQntuples(r), 1);
  EXPECT_STREQ(PQgetvalue(r, 0, 0), "102");
  EXPECT_TRUE(has(PQgetvalue(r, 0, 1), "ended while serving message " + *id)) << PQgetvalue(r, 0, 1);
  PQclear(r);
  // An interrupt for it now has nothing to interrupt.
  EXPECT_TRUE(has(c.fails("CALL dispatcher.interrupt($1::integer)", {*id}),
                  "neither queued nor in service"));
  EXPECT_EQ(pgtest::submit(c, 21).code, 101);
  EXPECT_EQ(other.wait(), 0);
  EXPECT_FALSE(has(other.log(), ": sleep, user=")) << other.log();
  EXPECT_EQ(c.one("SELECT count(*) FROM draserm.server"), "0");
}

// Result tables: handed out with their rights to the user who asked, and
// taken back only for a user who may empty them.
TEST(Veksrv, HandsOutAndTakesBackResultTables) {
  Role alice("alice"), bob("bob");
  Database db;
  PGTEST_NEED_DB(db);
  Server srv;
  srv.start({"-user", db.user(), "-logfile", srv.logpath}, db.name);
  Conn c(db.name);
  ASSERT_TRUE(srv.ready()) << srv.out();
  Reply get = pgtest::submit(c, 46, {"7", "RESULT", "2"});
  EXPECT_EQ(get.code, 101);
  std::string tab = get.arg(4);
  EXPECT_FALSE(tab.empty());
  EXPECT_EQ(c.one("SELECT count(*) FROM information_schema.columns WHERE table_name = lower($1) "
                  "AND column_name LIKE 'textkey%'",
                  {tab}),
            "2");
  EXPECT_EQ(pgtest::submit(c, 47, {tab}).code, 101);
  struct {
    std::string table;
    const char *msg;
  } bad[] = {{"no_such_table", "DRG-52008: user "}, {"a; drop table x", "DRG-52009: "}};
  for (auto &b : bad) {
    Reply rel = pgtest::submit(c, 47, {b.table});
    EXPECT_EQ(rel.code, 102);
    EXPECT_TRUE(has(rel.arg(1), b.msg)) << rel.arg(1);
  }
  Reply zero = pgtest::submit(c, 46, {"7", "RESULT", "0"});
  EXPECT_EQ(zero.code, 102);
  EXPECT_TRUE(has(zero.arg(1), "DRG-52005")) << zero.arg(1);

  // A table asked for by one user is hers to fill and read; another user
  // can neither use it nor have the server release it.
  Conn ca(db.name, alice.name), cb(db.name, bob.name);
  Reply mine = pgtest::submit(ca, 46, {"7", "RESULT", "1"});
  ASSERT_EQ(mine.code, 101);
  std::string t = mine.arg(4);
  ca.one("INSERT INTO " + t + " (textkey, score) VALUES ('k', 1)");
  EXPECT_EQ(ca.one("SELECT count(*) FROM " + t), "1");
  EXPECT_TRUE(has(cb.fails("SELECT count(*) FROM " + t), "permission denied"));
  Reply theirs = pgtest::submit(cb, 47, {t});
  EXPECT_EQ(theirs.code, 102);
  EXPECT_TRUE(has(theirs.arg(1), "DRG-52008: user " + bob.name + " may not use table " + t))
      << theirs.arg(1);
  EXPECT_EQ(pgtest::submit(ca, 47, {t}).code, 101);

  EXPECT_EQ(pgtest::submit(c, 21).code, 101);
  EXPECT_EQ(srv.wait(), 0);
}

// Users are kept apart end to end: a second user sees, interrupts and stops
// nothing of another's, and may not stop the servers.
TEST(Veksrv, KeepsUsersApart) {
  Role alice("alice"), bob("bob"), boss("boss", "kestrin_admin");
  Database db;
  PGTEST_NEED_DB(db);
  Server srv;
  srv.start({"-user", db.user(), "-logfile", srv.logpath}, db.name);
  ASSERT_TRUE(srv.ready()) << srv.out();
  Conn ca(db.name, alice.name), cb(db.name, bob.name), cboss(db.name, boss.name);
  ASSERT_TRUE(ca.ok() && cb.ok() && cboss.ok());
  Reply add = pgtest::submit(ca, 201, {"2", "3"});
  EXPECT_EQ(add.arg(3), "5");
  EXPECT_TRUE(has(srv.log(), ": add, user=" + alice.name + "\n")) << srv.log();

  int id = pgtest::post(ca, 200, {"60"});
  ASSERT_TRUE(pgtest::inservice(ca, id));
  EXPECT_EQ(cb.col("SELECT id FROM dispatcher.messages"), std::vector<std::string>{});
  EXPECT_TRUE(has(cb.fails("CALL dispatcher.interrupt($1::integer)", {std::to_string(id)}),
                  "neither queued nor in service"));
  EXPECT_TRUE(has(cb.fails("CALL dispatcher.wait_reply($1::integer, 1)", {std::to_string(id)}),
                  "does not exist"));
  EXPECT_TRUE(has(cb.fails("SELECT * FROM dispatcher.message"), "permission denied"));
  std::string err;
  pgtest::submit(cb, 21, {}, 5, &err);
  EXPECT_TRUE(has(err, "may not send command 21 (shutdown)")) << err;
  ca.one("CALL dispatcher.interrupt($1::integer)", {std::to_string(id)});
  auto r = ca.run("CALL dispatcher.wait_reply($1::integer, 20)", {std::to_string(id)});
  ASSERT_EQ(PQntuples(r), 1);
  EXPECT_STREQ(PQgetvalue(r, 0, 0), "102");
  PQclear(r);

  EXPECT_EQ(pgtest::submit(cboss, 21).code, 101);
  EXPECT_EQ(srv.wait(), 0);
}

// Word of new work can be lost or come once for many commands; no command is
// stranded for it. A submitter that is cancelled while it waits leaves no
// lock and no message behind, whether its command was in service or queued.
TEST(Veksrv, NeverStrandsACommand) {
  Database db;
  PGTEST_NEED_DB(db);
  Server srv;
  srv.start({"-user", db.user(), "-logfile", srv.logpath}, db.name);
  Conn c(db.name), b(db.name), d(db.name);
  ASSERT_TRUE(srv.ready()) << srv.out();

  // Queued with no word to the servers: found by the look they make anyway.
  auto id = c.one(
      "INSERT INTO dispatcher.message (id, command, return_address, username, args) "
      "SELECT n, 201, 'SUBMIT_' || n, session_user, ARRAY['4', '5', NULL, NULL, NULL, NULL, NULL, "
      "NULL, NULL, NULL] FROM dispatcher.next_id() n RETURNING id");
  ASSERT_TRUE(id);
  EXPECT_EQ(pgtest::await(c, atoi(id->c_str())).arg(3), "9");

  // A thousand commands queued in one transaction make one word; all are
  // answered.
  c.one("DO $$ DECLARE n integer; BEGIN FOR i IN 1 .. 1000 LOOP "
        "CALL dispatcher.post(201, i::text, '1', message_id => n); END LOOP; END $$");
  auto ids = c.col("SELECT id FROM dispatcher.message ORDER BY id");
  ASSERT_EQ(ids.size(), 1000u);
  long sum = 0;
  for (auto &m : ids) sum += atol(pgtest::await(c, atoi(m.c_str())).arg(3).c_str());
  EXPECT_EQ(sum, 1000L * 1001 / 2 + 1000);

  // Cancelled: a submitter whose command is in service, and one whose
  // command is queued behind it.
  struct Caller {
    Conn *conn;
    int code;
    std::string arg;
    std::string pid, err;
    std::thread t;
  } callers[] = {{&b, 200, "60", "", "", {}}, {&d, 201, "1", "", "", {}}};
  for (auto &k : callers) {
    k.pid = k.conn->one("SELECT pg_backend_pid()").value_or("");
    k.t = std::thread([&k] { pgtest::submit(*k.conn, k.code, {k.arg, k.arg}, 60, &k.err); });
    // Waiting on a lock is the sign that the submitter reached its wait.
    ASSERT_TRUE(pgtest::waitrow(c, "SELECT count(*) > 0 FROM pg_stat_activity "
                                   "WHERE pid = $1::integer AND wait_event_type = 'Lock'",
                                "t", 20, {k.pid}));
  }
  EXPECT_EQ(c.one("SELECT string_agg(state, ',' ORDER BY id) FROM dispatcher.messages"),
            "in service,queued");
  for (auto &k : {1, 0}) {
    Caller &x = callers[k];
    c.one("SELECT pg_cancel_backend($1::integer)", {x.pid});
    x.t.join();
    EXPECT_TRUE(has(x.err, "canceling statement")) << x.err;
    EXPECT_EQ(c.one("SELECT count(*) FROM pg_locks WHERE pid = $1::integer AND locktype = 'advisory'",
                    {x.pid}),
              "0");
  }
  // The command in service was interrupted, and its late reply dropped.
  EXPECT_TRUE(srv.waitlog("drtlslp: interrupted\n"));
  EXPECT_TRUE(pgtest::waitrow(c, "SELECT count(*) FROM dispatcher.message", "0"));
  EXPECT_TRUE(pgtest::waitrow(c, "SELECT count(*) FROM dispatcher.reply_message", "0"));
  EXPECT_EQ(pgtest::submit(c, 201, {"1", "2"}).arg(3), "3");
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
  ASSERT_TRUE(dsrv.ready() && qsrv.ready()) << dsrv.out() << qsrv.out();
  auto pol = c.one("INSERT INTO dr$policy (pol_name) VALUES ('P') RETURNING pol_id");
  ASSERT_TRUE(pol);
  for (int i = 0; i < 3; ++i) {
    Reply q = pgtest::submit(c, 46, {"1", "RESULT", "1"});
    EXPECT_EQ(q.code, 101);
    Reply d = pgtest::submit(c, 10, {*pol, "1", "1", "C"});
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
  auto mc = c.run("CALL dispatcher.submit(22, 'DQ', target_mbox => $1)", {*dbox});
  ASSERT_EQ(PQntuples(mc), 1);
  EXPECT_STREQ(PQgetvalue(mc, 0, 1), "101");
  PQclear(mc);
  EXPECT_TRUE(has(dsrv.log(), ": change_mask, user="));
  // The registry shows the new mask as soon as the change is answered.
  EXPECT_EQ(c.one("SELECT person_mask FROM draserm.server WHERE mbox = $1", {*dbox}), "DQ");
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
  ASSERT_TRUE(srv.ready()) << srv.out();
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

using pgtest::waitrow;

// Batches of changed rows, linguistic requests and text-loading batches:
// each is run or fails on its own, and the server goes on.
TEST(Veksrv, ServesBatchesAndRequests) {
  Role alice("alice");
  Database db;
  PGTEST_NEED_DB(db);
  Conn c(db.name);
  c.one("CREATE TABLE ling_log (svcno integer, a1 text, a2 text, who text)");
  c.one("CREATE PROCEDURE ling_done(svcno integer, arg1 text, arg2 text) LANGUAGE sql AS "
        "$$ INSERT INTO ling_log VALUES (svcno, arg1, arg2, current_user) $$");
  c.one("CREATE PROCEDURE ling_err(svcno integer, arg1 text) LANGUAGE sql AS "
        "$$ INSERT INTO ling_log VALUES (svcno, 'E', arg1, current_user) $$");
  Server srv;
  srv.start({"-user", db.user(), "-logfile", srv.logpath, "-personality", "MLR"}, db.name);
  ASSERT_TRUE(srv.ready()) << srv.out();

  // A queue error arrives as a failed batch: its text is logged.
  c.one("CALL dmlq.queue_failure('queue went wrong')");
  EXPECT_TRUE(srv.waitlog("queue went wrong\n"));
  // A batch of changed rows: logged, and failing until indexing is there.
  c.one("CALL dmlq.queue_change(42, 'k1')");
  EXPECT_TRUE(srv.waitlog("DML batch: cid=42, number of rows=1\n"));

  // Until a linguistic service is configured, a request fails saying so;
  // its procedures hear of it and it is recorded as failed.
  auto svcno = c.one("CALL svcq.queue('LING', 0, NULL, true, ' ', 'a2', 'a3', 'a4', 'ling_done', "
                     "'ling_err')");
  ASSERT_TRUE(svcno);
  ASSERT_TRUE(waitrow(c, "SELECT count(*) FROM ling_log WHERE svcno = " + *svcno, "2"));
  EXPECT_EQ(c.col("SELECT a1 || ':' || (a2 LIKE '%DRG-50701: the linguistic service is not "
                  "available%') FROM ling_log WHERE svcno = " + *svcno + " ORDER BY a1"),
            (std::vector<std::string>{"E:true", "ERROR:true"}));
  EXPECT_TRUE(has(srv.log(), "End LING cmd, return code is 1\n"));
  EXPECT_EQ(c.one("SELECT status FROM svcq.request WHERE svcno = $1::integer", {*svcno}), "E");

  // A request naming a policy by its column gets the policy's id, read
  // through the dictionary cache; the lookups leave no transaction open and
  // no lock held on the dictionary. One naming no policy fails with 10502.
  auto pol = c.one("INSERT INTO dr$policy (pol_name, pol_tablename, pol_text_expr) "
                   "VALUES ('DOCS_POL', 'DOCS', 'BODY') RETURNING pol_id");
  ASSERT_TRUE(pol);
  auto good = c.one("CALL svcq.queue('LING', 0, NULL, true, 'kestrin.docs.body', 'x', 'y', 'z', "
                    "'ling_done')");
  ASSERT_TRUE(good);
  ASSERT_TRUE(waitrow(c, "SELECT count(*) FROM ling_log WHERE svcno = " + *good, "1"));
  EXPECT_TRUE(has(srv.log(), ", svcno=" + *good + ", cid=" + *pol + "\n")) << srv.log();
  EXPECT_EQ(c.one("SELECT count(*) FROM pg_stat_activity WHERE datname = current_database() AND "
                  "application_name LIKE 'kestrin%' AND state LIKE 'idle in transaction%'"),
            "0");
  c.one("SET lock_timeout = '30s'");
  c.one("ALTER TABLE dr$policy ADD COLUMN pol_note text");
  auto bad = c.one("CALL svcq.queue('LING', 0, NULL, true, 'no.such.column', 'x', 'y', 'z', "
                   "'ling_done', 'ling_err')");
  ASSERT_TRUE(bad);
  ASSERT_TRUE(waitrow(c, "SELECT count(*) FROM ling_log WHERE svcno = " + *bad, "2"));
  auto failed = c.col("SELECT a1 || ':' || (a2 LIKE '%DRG-10502%') FROM ling_log WHERE svcno = " + *bad +
                      " ORDER BY a1");
  EXPECT_EQ(failed, (std::vector<std::string>{"E:true", "ERROR:true"}));

  // A request's procedures run with the rights of the user who queued it:
  // one that would grant its user the registry cannot; one that only writes
  // its own table runs as her.
  c.one("GRANT CREATE ON SCHEMA public TO " + alice.name);
  c.one("GRANT INSERT ON ling_log TO " + alice.name);
  Conn ca(db.name, alice.name);
  ca.one("CREATE PROCEDURE public.grab(svcno integer, arg1 text, arg2 text) LANGUAGE plpgsql AS "
         "$$ BEGIN GRANT SELECT ON draserm.server TO " + alice.name + "; END $$");
  auto grab = ca.one("CALL svcq.queue('LING', 0, NULL, true, ' ', 'x', 'y', 'z', 'public.grab', "
                     "'ling_err')");
  ASSERT_TRUE(grab);
  ASSERT_TRUE(waitrow(c, "SELECT who FROM ling_log WHERE svcno = " + *grab, alice.name));
  EXPECT_TRUE(srv.waitlog("DRG-11415: completion procedure public.grab failed")) << srv.log();
  EXPECT_EQ(c.one("SELECT has_table_privilege($1, 'draserm.server', 'SELECT')", {alice.name}), "f");

  // A text-loading batch is requeued when it fails.
  auto src = c.one("INSERT INTO dr$source (src_name) VALUES ('docs') RETURNING src_id");
  ASSERT_TRUE(src);
  c.one("CALL srcq.queue_batch($1::integer)", {*src});
  EXPECT_TRUE(waitrow(c, "SELECT tries > 0 AND state IN ('Q', 'X') FROM srcq.batch", "t"))
      << srv.log();

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
  ASSERT_TRUE(srv.ready()) << srv.out();
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

// SIGTERM (and SIGINT) shut the server down as the shutdown command does:
// logged, out of the registry, the marker gone, exit code 0. A command in
// service then is answered as interrupted.
TEST(Veksrv, ShutsDownOnSigterm) {
  Database db;
  PGTEST_NEED_DB(db);
  Conn c(db.name);
  for (int sig : {SIGTERM, SIGINT}) {
    Server srv;
    srv.start({"-user", db.user(), "-logfile", srv.logpath}, db.name);
    ASSERT_TRUE(srv.ready()) << srv.out();
    struct stat st;
    ASSERT_EQ(stat(srv.marker().c_str(), &st), 0);
    int id = pgtest::post(c, 200, {"60"});
    ASSERT_TRUE(pgtest::inservice(c, id));
    kill(srv.pid, sig);
    EXPECT_EQ(srv.wait(), 0) << srv.out();
    std::string log = srv.log();
    EXPECT_TRUE(has(log, "Signal " + std::to_string(sig) + ": shutting down server...\n")) << log;
    EXPECT_TRUE(has(log, "=== Server shutting down ===\n"));
    EXPECT_FALSE(has(log, "=== Server failure ==="));
    EXPECT_NE(stat(srv.marker().c_str(), &st), 0);
    EXPECT_EQ(c.one("SELECT count(*) FROM draserm.server"), "0");
    auto r = c.run("CALL dispatcher.wait_reply($1::integer, 20)", {std::to_string(id)});
    ASSERT_EQ(PQntuples(r), 1);
    EXPECT_TRUE(has(PQgetvalue(r, 0, 1), "was interrupted")) << PQgetvalue(r, 0, 1);
    PQclear(r);
  }
}

// A database that goes away ends the server with 3 and the reason in the
// log, told once, without a hang: while it waits for commands, and during
// its start-up (the registration cuts the work connection).
TEST(Veksrv, EndsWhenTheDatabaseGoesAway) {
  Database db;
  PGTEST_NEED_DB(db);
  Conn c(db.name);
  for (bool startup : {false, true}) {
    if (startup) {
      c.one("CREATE OR REPLACE PROCEDURE draserm.add(person_mask text, INOUT name text, "
            "INOUT addr text, INOUT audsid integer) LANGUAGE plpgsql AS $$ BEGIN "
            "name := 'DRSRV_1'; addr := 'DRMBOX_1'; audsid := 1; "
            "PERFORM pg_terminate_backend(pid) FROM pg_stat_activity WHERE "
            "application_name = 'kestrin' AND datname = current_database(); END $$");
    }
    Server srv;
    srv.start({"-user", db.user(), "-logfile", srv.logpath}, db.name);
    if (!startup) {
      ASSERT_TRUE(srv.ready()) << srv.out();
      c.one("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE datname = $1 "
            "AND application_name LIKE 'kestrin%'",
            {db.name});
    }
    EXPECT_EQ(srv.wait(30), 3);
    std::string log = srv.log();
    EXPECT_EQ(has(log, "DRG-50301"), !startup) << log;
    EXPECT_TRUE(has(log, "=== Server failure ===\n"));
    EXPECT_TRUE(has(log, "=== Server shutting down ===\n"));
    // The loss is told once, on one line; nothing after it pretends that a
    // statement failed to parse or that the log-off failed.
    EXPECT_EQ(count(log, "lost the connection to the database"), 1u) << log;
    EXPECT_FALSE(has(log, "statement parse failed")) << log;
    EXPECT_FALSE(has(log, "log-off failed")) << log;
    EXPECT_FALSE(has(log, "\n\t")) << log;
  }
}

}  // namespace
