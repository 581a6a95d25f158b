// Fonts and character properties of the Word reader: the font table of each
// level, the old property bytes of levels 1-5, the character sprms of every
// level, and the character runs that generated documents of every level
// give in the intermediate format.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>

#include "converters/runtime/tests/fixgen.h"
#include "converters/word/tests/word6gen.h"
#include "converters/word/tests/wordgen.h"
#include "filters/framework/runtime/tests/cvtest.h"
#include "filters/readers/rdr.h"
#include "filters/word/tests/wwtest.h"

namespace {

using wgen::bytes;

std::string str(const bytes& b) { return std::string(b.begin(), b.end()); }

// The intermediate file (or text) of a document. A compound file goes
// through the framework's detection; the plain files of levels 1-5, which
// the detection gives to no Word reader, run the reader's entry directly.
std::string pull(const bytes& doc, bool text) {
  rdrregister();
  cvtesthost host(str(doc));
  convstate* st = host.open();
  bool plain = doc.size() < 2 || !(doc[0] == 0xD0 && doc[1] == 0xCF);
  if (plain) {
    if (convsetup(st) == -1) return "<fail>";
    if (cvguarded([&] { return wwrmain(st->run, st->argc, st->argv); }) != 0 || st->run->lost) return "<fail>";
    st->converted = 1;
  }
  return cvpullall(st, 777, text);
}
std::string comof(const bytes& doc) { return comshow(pull(doc, false)); }
std::string textof(const bytes& doc) { return pull(doc, true); }

bytes ole(const bytes& stream) {
  dft::bytes f = dft::write({{"WordDocument", dft::bytes(stream.begin(), stream.end())}});
  return bytes(f.begin(), f.end());
}

// ---------------------------------------------------------------- fonts

std::vector<std::string> fontnames(wwstate* w) {
  std::vector<std::string> out;
  for (int i = 0; i < wwfontcount(w); i++) out.push_back(wwfontname(w, i));
  return out;
}

using names = std::vector<std::string>;

TEST(WordFonts, TableOfEveryLevel) {
  struct Case {
    const char* what;
    wgen::kind k;
    int ver;
    std::vector<wgen::font> fonts;
    names want;
  } cases[] = {
      {"word6 adds the four", wgen::word6, 6, {{"Arial"}, {"Courier New"}},
       {"Arial", "Courier New", "Wingdings", "MS Linedraw", "Traditional Arabic", "System Hebrew"}},
      {"word6 knows wingdings in any case", wgen::word6, 6, {{"WINGDINGS"}, {"ms linedraw"}},
       {"WINGDINGS", "ms linedraw", "Traditional Arabic", "System Hebrew"}},
      {"word6 alternative name not taken", wgen::word6, 6, {{std::string("Mincho\0Alt", 10)}},
       {"Mincho", "Wingdings", "MS Linedraw", "Traditional Arabic", "System Hebrew"}},
      {"word2", wgen::word2, 2, {{"Arial"}, {"Tms Rmn"}}, {"Arial", "Tms Rmn", "Wingdings", "MS Linedraw"}},
      {"word1 starts at 3", wgen::word1, 1, {{"Arial"}},
       {"Times", "Symbol", "Helvetica", "Arial", "Wingdings", "MS Linedraw"}},
      {"mac5", wgen::mac5, 5, {{"Geneva", 0, 0, 3}, {std::string(70, 'x'), 0, 0, 77}, {"Times", 0, 0, 20}},
       {"Geneva", std::string(65, 'x'), "Times"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    wgen::spec s;
    s.k = c.k;
    s.pieces = {"text\r"};
    bytes b = wgen::stream(s);
    if (c.ver == 5) wgen::maclevel5(b);
    wgen::attach(b, c.k, wgen::fontfield(c.k), wgen::fonttable(c.k, c.fonts));
    wwtestrun r(str(b), c.ver);
    wwfibread(&r.w);
    wwfontread(&r.w);
    EXPECT_EQ(fontnames(&r.w), c.want);
  }
}

TEST(WordFonts, FamilyPitchAndDoubleByte) {
  std::vector<wgen::font> fonts;
  for (int f = 0; f < 6; f++) fonts.push_back({"F" + std::to_string(f), f, f == 1 ? 136 : 0});
  wgen::spec s{wgen::word6, {"x\r"}};
  bytes b = wgen::stream(s);
  wgen::attach(b, wgen::word6, 208, wgen::fonttable(wgen::word6, fonts));
  wwtestrun r(str(b), 6);
  wwfibread(&r.w);
  wwfontread(&r.w);
  const int fam[6] = {0, 1, 0, 1, 0, 0}, pitch[6] = {0, 1, 1, 0, 0, 0};
  for (int i = 0; i < 6; i++) {
    EXPECT_EQ(wwfontfam(&r.w, i), fam[i]) << i;
    EXPECT_EQ(wwfontpitch(&r.w, i), pitch[i]) << i;
    EXPECT_EQ(wwfontcs(&r.w, i), i == 1) << i;
  }
  EXPECT_EQ(wwfontfind(&r.w, "f3"), 3);
  EXPECT_EQ(wwfontfind(&r.w, "nowhere"), 0);
  EXPECT_EQ(wwfontknown(&r.w, "SYSTEM HEBREW"), 1);
  EXPECT_EQ(wwfontknown(&r.w, "nowhere"), 0);
  EXPECT_STREQ(wwfontname(&r.w, 999), "F0");  // out of range reads font 0
}

// A Word 2 entry whose name does not fill its area makes the table
// unreadable; Mac Word 4 names fonts by Mac number from its built-in list;
// a Mac Word 5 file without a table has no fonts, and a name lookup then
// answers an empty name.
TEST(WordFonts, FallbacksAndMacNumbers) {
  wgen::spec s{wgen::word2, {"x\n"}};
  bytes b = wgen::stream(s);
  std::string t = wgen::fonttable(wgen::word2, {{"Arial"}, {"Bad"}});
  t[t.size() - 1] = 'z';  // the last name runs to the end of its area
  wgen::attach(b, wgen::word2, 178, t);
  {
    wwtestrun r(str(b), 2);
    wwfibread(&r.w);
    wwfontread(&r.w);
    EXPECT_EQ(fontnames(&r.w), (names{"Times", "Symbol", "Helvetica", "Wingdings", "MS Linedraw"}));
  }
  s.k = wgen::mac5;
  b = wgen::stream(s);
  {
    wwtestrun r(str(b), 4);
    wwfibread(&r.w);
    wwfontread(&r.w);
    EXPECT_EQ(wwfontcount(&r.w), 30);
    EXPECT_STREQ(wwfontname(&r.w, 20), "Times");
    EXPECT_EQ(wwmacfont(&r.w, 20), 16);
    EXPECT_STREQ(wwfontname(&r.w, 200), "Chicago");
  }
  wgen::maclevel5(b);
  {
    wwtestrun r(str(b), 5);
    wwfibread(&r.w);
    wwfontread(&r.w);
    EXPECT_EQ(wwfontcount(&r.w), 0);
    EXPECT_STREQ(wwfontname(&r.w, 3), "");
  }
}

// ---------------------------------------------------------------- old property bytes

// A CHP with what a case expects: property, value (set flag 1).
using props = std::vector<std::pair<int, int32_t>>;

void expectprops(const wwstate* w, const wwchp& got, const props& want) {
  wwchp c;
  wwchpinit(const_cast<wwstate*>(w), &c);
  for (auto& p : want) wwchpset(&c, p.first, p.second);
  for (int i = 1; i <= WW_NCHP; i++) {
    EXPECT_EQ(wwchpv(&got, i), wwchpv(&c, i)) << "property " << i;
    EXPECT_EQ(wwchpisset(&got, i), wwchpisset(&c, i)) << "set flag " << i;
  }
}

TEST(WordChp, OldPropertyBytesPerLevel) {
  struct Case {
    const char* what;
    int ver;
    std::string chpx;  // without its count
    props want;
  } cases[] = {
      {"l1 bold italic hidden", 1, "\x83", {{WC_BOLD, 1}, {WC_ITALIC, 1}, {WC_HIDDEN, 1}}},
      {"l1 font byte", 1, std::string("\x00\x08\x05", 3), {{WC_FONT, 5}}},
      {"l1 font word", 1, std::string("\x00\x08\x05\x01", 4), {{WC_FONT, 0x105}}},
      {"l1 size pos spacing colour underline", 1, std::string("\x00\xF4\x00\x00\x18\xFA\x39\x25", 8),
       {{WC_SIZE, 24}, {WC_POS, -6}, {WC_SPACING, -35}, {WC_COLOR, 5}, {WC_ULINE, 2}}},
      {"l1 picture 24 bits", 1, std::string("\0\0\0\0\0\0\0\0\x01\x02\x03\x04", 12), {{WC_PICLOC, 0x030201}}},
      {"l2 deleted rtl", 2, std::string("\x04\x40", 2), {{WC_DELETED, 1}, {WC_RTL, 1}}},
      {"l2 count 5 font byte", 2, std::string("\x00\x00\x02\x00\x07", 5), {{WC_FONT, 7}}},
      {"l2 spacing 56", 2, std::string("\0\0\x20\0\0\0\0\0\x38", 9), {{WC_SPACING, 280}}},
      {"l2 colour underline pos lang", 2, std::string("\0\0\x59\0\0\0\0\0\0\x37\xF0\0\x09\x04", 14),
       {{WC_COLOR, 23}, {WC_ULINE, 1}, {WC_POS, -16}, {WC_LANG, 0x409}}},
      {"l2 count 15 sets the picture", 2, std::string(14, '\0') + "\x09", {{WC_PICLOC, 9}}},
      {"l3 bold no revision no colour", 3, std::string("\x80\xA0\0\0\0\0\0\xF0", 8), {{WC_BOLD, 1}}},
      {"l4 revision colour underline", 4, std::string("\x00\xA4\0\0\0\0\0\x52", 8),
       {{WC_RMARK, 1}, {WC_COLOR, 5}, {WC_ULINE, 1}}},
      {"l4 font size pos spacing", 4, std::string("\x01\x1B\x00\x16\x18\x03\xE4", 7),
       {{WC_HIDDEN, 1}, {WC_FONT, 22}, {WC_SIZE, 24}, {WC_POS, 3}, {WC_SPACING, -35}}},
      {"l4 size from b4", 4, std::string("\x00\x08\0\0\x18\0\0\0\x00\x30", 10), {{WC_SIZE, 24}}},
      {"l5 size from b8", 5, std::string("\x00\x08\0\0\x18\0\0\0\x00\x30", 10), {{WC_SIZE, 48}}},
      {"l5 special keeps b4", 5, std::string("\x00\x48\0\0\x18\0\0\0\x00\x30", 10),
       {{WC_SIZE, 24}, {WC_SPECIAL, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    wwtestrun r(std::string(1024, '\0'), c.ver);
    wwfibread(&r.w);
    wwchp chp;
    wwchpinit(&r.w, &chp);
    std::string x = std::string(1, static_cast<char>(c.chpx.size())) + c.chpx;
    wwchpxapply(&r.w, reinterpret_cast<const unsigned char*>(x.data()), &chp, -1, -1);
    expectprops(&r.w, chp, c.want);
  }
}

// ---------------------------------------------------------------- character sprms

TEST(WordChp, SprmToggles) {
  struct Case {
    int start, operand;
    int value, set;
  } cases[] = {{0, 0, 0, 1}, {1, 0, 0, 1}, {0, 1, 1, 1}, {0, 128, 0, 1}, {1, 128, 1, 1},
               {0, 129, 1, 1}, {1, 129, 0, 1}, {1, 2, 1, 0}, {0, 130, 0, 0}};
  for (int ver : {6, 5, 3, 2, 1}) {
    int code = ver == 6 ? 85 : ver == 3 ? 30 : 60;
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(ver) + "/" + std::to_string(c.start) + "/" + std::to_string(c.operand));
      wwtestrun r(std::string(1024, '\0'), ver);
      wwfibread(&r.w);
      wwchp chp;
      wwchpinit(&r.w, &chp);
      chp.v[0] = c.start;
      unsigned char list[] = {2, static_cast<unsigned char>(code), static_cast<unsigned char>(c.operand)};
      wwchpxsprm(&r.w, list, &chp, -1, -1);
      EXPECT_EQ(wwchpv(&chp, WC_BOLD), c.value);
      EXPECT_EQ(wwchpisset(&chp, WC_BOLD), c.set);
    }
  }
}

TEST(WordChp, SprmLists) {
  struct Case {
    const char* what;
    int ver;
    int lid;
    std::string list;  // without its count
    props want;
  } cases[] = {
      {"l6 reset clears colour", 6, 0, std::string("\x62\x05\x52\x00", 4),
       {{WC_BOLD, 0}, {WC_ITALIC, 0}, {WC_OUTLINE, 0}, {WC_STRIKE, 0}, {WC_SHADOW, 0}, {WC_SMALLCAPS, 0},
        {WC_CAPS, 0}, {WC_HIDDEN, 0}, {WC_ULINE, 0}, {WC_COLOR, 0}}},
      {"l3 reset keeps colour", 3, 0, std::string("\x1b", 1),
       {{WC_BOLD, 0}, {WC_ITALIC, 0}, {WC_OUTLINE, 0}, {WC_STRIKE, 0}, {WC_SHADOW, 0}, {WC_SMALLCAPS, 0},
        {WC_CAPS, 0}, {WC_HIDDEN, 0}, {WC_ULINE, 0}}},
      {"l6 size add clamps", 6, 0, std::string("\x6a\x00\xFE\xFF", 4), {{WC_SIZE, 32766}}},
      {"l6 size percent", 6, 0, std::string("\x6d\x96\x00", 3), {{WC_SIZE, 30}}},
      {"l6 rtl font before rtl", 6, 0, std::string("\x71\x00\x03\x00", 4), {}},
      {"l6 rtl then font and size", 6, 0, std::string("\x4f\x01\x00\x71\x00\x03\x00\x74\x00\x1c\x00", 11),
       {{WC_RTL, 1}, {WC_FONT, 3}, {WC_SIZE, 28}}},
      {"l6 symbol", 6, 0, std::string("\x4a\x00\x02\x00\xF0", 5),
       {{WC_SYMFONT, 2}, {WC_SYMCHAR, 0xF0}, {WC_SPECIAL, 1}}},
      {"l6 picture", 6, 0, std::string("\x44\x00\x10\x20\x00\x00", 6), {{WC_PICLOC, 0x2010}, {WC_SPECIAL, 1}}},
      {"l6 permutation", 6, 0, std::string("\x51\x08\x00\x00\x0a\x00\x0b\x00\x0c\x00\x0d\x00", 12),
       {{WC_CSTYLE, 12}}},
      {"l6 unknown code ends the list", 6, 0, std::string("\x56\x01\x40\x00\x55\x01", 6), {{WC_ITALIC, 1}}},
      {"l6 deleted underline colour language", 6, 0, std::string("\x41\x01\x5e\x03\x62\x11\x61\x07\x04", 9),
       {{WC_DELETED, 1}, {WC_ULINE, 3}, {WC_COLOR, 17}, {WC_LANG, 0x407}}},
      {"l6 super position spacing", 6, 0, std::string("\x68\x01\x65\xFA\xFF\x60\x14\x00", 8),
       {{WC_SUPSUB, 1}, {WC_POS, -6}, {WC_SPACING, 20}}},
      {"l5 knows 79", 5, 0, std::string("\x4f\x00\x00\x20\x3c\x01", 6), {{WC_SIZE, 32}, {WC_BOLD, 1}}},
      {"l4 does not", 4, 0, std::string("\x4f\x00\x00\x20\x3c\x01", 6), {}},
      {"l4 size byte and big-endian font", 4, 0, std::string("\x4a\x18\x44\x00\x16", 5), {{WC_SIZE, 24}, {WC_FONT, 22}}},
      {"l2 language size spacing code", 2, 0, std::string("\x48\x07\x04\x4a\x18\x00\x47\x39\x00", 9),
       {{WC_LANG, 0x407}, {WC_SIZE, 24}, {WC_SPACING, -35}}},
      {"l2 rtl no substitution", 2, 1025, std::string("\x56\x01", 2), {{WC_RTL, 1}}},
      {"l1 picture scales", 1, 0, std::string("\x5f\x00\x64\x00\xc8\x00", 6) + std::string(8, '\0'),
       {{WC_PICSX, 100}, {WC_PICSY, 200}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    wgen::spec s{c.ver == 6 ? wgen::word6 : wgen::word2, {"x\r"}};
    bytes b = wgen::stream(s);
    if (c.ver == 6)
      wgen::attach(b, wgen::word6, 208, wgen::fonttable(wgen::word6, {{"Arial"}, {"Wingdings"}}));
    // Four fonts at level 6: Arial, Wingdings, MS Linedraw, then the two added.
    wwtestrun r(c.ver == 6 ? str(b) : std::string(1024, '\0'), c.ver);
    wwfibread(&r.w);
    r.w.hdr->f[WWH_LID - 1] = c.lid;
    wwfontread(&r.w);
    wwchp chp;
    wwchpinit(&r.w, &chp);
    std::string x = std::string(1, static_cast<char>(c.list.size())) + c.list;
    wwchpxsprm(&r.w, reinterpret_cast<const unsigned char*>(x.data()), &chp, -1, -1);
    expectprops(&r.w, chp, c.want);
  }
}

// Right-to-left text takes the Arabic or Hebrew font by language, without
// setting the font's or the size's set flag.
TEST(WordChp, RightToLeftSubstitution) {
  struct Case {
    const char* what;
    int lid;
    std::string list;
    int rtl, font, size;
  } cases[] = {
      {"79 with 0 in an Arabic document", 1025, std::string("\x4f\x00\x00", 3), 0, 3, 24},
      {"114 Hebrew by operand", 0, std::string("\x72\x00\x0d\x04", 4), 1, 4, 20},
      {"79 in a Hebrew document", 1037, std::string("\x4f\x01\x00", 3), 1, 4, 20},
      {"left-to-right text keeps its font", 1025, std::string("\x5d\x01\x00", 3), 0, 1, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    wgen::spec s{wgen::word6, {"x\r"}};
    bytes b = wgen::stream(s);
    // Fonts: Arial, Wingdings, MS Linedraw, Traditional Arabic (3), System Hebrew (4).
    wgen::attach(b, wgen::word6, 208, wgen::fonttable(wgen::word6, {{"Arial"}, {"Wingdings"}}));
    wwtestrun r(str(b), 6);
    wwfibread(&r.w);
    r.w.hdr->f[WWH_LID - 1] = c.lid;
    wwfontread(&r.w);
    wwchp chp;
    wwchpinit(&r.w, &chp);
    std::string x = std::string(1, static_cast<char>(c.list.size())) + c.list;
    wwchpxsprm(&r.w, reinterpret_cast<const unsigned char*>(x.data()), &chp, -1, -1);
    EXPECT_EQ(wwchpv(&chp, WC_RTL), c.rtl);
    EXPECT_EQ(wwchpv(&chp, WC_FONT), c.font);
    EXPECT_EQ(wwchpv(&chp, WC_SIZE), c.size);
    EXPECT_EQ(wwchpisset(&chp, WC_SIZE), 0);
  }
}

TEST(WordChp, SprmLengths) {
  wwtestrun r(std::string(1024, '\0'), 6);
  wwfibread(&r.w);
  struct Case {
    int ver;
    std::string sprm;
    int len;
  } cases[] = {{6, "\x55", 2}, {6, "\x51\x06", 8}, {6, "\x67\x03", 5}, {6, "\x40", -1}, {6, "\x7d", -1},
               {6, "\x53", 1}, {5, "\x53\x04", 6}, {4, "\x53\x04", -1}, {3, "\x1b", 1}, {3, "\x2a", -1},
               {2, "\x35", 2}, {1, "\x35", -1}, {2, "\x5f", 14}, {1, "\x62", -1}};
  for (const Case& c : cases) {
    r.w.ver = c.ver;
    std::string p = c.sprm + std::string(4, '\0');
    EXPECT_EQ(wwsprmchpx(&r.w, reinterpret_cast<const unsigned char*>(p.data())), c.len)
        << c.ver << " " << static_cast<int>(static_cast<unsigned char>(c.sprm[0]));
  }
}

// ---------------------------------------------------------------- runs through the framework

// A level-6 document with bold, italic, underlined and font runs, its
// fonts stored.
bytes word6runs(size_t pad = 6000) {
  wgen::w6spec d;
  d.text = {wgen::word6, {"plain bold ital under mono\r"}, false, pad};
  d.chps = {{0, ""},
            {6, "\x55\x01"},
            {11, "\x56\x01"},
            {16, "\x5e\x01"},
            {22, std::string("\x5d\x01\x00", 3)},
            {26, ""}};
  bytes s = wgen::word6stream(d);
  wgen::attach(s, wgen::word6, 208, wgen::fonttable(wgen::word6, {{"Arial", 2}, {"Courier New", 1}}));
  return ole(s);
}

// The same words at every level: bold, italic, underlined and a font run.
bytes runsat(wgen::kind k, const std::string& bold, const std::string& ital, const std::string& under,
             const std::string& font) {
  char m = k == wgen::word1 || k == wgen::word2 ? '\n' : '\r';
  wgen::fullspec f;
  f.text = {k, {std::string("plain bold ital under mono") + m}};
  f.runs = {{0, ""}, {6, bold}, {11, ital}, {16, under}, {22, font}, {26, ""}};
  if (k == wgen::word1 || k == wgen::word2)
    f.tables.push_back({wgen::FONTS, wgen::fonttable(k, {{"Arial"}, {"Courier New"}})});
  return wgen::makefull(f);
}

TEST(WordRuns, AttributesAndFontsOfEveryLevel) {
  struct Case {
    const char* what;
    bytes doc;
    const char* font;
  } cases[] = {
      {"level 6", word6runs(), "Courier New"},
      {"level 6 in the mini stream", word6runs(0), "Courier New"},
      {"level 2", runsat(wgen::word2, "\x01", "\x02", std::string("\0\0\x08\0\0\0\0\0\0\x20", 10),
                         std::string("\0\0\x02\0\x01", 5)), "Courier New"},
      {"level 1", runsat(wgen::word1, "\x01", "\x02", std::string("\0\x20\0\0\0\0\0\x10", 8),
                         std::string("\0\x08\x04", 3)), "Courier New"},
      {"level 4", runsat(wgen::mac5, "\x80", "\x40", std::string("\0\x04\0\0\0\0\0\x02", 8),
                         std::string("\0\x10\0\x16", 4)), "Courier"},
      {"level 3", runsat(wgen::mac3, "\x80", "\x40", std::string("\0\x04\0\0\0\0\0\x02", 8),
                         std::string("\0\x10\0\x16", 4)), "Courier"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string com = comof(c.doc);
    EXPECT_NE(com.find("[BBT 500]bold [EBT]"), std::string::npos) << com;
    EXPECT_NE(com.find("[ITO 60]ital [ITF]"), std::string::npos) << com;
    EXPECT_TRUE(std::regex_search(com, std::regex("\\[BUL 0,1\\]under ?\\[EUL\\]"))) << com;
    EXPECT_TRUE(std::regex_search(com, std::regex(std::string("\\[SPF [^\\]]*,") + c.font + ",[^\\]]*\\]mono")))
        << com;
    EXPECT_EQ(fixgen::words(textof(c.doc)), "plain\nbold\nital\nunder\nmono\n");
  }
}

// Colour, raised text and deleted text at level 6: deleted text is kept
// out of the plain text; colour indexes past the table write no colour.
TEST(WordRuns, ColourRaisedAndDeleted) {
  wgen::w6spec d;
  d.text = {wgen::word6, {"red up gone grey odd\r"}, false, 6000};
  d.chps = {{0, "\x62\x06"}, {4, "\x68\x01"}, {7, "\x41\x01"}, {12, "\x62\x10"}, {17, "\x62\x11"}, {20, ""}};
  bytes doc = ole(wgen::word6stream(d));
  std::string com = comof(doc);
  EXPECT_TRUE(std::regex_search(com, std::regex("255,0,0[^\\]]*\\](\\[[^\\]]*\\])*red"))) << com;
  EXPECT_TRUE(std::regex_search(com, std::regex("192,192,192[^\\]]*\\](\\[[^\\]]*\\])*grey"))) << com;
  EXPECT_EQ(fixgen::words(textof(doc)), "red\nup\ngrey\nodd\n");
}

// The bin table and its pages: fewer pages listed than the text needs, an
// empty run, a run count past the page, an empty table.
TEST(WordRuns, BinTables) {
  // Five runs over three pages whose bin table lists the first page only.
  wgen::w6spec d;
  d.text = {wgen::word6, {"aa bb cc dd ee\r"}, false, 6000};
  d.chps = {{0, ""}, {3, "\x55\x01"}, {6, ""}, {9, "\x55\x01"}, {12, ""}};
  d.runsperpage = 2;
  bytes s = wgen::word6stream(d);
  auto at = [&](size_t off) { return static_cast<size_t>(s[off] | s[off + 1] << 8 | s[off + 2] << 16 | s[off + 3] << 24); };
  size_t bin = at(184), len = at(188), n = (len - 4) / 6;
  ASSERT_EQ(n, 3u);
  std::string one = std::string(s.begin() + bin, s.begin() + bin + 8) + std::string(s.begin() + bin + 4 * (n + 1),
                                                                                   s.begin() + bin + 4 * (n + 1) + 2);
  wgen::attach(s, wgen::word6, 184, one);
  std::string com = comof(ole(s));
  EXPECT_NE(com.find("[BBT 500]bb [EBT]"), std::string::npos) << com;
  EXPECT_NE(com.find("[BBT 500]dd [EBT]"), std::string::npos) << com;

  // An empty bin table and an absent one: the defaults everywhere.
  for (std::string t : {std::string(), std::string(4, '\0')}) {
    bytes e = wgen::word6stream(d);
    wgen::put(e, 188, t.size(), 4, false);
    std::string c2 = comof(ole(e));
    EXPECT_EQ(c2.find("[BBT"), std::string::npos) << c2;
    EXPECT_EQ(fixgen::words(textof(ole(e))), "aa\nbb\ncc\ndd\nee\n");
  }

  // Level 2: a run whose first and limit are equal is not stored, and a run
  // count of 255 stops at what the page holds.
  wgen::fullspec f;
  f.text = {wgen::word2, {"one two\n"}};
  f.runs = {{0, ""}, {4, "\x02"}, {4, "\x01"}};
  std::string c3 = comof(wgen::makefull(f));
  EXPECT_NE(c3.find("[BBT 500]two"), std::string::npos) << c3;
  EXPECT_EQ(c3.find("[ITO"), std::string::npos) << c3;
  f.runcount = 255;
  EXPECT_EQ(fixgen::words(textof(wgen::makefull(f))), "one\ntwo\n");
}

// A Word 97 document (written by LibreOffice) has a "WordDocument" stream
// too, under another identifier: the pull fails at once rather than read it
// with Word 6 offsets.
TEST(WordRuns, Word97IsRefused) {
  FILE* f = std::fopen((std::string(KES_SOURCE_DIR) + "/filters/word/tests/fixtures/word97.doc").c_str(), "rb");
  ASSERT_NE(f, nullptr);
  bytes doc;
  for (int c; (c = std::fgetc(f)) != EOF;) doc.push_back(static_cast<uint8_t>(c));
  std::fclose(f);
  EXPECT_EQ(textof(doc), "<fail>");
}

// Damaged runs and fonts end with a status or a text.
TEST(WordRuns, DamagedTables) {
  bytes good = word6runs();
  wgen::w6spec d;
  d.text = {wgen::word6, {"plain bold\r"}, false, 6000};
  d.chps = {{0, std::string("\x40\x40\x40", 3)}, {6, std::string(255, '\x51')}};
  bytes s = wgen::word6stream(d);
  wgen::attach(s, wgen::word6, 208, std::string("\xFF\xFF\xFF\xFF", 4));
  EXPECT_EQ(fixgen::words(textof(ole(s))), "plain\nbold\n");
  // A bin table past the stream counts as absent; pages past it end loading.
  bytes p = wgen::word6stream(d);
  wgen::put(p, 184, 0x7FFFFF00, 4, false);
  EXPECT_EQ(fixgen::words(textof(ole(p))), "plain\nbold\n");
  p = wgen::word6stream(d);
  size_t bin = p[184] | p[185] << 8 | p[186] << 16;
  wgen::put(p, bin + 8, 0xFFFF, 2, false);
  EXPECT_EQ(fixgen::words(textof(ole(p))), "plain\nbold\n");
  // Truncated level-2 and level-6 documents with runs and fonts.
  bytes l2 = runsat(wgen::word2, "\x01", "\x02", "\x04", "\x08");
  for (size_t cut = 300; cut < l2.size(); cut += 97) (void)textof(bytes(l2.begin(), l2.begin() + cut));
  bytes s6 = wgen::word6stream(d);
  for (size_t cut = 500; cut < s6.size(); cut += 331) (void)textof(ole(bytes(s6.begin(), s6.begin() + cut)));
  (void)good;
}

}  // namespace

namespace {

// Writes the generated documents of this file as seeds of the fuzz target
// when WW_CORPUS names a folder; otherwise does nothing.
TEST(WordRuns, SeedCorpus) {
  const char* dir = std::getenv("WW_CORPUS");
  if (!dir) GTEST_SKIP();
  struct Seed {
    const char* name;
    bytes doc;
  } seeds[] = {
      {"word6-runs.doc", word6runs()},
      {"word6-runs-mini.doc", word6runs(0)},
      {"word2-runs.doc", runsat(wgen::word2, "\x01", "\x02", std::string("\0\0\x08\0\0\0\0\0\0\x20", 10),
                                std::string("\0\0\x02\0\x01", 5))},
      {"word1-runs.doc", runsat(wgen::word1, "\x01", "\x02", std::string("\0\x20\0\0\0\0\0\x10", 8),
                                std::string("\0\x08\x04", 3))},
      {"mac4-runs.doc", runsat(wgen::mac5, "\x80", "\x40", std::string("\0\x04\0\0\0\0\0\x02", 8),
                               std::string("\0\x10\0\x16", 4))},
      {"mac3-runs.doc", runsat(wgen::mac3, "\x80", "\x40", std::string("\0\x04\0\0\0\0\0\x02", 8),
                               std::string("\0\x10\0\x16", 4))},
  };
  for (const Seed& s : seeds) {
    FILE* f = std::fopen((std::string(dir) + "/" + s.name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(s.doc.data(), 1, s.doc.size(), f);
    std::fclose(f);
  }
}

}  // namespace
