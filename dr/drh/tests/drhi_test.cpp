// The in-memory term index of one document: cursors over one term, several
// terms and a prefix, their order, chunks past the first, a head array that
// grows, words whose extent wraps to 0, and the tokens that are no words.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "dr/dras/drtoken.h"
#include "tests/fixtures/query/hifix.h"
#include "tests/fixtures/server/statefix.h"

namespace {

// (character offset, word position) of each occurrence a cursor gives.
using Occs = std::vector<std::pair<uint32_t, uint32_t>>;

struct DocIndex : statefix::State {
  void SetUp() override {
    nls = "AMERICAN_AMERICA.WE8ISO8859P1";
    statefix::State::SetUp();
    ASSERT_EQ(dracnchp(st), 0);
  }
  // Every occurrence of a cursor, then releases it.
  static Occs walk(hifix::Doc &d, drhicur *c) {
    Occs out;
    for (;;) {
      dryocc *o = nullptr;
      EXPECT_EQ(d.ops()->next(d.obj(), c, &o), 0);
      if (!o) break;
      EXPECT_EQ(o->score, 100);
      out.emplace_back(o->off, o->wpos);
    }
    d.ops()->release(d.obj(), &c);
    EXPECT_EQ(c, nullptr);
    return out;
  }
};

TEST_F(DocIndex, CursorsGiveTheirTermsOccurrencesInWordOrder) {
  // Offsets:        0   4    9   13   18   23  27
  hifix::Doc d(st, {"red boat red sky. boat red rest"});
  ASSERT_EQ(d.build(), 0);
  struct Case {
    const char *what;
    std::vector<const char *> terms;  // one text: a term; "*X": prefix X
    bool many;                         // the several-terms cursor
    Occs want;
  } cases[] = {
      {"a term once keeps its occurrence in its element", {"SKY"}, false, {{13, 3}}},
      {"a term three times", {"RED"}, false, {{0, 0}, {9, 2}, {23, 5}}},
      {"an absent term", {"ZEBRA"}, false, {}},
      {"several terms merge; an absent one leaves no gap",
       {"SKY", "ZEBRA", "BOAT"}, true, {{4, 1}, {13, 3}, {18, 4}}},
      {"several terms none of which is there", {"ZEBRA", "YAK"}, true, {}},
      {"no terms at all", {}, true, {}},
      {"a prefix", {"*RE"}, false, {{0, 0}, {9, 2}, {23, 5}, {27, 6}}},
      {"a prefix as long as a word", {"*REST"}, false, {{27, 6}}},
      {"a prefix longer than every word it begins", {"*RESTS"}, false, {}},
  };
  for (const Case &c : cases) {
    drhicur *cur = nullptr;
    int rc;
    if (c.many) rc = d.ops()->terms(d.obj(), c.terms.data(), static_cast<int32_t>(c.terms.size()), &cur);
    else if (c.terms[0][0] == '*') rc = d.ops()->prefix(d.obj(), c.terms[0] + 1, &cur);
    else rc = d.ops()->term(d.obj(), c.terms[0], &cur);
    ASSERT_EQ(rc, 0) << c.what;
    EXPECT_EQ(walk(d, cur), c.want) << c.what;
  }
}

TEST_F(DocIndex, OccurrencesPastTheFirstChunkStayInDocumentOrder) {
  std::string text;
  for (int i = 0; i < 700; ++i) text += "up down ";
  hifix::Doc d(st, {text});
  ASSERT_EQ(d.build(), 0);
  EXPECT_NE(d.idx->chain, nullptr);
  drhicur *c = nullptr;
  ASSERT_EQ(d.ops()->term(d.obj(), "DOWN", &c), 0);
  Occs got = walk(d, c);
  ASSERT_EQ(got.size(), 700u);
  for (uint32_t i = 0; i < 700; ++i) EXPECT_EQ(got[i], std::make_pair(8 * i + 3, 2 * i + 1));
}

TEST_F(DocIndex, APrefixOfManyTermsGrowsItsHeads) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += "w" + std::string(1, static_cast<char>('a' + i / 26 % 26)) +
                                       std::string(1, static_cast<char>('a' + i % 26)) + "x ";
  hifix::Doc d(st, {text});
  ASSERT_EQ(d.build(), 0);
  drhicur *c = nullptr;
  ASSERT_EQ(d.ops()->prefix(d.obj(), "W", &c), 0);
  EXPECT_EQ(c->count, 300);
  EXPECT_EQ(c->cap, 512);
  Occs got = walk(d, c);
  ASSERT_EQ(got.size(), 300u);
  for (uint32_t i = 0; i < 300; ++i) EXPECT_EQ(got[i].second, i);
}

