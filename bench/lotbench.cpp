// Converts a generated corpus of Lotus 1-2-3 worksheets of releases 2 and 3
// (a few large ones and many small ones, rows of labels, numbers, integers
// and formulas) with the converter entry, in this process, and with
// wks2csv, one process per worksheet, on the same files in the same run;
// prints the input megabytes per second of both.
// Usage: kes_bench_lot [FOLDER]   (the corpus is written there, or in /tmp)
#include <string>
#include <vector>

#include "bench/cvtrun.h"
#include "converters/formats/tests/lotgen.h"

int main(int argc, char **argv) {
  std::vector<benchgroup> groups = {{"lotus wk1, 3 x 4 MB", 9, 3, 4000000, ".wk1"},
                                    {"lotus wk1, 400 x 3 KB", 9, 400, 3000, ".wk1"},
                                    {"lotus wk3, 3 x 4 MB", 9, 3, 4000000, ".wk3"},
                                    {"lotus wk3, 400 x 3 KB", 9, 400, 3000, ".wk3"}};
  return benchrun(argc, argv, "kes-bench-lot", groups, "wks2csv", [](const benchgroup &g, int i) {
    return lgen::bigsheet(std::string(g.ext) == ".wk3" ? lgen::wk3 : lgen::wk1, g.size, static_cast<unsigned>(i));
  });
}
