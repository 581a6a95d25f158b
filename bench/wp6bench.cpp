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

}  // namespace

int main() {
  rdrregister();
  std::vector<std::string> small, large;
  for (unsigned i = 0; i < 400; i++) small.push_back(document(3000, i, false));
  for (unsigned i = 0; i < 3; i++) large.push_back(document((3u + i) << 20, 1000 + i, true));
  cvbench::report("wp 6, 400 x 3 KB", small, "wpd2text", ".wpd");
  cvbench::report("wp 6, 3 x 3-5 MB, tables", large, "wpd2text", ".wpd");
  return 0;
}
