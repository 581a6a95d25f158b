// Statement text handling of the client layer: placeholder rewriting, kinds,
// the SQLSTATE mapping, function-code names and the banner.
#include "platform/db/db.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Rewritten {
  std::string text;
  std::vector<std::string> names;
};

Rewritten rewrite(const std::string& sql) {
  char out[4096], names[4096];
  int n = kdbplaceholders(sql.data(), sql.size(), out, sizeof out, names, sizeof names);
  EXPECT_GE(n, 0);
  Rewritten r{out, {}};
  for (const char* p = names; *p; p += std::strlen(p) + 1) r.names.push_back(p);
  EXPECT_EQ(static_cast<size_t>(n), r.names.size());
  return r;
}

TEST(KdbPlaceholders, RewritesNamesAndLeavesTheRestAlone) {
  struct Case {
    const char* in;
    const char* out;
    std::vector<std::string> names;
  } cases[] = {
      {"select 1", "select 1", {}},
      {"CALL p(:a, :B, :a)", "CALL p($1, $2, $1)", {"A", "B"}},
      {"select x::int from t where y = :y", "select x::int from t where y = $1", {"Y"}},
      {"select ':no', \":no\" from t where a=:yes", "select ':no', \":no\" from t where a=$1", {"YES"}},
      {"select 'it''s :no' || :x", "select 'it''s :no' || $1", {"X"}},
      {"select E'\\' :no' , :x", "select E'\\' :no' , $1", {"X"}},
      {"select 1 -- :no\n, :x", "select 1 -- :no\n, $1", {"X"}},
      {"select /* :no /* :no */ */ :x", "select /* :no /* :no */ */ $1", {"X"}},
      {"do $$ begin x := :no; end $$", "do $$ begin x := :no; end $$", {}},
      {"select $q$ :no $q$, :x", "select $q$ :no $q$, $1", {"X"}},
      {"insert into t values(:v0,:v1,:v10)", "insert into t values($1,$2,$3)", {"V0", "V1", "V10"}},
      {"select :1, :2 from dr$policy", "select $1, $2 from dr$policy", {"1", "2"}},
      {"select 'unterminated :x", "select 'unterminated :x", {}},
      {"a := :b", "a := $1", {"B"}},
  };
  for (auto& c : cases) {
    Rewritten r = rewrite(c.in);
    EXPECT_EQ(r.text, c.out) << c.in;
    EXPECT_EQ(r.names, c.names) << c.in;
  }
}

TEST(KdbPlaceholders, RefusesBuffersTooSmall) {
  char out[8], names[64];
  EXPECT_EQ(kdbplaceholders("select :abc from t", 18, out, sizeof out, names, sizeof names), -1);
  char out2[64], names2[3];
  EXPECT_EQ(kdbplaceholders("select :abc", 11, out2, sizeof out2, names2, sizeof names2), -1);
}

// An insert of one row is turned into one over arrays only when its text
// says exactly one row of values; anything else keeps its own text.
TEST(KdbUnnest, ReadsTheRowFromArraysOrRefusesOtherShapes) {
  const char* tail = " FROM unnest($1, $2) AS kdb_rows(kdb_1, kdb_2)";
  struct Case {
    const char* in;
    int nparams;
    std::string out;  // empty: refused
  } cases[] = {
      {"insert into t (a, b) values ($1, $2)", 2,
       std::string("insert into t (a, b) SELECT kdb_rows.kdb_1, kdb_rows.kdb_2") + tail},
      {"INSERT INTO t VALUES( upper($2), $1 || '$1 ) (', $2 ) ;", 2,
       std::string("INSERT INTO t SELECT  upper(kdb_rows.kdb_2), kdb_rows.kdb_1 || '$1 ) (', "
                   "kdb_rows.kdb_2 ") +
           tail + " ;"},
      {"insert into t values /* (x) */ ($1, \"$2\"($2))", 2,
       std::string("insert into t SELECT kdb_rows.kdb_1, \"$2\"(kdb_rows.kdb_2)") + tail},
      {"insert into t (values_) values ($1, $2) -- end", 2,
       std::string("insert into t (values_) SELECT kdb_rows.kdb_1, kdb_rows.kdb_2") + tail +
           " -- end"},
      {"insert into t values ($1, $2), ($1, $2)", 2, ""},
      {"insert into t values ($1, $2) on conflict do nothing", 2, ""},
      {"insert into t values ($1, $2) returning a", 2, ""},
      {"insert into t values ($1, default)", 1, ""},
      {"insert into t values ($1, (select max(a) from t))", 1, ""},
      {"insert into t values (selected($1))", 1,
       "insert into t SELECT selected(kdb_rows.kdb_1) FROM unnest($1) AS kdb_rows(kdb_1)"},
      {"insert into t select $1, $2", 2, ""},
      {"insert into t default values", 0, ""},
      {"insert into t values (1, 2)", 0, ""},
      {"insert into t values ($1, $3)", 2, ""},
      {"with x as (select $1) insert into t values ($2, $2)", 2, ""},
      {"update t set a = $1 where b = $2", 2, ""},
      {"insert into t values ($1, $2", 2, ""},
      {"insert into t values ('$1', $1)", 1,
       "insert into t SELECT '$1', kdb_rows.kdb_1 FROM unnest($1) AS kdb_rows(kdb_1)"},
      // Names as the database reads them: quoted, qualified, an alias, columns
      // with fields, an identity override.
      {"insert into \"s\".\"t$1\" as x (\"a\", b.c) overriding system value values ($2, $1)", 2,
       std::string("insert into \"s\".\"t$1\" as x (\"a\", b.c) overriding system value "
                   "SELECT kdb_rows.kdb_2, kdb_rows.kdb_1") + tail},
      // A query joined to the row runs once for all the rows, not for each.
      {"insert into t select 1, 2 union all values ($1, $2)", 2, ""},
      {"insert into t table u union values ($1, $2)", 2, ""},
      // '#' is an operator to the database, never part of a name: what
      // follows it is a placeholder, an E'' literal, a dollar-quoted text.
      {"insert into t values ($1 #$2, 1 #E'\\'' , $1, #$$ $2 $$)", 2,
       std::string("insert into t SELECT kdb_rows.kdb_1 #kdb_rows.kdb_2, 1 #E'\\'' , "
                   "kdb_rows.kdb_1, #$$ $2 $$") + tail},
      // A dollar-quote tag may hold bytes of non-ASCII characters.
      {"insert into t values ($\xc3\xa9$ $1 $\xc3\xa9$, $1)", 1,
       "insert into t SELECT $\xc3\xa9$ $1 $\xc3\xa9$, kdb_rows.kdb_1 FROM unnest($1) AS "
       "kdb_rows(kdb_1)"},
  };
  for (const Case& c : cases) {
    char out[512];
    long n = kdbunnest(c.in, std::strlen(c.in), c.nparams, out, sizeof out);
    if (c.out.empty()) {
      EXPECT_EQ(n, 0) << c.in;
      continue;
    }
    EXPECT_EQ(n, static_cast<long>(c.out.size())) << c.in;
    EXPECT_EQ(std::string(out), c.out) << c.in;
    // Too small a buffer gets the length and no text.
    char small[8] = "x";
    EXPECT_EQ(kdbunnest(c.in, std::strlen(c.in), c.nparams, small, sizeof small), n);
    EXPECT_STREQ(small, "x");
  }
}

