// The word list of policy 42 over a database of the test's own: its
// attributes and their ranges, the modes it is opened in, the word table's
// growth by batches of new words, the expansions by kind, the neighbour
// listing and its providers.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dr/dreb/drebe.h"
#include "dr/dreb/tests/idfix.h"
#include "dr/drg/drga.h"
#include "dr/drl/drla.h"
#include "dr/drs/drsx.h"
#include "dr/dru/drub.h"
#include "dr/drwa/drwa.h"
#include "dr/drws/drws.h"
#include "linguistics/stemmer/stem.h"

namespace {

struct Words : idfix::Ids {
  drobj *wl = nullptr;
  drasmreg saved{};

  void SetUp() override {
    // The policy's components, as the server registers them.
    saved = drasmtab;
    drasmtab.ds[1].fn = drsdirnew;
    drasmtab.fil[1].fn = drganew;
    drasmtab.lex[1].fn = drlanew;
    drasmtab.sl[1].fn = drwsanew;
    drasmtab.eng[1].fn = drebnew;
    drasmtab.wl[1].fn = drwanew;
    nls = "AMERICAN_AMERICA.WE8ISO8859P1";
    idfix::Ids::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    pq->one("CREATE TABLE t.docs (id integer PRIMARY KEY, body text)");
    pq->one("INSERT INTO dr$preference (pre_id, pre_name, pre_cla_id, pre_obj_id)"
            " VALUES (5042, 'WORDS42', 5, 1)");
    pq->one("INSERT INTO dr$policy_preference VALUES (42, 5, 5042)");
  }
  void TearDown() override {
    drdmpol *p = st ? drqpol(st, idfix::kPol) : nullptr;
    if (p) drasmrel(st, p);
    idfix::Ids::TearDown();
    drasmtab = saved;
  }
  void attr(const std::string &name, const std::string &value) {
    pq->one("INSERT INTO dr$preference_attribute VALUES (5042, $1, $2, 1)", {name, value});
  }
  // Builds the policy's word list; null after a failure.
  drobj *build() {
    drdmpol *p = drqpol(st, idfix::kPol);
    if (!p || drasmobj(st, st->seshp, p, DRCLS_WORDLIST) != 0) return nullptr;
    return wl = p->comp[DRCLS_WORDLIST - 1].obj;
  }
  drwaobj *w() { return reinterpret_cast<drwaobj *>(wl); }
  const drwlops *ops() { return drops<drwlops>(wl); }
  // The message numbers on the stack, in order.
  std::vector<int> msgs() {
    std::vector<int> v;
    for (int i = 1; i <= rtmsgcnt(st->msg); ++i) v.push_back(rtmsgnum(st->msg, i));
    return v;
  }
  // A word table with the words given (the switch on, opened for a batch).
  void table(const std::vector<std::string> &have, int groups = 3) {
    attr("WORD_TABLE", "1");
    if (groups != 3) attr("GROUPS", std::to_string(groups));
    ASSERT_NE(build(), nullptr) << stack();
    ASSERT_EQ(ops()->open(wl, 0, 5), 0) << stack();
    for (const std::string &s : have)
      sql("INSERT INTO t.dr_00042_i1w (word, group1) VALUES ('" + s + "', soundex('" + s + "'))");
    commit();
  }
  // The token table the wildcards and the fuzzy provider read.
  void tokens(const std::vector<std::string> &have) {
    std::string t = w()->attr.ttab;
    sql("CREATE TABLE IF NOT EXISTS " + t + " (word_text varchar(64) COLLATE \"C\")");
    for (const std::string &s : have) sql("INSERT INTO " + t + " VALUES ('" + s + "')");
    commit();
  }
  // One expansion as runs of words.
  std::vector<std::vector<std::string>> expand(const std::vector<std::string> &in, int kind,
                                               int *rc) {
    std::vector<const char *> p;
    for (const std::string &s : in) p.push_back(s.c_str());
    char **out = nullptr;
    testing::internal::CaptureStdout();
    *rc = ops()->exp(wl, p.data(), static_cast<int32_t>(p.size()), kind, nullptr, &out);
    testing::internal::GetCapturedStdout();
    std::vector<std::vector<std::string>> runs;
    for (size_t i = 0; *rc == 0 && i < in.size(); ++i, ++out) {
      runs.emplace_back();
      for (; *out; ++out) runs.back().push_back(*out);
      std::sort(runs.back().begin() + 1, runs.back().end());
    }
    return runs;
  }
  std::string count(const char *where = "true") {
    return text(std::string("select count(*) from t.dr_00042_i1w where ") + where);
  }
};

using Runs = std::vector<std::vector<std::string>>;

TEST_F(Words, AttributesAreBroughtIntoTheirRanges) {
  struct Case {
    const char *name, *value;
    int32_t drwaattr::*field;
    int32_t stored;
    bool reported;
  } cases[] = {
      {"MAX_WORD_LENGTH", "100", &drwaattr::maxlen, 64, true},
      {"MAX_WORD_LENGTH", "64", &drwaattr::maxlen, 64, false},
      {"MAX_WORD_LENGTH", "2", &drwaattr::maxlen, 6, true},
      {"GROUPS", "11", &drwaattr::groups, 10, true},
      {"FUZZY_MODE", "2", &drwaattr::fuzzmode, 2, false},
  };
  for (const Case &k : cases) {
    pq->one("DELETE FROM dr$preference_attribute WHERE pat_pre_id = 5042");
    attr(k.name, k.value);
    ASSERT_EQ(drdmfre(st), 0);
    ASSERT_EQ(drdmini(st), 0) << stack();
    drueclr(st);
    ASSERT_NE(build(), nullptr) << k.name << stack();
    EXPECT_EQ(w()->attr.*k.field, k.stored) << k.name << "=" << k.value;
    EXPECT_EQ(msgs(), k.reported ? std::vector<int>({10704, 10705}) : std::vector<int>{})
        << k.name << "=" << k.value << stack();
    if (k.reported) {
      EXPECT_NE(stack().find(std::string("Word List attribute ") + k.name), std::string::npos);
    }
    drasmrel(st, drqpol(st, idfix::kPol));
  }
  // The switch is one byte: 5 keeps the table, with a report.
  pq->one("DELETE FROM dr$preference_attribute WHERE pat_pre_id = 5042");
  attr("WORD_TABLE", "5");
  ASSERT_EQ(drdmfre(st), 0);
  ASSERT_EQ(drdmini(st), 0) << stack();
  drueclr(st);
  ASSERT_NE(build(), nullptr) << stack();
  EXPECT_EQ(w()->attr.table, 1);
  EXPECT_EQ(msgs(), std::vector<int>({10704, 10705}));
}

TEST_F(Words, ANameTooLongIsRefused) {
  attr("TABLE_CLAUSE", std::string(150, 'x'));
  testing::internal::CaptureStdout();
  EXPECT_EQ(build(), nullptr);
  testing::internal::GetCapturedStdout();
  EXPECT_NE(stack().find("DRG-10706"), std::string::npos) << stack();
  EXPECT_NE(stack().find("DRG-51001"), std::string::npos) << stack();
}

TEST_F(Words, WithoutTheTableNoStatementRuns) {
  ASSERT_NE(build(), nullptr) << stack();
  std::string before = lowlog();
  for (int mode : {1, 2, 0, 5, 4}) EXPECT_EQ(ops()->open(wl, 0, mode), 0) << mode << stack();
  EXPECT_EQ(lowlog(), before);
  ASSERT_EQ(ops()->open(wl, 0, 5), 0);
  EXPECT_EQ(ops()->mode, 0);  // the indexer passes no words
  EXPECT_EQ(objects(), "docs,docs_pkey");
  int rc = 0;
  expand({"BOAT"}, DRWA_SOUNDEX, &rc);
  EXPECT_EQ(rc, 7);
  EXPECT_EQ(msgs(), std::vector<int>({DRWA_ENOTAB}));
}

TEST_F(Words, OpenModesMakeCheckAndDropTheTable) {
  attr("WORD_TABLE", "1");
  ASSERT_NE(build(), nullptr) << stack();
  // Closing a word list never opened fails.
  EXPECT_EQ(ops()->close(wl, 1), 1);
  EXPECT_EQ(msgs(), std::vector<int>({DRWA_ENOTOPEN}));
  drueclr(st);
  // A query open finds no group index and makes the table with its indexes.
  ASSERT_EQ(ops()->open(wl, 0, 0), 0) << stack();
  EXPECT_EQ(objects(), "docs,docs_pkey,dr_00042_i1w,dr_00042_i1w_pkey,dr_42_grp_1_i1i,"
                       "dr_42_grp_2_i1i,dr_42_grp_3_i1i");
  std::string before = lowlog();
  ASSERT_EQ(ops()->open(wl, 0, 0), 0) << stack();
  EXPECT_EQ(lowlog(), before);  // opened: nothing more
  // Making again what exists is no error.
  EXPECT_EQ(drwaomake(w()), 0) << stack();
  EXPECT_EQ(ops()->close(wl, 1), 0);
  // Work areas in use are released before the table goes.
  ASSERT_EQ(ops()->open(wl, 0, 5), 0) << stack();
  const char *one[] = {"NEW"};
  ASSERT_EQ(ops()->add(wl, one, 1), 0) << stack();
  ASSERT_NE(w()->iw, nullptr);
  ASSERT_EQ(ops()->open(wl, 0, 4), 0) << stack();
  EXPECT_EQ(w()->iw, nullptr);
  EXPECT_EQ(w()->opened, 0);
  EXPECT_EQ(objects(), "docs,docs_pkey");
  // Dropping what is gone is no error either.
  EXPECT_EQ(drwaodroptab(w()), 0) << stack();
}

TEST_F(Words, NewWordsAreAddedOnceWithTheirCodes) {
  table({"BOAT", "RIVER"});
  struct Case {
    const char *what;
    std::vector<std::string> words;
    std::string added;  // count of rows after
    int probes, flushes;
  } cases[] = {
      {"all known", {"RIVER", "BOAT", "RIVER"}, "2", 1, 0},
      {"one thrice, one once", {"SAIL", "NORTH", "SAIL", "SAIL"}, "4", 1, 1},
  };
  for (const Case &k : cases) {
    std::vector<const char *> p;
    for (const std::string &s : k.words) p.push_back(s.c_str());
    p.push_back(nullptr);  // passed over
    int probes = w()->iw ? w()->iw->probes : 0, flushes = w()->iw ? w()->iw->flushes : 0;
    ASSERT_EQ(ops()->add(wl, p.data(), static_cast<int32_t>(p.size())), 0) << k.what << stack();
    EXPECT_EQ(count(), k.added) << k.what;
    EXPECT_EQ(w()->iw->probes - probes, k.probes) << k.what;
    EXPECT_EQ(w()->iw->flushes - flushes, k.flushes) << k.what;
  }
  EXPECT_EQ(text("select string_agg(word || '=' || group1, ' ' order by word) from t.dr_00042_i1w"),
            "BOAT=B300 NORTH=N630 RIVER=R160 SAIL=S400");
  // 41 words take two probes; 513 two flushes.
  for (int n : {41, 513}) {
    std::vector<std::string> many;
    for (int i = 0; i < n; ++i) many.push_back("W" + std::to_string(n) + "X" + std::to_string(i));
    std::vector<const char *> p;
    for (const std::string &s : many) p.push_back(s.c_str());
    int probes = w()->iw->probes, flushes = w()->iw->flushes;
    ASSERT_EQ(ops()->add(wl, p.data(), n), 0) << stack();
    EXPECT_EQ(w()->iw->probes - probes, (n + 39) / 40) << n;
    EXPECT_EQ(w()->iw->flushes - flushes, (n + 511) / 512) << n;
  }
  EXPECT_EQ(count(), std::to_string(4 + 41 + 513));
  // A word longer than the table keeps is cut.
  std::string longword(70, 'L');
  const char *lw[] = {longword.c_str()};
  ASSERT_EQ(ops()->add(wl, lw, 1), 0) << stack();
  EXPECT_EQ(count("word = repeat('L', 64)"), "1");
}

TEST_F(Words, BadBatchesFail) {
  table({});
  const char *empty[] = {"A", ""};
  testing::internal::CaptureStdout();
  EXPECT_EQ(ops()->add(wl, empty, 2), 1);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("zero length word detected"), std::string::npos) << out;
  EXPECT_EQ(msgs(), std::vector<int>({DRWA_EINT, DRWA_EFAIL}));
  drueclr(st);
  std::vector<const char *> many(65536, "X");
  testing::internal::CaptureStdout();
  EXPECT_EQ(ops()->add(wl, many.data(), 65536), 1);
  out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("too many words passed to word list 65536"), std::string::npos) << out;
  EXPECT_EQ(count(), "0");
}

