// Writes documents made by wordgen.h into a folder, so that independent
// readers can confirm they hold the text they were written with
// (fixtures/check.sh). Each NAME.doc comes with NAME.words: the words of its
// text, one per line, as a reader should find them.
#include <cstdio>
#include <string>
#include <vector>

#include "converters/word/tests/wordgen.h"

namespace {

const char kpara1[] = "The quick brown fox jumps over the lazy dog.\r";
const char kpara2[] = "Pack my box with five dozen liquor jugs.\r";

struct item {
  const char* name;
  wgen::spec spec;
};

bool save(const std::string& path, const std::string& bytes) {
  return wgen::save(path, bytes.data(), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kes_wordgen FOLDER\n");
    return 2;
  }
  std::string dir = argv[1];
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
  for (const item& it : items) {
    wgen::bytes doc = wgen::make(it.spec);
    std::string text;
    for (const std::string& p : it.spec.pieces) text += p;
    if (!save(dir + "/" + it.name + ".doc", std::string(doc.begin(), doc.end())) ||
        !save(dir + "/" + it.name + ".words", wgen::words(text))) {
      std::fprintf(stderr, "kes_wordgen: cannot write into %s\n", dir.c_str());
      return 1;
    }
  }
  // The stream of the big Word 6 document alone, for another compound-file
  // writer to wrap.
  wgen::bytes big = wgen::stream({wgen::word6, many});
  if (!save(dir + "/WordDocument", std::string(big.begin(), big.end()))) return 1;
  return 0;
}
