// Paragraphs, sections, tables and frames of generated documents pulled
// through the framework: the intermediate records they give, and the
// plain text of tables (each cell's text on a line of its own).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>

#include "converters/runtime/tests/fixgen.h"
#include "converters/word/tests/word6gen.h"
#include "converters/word/tests/wordgen.h"
#include "filters/framework/runtime/tests/cvtest.h"
#include "filters/readers/rdr.h"
#include "filters/word/ww.h"

namespace {

using wgen::bytes;

std::string pull(const bytes& doc, bool text) {
  rdrregister();
  cvtesthost host(std::string(doc.begin(), doc.end()));
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

std::string b1(int v) { return std::string(1, static_cast<char>(v)); }
std::string w16(int v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }

// A level-6 row definition of n cells with the boundaries given, gap 108.
std::string rowdef(const std::vector<int>& bounds, const std::string& cells = "") {
  std::string body = b1(static_cast<int>(bounds.size()) - 1);
  for (int x : bounds) body += w16(x);
  body += cells;
  return b1(190) + w16(static_cast<int>(body.size())) + body + b1(184) + w16(108);
}

// A level-6 document of paragraphs, each with its sprms.
bytes word6(const std::vector<std::pair<std::string, std::string>>& paras,
            const std::vector<std::pair<int32_t, std::optional<std::string>>>& seds = {}) {
  wgen::w6spec d;
  std::string text;
  for (auto& p : paras) {
    d.paps.push_back({static_cast<int32_t>(text.size()), p.second});
    text += p.first;
  }
  d.text = {wgen::word6, {text}, false, 6000};
  d.seds = seds;
  return ole(wgen::word6stream(d));
}

bool has(const std::string& com, const std::string& re) { return std::regex_search(com, std::regex(re)); }

}  // namespace

// Alignment, indents and spacing of level-6 paragraphs reach the output as
// the records of the paragraph that follows them.
TEST(WordParaOut, AttributesOfLevelSix) {
  std::string com = comof(word6({{"Centred\r", b1(5) + b1(1)},
                                 {"Indented\r", b1(17) + w16(720) + b1(19) + w16(0xFE98)},
                                 {"Spaced\r", b1(21) + w16(240) + b1(22) + w16(120)},
                                 {"Exact\r", b1(20) + w16(0xFF10) + w16(0)},
                                 {"Right\r", b1(5) + b1(2)},
                                 {"Odd\r", b1(5) + b1(4)},
                                 {"end\r", ""}}));
  EXPECT_TRUE(has(com, "\\[BCA\\](\\[[^\\]]*\\])*Centred")) << com;
  EXPECT_TRUE(has(com, "\\[BRA\\](\\[[^\\]]*\\])*Right")) << com;
  EXPECT_FALSE(has(com, "\\[BJU\\](\\[[^\\]]*\\])*Odd")) << com;
  // First-line indent 720 - 360, left 720.
  EXPECT_TRUE(has(com, "\\[IPS [0-9]+,[0-9]+,[0-9]+,[0-9]+,[0-9]+,720,360,0\\](\\[[^\\]]*\\])*Indented")) << com;
  EXPECT_EQ(fixgen::words(textof(word6({{"Centred\r", b1(5) + b1(1)}, {"end\r", ""}}))), "centred\nend\n");
}

// A 2 x 2 table at level 6: each row is a table of its own, each cell's
// text comes out on its own line, in row order.
TEST(WordParaOut, TableOfTwoRows) {
  std::string intab = b1(24) + b1(1);
  std::string rowend = b1(24) + b1(1) + b1(25) + b1(1) + rowdef({0, 1440, 2880}, std::string(20, '\0'));
  bytes doc = word6({{"before\r", ""},
                     {"A1\x07", intab},
                     {"B1\x07", intab},
                     {"\x07", rowend},
                     {"A2\x07", intab},
                     {"B2\x07", intab},
                     {"\x07", rowend},
                     {"after\r", ""},
                     {"end\r", ""}});
  std::string com = comof(doc);
  std::string text = textof(doc);
  EXPECT_EQ(fixgen::words(text), "before\na1\nb1\na2\nb2\nafter\nend\n") << text;
  // Each cell's text on its own line.
  EXPECT_FALSE(has(text, "A1[^\\n]*B1")) << text;
  EXPECT_FALSE(has(text, "B1[^\\n]*A2")) << text;
  // Two table definitions, cells (108, 1332) and (1548, 2772) from the left margin.
  size_t tables = 0;
  for (size_t at = com.find("[CDS "); at != std::string::npos; at = com.find("[CDS ", at + 1)) tables++;
  EXPECT_EQ(tables, 2u) << com;
}

// Merged cells fold into one output cell; a row whose end is never found
// writes no table, and its text still comes out.
TEST(WordParaOut, MergedAndUnendedRows) {
  std::string intab = b1(24) + b1(1);
  std::string tc0 = w16(1) + std::string(8, '\0'), tc1 = w16(2) + std::string(8, '\0'), tc2 = std::string(10, '\0');
  std::string rowend = b1(24) + b1(1) + b1(25) + b1(1) + rowdef({0, 1000, 2000, 3000}, tc0 + tc1 + tc2);
  bytes doc = word6({{"x\r", ""},
                     {"a\x07", intab},
                     {"b\x07", intab},
                     {"c\x07", intab},
                     {"\x07", rowend},
                     {"lost\x07", intab},
                     {"y\r", ""},
                     {"end\r", ""}});
  std::string text = textof(doc);
  EXPECT_EQ(fixgen::words(text), "x\nab\nc\nlost\ny\nend\n") << text;
}

// Sections: a second section of two columns after a page mark, its page
// set-up written again; continuous sections write no page break.
TEST(WordParaOut, SectionsAndColumns) {
  std::string first = "One section.\r\x0c", second = "Two columns here.\r";
  bytes doc = word6({{first, ""}, {second, ""}, {"end\r", ""}},
                    {{0, b1(164) + w16(15840) + b1(166) + w16(1000)},
                     {static_cast<int32_t>(first.size()), b1(144) + w16(1) + b1(145) + w16(720)}});
  std::string com = comof(doc);
  // The first section's page width, then the second's default width and its
  // two evenly spaced columns of (12240 - 1800 - 1800 - 720) / 2.
  EXPECT_TRUE(has(com, "\\[PGW [0-9]+,15840\\].*\\[RSM [^\\]]*,1000,14040\\]")) << com;
  EXPECT_TRUE(has(com, "\\[HNP\\]\\[PGW 85,12240\\].*\\[CDS [0-9]+,2,[^\\]]*1800,5760,0,6480,10440")) << com;
  EXPECT_EQ(fixgen::words(textof(doc)), "one\nsection\ntwo\ncolumns\nhere\nend\n");
}

// Positioned paragraphs: two with the same position share one box, a third
// placed elsewhere gets its own, an unplaced one none.
TEST(WordParaOut, Frames) {
  std::string placed = b1(26) + w16(0xFFF8) + b1(29) + b1(0x80);  // right, anchored to the page
  std::string other = b1(27) + w16(1440);
  bytes doc = word6({{"p\r", ""}, {"f1\r", placed}, {"f2\r", placed}, {"g\r", other}, {"q\r", ""}, {"end\r", ""}});
  std::string com = comof(doc);
  EXPECT_EQ(fixgen::words(textof(doc)), "p\nf1\nf2\ng\nq\nend\n");
  // An anchor code of 3 takes the default anchor rather than failing.
  bytes odd = word6({{"p\r", ""}, {"f\r", b1(26) + w16(100) + b1(29) + b1(0xC0)}, {"end\r", ""}});
  EXPECT_EQ(fixgen::words(textof(odd)), "p\nf\nend\n");
  auto count = [&](const std::string& rec) {
    size_t n = 0;
    for (size_t at = com.find(rec); at != std::string::npos; at = com.find(rec, at + 1)) n++;
    return n;
  };
  EXPECT_EQ(count("[APO "), 2u) << com;
  EXPECT_EQ(count("[APF]"), 2u) << com;
  // Right of the page (1, anchor 2), then 1440 down (vertical code 4).
  EXPECT_TRUE(has(com, "\\[APO 00,1,4,1,2,[^\\]]*\\](\\[[^\\]]*\\])*f1")) << com;
  EXPECT_TRUE(has(com, "\\[APO [^\\]]*,1440,[^\\]]*\\](\\[[^\\]]*\\])*g")) << com;
}

// The document head: the summary of a document without a saved-by list
// names its input, the dates are written as text.
TEST(WordParaOut, Head) {
  std::string com = comof(word6({{"text\r", ""}}));
  EXPECT_NE(com.find("SOURCE.DOC"), std::string::npos) << com;
  EXPECT_NE(com.find("Sunday, 0, 1900 12:00 am"), std::string::npos) << com;
}

// Date text and date pictures.
TEST(WordHead, DatesAndPictures) {
  struct D {
    wwdate d;
    const char* want;
  } dates[] = {{{0, 0, 0, 0, 0, 0}, "Sunday, 0, 1900 12:00 am"},
               {{5, 12, 3, 2, 99, 1}, "Monday, February 3, 1999 12:05 pm"},
               {{30, 13, 1, 12, 126, 5}, "Friday, December 1, 2026 1:30 pm"},
               {{59, 23, 31, 13, 0, 9}, "31, 1900 11:59 pm"},
               {{99999, 99999, 99999, 99999, 2000000000, -1}, nullptr}};
  for (const D& c : dates) {
    char buf[40];
    wwrdatestr(&c.d, buf);
    if (c.want) EXPECT_STREQ(buf, c.want);
    EXPECT_LT(std::strlen(buf), 40u);
  }
  struct P {
    std::string pic;
    std::vector<int> want;
  } pics[] = {{"MM/DD/YY", {258, 47, 257, 47, 261}},
              {"HH:mm", {263, 58, 265}},
              {"DDDD, MMMM DD, MMM", {262, 44, 32, 259, 32, 257, 44, 32, 260}},
              {"yyyy", {261, 261}},
              {"mmm", {260}},
              {"mmmm", {260, 265}},
              {"HH'lit'mm", {263, 265}},
              {"HH'never closed mm", {263}},
              {"`b`hh A/P", {264, 32, 256}},
              {std::string(25, '/'), std::vector<int>(19, 47)},
              {"", {}},
              {"\"MM", {}},
              {"h\"MM", {264}}};
  for (const P& c : pics) {
    SCOPED_TRACE(c.pic);
    int32_t items[20];
    int n = wwrdatepicitems(c.pic.c_str(), items);
    ASSERT_EQ(n, static_cast<int>(c.want.size()));
    for (int i = 0; i < n; i++) EXPECT_EQ(items[i], c.want[i]);
    EXPECT_EQ(items[n], -1);
  }
}

namespace {

// A 2 x 2 table at level 2, whose row sprms have their own numbers.
bytes word2table() {
  std::string text;
  std::vector<std::pair<int64_t, std::string>> paras;
  std::string intab = b1(24) + b1(1);
  std::string body = b1(2) + w16(0) + w16(1440) + w16(2880) + std::string(20, '\0');
  std::string rowend = b1(24) + b1(1) + b1(25) + b1(1) + b1(154) + w16(static_cast<int>(body.size())) + body;
  for (auto& p : std::vector<std::pair<std::string, std::string>>{{"before\r\n", ""},
                                                                  {"A1\x07", intab},
                                                                  {"B1\x07", intab},
                                                                  {"\x07", rowend},
                                                                  {"A2\x07", intab},
                                                                  {"B2\x07", intab},
                                                                  {"\x07", rowend},
                                                                  {"after\r\n", ""}}) {
    paras.push_back({static_cast<int64_t>(text.size()), p.second});
    text += p.first;
  }
  wgen::fullspec f;
  f.text = {wgen::word2, {text}};
  return wgen::withparas(f, paras);
}

}  // namespace

// Seeds of the pull fuzz target: sections, tables and frames (written when
// WW_CORPUS names the corpus directory).
TEST(WordParaOut, SeedCorpus) {
  const char* dir = std::getenv("WW_CORPUS");
  if (!dir) GTEST_SKIP();
  std::string intab = b1(24) + b1(1);
  std::string tc0 = w16(1) + std::string(8, '\0'), tc1 = w16(2) + std::string(8, '\0'), tc2 = std::string(10, '\0');
  std::string rowend = b1(24) + b1(1) + b1(25) + b1(1) + rowdef({0, 1000, 2000, 3000}, tc0 + tc1 + tc2);
  std::string olst = b1(133) + b1(212) + std::string(212, '\x01');
  std::string first = "One.\r\x0c";
  std::string rowend2 = b1(24) + b1(1) + b1(25) + b1(1) + rowdef({0, 1440, 2880}, std::string(20, '\0'));
  struct Seed {
    const char* name;
    bytes doc;
  } seeds[] = {
      {"word2-2x2.doc", word2table()},
      {"word6-2x2.doc", word6({{"before\r", ""},
                               {"A1\x07", intab},
                               {"B1\x07", intab},
                               {"\x07", rowend2},
                               {"A2\x07", intab},
                               {"B2\x07", intab},
                               {"\x07", rowend2},
                               {"after\r", ""},
                               {"end\r", ""}})},
      {"word6-paras.doc", word6({{"Centred\r", b1(5) + b1(1)},
                                 {"Indented\r", b1(17) + w16(720) + b1(19) + w16(0xFE98)},
                                 {"Right\r", b1(5) + b1(2)},
                                 {"end\r", ""}})},
      {"word6-table.doc", word6({{"x\r", b1(5) + b1(1)},
                                 {"a\x07", intab},
                                 {"b\x07", intab},
                                 {"c\x07", intab},
                                 {"\x07", rowend},
                                 {"f\r", b1(26) + w16(0xFFF8) + b1(29) + b1(0x80)},
                                 {"end\r", ""}})},
      {"word6-sections.doc", word6({{first, b1(17) + w16(720)}, {"Two.\r", ""}, {"end\r", ""}},
                                   {{0, olst + b1(144) + w16(2) + b1(138) + b1(0) + b1(136) + std::string(20, '\x02')},
                                    {static_cast<int32_t>(first.size()), b1(144) + w16(1) + b1(142) + b1(0)}})},
  };
  for (const Seed& sd : seeds) {
    FILE* f = std::fopen((std::string(dir) + "/" + sd.name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(sd.doc.data(), 1, sd.doc.size(), f);
    std::fclose(f);
  }
}

TEST(WordParaOut, TableAtLevelTwo) {
  bytes doc = word2table();
  std::string com = comof(doc), plain = textof(doc);
  EXPECT_EQ(fixgen::words(plain), "before\na1\nb1\na2\nb2\nafter\n") << plain;
  EXPECT_FALSE(has(plain, "A1[^\\n]*B1")) << plain;
  size_t tables = 0;
  for (size_t at = com.find("[CDS "); at != std::string::npos; at = com.find("[CDS ", at + 1)) tables++;
  EXPECT_EQ(tables, 2u) << com;
}

// Default tab stops: every 720 below the page width less the right margin,
// none with a width of 0, and no more than the writer's table holds on the
// widest page a section can name.
TEST(WordParaOut, DefaultTabStops) {
  auto doc = [](int tabwidth, int page) {
    wgen::w6spec d;
    d.text = {wgen::word6, {"one\rtwo\r"}, false, 6000};
    d.seds = {{0, b1(164) + w16(page)}};
    bytes s = wgen::word6stream(d);
    size_t dop = s[336] | s[337] << 8 | s[338] << 16 | static_cast<size_t>(s[339]) << 24;
    s[dop + 10] = static_cast<uint8_t>(tabwidth & 0xFF);
    s[dop + 11] = static_cast<uint8_t>(tabwidth >> 8);
    return ole(s);
  };
  // The stop count of the last tab record: its positions end the record,
  // the count just before them.
  auto stops = [](const std::string& com) {
    size_t at = com.rfind("[NTB ");
    if (at == std::string::npos) return -1;
    std::vector<std::string> tok;
    std::string rec = com.substr(at + 5, com.find(']', at) - at - 5), t;
    for (char ch : rec + ",") {
      if (ch == ',') tok.push_back(t), t.clear();
      else t += ch;
    }
    int n = static_cast<int>(tok.size());
    for (int k = 1; k < n; k++)
      if (tok[n - 1 - k] == std::to_string(k)) return k;
    return -1;
  };
  EXPECT_EQ(stops(comof(doc(720, 12240))), 1 + (12240 - 1800 - 1) / 720);
  EXPECT_EQ(stops(comof(doc(0, 12240))), 1);
  int wide = stops(comof(doc(720, 65535)));
  EXPECT_GT(wide, 20);
  EXPECT_LE(wide, 256);
  EXPECT_EQ(fixgen::words(textof(doc(1, 65535))), "one\ntwo\n");
}
