// Keyed tables: bucket counts, chain order, bytes used, iteration with
// deletes, scans, the description, long keys and allocation failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "dr/dra/dra.h"
#include "dr/dru/dru.h"
#include "tests/fixtures/server/statefix.h"

namespace {

struct Table : statefix::State {
  druhtab *make(uint32_t buckets, uint32_t elsize, int keytype) {
    druhtab *t = nullptr;
    EXPECT_EQ(druhnew(st, st->seshp, buckets, elsize, keytype, &t), 0);
    return t;
  }
  void *ins(druhtab *t, uint32_t key) {
    void *e = nullptr;
    EXPECT_EQ(druhins(t, &key, 4, &e), 0);
    return e;
  }
  void *ins(druhtab *t, const char *key) {
    void *e = nullptr;
    EXPECT_EQ(druhins(t, key, static_cast<uint8_t>(std::strlen(key) + 1), &e), 0);
    return e;
  }
  // Keys in iteration order from a fresh start.
  std::vector<std::string> walk(druhtab *t) {
    std::vector<std::string> keys;
    void *e;
    while (druhnxt(t, &e) == 0) keys.push_back(keyname(t, e));
    return keys;
  }
  static std::string keyname(druhtab *t, void *e) {
    if (t->flags & DRUH_FINT) {
      uint32_t k;
      std::memcpy(&k, druhkey(t, e), 4);
      return std::to_string(k);
    }
    return static_cast<const char *>(druhkey(t, e));
  }
  int depth() { return rtmsgcnt(st->msg); }
};

// The public permutation, read independently of the table's own copy.
std::vector<int> pearson() {
  std::ifstream in(std::string(KES_SOURCE_DIR) + "/dr/dru/tests/fixtures/pearson-table.txt");
  std::vector<int> v;
  for (int x; in >> x;) v.push_back(x);
  return v;
}

unsigned bucket_of(const std::vector<int> &T, const std::string &s, unsigned n) {
  unsigned h = 0, l = 255;
  for (unsigned char c : s) {
    l = T[c ^ l];
    h = T[c ^ h];
  }
  return (h * 256 + l) % n;
}

TEST_F(Table, BucketCountIsTheNextPrime) {
  struct Case {
    uint32_t request;
    uint16_t buckets;
  } cases[] = {{0, 7},      {1, 7},       {7, 7},         {100, 109},     {107, 109},
               {109, 109},  {1000, 1049}, {49152, 50497}, {65521, 65521}, {65520, 65521}};
  for (const Case &c : cases) {
    EXPECT_EQ(druhprm(c.request), c.buckets) << c.request;
    druhtab *t = make(c.request, 4, DRUH_INTKEY);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->nbuckets, c.buckets) << c.request;
    EXPECT_EQ(druhfre(t), 0);
  }
  druhtab *t = reinterpret_cast<druhtab *>(1);
  EXPECT_EQ(druhnew(st, st->seshp, 65522, 4, DRUH_INTKEY, &t), 1);
  EXPECT_EQ(t, nullptr);
  EXPECT_EQ(depth(), 0);  // nothing pushed
  EXPECT_EQ(druhprm(65522), 0);
}

TEST_F(Table, IntegerChainsAreAscending) {
  druhtab *t = make(7, 8, DRUH_INTKEY);
  for (uint32_t k : {17u, 3u, 10u, 5u, 0u, 4000000000u}) ins(t, k);
  // 17, 3, 10 and 4000000000 share bucket 3: keys compare unsigned.
  EXPECT_EQ(walk(t), (std::vector<std::string>{"0", "3", "10", "17", "4000000000", "5"}));
  void *e = nullptr;
  uint32_t k = 10;
  EXPECT_EQ(druhget(t, &k, &e), 0);
  EXPECT_NE(e, nullptr);
  k = 24;  // same bucket, absent: the walk stops at the larger key
  EXPECT_EQ(druhget(t, &k, &e), 0);
  EXPECT_EQ(e, nullptr);
  druhfre(t);
}

