// The operating-system services: running programs without a shell,
// attributes, sizes and listings over a scratch folder. Failures come from
// missing paths and dangling links, which hold for root as well.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "dr/drg/sdrgb.h"
#include "tests/fixtures/server/statefix.h"

namespace {

class Os : public statefix::State {
 protected:
  std::string dir;
  void SetUp() override {
    statefix::State::SetUp();
    char tmpl[] = "/tmp/kes-sdrg-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    std::string cmd = "rm -rf " + dir;
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    statefix::State::TearDown();
  }
  std::string file(const std::string &name, const std::string &text, mode_t mode = 0644) {
    std::string p = dir + "/" + name;
    std::ofstream(p, std::ios::binary) << text;
    chmod(p.c_str(), mode);
    return p;
  }
  std::string slurp(const std::string &p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
};

TEST_F(Os, RunGivesTheProgramsStatus) {
  std::string out = dir + "/args.txt";
  std::string script = file("prog.sh",
                            "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"$OUT\"\n"
                            "[ \"$1\" = kill ] && kill -TERM $$\nexit 7\n",
                            0755);
  setenv("OUT", out.c_str(), 1);
  struct {
    std::vector<const char *> argv;
    int want;
    const char *args;  // what the program saw, or null
  } const cases[] = {
      // Arguments a shell would take for commands reach the program as they are.
      {{script.c_str(), "a b", "x;y", "|", "$(id)", nullptr}, 7, "[a b]\n[x;y]\n[|]\n[$(id)]\n"},
      {{script.c_str(), "kill", nullptr}, 128 + SIGTERM, "[kill]\n"},
      {{"/no/such/program", nullptr}, -1, nullptr},
      {{"", nullptr}, -1, nullptr},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(sdrgrun(st, c.argv.data()), c.want) << c.argv[0];
    if (c.args) EXPECT_EQ(slurp(out), c.args);
  }
  EXPECT_EQ(sdrgrun(st, nullptr), -1);
  unsetenv("OUT");
}

TEST_F(Os, AttributesAndExecutables) {
  std::string plain = file("plain.txt", "x");
  std::string prog = file("prog", "#!/bin/sh\n", 0755);
  std::string dangling = dir + "/dangling";
  ASSERT_EQ(symlink((dir + "/gone").c_str(), dangling.c_str()), 0);
  struct {
    std::string path;
    uint8_t attr;
    int exe;
  } const cases[] = {
      {dir, 1, -1},       {plain, 0, -1},     {prog, 0, 0},
      {dir + "/none", 255, -1}, {dangling, 255, -1}, {"", 255, -1},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(sdrgfattr(c.path.c_str()), c.attr) << c.path;
    EXPECT_EQ(sdrgisexe(st, c.path.c_str()), c.exe) << c.path;
  }
}

TEST_F(Os, SizesAreSixtyFourBits) {
  std::string big = dir + "/sparse";
  int fd = open(big.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  const off_t five = off_t{5} << 30;
  ASSERT_EQ(ftruncate(fd, five), 0);
  close(fd);
  int64_t size = 0, mtime = 0;
  ASSERT_EQ(sdrgfsize(big.c_str(), &size, &mtime), 0);
  EXPECT_EQ(size, five);
  EXPECT_GT(mtime, 0);
  EXPECT_EQ(sdrgfsize((dir + "/none").c_str(), &size, &mtime), 1);
  EXPECT_EQ(size, -1);
  EXPECT_EQ(mtime, -1);
}

TEST_F(Os, ListingNamesEveryEntryWhole) {
  file("a.txt", "a");
  file("b.txt", "b");
  ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0755), 0);
  sdrgent first{};
  ASSERT_EQ(sdrgdirlist(st, st->cmdhp, dir.c_str(), &first), 0);
  std::set<std::string> got;
  for (sdrgent *e = &first; e; e = e->next) got.insert(e->path);
  std::set<std::string> want = {dir + "/.", dir + "/..", dir + "/a.txt", dir + "/b.txt", dir + "/sub"};
  EXPECT_EQ(got, want);
  // A folder given with its trailing separator gets no second one.
  ASSERT_EQ(sdrgdirlist(st, st->cmdhp, (dir + "/").c_str(), &first), 0);
  EXPECT_EQ(std::string(first.path).find("//"), std::string::npos);
  struct {
    std::string path;
  } const refused[] = {{""}, {dir + "/a.txt"}, {dir + "/none"}};
  for (const auto &c : refused) EXPECT_EQ(sdrgdirlist(st, st->cmdhp, c.path.c_str(), &first), 1) << c.path;
}

TEST_F(Os, TemporaryFilesAreNewAndPrivate) {
  char *a = sdrgtmpnam(st, dir.c_str(), "drg");
  char *b = sdrgtmpnam(st, dir.c_str(), "drg");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_STRNE(a, b);
  EXPECT_EQ(std::string(a).rfind(dir + "/drg", 0), 0u) << a;
  struct stat sb;
  ASSERT_EQ(stat(a, &sb), 0);
  EXPECT_EQ(sb.st_mode & 0777, 0600u);
  // Written and read back by descriptor.
  int fd = sdrgopen(st, a, O_WRONLY, 0);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(sdrgwrite(st, fd, "hello", 5), 5);
  EXPECT_EQ(sdrgclose(st, fd), 0);
  fd = sdrgopen(st, a, O_RDONLY, 0);
  char buf[8];
  EXPECT_EQ(sdrgread(st, fd, buf, sizeof buf), 5);
  EXPECT_EQ(sdrgread(st, fd, buf, sizeof buf), 0);
  sdrgclose(st, fd);
  std::string an = a;
  EXPECT_EQ(sdrgdelname(st, a), 0);
  EXPECT_EQ(access(an.c_str(), F_OK), -1);
  EXPECT_EQ(sdrgunlink(st, b), 0);
  EXPECT_EQ(sdrgunlink(st, b), 0);  // a missing file is no error
  sdrgfree(st, b);
  EXPECT_LT(sdrgopen(st, (dir + "/none").c_str(), O_RDONLY, 0), 0);
}

}  // namespace
