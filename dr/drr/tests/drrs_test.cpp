// The writers that answer in the reply: the sorted writer's page and its
// paging contract (every hit comes exactly once over the pages, best scores
// first), early stops, eviction, score-0 hits; the fetch writer's window and
// resume id; the count writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "dr/drm/drm.h"
#include "dr/drr/drr.h"
#include "tests/fixtures/server/statefix.h"

namespace {

using Hit = std::pair<uint32_t, uint8_t>;  // document, score

std::string argof(const drmcmd &r, int n) {
  const drmslot &a = r.args[n - 1];
  return a.ind == -1 ? "<null>" : std::string(a.text, a.len);
}

// The entry text of hits, as the writers write it.
std::string entries(const std::vector<Hit> &hits) {
  std::string s;
  for (const Hit &h : hits) s += std::to_string(h.first) + (h.second % 100 < 10 ? "0" : "") +
                                 std::to_string(h.second % 100) + ":";
  return s;
}

struct ReplyWriters : statefix::State {
  drmcmd reply{};
  drobj *w = nullptr;

  void SetUp() override {
    statefix::State::SetUp();
    for (drmslot &a : reply.args) a.ind = -1;
  }
  void TearDown() override {
    if (w) drops<drrwrops>(w)->destroy(w);
    statefix::State::TearDown();
  }
  const drrwrops *ops() { return drops<drrwrops>(w); }
  void make(drobj *(*ctor)(drsrvstate *, drheap), int32_t a = 0, int32_t c = 0) {
    if (w) drops<drrwrops>(w)->destroy(w);
    for (drmslot &s : reply.args) s = drmslot{0, -1, 0, {}};
    w = ctor(st, st->seshp);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(ops()->open(w, &reply, a, 0, c, 1), 0);
  }
  // Feeds hits from floor on in the batches the writer asks for, as the
  // engine does, until the writer stops; the last result, then finishes.
  int feed(const std::vector<Hit> &hits, uint32_t floor = 0) {
    std::vector<uint32_t> ids;
    std::vector<uint8_t> scores;
    for (const Hit &h : hits)
      if (h.first >= floor) ids.push_back(h.first), scores.push_back(h.second);
    size_t b = static_cast<size_t>(ops()->batchsize(w));
    int rc = 0;
    for (size_t i = 0; i < ids.size() && rc == 0; i += b) {
      int32_t n = static_cast<int32_t>(std::min(b, ids.size() - i));
      rc = ops()->puthits(w, n, ids.data() + i, scores.data() + i);
    }
    EXPECT_EQ(ops()->finish(w), 0);
    return rc;
  }
  // The page in arguments 6 and 7.
  std::string page() {
    std::string p;
    for (int n : {6, 7})
      if (reply.args[n - 1].ind != -1) p += argof(reply, n);
    return p;
  }
};

std::vector<Hit> same(uint32_t first, uint32_t n, uint8_t score) {
  std::vector<Hit> v;
  for (uint32_t i = 0; i < n; ++i) v.push_back({first + i, score});
  return v;
}

TEST_F(ReplyWriters, SortedPagesOfOneScore) {
  std::vector<Hit> hits = same(1001, 300, 50);
  make(drrsnew, 100, 0);
  EXPECT_EQ(feed(hits), 0);
  EXPECT_EQ(page(), entries({hits.begin(), hits.begin() + 250}));
  EXPECT_EQ(argof(reply, 3), "1251");  // the first hit not held
  EXPECT_EQ(argof(reply, 4), "50");
  EXPECT_EQ(argof(reply, 5), "1251");  // the 250th id plus one
  // The next page: nothing above 50, nothing of 50 below the ceiling.
  std::vector<Hit> more = hits;
  more.push_back({1350, 70});
  std::sort(more.begin(), more.end());
  make(drrsnew, 50, 1251);
  EXPECT_EQ(feed(more, 1251), 0);
  EXPECT_EQ(page(), entries({hits.begin() + 250, hits.end()}));
  EXPECT_EQ(argof(reply, 3), "0");  // fewer than 250: nothing remains
  EXPECT_EQ(argof(reply, 4), "50");
  EXPECT_EQ(argof(reply, 5), "1301");
}

TEST_F(ReplyWriters, SortedEdgeCases) {
  struct Case {
    const char *what;
    std::vector<Hit> hits;
    int scl;
    int rc;
    std::string page, a3, a4, a5;
  } cases[] = {
      {"no hits", {}, 100, 0, "", "0", "0", "0"},
      {"100 as 00, 7 as 07", {{1234, 7}, {1235, 100}, {9, 0}}, 101, 0, "123500:123407:", "0", "7", "1235"},
      {"best scores first, ids ascending within one",
       {{5, 30}, {6, 90}, {7, 30}, {8, 90}}, 100, 0, "690:890:530:730:", "0", "30", "8"},
  };
  for (Case &c : cases) {
    std::sort(c.hits.begin(), c.hits.end());
    make(drrsnew, c.scl, 0);
    EXPECT_EQ(feed(c.hits), c.rc) << c.what;
    EXPECT_EQ(page(), c.page) << c.what;
    EXPECT_EQ(argof(reply, 3) + " " + argof(reply, 4) + " " + argof(reply, 5),
              c.a3 + " " + c.a4 + " " + c.a5)
        << c.what;
    if (c.page.empty()) EXPECT_EQ(argof(reply, 6), "<null>") << c.what;
  }
}

TEST_F(ReplyWriters, AFullPageAtTheScoreLimitStopsTheEvaluation) {
  std::vector<Hit> hits = same(1, 600, 40);
  make(drrsnew, 40, 0);
  EXPECT_EQ(feed(hits), 2);
  EXPECT_EQ(page(), entries({hits.begin(), hits.begin() + 250}));
  EXPECT_EQ(argof(reply, 3), "251");
}

TEST_F(ReplyWriters, ScoreZeroHitsTakeNoPlace) {
  std::vector<Hit> hits = same(1, 250, 0);
  for (Hit h : same(251, 10, 20)) hits.push_back(h);
  make(drrsnew, 100, 0);
  EXPECT_EQ(feed(hits), 0);
  EXPECT_EQ(page(), entries(same(251, 10, 20)));
  EXPECT_EQ(argof(reply, 3), "0");
}

// Every hit comes on exactly one page, whatever the scores: pages follow
// each other by the three values each returns.
TEST_F(ReplyWriters, PagingHandsOutEveryHitOnceBestFirst) {
  std::mt19937 rng(7);
  std::vector<Hit> hits;
  for (uint32_t d = 1; d <= 2000; ++d)
    if (rng() % 3) hits.push_back({d, static_cast<uint8_t>(1 + rng() % (d % 7 ? 100 : 3))});
  std::vector<Hit> want = hits;
  std::stable_sort(want.begin(), want.end(), [](const Hit &a, const Hit &b) { return a.second > b.second; });
  std::string all;
  uint32_t floor = 0, ceil = 0;
  int32_t scl = 100;
  // The first page admits a score equal to the limit from id 0 on.
  for (int pages = 0; pages < 20; ++pages) {
    make(drrsnew, scl, static_cast<int32_t>(ceil));
    feed(hits, floor);
    all += page();
    floor = static_cast<uint32_t>(std::stoul(argof(reply, 3)));
    scl = std::stoi(argof(reply, 4));
    ceil = static_cast<uint32_t>(std::stoul(argof(reply, 5)));
    if (floor == 0) break;
  }
  EXPECT_EQ(floor, 0u);
  EXPECT_EQ(all, entries(want));
}

TEST_F(ReplyWriters, FetchWritesTheFirst250AndWhereToGoOn) {
  std::vector<Hit> hits = same(70001, 300, 100);
  make(drrpnew);
  EXPECT_EQ(ops()->batchsize(w), DRR_PAGE);
  EXPECT_EQ(feed(hits), 2);
  EXPECT_EQ(page(), entries({hits.begin(), hits.begin() + 250}));
  EXPECT_EQ(argof(reply, 3), "70251");
  make(drrpnew);
  EXPECT_EQ(feed(hits, 70251), 0);
  EXPECT_EQ(page(), entries({hits.begin() + 250, hits.end()}));
  EXPECT_EQ(argof(reply, 3), "0");
  make(drrpnew);
  EXPECT_EQ(feed({}), 0);
  EXPECT_EQ(argof(reply, 3), "0");
  EXPECT_EQ(argof(reply, 6), "<null>");
}

TEST_F(ReplyWriters, CountAddsHitsByKeyAndByNumber) {
  make(drrnnew);
  EXPECT_EQ(ops()->batchsize(w), DRR_FEED);
  const char *keys[] = {"a", "b"};
  uint8_t scores[] = {10, 20};
  uint32_t ids[] = {1, 2};
  EXPECT_EQ(ops()->putrows(w, 2, keys, scores), 0);
  EXPECT_EQ(ops()->puthits(w, 1, ids, scores), 0);
  EXPECT_EQ(ops()->finish(w), 0);
  EXPECT_EQ(argof(reply, 3), "3");
}

}  // namespace
