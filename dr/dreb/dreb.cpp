// The base engine: bind to the engine preference, the index's life cycle
// (begin, populate, end, drop, truncate) recorded in the index log, the
// settling of id ranges a killed run left before a resumed one, and the
// thin stored-query and LIKE slots (queries and highlighting are drebq's).
// Optimisation: lazy deletes and the compaction modes, in place or into
// the other token table of the pair.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dr/drd/drd.h"
#include "dr/dreb/dreb.h"
#include "dr/dru/drue.h"

namespace {

drebobj *eng(drobj *o) { return reinterpret_cast<drebobj *>(o); }
const dridxops *ixo(drebobj *e) { return drops<dridxops>(e->indexer); }
const drdidops *dmo(drebobj *e) { return drops<drdidops>(e->docids); }
const drsqmops *sqo(drebobj *e) { return drops<drsqmops>(e->sqm); }


int drebbnd(drobj *o, int32_t polid, int32_t prefid, drobj *sl) {
  drebobj *e = eng(o);
  drsrvstate *st = e->st;
  e->polid = polid;
  e->prefid = prefid;
  e->mode = DREB_MODE;
  e->memlimit = DREB_MEMORY;
  e->deadlimit = DREB_DEADLIMIT;
  if (drdpopn(st, prefid, &e->attrs) != 0) {
    druetrc();
    return 1;
  }
  drdmattr *a = nullptr;
  int rc;
  while ((rc = drdpnxt(e->attrs, &a)) == 0) {
    if (a->ordinal == 1) e->mode = drdpnum(a);
    else if (a->ordinal == 2) e->memlimit = static_cast<uint32_t>(drdpnum(a));
    else if (a->ordinal == -2) e->deadlimit = drdpnum(a);
  }
  if (rc != 2) {
    druetrc();
    return 1;
  }
  e->docids = drebdnew(st, e->heap, polid, e->attrs);
  if (!e->docids) {
    druetrc();
    return 1;
  }
  int32_t nstop = sl ? drops<drstops>(sl)->count(sl) : 0;
  if (ixo(e)->bnd(e->indexer, polid, prefid, e->attrs, e->mode, nstop) != 0 ||
      sqo(e)->bnd(e->sqm, polid, e->attrs) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drebrun(drebobj *e, const char *sql, int32_t *a, int32_t *b, const char *text,
            char *out = nullptr, int32_t outsize = 0);

drudlog logrec(drebobj *e, char oper, char stage, int32_t runseq, int32_t srvid) {
  return drudlog{e->polid, oper, stage, runseq, srvid, 0, nullptr, 0};
}

int drebbegx(drobj *o, int32_t srvcnt, int32_t runseq, char oper) {
  drebobj *e = eng(o);
  drsrvstate *st = e->st;
  drudlog log = logrec(e, oper, 'I', runseq, 0);
  // A begin sent again after one that got through finds the index made:
  // it says so and leaves the index alone. After one that failed, the
  // index log may still hold that try's row of the run: it goes, so that
  // the new try starts afresh.
  char found[8];
  int32_t pol = e->polid, run = runseq;
  char op[2] = {oper, '\0'};
  const char *toktab = reinterpret_cast<drebiobj *>(e->indexer)->tab->name;
  if (drebrun(e, "select case when to_regclass(:t) is null then '' else 'y' end", nullptr,
              nullptr, toktab, found, sizeof found) != 0)
    return 1;
  if (found[0]) {
    dracnerr(st, DRFAC_DRG, 10539, 2, DRA_INT, static_cast<int>(e->polid), DRA_STR, toktab, 0);
    druetrc();
    return 1;
  }
  if (oper != 'N' &&
      (drebrun(e, "delete from DR$TEXT_INDEX_LOG where txil_pol_id = :a and txil_run_seq = :b"
                  " and txil_operation = :t and txil_oper_stage = 'I' and txil_server_id = 0",
               &pol, &run, op) != 0 ||
       druocmt(st) != 0)) {
    druetrc();
    return 1;
  }
  if (drudlogins(st, e->heap, &log) != 0) {
    druetrc();
    return 1;
  }
  if (dmo(e)->tabs(e->docids, 0) != 0) {
    druetrc();
    return 1;
  }
  bool tok = false, sqr = false;
  int rc = 0;
  // Several servers filling one table: the storage clause says so when the
  // preference gives none.
  drudtab *t = reinterpret_cast<drebiobj *>(e->indexer)->tab;
  char freelists[32];
  bool own = srvcnt > 1 && !t->storage;
  if (own) {
    std::snprintf(freelists, sizeof freelists, " freelists %d ", srvcnt);
    t->storage = freelists;
  }
  if (ixo(e)->crt(e->indexer) != 0) rc = 1;
  else tok = true;
  if (own) t->storage = nullptr;
  if (rc == 0 && sqo(e)->crt(e->sqm) != 0) rc = 1;
  else if (rc == 0) sqr = true;
  if (rc == 0) {
    log.kind = 'E';
    if (drudlogupd(st, e->heap, &log) != 0) rc = 1;
  }
  if (rc != 0) {
    // What was made goes again, so that a failed begin leaves no tables.
    dmo(e)->tabs(e->docids, 2);
    if (tok) ixo(e)->drop(e->indexer);
    if (sqr) sqo(e)->drop(e->sqm);
    druetrc();
    return 1;
  }
  return 0;
}

// Runs one statement with up to two integer binds and an optional text
// bind on a cursor of its own; with out, fetches one text into it ("" for
// no row or null). 0 / 1.
int drebrun(drebobj *e, const char *sql, int32_t *a, int32_t *b, const char *text, char *out,
            int32_t outsize) {
  drsrvstate *st = e->st;
  druocur *cur = nullptr;
  int16_t ind = 0;
  int rc = druoprs(st, e->heap, sql, &cur);
  if (rc == 0 && a) rc = druobnd(st, cur, ":a", a, 4, DRUO_INTEGER);
  if (rc == 0 && b) rc = druobnd(st, cur, ":b", b, 4, DRUO_INTEGER);
  if (rc == 0 && text)
    rc = druobnd(st, cur, ":t", const_cast<char *>(text), static_cast<int32_t>(std::strlen(text) + 1),
                 DRUO_STRING);
  if (rc == 0 && out) {
    out[0] = '\0';
    rc = druodef(st, cur, 1, out, outsize, DRUO_STRING, &ind);
    if (rc == 0) {
      rc = druoexf(st, cur, 1);
      if (rc == DRUO_NODATA) rc = 0, out[0] = '\0';
      if (ind == -1) out[0] = '\0';
    }
  } else if (rc == 0) {
    rc = druoexe(st, cur);
  }
  if (cur) druofre(st, e->heap, &cur);
  if (rc != 0) druetrc();
  return rc != 0;
}

// Before a resumed run: the id ranges that servers no longer running left
// reserved are settled. The interrupted run's log holds the key of the last
// document a full flush made durable; ids above that document's lose their
// key rows and become deleted ids (their postings may be partly written),
// the ids up to it stay as they are. With no such key, every id of those
// ranges is deleted: the run starts again from its first row.
int drebsettle(drebobj *e, int32_t runseq) {
  drsrvstate *st = e->st;
  auto *dm = reinterpret_cast<drebdmgr *>(e->docids);
  const char *lst = reinterpret_cast<drebpstore *>(dm->idlist)->lst;
  const char *ktb = reinterpret_cast<drebkmap *>(dm->keymap)->ktb;
  char key[DREUP_KEYSIZE] = "", last[24] = "";
  int32_t pol = e->polid, rseq = runseq;
  int rc = drebrun(e,
                   "select max(txil_last_doc) from dr$text_index_log where txil_pol_id = :a"
                   " and txil_run_seq = :b and txil_operation in ('C', 'R')"
                   " and txil_oper_stage = 'P' and txil_curr_run is null"
                   " having count(*) = 1 and count(txil_end_time) = 0",
                   &pol, &rseq, nullptr, key, sizeof key);
  char sql[1024];
  if (rc == 0 && key[0]) {
    std::snprintf(sql, sizeof sql, "select docid from %s where textkey = :t", ktb);
    rc = drebrun(e, sql, nullptr, nullptr, key, last, sizeof last);
  }
  int32_t lastid = last[0] ? std::atoi(last) : 0;
  // The stale reserved rows, and of each the part after the last id.
  constexpr char kStale[] = "l.ltype = 'R' and not draserm.alive(l.sid::integer)";
  constexpr char kFrom[] = "greatest(l.data::bigint, :a::bigint + 1)";
  if (rc == 0) {
    std::snprintf(sql, sizeof sql,
                  "delete from %s k using %s l where %s and k.docid between %s"
                  " and l.data::bigint + l.idcount - 1",
                  ktb, lst, kStale, kFrom);
    rc = drebrun(e, sql, &lastid, nullptr, nullptr);
  }
  if (rc == 0) {
    std::snprintf(sql, sizeof sql,
                  "insert into %s (sid, ltype, contiguous, idcount, data)"
                  " select null, 'D', 1, l.data::bigint + l.idcount - %s, (%s)::text"
                  " from %s l where %s and l.data::bigint + l.idcount - 1 > :a",
                  lst, kFrom, kFrom, lst, kStale);
    rc = drebrun(e, sql, &lastid, nullptr, nullptr);
  }
  if (rc == 0) {
    std::snprintf(sql, sizeof sql, "delete from %s l where %s", lst, kStale);
    rc = drebrun(e, sql, nullptr, nullptr, nullptr);
  }
  if (rc == 0 && druocmt(st) != 0) rc = 1;
  if (rc != 0) {
    druorbk(st, &druorepq);
    druetrc();
    return 1;
  }
  return 0;
}

// Inserts the populate's log row, or for a resumed run goes on with the
// interrupted run's row when it is there; 0 / 1.
int drebpoplog(drebobj *e, const drudlog *log, bool resume) {
  if (log->oper == 'N') return 0;
  if (resume) {
    char found[8] = "";
    int32_t pol = e->polid, rseq = log->runseq;
    char sql[512];
    std::snprintf(sql, sizeof sql,
                  "select 'y' from dr$text_index_log where txil_pol_id = :a and txil_run_seq = :b"
                  " and txil_operation = 'C' and txil_oper_stage = 'P' and txil_server_id = %d",
                  static_cast<int>(log->srvid));
    if (drebrun(e, sql, &pol, &rseq, nullptr, found, sizeof found) != 0) {
      druetrc();
      return 1;
    }
    if (found[0]) return 0;
  }
  if (drudlogins(e->st, e->heap, log) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drebpopx(drobj *o, drobj *lex, drobj *wl, drobj *sl, int32_t runseq, int32_t srvid,
             char qual) {
  drebobj *e = eng(o);
  drsrvstate *st = e->st;
  char oper = dreupoper(qual);
  drudlog log = logrec(e, oper, 'P', runseq, srvid);
  bool resume = qual != 'C' && qual != 'M';
  if (drebpoplog(e, &log, resume) != 0 || (resume && drebsettle(e, runseq) != 0)) {
    druetrc();
    return 1;
  }
  if (dreupnew(st, e->heap, sl, e->mode, e->memlimit, &e->run) != 0) {
    druetrc();
    return 1;
  }
  e->run->polid = e->polid;
  e->run->runseq = runseq;
  e->run->srvid = srvid;
  e->run->qual = qual;
  e->run->oper = oper;
  auto *x = reinterpret_cast<drebiobj *>(e->indexer);
  if (x->curstate == DREBI_PARSED) x->curstate = DREBI_OPEN;
  int rc = dreupindex(e->run, e->indexer, lex, wl, e->docids, sl);
  if (x->curstate == DREBI_PARSED) x->curstate = DREBI_OPEN;
  dreupfree(e->run);
  e->run = nullptr;
  if (rc != 2) {
    druetrc();
    return 1;
  }
  if (oper == 'C') {
    log.kind = 'E';
    if (drudlogupd(st, e->heap, &log) != 0) {
      druetrc();
      return 1;
    }
  }
  return 0;
}

// Runs a stage between its index-log row and the row's end time: steps
// gives the stage's result; 0 / 1.
template <class Steps>
int logged(drebobj *e, drudlog log, Steps steps) {
  if (drudlogins(e->st, e->heap, &log) != 0 || steps() != 0) {
    druetrc();
    return 1;
  }
  log.kind = 'E';
  if (drudlogupd(e->st, e->heap, &log) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drebendx(drobj *o, int32_t runseq, char oper) {
  drebobj *e = eng(o);
  return logged(e, logrec(e, oper, 'T', runseq, 0), [e] {
    return dmo(e)->tabs(e->docids, 1) != 0 || ixo(e)->cridx(e->indexer) != 0;
  });
}

int drebdrpx(drobj *o, int32_t runseq) {
  drebobj *e = eng(o);
  return logged(e, logrec(e, 'D', 'P', runseq, 0), [e] {
    return dmo(e)->tabs(e->docids, 2) != 0 || ixo(e)->drop(e->indexer) != 0 ||
           sqo(e)->drop(e->sqm) != 0;
  });
}

int drebtrnx(drobj *o) {
  drebobj *e = eng(o);
  if (dmo(e)->tabs(e->docids, 3) != 0 || ixo(e)->trunc(e->indexer) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

// Modes 3 and 4 write every row into the other token table of the pair:
// begin-optimise creates it, the run fills it, end-optimise indexes it (the
// database side then switches the policy's suffix and drops the old one).
// Each step may run in a server of its own, so each describes the table.
bool twotable(int32_t mode) { return mode == 3 || mode == 4; }
// Modes that leave out the postings of dead documents.
bool lazy(int32_t mode) { return mode == 1 || mode == 4 || mode == 5; }

// A lazy mode first takes the deleted ids there are: every server of the
// run reads these, and the end purges only these.
int drebbnox(drobj *o, int32_t mode, int32_t) {
  drebobj *e = eng(o);
  if (lazy(mode) && dmo(e)->take(e->docids) != 0) {
    druetrc();
    return 1;
  }
  if (!twotable(mode)) return 0;
  int rc = drebialt(e->indexer, 1, 1);
  if (drebialt(e->indexer, 0, 0) != 0) rc = 1;
  if (rc) druetrc();
  return rc;
}

int dreboptx(drobj *o, int32_t mode, int32_t srvcnt, int32_t srvno, int32_t thold) {
  drebobj *e = eng(o);
  drsrvstate *st = e->st;
  int32_t n = 0;
  int32_t *dead = nullptr;
  if (lazy(mode)) {
    int rc = dmo(e)->dead(e->docids, e->deadlimit, &n, &dead);
    if (rc == 1) {
      druetrc();
      return 1;
    }
    if (n >= e->deadlimit) {
      if (dead) {
        void *p = dead;
        drumfre(st, st->hpmgr, e->heap, &p);
      }
      dracnierr(st, DRFAC_DRG, 50600, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_SB4, &n, DRA_END);
      druetrc();
      return 1;
    }
    std::sort(reinterpret_cast<uint32_t *>(dead), reinterpret_cast<uint32_t *>(dead) + n);
  }
  int rc = 0;
  if (twotable(mode) && drebialt(e->indexer, 1, 0) != 0) rc = 1;
  if (rc == 0 && (mode != 1 || n > 0))
    rc = ixo(e)->opt(e->indexer, e->lm, srvcnt, srvno, n > 0 ? dead : nullptr, n, mode, thold);
  if (twotable(mode) && drebialt(e->indexer, 0, 0) != 0) rc = 1;
  if (dead) {
    void *p = dead;
    if (drumfre(st, st->hpmgr, e->heap, &p) != 0) rc = 1;
  }
  if (rc) druetrc();
  return rc;
}

int drebenox(drobj *o, int32_t mode) {
  drebobj *e = eng(o);
  int rc = 0;
  if (twotable(mode)) {
    rc = drebialt(e->indexer, 1, 0) != 0 || ixo(e)->cridx(e->indexer) != 0;
    if (drebialt(e->indexer, 0, 0) != 0) rc = 1;
  }
  if (rc == 0 && lazy(mode) && dmo(e)->delids(e->docids, 0, nullptr) != 0) rc = 1;
  if (rc) druetrc();
  return rc;
}

// The highest settled id becomes the evaluation limit of a stored query.
int drebsqeval(drebobj *e, const char *name, const char *sessid, drobj *qp) {
  int32_t maxid = 0;
  if (dmo(e)->maxid(e->docids, &maxid) != 0 ||
      sqo(e)->limit(e->sqm, static_cast<uint32_t>(maxid)) != 0 ||
      sqo(e)->eval(e->sqm, name, sessid, &e->hd.obj, qp) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drebsqsave(drobj *o, const char *name, const char *sessid, const char *text, drobj *qp,
               int32_t scope) {
  drebobj *e = eng(o);
  if (sqo(e)->save(e->sqm, name, sessid, text, scope) != 0 || drebsqeval(e, name, sessid, qp) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drebsqdel(drobj *o, const char *name, const char *sessid, int32_t scope) {
  drebobj *e = eng(o);
  return sqo(e)->del(e->sqm, name, sessid, scope);
}

int drebsqref(drobj *o, const char *name, const char *sessid, drobj *qp, uint16_t clear) {
  drebobj *e = eng(o);
  if ((clear != 0 && sqo(e)->clr(e->sqm, name, sessid) != 0) ||
      drebsqeval(e, name, sessid, qp) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drebsqpurge(drobj *o, const char *sessid) {
  drebobj *e = eng(o);
  return sqo(e)->purge(e->sqm, sessid);
}

int drebsqtext(drobj *o, const char *name, const char *sessid, char *buf, uint16_t size,
               const char *outer) {
  drebobj *e = eng(o);
  return sqo(e)->get(e->sqm, name, sessid, buf, size, outer);
}

int drebunsup(drobj *, ...) { return 1; }

int dreblik(drobj *o, const char *const *pats, int32_t n, drubbuf *arena, char **result,
            int32_t *nresult, int32_t capacity) {
  drebobj *e = eng(o);
  return ixo(e)->lik(e->indexer, pats, n, arena, result, nresult, capacity);
}

int drebclose(drobj *o) {
  drebobj *e = eng(o);
  int rc = ixo(e)->nop(e->indexer);
  if (e->docids && dmo(e)->close(e->docids, 0) != 0) rc = 1;
  if (rc) druetrc();
  return rc;
}

int drebfree(drobj *o) {
  drebobj *e = eng(o);
  int rc = 0;
  if (e->indexer && ixo(e)->free(e->indexer) != 0) rc = 1;
  if (e->sqm && sqo(e)->free(e->sqm) != 0) rc = 1;
  if (e->docids && dmo(e)->free(e->docids) != 0) rc = 1;
  if (e->run) dreupfree(e->run);
  drdpcls(e->attrs);
  void *p = e;
  if (drumfre(e->st, e->st->hpmgr, e->heap, &p) != 0) rc = 1;
  if (rc) druetrc();
  return rc;
}

const drobjhd<drengops> kTpl = {{DRCLS_ENGINE, 1, "Base engine"},
                                {.bnd = drebbnd,
                                 .begx = drebbegx,
                                 .popx = drebpopx,
                                 .endx = drebendx,
                                 .drpx = drebdrpx,
                                 .trnx = drebtrnx,
                                 .bnox = drebbnox,
                                 .optx = dreboptx,
                                 .enox = drebenox,
                                 .qry = drebqry,
                                 .sqsave = drebsqsave,
                                 .sqdel = drebsqdel,
                                 .sqref = drebsqref,
                                 .sqpurge = drebsqpurge,
                                 .sqtext = drebsqtext,
                                 .hlite = drebhlite,
                                 .unsup = drebunsup,
                                 .lik = dreblik,
                                 .close = drebclose,
                                 .free = drebfree}};

}  // namespace

drobj *drebnew(drsrvstate *st, drheap heap) {
  auto *e = drobjnew<drebobj>(st, heap, kTpl);
  if (!e) return nullptr;
  e->indexer = drebinew(st, heap);
  if (e->indexer) e->sqm = drebsnew(st, heap);
  if (!e->indexer || !e->sqm) {
    drebfree(&e->hd.obj);
    druetrc();
    return nullptr;
  }
  return &e->hd.obj;
}
