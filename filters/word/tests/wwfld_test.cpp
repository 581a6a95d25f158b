// Fields of Word documents pulled through the framework: each keyword's
// records in the intermediate format, the words the plain text keeps and
// drops, nesting, long results, and damaged fields.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "converters/runtime/tests/fixgen.h"
#include "converters/word/tests/word6gen.h"
#include "filters/framework/runtime/tests/cvtest.h"
#include "filters/readers/rdr.h"
#include "filters/word/wwfld.h"

namespace {

using wgen::bytes;

std::string pull(const bytes& doc, bool text) {
  rdrregister();
  cvtesthost host(std::string(doc.begin(), doc.end()));
  return cvpullall(host.open(), 777, text);
}

// Field marks written as B, S and E, and a picture character as P, in
// the text given; they become 19, 20, 21 and 1 with the special-character
// flag, everything else plain.
std::string marks(const std::string& s) {
  std::string out = s;
  for (char& c : out) {
    if (c == '{') c = 19;
    else if (c == '|') c = 20;
    else if (c == '}') c = 21;
  }
  return out;
}

// A level-6 document whose field marks carry the special flag; extra runs
// (position, sprms) are laid over it.
wgen::w6spec fielddoc(const std::string& body, std::vector<wgen::w6run> extra = {}) {
  std::string text = marks(body) + "\r";
  std::vector<wgen::w6run> runs;
  bool special = false;
  for (size_t i = 0; i < text.size(); i++) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    bool want = c == 19 || c == 20 || c == 21;
    for (auto& e : extra)
      if (e.cp == static_cast<int32_t>(i)) want = true;
    if (i == 0 || want != special || want) {
      std::string sprms = want ? std::string("\x75\x01", 2) : "";
      for (auto& e : extra)
        if (e.cp == static_cast<int32_t>(i)) sprms += e.sprms;
      runs.push_back({static_cast<int32_t>(i), sprms});
    }
    special = want;
  }
  wgen::w6spec d;
  d.text = {wgen::word6, {text}, false, 6000};
  d.chps = runs;
  d.runsperpage = 40;
  return d;
}

bytes docof(const wgen::w6spec& d) { return wgen::word6doc(d); }
std::string comof(const std::string& body) { return comshow(pull(docof(fielddoc(body)), false)); }
std::string textof(const std::string& body) { return pull(docof(fielddoc(body)), true); }
std::string words(const std::string& s) { return fixgen::words(s); }

