// Tests of the national-language layer: NLS_LANG parsing, character widths
// and classes per set, whole-character copies, comparisons and conversions.
#include "platform/nls/nls.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const nlscs* cs(uint16_t id) {
  const nlscs* c = nlscsbyid(id);
  EXPECT_NE(c, nullptr) << id;
  return c;
}

TEST(NlsLang, ParsesSettingsTable) {
  struct Case {
    const char* text;
    int rc;
    int32_t status;
    const char* language;
    const char* territory;
    uint16_t csid;
    char decimal;
  } cases[] = {
      {nullptr, 1, NLS_ST_OK, nullptr, nullptr, 0, 0},
      {"", 1, NLS_ST_OK, nullptr, nullptr, 0, 0},
      {"AMERICAN_AMERICA.UTF8", 0, 0, "AMERICAN", "AMERICA", NLS_UTF8, '.'},
      {"japanese_japan.ja16euc", 0, 0, "JAPANESE", "JAPAN", NLS_JA16EUC, '.'},
      {"JAPANESE_JAPAN.JA16SJIS", 0, 0, "JAPANESE", "JAPAN", NLS_JA16SJIS, '.'},
      {"KOREAN_KOREA.KO16KSC5601", 0, 0, "KOREAN", "KOREA", NLS_KO16KSC5601, '.'},
      {"SIMPLIFIED CHINESE_CHINA.ZHS16GBK", 0, 0, "SIMPLIFIED CHINESE", "CHINA", NLS_ZHS16GBK, '.'},
      {"SIMPLIFIED CHINESE_CHINA.ZHS16CGB231280", 0, 0, "SIMPLIFIED CHINESE", "CHINA",
       NLS_ZHS16CGB231280, '.'},
      {"TRADITIONAL CHINESE_TAIWAN.ZHT16BIG5", 0, 0, "TRADITIONAL CHINESE", "TAIWAN",
       NLS_ZHT16BIG5, '.'},
      {"GERMAN", 0, 0, "GERMAN", "GERMANY", NLS_WE8ISO8859P1, ','},
      {"FRENCH_.WE8ISO8859P1", 0, 0, "FRENCH", "FRANCE", NLS_WE8ISO8859P1, ','},
      {".JA16SJIS", 0, 0, "AMERICAN", "AMERICA", NLS_JA16SJIS, '.'},
      {"_JAPAN", 0, 0, "AMERICAN", "JAPAN", NLS_WE8ISO8859P1, '.'},
      {"KLINGON_AMERICA.UTF8", 1, NLS_ST_LANGUAGE, nullptr, nullptr, 0, 0},
      {"KLINGON_MOON.EBCDIC", 1, NLS_ST_LANGUAGE, nullptr, nullptr, 0, 0},
      {"AMERICAN_MOON.UTF8", 1, NLS_ST_TERRITORY, nullptr, nullptr, 0, 0},
      {"AMERICAN_AMERICA.EBCDIC", 1, NLS_ST_CHARSET, nullptr, nullptr, 0, 0},
      {"AMERICAN_AMERICA.", 1, NLS_ST_CHARSET, nullptr, nullptr, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "(null)");
    nlsws ws;
    nlswsinit(&ws);
    ws.status = 99;
    nlslang lang{};
    EXPECT_EQ(nlsread(&ws, &lang, c.text), c.rc);
    EXPECT_EQ(ws.status, c.status);
    if (c.rc == 0) {
      EXPECT_STREQ(lang.language, c.language);
      EXPECT_STREQ(lang.territory, c.territory);
      ASSERT_NE(lang.cs, nullptr);
      EXPECT_EQ(lang.cs->id, c.csid);
      EXPECT_EQ(lang.decimal, c.decimal);
    } else {
      EXPECT_EQ(lang.cs, nullptr);  // untouched on failure
    }
  }
}

