// Helpers of the WordPerfect converter tests: run an entry on a document in
// a fresh folder, with an option string or a zone-file name when asked, and
// see its status, its output and what it left behind.
#ifndef KES_CONVERTERS_FORMATS_TESTS_WPTEST_H
#define KES_CONVERTERS_FORMATS_TESTS_WPTEST_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "converters/formats/cvt.h"
#include "converters/formats/tests/wpgen.h"
#include "converters/runtime/tests/cxtest.h"

namespace wpt {

using namespace wpg;

enum ver { WP5, WP6 };

struct opts {
  const char *options = "0";  // the state's option string
  bool zones = false;         // name a zone side file "zones.txt"
  const char *outname = "out.txt";
};

struct result {
  int status;
  std::string out;                 // "out.txt" afterwards
  std::string zones;               // "zones.txt" afterwards
  std::vector<std::string> files;  // what the run left in its folder, sorted
};

// Runs the entry of a version on a document ("in.doc"; none: no input file).
inline result run(ver v, const std::string *doc, const opts &o = {}) {
  cxtestdir d;
  if (doc) d.put("in.doc", *doc);
  cxstate *st = v == WP5 ? wpc5newst() : wpc6newst();
  std::strncpy(st->nm->optstr, o.options, sizeof st->nm->optstr - 1);
  if (o.zones) {
    std::string z = d.file("zones.txt");
    st->mn->zonefile = static_cast<char *>(cxalloc(st, z.size() + 1));
    std::memcpy(st->mn->zonefile, z.c_str(), z.size() + 1);
  }
  std::string in = d.file("in.doc"), out = d.file(o.outname);
  int status = v == WP5 ? cvtwp5st(st, in.c_str(), out.c_str()) : cvtwp6st(st, in.c_str(), out.c_str());
  result r{status, d.get("out.txt"), d.get("zones.txt"), d.files()};
  std::sort(r.files.begin(), r.files.end());
  return r;
}

inline result run(ver v, const std::string &doc, const opts &o = {}) { return run(v, &doc, o); }

// A copy of doc with bytes replaced: (offset, value) pairs.
inline std::string edit(std::string doc, std::initializer_list<std::pair<size_t, int>> bytes) {
  for (auto [at, v] : bytes) doc[at] = static_cast<char>(v);
  return doc;
}

const std::vector<std::string> kinout = {"in.doc", "out.txt"}, kin = {"in.doc"};

}  // namespace wpt

#endif
