// The stream layer: typed reads in each level's byte order, short reads,
// reading at the current position, and the wide strings with their keyword
// matching.
#include <gtest/gtest.h>

#include "filters/word/tests/wwtest.h"

namespace {

TEST(WordStreams, TypedReadsFollowTheLevel) {
  struct Case {
    int ver;
    std::string bytes;
    long want;
    int kind;  // 0 wwgetw, 1 wwgetsw, 2 wwgetl, 3 wwgetul
  } cases[] = {
      {3, "\x12\x34", 0x1234, 0},         {1, "\x12\x34", 0x3412, 0},
      {2, "\x12\x34", 0x3412, 0},         {6, "\x12\x34", 0x3412, 0},
      {6, "\xff\xfe", -257, 1},           {3, "\xff\xfe", -2, 1},
      {4, "\x01\x02\x03\x04", 0x01020304, 2}, {6, "\x01\x02\x03\x04", 0x04030201, 2},
      {6, "\xff\xff\xff\xff", 0xFFFFFFFFL, 3}, {5, "\xff\xff\xff\xfe", -2, 2},
      // Short reads: what is missing reads as zero bytes.
      {6, "\x01", 1, 2},                  {4, "\x01", 0x0100, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ver);
    wwtestrun r(c.bytes, c.ver);
    long got = c.kind == 0   ? static_cast<long>(wwgetw(&r.w, WW_MAIN))
               : c.kind == 1 ? wwgetsw(&r.w, WW_MAIN)
               : c.kind == 2 ? wwgetl(&r.w, WW_MAIN)
                             : static_cast<long>(wwgetul(&r.w, WW_MAIN));
    EXPECT_EQ(got, c.want) << c.kind;
  }
}

TEST(WordStreams, BuffersAndPositions) {
  const unsigned char b[] = {1, 2, 3, 4};
  wwtestrun r6("abcdef", 6), r4("abcdef", 4);
  EXPECT_EQ(wwbuf3b(&r6.w, b), 0x030201);
  EXPECT_EQ(wwbuf3b(&r4.w, b), 0x020304);
  unsigned char out[2];
  wwputw(&r4.w, out, 0xABCD);
  EXPECT_EQ(out[0], 0xAB);
  wwputw(&r6.w, out, 0xABCD);
  EXPECT_EQ(out[0], 0xCD);
  EXPECT_EQ(wwgetch(&r6.w, WW_MAIN, 2), 'c');
  EXPECT_EQ(wwgetch(&r6.w, WW_MAIN, -1), 'd');  // on from where the last read ended
  EXPECT_EQ(wwtell(&r6.w, WW_MAIN), 4);
  EXPECT_EQ(wwsize(&r6.w, WW_MAIN), 6);
  EXPECT_EQ(wwgetch(&r6.w, WW_MAIN, 6), -1);
  // A work stream keeps records in the document's byte order.
  int h = wwtmpnew(&r4.w, 128);
  ASSERT_GE(h, 0);
  wwputw(&r4.w, out, 0x1234);
  wwwrite(&r4.w, h, out, 2);
  wwseek(&r4.w, h, 0);
  EXPECT_EQ(wwgetw(&r4.w, h), 0x1234u);
  wwtmpdel(&r4.w, h);
}

std::vector<int32_t> wide(const std::string& s) {
  std::vector<int32_t> v(s.begin(), s.end());
  v.push_back(0);
  return v;
}

TEST(WordStreams, WideStringsAndKeywords) {
  auto inc = wide("include more");
  EXPECT_EQ(wwkwmatch(inc.data(), "INCLUDE"), 1);
  EXPECT_EQ(wwkwmatch(inc.data(), "INCLUDEPICTURE"), 0);
  auto fld = wide(" x  Page 3");
  const int32_t* at = wwkwfind(fld.data(), "PAGE");
  ASSERT_NE(at, nullptr);
  EXPECT_EQ(at - fld.data(), 4);
  EXPECT_EQ(wwkwfind(fld.data(), "TOC"), nullptr);
  auto digits = wide("123456789012345");
  EXPECT_EQ(wwfldint(digits.data()), static_cast<int>(12345678901L));
  auto neg = wide("  -42abc");
  EXPECT_EQ(wwfldint(neg.data()), -42);
  int32_t empty[] = {0};
  EXPECT_EQ(wwiswide(empty), 0);
  int32_t big[] = {'a', 300, 0};
  EXPECT_EQ(wwiswide(big), 1);
  EXPECT_EQ(wwwdist(big, big), 0);
  EXPECT_EQ(wwwdist(big + 2, big), 8);
  int32_t copy[3];
  EXPECT_EQ(wwwcpy(copy, big), 2);
  EXPECT_EQ(wwweq(copy, big), 1);
  copy[1] = 301;
  EXPECT_EQ(wwweq(copy, big), 0);
  wwtestrun r("", 6);
  int32_t* w = wwwiden(&r.w, "\xe9t\xe9");
  EXPECT_EQ(w[0], 0xE9);
  EXPECT_EQ(wwwlen(w), 3);
  char* back = wwstrdup(&r.w, w);
  EXPECT_STREQ(back, "\xe9t\xe9");
  EXPECT_EQ(wwstrdup(&r.w, nullptr), nullptr);
  char up[] = "ab{z\xe9";
  EXPECT_EQ(wwupper(up), 5);
  EXPECT_STREQ(up, "AB{Z\xe9");
  wwfree(&r.w, back);
  wwfree(&r.w, w);
}

}  // namespace
