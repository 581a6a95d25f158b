// The Lotus 1-2-3 converter through the converter table, on worksheets
// written record by record: cells in file order with their blanks and line
// ends, numbers with fifteen digits, characters, sealed and damaged files.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "converters/formats/tests/fmttest.h"
#include "converters/formats/tests/lotgen.h"

namespace {

using namespace lgen;
using ft::result;

constexpr int LOTUS = 9;

result run(const std::string &doc) { return ft::run(LOTUS, doc); }

TEST(Lotus, CellsOfEachReleaseConvertInFileOrder) {
  struct {
    const char *name;
    std::string doc;
    std::string want;
  } cases[] = {
      {"release 2 rows 0 and 1", sheet(wk1, {label(wk1, 0, 0, "a"), label(wk1, 1, 0, "b")}), "a \r\nb "},
      {"release 1A", sheet(wks, {label(wks, 0, 0, "alpha"), label(wks, 0, 1, "beta"), integer(2, 0, 42)}),
       "alpha beta \r\n42 "},
      {"release 3", sheet(wk3, {label(wk3, 0, 0, "alpha"), number(wk3, 0, 1, 2.5), label(wk3, 1, 0, "beta")}),
       "alpha 2.50000000000000 \r\nbeta "},
      {"rows 0 and 5: one line end", sheet(wk1, {label(wk1, 0, 0, "a"), label(wk1, 5, 0, "b")}), "a \r\nb "},
      {"a lower row follows on the same line",
       sheet(wk1, {label(wk1, 5, 0, "a"), label(wk1, 3, 0, "b"), label(wk1, 6, 0, "c")}), "\r\na b \r\nc "},
      {"a further sheet starts again at row 0",
       sheet(wk3, {label(wk3, 2, 0, "a"), label(wk3, 0, 0, "b"), label(wk3, 3, 0, "c")}), "\r\na b \r\nc "},
      {"label prefixes are dropped", sheet(wk1, {label(wk1, 0, 0, "right", '"'), label(wk1, 0, 1, "mid", '^')}),
       "right mid "},
      {"formula values", sheet(wk1, {formula(wk1, 0, 0, 3), formula(wk1, 0, 1, -0.5)}),
       "3.00000000000000 -0.500000000000000 "},
      {"release 3 formula value and its string",
       sheet(wk3, {formula(wk3, 0, 0, 7), string3(0, 0, "seven")}), "7.00000000000000 seven"},
      {"headers and footers, no blank",
       sheet(wk1, {headfoot(0x26, "Head"), headfoot(0x25, "Foot"), label(wk1, 0, 0, "x")}), "HeadFootx "},
      {"an empty header leaves the next record in place",
       sheet(wk1, {headfoot(0x26, ""), label(wk1, 0, 0, "x")}), "x "},
      {"a header's length past its NUL", sheet(wk1, {rec(0x26, std::string("Hi\0junk", 7)), label(wk1, 0, 0, "x")}),
       "Hix "},
      {"unknown record of 600 bytes", sheet(wk1, {rec(0x99, std::string(600, 'z')), label(wk1, 0, 0, "x")}), "x "},
      {"release 1A skips the labels of release 3",
       sheet(wks, {rec(0x16, std::string(8, 'q')), label(wks, 0, 0, "x")}), "x "},
      {"records after the end record are not read", sheet(wk1, {eof(), label(wk1, 0, 0, "x")}), ""},
      {"no end record", sheet(wk1, {label(wk1, 0, 0, "x")}, false), "x "},
      {"empty file", "", ""},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::expectagain(LOTUS, c.doc, c.want);
  }
}

// Numbers are written with fifteen significant digits and never an exponent;
// values that cannot be shown write "ERR".
TEST(Lotus, NumbersHaveFifteenDigitsAndNoExponent) {
  const double inf = std::numeric_limits<double>::infinity();
  struct {
    double x;
    const char *want;
  } cases[] = {
      {1, "1.00000000000000"},
      {12.5, "12.5000000000000"},
      {0.00123, "0.00123000000000000"},
      {-3, "-3.00000000000000"},
      {0.5, "0.500000000000000"},
      {0, "0.00000000000000"},
      {-0.0, "0.00000000000000"},
      {2.0 / 3, "0.666666666666667"},
      {123456789012345, "123456789012345."},
      {1e15, "1000000000000000."},
      {-1.5e20, "-150000000000000000000."},
      {1234567890123456789.0, "1234567890123460000."},
      {1e-5, "0.0000100000000000000"},
      {inf, "ERR"},
      {-inf, "ERR"},
      {std::nan(""), "ERR"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.want);
    std::string want = std::string(c.want) + " ";
    EXPECT_EQ(run(sheet(wk1, {number(wk1, 0, 0, c.x)})).out, want);
    EXPECT_EQ(run(sheet(wk3, {number(wk3, 0, 0, c.x)})).out, want);
  }
}

TEST(Lotus, StoredValuesDecodeAsWritten) {
  std::string tiny = ext(1);
  tiny[8] = 1;  // exponent 1: far below a double's range
  tiny[9] = 0;
  std::string huge = ext(1);
  huge[8] = static_cast<char>(0xFE);  // exponent 0x7FFE: far above it
  huge[9] = 0x7F;
  std::string unnormal = ext(1);
  unnormal[7] = 0;  // integer bit clear: taken as set
  struct {
    const char *name;
    std::string rec;
    const char *want;
  } cases[] = {
      {"integer -5", integer(0, 0, -5), "-5 "},
      {"integer 32767", integer(0, 0, 32767), "32767 "},
      {"ERR pattern of 8 bytes", number(wk1, 0, 0, 0, std::string(6, '\0') + "\xF0\x7F"), "ERR "},
      {"ERR exponent word FFFF", number(wk3, 0, 0, 0, std::string(8, '\x11') + "\xFF\xFF"), "ERR "},
      {"80-bit exponent 0", number(wk3, 0, 0, 0, std::string(8, '\x11') + std::string(2, '\0')),
       "0.00000000000000 "},
      {"80-bit exponent below a double's", number(wk3, 0, 0, 0, tiny), "0.00000000000000 "},
      {"80-bit exponent above a double's", number(wk3, 0, 0, 0, huge), "ERR "},
      {"80-bit integer bit clear", number(wk3, 0, 0, 0, unnormal), "1.00000000000000 "},
      {"small integer 0xFFF6", small(0, 0, 0xFFF6), "-5 "},
      {"small integer 0x0014", small(0, 0, 0x0014), "10 "},
      {"small factor 5000", small(0, 0, (3 << 4) | 1), "15000.0000000000 "},
      {"small factor 500", small(0, 0, (3 << 4) | (1 << 1) | 1), "1500.00000000000 "},
      {"small factor 0.05", small(0, 0, (3 << 4) | (2 << 1) | 1), "0.150000000000000 "},
      {"small factor 0.00005", small(0, 0, (7 << 4) | (5 << 1) | 1), "0.000350000000000000 "},
      {"small factor 1/16", small(0, 0, (uint16_t)((-8 << 4) | (6 << 1) | 1)), "-0.500000000000000 "},
      {"small factor 1/64", small(0, 0, (16 << 4) | (7 << 1) | 1), "0.250000000000000 "},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    kind k = c.rec[0] == 0x0D || c.rec[0] == 0x0E ? wk1 : wk3;
    ft::expect(run(sheet(k, {c.rec})), 0, c.want);
  }
}

// Text bytes 128-255 go through the LICS table into code page 437 and from
// there into the output code page; release 1A text and the LICS option off
// take them as code page 819. A character the output lacks is "_".
TEST(Lotus, CharactersReachTheOutputCodePage) {
  const std::string text = "\xE9\xA4\xA3\x97";
  struct {
    const char *name;
    kind k;
    const char *opts;
    std::string want;
  } cases[] = {
      {"release 2, LICS", wk1, "0", "\xE9\"\xA3_ "},
      {"release 3, LICS", wk3, "0", "\xE9\"\xA3_ "},
      {"release 1A, no LICS", wks, "0", "\xE9\xA4\xA3\x97 "},
      {"release 2 to 8592", wk1, "0a8592", "\xE9\"__ "},
      {"LICS off, LF, 437", wk1, "0x0437", "\x82_\x9C- "},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::expect(ft::runst(cvtlotusst, lotnewst, sheet(c.k, {label(c.k, 0, 0, text)}), {c.opts}), 0, c.want);
  }
}

TEST(Lotus, OptionsChooseTheLineEnd) {
  std::string doc = sheet(wk1, {label(wk1, 0, 0, "a"), label(wk1, 1, 0, "b")});
  ft::expectoptions(cvtlotusst, lotnewst, doc,
                    {{"0", "a \r\nb "}, {"0x", "a \nb "}, {"0M", "a \n\rb "}, {"0A", "a \r\nb "}, {"0q", "a \r\nb "}});
}

TEST(Lotus, SealedAndOverlongRecordsEndTheRun) {
  const ft::statuscase cases[] = {
      {"sealed after the beginning", sheet(wk3, {sealed(), label(wk3, 0, 0, "secret")}), CX_CRYPT, ""},
      {"sealed keeps what came before", sheet(wk3, {label(wk3, 0, 0, "open"), sealed(), label(wk3, 1, 0, "x")}),
       CX_CRYPT, "open "},
      {"opcode 2 of release 2 is not a seal", sheet(wk1, {rec(0x02, le(0, 2)), label(wk1, 0, 0, "x")}), 0, "x "},
      {"release 3 label of 600 bytes",
       sheet(wk3, {label(wk3, 0, 0, "before"), label(wk3, 1, 0, std::string(595, 'l'))}), CX_TOOLONG, "before "},
      {"beginning of file of 600 bytes", rec(0x00, std::string(600, '\0')) + label(wk1, 0, 0, "x"), CX_TOOLONG, ""},
      // Files of another release or no worksheet at all are refused rather
      // than read with the wrong table into bytes that are not text.
      {"release 97", release97({label(wk3, 0, 0, "Name"), number(wk3, 1, 1, 12.5)}), CX_NOTFMT, ""},
      {"long beginning of another version", sheet(wk3, {label(wk3, 0, 0, "x")}).replace(4, 2, le(0x1001, 2)), CX_NOTFMT, ""},
      {"beginning of file of 4 bytes", rec(0x00, le(0x0406, 4)) + label(wk1, 0, 0, "x"), CX_NOTFMT, ""},
      {"no beginning of file", label(wk1, 0, 0, "x") + eof(), CX_NOTFMT, ""},
      {"plain text", "just some words of text\r\n", CX_NOTFMT, ""},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::expect(run(c.doc), c.status, c.out, &ft::kinout);
  }
}

// Text is bounded by its record, so a missing NUL never swallows the records
// after it; a cell too short for its fields is dropped with the warning 5.
TEST(Lotus, DamagedRecordsStayWithinTheirLength) {
  const ft::statuscase cases[] = {
      {"release 2 label without NUL", sheet(wk1, {rec(0x0F, addr(wk1, 0, 0) + "'abc"), label(wk1, 0, 1, "next")}), 0,
       "abc next "},
      {"release 3 label without NUL", sheet(wk3, {rec(0x16, addr(wk3, 0, 0) + "'abc"), label(wk3, 0, 1, "next")}), 0,
       "abc next "},
      {"header without NUL", sheet(wk1, {rec(0x26, "Head"), label(wk1, 0, 0, "next")}), 0, "Headnext "},
      {"release 3 string without NUL", sheet(wk3, {rec(0x10, "\1\1str"), label(wk3, 0, 0, "next")}), 0, "strnext "},
      {"number record too short", sheet(wk1, {rec(0x0E, addr(wk1, 0, 0) + "\1\2"), label(wk1, 0, 0, "next")}),
       CX_WARN, "next "},
      {"integer record too short", sheet(wk1, {rec(0x0D, addr(wk1, 0, 0)), label(wk1, 0, 0, "next")}), CX_WARN,
       "next "},
      {"release 3 number too short", sheet(wk3, {number(wk3, 0, 0, 5), rec(0x17, addr(wk3, 1, 0) + "\1")}), CX_WARN,
       "5.00000000000000 "},
      {"release 3 label too short", sheet(wk3, {rec(0x16, "\1"), label(wk3, 0, 0, "next")}), CX_WARN, "next "},
      {"integer record too long", sheet(wk1, {rec(0x0D, addr(wk1, 0, 0) + std::string("\x07\x00zzzz", 6)), label(wk1, 0, 1, "n")}), 0,
       "7 n "},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::expect(run(c.doc), c.status, c.out);
  }
}

// A worksheet cut anywhere converts what it holds and ends with a status.
TEST(Lotus, TruncatedWorksheetsEndWithAStatus) {
  for (kind k : {wk1, wk3}) {
    std::string doc = sheet(k, {label(k, 0, 0, "alpha"), number(k, 1, 0, 1.5), formula(k, 2, 0, 2),
                                rec(0x26, std::string("Head", 5)), label(k, 3, 1, "omega")});
    for (size_t n = 0; n < doc.size(); n++) {
      SCOPED_TRACE(n);
      result r = run(doc.substr(0, n));
      EXPECT_TRUE(r.status == 0 || r.status == CX_WARN) << r.status;
      EXPECT_EQ(r.files, ft::kinout);
    }
  }
}

TEST(Lotus, FrameFailures) { ft::framefailures(LOTUS, sheet(wk1, {label(wk1, 0, 0, "a")})); }

}  // namespace
