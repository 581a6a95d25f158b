// The piece table of fast-saved documents: property modifiers split into
// their three lists, text positions mapped through their pieces, the
// paragraph list taken from the piece of the paragraph's mark, and damaged
// tables that end every lookup.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "converters/word/tests/word6gen.h"
#include "converters/word/tests/wordgen.h"
#include "filters/word/tests/wwtest.h"

namespace {

using wgen::kind;

struct piecedoc {
  kind k;
  std::vector<std::string> pieces;
  std::vector<unsigned> prms;  // one per piece
  std::string groups;          // property groups before the table
  int64_t plcsize = -1;        // the table's stored size, when not the true one
  std::string after;           // bytes after the first table
};

// A fast-saved stream whose Clx holds the groups, then a piece table with
// the pieces (stored last first) and their modifiers.
std::string stream(const piecedoc& d) {
  wgen::spec s;
  s.k = d.k;
  s.pieces = d.pieces;
  s.complex = true;
  std::string plc;
  int64_t cp = 0;
  plc += wgen::val(d.k, 0, 4);
  for (const std::string& p : d.pieces) plc += wgen::val(d.k, static_cast<uint64_t>(cp += static_cast<int64_t>(p.size())), 4);
  size_t header = wgen::layoutof(d.k).header;
  int64_t at = static_cast<int64_t>(header);
  std::vector<int64_t> fcs(d.pieces.size());
  for (size_t i = d.pieces.size(); i-- > 0;) fcs[i] = at, at += static_cast<int64_t>(d.pieces[i].size());
  for (size_t i = 0; i < d.pieces.size(); i++) {
    std::string prm = wgen::val(d.k, i < d.prms.size() ? d.prms[i] : 0, 2);
    plc += std::string(2, '\0') + wgen::val(d.k, static_cast<uint64_t>(fcs[i]), 4) + prm;
  }
  uint64_t size = d.plcsize >= 0 ? static_cast<uint64_t>(d.plcsize) : plc.size();
  s.clx = d.groups + "\x02" + wgen::val(d.k, size, d.k == wgen::word6 ? 4 : 2) + plc + d.after;
  wgen::bytes b = wgen::stream(s);
  return std::string(b.begin(), b.end());
}

int level(kind k) { return k == wgen::word6 ? 6 : k == wgen::word2 ? 2 : k == wgen::mac5 ? 5 : 1; }

struct piecerun : wwtestrun {
  piecerun(const piecedoc& d) : wwtestrun(stream(d), level(d.k)) {
    wwfibread(&w);
    wwclxread(&w);
  }
  ~piecerun() { wwclxfree(&w); }
  int32_t pos(int cp) { return wwfcmin(&w) + cp; }
  std::string chp(int cp) {
    const unsigned char* l = wwcpprm(&w, pos(cp), nullptr, nullptr);
    return l ? std::string(reinterpret_cast<const char*>(l) + 1, l[0]) : "";
  }
  std::string pap(int cp) {
    unsigned char b[512];
    int32_t f, l;
    if (!wwcppiece(&w, pos(cp), b, &f, &l)) return "<none>";
    // The empty form is a 16-bit 0; a list holds the 0xFFFF placeholder.
    unsigned n = wwbufw(&w, b);
    if (n != 0) EXPECT_EQ(wwbufw(&w, b + 2), 0xFFFFu);
    return std::string(reinterpret_cast<const char*>(b) + 4, n < 2 ? 0 : n - 2);
  }
  std::string sep(int cp) {
    unsigned char b[256];
    int32_t f, l;
    if (!wwcppiecesep(&w, pos(cp), b, &f, &l)) return "<none>";
    return std::string(reinterpret_cast<const char*>(b) + 1, b[0]);
  }
  // The text as the front end reads it: each position through its piece.
  std::string text(int n) {
    std::string t;
    for (int cp = 0; cp < n; cp++) t += static_cast<char>(wwgetch(&w, WW_MAIN, wwcp2fc(&w, pos(cp))));
    return t;
  }
};

// Single and grouped modifiers at level 6 and their lists.
TEST(WordPieces, ModifiersSplitByClass) {
  const std::string mixed = std::string("\x55\x01") + "\x05\x01" + "\x8e\x02" + "\x56\x01";
  struct Case {
    unsigned prm;
    std::string chp, pap, sep;
  } cases[] = {
      {0x55 << 1 | 0x100, "\x55\x01", "", ""},              // single bold
      {1, "\x55\x01\x56\x01", "\x05\x01", "\x8e\x02"},      // group 0, split by class
      {3, std::string("\x55\x01\x56\x00", 4), "", ""},      // group 1: character sprms only
      {6, "", std::string("\x03\x00", 2), ""},              // single code 3, operand 0
      {7, "\x55\x01", "", ""},                              // group 3
      {0, "", "", ""},                                      // single code 0: no list
      {1 << 1, "", "", ""},                                 // single code 1: no class
      {5, "\x55\x01", "\x05\x01", ""},                      // group 2 stops at a code of no class
  };
  std::string groups = wgen::group(wgen::word6, mixed) + wgen::group(wgen::word6, std::string("\x55\x01\x56\x00", 4)) +
                       wgen::group(wgen::word6, std::string("\x55\x01\x05\x01\x01\x02\x56\x01", 8)) +
                       wgen::group(wgen::word6, "\x55\x01");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.prm);
    piecerun r({wgen::word6, {"Hello", " world\r"}, {c.prm, 0}, groups});
    EXPECT_EQ(r.text(12), "Hello world\r");
    EXPECT_EQ(r.chp(0), c.chp);
    // The paragraph list is the piece's that holds the mark.
    EXPECT_EQ(r.pap(0), "");
    EXPECT_EQ(r.sep(0), "");
  }
  // The mark's piece gives the paragraph and section lists.
  piecerun r({wgen::word6, {"Hello", " world\r"}, {0, 1}, groups});
  EXPECT_EQ(r.pap(0), "\x05\x01");
  EXPECT_EQ(r.pap(8), "\x05\x01");
  EXPECT_EQ(r.sep(0), "\x8e\x02");
  EXPECT_EQ(r.chp(0), "");
  EXPECT_EQ(r.chp(6), "\x55\x01\x56\x01");
}

