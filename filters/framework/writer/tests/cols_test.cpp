// Column sets: the definition record, breaks that move through the columns
// with the line width following, nesting and its limit.
#include <gtest/gtest.h>

#include "filters/framework/writer/tests/cwtest.h"

namespace {

void twocolumns(cvrun* r, int opt1 = 0) {
  cwcoldesc d{0, 2, {opt1, 0, 0}};
  cwcolbegin(r, &d);
  cwcoladd(r, 0, 4320);
  cwcoladd(r, 5040, 9360);
}

TEST(ColumnSets, TheDefinitionAndTheBreaks) {
  cwtestrun t;
  t.settle();
  twocolumns(t.run, 1);
  EXPECT_EQ(cwcoladd(t.run, 1, 2), -1);
  cwcolemit(t.run);
  EXPECT_EQ(t.show(), comshow(recs(19587, {"02", "2", "0", "30", "0", "35", "65", "0", "0", "4320", "0", "5040",
                                           "9360", "0"}) +
                              rec(13410)));
  EXPECT_EQ(t.w->rightlimit, 4320);
  struct step {
    void (*call)(cvrun*);
    std::string records;
    int column, width;
  };
  const step steps[] = {
      {cwcolbreak, rec(2152), 2, 4320},
      {cwcolsoft, rec(12755) + rec(2163), 1, 4320},
      {cwcolbreak, rec(2152), 2, 4320},
      {cwcolfirst, rec(7269), 1, 4320},
  };
  for (const step& s : steps) {
    t.marknow();
    s.call(t.run);
    EXPECT_EQ(t.com(), s.records);
    EXPECT_EQ(cwcolcurrent(t.run), s.column);
    EXPECT_EQ(t.w->rightlimit, s.width);
    EXPECT_EQ(t.w->para.linepos, 0);
  }
  t.marknow();
  cwcolend(t.run);
  EXPECT_EQ(t.com(), rec(13413));
  EXPECT_EQ(t.w->subn, 0);
  EXPECT_EQ(cwcolcurrent(t.run), 0);
  t.marknow();
  cwcolend(t.run);
  cwcolbreak(t.run);
  EXPECT_EQ(t.com(), "");
}

TEST(ColumnSets, ASetInsideAnotherAndTheLimit) {
  cwtestrun t;
  t.settle();
  twocolumns(t.run);
  cwcolemit(t.run);
  cwcolbreak(t.run);
  cwcoldesc inner{0, 3, {0, 1, 1}};
  cwcolbegin(t.run, &inner);
  for (int i = 0; i < 3; i++) cwcoladd(t.run, i * 1000, i * 1000 + 800);
  cwcolemit(t.run);
  EXPECT_EQ(t.w->rightlimit, 800);
  cwcolend(t.run);
  // The outer set again, in its second column.
  EXPECT_EQ(cwcolcurrent(t.run), 2);
  cwcolend(t.run);
  // Six sets open at once, a seventh refused: the ends close the six.
  for (int i = 0; i < 7; i++) {
    twocolumns(t.run);
    cwcolemit(t.run);
    t.text(std::string(1, static_cast<char>('a' + i)));
  }
  EXPECT_EQ(t.w->subn, 6);
  for (int i = 0; i < 7; i++) cwcolend(t.run);
  EXPECT_EQ(t.w->subn, 0);
  EXPECT_EQ(cwcolcurrent(t.run), 0);
  EXPECT_TRUE(comwellformed(t.com()));
  EXPECT_NE(t.com().find("g"), std::string::npos);
}

TEST(ColumnSets, Shading) {
  cvshade s{};
  EXPECT_EQ(cwwrites([&](cvrun* r) { twocolumns(r); cwcolshade(r, &s); }), "");
  s.v.pct = 30;
  s.v.c1[0] = 255;
  EXPECT_EQ(cwwrites([&](cvrun* r) { twocolumns(r); cwcolshade(r, &s); }),
            comshow(recs(4371, {"2", "30", "FF", "00", "00", "0", "00", "00", "00"})));
}

}  // namespace