TEST(KdbKind, ByFirstKeyword) {
  struct {
    const char* sql;
    int kind;
  } cases[] = {
      {"  select 1", KDB_FT_QUERY},  {"(select 1)", KDB_FT_QUERY},
      {"/* c */ with x as (select 1) select * from x", KDB_FT_QUERY},
      {"-- c\ninsert into t values (1)", KDB_FT_DML},  {"update t set a = 1", KDB_FT_DML},
      {"create table t (a int)", KDB_FT_DDL},  {"truncate table t", KDB_FT_DDL},
      {"drop sequence s", KDB_FT_DDL},  {"CALL p()", KDB_FT_CALL},
      {"set x = 1", KDB_FT_OTHER},  {"", KDB_FT_OTHER},
  };
  for (auto& c : cases) EXPECT_EQ(kdbkind(c.sql, std::strlen(c.sql)), c.kind) << c.sql;
}

TEST(KdbSqlState, MapsOntoTheCodesTheServerTests) {
  struct {
    const char* st;
    const char* msg;
    int rc;
  } cases[] = {
      {"42P07", "relation \"t\" already exists", 955},
      {"42710", "x", 955},
      {"42P01", "relation \"t\" does not exist", 942},
      {"42P01", "sequence \"s\" does not exist", 2289},
      {"42883", "procedure p() does not exist", 6550},
      {"3F000", "schema \"x\" does not exist", 6550},
      {"42703", "column \"c\" does not exist", 904},
      {"23505", "duplicate key", 1},
      {"DRT01", "app", 20000},
      {"P0001", "raise", 20000},
      {"57P01", "terminating connection", 3114},
      {"08006", "lost", 3114},
      {"22021", "invalid byte sequence for encoding \"UTF8\": 0xff", 1483},
      {"22P05", "character has no equivalent", 1483},
      {"42601", "syntax error", 600},
      {nullptr, nullptr, 600},
  };
  for (auto& c : cases) EXPECT_EQ(kdbsqlstate(c.st, c.msg), c.rc) << (c.st ? c.st : "null");
}

TEST(KdbNames, FunctionCodesAndBanner) {
  EXPECT_STREQ(kdbfcname(54), "KPARSE");
  EXPECT_STREQ(kdbfcname(12), "KFETCH");
  EXPECT_STREQ(kdbfcname(62), "KBNDRA");
  EXPECT_STREQ(kdbfcname(1), "not used");
  EXPECT_STREQ(kdbfcname(63), "not used");
  char b[152];
  ASSERT_EQ(kdbbanner(b, sizeof b, "Kestrin Lumidex Option", 0x02004000, 0), 0);
  EXPECT_STREQ(b, "Kestrin Lumidex Option Release 2.0.4.0.0 - Production");
  char small[10];
  ASSERT_EQ(kdbbanner(small, sizeof small, "Kestrin Lumidex Option", 0x02004000, 0), 0);
  EXPECT_EQ(std::strlen(small), 9u);
}

}  // namespace
