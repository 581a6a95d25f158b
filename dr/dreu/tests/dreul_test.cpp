// List managers: refused requests, the piece-size sequence, reading a list
// back, reopening for appending, empty lists and lists whose pieces
// interleave across arena blocks.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "dr/dreu/dreu.h"
#include "tests/fixtures/server/statefix.h"

namespace {

struct ListManager : statefix::State {
  drlstmgr *make(uint16_t first = 0) {
    drlstreq req{};
    req.type = DRLST_LIGHT;
    req.first = first;
    drlstmgr *m = nullptr;
    EXPECT_EQ(dreulnew(st, st->seshp, &req, &m), 0);
    return m;
  }
  drlwlist *create(drlstmgr *m) {
    drlwlist *l = nullptr;
    EXPECT_EQ(m->ops.open(st, m, nullptr, DRLST_WRITE, &l), 0);
    return l;
  }
  // Writes n pieces; the size of each (link included) and its payload address.
  void write(drlstmgr *m, drlwlist *l, int n, std::vector<int> *sizes = nullptr,
             std::vector<uint8_t *> *addrs = nullptr) {
    for (int i = 0; i < n; ++i) {
      uint16_t size = 0;
      uint8_t *addr = nullptr;
      ASSERT_EQ(m->ops.piece(st, m, l, &size, &addr), 0);
      if (sizes) sizes->push_back(size + DREUL_LINK);
      if (addrs) addrs->push_back(addr);
    }
  }
  // Reads a list to its end: the sizes and payload addresses of its pieces.
  void read(drlstmgr *m, drlwlist *l, std::vector<int> *sizes, std::vector<uint8_t *> *addrs) {
    drlwlist *h = nullptr;
    ASSERT_EQ(m->ops.open(st, m, l, DRLST_READ, &h), 0);
    ASSERT_EQ(h, l);
    uint16_t size = 0;
    uint8_t *addr = nullptr;
    int rc;
    while ((rc = m->ops.piece(st, m, l, &size, &addr)) == 0) {
      sizes->push_back(size + DREUL_LINK);
      addrs->push_back(addr);
    }
    ASSERT_EQ(rc, 2);
    EXPECT_EQ(m->ops.piece(st, m, l, &size, &addr), 2) << "the end stays the end";
  }
};

TEST_F(ListManager, RefusesRequestsItCannotServe) {
  struct Case {
    bool null;
    uint16_t type, first;
  } cases[] = {
      {true, 0, 0},              // no request
      {false, DRLST_DEFAULT, 0}, // types without a constructor
      {false, DRLST_VIRTUAL, 0},
      {false, 7, 0},             // no such type
      {false, DRLST_LIGHT, 4},   // a first piece with no room past its link
      {false, DRLST_LIGHT, 4097} // larger than an arena block
  };
  for (const Case &c : cases) {
    drlstreq req{};
    req.type = c.type;
    req.first = c.first;
    drlstmgr *m = nullptr;
    EXPECT_EQ(dreulnew(st, st->seshp, c.null ? nullptr : &req, &m), 1) << c.type << " " << c.first;
    EXPECT_EQ(m, nullptr);
    EXPECT_EQ(rtmsgnum(st->msg, 1), DREUL_EREQ);
    drueclr(st);
  }
}

TEST_F(ListManager, PiecesGrowByEightUpTo1028AndReadBackTheSame) {
  struct Case {
    uint16_t first;  // request (0: default)
    int pieces;      // pieces written
    int k;           // piece looked at (1-based)
    int size;        // its size with the link
  } cases[] = {
      {0, 1, 1, 12},     // the default first piece
      {0, 4, 4, 36},     // payload 32
      {16, 2, 2, 24},    // the indexing driver's first size
      {0, 127, 127, 1020},
      {0, 130, 128, 1028},  // from the 128th piece on
      {0, 130, 130, 1028},
  };
  for (const Case &c : cases) {
    drlstmgr *m = make(c.first);
    ASSERT_NE(m, nullptr);
    drlwlist *l = create(m);
    std::vector<int> sizes, rsizes;
    std::vector<uint8_t *> addrs, raddrs;
    write(m, l, c.pieces, &sizes, &addrs);
    EXPECT_EQ(sizes[c.k - 1], c.size) << "first " << c.first << " piece " << c.k;
    read(m, l, &rsizes, &raddrs);
    EXPECT_EQ(rsizes, sizes);
    EXPECT_EQ(raddrs, addrs);
    auto *lw = reinterpret_cast<dreullw *>(m);
    EXPECT_EQ(lw->inuse, 4096u * static_cast<uint32_t>(lw->arena->nblocks));
    EXPECT_EQ(m->ops.free(m), 0);
  }
}

TEST_F(ListManager, ThreePiecesReadAsEightSixteenTwentyFourAndReopenGivesThirtySix) {
  drlstmgr *m = make();
  drlwlist *l = create(m);
  std::vector<uint8_t *> addrs;
  write(m, l, 3, nullptr, &addrs);
  std::vector<int> sizes;
  std::vector<uint8_t *> raddrs;
  read(m, l, &sizes, &raddrs);
  EXPECT_EQ(sizes, (std::vector<int>{12, 20, 28}));
  // The payload sits right after each piece's 4-byte link.
  EXPECT_EQ(l->first + 4, raddrs[0]);
  EXPECT_EQ(raddrs, addrs);

  drlwlist *h = nullptr;
  ASSERT_EQ(m->ops.open(st, m, l, DRLST_WRITE, &h), 0);
  std::vector<int> more;
  write(m, l, 1, &more);
  EXPECT_EQ(more[0], 36);
  m->ops.free(m);
}

TEST_F(ListManager, AnEmptyListReadsAsEndAndTheDefaultSlotsDoNothing) {
  drlstmgr *m = make();
  EXPECT_EQ(m->hd.type, DRLST_LIGHT);
  EXPECT_STREQ(m->hd.name, "Light-weight list");
  drlwlist *l = create(m);
  drlwlist *h = nullptr;
  EXPECT_EQ(m->ops.open(st, m, l, DRLST_READ, &h), 2);
  // The codec calls slots 1 and 4 around every list.
  EXPECT_EQ(m->ops.prep(st, m, 1, &h), 0);
  EXPECT_EQ(m->ops.done(st, m, l, &h), 0);
  EXPECT_EQ(m->ops.op2(st, m), 0);
  EXPECT_EQ(m->ops.op10(st, m), 0);
  m->ops.free(m);
}

TEST_F(ListManager, InterleavedListsKeepTheirOwnChainsAcrossBlocks) {
  drlstmgr *m = make();
  drlwlist *a = create(m), *b = create(m);
  std::vector<uint8_t *> pa, pb;
  for (int i = 0; i < 60; ++i) {  // far more than one 4096-byte block
    write(m, a, 1, nullptr, &pa);
    write(m, b, 1, nullptr, &pb);
    std::memset(pa.back(), 'a' + i % 26, 8);
    std::memset(pb.back(), 'A' + i % 26, 8);
  }
  EXPECT_GT(reinterpret_cast<dreullw *>(m)->arena->nblocks, 5);
  std::vector<int> sa, sb;
  std::vector<uint8_t *> ra, rb;
  read(m, a, &sa, &ra);
  read(m, b, &sb, &rb);
  ASSERT_EQ(ra, pa);
  ASSERT_EQ(rb, pb);
  for (int i = 0; i < 60; ++i) {
    EXPECT_EQ(ra[i][7], 'a' + i % 26);
    EXPECT_EQ(rb[i][7], 'A' + i % 26);
  }
  m->ops.free(m);
}

}  // namespace
