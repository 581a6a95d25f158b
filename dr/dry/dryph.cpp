// PHRASE: children standing at consecutive word positions. Children are
// aligned by the position each is expected at, never by collecting their
// positions; stop words, which the index records only in the arrays beside
// each stored word, are matched through those arrays.
#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dry/dry.h"

namespace {

// A phrase keeps, per child, the stop-word arrays its child fills and
// whether the child's last position request found nothing.
struct dryphnode : drynode {
  drystoparr *arrays;  // two per child: before, after
  uint8_t *ended;      // per child: the last position request answered 2
};

bool isstop(const drynode *c) { return c->hd.type == DRYT_STOP; }
bool optional(const drynode *c) { return c->stopalt != nullptr; }

// A word position for a child's target; a phrase cannot start before the
// first word, so an expected position below 0 asks for the first one.
uint32_t clamp(int64_t p) { return p < 0 ? 0u : p > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(p); }

bool alt(const drynode *c, uint16_t num) {
  if (!c->stopalt) return false;
  for (const int32_t *p = c->stopalt; *p != -1; ++p)
    if (*p == num) return true;
  return false;
}

int dryphfree(drsrvstate *st, drheap heap, drynode *n, int32_t) {
  auto *p = static_cast<dryphnode *>(n);
  void *a = p->arrays;
  if (a) drumfre(st, st->hpmgr, heap, &a);
  return drymrel(st, heap, n);
}

int dryphdump(void *, drynode *n, int depth) {
  drymline(n, depth, "\n%.*s%s PHRASE  docid=%d", "dryphdump", nullptr);
  return 0;
}

// Slot 1: the next document at or after t where every required child is,
// optional children following when they lag behind.
int dryphseek(drsrvstate *st, drheap heap, drynode *n, uint32_t t, int depth) {
  if (n->state == DRY_DONE) return 0;
  auto *ph = static_cast<dryphnode *>(n);
  n->doc = 0;
  bool any = false;
  uint32_t m = 0;
  for (int32_t i = 0; i < n->nchild; ++i) {
    drynode *c = n->child[i];
    if (isstop(c) || c->state == DRY_DONE) continue;
    if (!any || c->doc < m) m = c->doc;
    any = true;
  }
  if (!any) {
    n->state = DRY_DONE;
    return 0;
  }
  for (int32_t i = 0; i < n->nchild; ++i) ph->ended[i] = 0;
  uint32_t g = t > m + 1 ? t : m + 1;
  bool fset = false;
  uint32_t f = 0;
  int32_t cur = 0;
  for (int32_t remaining = n->nchild;;) {
    drynode *c = n->child[cur];
    if (!isstop(c)) {
      bool req = !optional(c);
      if (req || (c->state != DRY_DONE && c->doc < g))
        if (c->hd.ops.seek(st, heap, c, g, depth + 1) != 0) return 1;
      if (req && c->state == DRY_DONE) {
        n->state = DRY_DONE;
        return 0;
      }
      if (req && c->doc > g) {
        g = c->doc;
        f = c->doc;
        fset = true;
        remaining = n->nchild;
      }
      if (c->state != DRY_DONE && (!fset || c->doc < f)) {
        f = c->doc;
        fset = true;
      }
    }
    --remaining;
    cur = (cur + 1) % n->nchild;
    if (remaining == 0) {
      if (!fset) n->state = DRY_DONE;
      else n->doc = f;
      return 0;
    }
  }
}

// Slot 2: the next start position of the phrase in the current document at
// or after t; 2 when there is none.
int dryphpos(drsrvstate *st, drheap heap, drynode *n, uint32_t t, int depth) {
  auto *ph = static_cast<dryphnode *>(n);
  const uint32_t d = n->doc;
  const int32_t nc = n->nchild;
  auto on = [d](const drynode *c) { return !isstop(c) && c->state != DRY_DONE && c->doc == d; };
  n->pos = 0;
  bool live = false, unread = false;
  int64_t s = 0;
  for (int32_t i = 0; i < nc; ++i) {
    drynode *c = n->child[i];
    if (!on(c)) continue;
    int64_t v = static_cast<int64_t>(c->pos) - i;
    if (!live || v < s) s = v;
    live = true;
    unread = unread || c->pos == 0;
  }
  if (!live) return 2;
  // A child that has read nothing on this document yet starts the search
  // from the document's beginning.
  if (unread) s = 0;
  // g is the position expected of the first child; child i is expected at
  // g + i.
  int64_t g = s + 1 > t ? s + 1 : t;
  bool sset = false;
  s = 0;
  int32_t i = 0;
  for (int32_t remaining = nc;;) {
    drynode *c = n->child[i];
    if (!isstop(c)) {
      int64_t expect = g + i;
      bool req = !optional(c);
      if (req || (on(c) && c->pos < expect)) {
        int rc = c->hd.ops.pos(st, heap, c, clamp(expect), depth + 1);
        if (rc == 1) return 1;
        ph->ended[i] = rc == 2;
        if (req && rc == 2) return 2;
        if (req && c->pos > expect) {
          g = static_cast<int64_t>(c->pos) - i;
          s = g;
          sset = true;
          remaining = nc;
        }
      }
      if (on(c) && !ph->ended[i] && (!sset || static_cast<int64_t>(c->pos) - i < s)) {
        s = static_cast<int64_t>(c->pos) - i;
        sset = true;
      }
    }
    if (--remaining == 0) {
      if (!sset) return 2;
      if (dryphcheck(n->child, nc, d, s, 1) == 0) {
        n->pos = clamp(s);
        return 0;
      }
      // Not a phrase here: try the next start.
      remaining = nc;
      g = s + 1;
      sset = false;
    }
    i = (i + 1) % nc;
  }
}

// Slot 0: the next document holding the phrase, scored by how often it does.
int dryphnext(drsrvstate *st, drheap heap, drynode *n, uint32_t t, int depth) {
  n->doc = 0;
  for (;;) {
    if (dryphseek(st, heap, n, t, depth) != 0) return 1;
    if (n->state == DRY_DONE) return 0;
    int32_t calls = 0;
    int rc;
    do {
      rc = dryphpos(st, heap, n, 0, depth);
      if (rc == 1) return 1;
      ++calls;
    } while (rc != 2);
    if (calls > 1) {
      int32_t score = 10 * (calls - 1);
      n->score = score > 100 ? 100 : score;
      return 0;
    }
  }
}

// Slot 3: one occurrence spanning the phrase, from its first word's start to
// its last word's end.
int dryphocc(drsrvstate *st, drheap heap, drynode *n, uint32_t, int depth) {
  const int32_t nc = n->nchild;
  int64_t w = 0;
  int32_t i = 0;
  for (int32_t remaining = nc;;) {
    drynode *c = n->child[i];
    if (c->hd.ops.occ(st, heap, c, clamp(w), depth + 1) != 0) return 1;
    if (c->state == DRY_DONE) {
      n->state = DRY_DONE;
      return 0;
    }
    int64_t e = c->occ.wpos;
    if (e > w) remaining = nc;
    if (--remaining == 0) break;
    w = (e > w ? e : w) + 1;
    if (++i == nc) {
      i = 0;
      w -= nc;
    }
  }
  if (drycsetocc(n, nc - 1) != 0) return 1;
  uint32_t off = n->occ.off;
  uint32_t ext = n->occ.ext;
  if (drycsetocc(n, 0) != 0) return 1;
  n->occ.ext = static_cast<uint16_t>(ext + off - n->occ.off);
  return 0;
}

const drytmpl kPhrase = {
    1, DRYT_PHRASE, nullptr,
    {.next = dryphnext, .seek = dryphseek, .pos = dryphpos, .occ = dryphocc, .free = dryphfree,
     .dump = dryphdump}};

}  // namespace

