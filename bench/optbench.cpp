// Index optimisation of a real veksrv against the database's GIN index over
// one generated corpus (letter-only words, power-law frequencies, fixed
// seed), indexed with the engine's default MEMORY so that frequent words
// get many rows. Prints, in one run:
//  - rows per word and query p50/p95 (frequent words over 1 % of the rows,
//    selective ones, their AND and phrases) before and after mode 2 (in
//    place, by the words' hash) and mode 3 (into the other token table),
//    beside the same queries on the GIN-indexed table, and the time of
//    each mode beside a REINDEX of the GIN index;
//  - after deleting 10 % of the rows, mode 1 (in place, dead ids only)
//    beside VACUUM of the GIN-indexed table, and after deleting another
//    10 %, mode 4 (lazy delete into the other table) beside VACUUM and
//    REINDEX;
//  - SQE(q) & w against a stored-hits table joined to the GIN-indexed
//    table in the database.
//   kes_bench_opt [rows [runs per query]]   (100000 and 7 by default)
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
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/benchdb.h"
#include "bench/wordcorpus.h"

namespace {

using clk = std::chrono::steady_clock;

constexpr int kPol = 1970;
constexpr int kVocab = 60000;
const std::string kSchema = "obench";

benchdb::Pq *g_pq = nullptr;  // the run's session, opened by main
std::string g_log;            // the server's log file
std::string g_pol = std::to_string(kPol);

double since(clk::time_point t0) { return std::chrono::duration<double, std::milli>(clk::now() - t0).count(); }

using benchdb::Reply;
Reply submit(int code, const std::vector<std::string> &args) { return benchdb::submit(*g_pq, code, args); }


using wordcorpus::Corpus;
using wordcorpus::pct;

// One query in both forms; its band by the rows the database finds.
struct Query {
  std::string cls, ours, pg;
  std::string band;
};

// The policy's token table as it stands (the suffix moves with modes 3, 4).
std::string tokens() {
  return kSchema + ".dr_0" + g_pol + "_i1t" + g_pq->one("SELECT dr_opt.suffix($1::integer)", {g_pol});
}

// Rows per word of the token table: in all, the most, and those of the
// words named.
void rowstats(const char *stage, const std::vector<std::pair<std::string, std::string>> &words) {
  std::string t = tokens();
  PGresult *r = g_pq->run("SELECT count(*), sum(n), max(n), round(avg(n), 2) FROM (SELECT count(*) AS n FROM " +
                          t + " GROUP BY word_text) w");
  std::printf("%-22s rows per word: %s words, %s rows, most %s, mean %s;", stage, PQgetvalue(r, 0, 0),
              PQgetvalue(r, 0, 1), PQgetvalue(r, 0, 2), PQgetvalue(r, 0, 3));
  PQclear(r);
  for (const auto &[label, w] : words)
    std::printf(" %s %s", label.c_str(),
                g_pq->one("SELECT count(*) FROM " + t + " WHERE word_text = upper($1)", {w}).c_str());
  std::printf("\n");
}

// Runs an optimisation as an administrator does; its time in ms, or -1.
// After a two-table mode it waits for the server's refresh of the policy,
// so that the next query reads the new table.
int g_refreshes = 0;
double optimize(int mode) {
  auto t0 = clk::now();
  PGresult *r = PQexec(g_pq->c, ("CALL dr_opt.optimize(" + g_pol + ", " + std::to_string(mode) + ", 1, 50, 3600)").c_str());
  bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
  if (!ok) std::fprintf(stderr, "mode %d: %s", mode, PQerrorMessage(g_pq->c));
  PQclear(r);
  double ms = since(t0);
  if (ok && (mode == 3 || mode == 4)) {
    ++g_refreshes;
    auto deadline = clk::now() + std::chrono::seconds(120);
    for (;;) {
      std::string l = benchdb::slurp(g_log);
      int got = 0;
      for (size_t at = l.find("refresh, user="); at != std::string::npos; at = l.find("refresh, user=", at + 1)) ++got;
      if (got >= g_refreshes) break;
      if (clk::now() > deadline) benchdb::die("no refresh after mode " + std::to_string(mode) + "; see " + g_log);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  return ok ? ms : -1;
}

// The median of runs of a statement in the database, in ms.
double pgtime(const std::string &sql, int runs) {
  std::vector<double> v;
  for (int i = 0; i < runs; ++i) {
    auto t = clk::now();
    g_pq->one(sql);
    v.push_back(since(t));
  }
  return pct(v, 0.5);
}

// Deletes the rows whose id is rest modulo 10 from the table, queues them
// for the server and waits for it to list them as dead; the rows deleted.
// A deleted row of the id list holds many ids, so the ids are counted, not
// the rows: a range's count, and a comma list's commas (each row of a list
// carries the count of the whole write, not its own).
long deleterows(int rest) {
  std::string cond = "id % 10 = " + std::to_string(rest);
  long n = std::atol(g_pq->one("SELECT count(*) FROM " + kSchema + ".docs WHERE " + cond).c_str());
  std::string lst = kSchema + ".dr_0" + g_pol + "_lst";
  std::string dead = "SELECT coalesce(sum(CASE contiguous WHEN 1 THEN idcount"
                     " ELSE length(data) - length(replace(data, ',', '')) END), 0) FROM " + lst +
                     " WHERE ltype = 'D'";
  long before = std::atol(g_pq->one(dead).c_str());
  auto t0 = clk::now();
  // The rows go before they are queued: a queued row still there is
  // indexed again, not deleted.
  g_pq->one("CREATE TEMP TABLE gone AS SELECT id FROM " + kSchema + ".docs WHERE " + cond);
  g_pq->one("DELETE FROM " + kSchema + ".docs WHERE " + cond);
  g_pq->one("DO $$ DECLARE k integer; BEGIN FOR k IN SELECT id FROM gone LOOP CALL dmlq.queue_change(" + g_pol +
            ", k::text); END LOOP; END $$");
  g_pq->one("DROP TABLE gone");
  auto deadline = clk::now() + std::chrono::seconds(900);
  std::string want = std::to_string(before + n);
  while (g_pq->one(dead) != want) {
    if (clk::now() > deadline) benchdb::die("deleted rows not listed as dead; see " + g_log);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::printf("deleted %ld rows (id %% 10 = %d): queued and listed dead by the server in %.1f s\n", n, rest,
              since(t0) / 1000);
  return n;
}

}  // namespace

int main(int argc, char **argv) {
  int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
  int runs = argc > 2 ? std::atoi(argv[2]) : 7;
  setvbuf(stdout, nullptr, _IOLBF, 0);
  if (!std::getenv("PGDATABASE")) benchdb::die("set the PG environment (PGHOST, PGDATABASE, PGUSER)");
  setenv("KESTRIN_HOME", KES_SOURCE_DIR, 0);  // the server's message file
  benchdb::Pq pq;
  g_pq = &pq;
  const std::string &pol = g_pol;
  pq.one("SET client_min_messages = warning");
  pq.one("DROP SCHEMA IF EXISTS " + kSchema + " CASCADE");
  pq.one("DELETE FROM dr$policy_preference WHERE ppr_pol_id = " + pol);
  pq.one("DELETE FROM dr$preference WHERE pre_id IN (19706, 19707)");
  pq.one("DELETE FROM dr$text_index_log WHERE txil_pol_id = " + pol);
  pq.one("DELETE FROM dr$sqe WHERE pol_id = " + pol);
  pq.one("DELETE FROM dr$policy WHERE pol_id = " + pol);
  pq.one("CREATE SCHEMA " + kSchema);
  pq.one("CREATE TABLE " + kSchema + ".docs (id integer PRIMARY KEY, body text)");

  auto t0 = clk::now();
  std::vector<std::string> docs;
  Corpus corpus = wordcorpus::generate(rows, kVocab, 20261211, &docs);
  pq.load(kSchema + ".docs", docs);
  docs = {};
  std::printf("corpus: %s rows, %s MB of text, %d words in the vocabulary (generated in %.1f s)\n",
              pq.one("SELECT count(*) FROM " + kSchema + ".docs").c_str(),
              pq.one("SELECT round(sum(octet_length(body)) / 1048576.0, 1) FROM " + kSchema + ".docs").c_str(),
              kVocab, since(t0) / 1000);

  // Plain rows, the default lexer, an empty stop list, the base engine
  // with its default MEMORY.
  pq.one("INSERT INTO dr$policy (pol_id, pol_name, pol_owner, pol_tablename, pol_text_expr,"
         " pol_text_type, pol_key_name, pol_key_type) VALUES (" + pol +
         ", 'OBENCH', 'OBENCH', 'DOCS', 'BODY', 8, 'ID', 2)");
  pq.one("INSERT INTO dr$preference (pre_id, pre_name, pre_cla_id, pre_obj_id) VALUES"
         " (19706, 'OBENCH_STOPS', 6, 1), (19707, 'OBENCH_ENGINE', 7, 1)");
  pq.one("INSERT INTO dr$policy_preference VALUES (" + pol + ", 6, 19706), (" + pol + ", 7, 19707)");

  g_log = "/tmp/kes-bench-opt-" + std::to_string(getpid()) + ".log";
  pid_t pid = benchdb::startsrv(KES_VEKSRV, "DQML", g_log);

  t0 = clk::now();
  bool indexed = submit(10, {pol, "1", "1", "C"}).code == 101 && submit(11, {pol, "1", "1", "1", "C"}).code == 101 &&
                 submit(29, {pol, "1", "C"}).code == 101;
  if (!indexed) {
    std::fprintf(stderr, "indexing failed; see %s\n", g_log.c_str());
    kill(pid, SIGTERM);
    return 1;
  }
  double ourindex = since(t0);
  t0 = clk::now();
  pq.one("ALTER TABLE " + kSchema + ".docs ADD COLUMN tsv tsvector"
         " GENERATED ALWAYS AS (to_tsvector('simple', body)) STORED");
  pq.one("CREATE INDEX docs_tsv ON " + kSchema + ".docs USING gin (tsv)");
  pq.one("VACUUM ANALYZE " + kSchema + ".docs");
  double pgindex = since(t0);
  std::printf("indexing: ours %.1f s (default MEMORY), the database's stored tsvector and GIN index %.1f s\n",
              ourindex / 1000, pgindex / 1000);

  Reply tab = submit(46, {"0", "RESULT", "1"});
  std::string res = benchdb::fourth(tab);
  pq.one("CREATE TABLE " + kSchema + ".pgres (textkey varchar(256), score real)");

  // The queries: single words, ANDs and phrases from frequent to rare.
  const Corpus &c = corpus;
  auto word = [&](int r) { return c.vocab[static_cast<size_t>(r)]; };
  std::vector<Query> qs;
  for (int r : {0, 3, 10, 30, 1000, 3000, 20000}) qs.push_back({"word", word(r), word(r), ""});
  for (auto [a, b] : std::vector<std::pair<int, int>>{{0, 1}, {2, 5}, {3, 9}, {0, 300}, {700, 900}})
    qs.push_back({"and", word(a) + " & " + word(b), word(a) + " & " + word(b), ""});
  std::vector<std::pair<std::pair<int, int>, int>> seen(c.pairs.begin(), c.pairs.end());
  std::sort(seen.begin(), seen.end(), [](auto &x, auto &y) { return x.second > y.second; });
  for (size_t i : {size_t{0}, size_t{3}, seen.size() / 20, seen.size() / 2})
    if (i < seen.size()) {
      auto [a, b] = seen[i].first;
      qs.push_back({"phrase", word(a) + " " + word(b), word(a) + " <-> " + word(b), ""});
    }
  for (Query &q : qs) {
    long hits = std::atol(pq.one("SELECT count(*) FROM " + kSchema + ".docs WHERE tsv @@ to_tsquery('simple', $1)",
                                 {q.pg}).c_str());
    q.band = hits > rows / 100 ? "frequent" : "selective";
  }
  std::vector<std::pair<std::string, std::string>> named = {
      {word(0), word(0)}, {word(30), word(30)}, {word(3000), word(3000)}};

  // The query classes' p50 and p95, ours and the database's, by band;
  // the p50s by class and band.
  using P50s = std::map<std::string, std::pair<double, double>>;
  auto queries = [&](const char *stage) {
    P50s got;
    std::map<std::string, std::vector<double>> ours, pgs;
    std::map<std::string, int> nq, agree;
    for (const Query &q : qs) {
      std::string key = q.cls + "|" + q.band;
      ++nq[key];
      std::string pgsql = "BEGIN; TRUNCATE " + kSchema + ".pgres; INSERT INTO " + kSchema +
                          ".pgres SELECT d.id, ts_rank(d.tsv, q) FROM " + kSchema +
                          ".docs d, to_tsquery('simple', '" + q.pg + "') q WHERE d.tsv @@ q; COMMIT";
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
        pq.one(pgsql);
        if (i > 0) pgs[key].push_back(since(t));
      }
      if (pq.one("SELECT count(*) FROM " + res) == pq.one("SELECT count(*) FROM " + kSchema + ".pgres")) ++agree[key];
    }
    std::printf("  queries %s:\n  %-7s %-10s %3s %11s %11s %11s %11s %7s %5s\n", stage, "class", "band", "n",
                "ours p50", "ours p95", "GIN p50", "GIN p95", "p50 x", "same");
    for (const char *cls : {"word", "and", "phrase"})
      for (const char *band : {"frequent", "selective"}) {
        std::string key = std::string(cls) + "|" + band;
        if (!nq[key]) continue;
        double o50 = pct(ours[key], 0.5), p50 = pct(pgs[key], 0.5);
        got[key] = {o50, p50};
        std::printf("  %-7s %-10s %3d %8.2f ms %8.2f ms %8.2f ms %8.2f ms %7.2f %2d/%-2d\n", cls, band, nq[key], o50,
                    pct(ours[key], 0.95), p50, pct(pgs[key], 0.95), p50 > 0 ? o50 / p50 : 0, agree[key], nq[key]);
      }
    return got;
  };

  std::string reindex = "REINDEX INDEX " + kSchema + ".docs_tsv";
  std::printf("\n== before optimisation\n");
  rowstats("before", named);
  queries("before");
  double ri = pgtime(reindex, 3);
  std::printf("  REINDEX of the GIN index (100 %% of the rows): p50 of 3 %.0f ms\n", ri);

  std::printf("\n== mode 2 (in place, words by hash, threshold 50)\n");
  double m2 = optimize(2);
  std::printf("  mode 2: %.0f ms (%.2fx REINDEX)\n", m2, m2 / ri);
  rowstats("after mode 2", named);
  queries("after mode 2");

  std::printf("\n== mode 3 (every word into the other token table)\n");
  double m3 = optimize(3);
  std::printf("  mode 3: %.0f ms (%.2fx REINDEX)\n", m3, m3 / ri);
  rowstats("after mode 3", named);
  P50s after3 = queries("after mode 3");

  // Deleting: mode 1 after one tenth, mode 4 after another.
  std::printf("\n== mode 1 (in place, dead ids) after deleting 10 %% of the rows\n");
  deleterows(0);
  rowstats("deleted, before mode 1", named);
  double m1 = optimize(1);
  double vac1 = pgtime("VACUUM " + kSchema + ".docs", 1);
  double ri1 = pgtime(reindex, 3);
  std::printf("  mode 1: %.0f ms; the database: VACUUM %.0f ms, REINDEX p50 of 3 %.0f ms\n", m1, vac1, ri1);
  rowstats("after mode 1", named);
  queries("after mode 1");

  std::printf("\n== mode 4 (lazy delete into the other token table) after deleting another 10 %%\n");
  deleterows(5);
  double m4 = optimize(4);
  double vac4 = pgtime("VACUUM " + kSchema + ".docs", 1);
  double ri4 = pgtime(reindex, 3);
  std::printf("  mode 4: %.0f ms; the database: VACUUM %.0f ms, REINDEX p50 of 3 %.0f ms\n", m4, vac4, ri4);
  rowstats("after mode 4", named);
  queries("after mode 4");

  // A stored query and a word: ours from the stored hits, the database's
  // from a table of the stored query's hits joined to the word's rows.
  std::printf("\n== SQE(q) & w against a stored-hits table joined in the database\n");
  std::string sq = word(1) + " | " + word(4);
  t0 = clk::now();
  Reply saved = submit(42, {"0", pol, "", "obq", sq, "0"});
  double saveours = since(t0);
  if (saved.code != 101) std::fprintf(stderr, "sqe save: %s (see %s)\n", saved.args.c_str(), g_log.c_str());
  std::string hits = kSchema + ".sqehits";
  t0 = clk::now();
  pq.one("CREATE TABLE " + hits + " AS SELECT d.id, ts_rank(d.tsv, q) AS score FROM " + kSchema +
         ".docs d, to_tsquery('simple', '" + word(1) + " | " + word(4) + "') q WHERE d.tsv @@ q");
  pq.one("ALTER TABLE " + hits + " ADD PRIMARY KEY (id)");
  pq.one("ANALYZE " + hits);
  double savepg = since(t0);
  std::printf("  q = %s: %s hits; saved: ours %.0f ms, the database's hits table %.0f ms\n", sq.c_str(),
              pq.one("SELECT count(*) FROM " + hits).c_str(), saveours, savepg);
  std::printf("  %-12s %-9s %11s %11s %11s %11s %7s %5s\n", "w", "w rows", "ours p50", "ours p95", "join p50",
              "join p95", "p50 x", "same");
  double sqe0 = 0, join0 = 0;
  for (int r : {0, 10, 300, 3000}) {
    std::string w = word(r);
    std::string pgsql = "BEGIN; TRUNCATE " + kSchema + ".pgres; INSERT INTO " + kSchema +
                        ".pgres SELECT d.id, least(s.score, ts_rank(d.tsv, q)) FROM " + hits + " s JOIN " +
                        kSchema + ".docs d ON d.id = s.id, to_tsquery('simple', '" + w +
                        "') q WHERE d.tsv @@ q; COMMIT";
    std::vector<double> ours, pgs;
    for (int i = 0; i <= runs; ++i) {
      auto t = clk::now();
      Reply rr = submit(15, {pol, "SQE(obq) & " + w, res, "0", "0", "0", "0", "0", "", "NULL"});
      double ms = since(t);
      if (rr.code != 101) {
        std::fprintf(stderr, "SQE(obq) & %s: %s\n", w.c_str(), rr.args.c_str());
        break;
      }
      if (i > 0) ours.push_back(ms);
      t = clk::now();
      pq.one(pgsql);
      if (i > 0) pgs.push_back(since(t));
    }
    std::string same = pq.one("SELECT count(*) FROM " + res) + "/" + pq.one("SELECT count(*) FROM " + kSchema + ".pgres");
    std::string wrows = pq.one("SELECT count(*) FROM " + kSchema + ".docs WHERE tsv @@ to_tsquery('simple', $1)", {w});
    double o50 = pct(ours, 0.5), p50 = pct(pgs, 0.5);
    if (r == 0) sqe0 = o50, join0 = p50;
    std::printf("  %-12s %-9s %8.2f ms %8.2f ms %8.2f ms %8.2f ms %7.2f %s\n", w.c_str(), wrows.c_str(), o50,
                pct(ours, 0.95), p50, pct(pgs, 0.95), p50 > 0 ? o50 / p50 : 0, same.c_str());
  }
  submit(42, {"1", pol, "", "obq", "", "0"});

  // The targets, one line each for scripts/bench.
  std::printf("\nfigure\topt_mode3_frequent_word_ms\t%.3f\t%.3f\t<=1.2x\n", after3["word|frequent"].first,
              after3["word|frequent"].second);
  std::printf("figure\topt_mode3_frequent_and_ms\t%.3f\t%.3f\t<=1.2x\n", after3["and|frequent"].first,
              after3["and|frequent"].second);
  std::printf("figure\topt_mode3_vs_reindex_ms\t%.0f\t%.0f\t<=3x\n", m3, ri);
  std::printf("figure\topt_sqe_and_frequent_ms\t%.3f\t%.3f\t<=2x\n", sqe0, join0);
  // Without a target: the in-place and lazy modes beside REINDEX.
  std::printf("figure\topt_mode2_vs_reindex_ms\t%.0f\t%.0f\t-\n", m2, ri);
  std::printf("figure\topt_mode1_vs_reindex_ms\t%.0f\t%.0f\t-\n", m1, ri1);
  std::printf("figure\topt_mode4_vs_reindex_ms\t%.0f\t%.0f\t-\n", m4, ri4);

  kill(pid, SIGTERM);
  int st = 0;
  waitpid(pid, &st, 0);
  std::remove(g_log.c_str());
  return 0;
}
