// Column arrays without a database: the block's size and layout, the
// columns bound without a length array, and the requests that are refused.
#include <gtest/gtest.h>

#include <cstdint>

#include "dr/drz/tests/drzfix.h"

namespace {

using drzfix::Raised;

struct Arrays : drzfix::Fixture {
  Raised make(drzeset **set, int32_t rows, const drzecol *cols, int32_t ncols) {
    return drzfix::guarded(st, [&] { drzenew(st, set, rows, cols, ncols); });
  }
};

bool aligned(const void *p) { return reinterpret_cast<uintptr_t>(p) % 4 == 0; }

TEST_F(Arrays, OneBlockAlignedPerArray) {
  const drzecol cols[2] = {{":1", DRUO_CHAR, 30, 0}, {":2", DRUO_UNSIGNED, 2, 0}};
  size_t before = rthpbytes(st->cmdhp);
  drzeset *set = nullptr;
  ASSERT_EQ(make(&set, 16, cols, 2), Raised{});
  // (16 x 34 + 9) + (16 x 6 + 9) bytes of arrays, besides the set and its
  // six per-column arrays.
  size_t records =
      sizeof(drzeset) + 2 * (3 * sizeof(void *) + 2 * sizeof(int32_t) + sizeof(char *));
  EXPECT_EQ(rthpbytes(st->cmdhp) - before, records + 658);
  EXPECT_EQ(set->rows, 16);
  EXPECT_EQ(set->processed + set->filled, 0);
  const char *base = static_cast<const char *>(set->data);
  for (int c = 0; c < 2; c++) {
    EXPECT_EQ(set->names[c], cols[c].name);
    EXPECT_EQ(set->sizes[c], cols[c].size);
    EXPECT_EQ(set->types[c], cols[c].type);
    for (const void *p :
         {static_cast<const void *>(set->values[c]), static_cast<const void *>(set->lens[c]),
          static_cast<const void *>(set->inds[c])})
      EXPECT_TRUE(aligned(p)) << c;
    // The arrays follow one another inside the block without overlapping.
    EXPECT_GE(reinterpret_cast<const char *>(set->lens[c]), set->values[c] + 16 * set->sizes[c]);
    EXPECT_GE(reinterpret_cast<const char *>(set->inds[c]),
              reinterpret_cast<const char *>(set->lens[c] + 16));
    EXPECT_LE(reinterpret_cast<const char *>(set->inds[c] + 16), base + 658);
  }
  EXPECT_GE(set->values[1], reinterpret_cast<const char *>(set->inds[0] + 16));
  drzefree(st, &set);
  EXPECT_EQ(set, nullptr);
  EXPECT_EQ(rthpbytes(st->cmdhp), before);
  EXPECT_EQ(drzefree(st, &set), 0);
}

TEST_F(Arrays, RefusedRequests) {
  struct Case {
    int32_t rows;
    drzecol col;
    bool ok;
  } cases[] = {
      {1, {":a", DRUO_STRING, 1, 0}, true},
      {0, {":a", DRUO_STRING, 1, 0}, false},
      {-5, {":a", DRUO_STRING, 1, 0}, false},
      {4, {":a", DRUO_STRING, 0, 0}, false},
      {4, {":a", DRUO_STRING, -1, 0}, false},
      {4, {":a", DRUO_STRING, -1, DRZE_NOLEN}, false},
      {4, {":a", DRUO_STRING, 65535, 0}, true},
      {4, {":a", DRUO_STRING, 65536, 0}, false},
      {1, {":t", DRUO_LONGVARRAW, 65539, DRZE_NOLEN}, true},
      {0x7fffffff, {":a", DRUO_STRING, 0x7fffffff, DRZE_NOLEN}, false},
      {0x10000, {":a", DRUO_STRING, 0x8000, 0}, false},
  };
  for (const Case &c : cases) {
    drzeset *set = nullptr;
    Raised r = make(&set, c.rows, &c.col, 1);
    EXPECT_EQ(r.num, c.ok ? 0 : 50100) << c.rows << " " << c.col.size;
    if (c.ok) {
      EXPECT_EQ(set->lens[0] == nullptr, (c.col.flags & DRZE_NOLEN) != 0);
      drzefree(st, &set);
    } else {
      EXPECT_EQ(set, nullptr);
    }
  }
  drzeset *set = nullptr;
  EXPECT_EQ(make(&set, 4, nullptr, 0).num, 50100);
  // Memory that cannot be had is 10900.
  const drzecol one = {":a", DRUO_STRING, 8, 0};
  rthpfailat(st->hpmgr, 1);
  EXPECT_EQ(make(&set, 1, &one, 1), Raised{10900});
  rthpfailat(st->hpmgr, 0);
}

}  // namespace
