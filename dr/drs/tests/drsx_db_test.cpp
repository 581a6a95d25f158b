// The row reader against the private cluster: slices of a populate, the
// record's attributes and limits, nulls, composite keys, changed rows, key
// lists, long texts and a fetch refused in the middle of a batch.
#include <algorithm>
#include <cmath>
#include <array>
#include <set>

#include "dr/dras/drasrv.h"
#include "dr/drs/tests/dsfix.h"

namespace {

using dsfix::Attrs;
using dsfix::Doc;

class Rows : public dsfix::Store {
 protected:
  // A plain-row policy over t.<table>(k <keytype>, body <bodytype>) filled
  // by a query of (k, body) rows; the data store built for it.
  drobj *table(int pol, const std::string &name, const std::string &keydef,
               const std::string &bodydef, const std::string &rows, int texttype, int keytype,
               const Attrs &attrs = {}) {
    pq->one("CREATE TABLE t." + name + " (k " + keydef + " PRIMARY KEY, body " + bodydef + ")");
    if (!rows.empty()) pq->one("INSERT INTO t." + name + " " + rows);
    policy(pol, name, "BODY", texttype, "K", keytype);
    prefer(pol, 1, attrs);
    return build(pol, drsdirnew);
  }
  // How often the log shows the batch statement over a table executed.
  int executions(const std::string &what) {
    std::string l = log();
    int n = 0;
    for (size_t at = 0; (at = l.find(what, at)) != std::string::npos; ++at) ++n;
    return n;
  }
};

// The server (1 to n) whose slice holds a key: a numeric key by the whole
// part of its absolute value, a character key (ASCII here) by the product of
// its first two codes, a missing second counting 1.
int slice(const std::string &key, int keytype, int n) {
  long v = keytype == 2 ? static_cast<long>(std::fabs(std::stod(key)))
                        : static_cast<unsigned char>(key[0]) *
                              (key.size() > 1 ? static_cast<unsigned char>(key[1]) : 1L);
  return static_cast<int>(v % n) + 1;
}

TEST_F(Rows, SlicesSplitTheTableBetweenServers) {
  struct {
    const char *name, *keydef;
    int keytype;
    const char *rows;
  } const cases[] = {
      {"num", "integer", 2, "SELECT g, 'doc ' || g FROM generate_series(1, 1000) g"},
      // One-letter keys, whose second character counts 1, among longer ones.
      {"chr", "varchar(20)", 1,
       "SELECT DISTINCT k, 'doc ' || k FROM (SELECT chr(65 + g % 26) || CASE WHEN g < 26 THEN ''"
       " ELSE g::text END AS k FROM generate_series(0, 400) g) s"},
      {"neg", "numeric(8,2)", 2,
       "SELECT (g - 150) / 4.0, 'doc ' || ((g - 150) / 4.0)::numeric(8,2)"
       " FROM generate_series(1, 300) g"},
  };
  int pol = 100;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    drobj *ds = table(++pol, c.name, c.keydef, "varchar(100)", c.rows, 1, c.keytype);
    ASSERT_NE(ds, nullptr) << stack();
    std::vector<std::string> all = pq->col(std::string("SELECT k::text AS key FROM t.") + c.name + " ORDER BY k");
    std::set<std::string> seen;
    for (int srv = 1; srv <= 3; ++srv) {
      ASSERT_EQ(ops(ds)->start(ds, 3, srv, 'C', 0), 0) << stack();
      int32_t count = -1;
      ops(ds)->count(ds, &count);
      std::vector<Doc> docs = drain(ds);
      EXPECT_EQ(count, static_cast<int32_t>(docs.size())) << "server " << srv;
      EXPECT_GT(docs.size(), 0u) << "server " << srv;
      // In key order: a subsequence of the table's order.
      auto at = all.begin();
      for (const Doc &d : docs) {
        at = std::find(at, all.end(), d.key);
        ASSERT_NE(at, all.end()) << d.key << " out of order or unknown, server " << srv;
        EXPECT_TRUE(seen.insert(d.key).second) << d.key << " in two slices";
        EXPECT_EQ(slice(d.key, c.keytype, 3), srv) << d.key;
        EXPECT_EQ(d.op, DRSX_OPINDEX);
        EXPECT_EQ(d.text, "doc " + d.key);
      }
    }
    EXPECT_EQ(seen, std::set<std::string>(all.begin(), all.end()));
    ops(ds)->free(ds);
  }
}

