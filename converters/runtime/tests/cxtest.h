// Small helpers shared by the runtime's tests: a state record with the
// Word 1.x/2.0 head (for the sink stacks), a scratch directory and a test
// fixture holding both.
#ifndef KES_CONVERTERS_RUNTIME_TESTS_CXTEST_H
#define KES_CONVERTERS_RUNTIME_TESTS_CXTEST_H

#include <gtest/gtest.h>
#include <dirent.h>
#include <string>
#include <unistd.h>
#include <vector>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "converters/runtime/cx.h"

struct cxtestdir {
  std::string path;
  cxtestdir() {
    char tmpl[] = "/tmp/cxtestXXXXXX";
    path = ::mkdtemp(tmpl);
  }
  ~cxtestdir() {
    for (auto& f : files()) ::unlink((path + "/" + f).c_str());
    ::rmdir(path.c_str());
  }
  std::string file(const std::string& name) const { return path + "/" + name; }
  std::vector<std::string> files() const {
    std::vector<std::string> out;
    if (DIR* d = ::opendir(path.c_str())) {
      while (dirent* e = ::readdir(d))
        if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) out.push_back(e->d_name);
      ::closedir(d);
    }
    return out;
  }
  void put(const std::string& name, const std::string& bytes) const {
    std::ofstream(file(name), std::ios::binary) << bytes;
  }
  std::string get(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
};

inline cxstate* cxteststate(cxhostalloc_t ha = nullptr, cxhostfree_t hf = nullptr) {
  static const cxblkspec w2[] = {{6, sizeof(cxw2head) + 64, cxw2init}, {7, 64, nullptr}};
  return cxnewst(w2, 2, cxfreest, ha, hf);
}

// The marks that frame the intermediate records and their fields.
inline constexpr char ESC = 27, GS = 29, RS = 30, US = 31;

// A fresh state and a scratch directory per test; at the end the run is
// ended, nothing may remain allocated, and the state is freed.
struct cxtestrun : ::testing::Test {
  cxtestdir dir;
  cxstate* st = cxteststate();
  void TearDown() override {
    cxrunend(st);
    EXPECT_EQ(st->cm->allocs, 0);
    cxfreest(st);
  }
  // Sends the buffered output to the file "o" of the scratch directory.
  void output() { ASSERT_EQ(cxbufinit(st, -1, cxopen(st, dir.file("o").c_str(), 2, 0), 100), 0); }
  // Ends the output and returns what reached "o".
  std::string written() {
    cxbufend(st);
    return dir.get("o");
  }
};

#endif  // KES_CONVERTERS_RUNTIME_TESTS_CXTEST_H
