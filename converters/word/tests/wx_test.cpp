// The Word converters through the converter table: documents written byte by
// byte convert to the expected text; line ends, characters and fields follow
// each format's filter; and every run leaves only its input and output.
#include <string>
#include <vector>

#include "converters/word/tests/wxtest.h"

namespace {

using namespace wxt;

std::string lines(int n) {
  std::string s;
  for (int i = 0; i < n; i++) s += "Line " + std::to_string(i) + " of a longer text.\r";
  return s;
}

std::string crlf(std::string s) {
  std::string out;
  for (char c : s) out += c == '\r' ? std::string("\r\n") : std::string(1, c);
  return out;
}

TEST(WordExtract, GeneratedDocumentsConvertToTheirText) {
  const std::string hello = "Hello\r", world = "World\r", both = "Hello\r\nWorld\r\n";
  const std::string big = lines(200);  // a Word 6 stream over 4096 bytes: big blocks
  struct {
    const char *name;
    wgen::spec spec;
    std::string want;
  } cases[] = {
      {"word 2.0", {wgen::word2, {hello, world}}, both},
      {"word 2.0 fast-saved", {wgen::word2, {hello, world}, true}, both},
      {"word 1.x", {wgen::word1, {hello, world}}, both},
      {"word 1.x fast-saved", {wgen::word1, {hello, world}, true}, both},
      {"mac word 4/5", {wgen::mac5, {hello, world}}, both},
      {"mac word 4/5 fast-saved", {wgen::mac5, {hello, world}, true}, both},
      {"mac word 3", {wgen::mac3, {hello, world}}, both},
      {"mac word 3 fast-saved", {wgen::mac3, {hello, world}, true}, both},
      {"word 6 mini stream", {wgen::word6, {hello, world}}, both},
      {"word 6 mini stream fast-saved", {wgen::word6, {hello, world}, true}, both},
      {"word 6 big blocks", {wgen::word6, {big, world}}, crlf(big) + "World\r\n"},
      {"word 6 big blocks fast-saved", {wgen::word6, {big, world}, true}, crlf(big) + "World\r\n"},
      {"word 6 padded past 4096", {wgen::word6, {hello, world}, false, 6000}, both},
      {"empty text", {wgen::word2, {""}}, ""},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::expect(run(c.spec), 0, c.want, &kinout);
  }
}

TEST(WordExtract, CharactersAndLineEndsFollowEachFormatsFilter) {
  struct {
    const char *name;
    wgen::kind k;
    std::string text, want;
  } cases[] = {
      // Word 1.x/2.0: CR, LF and CR LF each become one CR LF.
      {"crlf", wgen::word2, "a\r\nb\r\n", "a\r\nb\r\n"},
      {"lone lf", wgen::word2, "a\nb", "a\r\nb"},
      {"lone cr", wgen::word2, "a\rb", "a\r\nb"},
      {"cr cr", wgen::word2, "a\r\rb", "a\r\n\r\nb"},
      {"ends in a lone cr", wgen::word2, "a\r", "a\r\n"},
      {"line, page and column breaks", wgen::word2, "a\x0B" "b\x0C" "c\x0E" "d", "a\r\nb\r\nc\r\nd"},
      {"spaces and hyphen", wgen::word2, "a\x07" "b\xA0" "c\x1E" "d", "a b c-d"},
      {"control bytes dropped", wgen::word2, std::string("a\x01\x08\x0F\x1F\0b", 7), "ab"},
      {"high bytes unchanged", wgen::word2, "caf\xE9 \x95", "caf\xE9 \x95"},
      // Word 6: CR, 11, 12 and 14 are line ends; LF is dropped.
      {"word 6 cr", wgen::word6, "A\rB\r", "A\r\nB\r\n"},
      {"word 6 lf dropped", wgen::word6, "A\nB\r\nC", "AB\r\nC"},
      {"word 6 breaks", wgen::word6, "a\x0B" "b\x0C" "c\x0E", "a\r\nb\r\nc\r\n"},
      {"word 6 spaces and hyphen", wgen::word6, "a\x07" "b\xA0" "c\x1E" "d\x01", "a b c-d"},
      // Mac Word: Macintosh characters to code page 819.
      {"mac line ends", wgen::mac5, "a\rb\nc\x0B" "d", "a\r\nbc\r\nd"},
      {"mac quotes and dashes", wgen::mac5, "\xD2q\xD3 \xD5 x\xD1y", "\"q\" ' x-y"},
      {"mac spaces", wgen::mac5, "a\xCA" "b\x07" "c", "a b c"},
      {"mac accents", wgen::mac5, "caf\x8E na\x95ve", "caf\xE9 na\xEFve"},
      {"mac dropped", wgen::mac5, "a\xA5" "b\xA6" "c\x13" "d", "abcd"},
      // A character code page 819 lacks comes out as "_", not as a NUL byte.
      {"mac without an equivalent", wgen::mac5, "x\xB0y", "x_y"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::expect(run({c.k, {c.text}}), 0, c.want);
  }
}

TEST(WordExtract, FieldsGiveOneCharacterAndTheirResult) {
  const std::string symbol = "\x13SYMBOL 183 \\f \"Symbol\" \\s 10 \\h\x15";
  struct {
    const char *name;
    std::string text, want;
  } cases[] = {
      // The symbol font's 183 is the bullet, 149 in code page 819.
      {"symbol", "a" + symbol + "b", "a\x95" "b"},
      {"symbol with a separator", "\x13SYMBOL 183 \\f \"Symbol\"\x14r\x15", "\x95r"},
      {"symbol in a font starting with M", "\x13SYMBOL 130 \\f \"MS Serif\"\x15", "\xE9"},
      {"leading space", "a\x13 SYMBOL 183 \\f \"Symbol\"\x15" "b", "a b"},
      {"lower case", "\x13symbol 183 \\f \"Symbol\"\x15", " "},
      {"other font letter", "\x13SYMBOL 65 \\f \"Wingdings\"\x15", "_"},
      {"no font name", "\x13SYMBOL 65\x15", "_"},
      {"no number", "\x13SYMBOL \\f \"Symbol\"\x15", "_"},
      {"control character", "\x13SYMBOL 9 \\f \"Symbol\"\x15", "_"},
      {"number past a character", "\x13SYMBOL 321 \\f \"MS Serif\"\x15", "_"},
      {"number past any integer", "\x13SYMBOL 99999999999999999999999 \\f \"Symbol\"\x15", "_"},
      {"other field and its result", "p\x13PAGE \\* roman\x14xii\x15q", "p xiiq"},
      {"field without a separator", "\x13PAGE\x15", " "},
      {"nested begin joins the code", "\x13REF \x13INNER\x14x\x15y\x14z\x15", " xyz"},
      {"text ends inside a field code", "a\x13PAGE", "a"},
  };
  for (wgen::kind k : {wgen::word2, wgen::word6}) {
    for (auto &c : cases) {
      SCOPED_TRACE(std::string(c.name) + (k == wgen::word6 ? " (word 6)" : ""));
      ft::expect(run({k, {c.text}}), 0, c.want, &kinout);
    }
  }
  // Mac Word has no fields: their bytes are dropped and the code is text.
  EXPECT_EQ(run({wgen::mac5, {"a" + symbol + "b"}}).out, "aSYMBOL 183 \\f \"Symbol\" \\s 10 \\hb");
}

// A field code longer than a scratch stream's buffer spills to a temporary
// file in the output's folder; the file is gone after the run.
TEST(WordExtract, LongFieldCodeSpillsAndLeavesNothing) {
  std::string code = "\x13SYMBOL 183 \\f \"Symbol\"" + std::string(70000, 'x') + "\x15";
  ft::expect(run({wgen::word2, {"a" + code + "b"}}), 0, "a\x95" "b", &kinout);
}

// The option string is "0" in every run of this system; a caller that sets
// it chooses the line ends (second character) and the code page (3-6).
TEST(WordExtract, OptionStringChoosesLineEndsAndCodePage) {
  struct {
    const char *opt;
    std::string want;
  } cases[] = {
      {"0", "a\r\nb\r\n\r\n\xE9"},
      {"0x", "a\nb\n\xE9"},
      {"0M", "a\rb\r\r\xE9"},
      {"0q", "a\r\nb\r\n\r\n\xE9"},
      {"0a0437", "a\r\nb\r\n\r\n\x82"},
      {"0x0850", "a\nb\n\x82"},
      {"0a043", "a\r\nb\r\n\r\n\xE9"},
  };
  // SYMBOL 130 in a font starting with M is code page 437's e-acute.
  const std::string text = "a\r\nb\r\x0B\x13SYMBOL 130 \\f \"MS\"\x15";
  for (auto &c : cases) {
    SCOPED_TRACE(c.opt);
    ft::expect(ft::runst(cvtword2st, w2newst, docstr(wgen::make({wgen::word2, {text}})), {c.opt}), 0, c.want);
  }
}

// Compound documents other programs wrote: a Word 6 stream wrapped by
// another compound-file writer converts; Word 97 documents (LibreOffice's
// .doc) are not Word 6 and end with 9; files without the stream with 1.
TEST(WordExtract, CompoundDocumentsOfOtherWriters) {
  std::string want;
  for (int i = 0; i < 150; i++)
    want += i % 2 ? "Pack my box with five dozen liquor jugs.\r\n" : "The quick brown fox jumps over the lazy dog.\r\n";
  ft::expect(run(WORD6, fixture("gsf-word6.doc")), 0, want);
  struct {
    const char *file;
    int status;
  } cases[] = {{"small.doc", 9}, {"table.doc", 9}, {"medium.doc", 9}, {"mid.doc", 9},
               {"sheet.xls", 1}, {"slides.ppt", 1}};
  for (auto &c : cases) EXPECT_EQ(run(WORD6, fixture(c.file)).status, c.status) << c.file;
}

}  // namespace
