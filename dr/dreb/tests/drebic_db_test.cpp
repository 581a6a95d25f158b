// Compaction of the token table against the private cluster, over a corpus
// indexed one flush per document so that frequent terms have many rows:
// every mode keeps each term's postings (less the dead documents in modes
// 4 and 5) ascending, unrepeated and in rows that do not overlap, with
// fewer rows; two servers share a run without merging a term twice; an
// interrupt keeps what was committed.
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "dr/dreb/tests/engfix.h"

namespace {

using engfix::doc;
using engfix::Doc;
using Postings = std::map<std::string, postfix::Posts>;

constexpr char kAlt[] = "t.dr_00042_i1t2";

// The terms whose postings differ, for a short failure message.
std::string diff(const Postings &got, const Postings &want) {
  std::string out;
  for (auto &[w, ps] : want) {
    auto g = got.find(w);
    if (g == got.end()) out += " missing " + w;
    else if (!(g->second == ps)) out += " differs " + w;
  }
  for (auto &[w, ps] : got)
    if (!want.count(w)) out += " extra " + w;
  return out;
}

struct Compact : engfix::Engine {
  Postings before;
  size_t rowsbefore = 0;
  int multi = 0;  // terms of more than one row

  void TearDown() override {
    unsetenv("VEK_TERM_BATCH");
    engfix::Engine::TearDown();
  }
  // Documents 1..n, indexed in runs of four (each run a flush of its own):
  // "all" in each, "half" in the even ones, "k<i % 7>", "z<i % 3>" and
  // "u<i>" once;
  // "gone" only in the documents that are retired later.
  void index(int n, const std::set<int> &retired = {}) {
    begin();
    std::vector<Doc> docs;
    for (int i = 1; i <= n; ++i) {
      std::string t = "all k" + std::to_string(i % 7) + " u" + std::to_string(i) + " z" + std::to_string(i % 3);
      if (i % 2 == 0) t += " half";
      if (retired.count(i)) t += " gone";
      docs.push_back(doc(std::to_string(i), t));
      if (docs.size() == 4 || i == n) {
        ASSERT_EQ(populate(docs, i <= 4 ? 'C' : 'M'), 0) << stack();
        docs.clear();
      }
    }
    ASSERT_EQ(ops()->endx(eng, 1, 'C'), 0) << stack();
    before = postings();
    std::map<std::string, int> per;
    for (auto &r : rows()) ++per[r.word];
    rowsbefore = rows().size();
    for (auto &[w, n] : per) multi += n > 1;
    ASSERT_GT(rowsbefore, before.size() + n / 4) << "the corpus must give terms many rows";
  }
  // Retires documents by key; their doc ids, ascending.
  std::set<uint32_t> retire(const std::set<int> &keys) {
    std::vector<std::string> k;
    for (int i : keys) k.push_back(std::to_string(i));
    std::vector<const char *> p;
    for (auto &s : k) p.push_back(s.c_str());
    std::set<uint32_t> ids;
    for (auto &s : k) ids.insert(std::stoul(text("select docid from t.dr_00042_ktb where textkey = '" + s + "'")));
    drobj *d = reinterpret_cast<drebobj *>(eng)->docids;
    EXPECT_EQ(drops<drdidops>(d)->retire(d, static_cast<int32_t>(p.size()), p.data()), 0) << stack();
    return ids;
  }
  // The postings before, less the dead documents; terms left without one
  // go.
  Postings without(const std::set<uint32_t> &dead) {
    Postings want;
    for (auto &[w, ps] : before)
      for (auto &p : ps)
        if (!dead.count(p.doc)) want[w].push_back(p);
    return want;
  }
  // Runs begin, optimise and end of one mode on one server.
  void optimise(int mode, int thold = 0) {
    ASSERT_EQ(ops()->bnox(eng, mode, 1), 0) << stack();
    ASSERT_EQ(ops()->optx(eng, mode, 1, 1, thold), 0) << stack();
    ASSERT_EQ(ops()->enox(eng, mode), 0) << stack();
  }
};

// Every mode on its own corpus: the postings that should be left, in fewer
// rows; the two-table modes fill and index the other table and leave the
// old one as it was; the lazy modes purge the dead ids.
struct Mode {
  int mode;
  const char *table;
  bool lazy;
  const char *logline;
};
struct Modes : Compact {
  void run(const Mode &c);
};

void Modes::run(const Mode &c) {
  std::set<int> retired = {3, 4, 5, 20, 21, 40};
  ASSERT_NO_FATAL_FAILURE(index(40, c.lazy ? retired : std::set<int>{}));
  std::set<uint32_t> dead;
  if (c.lazy) dead = retire(retired);
  auto old = rows();
  optimise(c.mode);
  Postings got = postings(c.table), want = without(dead);
  EXPECT_EQ(diff(got, want), "");
  if (c.lazy) {
    EXPECT_EQ(got.count("gone"), 0u);
  }
  size_t after = rows(c.table).size();
  EXPECT_LT(after, rowsbefore);
  // A term's rows merge into one: each row holds all of it.
  EXPECT_EQ(after, want.size());
  EXPECT_NE(log().find(c.logline), std::string::npos) << log();
  if (std::string(c.table) == kAlt) {
    EXPECT_EQ(rows().size(), old.size());
    EXPECT_EQ(text("select count(*) from pg_indexes where schemaname = 't' and tablename = 'dr_00042_i1t2'"),
              "1");
  }
  EXPECT_EQ(text("select count(*) from t.dr_00042_lst where ltype = 'D'"), "0");
}

TEST_F(Modes, InPlaceCompaction) { run({2, engfix::kI1t, false, "Terms compacted "}); }
TEST_F(Modes, TwoTableCompaction) { run({3, kAlt, false, "(SID=1): Terms compacted "}); }
TEST_F(Modes, TwoTableLazyDeletesCompaction) { run({4, kAlt, true, "(SID=1): Terms processed "}); }
TEST_F(Modes, InPlaceLazyDeletesCompaction) { run({5, engfix::kI1t, true, "(SID=1): Terms processed "}); }

// A narrow row width splits a term's merged lists: no merged row passes
// the width and the postings stay; in place each list goes to the row it
// starts from, whose key then stays unique.
TEST_F(Compact, ANarrowRowWidthGivesSeveralRowsPerTerm) {
  attr("ROW_LIST_WIDTH", "40");
  ASSERT_NO_FATAL_FAILURE(index(60));
  optimise(5);
  EXPECT_EQ(diff(postings(), before), "");
  size_t all = 0;
  for (auto &r : rows()) {
    if (r.word == "all") ++all;
    EXPECT_LE(r.size, 40u) << r.word;
  }
  EXPECT_GT(all, 1u);
  EXPECT_LT(all, 60u);
}

// Mode 2 takes only the terms the database picks: with a threshold bound
// as 50 a term of many small rows is merged; one row terms are not read.
TEST_F(Compact, InPlaceCompactionReadsOnlyTermsOfSeveralRows) {
  ASSERT_NO_FATAL_FAILURE(index(30));
  for (int thold : {0, 100}) {
    optimise(2, thold);
    EXPECT_EQ(diff(postings(), before), "");
  }
  std::vector<int> read = counts("rows used before = ");
  ASSERT_EQ(read.size(), 2u);
  // The first run reads the rows of the terms of several rows only; the
  // second finds nothing to do.
  EXPECT_EQ(read[0], static_cast<int>(rowsbefore - (before.size() - multi)));
  EXPECT_EQ(read[1], 0);
  EXPECT_EQ(rows().size(), before.size());
}

// Documents deleted while a run goes on (after its begin) are neither
// collected nor purged by it: their ids wait for the next run, which takes
// them out.
TEST_F(Compact, IdsDeletedDuringARunWaitForTheNext) {
  ASSERT_NO_FATAL_FAILURE(index(40, {3, 4, 20, 21}));
  std::set<uint32_t> early = retire({3, 4});
  ASSERT_EQ(ops()->bnox(eng, 5, 1), 0) << stack();
  std::set<uint32_t> late = retire({20, 21}), all = early;
  all.insert(late.begin(), late.end());
  ASSERT_EQ(ops()->optx(eng, 5, 1, 1, 0), 0) << stack();
  ASSERT_EQ(ops()->enox(eng, 5), 0) << stack();
  EXPECT_EQ(diff(postings(), without(early)), "");
  EXPECT_EQ(text("select sum(idcount) from t.dr_00042_lst where ltype = 'D'"), "2");
  optimise(5);
  EXPECT_EQ(diff(postings(), without(all)), "");
  EXPECT_EQ(postings().count("gone"), 0u);
  EXPECT_EQ(text("select count(*) from t.dr_00042_lst where ltype = 'D'"), "0");
}

// Two servers share a run: mode 2 by the hash of the words, modes 3 and
// 5 by the ranges assigned to each; every term is merged by one of them.
struct Servers : Compact {
  void run(int mode);
};

void Servers::run(int mode) {
  ASSERT_NO_FATAL_FAILURE(index(30));
  if (mode != 2) {
    pq->one("CREATE TABLE t.dr_00042_rdtopt (lowval varchar(64), highval varchar(64), status char(1),"
            " server integer)");
    pq->one("INSERT INTO t.dr_00042_rdtopt VALUES ('a', 'j', 'F', 1), ('k', 'k', 'F', 2),"
            " ('l', 'zzz', 'F', 2)");
  }
  ASSERT_EQ(ops()->bnox(eng, mode, 2), 0) << stack();
  for (int srv : {1, 2}) ASSERT_EQ(ops()->optx(eng, mode, 2, srv, 0), 0) << stack();
  ASSERT_EQ(ops()->enox(eng, mode), 0) << stack();
  std::vector<int> terms = counts(mode == 5 ? "Terms processed " : "Terms compacted ");
  int sum = 0;
  for (int t : terms) sum += t;
  const char *table = mode == 3 ? kAlt : engfix::kI1t;
  EXPECT_EQ(diff(postings(table), before), "");
  if (mode == 2) {
    EXPECT_EQ(sum, multi);
  } else {
    EXPECT_EQ(sum, static_cast<int>(before.size()));
    EXPECT_EQ(text("select count(*) from t.dr_00042_rdtopt where status <> 'C'"), "0");
  }
  EXPECT_EQ(rows(table).size(), before.size());
}

TEST_F(Servers, InPlaceCompaction) { run(2); }
TEST_F(Servers, TwoTableCompaction) { run(3); }
TEST_F(Servers, InPlaceLazyDeletesCompaction) { run(5); }

// An interrupt between batches (the check comes every 1024 rows read)
// ends the run with the batches committed so far: the table still answers
// every term, part of it merged. Here the check after 1024 rows comes
// among the u terms, before the z terms are merged.
TEST_F(Compact, AnInterruptKeepsTheCommittedBatches) {
  ASSERT_NO_FATAL_FAILURE(index(480));
  setenv("VEK_TERM_BATCH", "1", 1);
  static int calls;
  calls = 0;
  dreupoob = [](drsrvstate *) { return ++calls < 2 ? 0 : 4; };
  EXPECT_EQ(ops()->optx(eng, 5, 1, 1, 0), 1);
  dreupoob = nullptr;
  drueclr(st);
  EXPECT_EQ(diff(postings(), before), "");
  size_t now = rows().size();
  EXPECT_LT(now, rowsbefore);
  EXPECT_GT(now, before.size());
  // Run again to the end: the rest is merged.
  EXPECT_EQ(ops()->optx(eng, 5, 1, 1, 0), 0) << stack();
  EXPECT_EQ(diff(postings(), before), "");
  EXPECT_EQ(rows().size(), before.size());
}

}  // namespace
