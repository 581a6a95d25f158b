// NEAR: documents where every child occurs, scored by how close the closest
// cluster of their positions lies, found in one sweep over the positions.
#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dry/dry.h"

namespace {

int freeop(drsrvstate *st, drheap heap, drynode *n, int32_t) { return drymrel(st, heap, n); }

int dryndump(void *, drynode *n, int depth) {
  drymline(n, depth, "\n%.*s%s NEAR  docid=%d", "dryndump", nullptr);
  return 0;
}

// A phrase child spans as many positions as it has words.
uint32_t lengthof(const drynode *c) {
  return c->hd.type == DRYT_PHRASE ? static_cast<uint32_t>(c->nchild) : 1u;
}

// The smallest end (its child and length) and the largest position seen
// over the children, visited from the last to the first so that a later
// child wins a tie.
struct Span {
  uint32_t minend = 0, minlen = 0;
  drynode *lag = nullptr;
  uint32_t maxpos = 0, maxlen = 0;
  bool anymax = false;
};

void spanof(drynode *n, Span &s) {
  s.lag = nullptr;
  for (int32_t i = n->nchild - 1; i >= 0; --i) {
    drynode *c = n->child[i];
    uint32_t len = lengthof(c);
    uint32_t end = c->pos + len;
    if (!s.lag || end < s.minend) {
      s.minend = end;
      s.minlen = len;
      s.lag = c;
    }
    if (!s.anymax || c->pos > s.maxpos) {
      s.anymax = true;
      s.maxpos = c->pos;
      s.maxlen = len;
    }
  }
}

int drynnext(drsrvstate *st, drheap heap, drynode *n, uint32_t t, int depth) {
  n->doc = 0;
  int32_t cur = 0;
  uint32_t target = t;
  for (;;) {
    // Document agreement: every child on the same document.
    for (int32_t remaining = n->nchild; remaining != 0;) {
      drynode *c = n->child[cur];
      if (c->hd.ops.seek(st, heap, c, target, depth + 1) != 0) return 1;
      if (c->state == DRY_DONE) {
        n->state = DRY_DONE;
        n->score = 0;
        return 0;
      }
      if (c->doc > target) {
        target = c->doc;
        remaining = n->nchild;
      }
      --remaining;
      cur = (cur + 1) % n->nchild;
    }
    // First window; a child without a position here sends every child on.
    Span s;
    uint32_t sum = 0;
    bool moved = false;
    for (int32_t i = n->nchild - 1; i >= 0 && !moved; --i) {
      drynode *c = n->child[i];
      int rc = c->hd.ops.pos(st, heap, c, 0, depth + 1);
      if (rc == 1) return 1;
      if (rc == 2) moved = true;
      sum += lengthof(c);
    }
    if (moved) continue;
    spanof(n, s);
    uint32_t window = s.maxpos - s.minend;
    uint32_t lmin = s.minlen, lmax = s.maxlen;
    // Sweep: move the lagging child until it has no further position.
    for (;;) {
      int rc = s.lag->hd.ops.pos(st, heap, s.lag, 0, depth + 1);
      if (rc == 1) return 1;
      if (rc == 2) break;
      spanof(n, s);
      uint32_t w = s.maxpos - s.minend;
      if (w < window) {
        window = w;
        lmin = s.minlen;
        lmax = s.maxlen;
      }
    }
    int32_t score;
    if (static_cast<int32_t>(window) > 100) {
      score = 1;
    } else {
      score = static_cast<int32_t>(sum) + 100 - static_cast<int32_t>(lmin) -
              static_cast<int32_t>(lmax) - static_cast<int32_t>(window);
      if (score > 100) score = 100;
    }
    // A matching document always scores at least 1: a 0 would drop it from
    // score-ordered results while a farther match stays.
    if (score < 1) score = 1;
    n->doc = target;
    n->score = score;
    return 0;
  }
}

const drytmpl kNear = {
    1, DRYT_NEAR, nullptr,
    {.next = drynnext, .seek = dryrefuse, .pos = dryrefuse, .occ = drycocc, .free = freeop,
     .dump = dryndump}};

}  // namespace

drynode *drynnew(drytree *t, int32_t n, drynode **children) {
  drynode *node = drymalc(t, sizeof(drynode), &kNear);
  if (!node) return nullptr;
  node->child = children;
  node->nchild = n;
  return node;
}
