// A table of 500 man pages indexed by veksrv processes: the index holds
// every word of a sample of pages at the positions the test engine logs for
// them; after changed and deleted rows are re-indexed it holds the new
// texts; two servers sharing the populate, and a run whose server is killed
// after a flush and resumed, give what one clean run gives.
#include <signal.h>
#include <sys/file.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/fixtures/engine/idxfix.h"

namespace {

using pgtest::Conn;
using pgtest::Reply;
using pgtest::Server;

// The packages whose section-1 pages make the corpus (scripts/packages.txt
// installs them); the first 500 pages in name order are taken.
const char *const kPackages[] = {"bsdextrautils", "binutils-common", "bzip2", "coreutils",
                                 "dpkg", "dpkg-dev", "git-man", "gzip", "man-db",
                                 "ncurses-bin", "openssl", "perl", "procps", "util-linux",
                                 "xz-utils"};
constexpr size_t kPages = 500;
const std::set<std::string> kStops = {"THE", "A", "AN", "AND", "OF", "TO", "IS", "IN"};

std::string run(const std::string &cmd) {
  std::string out;
  if (FILE *p = popen(cmd.c_str(), "r")) {
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

// The pages rendered to plain text (man -l -Tascii | col -b), in name
// order. They are rendered once, in parallel, into a cache in the build
// folder that later runs read; an empty result when the pages are missing.
std::vector<std::string> corpus() {
  std::string cache = KES_BINARY_DIR "/manpages500.cache";
  int lock = open((cache + ".lock").c_str(), O_CREAT | O_RDWR, 0644);
  if (lock >= 0) flock(lock, LOCK_EX);
  std::vector<std::string> pages;
  auto read = [&] {
    std::ifstream in(cache, std::ios::binary);
    for (std::string len; std::getline(in, len);) {
      std::string page(std::stoul(len), '\0');
      in.read(page.data(), static_cast<std::streamsize>(page.size()));
      pages.push_back(std::move(page));
    }
  };
  read();
  if (pages.size() != kPages) {
    pages.clear();
    std::string list = "{ ";
    for (const char *p : kPackages) list += std::string("dpkg -L ") + p + " 2>/dev/null; ";
    list += "} | grep '^/usr/share/man/man1/' | LC_ALL=C sort -u | head -" + std::to_string(kPages);
    std::string files = run(list);
    std::string dir = std::filesystem::temp_directory_path() / ("kes-man-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    unsigned jobs = std::max(2u, std::min(4u, std::thread::hardware_concurrency()));
    std::ofstream(dir + "/list", std::ios::binary) << files;
    run("cd " + dir + " && nl -ba -nrz -w4 list | LC_ALL=C xargs -P " + std::to_string(jobs) +
        " -L1 sh -c 'MANWIDTH=80 man -l -Tascii \"$1\" 2>/dev/null | col -b > \"$0.txt\"'");
    std::ofstream out(cache + ".tmp", std::ios::binary);
    size_t n = 0;
    for (std::string line; n < kPages;) {
      char name[16];
      std::snprintf(name, sizeof name, "%04zu.txt", n + 1);
      std::ifstream in(dir + "/" + name, std::ios::binary);
      if (!in) break;
      std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      out << page.size() << '\n' << page;
      ++n;
    }
    out.close();
    std::filesystem::remove_all(dir);
    if (n == kPages) std::filesystem::rename(cache + ".tmp", cache);
    read();
  }
  if (lock >= 0) close(lock);
  return pages;
}

struct Manpages : ::testing::Test {
  pgtest::Database db;
  std::unique_ptr<Conn> c;
  std::vector<std::unique_ptr<Server>> servers;

  void SetUp() override { PGTEST_NEED_DB(db); }
  // A server of a personality, started up; its mailbox.
  std::string server(const std::string &mask) {
    servers.push_back(std::make_unique<Server>());
    Server &s = *servers.back();
    setenv("NLS_LANG", idxfix::kNls, 1);
    s.start({"-user", db.user(), "-logfile", s.logpath, "-personality", mask}, db.name);
    unsetenv("NLS_LANG");
    EXPECT_TRUE(s.ready()) << s.out();
    // Servers start one after the other: the newest registration is this one.
    auto box = c->one("SELECT mbox FROM draserm.server ORDER BY audsid DESC LIMIT 1");
    return box ? *box : "";
  }
  // Sends a command to one server; its message id.
  int post(const std::string &box, int code, const std::vector<std::string> &args) {
    return pgtest::post(*c, code, {args.begin(), args.end()}, box);
  }
  // Waits for a message's reply; its code.
  int await(int id) {
    Reply r = pgtest::await(*c, id, 300);
    if (r.code != 101) ADD_FAILURE() << "message " << id << ": " << r.arg(1);
    return r.code;
  }
  int send(const std::string &box, int code, const std::vector<std::string> &args) {
    return await(post(box, code, args));
  }
  // Rows of a table from the corpus: ids and texts.
  void load(const std::string &table, const std::vector<std::pair<int, std::string>> &rows) {
    c->one("CREATE TABLE t." + table + " (id integer PRIMARY KEY, body text)");
    for (const auto &[id, text] : rows)
      c->one("INSERT INTO t." + table + " VALUES ($1::integer, $2)", {std::to_string(id), text});
  }
  // The words the test engine logs for the rows of a table, by key.
  std::map<std::string, std::vector<std::string>> tokens(const std::string &box, int pol,
                                                         const std::string &table) {
    idxfix::policy(*c, pol, table, {}, 2);
    Server &s = *servers.front();
    size_t from = s.log().size();
    std::string p = std::to_string(pol);
    send(box, 10, {p, "1", "1", "C"});
    send(box, 11, {p, "1", "1", "1", "C"});
    return idxfix::logged(s.log().substr(from));
  }
  // Begin, populate (this server alone) and end of a policy.
  void build(const std::string &box, int pol) {
    std::string p = std::to_string(pol);
    EXPECT_EQ(send(box, 10, {p, "1", "1", "C"}), 101);
    EXPECT_EQ(send(box, 11, {p, "1", "1", "1", "C"}), 101);
    EXPECT_EQ(send(box, 29, {p, "1", "C"}), 101);
  }
};

TEST_F(Manpages, TheIndexHoldsEveryWordWhereTheTextHasIt) {
  std::vector<std::string> pages = corpus();
  ASSERT_EQ(pages.size(), kPages) << "the man pages of scripts/packages.txt are missing";
  c = std::make_unique<Conn>(db.name);
  c->one("CREATE SCHEMA t");
  std::vector<std::pair<int, std::string>> rows;
  for (size_t i = 0; i < pages.size(); ++i) rows.push_back({static_cast<int>(i + 1), pages[i]});
  load("man", rows);
  std::vector<std::string> stops(kStops.begin(), kStops.end());
  std::string one = server("DQM");
  ASSERT_FALSE(HasFailure());

  // One server, flushing by memory now and then.
  idxfix::policy(*c, 1000, "MAN", stops, 1, {{"MEMORY", "1000000"}});
  build(one, 1000);
  idxfix::Decoded a = idxfix::decode(*c, 1000, DREL_KIND0);
  EXPECT_GT(a.count, 200000u);

  // A sample of pages: every word where the test engine saw it.
  std::vector<std::pair<int, std::string>> sample;
  std::set<std::string> keys;
  for (size_t i = 0; i < rows.size(); i += 37) {
    sample.push_back(rows[i]);
    keys.insert(std::to_string(rows[i].first));
  }
  load("sample", sample);
  auto want = idxfix::expected(tokens(one, 1100, "SAMPLE"), kStops);
  EXPECT_EQ(idxfix::decode(*c, 1000, DREL_KIND0, keys).kept, want);

  // Two servers sharing the populate.
  std::string two = server("D"), three = server("D");
  idxfix::policy(*c, 1001, "MAN", stops);
  EXPECT_EQ(send(one, 10, {"1001", "2", "1", "C"}), 101);
  int p1 = post(two, 11, {"1001", "2", "1", "1", "C"});
  int p2 = post(three, 11, {"1001", "2", "2", "1", "C"});
  EXPECT_EQ(await(p1), 101);
  EXPECT_EQ(await(p2), 101);
  EXPECT_EQ(send(one, 29, {"1001", "1", "C"}), 101);
  idxfix::Decoded b = idxfix::decode(*c, 1001, DREL_KIND0);
  EXPECT_EQ(b.count, a.count);
  EXPECT_EQ(b.hash, a.hash);

  // A run killed after a flush and resumed. The run's only other id
  // reservation, at its end, waits for a lock this test holds, so that the
  // server is killed after its first flush and before its last.
  std::string four = server("D");
  Server &doomed = *servers.back();
  auto sid = c->one("SELECT audsid FROM draserm.server WHERE mbox = $1", {four});
  ASSERT_TRUE(sid);
  idxfix::policy(*c, 1002, "MAN", stops, 1, {{"MEMORY", "1"}});
  EXPECT_EQ(send(one, 10, {"1002", "1", "1", "C"}), 101);
  Conn lock(db.name);
  post(four, 11, {"1002", "1", "1", "1", "C"});
  ASSERT_TRUE(doomed.waitlog("Begin document indexing\n", 120));
  lock.one("BEGIN");
  lock.one("SELECT 1 FROM " + idxfix::object(1002, "lst") + " WHERE ltype = 'F' FOR UPDATE");
  ASSERT_TRUE(doomed.waitlog("index data written to database", 300));
  kill(doomed.pid, SIGKILL);
  doomed.wait();
  ASSERT_TRUE(pgtest::waitrow(*c, "SELECT draserm.alive($1::integer)", "f", 60, {*sid}));
  lock.one("COMMIT");
  EXPECT_EQ(send(one, 11, {"1002", "1", "1", "1", "R"}), 101);
  EXPECT_EQ(send(one, 29, {"1002", "1", "C"}), 101);
  EXPECT_NE(idxfix::objects(*c, 1002).find("kik"), std::string::npos);
  idxfix::Decoded r = idxfix::decode(*c, 1002, DREL_KIND0);
  EXPECT_EQ(r.count, a.count);
  EXPECT_EQ(r.hash, a.hash);

  // Changed and deleted rows, queued and re-indexed.
  std::vector<std::pair<int, std::string>> changed = {{3, pages[499]}, {250, pages[0]},
                                                      {400, "a short new text of 400"}};
  for (const auto &[id, text] : changed)
    c->one("UPDATE t.man SET body = $2 WHERE id = $1::integer", {std::to_string(id), text});
  c->one("DELETE FROM t.man WHERE id IN (5, 300)");
  std::set<std::string> touched = {"3", "250", "400", "5", "300"};
  for (const std::string &k : touched) c->one("CALL dmlq.queue_change(1000, $1)", {k});
  pgtest::waitrow(*c, "SELECT count(*) FROM dmlq.queue", "0", 120);
  ASSERT_EQ(c->one("SELECT count(*) FROM dmlq.queue"), "0");
  load("changed", changed);
  auto now = idxfix::expected(tokens(one, 1101, "CHANGED"), kStops);
  EXPECT_EQ(idxfix::decode(*c, 1000, DREL_KIND0, touched).kept, now);
}

}  // namespace
