// Converts a generated corpus of WordPerfect 5.x and 6.x documents (a few
// large ones and many small ones, with headers, notes and extended
// characters) with the converter entries, in this process, and with
// wpd2text, one process per document, on the same files in the same run;
// prints the input megabytes per second of both.
// Usage: kes_bench_wp [FOLDER]   (the corpus is written there, or in /tmp)
#include <string>
#include <vector>

#include "bench/cvtrun.h"
#include "converters/formats/tests/wpgen.h"

namespace {

using namespace wpg;

// A 5.x document of about size bytes of text: paragraphs, now and then an
// extended character, a soft return, a tab, a footnote; a header on top.
std::string doc5(size_t size, unsigned seed) {
  std::string body = wp5header(0, "Report " + std::to_string(seed) + "\x0A");
  for (unsigned n = seed; body.size() < size; n++) {
    body += para(n);
    if (n % 5 == 0) body += " Stra" + wp5ext(1, 23) + "e";
    if (n % 7 == 0) body += std::string("\xC1") + zeros(7) + "\xC1" + "tab";
    if (n % 20 == 0) body += wp5note(0, "Note " + para(n + 1));
    body += n % 3 ? "\x0D" : "\x0A";
  }
  return wp5(body);
}

// A 6.x document of the same kind: spaces as 0x80, notes in packets.
std::string doc6(size_t size, unsigned seed) {
  auto six = [](const std::string &s) {
    std::string t;
    for (char c : s) t += c == ' ' ? std::string("\x80") : std::string(1, c);
    return t;
  };
  std::vector<packet> pkts = {{8, wp6text(six("Report " + std::to_string(seed)) + "\xCC")}};
  std::string body = wp6header(0, 1);
  for (unsigned n = seed; body.size() < size; n++) {
    body += six(para(n));
    if (n % 5 == 0) body += six(" Stra") + wp6ext(1, 23) + std::string("e\x80M\x1Cller");
    if (n % 7 == 0) body += std::string("\xC8") + six("tab");
    if (n % 20 == 0) {
      pkts.push_back({8, wp6text(six(" Note " + para(n + 1)))});
      body += wp6note(static_cast<int>(pkts.size()));
    }
    body += n % 3 ? "\x80" : "\xCC";
  }
  return wp6(body, pkts);
}

}  // namespace

int main(int argc, char **argv) {
  std::vector<benchgroup> groups = {{"wp 5.1, 3 x 4 MB", 1, 3, 4000000, ".wp"},
                                    {"wp 5.1, 400 x 3 KB", 1, 400, 3000, ".wp"},
                                    {"wp 6.1, 3 x 4 MB", 5, 3, 4000000, ".wpd"},
                                    {"wp 6.1, 400 x 3 KB", 5, 400, 3000, ".wpd"}};
  return benchrun(argc, argv, "kes-bench-wp", groups, "wpd2text", [](const benchgroup &g, int i) {
    return g.id == 5 ? doc6(g.size, static_cast<unsigned>(i)) : doc5(g.size, static_cast<unsigned>(i));
  });
}
