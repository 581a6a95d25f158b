// Measurement units and digit parsers: the conversions to and from twips
// with their truncation and unsigned divisions, and the parsers' skipping.
#include <gtest/gtest.h>

#include "filters/framework/writer/cw.h"

namespace {

TEST(Units, Conversions) {
  const struct {
    const char* what;
    int got;
    int want;
  } rows[] = {
      {"1.5 in", cvin2tw(1, 5), 2160},
      {"1.25 in", cvin2tw(1, 25), 1800},
      {"1.125 in", cvin2tw(1, 125), 1620},
      {"0.1000 in", cvin2tw(0, 1000), 144000},
      {"2.5 cm", cvcm2tw(2, 5), 1419},
      {"10.50 mm", cvmm2tw(10, 50), 595},
      {"units of 258", cvu258tw(2, 50), 529},
      {"units of 21", cvu21tw(3, 50), 64},
      {"pt", cvpt2tw(12), 240},
      {"px", cvpx2tw(3), 60},
      {"tenths", cvi102tw(5), 720},
      {"1/120", cvi1202tw(10), 120},
      {"to pt", cvtw2pt(250), 12},
      {"to pt, negative", cvtw2pt(-20), 214748363},
      {"to px", cvtw2px(39), 1},
      {"to tenths", cvtw2i10(1439), 9},
      {"to 1/120", cvtw2i120(-12), 357913940},
      {"cpi 10", cvcpi2tw(10), 240},
      {"size 200", cvtw2cpi(200), 12},
      {"cpi 0", cvcpi2tw(0), 0},
      {"size 0", cvtw2cpi(0), 0},
      {"six fifths 7", cvsixfifth(7), 8},
      {"six fifths -7", cvsixfifth(-7), -8},
      {"six fifths, division first", cvsixfifth2(7), 6},
      {"six fifths, division first, -7", cvsixfifth2(-7), -6},
  };
  for (const auto& r : rows) EXPECT_EQ(r.got, r.want) << r.what;
}

TEST(Units, TwipsToWholeAndFraction) {
  const struct {
    const char* what;
    int (*fn)(int, int*, int*);
    int t;
    int whole;
    int frac;
  } rows[] = {
      {"in", cvtw2in, 2160, 1, 50},  {"cm", cvtw2cm, 567, 1, 0},     {"mm", cvtw2mm, 567, 10, 0},
      {"mm", cvtw2mm, 600, 10, 5},   {"258", cvtw2u258, 387, 1, 50}, {"21", cvtw2u21, 42, 2, 0},
  };
  for (const auto& r : rows) {
    int whole = -1, frac = -1;
    EXPECT_EQ(r.fn(r.t, &whole, &frac), r.frac) << r.what;
    EXPECT_EQ(whole, r.whole) << r.what;
    EXPECT_EQ(frac, r.frac) << r.what;
  }
}

TEST(Units, DigitParsersSkipWhatIsNotADigit) {
  EXPECT_EQ(cvoctal("0x17"), 15);
  EXPECT_EQ(cvoctal2("-18"), 1);
  EXPECT_EQ(cvhex("#1aF"), 431);
  EXPECT_EQ(cvhex2("0xG1"), 1);
  EXPECT_EQ(cvhex(""), 0);
  EXPECT_EQ(cvhex(nullptr), 0);
}

}  // namespace
