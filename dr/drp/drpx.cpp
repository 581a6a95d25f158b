/* The query grammar's actions: the reduce routine the runtime calls for
 * every rule, the node builder that merges chains of one operator, the
 * checks of the numeric operators, modifier flags and the lexer's mode
 * switches. */
#include <cstdio>
#include <cstring>
#include <string>

#include "dr/drp/drpint.h"

namespace {

bool doclevel(int op) { return (op >= DRPOP_WEIGHT && op <= DRPOP_ACCUM) || op == DRPOP_SQE; }

drpanode *nodep(drpmstate *st, int32_t n) {
  if (n <= 0 || n > st->buf->nnodes) return nullptr;
  return drpanodep(st->buf, n);
}

const char *strat(drpmstate *st, int32_t off) {
  if (off <= 0 || off > st->buf->strbytes) return "";
  return drpastrp(st->buf, off);
}

/* Checks a number text of a numeric operator: valid, and an integer when
 * asked. Pushes the message of the failing check and returns false. */
bool numcheck(drpmstate *st, const char *text, rtnum *num, int badnum, int notint) {
  if (rtnumread(text, std::strlen(text), RTNUM_WHOLE, num, nullptr)) {
    drpxfail(st, badnum, text, DRPM_QUERY);
    return false;
  }
  if (notint) {
    int64_t v = 0;
    int frac = 0;
    rtnumscale(num, 0, &v, &frac);
    if (frac) {
      drpxfail(st, notint, text, DRPM_QUERY);
      return false;
    }
  }
  return true;
}

int64_t intof(const rtnum *num) {
  int64_t v = 0;
  int frac = 0;
  rtnumscale(num, 0, &v, &frac);
  return v;
}

int32_t valueof(tqrec *rec, int32_t idx) {
  int32_t v = 0;
  std::memcpy(&v, rec->stack[idx].value, sizeof v);
  return v;
}

}  // namespace

void drpxfail(drpmstate *st, int specific, const char *arg, int32_t num) {
  if (st->reported) return;
  if (specific) {
    if (arg)
      dracnerr(st->srv, DRFAC_DRG, specific, 1, DRA_STR, arg, 0);
    else
      dracnerr(st->srv, DRFAC_DRG, specific, 1, 0);
  }
  drpgposset(&st->buf->err, num);
  drpgerrpos(st->srv, &st->buf->err, st->text);
  st->reported = 1;
}

int32_t drpxitree(int op, int32_t left, int32_t right, int32_t text, drpmstate *st) {
  drpanode *l = nodep(st, left);
  drpanode *r = nodep(st, right);
  if (st->theme) {
    if (op == DRPOP_NEAR) {
      drpxfail(st, DRPM_THEMENEAR, nullptr, DRPM_QUERY);
      return left;
    }
    if (op == DRPOP_EQUIV) {
      drpxfail(st, 0, nullptr, DRPM_QUERY);
      return left;
    }
    if (op == DRPOP_PHRASE && ((l && (l->flags & (DRPF_THEME | DRPF_STEM))) ||
                               (r && (r->flags & (DRPF_THEME | DRPF_STEM))))) {
      drpxfail(st, DRPM_THEMEPHRASE, nullptr, DRPM_QUERY);
      return left;
    }
  }
  if (op == DRPOP_PHRASE || op == DRPOP_EQUIV || op == DRPOP_NEAR) {
    bool ok = l && r && l->level == 2 && r->level == 2;
    if (ok && op == DRPOP_PHRASE) ok = l->op != DRPOP_NEAR && r->op != DRPOP_NEAR;
    if (ok && op == DRPOP_EQUIV)
      ok = l->op != DRPOP_NEAR && r->op != DRPOP_NEAR && l->op != DRPOP_PHRASE &&
           r->op != DRPOP_PHRASE;
    if (!ok) {
      int msg = op == DRPOP_PHRASE ? DRPM_PHRASEARG
                : op == DRPOP_EQUIV ? DRPM_EQUIVARG
                                    : DRPM_NEARARG;
      drpxfail(st, msg, nullptr, DRPM_QUERY);
      return left;
    }
  }
  int32_t result;
  if (l && l->op == op && l->flags == 0 && !(op >= DRPOP_WEIGHT && op <= DRPOP_FIRSTDOC)) {
    /* Chain merging: a op b op c becomes one node with three children. */
    if (right) {
      if (l->last) drpanodep(st->buf, l->last)->next = right;
      else l->first = right;
      l->last = right;
      l->nchild++;
    }
    result = left;
  } else {
    int32_t n = 0;
    if (drpanewnode(&n, &st->buf)) {
      dracnout(st->srv, "drpxitree allocate tree failure\n ", 0);
      drpxfail(st, 0, nullptr, DRPM_TREEMEM);
      return left;
    }
    drpanode *nn = drpanodep(st->buf, n);
    std::memset(nn, 0, sizeof *nn);
    nn->op = static_cast<uint8_t>(op);
    if (op == DRPOP_THES)
      nn->value = text;
    else
      nn->text = text;
    nn->first = left;
    if (left) drpanodep(st->buf, left)->next = right;
    nn->nchild = static_cast<uint16_t>((left != 0) + (right != 0));
    nn->last = right ? right : left;
    result = n;
  }
  st->buf->root = result;
  drpanodep(st->buf, result)->level = doclevel(op) ? 1 : 2;
  return result;
}

