// Speed of the linguistic libraries: loading the English lexicon, stems and
// generated forms per second, and fuzzy ranking over 1k, 10k and 100k
// candidates; beside them, in the database of the PG environment (the
// private cluster of scripts/pgcluster), the database's English stemmer and
// trigram similarity over the same words. The words are the forms and stems
// the lexicon was made from. Target: loading plus 10,000 generations under
// one second.
//   kes_bench_ling
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <unistd.h>
#include <set>
#include <string>
#include <vector>

#include "bench/benchdb.h"
#include "linguistics/fuzzy/fzm.h"
#include "linguistics/stemmer/stem.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

void rate(const char *what, size_t n, double millis) {
  std::printf("%-44s %8zu in %9.1f ms  %12.0f per second\n", what, n, millis, n * 1000.0 / millis);
}

stemobj *stemmer() {
  stemcfg cfg{0, 3, 0, 1};
  int err = 0;
  stemobj *s = stemnew(nullptr, nullptr, &cfg, &err);
  if (!s) {
    std::fprintf(stderr, "no English lexicon (%d): build the target lexicons\n", err);
    std::exit(1);
  }
  return s;
}

// The time a one-row query takes, in ms.
double timed(benchdb::Pq &pq, const std::string &sql) {
  auto t0 = Clock::now();
  pq.one(sql);
  return ms(t0, Clock::now());
}

}  // namespace

int main() {
  std::string dir = KES_LEXICONS;
  if (chdir(dir.c_str()) != 0) {
    std::fprintf(stderr, "no folder %s: build the target lexicons\n", dir.c_str());
    return 1;
  }
  unsetenv("VEK73");  // the lexicon by its bare name, here
  std::vector<std::string> forms, stems;
  {
    std::ifstream in("mlen.is.pairs", std::ios::binary);
    std::set<std::string> seenf, seens;
    for (std::string l; std::getline(in, l);) {
      size_t tab = l.find('\t');
      if (tab == std::string::npos) continue;
      std::string f = l.substr(0, tab), s = l.substr(tab + 1);
      if (seenf.insert(f).second) forms.push_back(f);
      if (seens.insert(s).second) stems.push_back(s);
    }
  }
  if (forms.size() < 100000 || stems.size() < 10000) {
    std::fprintf(stderr, "too few words in mlen.is.pairs\n");
    return 1;
  }
  std::printf("words: %zu forms, %zu stems of the English lexicon\n\n", forms.size(), stems.size());
  std::vector<char> buf(4096);
  int n = 0;

  // Loading.
  std::vector<double> loads;
  for (int i = 0; i < 11; i++) {
    auto t0 = Clock::now();
    stemobj *s = stemmer();
    loads.push_back(ms(t0, Clock::now()));
    stemfree(s);
  }
  std::sort(loads.begin(), loads.end());
  std::printf("%-44s %9.1f ms (median of 11)\n", "load of mlen.is", loads[5]);

  auto t0 = Clock::now();
  stemobj *s = stemmer();
  for (int i = 0; i < 10000; i++) stemgen(s, stems[i].c_str(), buf.data(), 4096, &n);
  double first = ms(t0, Clock::now());
  std::printf("%-44s %9.1f ms (target: under 1000 ms)\n", "load plus 10,000 generations", first);

  t0 = Clock::now();
  for (const std::string &w : forms) stemword(s, w.c_str(), buf.data(), 4096, &n);
  rate("stems (stemword)", forms.size(), ms(t0, Clock::now()));
  t0 = Clock::now();
  for (const std::string &w : stems) stemgen(s, w.c_str(), buf.data(), 4096, &n);
  rate("generations (stemgen)", stems.size(), ms(t0, Clock::now()));
  stemfree(s);

  // Fuzzy ranking.
  rtctx *rt = rtstart("bench", "lsf");
  rthpmgr *mgr = rthpmgrget(rt);
  rtheap *heap = rthpnew(mgr, rthptop(mgr), RTHP_STD, __FILE__, __LINE__);
  int err;
  fzmobj *m = fzmnew(mgr, heap, "DEFAULT", &err);
  const char *queries[] = {"house", "smith", "running", "necessary", "colour"};
  const size_t sizes[] = {1000, 10000, 100000};
  std::vector<const char *> cands;
  for (const std::string &f : forms) cands.push_back(f.c_str());
  std::vector<const char *> outw(1000);
  std::vector<uint16_t> outs(1000);
  for (size_t size : sizes) {
    int reps = static_cast<int>(300000 / size);
    t0 = Clock::now();
    for (int r = 0; r < reps; r++)
      for (const char *q : queries)
        fzmmatch(m, q, 50, 1000, cands.data(), static_cast<int>(size), outw.data(), outs.data(), &n);
    char what[64];
    std::snprintf(what, sizeof what, "fuzzy candidates (fzmmatch, %zu a call)", size);
    rate(what, size * reps * 5, ms(t0, Clock::now()));
  }
  fzmfree(m);
  rtstop(rt);

  // The database's own stemmer and trigram similarity, same words.
  std::printf("\n");
  if (!std::getenv("PGHOST")) {
    std::printf("no PG environment: database figures skipped\n");
    return 0;
  }
  benchdb::Pq pq;
  if (pq.one("SELECT count(*) FROM pg_available_extensions WHERE name = 'pg_trgm'") == "0") {
    std::printf("no pg_trgm: database figures skipped\n");
    return 0;
  }
  pq.one("CREATE EXTENSION IF NOT EXISTS pg_trgm");
  pq.one("CREATE TEMPORARY TABLE lingbench (id integer, body text)");
  pq.load("lingbench", forms);
  pq.one("ANALYZE lingbench");
  double t = timed(pq, "SELECT count(ts_lexize('english_stem', body)) FROM lingbench");
  rate("stems (ts_lexize 'english_stem')", forms.size(), t);
  for (size_t size : sizes) {
    double total = 0;
    for (const char *q : queries)
      total += timed(pq, "SELECT count(*) FROM (SELECT body FROM lingbench WHERE id <= " +
                             std::to_string(size) + ") s WHERE similarity(body, '" + q + "') > 0.3");
    char what[64];
    std::snprintf(what, sizeof what, "trigram similarity (%zu a query)", size);
    rate(what, size * 5, total);
  }
  return 0;
}
