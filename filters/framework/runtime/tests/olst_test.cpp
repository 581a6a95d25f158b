// The compound-file reader: streams of every size class read back byte for
// byte, by name and by storage path, from files of the test builder, of the
// converters' writer and of gsf when it is installed; the slot limits; the
// cache; and damaged files that must end without a hang or a large block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "converters/runtime/tests/dftest.h"
#include "filters/framework/runtime/tests/cvtest.h"
#include "filters/framework/runtime/tests/olsttest.h"

namespace {

// A run with a compound file as the memory file "doc.ole"; the largest
// block asked of the host is noted.
struct oletestrun {
  size_t maxalloc = 0;
  cvtestrun t;
  cvrun* run;
  explicit oletestrun(const std::string& file) : t("text", {}, 1, 0), run(t.run) {
    olstreset(run);
    cvputfile(t.st, "doc.ole", file);
    t.host.refuse = [this](size_t n) {
      maxalloc = std::max(maxalloc, n);
      return false;
    };
  }
  int open() { return olstopen(run, "doc.ole"); }
};

// The whole rest of a stream, in reads of len bytes, then checks that the
// end stays the end.
std::string readall(cvrun* run, int slot, int len = 1000) {
  std::string out, buf(len, '\0');
  for (;;) {
    int n = olstread(run, slot, buf.data(), len);
    out.append(buf.data(), n);
    if (n < len) break;
  }
  EXPECT_EQ(olstgetc(run, slot), -1);
  return out;
}

std::string bygetc(cvrun* run, int slot) {
  std::string out;
  for (int c; (c = olstgetc(run, slot)) != -1;) out += static_cast<char>(c);
  return out;
}

const size_t sizes[] = {0, 64, 100, 4095, 4096, 5000, 300000};

std::vector<olt::node> sample() {
  std::vector<olt::node> top;
  uint32_t seed = 1;
  for (size_t n : sizes) top.push_back(olt::stream("s" + std::to_string(n), olt::pattern(n, seed++)));
  top.push_back(olt::stream("WordDocument", olt::pattern(7000, seed++)));
  top.push_back(olt::stream("PerfectOffice_MAIN", olt::pattern(3000, seed++)));
  top.push_back(olt::storage("PerfectOffice_OBJECTS",
                             {olt::storage("box1", {olt::stream("\x03WPG20", olt::pattern(600, seed++))})}));
  top.push_back(olt::storage("ObjectPool", {olt::storage("_122", {olt::stream("x", "wrong one")}),
                                            olt::storage("_123", {olt::stream("x", olt::pattern(5000, seed++)),
                                                                  olt::stream("\x03PIC", "pic")})}));
  return top;
}

TEST(CompoundFile, EveryStreamReadsBackByNameAndSize) {
  std::vector<olt::node> top = sample();
  oletestrun o(olt::build(top));
  int stg = o.open();
  ASSERT_EQ(stg, 0);
  for (size_t i = 0; i < std::size(sizes) + 2; i++) {
    SCOPED_TRACE(top[i].name);
    int slot = olstfind(o.run, stg, top[i].name.c_str());
    ASSERT_GE(slot, 0);
    EXPECT_EQ(olstsize(o.run, slot), static_cast<long>(top[i].data.size()));
    EXPECT_EQ(readall(o.run, slot), top[i].data);
    // Again byte by byte from the start: exactly the size, then the end.
    EXPECT_EQ(olstseek(o.run, slot, 0), 0);
    EXPECT_EQ(bygetc(o.run, slot), top[i].data);
    EXPECT_EQ(olsttell(o.run, slot), static_cast<long>(top[i].data.size()));
    EXPECT_EQ(olstclose(o.run, slot), 0);
    EXPECT_EQ(olstslotused(o.run, slot), -1);
  }
  // Random access within a regular stream.
  int slot = olstfind(o.run, stg, "s300000");
  EXPECT_EQ(olstseek(o.run, slot, 123457), 123457);
  char buf[700];
  EXPECT_EQ(olstread(o.run, slot, buf, 700), 700);
  EXPECT_EQ(std::string(buf, 700), top[6].data.substr(123457, 700));
  EXPECT_EQ(olstshut(o.run, stg), 0);
}

TEST(CompoundFile, APathFindsTheStreamOnlyUnderItsStorages) {
  std::vector<olt::node> top = sample();
  oletestrun o(olt::build(top));
  int stg = o.open();
  struct row {
    const char* path;  // names separated by '|'
    std::string want;  // "" : not found
  } rows[] = {
      {"ObjectPool|_123|x", top[10].kids[1].kids[0].data},
      {"ObjectPool|_122|x", "wrong one"},
      {"ObjectPool|_123|\x03PIC", "pic"},
      {"PerfectOffice_OBJECTS|box1|\x03WPG20", top[9].kids[0].kids[0].data},
      {"WordDocument", top[7].data},
      {"ObjectPool|_124|x", ""},
      {"_123|x", ""},
      {"x", ""},
      {"ObjectPool|x", ""},
      {"objectpool|_123|x", ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.path);
    std::string path = r.path;
    std::replace(path.begin(), path.end(), '|', '\0');
    path += std::string(2, '\0');
    int slot = olstopenpath(o.run, stg, path.c_str());
    if (r.want.empty()) {
      EXPECT_EQ(slot, -1);
      continue;
    }
    ASSERT_GE(slot, 0);
    EXPECT_EQ(readall(o.run, slot), r.want);
    olstclose(o.run, slot);
  }
  // By name alone, the first "x" in directory order: the one under _122.
  int slot = olstfind(o.run, stg, "x");
  EXPECT_EQ(readall(o.run, slot), "wrong one");
}

// Files with more than 109 and more than 236 table sectors: the streams
// whose sectors the later table sectors describe read back whole.
TEST(CompoundFile, TheExtensionSectorsOfTheTableAreFollowed) {
  {
    // The converters' writer: one extension sector (110 table sectors).
    dft::bytes big = dft::pattern(110 * 128 * 512 - 4000, 7);
    dft::bytes f = dft::write({{"small", dft::pattern(100, 1)}, {"big", big}});
    oletestrun o(std::string(f.begin(), f.end()));
    ASSERT_GT(olt::get32(std::string(f.begin(), f.begin() + 512), 44), 109u);
    int stg = o.open();
    int slot = olstfind(o.run, stg, "big");
    ASSERT_GE(slot, 0);
    EXPECT_TRUE(readall(o.run, slot, 65536) == std::string(big.begin(), big.end()));
  }
  {
    // The builder: three extension sectors in a chain.
    std::string big = olt::pattern(300 * 128 * 512, 8);
    olt::layout l;
    std::string f = olt::build({olt::stream("big", big), olt::stream("tail", "end")}, &l, 350);
    ASSERT_EQ(l.ext.size(), 2u);
    oletestrun o(f);
    int stg = o.open();
    int slot = olstfind(o.run, stg, "big");
    ASSERT_GE(slot, 0);
    EXPECT_TRUE(readall(o.run, slot, 65536) == big);
    EXPECT_LE(o.maxalloc, f.size() / 64);
  }
}

TEST(CompoundFile, EdgeCases) {
  std::string good = olt::build(sample());
  struct row {
    const char* what;
    std::function<void(oletestrun&)> check;
  } rows[] = {
      {"a wrong signature is refused and leaves both slots free",
       [](oletestrun& o) {
         cvputfile(o.t.st, "bad.ole", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE0" + std::string(2000, '\0'));
         EXPECT_EQ(olstopen(o.run, "bad.ole"), -1);
         EXPECT_EQ(olstopen(o.run, "nothing.ole"), -1);
         EXPECT_EQ(o.open(), 0);
         EXPECT_EQ(o.open(), 1);
         EXPECT_EQ(o.open(), -1);  // a third storage
         EXPECT_EQ(olstshut(o.run, 0), 0);
         EXPECT_EQ(o.open(), 0);
       }},
      {"a root named RootEntry is refused",
       [](oletestrun& o) {
         cvputfile(o.t.st, "root.ole", olt::build(sample(), nullptr, 0, "RootEntry"));
         EXPECT_EQ(olstopen(o.run, "root.ole"), -1);
         EXPECT_EQ(o.open(), 0);
       }},
      {"sixteen slots, the directory's included",
       [](oletestrun& o) {
         int stg = o.open();
         for (int i = 0; i < OLST_NSTREAMS - 1; i++) EXPECT_GE(olstfind(o.run, stg, "s100"), 0) << i;
         EXPECT_EQ(olstfind(o.run, stg, "s100"), -1);
         EXPECT_EQ(olstopenpath(o.run, stg, "s100\0"), -1);
         olstclose(o.run, 3);
         EXPECT_EQ(olstfind(o.run, stg, "s5000"), 3);
         // The shut closes them all.
         olstshut(o.run, stg);
         for (int i = 0; i < OLST_NSTREAMS; i++) EXPECT_EQ(olstslotused(o.run, i), -1);
       }},
      {"4095 bytes live in the mini stream, 4096 do not",
       [](oletestrun& o) {
         int stg = o.open();
         int a = olstfind(o.run, stg, "s4095"), b = olstfind(o.run, stg, "s4096");
         EXPECT_NE(o.run->olstreams[a].mem, nullptr);
         EXPECT_EQ(o.run->olstreams[b].mem, nullptr);
         EXPECT_EQ(readall(o.run, a).size(), 4095u);
         EXPECT_EQ(readall(o.run, b).size(), 4096u);
       }},
      {"names are compared exactly",
       [](oletestrun& o) {
         int stg = o.open();
         EXPECT_EQ(olstfind(o.run, stg, "S64"), -1);
         EXPECT_EQ(olstfind(o.run, stg, "s6"), -1);
         EXPECT_EQ(olstfind(o.run, stg, "s640"), -1);
         EXPECT_GE(olstfind(o.run, stg, "s64"), 0);
       }},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    oletestrun o(good);
    r.check(o);
  }
}

TEST(CompoundFile, AMiniChainShorterThanItsSizeLowersTheSize) {
  olt::layout l;
  std::string want = olt::pattern(64, 3);
  std::string f = olt::build({olt::stream("short", want)}, &l);
  olt::put32(f, olt::entrypos(l, 1) + 120, 200);
  oletestrun o(f);
  int slot = olstfind(o.run, o.open(), "short");
  EXPECT_EQ(olstsize(o.run, slot), 64);
  EXPECT_EQ(readall(o.run, slot), want);
}

// Two streams read a sector at a time by turns: the cache holds the four
// groups of eight sectors used last, ages 0 to 3.
TEST(CompoundFile, TheCacheKeepsTheFourGroupsUsedLast) {
  std::string a = olt::pattern(40 * 512, 1), b = olt::pattern(40 * 512, 2);
  oletestrun o(olt::build({olt::stream("a", a), olt::stream("b", b)}));
  int stg = o.open();
  int sa = olstfind(o.run, stg, "a"), sb = olstfind(o.run, stg, "b");
  std::string ra, rb;
  char buf[512];
  std::vector<int32_t> recent;  // the groups touched, most recent last
  for (int k = 0; k < 40; k++) {
    for (int slot : {sa, sb}) {
      ASSERT_EQ(olstread(o.run, slot, buf, 512), 512);
      (slot == sa ? ra : rb).append(buf, 512);
      olststream& t = o.run->olstreams[slot];
      unsigned char w[4];
      cvsseek(o.run, t.chain, 4L * t.loaded);
      cvsread(o.run, t.chain, w, 4);
      int32_t group = cwget32(w, 0) / 8 * 8;
      recent.erase(std::remove(recent.begin(), recent.end(), group), recent.end());
      recent.push_back(group);
      if (recent.size() < OLST_NCACHE) continue;  // groups read at the opens may still be held
      std::vector<int> ages;
      for (int i = 0; i < OLST_NCACHE; i++) {
        const olstcache& c = o.run->olcache[i];
        ages.push_back(c.age);
        if (c.first < 0) continue;
        // Every page held is one of the last four groups, at its age.
        auto at = std::find(recent.rbegin(), recent.rend(), c.first);
        ASSERT_NE(at, recent.rend());
        EXPECT_EQ(at - recent.rbegin(), c.age);
      }
      std::sort(ages.begin(), ages.end());
      EXPECT_EQ(ages, (std::vector<int>{0, 1, 2, 3}));
    }
  }
  EXPECT_EQ(ra, a);
  EXPECT_EQ(rb, b);
}

// Two files open at once, their streams read by turns: each file's table
// sectors and cached sectors are its own, though their numbers are the same.
TEST(CompoundFile, TwoFilesOpenAtOnceKeepTheirOwnSectors) {
  std::string a = olt::pattern(9000, 1), b = olt::pattern(20000, 2);
  oletestrun o(olt::build({olt::stream("x", olt::pattern(100, 3)), olt::stream("s", a)}));
  cvputfile(o.t.st, "two.ole", olt::build({olt::stream("s", b), olt::stream("y", olt::pattern(6000, 4))}));
  int ga = o.open(), sa = olstfind(o.run, ga, "s");
  int gb = olstopen(o.run, "two.ole"), sb = olstfind(o.run, gb, "s");
  ASSERT_GE(sa, 0);
  ASSERT_GE(sb, 0);
  std::string ra, rb;
  char buf[700];
  for (int n; (n = olstread(o.run, sa, buf, 700)) > 0;) {
    ra.append(buf, n);
    rb.append(buf, olstread(o.run, sb, buf, 700));
  }
  rb += readall(o.run, sb);
  EXPECT_TRUE(ra == a);
  EXPECT_TRUE(rb == b);
  // Shutting one leaves the other readable.
  olstshut(o.run, ga);
  EXPECT_EQ(olstseek(o.run, sb, 1), 1);
  EXPECT_TRUE(readall(o.run, sb) == b.substr(1));
}

TEST(CompoundFile, TheInputPushedIsPoppedWithItsFile) {
  oletestrun o(olt::build(sample()));
  cvrun* run = o.run;
  run->in = 5;
  EXPECT_EQ(olstpushin(run, "doc.ole", "nothing"), -1);
  EXPECT_EQ(run->in, 5);
  int slot = olstpushin(run, "doc.ole", "PerfectOffice_MAIN");
  ASSERT_GE(slot, 0);
  EXPECT_EQ(run->in, slot);
  EXPECT_EQ(olstslotused(run, slot), 0);
  EXPECT_EQ(olstpopin(run), 0);
  EXPECT_EQ(run->in, 5);
  EXPECT_EQ(olstslotused(run, slot), -1);
  EXPECT_EQ(run->olstgs[0].fh, -1);
}

// Damaged files: every one opens or is refused, and every stream read from
// it ends, without a block larger than the file asked of the host.
TEST(CompoundFile, DamagedFilesEndWithoutHangOrLargeBlocks) {
  olt::layout l;
  std::vector<olt::node> top = {olt::stream("big", olt::pattern(6000, 1)), olt::stream("small", olt::pattern(200, 2)),
                                olt::storage("dir", {olt::stream("in", "inner")})};
  std::string base = olt::build(top, &l);
  olt::layout lx;
  std::string wide = olt::build({olt::stream("big", olt::pattern(6000, 1))}, &lx, 300);
  auto at = [&](int32_t s) { return olt::secpos(s); };
  struct row {
    const char* what;
    std::function<std::string()> make;
  } rows[] = {
      {"a stream's chain loops", [&] {
         std::string f = base;
         olt::setfat(f, l, l.starts[1] + 11, static_cast<uint32_t>(l.starts[1]));
         return f;
       }},
      {"the directory's chain loops", [&] {
         std::string f = base;
         olt::setfat(f, l, l.dirstart + 1, static_cast<uint32_t>(l.dirstart));
         return f;
       }},
      {"the extension chain loops", [&] {
         std::string f = wide;
         olt::put32(f, at(lx.ext[1]) + 508, static_cast<uint32_t>(lx.ext[0]));
         return f;
       }},
      {"an extension sector names itself", [&] {
         std::string f = wide;
         olt::put32(f, at(lx.ext[0]) + 508, static_cast<uint32_t>(lx.ext[0]));
         return f;
       }},
      {"the table count is past the file", [&] {
         std::string f = base;
         olt::put32(f, 44, 0x7FFFFFF0u);
         return f;
       }},
      {"the sibling tree loops", [&] {
         std::string f = base;
         for (size_t e = 1; e < l.names.size(); e++) {
           olt::put32(f, olt::entrypos(l, e) + 68, 1);
           olt::put32(f, olt::entrypos(l, e) + 72, static_cast<uint32_t>(e));
         }
         return f;
       }},
      {"the mini chain loops", [&] {
         std::string f = base;
         for (int i = 0; i < 4; i++) olt::put32(f, at(l.minifat) + 4 * i, 0);
         return f;
       }},
      {"sizes past the file", [&] {
         std::string f = base;
         for (size_t e = 1; e < l.names.size(); e++) olt::put32(f, olt::entrypos(l, e) + 120, 0x7FFFFFFFu);
         return f;
       }},
      {"sizes of 4 GB less one", [&] {
         std::string f = base;
         for (size_t e = 0; e < l.names.size(); e++) olt::put32(f, olt::entrypos(l, e) + 120, 0xFFFFFFFFu);
         return f;
       }},
      {"sector numbers past the file", [&] {
         std::string f = base;
         for (size_t e = 0; e < l.names.size(); e++) olt::put32(f, olt::entrypos(l, e) + 116, 0x00FFFFFFu);
         olt::setfat(f, l, l.starts[1] + 3, 0x00FFFFFFu);
         return f;
       }},
      {"table sectors past the file", [&] {
         std::string f = base;
         olt::put32(f, 76, 0x00FFFFFFu);
         return f;
       }},
      {"a file of 2047 bytes", [&] { return base.substr(0, 2047); }},
      {"a file of 600 bytes", [&] { return base.substr(0, 600); }},
      {"the signature alone", [&] { return base.substr(0, 8); }},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    std::string f = r.make();
    oletestrun o(f);
    int stg = o.open();
    if (stg >= 0) {
      for (const char* name : {"big", "small", "in", "Root Entry"}) {
        int slot = olstfind(o.run, stg, name);
        if (slot < 0) continue;
        EXPECT_LE(readall(o.run, slot).size(), f.size());
        olstclose(o.run, slot);
      }
      int slot = olstopenpath(o.run, stg, "dir\0in\0");
      if (slot >= 0) {
        EXPECT_LE(readall(o.run, slot).size(), f.size());
      }
      EXPECT_EQ(olstopenpath(o.run, stg, "dir\0none\0"), -1);
      EXPECT_EQ(olstfind(o.run, stg, "none"), -1);
      olstshut(o.run, stg);
    }
    EXPECT_LE(o.maxalloc, std::max<size_t>(f.size(), 2 * 4096) + 64);
  }
}

// gsf's files: every stream equals what gsf cat prints, every size what
// gsf list shows. Skipped where gsf is not installed.
TEST(CompoundFile, FilesOfGsfReadBackAsGsfReadsThem) {
  if (std::system("gsf --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "gsf is not installed";
  char dirname[] = "/tmp/olstgsfXXXXXX";
  ASSERT_NE(mkdtemp(dirname), nullptr);
  std::string dir = dirname;
  auto write = [](const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  };
  auto run = [](const std::string& cmd) {
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
      char buf[65536];
      for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
      pclose(p);
    }
    return out;
  };
  std::vector<std::string> names;
  uint32_t seed = 1;
  ASSERT_EQ(std::system(("mkdir -p " + dir + "/in/ObjectPool/_123").c_str()), 0);
  for (size_t n : sizes) {
    names.push_back("s" + std::to_string(n));
    write(dir + "/in/" + names.back(), olt::pattern(n, seed++));
  }
  for (const char* n : {"WordDocument", "PerfectOffice_MAIN"}) {
    names.push_back(n);
    write(dir + "/in/" + n, olt::pattern(9000, seed++));
  }
  write(dir + "/in/ObjectPool/_123/x", olt::pattern(3000, seed++));
  names.push_back("ObjectPool/_123/x");
  ASSERT_EQ(std::system(("cd " + dir + "/in && gsf createole ../t.ole * >/dev/null 2>&1").c_str()), 0);
  std::ifstream in(dir + "/t.ole", std::ios::binary);
  std::stringstream file;
  file << in.rdbuf();
  oletestrun o(file.str());
  int stg = o.open();
  ASSERT_GE(stg, 0);
  std::string list = run("gsf list " + dir + "/t.ole");
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    std::string path = name;
    std::replace(path.begin(), path.end(), '/', '\0');
    path += std::string(2, '\0');
    int slot = olstopenpath(o.run, stg, path.c_str());
    ASSERT_GE(slot, 0);
    std::string want = run("gsf cat " + dir + "/t.ole " + name);
    EXPECT_TRUE(readall(o.run, slot) == want);
    // gsf list: "f  date time  size name".
    std::istringstream lines(list);
    long listed = -1;
    for (std::string line; std::getline(lines, line);) {
      std::istringstream w(line);
      std::string kind, date, time, n;
      long size;
      if (w >> kind >> date >> time >> size >> n && kind == "f" && n == name) listed = size;
    }
    EXPECT_EQ(olstsize(o.run, slot), listed);
    olstclose(o.run, slot);
  }
  std::system(("rm -rf " + dir).c_str());
}

}  // namespace
