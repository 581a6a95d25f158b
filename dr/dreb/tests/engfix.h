// Test fixture of the base engine: policy 42 of the id-storage fixture with
// an engine preference of its own, the scripted lexer, stop list and word
// list of lexfix.h, and the token table decoded back into postings.
#ifndef KES_DR_DREB_TESTS_ENGFIX_H
#define KES_DR_DREB_TESTS_ENGFIX_H

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "dr/dras/dras.h"
#include "dr/dreb/dreb.h"
#include "dr/dreb/tests/idfix.h"
#include "tests/fixtures/engine/lexfix.h"
#include "tests/fixtures/engine/postings.h"

namespace engfix {

using lexfix::doc;
using lexfix::Doc;
using lexfix::Lexer;
using lexfix::Stops;
using lexfix::Words;

// A row of the token table.
struct Row {
  std::string word;
  uint32_t first = 0;
  uint32_t size = 0;
  std::vector<uint8_t> bytes;
};

constexpr char kI1t[] = "t.dr_00042_i1t1";

struct Engine : idfix::Ids {
  drobj *eng = nullptr;
  Stops stops;
  Words wl;
  int kind = DREL_KIND0;

  void SetUp() override {
    idfix::Ids::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    pq->one("INSERT INTO dr$preference (pre_id, pre_name, pre_cla_id, pre_obj_id)"
            " VALUES (7042, 'ENG42', 7, 1)");
    pq->one("INSERT INTO dr$policy_preference VALUES (42, 7, 7042)");
  }
  void TearDown() override {
    if (eng) drops<drengops>(eng)->free(eng);
    dreupoob = nullptr;
    idfix::Ids::TearDown();
  }
  // Sets an attribute of the engine preference (before build).
  void attr(const std::string &name, const std::string &value) {
    pq->one("INSERT INTO dr$preference_attribute VALUES (7042, $1, $2, 1)", {name, value});
  }
  const drengops *ops() { return drops<drengops>(eng); }
  // Builds and binds the engine; its bind result.
  int build() {
    drdmpol *p = drqpol(st, idfix::kPol);
    if (!p) {
      ADD_FAILURE() << stack();
      return 1;
    }
    eng = drebnew(st, st->seshp);
    if (!eng) {
      ADD_FAILURE() << stack();
      return 1;
    }
    kind = stops.words.size() >= 256 ? DREL_KIND1 : DREL_KIND0;
    return ops()->bnd(eng, idfix::kPol, p->comp[DRCLS_ENGINE - 1].prefid, stops.obj());
  }
  // Builds, binds and begins the index; failures fail the test.
  void begin(int32_t runseq = 1) {
    ASSERT_EQ(build(), 0) << stack();
    ASSERT_EQ(ops()->begx(eng, 1, runseq, 'C'), 0) << stack();
  }
  // Populates from documents; the engine's result.
  int populate(Lexer &lex, char qual = 'C', int32_t runseq = 1) {
    return ops()->popx(eng, lex.obj(), wl.obj(), stops.obj(), runseq, 1, qual);
  }
  int populate(const std::vector<Doc> &docs, char qual = 'C', int32_t runseq = 1) {
    Lexer lex(st);
    lex.docs = docs;
    return populate(lex, qual, runseq);
  }
  // The token table's rows by word and first document, read by a second
  // session (committed rows only).
  std::vector<Row> rows(const std::string &table = kI1t) {
    std::vector<Row> out;
    PGresult *r = pq->run("select word_text, first_doc, doclsize, word_info from " + table +
                              " order by word_text, first_doc",
                          {});
    for (int i = 0; r && i < PQntuples(r); ++i) {
      Row w;
      w.word = PQgetvalue(r, i, 0);
      w.first = static_cast<uint32_t>(std::stoul(PQgetvalue(r, i, 1)));
      w.size = static_cast<uint32_t>(std::stoul(PQgetvalue(r, i, 2)));
      size_t n = 0;
      unsigned char *b = PQunescapeBytea(reinterpret_cast<const unsigned char *>(PQgetvalue(r, i, 3)), &n);
      w.bytes.assign(b, b + n);
      PQfreemem(b);
      out.push_back(std::move(w));
    }
    PQclear(r);
    return out;
  }
  // Every term's postings, decoded row by row; each row must decode whole,
  // start at its first_doc, say its length, and each term's rows must hold
  // ascending, disjoint document ranges.
  std::map<std::string, postfix::Posts> postings(const std::string &table = kI1t) {
    std::map<std::string, postfix::Posts> out;
    std::map<std::string, uint32_t> lastdoc;
    for (const Row &w : rows(table)) {
      postfix::Posts decoded;
      auto *p = &decoded;
      if (postfix::decode(kind, w.bytes, p) != 2 || p->empty()) {
        ADD_FAILURE() << "row of " << w.word << " at " << w.first << " does not decode";
        continue;
      }
      EXPECT_EQ(w.size, w.bytes.size()) << w.word;
      EXPECT_EQ(p->front().doc, w.first) << w.word;
      auto l = lastdoc.find(w.word);
      if (l != lastdoc.end()) {
        EXPECT_GT(w.first, l->second) << w.word << ": rows overlap";
      }
      lastdoc[w.word] = p->back().doc;
      auto &all = out[w.word];
      all.insert(all.end(), p->begin(), p->end());
    }
    return out;
  }
  // The values a bind (named in capitals, as the trace shows it) took in the
  // traced statements, in order.
  std::vector<std::string> bound(const std::string &name) {
    std::string l = log(), key = "  :" + name + " = '";
    std::vector<std::string> out;
    for (size_t at = l.find(key); at != std::string::npos; at = l.find(key, at + 1)) {
      size_t from = at + key.size();
      out.push_back(l.substr(from, l.find('\'', from) - from));
    }
    return out;
  }
  // The numbers a log line with a number in place of %d took, in order.
  std::vector<int> counts(const std::string &before, const std::string &after = "") {
    std::string l = log();
    std::vector<int> out;
    for (size_t at = l.find(before); at != std::string::npos; at = l.find(before, at + 1)) {
      size_t from = at + before.size();
      if (!after.empty() && l.compare(from + l.substr(from).find_first_not_of("0123456789"),
                                      after.size(), after) != 0)
        continue;
      out.push_back(std::atoi(l.c_str() + from));
    }
    return out;
  }
};

}  // namespace engfix

#endif
