// List levels: numbers counted per level with the deeper levels restarting,
// the numbers of the levels above, the level's own formatting around its
// number, record 4560, and the number texts of every numbering format.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "filters/framework/writer/tests/cwtest.h"

namespace {

cwlistdesc level(int lvl, int start, int fmt, const char* before = nullptr, const char* after = nullptr) {
  cwlistdesc d{};
  d.version = 2;
  d.level = lvl;
  d.start = start;
  d.fmt = fmt;
  d.higher = 0;
  d.before = before;
  d.after = after;
  d.enc = CW_ENCBYTE;
  return d;
}

// What each list number wrote between records 14576 and 14853.
std::vector<std::string> numbers(const std::string& com) {
  std::vector<std::string> out;
  const std::string open = comrec(14576, {}).substr(0, 5), close = comrec(14853);
  for (size_t at = 0; (at = com.find(open, at)) != std::string::npos;) {
    size_t begin = com.find('\x1E', at) + 1, end = com.find(close, begin);
    out.push_back(comshow(com.substr(begin, end - begin)));
    at = end;
  }
  return out;
}

TEST(ListLevels, CountersPerLevel) {
  cwtestrun t;
  t.settle();
  cwlistdesc one = level(1, 1, 0), two = level(2, 1, 2);
  ASSERT_EQ(cwlistdef(t.run, &one), 0);
  ASSERT_EQ(cwlistdef(t.run, &two), 0);
  for (int lvl : {1, 1, 1, 2, 2, 1, 2, 5, 0, 10}) cwlistnum(t.run, lvl);
  EXPECT_EQ(numbers(t.com()), (std::vector<std::string>{"1", "2", "3", "a", "b", "4", "a"}));
}

TEST(ListLevels, TheNumbersOfTheLevelsAbove) {
  cwtestrun t;
  t.settle();
  cwlistdesc one = level(1, 1, 0, nullptr, "."), two = level(2, 1, 0, nullptr, ")"), three = level(3, 1, 4);
  two.higher = three.higher = 1;
  for (cwlistdesc* d : {&one, &two, &three}) cwlistdef(t.run, d);
  // Level 1 was never numbered: it shows 1.
  cwlistnum(t.run, 2);
  cwlistnum(t.run, 3);
  cwlistnum(t.run, 1);
  cwlistnum(t.run, 3);
  EXPECT_EQ(numbers(t.com()), (std::vector<std::string>{"1.1)", "1.1)i", "2.", "2.1)i"}));
}

TEST(ListLevels, DefiningAgainTheSameChangesNothing) {
  cwtestrun t;
  t.settle();
  cwlistdesc d = level(1, 3, 5, "(", ")");
  EXPECT_EQ(cwlistdef(t.run, &d), 0);
  EXPECT_NE(t.w->para.sub & CW_PLEVELS, 0);
  t.w->para.sub = 0;
  t.w->pending = 0;
  EXPECT_EQ(cwlistdef(t.run, &d), 0);
  cwlistdesc keep = level(1, -1, -1, CW_KEEPTEXT, CW_KEEPTEXT);
  keep.higher = -1;
  EXPECT_EQ(cwlistdef(t.run, &keep), 0);
  EXPECT_EQ(t.w->para.sub, 0);
  EXPECT_EQ(t.w->pending, 0u);
  d.start = 4;
  EXPECT_EQ(cwlistdef(t.run, &d), 0);
  EXPECT_NE(t.w->para.sub & CW_PLEVELS, 0);
  for (int bad : {0, 10}) {
    cwlistdesc b = level(bad, 1, 0);
    EXPECT_EQ(cwlistdef(t.run, &b), -1) << bad;
  }
}

TEST(ListLevels, TheLevelRecordGoesWithTheNextParagraph) {
  cwtestrun t;
  t.settle();
  cwnewline(t.run, 1);
  cwlistdesc d = level(1, 5, 3, "(", ")");
  cwlistdef(t.run, &d);
  t.marknow();
  t.text("x");
  EXPECT_NE(t.com().find(levelsrec({{"5", "(", "3", "0", ")", "0"}})), std::string::npos) << t.show();
}

TEST(ListLevels, TheLevelsOwnFormatting) {
  cvfontdesc symbol = {1, "Symbol", 0, 0, 0, CW_ENCBYTE, nullptr, 0, 240};
  cvfontdesc arial = {1, "Arial", 0, -1, -1, CW_ENCBYTE, nullptr, 0, 240};
  cwchfmt bold{};
  bold.attrset = 1;
  bold.attr[0] = 1;
  bold.attr[1] = 700;
  bold.langset = 1;
  bold.lang = 1031;
  const struct {
    const char* what;
    std::function<void(cwlistdesc&)> set;
    std::string want;
  } rows[] = {
      {"its own font", [](cwlistdesc& d) { d.ownfont = 1, d.fontname = "Arial", d.fontenc = CW_ENCBYTE; },
       recs(6675, {"0", "0", "12", "2", "200", "Arial"}) + "1"},
      {"its own size", [](cwlistdesc& d) { d.ownsize = 1, d.size = 480; },
       recs(6675, {"0", "0", "5", "0", "480", "Courier", "0", "1"}) + "1"},
      {"no font record for a symbol face",
       [](cwlistdesc& d) { d.ownfont = 1, d.fontname = "Symbol", d.fontenc = CW_ENCBYTE; }, "1"},
      {"character formatting on and off around it", [&bold](cwlistdesc& d) { d.chfmt = &bold; },
       rec(7571, {1031}) + rec(20546, {700}) + "1" + rec(20549) + rec(7571, {1033})},
  };
  cvfontdesc courier = {1, "Courier", 0, 1, 0, CW_ENCBYTE, nullptr, 1, 200};
  for (const auto& r : rows) {
    cwtestrun t;
    cwfontdef(t.run, &courier);
    cwfontdef(t.run, &symbol);
    cwfontdef(t.run, &arial);
    t.settle();
    cwlistdesc d = level(1, 1, 0);
    r.set(d);
    cwlistdef(t.run, &d);
    cwlistnum(t.run, 1);
    EXPECT_EQ(numbers(t.com()), std::vector<std::string>{comshow(r.want)}) << r.what;
  }
}

TEST(ListLevels, AnIndentTabsToTheText) {
  cwtestrun t;
  t.settle();
  cwnewline(t.run, 1);
  cwflush(t.run, 1);
  cwlistdesc d = level(1, 1, 0, nullptr, ".");
  d.indent = 720;
  cwlistdef(t.run, &d);
  t.marknow();
  cwlistnum(t.run, 1);
  EXPECT_EQ(t.show(), comshow(rec(14576, {1}) + "1." + rec(14853) + rec(2100) +
                              recs(6675, {"0", "0", "12", "0", "200", "Courier", "0", "1"})));
  EXPECT_EQ(t.w->para.linepos, 2160);
}

TEST(ListLevels, NumberTexts) {
  using calls = std::function<void(cvrun*, int)>;
  const struct {
    const char* what;
    calls write;
    int n;
    std::string want;
  } rows[] = {
      {"decimal", cwnumdec, -12, "-12"},
      {"letters", cwnumlalpha, 1, "a"},
      {"letters", cwnumlalpha, 26, "z"},
      {"letters", cwnumlalpha, 27, "aa"},
      {"letters", cwnumlalpha, 28, "ab"},
      {"letters", cwnumlalpha, 53, "aaa"},
      {"letters", cwnumlalpha, 0, ""},
      {"capitals", cwnumualpha, 28, "AB"},
      {"ordinal", cwnumord, 1, "1st"},
      {"ordinal", cwnumord, 2, "2nd"},
      {"ordinal", cwnumord, 3, "3rd"},
      {"ordinal", cwnumord, 4, "4th"},
      {"ordinal", cwnumord, 11, "11th"},
      {"ordinal", cwnumord, 12, "12th"},
      {"ordinal", cwnumord, 13, "13th"},
      {"ordinal", cwnumord, 21, "21st"},
      {"ordinal", cwnumord, 102, "102nd"},
      {"ordinal", cwnumord, 111, "111th"},
      {"ordinal", cwnumord, 112, "112th"},
      {"ordinal", cwnumord, 113, "113th"},
      {"ordinal", cwnumord, 1013, "1013th"},
      {"words", cwnumwords, 0, "Zero"},
      {"words", cwnumwords, 1205, "One Thousand Two Hundred Five"},
      {"words", cwnumwords, 42, "Forty-Two"},
      {"words", cwnumwords, 90, "Ninety"},
      {"words", cwnumwords, 1000, "One Thousand "},
      {"words", cwnumwords, 300, "Three Hundred "},
      {"words", cwnumwords, 9998, "Nine Thousand Nine Hundred Ninety-Eight"},
      {"words", cwnumwords, 9999, ""},
      {"words", cwnumwords, -1, ""},
      {"roman", [](cvrun* r, int n) { cwnumroman(r, n, 0); }, 1994, "MCMXCIV"},
      {"roman", [](cvrun* r, int n) { cwnumroman(r, n, 0); }, 4000, "MQ"},
      {"roman", [](cvrun* r, int n) { cwnumroman(r, n, 0); }, 49, "XLIX"},
      {"roman", [](cvrun* r, int n) { cwnumroman(r, n, 0); }, 100001, "I"},
      {"roman", [](cvrun* r, int n) { cwnumroman(r, n, 1); }, 1994, "mcmxciv"},
  };
  for (const auto& r : rows) {
    cwtestrun t;
    t.settle();
    r.write(t.run, r.n);
    EXPECT_EQ(t.com(), r.want) << r.what << " " << r.n;
  }
}

TEST(ListLevels, NumberTextsCountTheirWidths) {
  cwtestrun t;
  t.settle();
  t.w->nowidth = 0;
  int start = t.w->para.linepos;
  cwnumwords(t.run, 42);  // "Forty", the width of a space unwritten, "-Two"
  EXPECT_EQ(t.w->para.linepos - start, 10 * 120);
  cwnumlalpha(t.run, 27);
  EXPECT_EQ(t.w->para.linepos - start, 12 * 120);
}

}  // namespace
