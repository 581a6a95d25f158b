// The stored-query manager: definitions in DR$SQE (one row per policy,
// name and session, or 'SYSTEM' for every session), their hits in the
// policy's result table, evaluated over the documents indexed since the
// last evaluation under a lock on the definition's row, and the blocks of
// the database side that delete, clear and purge them.
#include <cstring>

#include "dr/dras/dras.h"
#include "dr/drd/drd.h"
#include "dr/dreb/dreb.h"
#include "dr/dru/drue.h"
#include "dr/dry/dry.h"

namespace {

// Messages of the manager.
enum {
  DREBS_ESYSTEM = 10014,  // a 'SYSTEM' definition deleted without the scope flag
  DREBS_EDUP = 10822,     // the name is taken
  DREBS_ENONE = 10823,    // no such definition
  DREBS_ETEXT = 10825     // no definition to read the text of
};

// The text of a definition this long at most (the column's width).
constexpr int32_t kTextMax = 2000;

drebsobj *sqm(drobj *o) { return reinterpret_cast<drebsobj *>(o); }

int fail(drsrvstate *st, int msg, const char *name) {
  dracnerr(st, DRFAC_DRG, msg, 2, DRA_STR, name, 0);
  druetrc();
  return 1;
}

// A string attribute by ordinal: null when absent or empty.
const char *clause(drebsobj *m, int32_t ordinal) {
  const char *v = nullptr;
  if (m->attrs) drdpval(m->attrs, nullptr, ordinal, nullptr, &v);
  return v && *v ? v : nullptr;
}

// One statement on a cursor of its own: prepared, bound, run, closed.
struct Stmt {
  drsrvstate *st;
  druocur cur{};
  bool open = false;
  int rc = 0;

