// The URL data store over a loopback HTTP server: host groups and the
// dispatch order, groups of maxurls rows, documents handed out as their
// fetches end, statuses and failures as messages that name the URL, the
// size limit, file URLs inside PATH only, the proxy route, the operation
// change of a changed-rows batch, and batches abandoned half-way.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "dr/dras/drasrv.h"
#include "dr/drs/drsurl.h"
#include "dr/drs/tests/dsfix.h"
#include "tests/fixtures/pipe/httpsrv.h"

namespace {

using dsfix::Attrs;

// What one next-document call gave.
struct Got {
  int rc;
  int32_t op;
  std::string key, text;
  int msg;            // the 116xx message of a failure, else 0
  bool urlinmsg;      // the failure's message names the URL of its row
  std::string cur;    // the current URL after the call
};

using httpsrv::deadport;
using httpsrv::openfds;

struct Urls : dsfix::Store {
  int pol = 700;
  std::map<std::string, std::string> urlof;  // key to the URL of its row
  std::string dir;

  void SetUp() override {
    dsfix::Store::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    char tmpl[] = "/tmp/kes-drsurl-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    if (!dir.empty()) std::system(("rm -rf " + dir).c_str());
    dsfix::Store::TearDown();
  }
  // A policy over a table of (key, URL) rows with a URL store of attrs;
  // the store, started on a populate batch.
  drobj *store(const std::vector<std::string> &urls, const Attrs &attrs = {}, bool start = true) {
    ++pol;
    std::string tab = "U" + std::to_string(pol);
    pq->one("CREATE TABLE t." + tab + " (k integer, url varchar(70000))");
    urlof.clear();
    for (size_t i = 0; i < urls.size(); i++) {
      pq->one("INSERT INTO t." + tab + " VALUES ($1::integer, $2)", {std::to_string(i + 1), urls[i]});
      urlof[std::to_string(i + 1)] = urls[i];
    }
    policy(pol, tab, "URL", 1, "K", 2);
    prefer(pol, 4, attrs);
    drobj *ds = build(pol, drsurlnew);
    if (ds && start) {
      EXPECT_EQ(ops(ds)->start(ds, 1, 1, 'C', 0), 0) << stack();
    }
    return ds;
  }
  Got next(drobj *ds) {
    Got g{};
    char key[DRDS_KEYSIZE] = {};
    g.rc = ops(ds)->next(ds, &g.op, key);
    g.key = key;
    if (g.rc == 0) g.text = text(ds);
    if (g.rc == 1) {
      for (int n : stacknums())
        if (n >= 11600 && n < 11700 && !g.msg) g.msg = n;
      std::string u = urlof[g.key];
      g.urlinmsg = !u.empty() && stack().find(u.substr(0, 200)) != std::string::npos;
      drueclr(st);
    }
    const char *c = drsurlcur(ds);
    g.cur = c ? c : "";
    return g;
  }
  // Every document until the end; the call after the end must end again.
  std::vector<Got> all(drobj *ds) {
    std::vector<Got> out;
    for (int i = 0; i < 100000; i++) {
      Got g = next(ds);
      if (g.rc == 2) {
        EXPECT_EQ(g.op, DRSX_OPEND);
        EXPECT_EQ(g.key, "");
        return out;
      }
      out.push_back(g);
    }
    ADD_FAILURE() << "no end";
    return out;
  }
  std::map<std::string, Got> bykey(const std::vector<Got> &v) {
    std::map<std::string, Got> m;
    for (const Got &g : v) m[g.key] = g;
    return m;
  }
};

TEST_F(Urls, DispatchesOneHostGroupAfterAnother) {
  httpsrv::server h1("127.0.0.1"), h2("127.0.0.2"), h3("127.0.0.3");
  for (auto *s : {&h1, &h2, &h3}) s->script("/d", httpsrv::reply(200, "page of " + s->base()));
  drobj *ds = store({h1.base() + "/d", h1.base() + "/d", h2.base() + "/d", h1.base() + "/d",
                     h3.base() + "/d"},
                    {{"MAXTHREADS", "1"}});
  ASSERT_NE(ds, nullptr) << stack();
  // One fetch at a time: the documents come out in dispatch order.
  std::vector<std::string> order;
  for (const Got &g : all(ds)) {
    EXPECT_EQ(g.rc, 0) << g.key;
    order.push_back(g.key);
    EXPECT_EQ(g.text, "page of " + urlof[g.key].substr(0, urlof[g.key].size() - 2));
  }
  EXPECT_EQ(order, (std::vector<std::string>{"1", "3", "4", "5", "2"}));
  EXPECT_EQ(h1.requests().size(), 3u);
  EXPECT_EQ(h1.maxopen(), 1);
  ops(ds)->free(ds);
}

TEST_F(Urls, ReadsRowsInGroupsOfMaxurls) {
  httpsrv::server srv;
  std::vector<std::string> urls;
  for (int i = 1; i <= 600; i++) {
    urls.push_back(srv.base() + "/p" + std::to_string(i));
    srv.script("/p" + std::to_string(i), httpsrv::reply(200, "doc" + std::to_string(i)));
  }
  drobj *ds = store(urls, {{"MAXURLS", "256"}, {"MAXTHREADS", "16"}});
  ASSERT_NE(ds, nullptr) << stack();
  auto *u = drsxof(ds)->url;
  std::vector<int> groups;
  std::vector<Got> got;
  for (;;) {
    Got g = next(ds);
    if (g.rc == 2) break;
    if (u->done == 1) groups.push_back(u->nurls);
    got.push_back(g);
    EXPECT_EQ(g.text, "doc" + g.key);
  }
  EXPECT_EQ(got.size(), 600u);
  EXPECT_EQ(groups, (std::vector<int>{256, 256, 88}));
  EXPECT_EQ(bykey(got).size(), 600u);
  EXPECT_LE(srv.maxopen(), 16);
  ops(ds)->free(ds);
}

TEST_F(Urls, FailuresNameTheirUrl) {
  httpsrv::server srv;
  const std::string b = srv.base();
  using rs = std::vector<httpsrv::response>;
  for (int code : {400, 401, 402, 403, 404, 408, 500})
    srv.script("/s" + std::to_string(code), httpsrv::reply(code, "no"));
  srv.script("/garbage", "garbage\r\n\r\n");
  srv.script("/r1", httpsrv::redirect(302, b + "/r2"));
  srv.script("/r2", httpsrv::redirect(302, b + "/final"));
  srv.script("/final", httpsrv::reply(200, "arrived"));
  srv.script("/loop", httpsrv::redirect(302, b + "/loop"));
  srv.script("/perm", httpsrv::redirect(301, b + "/perm"));
  srv.script("/noloc", httpsrv::reply(301));
  srv.script("/tofile", httpsrv::redirect(302, "file:///etc/passwd"));
  srv.script("/headonly", "HTTP/1.0 200 OK\r\n\r\n");
  srv.script("/max", httpsrv::reply(200, std::string(2000, 'm')));
  srv.script("/over", httpsrv::reply(200, std::string(2001, 'o')));
  srv.script("/firstover", httpsrv::reply(200, std::string(300, 'f')));
  srv.script("/rst", rs{{"HTTP/1.0 200 OK\r\n\r\npart", false, true}});
  srv.script("/bighead", httpsrv::reply(200, "", "X-Pad: " + std::string(1 << 20, 'p') + "\r\n"));
  srv.script("/longloc", httpsrv::redirect(302, b + "/" + std::string(1000, 'l')));
  srv.script("/hugeloc", httpsrv::redirect(302, b + "/" + std::string(100000, 'l')));
  std::string noise;
  for (int i = 0; i < 5000; i++) noise.push_back(static_cast<char>((i * 7919) & 0xff));
  srv.script("/noise", httpsrv::reply(200, noise));
  std::ofstream(dir + "/local.txt") << "local words";
  struct Case {
    std::string url;
    int msg;            // 0: a document
    std::string text;   // of a document
    std::string cur;    // the current URL, when it is not the row's
  };
  const Case cases[] = {
      {b + "/s400", 11601}, {b + "/s401", 11602}, {b + "/s402", 11603}, {b + "/s403", 11604},
      {b + "/s404", 11605}, {b + "/s408", 11606}, {b + "/s500", 11622}, {b + "/garbage", 11607},
      {b + "/r1", 0, "arrived", b + "/final"},
      {b + "/loop", 11616}, {b + "/perm", 11616}, {b + "/noloc", 11616},
      {b + "/tofile", 11622},
      {b + "/headonly", 0, ""},
      {b + "/max", 0, std::string(2000, 'm')},
      {b + "/over", 11618},
      {b + "/rst", 11614},
      {b + "/bighead", 11614},
      {b + "/longloc", 11617},
      {b + "/hugeloc", 11614},
      {b + "/noise", 11618},
      {"ftp://x/", 11611},
      {"http:///x", 11608},
      {"http://nowhere.invalid/", 11612},
      {"http://127.0.0.1:" + std::to_string(deadport()) + "/", 11621},
      {"http://h/" + std::string(600, 'a'), 11617},
      {"file://local.txt", 0, "local words"},
      {"file://../x", 11609},
      {"file://missing", 11609},
  };
  std::vector<std::string> urls;
  for (const Case &c : cases) urls.push_back(c.url);
  drobj *ds = store(urls, {{"MAXDOCSIZE", "2000"}, {"URLSIZE", "512"}, {"PATH", dir}});
  ASSERT_NE(ds, nullptr) << stack();
  auto got = bykey(all(ds));
  ASSERT_EQ(got.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); i++) {
    const Case &c = cases[i];
    const Got &g = got[std::to_string(i + 1)];
    SCOPED_TRACE(c.url.substr(0, 80));
    EXPECT_EQ(g.op, DRSX_OPINDEX);
    if (c.msg) {
      EXPECT_EQ(g.rc, 1);
      EXPECT_EQ(g.msg, c.msg);
      EXPECT_TRUE(g.urlinmsg);
    } else {
      EXPECT_EQ(g.rc, 0);
      EXPECT_TRUE(g.text == c.text) << g.text.size();
    }
  }
  EXPECT_EQ(got["9"].cur, b + "/final");
  // Three requests and no more for a redirection that never ends.
  int loops = 0;
  for (const auto &r : srv.requests()) loops += r.path == "/loop";
  EXPECT_EQ(loops, 3);
  ops(ds)->free(ds);
  // The first bytes a fetch thread receives count against the limit too.
  ds = store({b + "/firstover", b + "/max"}, {{"MAXDOCSIZE", "256"}});
  ASSERT_NE(ds, nullptr) << stack();
  for (const Got &g : all(ds)) EXPECT_EQ(g.msg, 11618) << g.key;
  ops(ds)->free(ds);
}

