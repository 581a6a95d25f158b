// Round trip and idle cost of a real veksrv: starts the server program on
// the database the PG environment names (with the database side installed),
// times dispatcher.submit of the add command to its reply, then measures the
// CPU the idle server and its two database sessions use, and shuts it down.
//   kes_bench_srv [veksrv path [commands [idle seconds]]]
// (the veksrv of the same build by default)
#include <libpq-fe.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

}  // namespace

int main(int argc, char **argv) {
  std::string prog = argc > 1 ? argv[1] : KES_VEKSRV;
  int n = argc > 2 ? std::atoi(argv[2]) : 500;
  int idle = argc > 3 ? std::atoi(argv[3]) : 10;
  const char *u = std::getenv("PGUSER");
  const char *d = std::getenv("PGDATABASE");
  if (!d) {
    std::fprintf(stderr, "set the PG environment (PGHOST, PGDATABASE, PGUSER)\n");
    return 1;
  }
  std::string user = std::string(u ? u : "kestrin") + "@" + d;
  std::string logpath = "/tmp/kes-bench-veksrv-" + std::to_string(getpid()) + ".log";

  pid_t pid = fork();
  if (pid == 0) {
    execl(prog.c_str(), prog.c_str(), "-user", user.c_str(), "-logfile", logpath.c_str(),
          static_cast<char *>(nullptr));
    std::perror("exec veksrv");
    _exit(127);
  }
  PGconn *c = PQconnectdb("");
  if (PQstatus(c) != CONNECTION_OK) {
    std::fprintf(stderr, "%s", PQerrorMessage(c));
    kill(pid, SIGTERM);
    return 1;
  }
  for (int i = 0; i < 200 && value(c, "SELECT count(*) FROM draserm.server") == "0"; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

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
  std::printf("round trip of add through veksrv over %d commands: median %.2f ms, p90 %.2f ms, max %.2f ms\n",
              n, ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back());

  // Cold: each command reaches a server that has been idle for a while.
  int ncold = n / 25 > 5 ? n / 25 : 5;
  std::vector<double> cold;
  for (int i = 0; i < ncold; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    auto t0 = clk::now();
    PQclear(exec(c, "CALL dispatcher.submit(201, '2', '40')"));
    cold.push_back(std::chrono::duration<double, std::milli>(clk::now() - t0).count());
  }
  std::sort(cold.begin(), cold.end());
  std::printf("round trip after 1.5 s idle over %d commands: median %.2f ms, max %.2f ms\n", ncold,
              cold[cold.size() / 2], cold.back());

  // The server and its two database sessions, idle.
  std::vector<int> pids = {pid};
  PGresult *r = exec(c, "SELECT pid FROM pg_stat_activity WHERE application_name LIKE 'kestrin%'");
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
  std::printf("idle over %.0f s: veksrv %.2f %%, its %zu database sessions %.2f %%, together %.2f %% "
              "of one core\n",
              secs, server, pids.size() - 1, sessions, server + sessions);

  PQclear(exec(c, "CALL dispatcher.submit(21)"));
  int st = 0;
  waitpid(pid, &st, 0);
  PQfinish(c);
  std::remove(logpath.c_str());
  return WIFEXITED(st) && WEXITSTATUS(st) == 0 ? 0 : 1;
}
