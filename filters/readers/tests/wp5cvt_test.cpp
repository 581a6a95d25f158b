// The framework's WordPerfect 5 reader against the converter family's
// WordPerfect 5 converter on the same generated documents.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "filters/readers/tests/wpcross.h"

namespace {

using namespace wpg;

TEST(Wp5ReaderAndConverter, TheSameWordsButForTheIntendedDifferences) {
  // Reader's text (words) where it differs on purpose from the converter's:
  //  - a note's text follows the word before it without a blank;
  //  - a comment is not text, nor is a figure's text after its caption;
  //  - a box's text comes before its caption;
  //  - the field functions of the body write no text of their own, and an
  //    indent inside a line parts no words;
  //  - a table's last cell is ended before the text after the table (the
  //    converter joins the two words);
  //  - a text box gives its text and then its caption, each ended.
  const std::map<std::string, std::string> differs = {
      {"wp51", "Annual report " + para(3) + " Z\xFCrich " + para(4) + "See the appendix"},
      {"wp51-groups", "ax bc deInner"},
      {"r5-table50", "Before alpha beta gamma delta After"},
      {"r5-table51", "Before alpha beta gamma delta After"},
      {"r5-box50", "Before Boxed words Caption After"},
      {"r5-box51", "Before Boxed words Caption After"},
      {"r5-notes50", "Running head " + para(9) + "Footnote words " + para(10)},
      {"r5-notes51", "Running head " + para(9) + "Footnote words " + para(10)},
  };
  wpcross::samewords(false, reader5(), differs);
}

}  // namespace