  Stmt(drsrvstate *s, const char *sql) : st(s) {
    rc = druoprp(st, &cur, DRUO_WORK, sql);
    open = rc == 0;
  }
  ~Stmt() { close(); }
  int close() {
    if (!open) return 0;
    open = false;
    return druoend(st, &cur);
  }
  Stmt &str(const char *name, const char *v, int16_t *ind = nullptr) {
    if (rc == 0)
      rc = druobnd(st, &cur, name, const_cast<char *>(v ? v : ""),
                   static_cast<int32_t>(std::strlen(v ? v : "") + 1), DRUO_STRING, ind);
    return *this;
  }
  Stmt &out(const char *name, char *buf, int32_t size, int16_t *ind) {
    if (rc == 0) rc = druobnd(st, &cur, name, buf, size, DRUO_STRING, ind);
    return *this;
  }
  Stmt &num(const char *name, int32_t *v) {
    if (rc == 0) rc = druobnd(st, &cur, name, v, sizeof *v, DRUO_INTEGER);
    return *this;
  }
  int exec() {
    if (rc == 0) rc = druoexe(st, &cur);
    return rc;
  }
};

// Rolls back after a failure already pushed; 1.
int undo(drsrvstate *st) {
  druorbk(st, &druorepq);
  druetrc();
  return 1;
}

int drebsbnd(drobj *o, int32_t polid, drdplist *attrs) {
  drebsobj *m = sqm(o);
  m->polid = polid;
  m->attrs = attrs;
  if (drdcnam(m->st, polid, "SQR", m->sqr, sizeof m->sqr) != 0 ||
      drdcnam(m->st, polid, "SRI", m->sri, sizeof m->sri) != 0) {
    druetrc();
    return 1;
  }
  m->leaf = {m->sqr, "query_result", "query_name", "session_id", "first_doc"};
  return 0;
}

int drebscrt(drobj *o) {
  drebsobj *m = sqm(o);
  drudcol cols[] = {{"varchar(32) not null", "query_name", DRUO_STRING},
                    {"varchar(32) not null", "session_id", DRUO_STRING},
                    {"bigint not null", "first_doc", DRUO_UNSIGNED},
                    {"bytea", "query_result", DRUO_LONGRAW},
                    {nullptr, nullptr, 0}};
  drudtab t{m->sqr, clause(m, 27), clause(m, 28), clause(m, 29), cols, 0};
  static const char *const keys[] = {"query_name", "session_id", "first_doc"};
  drudidx x{m->sri, 1, m->sqr, keys, 3, clause(m, 30), clause(m, 31), clause(m, 32)};
  char text[512];
  if (drudcrtab(m->st, &t, text, sizeof text, 1) != 0 || drudcridx(m->st, &x, 1) != 0 ||
      druocmt(m->st) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drebslimit(drobj *o, uint32_t maxid) {
  sqm(o)->limit = maxid;
  return 0;
}

// The session id a definition is saved under.
const char *owner(const char *sessid, int32_t scope) { return scope ? "SYSTEM" : sessid; }

int drebssave(drobj *o, const char *name, const char *sessid, const char *text, int32_t scope) {
  drebsobj *m = sqm(o);
  drsrvstate *st = m->st;
  // A missing table is made again once; a second miss is a failure.
  for (int tries = 0;; ++tries) {
    int32_t cid = m->polid, status = 0;
    Stmt s(st, "CALL dr_sqe.save(:cid, :qname, :sid, :qtext, :status)");
    s.num(":cid", &cid).str(":qname", name).str(":sid", owner(sessid, scope)).str(":qtext", text);
    s.num(":status", &status);
    if (s.exec() == 0) {
      if (s.close() != 0) return undo(st);
      if (status != 0) {
        druorbk(st, &druorepq);
        return fail(st, DREBS_EDUP, name);
      }
      if (druocmt(st) != 0) return undo(st);
      return 0;
    }
    if (druorc(&s.cur) == DRUO_NOTABLE && tries == 0) {
      drueclr(st);
      s.close();
      druorbk(st, &druorepq);
      if (drebscrt(o) != 0) return undo(st);
      continue;
    }
    return undo(st);
  }
}

int drebsdel(drobj *o, const char *name, const char *sessid, int32_t scope) {
  drebsobj *m = sqm(o);
  drsrvstate *st = m->st;
  int32_t cid = m->polid, p = scope, status = 0;
  Stmt s(st, "CALL dr_sqe.del(:cid, :qname, :sid, :p, :tab, :status)");
  s.num(":cid", &cid).str(":qname", name).str(":sid", sessid).num(":p", &p).str(":tab", m->sqr);
  s.num(":status", &status);
  if (s.exec() != 0 || s.close() != 0) return undo(st);
  if (status != 0) {
    druorbk(st, &druorepq);
    return fail(st, status == 1 ? DREBS_ENONE : DREBS_ESYSTEM, name);
  }
  if (druocmt(st) != 0) return undo(st);
  return 0;
}

int drebsclr(drobj *o, const char *name, const char *sessid) {
  drebsobj *m = sqm(o);
  drsrvstate *st = m->st;
  int32_t cid = m->polid;
  Stmt s(st, "CALL dr_sqe.clr(:cid, :qname, :sid, :tab)");
  s.num(":cid", &cid).str(":qname", name).str(":sid", sessid).str(":tab", m->sqr);
  if (s.exec() != 0 || s.close() != 0 || druocmt(st) != 0) return undo(st);
  return 0;
}

int drebsputcb(void *row, uint32_t doc, uint32_t score) {
  return drebsput(static_cast<drebsrow *>(row), doc, score);
}

int drebseval(drobj *o, const char *name, const char *sessid, drobj *engine, drobj *qp) {
  drebsobj *m = sqm(o);
  drsrvstate *st = m->st;
  int32_t cid = m->polid;
  int64_t hwmark = 0;
  int16_t ind = 0;
  {
    // The lock on the definition's row lasts to the commit: evaluations of
    // one definition by several servers take turns.
    Stmt s(st,
           "SELECT hwmark FROM dr$sqe WHERE pol_id = :cid AND query_name = UPPER(:qname)"
           " AND session_id IN (:sid, 'SYSTEM') FOR UPDATE");
    s.num(":cid", &cid).str(":qname", name).str(":sid", sessid);
    if (s.rc == 0) s.rc = druodef(st, &s.cur, 1, &hwmark, sizeof hwmark, DRUO_INTEGER, &ind);
    if (s.rc == 0) s.rc = druoexf(st, &s.cur, 1, &druorepq);
    if (s.rc == DRUO_NODATA) {
      s.close();
      druorbk(st, &druorepq);
      return fail(st, DREBS_ENONE, name);
    }
    if (s.rc != 0) {
      druoerr(st, s.rc, 0, 2);
      return undo(st);
    }
    if (s.close() != 0) return undo(st);
  }
  if (ind == -1) hwmark = 0;
  if (m->limit <= hwmark) {
    druorbk(st, &druorepq);
    return 0;
  }
  drebyctx ctx = drebqctx(engine);
  drytree *tree = nullptr;
  auto *row = static_cast<drebsrow *>(
      drumalc(st, st->hpmgr, m->heap, 1, sizeof(drebsrow), __FILE__, __LINE__));
  int rc = row ? 0 : 1;
  if (rc == 0 && drymbuild(st, m->heap, qp, &tree, drebytnew, drebypnew, drebyenew, drebysnew,
                           &ctx, DRY_DOCS, 0, nullptr) != 0)
    rc = 1;
  if (rc == 0) {
    row->limit = m->limit;
    rc = drebsrowbeg(m, name, sessid, row);
  }
  if (rc == 0 && drymeval(tree, static_cast<uint32_t>(hwmark) + 1, drebsputcb, row) != 0) rc = 1;
  if (row && drebsrowend(row) != 0) rc = 1;
  if (drymfree(tree) != 0) rc = 1;
  if (row) {
    void *p = row;
    drumfre(st, st->hpmgr, m->heap, &p);
  }
  if (rc == 0) {
    uint32_t mark = m->limit;
    Stmt s(st,
           "UPDATE dr$sqe SET hwmark = :hwmark WHERE pol_id = :cid AND query_name = UPPER(:qname)"
           " AND session_id IN (:sid, 'SYSTEM')");
    if (s.rc == 0) s.rc = druobnd(st, &s.cur, ":hwmark", &mark, sizeof mark, DRUO_UNSIGNED);
    s.num(":cid", &cid).str(":qname", name).str(":sid", sessid);
    if (s.exec() != 0 || s.close() != 0 || druocmt(st) != 0) rc = 1;
  }
  if (rc != 0) return undo(st);
  return 0;
}

int drebspurge(drobj *o, const char *sessid) {
  drebsobj *m = sqm(o);
  drsrvstate *st = m->st;
  int32_t cid = m->polid;
  Stmt s(st, "CALL dr_sqe.purge(:cid, :sid, :tab)");
  s.num(":cid", &cid).str(":sid", sessid).str(":tab", m->sqr);
  if (s.exec() != 0 || s.close() != 0 || druocmt(st) != 0) return undo(st);
  return 0;
}

int drebsget(drobj *o, const char *name, const char *sessid, char *buf, uint16_t size,
             const char *outer) {
  drebsobj *m = sqm(o);
  drsrvstate *st = m->st;
  if (size == 0) return fail(st, DREBS_ETEXT, name);
  buf[0] = '\0';
  int32_t cid = m->polid;
  // Only a definition saved before the outer one it is named in: stored
  // queries cannot name each other in a circle.
  Stmt s(st,
         "SELECT query_text FROM dr$sqe WHERE pol_id = :cid AND query_name = UPPER(:qname)"
         " AND session_id IN (:sid, 'SYSTEM') AND (CAST(:outer AS text) IS NULL OR tstamp <"
         " (SELECT tstamp FROM dr$sqe WHERE pol_id = :cid AND query_name = UPPER(:outer)"
         " AND session_id IN (:sid, 'SYSTEM')))");
  int16_t outind = outer && *outer ? 0 : -1;
  s.num(":cid", &cid).str(":qname", name).str(":sid", sessid).str(":outer", outer, &outind);
  char text[kTextMax + 1];
  int16_t ind = 0;
  if (s.rc == 0) s.rc = druodef(st, &s.cur, 1, text, sizeof text, DRUO_STRING, &ind);
  if (s.rc == 0) s.rc = druoexf(st, &s.cur, 1, &druorepq);
  if (s.rc == DRUO_NODATA) return fail(st, DREBS_ETEXT, name);
  if (s.rc != 0) {
    druoerr(st, s.rc, 0, 2);
    return 1;
  }
  if (ind == -1) text[0] = '\0';
  text[kTextMax] = '\0';
  // Cut inside the caller's buffer.
  size_t n = strnlen(text, static_cast<size_t>(size) - 1);
  std::memcpy(buf, text, n);
  buf[n] = '\0';
  return s.close() != 0;
}

int drebsdrop(drobj *o) {
  drebsobj *m = sqm(o);
  if (druddroptab(m->st, m->sqr) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drebsfree(drobj *o) {
  drebsobj *m = sqm(o);
  void *p = m;
  if (drumfre(m->st, m->st->hpmgr, m->heap, &p) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

const drobjhd<drsqmops> kTpl = {{0, 0, "Base engine stored query manager"},
                                {.bnd = drebsbnd,
                                 .crt = drebscrt,
                                 .limit = drebslimit,
                                 .save = drebssave,
                                 .del = drebsdel,
                                 .clr = drebsclr,
                                 .eval = drebseval,
                                 .purge = drebspurge,
                                 .get = drebsget,
                                 .drop = drebsdrop,
                                 .free = drebsfree}};

// Writes the row collected so far, ended by 4 zero bytes; 0, or 1 after
// pushing.
int flush(drebsrow *r) {
  if (r->first == 0) return 0;
  std::memset(r->buf + r->at, 0, 4);
  uint32_t first = r->first;
  int32_t cid = r->polid;
  drsrvstate *st = r->st;
  int rc = druobnd(st, &r->cur, ":cid", &cid, sizeof cid, DRUO_INTEGER);
  if (rc == 0)
    rc = druobnd(st, &r->cur, ":qname", const_cast<char *>(r->name),
                 static_cast<int32_t>(std::strlen(r->name) + 1), DRUO_STRING);
  if (rc == 0)
    rc = druobnd(st, &r->cur, ":sid", const_cast<char *>(r->sessid),
                 static_cast<int32_t>(std::strlen(r->sessid) + 1), DRUO_STRING);
  if (rc == 0) rc = druobnd(st, &r->cur, ":first_doc", &first, sizeof first, DRUO_UNSIGNED);
  if (rc == 0)
    rc = druobnd(st, &r->cur, ":query_result", r->buf, static_cast<int32_t>(r->at + 4),
                 DRUO_LONGRAW);
  if (rc == 0) rc = druoexe(st, &r->cur);
  r->first = 0;
  r->at = 0;
  if (rc != 0) druetrc();
  return rc != 0;
}

}  // namespace

int drebsrowbeg(drebsobj *m, const char *name, const char *sessid, drebsrow *r) {
  drsrvstate *st = m->st;
  r->st = st;
  r->name = name;
  r->sessid = sessid ? sessid : "";
  r->polid = m->polid;
  r->first = 0;
  r->at = 0;
  r->opened = 0;
  r->cur = {};
  char sql[1024];
  if (drasmfmt(st->fmt, sql, sizeof sql,
               "INSERT INTO %(1)s (query_name, session_id, first_doc, query_result)"
               " SELECT query_name, session_id, :first_doc, :query_result FROM dr$sqe"
               " WHERE pol_id = :cid AND query_name = UPPER(:qname)"
               " AND session_id IN (:sid, 'SYSTEM')",
               DRA_STR, m->sqr, DRA_END) < 0) {
    dracnierr(st, DRFAC_DRG, 50600, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_END);
    return 1;
  }
  if (druoprp(st, &r->cur, DRUO_WORK, sql) != 0) {
    druetrc();
    return 1;
  }
  r->opened = 1;
  return 0;
}

int drebsput(drebsrow *r, uint32_t doc, uint32_t score) {
  bool above = doc > r->limit;
  if ((doc == 0 || above || r->at > DREBS_ROWFULL) && flush(r) != 0) return 1;
  if (above) return 2;
  if (doc == 0) return 0;
  if (r->first == 0) r->first = doc;
  uint8_t *p = r->buf + r->at;
  p[0] = static_cast<uint8_t>(doc >> 24);
  p[1] = static_cast<uint8_t>(doc >> 16);
  p[2] = static_cast<uint8_t>(doc >> 8);
  p[3] = static_cast<uint8_t>(doc);
  p[4] = static_cast<uint8_t>(score > 255 ? 255 : score);
  r->at += DREBS_ENTRY;
  return 0;
}

int drebsrowend(drebsrow *r) {
  if (!r->opened) return 0;
  r->opened = 0;
  if (druoend(r->st, &r->cur) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

drobj *drebsnew(drsrvstate *st, drheap heap) {
  auto *m = drobjnew<drebsobj>(st, heap, kTpl);
  if (!m) return nullptr;
  return &m->hd.obj;
}
