// The cursor layer over the client library: every open, parse, bind,
// define, execute and fetch of the server, each failure reported through
// druoerr; the one-statement runner; the identifier check and the quoter.
#include "dr/dru/druo.h"

#include <cstring>

#include "dr/dru/drue.h"
#include "platform/db/db.h"

static_assert(sizeof(druocur) == sizeof(kdbcda), "the cursor area is the client's");
static_assert(alignof(druocur) >= alignof(kdbcda));
static_assert(sizeof(kdblda) <= sizeof(((drsrvstate *)nullptr)->logarea),
              "login area fits the server state");
static_assert(DRUO_WORK == KDB_WORK && DRUO_TRANSPORT == KDB_TRANSPORT);
static_assert(DRUO_VARCHAR2 == KDB_VARCHAR2 && DRUO_INTEGER == KDB_INTEGER &&
              DRUO_FLOAT == KDB_FLOAT && DRUO_STRING == KDB_STRING && DRUO_LONG == KDB_LONG &&
              DRUO_VARCHAR == KDB_VARCHAR && DRUO_RAW == KDB_RAW && DRUO_LONGRAW == KDB_LONGRAW &&
              DRUO_UNSIGNED == KDB_UNSIGNED && DRUO_LONGVARCHAR == KDB_LONGVARCHAR &&
              DRUO_LONGVARRAW == KDB_LONGVARRAW && DRUO_CHAR == KDB_CHAR &&
              DRUO_CHARZ == KDB_CHARZ);
static_assert(DRUO_UNIQUE == KDB_UNIQUE && DRUO_NOTABLE == KDB_NOTABLE &&
              DRUO_EXISTS == KDB_EXISTS && DRUO_NOTINLIST == KDB_NOTINLIST &&
              DRUO_NODATA == KDB_NODATA && DRUO_NULL == KDB_NULLVALUE &&
              DRUO_TRUNC == KDB_TRUNCATED && DRUO_NOSEQ == KDB_NOSEQUENCE &&
              DRUO_NOTCONN == KDB_NOTCONNECTED && DRUO_NOPROC == KDB_NOPROC &&
              DRUO_OVERFLOW == KDB_OVERFLOW && DRUO_BADTEXT == KDB_BADTEXT &&
              DRUO_AGAIN == KDB_AGAIN && DRUO_BADNAME == KDB_BADNAME &&
              DRUO_NOCOLUMN == KDB_UNDEFCOLUMN);

const druorep druorepd = {DRUE_OPEN, DRUE_PARSE, DRUE_BIND, DRUE_DEFINE, DRUE_EXEC, 0,
                          DRUE_CLOSE, 2, 2};
const druorep druorepf = {DRUE_OPEN, DRUE_PARSE, DRUE_BIND, DRUE_DEFINE, DRUE_EXEC, 0, -1, 3, 2};
const druorep druorepq = {-1, -1, -1, -1, -1, -1, -1, -1, -1};

namespace {

kdblda *lda(void *login) { return static_cast<kdblda *>(login); }

// The client's cursor area inside ours: the unsigned char array of druocur
// provides the storage the client's record lives in.
kdbcda *cda(druocur *c) { return reinterpret_cast<kdbcda *>(c->area); }
const kdbcda *cda(const druocur *c) { return reinterpret_cast<const kdbcda *>(c->area); }

const druorep &how(const druorep *rep) { return rep ? *rep : druorepd; }

// Reports a failing step unless rc is 0 or one the caller takes as a result.
int report(drsrvstate *st, int rc, int step, int sev, const char *file, int line, int result = -1) {
  if (rc != 0 && rc != result && step >= 0) druoerr(st, rc, step, sev, file, line);
  return rc;
}

// Allocate, open on the given connection and parse, for druoprs and druoprst.
int prs(drsrvstate *st, drheap heap, const char *sql, int link, druocur **out) {
  *out = nullptr;
  void *blk = drumalz(st, st->hpmgr, heap, sizeof(druocur), __FILE__, __LINE__);
  if (!blk) {
    druetrc();
    return 1;
  }
  druocur *cur = static_cast<druocur *>(blk);
  std::memset(cur, 0, sizeof *cur);
  if (druoprp(st, cur, link, sql) != 0) {
    drumfre(st, st->hpmgr, heap, &blk);
    druetrc();
    return 1;
  }
  *out = cur;
  return 0;
}

bool idstart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool idpart(char c) { return idstart(c) || (c >= '0' && c <= '9') || c == '$'; }

}  // namespace

/* ---- cursors ---- */

int druoopn(druocur *cur, void *login) { return kdbopen(cda(cur), lda(login), KDB_WORK); }

