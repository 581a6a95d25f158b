// The Word 6 full reader's text walk on generated documents: the text it
// writes and the zones it marks for hidden text, frames, tables, notes,
// headers and fields, paragraph numbers, date and time characters on a
// fixed clock, and the statuses of damaged tables.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "converters/formats/tests/fmttest.h"
#include "converters/formats/w6full.h"
#include "converters/runtime/tests/fixgen.h"
#include "converters/word/tests/word6gen.h"

namespace {

using ft::result;
using ft::zoned;
using wgen::w6spec;

// The fixed clock: Wednesday 4 March 2026, 14:07:00 unless a test moves it.
unsigned char gnow[8] = {3, 46, 3, 4, 14, 7, 0, 0};
int fixedclock(cxstate *, unsigned char *out) {
  std::memcpy(out, gnow, sizeof gnow);
  return 0;
}
cxstate *clockst() {
  cxstate *st = w6newst();
  static_cast<w6blk *>(st->w6blk)->clock = fixedclock;
  return st;
}

std::string str(const wgen::bytes &b) { return std::string(b.begin(), b.end()); }

result conv(const w6spec &d, const char *opts = "0") {
  return ft::runst(cvtword6st, clockst, str(wgen::word6doc(d)), {opts, true});
}

// Character runs that make every field character (19, 20, 21) and every
// character in specials special, the rest plain.
std::vector<wgen::w6run> specials(const std::string &text, const std::string &more = "") {
  std::vector<wgen::w6run> runs;
  int last = -1;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    int spec = c == 19 || c == 20 || c == 21 || more.find(c) != std::string::npos;
    if (spec != last) runs.push_back({static_cast<int32_t>(i), spec ? std::string("\x75\x01", 2) : ""});
    last = spec;
  }
  return runs;
}

w6spec plain(const std::string &text) {
  w6spec d;
  d.text.pieces = {text};
  return d;
}

const std::string kintable("\x18\x01", 2), krowend("\x18\x01\x19\x01", 4);

// An outline list of nine decimal levels starting at 1 with "." after
// levels 1 and 2; level 2 numbers its parents too.
std::string outline() {
  std::string o(212, '\0');
  for (int l = 0; l < 9; ++l) {
    o[16 * l + 10] = 1;  // start at 1
    if (l < 2) o[16 * l + 2] = 1;
  }
  o[16 * 1 + 3] = 0x04;  // fPrev
  o[148] = '.', o[149] = '.';
  return std::string("\x85\xd4", 2) + o;
}

// The generated samples give the words of the extractor, and the words
// they were written with (which other readers confirm: fixtures/word6.sh).
TEST(W6Walk, SamplesGiveTheExtractorsWords) {
  for (const wgen::w6sample &s : wgen::word6samples()) {
    SCOPED_TRACE(s.name);
    std::string doc = str(wgen::word6doc(s.doc));
    result full = ft::runst(cvtword6st, clockst, doc, {"0", true});
    result ext = ft::run(11, doc);
    EXPECT_EQ(full.status, 0);
    EXPECT_EQ(ext.status, 0);
    EXPECT_EQ(fixgen::words(full.out), fixgen::words(s.text));
    EXPECT_EQ(fixgen::words(full.out), fixgen::words(ext.out));
  }
}

