// Writes the Word 6 documents of word6gen.h into a folder, so that
// independent readers can confirm they hold the text they were written
// with (fixtures/word6.sh). Each NAME.doc comes with NAME.words.
#include <string>
#include <vector>

#include "converters/runtime/tests/fixgen.h"
#include "converters/word/tests/word6gen.h"

int main(int argc, char** argv) {
  std::vector<fixgen::file> files;
  for (const wgen::w6sample& s : wgen::word6samples()) {
    wgen::bytes b = wgen::word6doc(s.doc);
    files.push_back({s.name + ".doc", std::string(b.begin(), b.end())});
    files.push_back({s.name + ".words", fixgen::words(s.text)});
  }
  return fixgen::writeall(argc, argv, "kes_word6gen", files);
}
