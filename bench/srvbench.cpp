// Round trip and idle cost of a real veksrv: starts the server program on
// the database the PG environment names (with the database side installed),
// times dispatcher.submit of the add command to its reply (at once after
// the last, and after the server was idle for 5 s), measures the CPU the
// idle server and its two database sessions use (beside 150 idle sessions
// of users, which count too), then the commands per
// second that 20 submitting sessions get from one server and from two, and
// shuts the servers down. Besides the text, each figure is printed once on a
// line "figure<TAB>name<TAB>ours<TAB>peer<TAB>target" for scripts/bench; the
// peer of the round trip is the database's own round trip of "SELECT 1".
//   kes_bench_srv [veksrv path [commands [idle seconds]]]
// (the veksrv of the same build by default)
#include <libpq-fe.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using clk = std::chrono::steady_clock;

PGresult *exec(PGconn *c, const char *sql) {
  PGresult *r = PQexec(c, sql);
  ExecStatusType st = PQresultStatus(r);
  if (st != PGRES_TUPLES_OK && st != PGRES_COMMAND_OK) {
    std::fprintf(stderr, "%s: %s", sql, PQerrorMessage(c));
    std::exit(1);
  }
  return r;
}

std::string value(PGconn *c, const char *sql) {
  PGresult *r = exec(c, sql);
  std::string v = PQntuples(r) ? PQgetvalue(r, 0, 0) : "";
  PQclear(r);
  return v;
}

// CPU ticks (user and system) a process has used so far.
long ticks(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t close = s.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream rest(s.substr(close + 2));
  std::string f;
  long ut = 0, st = 0;
  for (int i = 3; i <= 15 && rest >> f; ++i) {
    if (i == 14) ut = std::atol(f.c_str());
    if (i == 15) st = std::atol(f.c_str());
  }
  return ut + st;
}

// One figure for scripts/bench: name, ours, the peer's (below 0: none) and
// the target.
void figure(const char *name, double v, const char *target, double peer = -1) {
  if (peer < 0)
    std::printf("figure\t%s\t%.3f\t-\t%s\n", name, v, target);
  else
    std::printf("figure\t%s\t%.3f\t%.3f\t%s\n", name, v, peer, target);
}

// Starts veksrv with its log in logpath; its process id.
pid_t startsrv(const std::string &prog, const std::string &user, const std::string &logpath) {
  pid_t pid = fork();
  if (pid == 0) {
    execl(prog.c_str(), prog.c_str(), "-user", user.c_str(), "-logfile", logpath.c_str(),
          static_cast<char *>(nullptr));
    std::perror("exec veksrv");
    _exit(127);
  }
  return pid;
}

// Waits until n servers are registered.
void registered(PGconn *c, int n) {
  for (int i = 0; i < 400 && std::atoi(value(c, "SELECT count(*) FROM draserm.server").c_str()) < n;
       ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

// Commands per second that `sessions` sessions, each submitting the add
// command one after another, get over `secs` seconds.
double throughput(int sessions, double secs) {
  std::atomic<bool> stop{false};
  std::atomic<long> done{0};
  std::vector<std::thread> ts;
  for (int i = 0; i < sessions; ++i)
    ts.emplace_back([&] {
      PGconn *c = PQconnectdb("");
      while (!stop) {
        PGresult *r = PQexec(c, "CALL dispatcher.submit(201, '2', '40')");
        if (PQresultStatus(r) == PGRES_TUPLES_OK) ++done;
        PQclear(r);
      }
      PQfinish(c);
    });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // all sessions under way
  long d0 = done;
  auto t0 = clk::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(secs));
  double rate = static_cast<double>(done - d0) / std::chrono::duration<double>(clk::now() - t0).count();
  stop = true;
  for (auto &t : ts) t.join();
  return rate;
}

}  // namespace

