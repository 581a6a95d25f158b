// The format recogniser over hand-built buffers: for every format test a
// buffer it accepts, the same buffer one byte below the test's minimum
// length, and a near miss; then the edge cases of the scan as a whole.
// Buffers are exact-size heap blocks, so a read past one trips the sanitizer.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "converters/runtime/rcg.h"
#include "converters/runtime/tests/cxtest.h"
#include "converters/runtime/tests/dftest.h"

namespace {

using bytes = std::vector<uint8_t>;

// A buffer of n bytes filled with one value, then patched.
struct mk {
  bytes b;
  explicit mk(size_t n, uint8_t fill = 0x90) : b(n, fill) {}
  explicit mk(const std::string &text) : b(text.begin(), text.end()) {}
  explicit mk(const bytes &from) : b(from) {}
  // Raw bytes at off (the text's characters as they stand).
  mk &at(size_t off, const std::string &s) {
    if (b.size() < off + s.size()) b.resize(off + s.size(), 0x90);
    for (size_t i = 0; i < s.size(); ++i) b[off + i] = static_cast<uint8_t>(s[i]);
    return *this;
  }
  // Hexadecimal bytes ("00 05 E1") at off.
  mk &hex(size_t off, const char *h) {
    std::string s;
    for (const char *p = h; *p;) {
      if (*p == ' ') {
        ++p;
        continue;
      }
      s.push_back(static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16)));
      p += 2;
    }
    return at(off, s);
  }
  mk &set(size_t off, uint8_t v) { return at(off, std::string(1, static_cast<char>(v))); }
  mk &fill(size_t from, size_t to, uint8_t v) {
    for (size_t i = from; i < to && i < b.size(); ++i) b[i] = v;
    return *this;
  }
  mk &len(size_t n) {
    b.resize(n, 0x90);
    return *this;
  }
  operator bytes() const { return b; }
};

