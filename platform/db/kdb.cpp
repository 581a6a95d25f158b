// The database client layer over libpq: sessions of two connections,
// cursors with prepared statements, bind and define conversions, implicit
// transactions with a savepoint per statement, and the error texts.
// Statement text rewriting and the code tables live in kdbsql.cpp.
#include "platform/db/db.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cfloat>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kHoldBlock = 500;  // rows per FETCH of a held cursor
constexpr Oid kByteaOid = 17;
// Most bytes of the arrays of one execution over arrays; more go row by row.
// The database takes no message past 1 GB and builds each array once more
// from what it is sent.
constexpr size_t kArrayBytes = size_t{256} << 20;
// How long a round trip waits for the database before it asks the
// session's watcher again whether to go on.
constexpr int kWatchMs = 200;

struct Conn {
  PGconn* pg = nullptr;
  bool autocommit = false;
  bool intxn = false;
  bool dead = false;
  std::string why;  // how it was lost, told again to whoever comes next
  std::vector<std::string> pending;  // statements to close with the next round trip
};

struct Bind {
  std::string name;  // upper case, without the colon
  void* buf = nullptr;
  int32_t elemsize = 0;
  int ftype = 0;
  int16_t* ind = nullptr;
  uint16_t* alen = nullptr;
  uint16_t* rcode = nullptr;
  bool array = false;
  uint32_t maxarr = 0;
  uint32_t* curele = nullptr;
};

struct Define {
  void* buf = nullptr;
  int32_t elemsize = 0;
  int ftype = 0;
  int16_t* ind = nullptr;
  uint16_t* alen = nullptr;
  uint16_t* rcode = nullptr;
};

struct Column {
  std::string name;
  Oid type = 0;
  int mod = -1;
};

}  // namespace

struct kdbsess {
  Conn link[3];
  // What a connection opened later needs: the log-on's name, password and
  // database, the client character set, and the fence connection's set-up.
  std::string user, password, database, encoding, fencesetup;
  kdbtracefn trace = nullptr;
  void* tracectx = nullptr;
  kdbwatchfn watch = nullptr;
  void* watchctx = nullptr;
  bool watching = false;  // the watcher runs: round trips it makes are not watched
  int lastrc = 0;
  std::string lasttext;
  unsigned seq = 0;  // names of prepared statements and cursors
  std::mt19937_64 rng{std::random_device{}()};  // the unforeseeable part of those names
  bool losstold = false;  // kdbgone has told of a lost connection
  std::vector<kdbcur*> curs;  // open cursors, cut loose at log-off
};

struct kdbcur {
  kdbsess* sess = nullptr;
  int link = KDB_WORK;
  std::string sql;     // as the caller gave it
  std::string pgsql;   // placeholders rewritten
  std::string stmt;    // prepared statement name; empty when not prepared
  std::vector<std::string> params;  // placeholder names in $n order
  std::vector<Oid> ptypes;          // their types, as the database inferred them
  bool arrays = false;    // an insert of one row that n-row executions send as arrays
  std::string arraystmt;  // that statement, once prepared
  std::vector<Bind> binds;          // by placeholder, same order as params
  std::vector<Define> defines;      // by position - 1
  std::vector<Column> cols;         // described select list
  int kind = KDB_FT_OTHER;
  bool hold = false;
  std::string holdname;  // open server-side cursor, when held
  bool holdopen = false;
  bool holdend = false;
  PGresult* res = nullptr;  // rows of the current query
  int nrows = 0;
  int next = 0;             // next row of res to deliver
  int lastrow = -1;         // row of res delivered last, for long pieces
  int fetchbase = 0;        // row of res that was row 0 of the last fetch (below 0
                            // when the fetch crossed into a new block of a held cursor)
  bool executed = false;
};

namespace {

std::string upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

int setlda(kdblda* lda, int fc, int rc) {
  lda->fc = static_cast<uint8_t>(fc);
  lda->rc = static_cast<uint16_t>(rc);
  return rc;
}

int setcda(kdbcda* cda, int fc, int rc) {
  cda->fc = static_cast<uint8_t>(fc);
  cda->rc = static_cast<uint16_t>(rc);
  cda->v2rc = static_cast<int16_t>(rc);
  return rc;
}

// Record a layer error text on the session.
int fail(kdbsess* s, int rc, const std::string& text) {
  if (s) {
    s->lastrc = rc;
    s->lasttext = text;
  }
  return rc;
}

// Record the error of a failed result or of the connection itself.
int failpg(kdbsess* s, Conn& c, const PGresult* r) {
  if (PQstatus(c.pg) == CONNECTION_BAD) {
    c.dead = true;
    // libpq's text runs over several lines: one line here.
    std::string m;
    for (const char* p = PQerrorMessage(c.pg); *p; ++p) {
      bool blank = *p == '\n' || *p == '\t' || *p == ' ' || *p == '\r';
      if (!blank) m += *p;
      else if (!m.empty() && m.back() != ' ') m += ' ';
    }
    while (!m.empty() && m.back() == ' ') m.pop_back();
    c.why = "08006: lost the connection to the database: " + m;
    return fail(s, KDB_NOTCONNECTED, c.why);
  }
  const char* st = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
  const char* msg = r ? PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  if (!msg) msg = PQerrorMessage(c.pg);
  std::string text = std::string(st ? st : "XX000") + ": " + (msg ? msg : "unknown error");
  while (!text.empty() && text.back() == '\n') text.pop_back();
  int rc = kdbsqlstate(st, msg);
  if (rc == KDB_NOTCONNECTED) {
    c.dead = true;
    c.why = text;
  }
  return fail(s, rc, text);
}

// A connection found lost by a call that kept quiet (a wait, a clean-up)
// is reported by the next one with the reason it was lost.
int notconnected(kdbsess* s, const Conn& c) {
  if (!c.why.empty()) return fail(s, KDB_NOTCONNECTED, c.why);
  return fail(s, KDB_NOTCONNECTED, "08003: not connected to the database");
}

void trace(kdbsess* s, const std::string& text) {
  if (s && s->trace) s->trace(s->tracectx, text.c_str());
}

// Asks the database to cancel what a connection runs now; the statement
// then fails with its own error, which the caller reads as usual.
void cancelnow(Conn& c) {
  PGcancel* k = PQgetCancel(c.pg);
  if (!k) return;
  char err[256];
  PQcancel(k, err, sizeof err);
  PQfreeCancel(k);
}

// The next result of a round trip. While the database works on it, the
// session's watcher is asked every kWatchMs (and at once after a signal)
// whether to go on; when it says no, the statement is cancelled, once, and
// its failure awaited like any result.
PGresult* nextresult(kdbsess* s, Conn& c) {
  if (s && s->watch && !s->watching) {
    int link = static_cast<int>(&c - s->link);
    bool cancelled = false;
    while (PQisBusy(c.pg)) {
      pollfd p{PQsocket(c.pg), POLLIN, 0};
      int n = poll(&p, 1, kWatchMs);
      if (n > 0) {
        if (!PQconsumeInput(c.pg)) break;  // the connection failed: PQgetResult says so
        continue;
      }
      if (n < 0 && errno != EINTR) break;
      if (cancelled) continue;
      s->watching = true;
      int stop = s->watch(s->watchctx, link);
      s->watching = false;
      if (stop) {
        cancelnow(c);
        cancelled = true;
      }
    }
  }
  return PQgetResult(c.pg);
}

// One round trip of several commands in pipeline mode. Each command's
// results are kept; after a failure the rest are skipped by the server.
struct Pipe {
  struct Op {
    enum Kind { Query, Prepared, Prepare, Describe } kind;
    std::string text;  // query text, or statement name
    std::string name;  // for Prepare: the name
    int nparams = 0;   // values given (for Prepare: types given)
    std::vector<Oid> types;  // for Prepare: the parameters' types (none: inferred)
    std::vector<const char*> values;
    std::vector<int> lengths;
    bool keep = false;  // keep its result for the caller
    std::vector<int> formats;  // empty: every value as text
  };
  std::vector<Op> ops;
  std::vector<PGresult*> kept;  // one per op with keep, in order (may be null)
  PGresult* error = nullptr;    // the first failed result
  bool opened = false;          // the pipeline opens the implicit transaction
  bool savepoint = false;       // its commands run under a savepoint
  ~Pipe() {
    for (auto* r : kept)
      if (r) PQclear(r);
    if (error) PQclear(error);
  }
  void query(const std::string& q, bool keep = false) {
    ops.push_back({Op::Query, q, "", 0, {}, {}, {}, keep});
  }
};

// Run a pipeline; 0, or the code of the first failure (recorded on the session).
int runpipe(kdbsess* s, Conn& c, Pipe& p) {
  if (c.dead || !c.pg) return notconnected(s, c);
  // Statements closed since the last round trip go first.
  std::vector<Pipe::Op> closed;
  for (auto& d : c.pending) closed.push_back({Pipe::Op::Query, d, "", 0, {}, {}, {}, false});
  c.pending.clear();
  std::vector<const Pipe::Op*> all;
  for (auto& o : closed) all.push_back(&o);
  for (auto& o : p.ops) all.push_back(&o);
  if (!PQenterPipelineMode(c.pg)) return failpg(s, c, nullptr);
  bool sent = true;
  for (const Pipe::Op* op : all) {
    const Pipe::Op& o = *op;
    int ok = 0;
    switch (o.kind) {
      case Pipe::Op::Query:
        ok = PQsendQueryParams(c.pg, o.text.c_str(), o.nparams, nullptr,
                               o.nparams ? o.values.data() : nullptr,
                               o.nparams ? o.lengths.data() : nullptr,
                               o.formats.empty() ? nullptr : o.formats.data(), 0);
        break;
      case Pipe::Op::Prepared:
        ok = PQsendQueryPrepared(c.pg, o.text.c_str(), o.nparams,
                                 o.nparams ? o.values.data() : nullptr,
                                 o.nparams ? o.lengths.data() : nullptr,
                                 o.formats.empty() ? nullptr : o.formats.data(), 0);
        break;
      case Pipe::Op::Prepare:
        ok = PQsendPrepare(c.pg, o.name.c_str(), o.text.c_str(), o.nparams,
                           o.types.empty() ? nullptr : o.types.data());
        break;
      case Pipe::Op::Describe:
        ok = PQsendDescribePrepared(c.pg, o.text.c_str());
        break;
    }
    if (!ok) {
      sent = false;
      break;
    }
  }
  if (!sent || !PQpipelineSync(c.pg)) {
    int rc = failpg(s, c, nullptr);
    if (!c.dead) {
      // Drain whatever was queued before leaving pipeline mode.
      while (PGresult* r = PQgetResult(c.pg)) PQclear(r);
      PQexitPipelineMode(c.pg);
    }
    return rc;
  }
  int rc = 0;
  // Results arrive op by op, each op's ended by a null; then the sync point.
  size_t idx = 0;
  PGresult* keep = nullptr;
  for (;;) {
    PGresult* r = nextresult(s, c);
    if (!r) {
      if (PQstatus(c.pg) == CONNECTION_BAD) break;
      if (idx < all.size() && all[idx]->keep) p.kept.push_back(keep);
      keep = nullptr;
      if (++idx > all.size() + 2) break;  // never spin on a confused stream
      continue;
    }
    ExecStatusType st = PQresultStatus(r);
    if (st == PGRES_PIPELINE_SYNC) {
      PQclear(r);
      break;
    }
    if (st == PGRES_FATAL_ERROR && !p.error) {
      p.error = r;
    } else if (idx < all.size() && all[idx]->keep && !keep &&
               (st == PGRES_TUPLES_OK || st == PGRES_COMMAND_OK)) {
      keep = r;
    } else {
      PQclear(r);
    }
  }
  if (keep) PQclear(keep);
  if (PQstatus(c.pg) == CONNECTION_BAD) {
    c.dead = true;
    return failpg(s, c, p.error);
  }
  PQexitPipelineMode(c.pg);
  if (p.error) rc = failpg(s, c, p.error);
  return rc;
}

// Run one statement outside any pipeline (commit, roll-back, set).
int simple(kdbsess* s, Conn& c, const char* q) {
  if (c.dead || !c.pg) return notconnected(s, c);
  PGresult* r = PQexec(c.pg, q);
  int rc = 0;
  ExecStatusType st = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
  if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) rc = failpg(s, c, r);
  if (r) PQclear(r);
  return rc;
}

