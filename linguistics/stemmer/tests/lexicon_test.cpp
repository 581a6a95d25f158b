// The generated lexicons of the build tree: every English (form, stem) pair
// the generator read stems and generates both ways, a sample of every other
// lexicon too, the stemmer over the English one, and its stems against those
// of the hunspell program.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "linguistics/stemmer/stem.h"
#include "linguistics/stemmer/tests/fsttmp.h"

namespace {

using Strs = std::vector<std::string>;
const std::string kLexicons = std::string(KES_BINARY_DIR) + "/lexicons/";

// The pairs the generator wrote beside a lexicon: stem -> forms.
std::map<std::string, std::set<std::string>> pairs(const std::string &file) {
  std::map<std::string, std::set<std::string>> m;
  std::ifstream in(kLexicons + file + ".pairs", std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    size_t tab = line.find('\t');
    if (tab != std::string::npos) m[line.substr(tab + 1)].insert(line.substr(0, tab));
  }
  return m;
}

std::set<std::string> lookup(const fstnet *t, const std::string &word, int mode, int *rc) {
  static std::vector<char> buf(1 << 16);
  *rc = fstlookup(word.c_str(), buf.data(), static_cast<int>(buf.size()), mode, t);
  std::set<std::string> s;
  for (int i = 0, at = 0; i < *rc; i++) {
    s.insert(&buf[at]);
    at += static_cast<int>(std::strlen(&buf[at])) + 1;
  }
  return s;
}

// Checks every pair: the form stems to the stem, the stem generates the
// form. Reports the first failures; returns the number of pairs checked.
long both_ways(const std::string &file) {
  fstnet *t = fstopen((kLexicons + file).c_str());
  EXPECT_EQ(fststatus(t), 0) << file << " is made by the build (target lexicons)";
  if (fststatus(t)) return 0;
  auto m = pairs(file);
  long checked = 0, bad = 0;
  for (auto &[stem, forms] : m) {
    int rc;
    std::set<std::string> gen = lookup(t, stem, FST_GEN27, &rc);
    for (const std::string &f : forms) {
      checked++;
      std::set<std::string> stems = lookup(t, f, FST_ALL27, &rc);
      if ((!stems.count(stem) || !gen.count(f)) && ++bad <= 10)
        ADD_FAILURE() << file << ": " << f << " / " << stem << (stems.count(stem) ? "" : " not stemmed")
                      << (gen.count(f) ? "" : " not generated");
    }
  }
  fstclose(t);
  EXPECT_EQ(bad, 0) << file;
  return checked;
}

TEST(Lexicons, EveryEnglishPairStemsAndGenerates) {
  EXPECT_GT(both_ways("mlen.is"), 100000);
}

TEST(Lexicons, ASampleOfEveryOtherLexicon) {
  for (const char *f : {"mlen.ds", "mlfr.is", "mlde.is", "mlit.is", "mlho.is", "mles.is"})
    EXPECT_GT(both_ways(f), 500) << f;
}

struct EnglishStemmer : fsttest::Scratch {
  std::string cwd;
  stemobj *s = nullptr;
  void SetUp() override {
    Scratch::SetUp();
    cwd = std::filesystem::current_path();
    unsetenv("VEK73");
    ASSERT_EQ(chdir(kLexicons.c_str()), 0);  // the file by its bare name
    stemcfg cfg{0, 3, 0, 1};
    int err;
    s = stemnew(nullptr, nullptr, &cfg, &err);
    ASSERT_NE(s, nullptr) << err;
  }
  void TearDown() override {
    if (s) stemfree(s);
    EXPECT_EQ(chdir(cwd.c_str()), 0);
    Scratch::TearDown();
  }
  int run(int (*op)(stemobj *, const char *, char *, int, int *), const char *word, Strs *out) {
    char buf[4096];
    int n = 0;
    int rc = op(s, word, buf, sizeof buf, &n);
    out->clear();
    for (int i = 0, at = 0; rc == 0 && i < n; i++) {
      out->emplace_back(buf + at);
      at += static_cast<int>(out->back().size()) + 1;
    }
    return rc;
  }
};

bool contains(const Strs &v, const Strs &want) {
  return std::all_of(want.begin(), want.end(),
                     [&](const std::string &w) { return std::find(v.begin(), v.end(), w) != v.end(); });
}

TEST_F(EnglishStemmer, StemsAndFormsOfKnownWords) {
  Strs got;
  EXPECT_EQ(run(stemword, "mice", &got), 0);
  EXPECT_TRUE(contains(got, {"mouse"}));
  EXPECT_EQ(run(stemgen, "RUNNING", &got), 0);  // through the lower-case retry
  EXPECT_TRUE(contains(got, {"ran", "run", "running", "runs"}));
  EXPECT_EQ(run(stemword, "Houses", &got), 0);
  EXPECT_EQ(got, Strs{"house"});
  EXPECT_EQ(run(stemgen, "better", &got), 0);
  EXPECT_TRUE(contains(got, {"good", "best", "well"}));
  EXPECT_EQ(run(stemword, "qzxvw", &got), STEM_ENOWORD);
  stemcfg german{3, 3, 0, 1};
  ASSERT_EQ(stemconf(s, &german), 0);
  EXPECT_EQ(run(stemword, "H\xC4USER", &got), 0);  // Latin-1 capitals, the noun's stem
  EXPECT_TRUE(contains(got, {"Haus"}));
}

TEST_F(EnglishStemmer, StemsIncludeThoseOfTheHunspellProgram) {
  // Lower-case forms of the derivational lexicon, which expands every affix
  // as the program does; capitalised input it analyses in other
  // capitalisations as well, which is not what a stem lookup is.
  std::string words = path("words.txt"), out = path("stems.txt");
  {
    std::ofstream w(words);
    for (auto &[stem, forms] : pairs("mlen.ds"))
      for (const std::string &f : forms)
        if (std::none_of(f.begin(), f.end(), [](char c) { return c < 0 || (c >= 'A' && c <= 'Z'); }))
          w << f << '\n';
  }
  std::string cmd = "hunspell -d en_US -s < " + words + " > " + out;
  ASSERT_EQ(std::system(cmd.c_str()), 0) << "the hunspell program (package hunspell) is needed";
  stemcfg cfg{1, 3, 0, 1};
  ASSERT_EQ(stemconf(s, &cfg), 0);
  std::map<std::string, std::set<std::string>> theirs;
  std::ifstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    size_t sp = line.find(' ');
    if (sp != std::string::npos) theirs[line.substr(0, sp)].insert(line.substr(sp + 1));
  }
  ASSERT_GT(theirs.size(), 1000u);
  int bad = 0;
  for (auto &[word, stems] : theirs) {
    Strs got;
    ASSERT_EQ(run(stemword, word.c_str(), &got), 0) << word;
    for (const std::string &st : stems)
      if (std::find(got.begin(), got.end(), st) == got.end() && ++bad <= 10)
        ADD_FAILURE() << word << ": " << st << " missing";
  }
  EXPECT_EQ(bad, 0);
}

}  // namespace
