// Character format: writer calls and the records the flush writes for them,
// each only when its value differs from what was written last.
#include <gtest/gtest.h>

#include "filters/framework/writer/tests/cwtest.h"

namespace {

cvshade shading(int pct, int r1, int g1, int b1, int r2, int g2, int b2) {
  cvshade s{};
  s.v.pct = pct;
  s.v.c1[0] = r1, s.v.c1[1] = g1, s.v.c1[2] = b1;
  s.v.c2[0] = r2, s.v.c2[1] = g2, s.v.c2[2] = b2;
  return s;
}

TEST(CharacterFormat, RecordsForCalls) {
  const cwcallrow<cwcalls> rows[] = {
      {"bold on and off around characters",
       [](cwtestrun& t) {
         cwattr(t.run, CW_BOLD, 1, 500);
         t.text("x");
         cwattr(t.run, CW_BOLD, 0, 0);
         t.text("y");
       },
       rec(20546, {500}) + "x" + rec(20549) + "y"},
      {"bold on twice across two flushes is written once",
       [](cwtestrun& t) {
         cwattr(t.run, CW_BOLD, 1, 500);
         t.text("x");
         cwattr(t.run, CW_BOLD, 1, 500);
         t.text("y");
       },
       rec(20546, {500}) + "xy"},
      {"double underline and its end",
       [](cwtestrun& t) {
         cwattr(t.run, CW_UNDERLINE, 1, 3);
         t.text("x");
         cwattr(t.run, CW_UNDERLINE, 0, 2);
         t.text("y");
       },
       rec(14003, {0, 3}) + rec(21634) + "x" + rec(21637) + "y"},
      {"underline kind 5",
       [](cwtestrun& t) {
         cwattr(t.run, CW_UNDERLINE, 1, 5);
         t.text("x");
       },
       rec(14003, {0, 2}) + rec(12962, {0, 3}) + "x"},
      {"underline kinds 0 and 20",
       [](cwtestrun& t) {
         cwattr(t.run, CW_UNDERLINE, 1, 0);
         t.text("x");
         cwattr(t.run, CW_UNDERLINE, 0, 0);
         t.text("y");
         cwattr(t.run, CW_UNDERLINE, 1, 20);
         t.text("z");
       },
       rec(14003, {0, 0}) + rec(12962, {1, 1}) + "x" + rec(12965) + "y" + rec(14003, {0, 2}) + rec(12962, {1}) +
           "z"},
      {"the underline style goes with every change while underlined",
       [](cwtestrun& t) {
         cwattr(t.run, CW_UNDERLINE, 1, 1);
         t.text("a");
         cwlang(t.run, 1036);
         t.text("b");
         cwlinehgt(t.run, 300);
         t.text("c");
       },
       rec(14003, {0, 2}) + rec(12962, {0, 1}) + "a" + rec(7571, {1036}) + rec(14003, {0, 2}) + "b" +
           rec(8652, {300}) + rec(14003, {0, 2}) + "c"},
      {"first colour",
       [](cwtestrun& t) {
         cwcolor(t.run, 1, 200, 100, 10);
         t.text("x");
         EXPECT_EQ(t.w->chr.c1[2], 0);
       },
       rec(12386, {14, 200, 100, 0, 0, 0, 0}) + "x"},
      {"second colour codes",
       [](cwtestrun& t) {
         cwbgcolor(t.run, 1, 64, 192, 255);
         t.text("x");
       },
       rec(12386, {64 + 160 + 144, 0, 0, 0, 64, 192, 255}) + "x"},
      {"a written colour cleared",
       [](cwtestrun& t) {
         cwcolor(t.run, 1, 255, 0, 0);
         t.text("x");
         cwcolor(t.run, 0, 0, 0, 0);
         t.text("y");
       },
       rec(12386, {12, 255, 0, 0, 0, 0, 0}) + "x" + rec(12389) + "y"},
      {"vertical position moved without switching off",
       [](cwtestrun& t) {
         cwattr(t.run, CW_VPOS, 1, -5);
         t.text("x");
         cwattr(t.run, CW_VPOS, 1, 10);
         t.text("y");
       },
       rec(18603, {0, 5}) + "x" + rec(18789) + rec(18603, {1, 10}) + "y"},
      {"shading colours alone write nothing",
       [](cwtestrun& t) {
         cvshade s = shading(0, 10, 20, 30, 1, 2, 3);
         cwcharshade(t.run, &s);
         t.text("x");
         s = shading(25, 255, 0, 0, 0, 0, 255);
         cwcharshade(t.run, &s);
         t.text("y");
       },
       "x" + recs(4371, {"0", "25", "FF", "00", "00", "0", "00", "00", "FF"}) + "y"},
      {"attributes that have one record for on and off",
       [](cwtestrun& t) {
         cwattr(t.run, 4096, 1, 0);
         t.text("x");
         cwattr(t.run, 4096, 0, 0);
         t.text("y");
         cwattr(t.run, 0x40000, 1, 0);
         t.text("z");
       },
       rec(16920) + "x" + rec(16920) + "y" + rec(19044) + "z"},
      {"strike-out carries its character raw; values of the others",
       [](cwtestrun& t) {
         cwattr(t.run, CW_STRIKE, 1, '-');
         cwattr(t.run, CW_ITALIC, 1, 45);
         cwattr(t.run, CW_SUPER, 1, 60);
         cwattr(t.run, 0x20000, 1, 0);
         t.text("x");
       },
       rec(16009, {45}) + recs(15970, {"-"}) + rec(19987, {60}) + rec(20738) + "x"},
      {"a bit no attribute has: pending, nothing written",
       [](cwtestrun& t) {
         cwattr(t.run, 0x80000, 1, 0);
         EXPECT_TRUE(t.w->pending & CW_PCHAR);
         t.text("x");
       },
       "x"},
      {"line height and language only when they differ",
       [](cwtestrun& t) {
         cwlinehgt(t.run, 0);
         cwlang(t.run, 0);
         EXPECT_EQ(t.w->pending, 0u);
         cwlinehgt(t.run, 280);
         cwlang(t.run, 1031);
         t.text("x");
       },
       rec(8652, {280}) + rec(7571, {1031}) + "x"},
      {"character borders",
       [](cwtestrun& t) {
         cwcharbline(t.run, 5, 3);  // no such side
         EXPECT_EQ(t.w->pending, 0u);
         cwcharbline(t.run, 0, 3);
         cwcharbline(t.run, 3, 1);
         cwcharbrgb(t.run, 1, 300, -4, 7);
         cwcharbrgb(t.run, 9, 1, 1, 1);
         EXPECT_EQ(t.w->chr.brgb[1][0], 255);
         EXPECT_EQ(t.w->chr.brgb[1][1], 0);
         t.text("x");
       },
       recs(3152, {"3001", "2", "00", "00", "00", "00"}) + "x"},
  };
  for (const auto& r : rows) EXPECT_EQ(cwwrites(r.run), comshow(r.want)) << r.what;
}

TEST(CharacterFormat, ResetWritesAtOnce) {
  cwtestrun t;
  t.settle();
  cwattr(t.run, CW_BOLD, 1, 500);
  cwcolor(t.run, 1, 200, 100, 10);
  t.w->chr.charstyle = 7;
  t.text("x");
  cwattr(t.run, CW_ITALIC, 1, 60);  // pending, not yet written
  t.marknow();
  cwcharreset(t.run);
  EXPECT_EQ(t.show(), comshow(rec(12389) + rec(20549) + rec(7571, {1033})));
  EXPECT_EQ(t.w->chr.charstyle, 7);
  EXPECT_EQ(t.w->chr.ulstyle, 2);
  EXPECT_EQ(t.w->chrw.ulstyle, -1);
  EXPECT_EQ(t.w->chrw.c1[0], -1);
  EXPECT_EQ(t.w->chr.attr[3].on, 0);
  EXPECT_TRUE(t.w->pending & CW_PCHAR);  // as it was
  EXPECT_EQ(t.w->font, cwfontdfl(t.run));
}

TEST(CharacterFormat, AllOffAndAllOnForListNumbers) {
  cwtestrun t;
  t.settle();
  cwattr(t.run, CW_BOLD, 1, 500);
  cwattr(t.run, CW_UNDERLINE, 1, 5);
  cwattr(t.run, CW_ITALIC, 1, 60);
  cwattr(t.run, CW_VPOS, 1, -3);
  cwattrallof(t.run);
  EXPECT_EQ(t.show(), comshow(rec(20549) + rec(12965) + rec(6793) + rec(18789)));
  t.marknow();
  cwattrallon(t.run);
  EXPECT_EQ(t.show(), comshow(recs(6675, {"0", "0", "12", "0", "200", "Courier", "0", "1"}) +
                              rec(20546, {500}) + rec(12962) + rec(16009, {60}) + rec(18603, {0, 3})));
}

}  // namespace