TEST_F(Rows, AttributesAndNamesShapeTheRecord) {
  pq->one("CREATE TABLE t.a (k integer, body text)");
  pq->one("INSERT INTO dr$object_attribute VALUES (1, 1, 'UNKNOWN', 11, 'NUMBER', 'Y')");
  std::string key17;
  for (int i = 1; i <= 17; ++i) key17 += (i > 1 ? "," : "") + std::string("K") + std::to_string(i);
  struct {
    const char *name;
    int obj, texttype;
    Attrs attrs;
    std::string keys;
    int size, perfetch;  // 0: refused
    std::vector<int> msgs;
  } const cases[] = {
      {"characters", 1, 1, {}, "K", 2001, 32, {}},
      {"long text", 1, 8, {}, "K", 16000, 4, {}},
      {"bytes", 1, 24, {}, "K", 16000, 4, {}},
      {"largest", 1, 1, {{"BUFSIZE", "65535"}}, "K", 65535, 1, {}},
      {"smallest", 1, 1, {{"BUFSIZE", "2048"}}, "K", 2048, 31, {}},
      {"too small", 1, 1, {{"BUFSIZE", "100"}}, "K", 0, 0, {10704, 10705, 10000}},
      {"path fits", 3, 1, {{"PATH", std::string(1023, 'p')}}, "K", 2001, 32, {}},
      {"path too long", 3, 1, {{"PATH", std::string(1024, 'p')}}, "K", 0, 0, {10706, 10000}},
      {"unknown attribute", 1, 1, {{"UNKNOWN", "1"}}, "K", 0, 0, {100, 10000}},
      {"sixteen keys", 1, 1, {}, key17.substr(0, key17.rfind(',')), 2001, 32, {}},
      {"seventeen keys", 1, 1, {}, key17, 0, 0, {10723, 10000}},
      {"long key name", 1, 1, {}, "K," + std::string(65, 'N'), 0, 0, {10722, 10000}},
      {"key expression", 1, 1, {}, "K,1)--", 0, 0, {10722, 10000}},
  };
  int pol = 200;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    policy(++pol, "A", "BODY", c.texttype, c.keys, 2);
    prefer(pol, c.obj, c.attrs);
    drobj *ds = build(pol, c.obj == 3 ? drsfilnew : drsdirnew);
    if (c.size == 0) {
      EXPECT_EQ(ds, nullptr);
      for (int m : c.msgs) EXPECT_TRUE(druefind(st, m)) << m << "\n" << stack();
      drueclr(st);
      continue;
    }
    ASSERT_NE(ds, nullptr) << stack();
    drsxstate *x = drsxof(ds);
    EXPECT_EQ(x->rs.textsize, c.size);
    EXPECT_EQ(x->rs.perfetch, c.perfetch);
    if (c.obj == 3) EXPECT_EQ(std::string(x->path), c.attrs[0].second);
    ops(ds)->free(ds);
  }
}

TEST_F(Rows, NullTextIsEmptyAndNullKeyFails) {
  pq->one("CREATE TABLE t.n (k1 integer, k2 varchar(10), body text)");
  pq->one("INSERT INTO t.n VALUES (1, 'a', NULL), (2, 'b', 'x'), (3, NULL, 'y')");
  policy(300, "N", "BODY", 8, "K1,K2", 1);
  prefer(300, 1);
  drobj *ds = build(300, drsdirnew);
  ASSERT_NE(ds, nullptr) << stack();
  ASSERT_EQ(ops(ds)->start(ds, 1, 1, 'C', 0), 0) << stack();
  int32_t op = 0;
  char key[DRDS_KEYSIZE];
  ASSERT_EQ(ops(ds)->next(ds, &op, key), 0);
  EXPECT_EQ(op, DRSX_OPINDEX);
  EXPECT_STREQ(key, "1,a");
  EXPECT_EQ(text(ds), "");
  ASSERT_EQ(ops(ds)->next(ds, &op, key), 0);
  EXPECT_EQ(text(ds), "x");
  // A null in the second key column, not only the first, is refused.
  EXPECT_EQ(ops(ds)->next(ds, &op, key), 1);
  EXPECT_TRUE(druefind(st, 50854)) << stack();
  EXPECT_TRUE(druefind(st, 10000));
  ops(ds)->free(ds);
}

