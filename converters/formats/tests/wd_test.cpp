// The Word for DOS converter through the converter table, on documents
// written byte by byte: the text between header and end of text, control
// characters, the line character and optional hyphen, code pages, headers.
#include <string>

#include "converters/formats/tests/fmttest.h"
#include "converters/formats/tests/wdgen.h"

namespace {

using ft::result;

constexpr int WORDDOS = 2;

TEST(WordDos, TextFollowsTheCharacterRules) {
  struct {
    const char *name;
    wdgen::spec spec;
    std::string want;
  } cases[] = {
      {"paragraphs: the CR writes nothing", {"Hello\r\nWorld\r\n"}, "Hello\r\nWorld\r\n"},
      {"tab and the other line ends", {"a\tb\x0b" "c\x0c" "d\x0e" "e"}, "a\tb\r\nc\r\nd\r\ne"},
      {"other control bytes write nothing", {std::string("a\x01\x1f\x7f\0b", 6)}, "ab"},
      {"0xFF is a space", {"a\xff" "b"}, "a b"},
      {"a single 0xC4 is an optional hyphen", {"a\xc4" "b"}, "a-b"},
      {"0xC4 0xC4 are line characters", {"\xc4\xc4"}, "\xc4\xc4"},
      {"0xC4 between line characters stays one", {"\xb3\xc4\xb3"}, "\xb3\xc4\xb3"},
      {"0xC4 before 0xFF is a hyphen", {"a\xc4\xff"}, "a- "},
      {"0xC4 at the end of the text", {"a\xc4"}, "a-"},
      {"0x0F is the line character", {"a\x0f\xc4"}, "a\xc4\xc4"},
      {"0xC4 after a control byte", {"\t\xc4" "b"}, "\t-b"},
      {"the text ends where the header says", {"Hello World", 437, 128 + 5}, "Hello"},
      {"an end of text inside the header", {"Hello", 437, 60}, ""},
      {"850 text to 437", {"caf\x82 \xb8", 850}, "caf\x82 _"},
      {"no code page named: 437", {"caf\x82", 0}, "caf\x82"},
      {"a header standard but for byte 117", {"abc", 437, -1, std::string("\x31\xBE\x00\x00\x00\xAB", 6), 4}, "abc"},
      {"empty text", {""}, ""},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::expectagain(WORDDOS, wdgen::make(c.spec), c.want);
  }
}

TEST(WordDos, OptionsChooseLineEndAndCodePage) {
  const std::string doc = wdgen::make({"caf\x82\xc4\xc4\r\nx", 437});
  ft::expectoptions(cvtworddosst, wdnewst, doc,
                    {{"0", "caf\x82\xc4\xc4\r\nx"}, {"0x", "caf\x82\xc4\xc4\nx"},
                     {"0m", "caf\x82\xc4\xc4\rx"}, {"0a0819", "caf\xe9--\r\nx"},
                     {"0a8592", "caf\xe9--\r\nx"}, {"0a9999", "caf\x8e--\r\nx"},
                     {"0a1234", "caf\x82\xc4\xc4\r\nx"}},
                    0);
}

TEST(WordDos, HeadersAndShortFilesEndWithTheirStatus) {
  const ft::statuscase cases[] = {
      {"empty file", "", 0, ""},
      {"end of text past the end of the file", wdgen::make({"Hello", 437, 128 + 40, std::string("\x31\xBE\x00\x00\x00\xAB", 6), 0, false}),
       CX_READERR, "Hello"},
      {"a header only, no text", wdgen::make({"", 437, 200, std::string("\x31\xBE\x00\x00\x00\xAB", 6), 0, false}),
       CX_READERR, ""},
      {"DB DB, not standard", wdgen::make({"secret", 437, -1, "\xDB\xDB\x00\x00\x00\xAB"}), CX_CRYPT, ""},
      {"short file starting DB DB", "\xDB\xDB", CX_CRYPT, ""},
      // Files of other formats are refused rather than written out as text.
      {"another signature", wdgen::make({"abc", 437, -1, "XXXXXX"}), CX_NOTFMT, ""},
      {"plain text", "just some words of text\r\n", CX_NOTFMT, ""},
      {"a compound document", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(600, '\0'), CX_NOTFMT, ""},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::expect(ft::run(WORDDOS, c.doc), c.status, c.out, &ft::kinout);
  }
}

TEST(WordDos, FrameFailures) { ft::framefailures(WORDDOS, wdgen::make({"Hello"})); }

}  // namespace
