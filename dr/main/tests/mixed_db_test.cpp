// Documents of mixed formats indexed by a veksrv process through the
// chaining filter with format 997: HTML, plain text, Word 2, Word 6,
// WordPerfect 5.1, a worksheet and a PDF read by a site program, beside a
// Word 97 document that nothing reads and damaged, empty and very large
// documents. Each readable row is found by a word only its text holds; the
// others end as service requests that say why, and the server keeps
// serving. A second policy runs programs that never end and that write
// without end.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "converters/runtime/fmtcat.h"
#include "tests/fixtures/pipe/mixfix.h"
#include "tests/fixtures/query/boats.h"

namespace {

using pgtest::Conn;
using pgtest::Reply;

bool haspdftotext() { return access("/usr/bin/pdftotext", X_OK) == 0; }

struct MixedServer : ::testing::Test {
  pgtest::Database db;
  pgtest::Server srv;
  std::unique_ptr<Conn> c;
  mixfix::Scratch home{"kes-mixhome"};

  void SetUp() override {
    PGTEST_NEED_DB(db);
    // The server's product home: the tree's messages and a bin folder of
    // site programs.
    ASSERT_EQ(symlink(KES_SOURCE_DIR "/messages", (home.dir + "/messages").c_str()), 0);
    ASSERT_EQ(mkdir((home.dir + "/bin").c_str(), 0755), 0);
    mixfix::script(home.dir + "/bin/pdf.sh", "exec /usr/bin/pdftotext -q \"$1\" \"$2\"");
    mixfix::script(home.dir + "/bin/sleeper.sh", "exec sleep 1000");
    mixfix::script(home.dir + "/bin/huge.sh", "head -c 1073741824 /dev/zero > \"$2\"");
    mixfix::Env envhome("KESTRIN_HOME", home.dir.c_str());
    mixfix::Env maxdoc("KESTRIN_MAXDOC", "60M");
    boats::start(srv, db);
    c = std::make_unique<Conn>(db.name);
    ASSERT_TRUE(srv.ready()) << srv.out();
  }
  Reply cmd(int code, const std::vector<std::optional<std::string>> &args) {
    return pgtest::submit(*c, code, args, 600);
  }
  // A policy over schema.docs (id, body bytea) with the chaining filter
  // and the attributes given as (name, value) rows.
  void policy(const std::string &pol, const std::string &schema,
              const std::vector<std::pair<std::string, std::string>> &attrs) {
    c->one("CREATE TABLE " + schema + ".docs (id integer PRIMARY KEY, body bytea)");
    c->one("INSERT INTO dr$policy (pol_id, pol_name, pol_owner, pol_tablename, pol_text_expr,"
           " pol_text_type, pol_key_name, pol_key_type) VALUES (" + pol + ", 'MIX" + pol + "', '" +
           schema + "', 'DOCS', 'BODY', 24, 'ID', 2)");
    c->one("INSERT INTO dr$preference (pre_id, pre_name, pre_cla_id, pre_obj_id) VALUES (" + pol +
           "3, 'MIX" + pol + "_FILTER', 3, 2), (" + pol + "7, 'MIX" + pol + "_ENGINE', 7, 1)");
    int seq = 1;
    for (const auto &[name, value] : attrs)
      c->one("INSERT INTO dr$preference_attribute VALUES (" + pol + "3, '" + name + "', '" + value + "', " +
             std::to_string(seq++) + ")");
    c->one("INSERT INTO dr$policy_preference VALUES (" + pol + ", 3, " + pol + "3), (" + pol + ", 7, " + pol +
           "7)");
  }
  void row(const std::string &schema, int id, const std::string &doc) {
    const char *vals[] = {doc.data()};
    int lens[] = {static_cast<int>(doc.size())};
    int fmts[] = {1};
    std::string sql = "INSERT INTO " + schema + ".docs VALUES (" + std::to_string(id) + ", $1)";
    PGresult *r = PQexecParams(c->c, sql.c_str(), 1, nullptr, vals, lens, fmts, 0);
    EXPECT_EQ(PQresultStatus(r), PGRES_COMMAND_OK) << PQerrorMessage(c->c);
    PQclear(r);
  }
  void index(const std::string &pol) {
    ASSERT_EQ(cmd(10, {pol, "1", "1", "C"}).code, 101) << srv.log();
    Reply r = cmd(11, {pol, "1", "1", "1", "C"});
    ASSERT_EQ(r.code, 101) << r.arg(1) << srv.log();
    ASSERT_EQ(cmd(29, {pol, "1", "C"}).code, 101) << srv.log();
  }
  // The keys a query finds, blank-separated in order.
  std::string keys(const std::string &pol, const std::string &query) { return pgtest::keysof(*c, pol, query, 600); }
  // The service requests of documents that could not be indexed: "key: errors".
  std::vector<std::string> unreadable() {
    return c->col("SELECT coalesce(par[2], '') || ': ' || errors FROM svcq.request"
                  " WHERE svctype = 'INDEX_SVC' ORDER BY par[2]::integer");
  }
  std::string unreadableof(int key) {
    std::string prefix = std::to_string(key) + ": ";
    for (const std::string &e : unreadable())
      if (e.rfind(prefix, 0) == 0) return e;
    return "";
  }
};

TEST_F(MixedServer, EachFormatIsFoundByItsOwnWord) {
  c->one("CREATE SCHEMA mix");
  char pdfrow[32];
  std::snprintf(pdfrow, sizeof pdfrow, "%d,pdf.sh", fmtfind(107));
  policy("1960", "mix", {{"DOCUMENT_FORMAT", "997"}, {"FORMAT_PROGRAM", pdfrow}});
  const bool pdf = haspdftotext();
  struct Doc {
    int id;
    std::string doc;
    const char *word;  // found in this row alone; null: the row is not indexed
  } docs[] = {
      {1, mixfix::html("hypertextword"), "hypertextword"},
      {2, mixfix::plain("plainword"), "plainword"},
      {3, mixfix::word2("wordtwoword"), "wordtwoword"},
      {4, mixfix::word6("wordsixword"), "wordsixword"},
      {5, mixfix::wp51("perfectword"), "perfectword"},
      {6, mixfix::lotus("sheetword", 4321), "4321"},
      {7, mixfix::pdf("A portable pdfword text"), "pdfword"},
      {8, mixfix::word97(), nullptr},
      {9, mixfix::word6late("latesixword"), "latesixword"},
  };
  for (const Doc &d : docs)
    if (d.id != 7 || pdf) row("mix", d.id, d.doc);
  // Damaged versions of each, an empty document and one of 50 MB.
  int id = 100;
  for (const Doc &d : docs) {
    std::string cut = d.doc.substr(0, d.doc.size() / 2);
    std::string bad = d.doc;
    for (size_t i = bad.size() / 3; i < bad.size() && i < bad.size() / 3 + 64; ++i) bad[i] = static_cast<char>(bad[i] ^ 0x5A);
    row("mix", id++, cut);
    row("mix", id++, bad);
  }
  row("mix", 200, "");
  wgen::spec big{wgen::word2, {"A Word two bigword text\r"}};
  big.padto = 50u << 20;
  row("mix", 201, mixfix::str(wgen::make(big)));
  index("1960");

  for (const Doc &d : docs) {
    if (!d.word || (d.id == 7 && !pdf)) continue;
    // Damaged copies hold the same words: only the rows up to 99 matter.
    std::string found = keys("1960", d.word);
    std::string first = found.substr(0, found.find(' '));
    EXPECT_EQ(first, std::to_string(d.id)) << d.word << "\n" << srv.log();
  }
  if (!pdf) std::fprintf(stderr, "pdftotext is not installed: the PDF row was left out\n");
  // Tag names of the page are not words of it.
  EXPECT_EQ(keys("1960", "body"), "");
  EXPECT_EQ(keys("1960", "html"), "");
  // The Word 97 document: not indexed, the reason recorded, the run went on.
  EXPECT_NE(unreadableof(8).find("DRG-11201"), std::string::npos) << unreadableof(8);
  EXPECT_EQ(keys("1960", "letter"), "");
  // The 50 MB document was read whole.
  EXPECT_EQ(keys("1960", "bigword"), "201");
  // The server still serves.
  EXPECT_EQ(keys("1960", "plainword").substr(0, 1), "2");
}

TEST_F(MixedServer, ProgramsThatDoNotEndAreStopped) {
  c->one("CREATE SCHEMA prog");
  char slow[32], huge[32];
  std::snprintf(slow, sizeof slow, "%d,sleeper.sh", fmtfind(1));
  std::snprintf(huge, sizeof huge, "%d,huge.sh", fmtfind(7));
  policy("1961", "prog",
         {{"DOCUMENT_FORMAT", "997"}, {"FORMAT_PROGRAM", slow}, {"FORMAT_PROGRAM", huge}, {"PROGRAM_TIMEOUT", "2"}});
  row("prog", 1, mixfix::plain("slowword"));
  row("prog", 2, mixfix::wp51("hugeword"));
  row("prog", 3, mixfix::word2("fineword"));
  index("1961");
  EXPECT_NE(unreadableof(1).find("DRG-11212"), std::string::npos) << unreadableof(1);
  EXPECT_NE(unreadableof(2).find("DRG-11207"), std::string::npos) << unreadableof(2);
  EXPECT_EQ(keys("1961", "fineword"), "3");
  EXPECT_EQ(keys("1961", "slowword"), "");
  // Nothing is left in the server's temporary folder but its own files and
  // the filter's private folder, empty between documents.
  for (const std::string &n : mixfix::Scratch::list(srv.dir)) {
    if (n.rfind("drb", 0) == 0) {
      EXPECT_EQ(mixfix::Scratch::list(srv.dir + "/" + n), std::vector<std::string>{}) << n;
      continue;
    }
    EXPECT_TRUE(n.rfind("VEK", 0) == 0 || n == "server.log" || n == "stdout.txt") << n;
  }
}

}  // namespace
