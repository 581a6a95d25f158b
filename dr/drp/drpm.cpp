/* The parse driver: builds the state of one parse, runs the LR runtime over
 * the query grammar with tokens from the query lexer inside an error frame,
 * and turns syntax errors into 50901 with line and column. */
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "dr/drp/drpint.h"

namespace {

constexpr const char *kFacility = "par";
constexpr const char *kProduct = "drpgp";

/* The facility of the runtime's messages, registered once per message
 * manager: the manager keeps every registration, so registering for each
 * parse would only pile them up. */
struct faccache {
  rtmsgmgr *mm;
  int32_t id;
};
faccache g_fac = {nullptr, -1};

bool isours(rtmsgmgr *mm, int32_t id) {
  char text[64];
  if (id < 0 || rtmsgfmt(mm, id, TQ_MSG_SYNTAX, nullptr, 0, text, sizeof text) < 0) return false;
  return std::strncmp(text, "par-", 4) == 0;
}

int32_t facility(drsrvstate *srv) {
  rtmsgmgr *mm = srv->msg;
  if (g_fac.mm == mm && isours(mm, g_fac.id)) return g_fac.id;
  int32_t id = -1;
  char why[256];
  if (rtmsgfac(mm, kFacility, kProduct, 10000, 10000, &id, why, sizeof why) != 0) return -1;
  g_fac.mm = mm;
  g_fac.id = id;
  return id;
}

void report(drpmstate *st, int32_t num) {
  st->reported = 1;
  drpgposset(&st->buf->err, num);
  drpgerrpos(st->srv, &st->buf->err, st->text);
}

void inittoken(tqtoken *t, int code) {
  std::memset(t, 0, sizeof *t);
  t->code = static_cast<uint16_t>(code);
  t->source = "stdin";
  t->where1 = 6;
  t->where2 = 0;
}

}  // namespace

const nlscs *drpcs(drsrvstate *srv) {
  const nlscs *cs = srv ? nlscsbyname(srv->csname) : nullptr;
  if (!cs) cs = nlscsbyid(NLS_WE8ISO8859P1);
  return cs;
}

int drpmnew(drpmstate **out, int32_t size, const char *user, const char *query, drsrvstate *srv,
            drphtab *keywords, int newbuf, drpabuf *existing, int theme) {
  auto *st = static_cast<drpmstate *>(
      drumalc(srv, srv->hpmgr, srv->cmdhp, 1, sizeof(drpmstate), __FILE__, __LINE__));
  if (!st) return -1;
  drpabuf *buf = existing;
  if (newbuf) {
    buf = static_cast<drpabuf *>(
        drumalc(srv, srv->hpmgr, srv->cmdhp, 1, static_cast<size_t>(size), __FILE__, __LINE__));
    if (!buf || drpainit(buf, size, srv) != 0) {
      void *p = st;
      drumfre(srv, srv->hpmgr, srv->cmdhp, &p);
      if (buf) {
        p = buf;
        drumfre(srv, srv->hpmgr, srv->cmdhp, &p);
      }
      return -1;
    }
  } else if (!buf) {
    void *p = st;
    drumfre(srv, srv->hpmgr, srv->cmdhp, &p);
    return -1;
  } else if (buf->err.num == 0) {
    /* A text parsed into an existing buffer counts its own lines. */
    drpgposinit(&buf->err);
  }
  st->srv = srv;
  st->keywords = keywords;
  st->user = user;
  st->text = query ? query : "";
  st->theme = theme;
  st->buf = buf;
  inittoken(&st->tok, 0);
  inittoken(&st->errtok, DRPT_ERROR);
  *out = st;
  return 0;
}

int drpmparse(drsrvstate *srv, drpabuf **bufp, const char *user, const char *query,
              drphtab *keywords, int newbuf, int theme) {
  drpmstate *st = nullptr;
  if (drpmnew(&st, DRPA_FIRSTSIZE, user, query, srv, keywords, newbuf, bufp ? *bufp : nullptr,
              theme) != 0) {
    dracnout(srv, "drpmparse: the parser state cannot be built\n", 0);
    return 1;
  }
  int rc = drpmrun(srv, st, bufp);
  void *p = st;
  drumfre(srv, srv->hpmgr, srv->cmdhp, &p);
  return rc != 0 ? 1 : 0;
}

int drpmrun(drsrvstate *srv, drpmstate *st, drpabuf **bufp) {
  /* The whole text: a query cut at a fixed length would silently lose the
   * operators after the cut. */
  nlscurset(&st->cur, drpcs(srv), st->text, std::strlen(st->text));
  tqops ops = {drpgtoken, drpaalloc, drparealloc, drpafree, nullptr, drpgerror, drpgnoop};
  int rc = drpgparse(st, &ops, 0, 0);
  if (bufp) *bufp = st->buf;
  if (rc != 0) {
    st->reported = 1;
    return -1;
  }
  if (st->buf->err.num != 0) {
    if (!st->reported) {
      st->reported = 1;
      drpgerrpos(srv, &st->buf->err, st->text);
    }
    return -1;
  }
  return 0;
}

