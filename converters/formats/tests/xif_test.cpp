// The XIF converter through the converter table, on documents written token
// by token: identification, groups and their line ends, alignment, the end
// of the token stream, and the characters of text strings (sets, 16-bit
// pairs, accents, ligatures, code pages).
#include <string>

#include "converters/formats/tests/fmttest.h"
#include "converters/formats/xif.h"

namespace {

using ft::result;

constexpr int XIF = 13;

// A document written token by token; every token starts at an even offset,
// so a pad byte goes before a token that would start at an odd one.
struct doc {
  std::string b;
  char pad = 0;
  doc &tok(const std::string &t) {
    if (b.size() & 1) b += pad;
    b += t;
    return *this;
  }
  doc &id(const std::string &text = "MDI/XIF6.0") { return tok("\x8F" + std::string(1, char(text.size())) + text); }
  doc &str(const std::string &text) { return tok("\x80" + std::string(1, char(text.size())) + text); }
  doc &begin(int g) { return tok(std::string("\xFF") + char(g)); }
  doc &end(int g) { return tok(std::string("\xF0") + char(g)); }
  // A group around one string.
  doc &group(int g, const std::string &text) { return begin(g).str(text).end(g); }
};

result run(const std::string &d) { return ft::run(XIF, d); }
result run(const doc &d) { return run(d.b); }

TEST(Xif, TokensAndGroupsGiveTheText) {
  doc odd;
  odd.pad = 'Z';  // read over by the alignment, never as a token
  odd.id("MDI/X").group(70, "abc").group(70, "de");
  struct {
    const char *name;
    std::string doc;
    std::string want;
  } cases[] = {
      {"the smallest document", doc().id().group(70, "Hello").b, "MDI/XIF6.0Hello\r\n"},
      {"identification alone", doc().id().b, "MDI/XIF6.0"},
      {"lower-case identification", doc().id("mdi/x").b, "mdi/x"},
      {"strings in group 70 each end a line", doc().id("MDI/").begin(70).str("a").str("b").end(70).b,
       "MDI/a\r\nb\r\n"},
      {"and in groups 72, 74, 76, 77",
       doc().id("MDI/").group(72, "a").group(74, "b").group(76, "c").group(77, "d").b,
       "MDI/a\r\nb\r\nc\r\nd\r\n"},
      {"nested groups inside group 70", doc().id("MDI/").begin(70).group(5, "a").str("b").end(70).str("c").b,
       "MDI/a\r\nb\r\nc"},
      {"strings of group 71 back to back", doc().id("MDI/").begin(71).str("a").str("b").end(71).b, "MDI/ab"},
      {"group 19 breaks before and after", doc().id("MDI/").group(19, "a").str("b").b, "MDI/\r\na\r\nb"},
      {"groups 20 to 22 as well", doc().id("MDI/").group(20, "a").group(21, "b").group(22, "c").b,
       "MDI/\r\na\r\n\r\nb\r\n\r\nc\r\n"},
      {"group 24 gives no line end", doc().id("MDI/").group(24, "a").str("b").b, "MDI/ab"},
      {"a 16-bit counted string", doc().id("MDI/").tok(std::string("\xF1\x00\x00\x03xyz", 7)).b, "MDI/xyz"},
      {"tokens at odd offsets start one later", odd.b, "MDI/Xabc\r\nde\r\n"},
      {"operands of other tokens are skipped",
       doc().id("MDI/").tok("\x05q").tok("\x45q").tok(std::string("\x81\x02qq")).tok(std::string("\xA1\x01qq"))
           .tok(std::string("\xB1\x01qqqq")).tok(std::string("\xC1\x01qq")).tok(std::string("\xF2\x01qq"))
           .tok(std::string("\xF4\x01qqqq")).tok(std::string("\xF6\x01\x00\x01qq", 6)).tok(std::string(1, '\0'))
           .str("end").b,
       "MDI/end"},
      {"operators 2, 3, 5 of group 77 and 4 of group 74",
       doc().id("MDI/").begin(77).tok("\x02q").tok("\x03q").tok("\x05q").str("a").end(77).b, "MDI/a\r\n"},
      {"a token 0x90 ends the output", doc().id("MDI/").str("a").tok("\x90\x00").str("b").b, "MDI/a"},
      {"and so does 0xFE", doc().id("MDI/").str("a").tok("\xFE\x00").str("b").b, "MDI/a"},
      {"top-level operators 56 and 57 do not", doc().id("MDI/").tok("\x38q").tok("\x39q").str("b").b, "MDI/b"},
      {"an end of group without a begin", doc().id("MDI/").end(3).str("b").b, "MDI/b"},
      {"cut inside group 77", doc().id("MDI/").begin(77).str("a").str("b").b.substr(0, 12), "MDI/a\r\n"},
      {"cut inside a string: missing bytes read as 0xFF", doc().id("MDI/").str("abcd").b.substr(0, 10), "MDI/ab"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::expectagain(XIF, c.doc, c.want);
  }
}

TEST(Xif, OnlyXifIdentificationsAreAccepted) {
  for (std::string bad : {std::string("\x8F\x0AMDI\\XIF6.0"), std::string("\x8E\x0AMDI/XIF6.0"),
                          std::string("MDI/XIF6.0"), std::string("\x8F\x0AMD"), std::string()}) {
    SCOPED_TRACE(bad);
    ft::expect(run(bad), CX_NOTFMT, "", &ft::kinout);
  }
}

TEST(Xif, OptionsChooseLineEndAndCodePage) {
  std::string d = doc().id("MDI/").group(70, "a\xA2").b;
  ft::expectoptions(cvtxifst, xifnewst, d,
                    {{"0", "MDI/a\xA2\r\n"}, {"0x", "MDI/a\xA2\n"}, {"0m", "MDI/a\xA2\n\r"}, {"0a0437", "MDI/a\x9B\r\n"}});
}

// Characters of text strings: set selections, 16-bit pairs, accents waiting
// for their base, ligatures, and conversion into code page 819.
TEST(Xif, StringCharactersReachTheOutputCodePage) {
  struct {
    const char *name;
    std::string bytes;
    std::string want;
  } cases[] = {
      {"16-bit pair 00 41", std::string("\xFF\xFF\x00\x00\x41", 5), "A"},
      {"pairs and a set selection back to 8-bit", std::string("\xFF\xFF\x00\x00H\x00i\xFF\xF0\x24x", 11), "Hifi"},
      {"FF FF 05 is a bad escape: set 0, 8-bit", std::string("\xFF\xFF\x05" "B"), "B"},
      {"FF FF FF is a bad escape too", std::string("\xFF\xFF\xFF" "C"), "C"},
      {"the fl ligature", "\xFF\xF0\x25", "fl"},
      {"F0 26 has nothing", "\xFF\xF0\x26", ""},
      {"the IJ of set 0", "\xE6\xF6", "IJij"},
      {"set 0 0xA2 is a cent sign", "\xA2\xB0\xFB", "\xA2\xB0\xDF"},
      {"DEL stays", "\x7F", "\x7F"},
      {"control codes write nothing", "a\tb\x01", "ab"},
      {"13 and 29 end lines", "a\rb\x1D" "c", "a\r\nb\r\nc"},
      {"an accent combines with its base", "\xC2" "e\xC8" "u\xC1" "A", "\xE9\xFC\xC0"},
      {"an accent without a pair leaves the base", "\xC2x", "x"},
      {"an accent before a character of the upper half", "\xC2\xA3", "\xA3"},
      {"an accent in set 0xFD", std::string("\xFF\xFF\x00\xFD\xC2\x00" "e", 7), "\xE9"},
      {"an accent waits across strings", "", "\xE9"},
      {"a Greek accent and letter", "\xFF\x26\xC1\x41", "_"},
      {"Cyrillic", "\xFF\x27\x21", "_"},
      {"accented letters of set 0xF1", "\xFF\xF1\x21\x25", "\xC0" "A"},
      {"a box line", "\xFF\x28\x21", "-"},
      {"a set nothing maps", "\xFF\x50\x41", ""},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    doc d;
    d.id("MDI/");
    if (c.bytes.empty())
      d.str("\xC2").str("e");
    else
      d.str(c.bytes);
    ft::expect(run(d), 0, "MDI/" + c.want);
  }
}

// The rows of the character table that the conversions above cannot show,
// and its order, which the table's search relies on.
TEST(Xif, CharacterTableKeepsItsTellingRows) {
  for (int i = 1; i < xifnchars; i++) EXPECT_LT(xifchars[i - 1].key, xifchars[i].key) << i;
  struct {
    uint32_t key;
    int cp, ch;
  } rows[] = {{0x00A2FFFF, 437, 0x9B}, {0x00A3FFFF, 437, 0x9C}, {0x00B0FFFF, 437, 0xF8},
              {0x006500C2, 437, 0x82}, {0x2721FFFF, 866, 0x80}, {0xF121FFFF, 819, 0xC0},
              {0xF125FFFF, 437, 0x41}};
  for (auto &r : rows) {
    SCOPED_TRACE(r.key);
    const xifchar *e = nullptr;
    for (int i = 0; i < xifnchars; i++)
      if (xifchars[i].key == r.key) e = &xifchars[i];
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->cp, r.cp);
    EXPECT_EQ(e->ch, r.ch);
  }
}

TEST(Xif, DeepGroupsAndLongStringsStayBounded) {
  doc deep;
  deep.id("MDI/");
  for (int i = 0; i < 40000; i++) deep.begin(5);
  deep.str("deep");
  doc grp;
  grp.id("MDI/").begin(70);
  for (int i = 0; i < 40000; i++) grp.begin(5);
  grp.str("x");
  struct {
    const char *name;
    std::string doc;
    std::string want;
  } cases[] = {
      {"groups nested beyond a scratch stream's buffer", deep.b, "MDI/deep"},
      {"the same inside group 70, cut", grp.b, "MDI/x\r\n"},
      {"a string longer than the file", doc().id("MDI/").b + std::string("\xF1\x00\xFF\xFF" "ab", 6), "MDI/ab"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::expect(run(c.doc), 0, c.want, &ft::kinout);
  }
}

TEST(Xif, FrameFailures) { ft::framefailures(XIF, doc().id().b); }

}  // namespace
