// The paragraph format: the records a paragraph's first output writes for
// what changed, nothing inside a paragraph but the indents, the reset to
// the defaults by where the writer is, and the query of its fields.
#include <gtest/gtest.h>

#include "filters/framework/writer/tests/cwtest.h"

namespace {

// A settled run at a paragraph's start: the calls, then its first text.
std::string paragraph(const cwruncalls& set) {
  cwtestrun t;
  t.settle();
  cwnewline(t.run, 1);
  set(t.run);
  t.marknow();
  t.text("x");
  return t.show();
}

TEST(ParagraphFormat, RecordsOfANewParagraph) {
  auto border = [](cvrun* r) {
    cwparabord(r, 0, 1);
    cwparabord(r, 3, 2);
    cwparabrgb(r, 0, 255, 0, 0);
  };
  const struct {
    const char* what;
    cwruncalls set;
    std::string want;
  } rows[] = {
      {"nothing changed", [](cvrun*) {}, ""},
      {"alignments", [](cvrun* r) { cwalign(r, 4); }, rec(10818, {1})},
      {"only the space before: its record and its blank line", [](cvrun* r) { cwparaspc(r, 0, 240); },
       rec(6227, {240}) + rec(12744, {1})},
      {"the same margins again", [](cvrun* r) { cwlmargin(r, 1440); cwrmargin(r, 1440); }, ""},
      {"new margins", [](cvrun* r) { cwlmargin(r, 720); cwrmargin(r, 2880); },
       rec(13938, {10, 75, 5, 65, 720, 9360})},
      {"margins that leave no room", [](cvrun* r) { cwlmargin(r, 10800); cwrmargin(r, 10801); cwlmargin(r, -1); }, ""},
      {"widow control of one line keeps two", [](cvrun* r) { cwwidow(r, 1, 1); }, rec(14839, {2})},
      {"widow control off", [](cvrun* r) { cwwidow(r, 1, 3); cwputs(r, "w"); cwnewline(r, 1); cwwidow(r, 0, 5); },
       rec(26103)},
      {"borders with colour codes", border, recs(3152, {"1002", "0", "0C", "00", "00", "00"})},
      {"borders removed again",
       [border](cvrun* r) {
         border(r);
         cwputs(r, "w");
         cwnewline(r, 1);
         for (int side = 0; side < 4; side++) cwparabord(r, side, 0);
       },
       recs(3152, {"0000", "0"})},
      {"shading",
       [](cvrun* r) {
         cvshade s{};
         s.v.pct = 25;
         s.v.c1[2] = 255;
         cwparashade(r, &s);
       },
       recs(4371, {"1", "25", "00", "00", "FF", "0", "00", "00", "00"})},
      {"one-shot value 3", [](cvrun* r) { cwparaval3(r, 5); }, rec(16547, {5})},
      {"line spacing and the second value", [](cvrun* r) { cwlinespc(r, 1, 360); cwlinespc(r, 3, 7); },
       rec(17010, {0, 3, 360, 7})},
      {"space after", [](cvrun* r) { cwparaspc(r, 1, 100); }, rec(6195, {100})},
      {"percentages", [](cvrun* r) { cwparapct(r, 50, 60); }, rec(26898, {0, 0, 50, 60})},
      {"percentages out of range", [](cvrun* r) { cwparapct(r, 101, 10); cwparapct(r, 10, -1); }, ""},
  };
  for (const auto& r : rows) EXPECT_EQ(paragraph(r.set), comshow(r.want + "x")) << r.what;
}

TEST(ParagraphFormat, ChangesInsideAParagraphWaitForTheNextOne) {
  cwtestrun t;
  t.settle();
  t.text("a");
  cwalign(t.run, 2);
  cwparaval3(t.run, 5);
  t.text("b");
  EXPECT_EQ(t.show(), "ab");
  cwnewline(t.run, 1);
  t.text("c");
  cwnewline(t.run, 1);
  t.text("d");
  // The one-shot value goes with one paragraph only.
  EXPECT_EQ(t.show(), comshow("ab" + rec(12744) + rec(1602) + rec(16547, {5}) + rec(18625, {10, 0, 0}) + "c" +
                              rec(20517) + rec(12744) + rec(18625, {10, 0, 0}) + "d"));
}

TEST(ParagraphFormat, ResetByWhereTheWriterIs) {
  const struct {
    const char* what;
    int subkind;
    int lmar, align, linespc;
  } rows[] = {
      {"main text: the defaults", 0, 1440, 3, 240},
      {"table cell: no margins, left aligned", 3, 0, 0, 0},
      {"box: no margins, the default alignment", 1, 0, 3, 0},
      {"column: the same", 10, 0, 3, 0},
      {"footnote: the defaults", 6, 1440, 3, 240},
  };
  for (const auto& r : rows) {
    cwtestrun t;
    t.settle();
    t.w->defs.align = 3;
    cwparapct(t.run, 20, 30);
    cwindents(t.run, 0, 720, 0);
    t.w->subkind = r.subkind;
    cwparareset(t.run);
    EXPECT_EQ(cwparaget(t.run, 0), r.lmar) << r.what;
    EXPECT_EQ(cwparaget(t.run, 1), r.lmar) << r.what;
    EXPECT_EQ(cwparaget(t.run, 2), r.align) << r.what;
    EXPECT_EQ(cwparaget(t.run, 3), r.linespc) << r.what;
    EXPECT_EQ(cwparaget(t.run, 8), 0) << r.what;
    EXPECT_EQ(cwparaget(t.run, 12), 4) << r.what;
    EXPECT_EQ(t.w->para.tabs.count, 20) << r.what;
    EXPECT_EQ(t.w->para.sub, CW_PBOUND | CW_PINDENTS) << r.what;
  }
}

TEST(ParagraphFormat, FieldsByIndex) {
  cwtestrun t;
  cwparabrgb(t.run, 1, 10, 20, 300);
  cvshade s{};
  s.v.pct = 40;
  s.v.c1[0] = 7;
  cwparashade(t.run, &s);
  const struct {
    int index, want;
  } rows[] = {{0, 1440}, {3, 240}, {11, -1}, {14, -1}, {22, 10}, {24, 255}, {31, 40}, {32, 7}, {34, 0}, {35, -1}, {-1, -1}};
  for (const auto& r : rows) EXPECT_EQ(cwparaget(t.run, r.index), r.want) << r.index;
}

}  // namespace
