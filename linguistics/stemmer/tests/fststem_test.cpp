// Transducer lookup over networks written byte by byte, one per construct:
// results and their order in every direction, and the lookup's errors.
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
using fsttest::CONT;
using fsttest::DENSE;
using fsttest::EPS;
using fsttest::ESC;
using fsttest::FIN;
using fsttest::FLAG;
using fsttest::flagbyte;
using fsttest::SIB;

using Strs = std::vector<std::string>;

using fsttest::S;  // a = 0x54, b = 0x58, ... z = 0xB8

Builder with(std::function<void(Builder &)> net) {
  Builder b;
  b.alpha("abcdefghijklmnopqrstuvwxyz");
  b.mark("start");
  net(b);
  b.lexicon("start");
  return b;
}

struct Lookup : fsttest::Scratch {
  fstnet *open(const Builder &b) {
    fstnet *t = fstopen(b.save(path("t.is")).c_str());
    EXPECT_EQ(fststatus(t), 0);
    return t;
  }
  // Looks up a word; the code, and the results when there are any.
  static int run(const fstnet *t, const char *word, int mode, Strs *res, int size = 512) {
    std::vector<char> buf(size + 8, '#');
    int n = fstlookup(word, buf.data(), size, mode, t);
    for (int i = size; i < size + 8; i++) EXPECT_EQ(buf[i], '#') << "written past the buffer";
    res->clear();
    for (int i = 0, at = 0; i < n; i++) {
      res->emplace_back(&buf[at]);
      at += static_cast<int>(res->back().size()) + 1;
    }
    return n;
  }
};

struct Row {
  const char *word;
  int mode;
  int rc;
  Strs want;
};

struct Net {
  const char *what;
  std::function<void(Builder &)> build;
  std::vector<Row> rows;
};

