// A scratch folder for the transducer tests, removed with its files.
#ifndef KES_LINGUISTICS_STEMMER_TESTS_FSTTMP_H
#define KES_LINGUISTICS_STEMMER_TESTS_FSTTMP_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fsttest {

struct Scratch : ::testing::Test {
  std::string dir;
  void SetUp() override {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kesfst.XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir = tmpl;
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string path(const std::string &name) const { return dir + "/" + name; }
};

}  // namespace fsttest

#endif
