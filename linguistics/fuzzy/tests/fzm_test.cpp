// The fuzzy matcher: scores and order of ranked candidates, the result pool
// under pressure, LIKE patterns and their buffer limits, message texts, and
// the matcher's use of the caller's heap.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "linguistics/fuzzy/fzm.h"

namespace {

using Ranked = std::vector<std::pair<std::string, int>>;

struct Fuzzy : ::testing::Test {
  rtctx *rt = rtstart("test", "lsf");
  rthpmgr *mgr = rthpmgrget(rt);
  rtheap *heap = rthpnew(mgr, rthptop(mgr), RTHP_STD, __FILE__, __LINE__);
  fzmobj *m = nullptr;
  void SetUp() override {
    char name[256] = "DEFAULT";
    int err = 1;
    m = fzmnew(mgr, heap, name, &err);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(err, 0);
  }
  ~Fuzzy() override {
    if (m) m->ops.release(m);
    EXPECT_EQ(rthpblocks(heap), 0u);  // nothing left behind
    rtstop(rt);
  }
  Ranked match(const char *word, std::vector<const char *> cands, int threshold = 20,
               int pool = 1000) {
    std::vector<const char *> out(pool > 0 ? pool : 1);
    std::vector<uint16_t> scores(out.size());
    int n = -1;
    EXPECT_EQ(m->ops.match(m, word, threshold, pool, cands.data(), static_cast<int>(cands.size()),
                           out.data(), scores.data(), &n),
              0);
    Ranked r;
    for (int i = 0; i < n; i++) r.emplace_back(out[i], scores[i]);
    return r;
  }
  std::vector<std::string> like(const char *word, int size, int *rc, int *count = nullptr) {
    std::vector<char> buf(size + 16, '#');
    int n = -1;
    *rc = m->ops.like(m, word, buf.data(), size, &n);
    if (count) *count = n;
    for (int i = size; i < size + 16; i++) EXPECT_EQ(buf[i], '#') << "written past the buffer";
    std::vector<std::string> pats;
    for (int i = 0; i < size && buf[i] != '#';) {
      pats.emplace_back(&buf[i]);
      i += static_cast<int>(pats.back().size()) + 1;
    }
    return pats;
  }
};

TEST_F(Fuzzy, ScoresFollowTheCharacterModel) {
  struct Case {
    const char *word;
    std::vector<const char *> cands;
    int threshold;
    Ranked want;
  } cases[] = {
      // best first; equal scores newest first; jones and garden fail the histogram
      {"smith", {"smyth", "smithe", "schmidt", "smit", "mith", "jones", "smith"}, 20,
       {{"smith", 80}, {"smyth", 70}, {"smithe", 69}, {"schmidt", 59}, {"smit", 56}, {"mith", 53}}},
      {"house", {"houses", "hause", "horse", "hose", "mouse", "husband", "garden"}, 50,
       {{"hause", 70}, {"houses", 70}, {"horse", 68}, {"hose", 66}, {"mouse", 58}}},
      {"house", {"husband", "garden", "house"}, 20, {{"house", 80}, {"husband", 41}}},
      // only what lies above the threshold
      {"smith", {"smit", "mith", "smyth"}, 56, {{"smyth", 70}}},
      // below the minimum score the minimum holds
      {"smith", {"mith"}, 0, {{"mith", 53}}},
      // a hyphen ends the word for matching
      {"co-op", {"co", "co-x", "coop"}, 20, {{"co-x", 80}, {"co", 80}, {"coop", 61}}},
      // the digit 9 counts nowhere, 0-8 in the histogram only
      {"ab9", {"ab8", "ab9"}, 20, {{"ab9", 80}, {"ab8", 77}}},
      {"ab8", {"ab7"}, 20, {{"ab7", 75}}},
      // accents fold to their letter
      {"cafe", {"CAF\xC9"}, 20, {{"CAF\xC9", 80}}},
      // words are cut at 39 bytes
      {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaazzzz", {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"}, 20,
       {{"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", 80}}},
  };
  for (const Case &c : cases) EXPECT_EQ(match(c.word, c.cands, c.threshold), c.want) << c.word;
}

TEST_F(Fuzzy, AFullPoolDropsItsLowestScoreAtOnce) {
  // Two of 53 fill the pool; 70 evicts both and leaves one node free; a
  // second 53 no longer qualifies, 56 takes the free node.
  EXPECT_EQ(match("smith", {"mith", "mith", "smyth", "mith", "smit"}, 20, 2),
            (Ranked{{"smyth", 70}, {"smit", 56}}));
  // After the pool fills, the threshold is the lowest score held.
  EXPECT_EQ(match("smith", {"smit", "smyth", "mith", "smithe"}, 20, 2),
            (Ranked{{"smyth", 70}, {"smithe", 69}}));
  EXPECT_TRUE(match("smith", {"smith", "smyth"}, 20, 0).empty());
}

TEST_F(Fuzzy, ShortOfMemoryMatchingFailsAndKeepsNothing) {
  const char *cands[] = {"smyth"};
  const char *out[4];
  uint16_t scores[4];
  for (int k = 1; k <= 6; k++) {
    int n = -1;
    rthpfailat(mgr, k);
    EXPECT_EQ(fzmmatch(m, "smith", 20, 4, cands, 1, out, scores, &n), FZM_ENOMEM) << k;
    EXPECT_EQ(n, 0);
    EXPECT_EQ(rthpblocks(heap), 1u) << k;  // the matcher alone
  }
  rthpfailat(mgr, 0);
}