TEST(NlsLang, DefaultsAndEnvironment) {
  nlslang lang{};
  nlsdefaults(&lang);
  EXPECT_STREQ(lang.language, "AMERICAN");
  EXPECT_STREQ(lang.territory, "AMERICA");
  EXPECT_STREQ(lang.cs->name, "WE8ISO8859P1");
  EXPECT_TRUE(lang.cs->flags & NLS_CS_SINGLE);

  nlsws ws;
  nlswsinit(&ws);
  setenv("NLS_LANG", "AMERICAN_AMERICA.JA16EUC", 1);
  EXPECT_EQ(nlsreadenv(&ws, &lang), 0);
  EXPECT_EQ(lang.cs->id, NLS_JA16EUC);
  unsetenv("NLS_LANG");
  EXPECT_EQ(nlsreadenv(&ws, &lang), 1);
  EXPECT_EQ(ws.status, NLS_ST_OK);
}

TEST(NlsSets, NamesIdsAndClientEncodings) {
  struct Case {
    const char* name;
    uint16_t id;
    const char* pgenc;
    bool single;
  } cases[] = {
      {"US7ASCII", NLS_US7ASCII, "LATIN1", true},
      {"WE8ISO8859P1", NLS_WE8ISO8859P1, "LATIN1", true},
      {"JA16EUC", NLS_JA16EUC, "EUC_JP", false},
      {"JA16SJIS", NLS_JA16SJIS, "SJIS", false},
      {"KO16KSC5601", NLS_KO16KSC5601, "EUC_KR", false},
      {"ZHS16CGB231280", NLS_ZHS16CGB231280, "EUC_CN", false},
      {"ZHS16GBK", NLS_ZHS16GBK, "GBK", false},
      {"ZHT16BIG5", NLS_ZHT16BIG5, "BIG5", false},
      {"ZHT32EUC", NLS_ZHT32EUC, "EUC_TW", false},
      {"utf8", NLS_UTF8, "UTF8", false},
      {"AL32UTF8", NLS_AL32UTF8, "UTF8", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const nlscs* s = nlscsbyname(c.name);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s, nlscsbyid(c.id));
    EXPECT_STREQ(nlspgenc(c.name), c.pgenc);
    EXPECT_EQ((s->flags & NLS_CS_SINGLE) != 0, c.single);
    EXPECT_EQ(s->shiftin, 0);
  }
  EXPECT_EQ(nlscsbyname("EBCDIC"), nullptr);
  EXPECT_EQ(nlscsbyname(nullptr), nullptr);
  EXPECT_EQ(nlspgenc("EBCDIC"), nullptr);
  EXPECT_EQ(nlscsbyid(2), nullptr);
}

TEST(NlsChars, LengthOfCharacterTable) {
  struct Case {
    uint16_t id;
    const char* bytes;
    size_t n;
    size_t len;
  } cases[] = {
      {NLS_US7ASCII, "a", 1, 1},
      {NLS_WE8ISO8859P1, "\xE9", 1, 1},
      {NLS_US7ASCII, "", 0, 0},
      {NLS_JA16EUC, "\xA4\xA2", 2, 2},
      {NLS_JA16EUC, "\xA4\xA2", 1, 0},        // cut by the range
      {NLS_JA16EUC, "\xA4" "A", 2, 1},        // bad trail: the lead stands alone
      {NLS_JA16EUC, "\x8E\xB1", 2, 2},        // half-width katakana
      {NLS_JA16EUC, "\x8F\xB0\xA1", 3, 3},    // JIS X 0212
      {NLS_JA16EUC, "\x8F\xB0\xA1", 2, 0},
      {NLS_JA16EUC, "\x8F" "A", 2, 1},
      {NLS_JA16SJIS, "\x82\xA0", 2, 2},
      {NLS_JA16SJIS, "\x83\x5C", 2, 2},       // backslash byte as a trail
      {NLS_JA16SJIS, "\x82'", 2, 1},          // a quote is never a trail
      {NLS_JA16SJIS, "\xB1", 1, 1},           // half-width katakana
      {NLS_JA16SJIS, "\x82", 1, 0},
      {NLS_KO16KSC5601, "\xB0\xA1", 2, 2},
      {NLS_KO16KSC5601, "\xB0" "A", 2, 1},
      {NLS_ZHS16CGB231280, "\xD6\xD0", 2, 2},
      {NLS_ZHS16GBK, "\x81\x40", 2, 2},
      {NLS_ZHS16GBK, "\x81\x7F", 2, 1},
      {NLS_ZHT16BIG5, "\xA4\x40", 2, 2},
      {NLS_ZHT16BIG5, "\xA4\x80", 2, 1},
      {NLS_ZHT32EUC, "\xC4\xA1", 2, 2},
      {NLS_ZHT32EUC, "\x8E\xA2\xA1\xA1", 4, 4},  // plane 2
      {NLS_ZHT32EUC, "\x8E\xA2\xA1", 3, 0},      // cut by the range
      {NLS_ZHT32EUC, "\x8E\xC0\xA1\xA1", 4, 1},  // no such plane: the lead stands alone
      {NLS_ZHT32EUC, "\x8E\xA2" "A", 3, 1},
      {NLS_UTF8, "\xC3\xA9", 2, 2},
      {NLS_UTF8, "\xE3\x81\x82", 3, 3},
      {NLS_UTF8, "\xF0\x9F\x98\x80", 4, 4},
      {NLS_UTF8, "\xE3\x81\x82", 2, 0},
      {NLS_UTF8, "\xC0\x80", 2, 1},           // overlong
      {NLS_UTF8, "\xED\xA0\x80", 3, 1},       // surrogate
      {NLS_UTF8, "\x80", 1, 1},
      {NLS_UTF8, "\xE3" "A", 2, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.id << " case " << (&c - cases));
    EXPECT_EQ(nlsclen(cs(c.id), c.bytes, c.n), c.len);
  }
}

