// The client layer against the private cluster (PG environment): log-on,
// CALL out values, array fetch, savepoints, error codes, fetches across
// commits, the transport connection, long pieces and a lost connection.
// Every test works in a schema of its own, so tests can run in parallel.
#include "platform/db/db.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "tests/fixtures/db/pguser.h"

namespace {

using pgtest::userstring;

class Kdb : public ::testing::Test {
 protected:
  kdblda lda{};
  std::string schema;

  void SetUp() override {
    if (!std::getenv("PGHOST")) GTEST_SKIP() << "no PG environment";
    std::string u = userstring();
    ASSERT_EQ(kdblogon(&lda, u.c_str(), -1), 0) << err(lda.rc);
    static std::atomic<int> n{0};
    schema = "kdbt_" + std::to_string(getpid()) + "_" + std::to_string(n++);
    run("create schema " + schema);
  }
  void TearDown() override {
    if (lda.sess) {
      kdbrollback(&lda);
      run("drop schema if exists " + schema + " cascade");
      kdblogoff(&lda);
    }
  }
  std::string err(int rc) {
    char b[2050];
    kdberror(&lda, rc, b, sizeof b);
    return b;
  }
  std::string t(const std::string& name) { return schema + "." + name; }
  // Whether this session prepared the layer's insert over arrays into table
  // (the statement is prepared only when used, and kept until the cursor's
  // next parse or close).
  bool sentasarrays(const std::string& table) {
    kdbcda q{};
    int32_t n = -1;
    EXPECT_EQ(kdbopen(&q, &lda), 0);
    EXPECT_EQ(kdbparse(&q, ("select count(*)::int from pg_prepared_statements where "
                            "statement like '%" + table + " %unnest(%' and "
                            "statement not like '%pg_prepared_statements%'").c_str()),
              0);
    EXPECT_EQ(kdbdefin(&q, 1, &n, 4, KDB_INTEGER), 0);
    EXPECT_EQ(kdbexfet(&q, 1), 0) << err(q.rc);
    kdbclose(&q);
    return n == 1;
  }
  // Parse and execute one statement on a fresh cursor; its return code.
  int run(const std::string& sql, int link = KDB_WORK) {
    kdbcda c{};
    int rc = kdbopen(&c, &lda, link);
    if (rc == 0) rc = kdbparse(&c, sql.c_str());
    if (rc == 0) rc = kdbexec(&c);
    if (c.cur) kdbclose(&c);
    return rc;
  }
  // Run a statement in another session (which gives up on locks at once).
  int other(const std::string& sql) {
    kdblda o{};
    std::string u = userstring();
    EXPECT_EQ(kdblogon(&o, u.c_str(), -1), 0);
    kdbcda c{};
    int rc = kdbopen(&c, &o);
    if (!rc) rc = kdbparse(&c, "SET lock_timeout = '200ms'");
    if (!rc) rc = kdbexec(&c);
    if (!rc) rc = kdbparse(&c, sql.c_str());
    if (!rc) rc = kdbexec(&c);
    if (!rc) rc = kdbcommit(&o);
    kdbclose(&c);
    kdblogoff(&o);
    return rc;
  }
  // Count rows of a query from another session.
  long count(const std::string& sql) {
    kdblda other{};
    std::string u = userstring();
    EXPECT_EQ(kdblogon(&other, u.c_str(), -1), 0);
    kdbcda c{};
    long v = -1;
    int32_t x = 0;
    if (kdbopen(&c, &other) == 0 && kdbparse(&c, sql.c_str()) == 0 &&
        kdbdefin(&c, 1, &x, 4, KDB_INTEGER) == 0 && kdbexfet(&c, 1) == 0)
      v = x;
    kdbclose(&c);
    kdblogoff(&other);
    return v;
  }
};

TEST_F(Kdb, CallCopiesOutValuesIntoBindsOfTheSameName) {
  ASSERT_EQ(run("create procedure " + t("p") +
                "(a integer, INOUT b text, INOUT \"C\" integer, INOUT d text) language plpgsql as $$"
                " begin b := 'x' || a; \"C\" := a * 2; d := NULL; end $$"), 0);
  kdbcda c{};
  ASSERT_EQ(kdbopen(&c, &lda), 0);
  ASSERT_EQ(kdbparse(&c, ("CALL " + t("p") + "(:a, :b, :c, :d)").c_str()), 0) << err(c.rc);
  int32_t a = 21, cc = 0;
  char b[8] = "zzzzzzz", d[8] = "keep";
  int16_t bind = 5, dind = 0;
  uint16_t blen = 0;
  ASSERT_EQ(kdbbndrv(&c, ":a", &a, 4, KDB_INTEGER), 0);
  ASSERT_EQ(kdbbndrv(&c, ":B", b, sizeof b, KDB_STRING, &bind, &blen), 0);
  ASSERT_EQ(kdbbndrv(&c, "c", &cc, 4, KDB_INTEGER), 0);
  ASSERT_EQ(kdbbndrv(&c, ":d", d, sizeof d, KDB_STRING, &dind), 0);
  EXPECT_EQ(kdbbndrv(&c, ":nothere", &a, 4, KDB_INTEGER), KDB_BADNAME);
  EXPECT_EQ(c.rc, KDB_BADNAME);
  ASSERT_EQ(kdbexec(&c), 0) << err(c.rc);
  EXPECT_STREQ(b, "x21");
  EXPECT_EQ(bind, 0);
  EXPECT_EQ(blen, 3);
  EXPECT_EQ(cc, 42);
  EXPECT_EQ(dind, -1);       // NULL with an indicator
  EXPECT_STREQ(d, "keep");   // buffer untouched

  // NULL without an indicator: 1405, the other binds still filled.
  ASSERT_EQ(kdbbndrv(&c, ":d", d, sizeof d, KDB_STRING), 0);
  a = 5;
  EXPECT_EQ(kdbexec(&c), KDB_NULLVALUE);
  EXPECT_EQ(cc, 10);
  EXPECT_STREQ(b, "x5");

  // Longer than the buffer: 1406, no overflow, terminated.
  char small[4];
  std::memset(small, 'q', sizeof small);
  char guard[4] = {'g', 'g', 'g', 'g'};
  ASSERT_EQ(kdbbndrv(&c, ":b", small, sizeof small, KDB_STRING), 0);
  ASSERT_EQ(kdbbndrv(&c, ":d", d, sizeof d, KDB_STRING, &dind), 0);
  a = 12345;
  EXPECT_EQ(kdbexec(&c), KDB_TRUNCATED);
  EXPECT_STREQ(small, "x12");
  EXPECT_EQ(std::memcmp(guard, "gggg", 4), 0);
  EXPECT_NE(err(KDB_TRUNCATED).find("1406"), std::string::npos);
  kdbclose(&c);
}

// A number that its buffer cannot carry (out of range, negative for an
// unsigned buffer, with a fraction) is an error of its own and leaves the
// buffer alone; never a wrapped or cut number.
TEST_F(Kdb, NumbersThatDoNotFitTheirBufferAreErrors) {
  struct {
    const char* value;
    int ftype;
    int size;
    int rc;
    const char* got;  // the buffer's value afterwards ("keep": untouched)
  } cases[] = {
      {"3000000000::bigint", KDB_INTEGER, 4, KDB_OVERFLOW, "keep"},
      {"-2147483648::bigint", KDB_INTEGER, 4, 0, "-2147483648"},
      {"2.9::numeric", KDB_INTEGER, 4, KDB_OVERFLOW, "keep"},
      {"2.000::numeric", KDB_INTEGER, 4, 0, "2"},
      {"-5", KDB_UNSIGNED, 4, KDB_OVERFLOW, "keep"},
      {"4294967295::bigint", KDB_UNSIGNED, 4, 0, "4294967295"},
      {"1e30::float8", KDB_INTEGER, 8, KDB_OVERFLOW, "keep"},
      {"99999999999999999999::numeric", KDB_UNSIGNED, 8, KDB_OVERFLOW, "keep"},
      {"40000", KDB_INTEGER, 2, KDB_OVERFLOW, "keep"},
      {"1e39::float8", KDB_FLOAT, 4, KDB_OVERFLOW, "keep"},
      {"'abc'::text", KDB_INTEGER, 4, KDB_BADNUMBER, "keep"},
  };
  for (auto& k : cases) {
    kdbcda c{};
    ASSERT_EQ(kdbopen(&c, &lda), 0);
    std::string sql = std::string("SELECT ") + k.value;
    ASSERT_EQ(kdbparse(&c, sql.c_str()), 0) << err(c.rc);
    unsigned char buf[8];
    std::memset(buf, 0x5a, sizeof buf);
    ASSERT_EQ(kdbdefin(&c, 1, buf, k.size, k.ftype), 0);
    int rc = kdbexfet(&c, 1);
    EXPECT_EQ(rc, k.rc) << k.value << ": " << err(rc);
    std::string got = "keep";
    bool untouched = true;
    for (int i = 0; i < k.size; ++i) untouched = untouched && buf[i] == 0x5a;
    if (!untouched) {
      if (k.ftype == KDB_FLOAT) {
        got = "float";
      } else if (k.ftype == KDB_UNSIGNED) {
        uint64_t u = 0;
        std::memcpy(&u, buf, k.size);
        got = std::to_string(u);
      } else if (k.size == 4) {
        int32_t v;
        std::memcpy(&v, buf, 4);
        got = std::to_string(v);
      } else {
        int64_t v;
        std::memcpy(&v, buf, 8);
        got = std::to_string(v);
      }
    }
    EXPECT_EQ(got, k.got) << k.value;
    kdbclose(&c);
  }
  // The same holds for a value a CALL hands back into a bind.
  ASSERT_EQ(run("create procedure " + t("big") + "(inout n bigint) language plpgsql as "
                "$$ begin n := 3000000000; end $$"), 0);
  kdbcda c{};
  ASSERT_EQ(kdbopen(&c, &lda), 0);
  ASSERT_EQ(kdbparse(&c, ("call " + t("big") + "(:n)").c_str()), 0);
  int32_t n = 7;
  ASSERT_EQ(kdbbndrv(&c, ":n", &n, 4, KDB_INTEGER), 0);
  EXPECT_EQ(kdbexec(&c), KDB_OVERFLOW);
  EXPECT_EQ(n, 7);
  EXPECT_NE(err(KDB_OVERFLOW).find("does not fit"), std::string::npos) << err(KDB_OVERFLOW);
  kdbclose(&c);
}

// Text cut to fit a buffer ends at a whole character, and a value of more
// than 32767 bytes says so with the indicator -2.
TEST_F(Kdb, TextIsCutAtWholeCharacters) {
  kdbcda c{};
  ASSERT_EQ(kdbopen(&c, &lda), 0);
  ASSERT_EQ(kdbparse(&c, "SELECT repeat(chr(8364), 3), repeat('x', 40000)"), 0);
  char euro[8], x[16];
  int16_t eind = 0, xind = 0;
  uint16_t elen = 0;
  ASSERT_EQ(kdbdefin(&c, 1, euro, sizeof euro, KDB_STRING, &eind, &elen), 0);
  ASSERT_EQ(kdbdefin(&c, 2, x, sizeof x, KDB_STRING, &xind), 0);
  EXPECT_EQ(kdbexfet(&c, 1), KDB_TRUNCATED);
  EXPECT_STREQ(euro, "\xe2\x82\xac\xe2\x82\xac");  // two of three, not two and a piece
  EXPECT_EQ(elen, 6);
  EXPECT_EQ(eind, 9);
  EXPECT_EQ(xind, -2);
  EXPECT_EQ(std::strlen(x), 15u);
  kdbclose(&c);
}

// Code run in the session (a procedure a message names may run there) can
// drop the prepared statements of the layer or take the names it uses next:
// statements are prepared again and go on working.
TEST_F(Kdb, StatementsSurviveCodeThatDropsPreparedStatements) {
  kdbcda keep{};
  ASSERT_EQ(kdbopen(&keep, &lda, KDB_TRANSPORT), 0);
  ASSERT_EQ(kdbparse(&keep, "SELECT 41 + 1"), 0);
  int32_t v = 0;
  ASSERT_EQ(kdbdefin(&keep, 1, &v, 4, KDB_INTEGER), 0);
  ASSERT_EQ(kdbexfet(&keep, 1), 0);
  ASSERT_EQ(run("create table " + t("p") + " (k integer)", KDB_TRANSPORT), 0);
  kdbcda ins{};
  ASSERT_EQ(kdbopen(&ins, &lda, KDB_TRANSPORT), 0);
  ASSERT_EQ(kdbparse(&ins, ("insert into " + t("p") + " values (:k)").c_str()), 0);
  int32_t k[3] = {1, 2, 3};
  ASSERT_EQ(kdbbndrv(&ins, ":k", k, 4, KDB_INTEGER), 0);
  ASSERT_EQ(kdbexn(&ins, 3), 0) << err(ins.rc);
  // Drop everything, then take the next names the layer would choose.
  EXPECT_EQ(run("DO $$BEGIN EXECUTE 'DEALLOCATE ALL'; END$$", KDB_TRANSPORT), 0) << err(lda.rc);
  EXPECT_EQ(run("DO $$BEGIN FOR i IN 1 .. 400 LOOP EXECUTE format('PREPARE kdb_s%s AS SELECT 0', "
                "i); END LOOP; EXCEPTION WHEN OTHERS THEN NULL; END$$",
                KDB_TRANSPORT),
            0);
  v = 0;
  EXPECT_EQ(kdbexfet(&keep, 1), 0) << err(keep.rc);
  EXPECT_EQ(v, 42);
  EXPECT_EQ(kdbexn(&ins, 3), 0) << err(ins.rc);
  EXPECT_EQ(ins.rpc, 3u);
  EXPECT_EQ(count("select count(*)::int from " + t("p")), 6);
  EXPECT_EQ(run("SELECT 1", KDB_TRANSPORT), 0) << err(lda.rc);
  kdbclose(&ins);
  kdbclose(&keep);
}

TEST_F(Kdb, ArrayFetchDeliversTheShortLastBatchWith1403) {
  ASSERT_EQ(run("create table " + t("r") + " (n integer, s varchar(10))"), 0);
  ASSERT_EQ(run("insert into " + t("r") + " select g, 'r' || g from generate_series(1, 7) g"), 0);
  kdbcda c{};
  ASSERT_EQ(kdbopen(&c, &lda), 0);
  ASSERT_EQ(kdbparse(&c, ("select n, s from " + t("r") + " order by n").c_str()), 0);
  int32_t n[3];
  char s[3][8];
  int16_t ind[3];
  ASSERT_EQ(kdbdefin(&c, 1, n, 4, KDB_INTEGER), 0);
  ASSERT_EQ(kdbdefin(&c, 2, s, 8, KDB_STRING, ind), 0);
  EXPECT_EQ(kdbdefin(&c, 3, s, 8, KDB_STRING), KDB_NOTINLIST);
  ASSERT_EQ(kdbexec(&c), 0);
  struct { int rc; uint32_t rpc; int first; } want[] = {{0, 3, 1}, {0, 6, 4}, {KDB_NODATA, 7, 7}};
  for (auto& w : want) {
    EXPECT_EQ(kdbfetch(&c, 3), w.rc);
    EXPECT_EQ(c.rpc, w.rpc);
    EXPECT_EQ(n[0], w.first);
  }
  EXPECT_STREQ(s[0], "r7");
  EXPECT_EQ(kdbfetch(&c, 3), KDB_NODATA);
  EXPECT_EQ(c.rpc, 7u);
  // Re-executed without parsing again, the count starts over.
  ASSERT_EQ(kdbexec(&c), 0);
  EXPECT_EQ(kdbfetch(&c, 2), 0);
  EXPECT_EQ(c.rpc, 2u);
  kdbclose(&c);
}

TEST_F(Kdb, AFailedStatementUndoesOnlyItself) {
  ASSERT_EQ(run("create table " + t("u") + " (k integer primary key)"), 0);
  EXPECT_EQ(run("insert into " + t("u") + " values (1)"), 0);
  EXPECT_EQ(run("insert into " + t("u") + " values (1)"), KDB_UNIQUE);
  EXPECT_NE(err(KDB_UNIQUE).find("23505"), std::string::npos);
  EXPECT_EQ(run("insert into " + t("u") + " values (2)"), 0);
  EXPECT_EQ(count("select count(*)::int from " + t("u")), 0);  // not committed yet
  EXPECT_EQ(kdbcommit(&lda), 0);
  EXPECT_EQ(count("select count(*)::int from " + t("u")), 2);
  EXPECT_EQ(run("insert into " + t("u") + " values (3)"), 0);
  EXPECT_EQ(kdbrollback(&lda), 0);
  EXPECT_EQ(count("select count(*)::int from " + t("u")), 2);
}

// The watcher of long round trips: asked while a statement waits, it may
// run statements of its own on the other connection (those are not
// watched), and a non-zero answer cancels the statement, which then fails
// alone: the transaction it ran in keeps what came before it.
TEST_F(Kdb, AWatcherCancelsALongStatementAndNothingElse) {
  using Self = std::remove_pointer_t<decltype(this)>;
  struct Seen {
    Self* t;
    int calls = 0, depth = 0, deepest = 0, link = -1, inner = -1;
  } seen{this};
  kdbwatch(&lda, [](void* ctx, int link) {
    auto* s = static_cast<Seen*>(ctx);
    ++s->calls;
    s->link = link;
    s->deepest = std::max(s->deepest, ++s->depth);
    s->inner = s->t->run("select pg_sleep(0.3)", KDB_TRANSPORT);
    --s->depth;
    return 1;
  }, &seen);
  ASSERT_EQ(run("create table " + t("w") + " (k integer)"), 0);
  EXPECT_EQ(run("insert into " + t("w") + " values (1)"), 0);
  int rc = run("select pg_sleep(600)");
  EXPECT_EQ(rc, KDB_CANCELLED) << err(rc);
  EXPECT_NE(err(KDB_CANCELLED).find("57014"), std::string::npos);
  EXPECT_GE(seen.calls, 1);
  EXPECT_EQ(seen.link, KDB_WORK);
  EXPECT_EQ(seen.deepest, 1);
  EXPECT_EQ(seen.inner, 0);
  kdbwatch(&lda, nullptr, nullptr);
  EXPECT_EQ(run("insert into " + t("w") + " values (2)"), 0);
  EXPECT_EQ(kdbcommit(&lda), 0);
  EXPECT_EQ(count("select count(*)::int from " + t("w")), 2);
}

TEST_F(Kdb, QueriesOutsideATransactionHoldNoLocks) {
  ASSERT_EQ(run("create table " + t("k1") + " (a int)"), 0);
  ASSERT_EQ(run("create table " + t("k2") + " (a int)"), 0);
  EXPECT_EQ(run("select * from " + t("k1")), 0);
  EXPECT_EQ(other("drop table " + t("k1")), 0);
  // Once something is written, reads belong to the open transaction.
  EXPECT_EQ(run("insert into " + t("k2") + " values (1)"), 0);
  EXPECT_EQ(other("drop table " + t("k2")), KDB_GENERIC);  // lock timeout
  EXPECT_EQ(kdbcommit(&lda), 0);
  EXPECT_EQ(other("drop table " + t("k2")), 0);
}

TEST_F(Kdb, ErrorsMapOntoTheirCodesAtParse) {
  ASSERT_EQ(run("create table " + t("e") + " (a int)"), 0);
  struct { std::string sql; int rc; } cases[] = {
      {"create table " + t("e") + " (a int)", KDB_EXISTS},
      {"select * from " + t("missing"), KDB_NOTABLE},
      {"drop table " + t("missing"), KDB_NOTABLE},
      {"drop sequence " + t("missing"), KDB_NOSEQUENCE},
      {"CALL " + t("noproc") + "(:a)", KDB_NOPROC},
      {"CALL nosuchschema.p()", KDB_NOPROC},
      {"select nocolumn from " + t("e"), KDB_UNDEFCOLUMN},
      {"selec 1", KDB_GENERIC},
  };
  for (auto& c : cases) {
    kdbcda cda{};
    ASSERT_EQ(kdbopen(&cda, &lda), 0);
    EXPECT_EQ(kdbparse(&cda, c.sql.c_str()), c.rc) << c.sql;
    EXPECT_EQ(cda.rc, c.rc);
    EXPECT_EQ(cda.fc, KDB_FC_PARSE);
    kdbclose(&cda);
  }
  EXPECT_EQ(err(KDB_GENERIC).rfind("42601: ", 0), 0u) << err(KDB_GENERIC);
  // The session goes on after all of them.
  EXPECT_EQ(run("insert into " + t("e") + " values (1)"), 0);
  EXPECT_EQ(kdbcommit(&lda), 0);
}

TEST_F(Kdb, DdlRunsAtParseAndCommitsWhatWentBefore) {
  ASSERT_EQ(run("create table " + t("d") + " (a int)"), 0);
  ASSERT_EQ(run("insert into " + t("d") + " values (1)"), 0);
  EXPECT_EQ(count("select count(*)::int from " + t("d")), 0);
  kdbcda c{};
  ASSERT_EQ(kdbopen(&c, &lda), 0);
  ASSERT_EQ(kdbparse(&c, ("create table " + t("d2") + " (a int)").c_str()), 0);
  EXPECT_EQ(c.ft, KDB_FT_DDL);
  EXPECT_EQ(count("select count(*)::int from " + t("d")), 1);
  EXPECT_EQ(count("select count(*)::int from " + t("d2")), 0);
  EXPECT_EQ(kdbexec(&c), 0);  // nothing more to do
  kdbclose(&c);
}

TEST_F(Kdb, FetchesSurviveCommitsBetweenThem) {
  ASSERT_EQ(run("create table " + t("h") + " (n integer)"), 0);
  ASSERT_EQ(run("create table " + t("h2") + " (n integer)"), 0);
  ASSERT_EQ(run("insert into " + t("h") + " select generate_series(1, 1200)"), 0);
  ASSERT_EQ(kdbcommit(&lda), 0);
  for (int hold = 0; hold < 2; ++hold) {
    kdbcda c{};
    ASSERT_EQ(kdbopen(&c, &lda), 0);
    ASSERT_EQ(kdbparse(&c, ("select n from " + t("h") + " order by n").c_str()), 0);
    ASSERT_EQ(kdbhold(&c, hold), 0);
    int32_t n[100];
    ASSERT_EQ(kdbdefin(&c, 1, n, 4, KDB_INTEGER), 0);
    ASSERT_EQ(kdbexec(&c), 0) << err(c.rc);
    long sum = 0;
    int rc;
    uint32_t before = 0;
    do {
      rc = kdbfetch(&c, 100);
      for (uint32_t i = 0; i < c.rpc - before; ++i) sum += n[i];
      before = c.rpc;
      ASSERT_EQ(run("insert into " + t("h2") + " values (0)"), 0);
      ASSERT_EQ(kdbcommit(&lda), 0);
    } while (rc == 0);
    EXPECT_EQ(rc, KDB_NODATA) << err(rc);
    EXPECT_EQ(c.rpc, 1200u);
    EXPECT_EQ(sum, 1200L * 1201 / 2);
    kdbclose(&c);
  }
}

TEST_F(Kdb, ArrayInsertAndBindsByPosition) {
  ASSERT_EQ(run("create table " + t("a") + " (k integer, v varchar(20), b bytea)"), 0);
  kdbcda c{};
  ASSERT_EQ(kdbopen(&c, &lda), 0);
  ASSERT_EQ(kdbparse(&c, ("insert into " + t("a") + " (k, v, b) values (:1, :2, :3)").c_str()), 0);
  int32_t k[4] = {1, 2, 3, 4};
  char v[4][6] = {"one", "", "three", "four"};
  uint16_t vlen[4] = {3, 0, 5, 4};
  uint8_t raw[4][3] = {{0, 1, 2}, {0xff, 0, 0x7f}, {1, 1, 1}, {9, 9, 9}};
  ASSERT_EQ(kdbbndrn(&c, 1, k, 4, KDB_INTEGER), 0);
  ASSERT_EQ(kdbbndrn(&c, 2, v, 6, KDB_VARCHAR2, nullptr, vlen), 0);
  ASSERT_EQ(kdbbndrn(&c, 3, raw, 3, KDB_RAW), 0);
  EXPECT_EQ(kdbbndrn(&c, 4, k, 4, KDB_INTEGER), KDB_BADNAME);
  ASSERT_EQ(kdbexn(&c, 4), 0) << err(c.rc);
  EXPECT_EQ(c.rpc, 4u);
  kdbclose(&c);
  // The empty string went in as NULL; bytes came back whole.
  EXPECT_EQ(count("select count(*)::int from " + t("a") + " where v is null"), 0);  // not committed
  ASSERT_EQ(kdbcommit(&lda), 0);
  EXPECT_EQ(count("select count(*)::int from " + t("a") + " where v is null"), 1);
  kdbcda q{};
  ASSERT_EQ(kdbopen(&q, &lda), 0);
  ASSERT_EQ(kdbparse(&q, ("select b, v from " + t("a") + " where k = :k").c_str()), 0);
  int32_t key = 2;
  uint8_t got[8];
  uint16_t glen = 0;
  char vs[8];
  int16_t vind = 7;
  ASSERT_EQ(kdbbndrv(&q, ":k", &key, 4, KDB_INTEGER), 0);
  ASSERT_EQ(kdbdefin(&q, 1, got, sizeof got, KDB_LONGRAW, nullptr, &glen), 0);
  ASSERT_EQ(kdbdefin(&q, 2, vs, sizeof vs, KDB_STRING, &vind), 0);
  ASSERT_EQ(kdbexfet(&q, 1), 0) << err(q.rc);
  ASSERT_EQ(glen, 3);
  EXPECT_EQ(std::memcmp(got, raw[1], 3), 0);
  EXPECT_EQ(vind, -1);
  kdbclose(&q);
}

TEST_F(Kdb, AFailedArrayInsertUndoesItsWholeBatch) {
  ASSERT_EQ(run("create table " + t("b") + " (k integer primary key)"), 0);
  ASSERT_EQ(run("insert into " + t("b") + " values (0)"), 0);
  kdbcda c{};
  ASSERT_EQ(kdbopen(&c, &lda), 0);
  ASSERT_EQ(kdbparse(&c, ("insert into " + t("b") + " values (:k)").c_str()), 0);
  int32_t k[4] = {1, 2, 2, 3};
  ASSERT_EQ(kdbbndrv(&c, ":k", k, 4, KDB_INTEGER), 0);
  EXPECT_EQ(kdbexn(&c, 4), KDB_UNIQUE);
  EXPECT_EQ(c.rpc, 0u);
  k[2] = 5;
  EXPECT_EQ(kdbexn(&c, 4), 0);
  EXPECT_EQ(c.rpc, 4u);
  kdbclose(&c);
  ASSERT_EQ(kdbcommit(&lda), 0);
  EXPECT_EQ(count("select count(*)::int from " + t("b")), 5);
}

// Rows of the values an n-row insert test binds: every kind of external
// type, texts that mean something inside an array's text, non-ASCII text
// and a text with a NUL byte in its length, empty values (NULL), long bytes
// and bytes that are all zero.
struct ArrayRows {
  static constexpr int kRows = 6;
  int32_t k[kRows] = {1, 2, 3, 4, 5, 6};
  char s[kRows][24] = {"plain", "q\"uo{te},", "back\\slash", "NULL", " lead trail ",
                       "Gr\xc3\xbc\xc3\x9f" "e\0cut"};
  uint16_t slen[kRows] = {5, 9, 10, 4, 12, 11};
  char c[kRows][4] = {"ab", "", "x y", "z", "\"\\", "\xc3\xa9"};
  uint16_t clen[kRows] = {2, 0, 3, 1, 2, 2};
  char num[kRows][8] = {"12.5", "-0.01", "", "999", "3", "0"};
  double f[kRows] = {1.5, -2.25, 1e300, 0, 3, 0.5};
  uint64_t big[kRows] = {18446744073709551615u, 0, 1, 2, 3, 4};
  uint8_t raw[kRows][300] = {};
  uint16_t rawlen[kRows] = {3, 0, 300, 1, 2, 4};
  char day[kRows][12] = {"2024-02-29", "", "1999-12-31", "2000-01-01", "2024-01-01", "2024-06-06"};
  ArrayRows() {
    for (int r = 0; r + 1 < kRows; ++r)
      for (int i = 0; i < 300; ++i) raw[r][i] = static_cast<uint8_t>(i * 7 + r);
  }
};

// An insert of many rows in one execution stores what the rows inserted one
// by one store, whichever way it goes out (the layer sends an insert of one
// row as arrays, other shapes row by row); the rows-processed count is the
// statement's.
TEST_F(Kdb, AnArrayInsertStoresWhatRowsInsertedOneByOneStore) {
  ASSERT_EQ(run("create domain " + t("pos") + " as integer check (value > 0)"), 0);
  std::string cols = " (k integer, s varchar(24), c char(3), num numeric(6,2), f float8, "
                     "big numeric(20), raw bytea, hex text, day date, p " + t("pos") + ")";
  struct Case {
    const char* name;
    std::string values;  // the row, placeholders by name
    bool arrays;         // sent as arrays
    uint32_t rpc;
  } cases[] = {
      {"all", "values (:k, :s, :c, :num, :f, :big, :raw, :hex, :day, 1)", true, 6},
      {"exprs", "values (:k * 2, upper(:s), 'q', :num, :f + 0.5, :big, :raw, :hex, :day, 7)", true, 6},
      {"domain", "values (:k, :s, :c, :num, :f, :big, :raw, :hex, :day, :p)", false, 6},
      {"default", "values (:k, :s, :c, :num, :f, :big, :raw, :hex, default, 1)", false, 6},
      {"conflict", "values (:k / 2, :s, :c, :num, :f, :big, :raw, :hex, :day, 1) "
                   "on conflict do nothing", false, 4},
  };
  ArrayRows v;
  for (const Case& cs : cases) {
    std::string a = t(std::string("a_") + cs.name), b = t(std::string("b_") + cs.name);
    for (const std::string& tab : {a, b})
      ASSERT_EQ(run("create table " + tab + cols + ";create unique index on " + tab + " (k)"
                    " where p = 1"), 0) << err(lda.rc);
    // n rows at once into a, then the same rows one execution each into b.
    for (const std::string& tab : {a, b}) {
      kdbcda c{};
      ASSERT_EQ(kdbopen(&c, &lda), 0);
      std::string sql = "insert into " + tab + " (k, s, c, num, f, big, raw, hex, day, p) " +
                        cs.values;
      ASSERT_EQ(kdbparse(&c, sql.c_str()), 0) << cs.name << ": " << err(c.rc);
      int rows = tab == a ? ArrayRows::kRows : 1;
      uint32_t rpc = 0;
      for (int r = 0; r < ArrayRows::kRows; r += rows) {
        auto bind = [&](const char* name, void* buf, int32_t size, int type, uint16_t* len) {
          if (kdbbndrv(&c, name, buf, size, type, nullptr, len) == KDB_BADNAME) return;
          EXPECT_EQ(c.rc, 0) << name;
        };
        bind(":k", &v.k[r], 4, KDB_INTEGER, nullptr);
        bind(":p", &v.k[r], 4, KDB_INTEGER, nullptr);
        bind(":s", v.s[r], 24, KDB_VARCHAR2, &v.slen[r]);
        bind(":c", v.c[r], 4, KDB_CHAR, &v.clen[r]);
        bind(":num", v.num[r], 8, KDB_STRING, nullptr);
        bind(":f", &v.f[r], 8, KDB_FLOAT, nullptr);
        bind(":big", &v.big[r], 8, KDB_UNSIGNED, nullptr);
        bind(":raw", v.raw[r], 300, KDB_RAW, &v.rawlen[r]);
        bind(":hex", v.raw[r], 300, KDB_RAW, &v.rawlen[r]);  // bytes into text: their hex text
        bind(":day", v.day[r], 12, KDB_STRING, nullptr);
        ASSERT_EQ(kdbexn(&c, rows), 0) << cs.name << ": " << err(c.rc);
        rpc += c.rpc;
      }
      EXPECT_EQ(rpc, cs.rpc) << cs.name;
      if (tab == a) {
        EXPECT_EQ(sentasarrays(a), cs.arrays) << cs.name;
      }
      kdbclose(&c);
    }
    ASSERT_EQ(kdbcommit(&lda), 0);
    EXPECT_EQ(count("select count(*)::int from " + a), static_cast<long>(cs.rpc)) << cs.name;
    EXPECT_EQ(count("select count(*)::int from (table " + a + " except all table " + b + ") x"), 0)
        << cs.name;
    EXPECT_EQ(count("select count(*)::int from (table " + b + " except all table " + a + ") x"), 0)
        << cs.name;
    EXPECT_EQ(count("select count(*)::int from " + a + " where s = 'NULL'"), 1) << cs.name;
  }
  EXPECT_EQ(count("select count(*)::int from " + t("a_all") + " where raw is null and hex is null "
                  "and c is null and day is null"),
            1);
  EXPECT_EQ(count("select length(raw) from " + t("a_all") + " where k = 3"), 300);
  EXPECT_EQ(count("select count(*)::int from " + t("a_all") + " where hex = '\\x00070e'"), 1);
  // The text ends at its NUL byte, as a value sent alone does.
  EXPECT_EQ(count("select count(*)::int from " + t("a_all") + " where s = U&'Gr\\00fc\\00dfe' "
                  "and c = U&'\\00e9' and raw = '\\x00000000'::bytea"),
            1);
}

// Values that the database refuses fail an n-row insert with the code and
// the text of the failing row alone, and leave nothing of the batch.
TEST_F(Kdb, AnArrayInsertFailsAsItsBadRowWould) {
  ASSERT_EQ(run("create table " + t("f") + " (k integer primary key, v varchar(3) not null "
                "check (v <> 'no'), n integer)"),
            0);
  ASSERT_EQ(run("insert into " + t("f") + " values (1, 'one', 1)"), 0);
  ASSERT_EQ(kdbcommit(&lda), 0);
  struct Case {
    const char* name;
    int32_t k;
    const char* v;
    const char* n;
    int rc;
  } cases[] = {
      {"unique", 1, "a", "1", KDB_UNIQUE},     {"too long", 7, "abcd", "1", KDB_GENERIC},
      {"not null", 7, "", "1", KDB_GENERIC},   {"check", 7, "no", "1", KDB_GENERIC},
      {"not a number", 7, "a", "x", KDB_BADNUMBER},
  };
  for (const Case& cs : cases) {
    int32_t k[3] = {5, cs.k, 6};
    char v[3][8] = {"a", "", "b"}, n[3][8] = {"1", "", "2"};
    std::strcpy(v[1], cs.v);
    std::strcpy(n[1], cs.n);
    std::string want;
    for (int rows : {1, 3}) {  // the bad row alone, then amid good ones
      kdbcda c{};
      ASSERT_EQ(kdbopen(&c, &lda), 0);
      ASSERT_EQ(kdbparse(&c, ("insert into " + t("f") + " values (:k, :v, :n)").c_str()), 0);
      int at = rows == 1 ? 1 : 0;
      ASSERT_EQ(kdbbndrv(&c, ":k", &k[at], 4, KDB_INTEGER), 0);
      ASSERT_EQ(kdbbndrv(&c, ":v", v[at], 8, KDB_STRING), 0);
      ASSERT_EQ(kdbbndrv(&c, ":n", n[at], 8, KDB_STRING), 0);
      EXPECT_EQ(kdbexn(&c, rows), cs.rc) << cs.name;
      EXPECT_EQ(c.rpc, 0u) << cs.name;
      if (rows == 1) want = err(cs.rc);
      else EXPECT_EQ(err(cs.rc), want) << cs.name;
      kdbclose(&c);
    }
    EXPECT_EQ(run("insert into " + t("f") + " values (9, 'ok', 9)"), 0) << cs.name;
    ASSERT_EQ(kdbcommit(&lda), 0);
    EXPECT_EQ(count("select count(*)::int from " + t("f") + " where k in (5, 6)"), 0) << cs.name;
    ASSERT_EQ(run("delete from " + t("f") + " where k = 9"), 0);
  }
}

// In a client character set whose characters may hold the bytes of a quote
// or a backslash, array values keep their characters whole.
TEST_F(Kdb, AnArrayInsertKeepsMultibyteCharactersWhole) {
  ASSERT_EQ(run("create table " + t("m") + " (k integer, s varchar(10))"), 0);
  ASSERT_EQ(kdbcharset(&lda, "SJIS"), 0);
  // Two characters whose second byte is a backslash, then a quote and one.
  const char* text[2] = {"\x83\x5c\x95\x5c", "\"\\\x83\x5c"};
  kdbcda c{};
  ASSERT_EQ(kdbopen(&c, &lda), 0);
  ASSERT_EQ(kdbparse(&c, ("insert into " + t("m") + " values (:k, :s)").c_str()), 0);
  int32_t k[2] = {1, 2};
  char s[2][8] = {};
  for (int r = 0; r < 2; ++r) std::strcpy(s[r], text[r]);
  ASSERT_EQ(kdbbndrv(&c, ":k", k, 4, KDB_INTEGER), 0);
  ASSERT_EQ(kdbbndrv(&c, ":s", s, 8, KDB_STRING), 0);
  ASSERT_EQ(kdbexn(&c, 2), 0) << err(c.rc);
  ASSERT_EQ(kdbparse(&c, ("select s from " + t("m") + " order by k").c_str()), 0);
  char got[2][12] = {};
  ASSERT_EQ(kdbdefin(&c, 1, got, 12, KDB_STRING), 0);
  ASSERT_EQ(kdbexfet(&c, 2), 0) << err(c.rc);
  for (int r = 0; r < 2; ++r) EXPECT_STREQ(got[r], text[r]) << r;
  ASSERT_EQ(kdbparse(&c, ("select count(*)::int from " + t("m") + " where s = U&'\\30bd\\8868'")
                             .c_str()),
            0);
  int32_t n = 0;
  ASSERT_EQ(kdbdefin(&c, 1, &n, 4, KDB_INTEGER), 0);
  ASSERT_EQ(kdbexfet(&c, 1), 0) << err(c.rc);
  EXPECT_EQ(n, 1);
  kdbclose(&c);
}

// Random rows in every client character set the server may set: an n-row
// insert (sent as arrays) stores exactly what the same rows inserted one at a
// time store. The texts mix characters whose bytes look like quotes,
// backslashes, braces or commas with those signs themselves, blanks at either
// end, the text NULL, empty values and NUL bytes; numbers reach their limits.
TEST_F(Kdb, RandomRowsStoreTheSameAsArraysAndOneByOne) {
  // The characters of a set that the server takes from a client: two-byte
  // candidates whose second byte means something in an array's text, and
  // characters of several scripts; those the set cannot hold are dropped.
  ASSERT_EQ(run("create function " + t("chars") + "(e name) returns text language plpgsql as $f$"
                "declare c bytea; p integer; r text := ''; begin "
                "for c in select set_byte(set_byte('\\x0000'::bytea, 0, l), 1, b) "
                "  from generate_series(129, 254, 5) l, unnest('{34,44,92,123,125,64,161}'::int[]) b "
                "loop begin perform convert_from(c, e); r := r || encode(c, 'hex') || ','; "
                "  exception when others then null; end; end loop; "
                "for p in select generate_series(160, 255) union all "
                "  select generate_series(880, 1103, 7) union all "
                "  select generate_series(12353, 12543, 5) union all "
                "  select generate_series(19968, 40869, 401) union all "
                "  select generate_series(44032, 55203, 997) union all "
                "  select generate_series(65281, 65439, 9) "
                "loop begin c := convert_to(chr(p), e); perform convert_from(c, e); "
                "  r := r || encode(c, 'hex') || ','; "
                "  exception when others then null; end; end loop; "
                "return r; end $f$"),
            0)
      << err(lda.rc);
  ASSERT_EQ(kdbcommit(&lda), 0);
  constexpr int kRows = 200;
  struct Rows {
    int32_t k[kRows];
    char s[kRows][200];
    uint16_t slen[kRows];
    int16_t sind[kRows];
    char z[kRows][64];
    char n[kRows][24];
    int64_t i[kRows];
    int16_t iind[kRows];
    uint64_t u[kRows];
    double f[kRows];
    uint8_t b[kRows][40];
    uint16_t blen[kRows];
  };
  auto v = std::make_unique<Rows>();
  std::mt19937_64 rnd(20240229);
  auto pick = [&](size_t n) { return static_cast<size_t>(rnd() % n); };
  const std::vector<std::string> specials = {"\"", "\\", "{", "}", ",", " ", "\t", "\n", "'",
                                             "NULL", "a", "7", std::string(1, '\0')};
  for (const char* enc : {"LATIN1", "EUC_JP", "SJIS", "EUC_KR", "EUC_CN", "GBK", "EUC_TW",
                          "BIG5", "UTF8"}) {
    SCOPED_TRACE(enc);
    std::vector<std::string> pool;
    {
      kdbcda q{};
      std::vector<char> hex(1 << 16);
      ASSERT_EQ(kdbopen(&q, &lda), 0);
      ASSERT_EQ(kdbparse(&q, ("select " + t("chars") + "('" + enc + "')").c_str()), 0)
          << err(q.rc);
      ASSERT_EQ(kdbdefin(&q, 1, hex.data(), static_cast<int32_t>(hex.size()), KDB_STRING), 0);
      ASSERT_EQ(kdbexfet(&q, 1), 0) << err(q.rc);
      kdbclose(&q);
      std::string h(hex.data());
      for (size_t at = 0, e; (e = h.find(',', at)) != std::string::npos; at = e + 1) {
        std::string c;
        for (size_t x = at; x + 1 < e; x += 2)
          c += static_cast<char>(std::stoi(h.substr(x, 2), nullptr, 16));
        pool.push_back(c);
      }
    }
    ASSERT_GT(pool.size(), 50u);
    // Random texts of characters of the set and signs, up to size - 1
    // bytes; now and then a whole value that means something on its own.
    auto text = [&](size_t size, bool nul) {
      static const char* whole[] = {"NULL", "null", "", " ", "  a b  ", "{}", "\"\"", "\\"};
      if (pick(8) == 0) return std::string(whole[pick(8)]);
      std::string o;
      for (size_t w = pick(16); w > 0; --w) {
        std::string c = pick(3) ? pool[pick(pool.size())] : specials[pick(specials.size())];
        if (c[0] == '\0' && !nul) continue;
        if (o.size() + c.size() >= size) break;
        o += c;
      }
      return o;
    };
    for (int r = 0; r < kRows; ++r) {
      v->k[r] = r;
      std::string s = text(sizeof v->s[r], true);
      std::memcpy(v->s[r], s.data(), s.size());
      v->slen[r] = static_cast<uint16_t>(s.size());
      v->sind[r] = pick(10) ? 0 : -1;
      std::string z = text(sizeof v->z[r], false);
      std::memcpy(v->z[r], z.c_str(), z.size() + 1);
      std::snprintf(v->n[r], sizeof v->n[r], "%s%lld.%02d%s", pick(2) ? " " : "",
                    static_cast<long long>(rnd() % 2000001) - 1000000, static_cast<int>(pick(100)),
                    pick(2) ? "  " : "");
      static const int64_t edges[] = {INT64_MIN, INT64_MAX, 0, -1};
      v->i[r] = pick(4) ? static_cast<int64_t>(rnd()) : edges[pick(4)];
      v->iind[r] = pick(10) ? 0 : -1;
      v->u[r] = pick(4) ? rnd() : UINT64_MAX;
      do {
        uint64_t bits = rnd();
        std::memcpy(&v->f[r], &bits, 8);
      } while (std::isnan(v->f[r]));
      v->blen[r] = static_cast<uint16_t>(pick(41));
      for (auto& x : v->b[r]) x = static_cast<uint8_t>(pick(4) ? rnd() : 0);
    }
    std::string a = t(std::string("ra_") + enc), b = t(std::string("rb_") + enc);
    ASSERT_EQ(kdbcharset(&lda, enc), 0);
    for (const std::string& tab : {a, b}) {
      ASSERT_EQ(run("create table " + tab + " (k integer, s text, z varchar(64), n numeric, "
                    "i bigint, u numeric(20), f float8, b bytea, h text)"),
                0)
          << err(lda.rc);
      kdbcda c{};
      ASSERT_EQ(kdbopen(&c, &lda), 0);
      ASSERT_EQ(kdbparse(&c, ("insert into " + tab + " values (:k, :s, :z, :n, :i, :u, :f, :b, :h)")
                                 .c_str()),
                0)
          << err(c.rc);
      int rows = tab == a ? kRows : 1;  // all at once, then one by one
      for (int r = 0; r < kRows; r += rows) {
        ASSERT_EQ(kdbbndrv(&c, ":k", &v->k[r], 4, KDB_INTEGER), 0);
        ASSERT_EQ(kdbbndrv(&c, ":s", v->s[r], 200, KDB_VARCHAR2, &v->sind[r], &v->slen[r]), 0);
        ASSERT_EQ(kdbbndrv(&c, ":z", v->z[r], 64, KDB_STRING), 0);
        ASSERT_EQ(kdbbndrv(&c, ":n", v->n[r], 24, KDB_STRING), 0);
        ASSERT_EQ(kdbbndrv(&c, ":i", &v->i[r], 8, KDB_INTEGER, &v->iind[r]), 0);
        ASSERT_EQ(kdbbndrv(&c, ":u", &v->u[r], 8, KDB_UNSIGNED), 0);
        ASSERT_EQ(kdbbndrv(&c, ":f", &v->f[r], 8, KDB_FLOAT), 0);
        ASSERT_EQ(kdbbndrv(&c, ":b", v->b[r], 40, KDB_RAW, nullptr, &v->blen[r]), 0);
        ASSERT_EQ(kdbbndrv(&c, ":h", v->b[r], 40, KDB_RAW, nullptr, &v->blen[r]), 0);
        ASSERT_EQ(kdbexn(&c, rows), 0) << err(c.rc);
        EXPECT_EQ(c.rpc, static_cast<uint32_t>(rows));
      }
      if (tab == a) {
        EXPECT_TRUE(sentasarrays(a));
      }
      kdbclose(&c);
    }
    ASSERT_EQ(kdbcommit(&lda), 0);
    EXPECT_EQ(count("select count(*)::int from " + a), kRows);
    EXPECT_EQ(count("select count(*)::int from ((select x::text from " + a + " x except all "
                    "select y::text from " + b + " y) union all (select y::text from " + b +
                    " y except all select x::text from " + a + " x)) d"),
              0);
  }
}

TEST_F(Kdb, LongColumnsAreReadInPieces) {
  ASSERT_EQ(run("create table " + t("l") + " (k integer, body text)"), 0);
  ASSERT_EQ(run("insert into " + t("l") + " values (1, repeat('abcdefghij', 500))"), 0);
  kdbcda c{};
  ASSERT_EQ(kdbopen(&c, &lda), 0);
  ASSERT_EQ(kdbparse(&c, ("select body from " + t("l")).c_str()), 0);
  char buf[1000];
  uint16_t len = 0, rcode = 0;
  int16_t ind = 0;
  ASSERT_EQ(kdbdefin(&c, 1, buf, sizeof buf, KDB_LONG, &ind, &len, &rcode), 0);
  ASSERT_EQ(kdbexfet(&c, 1), 0);
  EXPECT_EQ(rcode, KDB_TRUNCATED);
  EXPECT_EQ(ind, 5000);
  EXPECT_EQ(len, 1000);
  std::string all(buf, len);
  uint32_t got = 0;
  int rc;
  do {
    rc = kdbflng(&c, 1, buf, sizeof buf, KDB_LONG, &got, static_cast<uint32_t>(all.size()));
    all.append(buf, got);
  } while (rc == 0);
  EXPECT_EQ(rc, KDB_NODATA);
  EXPECT_EQ(all.size(), 5000u);
  EXPECT_EQ(all.substr(4990), "abcdefghij");
  // Without a return-code array the truncation is the fetch's own code.
  ASSERT_EQ(kdbdefin(&c, 1, buf, sizeof buf, KDB_LONG), 0);
  EXPECT_EQ(kdbexfet(&c, 1), KDB_TRUNCATED);
  kdbclose(&c);
}

TEST_F(Kdb, LongPiecesOfAnyRowOfTheLastFetch) {
  ASSERT_EQ(run("create table " + t("m") + " (k integer, body text)"), 0);
  ASSERT_EQ(run("insert into " + t("m") + " select k, repeat(chr(96 + k), 3000) from generate_series(1, 3) k"), 0);
  kdbcda c{};
  ASSERT_EQ(kdbopen(&c, &lda), 0);
  ASSERT_EQ(kdbparse(&c, ("select body from " + t("m") + " order by k").c_str()), 0);
  char rows[3][100];
  uint16_t len[3] = {}, rcode[3] = {};
  int16_t ind[3] = {};
  ASSERT_EQ(kdbdefin(&c, 1, rows, 100, KDB_LONG, ind, len, rcode), 0);
  ASSERT_EQ(kdbexfet(&c, 3), 0);
  for (int row : {1, 0, 2}) {
    char buf[1000];
    uint32_t got = 0;
    std::string all(rows[row], len[row]);
    int rc;
    do {
      rc = kdbflngr(&c, row, 1, buf, sizeof buf, KDB_LONG, &got, static_cast<uint32_t>(all.size()));
      all.append(buf, got);
    } while (rc == 0);
    EXPECT_EQ(rc, KDB_NODATA);
    EXPECT_EQ(all, std::string(3000, static_cast<char>('a' + row))) << row;
  }
  // A row beyond the last fetch is refused.
  char buf[10];
  uint32_t got = 0;
  EXPECT_EQ(kdbflngr(&c, 3, 1, buf, sizeof buf, KDB_LONG, &got, 0), KDB_BADCALL);
  kdbclose(&c);
}

TEST_F(Kdb, DescribeReportsTheSelectList) {
  ASSERT_EQ(run("create table " + t("x") + " (a varchar(31), b numeric(7,2), c text, d bytea, e varchar)"), 0);
  kdbcda c{};
  ASSERT_EQ(kdbopen(&c, &lda), 0);
  ASSERT_EQ(kdbparse(&c, ("select a, b, c, d, e from " + t("x")).c_str()), 0);
  struct { const char* name; int type; int size; } want[] = {
      {"a", KDB_VARCHAR2, 31}, {"b", KDB_NUMBER, 22}, {"c", KDB_LONG, 0}, {"d", KDB_LONGRAW, 0},
      {"e", KDB_LONG, 0}};
  int pos = 1;
  for (auto& w : want) {
    int32_t size = -1, nl = 30;
    int16_t type = -1, prec, scale, nullok;
    char name[30];
    ASSERT_EQ(kdbdescr(&c, pos++, &size, &type, name, &nl, &prec, &scale, &nullok), 0);
    EXPECT_EQ(std::string(name, nl), w.name);
    EXPECT_EQ(type, w.type);
    EXPECT_EQ(size, w.size);
  }
  int32_t size, nl = 30;
  int16_t type, prec, scale, nullok;
  char name[30];
  EXPECT_EQ(kdbdescr(&c, 6, &size, &type, name, &nl, &prec, &scale, &nullok), KDB_NOTINLIST);
  kdbclose(&c);
}

TEST_F(Kdb, TheTransportConnectionCommitsAtOnce) {
  ASSERT_EQ(run("create table " + t("q") + " (a int)"), 0);
  EXPECT_EQ(run("insert into " + t("q") + " values (1)", KDB_TRANSPORT), 0);
  EXPECT_EQ(count("select count(*)::int from " + t("q")), 1);
  EXPECT_EQ(run("insert into " + t("q") + " values (2)"), 0);
  EXPECT_EQ(count("select count(*)::int from " + t("q")), 1);
}

// The fence connection is a session of its own, and whatever code run on
// it did to that session is gone after kdbfence; its set-up runs on every
// fresh session, a replaced one included.
TEST_F(Kdb, TheFenceConnectionIsResetAfterEachCall) {
  auto one = [&](const std::string& sql, int link) {
    kdbcda c{};
    char v[64] = "";
    int16_t ind = 0;
    if (kdbopen(&c, &lda, link) != 0 || kdbparse(&c, sql.c_str()) != 0 ||
        kdbdefin(&c, 1, v, sizeof v, KDB_STRING, &ind) != 0 || kdbexfet(&c, 1) != 0)
      std::snprintf(v, sizeof v, "error %d", c.rc);
    kdbclose(&c);
    return std::string(ind < 0 ? "<null>" : v);
  };
  ASSERT_EQ(kdbfence(&lda, "SELECT set_config('application_name', 'fenced', false)"), 0);
  std::string pid = one("select pg_backend_pid()::text", KDB_FENCE);
  EXPECT_NE(pid, one("select pg_backend_pid()::text", KDB_WORK));
  EXPECT_NE(pid, one("select pg_backend_pid()::text", KDB_TRANSPORT));
  EXPECT_EQ(one("select current_setting('application_name')", KDB_FENCE), "fenced");
  EXPECT_EQ(run("select pg_advisory_lock(4242), set_config('work_mem', '77kB', false)", KDB_FENCE), 0);
  EXPECT_EQ(run("prepare kdbt_left as select 1", KDB_FENCE), 0);
  EXPECT_EQ(run("create temp table kdbt_tmp (a int)", KDB_FENCE), 0);
  EXPECT_EQ(kdbfence(&lda, nullptr), 0);
  EXPECT_EQ(one("select pg_backend_pid()::text", KDB_FENCE), pid);
  EXPECT_EQ(one("select count(*)::text from pg_locks where locktype = 'advisory' and "
                "pid = pg_backend_pid()", KDB_FENCE), "0");
  EXPECT_EQ(one("select current_setting('work_mem') <> '77kB' and "
                "to_regclass('pg_temp.kdbt_tmp') is null and "
                "current_setting('application_name') = 'fenced' and "
                "(select count(*) = 0 from pg_prepared_statements where name = 'kdbt_left')", KDB_FENCE),
            "t");
  // A fence session that is lost is replaced at its next use.
  EXPECT_NE(run("select pg_terminate_backend(pg_backend_pid())", KDB_FENCE), 0);
  EXPECT_EQ(kdbfence(&lda, nullptr), 0);
  std::string again = one("select pg_backend_pid()::text", KDB_FENCE);
  EXPECT_NE(again, pid);
  EXPECT_EQ(one("select current_setting('application_name')", KDB_FENCE), "fenced");
  EXPECT_EQ(kdbgone(&lda), 0);
}

TEST_F(Kdb, CollectionsComeBackAsArrays) {
  ASSERT_EQ(run("create procedure " + t("arr") +
                "(n integer, INOUT ids integer[]) language plpgsql as $$"
                " begin ids := array(select g from generate_series(1, n) g); end $$"), 0);
  kdbcda c{};
  ASSERT_EQ(kdbopen(&c, &lda), 0);
  ASSERT_EQ(kdbparse(&c, ("CALL " + t("arr") + "(:n, :ids)").c_str()), 0);
  int32_t n = 4, ids[10] = {0};
  int16_t ind[10];
  uint32_t cnt = 0;
  ASSERT_EQ(kdbbndrv(&c, ":n", &n, 4, KDB_INTEGER), 0);
  ASSERT_EQ(kdbbndra(&c, ":ids", ids, 4, KDB_INTEGER, ind, nullptr, nullptr, 10, &cnt), 0);
  ASSERT_EQ(kdbexec(&c), 0) << err(c.rc);
  EXPECT_EQ(cnt, 4u);
  EXPECT_EQ(ids[3], 4);
  n = 12;  // more than the array holds
  EXPECT_EQ(kdbexec(&c), KDB_TRUNCATED);
  EXPECT_EQ(cnt, 10u);
  kdbclose(&c);
}

TEST_F(Kdb, TraceSeesStatementsWithTheirBinds) {
  std::vector<std::string> lines;
  kdbtrace(&lda, [](void* ctx, const char* text) {
    static_cast<std::vector<std::string>*>(ctx)->push_back(text);
  }, &lines);
  kdbcda c{};
  ASSERT_EQ(kdbopen(&c, &lda), 0);
  ASSERT_EQ(kdbparse(&c, "select :who || 'x'"), 0);
  char who[] = "it's";
  char out[16];
  ASSERT_EQ(kdbbndrv(&c, ":who", who, sizeof who, KDB_STRING), 0);
  ASSERT_EQ(kdbdefin(&c, 1, out, sizeof out, KDB_STRING), 0);
  ASSERT_EQ(kdbexfet(&c, 1), 0);
  EXPECT_STREQ(out, "it'sx");
  kdbclose(&c);
  kdbtrace(&lda, nullptr, nullptr);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "SQL: select :who || 'x'\n  :WHO = 'it''s'");
}

