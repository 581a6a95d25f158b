// Writes one document of each of five formats into a folder, each holding
// a word only its text holds (the file's name without its extension):
// an HTML page, a plain text, Word 2, Word 6 and WordPerfect 5.1, made by
// the converter family's generators, for the mixed-document demonstration.
#include <cstdio>
#include <fstream>
#include <string>

#include "tests/fixtures/pipe/mixfix.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kes_mixgen folder\n");
    return 2;
  }
  std::string dir = argv[1];
  struct {
    const char *name;
    std::string doc;
  } files[] = {
      {"hypertext.html", mixfix::html("hypertext")},
      {"plaintext.txt", mixfix::plain("plaintext")},
      {"wordtwo.doc", mixfix::word2("wordtwo")},
      {"wordsix.doc", mixfix::word6("wordsix")},
      {"perfect.wp", mixfix::wp51("perfect")},
  };
  for (const auto &f : files) {
    std::ofstream out(dir + "/" + f.name, std::ios::binary);
    out.write(f.doc.data(), static_cast<std::streamsize>(f.doc.size()));
    if (!out) return 1;
  }
  return 0;
}
