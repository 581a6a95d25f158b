// Test-side writer of WordPerfect 5.x and 6.x documents, byte by byte: the
// 16-byte file header, a 6.x packet index with its packets, and the
// document area of text and function codes. Codes are written whole, with
// the closing bytes the format repeats at their end, so that independent
// readers accept the files; damaged documents are made by editing bytes.
#ifndef KES_CONVERTERS_FORMATS_TESTS_WPGEN_H
#define KES_CONVERTERS_FORMATS_TESTS_WPGEN_H

#include <cstdint>
#include <string>
#include <vector>

namespace wpg {

// Little-endian 16- and 32-bit values.
inline std::string le16(unsigned v) { return {char(v & 0xFF), char(v >> 8 & 0xFF)}; }
inline std::string le32(uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }
inline std::string zeros(size_t n) { return std::string(n, '\0'); }
inline std::string byte(int b) { return std::string(1, char(b)); }

// ---------------------------------------------------------------- WordPerfect 5.x

// A 5.x document: header (version 5.0 or 5.1), prefix area, document area.
inline std::string wp5(const std::string &body, int minor = 1, const std::string &prefix = "") {
  return std::string("\xFFWPC") + le32(16 + static_cast<uint32_t>(prefix.size())) + byte(1) + byte(10) + byte(0) +
         byte(minor) + zeros(4) + prefix + body;
}

// A group: code, subfunction, length L, the data, then the four closing
// bytes (L, subfunction, code) that L counts too.
inline std::string wp5group(int code, int sub, const std::string &data) {
  unsigned len = static_cast<unsigned>(data.size()) + 4;
  return byte(code) + byte(sub) + le16(len) + data + le16(len) + byte(sub) + byte(code);
}

// An extended character.
inline std::string wp5ext(int set, int number) { return std::string("\xC0") + byte(number) + byte(set) + "\xC0"; }

// A header or footer (subfunction 0-3) holding text; text 0 writes byte 7 as 0 (no text).
inline std::string wp5header(int sub, const std::string &text, bool hastext = true) {
  return wp5group(0xD5, sub, zeros(7) + byte(hastext ? 1 : 0) + zeros(10) + text);
}

// A footnote (subfunction 0) or endnote (1) with k 16-bit numbers ahead of its text.
inline std::string wp5note(int sub, const std::string &text, int k = 0) {
  return wp5group(0xD6, sub, zeros(3) + byte(k) + zeros(2 * (k + 1)) + zeros(9) + text);
}

// A packet of a 5.x prefix: its type and its bytes.
struct packet5 {
  int type;
  std::string data;
};

// A 5.x prefix starting at offset 16: a chain of index blocks of `per`
// entries each (type 0xFFFB, whose count includes the block's header),
// the last holding a type-0 entry after the packets, then the packets.
inline std::string wp5prefix(const std::vector<packet5> &pkts, unsigned per = 5) {
  size_t entries = pkts.size() + 1, blocks = (entries + per - 1) / per;
  size_t blocksize = 10 + 10 * per, at = 16 + blocks * blocksize;
  std::string index, data;
  for (size_t b = 0; b < blocks; b++) {
    uint32_t next = b + 1 < blocks ? static_cast<uint32_t>(16 + (b + 1) * blocksize) : 0;
    index += le16(0xFFFB) + le16(per + 1) + le16(static_cast<unsigned>(blocksize)) + le32(next);
    for (size_t e = b * per; e < (b + 1) * per; e++) {
      if (e < pkts.size()) {
        index += le16(static_cast<unsigned>(pkts[e].type)) + le32(static_cast<uint32_t>(pkts[e].data.size())) +
                 le32(static_cast<uint32_t>(at + data.size()));
        data += pkts[e].data;
      } else {
        index += zeros(10);
      }
    }
  }
  return index + data;
}

// The summary packet: its fields each ended by a zero byte.
inline std::string wp5summary(const std::vector<std::string> &fields) {
  std::string d;
  for (const std::string &f : fields) d += f + zeros(1);
  return d;
}

// Font descriptors (86 bytes each, the name's offset in the pool at 18)
// and their name pool. A 5.1 list ends with an entry whose first word is
// 0xFFFF.
inline std::vector<packet5> wp5fonts(const std::vector<std::string> &names, int minor = 1) {
  std::string desc, pool;
  for (size_t i = 0; i < names.size(); i++) {
    std::string e = zeros(86);
    e.replace(18, 2, le16(static_cast<unsigned>(pool.size())));
    e[30] = char(i + 1);  // a descriptor byte that tells the fonts apart
    desc += e;
    pool += names[i] + zeros(1);
  }
  if (minor) desc += le16(0xFFFF) + zeros(84);
  return {{minor ? 15 : 2, desc}, {7, pool}};
}

// A style packet: the name area, the kind (0 paragraph: type byte 0x01),
// the style number, three code parts.
inline std::string wp5stylepkt(const std::string &name, int number, const std::string &p1, const std::string &p2 = "",
                               const std::string &p3 = "", int type = 1) {
  std::string area = (name + zeros(21)).substr(0, 21);
  return area + byte(type) + zeros(55) + byte(number) + le16(static_cast<unsigned>(p1.size())) + zeros(2) +
         le16(static_cast<unsigned>(p2.size())) + zeros(2) + le16(static_cast<unsigned>(p3.size())) + p1 + p2 + p3;
}

// The graphics packet: a count, the sizes, the graphics.
inline std::string wp5graphics(const std::vector<std::string> &g) {
  std::string d = le16(static_cast<unsigned>(g.size()));
  for (const std::string &x : g) d += le32(static_cast<uint32_t>(x.size()));
  for (const std::string &x : g) d += x;
  return d;
}

// A table: the definition (column widths in 1/1200 inch), then per row a
// row function and per cell a cell function before the cell's text, and
// the table's end. Each cell is {text, span}.
struct cell5 {
  std::string text;
  int span = 1;
};
inline std::string wp5table(const std::vector<std::vector<cell5>> &rows, const std::vector<unsigned> &widths) {
  std::string def = zeros(2) + le16(0) + zeros(20) + byte(1) + zeros(1) + le16(static_cast<unsigned>(widths.size())) +
                    zeros(20);
  for (unsigned w : widths) def += le16(w);
  for (size_t i = 0; i < widths.size(); i++) def += le16(0);
  for (size_t i = 0; i < widths.size(); i++) def += byte(0);
  std::string t = wp5group(0xD2, 0x0B, def);
  for (const auto &row : rows) {
    t += wp5group(0xDC, 0x01, zeros(3) + byte(0) + byte(0) + le16(0) + byte(0));
    for (const cell5 &c : row) t += wp5group(0xDC, 0x00, zeros(2) + byte(c.span) + byte(1) + zeros(7)) + c.text;
  }
  return t + wp5group(0xDC, 0x02, zeros(4));
}

// A graphics box (subfunction 0 figure .. 4 equation) of contents c, its
// caption and, for contents other than a figure's, its text.
inline std::string wp5box(int sub, int contents, const std::string &caption, const std::string &text = "",
                          int graphic = 0) {
  std::string d = zeros(4) + zeros(24) + zeros(20) + byte(contents) + zeros(21) + zeros(33) + zeros(6) +
                  le16(static_cast<unsigned>(graphic)) + zeros(4) + le16(static_cast<unsigned>(caption.size()));
  return wp5group(0xDA, sub, d + caption + text);
}

// ---------------------------------------------------------------- WordPerfect 6.x

// One packet of the index: its type and its bytes.
struct packet {
  int type;
  std::string data;
  int flags = 0;  // the index entry's flags byte
};

// A 6.x document: header, the packet index at offset 16 (the entries
// numbered from 1, one spare entry after them, as the count includes the
// index header), the packets, the document area.
inline std::string wp6(const std::string &body, const std::vector<packet> &pkts = {}, int minor = 1) {
  size_t n = pkts.size() + 1;
  size_t at = 16 + 14 + 14 * n;
  std::string index = byte(2) + byte(0) + le16(static_cast<unsigned>(n)) + zeros(10), data;
  for (const packet &p : pkts) {
    index += byte(p.flags) + byte(p.type) + zeros(4) + le32(static_cast<uint32_t>(p.data.size())) +
             le32(static_cast<uint32_t>(at + data.size()));
    data += p.data;
  }
  index += zeros(14);
  std::string head = std::string("\xFFWPC") + le32(static_cast<uint32_t>(at + data.size())) + byte(1) + byte(10) + byte(2) +
                     byte(minor) + zeros(2) + le16(16);
  return head + index + data + body;
}

// A variable-length code: code, subfunction, whole length L, flags, the
// packet numbers (with flag 0x80), the data, then the closing L and code.
inline std::string wp6code(int code, int sub, const std::string &data = "", const std::vector<int> &pkts = {},
                           int flags = -1) {
  std::string mid = byte(flags >= 0 ? flags : pkts.empty() ? 0 : 0x80);
  if (!pkts.empty() || flags > 0) {
    mid += byte(static_cast<int>(pkts.size()));
    for (int p : pkts) mid += le16(static_cast<unsigned>(p));
  }
  mid += data;
  unsigned len = static_cast<unsigned>(mid.size()) + 7;
  return byte(code) + byte(sub) + le16(len) + mid + le16(len) + byte(code);
}

// A layout code of group 0xD0 as a document holds it (two bytes of data).
inline std::string wp6eol(int sub) { return wp6code(0xD0, sub, le16(2) + zeros(2)); }

// An extended character.
inline std::string wp6ext(int set, int number) { return std::string("\xF0") + byte(number) + byte(set) + "\xF0"; }

// The text-output switch: type 0 turns text off, 1 on again.
inline std::string wp6undo(int type) { return std::string("\xF1") + byte(type) + zeros(2) + "\xF1"; }

// A text packet: one block, the text's offset (10) and size, the text.
inline std::string wp6text(const std::string &text) {
  return le16(1) + le32(10) + le32(static_cast<uint32_t>(text.size())) + text;
}

// A header (subfunction 0-3) or a footnote (0xD7 0) naming text packet n.
inline std::string wp6header(int sub, int n) { return wp6code(0xD6, sub, le16(1) + "\xFF", {n}); }
inline std::string wp6note(int n) { return wp6code(0xD7, 0, le16(0), {n}) + wp6code(0xD7, 1, le16(0)); }

// A box's description packet: a count of 16-bit values (none), one more
// value, nine sub-blocks, the fourth holding the content type in its second byte.
inline std::string wp6boxdesc(int type) {
  std::string d = le16(0) + le16(0);
  for (int i = 0; i < 9; i++) d += i == 3 ? le16(2) + byte(0) + byte(type) : le16(0);
  return d;
}

// A box code naming its packets (the description first), with an override
// mask and the override sub-blocks it announces.
inline std::string wp6box(const std::vector<int> &pkts, unsigned mask = 0, const std::string &blocks = "") {
  return wp6code(0xDF, 0, zeros(20) + le16(mask) + blocks, pkts);
}

// A string of 16-bit characters ended by a 0 character.
inline std::string wp6units(const std::string &s) {
  std::string u;
  for (char c : s) u += std::string(1, c) + zeros(1);
  return u + zeros(2);
}

// ---------------------------------------------------------------- the cross-checked documents

// A generated document with the text the converters write for it (code
// page 819, CR LF line ends) and which independent readers confirm it.
struct doc {
  const char *name;       // file name without extension
  bool six;               // a 6.x document (.wpd) rather than 5.x (.wp)
  std::string bytes;
  std::string text;       // what the converter writes
  bool checked = true;    // wpd2text confirms the words (it reads no table or box
                          // that lacks their definitions: those only the tests check)
};

// Paragraph text of the generated documents.
inline std::string para(unsigned n) {
  static const char *const words[] = {"index", "of", "the", "retrieval", "server", "documents", "and",
                                      "queries", "with", "terms", "lists", "scores", "converter"};
  std::string p;
  for (unsigned i = 0; i < 12; i++) p += std::string(i ? " " : "") + words[(n * 7 + i * 3) % 13];
  return p;
}

// The documents of the tests, most also checked against an independent reader.
// Headers stand at the top and notes at the end of the text, where the
// readers print them too.
inline std::vector<doc> corpus() {
  std::vector<doc> d;
  // 5.0: paragraphs, soft returns, hard hyphen and spaces, extended characters.
  d.push_back({"wp50", false,
               wp5(para(0) + "\x0D" + para(1) + "\x0A" + "Stra" + wp5ext(1, 23) + "e caf" + wp5ext(1, 41) +
                       "\xA9noir\x0A" + para(2), 0),
               para(0) + " " + para(1) + "\r\nStra\xDF" "e caf\xE9-noir\r\n" + para(2)});
  // 5.1: a header, a character of a code-page row, a footnote.
  d.push_back({"wp51", false,
               wp5(wp5header(0, "Annual report\x0A") + para(3) + "\x0A" + "Z" + wp5ext(1, 71) + "rich\x0A" + para(4) +
                   wp5note(0, "See the appendix")),
               " Annual report\r\n" + para(3) + "\r\nZ\xFCrich\r\n" + para(4) + " See the appendix"});
  // 5.1: every group that carries text or marks, and the fixed-length codes.
  d.push_back({"wp51-groups", false,
               wp5("a" + wp5group(0xD9, 2, zeros(3) + "Remark") + wp5group(0xDA, 2, zeros(115) + le16(1) + "x" + "Cap") +
                   wp5group(0xD7, 0, "\x10") + "b" + wp5group(0xD7, 1, "\x10") + wp5group(0xD7, 3, "") +
                   wp5group(0xDC, 0, "") + "c" + wp5group(0xDC, 2, "") + "\xC1" + zeros(7) + "\xC1" + "d\xC2" +
                   zeros(9) + "\xC2" + "e" + wp5note(1, "In" + wp5header(0, "ner"))),
               "a RemarkCapb  c d e In ner", false});
  // 6.x: a header and a footnote read from their packets, line ends,
  // extended and single-byte characters. Spaces are the code 0x80.
  auto six = [](const std::string &s) {
    std::string t;
    for (char c : s) t += c == ' ' ? std::string("\x80") : std::string(1, c);
    return t;
  };
  d.push_back({"wp6", true,
               wp6(wp6header(0, 1) + six(para(5)) + wp6eol(0x04) + six("Stra") + wp6ext(1, 23) + six("e M\x1Cller") +
                       "\xCC" + six(para(6)) + wp6note(2),
                   {{8, wp6text(six("Quarterly figures") + "\xCC")}, {8, wp6text(six(" A footnote"))}}),
               "Quarterly figures\r\n" + para(5) + "\r\nStra\xDF" "e M\xFCller\r\n" + para(6) + " A footnote"});
  d.push_back({"wp6-table", true,
               wp6(six("Before") + wp6eol(0x04) + wp6eol(0x0B) + "a1" + wp6eol(0x0A) + "b1" + wp6eol(0x0B) + "a2" +
                       wp6eol(0x0A) + "b2" + wp6eol(0x11) + six("After")),
               "Before\r\na1\tb1\r\na2\tb2\r\nAfter", false});
  d.push_back({"wp6-box", true,
               wp6(six("Before") + wp6box({1, 2}) + six("After"), {{14, wp6boxdesc(0)}, {8, wp6text(six("Boxed"))}}),
               "BeforeBoxedAfter", false});
  d.push_back({"wp6-switch", true,
               wp6(six("Shown") + wp6undo(0) + six("Hidden") + wp6undo(1) + six(" again")),
               "Shown again"});
  d.push_back({"wp6-marks", true,
               wp6("a" + wp6code(0xD4, 0x1D, "", {1}) + wp6code(0xD4, 0x06, "", {3}) +
                       wp6code(0xD4, 0x07, zeros(2) + wp6units("Name")) + wp6header(1, 4) + "b",
                   {{14, le16(0) + le16(2)},
                    {65, le16(0) + le32(0) + "Named"},
                    {8, wp6units("x") + wp6units("Mark")},
                    {8, wp6text("Hd")}}),
               "aNamedMarkNameHdb", false});
  // 6.x text for indexing: a word hyphenated at a line end, soft line ends
  // at a column's end, a paragraph number set apart by an indent.
  d.push_back({"wp6-words", true,
               wp6(six("Dit is door") + "\x83" + six("gaans de") + wp6eol(0x02) + six("waarden") + wp6eol(0x03) +
                   six("voor") + wp6eol(0x04) + "7.1" + wp6code(0xE0, 0x30) + six("Inleiding")),
               "Dit is doorgaans de waarden voor\r\n7.1\tInleiding"});
  return d;
}

// Documents for the framework's WordPerfect 5 reader, in 5.0 and 5.1: a
// prefix of several index blocks with a summary, fonts, a style and a
// graphic, and in the body a header, notes, a field, a table and boxes. The
// text is the words the reader gives (headers, notes and captions where
// they stand, a figure without text).
inline std::vector<doc> reader5() {
  std::vector<doc> d;
  for (int minor = 0; minor <= 1; minor++) {
    std::vector<packet5> p = {{1, wp5summary({"", "Quarterly report", "kw"})}};
    for (const packet5 &f : wp5fonts({"Courier 10cpi", "Arial  (TT)"}, minor)) p.push_back(f);
    p.push_back({256, wp5stylepkt("Heading", 3, "", "")});
    p.push_back({8, wp5graphics({"\x0F\x02xy" + std::string("\x11\x0A") + zeros(10)})});
    std::string v = minor ? "51" : "50";
    std::string pre = wp5prefix(p, 2);
    d.push_back({minor ? "r5-prefix51" : "r5-prefix50", false, wp5(para(7) + "\x0A" + para(8), minor, pre),
                 para(7) + "\r\n" + para(8)});
    d.push_back({minor ? "r5-notes51" : "r5-notes50", false,
                 wp5(wp5header(0, "Running head") + "\x0A" + para(9) + wp5note(0, "Footnote words") + "\x0A" +
                         para(10),
                     minor, pre),
                 "Running head\r\n" + para(9) + " Footnote words\r\n" + para(10)});
    d.push_back({minor ? "r5-table51" : "r5-table50", false,
                 wp5("Before\x0A" + wp5table({{{"alpha"}, {"beta"}}, {{"gamma"}, {"delta"}}}, {2400, 2400}) +
                         "After",
                     minor, pre),
                 "Before\r\nalpha\r\nbeta\r\ngamma\r\ndelta\r\nAfter", false});
    d.push_back({minor ? "r5-box51" : "r5-box50", false,
                 wp5("Before\x0A" + wp5box(2, 0x10, "Caption", "Boxed words") + "After", minor, pre),
                 "Before\r\nBoxed words\r\nCaption\r\nAfter", false});
  }
  return d;
}


// ---------------------------------------------------------------- WordPerfect 6 prologue, tables, boxes

// A summary packet: entries {tag, value bytes} (texts as wp6units gives them).
inline std::string wp6summary(const std::vector<std::pair<int, std::string>> &entries) {
  std::string d;
  for (const auto &e : entries) {
    std::string body = le16(static_cast<unsigned>(e.first)) + le16(0) + wp6units("N") + e.second;
    d += le16(static_cast<unsigned>(body.size() + 2)) + body;
  }
  return d + le16(0);
}

// A font descriptor packet (type 0x55) naming a font.
inline std::string wp6fontdesc(const std::string &name) {
  return zeros(22) + le16(static_cast<unsigned>(2 * name.size())) + wp6units(name).substr(0, 2 * name.size());
}

// A style packet (type 0x30): its name and the contents of its two parts.
inline std::string wp6stylepkt(const std::string &name, const std::string &on, const std::string &off, int kind = 1) {
  std::string n = wp6units(name);
  unsigned end = static_cast<unsigned>(32 + n.size());
  return le16(1) + zeros(4) + le32(end) + le32(static_cast<uint32_t>(on.size())) + le32(0) +
         le32(static_cast<uint32_t>(off.size())) + le32(0) + byte(kind) + byte(0) + le16(0) + le16(end) + n + on + off;
}

// A table: the definition (D4/2A, left edge and alignment 4 when left is
// given), its columns (D4/2C, widths in 1/1200 inch), the begin (D4/2B),
// then rows of cells (D0/0B starts a row and its first cell, D0/0A each
// further cell) and the end (D0/11).
inline std::string wp6table(const std::vector<std::vector<std::string>> &rows, const std::vector<unsigned> &widths,
                            unsigned left = 0) {
  std::string t = wp6code(0xD4, 0x2A, zeros(2) + byte(left ? 4 : 0) + le16(left) + zeros(5) + le16(0) + le16(0));
  for (unsigned w : widths) t += wp6code(0xD4, 0x2C, zeros(3) + le16(w) + le16(0) + le16(0) + zeros(4) + byte(0));
  t += wp6code(0xD4, 0x2B, zeros(2));
  for (const auto &r : rows)
    for (size_t c = 0; c < r.size(); c++) t += wp6eol(c == 0 ? 0x0B : 0x0A) + r[c];
  return t + wp6eol(0x11);
}

// A box packet (type 0x0E): no style packets, a word, nine blocks, the
// fourth naming the contents.
inline std::string wp6boxpkt(int content) {
  std::string d = le16(0) + le16(0);
  for (int i = 0; i < 9; i++) d += i == 3 ? le16(4) + byte(0) + byte(content) : le16(2);
  return d;
}

// Documents for the framework's WordPerfect 6 reader: a prologue of a
// summary, fonts and a style, and in the body headers, footers, notes, a
// comment, a table and a box. The text is the words the reader gives
// (headers and notes where they stand).
inline std::vector<doc> reader6() {
  auto six = [](const std::string &s) {
    std::string t;
    for (char c : s) t += c == ' ' ? std::string("\x80") : std::string(1, c);
    return t;
  };
  std::vector<packet> pre = {
      {0x12, wp6summary({{17, wp6units("Quarterly report")}, {14, std::string("\xCC\x07\x07\x04\x0E\x05\x09") + zeros(3)}})},
      {0x55, wp6fontdesc("Times New Roman Regular")},
      {0x55, wp6fontdesc("Arial")},
      {0x25, le16(0) + le16(2) + le16(600)},
      {0x30, wp6stylepkt("Heading", six("Styled"), "")},
  };
  auto with = [&](std::vector<packet> more) {
    std::vector<packet> p = pre;
    for (auto &m : more) p.push_back(m);
    return p;
  };
  std::vector<doc> d;
  d.push_back({"r6-prologue", true, wp6(six(para(7)) + wp6eol(0x04) + six(para(8)), pre),
               para(7) + "\r\n" + para(8)});
  // Packets 1-5 are the prologue's; 6 and on the document's own.
  d.push_back({"r6-notes", true,
               wp6(wp6header(0, 6) + wp6header(2, 7) + six(para(9)) + wp6note(8) + wp6eol(0x04) + six(para(10)) +
                       wp6code(0xD7, 2, le16(0), {9}),
                   with({{8, wp6text(six("Running head") + wp6eol(0x04))},
                         {8, wp6text(six("Page foot"))},
                         {8, wp6text(six("Footnote words"))},
                         {8, wp6text(six("Endnote words"))}})),
               // A note's text follows the word before it with no blank.
               "Running head\r\nPage foot\r\n" + para(9) + "Footnote words\r\n" + para(10) + "Endnote words", false});
  d.push_back({"r6-hfnotes", true,
               wp6(wp6header(0, 6) + wp6header(2, 7) + six(para(11) + " ") + wp6note(8) + wp6eol(0x04) +
                       six(para(12)),
                   with({{8, wp6text(six("Running head"))}, {8, wp6text(six("Page foot"))},
                         {8, wp6text(six("Footnote words"))}})),
               "Running head\r\nPage foot\r\n" + para(11) + " Footnote words\r\n" + para(12)});
  d.push_back({"r6-table", true,
               wp6(six("Before") + wp6eol(0x04) +
                       wp6table({{"alpha", "beta"}, {"gamma", "delta"}}, {1200, 1200}) + six("After"),
                   pre),
               "Before\r\nalpha\tbeta\r\ngamma\tdelta\r\nAfter"});
  d.push_back({"r6-box", true,
               wp6(six("Before") + wp6eol(0x04) + wp6box({6, 7}) + six("After"),
                   with({{0x0E, wp6boxpkt(1)}, {8, wp6text(six("Boxed words")), 2}})),
               "Before\r\nBoxed words\r\nAfter", false});
  return d;
}

}  // namespace wpg

#endif
