// Speed of the text pipeline over the machine's man pages rendered to plain
// ASCII (repeated up to 50 MB), one document a row, in the database of the PG
// environment (the private cluster of scripts/pgcluster, db/install run):
// the default lexer alone, fed from memory through a test filter (MB/s and
// tokens/s); the whole path of plain-row store, plain-text filter and
// default lexer over the table (MB/s); and, server-side in one statement
// each, the database's to_tsvector('simple', ...) and a plain scan of the
// same rows; and the row store alone in a Latin-1 and in a UTF8 session,
// whose difference is what converting the texts costs. Target: the lexer alone at least 5 times faster per byte than
// to_tsvector. The rendered pages are kept in a cache file (first argument,
// by default mancorpus.bin in the build tree) so that later runs need not render them.
//   kes_bench_lex [cache]
#include <libpq-fe.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/benchdb.h"
#include "bench/mancorpus.h"
#include "dr/drd/drd.h"
#include "dr/drg/drga.h"
#include "dr/drl/drla.h"
#include "dr/drs/drsx.h"
#include "platform/nls/nls.h"
#include "dr/drws/drws.h"
#include "tests/fixtures/db/pguser.h"
#include "tests/fixtures/pipe/pipefix.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kWant = 50u << 20;  // bytes of text at least
constexpr int kPol = 990001;         // dictionary ids of the benchmark's policy

double secs(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

double mb(size_t bytes) { return static_cast<double>(bytes) / (1 << 20); }

using benchdb::die;
using benchdb::Pq;

void cleanup(Pq &pq) {
  pq.one("DROP SCHEMA IF EXISTS kes_lexbench CASCADE");
  for (const char *t : {"dr$policy_preference WHERE ppr_pol_id", "dr$policy WHERE pol_id"})
    pq.one(std::string("DELETE FROM ") + t + " = " + std::to_string(kPol));
  pq.one("DELETE FROM dr$preference WHERE pre_id BETWEEN " + std::to_string(kPol) + " AND " +
         std::to_string(kPol + 9));
}

// The error stack as text.
std::string stack(drsrvstate *st) {
  char buf[4000];
  druestk(st, buf, sizeof buf);
  return buf;
}

struct Run {
  size_t bytes = 0;
  size_t tokens = 0;
  double secs = 0;
};

// Every token of every document the lexer's source hands out.
Run lexall(drsrvstate *st, drobj *lex) {
  const drlexops *ops = drops<drlexops>(lex);
  Run r;
  auto t0 = Clock::now();
  int32_t op = 0;
  char *key = nullptr;
  int rc;
  while ((rc = ops->next(lex, &op, &key)) == 0) {
    drtoken *toks = nullptr;
    int32_t n = 0;
    do {
      rc = ops->tok(lex, 0, &toks, &n);
      if (rc == 1) die("tok failed: " + stack(st));
      r.tokens += static_cast<size_t>(n);
    } while (rc != 2);
  }
  if (rc != 2) die("next failed: " + stack(st));
  r.secs = secs(t0, Clock::now());
  return r;
}

// Every byte of every document of a data store, read as the filter reads
// them: the row store's own cost, conversion into the session's set included.
Run readall(drsrvstate *st, drobj *ds) {
  const drdsops *ops = drops<drdsops>(ds);
  if (ops->start(ds, 1, 1, 'C', 0) != 0) die("batch not started: " + stack(st));
  Run r;
  std::vector<char> buf(32767);
  auto t0 = Clock::now();
  int32_t op = 0;
  char key[DRDS_KEYSIZE];
  int rc;
  while ((rc = ops->next(ds, &op, key)) == 0) {
    int32_t got = 0;
    while (ops->read(ds, buf.data(), static_cast<int32_t>(buf.size()), &got) == 0) r.bytes += static_cast<size_t>(got);
  }
  if (rc != 2) die("next failed: " + stack(st));
  r.secs = secs(t0, Clock::now());
  return r;
}

void line(const char *what, const Run &r) {
  std::printf("%-46s %8.1f MB in %7.3f s  %8.1f MB/s", what, mb(r.bytes), r.secs, mb(r.bytes) / r.secs);
  if (r.tokens) std::printf("  %6.2f M tokens/s", static_cast<double>(r.tokens) / r.secs / 1e6);
  std::printf("\n");
}

}  // namespace

