// Test-side writer of Word 6 documents with the tables of the full reader:
// character and paragraph property pages, a section table, footnote and
// header/footer position tables, around the stream that wordgen.h writes
// (file header, text, document properties, style sheet, piece table).
#ifndef KES_CONVERTERS_WORD_TESTS_WORD6GEN_H
#define KES_CONVERTERS_WORD_TESTS_WORD6GEN_H

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "converters/runtime/tests/dftest.h"
#include "converters/word/tests/wordgen.h"

namespace wgen {

// A run of properties: the character position it starts at (it ends where
// the next starts, the last at the end of the text) and its sprms.
struct w6run {
  int32_t cp;
  std::string sprms;
};

struct w6spec {
  spec text{word6};        // all stories, one after the other
  int32_t ccpftn = 0;      // footnote text at the end of the main text
  int32_t ccphdd = 0;      // header and footer text after the footnotes
  std::vector<w6run> chps;  // character runs
  std::vector<w6run> paps;  // paragraph runs (their sprms follow a style index of 0)
  // Sections: first character and the stored sprms, none: no SEPX (-1).
  std::vector<std::pair<int32_t, std::optional<std::string>>> seds;
  std::vector<int32_t> fndref, fndtxt, hdd;  // the position tables' CPs
  int runsperpage = 16;
  size_t doplen = 84;
};

namespace w6g {

inline std::string le(uint64_t v, int width) { return val(word6, v, width); }

// The file offset of a character position, through the pieces as stream()
// lays them out (stored last piece first) for a fast-saved document.
inline int64_t fcof(const spec &s, int64_t cp) {
  if (!s.complex) return 512 + cp;
  std::vector<int64_t> at(s.pieces.size());
  int64_t off = 512;
  for (size_t i = s.pieces.size(); i-- > 0;) {
    at[i] = off;
    off += static_cast<int64_t>(s.pieces[i].size());
  }
  int64_t start = 0;
  for (size_t i = 0; i < s.pieces.size(); ++i) {
    int64_t n = static_cast<int64_t>(s.pieces[i].size());
    if (cp < start + n || i + 1 == s.pieces.size()) return at[i] + cp - start;
    start += n;
  }
  return 512 + cp;
}

// Appends property pages of runs (paragraph pages when pap) and returns
// their bin table.
inline std::string pages(bytes &b, const w6spec &d, const std::vector<w6run> &runs, bool pap, int64_t textlen) {
  std::string bin, pagenos;
  size_t per = static_cast<size_t>(d.runsperpage);
  size_t npages = 0;
  for (size_t from = 0; from < runs.size(); from += per, ++npages) {
    size_t n = std::min(per, runs.size() - from);
    bytes page(512, 0);
    auto endof = [&](size_t i) {
      int64_t next = i + 1 < runs.size() ? runs[i + 1].cp : textlen;
      return fcof(d.text, runs[i].cp) + (next - runs[i].cp);
    };
    for (size_t j = 0; j < n; ++j) put(page, 4 * j, static_cast<uint64_t>(fcof(d.text, runs[from + j].cp)), 4, false);
    put(page, 4 * n, static_cast<uint64_t>(endof(from + n - 1)), 4, false);
    size_t width = pap ? 7 : 1;
    size_t at = 4 * (n + 1) + width * n;
    for (size_t j = 0; j < n; ++j) {
      std::string rec = runs[from + j].sprms;
      if (!pap && rec.empty()) continue;
      at = (at + 1) & ~static_cast<size_t>(1);
      page[4 * (n + 1) + width * j] = static_cast<uint8_t>(at / 2);
      if (pap) {
        rec = std::string(2, '\0') + rec;  // style index 0
        if (rec.size() % 2) rec.push_back('\0');
        page[at] = static_cast<uint8_t>(rec.size() / 2);
      } else {
        page[at] = static_cast<uint8_t>(rec.size());
      }
      for (size_t k = 0; k < rec.size(); ++k) page[at + 1 + k] = static_cast<uint8_t>(rec[k]);
      at += 1 + rec.size();
    }
    page[511] = static_cast<uint8_t>(n);
    size_t pageno = (b.size() + 511) / 512;
    b.resize(pageno * 512, 0);
    b.insert(b.end(), page.begin(), page.end());
    bin += le(static_cast<uint64_t>(fcof(d.text, runs[from].cp)), 4);
    pagenos += le(pageno, 2);
  }
  if (npages == 0) return "";
  bin += le(static_cast<uint64_t>(fcof(d.text, runs.back().cp) + (textlen - runs.back().cp)), 4);
  return bin + pagenos;
}

inline void table(bytes &b, int field, const std::string &t) {
  if (t.empty()) return;
  if (b.size() % 2) b.push_back(0);
  put(b, static_cast<size_t>(field), b.size(), 4, false);
  put(b, static_cast<size_t>(field) + 4, t.size(), 4, false);
  b.insert(b.end(), t.begin(), t.end());
}

inline std::string cps(const std::vector<int32_t> &v) {
  std::string t;
  for (int32_t cp : v) t += le(static_cast<uint32_t>(cp), 4);
  return t;
}

}  // namespace w6g

// The "WordDocument" stream of a Word 6 document with its tables.
inline bytes word6stream(const w6spec &d) {
  size_t pad = d.text.padto;
  spec s = d.text;
  s.padto = 0;
  bytes b = word6full(s, d.doplen);
  int64_t textlen = 0;
  for (const std::string &p : s.pieces) textlen += static_cast<int64_t>(p.size());
  put(b, 52, static_cast<uint64_t>(textlen - d.ccpftn - d.ccphdd), 4, false);
  put(b, 56, static_cast<uint64_t>(d.ccpftn), 4, false);
  if (!d.seds.empty()) {
    std::string sepxs;
    std::vector<int64_t> at;
    for (auto &sd : d.seds) {
      if (!sd.second) {
        at.push_back(-1);
        continue;
      }
      if (b.size() % 2) b.push_back(0);
      at.push_back(static_cast<int64_t>(b.size()));
      std::string x = w6g::le(sd.second->size(), 2) + *sd.second;
      b.insert(b.end(), x.begin(), x.end());
    }
    std::string t;
    for (auto &sd : d.seds) t += w6g::le(static_cast<uint32_t>(sd.first), 4);
    t += w6g::le(static_cast<uint64_t>(textlen - d.ccpftn - d.ccphdd), 4);
    for (int64_t a : at) t += std::string(2, '\0') + w6g::le(static_cast<uint32_t>(a), 4) + std::string(6, '\0');
    w6g::table(b, 136, t);
  }
  w6g::table(b, 192, w6g::pages(b, d, d.paps, true, textlen));
  w6g::table(b, 184, w6g::pages(b, d, d.chps, false, textlen));
  if (!d.fndref.empty()) {
    std::string ref = w6g::cps(d.fndref) + std::string(2 * (d.fndref.size() - 1), '\0');
    w6g::table(b, 104, ref);
    w6g::table(b, 112, w6g::cps(d.fndtxt));
  }
  w6g::table(b, 176, w6g::cps(d.hdd));
  if (b.size() < pad) b.resize(pad, 0);
  return b;
}

// The document file: the stream in a compound document.
inline bytes word6doc(const w6spec &d) {
  bytes s = word6stream(d);
  dft::bytes f = dft::write({{"WordDocument", dft::bytes(s.begin(), s.end())}});
  return bytes(f.begin(), f.end());
}

// A sample document of the full reader's structures, whose main text all
// readers should find.
struct w6sample {
  std::string name;
  w6spec doc;
  std::string text;  // the main text
};

// The samples: property runs, a section, a table, a frame, a field, once
// in the mini stream and once padded past 4096 bytes (other readers refuse
// Word 6 streams in the mini stream), plain and fast-saved.
inline std::vector<w6sample> word6samples() {
  const std::string p1 = "The quick brown fox jumps over the lazy dog.\r", p2 = "Pack my box with five dozen liquor jugs.\r";
  const std::string cells = std::string("Cell one\x07") + "Cell two\x07\x07";
  std::vector<w6sample> out;
  for (size_t pad : {size_t{0}, size_t{6000}}) {
    std::string suffix = pad ? "-big" : "-mini";
    w6spec runs;
    runs.text = {word6, {p1, p2}, false, pad};
    runs.chps = {{0, "\x55\x01"}, {4, ""}, {10, "\x56\x01"}, {15, ""}};
    runs.paps = {{0, "\x05\x01"}, {static_cast<int32_t>(p1.size()), std::string("\x1a\x10\x00", 3)}};
    runs.seds = {{0, std::string("\x8a\x01", 2)}};
    out.push_back({"word6-runs" + suffix, runs, p1 + p2});
    w6spec table;
    table.text = {word6, {p1 + cells + p2}, false, pad};
    int32_t at = static_cast<int32_t>(p1.size());
    table.paps = {{0, ""},
                  {at, std::string("\x18\x01", 2)},
                  {at + 18, std::string("\x18\x01\x19\x01", 4)},
                  {at + 19, ""}};
    out.push_back({"word6-table" + suffix, table, p1 + "Cell one Cell two  " + p2});
    w6spec fast;
    fast.text = {word6, {p1, p2}, true, pad};
    out.push_back({"word6-fast" + suffix, fast, p1 + p2});
  }
  return out;
}

}  // namespace wgen

#endif  // KES_CONVERTERS_WORD_TESTS_WORD6GEN_H