TEST(W6Walk, LineEndsAndCharacterRules) {
  w6spec ab = plain("A\rB\r");
  EXPECT_EQ(conv(ab, "0a").out, "A\r\nB\r\n");
  EXPECT_EQ(conv(ab, "0x").out, "A\nB\n");
  EXPECT_EQ(conv(ab, "0m").out, "A\rB\r");
  result r = conv(plain("x\ny\xa0\xd2\xd3\x80\x1e\t\x0b\r"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "xy \x93\x94\x80-\t\r\n\r\n");
}

TEST(W6Walk, ZonesOfPropertiesAndStories) {
  struct {
    const char *name;
    w6spec doc;
    std::string out, zones;
  } cases[] = {
      {"a hidden run", [] {
         w6spec d = plain("ab hid cd\r");
         d.chps = {{0, ""}, {3, "\x5c\x01"}, {6, ""}};
         return d;
       }(), "ab hid cd\r\n", "0{ab }9{hid}0{ cd\r\n}"},
      {"deleted text", [] {
         w6spec d = plain("ab gone cd\r");
         d.chps = {{0, ""}, {3, "\x41\x01"}, {8, ""}};
         return d;
       }(), "ab cd\r\n", "0{ab cd\r\n}"},
      {"two framed paragraphs at one position", [] {
         w6spec d = plain("a\rb\rc\rd\r");
         d.paps = {{0, ""}, {2, "\x1a\x10\x00"}, {4, "\x1a\x10\x00"}, {6, ""}};
         return d;
       }(), "a\r\nb\r\nc\r\nd\r\n", "0{a\r\n}4{b\r\nc\r\n}0{d\r\n}"},
      {"a different frame position", [] {
         w6spec d = plain("a\rb\rc\r");
         d.paps = {{0, "\x1a\x10\x00"}, {2, "\x1a\x20\x00"}, {4, ""}};
         return d;
       }(), "a\r\nb\r\nc\r\n", "4{a\r\n}4{b\r\n}0{c\r\n}"},
      {"a table of two rows of one layout", [] {
         w6spec d = plain("a\x07" "b\x07\x07" "c\x07" "d\x07\x07" "e\r");
         d.paps = {{0, kintable}, {4, krowend}, {5, kintable}, {9, krowend}, {10, ""}};
         return d;
       }(), "a b  c d  e\r\n", "10{a }10{b }10{ c }10{d }10{ }0{e\r\n}"},
      {"rows of two layouts", [] {
         w6spec d = plain("a\x07\x07" "b\x07\x07" "e\r");
         d.paps = {{0, kintable}, {2, krowend}, {3, kintable}, {5, krowend + "\xb6\x01\x00"}, {6, ""}};
         return d;
       }(), "a  b  e\r\n", "10{a }10{ }10{b }10{ }0{e\r\n}"},
      {"a footnote", [] {
         w6spec d = plain("a\x02" "b\r" "\x02 note\r");
         d.ccpftn = 7;
         d.chps = specials("a\x02" "b\r" "\x02 note\r", "\x02");
         d.fndref = {1, 4};
         d.fndtxt = {0, 7};
         return d;
       }(), "a noteb\r\n", "0{a}3{ note}0{b\r\n}"},
      {"a note reference without note tables", [] {
         w6spec d = plain("a\x02" "b\r");
         d.chps = specials("a\x02" "b\r", "\x02");
         return d;
       }(), "ab\r\n", "0{ab\r\n}"},
      {"a header and a footer", [] {
         w6spec d = plain("body\rHead\rFoot\r");
         d.ccphdd = 10;
         d.seds = {{0, std::string("\x99\x05", 2)}};
         d.hdd = {0, 5, 10, 10};
         return d;
       }(), "HeadFootbody\r\n", "1{Head}2{Foot}0{body\r\n}"},
      {"a section without SEPX", [] {
         w6spec d = plain("body\r");
         d.seds = {{0, std::nullopt}};
         return d;
       }(), "body\r\n", "0{body\r\n}"},
      {"outline numbers", [] {
         w6spec d = plain("x\ra\rb\rc\r");
         d.seds = {{0, outline()}};
         d.paps = {{0, ""}, {2, "\x0d\x01"}, {4, "\x0d\x02"}, {6, "\x0d\x02"}};
         return d;
       }(), "x\r\n1.a\r\n1.1.b\r\n1.2.c\r\n", "0{x\r\n1.a\r\n1.1.b\r\n1.2.c\r\n}"},
      {"date and time characters", [] {
         w6spec d = plain("\x1e\x0b\r");
         d.chps = {{0, "\x75\x01"}, {2, ""}};
         return d;
       }(), "3/4/26 14:07 \r\n", "0{3/4/26 14:07 \r\n}"},
      {"a symbol", [] {
         w6spec d = plain("(\r");
         d.chps = {{0, std::string("\x4a\x03\x00\x00\xb7", 5)}, {1, ""}};
         return d;
       }(), "\xb7\r\n", "0{\xb7\r\n}"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    result r = conv(c.doc);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(zoned(r), c.zones);
    EXPECT_EQ(r.files, (std::vector<std::string>{"in.doc", "out.txt", "zones.txt"}));
  }
}

TEST(W6Walk, Fields) {
  struct {
    const char *name;
    std::string text, out, zones;
  } cases[] = {
      {"TOC with a result", "a\x13TOC \x14" "Entry\r\x15" "b\r", "aEntryb\r\n", "0{a}6{Entry}0{b\r\n}"},
      {"GOTOBUTTON", "\x13 GOTOBUTTON target Click here\x14res\x15\r", "Click here\r\n", "0{Click here\r\n}"},
      {"INDEX", "\x13index \\c\x14" "i 1\r\x15\r", "i 1\r\n", "7{i 1}0{\r\n}"},
      {"TOA", "\x13TOA\x14t\r\x15\r", "t\r\n", "8{t}0{\r\n}"},
      {"another field's result", "\x13PAGE\x14" "3\x15\r", "3\r\n", "0{3\r\n}"},
      {"nested fields", "\x13PAGE\x14<\x13PAGE\x14" "4\x15>\x15\r", "<4>\r\n", "0{<4>\r\n}"},
      {"no separator", "a\x13INDEX\x15\x13TOC\x15\x13PAGE\x15" "b\r", "ab\r\n", "0{a}0{b\r\n}"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    w6spec d = plain(c.text);
    d.chps = specials(c.text);
    result r = conv(d);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(zoned(r), c.zones);
  }
}

TEST(W6Walk, DatesAndNumberTexts) {
  char out[60];
  unsigned char midnight[8] = {3, 46, 3, 4, 0, 7, 0, 0}, y2000[8] = {6, 20, 1, 1, 9, 5, 0, 0};
  struct {
    const char *picture;
    const unsigned char *now;
    const char *want;
  } dates[] = {
      {"2/1/5 ", gnow, "3/4/26 "},   {"7:9 ", gnow, "14:07 "},         {"7:9 ", midnight, "12:07 "},
      {"5 ", y2000, "0 "},           {"6,3 1,4 ", gnow, "Wednesday,March 4,2026 "},
      {"$6 %1 $3", gnow, "Wed 04 Mar"}, {"8 0", gnow, "2 pm"},         {"8 0", midnight, "12 am"},
  };
  for (auto &c : dates) {
    w6datefmt(c.picture, out, sizeof out, c.now);
    EXPECT_STREQ(out, c.want) << c.picture;
  }
  // A long picture is cut at the buffer less 9.
  w6datefmt(std::string(100, '6').c_str(), out, sizeof out, gnow);
  EXPECT_LE(std::strlen(out), 60u);
  char num[64];
  struct {
    int32_t n;
    int nfc;
    const char *want;
  } nums[] = {{28, 3, "BB"}, {53, 4, "aaa"}, {12, 5, "12th"}, {22, 5, "22nd"}, {11, 5, "11th"}, {1994, 1, "MCMXCIV"},
              {49, 2, "xlix"}, {0, 1, ""},    {-3, 3, ""},    {65537, 0, "1"},  {7, 9, ""}};
  for (auto &c : nums) {
    w6numtext(c.n, c.nfc, num);
    EXPECT_STREQ(num, c.want) << c.n << " " << c.nfc;
  }
  // Huge counters give bounded texts.
  for (int nfc : {1, 2, 3, 4}) {
    w6numtext(1000000000, nfc, num);
    EXPECT_EQ(std::strlen(num), 63u) << nfc;
  }
}

TEST(W6Walk, DamagedTablesEndWithAStatus) {
  auto patched = [](w6spec d, size_t at, uint32_t v) {
    wgen::bytes s = wgen::word6stream(d);
    wgen::put(s, at, v, 4, false);
    dft::bytes f = dft::write({{"WordDocument", dft::bytes(s.begin(), s.end())}});
    return std::string(f.begin(), f.end());
  };
  w6spec runs = plain("ab hid cd\r");
  runs.chps = {{0, ""}, {3, "\x5c\x01"}, {6, ""}};
  runs.paps = {{0, "\x05\x01"}};
  runs.seds = {{0, std::string("\x99\x00", 2)}};
  wgen::bytes s = wgen::word6stream(runs);
  auto field = [&](size_t at) { return static_cast<uint32_t>(s[at] | s[at + 1] << 8 | s[at + 2] << 16 | s[at + 3] << 24); };
  w6spec fast;
  fast.text = {wgen::word6, {"Hello\r", "World\r"}, true};
  w6spec noend = plain("\x13TOC \x14" "abc\r");
  noend.chps = specials(noend.text.pieces[0]);
  struct {
    const char *name;
    std::string doc;
    int status;
  } cases[] = {
      {"character bin table past the stream", patched(runs, 184, 0x7FFFFF00), CX_WARN},
      {"paragraph page past the stream", patched(runs, field(192) + 8, 0x00FF00FF), CX_WARN},
      {"a SEPX past the stream", patched(runs, field(136) + 8 + 2, 0x7FFFFFF0), CX_WARN},
      {"main text past the stream", patched(runs, 52, 0x10000), CX_WARN},
      {"a field with no end", str(wgen::word6doc(noend)), CX_WARN},
      {"a position past the last piece", patched(fast, 52, 13), CX_OK},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    result r = ft::runst(cvtword6st, clockst, c.doc, {"0", true});
    EXPECT_EQ(r.status, c.status);
    for (const std::string &f : r.files) EXPECT_TRUE(f == "in.doc" || f == "out.txt" || f == "zones.txt") << f;
    if (c.status == CX_OK) {
      EXPECT_EQ(r.out, "Hello\r\nWorld\r\nH");
    }
  }
  // A page that claims 255 runs is read within its 512 bytes.
  wgen::bytes big = wgen::word6stream(runs);
  size_t pageno = static_cast<size_t>(big[field(184) + 8] | big[field(184) + 9] << 8);
  big[pageno * 512 + 511] = 255;
  dft::bytes f = dft::write({{"WordDocument", dft::bytes(big.begin(), big.end())}});
  result r = ft::runst(cvtword6st, clockst, std::string(f.begin(), f.end()), {"0", true});
  EXPECT_TRUE(r.status == CX_OK || r.status == CX_WARN) << r.status;
}

}  // namespace
