// The formatter: directives over typed-argument lists, positions, bounds.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/rt/rt.h"

namespace {

struct Case {
  const char *name;
  const char *format;
  std::string want;
};

int32_t i32 = -42;
uint32_t u32 = 4000000000u;
uint16_t u16 = 65535;
int16_t s16 = -7;
uint8_t u8 = 200;
int32_t lenv = 3;

std::string fmt(const char *format) {
  char buf[256];
  int rc = lsffmt(nullptr, buf, sizeof buf, format, RTA_STR, "abc", RTA_INT, 7, RTA_SB4, &i32,
                  RTA_UB4, &u32, RTA_UB2, &u16, RTA_SB2, &s16, RTA_UB1, &u8, RTA_DBL, 1.5,
                  RTA_TXT, "xyzw", &lenv, RTA_VAL, static_cast<intptr_t>(-9), 0);
  if (rc < 0) return "rc=" + std::to_string(rc);
  EXPECT_EQ(static_cast<size_t>(rc), std::strlen(buf));
  return buf;
}

TEST(Lsf, DirectivesOverTypedArguments) {
  // Arguments: 1 "abc", 2 7, 3 -42, 4 4000000000, 5 65535, 6 -7, 7 200,
  // 8 1.5, 9 "xyz" (text with length 3), 10 -9.
  const Case cases[] = {
      {"in order", "%s %s %s", "abc 7 -42"},
      {"positional", "%(2)s-%(1)s-%(2)s", "7-abc-7"},
      {"positional then in order", "%(3)d %s", "-42 abc"},
      {"integer with s", "%(2)s", "7"},
      {"zero padded s", "%(2)03s", "007"},
      {"precision digits", "%(2).5d", "00007"},
      {"zero width", "%(3)05d", "-0042"},
      {"left width", "[%(1)-6s]", "[abc   ]"},
      {"right width", "[%(1)6s]", "[   abc]"},
      {"string precision", "%(1).2s", "ab"},
      {"unsigned 32", "%(4)s %(4)u", "4000000000 4000000000"},
      {"signed as unsigned wraps", "%(3)u", "4294967254"},
      {"16 and 8 bit", "%(5)s %(6)s %(7)s", "65535 -7 200"},
      {"hex", "%(2)x %(5)X %(2)#x", "7 FFFF 0x7"},
      {"double fixed with s", "%(8)2.3s", "1.500"},
      {"double shortest", "%(8)s", "1.5"},
      {"double f", "%(8).2f", "1.50"},
      {"text with length", "[%(9)s]", "[xyz]"},
      {"value by value", "%(10)s", "-9"},
      {"long modifier", "%(2)ld %(4)lu", "7 4000000000"},
      {"percent", "100%%", "100%"},
      {"char", "%(2)c%(1)c", "\x07" "a"},
      {"star width", "[%*s]", "rc=-3"},
      {"missing argument", "%(11)s", "rc=-3"},
      {"bad position", "%(0)s", "rc=-1"},
      {"bad conversion", "%k", "rc=-1"},
      {"unclosed position", "%(2s", "rc=-1"},
      {"lone percent at end", "abc%", "rc=-1"},
  };
  for (const Case &c : cases) EXPECT_EQ(fmt(c.format), c.want) << c.name;
}

TEST(Lsf, EveryPointerCodeIsFollowed) {
  int32_t counter = -3, line = 12;
  char buf[64];
  EXPECT_EQ(lsffmt(nullptr, buf, sizeof buf, "%s,%s,%05s", RTA_SWORD, &counter, RTA_SB4POS, &line,
                   RTA_SB4POS, &line, 0),
            11);
  EXPECT_STREQ(buf, "-3,12,00012");
}

TEST(Lsf, StarTakesWidthFromTheList) {
  char buf[32];
  EXPECT_EQ(lsffmt(nullptr, buf, sizeof buf, "[%*s|%-*s]", RTA_INT, 4, RTA_STR, "ab", RTA_INT, 3,
                   RTA_STR, "c", 0),
            10);
  EXPECT_STREQ(buf, "[  ab|c  ]");
  EXPECT_EQ(lsffmt(nullptr, buf, sizeof buf, "%.*s", RTA_INT, 2, RTA_STR, "abcdef", 0), 2);
  EXPECT_STREQ(buf, "ab");
}

TEST(Lsf, NeverWritesPastTheBuffer) {
  char buf[16];
  std::memset(buf, '#', sizeof buf);
  // size 8: seven characters and the NUL, the rest untouched
  EXPECT_EQ(lsffmt(nullptr, buf, 8, "%s-%s", RTA_STR, "abcdef", RTA_STR, "ghij", 0), LSF_ETRUNC);
  EXPECT_STREQ(buf, "abcdef-");
  for (size_t i = 8; i < sizeof buf; i++) EXPECT_EQ(buf[i], '#');
  // a wide field truncates the same way
  EXPECT_EQ(lsffmt(nullptr, buf, 8, "%100s", RTA_STR, "x", 0), LSF_ETRUNC);
  EXPECT_EQ(std::strlen(buf), 7u);
  // exact fit
  EXPECT_EQ(lsffmt(nullptr, buf, 4, "%s", RTA_STR, "abc", 0), 3);
  // size 0 writes nothing at all
  buf[0] = '#';
  EXPECT_EQ(lsffmt(nullptr, buf, 0, "x", 0), LSF_ETRUNC);
  EXPECT_EQ(buf[0], '#');
  EXPECT_EQ(lsffmt(nullptr, buf, 0, "", 0), 0);
}

TEST(Lsf, NullPointersAndBadLists) {
  char buf[32];
  EXPECT_EQ(lsffmt(nullptr, buf, sizeof buf, "%s|%s", RTA_STR, nullptr, RTA_SB4, nullptr, 0), 13);
  EXPECT_STREQ(buf, "(null)|(null)");
  // an unknown code ends the reading of the list: failure, not a crash
  EXPECT_EQ(lsffmt(nullptr, buf, sizeof buf, "%s", 99, 1, 0), LSF_EARGS);
  EXPECT_STREQ(buf, "");
}

TEST(Lsf, PointerShownAsAddress) {
  char buf[64];
  int x = 0;
  ASSERT_GT(lsffmt(nullptr, buf, sizeof buf, "0x%p", RTA_PTR, &x, 0), 2);
  char want[64];
  std::snprintf(want, sizeof want, "0x%016lX", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(&x)));
  EXPECT_STREQ(buf, want);
}

TEST(Lsf, PackageMustBeLsf) {
  rtfmt *f = nullptr;
  EXPECT_EQ(rtfmtopen(nullptr, "other", nullptr, &f), -1);
  EXPECT_EQ(f, nullptr);
  ASSERT_EQ(rtfmtopen(nullptr, "lsf", nullptr, &f), 0);
  char buf[8];
  EXPECT_EQ(lsffmt(f, buf, sizeof buf, "%(1)s", RTA_INT, 5, 0), 1);
  rtfmtclose(f);
}

}  // namespace
