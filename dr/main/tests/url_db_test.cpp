// Documents from URLs indexed by a veksrv process: a policy whose rows hold
// addresses on a loopback HTTP server and one file URL, read through the
// HTML filter. Every page is found by its own word; a row given a new URL
// is indexed again from there; pages that cannot be fetched end as service
// requests that name their URL, and the others are indexed; the marked-up
// copy of a page reached through a redirection has its links absolute
// against the final address; and highlights leave the server's threads and
// descriptors where they were.
#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "tests/fixtures/pipe/httpsrv.h"
#include "tests/fixtures/query/boats.h"

namespace {

using pgtest::Conn;
using pgtest::Reply;

std::string page(const std::string &word, const std::string &extra = "") {
  return "<html><head><title>t</title></head><body><p>A " + word + " here</p>" + extra +
         "</body></html>";
}

int entries(const std::string &dir) {
  int n = 0;
  if (DIR *d = opendir(dir.c_str())) {
    while (readdir(d)) n++;
    closedir(d);
  }
  return n;
}

struct UrlServer : ::testing::Test {
  pgtest::Database db;
  pgtest::Server srv;
  std::unique_ptr<Conn> c;
  httpsrv::server web{"127.0.0.1", 600};
  std::string dir;
  const std::string pol = "1970";

