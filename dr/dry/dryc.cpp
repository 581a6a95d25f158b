// The document operators AND, OR, ACCUMULATE, MINUS and NOT, and the routines
// through which every operator answers occurrence requests and drops children
// that ran out. Each node holds only its current document and score.
#include <cstdint>
#include <cstring>

#include "dr/dra/dra.h"
#include "dr/dru/drue.h"
#include "dr/dry/dry.h"

namespace {

int freeop(drsrvstate *st, drheap heap, drynode *n, int32_t mode) {
  (void)mode;
  return drymrel(st, heap, n);
}

int dryadump(void *, drynode *n, int depth) {
  drymline(n, depth, "\n%.*s%s AND  docid=%d", "dryadump", nullptr);
  return 0;
}
int dryodump(void *, drynode *n, int depth) {
  drymline(n, depth, "\n%.*s%s OR   docid=%d", "dryodump", nullptr);
  return 0;
}
int drysdump(void *, drynode *n, int depth) {
  drymline(n, depth, "\n%.*s%s MINUS   docid=%d", "drysdump", nullptr);
  return 0;
}
int drygdump(void *, drynode *n, int depth) {
  drymline(n, depth, "\n%.*s%s NOT   docid=%d", "drygdump", nullptr);
  return 0;
}

// AND: leapfrogging. The child that raised the target is not asked again
// before every other child has agreed on it or one has raised it further,
// so no document is skipped and no child is asked below the highest seen.
int dryanext(drsrvstate *st, drheap heap, drynode *n, uint32_t t, int depth) {
  n->doc = 0;
  uint32_t highest = 0;
  uint32_t target = t;
  int32_t agreeing = 0;
  int32_t minscore = 0;
  for (int32_t i = 0;; i = (i + 1) % n->nchild) {
    drynode *c = n->child[i];
    if (c->hd.ops.next(st, heap, c, target, depth + 1) != 0) return 1;
    if (c->state == DRY_DONE) {
      n->state = DRY_DONE;
      return 0;
    }
    if (c->doc > highest) {
      highest = c->doc;
      target = highest;
      agreeing = 0;
      minscore = c->score;
    } else {
      ++agreeing;
      if (c->score < minscore) minscore = c->score;
    }
    if (agreeing == n->nchild - 1) {
      n->doc = highest;
      n->score = minscore;
      return 0;
    }
  }
}

// OR and ACCUMULATE: only the children standing on the last answer or below
// the target move, so each child moves once per document it yields.
int dryonext(drsrvstate *st, drheap heap, drynode *n, uint32_t t, int depth) {
  for (int32_t i = 0; i < n->nchild; ++i) {
    drynode *c = n->child[i];
    if (c->doc == n->doc || c->doc < t)
      if (c->hd.ops.next(st, heap, c, t, depth + 1) != 0) return 1;
  }
  bool found = false;
  uint32_t best = 0;
  int32_t score = 0;
  for (int32_t i = 0; i < n->nchild;) {
    drynode *c = n->child[i];
    if (c->state == DRY_DONE) {
      if (drycdrop(st, heap, n, c, DRY_DOCS) != 0) return 1;
      continue;
    }
    if (!found || c->doc < best) {
      found = true;
      best = c->doc;
      score = c->score;
    } else if (c->doc == best) {
      if (n->hd.type == DRYT_ACCUM) score = score + c->score > 100 ? 100 : score + c->score;
      else if (n->hd.type == DRYT_OR) score = c->score > score ? c->score : score;
      else return 1;
    }
    ++i;
  }
  if (!found) {
    n->state = DRY_DONE;
    return 0;
  }
  n->doc = best;
  n->score = score;
  return 0;
}

// MINUS and NOT: the first child is the left operand, the others the right
// ones. MINUS lowers the left score by what the right operands score on the
// same document; NOT drops every document a right operand has.
int dryminus(drsrvstate *st, drheap heap, drynode *n, uint32_t t, int depth, bool isnot) {
  drynode *left = n->child[0];
  if (n->doc == 0) {
    for (int32_t i = 1; i < n->nchild; ++i) {
      drynode *r = n->child[i];
      if (r->hd.ops.next(st, heap, r, 0, depth + 1) != 0) return 1;
    }
  }
  int32_t score;
  do {
    if (left->hd.ops.next(st, heap, left, t, depth + 1) != 0) return 1;
    if (left->state == DRY_DONE) {
      n->state = DRY_DONE;
      return 0;
    }
    score = left->score;
    for (int32_t i = 1; i < n->nchild; ++i) {
      drynode *r = n->child[i];
      if (r->state != DRY_DONE && r->doc < left->doc)
        if (r->hd.ops.next(st, heap, r, left->doc, depth + 1) != 0) return 1;
      if (r->state == DRY_DONE || r->doc != left->doc) continue;
      score = isnot ? 0 : score - r->score;
    }
  } while (score <= 0);
  n->doc = left->doc;
  n->score = score;
  return 0;
}

int drysnext(drsrvstate *st, drheap heap, drynode *n, uint32_t t, int depth) {
  return dryminus(st, heap, n, t, depth, false);
}
int drygnext(drsrvstate *st, drheap heap, drynode *n, uint32_t t, int depth) {
  return dryminus(st, heap, n, t, depth, true);
}

const drytmpl kAnd = {
    1, DRYT_AND, nullptr,
    {.next = dryanext, .seek = dryrefuse, .pos = dryrefuse, .occ = drycocc, .free = freeop,
     .dump = dryadump}};
const drytmpl kOr = {
    1, DRYT_OR, nullptr,
    {.next = dryonext, .seek = dryrefuse, .pos = dryrefuse, .occ = drycocc, .free = freeop,
     .dump = dryodump}};
const drytmpl kMinus = {
    1, DRYT_MINUS, nullptr,
    {.next = drysnext, .seek = dryrefuse, .pos = dryrefuse, .occ = drycfirst, .free = freeop,
     .dump = drysdump}};
const drytmpl kNot = {
    1, DRYT_NOT, nullptr,
    {.next = drygnext, .seek = dryrefuse, .pos = dryrefuse, .occ = drycfirst, .free = freeop,
     .dump = drygdump}};

drynode *opnew(drytree *t, const drytmpl *tmpl, int32_t n, drynode **children) {
  drynode *node = drymalc(t, sizeof(drynode), tmpl);
  if (!node) return nullptr;
  node->child = children;
  node->nchild = n;
  return node;
}

}  // namespace

