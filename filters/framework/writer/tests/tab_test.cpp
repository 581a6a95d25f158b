// Tab stops: the table kept sorted, stops replaced and refused, the search
// for the next and previous stop, and the two records of a table.
#include <gtest/gtest.h>

#include <vector>

#include "filters/framework/writer/tests/cwtest.h"

namespace {

// A settled run whose pending table is empty, in a mode.
void emptytabs(cwtestrun& t, int mode) {
  t.settle();
  cwtstopclear(t.run);
  cwtstopkind(t.run, mode);
}

std::string hex2(int v) {
  char b[3];
  std::snprintf(b, sizeof b, "%02X", v & 0xFF);
  return b;
}

// Record 2702: the map bytes (the rest 0), the kind bytes, the leader bytes
// and the positions.
std::string maprec(const std::vector<std::pair<int, int>>& mapbits, const std::vector<int>& kinds,
                   const std::vector<int>& leaders, const std::vector<int>& positions) {
  std::vector<int> map(32, 0);
  for (auto [byte, bits] : mapbits) map[byte] = bits;
  std::vector<std::string> f;
  for (int b : map) f.push_back(hex2(b));
  for (int i = 0; i < 20; i++) f.push_back(hex2(i < static_cast<int>(kinds.size()) ? kinds[i] : 0));
  for (int i = 0; i < 40; i++) f.push_back(hex2(i < static_cast<int>(leaders.size()) ? leaders[i] : 0));
  f.push_back(std::to_string(positions.size()));
  for (int p : positions) f.push_back(std::to_string(p));
  return recv(2702, f);
}

TEST(TabStops, KeptSortedAndReplacedInPlace) {
  cwtestrun t;
  emptytabs(t, 1);
  EXPECT_EQ(cwtstopadd(t.run, 2880, 0, nullptr, CW_ENCBYTE), 0);
  EXPECT_EQ(cwtstopadd(t.run, 720, 0, nullptr, CW_ENCBYTE), 0);
  EXPECT_EQ(cwtstopadd(t.run, 1440, 1, "-", CW_ENCBYTE), 0);
  EXPECT_EQ(cwtstopadd(t.run, 1440, 2, ".", CW_ENCBYTE), 0);
  const cwtabtab& tab = t.w->para.tabs;
  ASSERT_EQ(tab.count, 3);
  EXPECT_EQ(tab.stops[0].pos, 720);
  EXPECT_EQ(tab.stops[1].pos, 1440);
  EXPECT_EQ(tab.stops[2].pos, 2880);
  EXPECT_EQ(tab.stops[1].kind, 2);
  EXPECT_STREQ(tab.stops[1].leader, ".");
  // Off the page: left of the page edge, or beyond the page's width.
  EXPECT_EQ(cwtstopadd(t.run, -1441, 0, nullptr, CW_ENCBYTE), -1);
  EXPECT_EQ(cwtstopadd(t.run, 12241, 0, nullptr, CW_ENCBYTE), -1);
  EXPECT_EQ(tab.count, 3);
  // A full table takes no more.
  for (int i = 0; tab.count < CW_NTABS; i++) cwtstopadd(t.run, 3000 + i, 0, nullptr, CW_ENCBYTE);
  EXPECT_EQ(cwtstopadd(t.run, 100, 0, nullptr, CW_ENCBYTE), 0);
  EXPECT_EQ(tab.count, CW_NTABS);
  EXPECT_EQ(tab.stops[0].pos, 720);
}

TEST(TabStops, NextAndPreviousStop) {
  const struct {
    const char* what;
    int mode;
    std::vector<int> stops;
    int pos, dir, want;
  } rows[] = {
      {"the last stop is never next", 1, {720, 1440}, 1000, 1, -1},
      {"the first stop after", 1, {720, 1440}, 500, 1, 720},
      {"on a stop: the one after it", 1, {720, 1440, 2160}, 720, 1, 1440},
      {"one stop after the position", 1, {720}, 500, 1, 720},
      {"one stop at the position", 1, {720}, 720, 1, -1},
      {"no stop", 1, {}, 0, 1, -1},
      {"the stop before", 1, {720, 1440}, 1000, -1, 720},
      {"none before the first: 0", 1, {720, 1440}, 500, -1, 0},
      {"relative: the margin added", 0, {720, 1440, 2160}, 2000, 1, 2160},
  };
  for (const auto& r : rows) {
    cwtestrun t;
    emptytabs(t, r.mode);
    for (int p : r.stops) cwtstopadd(t.run, p, 3, nullptr, CW_ENCBYTE);
    int kind = -1;
    EXPECT_EQ(cwtstopnext(t.run, r.pos, r.dir, &kind), r.want) << r.what;
    if (r.want > 0) {
      EXPECT_EQ(kind, 3) << r.what;
    }
  }
}

TEST(TabStops, TheTwoRecordsOfATable) {
  const struct {
    const char* what;
    int mode;
    std::vector<std::pair<int, int>> stops;  // position, kind
    std::string want;
  } rows[] = {
      {"a stop left of the margin is only in the map record", 0, {{-100, 0}, {1440, 2}},
       recs(12978, {"00", "1", "1440", "R", ""}) + maprec({{1, 0x40}, {2, 0x08}}, {0x02}, {}, {1340, 2880})},
      {"kinds two to a byte", 1, {{720, 2}, {1440, 3}, {2160, 4}},
       recs(12978, {"01", "3", "720", "1440", "2160", "R", "D", "V", "", "", ""}) +
           maprec({{0, 0x04}, {1, 0x21}}, {0x23, 0x80}, {}, {720, 1440, 2160})},
  };
  for (const auto& r : rows) {
    cwtestrun t;
    emptytabs(t, r.mode);
    for (auto [pos, kind] : r.stops) cwtstopadd(t.run, pos, kind, nullptr, CW_ENCBYTE);
    t.marknow();
    cwtstoprec(t.run);
    EXPECT_EQ(t.show(), comshow(r.want)) << r.what;
  }
}

TEST(TabStops, LeadersInTheRecords) {
  cwtestrun t;
  emptytabs(t, 1);
  cwtstopadd(t.run, 720, 1, "-", CW_ENCBYTE);
  cwtstopadd(t.run, 1440, 0, wide(".").data(), CW_ENC16);
  t.marknow();
  cwtstoprec(t.run);
  EXPECT_EQ(t.show(), comshow(recs(12978, {"01", "2", "720", "1440", "C", "L", "-", "."}) +
                              maprec({{0, 0x04}, {1, 0x20}}, {0x10}, {'-', '.'}, {720, 1440})));
}

TEST(TabStops, AChangedTableIsWrittenWithTheNextParagraph) {
  cwtestrun t;
  t.settle();
  cwnewline(t.run, 1);
  t.text("a");
  cwtstopadd(t.run, 1000, 0, nullptr, CW_ENCBYTE);
  t.marknow();
  t.text("b");
  EXPECT_EQ(t.show(), "b");
  cwnewline(t.run, 1);
  t.text("c");
  EXPECT_NE(t.com().find(comrec(12978).substr(0, 5)), std::string::npos) << t.show();
  // The same table again: no records.
  cwnewline(t.run, 1);
  t.marknow();
  t.text("d");
  EXPECT_EQ(t.show(), "d");
}

}  // namespace
