// Tests of the default lexer: texts and attribute sets to token rows, batch
// limits, query mode, texts read in pieces of any size, the byte layout of
// the records it hands out, and the refusals.
#include "dr/drl/drla.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/fixtures/pipe/pipefix.h"
#include "tests/fixtures/server/statefix.h"
#include "platform/nls/nls.h"

namespace {

using pipefix::Attr;
using pipefix::num;
using pipefix::str;
using pipefix::Tok;

Tok W(const std::string &t, int32_t off, int ext) { return {DRTOK_WORD, t, off, ext}; }
Tok N(const std::string &t, int32_t off, int ext) { return {DRTOK_NUMBER, t, off, ext}; }
Tok M(const std::string &t, int32_t off, int ext) { return {DRTOK_MIXED, t, off, ext}; }
const Tok S{DRTOK_SENTENCE, "", 0, 0};
const Tok P{DRTOK_PARAGRAPH, "", 0, 0};
const Tok END{DRTOK_END, "", 0, 0};

struct Lexer : statefix::State {
  std::unique_ptr<pipefix::Prefs> prefs;
  std::vector<drobj *> made;
  void SetUp() override {
    statefix::State::SetUp();
    if (st) prefs = std::make_unique<pipefix::Prefs>(st);
  }
  void TearDown() override {
    for (drobj *o : made) drops<drlexops>(o)->free(o);
    prefs.reset();
    statefix::State::TearDown();
  }
  // A default lexer bound to filter fil with a preference of these
  // attributes; null when building or binding fails.
  drobj *lexer(const std::vector<Attr> &attrs, drobj *fil) {
    drobj *l = drlanew(st, st->seshp);
    if (!l) return nullptr;
    made.push_back(l);
    int32_t pref = prefs->add(DRCLS_LEXER, 1, attrs);
    return drops<drlexops>(l)->bnd(l, 42, fil, pref) == 0 ? l : nullptr;
  }
  // Puts the lexer in mode 1 on the filter's next document; true when it is.
  bool open(drobj *l) {
    int32_t op = 0;
    char *key = nullptr;
    return drops<drlexops>(l)->mode(l, 1) == 0 && drops<drlexops>(l)->next(l, &op, &key) == 0 &&
           key && *key;
  }
  // The tokens of one text read through a filter in pieces of `piece` bytes.
  std::vector<Tok> tokens(const std::string &text, const std::vector<Attr> &attrs = {},
                          size_t piece = 0) {
    pipefix::MemFilter f({text}, piece);
    drobj *l = lexer(attrs, f.obj());
    if (!l || !open(l)) return {{-1, "bind failed", 0, 0}};
    return pipefix::drain(l);
  }
};

// The texts a lexer must get right, each with its attributes.
TEST_F(Lexer, TextsToTokens) {
  const std::string forty(40, 'q');
  struct Case {
    const char *name;
    std::string text;
    std::vector<Attr> attrs;
    std::vector<Tok> toks;
  } cases[] = {
      {"empty document", "", {}, {END}},
      {"decimal number", "3.14", {}, {N("3.14", 0, 4), END}},
      {"leading decimal", ".5", {}, {N(".5", 0, 2), END}},
      // The decimal character after a word is dropped and not counted.
      {"word then decimal", "abc.5", {}, {W("ABC", 0, 3), N("5", 4, 1), END}},
      {"group character", "1,000", {}, {N("1,000", 0, 5), END}},
      {"group before any digit", ",5", {}, {N("5", 1, 1), END}},
      {"letters and digits", "A1 1A b2c", {}, {M("A1", 0, 2), M("1A", 3, 2), M("B2C", 6, 3), END}},
      {"number then letters", "3.1x", {}, {M("3.1X", 0, 4), END}},
      {"word cut at 32 bytes", "x " + forty + " y", {},
       {W("X", 0, 1), W(std::string(32, 'Q'), 2, 40), W("Y", 43, 1), END}},
      {"continued word", "infor-\nmation now", {},
       {W("INFORMATION", 0, 13), W("NOW", 14, 3), END}},
      {"backslash continues", "infor\\\nmation", {}, {W("INFORMATION", 0, 13), END}},
      {"carriage return does not continue", "infor-\r\nmation", {},
       {W("INFOR", 0, 5), W("MATION", 8, 6), END}},
      {"sentence end", "end. Next", {}, {W("END", 0, 3), S, W("NEXT", 5, 4), END}},
      {"no white space, no sentence end", "end.Next", {}, {W("END", 0, 3), W("NEXT", 4, 4), END}},
      {"question and exclamation", "a? b! c", {}, {W("A", 0, 1), S, W("B", 3, 1), S, W("C", 6, 1), END}},
      {"sentence end at a line end", "end.\nNext", {}, {W("END", 0, 3), S, W("NEXT", 5, 4), END}},
      {"empty line", "end.\n\nNext", {}, {W("END", 0, 3), P, W("NEXT", 6, 4), END}},
      {"indented by a tab", "end.\n\tNext", {}, {W("END", 0, 3), P, W("NEXT", 6, 4), END}},
      {"indented by two blanks", "end.\n  Next", {}, {W("END", 0, 3), P, W("NEXT", 7, 4), END}},
      {"indented by one blank", "end.\n Next", {}, {W("END", 0, 3), S, W("NEXT", 6, 4), END}},
      {"tab after the stop", "end.\tNext", {}, {W("END", 0, 3), S, W("NEXT", 5, 4), END}},
      {"carriage return is no white space", "end.\r\nNext", {},
       {W("END", 0, 3), W("NEXT", 6, 4), END}},
      {"stop at the very end", "end.", {}, {W("END", 0, 3), END}},
      {"stop before the end of a number", "is 3. Then", {},
       {W("IS", 0, 2), N("3", 3, 1), S, W("THEN", 6, 4), END}},
      {"apostrophe ends words by default", "don't", {}, {W("DON", 0, 3), W("T", 4, 1), END}},
      {"apostrophe kept", "don't", {str(2, "'")}, {W("DON'T", 0, 5), END}},
      {"apostrophe dropped", "don't", {str(3, "'")}, {W("DONT", 0, 5), END}},
      {"joiner before a digit", "a'1", {str(2, "'")}, {M("A'1", 0, 3), END}},
      {"joiner at the very end", "it'", {str(2, "'")}, {W("IT", 0, 2), END}},
      {"joiner before a blank", "it' s", {str(3, "'")}, {W("IT", 0, 2), W("S", 4, 1), END}},
      {"own punctuation", "a; b. c", {str(1, ";")}, {W("A", 0, 1), S, W("B", 3, 1), W("C", 6, 1), END}},
      {"own decimal and group", "1.000,5 7,5", {str(4, ","), str(5, ".")},
       {N("1.000,5", 0, 7), N("7,5", 8, 3), END}},
      {"own continuation", "in~\nfo in-\nfo", {str(6, "~")},
       {W("INFO", 0, 6), W("IN", 7, 2), W("FO", 11, 2), END}},
      {"empty joiner set", "don't", {str(2, "'"), str(2, "")}, {W("DON", 0, 3), W("T", 4, 1), END}},
      {"number attribute read as its digits", "a7b", {num(2, 7)}, {M("A7B", 0, 3), END}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(tokens(c.text, c.attrs), c.toks);
    EXPECT_TRUE(stacknums().empty());
  }
}

// With the letter conversion on, accented letters become their base letters
// before upper-casing; off, they are only upper-cased.
struct LatinLexer : Lexer {
  LatinLexer() { nls = "AMERICAN_AMERICA.WE8ISO8859P1"; }
};

TEST_F(LatinLexer, LetterConversion) {
  EXPECT_EQ(tokens("caf\xE9 \xFFves", {}), (std::vector<Tok>{W("CAF\xC9", 0, 4), W("\xFFVES", 5, 4), END}));
  EXPECT_EQ(tokens("caf\xE9 \xFFves", {num(7, 1)}), (std::vector<Tok>{W("CAFE", 0, 4), W("YVES", 5, 4), END}));
  EXPECT_EQ(tokens("caf\xE9", {num(7, 2)}), (std::vector<Tok>{W("CAF\xC9", 0, 4), END}));
  EXPECT_EQ(tokens("caf\xE9", {num(7, 1), num(7, 0)}), (std::vector<Tok>{W("CAF\xC9", 0, 4), END}));
}

// A batch stops at 256 records or once its texts fill 8160 bytes; the next
// batch goes on with the following byte, and a smaller request is kept.
TEST_F(Lexer, BatchLimits) {
  std::string shortwords, longwords;
  std::vector<Tok> shortwant, longwant;
  for (int i = 0; i < 300; ++i) {
    shortwant.push_back(W("A", 2 * i, 1));
    shortwords += "a ";
    std::string w(32, static_cast<char>('a' + i % 26));
    longwant.push_back(W(std::string(32, static_cast<char>('A' + i % 26)), 33 * i, 32));
    longwords += w + " ";
  }
  shortwant.push_back(END);
  longwant.push_back(END);
  struct Case {
    const char *name;
    const std::string &text;
    int32_t max;
    std::vector<Tok> want;
    std::vector<int32_t> sizes;
  } cases[] = {
      {"256 records", shortwords, 0, shortwant, {256, 45}},
      {"8160 text bytes", longwords, 0, longwant, {248, 53}},
      {"fewer asked for", shortwords, 100, shortwant, {100, 100, 100, 1}},
      {"more asked for than a batch holds", shortwords, 1000, shortwant, {256, 45}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    pipefix::MemFilter f({c.text});
    drobj *l = lexer({}, f.obj());
    ASSERT_NE(l, nullptr);
    ASSERT_TRUE(open(l));
    std::vector<int32_t> sizes;
    EXPECT_EQ(pipefix::drain(l, c.max, &sizes), c.want);
    EXPECT_EQ(sizes, c.sizes);
  }
}

// Query mode: each word replaces the text; the wildcard flag makes '%' and
// '_' word characters for that word only; batches go on where they stopped.
TEST_F(Lexer, QueryWords) {
  drobj *l = lexer({}, nullptr);
  ASSERT_NE(l, nullptr);
  const drlexops *ops = drops<drlexops>(l);
  ASSERT_EQ(ops->mode(l, 2), 0);
  struct Case {
    const char *word;
    uint8_t wild;
    std::vector<Tok> toks;
  } cases[] = {
      {"WOR%", 1, {W("WOR%", 0, 4), END}},
      {"WOR%", 0, {W("WOR", 0, 3), END}},
      {"w_r", 1, {W("W_R", 0, 3), END}},
      {"w_r", 0, {W("W", 0, 1), W("R", 2, 1), END}},
      {"%", 1, {W("%", 0, 1), END}},
      {"dog's", 0, {W("DOG", 0, 3), W("S", 4, 1), END}},
      {"", 0, {END}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.word);
    ASSERT_EQ(ops->query(l, c.word, c.wild), 0);
    EXPECT_EQ(pipefix::drain(l, 1), c.toks);
  }
  // Back in mode 1 the wildcards are ordinary bytes again.
  pipefix::MemFilter f({"wor%d"});
  ASSERT_EQ(ops->bnd(l, 42, f.obj(), 0), 0);
  ASSERT_EQ(ops->query(l, "x", 1), 0);
  ASSERT_TRUE(open(l));
  EXPECT_EQ(pipefix::drain(l), (std::vector<Tok>{W("WOR", 0, 3), W("D", 4, 1), END}));
}

// A document read in pieces of any size gives the tokens of the whole text:
// a number, a joiner, a continuation and a sentence end placed across the
// end of the first input buffer, at every byte of each, in a 9000-byte
// document, read in pieces of 1, 2, 8191, 8192 and 8193 bytes and at once.
TEST_F(Lexer, PiecesGiveTheWholeText) {
  const std::vector<Attr> attrs = {str(2, "'")};
  const std::string parts[] = {"x 12,345.5 y", "x don't y", "x infor-\nmation y",
                               "x infor-\r\nmation y", "x end. Next y", "x end.\n\nNext y"};
  for (const std::string &part : parts) {
    const std::vector<Tok> alone = tokens(part, attrs);
    for (size_t at = DRLA_BUFSIZE - part.size(); at <= DRLA_BUFSIZE; ++at) {
      std::string doc = std::string(at, ' ') + part;
      doc.resize(9000, ' ');
      std::vector<Tok> want = alone;
      for (Tok &t : want)
        if (t.type < DRTOK_SENTENCE) t.offset += static_cast<int32_t>(at);
      for (size_t piece : {0u, 1u, 2u, 8191u, 8192u, 8193u}) {
        SCOPED_TRACE(part + " at " + std::to_string(at) + " in pieces of " + std::to_string(piece));
        ASSERT_EQ(tokens(doc, attrs, piece), want);
      }
    }
  }
}

// What the lexer writes into the shared record: the byte the query side
// reads as its refusal flag is always 0, the one after it always 1.
TEST_F(Lexer, RecordBytes) {
  pipefix::MemFilter f({"A word, 3.14 and x1. New\n\nparagraph"});
  drobj *l = lexer({}, f.obj());
  ASSERT_NE(l, nullptr);
  ASSERT_TRUE(open(l));
  drtoken *toks = nullptr;
  int32_t n = 0;
  ASSERT_EQ(drops<drlexops>(l)->tok(l, 0, &toks, &n), 2);
  ASSERT_EQ(n, 9);
  for (int32_t i = 0; i < n; ++i) {
    const auto *bytes = reinterpret_cast<const uint8_t *>(&toks[i]);
    size_t type = offsetof(drtoken, type);
    EXPECT_EQ(bytes[type], toks[i].type);
    EXPECT_EQ(bytes[type + 1], 0) << i;
    EXPECT_EQ(bytes[type + 2], 1) << i;
    EXPECT_EQ(toks[i].value, 0);
    bool mark = toks[i].type >= DRTOK_SENTENCE;
    EXPECT_EQ(toks[i].text == nullptr, mark) << i;
    if (!mark) {
      EXPECT_EQ(std::strlen(toks[i].text), toks[i].length);
    }
  }
}

// The filter's document count and ends, and the key buffer handed out.
TEST_F(Lexer, DocumentsThroughTheFilter) {
  pipefix::MemFilter f({"one", "two"});
  drobj *l = lexer({}, f.obj());
  ASSERT_NE(l, nullptr);
  const drlexops *ops = drops<drlexops>(l);
  ASSERT_EQ(ops->mode(l, 1), 0);
  int32_t count = 0, op = 0;
  EXPECT_EQ(ops->count(l, &count), 0);
  EXPECT_EQ(count, 2);
  char *key = nullptr;
  std::vector<std::string> seen;
  while (ops->next(l, &op, &key) == 0) {
    seen.push_back(key);
    std::vector<Tok> t = pipefix::drain(l);
    ASSERT_EQ(t.size(), 2u);
    seen.push_back(t[0].text);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"1", "ONE", "2", "TWO"}));
  EXPECT_EQ(op, 4);
  // Without a key pointer only the text restarts: the filter stays put.
  f.at(0);
  EXPECT_EQ(ops->next(l, &op, nullptr), 0);
  EXPECT_EQ(pipefix::drain(l), (std::vector<Tok>{W("ONE", 0, 3), END}));
  EXPECT_EQ(f.cur, 0);
}

// A filter that fails a read fails the batch; nothing of it is reported.
TEST_F(Lexer, FailingReadFailsTheBatch) {
  pipefix::MemFilter f({std::string(9000, 'a')}, 4000);
  f.failat = 2;
  drobj *l = lexer({}, f.obj());
  ASSERT_NE(l, nullptr);
  ASSERT_TRUE(open(l));
  drtoken *toks = nullptr;
  int32_t n = -1;
  EXPECT_EQ(drops<drlexops>(l)->tok(l, 0, &toks, &n), 1);
  EXPECT_EQ(n, -1);
}

// Binding twice: the same policy only takes the new filter, another policy
// is refused without a message.
TEST_F(Lexer, SecondBinding) {
  pipefix::MemFilter a({"alpha"}), b({"beta"});
  drobj *l = lexer({}, a.obj());
  ASSERT_NE(l, nullptr);
  const drlexops *ops = drops<drlexops>(l);
  EXPECT_EQ(ops->bnd(l, 43, b.obj(), 0), 1);
  EXPECT_TRUE(stacknums().empty());
  EXPECT_EQ(ops->bnd(l, 42, b.obj(), 0), 0);
  ASSERT_TRUE(open(l));
  EXPECT_EQ(pipefix::drain(l), (std::vector<Tok>{W("BETA", 0, 4), END}));
}

// Refusals: unknown attributes, the letter conversion where a character
// takes more than a byte, modes, and calls outside their mode.
TEST_F(Lexer, Refusals) {
  // An unknown attribute leaves the lexer unbound: a good preference binds it.
  drobj *l = drlanew(st, st->seshp);
  ASSERT_NE(l, nullptr);
  made.push_back(l);
  const drlexops *ops = drops<drlexops>(l);
  EXPECT_EQ(ops->bnd(l, 42, nullptr, prefs->add(DRCLS_LEXER, 1, {str(1, "."), num(8, 1)})), 1);
  EXPECT_EQ(stacknums(), std::vector<int>{100});
  rtmsgclr(st->msg);
  EXPECT_EQ(ops->mode(l, 1), 1);  // not bound
  rtmsgclr(st->msg);
  EXPECT_EQ(ops->bnd(l, 43, nullptr, prefs->add(DRCLS_LEXER, 1, {})), 0);

  // Modes and calls in the wrong mode: internal error 50601.
  struct Call {
    const char *name;
    int (*fn)(const drlexops *, drobj *);
  } calls[] = {
      {"mode 3", [](const drlexops *o, drobj *x) { return o->mode(x, 3); }},
      {"mode 0", [](const drlexops *o, drobj *x) { return o->mode(x, 0); }},
      {"next in mode 2", [](const drlexops *o, drobj *x) {
         int32_t op2 = 0;
         char *k = nullptr;
         return o->mode(x, 2) != 0 ? -1 : o->next(x, &op2, &k);
       }},
      {"query in mode 1", [](const drlexops *o, drobj *x) {
         return o->mode(x, 1) != 0 ? -1 : o->query(x, "word", 0);
       }},
  };
  for (const Call &c : calls) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.fn(ops, l), 1);
    EXPECT_EQ(stacknums(), std::vector<int>{50601});
    rtmsgclr(st->msg);
  }

  // The letter conversion where the set's width item is above 1 (the
  // settings changed under a built lexer): 10709 and unbound.
  auto *lang = static_cast<nlslang *>(st->lxhd);
  const nlscs *was = lang->cs;
  drobj *l2 = drlanew(st, st->seshp);
  ASSERT_NE(l2, nullptr);
  made.push_back(l2);
  lang->cs = nlscsbyid(NLS_JA16EUC);
  EXPECT_EQ(drops<drlexops>(l2)->bnd(l2, 42, nullptr, prefs->add(DRCLS_LEXER, 1, {num(7, 1)})), 1);
  EXPECT_EQ(stacknums(), std::vector<int>{10709});
  rtmsgclr(st->msg);
  // The same preference with the conversion left off binds.
  EXPECT_EQ(drops<drlexops>(l2)->bnd(l2, 42, nullptr, prefs->add(DRCLS_LEXER, 1, {num(7, 0)})), 0);
  lang->cs = was;
}

