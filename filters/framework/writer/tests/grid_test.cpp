// Table grid merge: consecutive one-row tables written again as one table on
// a common grid of columns, or as they were when they do not fit.
#include <gtest/gtest.h>

#include "filters/framework/writer/tests/cwtest.h"

namespace {

// One-row tables of the given boundaries, one text byte per cell, then the
// text after them.
void tables(cwtestrun& t, const std::vector<std::vector<int>>& edges) {
  t.w->gridmode = 1;
  char text = 'a';
  for (const auto& e : edges) {
    cwtabdesc d{};
    d.version = 1;
    d.ncols = static_cast<int>(e.size()) - 1;
    cwtabbeg(t.run, &d);
    for (size_t i = 0; i + 1 < e.size(); i++) cwcelladd(t.run, e[i], e[i + 1]);
    cwtabstart(t.run);
    for (size_t i = 0; i + 1 < e.size(); i++) {
      cwcellnext(t.run);
      t.text(std::string(1, text++));
    }
    cwtabend(t.run);
  }
  t.text("z");
}

std::string cellr(int i, int cspan, int covered = 0) { return rec(15458, {i, cspan, 1, covered, 0, 2, 0}); }

TEST(GridMerge, TwoTablesOnThreeColumns) {
  cwtestrun t;
  t.settle();
  tables(t, {{0, 2000, 4000}, {0, 1000, 4000}});
  std::string row = recs(15938, {"3", "0", "0", "0000", "0000", "0000", "0", "0"});
  std::string want = recs(19587, {"0A", "3", "0", "7", "0", "7", "14", "0", "14", "28", "0", "0", "1000", "0", "1000",
                                  "2000", "0", "2000", "4000", "0"}) +
                     rec(13410) + row + cellr(1, 2) + "a" + rec(2152) + cellr(2, 1, 1) + rec(2152) + cellr(3, 1) +
                     "b" + rec(2152) + row + cellr(1, 1) + "c" + rec(2152) + cellr(2, 2) + "d" + rec(2152) +
                     cellr(3, 1, 1) + rec(2152) + rec(13413);
  std::string com = t.com();
  EXPECT_NE(com.find(want), std::string::npos) << t.show();
  EXPECT_EQ(com.substr(com.size() - 1), "z");
  EXPECT_EQ(t.run->outdepth, -1);
  EXPECT_TRUE(comwellformed(com));
}

// The column count of the merged definition, or 0 when the tables were
// written as they came.
int merged(const std::vector<std::vector<int>>& edges) {
  cwtestrun t;
  t.settle();
  tables(t, edges);
  std::string show = t.show();
  size_t at = show.find("[CDS 0A,");
  return at == std::string::npos ? 0 : std::atoi(show.c_str() + at + 8);
}

TEST(GridMerge, WhatFitsOneGrid) {
  const struct {
    const char* what;
    std::vector<std::vector<int>> edges;
    int columns;
  } rows[] = {
      {"inner edges 100 apart are snapped", {{0, 2000, 4000}, {0, 2100, 4000}}, 2},
      {"inner edges 144 apart are not", {{0, 2000, 4000}, {0, 2144, 4000}}, 3},
      {"outer edges 144 apart are merged", {{0, 9000}, {0, 9144}}, 1},
      {"outer edges 145 apart are not", {{0, 9000}, {0, 9145}}, 0},
      {"a single table is written as it is", {{0, 1000, 2000}}, 0},
      {"an edge left of the first column is not merged", {{500, 1000}, {450, 300, 1000}}, 0},
      {"inner edges 200 apart make columns of their own", {{0, 1000, 1500, 3000}, {0, 1200, 3000}}, 4},
  };
  for (const auto& r : rows) EXPECT_EQ(merged(r.edges), r.columns) << r.what;
}

TEST(GridMerge, ATableWhoseRowMatchesTheGridKeepsItsRowRecord) {
  cwtestrun t;
  t.settle();
  t.w->gridmode = 1;
  tables(t, {{0, 1000, 2000}, {0, 1000, 2000}});
  EXPECT_NE(t.com().find(recs(15938, {"2", "0", "0", "0000", "0000", "0", "0"})), std::string::npos) << t.show();
}

TEST(GridMerge, ANoteInATableIsCopiedWithIt) {
  cwtestrun t;
  t.settle();
  t.w->gridmode = 1;
  cwtabdesc d{1, 1, 0, {}, {}};
  for (int i = 0; i < 2; i++) {
    cwtabbeg(t.run, &d);
    cwcelladd(t.run, 0, 3000);
    cwtabstart(t.run);
    cwcellnext(t.run);
    cwftnbeg(t.run);
    t.text("note");
    cwftnend(t.run);
    cwtabend(t.run);
  }
  t.text("z");
  std::string com = t.com();
  EXPECT_NE(t.show().find("[CDS 0A,1,"), std::string::npos) << t.show();
  size_t first = com.find("note");
  EXPECT_NE(com.find("note", first + 1), std::string::npos);
  EXPECT_TRUE(comwellformed(com));
}

TEST(GridMerge, ATableInsideAGridTableHasAGridOfItsOwn) {
  cwtestrun t;
  t.settle();
  t.w->gridmode = 1;
  cwtabdesc d{1, 1, 0, {}, {}};
  for (int i = 0; i < 2; i++) {
    cwtabbeg(t.run, &d);
    cwcelladd(t.run, 0, 3000 + i * 100);
    cwtabstart(t.run);
    cwcellnext(t.run);
    t.text("outer");
    for (int j = 0; j < 2; j++) {
      cwtabbeg(t.run, &d);
      cwcelladd(t.run, 0, 1000 + j * 50);
      cwtabstart(t.run);
      cwcellnext(t.run);
      t.text("inner");
      cwtabend(t.run);
    }
    cwtabend(t.run);
  }
  t.text("z");
  std::string com = t.com();
  EXPECT_TRUE(comwellformed(com));
  EXPECT_EQ(t.run->outdepth, -1);
  size_t n = 0;
  for (size_t at = 0; (at = com.find("inner", at)) != std::string::npos; at++) n++;
  EXPECT_EQ(n, 4u) << t.show();
  EXPECT_EQ(com.substr(com.size() - 1), "z");
}

}  // namespace
