// The engine's query and highlight callbacks over scripted walks: batches
// mapped to keys, MAX_DOC kept as the best scores, the FIRST_DOC window over
// positions, the writer's batch size, the ceiling, deleted documents by key
// and by number, and occurrences handed on 1000 at a time.
#include <gtest/gtest.h>

#include <deque>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "dr/dras/drrhlops.h"
#include "dr/dras/drrwrops.h"
#include "dr/dreb/dreb.h"
#include "dr/dry/dry.h"

namespace {

// A doc-id manager whose keys slot maps id d to "K<d>" unless d is deleted;
// ids without a key are dropped and the scores move along with the keys.
struct Ids {
  drobjhd<drdidops> hd{};
  std::set<uint32_t> deleted;
  std::deque<std::string> store;  // keys handed out stay put
  int calls = 0;
  Ids() {
    hd.ops.keys = [](drobj *o, int32_t n, const int32_t *ids, int32_t *found, char **keys,
                     uint8_t *scores, const char *) {
      Ids *m = reinterpret_cast<Ids *>(o);
      ++m->calls;
      int32_t k = 0;
      for (int32_t i = 0; i < n; ++i) {
        if (m->deleted.count(static_cast<uint32_t>(ids[i]))) continue;
        m->store.push_back("K" + std::to_string(ids[i]));
        keys[k] = m->store.back().data();
        scores[k++] = scores[i];
      }
      *found = k;
      return 0;
    };
  }
};

// A result writer that records what it is handed.
struct Writer {
  drobjhd<drrwrops> hd{};
  int batch = 1000;
  std::vector<std::pair<std::string, int>> rows;   // key, score
  std::vector<std::pair<uint32_t, int>> hits;      // id, score
  std::vector<int32_t> sizes;                      // of each call
  static Writer *of(drobj *o) { return reinterpret_cast<Writer *>(o); }
  Writer() {
    hd.obj = {DRCLS_RESULT, 1, nullptr};
    hd.ops.batchsize = [](drobj *o) { return of(o)->batch; };
    hd.ops.putrows = [](drobj *o, int32_t n, const char *const *keys, const uint8_t *scores) {
      of(o)->sizes.push_back(n);
      for (int32_t i = 0; i < n; ++i) of(o)->rows.emplace_back(keys[i], scores[i]);
      return 0;
    };
    hd.ops.puthits = [](drobj *o, int32_t n, const uint32_t *ids, const uint8_t *scores) {
      of(o)->sizes.push_back(n);
      for (int32_t i = 0; i < n; ++i) of(o)->hits.emplace_back(ids[i], scores[i]);
      return 0;
    };
  }
  drobj *obj() { return &hd.obj; }
};

using Walk = std::vector<std::pair<uint32_t, uint32_t>>;

// Hits 1 .. n, all of one score, but for the ids given their own.
Walk hits(uint32_t n, uint32_t score, std::vector<std::pair<uint32_t, uint32_t>> special = {}) {
  Walk w;
  for (uint32_t d = 1; d <= n; ++d) {
    uint32_t s = score;
    for (auto &p : special)
      if (p.first == d) s = p.second;
    w.push_back({d, s});
  }
  return w;
}

// Runs a walk through a callback as the tree walk does: each hit, then
// (0, 0) unless the callback stopped; the number of hits the walk made.
size_t run(int (*cb)(void *, uint32_t, uint32_t), void *state, const Walk &walk) {
  size_t i = 0;
  for (; i < walk.size(); ++i) {
    int rc = cb(state, walk[i].first, walk[i].second);
    EXPECT_NE(rc, 1);
    if (rc == 2) return i + 1;
  }
  EXPECT_NE(cb(state, 0, 0), 1);
  return i;
}

std::vector<std::string> keys(const Writer &w) {
  std::vector<std::string> out;
  for (auto &r : w.rows) out.push_back(r.first);
  return out;
}

struct Query : ::testing::Test {
  Ids ids;
  Writer wr;
  drebqstate q{};
  void init(uint32_t ceiling = UINT32_MAX, int32_t maxdoc = 0, int32_t first = 0, int32_t last = 0) {
    q = drebqstate{};
    drebqinit(&q, &ids.hd.obj, wr.obj(), ceiling, nullptr, maxdoc, first, last);
  }
};

TEST_F(Query, MaxDocKeepsTheBestScoresBestFirst) {
  struct Case {
    const char *what;
    Walk walk;
    int32_t first, last;
    std::vector<std::string> want;
  } cases[] = {
      {"ten best of 2500", hits(2500, 10, {{7, 60}, {100, 95}, {901, 70}, {1500, 99}, {1501, 20},
                                           {2000, 80}, {2001, 81}, {2400, 30}, {2499, 40}, {2500, 50}, {3, 11}}),
       0, 0, {"K1500", "K100", "K2001", "K2000", "K901", "K7", "K2500", "K2499", "K2400", "K1501"}},
      {"all of one score: the lowest ids", hits(2500, 40), 0, 0, {}},
      {"ranks 3 to 5", hits(2500, 10, {{7, 60}, {100, 95}, {901, 70}, {1500, 99}, {2000, 80}}), 3, 5,
       {"K2000", "K901", "K7"}},
  };
  for (Case &c : cases) {
    wr = Writer{};
    init(UINT32_MAX, 10, c.first, c.last);
    std::vector<char *> heapkeys(10);
    std::vector<uint8_t> heapscores(10);
    q.hkeys = heapkeys.data();
    q.hscores = heapscores.data();
    run(drebqhit, &q, c.walk);
    if (c.want.empty()) {
      std::vector<std::string> k = keys(wr);
      std::set<std::string> got(k.begin(), k.end());
      std::set<std::string> low;
      for (int d = 1; d <= 10; ++d) low.insert("K" + std::to_string(d));
      EXPECT_EQ(got, low) << c.what;
    } else {
      EXPECT_EQ(keys(wr), c.want) << c.what;
    }
    // Nothing reaches the writer before the walk has ended.
    EXPECT_EQ(wr.sizes.size(), 1u) << c.what;
  }
}

TEST_F(Query, FirstDocIsAWindowOfPositions) {
  init(UINT32_MAX, 0, 1500, 1600);
  size_t walked = run(drebqhit, &q, hits(3000, 10));
  std::vector<std::string> want;
  for (int d = 1500; d <= 1600; ++d) want.push_back("K" + std::to_string(d));
  EXPECT_EQ(keys(wr), want);
  EXPECT_EQ(ids.calls, 3);    // the third batch only finds the window passed
  EXPECT_EQ(walked, 3000u);
  // Deleted documents are no positions.
  ids = Ids{};
  ids.deleted = {2, 4};
  wr = Writer{};
  init(UINT32_MAX, 0, 2, 3);
  run(drebqhit, &q, hits(10, 10));
  EXPECT_EQ(keys(wr), (std::vector<std::string>{"K3", "K5"}));
}

TEST_F(Query, TheWritersBatchSizeAndTheCeiling) {
  wr.batch = 200;
  init();
  run(drebqhit, &q, hits(1000, 10));
  EXPECT_EQ(wr.rows.size(), 1000u);
  for (int32_t n : wr.sizes) EXPECT_LE(n, 200);
  // A ceiling equal to a hit's id keeps that hit and stops the walk there.
  for (bool bynum : {false, true}) {
    wr = Writer{};
    init(500);
    size_t walked = run(bynum ? drebqhitid : drebqhit, &q, hits(1000, 10));
    EXPECT_EQ(walked, 500u) << bynum;
    EXPECT_EQ(bynum ? wr.hits.size() : wr.rows.size(), 500u) << bynum;
    EXPECT_EQ(bynum ? std::to_string(wr.hits.back().first) : wr.rows.back().first,
              bynum ? "500" : "K500");
  }
}

TEST_F(Query, DeletedDocumentsCountByNumberButNotByKey) {
  ids.deleted = {3, 4};
  init();
  run(drebqhit, &q, hits(6, 10));
  EXPECT_EQ(keys(wr), (std::vector<std::string>{"K1", "K2", "K5", "K6"}));
  wr = Writer{};
  init();
  run(drebqhitid, &q, hits(6, 10));
  EXPECT_EQ(wr.hits.size(), 6u);
}

// A highlight writer that records its calls.
struct HlWriter {
  drobjhd<drrhlops> hd{};
  std::vector<int32_t> sizes;
  std::vector<int32_t> offs, lens, strs;
  HlWriter() {
    hd.obj = {DRCLS_HIGHLIGHT, 1, nullptr};
    hd.ops.add = [](drobj *o, int32_t n, const int32_t *off, const int32_t *len, const int32_t *str) {
      HlWriter *w = reinterpret_cast<HlWriter *>(o);
      w->sizes.push_back(n);
      w->offs.insert(w->offs.end(), off, off + n);
      w->lens.insert(w->lens.end(), len, len + n);
      w->strs.insert(w->strs.end(), str, str + n);
      return 0;
    };
  }
};

TEST(Highlight, OccurrencesGoOnInSetsOf1000FromOne) {
  for (int n : {2500, 0}) {
    HlWriter w;
    drebhstate h{};
    h.writer = &w.hd.obj;
    for (int i = 0; i < n; ++i) {
      dryocc o{static_cast<uint32_t>(5 * i), static_cast<uint32_t>(i), 4, 100, nullptr};
      ASSERT_EQ(drebhlhit(&h, &o), 0);
    }
    ASSERT_EQ(drebhlhit(&h, nullptr), 0);
    std::vector<int32_t> want = {1000, 1000, 500};
    if (n == 0) want = {0};
    EXPECT_EQ(w.sizes, want);
    if (n) {
      EXPECT_EQ(w.offs.front(), 1);
      EXPECT_EQ(w.offs.back(), 5 * 2499 + 1);
      EXPECT_EQ(w.lens.back(), 4);
      EXPECT_EQ(w.strs.back(), 100);
    }
  }
}

}  // namespace