// A session whose character set takes more than a byte per character
// cannot build the lexer.
struct Utf8Lexer : Lexer {
  Utf8Lexer() { nls = "AMERICAN_AMERICA.UTF8"; }
};

TEST_F(Utf8Lexer, RefusedForMultiByteSet) {
  EXPECT_EQ(drlanew(st, st->seshp), nullptr);
  EXPECT_EQ(stacknums(), std::vector<int>{11102});
  char text[200];
  ASSERT_GT(rtmsgtxt(st->msg, 1, text, sizeof text), 0);
  EXPECT_NE(std::string(text).find("UTF8"), std::string::npos) << text;
}

// The stop list's view of the letter conversion: on only for a default
// lexer bound with it, off for another lexer with the same object id.
TEST_F(LatinLexer, ConversionSettingSeenByOthers) {
  drobj *on = lexer({num(7, 1)}, nullptr);
  drobj *off = lexer({}, nullptr);
  ASSERT_TRUE(on && off);
  EXPECT_EQ(drlaconv(on), 1);
  EXPECT_EQ(drlaconv(off), 0);
  // A lexer of another kind with object id 1 and the same record behind it.
  drlaobj other = *reinterpret_cast<drlaobj *>(on);
  other.hd.ops.tok = [](drobj *, int32_t, drtoken **, int32_t *) { return 2; };
  EXPECT_EQ(drlaconv(&other.hd.obj), 0);
  EXPECT_EQ(drlaconv(nullptr), 0);
}

}  // namespace
