// Documents from URLs: 2,000 pages of 20 KB on a loopback HTTP server that
// answers each request after 20 ms, fetched eight at a time three ways:
//   - through the URL data store of a veksrv process (populate of a policy
//     with MAXTHREADS 8, indexing included);
//   - through the store's fetch path alone (the fetch engine with eight
//     threads, the rest of each body received on the main thread in pieces
//     of 1 KB, as the store does), no database and no indexing;
//   - with curl driven by xargs -P 8 over the same URL list.
// Each is run three times; the median documents/s are printed. Target: the
// store at least as fast as curl at the same parallelism. Needs the PG
// environment of a cluster with db/install run, and VEK73 at a build tree
// with its lexicons built (target lexicons).
//   kes_bench_url [veksrv path [pages]]
#include <libpq-fe.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/benchdb.h"
#include "dr/drs/drsuf.h"
#include "tests/fixtures/pipe/httpsrv.h"

namespace {

using Clock = std::chrono::steady_clock;
using benchdb::die;
using benchdb::Pq;

int kPages = 2000;  // or the second argument
constexpr int kThreads = 8;
constexpr int kPol = 990300;

// The veksrv of the run, ended on the way out whatever the way: a run that
// dies must not leave it taking the next run's commands.
pid_t srvpid = 0;

void endsrv() {
  if (srvpid <= 0) return;
  kill(srvpid, SIGTERM);
  waitpid(srvpid, nullptr, 0);
  srvpid = 0;
}

double secs(Clock::time_point a) { return std::chrono::duration<double>(Clock::now() - a).count(); }

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The fetch path of the store without the store: eight threads at a time,
// each document's rest received by the main thread; the pages fetched whole.
int fetchpath(const std::vector<std::string> &urls) {
  drsufcfg cfg{};
  cfg.timeout = 30;
  cfg.urlsize = 256;
  std::vector<std::vector<char>> blocks(urls.size());
  size_t next = 0;
  int running = 0, whole = 0;
  char buf[DRSUF_FIRST];
  if (drsufinit() != DRSUF_OK) die("the fetch engine is up already");
  auto start = [&] {
    blocks[next].assign(drsufslotsize(cfg.urlsize), 0);
    drsufslot *s = drsufslotinit(blocks[next].data(), &cfg);
    std::snprintf(s->url, 256, "%s", urls[next].c_str());
    if (drsufstart(drsufthread, s) != DRSUF_OK) die("a fetch thread did not start");
    next++;
    running++;
  };
  while (next < urls.size() && running < kThreads) start();
  while (running > 0) {
    void *r = nullptr;
    if (drsufwait(&r) != DRSUF_OK) die("the wait failed");
    running--;
    auto *s = static_cast<drsufslot *>(r);
    if (s->status == 200) {
      size_t n = static_cast<size_t>(s->sock->count);
      for (;;) {
        int32_t got = drsufrecv(&cfg, s->sock->fd, buf, sizeof buf);
        if (got <= 0 || got > DRSUF_FIRST) break;
        n += static_cast<size_t>(got);
      }
      whole += n == 20 * 1024;
      drsufclose(s->sock->fd);
    }
    if (next < urls.size()) start();
  }
  drsufterm();
  return whole;
}

int curlrun(const std::string &list) {
  std::string cmd = "xargs -P " + std::to_string(kThreads) +
                    " -n 1 curl -s -o /dev/null -w '%{size_download}\\n' < " + list +
                    " | grep -cx " + std::to_string(20 * 1024);
  FILE *p = popen(cmd.c_str(), "r");
  if (!p) die("xargs could not run");
  int n = 0;
  if (std::fscanf(p, "%d", &n) != 1) n = 0;
  pclose(p);
  return n;
}

}  // namespace

