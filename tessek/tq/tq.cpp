/* The LR parser runtime: trial parses before every shift, replay of the
 * recorded actions, default reductions, accept, error recovery by trial
 * parses, message and trace records. A raise leaves through the caller's
 * error frame, so nothing here holds an object with a destructor. */
#include "tessek/tq/tq.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

/* Trace kinds of the recovery steps. */
enum {
  TR_REDUCE = 0, TR_SHIFT = 1, TR_ACCEPT = 2, TR_ERROR = 3, TR_NONE = 4, TR_TOKEN = 5,
  TR_SUBSTSTATE = 6, TR_SUBSTTOKEN = 7, TR_TRYTOKEN = 8, TR_ERRSTATE = 9, TR_RECOVER = 10,
  TR_INSERT = 11, TR_INSERTED = 12, TR_SKIP = 13, TR_SKIPNT = 14, TR_SKIPPED = 15,
  TR_DELETE = 16, TR_DELETED = 17, TR_REPLACE = 18, TR_REPLACEWITH = 19, TR_REPLACED = 20,
  TR_POPINSERT = 21, TR_RECOVERED = 22, TR_FAILED = 23
};

/* What tqsave keeps of a position. */
struct tqpos {
  int32_t top, nsaved, mark;
  uint8_t state, saving;
};

[[noreturn]] void tqraise(tqrec *r) {
  r->raisestat = -1;
  if (r->msgmgr)
    rtfrmraise(r->msgmgr, r->facility, r->msgbase + TQ_MSG_RAISE, 2, 0);
  /* No frame to leave through: nothing sane is left to do. */
  std::fputs("tq: raise without an error frame\n", stderr);
  std::abort();
}

void *envalloc(tqrec *r, size_t size) {
  if (!r->env) return nullptr;
  rthpmgr *mgr = rthpmgrget(r->env);
  return rthpalloc(mgr, rthptop(mgr), size, 0, "tq.cpp", __LINE__);
}

void *envrealloc(tqrec *r, void *block, size_t size) {
  if (!r->env) return nullptr;
  rthpmgr *mgr = rthpmgrget(r->env);
  return rthprealloc(mgr, rthptop(mgr), block, size, "tq.cpp", __LINE__);
}

void envfree(tqrec *r, void *block) {
  if (!r->env || !block) return;
  rthpmgr *mgr = rthpmgrget(r->env);
  rthpfree(mgr, rthptop(mgr), block, 0);
}

void *tqrealloc(tqrec *r, void *block, size_t size) {
  void *p;
  if (!block) return tqalloc(r, size);
  p = r->realloc ? r->realloc(r->user, block, size) : envrealloc(r, block, size);
  if (!p) tqraise(r);
  return p;
}

int translate(const tqrec *r, int code) {
  if (code < 0 || code >= r->ncodes) return 0;
  return r->trans[code];
}

const char *tqtokname(const tqrec *r, int term) {
  if (term < 0 || term > r->lastterm + 1) return "";
  return r->termname[term];
}

/* Grows the three arrays to at least want entries (doubling). */
void tqgrow(tqrec *r, int32_t want) {
  int32_t cap = r->cap ? r->cap : TQ_START_ENTRIES;
  while (cap < want) cap *= 2;
  if (cap == r->cap) return;
  if (cap > (1 << 24)) tqraise(r);
  r->stack = static_cast<tqentry *>(tqrealloc(r, r->stack, sizeof(tqentry) * cap));
  r->save = static_cast<tqentry *>(tqrealloc(r, r->save, sizeof(tqentry) * cap));
  r->acts = static_cast<tqact *>(tqrealloc(r, r->acts, sizeof(tqact) * cap));
  r->cap = cap;
}

/* A message or trace record with room for argc arguments and extra bytes. */
tqmesg *newrec(tqrec *r, int num, int argc, size_t extra) {
  size_t size = sizeof(tqmesg) + sizeof(tqarg) * (argc > 0 ? argc : 0) + extra;
  tqmesg *m = static_cast<tqmesg *>(tqalloc(r, size));
  std::memset(m, 0, size);
  m->rec = r;
  m->num = static_cast<int16_t>(num);
  m->argc = static_cast<int16_t>(argc);
  r->outstanding++;
  return m;
}