// Wrap the commands of a pipeline for the work connection: open the implicit
// transaction when none is open and the commands may change something, and
// put the commands under a savepoint so that their failure undoes only them.
// Queries and parses outside a transaction run on their own, so that a
// reading server holds no locks between commands.
void wrap(Conn& c, Pipe& p, std::vector<Pipe::Op>& body, bool opens = true) {
  p.opened = !c.autocommit && !c.intxn && opens;
  p.savepoint = !c.autocommit && (c.intxn || opens);
  if (p.opened) p.query("BEGIN");
  if (p.savepoint) p.query("SAVEPOINT kdb_stmt");
  for (auto& o : body) p.ops.push_back(std::move(o));
  if (p.savepoint) p.query("RELEASE SAVEPOINT kdb_stmt");
}

int runwrapped(kdbsess* s, Conn& c, Pipe& p) {
  int rc = runpipe(s, c, p);
  if (c.dead) return rc;
  if (p.opened) c.intxn = true;
  if (rc != 0 && p.savepoint) {
    // Undo the failed statement only. A failure before the savepoint (the
    // transaction was already broken) rolls the whole transaction back.
    std::string keeptext = s->lasttext;
    int keeprc = s->lastrc;
    if (simple(s, c, "ROLLBACK TO SAVEPOINT kdb_stmt; RELEASE SAVEPOINT kdb_stmt") != 0 &&
        !c.dead) {
      simple(s, c, "ROLLBACK");
      c.intxn = false;
    }
    s->lasttext = keeptext;
    s->lastrc = keeprc;
  }
  return rc;
}

kdbcur* curof(kdbcda* cda) { return cda ? cda->cur : nullptr; }

void dropresult(kdbcur* c) {
  if (c->res) PQclear(c->res);
  c->res = nullptr;
  c->nrows = 0;
  c->next = 0;
  c->lastrow = -1;
}

void closehold(kdbcur* c) {
  if (c->holdopen) {
    c->holdopen = false;
    kdbsess* s = c->sess;
    Conn& cn = s->link[c->link];
    if (!cn.dead) {
      // The cursor may be gone with a rolled-back transaction; a failure
      // here is of no interest and must not disturb the last error.
      int keeprc = s->lastrc;
      std::string keeptext = s->lasttext;
      Pipe p;
      std::vector<Pipe::Op> body;
      body.push_back({Pipe::Op::Query, "CLOSE " + c->holdname, "", 0, {}, {}, {}, false});
      wrap(cn, p, body, false);
      runwrapped(s, cn, p);
      s->lastrc = keeprc;
      s->lasttext = keeptext;
    }
  }
  c->holdend = false;
}

// Deallocates a prepared statement with the next round trip. The statement
// may be gone already (code run in the session can drop it), so its
// deallocation must not fail the round trip it joins.
void deallocate(kdbcur* c, const std::string& name) {
  if (name.empty() || !c->sess) return;
  Conn& cn = c->sess->link[c->link];
  if (!cn.dead)
    cn.pending.push_back("DO $kdb$BEGIN EXECUTE 'DEALLOCATE " + name +
                         "'; EXCEPTION WHEN invalid_sql_statement_name THEN NULL; END$kdb$");
}

void unprepare(kdbcur* c) {
  dropresult(c);
  closehold(c);
  deallocate(c, c->arraystmt);
  deallocate(c, c->stmt);
  c->arraystmt.clear();
  c->stmt.clear();
  c->params.clear();
  c->ptypes.clear();
  c->arrays = false;
  c->binds.clear();
  c->defines.clear();
  c->cols.clear();
  c->executed = false;
}

// Prepares the cursor's statement under a fresh name (and, when describe is
// set, reads its select list); 0 or the code. A name that code run in the
// session took already is passed over.
int prepare(kdbsess* s, Conn& cn, kdbcur* c, bool describe) {
  int rc = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    // A name nobody can foresee: code run in the session could otherwise
    // take the names the layer uses next.
    char tag[24];
    std::snprintf(tag, sizeof tag, "%016" PRIx64, s->rng());
    std::string name = "kdb_s" + std::to_string(++s->seq) + "_" + tag;
    Pipe p;
    std::vector<Pipe::Op> body;
    Pipe::Op prep;
    prep.kind = Pipe::Op::Prepare;
    prep.name = name;
    prep.text = c->pgsql;
    body.push_back(std::move(prep));
    if (describe) {
      Pipe::Op desc;
      desc.kind = Pipe::Op::Describe;
      desc.text = name;
      desc.keep = true;
      body.push_back(std::move(desc));
    }
    wrap(cn, p, body, false);
    rc = runwrapped(s, cn, p);
    if (rc && !cn.dead && s->lasttext.compare(0, 6, "42P05:") == 0) continue;
    if (rc) return rc;
    c->stmt = name;
    PGresult* d = p.kept.empty() ? nullptr : p.kept.back();
    if (d) {
      c->ptypes.clear();
      for (int k = 0; k < PQnparams(d); ++k) c->ptypes.push_back(PQparamtype(d, k));
      c->cols.clear();
      for (int k = 0; k < PQnfields(d); ++k)
        c->cols.push_back({PQfname(d, k), PQftype(d, k), PQfmod(d, k)});
      if (c->kind == KDB_FT_OTHER && PQnfields(d) > 0) c->kind = KDB_FT_QUERY;
    }
    return 0;
  }
  return rc;
}

// --- value conversions ---------------------------------------------------

bool israw(int ftype) {
  return ftype == KDB_RAW || ftype == KDB_LONGRAW || ftype == KDB_LONGVARRAW;
}

// Bytes as the database's hex text of bytea.
std::string hextext(const uint8_t* d, size_t n) {
  static const char hexd[] = "0123456789abcdef";
  std::string out(2 + 2 * n, '\0');
  out[0] = '\\';
  out[1] = 'x';
  for (size_t k = 0; k < n; ++k) {
    out[2 + 2 * k] = hexd[d[k] >> 4];
    out[3 + 2 * k] = hexd[d[k] & 15];
  }
  return out;
}

