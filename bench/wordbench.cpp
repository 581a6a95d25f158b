// The word list against the database's own tools over one generated corpus:
// rows of real English words (the forms of the build's English lexicon,
// which it makes from the en_US hunspell dictionary) whose frequencies
// follow a power law (fixed seed), indexed by a veksrv process of this build
// with a word list that keeps its word table. Each query runs warm several
// times; medians:
//   - the exact word through dispatcher.submit, the base the others'
//     expansions are measured above;
//   - $word (stem) through dispatcher.submit beside to_tsquery('english')
//     over a stored to_tsvector('english', body) with a GIN index, with the
//     overlap of the two hit sets;
//   - ?word (fuzzy) beside pg_trgm's word % 'x' over a GIN trigram index
//     on the same vocabulary;
//   - !word (soundex) beside fuzzystrmatch's soundex over a btree index;
//   - the expansions alone: a query's excess over the same word's exact
//     query where the expansion adds no word to look up, so that what is
//     left is the expansion's own work (fuzzy: made-up words whose
//     candidates all rank below the threshold; soundex: words alone in
//     their code's group), beside the same peers;
//   - the end of indexing, which fills the word table, per 1000 words;
//   - the whole indexing (populate and end) of a policy with the word table
//     beside the same indexing of a second policy without a word list, and
//     a batch of changed rows (new rows, a few new words each) through each
//     of them: the word list's share of the cost.
//   kes_bench_word [rows [runs per query]]   (100000 and 5 by default)
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
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "bench/benchdb.h"

namespace {

using clk = std::chrono::steady_clock;
constexpr int kPol = 1960;
benchdb::Pq *g_pq = nullptr;

double since(clk::time_point t0) {
  return std::chrono::duration<double, std::milli>(clk::now() - t0).count();
}

using benchdb::Reply;
Reply submit(int code, const std::vector<std::string> &args) { return benchdb::submit(*g_pq, code, args); }

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The letter-only forms of the lexicon's pairs ("form<TAB>stem"), shuffled
// with a fixed seed so that frequency does not follow the alphabet.
std::vector<std::string> vocabulary() {
  std::ifstream in(std::string(KES_LEXICONS) + "/mlen.is.pairs");
  std::set<std::string> seen;
  std::vector<std::string> v;
  for (std::string line; std::getline(in, line);) {
    std::string form = line.substr(0, line.find('\t'));
    bool ok = form.size() >= 2 && form.size() <= 20;
    for (char c : form) ok = ok && c >= 'a' && c <= 'z';
    if (ok && seen.insert(form).second) v.push_back(form);
  }
  std::mt19937_64 rng(20261211);
  std::shuffle(v.begin(), v.end(), rng);
  return v;
}

void figure(const char *name, double ours, double peer, const char *target) {
  std::printf("figure\t%s\t%.3f\t%.3f\t%s\n", name, ours, peer, target);
}

}  // namespace

