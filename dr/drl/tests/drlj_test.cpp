// Tests of the Japanese and multi-byte lexers: texts of each character set
// to token rows (pairs, single characters, full-width folding, katakana,
// sentence and paragraph ends, cut-off characters), texts read in pieces of
// any size, query words, and the refusals.
#include "dr/drl/drlj.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/nls/nls.h"
#include "tests/fixtures/pipe/pipefix.h"
#include "tests/fixtures/server/statefix.h"

namespace {

using pipefix::Attr;
using pipefix::num;
using pipefix::Tok;

const Tok S{DRTOK_SENTENCE, "", 0, 0};
const Tok P{DRTOK_PARAGRAPH, "", 0, 0};
const Tok END{DRTOK_END, "", 0, 0};

// UTF-8 text in the character set id.
std::string enc(uint16_t id, const std::string &utf8) {
  std::string out(utf8.size() * 4 + 4, '\0');
  size_t used = 0, bad = 0;
  long n = nlsfromutf8(nlscsbyid(id), out.data(), out.size(), utf8.data(), utf8.size(), &used, &bad);
  EXPECT_TRUE(n >= 0 && used == utf8.size() && bad == 0) << utf8;
  out.resize(n < 0 ? 0 : static_cast<size_t>(n));
  return out;
}

struct AsianLexer : statefix::State {
  std::unique_ptr<pipefix::Prefs> prefs;
  std::vector<drobj *> made;
  AsianLexer() { nls = "JAPANESE_JAPAN.JA16EUC"; }
  void SetUp() override {
    statefix::State::SetUp();
    if (st) prefs = std::make_unique<pipefix::Prefs>(st);
  }
  void TearDown() override {
    for (drobj *o : made) drops<drlexops>(o)->free(o);
    prefs.reset();
    use(NLS_JA16EUC);
    statefix::State::TearDown();
  }
  // Makes the session's character set id (the lexers take it when built).
  void use(uint16_t id) { static_cast<nlslang *>(st->lxhd)->cs = nlscsbyid(id); }
  // The lexer of the session's set bound to fil; null when refused.
  drobj *lexer(const std::vector<Attr> &attrs, drobj *fil) {
    uint16_t id = dracncs(st)->id;
    bool cjk = id == NLS_JA16EUC || id == NLS_JA16SJIS;
    drobj *l = cjk ? drljnew(st, st->seshp) : drlcnew(st, st->seshp);
    if (!l) return nullptr;
    made.push_back(l);
    int32_t pref = prefs->add(DRCLS_LEXER, cjk ? 2 : 5, attrs);
    return drops<drlexops>(l)->bnd(l, 42, fil, pref) == 0 ? l : nullptr;
  }
  std::vector<Tok> tokens(uint16_t id, const std::string &text, const std::vector<Attr> &attrs = {},
                          size_t piece = 0) {
    use(id);
    pipefix::MemFilter f({text}, piece);
    drobj *l = lexer(attrs, f.obj());
    int32_t op = 0;
    char *key = nullptr;
    if (!l || drops<drlexops>(l)->mode(l, 1) != 0 || drops<drlexops>(l)->next(l, &op, &key) != 0)
      return {{-1, "bind failed", 0, 0}};
    return pipefix::drain(l);
  }
};

// A token whose text is given in UTF-8 and lies in set id.
Tok T(uint16_t id, int type, const std::string &utf8, int32_t off, int ext) {
  return {type, enc(id, utf8), off, ext};
}

TEST_F(AsianLexer, TextsToTokens) {
  constexpr uint16_t J = NLS_JA16EUC, SJ = NLS_JA16SJIS, GB = NLS_ZHS16CGB231280,
                     GK = NLS_ZHS16GBK, B5 = NLS_ZHT16BIG5;
  auto W = [](uint16_t id, const std::string &t, int32_t off, int ext) {
    return T(id, DRTOK_WORD, t, off, ext);
  };
  auto N = [](uint16_t id, const std::string &t, int32_t off, int ext) {
    return T(id, DRTOK_NUMBER, t, off, ext);
  };
  auto P8 = [](uint16_t id, const std::string &t, int32_t off, int ext) {
    return T(id, DRTOK_PIECE, t, off, ext);
  };
  auto S9 = [](uint16_t id, const std::string &t, int32_t off, int ext) {
    return T(id, DRTOK_SINGLE, t, off, ext);
  };
  auto L10 = [](uint16_t id, const std::string &t, int32_t off, int ext) {
    return T(id, DRTOK_LAST, t, off, ext);
  };
  struct Case {
    const char *name;
    uint16_t set;
    std::string text;  // in the set's bytes
    std::vector<Attr> attrs;
    std::vector<Tok> toks;
  } cases[] = {
      {"empty document", J, "", {}, {END}},
      {"three ideographs", J, enc(J, "日本語"), {},
       {P8(J, "日本", 0, 2), P8(J, "本語", 1, 2), L10(J, "語", 2, 1), END}},
      {"three ideographs between spaces", J, enc(J, " 日本語 "), {},
       {P8(J, "日本", 1, 2), P8(J, "本語", 2, 2), L10(J, "語", 3, 1), END}},
      {"cut into single characters", J, enc(J, "日本語"), {num(8, 1)},
       {S9(J, "日", 0, 1), S9(J, "本", 1, 1), L10(J, "語", 2, 1), END}},
      {"one ideograph alone", J, enc(J, "a 日 b"), {},
       {W(J, "A", 0, 1), S9(J, "日", 2, 1), W(J, "B", 4, 1), END}},
      {"space inside a run", J, enc(J, "日 本"), {}, {P8(J, "日本", 0, 3), L10(J, "本", 2, 1), END}},
      {"two-byte space inside a run", J, enc(J, "日　本"), {},
       {P8(J, "日本", 0, 3), L10(J, "本", 2, 1), END}},
      {"full-width number and letter", J, enc(J, "１２３ ａ"), {},
       {N(J, "123", 0, 3), W(J, "A", 4, 1), END}},
      {"full-width decimal number", J, enc(J, "３．５"), {}, {N(J, "3.5", 0, 3), END}},
      {"half-width ka with voiced mark", J, "\x8E\xB6\x8E\xDE", {}, {S9(J, "ガ", 0, 2), END}},
      {"half-width ha with voiced mark", J, "\x8E\xCA\x8E\xDE", {}, {S9(J, "バ", 0, 2), END}},
      {"half-width ha with semi-voiced mark", J, "\x8E\xCA\x8E\xDF", {}, {S9(J, "パ", 0, 2), END}},
      {"half-width katakana run", J, "\x8E\xB6\x8E\xC0\x8E\xB6\x8E\xC5", {},
       {P8(J, "カタ", 0, 2), P8(J, "タカ", 1, 2), P8(J, "カナ", 2, 2), L10(J, "ナ", 3, 1), END}},
      {"kana pairs", J, enc(J, "ひらがな"), {num(8, 1)},
       {P8(J, "ひら", 0, 2), P8(J, "らが", 1, 2), P8(J, "がな", 2, 2), L10(J, "な", 3, 1), END}},
      {"attached small kana and prolonged mark", J, enc(J, "ショー"), {}, {S9(J, "ショー", 0, 3), END}},
      {"wo ends the piece", J, enc(J, "本を読"), {}, {S9(J, "本を", 0, 2), S9(J, "読", 2, 1), END}},
      {"full stop before an ideograph", J, enc(J, "日。本"), {},
       {S9(J, "日", 0, 1), S, S9(J, "本", 2, 1), END}},
      {"full stop before a letter", J, enc(J, "日。a"), {}, {S9(J, "日", 0, 1), W(J, "A", 2, 1), END}},
      {"full stop before a digit", J, enc(J, "日。1"), {}, {S9(J, "日", 0, 1), N(J, "1", 2, 1), END}},
      {"end, newline, space, ideograph", J, enc(J, "日。\n 本"), {},
       {S9(J, "日", 0, 1), P, S9(J, "本", 4, 1), END}},
      {"ASCII words and a sentence end", J, "Abc de. f", {},
       {W(J, "ABC", 0, 3), W(J, "DE", 4, 2), S, W(J, "F", 8, 1), END}},
      {"continued word", J, "infor-\nmation", {}, {W(J, "INFORMATION", 0, 13), END}},
      {"lead byte at the end", J, enc(J, "日") + "\xC6", {}, {S9(J, "日", 0, 1), END}},
      {"lone lead byte", J, "\xA4", {}, {END}},
      {"half-width lead at the end", J, enc(J, "日") + "\x8E", {}, {S9(J, "日", 0, 1), END}},
      {"NUL inside a run", J, enc(J, "日") + std::string(1, '\0') + enc(J, "本"), {},
       {P8(J, "日本", 0, 3), L10(J, "本", 2, 1), END}},
      {"token text kept to 32 bytes", J, enc(J, "ショーーーーーーーーーーーーーーーーー"), {},
       {S9(J, "ショーーーーーーーーーーーーーー", 0, 19), END}},
      {"Shift-JIS prolonged sound mark", SJ, "\xB0", {}, {S9(SJ, "ー", 0, 1), END}},
      {"Shift-JIS ka with voiced mark", SJ, "\xB6\xDE", {}, {S9(SJ, "ガ", 0, 2), END}},
      {"Shift-JIS three ideographs", SJ, enc(SJ, "日本語"), {},
       {P8(SJ, "日本", 0, 2), P8(SJ, "本語", 1, 2), L10(SJ, "語", 2, 1), END}},
      {"Shift-JIS full-width letters", SJ, enc(SJ, "ＡＢｃ"), {}, {W(SJ, "ABC", 0, 3), END}},
      {"Shift-JIS half-width full stop", SJ, "ab\xA1 c", {}, {W(SJ, "AB", 0, 2), S, W(SJ, "C", 4, 1), END}},
      {"Shift-JIS lead at the end", SJ, enc(SJ, "日") + "\x88", {}, {S9(SJ, "日", 0, 1), END}},
      {"GB 2312 full-width one", GB, "\xA3\xB1", {}, {N(GB, "1", 0, 1), END}},
      {"GB 2312 run", GB, enc(GB, "中文字"), {},
       {P8(GB, "中文", 0, 2), P8(GB, "文字", 1, 2), L10(GB, "字", 2, 1), END}},
      {"GB 2312 white space inside a run", GB, "\xD6\xD0\xA1\xA1\xCE\xC4", {},
       {P8(GB, "中文", 0, 3), L10(GB, "文", 2, 1), END}},
      {"GBK lead 0x85", GK, "\x85\x40", {}, {{DRTOK_SINGLE, "\x85\x40", 0, 1}, END}},
      {"GBK lead 0x85 in a run", GK, "\x85\x40\x85\x41", {},
       {{DRTOK_PIECE, "\x85\x40\x85\x41", 0, 2}, {DRTOK_LAST, "\x85\x41", 1, 1}, END}},
      {"Big5 x", B5, "\xA3\x41", {}, {W(B5, "X", 0, 1), END}},
      {"Big5 run", B5, enc(B5, "中文字"), {},
       {P8(B5, "中文", 0, 2), P8(B5, "文字", 1, 2), L10(B5, "字", 2, 1), END}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(tokens(c.set, c.text, c.attrs), c.toks);
    EXPECT_TRUE(stacknums().empty());
    rtmsgclr(st->msg);
  }
}

// A document read in pieces of any size gives the tokens of the whole text,
// with characters of every width placed across the end of the input buffer.
TEST_F(AsianLexer, PiecesGiveTheWholeText) {
  const std::string part = enc(NLS_JA16EUC, "日本語。\n ａ１ ") + "\x8E\xB6\x8E\xDE" +
                           enc(NLS_JA16EUC, "カナ 3.5 in-\nfo ");
  for (size_t at = DRLJ_BUFSIZE - part.size(); at <= DRLJ_BUFSIZE; ++at) {
    std::string doc = std::string(at, ' ') + part;
    doc.resize(8300, ' ');
    const std::vector<Tok> whole = tokens(NLS_JA16EUC, doc);
    ASSERT_GT(whole.size(), 8u);
    for (size_t piece : {1u, 3u, 8191u, 8193u}) {
      SCOPED_TRACE("at " + std::to_string(at) + " in pieces of " + std::to_string(piece));
      ASSERT_EQ(tokens(NLS_JA16EUC, doc, {}, piece), whole);
    }
  }
}

// Query words: the wildcard flag makes '%' and '_' letters for the word; a
// lead byte at the end of the word is read as one character; a batch of one
// token at a time gives the same rows.
TEST_F(AsianLexer, QueryWords) {
  drobj *l = lexer({}, nullptr);
  ASSERT_NE(l, nullptr);
  const drlexops *ops = drops<drlexops>(l);
  ASSERT_EQ(ops->mode(l, 2), 0);
  const std::string jp = enc(NLS_JA16EUC, "日本語");
  struct Case {
    std::string word;
    uint8_t wild;
    std::vector<Tok> toks;
  } cases[] = {
      {"WOR%", 1, {{DRTOK_WORD, "WOR%", 0, 4}, END}},
      {"WOR%", 0, {{DRTOK_WORD, "WOR", 0, 3}, END}},
      {jp, 0,
       {{DRTOK_PIECE, jp.substr(0, 4), 0, 2}, {DRTOK_PIECE, jp.substr(2, 4), 1, 2},
        {DRTOK_LAST, jp.substr(4, 2), 2, 1}, END}},
      {jp.substr(0, 3), 0, {{DRTOK_SINGLE, jp.substr(0, 2), 0, 1}, END}},
      {"", 0, {END}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.word);
    ASSERT_EQ(ops->query(l, c.word.c_str(), c.wild), 0);
    EXPECT_EQ(pipefix::drain(l, 1), c.toks);
  }
}

// Refusals: other character sets, other attributes, calls outside their mode.
TEST_F(AsianLexer, Refusals) {
  use(NLS_ZHS16GBK);
  EXPECT_EQ(drljnew(st, st->seshp), nullptr);
  EXPECT_EQ(stacknums(), std::vector<int>{11102});
  rtmsgclr(st->msg);
  use(NLS_JA16SJIS);
  EXPECT_EQ(drlcnew(st, st->seshp), nullptr);
  EXPECT_EQ(stacknums(), std::vector<int>{11102});
  char text[200];
  ASSERT_GT(rtmsgtxt(st->msg, 1, text, sizeof text), 0);
  EXPECT_NE(std::string(text).find("JA16SJIS"), std::string::npos) << text;
  rtmsgclr(st->msg);

  use(NLS_JA16EUC);
  drobj *l = drljnew(st, st->seshp);
  ASSERT_NE(l, nullptr);
  made.push_back(l);
  const drlexops *ops = drops<drlexops>(l);
  EXPECT_EQ(l->objid, 5);
  EXPECT_EQ(ops->bnd(l, 42, nullptr, prefs->add(DRCLS_LEXER, 2, {num(8, 1), num(1, 1)})), 1);
  EXPECT_EQ(stacknums(), std::vector<int>{100});
  rtmsgclr(st->msg);
  EXPECT_EQ(ops->mode(l, 1), 1);  // not bound
  rtmsgclr(st->msg);
  EXPECT_EQ(ops->bnd(l, 42, nullptr, prefs->add(DRCLS_LEXER, 2, {})), 0);
  EXPECT_EQ(ops->bnd(l, 43, nullptr, 0), 1);
  EXPECT_TRUE(stacknums().empty());
  EXPECT_EQ(ops->mode(l, 3), 1);
  EXPECT_EQ(stacknums(), std::vector<int>{50601});
  rtmsgclr(st->msg);
  ASSERT_EQ(ops->mode(l, 2), 0);
  int32_t op = 0;
  char *key = nullptr;
  EXPECT_EQ(ops->next(l, &op, &key), 1);
  EXPECT_EQ(stacknums(), std::vector<int>{50601});
  rtmsgclr(st->msg);

  use(NLS_ZHT16BIG5);
  drobj *c = drlcnew(st, st->seshp);
  ASSERT_NE(c, nullptr);
  made.push_back(c);
  EXPECT_EQ(c->objid, 1);
}

}  // namespace
