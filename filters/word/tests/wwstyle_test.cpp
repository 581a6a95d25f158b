// The style sheet of level 6 and of levels 1-5 with their built-in styles,
// based-on chains (cyclic ones cut), damaged entries, and the style
// definitions that reach the intermediate file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "converters/runtime/tests/fixgen.h"
#include "converters/word/tests/wordgen.h"
#include "filters/framework/runtime/tests/cvtest.h"
#include "filters/readers/rdr.h"
#include "filters/word/tests/wwtest.h"

namespace {

using wgen::kind;

std::string le(uint64_t v, int n) { return wgen::val(wgen::word6, v, n); }

// A level-6 style entry, laid out from an even offset within the sheet.
struct std6 {
  int sti, sgc, base;
  std::string name;      // "": length byte 0
  std::string papx;      // sprms after the style index, or none
  std::string chpx;      // sprms, or none
  bool haspapx = true, haschpx = true;
  std::string trailing;  // bytes past the UPXs, inside the entry
  int cupx = 2;
};

std::string sheet6(const std::vector<std6>& styles, int cstd = -1) {
  std::string s = le(14, 2) + le(cstd >= 0 ? cstd : styles.size(), 2) + le(10, 2) + std::string(10, '\0');
  for (const std6& d : styles) {
    if (s.size() % 2) s += '\0';
    if (d.sgc < 0) {
      s += le(0, 2);
      continue;
    }
    std::string e = le(d.sti, 2) + le(d.sgc | d.base << 4, 2) + le(d.cupx, 2) + std::string(4, '\0');
    size_t at = s.size() + 2;  // the entry starts after its size
    auto pad = [&] {
      if ((at + e.size()) % 2) e += '\0';
    };
    e += static_cast<char>(d.name.size());
    if (!d.name.empty()) e += d.name + '\0';
    if (d.sgc == 1) {
      pad();
      std::string p = d.haspapx ? std::string(2, '\0') + d.papx : "";
      e += le(p.size(), 2) + p;
    }
    pad();
    e += le(d.haschpx ? d.chpx.size() : 0, 2) + (d.haschpx ? d.chpx : "");
    e += d.trailing;
    s += le(e.size(), 2) + e;
  }
  return s;
}

std::string doc6(const std::string& sheet, const std::string& text = "A\r", bool complex = false) {
  wgen::spec s;
  s.k = wgen::word6;
  s.pieces = {text};
  s.complex = complex;
  wgen::bytes b = wgen::stream(s);
  wgen::attach(b, wgen::word6, 96, sheet);
  return std::string(b.begin(), b.end());
}

struct stylerun : wwtestrun {
  stylerun(const std::string& bytes, int ver) : wwtestrun(bytes, ver) {
    wwfibread(&w);
    wwdopread(&w);
    wwstshread(&w);
  }
  ~stylerun() { wwstshfree(&w); }
  std::string name(int i) {
    char b[WW_STDNAME];
    wwstdget(&w, i, nullptr, nullptr, nullptr, b, nullptr, nullptr);
    return b;
  }
  wwpap pap(int s) {
    wwpap p;
    wwpapinit(&w, &p);
    wwstylepap(&w, s, &p);
    return p;
  }
  wwchp chp(int s) {
    wwchp c;
    wwstylechp(&w, s, &c);
    return c;
  }
};

// Level 6: names, empty slots, based-on chains, the Normal style's
// indents, the default paragraph font's dropped properties, and a cycle.
TEST(WordStyles, Level6Sheet) {
  std::string left = std::string("\x11\xd0\x02", 3);  // left indent 720
  std::vector<std6> s(12);
  s[0] = {0, 1, 4095, "Normal", "\x05\x01" + left, "\x55\x01"};
  s[1] = {1, 1, 0, "heading 1,H1", left, "\x56\x01"};
  s[2] = {0, -1, 0, ""};
  s[3] = {0, 1, 0, "", "", "", false, false};                    // unnamed
  s[4] = {0, 1, 5, "Loop A", "\x05\x02", ""};                    // A based on B
  s[5] = {0, 1, 4, "Loop B", std::string("\x11\x68\x01", 3), ""};  // B based on A
  s[6] = {0, 7, 0, "Odd kind", "x", "y"};
  s[7] = {0, 1, 0, "Trailing", "", "\x56\x01", true, true, std::string(7, '\x55')};
  s[8] = {0, 1, 0, "Long CHPX", "", std::string(40, '\x56'), true, true};
  s[9] = {0, 1, 222, "Based on 222", "\x05\x03", ""};
  s[10] = {65, 2, 4095, "Default Paragraph Font", "", "\x55\x01"};
  s[11] = {0, 1, 0, std::string(254, 'n'), "", ""};
  std::string sheet = sheet6(s);
  // The long CHPX claims more bytes than its entry holds.
  size_t at = sheet.find(std::string(40, '\x56'));
  sheet[at - 2] = '\x70';
  stylerun r(doc6(sheet), 6);
  ASSERT_EQ(wwstdcount(&r.w), 12);
  EXPECT_EQ(r.name(0), "Normal");
  EXPECT_EQ(r.name(2), "(none)");
  EXPECT_EQ(r.name(3), "UNNAMED");
  EXPECT_EQ(r.name(7), "Trailing");
  EXPECT_EQ(r.name(8), "Long CHPX");
  EXPECT_EQ(r.name(11), std::string(253, 'n'));
  int sti, sgc, base;
  wwstdget(&r.w, 2, &sti, &sgc, &base, nullptr, nullptr, nullptr);
  EXPECT_EQ(sti, -1);
  EXPECT_EQ(sgc, -1);
  EXPECT_EQ(base, -1);
  // Normal: centred, its left indent cleared; heading 1 on top of it.
  wwpap p0 = r.pap(0), p1 = r.pap(1);
  EXPECT_EQ(p0.jc, 1);
  EXPECT_EQ(p0.dxaLeftset, 0);
  EXPECT_EQ(p1.jc, 1);
  EXPECT_EQ(p1.dxaLeft, 720);
  wwchp c1 = r.chp(1);
  EXPECT_EQ(wwchpv(&c1, WC_BOLD), 1);
  EXPECT_EQ(wwchpv(&c1, WC_ITALIC), 1);
  EXPECT_EQ(wwchpisset(&c1, WC_FONT), 1);
  // The cycle is cut: both styles applied once, the walk ends.
  wwpap pa = r.pap(4);
  EXPECT_EQ(pa.jc, 2);
  EXPECT_EQ(pa.dxaLeft, 360);
  (void)r.chp(5);
  wwchp cx;
  std::memset(&cx, 0, sizeof cx);
  wwstylechpx(&r.w, 4, &cx, 1);
  // A style of another kind keeps no properties; an entry's trailing bytes
  // do not shift the next one; a CHPX longer than its entry is dropped.
  unsigned char chpx[256];
  wwstdget(&r.w, 6, nullptr, nullptr, nullptr, nullptr, nullptr, chpx);
  EXPECT_EQ(chpx[0], 0);
  wwstdget(&r.w, 7, nullptr, nullptr, nullptr, nullptr, nullptr, chpx);
  EXPECT_EQ(chpx[0], 2);
  wwstdget(&r.w, 8, nullptr, nullptr, nullptr, nullptr, nullptr, chpx);
  EXPECT_EQ(chpx[0], 0);
  // A chain ending at 222 does not start from the defaults.
  wwpap z{};
  wwstylepap(&r.w, 9, &z);
  EXPECT_EQ(z.jc, 3);
  EXPECT_EQ(z.fWidowControlset, 0);
  // The default paragraph font (istd 10) keeps no character properties.
  wwchp d;
  std::memset(&d, 0, sizeof d);
  wwstylechpx(&r.w, 10, &d, 1);
  EXPECT_EQ(wwchpisset(&d, WC_BOLD), 0);
  EXPECT_EQ(wwchpv(&d, WC_SIZE), 24);
}

// A complex document's Normal style has no PAPX; counts past the input end
// at the input's end.
TEST(WordStyles, Level6ComplexAndCounts) {
  std::vector<std6> s = {{0, 1, 4095, "Normal", "\x05\x01", ""}};
  stylerun r(doc6(sheet6(s), "A\r", true), 6);
  EXPECT_EQ(r.pap(0).jc, 0);
  stylerun many(doc6(sheet6(s, 65535)), 6);
  EXPECT_LE(wwstdcount(&many.w), 1000);
  EXPECT_EQ(many.name(0), "Normal");
}

// Levels 1-5: the style codes of the list positions, built-in names and
// properties for entries of length 0 or 255, and stored entries.
TEST(WordStyles, OlderSheet) {
  struct Case {
    kind k;
    int ver;
  } cases[] = {{wgen::word2, 2}, {wgen::word1, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ver);
    std::string names = std::string("\0\xff\0", 3) + wgen::counted("Mine");
    std::string chps = std::string("\0\0\0", 3) + wgen::counted("\x01");
    std::string paps = std::string("\xff\0\0", 3) + wgen::counted(std::string("\x01\0\0\0\0\0\0\x11\x68\x01", 10));
    std::string st = wgen::stylesheet(c.k, 2, names, chps, paps, {{0, 222}, {0, 222}, {0, 222}, {0, 0}});
    wgen::fullspec f{{c.k, {"A\n"}}, {{wgen::STSH, st}}};
    wgen::bytes b = wgen::makefull(f);
    stylerun r(std::string(b.begin(), b.end()), c.ver);
    ASSERT_EQ(wwstdcount(&r.w), 4);
    EXPECT_EQ(wwistdstc(&r.w, 0), 254);
    EXPECT_EQ(wwistdstc(&r.w, 2), 0);
    EXPECT_EQ(wwistdstc(&r.w, 3), 1);
    EXPECT_EQ(wwstcmap(&r.w, 254), 0);
    EXPECT_EQ(wwstcmap(&r.w, 1), 3);
    EXPECT_EQ(r.name(0), "heading 1");
    EXPECT_EQ(r.name(1), "Normal indent");
    EXPECT_EQ(r.name(2), "Normal");
    EXPECT_EQ(r.name(3), "Mine");
    wwpap h = r.pap(254);
    EXPECT_EQ(h.dyaBefore, 240);
    wwchp hc = r.chp(254);
    EXPECT_EQ(wwchpv(&hc, WC_BOLD), 1);
    // Level 1 reads the built-in bytes in its own layout, which has no size.
    EXPECT_EQ(wwchpv(&hc, WC_SIZE), c.ver == 2 ? 24 : 20);
    wwchp mc = r.chp(1);
    EXPECT_EQ(wwchpv(&mc, WC_BOLD), 1);
    EXPECT_EQ(wwchpv(&mc, WC_SIZE), 20);
    wwpap mp{};
    wwstylepap(&r.w, 1, &mp);
    EXPECT_EQ(mp.dxaLeft, 360);
    EXPECT_EQ(mp.fWidowControlset, 0);
  }
}

// An old sheet with more entries than there are style codes, and a count
// of standard codes past 256: both end at 256 positions.
TEST(WordStyles, OlderSheetBounds) {
  std::string names(300, '\0'), chps(300, '\0'), paps(300, '\0');
  std::vector<std::pair<int, int>> bases(300, {0, 222});
  std::string st = wgen::stylesheet(wgen::word2, 300, names, chps, paps, bases);
  wgen::fullspec f{{wgen::word2, {"A\n"}}, {{wgen::STSH, st}}};
  wgen::bytes b = wgen::makefull(f);
  stylerun r(std::string(b.begin(), b.end()), 2);
  EXPECT_EQ(wwstdcount(&r.w), 256);
  for (int code : {0, 1, 221, 222, 255, 300, -1}) {
    int pos = wwstcmap(&r.w, code);
    EXPECT_GE(pos, 0);
    EXPECT_LE(pos, 256);
    (void)r.pap(code);
    (void)r.chp(code);
  }
}

// The built-in tables of each group, read back through the decoders.
TEST(WordStyles, BuiltInRows) {
  struct Case {
    int ver, stc;
    const char* name;
    int32_t left;   // -1: no left indent set
    int bold, size;
  } cases[] = {
      {2, 0, "Normal", -1, 0, 20},        {2, 225, "toc 8", 7 * 720, 0, -1},
      {2, 232, "toc 1", 0, 0, -1},        {2, 239, "index 1", 0, 0, -1},
      {2, 254, "heading 1", -1, 1, 24},   {2, 100, "(unknown)", -1, 0, -1},
      {1, 250, "heading 5", 720, 1, 20},  {3, 225, "toc 9", 8 * 720, 0, -1},
      {3, 233, "toc 1", -1, 0, -1},       {3, 240, "index 1", -1, 0, -1},
      {3, 255, "level 1", -1, 1, -1},     {5, 254, "heading 2", -1, 1, 24},
      {4, 247, "heading 9", 720, 0, 20},  {5, 0, "Normal", -1, 0, 24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stc);
    wwtestrun r(std::string(1024, '\0'), c.ver);
    wwfibread(&r.w);
    EXPECT_STREQ(wwstdname(&r.w, c.stc), c.name);
    unsigned char buf[64];
    wwpap p{};
    wwpapxapply(&r.w, wwstdpapx(&r.w, c.stc, buf), &p);
    if (c.left < 0)
      EXPECT_EQ(p.dxaLeftset, 0);
    else
      EXPECT_EQ(p.dxaLeft, c.left);
    wwchp ch;
    wwchpinit(&r.w, &ch);
    wwchpxold(&r.w, wwstdchpx(&r.w, c.stc), &ch);
    EXPECT_EQ(wwchpv(&ch, WC_BOLD), c.bold);
    if (c.size >= 0) EXPECT_EQ(wwchpv(&ch, WC_SIZE), c.size);
  }
}

// The formats of a style definition: tab stops bounded by the default
// width and the table's size, colours, underline kinds and positions.
TEST(WordStyles, FormatConversion) {
  wgen::spec sp;
  sp.k = wgen::word6;
  sp.pieces = {"A\r"};
  wgen::bytes b = wgen::stream(sp);
  stylerun r(std::string(b.begin(), b.end()), 6);
  struct Case {
    int32_t dxatab, right;
    int owntabs;
    int ntabs;
  } cases[] = {{720, 12240 - 1800, 0, 15}, {0, 10440, 0, 1}, {-5, 10440, 2, 3},
               {1, 1 << 30, 0, 255}, {720, 1 << 30, 50, 255}, {720, 100, 0, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dxatab);
    r.w.dop->dxatab = c.dxatab;
    wwpap p;
    wwpapinit(&r.w, &p);
    p.itbdMac = c.owntabs;
    for (int i = 0; i < c.owntabs; i++) p.rgdxaTab[i] = 100 * (i + 1), p.rgtbd[i].tlc = 1;
    auto* f = static_cast<cwpfmt*>(std::calloc(1, sizeof(cwpfmt)));
    cwchfmt ch{};
    wwpapconv(&r.w, &p, c.right, f, &ch);
    EXPECT_EQ(f->ntabs, c.ntabs);
    EXPECT_EQ(f->tabs[0].pos, 0);
    if (c.owntabs) EXPECT_STREQ(f->tabs[1].leader, ".");
    EXPECT_EQ(f->widowset, 1);
    std::free(f);
  }
  struct Chp {
    int prop, value;
    int32_t r, g, b;
  } chps[] = {{WC_COLOR, 4, 0, 255, 0}, {WC_COLOR, 2, 0, 0, 255}, {WC_COLOR, 13, 127, 0, 0}, {WC_COLOR, 6, 255, 0, 0},
              {WC_COLOR, 0, -1, -1, -1}, {WC_COLOR, 17, -1, -1, -1}, {WC_COLOR, 16, 192, 192, 192}};
  for (const Chp& c : chps) {
    SCOPED_TRACE(c.value);
    wwchp x;
    wwchpinit(&r.w, &x);
    wwchpset(&x, c.prop, c.value);
    cwchfmt f{};
    wwchpconv(&r.w, &x, &f);
    EXPECT_EQ(f.colset, c.r >= 0 ? 1 : 0);
    if (c.r >= 0) EXPECT_EQ(std::vector<int32_t>(f.c1, f.c1 + 3), (std::vector<int32_t>{c.r, c.g, c.b}));
  }
  // Bold set but off writes no bold; underline kinds map to the writer's.
  wwchp x;
  wwchpinit(&r.w, &x);
  wwchpset(&x, WC_BOLD, 0);
  wwchpset(&x, WC_ULINE, 3);
  cwchfmt f{};
  wwchpconv(&r.w, &x, &f);
  EXPECT_EQ(f.attr[0], 0);
  EXPECT_EQ(f.attr[2], 1);
  EXPECT_EQ(f.attr[3], 3);
}

// Styles reach the intermediate file as definitions, cut at a comma; a
// sheet of more styles than the writer takes is converted all the same.
TEST(WordStyles, DefinitionsInTheIntermediateFile) {
  rdrregister();
  std::vector<std6> s = {{0, 1, 4095, "Normal", "\x05\x01", "\x55\x01"},
                         {1, 1, 0, "Heading 1,H1", "", "\x56\x01"}};
  for (int i = 2; i < 300; i++) s.push_back({0, 1, 0, "Style " + std::to_string(i), "", ""});
  std::string stream = doc6(sheet6(s), "Hello styled world\r");
  std::vector<uint8_t> b(stream.begin(), stream.end());
  wgen::bytes file = dft::write({{"WordDocument", b}});
  cvtesthost host(std::string(file.begin(), file.end()));
  std::string com = cvpullall(host.open(), 4096, false);
  EXPECT_NE(com.find("Heading 1"), std::string::npos);
  EXPECT_EQ(com.find("Heading 1,H1"), std::string::npos);
  EXPECT_NE(com.find("Style 200"), std::string::npos);
  cvtesthost again(std::string(file.begin(), file.end()));
  EXPECT_EQ(fixgen::words(cvpullall(again.open(), 777, true)), "hello\nstyled\nworld\n");
}

}  // namespace

