// The server's options: abbreviation matching, the parse state machine,
// the values the callback keeps and refuses, the prompt for a missing user,
// and the start-up marker text.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dr/drt/drt.h"
#include "dr/dru/dru.h"
#include "dr/main/drmain.h"
#include "tests/fixtures/server/statefix.h"

namespace {

const droptent kEnt[] = {
    {"-user", 1, 1, 1, DROPT_VALUE},
    {"-sqltrace", 1, 2, 0, DROPT_FLAG},
    {"-logfile", 1, 1, 0, DROPT_VALUE},
    {"-personality", 1, 1, 0, DROPT_VALUE},
};
const dropttab kTab = {4, drtusage, kEnt};

std::vector<int> stack_of(drsrvstate *s) {
  std::vector<int> v;
  for (int i = 1; i <= rtmsgcnt(s->msg); i++) v.push_back(rtmsgnum(s->msg, i));
  return v;
}

struct Opts : ::testing::Test {
  drsrvstate *s = nullptr;
  drtopts o{};
  void SetUp() override {
    ASSERT_EQ(statefix::build(&s), 0);
    memcpy(o.mask, "DQM", 4);
  }
  void TearDown() override { dracnfre(&s); }

  // Parses a command line (the program name included).
  int parse(std::vector<std::string> args, droptrec *rec) {
    std::vector<char *> argv;
    for (auto &a : args) argv.push_back(a.data());
    droptini(s, rec, &kTab, drtoptcb, &o);
    return droptparse(rec, static_cast<int>(argv.size()), argv.data());
  }
};

TEST(DroptFind, MatchesByAbbreviation) {
  struct {
    const char *arg;
    int idx;  // -1: no match
  } cases[] = {
      {"-u", 0},         {"-us", 0},      {"-user", 0},    {"-userx", -1},  {"-", -1},
      {"-s", 1},         {"-sqltrace", 1}, {"-l", 2},      {"-logf", 2},    {"-p", 3},
      {"-personality", 3}, {"-x", -1},    {"user", -1},    {"", -1},
      {"-personalityxx", -1},
  };
  for (auto &c : cases) {
    uint8_t idx = 99, kind = 99;
    int rc = droptfind(&kTab, c.arg, &idx, &kind);
    if (c.idx < 0) {
      EXPECT_EQ(rc, 1) << c.arg;
    } else {
      EXPECT_EQ(rc, 0) << c.arg;
      EXPECT_EQ(idx, c.idx) << c.arg;
      EXPECT_EQ(kind, kEnt[c.idx].kind) << c.arg;
    }
  }
}

TEST_F(Opts, ParsesValuesAndFlags) {
  droptrec rec;
  ASSERT_EQ(parse({"veksrv", "-u", "scott/tiger@db", "-sq", "-l", "/tmp/x.log", "-p", "QL"}, &rec),
            0);
  EXPECT_STREQ(o.user, "scott/tiger@db");
  EXPECT_EQ(o.sqltrace, 1);
  EXPECT_STREQ(o.logfile, "/tmp/x.log");
  EXPECT_STREQ(o.mask, "QL");
  EXPECT_EQ(rec.given[0] + rec.given[1] + rec.given[2] + rec.given[3], 4);
}

TEST_F(Opts, RefusesBadCommandLines) {
  std::string user127(127, 'u'), user128(128, 'u'), log2048(2048, 'f');
  std::string mask30(30, 'R'), mask31 = std::string(30, 'D') + "L";
  struct {
    std::vector<std::string> args;
    int rc;
    std::vector<int> stack;
    const char *mask;  // expected mask when the parse worked
  } cases[] = {
      {{"veksrv", "-user", "a", "-bogus"}, 1, {10100}, nullptr},
      {{"veksrv", "-user", "a", "-logfile"}, 1, {10101}, nullptr},
      {{"veksrv", "-user", "-sqltrace"}, 1, {10101}, nullptr},
      {{"veksrv", "-user", "a", "-p", "DQMX"}, 1, {10200}, nullptr},
      {{"veksrv", "-user", "a", "-p", "dqm"}, 1, {10200}, nullptr},
      {{"veksrv", "-user", "a", "-p", mask30}, 0, {}, "RRRRRRRRRRRRRRRRRRRRRRRRRRRRRR"},
      // A longer mask is cut to its first 30 letters before they are checked.
      {{"veksrv", "-user", "a", "-p", mask31}, 0, {}, "DDDDDDDDDDDDDDDDDDDDDDDDDDDDDD"},
      {{"veksrv", "-user", "a", "-p", std::string(30, 'Q') + "x"}, 0, {},
       "QQQQQQQQQQQQQQQQQQQQQQQQQQQQQQ"},
      {{"veksrv", "-user", "a", "-p", std::string(29, 'Q') + "x"}, 1, {10200}, nullptr},
      {{"veksrv", "-user", "a", "-p", ""}, 0, {}, ""},
      {{"veksrv", "-user", user127}, 0, {}, "DQM"},
      {{"veksrv", "-user", user128}, 1, {10103}, nullptr},
      {{"veksrv", "-user", "a", "-logfile", log2048}, 1, {10103}, nullptr},
  };
  for (auto &c : cases) {
    drueclr(s);
    memset(&o, 0, sizeof o);
    memcpy(o.mask, "DQM", 4);
    droptrec rec;
    EXPECT_EQ(parse(c.args, &rec), c.rc) << c.args.back();
    EXPECT_EQ(stack_of(s), c.stack) << c.args.back();
    if (c.mask) {
      EXPECT_STREQ(o.mask, c.mask);
    }
  }
}

TEST_F(Opts, UnknownCallbackIndexIsAnInternalError) {
  EXPECT_EQ(drtoptcb(s, &o, 7, "x"), 1);
  EXPECT_EQ(stack_of(s), std::vector<int>{51100});
}

// A list option takes every value up to the next option, which is read
// again as an option.
TEST_F(Opts, ListOptionTakesValuesUntilTheNextOption) {
  static std::vector<std::string> seen;
  seen.clear();
  const droptent ent[] = {{"-files", 1, 1, 0, DROPT_LIST}, {"-v", 0, 2, 0, DROPT_FLAG}};
  const dropttab tab = {2, nullptr, ent};
  auto cb = [](drsrvstate *, void *, uint8_t idx, const char *v) {
    seen.push_back(std::to_string(idx) + ":" + (v ? v : "-"));
    return 0;
  };
  std::vector<std::string> args = {"p", "-f", "a", "b", "-v", "-files", "c"};
  std::vector<char *> argv;
  for (auto &a : args) argv.push_back(a.data());
  droptrec rec;
  droptini(s, &rec, &tab, cb, nullptr);
  ASSERT_EQ(droptparse(&rec, static_cast<int>(argv.size()), argv.data()), 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"0:a", "0:b", "1:-", "0:c"}));
  // A list without any value is refused.
  std::vector<std::string> empty = {"p", "-files", "-v"};
  argv.clear();
  for (auto &a : empty) argv.push_back(a.data());
  droptini(s, &rec, &tab, cb, nullptr);
  EXPECT_EQ(droptparse(&rec, static_cast<int>(argv.size()), argv.data()), 1);
  EXPECT_EQ(stack_of(s), std::vector<int>{10101});
}

