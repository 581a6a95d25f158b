// File services: the run's output file is never deleted, temporary files go
// at the end of the run, files named beside a base file are found, the
// compiled-in files are read by name, and 16- and 32-bit values are read
// and written in either byte order.
#include <gtest/gtest.h>

#include "filters/framework/runtime/tests/cvtest.h"

namespace {

TEST(Files, TheOutputFileIsNeverDeleted) {
  cvtestrun t;
  cvrun* run = t.run;
  cvputfile(t.st, "kvj99int.tmp", "output");
  cvputfile(t.st, "other", "x");
  EXPECT_EQ(cvfdelete(run, "kvj99int.tmp"), 0);
  EXPECT_EQ(cvfexists(run, "kvj99int.tmp"), 1);
  EXPECT_EQ(cvfdelete(run, "other"), 0);
  EXPECT_EQ(cvfexists(run, "other"), 0);
  EXPECT_EQ(cvfdelete(run, nullptr), -1);
  EXPECT_EQ(cvfsize(run, nullptr), -1);
  EXPECT_EQ(cvfexists(run, nullptr), 0);
  EXPECT_EQ(cvfrename(run, "a", nullptr), -1);
}

TEST(Files, TheRunsEndClosesAndDeletesWhatIsLeft) {
  cvtestrun t;
  cvrun* run = t.run;
  // A temporary file no stream deletes, the output opened as a temporary
  // too, and a named file left open.
  int tmp = cvfopen(run, "leftover.tmp", 3, 3);
  cvfwrite(run, tmp, "abc", 3);
  cvfopen(run, "kvj99int.tmp", 3, 3);
  int named = cvfopen(run, "kept", 2, 2);
  cvfwrite(run, named, "xyz", 3);
  EXPECT_EQ(cvfread(run, named, nullptr, 0), 0);
  cvshutdown(run);
  EXPECT_EQ(cvfexists(run, "leftover.tmp"), 0);
  EXPECT_EQ(cvfexists(run, "kvj99int.tmp"), 1);
  EXPECT_EQ(t.st->mf[named]->pos, 0);  // closed: back at its start
  EXPECT_EQ(cvgetfile(t.st, "kept"), "xyz");
  for (int h : run->fhand) EXPECT_EQ(h, -1);
  for (char* n : run->ftmp) EXPECT_EQ(n, nullptr);
}

TEST(Files, CompiledInFilesAreReadByName) {
  cvtestrun t;
  cvrun* run = t.run;
  EXPECT_EQ(cvfexists(run, "unc0437.dat"), 1);
  EXPECT_EQ(cvfexists(run, "unc0001.dat"), 0);
  long size = cvfsize(run, "unc0437.dat");
  EXPECT_GT(size, 1024);
  int h = cvfopen(run, "unc0437.dat", 1, 1);
  ASSERT_GE(h, 0);
  unsigned char fwd[4];
  EXPECT_EQ(cvfseek(run, h, 256 + 2 * 0x82, 0), 256 + 2 * 0x82);
  EXPECT_EQ(cvfread(run, h, fwd, 2), 2);
  EXPECT_EQ(fwd[0] << 8 | fwd[1], 0x00E9);  // byte 0x82 of code page 437 is U+00E9
  EXPECT_EQ(cvfseek(run, h, 2, 2), size - 2);
  EXPECT_EQ(cvfread(run, h, fwd, 4), 2);
  EXPECT_EQ(cvfread(run, h, fwd, 4), 0);
  EXPECT_EQ(cvfwrite(run, h, "x", 1), -1);  // read-only
  cvfclose(run, h);
  // Writing the name makes a memory file, which is found first from then on;
  // deleting it brings the compiled-in file back.
  cvputfile(t.st, "unc0437.dat", "mine");
  EXPECT_EQ(cvfsize(run, "unc0437.dat"), 4);
  h = cvfopen(run, "unc0437.dat", 1, 1);
  EXPECT_EQ(cvfread(run, h, fwd, 4), 4);
  cvfclose(run, h);
  cvfdelete(run, "unc0437.dat");
  EXPECT_EQ(cvfsize(run, "unc0437.dat"), size);
}

TEST(Files, PathJoin) {
  cvtestrun t;
  cvputfile(t.st, "docs\\beside.gif", "g");
  cvputfile(t.st, "here\\given.gif", "g");
  const struct {
    const char* name;
    const char* base;
    const char* want;
  } rows[] = {
      {"beside.gif", "docs\\main.wpd", "docs\\beside.gif"},
      {"C:\\old\\beside.gif", "docs\\main.wpd", "docs\\beside.gif"},
      {"here\\given.gif", "docs\\main.wpd", "here\\given.gif"},
      {"nowhere.gif", "docs\\main.wpd", "nowhere.gif"},
      {"x:\\nowhere.gif", "main.wpd", "x:\\nowhere.gif"},
  };
  for (const auto& r : rows) {
    char* got = cwpathjoin(t.run, r.name, r.base);
    EXPECT_STREQ(got, r.want) << r.name;
    cvfree(t.run, got);
  }
}

TEST(Files, ByteOrder) {
  const unsigned char ffe[2] = {0xFF, 0xFE};
  EXPECT_EQ(cwget16(ffe, 0), -257);
  EXPECT_EQ(cwget16(ffe, 1), -2);
  EXPECT_EQ(cwget16u(ffe, 0), 65279u);
  EXPECT_EQ(cwget16u(ffe, 1), 65534u);
  const unsigned char neg[4] = {0xFE, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(cwget32(neg, 0), -2);
  EXPECT_EQ(cwget32u(neg, 1), 0xFEFFFFFFu);
  unsigned char out[4];
  cwput32(16909060, out, 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 4), "\x01\x02\x03\x04");
  cwput32(16909060, out, 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 4), "\x04\x03\x02\x01");
  cwput16(-2, out, 1);
  EXPECT_EQ(cwget16u(out, 1), 65534u);
  cwput16u(0x12345, out, 0);
  EXPECT_EQ(cwget16u(out, 0), 0x2345u);
  cwput32u(0xDEADBEEF, out, 0);
  EXPECT_EQ(cwget32u(out, 0), 0xDEADBEEFu);
  EXPECT_EQ(convswap16u(0x1234, 1), 0x3412);
  EXPECT_EQ(convswap32u(0x01020304, 1), 0x04030201u);
  EXPECT_EQ(convswap32u(0x01020304, 0), 0x01020304u);
}

}  // namespace
