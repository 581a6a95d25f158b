// Converts a generated corpus of Word 1.x/2.0 and Word 6 documents (a few
// large ones and many small ones) with the converter entries, in this
// process, and with antiword, one process per document, on the same files in
// the same run; prints the input megabytes per second of both.
// Usage: kes_bench_cvt [FOLDER]   (the corpus is written there, or in /tmp)
#include <string>
#include <vector>

#include "bench/cvtrun.h"
#include "converters/word/tests/wordgen.h"

namespace {

// A paragraph of ordinary text, now and then with a field.
std::string paragraph(unsigned n) {
  static const char* words[] = {"index", "of", "the", "retrieval", "server", "documents", "and",
                                "queries", "with", "terms", "lists", "scores", "converter"};
  std::string p;
  for (unsigned i = 0; i < 40; i++) {
    p += words[(n * 7 + i * 3) % 13];
    p += ' ';
  }
  if (n % 5 == 0) p += "\x13SYMBOL 183 \\f \"Symbol\" \\s 10\x15 ";
  if (n % 7 == 0) p += "\x13PAGE\x14" "7\x15 ";
  return p + "\r";
}

std::string text(size_t size, unsigned seed) {
  std::string t;
  for (unsigned n = seed; t.size() < size; n++) t += paragraph(n);
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<benchgroup> groups = {{"word 2, 3 x 4 MB", 7, 3, 4000000, ".doc"},
                                    {"word 2, 400 x 3 KB", 7, 400, 3000, ".doc"},
                                    {"word 6, 3 x 4 MB", 11, 3, 4000000, ".doc"},
                                    {"word 6, 400 x 3 KB", 11, 400, 3000, ".doc"}};
  return benchrun(argc, argv, "kes-bench-cvt", groups, "antiword", [](const benchgroup& g, int i) {
    wgen::kind k = g.id == 7 ? wgen::word2 : wgen::word6;
    wgen::bytes doc = wgen::make({k, {text(g.size, static_cast<unsigned>(i))}});
    return std::string(doc.begin(), doc.end());
  });
}