std::string u16(const std::string &s) {
  std::string out;
  for (char c : s) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

struct detected {
  int code;
  int32_t sub;
};

detected detect(const bytes &b, int hint = 0) {
  cxstate *st = rcgnew();
  EXPECT_NE(st, nullptr);
  // An exact-size copy: the sanitizer sees any read past its end.
  uint8_t *copy = b.empty() ? nullptr : new uint8_t[b.size()];
  if (copy) std::copy(b.begin(), b.end(), copy);
  int32_t sub = 12345;
  int code = rcgdetect(st, copy, static_cast<int32_t>(b.size()), hint, &sub);
  delete[] copy;
  rcgfree(st);
  return {code, sub};
}

struct row {
  const char *name;
  bytes buf;
  int code;
  int32_t sub;
  size_t minlen;   // the test's minimum length; 0 when it states none
  int shortcode;   // the scan's result one byte below the minimum
  int hint;
};

std::string lines(const std::string &line, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += line;
  return s;
}

// Ten WordPerfect 4 codes D1 x x x FF spread through letters.
bytes wp4doc(const std::string &head = "") {
  mk m(std::string(400, 'a'));
  for (int i = 0; i < 10; ++i) m.hex(10 + 20 * i, "D1 41 42 43 FF");
  m.at(0, head);
  return m;
}

// A row of MacPaint: one run header standing for n copies of a byte.
mk macpaint(size_t start, int rowbytes) {
  mk m(1024, 0x00);
  for (int r = 0; r < 4; ++r) m.set(start + 2 * r, static_cast<uint8_t>(257 - rowbytes)).set(start + 2 * r + 1, 0xAA);
  return m;
}

bytes cgm(int commands) {
  mk m(200, 0x00);
  m.hex(0, "00 20");
  for (int i = 0; i < commands; ++i)
    m.set(2 + 32 * i, static_cast<uint8_t>(0x10)).set(3 + 32 * i, static_cast<uint8_t>(((i + 1) << 5) | 30));
  return m;
}

bytes iges(char lastletter) {
  std::string s;
  for (int i = 0; i < 4; ++i) {
    std::string l(72, ' ');
    l += (i == 3 ? lastletter : 'S');
    l += "0000001\n";
    s += l;
  }
  return mk(s + std::string(20, ' '));
}

bytes wpmac1(int codes) {
  mk m(std::string(200, 'a'));
  for (int i = 0; i < codes; ++i) m.hex(4 + 8 * i, "C1 20 20 C1");
  return m;
}

bytes dirbuf(const std::string &name, const char *left = "FF FF FF FF", size_t at = 128, size_t n = 512) {
  mk m(n, 0x00);
  m.at(at, u16(name)).hex(at + 68, left);
  return m;
}

const std::vector<row> &rows() {
  static const std::vector<row> r = {
      // name, buffer, code, sub, minimum length, code one byte short, hint
      {"dca-rft", mk(64).hex(0, "00 05 E1 03 00").hex(7, "E2 05"), 15, 0, 10, 0, 0},
      {"dca-rft 2", mk(64).hex(0, "80 00 00 09 20"), 15, 2, 10, 0, 0},
      {"dca-rft near", mk(64).hex(0, "00 05 E1 03 00").hex(7, "E2 06"), 0, 0, 0, 0, 0},
      {"wp6", mk(64).hex(0, "FF 57 50 43").hex(8, "01 0A 02 00"), 48, 0, 16, 0, 0},
      {"wp6 sub 1", mk(64).hex(0, "FF 57 50 43").hex(8, "01 0A 02 01"), 48, 1, 16, 0, 0},
      {"wp5", mk(64).hex(0, "FF 57 50 43 10 00 00 00").hex(8, "01 0A 00 01").fill(16, 64, 'a'), 7, 1, 16, 0, 0},
      {"wp5.1 merge", mk(64).hex(0, "FF 57 50 43 10 00 00 00").hex(8, "01 0A 01 05").hex(16, "DE 31 00 00").fill(20, 64, 'a'), 707, 1, 16, 0, 0},
      {"wp5 odd byte 11", mk(64).hex(0, "FF 57 50 43 10 00 00 00").hex(8, "01 0A 01 05").fill(16, 64, 'a'), 1, 0, 0, 0, 0},
      {"wpg 1", mk(64).hex(0, "FF 57 50 43").hex(8, "01 16 01"), 606, 0, 16, 0, 0},
      {"wpg 2", mk(64).hex(0, "FF 57 50 43").hex(8, "01 16 02"), 615, 0, 16, 0, 0},
      {"wp near", mk(64).hex(0, "FF 57 50 43").hex(8, "02 0A 02 00"), 0, 0, 0, 0, 0},
      {"multimate", mk(1100).at(0, "MULTIMAT").set(507, 0).set(510, 1).set(406, '/').set(409, '/').set(414, '/').set(417, '/').set(420, 0).len(1028), 10, 1, 1028, 0, 0},
      {"multimate 3", mk(1100).at(0, "MULTIMAT").set(507, 0).set(510, 0).set(1028, 0xB3).set(406, '/').set(409, '/').set(414, '/').set(417, '/').set(420, 7), 10, 3, 0, 0, 0},
      {"multimate near", mk(1100).at(0, "MULTIMAT").set(507, 0).set(510, 0).set(406, '/').set(409, '/').set(414, '/').set(417, '/'), 0, 0, 0, 0, 0},
      {"write", mk(128).hex(0, "31 BE 00 00 00 AB").set(96, 1), 43, 0, 128, 0, 0},
      {"word dos", mk(128).hex(0, "31 BE 00 00 00 AB").hex(96, "00 00").hex(106, "00 00"), 5, 0, 128, 0, 0},
      {"word dos 2", mk(128).hex(0, "32 BE 00 00 00 AB").hex(96, "00 00").hex(106, "01 00").hex(28, "01 00").hex(116, "01 00"), 5, 2, 128, 0, 0},
      {"word dos 1", mk(128).hex(0, "32 BE 00 00 00 AB").hex(96, "00 00").hex(106, "01 00").hex(28, "01 00").hex(116, "00 00 00 00"), 5, 1, 128, 0, 0},
      {"word dos near", mk(128).hex(0, "33 BE 00 00 00 AB"), 0, 0, 0, 0, 0},
      {"officewriter", mk(1536).at(0, "4.0").set(512, 0xB3).set(1024, 0xB3), 16, 0, 1536, 0, 0},
      {"officewriter 6", mk(1536).at(0, "6.0").set(512, 0xB3).set(1024, 0xB3), 16, 2, 1536, 0, 0},
      {"officewriter near", mk(1536).at(0, "7.0").set(512, 0xB3).set(1024, 0xB3), 0, 0, 0, 0, 0},
      {"q&a", mk(40).at(0, "TBWP").set(4, 0).set(26, 0x1A).set(35, 4), 23, 1, 40, 0, 0},
      {"q&a near", mk(40).at(0, "TBWP").set(4, 0).set(26, 0x1B), 0, 0, 0, 0, 0},
      {"enable", mk(10).hex(0, "01 CD AB").set(5, 0x20), 28, 0, 10, 0, 0},
      {"enable near", mk(10).hex(0, "01 CD AB").set(5, 0x49), 0, 0, 0, 0, 0},
      {"pfs first choice 3", mk(660).at(8, "\x0CGERBILDOC3"), 8, 5, 660, 0, 0},
      {"pfs write", mk(660).at(8, "\x0CGERBILDOC ").set(502, 1), 8, 2, 660, 0, 0},
      {"pfs type 3", mk(660).at(640, std::string("\x06TYPE 3\x00\x04" "2.", 11)), 8, 1, 660, 0, 0},
      {"pfs near", mk(660).at(640, std::string("\x06TYPE 5\x00\x04" "2.", 11)), 0, 0, 0, 0, 0},
      {"first choice db", mk(660).at(8, "\x0CGERBILDB"), 708, 0, 660, 0, 0},
      {"first choice db near", mk(660).at(8, "\x0CGERBILDX"), 0, 0, 0, 0, 0},
      {"wordstar 2000", mk(10).at(2, "WS2000"), 9, 0, 10, 0, 0},
      {"wordstar 2000 near", mk(10).at(2, "WS2001"), 0, 0, 0, 0, 0},
      {"digital dx", mk(20).at(2, "_x_ _x___"), 30, 0, 20, 0, 0},
      {"digital dx near", mk(20).at(2, "_x_ _x_-_"), 0, 0, 0, 0, 0},
      {"ibm writing assistant", mk(700).hex(640, "06 49 42 4D 20 20 20 00 04 31 2E"), 13, 0, 700, 0, 0},
      {"ibm writing assistant near", mk(700).hex(640, "06 49 42 4D 20 20 20 00 04 32 2E"), 0, 0, 0, 0, 0},
      {"rtf", mk("{\\rtf1\\ansi\\deff0 x}"), 19, 1, 10, 1, 0},
      {"rtf 0", mk("{\\RtF0\\ansi x}"), 19, 0, 10, 1, 0},
      {"rtf near", mk("{\\rtx1\\ansi x}"), 1, 0, 0, 0, 0},
      {"word 2", mk(30).hex(0, "9B A5").hex(24, "80 01 00 00"), 44, 0, 30, 0, 0},
      {"word 1", mk(30).hex(0, "DB A5").hex(24, "80 01 00 00"), 44, 1, 30, 0, 0},
      {"word 2 near", mk(30).hex(0, "9C A5").hex(24, "80 01 00 00"), 0, 0, 0, 0, 0},
      {"ami pro", mk("[ver]\r\n\t4\r\n[sty]\r\n"), 33, 0, 15, 1, 0},
      {"ami pro lf", mk("[ver]\n\t4\n[sty]\n\t\n"), 33, 0, 15, 1, 0},
      {"ami pro later", mk("\r\n\r\n[ver]\r\n\t4\r\n"), 33, 0, 15, 1, 0},
      {"ami pro near", mk("[vex]\r\n\t4\r\n[sty]\r\n"), 1, 0, 0, 0, 0},
      {"lotus wk1", mk(30).hex(0, "00 00 02 00 06 04"), 20, 1, 30, 0, 0},
      {"lotus wk1 as found", mk(30).hex(0, "00 00 02 00 06 05"), 20, 0, 30, 0, 0},
      {"lotus wk3", mk(30).hex(0, "00 00 1A 00 02 10 04 00").set(20, 1), 20, 3, 30, 0, 0},
      {"lotus wk3 2", mk(30).hex(0, "00 00 1A 00 00 10 04 00").set(20, 1), 20, 2, 30, 0, 0},
      {"lotus near", mk(30).hex(0, "00 00 02 00 0C 04"), 0, 0, 0, 0, 0},
      {"excel biff4", mk(10).hex(0, "09 00 04 00 02 00 10 00"), 21, 0, 10, 1, 0},
      {"excel biff2", mk(10).hex(0, "09 02 06 00 00 00 10 00"), 21, 1, 10, 1, 0},
      {"excel biff3", mk(10).hex(0, "09 04 06 00 00 00 10 00"), 21, 2, 10, 1, 0},
      {"excel near", mk(10).hex(0, "09 03 06 00 00 00 10 00"), 1, 0, 0, 0, 0},
      {"framework", mk(40).hex(6, "ED FB").hex(12, "C9 00").hex(24, "02 00"), 29, 0, 40, 0, 0},
      {"framework near", mk(40).hex(6, "ED FB").hex(12, "C8 00").hex(24, "02 00"), 0, 0, 0, 0, 0},
      {"rapid file", mk(10).hex(0, "6D B3 35 88 04"), 25, 0, 10, 0, 0},
      {"rapid file 2", mk(10).hex(0, "05 A2 64 B0 04"), 25, 0, 10, 0, 0},
      {"rapid file near", mk(10).hex(0, "05 A2 64 B0 05"), 0, 0, 0, 0, 0},
      {"wang pc", mk(1152, 0xFF).set(1024, 0x86), 26, 0, 0, 0, 0},
      {"wang pc zeros", mk(1152, 0x41).fill(0, 128, 0).set(1024, 0x86), 26, 0, 1152, 0, 0},
      {"wang pc near", mk(1152, 0x41).fill(0, 127, 0).set(1024, 0x86), 0, 0, 0, 0, 0},
      {"samna", mk(10).hex(0, "1A 53").hex(4, "03 00"), 22, 0, 10, 0, 0},
      {"samna near", mk(10).hex(0, "1A 53").hex(4, "04 00"), 0, 0, 0, 0, 0},
      {"manuscript", mk(10).at(0, "*R1"), 24, 0, 10, 0, 0},
      {"manuscript 2", mk(10).at(0, "*R2\r\n"), 24, 0, 10, 0, 0},
      {"manuscript near", mk(10).at(0, "*R3"), 0, 0, 0, 0, 0},
      {"dca-fft", mk(10).hex(0, "2B D2 04 85").hex(6, "2B D1"), 32, 0, 10, 0, 0},
      {"dca-fft at 1", mk(10).hex(1, "2B D2 04 85").hex(7, "2B D4"), 32, 0, 10, 0, 0},
      {"dca-fft hinted prefix", mk(10).hex(0, "2B D2 04 85"), 32, 0, 10, 0, 32},
      {"dca-fft near", mk(10).hex(0, "2B D2 04 85").hex(6, "2B D3"), 0, 0, 0, 0, 0},
      {"mac word 4", mk(40).hex(0, "FE 34").set(9, 0).set(10, 1), 54, 0, 40, 0, 0},
      {"mac word 5", mk(40).hex(0, "FE 37").hex(20, "00 00 01 00"), 54, 1, 40, 0, 0},
      {"mac word 5.1", mk(200).hex(0, "FE 37").hex(20, "00 00 02 00"), 54, 2, 40, 0, 0},
      {"mac word near", mk(40).hex(0, "FE 34").set(9, 0).set(10, 2), 0, 0, 0, 0, 0},
      {"macwrite", mk(20).hex(0, "00 06 00 02 00 0A 00 0A").hex(14, "00 00"), 51, 0, 20, 0, 0},
      {"macwrite near", mk(20).hex(0, "00 06 00 02 20 20 00 0A").hex(14, "00 00"), 0, 0, 0, 0, 0},
      {"macwrite ii", mk(150).hex(0, "00 2E").hex(135, "06 12 00").set(140, 1), 52, 0, 150, 0, 0},
      {"macwrite ii near", mk(150).hex(0, "00 2E").hex(135, "06 12 02").set(140, 1), 0, 0, 0, 0, 0},
      {"interleaf 8", mk("<!OPS, Version = 8.0>\n"), 46, 0, 10, 1, 0},
      {"interleaf 5", mk("<!ops, Version = 5.0>\n"), 35, 0, 10, 1, 0},
      {"interleaf no byte 17", mk("<!OPS, Ver"), 46, 0, 10, 1, 0},
      {"interleaf near", mk("<!OPX, Version = 8.0>\n"), 1, 0, 0, 0, 0},
      {"wp mac 2", mk(20).hex(0, "FF 57 50 43").hex(8, "01 2C 02 01"), 60, 1, 20, 0, 0},
      {"wp mac 3", mk(20).hex(0, "FF 57 50 43").hex(8, "01 2C 03 00"), 60, 2, 20, 0, 0},
      {"wp mac near", mk(20).hex(0, "FF 57 50 43").hex(8, "01 2C 04 00"), 0, 0, 0, 0, 0},
      {"com", mk(10).hex(0, "1B 1D 44 49 44"), 3, 0, 10, 0, 0},
      {"com over text", mk("\x1B\x1D" "DID plain words follow here\r\n"), 3, 0, 10, 1, 0},
      {"com near", mk(10).hex(0, "1B 1D 44 49 45"), 0, 0, 0, 0, 0},
      {"navy dif", mk(lines("\x1B[0$Kx", 4) + "abc"), 18, 0, 0, 0, 0},
      {"navy dif near", mk(lines("\x1B[0$Kx", 3) + "\x1B[9$K" + "abc"), 1, 0, 0, 0, 0},
      {"mass 11 header", mk(500).at(0, std::string("Z\x00", 2)).hex(92, "C9 00").hex(296, "C9 00"), 31, 0, 500, 0, 0},
      {"mass 11 lines", mk(std::string(500, 'a')).set(90, '\n').set(292, '\n').set(494, '\n'), 31, 0, 500, 1, 0},
      {"mass 11 near", mk(500).at(0, std::string("Z\x00", 2)).hex(92, "C9 00").hex(296, "C9 01"), 0, 0, 0, 0, 0},
      {"dbase kind 1", mk(100).hex(0, "03 7A 01 01").hex(8, "41 00").set(64, 0x0D), 770, 1, 65, 0, 0},
      {"dbase kind 0", mk(100).hex(0, "03 7A 01 01").hex(8, "42 00").set(64, 0x0D), 770, 0, 65, 0, 0},
      {"dbase fields", mk(128, 0).hex(0, "03 7A 01 01").hex(8, "A1 00").at(32, "NAME").set(43, 'C').at(64, "DATE").set(75, 'D').at(96, "SUM").set(107, 'N'), 770, 0, 0, 0, 0},
      {"dbase near", mk(100).hex(0, "03 7A 01 01").hex(8, "43 00").set(64, 0x0D), 0, 0, 0, 0, 0},
      {"paradox fields", mk(128).hex(0, "1E 00").set(100, 3).hex(121, "0F 00 0F"), 703, 1, 128, 0, 0},
      {"paradox m", mk(128).hex(0, "28 00").set(100, 0).set(33, 2).hex(89, "14 00 14"), 703, 0, 128, 0, 0},
      {"paradox near", mk(128).hex(0, "28 00").set(100, 0).set(33, 2).hex(89, "14 00 13"), 0, 0, 0, 0, 0},
      {"access", mk(1035).at(1030, "Rich\t"), 771, -1, 1035, 0, 0},
      {"access near", mk(1035).at(1030, "Rich "), 0, 0, 0, 0, 0},
      {"wordstar header 5", mk(128).hex(0, "1D 7D 00 00 50").hex(125, "7D 00 1D"), 4, 3, 128, 0, 0},
      {"wordstar header 7", mk(128).hex(0, "1D 7D 00 00 70").hex(125, "7D 00 1D"), 4, 6, 128, 0, 0},
      {"wordstar header near", mk(128).hex(0, "1D 7D 00 00 51").hex(125, "7D 00 1D"), 0, 0, 0, 0, 0},
      {"legacy 4", mk("# VE # 4.0\r\n"), 37, 0, 11, 1, 0},
      {"legacy 5", mk("# VV # 5.0\r\n"), 37, 1, 11, 1, 0},
      {"legacy 2", mk(11).hex(0, "55 CE 49 D0 4C C5 58 06 63 23"), 37, 2, 11, 0, 0},
      {"legacy near", mk("# VE # 4.1\r\n"), 1, 0, 0, 0, 0},
      {"mif", mk("<MIFFile 3.00> # x\n"), 42, 0, 10, 1, 0},
      {"mif near", mk("<MIFFILE 3.00> # x\n"), 1, 0, 0, 0, 0},
      {"xif", mk("\x8F" "xmdi/ rest of it"), 103, 0, 0, 0, 0},
      {"xif interpress", mk("Interpress/Xerox/3.0 "), 103, 0, 0, 0, 0},
      {"xif near", mk("Interpress/Xerix/3.0 "), 1, 0, 0, 0, 0},
      {"officepower 6", mk(12).hex(0, "1B").at(3, "6.0"), 102, 0, 0, 0, 0},
      {"officepower 7", mk(12).hex(0, "1B").at(8, "7.0"), 102, 1, 0, 0, 0},
      {"officepower near", mk(12).hex(0, "1C").at(8, "7.0"), 0, 0, 0, 0, 0},
      {"quattro", mk(10).hex(0, "00 00 02 00 20 51"), 801, 0, 10, 0, 0},
      {"quattro 1", mk(10).hex(0, "00 00 02 00 01 10"), 801, 1, 10, 0, 0},
      {"quattro near", mk(10).hex(0, "00 00 02 00 01 11"), 0, 0, 0, 0, 0},
      {"crystal", mk(160).hex(0, "80 4D 54 32"), 105, 0, 160, 0, 0},
      {"crystal near", mk(160).hex(0, "80 4D 54 33"), 0, 0, 0, 0, 0},
      {"wps-plus", mk(20).hex(0, "48 42 D1 07"), 45, 0, 20, 0, 0},
      {"wps-plus near", mk(20).hex(0, "48 42 D1 08"), 0, 0, 0, 0, 0},
      {"volkswriter dots", mk("..PAGE 1\r\ntext\r\n..HEAD x\r\n"), 14, 0, 0, 0, 0},
      {"volkswriter marks", mk(lines("line\x14\r\n", 15)), 14, 0, 0, 0, 0},
      {"volkswriter near", mk(lines("line\x14\r\n", 14)), 1, 0, 0, 0, 0},
      {"wmf placeable", mk(4).hex(0, "D7 CD C6 9A"), 610, 0, 4, 0, 0},
      {"wmf", mk(6).hex(0, "01 00 09 00 00 03"), 610, 1, 6, 1, 0},
      {"wmf near", mk(6).hex(0, "01 00 09 00 00 04"), 1, 0, 0, 0, 0},
      {"tvg", mk(21).hex(0, "1F 00 12").at(3, "TVG Graphics File").set(20, 0), 600, 0, 21, 1, 0},
      {"tvg text", mk("<0000,Torvanelab 3D -- Co"), 600, 0, 21, 1, 0},
      {"tvg near", mk(21).hex(0, "1F 00 12").at(3, "TVG Graphics Fila").set(20, 0), 1, 0, 0, 0, 0},
      {"tiff", mk(3).at(0, "II*"), 502, 0, 3, 1, 0},
      {"tiff mm", mk(8).hex(0, "4D 4D 00 2A"), 502, 0, 3, 1, 0},
      {"tiff near", mk(3).at(0, "IM*"), 1, 0, 0, 0, 0},
      {"gif", mk(4).at(0, "GIF8"), 512, 0, 4, 1, 0},
      {"gif near", mk(4).at(0, "GIT8"), 1, 0, 0, 0, 0},
      {"iges", iges('S'), 607, 0, 328, 1, 0},
      {"iges near", iges('X'), 1, 0, 0, 0, 0},
      {"dxf", mk("  0\r\nSECTION\r\n  2\r\nHEADER\r\n  9\r\n"), 608, 0, 30, 1, 0},
      {"dxf near", mk("  0\r\nSECTION\r\n  2\r\nHEADEX\r\n  9\r\n"), 1, 0, 0, 0, 0},
      {"writenow", mk(8).at(0, "WriteNow"), 62, 0, 0, 0, 0},
      {"writenow short", mk(7).at(0, "WriteNo"), 1, 0, 0, 0, 0},
      {"wita", mk(40).hex(5, "FB 00 01 00 00 00 00 00 FA 00 01"), 34, 0, 0, 0, 0},
      {"wita near", mk(40).hex(5, "FB 00 01 00 00 00 00 00 FA 00 02"), 0, 0, 0, 0, 0},
      {"wiziword", mk(40).hex(3, "1B 78 76").at(9, "WiziWord"), 47, 0, 0, 0, 0},
      {"wiziword near", mk(40).hex(3, "1B 78 77").at(9, "WiziWord"), 0, 0, 0, 0, 0},
      {"pdf", mk("%PDF-1.4\n"), 107, 0, 0, 0, 0},
      {"pdf near", mk("%PDX-1.4\n"), 1, 0, 0, 0, 0},
      {"jpeg jfif", mk(20).hex(0, "FF D8 FF E0 00 10").at(6, std::string("JFIF\0", 5)), 521, 0, 12, 0, 0},
      {"jpeg markers", mk(20, 0x11).hex(0, "FF D8 FF E1 FF C4 FF 00 FF DB"), 521, 0, 12, 0, 0},
      {"jpeg near", mk(20, 0x11).hex(0, "FF D8 FF E1 FF C4 FF 00 FF 12"), 0, 0, 0, 0, 0},
      {"coreldraw", mk(12).at(0, "RIFF").at(8, "CDR6"), 520, 0, 12, 0, 0},
      {"coreldraw wl", mk(12).at(0, "WL"), 520, 0, 12, 0, 0},
      {"coreldraw near", mk(12).at(0, "RIFF").at(8, "WAVE"), 0, 0, 0, 0, 0},
      {"code 605", mk(10).hex(0, "01 FF 01 04 03 06 00 01"), 605, 0, 10, 1, 0},
      {"designer", mk(10).hex(0, "01 FF 02").set(7, 2), 609, 0, 10, 0, 0},
      {"designer near", mk(10).hex(0, "01 FF 02").set(7, 3), 0, 0, 0, 0, 0},
      {"rgip", mk(14).at(0, "%RGIP_METAFILE"), 613, 0, 14, 1, 0},
      {"rgip near", mk(14).at(0, "%RGIP_METAFILX"), 1, 0, 0, 0, 0},
      {"ami draw", mk(10).hex(0, "53 4D 02 01"), 614, 0, 10, 0, 0},
      {"ami draw near", mk(10).hex(0, "53 4D 02 02"), 0, 0, 0, 0, 0},
      {"bmp", mk(30).at(0, "BM").set(14, 0x28).set(28, 0x18).set(29, 0), 513, 0, 30, 0, 0},
      {"bmp compressed", mk(40).at(0, "BM").set(14, 0x28).set(28, 0x08).set(30, 1), 513, 3, 30, 0, 0},
      {"bmp os/2", mk(30).at(0, "BM").set(14, 0x0C).set(24, 0x08), 513, 4, 30, 0, 0},
      {"bmp icon", mk(30).at(0, "IC").set(14, 0x0C).set(24, 0x04), 513, 5, 30, 0, 0},
      {"bmp array", mk(44).at(0, "BA").at(14, "BM").set(28, 0x0C).set(38, 0x01), 513, 4, 30, 0, 0},
      {"bmp array short of its bitmap", mk(30).at(0, "BA"), 0, 0, 30, 0, 0},
      {"bmp near", mk(30).at(0, "BM").set(14, 0x28).set(28, 0x20), 0, 0, 0, 0, 0},
      {"pict", mk(530).hex(522, "00 11 02 FF 0C 00"), 602, 0, 530, 0, 0},
      {"pict at 10", mk(530).hex(10, "11 01"), 602, 0, 530, 0, 0},
      {"pict near", mk(530).hex(522, "00 11 02 FF 0C 01"), 0, 0, 0, 0, 0},
      {"sun raster", mk(36).hex(0, "59 A6 6A 95"), 522, 0, 36, 0, 0},
      {"sun raster near", mk(36).hex(0, "59 A6 6A 96"), 0, 0, 0, 0, 0},
      {"eps preview", mk(30).hex(0, "C5 D0 D3 C6"), 503, 0, 30, 0, 0},
      {"eps preview near", mk(30).hex(0, "C5 D0 D3 C7"), 0, 0, 0, 0, 0},
      {"lotus pic", mk(18).hex(0, "01 00 00 00 01 00 08 00 44 00 00 00 00 0C 7F 09 06"), 601, 0, 18, 1, 0},
      {"lotus pic near", mk(18).hex(0, "01 00 00 00 01 00 08 00 44 00 00 00 00 0C 7F 09 07"), 1, 0, 0, 0, 0},
      {"powerpoint ole", dirbuf("PowerPoint Document"), 619, 3, 0, 0, 0},
      {"powerpoint 4 ole", dirbuf("PP40"), 619, 2, 0, 0, 0},
      {"powerpoint ole near", dirbuf("PowerPoint Documenx"), 0, 0, 0, 0, 0},
      {"powerpoint", mk(8).hex(0, "ED DE AD 0B 03 00 00 00"), 619, 1, 8, 0, 0},
      {"powerpoint near", mk(8).hex(0, "ED DE AD 0B 05 00 00 00"), 0, 0, 0, 0, 0},
      {"word ole", dirbuf("WordDocument"), 49, 0, 0, 0, 0},
      {"word ole last entry", dirbuf("WordDocument", "FF FF FF FF", 384), 49, 0, 0, 0, 0},
      {"word ole with a left sibling", dirbuf("WordDocument", "03 00 00 00"), 0, 0, 0, 0, 0},
      {"word ole cut entry", mk(dirbuf("WordDocument", "FF FF FF FF", 384)).len(511), 0, 0, 0, 0, 0},
      {"excel ole", dirbuf(std::string("Book\0", 5)), 21, 4, 0, 0, 0},
      {"excel ole near", dirbuf("Boo"), 0, 0, 0, 0, 0},
      {"html", mk("<HTML><BODY>hi</BODY></HTML>\n"), 108, 3, 0, 0, 0},
      {"html comment", mk("x <!-- made by hand -->\n"), 108, 3, 0, 0, 0},
      {"html lower case", mk("<html><head><title>t</title></head><body>hi</body></html>\n"), 1, 0, 0, 0, 0},
      {"html without close", mk("text <TITLE\n"), 1, 0, 0, 0, 0},
      {"works", mk(140).hex(0, "01 FE 01 00").set(127, 0), 39, 0, 140, 0, 0},
      {"works near", mk(140).hex(0, "01 FE 03 00").set(127, 0), 0, 0, 0, 0, 0},
      {"windows paint", mk(33).at(0, "DanM").hex(4, "01 00 01 00"), 507, 0, 33, 0, 0},
      {"windows paint near", mk(33).at(0, "DanM").hex(4, "00 00 01 00"), 0, 0, 0, 0, 0},
      {"pcx", mk(21).hex(0, "0A 05 01 08"), 501, 0, 21, 0, 0},
      {"pcx near", mk(21).hex(0, "0A 05 02 08"), 0, 0, 0, 0, 0},
      {"clipboard", mk(31).hex(0, "50 C3 01 00 01 00"), 515, 0, 31, 0, 0},
      {"clipboard near", mk(31).hex(0, "50 C3 00 00 01 00"), 0, 0, 0, 0, 0},
      {"icon", mk(51).hex(0, "00 00 01 00 01 00 20 20 10 00"), 517, 0, 51, 0, 0},
      {"icon true colour", mk(51).hex(0, "00 00 01 00 01 00 20 20 00 00"), 0, 0, 0, 0, 0},
      {"ctos def", mk("$(WY)$(PGS)rest\r\n"), 36, 0, 0, 0, 0},
      {"ctos def near", mk("$(WY)$(SB)rest\r\n"), 1, 0, 0, 0, 0},
      {"xywrite md+", mk("\xAEMD+\xAF text words here\r\n"), 17, 2, 0, 0, 0},
      {"xywrite commands", mk(lines("\xAELM10\xAF", 8) + "...........\r\n"), 17, 1, 0, 0, 0},
      {"xywrite variant", mk(lines("\xAE" "12DI\xAF", 8) + "...........\r\n"), 17, 2, 0, 0, 0},
      {"xywrite near", mk(lines("\xAELM10\xAF", 7) + "...........\r\n"), 0, 0, 0, 0, 0},
      {"uniplex", mk("L.....................#\nplain\n"), 101, 0, 0, 0, 0},
      {"uniplex near", mk("L....................#\nplain\n"), 1, 0, 0, 0, 0},
      {"ceowrite", mk(9).at(0, ".** X").hex(5, "20 1E 1F"), 104, 0, 9, 1, 0},
      {"ceowrite near", mk(9).at(0, ".** X").hex(5, "20 1E 1E"), 1, 0, 0, 0, 0},
      {"cgm", cgm(6), 603, 0, 200, 1, 0},
      {"cgm near", cgm(5), 1, 0, 0, 0, 0},
      {"wordperfect 4", wp4doc(), 6, 0, 0, 0, 0},
      {"wordperfect 4 immediate refusal", wp4doc("\xC0"), 0, 0, 0, 0, 0},
      {"wordperfect 4 with pcx bytes", wp4doc("\x0A\x05\x01\x08"), 501, 0, 0, 0, 0},
      {"wordperfect 4 hinted with pcx bytes", wp4doc("\x0A\x05\x01\x08"), 501, 0, 0, 0, 6},
      {"wordstar dots", mk(".PA\n.he x\n.fo y\n.op\n.HM 2\n.cw 10\nsome text follows\n"), 4, 0, 0, 0, 0},
      {"wordstar dots h1", mk(".PA\n.h1 x\n.fo y\n.op\n.HM 2\n.cw 10\nsome text follows\n"), 4, 2, 0, 0, 0},
      {"wordstar four dots", mk(".PA\n.he x\n.fo y\n.op\nsome text follows\n"), 1, 0, 0, 0, 0},
      {"wordstar four dots hinted", mk(".PA\n.he x\n.fo y\n.op\nsome text follows\n"), 4, 0, 0, 0, 4},
      {"wp mac 1", wpmac1(10), 59, 0, 0, 0, 0},
      {"wp mac 1 near", wpmac1(9), 1, 0, 0, 0, 0},
      {"peachtext", mk("\\SETUP \\TEXT \\COPY \\CPI \\CTR words\r\n"), 27, 0, 0, 0, 0},
      {"peachtext escape", mk("\\CMD@ @SETUP @TEXT @COPY @CPI @CTR words\r\n"), 27, 0, 0, 0, 0},
      {"peachtext near", mk("\\SETUP \\TEXT \\COPY \\CPI words\r\n"), 1, 0, 0, 0, 0},
      {"hpgl", mk(lines("IN;SP1;PU0,0;PD100,100;", 4)), 604, 0, 0, 0, 0},
      {"hpgl spaced", mk(lines("IN; SP1; PU0,0; PD100,100; ", 4)), 1, 0, 0, 0, 0},
      {"freelance", mk(12).hex(0, "00 01 40 00 44 45 42 52 40 00"), 618, 0, 12, 1, 0},
      {"freelance near", mk(12).hex(0, "00 01 40 00 44 45 42 52 40 01"), 1, 0, 0, 0, 0},
      {"wizidraw", mk(30).at(0, "abc,xxM11DRAW"), 617, 0, 30, 0, 0},
      {"wizidraw near", mk(30).at(0, "abc,xxxxxxxxxxxxxxxxM11DRAW"), 1, 0, 0, 0, 0},
      {"harvard", mk(12).hex(0, "DC FE 18 02"), 620, 0, 12, 0, 0},
      {"harvard near", mk(12).hex(0, "DC FE 18 03"), 0, 0, 0, 0, 0},
      {"macpaint", macpaint(512, 72).set(0, 0).set(1, 0), 508, 0, 1024, 0, 0},
      {"macpaint macbinary", macpaint(640, 72).set(0, 0).set(1, 5).set(74, 0), 508, 0, 1024, 0, 0},
      {"macpaint row of 73", macpaint(512, 73), 0, 0, 0, 0, 0},
  };
  return r;
}

TEST(Rcg, EveryTestAcceptsItsBufferAndOnlyAtFullLength) {
  for (const row &c : rows()) {
    SCOPED_TRACE(c.name);
    detected d = detect(c.buf, c.hint);
    EXPECT_EQ(d.code, c.code);
    EXPECT_EQ(d.sub, c.sub);
    if (c.minlen > 0) {
      ASSERT_GE(c.buf.size(), c.minlen);
      bytes cut(c.buf.begin(), c.buf.begin() + (c.minlen - 1));
      EXPECT_EQ(detect(cut, c.hint).code, c.shortcode) << "one byte short";
    }
  }
}

TEST(Rcg, NothingReturnsFullwriteCode) {
  for (const row &c : rows()) EXPECT_NE(detect(c.buf).code, 55) << c.name;
}

TEST(Rcg, PlainTextRules) {
  struct {
    const char *name;
    bytes buf;
    int code;
  } cases[] = {
      {"empty buffer", {}, 1},
      {"postscript", mk("%!PS-Adobe-3.0\n%%Title: x\nshowpage\n"), 503},
      {"postscript after ctrl-d", mk("\x04%!PS-Adobe-3.0\nshowpage\n"), 503},
      {"1000 bytes with 20 crlf", mk(lines(std::string(48, 'a') + "\r\n", 20)), 1},
      {"crlf and one lone lf", mk(lines(std::string(48, 'a') + "\r\n", 20) + "x\ny"), 0},
      {"short text mixed line ends", mk("ab\r\ncd\nef"), 0},
      {"short text one kind", mk("ab\ncd\nef"), 1},
      {"long paragraph without line ends", mk(std::string(400, 'w')), 0},
      {"latin-1 text", mk(lines("caf\xE9 na\xEFve \xE0 la mode\n", 10)), 1},
      {"binary", mk(400, 0x90), 0},
  };
  for (auto &c : cases) EXPECT_EQ(detect(c.buf).code, c.code) << c.name;

  // EBCDIC: no ASCII line ends, spaces are 40 and letters are high bytes.
  mk ebcdic(1000, 0xC1);
  for (size_t i = 0; i < 1000; i += 6) ebcdic.set(i, 0x40);
  EXPECT_EQ(detect(ebcdic).code, 2);
  mk ebcdicfew(1000, 0xC1);
  for (size_t i = 0; i < 1000; i += 20) ebcdicfew.set(i, 0x40);
  EXPECT_EQ(detect(ebcdicfew).code, 0);
}

TEST(Rcg, Hints) {
  // A hint without a test changes nothing.
  EXPECT_EQ(detect(mk("plain words\n"), 2).code, 1);
  // A failed hinted Navy DIF test leaves sub -1 for a later test that
  // keeps the sub-code as found (here Lotus, early in the fixed order).
  bytes wk1 = mk(30).hex(0, "00 00 02 00 06 05");
  detected d = detect(wk1, 18);
  EXPECT_EQ(d.code, 20);
  EXPECT_EQ(d.sub, -1);
  EXPECT_EQ(detect(wk1).sub, 0);
  // The WordPerfect 4 threshold falls to 2 under its hint.
  mk two(std::string(300, 'a'));
  two.hex(10, "D1 41 42 43 FF").hex(40, "D1 41 42 43 FF");
  EXPECT_EQ(detect(two, 6).code, 6);
  EXPECT_NE(detect(two).code, 6);
}

TEST(Rcg, RecordServesManyCallsAndNullSubcode) {
  cxstate *st = rcgnew();
  ASSERT_NE(st, nullptr);
  bytes gif = mk(4).at(0, "GIF8");
  bytes rtf = mk("{\\rtf1\\ansi x}");
  int32_t sub = -7;
  EXPECT_EQ(rcgdetect(st, rtf.data(), static_cast<int32_t>(rtf.size()), 0, &sub), 19);
  EXPECT_EQ(sub, 1);
  EXPECT_EQ(rcgdetect(st, gif.data(), static_cast<int32_t>(gif.size()), 0, &sub), 512);
  EXPECT_EQ(sub, 0);
  EXPECT_EQ(rcgdetect(st, gif.data(), static_cast<int32_t>(gif.size()), 0, nullptr), 512);
  bytes none = mk(500, 0x90);
  sub = 9;
  EXPECT_EQ(rcgdetect(st, none.data(), static_cast<int32_t>(none.size()), 0, &sub), 0);
  EXPECT_EQ(sub, 0);
  rcgfree(st);
  // Detection on a record without the recogniser's block (a conversion's
  // state, or none) still answers.
  EXPECT_EQ(rcgdetect(nullptr, nullptr, 0, 0, &sub), 1);
}

} // namespace