namespace {

// Writes documents with style sheets for the fuzz corpus when WW_CORPUS
// names a folder: level 6 (plain and fast-saved, with a cyclic chain) and
// level 2 with built-in entries.
TEST(WordStyles, SeedCorpus) {
  const char* dir = std::getenv("WW_CORPUS");
  if (!dir) GTEST_SKIP();
  std::vector<std6> s = {{0, 1, 4095, "Normal", "\x05\x01", "\x55\x01"},
                         {1, 1, 0, "Heading 1,H1", std::string("\x11\xd0\x02", 3), "\x56\x01"},
                         {0, 1, 3, "Loop A", "", ""},
                         {0, 1, 2, "Loop B", "", ""}};
  auto save = [&](const std::string& name, const std::string& bytes) {
    FILE* f = std::fopen((std::string(dir) + "/" + name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  };
  for (bool complex : {false, true}) {
    std::string st = doc6(sheet6(s), "Styled text\r", complex);
    std::vector<uint8_t> b(st.begin(), st.end());
    wgen::bytes file = dft::write({{"WordDocument", b}});
    save(complex ? "styles-word6-fast.doc" : "styles-word6.doc", std::string(file.begin(), file.end()));
  }
  std::string names = std::string("\0\xff\0", 3) + wgen::counted("Mine");
  std::string chps = std::string("\0\0\0", 3) + wgen::counted("\x01");
  std::string paps = std::string("\xff\0\0", 3) + wgen::counted(std::string("\x01\0\0\0\0\0\0\x11\x68\x01", 10));
  std::string st = wgen::stylesheet(wgen::word2, 2, names, chps, paps, {{0, 222}, {0, 222}, {0, 222}, {0, 0}});
  wgen::fullspec f{{wgen::word2, {"Styled text\n"}}, {{wgen::STSH, st}}};
  wgen::bytes b = wgen::makefull(f);
  save("styles-word2.doc", std::string(b.begin(), b.end()));
}

}  // namespace
