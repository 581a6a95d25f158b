// Writes documents made by wordgen.h into a folder, so that independent
// readers can confirm they hold the text they were written with
// (fixtures/check.sh). Each NAME.doc comes with NAME.words: the words of its
// text, one per line, as a reader should find them.
#include <string>
#include <vector>

#include "converters/runtime/tests/fixgen.h"
#include "converters/word/tests/wordgen.h"

namespace {

const char kpara1[] = "The quick brown fox jumps over the lazy dog.\r";
const char kpara2[] = "Pack my box with five dozen liquor jugs.\r";

struct item {
  const char* name;
  wgen::spec spec;
};

std::string str(const wgen::bytes& b) { return std::string(b.begin(), b.end()); }

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> two = {kpara1, kpara2};
  // A Word 6 stream of over 4096 bytes lies in big blocks, not in the mini stream.
  std::vector<std::string> many;
  for (int i = 0; i < 150; i++) many.push_back(i % 2 ? kpara2 : kpara1);
  const item items[] = {
      {"word2", {wgen::word2, two}},
      {"word2-fast", {wgen::word2, two, true}},
      {"word1", {wgen::word1, two}},
      {"mac5", {wgen::mac5, two}},
      {"mac5-fast", {wgen::mac5, two, true}},
      {"mac3", {wgen::mac3, two}},
      {"word6-mini", {wgen::word6, two}},
      {"word6-mini-fast", {wgen::word6, two, true}},
      {"word6-big", {wgen::word6, many}},
      {"word6-big-fast", {wgen::word6, many, true}},
  };
  std::vector<fixgen::file> files;
  for (const item& it : items) {
    std::string text;
    for (const std::string& p : it.spec.pieces) text += p;
    files.push_back({std::string(it.name) + ".doc", str(wgen::make(it.spec))});
    files.push_back({std::string(it.name) + ".words", fixgen::words(text)});
  }
  // The stream of the big Word 6 document alone, for another compound-file
  // writer to wrap.
  files.push_back({"WordDocument", str(wgen::stream({wgen::word6, many}))});
  return fixgen::writeall(argc, argv, "kes_wordgen", files);
}
