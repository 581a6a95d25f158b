// The host interface through the test host: documents without a reader,
// the Word entries' fatal end, readers that end fatally or free null, and
// a host without memory. The readers' own pulls are tested with the readers.
#include <gtest/gtest.h>

#include "filters/framework/runtime/tests/cvtest.h"

namespace {

const std::string kdoc = "A plain text document.\n";

int calls = 0;

int fatalreader(cvrun* run, int argc, const char** argv) {
  calls++;
  cvinit(run, argc, argv, 1, 1, 1);
  convfatal(run, 5);
  return 0;
}

int nullfreereader(cvrun* run, int argc, const char** argv) {
  cvinit(run, argc, argv, 1, 1, 1);
  cvfree(run, nullptr);
  return 0;
}

// Pulls that fail: each returns -1 and leaves the count and the converted
// flag alone; what went to standard output meanwhile.
std::string failingpulls(convstate* st, int pulls) {
  char buf[8];
  int n = 7;
  testing::internal::CaptureStdout();
  for (int i = 0; i < pulls; i++) EXPECT_EQ(convgettext(st, buf, sizeof buf, &n), -1);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(n, 7);
  EXPECT_EQ(st->converted, 0);
  return out;
}

TEST(Host, DocumentsWithoutAReaderFailEveryPull) {
  std::string binary;
  for (int i = 0; i < 600; i++) binary += static_cast<char>(0x80 + i % 100);
  const struct {
    const char* what;
    std::string doc;
  } rows[] = {
      {"empty", ""},
      {"unrecognised", binary},
      {"text, no reader installed", kdoc},
  };
  for (const auto& r : rows) {
    cvtesthost host(r.doc);
    convstate* st = host.open();
    char buf[16];
    int n = 99;
    EXPECT_EQ(convgettext(st, buf, sizeof buf, &n), -1) << r.what;
    EXPECT_EQ(convgettext(st, buf, sizeof buf, &n), -1) << r.what;
    EXPECT_EQ(convgetint(st, buf, sizeof buf, &n), -1) << r.what;
    EXPECT_EQ(n, 99) << r.what;
    EXPECT_EQ(host.pos, 0) << r.what;
  }
}

TEST(Host, EntriesOfReadersToComeEndWithTheInternalErrorBox) {
  std::string w12(64, '\0');
  w12[0] = '\xDB';
  w12[1] = '\xA5';
  w12[24] = '\x80';
  w12[25] = '\x01';
  std::string wp(64, '\0');
  wp.replace(0, 4, "\xFFWPC");
  wp[8] = 1;
  wp[9] = 10;
  std::string wp6 = wp;
  wp6[10] = 2;
  const struct {
    const char* what;
    std::string doc;
  } rows[] = {
      {"Word for Windows 1.x/2.x", w12},
      {"WordPerfect 5", wp},
      {"WordPerfect 6", wp6},
      {"HTML", "<html><body>x</body></html>"},
  };
  for (const auto& r : rows) {
    cvtesthost host(r.doc);
    std::string out = failingpulls(host.open(), 1);
    EXPECT_NE(out.find("*** COM Filter Internal Error ***\n*** Please contact support!!! ***"), std::string::npos)
        << r.what;
  }
}

TEST(Pull, FatalExitFailsThePullAndTheNextPullRunsAgain) {
  cvreaderscope fatal(1, fatalreader);
  calls = 0;
  cvtesthost host(kdoc);
  std::string out = failingpulls(host.open(), 2);
  EXPECT_EQ(calls, 2);
  EXPECT_NE(out.find("COM Filter Internal Error"), std::string::npos);
}

TEST(Pull, FreeingNullIsAMemoryError) {
  cvreaderscope nullfree(1, nullfreereader);
  cvtesthost host(kdoc);
  std::string out = failingpulls(host.open(), 1);
  EXPECT_NE(out.find("* COM Memory Error   1 *\n* Call support!!!      *"), std::string::npos) << out;
  EXPECT_NE(out.find("COM Filter Internal Error"), std::string::npos);
}

TEST(Host, OpenFailsWhenTheHostHasNoMemory) {
  cvtesthost host(kdoc);
  host.refuse = [](size_t) { return true; };
  EXPECT_EQ(host.open(), nullptr);
}

}  // namespace
