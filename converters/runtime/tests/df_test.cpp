// The compound-document reader and its streams as virtual files: streams
// written by a test-side writer read back exactly, the streams of documents
// made by a real office suite read as an independent reader reads them, and
// damaged documents end with a status in bounded time.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "converters/runtime/df.h"
#include "converters/runtime/rcg.h"
#include "converters/runtime/tests/cxtest.h"
#include "converters/runtime/tests/dftest.h"

using dft::bytes;

namespace {

std::vector<int> statuses;
void record(cxstate *, int status) { statuses.push_back(status); }

std::string fixture(const std::string &name) {
  return std::string(KES_SOURCE_DIR) + "/converters/runtime/tests/fixtures/" + name;
}

class Df : public ::testing::Test {
protected:
  cxtestdir dir;
  cxstate *st = nullptr;
  void SetUp() override {
    statuses.clear();
    st = cxteststate();
    ASSERT_NE(st, nullptr);
    ASSERT_EQ(bfinit(st, 8, record), 0);
    st->fb->ministream = 1;
  }
  void TearDown() override {
    cxrunend(st);
    cxfreest(st);
  }
  std::string put(const std::string &name, const bytes &b) {
    dir.put(name, std::string(b.begin(), b.end()));
    return dir.file(name);
  }
  // Reads a whole stream by name with dfstmread in pieces of odd sizes.
  bytes readall(int slot, const char *name, int32_t piece = 777) {
    int s = dfstmopen(st, slot, name, 1, 1);
    EXPECT_GE(s, 0) << name;
    if (s < 0) return {};
    bytes out(static_cast<size_t>(dfstmsize(st, slot, s)) + 10);
    int32_t at = 0, got;
    while ((got = dfstmread(st, slot, s, out.data() + at, std::min<int32_t>(piece, static_cast<int32_t>(out.size()) - at))) > 0)
      at += got;
    out.resize(static_cast<size_t>(at));
    EXPECT_EQ(dfstmclose(st, slot, s), 0);
    return out;
  }
  // Reads a whole stream of the run's document through a virtual file.
  bytes readvf(const char *name, int window = 20000) {
    int f = dfopenstream(st, name, window);
    EXPECT_GE(f, 0) << name;
    if (f < 0) return {};
    bytes out(static_cast<size_t>(dfsize(st, f)));
    int32_t at = 0;
    // Alternate block reads and single bytes, as a converter does.
    while (at < static_cast<int32_t>(out.size())) {
      int32_t n = std::min<int32_t>(5000, static_cast<int32_t>(out.size()) - at);
      EXPECT_EQ(dfread(st, f, out.data() + at, n), n);
      at += n;
      if (at < static_cast<int32_t>(out.size())) {
        int c = dfgetc(st, f);
        EXPECT_GE(c, 0);
        out[static_cast<size_t>(at++)] = static_cast<uint8_t>(c);
      }
    }
    EXPECT_EQ(dfgetc(st, f), -1);
    EXPECT_EQ(dfclosestream(st, f), 0);
    return out;
  }
};

TEST_F(Df, StreamsOfEverySizeReadBack) {
  std::vector<dft::stream> streams;
  for (size_t n : {0u, 100u, 4095u, 4096u, 5000u, 64u, 513u, 300000u})
    streams.push_back({"s" + std::to_string(n), dft::pattern(n, static_cast<uint32_t>(n))});
  std::string path = put("sizes.doc", dft::write(streams));
  int slot = dfopenread(st, path.c_str(), record);
  ASSERT_EQ(slot, 0);
  for (const auto &s : streams) {
    SCOPED_TRACE(s.name);
    EXPECT_EQ(readall(slot, s.name.c_str()), s.data);
    EXPECT_EQ(readall(slot, s.name.c_str(), 64), s.data);
    EXPECT_EQ(readvf(s.name.c_str()), s.data);
    EXPECT_EQ(readvf(s.name.c_str(), 700), s.data);
  }
  EXPECT_EQ(dfclose(st), 0);
  EXPECT_TRUE(statuses.empty());
}

TEST_F(Df, MegabytesThroughTheExtensionSector) {
  // Over 109 FAT sectors: the tail of this stream is reached only through
  // the FAT-extension sector.
  dft::layout l;
  bytes big = dft::pattern(8u << 20, 5);
  bytes file = dft::write({{"Big", big}, {"small", dft::pattern(200, 6)}}, &l);
  ASSERT_NE(l.ext, -2);
  std::string path = put("big.doc", file);
  int slot = dfopenread(st, path.c_str(), record);
  ASSERT_GE(slot, 0);
  EXPECT_EQ(readall(slot, "Big", 1 << 20), big);
  EXPECT_EQ(readvf("Big"), big);
  dfclose(st);
  // Without the extension sector (its field -2 or 0) the chain leaves the
  // FAT list: the read stops short, and through a virtual file the short
  // read is an error.
  for (uint32_t ext : {0xFFFFFFFEu, 0u}) {
    SCOPED_TRACE(ext);
    statuses.clear();
    dft::put32(file, 68, ext);
    path = put("noext.doc", file);
    slot = dfopenread(st, path.c_str(), record);
    ASSERT_GE(slot, 0);
    bytes got = readall(slot, "Big", 1 << 20);
    // The last sector the header's list reaches is read; its successor is not.
    EXPECT_EQ(got.size(), (109u * 128 + 1 - l.starts[0]) * 512);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), big.begin()));
    EXPECT_TRUE(statuses.empty());
    int f = dfopenstream(st, "Big", 20000);
    ASSERT_GE(f, 0);
    bytes window(20000);
    int32_t at = 0, n;
    while ((n = dfread(st, f, window.data(), 20000)) > 0) at += n;
    EXPECT_EQ(n, -1);
    EXPECT_LT(at, static_cast<int32_t>(big.size()));
    EXPECT_EQ(statuses.front(), 5);
    dfclosestream(st, f);
    dfclose(st);
  }
}