  void SetUp() override {
    PGTEST_NEED_DB(db);
    char tmpl[] = "/tmp/kes-urlpages-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    std::ofstream(dir + "/local.html") << page("localword");
    const std::string b = web.base();
    web.script("/a", httpsrv::reply(200, page("alphaword")));
    web.script("/b", httpsrv::reply(200, page("bravoword")));
    web.script("/c", httpsrv::reply(200, page("charlieword")));
    web.script("/d", httpsrv::reply(200, page("deltaword")));
    web.script("/old", httpsrv::redirect(302, b + "/docs/new/page.html"));
    web.script("/docs/new/page.html",
               httpsrv::reply(200, page("movedword", "<a href=\"next.html\">n</a><img src=\"/i.png\">")));
    web.script("/gone", httpsrv::reply(404, "no"));
    web.script("/bighead", httpsrv::reply(200, "", "X-Pad: " + std::string(1 << 20, 'p') + "\r\n"));
    web.script("/noise", httpsrv::reply(200, std::string(3000, '\x01') + "\xff\xfe"));
    boats::start(srv, db);
    c = std::make_unique<Conn>(db.name);
    ASSERT_TRUE(srv.ready()) << srv.out();
    c->one("CREATE SCHEMA qurl");
    // The owner reads files of this machine (the file: address inside
    // PATH), which an administrator grants.
    Conn admin(db.name, "postgres");
    admin.one("DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'qurl') THEN"
              " CREATE ROLE qurl; END IF; END $$");
    admin.one("GRANT kestrin_files TO qurl");
    c->one("CREATE TABLE qurl.pages (id integer PRIMARY KEY, url varchar(2000))");
    const char *rows[][2] = {
        {"1", "/a"}, {"2", "/b"}, {"3", "/c"}, {"4", "/old"}, {"6", "/gone"}, {"8", "/bighead"},
        {"9", "/noise"},
    };
    for (auto &r : rows) c->one("INSERT INTO qurl.pages VALUES ($1::integer, $2)", {r[0], b + r[1]});
    c->one("INSERT INTO qurl.pages VALUES (5, 'file://local.html'), (7, 'ftp://x/')");
    c->one("INSERT INTO dr$policy (pol_id, pol_name, pol_owner, pol_tablename, pol_text_expr,"
           " pol_text_type, pol_key_name, pol_key_type)"
           " VALUES (1970, 'PAGES', 'QURL', 'PAGES', 'URL', 1, 'ID', 2)");
    c->one("INSERT INTO dr$preference (pre_id, pre_name, pre_cla_id, pre_obj_id)"
           " VALUES (19701, 'PAGES_URLS', 1, 4), (19703, 'PAGES_HTML', 3, 3), (19707, 'PAGES_ENGINE', 7, 1)");
    c->one("INSERT INTO dr$preference_attribute VALUES (19701, 'PATH', $1, 1),"
           " (19701, 'MAXTHREADS', '4', 1), (19703, 'DETECT_JAPANESE', '0', 1)",
           {dir});
    c->one("INSERT INTO dr$policy_preference VALUES (1970, 1, 19701), (1970, 3, 19703), (1970, 7, 19707)");
    ASSERT_EQ(cmd(10, {pol, "1", "1", "C"}).code, 101) << srv.log();
    ASSERT_EQ(cmd(11, {pol, "1", "1", "1", "C"}).code, 101) << srv.log();
    ASSERT_EQ(cmd(29, {pol, "1", "C"}).code, 101) << srv.log();
  }
  void TearDown() override {
    if (!dir.empty()) std::system(("rm -rf " + dir).c_str());
  }
  Reply cmd(int code, const std::vector<std::optional<std::string>> &args) {
    return pgtest::submit(*c, code, args, 120);
  }
  std::string keys(const std::string &query) { return pgtest::keysof(*c, pol, query); }
  std::string docid(const std::string &key) {
    return c->one("SELECT docid::text FROM qurl.dr_01970_ktb WHERE textkey = $1", {key}).value_or("");
  }
};

TEST_F(UrlServer, IndexesEveryPageAndNamesTheUrlsThatFail) {
  const std::string b = web.base();
  struct {
    const char *word, *keys;
  } const found[] = {
      {"alphaword", "1"}, {"bravoword", "2"}, {"charlieword", "3"}, {"movedword", "4"},
      {"localword", "5"}, {"title", ""},      {"href", ""},
  };
  for (const auto &f : found) EXPECT_EQ(keys(f.word), f.keys) << f.word;
  // Each failure is a service request with its message and URL.
  struct {
    const char *key;
    std::string msg, url;
  } const failed[] = {
      {"6", "DRG-11605", b + "/gone"},
      {"7", "DRG-11611", "ftp://x/"},
      {"8", "DRG-11614", b + "/bighead"},
  };
  std::string requests;
  for (const std::string &r : c->col("SELECT coalesce(par[2], '') || ': ' || errors FROM svcq.request"
                                     " WHERE svctype = 'INDEX_SVC'"))
    requests += r + "\n";
  for (const auto &f : failed) {
    size_t at = requests.find(std::string(f.key) + ": ");
    ASSERT_NE(at, std::string::npos) << f.key << "\n" << requests;
    std::string line = requests.substr(at, requests.find('\n', at) - at);
    EXPECT_NE(line.find(f.msg), std::string::npos) << line;
    EXPECT_NE(line.find(f.url), std::string::npos) << line;
  }
  // A row given a new URL is fetched again from there.
  c->one("UPDATE qurl.pages SET url = $1 WHERE id = 2", {b + "/d"});
  c->one("CALL dmlq.queue_change(1970, '2')");
  ASSERT_TRUE(pgtest::waitrow(*c, "SELECT count(*) FROM dmlq.queue", "0", 60));
  ASSERT_TRUE(srv.waitlog("End batch, return code is 0\n", 60)) << srv.log();
  EXPECT_EQ(keys("deltaword"), "2");
  EXPECT_EQ(keys("bravoword"), "");
}

TEST_F(UrlServer, HighlightsRewriteLinksAgainstTheFinalUrl) {
  const std::string b = web.base();
  c->one("CREATE TABLE mu (id integer, document text)");
  const std::string id = docid("4");
  Reply r = cmd(16, {pol, "movedword", "4", id, "NULL", "NULL", "NULL", "NULL", "mu", ",[,]"});
  ASSERT_EQ(r.code, 101) << r.arg(1) << srv.log();
  std::string doc = c->one("SELECT document FROM mu").value_or("");
  EXPECT_NE(doc.find("[movedword]"), std::string::npos) << doc;
  EXPECT_NE(doc.find("href=\"" + b + "/docs/new/next.html\""), std::string::npos) << doc;
  EXPECT_NE(doc.find("src=\"" + b + "/i.png\""), std::string::npos) << doc;
  // Highlights leave no thread and no descriptor of the server behind.
  const std::string proc = "/proc/" + std::to_string(srv.pid);
  const int threads = entries(proc + "/task"), fds = entries(proc + "/fd");
  for (int i = 0; i < 100; i++) {
    c->one("TRUNCATE mu");
    Reply h = cmd(16, {pol, "movedword", "4", id, "NULL", "NULL", "NULL", "NULL", "mu", ",[,]"});
    ASSERT_EQ(h.code, 101) << h.arg(1);
  }
  EXPECT_EQ(entries(proc + "/task"), threads);
  EXPECT_EQ(entries(proc + "/fd"), fds);
}

}  // namespace
