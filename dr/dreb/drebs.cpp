// The stand-in stored-query manager: it keeps the policy's result table in
// step with the index's life cycle (created at begin, dropped with the
// index) so that the tables a policy owns are complete; saving, evaluating
// and reading stored queries answer that they are not available yet.
#include <cstring>

#include "dr/drd/drd.h"
#include "dr/dreb/dreb.h"
#include "dr/dru/drue.h"

namespace {

drebsobj *sqm(drobj *o) { return reinterpret_cast<drebsobj *>(o); }

int notyet(drobj *o) {
  dracnerr(sqm(o)->st, DRFAC_DRG, 50701, 2, DRA_STR, "stored queries", 0);
  druetrc();
  return 1;
}

// A string attribute by ordinal: null when absent or empty.
const char *clause(drebsobj *m, int32_t ordinal) {
  const char *v = nullptr;
  if (m->attrs) drdpval(m->attrs, nullptr, ordinal, nullptr, &v);
  return v && *v ? v : nullptr;
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

int drebssave(drobj *o, const char *, int32_t, const char *, int32_t) { return notyet(o); }
int drebsdel(drobj *o, const char *, int32_t, int32_t) { return notyet(o); }
int drebsclr(drobj *o, const char *, int32_t) { return notyet(o); }
int drebseval(drobj *o, const char *, int32_t, drobj *, drobj *) { return notyet(o); }
int drebspurge(drobj *o, int32_t) { return notyet(o); }
int drebsget(drobj *o, const char *, int32_t, char *, uint16_t, const char *) {
  return notyet(o);
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

}  // namespace

drobj *drebsnew(drsrvstate *st, drheap heap) {
  auto *m = drobjnew<drebsobj>(st, heap, kTpl);
  if (!m) return nullptr;
  return &m->hd.obj;
}
