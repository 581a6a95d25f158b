/* Thesaurus operators and stored functions: each call becomes a statement
 * that the database runs with the rights of the query's user, and the text it
 * answers is parsed into the same buffer and hung under the call's node.
 * Identical calls with the same modifiers run once and share one subtree. */
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dr/drp/drpint.h"
#include "dr/drp/drtq.h"
#include "dr/dru/dru.h"
#include "platform/nls/nls.h"

namespace {

/* The thesaurus procedures by operator index. */
const char *const kThes[] = {"vek_ths.syn", "vek_ths.nt",  "vek_ths.bt",  "vek_ths.pt",
                             "vek_ths.tt",  "vek_ths.rt",  "vek_ths.btp", "vek_ths.btg",
                             "vek_ths.ntp", "vek_ths.ntg"};
/* What a statement must leave free of its area after every write. */
constexpr size_t kSlack = 100;
/* The database's text of a failure, as the message carries it. */
constexpr size_t kErrText = 900;

/* Every call runs through the procedure that takes on the user's role: the
 * call cannot switch back to the server's rights. */
const char kRunAs[] = "CALL dr_utl.call_as(:res, :err, :usr, :stmt)";

drpanode *nd(drpabuf *b, int32_t n) { return drpanodep(b, n); }
bool iscall(int op) { return op == DRPOP_EXECUTE || op == DRPOP_THES; }
const char *textof(drpabuf *b, int32_t n) {
  int32_t t = nd(b, n)->text;
  return t ? drpastrp(b, t) : "";
}

/* A statement being written into its area. */
struct stmtw {
  char *buf;
  size_t size;
  size_t len = 0;
};

/* Appends text; false when less than the slack would be left. */
bool put(stmtw &w, const char *text) {
  size_t n = std::strlen(text);
  if (w.len + n + kSlack > w.size) return false;
  std::memcpy(w.buf + w.len, text, n + 1);
  w.len += n;
  return true;
}

/* Appends text as a quoted literal, its quotes doubled, so that no text of a
 * query ends the literal. */
bool putlit(stmtw &w, const char *text) {
  if (druoquo(w.buf + w.len, w.size - w.len, text, '\'') != 0) return false;
  w.len += std::strlen(w.buf + w.len);
  return w.size - w.len >= kSlack;
}

char *area(drsrvstate *srv) {
  return static_cast<char *>(
      drumalc(srv, srv->hpmgr, srv->cmdhp, 1, DRPP_AREA, __FILE__, __LINE__));
}
void release(drsrvstate *srv, char *p) {
  void *v = p;
  if (v) drumfre(srv, srv->hpmgr, srv->cmdhp, &v);
}

/* The two log lines of a failed call. */
void drpplog(drsrvstate *srv, const druocur *cur, const char *text) {
  dracnprt(srv, srv->log, "%s\n", DRA_STR, text, 0);
  dracnprt(srv, srv->log, "While processing KCI function %s\n", DRA_STR, druofcn(cur), 0);
}

/* Writes the call's statement: the procedure, :res (and :err for the
 * thesaurus), then each parameter phrase as one literal. 0, 1 or 7. */
int build(drsrvstate *srv, drpabuf *b, int32_t node, const char *proc, stmtw &w) {
  drpanode *x = nd(b, node);
  bool ok = put(w, "CALL ") && put(w, proc) && put(w, "(:res");
  if (ok && x->op == DRPOP_THES) ok = put(w, ", :err");
  for (int32_t p = x->first ? nd(b, x->first)->first : 0; ok && p; p = nd(b, p)->next) {
    std::string words;
    drpanode *ph = nd(b, p);
    if (ph->op == DRPOP_PWORD) {
      words = textof(b, p);
    } else if (ph->op == DRPOP_PPHRASE) {
      for (int32_t wd = ph->first; wd; wd = nd(b, wd)->next) {
        if (!words.empty()) words += ' ';
        words += textof(b, wd);
      }
    } else {
      drpierr(srv, DRPM_INTERNAL, 2);
      return 1;
    }
    ok = put(w, ", ") && putlit(w, words.c_str());
  }
  if (ok) ok = put(w, ")");
  if (!ok) {
    dracnerr(srv, DRFAC_DRG, DRPM_CALLLONG, 1, 0);
    return 7;
  }
  return 0;
}

/* The name to call for a stored function, when the user may execute it:
 * the access check answers it, a text starting with a blank refuses. */
int access(drsrvstate *srv, const char *user, const char *fn, char *res, drpabuf **bufp) {
  char *stmt = area(srv);
  if (!stmt) return 1;
  stmtw w{stmt, DRPP_AREA};
  bool ok = put(w, "CALL vek_access.can_execute(:res, ") && putlit(w, user ? user : "") &&
            put(w, ", ") && putlit(w, fn) && put(w, ")");
  int rc = 7;
  if (!ok)
    dracnerr(srv, DRFAC_DRG, DRPM_CALLLONG, 1, 0);
  else
    rc = drpprun(user, res, DRPP_AREA, stmt, bufp);
  release(srv, stmt);
  if (rc) return rc;
  /* The name goes into a statement as it stands: only a plain name does. */
  if (res[0] == ' ' || !druoidn(res, 2)) {
    dracnerr(srv, DRFAC_DRG, DRPM_NORIGHT, 1, DRA_STR, fn, 0);
    return 7;
  }
  return 0;
}

/* Orders calls: by their modifiers, then by their statements. */
int drppcmp(drpabuf *b, int32_t l, int32_t r) {
  auto fl = static_cast<int8_t>(nd(b, l)->flags & DRPF_MODMASK);
  auto fr = static_cast<int8_t>(nd(b, r)->flags & DRPF_MODMASK);
  if (fl != fr) return fl < fr ? -1 : 1;
  return nlscmp(drpcs(b->srv), textof(b, l), textof(b, r));
}

/* Counts the calls under n; nothing below a word or a call is looked at. */
void drppcount(drpabuf *b, int32_t n, int32_t *k) {
  for (; n; n = nd(b, n)->next) {
    drpanode *x = nd(b, n);
    if (iscall(x->op))
      ++*k;
    else if (!(x->op & DRPOP_LEAFBIT))
      drppcount(b, x->first, k);
  }
}

/* Records every call under n in tree order and builds its statement. */
int drppcollect(drpabuf **bufp, const char *user, int32_t n, std::vector<int32_t> &calls) {
  drpanode *x = nd(*bufp, n);
  if (iscall(x->op)) {
    calls.push_back(n);
    int rc = drppstmt(user, n, bufp);
    if (rc == 1) drpiwhy((*bufp)->srv, 1);
    return rc;
  }
  if (x->op & DRPOP_LEAFBIT) return 0;
  for (int32_t c = x->first; c; c = nd(*bufp, c)->next)
    if (int rc = drppcollect(bufp, user, c, calls)) return rc;
  return 0;
}

/* Hangs a subtree under a call's node as its only child. */
void hang(drpabuf *b, int32_t node, int32_t sub) {
  drpanode *x = nd(b, node);
  x->first = x->last = sub;
  x->nchild = 1;
}

int drppexpand(drtqcmp *c, drpabuf **bufp, const std::vector<int32_t> &calls) {
  int32_t shared = 0;
  for (size_t i = 0; i < calls.size(); ++i) {
    int32_t n = calls[i];
    if (i == 0 || drppcmp(*bufp, calls[i - 1], n) != 0) {
      int32_t sub = 0;
      if (int rc = drppparse(c, bufp, n, &sub)) return rc;
      hang(*bufp, n, sub);
      shared = 0;
      continue;
    }
    int32_t prev = calls[i - 1];
    if (!shared) {
      if (drpanewnode(&shared, bufp) != 0) return 1;
      drpabuf *b = *bufp;
      drpanode *s = nd(b, shared), *p = nd(b, prev);
      std::memset(s, 0, sizeof *s);
      s->op = DRPOP_SHARED;
      s->level = 0;
      s->flags = p->flags;
      s->text = p->text;
      s->first = s->last = p->first;
      s->nchild = 1;
      s->value = ++b->shared;
      s->value2 = 1;
      hang(b, prev, shared);
    }
    nd(*bufp, shared)->value2++;
    hang(*bufp, n, shared);
  }
  return 0;
}

}  // namespace

