// Round trip of a command through the database side, and the CPU an idle
// poller with its database uses. Needs the PG environment and the installed
// database side. The poller is the server's own: registration, the poll
// (listener.get_cmd) and the command table that answers through
// dispatcher.reply, without the rest of the server process.
//   kes_bench_roundtrip [commands [idle seconds]]
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "dr/dras/drasrv.h"
#include "dr/drt/drt.h"
#include "dr/dru/dru.h"
#include "tests/fixtures/db/pguser.h"

namespace {

using pgtest::userstring;

// Prints the error stack of a failed step and ends the benchmark.
void die(drsrvstate* s, const char* what) {
  char b[4000];
  druestk(s, b, sizeof b);
  std::fprintf(stderr, "%s failed: %s\n", what, b);
  std::exit(1);
}

// A logged-on server state whose log goes nowhere.
drsrvstate* logon() {
  drsrvstate* s = nullptr;
  if (dracnnew(&s) != 0) {
    std::fprintf(stderr, "no server state\n");
    std::exit(1);
  }
  if (dracnfop(s, nullptr, 0, "/dev/null", 6, 0, 0, 0, 0, &s->log) != 0) die(s, "log");
  std::string u = userstring();
  if (dracnlog(s, u.c_str(), 0) != 0) die(s, "log-on");
  return s;
}

// The poller: registers, polls and answers through the command table until
// the shutdown command.
struct Poller {
  drsrvstate* s = nullptr;
  char mask[31] = "DQM";
  std::atomic<long> polls{0};

  void start() {
    s = logon();
    s->pmask = mask;
    if (drasmadd(s) != 0) die(s, "draserm.add");
    if (drmini(s) != 0) die(s, "dispatcher");
  }

  void run() {
    static drmcmd cmd, reply;
    static drtldml dml;
    for (;;) {
      int32_t type = 0;
      if (drtlgcmd(s, &type, &cmd, &dml) != 0) die(s, "listener.get_cmd");
      ++polls;
      if (type == DRT_IDLE) drtlwait(s);
      if (type != DRT_CMD) continue;
      int rc = drtlcmd(s, &cmd, &reply);
      if (rc == DRT_SHUT) break;
      if (rc != 0) die(s, "dispatcher.reply");
      dracnchp(s);
    }
  }

  void finish() {
    drmfre(s);
    drasmdel(s);
    dracnlof(s);
    dracnfcl(s, s->log);
    dracnfre(&s);
  }
};

// CPU ticks (user + system) of a process.
long ticks(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t p = s.rfind(')');
  if (p == std::string::npos) return 0;
  std::vector<std::string> f;
  size_t i = p + 2;
  while (i < s.size()) {
    size_t j = s.find(' ', i);
    if (j == std::string::npos) j = s.size();
    f.push_back(s.substr(i, j - i));
    i = j + 1;
  }
  // Fields after the name start at "state" (field 3): utime is 14, stime 15.
  return f.size() > 12 ? std::atol(f[11].c_str()) + std::atol(f[12].c_str()) : 0;
}

int parentof(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t p = s.rfind(')');
  if (p == std::string::npos) return -1;
  return std::atoi(s.c_str() + p + 4);  // ") S ppid"
}

// The cluster's processes: the postmaster (from its socket lock file) and its children.
std::vector<int> clusterpids() {
  std::vector<int> pids;
  const char* host = std::getenv("PGHOST");
  const char* port = std::getenv("PGPORT");
  if (!host) return pids;
  std::ifstream lock(std::string(host) + "/.s.PGSQL." + (port ? port : "5432") + ".lock");
  int pm = 0;
  lock >> pm;
  if (pm <= 0) return pids;
  pids.push_back(pm);
  if (DIR* d = opendir("/proc")) {
    while (dirent* e = readdir(d)) {
      int pid = std::atoi(e->d_name);
      if (pid > 0 && parentof(pid) == pm) pids.push_back(pid);
    }
    closedir(d);
  }
  return pids;
}

long clusterticks() {
  long t = 0;
  for (int pid : clusterpids()) t += ticks(pid);
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  int n = argc > 1 ? std::atoi(argv[1]) : 200;
  int idle = argc > 2 ? std::atoi(argv[2]) : 10;
  Poller srv;
  srv.start();
  std::thread poller([&] { srv.run(); });

  drsrvstate* s = logon();
  druocur c{};
  if (druoprp(s, &c, DRUO_TRANSPORT,
              "CALL dispatcher.submit(:command, :a, :b, timeout_s => 30, "
              "reply_code => :reply_code, target_mbox => :mbox)") != 0)
    die(s, "submit parse");
  int32_t command = 201, code = 0;
  char a[] = "2", b[] = "40";
  if (druobnd(s, &c, ":command", &command, 4, DRUO_INTEGER) != 0 ||
      druobnd(s, &c, ":a", a, sizeof a, DRUO_STRING) != 0 ||
      druobnd(s, &c, ":b", b, sizeof b, DRUO_STRING) != 0 ||
      druobnd(s, &c, ":reply_code", &code, 4, DRUO_INTEGER) != 0 ||
      druobnd(s, &c, ":mbox", srv.s->mbox, sizeof srv.s->mbox, DRUO_STRING) != 0)
    die(s, "submit bind");
  // One series of submits, each after a pause; prints its figures.
  auto series = [&](const char* what, int count, int pause_ms) {
    std::vector<double> ms;
    for (int i = 0; i < count; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
      auto t0 = std::chrono::steady_clock::now();
      code = 0;
      if (druoexe(s, &c) != 0) die(s, "dispatcher.submit");
      ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
      if (code != 101) {
        std::fprintf(stderr, "reply %d instead of 101\n", code);
        std::exit(1);
      }
    }
    std::sort(ms.begin(), ms.end());
    std::printf("  %s (%d commands, %d ms apart): median %.2f ms, 90th percentile %.2f ms, max %.2f ms\n",
                what, count, pause_ms, ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back());
  };
  std::printf("round trip of dispatcher.submit(add 2 40) to its reply, served by the\n"
              "server's poll (listener.get_cmd) and command table (dispatcher.reply):\n");
  series("one after another", n, 7);
  series("each after 2.5 s idle", std::max(5, n / 20), 2500);

  // Idle: nothing queued; the poller waits in get_cmd.
  long ticksec = sysconf(_SC_CLK_TCK);
  long p0 = ticks(getpid()), d0 = clusterticks();
  long polls0 = srv.polls;
  std::this_thread::sleep_for(std::chrono::seconds(idle));
  long p1 = ticks(getpid()), d1 = clusterticks();
  double own = 100.0 * (p1 - p0) / ticksec / idle;
  double db = 100.0 * (d1 - d0) / ticksec / idle;
  std::printf("idle for %d s (%ld polls): poller process %.2f %%, database %.2f %%, "
              "together %.2f %% of one core\n",
              idle, srv.polls - polls0, own, db, own + db);

  command = 21;
  druoexe(s, &c);
  druoend(s, &c);
  dracnlof(s);
  dracnfcl(s, s->log);
  dracnfre(&s);
  poller.join();
  srv.finish();
  return 0;
}
