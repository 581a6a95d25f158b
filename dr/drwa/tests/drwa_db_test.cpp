// The word list's stand-in over a real index: a wildcard's words come from
// the token table through the base engine, and too many of them refuse the
// query with the query's own message.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dr/dreb/tests/engfix.h"
#include "dr/drwa/drwa.h"

namespace {

struct Wildcards : engfix::Engine {
  drdmpol pol{};
  drobj *wl = nullptr;
  void TearDown() override {
    if (wl) drops<drwlops>(wl)->free(wl);
    engfix::Engine::TearDown();
  }
  // The answer of one expansion as runs of words: the word, then what it
  // matches.
  std::vector<std::vector<std::string>> expand(std::vector<const char *> words, int *rc) {
    if (!wl) {
      pol.comp[DRCLS_ENGINE - 1].obj = eng;
      wl = drwanew(st, st->seshp, 1, &pol);
    }
    char **out = nullptr;
    *rc = drops<drwlops>(wl)->exp(wl, words.data(), static_cast<int32_t>(words.size()), 0,
                                  nullptr, &out);
    std::vector<std::vector<std::string>> runs;
    for (size_t i = 0; *rc == 0 && i < words.size(); ++i, ++out) {
      runs.emplace_back();
      for (; *out; ++out) runs.back().push_back(*out);
      std::sort(runs.back().begin() + 1, runs.back().end());  // the index's order is its own
    }
    return runs;
  }
};

TEST_F(Wildcards, WordsComeFromTheTokenTable) {
  begin();
  pq->one("insert into t.dr_00042_i1t1 select w, 1, 1, '\\x00' from unnest(array['RIVER',"
          " 'RIVERS', 'ROAD']) w");
  int rc = 0;
  auto runs = expand({"RIV%", "X%", "R%AD"}, &rc);
  ASSERT_EQ(rc, 0) << stack();
  EXPECT_EQ(runs, (std::vector<std::vector<std::string>>{
                      {"RIV%", "RIVER", "RIVERS"}, {"X%"}, {"R%AD", "ROAD"}}));
}

TEST_F(Wildcards, TooManyWordsRefuseTheQuery) {
  begin();
  pq->one("insert into t.dr_00042_i1t1 select 'W' || n, 1, 1, '\\x00'"
          " from generate_series(1, 5001) n");
  int rc = 0;
  expand({"W%"}, &rc);
  EXPECT_EQ(rc, 7);
  EXPECT_NE(stack().find("DRG-50937"), std::string::npos) << stack();
  EXPECT_EQ(stack().find("DRG-50400"), std::string::npos) << stack();
}

}  // namespace