int drppnone(drpabuf **bufp) {
  int32_t k = 0;
  drppcount(*bufp, (*bufp)->root, &k);
  if (!k) return 0;
  dracnerr((*bufp)->srv, DRFAC_DRG, DRPM_CALLNEST, 1, 0);
  return 7;
}

int drppstmt(const char *user, int32_t node, drpabuf **bufp) {
  drsrvstate *srv = (*bufp)->srv;
  drpanode *x = nd(*bufp, node);
  std::string proc;
  if (x->op == DRPOP_EXECUTE) {
    char *res = area(srv);
    if (!res) return 1;
    std::string fn = textof(*bufp, node);
    int rc = access(srv, user, fn.c_str(), res, bufp);
    if (rc == 0) proc = res;
    release(srv, res);
    if (rc) return rc;
  } else if (x->op == DRPOP_THES && x->value >= 0 && x->value < 10) {
    proc = kThes[x->value];
  } else {
    drpierr(srv, DRPM_INTERNAL, 2);
    return 1;
  }
  char *stmt = area(srv);
  if (!stmt) return 1;
  stmtw w{stmt, DRPP_AREA};
  int rc = build(srv, *bufp, node, proc.c_str(), w);
  int32_t off = 0;
  if (rc == 0 && drpaaddstr(&off, stmt, bufp) != 0) rc = 1;
  release(srv, stmt);
  if (rc) return rc;
  x = nd(*bufp, node);
  x->text = off;
  x->first = x->last = 0;
  x->nchild = 0;
  return 0;
}