// Each keyword: what it writes into the intermediate format, and the words
// the plain text keeps (entries, dates, page numbers and links leave none).
TEST(WordFields, Keywords) {
  struct Case {
    const char* body;
    std::vector<std::string> com;  // substrings of the intermediate format
    const char* words;
  } cases[] = {
      {"a { TC Chapter \\l 3 }b", {"Chapter"}, "a\nb\n"},
      {"a { tc \"Two words\" }b", {"Two words"}, "a\nb\n"},
      {"a { XE a:b:c:d:e:f }b", {"[BMT 20,a,b,c,d,e]"}, "a\nb\n"},
      {"a { XE plain }b", {"plain"}, "a\nb\n"},
      {"a { TA \\l \"Case\" }b", {}, "a\nb\n"},
      {"a { TOC \\o |Intro 1}b", {}, "a\nintro\n1b\n"},
      {"a { Toc \\o }b", {}, "a\nb\n"},
      {"a { GOTOBUTTON Target Click here |old} b", {}, "a\nclick\nhere\nb\n"},
      {"a { GOTOBUTTON Target |old} b", {}, "a\nb\n"},
      {"a { DATE \\@ \"dd MMMM yyyy\" |12 May 1994} b", {}, "a\nb\n"},
      {"a { DATE |5/12/94} b", {}, "a\nb\n"},
      {"a { TIME |10:12 AM} b", {}, "a\nb\n"},
      {"a { PAGEREF _Toc1 \\h |7} b", {"_Toc1"}, "a\nb\n"},
      {"a { REF Name |shown} b", {"Name", "shown"}, "a\nb\n"},
      {"a { VERWZG Name |shown} b", {"Name"}, "a\nb\n"},
      {"a { PAGE |3} b", {}, "a\nb\n"},
      {"a { SEITENREF x |3} b", {}, "a\nb\n"},
      {"a { NUMPAGES |9} b", {}, "a\nb\n"},
      {"a { AUTONUMLGL |1.} b", {}, "a\nb\n"},
      {"a { SYMBOL 65 \\s 12 |x} b", {}, "a\na\nb\n"},
      {"a { SYMBOL 66 \\f Wingdings \\s 12 |x} b", {}, "a\nb\nb\n"},
      {"a { SYMBOL 183 \\f Symbol \\s 10 |x} b", {}, "a\nb\n"},
      {"a { SYMBOL } b", {"a _ b"}, "a\nb\n"},
      {"a { INCLUDEPICTURE D:\\\\pics\\\\a.bmp |x} b", {"D:\\pics\\a.bmp"}, "a\nb\n"},
      {"a { INCLUDETEXT D:\\\\doc\\\\b.doc |included} b", {"D:\\doc\\b.doc"}, "a\nb\n"},
      {"a { INCLUDE } b", {}, "a\nb\n"},
      {"a { FORMCHECKBOX } b", {}, "a\nb\n"},
      {"a { MERGEFIELD Name |Smith} b", {}, "a\nsmith\nb\n"},
      {"a {\tTC x |kept} b", {}, "a\nkept\nb\n"},
      {"a { UNKNOWN } b", {}, "a\nb\n"},
      {"a { UNKNOWN |} b", {}, "a\nb\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    std::string com = comof(c.body);
    for (const std::string& s : c.com) EXPECT_NE(com.find(s), std::string::npos) << com;
    EXPECT_EQ(words(textof(c.body)), c.words) << com;
  }
  // A link that names no file writes nothing.
  for (const char* body : {"a { INCLUDE } b", "a { INCLUDEPICTURE|x} b"}) {
    std::string com = comof(body);
    EXPECT_EQ(com.find("[FIC"), std::string::npos) << com;
    EXPECT_EQ(com.find("[IGR"), std::string::npos) << com;
  }
}

// Fields nest in instructions and in results: a field inside an
// instruction is part of its text and never interpreted; fields inside a
// result converted as text are interpreted in turn.
TEST(WordFields, Nesting) {
  struct Case {
    const char* body;
    const char* words;
  } cases[] = {
      {"a { REF { PAGE |2} |x} b", "a\nb\n"},
      {"a { MERGEFIELD |one { PAGE |9} two} b", "a\none\ntwo\nb\n"},
      {"a { MERGEFIELD |one { MERGEFIELD |inner} two} b", "a\none\ninner\ntwo\nb\n"},
      {"a { TC |skipped { MERGEFIELD |too}} b", "a\nb\n"},
      {"a { TOC |{ MERGEFIELD |in toc}} b", "a\nin\ntoc\nb\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    EXPECT_EQ(words(textof(c.body)), c.words) << comof(c.body);
  }
  // A display text keeps its nested fields.
  std::string com = comof("a { GOTOBUTTON T see { PAGE |1} |x} b");
  EXPECT_NE(com.find("see [PPN]"), std::string::npos) << com;
}

// A result of 16383 characters is copied and, for a known keyword, taken
// as the display text; one of 16384 is left to the loop as text, once.
TEST(WordFields, LongResults) {
  for (int n : {16383, 16384}) {
    SCOPED_TRACE(n);
    std::string result = "w" + std::string(n - 2, 'x') + "y";
    std::string com = comof("a { REF Name |" + result + "} b");
    std::string text = textof("a { REF Name |" + result + "} b");
    if (n == 16383) {
      EXPECT_NE(com.find("[XRF 00,10,Name,w"), std::string::npos);
      EXPECT_EQ(words(text), "a\nb\n");
    } else {
      EXPECT_NE(com.find("[XRF 00,10,Name,]"), std::string::npos);
      EXPECT_EQ(words(text), "a\n" + result + "\nb\n");
    }
    // A result converted as text, or a region's, comes out exactly once.
    for (const char* kw : {"MERGEFIELD", "TOC"}) {
      std::string t = words(textof(std::string("a { ") + kw + " |" + result + "} b"));
      EXPECT_EQ(t, "a\n" + result + "\nb\n") << kw;
    }
  }
}

// Damaged fields end within the range being converted: no end mark, no
// separator's end, marks only, and deep nesting in instructions and in
// results, each quickly and without exhausting the stack.
TEST(WordFields, DamagedAndDeep) {
  struct Case {
    std::string body;
    const char* words;
  } cases[] = {
      {"a { MERGEFIELD x", "a\n"},
      {"a { MERGEFIELD |never ends", "a\nnever\nends\n"},
      {"a { REF |never ends", "a\n"},
      {"a }| b { c", "a\nb\n"},
      {"{", ""},
      {"{|", ""},
      {"a {} b {|} c", "a\nb\nc\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    EXPECT_EQ(words(textof(c.body)), c.words);
  }
  std::string ininst, inres, open;
  for (int i = 0; i < 10000; i++) ininst += "{ MERGEFIELD ";
  for (int i = 0; i < 10000; i++) ininst += "|r}";
  for (int i = 0; i < 10000; i++) inres += "{ MERGEFIELD |w";
  for (int i = 0; i < 10000; i++) inres += "}";
  for (int i = 0; i < 10000; i++) open += "{ x ";
  for (const std::string& body : {ininst, inres, open}) {
    std::string text = textof("a " + body + " b");
    EXPECT_NE(text, "<fail>");
    EXPECT_EQ(words(text).substr(0, 2), "a\n");
  }
  EXPECT_EQ(words(textof("a " + inres + " b")), "a\n" + std::string(10000, 'w') + "\nb\n");
}

}  // namespace
