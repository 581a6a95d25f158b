// Helpers of the Word converter tests: run a converter id on a document in a
// fresh folder and see its status, its output and what it left behind.
#ifndef KES_CONVERTERS_WORD_TESTS_WXTEST_H
#define KES_CONVERTERS_WORD_TESTS_WXTEST_H

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "converters/formats/cvt.h"
#include "converters/runtime/tests/cxtest.h"
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

struct result {
  int status;
  std::string out;                 // the output file "out.txt" afterwards
  std::vector<std::string> files;  // what the run left in its folder, sorted
};

// Runs the entry of a converter id on a document ("in.doc"; none: no input
// file) writing to outname, all in a fresh folder.
inline result run(int id, const bytes *doc, const std::string &outname = "out.txt") {
  cxtestdir d;
  if (doc) d.put("in.doc", std::string(doc->begin(), doc->end()));
  cvtentry e = nullptr;
  EXPECT_EQ(cvtfind(id, &e), 1);
  result r{e(d.file("in.doc").c_str(), d.file(outname).c_str()), d.get("out.txt"), d.files()};
  std::sort(r.files.begin(), r.files.end());
  return r;
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

const std::vector<std::string> kin = {"in.doc"}, kinout = {"in.doc", "out.txt"};

}  // namespace wxt

#endif
