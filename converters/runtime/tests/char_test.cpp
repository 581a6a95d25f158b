// Character output, code-page conversion and its table, zone marks, and the
// text and byte-order helpers.
#include <gtest/gtest.h>

#include <iconv.h>

#include "converters/runtime/tests/cxtest.h"

namespace {

struct Out : cxtestrun {
  void SetUp() override { output(); }
};

std::string rec(const char* code, const std::string& fields) {
  return std::string(1, ESC) + GS + code + fields + RS;
}

TEST_F(Out, PutCharExamples) {
  ccputchar(st, 65, 437);
  ccputchar(st, 7, 437);
  ccputchar(st, 0x85, 437);
  ccputchar(st, 0xE0, 819);
  ccputchar(st, 0x9E, 850);  // no 437 form: "_"
  ccputchar(st, 0, 437);
  ccputchar(st, 'b', 8591);
  std::string want = std::string("A") + rec("HEX", std::string("07") + US) +
                     rec("UCS", std::string("85") + US) +
                     rec("XCS", std::string("819") + US + "E0" + US) +
                     rec("UCS", std::string("85") + US) +
                     rec("XCS", std::string("850") + US + "9E" + US) + "_" + "_" +
                     rec("XCS", std::string("8591") + US + "62" + US) + "b";
  EXPECT_EQ(written(), want);
}

TEST(CodePages, ConversionExamples) {
  struct row {
    int from, to, c, want;
  };
  const row rows[] = {
      {437, 8592, 0x85, 0x61}, {8592, 437, 0x61, 0x61}, {9998, 437, 0x61, 0xE0},
      {437, 850, 0x9E, 0x00},  {437, 437, 0x9E, 0x9E},  {819, 437, 0xE0, 0x85},
      {437, 9999, 0x80, 0x82}, {850, 437, 0x9E, -1},    {437, 1250, 0x80, -1},
      {1250, 437, 0x41, 0x41}, {1250, 437, 0x80, -1}, {819, 437, 0x93, 0x22},  {9999, 819, 0xD2, 0x93},
      {437, 819, 0x07, 0x95},  {9997, 437, 3, 'I'},     {437, 9998, 'a', -1},
  };
  for (const row& r : rows)
    EXPECT_EQ(cxcpconv(nullptr, r.from, r.to, r.c), r.want) << r.from << "->" << r.to << " " << r.c;
  EXPECT_EQ(cxcpindex(nullptr, 8592), 6);
  EXPECT_EQ(cxcpindex(nullptr, 866), -1);
}

// The code point of one byte of a code page, through the C library's iconv.
long decode(const char* charset, unsigned char b) {
  iconv_t cd = iconv_open("UCS-4LE", charset);
  if (cd == reinterpret_cast<iconv_t>(-1)) return -2;
  char in[1] = {static_cast<char>(b)};
  unsigned char out[8] = {};
  char* ip = in;
  char* op = reinterpret_cast<char*>(out);
  size_t il = 1, ol = sizeof out;
  size_t r = iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1) || ol != 4) return -1;
  return out[0] | (out[1] << 8) | (out[2] << 16) | (long{out[3]} << 24);
}

TEST(CodePages, TableAgreesWithTheCodecs) {
  // The rows the system fixes are kept as they are.
  const unsigned char fixed[][10] = {
      {0, 0x80, 0x82, 0x80, 0xC7, 0xC7, 0x00, 0xC7, 0x00, 0x5F},
      {5, 0x85, 0x88, 0x85, 0xE0, 0xE0, 0x00, 0x61, 0x00, 0x1F},
      {30, 0x9E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01},
      {96, 0xE0, 0x61, 0x61, 0x00, 0x00, 0x61, 0x00, 0x00, 0x21},
      {127, 0x07, 0xA1, 0x07, 0x95, 0x2A, 0xB7, 0x2A, 0x00, 0x2F},
      {155, 0x22, 0xD2, 0x22, 0x93, 0x22, 0x22, 0x22, 0x00, 0x0A}};
  for (const auto& f : fixed)
    for (int i = 0; i < 9; i++) EXPECT_EQ(cxcptab[f[0]][i], f[i + 1]) << "row " << int(f[0]);
  for (int r = 220; r < 268; r++) EXPECT_EQ(cxcptab[r][8], 0x40) << r;
  for (int r = 268; r < 275; r++) {
    EXPECT_EQ(cxcptab[r][8], 0x80);
    EXPECT_EQ(cxcptab[r][7], r - 267);
  }
  for (int r = 0; r < 127; r++) EXPECT_EQ(cxcptab[r][0], 0x80 + r);
  // Every exact cell of the other rows names the same character in its code
  // page (437's bytes below 32 are glyphs the codec does not know; the Symbol
  // font has no codec here).
  const char* charsets[8] = {"CP437", "MACINTOSH", "CP850", "CP1252",
                             "ISO-8859-1", nullptr, "ISO-8859-2", nullptr};
  auto isfixed = [&](int r) {
    for (const auto& f : fixed)
      if (f[0] == r) return true;
    return false;
  };
  int checked = 0;
  for (int r = 0; r < CX_CPROWS; r++) {
    if (isfixed(r)) continue;
    long cp = -1;
    for (int c = 0; c < 8; c++) {
      if (!(cxcptab[r][8] & (1 << c)) || !charsets[c]) continue;
      if (c == 0 && cxcptab[r][0] < 0x80) continue;
      long u = decode(charsets[c], cxcptab[r][c]);
      ASSERT_GE(u, 0) << "row " << r << " column " << c;
      if (cp < 0) cp = u;
      EXPECT_EQ(u, cp) << "row " << r << " column " << c;
      checked++;
    }
  }
  EXPECT_GT(checked, 500);
}

