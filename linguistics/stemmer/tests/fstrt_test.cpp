// The transducer runtime's other operations: coded lookup, coding by type,
// the tokenizer, the resumable enumeration, and what a transducer says about
// itself.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "linguistics/stemmer/fstint.h"
#include "linguistics/stemmer/tests/fstbuild.h"
#include "linguistics/stemmer/tests/fsttmp.h"

namespace {

using fsttest::Builder;
using fsttest::CONT;
using fsttest::EPS;
using fsttest::FIN;
using fsttest::SIB;

using Strs = std::vector<std::string>;

using fsttest::S;
constexpr int SP = 0xF0, TB = 0xF4;  // the blank's symbol and the token boundary

Strs split(const char *buf, int n) {
  Strs v;
  for (int i = 0, at = 0; i < n; i++) {
    v.emplace_back(buf + at);
    at += static_cast<int>(v.back().size()) + 1;
  }
  return v;
}

struct Runtime : fsttest::Scratch {
  fstnet *t = nullptr;
  void TearDown() override {
    fstclose(t);
    Scratch::TearDown();
  }
  void open(const Builder &b) {
    t = fstopen(b.save(path("rt.is")).c_str());
    ASSERT_EQ(fststatus(t), 0);
  }
  // A tokenizer: "a" alone ends a token before anything, "ab" ends at a
  // blank, and an input starting with "b" gives an empty token.
  static Builder tokenizer() {
    Builder b;
    b.alpha("abcdefghijklmnopqrstuvwxyz");
    b.page0[' '] = SP << 8;
    b.out[(SP - fsttest::L) / 4] = ' ';
    b.diacritics({{"TB", TB << 8}});
    b.mark("start").b({EPS, EPS | SIB, TB | FIN, 0, S('a'), EPS | SIB, TB | FIN, 0, S('b'), SP, CONT,
                       TB | FIN, 0});
    b.subs.push_back({"start"});
    b.funcs[28] = 0;
    return b;
  }
  uint8_t *code(const char *text, uint8_t *buf, int room) {
    EXPECT_GE(fstencodetext(text, buf, room, 1, t), 0) << text;
    return buf;
  }
};

TEST_F(Runtime, TokenizerFindsTokensAndTheirEnds) {
  open(tokenizer());
  struct Case {
    const char *in;
    int all, poscap, rc;
    Strs tokens;
    std::vector<int32_t> ends;
  } cases[] = {
      {"ab ", 1, 8, 3, {"", "a", "ab"}, {0, 1, 3}},
      {"ab ", 0, 8, 0, {""}, {0}},        // the first token only, and it is empty
      {"ab ", 1, 2, FST_ETOOLONG, {}, {}},  // no room for the third end
      {"a", 1, 8, FST_EPARTIAL, {}, {}},  // "ab" would need more input
      {"ab ", 2, 8, FST_EFUNC, {}, {}},
  };
  for (const Case &c : cases) {
    uint8_t coded[32];
    char buf[128];
    int32_t pos[8] = {};
    int n = fsttokenize(code(c.in, coded, sizeof coded), buf, sizeof buf, pos, c.poscap, c.all, t);
    EXPECT_EQ(n, c.rc) << c.in;
    if (n < 0) continue;
    EXPECT_EQ(split(buf, n ? n : 1), c.tokens) << c.in;
    EXPECT_EQ(std::vector<int32_t>(pos, pos + c.tokens.size()), c.ends) << c.in;
  }
}

TEST_F(Runtime, TokenizerWithoutTokens) {
  Builder b = tokenizer();
  b.net.clear();
  b.mark("start").b({EPS, S('a'), SP, CONT, TB | FIN, 0});
  open(b);
  uint8_t coded[32];
  char buf[64];
  int32_t pos[4];
  EXPECT_EQ(fsttokenize(code("b", coded, 32), buf, 64, pos, 4, 1, t), FST_ETOKEN);
  uint8_t cbuf[64];
  EXPECT_EQ(fsttokenizec(code("a ", coded, 32), cbuf, 64, pos, 4, 1, t), 1);
  EXPECT_EQ(cbuf[0], S('a'));  // the coded bytes before the boundary
  EXPECT_EQ(cbuf[1], 0);
  uint16_t wbuf[64];
  EXPECT_EQ(fsttokenizew(code("a ", coded, 32), wbuf, 64, pos, 4, 1, t), 1);
  EXPECT_EQ(wbuf[0], 'a');
  EXPECT_EQ(wbuf[1], 0);
  EXPECT_EQ(pos[0], 2);  // 16-bit tokens keep the input position reached
}

TEST_F(Runtime, FunctionsMissingFromTheTransducer) {
  Builder b = tokenizer();
  b.funcs.clear();
  b.funcs[12] = 0;
  open(b);
  uint8_t coded[16];
  char buf[64];
  int32_t pos[4];
  EXPECT_EQ(fsttokenize(code("a", coded, 16), buf, 64, pos, 4, 1, t), FST_EFUNC);
  fstbuf *lb = fstbufnew(32, 32, 10, 0);
  EXPECT_EQ(fstenum("a", buf, 64, lb, 0, 0, 10, 0, t), FST_EFUNC);
  fstbuffree(lb);
  EXPECT_EQ(fstcaps(t), 9);
}

// An enumeration lexicon: ab, abc, abd, abcdefghij, b.
Builder enumlex() {
  Builder b;
  b.alpha("abcdefghijklmnopqrstuvwxyz");
  b.words({b.align("ab", "ab"), b.align("abc", "abc"), b.align("abd", "abd"),
           b.align("abcdefghij", "abcdefghij"), b.align("b", "b")});
  b.funcs.clear();
  b.funcs[1] = 0;
  return b;
}

TEST_F(Runtime, EnumerationFindsCompletions) {
  open(enumlex());
  struct Case {
    const char *text;
    int freeprefix, min, max, rc;
    Strs want;
  } cases[] = {
      {"ab", 0, 0, 20, 4, {"ab", "abc", "abcdefghij", "abd"}},
      {"ab", 0, 3, 5, 2, {"abc", "abd"}},
      {"ab", 0, 0, 2, 1, {"ab"}},
      {"b", 1, 0, 3, 3, {"ab", "abc", "abd"}},  // one free character, then b
      {"", 0, 0, 1, 1, {"b"}},
      {"x", 0, 0, 20, 0, {}},
  };
  for (const Case &c : cases) {
    fstbuf *lb = fstbufnew(32, 32, 20, 0);
    ASSERT_EQ(fststatus(lb), 0);
    char buf[128];
    int n = fstenum(c.text, buf, sizeof buf, lb, c.freeprefix, c.min, c.max, 0, t);
    EXPECT_EQ(n, c.rc) << c.text;
    if (n > 0) {
      EXPECT_EQ(split(buf, n), c.want) << c.text;
    }
    EXPECT_EQ(fstbufpending(lb), 0);
    fstbuffree(lb);
  }
}

TEST_F(Runtime, EnumerationResumesWhereTheBufferFilled) {
  open(enumlex());
  fstbuf *lb = fstbufnew(32, 32, 20, 7);
  char buf[128];
  // Not even the first result fits: it waits for the next call.
  EXPECT_EQ(fstenum("ab", buf, 2, lb, 0, 0, 20, 0, t), FST_ECLIENT);
  EXPECT_EQ(fstbufpending(lb), 1);
  EXPECT_EQ(fstenum("ab", buf, 7, lb, 0, 0, 20, 1, t), FST_EMORE);  // "ab", "abc"
  EXPECT_EQ(split(buf, 2), (Strs{"ab", "abc"}));
  EXPECT_EQ(fstbuflen(lb), 7);
  EXPECT_EQ(fstenum("ab", buf, 128, lb, 0, 0, 20, 1, t), 2);
  EXPECT_EQ(split(buf, 2), (Strs{"abcdefghij", "abd"}));
  EXPECT_EQ(fstbufpending(lb), 0);
  EXPECT_EQ(fstenum("ab", buf, 128, lb, 0, 0, 20, 1, t), 0);  // the walk has ended
  EXPECT_EQ(fstbufbrackets(lb, '<', '>'), '>');
  fstbuffree(lb);

  fstbuf *small = fstbufnew(4, 32, 20, 0);
  EXPECT_EQ(fstenum("abcdefghij", buf, 128, small, 0, 0, 20, 0, t), FST_ECODEDIN);
  fstbuffree(small);
  fstbuf *narrow = fstbufnew(32, 4, 20, 0);
  EXPECT_EQ(fstenum("abcdefghij", buf, 128, narrow, 0, 0, 20, 0, t), FST_ECODEDOUT);
  fstbuffree(narrow);
  fstbuf *shallow = fstbufnew(32, 32, 1, 0);
  EXPECT_EQ(fstenum("", buf, 128, shallow, 0, 0, 20, 0, t), FST_ESTACK);
  fstbuffree(shallow);
  EXPECT_EQ(fststatus(fstbufnew(-1, 0, 0, 0)), FST_ENOMEM);
}

TEST_F(Runtime, CodingByType) {
  Builder b;
  b.alpha("abc");
  b.escaped('Z', S('a'), 1);
  b.diacritics({{"EOS", 0xF000}, {"EOF", 0xF402}});
  b.out[(0xF0 - fsttest::L) / 4] = '$';
  b.mark("start").b({EPS, 0}).lexicon("start");
  open(b);
  uint8_t coded[16];
  EXPECT_EQ(fstencodetext("ab", coded, 16, 0, t), 3);  // the end-of-string symbol appended
  EXPECT_EQ(coded[2], 0xF0);
  char text[16];
  EXPECT_EQ(fstdecodetext(coded, text, 16, 0, t), 2);  // type 0 stops there
  EXPECT_STREQ(text, "ab");
  EXPECT_EQ(fstdecodetext(coded, text, 16, 1, t), 3);  // others write a 0
  EXPECT_EQ(std::string(text, 3), std::string("ab\0", 3));
  EXPECT_EQ(fstencodetext("ab", coded, 16, 2, t), 5);  // end of file: escapes, then its symbol
  EXPECT_EQ(std::vector<uint8_t>(coded, coded + 6),
            (std::vector<uint8_t>{static_cast<uint8_t>(S('a')), static_cast<uint8_t>(S('b')), fsttest::ESC,
                                  fsttest::ESC, 0xF4, 0}));
  EXPECT_EQ(fstencodetext("ab", coded, 5, 2, t), FST_ETOOLONG);
  EXPECT_EQ(fstencodetext("ab", coded, 16, 1, t), 2);
  EXPECT_EQ(fstencodetext("aZc", coded, 16, 1, t), 4);
  int32_t pos[] = {0, 1, 2, 3, 4, 9}, out[6];
  EXPECT_EQ(fstcodedpos(pos, 6, out, coded, t), 6);  // escape bytes do not count
  EXPECT_EQ(std::vector<int32_t>(out, out + 6), (std::vector<int32_t>{0, 1, 1, 2, 3, 3}));
  EXPECT_EQ(fstdecodetext(coded, text, 3, 1, t), FST_ETOOLONG);
  EXPECT_EQ(fstdecodetext(coded, text, 0, 1, t), FST_ETOOLONG);
}

TEST_F(Runtime, CodedLookupReturnsCodedResults) {
  Builder b;
  b.alpha("abcdefghijklmnopqrstuvwxyz");
  b.mark("start").b({EPS, S('a') | FIN, CONT | SIB, S('x') | FIN | SIB, 0, S('y') | FIN, 0, S('b') | FIN, 0});
  b.lexicon("start");
  open(b);
  const uint8_t a[] = {static_cast<uint8_t>(S('a')), 0};
  uint8_t buf[64];
  EXPECT_EQ(fstlookupc(a, buf, 64, 3, t), 3);
  EXPECT_EQ(std::vector<uint8_t>(buf, buf + 6),
            (std::vector<uint8_t>{static_cast<uint8_t>(S('a')), 0, static_cast<uint8_t>(S('x')), 0,
                                  static_cast<uint8_t>(S('y')), 0}));
  EXPECT_EQ(fstlookupc(a, buf, 64, 5, t), 1);  // there is a result
  EXPECT_EQ(fstlookupc(a, buf, 64, 7, t), 1);  // the shortest is one byte long
  const uint8_t q[] = {static_cast<uint8_t>(S('q')), 0};
  EXPECT_EQ(fstlookupc(q, buf, 64, 5, t), 0);
  EXPECT_EQ(fstlookupc(a, buf, 8, 3, t), FST_ETOOLONG);  // two results fill 2 bytes
  EXPECT_EQ(fstlookupc(a, buf, 64, 11, t), FST_EFUNC);
  const uint8_t x[] = {static_cast<uint8_t>(S('x')), 0};
  EXPECT_EQ(fstlookupc(x, buf, 64, 9, t), 1);
  EXPECT_EQ(buf[0], S('a'));
}

TEST_F(Runtime, WhatATransducerSaysAboutItself) {
  struct Case {
    const char *desc, *after;
    int room;
    const char *info;
    int inforc;
    const char *version;
  } cases[] = {
      {"line one\r\nline two\r\n", "", 64, "line one line two", 0, "1.0"},
      {"a\rb", "2.5.1", 64, "a b", 0, "2.5.1"},
      {"lexicon", "Made here\r\n\r\n3.10\r\n", 64, "lexicon", 0, "3.10"},
      {"lexicon", "Made here\r\n3.10", 64, "lexicon", 0, "1.0"},
      {"lexicon", "12", 64, "lexicon", 0, "1.0"},  // no dot
      {"lexicon", "1.2x", 64, "lexicon", 0, "1.0"},
      {"lexicon", "", 8, "lexicon", FST_ETOOLONG, "1.0"},  // room - 1 bytes are too many
  };
  for (const Case &c : cases) {
    Builder b;
    b.alpha("a");
    b.desc = c.desc;
    b.afterdesc = c.after;
    b.mark("start").b({EPS, 0}).lexicon("start");
    b.funcs[1] = 0;
    b.b7 = 7;
    b.b50 = 50;
    b.p8 = 0x01020304;
    open(b);
    char buf[64];
    EXPECT_EQ(fstinfo(buf, c.room, t), c.inforc) << c.desc;
    EXPECT_STREQ(buf, c.info) << c.desc;
    EXPECT_EQ(fstversion(buf, 64, t), 0) << c.after;
    EXPECT_STREQ(buf, c.version) << c.after;
    EXPECT_EQ(fstcaps(t), 203);  // functions 12, 27 and 1
    EXPECT_EQ(fstprop8(t), 0x01020304u);
    EXPECT_EQ(fstprop7(t), 7);
    EXPECT_EQ(fstprop50(t), 50);
    fstclose(t);
    t = nullptr;
  }
}

TEST(RuntimeText, MessagesAndVersion) {
  struct Case {
    int code, room, rc;
    const char *want;
  } cases[] = {
      {0, 64, 0, "No error occurred."},
      {-13, 200, 0, "The backtracking stack overflowed, because there are too many pending ambiguities in the input during lookup."},
      {-10, 10, FST_ETOOLONG, "A charact"},
      {-5, 64, 0, "Unknown error code."},
      {-26, 64, 0, "Unknown error code."},
      {1, 64, 0, "Unknown error code."},
  };
  for (const Case &c : cases) {
    char buf[256];
    EXPECT_EQ(fsterrtext(c.code, buf, c.room), c.rc) << c.code;
    EXPECT_STREQ(buf, c.want) << c.code;
  }
  char buf[8];
  EXPECT_EQ(fsterrtext(0, buf, 0), FST_ETOOLONG);
  EXPECT_EQ(fstlibversion(buf, 8), 0);
  EXPECT_STREQ(buf, "1.0.5");
  EXPECT_EQ(fstlibversion(buf, 3), FST_ETOOLONG);
  EXPECT_STREQ(buf, "1.");
}

}  // namespace
