// Round trip of a command through the database side, and the CPU an idle
// poller with its database uses. Needs the PG environment and the installed
// database side. Until the server program serves commands, a stand-in poller
// here takes them through listener.get_cmd and answers through
// dispatcher.reply, the way the server does.
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

#include "platform/db/db.h"
#include "tests/fixtures/db/pguser.h"

namespace {

using pgtest::userstring;

void die(kdblda* lda, int rc, const char* what) {
  char b[2050];
  kdberror(lda, rc, b, sizeof b);
  std::fprintf(stderr, "%s failed: %s\n", what, b);
  std::exit(1);
}

struct Slot {
  uint16_t len = 0;
  int16_t ind = -1;
  char text[2000];
};

// The stand-in poller: registers, polls and answers add (201) and stops on 21.
struct Poller {
  kdblda lda{};
  char name[30] = {0}, mbox[30] = {0}, mask[31] = "DQM";
  int32_t sid = 0;
  std::atomic<bool> stop{false};
  std::atomic<long> polls{0};

  void start() {
    std::string u = userstring();
    if (int rc = kdblogon(&lda, u.c_str(), -1)) die(&lda, rc, "log-on");
    kdbcda c{};
    int16_t i1 = -1, i2 = -1;
    int rc = kdbopen(&c, &lda, KDB_TRANSPORT);
    if (!rc) rc = kdbparse(&c, "CALL draserm.add(:person_mask, :name, :addr, :audsid)");
    if (!rc) rc = kdbbndrv(&c, ":person_mask", mask, sizeof mask, KDB_STRING) |
                  kdbbndrv(&c, ":name", name, sizeof name, KDB_STRING, &i1) |
                  kdbbndrv(&c, ":addr", mbox, sizeof mbox, KDB_STRING, &i2) |
                  kdbbndrv(&c, ":audsid", &sid, 4, KDB_INTEGER);
    if (!rc) rc = kdbexec(&c);
    if (rc) die(&lda, rc, "draserm.add");
    kdbclose(&c);
  }

  void run() {
    kdbcda poll{}, reply{};
    int rc = kdbopen(&poll, &lda, KDB_TRANSPORT);
    if (!rc) rc = kdbparse(&poll,
        "CALL listener.get_cmd_blk(:sid, :mbox, :pmask, :cmd_type, :disp_id, "
        ":disp_return_address, :disp_user, :disp_command, :disp_arg1, :disp_arg2, :disp_arg3, "
        ":disp_arg4, :disp_arg5, :disp_arg6, :disp_arg7, :disp_arg8, :disp_arg9, :disp_arg10, "
        ":dml_numpkeys, :dml_cid, :error_stack)");
    if (!rc) rc = kdbopen(&reply, &lda, KDB_TRANSPORT);
    if (!rc) rc = kdbparse(&reply,
        "CALL dispatcher.reply(:address, :id, :command, :arg1, :arg2, :arg3, :arg4, :arg5, "
        ":arg6, :arg7, :arg8, :arg9, :arg10)");
    if (rc) die(&lda, rc, "parse");
    int32_t type = 0, id = 0, command = 0, numpkeys = 500, cid = 0, code = 101;
    char stack[2000];
    Slot ret, user, args[10], out[10];
    while (!stop) {
      stack[0] = 0;
      ret.ind = user.ind = -1;
      numpkeys = 500;
      rc = kdbbndrv(&poll, ":sid", &sid, 4, KDB_INTEGER) |
           kdbbndrv(&poll, ":mbox", mbox, sizeof mbox, KDB_STRING) |
           kdbbndrv(&poll, ":error_stack", stack, sizeof stack, KDB_STRING) |
           kdbbndrv(&poll, ":pmask", mask, sizeof mask, KDB_STRING) |
           kdbbndrv(&poll, ":cmd_type", &type, 4, KDB_INTEGER) |
           kdbbndrv(&poll, ":disp_return_address", ret.text, 2000, KDB_VARCHAR2, &ret.ind, &ret.len) |
           kdbbndrv(&poll, ":disp_user", user.text, 2000, KDB_VARCHAR2, &user.ind, &user.len) |
           kdbbndrv(&poll, ":disp_command", &command, 4, KDB_INTEGER) |
           kdbbndrv(&poll, ":disp_id", &id, 4, KDB_INTEGER) |
           kdbbndrv(&poll, ":dml_cid", &cid, 4, KDB_INTEGER) |
           kdbbndrv(&poll, ":dml_numpkeys", &numpkeys, 4, KDB_INTEGER);
      for (int i = 0; i < 10; ++i) {
        args[i].ind = -1;
        std::string n = ":disp_arg" + std::to_string(i + 1);
        rc |= kdbbndrv(&poll, n.c_str(), args[i].text, 2000, KDB_VARCHAR2, &args[i].ind, &args[i].len);
      }
      if (rc) die(&lda, rc, "bind");
      rc = kdbexec(&poll);
      if (rc && rc != KDB_NULLVALUE) die(&lda, rc, "listener.get_cmd");
      ++polls;
      if (type != 2) continue;
      for (auto& o : out) o.ind = -1;
      if (command == 201) {
        long sum = std::atol(std::string(args[0].text, args[0].len).c_str()) +
                   std::atol(std::string(args[1].text, args[1].len).c_str());
        int n = std::snprintf(out[2].text, sizeof out[2].text, "%ld", sum);
        out[2].len = static_cast<uint16_t>(n);
        out[2].ind = 0;
      }
      rc = kdbbndrv(&reply, ":address", ret.text, 2000, KDB_VARCHAR2, &ret.ind, &ret.len) |
           kdbbndrv(&reply, ":id", &id, 4, KDB_INTEGER) |
           kdbbndrv(&reply, ":command", &code, 4, KDB_INTEGER);
      for (int i = 0; i < 10; ++i) {
        std::string n = ":arg" + std::to_string(i + 1);
        rc |= kdbbndrv(&reply, n.c_str(), out[i].text, 2000, KDB_VARCHAR2, &out[i].ind, &out[i].len);
      }
      if (rc || (rc = kdbexec(&reply))) die(&lda, rc, "dispatcher.reply");
      if (command == 21) break;
    }
    kdbclose(&poll);
    kdbclose(&reply);
  }