TEST_F(Df, MiniStreamFlag) {
  dft::layout l;
  bytes small = dft::pattern(100, 9);
  bytes file = dft::write({{"Small", small}, {"Other", dft::pattern(5000, 1)}}, &l);
  std::string path = put("mini.doc", file);
  int slot = dfopenread(st, path.c_str(), record);
  ASSERT_GE(slot, 0);
  EXPECT_EQ(readall(slot, "Small"), small);
  // With the flag off a small stream is read from ordinary sectors at its
  // first sector number (here mini sector 0, so big sector 0).
  st->fb->ministream = 0;
  bytes raw = readall(slot, "Small");
  ASSERT_EQ(raw.size(), 100u);
  EXPECT_TRUE(std::equal(raw.begin(), raw.end(), file.begin() + 512 + 512 * l.starts[0]));
  dfclose(st);
}

TEST_F(Df, NamesSeeksAndLimits) {
  std::vector<dft::stream> streams;
  for (int i = 0; i < 18; ++i) streams.push_back({"S" + std::to_string(i), dft::pattern(10 + i, i)});
  streams.push_back({"WordDocument", bytes{1, 2, 0xFF}});
  std::string path = put("names.doc", dft::write(streams));
  int slot = dfopen(st, path.c_str(), 1, nullptr, record);
  ASSERT_EQ(slot, 0);
  // Exact names only.
  for (const char *bad : {"worddocument", "WordDocumen", "WordDocumentX", ""}) {
    statuses.clear();
    EXPECT_EQ(dfstmopen(st, slot, bad, 1, 1), -1) << bad;
    EXPECT_EQ(statuses, std::vector<int>{5}) << bad;
  }
  statuses.clear();
  int s = dfstmopen(st, slot, "WordDocument", 1, 1);
  ASSERT_GE(s, 0);
  EXPECT_EQ(dfstmseek(st, slot, s, 0, 2), 3);
  EXPECT_EQ(dfstmseek(st, slot, s, -3, 2), 0);
  EXPECT_EQ(dfstmseek(st, slot, s, 2, 1), 2);
  EXPECT_EQ(dfstmtell(st, slot, s), 2);
  EXPECT_EQ(dfstmsetpos(st, slot, s, 3), 3);
  uint8_t c;
  EXPECT_EQ(dfstmread(st, slot, s, &c, 1), 0);  // at the end: nothing, no error
  EXPECT_TRUE(statuses.empty());
  EXPECT_EQ(dfstmseek(st, slot, s, 1, 2), -1);
  EXPECT_EQ(dfstmseek(st, slot, s, -4, 2), -1);
  EXPECT_EQ(dfstmseek(st, slot, s, 0, 3), -1);
  EXPECT_EQ(dfstmsetpos(st, slot, s, 4), -1);
  EXPECT_EQ(statuses, (std::vector<int>{5, 5, 5}));
  EXPECT_EQ(dfstmclose(st, slot, s), 0);
  // Sixteen open streams at most.
  statuses.clear();
  for (int i = 0; i < 16; ++i) EXPECT_EQ(dfstmopen(st, slot, ("S" + std::to_string(i)).c_str(), 1, 1), i);
  EXPECT_EQ(dfstmopen(st, slot, "S16", 1, 1), -1);
  EXPECT_EQ(statuses, std::vector<int>{5});
  // Two documents at most; a bad slot or stream reports 5.
  statuses.clear();
  EXPECT_EQ(dfopen(st, path.c_str(), 1, nullptr, record), 1);
  EXPECT_EQ(dfopen(st, path.c_str(), 1, nullptr, record), -1);
  EXPECT_EQ(dfdocclose(st, 1), 0);
  EXPECT_EQ(dfstmread(st, 1, 0, &c, 1), 0);
  EXPECT_EQ(dfstmsize(st, slot, 16), -1);
  EXPECT_EQ(dfstmclose(st, 7, 0), 0);
  EXPECT_EQ(statuses, (std::vector<int>{5, 5, 5}));
  // Writing is refused.
  statuses.clear();
  EXPECT_EQ(dfstmwrite(st, slot, 0, &c, 1), -1);
  EXPECT_EQ(dfopen(st, dir.file("new.doc").c_str(), 2, nullptr, record), -1);
  EXPECT_EQ(statuses, (std::vector<int>{5, 5}));
  EXPECT_EQ(dfdocclose(st, slot), 0);
}

