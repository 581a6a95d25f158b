// Strings by encoding: how each encoding's strings are written into COM
// (double-byte runs, single bytes against the string code page), the
// multi-byte text mode, and the copy, length, equality, search and
// first-n comparisons by encoding.
#include <gtest/gtest.h>

#include "filters/framework/writer/tests/cwtest.h"

namespace {

TEST(Strings, WrittenByEncoding) {
  const struct {
    const char* what;
    std::string s;
    int enc;
    int strcp;
    std::string want;
  } rows[] = {
      {"Shift-JIS run between letters", "A\x82\xA0" "B", 1, 0,
       "A" + recs(3149, {"2", "1", "0", "82A0"}) + "B"},
      {"two characters share a run", "\x82\xA0\x82\xA2", 1, 0, recs(3149, {"2", "1", "0", "82A082A2"})},
      {"a 1-byte character splits runs", "\x82\xA0x\x82\xA2", 1, 0,
       recs(3149, {"2", "1", "0", "82A0"}) + "x" + recs(3149, {"2", "1", "0", "82A2"})},
      {"half-width katakana is one byte", "\xB1", 1, 0, "\xB1"},
      {"a lead byte without trail ends the string", "A\x82", 1, 0, "A"},
      {"a control byte cannot open a record", "a\x1B" "b", 1, 0, "a" + recs(24744, {"1B"}) + "b"},
      {"Big5", "\xA4\x40", 2, 0, recs(3149, {"2", "2", "0", "A440"})},
      {"GB2312", "\xB0\xA1", 3, 0, recs(3149, {"2", "3", "0", "B0A1"})},
      {"KS C 5601 lead", "\xB0\xA1", 4, 0, recs(3149, {"2", "4", "0", "B0A1"})},
      {"KS C 5601 non-lead", "\xC9", 4, 0, "\xC9"},
      {"bytes, no string code page", "A\x82", 5, 0, "A" + recs(19576, {"437", "82"}) + recs(19573, {"82"})},
      {"bytes, control", "\x09", 5, 0, recs(19576, {"437", "09"}) + recs(24744, {"09"})},
      {"bytes in 437", "A\x82\x09", 5, 437, "A" + recs(19573, {"82"}) + recs(24744, {"09"})},
      {"bytes in 9998", "A", 5, 9998, recs(19576, {"437", "41"}) + "A"},
      {"16-bit", wide("A\x01"), 0, 0, "A" + recs(24744, {"01"})},
      {"unknown encoding", "A", 9, 0, ""},
  };
  for (const auto& r : rows) {
    cwtestrun t;
    t.w->strcp = r.strcp;
    cwstr(t.run, r.s.c_str(), r.enc);
    EXPECT_EQ(t.show(), comshow(r.want)) << r.what;
  }
  cwtestrun t;
  cwstr(t.run, nullptr, 5);
  EXPECT_EQ(t.com(), "");
}

TEST(Strings, MultiByteMode) {
  cwtestrun t;
  t.settle();
  cwattr(t.run, CW_BOLD, 1, 500);
  cwmbyteoff(t.run);  // not on: nothing
  cwmbyteon(t.run, 1, 1);
  cwmbyteon(t.run, 1, 1);  // once only
  cwucschar(t.run, 0x82);
  cwstr(t.run, "\x82\xA0", 1);
  cwmbyteoff(t.run);
  cwmbyteoff(t.run);
  EXPECT_EQ(t.show(), comshow(rec(20546, {500}) + rec(3149, {1, 1, 1}) + "82" +
                              recs(3149, {"2", "1", "1", "82A0"}) + rec(3149, {0})));
  // Order 1 is little-endian 16-bit strings, order 0 big-endian.
  EXPECT_EQ(t.run->bigendian, 0);
  cvmbyteset(t.run, 7, 8, 0);
  EXPECT_EQ(t.run->bigendian, 1);
  EXPECT_EQ(t.w->mborder, 0);
  EXPECT_EQ(t.w->mbset[1], 8);
  cvmbyteset(t.run, 0, 0, 5);  // no order: kept
  EXPECT_EQ(t.run->bigendian, 1);
}

TEST(Strings, HelpersByEncoding) {
  cwtestrun t;
  cvrun* r = t.run;
  std::string ab16 = wide("AB"), abc16 = wide("ABC");
  for (int enc = 0; enc <= 5; enc++) {
    const char* ab = enc == 0 ? ab16.data() : "AB";
    const char* abc = enc == 0 ? abc16.data() : "ABC";
    EXPECT_EQ(cvstreq(r, ab, abc, enc), 0) << enc;
    EXPECT_EQ(cvstreq(r, ab, ab, enc), 1) << enc;
    EXPECT_EQ(cvstreq(r, ab, nullptr, enc), 0) << enc;
    EXPECT_EQ(cvstreq(r, nullptr, nullptr, enc), 1) << enc;
    EXPECT_EQ(cvstrlen(r, ab, enc), 2) << enc;
    char* copy = cvstrdup(r, ab, enc);
    ASSERT_NE(copy, nullptr) << enc;
    EXPECT_EQ(cvstreq(r, copy, ab, enc), 1) << enc;
    EXPECT_EQ(cvstrdup(r, enc == 0 ? wide("").data() : "", enc), nullptr) << enc;
    EXPECT_EQ(cvstrncmp(r, ab, abc, 5, enc), 1) << enc;  // the first ends first
    // 16-bit strings end the comparison at the end of either string.
    EXPECT_EQ(cvstrncmp(r, abc, ab, 3, enc), enc == 0 ? 1 : 0) << enc;
  }
  EXPECT_EQ(cvstrdup(r, "AB", 6), nullptr);
  EXPECT_EQ(cvstrlen(r, "AB", 6), 0);
  EXPECT_EQ(cvstrlen(r, nullptr, 5), 0);
  EXPECT_EQ(cvstrlen(r, "\x82\xA0" "A", 1), 3);
  // Search: a trail byte is never a character of its own.
  const char* sj = "A\x82\xA0\xA0";
  EXPECT_EQ(cvstrchr(r, sj, 0x82A0, 1), sj + 1);
  EXPECT_EQ(cvstrchr(r, sj, 0xA000, 1), sj + 3);
  EXPECT_EQ(cvstrchr(r, sj, 0x4100, 1), sj);
  const char* abc = "abc";
  EXPECT_EQ(cvstrchr(r, abc, 'c', 5), abc + 2);
  EXPECT_EQ(cvstrchr(r, abc, 'z', 5), nullptr);
  EXPECT_EQ(cvstrchr(r, abc16.data(), 'C' << 8, 0), abc16.data() + 4);
  // A double-byte character is compared in both bytes, even as the last of n.
  EXPECT_EQ(cvstrncmp(r, "\x82\xA0X", "\x82\xA1X", 1, 1), 0);
  EXPECT_EQ(cvstrncmp(r, "\x82\xA0X", "\x82\xA0Y", 2, 1), 1);
}

}  // namespace
