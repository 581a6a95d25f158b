// Decimal numbers: both reading modes, the bytes taken, the range and the
// overflow form, scaling, and that a text of known length is never read past.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/rt/rt.h"

namespace {

// Reads text from a heap block of exactly its length, so that a read past
// the end trips the address checker.
int readexact(const std::string &text, int mode, rtnum *num, size_t *taken) {
  std::unique_ptr<char[]> buf(new char[text.size() ? text.size() : 1]);
  std::memcpy(buf.get(), text.data(), text.size());
  return rtnumread(buf.get(), text.size(), mode, num, taken);
}

int64_t scaled(const rtnum &num, int scale, int *frac) {
  int64_t v = 0;
  rtnumscale(&num, scale, &v, frac);
  return v;
}

TEST(RtNum, WholeTexts) {
  struct Case {
    const char *text;
    int rc;
    int64_t value;  // at scale 3
    int frac;
  } cases[] = {
      {"1", 0, 1000, 0},
      {"  -2.5 ", 0, -2500, 0},
      {"+.125", 0, 125, 0},
      {"5.", 0, 5000, 0},
      {"1e2", 0, 100000, 0},
      {"15E-1", 0, 1500, 0},
      {"0.0001", 0, 0, 1},
      {"000", 0, 0, 0},
      {"1E999", 0, int64_t{1} << 62, 0},
      {"-1E999", 0, -(int64_t{1} << 62), 0},
      {"1E-999", 0, 0, 1},
      {"", 1, 0, 0},
      {".", 1, 0, 0},
      {"1e", 1, 0, 0},
      {"1 2", 1, 0, 0},
      {"1.2.3", 1, 0, 0},
      {"abc", 1, 0, 0},
  };
  for (const Case &c : cases) {
    rtnum num;
    ASSERT_EQ(readexact(c.text, RTNUM_WHOLE, &num, nullptr), c.rc) << c.text;
    if (c.rc) continue;
    int frac = 0;
    EXPECT_EQ(scaled(num, 3, &frac), c.value) << c.text;
    EXPECT_EQ(frac, c.frac) << c.text;
  }
}

TEST(RtNum, PrefixTakesTheNumberThatStartsTheText) {
  struct Case {
    const char *text;
    int rc;
    size_t taken;
  } cases[] = {
      {"12 ", 0, 2}, {"12.5.3", 0, 4}, {".5x", 0, 2}, {"1E5,", 0, 3}, {"1Ex", 0, 1},
      {"1e+", 0, 1}, {"1e-7)", 0, 4},  {"7.", 0, 2},  {"3", 0, 1},    {"-1", 1, 0},
      {" 1", 1, 0},  {".x", 1, 0},     {".", 1, 0},   {"", 1, 0},
  };
  for (const Case &c : cases) {
    rtnum num;
    size_t taken = 99;
    EXPECT_EQ(readexact(c.text, RTNUM_PREFIX, &num, &taken), c.rc) << c.text;
    EXPECT_EQ(taken, c.taken) << c.text;
  }
}

TEST(RtNum, RangeAndForm) {
  struct Case {
    std::string text;
    bool ovf;
  } cases[] = {
      {"9.999E125", false},
      {"1E126", true},
      {std::string(126, '9'), false},
      {"1" + std::string(126, '0'), true},
      {"0." + std::string(61, '0') + "1E-68", false},
      {std::string(300, '0'), false},
  };
  for (const Case &c : cases) {
    rtnum num;
    ASSERT_EQ(readexact(c.text, RTNUM_WHOLE, &num, nullptr), 0) << c.text;
    EXPECT_EQ(rtnumovf(&num) != 0, c.ovf) << c.text;
    EXPECT_LE(num.b[0], RTNUM_SIZE - 1);
  }
  // 1E-130 is the smallest magnitude kept; below it is zero with the cut flag.
  rtnum num;
  ASSERT_EQ(readexact("1E-130", RTNUM_WHOLE, &num, nullptr), 0);
  EXPECT_GT(num.b[0], 1);
  ASSERT_EQ(readexact("9E-131", RTNUM_WHOLE, &num, nullptr), 0);
  EXPECT_EQ(num.b[0], 1);
  EXPECT_TRUE(num.b[1] & RTNUM_FRACCUT);
}

TEST(RtNum, KeepsFortyDigitsExactly) {
  rtnum num;
  // 40 significant digits after the point survive; a non-zero 41st is cut.
  std::string forty = "0." + std::string(39, '0') + "1";
  ASSERT_EQ(readexact(forty, RTNUM_WHOLE, &num, nullptr), 0);
  int frac = 0;
  EXPECT_EQ(scaled(num, 40, &frac), 1);
  EXPECT_EQ(frac, 0);
  ASSERT_EQ(readexact("1." + std::string(39, '0') + "1", RTNUM_WHOLE, &num, nullptr), 0);
  EXPECT_EQ(scaled(num, 0, &frac), 1);
  EXPECT_EQ(frac, 1);
  ASSERT_EQ(readexact("123456789012345678", RTNUM_WHOLE, &num, nullptr), 0);
  EXPECT_EQ(scaled(num, 0, &frac), 123456789012345678);
  EXPECT_EQ(frac, 0);
}

}  // namespace