int main(int argc, char **argv) {
  const std::string prog = argc > 1 ? argv[1] : KES_VEKSRV;
  if (argc > 2) kPages = std::max(1, std::atoi(argv[2]));
  // The word lists load their stemming lexicons from $VEK73/admin.
  if (!std::getenv("VEK73")) die("VEK73 is not set: point it at the build tree with the lexicons");
  httpsrv::server web("127.0.0.1", 3600);
  std::vector<std::string> urls;
  const std::string body(20 * 1024, 'w');
  std::string page = "<html><body><p>";
  for (int i = 0; page.size() < body.size() - 32; i++) page += "word" + std::to_string(i % 500) + " ";
  page += "</p></body></html>";
  page.resize(20 * 1024, ' ');
  for (int i = 1; i <= kPages; i++) {
    std::string path = "/p" + std::to_string(i);
    httpsrv::response r{httpsrv::reply(200, page)};
    r.delay_ms = 20;
    web.script(path, std::vector<httpsrv::response>{r});
    urls.push_back(web.base() + path);
  }
  char tmpl[] = "/tmp/kes-urlbench-XXXXXX";
  if (!mkdtemp(tmpl)) die("no scratch folder");
  const std::string dir = tmpl, list = dir + "/urls.txt";
  {
    std::ofstream out(list);
    for (const std::string &u : urls) out << u << "\n";
  }

  Pq pq;
  pq.one("SET client_min_messages = warning");
  pq.one("DROP SCHEMA IF EXISTS kes_urlbench CASCADE");
  // The policies of an earlier run go with their schema.
  for (const char *sql : {"DELETE FROM dr$text_index_log WHERE txil_pol_id BETWEEN $1::integer AND $1::integer + 2",
                          "DELETE FROM dr$policy_preference WHERE ppr_pol_id BETWEEN $1::integer AND $1::integer + 2",
                          "DELETE FROM dr$preference WHERE pre_id / 10 BETWEEN $1::integer AND $1::integer + 2",
                          "DELETE FROM dr$policy WHERE pol_id BETWEEN $1::integer AND $1::integer + 2"})
    pq.one(sql, {std::to_string(kPol)});
  pq.one("CREATE SCHEMA kes_urlbench");
  pq.one("CREATE TABLE kes_urlbench.pages (id integer PRIMARY KEY, url varchar(200))");
  for (int i = 0; i < kPages; i++)
    pq.one("INSERT INTO kes_urlbench.pages VALUES ($1::integer, $2)", {std::to_string(i + 1), urls[i]});
  const std::string log = dir + "/veksrv.log";
  srvpid = benchdb::startsrv(prog, "DQM", log);
  std::atexit(endsrv);

  std::vector<double> store, path, curl;
  int bad = 0;
  for (int run = 0; run < 3; run++) {
    const std::string p = std::to_string(kPol + run);
    pq.one("INSERT INTO dr$policy (pol_id, pol_name, pol_owner, pol_tablename, pol_text_expr,"
           " pol_text_type, pol_key_name, pol_key_type) VALUES ($1::integer, 'URLBENCH' || $1,"
           " 'KES_URLBENCH', 'PAGES', 'URL', 1, 'ID', 2)",
           {p});
    pq.one("INSERT INTO dr$preference (pre_id, pre_name, pre_cla_id, pre_obj_id) VALUES"
           " ($1::integer * 10 + 1, 'URLBENCH' || $1, 1, 4)",
           {p});
    pq.one("INSERT INTO dr$preference_attribute VALUES ($1::integer * 10 + 1, 'MAXTHREADS', '8', 1)", {p});
    pq.one("INSERT INTO dr$policy_preference VALUES ($1::integer, 1, $1::integer * 10 + 1)", {p});
    if (benchdb::submit(pq, 10, {p, "1", "1", "C"}).code != 101) die("begin failed; see " + log);
    auto t = Clock::now();
    if (benchdb::submit(pq, 11, {p, "1", "1", "1", "C"}).code != 101) die("populate failed; see " + log);
    store.push_back(kPages / secs(t));
    benchdb::submit(pq, 29, {p, "1", "C"});
    bad += std::stoi(pq.one("SELECT count(*) FROM svcq.request WHERE svctype = 'INDEX_SVC'"));
    pq.one("DELETE FROM svcq.request WHERE svctype = 'INDEX_SVC'");

    t = Clock::now();
    int whole = fetchpath(urls);
    path.push_back(kPages / secs(t));
    if (whole != kPages) std::printf("fetch path: %d of %d pages whole\n", whole, kPages);

    t = Clock::now();
    whole = curlrun(list);
    curl.push_back(kPages / secs(t));
    if (whole != kPages) std::printf("curl: %d of %d pages whole\n", whole, kPages);
    std::printf("run %d: store %.1f, fetch path %.1f, curl %.1f documents/s\n", run + 1, store.back(),
                path.back(), curl.back());
    std::fflush(stdout);
  }
  // Asked to shut down, the server ends by itself; endsrv only reaps it.
  benchdb::submit(pq, 21, {});
  waitpid(srvpid, nullptr, 0);
  srvpid = 0;
  std::printf("%d pages of 20 KB, 20 ms of latency each, %d at a time; median of 3 runs\n", kPages,
              kThreads);
  std::printf("  URL store through veksrv, indexing included: %8.1f documents/s (%d failed)\n",
              median(store), bad);
  std::printf("  the store's fetch path alone, no indexing:   %8.1f documents/s\n", median(path));
  std::printf("  curl, xargs -P %d:                            %8.1f documents/s\n", kThreads,
              median(curl));
  std::printf("  bound by the latency alone:                  %8.1f documents/s\n",
              kThreads / 0.020);
  std::printf("figure\turl_store_docs_s\t%.1f\t%.1f\t>=1x\n", median(store), median(curl));
  std::printf("figure\turl_fetch_docs_s\t%.1f\t%.1f\t>=1x\n", median(path), median(curl));
  std::system(("rm -rf " + dir).c_str());
  return 0;
}
