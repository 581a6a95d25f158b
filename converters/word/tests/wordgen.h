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
#include <initializer_list>
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

// ---------------------------------------------------------------- tables of the full readers

// The tables a full reader reads besides the text, by where each kind's
// header keeps them.
enum table { STSH, SED, CHPBIN, FONTS, DOP, ASSOC, BKNAMES, BKSTARTS, BKENDS, HDD, FNDREF, FNDTXT, ATNREF, ATNTXT };

// The header fields of a table (32-bit offset, 16-bit length) of a kind; -1
// when the kind has none there.
inline int tableat(kind k, table t) {
  bool v2 = k == word2;
  switch (t) {
    case STSH: return k == mac5 ? 70 : k == mac3 ? 36 : 94;
    case SED: return k == mac5 ? 88 : k == mac3 ? 54 : 124;
    case CHPBIN: return k == mac5 ? 118 : k == mac3 ? 84 : 160;
    case FONTS: return k == mac5 ? 136 : k == mac3 ? 102 : 178;
    case DOP: return k == mac5 ? 154 : k == mac3 ? -1 : v2 ? 274 : 262;
    case ASSOC: return k == mac5 || k == mac3 ? -1 : v2 ? 280 : 268;
    case BKNAMES: return k == mac5 || k == mac3 ? -1 : 214;
    case BKSTARTS: return k == mac5 || k == mac3 ? -1 : 220;
    case BKENDS: return k == mac5 || k == mac3 ? -1 : 226;
    case HDD: return k == mac5 ? 112 : k == mac3 ? 78 : 154;
    case FNDREF: return k == mac5 ? 76 : k == mac3 ? 42 : 100;
    case FNDTXT: return k == mac5 ? 82 : k == mac3 ? 48 : 106;
    case ATNREF: return k == mac5 || k == mac3 ? -1 : 112;
    case ATNTXT: return k == mac5 || k == mac3 ? -1 : 118;
  }
  return -1;
}

// A document with tables: the text as spec has it, the tables appended
// after it, one property page of character runs, and header bytes
// overwritten last (for damage).
struct fullspec {
  spec text;
  std::vector<std::pair<table, std::string>> tables;
  // Character runs: the character position each starts at and the bytes it
  // stores (without their count); one page, ending at the end of the text.
  std::vector<std::pair<int64_t, std::string>> runs;
  std::vector<std::pair<size_t, uint8_t>> patch;
  int runcount = -1;  // the page's run count byte, when not the true one
};

inline size_t pagesizeof(kind k) { return k == mac3 ? 128 : 512; }

// A style sheet: the number of standard styles, the name, character and
// paragraph blocks (counted entries) and the next/base pairs.
inline std::string stylesheet(kind k, int nstd, const std::string &names, const std::string &chps,
                              const std::string &paps, const std::vector<std::pair<int, int>> &nextbase) {
  std::string t = val(k, static_cast<uint64_t>(nstd), 2);
  for (const std::string *b : {&names, &chps, &paps}) t += val(k, b->size() + 2, 2) + *b;
  t += val(k, nextbase.size(), 2);
  for (auto &nb : nextbase) t += std::string(1, static_cast<char>(nb.first)) + static_cast<char>(nb.second);
  return t;
}

// A counted entry: its length byte and its bytes.
inline std::string counted(const std::string &s) { return std::string(1, static_cast<char>(s.size())) + s; }

// A Word font table: for each font two bytes, its name and a NUL, after the
// table's first bytes (2 in version 1, 3 in version 2).
inline std::string wordfonts(kind k, const std::vector<std::string> &names) {
  std::string t(k == word1 ? 2 : 3, '\0');
  for (const std::string &n : names) t += std::string(2, '\x10') + n + std::string(2, '\0');
  return t;
}

