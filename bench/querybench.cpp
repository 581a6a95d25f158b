// Query latency of the server against the database's own text search over
// one generated corpus: rows of letter-only words whose frequencies follow a
// power law (fixed seed), indexed by a veksrv process of this build (empty
// stop list) and given a stored to_tsvector('simple', body) column with a
// GIN index. Each query class (words, AND and OR of two, two-word phrases,
// NEAR, prefixes) runs warm several times, banded by the rows it hits
// (over 1 % of the rows, or fewer): ours is a contains through
// dispatcher.submit into a result table, the database's the keys with
// ts_rank inserted into a table of the same form. Prints p50 and p95 per
// class and band, and whether both found the same number of rows; beside
// them where our time goes: the round trip of a command that does nothing,
// estimate_hits (evaluation alone) and count_hits (evaluation and the
// mapping of ids to keys), and a contains into a result table the user made
// himself against one of the result-table manager.
//   kes_bench_query [rows [runs per query]]   (100000 and 5 by default)
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
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "bench/benchdb.h"
#include "bench/wordcorpus.h"

namespace {

using clk = std::chrono::steady_clock;

constexpr int kPol = 1950;
constexpr int kVocab = 60000;

benchdb::Pq *g_pq = nullptr;  // the run's session, opened by main

double since(clk::time_point t0) { return std::chrono::duration<double, std::milli>(clk::now() - t0).count(); }

using benchdb::Reply;
Reply submit(int code, const std::vector<std::string> &args) { return benchdb::submit(*g_pq, code, args); }

using wordcorpus::Corpus;
using wordcorpus::pct;

// One query in both forms, with the rows the database finds for it.
struct Query {
  std::string cls, ours, pg;
  long hits = -1;
};


}  // namespace

