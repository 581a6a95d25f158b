// Tests of the stop list: preferences to counts, numbers and look-ups, the
// limits, the refused attribute, and stop words that equal the lexer's
// tokens with the letter conversion on and off.
#include "dr/drws/drws.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dr/drl/drla.h"
#include "tests/fixtures/pipe/pipefix.h"
#include "tests/fixtures/server/statefix.h"

namespace {

using pipefix::Attr;
using pipefix::num;
using pipefix::str;

struct StopList : statefix::State {
  std::unique_ptr<pipefix::Prefs> prefs;
  std::vector<std::pair<drobj *, int>> made;  // object and class
  void SetUp() override {
    statefix::State::SetUp();
    if (st) prefs = std::make_unique<pipefix::Prefs>(st);
  }
  void TearDown() override {
    for (auto &[o, cls] : made) drasmfree(o, cls);
    prefs.reset();
    statefix::State::TearDown();
  }
  // A default lexer bound with these attributes.
  drobj *lexer(const std::vector<Attr> &attrs) {
    drobj *l = drlanew(st, st->seshp);
    EXPECT_NE(l, nullptr);
    made.emplace_back(l, DRCLS_LEXER);
    EXPECT_EQ(drops<drlexops>(l)->bnd(l, 42, nullptr, prefs->add(DRCLS_LEXER, 1, attrs)), 0);
    return l;
  }
  // A stop list of a preference with these attributes over a lexer.
  drobj *stoplist(const std::vector<Attr> &attrs, drobj *lex) {
    drobj *sl = drwsanew(st, st->seshp, prefs->add(DRCLS_STOPLIST, 1, attrs), lex);
    if (sl) made.emplace_back(sl, DRCLS_STOPLIST);
    return sl;
  }
  int32_t look(drobj *sl, const char *word) {
    int32_t n = -1;
    EXPECT_EQ(drops<drstops>(sl)->look(sl, word, &n), 0);
    return n;
  }
  std::vector<std::string> list(drobj *sl) {
    std::vector<const char *> out(static_cast<size_t>(drops<drstops>(sl)->count(sl)) + 1, nullptr);
    EXPECT_EQ(drops<drstops>(sl)->list(sl, out.data()), 0);
    EXPECT_EQ(out.back(), nullptr);
    out.pop_back();
    return {out.begin(), out.end()};
  }
};

TEST_F(StopList, PreferencesToNumbers) {
  std::vector<Attr> many;
  for (int i = 1; i <= 4100; ++i) many.push_back(str(2, "w" + std::to_string(i)));
  struct Look {
    const char *word;
    int32_t num;
  };
  struct Case {
    const char *name;
    std::vector<Attr> attrs;
    int count;
    std::vector<Look> looks;
    std::vector<std::string> words;  // checked when given
  } cases[] = {
      {"no attributes", {}, 0, {{"THE", 0}, {"", 0}}, {}},
      {"one word twice", {str(2, "the"), str(2, "THE")}, 2, {{"THE", 2}, {"the", 0}}, {"THE", "THE"}},
      {"empty values take no number", {str(2, "a"), str(2, ""), str(2, "b")}, 2,
       {{"A", 1}, {"B", 2}, {"", 0}}, {"A", "B"}},
      {"order of the preference", {str(2, "of"), str(2, "and"), str(2, "to")}, 3,
       {{"OF", 1}, {"AND", 2}, {"TO", 3}, {"AN", 0}, {"ANDS", 0}}, {"OF", "AND", "TO"}},
      {"number value", {num(2, 42)}, 1, {{"42", 1}}, {"42"}},
      {"past 4096 words", many, 4096, {{"W1", 1}, {"W4096", 4096}, {"W4097", 0}, {"W4100", 0}}, {}},
  };
  drobj *lex = lexer({});
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    drobj *sl = stoplist(c.attrs, lex);
    ASSERT_NE(sl, nullptr);
    EXPECT_EQ(drops<drstops>(sl)->count(sl), c.count);
    for (const Look &k : c.looks) EXPECT_EQ(look(sl, k.word), k.num) << k.word;
    if (!c.words.empty() || c.count == 0) {
      EXPECT_EQ(list(sl), c.words);
    }
    EXPECT_EQ(drops<drstops>(sl)->nop(sl), 0);
    EXPECT_TRUE(stacknums().empty());
  }
}

// Any attribute but the stop word refuses the stop list with 100.
TEST_F(StopList, OtherOrdinalRefused) {
  EXPECT_EQ(stoplist({str(2, "a"), str(3, "b")}, lexer({})), nullptr);
  EXPECT_EQ(stacknums(), std::vector<int>{100});
}

// Stop words go through the lexer's conversions: an accented stop word
// equals the lexer's token of the same word with the letter conversion on
// and off, and only a default lexer's setting counts.
struct LatinStopList : StopList {
  LatinStopList() { nls = "AMERICAN_AMERICA.WE8ISO8859P1"; }
};

TEST_F(LatinStopList, AccentedWordsMatchTheTokens) {
  struct Case {
    const char *name;
    std::vector<Attr> lexattrs;
    std::string token;
  } cases[] = {
      {"conversion on", {num(7, 1)}, "CAFE"},
      {"conversion off", {}, "CAF\xC9"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    drobj *lex = lexer(c.lexattrs);
    drobj *sl = stoplist({str(2, "caf\xE9"), str(2, "\xC9t\xC9")}, lex);
    ASSERT_NE(sl, nullptr);
    // The lexer's token of the same text in query mode.
    ASSERT_EQ(drops<drlexops>(lex)->mode(lex, 2), 0);
    ASSERT_EQ(drops<drlexops>(lex)->query(lex, "caf\xE9", 0), 0);
    std::vector<pipefix::Tok> t = pipefix::drain(lex);
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].text, c.token);
    EXPECT_EQ(look(sl, t[0].text.c_str()), 1);
    EXPECT_EQ(list(sl)[0], c.token);
  }
  // A lexer of another kind (the same object id, the switch set in a record
  // that is not the default lexer's) leaves the words only upper-cased.
  drlaobj other = *reinterpret_cast<drlaobj *>(lexer({num(7, 1)}));
  other.hd.ops.tok = [](drobj *, int32_t, drtoken **, int32_t *) { return 2; };
  drobj *sl = stoplist({str(2, "caf\xE9")}, &other.hd.obj);
  ASSERT_NE(sl, nullptr);
  EXPECT_EQ(list(sl), std::vector<std::string>{"CAF\xC9"});
}

}  // namespace
