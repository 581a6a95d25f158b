// The style table: keys, what a style writes when it is switched on and off,
// the records that undo it, and the definitions of the prologue.
#include <gtest/gtest.h>

#include "filters/framework/writer/tests/cwtest.h"

namespace {

cwstyledesc named(const char* name, int kind) {
  cwstyledesc d{};
  d.version = 1;
  d.name = name;
  d.nameenc = CW_ENCBYTE;
  d.kind = kind;
  return d;
}

std::string styrec(int code, const char* name, int key, int kind) {
  return recs(code, {name, std::to_string(key), std::to_string(kind)});
}

TEST(Styles, KeysRunFrom0To255ThenTheTableIsFull) {
  cwtestrun t;
  cwstyledesc d = named("s", 0);
  for (int i = 0; i < 256; i++) ASSERT_EQ(cwstyledef(t.run, &d), i);
  EXPECT_EQ(cwstyledef(t.run, &d), -1);
}

TEST(Styles, WhatUsingAStyleWrites) {
  cwpfmt before{};
  before.beforeset = 1;
  before.before = 360;
  cwpfmt little = before;
  little.before = 100;
  cwpfmt margins{};
  margins.marset = 1;
  margins.lmar = margins.rmar = 1440;
  cwchfmt colour{};
  colour.colset = 1;
  colour.c1[0] = 100, colour.c1[1] = 200, colour.c1[2] = 30;
  cwchfmt height{};
  height.lhset = 1;
  height.linehgt = 0;  // the same as the pending format
  cwfielddesc field{2, 1, 0, 0, {"one", "two", "three"}, CW_ENCBYTE, {-1, -1, -1, -1, -1}};
  struct row {
    const char* what;
    std::function<void(cwstyledesc&)> set;
    std::string want;  // between the on record and the closing record
    std::string lead = "";
  };
  const row rows[] = {
      {"space before 360: two blank lines first", [&](cwstyledesc& d) { d.para = &before; }, rec(6227, {360}),
       rec(12744, {1}) + rec(12744, {1})},
      {"space before 100: none", [&](cwstyledesc& d) { d.para = &little; }, rec(6227, {100})},
      {"margins of an inch on a letter page", [&](cwstyledesc& d) { d.para = &margins; },
       rec(13938, {10, 70, 10, 75, 1440, 10800})},
      {"a colour with components under 64", [&](cwstyledesc& d) { d.chr = &colour; },
       rec(12386, {14, 100, 200, 0, 0, 0, 0})},
      {"the same line height writes nothing", [&](cwstyledesc& d) { d.chr = &height; }, ""},
      {"size 0 is 240", [&](cwstyledesc& d) { d.sizeflag = 1; },
       recs(6675, {"0", "0", "10", "0", "240", "Courier", "0", "1"})},
      {"a field of subtype 0 carries one argument", [&](cwstyledesc& d) { d.field = &field; },
       recs(20898, {"20", "one"})},
      {"self-formatted keeps nothing", [&](cwstyledesc& d) { d.selffmt = 1, d.para = &margins, d.chr = &colour; }, ""},
  };
  for (const row& r : rows) {
    cwstyledesc d = named("S", 0);
    r.set(d);
    std::string got = cwwrites([&](cwtestrun& t) {
      int key = cwstyledef(t.run, &d);
      t.marknow();
      cwstyleuse(t.run, key);
    });
    EXPECT_EQ(got, comshow(r.lead + styrec(26259, "S", 0, 0) + r.want + rec(5779))) << r.what;
  }
}

TEST(Styles, CharacterStylesOnAndOff) {
  cwchfmt bi{};
  bi.attrset = 1;
  bi.attr[0] = 1;  // bold, kind 0
  bi.attr[6] = 1;  // italic, kind 0
  cwfielddesc field{1, 2, 5, 1, {}, CW_ENCBYTE, {-1, -1, -1, -1, -1}};
  cwtestrun t;
  t.settle();
  cwstyledesc d = named("C", 1);
  d.chr = &bi;
  d.field = &field;
  int key = cwstyledef(t.run, &d);
  cwstyleuse(t.run, key);
  EXPECT_EQ(t.show(), comshow(styrec(26259, "C", 0, 1) + recs(20898, {"40"}) + rec(20546, {0}) + rec(16009, {0}) +
                              rec(5779)));
  // The flush repeats none of it; the same style again writes nothing.
  t.marknow();
  t.text("x");
  cwstyleuse(t.run, key);
  EXPECT_EQ(t.com(), "x");
  t.marknow();
  cwstyleoffkey(t.run, key);
  EXPECT_EQ(t.show(), comshow(styrec(6803, "C", 0, 1) + recs(20901, {"45"}) + rec(20549) + rec(6793) + rec(5779)));
  EXPECT_EQ(t.w->curchar, nullptr);
}

TEST(Styles, TheFontBeforeACharacterStyleComesBackUnderAParagraphStyle) {
  cwtestrun t;
  cvfontdesc f1{1, "Alpha", 0, -1, -1, CW_ENCBYTE, nullptr, 1, 240};
  cvfontdesc f2{1, "Beta", 0, -1, -1, CW_ENCBYTE, nullptr, 0, 240};
  cwfontdef(t.run, &f1);
  cwfontdef(t.run, &f2);
  t.settle();
  cwfontsize2(t.run, 1, 300);
  cwstyledesc p = named("P", 0);
  cwstyledesc c = named("C", 1);
  c.fontflag = 1;
  c.fontnum = 0;
  cwstyledef(t.run, &p);
  int ck = cwstyledef(t.run, &c);
  cwstyleuse(t.run, 0);
  cwstyleuse(t.run, ck);
  cwstyleoffkey(t.run, ck);
  t.marknow();
  t.text("x");
  // Beta at 15 points, not the font numbered as the paragraph style's key.
  EXPECT_EQ(t.show(), comshow(recs(6675, {"0", "0", "8", "1", "300", "Beta"}) + "x"));
}

TEST(Styles, AParagraphStyleEndsWithItsParagraph) {
  cwpfmt margins{};
  margins.marset = 1;
  margins.lmar = margins.rmar = 1440;
  cwtestrun t;
  t.settle();
  cwstyledesc d = named("P", 0);
  d.para = &margins;
  cwstyleuse(t.run, cwstyledef(t.run, &d));
  t.marknow();
  cwnewline(t.run, 1);
  EXPECT_EQ(t.show(), comshow(styrec(6803, "P", 0, 0) + rec(5779) + rec(12744) +
                              rec(13938, {0, 0, 10, 75, 1440, 10800})));
  EXPECT_EQ(t.w->curpara, nullptr);
}

TEST(Styles, AStyleThatSetsTheIndentsStartsThemFromTheMargin) {
  cwpfmt ind{};
  ind.indset = 1;
  ind.ind1st = 360;
  ind.indleft = 720;
  cwtestrun t;
  t.settle();
  cwstyledesc d = named("I", 0);
  d.para = &ind;
  cwstyleuse(t.run, cwstyledef(t.run, &d));
  // The indents go with stops of their own at both positions.
  const cwtabtab& tabs = cwstylekey(t.run, 0)->para->tabs;
  ASSERT_EQ(tabs.count, 2);
  EXPECT_EQ(tabs.stops[0].pos, 360);
  EXPECT_EQ(tabs.stops[1].kind, 4);
  t.marknow();
  cwindents(t.run, 0, 1440, 0);
  t.text("x");
  EXPECT_NE(t.com().find(rec(13957)), std::string::npos) << t.show();
}

TEST(Styles, DefiningForgetsTheCurrentStylesWithoutWriting) {
  cwtestrun t;
  t.settle();
  cwstyledesc c = named("C", 1);
  cwstyleuse(t.run, cwstyledef(t.run, &c));
  t.marknow();
  cwstyledef(t.run, &c);
  EXPECT_EQ(t.com(), "");
  EXPECT_EQ(t.w->curchar, nullptr);
}

TEST(Styles, TwoStopsAtOnePositionLeaveOne) {
  cwtestrun t;
  cwpfmt tabs{};
  tabs.tabset = 1;
  tabs.ntabs = 3;
  tabs.tabs[0] = {720, 1, nullptr, CW_ENCBYTE};
  tabs.tabs[1] = {360, 0, nullptr, CW_ENCBYTE};
  tabs.tabs[2] = {720, 2, nullptr, CW_ENCBYTE};
  cwstyledesc d = named("T", 0);
  d.para = &tabs;
  cwstyledef(t.run, &d);
  const cwtabtab& got = cwstylekey(t.run, 0)->para->tabs;
  ASSERT_EQ(got.count, 2);
  EXPECT_EQ(got.stops[0].pos, 360);
  EXPECT_EQ(got.stops[1].pos, 720);
  EXPECT_EQ(got.stops[1].kind, 1);
}

TEST(Styles, ThePrologueDefinesEveryStyleAndLeavesTheFormatAlone) {
  cwpfmt margins{};
  margins.marset = 1;
  margins.lmar = margins.rmar = 1440;
  cwtestrun t;
  cwstyledesc d = named("P", 0);
  d.para = &margins;
  cwstyledef(t.run, &d);
  cwflush(t.run, 1);
  std::string def = recs(21299, {"P", "0"});
  def.pop_back();
  def += rec(17203, {0}) + std::string("\x1F") + rec(13938, {10, 70, 10, 75, 1440, 10800}) + rec(16563) +
         rec(13938, {0, 0, 10, 75, 1440, 10800}) + "\x1E";
  EXPECT_NE(t.com().find(def), std::string::npos) << t.show();
  EXPECT_TRUE(comwellformed(t.com()));
}

TEST(Styles, InlineDefinitions) {
  cwtestrun t;
  cwstyledesc d = named("W", 0);
  d.selffmt = 1;
  cwstyledef(t.run, &d);
  cwstyledefbeg(t.run, 0);
  EXPECT_EQ(t.w->inlinestyles, 1);
  t.marknow();
  cwattr(t.run, CW_BOLD, 1, 0);
  cwstyledefsep(t.run);
  cwstyledefend(t.run);
  EXPECT_EQ(t.show(), comshow(rec(20546, {0}) + rec(16563) + "\x1E"));
  // No definitions were written in the prologue.
  EXPECT_EQ(t.t.com().find(comrec(21299, {}).substr(0, 5)), t.t.com().rfind(comrec(21299, {}).substr(0, 5)));
}

}  // namespace
