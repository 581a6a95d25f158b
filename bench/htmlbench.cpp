// Speed and memory of the HTML reader: every page goes through the host
// interface (detection, the HTML reader with its head pass and table
// pre-scans, the writer, the intermediate file made plain text) and is
// pulled in 2000-byte chunks. Beside it, in the same run, html2text reads
// the same files: the reference. Target: at least half of html2text's rate.
// Memory: the host's peak of the blocks it handed out.
//   kes_bench_html [pages-directory]
// Corpora: generated pages with a fixed seed (many small ones, and a few of
// several MB with large tables), and the pages of a directory when given.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/cvhost.h"
#include "filters/framework/runtime/cv.h"
#include "filters/readers/rdr.h"

namespace {

using Clock = std::chrono::steady_clock;

double secs(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }
double mb(double bytes) { return bytes / (1 << 20); }

// A page of paragraphs, lists and tables of the given size, from a seed.
std::string page(unsigned seed, size_t size, int tablerows) {
  std::mt19937 rng(seed);
  auto pick = [&](int n) { return static_cast<int>(rng() % n); };
  static const char* const syl[] = {"ka", "lo", "mi", "ter", "sun", "ba", "ri", "no", "vel", "dor"};
  auto word = [&] {
    std::string w;
    for (int i = 0, n = 1 + pick(3); i < n; i++) w += syl[pick(10)];
    return w;
  };
  std::string h = "<html><head><title>" + word() + "</title></head><body>\n";
  while (h.size() < size) {
    switch (pick(6)) {
      case 0:
        h += "<h2>" + word() + " " + word() + "</h2>\n";
        break;
      case 1:
        h += "<ul>";
        for (int i = 0, n = 2 + pick(5); i < n; i++) h += "<li>" + word() + " " + word() + "</li>\n";
        h += "</ul>\n";
        break;
      case 2: {
        h += "<table border=1>\n";
        for (int r = 0, n = tablerows ? tablerows : 2 + pick(5); r < n; r++) {
          h += "<tr>";
          for (int c = 0; c < 4; c++) h += "<td>" + word() + " &amp; " + word() + "</td>";
          h += "</tr>\n";
        }
        h += "</table>\n";
        break;
      }
      default:
        h += "<p>";
        for (int i = 0, n = 20 + pick(60); i < n; i++) h += (pick(9) ? "" : "<b>") + word() + (pick(7) ? " " : "\n");
        h += "</p>\n";
    }
  }
  return h + "</body></html>\n";
}

struct result {
  double bytes = 0, secs = 0;
  size_t peak = 0;
  int failed = 0;
};

void pull(const std::string& doc, result* r) {
  cvbench::host h{&doc};
  auto t0 = Clock::now();
  convstate* st = convopen(&h, &cvbench::kcb);
  char buf[2000];
  int n = 0;
  long got = 0;
  while (convgettext(st, buf, sizeof buf, &n) == 1 && n > 0) got += n;
  if (got == 0) r->failed++;
  convclose(st);
  r->secs += secs(t0, Clock::now());
  r->bytes += static_cast<double>(doc.size());
  r->peak = std::max(r->peak, h.peak);
}

// html2text over the same pages, written to files first (not timed).
double reference(const std::vector<std::string>& docs, const std::string& dir) {
  std::filesystem::create_directories(dir);
  std::string cmd = "html2text -nobs";
  for (size_t i = 0; i < docs.size(); i++) {
    std::string f = dir + "/p" + std::to_string(i) + ".html";
    std::ofstream(f, std::ios::binary) << docs[i];
  }
  auto t0 = Clock::now();
  for (size_t i = 0; i < docs.size(); i++) {
    std::string c = cmd + " " + dir + "/p" + std::to_string(i) + ".html > /dev/null 2>&1";
    if (std::system(c.c_str()) != 0) return -1;
  }
  return secs(t0, Clock::now());
}

void report(const char* name, const std::vector<std::string>& docs) {
  result r;
  for (const auto& d : docs) pull(d, &r);
  std::string dir = std::filesystem::temp_directory_path() / ("kes_bench_html." + std::to_string(getpid()));
  double ref = reference(docs, dir);
  std::filesystem::remove_all(dir);
  std::printf("%-28s %5zu pages %8.2f MB  reader %7.2f MB/s  html2text %7.2f MB/s  peak %7.2f MB%s\n", name,
              docs.size(), mb(r.bytes), mb(r.bytes) / r.secs, ref > 0 ? mb(r.bytes) / ref : 0.0, mb(r.peak),
              r.failed ? "  (failures)" : "");
}

}  // namespace

int main(int argc, char** argv) {
  rdrregister();
  std::vector<std::string> small, large;
  for (unsigned i = 0; i < 300; i++) small.push_back(page(i, 4000 + i * 40, 0));
  for (unsigned i = 0; i < 3; i++) large.push_back(page(1000 + i, (3u + i) << 20, 200));
  report("generated small pages", small);
  report("generated large tables", large);
  if (argc > 1) {
    std::vector<std::string> given;
    for (const auto& e : std::filesystem::directory_iterator(argv[1])) {
      if (e.path().extension() != ".html") continue;
      std::ifstream in(e.path(), std::ios::binary);
      std::stringstream s;
      s << in.rdbuf();
      given.push_back(s.str());
    }
    report(argv[1], given);
  }
  return 0;
}
