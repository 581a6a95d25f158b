// The identifier check every name from a message passes before it goes into
// a statement text.
#include <gtest/gtest.h>

#include <string>

#include "dr/dru/druo.h"

namespace {

TEST(Druoidn, AcceptsOnlyPlainNames) {
  struct {
    const char *name;
    int parts;
    bool ok;
  } cases[] = {
      {"done_proc", 2, true},  {"app.done_proc", 2, true}, {"app.done_proc", 1, false},
      {"dr$callback", 1, true}, {"a#b", 1, true},          {"_x1", 1, true},
      {"", 2, false},           {"1abc", 2, false},        {"a.b.c", 2, false},
      {"a.", 2, false},         {".a", 2, false},          {"a b", 2, false},
      {"a;drop table t", 2, false}, {"a(1)", 2, false},    {"\"a\"", 2, false},
      {"a--", 2, false},        {"a\nb", 2, false},
  };
  for (auto &c : cases) EXPECT_EQ(druoidn(c.name, c.parts), c.ok) << c.name;
  EXPECT_FALSE(druoidn(nullptr, 2));
  EXPECT_TRUE(druoidn(std::string(63, 'a').c_str(), 1));
  EXPECT_FALSE(druoidn(std::string(64, 'a').c_str(), 1));
}

}  // namespace
