// The framework's WordPerfect 6 reader against the converter family's
// WordPerfect 6 converter on the same generated documents: the same words
// in the same order, but for the differences the reader means to have,
// listed below by document.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "converters/formats/tests/wptest.h"
#include "filters/framework/runtime/tests/cvtest.h"
#include "filters/readers/rdr.h"

namespace {

using namespace wpg;

std::vector<std::string> wordsof(const std::string& t) {
  std::vector<std::string> w;
  std::string cur;
  for (char c : t + " ") {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      cur += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    } else if (!cur.empty()) {
      w.push_back(cur);
      cur.clear();
    }
  }
  return w;
}

std::string pulled(const std::string& doc) {
  cvtesthost host(doc);
  convstate* st = host.open();
  std::string out = cvpullall(st, 2000);
  convclose(st);
  return out;
}

TEST(Wp6ReaderAndConverter, TheSameWordsButForTheIntendedDifferences) {
  rdrregister();
  // Reader's text (words) where it differs on purpose from the converter's:
  //  - a note's text follows the word before it without a blank, and a
  //    header's text the word before it;
  //  - a header, a footer and a box text end their lines (the converter
  //    joins their last word with the text after them);
  //  - a box text is converted only from a packet flagged as one (0x02);
  //  - a comment is not text; a field of kind 2 keeps its text to itself;
  //    the field of D4/06 is not read;
  //  - an indent parts no words.
  const std::map<std::string, std::string> differs = {
      {"wp6-box", "Before After"},
      {"wp6-marks", "aHd b"},
      {"r6-hfnotes", "Running head Page foot " + para(11) + " Footnote words " + para(12)},
      {"r6-box", "Before Boxed words After"},
      {"wp6-words", "Dit is doorgaans de waarden voor 7.1Inleiding"},
      {"r6-notes", "Running head Page foot " + para(9) + "Footnote words " + para(10) + "Endnote words"},
  };
  std::vector<doc> docs = corpus();
  for (const doc& d : reader6()) docs.push_back(d);
  for (const doc& d : docs) {
    if (!d.six) continue;
    std::string mine = pulled(d.bytes);
    ASSERT_NE(mine, "<fail>") << d.name;
    auto it = differs.find(d.name);
    if (it != differs.end()) {
      EXPECT_EQ(wordsof(mine), wordsof(it->second)) << d.name;
      continue;
    }
    wpt::result r = wpt::run(wpt::WP6, d.bytes);
    EXPECT_EQ(r.status, 0) << d.name;
    EXPECT_EQ(wordsof(mine), wordsof(r.out)) << d.name;
  }
}

}  // namespace
