// The word list object: its attributes, the modes the index commands open it
// in, the statements that make, check and drop its table, its close and its
// release, and the messages every part of it shares.
#include <algorithm>
#include <cstring>

#include "dr/dras/dras.h"
#include "dr/drd/drd.h"
#include "dr/drwa/drwa.h"
#include "platform/nls/nls.h"

namespace {

drwaobj *wa(drobj *o) { return reinterpret_cast<drwaobj *>(o); }

// One number attribute: its range and default.
struct numattr {
  int32_t ord, lo, hi, dflt;
};
const numattr kNums[] = {{4, 6, 64, 64}, {5, 3, 10, 3}, {6, 1, 10, 1}, {7, 1, 10, 2},
                         {8, 0, 1, 0},   {9, 0, 1, 0},  {10, 1, 2, 1}};

int32_t &numfield(drwaattr *a, int32_t ord, int32_t &scratch) {
  switch (ord) {
    case 4: return a->maxlen;
    case 5: return a->groups;
    case 6: return a->stemtype;
    case 7: return a->attr7;
    case 10: return a->fuzzmode;
    default: return scratch;
  }
}

// The default of every attribute; 0, or 1 when a name does not fit.
int defaults(drsrvstate *st, drdmpol *pol, drwaattr *a) {
  const char *owner = pol ? pol->owner : "";
  int id = pol ? pol->id : 0;
  if (drasmfmt(st->fmt, a->wtab, sizeof a->wtab, "%s.DR_%05d_I1W", DRA_STR, owner, DRA_INT, id,
               0) < 0)
    return 1;
  a->tclause[0] = a->iclause[0] = '\0';
  for (const numattr &n : kNums) {
    int32_t scratch = 0;
    numfield(a, n.ord, scratch) = n.dflt;
  }
  a->attr8 = 0;
  a->table = 0;
  return 0;
}

// Stores one attribute; 0, or 1 after pushing why.
int setattr(drsrvstate *st, drwaattr *a, const drdmattr *at, int report) {
  const nlscs *cs = dracncs(st);
  if (at->ordinal >= 1 && at->ordinal <= 3) {
    const char *v = at->datatype == 1 && at->value.str ? at->value.str : "";
    // A name or clause that does not fit its field is refused, never cut:
    // a cut name would address another table.
    if (std::strlen(v) >= DRWA_NAME) {
      dracnerr(st, DRFAC_DRG, 10706, 2, DRA_STR, "Word List", DRA_STR, at->name, DRA_INT,
               static_cast<int>(DRWA_NAME), 0);
      druetrc();
      return 1;
    }
    char *dst = at->ordinal == 1 ? a->wtab : at->ordinal == 2 ? a->tclause : a->iclause;
    nlscpy(cs, dst, DRWA_NAME, v);
    return 0;
  }
  for (const numattr &n : kNums) {
    if (n.ord != at->ordinal) continue;
    int32_t v = drdpnum(at);
    int32_t c = std::clamp(v, n.lo, n.hi);
    int32_t given = v;
    if (n.ord >= 8) given = static_cast<int8_t>(v & 0xff);
    if (n.ord == 8) a->attr8 = static_cast<uint8_t>(c);
    else if (n.ord == 9) a->table = static_cast<uint8_t>(c);
    else {
      int32_t scratch = 0;
      numfield(a, n.ord, scratch) = c;
    }
    if (c != given) drwaeclamp(st, n.lo, n.hi, at->name, v, report);
    return 0;
  }
  dracnierr(st, DRFAC_DRG, DRWA_EATTR, 0, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT,
            static_cast<int>(at->ordinal), 0);
  druetrc();
  return 1;
}

// Makes a provider of a kind from the object's heap; 0 or 1.
int provider(drwaobj *w, drwaattr *a, int kind) {
  drsrvstate *st = w->st;
  auto *p = static_cast<drwaprov *>(
      drumalc(st, st->hpmgr, w->heap, 1, sizeof(drwaprov), __FILE__, __LINE__));
  if (!p) return 1;
  a->prov[kind] = p;
  if (kind == DRWA_FUZZY) {
    drobj *eng = w->pol ? w->pol->comp[DRCLS_ENGINE - 1].obj : nullptr;
    return drwafnew(st, p, eng, a->fuzzmode, w);
  }
  return drwasnew(st, p, nullptr, a->stemtype);
}

// A DDL step failed: its line and its message with the clause; 1.
int ddlfail(drsrvstate *st, const char *line, int num, const char *clause) {
  dracnout(st, line, 0);
  dracnerr(st, DRFAC_DRG, num, 2, DRA_STR, clause, 0);
  druetrc();
  return 1;
}

// Closes a cursor a step of its own opened; 0, or 1 after the report.
int endcur(drwaobj *w, druocur *cur, const char *line) {
  if (druoend(w->st, cur, &druorepq) == 0) return 0;
  return drwacurfail(w, cur, line, __FILE__, __LINE__);
}

// Database errors a DDL statement may meet on objects made before (the
// statements say IF [NOT] EXISTS, so these come only from a race).
bool tolerated(int rc) { return rc == DRUO_EXISTS || rc == DRUO_NOTABLE; }

}  // namespace

