// The Word 1.x/2.0 and Mac Word full readers end to end: with a zone file
// named, a generated document converts to the words of its text (those the
// extractor finds too), with its zone lines and no temporary file left; the
// first pass alone shows the records it writes.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "converters/runtime/cvtframe.h"
#include "converters/runtime/tests/fixgen.h"
#include "converters/word/tests/wxtest.h"
#include "converters/word/wfull.h"

namespace {

using namespace wxt;

const std::vector<std::string> kleft = {"in.doc", "out.txt", "zones.txt"};

bool ismac(wgen::kind k) { return k == wgen::mac5 || k == wgen::mac3; }

// Runs the full reader of a document's kind.
ft::result full(wgen::kind k, const bytes &doc, const char *options = "0") {
  std::string s = docstr(doc);
  return ismac(k) ? ft::runst(cvtmacwordst, mwnewst, s, {options, true})
                  : ft::runst(cvtword2st, w2newst, s, {options, true});
}

// Runs the first pass alone: out.txt holds its records.
ft::result firstpass(wgen::kind k, const bytes &doc) {
  std::string s = docstr(doc);
  int mac = ismac(k);
  return ft::runin(
      [&](const cxtestdir &, const char *in, const char *out) {
        cxstate *st = mac ? mwnewst() : w2newst();
        return cvtframe(st, nullptr, [&](char *closed) {
          wfirst(st, mac, in, out);
          *closed = 1;
          cxthrow(st, CX_OK);
        });
      },
      &s, "out.txt");
}

// The records of a first pass made readable: ESC GS as "{", US as "|",
// RS as "}".
std::string readable(const std::string &out) {
  std::string r;
  for (size_t i = 0; i < out.size(); i++) {
    if (out[i] == '\x1b' && i + 1 < out.size() && out[i + 1] == '\x1d') {
      r += '{';
      i++;
    } else if (out[i] == '\x1f') {
      r += '|';
    } else if (out[i] == '\x1e') {
      r += '}';
    } else {
      r += out[i];
    }
  }
  return r;
}

// A packed date and time of Word 1.x/2.0.
uint32_t packed(int year, int month, int day, int hour, int minute) {
  return static_cast<uint32_t>(minute | hour << 6 | day << 11 | month << 16 | (year - 1900) << 20);
}

std::string le32(uint32_t v) { return wgen::val(wgen::word2, v, 4); }
std::string le16(uint32_t v) { return wgen::val(wgen::word2, v, 2); }

std::string textof(const wgen::spec &s) {
  std::string t;
  for (const std::string &p : s.pieces) t += p;
  return t;
}

TEST(WordFullReader, GeneratedDocumentsConvertToTheirWords) {
  const std::string p1 = "The quick brown fox jumps over the lazy dog.\r\n", p2 = "Pack my box with five dozen jugs.\r\n";
  const std::string m1 = "The quick brown fox jumps over the lazy dog.\r", m2 = "Pack my box with five dozen jugs.\r";
  struct {
    const char *name;
    wgen::spec spec;
  } cases[] = {
      {"word 2.0", {wgen::word2, {p1, p2}}},
      {"word 2.0 fast-saved", {wgen::word2, {p1, p2}, true}},
      {"word 1.x", {wgen::word1, {p1, p2}}},
      {"mac word 4/5", {wgen::mac5, {m1, m2}}},
      {"mac word 4/5 fast-saved", {wgen::mac5, {m1, m2}, true}},
      {"mac word 3", {wgen::mac3, {m1, m2}}},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    bytes doc = wgen::make(c.spec);
    ft::result r = full(c.spec.k, doc);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(fixgen::words(r.out), fixgen::words(textof(c.spec)));
    EXPECT_EQ(fixgen::words(r.out), fixgen::words(run(c.spec).out));
    EXPECT_EQ(r.files, kleft);
    ft::result again = full(c.spec.k, doc);
    EXPECT_EQ(again.out, r.out);
    EXPECT_EQ(again.zones, r.zones);
  }
}

// The records of the text: what the first pass writes for the characters
// that are not plain text.
TEST(WordFullReader, SpecialCharactersBecomeRecords) {
  const std::string head = "\x1b\x1dSLG0\x1f\x1e";  // the last document-start record
  struct {
    const char *name;
    wgen::kind k;
    std::string text, records;
  } cases[] = {
      {"paragraph mark and line feed owe one line end", wgen::word2, "a\r\nb", "a\x1b\x1dHNL\x1e" "b"},
      {"a lone paragraph mark writes nothing", wgen::word2, "a\rb", "ab"},
      {"a lone line feed owes a line end", wgen::word2, "a\nb", "a\x1b\x1dHNL\x1e" "b"},
      {"non-breaking space", wgen::word2, "a\xa0" "b", "a\x1b\x1dNBR\x1e" "b"},
      {"accented letter and its code page 437 form", wgen::word2, "\xe9", "\x1b\x1dXCS819\x1f" "E9\x1f\x1e\x1b\x1dUCS82\x1f\x1e"},
      {"letter with a code page 437 record", wgen::word2, "\xc4", "\x1b\x1dXCS819\x1f" "C4\x1f\x1e\x1b\x1dUCS8E\x1f\x1e"},
      {"accented letter after a paragraph", wgen::word2, "a\r\n\xe9", "a\x1b\x1dHNL\x1e\x1b\x1dXCS819\x1f" "E9\x1f\x1e\x1b\x1dUCS82\x1f\x1e"},
      {"field characters pass as text", wgen::word2, "\x13x\x15", "\x1b\x1dXCS819\x1f" "13\x1f\x1e_x\x1b\x1dXCS819\x1f" "15\x1f\x1e_"},
      {"hyphens and page break", wgen::word2, "a\x1e" "b\x1f" "c\x0c", "a\x1b\x1dHHC\x1e" "b\x1b\x1dSHC\x1e" "c\x1b\x1dHNP\x1e"},
      {"mac paragraph mark writes its line end", wgen::mac5, "a\rb", "a\x1b\x1dHNL\x1e" "b"},
      {"mac non-breaking space", wgen::mac5, "a\xca", "a\x1b\x1dNBR\x1e"},
      {"mac line break", wgen::mac5, "a\x0b", "a\x1b\x1dNLN\x1e\x1b\x1dHNL\x1e"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::result r = firstpass(c.k, wgen::make({c.k, {c.text}}));
    EXPECT_EQ(r.status, 0);
    size_t at = r.out.find(head);
    ASSERT_NE(at, std::string::npos);
    std::string tail = c.k == wgen::mac5 ? "" : "\x1b\x1dHNL\x1e";  // Word's final line end
    EXPECT_EQ(r.out.substr(at + head.size()), c.records + tail);
  }
}

// Tables of the document become its document-start records.
TEST(WordFullReader, DocumentStartRecords) {
  using wgen::counted;
  const wgen::spec hello = {wgen::word2, {"Hello\r\n"}};
  const wgen::spec hello1 = {wgen::word1, {"Hello\r\n"}};
  // Document properties of version 2: flags, 6 bytes, tab width at 10, the
  // dates at 20, 24 and 28, revision, editing time, words, characters, pages.
  auto dop2 = [](uint32_t created) {
    return std::string(10, '\0') + le16(720) + std::string(8, '\0') + le32(created) + le32(0) + le32(0) +
           le16(3) + le32(12) + le32(34) + le32(56) + le16(2);
  };
  const std::string strings = le16(46) + std::string(1, '\0') + counted("Title") + counted("Subject") +
                              counted("Author") + counted("Keys") + counted("Comment") + counted("Whom") +
                              counted("Rev");
  struct {
    const char *name;
    wgen::fullspec doc;
    std::string want;  // a stretch of the records
  } cases[] = {
      {"the date of the summary", {hello, {{wgen::DOP, dop2(packed(1994, 3, 7, 15, 5))}, {wgen::ASSOC, strings}}},
       "{SSIAuthor|Whom|Rev|Keys|Comment|Rev|March 7, 1994  3:05 PM|Subject||||||2|56|34|12|3|}"},
      {"a month past December has no name", {hello, {{wgen::DOP, dop2(packed(1994, 14, 7, 0, 0))}, {wgen::ASSOC, strings}}},
       "Rev|7, 1994  12:00 AM|Subject|"},
      {"no summary without document strings", {hello, {{wgen::DOP, dop2(0)}}}, "{DID44|}{FDT0|3|00|}"},
      {"version 2 keeps the default page", {hello, {{wgen::DOP, std::string(40, '\x01')}}},
       "{SFL66|54|66|54|15840|12960|}{STP6|6|1440|}{SBP6|1440|}"},
      {"three default fonts for a short font table", {hello, {{wgen::FONTS, "\x01"}}},
       "{FDT3|3|00|0|Tms Rmn|00|1|Symbol|00|2|Helv|00|}"},
      {"version 1 files start at font 3", {hello1, {{wgen::FONTS, wgen::wordfonts(wgen::word1, {"Arial"})}}},
       "{FDT4|3|00|0|Tms Rmn|00|1|Symbol|00|2|Helv|00|3|Arial|00|}"},
      {"version 2 fonts", {hello, {{wgen::FONTS, wgen::wordfonts(wgen::word2, {"Arial", "Courier"})}}},
       "{FDT2|3|00|0|Arial|00|1|Courier|00|}"},
      {"version 1 has no language record", {hello1, {}}, "{RSM13|72|13|72|1800|10440|}Hello"},
      {"heading 5 is bold after plain text",
       {hello, {{wgen::STSH, wgen::stylesheet(wgen::word2, 6, counted("x"), "", "", {{0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}})}}},
       "{SYTheading 5|250|{SBONormal|0|}{BBT}{SEP}{EBT}}"},
      {"a control character in a style name",
       {hello, {{wgen::STSH, wgen::stylesheet(wgen::word2, 0, counted("Normal") + counted("My\x01Style"), "", "", {{0, 0}, {0, 0}})}}},
       "{SYTMy_Style|1|"},
      {"bold and italic of a style: bold first",
       {hello, {{wgen::STSH, wgen::stylesheet(wgen::word2, 0, counted("Normal") + counted("Strong"), "\xff" + counted("\x03"), "",
                                                {{0, 222}, {0, 222}})}}},
       "{SYTStrong|1|{SBOnull|222|}{BBT}{ITO}"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::result r = firstpass(c.doc.text.k, wgen::makefull(c.doc));
    EXPECT_EQ(r.status, 0);
    std::string rec = readable(r.out);
    EXPECT_NE(rec.find(c.want), std::string::npos) << rec;
  }
}

// Character runs: the records of their properties, and the zone of hidden
// text.
TEST(WordFullReader, CharacterRunsWriteTheirChanges) {
  const std::string text = "abcdef\r\n";
  auto runs = [&](wgen::kind k, const std::string &stored) {
    wgen::fullspec f{{k, {k == wgen::mac5 ? "abcdef\r" : text}}};
    f.runs = {{0, ""}, {2, stored}, {4, ""}};
    return f;
  };
  struct {
    const char *name;
    wgen::fullspec doc;
    std::string want;
  } cases[] = {
      {"bold and italic at once: bold first", runs(wgen::word2, "\x03"), "ab{BBT}{ITO}cd{EBT}"},
      {"spacing 60", runs(wgen::word2, std::string("\0\0\x20\0\0\0\0\0\x3c", 9)), "ab{KER0|20|}cd{EKR}"},
      {"spacing 3", runs(wgen::word2, std::string("\0\0\x20\0\0\0\0\0\x03", 9)), "ab{KER1|15|}cd"},
      {"colour 16", runs(wgen::word2, std::string("\0\0\x01\0\0\0\0\0\0\x10", 10)), "ab{BCL15|192|192|192|}cd{ECL}"},
      {"colour 2", runs(wgen::word2, std::string("\0\0\x01\0\0\0\0\0\0\x02", 10)), "ab{BCL9|0|0|255|}cd"},
      {"colour 17 names no colour", runs(wgen::word2, std::string("\0\0\x01\0\0\0\0\0\0\x11", 10)), "abcd{ECL}ef"},
      {"hidden text is the field of one record", runs(wgen::word2, "\x80"), "ab{CMTcd|}ef"},
      {"word 1 bold", runs(wgen::word1, "\x01"), "ab{BBT}cd{EBT}"},
      {"a run count past the page", [&] {
         wgen::fullspec f = runs(wgen::word2, "\x01");
         f.runcount = 255;
         return f;
       }(), ""},
      {"mac bold", runs(wgen::mac5, "\x80"), "ab{BBT}cd{EBT}"},
      {"mac spacing 60", runs(wgen::mac5, std::string("\0\x01\0\0\0\0\xf0\0", 8)), "ab{KER0|12|}cd"},
      {"mac underline 6 writes none", runs(wgen::mac5, std::string("\0\x04\0\0\0\0\0\x0c", 8)), "abcdef"},
      {"mac index entry", [] {
         wgen::fullspec f{{wgen::mac5, {"x.i.Apples:Red;rest\r"}}};
         f.runs = {{0, ""}, {1, "\x01"}, {15, ""}};
         return f;
       }(), "x{BMT14|}Apples|Red{EMT14|}rest"},
      {"mac contents entry", [] {
         wgen::fullspec f{{wgen::mac5, {"x.c1.Chapter;rest\r"}}};
         f.runs = {{0, ""}, {1, "\x01"}, {13, ""}};
         return f;
       }(), "x{BMT0A|}Chapter{EMT0A|}rest"},
      {"mac hidden text", runs(wgen::mac5, "\x01"), "ab{CMTcd|}ef"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::result r = firstpass(c.doc.text.k, wgen::makefull(c.doc));
    EXPECT_EQ(r.status, 0);
    std::string rec = readable(r.out);
    if (!c.want.empty()) {
      EXPECT_NE(rec.find(c.want), std::string::npos) << rec;
    }
  }
  ft::result r = full(wgen::word2, wgen::makefull(runs(wgen::word2, "\x80")));
  EXPECT_EQ(r.out, text);
  EXPECT_EQ(r.zones, "0, 1, 0\r\n2, 3, 9\r\n4, 7, 0\r\n");
}

// Bookmarks are marked before the character they start or end at: starts
// before ends, in table order.
TEST(WordFullReader, BookmarksBeforeTheirCharacters) {
  using wgen::counted;
  const std::string names = le16(0) + counted("A") + counted("B");
  const std::string starts = le32(2) + le32(2) + le32(99) + le16(0) + le16(1);
  struct {
    const char *name;
    std::string ends;
    std::string want;
  } cases[] = {
      {"two starts and an end at one character", le32(2) + le32(4) + le32(99),
       "ab{XRF01|0|A|?|}{XRF01|0|B|?|}{XRF02|0|A|?|}cd{XRF02|0|B|?|}ef"},
      {"an end past the text comes after it", le32(2) + le32(50) + le32(99), "ef{XRF02|0|B|?|}{HNL}"},
      {"an ends table shorter than a position", "\x02\x00", "abcdef{HNL}"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    wgen::fullspec f{{wgen::word2, {"abcdef"}}, {{wgen::BKNAMES, names}, {wgen::BKSTARTS, starts}, {wgen::BKENDS, c.ends}}};
    ft::result r = firstpass(wgen::word2, wgen::makefull(f));
    EXPECT_EQ(r.status, 0);
    std::string rec = readable(r.out);
    EXPECT_NE(rec.find(c.want), std::string::npos) << rec;
  }
}

// Damaged and hostile documents end with their status, leave no temporary
// file, and write only what the document holds.
TEST(WordFullReader, BadInputEndsWithItsStatus) {
  using wgen::counted;
  const wgen::spec hello = {wgen::word2, {"Hello\r\n"}};
  // Styles whose base chains are n styles long.
  auto chain = [](int n) {
    std::string names;
    std::vector<std::pair<int, int>> nb;
    for (int i = 0; i <= n; i++) {
      names += counted("S" + std::to_string(i));
      nb.push_back({0, i == 0 ? 222 : i - 1});
    }
    return wgen::fullspec{{wgen::word2, {"Hello\r\n"}}, {{wgen::STSH, wgen::stylesheet(wgen::word2, 0, names, "", "", nb)}}};
  };
  auto patched = [&](std::vector<std::pair<size_t, uint8_t>> p) {
    wgen::fullspec f{hello};
    f.patch = std::move(p);
    return wgen::makefull(f);
  };
  auto fast = [&](const std::string &clx) {
    wgen::spec s{wgen::word2, {"Hello\r\n"}, true};
    s.clx = clx;
    return wgen::make(s);
  };
  // A piece whose modifier names group 127 of a list of one.
  std::string badgroup = wgen::group(wgen::word2, "\x05\x01\x02") + "\x02" + le16(20) + le32(0) + le32(7) +
                         le16(0) + le32(384) + le16(0xFF);
  // Mac Word: a piece whose modifier names group 127 of a list of one.
  auto be = [](uint64_t v, int w) { return wgen::val(wgen::mac5, v, w); };
  wgen::spec macfast{wgen::mac5, {"Hello\r"}, true};
  macfast.clx = wgen::group(wgen::mac5, "\x05\x01\x02") + "\x02" + be(20, 2) + be(0, 4) + be(6, 4) + std::string(2, '\0') +
                be(256, 4) + be(0xFF, 2);
  bytes good = wgen::make(hello);
  bytes mac = wgen::makefull({{wgen::mac5, {"Hello\r"}},
                              {{wgen::STSH, wgen::stylesheet(wgen::mac5, 0, counted("a") + counted("b") + counted("c"),
                                                             "", "", {{0, 0}})}}});
  struct {
    const char *name;
    wgen::kind k;
    bytes doc;
    int status;
  } cases[] = {
      {"a chain of 10 base styles", wgen::word2, wgen::makefull(chain(10)), 0},
      {"a chain of 11 base styles", wgen::word2, wgen::makefull(chain(11)), CX_NOTFMT},
      {"a Word 6 identification", wgen::word2, patched({{0, 0xDC}}), CX_NOTFMT},
      {"encrypted", wgen::word2, patched({{14, 1}}), CX_CRYPT},
      {"mac unknown identification", wgen::mac5, patched({{0, 0xFE}, {1, 0x33}}), CX_NOTFMT},
      {"a table past the end of the file", wgen::word2, patched({{178, 0}, {179, 0x10}, {182, 9}}), CX_NOTFMT},
      {"bin positions that do not ascend", wgen::word2,
       wgen::makefull({hello, {{wgen::CHPBIN, le32(500) + le32(400) + le16(1)}}}), 0},
      {"a piece table longer than the Clx", wgen::word2, fast("\x02" + le16(5000) + le32(0) + le32(7) + le16(0) + le32(384) + le16(0)), 0},
      {"a group index past the groups", wgen::word2, fast(badgroup), 0},
      {"a Mac Word group index past the groups", wgen::mac5, wgen::make(macfast), 0},
      {"mac style indexes past the sheet", wgen::mac5, mac, 0},
      {"a header cut short", wgen::word2, bytes(good.begin(), good.begin() + 200), CX_READERR},
      {"text cut short", wgen::word2, bytes(good.begin(), good.end() - 3), CX_NOTFMT},
      {"an empty file", wgen::mac5, bytes(), CX_READERR},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::result r = full(c.k, c.doc);
    EXPECT_EQ(r.status, c.status);
    if (c.status == 0) {
      EXPECT_EQ(fixgen::words(r.out), fixgen::words("Hello"));
      EXPECT_EQ(r.files, kleft);
    } else {
      EXPECT_EQ(std::count_if(r.files.begin(), r.files.end(), [](const std::string &f) { return f.rfind("WW", 0) == 0; }), 0);
    }
  }
  // The files of the run: a missing input, an output in a missing folder
  // or named past its field.
  std::string doc = docstr(good);
  struct {
    const char *name;
    const std::string *in;
    std::string out;
    int status;
  } frames[] = {{"missing input", nullptr, "out.txt", CX_NOINPUT},
                {"missing folder", &doc, "missing/out.txt", CX_NOOUTPUT},
                {"overlong output name", &doc, std::string(300, 'o'), CX_NOOUTPUT}};
  for (auto &c : frames) {
    SCOPED_TRACE(c.name);
    ft::setup set{"0", true, c.out.c_str()};
    ft::result r = ft::runst(cvtword2st, w2newst, c.in, set);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.files, c.in ? ft::kin : std::vector<std::string>{});
  }
}

}  // namespace

// Paragraph properties from the paragraph page: the records of what differs
// from the paragraph before, and the blank lines of space before.
TEST(WordFullReader, ParagraphPropertiesBecomeRecords) {
  auto paras = [](wgen::kind k, const std::string &text, const std::vector<std::pair<int64_t, std::string>> &p) {
    return wgen::withparas(wgen::fullspec{{k, {text}}}, p);
  };
  const std::string two = "one\r\ntwo\r\n";
  struct {
    const char *name;
    wgen::kind k;
    bytes doc;
    std::string want;
  } cases[] = {
      {"space before 360 writes two blank lines", wgen::word2,
       paras(wgen::word2, two, {{0, ""}, {5, std::string("\x15\x68\x01", 3)}}), "one{HNL}{SBF360|2|}{HNL1|}{HNL1|}two"},
      {"a centred paragraph", wgen::word2, paras(wgen::word2, two, {{0, ""}, {5, "\x05\x01"}}), "one{HNL}{CTX0|43|85|}two"},
      {"a right-aligned paragraph", wgen::word2, paras(wgen::word2, two, {{0, ""}, {5, "\x05\x02"}}), "one{HNL}{AFR10|85|85|}two"},
      {"justified, then not", wgen::word2, paras(wgen::word2, two, {{0, "\x05\x03"}, {5, ""}}), "one{HNL}{ERJ}two"},
      {"keep together, keep with next, page break", wgen::word2,
       paras(wgen::word2, two, {{0, ""}, {5, "\x07\x01\x08\x01\x09\x01"}}), "one{HNL}{KEP}{KWN}{HNP}two"},
      {"line spacing 480", wgen::word2, paras(wgen::word2, two, {{0, std::string("\x14\xe0\x01", 3)}, {5, ""}}), "one{HNL}{RSP4|2|240|}two"},
      {"space after 100 is no blank line", wgen::word2, paras(wgen::word2, two, {{0, std::string("\x16\x64\x00", 3)}, {5, ""}}), "one{HNL}{SAF0|0|}two"},
      {"two paragraphs in one frame at -8, -4", wgen::word2,
       paras(wgen::word2, "one\r\ntwo\r\nend\r\n",
             {{0, std::string("\x1a\xfc\xff\x1b\xf8\xff\x1c\x40\x0b", 9)},
              {5, std::string("\x1a\xfc\xff\x1b\xf8\xff\x1c\x40\x0b", 9)}, {10, ""}}),
       "{APO00|1|2|2|1|1|2880|0|0|0|0|0|0|0|0000|00|}{RUL01|12|"},
      {"border words of version 2", wgen::word2,
       paras(wgen::word2, two, {{0, std::string("\x1e\x18\x00\x1f\x08\x00\x20\x10\x00", 9)}, {5, ""}}), "{PBC2150|}{RUL01|12|"},
      {"old-layout border digits", wgen::word2,
       paras(wgen::word2, two, {{0, std::string("\x0b\x01\x1e\x00\x40\x1f\x01\x40\x20\x40\x00\x21\x00\x01", 14)}, {5, ""}}),
       "{PBC0000|}{PBC8275|}{RUL01|12|"},
      {"default stops from the margin", wgen::word2, paras(wgen::word2, two, {{0, ""}}),
       "{RUL01|12|2520|3240|3960|4680|5400|6120|6840|7560|8280|9000|9720|10440|}"},
      {"a stop of its own, then the defaults", wgen::word2,
       paras(wgen::word2, two, {{0, std::string("\x0f\x05\x00\x01\xa0\x05\x0a", 7)}}),
       "{RUL01|11|3240|3960|4680|5400|6120|6840|7560|8280|9000|9720|10440|R|L|L|L|L|L|L|L|L|L|L|.|"},
      {"a hanging indent: a step to the indent, one back-tab", wgen::word2,
       paras(wgen::word2, two, {{0, ""}, {5, std::string("\x11\xd0\x02\x13\x30\xfd", 6)}}),
       "|10440|}{STM13|18|1800|2520|}{LMR5|720|1800|}two"},
      {"a left indent steps over the ruler", wgen::word2,
       paras(wgen::word2, two, {{0, ""}, {5, std::string("\x11\xa0\x05", 3)}}),
       "|10440|}{STM13|18|1800|2520|}{STM18|23|2520|3240|}two"},
      {"a right indent moves the margin until the line's end", wgen::word2,
       paras(wgen::word2, two, {{0, ""}, {5, std::string("\x10\xa0\x05", 3)}}),
       "one{HNL}{RMI10|1440|}{RSM13|73|13|63|1800|9000|}two"},
      {"mac centred", wgen::mac5, paras(wgen::mac5, "one\rtwo\r", {{0, ""}, {4, "\x05\x01"}}), "one{HNL}{CTX0|43|85|}two"},
      {"mac 3 space before", wgen::mac3, paras(wgen::mac3, "one\rtwo\r", {{0, ""}, {4, std::string("\x15\x01\x68", 3)}}), "{SBF360|1|}{HNL1|}"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::result r = firstpass(c.k, c.doc);
    EXPECT_EQ(r.status, 0);
    std::string rec = readable(r.out);
    EXPECT_NE(rec.find(c.want), std::string::npos) << rec;
    // The whole conversion keeps the two paragraphs' words.
    ft::result all = full(c.k, c.doc);
    EXPECT_EQ(all.status, 0);
    EXPECT_NE(all.out.find("two"), std::string::npos) << all.out;
    // A framed paragraph's text lies in zone 4.
    if (c.want.rfind("{APO", 0) == 0) {
      EXPECT_EQ(all.zones, "0, 9, 4\r\n10, 14, 0\r\n");
    }
  }
}

namespace {

// The text of each zone code: the output's bytes in the ranges of the zone
// lines of that code ("first, last, code"), one range apart from the next;
// code 0 takes the bytes that no other zone holds.
std::string zonetext(const ft::result &r, int code) {
  std::vector<int> owner(r.out.size(), -1);
  std::vector<int> codes;
  std::istringstream in(r.zones);
  long a, b, c;
  char comma;
  while (in >> a >> comma >> b >> comma >> c) {
    if (c != 0)
      for (long i = a; i <= b && i < static_cast<long>(owner.size()); i++)
        if (i >= 0) owner[static_cast<size_t>(i)] = static_cast<int>(codes.size());
    codes.push_back(static_cast<int>(c));
  }
  std::string t;
  int last = -2;
  for (size_t i = 0; i < r.out.size(); i++) {
    int z = owner[i] < 0 ? 0 : codes[static_cast<size_t>(owner[i])];
    if (z != code) continue;
    if (owner[i] != last) t += ' ';
    last = owner[i];
    t += r.out[i];
  }
  return t;
}

std::string mods(std::initializer_list<int> b) {
  std::string s;
  for (int v : b) s += static_cast<char>(v);
  return s;
}

}  // namespace

// Sections, headers and footers, footnotes and annotations: each text comes
// out once, in its zone, and the records of the excursions stand where the
// references are.
TEST(WordFullReader, StoriesComeOutInTheirZones) {
  // Every header and footer kind (a title page and facing pages), then a
  // continuous section of two columns.
  const std::string m1 = "Intro words here.\r\n\x0c", m2 = "Body with note\x02 and comment\x05 and note\x02 end.\r\n";
  wgen::storyspec w;
  w.main = m1 + m2;
  size_t n1 = w.main.find('\x02'), a1 = w.main.find('\x05'), n2 = w.main.rfind('\x02');
  w.notes = {{static_cast<int64_t>(n1), "First note.\r\n"}, {static_cast<int64_t>(n2), "Second note.\r\n"}};
  w.annots = {{static_cast<int64_t>(a1), "A comment.\r\n"}};
  w.hf = {"Even head\r\n", "Odd head\r\n", "Even foot\r\n", "Odd foot\r\n", "First head\r\n", "First foot\r\n"};
  w.sections = {{0, mods({128, 0x3F, 118, 1})}, {static_cast<int64_t>(m1.size()), mods({117, 0, 119, 1, 0})}};
  w.tables = {{wgen::DOP, std::string(1, '\x01') + std::string(40, '\0')}};
  // The annotation's paragraph is in the annotation text style.
  size_t atn = w.main.size();
  for (auto &n : w.notes) atn += n.second.size();
  for (auto &h : w.hf) atn += h.size();
  w.paras = {{0, ""}, {static_cast<int64_t>(atn), ""}};
  w.parastyles = {0, 224};
  bytes doc = wgen::makestories(w);
  ft::result r = full(wgen::word2, doc);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.files, kleft);
  EXPECT_EQ(fixgen::words(zonetext(r, 0)), fixgen::words("Intro words here. Body with note and comment and note end."));
  EXPECT_EQ(fixgen::words(zonetext(r, 9)), fixgen::words("A comment."));
  EXPECT_EQ(fixgen::words(zonetext(r, 1)), fixgen::words("Even head Odd head First head"));
  EXPECT_EQ(fixgen::words(zonetext(r, 2)), fixgen::words("Even foot Odd foot First foot"));
  EXPECT_EQ(fixgen::words(zonetext(r, 3)), fixgen::words("First note. Second note."));
  ft::result again = full(wgen::word2, doc);
  EXPECT_EQ(again.out, r.out);
  EXPECT_EQ(again.zones, r.zones);

  std::string rec = readable(firstpass(wgen::word2, doc).out);
  struct {
    const char *name;
    std::string want;
  } cases[] = {
      {"the first section's page numbering, then the first header", "{SLG0|}{SPN0|0|0|1|0|}{HF]00|0|13|73|1|3|}Even head{HFX0|11|0|2|}"},
      {"kind 2 after kind 1 with a title page", "Odd head{HFX0|08|0|2|}"},
      {"the first-page kinds", "First head{HFX0|08|0|1|}{HF\\00|0|13|73|1|3|}First foot{HFX0|0A|0|1|}Intro"},
      {"two columns of 3960 twips", "{SPN0|0|0|1|0|}{CDS00|2|13|40|0|45|73|0|1800|5760|0|6480|10440|0|}{BCM}"},
      {"a note numbered n, raised", "note{SPS}{FNT00|00|01|00|02|00|02|01|FF|13|98|8D|}First note.{HNL}{EFN}{EPS} and"},
      {"the annotation takes n + 1, the next note n + 2", "{FNT00|00|03|"},
      {"the columns end with the text", "{ECM}{HNL}"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NE(rec.find(c.want), std::string::npos) << rec;
  }
  // The continuous section loses the page break of the section before it.
  EXPECT_EQ(rec.find("{HNP}"), std::string::npos) << rec;

  // A header of kind 1 alone with a title page: the empty pairs of kinds 2,
  // 16 and 32 come first.
  wgen::storyspec one;
  one.main = "Text.\r\n";
  one.hf = {"Head\r\n"};
  one.sections = {{0, mods({128, 1, 118, 1})}};
  rec = readable(firstpass(wgen::word2, wgen::makestories(one)).out);
  EXPECT_NE(rec.find("{SPN0|0|0|1|0|}{HF]00|0|13|73|1|3|}{HFX0|08|0|2|}{HF]00|0|13|73|1|3|}{HFX0|08|0|1|}"
                     "{HF\\00|0|13|73|1|3|}{HFX0|0A|0|1|}{HF]00|0|13|73|1|3|}"),
            std::string::npos)
      << rec;
  EXPECT_NE(rec.find("Head{HFX0|11|0|2|}Text."), std::string::npos) << rec;
}

// Table rows: the first row's table definition, each row's definition, the
// cells with their merge spans, and the cells' text in zone 10.
TEST(WordFullReader, TableRowsAreWrittenAtTheirEnd) {
  auto le = [](int v) { return mods({v & 0xFF, v >> 8 & 0xFF}); };
  // Three cells of 1440 twips; the descriptors' first/merged bits as given.
  auto tdef = [&](int m0, int m1, int m2) {
    std::string b = mods({3}) + le(0) + le(1440) + le(2880) + le(4320);
    for (int m : {m0, m1, m2}) b += mods({m}) + std::string(9, '\0');
    return mods({152}) + le(static_cast<int>(b.size())) + b;
  };
  const std::string in = mods({24, 1}), height = mods({153}) + le(-480 & 0xFFFF);
  const std::string end = in + mods({25, 1}) + height;
  wgen::storyspec w;
  // The first row's second and third cells are merged into its first.
  w.main = "Before\r\nA\x07\x07\x07\x07" "D\x07" "E\x07" "F\x07" "\x07" "After\r\n";
  w.paras = {{0, ""},  {8, in},  {10, in}, {11, in}, {12, end + tdef(1, 2, 2)},
             {13, in}, {15, in}, {17, in}, {19, end + tdef(0, 0, 0)}, {20, ""}};
  bytes doc = wgen::makestories(w);
  std::string rec = readable(firstpass(wgen::word2, doc).out);
  const char *want[] = {
      "Before{HNL}{CDS0A|3|1|10|0|11|20|0|21|30|0|0|1440|0|1440|2880|0|2880|4320|0|}{BCM}{BRO3|2|480|0000|0000|0000|0|}",
      "{BCO1|3|1|0|0|2|0|}A{HCB}{HCB}{HCB}{BRO3|2|480|",
      "{BCO1|1|1|0|0|2|0|}D{HCB}{BCO2|1|1|0|0|2|0|}E{HCB}{BCO3|1|1|0|0|2|0|}F{HCB}{ECM}After",
  };
  for (const char *w : want) EXPECT_NE(rec.find(w), std::string::npos) << w << "\n" << rec;
  ft::result r = full(wgen::word2, doc);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(fixgen::words(zonetext(r, 0)), fixgen::words("Before After"));
  EXPECT_EQ(fixgen::words(zonetext(r, 10)), fixgen::words("A D E F"));

  // Mac Word: big-endian operands, the row in the output itself.
  auto be = [](int v) { return mods({v >> 8 & 0xFF, v & 0xFF}); };
  std::string b = mods({3}) + be(0) + be(1440) + be(2880) + be(4320) + mods({1}) + std::string(9, '\0') + mods({2}) +
                  std::string(9, '\0') + mods({2}) + std::string(9, '\0');
  const std::string mdef = mods({152}) + be(static_cast<int>(b.size())) + b;
  wgen::storyspec m;
  m.k = wgen::mac5;
  m.main = "Before\rA\x07\x07\x07\x07" "After\r";
  m.paras = {{0, ""}, {7, in}, {9, in}, {10, in}, {11, in + mods({25, 1, 153}) + be(0xFE20) + mdef}, {12, ""}};
  bytes mdoc = wgen::makestories(m);
  rec = readable(firstpass(wgen::mac5, mdoc).out);
  EXPECT_NE(rec.find("{BRO3|2|480|0000|0000|0000|0|}{BCO1|3|1|0|0|0|0|}A{HCB}"), std::string::npos) << rec;
  r = full(wgen::mac5, mdoc);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(fixgen::words(zonetext(r, 10)), fixgen::words("A"));
  EXPECT_EQ(fixgen::words(zonetext(r, 0)), fixgen::words("Before After"));
}

// A fast-saved file's paragraph properties are stored with the paragraph's
// mark: the look-ahead at each paragraph's start finds them there.
TEST(WordFullReader, FastSavedParagraphsLookAheadToTheirMark) {
  struct {
    const char *name;
    wgen::kind k;
    std::string text;
    int64_t second;
  } cases[] = {
      {"word 2.0", wgen::word2, "one\r\ntwo\r\n", 5},
      {"mac word", wgen::mac5, "one\rtwo\r", 4},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    wgen::spec s{c.k, {c.text}, true};
    bytes doc = wgen::withparas(wgen::fullspec{s}, {{0, ""}, {c.second, "\x05\x01"}});
    ft::result r = firstpass(c.k, doc);
    EXPECT_EQ(r.status, 0);
    std::string rec = readable(r.out);
    EXPECT_NE(rec.find("one{HNL}{CTX0|43|85|}"), std::string::npos) << rec;
    EXPECT_EQ(rec.find("{CTX"), rec.rfind("{CTX")) << rec;
    ft::result all = full(c.k, doc);
    EXPECT_EQ(all.status, 0);
    EXPECT_EQ(fixgen::words(all.out), fixgen::words(c.text));
  }
}

// Fields: the records of their keywords, their results skipped or kept,
// their replacement text.
TEST(WordFullReader, FieldsBecomeTheirRecords) {
  const std::string special("\0\x02", 2);
  auto withfield = [&](const std::string &f, const std::string &dop = "") {
    wgen::fullspec s{{wgen::word2, {"x" + f + "y\r\n"}}};
    s.runs = {{0, ""}, {1, special}, {2, ""}};
    if (!dop.empty()) s.tables = {{wgen::DOP, dop}};
    // The document strings: the template's path, then the title.
    std::string assoc = std::string(1, '\0') + wgen::counted("NORMAL.DOT") + wgen::counted("My Title");
    s.tables.push_back({wgen::ASSOC, le16(static_cast<int>(assoc.size()) + 2) + assoc});
    return wgen::makefull(s);
  };
  auto withfont = [&](const std::string &f) {
    wgen::fullspec s{{wgen::word2, {"x" + f + "y\r\n"}}};
    s.runs = {{0, ""}, {1, special}, {2, ""}};
    s.tables = {{wgen::FONTS, wgen::wordfonts(wgen::word2, {"Tms Rmn", "Symbol", "Helv", "Wingbats"})}};
    return wgen::makefull(s);
  };
  const std::string created = std::string(20, '\0') + le32(packed(1994, 3, 7, 15, 5)) + std::string(20, '\0');
  struct {
    const char *name;
    bytes doc;
    std::string want;
  } cases[] = {
      {"DATE", withfield("\x13 DATE \x14" "1/1/94\x15"), "x{DTF32|2F|31|2F|35|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|}y"},
      {"TIME", withfield("\x13TIME\x14" "12:00\x15"), "x{DTF38|3A|39|30|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|}y"},
      {"a date picture", withfield("\x13" "DATE \\@ \"dddd, MMMM d\"\x14x\x15"), "x{DTF36|2C|20|33|20|31|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|00|}y"},
      {"CREATEDATE", withfield("\x13" "CREATEDATE\x14old\x15", created), "xMarch 7, 1994 y"},
      {"SYMBOL 183 in the symbol font", withfield("\x13SYMBOL 183 \\f \"Symbol\"\x15"), "x{XCS9998|B7|}"},
      {"SYMBOL 189 without a font", withfield("\x13SYMBOL 189\x15"), "x{UCSB3|}y"},
      {"a symbol number of 40 digits", withfield("\x13SYMBOL " + std::string(40, '9') + "\x15"), "x y{HNL}"},
      {"REF to a missing bookmark drops its text", withfield("\x13REF nothing \x14gone\x15"), "}xy{HNL}"},
      {"PAGEREF to a missing bookmark keeps its text", withfield("\x13PAGEREF nothing \x14" "7\x15"), "}x7"},
      {"TC with a level", withfield("\x13TC \"Chapter one\" \\l 2\x15"), "x{BMT01|Chapter one|}{EMT01|}y"},
      {"XE", withfield("\x13XE \"Apples:Red\"\x15"), "x{BMT20|Apples|Red|}{EMT20|}y"},
      {"TITLE: the title of the document strings", withfield("\x13TITLE\x14old\x15", ""), "xMy Titley"},
      {"SYMBOL in another font of the document", withfont("\x13SYMBOL 200 \\f \"wingbats\"\x15"), "x{SPF12|0|12|3|200|Wingbats|}{UCSC8|}{SPF12|0|12|0|200|Tms Rmn|}y"},
      {"SYMBOL in a font the document lacks", withfont("\x13SYMBOL 189 \\f \"Nowhere\"\x15"), "x{UCSB3|}y"},
      {"a nested field's text joins the instruction", withfield("\x13TC \"A \x13" "CREATEDATE\x15\"\x15", created), "x{BMT00|A March 7, 1994 |}{EMT00|}y"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::result r = firstpass(wgen::word2, c.doc);
    EXPECT_EQ(r.status, 0);
    std::string rec = readable(r.out);
    size_t at = rec.find("{SLG0|}");
    EXPECT_NE(rec.find(c.want), std::string::npos) << (at == std::string::npos ? rec : rec.substr(at));
  }

  // Legal numbering by the heading level of the paragraph: 1. 2. 2.1.
  const std::string lgl = "\x13" "AUTONUMLGL\x15";
  const std::string line = lgl + "A\r\n";
  wgen::fullspec f{{wgen::word2, {line + line + line}}};
  const int64_t n = static_cast<int64_t>(line.size());
  f.runs = {{0, special}, {1, ""}, {n, special}, {n + 1, ""}, {2 * n, special}, {2 * n + 1, ""}};
  std::string rec = readable(firstpass(wgen::word2, wgen::withparas(f, {{0, ""}, {n, ""}, {2 * n, ""}}, {254, 254, 253})).out);
  size_t one = rec.find("|}1.{"), two = rec.find("|}2.{"), three = rec.find("|}2.1.{");
  EXPECT_TRUE(one != std::string::npos && two > one && three > two && three != std::string::npos) << rec;

  // The index and contents entries in their zones.
  // (The separator of the entry's levels vanishes.)
  ft::result r = full(wgen::word2, withfield("\x13XE \"Apples:Red\"\x15"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(fixgen::words(zonetext(r, 7)), fixgen::words("ApplesRed"));
  EXPECT_EQ(fixgen::words(zonetext(r, 0)), fixgen::words("xy"));
  r = full(wgen::word2, withfield("\x13TC \"Chapter\"\x15"));
  EXPECT_EQ(fixgen::words(zonetext(r, 6)), fixgen::words("Chapter"));
}

// Hostile fields, tables, tab lists and sections: each run ends with its
// status and leaves only its own files.
TEST(WordFullReader, HostileStoriesTablesAndFieldsEnd) {
  const std::string special("\0\x02", 2);
  auto fielddoc = [&](const std::string &text) {
    wgen::fullspec s{{wgen::word2, {"x" + text + "\r\n"}}};
    s.runs = {{0, ""}, {1, special}, {2, ""}};
    return wgen::makefull(s);
  };
  // A table definition of 200 cells with 60 boundaries and merge bits, a
  // row height of 0, and a merge from cell 5 to 250.
  std::string def = mods({200});
  for (int i = 0; i < 60; i++) def += le16(static_cast<uint32_t>(i * 100));
  def += std::string(40, '\x03');
  const std::string table = mods({24, 1, 25, 1, 153, 0, 0, 152}) + le16(static_cast<uint32_t>(def.size())) + def +
                            mods({161, 5, 250, 159, 9, 3, 158, 1, 200}) + le16(1000);
  // 60 tab stops added at once.
  std::string tabs = mods({0, 60});
  for (int i = 0; i < 60; i++) tabs += le16(static_cast<uint32_t>(100 + 50 * i));
  tabs += std::string(60, '\x01');
  tabs = mods({15, static_cast<int>(tabs.size())}) + tabs;
  wgen::storyspec cols;
  cols.main = "Some words.\r\n";
  cols.sections = {{0, mods({119, 0xFF, 0x7F, 120, 0xFF, 0x7F, 128, 0x3F})}};
  struct {
    const char *name;
    bytes doc;
  } cases[] = {
      {"10,000 nested fields", fielddoc(std::string(10000, '\x13') + "y" + std::string(10000, '\x15'))},
      {"a field with no end", fielddoc("\x13" "DATE and more words")},
      {"a table past 32 cells", wgen::withparas(wgen::fullspec{{wgen::word2, {"a\x07" "b\x07" "\x07" "after\r\n"}}},
                                                {{0, mods({24, 1})}, {2, mods({24, 1})}, {4, table}, {5, ""}})},
      {"60 tab stops", wgen::withparas(wgen::fullspec{{wgen::word2, {"one\r\ntwo\r\n"}}}, {{0, tabs}, {5, ""}})},
      {"a line spacing of 0 with space before and after",
       wgen::withparas(wgen::fullspec{{wgen::word2, {"one\r\ntwo\r\n"}}},
                       {{0, mods({20, 0, 0, 21, 0x68, 0x01, 22, 0x68, 0x01})}, {5, mods({20, 0, 0x80, 21, 0xFF, 0x7F})}})},
      {"32,767 columns and a header with no text", wgen::makestories(cols)},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::result r = full(wgen::word2, c.doc);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.files, kleft);
  }
}

// Property pages whose entries reach past the page: an entry placed at the
// page's last byte, and lengths of 255 words or bytes, end the run with
// status 0 and only the document's own text.
TEST(WordFullReader, PageEntriesPastTheirPage) {
  auto paras = [](wgen::kind k) {
    wgen::fullspec f{{k, {k == wgen::mac5 ? "one\rtwo\r" : "one\r\ntwo\r\n"}}};
    return wgen::withparas(f, {{0, mods({20, 0x68, 0x01})}, {4, mods({21, 0x68, 0x01})}});
  };
  // The paragraph page is the last page before the ten bytes of its bin
  // table; the character page follows the stream at a page boundary.
  auto parapage = [](const bytes &b) { return b.size() - 10 - 512; };
  auto entry = [](const bytes &b, size_t page, int i, int n, bool bytewise) {
    return page + b[page + 4 * (n + 1) + i] * (bytewise ? 1 : 2);
  };
  auto patched = [](bytes b, std::vector<std::pair<size_t, uint8_t>> p) {
    for (auto &q : p) b[q.first] = q.second;
    return b;
  };
  bytes w2 = paras(wgen::word2), mac = paras(wgen::mac5);
  size_t wp = parapage(w2), mp = parapage(mac);
  wgen::fullspec runs{{wgen::word2, {"Hello there\r\n"}}};
  runs.runs = {{0, "\x01\x02\x03"}, {5, ""}};
  bytes w2runs = wgen::makefull(runs);
  size_t cp = (wgen::stream(runs.text).size() + 511) / 512 * 512;
  struct {
    const char *name;
    wgen::kind k;
    bytes doc;
  } cases[] = {
      {"a paragraph entry at the page's last byte", wgen::word2, patched(w2, {{wp + 12, 0xFF}, {wp + 510, 0xFF}})},
      {"a paragraph entry of 255 words", wgen::word2, patched(w2, {{entry(w2, wp, 0, 2, false), 0xFF}})},
      {"the second paragraph entry of 255 words", wgen::word2, patched(w2, {{entry(w2, wp, 1, 2, false), 0xFF}})},
      {"a Mac Word paragraph entry of 255 words", wgen::mac5, patched(mac, {{entry(mac, mp, 0, 2, false), 0xFF}})},
      {"a Mac Word entry at the page's last byte", wgen::mac5, patched(mac, {{mp + 12, 0xFF}, {mp + 510, 0xFF}})},
      {"a run entry of 255 bytes", wgen::word2, patched(w2runs, {{entry(w2runs, cp, 0, 2, false), 0xFF}})},
      {"a run entry at the page's last byte", wgen::word2, patched(w2runs, {{cp + 12, 0xFF}, {cp + 510, 0xFF}})},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::result r = full(c.k, c.doc);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.files, kleft);
  }
}

// The files a document names: listed in the dependent-file list the caller
// names, a picture linked by name when the flags ask for links; none of
// them is ever opened.
TEST(WordFullReader, NamedFilesAreListedAndLinked) {
  const std::string special("\0\x02", 2);
  wgen::fullspec f{{wgen::word2, {"x\x13IMPORT c:\\\\pics\\\\logo.wmf\x15y\x13INCLUDE notes.txt\x15z\r\n"}}};
  size_t second = f.text.pieces[0].find('\x13', 2);
  f.runs = {{0, ""}, {1, special}, {2, ""}, {static_cast<int64_t>(second), special}, {static_cast<int64_t>(second) + 1, ""}};
  std::string doc = docstr(wgen::makefull(f));
  struct {
    const char *name;
    int32_t flags;
    bool list;
    std::string want, listed;
  } cases[] = {
      {"the defaults: linked by name after the failed import, nothing listed", 0, false,
       "x{IGRc:\\pics\\logo.wmf|1|0|0|}y{FICnotes.txt|0|}z", ""},
      {"a list: a graphic and a text", 0, true, "", std::string("c:\\pics\\logo.wmf") + '\0' + "graphic\r\nnotes.txt" + '\0' + "text\r\n"},
      {"links asked for", 16, false, "x{IGRc:\\pics\\logo.wmf|1|0|0|}y", ""},
      {"objects ignored", 16 | 4, false, "x{IGRc:\\pics\\logo.wmf|1|0|0|}y", ""},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    std::string listed;
    ft::result r = ft::runin(
        [&](const cxtestdir &d, const char *in, const char *out) {
          cxstate *st = w2newst();
          std::string list = d.file("deps.txt");
          if (c.list) st->mn->listfile = list.data();
          st->sb->embflags = c.flags;
          int status = cvtframe(st, nullptr, [&](char *closed) {
            wfirst(st, 0, in, out);
            *closed = 1;
            cxthrow(st, CX_OK);
          });
          listed = d.get("deps.txt");
          return status;
        },
        &doc, "out.txt");
    EXPECT_EQ(r.status, 0);
    std::string rec = readable(r.out);
    EXPECT_NE(rec.find(c.want), std::string::npos) << rec;
    EXPECT_EQ(listed, c.listed);
  }
}

// A change of paragraph style: the base's records, the old style's end and
// the new style's begin, then what the paragraph sets against its style.
TEST(WordFullReader, StyleChangesCloseAndOpenTheirStyles) {
  using wgen::counted;
  wgen::fullspec f{{wgen::word2, {"one\r\ntwo\r\nend\r\n"}},
                   {{wgen::STSH, wgen::stylesheet(wgen::word2, 0, counted("Normal") + counted("Quote"), "", "",
                                                  {{0, 222}, {0, 0}})}}};
  std::string rec = readable(firstpass(wgen::word2, wgen::withparas(f, {{0, ""}, {5, ""}, {10, ""}}, {0, 1, 0})).out);
  size_t begin = rec.find("{STYQuote|1|}"), done = rec.find("{STE}", begin), two = rec.find("two");
  size_t end = rec.find("{STFQuote|1|}"), last = rec.find("end");
  EXPECT_TRUE(begin != std::string::npos && done < two && two < end && end < last) << rec;
}

// Pictures by name as the object flags say: linked, copied into the records
// or taken as they are when already in the wanted format; a name from
// inside a document is never opened. The picture is the run's input file.
TEST(WordFullReader, PicturesByNameFollowTheObjectFlags) {
  const std::string pic("\x01\xAB\x10", 3);
  struct {
    const char *name;
    int32_t flags;
    int objmode, fromdoc, format, target;
    int want;
    std::string rec;  // "" nothing written
  } cases[] = {
      {"the defaults: nothing written", 0, 0, 0, -1, -999, -1, ""},
      {"objects ignored", 4 | 16, 0, 0, -1, -999, -1, ""},
      {"a link with the first size pair", 16, 0, 1, -1, -999, 0, "{IGR@|1|300|200|}"},
      {"a link in object mode 1 reports failure", 16, 1, 1, -1, -999, -1, "{IGR@|1|300|200|}"},
      {"the file's bytes copied", 1 | 64, 0, 0, -1, -999, 0, "{EGR@|300|200|01AB10|}"},
      {"a document's name is never opened", 1 | 64, 0, 1, -1, -999, -1, ""},
      {"already in the wanted format", 1, 0, 0, 1, 610, 0, "{PDS1|0|0|0|300|200|0|0|}{PCT0|01AB10|}"},
      {"a converter that cannot run leaves nothing", 1, 0, 0, 1, -999, -1, ""},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    int got = 99;
    std::string inname;
    ft::result r = ft::runin(
        [&](const cxtestdir &, const char *in, const char *out) {
          inname = in;
          cxstate *st = w2newst();
          st->sb->embflags = c.flags;
          st->sb->objmode = c.objmode;
          st->fb->picfmt = c.target;
          return cvtframe(st, nullptr, [&](char *closed) {
            cvtoutname(st, out);
            int ih = cxopen2(st, in, 1), oh = cxopen2(st, st->nm->intfile, 2);
            if (ih < 0 || oh < 0 || cxbufinit(st, ih, oh, 2048) != 0) cxthrow(st, CX_NOMEM);
            int32_t obj[9] = {c.format, 0, 0, 0, 0, 300, 200, 0, 0};
            got = ccimport(st, obj, in, 1, c.fromdoc);
            cxbufend(st);
            cxclose(st, oh);
            cxclose(st, ih);
            *closed = 1;
            cxthrow(st, CX_OK);
          });
        },
        &pic, "out.txt");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(got, c.want);
    std::string want = c.rec;
    if (size_t at = want.find('@'); at != std::string::npos) want.replace(at, 1, inname);
    EXPECT_EQ(readable(r.out), want);
    EXPECT_EQ(r.files, (std::vector<std::string>{"in.doc", "out.txt"}));
  }
}

// A byte source over a string.
struct bytesource {
  const std::string *b;
  size_t at;
};
int nextbyte(cxstate *, void *ctx) {
  auto *s = static_cast<bytesource *>(ctx);
  return s->at < s->b->size() ? static_cast<unsigned char>((*s->b)[s->at++]) : -1;
}

// Runs f(st) on a state of the Word 2 reader with its output open; the
// input file holds doc.
template <class F>
ft::result onoutput(const std::string &doc, F &&f) {
  return ft::runin(
      [&](const cxtestdir &d, const char *in, const char *out) {
        cxstate *st = w2newst();
        return cvtframe(st, nullptr, [&](char *closed) {
          cvtoutname(st, out);
          int ih = cxopen2(st, in, 1), oh = cxopen2(st, st->nm->intfile, 2);
          if (ih < 0 || oh < 0 || cxbufinit(st, ih, oh, 2048) != 0) cxthrow(st, CX_NOMEM);
          f(d, st);
          cxbufend(st);
          cxclose(st, oh);
          cxclose(st, ih);
          *closed = 1;
          cxthrow(st, CX_OK);
        });
      },
      &doc, "out.txt");
}

// Embedded objects from a byte source: written as records, or copied into a
// temporary file and converted there when the flags ask for it. A fake
// converter program stands for the external ones; whatever happens, no
// temporary file stays unless the flags keep it.
TEST(WordFullReader, EmbeddedObjectsFromAByteSource) {
  const std::string bytes3("\x01\xAB\x10", 3);
  const std::string ok = "#!/bin/sh\nprintf CV > \"${2#-t=}\"\n", notmine = "#!/bin/sh\nexit 9\n";
  struct {
    const char *name;
    int32_t flags;
    int descronly, objmode, format;
    std::string converter;  // the program for format 610, "" none
    int want;
    int32_t format2;        // the descriptor's format afterwards
    std::string rec;        // '@' stands for a temporary file's name
  } cases[] = {
      {"the defaults: the bytes as records", 0, 0, 0, 1, "", -1, 1, "{PDS1|0|0|0|300|200|0|0|}{PCT0|01AB10|}"},
      {"another format has no leading 0", 0, 0, 0, 606, "", -1, 606, "{PDS606|0|0|0|300|200|0|0|}{PCT01AB10|}"},
      {"ignored", 4 | 1, 0, 0, 1, ok, -1, 1, ""},
      {"the descriptor only", 1, 1, 0, 1, ok, -1, 1, "{PDS1|0|0|0|300|200|0|0|}"},
      {"converted", 1, 0, 0, 1, ok, 0, 0, "{PDS0|0|0|0|300|200|0|0|}{PCT4356|}"},
      {"object mode 1 keeps it unconverted", 1, 0, 1, 1, ok, -1, 1, "{PDS1|0|0|0|300|200|0|0|}{PCT0|01AB10|}"},
      {"a converter that cannot start: written once, unconverted", 1, 0, 0, 1, "", CX_NOOUTPUT, 1,
       "{PDS1|0|0|0|300|200|0|0|}{PCT0|01AB10|}"},
      {"a converter that says not its format", 1, 0, 0, 1, notmine, CX_NOOUTPUT, 699,
       "{PDS699|0|0|0|300|200|0|0|}{PCT01AB10|}"},
      {"a format that cannot be detected", 1, 0, 0, -1, ok, CX_NOTFMT, 699, "{PDS699|0|0|0|300|200|0|0|}{PCT01AB10|}"},
      {"a temporary copy linked", 1 | 128, 0, 0, -1, ok, 0, 699, "{PDS699|0|0|0|300|200|0|0|}{IGR@|}"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    int got = 99;
    int32_t after = 0;
    std::string copy = "none", tmp;
    ft::result r = onoutput(bytes3, [&](const cxtestdir &d, cxstate *st) {
      if (!c.converter.empty()) {
        d.put("yrm610f", c.converter);
        ::chmod(d.file("yrm610f").c_str(), 0700);
      }
      st->sb->embflags = c.flags;
      st->sb->descronly = c.descronly;
      st->sb->objmode = c.objmode;
      std::snprintf(st->nm->convdir, sizeof st->nm->convdir, "%s/", d.path.c_str());
      int32_t obj[9] = {c.format, 0, 0, 0, 0, 300, 200, 0, 0};
      bytesource src{&bytes3, 0};
      got = ccobjout(st, obj, nextbyte, &src, 1);
      after = obj[0];
      // A linked copy lives to the end of the run.
      for (auto &f : d.files())
        if (f.size() > 4 && f.compare(f.size() - 4, 4, ".TMP") == 0 && tmp.empty()) {
          tmp = d.file(f);
          copy = d.get(f);
        }
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(got, c.want);
    EXPECT_EQ(after, c.format2);
    std::string want = c.rec;
    if (size_t at = want.find('@'); at != std::string::npos) {
      want.replace(at, 1, tmp);
      EXPECT_EQ(copy, bytes3);
    } else {
      EXPECT_TRUE(tmp.empty()) << tmp;
    }
    EXPECT_EQ(readable(r.out), want);
    std::vector<std::string> files = {"in.doc", "out.txt"};
    if (!c.converter.empty()) files.push_back("yrm610f");
    EXPECT_EQ(r.files, files);
  }
}

// A QuickDraw object is written raw, its sizes in points and each byte
// closed by its own separator.
TEST(WordFullReader, QuickDrawObjectsGoRaw) {
  const std::string bytes2("\x0F\xF0", 2);
  ft::result r = onoutput(bytes2, [&](const cxtestdir &, cxstate *st) {
    int32_t obj[9] = {2, 0, 0, 0, 0, 300, 200, 0, 0};
    bytesource src{&bytes2, 0};
    EXPECT_EQ(ccobjout(st, obj, nextbyte, &src, 1), -1);
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(readable(r.out), "{PIC0|0|0|10|15|0|0F|F0|}");
}

// Where a dependent file is looked for: the name itself unless the path
// setting is on, else its last part in the dependent-file directory or the
// input's directory; a path that does not fit is refused, never cut.
TEST(WordFullReader, DependentPaths) {
  struct {
    const char *name;
    int setting;
    const char *dir, *in, *file;
    size_t room;
    int want;
    const char *path;
  } cases[] = {
      {"the setting off: the name unchanged", 0, "/pics", "/docs/a.doc", "c:\\art\\logo.wmf", 64, 0, "c:\\art\\logo.wmf"},
      {"the input's directory", 1, nullptr, "/docs/a.doc", "c:\\art\\logo.wmf", 64, 0, "/docs/logo.wmf"},
      {"an input with no directory", 1, nullptr, "a.doc", "art/logo.wmf", 64, 0, "logo.wmf"},
      {"the directory setting gets its separator", 1, "/pics", "/docs/a.doc", "mac:logo", 64, 0, "/pics/logo"},
      {"a directory ending in a separator", 1, "/pics/", "/docs/a.doc", "logo.wmf", 64, 0, "/pics/logo.wmf"},
      {"exactly the room", 1, "/p", nullptr, "ab", 6, 0, "/p/ab"},
      {"one byte short", 1, "/p", nullptr, "abc", 6, -1, ""},
      {"the name unchanged, too long", 0, nullptr, nullptr, "abcdef", 6, -1, ""},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    cxstate *st = w2newst();
    ASSERT_NE(st, nullptr);
    st->sb->deppath = c.setting;
    std::string dir = c.dir ? c.dir : "";
    st->mn->depdir = c.dir ? dir.data() : nullptr;
    char out[80];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(ccdeppath(st, c.in, c.file, out, c.room), c.want);
    EXPECT_STREQ(out, c.path);
    EXPECT_EQ(out[c.room], 'x');  // nothing written past the room
    st->mn->depdir = nullptr;
    w2freest(st);
  }
}

// The open sizes of a picture follow the size its converter reported; the
// products cannot overflow.
TEST(WordFullReader, PictureSizesScaleToTheReportedSize) {
  struct {
    const char *name;
    int32_t a, b, s1, s2, w1, w2;
  } cases[] = {
      {"the first size open", 1440, 720, 0, 2880, 1440, 2880},
      {"the second size open", 1440, 720, 720, -5, 720, 1440},
      {"both open take the reported size", 1440, 720, 0, 0, 720, 1440},
      {"neither open stays", 1440, 720, 100, 200, 100, 200},
      {"no reported size changes nothing", 0, 720, 0, 2880, 0, 2880},
      {"a product past 32 bits", 1, 2000000000, 0, 2000000000, INT32_MAX, 2000000000},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    int32_t obj[9] = {-1, 0, 0, 0, 0, c.s1, c.s2, c.s1, c.s2};
    ccobjscale(obj, c.a, c.b);
    EXPECT_EQ(obj[5], c.w1);
    EXPECT_EQ(obj[6], c.w2);
    EXPECT_EQ(obj[7], c.w1);
    EXPECT_EQ(obj[8], c.w2);
  }
}

// The dependent-file list: each line the name, its NUL and its kind's word;
// kind 0 has no word, a kind past 8 the word "?".
TEST(WordFullReader, DependentFileLinesCarryTheirKind) {
  std::string listed;
  ft::result r = ft::runin(
      [&](const cxtestdir &d, const char *, const char *) {
        cxstate *st = w2newst();
        std::string list = d.file("deps.txt");
        st->mn->listfile = list.data();
        int status = cvtframe(st, nullptr, [&](char *closed) {
          ccdeplist(st, "a.txt", 4);
          ccdeplist(st, "b", 0);
          ccdeplist(st, "c.xls", 9);
          ccdeplist(st, "d.wmf", 2);
          *closed = 1;
          cxthrow(st, CX_OK);
        });
        listed = d.get("deps.txt");
        return status;
      },
      nullptr, "out.txt");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(listed, std::string("a.txt\0text\r\nb\0\r\nc.xls\0?\r\nd.wmf\0graphic\r\n", 40));
}

// A Mac Word section keeps the default page, whatever the document's: its
// start writes the width and heights that differ, and the document's own
// margins.
TEST(WordFullReader, MacSectionsWriteTheirPageRecords) {
  auto be16 = [](int v) { return std::string{static_cast<char>(v >> 8 & 0xFF), static_cast<char>(v & 0xFF)}; };
  wgen::storyspec w;
  w.k = wgen::mac5;
  w.main = "Page one.\r\n";
  w.sections = {{0, ""}};
  // An A4 page with margins of 1134 twips; bit 0x01 of the flags set.
  w.tables = {{wgen::DOP, be16(16838) + be16(11906) + be16(1134) + be16(1134) + be16(1134) + be16(1134) +
                              std::string(2, '\0') + be16(720) + std::string(1, '\x01') + std::string(13, '\0')}};
  std::string rec = readable(firstpass(wgen::mac5, wgen::makestories(w)).out);
  EXPECT_NE(rec.find("{SLG0|}{POR0|}{PGW85|12240|}{SFL66|54|66|54|15840|12960|}{STP6|6|1440|}{SBP6|1440|}"
                     "{RSM8|77|8|77|1134|11106|}Page"),
            std::string::npos)
      << rec;
}

// A fast-saved file's footnotes, headers and footers are read from their
// own pieces and come out in their zones, as those of any other file.
TEST(WordFullReader, FastSavedStoriesComeOutInTheirZones) {
  for (wgen::kind k : {wgen::word2, wgen::mac5}) {
    SCOPED_TRACE(k == wgen::word2 ? "word 2.0" : "mac word");
    bool mac = ismac(k);
    const std::string lf = mac ? "\r" : "\r\n";
    wgen::storyspec w;
    w.k = k;
    w.complex = true;
    w.main = "Body words\x02 and more body words" + lf;
    w.notes = {{static_cast<int64_t>(w.main.find('\x02')), "Note text" + lf}};
    w.hf = {"Head text" + lf, "Foot text" + lf};
    // Word 2.0: the odd header and footer (kinds 2 and 8); Mac Word: kinds 1 and 4.
    w.sections = {{0, mods({128, mac ? 5 : 10})}};
    bytes doc = wgen::makestories(w);
    ft::result r = full(k, doc);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.files, kleft);
    EXPECT_EQ(fixgen::words(zonetext(r, 0)), fixgen::words("Body words and more body words"));
    EXPECT_EQ(fixgen::words(zonetext(r, 1)), fixgen::words("Head text"));
    EXPECT_EQ(fixgen::words(zonetext(r, 2)), fixgen::words("Foot text"));
    EXPECT_EQ(fixgen::words(zonetext(r, 3)), fixgen::words("Note text"));
  }
}

// A fast-saved file whose notes, headers and footers start and end inside
// pieces gives the texts of the same file saved whole, zone by zone, with
// its notes numbered on.
TEST(WordFullReader, FastSavedStoriesCutAcrossPiecesMatchTheWholeFile) {
  for (wgen::kind k : {wgen::word2, wgen::mac5}) {
    SCOPED_TRACE(k == wgen::word2 ? "word 2.0" : "mac word");
    const std::string lf = ismac(k) ? "\r" : "\r\n";
    wgen::storyspec w;
    w.k = k;
    w.main = "Opening words with a note\x02 here." + lf + "Middle words\x02 and a last note\x02 at the end." + lf;
    size_t at = 0;
    for (const char *t : {"First note text.", "Second note text.", "Third note text."}) {
      at = w.main.find('\x02', at);
      w.notes.push_back({static_cast<int64_t>(at++), t + lf});
    }
    w.hf = {"Even head words" + lf, "Odd head words" + lf, "Even foot words" + lf,
            "Odd foot words" + lf, "First head words" + lf, "First foot words" + lf};
    w.sections = {{0, mods({128, 0x3F, 118, 1})}};
    w.tables = {{wgen::DOP, std::string(1, '\x01') + std::string(40, '\0')}};
    ft::result whole = full(k, wgen::makestories(w));
    ASSERT_EQ(whole.status, 0);
    w.complex = w.split = true;
    bytes doc = wgen::makestories(w);
    ft::result r = full(k, doc);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.files, kleft);
    EXPECT_EQ(fixgen::words(zonetext(r, 3)), fixgen::words("First note text. Second note text. Third note text."));
    EXPECT_EQ(fixgen::words(zonetext(r, 1)), fixgen::words("Even head words Odd head words First head words"));
    EXPECT_EQ(fixgen::words(zonetext(r, 2)), fixgen::words("Even foot words Odd foot words First foot words"));
    for (int code : {0, 1, 2, 3}) EXPECT_EQ(zonetext(r, code), zonetext(whole, code)) << "zone " << code;
    std::string rec = readable(firstpass(k, doc).out);
    for (const char *n : {"{FNT00|00|01|", "{FNT00|00|02|", "{FNT00|00|03|"}) EXPECT_NE(rec.find(n), std::string::npos) << n << rec;
  }
}

// A fast-saved Mac Word 4 section with no word on its headers has the odd
// header and footer; a Mac Word 5 one, or one saved whole, has none.
TEST(WordFullReader, FastSavedMacWord4SectionsHaveTheOddHeaderAndFooter) {
  struct {
    const char *name;
    bool complex, level5;
    const char *head, *foot;
  } cases[] = {
      {"fast-saved, level 4", true, false, "Head text", "Foot text"},
      {"fast-saved, level 5", true, true, "", ""},
      {"saved whole, level 4", false, false, "", ""},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    wgen::storyspec w;
    w.k = wgen::mac5;
    w.complex = c.complex;
    w.main = "Body words here\r";
    w.hf = {"Head text\r", "Foot text\r"};
    w.sections = {{0, mods({117, 2})}};
    bytes doc = wgen::makestories(w);
    if (c.level5) wgen::maclevel5(doc);
    ft::result r = full(wgen::mac5, doc);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(fixgen::words(zonetext(r, 0)), fixgen::words("Body words here"));
    EXPECT_EQ(fixgen::words(zonetext(r, 1)), fixgen::words(c.head));
    EXPECT_EQ(fixgen::words(zonetext(r, 2)), fixgen::words(c.foot));
  }
}

// Every Word 1.x/2.0 and Mac Word document of the generator (the fixtures
// that fixtures/check.sh gives to the independent readers) converts with
// status 0, leaves only its own files, gives the same output twice, and
// holds the words those readers find: the same words exactly when the
// document has no other stories, else among the words of its zones (the
// other stories' texts come where the readers do not put them).
TEST(WordFullReader, GeneratorFixturesConvertToTheReadersWords) {
  cxtestdir dir;
  std::string gen = std::string(KES_BINARY_DIR) + "/converters/word/tests/kes_wordgen";
  ASSERT_EQ(std::system((gen + " " + dir.path + " >/dev/null").c_str()), 0) << gen;
  int seen = 0;
  for (const std::string &f : dir.files()) {
    if (f.size() < 4 || f.substr(f.size() - 4) != ".doc" || f.rfind("word6", 0) == 0) continue;
    SCOPED_TRACE(f);
    seen++;
    std::string name = f.substr(0, f.size() - 4), doc = dir.get(f);
    wgen::kind k = f.rfind("mac", 0) == 0 ? wgen::mac5 : wgen::word2;
    ft::result r = full(k, bytes(doc.begin(), doc.end()));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.files, kleft);
    EXPECT_EQ(full(k, bytes(doc.begin(), doc.end())).out, r.out);
    std::string want = dir.get(name + ".words"), got = fixgen::words(r.out);
    if (name == "word2-fields") {
      // Dates, times and page numbers become records: their displayed
      // results are not text; index and contents entries are in their zones.
      for (const char *gone : {"7\n", "march\n", "1994\n", "15\n", "05\n", "1\n", "2\n"}) want.erase(want.find(gone), std::strlen(gone));
      EXPECT_EQ(fixgen::words(zonetext(r, 0)), want);
      continue;
    }
    if (name.find("stories") == std::string::npos) {
      EXPECT_EQ(got, want);
      continue;
    }
    // Zone by zone: a zone's text runs on into the next one's.
    got.clear();
    for (int code = 0; code <= 10; code++) got += fixgen::words(zonetext(r, code));
    std::vector<std::string> g, w;
    std::istringstream gs(got), ws(want);
    for (std::string x; gs >> x;) g.push_back(x);
    for (std::string x; ws >> x;) w.push_back(x);
    // The note's number is a record, not text; the annotation's text (its
    // paragraph not in the annotation style) runs on from the main text's
    // "remark" in the same zone.
    if (name == "word2-stories")
      for (const char *gone : {"1", "a", "remark"}) w.erase(std::find(w.begin(), w.end(), gone));
    std::sort(g.begin(), g.end());
    std::sort(w.begin(), w.end());
    EXPECT_TRUE(std::includes(g.begin(), g.end(), w.begin(), w.end())) << got << "\n--\n" << want;
  }
  EXPECT_GE(seen, 12);
}