namespace {

// Files made by real programs, each as the document-format filter hands it
// over: at most its first 4096 bytes.
TEST(Rcg, FilesMadeByRealPrograms) {
  struct {
    const char *file;
    int code;
  } cases[] = {
      {"small.rtf", 19},   {"small.pdf", 107},  {"shape.wmf", 610},  {"small.txt", 1},
      {"medium.txt", 1},   {"small.html", 1},   {"ebcdic.txt", 2},   {"pic.tif", 502},
      {"pic.gif", 512},    {"pic.bmp", 513},    {"pic-os2.bmp", 513}, {"pic.pcx", 501},
      {"pic.jpg", 521},    {"pic.ras", 522},    {"pic.pict", 602},   {"page.macp", 508},
      {"plot.cgm", 603},   {"plot.hpgl", 604},
      // Compound documents whose directory lies past the first 4096 bytes
      // are not found by the directory-entry tests; they stay unknown rather
      // than pass for whatever their binary sectors resemble (the FAT sector
      // of FF bytes after the header decodes as four MacPaint rows).
      {"small.doc", 0},    {"table.doc", 0},    {"medium.doc", 0},   {"mid.doc", 0},
      {"sheet.xls", 0},    {"slides.ppt", 0},
      // Written by another compound-file writer around a Word 6 stream of
      // over 4096 bytes: its directory follows the stream, and the text in
      // its first sectors would otherwise pass for plain text.
      {"gsf-word6.doc", 0},
  };
  for (auto &c : cases) {
    std::ifstream in(std::string(KES_SOURCE_DIR) + "/converters/runtime/tests/fixtures/" + c.file, std::ios::binary);
    bytes b(4096);
    in.read(reinterpret_cast<char *>(b.data()), 4096);
    b.resize(static_cast<size_t>(in.gcount()));
    ASSERT_FALSE(b.empty()) << c.file;
    detected d = detect(b);
    EXPECT_EQ(d.code, c.code) << c.file;
    if (c.code == 0) {
      EXPECT_EQ(d.sub, 0) << c.file;
    }
  }
}

} // namespace

