// The fetch engine and the HTTP client against a loopback server.
#include "dr/drs/drsuf.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <memory>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "tests/fixtures/pipe/httpsrv.h"

namespace {

constexpr int32_t kUrlsize = 256;

drsufcfg makecfg(int timeout = 30, const char *proxy = "", const char *noproxy = "") {
  drsufcfg c{};
  c.timeout = timeout;
  c.urlsize = kUrlsize;
  std::snprintf(c.http_proxy, sizeof c.http_proxy, "%s", proxy);
  EXPECT_EQ(drsufnoproxy(&c, noproxy), 0);
  return c;
}

// A slot in its own block, fetched on the calling thread.
struct fetch {
  std::vector<char> block;
  drsufslot *s;
  fetch(const drsufcfg *cfg, const std::string &url) : block(drsufslotsize(cfg->urlsize), 0) {
    s = drsufslotinit(block.data(), cfg);
    std::snprintf(s->url, static_cast<size_t>(cfg->urlsize), "%s", url.c_str());
  }
  ~fetch() { drsufclose(s->sock->fd); }
  // The first bytes and the rest of the body, read as the data store does.
  std::string body() {
    std::string b(s->body, static_cast<size_t>(s->sock->count));
    char buf[1024];
    for (;;) {
      int32_t r = drsufrecv(s->cfg, s->sock->fd, buf, sizeof buf);
      if (r <= 0 || r > 1024) break;
      b.append(buf, static_cast<size_t>(r));
    }
    return b;
  }
};

using httpsrv::deadport;
using httpsrv::openfds;

TEST(FetchClient, SplitsUrls) {
  drsufcfg cfg = makecfg();
  struct {
    std::string url;
    int32_t rc;
    const char *host, *path;
    int32_t port;
  } cases[] = {
      {"http://h.example/a/b#frag", 2, "h.example", "/a/b", 80},
      {"http://h:8080", 2, "h", "/", 8080},
      {"HTTP://h/x?q=1", 2, "h", "/x?q=1", 80},
      {"http://h#only", 2, "h", "/", 80},
      {"http://h:81?q", 2, "h", "/?q", 81},
      {"file:///tmp/a.txt", 1, "", "/tmp/a.txt", 80},
      {"ftp://x/", 11611, "", "", 80},
      {"nocolon", 11611, "", "", 80},
      {"http:///x", 11608, "", "", 80},
      {"http://h:/x", 11608, "", "", 80},
      {"http://h:99999/x", 11608, "", "", 80},
      {"http://h:8o/x", 11608, "", "", 80},
      {"http://h/" + std::string(kUrlsize, 'a'), 11617, "", "", 80},
  };
  for (auto &c : cases) {
    char host[kUrlsize], path[kUrlsize];
    int32_t port = 0;
    EXPECT_EQ(drsufurl(&cfg, c.url.c_str(), host, path, &port), c.rc) << c.url;
    if (c.rc != 1 && c.rc != 2) continue;
    EXPECT_STREQ(host, c.host) << c.url;
    EXPECT_STREQ(path, c.path) << c.url;
    EXPECT_EQ(port, c.port) << c.url;
  }
}

TEST(FetchClient, SplitsNoProxyAtCommas) {
  drsufcfg c{};
  EXPECT_EQ(drsufnoproxy(&c, " a.com, b.com ,,c.org"), 0);
  ASSERT_EQ(c.nnoproxy, 3);
  EXPECT_STREQ(c.no_proxy[0], "a.com");
  EXPECT_STREQ(c.no_proxy[1], "b.com");
  EXPECT_STREQ(c.no_proxy[2], "c.org");
  std::string many;
  for (int i = 0; i < 17; i++) many += "h" + std::to_string(i) + ",";
  EXPECT_EQ(drsufnoproxy(&c, many.c_str()), -1);
}

TEST(FetchClient, FetchesAndFollowsRedirections) {
  httpsrv::server srv;
  std::string b = srv.base();
  std::string big(3000, 'x');
  big[0] = 'B';
  std::string longloc = "http://h/" + std::string(kUrlsize, 'l');
  srv.script("/ok", httpsrv::reply(200, "hello"));
  srv.script("/big", httpsrv::reply(200, big));
  srv.script("/empty", httpsrv::reply(200));
  srv.script("/nf", httpsrv::reply(404, "gone"));
  srv.script("/garbage", "garbage\r\n\r\n");
  srv.script("/r1", httpsrv::redirect(302, b + "/r2"));
  srv.script("/r2", httpsrv::redirect(302, b + "/ok#x"));
  srv.script("/loop", httpsrv::redirect(302, b + "/loop"));
  srv.script("/perm", httpsrv::redirect(301, b + "/perm"));
  srv.script("/noloc", httpsrv::reply(302));
  srv.script("/tofile", httpsrv::redirect(302, "file:///etc/passwd"));
  srv.script("/longloc", httpsrv::redirect(302, longloc));
  srv.script("/bighead", httpsrv::reply(200, "", "X-Pad: " + std::string(1 << 20, 'p') + "\r\n"));
  srv.script("/lower", "HTTP/1.0 302 X\nlocation:   " + b + "/ok\n\n");
  using rs = std::vector<httpsrv::response>;
  srv.script("/rst0", rs{{"", false, true}});
  srv.script("/rsthead", rs{{"HTTP/1.0 200 OK\r\nContent-", false, true}});
  srv.script("/rstbody", rs{{"HTTP/1.0 200 OK\r\n\r\npart", false, true}});
  srv.script("/noise", httpsrv::reply(200, std::string("\0\xff\r\n\n\x80", 6)));
  struct {
    std::string url;
    int32_t status;
    std::string body;     // for 200
    std::string final;    // "" when not checked
    size_t requests;      // requests the server saw
  } cases[] = {
      {b + "/ok", 200, "hello", b + "/ok", 1},
      {b + "/big", 200, big, "", 1},
      {b + "/empty", 200, "", "", 1},
      {b + "/nf", 404, "", "", 1},
      {b + "/garbage", 11607, "", "", 1},
      {b + "/r1", 200, "hello", b + "/ok#x", 3},
      {b + "/loop", 11616, "", "", 3},
      {b + "/perm", 11616, "", "", 3},
      {b + "/noloc", 11616, "", b + "/noloc", 3},
      {b + "/tofile", 302, "", "file:///etc/passwd", 1},
      {b + "/longloc", 11617, "", b + "/longloc", 1},
      {b + "/bighead", 11614, "", "", 1},
      {b + "/lower", 200, "hello", b + "/ok", 2},
      {b + "/rst0", 11614, "", "", 1},
      {b + "/rsthead", 11614, "", "", 1},
      {b + "/rstbody", 11614, "", "", 1},
      {b + "/noise", 200, std::string("\0\xff\r\n\n\x80", 6), "", 1},
      {"", 11619, "", "", 0},
      {"ftp://x/", 11611, "", "", 0},
      {"http:///x", 11608, "", "", 0},
      {"http://nowhere.invalid/", 11612, "", "", 0},
      {"http://127.0.0.1:" + std::to_string(deadport()) + "/", 11621, "", "", 0},
  };
  drsufcfg cfg = makecfg();
  int fds = openfds();
  for (auto &c : cases) {
    size_t before = srv.requests().size();
    fetch f(&cfg, c.url);
    EXPECT_EQ(drsufthread(f.s), f.s) << c.url;
    EXPECT_EQ(f.s->status, c.status) << c.url;
    if (c.status == 200) {
      EXPECT_LE(f.s->sock->count, DRSUF_FIRST) << c.url;
      EXPECT_EQ(f.body(), c.body) << c.url;
    } else {
      EXPECT_EQ(f.s->sock->fd, -1) << c.url;
    }
    if (!c.final.empty()) {
      EXPECT_STREQ(f.s->final, c.final.c_str()) << c.url;
    }
    EXPECT_EQ(srv.requests().size() - before, c.requests) << c.url;
  }
  // Every failure closed its socket; every success's was closed by its fetch.
  // The server closes its ends as it sees the client's close: once it has,
  // it holds none of its own here.
  ASSERT_TRUE(srv.settle());
  EXPECT_EQ(openfds(), fds);
}

TEST(FetchClient, SendsPlainRequestLines) {
  httpsrv::server srv;
  srv.script("/p", httpsrv::reply(200, "x"));
  srv.script("/", httpsrv::reply(200, "root"));
  drsufcfg cfg = makecfg();
  for (std::string u : {srv.base() + "/p#frag", srv.base()}) {
    fetch f(&cfg, u);
    drsufthread(f.s);
    EXPECT_EQ(f.s->status, 200) << u;
  }
  auto rq = srv.requests();
  ASSERT_EQ(rq.size(), 2u);
  EXPECT_EQ(rq[0].raw.rfind("GET /p HTTP/1.0\nFrom: ", 0), 0u) << rq[0].raw;
  EXPECT_EQ(rq[1].target, "/");
}

TEST(FetchClient, RoutesThroughTheProxyUnlessExempt) {
  httpsrv::server srv;
  srv.script("/d", httpsrv::reply(200, "page"));
  std::string proxy = "127.0.0.1:" + std::to_string(srv.proxyport());
  drsufcfg cfg = makecfg(30, proxy.c_str(), "localhost");
  std::string port = std::to_string(srv.port());
  for (std::string u : {"http://localhost:" + port + "/d", "http://127.0.0.1:" + port + "/d"}) {
    fetch f(&cfg, u);
    drsufthread(f.s);
    EXPECT_EQ(f.s->status, 200) << u;
    EXPECT_EQ(f.body(), "page") << u;
  }
  auto rq = srv.requests();
  ASSERT_EQ(rq.size(), 2u);
  EXPECT_FALSE(rq[0].proxy);
  EXPECT_EQ(rq[0].target, "/d");
  EXPECT_TRUE(rq[1].proxy);
  EXPECT_EQ(rq[1].target, "http://127.0.0.1:" + port + "/d");
}

TEST(FetchClient, GivesUpOnASilentServer) {
  httpsrv::server srv;
  srv.script("/silent", std::vector<httpsrv::response>{{"", true}});
  drsufcfg cfg = makecfg(1);
  fetch f(&cfg, srv.base() + "/silent");
  drsufthread(f.s);
  EXPECT_EQ(f.s->status, 11614);
  // A server that trickles its header or its first bytes, each byte well
  // within the timeout, is given up at the same time.
  httpsrv::response head{httpsrv::reply(200, "x", "X-Pad: " + std::string(2000, 'p') + "\r\n")};
  head.pace_ms = 50;
  httpsrv::response body{httpsrv::reply(200, std::string(2000, 'b'))};
  body.pace_ms = 50;
  srv.script("/head", std::vector<httpsrv::response>{head});
  srv.script("/body", std::vector<httpsrv::response>{body});
  for (const char *p : {"/head", "/body"}) {
    fetch t(&cfg, srv.base() + p);
    drsufthread(t.s);
    EXPECT_EQ(t.s->status, 11614) << p;
    EXPECT_EQ(t.s->sock->fd, -1) << p;
  }
}

// Threads held at a gate until the test opens it.
struct gate {
  std::mutex mu;
  std::condition_variable cv;
  bool open = false;
  static void *hold(void *arg) {
    gate *g = static_cast<gate *>(arg);
    std::unique_lock<std::mutex> l(g->mu);
    g->cv.wait(l, [g] { return g->open; });
    return arg;
  }
  void release() {
    std::lock_guard<std::mutex> l(mu);
    open = true;
    cv.notify_all();
  }
};

TEST(FetchEngine, RegistersAtMost256AndReapsOneAtATime) {
  ASSERT_EQ(drsufinit(), DRSUF_OK);
  EXPECT_EQ(drsufinit(), DRSUF_FAIL);
  void *code = nullptr;
  EXPECT_EQ(drsufwait(&code), DRSUF_FAIL);
  gate g;
  for (int i = 0; i < DRSUF_THREADS; i++) ASSERT_EQ(drsufstart(gate::hold, &g), DRSUF_OK) << i;
  EXPECT_EQ(drsufstart(gate::hold, &g), DRSUF_FAIL);
  EXPECT_EQ(drsufcount(), DRSUF_THREADS);
  g.release();
  for (int i = DRSUF_THREADS; i > 0; i--) {
    code = nullptr;
    ASSERT_EQ(drsufwait(&code), DRSUF_OK);
    EXPECT_EQ(code, &g);
    EXPECT_EQ(drsufcount(), i - 1);
  }
  EXPECT_EQ(drsufwait(&code), DRSUF_FAIL);
  EXPECT_EQ(drsuflock(1), DRSUF_OK);
  EXPECT_EQ(drsufunlock(1), DRSUF_OK);
  EXPECT_EQ(drsuflock(3), DRSUF_FAIL);
  EXPECT_EQ(drsufterm(), DRSUF_OK);
  EXPECT_EQ(drsufterm(), DRSUF_FAIL);
}

TEST(FetchEngine, RunsFetchesSideBySide) {
  httpsrv::server srv;
  drsufcfg cfg = makecfg();
  std::vector<std::unique_ptr<fetch>> fs;
  for (int i = 0; i < 20; i++) {
    std::string p = "/doc" + std::to_string(i);
    srv.script(p, httpsrv::reply(200, "body " + std::to_string(i)));
    fs.push_back(std::make_unique<fetch>(&cfg, srv.base() + p));
    fs.back()->s->index = i;
  }
  ASSERT_EQ(drsufinit(), DRSUF_OK);
  for (auto &f : fs) ASSERT_EQ(drsufstart(drsufthread, f->s), DRSUF_OK);
  std::vector<bool> seen(fs.size());
  for (size_t i = 0; i < fs.size(); i++) {
    void *code = nullptr;
    ASSERT_EQ(drsufwait(&code), DRSUF_OK);
    drsufslot *s = static_cast<drsufslot *>(code);
    ASSERT_FALSE(seen[static_cast<size_t>(s->index)]);
    seen[static_cast<size_t>(s->index)] = true;
    EXPECT_EQ(s->status, 200);
    EXPECT_EQ(fs[static_cast<size_t>(s->index)]->body(), "body " + std::to_string(s->index));
  }
  EXPECT_EQ(drsufcount(), 0);
  EXPECT_EQ(drsufterm(), DRSUF_OK);
}

}  // namespace
