// The normalized file header of every layout: sentinels placed at each
// layout's offsets come back through the accessors; flags, Far-East
// identifiers, the document properties and tables placed outside the stream.
#include <gtest/gtest.h>


#include "filters/word/tests/wwtest.h"

namespace {

constexpr size_t ksize = 0x1000;

std::string blank() { return std::string(ksize, '\0'); }

void put(std::string& s, size_t off, uint32_t v, int width, bool big) {
  for (int i = 0; i < width; i++) s[off + i] = static_cast<char>(v >> (8 * (big ? width - 1 - i : i)));
}

using acc = int32_t (*)(const wwstate*);

// A table pair: its accessors and its offsets in each layout, in the
// order level 6, levels 1-2, level 5, level 4, level 3 (0: none).
struct pairrow {
  acc fc, lcb;
  int off[5][2];
};
const pairrow kpairs[] = {
    {wwfcstsh, wwlcbstsh, {{96, 100}, {94, 98}, {70, 74}, {70, 74}, {36, 40}}},
    {wwfcftnref, wwlcbftnref, {{104, 108}, {100, 104}, {76, 80}, {76, 80}, {42, 46}}},
    {wwfcatntxt, wwlcbatntxt, {{128, 132}, {118, 122}, {0, 0}, {0, 0}, {0, 0}}},
    {wwfcsed, wwlcbsed, {{136, 140}, {124, 128}, {88, 92}, {88, 92}, {54, 58}}},
    {wwfchdd, wwlcbhdd, {{176, 180}, {154, 158}, {112, 116}, {112, 116}, {78, 82}}},
    {wwfcbtechp, wwlcbbtechp, {{184, 188}, {160, 164}, {118, 122}, {118, 122}, {84, 88}}},
    {wwfcbtepap, wwlcbbtepap, {{192, 196}, {166, 170}, {124, 128}, {124, 128}, {90, 94}}},
    {wwfcfonts, wwlcbfonts, {{208, 212}, {178, 182}, {194, 198}, {136, 140}, {102, 106}}},
    {wwfcbkmknames, wwlcbbkmknames, {{256, 260}, {214, 218}, {188, 192}, {0, 0}, {0, 0}}},
    {wwfcbkl, wwlcbbkl, {{272, 276}, {226, 230}, {206, 210}, {0, 0}, {0, 0}}},
    {wwfcassoc, wwlcbassoc, {{344, 348}, {280, 284}, {212, 216}, {0, 0}, {0, 0}}},
    {wwfcclx, wwlcbclx, {{352, 356}, {286, 290}, {172, 176}, {172, 176}, {114, 118}}},
    {wwfcdoamain, wwlcbdoamain, {{402, 406}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}},
    {wwfcsubd, wwlcbsubd, {{530, 534}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}},
    {wwfcsavedby, wwhassavedby, {{666, 670}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}},
    {wwfcsubdnames, wwlcbsubdnames, {{674, 678}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}},
};

struct scalarrow {
  acc get;
  int off[5];
};
const scalarrow kscalars[] = {
    {wwfcmin, {24, 24, 20, 20, 120}},     {wwfcmac, {28, 28, 24, 24, 14}},
    {wwccptext, {52, 52, 36, 36, 124}},   {wwccpftn, {56, 56, 40, 40, 128}},
    {wwccphdd, {60, 60, 44, 44, 132}},    {wwccpatn, {68, 68, 52, 52, 0}},
    {wwccpedn, {72, 0, 0, 0, 0}},         {wwccphdrtxbx, {80, 0, 0, 0, 0}},
};

TEST(WordHeader, SentinelsAtEveryLayoutOffset) {
  const int levels[] = {6, 2, 5, 4, 3};
  for (int col = 0; col < 5; col++) {
    int ver = levels[col];
    SCOPED_TRACE(ver);
    bool big = ver >= 3 && ver <= 5;
    int lw = ver == 6 ? 4 : 2;
    std::string s = blank();
    for (size_t i = 0; i < std::size(kscalars); i++)
      if (kscalars[i].off[col]) put(s, kscalars[i].off[col], 0x11 + i, 4, big);
    for (size_t i = 0; i < std::size(kpairs); i++) {
      if (!kpairs[i].off[col][0]) continue;
      put(s, kpairs[i].off[col][0], 0x800 + 16 * i, 4, big);
      put(s, kpairs[i].off[col][1], 3 + i, lw, big);
    }
    wwtestrun r(s, ver);
    wwfibread(&r.w);
    for (size_t i = 0; i < std::size(kscalars); i++)
      EXPECT_EQ(kscalars[i].get(&r.w), kscalars[i].off[col] ? static_cast<int32_t>(0x11 + i) : 0) << i;
    for (size_t i = 0; i < std::size(kpairs); i++) {
      bool has = kpairs[i].off[col][0] != 0;
      EXPECT_EQ(kpairs[i].fc(&r.w), has ? static_cast<int32_t>(0x800 + 16 * i) : 0) << i;
      EXPECT_EQ(kpairs[i].lcb(&r.w), has ? static_cast<int32_t>(3 + i) : 0) << i;
    }
    // Story starts add the stored counts to the text start.
    EXPECT_EQ(wwcpftn(&r.w), wwfcmin(&r.w) + wwccptext(&r.w));
    EXPECT_EQ(wwcphdd(&r.w), wwcpftn(&r.w) + wwccpftn(&r.w));
  }
}

TEST(WordHeader, FlagsAndFarEast) {
  struct Case {
    int ver;
    unsigned id, prod, flags;
    int complex, fe, cbch;
  } cases[] = {
      {3, 0x34FE, 0, 5, 0, 0, 1},       {3, 0x34FE, 0, 1, 1, 0, 1},
      {4, 0x37FE, 0, 0x2000, 1, 0, 1},  {4, 0x37FE, 0, 0x0004, 0, 0, 1},
      {6, 0xA5DC, 0, 0x0004, 1, 0, 1},  {6, 0xA699, 0x1234, 0, 0, 0, 1},
      {6, 0xA699, 0xC049, 0, 0, 3, 2},  {6, 0x8099, 0xC04B, 0, 0, 4, 2},
      {6, 0x8097, 0, 0, 0, 1, 2},       {2, 0xA698, 0, 0, 0, 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    bool big = c.ver >= 3 && c.ver <= 5;
    std::string s = blank();
    put(s, 0, c.id, 2, big);
    put(s, 4, c.prod, 2, big);
    put(s, 10, c.flags, 2, big);
    put(s, c.ver == 6 || c.ver == 2 ? 52 : c.ver == 3 ? 124 : 36, 100, 4, big);
    put(s, c.ver == 3 ? 120 : c.ver == 4 ? 20 : 24, 0x200, 4, big);
    wwtestrun r(s, c.ver);
    wwfibread(&r.w);
    EXPECT_EQ(wwhdrf(&r.w, WWH_COMPLEX), c.complex);
    EXPECT_EQ(wwhdrf(&r.w, WWH_CBCH), c.cbch);
    acc fe[] = {wwfea, wwfeb, wwfec, wwfed};
    for (int i = 0; i < 4; i++) EXPECT_EQ(fe[i](&r.w), c.fe == i + 1 ? 1 : 0) << i;
    EXPECT_EQ(wwfeany(&r.w), c.fe ? 1 : 0);
    // Non-complex double-byte text counts each character twice; the
    // story starts use the count as stored.
    EXPECT_EQ(wwccptext(&r.w), c.fe && !c.complex ? 200 : 100);
    EXPECT_EQ(wwcpftn(&r.w), 0x200 + 100);
  }
}

TEST(WordHeader, CodePageAndTablesOutsideTheStream) {
  std::string s = blank();
  put(s, 20, 256, 2, false);
  put(s, 96, ksize + 10, 4, false);  // style sheet past the end: absent
  put(s, 100, 40, 4, false);
  put(s, 184, ksize - 10, 4, false);  // character bins running past it: cut
  put(s, 188, 400, 4, false);
  put(s, 192, 0x80000000u, 4, false);  // a negative position
  put(s, 196, 10, 4, false);
  wwtestrun r(s, 6);
  wwfibread(&r.w);
  EXPECT_EQ(wwcodepage(&r.w), 9999);
  EXPECT_EQ(wwfcstsh(&r.w), 0);
  EXPECT_EQ(wwlcbstsh(&r.w), 0);
  EXPECT_EQ(wwfcbtechp(&r.w), static_cast<int32_t>(ksize - 10));
  EXPECT_EQ(wwlcbbtechp(&r.w), 10);
  EXPECT_EQ(wwlcbbtepap(&r.w), 0);
  wwtestrun r2(blank(), 2);
  wwfibread(&r2.w);
  EXPECT_EQ(wwcodepage(&r2.w), 819);
}

TEST(WordHeader, DocumentProperties) {
  // Level 1: 61 bytes keep the defaults, 62 are read.
  for (int size : {61, 62}) {
    std::string s = blank();
    put(s, 274, 0x400, 4, false);
    put(s, 278, size, 2, false);
    s[0x400] = static_cast<char>(0x81);
    put(s, 0x400 + 12, 11000, 2, false);
    put(s, 0x400 + 24, 360, 2, false);
    put(s, 0x400 + 34, (15u << 11) | (9u << 6) | 30u, 2, false);
    put(s, 0x400 + 36, (2u << 13) | (95u << 4) | 6u, 2, false);
    put(s, 0x400 + 60, 7, 2, false);
    wwtestrun r(s, 1);
    wwfibread(&r.w);
    wwdopread(&r.w);
    bool read = size == 62;
    EXPECT_EQ(wwxapage(&r.w), read ? 11000 : 12240);
    EXPECT_EQ(wwyapage(&r.w), read ? 0 : 15840);
    EXPECT_EQ(wwdxaleft(&r.w), read ? 0 : 1800);
    EXPECT_EQ(wwdyatop(&r.w), read ? 0 : 1440);
    EXPECT_EQ(wwdxatab(&r.w), read ? 360 : 720);
    EXPECT_EQ(wwfacing(&r.w), read ? 1 : 0);
    EXPECT_EQ(wwlandscape(&r.w), read ? 1 : 0);
    EXPECT_EQ(wwpgnstart(&r.w), 1);
    EXPECT_EQ(wwnpages(&r.w), read ? 7 : 0);
    const wwdate* d = wwdtcreated(&r.w);
    EXPECT_EQ(d->min, read ? 30 : 0);
    EXPECT_EQ(d->hour, read ? 9 : 0);
    EXPECT_EQ(d->day, read ? 15 : 0);
    EXPECT_EQ(d->month, read ? 6 : 0);
    EXPECT_EQ(d->year, read ? 95 : 0);
    EXPECT_EQ(d->wday, read ? 2 : 0);
  }
  // Levels 2 and 6: no page set-up in the properties.
  for (int ver : {2, 6}) {
    std::string s = blank();
    put(s, ver == 6 ? 336 : 274, 0x400, 4, false);
    put(s, ver == 6 ? 340 : 278, 48, ver == 6 ? 4 : 2, false);
    put(s, 0x400 + 10, 500, 2, false);
    put(s, 0x400 + 38, 1234, 4, false);
    wwtestrun r(s, ver);
    wwfibread(&r.w);
    wwdopread(&r.w);
    EXPECT_EQ(wwxapage(&r.w), 0);
    EXPECT_EQ(wwdxaright(&r.w), 0);
    EXPECT_EQ(wwpgnstart(&r.w), 0);
    EXPECT_EQ(wwdxatab(&r.w), 500);
    EXPECT_EQ(wwnwords(&r.w), 1234);
  }
  // Level 3: always at offset 172, whatever the header holds.
  std::string s = blank();
  put(s, 172 + 2, 9000, 2, true);
  put(s, 172 + 16, 0x80, 1, true);
  put(s, 172 + 22, 5, 2, true);
  wwtestrun r(s, 3);
  wwfibread(&r.w);
  wwdopread(&r.w);
  EXPECT_EQ(wwxapage(&r.w), 9000);
  EXPECT_EQ(wwfacing(&r.w), 1);
  EXPECT_EQ(wwpgnstart(&r.w), 5);
}

}  // namespace