int druoopnt(druocur *cur, void *login) { return kdbopen(cda(cur), lda(login), KDB_TRANSPORT); }

int druocls(druocur *cur) { return kdbclose(cda(cur)); }

int druoprs(drsrvstate *st, drheap heap, const char *sql, druocur **out) {
  return prs(st, heap, sql, DRUO_WORK, out);
}

int druoprst(drsrvstate *st, drheap heap, const char *sql, druocur **out) {
  return prs(st, heap, sql, DRUO_TRANSPORT, out);
}

int druofre(drsrvstate *st, drheap heap, druocur **cur) {
  if (!cur || !*cur) return 0;
  kdbclose(cda(*cur));
  void *blk = *cur;
  drumfre(st, st->hpmgr, heap, &blk);
  *cur = nullptr;
  return 0;
}

int drqsexe(drsrvstate *st, const char *sql) {
  static const druorep text = {0, 0, 0, 0, 0, 0, -1, 2, 2};
  druocur cur{};
  int rc = druoprp(st, &cur, DRUO_WORK, sql, &text);
  if (rc == 0) {
    rc = druoexe(st, &cur, &text);
    druocls(&cur);
  }
  if (rc != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

/* ---- steps ---- */

int druoopc(drsrvstate *st, druocur *cur, int link, const druorep *rep, const char *file,
            int line) {
  const druorep &r = how(rep);
  int rc = st->login ? kdbopen(cda(cur), lda(st->login), link) : DRUO_NOTCONN;
  return report(st, rc, r.open, r.opsev, file, line);
}

int druopar(drsrvstate *st, druocur *cur, const char *sql, const druorep *rep, const char *file,
            int line) {
  const druorep &r = how(rep);
  return report(st, kdbparse(cda(cur), sql), r.parse, r.opsev, file, line);
}

int druoprp(drsrvstate *st, druocur *cur, int link, const char *sql, const druorep *rep,
            const char *file, int line) {
  int rc = druoopc(st, cur, link, rep, file, line);
  if (rc != 0) return rc;
  rc = druopar(st, cur, sql, rep, file, line);
  if (rc != 0) kdbclose(cda(cur));
  return rc;
}

int druoend(drsrvstate *st, druocur *cur, const druorep *rep, const char *file, int line) {
  const druorep &r = how(rep);
  return report(st, kdbclose(cda(cur)), r.close, r.sev, file, line);
}

int druobnd(drsrvstate *st, druocur *cur, const char *name, void *buf, int32_t size, int type,
            int16_t *ind, uint16_t *alen, const druorep *rep, const char *file, int line) {
  const druorep &r = how(rep);
  return report(st, kdbbndrv(cda(cur), name, buf, size, type, ind, alen), r.bind, r.sev, file,
                line);
}

int druobnn(drsrvstate *st, druocur *cur, int pos, void *buf, int32_t size, int type, int16_t *ind,
            uint16_t *alen, const druorep *rep, const char *file, int line) {
  const druorep &r = how(rep);
  return report(st, kdbbndrn(cda(cur), pos, buf, size, type, ind, alen), r.bind, r.sev, file, line);
}

int druobna(drsrvstate *st, druocur *cur, const char *name, void *buf, int32_t size, int type,
            int16_t *ind, uint16_t *alen, uint32_t max, uint32_t *count, const druorep *rep,
            const char *file, int line) {
  const druorep &r = how(rep);
  return report(st, kdbbndra(cda(cur), name, buf, size, type, ind, alen, nullptr, max, count),
                r.bind, r.sev, file, line);
}

int druodef(drsrvstate *st, druocur *cur, int pos, void *buf, int32_t size, int type, int16_t *ind,
            uint16_t *alen, const druorep *rep, const char *file, int line) {
  const druorep &r = how(rep);
  return report(st, kdbdefin(cda(cur), pos, buf, size, type, ind, alen), r.define, r.sev, file,
                line);
}

int druodfc(drsrvstate *st, druocur *cur, int pos, void *buf, int32_t size, int type,
            int16_t *ind, uint16_t *alen, uint16_t *rcode, const druorep *rep, const char *file,
            int line) {
  const druorep &r = how(rep);
  return report(st, kdbdefin(cda(cur), pos, buf, size, type, ind, alen, rcode), r.define, r.sev,
                file, line);
}

int druoexe(drsrvstate *st, druocur *cur, const druorep *rep, const char *file, int line) {
  const druorep &r = how(rep);
  return report(st, kdbexec(cda(cur)), r.exec, r.sev, file, line);
}

int druoexn(drsrvstate *st, druocur *cur, uint32_t n, const druorep *rep, const char *file,
            int line) {
  const druorep &r = how(rep);
  return report(st, kdbexn(cda(cur), static_cast<int32_t>(n)), r.exec, r.sev, file, line);
}

int druoexf(drsrvstate *st, druocur *cur, uint32_t n, const druorep *rep, const char *file,
            int line) {
  const druorep &r = how(rep);
  return report(st, kdbexfet(cda(cur), static_cast<int32_t>(n)), r.exec, r.sev, file, line,
                DRUO_NODATA);
}

namespace {
// The fetch seam: fetches left before the chosen one, and its answer.
long g_fetchat = 0;
int g_fetchrc = 0;
}  // namespace

void druofetat(long n, int rc) {
  g_fetchat = n;
  g_fetchrc = rc;
}

int druofet(drsrvstate *st, druocur *cur, uint32_t n, const druorep *rep, const char *file,
            int line) {
  const druorep &r = how(rep);
  if (g_fetchat > 0 && --g_fetchat == 0)
    return report(st, g_fetchrc, r.fetch, r.sev, file, line, DRUO_NODATA);
  return report(st, kdbfetch(cda(cur), static_cast<int32_t>(n)), r.fetch, r.sev, file, line,
                DRUO_NODATA);
}

int druohld(drsrvstate *st, druocur *cur, int on, const druorep *rep, const char *file, int line) {
  const druorep &r = how(rep);
  return report(st, kdbhold(cda(cur), on), r.exec, r.sev, file, line);
}

int druolng(drsrvstate *st, druocur *cur, int row, int pos, void *buf, int32_t size, int type,
            uint32_t *got, uint32_t offset, const druorep *rep, const char *file, int line) {
  const druorep &r = how(rep);
  return report(st, kdbflngr(cda(cur), row, pos, buf, size, type, got, offset), r.fetch, r.sev,
                file, line, DRUO_NODATA);
}

int druodsc(drsrvstate *st, druocur *cur, int pos, int32_t *size, int16_t *type, char *name,
            int32_t *namelen, const druorep *rep, const char *file, int line) {
  const druorep &r = how(rep);
  int16_t prec = 0, scale = 0, nullok = 0;
  return report(st, kdbdescr(cda(cur), pos, size, type, name, namelen, &prec, &scale, &nullok),
                r.define, r.sev, file, line, DRUO_NOTINLIST);
}

int druocan(drsrvstate *st, druocur *cur, const druorep *rep, const char *file, int line) {
  const druorep &r = how(rep);
  return report(st, kdbcancel(cda(cur)), r.exec, r.sev, file, line);
}

int druocmt(drsrvstate *st, const druorep *rep, const char *file, int line) {
  const druorep &r = how(rep);
  int rc = st->login ? kdbcommit(lda(st->login)) : DRUO_NOTCONN;
  return report(st, rc, 0, r.sev, file, line);
}

int druorbk(drsrvstate *st, const druorep *rep, const char *file, int line) {
  const druorep &r = how(rep);
  int rc = st->login ? kdbrollback(lda(st->login)) : DRUO_NOTCONN;
  return report(st, rc, 0, r.sev, file, line);
}

int druowai(drsrvstate *st, int link, int32_t ms, const druorep *rep, const char *file,
            int line) {
  const druorep &r = how(rep);
  int rc = st->login ? kdbwait(lda(st->login), link, ms) : DRUO_NOTCONN;
  if (rc == DRUO_NODATA) return rc;
  return report(st, rc, r.exec, r.sev, file, line);
}

uint32_t druorows(const druocur *cur) { return cda(cur)->rpc; }

int druorc(const druocur *cur) { return cda(cur)->rc; }

const char *druofcn(const druocur *cur) { return kdbfcname(cda(cur)->fc); }

int druobnr(char *buf, size_t size, const char *product, uint32_t version, int status) {
  return kdbbanner(buf, size, product, version, status);
}

/* ---- names in statement texts ---- */

bool druoidn(const char *name, int parts) {
  if (!name) return false;
  const char *p = name;
  for (int part = 0; part < parts; ++part) {
    const char *start = p;
    if (!idstart(*p)) return false;
    while (idpart(*p)) ++p;
    if (p - start > 63) return false;
    if (*p == '\0') return true;
    if (*p != '.') return false;
    ++p;
  }
  return false;
}

int druoquo(char *dst, size_t size, const char *text, char q) {
  if (!dst || size == 0) return 1;
  size_t n = 0;
  auto put = [&](char c) {
    if (n + 1 >= size) return false;
    dst[n++] = c;
    return true;
  };
  bool ok = put(q);
  for (const char *p = text ? text : ""; ok && *p; ++p) {
    if (*p == q) ok = put(q);
    if (ok) ok = put(*p);
  }
  if (ok) ok = put(q);
  dst[ok ? n : 0] = '\0';
  return ok ? 0 : 1;
}
