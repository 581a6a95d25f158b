// The format catalogue and the converter table: their look-ups and the
// mapping from catalogue codes to converter ids.
#include <gtest/gtest.h>

#include <set>

#include "converters/runtime/fmtcat.h"

TEST(fmtcat, rows_are_numbered_and_codes_unique) {
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

TEST(fmtcat, lookup_by_code) {
  struct {
    int code, row;
  } cases[] = {{15, 0}, {48, 1}, {49, 68}, {1, 90}, {108, 91}, {55, 31},
               // never in the catalogue: the end row's code, codes the
               // recogniser can return without a row, and strangers
               {0, -1}, {35, -1}, {605, -1}, {999, -1}, {-1, -1}};
  for (auto c : cases) EXPECT_EQ(fmtfind(c.code), c.row) << c.code;
  EXPECT_STREQ(fmtcat[fmtfind(19)].description, "MS RTF; MS RTF (ANSI Char Set)");
}

TEST(fmtcat, converter_lookup) {
  cvtentry e = nullptr;
  ASSERT_EQ(cvtfind(1, &e), 1);
  cvtentry one = e;
  ASSERT_EQ(cvtfind(4, &e), 1);
  EXPECT_EQ(e, one);
  EXPECT_EQ(e, &cvtwp5);
  ASSERT_EQ(cvtfind(11, &e), 1);
  EXPECT_EQ(e, &cvtword6);
  e = cvtwp6;
  EXPECT_EQ(cvtfind(999, &e), 1);
  EXPECT_EQ(e, nullptr);
  e = cvtwp6;
  EXPECT_EQ(cvtfind(0, &e), 1);
  EXPECT_EQ(e, nullptr);
  for (int id : {3, 10, 12, 998, 1000}) EXPECT_EQ(cvtfind(id, &e), 0) << id;
  // Readers compare the low 16 bits of the id.
  EXPECT_EQ(cvtfind(0x10000 + 7, &e), 1);
  EXPECT_EQ(e, &cvtword2);
}

TEST(fmtcat, code_to_converter_id) {
  struct {
    int code, id;
  } cases[] = {{1, 999}, {5, 2},   {7, 4},  {20, 9},   {21, 10},  {33, 8},  {44, 7},
               {48, 5},  {49, 11}, {54, 6}, {103, 13}, {107, 12}, {19, 998}, {0, 998}};
  for (auto c : cases) EXPECT_EQ(fmtcvtid(c.code), c.id) << c.code;
  // Ids without a row fail their look-up.
  cvtentry e;
  for (int code : {21, 107, 19}) EXPECT_EQ(cvtfind(fmtcvtid(code), &e), 0) << code;
}

TEST(fmtcat, stand_in_entries_refuse) {
  for (auto *r = cvttab; r->id != 0; ++r) {
    if (r->entry) EXPECT_NE(r->entry("in", "out"), 0) << r->id;
  }
}
