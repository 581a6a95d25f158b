// Indents: the tab stops the setters add, the indent record with the moves
// to where the indented text starts, the advance to the next stop and the
// back-tab.
#include <gtest/gtest.h>

#include <vector>

#include "filters/framework/writer/tests/cwtest.h"

namespace {

// The positions of the pending tab table.
std::vector<int> stops(const cwtestrun& t) {
  std::vector<int> out;
  for (int i = 0; i < t.w->para.tabs.count; i++) out.push_back(t.w->para.tabs.stops[i].pos);
  return out;
}

// A settled run at the start of a paragraph, its tab table empty in a mode.
void emptytabs(cwtestrun& t, int mode) {
  t.settle();
  cwtstopclear(t.run);
  cwtstopkind(t.run, mode);
}

TEST(Indents, TheWorkedExample) {
  // The run's tab table (stops every 720 twips), margins of an inch, the
  // indents reset by a hard line end.
  cwtestrun t;
  t.settle();
  cwnewline(t.run, 1);
  cwindents(t.run, -360, 720, 0);
  t.text("x");
  std::string want = rec(19977, {5, -2, 2160, 1080, 1440, 720, -360, 0}) + rec(13971, {10, 15, 1440, 2160}) +
                     rec(18860, {5, 720, 1440}) + rec(18860, {2, 360, 1080}) + "x";
  std::string com = t.com();
  ASSERT_GE(com.size(), want.size());
  EXPECT_EQ(comshow(com.substr(com.size() - want.size())), comshow(want));
  EXPECT_EQ(t.w->para.linepos, 1080);
}

TEST(Indents, StopsWhereTheIndentedTextStarts) {
  const struct {
    const char* what;
    int mode;
    int first, left, right;
    std::vector<int> want;
  } rows[] = {
      {"absolute: from the page edge", 1, -360, 720, 0, {1080, 2160}},
      {"relative: from the margin", 0, -360, 720, 0, {-360, 720}},
      {"no indents, no stops", 1, 0, 0, 0, {}},
      {"a negative left indent changes nothing", 1, 360, -1, 0, {}},
      {"the right indent gets no stop", 0, 0, 0, 500, {}},
      {"a first line left of the page edge stops at it", 0, -2000, 0, 0, {-1440}},
  };
  for (const auto& r : rows) {
    cwtestrun t;
    emptytabs(t, r.mode);
    cwindents(t.run, r.first, r.left, r.right);
    EXPECT_EQ(stops(t), r.want) << r.what;
  }
  // A stop already there is kept as it is.
  cwtestrun t;
  emptytabs(t, 1);
  cwtstopadd(t.run, 2160, 2, nullptr, CW_ENCBYTE);
  cwindents(t.run, 0, 720, 0);
  EXPECT_EQ(t.w->para.tabs.stops[0].kind, 2);
}

TEST(Indents, SingleSettersAndTheirStops) {
  cwtestrun t;
  emptytabs(t, 1);
  cwindleft(t.run, 0);
  cwindright(t.run, -5);
  EXPECT_EQ(stops(t), std::vector<int>{});
  EXPECT_EQ(t.w->para.indleft, 0);
  cwind1st(t.run, -1440);  // the stop at the page edge, position 0, still comes
  cwindleft(t.run, 360);
  cwindright(t.run, 500);
  EXPECT_EQ(stops(t), (std::vector<int>{0, 500, 1800}));
  EXPECT_EQ(t.w->para.ind1st, -1440);
  EXPECT_EQ(t.w->para.indright, 500);
}

TEST(Indents, AllZeroWritesNoIndentRecord) {
  cwtestrun t;
  t.settle();
  cwindents(t.run, 0, 0, 0);
  t.text("x");
  EXPECT_EQ(t.show(), "x");
}

TEST(Indents, AdvancingToTheNextStop) {
  cwtestrun t;
  emptytabs(t, 1);
  cwtstopadd(t.run, 2160, 0, nullptr, CW_ENCBYTE);
  cwtstopadd(t.run, 2880, 0, nullptr, CW_ENCBYTE);
  cwtstopadd(t.run, 3600, 0, nullptr, CW_ENCBYTE);
  t.w->para.linepos = 1500;
  EXPECT_EQ(cwindleftadd(t.run, 0), 0);
  EXPECT_EQ(t.w->para.indleft, 660);
  EXPECT_EQ(cwind1stadd(t.run, 100), 0);
  EXPECT_EQ(t.w->para.ind1st, 100);
  // On the last stop there is no next one.
  t.w->para.linepos = 3600;
  EXPECT_EQ(cwindrightadd(t.run, 0), -1);
  EXPECT_EQ(t.w->para.indright, 0);
}

TEST(Indents, BackTabs) {
  cwtestrun t;
  emptytabs(t, 1);
  cwtstopadd(t.run, 2160, 0, nullptr, CW_ENCBYTE);
  t.marknow();
  // Before every stop: the whole line position back to 0.
  t.w->para.linepos = 1500;
  cwbacktab(t.run, 0);
  EXPECT_EQ(t.w->para.linepos, 0);
  EXPECT_EQ(t.w->para.taborg, 0);
  // Back to the previous stop, which becomes the tab origin.
  t.w->para.linepos = 2500;
  cwbacktab(t.run, 0);
  EXPECT_EQ(t.w->para.linepos, 2160);
  EXPECT_EQ(t.w->para.taborg, 2160);
  // A given amount.
  cwbacktab(t.run, 288);
  EXPECT_EQ(t.w->para.linepos, 1872);
  EXPECT_EQ(t.w->para.taborg, 0);
  EXPECT_EQ(t.show(), comshow(rec(18860, {10, 1500}) + rec(18860, {2, 340}) + rec(18860, {2, 288})));
}

}  // namespace
