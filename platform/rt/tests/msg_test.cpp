// Message manager: message files, rendering, the stack, error frames.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include <unistd.h>

#include "platform/rt/rt.h"

namespace {

std::string tmpfile_with(const std::string &text) {
  char name[] = "/tmp/kes-msg-XXXXXX";
  int fd = mkstemp(name);
  EXPECT_GE(fd, 0);
  close(fd);
  std::ofstream(name) << text;
  return name;
}

struct Msg : ::testing::Test {
  rtctx *rt = rtstart("test", "lsf");
  rtmsgmgr *mm = nullptr;
  int32_t fac = -1;
  std::string path;
  unsigned char area[24] = {};
  void SetUp() override {
    mm = rtmsgnew(rt, area, sizeof area, "UTF8");
    ASSERT_NE(mm, nullptr);
    path = tmpfile_with(
        "# test messages\n"
        "00666, \"frames out of order\"\n"
        "\n"
        "10100, \"unknown option %s\"\n"
        "20000, \"%(2)s before %(1)s, quoted \\\"q\\\"\"\n"
        "50100, \"caught: %s\"\n"
        "50600, \"internal error, arguments: [%s], [%s], [%s], [%s], [%s], [%s], [%s]\"\n");
    char err[256];
    ASSERT_EQ(rtmsgfacfile(mm, "DRG", path.c_str(), &fac, err, sizeof err), 0) << err;
  }
  ~Msg() override {
    rtmsgfre(mm);
    rtstop(rt);
    std::remove(path.c_str());
  }
  std::string text(int i) {
    char buf[4096];
    return rtmsgtxt(mm, i, buf, sizeof buf) < 0 ? "<none>" : buf;
  }
};

void push(rtmsgmgr *mm, int32_t fac, int num, int sev, ...) {
  va_list ap;
  va_start(ap, sev);
  rtmsgpushv(mm, fac, num, sev, ap);
  va_end(ap);
}

void ipush(rtmsgmgr *mm, int32_t fac, int num, int sev, ...) {
  va_list ap;
  va_start(ap, sev);
  rtmsgipushv(mm, fac, num, sev, ap);
  va_end(ap);
}

TEST_F(Msg, RendersNumberTextAndArguments) {
  EXPECT_EQ(rtmsgtexts(mm, fac), 5);
  push(mm, fac, 10100, 2, RTA_STR, "-x", 0);
  push(mm, fac, 20000, 1, RTA_STR, "one", RTA_INT, 2, 0);
  push(mm, fac, 12345, 3, RTA_STR, "a", RTA_INT, 5, 0);  // no text for it
  push(mm, fac, 12346, 0, 0);
  ASSERT_EQ(rtmsgcnt(mm), 4);
  EXPECT_EQ(text(1), "DRG-10100: unknown option -x");
  EXPECT_EQ(text(2), "DRG-20000: 2 before one, quoted \"q\"");
  EXPECT_EQ(text(3), "DRG-12345: message text not found; arguments: [a], [5]");
  EXPECT_EQ(text(4), "DRG-12346: message text not found");
  EXPECT_EQ(rtmsgnum(mm, 3), 12345);
  EXPECT_EQ(rtmsgsev(mm, 3), 3);
  EXPECT_EQ(rtmsgsev(mm, 4), 0);
  EXPECT_EQ(rtmsgnum(mm, 0), -1);
  EXPECT_EQ(rtmsgnum(mm, 5), -1);
  EXPECT_EQ(rtmsgsev(mm, 5), -1);
  EXPECT_EQ(text(5), "<none>");
  rtmsgclr(mm);
  EXPECT_EQ(rtmsgcnt(mm), 0);
}

TEST_F(Msg, InternalPushPadsToFiveDetails) {
  ipush(mm, fac, 50600, 0, RTA_STR, "dr/x.cpp", RTA_INT, 12, 0);
  ipush(mm, fac, 50600, 0, RTA_STR, "dr/x.cpp", RTA_INT, 13, RTA_STR, "d1", RTA_INT, 4, 0);
  EXPECT_EQ(text(1), "DRG-50600: internal error, arguments: [dr/x.cpp], [12], [], [], [], [], []");
  EXPECT_EQ(text(2), "DRG-50600: internal error, arguments: [dr/x.cpp], [13], [d1], [4], [], [], []");
}

TEST_F(Msg, MissingArgumentsShowEmptyAndBadListsAreKept) {
  push(mm, fac, 20000, 2, RTA_STR, "only", 0);
  push(mm, fac, 10100, 2, 77, 0);
  EXPECT_EQ(text(1), "DRG-20000:  before only, quoted \"q\"");
  EXPECT_EQ(text(2), "DRG-10100: unknown option (bad argument list)");
}

TEST_F(Msg, TextIsCutAtAWholeCharacter) {
  // "é" is two bytes in UTF8; a cut inside it drops the whole character.
  push(mm, fac, 10100, 2, RTA_STR, "\xc3\xa9\xc3\xa9", 0);
  char buf[32];
  const std::string head = "DRG-10100: unknown option ";
  EXPECT_EQ(rtmsgtxt(mm, 1, buf, head.size() + 2), static_cast<int>(head.size()));
  EXPECT_EQ(std::string(buf), head);
  EXPECT_EQ(rtmsgtxt(mm, 1, buf, head.size() + 3), static_cast<int>(head.size() + 2));
}

TEST_F(Msg, FrameCatchesARaise) {
  rtframe fr;
  volatile int reached = 0;
  RTFRM_TRY(mm, fr) {
    reached = 1;
    rtfrmraise(mm, fac, 10100, 2, RTA_STR, "-q", 0);
    reached = 2;  // not reached
  } else {
    rtfrmenter(mm, &fr);
    EXPECT_EQ(fr.caught, 1);
    EXPECT_EQ(fr.num, 10100);
    EXPECT_STREQ(fr.text, "DRG-10100: unknown option -q");
    rtfrmleave(mm, &fr);
  }
  EXPECT_EQ(rtfrmpop(mm, &fr, fac), 0);
  EXPECT_EQ(reached, 1);
  EXPECT_EQ(rtfrmtop(mm), nullptr);
  // the summary message shows what the frame caught (argument code 36)
  push(mm, fac, 50100, 2, RTA_FRAME, &fr, 0);
  EXPECT_EQ(text(2), "DRG-50100: caught: DRG-10100: unknown option -q");
}

TEST_F(Msg, RaiseInsideAHandlerGoesToTheOuterFrame) {
  rtframe outer, inner;
  volatile int path = 0;
  RTFRM_TRY(mm, outer) {
    RTFRM_TRY(mm, inner) {
      rtfrmraise(mm, fac, 10100, 2, RTA_STR, "first", 0);
    } else {
      rtfrmenter(mm, &inner);
      path = 1;
      rtfrmraise(mm, fac, 10100, 2, RTA_STR, "second", 0);
    }
    path = 99;
  } else {
    rtfrmenter(mm, &outer);
    EXPECT_STREQ(outer.text, "DRG-10100: unknown option second");
    rtfrmleave(mm, &outer);
  }
  EXPECT_EQ(path, 1);
  EXPECT_EQ(rtfrmpop(mm, &outer, fac), 0);  // the jump dropped the inner frame
  EXPECT_EQ(rtmsgcnt(mm), 2);
}

TEST_F(Msg, RaiseWithoutFrameReturns) {
  EXPECT_EQ(rtfrmraise(mm, fac, 10100, 2, RTA_STR, "x", 0), 1);
  EXPECT_EQ(rtmsgcnt(mm), 1);
}

TEST_F(Msg, MismatchedPopPushes666) {
  rtframe a, b;
  rtfrmpush(mm, &a);
  rtfrmpush(mm, &b);
  EXPECT_EQ(rtfrmpop(mm, &a, fac), 1);  // b is on top: both go, 666 pushed
  EXPECT_EQ(rtfrmtop(mm), nullptr);
  ASSERT_EQ(rtmsgcnt(mm), 1);
  EXPECT_EQ(rtmsgnum(mm, 1), 666);
  EXPECT_EQ(rtmsgsev(mm, 1), 2);
  EXPECT_EQ(text(1), "DRG-00666: frames out of order");
  EXPECT_EQ(rtfrmpop(mm, &a, fac), 1);  // not on the chain at all
  EXPECT_EQ(rtmsgcnt(mm), 2);
}

struct FileCase {
  const char *name;
  const char *content;
  const char *why;  // part of the error text
};

TEST(MsgFile, BadFilesAreClearErrors) {
  const FileCase cases[] = {
      {"no number", "abc, \"x\"\n", "line 1: a message number expected"},
      {"no comma", "100 \"x\"\n", "line 1: ',' expected"},
      {"unclosed", "100, \"x\n", "line 1: text not closed"},
      {"trailing", "100, \"x\" y\n", "line 1: unexpected characters"},
      {"twice", "100, \"x\"\n# c\n100, \"y\"\n", "line 3: message 100 given twice"},
      {"escape", "100, \"\\q\"\n", "line 1: unknown escape"},
      {"too big", "100000, \"x\"\n", "above 99999"},
  };
  rtctx *rt = rtstart("t", "lsf");
  rtmsgmgr *mm = rtmsgnew(rt, nullptr, 0, "");
  for (const FileCase &c : cases) {
    std::string p = tmpfile_with(c.content);
    char err[256] = "";
    int32_t id = -1;
    EXPECT_EQ(rtmsgfacfile(mm, "DRG", p.c_str(), &id, err, sizeof err), -1) << c.name;
    EXPECT_NE(std::string(err).find(c.why), std::string::npos) << c.name << ": " << err;
    std::remove(p.c_str());
  }
  char err[256] = "";
  int32_t id;
  EXPECT_EQ(rtmsgfacfile(mm, "DRG", "/nonexistent/drg.msg", &id, err, sizeof err), -1);
  EXPECT_NE(std::string(err).find("cannot be read"), std::string::npos) << err;
  rtmsgfre(mm);
  rtstop(rt);
}

TEST(MsgFile, ShippedFileLoadsSortedWithoutGaps) {
  rtctx *rt = rtstart("t", "lsf");
  rtmsgmgr *mm = rtmsgnew(rt, nullptr, 0, "");
  std::string p = std::string(KES_SOURCE_DIR) + "/messages/drg.msg";
  char err[256] = "";
  int32_t id;
  ASSERT_EQ(rtmsgfacfile(mm, "DRG", p.c_str(), &id, err, sizeof err), 0) << err;
  // kept sorted by number, so that additions stay easy to review
  std::ifstream in(p);
  std::string line;
  long last = -1;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    long n = std::stol(line);
    EXPECT_GT(n, last) << line;
    last = n;
  }
  rtmsgfre(mm);
  rtstop(rt);
}

