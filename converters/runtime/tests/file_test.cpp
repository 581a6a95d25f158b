// The converter file layer: open modes, standard handles, temporary names
// (pattern, skipping, exclusive creation across processes), path parts and
// external converter programs run with an argument vector.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "converters/runtime/tests/cxtest.h"

namespace {

struct File : cxtestrun {};

TEST_F(File, StandardHandlesStayOpen) {
  int h = cxopen(st, "stdout", 2, 0);
  EXPECT_EQ(h, 1);
  EXPECT_EQ(st->sb->buflimit, 4096);
  EXPECT_EQ(cxclose(st, h), 0);
  EXPECT_NE(::fcntl(1, F_GETFD), -1);
  EXPECT_EQ(cxopen(st, "stdin", 1, 0), 0);
}

TEST_F(File, OpenModes) {
  std::string f = dir.file("a");
  EXPECT_EQ(cxopen(st, f.c_str(), 1, 0), -1);  // read: must exist
  int h = cxopen(st, f.c_str(), 4, 0);        // append creates
  ASSERT_GE(h, 0);
  cxwrite(st, h, "one", 3);
  cxclose(st, h);
  h = cxopen(st, f.c_str(), 4, 0);
  cxwrite(st, h, "two", 3);
  cxclose(st, h);
  EXPECT_EQ(dir.get("a"), "onetwo");
  h = cxopen(st, f.c_str(), 3, 0);  // update keeps the content
  EXPECT_EQ(cxseek(st, h, 0, 2), 6);
  EXPECT_EQ(cxseek(st, h, 1, 0), 1);
  cxwrite(st, h, "X", 1);
  EXPECT_EQ(cxseek(st, h, 0, 1), 2);
  cxclose(st, h);
  EXPECT_EQ(dir.get("a"), "oXetwo");
  ::chmod(f.c_str(), 0444);  // mode 2 replaces even a read-only file
  h = cxopen(st, f.c_str(), 2, 0);
  ASSERT_GE(h, 0);
  char buf[4];
  EXPECT_EQ(cxread(st, h, buf, 4), 0);
  cxwrite(st, h, "new", 3);
  cxclose(st, h);
  EXPECT_EQ(dir.get("a"), "new");
  EXPECT_EQ(cxfsize(st, f.c_str()), 3);
  EXPECT_EQ(cxexists(st, f.c_str()), 0);
  EXPECT_EQ(cxrename(st, f.c_str(), dir.file("b").c_str()), 0);
  EXPECT_EQ(cxexists(st, f.c_str()), -1);
  EXPECT_EQ(cxfsize(st, f.c_str()), -1);
  EXPECT_EQ(cxunlink(st, dir.file("b").c_str()), 0);
  EXPECT_TRUE(dir.files().empty());
}

TEST_F(File, TemporaryNamesFollowThePattern) {
  std::strcpy(st->nm->intfile, dir.file("WW658191.TMP").c_str());
  dir.put("WW658190.TMP", "someone else's");
  st->io->tmpserial = 658188;  // as if first used at 10:11:12
  std::string want[] = {"WW658188.TMP", "WW658189.TMP", "WW658192.TMP"};
  for (const std::string& w : want) {
    char name[300];
    cctmpname(st, dir.file("input.doc").c_str(), name);
    EXPECT_EQ(std::string(name), dir.file(w));
  }
  EXPECT_EQ(dir.get("WW658190.TMP"), "someone else's");
  // A name without a directory, and the serial taken from the clock.
  cxstate* st2 = cxteststate();
  char name[300];
  std::string prefix = dir.path + "/";
  cctmpname(st2, (prefix + "x").c_str(), name);
  std::string base = std::string(name).substr(prefix.size());
  ASSERT_EQ(base.size(), 12u);
  EXPECT_EQ(base.substr(0, 2), "WW");
  EXPECT_EQ(base.find_first_not_of("0123456789", 2), 8u);
  EXPECT_EQ(base.substr(8), ".TMP");
  EXPECT_GT(st2->io->tmpserial, 0);
  cxrunend(st2);  // the reserved names are the run's own: deleted at its end
  cxfreest(st2);
  cxrunend(st);
  EXPECT_EQ(dir.files(), std::vector<std::string>{"WW658190.TMP"});
}

TEST_F(File, TwoProcessesNeverShareAName) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::vector<pid_t> kids;
  for (int k = 0; k < 4; k++) {
    pid_t pid = ::fork();
    if (pid == 0) {
      cxstate* s = cxteststate();
      s->io->tmpserial = 500000;
      char name[300];
      for (int i = 0; i < 5; i++) {
        cctmpname(s, dir.file("x").c_str(), name);
        std::string line = std::string(name) + "\n";
        if (::write(fds[1], line.data(), line.size()) < 0) _exit(2);
      }
      _exit(0);
    }
    kids.push_back(pid);
  }
  ::close(fds[1]);
  for (pid_t p : kids) ::waitpid(p, nullptr, 0);
  std::string all;
  char buf[4096];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) all.append(buf, static_cast<size_t>(n));
  ::close(fds[0]);
  std::istringstream in(all);
  std::vector<std::string> names;
  for (std::string l; std::getline(in, l);) names.push_back(l);
  EXPECT_EQ(names.size(), 20u);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::unique(names.begin(), names.end()), names.end());
}

