// Statements with text predicates rewritten by a veksrv process against the
// same statements written for the database's own text search, over one
// generated corpus (letter-only words, power-law frequencies, fixed seed):
// ours is rw_parse with evaluation (34, exec 1), the rewritten text run to
// its last row, and rw_close; the database's a WHERE tsv @@ to_tsquery
// over a GIN index ordered by ts_rank. One and two predicates, selective
// and frequent words; prints medians and whether both found the same rows,
// and rw_parse alone without evaluation.
//   kes_bench_rewrite [rows [runs]]   (100000 and 5 by default)
// Needs the PG environment of a database with the database side installed.
#include <libpq-fe.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "bench/benchdb.h"

namespace {

using clk = std::chrono::steady_clock;
constexpr int kPol = 1960;
constexpr int kVocab = 60000;

double since(clk::time_point t0) { return std::chrono::duration<double, std::milli>(clk::now() - t0).count(); }

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Words by rank and the documents, as the query benchmark makes them.
std::vector<std::string> generate(int rows, std::vector<std::string> *docs) {
  std::vector<std::string> vocab;
  std::mt19937_64 rng(20261210);
  std::set<std::string> seen;
  std::uniform_int_distribution<int> len(3, 10), letter(0, 25);
  while (static_cast<int>(vocab.size()) < kVocab) {
    std::string w;
    int n = len(rng);
    for (int i = 0; i < n; ++i) w += static_cast<char>('a' + letter(rng));
    if (seen.insert(w).second) vocab.push_back(w);
  }
  std::vector<double> weights(kVocab);
  for (int r = 0; r < kVocab; ++r) weights[r] = 1.0 / std::pow(r + 1.0, 1.05);
  std::discrete_distribution<int> pick(weights.begin(), weights.end());
  std::uniform_int_distribution<int> doclen(20, 80);
  for (int d = 1; d <= rows; ++d) {
    int n = doclen(rng);
    std::string body;
    for (int i = 0; i < n; ++i) body += (body.empty() ? "" : " ") + vocab[pick(rng)];
    docs->push_back(std::move(body));
  }
  return vocab;
}

// Element n (from 1) of a text[] in its output form.
std::string element(const char *a, int n) {
  int k = 0;
  std::string cur;
  bool quoted = false;
  for (const char *p = a + 1; *p; ++p) {
    if (quoted) {
      if (*p == '\\' && p[1]) cur += *++p;
      else if (*p == '"') quoted = false;
      else cur += *p;
      continue;
    }
    if (*p == '"') quoted = true;
    else if (*p == ',' || *p == '}') {
      if (++k == n) return cur == "NULL" ? "" : cur;
      cur.clear();
    } else cur += *p;
  }
  return "";
}

struct Rw {
  int code = 0;
  std::string text;
};

Rw rwparse(benchdb::Pq &pq, const std::string &me, const std::string &sid, const std::string &stmt,
           const char *exec) {
  PGresult *r = pq.run("CALL dispatcher.submit(34, $1, $2, '1', $3, '0', $4, timeout_s => 120)",
                       {me, sid, stmt, exec});
  Rw out;
  int ci = PQfnumber(r, "reply_code"), ai = PQfnumber(r, "reply_args");
  out.code = std::atoi(PQgetvalue(r, 0, ci));
  const char *args = PQgetvalue(r, 0, ai);
  out.text = out.code == 101 ? element(args, 7) + element(args, 8) : element(args, 1);
  PQclear(r);
  return out;
}

}  // namespace

