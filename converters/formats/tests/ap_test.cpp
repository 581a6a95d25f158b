// The Ami Pro converter through the converter table, on documents written
// as text: header, text sections and frames, paragraphs, tags, style names,
// regions, and damaged or hostile input.
#include <string>

#include "converters/formats/tests/fmttest.h"

namespace {

using ft::result;

constexpr int AMIPRO = 8;

// A document: the header and body, each "\n" of the body written as the
// document's line end.
std::string sam(const std::string &body, const std::string &le = "\r\n") {
  std::string s = "[ver]" + le + "\t4" + le;
  for (char c : body) s += c == '\n' ? le : std::string(1, c);
  return s;
}

result run(const std::string &doc) { return ft::run(AMIPRO, doc); }

TEST(AmiPro, ParagraphsOfTextSectionsConvert) {
  struct {
    const char *name;
    std::string doc;
    std::string want;
  } cases[] = {
      {"lines of a paragraph join", sam("[txt]\nabc\ndef\n\n>\n"), "abcdef\r\n"},
      {"line feeds alone", sam("[txt]\nabc \ndef\n\nghi\n\n>\n", "\n"), "abc def\r\nghi\r\n"},
      {"carriage returns alone", sam("[txt]\nabc\ndef\n\n>\n", "\r"), "abcdef\r\n"},
      {"a stray CR or LF is dropped", sam("[txt]\na\rb\n\n>\n", "\n"), "ab\r\n"},
      {"blank lines give line ends", sam("[txt]\na\n\n\nb\n\n>\n"), "a\r\n\r\nb\r\n"},
      {"sections before the text are passed over",
       sam("[sty]\n[Body Text]\n[fnt]\nRoman\n[txt]\nHello\n\n>\n"), "Hello\r\n"},
      {"several text sections", sam("[txt]\none\n\n>\n[lay]\n[txt]\ntwo\n\n>\n"), "one\r\ntwo\r\n"},
      {"the end section ends the output", sam("[edoc]\nlast\n\n>\n[txt]\nmore\n\n>\n"), "last\r\n"},
      {"the rest of the keyword's line is skipped", sam("[txt] junk\nabc\n\n>\n"), "abc\r\n"},
      {"style names are dropped", sam("[txt]\n@Body Text@Hello\n\n@Title@World\n\n>\n"), "Hello\r\nWorld\r\n"},
      {"@@ at a paragraph's start", sam("[txt]\n@@home\n\n>\n"), "@home\r\n"},
      {"@ inside a line", sam("[txt]\na@b\n\n>\n"), "a@b\r\n"},
      {"> inside a line", sam("[txt]\na>b\n\n>\n"), "a>b\r\n"},
      {"tabs and upper bytes as they are", sam("[txt]\na\tcaf\xe9\n\n>\n"), "a\tcaf\xe9\r\n"},
      {"no closing >", sam("[txt]\nabc\n\ndef"), "abc\r\ndef"},
      {"no text section", sam("[sty]\nabc\n"), ""},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::expectagain(AMIPRO, c.doc, c.want);
  }
}

TEST(AmiPro, TagsStandForCharactersOrNothing) {
  struct {
    const char *tags;
    std::string want;
  } cases[] = {
      {"<;>", ">"},
      {"<<", "<"},
      {"<[>", "["},
      {"</A>", "\x81"},
      {"<*a>", "A"},
      {"<\\i>", "\xe9"},
      {"<*)>", "\t"},
      {"<*!>", ""},  // a control character
      {"<+x><-x>", ""},
      {"</<;>>", "~"},
      {"<:f240,1Roman 10cpi,0,0,0>", ""},
      {"<:>", ""},
      {"<>", ""},
      {"<fnt<;>inside>", ""},
      {"<;><<<[>", "><["},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.tags);
    ft::expect(run(sam(std::string("[txt]\na") + c.tags + "b\n\n>\n")), 0, "a" + c.want + "b\r\n");
  }
}

TEST(AmiPro, OptionsChooseLineEndAndCodePage) {
  std::string doc = sam("[txt]\na<\\i></A>\n\nb\n\n>\n");
  ft::expectoptions(cvtamiprost, apnewst, doc,
                    {{"0", "a\xe9\x81\r\nb\r\n"}, {"0x", "a\xe9\x81\nb\n"}, {"0m", "a\xe9\x81\rb\r"},
                     {"0a0437", "a\x82_\r\nb\r\n"}});
}