int main(int argc, char **argv) {
  int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
  int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  setvbuf(stdout, nullptr, _IOLBF, 0);
  if (!std::getenv("PGDATABASE")) benchdb::die("set the PG environment (PGHOST, PGDATABASE, PGUSER)");
  setenv("KESTRIN_HOME", KES_SOURCE_DIR, 0);
  setenv("VEK73", KES_BINARY_DIR, 0);  // the stemming lexicons in its admin folder
  std::vector<std::string> vocab = vocabulary();
  if (vocab.size() < 1000) benchdb::die("no English lexicon pairs in " KES_LEXICONS);
  benchdb::Pq pq;
  g_pq = &pq;
  pq.one("SET client_min_messages = warning");
  pq.one("CREATE EXTENSION IF NOT EXISTS pg_trgm");
  std::string pol = std::to_string(kPol), plain = std::to_string(kPol + 1);
  pq.one("DROP SCHEMA IF EXISTS wbench CASCADE");
  for (const std::string &p : {pol, plain}) {
    pq.one("DELETE FROM dmlq.queue WHERE pol_id = " + p);
    pq.one("DELETE FROM dr$policy_preference WHERE ppr_pol_id = " + p);
    pq.one("DELETE FROM dr$text_index_log WHERE txil_pol_id = " + p);
    pq.one("DELETE FROM dr$policy WHERE pol_id = " + p);
  }
  pq.one("DELETE FROM dr$preference WHERE pre_id IN (19605, 19606)");
  pq.one("CREATE SCHEMA wbench");
  pq.one("CREATE TABLE wbench.docs (id integer PRIMARY KEY, body text)");

  // Documents of 20 to 80 words drawn by a power law over the ranks.
  std::mt19937_64 rng(20261212);
  std::vector<double> weights(vocab.size());
  for (size_t r = 0; r < vocab.size(); ++r) weights[r] = 1.0 / std::pow(static_cast<double>(r) + 1.0, 1.05);
  std::discrete_distribution<size_t> pick(weights.begin(), weights.end());
  std::uniform_int_distribution<int> doclen(20, 80);
  std::vector<std::string> docs;
  for (int d = 0; d < rows; ++d) {
    std::string body;
    for (int i = doclen(rng); i > 0; --i) body += (body.empty() ? "" : " ") + vocab[pick(rng)];
    docs.push_back(std::move(body));
  }
  pq.load("wbench.docs", docs);
  docs = {};

  pq.one("INSERT INTO dr$policy (pol_id, pol_name, pol_owner, pol_tablename, pol_text_expr,"
         " pol_text_type, pol_key_name, pol_key_type) VALUES (" + pol +
         ", 'WBENCH', 'WBENCH', 'DOCS', 'BODY', 8, 'ID', 2)");
  pq.one("INSERT INTO dr$preference (pre_id, pre_name, pre_cla_id, pre_obj_id) VALUES"
         " (19605, 'WBENCH_WORDS', 5, 1), (19606, 'WBENCH_STOPS', 6, 1)");
  pq.one("INSERT INTO dr$policy_preference VALUES (" + pol + ", 5, 19605), (" + pol + ", 6, 19606)");
  // The same table without a word list.
  pq.one("INSERT INTO dr$policy (pol_id, pol_name, pol_owner, pol_tablename, pol_text_expr,"
         " pol_text_type, pol_key_name, pol_key_type) VALUES (" + plain +
         ", 'WBENCH_PLAIN', 'WBENCH', 'DOCS', 'BODY', 8, 'ID', 2)");
  pq.one("INSERT INTO dr$policy_preference VALUES (" + plain + ", 6, 19606)");
  pq.one("INSERT INTO dr$preference_attribute VALUES (19605, 'WORD_TABLE', '1', 1)");
  std::string logpath = "/tmp/kes-bench-word-" + std::to_string(getpid()) + ".log";
  pid_t pid = benchdb::startsrv(KES_VEKSRV, "DQM", logpath);

  // Each policy indexed whole: populate, then the end of indexing.
  auto index = [](const std::string &p, double *endms, const char *run = "1") {
    bool ok = submit(10, {p, "1", run, "C"}).code == 101 && submit(11, {p, "1", "1", run, "C"}).code == 101;
    auto t0 = clk::now();
    ok = ok && submit(29, {p, run, "C"}).code == 101;
    *endms = since(t0);
    return ok;
  };
  // The plain policy first warms the caches, is dropped and is indexed
  // again after the word-list one, so that neither pays for a cold start.
  double plainend = 0, endms = 0;
  bool ok = index(plain, &plainend) && submit(12, {plain, "1"}).code == 101;
  auto t0 = clk::now();
  ok = ok && index(pol, &endms);
  double withms = since(t0);
  t0 = clk::now();
  ok = ok && index(plain, &plainend, "2");
  double plainms = since(t0);
  if (!ok) {
    std::fprintf(stderr, "indexing failed; see %s\n", logpath.c_str());
    kill(pid, SIGTERM);
    return 1;
  }
  long words = std::atol(pq.one("SELECT count(*) FROM wbench.dr_01960_i1w").c_str());
  std::printf("corpus: %d rows, %zu forms in the vocabulary, %ld words in the word table\n", rows,
              vocab.size(), words);
  std::printf("end of index with the word table's fill: %.1f ms, %.2f ms per 1000 words\n", endms,
              words ? endms * 1000 / static_cast<double>(words) : 0);
  std::printf("figure\tword table fill, ms per 1000 words\t%.3f\t-\t-\n",
              words ? endms * 1000 / static_cast<double>(words) : 0);
  std::printf("indexing: %.1f ms with the word table, %.1f ms without (its end %.1f ms);"
              " the word list adds %.2fx the plain indexing\n",
              withms, plainms, plainend, plainms > 0 ? (withms - plainms) / plainms : 0);
  std::printf("figure\tword list's cost over plain indexing, times\t%.3f\t-\t2x\n",
              plainms > 0 ? (withms - plainms) / plainms : 0);

  // Changed rows: new rows of known words with a few new ones each, queued
  // for each policy; the batch is over when its queue is empty.
  {
    constexpr int kChanged = 2000;
    std::vector<std::string> more;
    for (int d = 0; d < kChanged; ++d) {
      std::string body;
      for (int i = doclen(rng); i > 0; --i) body += (body.empty() ? "" : " ") + vocab[pick(rng)];
      for (int i = 0; i < 3; ++i) body += " zq" + vocab[(static_cast<size_t>(d) * 3 + i) % vocab.size()];
      more.push_back(std::move(body));
    }
    for (int d = 0; d < kChanged; ++d)
      pq.one("INSERT INTO wbench.docs (id, body) VALUES ($1, $2)", {std::to_string(rows + 1 + d), more[d]});
    double ms[2] = {0, 0};
    int k = 0;
    for (const std::string &p : {pol, plain}) {
      pq.one("BEGIN");
      for (int d = 0; d < kChanged; ++d)
        pq.one("CALL dmlq.queue_change($1::integer, $2)", {p, std::to_string(rows + 1 + d)});
      auto t = clk::now();  // the servers hear of the rows at the commit
      pq.one("COMMIT");
      auto deadline = clk::now() + std::chrono::minutes(10);
      while (pq.one("SELECT count(*) FROM dmlq.queue WHERE pol_id = " + p) != "0") {
        if (clk::now() > deadline) benchdb::die("changed rows not indexed in 10 minutes; see " + logpath);
        usleep(2000);
      }
      ms[k++] = since(t);
    }
    long after = std::atol(pq.one("SELECT count(*) FROM wbench.dr_01960_i1w").c_str());
    std::printf("changed rows: %d rows, %ld new words: %.1f ms with the word table, %.1f ms without;"
                " the word list adds %.2fx\n",
                kChanged, after - words, ms[0], ms[1], ms[1] > 0 ? (ms[0] - ms[1]) / ms[1] : 0);
    std::printf("figure\tword list's cost over a plain batch of changed rows, times\t%.3f\t-\t2x\n",
                ms[1] > 0 ? (ms[0] - ms[1]) / ms[1] : 0);
  }

  // The database's side: the stored English tsvector, the vocabulary with
  // a trigram index and a soundex index.
  pq.one("ALTER TABLE wbench.docs ADD COLUMN tsv tsvector"
         " GENERATED ALWAYS AS (to_tsvector('english', body)) STORED");
  pq.one("CREATE INDEX docs_tsv ON wbench.docs USING gin (tsv)");
  pq.one("CREATE TABLE wbench.vocab AS SELECT DISTINCT lower(word) AS word FROM wbench.dr_01960_i1w");
  pq.one("CREATE INDEX vocab_trgm ON wbench.vocab USING gin (word gin_trgm_ops)");
  pq.one("CREATE INDEX vocab_sdx ON wbench.vocab (public.soundex(word))");
  pq.one("VACUUM ANALYZE wbench.docs");
  pq.one("VACUUM ANALYZE wbench.vocab");

  Reply tab = submit(46, {"0", "RESULT", "1"});
  std::string res = benchdb::fourth(tab);

  // Words across the frequency ranks; their misspelt forms drop a letter.
  std::vector<std::string> qwords;
  for (size_t r : {0, 2, 10, 40, 150, 600, 2500, 10000})
    if (r < vocab.size() && vocab[r].size() >= 4) qwords.push_back(vocab[r]);
  struct Kind {
    const char *name, *mod, *target;
  } kinds[] = {{"exact", "", "-"}, {"stem", "$", "2x"}, {"fuzzy", "?", "2x"}, {"soundex", "!", "-"}};
  // The exact word's query through the same path: what a query costs with
  // no expansion, so that the others' excess over it is the expansion's.
  double exact = 0;
  std::map<std::string, double> peers;  // each kind's peer p50
  for (const Kind &k : kinds) {
    std::vector<double> ours, peer;
    double overlap = 0;
    int compared = 0;
    for (const std::string &w : qwords) {
      std::string q = w;
      if (std::string(k.name) == "fuzzy") q.erase(q.size() / 2, 1);
      std::string pgsql =
          std::string(k.name) == "stem" || std::string(k.name) == "exact"
              ? "SELECT count(*) FROM wbench.docs WHERE tsv @@ to_tsquery('english', $1)"
          : std::string(k.name) == "fuzzy"
              ? "SELECT count(*) FROM wbench.vocab WHERE word % $1"
              : "SELECT count(*) FROM wbench.vocab WHERE public.soundex(word) = public.soundex($1)";
      for (int i = 0; i <= runs; ++i) {
        auto t = clk::now();
        Reply r = submit(15, {pol, k.mod + q, res, "0", "0", "0", "0", "0", "", "NULL"});
        double ms = since(t);
        if (r.code != 101) {
          std::fprintf(stderr, "%s%s: %s\n", k.mod, q.c_str(), r.args.c_str());
          break;
        }
        t = clk::now();
        pq.one(pgsql, {q});
        if (i > 0) ours.push_back(ms), peer.push_back(since(t));
      }
      if (std::string(k.name) == "stem") {
        std::string both = pq.one(
            "SELECT count(*) FROM " + res + " r JOIN wbench.docs d ON d.id = r.textkey::integer"
            " WHERE d.tsv @@ to_tsquery('english', $1)", {q});
        std::string either = pq.one(
            "SELECT count(*) FROM (SELECT textkey::integer FROM " + res + " UNION SELECT id FROM"
            " wbench.docs WHERE tsv @@ to_tsquery('english', $1)) u", {q});
        if (std::atol(either.c_str()) > 0) {
          overlap += std::atof(both.c_str()) / std::atof(either.c_str());
          ++compared;
        }
      }
    }
    double o = median(ours), p = median(peer);
    peers[k.name] = p;
    std::printf("%-8s %zu words: ours p50 %.2f ms (the whole contains), the database's p50 %.2f ms"
                " (%.2fx)\n", k.name, qwords.size(), o, p, p > 0 ? o / p : 0);
    if (compared)
      std::printf("stem hit sets: %.0f %% in common on average over %d words\n",
                  100 * overlap / compared, compared);
    std::string name = std::string(k.name) + " query p50 ms";
    figure(name.c_str(), o, p, k.target);
    if (std::string(k.name) == "exact") {
      exact = o;
    } else {
      std::printf("%-8s beyond the exact word's query: %.2f ms (%.2fx the database's)\n", k.name,
                  o - exact, p > 0 ? (o - exact) / p : 0);
      name = std::string(k.name) + " expansion beyond the exact query, ms";
      figure(name.c_str(), o - exact, p, k.target);
    }
  }

  // The expansions alone. A made-up word on the prefix of a common word
  // finds its candidates as a misspelling does; it is kept when its fuzzy
  // query finds nothing, that is when no candidate ranked. A word alone in
  // its sound-code group expands to itself.
  auto alone = [&](const char *name, const char *mod, const std::vector<std::string> &words,
                   const std::string &pgsql, double peerp50) {
    std::vector<double> diff;
    size_t used = 0;
    for (const std::string &w : words) {
      std::vector<double> ex, md;
      bool ok = true;
      for (int i = 0; ok && i <= runs; ++i)
        for (const std::string &q : {w, std::string(mod) + w}) {
          auto t = clk::now();
          Reply r = submit(15, {pol, q, res, "0", "0", "0", "0", "0", "", "NULL"});
          double ms = since(t);
          if (r.code != 101) {
            ok = false;
            break;
          }
          if (i > 0) (q == w ? ex : md).push_back(ms);
        }
      if (!ok) continue;
      if (*mod == '?' && pq.one("SELECT count(*) FROM " + res) != "0") continue;
      ++used;
      for (size_t i = 0; i < ex.size() && i < md.size(); ++i) diff.push_back(md[i] - ex[i]);
    }
    double o = median(diff);
    std::vector<double> peer;
    for (const std::string &w : words)
      for (int i = 0; i < runs; ++i) {
        auto t = clk::now();
        pq.one(pgsql, {w});
        peer.push_back(since(t));
      }
    double same = median(peer), p = peerp50 > 0 ? peerp50 : same;
    std::printf("%-8s expansion alone over %zu words: %.2f ms (the query less the exact one),"
                " the database's p50 %.2f ms on the query words above (%.2fx), %.2f ms on"
                " these\n",
                name, used, o, p, p > 0 ? o / p : 0, same);
    std::string f = std::string(name) + " expansion alone, ms";
    figure(f.c_str(), o, p, *mod == '?' ? "2x" : "-");
  };
  {
    std::vector<std::string> junk;
    for (const std::string &w : qwords) junk.push_back(w.substr(0, 2) + "qxjzv");
    // The peer is pg_trgm over the misspelt words: on a made-up word it
    // finds almost no trigram in common and stops early, where the word
    // list's work is that of any misspelling.
    alone("fuzzy", "?", junk, "SELECT count(*) FROM wbench.vocab WHERE word % $1", peers["fuzzy"]);
    std::vector<std::string> single;
    std::string list = pq.one(
        "SELECT string_agg(lower(word), ' ' ORDER BY word) FROM (SELECT word FROM"
        " wbench.dr_01960_i1w w WHERE length(word) >= 5 AND NOT EXISTS (SELECT 1 FROM"
        " wbench.dr_01960_i1w x WHERE x.group1 = w.group1 AND x.word <> w.word)"
        " ORDER BY md5(word) LIMIT 8) s");
    for (size_t at = 0; at < list.size();) {
      size_t e = list.find(' ', at);
      if (e == std::string::npos) e = list.size();
      if (e > at) single.push_back(list.substr(at, e - at));
      at = e + 1;
    }
    alone("soundex", "!", single,
          "SELECT count(*) FROM wbench.vocab WHERE public.soundex(word) = public.soundex($1)",
          peers["soundex"]);
  }
  kill(pid, SIGTERM);
  int st = 0;
  waitpid(pid, &st, 0);
  std::remove(logpath.c_str());
  return 0;
}