inline bytes makefull(const fullspec &f) {
  kind k = f.text.k;
  bool big = bigendian(k);
  bytes b = stream(f.text);
  std::vector<std::pair<table, std::string>> tables = f.tables;
  if (!f.runs.empty()) {
    // One page of runs, at a page boundary after everything else.
    size_t ps = pagesizeof(k);
    size_t fcmin = layoutof(k).header;
    std::string text;
    for (const std::string &p : f.text.pieces) text += p;
    size_t n = f.runs.size();
    bytes page(ps, 0);
    size_t at = 4 * (n + 1) + n;
    for (size_t i = 0; i <= n; i++) {
      uint64_t fc = fcmin + (i < n ? static_cast<size_t>(f.runs[i].first) : text.size());
      put(page, 4 * i, fc, 4, big);
    }
    for (size_t i = 0; i < n; i++) {
      const std::string &g = f.runs[i].second;
      if (g.empty()) continue;
      at = (at + 1) & ~static_cast<size_t>(1);
      page[4 * (n + 1) + i] = static_cast<uint8_t>(k == mac3 ? at : at / 2);
      page[at] = static_cast<uint8_t>(g.size());
      for (size_t j = 0; j < g.size(); j++) page[at + 1 + j] = static_cast<uint8_t>(g[j]);
      at += 1 + g.size();
    }
    page[ps - 1] = static_cast<uint8_t>(f.runcount >= 0 ? f.runcount : static_cast<int>(n));
    size_t pageno = (b.size() + ps - 1) / ps;
    b.resize(pageno * ps, 0);
    b.insert(b.end(), page.begin(), page.end());
    tables.push_back({CHPBIN, val(k, fcmin, 4) + val(k, fcmin + text.size(), 4) + val(k, pageno, 2)});
  }
  for (auto &t : tables) {
    int at = tableat(k, t.first);
    if (at < 0) continue;
    put(b, static_cast<size_t>(at), b.size(), 4, big);
    put(b, static_cast<size_t>(at) + 4, t.second.size(), 2, big);
    b.insert(b.end(), t.second.begin(), t.second.end());
  }
  for (auto &p : f.patch) {
    if (b.size() <= p.first) b.resize(p.first + 1, 0);
    b[p.first] = p.second;
  }
  return b;
}

// A document with one page of paragraph runs besides: each run starts at a
// character position and stores its style number and modifiers (an empty
// string stores nothing: the paragraph has its style's properties). Mac
// Word 3 counts entries in bytes and keeps modifiers from the entry's fourth
// byte, the others count 16-bit words and keep them from its eighth.
inline bytes withparas(const fullspec &f, const std::vector<std::pair<int64_t, std::string>> &paras,
                       const std::vector<int> &styles = {}) {
  kind k = f.text.k;
  bool big = bigendian(k);
  bytes b = makefull(f);
  size_t ps = pagesizeof(k);
  size_t fcmin = layoutof(k).header;
  std::string text;
  for (const std::string &p : f.text.pieces) text += p;
  size_t n = paras.size();
  bytes page(ps, 0);
  for (size_t i = 0; i <= n; i++)
    put(page, 4 * i, fcmin + (i < n ? static_cast<size_t>(paras[i].first) : text.size()), 4, big);
  size_t at = 4 * (n + 1) + n;
  size_t from = k == mac3 ? 4 : 8;
  for (size_t i = 0; i < n; i++) {
    const std::string &mods = paras[i].second;
    int style = i < styles.size() ? styles[i] : 0;
    if (mods.empty() && style == 0) continue;
    at = (at + 1) & ~static_cast<size_t>(1);
    size_t len = from + mods.size();
    if (k != mac3) len = (len + 1) & ~static_cast<size_t>(1);
    page[4 * (n + 1) + i] = static_cast<uint8_t>(k == mac3 ? at : at / 2);
    page[at] = static_cast<uint8_t>(k == mac3 ? len : len / 2);
    for (size_t j = 0; j < mods.size(); j++) page[at + from + j] = static_cast<uint8_t>(mods[j]);
    page[at + 1] = static_cast<uint8_t>(style);
    at += len + 1;
  }
  page[ps - 1] = static_cast<uint8_t>(n);
  size_t pageno = (b.size() + ps - 1) / ps;
  b.resize(pageno * ps, 0);
  b.insert(b.end(), page.begin(), page.end());
  std::string bin = val(k, fcmin, 4) + val(k, fcmin + text.size(), 4) + val(k, pageno, 2);
  size_t field = k == mac5 ? 124 : k == mac3 ? 90 : 166;
  put(b, field, b.size(), 4, big);
  put(b, field + 4, bin.size(), 2, big);
  b.insert(b.end(), bin.begin(), bin.end());
  return b;
}

// ---------------------------------------------------------------- the other stories

