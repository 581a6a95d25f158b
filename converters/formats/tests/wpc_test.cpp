// What both WordPerfect converters do alike, through the converter table:
// the documents of wpgen.h give their text, run after run, and missing
// input or unwritable output ends with a status and leaves nothing behind.
#include <gtest/gtest.h>

#include <string>

#include "converters/formats/tests/wptest.h"

namespace {

using namespace wpt;

TEST(WpConverters, GeneratedDocumentsGiveTheirText) {
  for (const doc &d : corpus()) {
    SCOPED_TRACE(d.name);
    // The recogniser names both versions' converters by their ids.
    cvtentry e = nullptr;
    ASSERT_EQ(cvtfind(d.six ? 5 : 1, &e), 1);
    EXPECT_EQ(e, d.six ? cvtwp6 : cvtwp5);
    // Nothing of one run reaches the next.
    for (int i = 0; i < 2; i++) ft::expect(run(d.six ? WP6 : WP5, d.bytes), 0, d.text, &kinout);
  }
}

TEST(WpConverters, MissingInputAndUnwritableOutput) {
  std::string longname(300, 'o');
  struct {
    ver v;
    std::string doc;
    int unopened;  // the status of an output that cannot be opened
  } cases[] = {{WP5, wp5("Hello"), 3}, {WP6, wp6("Hello"), 1}};
  for (auto &c : cases) {
    SCOPED_TRACE(c.v == WP5 ? "5.x" : "6.x");
    EXPECT_EQ(run(c.v, nullptr).status, 1);
    result r = run(c.v, c.doc, {"0", false, "missing/out.txt"});
    EXPECT_EQ(r.status, c.unopened);
    EXPECT_EQ(r.files, kin);
    r = run(c.v, c.doc, {"0", false, longname.c_str()});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.files, kin);
  }
  EXPECT_EQ(cvtwp5st(nullptr, "in", "out"), -1);
  EXPECT_EQ(cvtwp6st(nullptr, "in", "out"), -1);
}

}  // namespace