/* Hands out a trace record of a kind; str and num are its arguments where the
 * kind has them. */
void tqtrace(tqrec *r, int kind, const char *str, int num) {
  if (!r->tracewanted || !r->trace) return;
  if (kind > TR_FAILED) kind = TR_NONE;
  int argc = 0;
  bool hasstr = false, hasnum = false;
  switch (kind) {
    case TR_REDUCE: case TR_SHIFT: hasstr = hasnum = true; argc = 2; break;
    case TR_TOKEN: case TR_SUBSTTOKEN: case TR_TRYTOKEN: case TR_INSERT: case TR_REPLACEWITH:
      hasstr = true; argc = 1; break;
    case TR_SUBSTSTATE: case TR_ERRSTATE: hasnum = true; argc = 1; break;
    default: break;
  }
  size_t len = hasstr && str ? std::strlen(str) : 0;
  tqmesg *m = newrec(r, r->msgbase + kind, argc, hasstr ? len + 1 : 0);
  int i = 0;
  if (hasstr) {
    char *text = reinterpret_cast<char *>(&m->args[argc]);
    if (len) std::memcpy(text, str, len);
    text[len] = 0;
    m->args[i].kind = TQ_ARG_STRING;
    m->args[i++].u.str = text;
  }
  if (hasnum) {
    m->args[i].kind = TQ_ARG_INTEGER;
    m->args[i++].u.num = num;
  }
  r->trace(r->user, r->msgbase + kind, 0, 0, m);
}

int tqtracekind(int actkind) {
  switch (actkind) {
    case TQ_ACT_ERROR: return TR_ERROR;
    case TQ_ACT_ACCEPT: return TR_ACCEPT;
    case TQ_ACT_SHIFT: return TR_SHIFT;
    case TQ_ACT_REDUCE: return TR_REDUCE;
    default: return TR_NONE;
  }
}

/* Reports a numbered message through the error callback. */
void tqerror(tqrec *r, int msg, tqtoken *tok, int extra) {
  if (!r->error) return;
  if (msg == 106 || msg == 107 || msg == 108 || msg == 110) return;
  int argc = 0;
  int bad = tok ? translate(r, tok->code) : 0;
  switch (msg) {
    case TQ_MSG_EXPECTED:
      argc = 1;
      for (int t = 1; t <= r->lastterm; t++)
        if (r->expected[t / 32] & (1u << (t % 32))) argc++;
      break;
    case TQ_MSG_INSERTED: case TQ_MSG_REPLACED: argc = 2; break;
    case TQ_MSG_DELETED: case TQ_MSG_SYNTAX: argc = 1; break;
    default: argc = 0; tok = nullptr; break;
  }
  tqmesg *m = newrec(r, r->msgbase + msg, argc, 0);
  int i = 0;
  auto term = [&](int t) {
    m->args[i].kind = TQ_ARG_INTEGER;
    m->args[i++].u.num = r->namebase + t;
  };
  switch (msg) {
    case TQ_MSG_EXPECTED:
      term(bad);
      for (int t = 1; t <= r->lastterm; t++)
        if (r->expected[t / 32] & (1u << (t % 32))) term(t);
      break;
    case TQ_MSG_INSERTED: case TQ_MSG_REPLACED: term(extra); term(bad); break;
    case TQ_MSG_DELETED: case TQ_MSG_SYNTAX: term(bad); break;
    default: break;
  }
  r->error(r->user, r->msgbase + msg, 0, tok, m);
}

/* The action for a state and an internal terminal. */
tqact tqaction(const tqrec *r, int state, int term) {
  tqact a;
  int base = r->actbase[state];
  int i = term + base;
  if (base == -32768 || i < 0 || i > r->lastindex || r->check[i] != term) {
    int rule = r->defred[state];
    if (rule <= 0) {
      a.kind = TQ_ACT_ERROR;
      a.param = 0;
    } else {
      a.kind = r->lhs[rule] == r->final ? TQ_ACT_ACCEPT : TQ_ACT_REDUCE;
      a.param = static_cast<int16_t>(rule);
    }
    return a;
  }
  int v = r->packed[i];
  if (v > 0) {
    a.kind = TQ_ACT_SHIFT;
    a.param = static_cast<int16_t>(v);
  } else if (v == 0) {
    a.kind = TQ_ACT_ERROR;
    a.param = 0;
  } else {
    a.kind = r->lhs[-v] == r->final ? TQ_ACT_ACCEPT : TQ_ACT_REDUCE;
    a.param = static_cast<int16_t>(-v);
  }
  return a;
}