int dryrefuse(drsrvstate *, drheap, drynode *, uint32_t, int) { return 1; }

drynode *dryanew(drytree *t, int32_t n, drynode **children) { return opnew(t, &kAnd, n, children); }

drynode *dryonew(drytree *t, int32_t type, int32_t n, drynode **children) {
  drynode *node = opnew(t, &kOr, n, children);
  if (node) node->hd.type = type;
  return node;
}

drynode *drysnew(drytree *t, int32_t n, drynode **children) {
  drynode *node = opnew(t, &kMinus, n, children);
  if (node) node->w2 = 50;
  return node;
}

drynode *drygnew(drytree *t, int32_t n, drynode **children) {
  drynode *node = opnew(t, &kNot, n, children);
  if (node) node->w2 = 50;
  return node;
}

int drycsetocc(drynode *n, int32_t idx) {
  drynode *c = n->child[idx];
  int64_t w = (idx != 0 || n->firstgone) ? n->w2 : n->w1;
  int64_t product = w * c->occ.score;
  if (static_cast<int32_t>(product) < 0) return 1;
  n->occ = c->occ;
  n->occ.score = static_cast<int32_t>(product) / 100;
  return 0;
}

int drycocc(drsrvstate *st, drheap heap, drynode *n, uint32_t t, int depth) {
  for (int32_t i = 0; i < n->nchild; ++i) {
    drynode *c = n->child[i];
    if (c->occ.off == n->occ.off && c->occ.ext == n->occ.ext)
      if (c->hd.ops.occ(st, heap, c, t, depth + 1) != 0) return 1;
  }
  int32_t win = -1;
  for (int32_t i = 0; i < n->nchild;) {
    drynode *c = n->child[i];
    if (c->state == DRY_DONE) {
      if (drycdrop(st, heap, n, c, DRY_OCCS) != 0) return 1;
      continue;
    }
    if (win < 0) {
      win = i;
    } else {
      const dryocc &w = n->child[win]->occ;
      if (c->occ.off < w.off || (c->occ.off == w.off && c->occ.ext < w.ext)) win = i;
    }
    ++i;
  }
  if (win < 0) {
    n->state = DRY_DONE;
    return 0;
  }
  return drycsetocc(n, win);
}

int drycfirst(drsrvstate *st, drheap heap, drynode *n, uint32_t t, int depth) {
  auto gone = [n] {
    bool leftgone = (n->hd.type == DRYT_MINUS || n->hd.type == DRYT_NOT) && n->firstgone;
    return n->nchild == 0 || leftgone || n->child[0]->state == DRY_DONE;
  };
  if (gone()) {
    n->state = DRY_DONE;
    return 0;
  }
  drynode *c = n->child[0];
  if (c->hd.ops.occ(st, heap, c, t, depth) != 0) return 1;
  if (gone()) {
    n->state = DRY_DONE;
    return 0;
  }
  return drycsetocc(n, 0);
}

int drycdrop(drsrvstate *st, drheap heap, drynode *n, drynode *child, int32_t mode) {
  int32_t idx = child->idx;
  if (drymfreenode(st, heap, mode, child) != 0) return 1;
  if (idx == 0) n->firstgone = 1;
  for (int32_t j = idx + 1; j < n->nchild; ++j) {
    n->child[j - 1] = n->child[j];
    n->child[j - 1]->idx = j - 1;
  }
  if (--n->nchild == 0) {
    void *p = n->child;
    drumfre(st, st->hpmgr, heap, &p);
    n->child = nullptr;
  }
  return 0;
}