TEST_F(Table, StringChainsKeepInsertionOrder) {
  std::vector<int> T = pearson();
  ASSERT_EQ(T.size(), 256u);
  EXPECT_EQ(T[0], 1);
  EXPECT_EQ(T[255], 209);
  const unsigned n = 7;
  druhtab *t = make(n, 4, DRUH_STRKEY);
  std::vector<std::string> words = {"policy", "token", "list",  "near", "equiv", "and",
                                    "minus",  "word",  "index", "stem", "fuzzy", "about"};
  std::vector<std::vector<std::string>> buckets(n);
  for (const std::string &w : words) {
    ins(t, w.c_str());
    buckets[bucket_of(T, w, n)].push_back(w);
  }
  std::vector<std::string> expected;
  size_t shared = 0;
  for (auto &b : buckets) {
    expected.insert(expected.end(), b.begin(), b.end());
    if (b.size() > 1) ++shared;
  }
  EXPECT_GT(shared, 0u);  // some bucket holds two keys, in insertion order
  EXPECT_EQ(walk(t), expected);
  EXPECT_EQ(t->maxkey, 7);  // "policy" with its terminator
  druhfre(t);
}

TEST_F(Table, PresentKeyKeepsItsElementAndFigures) {
  druhtab *t = make(109, 36, DRUH_STRKEY);
  EXPECT_EQ(t->used, 472);
  EXPECT_EQ(t->datasize, 36);
  EXPECT_EQ(t->stride, 40);
  auto *e = static_cast<unsigned char *>(ins(t, "abcde"));
  EXPECT_EQ(t->used, 472 + 46);
  for (int i = 0; i < 36; i++) EXPECT_EQ(e[i], 0) << i;  // fresh data is zero
  EXPECT_EQ(reinterpret_cast<uintptr_t>(e) % alignof(void *), 0u);
  std::memset(e, 0x5A, 36);
  EXPECT_EQ(ins(t, "abcde"), e);
  EXPECT_EQ(e[35], 0x5A);
  EXPECT_EQ(t->used, 472 + 46);
  EXPECT_STREQ(static_cast<const char *>(druhkey(t, e)), "abcde");
  EXPECT_EQ(druhdel(t, "abcde"), 0);  // deleting never lowers the figure
  EXPECT_EQ(t->used, 472 + 46);
  druhfre(t);

  druhtab *u = make(7, 34, DRUH_INTKEY);
  EXPECT_EQ(u->datasize, 36);
  EXPECT_EQ(u->stride, 40);
  EXPECT_EQ(u->maxkey, 4);
  EXPECT_EQ(u->used, 32 + 4 * 8);
  ins(u, 9u);
  EXPECT_EQ(u->used, 32 + 4 * 8 + 44);
  druhfre(u);
}

TEST_F(Table, GetAndDeleteOfAbsentKeys) {
  druhtab *t = make(7, 4, DRUH_STRKEY);
  ins(t, "alpha");
  ins(t, "beta");
  void *e = &e;
  EXPECT_EQ(druhget(t, "gamma", &e), 0);
  EXPECT_EQ(e, nullptr);
  EXPECT_EQ(druhdel(t, "gamma"), 0);
  EXPECT_EQ(druhdel(t, "alpha"), 0);
  EXPECT_EQ(druhget(t, "alpha", &e), 0);
  EXPECT_EQ(e, nullptr);
  EXPECT_EQ(walk(t), std::vector<std::string>{"beta"});
  EXPECT_EQ(depth(), 0);
  druhfre(t);
}

TEST_F(Table, IterationRestartsAfterItsEnd) {
  druhtab *t = make(7, 4, DRUH_INTKEY);
  ins(t, 1u);
  ins(t, 2u);
  void *a, *b, *c, *d;
  EXPECT_EQ(druhnxt(t, &a), 0);
  EXPECT_EQ(druhnxt(t, &b), 0);
  EXPECT_EQ(druhnxt(t, &c), 2);
  EXPECT_EQ(c, nullptr);
  EXPECT_EQ(druhnxt(t, &d), 0);
  EXPECT_EQ(d, a);
  druhfre(t);
  druhtab *empty = make(7, 4, DRUH_INTKEY);
  EXPECT_EQ(druhnxt(empty, &a), 2);
  druhfre(empty);
}