// A wait for a notification wakes on one sent by another session, whether
// it is still on the socket or came in with an earlier result; all that came
// are one wake-up; with none the time runs out.
TEST_F(Kdb, WaitsForANotification) {
  const std::string ch = schema;  // a channel of this test's own
  ASSERT_EQ(run("LISTEN " + ch, KDB_TRANSPORT), 0);
  EXPECT_EQ(kdbwait(&lda, KDB_TRANSPORT, 0), KDB_NODATA);
  ASSERT_EQ(other("SELECT pg_notify('" + ch + "', 'a'), pg_notify('" + ch + "', 'b')"), 0);
  EXPECT_EQ(kdbwait(&lda, KDB_TRANSPORT, 60000), 0);
  EXPECT_EQ(kdbwait(&lda, KDB_TRANSPORT, 0), KDB_NODATA);
  ASSERT_EQ(other("SELECT pg_notify('" + ch + "', 'c')"), 0);
  ASSERT_EQ(run("select 1", KDB_TRANSPORT), 0);
  EXPECT_EQ(kdbwait(&lda, KDB_TRANSPORT, 60000), 0);
  EXPECT_EQ(kdbwait(&lda, KDB_TRANSPORT, 0), KDB_NODATA);
}

// A wait is where a lost connection is often found first; its caller may
// say nothing of it, so the next statement on that link names the loss, not
// a bare "not connected".
TEST_F(Kdb, TheCallAfterAWaitThatFoundTheLossNamesIt) {
  ASSERT_EQ(run("LISTEN " + schema, KDB_TRANSPORT), 0);
  kdbcda c{};
  ASSERT_EQ(kdbopen(&c, &lda, KDB_TRANSPORT), 0);
  ASSERT_EQ(kdbparse(&c, "select pg_backend_pid()"), 0);
  int32_t pid = 0;
  ASSERT_EQ(kdbdefin(&c, 1, &pid, 4, KDB_INTEGER), 0);
  ASSERT_EQ(kdbexfet(&c, 1), 0);
  kdbclose(&c);
  ASSERT_EQ(count("select pg_terminate_backend(" + std::to_string(pid) + ", 60000)::int"), 1);
  // The backend's farewell and its end may arrive apart: wait until the
  // wait itself fails.
  int rc = KDB_NODATA;
  for (int i = 0; i < 100 && (rc == KDB_NODATA || rc == 0); ++i) rc = kdbwait(&lda, KDB_TRANSPORT, 60000);
  ASSERT_EQ(rc, KDB_NOTCONNECTED);
  rc = run("select 1", KDB_TRANSPORT);
  EXPECT_EQ(rc, KDB_NOTCONNECTED);
  EXPECT_NE(err(rc).find("lost the connection"), std::string::npos) << err(rc);
}

