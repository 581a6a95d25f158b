// Intermediate records: code packing for every code, parameter writers and
// readers with their edge cases, look-ahead, and a write-then-read round trip.
#include <gtest/gtest.h>

#include "converters/runtime/comcodes.h"
#include "converters/runtime/tests/cxtest.h"

namespace {

// A run whose output goes to a file and whose input is a given byte string.
struct Com : cxtestrun {
  void input(const std::string& bytes) {
    dir.put("i", bytes);
    ASSERT_EQ(cxbufinit(st, cxopen(st, dir.file("i").c_str(), 1, 0), -1, 100), 0);
  }
  std::string rest() {
    std::string s;
    for (int c; (c = cxgetc(st)) != -1;) s += static_cast<char>(c);
    return s;
  }
};

TEST(ComCodes, PackAndUnpackAgreeForEveryCode) {
  cxstate* st = cxteststate();
  for (int code = 1; code <= comcodetop; code++) {
    const char* t = cmunpack(st, code);
    ASSERT_EQ(cmpack(t), code) << code;
  }
  // The ring keeps the 16 most recent results valid.
  const char* first = cmunpack(st, 4388);
  for (int i = 0; i < 15; i++) cmunpack(st, 100 + i);
  EXPECT_STREQ(first, "DID");
  cmunpack(st, 24744);
  EXPECT_STRNE(first, "DID");
  cxfreest(st);
}

TEST(ComCodes, MnemonicsAndStrangers) {
  struct row {
    const char* t;
    int code;
  };
  const row rows[] = {{"DID", 4388}, {"XCS", 19576}, {"UCS", 19573}, {"HEX", 24744},
                      {"SNL", 12755}, {"TAB", 2100},  {"HCB", 2152},  {"CTX", 25219}};
  for (const row& r : rows) EXPECT_EQ(cmpack(r.t), r.code) << r.t;
  // A third character outside the alphabet packs past every number in use.
  EXPECT_GT(cmpack("AB~"), comcodetop);
  EXPECT_EQ(comindex('~'), comalphalen);
  // The one-record emitters' numbers above 15 bits keep their own third
  // character instead of aliasing their low 15 bits (35053 is not 2285).
  const row high[] = {{"MG0", 33005}, {"MG1", 34029}, {"MG2", 35053}, {"MG3", 36077},
                      {"MG4", 37101}};
  char t[4];
  for (const row& r : high) {
    comcodeunpack(r.code, t);
    EXPECT_STREQ(t, r.t) << r.code;
    EXPECT_NE(cmpack(r.t), r.code & comcodemax) << r.t;
  }
  // Past the highest such number the low 15 bits are written, as ever.
  comcodeunpack(65536 + 4388, t);
  EXPECT_STREQ(t, "DID");
}

TEST_F(Com, Writers) {
  output();
  cmputdec(st, 0);
  cmputdec(st, 65535);
  cmputdec(st, -1);
  cmputdec(st, 100);
  cmputdec32(st, 4294967295u);
  cmputdec32(st, 0);
  cmputhex2(st, 0x1F5, 31);
  cmputhex2n(st, 0x0A);
  cmputhex4t(st, 31);
  cmputnib(st, 0xFE);
  EXPECT_EQ(cmputdecn(st, 12345), 5);
  cmputcode(st, 4388);
  std::string want = std::string("0") + US + "65535" + US + "65535" + US + "100" + US +
                     "4294967295" + US + "0" + US + "F5" + US + "0A" + "001F" + US + "E" +
                     "12345" + ESC + GS + "DID" + RS;
  EXPECT_EQ(written(), want);
}

TEST_F(Com, HexReader) {
  input(std::string("00") + US + "00" + RS + "x" + "1f" + US + "A-B" + RS);
  EXPECT_EQ(cmgethex(st), 0);
  EXPECT_EQ(cmgethex(st), -1);
  EXPECT_EQ(cxgetc(st), RS);  // left to be read next
  EXPECT_EQ(cmgethex(st), 0x1F);  // other bytes skipped
  EXPECT_EQ(cmgethex(st), 0xAB);
  EXPECT_EQ(cxgetc(st), RS);
  EXPECT_EQ(cmgethex(st), -1);  // end of input, nothing read
}

TEST_F(Com, DecimalAndCharReaders) {
  input(std::string(1, US) + RS + "12" + RS + "7" + RS + "0" + RS + "ab" + US + "x" + ESC + GS +
        "HEX" + "07" + US + RS + US + "q" + RS + "5");
  EXPECT_EQ(cmgetdec(st), 0);   // US alone
  EXPECT_EQ(cmgetdec(st), -1);  // RS alone
  EXPECT_EQ(cxgetc(st), RS);
  EXPECT_EQ(cmgetdec(st), 12);
  EXPECT_EQ(cxgetc(st), RS);
  EXPECT_EQ(cmgetdec2(st), 7);
  EXPECT_EQ(cxgetc(st), RS);
  EXPECT_EQ(cmgetdec2(st), -1);  // 0 at RS
  EXPECT_EQ(cxgetc(st), RS);
  EXPECT_EQ(cmgetchar(st), 'b');
  EXPECT_EQ(cmgetchar(st), '.');  // a nested record counts as "."
  EXPECT_EQ(cmgetchar(st), -1);   // RS
  EXPECT_EQ(cxgetc(st), RS);
  EXPECT_EQ(cmgetdec(st), 5);     // end of input after digits
  EXPECT_EQ(cmgetdec(st), -1);
}

TEST_F(Com, HexPairReader) {
  input(std::string("4") + US + "4142" + RS + "9" + RS);
  EXPECT_EQ(cmgethex2(st), 4);
  EXPECT_EQ(cmgethex2(st), 0x41);  // two characters, the rest stays
  EXPECT_EQ(cmgethex2(st), 0x42);
  EXPECT_EQ(cmgethex2(st), -1);  // RS with nothing before
  EXPECT_EQ(cxgetc(st), RS);
  EXPECT_EQ(cmgethex2(st), 9);
  EXPECT_EQ(cxgetc(st), RS);
  EXPECT_EQ(cmgethex2(st), -1);
}


TEST_F(Com, SkipTokenStopsAtTheOuterRecord) {
  input(std::string("a") + US + ESC + GS + "HEX" + "01" + US + RS + "b" + US + RS + "after" + RS);
  cmskiptoken(st);
  EXPECT_EQ(rest(), std::string("after") + RS);
}

TEST_F(Com, SkipRsIgnoresNesting) {
  input(std::string("a") + ESC + GS + "HEX" + RS + "b" + RS);
  cmskiprs(st);
  EXPECT_EQ(rest(), std::string("b") + RS);
}

TEST_F(Com, PeekLeavesInputUnchanged) {
  std::string data = std::string("xy") + ESC + GS + "DID" + "4" + US + RS + "text";
  input(data.substr(2));
  EXPECT_EQ(cmpeek(st, 4388), 0);
  EXPECT_EQ(cmpeek(st, 24744), -1);
  EXPECT_EQ(rest(), data.substr(2));
}

TEST_F(Com, Peek2FindsTheFirstRecord) {
  std::string data = std::string("xy") + ESC + GS + "DID" + RS + "t";
  input(data);
  EXPECT_EQ(cmpeek2(st, 4388), 0);
  EXPECT_EQ(cmpeek2(st, 2100), -1);
  EXPECT_EQ(rest(), data);
}

TEST_F(Com, ReadStart) {
  input(std::string(1, ESC) + GS + "DID" + "44" + US + "x" + US + RS + "Hello");
  cmreadstart(st, 0);
  EXPECT_EQ(st->sb->catalogue, 44);
  EXPECT_EQ(rest(), "Hello");
}

TEST_F(Com, ReadStartOnOtherInputChangesNothing) {
  for (std::string data : {std::string("Hello"), std::string(1, ESC) + GS + "HEX" + "01" + US + RS,
                           std::string(1, ESC) + GS + "D"}) {
    cxtestdir d2;
    d2.put("i", data);
    st->sb->catalogue = 9;
    ASSERT_EQ(cxbufinit(st, cxopen(st, d2.file("i").c_str(), 1, 0), -1, 100), 0);
    cmreadstart(st, 0);
    EXPECT_EQ(st->sb->catalogue, 0);
    EXPECT_EQ(rest(), data);
    cxbufend(st);
  }
}

TEST_F(Com, RoundTrip) {
  output();
  cmbegin(st, 4388);
  cmputdec(st, 54);
  cmputhex2(st, 0xAB, 31);
  cmbegin(st, 24744);  // nested
  cmputhex2(st, 7, 31);
  cmend(st);
  cxputc(st, US);  // the nested record is a whole parameter
  cmputdec32(st, 123456789);
  cmend(st);
  cmputcode(st, 12744);
  std::string bytes = written();
  cxregcloseall(st);
  input(bytes);
  EXPECT_EQ(cmpeek(st, 4388), 0);
  EXPECT_EQ(cxgetc(st), ESC);
  EXPECT_EQ(cxgetc(st), GS);
  char t[4] = {};
  for (int i = 0; i < 3; i++) t[i] = static_cast<char>(cxgetc(st));
  EXPECT_EQ(cmpack(t), 4388);
  EXPECT_EQ(cmgetdec(st), 54);
  EXPECT_EQ(cmgethex(st), 0xAB);
  EXPECT_EQ(cmgetchar(st), '.');
  EXPECT_EQ(cmgetdec(st), 123456789);
  EXPECT_EQ(cxgetc(st), RS);
  EXPECT_EQ(cmpeek(st, 12744), 0);
}

}  // namespace
