// Memory files: the chunk boundary, the 30 slots and the spill store, the
// open modes, positions and seeks, the cap of a file, the host document
// behind handle 998, and the filter-side block list.
#include <gtest/gtest.h>

#include "filters/framework/runtime/tests/cvtest.h"

namespace {

struct Mfile : ::testing::Test {
  cvtesthost host{std::string("0123456789abcdef")};
  convstate* st = host.open();
  cvrun run{};
  void SetUp() override { run.state = st; }
  convmfile* file(int h) { return h < CONV_MFSLOTS ? st->mf[h] : st->spill[h - CONV_MFSPILL]; }
  int put(int h, const std::string& s) { return convmfput(st, h, s.data(), static_cast<int>(s.size())); }
  std::string get(int h, int n) {
    std::string s(n, '\0');
    int got = convmfget(st, h, s.data(), n);
    s.resize(got > 0 ? got : 0);
    return s;
  }
};

TEST_F(Mfile, ChunkBoundary) {
  int h = convmfcreate(st, "a", 2);
  ASSERT_EQ(put(h, std::string(25000, 'x')), 25000);
  EXPECT_EQ(convmfsize(&run, "a"), 25000);
  EXPECT_EQ(file(h)->last, 0);
  EXPECT_EQ(file(h)->lastbytes, 25000);
  ASSERT_EQ(put(h, "y"), 1);
  EXPECT_EQ(file(h)->last, 1);
  EXPECT_EQ(file(h)->lastbytes, 1);
  // A file of exactly one chunk read to its end, then nothing more.
  int g = convmfcreate(st, "b", 2);
  put(g, std::string(25000, 'z'));
  convmfshut(st, g);
  EXPECT_EQ(get(g, 30000).size(), 25000u);
  EXPECT_EQ(get(g, 10), "");
}

TEST_F(Mfile, OpenModesAndPositions) {
  int h = convmfcreate(st, "f", 2);
  put(h, std::string(100, '.'));
  // Mode 3 keeps the bytes and starts at 0; an overwrite inside keeps the length.
  EXPECT_EQ(convmfcreate(st, "f", 3), h);
  EXPECT_EQ(file(h)->pos, 0);
  put(h, "ab");
  EXPECT_EQ(convmfsize(&run, "f"), 100);
  EXPECT_EQ(convmfseek(&run, h, 0, 0), 0);
  EXPECT_EQ(get(h, 3), "ab.");
  // Seeks are clamped to the data; origin 2 counts back from the end.
  const struct {
    long offset;
    int origin;
    long want;
  } seeks[] = {{500, 0, 100}, {-5, 0, 0}, {10, 2, 90}, {-20, 1, 70}, {1000, 1, 100}};
  for (const auto& s : seeks) EXPECT_EQ(convmfseek(&run, h, s.offset, s.origin), s.want) << s.offset;
  // Close keeps the bytes; the next read starts at 0.
  convmfclose(&run, h);
  EXPECT_EQ(get(h, 2), "ab");
  // Mode 1 needs the file; mode 2 empties it, its chunks kept for reuse.
  EXPECT_EQ(convmfcreate(st, "missing", 1), -1);
  EXPECT_EQ(convmfcreate(st, "f", 2), h);
  EXPECT_EQ(convmfsize(&run, "f"), 0);
  // Mode 4 adds to the end of a file of that name, not to a new one.
  put(h, "one;");
  EXPECT_EQ(convmfcreate(st, "f", 4), h);
  put(h, "two;");
  EXPECT_EQ(cvgetfile(st, "f"), "one;two;");
  EXPECT_EQ(convmfdelete(&run, "f"), 0);
  EXPECT_EQ(convmfexists(&run, "f"), 0);
  EXPECT_EQ(convmfsize(&run, "f"), 0);
  EXPECT_EQ(convmfread(&run, h, nullptr, 0), -1);
}

TEST_F(Mfile, ThirtySlotsAndTheSpillStore) {
  for (int i = 0; i < CONV_MFSLOTS; i++)
    ASSERT_EQ(convmfcreate(st, ("n" + std::to_string(i)).c_str(), 2), i);
  EXPECT_EQ(convmfcreate(st, "n30", 2), -1);
  // Spill files have a store of their own and are found by name like any file.
  for (int i = 0; i < 40; i++) {
    int h = convmfopentmp(&run, ("t" + std::to_string(i)).c_str(), 3);
    ASSERT_EQ(h, CONV_MFSPILL + i);
    put(h, "spill " + std::to_string(i));
  }
  EXPECT_EQ(cvgetfile(st, "t39"), "spill 39");
  EXPECT_EQ(convmfopen(&run, "t7", 1), CONV_MFSPILL + 7);
  convmfdelete(&run, "t7");
  EXPECT_EQ(convmfopentmp(&run, "again", 3), CONV_MFSPILL + 7);
  EXPECT_EQ(cvgetfile(st, "t8"), "spill 8");
}

TEST_F(Mfile, HandlesThatAreNoFile) {
  for (int h : {-1, 30, 997, 999, CONV_MFSPILL, 5})
    EXPECT_EQ(convmfwrite(&run, h, "x", 1), -1) << h;
  EXPECT_EQ(convmfseek(&run, 31, 0, 0), -1);
}

TEST_F(Mfile, TheHostDocument) {
  EXPECT_EQ(convmfopen(&run, "source.doc", 1), CONV_MFSOURCE);
  EXPECT_EQ(convmfexists(&run, "source.doc"), 1);
  EXPECT_EQ(convmfwrite(&run, CONV_MFSOURCE, "x", 1), -1);
  EXPECT_EQ(convmfseek(&run, CONV_MFSOURCE, 4, 0), 4);
  EXPECT_EQ(convmfsize(&run, "source.doc"), 16);
  EXPECT_EQ(host.pos, 4);  // asking the size leaves the document where it was
  EXPECT_EQ(get(CONV_MFSOURCE, 3), "456");
  // Short answers of the host are joined into one read.
  host.readcap = 2;
  EXPECT_EQ(get(CONV_MFSOURCE, 5), "789ab");
  EXPECT_EQ(get(CONV_MFSOURCE, 99), "cdef");
  EXPECT_EQ(get(CONV_MFSOURCE, 99), "");
}

TEST_F(Mfile, CapOfAFile) {
  // 4000 chunks of 25,000 bytes: 100,000,000 bytes; the write that would
  // need one chunk more stops with 0 and keeps what it wrote.
  int h = convmfcreate(st, "big", 2);
  std::string block(1000000, 'b');
  for (int i = 0; i < 100; i++) ASSERT_EQ(put(h, block), 1000000) << i;
  EXPECT_EQ(put(h, "xy"), 0);
  EXPECT_EQ(convmfsize(&run, "big"), 100000000);
  // A chunk the host cannot give ends the write the same way.
  int g = convmfcreate(st, "small", 2);
  host.refuse = [](size_t) { return true; };
  EXPECT_EQ(put(g, std::string(25001, 's')), 0);
  EXPECT_EQ(convmfsize(&run, "small"), 25000);
}

TEST_F(Mfile, FilterBlocks) {
  void* a = convbnew(st, 10);
  void* b = convbnew(st, 20);
  void* c = convbnew(st, 30);
  size_t held = host.blocks.size();
  convbfree(st, b);
  EXPECT_EQ(host.blocks.size(), held - 1);
  EXPECT_EQ(static_cast<convblock*>(a)[-1].next, static_cast<convblock*>(c) - 1);
  convbfree(st, c);
  EXPECT_EQ(st->last, static_cast<convblock*>(a) - 1);
  // A block without the tag before it is not the filter's: left alone.
  unsigned char foreign[32] = {};
  convbfree(st, foreign + 16);
  convbfree(st, nullptr);
  EXPECT_EQ(host.blocks.size(), held - 2);
}

}  // namespace