void drwaierr(drsrvstate *st, int num, int sev, const char *file, int line) {
  dracnierr(st, DRFAC_DRG, num, sev, DRA_STR, file, DRA_INT, line, 0);
  druetrc();
}

int drwafail(drsrvstate *st, const char *line, int num, const char *file, int fline) {
  if (line) dracnout(st, "%s", DRA_STR, line, 0);
  drwaierr(st, num, 2, file, fline);
  return 1;
}

void drwaekci(drsrvstate *st, void *, const druocur *cur) {
  char text[900];
  int len = druotxt(st, druorc(cur), text, sizeof text);
  const char *fn = druofcn(cur);
  dracnprt(st, st->log, "\n\n%(1)s %(2)s", DRA_INT, len, DRA_STR, text, 0);
  dracnprt(st, st->log, "Processing KCI function %(1)s\n", DRA_STR, fn ? fn : "", 0);
  dracnout(st, "\n\n%s", DRA_STR, text, 0);
  dracnout(st, "Processing KCI function %s\n", DRA_STR, fn ? fn : "", 0);
}

int drwacurfail(drwaobj *w, const druocur *cur, const char *line, const char *file, int fline) {
  drsrvstate *st = w->st;
  if (line) dracnout(st, "%s", DRA_STR, line, 0);
  int rc = druorc(cur);
  (void)druoerr(st, rc, 0, 2, file, fline);
  dracnierr(st, DRFAC_DRG, DRWA_ECUR, 2, DRA_STR, file, DRA_INT, fline, DRA_STR, druofcn(cur),
            DRA_INT, rc, 0);
  drwaekci(st, w->login, cur);
  druetrc();
  return 1;
}

int drwacurprep(drwaobj *w, druocur *cur, const char *sql) {
  drsrvstate *st = w->st;
  if (druoopc(st, cur, DRUO_WORK, &druorepq) != 0)
    return drwacurfail(w, cur, "cannot open cursor data area...\n", __FILE__, __LINE__);
  if (druopar(st, cur, sql, &druorepq) == 0) return 0;
  dracnout(st, " cannot parse query %s\n", DRA_STR, sql, 0);
  drwacurfail(w, cur, nullptr, __FILE__, __LINE__);
  (void)druoend(st, cur, &druorepq);
  return 1;
}

int drwacurdrop(drwaobj *w, druocur *cur, const char *line, const char *closeline) {
  drwacurfail(w, cur, line, __FILE__, __LINE__);
  if (druoend(w->st, cur, &druorepq) != 0) drwacurfail(w, cur, closeline, __FILE__, __LINE__);
  return 1;
}

void drwaeclamp(drsrvstate *st, int32_t lo, int32_t hi, const char *name, int32_t given,
                int report) {
  if (!report) return;
  dracnerr(st, DRFAC_DRG, 10704, 1, DRA_STR, "Word List", DRA_STR, name, DRA_INT, lo, DRA_INT,
           hi, 0);
  dracnerr(st, DRFAC_DRG, 10705, 1, DRA_STR, "Word List", DRA_STR, name, DRA_INT, given, 0);
}

