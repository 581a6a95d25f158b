// Writes the documents of wpgen.h into a folder, so that independent
// readers can confirm they hold the text they were written with
// (fixtures/check.sh). Each NAME.wp or NAME.wpd that a reader can confirm
// comes with NAME.words: the words of the text the converters write for it,
// one per line, in UTF-8.
#include <cstdio>
#include <string>

#include "converters/formats/tests/wpgen.h"

namespace {

// The words of a code-page-819 text, lower-cased, in UTF-8.
std::string words(const std::string &text) {
  std::string out, w;
  for (unsigned char c : text) {
    bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c >= 0xC0;
    if (letter) {
      if (c >= 'A' && c <= 'Z') c += 32;
      if (c >= 0xC0 && c <= 0xDE && c != 0xD7) c += 32;
      if (c < 0x80) {
        w += static_cast<char>(c);
      } else {
        w += static_cast<char>(0xC0 | c >> 6);
        w += static_cast<char>(0x80 | (c & 0x3F));
      }
    } else if (!w.empty()) {
      out += w + "\n";
      w.clear();
    }
  }
  if (!w.empty()) out += w + "\n";
  return out;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kes_wpgen FOLDER\n");
    return 2;
  }
  std::string dir = argv[1];
  for (const wpg::doc &d : wpg::corpus()) {
    std::string base = dir + "/" + d.name;
    if (!wpg::save(base + (d.six ? ".wpd" : ".wp"), d.bytes) ||
        (d.checked && !wpg::save(base + ".words", words(d.text)))) {
      std::fprintf(stderr, "kes_wpgen: cannot write into %s\n", dir.c_str());
      return 1;
    }
  }
  return 0;
}
