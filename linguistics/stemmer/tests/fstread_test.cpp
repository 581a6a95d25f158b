// Loading transducer files: what is refused and with which code, damaged
// offsets, counts and pointers, the special symbols and the tag tables.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "linguistics/stemmer/fstint.h"
#include "linguistics/stemmer/tests/fstbuild.h"
#include "linguistics/stemmer/tests/fsttmp.h"

namespace {

using fsttest::Builder;
using Bytes = std::vector<uint8_t>;

struct Loader : fsttest::Scratch {
  // A small valid file: "ab" and "b".
  static Builder base() {
    Builder b;
    b.alpha("ab");
    b.words({b.align("ab", "ab"), b.align("b", "b")});
    return b;
  }
  int load(const Bytes &v) {
    fstnet *t = fstopen(fsttest::save(path("t.is"), v).c_str());
    int rc = fststatus(t);
    fstclose(t);
    return rc;
  }
};

uint16_t rd16(const Bytes &v, size_t at) { return static_cast<uint16_t>(v[at] << 8 | v[at + 1]); }
void wr16(Bytes &v, size_t at, uint32_t x) { fsttest::put16(v, at, x); }

TEST_F(Loader, RefusesDamagedFilesWithTheirCodes) {
  struct Case {
    const char *what;
    std::function<void(Builder &)> build;
    std::function<void(Bytes &)> damage;
    int rc;
  } cases[] = {
      {"a valid file", nullptr, nullptr, 0},
      {"version 2", [](Builder &b) { b.version = 2; }, nullptr, FST_EBAD},
      {"91 bytes", nullptr, [](Bytes &v) { v.resize(91); }, FST_EBAD},
      {"no alphabet page", [](Builder &b) { b.nopages = true; }, nullptr, FST_EBAD},
      {"table region not at 92", [](Builder &b) { b.tableoff = 93; }, nullptr, FST_EBAD},
      {"network offset inside the header", [](Builder &b) { b.netoff = 60; }, nullptr, FST_EBAD},
      {"table region cut short", nullptr, [](Bytes &v) { v.resize(120); }, FST_ENOMEM},
      {"network region cut short", nullptr, [](Bytes &v) { v.pop_back(); }, FST_ENOMEM},
      {"network length past the file", [](Builder &b) { b.netlen = 1 << 30; }, nullptr, FST_ENOMEM},
      {"string table outside the region", nullptr, [](Bytes &v) { wr16(v, 90, 0xFF00); }, FST_EBAD},
      {"string table size past the region",
       nullptr, [](Bytes &v) { wr16(v, rd16(v, 90), 0x7000); }, FST_EBAD},
      {"output table count past the region",
       nullptr, [](Bytes &v) { wr16(v, rd16(v, 56) - 2u, 0x7000); }, FST_EBAD},
      {"page records past the region", nullptr, [](Bytes &v) { v[82] = 200; }, FST_EBAD},
      {"code table outside the region",
       nullptr, [](Bytes &v) { wr16(v, rd16(v, 20) + 8u, 0x10); }, FST_EBAD},
      {"list directory count past the region",
       nullptr, [](Bytes &v) { wr16(v, rd16(v, 30) - 2u, 0x7000); }, FST_EBAD},
      {"sub-network index outside the region", nullptr, [](Bytes &v) { wr16(v, 42, 0xFFF0); }, FST_EBAD},
      {"start position outside the network",
       nullptr, [](Bytes &v) { wr16(v, rd16(v, rd16(v, 42)) + 8u, 0x7FFF); }, FST_EBAD},
      {"function of a missing sub-network",
       nullptr, [](Bytes &v) { v[rd16(v, 62) + 12u] = 7; }, FST_EBAD},
      {"pointer table entry outside the network",
       [](Builder &b) {
         b.first2 = b.first3 = 2;
         b.ptr1 = {"start"};
       },
       [](Bytes &v) { v[rd16(v, 12)] = 0x7F; }, FST_EBAD},
      {"pointer codes out of order", [](Builder &b) { b.first1 = 3, b.first2 = 2; }, nullptr, FST_EBAD},
      {"a named list with a bad string",
       [](Builder &b) { b.diacritics({{"TB", fsttest::FIRSTSYM << 8}}); },
       [](Bytes &v) { wr16(v, rd16(v, rd16(v, 30)), 0x7000); }, FST_EBAD},
  };
  for (const Case &c : cases) {
    Builder b = base();
    if (c.build) c.build(b);
    Bytes v = b.bytes();
    if (c.damage) c.damage(v);
    EXPECT_EQ(load(v), c.rc) << c.what;
  }
}

TEST_F(Loader, MissingFileAndErrorHandles) {
  fstnet *t = fstopen(path("none.is").c_str());
  EXPECT_EQ(fststatus(t), FST_EOPEN);
  fstclose(t);  // an error handle: nothing to release
  fstclose(t);
  EXPECT_EQ(fststatus(fstopen(nullptr)), FST_EOPEN);
  char buf[64];
  EXPECT_EQ(fstlookup("ab", buf, sizeof buf, 3, t), FST_EOPEN);
  fstnet *ok = fstopen(base().save(path("ok.is")).c_str());
  EXPECT_EQ(fststatus(ok), 0);
  fstclose(ok);
}

TEST_F(Loader, SpecialSymbolsDefaultWhenAbsent) {
  struct Case {
    const char *what;
    std::vector<std::pair<std::string, int>> syms;
    int tagsep, eos, tb, eof, eofesc;
  } cases[] = {
      {"no *DIACRITICS*", {}, 0, FST_NONE, FST_NONE, FST_NONE, 0},
      {"TB without EOS", {{"TB", 0x9C00}}, 0, 0x9C, 0x9C, FST_NONE, 0},
      {"all four", {{"*TAGSEP*", 0xA000}, {"EOS", 0xA400}, {"TB", 0x9C00}, {"EOF", 0xA802}},
       0xA0, 0xA4, 0x9C, 0xA8, 2},
      {"names match by length", {{"EOSX", 0xA400}, {"TB", 0x9C00}}, 0, 0x9C, 0x9C, FST_NONE, 0},
  };
  for (const Case &c : cases) {
    Builder b = base();
    if (!c.syms.empty()) b.diacritics(c.syms);
    fstnet *t = fstopen(b.save(path("s.is")).c_str());
    ASSERT_EQ(fststatus(t), 0) << c.what;
    EXPECT_EQ(t->tagsep, c.tagsep) << c.what;
    EXPECT_EQ(t->eos, c.eos) << c.what;
    EXPECT_EQ(t->tb, c.tb) << c.what;
    EXPECT_EQ(t->eof, c.eof) << c.what;
    EXPECT_EQ(t->eofesc, c.eofesc) << c.what;
    fstclose(t);
  }
}

// Home slots as the tag tables compute them.
uint32_t codehome(uint16_t code) { return ((code / 256 % 64) * 4u + code) % 1024; }
uint32_t namehome(const std::string &s) {
  uint32_t h = 0;
  for (char c : s) {
    h = (h << 4) + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
    uint32_t g = h & 0xF0000000u;
    if (g) h ^= g >> 24, h ^= g;
  }
  return h % 1009;
}

TEST_F(Loader, TagTablesProbePastCollisions) {
  // Two codes with one home slot, two names with one home slot, and a
  // repeated code whose later name wins.
  std::vector<uint16_t> codes;
  for (int sym = fsttest::FIRSTSYM; codes.size() < 2 && sym < 256; sym += 4)
    if (codehome(static_cast<uint16_t>(sym << 8)) == codehome(fsttest::FIRSTSYM << 8))
      codes.push_back(static_cast<uint16_t>(sym << 8));
  ASSERT_EQ(codes.size(), 2u);
  std::vector<std::string> names;
  for (int a = 'a'; a <= 'z' && names.size() < 2; a++)
    for (int b = 'a'; b <= 'z' && names.size() < 2; b++)
      for (int c = 'a'; c <= 'z' && names.size() < 2; c++) {
        std::string n = {'+', static_cast<char>(a), static_cast<char>(b), static_cast<char>(c)};
        if (namehome(n) == namehome("+Noun") && n != "+Noun") names.push_back(n);
      }
  ASSERT_EQ(names.size(), 2u);
  Builder b = base();
  b.diacritics({{"*TAGSEP*", 0xF800}});
  b.lists.push_back({"TAGMODE", {}, {"+Noun", names[0], names[1], "+Old", "+New"},
                     {codes[0], codes[1], 0x6800, 0x6C00, 0x6C00}});
  fstnet *t = fstopen(b.save(path("tags.is")).c_str());
  ASSERT_EQ(fststatus(t), 0);
  struct Case {
    const char *in;
    const char *out;
  } cases[] = {{"[+Noun]", "[+Noun]"}, {"[+Old]", "[+New]"}, {"[+New]", "[+New]"}};
  for (const Case &c : cases) {
    uint8_t coded[32];
    char text[128];
    ASSERT_GT(fstencodetext(c.in, coded, sizeof coded, 1, t), 0) << c.in;
    EXPECT_EQ(fstdecodetext(coded, text, sizeof text, 1, t), static_cast<int>(std::strlen(c.out)));
    EXPECT_STREQ(text, c.out);
  }
  for (const std::string &n : names) {
    std::string tag = "[" + n + "]";
    uint8_t coded[32];
    char text[128];
    ASSERT_GT(fstencodetext(tag.c_str(), coded, sizeof coded, 1, t), 0) << n;
    fstdecodetext(coded, text, sizeof text, 1, t);
    EXPECT_EQ(text, tag);
  }
  EXPECT_EQ(fsttagcode(t, "+Noun", 5), codes[0]);
  EXPECT_EQ(fsttagcode(t, "+None", 5), 0);
  fstclose(t);
}

}  // namespace