int drwaoattr(drsrvstate *st, drwaobj *w, int32_t prefid, drdmpol *pol, drwaattr *a,
              int report) {
  w->prefid = prefid;
  w->pol = pol;
  int rc = defaults(st, pol, a);
  // The providers work over the policy's components: the fuzzy one reads
  // the index's words through the engine.
  static const int32_t kBuild[] = {DRCLS_DATASTORE, DRCLS_FILTER, DRCLS_LEXER, DRCLS_STOPLIST,
                                   DRCLS_ENGINE};
  for (int32_t c : kBuild)
    if (rc == 0 && pol && drasmobj(st, w->heap, pol, c) != 0) rc = 1;
  drdplist *l = nullptr;
  if (rc == 0 && drdpopn(st, prefid, &l) != 0) rc = 1;
  if (rc == 0) {
    drdmattr *at = nullptr;
    while (rc == 0 && drdpnxt(l, &at) == 0) rc = setattr(st, a, at, report);
  }
  if (l) drdpcls(l);
  // The word table's name reaches statement texts.
  if (rc == 0 && !druoidn(a->wtab, 2)) {
    dracnerr(st, DRFAC_DRG, 10722, 2, DRA_STR, a->wtab, 0);
    rc = 1;
  }
  if (rc == 0 && !a->prov[DRWA_FUZZY]) rc = provider(w, a, DRWA_FUZZY);
  if (rc == 0 && !a->prov[DRWA_STEM]) rc = provider(w, a, DRWA_STEM);
  if (rc != 0) {
    drwaierr(st, DRWA_EFAIL, 2, __FILE__, __LINE__);
    return 1;
  }
  return 0;
}

int drwaoinit(drsrvstate *st, drwaobj *w, int32_t value) {
  w->st = st;
  w->value = value;
  w->login = st->login;
  w->cmdhp = st->cmdhp;
  // The index reads its current token table; a two-table run switches the
  // suffix, so the name is taken again at every open.
  if (w->pol)
    (void)drasmfmt(st->fmt, w->attr.ttab, sizeof w->attr.ttab, "%s.DR_%05d_I1T%s", DRA_STR,
                   w->pol->owner, DRA_INT, static_cast<int>(w->pol->id), DRA_STR,
                   w->pol->suffix, 0);
  if (!druoidn(w->attr.ttab, 2)) w->attr.ttab[0] = '\0';
  return 0;
}

int drwaoddl(drwaobj *w, const char *sql) {
  drsrvstate *st = w->st;
  druocur cur{};
  if (druoopc(st, &cur, DRUO_WORK, &druorepq) != 0)
    return drwacurfail(w, &cur, "cannot open cursor data area...\n", __FILE__, __LINE__);
  int rc = druopar(st, &cur, sql, &druorepq);
  if (rc != 0 && !tolerated(rc)) {
    dracnout(st, " cannot parse query %s\n", DRA_STR, sql, 0);
    drwacurfail(w, &cur, nullptr, __FILE__, __LINE__);
    (void)druoend(st, &cur, &druorepq);
    return 1;
  }
  if (rc == 0) {
    rc = druoexe(st, &cur, &druorepq);
    if (rc != 0 && !tolerated(rc)) {
      drwacurfail(w, &cur, "cursor execute problem \n", __FILE__, __LINE__);
      (void)druoend(st, &cur, &druorepq);
      return 1;
    }
  }
  if (endcur(w, &cur, "!!!!!druocls failed\n") != 0) return 1;
  return druocmt(st) != 0 ? 1 : 0;
}

int drwaocrtab(drwaobj *w) {
  drsrvstate *st = w->st;
  char sql[8192];
  const drwaattr &a = w->attr;
  int n = drasmfmt(st->fmt, sql, sizeof sql,
                   "CREATE TABLE IF NOT EXISTS %s (word varchar(%d) COLLATE \"C\"", DRA_STR,
                   a.wtab, DRA_INT, static_cast<int>(a.maxlen), 0);
  for (int32_t i = 1; n >= 0 && i <= a.groups; ++i) {
    int m = drasmfmt(st->fmt, sql + n, sizeof sql - n, ", group%d varchar(%d) COLLATE \"C\"",
                     DRA_INT, static_cast<int>(i), DRA_INT, static_cast<int>(a.maxlen), 0);
    n = m < 0 ? -1 : n + m;
  }
  if (n >= 0) {
    int m = drasmfmt(st->fmt, sql + n, sizeof sql - n, ")%s", DRA_STR, a.tclause, 0);
    n = m < 0 ? -1 : n + m;
  }
  if (n < 0 || drwaoddl(w, sql) != 0)
    return ddlfail(st, "failure to create table \n", DRWA_ECRTAB, a.tclause);
  return 0;
}