int main(int argc, char **argv) {
  int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
  int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  setvbuf(stdout, nullptr, _IOLBF, 0);
  if (!std::getenv("PGDATABASE")) benchdb::die("set the PG environment (PGHOST, PGDATABASE, PGUSER)");
  setenv("KESTRIN_HOME", KES_SOURCE_DIR, 0);  // the server's message file
  benchdb::Pq pq;
  g_pq = &pq;
  pq.one("SET client_min_messages = warning");
  // A fresh corpus and policy each run.
  pq.one("DROP SCHEMA IF EXISTS qbench CASCADE");
  pq.one("DELETE FROM dr$policy_preference WHERE ppr_pol_id = " + std::to_string(kPol));
  pq.one("DELETE FROM dr$preference WHERE pre_id IN (19506, 19507)");
  pq.one("DELETE FROM dr$text_index_log WHERE txil_pol_id = " + std::to_string(kPol));
  pq.one("DELETE FROM dr$policy WHERE pol_id = " + std::to_string(kPol));
  pq.one("CREATE SCHEMA qbench");
  pq.one("CREATE TABLE qbench.docs (id integer PRIMARY KEY, body text)");

  auto t0 = clk::now();
  std::vector<std::string> docs;
  Corpus corpus = wordcorpus::generate(rows, kVocab, 20261210, &docs);
  pq.load("qbench.docs", docs);
  docs = {};
  std::string mb = pq.one("SELECT round(sum(octet_length(body)) / 1048576.0, 1) FROM qbench.docs");
  std::printf("corpus: %s rows, %s MB of text, %d words in the vocabulary (generated in %.1f s)\n",
              pq.one("SELECT count(*) FROM qbench.docs").c_str(), mb.c_str(), kVocab, since(t0) / 1000);

  // The policy: plain rows, the default lexer, an empty stop list, the base
  // engine with 64 MB of memory.
  std::string pol = std::to_string(kPol);
  pq.one("INSERT INTO dr$policy (pol_id, pol_name, pol_owner, pol_tablename, pol_text_expr,"
         " pol_text_type, pol_key_name, pol_key_type) VALUES (" + pol +
         ", 'QBENCH', 'QBENCH', 'DOCS', 'BODY', 8, 'ID', 2)");
  pq.one("INSERT INTO dr$preference (pre_id, pre_name, pre_cla_id, pre_obj_id) VALUES"
         " (19506, 'QBENCH_STOPS', 6, 1), (19507, 'QBENCH_ENGINE', 7, 1)");
  pq.one("INSERT INTO dr$policy_preference VALUES (" + pol + ", 6, 19506), (" + pol + ", 7, 19507)");
  pq.one("INSERT INTO dr$preference_attribute VALUES (19507, 'MEMORY', '67108864', 1)");

  std::string logpath = "/tmp/kes-bench-query-" + std::to_string(getpid()) + ".log";
  pid_t pid = benchdb::startsrv(KES_VEKSRV, "DQM", logpath);

  t0 = clk::now();
  bool indexed = submit(10, {pol, "1", "1", "C"}).code == 101 &&
                 submit(11, {pol, "1", "1", "1", "C"}).code == 101 &&
                 submit(29, {pol, "1", "C"}).code == 101;
  if (!indexed) {
    std::fprintf(stderr, "indexing failed; see %s\n", logpath.c_str());
    kill(pid, SIGTERM);
    return 1;
  }
  double ourindex = since(t0);
  t0 = clk::now();
  pq.one("ALTER TABLE qbench.docs ADD COLUMN tsv tsvector"
         " GENERATED ALWAYS AS (to_tsvector('simple', body)) STORED");
  pq.one("SET maintenance_work_mem = '64MB'");
  pq.one("CREATE INDEX docs_tsv ON qbench.docs USING gin (tsv)");
  pq.one("VACUUM ANALYZE qbench.docs");
  double pgindex = since(t0);
  std::printf("indexing: ours %.1f s (begin, populate, end through the dispatcher); the database's"
              " stored tsvector and GIN index %.1f s\n",
              ourindex / 1000, pgindex / 1000);

  // The result tables: ours from the result-table manager, the database's
  // of the same form.
  Reply tab = submit(46, {"0", "RESULT", "1"});
  std::string res = benchdb::fourth(tab);
  pq.one("CREATE TABLE qbench.pgres (textkey varchar(256), score real)");

  // Queries: words, pairs and prefixes across the frequency range.
  const Corpus &c = corpus;
  std::vector<Query> qs;
  auto word = [&](int r) { return c.vocab[r]; };
  std::vector<int> ranks = {0, 3, 10, 30, 60, 300, 1000, 3000, 8000, 20000};
  for (int r : ranks) qs.push_back({"word", word(r), word(r)});
  std::vector<std::pair<int, int>> two = {{0, 1}, {2, 5}, {1, 40}, {0, 300}, {5, 2000}, {100, 150},
                                          {3, 9}, {700, 900}, {20, 25}, {4000, 6}};
  for (auto [a, b] : two) qs.push_back({"and", word(a) + " & " + word(b), word(a) + " & " + word(b)});
  for (auto [a, b] : two) qs.push_back({"or", word(a) + " | " + word(b), word(a) + " | " + word(b)});
  for (auto [a, b] : two) qs.push_back({"near", word(a) + " near " + word(b), word(a) + " & " + word(b)});
  // Phrases: adjacent pairs that occur, from frequent to rare.
  std::vector<std::pair<std::pair<int, int>, int>> seen(c.pairs.begin(), c.pairs.end());
  std::sort(seen.begin(), seen.end(), [](auto &x, auto &y) { return x.second > y.second; });
  for (size_t i : {size_t{0}, size_t{1}, size_t{3}, size_t{10}, size_t{50}, seen.size() / 20,
                   seen.size() / 5, seen.size() / 2, seen.size() - 2})
    if (i < seen.size()) {
      auto [a, b] = seen[i].first;
      qs.push_back({"phrase", word(a) + " " + word(b), word(a) + " <-> " + word(b)});
    }
  for (int r : {0, 2, 7, 40, 500, 5000, 30000}) {
    for (size_t k : {size_t{2}, size_t{3}}) {
      std::string p = word(r).substr(0, std::min(k, word(r).size()));
      qs.push_back({"prefix", p + "%", p + ":*"});
    }
  }
  for (Query &q : qs)
    q.hits = std::atol(pq.one("SELECT count(*) FROM qbench.docs WHERE tsv @@ to_tsquery('simple', $1)",
                              {q.pg}).c_str());

  // The dispatcher's own share: a command that does nothing.
  std::vector<double> trip;
  for (int i = 0; i < 50; ++i) {
    auto t = clk::now();
    submit(201, {"1", "2"});
    trip.push_back(since(t));
  }
  std::printf("round trip of a command that does nothing: p50 %.2f ms, p95 %.2f ms\n", pct(trip, 0.5),
              pct(trip, 0.95));

  // A result table the user made himself, cleared and filled with his
  // rights through the fence connection, against one of the result-table
  // manager, written on the work connection, over the word queries.
  pq.one("CREATE TABLE qbench.ownres (LIKE " + res + ")");
  {
    std::vector<double> own, rtm;
    for (int i = 0; i < 40; ++i) {
      const Query &q = qs[static_cast<size_t>(i) % ranks.size()];
      for (int k = 0; k < 2; ++k) {
        auto t = clk::now();
        Reply r = submit(15, {pol, q.ours, k ? res : "qbench.ownres", "0", "0", "0", "0", "0", "", "NULL"});
        double ms = since(t);
        if (r.code != 101) std::fprintf(stderr, "query %s: %s\n", q.ours.c_str(), r.args.c_str());
        if (i >= static_cast<int>(ranks.size())) (k ? rtm : own).push_back(ms);  // the first round warms
      }
    }
    double o = pct(own, 0.5), m = pct(rtm, 0.5);
    std::printf("contains into the user's own result table: p50 %.2f ms, into one of the result-table "
                "manager: p50 %.2f ms (%.2fx)\n", o, m, m > 0 ? o / m : 0);
  }

  std::map<std::string, std::vector<double>> ours, pgs, evals, maps;
  std::map<std::string, int> nq, agree, checked;
  long band1 = rows / 100;
  for (const Query &q : qs) {
    std::string band = q.hits > band1 ? "over 1 %" : "selective";
    std::string key = q.cls + "|" + band;
    ++nq[key];
    std::string pgsql = "BEGIN; TRUNCATE qbench.pgres; INSERT INTO qbench.pgres SELECT d.id, "
                        "ts_rank(d.tsv, q) FROM qbench.docs d, to_tsquery('simple', '" +
                        q.pg + "') q WHERE d.tsv @@ q; COMMIT";
    for (int i = 0; i <= runs; ++i) {
      auto t = clk::now();
      Reply r = submit(15, {pol, q.ours, res, "0", "0", "0", "0", "0", "", "NULL"});
      double ms = since(t);
      if (r.code != 101) {
        std::fprintf(stderr, "query %s: %s\n", q.ours.c_str(), r.args.c_str());
        break;
      }
      if (i > 0) ours[key].push_back(ms);  // the first run only warms
      t = clk::now();
      submit(39, {pol, q.ours});
      if (i > 0) evals[key].push_back(since(t));
      t = clk::now();
      submit(38, {pol, q.ours});
      if (i > 0) maps[key].push_back(since(t));
      t = clk::now();
      pq.one(pgsql);
      ms = since(t);
      if (i > 0) pgs[key].push_back(ms);
    }
    if (q.cls != "near") {
      ++checked[key];
      long mine = std::atol(pq.one("SELECT count(*) FROM " + res).c_str());
      if (mine == q.hits) ++agree[key];
      else std::printf("  rows differ for %s: ours %ld, the database's %ld\n", q.ours.c_str(), mine, q.hits);
    }
  }

  std::printf("\n%-8s %-10s %7s %11s %11s %11s %11s %8s %10s %11s %11s\n", "class", "band", "queries",
              "ours p50", "ours p95", "pg p50", "pg p95", "p50 x", "same rows", "eval p50", "+keys p50");
  for (const char *cls : {"word", "and", "or", "phrase", "near", "prefix"}) {
    for (const char *band : {"over 1 %", "selective"}) {
      std::string key = std::string(cls) + "|" + band;
      if (!nq[key]) continue;
      double o50 = pct(ours[key], 0.5), p50 = pct(pgs[key], 0.5);
      std::string same = std::string(cls) == "near" ? "(timed)" :
                         std::to_string(agree[key]) + "/" + std::to_string(checked[key]);
      std::printf("%-8s %-10s %7d %8.2f ms %8.2f ms %8.2f ms %8.2f ms %8.2f %10s %8.2f ms %8.2f ms\n",
                  cls, band, nq[key], o50, pct(ours[key], 0.95), p50, pct(pgs[key], 0.95),
                  p50 > 0 ? o50 / p50 : 0, same.c_str(), pct(evals[key], 0.5), pct(maps[key], 0.5));
    }
  }
  std::printf("(near: the database's time is that of the AND of the same two words; eval: estimate_hits,"
              " +keys: count_hits, both through the dispatcher)\n");

  kill(pid, SIGTERM);
  int st = 0;
  waitpid(pid, &st, 0);
  std::remove(logpath.c_str());
  return 0;
}
