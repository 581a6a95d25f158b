// Section properties: the section table and each section's modifiers read
// at every level, the defaults of each level, and the section sprms.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "converters/word/tests/wordgen.h"
#include "filters/word/tests/wwtest.h"

namespace {

using wgen::bytes;

// A section of a generated document: where it starts (a character
// position) and its stored modifiers; none: no modifiers stored (the
// descriptor holds FFFFFFFF).
struct section {
  int64_t cp;
  std::string sprms;
  bool none = false;
};

int levelof(wgen::kind k) {
  switch (k) {
    case wgen::word1: return 1;
    case wgen::word2: return 2;
    case wgen::mac3: return 3;
    case wgen::mac5: return 4;
    default: return 6;
  }
}

size_t sedfield(wgen::kind k) { return k == wgen::word6 ? 136 : k == wgen::mac5 ? 88 : k == wgen::mac3 ? 54 : 124; }

// The document's stream: the text, each section's modifiers, the section
// table, and extra header bytes (the document properties) when given.
bytes sectioned(wgen::kind k, const std::string& text, const std::vector<section>& secs,
                const std::string& dop = "") {
  wgen::spec s;
  s.k = k;
  s.pieces = {text};
  bytes b = wgen::stream(s);
  bool six = k == wgen::word6;
  std::vector<uint32_t> at;
  for (const section& sec : secs) {
    if (sec.none) {
      at.push_back(0xFFFFFFFFu);
      continue;
    }
    at.push_back(static_cast<uint32_t>(b.size()));
    std::string len = six ? wgen::val(k, sec.sprms.size(), 2) : std::string(1, static_cast<char>(sec.sprms.size()));
    b.insert(b.end(), len.begin(), len.end());
    b.insert(b.end(), sec.sprms.begin(), sec.sprms.end());
  }
  std::string t;
  for (const section& sec : secs) t += wgen::val(k, static_cast<uint64_t>(sec.cp), 4);
  t += wgen::val(k, text.size(), 4);
  for (uint32_t a : at) t += std::string(2, '\0') + wgen::val(k, a, 4) + std::string(six ? 6 : 0, '\0');
  wgen::attach(b, k, sedfield(k), t);
  if (!dop.empty()) wgen::attach(b, k, k == wgen::word1 ? 274 : 154, dop);
  return b;
}

struct loaded {
  wwtestrun r;
  loaded(const bytes& b, int ver) : r(std::string(b.begin(), b.end()), ver) {
    wwfibread(&r.w);
    wwdopread(&r.w);
    wwsedread(&r.w);
  }
  ~loaded() { wwsedfree(&r.w); }
  wwsep at(int64_t cp) {
    wwsep s;
    wwsepget(&r.w, wwfcmin(&r.w) + static_cast<int32_t>(cp), &s);
    return s;
  }
};

std::string b1(int v) { return std::string(1, static_cast<char>(v)); }
std::string w16(int v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }

const std::string ktext = "First part.\x0cSecond part here.\x0cThird.\r";

}  // namespace