TEST_F(Rows, CompositeKeysAreEscapedAndSplitBack) {
  struct {
    const char *a, *b;
    const char *key;  // null: refused at next key with 10720
  } const cases[] = {
      {"x,y", "p\\q", "x\\,y,p\\\\q"},
      {"plain", "1,2\\,3", "plain,1\\,2\\\\\\,3"},
      {"\\", ",", "\\\\,\\,"},
      {"64", nullptr, nullptr},   // a value of 65 bytes
      {"128", nullptr, nullptr},  // two values of 64 commas: 257 bytes escaped
  };
  int pol = 400;
  for (const auto &c : cases) {
    ++pol;
    std::string tab = "C" + std::to_string(pol);
    pq->one("CREATE TABLE t." + tab + " (a varchar(200), b varchar(200), body text)");
    std::string a = c.a, b = c.b ? c.b : "";
    if (std::string(c.a) == "64") a = std::string(65, 'v'), b = "w";
    if (std::string(c.a) == "128") a = b = std::string(64, ',');
    SCOPED_TRACE(a + " / " + b);
    pq->one("INSERT INTO t." + tab + " VALUES ($1, $2, 'text')", {a, b});
    policy(pol, tab, "BODY", 8, "A,B", 1);
    prefer(pol, 1);
    drobj *ds = build(pol, drsdirnew);
    ASSERT_NE(ds, nullptr) << stack();
    ASSERT_EQ(ops(ds)->start(ds, 1, 1, 'C', 0), 0) << stack();
    int32_t op = 0;
    char key[DRDS_KEYSIZE];
    int rc = ops(ds)->next(ds, &op, key);
    if (!c.key) {
      EXPECT_EQ(rc, 1);
      EXPECT_TRUE(druefind(st, 10720)) << stack();
      drueclr(st);
    } else {
      ASSERT_EQ(rc, 0) << stack();
      EXPECT_STREQ(key, c.key);
      // Split back as the queue's own function splits it.
      char vals[DRSX_MAXKEYS][DRSX_CKEYVAL];
      int32_t n = 0;
      ASSERT_EQ(drsxkeysplit(drsxof(ds), key, vals, &n), 0);
      ASSERT_EQ(n, 2);
      EXPECT_EQ(vals[0], a);
      EXPECT_EQ(vals[1], b);
      EXPECT_EQ(pq->one("SELECT dmlq.get_textkey($1, 1)", {std::string(key)}), a);
      EXPECT_EQ(pq->one("SELECT dmlq.get_textkey($1, 2)", {std::string(key)}), b);
    }
    ops(ds)->free(ds);
  }
}