int dryphcheck(drynode **ch, int32_t n, uint32_t d, int64_t s, int bypos) {
  auto at = [&](int32_t i) {
    const drynode *c = ch[i];
    if (isstop(c) || c->state == DRY_DONE || c->doc != d) return false;
    int64_t p = bypos ? c->pos : c->occ.wpos;
    return p == s + i;
  };
  int32_t anchor = 0;
  while (anchor < n && !at(anchor)) ++anchor;
  if (anchor == n) return 1;
  if (anchor > 0) {
    // The children before the anchor are stop words recorded before it.
    const drystoparr *b = ch[anchor]->before;
    if (!b || b->count < static_cast<uint32_t>(anchor)) return 1;
    for (int32_t k = 1; k <= anchor; ++k)
      if (!alt(ch[anchor - k], b->val[b->count - k])) return 1;
  }
  for (int32_t i = anchor; i < n;) {
    // ch[i] stands at its place; the stop words after it hold the next places.
    const drystoparr *a = ch[i]->after;
    ++i;
    for (uint32_t j = 0; a && j < a->count && i < n; ++j, ++i)
      if (at(i) || !alt(ch[i], a->val[j])) return 1;
    if (i < n && !at(i)) return 1;
  }
  return 0;
}

drynode *dryphnew(drytree *t, int32_t n, drynode **children) {
  for (int32_t i = 0; i < n; ++i)
    if (!children[i]) return nullptr;
  drsrvstate *st = t->srv;
  auto *node = static_cast<dryphnode *>(drymalc(t, sizeof(dryphnode), &kPhrase));
  if (!node) return nullptr;
  // One block: the arrays of every child, then the per-child flags.
  size_t bytes = sizeof(drystoparr) * 2 * static_cast<size_t>(n) + static_cast<size_t>(n);
  void *block = drumalc(st, st->hpmgr, t->heap, 1, bytes ? bytes : 1, __FILE__, __LINE__);
  if (!block) {
    drymrel(st, t->heap, node);
    return nullptr;
  }
  node->arrays = static_cast<drystoparr *>(block);
  node->ended = reinterpret_cast<uint8_t *>(node->arrays + 2 * n);
  for (int32_t i = 0; i < n; ++i) {
    if (isstop(children[i])) continue;
    children[i]->before = &node->arrays[2 * i];
    children[i]->after = &node->arrays[2 * i + 1];
  }
  node->child = children;
  node->nchild = n;
  return node;
}
