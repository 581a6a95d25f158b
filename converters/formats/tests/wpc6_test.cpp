// The WordPerfect 6.x converter through its entry: the code table, codes
// one by one, the character sets, the text read from packets, hostile packet
// indexes, and the statuses of documents it refuses.
#include <gtest/gtest.h>

#include <string>

#include "converters/formats/tests/wptest.h"
#include "converters/formats/wpc.h"
#include "converters/runtime/cvtframe.h"

namespace {

using namespace wpt;

TEST(Wp6Converter, CodeTableIsSortedAndEveryRowIsFound) {
  int kinds[5] = {};
  for (size_t i = 0; i < wpc6codetab.size(); i++) {
    const wpc6code &r = wpc6codetab[i];
    if (i > 0) {
      const wpc6code &p = wpc6codetab[i - 1];
      EXPECT_TRUE(p.code < r.code || (p.code == r.code && p.sub < r.sub)) << i;
    }
    kinds[r.kind]++;
    EXPECT_EQ(wpc6findcode(r.code, r.sub), &r) << std::hex << int(r.code) << " " << int(r.sub);
    // A row for any subfunction answers them all.
    if (r.sub == 0xFF) {
      for (int s : {0, 7, 0x80}) EXPECT_EQ(wpc6findcode(r.code, s), &r);
    }
  }
  EXPECT_EQ(wpc6codetab.size(), 213u);
  EXPECT_EQ(kinds[1], 80);
  EXPECT_EQ(kinds[2], 16);
  EXPECT_EQ(kinds[4], 117);
  for (auto key : {std::pair{0xD0, 0x00}, {0xD0, 0x1D}, {0xD1, 0x02}, {0xD4, 0x01}, {0xE5, 0x00}, {0x00, 0x00},
                   {0x1F, 0x00}})
    EXPECT_EQ(wpc6findcode(key.first, key.second), nullptr) << std::hex << key.first << " " << key.second;
}

TEST(Wp6Converter, CodesOfTheDocumentArea) {
  std::string off = "\xF1" + zeros(4), on = "\xF1\x01" + zeros(3);
  std::string d0 = le16(2) + zeros(2);
  const bodycase cases[] = {
      {"characters", "Hello, World\x7F", "Hello, World\x7F"},
      {"single-byte codes", "a\x80" "b\x82" "c\x83" "d\x86" "e\x87" "f\xB4" "g\xB5" "h\xBA" "i\xC7" "j\xC9" "k\xCB" "l\xCF" "m",
       "a b-cde\r\nf\fg\th i\fj\tk\r\nl m"},
      {"more single-byte codes", "a\x81\x84\x85\x88\xB3\xB6\xB7\xB9\xBC\xBD\xC6\xC8\xCA\xCD" "b",
       "a -\t\r\n\r\n \t\r\n b"},
      {"hard line end", "a" + wp6eol(0x04) + "b", "a\r\nb"},
      {"hard page end", "a" + wp6eol(0x06) + "b", "a\r\n\fb"},
      {"hard line end, line ends x", "a" + wp6eol(0x04) + "b" + wp6eol(0x06), "a\nb\n\f", "0x"},
      {"hard line end, line ends m", "a" + wp6eol(0x05) + "b", "a\rb", "0m"},
      {"group 0xD0 spaces, tabs, pages, line ends",
       wp6eol(0x01) + wp6eol(0x07) + wp6eol(0x09) + wp6eol(0x14) + wp6eol(0x17) + wp6eol(0x1A) + wp6eol(0x1C),
       " \t\f \r\n\t\t"},
      // Text for indexing: words stay whole at a line's hyphen and apart at
      // every soft line end, and a paragraph's number stays apart from its text.
      {"hyphens at a line end join the word", "door\x83gaans, door\x85gaans", "doorgaans, doorgaans"},
      {"soft line ends in columns", "waarden" + wp6eol(0x02) + "voor" + wp6eol(0x03) + "de", "waarden voor de"},
      {"indent after a paragraph number", "7.1" + wp6code(0xE0, 0x30) + "Inleiding 7.2" + wp6code(0xE0, 0x80) + "Doel",
       "7.1\tInleiding 7.2\tDoel"},
      {"line end of group 0xD4", "a" + wp6code(0xD4, 0x2B, d0) + "b", "a\r\nb"},
      {"ignored code", "a" + wp6code(0xD0, 0x04, d0, {}, 0x40) + "b", "ab"},
      {"codes without a row", "a" + wp6code(0xD0, 0x00, d0) + wp6code(0xE5, 0x07) + wp6code(0xD1, 0x02) + "b", "ab"},
      {"tab group", "a" + wp6code(0xE0, 0x08) + wp6code(0xE0, 0x10) + wp6code(0xE0, 0x38) + wp6code(0xE0, 0x48) + wp6code(0xE0, 0xD0) + "b",
       "a\t\t\t\t\tb"},
      {"tab group without a tab", "a" + wp6code(0xE0, 0x00) + wp6code(0xE0, 0x18) + wp6code(0xE0, 0x28) + "b", "ab"},
      {"single-byte characters", "a\x01\x0A\x1F" "b", "a\xE5\xE3\xF9" "b"},
      {"fixed-length codes take their lengths", "a\xF2xy" "b\xF6xyz" "c\xF9wxyz" "d\xFBvwxyz" "e\xFDtuvwxyz" "f\xFF" "g",
       "abcdefg"},
      {"text switch", "a" + off + "b\xCC" + wp6eol(0x04) + wp6ext(1, 27) + "\x01" + "\xF1\x02" + zeros(3) + "c" + on + "d",
       "ad"},
      {"a zero byte is a code of its length", "a" + zeros(1) + le16(6) + "xy" + "b", "ab"},
      {"two rows of three cells",
       wp6eol(0x0B) + "a1" + wp6eol(0x0A) + "b1" + wp6eol(0x0A) + "c1" + wp6eol(0x0B) + "a2" + wp6eol(0x0A) + "b2" +
           wp6eol(0x0A) + "c2" + wp6eol(0x11) + "after",
       "a1\tb1\tc1\r\na2\tb2\tc2\r\nafter"},
      {"table rows after page breaks", wp6eol(0x10) + "a" + wp6eol(0x10) + "b" + wp6eol(0x13) + "c",
       "\fa\r\n\fb\r\n\fc"},
  };
  expectbodies(WP6, cases);
}

TEST(Wp6Converter, ExtendedCharacters) {
  struct {
    int set, number;
    std::string out;
    const char *options = "0";
  } cases[] = {
      {1, 35, "\xE5"},  {1, 27, "\xE1"},  {1, 27, "\xA0", "0a0437"}, {1, 23, "\xDF"}, {10, 1, "a"},
      {3, 8, "-"},      {1, 0, "`"},      {0, 65, "A"},    {0, 20, "_"},  {0, 200, "_"},
      {2, 1, "_"},      {9, 0, "_"},      {11, 0, "_"},    {13, 0, "_"},  {14, 0, "_"},
      {12, 3, ""},      {15, 3, ""}, {8, 3, "_"}, {8, 1, "_"},      {255, 0, ""},    {7, 8, "_"},   {8, 65, "_"},
      {1, 200, "_"},    {6, 0, "_"},      {5, 12, "\x7F"}, {4, 3, "\x95"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(std::to_string(c.set) + "," + std::to_string(c.number) + " " + c.options);
    ft::expect(run(WP6, wp6("<" + wp6ext(c.set, c.number) + ">"), {c.options}), 0, "<" + c.out + ">");
  }
}

TEST(Wp6Converter, TextOfPackets) {
  std::string mark = zeros(2) + wp6units("x") + wp6units("Mark");
  std::string name(600, 'n');
  std::string type4 = le16(0x4000) + byte(4);
  struct {
    const char *name;
    std::string body;
    std::vector<packet> pkts;
    std::string out;
    int status;
  } cases[] = {
      {"header", "a" + wp6header(0, 1) + "b", {{8, wp6text("Head")}}, "aHeadb", 0},
      {"footer", "a" + wp6header(2, 1) + "b", {{8, wp6text("Foot")}}, "aFootb", 0},
      {"header of subfunction 4", "a" + wp6header(4, 1) + "b", {{8, wp6text("Head")}}, "ab", 0},
      {"header whose packet is missing", "a" + wp6header(0, 2) + "b", {{8, wp6text("Head")}}, "ab", 0},
      {"header of a packet of another type", "a" + wp6header(0, 1) + "b", {{7, wp6text("Head")}}, "ab", 0},
      {"header of two blocks", "a" + wp6header(0, 1) + "b", {{8, le16(2) + le32(10) + le32(4) + "Head"}},
       "aHeadb", 12},
      {"header whose text offset is below 6", "a" + wp6header(0, 1) + "b", {{8, le16(1) + le32(5) + "Head"}}, "ab",
       12},
      {"header packet too short for its offset", "a" + wp6header(0, 1) + "b", {{8, le16(1) + "x"}}, "ab", 12},
      {"header text with codes", wp6header(0, 1), {{8, wp6text("x\xCCy" + wp6ext(1, 23))}}, "x\r\ny\xDF", 0},
      {"note", "a" + wp6note(1) + "b", {{27, wp6text("Note")}}, "aNoteb", 0},
      {"note whose packet is missing", "a" + wp6note(3) + "b", {{8, wp6text("Note")}}, "ab", 12},
      {"note of an index without packets", "a" + wp6note(1) + "b", {}, "ab", 12},
      {"text named by another packet", "a" + wp6code(0xD4, 0x1D, "", {1}) + "b",
       {{14, le16(0) + le16(2)}, {65, le16(1) + le32(0) + le32(0) + "Named"}}, "aNamedb", 0},
      {"text named by a missing packet", "a" + wp6code(0xD4, 0x1D, "", {1}) + "b", {{14, le16(0) + le16(5)}}, "ab",
       12},
      {"mark of a packet", "a" + wp6code(0xD4, 0x06, "", {1}) + "b", {{8, wp6units("x") + wp6units("Mark")}},
       "aMarkb", 0},
      {"mark of the code itself", "a" + wp6code(0xD4, 0x06, mark) + "b", {}, "aMarkb", 0},
      {"mark of a missing packet", "a" + wp6code(0xD4, 0x06, "", {1}) + "b", {}, "ab", 12},
      {"name of a packet", "a" + wp6code(0xD4, 0x07, "", {1}) + "b", {{8, wp6units("Name")}}, "aNameb", 0},
      {"name of the code itself", "a" + wp6code(0xD4, 0x07, zeros(2) + wp6units("Name")) + "b", {}, "aNameb", 0},
      {"name longer than the name buffer", wp6code(0xD4, 0x07, "", {1}) + "b", {{8, wp6units(name)}},
       name.substr(0, 511) + "b", 0},
      {"marks 5 and 6 write nothing",
       "a" + wp6code(0xD4, 0x0A) + "b" + wp6code(0xD4, 0x0C) + wp6code(0xD4, 0x0D) + wp6code(0xD4, 0x0B) + "c", {},
       "abc", 0},
      {"box", "a" + wp6box({1, 2}) + "b", {{14, wp6boxdesc(0)}, {8, wp6text("Boxed")}}, "aBoxedb", 0},
      {"box of text kind 4", "a" + wp6box({1, 2}) + "b", {{14, wp6boxdesc(4)}, {8, wp6text("Boxed")}}, "aBoxedb",
       0},
      {"box of content type 3", "a" + wp6box({1, 2}) + "b", {{14, wp6boxdesc(3)}, {8, wp6text("Boxed")}}, "ab", 0},
      {"box whose override sets type 3", "a" + wp6box({1, 2}, 0x2000, le16(3) + le16(0x4000) + byte(3)) + "b",
       {{14, wp6boxdesc(0)}, {8, wp6text("Boxed")}}, "ab", 0},
      {"box whose override sets type 4 after two bytes",
       "a" + wp6box({1, 2}, 0xA000, le16(1) + "z" + le16(5) + le16(0xC000) + "zz" + byte(4)) + "b",
       {{14, wp6boxdesc(3)}, {8, wp6text("Boxed")}}, "aBoxedb", 0},
      {"box whose override reaches past the code", "a" + wp6box({1, 2}, 0x2000, le16(60) + type4) + "b",
       {{14, wp6boxdesc(3)}, {8, wp6text("Boxed")}}, "aBoxedb", 0},
      {"box whose text packet is of another type", "a" + wp6box({1, 2}) + "b",
       {{14, wp6boxdesc(0)}, {27, wp6text("Boxed")}}, "ab", 0},
      {"box whose description is missing", "a" + wp6box({3, 2}) + "b", {{14, wp6boxdesc(0)}, {8, wp6text("Boxed")}},
       "ab", 12},
      {"ignored box", "a" + wp6code(0xDF, 0, zeros(22), {1, 2}, 0xC0) + "b",
       {{14, wp6boxdesc(0)}, {8, wp6text("Boxed")}}, "ab", 0},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::expect(run(WP6, wp6(c.body, c.pkts)), c.status, c.out, &kinout);
  }
}

// A packet already being read, or one past 32 open packets, is unusable:
// the run warns and goes on, and the stack never overflows.
TEST(Wp6Converter, PacketsThatReferToThemselvesEndCleanly) {
  result r = run(WP6, wp6("a" + wp6note(1) + "b", {{8, wp6text("x" + wp6note(1) + "y")}}));
  EXPECT_EQ(r.status, 12);
  EXPECT_EQ(r.out, "axyb");
  r = run(WP6, wp6("a" + wp6header(0, 1) + "b", {{8, wp6text("x" + wp6box({2, 1}))}, {14, wp6boxdesc(0)}}));
  EXPECT_EQ(r.status, 12);
  EXPECT_EQ(r.out, "axb");
  for (int n : {40, 10000}) {
    std::vector<packet> chain;
    std::string expected;
    for (int i = 1; i <= n; i++) chain.push_back({8, wp6text(std::to_string(i) + "," + wp6note(i + 1))});
    for (int i = 1; i <= 32; i++) expected += std::to_string(i) + ",";
    r = run(WP6, wp6(wp6note(1) + "end", chain));
    EXPECT_EQ(r.status, 12) << n;
    EXPECT_EQ(r.out, expected + "end") << n;
  }
}

// Codes that name one packet again and again read it while the packets
// together have delivered fewer bytes than the document holds.
TEST(Wp6Converter, PacketsDeliverNoMoreThanTheDocumentHolds) {
  std::string codes;
  for (int i = 0; i < 1000; i++) codes += wp6header(0, 1);
  std::string doc = wp6(codes + "end", {{8, wp6text(std::string(2000, 'h'))}});
  result r = run(WP6, doc);
  EXPECT_EQ(r.status, 12);
  EXPECT_LE(r.out.size(), doc.size());
  EXPECT_GE(r.out.size(), 2000u * 5);
  EXPECT_EQ(r.out.substr(r.out.size() - 3), "end");
}

TEST(Wp6Converter, StatusesOfRefusedAndDamagedDocuments) {
  std::string good = wp6("Hello" + wp6header(0, 1), {{8, wp6text("Head")}});
  auto with = [&](std::initializer_list<std::pair<size_t, int>> edits) { return edit(good, edits); };
  std::string noindex = wp6("Hello");
  std::string countzero = noindex;
  countzero[16 + 2] = 0;
  std::string badpkt = wp6("a" + wp6note(1), {{8, wp6text("x")}});
  badpkt.replace(16 + 14 + 10, 4, le32(0x80000000u));
  std::string farpkt = wp6("a" + wp6note(1), {{8, wp6text("x")}});
  farpkt.replace(16 + 14 + 10, 4, le32(100000));
  std::string fardoc = good;
  fardoc.replace(4, 4, le32(100000));
  const ft::statuscase cases[] = {
      {"15 bytes", good.substr(0, 15), 9, ""},
      {"signature", with({{0, 0xFE}}), 9, ""},
      {"product type", with({{8, 2}}), 9, ""},
      {"file type", with({{9, 11}}), 9, ""},
      {"major version", with({{10, 3}}), 9, ""},
      {"minor version", with({{11, 2}}), 9, ""},
      {"minor version 0", with({{11, 0}}), 0, "HelloHead"},
      {"encryption", with({{12, 1}}), 15, ""},
      {"encryption and product type", with({{13, 1}, {8, 7}}), 15, ""},
      {"index offset 0 means 16", with({{14, 0}}), 0, "HelloHead"},
      {"index offset below 16", with({{14, 9}}), 0, "HelloHead"},
      {"index beyond the end", with({{15, 0x7F}}), 2, ""},
      {"index of another kind", with({{16, 3}}), 9, ""},
      {"index entries beyond the end", with({{18, 0xFF}, {19, 0xFF}}), 2, ""},
      {"index of no entries", countzero, 0, "Hello"},
      {"document area beyond the end", fardoc, 0, ""},
      {"packet out of reach", badpkt, 2, "a"},
      {"packet beyond the end", farpkt, 12, "a"},
      {"variable-length code of length 4", wp6("a\xD0\x04" + le16(4) + "b"), 16, "a"},
      {"code without a row of length 4", wp6("a\xE5\x01" + le16(4) + "b"), 16, "a"},
      {"ends inside a code", wp6("a" + wp6eol(0x04).substr(0, 6)), 16, "a"},
      {"ends inside a skipped code", wp6("a" + wp6eol(0x02).substr(0, 6)), 16, "a"},
      {"ends inside an extended character", wp6("a\xF0\x17"), 16, "a"},
      {"ends after a code byte", wp6("a\xD0"), 16, "a"},
      {"packet ends inside a code", wp6("a" + wp6note(1) + "b", {{8, wp6text("x\xF0")}}), 16, "ax"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::expect(run(WP6, c.doc), c.status, c.out);
  }
}

// A packet reader gives back a byte taken back from it, and closing it
// lets the document's buffered input go on where it stood.
TEST(Wp6Converter, PacketReaderTakesBackBytesAndRestoresTheInput) {
  cxtestdir d;
  std::string file = "0123456789" + std::string(4086, 'x') + "ABC" + std::string(905, 'y');
  int32_t at = static_cast<int32_t>(file.size());
  d.put("in", file + "packet");
  cxstate *st = wpc6newst();
  std::string got;
  int16_t status = cvtframe(st, nullptr, [&](char *closed) {
    auto *b = static_cast<wpc6blk *>(st->wpc6blk);
    b->inhandle = cxopen2(st, d.file("in").c_str(), 1);
    b->budget = static_cast<int64_t>(file.size());
    if (cxbufinit(st, b->inhandle, -1, 16) != 0) cxthrow(st, CX_NOMEM);
    got += static_cast<char>(cxgetc(st));
    wpc6pktopen(st, at, 6);
    int p = cxgetc(st), a = cxgetc(st);
    got += {static_cast<char>(p), static_cast<char>(a)};
    cxpushback(st, a);
    cxpushback(st, 'Q');
    for (int i = 0; i < 8; i++) got += static_cast<char>(cxgetc(st));
    wpc6pktclose(st);
    // The rest of the first buffer, then what the next read of the file brings.
    for (int i = 1; i < 4096; i++) cxgetc(st);
    for (int i = 0; i < 3; i++) got += static_cast<char>(cxgetc(st));
    cxbufend(st);
    cxclose(st, b->inhandle);
    *closed = 1;
    cxthrow(st, CX_OK);
  });
  EXPECT_EQ(status, 0);
  // Past the packet's end every read gives -1 (255 as a byte).
  EXPECT_EQ(got, "0paQacket\xFF\xFF" "ABC");
}

TEST(Wp6Converter, SmallServices) {
  cxtestdir d;
  d.put("in", "0123456789");
  cxstate *st = wpc6newst();
  int16_t status = cvtframe(st, nullptr, [&](char *closed) {
    auto *b = static_cast<wpc6blk *>(st->wpc6blk);
    b->inhandle = cxopen2(st, d.file("in").c_str(), 1);
    cxseek(st, b->inhandle, 2, 0);
    unsigned char *at5 = wpc6readat(st, 5, 3);
    ASSERT_NE(at5, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(at5), 3), "567");
    EXPECT_EQ(cxseek(st, b->inhandle, 0, 1), 2);
    EXPECT_EQ(wpc6readat(st, 8, 3), nullptr);
    unsigned char m[4];
    wpc6fill(st, m, 'z', 4);
    EXPECT_EQ(wpc6bytecmp(st, m, "zzzz", 4), 0);
    EXPECT_LT(wpc6bytecmp(st, m, "zzz{", 4), 0);
    EXPECT_EQ(wpc6bitcount(st, 0x1F0F1), 9);
    EXPECT_EQ(wpc6spop(st), -1);
    wpc6sput(st, 'a');
    wpc6sput(st, 'b');
    EXPECT_EQ(wpc6spop(st), 'b');
    EXPECT_EQ(wpc6spop(st), 'a');
    EXPECT_EQ(wpc6spop(st), -1);
    *closed = 1;
    cxthrow(st, CX_OK);
  });
  EXPECT_EQ(status, 0);
}

TEST(Wp6Converter, ZoneMarksFrameThePacketText) {
  result r = run(WP6, wp6("ab" + wp6header(2, 1) + "c" + wp6note(2), {{8, wp6text("Hi")}, {8, wp6text("N")}}),
                 {"0", true});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "abHicN");
  EXPECT_EQ(r.zones, "0, 1, 0\r\n2, 3, 2\r\n4, 4, 0\r\n5, 5, 3\r\n");
}

}  // namespace
