// Character widths by font family, size and style, the width caches, and
// the small 8-bit string operations.
#include <gtest/gtest.h>

#include "filters/framework/writer/tests/cwtest.h"

namespace {

TEST(Widths, FamiliesAndSizes) {
  const struct {
    const char* name;
    int size;
    int c;
    int want;
  } rows[] = {
      {"Arial", 240, 'A', 135},        {"Arial", 240, ' ', 45},     {"Garamond", 240, 'A', 135},
      {"Garamond", 240, ' ', 60},      {"Courier New", 200, 'A', 120}, {"Courier New", 200, 0xE9, 120},
      {"MS LineDraw", 240, 'i', 144},  {"helvetica", 240, 'i', 45},  {"Times", 240, 'i', 45},
      {"Times", 240, ' ', 60},         {"Arial", 200, 'A', 112},     {"ARIAL narrow", 240, 0x80, 60},
      {"Arial", 240, 300, 120},
  };
  for (const auto& r : rows) {
    cwtestrun t;
    ASSERT_EQ(cwwidthtab(t.run, r.name, r.size, 0, CW_ENCBYTE), 0);
    EXPECT_EQ(cwwidth(t.run, r.c), r.want) << r.name << " " << r.size << " " << r.c;
  }
}

TEST(Widths, TheCurrentFontGivesTheTable) {
  cwtestrun t;
  EXPECT_EQ(cwwidth(t.run, 'A'), 120);  // no font, no table
  EXPECT_EQ(cwtextwidth(t.run, "AA"), 120);
  cvfontdesc arial = {1, "Arial", 0, -1, -1, CW_ENCBYTE, nullptr, 0, 240};
  cwfontdef(t.run, &arial);
  cwfontsize2(t.run, 0, 240);
  EXPECT_EQ(cwwidth(t.run, 'A'), 135);  // built on demand
  EXPECT_EQ(cwtextwidth(t.run, "AA "), 315);
  // With counting on, bold and italic rebuild the table for their style.
  t.w->nowidth = 0;
  cwattr(t.run, CW_BOLD, 1, 500);
  EXPECT_EQ(t.w->widthcur->style, 1);
  cwattr(t.run, CW_ITALIC, 1, 60);
  EXPECT_EQ(t.w->widthcur->style, 3);
  cwattr(t.run, CW_BOLD, 0, 0);
  EXPECT_EQ(t.w->widthcur->style, 2);
  cwfontsize2(t.run, 0, 200);  // this selection always takes the plain style
  EXPECT_EQ(t.w->widthcur->style, 0);
  EXPECT_EQ(cwwidth(t.run, 'A'), 112);
}

TEST(Widths, ASixteenthTableReplacesTheFirst) {
  cwtestrun t;
  char name[8];
  for (int i = 0; i < CW_NWIDTHS; i++) {
    std::snprintf(name, sizeof name, "F%d", i);
    ASSERT_EQ(cwwidthtab(t.run, name, 240, 0, CW_ENCBYTE), 0);
  }
  cwwidthent* first = t.w->widths[0];
  ASSERT_EQ(cwwidthtab(t.run, "Courier", 240, 0, CW_ENCBYTE), 0);
  EXPECT_EQ(t.w->widths[0], first);
  EXPECT_STREQ(first->name, "Courier");
  EXPECT_EQ(cwwidth(t.run, 'A'), 144);
  // A table still cached is found again, not computed.
  ASSERT_EQ(cwwidthtab(t.run, "F1", 240, 0, CW_ENCBYTE), 0);
  EXPECT_EQ(t.w->widthcur, t.w->widths[1]);
}

TEST(Widths, QueriesByName) {
  cwtestrun t;
  cvrun* r = t.run;
  EXPECT_EQ(cwcharwidth(r, "Arial", CW_ENCBYTE, 240, 0, 'A'), 135);
  EXPECT_EQ(cwcharwidth(r, "ARIAL", CW_ENCBYTE, 240, 0, ' '), 45);  // cached: case ignored
  EXPECT_EQ(cwcharwidth(r, wide("Arial").data(), CW_ENC16, 240, 0, ' '), 45);
  EXPECT_EQ(cwcharwidth(r, "Arial", CW_ENCSJIS, 240, 0, ' '), 60);  // double-byte names: second table
  EXPECT_EQ(cwcharwidth(r, "Courier", CW_ENCBYTE, 200, 0, 'W'), 120);
  EXPECT_EQ(cwcharwidth(r, "Courier", CW_ENCBYTE, 200, 0, 999), 120);
  t.t.host.refuse = [](size_t) { return true; };
  EXPECT_EQ(cwcharwidth(r, "Helv", CW_ENCBYTE, 200, 0, 'W'), -1);
  EXPECT_EQ(cwwidthtab(r, "Helv", 200, 0, CW_ENCBYTE), -1);
  EXPECT_EQ(cwwidth(r, 'W'), 120);
  t.t.host.refuse = nullptr;
}

TEST(SmallStrings, Operations) {
  EXPECT_EQ(cvtoupper('a'), 'A');
  EXPECT_EQ(cvtoupper(0xE9), 0xE9);
  EXPECT_EQ(cvtolower('Z'), 'z');
  EXPECT_EQ(cvtolower('['), '[');
  char s[] = "MiXed 1";
  cvstrupr(s);
  EXPECT_STREQ(s, "MIXED 1");
  cvstrlwr(s);
  EXPECT_STREQ(s, "mixed 1");
  cvstrrev(s);
  EXPECT_STREQ(s, "1 dexim");
  std::string big(300, 'x');
  unsigned char p[302] = {};
  cvc2pstr(big.c_str(), p);
  EXPECT_EQ(p[0], 44);
  EXPECT_EQ(p[300], 'x');
  const unsigned char pas[] = {3, 'a', 'b', 'c', 'z'};
  char out[8];
  cvp2cstr(pas, out);
  EXPECT_STREQ(out, "abc");
}

}  // namespace