// The prompt for a missing -user reads one line from standard input.
TEST_F(Opts, PromptsForAMissingUser) {
  struct {
    const char *input;
    int rc;
    const char *user;
    std::vector<int> stack;
  } cases[] = {
      {"scott/tiger\n", 0, "scott/tiger", {}},
      {"scott/tiger\r\n", 0, "scott/tiger", {}},
      {"scott", 0, "scott", {}},  // no line end: nothing is lost
      {"\n", 1, "", {10102}},
      {"", 1, "", {10102}},
  };
  for (auto &c : cases) {
    char path[] = "/tmp/kes-opt-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, c.input, strlen(c.input)), static_cast<ssize_t>(strlen(c.input)));
    close(fd);
    ASSERT_NE(freopen(path, "r", stdin), nullptr);
    drueclr(s);
    memset(&o, 0, sizeof o);
    droptrec rec;
    testing::internal::CaptureStdout();
    int rc = parse({"veksrv"}, &rec);
    std::string out = testing::internal::GetCapturedStdout();
    unlink(path);
    EXPECT_EQ(out, "Enter user: ");
    EXPECT_EQ(rc, c.rc) << c.input;
    EXPECT_STREQ(o.user, c.user);
    EXPECT_EQ(stack_of(s), c.stack);
    if (!c.stack.empty()) {
      EXPECT_EQ(rtmsgsev(s->msg, 1), 3);
    }
  }
}