// A document with stories besides the main text: footnotes, headers and
// footers (in the order of their walk), annotations (Word only) and
// sections. The stories' texts follow the main text in that order, as one
// range; paragraph runs (as withparas has them) count positions over all
// of it.
struct storyspec {
  kind k = word2;
  std::string main;
  std::vector<std::pair<int64_t, std::string>> notes;   // reference position, text
  std::vector<std::string> hf;                          // header and footer texts
  std::vector<std::pair<int64_t, std::string>> annots;  // reference position, text
  std::vector<std::pair<int64_t, std::string>> sections;  // start position, modifiers
  std::vector<std::pair<int64_t, std::string>> paras;
  std::vector<int> parastyles;  // the style of each paragraph run
  std::vector<std::pair<table, std::string>> tables;
  // Fast-saved: each story's text a piece of its own (the main text two,
  // split at its middle), stored out of order. Runs and paragraphs are
  // then not placed where their text is stored.
  bool complex = false;
  // Fast-saved with every text of the other stories cut at its middle too,
  // so that a note or header starts or ends inside a piece.
  bool split = false;
};

// A position table: the positions, then n entries of size bytes (zeros).
inline std::string plc(kind k, const std::vector<int64_t> &pos, size_t entry) {
  std::string t;
  for (int64_t p : pos) t += val(k, static_cast<uint64_t>(p), 4);
  return t + std::string(entry * (pos.size() - 1), '\0');
}

// Positions of texts that follow one another, from 0.
inline std::vector<int64_t> runsof(const std::vector<std::string> &texts) {
  std::vector<int64_t> p{0};
  for (const std::string &t : texts) p.push_back(p.back() + static_cast<int64_t>(t.size()));
  return p;
}

inline bytes makestories(const storyspec &s) {
  kind k = s.k;
  bool big = bigendian(k);
  std::vector<std::string> notes, annots;
  std::vector<int64_t> noterefs, annotrefs;
  for (auto &n : s.notes) noterefs.push_back(n.first), notes.push_back(n.second);
  for (auto &a : s.annots) annotrefs.push_back(a.first), annots.push_back(a.second);
  std::string text = s.main;
  for (const std::vector<std::string> *group : std::initializer_list<const std::vector<std::string> *>{&notes, &s.hf, &annots})
    for (const std::string &t : *group) text += t;
  fullspec f{{k, {text}}, s.tables};
  if (s.complex) {
    size_t half = s.main.size() / 2;
    f.text.pieces = {s.main.substr(0, half), s.main.substr(half)};
    for (const std::vector<std::string> *group : std::initializer_list<const std::vector<std::string> *>{&notes, &s.hf, &annots}) {
      std::string t;
      for (const std::string &x : *group) {
        if (s.split && x.size() > 1) {
          f.text.pieces.push_back(t + x.substr(0, x.size() / 2));
          t = x.substr(x.size() / 2);
        } else {
          t += x;
        }
      }
      if (!t.empty()) f.text.pieces.push_back(t);
    }
    f.text.complex = true;
  }
  int64_t mainlen = static_cast<int64_t>(s.main.size());
  if (!notes.empty()) {
    noterefs.push_back(mainlen);
    f.tables.push_back({FNDREF, plc(k, noterefs, 2)});
    f.tables.push_back({FNDTXT, plc(k, runsof(notes), 0)});
  }
  if (!annots.empty()) {
    annotrefs.push_back(mainlen);
    f.tables.push_back({ATNREF, plc(k, annotrefs, 20)});
    f.tables.push_back({ATNTXT, plc(k, runsof(annots), 0)});
  }
  if (!s.hf.empty()) f.tables.push_back({HDD, plc(k, runsof(s.hf), 0)});
  std::vector<int64_t> starts;
  for (auto &sec : s.sections) starts.push_back(sec.first);
  if (!starts.empty()) {
    starts.push_back(mainlen);
    f.tables.push_back({SED, plc(k, starts, 6)});
  }
  bytes b = s.paras.empty() ? makefull(f) : withparas(f, s.paras, s.parastyles);
  // The sections' modifiers at the end of the file, their offsets in the
  // section descriptors.
  if (!s.sections.empty()) {
    size_t sed = 0;
    for (int i = 0; i < 4; i++) sed |= static_cast<size_t>(b[tableat(k, SED) + i]) << (big ? 8 * (3 - i) : 8 * i);
    size_t n = s.sections.size();
    for (size_t i = 0; i < n; i++) {
      put(b, sed + 4 * (n + 1) + 6 * i + 2, b.size(), 4, big);
      b.push_back(static_cast<uint8_t>(s.sections[i].second.size()));
      b.insert(b.end(), s.sections[i].second.begin(), s.sections[i].second.end());
    }
  }
  // The stories' lengths.
  int64_t lens[4] = {mainlen, static_cast<int64_t>(runsof(notes).back()), static_cast<int64_t>(runsof(s.hf).back()),
                     static_cast<int64_t>(runsof(annots).back())};
  if (k == mac5 || k == mac3) {
    for (int i = 0; i < 3; i++) put(b, (k == mac3 ? 124 : 36) + 4 * i, static_cast<uint64_t>(lens[i]), 4, big);
  } else {
    for (int i = 0; i < 3; i++) put(b, 52 + 4 * i, static_cast<uint64_t>(lens[i]), 4, big);
    put(b, 68, static_cast<uint64_t>(lens[3]), 4, big);
  }
  return b;
}

}  // namespace wgen

