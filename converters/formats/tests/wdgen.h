// Test-side writer of Word for DOS documents, byte by byte: the 128-byte
// header, the text, and one character-property page and one paragraph-
// property page that cover the text with default properties (the converter
// reads only the header and the text; the independent readers want pages).
#ifndef KES_CONVERTERS_FORMATS_TESTS_WDGEN_H
#define KES_CONVERTERS_FORMATS_TESTS_WDGEN_H

#include <cstdint>
#include <string>
#include <vector>

namespace wdgen {

struct spec {
  std::string text;
  int codepage = 437;
  int64_t endtext = -1;   // the end of text the header gives; -1: the true one
  std::string magic = std::string("\x31\xBE\x00\x00\x00\xAB", 6);  // header bytes 0-5
  int byte117 = 0;
  bool pages = true;      // the property pages after the text
};

inline void put(std::string &b, size_t off, uint64_t v, int width) {
  for (int i = 0; i < width; i++) b[off + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A property page whose one run covers [first, lim) with default properties.
inline std::string fkp(uint32_t first, uint32_t lim) {
  std::string p(128, '\0');
  put(p, 0, first, 4);
  put(p, 4, lim, 4);
  put(p, 8, 0xFFFF, 2);
  p[127] = 1;
  return p;
}

inline std::string make(const spec &s) {
  std::string h(128, '\0');
  h.replace(0, 6, s.magic.substr(0, 6));
  uint32_t end = static_cast<uint32_t>(128 + s.text.size());
  put(h, 14, s.endtext < 0 ? end : static_cast<uint64_t>(s.endtext), 4);
  uint32_t pnchar = (end + 127) / 128, pnpara = pnchar + 1;
  put(h, 18, pnpara, 2);
  for (int off : {20, 22, 24, 26, 28}) put(h, off, pnpara + 1, 2);
  h[117] = static_cast<char>(s.byte117);
  put(h, 126, static_cast<uint64_t>(s.codepage), 2);
  std::string doc = h + s.text;
  if (!s.pages) return doc;
  doc.resize(pnchar * 128, '\0');
  return doc + fkp(128, end) + fkp(128, end);
}

// Documents for the cross-check with independent readers: name, spec and
// the text a reader should find in it.
struct sample {
  std::string name;
  wdgen::spec doc;
  std::string text;
};

inline std::vector<sample> samples() {
  std::string many;
  for (int i = 0; i < 120; i++) many += "Paragraph " + std::to_string(i) + " of a longer document.\r\n";
  return {
      {"dos", {"Hello\r\nWorld\r\n"}, "Hello World"},
      {"dos-tabs", {"one\ttwo\r\nthree\x0bnew line\r\n"}, "one two three new line"},
      {"dos-850", {"caf\x82 na\xefve\r\n", 850}, "caf\x82 na\xefve"},
      {"dos-long", {many}, many},
  };
}

}  // namespace wdgen

#endif