TEST_F(Words, ExpansionsByKind) {
  table({"RIVER", "RIVERS", "RIVERSIDE", "RIVERBANK", "BOAT", "BOATS", "ROAD"});
  tokens({"RIVER", "RIVERS", "RIVERSIDE", "RIVERBANK", "BOAT", "BOATS", "BOATS", "ROAD"});
  struct Case {
    std::vector<std::string> in;
    int kind;
    Runs want;
  } cases[] = {
      {{"RIV%", "X%", "R%AD"}, DRWA_WILD,
       {{"RIV%", "RIVER", "RIVERBANK", "RIVERS", "RIVERSIDE"}, {"X%"}, {"R%AD", "ROAD"}}},
      {{"RIVERS", "RIVER", "BOAT", "NOWHERE"}, DRWA_SOUNDEX,
       {{"RIVERS", "RIVERSIDE"}, {"RIVER"}, {"BOAT"}, {"NOWHERE"}}},
      // Two equal words: each gets every form twice, once per key.
      {{"BOAT", "BOAT"}, DRWA_STEM,
       {{"BOAT", "BOATED", "BOATED", "BOATER", "BOATER", "BOATING", "BOATING", "BOATS", "BOATS"},
        {"BOAT", "BOATED", "BOATED", "BOATER", "BOATER", "BOATING", "BOATING", "BOATS", "BOATS"}}},
      {{"SAILS"}, DRWA_STEM, {{"SAILS", "SAIL", "SAILED", "SAILER", "SAILING"}}},
      {{"RIVR", "BO"}, DRWA_FUZZY, {{"RIVR", "RIVER", "RIVERS"}, {"BO"}}},
  };
  for (const Case &k : cases) {
    int rc = 0;
    EXPECT_EQ(expand(k.in, k.kind, &rc), k.want) << k.kind << stack();
    EXPECT_EQ(rc, 0) << stack();
  }
  // A second call of another kind reuses the prepared statements.
  std::string before = lowlog();
  int rc = 0;
  expand({"R%"}, DRWA_WILD, &rc);
  EXPECT_EQ(lowlog().find("prepare", before.size()), std::string::npos);
  // Kinds past the group count are refused.
  expand({"BOAT"}, 4, &rc);
  EXPECT_EQ(rc, 1);
}