TEST_F(Urls, ReadsFileUrlsOnlyInsideThePath) {
  std::ofstream(dir + "/a.txt") << "alpha";
  drobj *ds = store({"file://" + dir + "/a.txt"});
  ASSERT_NE(ds, nullptr) << stack();
  std::vector<Got> got = all(ds);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].msg, 11623);
  ops(ds)->free(ds);
  ds = store({"file://" + dir + "/a.txt", "file:///etc/hostname"}, {{"PATH", dir}});
  ASSERT_NE(ds, nullptr) << stack();
  auto m = bykey(all(ds));
  EXPECT_EQ(m["1"].text, "alpha");
  EXPECT_EQ(m["2"].msg, 11609);
  ops(ds)->free(ds);
}

TEST_F(Urls, GoesThroughTheProxyUnlessExempt) {
  httpsrv::server srv;
  srv.script("/d", httpsrv::reply(200, "page"));
  std::string port = std::to_string(srv.port());
  drobj *ds = store({"http://localhost:" + port + "/d", "http://127.0.0.1:" + port + "/d"},
                    {{"HTTP_PROXY", "127.0.0.1:" + std::to_string(srv.proxyport())},
                     {"NO_PROXY", "example.org,localhost"}});
  ASSERT_NE(ds, nullptr) << stack();
  for (const Got &g : all(ds)) EXPECT_EQ(g.text, "page");
  bool direct = false, proxied = false;
  for (const auto &r : srv.requests()) {
    if (!r.proxy && r.target == "/d") direct = true;
    if (r.proxy && r.target == "http://127.0.0.1:" + port + "/d") proxied = true;
  }
  EXPECT_TRUE(direct);
  EXPECT_TRUE(proxied);
  ops(ds)->free(ds);
  // More entries than the table holds are refused when the store is built.
  std::string many;
  for (int i = 0; i < 17; i++) many += (i ? "," : "") + std::string("h") + std::to_string(i);
  EXPECT_EQ(store({"x"}, {{"NO_PROXY", many}}, false), nullptr);
  EXPECT_TRUE(druefind(st, 11624)) << stack();
  drueclr(st);
}

