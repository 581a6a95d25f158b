// Buffered input and output: buffer sizes, the end of input and its warning,
// push-back with its overflow stream, take-back across written halves, and
// failed writes that end the run.
#include <gtest/gtest.h>

#include <fcntl.h>

#include "converters/runtime/tests/cxtest.h"

namespace {

struct Buf : cxtestrun {
  int in(const std::string& bytes) {
    dir.put("in", bytes);
    return cxopen(st, dir.file("in").c_str(), 1, 0);
  }
  int out() { return cxopen(st, dir.file("out").c_str(), 2, 0); }
};

TEST_F(Buf, SizeFollowsQueueIdAndLimit) {
  struct row {
    int queueid, limit, ask, granted;
  };
  const row rows[] = {{0, -1, 10240, 4096}, {-1, -1, 10240, 50000}, {-1, -1, 60000, 60000},
                      {-1, 8000, 10240, 8000}, {5, 8000, 10240, 4096}};
  for (const row& r : rows) {
    st->fb->queueid = r.queueid;
    st->sb->buflimit = r.limit;
    ASSERT_EQ(cxbufinit(st, -1, out(), r.ask), 0);
    EXPECT_EQ(st->io->outsize, r.granted) << r.queueid << " " << r.limit;
    EXPECT_EQ(cxbufend(st), 0);
  }
}

TEST_F(Buf, EndOfInputAndItsWarning) {
  ASSERT_EQ(cxbufinit(st, in(""), -1, 100), 0);
  int rc = cxentry(st, [&] {
    for (int call = 1; call <= 24; call++) {
      EXPECT_EQ(cxgetc(st), -1);
      EXPECT_EQ(st->sb->firststatus, 0) << call;
    }
    EXPECT_EQ(cxgetc(st), -1);  // the 25th records warning 5 and goes on
    EXPECT_EQ(st->sb->firststatus, CX_WARN);
    EXPECT_EQ(st->sb->warnflag, 1);
    EXPECT_EQ(cxgetc(st), -1);
    return 0;
  });
  EXPECT_EQ(rc, 0);
}

TEST_F(Buf, ReadsAcrossRefillsAndCounts) {
  std::string data;
  for (int i = 0; i < 10000; i++) data += static_cast<char>(i % 251);
  ASSERT_EQ(cxbufinit(st, in(data), -1, 100), 0);
  std::string got;
  for (int c; (c = cxgetc(st)) != -1;) got += static_cast<char>(c);
  EXPECT_EQ(got, data);
  EXPECT_EQ(cxincount(st), 10001);
}

TEST_F(Buf, PushBackOverflowsIntoAStream) {
  ASSERT_EQ(cxbufinit(st, in("xy"), -1, 100), 0);
  EXPECT_EQ(cxgetc(st), 'x');
  for (int i = 0; i < 1030; i++) cxpushback(st, i & 0xFF);
  EXPECT_NE(st->io->pbover, -1);
  for (int i = 1029; i >= 0; i--) ASSERT_EQ(cxgetc(st), i & 0xFF) << i;
  EXPECT_EQ(st->io->pbover, -1);
  EXPECT_EQ(cxgetc(st), 'y');
  EXPECT_EQ(cxgetc(st), -1);
}

TEST_F(Buf, TakeBackAcrossAWrittenHalf) {
  st->fb->queueid = -1;
  st->sb->buflimit = 16;
  cxsetlimit(st, 16);
  int h = out();
  ASSERT_EQ(cxbufinit(st, -1, h, 16), 0);
  ASSERT_EQ(st->io->outsize, 16);
  std::string data;
  for (int i = 0; i < 70; i++) data += static_cast<char>('a' + i % 26);
  for (char c : data) cxputc(st, c);
  EXPECT_EQ(cxoutcount(st), 70);
  // 70 bytes: halves of 16 written as the next one fills; take back 40.
  std::string back;
  for (int i = 0; i < 40; i++) {
    int c = cxunputc(st);
    ASSERT_GE(c, 0) << i;
    back.insert(back.begin(), static_cast<char>(c));
  }
  EXPECT_EQ(back, data.substr(30));
  EXPECT_EQ(cxoutcount(st), 30);
  cxputc(st, 'Z');
  EXPECT_EQ(cxbufend(st), 0);
  EXPECT_EQ(dir.get("out"), data.substr(0, 30) + "Z");
}

TEST_F(Buf, TakeBackStopsAtTheStart) {
  ASSERT_EQ(cxbufinit(st, -1, out(), 100), 0);
  cxputc(st, 'a');
  EXPECT_EQ(cxunputc(st), 'a');
  EXPECT_EQ(cxunputc(st), -1);
}

TEST_F(Buf, FailedWriteEndsTheRun) {
  // A read-only handle: writing the first full half fails.
  dir.put("ro", "");
  int h = cxopen(st, dir.file("ro").c_str(), 1, 0);
  int rc = cxentry(st, [&] {
    EXPECT_EQ(cxbufinit(st, -1, h, 100), 0);
    for (int i = 0; i < 3 * 4096; i++) cxputc(st, 'x');
    return 0;
  });
  EXPECT_EQ(rc, CX_WRITEERR);
}

TEST_F(Buf, FailedFirstReadIsStatus2) {
  int h = cxopen(st, dir.path.c_str(), 1, 0);  // a directory: reads fail
  ASSERT_GE(h, 0);
  EXPECT_EQ(cxbufinit(st, h, -1, 100), CX_READERR);
}

}  // namespace
