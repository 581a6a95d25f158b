// The Word 6 full reader's property records: defaults, the bytes each
// property modifier occupies, what the interpreters set, and operands that
// ask for more than the records hold.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "converters/formats/w6prop.h"

namespace {

using bytes = std::vector<uint8_t>;

struct recs {
  w6sep sep;
  w6pap pap;
  w6chp chp;
  recs() {
    w6sepdefault(nullptr, &sep);
    w6papdefault(nullptr, &pap);
    w6chpdefault(nullptr, &chp);
  }
};

const w6chp kbase{};  // the zero base record of a conversion

int apply(recs &r, const bytes &b, char kind, const w6chp *base = &kbase) {
  const int32_t n = static_cast<int32_t>(b.size());
  switch (kind) {
    case 's': return w6sprmsep(nullptr, b.data(), n, &r.sep);
    case 'p': return w6sprmpap(nullptr, b.data(), n, &r.pap);
    default: return w6sprmchp(nullptr, b.data(), n, &r.chp, base);
  }
}

TEST(W6Prop, Defaults) {
  recs r;
  EXPECT_EQ(r.sep.bkc.v, 2);
  EXPECT_EQ(r.sep.xapage.v, 12240);
  EXPECT_EQ(r.sep.dyatop.v, 1440);
  EXPECT_EQ(r.sep.olst.v.lv[8].startat, 1);
  EXPECT_EQ(r.pap.dyaline.v, 240);
  EXPECT_EQ(r.pap.widow.v, 1);
  EXPECT_EQ(r.pap.anld.v.lv.startat, 1);
  EXPECT_EQ(r.chp.hps.v, 20);
  EXPECT_EQ(r.chp.lid.v, 1033);
  EXPECT_EQ(r.chp.istd.v, 10);
  EXPECT_EQ(r.chp.bold.set, 0);
}

// The bytes each sprm occupies, so that a run of them can be walked; 0 for
// numbers an interpreter does not handle.
TEST(W6Prop, LengthsOfModifiers) {
  struct {
    char kind;
    bytes b;
    int used;
  } cases[] = {
      {'s', {142, 1}, 2},        {'s', {144, 1, 0}, 3},   {'s', {133, 212}, 214}, {'s', {137}, 4},
      {'s', {134, 0}, 0},        {'s', {163, 0}, 0},      {'s', {172, 0}, 0},     {'s', {130, 0}, 0},
      {'p', {2, 1, 0}, 3},       {'p', {4, 0}, 2},        {'p', {12, 52}, 54},    {'p', {20, 1, 0, 1, 0}, 5},
      {'p', {187}, 13},          {'p', {190, 8, 0, 1}, 10}, {'p', {191, 4, 0}, 7}, {'p', {192}, 5},
      {'p', {193}, 6},           {'p', {194}, 5},         {'p', {195}, 3},        {'p', {199}, 6},
      {'p', {15, 0}, 2},         {'p', {15, 7, 1}, 9},    {'p', {23, 255, 2, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 13},
      {'p', {3, 0}, 0},          {'p', {52, 0}, 0},       {'p', {188, 0}, 0},     {'p', {181, 0}, 0},
      {'c', {85, 1}, 2},         {'c', {68}, 6},          {'c', {70}, 5},         {'c', {73}, 4},
      {'c', {74}, 5},            {'c', {83}, 1},          {'c', {95}, 4},         {'c', {103, 4}, 6},
      {'c', {105}, 4},           {'c', {109}, 3},         {'c', {120}, 14},       {'c', {124}, 3},
      {'c', {76, 0}, 0},         {'c', {84, 0}, 0},       {'c', {111, 0}, 0},     {'c', {125, 0}, 0},
  };
  for (auto &c : cases) {
    recs r;
    EXPECT_EQ(apply(r, c.b, c.kind), c.used) << c.kind << " " << int(c.b[0]);
  }
}

// Toggles take 0 and 1 as they stand, 128 and 129 from the base record.
TEST(W6Prop, CharacterToggles) {
  w6chp one{};
  one.bold.v = 1;
  struct {
    bytes b;
    const w6chp *base;
    int bold, set;
  } cases[] = {
      {{85, 1}, &kbase, 1, 1},  {{85, 0}, &kbase, 0, 1}, {{85, 129}, &kbase, 1, 1}, {{85, 128}, &kbase, 0, 1},
      {{85, 128}, &one, 1, 1},  {{85, 129}, &one, 0, 1}, {{85, 129}, nullptr, 0, 0}, {{85, 2}, &kbase, 0, 0},
  };
  for (auto &c : cases) {
    recs r;
    apply(r, c.b, 'c', c.base);
    EXPECT_EQ(r.chp.bold.v, c.bold) << int(c.b[1]);
    EXPECT_EQ(r.chp.bold.set, c.set) << int(c.b[1]);
  }
  recs r;
  for (int num = 85; num <= 92; ++num) apply(r, {static_cast<uint8_t>(num), 1}, 'c');
  EXPECT_EQ(r.chp.vanish.v + r.chp.caps.v + r.chp.shadow.v + r.chp.outline.v, 4);
  r.chp.ico.v = 5;
  apply(r, {82, 0}, 'c');
  EXPECT_EQ(r.chp.bold.v + r.chp.vanish.v + r.chp.ico.v, 0);
  // Special characters and sizes.
  apply(r, {74, 0, 0x28, 0, 0xB7}, 'c');
  EXPECT_EQ(r.chp.spec.v, 1);
  EXPECT_EQ(r.chp.ftcsym.v, 0x28);
  EXPECT_EQ(r.chp.chsym.v, 0xB7);
  apply(r, {105, 0, 24, 0}, 'c');
  EXPECT_EQ(r.chp.hps.v, 24);
  apply(r, {106, 0, 0x00, 0x80}, 'c');
  EXPECT_EQ(r.chp.hps.v, 8);
  apply(r, {106, 0, 0xFF, 0x7F}, 'c');
  EXPECT_EQ(r.chp.hps.v, 32766);
  apply(r, {99, 40, 0}, 'c');
  apply(r, {109, 150, 0}, 'c');
  EXPECT_EQ(r.chp.hps.v, 60);
  // Majority: what the run would set to the record's own value takes the base's.
  recs m;
  m.chp.bold.v = 1;
  m.chp.italic.v = 1;
  apply(m, {103, 2, 85, 1}, 'c');
  EXPECT_EQ(m.chp.bold.v, 0);
  EXPECT_EQ(m.chp.italic.v, 1);
}

TEST(W6Prop, ParagraphAndSectionValues) {
  recs r;
  w6grpprlapply(nullptr, bytes{24, 1, 25, 1}.data(), 4, nullptr, &r.pap, nullptr, &kbase);
  EXPECT_EQ(r.pap.intable.v, 1);
  EXPECT_EQ(r.pap.ttp.v, 1);
  // A section run holding 163 stops there.
  bytes run = {142, 1, 163, 0, 143, 1};
  w6grpprlapply(nullptr, run.data(), static_cast<int32_t>(run.size()), &r.sep, nullptr, nullptr, &kbase);
  EXPECT_EQ(r.sep.bkc.v, 1);
  EXPECT_EQ(r.sep.titlepage.set, 0);
  // A run crossing kinds reaches each record; a paragraph sprm with no
  // paragraph record goes to a scratch one.
  bytes mixed = {5, 2, 85, 1, 161, 7, 0};
  w6grpprlapply(nullptr, mixed.data(), 7, &r.sep, nullptr, &r.chp, &kbase);
  EXPECT_EQ(r.chp.bold.v, 1);
  EXPECT_EQ(r.sep.pgnstart.v, 7);
  apply(r, {17, 100, 0}, 'p');
  apply(r, {18, 0x9C, 0xFF}, 'p');  // -100
  EXPECT_EQ(r.pap.dxaleft.v, 0);
  apply(r, {18, 0x9C, 0xFF}, 'p');
  EXPECT_EQ(r.pap.dxaleft.v, 0);
  apply(r, {29, 0x60}, 'p');  // horizontal 1, vertical 2
  EXPECT_EQ(r.pap.pchorz.v, 1);
  EXPECT_EQ(r.pap.pcvert.v, 2);
  apply(r, {30, 0x21, 0x00}, 'p');
  EXPECT_EQ(r.pap.brcs[0].width, 1);
  EXPECT_EQ(r.pap.brcs[0].shadow, 1);
  // Tabs: the added ones replace the list.
  apply(r, {15, 9, 1, 0x10, 0x00, 2, 0x20, 0x00, 0x40, 0x00, 0x0A, 0x01}, 'p');
  ASSERT_EQ(r.pap.ntabs.v, 2);
  EXPECT_EQ(r.pap.tabs[0].pos, 0x20);
  EXPECT_EQ(r.pap.tabs[0].jc, 2);
  EXPECT_EQ(r.pap.tabs[0].leader, 1);
  EXPECT_EQ(r.pap.tabs[1].pos, 0x40);
}

// Sprm 190 defines the row; later sprms edit its cells.
TEST(W6Prop, TableRows) {
  recs r;
  // Three cells, four boundaries, room for two TCs only.
  bytes row = {190, 30, 0, 3, 0, 0, 100, 0, 200, 0, 44, 1};
  bytes tc = {1, 0, 0x01, 0, 0, 0, 0, 0, 0, 0};
  row.insert(row.end(), tc.begin(), tc.end());
  tc[0] = 2;
  row.insert(row.end(), tc.begin(), tc.end());
  EXPECT_EQ(apply(r, row, 'p'), 32);
  w6tap &t = r.pap.tap;
  EXPECT_EQ(t.itcmac, 3);
  EXPECT_EQ(t.centers[3], 300);
  EXPECT_EQ(t.cells[0].first, 1);
  EXPECT_EQ(t.cells[0].top.width, 1);
  EXPECT_EQ(t.cells[1].merged, 1);
  EXPECT_EQ(t.cells[2].merged, 0);
  EXPECT_EQ(r.pap.tapgiven.v, 1);
  apply(r, {196, 0, 1, 150, 0}, 'p');  // first cell 150 wide: the rest move by 50
  EXPECT_EQ(t.centers[1], 150);
  EXPECT_EQ(t.centers[3], 350);
  apply(r, {197, 0, 3}, 'p');
  EXPECT_EQ(t.cells[0].first + t.cells[1].merged + t.cells[2].merged, 3);
  apply(r, {195, 1, 2}, 'p');  // delete the middle cell: the one before it widens
  EXPECT_EQ(t.itcmac, 2);
  EXPECT_EQ(t.centers[1], 250);
  EXPECT_EQ(t.centers[2], 350);
  apply(r, {194, 1, 1, 10, 0}, 'p');  // insert one cell of 10 at 1: the rest move by 10
  EXPECT_EQ(t.itcmac, 3);
  EXPECT_EQ(t.centers[2], 260);
  EXPECT_EQ(t.centers[3], 360);
  apply(r, {184, 20, 0}, 'p');
  EXPECT_EQ(t.centers[0], -20);
  apply(r, {183, 30, 0}, 'p');
  EXPECT_EQ(t.centers[0], 10);
  EXPECT_EQ(t.centers[1], 250);
}

// Operands that ask for more than the records hold write nothing past them,
// and bad indexes change nothing (the sanitizers watch the records).
TEST(W6Prop, OperandsBeyondTheRecords) {
  recs r;
  bytes many = {190, 0xFF, 0x0F, 40};
  many.resize(4096 + 2, 0x11);
  apply(r, many, 'p');
  EXPECT_EQ(r.pap.tap.itcmac, 32);
  w6tap before = r.pap.tap;
  for (bytes b : {bytes{194, 0, 5, 1, 0}, bytes{195, 5, 2}, bytes{195, 0, 40}, bytes{196, 3, 40, 1, 0},
                  bytes{197, 30, 33}, bytes{200, 2, 1, 1, 1}, bytes{193, 0, 99, 15, 1, 0}}) {
    apply(r, b, 'p');
    EXPECT_EQ(std::memcmp(&before, &r.pap.tap, sizeof before), 0) << int(b[0]);
  }
  bytes tabs = {15, 200, 0, 60};
  tabs.resize(250, 0x22);
  apply(r, tabs, 'p');
  EXPECT_EQ(r.pap.ntabs.v, 50);
  recs s;
  apply(s, {144, 100, 0}, 's');
  bytes cols = {136, 0};
  cols.resize(1000, 0x33);
  EXPECT_EQ(apply(s, cols, 's'), 804);
  EXPECT_EQ(s.sep.cols[88].v, 0x3333);
  apply(s, {144, 0xF0, 0xFF}, 's');  // a negative count
  EXPECT_GT(apply(s, cols, 's'), 0);
  EXPECT_EQ(s.sep.cols[0].set, 0);
  // An operand cut short reads as zeros.
  recs c;
  EXPECT_EQ(apply(c, {70}, 'c'), 5);
  EXPECT_EQ(c.chp.dttm.v.year, 0);
}

}  // namespace