int drwaocridx(drwaobj *w) {
  drsrvstate *st = w->st;
  const drwaattr &a = w->attr;
  char sql[8192];
  // A second primary key is no error: the key is made once.
  bool ok = drasmfmt(st->fmt, sql, sizeof sql,
                     "DO $k$ BEGIN ALTER TABLE %s ADD PRIMARY KEY (word); EXCEPTION WHEN"
                     " invalid_table_definition THEN NULL; END $k$",
                     DRA_STR, a.wtab, 0) >= 0 &&
            drwaoddl(w, sql) == 0;
  // Index names take no schema: an index lives in its table's.
  for (int32_t i = 1; ok && i <= a.groups; ++i)
    ok = drasmfmt(st->fmt, sql, sizeof sql,
                  "CREATE INDEX IF NOT EXISTS DR_%02d_GRP_%d_I1I ON %s (group%d) %s", DRA_INT,
                  static_cast<int>(w->pol ? w->pol->id : 0), DRA_INT, static_cast<int>(i),
                  DRA_STR, a.wtab, DRA_INT, static_cast<int>(i), DRA_STR, a.iclause, 0) >= 0 &&
         drwaoddl(w, sql) == 0;
  if (!ok) return ddlfail(st, "failure to create index \n", DRWA_ECRIDX, a.iclause);
  return 0;
}

int drwaodroptab(drwaobj *w) {
  drsrvstate *st = w->st;
  char sql[512];
  if (drasmfmt(st->fmt, sql, sizeof sql, "DROP TABLE IF EXISTS %s", DRA_STR, w->attr.wtab, 0) < 0 ||
      drwaoddl(w, sql) != 0)
    return ddlfail(st, "failure to drop table \n", DRWA_EDROP, w->attr.iclause);
  return 0;
}

int drwaomake(drwaobj *w) { return drwaocrtab(w) != 0 || drwaocridx(w) != 0 ? 1 : 0; }

int drwaochkidx(drwaobj *w) {
  drsrvstate *st = w->st;
  // The last group index, looked for in the schema of the word table.
  char schema[DRWA_NAME];
  nlscpy(dracncs(st), schema, sizeof schema, w->attr.wtab);
  char *dot = std::strchr(schema, '.');
  if (dot) *dot = '\0';
  char sql[512];
  if (drasmfmt(st->fmt, sql, sizeof sql,
               "select indexname from pg_indexes where indexname = lower('DR_%02d_GRP_%d_I1I')"
               " and schemaname = %s",
               DRA_INT, static_cast<int>(w->pol ? w->pol->id : 0), DRA_INT,
               static_cast<int>(w->attr.groups), DRA_STR,
               dot ? "lower('" : "current_schema()", 0) < 0)
    return drwafail(st, nullptr, DRWA_EFAIL, __FILE__, __LINE__);
  if (dot) {
    // The schema is a checked identifier: it can stand in a literal.
    size_t n = std::strlen(sql);
    if (drasmfmt(st->fmt, sql + n, sizeof sql - n, "%s')", DRA_STR, schema, 0) < 0)
      return drwafail(st, nullptr, DRWA_EFAIL, __FILE__, __LINE__);
  }
  druocur cur{};
  if (drwacurprep(w, &cur, sql) != 0) return 1;
  int rc = 1;
  if (druodef(st, &cur, 1, w->namebuf, sizeof w->namebuf, DRUO_STRING, &w->nameind,
                     nullptr, &druorepq) != 0) {
    drwacurfail(w, &cur, "*cursor bind problem \n", __FILE__, __LINE__);
  } else {
    int f = druoexf(st, &cur, 1, &druorepq);
    if (f == 0) rc = 0;
    else if (f == DRUO_NODATA) rc = -4;
    else drwacurfail(w, &cur, "cursor fetch problem \n", __FILE__, __LINE__);
  }
  if (endcur(w, &cur, "!!!!!druocls failed\n") != 0) return 1;
  return rc;
}

