// Speed of the framework's WordPerfect 6 reader: every document goes
// through the host interface (detection, the prologue, the text loop, the
// writer, the intermediate file made plain text) and is pulled in 2000-byte
// chunks. Beside it, in the same run, wpd2text reads the same files, one
// process per document: the reference. Target: at least wpd2text's rate.
//   kes_bench_wp6
// Corpora: generated 6.x documents with a prologue (many small ones, and a
// few of several MB with tables, notes and extended characters).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/cvhost.h"
#include "converters/formats/tests/wpgen.h"
#include "filters/framework/runtime/cv.h"
#include "filters/readers/rdr.h"

namespace {

using namespace wpg;
using Clock = std::chrono::steady_clock;

double secs(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }
double mb(double bytes) { return bytes / (1 << 20); }

// Blanks as the body writes them: the function 0x80.
std::string six(const std::string& s) {
  std::string t;
  for (char c : s) t += c == ' ' ? std::string("\x80") : std::string(1, c);
  return t;
}

// A 6.x document of about size bytes: a prologue of a summary, fonts and a
// style, a header, paragraphs with extended characters and tabs, a note now
// and then (each its own packet), a table every so often.
std::string document(size_t size, unsigned seed, bool tables) {
  std::vector<packet> p = {{0x12, wp6summary({{17, wp6units("Report " + std::to_string(seed))}})},
                           {0x55, wp6fontdesc("Times New Roman Regular")},
                           {0x55, wp6fontdesc("Arial")},
                           {0x30, wp6stylepkt("Heading", six("Styled"), "")},
                           {8, wp6text(six("Report " + std::to_string(seed)))}};
  std::string body = wp6header(0, 5);
  for (unsigned n = seed; body.size() < size; n++) {
    body += six(para(n));
    if (n % 5 == 0) body += six(" Stra") + wp6ext(1, 23) + "e";
    if (n % 7 == 0) body += wp6code(0xE0, 0x08) + "tab";
    if (n % 20 == 0) {
      p.push_back({8, wp6text(six("Note " + para(n + 1)))});
      body += std::string("\x80") + wp6note(static_cast<int>(p.size()));
    }
    body += n % 3 ? std::string("\xCC") : wp6eol(0x04);
    if (tables && n % 50 == 0)
      body += wp6table({{six(para(n)), six(para(n + 1)), six(para(n + 2))}, {"a", "b", "c"}}, {2000, 2000, 2000});
  }
  return wp6(body, p);
}

struct result {
  double bytes = 0, secs = 0;
  int failed = 0;
};

void pull(const std::string& d, result* r) {
  cvbench::host h{&d};
  auto t0 = Clock::now();
  convstate* st = convopen(&h, &cvbench::kcb);
  char buf[2000];
  int n = 0;
  long got = 0;
  while (convgettext(st, buf, sizeof buf, &n) == 1 && n > 0) got += n;
  if (got == 0) r->failed++;
  convclose(st);
  r->secs += secs(t0, Clock::now());
  r->bytes += static_cast<double>(d.size());
}

// wpd2text over the same documents, written to files first (not timed).
double reference(const std::vector<std::string>& docs, const std::string& dir) {
  std::filesystem::create_directories(dir);
  for (size_t i = 0; i < docs.size(); i++)
    std::ofstream(dir + "/d" + std::to_string(i) + ".wpd", std::ios::binary) << docs[i];
  auto t0 = Clock::now();
  for (size_t i = 0; i < docs.size(); i++) {
    std::string c = "wpd2text " + dir + "/d" + std::to_string(i) + ".wpd > /dev/null 2>&1";
    if (std::system(c.c_str()) != 0) return -1;
  }
  return secs(t0, Clock::now());
}

void report(const char* name, const std::vector<std::string>& docs) {
  result r;
  for (const auto& d : docs) pull(d, &r);
  std::string dir = std::filesystem::temp_directory_path() / ("kes_bench_wp6." + std::to_string(getpid()));
  double ref = reference(docs, dir);
  std::filesystem::remove_all(dir);
  std::printf("%-28s %5zu docs %8.2f MB  reader %7.2f MB/s  wpd2text %7.2f MB/s%s\n", name, docs.size(),
              mb(r.bytes), mb(r.bytes) / r.secs, ref > 0 ? mb(r.bytes) / ref : 0.0, r.failed ? "  (failures)" : "");
}

}  // namespace

int main() {
  rdrregister();
  std::vector<std::string> small, large;
  for (unsigned i = 0; i < 400; i++) small.push_back(document(3000, i, false));
  for (unsigned i = 0; i < 3; i++) large.push_back(document((3u + i) << 20, 1000 + i, true));
  report("wp 6, 400 x 3 KB", small);
  report("wp 6, 3 x 3-5 MB, tables", large);
  return 0;
}