/* The default reduction of the top state when it reduces without reading a
 * token; kind error when none applies. */
tqact tqdefred(const tqrec *r) {
  tqact a{TQ_ACT_ERROR, 0};
  int s = r->stack[r->top].state;
  int rule = r->defred[s];
  if (r->actbase[s] == -32768 && rule > 0) {
    a.kind = r->lhs[rule] == r->final ? TQ_ACT_ACCEPT : TQ_ACT_REDUCE;
    a.param = static_cast<int16_t>(rule);
  }
  return a;
}

/* Replaces a rule's right side by its left side, without semantics. */
void tqreduce(tqrec *r, int rule) {
  int n = r->rlen[rule];
  if (r->top + 1 < n + 1) {
    r->state = TQ_ERROR;
    return;
  }
  tqpop(r, n);
  int g = tqgoto(r, r->stack[r->top].state, r->lhs[rule]);
  if (g < 0) {
    r->state = TQ_ERROR;
    return;
  }
  tqpush(r, g, r->lhs[rule], nullptr, nullptr);
}

/* Reduces for real: the grammar's routine, or the bare stack step in error
 * mode where no semantic action runs. */
void dored(tqrec *r, int rule, tqtoken *tok) {
  if (r->errmode || !r->reduce)
    tqreduce(r, rule);
  else
    r->reduce(r, rule, tok);
}

tqpos tqsave(tqrec *r) {
  tqpos p{r->top, r->nsaved, r->mark, r->state, r->saving};
  /* Entries an enclosing trial still needs stay protected as well. */
  r->mark = r->saving && r->mark > r->top ? r->mark : r->top;
  r->saving = 1;
  return p;
}

void tqrestore(tqrec *r, const tqpos &p) {
  while (r->nsaved > p.nsaved) {
    r->nsaved--;
    const tqentry &e = r->save[r->nsaved];
    r->stack[e.from] = e;
    r->stack[e.from].from = 0;
  }
  r->top = p.top;
  r->mark = p.mark;
  r->state = p.state;
  r->saving = p.saving;
}

/* Runs the actions for a terminal on the stack until it shifts or fails,
 * recording them; the stack is put back afterwards. Returns 1 (shift),
 * 2 (accept) or 4 (error). */
int tqtrial(tqrec *r, int term) {
  tqpos p = tqsave(r);
  int result = 4;
  r->nacts = 0;
  for (;;) {
    tqact a = tqaction(r, r->stack[r->top].state, term);
    if (r->nacts >= r->cap) tqgrow(r, r->nacts + 1);
    r->acts[r->nacts++] = a;
    if (a.kind == TQ_ACT_REDUCE) {
      tqreduce(r, a.param);
      tqtrace(r, TR_REDUCE, r->ruletext[a.param], r->top >= 0 ? r->stack[r->top].state : -1);
      if (r->state == TQ_ERROR) break;
      continue;
    }
    tqtrace(r, tqtracekind(a.kind), a.kind == TQ_ACT_SHIFT ? tqtokname(r, term) : nullptr,
            a.param);
    if (a.kind == TQ_ACT_SHIFT) result = 1;
    else if (a.kind == TQ_ACT_ACCEPT) result = 2;
    break;
  }
  tqrestore(r, p);
  return result;
}

/* Shifts one token: trial, replay of the recorded actions, the shift itself
 * and the default reductions that follow. */
