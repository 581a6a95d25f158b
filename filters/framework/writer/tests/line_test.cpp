// Line ends, page breaks and aligned regions: the record of each kind of
// line end, the space a soft line end adds, the blank lines of the
// paragraph spacing, and the region of every line of a centred paragraph.
#include <gtest/gtest.h>

#include "filters/framework/writer/tests/cwtest.h"

namespace {

void font(cvrun* run) {
  cvfontdesc d = {1, "Arial", 0, 0, 0, CW_ENCBYTE, nullptr, 0, 240};
  cwfontsize2(run, cwfontdef(run, &d), 240);
}

TEST(LineEnds, RecordsAndSpacesByKind) {
  const cwcallrow<cwcalls> rows[] = {
      {"soft after a letter adds a space", [](cwtestrun& t) { t.text("ab"); cwnewline(t.run, 0); },
       "ab " + rec(12755)},
      {"soft after a hyphen", [](cwtestrun& t) { t.text("ab-"); cwnewline(t.run, 0); }, "ab-" + rec(12755)},
      {"soft after a slash", [](cwtestrun& t) { t.text("a/"); cwnewline(t.run, 0); }, "a/" + rec(12755)},
      {"soft after a space", [](cwtestrun& t) { t.text("a "); cwnewline(t.run, 0); }, "a " + rec(12755)},
      {"soft after an optional hyphen", [](cwtestrun& t) { t.text("a"); cwspecial(t.run, 1); cwnewline(t.run, 0); },
       "a" + rec(3347) + rec(12755)},
      {"soft after a non-breaking hyphen",
       [](cwtestrun& t) { t.text("a"); cwspecial(t.run, 2); cwnewline(t.run, 0); }, "a" + rec(3336) + rec(12755)},
      {"soft after a soft line end", [](cwtestrun& t) { t.text("a"); cwnewline(t.run, 0); cwnewline(t.run, 0); },
       "a " + rec(12755) + rec(12755)},
      {"soft after a font record adds a space",
       [](cwtestrun& t) {
         t.text("a");
         font(t.run);
         cwflush(t.run, 1);
         cwnewline(t.run, 0);
       },
       "a" + recs(6675, {"0", "0", "10", "1", "240", "Arial", "0", "0"}) + " " + rec(12755)},
      {"soft after a record holding a record: the outer one counts",
       [](cwtestrun& t) {
         t.text("a");
         cwrecbeg(t.run, 12755);
         cwrecone(t.run, 3347);
         cvsputc(t.run, t.run->out, COM_US);
         cwrecend(t.run);
         cwnewline(t.run, 0);
       },
       "a" + recs(12755, {comrec(3347)}) + rec(12755)},
      {"hard", [](cwtestrun& t) { t.text("a"); cwnewline(t.run, 1); }, "a" + rec(12744)},
      {"break inside a paragraph", [](cwtestrun& t) { t.text("a"); cwnewline(t.run, 2); },
       "a" + rec(14734) + rec(12744)},
      {"hard page", [](cwtestrun& t) { t.text("a"); cwnewline(t.run, 3); }, "a" + rec(16840)},
      {"soft page after text", [](cwtestrun& t) { t.text("a"); cwnewline(t.run, 4); },
       "a " + rec(12755) + rec(16851)},
      {"soft page after a hard line end", [](cwtestrun& t) { t.text("a"); cwnewline(t.run, 1); cwnewline(t.run, 4); },
       "a" + rec(12744) + rec(16851)},
      {"soft without a space", [](cwtestrun& t) { t.text("a"); cwnewline(t.run, 5); }, "a" + rec(12755, {1})},
      {"a kind beyond 5 writes nothing", [](cwtestrun& t) { t.text("a"); cwnewline(t.run, 6); }, "a"},
      {"the one-shot value 4 ends at the next line end",
       [](cwtestrun& t) {
         t.text("a");
         cwparaval4(t.run, 3);
         cwnewline(t.run, 0);
       },
       "a " + rec(12755) + rec(15083)},
  };
  for (const auto& r : rows) EXPECT_EQ(cwwrites(r.run), comshow(r.want)) << r.what;
}

TEST(LineEnds, ASoftLineEndAsTheFirstOutputAddsASpace) {
  cwtestrun t;
  t.w->pending = 0;
  cwnewline(t.run, 0);
  EXPECT_EQ(t.show(), comshow(" " + rec(12755)));
}

TEST(LineEnds, WhatAHardLineEndResets) {
  const struct {
    int kind;
    bool resets;
  } rows[] = {{1, true}, {3, true}, {2, false}, {0, false}};
  for (const auto& r : rows) {
    cwtestrun t;
    t.settle();
    cwindents(t.run, 0, 720, 360);
    cwparaspc(t.run, 0, 240);
    t.text("a");
    t.w->parastart = 0;
    cwnewline(t.run, r.kind);
    const cwparafmt& p = t.w->para;
    EXPECT_EQ(p.indleft, r.resets ? 0 : 720) << r.kind;
    EXPECT_EQ(p.before, r.resets ? 0 : 240) << r.kind;
    EXPECT_EQ(p.linepos, p.lmar + p.indleft) << r.kind;
    EXPECT_EQ(t.w->parastart, 1) << r.kind;
    EXPECT_EQ((p.sub & CW_PBOUND) != 0, r.kind == 1) << r.kind;
  }
  // Kind 5 leaves the line's region and start alone.
  cwtestrun t;
  t.settle();
  t.w->parastart = 0;
  cwnewline(t.run, 5);
  EXPECT_EQ(t.w->parastart, 0);
}

TEST(LineEnds, TheSpaceAfterAsBlankLines) {
  const struct {
    int after, blank;
  } rows[] = {{119, 0}, {120, 1}, {240, 1}, {359, 1}, {360, 2}, {600, 3}};
  for (const auto& r : rows) {
    cwtestrun t;
    t.settle();
    cwparaspc(t.run, 1, r.after);
    t.text("a");
    t.marknow();
    cwnewline(t.run, 1);
    std::string want = rec(12744);
    for (int i = 0; i < r.blank; i++) want += rec(12744, {1});
    EXPECT_EQ(t.show(), comshow(want)) << r.after;
  }
}

TEST(AlignedRegions, EveryLineOfACentredParagraphIsARegion) {
  cwtestrun t;
  t.settle();
  cwalign(t.run, 1);
  cwnewline(t.run, 1);
  t.text("one");
  cwnewline(t.run, 0);
  t.text("two");
  cwnewline(t.run, 0);
  t.text("three");
  cwnewline(t.run, 1);
  // Each line end closes the region before it decides on the space.
  std::string open = rec(25219, {0, 0, 0}), close = rec(20581), soft = " " + rec(12755);
  EXPECT_EQ(t.show(), comshow(rec(12744) + rec(1122) + open + "one" + close + soft + open + "two" + close + soft +
                              open + "three" + close + rec(12744)));
}

TEST(AlignedRegions, ExplicitRegions) {
  const cwcallrow<cwcalls> rows[] = {
      {"centred, ended", [](cwtestrun& t) { cwctrbeg(t.run); t.text("a"); cwctrend(t.run); },
       rec(25219, {0, 0, 0}) + "a" + rec(20581)},
      {"centred of the second kind, closed by the line end",
       [](cwtestrun& t) { cwctrbeg2(t.run); t.text("a"); cwnewline(t.run, 1); },
       rec(25219, {1, 0, 0}) + "a" + rec(20581) + rec(12744)},
      {"flush right with a fill text",
       [](cwtestrun& t) {
         cwstrdesc d = {0, "..", CW_ENCBYTE};
         cwflrbeg(t.run, &d);
         t.text("a");
         cwflrend(t.run);
       },
       recs(18625, {"10", "0", "0", ".."}) + "a" + rec(20517)},
      {"flush right of the second kind, no text",
       [](cwtestrun& t) {
         cwstrdesc d = {0, nullptr, CW_ENCBYTE};
         cwflrbeg2(t.run, &d);
         t.text("a");
         cwnewline(t.run, 1);
       },
       rec(18625, {44, 0, 0}) + "a" + rec(20517) + rec(12744)},
  };
  for (const auto& r : rows) {
    std::string got = cwwrites(r.run, [&](cwtestrun& t) {
      EXPECT_EQ(t.w->para.region, 0) << r.what;
      EXPECT_EQ(t.w->chr.region, 0) << r.what;
    });
    EXPECT_EQ(got, comshow(r.want)) << r.what;
  }
}

}  // namespace
