// Test-side writer of Word for DOS documents with the pages the zone path
// reads: character and paragraph property pages of given runs, a footnote
// table, the name of a style sheet, and style sheets of 32-byte style
// records with their own pages.
#ifndef KES_CONVERTERS_FORMATS_TESTS_WDZGEN_H
#define KES_CONVERTERS_FORMATS_TESTS_WDZGEN_H

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "converters/formats/tests/wdgen.h"

namespace wdgen {

// A run over text bytes [from, to) (counted from the first text byte) and
// its property without its length byte; empty: no property.
struct zrun {
  int32_t from, to;
  std::string prop;
};

struct zspec {
  std::string text;
  std::vector<zrun> chps, paps;
  // Footnotes: (reference position, text start), the last one only ending
  // the one before; positions count from the first text byte.
  std::vector<std::pair<int32_t, int32_t>> notes;
  std::string stylename;
  int runsperpage = 8;
};

// Property pages of runs whose offsets are file offsets plus base.
inline std::string zpages(const std::vector<zrun> &runs, int32_t base, int per) {
  std::string out;
  for (size_t from = 0; from < runs.size(); from += static_cast<size_t>(per)) {
    size_t n = std::min(runs.size() - from, static_cast<size_t>(per));
    std::string p(128, '\0');
    put(p, 0, static_cast<uint32_t>(runs[from].from + base), 4);
    size_t at = 4 + 6 * n;
    for (size_t i = 0; i < n; ++i) {
      const zrun &r = runs[from + i];
      put(p, 4 + 6 * i, static_cast<uint32_t>(r.to + base), 4);
      if (r.prop.empty()) continue;
      put(p, 8 + 6 * i, at - 4, 2);
      p[at] = static_cast<char>(r.prop.size());
      p.replace(at + 1, r.prop.size(), r.prop);
      at += 1 + r.prop.size();
    }
    p[127] = static_cast<char>(n);
    out += p;
  }
  return out;
}

inline std::string padpage(std::string s) {
  s.resize((s.size() + 127) / 128 * 128, '\0');
  return s;
}

inline std::string makez(const zspec &s) {
  std::string h(128, '\0');
  h.replace(0, 6, std::string("\x31\xBE\x00\x00\x00\xAB", 6));
  uint32_t end = static_cast<uint32_t>(128 + s.text.size());
  put(h, 14, end, 4);
  h.replace(30, s.stylename.size(), s.stylename);
  put(h, 126, 437, 2);
  std::string doc = padpage(h + s.text) + zpages(s.chps, 128, s.runsperpage);
  put(doc, 18, doc.size() / 128, 2);
  doc += zpages(s.paps, 128, s.runsperpage);
  put(doc, 20, doc.size() / 128, 2);
  if (!s.notes.empty()) {
    std::string t(4, '\0');
    put(t, 0, s.notes.size(), 2);
    for (auto &n : s.notes) {
      std::string e(8, '\0');
      put(e, 0, static_cast<uint32_t>(n.first), 4);
      put(e, 4, static_cast<uint32_t>(n.second), 4);
      t += e;
    }
    doc += padpage(t);
  }
  put(doc, 22, doc.size() / 128, 2);
  return doc;
}

// A style sheet: style records of the codes given (each 32 bytes), runs of
// them with properties on character pages (chp) and paragraph pages (pap).
inline std::string stylesheet(const std::vector<int> &codes, const std::vector<zrun> &chp, const std::vector<zrun> &pap) {
  std::string recs;
  for (int c : codes) {
    std::string r(32, ' ');
    r[0] = static_cast<char>(c);
    recs += r;
  }
  return makez({recs, chp, pap});
}

}  // namespace wdgen

#endif  // KES_CONVERTERS_FORMATS_TESTS_WDZGEN_H