TEST_F(Lookup, EachConstructGivesItsResultsInOrder) {
  const Net nets[] = {
      {"identity arcs",
       [](Builder &b) { b.b({EPS, S('a') | SIB, S('b') | SIB | FIN, 0, S('c') | FIN, 0, S('b') | FIN, 0}); },
       {{"ab", 3, 1, {"ab"}}, {"ac", 2, 1, {"ac"}}, {"b", 3, 1, {"b"}}, {"a", 3, 0, {}},
        {"abc", 3, 0, {}}, {"ad", 3, 0, {}}, {"ab", 9, 1, {"ab"}}, {"ac", 8, 1, {"ac"}}}},
      {"a pair beside its identity continuation",
       [](Builder &b) { b.b({EPS, S('a') | FIN, CONT | SIB, S('x') | FIN, 0, S('b') | FIN, 0}); },
       {{"a", 3, 2, {"a", "x"}}, {"ab", 3, 1, {"ab"}}, {"x", 9, 1, {"a"}}, {"a", 9, 1, {"a"}},
        {"ab", 9, 1, {"ab"}}, {"b", 9, 0, {}}}},
      {"input-free arcs",
       [](Builder &b) {
         b.b({EPS, S('a'), EPS | SIB, S('y') | FIN, 0, S('b') | FIN, CONT, EPS | FIN | SIB, 0,
              S('z') | FIN, 0});
       },
       {{"a", 3, 1, {"ay"}}, {"ab", 3, 3, {"ab", "a", "az"}}, {"ay", 9, 1, {"a"}}, {"a", 9, 1, {"ab"}},
        {"ab", 9, 1, {"ab"}}}},
      {"two paths to one result",
       [](Builder &b) {
         b.b({EPS, EPS | SIB, S('b'), S('a'), CONT | FIN, EPS | FIN, 0, S('a'), CONT, S('b') | FIN, 0});
       },
       {{"a", 3, 1, {"b"}}, {"a", 2, 1, {"b"}}, {"b", 9, 1, {"a"}}}},
      {"flags: a set value, then a failing and a passing check",
       [](Builder &b) {
         b.b({EPS, FLAG, flagbyte(1, 2), S('a'), FLAG, flagbyte(1, 3) | SIB, S('b'), CONT,
              S('z') | FIN, 0, flagbyte(1, 2), S('b') | FIN, 0});
       },
       {{"ab", 3, 1, {"ab"}}, {"ab", 9, 1, {"ab"}}, {"az", 9, 0, {}}}},
      {"flags: a cleared flag takes the next value",
       [](Builder &b) {
         b.b({EPS, FLAG, flagbyte(1, 2), FLAG, flagbyte(1, 0), S('a'), FLAG, flagbyte(1, 3) | SIB,
              S('b'), CONT, S('z') | FIN, 0, flagbyte(1, 2), S('b') | FIN, 0});
       },
       {{"ab", 3, 2, {"az", "ab"}}}},
      {"flags: numbers 8 to 15 keep nothing",
       [](Builder &b) {
         b.b({EPS, FLAG, flagbyte(9, 2), S('a'), FLAG, flagbyte(9, 3) | SIB, S('b'), CONT,
              S('z') | FIN, 0, flagbyte(9, 2), S('b') | FIN, 0});
       },
       {{"ab", 3, 2, {"az", "ab"}}, {"az", 9, 1, {"ab"}}}},
      {"a dense table as the only arc",
       [](Builder &b) {
         b.b({EPS, DENSE}).p3("tab");
         b.mark("tab").b({S('c') | FIN, 0, 0, 0, S('x'), 0, 0, 0, S('e') | FIN, 0, 0, 0});
       },
       {{"c", 3, 1, {"c"}}, {"e", 3, 1, {"e"}}, {"d", 3, 0, {}}, {"a", 3, 0, {}}}},
      {"a dense table beside a sorted arc",
       [](Builder &b) {
         b.b({EPS, DENSE | SIB}).p3("tab").b({S('x') | FIN, 0});
         b.mark("tab").b({S('c') | FIN, 0, 0, 0});
       },
       {{"x", 3, 1, {"x"}}, {"c", 3, 1, {"c"}}, {"b", 3, 0, {}}}},
      {"an output-side list with the remembered sibling",
       [](Builder &b) {
         b.b({EPS, S('a'), CONT, DENSE | SIB}).p3("list").b({S('r') | FIN, 0});
         b.mark("list").b({S('p') | SIB | FIN, 0, 0, 0, S('r') | SIB, 0, 0, 0, S('q') | FIN, 0, 0, 0});
       },
       {{"a", 3, 3, {"p", "r", "q"}}}},
      {"an output-side list skipping ahead and writing its own label",
       [](Builder &b) {
         b.out[(DENSE - fsttest::L) / 4] = '#';
         b.b({EPS, S('a'), CONT, DENSE}).p3("list");
         b.mark("list").b({DENSE | SIB, 8, 0, 0, S('z'), 0, 0, 0, S('p') | SIB | FIN, 0, 0, 0,
                           DENSE | FIN, 0, 0, 0});
       },
       {{"a", 3, 2, {"p", "#"}}}},
      {"one-, two- and three-byte pointers, 24-bit tables",
       [](Builder &b) {
         b.first2 = 2, b.first3 = 3, b.ptr1 = {"tail"}, b.ptr2 = {"tail"};
         b.b({EPS, S('b') | SIB, 1, S('c') | SIB, 2, 0, S('d')}).p3("tail");
         b.mark("tail").b({S('x') | FIN, 0});
       },
       {{"bx", 3, 1, {"bx"}}, {"cx", 3, 1, {"cx"}}, {"dx", 3, 1, {"dx"}}, {"b", 3, 0, {}},
        {"cx", 9, 1, {"cx"}}}},
      {"one-, two- and three-byte pointers, 16-bit tables",
       [](Builder &b) {
         b.first2 = 2, b.first3 = 3, b.ptr1 = {"tail"}, b.ptr2 = {"tail"}, b.ptrwidth = 2;
         b.b({EPS, S('b') | SIB, 1, S('c') | SIB, 2, 0, S('d')}).p3("tail");
         b.mark("tail").b({S('x') | FIN, 0});
       },
       {{"bx", 3, 1, {"bx"}}, {"cx", 3, 1, {"cx"}}, {"dx", 3, 1, {"dx"}}}},
      {"extended arcs",
       [](Builder &b) {
         b.flags = 1;
         b.b({EPS, S('b') | SIB}).p3("tail").b({7, S('c') | SIB}).p3("tail").b({0, 5, 9});
         b.b({S('d') | SIB}).p3("tail").b({0, 0, 1, 2, 3, S('e')}).p3("tail").b({4});
         b.mark("tail").b({S('x') | FIN, 0});
       },
       {{"bx", 3, 1, {"bx"}}, {"cx", 3, 1, {"cx"}}, {"dx", 3, 1, {"dx"}}, {"ex", 3, 1, {"ex"}},
        {"ex", 9, 1, {"ex"}}}},
      {"escapes before the symbol",
       [](Builder &b) {
         b.escaped('Z', S('a'), 1);
         b.b({EPS, S('a'), ESC, S('a') | FIN, 0});
       },
       {{"aZ", 3, 1, {"aZ"}}, {"aa", 3, 0, {}}, {"aZ", 9, 1, {"aZ"}}}},
      {"escapes after the symbol",
       [](Builder &b) {
         b.escafter = 1;
         b.escaped('Z', S('a'), 1);
         b.b({EPS, S('a'), S('a'), ESC | FIN, 0});
       },
       {{"aZ", 3, 1, {"aZ"}}, {"aa", 3, 0, {}}, {"aZ", 9, 1, {"aZ"}}}},
      {"tags on the lexical side",
       [](Builder &b) {
         b.diacritics({{"*TAGSEP*", 0xF800}});
         b.lists.push_back({"TAGMODE", {}, {"+Pl", "+Sg"}, {0xF400, 0xF000}});
         b.b({EPS, S('c'), S('a'), S('t'), EPS | SIB, 0xF8, EPS, 0xF0 | FIN, 0, S('s'), CONT, 0xF8,
              EPS, 0xF4 | FIN, 0});
       },
       {{"cats", 3, 1, {"cat[+Pl]"}}, {"cat", 3, 1, {"cat[+Sg]"}}, {"cat[+Pl]", 9, 1, {"cats"}},
        {"cat[+Sg]", 9, 1, {"cat"}}, {"cat[+Pl", 9, FST_ETAG, {}}, {"cat[+Du]", 9, FST_EALPHA, {}},
        {"cat[+Pl]", 3, FST_EALPHA, {}}}},
      {"modes by collector",
       [](Builder &b) { b.words({b.align("a", "xx"), b.align("a", "y"), b.align("a", "z")}); },
       {{"a", 3, 3, {"xx", "y", "z"}}, {"a", 2, 3, {"xx", "y", "z"}}, {"a", 5, 1, {"xx"}},
        {"a", 4, 1, {"xx"}}, {"a", 7, 1, {"y"}}, {"a", 6, 1, {"y"}}, {"y", 8, 1, {"a"}},
        {"a", 1, FST_EFUNC, {}}, {"a", 10, FST_EFUNC, {}}, {"q", 3, 0, {}}, {"A", 3, FST_EALPHA, {}}}},
  };
  for (const Net &n : nets) {
    fstnet *t = open(with(n.build));
    if (!t || fststatus(t)) continue;
    for (const Row &r : n.rows) {
      Strs got;
      EXPECT_EQ(run(t, r.word, r.mode, &got), r.rc) << n.what << ": " << r.word << " mode " << r.mode;
      if (r.rc > 0) {
        EXPECT_EQ(got, r.want) << n.what << ": " << r.word << " mode " << r.mode;
      }
    }
    fstclose(t);
  }
}

