// Converts a generated corpus of Word 1.x/2.0 and Word 6 documents (a few
// large ones and many small ones) with the converter entries, in this
// process, and with antiword, one process per document, on the same files in
// the same run; prints the input megabytes per second of both.
// Usage: kes_bench_cvt [FOLDER]   (the corpus is written there, or in /tmp)
#include <string>
#include <vector>

#include "bench/cvtrun.h"
#include "converters/word/tests/wordgen.h"

int main(int argc, char** argv) {
  std::vector<benchgroup> groups = {{"word 2, 3 x 4 MB", 7, 3, 4000000, ".doc"},
                                    {"word 2, 400 x 3 KB", 7, 400, 3000, ".doc"},
                                    {"word 6, 3 x 4 MB", 11, 3, 4000000, ".doc"},
                                    {"word 6, 400 x 3 KB", 11, 400, 3000, ".doc"}};
  return benchrun(argc, argv, "kes-bench-cvt", groups, "antiword", [](const benchgroup& g, int i) {
    wgen::kind k = g.id == 7 ? wgen::word2 : wgen::word6;
    wgen::bytes doc = wgen::make({k, {benchtext(g.size, static_cast<unsigned>(i), true, "\r")}});
    return std::string(doc.begin(), doc.end());
  });
}
