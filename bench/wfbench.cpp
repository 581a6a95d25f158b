// Converts a generated corpus of Word 1.x/2.0 documents (a few large ones
// and many small ones, each with a header, a footer, a note, a table row
// and a field) with the full reader (a zone file named), with the
// text extractor, and with antiword, in the same run; prints the input
// megabytes per second of each.
// Usage: kes_bench_wfull [FOLDER]   (the corpus is written there, or in /tmp)
#include <cstdio>
#include <string>
#include <vector>

#include "bench/cvtrun.h"
#include "converters/word/tests/wordgen.h"

namespace {

// The Word 1.x/2.0 entry with a zone file beside the output.
int16_t fullreader(const char* in, const char* out) {
  std::string zones = std::string(out) + ".zones";
  cxstate* st = w2newst();
  wzonefile(st, zones.c_str());
  int16_t status = cvtword2st(st, in, out);
  std::remove(zones.c_str());
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<benchgroup> groups = {{"full reader, 3 x 4 MB", 7, 3, 4000000, ".doc"},
                                    {"extractor, 3 x 4 MB", 7, 3, 4000000, ".doc"},
                                    {"full reader, 400 x 3 KB", 7, 400, 3000, ".doc"},
                                    {"extractor, 400 x 3 KB", 7, 400, 3000, ".doc"}};
  groups[0].entry = groups[2].entry = fullreader;
  return benchrun(argc, argv, "kes-bench-wfull", groups, "antiword", [](const benchgroup& g, int i) {
    // Every document has a section with a header and a footer, a note, a
    // table row and a field besides its text.
    wgen::storyspec s;
    std::string text = benchtext(g.size, static_cast<unsigned>(i), false, "\r\n");
    s.main = "Heading words\x02 and \x13" "DATE\x14" "1/1/94\x15 today.\r\nAlpha\x07" "Beta\x07" "\x07\r\n" + text;
    s.notes = {{static_cast<int64_t>(s.main.find('\x02')), "The note.\r\n"}};
    s.hf = {"The header.\r\n", "The footer.\r\n"};
    s.sections = {{0, std::string("\x80\x05\x76\x01", 4)}};
    const std::string in("\x18\x01", 2);
    int64_t row = static_cast<int64_t>(s.main.find("Alpha"));
    std::string def = std::string("\x02\x00\x00\xa0\x05\x40\x0b", 7) + std::string(20, '\0');
    s.paras = {{0, ""}, {row, in}, {row + 6, in},
               {row + 11, in + "\x19\x01\x98" + std::string(1, static_cast<char>(def.size())) + std::string(1, '\0') + def},
               {row + 12, ""}};
    wgen::bytes doc = wgen::makestories(s);
    return std::string(doc.begin(), doc.end());
  });
}
