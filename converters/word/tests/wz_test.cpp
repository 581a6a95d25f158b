// The second pass of the Word full readers: hand-written intermediate files
// read back into text and zone lines, for both character outputs and the
// option strings that set line ends and code pages.
#include <string>

#include "converters/runtime/comcodes.h"
#include "converters/runtime/cvtframe.h"
#include "converters/word/tests/wxtest.h"
#include "converters/word/wfull.h"

namespace {

// One record: ESC GS, its three code letters, the body (fields end with
// US, written by the caller) and RS.
std::string rec(int code, const std::string &body = "") {
  char letters[4];
  comcodeunpack(code, letters);
  return std::string("\x1b\x1d") + letters + body + "\x1e";
}

const std::string US = "\x1f";

// Runs the second pass alone on an intermediate file, with a zone file.
ft::result readback(int mac, const std::string &inter, const char *options = "0") {
  return ft::runin(
      [&](const cxtestdir &d, const char *, const char *out) {
        d.put("out.txt", inter);
        cxstate *st = mac ? mwnewst() : w2newst();
        std::strncpy(st->nm->optstr, options, sizeof st->nm->optstr - 1);
        wzonefile(st, d.file("zones.txt").c_str());
        return cvtframe(st, nullptr, [&](char *closed) { wsecond(st, mac, out, closed); });
      },
      nullptr, "out.txt");
}

TEST(WordReadback, RecordsBecomeTextAndZones) {
  const std::string e1 = rec(20898, "1" + US + "word" + US), x1 = rec(20901, "1" + US);
  struct {
    const char *name;
    int mac;
    std::string inter, text, zones;
  } cases[] = {
      {"text and a line end", 0, "ab" + rec(WR_LINEEND), "ab\r\n", "0, 3, 0\r\n"},
      {"a tab and a dropped record", 0, "a" + rec(WR_TAB) + rec(WR_PAGEWIDTH, "52" + US) + "b", "a\tb",
       "0, 2, 0\r\n"},
      // A header end before any header start closes zone 1: the top of the
      // stack, here the document's zone, which then ends empty-handed.
      {"header end before any start", 0, "a" + rec(WR_HFEND) + "b", "ab", "0, 0, 0\r\n1, 1, -1\r\n"},
      {"header and footer", 0, "a" + rec(WR_HEADER) + "h" + rec(WR_HFEND) + rec(WR_FOOTER) + "f" + rec(WR_HFEND),
       "ahf", "0, 0, 0\r\n1, 1, 1\r\n2, 2, 2\r\n"},
      {"footnote and frame", 0, rec(WR_FTNBEG) + "n" + rec(WR_FTNEND) + rec(WR_FRAMEBEG) + "p" + rec(WR_FRAMEEND),
       "np", "0, 0, 3\r\n1, 1, 4\r\n"},
      {"cell end with no cell open", 0, "a" + rec(WR_CELLEND) + "b" + rec(WR_CELLBEG) + "c" + rec(WR_CELLEND) +
       rec(WR_CELLEND) + "d", "abcd", "0, 1, 0\r\n2, 2, 10\r\n3, 3, 0\r\n"},
      {"word 2 entry writes its text", 0, "x" + e1 + "y" + x1, "xwordy", "0, 0, 0\r\n1, 5, 6\r\n"},
      {"mac entry writes none of it", 1, "x" + e1 + "y" + x1, "xy", "0, 0, 0\r\n1, 1, 6\r\n"},
      {"index and other entries", 0, rec(20898, "20" + US) + "i" + rec(20901, "20" + US) + rec(20898) + "o" +
       rec(20901, "40" + US), "io", "0, 0, 7\r\n1, 1, 8\r\n"},
      {"nested record in hidden text skipped whole", 0,
       rec(WR_HIDDEN, "hid" + rec(WR_LINEEND, "zz" + US) + "den"), "hidden", "0, 5, 9\r\n"},
      {"hidden on and off", 0, "a" + rec(WR_HIDDENON) + "h" + rec(WR_HIDDENOFF), "ah", "0, 0, 0\r\n1, 1, 9\r\n"},
      {"word 2 control characters", 0, "a\x07" "b\x1e" "c\x1f" "d\x0e", "a b-cd\r\n", "0, 7, 0\r\n"},
      {"mac characters", 1, "\xa5" "a\xd2" "b\xd3" "c\x0e" "d\xd5" "e\x8e", "a\"b\"cd'e\xe9", "0, 8, 0\r\n"},
      // An accented letter comes once, from its code page record; the code
      // page 437 form that follows it is for other readers.
      {"word 2 accented letter", 0, "caf" + rec(WR_CHAR, "819" + US + "E9" + US) + "\x82" + "!",
       "caf\xe9!", "0, 4, 0\r\n"},
      {"word 2 letter with a 437 record", 0, rec(WR_CHAR, "819" + US + "A4" + US) + rec(WR_CTRL437, "0F" + US) + "x",
       "\xa4x", "0, 1, 0\r\n"},
      {"mac accented letter", 1, rec(WR_CHAR, "9999" + US + "8E" + US) + rec(WR_CHAR437, "82" + US) + "t",
       "\xe9t", "0, 1, 0\r\n"},
      {"a cut-off record ends the text", 0, "ab\x1b\x1d" "X", "ab", "0, 1, 0\r\n"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    ft::result r = readback(c.mac, c.inter);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.text);
    EXPECT_EQ(r.zones, c.zones);
    EXPECT_EQ(r.files, (std::vector<std::string>{"out.txt", "zones.txt"}));
  }
}

TEST(WordReadback, OptionsSetLineEndsAndCodePage) {
  const std::string inter = "a" + rec(WR_LINEEND) + rec(WR_CHAR, "819" + US + "E9" + US) + "\x82";
  struct {
    const char *options;
    std::string want;
  } cases[] = {
      {"0", "a\r\n\xe9"},
      {"0m0850", "a\r\x82"},
      {"0x", "a\n\xe9"},
      {"0X999", "a\n\xe9"},  // too short for a code page
      {"0A9999", "a\r\n\x8e"},
      {"x", "a\r\n\xe9"},  // the line end is the second character
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.options);
    EXPECT_EQ(readback(0, inter, c.options).out, c.want);
  }
}

}  // namespace