// Levels 2 and 5: a 16-bit table size; at level 5 the group flag is the
// high bit of a big-endian word.
TEST(WordPieces, OlderLevels) {
  piecerun two({wgen::word2, {"Hello", " ", "world\n"}, {0, 0, 1}, wgen::group(wgen::word2, std::string("\x11\x10\x00", 3))});
  EXPECT_EQ(two.text(12), "Hello world\n");
  EXPECT_EQ(two.pap(0), std::string("\x11\x10\x00", 3));
  piecerun five({wgen::mac5, {"Hello", " world\r"}, {0x4101, 0x8001},
                 wgen::group(wgen::mac5, "") + wgen::group(wgen::mac5, "\x41\x01\x05\x01")});
  EXPECT_EQ(five.text(12), "Hello world\r");
  EXPECT_EQ(five.chp(0), "\x41\x01");
  EXPECT_EQ(five.chp(6), "\x41\x01");
  EXPECT_EQ(five.pap(0), "\x05\x01");
}

// Tables of one piece, of less than one, a second table, a group that is
// not there, and positions in no piece: every lookup ends.
TEST(WordPieces, DamagedTables) {
  piecerun one({wgen::word6, {"one\r"}, {}, "", 16});
  EXPECT_EQ(wwpiececount(&one.w), 1);
  EXPECT_EQ(one.text(4), "one\r");
  piecerun none({wgen::word6, {"one\r"}, {}, "", 15});
  EXPECT_EQ(wwpiececount(&none.w), 0);
  EXPECT_EQ(wwcp2fc(&none.w, none.pos(2)), none.pos(2));
  EXPECT_EQ(none.pap(0), "<none>");
  // A second table after the first is not read.
  std::string second = "\x02" + wgen::val(wgen::word6, 16, 4) + std::string(16, '\x7f');
  piecerun two({wgen::word6, {"ab", "cd\r"}, {}, "", -1, second});
  EXPECT_EQ(wwpiececount(&two.w), 2);
  EXPECT_EQ(two.text(5), "abcd\r");
  // A piece whose group is not there has no record: its text maps through
  // the nearest piece, and the mark scan ends at the end of the pieces.
  piecerun missing({wgen::word6, {"ab", "cd\r"}, {9, 0}});
  EXPECT_EQ(wwpiececount(&missing.w), 1);
  (void)missing.text(5);
  (void)missing.pap(0);
  (void)missing.sep(0);
  // The position before the text start takes the first piece's list.
  piecerun r({wgen::word6, {"ab", "cd\r"}, {0x55 << 1 | 0x100, 0}});
  EXPECT_EQ(r.chp(-1), "\x55\x01");
  // Positions past every piece and far before them end too.
  for (int32_t p : {0, 5, 1 << 20, -7, INT32_MAX - 2}) (void)wwcp2fc(&r.w, p);
  // A table said to be far longer than the input.
  piecerun huge({wgen::word6, {"ab\r"}, {}, "", 0x7FFFFFF0});
  (void)huge.text(3);
}

// Lists longer than their count byte or the paragraph buffer are cut at a
// sprm boundary.
TEST(WordPieces, LongListsAreCut) {
  std::string body;
  for (int i = 0; i < 200; i++) body += "\x55\x01";
  for (int i = 0; i < 300; i++) body += "\x05\x01";
  piecerun r({wgen::word6, {"ab\r"}, {1}, wgen::group(wgen::word6, body)});
  std::string c = r.chp(0), p = r.pap(0);
  EXPECT_EQ(c.size(), 254u);
  EXPECT_EQ(p.size(), 508u);
}

}  // namespace

namespace {

void save(const char* dir, const std::string& name, const std::string& bytes) {
  FILE* f = std::fopen((std::string(dir) + "/" + name).c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

std::string compound(const std::string& stream) {
  std::vector<uint8_t> b(stream.begin(), stream.end());
  wgen::bytes f = dft::write({{"WordDocument", b}});
  return std::string(f.begin(), f.end());
}

// Writes fast-saved documents for the fuzz corpus and the cross-check
// script when WW_CORPUS names a folder: "Hello world" from three pieces
// stored backwards, with single and grouped modifiers.
TEST(WordPieces, SeedCorpus) {
  const char* dir = std::getenv("WW_CORPUS");
  if (!dir) GTEST_SKIP();
  std::string g6 = wgen::group(wgen::word6, std::string("\x55\x01\x05\x01\x8e\x02", 6));
  piecedoc w6{wgen::word6, {"Hello", " ", "world\r"}, {0x55 << 1 | 0x100, 0, 1}, g6};
  std::string s6 = stream(w6);
  s6.resize(6000, '\0');  // past the small-stream limit, for the other readers
  save(dir, "fast-word6.doc", compound(s6));
  piecedoc w2{wgen::word2, {"Hello", " ", "world\r\n"}, {0, 0, 1}, wgen::group(wgen::word2, std::string("\x05\x01", 2))};
  save(dir, "fast-word2.doc", stream(w2));
  piecedoc m5{wgen::mac5, {"Hello", " ", "world\r"}, {0x4101, 0, 0x8000}, wgen::group(wgen::mac5, std::string("\x05\x01", 2))};
  save(dir, "fast-mac5.doc", stream(m5));
}

}  // namespace
