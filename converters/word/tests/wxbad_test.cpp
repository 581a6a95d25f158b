// The Word converters on bad input: the status each failure ends with, what
// a run leaves behind, damaged piece tables that must neither loop nor
// write what the document does not hold, and runs that repeat exactly.
#include <string>
#include <vector>

#include "converters/word/tests/wxtest.h"

namespace {

using namespace wxt;
using wgen::val;

TEST(WordBadInput, StatusesAndWhatStays) {
  bytes word2 = wgen::make({wgen::word2, {"a\r"}});
  bytes word6 = wgen::make({wgen::word6, {"a\r"}});
  bytes mac = wgen::make({wgen::mac5, {"a\r"}});
  bytes w6stream = wgen::stream({wgen::word6, {"a\r"}});
  bytes word97 = fixture("small.doc");  // a compound document LibreOffice wrote
  bytes nostream = dft::write({{"Contents", bytes(600, 'x')}});
  bytes mac36 = mac;
  mac36[1] = 0x36;
  bytes empty, one = {0xDB}, cut = {0xDB, 0xA5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  struct {
    const char *name;
    int id;
    const bytes *doc;  // none: the input is missing
    int status;
    std::vector<std::string> files;
  } cases[] = {
      {"word 6 header to the word 2 entry", WORD2, &w6stream, 9, kinout},
      {"word 97 to the word 6 entry", WORD6, &word97, 9, kinout},
      {"word 2 to the word 6 entry", WORD6, &word2, 1, kin},
      {"compound document without its stream", WORD6, &nostream, 1, kin},
      {"mac word of no layout", MACWORD, &mac36, 9, kinout},
      {"word 2 to the mac word entry", MACWORD, &word2, 9, kinout},
      {"empty word 2", WORD2, &empty, 9, kinout},
      {"empty mac word", MACWORD, &empty, 9, kinout},
      {"one byte", WORD2, &one, 9, kinout},
      {"header cut short", WORD2, &cut, 0, kinout},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    result r = run(c.id, c.doc);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.files, c.files);
    if (c.status == 0) {
      EXPECT_EQ(r.out, "");
    }
  }
  // A missing input, and an output that cannot be made: in a missing
  // folder, or named past the field that holds the output's name.
  for (int id : {WORD2, MACWORD, WORD6}) {
    SCOPED_TRACE(id);
    ft::framefailures(id, docstr(id == WORD2 ? word2 : id == WORD6 ? word6 : mac));
  }
}

// The entries on a state of their own making: none gives -1 (the full
// readers a zone-file name asks for have tests of their own).
TEST(WordBadInput, EntriesOnAGivenState) {
  EXPECT_EQ(cvtword2st(nullptr, "in", "out"), -1);
  EXPECT_EQ(cvtmacwordst(nullptr, "in", "out"), -1);
  EXPECT_EQ(cvtword6st(nullptr, "in", "out"), -1);
}

// Damaged piece tables end with status 0 and only text the document holds.
TEST(WordBadInput, DamagedPieceTablesWriteOnlyWhatTheFileHolds) {
  using wgen::group;
  using wgen::piecetable;
  const std::string hello = "Hello\r";
  // Word 2 and Word 6 keep the text at 384 and 512.
  struct {
    const char *name;
    wgen::kind k;
    std::string clx;
    int64_t clxlen;  // -1: the Clx's own length
    std::string want;
  } cases[] = {
      {"clx length 0 reads the range", wgen::word2, piecetable(wgen::word2, {0, 2}, {386}), 0, "Hello\r\n"},
      {"clx length of 32768 or more", wgen::word2, piecetable(wgen::word2, {0, 6}, {384}), 0x8000, ""},
      {"group of negative length", wgen::word2,
       "\x01" + val(wgen::word2, 0xFFFD, 2) + piecetable(wgen::word2, {0, 6}, {384}), -1, ""},
      {"group of negative length, word 6", wgen::word6,
       "\x01" + val(wgen::word6, 0xFFFF, 2) + piecetable(wgen::word6, {0, 6}, {512}), -1, ""},
      {"group reaching past the end", wgen::word2, group(wgen::word2, "ab") + "\x01\x00\x40", -1, ""},
      {"piece table shorter than 4", wgen::word2, "\x02" + val(wgen::word2, 3, 2) + std::string(20, '\0'), -1, ""},
      {"piece table of negative length", wgen::word2, "\x02" + val(wgen::word2, 0x8000, 2), -1, ""},
      {"piece table past the end", wgen::word6, "\x02" + val(wgen::word6, 0x7FFFFFFF, 4) + std::string(16, '\0'), -1, ""},
      {"piece table past the end, word 2", wgen::word2,
       "\x02" + val(wgen::word2, 4 + 12 * 100, 2) + val(wgen::word2, 0, 4), -1, ""},
      {"piece outside the file", wgen::word2, piecetable(wgen::word2, {0, 3, 6}, {1 << 20, 387}), -1, "lo\r\n"},
      {"piece at a negative offset", wgen::word6, piecetable(wgen::word6, {0, 3, 6}, {-5, 515}), -1, "lo\r\n"},
      {"descending positions", wgen::word2, piecetable(wgen::word2, {0, 6, 2, 5}, {384, 384, 384}), -1, "Hello\r\nHel"},
      {"clx entry after the end of the file", wgen::word6, piecetable(wgen::word6, {0, 6}, {512}), 0x7FFFFFFF,
       "Hello\r\n"},
      {"clx at the very end of the file", wgen::word2, "", 50, ""},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    wgen::spec s{c.k, {hello}, true};
    s.clx = c.clx;
    if (c.clxlen >= 0) s.clxlen = c.clxlen;
    bytes doc = wgen::make(s);
    ft::expect(run(c.k == wgen::word6 ? WORD6 : WORD2, &doc), 0, c.want, &kinout);
  }
}

// Pieces far longer than the file, or many pieces over the same bytes,
// write no more than the document holds.
TEST(WordBadInput, PiecesWriteAtMostTheInput) {
  std::vector<int64_t> cps{0}, fcs;
  for (int i = 0; i < 40; i++) {
    cps.push_back(cps.back() + 0x10000000);
    fcs.push_back(384);
  }
  struct {
    const char *name;
    std::string clx;
  } cases[] = {
      // cp 0x80000000 to 0: a count of 2^31.
      {"count of 2^31", wgen::piecetable(wgen::word2, {0x80000000LL, 0}, {384})},
      {"forty pieces over one range", wgen::piecetable(wgen::word2, cps, fcs)},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    wgen::spec s{wgen::word2, {std::string(3000, 'x')}, true};
    s.clx = c.clx;
    bytes doc = wgen::make(s);
    result r = run(WORD2, &doc);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, 3000), std::string(3000, 'x'));
    EXPECT_LE(r.out.size(), doc.size() + doc.size() / 2);  // at most every byte once, CR gaining an LF
  }
}