TEST(CodePages, ExactCellsReachTheirRow) {
  // Looking a row's exact byte up from its column finds that row or an
  // earlier one holding the same character.
  for (int r = 0; r < CX_CPROWS; r++)
    for (int c = 0; c < 8; c++) {
      if (!(cxcptab[r][8] & (1 << c))) continue;
      int b = cxcptab[r][c];
      int from = (int[]){437, 9999, 850, 819, 8591, 9998, 8592, 9997}[c];
      for (int t = 0; t < 8; t++) {
        int to = (int[]){437, 9999, 850, 819, 8591, 9998, 8592, 9997}[t];
        int got = cxcpconv(nullptr, from, to, b);
        if (from == to || (b >= 32 && b <= 127 && c != 5 && c != 7 && t != 5 && t != 7)) continue;
        EXPECT_GE(got, 0) << r << " " << c << " " << t;
      }
    }
}

TEST_F(Out, ZoneMarks) {
  const char* name = "zones";
  std::string zpath = dir.file(name);
  st->mn->zonefile = static_cast<char*>(cxalloc(st, zpath.size() + 1));
  std::strcpy(st->mn->zonefile, zpath.c_str());
  ASSERT_EQ(cxzoneopen(st), 0);
  cxzonemark(st, 7, 1);  // nothing written yet: no line
  cxputn(st, 0, "abcde", 5);
  cxzonemark(st, 9, 1);  // 0..4 under 7
  cxzonemark(st, 9, 0);  // closed right after its open: no line
  cxputn(st, 0, "xyz", 3);
  cxunputc(st);
  cxzonemark(st, 3, 0);  // pops 7: 5..6
  cxputc(st, 'q');
  cxunputc(st);
  cxunputc(st);
  cxzonemark(st, 0, 0);  // empty stack, count below the mark: 7..7 under -1
  cxzoneclose(st);
  EXPECT_EQ(dir.get(name), "0, 4, 7\r\n5, 6, 7\r\n7, 7, -1\r\n");
  ::unlink(zpath.c_str());
  written();
}

TEST(Text, Helpers) {
  char buf[64];
  EXPECT_STREQ(ccitoa(nullptr, -45, buf, 10), "-45");
  EXPECT_STREQ(ccitoa(nullptr, 0, buf, 10), "0");
  EXPECT_STREQ(ccitoa(nullptr, INT32_MIN, buf, 10), "-2147483648");
  char field[4];
  cxstrnpad(nullptr, field, "ab", 4);
  EXPECT_EQ(std::string(field, 4), std::string("ab\0\0", 4));
  cxstrnpad(nullptr, field, "abcdef", 4);
  EXPECT_EQ(std::string(field, 4), "abcd");
  EXPECT_EQ(cxstrncmp(nullptr, "abc", "abd", 2), 0);
  EXPECT_LT(cxstrncmp(nullptr, "abc", "abd", 3), 0);
  EXPECT_EQ(cxstrncmp(nullptr, "ab", "ab", 5), 0);
  EXPECT_GT(cxstrncmp(nullptr, "abc", "ab", 5), 0);
  EXPECT_EQ(ccstrnicmp(nullptr, "HeLLo", "hello", 5), 0);
  EXPECT_EQ(ccstricmp(nullptr, "Word", "WORD"), 0);
  EXPECT_NE(ccstricmp(nullptr, "Word", "WORDS"), 0);
  const char* t = "a Title here";
  EXPECT_EQ(ccstrpbrk(nullptr, t, "TITLE"), t + 2);
  EXPECT_EQ(ccstristr(nullptr, t, "none"), nullptr);
  char up[] = "MiXed 1";
  EXPECT_STREQ(cxstrlwr(nullptr, up), "mixed 1");
  EXPECT_STREQ(cxstrupr(nullptr, up), "MIXED 1");
  EXPECT_EQ(cxstrlwr(nullptr, nullptr), nullptr);
  char path[16] = "abc";
  EXPECT_EQ(ccstrrev(nullptr, path), 1);
  EXPECT_STREQ(path, "cba");
}

TEST(Text, ByteOrder) {
  const unsigned char b[4] = {0x12, 0x34, 0xFE, 0xFF};
  EXPECT_EQ(ccget16(nullptr, b + 2, 0), -2);
  EXPECT_EQ(ccgetu16(nullptr, b + 2, 0), 0xFFFE);
  EXPECT_EQ(ccgetu16(nullptr, b, 1), 0x1234);
  EXPECT_EQ(ccget32(nullptr, b, 0), static_cast<int32_t>(0xFFFE3412u));
  EXPECT_EQ(ccget32(nullptr, b, 1), 0x1234FEFF);
  unsigned char o[4];
  ccput16(nullptr, 0x1234, o, 1);
  EXPECT_EQ(o[0], 0x12);
  ccput32(nullptr, 0x01020304, o, 0);
  EXPECT_EQ(o[0], 4);
  EXPECT_EQ(ccget32(nullptr, o, 0), 0x01020304);
  EXPECT_EQ(ccswap16(nullptr, 0x1234, 1), 0x3412);
  EXPECT_EQ(ccswap16(nullptr, 0x1234, 0), 0x1234);
  EXPECT_EQ(ccswap32(nullptr, 0x01020304, 1), 0x04030201);
}

}  // namespace
