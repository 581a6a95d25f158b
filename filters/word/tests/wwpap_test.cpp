// Paragraph property records: the defaults and the decoders of stored
// borders, shadings and number descriptors, in both byte orders.
#include <gtest/gtest.h>

#include <string>

#include "filters/word/tests/wwtest.h"

namespace {

const unsigned char* u(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

TEST(WordPap, Defaults) {
  wwtestrun r(std::string(1024, '\0'), 6);
  wwpap p;
  std::memset(&p, 0x5A, sizeof p);
  wwpapinit(&r.w, &p);
  EXPECT_EQ(p.dyaLine, 240);
  EXPECT_EQ(p.dyaLineset, 0);
  EXPECT_EQ(p.fWidowControl, 1);
  EXPECT_EQ(p.fWidowControlset, 1);
  EXPECT_EQ(p.anld.iStartAt, 1);
  EXPECT_EQ(p.anldset, 0);
  EXPECT_EQ(p.istdset | p.jcset | p.itbdMacset | p.tap.itcMacset | p.fTapChanged | p.rgdxaTabset, 0);
}

TEST(WordPap, Borders) {
  struct Case {
    int ver;
    std::string bytes;
    bool old;
    wwbrc want;
  } cases[] = {
      {6, "\xFF\xFF", false, {0, 0, 0, 0}},
      {6, std::string("\xFF\x00", 2), false, {7, 3, 3, 0}},
      {6, std::string("\x00\xFF", 2), false, {0, 0, 28, 31}},
      // width 2, double, colour 6, space 4: 2 | 3<<3 | 6<<6 | 4<<11
      {6, std::string("\x9A\x21", 2), false, {2, 3, 6, 4}},
      {4, std::string("\x21\x9A", 2), false, {2, 3, 6, 4}},  // big-endian
      // old form: first line 1 alone is single, with a second line double
      {2, std::string("\x40\x00", 2), true, {2, 1, 0, 0}},
      {2, std::string("\x41\x00", 2), true, {2, 3, 0, 0}},
      {2, std::string("\x48\x00", 2), true, {2, 3, 0, 0}},
      {2, std::string("\x80\x00", 2), true, {2, 2, 0, 0}},
      {2, std::string("\xC0\x00", 2), true, {0, 0, 0, 0}},
      {2, std::string("\x00\x01", 2), true, {4, 2, 0, 0}},
      {2, std::string("\x40\x01", 2), true, {0, 0, 0, 0}},
      {2, std::string("\x80\x01", 2), true, {6, 0, 0, 0}},
      {2, std::string("\xC0\x0B", 2), true, {1, 1, 0, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ver * 1000 + (static_cast<unsigned char>(c.bytes[0]) << 8 | static_cast<unsigned char>(c.bytes[1])));
    wwtestrun r(std::string(1024, '\0'), c.ver);
    wwbrc b{9, 9, 9, 9};
    if (c.old)
      wwbrcoldread(&r.w, &b, u(c.bytes));
    else
      wwbrcread(&r.w, &b, u(c.bytes));
    EXPECT_EQ(b.dxpLineWidth, c.want.dxpLineWidth);
    EXPECT_EQ(b.brcType, c.want.brcType);
    EXPECT_EQ(b.ico, c.want.ico);
    EXPECT_EQ(b.dxpSpace, c.want.dxpSpace);
  }
  wwbrc b{1, 2, 3, 4};
  wwbrcset(&b, -1, 5, -1, 0);
  EXPECT_EQ(b.dxpLineWidth, 5);
  EXPECT_EQ(b.brcType, 2);
  EXPECT_EQ(b.ico, 3);
  EXPECT_EQ(b.dxpSpace, 0);
}

TEST(WordPap, Shadings) {
  struct Case {
    int ver;
    unsigned value;
    wwshd want;
  } cases[] = {
      {5, 0, {0, 0, 0}},      {5, 249, {0, 0, 0}},    {5, 250, {35, 0, 0}}, {5, 10000, {1, 0, 0}},
      {5, 65535, {1, 0, 0}},  {5, 2000, {4, 0, 0}},   {6, 11 << 10 | 2 << 5 | 4, {11, 2, 4}},
      {5, 11 << 10 | 2 << 5 | 4, {1, 0, 0}},         {4, 11 << 10 | 2 << 5 | 4, {11, 2, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ver * 100000 + static_cast<int>(c.value));
    wwtestrun r(std::string(1024, '\0'), c.ver);
    unsigned char b[2];
    wwputw(&r.w, b, c.value);
    wwshd s{9, 9, 9};
    wwshdread(&r.w, &s, b);
    EXPECT_EQ(s.ipat, c.want.ipat);
    EXPECT_EQ(s.icoBack, c.want.icoBack);
    EXPECT_EQ(s.icoFore, c.want.icoFore);
  }
}

TEST(WordPap, NumberDescriptor) {
  for (int ver : {6, 4}) {
    wwtestrun r(std::string(1024, '\0'), ver);
    unsigned char b[52] = {};
    b[0] = 4, b[1] = 2, b[2] = 1, b[3] = 0xFE, b[4] = 0xFB, b[5] = 0x2B;
    wwputsw(&r.w, b + 6, -3);
    wwputsw(&r.w, b + 8, 24);
    wwputw(&r.w, b + 10, 40000);
    wwputsw(&r.w, b + 12, -360);
    wwputw(&r.w, b + 14, 50000);
    b[16] = 0x77;
    b[20] = '(', b[21] = '[', b[22] = ')';
    wwanld a;
    std::memset(&a, 0x5A, sizeof a);
    wwanldread(&r.w, &a, b);
    EXPECT_EQ(a.nfc, 4);
    EXPECT_EQ(a.cxchTextBefore, 2);
    EXPECT_EQ(a.cxchTextAfter, 1);
    EXPECT_EQ(a.jc, 2);
    EXPECT_EQ(a.fPrev + a.fHang + a.fSetBold + a.fSetItalic + a.fSetSmallCaps + a.fSetCaps, 6);
    EXPECT_EQ(a.fSetStrike + a.fSetKul, 2);
    EXPECT_EQ(a.fBold + a.fItalic + a.fSmallCaps + a.fCaps + a.fStrike, 5);
    EXPECT_EQ(a.kul, 3);
    EXPECT_EQ(a.ico, 5);
    EXPECT_EQ(a.ftc, -3);
    EXPECT_EQ(a.hps, 24);
    EXPECT_EQ(a.iStartAt, 40000);
    EXPECT_EQ(a.dxaIndent, -360);
    EXPECT_EQ(a.dxaSpace, 50000);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(a.rgch), 2), "([");
    EXPECT_EQ(a.rgch[2], ')');
  }
}

}  // namespace