// The text of element i of a bind, or false for NULL. Bytes go as the
// database's hex text, or as they are when bin is set (a bytea parameter
// sent in binary).
bool bindtext(const Bind& b, uint32_t i, std::string& out, int& rc, bool bin = false) {
  if (b.ind && b.ind[i] < 0) return false;
  const uint8_t* p = static_cast<const uint8_t*>(b.buf) + static_cast<size_t>(i) * b.elemsize;
  auto asint = [&](bool sign) -> bool {
    char t[32];
    if (sign) {
      int64_t v = 0;
      switch (b.elemsize) {
        case 1: v = *reinterpret_cast<const int8_t*>(p); break;
        case 2: { int16_t x; std::memcpy(&x, p, 2); v = x; break; }
        case 4: { int32_t x; std::memcpy(&x, p, 4); v = x; break; }
        case 8: { int64_t x; std::memcpy(&x, p, 8); v = x; break; }
        default: rc = KDB_BADCALL; return false;
      }
      std::snprintf(t, sizeof t, "%" PRId64, v);
    } else {
      uint64_t v = 0;
      switch (b.elemsize) {
        case 1: v = *p; break;
        case 2: { uint16_t x; std::memcpy(&x, p, 2); v = x; break; }
        case 4: { uint32_t x; std::memcpy(&x, p, 4); v = x; break; }
        case 8: { uint64_t x; std::memcpy(&x, p, 8); v = x; break; }
        default: rc = KDB_BADCALL; return false;
      }
      std::snprintf(t, sizeof t, "%" PRIu64, v);
    }
    out = t;
    return true;
  };
  size_t n = 0;
  const uint8_t* d = p;
  switch (b.ftype) {
    case KDB_INTEGER: return asint(true);
    case KDB_UNSIGNED: return asint(false);
    case KDB_FLOAT: {
      double v;
      if (b.elemsize == 4) { float f; std::memcpy(&f, p, 4); v = f; }
      else if (b.elemsize == 8) std::memcpy(&v, p, 8);
      else { rc = KDB_BADCALL; return false; }
      char t[40];
      std::snprintf(t, sizeof t, "%.17g", v);
      out = t;
      return true;
    }
    case KDB_STRING:
    case KDB_CHARZ: {
      const void* z = b.elemsize > 0 ? std::memchr(p, 0, b.elemsize) : nullptr;
      n = z ? static_cast<size_t>(static_cast<const uint8_t*>(z) - p)
            : static_cast<size_t>(std::max(b.elemsize, 0));
      break;
    }
    case KDB_VARCHAR: {
      uint16_t l;
      std::memcpy(&l, p, 2);
      n = std::min<size_t>(l, b.elemsize > 2 ? b.elemsize - 2 : 0);
      d = p + 2;
      break;
    }
    case KDB_LONGVARCHAR:
    case KDB_LONGVARRAW: {
      int32_t l;
      std::memcpy(&l, p, 4);
      n = l < 0 ? 0 : std::min<size_t>(l, b.elemsize > 4 ? b.elemsize - 4 : 0);
      d = p + 4;
      break;
    }
    default:  // VARCHAR2, LONG, CHAR, RAW, LONG RAW
      n = b.alen ? std::min<size_t>(b.alen[i], static_cast<size_t>(std::max(b.elemsize, 0)))
                 : static_cast<size_t>(std::max(b.elemsize, 0));
      break;
  }
  if (n == 0) return false;  // an empty value is NULL
  if (israw(b.ftype) && bin) {
    out.assign(reinterpret_cast<const char*>(d), n);
  } else if (israw(b.ftype)) {
    out = hextext(d, n);
  } else {
    out.assign(reinterpret_cast<const char*>(d), n);
  }
  return true;
}

// The bytes of a result value: bytea comes back in hex and is decoded.
std::string valuebytes(const PGresult* r, int row, int col, size_t cap = SIZE_MAX,
                       size_t* full = nullptr) {
  const char* v = PQgetvalue(r, row, col);
  size_t len = static_cast<size_t>(PQgetlength(r, row, col));
  if (PQftype(r, col) == kByteaOid && len >= 2 && v[0] == '\\' && v[1] == 'x') {
    size_t n = (len - 2) / 2;
    if (full) *full = n;
    std::string out(std::min(n, cap), '\0');
    auto hv = [](char c) {
      return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    };
    const char* in = v + 2;
    for (size_t k = 0; k < out.size(); ++k)
      out[k] = static_cast<char>(hv(in[2 * k]) << 4 | hv(in[2 * k + 1]));
    return out;
  }
  if (full) *full = len;
  return std::string(v, std::min(len, cap));
}

// Bytes of the whole characters of v that fit in cap bytes, in the
// connection's client encoding: a text cut to fit never ends inside a
// character.
size_t wholecut(const std::string& v, size_t cap, int enc) {
  if (v.size() <= cap) return v.size();
  size_t n = 0;
  while (n < cap) {
    int w = PQmblenBounded(v.data() + n, enc);
    if (w < 1) w = 1;
    if (n + static_cast<size_t>(w) > cap) break;
    n += static_cast<size_t>(w);
  }
  return n;
}

// The integer a result text holds, when it holds one that the buffer's size
// and signedness can carry: a value with a fraction, out of range or not a
// number gives false with the code (1722 not a number, 1426 does not fit).
bool intvalue(const std::string& v, bool sign, int32_t size, int64_t* sv, uint64_t* uv, int* rc) {
  std::string t = v;
  if (t == "t" || t == "f") t = t == "t" ? "1" : "0";
  errno = 0;
  char* end = nullptr;
  bool whole;
  if (sign) {
    *sv = std::strtoll(t.c_str(), &end, 10);
    whole = end && *end == '\0' && end != t.c_str() && errno == 0;
  } else {
    *uv = std::strtoull(t.c_str(), &end, 10);
    // strtoull takes "-5" as a huge number: a sign makes it a decimal below.
    whole = end && *end == '\0' && end != t.c_str() && errno == 0 &&
            t.find('-') == std::string::npos;
  }
  if (!whole) {
    // A decimal, an exponent, or an integer beyond 64 bits.
    errno = 0;
    long double d = std::strtold(t.c_str(), &end);
    if (!end || *end != '\0' || end == t.c_str()) {
      *rc = KDB_BADNUMBER;
      return false;
    }
    if (!std::isfinite(static_cast<double>(d)) || d != std::floor(d)) {
      *rc = KDB_OVERFLOW;
      return false;
    }
    if (sign) {
      if (d < -9223372036854775808.0L || d >= 9223372036854775808.0L) {
        *rc = KDB_OVERFLOW;
        return false;
      }
      *sv = static_cast<int64_t>(d);
    } else {
      if (d < 0 || d >= 18446744073709551616.0L) {
        *rc = KDB_OVERFLOW;
        return false;
      }
      *uv = static_cast<uint64_t>(d);
    }
  }
  bool fits = true;
  if (sign) {
    switch (size) {
      case 1: fits = *sv >= INT8_MIN && *sv <= INT8_MAX; break;
      case 2: fits = *sv >= INT16_MIN && *sv <= INT16_MAX; break;
      case 4: fits = *sv >= INT32_MIN && *sv <= INT32_MAX; break;
      default: break;
    }
  } else {
    switch (size) {
      case 1: fits = *uv <= UINT8_MAX; break;
      case 2: fits = *uv <= UINT16_MAX; break;
      case 4: fits = *uv <= UINT32_MAX; break;
      default: break;
    }
  }
  if (!fits) *rc = KDB_OVERFLOW;
  return fits;
}

// Store one value (null when isnull) into element i of a buffer; returns 0,
// 1405 or 1406, or 1722 (not a number) or 1426 (a number the buffer cannot
// carry; the buffer is left alone). Text is cut at whole characters of the
// client encoding enc.
int store(void* buf, int32_t elemsize, int ftype, int16_t* ind, uint16_t* alen,
          uint16_t* rcode, uint32_t i, bool isnull, const std::string& v, int enc,
          size_t full = SIZE_MAX) {
  uint8_t* p = static_cast<uint8_t*>(buf) + static_cast<size_t>(i) * elemsize;
  int rc = 0;
  if (isnull || v.empty()) {
    if (ind) ind[i] = -1;
    if (alen) alen[i] = 0;
    rc = ind ? 0 : KDB_NULLVALUE;
    if (rcode) rcode[i] = static_cast<uint16_t>(rc);
    return rcode ? 0 : rc;
  }
  // v may hold only the start of a long value (see kdbfetch): n is the
  // whole value's length.
  size_t n = full == SIZE_MAX ? v.size() : full;
  size_t placed = 0;
  bool trunc = false;
  bool raw = israw(ftype);
  // Room for cap bytes of the value: text is cut at a whole character.
  auto fit = [&](size_t cap) {
    placed = raw ? std::min(n, cap) : wholecut(v, cap, enc);
    trunc = placed < n;
  };
  auto putint = [&](bool sign) {
    if (elemsize != 1 && elemsize != 2 && elemsize != 4 && elemsize != 8) {
      rc = KDB_BADCALL;
      return;
    }
    int64_t sv = 0;
    uint64_t uv = 0;
    if (!intvalue(v, sign, elemsize, &sv, &uv, &rc)) return;
    switch (elemsize) {
      case 1: { if (sign) *reinterpret_cast<int8_t*>(p) = static_cast<int8_t>(sv); else *p = static_cast<uint8_t>(uv); break; }
      case 2: { if (sign) { int16_t x = static_cast<int16_t>(sv); std::memcpy(p, &x, 2); } else { uint16_t x = static_cast<uint16_t>(uv); std::memcpy(p, &x, 2); } break; }
      case 4: { if (sign) { int32_t x = static_cast<int32_t>(sv); std::memcpy(p, &x, 4); } else { uint32_t x = static_cast<uint32_t>(uv); std::memcpy(p, &x, 4); } break; }
      default: { if (sign) std::memcpy(p, &sv, 8); else std::memcpy(p, &uv, 8); break; }
    }
    placed = elemsize;
  };
  switch (ftype) {
    case KDB_INTEGER: putint(true); break;
    case KDB_UNSIGNED: putint(false); break;
    case KDB_FLOAT: {
      if (elemsize != 4 && elemsize != 8) { rc = KDB_BADCALL; break; }
      char* end = nullptr;
      errno = 0;
      double d = std::strtod(v.c_str(), &end);
      if (!end || *end || end == v.c_str()) { rc = KDB_BADNUMBER; break; }
      bool big = !std::isfinite(d) || (elemsize == 4 && std::fabs(d) > FLT_MAX);
      if (big && v != "Infinity" && v != "-Infinity" && v != "NaN") { rc = KDB_OVERFLOW; break; }
      if (elemsize == 4) { float f = static_cast<float>(d); std::memcpy(p, &f, 4); }
      else std::memcpy(p, &d, 8);
      placed = elemsize;
      break;
    }
    case KDB_STRING:
    case KDB_CHARZ: {
      if (elemsize <= 0) { rc = KDB_BADCALL; break; }
      fit(static_cast<size_t>(elemsize) - 1);
      std::memcpy(p, v.data(), placed);
      p[placed] = 0;
      break;
    }
    case KDB_VARCHAR: {
      fit(elemsize > 2 ? elemsize - 2 : 0);
      uint16_t l = static_cast<uint16_t>(placed);
      std::memcpy(p, &l, 2);
      std::memcpy(p + 2, v.data(), placed);
      break;
    }
    case KDB_LONGVARCHAR:
    case KDB_LONGVARRAW: {
      fit(elemsize > 4 ? elemsize - 4 : 0);
      int32_t l = static_cast<int32_t>(placed);
      std::memcpy(p, &l, 4);
      std::memcpy(p + 4, v.data(), placed);
      break;
    }
    case KDB_CHAR: {
      size_t cap = static_cast<size_t>(std::max(elemsize, 0));
      fit(cap);
      std::memcpy(p, v.data(), placed);
      std::memset(p + placed, ' ', cap - placed);
      break;
    }
    default: {  // VARCHAR2, LONG, RAW, LONG RAW
      fit(static_cast<size_t>(std::max(elemsize, 0)));
      std::memcpy(p, v.data(), placed);
      break;
    }
  }
  if (rc == 0 && trunc) rc = KDB_TRUNCATED;
  if (ind) ind[i] = trunc ? static_cast<int16_t>(n > 32767 ? -2 : static_cast<int16_t>(n)) : 0;
  if (alen) alen[i] = static_cast<uint16_t>(std::min<size_t>(placed, 65535));
  if (rcode) {
    rcode[i] = static_cast<uint16_t>(rc);
    return rc == KDB_TRUNCATED || rc == KDB_OVERFLOW ? 0 : rc;
  }
  return rc;
}

