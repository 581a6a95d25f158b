// Server state: construction, memory operations and their messages, the
// log printer, file streams, the language settings.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "dr/dra/dra.h"
#include "dr/dru/dru.h"
#include "tests/fixtures/server/statefix.h"

namespace {

struct Entry {
  int num;
  int sev;
  bool operator==(const Entry &o) const { return num == o.num && sev == o.sev; }
};

std::ostream &operator<<(std::ostream &os, const Entry &e) {
  return os << e.num << "/" << e.sev;
}

std::vector<Entry> stack_of(drsrvstate *st) {
  std::vector<Entry> v;
  for (int i = 1; i <= rtmsgcnt(st->msg); i++) v.push_back({rtmsgnum(st->msg, i), rtmsgsev(st->msg, i)});
  return v;
}

std::string slurp(const std::string &p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

struct State : ::testing::Test {
  drsrvstate *st = nullptr;
  std::string dir;
  void SetUp() override {
    setenv("LC_TIME", "C", 1);
    ASSERT_EQ(statefix::build(&st), 0);
    char tmpl[] = "/tmp/kes-dra-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    EXPECT_EQ(dracnfre(&st), 0);
    EXPECT_EQ(st, nullptr);
    std::string cmd = "rm -rf " + dir;
    (void)std::system(cmd.c_str());
  }
  rtstream *open_write(const std::string &name) {
    rtstream *s = nullptr;
    EXPECT_EQ(dracnfop(st, dir.c_str(), 0, name.c_str(), 6, 0, 0, 0, 0, &s), 0);
    return s;
  }
};

TEST_F(State, BuildsEveryPart) {
  EXPECT_EQ(st->log, rtstdout(st->rt));
  EXPECT_NE(st->hpmgr, nullptr);
  EXPECT_NE(st->seshp, nullptr);
  EXPECT_NE(st->cmdhp, nullptr);
  EXPECT_NE(st->seshp, st->cmdhp);
  EXPECT_NE(st->fmt, nullptr);
  EXPECT_NE(st->msg, nullptr);
  EXPECT_EQ(st->tstamp, 0);
  EXPECT_EQ(st->login, nullptr);
  EXPECT_STREQ(st->csname, "WE8ISO8859P1");
  EXPECT_EQ(st->lxws, static_cast<void *>(st->lxwsarea));
  EXPECT_GT(rtmsgtexts(st->msg, st->facid[DRFAC_DRG]), 40);
}

TEST(StateBuild, MissingMessageFileIsAClearFailure) {
  const char *home = getenv("KESTRIN_HOME");
  std::string saved = home ? home : "";
  setenv("KESTRIN_HOME", "/nonexistent", 1);
  unsetenv("NLS_LANG");
  drsrvstate *st = reinterpret_cast<drsrvstate *>(1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(dracnnew(&st), 1);
  std::string out = testing::internal::GetCapturedStdout();
  setenv("KESTRIN_HOME", saved.c_str(), 1);
  EXPECT_EQ(st, nullptr);
  EXPECT_NE(out.find("message file /nonexistent/messages/drg.msg cannot be read"), std::string::npos) << out;
}

TEST_F(State, CommandHeapIsReplaced) {
  drheap old = st->cmdhp;
  void *p = drumalz(st, st->hpmgr, st->cmdhp, 100, __FILE__, __LINE__);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(dracnchp(st), 0);
  EXPECT_NE(st->cmdhp, nullptr);
  EXPECT_EQ(rthpblocks(st->cmdhp), 0u);
  (void)old;  // gone with its block; the leak checker would see otherwise
  EXPECT_TRUE(stack_of(st).empty());
}

TEST_F(State, MemoryOperationsWork) {
  auto *z = static_cast<unsigned char *>(drumalc(st, st->hpmgr, st->seshp, 10, 8, __FILE__, __LINE__));
  ASSERT_NE(z, nullptr);
  for (int i = 0; i < 80; i++) ASSERT_EQ(z[i], 0);
  z = static_cast<unsigned char *>(drumrea(st, st->hpmgr, st->seshp, z, 1000, __FILE__, __LINE__));
  ASSERT_NE(z, nullptr);
  void *vp = z;
  EXPECT_EQ(drumfre(st, st->hpmgr, st->seshp, &vp), 0);
  EXPECT_EQ(vp, nullptr);
  drheap sub = nullptr, alt = nullptr;
  ASSERT_EQ(drmhpnew(st, st->hpmgr, &sub, st->seshp, __FILE__, __LINE__), 0);
  ASSERT_EQ(drmhpalt(st, st->hpmgr, &alt, sub, __FILE__, __LINE__), 0);
  ASSERT_NE(drumalz(st, st->hpmgr, alt, 5, __FILE__, __LINE__), nullptr);
  EXPECT_EQ(drmhpdel(st, st->hpmgr, sub), 0);  // alt and its block go too
  EXPECT_TRUE(stack_of(st).empty());
}

// Every memory failure leaves 10900 (severity 3); a zero-size request is the
// internal error 50600 (severity 0) first.
TEST_F(State, MemoryFailuresPushTheirMessages) {
  struct Case {
    const char *name;
    long seam;  // the n-th runtime allocation fails; 0: none
    int (*op)(drsrvstate *st);
    std::vector<Entry> want;
  };
  const Case cases[] = {
      {"drumalz size 0", 0,
       [](drsrvstate *s) { return drumalz(s, s->hpmgr, s->cmdhp, 0, "dr/x.cpp", 7) ? 0 : 1; },
       {{50600, 0}, {10900, 3}}},
      {"drumalz runtime", 1,
       [](drsrvstate *s) { return drumalz(s, s->hpmgr, s->cmdhp, 8, "f", 1) ? 0 : 1; },
       {{10900, 3}}},
      {"drumalc runtime", 1,
       [](drsrvstate *s) { return drumalc(s, s->hpmgr, s->cmdhp, 2, 8, "f", 1) ? 0 : 1; },
       {{10900, 3}}},
      {"drumalc overflow", 0,
       [](drsrvstate *s) { return drumalc(s, s->hpmgr, s->cmdhp, SIZE_MAX / 2, 4, "f", 1) ? 0 : 1; },
       {{10900, 3}}},
      {"drumrea runtime", 2,
       [](drsrvstate *s) {
         void *p = drumalz(s, s->hpmgr, s->cmdhp, 8, "f", 1);
         return p && drumrea(s, s->hpmgr, s->cmdhp, p, 64, "f", 2) ? 0 : 1;
       },
       {{10900, 3}}},
      {"drumfre foreign block", 0,
       [](drsrvstate *s) {
         void *p = drumalz(s, s->hpmgr, s->seshp, 8, "f", 1);
         void *keep = p;
         int rc = drumfre(s, s->hpmgr, s->cmdhp, &p);
         return rc == 1 && p == keep ? 1 : 0;  // the pointer stays on failure
       },
       {{10900, 3}}},
      {"drmhpnew runtime", 1,
       [](drsrvstate *s) {
         drheap h = nullptr;
         return drmhpnew(s, s->hpmgr, &h, s->seshp, "f", 1);
       },
       {{10900, 3}}},
      {"drmhpalt runtime", 1,
       [](drsrvstate *s) {
         drheap h = nullptr;
         return drmhpalt(s, s->hpmgr, &h, s->seshp, "f", 1);
       },
       {{10900, 3}}},
      {"drmhpdel top heap", 0,
       [](drsrvstate *s) { return drmhpdel(s, s->hpmgr, rthptop(s->hpmgr)); },
       {{10900, 3}}},
      {"dracnchp runtime", 1, [](drsrvstate *s) { return dracnchp(s); }, {{10900, 3}}},
  };
  for (const Case &c : cases) {
    drueclr(st);
    rthpfailat(st->hpmgr, c.seam);
    EXPECT_EQ(c.op(st), 1) << c.name;
    rthpfailat(st->hpmgr, 0);
    EXPECT_EQ(stack_of(st), c.want) << c.name;
    EXPECT_TRUE(druefatal(st)) << c.name;
  }
  if (!st->cmdhp) {
    ASSERT_EQ(dracnchp(st), 0);
  }
}

TEST_F(State, ZeroSizeCarriesFilePlusFivePaddedDetails) {
  EXPECT_EQ(drumalz(st, st->hpmgr, st->seshp, 0, "dr/x.cpp", 7), nullptr);
  char buf[256];
  ASSERT_EQ(druetxt(st, 1, buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "DRG-50600: internal error, arguments: [dr/x.cpp], [7], [], [], [], [], []");
  ASSERT_EQ(druetxt(st, 2, buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "DRG-10900: out of memory");
}

TEST_F(State, LogPrefixOnlyOnceTheTimestampFlagIsSet) {
  rtstream *s = open_write("log.txt");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(dracnprt(st, s, "plain %s %s\n", DRA_STR, "line", DRA_INT, 1, 0), 0);
  st->tstamp = 1;
  EXPECT_EQ(dracnprt(st, s, "stamped %(1)s\n", DRA_STR, "line", 0), 0);
  EXPECT_EQ(dracnwrt(st, s, 1, "never stamped\n", 0), 0);
  EXPECT_EQ(dracnfcl(st, s), 0);
  std::string log = slurp(dir + "/log.txt");
  // "hh-mm-ss mm/dd/yy " in the C locale: digits where the pattern has 9.
  const std::string want = "plain line 1\n99-99-99 99/99/99 stamped line\nnever stamped\n";
  ASSERT_EQ(log.size(), want.size()) << log;
  for (size_t i = 0; i < want.size(); i++) {
    if (want[i] == '9') EXPECT_TRUE(isdigit(static_cast<unsigned char>(log[i]))) << log;
    else EXPECT_EQ(log[i], want[i]) << log;
  }
}

// Text from users reaches the log with its control characters escaped, so
// that it cannot write lines of its own; the escape fits its buffer.
TEST(Dracnesc, EscapesControlCharacters) {
  struct {
    const char *in;
    size_t size;
    const char *out;
  } cases[] = {
      {"plain \xe2\x82\xac text", 64, "plain \xe2\x82\xac text"},
      {"a\nEnd cmd 1", 64, "a\\nEnd cmd 1"},
      {"t\tr\r", 64, "t\\tr\\r"},
      {"bell\x07" "del\x7f", 64, "bell\\x07del\\x7f"},
      {"", 64, ""},
      {"ab\ncd", 5, "ab\\n"},   // an escape is never cut in two
      {"ab\ncd", 4, "ab"},
  };
  for (auto &c : cases) {
    char out[64];
    size_t n = dracnesc(c.in, out, c.size);
    EXPECT_STREQ(out, c.out) << c.in;
    EXPECT_EQ(n, strlen(c.out)) << c.in;
  }
}

TEST_F(State, LogLineIsCutAt65535Bytes) {
  std::string big(70000, 'a');
  for (int stamp = 0; stamp <= 1; stamp++) {
    std::string name = "cut" + std::to_string(stamp);
    rtstream *s = open_write(name);
    ASSERT_NE(s, nullptr);
    st->tstamp = static_cast<uint8_t>(stamp);
    EXPECT_EQ(dracnprt(st, s, "%s", DRA_STR, big.c_str(), 0), 0);
    EXPECT_EQ(dracnfcl(st, s), 0);
    EXPECT_EQ(slurp(dir + "/" + name).size(), 65535u) << stamp;
  }
  rtstream *s = open_write("exact");
  std::string fits(65535, 'b');
  st->tstamp = 0;
  EXPECT_EQ(dracnprt(st, s, "%s", DRA_STR, fits.c_str(), 0), 0);
  dracnfcl(st, s);
  EXPECT_EQ(slurp(dir + "/exact"), fits);
}

TEST_F(State, BadFormatWritesNothing) {
  rtstream *s = open_write("bad");
  EXPECT_EQ(dracnprt(st, s, "%(3)s\n", DRA_STR, "x", 0), 1);
  EXPECT_EQ(dracnprt(st, nullptr, "x\n", 0), 1);
  dracnfcl(st, s);
  EXPECT_EQ(slurp(dir + "/bad"), "");
}

TEST_F(State, FileNameWithTrailingNewlineOpens) {
  std::ofstream(dir + "/data.txt") << "hello";
  rtstream *s = nullptr;
  ASSERT_EQ(dracnfop(st, nullptr, 0, (dir + "/data.txt\n").c_str(), 1, 0, 0, 0, 0, &s), 0);
  char buf[16];
  size_t n = 0;
  EXPECT_EQ(dracnfrd(st, s, buf, sizeof buf, &n), 0);
  EXPECT_EQ(std::string(buf, n), "hello");
  EXPECT_EQ(dracnfrd(st, s, buf, sizeof buf, &n), 2);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(dracnfcl(st, s), 0);
  // in a directory, too; only one newline is dropped
  ASSERT_EQ(dracnfop(st, dir.c_str(), 0, "data.txt\n", 1, 0, 0, 0, 0, &s), 0);
  dracnfcl(st, s);
  EXPECT_EQ(dracnfop(st, dir.c_str(), 0, "data.txt\n\n", 1, 0, 0, 0, 0, &s), 1);
  EXPECT_TRUE(stack_of(st) == std::vector<Entry>({{11101, 2}}));
}

TEST_F(State, FileOpenFailuresNameTheFile) {
  struct Case {
    const char *name;
    std::string dir, file;
    int mode;
    int num;
    std::string text;
  };
  std::string longname(3000, 'n');
  const Case cases[] = {
      {"missing directory", dir + "/nodir", "f", 1, 11107,
       "DRG-11107: could not resolve directory " + dir + "/nodir"},
      {"empty name", "", "", 1, 11108, "DRG-11108: could not resolve file name "},
      {"name too long", "", longname, 1, 11108, ""},
      {"missing file", dir, "missing.txt", 1, 11101,
       "DRG-11101: could not open file " + dir + "/missing.txt"},
  };
  for (const Case &c : cases) {
    drueclr(st);
    rtstream *s = reinterpret_cast<rtstream *>(1);
    EXPECT_EQ(dracnfop(st, c.dir.c_str(), 0, c.file.c_str(), c.mode, 0, 0, 0, 0, &s), 1) << c.name;
    EXPECT_EQ(s, nullptr) << c.name;
    ASSERT_EQ(rtmsgcnt(st->msg), 1) << c.name;
    EXPECT_EQ(rtmsgnum(st->msg, 1), c.num) << c.name;
    EXPECT_EQ(rtmsgsev(st->msg, 1), 2) << c.name;
    if (!c.text.empty()) {
      char buf[512];
      druetxt(st, 1, buf, sizeof buf);
      EXPECT_EQ(std::string(buf), c.text) << c.name;
    }
  }
}

TEST_F(State, ReadWriteModeCreatesTheFileWithoutWipingIt) {
  rtstream *s = nullptr;
  ASSERT_EQ(dracnfop(st, dir.c_str(), 0, "rw.txt", 3, 0, 0, 0, 0, &s), 0);
  size_t n;
  EXPECT_EQ(dracnfwr(st, s, "abc", 3, &n), 0);
  EXPECT_EQ(n, 3u);
  dracnfcl(st, s);
  ASSERT_EQ(dracnfop(st, dir.c_str(), 0, "rw.txt", 3, 0, 0, 0, 0, &s), 0);
  char buf[8];
  EXPECT_EQ(dracnfrd(st, s, buf, sizeof buf, &n), 0);
  EXPECT_EQ(std::string(buf, n), "abc");
  dracnfcl(st, s);
  // Writing on a stream opened to read fails as a failed read does: 1.
  ASSERT_EQ(dracnfop(st, dir.c_str(), 0, "rw.txt", 1, 0, 0, 0, 0, &s), 0);
  EXPECT_EQ(dracnfwr(st, s, "x", 1, &n), 1);
  dracnfcl(st, s);
  EXPECT_EQ(dracnfmk(st, (dir + "/nodir/x").c_str(), 0, 0, 0), 1);
  EXPECT_EQ(dracnfmk(st, (dir + "/made").c_str(), 0, 0, 0), 0);
  EXPECT_EQ(access((dir + "/made").c_str(), F_OK), 0);
}

TEST_F(State, LanguageSettingsFromNlsLang) {
  struct Case {
    const char *value;  // null: unset
    int rc;
    const char *out;
    const char *cs;
  };
  const Case cases[] = {
      {nullptr, 0, "NLS_LANG not set - using defaults.\n", "WE8ISO8859P1"},
      {"AMERICAN_AMERICA.UTF8", 0, "", "UTF8"},
      {"japanese_japan.ja16sjis", 0, "", "JA16SJIS"},
      {".AL32UTF8", 0, "", "AL32UTF8"},
      {"GERMAN", 0, "", "WE8ISO8859P1"},
      {"AMERICAN_AMERICA.US7ASCII", 0, "", "US7ASCII"},
      {"KLINGON_AMERICA.UTF8", 1, "NLS_LANG language invalid.\n", nullptr},
      {"AMERICAN_MARS.UTF8", 1, "NLS_LANG territory invalid.\n", nullptr},
      {"AMERICAN_AMERICA.EBCDIC9", 1, "NLS_LANG character set invalid.\n", nullptr},
  };
  for (const Case &c : cases) {
    if (c.value) setenv("NLS_LANG", c.value, 1);
    else unsetenv("NLS_LANG");
    testing::internal::CaptureStdout();
    int rc = dracnnls(st);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, c.rc) << (c.value ? c.value : "unset");
    EXPECT_EQ(out, c.out) << (c.value ? c.value : "unset");
    if (c.cs) {
      EXPECT_STREQ(st->csname, c.cs);
    }
  }
  unsetenv("NLS_LANG");
}

TEST(StateBuild, BadLanguageSettingsStopTheBuild) {
  setenv("NLS_LANG", "AMERICAN_NOWHERE.UTF8", 1);
  drsrvstate *st = nullptr;
  testing::internal::CaptureStdout();
  EXPECT_EQ(dracnnew(&st), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "NLS_LANG territory invalid.\n");
  EXPECT_EQ(st, nullptr);
  unsetenv("NLS_LANG");
}

}  // namespace