void drpginit(drpmstate *st, tqrec *rec, rtctx *env, int final, int subst, const tqops *ops,
              int trace) {
  rec->env = env;
  rec->msgmgr = st->srv->msg;
  rec->user = st;
  rec->stack = rec->save = nullptr;
  rec->acts = nullptr;
  rec->top = rec->nsaved = rec->nacts = -1;
  rec->cap = 0;
  tqtables(rec, &drpgtables);
  rec->final = static_cast<int16_t>(final);
  rec->mark = -1;
  rec->msgbase = 0;
  rec->namebase = 110;
  rec->valsize = 4;
  size_t words = rec->expwords ? rec->expwords : 1;
  rec->expected = static_cast<uint32_t *>(tqalloc(rec, sizeof(uint32_t) * words));
  std::memset(rec->expected, 0, sizeof(uint32_t) * words);
  rec->recover = 0;
  rec->tracewanted = static_cast<uint8_t>(trace ? 1 : 0);
  rec->errmode = 0;
  rec->saving = 0;
  rec->state = TQ_RUNNING;
  rec->subst = static_cast<int16_t>(subst);
  rec->outstanding = 0;
  rec->reducefn = drpgreduce;
  tqsetops(rec, ops);
}

int drpgparse(drpmstate *st, const tqops *ops, int subst, int trace) {
  drsrvstate *srv = st->srv;
  rtctx *env = srv->rt;
  tqrec *rec = static_cast<tqrec *>(ops->alloc ? ops->alloc(st, sizeof(tqrec)) : nullptr);
  if (!rec) return -1;
  std::memset(rec, 0, sizeof *rec);
  rec->msgmgr = srv->msg;
  rec->facility = facility(srv);
  rec->raisestat = 0;
  /* Bound early so that a raise before tqsetops can still free the record. */
  rec->alloc = ops->alloc;
  rec->realloc = ops->realloc;
  rec->free = ops->free;
  rec->user = st;

  rtframe fr;
  volatile int result = 0;
  rtfrmpush(srv->msg, &fr);
  if (setjmp(fr.jb) == 0) {
    drpginit(st, rec, env, 0, subst, ops, trace);
    int errflag = 0;
    int32_t value = 0;
    tqparse(rec, st, &errflag, 0, &value, 4);
    result = errflag;
  } else {
    rtfrmenter(srv->msg, &fr);
    if (fr.num == rec->msgbase + TQ_MSG_RAISE && rec->raisestat == -1) {
      /* The runtime's own raise: the parse failed and the heap layer has
       * said why, so the raise's own entry carries nothing more and goes. */
      result = -1;
      int top = rtmsgcnt(srv->msg);
      if (top > 0 && rtmsgnum(srv->msg, top) == fr.num) rtmsgdel(srv->msg, top);
      rtfrmleave(srv->msg, &fr);
    } else {
      /* Someone else's raise: pass it on to the enclosing frame. */
      int num = fr.num, sev = fr.sev;
      tqdestroy(rec);
      rtfrmleave(srv->msg, &fr);
      rtfrmpop(srv->msg, &fr, srv->facid[DRFAC_DRG]);
      rtfrmraise(srv->msg, srv->facid[DRFAC_DRG], num, sev, 0);
      return -1;
    }
  }
  rtfrmpop(srv->msg, &fr, srv->facid[DRFAC_DRG]);
  tqdestroy(rec);
  return result;
}

tqtoken *drpgtoken(void *user, int request, tqtoken *tok) {
  auto *st = static_cast<drpmstate *>(user);
  switch (request) {
    case TQ_REQ_NEXT:
      return st->reported ? &st->errtok : drpglex(st);
    case TQ_REQ_BACK:
      if (!st->reported) report(st, DRPM_SYNTAX);
      return nullptr;
    case TQ_REQ_RELEASE:
      return nullptr;
    default:
      if (!st->reported) report(st, DRPM_TREEMEM);
      return nullptr;
  }
}

void drpgerror(void *user, int msgno, int zero, tqtoken *tok, tqmesg *rec) {
  auto *st = static_cast<drpmstate *>(user);
  /* Only the parse's own reports count: a message the caller left on the
   * stack must not hide the syntax error. */
  if (!st->reported) report(st, DRPM_SYNTAX);
  tqmesgfree(&rec);
}

int drpgnoop(void *user, int code) { return 0; }