TEST_F(Kdb, ALostConnectionIsAClearErrorNotACrash) {
  kdbcda c{};
  ASSERT_EQ(kdbopen(&c, &lda), 0);
  ASSERT_EQ(kdbparse(&c, "select pg_backend_pid()"), 0);
  int32_t pid = 0;
  ASSERT_EQ(kdbdefin(&c, 1, &pid, 4, KDB_INTEGER), 0);
  ASSERT_EQ(kdbexfet(&c, 1), 0);
  kdbclose(&c);
  // With a timeout the call returns only once the backend has gone (false,
  // with a warning, when it has not within that time).
  ASSERT_EQ(count("select pg_terminate_backend(" + std::to_string(pid) + ", 60000)::int"), 1);
  ASSERT_EQ(kdbopen(&c, &lda), 0);
  int rc = kdbparse(&c, "select 1");
  EXPECT_EQ(rc, KDB_NOTCONNECTED);
  EXPECT_NE(err(rc).find("connection"), std::string::npos) << err(rc);
  EXPECT_EQ(kdbexec(&c), KDB_NOTCONNECTED);
  kdbclose(&c);
  EXPECT_EQ(kdbcommit(&lda), KDB_NOTCONNECTED);
  EXPECT_EQ(kdbopen(&c, &lda), KDB_NOTCONNECTED);
  // The transport connection still works; log-off reports the loss.
  EXPECT_EQ(run("select 1", KDB_TRANSPORT), 0);
  EXPECT_EQ(kdblogoff(&lda), KDB_NOTCONNECTED);
  EXPECT_EQ(lda.sess, nullptr);
}