// The fuzzy candidates come from the word table when there is one; the
// ranked answers are those the token table gives through the engine.
TEST_F(Words, FuzzyCandidatesFromTheTableRankAsTheTokenTables) {
  std::vector<std::string> vocab = {
      "RIVER",   "RIVERS",  "RIVERSIDE", "RIVERBANK", "RIVET",  "RIVETS",   "LIVER",  "LIVERY",
      "REVERE",  "RAVEN",   "ROVER",     "TRIVIA",    "EIDER",  "BOAT",     "BOATS",  "BOOT",
      "BOTH",    "BOTTLE",  "BUTTE",     "BETA",      "VOTE",   "NOTE",     "POTENT", "NORTH",
      "NORTHERN", "NORM",   "MORTAR",    "WORTH",     "KNOT",   "HARBOR",   "HARBOUR", "HARBORS",
      "HARDER",  "GARBLE",  "JARGON",    "HERBAL",    "ARBOR",  "SAIL",     "SAILS",  "SALE",
      "SAY",     "SAYS",    "CAIRN",     "DAILY",     "SHALE",  "PSALM",    "ASYLUM", "ZEBRA"};
  std::vector<std::string> tokens = vocab;
  tokens.insert(tokens.end(), vocab.begin(), vocab.begin() + 12);  // a word in many rows
  table(vocab);
  this->tokens(tokens);
  const std::vector<std::string> words = {"RIVR", "BOTE", "NORHT", "HARBOR", "SAYL", "QQQQ", "BO"};
  int rc = 0;
  std::string before = lowlog();
  Runs fromtable = expand(words, DRWA_FUZZY, &rc);
  ASSERT_EQ(rc, 0) << stack();
  EXPECT_NE(lowlog().find("i1w where word like", before.size()), std::string::npos);
  EXPECT_EQ(fromtable[0],
            (std::vector<std::string>{"RIVR", "LIVER", "RIVER", "RIVERS", "RIVET", "ROVER"}));
  w()->attr.table = 0;  // the token table through the engine, as before the table served
  before = lowlog();
  Runs fromtokens = expand(words, DRWA_FUZZY, &rc);
  ASSERT_EQ(rc, 0) << stack();
  EXPECT_EQ(lowlog().find("i1w where word like", before.size()), std::string::npos);
  EXPECT_EQ(fromtable, fromtokens);
}

