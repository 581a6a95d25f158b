// Test-side helpers of objects: a byte source and sink for the writer's
// callbacks, OLE 1.0 object streams built from their fields, and the plain
// text of what a run wrote.
#ifndef KES_FILTERS_FRAMEWORK_WRITER_TESTS_OBJTEST_H
#define KES_FILTERS_FRAMEWORK_WRITER_TESTS_OBJTEST_H

#include <algorithm>
#include <cstring>
#include <string>

#include "filters/framework/writer/tests/cwtest.h"

namespace objt {

// The callbacks: bytes in from a string (a byte or a block at a time),
// bytes out to a string.
inline std::string in;
inline size_t inpos = 0;
inline std::string out;

inline void feed(const std::string& bytes) {
  in = bytes;
  inpos = 0;
}
inline int getin(cvrun*) { return inpos < in.size() ? static_cast<unsigned char>(in[inpos++]) : -1; }
inline int getblock(cvrun*, void* buf, int size) {
  size_t n = std::min(in.size() - inpos, static_cast<size_t>(size));
  std::memcpy(buf, in.data() + inpos, n);
  inpos += n;
  return static_cast<int>(n);
}
inline int putout(cvrun*, int byte) {
  out += static_cast<char>(byte);
  return 0;
}

// OLE 1.0 object streams: little-endian words, counted names with their
// zero, and the objects of each format.
inline std::string le32(uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; i++) s += static_cast<char>(v >> (8 * i));
  return s;
}
inline std::string counted(const std::string& s) { return le32(static_cast<uint32_t>(s.size())) + s; }
inline std::string z(const std::string& s) { return s + std::string(1, '\0'); }

inline std::string none() { return le32(0x501) + le32(0); }
inline std::string pres(int format, const std::string& cls, int32_t width, int32_t height, const std::string& data,
                        const std::string& clip = "") {
  std::string s = le32(0x501) + le32(format) + counted(z(cls)) + le32(width);
  s += format == 5 && width == 0 ? counted(z(clip)) : le32(height);
  return s + counted(data);
}
inline std::string embedded(const std::string& cls, const std::string& native, const std::string& presentation,
                            const std::string& topic = "", const std::string& item = "") {
  auto name = [](const std::string& n) { return n.empty() ? le32(0) : counted(z(n)); };
  return le32(0x501) + le32(2) + counted(z(cls)) + name(topic) + name(item) + counted(native) + presentation;
}
inline std::string linked(const std::string& cls, const std::string& file, const std::string& presentation) {
  return le32(0x201) + le32(1) + counted(z(cls)) + counted(z(file)) + counted(z("1:2")) + le32(0) +
         std::string("\x34\x12\x78\x56", 4) + le32(3) + presentation;
}

// The plain text of what a run wrote, made by the framework's text conversion.
inline std::string plaintext(cwtestrun& t) {
  cvtesthost host;
  convstate* st = host.open();
  cvputfile(st, "kvj99int.tmp", t.t.com());
  std::string text = convtotext(st) == 0 ? cvgetfile(st, "ascii.tmp") : "<fail>";
  convclose(st);
  return text;
}

}  // namespace objt

#endif
