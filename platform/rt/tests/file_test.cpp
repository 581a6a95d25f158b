// File streams, configuration values, sorting, character cuts.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <ctime>

#include <unistd.h>

#include "platform/rt/rt.h"

namespace {

struct Files : ::testing::Test {
  rtctx *rt = rtstart("t", "lsf");
  std::string dir;
  void SetUp() override {
    char tmpl[] = "/tmp/kes-rtf-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  ~Files() override {
    std::string cmd = "rm -rf " + dir;
    (void)std::system(cmd.c_str());
    rtstop(rt);
  }
};

TEST_F(Files, WriteAppendsReadBack) {
  std::string p = dir + "/a.txt";
  rtstream *w = nullptr;
  EXPECT_EQ(rtfopen(rt, p.c_str(), RTF_WRITE, 0, 0, 0, 1, "DR", &w), -1);  // no create bit
  EXPECT_EQ(rtfopen(rt, p.c_str(), RTF_CREATE, 0, 0, 0, 1, "DR", &w), -1);  // neither read nor write
  ASSERT_EQ(rtfopen(rt, p.c_str(), RTF_WRITE | RTF_CREATE, 0, 0, 0, 1, "DR", &w), 0);
  EXPECT_EQ(rtfwrite(w, "one\n", 4), 4);
  EXPECT_EQ(rtfclose(w), 0);
  ASSERT_EQ(rtfopen(rt, p.c_str(), RTF_WRITE | RTF_CREATE, 0, 0, 0, 1, "DR", &w), 0);
  EXPECT_EQ(rtfwrite(w, "two\n", 4), 4);  // a second open adds, it does not wipe
  EXPECT_EQ(rtfclose(w), 0);
  rtstream *r = nullptr;
  ASSERT_EQ(rtfopen(rt, p.c_str(), RTF_READ, 0, 0, 0, 1, "DR", &r), 0);
  char line[16];
  EXPECT_EQ(rtfline(r, line, sizeof line), 4);
  EXPECT_STREQ(line, "one\n");
  char rest[16];
  EXPECT_EQ(rtfread(r, rest, sizeof rest), 4);
  EXPECT_EQ(rtfread(r, rest, sizeof rest), 0);
  EXPECT_EQ(rtfclose(r), 0);
  ASSERT_EQ(rtfopen(rt, p.c_str(), RTF_TRUNC, 0, 0, 0, 1, "DR", &w), 0);  // write from empty
  EXPECT_EQ(rtfclose(w), 0);
  ASSERT_EQ(rtfopen(rt, p.c_str(), RTF_READ, 0, 0, 0, 1, "DR", &r), 0);
  EXPECT_EQ(rtfread(r, rest, sizeof rest), 0);
  rtfclose(r);
}

TEST_F(Files, NamesAndDirectories) {
  char buf[64];
  EXPECT_EQ(rtfdir(rt, dir.c_str(), 0, buf, sizeof buf), 0);
  EXPECT_EQ(rtfdir(rt, (dir + "/missing").c_str(), 0, buf, sizeof buf), -1);
  EXPECT_EQ(rtfdir(rt, dir.c_str(), 0, buf, 4), -1);
  EXPECT_EQ(rtfname(rt, "/d", "f", buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "/d/f");
  EXPECT_EQ(rtfname(rt, "/d/", "f", buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "/d/f");
  EXPECT_EQ(rtfname(rt, nullptr, "", buf, sizeof buf), -1);
  EXPECT_EQ(rtfname(rt, nullptr, "abcdef", buf, 6), -1);
}

TEST(Config, ReadsTheEnvironment) {
  char buf[8];
  setenv("KES_T_VALUE", "abc", 1);
  EXPECT_EQ(rtcfg(nullptr, "KES_T_VALUE", buf, sizeof buf), 3);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(rtcfg(nullptr, "KES_T_VALUE", buf, 3), -1);  // does not fit
  setenv("KES_T_VALUE", "", 1);
  EXPECT_EQ(rtcfg(nullptr, "KES_T_VALUE", buf, sizeof buf), -1);
  unsetenv("KES_T_VALUE");
  EXPECT_EQ(rtcfg(nullptr, "KES_T_VALUE", buf, sizeof buf), -1);
}

struct Pair {
  int key;
  int order;
};

int bykey(const void *a, const void *b) {
  return static_cast<const Pair *>(a)->key - static_cast<const Pair *>(b)->key;
}

TEST(Sort, StableOverManyElements) {
  Pair v[100];
  for (int i = 0; i < 100; i++) v[i] = {(i * 37) % 7, i};
  rtsort(v, 100, sizeof(Pair), bykey);
  for (int i = 1; i < 100; i++) {
    ASSERT_LE(v[i - 1].key, v[i].key);
    if (v[i - 1].key == v[i].key) {
      EXPECT_LT(v[i - 1].order, v[i].order);
    }
  }
  rtsort(nullptr, 0, 4, bykey);  // nothing to do, no crash
}

TEST(Sleep, WaitsAtLeastTheTimeAsked) {
  timespec a, b;
  clock_gettime(CLOCK_MONOTONIC, &a);
  rtsleep(30);
  clock_gettime(CLOCK_MONOTONIC, &b);
  long ms = (b.tv_sec - a.tv_sec) * 1000 + (b.tv_nsec - a.tv_nsec) / 1000000;
  EXPECT_GE(ms, 29);
}

}  // namespace
