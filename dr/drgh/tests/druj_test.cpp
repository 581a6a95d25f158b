// Tests of the Japanese detection and conversion: the byte pairs that decide
// an encoding, the JIS state machines, characters split between reads, and
// real pages in the three encodings (tests/fixtures/japanese, made from one
// UTF-8 text with iconv -t EUC-JP, SHIFT_JIS and ISO-2022-JP) through the
// HTML filter in a JA16EUC and a JA16SJIS server.
#include "dr/drgh/druj.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <fstream>
#include <sstream>
#include <string>

#include "dr/drgh/drgh.h"
#include "tests/fixtures/pipe/htmlfix.h"
#include "tests/fixtures/server/statefix.h"

namespace {

std::string fixture(const char *name) {
  std::ifstream in(std::string(KES_SOURCE_DIR) + "/tests/fixtures/japanese/" + name,
                   std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Japanese : statefix::State {
  // The encoding detected in a document.
  int32_t detect(const std::string &doc) {
    htmlfix::Buffers b(st, doc);
    drujstate r;
    drujinit(st, &r);
    EXPECT_EQ(drujdetect(&r, &b.src), 0);
    return r.enc;
  }
  // A document detected and converted, read in pieces of `piece` bytes.
  std::string convert(const std::string &doc, size_t piece = 0) {
    htmlfix::Buffers b(st, doc, piece);
    drujstate r;
    drujinit(st, &r);
    EXPECT_EQ(drujdetect(&r, &b.src), 0);
    druvfseek(&b.src, 0, 0);
    EXPECT_EQ(drujconv(&r, &b.src, &b.dst), 0);
    return b.result();
  }
  // The text of a page through an HTML filter bound standalone with
  // detection on.
  std::string page(const std::string &doc) {
    pipefix::Prefs prefs(st);
    int32_t pref = prefs.add(DRCLS_FILTER, 3, {pipefix::num(1, 1)});
    pipefix::MemStore ds({doc}, 100);
    drobj *f = drghnew(st, st->seshp);
    EXPECT_EQ(drops<drfilops>(f)->bnd(f, 42, ds.obj(), pref, 1), 0);
    int32_t op = 0;
    char key[DRDS_KEYSIZE];
    EXPECT_EQ(drops<drfilops>(f)->next(f, &op, key), 0);
    std::string text;
    char buf[64];
    int32_t got = 0;
    while (drops<drfilops>(f)->read(f, buf, sizeof buf, &got) == 0) text.append(buf, static_cast<size_t>(got));
    drops<drfilops>(f)->free(f);
    return text;
  }
};

struct JapaneseEuc : Japanese {
  JapaneseEuc() { nls = "JAPANESE_JAPAN.JA16EUC"; }
};
struct JapaneseSjis : Japanese {
  JapaneseSjis() { nls = "JAPANESE_JAPAN.JA16SJIS"; }
};
struct JapaneseLatin : Japanese {
  JapaneseLatin() { nls = "AMERICAN_AMERICA.WE8ISO8859P1"; }
};

TEST_F(JapaneseEuc, DetectsByBytePairs) {
  struct Case {
    std::string doc;
    int32_t enc;
  } cases[] = {
      {"ab\x82\xA0 more text", NLS_JA16SJIS},
      {"ab\xB0\xFE more text", NLS_JA16EUC},
      {"ab\xB0\xB0\xE0\x40 more text", NLS_JA16EUC},  // undecided: EUC
      {"ab\xB0\xB0\x82\xA0 more", NLS_JA16SJIS},
      {"\xC8\x40 text", NLS_JA16SJIS},
      {"\x8E\xB1\xB0\xFE text", NLS_JA16EUC},  // half-width kana in EUC
      {"\x8E\x41 text", NLS_JA16SJIS},
      {"\x82\xA0", NLS_JA16EUC},  // the last two bytes are never examined
      {"plain ascii only", NLS_JA16EUC},
      {"", NLS_JA16EUC},
      {"ab\x1B$Bxyz", DRUJ_JIS},
      {"ab\x1B$@xyz", DRUJ_JIS},
      {"ab\x1B(Bxyz\xB0\xFE ok", NLS_JA16EUC},
      {std::string(1023, 'a') + "\x82\xA0 tail", NLS_JA16SJIS},
  };
  for (const Case &k : cases) EXPECT_EQ(detect(k.doc), k.enc) << k.doc.substr(0, 20);
}

TEST_F(JapaneseEuc, ConvertsJisAndShiftJis) {
  EXPECT_EQ(convert("x\x1B$B\x30\x21\x21\x21\x1B(By"), "x\xB0\xA1\xA1\xA1y");
  EXPECT_EQ(convert("\x1B$B\x30\x21\x1B(I\x31\x1B(Jz"), "\xB0\xA1\x8E\xB1z");
  // An unknown escape drops up to its final byte.
  EXPECT_EQ(convert("\x1B$B\x30\x21\x1B(B a\x1B$)Cb"), "\xB0\xA1 ab");
  const std::string pad(1023, 'a');
  EXPECT_EQ(convert(pad + "\x88\x9F" + "z"), pad + "\xB0\xA1" "z");
  EXPECT_EQ(convert(pad + "\x88\x9F" + "z", 100), pad + "\xB0\xA1" "z");
  // More bytes than one pass's output room takes are converted to the end.
  std::string many, want;
  for (int i = 0; i < 3000; ++i) {
    many += "\x88\x9F";
    want += "\xB0\xA1";
  }
  EXPECT_EQ(convert(many + "\x82\xA0"), want + "\xA4\xA2");
  // EUC itself is not converted by the filter, but passes unchanged here.
  EXPECT_EQ(convert("\xB0\xA1\xB0\xFE ab"), "\xB0\xA1\xB0\xFE ab");
}

TEST_F(JapaneseSjis, ConvertsJisAndEuc) {
  EXPECT_EQ(convert("x\x1B$B\x30\x21\x21\x21\x1B(By"), "x\x88\x9F\x81\x40y");
  EXPECT_EQ(convert("\x1B$B\x30\x21\x1B(I\x31\x1B(Jz"), "\x88\x9F\xB1z");
  const std::string pad(1023, 'a');
  EXPECT_EQ(convert(pad + "\xB0\xA1\xB0\xFE" + "z"), convert(pad + "\xB0\xA1\xB0\xFE" + "z", 1));
  EXPECT_EQ(convert("ab\xB0\xA1\xB0\xFE"), "ab\x88\x9F\x88\xFC");  // undecided: EUC
  // A broken escape at the very end is dropped, not read past.
  EXPECT_EQ(convert("ab\x1B$B\x30"), "ab");
  EXPECT_EQ(convert("\x1B$B\x30\x21\x1B(Bab\x1B$"), "\x88\x9F" "ab");
}

TEST_F(JapaneseEuc, RealPages) {
  const std::string want = fixture("text.euc");
  for (const char *name : {"page.euc", "page.sjis", "page.jis"})
    EXPECT_EQ(page(fixture(name)), want) << name;
}

TEST_F(JapaneseSjis, RealPages) {
  const std::string want = fixture("text.sjis");
  for (const char *name : {"page.euc", "page.sjis", "page.jis"})
    EXPECT_EQ(page(fixture(name)), want) << name;
}

// A numeric entity writes its character in the server's set, one character
// of the text whatever its width; a character the set lacks, and 0, are a
// blank.
TEST_F(JapaneseEuc, NumericEntitiesTakeTheSetsEncoding) {
  EXPECT_EQ(page("<p>a&#945;b&#8364;c&#0;d"), "a\xA6\xC1" "b c d");
}

TEST_F(JapaneseSjis, NumericEntitiesTakeTheSetsEncoding) {
  EXPECT_EQ(page("<p>a&#945;b&#8364;c&#0;d"), "a\x83\xBF" "b c d");
}

TEST_F(JapaneseLatin, DetectsNothing) {
  EXPECT_EQ(detect("ab\x82\xA0 text"), DRUJ_NONE);
  EXPECT_EQ(detect("ab\x1B$Bxyz"), DRUJ_NONE);
  EXPECT_EQ(convert("ab\x82\xA0 text"), "ab\x82\xA0 text");
}

// The arithmetic conversion between EUC and Shift-JIS agrees with the
// system's converter between the standard forms (iconv's EUC-JP and
// SHIFT_JIS) on every character that converter knows, both ways, and gives
// "?" for what has no counterpart.
std::string sysconv(const char *to, const char *from, const std::string &ch) {
  iconv_t cd = iconv_open(to, from);
  char out[8];
  char *ip = const_cast<char *>(ch.data()), *op = out;
  size_t il = ch.size(), ol = sizeof out;
  size_t rc = iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  return rc == static_cast<size_t>(-1) ? "" : std::string(out, sizeof out - ol);
}

TEST(JapaneseArithmetic, AgreesWithTheConverter) {
  const nlscs *euc = nlscsbyid(NLS_JA16EUC), *sjis = nlscsbyid(NLS_JA16SJIS);
  int known = 0;
  auto both = [&](const nlscs *to, const nlscs *from, const std::string &ch) {
    std::string want = sysconv(to == euc ? "EUC-JP" : "SHIFT_JIS", to == euc ? "SHIFT_JIS" : "EUC-JP", ch);
    if (want.empty()) return;
    char b[8];
    size_t ub = 0;
    long nb = nlsjaconv(to, b, sizeof b, from, ch.data(), ch.size(), &ub);
    ASSERT_EQ(ub, ch.size());
    ++known;
    EXPECT_EQ(std::string(b, static_cast<size_t>(nb)), want);
  };
  for (int r = 0xA1; r <= 0xFE; ++r)
    for (int c = 0xA1; c <= 0xFE; ++c) {
      std::string ch{static_cast<char>(r), static_cast<char>(c)};
      both(sjis, euc, ch);
      char s[8];
      size_t used = 0;
      long n = nlsjaconv(sjis, s, sizeof s, euc, ch.data(), 2, &used);
      both(euc, sjis, std::string(s, static_cast<size_t>(n)));
    }
  for (int k = 0xA1; k <= 0xDF; ++k) {
    both(sjis, euc, std::string{'\x8E', static_cast<char>(k)});
    both(euc, sjis, std::string{static_cast<char>(k)});
  }
  EXPECT_GT(known, 2 * 6800);
  char out[16];
  size_t used = 0;
  EXPECT_EQ(nlsjaconv(sjis, out, sizeof out, euc, "\x8F\xB0\xA1" "a", 4, &used), 2);
  EXPECT_EQ(std::string(out, 2), "?a");
  EXPECT_EQ(nlsjaconv(euc, out, sizeof out, sjis, "\xF0\x40\x80" "b", 4, &used), 3);
  EXPECT_EQ(std::string(out, 3), "??b");
  // A character cut off by the end, or one that does not fit, waits.
  EXPECT_EQ(nlsjaconv(euc, out, sizeof out, sjis, "a\x88", 2, &used), 1);
  EXPECT_EQ(used, 1u);
  EXPECT_EQ(nlsjaconv(euc, out, 2, sjis, "a\x88\x9F", 3, &used), 1);
  EXPECT_EQ(used, 1u);
  EXPECT_EQ(nlsjaconv(euc, out, sizeof out, euc, "a", 1, &used), -1);
}

}  // namespace