namespace {

// A compound document whose directory lies within the first 4096 bytes is
// found by its stream names.
TEST(Rcg, CompoundDocumentWithAnEarlyDirectory) {
  struct {
    const char *stream;
    int code, sub;
  } cases[] = {{"WordDocument", 49, 0}, {"PowerPoint Document", 619, 3}, {"PP40", 619, 2},
               {"Book", 21, 4},
               // a directory that holds none of the names: unknown, not a
               // later test's format
               {"Contents", 0, 0}};
  for (auto &c : cases) {
    dft::bytes f = dft::write({{"Other", dft::bytes(100, 1)}, {c.stream, dft::pattern(9000, 2)}});
    f.resize(4096);
    detected d = detect(f);
    EXPECT_EQ(d.code, c.code) << c.stream;
    EXPECT_EQ(d.sub, c.sub) << c.stream;
  }
}

// The compound-document signature alone decides nothing before the
// compound-document tests: an earlier test that accepts still wins, and a
// buffer that merely lacks the signature reaches the later tests as before.
TEST(Rcg, CompoundSignatureStopsTheScanOnlyAfterItsOwnTests) {
  // A signature followed by a directory sector of FF bytes that reads as
  // MacPaint rows: 0 and sub-code 0.
  mk ole = macpaint(512, 72);
  ole.hex(0, "D0 CF 11 E0 A1 B1 1A E1");
  detected d = detect(ole);
  EXPECT_EQ(d.code, 0);
  EXPECT_EQ(d.sub, 0);
  // One byte of the signature changed: MacPaint, as its own test finds it.
  ole.set(7, 0xE2);
  EXPECT_EQ(detect(ole).code, 508);
  // Text lines after the signature: unknown, not plain text.
  mk text(lines(std::string(48, 'a') + "\r\n", 20));
  text.hex(0, "D0 CF 11 E0 A1 B1 1A E1");
  EXPECT_EQ(detect(text).code, 0);
}

} // namespace

