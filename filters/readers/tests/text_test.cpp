// The plain-text reader run directly with options, as the driver would run
// it with a longer argument vector: line ends of every kind, the byte range,
// the layouts and double-byte sets, and the direction switches of the
// Hebrew and Arabic code pages.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "filters/framework/runtime/tests/cvtest.h"
#include "filters/readers/rdr.h"
#include "filters/readers/text/txr.h"

namespace {

// One run of the reader over a document: its result (-1 after a fatal
// end), the intermediate file and its plain text.
struct textrun {
  cvtesthost host;
  int rc = -1;
  std::string com, text;

  explicit textrun(std::string doc, std::initializer_list<const char*> options = {}) : host(std::move(doc)) {
    rdrregister();
    convstate* st = host.open();
    convsetup(st);
    std::vector<const char*> args(st->argv, st->argv + st->argc);
    args.insert(args.end(), options);
    args.push_back(nullptr);
    cvrun* run = st->run;
    testing::internal::CaptureStdout();
    rc = cvguarded([&] { return txrmain(run, static_cast<int>(args.size()) - 1, args.data()); });
    testing::internal::GetCapturedStdout();
    com = cvgetfile(st, "kvj99int.tmp");
    if (rc == 0 && convtotext(st) == 0) text = cvgetfile(st, "ascii.tmp");
  }
  // The intermediate file rendered for reading.
  std::string body() const { return comshow(com); }
};

TEST(TextReader, BytesAndLineEnds) {
  const struct {
    const char* what;
    std::string doc, want;
  } rows[] = {
      {"CR LF", "a\r\nb", "a\r\nb"},
      {"a lone CR", "a\rb", "a\r\nb"},
      {"LF CR is two line ends", "a\n\rb", "a\r\n\r\nb"},
      {"a lone CR at the end", "a\r", "a\r\n"},
      {"CR CR LF", "a\r\r\nb", "a\r\n\r\nb"},
      {"form feed", "a\fb", "a\r\nb"},
      {"a form feed after a line end adds no second one", "a\n\fb", "a\r\nb"},
      {"tab", "a\tb", "a b"},
      {"byte 0 is a character", std::string("a\0b", 3), "a_b"},
      {"other control bytes too", "a\x1b\x1d\x1e\x1f" "b", "a____b"},
  };
  for (const auto& r : rows) {
    textrun t(r.doc);
    EXPECT_EQ(t.rc, 0) << r.what;
    EXPECT_EQ(t.text, r.want) << r.what;
  }
}

TEST(TextReader, TheByteRange) {
  std::string doc;
  for (int i = 0; i < 120; i++) doc += static_cast<char>('a' + i % 26);
  const struct {
    const char* what;
    const char* option;
    std::string want;
  } rows[] = {
      {"five bytes from offset 100", "/r100,5", doc.substr(100, 5)},
      {"offset 0 disables the count", "/r0,5", doc},
      {"from offset 100 to the end", "/r100", doc.substr(100)},
      {"blanks and a sign", "/r +100,3", doc.substr(100, 3)},
      {"a blank before the comma: no count", "/r100 ,3", doc.substr(100)},
  };
  for (const auto& r : rows) {
    textrun t(doc, {r.option});
    EXPECT_EQ(t.text, r.want) << r.what;
  }
}

TEST(TextReader, LayoutsAndDoubleByteSets) {
  const std::string sjis = "\x88\xA0";
  const struct {
    const char* what;
    const char* option;
    std::string doc;
    std::vector<std::string> want;  // in this order in the intermediate file
  } rows[] = {
      {"Shift-JIS: a pair in multi-byte mode in its own font, then Courier", "/v0D1", sjis + "x",
       {"[FDT 2,3,00,0,Courier,00,1,", "[MBC 1,1,0]", "[SPF 0,0,11,1,210,", "88A0", "[MBC 0]",
        "[SPF 0,0,10,0,240,Courier,0,0]", "x"}},
      {"layout 2 with Shift-JIS writes the trail byte and ends in multi-byte mode", "/v4D1", sjis + "x",
       {"[MBC 1,1,0]", "A0", "[MBC 0]", "x", "[MBC 1,1,0]", "[MBC 0]"}},
      {"layout 3 ends out of it", "/v5D1", "x" + sjis, {"x", "[MBC 1,1,0]", "A0", "[MBC 0]"}},
      {"Big5 in 2-byte units", "/vD20", "ab\r\ncd", {"[MBC 1,2,1]", "6162", "0D0A", "6364"}},
      {"a lone CR in the double-byte loop", "/v0D1", "a\rx", {"a", "[HNL]", "x"}},
      {"layout 1 cuts blocks and writes no text", "/v1", "one\n two\n\fthree\n", {}},
  };
  for (const auto& r : rows) {
    textrun t(r.doc, {r.option});
    EXPECT_EQ(t.rc, 0) << r.what;
    std::string body = t.body();
    size_t at = 0;
    for (const std::string& w : r.want) {
      size_t found = body.find(w, at);
      EXPECT_NE(found, std::string::npos) << r.what << ": " << w << " in " << body;
      if (found != std::string::npos) at = found + w.size();
    }
    if (r.want.empty()) {
      EXPECT_EQ(t.text, "") << r.what;
    }
  }
}

TEST(TextReader, DirectionOfTheHebrewCodePage) {
  textrun t("\xE0" "a\xE0\xFD" "b\xFE" "c", {"/cp=1255"});
  ASSERT_EQ(t.rc, 0);
  // Right-to-left in the Hebrew font from the start; a Latin letter back to
  // Courier at 10 points; a Hebrew letter again in the Hebrew font at 10
  // points; 253 and 254 only switch. The code page given to the run stays
  // the text's through the document defaults: the letters go as 1255.
  std::vector<std::string> want = {"[FDT 2,3,00,0,Courier,00,1,System Hebrew,00]",
                                   "[SPF 0,0,10,1,240,System Hebrew,0,0]",
                                   "[TDR 0,1,0][RTL 0]",
                                   "[TDR 0,1,4][RTL 4]",
                                   "[XCS 1255,E0]",
                                   "[TDR 0,0,0][LTR 0]",
                                   "[SPF 0,0,12,0,200,Courier,0,0]a",
                                   "[TDR 0,1,0][RTL 0]",
                                   "[SPF 0,0,12,1,200,System Hebrew,0,0][XCS 1255,E0]",
                                   "[TDR 0,0,0][LTR 0]",
                                   "b[TDR 0,1,0][RTL 0]",
                                   "[TDR 0,0,0][LTR 0]",
                                   "[SPF 0,0,12,0,200,Courier,0,0]c"};
  std::string body = t.body();
  size_t at = 0;
  for (const std::string& w : want) {
    size_t found = body.find(w, at);
    ASSERT_NE(found, std::string::npos) << w << " in " << body;
    at = found + w.size();
  }
  // Hebrew has no Latin-1 character.
  EXPECT_EQ(t.text, "_a_bc");
}

TEST(TextReader, MarginsOfOptionMZ) {
  textrun t("a\nb", {"/v4", "/mz=2,3"});
  EXPECT_NE(t.body().find("[RSM 10,75,2,82,288,11808]"), std::string::npos) << t.body();
  textrun plain("a\nb", {"/mz=2,3"});
  EXPECT_EQ(plain.body().find("[RSM 10,75,2,"), std::string::npos) << plain.body();
}

TEST(TextReader, AnInputThatCannotBeOpenedEndsTheRun) {
  textrun t("");
  EXPECT_EQ(t.rc, -1);
}

}  // namespace
