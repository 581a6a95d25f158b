// Line layout: breaking at the last blank outside records, kept records and
// hard boundaries, alignment fixes, and the tab and ruler records.
#include <gtest/gtest.h>

#include "converters/runtime/comcodes.h"
#include "converters/runtime/tests/cxtest.h"

namespace {

// A record with its fields, each ended by US.
std::string R(int code, std::initializer_list<std::string> fields = {}) {
  char t[4];
  comcodeunpack(code, t);
  std::string s = std::string(1, ESC) + GS + t;
  for (const auto& f : fields) s += f + US;
  return s + RS;
}

struct Line : cxtestrun {
  void SetUp() override { output(); }
  void put(const std::string& s) { cxputn(st, 0, s.data(), static_cast<int>(s.size())); }
};

TEST_F(Line, BreaksAtTheLastBlank) {
  put("hello big world");
  EXPECT_EQ(ccwrapline(st, 0, 0, 0, 70), 5);
  EXPECT_EQ(written(), "hello big " + R(12755) + "world");
}

TEST_F(Line, NoBlankMeansNoBreakPoint) {
  put(R(12744) + "abcdefgh");
  EXPECT_EQ(ccwrapline(st, 1, 0, 0, 70), 0);
  EXPECT_EQ(written(), R(12744) + "abcdefgh" + R(12755, {"1"}) + R(16851));
}

TEST_F(Line, NothingWrittenAtAll) {
  EXPECT_EQ(ccwrapline(st, 2, 0, 0, 70), 0);
  EXPECT_EQ(written(), R(12755, {"1"}) + R(2163));
}

TEST_F(Line, HardBoundaryRestoresEverything) {
  put("one two" + R(12744) + "three");
  EXPECT_EQ(ccwrapline(st, 0, 0, 0, 70), 0);
  EXPECT_EQ(written(), "one two" + R(12744) + "three" + R(12755, {"1"}));
}

TEST_F(Line, KeptRecordStaysOnTheLine) {
  put("a b" + R(2100, {"0"}) + "cd" + R(24744, {"07"}) + "e");
  EXPECT_EQ(ccwrapline(st, 0, 0, 0, 70), 4);  // c, d, the character record, e
  EXPECT_EQ(written(), "a b" + R(2100, {"0"}) + R(12755) + "cd" + R(24744, {"07"}) + "e");
}

TEST_F(Line, UnmeasuredRunIsNotCarriedAsWidth) {
  put("word " + R(20934) + "xyz" + R(14533));
  EXPECT_EQ(ccwrapline(st, 0, 0, 0, 70), 2);
  EXPECT_EQ(written(), "word " + R(12755) + R(20934) + "xyz" + R(14533));
}

TEST_F(Line, CentredLineGetsItsPosition) {
  put(R(25219, {"0", "35", "10"}) + "abcdefghij klmnopqrs tail");
  EXPECT_EQ(ccwrapline(st, 0, 1, 10, 60), 4);
  EXPECT_EQ(written(), R(25219, {"0", "35", "25"}) + "abcdefghij klmnopqrs " + R(20581) +
                           R(12755) + R(25219, {"0", "35", "10"}) + "tail");
}

TEST_F(Line, RightAlignedLines) {
  struct row {
    std::string text;
    const char* want;
  };
  const row rows[] = {{"abcdefghij klmnopqrs", "41"},          // width 20
                      {"abc" + R(2100, {"0"}) + "def", "52"},  // a tab counts 3: width 9
                      {std::string(60, 'w'), "10"}};           // wider than the space: left
  for (const row& r : rows) {
    cxtestdir d2;
    cxbufend(st);
    ASSERT_EQ(cxbufinit(st, -1, cxopen(st, d2.file("o").c_str(), 2, 0), 100), 0);
    put(R(18625, {"10", "60", "10"}) + r.text + "  ");
    ccalignfix(st, 10, 60);
    cxbufend(st);
    EXPECT_EQ(d2.get("o"), R(18625, {"10", "60", r.want}) + r.text + "  ");
  }
}

TEST_F(Line, AlignFixStopsAtALineEnd) {
  std::string text = R(25219, {"0", "35", "10"}) + "x" + R(12744) + "short";
  put(text);
  ccalignfix(st, 10, 60);
  EXPECT_EQ(written(), text);
}

TEST_F(Line, TabRecord) {
  st->sb->tabcount = 3;
  st->sb->unitflag = 1;
  st->ob->tabpos[0] = 1440;
  st->ob->tabpos[1] = 2880;
  st->ob->tabpos[2] = 100000;  // beyond column 255: left out of the bitmap
  std::memcpy(st->nm->tabkind, "DRC", 3);
  ccputtabs(st, 0);
  std::string bitmap;
  for (int i = 0; i < 32; i++)
    bitmap += std::string(i == 1 ? "20" : i == 2 ? "08" : "00") + US;  // columns 10 and 20
  std::string kinds = std::string("32") + US + "10" + US;
  for (int i = 0; i < 18; i++) kinds += std::string("00") + US;
  std::string leaders;
  for (int i = 0; i < 40; i++) leaders += std::string("00") + US;
  std::string positions = std::string("3") + US + "1440" + US + "2880" + US + "34464" + US;
  char t[4];
  comcodeunpack(2702, t);
  EXPECT_EQ(written(), std::string(1, ESC) + GS + t + bitmap + kinds + leaders + positions + RS);
}

TEST_F(Line, TabRecordWithLeadersInColumns) {
  st->sb->tabcount = 1;
  st->ob->tabpos[0] = 10;
  st->nm->tabkind[0] = 'L';
  st->nm->tablead[0] = '.';
  ccputtabs(st, 2);
  std::string out = written();
  // Column 12 is bit 0x08 of byte 1; then 20 kind bytes and 40 leaders.
  EXPECT_EQ(out.substr(5 + 3, 3), std::string("08") + US);
  EXPECT_EQ(out.substr(5 + 32 * 3 + 20 * 3, 3), std::string("2E") + US);
  EXPECT_EQ(out.size(), 5u + (32 + 20 + 40) * 3 + 1);
}

TEST_F(Line, RulerRecord) {
  const int32_t pos[3] = {720, -5, 1440};
  EXPECT_EQ(ccputruler(st, 1, 3, pos, "LLL", nullptr, nullptr), 3);
  EXPECT_EQ(ccputruler(st, 0x1A, 3, pos, "LC\0", reinterpret_cast<const unsigned char*>("\0-\x01"),
                       nullptr),
            3);
  EXPECT_EQ(ccputruler(st, 2, 2, pos, nullptr, reinterpret_cast<const unsigned char*>("x\0"),
                       nullptr),
            2);
  EXPECT_EQ(ccputruler(st, 2, 2, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(written(), R(12978, {"01", "3", "720", "0", "1440"}) +
                           R(12978, {"1A", "3", "720", "0", "1440", "L", "C", "L", "", "-", "."}) +
                           R(12978, {"02", "2", "720", "0", "L", "L", "x", ""}));
}

}  // namespace
