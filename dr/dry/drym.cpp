// Building an evaluation tree from a parsed query, walking it in either mode
// and releasing it. Operator and leaf nodes live in their own units; this one
// only maps parse nodes to them and enforces where stop words may stand.
#include <cstdio>
#include <cstring>

#include "dr/dra/dra.h"
#include "dr/dras/drtqops.h"
#include "dr/drp/drtq.h"
#include "dr/dru/drue.h"
#include "dr/dru/druo.h"
#include "dr/dry/dry.h"
#include "platform/nls/nls.h"

namespace {

// Room for the word named by a stop-word refusal.
constexpr size_t kStopText = 2048;

drsrvstate *srvof(drytree *t) { return t->srv; }

// The query-parser component's operations.
const drtqops *qp(drytree *t) { return drops<drtqops>(t->cmp); }

// The text of a parse node, or "" when it has none.
const char *nodetext(drytree *t, drpanode *pn) {
  const char *text = nullptr;
  if (pn && qp(t)->text(t->cmp, pn, &text, t->buf) != 0) text = nullptr;
  return text ? text : "";
}

// The i-th child of a parse node (0-based), or null.
drpanode *parsechild(drytree *t, drpanode *pn, int32_t i) {
  drpanode *c = qp(t)->child(t->cmp, pn, t->buf);
  while (c && i-- > 0) c = qp(t)->next(t->cmp, c, t->buf);
  return c;
}

// Refuses a stop word where it cannot stand: pushes 10817 naming it (with
// " ..." for a phrase of several stop words) and frees the node built.
int refuse(drytree *t, drynode **node, drpanode *named, bool more) {
  drsrvstate *st = srvof(t);
  char text[kStopText];
  nlscpy(dracncs(st), text, sizeof text - 4, nodetext(t, named));
  if (more) std::strcat(text, " ...");
  dracnerr(st, DRFAC_DRG, DRYM_STOPWORD, 2, DRA_STR, text, DRA_END);
  drymfreenode(st, t->heap, t->mode, *node);
  *node = nullptr;
  druetrc();
  return 1;
}

// Frees the first n children built so far and the array.
void dropchildren(drytree *t, drynode **children, int32_t n) {
  drsrvstate *st = srvof(t);
  for (int32_t i = 0; i < n; ++i)
    if (children[i]) drymfreenode(st, t->heap, t->mode, children[i]);
  void *p = children;
  drumfre(st, st->hpmgr, t->heap, &p);
}

}  // namespace

drynode *drymalc(drytree *t, size_t size, const drytmpl *tmpl) {
  drsrvstate *st = srvof(t);
  auto *n = static_cast<drynode *>(drumalc(st, st->hpmgr, t->heap, 1, size, __FILE__, __LINE__));
  if (!n) return nullptr;
  n->hd = *tmpl;
  n->w1 = 100;
  n->w2 = 100;
  return n;
}

int drymrel(drsrvstate *st, drheap heap, drynode *n) {
  void *p = n;
  return drumfre(st, st->hpmgr, heap, &p);
}

void drymline(drynode *n, int depth, const char *fmt, const char *label, const char *text) {
  static const char blanks[] = "                                             ";  // 45
  int ind = depth * 3;
  if (ind > 45 || ind < 0) ind = 45;
  int doc = n->state == DRY_DONE ? -1 : static_cast<int>(n->doc);
  dracnout(nullptr, fmt, DRA_INT, ind, DRA_STR, blanks, DRA_STR, label, DRA_INT, doc, DRA_STR,
           text ? text : "", 0);
}

int drymbuild(drsrvstate *st, drheap heap, drobj *qparser, drytree **out, drytermfn term,
              dryleaffn prefix, dryleaffn equiv, dryleaffn sqe, void *user, int32_t mode,
              int32_t reserved, drhiidx *docidx) {
  (void)reserved;
  *out = nullptr;
  if (mode != DRY_DOCS && mode != DRY_OCCS) return 1;
  auto *t = static_cast<drytree *>(drumalc(st, st->hpmgr, heap, 1, sizeof(drytree), __FILE__, __LINE__));
  if (!t) return 1;
  t->srv = st;
  t->heap = heap;
  t->cmp = qparser;
  t->mode = mode;
  t->docidx = docidx;
  t->theme = reinterpret_cast<drtqcmp *>(qparser)->theme;
  t->user = user;
  t->term = term;
  t->prefix = prefix;
  t->equiv = equiv;
  t->sqe = sqe;
  *out = t;
  drpanode *root = qp(t)->root(qparser, &t->buf);
  if (!root || drymsub(t, root, 1, &t->root) != 0) {
    drymfree(t);
    *out = nullptr;
    return 1;
  }
  return 0;
}