TEST(NlsChars, WidthFromLeadByte) {
  struct Case {
    uint16_t id;
    unsigned char lead;
    size_t width;
  } cases[] = {
      {NLS_US7ASCII, 0xE9, 1},      {NLS_WE8ISO8859P1, 0xE9, 1}, {NLS_JA16EUC, 'a', 1},
      {NLS_JA16EUC, 0xA4, 2},       {NLS_JA16EUC, 0x8E, 2},      {NLS_JA16EUC, 0x8F, 3},
      {NLS_JA16SJIS, 0x82, 2},      {NLS_JA16SJIS, 0xB1, 1},     {NLS_JA16SJIS, 0xFD, 1},
      {NLS_KO16KSC5601, 0x81, 1},   {NLS_KO16KSC5601, 0xB0, 2},  {NLS_ZHS16GBK, 0x81, 2},
      {NLS_ZHT16BIG5, 0xA4, 2},     {NLS_UTF8, 'a', 1},          {NLS_UTF8, 0xC3, 2},
      {NLS_UTF8, 0xE3, 3},          {NLS_UTF8, 0xF0, 4},         {NLS_UTF8, 0x80, 1},
      {NLS_ZHT32EUC, 0x8E, 4},      {NLS_ZHT32EUC, 0xC4, 2},     {NLS_ZHT32EUC, 'a', 1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(nlswidth(cs(c.id), c.lead), c.width) << c.id << " " << int(c.lead);
}

TEST(NlsChars, CountsWholeCharacters) {
  struct Case {
    uint16_t id;
    const char* bytes;
    size_t n;
    size_t count, whole, first2;
  } cases[] = {
      {NLS_UTF8, "a\xC3\xA9\xE4\xB8\xAD\xE4\xB8", 8, 3, 6, 3},  // last character cut
      {NLS_JA16EUC, "A\xA4\xA2\xA4", 4, 2, 3, 3},
      {NLS_JA16SJIS, "\xB1\x82\xA0x", 4, 3, 4, 3},
      {NLS_WE8ISO8859P1, "\xE9t\xE9", 3, 3, 3, 2},
      {NLS_ZHT16BIG5, "", 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    const nlscs* s = cs(c.id);
    EXPECT_EQ(nlscount(s, c.bytes, c.n), c.count) << c.id;
    EXPECT_EQ(nlswhole(s, c.bytes, c.n), c.whole) << c.id;
    EXPECT_EQ(nlsbytes(s, c.bytes, c.n, 2), c.first2) << c.id;
  }
}

TEST(NlsChars, CutsAtWholeCharacters) {
  struct Case {
    uint16_t id;
    const char* s;
    size_t max;
    size_t want;
  } cases[] = {
      {NLS_US7ASCII, "abcdef", 3, 3},
      {NLS_UTF8, "a\xc3\xa9" "b", 2, 1},
      {NLS_AL32UTF8, "a\xc3\xa9" "b", 3, 3},
      {NLS_UTF8, "\xe2\x82\xac\xe2\x82\xac", 5, 3},
      {NLS_JA16EUC, "\xa4\xa2\xa4\xa4", 3, 2},
      {NLS_JA16EUC, "\x8f\xa1\xa1x", 2, 0},
      {NLS_JA16SJIS, "a\x82\xa0", 2, 1},
      {NLS_ZHT16BIG5, "\xa4\x40z", 1, 0},
      {NLS_KO16KSC5601, "\xb0\xa1\xb0\xa1", 3, 2},
      {NLS_UTF8, "abc", 10, 3},  // fits: not cut
      {NLS_ZHT32EUC, "\x8e\xa2\xa1\xa1x", 3, 0},
      {NLS_ZHT32EUC, "\xa1\xa1\x8e\xa2\xa1\xa1", 5, 2},
  };
  for (const Case& c : cases)
    EXPECT_EQ(nlscut(cs(c.id), c.s, std::strlen(c.s), c.max), c.want) << c.id << " " << c.max;
}

TEST(NlsChars, ClassifiesCharacters) {
  struct Case {
    uint16_t id;
    const char* bytes;
    uint16_t cls;
  } cases[] = {
      {NLS_US7ASCII, "a", NLS_ALPHA | NLS_LOWER},
      {NLS_JA16EUC, "Z", NLS_ALPHA | NLS_UPPER},
      {NLS_UTF8, "5", NLS_DIGIT},
      {NLS_JA16SJIS, " ", NLS_SPACE},
      {NLS_ZHS16GBK, "\t", NLS_SPACE | NLS_CNTRL},
      {NLS_KO16KSC5601, ",", NLS_PUNCT},
      {NLS_US7ASCII, "\xE9", 0},
      {NLS_WE8ISO8859P1, "\xE9", NLS_ALPHA | NLS_LOWER},
      {NLS_WE8ISO8859P1, "\xC9", NLS_ALPHA | NLS_UPPER},
      {NLS_WE8ISO8859P1, "\xA0", NLS_SPACE},
      {NLS_WE8ISO8859P1, "\xD7", NLS_PUNCT},
      {NLS_JA16EUC, "\xA1\xA1", NLS_SPACE},      // ideographic space
      {NLS_JA16EUC, "\xA1\xA3", NLS_PUNCT},
      {NLS_JA16EUC, "\xA4\xA2", NLS_ALPHA},      // hiragana
      {NLS_JA16EUC, "\xA3\xB1", NLS_ALPHA},      // full-width digit: never a digit
      {NLS_JA16EUC, "\xA4", 0},                  // cut lead byte
      {NLS_JA16SJIS, "\x81\x40", NLS_SPACE},
      {NLS_JA16SJIS, "\xB1", NLS_ALPHA},
      {NLS_JA16SJIS, "\xA1", NLS_PUNCT},
      {NLS_ZHT16BIG5, "\xA1\x40", NLS_SPACE},
      {NLS_ZHT16BIG5, "\xA4\xA4", NLS_ALPHA},
      {NLS_KO16KSC5601, "\xC7\xD1", NLS_ALPHA},
      {NLS_UTF8, "\xE3\x80\x80", NLS_SPACE},
      {NLS_UTF8, "\xC3\xA9", NLS_ALPHA | NLS_LOWER},
      {NLS_UTF8, "\xE4\xB8\xAD", NLS_ALPHA},
      {NLS_UTF8, "\xE3\x80\x81", NLS_PUNCT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.id << " case " << (&c - cases));
    EXPECT_EQ(nlscls(cs(c.id), c.bytes, std::strlen(c.bytes)), c.cls);
  }
  for (uint16_t id : {NLS_US7ASCII, NLS_WE8ISO8859P1})
    for (unsigned b = 0; b < 256; ++b) EXPECT_EQ(nlscls1(cs(id), b) & 0x0003, 0) << b;
  EXPECT_EQ(nlscls1(cs(NLS_WE8ISO8859P1), 0xE9), NLS_ALPHA | NLS_LOWER);
  EXPECT_EQ(nlsupper1(cs(NLS_WE8ISO8859P1), 0xE9), 0xC9);
  EXPECT_EQ(nlsupper1(cs(NLS_US7ASCII), 0xE9), 0xE9);
  EXPECT_EQ(nlsbase1(cs(NLS_WE8ISO8859P1), 0xE9), 'e');
  EXPECT_EQ(nlsbase1(cs(NLS_WE8ISO8859P1), 0xC5), 'A');
  EXPECT_EQ(nlsbase1(cs(NLS_WE8ISO8859P1), 0xC6), 0xC6);  // no single base letter
}

TEST(NlsStrings, UpperCasesWholeCharacters) {
  struct Case {
    uint16_t id;
    const char* in;
    const char* out;
  } cases[] = {
      {NLS_US7ASCII, "and \xE9", "AND \xE9"},
      {NLS_WE8ISO8859P1, "\xE0\xE9\xFF\xF7z", "\xC0\xC9\xFF\xF7Z"},
      {NLS_UTF8, "a\xC3\xA9\xE4\xB8\xAD\xC3\xBF", "A\xC3\x89\xE4\xB8\xAD\xC5\xB8"},
      {NLS_JA16EUC, "a\xA4\xE1" "b", "A\xA4\xE1" "B"},
      {NLS_JA16SJIS, "\x82\x61x", "\x82\x61X"},  // the trail 0x61 is no letter a
      {NLS_ZHS16GBK, "\x81\x61q", "\x81\x61Q"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    const nlscs* s = cs(c.id);
    char buf[32];
    EXPECT_EQ(nlsupper(s, buf, sizeof buf, c.in, std::strlen(c.in)), std::strlen(c.out));
    EXPECT_STREQ(buf, c.out);
    std::strcpy(buf, c.in);  // in place
    nlsupper(s, buf, sizeof buf, buf, SIZE_MAX);
    EXPECT_STREQ(buf, c.out);
  }
}

// The letter conversion maps accented single-byte letters to their base
// letters and leaves everything else, trail bytes of wider characters
// included; the width item tells where it applies.
TEST(NlsStrings, LetterConversionAndWidthItem) {
  struct Case {
    uint16_t id;
    const char* in;
    const char* out;
    uint32_t width;
  } cases[] = {
      {NLS_US7ASCII, "caf\xE9", "caf\xE9", 1},
      {NLS_WE8ISO8859P1, "\xC0\xE9\xFF\xF7\xC6\xDFz", "Aey\xF7\xC6\xDFz", 1},
      {NLS_JA16EUC, "a\xA4\xE1", "a\xA4\xE1", 3},
      {NLS_ZHS16GBK, "\x81\xE9q", "\x81\xE9q", 2},
      {NLS_ZHT32EUC, "x", "x", 4},
      {NLS_UTF8, "\xC3\xA9", "\xC3\xA9", 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    const nlscs* s = cs(c.id);
    char buf[32];
    EXPECT_EQ(nlsbase(s, buf, sizeof buf, c.in, std::strlen(c.in)), std::strlen(c.out));
    EXPECT_STREQ(buf, c.out);
    EXPECT_EQ(nlsinfo(s, NLS_INFO_WIDTH), c.width);
    EXPECT_EQ(nlsinfo(s, 1), 0u);
  }
}

TEST(NlsStrings, BoundedCopiesNeverSplitCharacters) {
  enum Op { CPY, NCPY, CCPY } ;
  struct Case {
    Op op;
    uint16_t id;
    const char* src;
    size_t dstsize;
    size_t bound;  // bytes for NCPY, characters for CCPY
    const char* out;
  } cases[] = {
      {CPY, NLS_UTF8, "a\xC3\xA9\xE4\xB8\xAD", 4, 0, "a\xC3\xA9"},
      {CPY, NLS_UTF8, "a\xC3\xA9\xE4\xB8\xAD", 3, 0, "a"},
      {CPY, NLS_UTF8, "a\xC3\xA9\xE4\xB8\xAD", 7, 0, "a\xC3\xA9\xE4\xB8\xAD"},
      {CPY, NLS_JA16EUC, "\xA4\xA2\xA4\xA4", 4, 0, "\xA4\xA2"},
      {CPY, NLS_JA16EUC, "\x8F\xB0\xA1x", 3, 0, ""},
      {CPY, NLS_JA16EUC, "ab\xA4", 10, 0, "ab\xA4"},  // lone lead before the end kept
      {CPY, NLS_JA16SJIS, "\x82\xA0\x83\x5C", 4, 0, "\x82\xA0"},
      {CPY, NLS_US7ASCII, "abc", 1, 0, ""},
      {NCPY, NLS_JA16EUC, "\xA4\xA2\xA4\xA4", 32, 3, "\xA4\xA2"},  // cut by the bound
      {NCPY, NLS_US7ASCII, "ab\0cd", 32, 5, "ab"},
      {NCPY, NLS_ZHT16BIG5, "\xA4\xA4\xA4\x40", 32, 4, "\xA4\xA4\xA4\x40"},
      {CCPY, NLS_UTF8, "a\xC3\xA9\xE4\xB8\xADx", 32, 3, "a\xC3\xA9\xE4\xB8\xAD"},
      {CCPY, NLS_US7ASCII, "DQMRLDQMRL", 32, 4, "DQMR"},
      {CCPY, NLS_KO16KSC5601, "\xC7\xD1\xB1\xDB", 3, 2, "\xC7\xD1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    const nlscs* s = cs(c.id);
    char buf[40];
    std::memset(buf, '#', sizeof buf);
    size_t n = c.op == CPY    ? nlscpy(s, buf, c.dstsize, c.src)
               : c.op == NCPY ? nlsncpy(s, buf, c.dstsize, c.src, c.bound)
                              : nlsccpy(s, buf, c.dstsize, c.src, c.bound);
    EXPECT_EQ(n, std::strlen(c.out));
    EXPECT_STREQ(buf, c.out);
    EXPECT_EQ(buf[c.dstsize], '#');  // nothing written past the room
  }
  char sentinel = '#';
  EXPECT_EQ(nlscpy(cs(NLS_UTF8), &sentinel, 0, "abc"), 0u);
  EXPECT_EQ(sentinel, '#');
}

TEST(NlsStrings, ConcatenationStopsAtAWholeCharacter) {
  const nlscs* s = cs(NLS_UTF8);
  char buf[8] = "ab";
  EXPECT_EQ(nlscat(s, buf, 6, "\xE4\xB8\xAD\xE6\x96\x87"), 5u);
  EXPECT_STREQ(buf, "ab\xE4\xB8\xAD");
  EXPECT_EQ(nlscat(s, buf, 6, "x"), 5u);
  EXPECT_STREQ(buf, "ab\xE4\xB8\xAD");
  char full[4] = {'a', 'b', 'c', 'd'};  // no terminator within the room
  EXPECT_EQ(nlscat(s, full, 4, "x"), 4u);
  EXPECT_EQ(std::memcmp(full, "abcd", 4), 0);
}

TEST(NlsStrings, Comparisons) {
  const nlscs* a = cs(NLS_US7ASCII);
  const nlscs* l1 = cs(NLS_WE8ISO8859P1);
  const nlscs* sj = cs(NLS_JA16SJIS);
  const nlscs* u8 = cs(NLS_UTF8);
  EXPECT_LT(nlscmp(a, "abc", "abd"), 0);
  EXPECT_GT(nlscmp(a, "abc", "ab"), 0);
  EXPECT_EQ(nlscmp(a, "abc", "abc"), 0);
  EXPECT_LT(nlscmp(l1, "z", "\xE9"), 0);  // byte order: high bytes after ASCII
  EXPECT_EQ(nlsncmp(a, "HTMLX", "HTMLY", 4), 0);
  EXPECT_EQ(nlscasecmp(a, "Html", "hTML"), 0);
  EXPECT_LT(nlscasecmp(a, "abc", "ABD"), 0);
  EXPECT_EQ(nlscasecmp(l1, "\xE9lan", "\xC9LAN"), 0);
  EXPECT_EQ(nlscasecmp(u8, "\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89"), 0);
  EXPECT_NE(nlscasecmp(sj, "\x82\x61", "\x82\x41"), 0);  // trail bytes are not letters
  EXPECT_EQ(nlsncasecmp(a, "url:http", "URL:", 4), 0);
  EXPECT_GT(nlsncasecmp(a, "url", "ur", 4), 0);
}

TEST(NlsStrings, FindsCharactersNotTrailBytes) {
  struct Case {
    uint16_t id;
    const char* s;
    unsigned char c;
    long at;  // -1: absent
  } cases[] = {
      {NLS_US7ASCII, "DRG-50850: text", ':', 9},
      {NLS_JA16SJIS, "\x83\x5C\\", '\\', 2},  // the 0x5C trail is skipped
      {NLS_ZHS16GBK, "\x81\x5C", '\\', -1},
      {NLS_ZHT16BIG5, "\xA4\x40,x", ',', 2},
      {NLS_UTF8, "abc", 'z', -1},
  };
  for (const Case& c : cases) {
    const char* p = nlschr(cs(c.id), c.s, c.c);
    EXPECT_EQ(p ? p - c.s : -1, c.at) << c.s;
  }
}

TEST(NlsStrings, ReadsIntegers) {
  struct Case {
    const char* s;
    size_t n;
    int rc;
    int32_t v;
  } cases[] = {
      {"123", 3, 0, 123},          {"-42", 3, 0, -42},   {"+7", 2, 0, 7},
      {"12ab", 4, 1, 0},           {"", 0, 1, 0},        {"-", 1, 1, 0},
      {"2147483647", 10, 0, 2147483647}, {"2147483648", 10, 1, 0},
      {"-2147483648", 11, 0, INT32_MIN}, {"99999999999", 11, 1, 0},
      {"12345", 2, 0, 12},
  };
  for (const Case& c : cases) {
    int32_t v = 0;
    EXPECT_EQ(nlsatoi(cs(NLS_US7ASCII), c.s, c.n, &v), c.rc) << c.s;
    if (c.rc == 0) {
      EXPECT_EQ(v, c.v) << c.s;
    }
  }
}

TEST(NlsStrings, CursorStepsByCharacter) {
  const char text[] = "a \xE4\xB8\xAD\xE4\xB8";  // the last character is cut
  nlscur cur;
  nlscurset(&cur, cs(NLS_UTF8), text, sizeof text - 1);
  EXPECT_TRUE(nlscuris(&cur, 'a'));
  EXPECT_EQ(nlscurcls(&cur), NLS_ALPHA | NLS_LOWER);
  nlscurnext(&cur);
  EXPECT_EQ(nlscurcls(&cur), NLS_SPACE);
  nlscurnext(&cur);
  EXPECT_EQ(nlscurlen(&cur), 3u);
  EXPECT_FALSE(nlscuris(&cur, 0xE4));
  nlscurnext(&cur);
  EXPECT_EQ(nlscurlen(&cur), 0u);
  EXPECT_EQ(nlscurcls(&cur), 0);
  const char* at = cur.pos;
  nlscurnext(&cur);
  EXPECT_EQ(cur.pos, at);
}

TEST(NlsConv, ConvertsBetweenSets) {
  struct Case {
    uint16_t from, to;
    const char* src;
    const char* out;
    size_t used;
  } cases[] = {
      // "Nihon" in Kanji, a half-width katakana and an ASCII letter.
      {NLS_JA16EUC, NLS_JA16SJIS, "\xC6\xFC\xCB\xDC\x8E\xB1" "a", "\x93\xFA\x96\x7B\xB1" "a", 7},
      {NLS_JA16SJIS, NLS_JA16EUC, "\x93\xFA\x96\x7B\xB1" "a", "\xC6\xFC\xCB\xDC\x8E\xB1" "a", 6},
      {NLS_JA16EUC, NLS_UTF8, "\xC6\xFC\xCB\xDC", "\xE6\x97\xA5\xE6\x9C\xAC", 4},
      {NLS_UTF8, NLS_KO16KSC5601, "\xED\x95\x9C", "\xC7\xD1", 3},
      {NLS_UTF8, NLS_ZHS16CGB231280, "\xE4\xB8\xAD", "\xD6\xD0", 3},
      {NLS_UTF8, NLS_ZHS16GBK, "\xE4\xB8\xAD", "\xD6\xD0", 3},
      {NLS_UTF8, NLS_ZHT16BIG5, "\xE4\xB8\xAD", "\xA4\xA4", 3},
      {NLS_UTF8, NLS_WE8ISO8859P1, "\xC3\xA9", "\xE9", 2},
      {NLS_UTF8, NLS_US7ASCII, "x\xC3\xA9y", "x?y", 4},          // no counterpart
      {NLS_JA16EUC, NLS_JA16SJIS, "\xC6\xFC\xCB", "\x93\xFA", 2},  // cut stays unconsumed
      {NLS_US7ASCII, NLS_UTF8, "a\x80z", "a?z", 3},              // invalid byte
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    char buf[32];
    size_t used = 99;
    long n = nlsconv(cs(c.to), buf, sizeof buf, cs(c.from), c.src, std::strlen(c.src), &used);
    ASSERT_EQ(n, static_cast<long>(std::strlen(c.out)));
    EXPECT_EQ(std::string(buf, n), c.out);
    EXPECT_EQ(used, c.used);
  }
}

TEST(NlsConv, EverySetConvertsAndStopsWhenFull) {
  for (uint16_t id : {NLS_US7ASCII, NLS_WE8ISO8859P1, NLS_JA16EUC, NLS_JA16SJIS, NLS_KO16KSC5601,
                      NLS_ZHS16CGB231280, NLS_ZHS16GBK, NLS_ZHT16BIG5, NLS_ZHT32EUC, NLS_UTF8}) {
    char buf[8];
    size_t used = 0;
    EXPECT_EQ(nlsconv(cs(NLS_UTF8), buf, sizeof buf, cs(id), "abc", 3, &used), 3) << id;
    EXPECT_EQ(used, 3u);
  }
  // Room for one Kanji of three UTF-8 bytes, not two.
  char buf[5];
  size_t used = 0;
  EXPECT_EQ(nlsconv(cs(NLS_UTF8), buf, sizeof buf, cs(NLS_JA16EUC), "\xC6\xFC\xCB\xDC", 4, &used), 3);
  EXPECT_EQ(used, 2u);
  EXPECT_EQ(nlsratio(cs(NLS_JA16EUC), cs(NLS_JA16EUC)), 1u);
  EXPECT_EQ(nlsratio(cs(NLS_UTF8), cs(NLS_JA16SJIS)), 4u);
  EXPECT_EQ(nlsratio(cs(NLS_JA16EUC), cs(NLS_JA16SJIS)), 3u);
}

}  // namespace

namespace {

TEST(NlsConv, FromUtf8ReplacesWhatTheSetCannotHold) {
  struct Case {
    uint16_t to;
    const char* src;
    const char* out;
    size_t used, replaced;
  } cases[] = {
      {NLS_WE8ISO8859P1, "city of \xC5\x81\xC3\xB3" "d\xC5\xBA", "city of \xBF\xF3" "d\xBF", 15, 2},
      {NLS_WE8ISO8859P1, "caf\xC3\xA9", "caf\xE9", 5, 0},
      {NLS_US7ASCII, "caf\xC3\xA9", "caf?", 5, 1},
      {NLS_UTF8, "\xC5\x81\xE6\x97\xA5", "\xC5\x81\xE6\x97\xA5", 5, 0},
      {NLS_AL32UTF8, "a\xFF" "b", "a\xEF\xBF\xBD" "b", 3, 1},      // an invalid byte
      {NLS_WE8ISO8859P1, "a\xED\xA0\x80" "b", "a\xBF\xBF\xBF" "b", 5, 3},  // a surrogate
      {NLS_JA16EUC, "\xE6\x97\xA5" "x\xF0\x9F\x98\x80", "\xC6\xFC" "x?", 8, 1},
      {NLS_WE8ISO8859P1, "ab\xC3", "ab", 2, 0},  // a cut character stays unconsumed
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    char buf[32];
    size_t used = 99, replaced = 0;
    long n = nlsfromutf8(cs(c.to), buf, sizeof buf, c.src, std::strlen(c.src), &used, &replaced);
    ASSERT_GE(n, 0);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), c.out);
    EXPECT_EQ(used, c.used);
    EXPECT_EQ(replaced, c.replaced);
  }
  // A full destination stops before the character that would not fit.
  char small[3];
  size_t used = 0, replaced = 0;
  EXPECT_EQ(nlsfromutf8(cs(NLS_UTF8), small, sizeof small, "a\xE6\x97\xA5", 4, &used, &replaced), 1);
  EXPECT_EQ(used, 1u);
}

}  // namespace
