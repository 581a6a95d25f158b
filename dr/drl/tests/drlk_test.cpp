// Tests of the Korean morphological analysis and the Korean lexer over small
// dictionaries written here: terms of words with their kinds, the dictionary
// trees, the Hanja readings, token batches, and the refusals of bad files.
#include "dr/drl/drlk.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "dr/drl/drlkhanja.h"
#include "platform/nls/nls.h"
#include "tests/fixtures/pipe/kodict.h"
#include "tests/fixtures/pipe/pipefix.h"
#include "tests/fixtures/server/statefix.h"

namespace {

namespace fs = std::filesystem;
using kodict::Sdic;
using kodict::sdicbytes;
using pipefix::Tok;

// UTF-8 text in KS X 1001.
std::string ko(const std::string &utf8) {
  std::string out(utf8.size() * 2 + 4, '\0');
  size_t used = 0, bad = 0;
  long n = nlsfromutf8(nlscsbyid(NLS_KO16KSC5601), out.data(), out.size(), utf8.data(),
                       utf8.size(), &used, &bad);
  EXPECT_TRUE(n >= 0 && bad == 0) << utf8;
  out.resize(n < 0 ? 0 : static_cast<size_t>(n));
  return out;
}

void write(const fs::path &p, const std::string &bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

// The small dictionaries: the noun 학교 (school), the ending 에서 (at), the
// word 사랑 (love) that only follows Latin letters in the same word, the
// user entries 대學 and AB, ABC, and the exception 학생 (student), itself
// a noun.
struct Dicts {
  fs::path home;
  Dicts() {
    home = fs::temp_directory_path() / ("drlk-" + std::to_string(::getpid()));
    fs::create_directories(home / "vek73" / "data");
    Sdic d;
    d.rows[1] = {{1, 1}};
    d.rows[2] = {{2, 2}};
    d.rows[3] = {{3, 3}};
    d.rows[10] = {{200, 200}};  // ending
    d.rows[11] = {{20, 20}};    // noun
    d.rows[12] = {{21, 21}};    // after Latin letters only
    d.morphemes["es9"] = 10;     // 에서 reversed
    d.morphemes["oygGah"] = 11;  // 학교 reversed
    d.morphemes["*alas"] = 12;   // 사랑 reversed
    d.morphemes["*8sGah"] = 11;  // 학생 reversed
    files(sdicbytes(d), "1 20 0\n20 200 2 460 0\n200 2 460 0\n3 21 0\n21 2 460 0\n",
          ko("대學") + "\nAB\nABC\n", ko("학생") + "\n");
  }
  ~Dicts() { fs::remove_all(home); }
  void files(const std::string &sdic, const std::string &gram, const std::string &udic,
             const std::string &xdic) {
    fs::path d = home / "vek73" / "data";
    write(d / "drkosdic.dat", sdic);
    write(d / "drkogram.dat", gram);
    write(d / "drkoudic.dat", udic);
    write(d / "drkoxdic.dat", xdic);
  }
};

struct Korean : statefix::State {
  std::unique_ptr<pipefix::Prefs> prefs;
  std::unique_ptr<Dicts> dicts;
  std::vector<drobj *> made;
  std::string oldhome;
  Korean() { nls = "KOREAN_KOREA.KO16KSC5601"; }
  void SetUp() override {
    statefix::State::SetUp();
    if (!st) return;
    prefs = std::make_unique<pipefix::Prefs>(st);
    dicts = std::make_unique<Dicts>();
    if (const char *h = std::getenv("KESTRIN_HOME")) oldhome = h;
    setenv("KESTRIN_HOME", dicts->home.c_str(), 1);
  }
  void TearDown() override {
    for (drobj *o : made) drops<drlexops>(o)->free(o);
    prefs.reset();
    dicts.reset();
    if (oldhome.empty()) unsetenv("KESTRIN_HOME");
    else setenv("KESTRIN_HOME", oldhome.c_str(), 1);
    statefix::State::TearDown();
  }
  drobj *lexer(drobj *fil, const std::vector<pipefix::Attr> &attrs = {}) {
    drobj *l = drlknew(st, st->seshp);
    if (!l) return nullptr;
    made.push_back(l);
    return drops<drlexops>(l)->bnd(l, 42, fil, prefs->add(DRCLS_LEXER, 3, attrs)) == 0 ? l : nullptr;
  }
  std::vector<Tok> tokens(const std::string &text, int32_t max = 0,
                          std::vector<int32_t> *sizes = nullptr, size_t piece = 0) {
    pipefix::MemFilter f({text}, piece);
    drobj *l = lexer(f.obj());
    int32_t op = 0;
    char *key = nullptr;
    if (!l || drops<drlexops>(l)->mode(l, 1) != 0 || drops<drlexops>(l)->next(l, &op, &key) != 0)
      return {{-1, "bind failed", 0, 0}};
    return pipefix::drain(l, max, sizes);
  }
};

Tok W(const std::string &utf8, int32_t off, int ext) { return {DRTOK_WORD, ko(utf8), off, ext}; }
Tok END(int32_t off) { return {DRTOK_END, "", off, 0}; }

// The terms the analysis finds in one word, with their kinds.
TEST_F(Korean, WordsToTerms) {
  drlkmmod *m = drlkminit(st);
  ASSERT_NE(m, nullptr);
  fs::path d = dicts->home / "vek73" / "data";
  ASSERT_EQ(drlkmload(st, m, (d / "drkoudic.dat").c_str(), (d / "drkosdic.dat").c_str(),
                      (d / "drkoxdic.dat").c_str(), (d / "drkogram.dat").c_str()),
            0);
  struct Case {
    const char *name;
    std::string word;
    int boundary;  // the flag the previous call left
    int32_t took;
    std::vector<drlkmterm> terms;
  } cases[] = {
      {"noun and ending", ko("학교에서 x"), 1, 8, {{0, 3, 2}}},
      {"one syllable", ko("집"), 1, 2, {}},
      {"two Latin letters", "ab c", 1, 3, {}},
      {"Latin word with inner hyphen", "e-mail. x", 1, 8, {{0, 5, 2}}},
      {"user entry first", "ABCD", 1, 3, {{0, 2, 1}}},
      {"two Hanja", ko("學校 "), 1, 5, {{0, 3, 2}}},
      {"one Hanja", ko("學 "), 1, 3, {}},
      {"exception left out", ko("학생에서"), 1, 8, {}},
      {"nothing known", ko("가나다라"), 1, 8, {{0, 7, 3}}},
      {"word start after Latin letters", "xyz" + ko("사랑"), 1, 7, {{0, 2, 2}, {3, 6, 2}}},
      {"word start after white space", ko("사랑"), 1, 4, {{0, 3, 3}}},
      {"full-width space", ko("　"), 1, 2, {}},
      {"NUL", std::string(), 1, 0, {}},
  };
  drlkmterm out[DRLKM_TERMS];
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    m->boundary = c.boundary;
    EXPECT_EQ(drlkmword(st, m, c.word.c_str(), out), c.took);
    std::vector<drlkmterm> got;
    for (int k = 0; k < DRLKM_TERMS && (out[k].first || out[k].last); ++k) got.push_back(out[k]);
    ASSERT_EQ(got.size(), c.terms.size());
    for (size_t k = 0; k < got.size(); ++k) {
      EXPECT_EQ(got[k].first, c.terms[k].first);
      EXPECT_EQ(got[k].last, c.terms[k].last);
      EXPECT_EQ(got[k].kind, c.terms[k].kind);
    }
  }
  // A word of 1024 bytes and more, and a Hangul run of more than 147
  // letters, are taken to their end without terms from the lattice.
  std::string longword(3000, 'q');
  EXPECT_EQ(drlkmword(st, m, longword.c_str(), out), 3000);
  std::string run;
  for (int k = 0; k < 60; ++k) run += ko("학교");
  EXPECT_EQ(drlkmword(st, m, run.c_str(), out), static_cast<int32_t>(run.size()));
  EXPECT_EQ(out[0].last, 0);
  drlkmfree(st, m);
}

// Entries AB and ABC in either order: the longest match of ABCD is 3, of
// ABX 2; a text before every entry matches nothing.
TEST_F(Korean, DictionaryTrees) {
  const std::string longest(1024, 'L');
  for (const std::string lines : {"AB\nABC\n", "ABC\nAB\n", "\nABC\n\nAB"}) {
    SCOPED_TRACE(lines);
    dicts->files(sdicbytes(Sdic{{{1, {{1, 1}}}}, {{"a", 1}}}), "1 2 0\n",
                 lines + "\n" + longest + "\n" + longest.substr(0, 300) + "\n", "X\n");
    drlkmmod *m = drlkminit(st);
    ASSERT_NE(m, nullptr);
    fs::path d = dicts->home / "vek73" / "data";
    ASSERT_EQ(drlkmload(st, m, (d / "drkoudic.dat").c_str(), (d / "drkosdic.dat").c_str(),
                        (d / "drkoxdic.dat").c_str(), (d / "drkogram.dat").c_str()),
              0);
    EXPECT_EQ(drlkmmatch(m->uidx, "ABCD"), 3);
    EXPECT_EQ(drlkmmatch(m->uidx, "ABX"), 2);
    EXPECT_EQ(drlkmmatch(m->uidx, "A"), 0);
    EXPECT_EQ(drlkmmatch(m->uidx, "0AB"), 0);
    // Lines of up to 1024 bytes are entries too.
    EXPECT_EQ(drlkmmatch(m->uidx, (longest + "x").c_str()), 1024);
    EXPECT_EQ(drlkmmatch(m->uidx, (longest.substr(0, 600)).c_str()), 300);
    drlkmfree(st, m);
  }
}

// The Hanja table runs in KS X 1001 order to 0xFDFF; readings of anchors.
TEST(KoreanHanja, TableAndReadings) {
  for (int k = 1; k <= drlkhanjan; ++k) {
    ASSERT_LT(drlkhanjatab[k - 1].start, drlkhanjatab[k].start) << k;
    if (k < drlkhanjan) ASSERT_LE(drlkhanjatab[k - 1].hangul, drlkhanjatab[k].hangul) << k;
  }
  EXPECT_EQ(drlkhanjatab[drlkhanjan].start, 0xFDFF);
  struct {
    int code, hangul;
  } anchors[] = {{0xCAA1, 0xB0A1}, {0xCAC9, 0xB0A3}, {0xCAE1, 0xB0A5}, {0xCAEB, 0xB0A8},
                 {0xFDE5, 0xC8ED}, {0xFDE9, 0xC8EF}, {0xFDEA, 0xC8F1},
                 // The data reads these two otherwise than the order alone suggests.
                 {0xCABD, 0xB0A1}, {0xFDFE, 0xC8FA}};
  for (auto a : anchors) {
    char t[3] = {static_cast<char>(a.code >> 8), static_cast<char>(a.code & 0xFF), 0};
    drlkcvt(t);
    EXPECT_EQ((static_cast<uint8_t>(t[0]) << 8 | static_cast<uint8_t>(t[1])), a.hangul) << std::hex << a.code;
  }
  std::string mixed = ko("學校a대");
  drlkcvt(mixed.data());
  EXPECT_EQ(mixed, ko("학교a대"));
}

// Texts to token rows through the lexer.
TEST_F(Korean, TextsToTokens) {
  struct Case {
    const char *name;
    std::string text;
    std::vector<Tok> toks;
  } cases[] = {
      {"empty document", "", {END(0)}},
      {"noun with ending", ko("그 학교에서 abc"), {W("학교", 2, 2), {DRTOK_WORD, "ABC", 7, 3}, END(10)}},
      {"one syllable", ko("집"), {END(1)}},
      {"Hanja-initial term in readings", ko("學校"), {W("학교", 0, 2), END(2)}},
      {"Hangul-initial term keeps its Hanja", ko("대學"), {W("대學", 0, 2), END(2)}},
      {"ASCII upper-cased", "e-mail.", {{DRTOK_WORD, "E-MAIL", 0, 6}, END(7)}},
      {"NUL inside the text", "abc" + std::string(1, '\0') + "def",
       {{DRTOK_WORD, "ABC", 0, 3}, {DRTOK_WORD, "DEF", 4, 3}, END(7)}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(tokens(c.text), c.toks);
    EXPECT_TRUE(stacknums().empty());
  }
}

// Batches: a limit of 1 gives a two-term word's first term, then the rest;
// a batch that holds records stops before a word whose terms do not fit.
TEST_F(Korean, Batches) {
  std::vector<int32_t> sizes;
  EXPECT_EQ(tokens("abc" + ko("학교에서"), 1, &sizes),
            (std::vector<Tok>{{DRTOK_WORD, "ABC", 0, 3}, W("학교", 3, 2), END(7)}));
  EXPECT_EQ(sizes, (std::vector<int32_t>{1, 1, 1}));
  sizes.clear();
  EXPECT_EQ(tokens("abc def" + ko("학교에서"), 2, &sizes),
            (std::vector<Tok>{{DRTOK_WORD, "ABC", 0, 3}, {DRTOK_WORD, "DEF", 4, 3}, W("학교", 7, 2),
                              END(11)}));
  EXPECT_EQ(sizes, (std::vector<int32_t>{1, 2, 1}));
  // A long document read in pieces gives the tokens it gives at once.
  std::string doc;
  for (int k = 0; k < 900; ++k) doc += ko("학교에서 ") + "abc ";
  std::vector<Tok> whole = tokens(doc);
  ASSERT_EQ(whole.size(), 1801u);
  EXPECT_EQ(tokens(doc, 0, nullptr, 7), whole);
}

// A wildcard query word is one token, and the batch ends without type 7.
TEST_F(Korean, QueryWords) {
  drobj *l = lexer(nullptr);
  ASSERT_NE(l, nullptr);
  const drlexops *ops = drops<drlexops>(l);
  ASSERT_EQ(ops->mode(l, 2), 0);
  const std::string q = ko("학교") + "%";
  ASSERT_EQ(ops->query(l, q.c_str(), 1), 0);
  drtoken *t = nullptr;
  int32_t n = 0;
  EXPECT_EQ(ops->tok(l, 1, &t, &n), 0);
  ASSERT_EQ(n, 1);
  EXPECT_EQ(std::string(t[0].text, t[0].length), q);
  EXPECT_EQ(t[0].extent, 3);
  EXPECT_EQ(ops->tok(l, 1, &t, &n), 2);
  EXPECT_EQ(t[0].type, DRTOK_END);
  const std::string word = ko("학교에서");
  ASSERT_EQ(ops->query(l, word.c_str(), 0), 0);
  EXPECT_EQ(pipefix::drain(l, 1), (std::vector<Tok>{W("학교", 0, 2), END(4)}));
  // A lead byte at the end of the query is stepped over; being no whole
  // character, it counts for no offset.
  const std::string lone = "abc\xB0";
  ASSERT_EQ(ops->query(l, lone.c_str(), 0), 0);
  EXPECT_EQ(pipefix::drain(l, 1), (std::vector<Tok>{{DRTOK_WORD, "ABC", 0, 3}, END(3)}));
}

// Binding fails with 11101 and the path for a missing or malformed file or
// an unset home; the lexer of another set is refused with 11102.
TEST_F(Korean, Refusals) {
  struct Case {
    const char *name;
    std::string sdic, gram;
    const char *file;
  } cases[] = {
      {"missing grammar", sdicbytes(Sdic{{{1, {{1, 1}}}}, {{"a", 1}}}), "", "drkogram.dat"},
      {"no star", std::string("\x01\x00\x02\x00\x00" "1 1 1\n", 11), "1 2 0", "drkosdic.dat"},
      {"index past the file", std::string("\x01\x00\x01\x00\x00*a\x7f\x00\x00", 10), "1 2 0", "drkosdic.dat"},
      {"too many pairs", std::string("\x00\x00\x02\x00\x00" "21 ", 8) + std::string(21 * 4, '1') + "*",
       "1 2 0", "drkosdic.dat"},
      {"tag of 500", std::string("\x00\x00\x02\x00\x00" "1 500 1 *", 14), "1 2 0", "drkosdic.dat"},
      {"number of 11 digits", std::string("\x00\x00\x02\x00\x00" "00000000001 1 1 *", 22), "1 2 0",
       "drkosdic.dat"},
      {"1024 category rows", std::string("\x00\x04\x01\x00\x00*", 6), "1 2 0", "drkosdic.dat"},
      {"line of 1025 bytes", sdicbytes(Sdic{{{1, {{1, 1}}}}, {{"a", 1}}}), "1 2 0", "drkoudic.dat"},
      {"grammar key of 500", sdicbytes(Sdic{{{1, {{1, 1}}}}, {{"a", 1}}}), "500 1 0", "drkogram.dat"},
      {"grammar without numbers", sdicbytes(Sdic{{{1, {{1, 1}}}}, {{"a", 1}}}), "1 x 0", "drkogram.dat"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    dicts->files(c.sdic, c.gram, std::string(c.file) == "drkoudic.dat" ? std::string(1025, 'u') : "AB\n",
                 "X\n");
    if (c.gram.empty()) fs::remove(dicts->home / "vek73" / "data" / "drkogram.dat");
    EXPECT_EQ(lexer(nullptr), nullptr);
    EXPECT_EQ(stacknums(), std::vector<int>{11101});
    char text[400];
    ASSERT_GT(rtmsgtxt(st->msg, 1, text, sizeof text), 0);
    EXPECT_NE(std::string(text).find(c.file), std::string::npos) << text;
    rtmsgclr(st->msg);
  }
  unsetenv("KESTRIN_HOME");
  EXPECT_EQ(lexer(nullptr), nullptr);
  EXPECT_EQ(stacknums(), std::vector<int>{11101});
  rtmsgclr(st->msg);
  setenv("KESTRIN_HOME", (std::string(300, 'x')).c_str(), 1);
  EXPECT_EQ(lexer(nullptr), nullptr);
  EXPECT_EQ(stacknums(), std::vector<int>{11101});
  rtmsgclr(st->msg);

  static_cast<nlslang *>(st->lxhd)->cs = nlscsbyid(NLS_JA16EUC);
  EXPECT_EQ(drlknew(st, st->seshp), nullptr);
  EXPECT_EQ(stacknums(), std::vector<int>{11102});
  static_cast<nlslang *>(st->lxhd)->cs = nlscsbyid(NLS_KO16KSC5601);
}

}  // namespace

namespace {

// The dictionaries the build makes from hunspell-ko over real Korean text:
// the message catalogues of installed packages.
TEST(KoreanText, GeneratedDictionaries) {
  const std::string data = KES_KODATA;
  if (!fs::exists(data + "/drkosdic.dat")) GTEST_SKIP() << "no Korean dictionaries in " << data;
  drsrvstate *st = nullptr;
  ASSERT_EQ(statefix::build(&st, "KOREAN_KOREA.KO16KSC5601"), 0);
  drlkmmod *m = drlkminit(st);
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(drlkmload(st, m, (data + "/drkoudic.dat").c_str(), (data + "/drkosdic.dat").c_str(),
                      (data + "/drkoxdic.dat").c_str(), (data + "/drkogram.dat").c_str()),
            0);
  // Words whose analysis is known: noun and particle, verb stem and ending,
  // a user entry, an exception.
  struct Case {
    const char *word;
    std::vector<std::string> terms;
  } cases[] = {
      {"파일을", {"파일"}},
      {"학교에서", {"학교"}},
      {"대한민국의", {"대한민국"}},
      {"우리는", {}},
  };
  drlkmterm out[DRLKM_TERMS];
  for (const Case &c : cases) {
    SCOPED_TRACE(c.word);
    std::string w = ko(c.word);
    m->boundary = 1;
    drlkmword(st, m, w.c_str(), out);
    std::vector<std::string> got;
    for (int k = 0; k < DRLKM_TERMS && (out[k].first || out[k].last); ++k)
      got.push_back(w.substr(out[k].first, out[k].last - out[k].first + 1));
    std::vector<std::string> want;
    for (const std::string &t : c.terms) want.push_back(ko(t));
    EXPECT_EQ(got, want);
  }
  // Over a catalogue's text: every word is taken to its end and every term
  // lies inside it; how often the segmentation, the fallback and nothing
  // at all decided is printed.
  const char *mo = "/usr/share/locale/ko/LC_MESSAGES/dpkg.mo";
  if (fs::exists(mo)) {
    std::string cmd = std::string("msgunfmt ") + mo + " 2>/dev/null | iconv -f UTF-8 -t EUC-KR -c";
    std::string text;
    if (FILE *p = popen(cmd.c_str(), "r")) {
      char buf[4096];
      size_t n;
      while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
      pclose(p);
    }
    // The walk through the trie's child index finds what a scan along the
    // siblings finds: the terms of every word are the same without it.
    ASSERT_NE(m->cidx, nullptr);
    auto terms = [&](std::string *all) {
      int kinds[8] = {}, words = 0;
      m->boundary = 1;
      for (size_t at = 0; at < text.size();) {
        int32_t took = drlkmword(st, m, text.c_str() + at, out);
        EXPECT_GE(took, 0);
        for (int k = 0; k < DRLKM_TERMS && (out[k].first || out[k].last); ++k) {
          EXPECT_LE(out[k].last, took);
          ++kinds[out[k].kind & 7];
          *all += std::to_string(at + out[k].first) + ":" + std::to_string(at + out[k].last) + ":" +
                  std::to_string(out[k].kind) + " ";
        }
        ++words;
        at += took > 0 ? took : 1;
      }
      return std::vector<int>{words, kinds[1], kinds[2], kinds[3], kinds[4]};
    };
    std::string indexed, scanned;
    std::vector<int> kinds = terms(&indexed);
    int32_t *idx = m->cidx;
    m->cidx = nullptr;
    terms(&scanned);
    m->cidx = idx;
    EXPECT_TRUE(indexed == scanned);
    EXPECT_GT(indexed.size(), 1000u);
    const int words = kinds[0];
    std::printf("korean text: %zu bytes, %d words; terms by kind: user %d, run or morpheme %d, "
                "whole run %d, stem or ending %d\n",
                text.size(), words, kinds[1], kinds[2], kinds[3], kinds[4]);
  }
  drlkmfree(st, m);
  rtmsgclr(st->msg);
  dracnfre(&st);
}

}  // namespace