namespace {

// The head of a "WordDocument" stream: identifier and version, then filler.
dft::bytes wordstream(uint16_t ident, uint16_t version, size_t n) {
  dft::bytes b = dft::pattern(n < 4 ? 4 : n, 7);
  dft::put16(b, 0, ident);
  dft::put16(b, 2, version);
  b.resize(n);
  return b;
}

// With the whole file, a compound document is named by its directory
// wherever the header places it, and a "WordDocument" stream by the version
// it states: Word 6 and 95 as 49, Word 97 and later as a code of their own;
// other files are named from their first 4096 bytes as before.
TEST(Rcg, WholeFilesNameCompoundDocumentsByDirectoryAndVersion) {
  cxtestdir dir;
  auto word = [](uint16_t ident, uint16_t version, size_t n, bool dirlast) {
    return dft::write({{"WordDocument", wordstream(ident, version, n)}, {"1Table", dft::bytes(300, 1)}}, nullptr,
                      true, dirlast);
  };
  auto fixture = [](const char *name) {
    std::ifstream in(std::string(KES_SOURCE_DIR) + "/converters/runtime/tests/fixtures/" + name, std::ios::binary);
    return dft::bytes(std::istreambuf_iterator<char>(in), {});
  };
  struct {
    const char *name;
    dft::bytes file;
    int buffered, whole, sub;  // codes from the first 4096 bytes and from the file
  } cases[] = {
      {"word 6 stream, directory past 4096 bytes", word(0xA5DC, 101, 9000, true), 0, 49, 0},
      {"word 95 stream, directory past 4096 bytes", word(0xA5DC, 104, 9000, true), 0, 49, 0},
      {"word 6 stream, directory early", word(0xA5DC, 101, 9000, false), 49, 49, 0},
      {"word 6 stream in the mini stream", word(0xA5DC, 101, 600, false), 49, 49, 0},
      {"word 97 stream, directory early", word(0xA5EC, 193, 9000, false), 49, RCG_WORD97, 0},
      {"word 2000 version with the old identifier", word(0xA5DC, 217, 9000, true), 0, RCG_WORD97, 0},
      {"stream too short to tell", word(0xA5DC, 101, 3, false), 49, 49, 0},
      {"word 97 by an office suite", fixture("small.doc"), 0, RCG_WORD97, 0},
      {"word 97 table by an office suite", fixture("table.doc"), 0, RCG_WORD97, 0},
      {"word 6 by another compound-file writer", fixture("gsf-word6.doc"), 0, 49, 0},
      {"slides", fixture("slides.ppt"), 0, 619, 3},
      {"workbook of a later version", fixture("sheet.xls"), 0, 0, 0},
      {"book past 4096 bytes", dft::write({{"Book", dft::pattern(9000, 1)}}, nullptr, true, true), 0, 21, 4},
      {"damaged header: the first 4096 bytes decide",
       [&] {
         dft::bytes f = word(0xA5EC, 193, 9000, false);
         dft::put32(f, 44, 0);
         return f;
       }(),
       49, 49, 0},
      {"not a compound document", fixture("small.rtf"), 19, 19, 1},
  };
  cxstate *st = rcgnew();
  ASSERT_NE(st, nullptr);
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.file.empty());
    dft::bytes head(c.file.begin(), c.file.begin() + std::min<size_t>(4096, c.file.size()));
    EXPECT_EQ(detect(head).code, c.buffered);
    dir.put("doc", std::string(c.file.begin(), c.file.end()));
    int32_t sub = -5;
    EXPECT_EQ(rcgdetectfile(st, dir.file("doc").c_str(), &sub), c.whole);
    EXPECT_EQ(sub, c.sub);
  }
  EXPECT_EQ(rcgdetectfile(st, dir.file("missing").c_str(), nullptr), -1);
  rcgfree(st);
}

} // namespace