void tqshift(tqrec *r, tqtoken *tok) {
  tqtrace(r, TR_TOKEN, tqtokname(r, translate(r, tok->code)), 0);
  int res = tqtrial(r, translate(r, tok->code));
  if (res == 4) {
    if (!r->tokcheck || !r->tokcheck(r->user, tok->code)) {
      r->state = TQ_ERROR;
      return;
    }
    tqtrace(r, TR_SUBSTSTATE, nullptr, r->stack[r->top].state);
    tok->code = static_cast<uint16_t>(r->subst);
    tqtrace(r, TR_SUBSTTOKEN, tqtokname(r, translate(r, tok->code)), 0);
    res = tqtrial(r, translate(r, tok->code));
    if (res == 4) {
      r->state = TQ_ERROR;
      return;
    }
  }
  int n = r->nacts;
  for (int i = 0; i < n; i++) {
    tqact a = r->acts[i];
    if (a.kind == TQ_ACT_REDUCE) {
      dored(r, a.param, tok);
      if (r->state == TQ_ERROR) return;
    } else if (a.kind == TQ_ACT_ACCEPT) {
      r->state = TQ_ACCEPTED;
      return;
    } else if (a.kind == TQ_ACT_SHIFT) {
      tqpush(r, a.param, tok->code, tok->value, r->errmode ? nullptr : tok);
    }
  }
  for (;;) {
    tqact a = tqdefred(r);
    if (a.kind == TQ_ACT_ERROR) break;
    tqtrace(r, tqtracekind(a.kind), nullptr, a.param);
    if (a.kind == TQ_ACT_ACCEPT) {
      r->state = TQ_ACCEPTED;
      break;
    }
    dored(r, a.param, tok);
    if (r->state == TQ_ERROR) break;
  }
}

/* Fills the expected set: every terminal a trial would not refuse. */
bool tqexpected(tqrec *r) {
  bool any = false;
  std::memset(r->expected, 0, sizeof(uint32_t) * r->expwords);
  for (int t = 2; t <= r->lastterm; t++) {
    r->state = TQ_RUNNING;
    if (tqtrial(r, t) != 4) {
      r->expected[t / 32] |= 1u << (t % 32);
      any = true;
    }
  }
  return any;
}

bool isexpected(const tqrec *r, int t) { return r->expected[t / 32] & (1u << (t % 32)); }

tqtoken *ask(tqrec *r) {
  tqtoken *t = r->client(r->user, TQ_REQ_NEXT, nullptr);
  return t;
}

void giveback(tqrec *r, tqtoken *t) { r->client(r->user, TQ_REQ_BACK, t); }

/* Tries to go on with a token: shifts it and up to two more from the client
 * on a copy of the position, then puts everything back. */
bool tqtry(tqrec *r, tqtoken *tok) {
  tqpos p = tqsave(r);
  r->state = TQ_RUNNING;
  tqtoken *read[2] = {nullptr, nullptr};
  int nread = 0;
  bool ok = false;
  tqtoken *cur = tok;
  for (int i = 0; i < 3; i++) {
    if (i > 0) {
      cur = ask(r);
      if (!cur) break;
      cur->refs = 1;
      read[nread++] = cur;
      tqtrace(r, TR_TRYTOKEN, tqtokname(r, translate(r, cur->code)), 0);
    }
    tqshift(r, cur);
    if (r->state == TQ_ERROR) break;
    if (r->state == TQ_ACCEPTED || i == 2) {
      ok = true;
      break;
    }
  }
  tqrestore(r, p);
  while (nread > 0) {
    tqtoken *t = read[--nread];
    if (t->refs) t->refs--;
    giveback(r, t);
  }
  return ok;
}

/* A token of an internal terminal with no value, owned by the runtime. */
tqtoken *maketoken(tqrec *r, int term) {
  tqtoken *t = static_cast<tqtoken *>(tqalloc(r, sizeof(tqtoken)));
  std::memset(t, 0, sizeof *t);
  t->code = static_cast<uint16_t>(r->extcode[term]);
  t->source = "";
  t->refs = 1;
  return t;
}

/* Insertion: the first expected terminal that lets the parse go on. */
bool tryinsert(tqrec *r, tqtoken *bad, bool report) {
  for (int t = 2; t <= r->lastterm; t++) {
    if (!isexpected(r, t)) continue;
    tqtrace(r, TR_INSERT, tqtokname(r, t), 0);
    tqtoken *ins = maketoken(r, t);
    if (tqtry(r, ins)) {
      r->state = TQ_RUNNING;
      tqshift(r, ins);
      tqfree(r, ins);
      if (report) tqerror(r, TQ_MSG_INSERTED, bad, t);
      tqtrace(r, TR_INSERTED, nullptr, 0);
      return r->state != TQ_ERROR;
    }
    tqfree(r, ins);
  }
  return false;
}