TEST_F(Fuzzy, LikePatterns) {
  struct Case {
    const char *word;
    int size;
    int rc;
    std::vector<std::string> want;
  } cases[] = {
      {"smith", 53, 0, {"sm%", "cm%", "zm%", "xm%", "am%", "dm%", "smi%", "sni%", "mi%", "wsm%", "shm%", "psm%"}},
      {"smith", 52, FZM_ETOOLONG, {"sm%", "cm%", "zm%", "xm%", "am%", "dm%", "smi%", "sni%", "mi%", "wsm%", "shm%"}},
      {"house", 56, 0, {"ho%", "go%", "jo%", "hou%", "huu%", "heu%", "hau%", "hiu%", "hpu%", "ou%", "who%", "hho%"}},
      {"HOUSE", 56, 0, {"ho%", "go%", "jo%", "hou%", "huu%", "heu%", "hau%", "hiu%", "hpu%", "ou%", "who%", "hho%"}},
      {"house", 55, FZM_ETOOLONG, {"ho%", "go%", "jo%", "hou%", "huu%", "heu%", "hau%", "hiu%", "hpu%", "ou%", "who%"}},
      {"ho", 100, FZM_ESHORT, {}},
      {"", 100, FZM_ESHORT, {}},
  };
  for (const Case &c : cases) {
    int rc, n = -1;
    EXPECT_EQ(like(c.word, c.size, &rc, &n), c.want) << c.word;
    EXPECT_EQ(rc, c.rc) << c.word;
    if (rc == 0) EXPECT_EQ(n, static_cast<int>(c.want.size()));
    else EXPECT_EQ(n, -1) << "count written on failure";
  }
}

TEST_F(Fuzzy, PrefixRulesRewriteTheStart) {
  enum Where { Last, Among, Absent };
  struct Case {
    const char *word;
    const char *pattern;
    Where where;
  } cases[] = {{"fox", "pho%", Last},   {"phone", "fo%", Last}, {"philip", "fi%", Last},
               {"shaw", "cha%", Among}, {"shop", "cho%", Among}, {"nut", "knu%", Last},
               {"nut", "pnu%", Among},  {"sun", "psu%", Last},  {"house", "pho%", Absent}};
  for (const Case &c : cases) {
    int rc;
    std::vector<std::string> p = like(c.word, 200, &rc);
    ASSERT_EQ(rc, 0);
    bool found = std::find(p.begin(), p.end(), c.pattern) != p.end();
    if (c.where == Last) EXPECT_EQ(p.back(), c.pattern) << c.word;
    else EXPECT_EQ(found, c.where == Among) << c.word << " " << c.pattern;
  }
  int rc;
  std::string longword(100, 'q');
  EXPECT_FALSE(like(longword.c_str(), 200, &rc).empty());  // long words are cut, not refused
  EXPECT_EQ(rc, 0);
}

TEST(FuzzyText, MessagesAreAlwaysTerminated) {
  struct Case {
    int code;
    size_t size;
    int rc;
    const char *want;
  } cases[] = {
      {0, 100, 0, "No error occurred."},
      {-7, 200, 0, "Strings of less than three characters can not be used to generate LIKE forms."},
      {-4, 100, 0, "Insufficient memory is available to complete the function."},
      {-8, 100, -1, "No valid message for this error code."},
      {1, 100, -1, "No valid message for this error code."},
      {0, 5, 0, "No e"},
      {-3, 1, 0, ""},
  };
  for (const Case &c : cases) {
    char buf[256];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(fzmerrtext(c.code, buf, c.size), c.rc) << c.code;
    EXPECT_STREQ(buf, c.want) << c.code;
  }
  EXPECT_EQ(fzmerrtext(-5, nullptr, 0), 0);
}

TEST(FuzzyText, SplitPointsAtConsecutiveStrings) {
  const char block[] = "ab\0\0cde\0f";
  const char *arr[4];
  fzmsplit(block, arr, 4);
  EXPECT_STREQ(arr[0], "ab");
  EXPECT_STREQ(arr[1], "");
  EXPECT_STREQ(arr[2], "cde");
  EXPECT_STREQ(arr[3], "f");
}

TEST(FuzzyNew, AnyProfileNameGetsTheBuiltInModel) {
  rtctx *rt = rtstart("test", "lsf");
  rthpmgr *mgr = rthpmgrget(rt);
  rtheap *heap = rthpnew(mgr, rthptop(mgr), RTHP_STD, __FILE__, __LINE__);
  char name[300];
  std::memset(name, 'P', sizeof name);  // no terminator within 256 bytes
  int err = 1;
  fzmobj *m = fzmnew(mgr, heap, name, &err);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(std::strlen(m->name), 255u);
  const char *cands[] = {"smyth"}, *out[1];
  uint16_t sc[1];
  int n = 0;
  EXPECT_EQ(fzmmatch(m, "smith", 20, 1, cands, 1, out, sc, &n), 0);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(sc[0], 70);
  fzmfree(m);  // the static profile is not released (the sanitizer would say)
  EXPECT_EQ(rthpblocks(heap), 0u);
  rthpfailat(mgr, 1);
  EXPECT_EQ(fzmnew(mgr, heap, "DEFAULT", &err), nullptr);
  EXPECT_EQ(err, FZM_ENOOBJ);
  rtstop(rt);
}

}  // namespace