TEST_F(Rows, ChangedRowsAreDeletedThenIndexedAgain) {
  char mask[] = "M";
  st->pmask = mask;
  std::string user = db.user();
  st->user = user.data();
  ASSERT_EQ(drasmadd(st), 0) << stack();
  struct {
    const char *name, *keys, *create, *rows;
    std::vector<std::string> queued;   // in key order of the queue's texts
    std::vector<std::pair<std::string, std::string>> present;  // still in the table: key, text
    const char *other;  // a key another session has taken
  } const cases[] = {
      {"one", "K", "k integer, body text", "(3, 'three'), (5, 'five'), (7, 'seven'), (8, 'eight')",
       {"3", "5", "7", "9"}, {{"3", "three"}, {"5", "five"}, {"7", "seven"}}, "8"},
      {"two", "K,J", "k integer, j varchar(10), body text",
       "(1, 'a', 'one a'), (1, 'b,c', 'one bc'), (2, 'a', 'two a'), (3, 'x', 'three x')",
       {"1,a", "1,b\\,c", "1,z", "2,a"}, {{"1,a", "one a"}, {"1,b\\,c", "one bc"}, {"2,a", "two a"}},
       "3,x"},
  };
  int pol = 500;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ++pol;
    std::string tab = std::string("D") + c.name;
    pq->one("CREATE TABLE t." + tab + " (" + c.create + ")");
    pq->one("INSERT INTO t." + tab + " VALUES " + c.rows);
    policy(pol, tab, "BODY", 8, c.keys, std::string(c.name) == "one" ? 2 : 1);
    prefer(pol, 1);
    drobj *ds = build(pol, drsdirnew);
    ASSERT_NE(ds, nullptr) << stack();
    pq->one("INSERT INTO dmlq.queue (pol_id, pkey, state, sid) VALUES ($1::integer, $2, 'I', 999)",
            {std::to_string(pol), std::string(c.other)});
    for (auto k = c.queued.rbegin(); k != c.queued.rend(); ++k)
      pq->one("CALL dmlq.queue_change($1::integer, $2)", {std::to_string(pol), *k});
    pq->one("CALL listener.get_cmd($1::integer, $2, 'M', NULL::integer, NULL::integer, NULL, NULL,"
            " NULL::integer, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,"
            " NULL::integer, NULL::integer)",
            {std::to_string(st->audsid), std::string(st->mbox)});
    ASSERT_EQ(ops(ds)->dml(ds), 0) << stack();
    int32_t count = 0;
    ops(ds)->count(ds, &count);
    EXPECT_EQ(count, static_cast<int32_t>(c.queued.size()));
    std::vector<Doc> docs = drain(ds);
    std::vector<Doc> want;
    for (const auto &k : c.queued) want.push_back({DRSX_OPDELETE, k, ""});
    for (const auto &[k, t] : c.present) want.push_back({DRSX_OPINDEX, k, t});
    EXPECT_EQ(docs, want);
    pq->one("CALL dmlq.batch_done($1::integer)", {std::to_string(st->audsid)});
    ops(ds)->free(ds);
  }
}

TEST_F(Rows, KeyListsRunInGroups) {
  struct {
    const char *name;
    int ncols, nkeys, groups;
  } const cases[] = {
      {"one column", 1, 60, 2}, {"two columns", 2, 30, 2}, {"three columns", 3, 16, 2},
      {"five columns", 5, 5, 2}, {"no keys", 1, 0, 0},
  };
  int pol = 600;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ++pol;
    std::string tab = "L" + std::to_string(pol), cols, names, vals;
    for (int i = 1; i <= c.ncols; ++i) {
      cols += "c" + std::to_string(i) + " integer, ";
      names += (i > 1 ? "," : "") + std::string("C") + std::to_string(i);
      vals += (i > 1 ? ", " : "") + std::string("g + ") + std::to_string(i - 1);
    }
    pq->one("CREATE TABLE t." + tab + " (" + cols + "body text)");
    pq->one("INSERT INTO t." + tab + " SELECT " + vals + ", 'doc' FROM generate_series(1, 100) g");
    policy(pol, tab, "BODY", 8, names, c.ncols == 1 ? 2 : 1);
    prefer(pol, 1);
    drobj *ds = build(pol, drsdirnew);
    ASSERT_NE(ds, nullptr) << stack();
    static_assert(sizeof(std::array<char, DRDS_KEYSIZE>) == DRDS_KEYSIZE);
    std::vector<std::array<char, DRDS_KEYSIZE>> list(static_cast<size_t>(c.nkeys) + 1);
    std::vector<std::string> want;
    for (int g = 1; g <= c.nkeys; ++g) {
      std::string k;
      for (int i = 1; i <= c.ncols; ++i) k += (i > 1 ? "," : "") + std::to_string(g + i - 1);
      std::snprintf(list[static_cast<size_t>(g - 1)].data(), DRDS_KEYSIZE, "%s", k.c_str());
      want.push_back(k);
    }
    int before = executions(" from T." + tab + " BASE where");
    ASSERT_EQ(ops(ds)->key(ds, reinterpret_cast<char (*)[DRDS_KEYSIZE]>(list.data()), c.nkeys), 0)
        << stack();
    int32_t count = -1;
    ops(ds)->count(ds, &count);
    EXPECT_EQ(count, c.nkeys);
    std::vector<Doc> docs = drain(ds);
    EXPECT_EQ(keys(docs), want);
    EXPECT_EQ(executions(" from T." + tab + " BASE where") - before, c.groups);
    ops(ds)->free(ds);
  }
  // The second group of sixty keys repeats the sixtieth in its spare binds.
  EXPECT_NE(log().find(":X049 = '60'"), std::string::npos);
}

