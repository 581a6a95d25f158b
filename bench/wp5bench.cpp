// Speed of the framework's WordPerfect 5 reader: every document goes
// through the host interface (detection, the prefix, the text loop, the
// writer, the intermediate file made plain text) and is pulled in 2000-byte
// chunks. Beside it, in the same run, wpd2text reads the same files, one
// process per document: the reference. Target: at least wpd2text's rate.
//   kes_bench_wp5
// Corpora: generated 5.1 documents with a prefix (many small ones, and a
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

// A 5.1 document of about size bytes: a prefix with a summary and fonts, a
// header, paragraphs with extended characters and tabs, a note now and
// then, a table every so often.
std::string document(size_t size, unsigned seed, bool tables) {
  std::vector<packet5> p = {{1, wp5summary({"", "Report " + std::to_string(seed)})}};
  for (const packet5& f : wp5fonts({"Courier 10cpi", "Arial  (TT)"})) p.push_back(f);
  std::string body = wp5header(0, "Report " + std::to_string(seed) + "\x0A");
  for (unsigned n = seed; body.size() < size; n++) {
    body += para(n);
    if (n % 5 == 0) body += " Stra" + wp5ext(1, 23) + "e";
    if (n % 7 == 0) body += std::string("\xC1") + zeros(7) + "\xC1" + "tab";
    if (n % 20 == 0) body += wp5note(0, "Note " + para(n + 1));
    body += n % 3 ? "\x0D" : "\x0A";
    if (tables && n % 50 == 0)
      body += wp5table({{{para(n)}, {para(n + 1)}, {para(n + 2)}}, {{"a"}, {"b"}, {"c"}}}, {2400, 2400, 2400});
  }
  return wp5(body, 1, wp5prefix(p));
}

}  // namespace

int main() {
  rdrregister();
  std::vector<std::string> small, large;
  for (unsigned i = 0; i < 400; i++) small.push_back(document(3000, i, false));
  for (unsigned i = 0; i < 3; i++) large.push_back(document((3u + i) << 20, 1000 + i, true));
  cvbench::report("wp 5.1, 400 x 3 KB", small, "wpd2text", ".wp");
  cvbench::report("wp 5.1, 3 x 3-5 MB, tables", large, "wpd2text", ".wp");
  return 0;
}
