// List numbering: paragraph lists that continue and restart, outline
// counters over levels, the number's character format, and number texts
// whose counts run past their areas.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "converters/word/tests/word6gen.h"
#include "filters/framework/runtime/tests/cvtest.h"
#include "filters/framework/writer/tests/cwtest.h"
#include "filters/word/tests/wwtest.h"
#include "filters/word/wwfld.h"

namespace {

// A Word state over a small document, with the writer behind it.
struct numrun : cwhookscope {
  wwtestrun r;
  numrun() : r(stream(), 6) {
    wwfibread(&r.w);
    wwfontread(&r.w);
    wwpapbinread(&r.w);
    wwchpbinread(&r.w);
  }
  ~numrun() { wwpapbinfree(&r.w); }
  static std::string stream() {
    wgen::w6spec d;
    d.text = {wgen::word6, {"one\rtwo\rthree\r"}, false, 6000};
    d.chps = {{0, ""}, {4, "\x55\x01"}, {8, ""}};  // "two" and its mark bold
    wgen::bytes b = wgen::word6stream(d);
    return std::string(b.begin(), b.end());
  }
  std::string com() {
    cwflush(r.t.run, 0);
    return comshow(r.t.streambytes(cvouthandle(r.t.run)));
  }
};

wwanld anld(int nfc, int start, const std::string& before = "", const std::string& after = ".") {
  wwanld a{};
  a.nfc = nfc;
  a.iStartAt = start;
  a.ftc = -1;
  a.cxchTextBefore = static_cast<int32_t>(before.size());
  a.cxchTextAfter = static_cast<int32_t>(after.size());
  std::string t = before + after;
  std::memcpy(a.rgch, t.data(), std::min<size_t>(t.size(), 32));
  return a;
}

// Paragraph lists: a step is 10/11/12 (a numbered, bullet or skipped
// paragraph), 0 (no numbering outside a table) or -1 (inside one).
TEST(WordNumbers, ParagraphLists) {
  struct Case {
    const char* what;
    std::vector<int> steps;
    std::vector<int> numbers;  // the counter after each level-10 paragraph
  } cases[] = {
      {"continues", {10, 10, 10}, {1, 2, 3}},
      {"restarts after a plain paragraph", {10, 10, 0, 10}, {1, 2, 1}},
      {"a bullet does not restart", {10, 10, 11, 10}, {1, 2, 3}},
      {"a table paragraph does not restart", {10, 10, -1, 10}, {1, 2, 3}},
      {"a skipped paragraph does not count", {10, 12, 10}, {1, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    numrun n;
    wwanld a = anld(0, 1);
    std::vector<int> got;
    for (int s : c.steps) {
      if (s >= 10) {
        wwnumpara(&n.r.w, &a, 0, 0, s, 0);
        if (s == 10) got.push_back(n.r.w.numctr);
      } else {
        wwnumoff(&n.r.w, s < 0);
      }
    }
    EXPECT_EQ(got, c.numbers);
  }
  // Another format starts a new list at its own start.
  numrun n;
  wwanld a = anld(0, 1), b = anld(1, 5);
  wwnumpara(&n.r.w, &a, 0, 0, 10, 0);
  wwnumpara(&n.r.w, &b, 0, 0, 10, 0);
  EXPECT_EQ(n.r.w.numctr, 5);
  EXPECT_NE(n.com().find("V."), std::string::npos);
}

TEST(WordNumbers, OutlineLevels) {
  numrun n;
  wwanld lv[9];
  for (int k = 0; k < 9; k++) lv[k] = anld(0, 1, "", "");
  unsigned char text[64] = {};
  wwnumoff(&n.r.w, 0);
  std::vector<std::vector<int>> got;
  for (int l : {1, 2, 2, 1, 2}) {
    wwnumolst(&n.r.w, lv, text, 0, 0, l, 0);
    got.push_back({n.r.w.olctr[0], n.r.w.olctr[1]});
  }
  EXPECT_EQ(got, (std::vector<std::vector<int>>{{1, 0}, {1, 1}, {1, 2}, {2, 0}, {2, 1}}));
  // The first outline paragraph of a run reloads nothing: its counters
  // start from 0, whatever the levels' starts.
  numrun m;
  for (int k = 0; k < 9; k++) lv[k] = anld(0, 7, "", "");
  wwnumolst(&m.r.w, lv, text, 0, 0, 2, 0);
  EXPECT_EQ(m.r.w.olctr[0], 0);
  EXPECT_EQ(m.r.w.olctr[1], 1);
}

// The number's character format and font from the descriptor and from
// the paragraph mark, colours by index, and texts held to their areas.
TEST(WordNumbers, CharacterFormat) {
  numrun n;
  struct Case {
    const char* what;
    int pos;  // -1: the defaults
    wwanld a;
    bool bold;
    int size;
  } cases[] = {
      {"defaults", -1, anld(0, 1), false, 0},
      {"a bold mark makes the number bold", 512 + 4, anld(0, 1), true, 0},
      {"hps 21 is 10 points", -1, [] { wwanld a = anld(0, 1); a.hps = 21; return a; }(), false, 200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    cwlistdesc d{};
    cwchfmt f;
    wwnumanld(&n.r.w, &c.a, c.pos, &d, &f);
    EXPECT_EQ(f.attr[0], c.bold ? 1 : 0);
    if (c.size) EXPECT_EQ(d.size, c.size);
    EXPECT_EQ(f.attrset, 1);
  }
  struct Colour {
    int ico, r, g, b, any;
  } colours[] = {{0, 0, 0, 0, 0}, {1, 0, 0, 0, 1}, {2, 0, 0, 255, 1}, {13, 127, 0, 0, 1},
                 {15, 127, 127, 127, 1}, {16, 192, 192, 192, 1}, {17, 0, 0, 0, 0}, {31, 0, 0, 0, 0}};
  for (const Colour& c : colours) {
    int r = 0, g = 0, b = 0;
    EXPECT_EQ(wwnumcolor(c.ico, &r, &g, &b), c.any) << c.ico;
    if (c.any) EXPECT_EQ(std::vector<int>({r, g, b}), std::vector<int>({c.r, c.g, c.b})) << c.ico;
  }
  // Counts past the 32 bytes of the text area write what the area holds.
  wwanld a = anld(0, 1, std::string(30, 'b'), "xyz");
  a.cxchTextBefore = 200;
  a.cxchTextAfter = 100;
  wwnumpara(&n.r.w, &a, 0, 0, 10, 0);
  EXPECT_NE(n.com().find(std::string(30, 'b') + "xy"), std::string::npos);
}

}  // namespace