TEST(KdbLogon, CursorsOutliveTheirLogin) {
  if (!std::getenv("PGHOST")) GTEST_SKIP() << "no PG environment";
  kdblda lda{};
  std::string u = userstring();
  ASSERT_EQ(kdblogon(&lda, u.c_str(), -1), 0);
  kdbcda c{};
  ASSERT_EQ(kdbopen(&c, &lda), 0);
  ASSERT_EQ(kdbparse(&c, "select 1"), 0);
  ASSERT_EQ(kdbexec(&c), 0);
  ASSERT_EQ(kdblogoff(&lda), 0);
  int32_t v;
  EXPECT_EQ(kdbdefin(&c, 1, &v, 4, KDB_INTEGER), KDB_NOTCONNECTED);
  EXPECT_EQ(kdbfetch(&c, 1), KDB_NOTCONNECTED);
  EXPECT_EQ(kdbexec(&c), KDB_NOTCONNECTED);
  EXPECT_EQ(kdbclose(&c), 0);
  EXPECT_EQ(c.cur, nullptr);
}

TEST(KdbLogon, BadUserIsAnErrorWithText) {
  if (!std::getenv("PGHOST")) GTEST_SKIP() << "no PG environment";
  kdblda lda{};
  EXPECT_EQ(kdblogon(&lda, "no_such_role/pw", -1), KDB_NOTCONNECTED);
  char b[2050];
  kdberror(&lda, lda.rc, b, sizeof b);
  EXPECT_NE(std::string(b).find("no_such_role"), std::string::npos) << b;
  kdblogoff(&lda);
  EXPECT_EQ(kdblogon(&lda, "", -1), KDB_BADCALL);
  kdblogoff(&lda);
}

}  // namespace