int main(int argc, char **argv) {
  std::string prog = argc > 1 ? argv[1] : KES_VEKSRV;
  setenv("KESTRIN_HOME", KES_SOURCE_DIR, 0);  // the server's message file
  int n = argc > 2 ? std::atoi(argv[2]) : 500;
  int idle = argc > 3 ? std::atoi(argv[3]) : 20;
  const char *u = std::getenv("PGUSER");
  const char *d = std::getenv("PGDATABASE");
  if (!d) {
    std::fprintf(stderr, "set the PG environment (PGHOST, PGDATABASE, PGUSER)\n");
    return 1;
  }
  std::string user = std::string(u ? u : "kestrin") + "@" + d;
  std::string logpath = "/tmp/kes-bench-veksrv-" + std::to_string(getpid()) + ".log";

  pid_t pid = startsrv(prog, user, logpath);
  PGconn *c = PQconnectdb("");
  if (PQstatus(c) != CONNECTION_OK) {
    std::fprintf(stderr, "%s", PQerrorMessage(c));
    kill(pid, SIGTERM);
    return 1;
  }
  registered(c, 1);

  for (int i = 0; i < 20; ++i) PQclear(exec(c, "CALL dispatcher.submit(201, '2', '40')"));
  std::vector<double> ms;
  for (int i = 0; i < n; ++i) {
    auto t0 = clk::now();
    PGresult *r = exec(c, "CALL dispatcher.submit(201, '2', '40')");
    ms.push_back(std::chrono::duration<double, std::milli>(clk::now() - t0).count());
    if (std::strcmp(PQgetvalue(r, 0, 1), "101") != 0) {
      std::fprintf(stderr, "unexpected reply %s\n", PQgetvalue(r, 0, 1));
      return 1;
    }
    PQclear(r);
  }
  std::sort(ms.begin(), ms.end());
  // The floor beside it: the database's own round trip of a statement that
  // does nothing, from the same client.
  std::vector<double> floor;
  for (int i = 0; i < n; ++i) {
    auto t0 = clk::now();
    PQclear(exec(c, "SELECT 1"));
    floor.push_back(std::chrono::duration<double, std::milli>(clk::now() - t0).count());
  }
  std::sort(floor.begin(), floor.end());
  std::printf("round trip of add through veksrv over %d commands: median %.2f ms, p90 %.2f ms, max %.2f ms\n",
              n, ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back());
  figure("roundtrip_p50_ms", ms[ms.size() / 2], "<=1.0", floor[floor.size() / 2]);
  figure("roundtrip_p90_ms", ms[ms.size() * 9 / 10], "<=2.0", floor[floor.size() * 9 / 10]);

  // Cold: each command reaches a server that has been idle for 5 s.
  std::vector<double> cold;
  for (int i = 0; i < 5; ++i) {
    std::this_thread::sleep_for(std::chrono::seconds(5));
    auto t0 = clk::now();
    PQclear(exec(c, "CALL dispatcher.submit(201, '2', '40')"));
    cold.push_back(std::chrono::duration<double, std::milli>(clk::now() - t0).count());
  }
  std::sort(cold.begin(), cold.end());
  std::printf("round trip after 5 s idle over %zu commands: median %.2f ms, max %.2f ms\n",
              cold.size(), cold[cold.size() / 2], cold.back());
  figure("roundtrip_idle_p50_ms", cold[cold.size() / 2], "<=1.0");

  // The server and its two database sessions, idle, beside 150 idle
  // sessions of users (whose backends count too).
  std::vector<PGconn *> users;
  for (int i = 0; i < 150; ++i) {
    PGconn *u = PQconnectdb("application_name=kes_bench_idle");
    if (PQstatus(u) != CONNECTION_OK) {
      PQfinish(u);
      break;
    }
    users.push_back(u);
  }
  std::vector<int> pids = {pid};
  PGresult *r = exec(c, "SELECT pid FROM pg_stat_activity WHERE application_name LIKE 'kestrin%' "
                        "OR application_name = 'kes_bench_idle'");
  for (int i = 0; i < PQntuples(r); ++i) pids.push_back(std::atoi(PQgetvalue(r, i, 0)));
  PQclear(r);
  std::vector<long> before;
  for (int p : pids) before.push_back(ticks(p));
  auto t0 = clk::now();
  std::this_thread::sleep_for(std::chrono::seconds(idle));
  double secs = std::chrono::duration<double>(clk::now() - t0).count();
  double hz = static_cast<double>(sysconf(_SC_CLK_TCK));
  double server = 0, sessions = 0;
  for (size_t i = 0; i < pids.size(); ++i) {
    double pct = 100.0 * static_cast<double>(ticks(pids[i]) - before[i]) / hz / secs;
    (i == 0 ? server : sessions) += pct;
  }
  std::printf("idle over %.0f s: veksrv %.2f %%, its 2 database sessions and %zu idle ones %.2f %%, "
              "together %.2f %% of one core\n",
              secs, server, users.size(), sessions, server + sessions);
  for (PGconn *u : users) PQfinish(u);
  figure("idle_cpu_pct", server + sessions, "<0.2");

  double one = throughput(20, 5);
  std::printf("20 sessions, one server: %.0f commands/s\n", one);
  figure("cmds_per_s_1srv", one, ">=1668");
  std::string logpath2 = logpath + ".2";
  pid_t pid2 = startsrv(prog, user, logpath2);
  registered(c, 2);
  double two = throughput(20, 5);
  std::printf("20 sessions, two servers: %.0f commands/s\n", two);
  figure("cmds_per_s_2srv", two, ">=3477");
  PQclear(exec(c, "CALL dispatcher.submit(21)"));
  int st2 = 0;
  PQclear(exec(c, "CALL dispatcher.submit(21)"));
  waitpid(pid2, &st2, 0);
  std::remove(logpath2.c_str());

  int st = 0;
  waitpid(pid, &st, 0);
  PQfinish(c);
  std::remove(logpath.c_str());
  return WIFEXITED(st) && WEXITSTATUS(st) == 0 && WIFEXITED(st2) && WEXITSTATUS(st2) == 0 ? 0 : 1;
}