int32_t drpxweight(int32_t node, int32_t numoff, drpmstate *st) {
  const char *text = strat(st, numoff);
  rtnum num;
  if (!numcheck(st, text, &num, DRPM_WNUM, 0)) return node;
  /* Exactly in decimal: 2.01 is 2010, not what a binary double gives. */
  int64_t v = 0;
  int frac = 0;
  rtnumscale(&num, 3, &v, &frac);
  bool low = v < 100;
  bool high = v > 10000 || (v == 10000 && frac);
  if (low || high) {
    drpxfail(st, DRPM_WRANGE, text, DRPM_QUERY);
    return node;
  }
  int32_t n = drpxitree(DRPOP_WEIGHT, node, 0, 0, st);
  if (n != node) drpanodep(st->buf, n)->value = static_cast<int32_t>(v);
  return n;
}

int32_t drpxthresh(int32_t node, int32_t numoff, drpmstate *st) {
  const char *text = strat(st, numoff);
  rtnum num;
  if (!numcheck(st, text, &num, DRPM_WNUM, DRPM_TINT)) return node;
  int64_t v = intof(&num);
  if (v == 0) return node;
  if (v < 0 || v > 100) {
    drpxfail(st, DRPM_TRANGE, text, DRPM_QUERY);
    return node;
  }
  int32_t n = drpxitree(DRPOP_THRESHOLD, node, 0, 0, st);
  if (n != node) drpanodep(st->buf, n)->value = static_cast<int32_t>(v);
  return n;
}

int32_t drpxmaxdoc(int32_t node, int32_t numoff, drpmstate *st) {
  const char *text = strat(st, numoff);
  rtnum num;
  if (!numcheck(st, text, &num, DRPM_MNUM, DRPM_MINT)) return node;
  int64_t v = intof(&num);
  if (v < 1 || v > 65535) {
    drpxfail(st, DRPM_MRANGE, text, DRPM_QUERY);
    return node;
  }
  int32_t n = drpxitree(DRPOP_MAXDOC, node, 0, 0, st);
  if (n != node) drpanodep(st->buf, n)->value = static_cast<int32_t>(v);
  return n;
}

