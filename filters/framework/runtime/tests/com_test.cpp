// The intermediate record format: code packing for every number, the field
// encodings of the writer primitives, and the field readers' rules at US,
// RS and the end of the input, with the record skips.
#include <gtest/gtest.h>

#include <functional>

#include "filters/framework/runtime/tests/cvtest.h"

namespace {

TEST(Com, EveryNumberPacksAndUnpacksToItself) {
  char t[4];
  for (int code = 1; code <= comcodetop; code++) {
    cwcodeunpack(code, t);
    ASSERT_EQ(cwcodepack(t), code) << code;
  }
  const struct {
    int code;
    const char* letters;
  } rows[] = {{4388, "DID"},  {12744, "HNL"}, {12755, "SNL"}, {2100, "TAB"}, {24744, "HEX"},
              {19573, "UCS"}, {19576, "XCS"}, {3149, "MBC"},  {422, "FM@"}, {33005, "MG0"},
              {35053, "MG2"}, {37101, "MG4"}, {2285, "MGB"}};
  for (const auto& r : rows) {
    cwcodeunpack(r.code, t);
    EXPECT_STREQ(t, r.letters) << r.code;
  }
}

TEST(Com, FieldEncodings) {
  const struct {
    const char* what;
    std::function<void(cvrun*)> write;
    std::string want;
  } rows[] = {
      {"int 0", [](cvrun* r) { cwparint(r, 0); }, "0\x1F"},
      {"int -5", [](cvrun* r) { cwparint(r, -5); }, "-5\x1F"},
      {"int 32767", [](cvrun* r) { cwparint(r, 32767); }, "32767\x1F"},
      {"int 100", [](cvrun* r) { cwparint(r, 100); }, "100\x1F"},
      {"uint 65535", [](cvrun* r) { cwparuint(r, 65535); }, "65535\x1F"},
      {"long min", [](cvrun* r) { cwparlong(r, INT32_MIN); }, "-2147483648\x1F"},
      {"ulong max", [](cvrun* r) { cwparulong(r, 4294967295u); }, "4294967295\x1F"},
      {"pos -1", [](cvrun* r) { cwparpos(r, -1); }, "A\x1F"},
      {"pos -300", [](cvrun* r) { cwparpos(r, -300); }, "A\x1F"},
      {"pos 1440", [](cvrun* r) { cwparpos(r, 1440); }, "1440\x1F"},
      {"hex2 low byte", [](cvrun* r) { cwparhex2(r, 0x1F5); }, "F5\x1F"},
      {"hex4 31", [](cvrun* r) { cwparhex4(r, 31); }, "001F\x1F"},
      {"hex8", [](cvrun* r) { cwparhex8(r, 0xC0FFEE); }, "00C0FFEE\x1F"},
      {"bare pieces", [](cvrun* r) { cwdigits(r, 7); cwhex2(r, 0xAB); cwhex4(r, 0x1); cwhex8(r, 0xFFFFFFFF); },
       "7AB0001FFFFFFFF"},
      {"empty record", [](cvrun* r) { cwrecone(r, 12744); }, "\x1B\x1DHNL\x1E"},
      {"record", [](cvrun* r) { cwrecbeg(r, 19576); cwparint(r, 850); cwparhex2(r, 0x80); cwrecend(r); },
       "\x1B\x1DXCS" "850\x1F" "80\x1F\x1E"},
  };
  for (const auto& row : rows) {
    cvtestrun t;
    row.write(t.run);
    EXPECT_EQ(t.com(), row.want) << row.what;
  }
  cvtestrun t;
  EXPECT_EQ(cwdigits(t.run, 12345), 5);
  EXPECT_EQ(cwdigits(t.run, 0), 1);
  EXPECT_EQ(cwhexdigit(0x1C), 'C');
}

TEST(Com, FieldReaders) {
  const std::string US = "\x1F", RS = "\x1E";
  const struct {
    const char* reader;
    int (*read)(cvrun*);
    std::string input;
    int want;
    std::string rest;
  } rows[] = {
      {"hex", cwgethex, "1F" + US + "x", 31, "x"},
      {"hex", cwgethex, "1f" + RS, 31, RS},
      {"hex", cwgethex, "0" + RS, -1, RS},
      {"hex", cwgethex, "A-B" + US, 0xAB, ""},
      {"hex", cwgethex, "c", 12, ""},
      {"hex", cwgethex, "", -1, ""},
      {"hex2", cwgethex2, "1F" + US, 31, US},
      {"hex2", cwgethex2, "F" + US + "x", 15, "x"},
      {"hex2", cwgethex2, US, -1, ""},
      {"hex2", cwgethex2, RS, -1, RS},
      {"hex2", cwgethex2, "x" + RS, 0, RS},
      {"hex2", cwgethex2, "", -1, ""},
      {"int", cwgetint, "-5" + US, -5, ""},
      {"int", cwgetint, "12" + RS, 12, RS},
      {"int", cwgetint, "0" + RS, 0, RS},
      {"int", cwgetint, RS, -1, RS},
      {"int", cwgetint, "-" + RS, -1, RS},
      {"int", cwgetint, "x5" + US, 5, ""},
      {"int", cwgetint, "-3", -3, ""},
      {"int", cwgetint, "0", -1, ""},
      {"uint", cwgetuint, "65535" + US, 65535, ""},
      {"uint", cwgetuint, "0" + RS, 0, RS},
      {"uint", cwgetuint, RS, -1, RS},
      {"uint", cwgetuint, "0", -1, ""},
      {"int2", cwgetint2, "-5" + US, -5, ""},
      {"int2", cwgetint2, "0" + RS, -1, RS},
      {"int2", cwgetint2, "-4" + RS, -4, RS},
      {"int2", cwgetint2, "-4", -4, ""},
      {"uint2", cwgetuint2, "0" + US, 0, ""},
      {"uint2", cwgetuint2, "0" + RS, -1, RS},
      {"uint2", cwgetuint2, "9" + RS, 9, RS},
      {"uint2", cwgetuint2, "", -1, ""},
  };
  for (const auto& r : rows) {
    cvtestrun t;
    t.input(r.input);
    EXPECT_EQ(r.read(t.run), r.want) << r.reader << " " << comshow(r.input);
    EXPECT_EQ(t.rest(), r.rest) << r.reader << " " << comshow(r.input);
  }
}

TEST(Com, SkippingRecords) {
  std::string nested = "a" + comrec(20899, {"x" + comrec(19573, {"82"}) + "y"}) + "b";
  cvtestrun t;
  t.input(nested.substr(6) + "after");  // inside the outer record, after its code
  EXPECT_EQ(cwskiprec(t.run), 0);
  EXPECT_EQ(t.rest(), "bafter");
  t.input(nested.substr(6), 256, "again");
  EXPECT_EQ(cwskiptors(t.run), 0);
  EXPECT_EQ(t.rest(), "y\x1F\x1E" "b");
  t.input("no end", 256, "cut");
  EXPECT_EQ(cwskiprec(t.run), 0);
  EXPECT_EQ(t.rest(), "");
  EXPECT_EQ(comshow(nested), "a[CMT x[UCS 82]y]b");
}

}  // namespace
