// The WordPerfect 5.x converter through its entry: codes and groups one by
// one, the character sets, damaged and hostile documents, and the statuses
// of documents it refuses.
#include <gtest/gtest.h>

#include <string>

#include "converters/formats/tests/wptest.h"
#include "converters/formats/wpc.h"

namespace {

using namespace wpt;

TEST(Wp5Converter, CodesAndGroups) {
  const bodycase cases[] = {
      {"characters, 0x7F too", "Hello, World\x7F", "Hello, World\x7F"},
      {"0x0A is a line end", "a\x0A" "b", "a\r\nb"},
      {"0x0A with line ends x", "a\x0A" "b", "a\nb", "0x"},
      {"0x0A with line ends m", "a\x0A" "b", "a\rb", "0M"},
      {"0x0C is a line end, no form feed", "a\x0C" "b", "a\r\nb"},
      {"0x0D and 0x0B are spaces", "a\x0D" "b\x0B" "c", "a b c"},
      {"0x8C, 0x90 and 0xA0 are spaces", "a\x8C" "b\x90" "c\xA0" "d", "a b c d"},
      {"0xA9 is a hyphen", "a\xA9" "b", "a-b"},
      {"other single-byte codes write nothing", std::string("a\x00\x01\x1F\x80\xA8\xBF", 7) + "b", "ab"},
      {"extended character", "a" + wp5ext(1, 23) + "b", "a\xDF" "b"},
      {"extended character in code page 437", "a" + wp5ext(1, 27) + "b", "a\xA0" "b", "0a0437"},
      {"extended character without an equivalent", wp5ext(6, 31), "_"},
      {"extended character of no table", wp5ext(0, 65), " "},
      {"0xC1 with top bits 00 is a space", "a\xC1" + zeros(7) + "\xC1" "b", "a b"},
      {"0xC1 01 with bit 0x20", "a\xC1\x40\x20" + zeros(5) + "\xC1" "b", "a b"},
      {"0xC1 01 without bit 0x20", "a\xC1\x40" + zeros(6) + "\xC1" "b", "ab"},
      {"0xC1 with top bits 10", "a\xC1\x80\x20" + zeros(5) + "\xC1" "b", "ab"},
      {"0xC1 with top bits 11 and bit 0x20", "a\xC1\xC0\x20" + zeros(5) + "\xC1" "b", "a b"},
      {"0xC2 is a space", "a\xC2" + zeros(9) + "\xC2" "b", "a b"},
      {"0xC3-0xC8 take their lengths", "a\xC3xy" "b\xC4xy" "c\xC5wxyz" "d\xC6vwxyz" "e\xC7uvwxyz" "f\xC8" "g",
       "abcdefg"},
      {"header text", "a" + wp5header(1, "Head") + "b", "a Headb"},
      {"header whose byte 7 is 0: one space", "a" + wp5header(0, "Hidden", false) + "b", "a b"},
      {"header group of another subfunction", "a" + wp5header(4, "Hidden") + "b", "ab"},
      {"note with numbers and an extended character", "a" + wp5note(1, "N" + wp5ext(1, 23), 2) + "b",
       "a N\xDF" "b"},
      {"codes inside a group's text", wp5header(0, "x\x0Ay\xC2" + zeros(9) + "\xC2z"), " x\r\ny z"},
      {"comment", wp5group(0xD9, 2, zeros(3) + "Remark"), " Remark"},
      {"comment group of another subfunction", wp5group(0xD9, 1, zeros(3) + "Remark"), ""},
      {"caption", wp5group(0xDA, 2, zeros(115) + le16(3) + "xyz" + "Cap"), "Cap"},
      {"caption group of subfunction 0", wp5group(0xDA, 0, zeros(115) + le16(3) + "xyz" + "Cap"), ""},
      {"marks 3 and 4 are spaces, 0 and 1 nothing",
       wp5group(0xD7, 0, "\x10") + wp5group(0xD7, 3, "") + wp5group(0xD7, 4, "") + wp5group(0xD7, 1, "\x10"), "  "},
      {"region start is a space, its end nothing", "a" + wp5group(0xDC, 0, "") + "b" + wp5group(0xDC, 2, "") + "c",
       "a bc"},
      {"other groups write nothing", "a" + wp5group(0xD0, 1, "Hidden text") + "b" + wp5group(0xFF, 0, "x") + "c",
       "abc"},
  };
  expectbodies(WP5, cases);
}

// Which code page each (set, number) pair belongs to, and its byte: the set
// table, overridden by the first code-page row in the search order.
TEST(Wp5Converter, CharacterMapDecidesByTheFirstCodePageRow) {
  struct {
    int set, number, cp, ch;
  } cases[] = {
      {1, 23, 819, 0xDF},  {1, 3, 437, 0x5E},   {3, 8, 8591, 0x97}, {2, 6, 437, 0x3D},
      {0, 65, 437, 0x20},  {0, 95, 8591, 0x89}, {0, 124, 8591, 0xA6}, {9, 0, 9998, 0xC0},
      {9, 1, 437, 0x20},   {2, 7, 437, 0x20},   {1, 27, 819, 0xE1}, {4, 28, 819, 0x92},
      {1, 12, 819, 0xB8},  {2, 15, 850, 0xF7},  {1, 118, 9997, 0x01}, {6, 95, 9999, 0xD7},
      {8, 25, 850, 0xE6},  {5, 0, 9998, 0xA9},  {4, 0, 437, 0x07},  {12, 3, 437, 0x20},
  };
  cxstate *st = wpc5newst();
  for (auto &c : cases) {
    int ch = -1;
    EXPECT_EQ(wpc5charmap(st, c.set, c.number, &ch), c.cp) << c.set << "," << c.number;
    EXPECT_EQ(ch, c.ch) << c.set << "," << c.number;
  }
  // The reverse lookups.
  int set = 0, ch = 0xC4;
  EXPECT_EQ(wpc5setmap(st, 1, &set, &ch), 1);
  EXPECT_EQ(set, 3);
  EXPECT_EQ(ch, 8);
  set = 8;
  ch = 0;
  EXPECT_EQ(wpc5setmap(st, 0, &set, &ch), 0);
  int number = 0;
  EXPECT_EQ(wpc5cprev(st, 819, 0xDF, &set, &number), 1);
  EXPECT_EQ(set, 1);
  EXPECT_EQ(number, 23);
  EXPECT_EQ(wpc5cprev(st, 1250, 0xDF, &set, &number), 0);
  wpc5freest(st);
}

// Groups come from outside: a group too short for the bytes ahead of its
// text, or one that claims more than the group holding it, never reads
// into what follows.
TEST(Wp5Converter, GroupsAreReadWithinTheirLength) {
  const bodycase cases[] = {
      {"header shorter than the bytes ahead of its text", wp5group(0xD5, 0, zeros(7) + "\x01" "ab") + "c", "c"},
      {"note whose numbers reach past it", wp5group(0xD6, 0, zeros(3) + "\xFF" "abc") + "d", "d"},
      {"caption whose count reaches past it", wp5group(0xDA, 2, zeros(115) + le16(900) + "abc") + "d", "d"},
      {"group of length 2", "\xD5" + zeros(1) + le16(2) + "xy" + "b", "b"},
      {"group claiming more than the group holding it",
       wp5note(0, "a\xD9\x02" + le16(500) + zeros(3) + "inner") + "after", " a innerafter"},
      {"fixed code at the end of a group",
       wp5note(0, "a\xC2" + zeros(3)) + "after", " a after"},
  };
  expectbodies(WP5, cases);
}

// Nesting is bounded: a group inside 32 others is skipped by its length.
TEST(Wp5Converter, DeepNestingEndsWithoutCrashing) {
  std::string g = "end";
  std::string expected;
  for (int depth = 40; depth >= 1; depth--) g = wp5note(0, std::to_string(depth) + g);
  for (int depth = 1; depth <= 32; depth++) expected += " " + std::to_string(depth);
  result r = run(WP5, wp5(g + "after"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, expected + "after");
  // 10,000 groups one inside another, each claiming the most a length can.
  std::string deep;
  for (int i = 0; i < 10000; i++) deep += "\xD6" + zeros(1) + le16(0xFFFF) + zeros(3) + byte(0) + zeros(11) + "x";
  r = run(WP5, wp5(deep));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.files, kinout);
}

TEST(Wp5Converter, StatusesOfRefusedAndDamagedDocuments) {
  std::string good = wp5("Hello" + wp5header(0, "Head"));
  auto with = [&](size_t at, int value) { return edit(good, {{at, value}}); };
  std::string nooffset = good;
  nooffset.replace(4, 4, le32(0x80000000u));
  std::string far = good;
  far.replace(4, 4, le32(100000));
  const ft::statuscase cases[] = {
      {"15 bytes", good.substr(0, 15), 9, ""},
      {"empty", "", 9, ""},
      {"signature", with(1, 'X'), 9, ""},
      {"product type", with(8, 2), 9, ""},
      {"file type", with(9, 11), 9, ""},
      {"a 6.x document", with(10, 2), 9, ""},
      {"version 5.2", with(11, 2), 0, "Hello Head"},
      {"encryption key", with(12, 1), 15, ""},
      {"encryption key, second byte", with(13, 1), 15, ""},
      {"document area beyond the end", far, 0, ""},
      {"document area out of reach", nooffset, 2, ""},
      {"ends inside a group", good.substr(0, good.size() - 4), 0, "Hello Head"},
      {"ends inside an extended character", wp5("ab\xC0\x17"), 0, "ab"},
      {"ends after a group's length", wp5("ab\xD5\x00\x30"), 0, "ab"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::expect(run(WP5, c.doc), c.status, c.out, c.status == 0 ? &kinout : &kin);
  }
}

// The zones the text of each group goes into, when a zone file is named.
TEST(Wp5Converter, ZoneMarksFrameTheGroupsText) {
  result r = run(WP5, wp5("ab" + wp5header(2, "Hi") + "c" + wp5note(0, "N")), {"0", true});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "ab Hic N");
  EXPECT_EQ(r.zones, "0, 2, 0\r\n3, 4, 2\r\n5, 6, 0\r\n7, 7, 3\r\n");
}

}  // namespace
