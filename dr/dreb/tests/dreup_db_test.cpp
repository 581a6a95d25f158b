// The indexing driver and the indexer's flush against the private cluster,
// fed by a scripted lexer: the stored lists, the id blocks and flushes of a
// run, changed and deleted documents, unreadable documents, interrupts, the
// stop words around each word, and the array inserts of a flush.
#include <algorithm>
#include <string>
#include <vector>

#include "dr/dreb/tests/engfix.h"

namespace {

using engfix::doc;
using engfix::Doc;
using postfix::Post;
using postfix::Posts;

struct Driver : engfix::Engine {};

std::string hex(const std::vector<uint8_t> &b) {
  static const char h[] = "0123456789abcdef";
  std::string s;
  for (uint8_t x : b) {
    if (!s.empty()) s += ' ';
    s += h[x >> 4];
    s += h[x & 15];
  }
  return s;
}

TEST_F(Driver, StopWordsGoIntoTheGroupsAroundEachWord) {
  stops.words = {"the", "and"};
  begin();
  ASSERT_EQ(populate({doc("1", "the cat and the dog")}), 0) << stack();
  auto rs = rows();
  ASSERT_EQ(rs.size(), 2u);
  EXPECT_EQ(rs[0].word, "cat");
  EXPECT_EQ(hex(rs[0].bytes), "11 28 1c 2e 1e 00");
  EXPECT_EQ(rs[1].word, "dog");
  EXPECT_EQ(hex(rs[1].bytes), "11 58 2c 1c 00");
  auto p = postings();
  EXPECT_EQ(p["cat"], (Posts{{1, 2, {1}, {2, 1}}}));
  EXPECT_EQ(p["dog"], (Posts{{1, 5, {2, 1}, {}}}));
  EXPECT_EQ(ktb(), "1=1");
}

TEST_F(Driver, ALongRunOfStopWordsKeepsItsEndsAndEveryPosition) {
  // 40 stop words between two words: the first keeps the first 32 as its
  // group B, the second the last 32 as its group A.
  std::string text = "a";
  std::vector<uint16_t> first, last;
  for (int i = 1; i <= 40; ++i) {
    stops.words.push_back("s" + std::to_string(i));
    text += " s" + std::to_string(i);
    if (i <= 32) first.push_back(static_cast<uint16_t>(i));
    if (i > 8) last.push_back(static_cast<uint16_t>(i));
  }
  begin();
  ASSERT_EQ(populate({doc("1", text + " b")}), 0) << stack();
  auto p = postings();
  EXPECT_EQ(p["a"], (Posts{{1, 1, {}, first}}));
  EXPECT_EQ(p["b"], (Posts{{1, 42, last, {}}}));
}

TEST_F(Driver, StopWordsTheListKindCannotNumberOrTheHashCannotHoldArePassedOver) {
  // 4096 stop words need kind 1, which codes numbers up to 4095: the last
  // word counts as a position but stays out of the group. A stop word too
  // long for a key is passed over.
  for (int i = 1; i <= 4095; ++i) stops.words.push_back("w" + std::to_string(i));
  stops.words.push_back("last");
  stops.words.push_back(std::string(300, 'x'));
  begin();
  ASSERT_EQ(populate({doc("1", "x last w7 y")}), 0) << stack();
  auto p = postings();
  EXPECT_EQ(p["x"], (Posts{{1, 1, {}, {7}}}));
  EXPECT_EQ(p["y"], (Posts{{1, 4, {7}, {}}}));
}

TEST_F(Driver, IdBlocksGrowByATenthAndEachEndsAFlush) {
  engfix::Lexer lex(st);
  lex.count = 100;
  for (int i = 1; i <= 130; ++i) lex.docs.push_back(doc(std::to_string(i), "w" + std::to_string(i) + " all"));
  begin();
  ASSERT_EQ(populate(lex), 0) << stack();
  EXPECT_EQ(counts("Index data for "), (std::vector<int>{100, 10, 11, 9}));
  // Blocks of 100, 10, 11 and 12 ids; the last three stay without a document.
  EXPECT_EQ(lst(), "null,F,1,3999999867,134");
  auto p = postings();
  EXPECT_EQ(p["all"].size(), 130u);
  EXPECT_EQ(p["all"].back().doc, 130u);
  EXPECT_EQ(text("select max(docid) from t.dr_00042_ktb"), "130");
  EXPECT_EQ(rows().size(), 130u + 4u) << "one row of all per flush";
  EXPECT_NE(log().find("End of document indexing. 130 documents indexed.\n"), std::string::npos);
}

TEST_F(Driver, OnlyAFullFlushMovesTheLogsLastDocument) {
  // The first document's oversized list is flushed early on its own: that
  // commits a document whose other words are still in memory, so the log
  // keeps its last key and count for the full flush.
  engfix::Lexer lex(st);
  lex.count = 10;
  lex.perbatch = 256;
  std::string big;
  for (int i = 0; i < 40000; ++i) big += " big";
  lex.docs = {doc("k1", "first" + big), doc("k2", "second")};
  begin();
  ASSERT_EQ(populate(lex), 0) << stack();
  EXPECT_EQ(runs("insert into t.dr_00042_i1t1"), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(pq->one("select txil_last_doc || ' ' || txil_doc_processed_cnt || ' '"
                    " || txil_first_doc || ' ' || txil_doc_selected_cnt from dr$text_index_log"
                    " where txil_oper_stage = 'P'"),
            "k2 2 k1 10");
  auto p = postings();
  EXPECT_EQ(p["big"].size(), 40000u);
  EXPECT_EQ(p["first"], (Posts{{1, 1, {}, {}}}));
}

TEST_F(Driver, AKeyOfTheFullLengthIsKept) {
  std::string key(256, 'k');
  begin();
  ASSERT_EQ(populate({doc(key, "word")}), 0) << stack();
  EXPECT_EQ(ktb(), key + "=1");
}

TEST_F(Driver, NoDocumentsStillReserveAndEnd) {
  begin();
  ASSERT_EQ(populate(std::vector<Doc>{}), 0) << stack();
  EXPECT_EQ(counts("Index data for ").size(), 0u);
  EXPECT_NE(log().find("End of document indexing. 0 documents indexed.\n"), std::string::npos);
  EXPECT_EQ(bound("SIZE_REQUIRED"), (std::vector<std::string>{"0", "10"}));
}

TEST_F(Driver, ChangedDocumentsAreRetiredAndIndexedAgainDeletedOnesOnlyRetired) {
  begin();
  ASSERT_EQ(populate({doc("a", "one"), doc("b", "two"), doc("c", "three")}), 0) << stack();
  ASSERT_EQ(ktb(), "a=1;b=2;c=3");
  std::string before = text("select count(*) from dr$text_index_log");
  ASSERT_EQ(populate({doc("b", "deux", 2), doc("c", "", 3)}, 'M', 0), 0) << stack();
  EXPECT_EQ(ktb(), "a=1;b=14") << "b under a new id (after the block reserved at the end), c gone";
  EXPECT_EQ(text("select string_agg(data, ',' order by data) from t.dr_00042_lst where ltype = 'D'"),
            "2,3,")
      << "the old ids of b and c are deleted";
  auto p = postings();
  EXPECT_EQ(p["deux"], (Posts{{14, 1, {}, {}}}));
  EXPECT_EQ(p["three"], (Posts{{3, 1, {}, {}}})) << "stays, under a deleted id";
  EXPECT_EQ(text("select count(*) from dr$text_index_log"), before) << "changed rows log nothing";
}

TEST_F(Driver, AnUnreadableDocumentBecomesAServiceRequestAndTheRunGoesOn) {
  begin();
  std::vector<Doc> docs = {doc("1", "one"), doc("2", "two"), doc("3", "three")};
  docs[1].unreadable = true;
  ASSERT_EQ(populate(docs), 0) << stack();
  EXPECT_EQ(pq->one("select string_agg(svctype || ' ' || status || ' ' || par[1] || ' ' || par[2], ';')"
                    " from svcq.request"),
            "INDEX_SVC E 42 2");
  EXPECT_NE(pq->one("select errors from svcq.request")->find("DRG-10000"), std::string::npos);
  EXPECT_EQ(counts("Errors reading documents: "), (std::vector<int>{1}));
  EXPECT_EQ(ktb(), "1=1;3=2");
}

TEST_F(Driver, AnInterruptUndoesTheRunsIds) {
  static int calls;
  calls = 0;
  dreupoob = [](drsrvstate *) { return ++calls == 1 ? 4 : 0; };
  engfix::Lexer lex(st);
  for (int i = 1; i <= 130; ++i) lex.docs.push_back(doc(std::to_string(i), "w"));
  begin();
  EXPECT_EQ(populate(lex), 1);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(lst(), "null,D,1,130,1;null,F,1,3999999870,131");
  EXPECT_EQ(ktb(), "");
  EXPECT_EQ(rows().size(), 0u);
}

TEST_F(Driver, ListsGoLongestFirstTheLongOneAloneAndItDecodesWhole) {
  engfix::Lexer lex(st);
  lex.perbatch = 256;
  std::string small = "tiny", mid, big;
  for (int i = 0; i < 300; ++i) mid += " mid";
  for (int i = 0; i < 70000; ++i) big += " big";
  lex.docs = {doc("1", "tiny" + mid), doc("2", "tiny" + big)};
  begin();
  ASSERT_EQ(populate(lex), 0) << stack();
  auto rs = rows();
  ASSERT_EQ(rs.size(), 3u);
  EXPECT_GT(rs[0].size, 65535u) << rs[0].word;
  EXPECT_EQ(rs[1].word, "mid");
  EXPECT_GT(rs[1].size, 250u);
  EXPECT_LT(rs[1].size, 350u);
  EXPECT_LT(rs[2].size, 30u);
  EXPECT_EQ(runs("insert into t.dr_00042_i1t1"), (std::vector<std::string>{"1", "2"}));
  auto p = postings();
  ASSERT_EQ(p["big"].size(), 70000u);
  EXPECT_EQ(p["big"].back().pos, 70001u);
}

TEST_F(Driver, AListLongerThanTheInsertBufferIsWrittenWhole) {
  // One document's list of 3000 postings cannot fit a buffer of 2000
  // bytes: the buffer grows to hold it, never an internal error.
  attr("INSERT_BUFFER", "2000");
  engfix::Lexer lex(st);
  lex.count = 1;
  std::string many;
  for (int i = 0; i < 3000; ++i) many += " many";
  lex.docs = {doc("1", "first words"), doc("2", many)};
  begin();
  ASSERT_EQ(populate(lex), 0) << stack();
  auto rs = rows();
  ASSERT_EQ(rs.size(), 3u);
  EXPECT_EQ(rs[0].word, "first");
  auto p = postings();
  ASSERT_EQ(p["many"].size(), 3000u);
  EXPECT_EQ(p["many"].back().pos, 3000u);
}

TEST_F(Driver, ACapacityOfNoListsIsRefused) {
  attr("LIST_CAPACITY", "65536");
  EXPECT_EQ(build(), 1);
  EXPECT_NE(stack().find("DRG-10704"), std::string::npos) << stack();
}

TEST_F(Driver, AModeOtherThanZeroOrOneFailsEveryPopulate) {
  attr("INDEX_MODE", "2");
  begin();
  EXPECT_EQ(populate({doc("1", "one")}), 1);
  EXPECT_NE(stack().find("DRG-10527"), std::string::npos) << stack();
}

TEST_F(Driver, ALexerOfObjectIdThreeIsRefused) {
  engfix::Lexer lex(st);
  lex.hd.obj.objid = 3;
  lex.docs = {doc("1", "one")};
  begin();
  EXPECT_EQ(populate(lex), 1);
  EXPECT_NE(stack().find("DRG-50600"), std::string::npos) << stack();
  EXPECT_EQ(bound("SIZE_REQUIRED").size(), 0u) << "no id reserved";
}

TEST_F(Driver, ChangedRowsHandTheirNewWordsToTheWordList) {
  begin();
  wl.hd.ops.mode = 5;
  ASSERT_EQ(populate({doc("1", "alpha beta")}, 'M', 0), 0) << stack();
  std::sort(wl.added.begin(), wl.added.end());
  EXPECT_EQ(wl.added, (std::vector<std::string>{"alpha", "beta"}));
}

TEST_F(Driver, LikeRunsOnlyPatternsAnEarlierPrefixDoesNotCover) {
  begin();
  pq->one("insert into t.dr_00042_i1t1 select w, 1, 1, '\\x00' from unnest(array['ab', 'abc',"
          " 'abd', 'abx', 'b']) w");
  const char *pats[] = {"abd%", "ab%", "abc%"};
  char *res[10];
  int32_t n = 0;
  drubbuf *arena = drubnew(st, st->seshp, 0, nullptr, 0);
  ASSERT_EQ(ops()->lik(eng, pats, 3, arena, res, &n, 10), 0) << stack();
  EXPECT_EQ(bound("LKEXPR"), (std::vector<std::string>{"abd%", "ab%"}));
  EXPECT_EQ(n, 5) << "abd comes twice";
  drubfre(arena);
}

TEST_F(Driver, LikePastItsCapacityFails) {
  begin();
  pq->one("insert into t.dr_00042_i1t1 select 'w' || n, 1, 1, '\\x00' from generate_series(1, 5001) n");
  const char *pats[] = {"w%"};
  std::vector<char *> res(5001);
  int32_t n = 0;
  drubbuf *arena = drubnew(st, st->seshp, 0, nullptr, 0);
  EXPECT_EQ(ops()->lik(eng, pats, 1, arena, res.data(), &n, 5000), 1);
  EXPECT_NE(stack().find("DRG-50400"), std::string::npos) << stack();
  EXPECT_NE(stack().find("[5000]"), std::string::npos) << stack();
  drubfre(arena);
}

}  // namespace