// The table's look-up gives the words pattern by pattern in the order given,
// each pattern's in byte order, skips a pattern a shorter prefix covers, goes
// on past one statement's patterns and stops at the limit.
TEST_F(Words, TablePatternsKeepTheEnginesOrder) {
  table({"AB1", "AB2", "AC1", "B1", "B2", "C1", "D1", "E1", "F1", "G1", "H1", "I1", "J1", "K1",
         "L1", "M1", "N1", "O1", "P1", "Q1", "R1", "S1", "T1"});
  int rc = 0;
  expand({"X"}, DRWA_WILD, &rc);  // the query work area of a call
  ASSERT_TRUE(drwaqtable(w()));
  std::vector<std::string> pats = {"B%", "A%", "AB%"};
  for (char c = 'T'; c >= 'C'; --c) pats.push_back(std::string(1, c) + "%");  // past sixteen
  std::vector<const char *> p;
  for (const std::string &s : pats) p.push_back(s.c_str());
  struct Case {
    int32_t cap;
    std::vector<std::string> want;
    bool cut;
  } cases[] = {
      {100,
       {"B1", "B2", "AB1", "AB2", "AC1", "T1", "S1", "R1", "Q1", "P1", "O1", "N1", "M1", "L1", "K1",
        "J1", "I1", "H1", "G1", "F1", "E1", "D1", "C1"},
       false},
      {23, {}, false},
      {4, {"B1", "B2", "AB1", "AB2"}, true},
  };
  for (const Case &k : cases) {
    drubbuf *tb = drubnew(st, st->seshp, 256, nullptr, 0);
    ASSERT_NE(tb, nullptr);
    std::vector<char *> out(static_cast<size_t>(k.cap) + 1);
    int32_t n = 0;
    bool cut = false;
    ASSERT_EQ(drwaqpats(w(), p.data(), static_cast<int32_t>(p.size()), tb, out.data(), &n, k.cap,
                        &cut),
              0)
        << stack();
    std::vector<std::string> got(out.begin(), out.begin() + n);
    EXPECT_EQ(got, k.want.empty() ? cases[0].want : k.want) << k.cap;
    EXPECT_EQ(cut, k.cut) << k.cap;
    drubfre(tb);
  }
}