// The text of a failed conversion into the caller's buffers.
const char* convtext(int rc) {
  switch (rc) {
    case KDB_NULLVALUE: return "KDB-01405: fetched column value is NULL";
    case KDB_TRUNCATED: return "KDB-01406: fetched column value was truncated";
    case KDB_OVERFLOW: return "KDB-01426: fetched number does not fit its buffer";
    default: return "KDB-01722: invalid number";
  }
}

// Keep the worse of two conversion results: 1406 over 1405 over 0.
int worse(int a, int b) {
  auto rank = [](int x) {
    return x == 0 ? 0 : x == KDB_NULLVALUE ? 1 : x == KDB_TRUNCATED ? 2 : x == KDB_OVERFLOW ? 3 : 4;
  };
  return rank(b) > rank(a) ? b : a;
}

// Parse a PostgreSQL array text "{a,b,NULL,"c d"}" into its elements.
void arrayvalues(const std::string& t, std::vector<std::pair<bool, std::string>>& out) {
  out.clear();
  size_t i = 0;
  if (t.empty() || t[0] != '{') return;
  ++i;
  while (i < t.size() && t[i] != '}') {
    std::string v;
    bool quoted = false;
    if (t[i] == '"') {
      quoted = true;
      ++i;
      while (i < t.size() && t[i] != '"') {
        if (t[i] == '\\' && i + 1 < t.size()) ++i;
        v += t[i++];
      }
      ++i;
    } else {
      while (i < t.size() && t[i] != ',' && t[i] != '}') v += t[i++];
    }
    out.push_back({!quoted && v == "NULL", v});
    if (i < t.size() && t[i] == ',') ++i;
  }
}

// Appends v to o as a quoted element of an array's text. Only whole
// characters of the client encoding enc are looked at: a byte of a
// multibyte character that looks like a quote or a backslash is left alone.
void quoteelem(std::string& o, std::string_view v, int enc) {
  o += '"';
  for (size_t k = 0; k < v.size();) {
    int w = PQmblenBounded(v.data() + k, enc);
    if (w <= 1 || k + static_cast<size_t>(w) > v.size()) {
      if (v[k] == '"' || v[k] == '\\') o += '\\';
      o += v[k++];
    } else {
      o.append(v, k, static_cast<size_t>(w));
      k += static_cast<size_t>(w);
    }
  }
  o += '"';
}

Bind* findbind(kdbcur* c, const std::string& name) {
  for (auto& b : c->binds)
    if (b.name == name) return &b;
  return nullptr;
}

std::string bindname(const char* name) {
  if (!name) return "";
  if (*name == ':') ++name;
  return upper(name);
}

int dobind(kdbcda* cda, int fc, const std::string& name, void* buf, int32_t elemsize, int ftype,
           int16_t* ind, uint16_t* alen, uint16_t* rcode, bool array, uint32_t maxarr,
           uint32_t* curele) {
  kdbcur* c = curof(cda);
  if (c && !c->sess) return setcda(cda, fc, KDB_NOTCONNECTED);
  if (!c || c->sql.empty())
    return setcda(cda, fc, fail(c ? c->sess : nullptr, KDB_BADCALL, "KDB-24300: no statement parsed on the cursor"));
  Bind* b = findbind(c, name);
  if (!b) {
    return setcda(cda, fc, fail(c->sess, KDB_BADNAME,
                                "KDB-01036: illegal variable name/number :" + name));
  }
  if (!buf && !(ind && ind[0] < 0)) {
    return setcda(cda, fc, fail(c->sess, KDB_BADCALL, "KDB-24300: no buffer for :" + name));
  }
  b->buf = buf;
  b->elemsize = elemsize;
  b->ftype = ftype;
  b->ind = ind;
  b->alen = alen;
  b->rcode = rcode;
  b->array = array;
  b->maxarr = maxarr;
  b->curele = curele;
  return setcda(cda, fc, 0);
}

std::string tracevalue(bool has, const std::string& v) {
  if (!has) return "NULL";
  std::string o = "'";
  for (char ch : v.substr(0, 200)) o += ch == '\'' ? std::string("''") : std::string(1, ch);
  if (v.size() > 200) o += "...";
  return o + "'";
}

// The array type of a built-in type; 0 for a type whose values the layer
// does not send in arrays.
Oid arrayof(Oid t) {
  static const Oid kPairs[][2] = {
      {16, 1000},   {17, 1001},   {18, 1002},   {19, 1003},   {20, 1016},   {21, 1005},
      {23, 1007},   {25, 1009},   {26, 1028},   {114, 199},   {700, 1021},  {701, 1022},
      {1042, 1014}, {1043, 1015}, {1082, 1182}, {1083, 1183}, {1114, 1115}, {1184, 1185},
      {1186, 1187}, {1700, 1231}, {2950, 2951}, {3802, 3807}};
  for (const auto& p : kPairs)
    if (p[0] == t) return p[1];
  return 0;
}

void put32(std::string& out, uint32_t v) {
  const char b[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 8), static_cast<char>(v)};
  out.append(b, 4);
}

// The rows' values of parameter k as one array value: the database's binary
// form of a one-dimensional array of bytea when the values go in binary,
// else the text form, every value quoted whole.
std::string arrayvalue(const std::vector<std::string>& texts, const std::vector<char>& isnull,
                       size_t np, size_t k, int32_t rows, bool bin, int enc) {
  std::string a;
  if (bin) {
    bool nulls = false;
    for (int32_t r = 0; r < rows; ++r) nulls = nulls || isnull[static_cast<size_t>(r) * np + k];
    put32(a, 1);  // dimensions
    put32(a, nulls);
    put32(a, kByteaOid);
    put32(a, static_cast<uint32_t>(rows));
    put32(a, 1);  // lower bound
    for (int32_t r = 0; r < rows; ++r) {
      size_t at = static_cast<size_t>(r) * np + k;
      put32(a, isnull[at] ? 0xffffffffu : static_cast<uint32_t>(texts[at].size()));
      if (!isnull[at]) a += texts[at];
    }
    return a;
  }
  a = "{";
  for (int32_t r = 0; r < rows; ++r) {
    size_t at = static_cast<size_t>(r) * np + k;
    if (r) a += ',';
    if (isnull[at]) a += "NULL";
    // The database reads a value sent alone up to its first NUL byte: an
    // element ends there too.
    else quoteelem(a, std::string_view(texts[at].c_str()), enc);
  }
  return a + "}";
}

// Prepares the cursor's insert over arrays; 0, or 1 when the database
// refuses it (the cursor then sends rows one by one, and the refusal is
// nobody's error).
int prepararrays(kdbsess* s, Conn& cn, kdbcur* c) {
  int np = static_cast<int>(c->params.size());
  Pipe::Op prep;
  prep.kind = Pipe::Op::Prepare;
  prep.name = c->stmt + "_a";
  long len = kdbunnest(c->pgsql.data(), c->pgsql.size(), np, nullptr, 0);
  prep.text.resize(static_cast<size_t>(len) + 1);
  kdbunnest(c->pgsql.data(), c->pgsql.size(), np, prep.text.data(), prep.text.size());
  prep.text.pop_back();
  prep.nparams = np;
  for (Oid t : c->ptypes) prep.types.push_back(arrayof(t));
  int keeprc = s->lastrc;
  std::string keeptext = s->lasttext;
  Pipe p;
  std::vector<Pipe::Op> body;
  body.push_back(std::move(prep));
  wrap(cn, p, body, false);
  if (runwrapped(s, cn, p) != 0) {
    s->lastrc = keeprc;
    s->lasttext = keeptext;
    c->arrays = false;
    return 1;
  }
  c->arraystmt = c->stmt + "_a";
  return 0;
}