/* Recovery from a token that cannot be shifted; runs in error mode, so no
 * semantic action runs. */
bool tqrecover(tqrec *r, tqtoken *bad) {
  tqtrace(r, TR_RECOVER, nullptr, 0);
  if (tqexpected(r)) tqerror(r, TQ_MSG_EXPECTED, bad, 0);
  giveback(r, bad);
  if (tryinsert(r, bad, true)) return true;

  tqtrace(r, TR_SKIP, nullptr, 0);
  bad = ask(r);
  if (!bad) return false;
  bad->refs = 1;
  for (int n = 0; n < r->nnonterms; n++) {
    int g = tqgoto(r, r->stack[r->top].state, n);
    if (g < 0) continue;
    tqtrace(r, TR_SKIPNT, nullptr, 0);
    tqpush(r, g, n, nullptr, nullptr);
    r->state = TQ_RUNNING;
    if (tqtry(r, bad)) {
      tqshift(r, bad);
      tqtrace(r, TR_SKIPPED, nullptr, 0);
      if (r->state != TQ_ERROR) return true;
    }
    tqpop(r, 1);
  }

  tqtrace(r, TR_DELETE, nullptr, 0);
  tqtoken *next = ask(r);
  if (next) {
    next->refs = 1;
    r->state = TQ_RUNNING;
    if (tqtry(r, next)) {
      tqshift(r, next);
      tqerror(r, TQ_MSG_DELETED, bad, 0);
      tqunref(r, bad);
      tqtrace(r, TR_DELETED, nullptr, 0);
      if (r->state != TQ_ERROR) return true;
      return false;
    }
    tqtrace(r, TR_REPLACE, nullptr, 0);
    next->refs = 0;
    giveback(r, next);
    for (int t = 2; t <= r->lastterm; t++) {
      if (!isexpected(r, t)) continue;
      tqtrace(r, TR_REPLACEWITH, tqtokname(r, t), 0);
      tqtoken *rep = maketoken(r, t);
      r->state = TQ_RUNNING;
      if (tqtry(r, rep)) {
        tqshift(r, rep);
        tqfree(r, rep);
        tqerror(r, TQ_MSG_REPLACED, bad, t);
        tqunref(r, bad);
        tqtrace(r, TR_REPLACED, nullptr, 0);
        return r->state != TQ_ERROR;
      }
      tqfree(r, rep);
    }
  }

  tqtrace(r, TR_POPINSERT, nullptr, 0);
  bad->refs = 0;
  giveback(r, bad);
  if (r->top > 0) {
    tqpop(r, 1);
    if (tqexpected(r) && tryinsert(r, bad, false)) return true;
  }
  r->state = TQ_ERROR;
  tqtrace(r, TR_FAILED, nullptr, 0);
  return false;
}

/* Drops the token record of every stack entry (entering error mode). */
void dropall(tqrec *r) {
  for (int32_t i = 0; i <= r->top; i++) {
    if (r->stack[i].token) {
      tqunref(r, r->stack[i].token);
      r->stack[i].token = nullptr;
    }
  }
}

/* The facility stays registered with the message manager: the manager has
 * no unregister operation, and a registration costs one table slot. */
void finishdestroy(tqrec *r) {
  void (*freefn)(void *, void *) = r->free;
  void *user = r->user;
  if (freefn)
    freefn(user, r);
  else
    envfree(r, r);
}

}  // namespace

void *tqalloc(tqrec *r, size_t size) {
  void *p = r->alloc ? r->alloc(r->user, size) : envalloc(r, size);
  if (!p) tqraise(r);
  return p;
}

void tqfree(tqrec *r, void *block) {
  if (!block) return;
  if (r->free)
    r->free(r->user, block);
  else
    envfree(r, block);
}