int32_t drpxfirst(int32_t node, int32_t firstoff, int32_t lastoff, drpmstate *st) {
  const char *ftext = strat(st, firstoff);
  rtnum num;
  if (!numcheck(st, ftext, &num, DRPM_FNUM, DRPM_FINT)) return node;
  int64_t first = intof(&num);
  /* A number beyond 32 bits is no integer the range can hold. */
  if (first > INT32_MAX || first < INT32_MIN) {
    drpxfail(st, DRPM_FINT, ftext, DRPM_QUERY);
    return node;
  }
  if (first < 1) {
    drpxfail(st, DRPM_FFIRST, ftext, DRPM_QUERY);
    return node;
  }
  const char *ltext = strat(st, lastoff);
  if (!numcheck(st, ltext, &num, DRPM_LNUM, DRPM_LINT)) return node;
  int64_t last = intof(&num);
  if (last > INT32_MAX || last < INT32_MIN) {
    drpxfail(st, DRPM_LINT, ltext, DRPM_QUERY);
    return node;
  }
  if (last < first) {
    drpxfail(st, DRPM_LORDER, ltext, DRPM_QUERY);
    return node;
  }
  int32_t n = drpxitree(DRPOP_FIRSTDOC, node, 0, 0, st);
  if (n != node) {
    drpanode *nn = drpanodep(st->buf, n);
    nn->value = static_cast<int32_t>(first);
    nn->value2 = static_cast<int32_t>(last);
  }
  return n;
}

int32_t drpxflag(int flag, int32_t node, drpmstate *st) {
  if (st->theme && (flag == DRPF_STEM || flag == DRPF_FUZZY || flag == DRPF_SOUNDEX)) {
    drpxfail(st, DRPM_THEMEMOD, nullptr, DRPM_QUERY);
    return node;
  }
  if (!st->theme && flag == DRPF_THEME) {
    drpxfail(st, DRPM_NOTHEME, nullptr, DRPM_QUERY);
    return node;
  }
  drpanode *n = nodep(st, node);
  if (n && !(n->flags & DRPF_SQUARE)) n->flags = static_cast<uint8_t>(n->flags | flag);
  return node;
}

int32_t drpxskproc(int32_t node, drpmstate *st) {
  drsrvstate *srv = st->srv;
  void *res = drumalc(srv, srv->hpmgr, srv->cmdhp, 1, DRPP_AREA, __FILE__, __LINE__);
  if (!res) {
    dracnout(srv, "drpxskproc failed to allocate\n ", 0);
    drpxfail(st, 0, nullptr, DRPM_NOMEM);
    return 1;
  }
  char *text = static_cast<char *>(res);
  int rc = drppstmt(st->user, node, &st->buf);
  if (rc == 0) {
    std::string stmt = strat(st, drpanodep(st->buf, node)->text);
    rc = drpprun(st->user, text, DRPP_AREA, stmt.c_str(), &st->buf);
  }
  int32_t off = 1;
  if (rc != 0) {
    drpxfail(st, 0, nullptr, DRPM_QUERY);
  } else if (drpaaddstr(&off, text, &st->buf) != 0) {
    dracnout(srv, "drpxskproc failed to allocate string\n ", 0);
    drpxfail(st, 0, nullptr, DRPM_NOMEM);
    off = 1;
  }
  drumfre(srv, srv->hpmgr, srv->cmdhp, &res);
  return off;
}

void drpxparamin(drpmstate *st) {
  if (st->paramdepth < 255) st->paramdepth++;
}

void drpxparamout(drpmstate *st) {
  if (st->paramdepth > 0) st->paramdepth--;
}

void drpxsqein(drpmstate *st) { st->sqemode = 1; }

void drpxsqeout(drpmstate *st) { st->sqemode = 0; }