TEST_F(Df, VirtualFileBinding) {
  std::string path = put("vf.doc", dft::write({{"WordDocument", bytes{0xFF, 0x00, 0x41}}}));
  ASSERT_EQ(dfopenread(st, path.c_str(), record), 0);
  EXPECT_EQ(st->io->docfile, 0);
  int f = dfopenstream(st, "WordDocument", 20000);
  ASSERT_GE(f, 0);
  EXPECT_EQ(dfsize(st, f), 3);
  EXPECT_EQ(dfgetc(st, f), 255);
  EXPECT_EQ(dftell(st, f), 1);
  EXPECT_EQ(dfgetc(st, f), 0);
  EXPECT_EQ(dfseek(st, f, 2), 2);
  EXPECT_EQ(dfgetc(st, f), 0x41);
  EXPECT_EQ(dfgetc(st, f), -1);
  EXPECT_TRUE(statuses.empty());
  EXPECT_EQ(dfclosestream(st, f), 0);
  // A missing stream passes the exists test and fails at its open.
  EXPECT_EQ(dfopenstream(st, "Missing", 20000), -1);
  EXPECT_EQ(statuses.front(), 5);
  statuses.clear();
  EXPECT_EQ(dfcreatestream(st, "New", 20000), -1);
  EXPECT_FALSE(statuses.empty());
  EXPECT_EQ(dfclose(st), 0);
  EXPECT_EQ(st->io->docfile, -1);
}

// A run whose error callback ends it, as a converter's does.
void fatal(cxstate *st, int status) { cxthrow(st, status); }

TEST_F(Df, FatalCallbackEndsTheRunWithTheStatus) {
  std::string path = put("fatal.doc", dft::write({{"Other", bytes(10, 1)}}));
  int status = cxentry(st, [&] {
    bfinit(st, 4, fatal);
    dfopenread(st, path.c_str(), fatal);
    dfopenstream(st, "WordDocument", 20000);
    return 0;
  });
  EXPECT_EQ(status, 5);
}

bytes corrupt(bytes f, size_t off, uint32_t v) {
  dft::put32(f, off, v);
  return f;
}

TEST_F(Df, DamagedDocumentsEndWithAStatus) {
  dft::layout l;
  bytes big = dft::pattern(20000, 3);
  bytes good = dft::write({{"WordDocument", big}, {"Small", dft::pattern(300, 4)}}, &l);
  int32_t wd = l.starts[0];

  struct {
    const char *name;
    bytes file;
    int openstatus;       // status of dfopen, 0 when it opens
    int32_t wdbytes;      // bytes of WordDocument then read, -1: its open fails
    int32_t smallbytes;   // bytes of Small, -1: its open fails
  } cases[] = {
      {"empty file", {}, 9, 0, 0},
      {"half a signature", bytes(good.begin(), good.begin() + 4), 9, 0, 0},
      {"second half wrong", corrupt(good, 4, 0), 9, 0, 0},
      {"header cut short", bytes(good.begin(), good.begin() + 300), 9, 0, 0},
      {"fat count zero", corrupt(good, 44, 0), 9, 0, 0},
      {"fat count negative", corrupt(good, 44, 0xFFFFFFFF), 9, 0, 0},
      {"fat list pointing nowhere", corrupt(good, 76, 0x10000), 0, 512, 300},
      {"no directory", corrupt(good, 48, 0xFFFFFFFF), 0, -1, -1},
      {"directory beyond the file", corrupt(good, 48, 0x100000), 0, -1, -1},
      {"mini fat count and start gone", corrupt(corrupt(good, 60, 0xFFFFFFFE), 64, 0), 0, 20000, 64},
      {"last sector cut to the stream's end", bytes(good.begin(), good.begin() + 512 + 512 * wd + 20000), 0, 20000, 300},
      {"last sector cut inside the stream", bytes(good.begin(), good.begin() + 512 + 512 * wd + 19000), 0, 19000, 300},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    statuses.clear();
    std::string path = put("damaged.doc", c.file);
    int slot = dfopen(st, path.c_str(), 1, nullptr, record);
    if (c.openstatus) {
      EXPECT_EQ(slot, -1);
      EXPECT_EQ(statuses, std::vector<int>{c.openstatus});
      continue;
    }
    ASSERT_GE(slot, 0);
    EXPECT_TRUE(statuses.empty());
    for (auto [name, want] : {std::pair{"WordDocument", c.wdbytes}, std::pair{"Small", c.smallbytes}}) {
      statuses.clear();
      if (want < 0) {
        EXPECT_EQ(dfstmopen(st, slot, name, 1, 1), -1) << name;
        EXPECT_EQ(statuses, std::vector<int>{5}) << name;
      } else {
        bytes got = readall(slot, name);
        EXPECT_EQ(static_cast<int32_t>(got.size()), want) << name;
      }
    }
    dfdocclose(st, slot);
  }
}

