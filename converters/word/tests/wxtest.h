// Helpers of the Word converter tests: run a converter id on a generated
// document through the converter tests' harness, and read the fixture files
// other programs wrote.
#ifndef KES_CONVERTERS_WORD_TESTS_WXTEST_H
#define KES_CONVERTERS_WORD_TESTS_WXTEST_H

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "converters/formats/tests/fmttest.h"
#include "converters/word/tests/wordgen.h"

namespace wxt {

using wgen::bytes;

enum : int { WORD2 = 7, MACWORD = 6, WORD6 = 11 };

// The converter id of a kind of generated document.
inline int idof(wgen::kind k) {
  switch (k) {
    case wgen::mac5:
    case wgen::mac3: return MACWORD;
    case wgen::word6: return WORD6;
    default: return WORD2;
  }
}

using ft::kin;
using ft::kinout;
using ft::result;

// A generated document as the harness takes it.
inline std::string docstr(const bytes &doc) { return std::string(doc.begin(), doc.end()); }

// Runs the entry of a converter id on a document ("in.doc"; none: no input
// file) writing to outname, all in a fresh folder.
inline result run(int id, const bytes *doc, const std::string &outname = "out.txt") {
  if (!doc) return ft::run(id, nullptr, outname);
  std::string s = docstr(*doc);
  return ft::run(id, &s, outname);
}

inline result run(int id, const bytes &doc) { return run(id, &doc); }
inline result run(const wgen::spec &s) { return run(idof(s.k), wgen::make(s)); }

// A fixture file of the runtime's tests (documents other programs wrote).
inline bytes fixture(const char *name) {
  std::ifstream in(std::string(KES_SOURCE_DIR) + "/converters/runtime/tests/fixtures/" + name, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  std::string s = ss.str();
  EXPECT_FALSE(s.empty()) << name;
  return bytes(s.begin(), s.end());
}

}  // namespace wxt

#endif
