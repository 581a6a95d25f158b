// What the converters' document generators share: writing their documents
// into a folder, each beside the words it was written with, for the
// cross-checks with independent readers (crosscheck.sh; run by hand).
#ifndef KES_CONVERTERS_RUNTIME_TESTS_FIXGEN_H
#define KES_CONVERTERS_RUNTIME_TESTS_FIXGEN_H

#include <cstdio>
#include <string>
#include <vector>

namespace fixgen {

// Writes bytes into a file; false when that fails.
inline bool save(const std::string &path, const std::string &bytes) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

// The words of a text as the cross-checks compare them, lower-cased, one a
// line: runs of ASCII letters and digits; with latin1 the text is code page
// 819, its letters from 0xC0 on count too and are written in UTF-8.
inline std::string words(const std::string &text, bool latin1 = false) {
  std::string out, w;
  for (unsigned char c : text) {
    bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || (latin1 && c >= 0xC0);
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

// One file a generator writes: its name in the folder and its bytes.
struct file {
  std::string name;
  std::string bytes;
};

// The body of a generator's main: writes the files into the folder that
// its one argument names. 0, 1 when a file cannot be written, 2 when it is
// not called with one folder.
inline int writeall(int argc, char **argv, const char *program, const std::vector<file> &files) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", program);
    return 2;
  }
  for (const file &f : files) {
    if (!save(std::string(argv[1]) + "/" + f.name, f.bytes)) {
      std::fprintf(stderr, "%s: cannot write into %s\n", program, argv[1]);
      return 1;
    }
  }
  return 0;
}

}  // namespace fixgen

#endif
