// Heaps: parent and child heaps, tags, freeing a heap frees its blocks, the
// failure seam.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/rt/rt.h"

namespace {

struct Heaps : ::testing::Test {
  rtctx *rt = rtstart("test", "lsf");
  rthpmgr *mgr = rthpmgrget(rt);
  rtheap *top = rthptop(mgr);
  ~Heaps() override { rtstop(rt); }
};

TEST_F(Heaps, BlocksAreTaggedAndCounted) {
  rtheap *h = rthpnew(mgr, top, RTHP_STD, "a.cpp", 10);
  ASSERT_NE(h, nullptr);
  EXPECT_STREQ(rthpfile(h), "a.cpp");
  EXPECT_EQ(rthpline(h), 10);
  void *p = rthpalloc(mgr, h, 100, 0, "b.cpp", 20);
  auto *z = static_cast<unsigned char *>(rthpalloc(mgr, h, 64, RTHP_ZERO, "c.cpp", 30));
  ASSERT_TRUE(p && z);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % alignof(std::max_align_t), 0u);
  for (int i = 0; i < 64; i++) EXPECT_EQ(z[i], 0);
  EXPECT_STREQ(rthpblkfile(p), "b.cpp");
  EXPECT_EQ(rthpblkline(z), 30);
  EXPECT_EQ(rthpblocks(h), 2u);
  EXPECT_EQ(rthpbytes(h), 164u);
  EXPECT_EQ(rthpfree(mgr, h, p, 0), 0);
  EXPECT_EQ(rthpblocks(h), 1u);
  EXPECT_EQ(rthpdel(mgr, h), 0);  // z goes with it (the leak checker agrees)
}

TEST_F(Heaps, ReallocKeepsContents) {
  rtheap *h = rthpnew(mgr, top, RTHP_STD, "t", 1);
  auto *p = static_cast<char *>(rthpalloc(mgr, h, 4, 0, "t", 2));
  std::memcpy(p, "abc", 4);
  p = static_cast<char *>(rthprealloc(mgr, h, p, 4000, "t", 3));
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p, "abc");
  EXPECT_EQ(rthpbytes(h), 4000u);
  EXPECT_EQ(rthpdel(mgr, h), 0);
}

TEST_F(Heaps, DeletingAHeapDeletesItsChildren) {
  rtheap *a = rthpnew(mgr, top, RTHP_STD, "t", 1);
  rtheap *b = rthpnew(mgr, a, RTHP_ALT, "t", 2);
  rtheap *c = rthpnew(mgr, b, RTHP_STD, "t", 3);
  rtheap *d = rthpnew(mgr, a, RTHP_STD, "t", 4);
  ASSERT_TRUE(a && b && c && d);
  for (rtheap *h : {a, b, c, d}) ASSERT_NE(rthpalloc(mgr, h, 10, 0, "t", 5), nullptr);
  EXPECT_EQ(rthpdel(mgr, b), 0);  // b and c
  EXPECT_NE(rthpalloc(mgr, d, 10, 0, "t", 6), nullptr);
  EXPECT_EQ(rthpdel(mgr, a), 0);  // a and d
  EXPECT_EQ(rthpdel(mgr, top), -1);  // the top heap stays
}

TEST_F(Heaps, ForeignAndBadRequestsAreRefused) {
  rtheap *a = rthpnew(mgr, top, RTHP_STD, "t", 1);
  rtheap *b = rthpnew(mgr, top, RTHP_STD, "t", 1);
  void *p = rthpalloc(mgr, a, 8, 0, "t", 2);
  EXPECT_EQ(rthpfree(mgr, b, p, 0), -1);  // not b's block
  EXPECT_EQ(rthpfree(mgr, a, nullptr, 0), -1);
  EXPECT_EQ(rthpalloc(mgr, a, 0, 0, "t", 3), nullptr);
  EXPECT_EQ(rthpalloc(mgr, a, SIZE_MAX, 0, "t", 3), nullptr);
  EXPECT_EQ(rthprealloc(mgr, b, p, 16, "t", 4), nullptr);
  EXPECT_EQ(rthpfree(mgr, a, p, 0), 0);
  rthpdel(mgr, a);
  rthpdel(mgr, b);
}

TEST_F(Heaps, SeamFailsTheNthAllocationOnce) {
  rtheap *h = rthpnew(mgr, top, RTHP_STD, "t", 1);
  rthpfailat(mgr, 3);
  EXPECT_NE(rthpalloc(mgr, h, 8, 0, "t", 1), nullptr);
  EXPECT_NE(rthpnew(mgr, h, RTHP_STD, "t", 2), nullptr);  // heap creation counts too
  EXPECT_EQ(rthpalloc(mgr, h, 8, 0, "t", 3), nullptr);
  EXPECT_NE(rthpalloc(mgr, h, 8, 0, "t", 4), nullptr);  // once only
  rthpfailat(mgr, 1);
  EXPECT_EQ(rthpnew(mgr, h, RTHP_STD, "t", 5), nullptr);
  rthpdel(mgr, h);
}

}  // namespace