TEST_F(DocIndex, AWordOf256CharactersKeepsEveryOccurrence) {
  // Its extent wraps to 0, which must not make its first occurrence look free.
  std::string w(256, 'q');
  hifix::Doc d(st, {w + " x " + w + " y " + w});
  ASSERT_EQ(d.build(), 0);
  drhicur *c = nullptr;
  ASSERT_EQ(d.ops()->term(d.obj(), std::string(32, 'Q').c_str(), &c), 0);
  EXPECT_EQ(walk(d, c), (Occs{{0, 0}, {259, 2}, {518, 4}}));
}

// A lexer that hands out a script of tokens in one batch, or fails.
struct Script {
  drobjhd<drlexops> hd{};
  std::vector<drtoken> toks;
  int fail = 0;  // 1: next fails, 2: tok fails
  static Script *of(drobj *o) { return reinterpret_cast<Script *>(o); }
  Script() {
    hd.obj = {DRCLS_LEXER, 1, nullptr};
    hd.ops.next = [](drobj *o, int32_t *, char **) { return of(o)->fail == 1 ? 1 : 0; };
    hd.ops.tok = [](drobj *o, int32_t, drtoken **t, int32_t *n) {
      if (of(o)->fail == 2) return 1;
      *t = of(o)->toks.data();
      *n = static_cast<int32_t>(of(o)->toks.size());
      return 2;
    };
  }
  void add(uint8_t type, const char *text, int32_t off, uint8_t ext) {
    drtoken t{};
    t.text = text;
    t.offset = off;
    t.length = static_cast<uint8_t>(text ? std::strlen(text) : 0);
    t.type = type;
    t.weight = 1;
    t.extent = ext;
    toks.push_back(t);
  }
};

TEST_F(DocIndex, OnlyWordTokensAreHashedAndCounted) {
  hifix::Doc d(st, {""});
  Script lx;
  lx.add(DRTOK_WORD, "KO", 0, 2);
  lx.add(DRTOK_PART, "KO", 3, 2);  // a Korean word part: no word of its own
  lx.add(DRTOK_SENTENCE, nullptr, 0, 0);
  lx.add(DRTOK_PIECE, "KO", 6, 2);
  lx.add(DRTOK_NUMBER, "7", 9, 1);
  lx.add(DRTOK_END, nullptr, 0, 0);
  d.idx = drhinew(st, hifix::kPol);
  ASSERT_NE(d.idx, nullptr);
  ASSERT_EQ(d.ops()->build(d.obj(), &lx.hd.obj), 0);
  drhicur *c = nullptr;
  const char *both[] = {"KO", "7"};
  ASSERT_EQ(d.ops()->terms(d.obj(), both, 2, &c), 0);
  EXPECT_EQ(walk(d, c), (Occs{{0, 0}, {6, 1}, {9, 2}}));
}

TEST_F(DocIndex, FailuresOfTheLexerPassThrough) {
  hifix::Doc d(st, {""});
  for (int fail : {1, 2}) {
    Script lx;
    lx.fail = fail;
    d.idx = drhinew(st, hifix::kPol);
    ASSERT_NE(d.idx, nullptr);
    EXPECT_EQ(d.ops()->build(d.obj(), &lx.hd.obj), 1) << fail;
    // A cursor of an index that failed to build finds nothing.
    drhicur *c = nullptr;
    ASSERT_EQ(d.ops()->prefix(d.obj(), "", &c), 0);
    EXPECT_TRUE(walk(d, c).empty());
    d.drop();
  }
}

}  // namespace