void tqtables(tqrec *r, const tqgram *g) {
  r->defred = g->defred;
  r->defgoto = g->defgoto;
  r->actbase = g->actbase;
  r->gotobase = g->gotobase;
  r->packed = g->packed;
  r->check = g->check;
  r->lhs = g->lhs;
  r->rlen = g->rlen;
  r->trans = g->trans;
  r->extcode = g->extcode;
  r->ruletext = g->ruletext;
  r->termname = g->termname;
  r->ncodes = g->ncodes;
  r->nnonterms = g->nnonterms;
  r->lastterm = g->lastterm;
  r->lastindex = g->lastindex;
  r->expwords = static_cast<uint16_t>(g->expwords);
  r->final = g->start;
}

void tqsetops(tqrec *r, const tqops *ops) {
  if (!ops || !ops->error) tqraise(r);
  r->error = ops->error;
  r->reduce = r->reducefn;
  if (!ops->client) {
    tqerror(r, TQ_MSG_NOCLIENT, nullptr, 0);
    tqraise(r);
  }
  r->client = ops->client;
  int mem = (ops->alloc != nullptr) + (ops->realloc != nullptr) + (ops->free != nullptr);
  if (mem != 0 && mem != 3) tqraise(r); /* 110, not delivered */
  r->alloc = ops->alloc;
  r->realloc = ops->realloc;
  r->free = ops->free;
  if (r->tracewanted && !ops->trace) tqraise(r); /* 107, not delivered */
  r->trace = ops->trace;
  r->tokcheck = ops->tokcheck;
}

void tqpush(tqrec *r, int state, int symbol, const void *value, tqtoken *tok) {
  int32_t top = r->top + 1;
  if (top >= r->cap) tqgrow(r, top + 1);
  if (r->saving && top <= r->mark) {
    if (r->nsaved >= r->cap) tqgrow(r, r->nsaved + 1);
    tqentry &s = r->save[r->nsaved++];
    s = r->stack[top];
    s.from = top;
  }
  r->top = top;
  tqentry &e = r->stack[top];
  e.state = static_cast<int16_t>(state);
  e.symbol = static_cast<int16_t>(symbol);
  e.token = r->errmode ? nullptr : tok;
  e.saved = 0;
  e.from = 0;
  if (value)
    std::memcpy(e.value, value, static_cast<size_t>(r->valsize));
  else
    std::memset(e.value, 0, sizeof e.value);
}

void tqpop(tqrec *r, int n) {
  r->top -= n;
  if (r->top < -1) r->top = -1;
}

int tqgoto(const tqrec *r, int state, int nonterm) {
  if (nonterm < 0 || nonterm >= r->nnonterms) return -1;
  int base = r->gotobase[nonterm];
  int i = state + base;
  if (base == -32768 || i < 0 || i > r->lastindex || r->check[i] != state)
    return r->defgoto[nonterm];
  return r->packed[i];
}

void tqunref(tqrec *r, tqtoken *tok) {
  if (!tok) return;
  if (tok->refs > 0) tok->refs--;
  if (tok->refs == 0 && r->client) r->client(r->user, TQ_REQ_RELEASE, tok);
}

void tqstate(tqrec *r, int state) { r->state = static_cast<uint8_t>(state); }

int tqparse(tqrec *r, void *user, int *errflag, int onestep, void *value, int vallen) {
  r->user = user;
  r->top = -1;
  r->nsaved = 0;
  r->nacts = 0;
  r->mark = -1;
  tqgrow(r, TQ_START_ENTRIES);
  tqpush(r, 0, 0, nullptr, nullptr);
  *errflag = 0;
  r->errmode = 0;
  r->saving = 0;
  r->state = TQ_RUNNING;

  tqtoken *tok = ask(r);
  for (;;) {
    if (!tok) {
      /* A client that has nothing to give ends the parse as an error. */
      r->errmode = 1;
      tqerror(r, TQ_MSG_SYNTAX, nullptr, 0);
      break;
    }
    tok->refs = 1;
    tqshift(r, tok);
    if (r->state == TQ_RUNNING) {
      if (onestep) {
        if (tok->refs == 0) tqunref(r, tok);
        break;
      }
      if (r->errmode) tqunref(r, tok);
    } else if (r->state == TQ_ACCEPTED) {
      if (value && vallen > 0) {
        int n = vallen < r->valsize ? vallen : r->valsize;
        std::memcpy(value, r->stack[r->top].value, static_cast<size_t>(n));
      }
      if (r->errmode) {
        tqunref(r, tok);
        r->stack[r->top].token = nullptr;
      }
      break;
    } else if (r->state == TQ_ERROR) {
      tqtrace(r, TR_ERRSTATE, nullptr, r->stack[r->top].state);
      if (!r->errmode) {
        dropall(r);
        r->errmode = 1;
      }
      if (!r->recover || !tqrecover(r, tok)) {
        r->state = TQ_ERROR;
        tqerror(r, TQ_MSG_SYNTAX, tok, 0);
        break;
      }
      if (r->state == TQ_ACCEPTED) break;
      r->state = TQ_RUNNING;
    }
    tok = ask(r);
  }
  *errflag = r->errmode;
  r->state = TQ_FINISHED;
  return *errflag;
}