TEST_F(Df, LoopsEnd) {
  dft::layout l;
  bytes big = dft::pattern(20000, 3);
  bytes good = dft::write({{"WordDocument", big}, {"A", bytes(300, 1)}, {"B", bytes(300, 2)}}, &l);
  // A FAT chain that turns back on itself.
  bytes fatloop = good;
  dft::setfat(fatloop, l, l.starts[0] + 5, static_cast<uint32_t>(l.starts[0] + 1));
  // A directory chain that does (the directory fills one sector; make it its own successor).
  bytes dirloop = good;
  dft::setfat(dirloop, l, l.dirstart, static_cast<uint32_t>(l.dirstart));
  // A mini-FAT chain that does.
  bytes miniloop = good;
  dft::put32(miniloop, 512 + 512 * l.minifat + 4 * (l.starts[1] + 3), static_cast<uint32_t>(l.starts[1]));

  std::string path = put("loop1.doc", fatloop);
  int slot = dfopen(st, path.c_str(), 1, nullptr, record);
  ASSERT_GE(slot, 0);
  bytes got = readall(slot, "WordDocument");
  EXPECT_EQ(got.size(), 20000u);  // the size bounds the read; the bytes repeat
  EXPECT_FALSE(std::equal(got.begin(), got.end(), big.begin()));
  dfdocclose(st, slot);

  path = put("loop2.doc", dirloop);
  slot = dfopen(st, path.c_str(), 1, nullptr, record);
  ASSERT_GE(slot, 0);
  statuses.clear();
  EXPECT_EQ(dfstmopen(st, slot, "Missing", 1, 1), -1);
  EXPECT_EQ(statuses, std::vector<int>{5});
  EXPECT_EQ(readall(slot, "A").size(), 300u);
  dfdocclose(st, slot);

  path = put("loop3.doc", miniloop);
  slot = dfopen(st, path.c_str(), 1, nullptr, record);
  ASSERT_GE(slot, 0);
  EXPECT_EQ(readall(slot, "A").size(), 300u);
  EXPECT_EQ(readall(slot, "B"), bytes(300, 2));
  dfdocclose(st, slot);
}

struct expected {
  std::string file, name;
  size_t size;
  uint32_t crc;
};

std::vector<expected> fixturestreams() {
  std::vector<expected> out;
  std::ifstream in(fixture("streams.txt"), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::stringstream ss(line);
    expected e;
    std::string size, crc;
    std::getline(ss, e.file, '\t');
    std::getline(ss, e.name, '\t');
    std::getline(ss, size, '\t');
    std::getline(ss, crc, '\t');
    e.size = std::stoul(size);
    e.crc = static_cast<uint32_t>(std::stoul(crc, nullptr, 16));
    out.push_back(e);
  }
  return out;
}

TEST_F(Df, OfficeDocumentsReadAsAnIndependentReaderReadsThem) {
  auto streams = fixturestreams();
  ASSERT_GE(streams.size(), 30u);
  std::map<std::string, int> names;
  for (const auto &e : streams) names[e.file + "/" + e.name]++;
  std::string open;
  int slot = -1;
  for (const auto &e : streams) {
    SCOPED_TRACE(e.file + " " + e.name);
    if (e.file != open) {
      if (slot >= 0) dfclose(st);
      open = e.file;
      slot = dfopenread(st, fixture(e.file).c_str(), record);
      ASSERT_GE(slot, 0);
    }
    // The search by name is flat: only names that occur once in a document
    // name one stream.
    if (names[e.file + "/" + e.name] != 1) continue;
    bytes got = readall(slot, e.name.c_str(), 1000);
    EXPECT_EQ(got.size(), e.size);
    EXPECT_EQ(dft::crc32(got.data(), got.size()), e.crc);
    bytes viavf = readvf(e.name.c_str());
    EXPECT_EQ(dft::crc32(viavf.data(), viavf.size()), e.crc);
  }
  if (slot >= 0) dfclose(st);
  EXPECT_TRUE(statuses.empty());
}

} // namespace
