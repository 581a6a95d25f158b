// Word documents of every level pulled through the framework as plain text:
// the words come back in order, the version is taken from the signature,
// and what the reader cannot or must not read ends the pull at once.
#include <gtest/gtest.h>

#include <string>

#include "converters/runtime/tests/fixgen.h"
#include "converters/word/tests/wordgen.h"
#include "filters/framework/runtime/tests/cvtest.h"
#include "filters/readers/rdr.h"
#include "filters/word/ww.h"

namespace {

struct WordPull : ::testing::Test {
  void SetUp() override { rdrregister(); }
};

// The framework finds only level 6 (format 49) by itself; the plain files
// of levels 1-5 come as text (1) or as format 44, so their pulls run the
// reader's entry in place of those formats' readers.
std::string pulled(const wgen::bytes& doc, int len = 777) {
  cvreaderscope text(1, wwrmain), w12(44, wwrmain);
  cvtesthost host(std::string(doc.begin(), doc.end()));
  return cvpullall(host.open(), len, true);
}

// The words of a pulled text, lower-cased, one a line.
std::string words(const std::string& s) { return fixgen::words(s); }

// The paragraph mark of each kind of file.
char mark(wgen::kind k) { return k == wgen::word1 || k == wgen::word2 ? '\n' : '\r'; }

TEST_F(WordPull, EveryLevelGivesItsWords) {
  struct Case {
    wgen::kind k;
    size_t padto;
  } cases[] = {{wgen::word1, 0}, {wgen::word2, 0}, {wgen::mac3, 0}, {wgen::mac5, 0},
               {wgen::word6, 0}, {wgen::word6, 6000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.k));
    char m = mark(c.k);
    std::string text = std::string("Hello world") + m + "second\tpara here" + m + "last" + m;
    wgen::spec s;
    s.k = c.k;
    s.pieces = {text};
    s.padto = c.padto;
    std::string got = pulled(wgen::make(s));
    EXPECT_EQ(words(got), "hello\nworld\nsecond\npara\nhere\nlast\n") << got;
  }
}

// Level 2 ends paragraphs with 10; the 13 before it is no mark and no text.
// Inside level-6 text a 10 is no mark either.
TEST_F(WordPull, MarksOfTheLevel) {
  wgen::spec s;
  s.k = wgen::word2;
  s.pieces = {"A\r\nB\r\n"};
  EXPECT_EQ(words(pulled(wgen::make(s))), "a\nb\n");
  s.k = wgen::word6;
  s.pieces = {"A\nB\rC\r"};
  EXPECT_EQ(words(pulled(wgen::make(s))), "ab\nc\n");
}

// Special characters: cell mark 7 and page mark 12 end words, field marks
// (19-21) and other controls write nothing, 30 is a hyphen that does not
// break, and 160 a blank.
TEST_F(WordPull, SpecialCharacters) {
  wgen::spec s;
  s.k = wgen::word6;
  s.pieces = {"a\x07" "b\x0c" "c\x13" "d\x14" "e\x15" "f\x1e" "g\xa0" "h\r"};
  std::string got = pulled(wgen::make(s));
  EXPECT_EQ(words(got), "a\nb\ncdef\ng\nh\n") << got;
  EXPECT_NE(got.find("cdef-g h"), std::string::npos) << got;
}

// Fast-saved documents: the pieces are stored last first, so only the
// piece table puts the words in order; they come back as the words of the
// same text saved plainly.
TEST_F(WordPull, FastSavedInTextOrder) {
  struct Case {
    wgen::kind k;
    std::vector<std::string> pieces;
  } cases[] = {{wgen::word6, {"Hello", " ", "world\r"}},
               {wgen::word2, {"Hello", " ", "world\n"}},
               {wgen::word6, {"one par", "a two\rthree\r"}},  // a boundary inside a paragraph
               {wgen::mac5, {"Hello", " world\r"}},
               {wgen::word6, {"only piece\r"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.k));
    wgen::spec s;
    s.k = c.k;
    s.pieces = c.pieces;
    s.complex = true;
    std::string fast = words(pulled(wgen::make(s)));
    s.complex = false;
    std::string plain = words(pulled(wgen::make(s)));
    EXPECT_EQ(fast, plain);
    EXPECT_NE(fast, "");
  }
  // A level-1 file with the complex flag and no Clx is read as it stands.
  wgen::spec s;
  s.k = wgen::word1;
  s.pieces = {"Hello world\n"};
  wgen::bytes b = wgen::make(s);
  b[10] |= 0x04;
  EXPECT_EQ(words(pulled(b)), "hello\nworld\n");
}

// A later version's stream under the same name is refused, as is an
// encrypted document of level 2 or 6 (but not of level 1, which has no
// such bit).
TEST_F(WordPull, RefusedIdentifiersAndEncryption) {
  wgen::spec s;
  s.k = wgen::word6;
  s.pieces = {"secret words\r"};
  wgen::bytes b = wgen::stream(s);
  b[0] = 0xEC;  // the identifier of the next version
  EXPECT_EQ(pulled(dft::write({{"WordDocument", b}})), "<fail>");

  for (wgen::kind k : {wgen::word1, wgen::word2, wgen::word6}) {
    s.k = k;
    s.pieces = {std::string("secret words") + mark(k)};
    b = wgen::stream(s);
    b[11] |= 0x01;
    wgen::bytes doc = k == wgen::word6 ? dft::write({{"WordDocument", b}}) : b;
    std::string got = pulled(doc);
    if (k == wgen::word1)
      EXPECT_EQ(words(got), "secret\nwords\n");
    else
      EXPECT_EQ(got, "<fail>");
  }
}

// Damaged files end at once with a status or with what text there is.
TEST_F(WordPull, DamagedInput) {
  wgen::spec s;
  s.k = wgen::word2;
  s.pieces = {"some text here\n"};
  wgen::bytes good = wgen::make(s);
  for (size_t cut : {2u, 11u, 40u, 200u, 390u}) {
    wgen::bytes b(good.begin(), good.begin() + cut);
    (void)pulled(b);  // no hang, no fault under the sanitizers
  }
  // A Word 6 stream cut inside its header, or its text, ends the pull too.
  s.k = wgen::word6;
  s.pieces = {"some text here\r"};
  wgen::bytes w6 = wgen::stream(s);
  for (size_t cut : {3u, 30u, 520u}) {
    wgen::bytes b(w6.begin(), w6.begin() + cut);
    (void)pulled(dft::write({{"WordDocument", b}}));
  }
  // A text length far past the end of the file stops at the end.
  wgen::bytes b = good;
  wgen::put(b, 0x34, 0x7FFFFF00, 4, false);
  EXPECT_EQ(words(pulled(b)), "some\ntext\nhere\n");
  // Tables placed past the end count as absent.
  b = good;
  wgen::put(b, 274, 0x10000000, 4, false);
  wgen::put(b, 278, 0xFFFF, 2, false);
  EXPECT_EQ(words(pulled(b)), "some\ntext\nhere\n");
}

}  // namespace