TEST(DrmkText, NamesPidVariantAndPersonality) {
  std::string longword(600, 'q');
  struct {
    const char *cmdline;
    std::string text;
  } cases[] = {
      {"/opt/bin/veksrv -user a -personality dqm", "-pid 1234 veksrv73 -personality dqm"},
      {"veksrv -user a", "-pid 1234 veksrv73 "},
      {"veksrv -user a -p dqm", "-pid 1234 veksrv73 "},
      {"veksrx73 -user a", "-pid 1234 veksrx73 "},
      {"veksrv -personality", "-pid 1234 veksrv73 "},
      {"veksrv -personality\t dq l", "-pid 1234 veksrv73 -personality dq"},
  };
  for (auto &c : cases) {
    char buf[512];
    size_t n = drmktext(1234, c.cmdline, buf, sizeof buf);
    EXPECT_EQ(std::string(buf, n), c.text) << c.cmdline;
  }
  // A personality word too long for the marker is cut at its end.
  std::string cmd = "veksrv -personality " + longword;
  char buf[512];
  size_t n = drmktext(1234, cmd.c_str(), buf, sizeof buf);
  EXPECT_EQ(n, 511u);
  EXPECT_EQ(strlen(buf), 511u);
  EXPECT_EQ(std::string(buf).rfind("-pid 1234 veksrv73 -personality qqq", 0), 0u);
}

}  // namespace

namespace {

// The marker file is made exclusively, readable by its owner only, never
// through a link someone put under its name (whose target stays as it
// was); a marker a dead process left is replaced; a live one is not.
TEST(DrmkFile, CreatedExclusivelyWithoutFollowingLinks) {
  char tmpl[] = "/tmp/kes-mark-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::string dir = tmpl;
  const char *oldtmp = getenv("TMPDIR");
  std::string keep = oldtmp ? oldtmp : "";
  setenv("TMPDIR", dir.c_str(), 1);
  char name[64];
  snprintf(name, sizeof name, "/VEK%X.TMP", static_cast<unsigned>(getpid()));
  std::string path = dir + name, victim = dir + "/victim";
  enum { NONE, LINK, STALE, LIVE };
  struct {
    int before;
    int rc;
  } cases[] = {{NONE, 0}, {LINK, 0}, {STALE, 0}, {LIVE, 1}};
  for (auto &c : cases) {
    unlink(path.c_str());
    FILE *v = fopen(victim.c_str(), "w");
    fputs("precious", v);
    fclose(v);
    int held = -1;
    if (c.before == LINK) ASSERT_EQ(symlink(victim.c_str(), path.c_str()), 0);
    if (c.before == STALE || c.before == LIVE) {
      held = open(path.c_str(), O_RDWR | O_CREAT, 0644);
      ASSERT_GE(held, 0);
      ASSERT_EQ(write(held, "old", 3), 3);
      if (c.before == LIVE) ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
      else close(held), held = -1;
    }
    testing::internal::CaptureStdout();
    int rc = drmkfile();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, c.rc) << c.before << ": " << out;
    struct stat st;
    ASSERT_EQ(lstat(path.c_str(), &st), 0) << c.before;
    std::string v2;
    if (FILE *f = fopen(victim.c_str(), "r")) {
      char b[32] = {};
      v2 = fgets(b, sizeof b, f) ? b : "";
      fclose(f);
    }
    EXPECT_EQ(v2, "precious") << c.before;
    if (rc == 0) {
      EXPECT_TRUE(S_ISREG(st.st_mode)) << c.before;
      EXPECT_EQ(st.st_mode & 0777, 0600u) << c.before;
      char text[64] = {};
      if (FILE *f = fopen(path.c_str(), "r")) {
        if (!fgets(text, sizeof text, f)) text[0] = '\0';
        fclose(f);
      }
      EXPECT_EQ(std::string(text).rfind("-pid ", 0), 0u) << text;
      EXPECT_EQ(std::string(drmkpath()), path);
      drmkdone();
      EXPECT_NE(lstat(path.c_str(), &st), 0) << c.before;
    } else {
      EXPECT_NE(out.find("failed with error"), std::string::npos) << out;
    }
    if (held >= 0) close(held);
  }
  unlink(path.c_str());
  unlink(victim.c_str());
  rmdir(dir.c_str());
  if (oldtmp) setenv("TMPDIR", keep.c_str(), 1);
  else unsetenv("TMPDIR");
}

}  // namespace