TEST_F(Rows, LongTextsAreReadWhole) {
  struct {
    const char *name, *bodydef;
    int texttype;
    Attrs attrs;
    int size;
    bool arrayfirst;  // the first read of 16000 bytes finds them all in the fetch
  } const cases[] = {
      {"text", "text", 8, {{"BUFSIZE", "16000"}}, 40000, true},
      {"bytes", "bytea", 24, {{"BUFSIZE", "16000"}}, 40000, true},
      // A text the fetch cuts is read on whatever its type.
      {"characters", "varchar(20000)", 1, {}, 10000, false},
      {"five megabytes", "text", 8, {}, 5 << 20, true},
  };
  int pol = 700;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ++pol;
    std::string tab = "T" + std::to_string(pol);
    // Every byte value for bytes; two-byte characters among one-byte ones
    // for text, so that the fetch cuts inside a character. The session's
    // set is Latin-1 (no NLS_LANG): a text comes out one byte a character.
    bool bytes = std::string(c.bodydef) == "bytea";
    int chars = c.size * 5 / 6;
    std::string gen = bytes ? "SELECT 1, decode(string_agg(lpad(to_hex(g % 256), 2, '0'), ''), 'hex')"
                              " FROM generate_series(0, " + std::to_string(c.size - 1) + ") g"
                            : "SELECT 1, left(repeat('abcd\u00e9', " + std::to_string(chars / 5 + 1) +
                                  "), " + std::to_string(chars) + ")";
    drobj *ds = table(pol, tab, "integer", c.bodydef, gen, c.texttype, 2, c.attrs);
    ASSERT_NE(ds, nullptr) << stack();
    std::string want;
    for (int i = 0; i < (bytes ? c.size : chars); ++i) {
      if (bytes) want += static_cast<char>(i % 256);
      else if (i % 5 == 4) want += "\xE9";
      else want += static_cast<char>('a' + i % 5);
    }
    std::string piecesql = " from T." + tab + " where K = :cur_pkey1";
    ASSERT_EQ(ops(ds)->start(ds, 1, 1, 'C', 0), 0) << stack();
    int32_t op = 0;
    char key[DRDS_KEYSIZE];
    ASSERT_EQ(ops(ds)->next(ds, &op, key), 0) << stack();
    std::vector<char> buf(16000);
    int32_t got = 0;
    ASSERT_EQ(drsxfetch(ds, buf.data(), 16000, &got), 0);
    // Bytes fill the read from the fetch; a text gives the fetch's part
    // of it, converted.
    if (bytes) EXPECT_EQ(got, std::min<int32_t>(16000, static_cast<int32_t>(want.size())));
    else EXPECT_GT(got, 0);
    if (c.arrayfirst) EXPECT_EQ(executions(piecesql), 0);
    std::string all(buf.data(), static_cast<size_t>(got));
    all += text(ds, 32767);
    EXPECT_GT(executions(piecesql), 0);
    EXPECT_EQ(all.size(), want.size());
    EXPECT_TRUE(all == want) << "texts differ";
    EXPECT_EQ(ops(ds)->next(ds, &op, key), 2);
    ops(ds)->free(ds);
  }
}

// A UTF-8 session takes every character, so texts travel as they are (no
// conversion to bytes on the database's side); a fetch that cuts inside a
// character of three or four bytes still gives the whole text.
class RowsUtf8 : public Rows {
 public:
  RowsUtf8() { nls = "AMERICAN_AMERICA.UTF8"; }
};