// Execute the parsed statement for n rows (n 0: once, with single binds).
int execute(kdbcda* cda, int fc, int32_t n) {
  kdbcur* c = curof(cda);
  if (c && !c->sess) return setcda(cda, fc, KDB_NOTCONNECTED);
  if (!c) return setcda(cda, fc, KDB_BADCALL);
  kdbsess* s = c->sess;
  Conn& cn = s->link[c->link];
  cda->rpc = 0;
  if (c->kind == KDB_FT_DDL) {  // carried out at parse
    c->executed = true;
    return setcda(cda, fc, 0);
  }
  if (cn.dead) return setcda(cda, fc, notconnected(s, cn));
  if (c->stmt.empty()) return setcda(cda, fc, fail(s, KDB_BADCALL, "KDB-24300: no statement parsed on the cursor"));
  dropresult(c);
  closehold(c);
  bool many = n > 0;
  int32_t rows = many ? n : 1;
  size_t np = c->params.size();
  int enc = PQclientEncoding(cn.pg);
  // Texts of every row's parameters; they live until the round trip is done.
  std::vector<std::string> texts(static_cast<size_t>(rows) * np);
  std::vector<char> isnull(static_cast<size_t>(rows) * np, 1);
  // Bytes bound to a bytea parameter go in binary: half the bytes of the hex
  // text, and nothing to decode on either side.
  std::vector<int> formats(np, 0);
  bool collection = false;
  for (size_t k = 0; k < np; ++k) {
    Bind& b = c->binds[k];
    collection = collection || b.array;
    if (!b.buf && !b.ind) {
      return setcda(cda, fc, fail(s, KDB_NOTBOUND, "KDB-01008: not all variables bound (:" + b.name + ")"));
    }
    formats[k] = !b.array && israw(b.ftype) && k < c->ptypes.size() && c->ptypes[k] == kByteaOid;
    for (int32_t r = 0; r < rows; ++r) {
      int rc = 0;
      std::string& t = texts[static_cast<size_t>(r) * np + k];
      bool has;
      if (b.array) {  // a collection: the elements as one array value
        uint32_t cnt = b.curele ? std::min(*b.curele, b.maxarr) : 0;
        std::string a = "{";
        for (uint32_t e = 0; e < cnt; ++e) {
          std::string v;
          bool h = bindtext(b, e, v, rc);
          if (e) a += ',';
          if (h) quoteelem(a, v, enc);
          else a += "NULL";
        }
        t = a + "}";
        has = true;
      } else {
        has = bindtext(b, static_cast<uint32_t>(r), t, rc, formats[k]);
      }
      if (rc) return setcda(cda, fc, fail(s, rc, "KDB-24300: bind :" + b.name + " has an unusable size or type"));
      isnull[static_cast<size_t>(r) * np + k] = has ? 0 : 1;
    }
  }
  if (s->trace) {
    std::string t = "SQL: " + c->sql;
    if (many) t += "\n  (" + std::to_string(rows) + " rows)";
    for (size_t k = 0; k < np; ++k) {
      const std::string& v = texts[k];
      t += "\n  :" + c->binds[k].name + " = " +
           tracevalue(!isnull[k], formats[k] ? hextext(reinterpret_cast<const uint8_t*>(v.data()),
                                                       std::min<size_t>(v.size(), 100))
                                             : v);
    }
    trace(s, t);
  }
  bool held = c->hold && c->kind == KDB_FT_QUERY;
  if (held) c->holdname = "kdb_c" + std::to_string(++s->seq);
  bool binary = std::find(formats.begin(), formats.end(), 1) != formats.end();
  // An insert of one row executed for n rows goes out as one statement over
  // arrays of the rows' values: the database runs one statement where it
  // would run one per row.
  std::vector<std::string> arrays;
  if (many && rows > 1 && c->arrays && !collection &&
      (!c->arraystmt.empty() || prepararrays(s, cn, c) == 0)) {
    size_t bytes = 0;
    for (size_t k = 0; k < np && bytes <= kArrayBytes; ++k) {
      arrays.push_back(arrayvalue(texts, isnull, np, k, rows, formats[k], enc));
      bytes += arrays.back().size();
    }
    if (bytes > kArrayBytes) arrays.clear();
  }
  auto body = [&]() {
    std::vector<Pipe::Op> ops;
    if (!arrays.empty()) {
      Pipe::Op o;
      o.kind = Pipe::Op::Prepared;
      o.text = c->arraystmt;
      o.nparams = static_cast<int>(np);
      o.keep = true;
      for (size_t k = 0; k < np; ++k) {
        o.values.push_back(arrays[k].data());
        o.lengths.push_back(static_cast<int>(arrays[k].size()));
      }
      if (binary) o.formats = formats;
      ops.push_back(std::move(o));
      return ops;
    }
    for (int32_t r = 0; r < rows; ++r) {
      Pipe::Op o;
      if (held) {
        o.kind = Pipe::Op::Query;
        o.text = "DECLARE " + c->holdname + " NO SCROLL CURSOR WITH HOLD FOR " + c->pgsql;
      } else {
        o.kind = Pipe::Op::Prepared;
        o.text = c->stmt;
      }
      o.nparams = static_cast<int>(np);
      o.keep = !held;
      for (size_t k = 0; k < np; ++k) {
        size_t at = static_cast<size_t>(r) * np + k;
        o.values.push_back(isnull[at] ? nullptr : texts[at].c_str());
        o.lengths.push_back(isnull[at] ? 0 : static_cast<int>(texts[at].size()));
      }
      if (binary) o.formats = formats;
      ops.push_back(std::move(o));
    }
    if (held) {
      Pipe::Op f;
      f.kind = Pipe::Op::Query;
      f.text = "FETCH FORWARD " + std::to_string(kHoldBlock) + " FROM " + c->holdname;
      f.keep = true;
      ops.push_back(std::move(f));
    }
    return ops;
  };
  // A held cursor opens the transaction too: declared outside one it would
  // be materialised whole at once, inside one only at the first commit.
  bool opens = c->kind != KDB_FT_QUERY || held;
  auto pp = std::make_unique<Pipe>();
  std::vector<Pipe::Op> ops = body();
  wrap(cn, *pp, ops, opens);
  int rc = runwrapped(s, cn, *pp);
  if (rc && !held && !cn.dead && s->lasttext.compare(0, 6, "26000:") == 0) {
    // Code that ran in this session dropped the prepared statement (a
    // procedure a message names may run here): prepare it again, once.
    std::string keeptext = s->lasttext;
    deallocate(c, c->arraystmt);
    deallocate(c, c->stmt);  // one of the two may be left
    c->arraystmt.clear();
    if (prepare(s, cn, c, false) == 0) {
      if (!arrays.empty() && prepararrays(s, cn, c) != 0) arrays.clear();
      pp = std::make_unique<Pipe>();
      ops = body();
      wrap(cn, *pp, ops, opens);
      rc = runwrapped(s, cn, *pp);
    } else {
      fail(s, rc, keeptext);
    }
  }
  if (rc) return setcda(cda, fc, rc);
  Pipe& p = *pp;
  c->executed = true;
  if (held) c->holdopen = true;
  // Results: rows of a query are kept for fetching; a CALL hands its single
  // row back into the binds of the same names; DML counts changed rows.
  uint32_t changed = 0;
  int crc = 0;
  for (size_t k = 0; k < p.kept.size(); ++k) {
    PGresult* r = p.kept[k];
    if (!r) continue;
    if (c->kind != KDB_FT_CALL && PQresultStatus(r) == PGRES_TUPLES_OK) {
      if (c->kind == KDB_FT_DML) changed += static_cast<uint32_t>(PQntuples(r));
      if (!c->res) {
        c->res = r;
        p.kept[k] = nullptr;
        c->nrows = PQntuples(r);
        if (held && c->nrows < kHoldBlock) c->holdend = true;
      }
    } else if (c->kind == KDB_FT_CALL && PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1) {
      for (int col = 0; col < PQnfields(r); ++col) {
        Bind* b = findbind(c, upper(PQfname(r, col)));
        if (!b || !b->buf) continue;
        bool nul = PQgetisnull(r, 0, col);
        std::string v = nul ? std::string() : valuebytes(r, 0, col);
        if (b->array) {
          std::vector<std::pair<bool, std::string>> el;
          if (!nul) arrayvalues(v, el);
          uint32_t cnt = static_cast<uint32_t>(std::min<size_t>(el.size(), b->maxarr));
          for (uint32_t e = 0; e < cnt; ++e)
            crc = worse(crc, store(b->buf, b->elemsize, b->ftype, b->ind, b->alen, b->rcode, e,
                                   el[e].first, el[e].second, enc));
          if (b->curele) *b->curele = cnt;
          if (el.size() > b->maxarr) crc = worse(crc, KDB_TRUNCATED);
        } else {
          crc = worse(crc, store(b->buf, b->elemsize, b->ftype, b->ind, b->alen, b->rcode, 0, nul, v,
                                 enc));
        }
      }
    } else {
      const char* t = PQcmdTuples(r);
      if (t && *t) changed += static_cast<uint32_t>(std::strtoul(t, nullptr, 10));
    }
  }
  cda->rpc = changed;
  if (crc) fail(s, crc, convtext(crc));
  return setcda(cda, fc, crc);
}