// Regions opened by tags run to the next ">" after a line end; frames of
// the frame data section hold text when their eighth field starts with 1.
TEST(AmiPro, RegionsAndFrames) {
  struct {
    const char *name;
    std::string doc;
    std::string want;
  } cases[] = {
      {"a note region inside text", sam("[txt]\nA <:F\nnote\n>\nB\n\n>\n"), "A noteB\r\n"},
      {"a region of the rest of a line", sam("[txt]\nA<:Nhidden line\nshown\n>\nB\n\n>\n"), "AshownB\r\n"},
      {"a region after a nested tag", sam("[txt]\nA<:Hxf>\nhead\n>\nB\n\n>\n"), "AheadB\r\n"},
      {"a text frame", sam("[data]\n1 2 3 4 5 6 7 1 8\nframe text\n\n>\n[e]\n[txt]\nmain\n\n>\n"),
       "frame text\r\nmain\r\n"},
      {"a frame without text", sam("[data]\n1 2 3 4 5 6 7 0 8\nnot text\n[e]\n[txt]\nmain\n\n>\n"), "main\r\n"},
      {"a line too short for a frame", sam("[data]\n1 2 3\n[e]\n[txt]\nmain\n\n>\n"), "main\r\n"},
      {"a frame's text followed by a block to skip",
       sam("[data]\n1 2 64 4 5 6 7 1\nframe\n\n>\n<x <<y <z> >\n9 9 0 9 9 9 9 1\nnext\n\n>\n[e]\n"),
       "frame\r\nnext\r\n"},
      {"a field 3 beyond 64 bits keeps its low bits",
       sam("[data]\n1 2 18446744073709551680 4 5 6 7 1\nframe\n\n>\n<1 2 3 4 5 6 7 1>\nhidden\n\n>\n[e]\n"),
       "frame\r\n"},
      {"and without the bit",
       sam("[data]\n1 2 18446744073709551616 4 5 6 7 1\nframe\n\n>\n<1 2 3 4 5 6 7 1>\nshown\n\n>\n[e]\n"),
       "frame\r\nshown\r\n"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::expect(run(c.doc), 0, c.want);
  }
}

TEST(AmiPro, HeadersOtherThanTheVersionLineAreRefused) {
  struct {
    const char *name;
    std::string doc;
    int status;
  } cases[] = {
      {"encrypted", "[encrypt]\r\n\t4\r\n[txt]\r\nsecret\r\n", CX_CRYPT},
      {"another keyword starting with e", "[end]\r\n\t4\r\n", CX_NOTFMT},
      {"the version line at byte 4", std::string("\0\0\0\0[ver]\r\n\t4\r\n", 15), CX_NOTFMT},
      {"no line end after the version", "[ver]\t4\r\n", CX_NOTFMT},
      {"no 4 on the second line", "[ver]\r\n\t3\r\n", CX_NOTFMT},
      {"no line end after the 4", "[ver]\r\n\t4 \r\n", CX_NOTFMT},
      {"empty file", "", CX_NOTFMT},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::expect(run(c.doc), c.status, "", &ft::kinout);
  }
}

// Whatever a document holds, the run ends with a status and the text
// written so far: deep nesting, endless tags and cuts anywhere.
TEST(AmiPro, HostileAndCutDocumentsEnd) {
  std::string deep;
  for (int i = 0; i < 100000; i++) deep += "<x";
  std::string stars;
  for (int i = 0; i < 100000; i++) stars += "<*";
  struct {
    const char *name;
    std::string doc;
    std::string want;
  } cases[] = {
      {"deeply nested tags", sam("[txt]\na" + deep + "\n"), "a"},
      {"deeply nested character tags", sam("[txt]\na" + stars), "a"},
      {"a tag that never closes", sam("[txt]\na<:fRoman"), "a"},
      {"a style name that never closes", sam("[txt]\n@Body Text"), ""},
      {"a keyword that never closes", sam("[tx"), ""},
      {"a block to skip that never closes", sam("[data]\n1 2 64 4 5 6 7 1\nframe\n\n>\n<x <y>"), "frame\r\n"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::expect(run(c.doc), 0, c.want);
  }
  std::string doc = sam("[data]\n1 2 64 4 5 6 7 1\nf\n\n>\n<s>\n[e]\n[txt]\n@Body@a<;>b\n\n>\n");
  for (size_t n = 0; n < doc.size(); n++) {
    SCOPED_TRACE(n);
    result r = run(doc.substr(0, n));
    EXPECT_TRUE(r.status == 0 || r.status == CX_NOTFMT) << r.status;
    EXPECT_EQ(r.files, ft::kinout);
  }
}

TEST(AmiPro, FrameFailures) { ft::framefailures(AMIPRO, sam("[txt]\na\n\n>\n")); }

}  // namespace
