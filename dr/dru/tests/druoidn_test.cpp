// The identifier check and the quoter of the cursor layer: what may reach a
// statement's text as a name, and how a text is quoted into one.
#include <gtest/gtest.h>

#include <string>

#include "dr/dru/druo.h"

namespace {

TEST(Identifiers, PlainNamesAndQualifiedOnesWhenAllowed) {
  std::string longest(63, 'a'), toolong(64, 'a');
  struct {
    const char *name;
    int parts;
    bool ok;
  } const cases[] = {
      {"abc", 1, true},          {"_a1$", 1, true},         {"Proc_2", 2, true},
      {"s.proc", 2, true},       {"s.proc", 1, false},       {"a.b.c", 2, false},
      {"1abc", 1, false},        {"", 1, false},             {"a-b", 1, false},         {"a#b", 1, false},
      {"a b", 2, false},         {"a;drop", 2, false},       {"s.", 2, false},
      {".p", 2, false},          {"a'b", 1, false},          {"\"a\"", 1, false},
      {longest.c_str(), 1, true}, {toolong.c_str(), 1, false},
  };
  for (const auto &c : cases) EXPECT_EQ(druoidn(c.name, c.parts), c.ok) << c.name << "/" << c.parts;
  EXPECT_FALSE(druoidn(nullptr, 2));
}

TEST(Identifiers, QuotingDoublesTheQuoteAndNeverCuts) {
  struct {
    const char *text;
    char q;
    size_t size;
    int rc;
    const char *out;
  } const cases[] = {
      {"abc", '\'', 16, 0, "'abc'"},
      {"it's", '\'', 16, 0, "'it''s'"},
      {"x' or '1'='1", '\'', 32, 0, "'x'' or ''1''=''1'"},
      {"a\"b", '"', 16, 0, "\"a\"\"b\""},
      {"", '\'', 3, 0, "''"},
      {"", '\'', 2, 1, ""},
      {"abcd", '\'', 6, 1, ""},   // needs 7 bytes with the NUL
      {"abcd", '\'', 7, 0, "'abcd'"},
  };
  for (const auto &c : cases) {
    char buf[64];
    EXPECT_EQ(druoquo(buf, c.size, c.text, c.q), c.rc) << c.text;
    EXPECT_STREQ(buf, c.out) << c.text;
  }
}

}  // namespace