TEST_F(RowsUtf8, TextsTravelAsTheyAreAndAreReadWhole) {
  struct {
    const char *name, *bodydef, *unit;
    int texttype;
    Attrs attrs;
    int units;
  } const cases[] = {
      {"text", "text", "abc€", 8, {{"BUFSIZE", "16000"}}, 12000},
      {"characters", "varchar(20000)", "ab𝄞", 1, {}, 3000},
  };
  int pol = 760;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ++pol;
    std::string tab = "T" + std::to_string(pol);
    drobj *ds = table(pol, tab, "integer", c.bodydef,
                      "SELECT 1, repeat('" + std::string(c.unit) + "', " + std::to_string(c.units) + ")",
                      c.texttype, 2, c.attrs);
    ASSERT_NE(ds, nullptr) << stack();
    std::string want;
    for (int i = 0; i < c.units; ++i) want += c.unit;
    ASSERT_EQ(ops(ds)->start(ds, 1, 1, 'C', 0), 0) << stack();
    int32_t op = 0;
    char key[DRDS_KEYSIZE];
    ASSERT_EQ(ops(ds)->next(ds, &op, key), 0) << stack();
    std::string all = text(ds, 16000);
    EXPECT_EQ(all.size(), want.size());
    EXPECT_TRUE(all == want) << "texts differ";
    EXPECT_EQ(executions("convert_to"), 0);
    ops(ds)->free(ds);
  }
}

TEST_F(Rows, RefusedFetchResumesAfterTheLastKey) {
  struct {
    const char *name;
    int cols, kind, lines;
    bool commit;
  } const cases[] = {
      {"one key", 1, DRSX_ROWKIND, 0, false},
      {"two keys", 2, DRSX_ROWKIND, 0, false},
      {"detail lines", 2, DRSX_DETAILKIND, 7, false},
      {"commits between fetches", 1, DRSX_ROWKIND, 0, true},
  };
  int pol = 800;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ++pol;
    std::string tab = "R" + std::to_string(pol);
    bool det = c.kind == DRSX_DETAILKIND;
    std::string keys = c.cols == 1 ? "K" : "K,J";
    pq->one("CREATE TABLE t." + tab + " (k integer, j integer, ln integer, body text)");
    // 1000 rows: one per key (of one or two columns), or seven lines for
    // each of 143 keys of two columns.
    const char *cols = det ? "g / 7, 0, g % 7" : c.cols == 1 ? "g, 0, 0" : "g / 10, g % 10, 0";
    pq->one("INSERT INTO t." + tab + " SELECT " + std::string(cols) +
            ", 'line ' || g FROM generate_series(" + (det ? "7, 1007" : "0, 999") + ") g");
    // 2001 bytes a row: 32 rows a fetch.
    policy(pol, tab, "BODY", 1, keys, c.cols == 1 ? 2 : 1, det ? "LN" : "");
    prefer(pol, det ? 2 : 1);
    drobj *ds = build(pol, det ? drsdetnew : drsdirnew);
    ASSERT_NE(ds, nullptr) << stack();
    ASSERT_EQ(ops(ds)->start(ds, 1, 1, 'C', 0), 0) << stack();
    std::vector<Doc> want = drain(ds);
    ASSERT_EQ(want.size(), det ? 143u : 1000u);
    int32_t count = 0;
    ops(ds)->count(ds, &count);
    EXPECT_EQ(count, static_cast<int32_t>(want.size()));
    int before = executions(" from T." + tab + " BASE where");
    ASSERT_EQ(ops(ds)->start(ds, 1, 1, 'C', 0), 0) << stack();
    // The fourth fetch, after three full arrays, is refused.
    druofetat(4, DRUO_TOOOLD);
    std::vector<Doc> docs;
    int32_t op = 0;
    char key[DRDS_KEYSIZE];
    int rc;
    while ((rc = ops(ds)->next(ds, &op, key)) == 0) {
      docs.push_back({op, key, text(ds)});
      if (c.commit && docs.size() % 10 == 0) ASSERT_EQ(druocmt(st), 0) << stack();
    }
    druofetat(0, 0);
    EXPECT_EQ(rc, 2) << stack();
    EXPECT_EQ(executions(" from T." + tab + " BASE where") - before, 2);
    EXPECT_EQ(docs.size(), want.size());
    for (size_t i = 0; i < std::min(docs.size(), want.size()); ++i)
      ASSERT_EQ(docs[i], want[i]) << "document " << i;
    ops(ds)->free(ds);
  }
}

}  // namespace
