// Test-side writer of Word documents, byte by byte: Word 1.x/2.0, Mac Word
// (header layouts 3 and 4/5) and Word 6 wrapped in a compound document.
// Each is either non-complex (the text as one range after the header) or
// fast-saved: the text in pieces stored in reverse order, found through a
// Clx that starts with a property-modifier group. Only the fields the text
// extractor reads are set, plus the version and text-length fields that the
// independent readers used to check these files want.
#ifndef KES_CONVERTERS_WORD_TESTS_WORDGEN_H
#define KES_CONVERTERS_WORD_TESTS_WORDGEN_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "converters/runtime/tests/dftest.h"

namespace wgen {

using bytes = std::vector<uint8_t>;

enum kind { word2, word1, mac5, mac3, word6 };

struct spec {
  kind k = word2;
  std::vector<std::string> pieces;  // the text; one range unless fast-saved
  bool complex = false;             // fast-saved: pieces out of order and a Clx
  size_t padto = 0;                 // pad the file (Word 6: the stream) to this size
  // Damage: Clx bytes and a Clx length field in place of the true ones.
  std::optional<std::string> clx;
  std::optional<int64_t> clxlen;
};

inline void put(bytes &b, size_t off, uint64_t v, int width, bool big) {
  if (b.size() < off + width) b.resize(off + width, 0);
  for (int i = 0; i < width; ++i) {
    int shift = 8 * (big ? width - 1 - i : i);
    b[off + i] = static_cast<uint8_t>(v >> shift);
  }
}

inline bool bigendian(kind k) { return k == mac5 || k == mac3; }
inline bool wide(kind k) { return k == word6; }

// Bytes of one value in the document's byte order.
inline std::string val(kind k, uint64_t v, int width) {
  bytes b;
  put(b, 0, v, width, bigendian(k));
  return std::string(b.begin(), b.end());
}

// A piece table entry (type 2): positions cps and file offsets fcs.
inline std::string piecetable(kind k, const std::vector<int64_t> &cps, const std::vector<int64_t> &fcs) {
  std::string t;
  for (int64_t cp : cps) t += val(k, static_cast<uint64_t>(cp), 4);
  for (int64_t fc : fcs) t += std::string(2, '\0') + val(k, static_cast<uint64_t>(fc), 4) + std::string(2, '\0');
  std::string e(1, '\x02');
  e += val(k, 4 + 12 * fcs.size(), wide(k) ? 4 : 2);
  return e += t;
}

// A property-modifier group (any type but 2): type 1, length, bytes.
inline std::string group(kind k, const std::string &body) {
  std::string e(1, '\x01');
  e += val(k, body.size(), 2);
  return e += body;
}

// Where each kind keeps its fields.
struct layout {
  size_t header;          // header size, = fcMin
  int flagat, flagbit;    // complex flag
  int fcmin, fcmac;       // fcMac -1: main length at lenat instead
  int lenat;              // 32-bit main-text length
  int fcclx, clxlenat;
};

inline layout layoutof(kind k) {
  switch (k) {
    case word2: return {384, 10, 0x04, 24, 28, 0x34, 286, 290};
    case word1: return {384, 10, 0x04, 24, 28, 0x34, 274, 278};
    case mac5: return {256, 10, 0x20, 20, 24, 36, 172, 176};
    case mac3: return {256, 11, 0x01, 120, -1, 124, 114, 118};
    case word6: return {512, 10, 0x04, 24, 28, 0x34, 352, 356};
  }
  return {};
}

// The bytes the extractor reads: the file, or for Word 6 its "WordDocument" stream.
inline bytes stream(const spec &s) {
  layout l = layoutof(s.k);
  bool big = bigendian(s.k);
  bytes b(l.header, 0);
  switch (s.k) {
    case word2: b[0] = 0xDB, b[1] = 0xA5, b[2] = 0x2D; break;
    case word1: b[0] = 0x9B, b[1] = 0xA5, b[2] = 0x21; break;
    case mac5: b[0] = 0xFE, b[1] = 0x37, b[3] = 0x1C; break;
    case mac3: b[0] = 0xFE, b[1] = 0x34; break;
    case word6: b[0] = 0xDC, b[1] = 0xA5, b[2] = 0x65; break;
  }
  std::string text;
  for (const std::string &p : s.pieces) text += p;
  std::string area = text;
  std::vector<int64_t> cps{0}, fcs;
  if (s.complex) {
    // Stored last piece first, so that only the piece table puts them in order.
    area.clear();
    std::vector<int64_t> at(s.pieces.size());
    for (size_t i = s.pieces.size(); i-- > 0;) {
      at[i] = static_cast<int64_t>(l.header + area.size());
      area += s.pieces[i];
    }
    for (size_t i = 0; i < s.pieces.size(); ++i) {
      cps.push_back(cps.back() + static_cast<int64_t>(s.pieces[i].size()));
      fcs.push_back(at[i]);
    }
    b[l.flagat] |= static_cast<uint8_t>(l.flagbit);
  }
  b.insert(b.end(), area.begin(), area.end());
  if (s.k == word6) {
    // An empty style sheet (its 14-byte header, no styles): a reader of the
    // full format may want one; the extractor does not look at it.
    put(b, 96, b.size(), 4, big);
    put(b, 100, 16, 4, big);
    b.push_back(14);
    b.insert(b.end(), 15, 0);
  }
  put(b, l.fcmin, l.header, 4, big);
  if (l.fcmac >= 0) put(b, l.fcmac, l.header + area.size(), 4, big);
  put(b, l.lenat, text.size(), 4, big);
  if (s.complex || s.clx) {
    std::string clx = s.clx ? *s.clx : group(s.k, "\x05\x01\x02") + piecetable(s.k, cps, fcs);
    put(b, l.fcclx, b.size(), 4, big);
    put(b, l.clxlenat, s.clxlen ? static_cast<uint64_t>(*s.clxlen) : clx.size(), wide(s.k) ? 4 : 2, big);
    b.insert(b.end(), clx.begin(), clx.end());
  }
  if (b.size() < s.padto) b.resize(s.padto, 0);
  return b;
}

// The document file.
inline bytes make(const spec &s) {
  bytes b = stream(s);
  if (s.k != word6) return b;
  return dft::write({{"WordDocument", b}});
}

}  // namespace wgen

#endif
