// The intermediate file as plain text: a table of COM snippets to the text
// they give, broken records, translations between code pages, and the
// character table checked against the system's iconv where it knows the page.
#include <gtest/gtest.h>

#include <iconv.h>
#include <map>
#include <vector>

#include "filters/framework/runtime/tests/cvtest.h"

namespace {

// The plain text of an intermediate file, or "<fail>".
std::string totext(const std::string& com) {
  cvtesthost host;
  convstate* st = host.open();
  cvputfile(st, "kvj99int.tmp", com);
  if (convtotext(st) != 0) return "<fail>";
  return cvgetfile(st, "ascii.tmp");
}

std::string r(int code, std::initializer_list<std::string> fields = {}) { return comrec(code, fields); }

TEST(Text, SnippetsToPlainText) {
  const std::string mbon = r(3149, {"1", "1", "0"}), mboff = r(3149, {"0"});
  const struct {
    const char* what;
    std::string com;
    std::string text;
  } rows[] = {
      {"text bytes pass", "abc \x80\xFF~", "abc \x80\xFF~"},
      {"hard line ends", "a" + r(12744) + r(12744) + "b", "a\r\n\r\nb"},
      {"paragraph ends", "a" + r(2152) + r(2152) + "b", "a\r\nb"},
      {"a paragraph end first", r(2152) + "b", "b"},
      {"ends of box, note, header", "a" + r(6657) + "b" + r(14533) + "c" + r(24776) + "d",
       "a\r\nb\r\nc\r\nd"},
      {"hard page break", "x" + r(16840) + "y" + r(12744) + r(16840) + "z", "x\r\ny\r\nz"},
      {"soft line end", "a" + r(12755, {"0"}) + "b", "a b"},
      {"soft line end after a space", "a " + r(12755) + "b", "a b"},
      {"soft line end without space", "wo" + r(12755, {"1"}) + "rd", "word"},
      {"tab and hard space", "a" + r(2100, {"0"}) + "b" + r(18510) + "c", "a b c"},
      {"hyphens", "a" + r(3336) + "b" + r(12552) + r(12563), "a-b--"},
      {"control characters", r(24744, {"01"}) + r(24744, {"09"}) + r(24744, {"14"}) + r(24744, {"15"}),
       "_\t\x14\x15"},
      {"437 characters", r(19573, {"82", "84"}) + r(19573, {"41"}), "\xE9\xE4" "A"},
      {"437 without a Latin-1 form", r(19573, {"B0"}), "_"},
      {"850 with its 437 record", r(19576, {"850", "80"}) + r(19573, {"80"}) + "x", "\xC7x"},
      {"850 with a plain fallback", r(19576, {"850", "9E"}) + "xy", "\xD7y"},
      {"a page without a column", r(19576, {"1250", "80"}) + "_z", "_z"},
      {"Macintosh bullet", r(19576, {"9999", "A5"}) + "*", "*"},
      {"nested records are dropped", "a" + r(20899, {"note " + r(19573, {"82"}) + r(12744)}) + "b", "ab"},
      {"unknown records are dropped", "a" + r(6675, {"0", "0", "10", "0", "240", "Courier"}) + "b", "ab"},
      {"double-byte text", "x" + mbon + "82A088A0" + mboff + "y", "x__y"},
      {"double-byte text over a line end", mbon + "82A0" + r(12744) + "88A0" + mboff, "_\r\n_"},
      {"a character cut short", mbon + "82" + mboff, "_"},
      {"an inline double-byte run", "a" + r(3149, {"2", "1", "0", "82A0"}) + "b", "ab"},
      {"input ends in a record's field", "a\x1B\x1D" "HNL" "3", "a\r\n"},
  };
  for (const auto& row : rows) EXPECT_EQ(totext(row.com), row.text) << row.what << ": " << comshow(row.com);
}

TEST(Text, BrokenRecordsFail) {
  for (const std::string com : {"a\x1Bx", "a\x1B\x1DHN", "\x1B"}) EXPECT_EQ(totext(com), "<fail>") << comshow(com);
  cvtesthost host;
  EXPECT_EQ(convtotext(host.open()), -1);  // no intermediate file at all
}

TEST(Text, TranslationBetweenCodePages) {
  const struct {
    int from, to, c, want;
  } rows[] = {
      {850, 850, 0x80, 0x80}, {850, 8591, 'A', 'A'},   {437, 8591, 0x82, 0xE9}, {850, 8591, 0x9E, 0xD7},
      {8592, 8591, 0xB1, 'a'}, {9998, 8591, 'a', 0x00}, {437, 9998, 'A', -1},    {1250, 8591, 0x80, -1},
      {437, 8591, 0x14, 0xB6}, {437, 8591, 0x09, 0x00}, {9997, 8591, 2, 'g'},    {8591, 437, 0xC7, 0x80},
  };
  for (const auto& r : rows) EXPECT_EQ(convcpxlat(r.from, r.to, r.c), r.want) << r.from << " " << r.c;
}

TEST(Text, TellingRowsOfTheTable) {
  const struct {
    int row;
    std::vector<int> codes;
    int mask;
  } rows[] = {
      {0, {0x80, 0x82, 0x80, 0xC7, 0xC7, 0x00, 0xC7, 0x00}, 0x35F},
      {5, {0x85, 0x88, 0x85, 0xE0, 0xE0, 0x00, 0x61, 0x00}, 0x05F},
      {6, {0x86, 0x8C, 0x86, 0xE5, 0xE5, 0x00, 0x61, 0x00}, 0x01F},
      {270, {0x67, 0x67, 0x67, 0x67, 0x67, 0x00, 0x67, 0x02}, 0x080},
  };
  for (const auto& r : rows) {
    for (int k = 0; k < 8; k++) EXPECT_EQ(cvcptab[r.row].code[k], r.codes[k]) << r.row << " " << k;
    EXPECT_EQ(cvcptab[r.row].mask, r.mask) << r.row;
  }
  // Rows 0-126 are the upper half of code page 437 in order; the last eight
  // are valid only in 9997 (six rows) or only in the last column (two).
  for (int i = 0; i < 127; i++) EXPECT_EQ(cvcptab[i].code[0], 0x80 + i) << i;
  for (int i = 270; i < 276; i++) EXPECT_EQ(cvcptab[i].mask, 1 << 7) << i;
  for (int i = 276; i < 278; i++) EXPECT_EQ(cvcptab[i].mask, 1 << 9) << i;
}

// The character of a byte in a code page, as iconv sees it; -1 for none.
long unicode(const char* charset, unsigned char b) {
  iconv_t cd = iconv_open("UTF-32LE", charset);
  if (cd == reinterpret_cast<iconv_t>(-1)) return -2;
  char in[1] = {static_cast<char>(b)};
  unsigned char out[8];
  char* ip = in;
  char* op = reinterpret_cast<char*>(out);
  size_t il = 1, ol = sizeof out;
  size_t rc = iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1) || ol != 4) return -1;
  return out[0] | (out[1] << 8) | (out[2] << 16) | (static_cast<long>(out[3]) << 24);
}