namespace wgen {

// A Word 6 stream as the full reader wants it: the extractor's stream with
// document properties of doplen bytes and a style sheet of one paragraph
// style (a base of 10 bytes, a name, its two UPXs) appended.
inline bytes word6full(const spec &s, size_t doplen = 84) {
  bytes b = stream(s);
  put(b, 336, b.size(), 4, false);
  put(b, 340, doplen, 4, false);
  b.insert(b.end(), doplen, 0);
  if (b.size() % 2) b.push_back(0);
  size_t at = b.size();
  bytes st = {14, 0, 1, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};  // cbStshi, cstd 1, base 10
  bytes style = {0, 0, 1, 0, 2, 0, 0, 0, 0, 0};                   // sti 0, sgc 1, cupx 2
  bytes name = {6, 'N', 'o', 'r', 'm', 'a', 'l', 0};
  bytes body = style;
  body.insert(body.end(), name.begin(), name.end());
  if (body.size() % 2) body.push_back(0);
  for (bytes upx : {bytes{2, 0, 0, 0}, bytes{0, 0}}) body.insert(body.end(), upx.begin(), upx.end());
  st.push_back(static_cast<uint8_t>(body.size()));
  st.push_back(0);
  st.insert(st.end(), body.begin(), body.end());
  b.insert(b.end(), st.begin(), st.end());
  put(b, 96, at, 4, false);
  put(b, 100, st.size(), 4, false);
  return b;
}

}  // namespace wgen


namespace wgen {

// ---------------------------------------------------------------- font tables as the Word reader reads them

// A font of a stored font table: its name, and for Word 6 its family code
// (bits 4-6 of the second byte) and character set; the Mac font number of
// a Mac Word 5 table.
struct font {
  std::string name;
  int family = 0;
  int charset = 0;
  int macnumber = 0;
};

// The stored font table of a kind: Word 6 entries of a size byte, family,
// weight, character set, alternative-name index and the name; Word 2
// entries of a size byte, two bytes and the name filling its area; Word 1
// entries of a size byte, one byte and the name; Mac Word 5 a count and
// entries of a word, the font number, a length byte and the name.
inline std::string fonttable(kind k, const std::vector<font> &fonts) {
  std::string body;
  for (const font &f : fonts) {
    const std::string &n = f.name;
    switch (k) {
      case word6:
        body += static_cast<char>(6 + n.size());
        body += static_cast<char>(f.family << 4);
        body += std::string(2, '\0');
        body += static_cast<char>(f.charset);
        body += '\0';
        body += n + '\0';
        break;
      case word2: body += static_cast<char>(n.size() + 3) + std::string(2, '\0') + n + '\0'; break;
      case word1: body += static_cast<char>(n.size() + 2) + std::string(1, '\0') + n + '\0'; break;
      case mac5:
      case mac3:
        body += val(k, 0, 2) + val(k, static_cast<uint64_t>(f.macnumber), 2);
        body += static_cast<char>(n.size()) + n;
        break;
    }
  }
  if (k == mac5 || k == mac3) return val(k, fonts.size(), 2) + body;
  return val(k, body.size() + 2, 2) + body;
}

// Where the header keeps the font table: Word 6 (32-bit length), Word 1
// and 2, Mac Word 5 (level 5 files, the header's 188 being set).
inline size_t fontfield(kind k) { return k == word6 ? 208 : k == mac5 ? 194 : 178; }

// Appends a table to a stream (Word 6) or file and points a header field
// (a 32-bit position, then a 32-bit length for Word 6, else 16-bit) at it.
inline void attach(bytes &b, kind k, size_t field, const std::string &t) {
  if (b.size() % 2) b.push_back(0);
  put(b, field, b.size(), 4, bigendian(k));
  put(b, field + 4, t.size(), k == word6 ? 4 : 2, bigendian(k));
  b.insert(b.end(), t.begin(), t.end());
}

// Marks a Mac Word file as Mac Word 5 with fast-save information (level 5
// of the Word reader) rather than Mac Word 4 (level 4).
inline void maclevel5(bytes &b) { put(b, 188, 1, 4, true); }

}  // namespace wgen

#endif