int main(int argc, char **argv) {
  if (!std::getenv("PGHOST")) die("no PG environment: start the private cluster first");
  setenv("KESTRIN_HOME", KES_SOURCE_DIR, 0);
  std::string cache = argc > 1 ? argv[1] : KES_MANCORPUS;
  std::vector<std::string> base = mancorpus::pages(cache, kWant);
  if (base.empty()) die("no man pages rendered");
  size_t basebytes = 0;
  for (const auto &p : base) basebytes += p.size();
  std::vector<std::string> docs = base;
  size_t bytes = basebytes;
  for (size_t i = 0; bytes < kWant; ++i) {
    docs.push_back(base[i % base.size()]);
    bytes += docs.back().size();
  }
  std::printf("corpus: %zu man pages, %.1f MB rendered; %zu rows, %.1f MB in all\n\n", base.size(),
              mb(basebytes), docs.size(), mb(bytes));

  Pq pq;
  pq.one("SET client_min_messages = warning");
  cleanup(pq);
  pq.one("CREATE SCHEMA kes_lexbench");
  pq.one("CREATE TABLE kes_lexbench.docs (id integer PRIMARY KEY, body text)");
  auto t0 = Clock::now();
  pq.load("kes_lexbench.docs", docs);
  pq.one("VACUUM ANALYZE kes_lexbench.docs");
  std::printf("loaded in %.1f s\n", secs(t0, Clock::now()));
  const std::string pol = std::to_string(kPol);
  pq.one("INSERT INTO dr$policy (pol_id, pol_name, pol_owner, pol_tablename, pol_text_expr,"
         " pol_text_type, pol_key_name, pol_key_type) VALUES (" + pol +
         ", 'LEXBENCH', 'KES_LEXBENCH', 'DOCS', 'BODY', 8, 'ID', 2)");
  for (int cls : {DRCLS_DATASTORE, DRCLS_FILTER, DRCLS_LEXER, DRCLS_STOPLIST}) {
    const std::string pref = std::to_string(kPol + cls);
    pq.one("INSERT INTO dr$preference (pre_id, pre_name, pre_cla_id, pre_obj_id) VALUES (" + pref +
           ", 'LEXBENCH" + std::to_string(cls) + "', " + std::to_string(cls) + ", 1)");
    pq.one("INSERT INTO dr$policy_preference VALUES (" + pol + ", " + std::to_string(cls) + ", " +
           pref + ")");
  }

  // The session's set: Latin-1 (what the server takes without NLS_LANG),
  // the one the default lexer reads.
  setenv("NLS_LANG", "AMERICAN_AMERICA.WE8ISO8859P1", 1);
  drsrvstate *st = nullptr;
  if (dracnnew(&st) != 0) die("no server state");
  if (dracnlog(st, pgtest::userstring().c_str(), 0) != 0 || drdmini(st) != 0)
    die("log-on failed: " + stack(st));
  drasmtab.ds[1].fn = drsdirnew;
  drasmtab.fil[1].fn = drganew;
  drasmtab.lex[1].fn = drlanew;
  drasmtab.sl[1].fn = drwsanew;
  drdmpol *p = drqpol(st, kPol);
  if (!p) die("no policy: " + stack(st));
  for (int cls : {DRCLS_DATASTORE, DRCLS_FILTER, DRCLS_LEXER, DRCLS_STOPLIST})
    if (drasmobj(st, st->seshp, p, cls) != 0) die("component not built: " + stack(st));

  // The lexer alone, the documents served from memory; the best of three.
  Run alone;
  for (int k = 0; k < 3; ++k) {
    pipefix::MemFilter mem(docs);
    drobj *lex = drlanew(st, st->seshp);
    if (!lex || drops<drlexops>(lex)->bnd(lex, kPol, mem.obj(), p->comp[DRCLS_LEXER - 1].prefid) ||
        drops<drlexops>(lex)->mode(lex, 1))
      die("lexer not bound: " + stack(st));
    Run r = lexall(st, lex);
    r.bytes = bytes;
    if (k == 0 || r.secs < alone.secs) alone = r;
    drops<drlexops>(lex)->free(lex);
  }

  // The whole path over the table.
  drobj *ds = p->comp[DRCLS_DATASTORE - 1].obj, *lex = p->comp[DRCLS_LEXER - 1].obj;
  if (drops<drdsops>(ds)->start(ds, 1, 1, 'C', 0) || drops<drlexops>(lex)->mode(lex, 1))
    die("populate not started: " + stack(st));
  Run whole = lexall(st, lex);
  whole.bytes = bytes;

  // The row store alone over the same rows in a Latin-1 session, where
  // every text is converted (and what the set lacks replaced), and in a
  // UTF8 session, where the text is handed out as it comes; the best of
  // three each.
  Run latin, utf8;
  drsrvstate *st8 = nullptr;
  setenv("NLS_LANG", "AMERICAN_AMERICA.UTF8", 1);
  if (dracnnew(&st8) != 0) die("no UTF8 server state");
  unsetenv("NLS_LANG");
  if (dracnlog(st8, pgtest::userstring().c_str(), 0) != 0 || drdmini(st8) != 0)
    die("log-on failed: " + stack(st8));
  drdmpol *p8 = drqpol(st8, kPol);
  if (!p8 || drasmobj(st8, st8->seshp, p8, DRCLS_DATASTORE) != 0) die("no UTF8 store: " + stack(st8));
  for (int k = 0; k < 3; ++k) {
    Run a = readall(st, ds), b = readall(st8, p8->comp[DRCLS_DATASTORE - 1].obj);
    if (k == 0 || a.secs < latin.secs) latin = a;
    if (k == 0 || b.secs < utf8.secs) utf8 = b;
  }
  if (whole.tokens != alone.tokens)
    std::printf("note: %zu tokens from the table, %zu from memory\n", whole.tokens, alone.tokens);

  // The database over the same rows, each timed inside one statement; the
  // scan first, so that both find the rows in its buffers alike.
  pq.one("CREATE FUNCTION pg_temp.timed(q text) RETURNS double precision LANGUAGE plpgsql AS $$"
         " DECLARE t0 timestamptz; r bigint; BEGIN t0 := clock_timestamp(); EXECUTE q INTO r;"
         " RETURN extract(epoch FROM clock_timestamp() - t0); END $$");
  auto timed = [&](const char *q) {
    return std::stod(pq.one(std::string("SELECT pg_temp.timed('") + q + "')"));
  };
  const char *scanq = "SELECT sum(length(body)) FROM kes_lexbench.docs";
  const char *tsq = "SELECT sum(length(to_tsvector(''simple'', body))) FROM kes_lexbench.docs";
  timed(scanq);
  Run scan{bytes, 0, timed(scanq)};
  Run ts{bytes, 0, timed(tsq)};

  std::printf("\n");
  line("default lexer alone (from memory)", alone);
  line("row store + plain-text filter + default lexer", whole);
  line("to_tsvector('simple') in one statement", ts);
  line("plain scan of the same rows", scan);
  std::printf("\nlexer alone per byte: %.1f times to_tsvector's speed (target: 5)\n",
              ts.secs / alone.secs);
  std::printf("whole path per byte: %.1f times to_tsvector's speed\n", ts.secs / whole.secs);
  line("row store alone, Latin-1 session (converted)", latin);
  line("row store alone, UTF8 session (as it comes)", utf8);
  // The two sessions differ in more than the conversion (each its own
  // backend and caches), so the conversion is also timed alone, over the
  // same documents, as the row store does it: one call a document.
  const nlscs *latin1 = dracncs(st);
  std::vector<char> out;
  double conv = 0;
  for (int k = 0; k < 3; ++k) {
    auto c0 = Clock::now();
    size_t replaced = 0;
    for (const auto &d : docs) {
      out.resize(d.size() + 16);
      size_t used = 0;
      if (nlsfromutf8(latin1, out.data(), out.size(), d.data(), d.size(), &used, &replaced) < 0)
        die("conversion failed");
    }
    double t = secs(c0, Clock::now());
    if (k == 0 || t < conv) conv = t;
  }
  std::printf("sessions' difference: %+.1f %% of the whole path's time\n",
              100.0 * (latin.secs - utf8.secs) / whole.secs);
  std::printf("conversion into Latin-1 alone: %.3f s, %.1f %% of the whole path's time (target: at most 5)\n",
              conv, 100.0 * conv / whole.secs);
  // The figures for scripts/bench.
  std::printf("figure\tlexer_mb_per_s\t%.3f\t%.3f\t>=5x\n", mb(alone.bytes) / alone.secs,
              mb(ts.bytes) / ts.secs);
  std::printf("figure\tlatin1_vs_utf8_store_pct\t%.3f\t-\t<=5\n",
              100.0 * (latin.secs - utf8.secs) / whole.secs);
  std::printf("figure\tlatin1_conversion_pct\t%.3f\t-\t<=5\n", 100.0 * conv / whole.secs);

  drasmrel(st8, p8);
  dracnlof(st8);
  dracnfre(&st8);

  drasmrel(st, p);
  dracnlof(st);
  dracnfre(&st);
  cleanup(pq);
  return 0;
}