// Fetch the next block of a held cursor.
int fetchblock(kdbcur* c) {
  kdbsess* s = c->sess;
  Conn& cn = s->link[c->link];
  Pipe p;
  std::vector<Pipe::Op> body;
  Pipe::Op f;
  f.kind = Pipe::Op::Query;
  f.text = "FETCH FORWARD " + std::to_string(kHoldBlock) + " FROM " + c->holdname;
  f.keep = true;
  body.push_back(std::move(f));
  wrap(cn, p, body, false);
  int rc = runwrapped(s, cn, p);
  if (rc) return rc;
  dropresult(c);
  c->res = p.kept.empty() ? nullptr : p.kept[0];
  if (!p.kept.empty()) p.kept[0] = nullptr;
  c->nrows = c->res ? PQntuples(c->res) : 0;
  if (c->nrows < kHoldBlock) c->holdend = true;
  return 0;
}


// Opens connection k of the session with the log-on's user; 0, or 1 with the
// library's text in m.
int connectlink(kdbsess* s, int k, std::string& m) {
  const char* keys[8];
  const char* vals[8];
  int n = 0;
  keys[n] = "user", vals[n++] = s->user.c_str();
  if (!s->password.empty()) keys[n] = "password", vals[n++] = s->password.c_str();
  if (!s->database.empty()) keys[n] = "dbname", vals[n++] = s->database.c_str();
  keys[n] = "application_name",
  vals[n++] = k == KDB_WORK ? "kestrin" : k == KDB_TRANSPORT ? "kestrin-transport" : "kestrin-fence";
  keys[n] = "connect_timeout", vals[n++] = "10";
  // A backend whose client went away notices it within a second, also in
  // the middle of a statement, so that what it held (a message in service)
  // is freed for others to see.
  keys[n] = "options",
  vals[n++] = "-c client_min_messages=warning -c client_connection_check_interval=1000";
  keys[n] = nullptr, vals[n] = nullptr;
  Conn& c = s->link[k];
  c = Conn{};
  c.autocommit = k != KDB_WORK;
  c.pg = PQconnectdbParams(keys, vals, 0);
  if (!c.pg || PQstatus(c.pg) != CONNECTION_OK) {
    m = c.pg ? PQerrorMessage(c.pg) : "out of memory";
    while (!m.empty() && (m.back() == '\n' || m.back() == ' ')) m.pop_back();
    if (c.pg) PQfinish(c.pg);
    c.pg = nullptr;
    c.dead = true;
    return 1;
  }
  PQsetNoticeProcessor(c.pg, [](void*, const char*) {}, nullptr);
  return 0;
}

// Readies the fence connection for the next call of code the server does
// not own: a lost or unsettled one (left inside a transaction) is replaced,
// a used one is reset to a fresh session, and the set-up runs on it. 0 or
// the code.
int readyfence(kdbsess* s, bool reset) {
  Conn& c = s->link[KDB_FENCE];
  if (c.pg && !c.dead && PQtransactionStatus(c.pg) == PQTRANS_IDLE && reset) {
    c.pending.clear();  // DISCARD ALL drops every prepared statement anyway
    if (simple(s, c, "DISCARD ALL") != 0) c.dead = true;
  } else if (c.pg && (c.dead || PQtransactionStatus(c.pg) != PQTRANS_IDLE)) {
    c.dead = true;
  }
  bool fresh = false;
  if (!c.pg || c.dead) {
    if (c.pg) PQfinish(c.pg);
    c.pg = nullptr;
    // Cursors left on the old connection hold nothing there any more.
    for (kdbcur* k : s->curs)
      if (k->link == KDB_FENCE) k->stmt.clear(), k->arraystmt.clear();
    std::string m;
    if (connectlink(s, KDB_FENCE, m) != 0)
      return fail(s, KDB_NOTCONNECTED, "08001: cannot open the fence connection: " + m);
    if (!s->encoding.empty() && PQsetClientEncoding(c.pg, s->encoding.c_str()) != 0)
      return fail(s, KDB_GENERIC, "22023: unknown character set " + s->encoding);
    fresh = true;
  }
  if ((reset || fresh) && !s->fencesetup.empty()) return simple(s, c, s->fencesetup.c_str());
  return 0;
}
}  // namespace

// ---------------------------------------------------------------------------

int kdblogon(kdblda* lda, const char* user, int32_t userlen) {
  if (!lda) return KDB_BADCALL;
  if (lda->sess) kdblogoff(lda);
  kdbsess* s = new (std::nothrow) kdbsess;
  if (!s) return setlda(lda, KDB_FC_LOGON, KDB_BADCALL);
  lda->sess = s;
  std::string u = user ? (userlen < 0 ? std::string(user) : std::string(user, userlen)) : "";
  while (!u.empty() && (u.back() == '\n' || u.back() == '\r' || u.back() == ' ')) u.pop_back();
  std::string name = u, password, database;
  size_t at = name.rfind('@');
  if (at != std::string::npos) {
    database = name.substr(at + 1);
    name.erase(at);
  }
  size_t slash = name.find('/');
  if (slash != std::string::npos) {
    password = name.substr(slash + 1);
    name.erase(slash);
  }
  if (name.empty()) {
    return setlda(lda, KDB_FC_LOGON, fail(s, KDB_BADCALL, "KDB-01017: no user name given to log on"));
  }
  s->user = name;
  s->password = password;
  s->database = database;
  for (int k = 0; k < 2; ++k) {
    std::string m;
    if (connectlink(s, k, m) != 0) {
      for (auto& ln : s->link) {
        if (ln.pg) PQfinish(ln.pg);
        ln.pg = nullptr;
        ln.dead = true;
      }
      return setlda(lda, KDB_FC_LOGON, fail(s, KDB_NOTCONNECTED, "08001: cannot log on: " + m));
    }
  }
  return setlda(lda, KDB_FC_LOGON, 0);
}

int kdblogoff(kdblda* lda) {
  if (!lda || !lda->sess) return lda ? setlda(lda, KDB_FC_LOGON, KDB_NOTCONNECTED) : KDB_BADCALL;
  kdbsess* s = lda->sess;
  int rc = 0;
  Conn& w = s->link[KDB_WORK];
  if (w.pg && !w.dead && w.intxn) rc = simple(s, w, "ROLLBACK");
  bool wasdead = s->link[KDB_WORK].dead || s->link[KDB_TRANSPORT].dead || !s->link[KDB_WORK].pg;
  for (auto& c : s->link) {
    if (c.pg) PQfinish(c.pg);
    c.pg = nullptr;
  }
  // Cursors still open stay valid to close; everything else on them reports
  // that the login is gone.
  for (kdbcur* c : s->curs) {
    dropresult(c);
    c->sess = nullptr;
  }
  delete s;
  lda->sess = nullptr;
  if (wasdead && rc == 0) rc = KDB_NOTCONNECTED;
  return setlda(lda, KDB_FC_LOGON, rc);
}

// Ends the open transaction of the work connection with the given word
// (COMMIT or ROLLBACK); without one there is nothing to do.
static int endtxn(kdblda* lda, const char* word) {
  if (!lda || !lda->sess) return KDB_NOTCONNECTED;
  kdbsess* s = lda->sess;
  Conn& c = s->link[KDB_WORK];
  if (c.dead) return setlda(lda, 0, notconnected(s, c));
  if (!c.intxn) return setlda(lda, 0, 0);
  int rc = simple(s, c, word);
  c.intxn = false;
  return setlda(lda, 0, rc);
}

int kdbcommit(kdblda* lda) { return endtxn(lda, "COMMIT"); }

int kdbrollback(kdblda* lda) { return endtxn(lda, "ROLLBACK"); }

int kdbcharset(kdblda* lda, const char* encoding) {
  if (!lda || !lda->sess) return KDB_NOTCONNECTED;
  kdbsess* s = lda->sess;
  s->encoding = encoding ? encoding : "";
  for (int k = 0; k < 3; ++k) {
    Conn& c = s->link[k];
    if (k == KDB_FENCE && (!c.pg || c.dead)) continue;  // takes it when it opens
    if (c.dead || !c.pg) return setlda(lda, 0, notconnected(s, c));
    if (PQsetClientEncoding(c.pg, encoding) != 0)
      return setlda(lda, 0, fail(s, KDB_GENERIC, std::string("22023: unknown character set ") + encoding));
  }
  return setlda(lda, 0, 0);
}

int kdbgone(kdblda* lda) {
  if (!lda || !lda->sess) return 0;
  kdbsess* s = lda->sess;
  if (!s->link[KDB_WORK].dead && !s->link[KDB_TRANSPORT].dead) return 0;
  if (s->losstold) return 2;
  s->losstold = true;
  return 1;
}

int kdbfence(kdblda* lda, const char* setup) {
  if (!lda || !lda->sess) return KDB_NOTCONNECTED;
  kdbsess* s = lda->sess;
  if (setup) s->fencesetup = setup;
  if (!s->link[KDB_FENCE].pg) return setlda(lda, 0, 0);  // opened, and set up, at first use
  return setlda(lda, 0, readyfence(s, true));
}

void kdbwatch(kdblda* lda, kdbwatchfn fn, void* ctx) {
  if (!lda || !lda->sess) return;
  lda->sess->watch = fn;
  lda->sess->watchctx = ctx;
}

