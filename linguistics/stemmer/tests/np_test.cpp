// Noun phrases of tagged sentences.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "linguistics/stemmer/stem.h"

namespace {

// Joins strings into consecutive NUL-terminated ones, ended by an empty one.
std::string list(const std::vector<std::string> &v) {
  std::string s;
  for (const std::string &x : v) s += x + '\0';
  return s + '\0';
}

TEST(NounPhrases, RunsOfHeadsAndModifiersUpToTheLastHead) {
  struct Case {
    std::vector<std::string> tags;
    int minlen, room, rc;
    std::string out;  // as written, closing 0s included
  } cases[] = {
      {{"JJ", "NN", "NN", "VBZ", "DT", "NN"}, 1, 64, 2, std::string("w1 w2 w3 \0w6 \0\0", 15)},
      {{"JJ", "JJ", "VBZ"}, 1, 64, 0, std::string("\0", 1)},
      {{"NN", "JJ", "VBZ", "JJ", "NN"}, 1, 64, 2, std::string("w1 \0w4 w5 \0\0", 12)},
      {{"JJ", "NN", "VBZ", "NN", "NN", "NN"}, 3, 64, 1, std::string("w4 w5 w6 \0\0", 11)},
      {{}, 1, 64, 0, std::string("\0", 1)},
      {{"VBG", "NNS$", "OD", "CD", "JJR"}, 1, 64, 1, std::string("w1 w2 w3 w4 \0\0", 14)},
      {{"NNP", "NP", "VBZ", "NPS"}, 1, 64, 2, std::string("w2 \0w4 \0\0", 9)},
      // room: each word with its blank, each phrase's 0, and the closing 0
      {{"NN", "NN"}, 1, 8, 1, std::string("w1 w2 \0\0", 8)},
      {{"NN", "NN"}, 1, 7, FST_ETOOLONG, std::string("w1 w2 ", 6)},
      {{"NN", "NN"}, 1, 6, FST_ETOOLONG, std::string("w1 ", 3)},
      {{}, 1, 0, FST_ETOOLONG, ""},
  };
  for (const Case &c : cases) {
    std::vector<std::string> words;
    for (size_t i = 0; i < c.tags.size(); i++) words.push_back("w" + std::to_string(i + 1));
    std::string w = list(words), t = list(c.tags);
    std::string buf(80, '#');
    EXPECT_EQ(npextract(w.c_str(), t.c_str(), buf.data(), c.room, c.minlen, nullptr, nullptr), c.rc)
        << t;
    EXPECT_EQ(buf.substr(0, c.out.size()), c.out) << t;
    EXPECT_EQ(buf.find_first_not_of('#', c.room), std::string::npos) << "written past the room";
    EXPECT_EQ(fstnp(w.c_str(), t.c_str(), buf.data(), c.room, c.minlen, nullptr, nullptr), c.rc);
  }
}

}  // namespace