// One sprm at a time on a level-6 section: what each sets, and the sprms
// whose values are bounded.
TEST(WordSections, SprmsOfLevelSix) {
  struct Case {
    const char* what;
    std::string sprms;
    int32_t wwsep::*field;
    int32_t want;
  } cases[] = {
      {"break kind", b1(142) + b1(0), &wwsep::bkc, 0},
      {"title page", b1(143) + b1(1), &wwsep::fTitlePage, 1},
      {"columns", b1(144) + w16(2), &wwsep::ccolM1, 2},
      {"column spacing", b1(145) + w16(360), &wwsep::dxaColumns, 360},
      {"page number 0 becomes 1", b1(161) + w16(0), &wwsep::pgnStart, 1},
      {"negative page number becomes 1", b1(161) + w16(0xFFF0), &wwsep::pgnStart, 1},
      {"page number 7", b1(161) + w16(7), &wwsep::pgnStart, 7},
      {"landscape", b1(162) + b1(2), &wwsep::dmOrientPage, 2},
      {"page width", b1(164) + w16(15840), &wwsep::xaPage, 15840},
      {"top margin is signed", b1(168) + w16(0xFC18), &wwsep::dyaTop, -1000},
      {"header distance", b1(156) + w16(360), &wwsep::dyaHdrTop, 360},
      {"right to left", b1(179) + b1(1) + b1(0), &wwsep::fRightToLeft, 1},
      {"163 ends the walk", b1(163) + b1(142) + b1(0), &wwsep::bkc, 2},
      {"an unknown sprm ends the walk", b1(134) + b1(0) + b1(142) + b1(0), &wwsep::bkc, 2},
      {"a sprm cut by the list's end reads zeros", b1(164), &wwsep::xaPage, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    loaded l(sectioned(wgen::word6, ktext, {{0, c.sprms}}), 6);
    EXPECT_EQ(l.at(3).*c.field, c.want);
  }
}

// The outline list replaces all nine levels and the text; the column array
// takes as many values as the count says and never more than it holds.
TEST(WordSections, OutlineListAndColumns) {
  std::string olst(212, '\0');
  for (int i = 0; i < 9; i++) olst[16 * i] = static_cast<char>(i + 1), olst[16 * i + 10] = 5;
  olst[148] = 'X';
  loaded l(sectioned(wgen::word6, ktext, {{0, b1(133) + b1(212) + olst}}), 6);
  wwsep s = l.at(0);
  EXPECT_EQ(s.olstset, 1);
  for (int i = 0; i < 9; i++) EXPECT_EQ(s.olst.rganlv[i].nfc, i + 1);
  EXPECT_EQ(s.olst.rganlv[8].iStartAt, 5);
  EXPECT_EQ(s.olst.rgch[0], 'X');
  EXPECT_EQ(s.olst.rgch[1], 0);

  struct Col {
    int ccol;
    int want0, want8;
    int32_t bkc;  // a sprm behind the columns: applied only when the walk goes on
  } cols[] = {{1, 1000, 0, 0}, {-1, 0, 0, 2}, {30, 1000, 1000, 0}};
  for (const Col& c : cols) {
    SCOPED_TRACE(c.ccol);
    std::string sp = b1(144) + w16(c.ccol & 0xFFFF) + b1(136) + b1(0);
    for (int i = 0; i < 4 * (c.ccol < 0 ? 0 : c.ccol) + 1; i++) sp += w16(1000);
    sp += b1(142) + b1(0);
    loaded m(sectioned(wgen::word6, ktext, {{0, sp}}), 6);
    wwsep t = m.at(0);
    EXPECT_EQ(t.rgdxaColumn[0], c.want0);
    EXPECT_EQ(t.rgdxaColumn[8], c.want8);
    EXPECT_EQ(t.bkc, c.bkc);
  }
}

// A level-6 section list longer than 255 bytes keeps the sprms behind its
// outline list: the page set-up and header flags come through.
TEST(WordSections, LongListKeepsItsTail) {
  std::string olst(212, '\0');
  std::string sp = b1(133) + b1(212) + olst + b1(133) + b1(212) + olst + b1(153) + b1(5) + b1(164) + w16(11000);
  ASSERT_GT(sp.size(), 255u);
  loaded l(sectioned(wgen::word6, ktext, {{0, sp}}), 6);
  wwsep s = l.at(0);
  EXPECT_EQ(s.grpfIhdt, 5);
  EXPECT_EQ(s.xaPage, 11000);
}

// Sections are found by position at every level, in any order of lookup;
// a descriptor of FFFFFFFF gives the defaults; a position outside every
// section gives the defaults without hiding the sections after it.
TEST(WordSections, LookupAtEveryLevel) {
  struct Case {
    wgen::kind k;
    std::string bkc0, bkc1;  // break kind 0 in the level's numbering
  } cases[] = {{wgen::word6, b1(142) + b1(0), ""},
               {wgen::word2, b1(117) + b1(0), ""},
               {wgen::word1, b1(117) + b1(0), ""},
               {wgen::mac5, b1(117) + b1(0), ""},
               {wgen::mac3, b1(54) + b1(0), ""}};
  int64_t second = 12, third = 30;
  for (const Case& c : cases) {
    SCOPED_TRACE(levelof(c.k));
    loaded l(sectioned(c.k, ktext, {{0, c.bkc0}, {second, "", true}, {third, c.bkc0}}), levelof(c.k));
    EXPECT_EQ(l.at(third + 2).bkc, 0);
    EXPECT_EQ(l.at(second + 1).bkc, 2);
    EXPECT_EQ(l.at(0).bkc, 0);
    EXPECT_EQ(l.at(-1).bkc, 0);  // one before the text: the first section
    EXPECT_EQ(l.at(100000).bkc, 2);
    EXPECT_EQ(l.at(third).bkc, 0);
    // The last position of a section and the text start are section ends.
    EXPECT_EQ(wwissect(&l.r.w, wwfcmin(&l.r.w)), 1);
    EXPECT_EQ(wwissect(&l.r.w, wwfcmin(&l.r.w) + static_cast<int32_t>(second) - 1), 1);
    EXPECT_EQ(wwissect(&l.r.w, wwfcmin(&l.r.w) + static_cast<int32_t>(second)), 0);
    EXPECT_EQ(wwissect(&l.r.w, wwfcmin(&l.r.w) + 100000), 0);
  }
}

// Defaults: levels 2 and 6 have the letter page with fixed margins; levels
// 1 and 3-5 take the page and margins from the document properties.
TEST(WordSections, DefaultsOfEachLevel) {
  wwsep s;
  {
    loaded l(sectioned(wgen::word6, ktext, {{0, ""}}), 6);
    s = l.at(0);
    EXPECT_EQ(s.xaPage, 12240);
    EXPECT_EQ(s.yaPage, 15840);
    EXPECT_EQ(s.dxaLeft, 1800);
    EXPECT_EQ(s.dyaTop, 1440);
    EXPECT_EQ(s.dmOrientPage, 1);
    EXPECT_EQ(s.xaPageset, 0);
  }
  {
    // Level 1: landscape flag, page 16838 x 11906, margins 1000 500 700 600.
    std::string dop(62, '\0');
    dop[0] = static_cast<char>(0x80);
    auto put = [&](int at, int v) { dop[at] = static_cast<char>(v & 0xFF), dop[at + 1] = static_cast<char>(v >> 8); };
    put(10, 11906), put(12, 16838), put(14, 700), put(16, 1000), put(18, 600), put(20, 500);
    loaded l(sectioned(wgen::word1, ktext, {{0, ""}}, dop), 1);
    s = l.at(0);
    EXPECT_EQ(s.xaPage, 16838);
    EXPECT_EQ(s.yaPage, 11906);
    EXPECT_EQ(s.dxaLeft, 1000);
    EXPECT_EQ(s.dxaRight, 500);
    EXPECT_EQ(s.dyaTop, 700);
    EXPECT_EQ(s.dyaBottom, 600);
    EXPECT_EQ(s.dmOrientPage, 1);
    EXPECT_EQ(s.xaPageset, 1);
  }
  {
    // Mac Word 5: the page from its properties, the first page number too.
    std::string dop(24, '\0');
    auto put = [&](int at, int v) { dop[at] = static_cast<char>(v >> 8), dop[at + 1] = static_cast<char>(v & 0xFF); };
    put(0, 14000), put(2, 10000), put(22, 9);
    loaded l(sectioned(wgen::mac5, ktext, {{0, ""}}, dop), 4);
    s = l.at(0);
    EXPECT_EQ(s.xaPage, 10000);
    EXPECT_EQ(s.yaPage, 14000);
    EXPECT_EQ(s.pgnStart, 9);
    EXPECT_EQ(s.pgnStartset, 0);
  }
}

// The length-only variant agrees with the interpreter and refuses the
// column array, whose length depends on the count.
TEST(WordSections, LengthsOnly) {
  wwtestrun r(std::string(600, '\0'), 6);
  const unsigned char sp[][3] = {{142, 0, 0}, {144, 1, 0}, {133, 0, 0}, {163, 0, 0}, {136, 0, 0}, {134, 0, 0}};
  const int want[] = {2, 3, 214, 0, -1, -1};
  for (int i = 0; i < 6; i++) EXPECT_EQ(wwsprmsepx(&r.w, sp[i]), want[i]) << int(sp[i][0]);
}

// Damaged section tables end quickly with the defaults: a length of 1 or
// 2, a table past the stream, cps running backwards, modifiers past the end.
TEST(WordSections, DamagedTables) {
  wgen::spec sp;
  sp.k = wgen::word2;
  sp.pieces = {ktext};
  for (std::string t : {std::string("\x01"), std::string("\x01\x02"), std::string(16, '\xff'),
                        wgen::val(wgen::word2, 20, 4) + wgen::val(wgen::word2, 4, 4) + std::string("\0\0\xff\xff\xff\x7f", 6)}) {
    bytes b = wgen::stream(sp);
    wgen::attach(b, wgen::word2, 124, t);
    loaded l(b, 2);
    EXPECT_EQ(l.at(5).bkc, 2);
  }
}