int kdbwait(kdblda* lda, int link, int32_t ms) {
  if (!lda || !lda->sess || (link != KDB_WORK && link != KDB_TRANSPORT)) return KDB_NOTCONNECTED;
  kdbsess* s = lda->sess;
  Conn& c = s->link[link];
  if (c.dead || !c.pg) return setlda(lda, 0, notconnected(s, c));
  // Notifications that came in with the results of earlier statements are
  // queued already; all of them count as one wake-up.
  bool woke = false;
  while (PGnotify* n = PQnotifies(c.pg)) {
    PQfreemem(n);
    woke = true;
  }
  if (woke) return setlda(lda, 0, KDB_OK);
  pollfd p = {PQsocket(c.pg), POLLIN, 0};
  if (p.fd < 0) {
    c.dead = true;
    if (PQstatus(c.pg) == CONNECTION_BAD) return setlda(lda, 0, failpg(s, c, nullptr));
    return setlda(lda, 0, notconnected(s, c));
  }
  int r = poll(&p, 1, ms < 0 ? 0 : ms);
  // A signal ends the wait as time running out does: the caller looks at
  // why it was woken.
  if (r < 0 && errno != EINTR)
    return setlda(lda, 0, fail(s, KDB_GENERIC, std::string("poll: ") + std::strerror(errno)));
  if (r <= 0) return setlda(lda, 0, KDB_NODATA);
  if (!PQconsumeInput(c.pg)) return setlda(lda, 0, failpg(s, c, nullptr));
  while (PGnotify* n = PQnotifies(c.pg)) {
    PQfreemem(n);
    woke = true;
  }
  // Anything else the server sent (a notice, a parameter change) wakes the
  // caller too; it only polls once more.
  if (PQstatus(c.pg) == CONNECTION_BAD) return setlda(lda, 0, failpg(s, c, nullptr));
  return setlda(lda, 0, woke ? KDB_OK : KDB_NODATA);
}

void kdbtrace(kdblda* lda, kdbtracefn fn, void* ctx) {
  if (!lda || !lda->sess) return;
  lda->sess->trace = fn;
  lda->sess->tracectx = ctx;
}

int kdberror(kdblda* lda, int rc, char* buf, size_t size) {
  if (!buf || size == 0) return 0;
  std::string t;
  if (lda && lda->sess && lda->sess->lastrc == rc && !lda->sess->lasttext.empty()) {
    t = lda->sess->lasttext;
  } else {
    char head[32];
    const char* known = kdbcodetext(rc);
    std::snprintf(head, sizeof head, known ? "KDB-%05d: " : "KDB-%d: ", rc);
    t = std::string(head) + (known ? known : "database error " + std::to_string(rc));
  }
  size_t n = std::min(t.size(), size - 1);
  std::memcpy(buf, t.data(), n);
  buf[n] = '\0';
  return static_cast<int>(n);
}

int kdbopen(kdbcda* cda, kdblda* lda, int link) {
  if (!cda) return KDB_BADCALL;
  if (cda->cur) kdbclose(cda);
  cda->rpc = 0;
  if (!lda || !lda->sess) return setcda(cda, KDB_FC_OPEN, KDB_NOTCONNECTED);
  if (link != KDB_WORK && link != KDB_TRANSPORT && link != KDB_FENCE)
    return setcda(cda, KDB_FC_OPEN, KDB_BADCALL);
  kdbsess* s = lda->sess;
  if (link == KDB_FENCE) {
    int rc = readyfence(s, false);
    if (rc) return setcda(cda, KDB_FC_OPEN, rc);
  }
  if (s->link[link].dead) return setcda(cda, KDB_FC_OPEN, notconnected(s, s->link[link]));
  kdbcur* c = new (std::nothrow) kdbcur;
  if (!c) return setcda(cda, KDB_FC_OPEN, KDB_BADCALL);
  c->sess = s;
  c->link = link;
  s->curs.push_back(c);
  cda->cur = c;
  return setcda(cda, KDB_FC_OPEN, 0);
}

int kdbclose(kdbcda* cda) {
  if (!cda) return KDB_BADCALL;
  kdbcur* c = cda->cur;
  if (!c) return setcda(cda, KDB_FC_CLOSE, KDB_BADCALL);
  if (c->sess) {
    unprepare(c);
    auto& v = c->sess->curs;
    v.erase(std::remove(v.begin(), v.end(), c), v.end());
  } else {
    dropresult(c);
  }
  delete c;
  cda->cur = nullptr;
  return setcda(cda, KDB_FC_CLOSE, 0);
}

int kdbparse(kdbcda* cda, const char* sql, int32_t len) {
  kdbcur* c = curof(cda);
  if (c && !c->sess) return setcda(cda, KDB_FC_PARSE, KDB_NOTCONNECTED);
  if (!c || !sql) return cda ? setcda(cda, KDB_FC_PARSE, KDB_BADCALL) : KDB_BADCALL;
  kdbsess* s = c->sess;
  Conn& cn = s->link[c->link];
  unprepare(c);
  cda->rpc = 0;
  cda->ft = 0;
  size_t n = len < 0 ? std::strlen(sql) : static_cast<size_t>(len);
  c->sql.assign(sql, n);
  if (cn.dead) return setcda(cda, KDB_FC_PARSE, notconnected(s, cn));
  std::vector<char> out(n * 3 + 16), names(n + 16);
  int np = kdbplaceholders(sql, n, out.data(), out.size(), names.data(), names.size());
  if (np < 0) return setcda(cda, KDB_FC_PARSE, fail(s, KDB_BADCALL, "KDB-24300: statement text too long"));
  c->pgsql = out.data();
  for (const char* p = names.data(); *p; p += std::strlen(p) + 1) c->params.push_back(p);
  c->binds.resize(c->params.size());
  for (size_t k = 0; k < c->params.size(); ++k) c->binds[k].name = c->params[k];
  c->kind = kdbkind(sql, n);
  cda->ft = static_cast<uint16_t>(c->kind);
  if (c->kind == KDB_FT_DDL) {
    // DDL commits what went before it and itself, and runs now.
    if (s->trace) trace(s, "SQL: " + c->sql);
    if (!c->params.empty())
      return setcda(cda, KDB_FC_PARSE, fail(s, KDB_BADCALL, "KDB-24300: DDL cannot take binds"));
    if (!cn.autocommit && cn.intxn) {
      int rc = simple(s, cn, "COMMIT");
      cn.intxn = false;
      if (rc) return setcda(cda, KDB_FC_PARSE, rc);
    }
    if (!cn.pending.empty()) {
      Pipe flush;
      if (int rc = runpipe(s, cn, flush)) return setcda(cda, KDB_FC_PARSE, rc);
    }
    // Alone in a simple query, so that statements that refuse to run inside
    // a transaction block run too.
    return setcda(cda, KDB_FC_PARSE, simple(s, cn, c->pgsql.c_str()));
  }
  int rc = prepare(s, cn, c, true);
  if (rc) return setcda(cda, KDB_FC_PARSE, rc);
  // n-row executions of an insert of one row go as arrays when every
  // parameter's type has an array type the layer knows.
  c->arrays = c->kind == KDB_FT_DML && !c->params.empty() &&
              c->ptypes.size() == c->params.size() &&
              std::all_of(c->ptypes.begin(), c->ptypes.end(), [](Oid t) { return arrayof(t); }) &&
              kdbunnest(c->pgsql.data(), c->pgsql.size(), static_cast<int>(c->params.size()),
                        nullptr, 0) > 0;
  return setcda(cda, KDB_FC_PARSE, 0);
}

int kdbhold(kdbcda* cda, int on) {
  kdbcur* c = curof(cda);
  if (c && !c->sess) return setcda(cda, KDB_FC_OPTION, KDB_NOTCONNECTED);
  if (!c) return cda ? setcda(cda, KDB_FC_OPTION, KDB_BADCALL) : KDB_BADCALL;
  c->hold = on != 0;
  return setcda(cda, KDB_FC_OPTION, 0);
}

int kdbbndrv(kdbcda* cda, const char* name, void* buf, int32_t elemsize, int ftype,
             int16_t* ind, uint16_t* alen, uint16_t* rcode) {
  if (!cda) return KDB_BADCALL;
  return dobind(cda, KDB_FC_BINDNAME, bindname(name), buf, elemsize, ftype, ind, alen, rcode,
                false, 0, nullptr);
}

int kdbbndrn(kdbcda* cda, int pos, void* buf, int32_t elemsize, int ftype, int16_t* ind,
             uint16_t* alen, uint16_t* rcode) {
  if (!cda) return KDB_BADCALL;
  return dobind(cda, KDB_FC_BINDNUM, std::to_string(pos), buf, elemsize, ftype, ind, alen, rcode,
                false, 0, nullptr);
}

int kdbbndra(kdbcda* cda, const char* name, void* buf, int32_t elemsize, int ftype,
             int16_t* ind, uint16_t* alen, uint16_t* rcode, uint32_t maxarr, uint32_t* curele) {
  if (!cda) return KDB_BADCALL;
  return dobind(cda, KDB_FC_BINDARRAY, bindname(name), buf, elemsize, ftype, ind, alen, rcode,
                true, maxarr, curele);
}

