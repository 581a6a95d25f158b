// Test fixture of the base engine: policy 42 of the id-storage fixture with
// an engine preference of its own, a scripted lexer (documents of a kind, a
// key and tokens), a stop list and a word list that records what it is
// given, and the token table decoded back into postings.
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
#include "dr/drp/drtoken.h"
#include "tests/fixtures/engine/postings.h"

namespace engfix {

struct Tok {
  uint8_t type;
  std::string text;
};

// A document as the lexer hands it out: its kind (1 new, 2 changed, 3
// deleted), its key and its tokens; an unreadable one fails at next.
struct Doc {
  int32_t kind;
  std::string key;
  std::vector<Tok> toks;
  bool unreadable = false;
};

// Tokens of a text: blank-separated words, "." an end of sentence, a word
// of digits a number.
inline std::vector<Tok> words(const std::string &text) {
  std::vector<Tok> out;
  std::istringstream in(text);
  std::string w;
  while (in >> w) {
    if (w == ".") out.push_back({DRTOK_SENTENCE, ""});
    else if (w.find_first_not_of("0123456789") == std::string::npos) out.push_back({DRTOK_NUMBER, w});
    else out.push_back({DRTOK_WORD, w});
  }
  return out;
}
inline Doc doc(const std::string &key, const std::string &text, int32_t kind = 1) {
  return {kind, key, words(text)};
}

// The scripted lexer: the documents in order, tokens in batches of a few so
// that a document spans several batches.
struct Lexer {
  drobjhd<drlexops> hd;
  drsrvstate *st = nullptr;
  std::vector<Doc> docs;
  int32_t count = -1;      // the count it reports; -1: the number of documents
  size_t at = 0;           // next document
  const Doc *cur = nullptr;
  size_t tokat = 0;
  size_t perbatch = 3;
  std::vector<drtoken> batch;
  char key[257] = "";

  static Lexer *of(drobj *o) { return reinterpret_cast<Lexer *>(o); }
  static int count_(drobj *o, int32_t *n) {
    Lexer *l = of(o);
    *n = l->count >= 0 ? l->count : static_cast<int32_t>(l->docs.size());
    return 0;
  }
  static int next_(drobj *o, int32_t *op, char **key) {
    Lexer *l = of(o);
    if (l->at >= l->docs.size()) {
      *op = 4;
      return 2;
    }
    const Doc &d = l->docs[l->at++];
    std::snprintf(l->key, sizeof l->key, "%s", d.key.c_str());
    if (key) *key = l->key;
    *op = d.kind;
    if (d.unreadable) {
      dracnerr(l->st, DRFAC_DRG, 10000, 2, DRA_STR, "t.docs", DRA_STR, "body", 0);
      return 1;
    }
    l->cur = &d;
    l->tokat = 0;
    return 0;
  }
  static int tok_(drobj *o, int32_t, drtoken **toks, int32_t *n) {
    Lexer *l = of(o);
    l->batch.clear();
    int32_t offset = 0;
    while (l->cur && l->tokat < l->cur->toks.size() && l->batch.size() < l->perbatch) {
      const Tok &t = l->cur->toks[l->tokat++];
      drtoken k{};
      k.text = t.type == DRTOK_SENTENCE || t.type == DRTOK_PARAGRAPH ? nullptr : t.text.c_str();
      k.offset = offset;
      k.length = static_cast<uint8_t>(t.text.size());
      k.type = t.type;
      k.weight = 1;
      k.extent = static_cast<uint8_t>(t.text.size());
      offset += static_cast<int32_t>(t.text.size()) + 1;
      l->batch.push_back(k);
    }
    if (!l->cur || l->tokat == l->cur->toks.size()) {
      drtoken end{};
      end.type = DRTOK_END;
      l->batch.push_back(end);
    }
    *toks = l->batch.data();
    *n = static_cast<int32_t>(l->batch.size());
    return l->batch.back().type == DRTOK_END ? 2 : 0;
  }
  static int mode_(drobj *, int32_t) { return 0; }
  explicit Lexer(drsrvstate *s) : st(s) {
    hd.obj = {DRCLS_LEXER, 1, "scripted lexer"};
    hd.ops = {};
    hd.ops.mode = mode_;
    hd.ops.count = count_;
    hd.ops.next = next_;
    hd.ops.tok = tok_;
  }
  drobj *obj() { return &hd.obj; }
};

// A stop list of given words, numbered from 1.
struct Stops {
  drobjhd<drstops> hd;
  std::vector<std::string> words;
  static Stops *of(drobj *o) { return reinterpret_cast<Stops *>(o); }
  static int count_(drobj *o) { return static_cast<int>(of(o)->words.size()); }
  static int list_(drobj *o, const char **out) {
    for (size_t i = 0; i < of(o)->words.size(); ++i) out[i] = of(o)->words[i].c_str();
    return 0;
  }
  explicit Stops(std::vector<std::string> w = {}) : words(std::move(w)) {
    hd.obj = {DRCLS_STOPLIST, 1, "stop words"};
    hd.ops = {};
    hd.ops.count = count_;
    hd.ops.list = list_;
  }
  drobj *obj() { return &hd.obj; }
};

// A word list open in a mode, recording the words it is given.
struct Words {
  drobjhd<drwlops> hd;
  std::vector<std::string> added;
  std::vector<int32_t> calls;  // words per add call
  static Words *of(drobj *o) { return reinterpret_cast<Words *>(o); }
  static int add_(drobj *o, const char *const *w, int32_t n) {
    of(o)->calls.push_back(n);
    for (int32_t i = 0; i < n; ++i) of(o)->added.emplace_back(w[i]);
    return 0;
  }
  explicit Words(int32_t mode = 1) {
    hd.obj = {DRCLS_WORDLIST, 1, "word list"};
    hd.ops = {};
    hd.ops.mode = mode;
    hd.ops.add = add_;
  }
  drobj *obj() { return &hd.obj; }
};

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
  std::vector<Row> rows() {
    std::vector<Row> out;
    PGresult *r = pq->run(std::string("select word_text, first_doc, doclsize, word_info from ") +
                              kI1t + " order by word_text, first_doc",
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
  std::map<std::string, postfix::Posts> postings() {
    std::map<std::string, postfix::Posts> out;
    std::map<std::string, uint32_t> lastdoc;
    for (const Row &w : rows()) {
      auto p = postfix::decode(kind, w.bytes);
      if (!p || p->empty()) {
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