TEST_F(Words, BroadWordsFindEveryWord) {
  table({});
  // 6000 words: the answer is larger than one block of the text buffer,
  // and more than the fuzzy provider ranks.
  sql("CREATE TABLE " + std::string(w()->attr.ttab) + " (word_text varchar(64) COLLATE \"C\")");
  sql("INSERT INTO " + std::string(w()->attr.ttab) +
      " SELECT 'SM' || lpad(n::text, 4, '0') FROM generate_series(1, 6000) n");
  commit();
  int rc = 0;
  Runs runs = expand({"SM%"}, DRWA_WILD, &rc);
  ASSERT_EQ(rc, 0) << stack();
  EXPECT_EQ(runs[0].size(), 6001u);
  // The fuzzy candidates are cut at 5000 and ranked, not refused.
  runs = expand({"SMITH"}, DRWA_FUZZY, &rc);
  EXPECT_EQ(rc, 0) << stack();
  EXPECT_EQ(msgs(), std::vector<int>{}) << stack();
  EXPECT_NE(log().find("fuzzy candidates cut at 5000"), std::string::npos);
  // The same words in the word table: cut there too, once, and ranked.
  sql("INSERT INTO t.dr_00042_i1w (word) SELECT word_text FROM " + std::string(w()->attr.ttab));
  commit();
  size_t at = log().size();
  std::string before = lowlog();
  runs = expand({"SMITH"}, DRWA_FUZZY, &rc);
  EXPECT_EQ(rc, 0) << stack();
  EXPECT_EQ(msgs(), std::vector<int>{}) << stack();
  EXPECT_NE(lowlog().find("i1w where word like", before.size()), std::string::npos);
  EXPECT_NE(log().find("fuzzy candidates cut at 5000", at), std::string::npos);
}