TEST_F(Lookup, AnUnknownCharacterIsRefusedBeforeAnyWalk) {
  Builder b = with([](Builder &x) { x.b({EPS, S('a') | FIN, 0}); });
  b.funcs.erase(12);
  fstnet *t = open(b);
  Strs got;
  EXPECT_EQ(run(t, "a!", 2, &got), FST_EALPHA);  // function 12 is missing too
  EXPECT_EQ(run(t, "a", 2, &got), FST_EFUNC);
  EXPECT_EQ(run(t, "a", 3, &got), 1);
  fstclose(t);
}

TEST_F(Lookup, ResultsThatDoNotFitAreRefused) {
  Builder b;
  b.alpha("axy");
  b.escaped('Z', S('a'), 1);
  b.words({b.align("a", "xxxxxxxx"), b.align("a", "yyyyyyyy"), b.align("x", "ZZZZ")});
  fstnet *t = open(b);
  struct Case {
    const char *word;
    int size, rc;
  } cases[] = {
      {"a", 28, FST_ETOOLONG},  // the second result overflows the result area
      {"a", 44, 2},
      {"x", 20, FST_ETOOLONG},  // four escaped symbols overflow the walk's output
      {"x", 24, 1},
      {"a", 0, FST_ETOOLONG}, {"a", 1, FST_ETOOLONG}, {"a", 2, FST_ETOOLONG}, {"a", 3, FST_ETOOLONG},
      {"a", 4, FST_ETOOLONG}, {"", 4, FST_ETOOLONG},
  };
  for (const Case &c : cases) {
    Strs got;
    EXPECT_EQ(run(t, c.word, 3, &got, c.size), c.rc) << c.word << " in " << c.size;
  }
  fstclose(t);
}

