// Tests of the plain-text filter and of the markup: hit ranges to tagged
// text in one and two-byte character sets, texts read in small pieces, and
// the failures of the text, the writer and the slots.
#include "dr/drg/drga.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/fixtures/pipe/pipefix.h"
#include "tests/fixtures/server/statefix.h"

namespace {

struct Hit {
  int32_t off;
  int32_t len;
};

struct Markup : statefix::State {
  std::vector<drobj *> made;
  void TearDown() override {
    for (drobj *o : made) drops<drfilops>(o)->free(o);
    statefix::State::TearDown();
  }
  // A plain-text filter bound to a data store.
  drobj *filter(drobj *ds) {
    drobj *f = drganew(st, st->seshp);
    EXPECT_NE(f, nullptr);
    made.push_back(f);
    EXPECT_EQ(drops<drfilops>(f)->bnd(f, 42, ds, 3, 1), 0);
    return f;
  }
  // The markup of one text (served in pieces of `piece` bytes) through the
  // filter's mark slot: its result and what the writer received.
  std::pair<int, std::string> mark(const std::string &text, const std::vector<Hit> &hits,
                                   const char *open = nullptr, const char *close = nullptr,
                                   size_t piece = 0, int failwrite = 0) {
    pipefix::MemStore ds({text}, piece);
    ds.at(0);
    drobj *f = filter(ds.obj());
    ds.off = 3;  // wherever the text was read to: markup starts at its start
    std::vector<int32_t> offs, lens, strengths;
    for (const Hit &h : hits) {
      offs.push_back(h.off);
      lens.push_back(h.len);
      strengths.push_back(50);
    }
    pipefix::Writer w;
    w.failat = failwrite;
    int rc = drops<drfilops>(f)->mark(f, offs.data(), lens.data(), strengths.data(),
                                      static_cast<int32_t>(hits.size()), open, close, w.obj());
    return {rc, w.out};
  }
};

TEST_F(Markup, HitsToTaggedText) {
  const std::string big(5000, 'x');
  struct Case {
    const char *name;
    std::string text;
    std::vector<Hit> hits;
    const char *open, *close;
    std::string out;
  } cases[] = {
      {"one hit", "abcdefghij", {{5, 3}}, nullptr, nullptr, "abcd<<<efg>>>hij"},
      {"touching hits merge", "abcdef", {{1, 2}, {3, 2}}, nullptr, nullptr, "<<<abcd>>>ef"},
      {"overlapping hits merge", "abcdef", {{1, 3}, {2, 3}}, nullptr, nullptr, "<<<abcd>>>ef"},
      {"a hit inside an open range", "abcdefgh", {{2, 5}, {4, 1}}, nullptr, nullptr,
       "a<<<bcdef>>>gh"},
      {"apart", "abcdefgh", {{1, 1}, {3, 1}}, nullptr, nullptr, "<<<a>>>b<<<c>>>defgh"},
      {"no hits", "abcdef", {}, nullptr, nullptr, "abcdef"},
      {"length 0", "abcdef", {{3, 0}}, nullptr, nullptr, "abcdef"},
      {"last character", "abcdef", {{6, 1}}, nullptr, nullptr, "abcde<<<f>>>"},
      {"caller's tags", "abcdef", {{2, 2}}, "<b class=\"hit\">", "</b>", "a<b class=\"hit\">bc</b>def"},
      {"empty tags", "abcdef", {{2, 2}}, "", "", "abcdef"},
      {"hit past the window", big + "abc" + big, {{5001, 3}}, nullptr, nullptr,
       big + "<<<abc>>>" + big},
      {"empty text", "", {}, nullptr, nullptr, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    for (size_t piece : {0u, 1u, 7u}) {
      EXPECT_EQ(mark(c.text, c.hits, c.open, c.close, piece), std::make_pair(0, c.out)) << piece;
    }
  }
}

// Past the end of the text: the text is written, then the markup fails.
TEST_F(Markup, HitPastTheEndFailsAfterTheText) {
  EXPECT_EQ(mark("abc", {{2, 5}}), std::make_pair(1, std::string("a<<<bc")));
  EXPECT_EQ(mark("abc", {{7, 1}}), std::make_pair(1, std::string("abc")));
}

// A writer that fails at any of its appends (text, tag, hit, tag, rest)
// fails the markup.
TEST_F(Markup, FailingWriter) {
  for (int k : {1, 2, 3, 4, 5}) {
    SCOPED_TRACE(k);
    EXPECT_EQ(mark("abcdef", {{2, 2}}, nullptr, nullptr, 0, k).first, 1);
  }
  EXPECT_EQ(mark("abcdef", {{2, 2}}, nullptr, nullptr, 0, 6).first, 0);
}

// In a two-byte set, offsets and lengths count characters, and no tag falls
// inside one, also when the text comes a byte at a time.
struct GbkMarkup : Markup {
  GbkMarkup() { nls = "SIMPLIFIED CHINESE_CHINA.ZHS16GBK"; }
};

TEST_F(GbkMarkup, OffsetsCountCharacters) {
  const std::string a = "\xC4\xE3", b = "\xBA\xC3", c = "\x81\x40";  // two-byte characters
  const std::string text = a + "x" + b + c + "y";
  struct Case {
    std::vector<Hit> hits;
    std::string out;
  } cases[] = {
      {{{1, 1}}, "<<<" + a + ">>>x" + b + c + "y"},
      {{{2, 2}}, a + "<<<x" + b + ">>>" + c + "y"},
      {{{3, 2}}, a + "x<<<" + b + c + ">>>y"},
      {{{4, 2}}, a + "x" + b + "<<<" + c + "y>>>"},
  };
  for (const Case &k : cases) {
    for (size_t piece : {0u, 1u, 3u}) {
      SCOPED_TRACE(piece);
      EXPECT_EQ(mark(text, k.hits, nullptr, nullptr, piece), std::make_pair(0, k.out));
    }
  }
}

// The slots of the plain-text filter: the data store's, and the refusals.
TEST_F(Markup, PlainTextSlots) {
  pipefix::MemStore ds({"first", "second"});
  drobj *f = filter(ds.obj());
  const drfilops *ops = drops<drfilops>(f);
  // A second binding is refused without a message.
  EXPECT_EQ(ops->bnd(f, 43, ds.obj(), 3, 1), 1);
  EXPECT_TRUE(stacknums().empty());
  int32_t n = 0, op = 0;
  EXPECT_EQ(ops->count(f, &n), 0);
  EXPECT_EQ(n, 2);
  char key[DRDS_KEYSIZE];
  EXPECT_EQ(ops->next(f, &op, key), 0);
  EXPECT_STREQ(key, "1");
  // Without a key buffer the data store stays where it is.
  EXPECT_EQ(ops->next(f, &op, nullptr), 0);
  EXPECT_EQ(ds.cur, 0);
  char buf[16];
  int32_t got = 0;
  EXPECT_EQ(ops->seek(f, 2, 0), 0);
  EXPECT_EQ(ops->read(f, buf, 16, &got), 0);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(got)), "rst");
  int32_t at = 0;
  EXPECT_EQ(ops->tell(f, &at), 0);
  EXPECT_EQ(at, 5);
  EXPECT_EQ(ops->read(f, buf, 16, &got), 2);
  EXPECT_EQ(ops->setmode(f, 2), 0);
  EXPECT_EQ(ops->reset(f, 1), 0);
  EXPECT_EQ(ops->next(f, &op, key), 0);
  EXPECT_EQ(ops->next(f, &op, key), 2);
  EXPECT_EQ(op, 4);
  pipefix::Writer w;
  EXPECT_EQ(ops->icf(f, w.obj()), 1);
  EXPECT_EQ(stacknums(), std::vector<int>{11210});
  // An unbound filter has no data store to go to.
  rtmsgclr(st->msg);
  drobj *u = drganew(st, st->seshp);
  made.push_back(u);
  EXPECT_EQ(drops<drfilops>(u)->count(u, &n), 1);
  EXPECT_EQ(stacknums(), std::vector<int>{50600});
}

}  // namespace
