// The Word for DOS converter with a zone-file name set: zones of hidden
// ".Begin " ... ".End " blocks and other hidden text, footnotes and
// paragraphs, from the document's pages and its style sheet, which is
// looked up in the document's own folder only.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "converters/formats/tests/fmttest.h"
#include "converters/formats/tests/wdzgen.h"

namespace {

using ft::result;
using ft::zoned;
using wdgen::zrun;
using wdgen::zspec;

const std::string khidden("\x00\x00\x00\x80", 4);

// Runs the converter on doc with zones, with files beside it in the folder.
result runz(const std::string &doc, const std::vector<std::pair<std::string, std::string>> &beside = {}) {
  return ft::runin(
      [&](const cxtestdir &d, const char *in, const char *out) {
        for (auto &f : beside) d.put(f.first, f.second);
        cxstate *st = wdnewst();
        std::strncpy(st->nm->optstr, "0", sizeof st->nm->optstr - 1);
        std::string z = d.file("zones.txt");
        st->mn->zonefile = static_cast<char *>(cxalloc(st, z.size() + 1));
        std::memcpy(st->mn->zonefile, z.c_str(), z.size() + 1);
        return cvtworddosst(st, in, out);
      },
      &doc, "out.txt");
}

// Character runs over text: the given hidden ranges, plain runs between.
std::vector<zrun> hide(int32_t size, const std::vector<std::pair<int32_t, int32_t>> &ranges) {
  std::vector<zrun> runs;
  int32_t at = 0;
  for (auto &r : ranges) {
    if (r.first > at) runs.push_back({at, r.first, ""});
    runs.push_back({r.first, r.second, khidden});
    at = r.second;
  }
  if (at < size) runs.push_back({at, size, ""});
  return runs;
}

TEST(WordDosZones, HiddenBlocksFootnotesAndParagraphs) {
  struct {
    const char *name;
    zspec doc;
    int status;
    std::string zones;
  } cases[] = {
      {"a table block", [] {
         zspec s{"a.Begin Table|row|.End |b"};
         s.chps = hide(25, {{1, 14}, {18, 24}});
         return s;
       }(), 0, "0{a}6{.Begin Table|row|.End |}0{b}"},
      {"another block", [] {
         zspec s{"a.Begin Note|x|.End |b"};
         s.chps = hide(22, {{1, 13}, {15, 21}});
         return s;
       }(), 0, "0{a}7{.Begin Note|x|.End |}0{b}"},
      {"a lone .End", [] {
         zspec s{"a.End |b"};
         s.chps = hide(8, {{1, 7}});
         return s;
       }(), 0, "0{a}9{.End |}0{b}"},
      {"two .Begin", [] {
         zspec s{"a.Begin x|.Begin y|b"};
         s.chps = hide(20, {{1, 10}, {10, 19}});
         return s;
       }(), CX_NOTFMT, ""},
      {"short hidden text", [] {
         zspec s{"a.End|b"};
         s.chps = hide(7, {{1, 5}});
         return s;
       }(), 0, "0{a}9{.End}0{|b}"},
      {"footnotes", [] {
         zspec s{"a\x04" "b" "x" "*note one|" "\x04" "note two|"};
         s.notes = {{1, 4}, {3, 14}, {0, 24}};
         return s;
       }(), 0, "0{abx}9{*note one|}3{note two|}"},
      {"an empty footnote", [] {
         zspec s{"a\x04" "b"};
         s.notes = {{1, 2}, {1, 2}, {0, 2}};
         return s;
       }(), 0, "0{ab}"},
      {"paragraph kinds around hidden text", [] {
         zspec s{"one|two hid|three|"};
         s.paps = {{0, 4, ""}, {4, 12, std::string("\x00\x00\x80", 3)}, {12, 18, ""}};
         s.chps = hide(18, {{8, 11}});
         return s;
       }(), 0, "0{one|}10{two }9{hid}10{|}0{three|}"},
      {"more than 16 ranges", [] {
         zspec s;
         std::vector<std::pair<int32_t, int32_t>> r;
         for (int i = 0; i < 20; ++i) {
           s.text += "ab";
           r.push_back({2 * i + 1, 2 * i + 2});
         }
         s.chps = hide(40, r);
         return s;
       }(), 0, [] {
         std::string z;
         for (int i = 0; i < 20; ++i) z += "0{a}9{b}";
         return z;
       }()},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    result r = runz(wdgen::makez(c.doc));
    EXPECT_EQ(r.status, c.status);
    if (c.status == 0) {
      EXPECT_EQ(zoned(r), c.zones);
    }
    EXPECT_EQ(r.files, (std::vector<std::string>{"in.doc", "out.txt", "zones.txt"}));
  }
}

TEST(WordDosZones, StyleSheetInTheDocumentsFolder) {
  // Styles 5 and 40 have hidden character properties; 40 is also a
  // paragraph style.
  std::string sheet = wdgen::stylesheet({5, 40}, {{0, 64, khidden}}, {{0, 64, std::string("\x00\x00\x00", 3)}});
  auto doc = [](const std::string &name) {
    zspec s{"a.End |b"};
    s.chps = {{0, 1, ""}, {1, 7, "\x0b"}, {7, 8, ""}};
    s.stylename = name;
    return wdgen::makez(s);
  };
  cxtestdir elsewhere;
  elsewhere.put("other.sty", sheet);
  struct {
    const char *name;
    std::string stylename;
    std::string zones;
  } cases[] = {
      {"by its name", "x.sty", "0{a}9{.End |}0{b}"},
      {"in upper case, with folders", "C:\\WORD\\X.STY", "0{a}9{.End |}0{b}"},
      {"climbing out of the folder", "../x.sty", "0{a}9{.End |}0{b}"},
      {"an absolute path elsewhere", elsewhere.file("other.sty"), "0{a.End |b}"},
      {"a name that is only a folder", "..", "0{a.End |b}"},
      {"no style sheet", "", "0{a.End |b}"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    result r = runz(doc(c.stylename), {{"x.sty", sheet}});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(zoned(r), c.zones);
  }
  // Paragraphs of a style whose character style is hidden.
  zspec s{"a|.End |b|"};
  s.paps = {{0, 2, ""}, {2, 8, "\x51"}, {8, 10, ""}};
  s.stylename = "x.sty";
  result r = runz(wdgen::makez(s), {{"x.sty", sheet}});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(zoned(r), "0{a|}9{.End |}0{b|}");
}

TEST(WordDosZones, DamagedTablesEndWithAStatus) {
  zspec notes{"a\x04" "b" "x" "*note one|"};
  notes.notes = {{1, 4}, {0, 14}};
  std::string toomany = wdgen::makez(notes);
  wdgen::put(toomany, static_cast<size_t>(toomany[20]) * 128, 40, 2);
  std::string sheet = wdgen::stylesheet({5}, {{0, 30, khidden}}, {});
  zspec styled{"ab"};
  styled.stylename = "x.sty";
  struct {
    const char *name;
    std::string doc;
    std::vector<std::pair<std::string, std::string>> beside;
    int status;
  } cases[] = {
      {"a footnote count past its pages", toomany, {}, CX_NOTFMT},
      {"a style run not of whole records", wdgen::makez(styled), {{"x.sty", sheet}}, CX_NOTFMT},
      {"a file shorter than its header", std::string("\x31\xBE\x00\x00\x00\xAB", 6), {}, CX_READERR},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    result r = runz(c.doc, c.beside);
    EXPECT_EQ(r.status, c.status);
    for (const std::string &f : r.files) EXPECT_TRUE(f == "in.doc" || f == "out.txt" || f == "zones.txt" || f == "x.sty") << f;
  }
}

}  // namespace
