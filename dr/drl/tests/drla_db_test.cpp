// The text pipeline against the private cluster: a policy made of
// dictionary rows (plain rows or detail rows, the plain-text filter, the
// default lexer, a stop list) over the fixture corpus gives the reviewed
// tokens of tests/fixtures/pipe/corpus, stop words numbered; a long text
// read in pieces gives the tokens it gives from memory.
// KES_ACCEPT=1 writes the table anew from what the pipeline gives.
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/fixtures/pipe/polfix.h"

namespace {

using pipefix::Tok;

const std::string kDir = KES_SOURCE_DIR "/tests/fixtures/pipe/corpus/";

std::string unescape(const std::string &s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    char c = s[++i];
    out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
  }
  return out;
}

// The lines of a fixture file that are not comments, split at tabs.
std::vector<std::vector<std::string>> rows(const std::string &file) {
  std::ifstream in(kDir + file);
  EXPECT_TRUE(in.good()) << file;
  std::vector<std::vector<std::string>> out;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f;
    std::stringstream ss(line);
    std::string x;
    while (std::getline(ss, x, '\t')) f.push_back(x);
    if (!line.empty() && line.back() == '\t') f.push_back("");
    out.push_back(f);
  }
  return out;
}

// A token of the table: the lexer's row and the stop list's number of it.
struct Row {
  std::string key;
  Tok tok;
  int32_t stop;
  bool operator==(const Row &o) const { return key == o.key && tok == o.tok && stop == o.stop; }
};
std::ostream &operator<<(std::ostream &os, const Row &r) {
  return os << r.key << ": " << r.tok << " stop " << r.stop;
}

const char *kHead =
    "# The tokens of the fixture corpus (docs.txt) through the default lexer with\n"
    "# the apostrophe as kept joiner and the underscore as dropped joiner: key,\n"
    "# type, text, offset, extent, and the number the stop list (the a an of and\n"
    "# to in is it) gives the text. Reviewed by hand; KES_ACCEPT=1 rewrites it.\n";

struct Corpus : polfix::Pipeline {
  std::vector<std::pair<std::string, std::optional<std::string>>> docs;

  void SetUp() override {
    polfix::Pipeline::SetUp();
    if (HasFatalFailure() || !pq) return;
    for (const auto &f : rows("docs.txt")) {
      std::string text = f.size() > 1 ? f[1] : "";
      docs.emplace_back(f[0], text == "NULL" ? std::nullopt : std::optional(unescape(text)));
    }
    ASSERT_EQ(docs.size(), 20u);
  }
  // The policy's lexer and stop list on top of its data store.
  void pipeline(int pol) {
    component(pol, DRCLS_FILTER, 1);
    component(pol, DRCLS_LEXER, 1, {{"KEPT_JOINERS", "'"}, {"DROPPED_JOINERS", "_"}});
    dsfix::Attrs stops;
    for (const char *w : {"the", "a", "an", "of", "and", "to", "in", "is", "it"})
      stops.emplace_back("STOP_WORD", w);
    component(pol, DRCLS_STOPLIST, 1, stops);
  }
  // Every token of a built policy as table rows, in key order.
  std::vector<Row> table(drdmpol *p) {
    std::vector<Row> out;
    drobj *sl = obj(p, DRCLS_STOPLIST);
    std::map<int, std::vector<Tok>> bykey;
    for (auto &[key, toks] : tokens(p)) bykey[std::stoi(key)] = toks;
    for (auto &[key, toks] : bykey)
      for (const Tok &t : toks) {
        int32_t stop = 0;
        if (t.type < DRTOK_SENTENCE) {
          EXPECT_EQ(drops<drstops>(sl)->look(sl, t.text.c_str(), &stop), 0);
        }
        out.push_back({std::to_string(key), t, stop});
      }
    return out;
  }
};

TEST_F(Corpus, RowsGiveTheReviewedTokens) {
  pq->one("CREATE TABLE t.corpus (id integer PRIMARY KEY, body text)");
  pq->one("CREATE TABLE t.corpus_det (id integer, ln integer, body text)");
  for (const auto &[key, text] : docs) {
    pq->one("INSERT INTO t.corpus VALUES ($1::integer, $2)", {key, text});
    // Detail rows cut every 7 bytes; a document without bytes keeps one row.
    std::string body = text.value_or("");
    for (size_t i = 0, ln = 1; i == 0 || i < body.size(); i += 7, ++ln)
      pq->one("INSERT INTO t.corpus_det VALUES ($1::integer, $2::integer, $3)",
              {key, std::to_string(ln), text ? std::optional(body.substr(i, 7)) : std::nullopt});
  }
  policy(901, "CORPUS", "BODY", 8, "ID", 2);
  prefer(901, 1);
  pipeline(901);
  policy(902, "CORPUS_DET", "BODY", 8, "ID", 2, "LN");
  prefer(902, 2, {{"NO_LINE_BREAK", "1"}});
  pipeline(902);

  drdmpol *p = build(901);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(drops<drstops>(obj(p, DRCLS_STOPLIST))->count(obj(p, DRCLS_STOPLIST)), 9);
  std::vector<Row> got = table(p);

  if (std::getenv("KES_ACCEPT")) {
    std::ofstream out(kDir + "tokens.txt");
    out << kHead;
    for (const Row &r : got)
      out << r.key << '\t' << r.tok.type << '\t' << r.tok.text << '\t' << r.tok.offset << '\t'
          << r.tok.extent << '\t' << r.stop << '\n';
  }
  std::vector<Row> want;
  for (const auto &f : rows("tokens.txt")) {
    ASSERT_EQ(f.size(), 6u);
    want.push_back({f[0], {std::stoi(f[1]), f[2], std::stoi(f[3]), std::stoi(f[4])}, std::stoi(f[5])});
  }
  ASSERT_GT(want.size(), 200u);
  EXPECT_EQ(got, want);

  // The same documents as detail rows joined without line breaks.
  drdmpol *d = build(902);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(table(d), want);
}

// A text many times longer than the row buffer, read on in pieces from the
// database, gives the tokens the same text gives from memory.
TEST_F(Corpus, LongTextReadInPieces) {
  std::string text;
  for (int k = 0; text.size() < 60000; ++k)
    for (const auto &[key, t] : docs) text += t.value_or("") + (k % 2 ? "\n" : " ");
  pq->one("CREATE TABLE t.longdoc (id integer PRIMARY KEY, body text)");
  pq->one("INSERT INTO t.longdoc VALUES (1, $1)", {text});
  policy(903, "LONGDOC", "BODY", 8, "ID", 2);
  prefer(903, 1, {{"BUFSIZE", "2048"}});
  pipeline(903);
  drdmpol *p = build(903);
  ASSERT_NE(p, nullptr);
  std::vector<Tok> got = tokens(p)["1"];

  pipefix::MemFilter mem({text});
  drobj *lex = drlanew(st, st->seshp);
  ASSERT_NE(lex, nullptr);
  const drlexops *ops = drops<drlexops>(lex);
  ASSERT_EQ(ops->bnd(lex, 903, mem.obj(), p->comp[DRCLS_LEXER - 1].prefid), 0);
  int32_t op = 0;
  char *key = nullptr;
  ASSERT_EQ(ops->mode(lex, 1), 0);
  ASSERT_EQ(ops->next(lex, &op, &key), 0);
  std::vector<Tok> want = pipefix::drain(lex);
  ops->free(lex);
  ASSERT_GT(want.size(), 5000u);
  EXPECT_EQ(got, want);
}

}  // namespace
