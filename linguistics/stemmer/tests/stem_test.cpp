// The stemmer over small lexicons saved under the lexicon file names: where
// the file is found, stems with retries in other capitalisations, generated
// forms merged across stems, reconfiguration and damaged lexicons.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "linguistics/stemmer/fstint.h"
#include "linguistics/stemmer/tests/fstbuild.h"
#include "linguistics/stemmer/tests/fsttmp.h"

namespace {

using fsttest::Builder;
using Strs = std::vector<std::string>;
using Pairs = std::vector<std::pair<std::string, std::string>>;

Builder lexicon(const std::string &alphabet, const Pairs &pairs) {
  Builder b;
  b.alpha(alphabet);
  std::vector<Builder::Aligned> ws;
  for (auto &[form, stem] : pairs) ws.push_back(b.align(form, stem));
  b.words(ws);
  return b;
}

// English-like: forms of run, three stems of axes, capitalised words.
Builder english() {
  return lexicon("abcdefghijklmnopqrstuvwxyzBPR!",
                 {{"run", "run"}, {"runs", "run"}, {"ran", "run"}, {"running", "run"},
                  {"running", "running"}, {"Paris", "Paris"}, {"Bank", "Bank"}, {"bank", "bank"},
                  {"ax", "ax"}, {"axe", "axe"}, {"axis", "axis"}, {"axes", "ax"}, {"axes", "axe"},
                  {"axes", "axis"}});
}

// German-like: nouns capitalised, verbs and adjectives not.
Builder german() {
  return lexicon("abcdefghijklmnopqrstuvwxyzAELH",
                 {{"lauf", "laufen"}, {"Haus", "Haus"}, {"Lauf", "Lauf"}, {"essen", "essen"}, {"Essen", "Essen"},
                  {"Essen", "essen"}, {"geht", "gehen"}, {"ab", "ab"}, {"Ab", "Abc"},
                  {"Ab", "Abd"}, {"Ab", "Abe"}, {"Ab", "Abf"}});
}

struct Stemmer : fsttest::Scratch {
  std::string cwd;
  stemobj *s = nullptr;
  void SetUp() override {
    Scratch::SetUp();
    cwd = std::filesystem::current_path();
    std::filesystem::create_directories(path("admin"));
    std::filesystem::create_directories(path("work"));
    english().save(path("admin/mlen.is"));
    german().save(path("admin/mlde.is"));
    setenv("VEK73", dir.c_str(), 1);
    ASSERT_EQ(chdir(path("work").c_str()), 0);
  }
  void TearDown() override {
    if (s) s->ops.release(s);
    unsetenv("VEK73");
    EXPECT_EQ(chdir(cwd.c_str()), 0);
    Scratch::TearDown();
  }
  stemobj *make(int lang, int retry = 1, int *err = nullptr) {
    stemcfg cfg{lang, 3, 0, retry};
    int e = 1;
    stemobj *x = stemnew(nullptr, nullptr, &cfg, &e);
    if (err) *err = e;
    return x;
  }
  // Runs an operation; the code and the results.
  static int call(int (*op)(stemobj *, const char *, char *, int, int *), stemobj *x,
                  const std::string &word, Strs *out, int size = 512, int count = -7) {
    std::vector<char> buf(size + 8, '#');
    int n = count;
    int rc = op(x, word.c_str(), buf.data(), size, &n);
    for (int i = size; i < size + 8; i++) EXPECT_EQ(buf[i], '#') << "written past the buffer";
    out->clear();
    if (rc == 0 && n > 0) {
      std::vector<const char *> arr(n);
      stemsplit(buf.data(), arr.data(), n);
      for (const char *a : arr) out->emplace_back(a);
    }
    if (rc == 0 && n == count) out->push_back("<count untouched>");
    if (rc == STEM_ENOWORD) {  // nothing found: an empty answer
      EXPECT_EQ(n, 0) << word;
      EXPECT_EQ(buf[0], 0) << word;
    }
    return rc;
  }
};

Strs sorted(Strs v) {
  std::sort(v.begin(), v.end());
  return v;
}

TEST_F(Stemmer, StemsWithRetriesInOtherCapitalisations) {
  s = make(0);
  ASSERT_NE(s, nullptr);
  struct Case {
    const char *word;
    int rc;
    Strs want;
  } cases[] = {
      {"running", 0, {"running", "run"}},  // the identity before the pair
      {"Running", 0, {"running", "run"}},  // known in lower case only
      {"RAN", 0, {"run"}},
      {"paris", 0, {"Paris"}},             // known capitalised only
      {"Bank", 0, {"Bank"}},               // its own capitalisation: no retry
      {"BANK", 0, {"bank"}},
      {"zzz", STEM_ENOWORD, {}},
      {"r!n", STEM_ENOWORD, {}},
      {"r#n", STEM_ENOWORD, {}},           // outside the alphabet in every capitalisation
  };
  for (const Case &c : cases) {
    Strs got;
    EXPECT_EQ(call(stemword, s, c.word, &got), c.rc) << c.word;
    EXPECT_EQ(got, c.want) << c.word;
  }
  Strs got;
  EXPECT_EQ(call(stemword, s, std::string(300, 'R'), &got, 2048), STEM_ENOWORD);  // not retried
  EXPECT_EQ(call(stemword, s, "running", &got, 12), STEM_EUNSPEC);  // the results overflow
}

TEST_F(Stemmer, WithoutRetriesNothingFoundLeavesTheCount) {
  s = make(0, 0);
  Strs got;
  EXPECT_EQ(call(stemword, s, "r#n", &got), 0);
  EXPECT_EQ(got, Strs{"<count untouched>"});
  EXPECT_EQ(call(stemword, s, "Running", &got), 0);
  EXPECT_EQ(got, Strs{"<count untouched>"});
  // Generation needs a stem: none was found.
  EXPECT_EQ(call(stemgen, s, "Running", &got), STEM_ENOWORD);
}

TEST_F(Stemmer, GermanJoinsLowerCaseAndCapitalisedResults) {
  s = make(3);
  ASSERT_NE(s, nullptr);
  struct Case {
    const char *word;
    int size, rc;
    Strs want;
  } cases[] = {
      {"LAUF", 512, 0, {"Lauf", "laufen"}},
      {"ESSEN", 512, 0, {"Essen", "essen"}},  // sorted by byte, each once
      {"haus", 512, 0, {"Haus"}},             // already lower case: the capitalised form
      {"GEHT", 512, 0, {"gehen"}},            // no capitalised noun: the lower-case results stay
      {"AB", 512, 0, {"Abc", "Abd", "Abe", "Abf", "ab"}},
      {"AB", 16, STEM_EUNSPEC, {}},           // the union would pass the caller's buffer
      {"XYZ", 512, STEM_ENOWORD, {}},
  };
  for (const Case &c : cases) {
    Strs got;
    EXPECT_EQ(call(stemword, s, c.word, &got, c.size), c.rc) << c.word;
    EXPECT_EQ(got, c.want) << c.word;
  }
}

TEST_F(Stemmer, GenerationMergesTheFormsOfEveryStem) {
  s = make(0);
  struct Case {
    const char *word;
    int rc;
    Strs want;  // sorted
  } cases[] = {
      {"ran", 0, {"ran", "run", "running", "runs"}},
      {"RUNNING", 0, {"ran", "run", "running", "runs"}},
      {"axes", 0, {"ax", "axe", "axes", "axis"}},  // three stems, each form once
      {"zzz", STEM_ENOWORD, {}},
  };
  for (const Case &c : cases) {
    Strs got;
    EXPECT_EQ(call(stemgen, s, c.word, &got), c.rc) << c.word;
    EXPECT_EQ(sorted(got), c.want) << c.word;
  }
  s->mode = 2;
  Strs got;
  EXPECT_EQ(call(stemgen, s, "ran", &got), 0);
  EXPECT_EQ(s->mode, 2);  // generation stems in mode 3 and puts the mode back
}

TEST_F(Stemmer, AStemWithoutFormsStandsForItself) {
  // "oo" stems to "o" through a pair that generation does not enter.
  Builder b;
  b.alpha("o");
  int o = b.S('o');
  b.mark("start").b({fsttest::EPS, o, fsttest::CONT, fsttest::EPS, o | fsttest::FIN, 0});
  b.lexicon("start");
  b.save(path("admin/mlen.is"));
  s = make(0);
  Strs got;
  EXPECT_EQ(call(stemword, s, "oo", &got), 0);
  EXPECT_EQ(got, Strs{"o"});
  EXPECT_EQ(call(stemgen, s, "oo", &got), 0);
  EXPECT_EQ(got, Strs{"o"});
}

TEST_F(Stemmer, TheLexiconIsFoundInTheAdminFolderElseHere) {
  int err;
  stemobj *x = make(0, 1, &err);  // the admin folder
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(err, 0);
  stemfree(x);
  std::filesystem::rename(path("admin/mlen.is"), path("work/mlen.is"));
  x = make(0, 1, &err);  // the current folder
  ASSERT_NE(x, nullptr);
  stemfree(x);
  setenv("VEK73", std::string(300, 'v').c_str(), 1);  // too long for a path: skipped
  x = make(0, 1, &err);
  ASSERT_NE(x, nullptr);
  stemfree(x);
  unsetenv("VEK73");
  x = make(0, 1, &err);
  ASSERT_NE(x, nullptr);
  stemfree(x);
  std::filesystem::remove(path("work/mlen.is"));
  EXPECT_EQ(make(0, 1, &err), nullptr);
  EXPECT_EQ(err, STEM_ENOLEX);
  EXPECT_EQ(make(7, 1, &err), nullptr);
  EXPECT_EQ(err, STEM_ENOLEX);
}

TEST_F(Stemmer, ReconfigurationReloadsOnlyForAnotherLanguage) {
  s = make(0);
  fstnet *lex = s->lex;
  stemcfg cfg{0, 2, 5, 1};
  EXPECT_EQ(s->ops.conf(s, &cfg), 0);
  EXPECT_EQ(s->lex, lex);
  EXPECT_EQ(s->mode, 2);
  EXPECT_EQ(s->flags, 5);
  cfg = {3, 3, 0, 1};
  EXPECT_EQ(s->ops.conf(s, &cfg), 0);
  Strs got;
  EXPECT_EQ(call(stemword, s, "GEHT", &got), 0);
  EXPECT_EQ(got, Strs{"gehen"});
  cfg = {2, 3, 0, 1};  // no French lexicon here
  EXPECT_EQ(s->ops.conf(s, &cfg), STEM_ENOLEX);
  EXPECT_EQ(s->lex, nullptr);
  EXPECT_EQ(call(stemword, s, "geht", &got), STEM_ENOLEX);
  cfg = {0, 3, 0, 1};
  EXPECT_EQ(s->ops.conf(s, &cfg), 0);
  EXPECT_EQ(s->ops.unload(s), 0);
  EXPECT_EQ(s->lex, nullptr);
  EXPECT_EQ(call(stemword, s, "ran", &got), 0);  // loaded again
  EXPECT_EQ(got, Strs{"run"});
}

TEST_F(Stemmer, DamagedLexicons) {
  // A damaged file fails creation with its own code.
  Builder bad = english();
  bad.version = 3;
  bad.save(path("admin/mlen.is"));
  int err;
  EXPECT_EQ(make(0, 1, &err), nullptr);
  EXPECT_EQ(err, FST_EBAD);
  // Damage met during a lookup is an unspecified failure of the stemmer.
  Builder loop;
  loop.alpha("ab");
  loop.mark("start").b({fsttest::EPS, loop.S('a')}).mark("self").p3("self");
  loop.lexicon("start");
  loop.save(path("admin/mlen.is"));
  s = make(0, 1, &err);
  ASSERT_NE(s, nullptr);
  Strs got;
  EXPECT_EQ(call(stemword, s, "ab", &got), STEM_EUNSPEC);
  EXPECT_EQ(call(stemgen, s, "ab", &got), STEM_EUNSPEC);
}

TEST(StemmerText, MessagesAndCaseTables) {
  struct Case {
    int code, rc;
    size_t size;
    const char *want;
  } cases[] = {
      {0, 0, 64, "No error occurred."},
      {-104, 0, 100, "The stemming lexicon did not contain the word to be stemmed."},
      {-21, 0, 100, "The client output bufer is too small to contain the output."},
      {-11, STEM_EUNSPEC, 100, "No valid message for this error code."},
      {-103, 0, 7, "Unable"},
      {-2, 0, 1, ""},
  };
  for (const Case &c : cases) {
    char buf[128];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(stemerrtext(c.code, buf, c.size), c.rc) << c.code;
    EXPECT_STREQ(buf, c.want) << c.code;
  }
  struct Pair {
    int in, lower, upper;
  } pairs[] = {{'A', 'a', 'A'}, {'z', 'z', 'Z'}, {0xC0, 0xE0, 0xC0}, {0xFE, 0xFE, 0xDE},
               {0xD7, 0xF7, 0xD7}, {0xDF, 0xDF, 0xDF}, {0xFF, 0xFF, 0xFF}, {'1', '1', '1'}};
  for (const Pair &p : pairs) {
    EXPECT_EQ(stemlower[p.in], p.lower) << p.in;
    EXPECT_EQ(stemupper[p.in], p.upper) << p.in;
  }
  EXPECT_STREQ(stemfile(5), "mlho.is");
  EXPECT_EQ(stemfile(7), nullptr);
}

}  // namespace