int kdbdefin(kdbcda* cda, int pos, void* buf, int32_t elemsize, int ftype, int16_t* ind,
             uint16_t* alen, uint16_t* rcode) {
  kdbcur* c = curof(cda);
  if (c && !c->sess) return setcda(cda, KDB_FC_DEFINE, KDB_NOTCONNECTED);
  if (!c) return cda ? setcda(cda, KDB_FC_DEFINE, KDB_BADCALL) : KDB_BADCALL;
  if (pos < 1 || pos > static_cast<int>(c->cols.size()) || !buf || elemsize <= 0)
    return setcda(cda, KDB_FC_DEFINE,
                  fail(c->sess, KDB_NOTINLIST, "KDB-01007: variable not in select list"));
  if (c->defines.size() < c->cols.size()) c->defines.resize(c->cols.size());
  c->defines[pos - 1] = {buf, elemsize, ftype, ind, alen, rcode};
  return setcda(cda, KDB_FC_DEFINE, 0);
}

int kdbdescr(kdbcda* cda, int pos, int32_t* dbsize, int16_t* dbtype, char* name,
             int32_t* namelen, int16_t* prec, int16_t* scale, int16_t* nullok) {
  kdbcur* c = curof(cda);
  if (c && !c->sess) return setcda(cda, KDB_FC_DESCRIBE, KDB_NOTCONNECTED);
  if (!c) return cda ? setcda(cda, KDB_FC_DESCRIBE, KDB_BADCALL) : KDB_BADCALL;
  if (pos < 1 || pos > static_cast<int>(c->cols.size()))
    return setcda(cda, KDB_FC_DESCRIBE,
                  fail(c->sess, KDB_NOTINLIST, "KDB-01007: variable not in select list"));
  const Column& col = c->cols[pos - 1];
  int16_t type = KDB_LONG;
  int32_t size = 0;
  int16_t p = 0, sc = 0;
  switch (col.type) {
    case 16: case 20: case 21: case 23: case 700: case 701: case 1700:  // bool, ints, floats, numeric
      type = KDB_NUMBER;
      size = 22;
      if (col.type == 1700 && col.mod >= 4) {
        p = static_cast<int16_t>(((col.mod - 4) >> 16) & 0xffff);
        sc = static_cast<int16_t>((col.mod - 4) & 0xffff);
      }
      break;
    case 1043:  // varchar; without a length it holds as much as text
      if (col.mod >= 4) { type = KDB_VARCHAR2; size = col.mod - 4; } else { type = KDB_LONG; size = 0; }
      break;
    case 1042: type = KDB_CHAR; size = col.mod >= 4 ? col.mod - 4 : 1; break;          // char
    case 18: type = KDB_CHAR; size = 1; break;
    case 25: type = KDB_LONG; size = 0; break;                                         // text
    case 17: type = KDB_LONGRAW; size = 0; break;                                      // bytea
    case 1082: case 1114: case 1184: type = KDB_DATE; size = 7; break;
    case 19: type = KDB_VARCHAR2; size = 63; break;                                    // name
    default: type = KDB_VARCHAR2; size = 4000; break;
  }
  if (dbsize) *dbsize = size;
  if (dbtype) *dbtype = type;
  if (prec) *prec = p;
  if (scale) *scale = sc;
  if (nullok) *nullok = 1;
  if (name && namelen) {
    int32_t cap = *namelen;
    int32_t nl = static_cast<int32_t>(std::min<size_t>(col.name.size(), cap > 0 ? cap : 0));
    std::memcpy(name, col.name.data(), nl);
    *namelen = nl;
  }
  return setcda(cda, KDB_FC_DESCRIBE, 0);
}

int kdbexec(kdbcda* cda) {
  if (!cda) return KDB_BADCALL;
  return execute(cda, KDB_FC_EXEC, 0);
}

int kdbexn(kdbcda* cda, int32_t n) {
  if (!cda) return KDB_BADCALL;
  if (n <= 0) return setcda(cda, KDB_FC_EXEC, KDB_BADCALL);
  return execute(cda, KDB_FC_EXEC, n);
}

int kdbfetch(kdbcda* cda, int32_t n) {
  kdbcur* c = curof(cda);
  if (c && !c->sess) return setcda(cda, KDB_FC_FETCH, KDB_NOTCONNECTED);
  if (!c || n <= 0) return cda ? setcda(cda, KDB_FC_FETCH, KDB_BADCALL) : KDB_BADCALL;
  kdbsess* s = c->sess;
  if (c->kind != KDB_FT_QUERY || !c->executed)
    return setcda(cda, KDB_FC_FETCH, fail(s, KDB_BADCALL, "KDB-01002: fetch out of sequence"));
  int crc = 0;
  int32_t got = 0;
  c->fetchbase = c->next;
  int enc = s->link[c->link].pg ? PQclientEncoding(s->link[c->link].pg) : 0;
  while (got < n) {
    if (c->next >= c->nrows) {
      if (c->holdopen && !c->holdend) {
        c->fetchbase = -got;
        int rc = fetchblock(c);
        if (rc) return setcda(cda, KDB_FC_FETCH, rc);
        if (c->nrows == 0) break;
      } else {
        break;
      }
    }
    int row = c->next++;
    for (size_t k = 0; k < c->defines.size(); ++k) {
      Define& d = c->defines[k];
      if (!d.buf) continue;
      int col = static_cast<int>(k);
      bool nul = PQgetisnull(c->res, row, col);
      // A buffer takes at most its size of a value: only that much of a
      // long value is copied (and decoded) here; the rest is read in pieces
      // (kdbflngr) straight from the result.
      bool numeric = d.ftype == KDB_INTEGER || d.ftype == KDB_UNSIGNED || d.ftype == KDB_FLOAT;
      size_t cap = numeric || d.elemsize <= 0 ? SIZE_MAX : static_cast<size_t>(d.elemsize) + 8;
      size_t full = 0;
      std::string v = nul ? std::string() : valuebytes(c->res, row, col, cap, &full);
      crc = worse(crc, store(d.buf, d.elemsize, d.ftype, d.ind, d.alen, d.rcode,
                             static_cast<uint32_t>(got), nul, v, enc, nul ? SIZE_MAX : full));
    }
    c->lastrow = row;
    ++got;
  }
  cda->rpc += static_cast<uint32_t>(got);
  int rc = crc ? crc : (got < n ? KDB_NODATA : 0);
  if (rc == KDB_NODATA) {
    fail(s, rc, "KDB-01403: no data found");
  } else if (rc) {
    fail(s, rc, convtext(rc));
  }
  return setcda(cda, KDB_FC_FETCH, rc);
}

int kdbexfet(kdbcda* cda, int32_t n) {
  if (!cda) return KDB_BADCALL;
  int rc = execute(cda, KDB_FC_EXFET, 0);
  if (rc) return rc;
  rc = kdbfetch(cda, n);
  return setcda(cda, KDB_FC_EXFET, rc);
}

int kdbflng(kdbcda* cda, int pos, void* buf, int32_t bufl, int ftype, uint32_t* retl,
            uint32_t offset) {
  kdbcur* c = curof(cda);
  int row = c ? c->lastrow - c->fetchbase : 0;
  return kdbflngr(cda, row, pos, buf, bufl, ftype, retl, offset);
}

int kdbflngr(kdbcda* cda, int row, int pos, void* buf, int32_t bufl, int ftype, uint32_t* retl,
             uint32_t offset) {
  kdbcur* c = curof(cda);
  if (c && !c->sess) return setcda(cda, KDB_FC_LONG, KDB_NOTCONNECTED);
  if (retl) *retl = 0;
  if (!c || !buf || bufl < 0) return cda ? setcda(cda, KDB_FC_LONG, KDB_BADCALL) : KDB_BADCALL;
  int r = c->fetchbase + row;
  if (!c->res || c->lastrow < 0 || row < 0 || r < 0 || r > c->lastrow)
    return setcda(cda, KDB_FC_LONG, fail(c->sess, KDB_BADCALL, "KDB-01002: fetch out of sequence"));
  if (pos < 1 || pos > PQnfields(c->res))
    return setcda(cda, KDB_FC_LONG, fail(c->sess, KDB_NOTINLIST, "KDB-01007: variable not in select list"));
  (void)ftype;
  // Only the piece is copied (and, for bytes, decoded): a value read in
  // pieces costs its length once, not once a piece.
  size_t size = 0;
  const char* v = nullptr;
  bool hex = false;
  if (!PQgetisnull(c->res, r, pos - 1)) {
    v = PQgetvalue(c->res, r, pos - 1);
    size = static_cast<size_t>(PQgetlength(c->res, r, pos - 1));
    hex = PQftype(c->res, pos - 1) == kByteaOid && size >= 2 && v[0] == '\\' && v[1] == 'x';
    if (hex) size = (size - 2) / 2;
  }
  size_t from = std::min<size_t>(offset, size);
  size_t n = std::min<size_t>(size - from, static_cast<size_t>(bufl));
  if (hex) {
    auto hv = [](char ch) { return ch <= '9' ? ch - '0' : (ch | 0x20) - 'a' + 10; };
    auto* out = static_cast<char*>(buf);
    const char* in = v + 2 + 2 * from;
    for (size_t k = 0; k < n; ++k) out[k] = static_cast<char>(hv(in[2 * k]) << 4 | hv(in[2 * k + 1]));
  } else if (n) {
    std::memcpy(buf, v + from, n);
  }
  if (retl) *retl = static_cast<uint32_t>(n);
  return setcda(cda, KDB_FC_LONG, from + n >= size ? KDB_NODATA : 0);
}

int kdbcancel(kdbcda* cda) {
  kdbcur* c = curof(cda);
  if (c && !c->sess) return setcda(cda, KDB_FC_CANCEL, KDB_NOTCONNECTED);
  if (!c) return cda ? setcda(cda, KDB_FC_CANCEL, KDB_BADCALL) : KDB_BADCALL;
  dropresult(c);
  closehold(c);
  c->executed = false;
  return setcda(cda, KDB_FC_CANCEL, 0);
}