int drpprun(const char *user, char *res, int32_t size, const char *stmt, drpabuf **bufp) {
  drsrvstate *srv = (*bufp)->srv;
  druocur cur{};
  std::string usr = user ? user : "", text = stmt;
  int16_t rind = 0, eind = 0;
  int32_t err = 0;
  res[0] = 0;
  bool bound = false;
  int rc = druoopc(srv, &cur, DRUO_FENCE, &druorepq);
  bool open = rc == 0;
  if (!rc) rc = druopar(srv, &cur, kRunAs, &druorepq);
  if (!rc) rc = druobnd(srv, &cur, ":res", res, size, DRUO_STRING, &rind, nullptr, &druorepq);
  if (!rc) rc = druobnd(srv, &cur, ":err", &err, sizeof err, DRUO_INTEGER, &eind, nullptr, &druorepq);
  if (!rc) {
    bound = true;
    rc = druobnd(srv, &cur, ":usr", usr.data(), static_cast<int32_t>(usr.size() + 1), DRUO_STRING,
                 nullptr, nullptr, &druorepq);
  }
  if (!rc)
    rc = druobnd(srv, &cur, ":stmt", text.data(), static_cast<int32_t>(text.size() + 1),
                 DRUO_STRING, nullptr, nullptr, &druorepq);
  if (!rc) rc = druoexe(srv, &cur, &druorepq);
  int result = 0;
  if (rc) {
    char why[kErrText + 1] = "";
    druotxt(srv, rc, why, sizeof why);
    dracnerr(srv, DRFAC_DRG, DRPM_CALLFAIL, 1, DRA_STR, "\n", DRA_STR, why, 0);
    /* A statement that names no procedure taking its arguments failed as
     * its own text, as one that could not be parsed. */
    if (!bound || rc == DRUO_NOPROC) dracnerr(srv, DRFAC_DRG, DRPM_CALLTEXT, 1, DRA_STR, stmt, 0);
    drpplog(srv, &cur, why);
    result = 7;
  } else {
    if (rind < 0) res[0] = 0;
    if (eind >= 0 && err != 0) {
      dracnerr(srv, DRFAC_DRG, err, 2, DRA_STR, res, 0);
      result = 7;
    }
  }
  if (open && druoend(srv, &cur) != 0) result = 1;
  if (druofrs(srv) != 0) result = 1;
  return result;
}

int drppparse(drtqcmp *c, drpabuf **bufp, int32_t node, int32_t *root) {
  drsrvstate *srv = c->srv;
  char *res = area(srv);
  if (!res) return 1;
  std::string stmt = textof(*bufp, node);
  int rc = drpprun(c->user, res, DRPP_AREA, stmt.c_str(), bufp);
  int32_t saved = (*bufp)->root;
  if (rc == 0 && drpmparse(srv, bufp, c->user, res, c->keywords, 0, c->theme) != 0) {
    dracnerr(srv, DRFAC_DRG, DRPM_CALLBAD, 1, 0);
    rc = 7;
  }
  release(srv, res);
  if (rc == 0) {
    rc = drpnprep(c, bufp, 0, nd(*bufp, node)->flags);
    if (rc == 1) drpiwhy(srv, 2);
  }
  *root = (*bufp)->root;
  (*bufp)->root = saved;
  return rc;
}

int drppthes(drtqcmp *c, drpabuf **bufp) {
  int32_t k = 0;
  drppcount(*bufp, (*bufp)->root, &k);
  if (!k) return 0;
  std::vector<int32_t> calls;
  calls.reserve(static_cast<size_t>(k));
  if (int rc = drppcollect(bufp, c->user, (*bufp)->root, calls)) return rc;
  drpabuf *b = *bufp;
  std::stable_sort(calls.begin(), calls.end(),
                   [b](int32_t l, int32_t r) { return drppcmp(b, l, r) < 0; });
  int rc = drppexpand(c, bufp, calls);
  if (rc == 1) drpiwhy(c->srv, 2);
  return rc;
}