int drymsub(drytree *t, drpanode *pn, int top, drynode **out) {
  drsrvstate *st = srvof(t);
  *out = nullptr;
  if (!pn) return 1;
  // An equivalence reads its words itself.
  int32_t n = pn->op == DRPOP_EQUIV ? 0 : pn->nchild;
  drynode **children = nullptr;
  if (n) {
    children = static_cast<drynode **>(
        drumalc(st, st->hpmgr, t->heap, static_cast<size_t>(n), sizeof(drynode *), __FILE__, __LINE__));
    if (!children) return 1;
    drpanode *pc = qp(t)->child(t->cmp, pn, t->buf);
    for (int32_t i = 0; i < n; ++i) {
      if (!pc) {
        dracnierr(st, DRFAC_DRG, DRPM_INTERNAL, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_STR,
                  "drymsub", DRA_END);
        dropchildren(t, children, i);
        return 1;
      }
      if (drymsub(t, pc, 0, &children[i]) != 0) {
        dropchildren(t, children, i);
        return 1;
      }
      children[i]->idx = i;
      pc = qp(t)->next(t->cmp, pc, t->buf);
    }
  }
  drynode *node = nullptr;
  if (drymnew(t, pn, n, children, &node) != 0) {
    if (children) dropchildren(t, children, n);
    return 1;
  }
  if (n) {
    if (node->hd.type == DRYT_PHRASE) {
      int32_t stops = 0;
      for (int32_t i = 0; i < n; ++i) stops += children[i]->hd.type == DRYT_STOP;
      if (stops == n) return refuse(t, &node, parsechild(t, pn, 0), n > 1);
    } else {
      for (int32_t i = 0; i < n; ++i)
        if (children[i]->hd.type == DRYT_STOP) return refuse(t, &node, parsechild(t, pn, i), false);
    }
  } else if (top && node->hd.type == DRYT_STOP) {
    return refuse(t, &node, pn, false);
  }
  *out = node;
  return 0;
}

int drymnew(drytree *t, drpanode *pn, int32_t n, drynode **children, drynode **out) {
  drynode *node = nullptr;
  switch (pn->op) {
    case DRPOP_PHRASE: node = dryphnew(t, n, children); break;
    case DRPOP_EQUIV: node = t->equiv(t->user, t, pn, n, children); break;
    case DRPOP_NEAR: node = drynnew(t, n, children); break;
    case DRPOP_WEIGHT: node = drywnew(t, pn->value, n, children); break;
    case DRPOP_THRESHOLD: node = drytnew(t, pn->value, n, children); break;
    case DRPOP_MINUS: node = drysnew(t, n, children); break;
    case DRPOP_NOT: node = drygnew(t, n, children); break;
    case DRPOP_AND: node = dryanew(t, n, children); break;
    case DRPOP_OR: node = dryonew(t, DRYT_OR, n, children); break;
    case DRPOP_ACCUM: node = dryonew(t, DRYT_ACCUM, n, children); break;
    case DRPOP_SQE: node = t->sqe(t->user, t, pn, n, children); break;
    case DRPOP_WORD:
    case DRYOP_NWORD: node = dryswword(t, pn, n, children); break;
    case DRYOP_WILD1:
    case DRYOP_WILD2: node = t->prefix(t->user, t, pn, n, children); break;
    default:
      dracnout(t->srv, "\n%s node type %d not supported\n", DRA_STR, "drymnew", DRA_INT,
               static_cast<int>(pn->op), 0);
      // The reply must say why the query failed, so the op is named too.
      dracnierr(t->srv, DRFAC_DRG, DRYM_NOTSUP, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_STR,
                "drymnew", DRA_INT, static_cast<int>(pn->op), DRA_END);
      druetrc();
      return 1;
  }
  *out = node;
  if (!node) {
    druetrc();
    return 1;
  }
  return 0;
}

drynode *dryswword(drytree *t, drpanode *pn, int32_t n, drynode **children) {
  const char *text = nodetext(t, pn);
  int32_t num = -1;
  // Stop words are terms when highlighting, and a theme lexer has none.
  if (t->mode == DRY_DOCS && !t->theme) {
    if (qp(t)->stop(t->cmp, text, &num) != 0) return nullptr;
  }
  drynode *node = (t->mode == DRY_OCCS || num == -1) ? t->term(t->user, t, text) : dryswnew(t, num);
  if (!node) return nullptr;
  node->nchild = n;
  node->child = children;
  return node;
}

int drymeval(drytree *t, uint32_t start, int (*cb)(void *data, uint32_t doc, uint32_t score),
             void *data) {
  if (!t || !t->root) return 1;
  drynode *r = t->root;
  for (;;) {
    if (druochk(t->srv) != 0) return 1;
    if (r->hd.ops.next(t->srv, t->heap, r, start, 0) != 0) return 1;
    if (r->state == DRY_DONE) break;
    int rc = cb(data, r->doc, static_cast<uint32_t>(r->score) & 0xFFu);
    if (rc == 2) return 0;
    if (rc != 0) return 1;
  }
  int rc = cb(data, 0, 0);
  return rc == 0 || rc == 2 ? 0 : 1;
}

int drymoccur(drytree *t, int (*cb)(void *data, const dryocc *occ), void *data) {
  if (!t || !t->root) return 1;
  drynode *r = t->root;
  for (;;) {
    if (druochk(t->srv) != 0) return 1;
    if (r->hd.ops.occ(t->srv, t->heap, r, 0, 0) != 0) return 1;
    if (r->state == DRY_DONE) return cb(data, nullptr) == 0 ? 0 : 1;
    if (cb(data, &r->occ) != 0) return 1;
  }
}

int drymfreenode(drsrvstate *st, drheap heap, int32_t mode, drynode *n) {
  bool failed = false;
  for (int32_t i = 0; i < n->nchild; ++i) {
    if (!n->child[i]) continue;
    if (drymfreenode(st, heap, mode, n->child[i]) != 0) failed = true;
    else n->child[i] = nullptr;
  }
  if (failed) return 1;
  if (n->child) {
    void *p = n->child;
    drumfre(st, st->hpmgr, heap, &p);
    n->child = nullptr;
    n->nchild = 0;
  }
  n->hd.ops.free(st, heap, n, mode);
  return 0;
}

int drymfree(drytree *t) {
  if (!t) return 0;
  drsrvstate *st = t->srv;
  if (t->root) {
    if (drymfreenode(st, t->heap, t->mode, t->root) != 0) return 1;
    t->root = nullptr;
  }
  void *p = t;
  drumfre(st, st->hpmgr, t->heap, &p);
  return 0;
}
