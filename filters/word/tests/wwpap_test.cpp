// Paragraph property records: the defaults and the decoders of stored
// borders, shadings and number descriptors, in both byte orders.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "converters/word/tests/word6gen.h"
#include "converters/word/tests/wordgen.h"
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

namespace {

// A record of the level's byte order: length, style word, sprms.
std::string papx(wwstate* w, unsigned style, const std::string& sprms) {
  unsigned char h[4];
  wwputw(w, h, static_cast<unsigned>(sprms.size() + 2));
  wwputw(w, h + 2, style);
  return std::string(reinterpret_cast<char*>(h), 4) + sprms;
}

// One sprm applied to a PAP; its length.
int apply1(wwstate* w, const std::string& sprm, wwpap* p) {
  std::string b = sprm + std::string(2048, '\0');
  return wwsprmpap(w, u(b), p);
}

TEST(WordPapSprm, Records) {
  wwtestrun r(std::string(1024, '\0'), 6);
  wwpap p;
  wwpapinit(&r.w, &p);
  p.istd = 7;
  std::string rec = papx(&r.w, 3, "");
  rec[0] = 1;  // L below 2: nothing, not even the style
  wwpapxapply(&r.w, u(rec), &p);
  EXPECT_EQ(p.istd, 7);
  wwpapxapply(&r.w, u(papx(&r.w, 0xFFFF, "\x05\x01")), &p);
  EXPECT_EQ(p.istd, 7);
  EXPECT_EQ(p.jc, 1);
  wwpapxapply(&r.w, u(papx(&r.w, 3, "")), &p);
  EXPECT_EQ(p.istd, 3);
  EXPECT_EQ(p.istdset, 0);
  wwpapxapply(&r.w, u(papx(&r.w, 3, std::string("\x05\x02\x00\x07\x01", 5))), &p);
  EXPECT_EQ(p.jc, 2);
  EXPECT_EQ(p.fKeepset, 0);
  // A code that is no paragraph sprm ends the list.
  wwpapxapply(&r.w, u(papx(&r.w, 3, std::string("\x3c\x01\x07\x01", 4))), &p);
  EXPECT_EQ(p.fKeepset, 0);
}

TEST(WordPapSprm, LengthsPerLevel) {
  struct Case {
    int ver;
    std::string sprm;
    int len;
  } cases[] = {
      {6, std::string("\x00", 1), 0},  {6, "\x34", 0},          {6, "\x02", 3},     {2, "\x02", 2},
      {6, "\x0c", 54},                 {2, "\x0c", 2},          {1, "\x0c", -1},    {6, "\x14", 5},
      {4, "\x14", 3},                  {6, "\x2e", 3},          {2, "\x2e", 2},     {2, "\x2c", -1},
      {4, "\x38", -1},                 {5, "\x38", 4},          {6, "\x38", 2},     {3, "\x17", -1},
      {3, "\x16", 3},                  {6, "\x3c", -1},         {6, "\x40", 3},     {6, "\xb6", 3},
      {2, "\x92", 3},                  {6, "\xbb", 13},         {6, "\xc1", 6},     {2, "\x9d", 6},
      {5, "\x9d", 6},                  {4, "\x9d", -1},         {4, "\x9a", -1},    {5, "\x9a\x04", 6},
      {6, "\xcf", 2},                  {2, "\x95", 2},          {1, "\x95", -1},    {3, "\x92", -1},
      {6, std::string("\x0f\x00", 2), 2},                       {6, "\x0f\x07", 9},
      {6, std::string("\x0f\xff\x01\x00\x00\x02", 6), 2 + 2 + 6 + 2},
      {6, std::string("\x17\xff\x01\x00\x00\x00\x00\x01", 8), 2 + 4 + 3 + 2},
      {6, std::string("\xbc\x1e\x00", 3), 32},
  };
  wwtestrun r(std::string(1024, '\0'), 6);
  for (const Case& c : cases) {
    r.w.ver = c.ver;
    r.w.big = c.ver >= 3 && c.ver <= 5;
    std::string b = c.sprm + std::string(16, '\0');
    EXPECT_EQ(wwsprmpapx(&r.w, u(b)), c.len) << c.ver << " " << static_cast<int>(static_cast<unsigned char>(c.sprm[0]));
  }
}

TEST(WordPapSprm, StylesAnchorsAndIndents) {
  struct Case {
    const char* what;
    int ver;
    int istd;
    std::string sprm;
    int wantistd, istdset;
  } cases[] = {
      {"l6 heading +3", 6, 8, "\x04\x03", 9, 1},
      {"l6 heading on 0", 6, 0, "\x04\x03", 0, 0},
      {"l2 heading +3", 2, 250, "\x04\x03", 247, 1},
      {"l2 permutation", 2, 2, "\x03\x03\x0a\x0b\x0c", 11, 1},
      {"l2 permutation outside", 2, 4, "\x03\x03\x0a\x0b\x0c", 4, 0},
      {"l6 permutation", 6, 11, std::string("\x03\x0a\x00\x00\x0a\x00\x0b\x00\x14\x00\x15\x00", 12), 21, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    wwtestrun r(std::string(1024, '\0'), c.ver);
    wwpap p;
    wwpapinit(&r.w, &p);
    p.istd = c.istd;
    apply1(&r.w, c.sprm, &p);
    EXPECT_EQ(p.istd, c.wantistd);
    EXPECT_EQ(p.istdset, c.istdset);
  }
  wwtestrun r(std::string(1024, '\0'), 6);
  wwpap p;
  wwpapinit(&r.w, &p);
  p.dxaLeft = 300;
  apply1(&r.w, std::string("\x12\x0c\xfe", 3), &p);  // -500
  EXPECT_EQ(p.dxaLeft, 0);
  EXPECT_EQ(p.dxaLeftset, 1);
  apply1(&r.w, "\x1d\xf0", &p);
  EXPECT_EQ(p.pcVertset + p.pcHorzset, 0);
  apply1(&r.w, "\x1d\x60", &p);
  EXPECT_EQ(p.pcVert, 2);
  EXPECT_EQ(p.pcHorz, 1);
  r.w.ver = 5;
  r.w.big = 1;
  apply1(&r.w, "\x1d\x06", &p);
  EXPECT_EQ(p.pcVert, 2);
  EXPECT_EQ(p.pcHorz, 1);
  apply1(&r.w, std::string("\x38\x00\x09\xc4", 4), &p);  // 2500 hundredths
  EXPECT_EQ(p.shd.ipat, 5);
  EXPECT_EQ(p.shdset, 1);
  r.w.ver = 6;
  r.w.big = 0;
  apply1(&r.w, std::string("\x2d\x10\x80", 3), &p);
  EXPECT_EQ(p.wHeightAbs, 16);
  EXPECT_EQ(p.fMinHeight, 1);
  apply1(&r.w, std::string("\x14\xf0\x00\x01\x00", 5), &p);
  EXPECT_EQ(p.dyaLine, 240);
  EXPECT_EQ(p.fMultLinespace, 1);
  EXPECT_EQ(p.dyaLineset, 1);
}

TEST(WordPapSprm, Borders) {
  wwtestrun r(std::string(1024, '\0'), 6);
  wwpap p;
  wwpapinit(&r.w, &p);
  apply1(&r.w, "\x0b\x01", &p);
  EXPECT_EQ(p.brcTop.dxpLineWidth, 2);
  EXPECT_EQ(p.brcTop.brcType, 1);
  EXPECT_EQ(p.brcTop.dxpSpace, 1);
  EXPECT_EQ(p.brcLeft.brcType + p.brcBottom.brcType + p.brcRight.brcType, 0);
  EXPECT_EQ(p.brcTopset + p.brcLeftset + p.brcBottomset + p.brcRightset, 4);
  // All four set, the left one of type 0: the other three become double.
  wwpapinit(&r.w, &p);
  apply1(&r.w, "\x0b\x0f", &p);
  p.brcLeft = {0, 0, 0, 0};
  apply1(&r.w, "\x0a\x02", &p);
  EXPECT_EQ(p.brcTop.brcType, 3);
  EXPECT_EQ(p.brcBottom.brcType, 3);
  EXPECT_EQ(p.brcRight.brcType, 3);
  EXPECT_EQ(p.brcLeft.brcType, 0);
  apply1(&r.w, std::string("\x26\x9a\x21", 3), &p);
  EXPECT_EQ(p.brcTop.ico, 6);
  apply1(&r.w, std::string("\x1e\x41\x00", 3), &p);  // old form
  EXPECT_EQ(p.brcTop.brcType, 3);
}

std::vector<int> tabsof(const wwpap& p) { return std::vector<int>(p.rgdxaTab, p.rgdxaTab + p.itbdMac); }

TEST(WordPapSprm, Tabs) {
  wwtestrun r(std::string(1024, '\0'), 6);
  wwpap p;
  wwpapinit(&r.w, &p);
  apply1(&r.w, std::string("\x0f\x00", 2), &p);
  EXPECT_EQ(p.itbdMacset, 0);
  // Add 990, 1000, 1010, 1011 (descriptors: right aligned, dotted leader).
  apply1(&r.w, std::string("\x0f\x0e\x00\x04\xde\x03\xe8\x03\xf2\x03\xf3\x03\x0a\x0a\x0a\x0a", 16), &p);
  EXPECT_EQ(tabsof(p), (std::vector<int>{990, 1000, 1010, 1011}));
  EXPECT_EQ(p.rgtbd[0].jc, 2);
  EXPECT_EQ(p.rgtbd[0].tlc, 1);
  // The same position again comes second.
  apply1(&r.w, std::string("\x0f\x05\x00\x01\xe8\x03\x01", 7), &p);
  EXPECT_EQ(tabsof(p), (std::vector<int>{990, 1000, 1000, 1010, 1011}));
  EXPECT_EQ(p.rgtbd[2].jc, 1);
  // Deletion at 1000 within 10.
  apply1(&r.w, std::string("\x17\x06\x01\xe8\x03\x0a\x00\x00", 8), &p);
  EXPECT_EQ(tabsof(p), (std::vector<int>{1011}));
  EXPECT_EQ(p.rgdxaTab[1], 0);
  // Exact deletion; then 255 additions: only 50 slots.
  apply1(&r.w, std::string("\x0f\x04\x01\xf3\x03\x00", 6), &p);
  EXPECT_EQ(p.itbdMac, 0);
  std::string many = std::string("\x0f\xff\x00\xff", 4);
  for (int i = 0; i < 255; i++) many += std::string(1, static_cast<char>(i)) + '\0';
  many += std::string(255, '\0');
  EXPECT_EQ(apply1(&r.w, many, &p), 2 + 3 * 255 + 2);
  EXPECT_EQ(p.itbdMac, 50);
  EXPECT_EQ(p.rgdxaTab[49], 49);
}

TEST(WordPapSprm, TableRows) {
  wwtestrun r(std::string(1024, '\0'), 6);
  wwpap p;
  wwpapinit(&r.w, &p);
  // Table borders, then a row of 3 cells whose count reads two cell records.
  std::string brcs;
  for (int i = 0; i < 6; i++) brcs += std::string("\x01\x00", 2);
  apply1(&r.w, "\xbb" + brcs, &p);
  std::string row = std::string("\xbe\x1e\x00\x03", 4);
  for (int x : {0, 1000, 2000, 3000}) row += std::string(1, static_cast<char>(x & 255)) + static_cast<char>(x >> 8);
  row += std::string("\x01\x00", 2) + std::string(6, '\0') + std::string("\x02\x00", 2);  // cell 0: right width 2
  row += std::string("\x02\x00", 2) + std::string(8, '\0');                                // cell 1: merged, none
  apply1(&r.w, row, &p);
  EXPECT_EQ(p.fTapChanged, 1);
  EXPECT_EQ(p.tap.itcMac, 3);
  EXPECT_EQ(p.tap.rgtc[0].fFirstMerged, 1);
  EXPECT_EQ(p.tap.rgtc[1].fMerged, 1);
  EXPECT_EQ(p.tap.rgtc[1].brcLeft.dxpLineWidth, 2);  // copied from its neighbour
  EXPECT_EQ(p.tap.rgtc[2].brcTop.dxpLineWidth, 1);   // the table's border
  // Left edge 500 with gap 100.
  apply1(&r.w, std::string("\xb8\x64\x00", 3), &p);
  EXPECT_EQ(p.tap.rgdxaCenter[0], -100);
  apply1(&r.w, std::string("\xb7\xf4\x01", 3), &p);
  EXPECT_EQ(std::vector<int>(p.tap.rgdxaCenter, p.tap.rgdxaCenter + 4), (std::vector<int>{400, 1500, 2500, 3500}));
  // Insert 2 cells of width 500 at index 5 of a 3-cell row: appended.
  apply1(&r.w, std::string("\xc2\x05\x02\xf4\x01", 5), &p);
  EXPECT_EQ(p.tap.itcMac, 5);
  EXPECT_EQ(p.tap.rgdxaCenter[5], 4500);
  // Delete cells 1-2, widths, merge and split, shading of a range.
  apply1(&r.w, std::string("\xc3\x01\x03", 3), &p);
  EXPECT_EQ(p.tap.itcMac, 3);
  EXPECT_EQ(p.tap.rgdxaCenter[1], 3500);
  apply1(&r.w, std::string("\xc4\x00\x01\x64\x00", 5), &p);
  EXPECT_EQ(p.tap.rgdxaCenter[1], 500);
  EXPECT_EQ(p.tap.rgdxaCenter[3], 1500);
  apply1(&r.w, std::string("\xc5\x00\x03", 3), &p);
  EXPECT_EQ(p.tap.rgtc[0].fFirstMerged + p.tap.rgtc[1].fMerged + p.tap.rgtc[2].fMerged, 3);
  apply1(&r.w, std::string("\xc6\x01\x02", 3), &p);
  EXPECT_EQ(p.tap.rgtc[1].fMerged, 0);
  apply1(&r.w, std::string("\xc8\x00\x02\x00\x04", 5), &p);
  EXPECT_EQ(p.tap.rgshd[1].ipat, 1);
  // Operands past the arrays are held within them.
  apply1(&r.w, std::string("\xbe\xff\xff\xff", 4), &p);
  EXPECT_EQ(p.tap.itcMac, 32);
  for (std::string s : {std::string("\xc2\x00\xff\x10\x00", 5), std::string("\xc3\x00\xff", 3), std::string("\xc3\xff\x00", 3),
                        std::string("\xc4\x00\xff\x10\x00", 5), std::string("\xc5\xff\xff", 3), std::string("\xc1\x00\xff\x0f\x01\x00", 6),
                        std::string("\xbf\xff", 2), std::string("\xc8\x00\xff\x00\x04", 5)})
    apply1(&r.w, s, &p);
  EXPECT_LE(p.tap.itcMac, 32);
  // Level 5: its own range shading, cells 1 and 2.
  r.w.ver = 5;
  r.w.big = 1;
  wwpapinit(&r.w, &p);
  apply1(&r.w, std::string("\x9d\x00\x01\x03\x27\x10", 6), &p);
  EXPECT_EQ(p.tap.rgshd[0].ipat, 0);
  EXPECT_EQ(p.tap.rgshd[1].ipat, 1);
  EXPECT_EQ(p.tap.rgshd[2].ipat, 1);
  EXPECT_EQ(p.tap.rgshd[3].ipat, 0);
}

}  // namespace

namespace {

// Paragraph runs of each level's pages: the properties at a position, the
// style index, the cache of one paragraph, the paragraph end.
struct loaded {
  wwtestrun r;
  loaded(const wgen::bytes& b, int ver) : r(std::string(b.begin(), b.end()), ver) {
    wwfibread(&r.w);
    wwpapbinread(&r.w);
  }
  ~loaded() { wwpapbinfree(&r.w); }
  wwpap at(int32_t cp) {
    wwpap p;
    wwpapget(&r.w, wwfcmin(&r.w) + cp, &p);
    return p;
  }
};

TEST(WordPapBins, EveryLevel) {
  for (wgen::kind k : {wgen::word2, wgen::word1, wgen::mac5, wgen::mac3}) {
    SCOPED_TRACE(static_cast<int>(k));
    char m = k == wgen::word1 || k == wgen::word2 ? '\n' : '\r';
    wgen::fullspec f;
    f.text = {k, {std::string("left") + m + "centred" + m + "plain" + m}};
    // Old levels: justification 5, keep 7 (byte operands at every level).
    wgen::bytes b = wgen::withparas(f, {{0, ""}, {5, "\x05\x01\x07\x01"}, {13, ""}}, {0, 3, 0});
    int ver = k == wgen::word2 ? 2 : k == wgen::word1 ? 1 : k == wgen::mac5 ? 4 : 3;
    loaded l(b, ver);
    wwpap a = l.at(1), c = l.at(6), d = l.at(14);
    EXPECT_EQ(a.jcset, 0);
    EXPECT_EQ(c.jc, 1);
    EXPECT_EQ(c.fKeep, 1);
    EXPECT_EQ(c.istd, 3);
    EXPECT_EQ(wwistdat(&l.r.w, wwfcmin(&l.r.w) + 6), 3);
    EXPECT_EQ(d.jcset, 0);
    // The same paragraph twice gives the same record.
    wwpap c2 = l.at(7);
    EXPECT_EQ(std::memcmp(&c, &c2, sizeof c), 0);
    EXPECT_EQ(wwparaend(&l.r.w, wwfcmin(&l.r.w) + 6), wwfcmin(&l.r.w) + 12);
  }
}

TEST(WordPapBins, Word6) {
  wgen::w6spec d;
  std::string p1 = "First para\r", p2 = "Second\r", p3 = "Third\r";
  d.text = {wgen::word6, {p1 + p2 + p3}, false, 6000};
  int32_t a = static_cast<int32_t>(p1.size()), b = a + static_cast<int32_t>(p2.size());
  d.paps = {{0, "\x05\x02"}, {a, std::string("\x11\x68\x01", 3)}, {b, ""}};
  d.runsperpage = 2;  // two pages
  loaded l(wgen::word6stream(d), 6);
  EXPECT_EQ(l.at(0).jc, 2);
  EXPECT_EQ(l.at(a + 1).dxaLeft, 360);
  EXPECT_EQ(l.at(a + 1).jcset, 0);
  EXPECT_EQ(l.at(b).dxaLeftset, 0);
  EXPECT_EQ(l.at(-1).jc, 2);  // before the text: the first run
  EXPECT_EQ(wwparaend(&l.r.w, wwfcmin(&l.r.w)), wwfcmin(&l.r.w) + a - 1);
}

// Stored records: empty ones, out-of-range styles at level 6, and a run
// stream with no run.
TEST(WordPapBins, StoredRecords) {
  wwtestrun r(std::string(1024, '\0'), 6);
  wwfibread(&r.w);
  wwpapstmnew(&r.w);
  wwpap p;
  wwpapinit(&r.w, &p);
  wwpapget(&r.w, 600, &p);  // no run at all: the defaults
  EXPECT_EQ(p.istdset + p.jcset, 0);
  unsigned char rec[8] = {4, 0, 0xFF, 0x0F, 5, 1};
  wwpaprunput(&r.w, 100, 200, rec);
  rec[2] = 0x00, rec[3] = 0x10;  // 4096: no such style
  wwpaprunput(&r.w, 200, 300, rec);
  wwpaprunput(&r.w, 300, 300, rec);
  unsigned char buf[512];
  int32_t first, limit;
  wwpaprun(&r.w, 150, &first, &limit, buf);
  EXPECT_EQ(first, 0);  // the first run starts at 0
  EXPECT_EQ(wwbufw(&r.w, buf + 2), 4095u);
  wwpaprun(&r.w, 250, &first, &limit, buf);
  EXPECT_EQ(wwbufw(&r.w, buf + 2), 0u);
  wwpaprun(&r.w, 99999, &first, &limit, buf);  // past the last: the last
  EXPECT_EQ(first, 300);
  wwpapbinfree(&r.w);

  // Levels 1-5: a record without sprms still names its style.
  wgen::fullspec f;
  f.text = {wgen::word2, {"one\ntwo\n"}};
  wgen::bytes b = wgen::withparas(f, {{0, ""}, {4, ""}}, {0, 9});
  loaded l(b, 2);
  EXPECT_EQ(l.at(5).istd, 9);
  EXPECT_EQ(l.at(5).jcset, 0);
}

}  // namespace