void tqdestroy(tqrec *r) {
  if (!r) return;
  if (r->stack && !r->errmode) {
    for (int32_t i = 0; i <= r->top; i++) {
      if (r->stack[i].token) {
        tqunref(r, r->stack[i].token);
        r->stack[i].token = nullptr;
      }
    }
  }
  tqfree(r, r->stack);
  tqfree(r, r->save);
  tqfree(r, r->acts);
  tqfree(r, r->expected);
  r->stack = r->save = nullptr;
  r->acts = nullptr;
  r->expected = nullptr;
  r->top = -1;
  r->cap = 0;
  r->state = TQ_FINISHED;
  r->doomed = 1;
  if (r->outstanding > 0) return;
  finishdestroy(r);
}

void tqmesgfree(tqmesg **mp) {
  if (!mp || !*mp) return;
  tqmesg *m = *mp;
  tqrec *r = m->rec;
  *mp = nullptr;
  tqfree(r, m);
  if (r->outstanding > 0) r->outstanding--;
  if (r->doomed && r->outstanding == 0) finishdestroy(r);
}

int tqmesgargc(const tqmesg *m) { return m ? m->argc : 0; }

int tqmesgarg(const tqmesg *m, int idx, int *kind, int *len, void *buf, size_t bufsize) {
  if (!m || idx < 0 || idx >= m->argc) return 1;
  const tqarg &a = m->args[idx];
  if (a.kind == TQ_ARG_STRING) {
    size_t n = a.u.str ? std::strlen(a.u.str) : 0;
    if (bufsize < n + 1) return 1;
    std::memcpy(buf, a.u.str ? a.u.str : "", n + 1);
    if (kind) *kind = a.kind;
    if (len) *len = static_cast<int>(n);
    return 0;
  }
  if (bufsize < 4) return 1;
  std::memcpy(buf, &a.u.num, 4);
  if (kind) *kind = a.kind;
  if (len) *len = 4;
  return 0;
}

int tqmesgfmt(const tqmesg *m, rtarg *args, int nargs, int max, char *textbuf, size_t textsize) {
  if (!m) return nargs;
  int room = max - nargs;
  int take = m->argc;
  bool cut = false;
  if (room > 30) room = 30;
  if (take > room) {
    take = room > 0 ? room - 1 : 0;
    cut = room > 0;
  }
  size_t used = 0;
  for (int i = 0; i < take; i++) {
    const tqarg &a = m->args[i];
    rtarg &o = args[nargs++];
    if (a.kind == TQ_ARG_STRING) {
      o.type = RTA_STR;
      o.u.s = a.u.str;
    } else if (a.kind == TQ_ARG_INTEGER) {
      /* A terminal: the facility's text under its number names it. */
      o.type = RTA_STR;
      o.u.s = "";
      tqrec *r = m->rec;
      if (r->msgmgr && textbuf && used < textsize) {
        int n = rtmsgfmt(r->msgmgr, r->facility, a.u.num, nullptr, 0, textbuf + used,
                         textsize - used);
        if (n >= 0) {
          /* Keep only the text after the "FAC-nnnnn: " prefix. */
          char *t = textbuf + used;
          char *colon = std::strstr(t, ": ");
          o.u.s = colon ? colon + 2 : t;
          used += static_cast<size_t>(n) + 1;
        }
      }
    } else {
      o.type = RTA_VAL;
      o.u.v = a.u.num;
    }
  }
  if (cut) {
    rtarg &o = args[nargs++];
    o.type = RTA_STR;
    o.u.s = "...";
  }
  return nargs;
}
