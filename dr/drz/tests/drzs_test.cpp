// The records of one rewrite: creation, release of every kind of record
// with the names it owns, and the marker's writer and reader.
#include <gtest/gtest.h>

#include <string>

#include "dr/drz/tests/drzfix.h"

namespace {

using drzfix::Raised;

struct Records : drzfix::Fixture {
  // A zero-filled record from the command heap, as the rewrite makes them.
  template <class T>
  T *rec() {
    return static_cast<T *>(
        rthpalloc(st->hpmgr, st->cmdhp, sizeof(T), RTHP_ZERO, __FILE__, __LINE__));
  }
  drzgtstr *name(const char *s) { return drzgtnewstr(st, s, static_cast<int32_t>(strlen(s)), 0); }
};

TEST_F(Records, FreeingReturnsEveryBlock) {
  size_t before = rthpblocks(st->cmdhp);
  char out[64];
  drzsstate *rs = drzsnew(st, "SCOTT", 12, 3, out, sizeof out, 0, 2);
  ASSERT_NE(rs->user, nullptr);
  EXPECT_EQ(std::string(rs->user->text), "SCOTT");
  EXPECT_EQ(rs->user->pos, 0);
  EXPECT_EQ(rs->sid, 12);
  EXPECT_EQ(rs->curid, 3);
  EXPECT_EQ(rs->textcap, 64);
  EXPECT_EQ(rs->keycount, 1);
  EXPECT_EQ(rs->tabkeys, 1);
  EXPECT_EQ(rs->textlen + rs->textpos, 0);
  EXPECT_EQ(rs->style, 2);
  EXPECT_EQ(rs->sharedtab[0], 0);

  // Two blocks, one with a table carrying two predicates, a handle and a
  // ROWID column; two binds. Names come from the readers, as in a rewrite.
  const char *t = exact("s.emp@l e ");
  drzgtstate *gt = nullptr;
  drzgtref *ref = nullptr;
  drzgtnm *c1 = nullptr, *c2 = nullptr, *c3 = nullptr;
  drzgtstate **gtp = &gt;
  drzgtref **refp = &ref;
  ASSERT_EQ(drzfix::guarded(st,
                            [&] {
                              *gtp = drzgtnew(st, nullptr, 0, t, 10);
                              drzgtnext(st, *gtp);
                              drzgttabref(st, *gtp, refp, DRZ_DB | 903);
                            }),
            Raised{});
  drzgtfree(st, &gt);
  for (drzgtnm **nm : {&c1, &c2, &c3}) {
    *nm = rec<drzgtnm>();
    (*nm)->column = name("TEXT");
    (*nm)->table = name("E");
  }
  auto *b0 = rec<drzsblk>(), *b1 = rec<drzsblk>();
  b1->id = 1;
  b1->outer = b0;
  b0->next = b1;
  rs->blocks = b0;
  rs->lastblock = b1;
  auto *tab = rec<drzstab>();
  tab->ref = ref;
  b0->tabs = b0->lasttab = tab;
  auto *p1 = rec<drzspred>(), *p2 = rec<drzspred>();
  p1->column = c1;
  p1->colname = name("TEXT");
  p1->tab = tab;
  p2->column = c2;
  p2->tab = tab;
  p1->next = p2;
  tab->preds = p1;
  tab->lastpred = p2;
  auto *h = rec<drzshdl>();
  h->column = c3;
  b0->handles = b0->lasthandle = h;
  auto *col = rec<drzscol>();
  col->table = name("E");
  col->column = name("ROWID");
  col->alias = name("R");
  b1->rowids = b1->lastrowid = col;
  auto *bd1 = rec<drzsbnd>(), *bd2 = rec<drzsbnd>();
  bd1->pos = 1;
  bd1->name = name("Q");
  bd2->pos = 2;
  bd2->name = name("R");
  bd1->next = bd2;
  rs->binds = bd1;
  rs->lastbind = bd2;
  p2->bind = bd1;  // not owned by the predicate

  drzsfree(st, &rs);
  EXPECT_EQ(rs, nullptr);
  EXPECT_EQ(rthpblocks(st->cmdhp), before);
  drzsfree(st, &rs);
}

TEST_F(Records, ScoreMarker) {
  char out[12];
  drzsstate *rs = drzsnew(st, "U", 0, 0, out, sizeof out, 0, 2);
  drzsstate *const r = rs;
  ASSERT_EQ(drzfix::guarded(st, [&] { drzmkwrite(st, r, 'S', 0, "7", 1); }), Raised{});
  EXPECT_EQ(rs->textlen, 11);
  EXPECT_EQ(std::string(out, 12), "%S011:000.7 ");
  // The blank is room the next text takes; without it the marker does not fit.
  rs->textlen = 1;
  EXPECT_EQ(drzfix::guarded(st, [&] { drzmkwrite(st, r, 'S', 0, "7", 1); }), Raised{11301});
  EXPECT_EQ(rs->textlen, 1);
  EXPECT_EQ(drzfix::guarded(st, [&] { drzmkwrite(st, r, 'S', 1000, "7", 1); }), Raised{11301});

  char big[40];
  drzsstate *rs2 = drzsnew(st, "U", 0, 0, big, sizeof big, 0, 2);
  drzsstate *const r2 = rs2;
  std::memcpy(big, "SELECT ", 7);
  rs2->textlen = 7;
  ASSERT_EQ(drzfix::guarded(st, [&] { drzmkwrite(st, r2, 'H', 3, "15", 2); }), Raised{});
  std::memcpy(big + rs2->textlen, "FROM", 4);
  rs2->textlen += 4;
  EXPECT_EQ(std::string(big, static_cast<size_t>(rs2->textlen)), "SELECT %H012:003.15FROM");
  drzmarker mk{};
  ASSERT_EQ(drzmkread(big, rs2->textlen, 7, &mk), 0);
  EXPECT_EQ(mk.letter, 'H');
  EXPECT_EQ(mk.len, 12);
  EXPECT_EQ(mk.block, 3);
  EXPECT_EQ(std::string(mk.word, static_cast<size_t>(mk.wordlen)), "15");
  drzsfree(st, &rs);
  drzsfree(st, &rs2);
}

TEST_F(Records, ReadingMarkers) {
  struct Case {
    std::string text;
    int pos;
    int rc;
    char letter;
    int block;
    const char *word;
  } cases[] = {
      {"%%", 0, 1, 0, 0, ""},
      {"'5%%'", 2, 1, 0, 0, ""},
      {"%S011:000.7", 0, 0, 'S', 0, "7"},
      {"%T010:002.", 0, 0, 'T', 2, ""},
      {"%S011:000.", 0, -1, 0, 0, ""},  // its length runs past the text
      {"%S011:000", 0, -1, 0, 0, ""},
      {"%S0x1:000.7", 0, -1, 0, 0, ""},
      {"%S009:000.7", 0, -1, 0, 0, ""},
      {"%S011;000.7", 0, -1, 0, 0, ""},
      {"%", 0, -1, 0, 0, ""},
      {"x", 0, -1, 0, 0, ""},
      {"%%", 2, -1, 0, 0, ""},
  };
  for (const Case &c : cases) {
    drzmarker mk{};
    const char *t = exact(c.text);
    EXPECT_EQ(drzmkread(t, static_cast<int32_t>(c.text.size()), c.pos, &mk), c.rc) << c.text;
    if (c.rc != 0) continue;
    EXPECT_EQ(mk.letter, c.letter) << c.text;
    EXPECT_EQ(mk.block, c.block) << c.text;
    EXPECT_EQ(std::string(mk.word, static_cast<size_t>(mk.wordlen)), c.word) << c.text;
  }
}

}  // namespace
