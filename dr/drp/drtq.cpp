/* The query-parser component: what a command handler or the engine builds
 * to parse and normalise one query and then walk its tree. It lives in the
 * command heap with everything it parses. */
#include <cstring>

#include "dr/dras/drstops.h"
#include "dr/drp/drpint.h"
#include "dr/drp/drtq.h"

namespace {

drtqcmp *cmp(drobj *o) { return reinterpret_cast<drtqcmp *>(o); }

/* Refuses an operation of a component that is not set up. */
int notsetup(drtqcmp *c, const char *file = __builtin_FILE(), int line = __builtin_LINE()) {
  drpierr(c->srv, DRPM_NOSETUP, 2, file, line);
  dracnout(c->srv, "parser not setup\n", 0);
  return 1;
}

/* True when a query is parsed; else pushes 50940 and, with say, prints the
 * console line. */
bool parsed(drtqcmp *c, bool say = true, const char *file = __builtin_FILE(),
            int line = __builtin_LINE()) {
  if (c->buf) return true;
  drpierr(c->srv, DRPM_NOPARSE, 2, file, line);
  if (say) dracnout(c->srv, "query not parsed \n", 0);
  return false;
}

drpanode *addr(drpabuf *b, int32_t n) { return n ? drpanodep(b, n) : nullptr; }

int drtqsetup(drobj *o, uint16_t flags, const char *user, const char *user2, drobj *wordlist,
            drobj *aux, drobj *lexer, drobj *stoplist, drobj *engine, int32_t reserved) {
  drtqcmp *c = cmp(o);
  if (c->kind == 0) {
    drpierr(c->srv, DRPM_NOKIND, 2);
    c->ready = 0;
    return 1;
  }
  c->user = user;
  c->user2 = user2;
  c->wordlist = wordlist;
  c->aux = aux;
  c->lexer = lexer;
  c->stoplist = stoplist;
  c->engine = engine;
  c->reserved = reserved;
  c->theme = lexer && lexer->objid == 3 ? 1 : 0;
  c->flags = flags;
  c->ready = 1;
  return 0;
}

int drtqparse(drobj *o, const char *text) {
  drtqcmp *c = cmp(o);
  if (!c->ready) return notsetup(c);
  drsrvstate *srv = c->srv;
  /* The earlier tree goes with the command heap; a walk must not reach a
   * tree whose parse failed. */
  c->buf = nullptr;
  drpabuf *b = nullptr;
  int rc = drpmparse(srv, &b, c->user, text ? text : "", c->keywords, 1, c->theme);
  c->buf = b;
  if (rc == 0 && c->flags != 0) rc = drpnnorm(c, &c->buf, c->flags, "");
  if (rc == 0) return 0;
  c->buf = nullptr;
  if (rtmsgcnt(srv->msg) == 0) {
    dracnout(srv, "component fail\n", 0);
    drpierr(srv, DRPM_INTERNAL, 2);
  }
  return 1;
}

int drtqspare(drobj *) { return 1; }

drpanode *drtqroot(drobj *o, drpabuf **buf) {
  drtqcmp *c = cmp(o);
  if (!parsed(c)) return nullptr;
  *buf = c->buf;
  return addr(c->buf, c->buf->root);
}

int32_t drtqmaxdoc(drobj *o) {
  drtqcmp *c = cmp(o);
  return parsed(c, false) ? c->buf->maxdoc : 0;
}

int32_t drtqfirst(drobj *o) {
  drtqcmp *c = cmp(o);
  return parsed(c, false) ? c->buf->firstdoc : 0;
}

int32_t drtqlast(drobj *o) {
  drtqcmp *c = cmp(o);
  return parsed(c, false) ? c->buf->lastdoc : 0;
}

drpanode *drtqnext(drobj *o, drpanode *node, drpabuf *buf) {
  drtqcmp *c = cmp(o);
  if (!parsed(c)) return nullptr;
  return addr(buf ? buf : c->buf, node->next);
}

drpanode *drtqchild(drobj *o, drpanode *node, drpabuf *buf) {
  drtqcmp *c = cmp(o);
  if (!parsed(c)) return nullptr;
  if (!node->first) return nullptr;
  drpabuf *b = (node->op & DRPOP_LEAFBIT) || !buf ? c->buf : buf;
  return addr(b, node->first);
}

int drtqtext(drobj *o, drpanode *node, const char **text, drpabuf *buf) {
  drtqcmp *c = cmp(o);
  *text = nullptr;
  if (!parsed(c)) return 1;
  if (node->text) *text = drpastrp(buf ? buf : c->buf, node->text);
  return 0;
}

const char *drtqwend(drobj *o, const char *word) {
  drtqcmp *c = cmp(o);
  size_t len = strnlen(word, DRPA_WORDMAX);
  if (len < DRPA_WORDMAX) return word + len;
  drpierr(c->srv, DRPM_INTERNAL, 2);
  dracnout(c->srv, "invalid word \n", 0);
  return nullptr;
}

int drtqstop(drobj *o, const char *word, int32_t *num) {
  drtqcmp *c = cmp(o);
  *num = -1;
  if (!c->stoplist) return 0;
  int32_t n = 0;
  int rc = drops<drstops>(c->stoplist)->look(c->stoplist, word, &n);
  if (n != 0) *num = n;
  return rc;
}

int drtqprint(drobj *o, char *out, size_t size) {
  drtqcmp *c = cmp(o);
  if (!parsed(c)) return 1;
  size_t pos = 0;
  if (size) out[0] = 0;
  if (!c->buf->root) return 0;
  if (drptprint(c->buf->root, c->buf, out, size, &pos, 0) != 0) {
    drpierr(c->srv, DRPM_INTERNAL, 2);
    dracnout(c->srv, "query not parsed \n", 0);
    return 1;
  }
  return 0;
}

int drtqreset(drobj *o, int32_t mode) {
  drtqcmp *c = cmp(o);
  if (!c->ready) return notsetup(c);
  if (mode == 1 && c->buf) {
    void *p = c->buf;
    drumfre(c->srv, c->srv->hpmgr, c->srv->cmdhp, &p);
    c->buf = nullptr;
  }
  return 0;
}

int drtqfree(drobj *o) {
  if (!o) return 0;
  drtqcmp *c = cmp(o);
  drsrvstate *srv = c->srv;
  if (c->buf && drtqreset(o, 1) != 0) {
    drpierr(srv, DRPM_INTERNAL, 2);
    dracnout(srv, "query not parsed \n", 0);
    return 1;
  }
  drphfree(&c->keywords, srv);
  void *p = c;
  drumfre(srv, srv->hpmgr, srv->cmdhp, &p);
  return 0;
}

const drobjhd<drtqops> kTpl = {{DRCLS_QPARSER, 1, nullptr},
                               {.setup = drtqsetup,
                                .parse = drtqparse,
                                .spare = drtqspare,
                                .root = drtqroot,
                                .maxdoc = drtqmaxdoc,
                                .first = drtqfirst,
                                .last = drtqlast,
                                .next = drtqnext,
                                .child = drtqchild,
                                .text = drtqtext,
                                .wend = drtqwend,
                                .stop = drtqstop,
                                .print = drtqprint,
                                .reset = drtqreset,
                                .free = drtqfree}};

/* Builds the keyword table and the modifier flags of a component and
 * records its parser kind; 0, or 1 after pushing. */
int drpmopkw(drsrvstate *srv, drtqcmp *c, int32_t kind) {
  c->modstr = "";
  if (drphnew(srv, &c->keywords) != 0) {
    drpierr(srv, DRPM_KWTAB, 2);
    return 1;
  }
  if (drpmkwfill(srv, c->keywords) != 0) return 1;
  int32_t pos = 0;
  if (drpmmods(&c->modflags, c->modstr, &pos) != 0) {
    dracnierr(srv, DRFAC_DRG, DRPM_KWINS, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_SB4, &pos, 0);
    return 1;
  }
  c->kind = kind;
  return 0;
}

}  // namespace

drobj *drtqnew(drsrvstate *srv, int32_t kind) {
  auto *c = static_cast<drtqcmp *>(
      drumalc(srv, srv->hpmgr, srv->cmdhp, 1, sizeof(drtqcmp), __FILE__, __LINE__));
  auto refuse = [&] {
    uint32_t k = static_cast<uint32_t>(kind);
    dracnierr(srv, DRFAC_DRG, DRPM_BUILD, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_UB4, &k, 0);
    return nullptr;
  };
  if (!c) return refuse();
  c->hd = kTpl;
  c->srv = srv;
  if (drpmopkw(srv, c, kind) != 0) {
    drphfree(&c->keywords, srv);
    void *p = c;
    drumfre(srv, srv->hpmgr, srv->cmdhp, &p);
    return refuse();
  }
  return &c->hd.obj;
}