  void finish() {
    kdbcda c{};
    if (kdbopen(&c, &lda, KDB_TRANSPORT) == 0 && kdbparse(&c, "CALL draserm.del(:name)") == 0 &&
        kdbbndrv(&c, ":name", name, sizeof name, KDB_STRING) == 0)
      kdbexec(&c);
    kdbclose(&c);
    kdblogoff(&lda);
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

  kdblda lda{};
  std::string u = userstring();
  if (int rc = kdblogon(&lda, u.c_str(), -1)) die(&lda, rc, "log-on");
  kdbcda c{};
  int rc = kdbopen(&c, &lda, KDB_TRANSPORT);
  if (!rc) rc = kdbparse(&c, "CALL dispatcher.submit(:command, :a, :b, timeout_s => 30, "
                             "reply_code => :reply_code, target_mbox => :mbox)");
  int32_t command = 201, code = 0;
  char a[] = "2", b[] = "40";
  if (!rc) rc = kdbbndrv(&c, ":command", &command, 4, KDB_INTEGER) |
                kdbbndrv(&c, ":a", a, sizeof a, KDB_STRING) | kdbbndrv(&c, ":b", b, sizeof b, KDB_STRING) |
                kdbbndrv(&c, ":reply_code", &code, 4, KDB_INTEGER) |
                kdbbndrv(&c, ":mbox", srv.mbox, sizeof srv.mbox, KDB_STRING);
  if (rc) die(&lda, rc, "submit parse");
  // One series of submits, each after a pause; prints its figures.
  auto series = [&](const char* what, int count, int pause_ms) {
    std::vector<double> ms;
    for (int i = 0; i < count; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
      auto t0 = std::chrono::steady_clock::now();
      code = 0;
      if ((rc = kdbexec(&c))) die(&lda, rc, "dispatcher.submit");
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
              "stand-in poller over listener.get_cmd and dispatcher.reply:\n");
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
  kdbexec(&c);
  kdbclose(&c);
  kdblogoff(&lda);
  poller.join();
  srv.finish();
  return 0;
}
