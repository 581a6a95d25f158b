// Indexing-side conversion of mixed Word documents through the chaining
// filter (format 997), three ways in one run: the built-in converters; a
// program list that hands Word 2 and Word 6 documents to antiword; and, as
// floors, the converter entries alone over the same files (what the kescvt
// tool runs) and antiword alone, one process per file. Prints documents/s
// and input MB/s of each, the median of the repetitions.
// Usage: kes_bench_mix [DOCS_PER_KIND] [REPETITIONS]
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/cvtrun.h"
#include "converters/formats/cvt.h"
#include "converters/runtime/fmtcat.h"
#include "dr/drgb/drgr.h"
#include "platform/rt/rt.h"
#include "tests/fixtures/pipe/mixfix.h"
#include "tests/fixtures/pipe/pipefix.h"

namespace {

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Reads every document through the filter; the number of documents read.
int drain(drobj *f) {
  int n = 0;
  int32_t op = 0;
  char key[DRDS_KEYSIZE];
  char buf[8192];
  while (drops<drfilops>(f)->next(f, &op, key) == 0) {
    int32_t got = 0;
    while (drops<drfilops>(f)->read(f, buf, sizeof buf, &got) == 0) {
    }
    ++n;
  }
  return n;
}

}  // namespace

int main(int argc, char **argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  int per = argc > 1 ? std::atoi(argv[1]) : 1000;
  int reps = argc > 2 ? std::atoi(argv[2]) : 3;
  mixfix::Scratch home("kes-bench-mix");
  mkdir((home.dir + "/bin").c_str(), 0755);
  if (symlink(KES_SOURCE_DIR "/messages", (home.dir + "/messages").c_str()) != 0) return 1;
  mixfix::script(home.dir + "/bin/aw.sh", "exec antiword \"$1\" > \"$2\" 2>/dev/null");
  setenv("KESTRIN_HOME", home.dir.c_str(), 1);
  setenv("NLS_LANG", "AMERICAN_AMERICA.WE8ISO8859P1", 1);
  std::vector<std::string> docs;
  double bytes = 0;
  for (int i = 0; i < 2 * per; ++i) {
    bool six = i % 2;
    std::string text = benchtext(3000, static_cast<unsigned>(i), false, "\r");
    wgen::spec s{six ? wgen::word6 : wgen::word2, {text}};
    if (six) s.padto = 4096;
    wgen::bytes b = six ? dft::write({{"WordDocument", wgen::word6full(s)}}) : wgen::make(s);
    docs.emplace_back(b.begin(), b.end());
    bytes += static_cast<double>(b.size());
    std::ofstream(home.dir + "/d" + std::to_string(i) + ".doc", std::ios::binary) << docs.back();
  }
  drsrvstate *st = nullptr;
  if (dracnnew(&st) != 0) return 1;
  auto prefsp = std::make_unique<pipefix::Prefs>(st);
  pipefix::Prefs &prefs = *prefsp;
  char w2[32], w6[32];
  std::snprintf(w2, sizeof w2, "%d,aw.sh", fmtfind(44));
  std::snprintf(w6, sizeof w6, "%d,aw.sh", fmtfind(49));
  int32_t builtin = prefs.add(DRCLS_FILTER, 2, {pipefix::num(1, 997)});
  int32_t program = prefs.add(DRCLS_FILTER, 2, {pipefix::num(1, 997), pipefix::str(2, w2), pipefix::str(2, w6)});

  auto through = [&](int32_t pref) {
    pipefix::MemStore ds(docs);
    drobj *f = drgrnew(st, st->seshp);
    if (!f || drops<drfilops>(f)->bnd(f, 1, ds.obj(), pref, 1) != 0) std::exit(1);
    int n = drain(f);
    drops<drfilops>(f)->free(f);
    if (n != static_cast<int>(docs.size())) std::fprintf(stderr, "only %d documents read\n", n);
  };
  auto entries = [&] {
    for (size_t i = 0; i < docs.size(); ++i) {
      std::string in = home.dir + "/d" + std::to_string(i) + ".doc", out = home.dir + "/out.txt";
      cvtentry e = nullptr;
      cvtfind(i % 2 ? 11 : 7, &e);
      if (e(in.c_str(), out.c_str()) != 0) std::fprintf(stderr, "document %zu failed\n", i);
    }
  };
  auto antiword = [&] {
    for (size_t i = 0; i < docs.size(); ++i) benchspawn("antiword", home.dir + "/d" + std::to_string(i) + ".doc");
  };
  struct Way {
    const char *name;
    std::function<void()> run;
  } ways[] = {{"chaining filter, built-in converters", [&] { through(builtin); }},
              {"chaining filter, antiword program list", [&] { through(program); }},
              {"converter entries alone (kescvt's work)", entries},
              {"antiword alone", antiword}};
  std::printf("%d documents (Word 2 and Word 6 in turn), %.1f MB, median of %d\n", 2 * per, bytes / 1e6, reps);
  for (const Way &w : ways) {
    std::vector<double> secs;
    for (int r = 0; r < reps; ++r) {
      auto t0 = std::chrono::steady_clock::now();
      w.run();
      secs.push_back(benchseconds(t0));
      rtmsgclr(st->msg);
    }
    double s = median(secs);
    std::printf("%-42s %9.1f documents/s %8.2f MB/s\n", w.name, 2 * per / s, bytes / 1e6 / s);
  }
  prefsp.reset();
  dracnfre(&st);
  return 0;
}
