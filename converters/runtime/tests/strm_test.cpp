// Scratch streams and the sink stack: spilling, queue and stack order,
// push-back, the slot limit, and the limit of the sink stack.
#include <gtest/gtest.h>

#include "converters/runtime/tests/cxtest.h"

namespace {

struct Strm : ::testing::Test {
  cxtestdir dir;
  cxstate* st = cxteststate();
  void SetUp() override { std::strcpy(st->nm->intfile, dir.file("out.tmp").c_str()); }
  void TearDown() override {
    cxrunend(st);
    EXPECT_EQ(st->cm->allocs, 0);
    EXPECT_TRUE(dir.files().empty());
    cxfreest(st);
  }
  static std::string data(int n) {
    std::string s;
    for (int i = 0; i < n; i++) s += static_cast<char>((i * 31 + i / 1000) & 0xFF);
    return s;
  }
};

TEST_F(Strm, HundredThousandBytesInOrder) {
  int s = cxsopen(st, 0);
  ASSERT_EQ(s, 0);
  std::string d = data(100000);
  cxsputs(st, s, d.data(), static_cast<int>(d.size()));
  EXPECT_EQ(dir.files().size(), 1u);  // spilled at least one half
  EXPECT_EQ(cxsavail(st, s), 100000);
  std::string got(100000, '\0');
  EXPECT_EQ(cxsgets(st, s, got.data(), 100000), 100000);
  EXPECT_EQ(got, d);
  EXPECT_TRUE(dir.files().empty());  // spill file gone after the last half came back
  EXPECT_EQ(cxsgetc(st, s), -1);
  // Empty again: it can be filled from the start.
  cxsputc(st, 'q', s);
  EXPECT_EQ(cxsgetc(st, s), 'q');
  cxsclose(st, s);
}

TEST_F(Strm, PopReturnsReverseOrderReloadingHalves) {
  int s = cxsopen(st, 0);
  std::string d = data(100000);
  cxsputs(st, s, d.data(), 100000);
  for (int i = 99999; i >= 0; i--) ASSERT_EQ(cxspop(st, s), static_cast<unsigned char>(d[i])) << i;
  EXPECT_EQ(cxspop(st, s), -1);
  EXPECT_TRUE(dir.files().empty());
  cxsclose(st, s);
}

TEST_F(Strm, TwoStreamsShareTheSpillHandle) {
  int a = cxsopen(st, 0), b = cxsopen(st, 0);
  std::string d = data(70000);
  for (int i = 0; i < 70000; i++) {
    cxsputc(st, d[i], a);
    cxsputc(st, d[69999 - i], b);
  }
  EXPECT_EQ(dir.files().size(), 2u);
  for (int i = 0; i < 70000; i++) {
    ASSERT_EQ(cxsgetc(st, a), static_cast<unsigned char>(d[i]));
    ASSERT_EQ(cxsgetc(st, b), static_cast<unsigned char>(d[69999 - i]));
  }
  cxsclose(st, a);
  cxsclose(st, b);
}

TEST_F(Strm, UngetAtStartComesBackReversed) {
  int s = cxsopen(st, 0);
  cxsputs(st, s, "xyz", 3);
  cxsunget(st, 'a', s);
  cxsunget(st, 'b', s);
  EXPECT_EQ(cxsgetc(st, s), 'b');
  EXPECT_EQ(cxsgetc(st, s), 'a');
  EXPECT_EQ(cxsgetc(st, s), 'x');
  cxsunget(st, 'x', s);  // room in front of the read position now
  EXPECT_EQ(cxsgetc(st, s), 'x');
  EXPECT_EQ(cxsgetc(st, s), 'y');
}

TEST_F(Strm, FiveHundredSlots) {
  std::vector<int> v;
  for (int i = 0; i < 500; i++) {
    int s = cxsopen(st, 0);
    ASSERT_EQ(s, i);
    v.push_back(s);
  }
  EXPECT_EQ(cxsopen(st, 0), -1);
  cxsclose(st, 17);
  EXPECT_EQ(cxsopen(st, 0), 17);
  cxsclose(st, 900);  // nothing for a bad index
  cxscloseall(st);
  EXPECT_EQ(st->fb->nstreams, 0);
}

TEST_F(Strm, SinkStackRoutesOutputAndHasALimit) {
  cxtestdir outdir;
  int h = cxopen(st, outdir.file("o").c_str(), 2, 0);
  ASSERT_EQ(cxbufinit(st, -1, h, 100), 0);
  int rc = cxentry(st, [&] {
    int s = cxsopen(st, 0);
    cxputc(st, 'A');
    ccpushsink(st, s);
    cxputc(st, 'B');
    cxputc(st, 'C');
    EXPECT_EQ(cxunputc(st), 'C');
    ccpopsink(st);
    cxputc(st, 'D');
    EXPECT_EQ(cxsgetc(st, s), 'B');
    EXPECT_EQ(cxsgetc(st, s), -1);
    for (int i = 0; i < 20; i++) ccpushsink(st, s);
    ccpushsink(st, s);  // the 21st
    return 99;
  });
  EXPECT_EQ(rc, CX_WARN);
  EXPECT_EQ(outdir.get("o"), "AD");
  ::unlink(outdir.file("o").c_str());
}

TEST_F(Strm, PopOfAnEmptySinkStackEndsTheRun) {
  EXPECT_EQ(cxentry(st, [&] { return ccpopsink(st); }), CX_WARN);
}

}  // namespace