TEST(Text, TheTableAgreesWithIconv) {
  // The columns iconv knows by name; 9998 and 9997 it does not.
  const std::map<int, const char*> charsets = {{0, "IBM437"}, {1, "MACINTOSH"}, {2, "IBM850"},
                                               {3, "CP1252"}, {4, "ISO-8859-1"}, {6, "ISO-8859-2"},
                                               {8, "CP1250"}, {9, "IBM852"}};
  int checked = 0;
  for (int i = 0; i < CV_CPROWS; i++) {
    long first = -1;
    int firstcol = -1;
    for (const auto& [col, charset] : charsets) {
      unsigned char b = cvcptab[i].code[col];
      if (!(cvcptab[i].mask & (1 << col))) continue;
      // Code page 437 shows glyphs at its control codes; iconv keeps them controls.
      if (col == 0 && (b < 0x20 || b == 0x7F)) continue;
      // The table marks the stand-in of row 5 in 8592 as exact, by convention.
      if (i == 5 && col == 6) continue;
      long u = unicode(charset, b);
      ASSERT_NE(u, -2) << charset << " unknown to iconv";
      if (firstcol < 0) {
        first = u;
        firstcol = col;
        continue;
      }
      EXPECT_EQ(u, first) << "row " << i << ": " << charset << " " << int(b) << " against column " << firstcol;
      checked++;
    }
  }
  EXPECT_GT(checked, 500);
}

}  // namespace
