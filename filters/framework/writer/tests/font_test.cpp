// The font table: declaring and numbering fonts, the default font, font and
// size selection with the font-change record, the code page of the text,
// and the case-insensitive search.
#include <gtest/gtest.h>

#include "filters/framework/writer/tests/cwtest.h"

namespace {

cvfontdesc font(const char* name, int enc = CW_ENCBYTE, int dflt = 0, int dfltsize = 240, int family = -1,
                int pitch = -1) {
  return {1, name, 0, family, pitch, enc, nullptr, dflt, dfltsize};
}

int def(cwtestrun& t, const cvfontdesc& d) { return cwfontdef(t.run, &d); }

TEST(Fonts, DeclaringNumbersByNameAndEncoding) {
  cwtestrun t;
  std::string arial16 = wide("Arial");
  EXPECT_EQ(def(t, font("Arial")), 0);
  EXPECT_EQ(def(t, font("Arial")), 0);
  EXPECT_EQ(def(t, font(arial16.data(), CW_ENC16)), 1);
  EXPECT_EQ(def(t, font("Times")), 2);
  EXPECT_EQ(def(t, font("Symbol")), 3);
  EXPECT_EQ(def(t, font("")), -1);
  EXPECT_EQ(cwfontbyid(t.run, arial16.data(), CW_ENC16), 1);
  EXPECT_EQ(cwfontbyid(t.run, "arial", CW_ENCBYTE), -1);
  EXPECT_EQ(cwfontfind(t.run, "Arial", 8), nullptr);
  EXPECT_EQ(cwfontnum(t.run, 3)->num, 3);
  EXPECT_EQ(cwfontnum(t.run, 4), nullptr);
  // The font table opens the document: the count, then each font.
  t.settle();
  std::string com = t.t.com();
  std::string table = recs(20614, {"4", "3", "00", "0", "Arial", "00", "1", "Arial", "00", "2", "Times", "00",
                                   "3", "Symbol", "00"});
  EXPECT_NE(com.find(table), std::string::npos) << comshow(com);
}

TEST(Fonts, TheDefaultFont) {
  cwtestrun t;
  EXPECT_EQ(cwfontdfl(t.run), nullptr);
  def(t, font("A", CW_ENCBYTE, 0, 200));
  def(t, font("B", CW_ENCBYTE, 0, 200));
  cwfont* d = cwfontdfl(t.run);
  EXPECT_EQ(d->num, 0);
  EXPECT_EQ(d->dflt, 1);
  EXPECT_EQ(d->dfltsize, 240);
  cwtestrun u;
  cvfontdesc a = font("A"), b = font("B", CW_ENCBYTE, 1, 280);
  cwfontdef(u.run, &a);
  cwfontdef(u.run, &b);
  EXPECT_EQ(cwfontdfl(u.run)->num, 1);
  // A size given with no font selected selects the default font.
  cwfontsize(u.run, 300);
  EXPECT_EQ(u.w->font->num, 1);
  EXPECT_EQ(u.w->size, 300);
}

TEST(Fonts, SelectionAndTheFontRecord) {
  cwtestrun t;
  def(t, font("Arial", CW_ENCBYTE, 1, 200, 2, 1));
  def(t, font("Odd", CW_ENCBYTE, 0, 0));
  def(t, font(wide("Wide").data(), CW_ENC16, 0, 240));
  t.settle();
  // Undeclared names and numbers change nothing.
  EXPECT_EQ(cwfontname(t.run, "Nope", CW_ENCBYTE), 0);
  EXPECT_EQ(cwfontsel(t.run, 9), 0);
  EXPECT_EQ(cwfontsize2(t.run, 9, 240), 0);
  EXPECT_EQ(t.w->pending, 0u);
  // The same font and size again between texts: one record.
  EXPECT_EQ(cwfontname(t.run, "Arial", CW_ENCBYTE), 1);
  cwfontsize(t.run, 240);
  t.text("a");
  cwfontsel(t.run, 0);
  cwfontsize(t.run, 240);
  t.text("b");
  // Size 0: the font's default size.
  cwfontsize(t.run, 0);
  t.text("c");
  // A font without a default size: 12 points, not a division by zero.
  cwfontsize2(t.run, 1, 0);
  t.text("d");
  cwfontsel(t.run, 2);
  cwfontsize(t.run, 240);
  t.text("e");
  EXPECT_EQ(t.show(), comshow(recs(6675, {"0", "0", "10", "0", "240", "Arial", "1", "2"}) + "a" + "b" +
                              recs(6675, {"0", "0", "12", "0", "200", "Arial", "1", "2"}) + "c" +
                              recs(6675, {"0", "0", "10", "1", "240", "Odd"}) + "d" +
                              recs(6675, {"0", "0", "10", "2", "240", "Wide"}) + "e"));
}

TEST(Fonts, DefaultSelectionWithoutADefaultSize) {
  cwtestrun t;
  def(t, font("Odd", CW_ENCBYTE, 1, 0));
  cwfontdflsel(t.run);
  EXPECT_EQ(t.w->size, 240);
  cwtestrun u;
  cwfontsize(u.run, 180);  // nothing declared: only the size
  EXPECT_EQ(u.w->font, nullptr);
  EXPECT_EQ(u.w->size, 180);
}

TEST(Fonts, CodePageOfTheText) {
  cwtestrun t;
  cwcodepage(t.run, 437);  // the current one: nothing loaded
  EXPECT_EQ(t.w->cpslot[1]->cp, 819);
  cwcodepage(t.run, 850);
  EXPECT_EQ(t.run->codepage, 850);
  EXPECT_EQ(cwgetcodepage(t.run), 850);
  EXPECT_EQ(t.w->cpslot[1]->cp, 850);
}

TEST(Fonts, CaseInsensitiveSearch) {
  const char* s = "aRiAl Black";
  EXPECT_EQ(cvstristr(s, "ARIAL"), s);
  EXPECT_EQ(cvstristr(s, "black"), s + 6);
  EXPECT_EQ(cvstristr(s, "blacker"), nullptr);
  EXPECT_EQ(cvstristr(s, ""), s);
  EXPECT_EQ(cvstristr("", "a"), nullptr);
  EXPECT_EQ(cvstristr("", ""), nullptr);
  EXPECT_EQ(cvstriprefix("Helvetica", "HELV"), 1);
  EXPECT_EQ(cvstriprefix("He", "HELV"), 0);
}

}  // namespace
