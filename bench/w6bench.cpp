// Converts a generated corpus of Word 6 documents (a few large ones and
// many small ones padded past 4096 bytes, since antiword refuses streams in
// the mini stream) with the full reader (a zone file named), with the text
// extractor, and with antiword, in the same run; prints the input megabytes
// per second of each. The documents carry character and paragraph runs.
// Usage: kes_bench_w6full [FOLDER]   (the corpus is written there, or in /tmp)
#include <cstdio>
#include <string>
#include <vector>

#include "bench/cvtrun.h"
#include "converters/word/tests/word6gen.h"

namespace {

// The Word 6 entry with a zone file beside the output.
int16_t fullreader(const char* in, const char* out) {
  std::string zones = std::string(out) + ".zones";
  cxstate* st = w6newst();
  wzonefile(st, zones.c_str());
  int16_t status = cvtword6st(st, in, out);
  std::remove(zones.c_str());
  return status;
}

std::string document(const benchgroup& g, int i) {
  std::string text = benchtext(g.size, static_cast<unsigned>(i), false, "\r");
  wgen::w6spec d;
  d.text.pieces = {text};
  d.text.padto = 6000;
  // Bold every few words and a run of paragraph properties every paragraph.
  for (size_t at = 0; at < text.size(); at += 97) d.chps.push_back({static_cast<int32_t>(at), at % 2 ? "\x55\x01" : ""});
  int32_t from = 0;
  for (size_t at = 0; at < text.size(); ++at)
    if (text[at] == '\r') {
      d.paps.push_back({from, at % 3 ? "\x05\x01" : ""});
      from = static_cast<int32_t>(at + 1);
    }
  if (from < static_cast<int32_t>(text.size())) d.paps.push_back({from, ""});
  wgen::bytes b = wgen::word6doc(d);
  return std::string(b.begin(), b.end());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<benchgroup> groups = {{"full reader, 3 x 4 MB", 11, 3, 4000000, ".doc"},
                                    {"extractor, 3 x 4 MB", 11, 3, 4000000, ".doc"},
                                    {"full reader, 400 x 3 KB", 11, 400, 3000, ".doc"},
                                    {"extractor, 400 x 3 KB", 11, 400, 3000, ".doc"}};
  groups[0].entry = groups[2].entry = fullreader;
  return benchrun(argc, argv, "kes-bench-w6full", groups, "antiword", document);
}
