// The framework's WordPerfect 6 reader against the converter family's
// WordPerfect 6 converter on the same generated documents.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "filters/readers/tests/wpcross.h"

namespace {

using namespace wpg;

TEST(Wp6ReaderAndConverter, TheSameWordsButForTheIntendedDifferences) {
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
  wpcross::samewords(true, reader6(), differs);
}

}  // namespace
