// Speed and memory of the HTML reader: every page goes through the host
// interface (detection, the HTML reader with its head pass and table
// pre-scans, the writer, the intermediate file made plain text) and is
// pulled in 2000-byte chunks. Beside it, in the same run, html2text reads
// the same files: the reference. Target: at least half of html2text's rate.
// Memory: the host's peak of the blocks it handed out.
//   kes_bench_html [pages-directory | --nesting]
// Corpora: generated pages with a fixed seed (many small ones, and a few of
// several MB with large tables), and the pages of a directory when given.
#include <chrono>
#include <ctime>
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

// Pages of deep nesting, the input the reader's worst cases come from: each
// tag opened 10,000 times and never closed. Seconds per MB of input.
void nesting() {
  auto times = [](const std::string& s, int n) {
    std::string r;
    for (int i = 0; i < n; i++) r += s;
    return r;
  };
  const struct {
    const char* figure;
    std::string doc;
  } cases[] = {
      {"html_nested_ol_s_per_mb", "<html>" + times("<ol><li>x ", 10000) + "end"},
      {"html_nested_ul_s_per_mb", "<html>" + times("<ul><li>x ", 10000) + "end"},
      {"html_nested_blockquote_s_per_mb", "<html>" + times("<blockquote>x ", 10000) + "end"},
      {"html_rule_paragraphs_s_per_mb", "<html><style>p.a {color: red}</style>" + times("<p class=a>x ", 10000) + "end"},
      {"html_nested_tables_s_per_mb", "<html>" + times("<table><tr><td>x ", 10000) + "end"},
      {"html_nested_font_s_per_mb", "<html>" + times("<font size=+1 color=red>x ", 10000) + "end"},
  };
  for (const auto& c : cases) {
    cvbench::pulled r;
    std::clock_t c0 = std::clock();
    cvbench::pull(c.doc, &r);
    double cpu = static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
    // The processor time beside the elapsed one: on a loaded machine the
    // elapsed time counts the waits for a processor too.
    std::printf("%s: %.3f s/MB of processor time\n", c.figure, cpu / cvbench::mb(r.bytes));
    std::printf("figure\t%s\t%.3f\t-\t<=1\n", c.figure, r.secs / cvbench::mb(r.bytes));
  }
}

}  // namespace

int main(int argc, char** argv) {
  rdrregister();
  nesting();
  if (argc > 1 && std::string(argv[1]) == "--nesting") return 0;
  std::vector<std::string> small, large;
  for (unsigned i = 0; i < 300; i++) small.push_back(page(i, 4000 + i * 40, 0));
  for (unsigned i = 0; i < 3; i++) large.push_back(page(1000 + i, (3u + i) << 20, 200));
  cvbench::report("generated small pages", small, "html2text -nobs", ".html");
  cvbench::report("generated large tables", large, "html2text -nobs", ".html");
  if (argc > 1) {
    std::vector<std::string> given;
    for (const auto& e : std::filesystem::directory_iterator(argv[1])) {
      if (e.path().extension() != ".html") continue;
      std::ifstream in(e.path(), std::ios::binary);
      std::stringstream s;
      s << in.rdbuf();
      given.push_back(s.str());
    }
    cvbench::report(argv[1], given, "html2text -nobs", ".html");
  }
  return 0;
}