namespace {

TEST(StrmSpill, UnwritableDirectoryEndsTheRunWith3) {
  cxstate* st = cxteststate();
  std::strcpy(st->nm->intfile, "/nonexistent-dir-for-cx/out.tmp");
  int rc = cxentry(st, [&] {
    int s = cxsopen(st, 0);
    for (int i = 0; i < 40000; i++) cxsputc(st, 'x', s);
    return 0;
  });
  EXPECT_EQ(rc, CX_NOOUTPUT);
  EXPECT_EQ(st->cm->allocs, 0);
  cxfreest(st);
}

size_t glimit;
void* limitedalloc(size_t n) { return n > glimit ? nullptr : std::malloc(n); }
int plainfree(void* p) {
  std::free(p);
  return 0;
}

TEST(StrmSpill, RefusedMemoryIsRetriedSmaller) {
  glimit = 1u << 30;
  cxstate* st = cxteststate(limitedalloc, plainfree);
  ASSERT_NE(st, nullptr);
  st->fb->queueid = -1;
  cxsetlimit(st, 4000);
  glimit = 3100;  // a 4000-byte buffer is refused, 3000 bytes are granted
  cxtestdir dir;
  int h = cxopen(st, dir.file("o").c_str(), 2, 0);
  EXPECT_EQ(cxbufinit(st, -1, h, 4000), 0);
  EXPECT_EQ(st->io->outsize, 3000);
  glimit = 30000;  // a stream's 30000 bytes cannot be had whole: 128 less each try
  int s = cxsopen(st, 0);
  ASSERT_GE(s, 0);
  EXPECT_EQ(cxsavail(st, s), 0);
  for (int i = 0; i < 29000; i++) cxsputc(st, i & 0xFF, s);
  for (int i = 0; i < 29000; i++) ASSERT_EQ(cxsgetc(st, s), i & 0xFF);
  glimit = 100;
  EXPECT_EQ(cxbufinit(st, -1, h, 4000), CX_NOMEM);
  glimit = 1u << 30;
  cxrunend(st);
  EXPECT_EQ(st->cm->allocs, 0);
  cxfreest(st);
}

}  // namespace

namespace {

TEST(StrmSource, SourceStackFeedsTheInput) {
  cxtestdir dir;
  dir.put("in", "xyz");
  cxstate* st = cxteststate();
  std::strcpy(st->nm->intfile, dir.file("out.tmp").c_str());
  int rc = cxentry(st, [&] {
    EXPECT_EQ(cxbufinit(st, cxopen(st, dir.file("in").c_str(), 1, 0), -1, 100), 0);
    EXPECT_EQ(cxgetc(st), 'x');
    int s = cxsopen(st, 0);
    cxsputs(st, s, "ab", 2);
    ccpushsrc(st, s);
    EXPECT_EQ(cxgetc(st), 'a');
    cxpushback(st, 'a');  // back into the source stream
    EXPECT_EQ(cxgetc(st), 'a');
    EXPECT_EQ(cxgetc(st), 'b');
    EXPECT_EQ(cxgetc(st), -1);
    ccpopsrc(st);
    EXPECT_EQ(cxgetc(st), 'y');  // the buffered input goes on where it stood
    ccpopsrc(st);                // one pop too many
    return 0;
  });
  EXPECT_EQ(rc, CX_WARN);
  EXPECT_EQ(st->cm->allocs, 0);
  cxfreest(st);
}

int gnext;
int counting(cxstate*) { return gnext < 3 ? '0' + gnext++ : -1; }
std::string gtrace;
void trace(cxstate*, int c) { gtrace += static_cast<char>(c); }

TEST(StrmSource, GetCallbackWithOwnPushBackAndTracing) {
  cxstate* st = cxteststate();
  ASSERT_EQ(cxbufinit(st, -1, -1, 100), 0);
  gnext = 0;
  gtrace.clear();
  cxingetcb(st, counting);
  cxtraceon(st, trace, trace);
  EXPECT_EQ(cxgetc(st), '0');
  cxpushback(st, 'P');  // mode 1 keeps the runtime's own push-back
  EXPECT_EQ(cxgetc(st), 'P');
  EXPECT_EQ(cxgetc(st), '1');
  cxtraceoff(st);
  EXPECT_EQ(cxgetc(st), '2');
  EXPECT_EQ(gtrace, "0PP1");
  cxrunend(st);
  cxfreest(st);
}

}  // namespace