TEST_F(Urls, HandsDocumentsOutAsTheirFetchesEnd) {
  httpsrv::server srv;
  // Each page is answered only once the client of the next one has closed
  // its connection: the fetches end in the reverse of row order.
  std::vector<std::string> urls;
  for (int i = 1; i <= 50; i++) {
    httpsrv::response r{httpsrv::reply(200, "page " + std::to_string(i))};
    if (i < 50) r.after = "/p" + std::to_string(i + 1);
    srv.script("/p" + std::to_string(i), std::vector<httpsrv::response>{r});
    urls.push_back(srv.base() + "/p" + std::to_string(i));
  }
  drobj *ds = store(urls, {{"MAXTHREADS", "64"}});
  ASSERT_NE(ds, nullptr) << stack();
  std::vector<Got> got = all(ds);
  ASSERT_EQ(got.size(), 50u);
  for (size_t i = 0; i < got.size(); i++) {
    EXPECT_EQ(got[i].key, std::to_string(50 - i));
    EXPECT_EQ(got[i].text, "page " + got[i].key);
  }
  // The reverse order needs every fetch under way at once.
  EXPECT_LE(srv.maxopen(), 50);
  ops(ds)->free(ds);
}

TEST_F(Urls, AChangedRowIsDeletedBeforeItIsFetchedAgain) {
  httpsrv::server srv;
  srv.script("/a", httpsrv::reply(200, "page a"));
  char mask[] = "M";
  st->pmask = mask;
  std::string user = db.user();
  st->user = user.data();
  ASSERT_EQ(drasmadd(st), 0) << stack();
  drobj *ds = store({srv.base() + "/a", srv.base() + "/a", ""}, {{"MAXTHREADS", "8"}}, false);
  ASSERT_NE(ds, nullptr) << stack();
  for (const char *k : {"3", "2", "1"})
    pq->one("CALL dmlq.queue_change($1::integer, $2)", {std::to_string(pol), k});
  pq->one("CALL listener.get_cmd($1::integer, $2, 'M', NULL::integer, NULL::integer, NULL, NULL,"
          " NULL::integer, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,"
          " NULL::integer, NULL::integer)",
          {std::to_string(st->audsid), std::string(st->mbox)});
  ASSERT_EQ(ops(ds)->dml(ds), 0) << stack();
  std::vector<Got> got = all(ds);
  // Deletes (empty URLs) succeed without text; the index row of key 3 has
  // an empty URL and fails; no index row comes before its key's delete.
  std::set<std::string> deleted;
  int ok = 0;
  for (const Got &g : got) {
    if (g.op == DRSX_OPDELETE) {
      EXPECT_EQ(g.rc, 0);
      deleted.insert(g.key);
    } else {
      EXPECT_TRUE(deleted.count(g.key)) << g.key << " indexed before it was deleted";
      if (g.key == "3") {
        EXPECT_EQ(g.msg, 11619);
      } else {
        EXPECT_EQ(g.text, "page a");
        ok++;
      }
    }
  }
  EXPECT_EQ(got.size(), 6u);
  EXPECT_EQ(ok, 2);
  pq->one("CALL dmlq.batch_done($1::integer)", {std::to_string(st->audsid)});
  ops(ds)->free(ds);
}

