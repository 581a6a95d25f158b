// THRESHOLD and WEIGHT, which filter and scale one child's scores, and the
// STOPWORD node, which stands for a stop word inside a phrase and never
// yields anything itself.
#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dry/dry.h"

namespace {

// THRESHOLD and WEIGHT keep their parameter after the common part.
struct drytnode : drynode {
  int32_t value;  // threshold, or weight x 1000
};

int freeop(drsrvstate *st, drheap heap, drynode *n, int32_t) { return drymrel(st, heap, n); }

int drytdump(void *, drynode *n, int depth) {
  drymline(n, depth, "\n%.*s%s THRESHOLD   docid=%d", "drytdump", nullptr);
  return 0;
}
int drywdump(void *, drynode *n, int depth) {
  drymline(n, depth, "\n%.*s%s WEIGHT   docid=%d", "drywdump", nullptr);
  return 0;
}
int dryswdump(void *, drynode *n, int depth) {
  drymline(n, depth, "\n%.*s%s STOPWORD  docid=%d", "dryswdump", nullptr);
  return 0;
}

// Passes only documents whose score is above the threshold; an equal score
// does not pass.
int drytnext(drsrvstate *st, drheap heap, drynode *n, uint32_t t, int depth) {
  drynode *c = n->child[0];
  int32_t limit = static_cast<drytnode *>(n)->value;
  do {
    if (c->hd.ops.next(st, heap, c, t, depth + 1) != 0) return 1;
    if (c->state == DRY_DONE) {
      n->state = DRY_DONE;
      return 0;
    }
  } while (c->score <= limit);
  n->doc = c->doc;
  n->score = c->score;
  return 0;
}

// Scales the child's score by the weight; a weighted document still
// matches, so the score stays between 1 and 100.
int drywnext(drsrvstate *st, drheap heap, drynode *n, uint32_t t, int depth) {
  drynode *c = n->child[0];
  if (c->hd.ops.next(st, heap, c, t, depth + 1) != 0) return 1;
  if (c->state == DRY_DONE) {
    n->state = DRY_DONE;
    return 0;
  }
  int32_t s = static_cast<int32_t>(static_cast<int64_t>(static_cast<drytnode *>(n)->value) * c->score / 1000);
  n->doc = c->doc;
  n->score = s > 100 ? 100 : s <= 0 ? 1 : s;
  return 0;
}

int dryswfree(drsrvstate *st, drheap heap, drynode *n, int32_t) {
  if (n->stopalt) {
    void *p = n->stopalt;
    drumfre(st, st->hpmgr, heap, &p);
  }
  return drymrel(st, heap, n);
}

const drytmpl kThresh = {
    1, DRYT_THRESH, nullptr,
    {.next = drytnext, .seek = dryrefuse, .pos = dryrefuse, .occ = drycfirst, .free = freeop,
     .dump = drytdump}};
const drytmpl kWeight = {
    1, DRYT_WEIGHT, nullptr,
    {.next = drywnext, .seek = dryrefuse, .pos = dryrefuse, .occ = drycfirst, .free = freeop,
     .dump = drywdump}};
const drytmpl kStop = {
    1, DRYT_STOP, nullptr,
    {.next = dryrefuse, .seek = dryrefuse, .pos = dryrefuse, .occ = dryrefuse, .free = dryswfree,
     .dump = dryswdump}};

drynode *valnew(drytree *t, const drytmpl *tmpl, int32_t value, int32_t n, drynode **children) {
  auto *node = static_cast<drytnode *>(drymalc(t, sizeof(drytnode), tmpl));
  if (!node) return nullptr;
  node->value = value;
  node->child = children;
  node->nchild = n;
  return node;
}

}  // namespace

drynode *drytnew(drytree *t, int32_t threshold, int32_t n, drynode **children) {
  return valnew(t, &kThresh, threshold, n, children);
}

drynode *drywnew(drytree *t, int32_t weight, int32_t n, drynode **children) {
  return valnew(t, &kWeight, weight, n, children);
}

drynode *dryswnew(drytree *t, int32_t num) {
  drynode *node = drymalc(t, sizeof(drynode), &kStop);
  if (!node || num == -1) return node;
  drsrvstate *st = t->srv;
  auto *alt = static_cast<int32_t *>(drumalc(st, st->hpmgr, t->heap, 2, sizeof(int32_t), __FILE__, __LINE__));
  if (!alt) {
    drymrel(st, t->heap, node);
    return nullptr;
  }
  alt[0] = num;
  alt[1] = -1;
  node->stopalt = alt;
  return node;
}
