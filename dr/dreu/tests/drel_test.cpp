// Posting-list codec: golden byte vectors written and read, random lists
// through pieces of two first sizes against an independent encoder and
// every reader, the big-list counter, the readers' edge cases, damaged
// lists and the writer's refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dr/dreu/dreu.h"
#include "tests/fixtures/engine/postings.h"
#include "tests/fixtures/server/statefix.h"

namespace {

using postfix::group;
using postfix::Post;
using postfix::Posts;
using Bytes = std::vector<uint8_t>;

std::string hex(const Bytes &b) {
  std::string s;
  char t[4];
  for (uint8_t x : b) {
    snprintf(t, sizeof t, "%s%02x", s.empty() ? "" : " ", x);
    s += t;
  }
  return s;
}

Bytes unhex(const char *s) {
  Bytes b;
  for (const char *p = s; *p;) {
    if (*p == ' ') {
      ++p;
      continue;
    }
    b.push_back(static_cast<uint8_t>(std::stoi(std::string(p, 2), nullptr, 16)));
    p += 2;
  }
  return b;
}

// An encoder written from the format's tables alone, nibble by nibble: the
// smallest code of the field whose data nibbles hold the value.
struct RefEnc {
  static constexpr uint8_t field[2][16] = {{0, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 4, 4},
                                           {0, 1, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 4, 4, 4}};
  static constexpr uint8_t data[2][16] = {{0, 1, 2, 3, 4, 5, 6, 8, 1, 2, 3, 8, 1, 2, 1, 2},
                                          {0, 1, 2, 3, 4, 8, 1, 2, 3, 8, 1, 2, 3, 1, 2, 3}};
  int kind;
  std::vector<uint8_t> nibs;
  void val(int f, uint32_t v) {
    int s = 1;
    while (s < 8 && (v >> (4 * s))) ++s;
    int c = 1;
    while (!(field[kind][c] == f && data[kind][c] >= s)) ++c;
    nibs.push_back(static_cast<uint8_t>(c));
    for (int i = 0; i < data[kind][c]; ++i) nibs.push_back((v >> (4 * i)) & 0xf);
  }
  Bytes list(const Posts &ps) {
    uint32_t doc = 0, pos = 0;
    for (const Post &p : ps) {
      if (p.doc != doc) {
        val(1, p.doc - doc);
        doc = p.doc;
        pos = 0;
      }
      val(2, p.pos - pos);
      pos = p.pos;
      for (uint16_t x : p.a) val(3, x);
      for (uint16_t x : p.b) val(4, x);
    }
    nibs.push_back(0);
    Bytes out((nibs.size() + 1) / 2, 0);
    for (size_t i = 0; i < nibs.size(); ++i) out[i / 2] |= nibs[i] << (4 * (i & 1));
    return out;
  }
};

// A stored list in a heap block of exactly its size, so that any read past
// it is caught.
struct Stored {
  std::unique_ptr<uint8_t[]> buf;
  uint32_t len;
  explicit Stored(const Bytes &b) : buf(new uint8_t[b.size() ? b.size() : 1]), len(static_cast<uint32_t>(b.size())) {
    if (!b.empty()) std::memcpy(buf.get(), b.data(), b.size());
  }
};

using postfix::decode;

struct Codec : statefix::State {
  drlstmgr *mgr = nullptr;
  drlwlist *lastlist = nullptr;  // the list of the last write, for counting its pieces
  void TearDown() override {
    if (mgr) mgr->ops.free(mgr);
    statefix::State::TearDown();
  }
  drlstmgr *fresh(uint16_t first) {
    if (mgr) mgr->ops.free(mgr);
    drlstreq req{};
    req.type = DRLST_LIGHT;
    req.first = first;
    mgr = nullptr;
    EXPECT_EQ(dreulnew(st, st->seshp, &req, &mgr), 0);
    return mgr;
  }
  int put(drelent *e, int kind, const Post &p) { return postfix::put(st, mgr, e, kind, p); }
  // Writes a list through a fresh manager and copies it out.
  Bytes write(int kind, const Posts &ps, uint16_t first = 0, uint32_t *firstdoc = nullptr,
              uint32_t *big = nullptr) {
    fresh(first);
    postfix::Written w = postfix::write(st, mgr, kind, ps);
    lastlist = w.list;
    if (firstdoc) *firstdoc = w.firstdoc;
    if (big) *big = w.big;
    return w.bytes;
  }
};

const Posts kFiveNine = {{5, 3, {}, {}}, {5, 7, {}, {}}, {9, 1, {}, {}}};

TEST_F(Codec, GoldenVectorsWriteAndReadBack) {
  struct Case {
    int kind;
    Posts posts;
    const char *bytes;
  } cases[] = {
      {0, kFiveNine, "51 38 48 41 18 00"},
      {1, kFiveNine, "51 36 46 41 16 00"},
      {0, {{291, 1, {}, {}}}, "33 12 18 00"},
      // "the cat and the dog", stop words the=1 and and=2
      {0, {{1, 2, {1}, {2, 1}}}, "11 28 1c 2e 1e 00"},  // cat
      {0, {{1, 5, {2, 1}, {}}}, "11 58 2c 1c 00"},       // dog
      {1, {{1, 2, {256}, {}}}, "11 26 0c 10 00"},
      {0, {{1, 0x12345, {}, {}}}, "11 5b 34 12 00 00"},
      {1, {{1, 0x12345, {}, {}}}, "11 59 34 12 00 00"},
      {0, {{0xffffffff, 0, {}, {}}}, "f7 ff ff ff 8f 00"},
      {0, {{1, 1, {255}, {}}}, "11 18 fd 0f"},  // the end code in a high half
      {1, {{1, 1, {}, {4095}}}, "11 16 ff ff 00"},
  };
  for (const Case &c : cases) {
    Bytes want = unhex(c.bytes);
    EXPECT_EQ(hex(RefEnc{c.kind, {}}.list(c.posts)), c.bytes) << "the table itself";
    for (uint16_t first : {12, 16}) {
      uint32_t fd = 0;
      EXPECT_EQ(hex(write(c.kind, c.posts, first, &fd)), c.bytes);
      EXPECT_EQ(fd, c.posts[0].doc);
    }
    Posts got;
    EXPECT_EQ(decode(c.kind, want, &got), 2) << c.bytes;
    EXPECT_EQ(got, c.posts) << c.bytes;
  }
}

// Postings with deltas of every width and groups up to the kind's limit.
Posts randomposts(uint32_t seed, int kind, int ndocs) {
  std::mt19937 rng(seed);
  auto wide = [&](uint32_t max) {
    uint32_t bits = rng() % 33;
    uint32_t v = bits == 32 ? rng() : rng() & ((uint32_t{1} << bits) - 1);
    return v % (max + 1);
  };
  uint32_t lim = kind ? DREL_GRPLIM1 : DREL_GRPLIM0;
  Posts ps;
  uint32_t doc = 0;
  for (int d = 0; d < ndocs; ++d) {
    uint32_t room = 0xffffffffu - doc;
    if (room == 0) break;
    uint32_t most = d % 50 == 0 ? 0x1fffffffu : 0xffffu;  // now and then 8 nibbles
    doc += 1 + wide(room - 1 < most ? room - 1 : most);
    uint32_t pos = 0;
    int nocc = 1 + static_cast<int>(rng() % 4);
    for (int o = 0; o < nocc; ++o) {
      pos += wide(0x0fffffffu);
      Post p{doc, pos, {}, {}};
      for (uint32_t i = rng() % 4; i; --i) p.a.push_back(static_cast<uint16_t>(wide(lim)));
      for (uint32_t i = rng() % 4; i; --i) p.b.push_back(static_cast<uint16_t>(wide(lim)));
      ps.push_back(p);
    }
  }
  return ps;
}

TEST_F(Codec, RandomListsRoundTripThroughPiecesAndEveryReader) {
  for (uint32_t seed : {1u, 2u, 3u, 4u, 5u}) {
    for (int kind : {0, 1}) {
      Posts ps = randomposts(seed * 7 + static_cast<uint32_t>(kind), kind, 400);
      Bytes want = RefEnc{kind, {}}.list(ps);
      for (uint16_t first : {12, 16}) {
        SCOPED_TRACE("seed " + std::to_string(seed) + " kind " + std::to_string(kind) +
                     " first " + std::to_string(first));
        uint32_t fd = 0;
        Bytes got = write(kind, ps, first, &fd);
        ASSERT_EQ(got.size(), want.size()) << "the byte count is the stored length";
        ASSERT_TRUE(got == want);
        EXPECT_EQ(fd, ps[0].doc);
      }
      Posts back;
      ASSERT_EQ(decode(kind, want, &back), 2);
      ASSERT_TRUE(back == ps);

      // drelgetdoc and drelgetsum against counts and sums of the postings;
      // drelseek to a target between documents lands on the next one.
      Stored s(want);
      drelent eg, es, ek;
      drelrdinit(&eg, s.buf.get(), s.len);
      drelrdinit(&es, s.buf.get(), s.len);
      drelrdinit(&ek, s.buf.get(), s.len);
      uint32_t prev = 0;
      for (size_t i = 0; i < ps.size();) {
        uint32_t doc = ps[i].doc, n = 0, sum = 0;
        for (; i < ps.size() && ps[i].doc == doc; ++i, ++n)
          for (uint16_t x : ps[i].b) sum += x;
        dreldoc d{}, u{};
        ASSERT_EQ(drelgetdoc(&eg, kind, &d, 0), 0);
        ASSERT_EQ(drelgetsum(&es, kind, &u, 0), 0);
        EXPECT_EQ(d.doc, doc);
        EXPECT_EQ(d.val, n);
        EXPECT_EQ(u.doc, doc);
        EXPECT_EQ(u.val, sum);
        if (n % 2) {  // some documents, sought by a target just above the one before
          uint32_t got = 0;
          ASSERT_EQ(drelseek(&ek, kind, &got, prev + 1), 0);
          EXPECT_EQ(got, doc);
        }
        prev = doc;
      }
      dreldoc d{1, 1};
      EXPECT_EQ(drelgetdoc(&eg, kind, &d, 0), 2);
      EXPECT_EQ(d.doc, 1u) << "untouched at the end";
    }
  }
}

TEST_F(Codec, ListsPastTheBigSizeCountEveryFurtherPiece) {
  // One document with enough occurrences for well over 32768 bytes.
  Posts ps;
  for (uint32_t i = 0; i < 30000; ++i) ps.push_back({3, 1 + i * 300, {}, {}});
  uint32_t big = 0;
  Bytes got = write(0, ps, 16, nullptr, &big);
  EXPECT_TRUE((got == RefEnc{0, {}}.list(ps)));
  ASSERT_GT(got.size(), 40000u);
  // Walk the written pieces: every piece that leaves the running byte count
  // above 32768 counts once.
  drlwlist *h = nullptr;
  ASSERT_EQ(mgr->ops.open(st, mgr, lastlist, DRLST_READ, &h), 0);
  uint32_t bytes = DREL_INLINE, want = 0;
  uint16_t size = 0;
  uint8_t *addr = nullptr;
  while (mgr->ops.piece(st, mgr, h, &size, &addr) == 0)
    if ((bytes += size) > DREL_BIGLIST) ++want;
  EXPECT_GT(want, 1u);
  EXPECT_EQ(big, want);
}

TEST_F(Codec, ReadersMoveAsTheirTargetsSay) {
  // Steps over (5: 3, 7) (9: 1) (12: 2, 4), kind 0.
  Posts ps = kFiveNine;
  ps.push_back({12, 2, {}, {}});
  ps.push_back({12, 4, {}, {}});
  Bytes list = RefEnc{0, {}}.list(ps);
  enum Op { SEEK, GETDOC, NEXTENT };
  struct Step {
    Op op;
    uint32_t target;
    int rc;
    uint32_t doc_or_pos, count;
  };
  struct Case {
    const char *what;
    std::vector<Step> steps;
  } cases[] = {
      {"target 0 twice gives the first and then the second document",
       {{SEEK, 0, 0, 5, 0}, {SEEK, 0, 0, 9, 0}, {SEEK, 0, 0, 12, 0}, {SEEK, 0, 2, 0, 0}}},
      {"a target skips documents below it",
       {{SEEK, 10, 0, 12, 0}, {SEEK, 0, 2, 0, 0}, {SEEK, 0, 2, 0, 0}}},
      {"getdoc counts occurrences and answers 2 past the last document",
       {{GETDOC, 0, 0, 5, 2}, {GETDOC, 6, 0, 9, 1}, {GETDOC, 0, 0, 12, 2}, {GETDOC, 0, 2, 0, 0}}},
      {"nextent below the first position gives the first, then 2 at the end",
       {{SEEK, 0, 0, 5, 0}, {NEXTENT, 1, 0, 3, 0}, {NEXTENT, 0, 0, 7, 0}, {NEXTENT, 0, 2, 0, 0},
        {NEXTENT, 0, 2, 0, 0}, {SEEK, 0, 0, 9, 0}}},
      {"nextent with a target passes over earlier occurrences",
       {{SEEK, 0, 0, 5, 0}, {NEXTENT, 5, 0, 7, 0}, {SEEK, 0, 0, 9, 0}, {NEXTENT, 2, 2, 0, 0}}},
  };
  for (const Case &c : cases) {
    Stored s(list);
    drelent e;
    drelrdinit(&e, s.buf.get(), s.len);
    for (size_t i = 0; i < c.steps.size(); ++i) {
      const Step &t = c.steps[i];
      SCOPED_TRACE(std::string(c.what) + ", step " + std::to_string(i));
      uint32_t doc = 0;
      dreldoc d{};
      drelocc occ{};
      int rc = t.op == SEEK     ? drelseek(&e, 0, &doc, t.target)
               : t.op == GETDOC ? drelgetdoc(&e, 0, &d, t.target)
                                : drelnextent(&e, 0, &occ, t.target);
      ASSERT_EQ(rc, t.rc);
      if (rc != 0) continue;
      uint32_t got = t.op == SEEK ? doc : t.op == GETDOC ? d.doc : occ.pos;
      EXPECT_EQ(got, t.doc_or_pos);
      if (t.op == GETDOC) {
        EXPECT_EQ(d.val, t.count);
      }
    }
  }
}

// Walks a list with every reader until each stops; the worst result seen.
int walk(int kind, const Bytes &b) {
  Stored s(b);
  drelent e1, e2, e3;
  drelrdinit(&e1, s.buf.get(), s.len);
  drelrdinit(&e2, s.buf.get(), s.len);
  drelrdinit(&e3, s.buf.get(), s.len);
  int worst = 2;
  Posts ignored;
  int rc = decode(kind, b, &ignored);
  if (rc == 1) worst = 1;
  dreldoc d{};
  while ((rc = drelgetdoc(&e1, kind, &d, 0)) == 0) {
  }
  if (rc == 1) worst = 1;
  while ((rc = drelgetsum(&e2, kind, &d, 0)) == 0) {
  }
  if (rc == 1) worst = 1;
  uint32_t doc = 0;
  while ((rc = drelseek(&e3, kind, &doc, doc + 2)) == 0) {
  }
  if (rc == 1) worst = 1;
  if (rc == 1) {
    EXPECT_EQ(drelseek(&e3, kind, &doc, 0), 1) << "a damaged list stays damaged";
  }
  return worst;
}

TEST_F(Codec, DamagedListsEndInFailureWithoutReadingPastTheirBytes) {
  const char *lists[][2] = {
      {"0", "51 38 48 41 18 00"}, {"1", "51 36 46 41 16 00"}, {"0", "11 28 1c 2e 1e 00"},
      {"0", "11 5b 34 12 00 00"}, {"1", "11 59 34 12 00 00"}, {"0", "f7 ff ff ff 8f 00"},
      {"1", "11 26 0c 10 00"},
  };
  for (auto &l : lists) {
    int kind = l[0][0] - '0';
    Bytes b = unhex(l[1]);
    EXPECT_EQ(walk(kind, b), 2) << l[1];
    // Every proper prefix lacks the end code.
    for (size_t n = 0; n < b.size(); ++n)
      EXPECT_EQ(walk(kind, Bytes(b.begin(), b.begin() + static_cast<long>(n))), 1)
          << l[1] << " cut to " << n;
    // Read with the other kind: whatever comes out, it stays inside.
    walk(1 - kind, b);
  }
  EXPECT_EQ(walk(0, unhex("07")), 1) << "a document delta with 8 nibbles in a 1-byte list";
  drelent e;
  uint8_t one = 0;
  drelrdinit(&e, &one, 1);
  uint32_t doc = 0;
  EXPECT_EQ(drelseek(&e, 2, &doc, 0), 1) << "no kind 2";
}

TEST_F(Codec, GroupCopiesStopAtTheArraySize) {
  // A stored group of 40 values, more than the writer ever writes.
  Post p{1, 1, std::vector<uint16_t>(40, 3), {7}};
  Bytes list = RefEnc{0, {}}.list({p});
  Stored s(list);
  drelent e;
  drelrdinit(&e, s.buf.get(), s.len);
  drelgroup ga{}, gb{};
  drelocc occ{99, 0, &ga, &gb};
  ASSERT_EQ(drelseek(&e, 0, nullptr, 0), 0);
  ASSERT_EQ(drelnextent(&e, 0, &occ, 0), 0);
  EXPECT_EQ(ga.count, static_cast<uint32_t>(DREL_GRPMAX));
  EXPECT_EQ(gb.count, 1u);
  EXPECT_EQ(gb.val[0], 7);
  EXPECT_EQ(occ.word, 99u) << "left alone";
  EXPECT_EQ(drelnextent(&e, 0, &occ, 0), 2);
}

TEST_F(Codec, TheWriterRefusesWhatItCannotWriteAndKeepsTheList) {
  struct Case {
    const char *what;
    int kind;
    Post post;
  } cases[] = {
      {"kind 0 group value 256", 0, {4, 2, {256}, {}}},
      {"kind 1 group value 4096", 1, {4, 2, {}, {4096}}},
      {"33 values in a group", 0, {4, 2, std::vector<uint16_t>(33, 1), {}}},
      {"a document going back", 0, {2, 1, {}, {}}},
      {"a position going back", 0, {3, 0, {}, {}}},
      {"kind 2", 2, {4, 2, {}, {}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    fresh(12);
    drelent e;
    drelinit(&e);
    int kind = c.kind == 2 ? 0 : c.kind;
    ASSERT_EQ(put(&e, kind, {3, 5, {}, {}}), 0);
    drelgroup ga{}, gb{};
    ga.count = static_cast<uint32_t>(c.post.a.size());
    for (size_t i = 0; i < c.post.a.size(); ++i) ga.val[i % DREL_GRPMAX] = c.post.a[i];
    gb = group(c.post.b);
    drelpost dp{c.post.doc, c.post.pos, &ga, &gb};
    EXPECT_EQ(drelputdoc(st, mgr, &e, c.kind, &dp, nullptr), 1);
    EXPECT_EQ(rtmsgnum(st->msg, 1), 50600);
    drueclr(st);
    // Nothing of the refused occurrence was written.
    ASSERT_EQ(put(&e, kind, {8, 1, {}, {}}), 0);
    ASSERT_EQ(drelputend(st, mgr, &e), 0);
    Bytes out(64);
    uint32_t n = 0, fd = 0;
    ASSERT_EQ(drelread(st, mgr, &e, kind, out.data(), 64, &n, &fd), 0);
    out.resize(n);
    EXPECT_EQ(hex(out), hex(RefEnc{kind, {}}.list({{3, 5, {}, {}}, {8, 1, {}, {}}})));
  }
  fresh(12);
  drelent e;
  drelinit(&e);
  drelpost zero{0, 1, nullptr, nullptr};
  EXPECT_EQ(drelputdoc(st, mgr, &e, 0, &zero, nullptr), 1) << "document 0";
}

TEST_F(Codec, CopyOutOfAnEmptyListAndIntoTooSmallABuffer) {
  uint32_t fd = 5;
  EXPECT_EQ(hex(write(0, {}, 12, &fd)), "00");
  EXPECT_EQ(fd, 0u);

  fresh(12);
  drelent e;
  drelinit(&e);
  for (uint32_t i = 1; i <= 20; ++i) ASSERT_EQ(put(&e, 0, {i, 1, {}, {}}), 0);
  ASSERT_EQ(drelputend(st, mgr, &e), 0);
  EXPECT_EQ(e.nbytes, 41u);
  uint8_t small[40];
  uint32_t n = 0;
  EXPECT_EQ(drelread(st, mgr, &e, 0, small, sizeof small, &n, &fd), 1);
  EXPECT_EQ(rtmsgnum(st->msg, 1), 50600);
}

TEST_F(Codec, ADamagedListIsReportedByItsCaller) {
  drelbad(st, "cat");
  char text[200];
  ASSERT_EQ(druetxt(st, 1, text, sizeof text), 0);
  EXPECT_NE(std::string(text).find("posting list of cat is damaged"), std::string::npos) << text;
}

}  // namespace
