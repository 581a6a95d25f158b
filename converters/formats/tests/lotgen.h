// Test-side writer of Lotus 1-2-3 worksheets, record by record: release 1A
// (WKS), release 2 (WK1) and release 3 (WK3) beginning-of-file records,
// label, integer, number, formula, small-number, string, header and footer
// cells, the sealed-file and end records, and any record given as bytes.
// Only what the converter and the independent readers need is written.
#ifndef KES_CONVERTERS_FORMATS_TESTS_LOTGEN_H
#define KES_CONVERTERS_FORMATS_TESTS_LOTGEN_H

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace lgen {

enum kind { wks, wk1, wk3 };

// A value of width bytes, little-endian.
inline std::string le(uint64_t v, int width) {
  std::string s;
  for (int i = 0; i < width; i++) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

// One record: opcode, the body's length, the body (len: another length).
inline std::string rec(int op, const std::string &body, int len = -1) {
  return le(op, 2) + le(len < 0 ? body.size() : len, 2) + body;
}

inline std::string bof(kind k) {
  if (k == wks) return rec(0x00, le(0x0404, 2));
  if (k == wk1) return rec(0x00, le(0x0406, 2));
  std::string b = le(0x1000, 2) + le(0x0004, 2);
  b.resize(26, '\0');
  b[16] = 1;  // the byte at file offset 20 that marks a release 3 file
  return rec(0x00, b);
}

inline std::string eof() { return rec(0x01, ""); }

// The cell address: format byte, column, row (1A and 2); row, sheet,
// column (3).
inline std::string addr(kind k, int row, int col) {
  if (k == wk3) return le(row, 2) + le(0, 1) + le(col, 1);
  return le(0xFF, 1) + le(col, 2) + le(row, 2);
}

inline std::string label(kind k, int row, int col, const std::string &text, char prefix = '\'') {
  return rec(k == wk3 ? 0x16 : 0x0F, addr(k, row, col) + prefix + text + '\0');
}

inline std::string integer(int row, int col, int16_t v) {
  return rec(0x0D, addr(wk1, row, col) + le(static_cast<uint16_t>(v), 2));
}

inline std::string dbl(double x) {
  uint64_t u;
  std::memcpy(&u, &x, 8);
  return le(u, 8);
}

// The 80-bit extended real of a double.
inline std::string ext(double x) {
  if (x == 0) return std::string(10, '\0');
  if (!std::isfinite(x))  // infinity, or a quiet NaN
    return le(std::isnan(x) ? 0xC000000000000000ull : 0x8000000000000000ull, 8) + le((x < 0 ? 0x8000 : 0) | 0x7FFF, 2);
  int e;
  double m = std::frexp(std::fabs(x), &e);
  uint64_t mant = static_cast<uint64_t>(std::ldexp(m, 64));
  return le(mant, 8) + le((x < 0 ? 0x8000 : 0) | (e - 1 + 16383), 2);
}

// A number cell; value: the value bytes as stored, when given.
inline std::string number(kind k, int row, int col, double x, const std::string &value = "") {
  if (k == wk3) return rec(0x17, addr(k, row, col) + (value.empty() ? ext(x) : value));
  return rec(0x0E, addr(k, row, col) + (value.empty() ? dbl(x) : value));
}

// A formula cell with its computed value and some formula bytes.
inline std::string formula(kind k, int row, int col, double x) {
  const std::string code = std::string("\x01\x00\x00\x80\x03", 5);
  if (k == wk3) return rec(0x19, addr(k, row, col) + ext(x) + code);
  return rec(0x10, addr(k, row, col) + dbl(x) + le(code.size(), 2) + code);
}

inline std::string small(int row, int col, uint16_t word) { return rec(0x18, addr(wk3, row, col) + le(word, 2)); }

// The text value of a release 3 formula.
inline std::string string3(int row, int col, const std::string &text) {
  return rec(0x10, le(row, 2) + text + '\0');
}

// A header (0x26) or footer (0x25) record: text, NUL, padding to 242 bytes.
inline std::string headfoot(int op, const std::string &text) {
  std::string b = text + '\0';
  if (b.size() < 242) b.resize(242, '\0');
  return rec(op, b);
}

inline std::string sealed() { return rec(0x02, le(0, 2)); }

// What the readers want after the beginning of file: a range record (1A,
// 2) or an empty record 0x1B (3). The converter skips both.
inline std::string preamble(kind k) {
  if (k == wk3) return rec(0x1B, "");
  return rec(0x06, le(0, 4) + le(255, 2) + le(8191, 2));
}

// A whole worksheet: beginning of file, the records, end of file.
inline std::string sheet(kind k, const std::vector<std::string> &records, bool end = true) {
  std::string s = bof(k) + preamble(k);
  for (const std::string &r : records) s += r;
  return end ? s + eof() : s;
}

// A worksheet of about size bytes (at most 8192 rows of 32 cells): each row
// holds groups of a label, a number, an integer and a formula, in file
// order. labels: the label texts in that order.
inline std::string bigsheet(kind k, size_t size, unsigned seed, std::vector<std::string> *labels = nullptr) {
  static const char *words[] = {"index", "of", "the", "retrieval", "server", "documents", "and",
                                "queries", "with", "terms", "lists", "scores", "converter"};
  std::string s = bof(k) + preamble(k);
  for (int row = 0; row < 8192 && s.size() < size; row++) {
    for (int g = 0; g < 8; g++) {
      unsigned n = seed + static_cast<unsigned>(row * 8 + g);
      std::string text = std::string(words[n % 13]) + " " + words[(n * 7) % 13] + " " + words[(n * 5 + 3) % 13];
      if (labels) labels->push_back(text);
      s += label(k, row, 4 * g, text);
      s += number(k, row, 4 * g + 1, n * 1.25);
      s += k == wk3 ? small(row, 4 * g + 2, static_cast<uint16_t>((n % 1000) << 1)) : integer(row, 4 * g + 2, n % 1000);
      s += formula(k, row, 4 * g + 3, n / 8.0);
    }
  }
  return s + eof();
}

// A worksheet of release 97: a beginning of file of the long layout naming
// version 0x1005, then records framed as release 3 frames them.
inline std::string release97(const std::vector<std::string> &records) {
  std::string b = le(0x1005, 2) + le(0x0004, 2);
  b.resize(26, '\0');
  b[16] = 1;
  std::string s = rec(0x00, b) + preamble(wk3);
  for (const std::string &r : records) s += r;
  return s + eof();
}

}  // namespace lgen

#endif
