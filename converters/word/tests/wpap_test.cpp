// The property modifiers of the Word 1.x/2.0 and Mac Word full readers,
// applied to a reading state of their own: what each sets, the lengths the
// list walk steps by, and lists and table operands that reach past their
// containers.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "converters/word/wfull.h"
#include "converters/word/wread.h"

namespace {

std::unique_ptr<wrd> state(int mac, int layout = 5) {
  auto d = std::make_unique<wrd>();
  d->mac = mac;
  d->version = 2;
  d->layout = layout;
  d->leftm = 1800;
  wpapclear(d.get(), &d->pap);
  wchpreset(d.get(), &d->chp);
  wchpreset(d.get(), &d->style);
  return d;
}

struct modcase {
  const char* name;
  int mac;
  std::vector<unsigned char> list;
  int len;  // of the first modifier
  std::function<void(wrd&)> before;
  std::function<void(const wrd&)> check;
};

TEST(WordParagraphModifiers, SetTheirFieldsAndStepByTheirLengths) {
  auto none = [](wrd&) {};
  const modcase cases[] = {
      {"left indent never below 0", 0, {18, 0x00, 0xFE}, 3, [](wrd& d) { d.pap.leftindent = 100; },
       [](const wrd& d) { EXPECT_EQ(d.pap.leftindent, 0); }},
      {"anchors 0xF0 keep both", 0, {29, 0xF0}, 2, [](wrd& d) { d.pap.vertanchor = d.pap.horzanchor = 1; },
       [](const wrd& d) {
         EXPECT_EQ(d.pap.vertanchor, 1);
         EXPECT_EQ(d.pap.horzanchor, 1);
       }},
      {"anchors 0x30 set the horizontal one", 0, {29, 0x30}, 2, [](wrd& d) { d.pap.vertanchor = d.pap.horzanchor = 1; },
       [](const wrd& d) {
         EXPECT_EQ(d.pap.vertanchor, 1);
         EXPECT_EQ(d.pap.horzanchor, 0);
       }},
      {"toggle 128 takes the style's value", 0, {60, 128}, 2, [](wrd& d) { d.style.flag[0] = 1; },
       [](const wrd& d) { EXPECT_EQ(d.chp.flag[0], 1); }},
      {"toggle 129 its complement", 0, {61, 129}, 2, [](wrd& d) { d.chp.flag[1] = 0; },
       [](const wrd& d) { EXPECT_EQ(d.chp.flag[1], 1); }},
      {"toggle 2 changes nothing", 0, {62, 2}, 2, [](wrd& d) { d.chp.flag[2] = 1; },
       [](const wrd& d) { EXPECT_EQ(d.chp.flag[2], 1); }},
      {"70 takes four bytes", 0, {70, 20, 4, 0, 5, 1}, 4, none,
       [](const wrd& d) {
         EXPECT_EQ(d.chp.size, 24);
         EXPECT_EQ(d.pap.justify, 1);
       }},
      {"space before, signed", 0, {21, 0x68, 0x01}, 3, none, [](const wrd& d) { EXPECT_EQ(d.pap.spacebefore, 360); }},
      {"border words 38-43 as 30-35", 0, {40, 0x49, 0x00}, 3, none, [](const wrd& d) { EXPECT_EQ(d.pap.border[2], 0x49); }},
      {"143 stores 0 for a negative value", 0, {143, 0xFF, 0xFF}, 3, none,
       [](const wrd& d) { EXPECT_EQ(d.modfield[143], 0); }},
      {"unknown code ends the list", 0, {200, 1, 5, 1}, -1, none, [](const wrd& d) { EXPECT_EQ(d.pap.justify, 0); }},
      {"operand past the list", 0, {21, 0x68}, -1, none, [](const wrd& d) { EXPECT_EQ(d.pap.spacebefore, 0); }},
      {"counted modifier past the list", 0, {15, 9, 0, 1}, -1, none, [](const wrd& d) { EXPECT_EQ(d.pap.tabcount, 0); }},
      {"tab stops from the margin, in order", 0, {15, 8, 0, 2, 0xD0, 0x07, 0xE8, 0x03, 0x01, 0x0A}, 10, none,
       [](const wrd& d) {
         ASSERT_EQ(d.pap.tabcount, 2);
         EXPECT_EQ(d.pap.tabpos[0], 2800);
         EXPECT_EQ(d.pap.tabdesc[0], 0x0A);
         EXPECT_EQ(d.pap.tabpos[1], 3800);
       }},
      {"Mac anchors", 1, {29, 0x0D}, 2, none,
       [](const wrd& d) {
         EXPECT_EQ(d.pap.vertanchor, 0);
         EXPECT_EQ(d.pap.horzanchor, 1);
       }},
      {"Mac operands big-endian", 1, {17, 0x01, 0x68}, 3, none, [](const wrd& d) { EXPECT_EQ(d.pap.leftindent, 360); }},
      {"Mac has no 37", 1, {37, 1}, -1, none, [](const wrd&) {}},
      {"Mac tab kind from the high bits, bit 7 skipped", 1, {15, 8, 0, 2, 0x01, 0x68, 0x02, 0xD0, 0x44, 0x80}, 10, none,
       [](const wrd& d) {
         ASSERT_EQ(d.pap.tabcount, 1);
         EXPECT_EQ(d.pap.tabpos[0], 2160);
         EXPECT_EQ(d.pap.tabdesc[0], 2 | 1 << 3);
       }},
  };
  for (const modcase& c : cases) {
    SCOPED_TRACE(c.name);
    auto d = state(c.mac);
    c.before(*d);
    int n = static_cast<int>(c.list.size());
    EXPECT_EQ(wapplymod(nullptr, d.get(), c.list.data(), n, 0), c.len);
    if (c.len > 0 && c.len < n) EXPECT_GT(wapplymod(nullptr, d.get(), c.list.data() + c.len, n - c.len, 0), 0);
    c.check(*d);
  }
}

TEST(WordParagraphModifiers, MacWord3RemapsCodes) {
  auto d = state(1, 3);
  const unsigned char list[] = {26, 0x00, 0x10};
  // 26 is below 27: a frame position, unchanged.
  EXPECT_EQ(wapplymod(nullptr, d.get(), list, 3, 0), 3);
  EXPECT_EQ(d->pap.framex, 16);
  // 31 becomes 61, a character toggle.
  const unsigned char tog[] = {31, 1};
  EXPECT_EQ(wapplymod(nullptr, d.get(), tog, 2, 0), 2);
  EXPECT_EQ(d->chp.flag[1], 1);
  // A section list's 54 becomes 117.
  const unsigned char sec[] = {54, 3};
  EXPECT_EQ(wapplymod(nullptr, d.get(), sec, 2, 1), 2);
  EXPECT_EQ(d->modfield[117], 3);
}

TEST(WordParagraphModifiers, TabsAndCellsStayInsideTheirTables) {
  // Sixty additions: the record holds fifty.
  auto d = state(0);
  std::vector<unsigned char> m = {15, 0, 0, 60};
  for (int i = 0; i < 60; i++) m.insert(m.end(), {static_cast<unsigned char>(i + 1), 1});
  for (int i = 0; i < 60; i++) m.push_back(0);
  m[1] = static_cast<unsigned char>(m.size() - 2);
  EXPECT_EQ(wapplymod(nullptr, d.get(), m.data(), static_cast<int>(m.size()), 0), static_cast<int>(m.size()));
  EXPECT_EQ(d->pap.tabcount, WMAXTABS);
  for (int i = 1; i < d->pap.tabcount; i++) EXPECT_LT(d->pap.tabpos[i - 1], d->pap.tabpos[i]);

  // Table operands past 32 cells, and deletions and insertions out of range.
  const std::vector<std::vector<unsigned char>> tables = {
      {152, 2, 0, 200, 0},            {158, 0, 200, 0x10, 0},     {158, 30, 200, 0x10, 0},
      {159, 40, 2},                   {159, 0, 200},              {160, 0, 255, 0xFF, 0x7F},
      {161, 0, 255},                  {157, 0, 255, 15, 0x18, 0}, {147, 0xFF, 0x7F},
      {148, 0x01, 0x80},
  };
  for (int round = 0; round < 3; round++)
    for (const auto& t : tables) {
      int n = static_cast<int>(t.size());
      EXPECT_EQ(wapplymod(nullptr, d.get(), t.data(), n, 0), n);
      EXPECT_LE(d->tdef.cellcount, WMAXCELLS);
      EXPECT_GE(d->tdef.cellcount, 0);
    }
}

TEST(WordParagraphModifiers, TableDefinitionReadsBoundariesAndMerges) {
  auto d = state(0);
  // Three cells of 1440 twips, the last two merged.
  std::vector<unsigned char> def = {152, 0, 0, 3, 0, 0, 0xA0, 0x05, 0x40, 0x0B, 0xE0, 0x10};
  for (int c = 0; c < 4; c++) {
    unsigned char f = c == 1 ? 1 : c == 2 ? 2 : 0;
    def.insert(def.end(), {f, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  }
  def[1] = static_cast<unsigned char>(def.size() - 3);
  EXPECT_EQ(wapplymod(nullptr, d.get(), def.data(), static_cast<int>(def.size()), 0), static_cast<int>(def.size()));
  EXPECT_EQ(d->tdef.cellcount, 3);
  EXPECT_EQ(d->tdef.cellx[3], 4320);
  EXPECT_EQ(d->tdef.cell[1].first, 1);
  EXPECT_EQ(d->tdef.cell[2].merged, 1);
}

// The story stack holds 12 excursions: a 13th is refused and changes
// nothing, neither the current story nor what the 12th will return to.
TEST(WordStoryStack, AThirteenthStoryIsRefused) {
  for (int mac : {0, 1}) {
    SCOPED_TRACE(mac);
    auto d = state(mac);
    d->nstories = WNSTORIES;
    d->cur = 0;
    for (int i = 0; i < WMAXDEPTH; i++) {
      d->pap.leftindent = i;
      ASSERT_TRUE(wstorypush(d.get(), 1 + i % (WNSTORIES - 1))) << i;
    }
    EXPECT_EQ(d->depth, 12);
    int cur = d->cur;
    wrd::wreturn last = d->ret[WMAXDEPTH - 1];
    d->pap.leftindent = 99;
    EXPECT_FALSE(wstorypush(d.get(), cur == 1 ? 2 : 1));
    EXPECT_EQ(d->depth, 12);
    EXPECT_EQ(d->cur, cur);
    EXPECT_EQ(d->ret[WMAXDEPTH - 1].story, last.story);
    EXPECT_EQ(d->ret[WMAXDEPTH - 1].pap.leftindent, 11);
  }
}

}  // namespace

// A fast-saved piece's modifier word: one modifier of its own (codes 1-48),
// or with the top bit an index into the grouped lists; a group's walk stops
// at a code it does not take.
TEST(WordParagraphModifiers, PieceModifierWordsAndTheirGroups) {
  // Four groups (a tag byte, a 16-bit count, the bytes): justify 1, 2, 3,
  // then justify 1, spacing 60 and keep together 7.
  std::vector<unsigned char> groups = {1, 2, 0, 5, 1, 1, 2, 0, 5, 2, 1, 2, 0, 5, 3, 1, 6, 0, 5, 1, 60, 1, 7, 1};
  struct {
    const char* name;
    uint16_t word;
    int justify, keep;
  } cases[] = {
      {"a word of its own: justify 2", 5 << 8 | 2, 2, 0},
      {"code 49 applies nothing", 49 << 8 | 1, 0, 0},
      {"code 0 applies nothing", 1, 0, 0},
      {"the group of index 2", 0x8000 | 2, 3, 0},
      {"5, 60, 7 applies only the first", 0x8000 | 3, 1, 0},
      {"an index past the groups", 0x8000 | 4, 0, 0},
      {"a far index", 0xFFFF, 0, 0},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto d = state(0);
    d->groups = groups.data();
    d->groupsat = 0;
    d->groupsend = d->groupslen = static_cast<int>(groups.size());
    wpiecemod(nullptr, d.get(), c.word);
    EXPECT_EQ(d->pap.justify, c.justify);
    EXPECT_EQ(d->pap.keeptogether, c.keep);
  }
}
