// The fuzzy provider's Japanese patterns, worked out from the kana variant
// tables, in a JA16EUC session and, through conversion, in a UTF8 one; and
// which words take the Japanese way at all.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dr/drwa/drwa.h"
#include "platform/nls/nls.h"
#include "tests/fixtures/server/statefix.h"

namespace {

// Converts UTF-8 text into a set (for the JA16EUC session's input and back).
std::string conv(const char *to, const char *from, const std::string &s) {
  const nlscs *t = nlscsbyname(to), *f = nlscsbyname(from);
  std::string out(s.size() * 4 + 1, '\0');
  size_t used = 0;
  long n = nlsconv(t, out.data(), out.size(), f, s.data(), s.size(), &used);
  out.resize(n < 0 ? 0 : static_cast<size_t>(n));
  return out;
}

struct Patterns : ::testing::TestWithParam<const char *> {
  drsrvstate *st = nullptr;
  std::string set;  // the session's character set
  void SetUp() override {
    set = GetParam();
    ASSERT_EQ(statefix::build(&st, ("JAPANESE_JAPAN." + set).c_str()), 0);
  }
  void TearDown() override { dracnfre(&st); }
  // The patterns of a word written in UTF-8, back in UTF-8.
  std::vector<std::string> of(const std::string &word) {
    char *buf = nullptr;
    const char **pats = nullptr;
    int32_t n = 0;
    std::vector<std::string> out;
    EXPECT_EQ(drwafjapat(st, conv(set.c_str(), "UTF8", word).c_str(), &buf, &pats, &n), 0);
    for (int32_t i = 0; i < n; ++i) out.push_back(conv("UTF8", set.c_str(), pats[i]));
    void *b = buf, *p = pats;
    if (b) drumfre(st, st->hpmgr, st->seshp, &b);
    if (p) drumfre(st, st->hpmgr, st->seshp, &p);
    return out;
  }
  bool ja(const std::string &word) {
    return drwafisja(st, conv(set.c_str(), "UTF8", word).c_str());
  }
};

TEST_P(Patterns, KanaVariantsAreSpelledOut) {
  using V = std::vector<std::string>;
  EXPECT_EQ(of("ヴァイオリン"), (V{"バイオリン%", "バーイオリン%", "ヴァイオリン%", "ヴァーイオリン%"}));
  EXPECT_EQ(of("キャット"), (V{"キャッチ%", "キャッテ%", "キャッツ%", "キャット%", "キャーッチ%",
                               "キャーッテ%", "キャーッツ%", "キャーット%"}));
  EXPECT_EQ(of("関ヶ原"), (V{"関原%", "関ッ原%", "関ヵ原%", "関ヶ原%"}));
  // A word too long for the work area loses its variants and keeps a
  // head of whole characters, each pattern within the 32 bytes.
  V longword = of("バイオリンバイオリンバイオリンバイオリン");
  ASSERT_EQ(longword.size(), 2u);
  for (const std::string &p : longword)
    EXPECT_LE(conv("JA16EUC", "UTF8", p).size() + 1, static_cast<size_t>(DRWA_JAWORK)) << p;
  EXPECT_EQ(longword[0], "バイオリンバイオリンバイオリ%");
}

TEST_P(Patterns, OnlyKanaAndKanjiTakeTheJapaneseWay) {
  EXPECT_TRUE(ja("ヴァイオリン"));
  EXPECT_TRUE(ja("ひらがな"));
  EXPECT_TRUE(ja("関ヶ原"));
  EXPECT_FALSE(ja("BOAT"));
  EXPECT_FALSE(ja("ー"));
  if (set == "UTF8") {
    EXPECT_FALSE(ja("école"));
    EXPECT_FALSE(ja("über"));
  }
}

INSTANTIATE_TEST_SUITE_P(Sessions, Patterns, ::testing::Values("JA16EUC", "UTF8"));

}  // namespace