TEST_F(Words, KindsUpToTheGroupCountExpandNothing) {
  table({"BOAT"}, 5);
  int rc = 0;
  EXPECT_EQ(expand({"BOAT", "SEA"}, 4, &rc), (Runs{{"BOAT"}, {"SEA"}}));
  EXPECT_EQ(rc, 0) << stack();
}

TEST_F(Words, ManyWordsGoInBatchesAndEveryOneGetsItsCode) {
  std::vector<std::string> have;
  for (int i = 0; i < 600; ++i) have.push_back("W" + std::string(1, 'A' + i % 26) + std::to_string(i));
  table({});
  std::vector<const char *> p;
  for (const std::string &s : have) p.push_back(s.c_str());
  ASSERT_EQ(ops()->add(wl, p.data(), 600), 0) << stack();
  int rc = 0;
  Runs runs = expand(have, DRWA_SOUNDEX, &rc);
  ASSERT_EQ(rc, 0) << stack();
  ASSERT_EQ(runs.size(), 600u);
  // Every word beyond the first 40 of a batch gets its expansions too: the
  // words sharing its code.
  EXPECT_GT(runs[599].size(), 1u);
  EXPECT_GT(runs[45].size(), 1u);
}

TEST_F(Words, NeighboursInTheTable) {
  table({"A1", "B1", "B2", "B3", "B4", "B5", "C1"});
  struct Case {
    const char *word;
    int n;
    std::vector<std::string> want;
  } cases[] = {
      {"A1", 3, {"B1", "B2", "B3"}},
      {"B3", -2, {"B2", "B1"}},
      {"C1", 4, {}},
  };
  for (const Case &k : cases) {
    char **out = nullptr;
    ASSERT_EQ(ops()->w2r(wl, k.word, k.n, nullptr, &out), 0) << stack();
    std::vector<std::string> got;
    for (; *out; ++out) got.push_back(*out);
    EXPECT_EQ(got, k.want) << k.word << " " << k.n;
  }
}

TEST_F(Words, AStemmingLexiconMustBeFound) {
  EXPECT_EQ(drwaslang(3), 5);
  EXPECT_STREQ(stemfile(drwaslang(3)), "mlho.is");
  EXPECT_STREQ(stemfile(drwaslang(9)), "mlen.is");
  const char *home = std::getenv("VEK73");
  std::string keep = home ? home : "";
  setenv("VEK73", "/nonexistent", 1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(build(), nullptr);
  testing::internal::GetCapturedStdout();
  if (home) setenv("VEK73", keep.c_str(), 1);
  std::vector<int> m = msgs();
  EXPECT_NE(std::find(m.begin(), m.end(), DRWA_ESLEX), m.end()) << stack();
  EXPECT_EQ(m.back(), DRWA_ENEW) << stack();
}

TEST_F(Words, StemFormsWithAnApostropheNeverReachTheQuery) {
  ASSERT_NE(build(), nullptr) << stack();
  ASSERT_EQ(ops()->open(wl, 0, 0), 0);
  int rc = 0;
  Runs runs = expand({"DOG", "ZZQX"}, DRWA_STEM, &rc);
  ASSERT_EQ(rc, 0) << stack();
  // DOG'S is a form of the lexicon too.
  EXPECT_EQ(runs[0], (std::vector<std::string>{"DOG", "DOGGED", "DOGGING", "DOGS"}));
  EXPECT_EQ(runs[1], (std::vector<std::string>{"ZZQX"}));  // unknown: itself alone
}

}  // namespace