TEST_F(Lookup, TheStackHoldsAHundredPendingChoices) {
  // A chain of levels, each leaving one choice pending: an input-free arc
  // with a dead sibling.
  for (int levels : {100, 101}) {
    Builder b = with([levels](Builder &x) {
      x.b({EPS}).p3("l0");
      for (int i = 0; i < levels; i++) {
        x.mark("l" + std::to_string(i)).b({EPS | SIB});
        if (i + 1 < levels) x.b({S('y')}).p3("l" + std::to_string(i + 1));
        else x.b({S('y') | FIN, 0});
        x.b({EPS, S('z'), 0});
      }
    });
    fstnet *t = open(b);
    Strs got;
    if (levels == 100) {
      EXPECT_EQ(run(t, "", 3, &got), 1);
      EXPECT_EQ(got, Strs{std::string(100, 'y')});
    } else {
      EXPECT_EQ(run(t, "", 3, &got), FST_ESTACK);
    }
    fstclose(t);
  }
}

TEST_F(Lookup, ADamagedNetworkEndsTheLookup) {
  struct Case {
    const char *what;
    std::function<void(Builder &)> build;
  } cases[] = {
      {"a pointer past the network", [](Builder &b) { b.b({EPS, S('a'), b.first3 + 9, 0, 0}); }},
      {"a pointer to itself", [](Builder &b) { b.b({EPS, S('a')}).mark("self").p3("self"); }},
      {"input-free arcs in a loop",
       [](Builder &b) { b.b({EPS}).mark("loop").b({EPS, EPS}).p3("loop"); }},
      {"an arc list running off the end", [](Builder &b) { b.b({EPS, S('a') | SIB, S('b')}); }},
  };
  for (const Case &c : cases) {
    fstnet *t = open(with(c.build));
    Strs got;
    EXPECT_EQ(run(t, "ab", 3, &got), FST_EBAD) << c.what;
    EXPECT_EQ(run(t, "ab", 9, &got), FST_EBAD) << c.what;
    fstclose(t);
  }
}

TEST_F(Lookup, SixteenBitTextOverTwoPages) {
  Builder b;
  b.flags = 2;
  b.highpage = 1;
  b.alpha("ab");
  b.pages.push_back({0x00, 0x01, {0, static_cast<uint16_t>(S('a') << 8 | 1)}});
  b.out[(S('a') - fsttest::L) / 4 + fsttest::STEP] = 0x0101;
  b.mark("start").b({EPS, S('a'), ESC, S('a') | FIN, 0, 0});
  b.lexicon("start");
  fstnet *t = open(b);
  const uint16_t word[] = {'a', 0x0101, 0};
  uint16_t buf[64];
  EXPECT_EQ(fstlookupw(word, buf, 64, 3, t), 1);
  EXPECT_EQ(buf[0], 'a');
  EXPECT_EQ(buf[1], 0x0101);
  EXPECT_EQ(buf[2], 0);
  EXPECT_EQ(fstlookupw(word, buf, 64, 9, t), 1);
  EXPECT_EQ(buf[1], 0x0101);
  EXPECT_EQ(fstlookupw(word, buf, 64, 5, t), 2);  // first: the result's length
  EXPECT_EQ(fstlookupw(word, buf, 64, 7, t), 2);
  const uint16_t off[] = {'a', 0x0201, 0}, outside[] = {'a', 0x0102, 0};
  EXPECT_EQ(fstlookupw(off, buf, 64, 3, t), FST_EALPHA);
  EXPECT_EQ(fstlookupw(outside, buf, 64, 3, t), FST_EALPHA);
  char text[64];
  EXPECT_EQ(fstlookup("ab", text, 64, 3, t), 0);  // 8-bit text reads 16-bit codes too
  fstclose(t);
}

}  // namespace