TEST_F(File, TemporaryListIsDeletedAtTheEnd) {
  dir.put("t1", "x");
  cctmpadd(st, dir.file("t1").c_str());
  cctmpadd(st, dir.file("never-made").c_str());
  cxrunend(st);
  EXPECT_TRUE(dir.files().empty());
}

TEST(Paths, Parts) {
  struct row {
    const char* path;
    int kind;
    const char* want;
  };
  const row rows[] = {{"/a/b/name.tar.gz", 0, "name.tar"}, {"/a/b/name.tar.gz", 1, "/a/b/"},
                      {"/a/b/name.tar.gz", 2, "gz"},       {"/a.d/name", 2, ""},
                      {"c:name.txt", 1, "c:"},             {"plain", 0, "plain"},
                      {"plain", 1, ""}};
  for (const row& r : rows) {
    char out[300];
    EXPECT_EQ(ccpathpart(nullptr, out, r.path, r.kind), 0);
    EXPECT_STREQ(out, r.want) << r.path << " " << r.kind;
  }
  char out[300] = "";
  ccpathjoin(nullptr, "/d/", "base", "txt", 0, out);
  EXPECT_STREQ(out, "/d/base.txt");
}

TEST_F(File, ExternalProgramRunsWithArgumentVector) {
  // The program checks its arguments and environment, leaves an extent and
  // fails with 3; the failure comes back as its exit code.
  std::string script =
      "#!/bin/sh\n"
      "[ \"$1\" = 'in put;x' ] || exit 20\n"
      "[ \"$2\" = \"-t=out \\$HOME\" ] || exit 21\n"
      "[ \"$3\" = -v2 ] || exit 22\n"
      "[ \"$4\" = -n ] || exit 23\n"
      "[ $# = 4 ] || exit 24\n"
      "[ -n \"$KVJEXTENT\" ] || exit 25\n"
      "printf '12\\n34\\n' > \"$KVJEXTENT\"\n"
      "exit 3\n";
  dir.put("vtl07f", script);
  ::chmod(dir.file("vtl07f").c_str(), 0755);
  std::snprintf(st->nm->convdir, sizeof st->nm->convdir, "%s/", dir.path.c_str());
  EXPECT_EQ(cxspawn(st, 7, 0, "in put;x", "out $HOME", 2), 3);
  EXPECT_EQ(st->cm->extent[0], 12);
  EXPECT_EQ(st->cm->extent[1], 34);
  EXPECT_EQ(std::getenv("KVJEXTENT"), nullptr);  // the server's environment is untouched
  // Direction 1 swaps the paths and names the program ...t.
  dir.put("vtl44t", "#!/bin/sh\n[ \"$1\" = b ] && [ \"$2\" = -t=a ] && exit 0\nexit 9\n");
  ::chmod(dir.file("vtl44t").c_str(), 0755);
  EXPECT_EQ(cxspawn(st, 44, 1, "a", "b", 0), 0);
  EXPECT_EQ(st->cm->extent[0], 0);
  // Numbers 500 to 700 name yrm programs; a missing program cannot be started.
  dir.put("yrm600f", "#!/bin/sh\nexit 0\n");
  ::chmod(dir.file("yrm600f").c_str(), 0755);
  EXPECT_EQ(cxspawn(st, 600, 0, "a", "b", 0), 0);
  EXPECT_EQ(cxspawn(st, 701, 0, "a", "b", 0), -1);
  // A program killed by a signal is a failure, not success.
  dir.put("vtl08f", "#!/bin/sh\nkill -9 $$\n");
  ::chmod(dir.file("vtl08f").c_str(), 0755);
  EXPECT_EQ(cxspawn(st, 8, 0, "a", "b", 0), -1);
}

TEST(Clock, Now) {
  unsigned char t[8];
  EXPECT_EQ(cxnow(nullptr, t), 0);
  EXPECT_LE(t[0], 6);
  EXPECT_GE(t[1], 40);  // 2020 and later
  EXPECT_GE(t[2], 1);
  EXPECT_LE(t[2], 12);
  EXPECT_EQ(t[7], 0);
}

}  // namespace
