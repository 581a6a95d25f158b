// String arena: defaults, refusals, block filling, rewinds, raw items,
// strings longer than the largest item and allocation failures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "dr/dra/dra.h"
#include "dr/dru/dru.h"
#include "platform/nls/nls.h"
#include "tests/fixtures/server/statefix.h"

namespace {

struct Arena : statefix::State {
  char *block_start(drubbuf *b, int n) {  // first item byte of the n-th block
    void *blk = b->first;
    for (int i = 0; i < n; i++) blk = *static_cast<void **>(blk);
    return static_cast<char *>(blk) + sizeof(void *);
  }
};

TEST_F(Arena, DefaultsAndNoBlockUntilTheFirstString) {
  int user = 0;
  drubbuf *b = drubnew(st, st->seshp, 0, &user, 0);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->maxitem, 64u);
  EXPECT_EQ(b->blksize, 4096u);
  EXPECT_EQ(b->nblocks, 0);
  EXPECT_EQ(b->first, nullptr);
  EXPECT_EQ(b->user, &user);
  char *s = drubadd(b, "first");
  ASSERT_NE(s, nullptr);
  EXPECT_STREQ(s, "first");
  EXPECT_EQ(b->nblocks, 1);
  EXPECT_EQ(s, block_start(b, 0));
  EXPECT_EQ(drubfre(b), 0);
}

TEST_F(Arena, LargestItemAboveTheBlockSizeIsRefused) {
  struct Case {
    uint32_t item, block;
  } cases[] = {{1024, 1000}, {0, 32}};  // the default item of 64 counts too
  for (const Case &c : cases) {
    EXPECT_EQ(drubnew(st, st->seshp, c.item, nullptr, c.block), nullptr) << c.item;
    EXPECT_EQ(rtmsgnum(st->msg, 1), DRUB_EBLOCK);
    drueclr(st);
  }
  drubbuf *b = drubnew(st, st->seshp, 1000, nullptr, 1000);  // equal is fine
  ASSERT_NE(b, nullptr);
  drubfre(b);
}

TEST_F(Arena, StringsFillABlockWhileTheLargestItemFits) {
  drubbuf *b = drubnew(st, st->seshp, 64, nullptr, 4096);
  const std::string word(9, 'w');  // 10 bytes with the terminator
  char *prev = nullptr;
  int in_first = 0;
  for (;;) {
    size_t left = prev ? static_cast<size_t>(b->end - b->pos) : 4096;
    char *s = drubadd(b, word.c_str());
    ASSERT_NE(s, nullptr);
    if (b->nblocks == 2) {
      EXPECT_LT(left, 64u);  // moved on only when less than 64 bytes were left
      EXPECT_EQ(s, block_start(b, 1));
      break;
    }
    if (prev) {
      EXPECT_EQ(s, prev + 10);
    }
    prev = s;
    ++in_first;
  }
  EXPECT_EQ(in_first, (4096 - 64) / 10 + 1);
  EXPECT_STREQ(block_start(b, 0), word.c_str());
  drubfre(b);
}

TEST_F(Arena, RewindKeepsOrReleasesTheBlocks) {
  drubbuf *b = drubnew(st, st->seshp, 64, nullptr, 128);
  for (int i = 0; i < 10; i++) ASSERT_NE(drubadd(b, "0123456789012345678901234567890"), nullptr);
  int blocks = b->nblocks;
  EXPECT_GT(blocks, 2);
  char *first = block_start(b, 0);
  drubrst(b, 0);
  EXPECT_EQ(drubadd(b, "again"), first);
  EXPECT_EQ(b->nblocks, blocks);
  for (int i = 0; i < 10; i++) ASSERT_NE(drubadd(b, "0123456789012345678901234567890"), nullptr);
  EXPECT_EQ(b->nblocks, blocks);  // the old blocks are reused
  drubrst(b, 1);
  EXPECT_EQ(b->nblocks, 0);
  EXPECT_EQ(b->first, nullptr);
  ASSERT_NE(drubadd(b, "fresh"), nullptr);
  EXPECT_EQ(b->nblocks, 1);
  drubfra(b);
  EXPECT_EQ(b->first, nullptr);
  EXPECT_NE(drubadd(b, "after free"), nullptr);  // nothing points into freed blocks
  drubfre(b);
}

TEST_F(Arena, RawItemsAreAligned) {
  drubbuf *b = drubnew(st, st->seshp, 64, nullptr, 256);
  char *s = drubadd(b, "abcd");  // 5 bytes, starting on a multiple of 4
  ASSERT_EQ(reinterpret_cast<uintptr_t>(s) % 4, 0u);
  auto *r = static_cast<char *>(drubrsv(b, 12));
  EXPECT_EQ(r, s + 8);  // 3 bytes past the string's end
  EXPECT_EQ(b->last, r);
  EXPECT_EQ(b->pos, r + 12);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(r) % alignof(void *), 0u);
  // A record that no longer fits moves to the next block, at its start.
  auto *big = static_cast<char *>(drubrsv(b, 240));
  EXPECT_EQ(big, block_start(b, 1));
  EXPECT_EQ(b->nblocks, 2);
  EXPECT_EQ(drubrsv(b, 257), nullptr);  // larger than a block
  EXPECT_EQ(rtmsgcnt(st->msg), 0);
  EXPECT_NE(drubrsv(b, 256), nullptr);
  drubfre(b);
}

TEST_F(Arena, StringLongerThanTheLargestItemIsRefused) {
  drubbuf *b = drubnew(st, st->seshp, 16, nullptr, 32);
  std::string fits(15, 'f'), over(16, 'o');
  char *s = drubadd(b, fits.c_str());
  ASSERT_NE(s, nullptr);
  EXPECT_STREQ(s, fits.c_str());
  char *before = b->pos;
  EXPECT_EQ(drubadd(b, over.c_str()), nullptr);
  EXPECT_EQ(rtmsgnum(st->msg, 1), DRUB_EITEM);
  EXPECT_EQ(b->pos, before);  // nothing written
  EXPECT_EQ(b->nblocks, 1);
  drubfre(b);
}

TEST_F(Arena, AllocationFailurePushes10900) {
  drubbuf *b = drubnew(st, st->seshp, 0, nullptr, 0);
  rthpfailat(st->hpmgr, 1);
  EXPECT_EQ(drubadd(b, "x"), nullptr);
  rthpfailat(st->hpmgr, 0);
  EXPECT_TRUE(druefind(st, 10900));
  EXPECT_EQ(b->nblocks, 0);
  EXPECT_NE(drubadd(b, "x"), nullptr);
  drubfre(b);
  drueclr(st);
  rthpfailat(st->hpmgr, 1);
  EXPECT_EQ(drubnew(st, st->seshp, 0, nullptr, 0), nullptr);
  rthpfailat(st->hpmgr, 0);
  EXPECT_TRUE(druefind(st, 10900));
}

struct Utf8Arena : Arena {
  Utf8Arena() { nls = "AMERICAN_AMERICA.UTF8"; }
};

TEST_F(Utf8Arena, MultiByteStringsLandWhole) {
  ASSERT_EQ(dracncs(st)->id, NLS_UTF8);
  EXPECT_STREQ(st->csname, "UTF8");
  drubbuf *b = drubnew(st, st->seshp, 16, nullptr, 32);
  const char *word = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";  // three Kanji
  char *s = drubadd(b, word);
  ASSERT_NE(s, nullptr);
  EXPECT_STREQ(s, word);
  EXPECT_EQ(b->pos, s + 10);
  drubfre(b);
}

}  // namespace