int drwaopen(drobj *o, int32_t value, int32_t mode) {
  drwaobj *w = wa(o);
  drsrvstate *st = w->st;
  w->hd.ops.mode = mode;
  if (w->prefid == 0) {
    dracnout(st, "cannot initialize wordlist \n", 0);
    drwaierr(st, DRWA_ENOPREF, 2, __FILE__, __LINE__);
    return 1;
  }
  (void)drwaoinit(st, w, value);
  if (!w->attr.table) {
    w->opened = 1;
    if (mode == 5) w->hd.ops.mode = 0;
    return 0;
  }
  int rc = 0;
  switch (mode) {
    case 1:
      rc = drwaocrtab(w);
      break;
    case 2:
      rc = drwaocridx(w);
      if (rc == 0) w->opened = 1;
      break;
    case 4:
      w->opened = 1;
      rc = drwaclose(o, 2);
      if (rc == 0) rc = drwaodroptab(w);
      if (rc == 0) w->opened = 0;
      break;
    default:
      if (w->opened) break;
      rc = drwaochkidx(w);
      if (rc == -4) rc = drwaomake(w);
      if (rc == 0) w->opened = 1;
      break;
  }
  if (rc != 0) return drwafail(st, "call failed\n", DRWA_EFAIL, __FILE__, __LINE__);
  return 0;
}

int drwaclose(drobj *o, int32_t how) {
  drwaobj *w = wa(o);
  drsrvstate *st = w->st;
  if (!w->opened) {
    drwaierr(st, DRWA_ENOTOPEN, 2, __FILE__, __LINE__);
    return 1;
  }
  if (how != 2) return 0;
  int rc = 0;
  if (w->iw && drwaiclose(w) != 0) rc = 1;
  if (w->qw && drwaqclose(w) != 0) rc = 1;
  return rc;
}

namespace {

int drwaprefs(drobj *o, int32_t prefid, drdmpol *pol) {
  drwaobj *w = wa(o);
  // The scratch record gets providers of its own only to be read through:
  // they are released with it at once.
  drwaattr scratch{};
  int rc = drwaoattr(w->st, w, prefid, pol, &scratch, 1);
  for (drwaprov *&p : scratch.prov) {
    if (!p) continue;
    if (p->destroy) (void)p->destroy(p);
    void *v = p;
    drumfre(w->st, w->st->hpmgr, w->heap, &v);
  }
  if (rc != 0) {
    dracnout(w->st, "failed to construct preference\n", 0);
    return 1;
  }
  return 0;
}

int drwafree(drobj *o) {
  drwaobj *w = wa(o);
  drsrvstate *st = w->st;
  if (w->opened && drwaclose(o, 2) != 0) {
    dracnout(st, "failed to clean up cursors\n", 0);
    return 1;
  }
  for (drwaprov *&p : w->attr.prov) {
    if (!p) continue;
    if (p->destroy) (void)p->destroy(p);
    void *v = p;
    drumfre(st, st->hpmgr, w->heap, &v);
    p = nullptr;
  }
  void *v = w;
  drumfre(st, st->hpmgr, w->heap, &v);
  return 0;
}

const drobjhd<drwlops> kTpl = {{DRCLS_WORDLIST, 1, nullptr},
                               {.mode = 0,
                                .open = drwaopen,
                                .prefs = drwaprefs,
                                .add = drwaadd,
                                .load = drwaload,
                                .exp = drwaexp,
                                .w2r = drwaw2r,
                                .close = drwaclose,
                                .free = drwafree}};

}  // namespace

drobj *drwanew(drsrvstate *st, drheap heap, int32_t prefid, drdmpol *pol) {
  if (prefid == 0) {
    dracnierr(st, DRFAC_DRG, DRWA_ENEW, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT,
              static_cast<int>(prefid), 0);
    druetrc();
    return nullptr;
  }
  auto *w = drobjnew<drwaobj>(st, heap, kTpl);
  if (!w) return nullptr;
  w->login = st->login;
  if (drwaoattr(st, w, prefid, pol, &w->attr, 1) != 0) {
    dracnout(st, "failed to construct preference\n", 0);
    dracnierr(st, DRFAC_DRG, DRWA_ENEW, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT,
              static_cast<int>(prefid), 0);
    druetrc();
    w->opened = 0;
    (void)drops<drwlops>(&w->hd.obj)->free(&w->hd.obj);
    return nullptr;
  }
  return &w->hd.obj;
}