int main(int argc, char **argv) {
  int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
  int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  setvbuf(stdout, nullptr, _IOLBF, 0);
  if (!std::getenv("PGDATABASE")) benchdb::die("set the PG environment (PGHOST, PGDATABASE, PGUSER)");
  setenv("KESTRIN_HOME", KES_SOURCE_DIR, 0);
  benchdb::Pq pq;
  pq.one("SET client_min_messages = warning");
  std::string pol = std::to_string(kPol);
  pq.one("DROP SCHEMA IF EXISTS rbench CASCADE");
  pq.one("DELETE FROM dr$policy_preference WHERE ppr_pol_id = " + pol);
  pq.one("DELETE FROM dr$preference WHERE pre_id IN (19606, 19607)");
  pq.one("DELETE FROM dr$text_index_log WHERE txil_pol_id = " + pol);
  pq.one("DELETE FROM dr$policy WHERE pol_id = " + pol);
  pq.one("CREATE SCHEMA rbench");
  pq.one("CREATE TABLE rbench.docs (id integer PRIMARY KEY, body text)");
  std::vector<std::string> docs;
  std::vector<std::string> vocab = generate(rows, &docs);
  pq.load("rbench.docs", docs);
  docs = {};
  pq.one("INSERT INTO dr$policy (pol_id, pol_name, pol_owner, pol_tablename, pol_text_expr,"
         " pol_text_type, pol_key_name, pol_key_type) VALUES (" + pol +
         ", 'RBENCH', 'RBENCH', 'DOCS', 'BODY', 8, 'ID', 2)");
  pq.one("INSERT INTO dr$preference (pre_id, pre_name, pre_cla_id, pre_obj_id) VALUES"
         " (19606, 'RBENCH_STOPS', 6, 1), (19607, 'RBENCH_ENGINE', 7, 1)");
  pq.one("INSERT INTO dr$policy_preference VALUES (" + pol + ", 6, 19606), (" + pol + ", 7, 19607)");
  pq.one("INSERT INTO dr$preference_attribute VALUES (19607, 'MEMORY', '67108864', 1)");
  std::string logpath = "/tmp/kes-bench-rewrite-" + std::to_string(getpid()) + ".log";
  pid_t pid = benchdb::startsrv(KES_VEKSRV, "DQM", logpath);
  bool indexed = benchdb::submit(pq, 10, {pol, "1", "1", "C"}).code == 101 &&
                 benchdb::submit(pq, 11, {pol, "1", "1", "1", "C"}).code == 101 &&
                 benchdb::submit(pq, 29, {pol, "1", "C"}).code == 101;
  if (!indexed) {
    std::fprintf(stderr, "indexing failed; see %s\n", logpath.c_str());
    kill(pid, SIGTERM);
    return 1;
  }
  pq.one("ALTER TABLE rbench.docs ADD COLUMN tsv tsvector"
         " GENERATED ALWAYS AS (to_tsvector('simple', body)) STORED");
  pq.one("CREATE INDEX docs_tsv ON rbench.docs USING gin (tsv)");
  pq.one("VACUUM ANALYZE rbench.docs");
  std::string me = pq.one("SELECT session_user");
  std::string sid = pq.one("SELECT pg_backend_pid()");
  std::printf("corpus: %d rows; rw_parse as %s, session %s\n", rows, me.c_str(), sid.c_str());

  struct Case {
    const char *name;
    std::string ours, pg;
  };
  auto one = [&](int r) {
    std::string w = vocab[static_cast<size_t>(r)];
    return Case{"", "select id, score(1) from rbench.docs d where contains(d.body, '" + w +
                        "', 1) > 0 order by score(1) desc, id",
                "SELECT id, ts_rank(tsv, q) s FROM rbench.docs, to_tsquery('simple', '" + w +
                    "') q WHERE tsv @@ q ORDER BY s DESC, id"};
  };
  auto two = [&](int a, int b) {
    std::string x = vocab[static_cast<size_t>(a)], y = vocab[static_cast<size_t>(b)];
    return Case{"", "select id, score(1), score(2) from rbench.docs where contains(body, '" + x +
                        "', 1) > 0 or contains(body, '" + y + "', 2) > 0 order by id",
                "SELECT id, ts_rank(tsv, q) s FROM rbench.docs, to_tsquery('simple', '" + x + " | " +
                    y + "') q WHERE tsv @@ q ORDER BY id"};
  };
  std::vector<Case> cases;
  Case c;
  c = one(3000), c.name = "one, selective", cases.push_back(c);
  c = one(3), c.name = "one, frequent", cases.push_back(c);
  c = two(3000, 8000), c.name = "two, selective", cases.push_back(c);
  c = two(3, 10), c.name = "two, frequent", cases.push_back(c);

  std::printf("\n%-16s %8s %12s %12s %8s %10s %14s\n", "statement", "rows", "ours p50", "pg p50",
              "x", "same rows", "parse alone p50");
  int curid = 0;
  for (const Case &k : cases) {
    std::vector<double> ours, pgs, alone;
    std::string mine, theirs;
    for (int i = 0; i <= runs; ++i) {
      std::string cur = std::to_string(++curid);
      auto t = clk::now();
      Rw r = rwparse(pq, me, sid, k.ours, "1");
      if (r.code != 101) benchdb::die(std::string(k.name) + ": " + r.text);
      mine = pq.one("SELECT count(*) FROM (" + r.text + ") x");
      double ms = since(t);
      benchdb::submit(pq, 36, {me, sid, "1"});
      if (i) ours.push_back(ms);
      t = clk::now();
      theirs = pq.one("SELECT count(*) FROM (" + k.pg + ") x");
      if (i) pgs.push_back(since(t));
      t = clk::now();
      Rw a = rwparse(pq, me, sid, k.ours, "0");
      if (i) alone.push_back(since(t));
      benchdb::submit(pq, 36, {me, sid, "1"});
      if (a.code != 101) benchdb::die(std::string(k.name) + ": " + a.text);
    }
    double o = median(ours), p = median(pgs);
    std::printf("%-16s %8s %9.2f ms %9.2f ms %8.2f %10s %11.2f ms\n", k.name, mine.c_str(), o, p,
                p > 0 ? o / p : 0, mine == theirs ? "yes" : "NO", median(alone));
  }
  kill(pid, SIGTERM);
  int st = 0;
  waitpid(pid, &st, 0);
  std::remove(logpath.c_str());
  return 0;
}
