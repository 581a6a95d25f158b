// Helpers of the WordPerfect converter tests: run a version's entry on a
// document through the converter tests' harness, with an option string or a
// zone-file name when asked, and edit documents byte by byte.
#ifndef KES_CONVERTERS_FORMATS_TESTS_WPTEST_H
#define KES_CONVERTERS_FORMATS_TESTS_WPTEST_H

#include <initializer_list>
#include <span>
#include <string>
#include <utility>

#include "converters/formats/tests/fmttest.h"
#include "converters/formats/tests/wpgen.h"

namespace wpt {

using namespace wpg;
using ft::kin;
using ft::kinout;
using ft::result;
using opts = ft::setup;

enum ver { WP5, WP6 };

// Runs the entry of a version on a document ("in.doc"; none: no input file).
inline result run(ver v, const std::string *doc, const opts &o = {}) {
  return v == WP5 ? ft::runst(cvtwp5st, wpc5newst, doc, o) : ft::runst(cvtwp6st, wpc6newst, doc, o);
}

inline result run(ver v, const std::string &doc, const opts &o = {}) { return run(v, &doc, o); }

// A case of a table of document bodies: what it shows, the body, the text
// it gives and the option string it is run with.
struct bodycase {
  const char *name;
  std::string body;
  std::string out;
  const char *options = "0";
};

// Runs each body as the document area of a document of version v: each run
// ends with 0 and gives the case's text.
inline void expectbodies(ver v, std::span<const bodycase> cases) {
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::expect(run(v, v == WP5 ? wp5(c.body) : wp6(c.body), {c.options}), 0, c.out);
  }
}

// A copy of doc with bytes replaced: (offset, value) pairs.
inline std::string edit(std::string doc, std::initializer_list<std::pair<size_t, int>> bytes) {
  for (auto [at, v] : bytes) doc[at] = static_cast<char>(v);
  return doc;
}

}  // namespace wpt

#endif
