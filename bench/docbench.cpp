// Long documents through veksrv, in the database the PG environment names
// (the private cluster, db/install run): one row of 50 MB against fifty
// rows of 1 MB of the same words, each indexed by begin + populate on a
// fresh veksrv. A long text is read whole once and converted once, so the
// one row should take no more than twice the time of the fifty (target);
// the row has more words than a document may index, so it also shows the
// cost of reading a document past the word limit. Prints seconds, MB/s and
// the error rows each run left.
//   kes_bench_doc [veksrv path]
#include <libpq-fe.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/benchdb.h"

namespace {

using Clock = std::chrono::steady_clock;
using benchdb::die;
using benchdb::Pq;

constexpr int kPol = 990200;  // dictionary ids of the benchmark's policies

struct Run {
  const char *name;
  const char *table;
  int rows;
  int mbytes;  // MB a row
  double secs = 0;
  std::string errors;
};

void build(Pq &pq, const std::string &prog, Run &r, int pol) {
  std::string p = std::to_string(pol);
  // Words of 1 to 9 letters in turn: about 190,000 words a megabyte.
  pq.one(std::string("CREATE TABLE kes_docbench.") + r.table + " (id integer PRIMARY KEY, body text)");
  pq.one(std::string("INSERT INTO kes_docbench.") + r.table +
         " SELECT g, left(repeat('a bb ccc dddd eeeee ffffff ggggggg hhhhhhhh iiiiiiiii ', " +
         std::to_string(r.mbytes * 20000) + "), " + std::to_string(r.mbytes << 20) +
         ") FROM generate_series(1, " + std::to_string(r.rows) + ") g");
  pq.one("INSERT INTO dr$policy (pol_id, pol_name, pol_owner, pol_tablename, pol_text_expr,"
         " pol_text_type, pol_key_name, pol_key_type) VALUES ($1::integer, 'DOCBENCH' || $1,"
         " 'KES_DOCBENCH', $2, 'BODY', 8, 'ID', 2)",
         {p, r.table});
  pq.one("DELETE FROM svcq.request WHERE svctype = 'INDEX_SVC'");
  std::string log = "/tmp/kes-bench-doc-" + std::to_string(getpid()) + ".log";
  pid_t pid = benchdb::startsrv(prog, "D", log);
  auto check = [&](const char *what, const std::string &sql) {
    PGresult *res = pq.run(sql);
    std::string code = PQgetvalue(res, 0, 1);
    if (code != "101") die(std::string(what) + " answered " + code + ": " + PQgetvalue(res, 0, 2));
    PQclear(res);
  };
  check("begin", "CALL dispatcher.submit(10, '" + p + "', '1', '1', 'C', timeout_s => 3600)");
  auto t0 = Clock::now();
  check("populate", "CALL dispatcher.submit(11, '" + p + "', '1', '1', '1', 'C', timeout_s => 3600)");
  r.secs = std::chrono::duration<double>(Clock::now() - t0).count();
  check("shutdown", "CALL dispatcher.submit(21, timeout_s => 60)");
  waitpid(pid, nullptr, 0);
  std::remove(log.c_str());
  r.errors = pq.one("SELECT coalesce(string_agg(left(errors, 90), ' | '), 'none') FROM svcq.request"
                    " WHERE svctype = 'INDEX_SVC'");
}

void cleanup(Pq &pq) {
  pq.one("DROP SCHEMA IF EXISTS kes_docbench CASCADE");
  pq.one("DELETE FROM dr$policy WHERE pol_id BETWEEN " + std::to_string(kPol) + " AND " +
         std::to_string(kPol + 9));
  pq.one("DELETE FROM dr$text_index_log WHERE txil_pol_id BETWEEN " + std::to_string(kPol) +
         " AND " + std::to_string(kPol + 9));
}

}  // namespace

int main(int argc, char **argv) {
  if (!std::getenv("PGHOST")) die("no PG environment: start the private cluster first");
  std::string prog = argc > 1 ? argv[1] : KES_VEKSRV;
  Pq pq;
  pq.one("SET client_min_messages = warning");
  cleanup(pq);
  pq.one("CREATE SCHEMA kes_docbench");
  Run runs[] = {{"fifty rows of 1 MB", "FIFTY", 50, 1}, {"one row of 50 MB", "ONE", 1, 50}};
  int pol = kPol;
  for (Run &r : runs) build(pq, prog, r, pol++);
  for (const Run &r : runs)
    std::printf("%-20s populate %7.2f s  %6.1f MB/s  errors: %s\n", r.name, r.secs, 50.0 / r.secs,
                r.errors.c_str());
  std::printf("\none row of 50 MB takes %.2f times the fifty rows of 1 MB (target: under 2)\n",
              runs[1].secs / runs[0].secs);
  std::printf("figure\tdoc_50mb_s\t%.3f\t-\t-\n", runs[1].secs);
  std::printf("figure\tdoc_50x1mb_s\t%.3f\t-\t-\n", runs[0].secs);
  std::printf("figure\tdoc_one_vs_fifty\t%.3f\t-\t<2\n", runs[1].secs / runs[0].secs);
  cleanup(pq);
  return 0;
}
