// Virtual files: window sizes, slot limits, reads at and past the end, window
// reloads, write-back, and short reads that must never pass for data.
#include <gtest/gtest.h>

#include "converters/runtime/tests/cxtest.h"

namespace {

int glasterr;
void recerr(cxstate* st, int status) { glasterr = status; }

struct VFile : ::testing::Test {
  cxtestdir dir;
  cxstate* st = cxteststate();
  void SetUp() override { glasterr = 0; }
  void TearDown() override {
    bfcloseall(st);
    EXPECT_EQ(st->cm->allocs, 0);
    cxfreest(st);
  }
  std::string pattern(int n) {
    std::string s(static_cast<size_t>(n), '\0');
    for (int i = 0; i < n; i++) s[static_cast<size_t>(i)] = static_cast<char>(i * 7 + i / 251);
    return s;
  }
  // A file of data, read through the first of `slots` virtual files with
  // a window of `window` bytes; its file number. The table keeps the
  // name's pointer, so the name lives as long as the test.
  std::string readname;
  int openread(const std::string &data, int slots, int window) {
    dir.put("f", data);
    readname = dir.file("f");
    EXPECT_EQ(bfinit(st, slots, recerr), 0);
    return bfopen(st, readname.c_str(), window, 1, 0, 0, 0, 0, 0, 0);
  }
};

TEST_F(VFile, TableLimits) {
  EXPECT_EQ(bfinit(st, 631, recerr), -1);
  EXPECT_EQ(glasterr, CX_WARN);
  glasterr = 0;
  EXPECT_EQ(bfinit(st, 630, recerr), 0);
  EXPECT_EQ(glasterr, 0);
  EXPECT_EQ(st->io->bfcount, 630);
  bfcloseall(st);
  // Two slots: a third open is refused.
  std::string f = dir.file("a");
  dir.put("a", "abc");
  ASSERT_EQ(bfinit(st, 2, nullptr), 0);
  EXPECT_EQ(bfopen(st, f.c_str(), 16, 1, 0, 0, 0, 0, 0, 0), 0);
  EXPECT_EQ(bfopen(st, f.c_str(), 16, 1, 0, 0, 0, 0, 0, 0), 1);
  EXPECT_EQ(bfopen(st, f.c_str(), 16, 1, 0, 0, 0, 0, 0, 0), -1);
  EXPECT_EQ(bfclose(st, 0), 0);
  EXPECT_EQ(bfopen(st, f.c_str(), 16, 1, 0, 0, 0, 0, 0, 0), 0);
  // Bad file numbers without a callback.
  EXPECT_EQ(bfsize(st, 7), 0);
  EXPECT_EQ(bfseek(st, -1, 0), 0);
  EXPECT_EQ(bfclose(st, 5), -1);
}

TEST_F(VFile, WindowIsCappedAndReadsAreExact) {
  std::string data = pattern(100000);
  int v = openread(data, 4, 40000);
  ASSERT_EQ(v, 0);
  EXPECT_EQ(st->mn->bftab[v].bufsize, 32767u);
  EXPECT_EQ(bfsize(st, v), 100000);
  // Walk the file in odd pieces across window edges.
  std::string got;
  char buf[7000];
  while (got.size() < data.size()) {
    int32_t n = static_cast<int32_t>(std::min<size_t>(sizeof buf, data.size() - got.size()));
    ASSERT_EQ(bfread(st, v, buf, n), n);
    got.append(buf, static_cast<size_t>(n));
  }
  EXPECT_EQ(got, data);
  // The last bytes exactly, then one more.
  ASSERT_EQ(bfseek(st, v, 99990), 99990);
  EXPECT_EQ(bfread(st, v, buf, 10), 10);
  EXPECT_EQ(std::string(buf, 10), data.substr(99990));
  EXPECT_EQ(glasterr, 0);
  ASSERT_EQ(bfseek(st, v, 99990), 99990);
  EXPECT_EQ(bfread(st, v, buf, 11), -1);
  EXPECT_EQ(glasterr, CX_WARN);
  EXPECT_EQ(bftell(st, v), 99990);  // did not move
  glasterr = 0;
  EXPECT_EQ(bfseek(st, v, 100001), 0);
  EXPECT_EQ(glasterr, CX_WARN);
  EXPECT_EQ(bftell(st, v), 99990);
}

TEST_F(VFile, PieceEndingAtWindowEdgeReloads) {
  std::string data = pattern(300);
  int v = openread(data, 1, 100);
  char buf[100];
  ASSERT_EQ(bfseek(st, v, 50), 50);
  ASSERT_EQ(bfread(st, v, buf, 50), 50);  // 50 + 50 reaches the window's end
  EXPECT_EQ(st->mn->bftab[v].bufoff, 50);
  EXPECT_EQ(std::string(buf, 50), data.substr(50, 50));
  ASSERT_EQ(bfread(st, v, buf, 10), 10);  // inside the new window: no reload
  EXPECT_EQ(st->mn->bftab[v].bufoff, 50);
}

TEST_F(VFile, WritesAndWriteBack) {
  ASSERT_EQ(bfinit(st, 2, recerr), 0);
  std::string f = dir.file("w");
  int v = bfopen(st, f.c_str(), 64, 2, 0, 0, 0, 0, 0, 0);
  ASSERT_EQ(v, 0);
  EXPECT_EQ(bfwrite(st, v, "0123456789", 10), 10);
  EXPECT_EQ(bfsize(st, v), 10);
  EXPECT_EQ(bfclose(st, v), 0);
  EXPECT_EQ(dir.get("w"), "0123456789");
  // Update mode across several windows, then read back through a new slot.
  std::string data = pattern(1000);
  v = bfopen(st, f.c_str(), 64, 3, 0, 0, 0, 0, 0, 0);
  ASSERT_EQ(bfseek(st, v, 5), 5);
  EXPECT_EQ(bfwrite(st, v, data.data(), 1000), 1000);
  EXPECT_EQ(bfsize(st, v), 1005);
  EXPECT_EQ(bfclose(st, v), 0);
  EXPECT_EQ(dir.get("w"), "01234" + data);
  // Writing to a read-mode file is refused and changes nothing.
  v = bfopen(st, f.c_str(), 64, 1, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(bfwrite(st, v, "zz", 2), -1);
  EXPECT_EQ(glasterr, CX_WARN);
  EXPECT_EQ(bfclose(st, v), 0);
  EXPECT_EQ(dir.get("w"), "01234" + data);
  glasterr = 0;
  EXPECT_EQ(bfopen(st, dir.file("missing").c_str(), 64, 1, 0, 0, 0, 0, 0, 0), -1);
  EXPECT_EQ(glasterr, CX_WARN);
}


int truncating(cxstate* st, int h, void* buf, int n) {
  // Delivers at most 40 bytes of the file, then reports the end.
  int pos = cxseek(st, h, 0, 1);
  if (pos >= 40) return 0;
  if (n > 40 - pos) n = 40 - pos;
  return cxread(st, h, buf, n);
}

TEST_F(VFile, ShortReadIsNeverData) {
  dir.put("t", pattern(200));
  std::string f = dir.file("t");
  ASSERT_EQ(bfinit(st, 1, recerr), 0);
  int v = bfopen(st, f.c_str(), 32, 1, 0, 0, truncating, 0, 0, 0);
  ASSERT_EQ(v, 0);
  char buf[32];
  EXPECT_EQ(bfread(st, v, buf, 20), 20);
  EXPECT_EQ(glasterr, 0);
  ASSERT_EQ(bfseek(st, v, 100), 100);
  EXPECT_EQ(bfread(st, v, buf, 10), -1);  // the file ended early: error, not old bytes
  EXPECT_EQ(glasterr, CX_WARN);
}

void endrun(cxstate* st, int status) { cxthrow(st, status); }

TEST(VFileRun, ConverterCallbackEndsTheRunAndNothingStays) {
  cxtestdir dir;
  dir.put("f", "0123456789");
  std::string f = dir.file("f"), w = dir.file("w");
  cxstate* st = cxteststate();
  int rc = cxentry(st, [&] {
    bfinit(st, 4, endrun);
    int a = bfopen(st, f.c_str(), 4, 1, 0, 0, 0, 0, 0, 0);
    int b = bfopen(st, w.c_str(), 4, 2, 0, 0, 0, 0, 0, 0);
    bfwrite(st, b, "abc", 3);  // dirty: written back at the run's end
    char buf[16];
    bfread(st, a, buf, 11);  // one byte too many: the callback ends the run
    return 0;
  });
  EXPECT_EQ(rc, CX_WARN);
  EXPECT_EQ(st->cm->allocs, 0);
  EXPECT_EQ(st->mn->bftab, nullptr);
  EXPECT_EQ(dir.get("w"), "abc");
  cxfreest(st);
}

}  // namespace
