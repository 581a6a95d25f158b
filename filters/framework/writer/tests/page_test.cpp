// The page state: what the first flush writes, and the record each setter
// leads to when its value differs from the copy written last.
#include <gtest/gtest.h>

#include "filters/framework/writer/tests/cwtest.h"

namespace {

TEST(PageState, TheFirstFlushOpensTheDocument) {
  cwtestrun t;
  cwsetpage(t.run, 15840, 12240);
  cwflush(t.run, 1);
  // The prologue, the page records, then the paragraph records of the
  // run's start: the list levels, line spacing and margins.
  EXPECT_EQ(t.show(),
            comshow(recs(4388, {"1", "0", "00000000", "0"}) + recs(20614, {"1", "3", "00", "0", "Courier", "00"}) +
                    rec(18928, {0}) + rec(12499, {0, 0, 66, 54, 15840, 12960}) + rec(23792, {85, 12240}) +
                    rec(424, {1, 240}) + rec(17043, {0, 6, 1440}) + rec(422, {1, 240}) + rec(16467, {6, 1440}) +
                    rec(14867, {0, 0, 0, 1, 0}) + rec(14003, {0, 2}) + levelsrec({}) + rec(17010, {0, 2, 240, 0}) +
                    rec(13938, {10, 75, 10, 75, 1440, 10800}) +
                    recs(6675, {"0", "0", "12", "0", "200", "Courier", "0", "1"})));
  EXPECT_EQ(t.w->prolwritten, 1);
  EXPECT_EQ(t.w->pending, 0u);
  // Nothing changed: the next flush writes nothing.
  t.marknow();
  cwsetpage(t.run, 15840, 12240);
  cwflush(t.run, 1);
  EXPECT_EQ(t.com(), "");
}

TEST(PageState, RecordsForChangedValues) {
  auto shade = [](cvrun* r, int pct, int red, int blue) {
    cvshade s{};
    s.v.pct = pct;
    s.v.c1[0] = red;
    s.v.c2[2] = blue;
    cwpageshade(r, &s);
  };
  const cwcallrow<cwruncalls> rows[] = {
      {"orientation 2", [](cvrun* r) { cwsetorient(r, 2); }, rec(18928, {1})},
      {"top margin", [](cvrun* r) { cwsettmar(r, 1800); },
       rec(12499, {0, 0, 66, 52, 15840, 12600}) + rec(17043, {0, 7, 1800})},
      {"bottom margin", [](cvrun* r) { cwsetbmar(r, 720); },
       rec(12499, {0, 0, 66, 57, 15840, 13680}) + rec(16467, {3, 720})},
      {"page size", [](cvrun* r) { cwsetpage(r, 16838, 11906); },
       rec(12499, {0, 0, 70, 58, 16838, 13958}) + rec(23792, {82, 11906})},
      {"header and footer", [](cvrun* r) { cwsethdrgap(r, 480); cwsethdrpos(r, 720); cwsetftrgap(r, 360); cwsetftrpos(r, 600); },
       rec(424, {2, 480}) + rec(13960, {3, 720}) + rec(422, {1, 360}) + rec(13382, {2, 600})},
      {"values A, B and V", [](cvrun* r) { cwsetpagelr(r, 3, 1440); cwsetpagelr(r, 2, 288); cwsetpageval(r, 7); },
       rec(15891, {10, 1440}) + rec(5619, {2, 288}) + rec(2259, {0, 7})},
      {"numbering, its format and the mode", [](cvrun* r) { cwsetpgnum(r, 0x0102); cwsetpgfmt(r, 3); cwsetpgmode(r, 1); },
       rec(20944, {0, 3}) + rec(7683, {1}) + rec(14867, {0, 0, 256, 2, 3})},
      {"borders with colour codes", [](cvrun* r) { cwpagebord(r, 0, 1); cwpagebord(r, 3, 2); cwpagebrgb(r, 0, 300, 0, -9); cwpagebord(r, 7, 5); },
       recs(3152, {"1002", "1", "0C", "00", "00", "00"})},
      {"shading percentage 0 writes nothing", [shade](cvrun* r) { shade(r, 0, 255, 255); }, ""},
      {"shading", [shade](cvrun* r) { shade(r, 20, 255, 128); },
       recs(4371, {"5", "20", "FF", "00", "00", "0", "00", "00", "80"})},
      {"preset 1 puts the page back", [](cvrun* r) { cwsettmar(r, 100); cwsetorient(r, 2); cwpagepreset(r, 1); }, ""},
      {"preset 2", [](cvrun* r) { cwsetorient(r, 2); cwpagepreset(r, 2); }, ""},
  };
  auto flush = [](cwtestrun& t) { cwflush(t.run, 1); };
  for (const auto& row : rows) EXPECT_EQ(cwwrites(row.run, flush), comshow(row.want)) << row.what;
}

TEST(PageState, SettersMarkThePageOnlyWhenAValueChanges) {
  cwtestrun t;
  t.settle();
  cwsettmar(t.run, 1440);
  cwsetorient(t.run, 1);
  cwsetpgnum(t.run, 1);
  EXPECT_EQ(t.w->pending, 0u);
  cwsettmar(t.run, 1800);
  EXPECT_EQ(t.w->pending, CW_PPAGE);
  cwflush(t.run, 1);
  cwsettmar(t.run, 1800);
  EXPECT_EQ(t.w->pending, 0u);
  // These always mark it.
  cwsetpage(t.run, 15840, 12240);
  EXPECT_EQ(t.w->pending, CW_PPAGE);
}

TEST(PageState, TheUnderlineStyleFollowsThePageRecords) {
  cwtestrun t;
  t.settle();
  t.w->chr.ulstyle = 3;
  cwsetorient(t.run, 2);
  cwpagecheck(t.run);
  EXPECT_EQ(t.show(), comshow(rec(18928, {1}) + rec(14003, {0, 3})));
  EXPECT_EQ(t.w->chrw.ulstyle, 3);
}

}  // namespace
