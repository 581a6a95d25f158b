// The format catalogue: its look-up and the mapping from catalogue codes to
// converter ids.
#include <gtest/gtest.h>

#include <set>

#include "converters/runtime/fmtcat.h"

TEST(Fmtcat, RowsAreNumberedAndCodesUnique) {
  std::set<int> codes;
  for (int i = 0; i < FMTCAT_ROWS; ++i) {
    EXPECT_EQ(fmtcat[i].row, i);
    EXPECT_NE(fmtcat[i].description[0], '\0');
    EXPECT_TRUE(codes.insert(fmtcat[i].code).second) << fmtcat[i].code;
  }
  EXPECT_EQ(static_cast<int16_t>(fmtcat[FMTCAT_ROWS].row), -1);
  EXPECT_EQ(fmtcat[FMTCAT_ROWS].code, 0);
  EXPECT_STREQ(fmtcat[FMTCAT_ROWS].description, "");
}

TEST(Fmtcat, LookupByCode) {
  struct {
    int code, row;
  } cases[] = {{15, 0}, {48, 1}, {49, 68}, {1, 90}, {108, 91}, {55, 31},
               // never in the catalogue: the end row's code, codes the
               // recogniser can return without a row, and strangers
               {0, -1}, {35, -1}, {605, -1}, {999, -1}, {-1, -1}};
  for (auto c : cases) EXPECT_EQ(fmtfind(c.code), c.row) << c.code;
  EXPECT_STREQ(fmtcat[fmtfind(19)].description, "MS RTF; MS RTF (ANSI Char Set)");
}

TEST(Fmtcat, CodeToConverterId) {
  struct {
    int code, id;
  } cases[] = {{1, 999}, {5, 2},   {7, 4},  {20, 9},   {21, 10},  {33, 8},  {44, 7},
               {48, 5},  {49, 11}, {54, 6}, {103, 13}, {107, 12}, {19, 998}, {0, 998}};
  for (auto c : cases) EXPECT_EQ(fmtcvtid(c.code), c.id) << c.code;
}
