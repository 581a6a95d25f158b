// Writes the documents of wpgen.h into a folder, so that independent
// readers can confirm they hold the text they were written with
// (fixtures/check.sh). Each NAME.wp or NAME.wpd that a reader can confirm
// comes with NAME.words: the words of the text the converters write for it,
// one per line, in UTF-8.
#include <string>
#include <vector>

#include "converters/formats/tests/wpgen.h"
#include "converters/runtime/tests/fixgen.h"

int main(int argc, char **argv) {
  std::vector<fixgen::file> files;
  std::vector<wpg::doc> all = wpg::corpus();
  for (const wpg::doc &d : wpg::reader5()) all.push_back(d);
  for (const wpg::doc &d : wpg::reader6()) all.push_back(d);
  for (const wpg::doc &d : all) {
    files.push_back({std::string(d.name) + (d.six ? ".wpd" : ".wp"), d.bytes});
    if (d.checked) files.push_back({std::string(d.name) + ".words", fixgen::words(d.text, true)});
  }
  return fixgen::writeall(argc, argv, "kes_wpgen", files);
}