TEST_F(Urls, AnAbandonedBatchLeavesNothingBehind) {
  httpsrv::server srv;
  std::vector<std::string> urls;
  for (int i = 1; i <= 20; i++) {
    srv.script("/p" + std::to_string(i), httpsrv::reply(200, std::string(5000, 'x')));
    urls.push_back(srv.base() + "/p" + std::to_string(i));
  }
  drobj *ds = store(urls, {{"MAXTHREADS", "8"}}, false);
  ASSERT_NE(ds, nullptr) << stack();
  ASSERT_TRUE(srv.settle());
  const int fds = openfds();
  for (int round = 0; round < 20; round++) {
    ASSERT_EQ(ops(ds)->start(ds, 1, 1, 'C', 0), 0) << stack();
    Got g = next(ds);  // one document, as a highlight takes
    EXPECT_EQ(g.rc, 0);
  }
  ASSERT_EQ(ops(ds)->start(ds, 1, 1, 'C', 0), 0) << stack();
  EXPECT_EQ(all(ds).size(), 20u);
  EXPECT_EQ(drsufcount(), 0);
  ASSERT_TRUE(srv.settle());
  EXPECT_EQ(openfds(), fds);
  ASSERT_EQ(ops(ds)->start(ds, 1, 1, 'C', 0), 0) << stack();
  next(ds);
  ops(ds)->free(ds);  // frees what the half-read batch still runs
  EXPECT_EQ(drsufcount(), 0);
  ASSERT_TRUE(srv.settle());
  EXPECT_EQ(openfds(), fds);
}

}  // namespace
