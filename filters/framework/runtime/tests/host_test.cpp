// The host interface end to end through the test host: failing documents,
// the stub reader's text in chunks of any size, the intermediate file before
// and after the text, fatal exits, and conversions that lost output.
#include <gtest/gtest.h>

#include "filters/framework/runtime/tests/cvtest.h"

namespace {

const std::string kdoc = "A plain text document.\n";

// A COM sample long enough to need several 2000-byte pulls, and its text.
struct sample {
  std::string com, text;
  sample() {
    for (int i = 0; i < 300; i++) {
      com += "Line " + std::to_string(i) + comrec(12744) + "w" + comrec(19573, {"82"}) + "rld" +
             comrec(2152) + comrec(2152) + comrec(6675, {"0", "0", "10"});
      text += "Line " + std::to_string(i) + "\r\nw\xE9rld\r\n";
    }
  }
};

const sample& thesample() {
  static const sample s;
  return s;
}

struct Pull : ::testing::Test {
  cvreaderscope stub{1, cvstubreader};
  void SetUp() override {
    cvstubcom() = thesample().com;
    cvstubecho() = false;
  }
};

int calls = 0;

int countingreader(cvrun* run, int argc, const char** argv) {
  calls++;
  return cvstubreader(run, argc, argv);
}

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

// A host that refuses the n-th allocation of a memory-file chunk.
void refusechunk(cvtesthost& host, int n) {
  auto seen = std::make_shared<int>(0);
  host.refuse = [seen, n](size_t size) {
    return size == sizeof(convblock) + CONV_MFCHUNK + 2 && ++*seen == n;
  };
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
      {"HTML, no reader yet", "<html><body>x</body></html>"},
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

TEST(Host, WordEntriesEndTheirRunWithTheInternalErrorBox) {
  std::string w12(64, '\0');
  w12[0] = '\xDB';
  w12[1] = '\xA5';
  w12[24] = '\x80';
  w12[25] = '\x01';
  cvtesthost host(w12);
  std::string out = failingpulls(host.open(), 1);
  EXPECT_NE(out.find("*** COM Filter Internal Error ***\n*** Please contact support!!! ***"), std::string::npos);
}

TEST_F(Pull, AnyChunkSizeGivesTheSameText) {
  for (int len : {1, 7, 2000}) {
    cvtesthost host(kdoc);
    convstate* st = host.open();
    EXPECT_EQ(cvpullall(st, len), thesample().text) << len;
  }
}

TEST_F(Pull, MoreThanRemainsGivesTheRestThenZero) {
  cvtesthost host(kdoc);
  convstate* st = host.open();
  std::string buf(100000, '\0');
  int n = 0;
  ASSERT_EQ(convgettext(st, buf.data(), 100000, &n), 1);
  EXPECT_EQ(buf.substr(0, n), thesample().text);
  EXPECT_EQ(convgettext(st, buf.data(), 100000, &n), 1);
  EXPECT_EQ(n, 0);
}

TEST_F(Pull, IntermediateFileBeforeAndAfterTheText) {
  cvreaderscope counting(1, countingreader);
  calls = 0;
  cvtesthost host(kdoc);
  convstate* st = host.open();
  char head[10];
  int n = 0;
  ASSERT_EQ(convgetint(st, head, sizeof head, &n), 1);
  EXPECT_EQ(std::string(head, n), thesample().com.substr(0, 10));
  EXPECT_EQ(cvpullall(st, 2000), thesample().text);
  // The text conversion read the intermediate file from its first byte and
  // left it there: the host's intermediate pulls start again at byte 0.
  EXPECT_EQ(cvpullall(st, 2000, false), thesample().com);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(convclose(st), 1);
  EXPECT_TRUE(host.blocks.empty()) << host.blocks.size() << " blocks left";
}

TEST_F(Pull, FatalExitFailsThePullAndTheNextPullRunsAgain) {
  cvreaderscope fatal(1, fatalreader);
  calls = 0;
  cvtesthost host(kdoc);
  std::string out = failingpulls(host.open(), 2);
  EXPECT_EQ(calls, 2);
  EXPECT_NE(out.find("COM Filter Internal Error"), std::string::npos);
}

TEST_F(Pull, FreeingNullIsAMemoryError) {
  cvreaderscope nullfree(1, nullfreereader);
  cvtesthost host(kdoc);
  std::string out = failingpulls(host.open(), 1);
  EXPECT_NE(out.find("* COM Memory Error   1 *\n* Call support!!!      *"), std::string::npos) << out;
  EXPECT_NE(out.find("COM Filter Internal Error"), std::string::npos);
}

TEST_F(Pull, LostOutputFailsThePullInsteadOfCuttingTheText) {
  std::string big(30000, 'x');
  cvstubcom() = big;
  // The intermediate file cannot grow past its first chunk.
  {
    cvtesthost host(kdoc);
    refusechunk(host, 2);
    convstate* st = host.open();
    EXPECT_EQ(cvpullall(st, 2000), "<fail>");
  }
  // The plain text cannot grow past its first chunk.
  {
    cvtesthost host(kdoc);
    refusechunk(host, 4);
    convstate* st = host.open();
    EXPECT_EQ(cvpullall(st, 2000), "<fail>");
  }
  // With memory enough, all of it.
  cvtesthost host(kdoc);
  EXPECT_EQ(cvpullall(host.open(), 2000), big);
}

TEST(Host, OpenFailsWhenTheHostHasNoMemory) {
  cvtesthost host(kdoc);
  host.refuse = [](size_t) { return true; };
  EXPECT_EQ(host.open(), nullptr);
}

}  // namespace