TEST_F(Table, DeletingTheCurrentElement) {
  // Bucket 3 holds 3, 10, 17; bucket 5 holds 5 alone; bucket 6 holds 6.
  struct Case {
    const char *what;
    int steps;                           // druhnxt calls before druhdlc
    std::vector<std::string> rest;       // what the iteration hands out next
  } cases[] = {
      {"middle of a chain: goes on with its successor", 2, {"17", "5", "6"}},
      {"first of a chain: starts again at bucket 0", 1, {"10", "17", "5", "6"}},
      {"only element of its bucket: starts again", 4, {"3", "10", "17", "6"}},
      {"last of a chain: next bucket", 3, {"5", "6"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    druhtab *t = make(7, 4, DRUH_INTKEY);
    for (uint32_t k : {17u, 3u, 10u, 5u, 6u}) ins(t, k);
    void *e;
    for (int i = 0; i < c.steps; i++) ASSERT_EQ(druhnxt(t, &e), 0);
    EXPECT_EQ(druhdlc(t), 0);
    EXPECT_EQ(walk(t), c.rest);
    druhfre(t);
  }
}

TEST_F(Table, DeletingTheCursorsKeyByNameIsSafe) {
  druhtab *t = make(7, 4, DRUH_INTKEY);
  for (uint32_t k : {3u, 10u, 17u}) ins(t, k);
  void *e;
  druhnxt(t, &e);
  druhnxt(t, &e);  // cursor on 10
  uint32_t k = 10;
  EXPECT_EQ(druhdel(t, &k), 0);
  EXPECT_EQ(walk(t), std::vector<std::string>{"17"});
  druhfre(t);
}

int prefix(const char *search, const char *key) {
  return std::strncmp(search, key, std::strlen(search)) == 0 ? 0x101 : 0x100;
}

TEST_F(Table, ScanGoesOnFromItsLastMatch) {
  druhtab *t = make(7, 4, DRUH_STRKEY);
  for (const char *w : {"index", "indexer", "query", "indent", "ink"}) ins(t, w);
  std::vector<std::string> found;
  const char *key;
  void *e;
  int rc;
  while ((rc = druhscn(t, "ind", prefix, &key, &e)) == 0) {
    EXPECT_EQ(key, druhkey(t, e));
    found.push_back(key);
  }
  EXPECT_EQ(rc, 2);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(e, nullptr);
  std::sort(found.begin(), found.end());
  // A result whose low byte is 0 (0x100) rejects "query" and "ink".
  EXPECT_EQ(found, (std::vector<std::string>{"indent", "index", "indexer"}));
  EXPECT_EQ(druhscn(t, "ind", prefix, &key, &e), 0);  // starts again after the end
  druhfre(t);

  druhtab *u = make(7, 4, DRUH_INTKEY);
  ins(u, 1u);
  EXPECT_EQ(druhnxt(u, &e), 0);
  EXPECT_EQ(druhscn(u, "x", prefix, &key, &e), 1);
  EXPECT_EQ(e, nullptr);
  EXPECT_EQ(u->cursor, nullptr);
  EXPECT_EQ(depth(), 0);
  druhfre(u);
}

TEST_F(Table, LongStringKeysAreRefused) {
  druhtab *t = make(7, 4, DRUH_STRKEY);
  std::string k254(254, 'k'), k255(255, 'k'), k300(300, 'k');
  void *e = &e;
  EXPECT_EQ(druhins(t, k254.c_str(), 255, &e), 0);
  EXPECT_EQ(t->maxkey, 255);
  EXPECT_EQ(druhins(t, k255.c_str(), 255, &e), 1);
  EXPECT_EQ(e, nullptr);
  EXPECT_TRUE(druefind(st, DRUH_EKEYLEN));
  drueclr(st);
  // 301 bytes taken as 8 bits would be 45: still refused, not cut.
  EXPECT_EQ(druhins(t, k300.c_str(), static_cast<uint8_t>(301), &e), 1);
  EXPECT_TRUE(druefind(st, DRUH_EKEYLEN));
  EXPECT_EQ(druhget(t, k300.c_str(), &e), 0);
  EXPECT_EQ(e, nullptr);
  // A length that leaves out the terminator still stores the whole key.
  EXPECT_EQ(druhins(t, "word", 4, &e), 0);
  EXPECT_STREQ(static_cast<const char *>(druhkey(t, e)), "word");
  void *again;
  EXPECT_EQ(druhget(t, "word", &again), 0);
  EXPECT_EQ(again, e);
  druhfre(t);
}

TEST_F(Table, AllocationFailuresPush10900) {
  druhtab *t = make(7, 4, DRUH_STRKEY);
  rthpfailat(st->hpmgr, 1);
  void *e = &e;
  EXPECT_EQ(druhins(t, "word", 5, &e), 1);
  rthpfailat(st->hpmgr, 0);
  EXPECT_EQ(e, nullptr);
  EXPECT_TRUE(druefind(st, 10900));
  EXPECT_EQ(walk(t), std::vector<std::string>{});
  druhfre(t);
  drueclr(st);
  for (long seam : {1L, 2L, 3L}) {  // sub-heap, record, bucket array
    druhtab *u = reinterpret_cast<druhtab *>(1);
    rthpfailat(st->hpmgr, seam);
    EXPECT_EQ(druhnew(st, st->seshp, 7, 4, DRUH_INTKEY, &u), 1) << seam;
    rthpfailat(st->hpmgr, 0);
    EXPECT_EQ(u, nullptr);
    EXPECT_TRUE(druefind(st, 10900)) << seam;
    drueclr(st);
  }
  EXPECT_EQ(druhnew(st, st->seshp, 7, 0xFFF9, DRUH_INTKEY, &t), 1);
  EXPECT_TRUE(druefind(st, DRUH_EELSIZE));
}

TEST_F(Table, DescriptionListsTheChains) {
  char tmpl[] = "/tmp/kes-druh-XXXXXX";
  int fd = mkstemp(tmpl);
  ASSERT_GE(fd, 0);
  close(fd);
  rtstream *out = nullptr;
  ASSERT_EQ(dracnfop(st, nullptr, 0, tmpl, 6, 0, 0, 0, 0, &out), 0);
  druhtab *t = make(7, 4, DRUH_INTKEY);
  for (uint32_t k : {17u, 3u, 10u, 5u}) ins(t, k);
  druhdmp(t, out);
  dracnfcl(st, out);
  std::ifstream in(tmpl);
  std::stringstream ss;
  ss << in.rdbuf();
  std::remove(tmpl);
  std::string text = std::regex_replace(ss.str(), std::regex("0x[0-9a-fA-Fx]+"), "ADDR");
  EXPECT_EQ(text,
            "Hash table ADDR\n"
            "Header:\n"
            "\tBuckets\tADDR\n"
            "\tSize\t7\n"
            "\tStride\t8\n"
            "\tKey type\t1\n"
            "\tServer\tADDR\n"
            "\tHeap\tADDR\n"
            "\n"
            "Index\tKey\tAddr\tData\n"
            "-----\t---\t----\t----\n"
            "3\t3\n"
            "5\t1\n"
            "---------------------------\n"
            "Total 4 entries.\n"
            "---------------------------\n");
  druhfre(t);
}

// Random inserts, deletes and iteration deletes against a map: the table
// keeps exactly the keys the map keeps, each element keeps its data, and a
// full iteration hands out every key once.
TEST_F(Table, AgreesWithAMapUnderRandomOperations) {
  for (int grows : {0, 1})
  for (int keytype : {DRUH_INTKEY, DRUH_STRKEY}) {
    SCOPED_TRACE(keytype);
    SCOPED_TRACE(grows);
    druhtab *t = make(7, 8, keytype);
    if (grows) druhauto(t);
    std::map<std::string, uint32_t> model;
    std::mt19937 rng(42);
    auto key_of = [&](uint32_t k) {
      return keytype == DRUH_INTKEY ? std::to_string(k) : "k" + std::to_string(k);
    };
    for (int step = 0; step < 4000; step++) {
      uint32_t k = rng() % 300;
      std::string name = key_of(k);
      const void *key = keytype == DRUH_INTKEY ? static_cast<const void *>(&k) : name.c_str();
      switch (rng() % 4) {
        case 0:
        case 1: {
          void *e;
          ASSERT_EQ(druhins(t, key, static_cast<uint8_t>(name.size() + 1), &e), 0);
          if (!model.count(name)) std::memcpy(e, &step, 4);
          model.emplace(name, static_cast<uint32_t>(step));
          break;
        }
        case 2:
          druhdel(t, key);
          model.erase(name);
          break;
        default: {  // a step of the iteration, sometimes deleting what it handed out
          void *e;
          if (druhnxt(t, &e) == 0 && rng() % 2) {
            model.erase(keyname(t, e));
            druhdlc(t);
          }
        }
      }
    }
    t->cursor = nullptr;  // a fresh walk from bucket 0
    std::multiset<std::string> seen;
    void *e;
    while (druhnxt(t, &e) == 0) {
      std::string name = keyname(t, e);
      seen.insert(name);
      ASSERT_TRUE(model.count(name)) << name;
      uint32_t data;
      std::memcpy(&data, e, 4);
      EXPECT_EQ(data, model[name]) << name;
    }
    EXPECT_EQ(seen.size(), model.size());
    for (auto &kv : model) EXPECT_EQ(seen.count(kv.first), 1u) << kv.first;
    druhfre(t);
  }
}

// A table that grows keeps every key and its data through each growth, past
// the 16-bit bucket counts too; integer chains stay ascending; and no growth
// happens while an iteration is under way.
TEST_F(Table, AGrowingTableKeepsEveryKey) {
  druhtab *s = make(7, 4, DRUH_STRKEY);
  druhauto(s);
  const uint32_t n = 300000;
  for (uint32_t i = 0; i < n; ++i) {
    std::string k = "term" + std::to_string(i);
    std::memcpy(ins(s, k.c_str()), &i, 4);
  }
  EXPECT_GT(s->nbuckets, static_cast<uint32_t>(DRUH_MAXBUCKETS));
  EXPECT_EQ(s->count, n);
  for (uint32_t i = 0; i < n; i += 7) {
    std::string k = "term" + std::to_string(i);
    void *e = nullptr;
    ASSERT_EQ(druhget(s, k.c_str(), &e), 0);
    ASSERT_NE(e, nullptr) << k;
    uint32_t v;
    std::memcpy(&v, e, 4);
    ASSERT_EQ(v, i);
  }
  EXPECT_EQ(walk(s).size(), n);
  druhfre(s);

  druhtab *t = make(7, 4, DRUH_INTKEY);
  druhauto(t);
  void *e;
  for (uint32_t k = 0; k < 10; ++k) ins(t, k * 1000);
  ASSERT_EQ(druhnxt(t, &e), 0);  // an iteration under way: no growth
  uint32_t before = t->nbuckets;
  for (uint32_t k = 10; k < 100; ++k) ins(t, k * 1000);
  EXPECT_EQ(t->nbuckets, before);
  t->cursor = nullptr;
  ins(t, 7u);
  EXPECT_GT(t->nbuckets, before);
  std::vector<std::string> keys = walk(t);
  EXPECT_EQ(keys.size(), 101u);
  for (uint32_t b = 0; b < t->nbuckets; ++b)
    for (druhelt *x = t->buckets[b]; x && x->next; x = x->next) {
      uint32_t a, c;
      std::memcpy(&a, reinterpret_cast<unsigned char *>(x + 1) + t->stride, 4);
      std::memcpy(&c, reinterpret_cast<unsigned char *>(x->next + 1) + t->stride, 4);
      EXPECT_LT(a, c);
    }
  druhfre(t);
}

}  // namespace