// The same conversion twice, with the same paths, gives the same output,
// also after a run that ended inside a field code or spilled one.
TEST(WordBadInput, TwoRunsGiveTheSameOutput) {
  const std::string spill = "\x13PAGE" + std::string(40000, 'p') + "\x14" "3\x15";
  struct {
    wgen::kind k;
    std::string text;
  } cases[] = {{wgen::word6, "a\x13SYMBOL 183 \\f \"Symbol\""},
               {wgen::word2, "x\r" + spill + "y\x13"},
               {wgen::mac5, "caf\x8E\r"}};
  for (auto &c : cases) {
    cxtestdir d;
    bytes doc = wgen::make({c.k, {c.text}});
    d.put("in.doc", std::string(doc.begin(), doc.end()));
    cvtentry e = nullptr;
    ASSERT_EQ(cvtfind(c.k == wgen::word6 ? WORD6 : c.k == wgen::mac5 ? MACWORD : WORD2, &e), 1);
    std::string outs[2];
    for (std::string &o : outs) {
      EXPECT_EQ(e(d.file("in.doc").c_str(), d.file("out.txt").c_str()), 0);
      o = d.get("out.txt");
    }
    EXPECT_EQ(outs[0], outs[1]);
    EXPECT_EQ(d.files().size(), 2u);
  }
}

}  // namespace
