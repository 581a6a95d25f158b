// The registry's string helpers: the whitespace squeeze and the formatted
// write into a bounded buffer.
#include <gtest/gtest.h>

#include "dr/dras/dras.h"

namespace {

TEST(Squeeze, Cases) {
  struct {
    const char *in, *out;
  } const cases[] = {
      {"  a \t\n b  ", "a b"},
      {" \t \t", nullptr},
      {"", nullptr},
      {"abc", "abc"},
      {"a\n\nb\tc", "a b c"},
  };
  for (auto c : cases) {
    char buf[64];
    char *r = drasmsqz(nullptr, c.in, buf);
    if (!c.out) {
      EXPECT_EQ(r, nullptr) << c.in;
    } else {
      ASSERT_EQ(r, buf);
      EXPECT_STREQ(buf, c.out);
    }
  }
}

TEST(Format, WritesWithinTheBuffer) {
  drsrvstate *s = nullptr;
  ASSERT_EQ(dracnnew(&s), 0);
  char buf[16];
  EXPECT_EQ(drasmfmt(s->fmt, buf, sizeof buf, "%s.DR_%05d_%s", DRA_STR, "AB", DRA_INT, 42, DRA_STR, "I1T", 0), 15);
  EXPECT_STREQ(buf, "AB.DR_00042_I1T");
  EXPECT_LT(drasmfmt(s->fmt, buf, 8, "%s.DR_%05d_%s", DRA_STR, "AB", DRA_INT, 42, DRA_STR, "I1T", 0), 0);
  dracnfre(&s);
}

}  // namespace
