// Users who try to reach the servers' rights or sessions through what they
// may name, against a real veksrv: two users enabled with kestrin_user only,
// each trying as a new user would. Every attempt is refused or harmless and
// the server stays registered and answering.
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <fstream>

#include "tests/fixtures/engine/idxfix.h"
#include "tests/fixtures/server/pgtest.h"

namespace {

using pgtest::Conn;
using pgtest::Database;
using pgtest::Role;
using pgtest::Server;
using pgtest::waitrow;

bool has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// The procedures a request names (here its error procedure) run on a
// session of their own, as their user, under the administrator's time-out:
// what they do to their session never reaches the server's.
TEST(Fence, RequestProceduresLeaveTheServerAlone) {
  Role alice("alice"), bob("bob");
  Database db;
  PGTEST_NEED_DB(db);
  Conn c(db.name);
  c.one("UPDATE dr_utl.setting SET value = '1' WHERE name = 'CALL_TIMEOUT'");
  c.one("GRANT CREATE ON SCHEMA public TO " + bob.name);
  c.one("CREATE TABLE secret (x text)");
  Server srv;
  srv.start({"-user", db.user(), "-logfile", srv.logpath, "-personality", "LQ"}, db.name);
  ASSERT_TRUE(srv.ready()) << srv.out();

  Conn cb(db.name, bob.name);
  ASSERT_TRUE(cb.ok());
  cb.one("CREATE TABLE public.bob_log (who text, pid integer, role_change text)");
  // Everything a session can do to itself, then a note of who ran it where.
  cb.one(R"(CREATE PROCEDURE public.bob_mess(svcno integer, arg1 text) LANGUAGE plpgsql AS $$
    DECLARE r text := 'none';
    BEGIN
      PERFORM pg_advisory_unlock_all();
      EXECUTE 'DEALLOCATE ALL';
      PERFORM set_config('search_path', 'nowhere', false);
      PERFORM set_config('client_encoding', 'LATIN1', false);
      PERFORM set_config('work_mem', '64kB', false);
      LISTEN bob_channel;
      CREATE TEMP TABLE dr$policy (x integer);
      PERFORM pg_advisory_lock(42);
      BEGIN
        EXECUTE 'RESET ROLE';
        r := current_user;
      EXCEPTION WHEN OTHERS THEN
        r := SQLERRM;
      END;
      INSERT INTO public.bob_log VALUES (current_user, pg_backend_pid(), r);
    END $$)");
  cb.one("CREATE PROCEDURE public.bob_sleep(svcno integer, arg1 text) LANGUAGE plpgsql AS "
         "$$ BEGIN PERFORM set_config('statement_timeout', '0', false); PERFORM pg_sleep(60); END $$");
  cb.one("CALL svcq.queue('LING', 0, NULL, true, ' ', 'a', 'b', 'c', NULL, 'public.bob_mess')");
  ASSERT_TRUE(waitrow(cb, "SELECT count(*) FROM public.bob_log", "1")) << srv.log();
  EXPECT_EQ(cb.one("SELECT who FROM public.bob_log"), bob.name);
  EXPECT_TRUE(has(cb.one("SELECT role_change FROM public.bob_log").value_or(""), "security-definer"));
  // It ran on none of the server's registered sessions.
  auto pid = cb.one("SELECT pid FROM public.bob_log");
  ASSERT_TRUE(pid);
  EXPECT_EQ(c.one("SELECT count(*) FROM draserm.server WHERE backend_pid = $1::integer", {*pid}), "0");

  // A procedure that outlives the time-out is cancelled (the log says so).
  cb.one("CALL svcq.queue('LING', 0, NULL, true, ' ', 'a', 'b', 'c', NULL, 'public.bob_sleep')");
  EXPECT_TRUE(srv.waitlog("error procedure public.bob_sleep failed")) << srv.log();
  EXPECT_TRUE(has(srv.log(), "statement timeout")) << srv.log();

  // The server is registered, holds its lock and answers.
  EXPECT_EQ(c.one("SELECT count(*) FROM draserm.server WHERE draserm.alive(audsid)"), "1");
  EXPECT_EQ(pgtest::submit(c, 201, {"2", "40"}).arg(3), "42");
  // The fence session was reset: nothing of bob's is left on it.
  EXPECT_EQ(c.one("SELECT count(*) FROM pg_locks l JOIN pg_stat_activity a ON a.pid = l.pid "
                  "WHERE l.locktype = 'advisory' AND a.application_name = 'kestrin-fence'"),
            "0");
  EXPECT_FALSE(has(srv.log(), "Server failure")) << srv.log();
  EXPECT_EQ(pgtest::submit(c, 21).code, 101);
  EXPECT_EQ(srv.wait(), 0);
}

// A policy over files of the server's machine: refused until an
// administrator lets its owner read them; then every name that leads out of
// PATH or to anything but a regular file is a document error of its own,
// and the files inside are indexed. An index object its owner drops makes
// her changed rows fail at once, naming it.
TEST(Fence, FilePoliciesAndDroppedIndexObjects) {
  Role alice("alice"), bob("bob");
  Database db;
  PGTEST_NEED_DB(db);
  char tmpl[] = "/tmp/kes-fence-XXXXXX";
  ASSERT_TRUE(mkdtemp(tmpl));
  std::string dir = tmpl, in = dir + "/in";
  ASSERT_EQ(mkdir(in.c_str(), 0755), 0);
  std::ofstream(in + "/good.txt") << "kestrel falcon";
  std::ofstream(dir + "/secret.txt") << "shadow secret";
  ASSERT_EQ(symlink("../secret.txt", (in + "/link").c_str()), 0);
  ASSERT_EQ(mkfifo((in + "/fifo").c_str(), 0600), 0);
  ASSERT_EQ(mkdir((in + "/sub").c_str(), 0755), 0);

  Conn c(db.name), admin(db.name, "postgres");
  c.one("GRANT CREATE ON DATABASE " + db.name + " TO " + alice.name);
  Conn ca(db.name, alice.name);
  ASSERT_TRUE(ca.ok());
  const std::string t = alice.name + ".files";
  ca.one("CREATE SCHEMA " + alice.name);
  ca.one("CREATE TABLE " + t + " (id integer PRIMARY KEY, body text)");
  ca.one("INSERT INTO " + t + " VALUES (1, 'good.txt'), (2, '../secret.txt'), (3, 'link'), "
         "(4, 'fifo'), (5, 'sub'), (6, 'missing.txt'), (7, '" + dir + "/secret.txt')");
  c.one("SELECT dr_utl.join_user($1)", {alice.name});
  c.one("INSERT INTO dr$policy (pol_id, pol_name, pol_owner, pol_tablename, pol_text_expr, "
        "pol_text_type, pol_key_name, pol_key_type) VALUES (1000, 'FILES', upper($1), 'FILES', "
        "'BODY', 8, 'ID', 2)",
        {alice.name});
  c.one("INSERT INTO dr$preference (pre_id, pre_name, pre_cla_id, pre_obj_id) VALUES (1001, 'F', 1, 3)");
  c.one("INSERT INTO dr$policy_preference VALUES (1000, 1, 1001)");
  c.one("INSERT INTO dr$preference_attribute VALUES (1001, 'PATH', $1, 1)", {in});
  setenv("NLS_LANG", idxfix::kNls, 1);
  Server srv;
  srv.start({"-user", db.user(), "-logfile", srv.logpath, "-personality", "DQM"}, db.name);
  unsetenv("NLS_LANG");
  ASSERT_TRUE(srv.ready()) << srv.out();

  std::string why;
  pgtest::submit(ca, 10, {"1000", "1", "1", "C"}, 60, &why);
  EXPECT_TRUE(has(why, "its owner " + alice.name + " may not")) << why;
  admin.one("GRANT kestrin_files TO " + alice.name);
  EXPECT_EQ(pgtest::submit(ca, 10, {"1000", "1", "1", "C"}, 60).code, 101);
  // The run goes on past the documents it cannot read, and counts them.
  auto pop = pgtest::submit(ca, 11, {"1000", "1", "1", "1", "C"}, 60);
  EXPECT_EQ(pop.code, 101);
  EXPECT_EQ(pop.arg(1), "6") << srv.log();
  EXPECT_EQ(pgtest::submit(ca, 29, {"1000", "1", "C"}, 60).code, 101);
  EXPECT_EQ(pgtest::submit(ca, 38, {"1000", "kestrel"}).arg(3), "1");
  EXPECT_EQ(pgtest::submit(ca, 38, {"1000", "shadow"}).arg(3), "0");
  // Each refused document is an error of its own, with its reason.
  EXPECT_EQ(c.col("SELECT par[2] || ':' || substring(errors from 'DRG-[0-9]+') FROM svcq.request "
                  "WHERE svctype = 'INDEX_SVC' ORDER BY par[2]"),
            (std::vector<std::string>{"2:DRG-10725", "3:DRG-10725", "4:DRG-10726", "5:DRG-10726",
                                      "6:DRG-11101", "7:DRG-10725"}));

  // A result table of her own runs her trigger as her, on a session of
  // the fence that no trigger can take back: what the servers' login may
  // read or grant (its own tables, the dictionary, another user's table
  // granted to it for indexing) stays out of reach.
  const std::string res = alice.name + ".res";
  c.one("CREATE TABLE dr_keep (x text)");
  c.one("INSERT INTO dr_keep VALUES ('kept')");
  c.one("GRANT CREATE ON DATABASE " + db.name + " TO " + bob.name);
  const std::string login = c.one("SELECT current_user").value_or("");
  {
    Conn cb(db.name, bob.name);
    ASSERT_TRUE(cb.ok());
    cb.one("CREATE SCHEMA " + bob.name);
    cb.one("CREATE TABLE " + bob.name + ".diary (x text)");
    cb.one("INSERT INTO " + bob.name + ".diary VALUES ('private')");
    cb.one("GRANT USAGE ON SCHEMA " + bob.name + " TO " + login);
    cb.one("GRANT SELECT ON " + bob.name + ".diary TO " + login);
  }
  ASSERT_EQ(c.one("SELECT count(*) FROM " + bob.name + ".diary"), "1");
  ca.one("CREATE TABLE " + res + " (textkey varchar(64), score integer, conid integer, curid integer)");
  ca.one("CREATE TABLE " + alice.name + ".seen (who text, what text, how text)");
  ca.one("CREATE FUNCTION " + alice.name + ".grab() RETURNS trigger LANGUAGE plpgsql AS $$ "
         "DECLARE t text; BEGIN "
         "FOREACH t IN ARRAY ARRAY['SELECT count(*) FROM public.dr_keep', "
         "'SELECT count(*) FROM public.dr$policy', 'SELECT count(*) FROM " + bob.name + ".diary', "
         "'RESET ROLE', "
         "'GRANT pg_execute_server_program TO " + alice.name + "', 'SET ROLE " + db.user() + "'] LOOP "
         "BEGIN EXECUTE t; INSERT INTO " + alice.name + ".seen VALUES (current_user, t, 'done'); "
         "EXCEPTION WHEN OTHERS THEN "
         "INSERT INTO " + alice.name + ".seen VALUES (current_user, t, 'refused'); END; "
         "END LOOP; RETURN NEW; END $$");
  ca.one("CREATE TRIGGER grab BEFORE INSERT ON " + res + " FOR EACH ROW EXECUTE FUNCTION " +
         alice.name + ".grab()");
  std::vector<std::optional<std::string>> contains = {"1000", "kestrel", res, "0", "0",
                                                      "0", "0", "0", std::nullopt, "NULL"};
  EXPECT_EQ(pgtest::submit(ca, 15, contains, 60).code, 101);
  EXPECT_EQ(ca.one("SELECT string_agg(textkey, ',') FROM " + res), "1");
  EXPECT_EQ(ca.col("SELECT who || ' ' || how FROM " + alice.name + ".seen"),
            std::vector<std::string>(6, alice.name + " refused"));
  EXPECT_EQ(c.one("SELECT count(*) FROM pg_auth_members m JOIN pg_roles r ON r.oid = m.roleid "
                  "WHERE r.rolname = 'pg_execute_server_program'"),
            "0");
  // A trigger that fails fails the command, with the database's text, and
  // the table keeps its rows.
  ca.one("CREATE OR REPLACE FUNCTION " + alice.name + ".grab() RETURNS trigger LANGUAGE plpgsql AS "
         "$$ BEGIN RAISE EXCEPTION 'alice says no'; END $$");
  auto refused = pgtest::submit(ca, 15, contains, 60);
  EXPECT_EQ(refused.code, 102);
  EXPECT_TRUE(has(refused.arg(1), "alice says no")) << refused.arg(1);
  EXPECT_EQ(ca.one("SELECT string_agg(textkey, ',') FROM " + res), "1");  // not cleared either

  // A role whose name differs from the owner's only in case (a quoted
  // name) is no owner: every index command and every changed row of it is
  // refused, and the index is left as it was.
  const std::string upper = [&] {
    std::string u = alice.name;
    for (char &ch : u) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return u;
  }();
  admin.one("DROP ROLE IF EXISTS \"" + upper + "\"");
  admin.one("CREATE ROLE \"" + upper + "\" LOGIN");
  admin.one("GRANT kestrin_user TO \"" + upper + "\"");
  {
    Conn cu(db.name, upper);
    ASSERT_TRUE(cu.ok());
    for (int cmd : {10, 11, 12, 13, 14, 29, 33, 37}) {
      pgtest::submit(cu, cmd, {"1000", "1", "1", "1", "C"}, 10, &why);
      EXPECT_TRUE(has(why, "only its owner")) << cmd << ": " << why;
    }
    EXPECT_TRUE(has(cu.fails("CALL dmlq.queue_change(1000, '1')"), "only its owner"));
  }
  admin.one("DROP ROLE \"" + upper + "\"");
  EXPECT_EQ(pgtest::submit(ca, 38, {"1000", "kestrel"}).arg(3), "1");

  // The index belongs to the servers: its owner can only drop its objects,
  // and then hears of it at once.
  EXPECT_EQ(c.one("SELECT count(*) FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
                  "WHERE n.nspname = $1 AND c.relname LIKE 'dr_01000_%' AND c.relacl IS NOT NULL",
                  {alice.name}),
            "0");
  ca.one("DROP TABLE " + alice.name + ".dr_01000_lst");
  EXPECT_TRUE(has(ca.fails("CALL dmlq.queue_change(1000, '1')"), alice.name + ".dr_01000_lst"));
  pgtest::submit(ca, 38, {"1000", "kestrel"}, 30, &why);
  EXPECT_TRUE(has(why, alice.name + ".dr_01000_lst")) << why;
  EXPECT_EQ(pgtest::submit(c, 21).code, 101);
  EXPECT_EQ(srv.wait(), 0);
  std::string rm = "rm -rf " + dir;
  EXPECT_EQ(system(rm.c_str()), 0);
}

}  // namespace
