// The SQL statement scanner: tokens, limits and errors as tables of cases,
// both keyword tables and the expect table, a caller's own table, and the
// rules of multi-byte character sets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dr/drz/tests/drzfix.h"
#include "dr/drz/tests/drzload.h"

namespace {

using drzfix::dberr;
using drzfix::Raised;

struct Scanner : drzfix::Fixture {};

// One text: the codes up to the end (0 included) or the raise.
struct Case {
  std::string text;
  std::vector<int> codes;
  Raised raised;
};

void check(Scanner &f, const std::vector<Case> &cases) {
  for (const Case &c : cases) {
    drzfix::Scan s = f.scan(c.text);
    std::string shown = c.text.size() > 60 ? c.text.substr(0, 60) + "..." : c.text;
    EXPECT_EQ(f.codes(s), c.codes) << shown;
    EXPECT_EQ(s.raised, c.raised) << shown;
  }
}

std::string q(const std::string &body, char quote = '"') { return quote + body + quote; }

TEST_F(Scanner, NamesAndTheirLengths) {
  check(*this, {
                   {std::string(30, 'a'), {1, 0}, {}},
                   {std::string(31, 'a'), {}, dberr(972)},
                   {q(std::string(30, 'a')), {1, 0}, {}},
                   {q(std::string(31, 'a')), {}, dberr(972)},
                   // the long-name flag is only set by the table-reference reader
                   {"@" + q(std::string(31, 'a')), {234}, dberr(972)},
                   {"a_1$#b c", {1, 1, 0}, {}},
                   {q("a\"\"b"), {1, 0}, {}},
                   {q(""), {}, dberr(1741)},
                   {"\"abc", {}, dberr(1740)},
                   {"\"ab\"\"", {}, dberr(1740)},
               });
  drzfix::Scan s = scan("Sel \"x\" \"select\" select");
  ASSERT_EQ(s.toks.size(), 5u);
  EXPECT_EQ(s.toks[0].text, "SEL");
  EXPECT_EQ(s.toks[1].text, "x");
  EXPECT_EQ(s.toks[2].code, 1);  // quoted: as written, never a keyword
  EXPECT_EQ(s.toks[2].text, "select");
  EXPECT_EQ(s.toks[3].code, 172);
  EXPECT_EQ(scan(q("a\"\"b")).toks[0].text, "a\"b");
  for (const char *sel : {"SELECT", "select", "SeLeCt"}) EXPECT_EQ(scan(sel).toks[0].code, 172);
}

TEST_F(Scanner, StringLiterals) {
  std::string doubled;  // 2000 bytes once the quotes are undoubled
  for (int i = 0; i < 1000; i++) doubled += "x''";
  check(*this, {
                   {q(std::string(2000, 'x'), '\''), {3, 0}, {}},
                   {q(std::string(2001, 'x'), '\''), {}, dberr(1704)},
                   {q(doubled, '\''), {3, 0}, {}},
                   {q(doubled + "x", '\''), {}, dberr(1704)},
                   {"''", {3, 0}, {}},
                   {"'abc", {}, dberr(1756)},
                   {"'it''", {}, dberr(1756)},
               });
  drzfix::Scan s = scan("'it''s' ''");
  EXPECT_EQ(s.toks[0].text, "it's");
  EXPECT_EQ(s.toks[1].code, 3);
  EXPECT_EQ(s.toks[1].text, "");
  EXPECT_EQ(scan(q(doubled, '\'')).toks[0].text.size(), 2000u);
}

TEST_F(Scanner, Numbers) {
  check(*this, {
                   {std::string(255, '0'), {2, 0}, {}},
                   {std::string(256, '0'), {}, dberr(1768)},
                   {"1E999", {}, dberr(1426)},
                   {"9.99E125", {2, 0}, {}},
                   {".5", {2, 0}, {}},
                   {"a.5", {1, 2, 0}, {}},
                   {"1.5.5", {2, 2, 0}, {}},
                   {"1e5x", {2, 1, 0}, {}},
                   {"1ex", {2, 1, 0}, {}},
                   {". 5", {226, 2, 0}, {}},
                   {"7 ", {2, 0}, {}},
               });
  drzfix::Scan s = scan("12.50e1 ");
  EXPECT_EQ(s.toks[0].text, "12.50e1");  // as written, no blank
}

TEST_F(Scanner, CommentsOperatorsAndStrayCharacters) {
  check(*this, {
                   {"", {0}, {}},
                   {" \t\n", {0}, {}},
                   {"a -- b", {1, 0}, {}},
                   {"a --", {1, 0}, {}},
                   {"a -- b\nc", {1, 1, 0}, {}},
                   {"a /* b */ c", {1, 1, 0}, {}},
                   {"a /* b *", {1}, dberr(1742)},
                   {"a /*", {1}, dberr(1742)},
                   {"/**/", {0}, {}},
                   {"a<<b", {1, 96, 1, 0}, {}},
                   {"a<b", {1, 224, 1, 0}, {}},
                   {"<", {224, 0}, {}},
                   {"-", {220, 0}, {}},
                   {"/", {231, 0}, {}},
                   {".", {226, 0}, {}},
                   {"1e", {2, 1, 0}, {}},
                   {"%", {}, dberr(911)},
                   {"_a", {}, dberr(911)},
                   {"a%", {1}, dberr(911)},
                   {"a|b@c", {1, 217, 1, 234, 1, 0}, {}},
                   {std::string("a\0b", 3), {1, 1, 0}, {}},
                   {"& : , - = > [ < ( . + ] ) ! / * ^ @",
                    {216, 218, 219, 220, 221, 222, 223, 224, 225, 226, 227, 228, 229, 230, 231, 232,
                     233, 234, 0},
                    {}},
               });
}

TEST_F(Scanner, EndIsReturnedOnce) {
  drzgtstate *gt = nullptr;
  drzgtstate **gtp = &gt;
  const char *t = exact("");
  Raised r = drzfix::guarded(st, [&] {
    *gtp = drzgtnew(st, nullptr, 0, t, 0);
    if (drzgtnext(st, *gtp) != 0) return;
    drzgtnext(st, *gtp);
  });
  EXPECT_EQ(r, dberr(921));
  ASSERT_NE(gt, nullptr);
  EXPECT_TRUE(gt->flags & DRZGT_ATEND);
  drzgtfree(st, &gt);
  EXPECT_EQ(gt, nullptr);
}

TEST_F(Scanner, TextPositionAndCopies) {
  drzgtstate *gt = nullptr;
  drzgtstate **gtp = &gt;
  std::string lit = "'" + std::string(300, 'y') + "' ab";
  const char *t = exact(lit);
  Raised r = drzfix::guarded(st, [&] {
    *gtp = drzgtnew(st, nullptr, 0, t, static_cast<int32_t>(lit.size()));
    drzgtnext(st, *gtp);
  });
  ASSERT_EQ(r, Raised{});
  // The full length comes back, not one cut to eight bits; the copy keeps
  // within the buffer given.
  char buf[10];
  uint16_t len = 0;
  drzgttext(st, gt, buf, sizeof buf, &len);
  EXPECT_EQ(len, 300);
  EXPECT_EQ(std::string(buf), std::string(9, 'y'));
  int32_t pos = -1;
  drzgtpos(st, gt, &pos);
  EXPECT_EQ(pos, 302);
  r = drzfix::guarded(st, [&] { drzgtnext(st, *gtp); });
  EXPECT_EQ(gt->tokstart.pos - gt->text, 303);
  drzgtfree(st, &gt);
}

TEST_F(Scanner, EveryKeywordOfBothTables) {
  int keywords = 0;
  for (const drzgtkw &k : drzgtdeftab) {
    if (k.len == 0 || k.text[0] < 'A' || k.text[0] > 'Z') continue;
    keywords++;
    std::string w(k.text, k.len);
    drzfix::Scan s = scan(w);
    ASSERT_EQ(s.toks.size(), 2u) << w;
    EXPECT_EQ(s.toks[0].code, k.code) << w;
  }
  EXPECT_EQ(keywords, 109);
  for (const drzgtkw &k : drzgtexttab) {
    std::string w(k.text, k.len);
    EXPECT_EQ(scan(w).toks[0].code, 1) << w;  // not a word of the default table
    EXPECT_EQ(scan(w, nullptr, 0, true).toks[0].code, k.code) << w;
  }
  struct Word {
    const char *text;
    int code;
    bool ext;
  } spot[] = {{"contains", 300, true},  {"Handle", 301, true},   {"SCORE", 302, true},
              {"display", 303, true},   {"smallint", 90, false}, {"varchar2", 25, false},
              {"mlslabel", 184, false}, {"select", 172, true},   {"\"CONTAINS\"", 1, true},
              {"containsx", 1, true}};
  for (const Word &w : spot)
    EXPECT_EQ(scan(w.text, nullptr, 0, w.ext).toks[0].code, w.code) << w.text;
}

TEST_F(Scanner, PrebuiltIndexMatchesTheTable) {
  uint16_t idx[DRZGT_IDXLEN];
  drzgkindex(drzgtdeftab, DRZGT_DEFCOUNT, idx);
  for (int i = 0; i < DRZGT_IDXLEN; i++) EXPECT_EQ(idx[i], drzgtdefidx[i]) << i;
  EXPECT_EQ(std::string(drzgtdeftab[idx[0]].text, 1), "&");
  // A table without an "&" record has no punctuation to search.
  drzgtkw two[2] = {drzgtdeftab[4], drzgtdeftab[5]};
  drzgkindex(two, 2, idx);
  EXPECT_EQ(idx[0], 2);
  EXPECT_EQ(idx[1], 0);
}

TEST_F(Scanner, ExpectTable) {
  struct Pair {
    int code, err;
  } pairs[] = {{5, 914},    {18, 924},   {75, 952},   {77, 954},   {73, 993},   {225, 906},
               {229, 907},  {131, 908},  {219, 917},  {70, 923},   {93, 925},   {208, 926},
               {221, 927},  {172, 928},  {226, 929},  {232, 930},  {199, 946},  {22, 958},
               {194, 966},  {213, 967},  {83, 968},   {136, 969},  {214, 970},  {175, 971},
               {227, 982},  {139, 994},  {190, 1703}, {134, 1710}, {80, 1738},  {113, 1739},
               {102, 1900}, {162, 1901}, {171, 1902}, {59, 1903},  {41, 1904},  {188, 1905},
               {15, 1906},  {196, 1907}, {62, 1908},  {160, 1909}, {195, 1910}, {32, 1911},
               {163, 1912}, {60, 1913},  {206, 2012}, {30, 2013},  {99, 2026},  {64, 2029},
               {1, 905},    {300, 905}};
  drzgtstate *gt = nullptr;
  drzgtstate **gtp = &gt;
  const char *t = exact("x");
  ASSERT_EQ(drzfix::guarded(st,
                            [&] {
                              *gtp = drzgtnew(st, nullptr, 0, t, 1);
                              drzgtnext(st, *gtp);
                            }),
            Raised{});
  for (const Pair &p : pairs) {
    if (p.code == 1) continue;
    EXPECT_EQ(drzfix::guarded(st, [&] { drzgtexpect(st, *gtp, p.code); }), dberr(p.err)) << p.code;
  }
  // The current token passes, and skip moves on.
  EXPECT_EQ(drzfix::guarded(st, [&] { drzgtskip(st, *gtp, 1); }), Raised{});
  EXPECT_EQ(gt->token, 0);
  // The text names the missing word.
  drueclr(st);
  drzfix::guarded(st, [&] { drzgtexpect(st, *gtp, 70); });
  char text[256];
  ASSERT_EQ(druetxt(st, 1, text, sizeof text), 0);
  EXPECT_NE(std::string(text).find("FROM"), std::string::npos) << text;
  drzgtfree(st, &gt);
}

TEST_F(Scanner, OtherRaisesCarryTheirOwnNumber) {
  EXPECT_EQ(drzfix::guarded(st, [&] { drzgterr(st, 10900); }), Raised{10900});
  drueclr(st);
  drzfix::guarded(st, [&] { drzgterr(st, DRZ_DB | 972); });
  EXPECT_EQ(rtmsgsev(st->msg, 1), 2);
}

TEST_F(Scanner, ACallersTableScansALoadRecord) {
  drzfix::Scan s = scan("<TEXTSTART: title='Annual report', n=12, select=x> <TextEnd>",
                        drzload::kTable, drzload::kCount);
  EXPECT_EQ(codes(s), (std::vector<int>{224, 400, 218, 1, 221, 3, 219, 1, 221, 2, 219, 1, 221, 1,
                                        222, 224, 401, 222, 0}));
  EXPECT_EQ(s.raised, Raised{});
  // No record for "(": a stray character; "|" is fixed in a single-byte set.
  EXPECT_EQ(scan("a (", drzload::kTable, drzload::kCount).raised, dberr(911));
  EXPECT_EQ(codes(scan("a|b", drzload::kTable, drzload::kCount)), (std::vector<int>{1, 217, 1, 0}));
  // A letter with no keyword, and a word the default table knows: identifiers.
  EXPECT_EQ(codes(scan("from tex", drzload::kTable, drzload::kCount)), (std::vector<int>{1, 1, 0}));
}

// The multi-byte rules, in a single-byte set beyond ASCII and two
// multi-byte sets.
struct MultiByte : drzfix::Fixture, ::testing::WithParamInterface<const char *> {
  MultiByte() { nls = GetParam(); }
};

std::string letter2(const char *set) {
  std::string s(set);
  if (s.find("SJIS") != std::string::npos) return "\x83\x41";  // katakana a
  return "\xc3\xa9";                                           // e acute
}

TEST_P(MultiByte, LettersBeyondAsciiMakeNames) {
  bool latin1 = std::string(GetParam()).find("8859") != std::string::npos;
  std::string e = latin1 ? "\xe9" : letter2(GetParam());  // a lower-case letter of the set
  drzfix::Scan s = scan(e + "x" + e + " a" + e);
  ASSERT_EQ(codes(s), (std::vector<int>{1, 1, 0}));
  std::string upper = latin1                                                      ? "\xc9"
                      : std::string(GetParam()).find("SJIS") != std::string::npos ? "\x83\x41"
                                                                                  : "\xc3\x89";
  EXPECT_EQ(s.toks[0].text, upper + "X" + upper);
  // Lengths in bytes: fifteen two-byte letters pass, sixteen do not.
  if (!latin1) {
    std::string l = letter2(GetParam());
    std::string fifteen;
    for (int i = 0; i < 15; i++) fifteen += l;
    EXPECT_EQ(codes(scan(fifteen)), (std::vector<int>{1, 0}));
    EXPECT_EQ(scan(fifteen + l).raised, dberr(972));
    EXPECT_EQ(codes(scan(q(fifteen))), (std::vector<int>{1, 0}));
    EXPECT_EQ(scan(q(fifteen + l)).raised, dberr(972));
    // A name that starts with a letter beyond ASCII is never a keyword,
    // even in the extended table.
    EXPECT_EQ(codes(scan(l + "SELECT", nullptr, 0, true)), (std::vector<int>{1, 0}));
  }
}

TEST_P(MultiByte, CharactersThatAreNoLetters) {
  std::string set(GetParam());
  if (set.find("UTF8") != std::string::npos) {
    EXPECT_EQ(scan("a\xe3\x80\x81").raised, dberr(911));  // ideographic comma
    EXPECT_EQ(scan("\xef\xbc\x81").raised, dberr(911));   // full-width "!"
    EXPECT_EQ(scan("a\xe3\x80\x80"
                   "b")
                  .raised,
              dberr(911));                        // ideographic space is no blank here
    EXPECT_EQ(scan("a\xe3").raised, dberr(911));  // cut off by the end
  } else if (set.find("SJIS") != std::string::npos) {
    EXPECT_EQ(scan("a\x81\x41").raised, dberr(911));
    EXPECT_EQ(scan("\x81\x49").raised, dberr(911));
    EXPECT_EQ(scan("a\x83").raised, dberr(911));
  } else {
    EXPECT_EQ(scan("\xd7").raised, dberr(911));  // multiplication sign
  }
}

struct ShiftJis : drzfix::Fixture {
  ShiftJis() { nls = "JAPANESE_JAPAN.JA16SJIS"; }
};

TEST_F(ShiftJis, TrailBytesAreNeverPunctuation) {
  // Second bytes 0x7C "|" and 0x40 "@" inside a name, a quoted name and a literal.
  std::string po = "\x83\x7c", xa = "\x83\x40";
  drzfix::Scan s = scan("a" + po + xa + " \"" + po + xa + "\" '" + po + "@|" + xa + "'");
  EXPECT_EQ(codes(s), (std::vector<int>{1, 1, 3, 0}));
  EXPECT_EQ(s.toks[0].text, "A" + po + xa);
  EXPECT_EQ(s.toks[2].text, po + "@|" + xa);
  // Outside a character they are punctuation, looked up in the table.
  EXPECT_EQ(codes(scan("a|b@c")), (std::vector<int>{1, 217, 1, 234, 1, 0}));
}

INSTANTIATE_TEST_SUITE_P(Sets, MultiByte,
                         ::testing::Values("AMERICAN_AMERICA.WE8ISO8859P1", "AMERICAN_AMERICA.UTF8",
                                           "JAPANESE_JAPAN.JA16SJIS"),
                         [](const ::testing::TestParamInfo<const char *> &i) {
                           std::string s(i.param);
                           return s.substr(s.find('.') + 1);
                         });

}  // namespace
