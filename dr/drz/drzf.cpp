/* Policy resolution: which table reference of a statement a text column
 * belongs to, by the statement's scope rules, and which policy indexes it,
 * asked of the database side for the requesting user. Tables behind a
 * database link are refused where the FROM list is read. */
#include <cstring>

#include "dr/dru/drue.h"
#include "dr/drz/drzint.h"

namespace {

constexpr int32_t kNoPolicy = 11306;
constexpr int32_t kNoNamed = 10502;
constexpr int32_t kAmbiguous = 11327;
constexpr int32_t kColText = 93;

/* The database side reports on its own; the caller decides by the code. */
constexpr druorep kQuiet = {-1, -1, -1, -1, -1, -1, -1, -1, -1};

bool same(const drzgtstr *a, const drzgtstr *b) {
  return a && b && a->len == b->len && std::memcmp(a->text, b->text, a->len) == 0;
}

}  // namespace

void drzfname(drsrvstate *st, char *base, int32_t *len, int32_t cap, const drzgtnm *col) {
  if (col->schema) {
    drzcat(st, base, len, cap, col->schema->text, col->schema->len);
    drzcat(st, base, len, cap, ".", 1);
  }
  if (col->table) {
    drzcat(st, base, len, cap, col->table->text, col->table->len);
    drzcat(st, base, len, cap, ".", 1);
  }
  if (col->column) drzcat(st, base, len, cap, col->column->text, col->column->len);
}

int drzpresolve(drsrvstate *st, drzstab **tab, drzsstate *rs, drzsblk *blk, const drzgtnm *col,
                drzfresult *res, const char *polname) {
  int matches = 0;
  drzstab *found = nullptr;
  drzfresult got{};
  for (drzsblk *b = blk; b && matches == 0; b = b->outer) {
    for (drzstab *t = b->tabs; t && matches < 2; t = t->next) {
      const drzgtref *ref = t->ref;
      if (!ref || ref->kind == DRZGT_BIND || ref->kind == DRZGT_SUBQ) continue;
      if (col->schema && !(ref->kind == DRZGT_SCHEMA ? same(col->schema, ref->schema)
                                                      : same(col->schema, rs->user)))
        continue;
      if (col->table && !same(col->table, ref->alias)) continue;
      drzfreq req{ref->kind == DRZGT_SCHEMA ? ref->schema->text : nullptr, ref->table->text,
                  col->column->text, ref->link ? ref->link->text : nullptr};
      drzfresult one{};
      int rc = drzsops.resolve(st, t, &req, &one, rs->user->text, polname);
      if (rc == 1) return 1;
      if (rc == 7) continue;
      matches++;
      if (rc == 0 && matches == 1) {
        found = t;
        got = one;
      } else {
        drzrfreestr(st, &one.colname);
      }
      if (rc == 2 && matches == 1) found = nullptr;
    }
  }
  if (matches == 1 && found) {
    *tab = found;
    *res = got;
    return 0;
  }
  drzrfreestr(st, &got.colname);
  char text[kColText];
  int32_t n = 0;
  drzfname(st, text, &n, kColText - 1, col);
  text[n] = 0;
  if (matches == 0) drzgterr(st, DRZ_DB | 904);
  if (matches == 1) {
    if (polname && *polname) drzpush(st, kNoNamed, polname);
    else drzpush(st, kNoPolicy, text);
  } else {
    drzpush(st, kAmbiguous, text);
  }
  return 1;
}

int drzfres(drsrvstate *st, drzstab *tab, const drzfreq *req, drzfresult *res, const char *user,
            const char *polname) {
  if (req->link) {
    drzpush(st, 11334, req->table);
    return 1;
  }
  druocur *c = nullptr;
  if (druoprs(st, st->cmdhp,
              "CALL DR_REWRITE.RESOLVE_POLICY(:usrnam,:schnam,:tabnam,:colnam,:dblink,"
              " :pol_id,:polnam,:poltxk)",
              &c) != 0)
    return 1;
  char usr[31] = "", sch[31] = "", tabn[31] = "", col[31] = "";
  char link[129] = "", pol[62] = "", txk[257] = "";
  std::strncpy(usr, user, 30);
  if (req->schema) std::strncpy(sch, req->schema, 30);
  std::strncpy(tabn, req->table, 30);
  std::strncpy(col, req->column, 30);
  if (polname) std::strncpy(pol, polname, 61);
  int32_t polid = 0;
  int16_t schind = req->schema ? 0 : -1, linkind = -1, polind = pol[0] ? 0 : -1, idind = -1,
          txkind = -1;
  int rc = druobnd(st, c, ":usrnam", usr, sizeof usr, DRUO_STRING, nullptr, nullptr, &kQuiet);
  if (rc == 0) rc = druobnd(st, c, ":schnam", sch, sizeof sch, DRUO_STRING, &schind, nullptr, &kQuiet);
  if (rc == 0) rc = druobnd(st, c, ":tabnam", tabn, sizeof tabn, DRUO_STRING, nullptr, nullptr, &kQuiet);
  if (rc == 0) rc = druobnd(st, c, ":colnam", col, sizeof col, DRUO_STRING, nullptr, nullptr, &kQuiet);
  if (rc == 0) rc = druobnd(st, c, ":dblink", link, sizeof link, DRUO_STRING, &linkind, nullptr, &kQuiet);
  if (rc == 0) rc = druobnd(st, c, ":pol_id", &polid, sizeof polid, DRUO_INTEGER, &idind, nullptr, &kQuiet);
  if (rc == 0) rc = druobnd(st, c, ":polnam", pol, sizeof pol, DRUO_STRING, &polind, nullptr, &kQuiet);
  if (rc == 0) rc = druobnd(st, c, ":poltxk", txk, sizeof txk, DRUO_STRING, &txkind, nullptr, &kQuiet);
  if (rc == 0) rc = druoexe(st, c, &kQuiet);
  druofre(st, st->cmdhp, &c);
  if (rc == DRUO_NOCOLUMN) return 7;
  if (rc != 0) drzgterr(st, DRZ_DB | rc);
  if (idind == -1) return 2;
  res->colname = drzgtnewstr(st, req->column, static_cast<int32_t>(std::strlen(req->column)), 0);
  res->policy = polid;
  std::memcpy(res->polname, pol, sizeof res->polname);
  res->polname[sizeof res->polname - 1] = 0;
  std::memcpy(res->textkey, txk, sizeof res->textkey);
  res->textkey[sizeof res->textkey - 1] = 0;
  res->dblink[0] = 0;
  res->tab = tab;
  return 0;
}
