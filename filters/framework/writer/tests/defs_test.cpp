// Document defaults: the built-in values, a reader's record kept as a copy
// and applied to the pending formats, and the query of the current font.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "filters/framework/writer/tests/cwtest.h"

namespace {

// A defaults record like a reader's: letter page, inch margins.
cwdefrec letter() {
  cwdefrec d{};
  d.nowidth = 1;
  d.codepage = 437;
  d.tmar = d.bmar = 1440;
  d.hdrgap = d.ftrgap = 360;
  d.hdrpos = d.ftrpos = 1080;
  d.length = 15840;
  d.width = 12240;
  d.orient = 1;
  d.lmar = d.rmar = 1440;
  d.linespc = 240;
  d.pct1 = 4;
  d.pct2 = 10;
  d.widow = 2;
  d.size = 240;
  d.lang = 1033;
  return d;
}

TEST(DocumentDefaults, BuiltInUntilAReaderGivesItsOwn) {
  cwtestrun t;
  t.settle();
  cwparareset(t.run);
  EXPECT_EQ(cwparaget(t.run, 0), 1440);
  EXPECT_EQ(cwparaget(t.run, 1), 1440);
  EXPECT_EQ(cwparaget(t.run, 3), 240);
  EXPECT_EQ(cwparaget(t.run, 14), 2);
  const cwtabtab& tabs = t.w->para.tabs;
  ASSERT_EQ(tabs.count, 20);
  for (int i = 0; i < tabs.count; i++) EXPECT_EQ(tabs.stops[i].pos, i * 720);
}

TEST(DocumentDefaults, ARecordIsKeptAndApplied) {
  cwtestrun t;
  t.settle();
  std::string leader = "-", before = "(", after = ")";
  cwdeflvl lvl = {3, 0, 2, 1, before.c_str(), after.c_str(), CW_ENCBYTE, nullptr, 0, nullptr, 0, 0, 0, 0};
  cwdefrec d = letter();
  d.nowidth = 0;
  d.codepage = 850;
  d.lmar = 720;
  d.align = 1;
  d.lang = 1031;
  d.ntabs = 2;
  d.tabmode = 0;
  d.tabs[0] = {360, 1, leader.c_str(), CW_ENCBYTE};
  d.tabs[1] = {1080, 2, nullptr, CW_ENCBYTE};
  d.lvl[1] = &lvl;
  cwdocdefs(t.run, &d);
  // The reader's strings may go: the run holds copies.
  leader[0] = before[0] = after[0] = 'x';
  EXPECT_EQ(t.w->nowidth, 0);
  EXPECT_EQ(t.w->para.linepos, 720);
  EXPECT_EQ(cwgetcodepage(t.run), 850);
  EXPECT_EQ(t.w->deflang, 1031);
  EXPECT_EQ(cwparaget(t.run, 2), 1);
  EXPECT_EQ(t.w->pending & (CW_PCHAR | CW_PPARA), CW_PCHAR | CW_PPARA);
  const cwparafmt& p = t.w->para;
  EXPECT_EQ(p.lmar, 720);
  ASSERT_EQ(p.tabs.count, 2);
  EXPECT_STREQ(p.tabs.stops[0].leader, "-");
  ASSERT_NE(p.lvl[1], nullptr);
  EXPECT_EQ(p.lvl[0], nullptr);
  EXPECT_STREQ(p.lvl[1]->before, "(");
  EXPECT_STREQ(p.lvl[1]->after, ")");
  EXPECT_EQ(p.lvl[1]->counter, 2);
  // The next paragraph's records with its first text: the written copy was
  // cleared.
  cwnewline(t.run, 1);
  t.marknow();
  t.text("x");
  std::string com = t.com();
  for (int code : {1122, 13938, 12978})
    EXPECT_NE(com.find(comrec(code).substr(0, 5)), std::string::npos) << code << " " << t.show();
  EXPECT_NE(t.t.com().find(rec(7571, {1031})), std::string::npos);
}

TEST(DocumentDefaults, ResetMakesBothCopiesTheDefaults) {
  cwtestrun t;
  t.settle();
  cwdefrec d = letter();
  d.align = 2;
  cwdocdefs(t.run, &d);
  cwflush(t.run, 1);
  cwalign(t.run, 3);
  cwdefsreset(t.run);
  EXPECT_EQ(t.w->para.align, 2);
  EXPECT_EQ(t.w->paraw.align, 2);
  EXPECT_EQ(t.w->pagew.hdrgap, 360);
  EXPECT_EQ(t.w->paraw.tabs.count, 0);
}

TEST(DocumentDefaults, TheCurrentFontQuery) {
  cwtestrun t;
  EXPECT_EQ(cwfontget(t.run, 0), nullptr);
  cvfontdesc arial = {1, "Arial", 7, 2, 1, CW_ENCBYTE, nullptr, 0, 240};
  cwfontsize2(t.run, cwfontdef(t.run, &arial), 280);
  const struct {
    int kind, want;
  } rows[] = {{0, 280}, {2, 0}, {3, 7}, {4, 2}, {5, 1}, {6, CW_ENCBYTE}};
  for (const auto& r : rows) {
    auto* v = static_cast<int32_t*>(cwfontget(t.run, r.kind));
    ASSERT_NE(v, nullptr) << r.kind;
    EXPECT_EQ(*v, r.want) << r.kind;
  }
  EXPECT_STREQ(static_cast<char*>(cwfontget(t.run, 1)), "Arial");
  EXPECT_EQ(cwfontget(t.run, 7), nullptr);
  EXPECT_EQ(cwfontget(t.run, 8), nullptr);
}

}  // namespace
