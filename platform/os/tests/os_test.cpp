// Operating-system services: temporary names, process id and command line,
// local time.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/os/os.h"

namespace {

TEST(Os, TempDirectoryEndsWithSlash) {
  char buf[260];
  setenv("TMPDIR", "/var/tmp", 1);
  EXPECT_EQ(ostmpdir(buf, sizeof buf), 9);
  EXPECT_STREQ(buf, "/var/tmp/");
  unsetenv("TMPDIR");
  EXPECT_EQ(ostmpdir(buf, sizeof buf), 5);
  EXPECT_STREQ(buf, "/tmp/");
  EXPECT_EQ(ostmpdir(buf, 4), -1);
}

TEST(Os, TempNames) {
  char buf[260];
  EXPECT_EQ(ostmpname("/tmp/", "VEKX", 0x4D2, buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "/tmp/VEK4D2.TMP");
  EXPECT_EQ(ostmpname("/tmp", "VEK", 1234, buf, 8), -1);
  // unique 0: a fresh file is created
  ASSERT_EQ(ostmpname("/tmp", "VEK", 0, buf, sizeof buf), 0);
  struct stat st;
  EXPECT_EQ(stat(buf, &st), 0);
  char second[260];
  ASSERT_EQ(ostmpname("/tmp", "VEK", 0, second, sizeof second), 0);
  EXPECT_STRNE(buf, second);
  std::remove(buf);
  std::remove(second);
}

// Candidates "<dir>/c<n>": n listed in skip are refused by the namer.
struct namer {
  std::string dir;
  std::vector<unsigned> skip;
  unsigned asked = 0;
};
int nextname(void *user, unsigned n, char *buf, size_t size) {
  auto *nm = static_cast<namer *>(user);
  nm->asked = n + 1;
  for (unsigned k : nm->skip)
    if (k == n) return 1;
  int w = std::snprintf(buf, size, "%s/c%u", nm->dir.c_str(), n);
  return w < 0 || static_cast<size_t>(w) >= size ? -1 : 0;
}

TEST(Os, TempFilesAreMadeExclusivelyAndNeverThroughALink) {
  char tmpl[] = "/tmp/ostmp-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::string dir = tmpl;
  // c0 is taken by a file, c1 by a link to a file that must stay untouched,
  // c2 is refused by the namer: c3 is made, empty, mode 0600.
  std::string target = dir + "/target";
  { std::FILE *f = std::fopen((dir + "/c0").c_str(), "w"); ASSERT_NE(f, nullptr); std::fclose(f); }
  { std::FILE *f = std::fopen(target.c_str(), "w"); ASSERT_NE(f, nullptr); std::fputs("keep", f); std::fclose(f); }
  ASSERT_EQ(symlink(target.c_str(), (dir + "/c1").c_str()), 0);
  namer nm{dir, {2}};
  char buf[260];
  ASSERT_EQ(ostmpmake(nextname, &nm, 10, buf, sizeof buf), 0);
  EXPECT_EQ(std::string(buf), dir + "/c3");
  struct stat st;
  ASSERT_EQ(stat(buf, &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(st.st_size, 0);
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 4);

  struct {
    const char *what;
    std::string dir;
    unsigned tries;
    size_t size;
    int err;
  } const fails[] = {
      {"all taken", dir, 2, sizeof buf, EEXIST},
      {"name does not fit", dir, 10, 8, ENAMETOOLONG},
      {"no such directory", dir + "/none", 10, sizeof buf, ENOENT},
  };
  for (const auto &c : fails) {
    namer f{c.dir, {}};
    errno = 0;
    EXPECT_EQ(ostmpmake(nextname, &f, c.tries, buf, c.size), -1) << c.what;
    EXPECT_EQ(errno, c.err) << c.what;
  }
  // A directory that cannot be written fails at once, not after every name.
  namer none{dir + "/none", {}};
  ostmpmake(nextname, &none, 10, buf, sizeof buf);
  EXPECT_EQ(none.asked, 1u);
  std::string cmd = "rm -rf " + dir;
  ASSERT_EQ(std::system(cmd.c_str()), 0);
}

TEST(Os, ProcessIdAndCommandLine) {
  EXPECT_EQ(ospid(), static_cast<int>(getpid()));
  char buf[4096];
  int n = oscmdline(buf, sizeof buf);
  ASSERT_GT(n, 0);
  EXPECT_NE(std::string(buf).find("os_test"), std::string::npos) << buf;
  char small[5];
  EXPECT_EQ(oscmdline(small, sizeof small), 4);  // cut to fit
}

TEST(Os, LocalTime) {
  setenv("TZ", "UTC", 1);
  tzset();
  char buf[64];
  EXPECT_EQ(osfmttime(86400 + 3661, "%H-%M-%S %Y", buf, sizeof buf), 13);
  EXPECT_STREQ(buf, "01-01-01 1970");
  EXPECT_EQ(osfmttime(0, "%Y-%m-%d", buf, 4), -1);
  EXPECT_GT(oslocaltime("%H-%M-%S %x ", buf, sizeof buf), 9);
}

TEST(Os, ExpandsEnvironmentNamesInPaths) {
  setenv("KES_OS_T1", "/opt/k", 1);
  unsetenv("KES_OS_UNSET");
  struct Case {
    const char *in;
    int size;
    int rc;
    const char *out;
  } cases[] = {
      {"%KES_OS_T1%/admin/", 64, 13, "/opt/k/admin/"},
      {"a%KES_OS_T1%b%KES_OS_T1%", 64, 14, "a/opt/kb/opt/k"},
      {"plain", 64, 5, "plain"},
      {"50% off %%", 64, 10, "50% off %%"},  // no name between the signs
      {"%KES_OS_UNSET%/x", 64, -1, ""},
      {"%KES_OS_T1%/admin/", 13, -1, ""},  // one byte short of the terminator
      {"%KES_OS_T1%/admin/", 14, 13, "/opt/k/admin/"},
  };
  for (const Case &c : cases) {
    char buf[64];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(osexpand(c.in, buf, c.size), c.rc) << c.in;
    EXPECT_STREQ(buf, c.out) << c.in;
  }
}

}  // namespace
