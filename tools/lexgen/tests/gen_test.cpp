// The lexicon generator on small word lists of its own: affix expansion,
// what is left out, and stems dropped when the forms pass a size limit.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "linguistics/stemmer/stem.h"
#include "linguistics/stemmer/tests/fsttmp.h"

namespace {

const std::string kLexgen = std::string(KES_BINARY_DIR) + "/tools/lexgen/lexgen";

struct Lexgen : fsttest::Scratch {
  std::string said;  // what the generator printed
  int run(const std::string &args) {
    std::string cmd = kLexgen + " " + args + " > " + path("said.txt") + " 2>&1";
    int rc = std::system(cmd.c_str());
    std::ifstream in(path("said.txt"));
    std::stringstream ss;
    ss << in.rdbuf();
    said = ss.str();
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  }
  void write(const std::string &name, const std::string &text) { std::ofstream(path(name)) << text; }
  std::set<std::string> lines(const std::string &name) {
    std::set<std::string> s;
    std::ifstream in(path(name), std::ios::binary);
    for (std::string l; std::getline(in, l);) s.insert(l);
    return s;
  }
};

const char *kAff =
    "SET UTF-8\n"
    "FLAG long\n"
    "NEEDAFFIX Nn\n"
    "PFX Re Y 1\n"
    "PFX Re 0 re .\n"
    "SFX Pl Y 3\n"
    "SFX Pl y ies [^aeiou]y\n"
    "SFX Pl 0 s [^y]\n"
    "SFX Pl 0 s [aeiou]y\n"
    "SFX Ed Y 1\n"
    "SFX Ed 0 ed/Ly .\n"
    "SFX Ly N 1\n"
    "SFX Ly 0 ly .\n";
const char *kDic =
    "6\n"
    "city/Pl\n"
    "walk/PlEdRe\tpo:verb\n"
    "toy/Pl\n"
    "b\xC3\xB6se/Pl\n"
    "\xC5\x9Dip/Pl\n"
    "kit/NnPl\n";

TEST_F(Lexgen, ExpandsAffixRulesIntoPairs) {
  write("t.aff", kAff);
  write("t.dic", kDic);
  struct Case {
    const char *args;
    std::set<std::string> pairs;
  } cases[] = {
      {"",
       {"cities\tcity", "city\tcity", "walk\twalk", "walks\twalk", "walked\twalk",
        "walkedly\twalk", "toy\ttoy", "toys\ttoy", "b\xF6se\tb\xF6se", "b\xF6ses\tb\xF6se",
        "kits\tkit"}},
      {"--flags Pl",
       {"cities\tcity", "city\tcity", "walk\twalk", "walks\twalk", "toy\ttoy", "toys\ttoy",
        "b\xF6se\tb\xF6se", "b\xF6ses\tb\xF6se", "kits\tkit"}},
      {"--prefixes",
       {"cities\tcity", "city\tcity", "walk\twalk", "walks\twalk", "walked\twalk",
        "walkedly\twalk", "rewalk\twalk", "rewalks\twalk", "rewalked\twalk", "toy\ttoy",
        "toys\ttoy", "b\xF6se\tb\xF6se", "b\xF6ses\tb\xF6se", "kits\tkit"}},
  };
  for (const Case &c : cases) {
    ASSERT_EQ(run("--out " + path("t.is") + " --pairs " + path("t.pairs") + " --dic " + path("t.dic") +
                  " --aff " + path("t.aff") + " " + c.args),
              0)
        << said;
    EXPECT_NE(said.find("1 words not Latin-1 left out"), std::string::npos) << said;
    EXPECT_EQ(lines("t.pairs"), c.pairs) << c.args;
    // The lexicon relates each pair both ways.
    fstnet *t = fstopen(path("t.is").c_str());
    ASSERT_EQ(fststatus(t), 0);
    for (const std::string &p : c.pairs) {
      std::string form = p.substr(0, p.find('\t')), stem = p.substr(p.find('\t') + 1);
      char buf[1024];
      int n = fstlookup(form.c_str(), buf, sizeof buf, FST_ALL27, t);
      std::set<std::string> got;
      for (int i = 0, at = 0; i < n; i++) {
        got.insert(buf + at);
        at += static_cast<int>(std::strlen(buf + at)) + 1;
      }
      EXPECT_TRUE(got.count(stem)) << form;
    }
    fstclose(t);
  }
}

TEST_F(Lexgen, KeepsTheStemsThatFitAndSaysHowManyWereDropped) {
  std::string list;
  for (int i = 0; i < 3000; i++) {
    std::string stem = "w" + std::to_string(i * 7919 % 100003);
    list += stem + "\t" + stem + "\n" + stem + "ing\t" + stem + "\n";
  }
  write("list.txt", list);
  ASSERT_EQ(run("--out " + path("all.is") + " --list " + path("list.txt")), 0) << said;
  EXPECT_EQ(said.find("dropped"), std::string::npos) << said;
  ASSERT_EQ(run("--out " + path("cut.is") + " --pairs " + path("cut.pairs") + " --limit 8000 --list " +
                path("list.txt")),
            0)
      << said;
  EXPECT_NE(said.find("stems dropped"), std::string::npos) << said;
  EXPECT_LE(std::filesystem::file_size(path("cut.is")), 8000u + 2000u);  // the network, and a small head
  fstnet *t = fstopen(path("cut.is").c_str());
  ASSERT_EQ(fststatus(t), 0);
  char buf[256];
  EXPECT_EQ(fstlookup("w0ing", buf, sizeof buf, FST_ALL27, t), 1);  // the first stem stays
  std::string last = "w" + std::to_string(2999 * 7919 % 100003) + "ing";
  EXPECT_EQ(fstlookup(last.c_str(), buf, sizeof buf, FST_ALL27, t), 0);  // the last one went
  fstclose(t);
  std::set<std::string> kept = lines("cut.pairs");
  EXPECT_GT(kept.size(), 100u);
  EXPECT_LT(kept.size(), 6000u);
  EXPECT_TRUE(kept.count("w0ing\tw0"));
}

TEST_F(Lexgen, RefusesWhatItCannotRead) {
  EXPECT_EQ(run("--out " + path("x.is") + " --list " + path("none.txt")), 1);
  EXPECT_NE(said.find("cannot read"), std::string::npos);
  EXPECT_EQ(run("--out " + path("x.is") + " --dic " + path("t.dic")), 2);  // no affix file
  EXPECT_EQ(run("--bogus"), 2);
  EXPECT_FALSE(std::filesystem::exists(path("x.is")));
}

}  // namespace
