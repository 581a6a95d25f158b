// The listener's pieces that need no database: numeric arguments, the
// command table and what a signal stops.
#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <cstring>
#include <string>

#include "dr/drt/drt.h"
#include "dr/drt/drtint.h"
#include "dr/dru/dru.h"

namespace {

drmslot mk(const char *t, int16_t ind = 0) {
  drmslot a{};
  a.ind = ind;
  a.len = static_cast<uint16_t>(strlen(t));
  memcpy(a.text, t, a.len);
  return a;
}

// A number argument is a whole number within 32 bits, blanks around it
// allowed; an empty or null one counts as 0; anything else is refused.
TEST(Drtlnum, TakesWholeNumbersAndRefusesTheRest) {
  struct {
    const char *text;
    int16_t ind;
    int ok;
    int32_t value;
  } cases[] = {
      {"42", 0, 1, 42},          {"  -7 ", 0, 1, -7},        {"+5", 0, 1, 5},
      {"", 0, 1, 0},             {"   ", 0, 1, 0},           {"42", -1, 1, 0},
      {"2147483647", 0, 1, INT32_MAX}, {"-2147483648", 0, 1, INT32_MIN},
      {"12abc", 0, 0, 0},        {"1e3", 0, 0, 0},           {"abc", 0, 0, 0},
      {"-", 0, 0, 0},            {"1 2", 0, 0, 0},           {"0x10", 0, 0, 0},
      {"2147483648", 0, 0, 0},   {"-2147483649", 0, 0, 0},
      {"99999999999999999999", 0, 0, 0},
  };
  for (auto &c : cases) {
    drmslot a = mk(c.text, c.ind);
    int32_t v = -1;
    EXPECT_EQ(drtlnumok(&a, &v), c.ok) << c.text;
    EXPECT_EQ(v, c.value) << c.text;
    EXPECT_EQ(drtlnum(&a), c.value) << c.text;
  }
  // A full slot of digits is read without running past it.
  drmslot full{};
  full.len = DRM_SLOTMAX;
  memset(full.text, '9', DRM_SLOTMAX);
  int32_t v;
  EXPECT_EQ(drtlnumok(&full, &v), 0);
}

TEST(Drtlfind, KnowsTheCommandCodes) {
  const int known[] = {10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 29,
                       30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 46, 47,
                       48, 200, 201, 204};
  for (int c : known) EXPECT_NE(drtlfind(c), nullptr) << c;
  for (int c : {0, 1, 9, 26, 27, 28, 45, 49, 101, 199, 202, 203, 205, -1})
    EXPECT_EQ(drtlfind(c), nullptr) << c;
}

TEST(Drtlrwtxt, SplitsAStatementOverTwoArguments) {
  drsrvstate *s = nullptr;
  testing::internal::CaptureStdout();
  ASSERT_EQ(dracnnew(&s), 0);
  testing::internal::GetCapturedStdout();
  static drmcmd r;
  struct {
    size_t len;
    int rc;
    uint16_t a7, a8;
  } cases[] = {{10, 0, 10, 0}, {1999, 0, 1999, 0}, {2500, 0, 1999, 501}, {3998, 0, 1999, 1999},
               {3999, 1, 1999, 1999}};
  for (auto &c : cases) {
    memset(&r, 0, sizeof r);
    std::string text(c.len, 's');
    EXPECT_EQ(drtlrwtxt(s, &r, text.c_str()), c.rc) << c.len;
    EXPECT_EQ(r.args[6].len, c.a7) << c.len;
    EXPECT_EQ(r.args[7].len, c.a8) << c.len;
  }
  dracnfre(&s);
}

// A signal stops every long loop and every statement but the transport's,
// and the loop that stops says why once; without one, a state with no
// dispatcher yet (start-up) goes on without asking the database.
TEST(Drtlask, ASignalStopsLoopsAndStatementsButNotTheTransport) {
  drsrvstate *s = nullptr;
  testing::internal::CaptureStdout();
  ASSERT_EQ(dracnnew(&s), 0);
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(s->mstate, nullptr);
  struct {
    int sig;
    int ask, point, work, transport, pushed;
  } cases[] = {{0, 0, 0, 0, 0, 0}, {SIGTERM, DRT_INTR, 1, 1, 0, 1}};
  for (auto &c : cases) {
    drtstop = c.sig;
    drueclr(s);
    EXPECT_EQ(drtlask(s), c.ask) << c.sig;
    EXPECT_EQ(drtlpoint(s), c.point) << c.sig;
    EXPECT_EQ(drtlpoint(s), c.point) << c.sig;
    EXPECT_EQ(drtlwatch(s, DRUO_WORK), c.work) << c.sig;
    EXPECT_EQ(drtlwatch(s, DRUO_TRANSPORT), c.transport) << c.sig;
    EXPECT_EQ(drtlintr(), c.sig ? 1 : 0) << c.sig;
    EXPECT_EQ(rtmsgcnt(s->msg), c.pushed) << c.sig;
    EXPECT_EQ(druefind(s, 50707) != 0, c.pushed == 1) << c.sig;
  }
  drtstop = 0;
  drtlnext();
  drueclr(s);
  dracnfre(&s);
}

}  // namespace

namespace {

// The test documents lie one after another, each with its length.
TEST(Drcmdtdoc, WritesNumberedDocumentsBackToBack) {
  char buf[512];
  int32_t lens[12] = {};
  ASSERT_EQ(drcmdtdoc(nullptr, 12, lens, buf), 0);
  size_t at = 0;
  for (int i = 0; i < 12; ++i) {
    std::string want = "This is the text of document " + std::to_string(i) + "\n";
    EXPECT_EQ(lens[i], static_cast<int32_t>(want.size())) << i;
    EXPECT_EQ(std::string(buf + at, want.size()), want) << i;
    at += want.size();
  }
  EXPECT_EQ(drcmdtdoc(nullptr, 0, lens, buf), 0);
}

}  // namespace
