// The writer core: characters with the line position and the wrap of a
// full line, special characters, the readers' input, and the summary and
// background of the prologue.
#include <gtest/gtest.h>

#include "filters/framework/writer/tests/cwtest.h"

namespace {

constexpr int kchar = 120;  // the width of every Courier character at 10 points

// A run counting widths in Courier at 10 points, at the start of a line
// after a hard line end, whose line is full after `room` characters.
void countingline(cwtestrun& t, int room) {
  t.settle();
  t.w->nowidth = 0;
  cwnewline(t.run, 1);
  cwflush(t.run, 1);
  t.marknow();
  t.w->rightlimit = t.w->para.linepos + room * kchar;
}

void putcs(cwtestrun& t, const std::string& s) {
  for (unsigned char c : s) cwputc(t.run, c);
}

TEST(WriterCore, LinesWrapAtTheLastBreakPoint) {
  const struct {
    const char* what;
    cwcalls run;
    std::string want;
    int pos;  // the line position after, in characters past the margin
  } rows[] = {
      {"at a space: the tail moves behind a soft line end", [](cwtestrun& t) { putcs(t, "ab cdef"); },
       "ab " + rec(12755) + "cdef", 4},
      {"no break point back to the line's start", [](cwtestrun& t) { putcs(t, "abcdefgh"); },
       "abcde" + rec(12755, {1}) + "fgh", 3},
      {"at an optional hyphen, which begins the new line",
       [](cwtestrun& t) {
         putcs(t, "ab");
         cwspecial(t.run, 1);
         putcs(t, "cdef");
       },
       "ab" + rec(12755, {1}) + rec(3347) + "cdef", 4},
      {"a closed box on the line is passed over whole",
       [](cwtestrun& t) {
         putcs(t, "x ");
         cwrecone(t.run, 15873);
         cvswrite(t.run, t.run->out, "p q", 3);
         cwrecone(t.run, 6657);
         putcs(t, "yyzz");
       },
       "x " + rec(12755) + rec(15873) + "p q" + rec(6657) + "yyzz", 4},
      {"so is a closed note",
       [](cwtestrun& t) {
         putcs(t, "x ");
         cwrecone(t.run, 20934);
         cvswrite(t.run, t.run->out, "p q", 3);
         cwrecone(t.run, 14533);
         putcs(t, "yyzz");
       },
       "x " + rec(12755) + rec(20934) + "p q" + rec(14533) + "yyzz", 4},
      {"a header's begin ends the scan: the space before it is not used",
       [](cwtestrun& t) {
         putcs(t, "a ");
         cwrecone(t.run, 29896);
         putcs(t, "pqrst");
       },
       "a " + rec(29896) + "pqr" + rec(12755, {1}) + "st", 2},
      {"in multi-byte mode no line wraps",
       [](cwtestrun& t) {
         cwmbyteon(t.run, 1, 0);
         putcs(t, "abcdefgh");
       },
       rec(3149, {1, 1, 0}) + "6162636465666768", 8},
  };
  for (const auto& r : rows) {
    cwtestrun t;
    countingline(t, 5);
    int margin = t.w->para.linepos;
    r.run(t);
    EXPECT_EQ(t.show(), comshow(r.want)) << r.what;
    EXPECT_EQ(t.w->para.linepos, margin + r.pos * kchar) << r.what;
  }
}

TEST(WriterCore, NoWrapWithoutCountingOrLeftOfTheLimit) {
  cwtestrun t;
  countingline(t, 5);
  // A line position left of the margin is far from full.
  t.w->para.linepos = -500;
  putcs(t, "abcdef");
  EXPECT_EQ(t.show(), "abcdef");
  t.w->nowidth = 1;
  t.marknow();
  putcs(t, std::string(200, 'x'));
  EXPECT_EQ(t.com(), std::string(200, 'x'));
}

TEST(WriterCore, SpecialCharactersAndBreaks) {
  const struct {
    const char* what;
    cwcalls run;
    std::string want;
    int width;
  } rows[] = {
      {"non-breaking space", [](cwtestrun& t) { cwspecial(t.run, 0); }, rec(18510), kchar},
      {"optional hyphen", [](cwtestrun& t) { cwspecial(t.run, 1); }, rec(3347), 0},
      {"non-breaking hyphen", [](cwtestrun& t) { cwspecial(t.run, 2); }, rec(3336), kchar},
      {"optional hyphen shown", [](cwtestrun& t) { cwspecial(t.run, 3); }, rec(3347), kchar},
      {"page number and count", [](cwtestrun& t) { cwspecial(t.run, 4); cwspecial(t.run, 5); },
       rec(14864) + rec(14736), 0},
      {"tab and the tab codes", [](cwtestrun& t) { cwspecial(t.run, 6); cwspecial(t.run, 7); cwspecial(t.run, 8); },
       rec(2100) + rec(2691) + rec(2100) + rec(2692), 0},
      {"an empty aligned region", [](cwtestrun& t) { cwspecial(t.run, 9); }, rec(18625, {44, 0, 0}) + rec(20517), 0},
      {"kind 10 writes only the pending format",
       [](cwtestrun& t) {
         cwattr(t.run, CW_BOLD, 1, 700);
         cwspecial(t.run, 10);
       },
       rec(20546, {700}), 0},
      {"break records, no flush",
       [](cwtestrun& t) {
         cwattr(t.run, CW_BOLD, 1, 700);
         for (int k = 0; k <= 6; k++) cwbreak(t.run, k);
       },
       rec(12744) + rec(12755) + rec(18510) + rec(3347) + rec(3336) + rec(3347), 0},
  };
  for (const auto& r : rows) {
    cwtestrun t;
    countingline(t, 50);
    int start = t.w->para.linepos;
    r.run(t);
    EXPECT_EQ(t.show(), comshow(r.want)) << r.what;
    EXPECT_EQ(t.w->para.linepos - start, r.width) << r.what;
  }
}

TEST(WriterCore, InputFromTheStreamOrTheInnermostCallback) {
  cwtestrun t;
  t.t.input("ab");
  EXPECT_EQ(cwgetc(t.run), 'a');
  cwungetc(t.run, 'x');
  EXPECT_EQ(cwgetc(t.run), 'x');
  static int pushed = -1;
  cvpushrdr(
      t.run, [](cvrun*) -> int { return 'z'; },
      [](cvrun*, int b) {
        pushed = b;
        return 0;
      });
  EXPECT_EQ(cwgetc(t.run), 'z');
  cwungetc(t.run, 'q');
  EXPECT_EQ(pushed, 'q');
  cvpoprdr(t.run);
  EXPECT_EQ(cwgetc(t.run), 'b');
  EXPECT_EQ(cwgetc(t.run), -1);
}

TEST(WriterCore, ThePrologueCarriesTheSummaryAndTheBackground) {
  cwtestrun t;
  cwsummary(t.run, 0, "first", CW_ENCBYTE);
  cwsummary(t.run, 0, "subject", CW_ENCBYTE);
  cwsummary(t.run, 22, "out of range", CW_ENCBYTE);
  cwsummary(t.run, -1, "out of range", CW_ENCBYTE);
  cwsummary(t.run, 20, "Title", CW_ENCBYTE);
  int h = cvsscratch(t.run, 64);
  cvswrite(t.run, h, "a long text", 11);
  cwsumitem item = {0, 21, nullptr, 0, h};
  cwsummaryrec(t.run, &item);
  cvshade bg{};
  bg.v.pct = 30;
  bg.v.c1[0] = 255;
  cwdocshade(t.run, &bg);
  cwflush(t.run, 1);
  std::vector<std::string> fields(22);
  fields[0] = "subject";
  fields[20] = "Title";
  fields[21] = "a long text";
  std::string com = t.com();
  std::string head = recs(4388, {"1", "0", "00000000", "0"}) + recv(9843, fields) +
                     recs(20614, {"1", "3", "00", "0", "Courier", "00"}) +
                     recs(4371, {"6", "30", "FF", "00", "00", "0", "00", "00", "00"});
  EXPECT_EQ(comshow(com.substr(0, head.size())), comshow(head));
  EXPECT_EQ(t.w->summary, nullptr);
  EXPECT_EQ(t.w->docshade, nullptr);
  // Written once: a later entry makes a table that no record carries.
  cwsummary(t.run, 1, "author", CW_ENCBYTE);
  t.marknow();
  cwsetorient(t.run, 2);
  cwflush(t.run, 1);
  EXPECT_EQ(t.show(), comshow(rec(18928, {1})));
}

}  // namespace
