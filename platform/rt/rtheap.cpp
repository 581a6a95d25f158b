// Heap manager of the core runtime: a tree of heaps under one top heap.
// Every block and heap records the source file and line that made it, and
// destroying a heap releases its blocks and child heaps in one go.
#include "platform/rt/rtint.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t kHeapMagic = 0x6b687021;  // live heap
constexpr uint32_t kBlkMagic = 0x6b626c6b;   // live block

// Block header; its alignment keeps the payload aligned for any type.
struct alignas(16) rtblk {
  uint32_t magic;
  int line;
  rtheap *heap;
  rtblk *prev;
  rtblk *next;
  size_t size;
  const char *file;
};

}  // namespace

struct rtheap {
  uint32_t magic;
  int desc;
  rthpmgr *mgr;
  rtheap *parent;
  rtheap *child;  // first child
  rtheap *sprev;  // siblings
  rtheap *snext;
  rtblk *blocks;
  size_t nblocks;
  size_t nbytes;
  const char *file;
  int line;
};

struct rthpmgr {
  rtheap top;
  long failat;  // the n-th allocation from now fails; 0 = never
};

namespace {

// The test seam: counts down and fails the armed allocation once.
bool seam_fails(rthpmgr *mgr) {
  if (mgr->failat <= 0) return false;
  if (--mgr->failat == 0) return true;
  return false;
}

bool heap_ok(const rthpmgr *mgr, const rtheap *h) {
  return mgr && h && h->magic == kHeapMagic && h->mgr == mgr;
}

rtblk *hdr(void *block) { return static_cast<rtblk *>(block) - 1; }
const rtblk *hdr(const void *block) { return static_cast<const rtblk *>(block) - 1; }

void link_block(rtheap *h, rtblk *b) {
  b->prev = nullptr;
  b->next = h->blocks;
  if (h->blocks) h->blocks->prev = b;
  h->blocks = b;
  h->nblocks++;
  h->nbytes += b->size;
}

void unlink_block(rtheap *h, rtblk *b) {
  if (b->prev) b->prev->next = b->next; else h->blocks = b->next;
  if (b->next) b->next->prev = b->prev;
  h->nblocks--;
  h->nbytes -= b->size;
}

void free_blocks(rtheap *h) {
  rtblk *b = h->blocks;
  while (b) {
    rtblk *n = b->next;
    b->magic = 0;
    std::free(b);
    b = n;
  }
  h->blocks = nullptr;
  h->nblocks = 0;
  h->nbytes = 0;
}

// Releases the heap's children and blocks; the heap record itself stays.
void empty_heap(rtheap *h) {
  while (h->child) {
    rtheap *c = h->child;
    h->child = c->snext;
    empty_heap(c);
    c->magic = 0;
    std::free(c);
  }
  free_blocks(h);
}

}  // namespace

rthpmgr *rt_hpmgr_new() {
  auto *mgr = static_cast<rthpmgr *>(std::calloc(1, sizeof(rthpmgr)));
  if (!mgr) return nullptr;
  mgr->top.magic = kHeapMagic;
  mgr->top.desc = RTHP_STD;
  mgr->top.mgr = mgr;
  mgr->top.file = "top";
  return mgr;
}

void rt_hpmgr_free(rthpmgr *mgr) {
  if (!mgr) return;
  empty_heap(&mgr->top);
  mgr->top.magic = 0;
  std::free(mgr);
}

rtheap *rthptop(rthpmgr *mgr) { return mgr ? &mgr->top : nullptr; }

rtheap *rthpnew(rthpmgr *mgr, rtheap *parent, int desc, const char *file, int line) {
  if (!heap_ok(mgr, parent)) return nullptr;
  if (seam_fails(mgr)) return nullptr;
  auto *h = static_cast<rtheap *>(std::calloc(1, sizeof(rtheap)));
  if (!h) return nullptr;
  h->magic = kHeapMagic;
  h->desc = desc;
  h->mgr = mgr;
  h->parent = parent;
  h->file = file ? file : "";
  h->line = line;
  h->snext = parent->child;
  if (parent->child) parent->child->sprev = h;
  parent->child = h;
  return h;
}

int rthpdel(rthpmgr *mgr, rtheap *heap) {
  if (!heap_ok(mgr, heap) || heap == &mgr->top) return -1;
  rtheap *p = heap->parent;
  if (heap->sprev) heap->sprev->snext = heap->snext; else p->child = heap->snext;
  if (heap->snext) heap->snext->sprev = heap->sprev;
  empty_heap(heap);
  heap->magic = 0;
  std::free(heap);
  return 0;
}

void *rthpalloc(rthpmgr *mgr, rtheap *heap, size_t size, unsigned flags, const char *tag, int line) {
  if (!heap_ok(mgr, heap) || size == 0) return nullptr;
  if (size > SIZE_MAX / 2) return nullptr;
  if (seam_fails(mgr)) return nullptr;
  void *raw = (flags & RTHP_ZERO) ? std::calloc(1, sizeof(rtblk) + size) : std::malloc(sizeof(rtblk) + size);
  if (!raw) return nullptr;
  auto *b = static_cast<rtblk *>(raw);
  b->magic = kBlkMagic;
  b->heap = heap;
  b->size = size;
  b->file = tag ? tag : "";
  b->line = line;
  link_block(heap, b);
  return b + 1;
}

void *rthprealloc(rthpmgr *mgr, rtheap *heap, void *block, size_t size, const char *tag, int line) {
  if (!block) return rthpalloc(mgr, heap, size, 0, tag, line);
  if (!heap_ok(mgr, heap) || size == 0 || size > SIZE_MAX / 2) return nullptr;
  rtblk *b = hdr(block);
  if (b->magic != kBlkMagic || b->heap != heap) return nullptr;
  if (seam_fails(mgr)) return nullptr;
  unlink_block(heap, b);
  void *raw = std::realloc(b, sizeof(rtblk) + size);
  if (!raw) {
    link_block(heap, b);
    return nullptr;
  }
  b = static_cast<rtblk *>(raw);
  b->size = size;
  b->file = tag ? tag : "";
  b->line = line;
  link_block(heap, b);
  return b + 1;
}

int rthpfree(rthpmgr *mgr, rtheap *heap, void *block, unsigned flags) {
  (void)flags;
  if (!heap_ok(mgr, heap) || !block) return -1;
  rtblk *b = hdr(block);
  if (b->magic != kBlkMagic || b->heap != heap) return -1;
  unlink_block(heap, b);
  b->magic = 0;
  std::free(b);
  return 0;
}

size_t rthpblocks(const rtheap *heap) { return heap ? heap->nblocks : 0; }
size_t rthpbytes(const rtheap *heap) { return heap ? heap->nbytes : 0; }
const char *rthpfile(const rtheap *heap) { return heap ? heap->file : ""; }
int rthpline(const rtheap *heap) { return heap ? heap->line : 0; }
const char *rthpblkfile(const void *block) { return block ? hdr(block)->file : ""; }
int rthpblkline(const void *block) { return block ? hdr(block)->line : 0; }

void rthpfailat(rthpmgr *mgr, long n) {
  if (mgr) mgr->failat = n < 0 ? 0 : n;
}
