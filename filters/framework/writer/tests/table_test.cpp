// Tables: the head records, rows written when complete with every cell's
// record and text, spans and the cells they cover, nesting and its limit.
#include <gtest/gtest.h>

#include <algorithm>

#include "filters/framework/writer/tests/cwtest.h"

namespace {

// Begins a table of equal columns of 2000 twips from 0 and ends its definition.
void table(cvrun* r, int ncols) {
  cwtabdesc d{};
  d.version = 1;
  d.ncols = ncols;
  cwtabbeg(r, &d);
  for (int i = 0; i < ncols; i++) cwcelladd(r, i * 2000, (i + 1) * 2000);
  cwtabstart(r);
}

std::string row(int ncols, int height = 0) {
  std::vector<std::string> f = {std::to_string(ncols), std::to_string(height / 240), std::to_string(height)};
  for (int i = 0; i < ncols; i++) f.push_back("0000");
  f.push_back("0");
  f.push_back("0");
  return recv(15938, f);
}

std::string cell(int i, int cspan = 1, int rspan = 1, int covered = 0) {
  return rec(15458, {i, cspan, rspan, covered, 0, 2, 0});
}

// The text and records of a table with the writer's own records inside the
// cells left out: only the table's records and the text.
std::string tableonly(const std::string& shown) {
  std::string out;
  for (size_t i = 0; i < shown.size();) {
    size_t j = shown.find('[', i);
    if (j == std::string::npos) {
      out += shown.substr(i);
      break;
    }
    out += shown.substr(i, j - i);
    size_t k = shown.find(']', j);
    std::string code = shown.substr(j + 1, 3);
    if (code == "CDS" || code == "BCM" || code == "ECM" || code == "HCB" || code == "BRO" || code == "BCO")
      out += shown.substr(j, k - j + 1);
    i = k + 1;
  }
  return out;
}

TEST(Tables, TwoByTwo) {
  std::string got = cwwrites([](cwtestrun& t) {
    table(t.run, 2);
    for (int r = 0; r < 2; r++) {
      if (r) cwrownew(t.run);
      for (int c = 0; c < 2; c++) {
        cwcellnext(t.run);
        t.text(std::string(1, static_cast<char>('a' + r * 2 + c)));
      }
    }
    cwtabend(t.run);
    EXPECT_EQ(t.w->subn, 0);
    EXPECT_EQ(t.run->outdepth, -1);
  });
  std::string head = recs(19587, {"08", "2", "0", "13", "0", "13", "27", "0", "0", "2000", "0", "2000", "4000", "0"}) +
                     rec(13410);
  EXPECT_EQ(tableonly(got), comshow(head + row(2) + cell(1) + "a" + rec(2152) + cell(2) + "b" + rec(2152) + row(2) +
                                    cell(1) + "c" + rec(2152) + cell(2) + "d" + rec(2152) + rec(13413)));
}

TEST(Tables, SpansAndTheCellsTheyCover) {
  // A column span of 2 in 3 columns: the next cell is column 3, column 2
  // is written covered.
  std::string got = cwwrites([](cwtestrun& t) {
    table(t.run, 3);
    cwcellnext(t.run);
    cwcellcspan(t.run, 2);
    t.text("a");
    cwcellnext(t.run);
    t.text("c");
    cwcellnext(t.run);  // the row is full: nothing
    cwtabend(t.run);
  });
  EXPECT_NE(tableonly(got).find(comshow(row(3) + cell(1, 2) + "a" + rec(2152) + cell(2, 1, 1, 1) + rec(2152) +
                                        cell(3) + "c")),
            std::string::npos)
      << got;
  // A row span of 2 in column 1: the next row begins at column 2.
  got = cwwrites([](cwtestrun& t) {
    table(t.run, 2);
    cwcellnext(t.run);
    cwcellrspan(t.run, 2);
    t.text("a");
    cwcellnext(t.run);
    t.text("b");
    cwrownew(t.run);
    cwcellnext(t.run);
    t.text("d");
    cwtabend(t.run);
  });
  EXPECT_NE(tableonly(got).find(comshow(row(2) + cell(1, 1, 1, 1) + rec(2152) + cell(2) + "d")), std::string::npos)
      << got;
}

TEST(Tables, RowValuesShadingAndCodes) {
  std::string got = cwwrites([](cwtestrun& t) {
    cwtabdesc d{};
    d.version = 2;
    d.ncols = 1;
    d.align = 3;
    d.shade.v.pct = 10;
    cwtabbeg(t.run, &d);
    cwcelladd(t.run, 0, 1440);
    cwtabstart(t.run);
    cwcellnext(t.run);
    cwrowheight(t.run, 500);
    cwcellhalign(t.run, 7);
    cwcellbline(t.run, 0, 1);
    cvshade s{};
    s.v.pct = 20;
    cwcellshade(t.run, &s);
    cwtabend(t.run);
  });
  EXPECT_EQ(tableonly(got).substr(0, 5), "[CDS ");
  EXPECT_NE(got.find(comshow(recs(4371, {"4", "10", "00", "00", "00", "0", "00", "00", "00"}) +
                             recs(19587, {"18", "1", "0", "10", "0", "0", "1440", "0"}))),
            std::string::npos)
      << got;
  EXPECT_NE(got.find(comshow(recs(15938, {"1", "2", "500", "1000", "0", "0"}) + rec(15458, {1, 1, 1, 0, 0, 2, 0}) +
                             recs(4371, {"3", "20", "00", "00", "00", "0", "00", "00", "00"}))),
            std::string::npos)
      << got;
}

TEST(Tables, NestingAndItsLimit) {
  // The same in grid mode, where each nested table also saves the grid of
  // the table around it.
  for (int gridmode : {0, 1}) {
    SCOPED_TRACE(gridmode);
    cwtestrun t;
    t.settle();
    t.w->gridmode = gridmode;
    for (int depth = 0; depth < 7; depth++) {
      EXPECT_EQ(cwtabdepth(t.run), depth);
      table(t.run, 1);
      cwcellnext(t.run);
      t.text(std::string(1, static_cast<char>('a' + depth)));
    }
    // Six tables are open; the seventh was refused and its text went on in
    // the sixth's cell.
    EXPECT_EQ(cwtabdepth(t.run), 7);
    for (int depth = 0; depth < 7; depth++) cwtabend(t.run);
    t.text("z");  // in grid mode the text after the tables writes the grid
    EXPECT_EQ(cwtabdepth(t.run), 0);
    EXPECT_EQ(t.w->subn, 0);
    EXPECT_EQ(t.run->outdepth, -1);
    cwtabend(t.run);  // nothing open: nothing
    std::string com = t.com();
    EXPECT_TRUE(comwellformed(com));
    std::string text;
    for (char c : com)
      if (c >= 'a' && c <= 'g') text += c;
    EXPECT_NE(text.find("abcdefg"), std::string::npos) << t.show();
  }
}

TEST(Tables, CellsOfManyNestedTablesKeepTheirText) {
  // More cells are open at once than a run has streams.
  cwtestrun t;
  t.settle();
  for (int depth = 0; depth < 5; depth++) {
    table(t.run, 250);
    for (int c = 0; c < 250; c++) {
      cwcellnext(t.run);
      if (c < 249) t.text("x");
    }
  }
  for (int depth = 0; depth < 5; depth++) cwtabend(t.run);
  std::string com = t.com();
  EXPECT_EQ(std::count(com.begin(), com.end(), 'x'), 5 * 249);
  EXPECT_TRUE(comwellformed(com));
}

TEST(Tables, CallsWithoutATableDoNothing) {
  EXPECT_EQ(cwwrites([](cvrun* r) {
              EXPECT_EQ(cwcelladd(r, 0, 10), -1);
              cwtabstart(r);
              cwcellnext(r);
              cwcellcspan(r, 3);
              cwrownew(r);
              cwtabend(r);
            }),
            "");
  cwtestrun t;
  cwtabdesc d{1, 1000, 0, {}, {}};
  EXPECT_EQ(cwtabbeg(t.run, &d), 0);
  for (int i = 0; i < 250; i++) EXPECT_EQ(cwcelladd(t.run, i, i + 1), 0);
  EXPECT_EQ(cwcelladd(t.run, 250, 251), -1);
  cwtabend(t.run);
}

}  // namespace
