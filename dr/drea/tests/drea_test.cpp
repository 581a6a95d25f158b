// The test engine: its log for a scripted lexer against a reviewed golden
// file, the 30 hits of its query by key and by number, and the slots that
// refuse without a message.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "dr/drea/drea.h"
#include "dr/dru/dru.h"
#include "tests/fixtures/engine/lexfix.h"
#include "tests/fixtures/server/statefix.h"

namespace {

using lexfix::Doc;
using lexfix::Tok;

// A result writer that records what it is given.
struct Writer {
  drobjhd<drrwrops> hd;
  std::vector<std::string> keys;
  std::vector<uint32_t> ids;
  std::vector<int> scores;
  int finished = 0;
  int answer = 0;  // what putrows and puthits answer
  static Writer *of(drobj *o) { return reinterpret_cast<Writer *>(o); }
  static int rows_(drobj *o, int32_t n, const char *const *k, const uint8_t *s) {
    for (int32_t i = 0; i < n; ++i) of(o)->keys.emplace_back(k[i]), of(o)->scores.push_back(s[i]);
    return of(o)->answer;
  }
  static int hits_(drobj *o, int32_t n, const uint32_t *d, const uint8_t *s) {
    for (int32_t i = 0; i < n; ++i) of(o)->ids.push_back(d[i]), of(o)->scores.push_back(s[i]);
    return of(o)->answer;
  }
  static int finish_(drobj *o) { return ++of(o)->finished, 0; }
  Writer() {
    hd.obj = {DRCLS_RESULT, 1, nullptr};
    hd.ops = {};
    hd.ops.putrows = rows_;
    hd.ops.puthits = hits_;
    hd.ops.finish = finish_;
  }
  drobj *obj() { return &hd.obj; }
};

struct TestEngine : statefix::State {
  drobj *eng = nullptr;
  void SetUp() override {
    logname = "drea";
    statefix::State::SetUp();
    eng = dreanew(st, st->seshp);
    ASSERT_NE(eng, nullptr);
  }
  void TearDown() override {
    if (eng) ops()->free(eng);
    statefix::State::TearDown();
  }
  const drengops *ops() { return drops<drengops>(eng); }
};

TEST_F(TestEngine, ItsLogForEveryTokenTypeIsTheGoldenOne) {
  lexfix::Lexer lex(st);
  lex.count = 7;
  // The first document starts with a type no lexer makes: its label stays
  // empty. Then every type once, a word longer than a label, and a second
  // document of one word.
  Doc first{1, "k1", {{12, "odd"}, {0, ""}, {1, "word"}, {2, "42"}, {3, "three"}, {4, "a1"},
                      {5, ""}, {6, ""}, {8, "p"}, {9, "q"}, {10, "r"}, {11, "s"},
                      {1, std::string(70, 'x')}}};
  lex.docs = {first, lexfix::doc("k2", "last", 2)};
  ASSERT_EQ(ops()->bnd(eng, 42, 7042, nullptr), 0);
  ASSERT_EQ(ops()->popx(eng, lex.obj(), nullptr, nullptr, 1, 1, 'C'), 0);
  std::string golden = KES_SOURCE_DIR "/dr/drea/tests/golden/popx.log";
  if (std::getenv("KES_ACCEPT")) std::ofstream(golden, std::ios::binary) << log();
  std::ifstream in(golden, std::ios::binary);
  std::stringstream want;
  want << in.rdbuf();
  EXPECT_EQ(log(), want.str());
}

TEST_F(TestEngine, QueryHandsThirtyMadeUpHitsByKeyOrByNumber) {
  for (uint8_t bynum : {0, 1}) {
    Writer w;
    ASSERT_EQ(ops()->qry(eng, nullptr, w.obj(), nullptr, bynum, 0, ~0u, nullptr, 0, 0, 0), 0);
    ASSERT_EQ(w.scores.size(), 30u);
    EXPECT_EQ(w.scores[0], 82);
    EXPECT_EQ(w.finished, 1);
    if (bynum) {
      EXPECT_EQ(w.ids.front(), 1u);
      EXPECT_EQ(w.ids.back(), 30u);
    } else {
      EXPECT_EQ(w.keys.front(), "0");
      EXPECT_EQ(w.keys.back(), "29");
    }
  }
  Writer bad;
  bad.answer = 1;
  EXPECT_EQ(ops()->qry(eng, nullptr, bad.obj(), nullptr, 0, 0, ~0u, nullptr, 0, 0, 0), 1);
  EXPECT_NE(log().find("***** ERROR (RESULTER) rc = 1"), std::string::npos);
}

TEST_F(TestEngine, StoredQueriesHighlightAndTheRestFailWithoutAMessage) {
  char buf[16];
  int rcs[] = {ops()->sqsave(eng, "q", "1", "a", nullptr, 0), ops()->sqdel(eng, "q", "1", 0),
               ops()->sqref(eng, "q", "1", nullptr, 1), ops()->sqpurge(eng, "1"),
               ops()->sqtext(eng, "q", "1", buf, sizeof buf, ""),
               ops()->hlite(eng, nullptr, nullptr, nullptr, nullptr, "k", nullptr, 42),
               ops()->unsup(eng)};
  for (int rc : rcs) EXPECT_EQ(rc, 1);
  char text[100];
  EXPECT_EQ(druestk(st, text, sizeof text), 0u);
}

}  // namespace