TEST(MsgFile, FacilityFileComesFromKestrinHome) {
  rtctx *rt = rtstart("t", "lsf");
  rtmsgmgr *mm = rtmsgnew(rt, nullptr, 0, "");
  char err[256] = "";
  int32_t id = -1;
  ASSERT_EQ(rtmsgfac(mm, "DRG", "VEK73", 100, 50601, &id, err, sizeof err), 0) << err;
  EXPECT_GT(rtmsgtexts(mm, id), 40);
  const char *home = getenv("KESTRIN_HOME");
  std::string saved = home ? home : "";
  setenv("KESTRIN_HOME", "/nonexistent", 1);
  EXPECT_EQ(rtmsgfac(mm, "DRG", "VEK73", 100, 50601, &id, err, sizeof err), -1);
  EXPECT_NE(std::string(err).find("/nonexistent/messages/drg.msg"), std::string::npos) << err;
  unsetenv("KESTRIN_HOME");
  EXPECT_EQ(rtmsgfac(mm, "DRG", "VEK73", 100, 50601, &id, err, sizeof err), -1);
  EXPECT_NE(std::string(err).find("KESTRIN_HOME"), std::string::npos) << err;
  setenv("KESTRIN_HOME", saved.c_str(), 1);
  rtmsgfre(mm);
  rtstop(rt);
}

}  // namespace