void drpgreduce(tqrec *rec, int rule, tqtoken *tok) {
  const tqgram &g = drpgtables;
  if (rule <= 0 || rule >= g.nrules) {
    tqstate(rec, TQ_ERROR);
    return;
  }
  int n = g.rlen[rule];
  if (rec->top < n) {
    tqstate(rec, TQ_ERROR);
    return;
  }
  if (rec->errmode) return;
  auto *st = static_cast<drpmstate *>(rec->user);
  int32_t base = rec->top - n + 1;
  auto v = [&](int i) { return valueof(rec, base + i - 1); };
  int32_t r = n > 0 ? v(1) : 0;
  switch (rule) {
    case 4: r = drpxfirst(v(1), v(3), v(5), st); break;
    case 6: case 16: case 51: case 53: case 59: case 81: case 82: r = v(2); break;
    case 7: case 17: case 52: r = drpxflag(DRPF_SQUARE, v(2), st); break;
    case 8: case 18: case 41: r = drpxflag(DRPF_STEM, v(2), st); break;
    case 9: case 19: case 42: r = drpxflag(DRPF_FUZZY, v(2), st); break;
    case 10: case 20: case 43: r = drpxflag(DRPF_SOUNDEX, v(2), st); break;
    case 11: case 21: case 44: r = drpxflag(DRPF_THEME, v(2), st); break;
    case 14: r = drpxmaxdoc(v(1), v(3), st); break;
    case 22: r = drpxitree(DRPOP_ACCUM, v(1), v(3), 0, st); break;
    case 24: r = drpxitree(DRPOP_OR, v(1), v(3), 0, st); break;
    case 26: r = drpxitree(DRPOP_AND, v(1), v(3), 0, st); break;
    case 28: r = drpxitree(DRPOP_NOT, v(1), v(3), 0, st); break;
    case 30: r = drpxitree(DRPOP_MINUS, v(1), v(3), 0, st); break;
    case 32: r = drpxweight(v(1), v(3), st); break;
    case 33: r = drpxthresh(v(1), v(3), st); break;
    case 35: r = drpxitree(DRPOP_NEAR, v(1), v(3), 0, st); break;
    case 37: r = drpxitree(DRPOP_PHRASE, v(1), v(2), 0, st); break;
    case 39: r = drpxitree(DRPOP_EQUIV, v(1), v(3), 0, st); break;
    case 46: r = drpxitree(DRPOP_WORD, 0, 0, v(1), st); break;
    case 47: r = drpxflag(DRPF_WILD, drpxitree(DRPOP_WORD, 0, 0, v(1), st), st); break;
    case 54:
      drpxparamout(st);
      r = drpxitree(DRPOP_EXECUTE, v(2), 0, v(1), st);
      break;
    case 55:
      drpxparamout(st);
      r = drpxitree(DRPOP_EXECUTE, 0, 0, v(1), st);
      break;
    case 56: drpxparamin(st); r = v(2); break;
    case 60: r = drpxitree(DRPOP_PLIST, v(1), v(3), 0, st); break;
    case 61: r = drpxitree(DRPOP_PLIST, v(1), 0, 0, st); break;
    case 63: r = drpxitree(DRPOP_PPHRASE, v(1), v(2), 0, st); break;
    case 64: r = drpxitree(DRPOP_PWORD, 0, 0, v(1), st); break;
    case 65: r = drpxitree(DRPOP_PWORD, 0, 0, v(2), st); break;
    case 66:
      drpxparamout(st);
      r = drpxitree(DRPOP_THES, v(2), 0, v(1), st);
      break;
    case 67: case 68: case 69: case 70: case 71: case 72: case 73: case 74: case 75: case 76:
      drpxparamin(st);
      r = rule - 67;
      break;
    case 77:
      drpxsqeout(st);
      r = drpxitree(DRPOP_SQE, 0, 0, v(2), st);
      break;
    case 78: drpxsqein(st); r = 0; break;
    case 80: r = drpxskproc(v(1), st); break;
    default: break; /* the value of the first symbol */
  }
  /* The first popped entry's token record goes to the new entry; the others
   * lose their reference. */
  tqtoken *keep = n > 0 ? rec->stack[base].token : nullptr;
  for (int i = 1; i < n; i++) tqunref(rec, rec->stack[base + i].token);
  tqpop(rec, n);
  if (n == 0 && rec->top >= 0) {
    keep = rec->stack[rec->top].token;
    if (keep) keep->refs++;
  }
  int lhs = g.lhs[rule];
  int to = tqgoto(rec, rec->stack[rec->top].state, lhs);
  if (to < 0) {
    tqstate(rec, TQ_ERROR);
    return;
  }
  tqpush(rec, to, lhs, &r, keep);
}
