// The benchmarks' side of the database: libpq on the database the PG
// environment names, failing the run on any error, documents loaded into a
// table by COPY, and a veksrv process of this build serving that database.
#ifndef KES_BENCH_BENCHDB_H
#define KES_BENCH_BENCHDB_H

#include <libpq-fe.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace benchdb {

// Says why the run cannot go on, under the program's name, and ends it.
[[noreturn]] inline void die(const std::string &why) {
  std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, why.c_str());
  std::exit(1);
}

struct Pq {
  PGconn *c = PQconnectdb("");
  Pq() {
    if (PQstatus(c) != CONNECTION_OK) die(PQerrorMessage(c));
  }
  ~Pq() { PQfinish(c); }
  // Runs a statement with text parameters, or without parameters one or
  // more statements in one round trip; the (last) result, for the caller to
  // clear.
  PGresult *run(const std::string &sql, const std::vector<std::string> &params = {}) {
    std::vector<const char *> v;
    for (const std::string &p : params) v.push_back(p.c_str());
    PGresult *r = params.empty() ? PQexec(c, sql.c_str())
                                 : PQexecParams(c, sql.c_str(), static_cast<int>(v.size()),
                                                nullptr, v.data(), nullptr, nullptr, 0);
    ExecStatusType s = PQresultStatus(r);
    if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK) die(sql + ": " + PQerrorMessage(c));
    return r;
  }
  // The first value of a statement's first row, or "".
  std::string one(const std::string &sql, const std::vector<std::string> &params = {}) {
    PGresult *r = run(sql, params);
    std::string v = PQntuples(r) > 0 && PQnfields(r) > 0 ? PQgetvalue(r, 0, 0) : "";
    PQclear(r);
    return v;
  }
  // Copies documents into table (id, body), one row each, ids from 1.
  void load(const std::string &table, const std::vector<std::string> &docs) {
    PGresult *start = PQexec(c, ("COPY " + table + " (id, body) FROM STDIN").c_str());
    if (PQresultStatus(start) != PGRES_COPY_IN) die(PQerrorMessage(c));
    PQclear(start);
    std::string buf;
    for (size_t i = 0; i < docs.size(); ++i) {
      buf += std::to_string(i + 1) + '\t';
      for (char ch : docs[i]) {
        switch (ch) {
          case '\\': buf += "\\\\"; break;
          case '\t': buf += "\\t"; break;
          case '\n': buf += "\\n"; break;
          case '\r': buf += "\\r"; break;
          default: buf += ch;
        }
      }
      buf += '\n';
      if (buf.size() > (1 << 20) || i + 1 == docs.size()) {
        if (PQputCopyData(c, buf.data(), static_cast<int>(buf.size())) != 1) die(PQerrorMessage(c));
        buf.clear();
      }
    }
    if (PQputCopyEnd(c, nullptr) != 1) die(PQerrorMessage(c));
    PGresult *r = PQgetResult(c);
    if (PQresultStatus(r) != PGRES_COMMAND_OK) die(PQerrorMessage(c));
    PQclear(r);
    while ((r = PQgetResult(c))) PQclear(r);
  }
};

// The reply to a command: its code and its arguments as the array's text.
struct Reply {
  int code = 0;
  std::string args;
};

// Sends a command with up to ten arguments ("" for null) through
// dispatcher.submit and waits for its reply (code 0 when the call failed).
inline Reply submit(Pq &pq, int code, const std::vector<std::string> &args) {
  std::vector<std::string> p = {std::to_string(code)};
  for (int i = 0; i < 10; ++i) p.push_back(i < static_cast<int>(args.size()) ? args[i] : "");
  std::vector<const char *> v;
  for (size_t i = 0; i < p.size(); ++i) v.push_back(i > 0 && p[i].empty() ? nullptr : p[i].c_str());
  PGresult *r = PQexecParams(pq.c,
                             "CALL dispatcher.submit($1::integer, $2, $3, $4, $5, $6, $7, $8, $9, "
                             "$10, $11, 3600)",
                             11, nullptr, v.data(), nullptr, nullptr, 0);
  Reply rep;
  if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1) {
    rep.code = std::atoi(PQgetvalue(r, 0, 1));
    rep.args = PQgetvalue(r, 0, 2);
  } else {
    std::fprintf(stderr, "submit %d: %s", code, PQerrorMessage(pq.c));
  }
  PQclear(r);
  return rep;
}

// The fourth argument of a reply ({NULL,NULL,NULL,name,...}): the result
// table the result-table manager hands out.
inline std::string fourth(const Reply &r) {
  int comma = 0;
  size_t at = 0;
  for (; at < r.args.size() && comma < 3; ++at) comma += r.args[at] == ',';
  return r.args.substr(at, r.args.find(',', at) - at);
}

// The whole of a file, or "" when it cannot be read.
inline std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Starts veksrv prog with a personality and a log file for the PG
// environment's user and database, and waits for its start-up line in the
// log; its process id. Ends the run when the line does not come in 30 s.
inline pid_t startsrv(const std::string &prog, const char *personality, const std::string &log) {
  const char *u = std::getenv("PGUSER");
  const char *d = std::getenv("PGDATABASE");
  if (!d) die("no PG environment: start the private cluster first");
  std::string user = std::string(u ? u : "kestrin") + "@" + d;
  pid_t pid = fork();
  if (pid == 0) {
    setenv("NLS_LANG", "AMERICAN_AMERICA.WE8ISO8859P1", 1);
    execl(prog.c_str(), prog.c_str(), "-user", user.c_str(), "-logfile", log.c_str(),
          "-personality", personality, static_cast<char *>(nullptr));
    std::perror(prog.c_str());
    _exit(127);
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (slurp(log).find("=== Server startup completed. ===") == std::string::npos) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGTERM);
      die(prog + " did not start; see " + log);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return pid;
}

}  // namespace benchdb

#endif
