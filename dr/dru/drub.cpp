/* String arena: items go one after the other into the current block; a
 * block is left for the next one as soon as it cannot take the largest
 * item, so a string always lands whole in one block. */
#include "dr/dru/drub.h"

#include <cstring>

#include "dr/dru/drue.h"
#include "platform/nls/nls.h"

namespace {

/* Every block starts with its link word; items follow it. */
constexpr size_t kLink = sizeof(void *);
/* Raw items hold pointers and 32-bit fields: align them for a pointer. */
constexpr uintptr_t kAlign = alignof(void *);

uintptr_t addr(const char *p) { return reinterpret_cast<uintptr_t>(p); }

/* The rewound state: no current block, so the next item asks for one. The
 * position 1 and end 0 make "end below position + item" true at once. */
void rewind(drubbuf *b) {
  b->end = nullptr;
  b->pos = reinterpret_cast<char *>(uintptr_t{1});
  b->curlink = &b->first;
}

bool roomfor(const drubbuf *b, uintptr_t at, uint32_t n) { return addr(b->end) >= at + n; }

}  // namespace

drubbuf *drubnew(drsrvstate *st, drheap heap, uint32_t maxitem, void *user, uint32_t blksize) {
  auto *b = static_cast<drubbuf *>(drumalc(st, st->hpmgr, heap, 1, sizeof(drubbuf), __FILE__,
                                           __LINE__));
  if (!b) {
    druetrc();
    return nullptr;
  }
  b->blksize = blksize ? blksize : uint32_t{DRUB_DEFBLOCK};
  b->nblocks = 0;
  /* The check takes the largest item in force, the default included: a block
   * smaller than it could never take a string the arena promises room for. */
  uint32_t item = maxitem ? maxitem : uint32_t{DRUB_DEFITEM};
  if (b->blksize < item) {
    int32_t mi = static_cast<int32_t>(item), bs = static_cast<int32_t>(b->blksize);
    dracnierr(st, DRFAC_DRG, DRUB_EBLOCK, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_SB4, &mi,
              DRA_SB4, &bs, DRA_END);
    void *rec = b;
    drumfre(st, st->hpmgr, heap, &rec);
    druetrc();
    return nullptr;
  }
  b->maxitem = item;
  b->user = user;
  b->heap = heap;
  b->st = st;
  b->first = nullptr;
  rewind(b);
  return b;
}

int drubblk(drubbuf *b) {
  void *next = *b->curlink;
  if (!next) {
    next = drumalc(b->st, b->st->hpmgr, b->heap, 1, size_t{b->blksize} + kLink, __FILE__,
                   __LINE__);
    if (!next) {
      druetrc();
      return 1;
    }
    ++b->nblocks;
    *b->curlink = next;  // the end of the chain
  }
  char *blk = static_cast<char *>(next);
  b->curlink = static_cast<void **>(next);
  b->pos = blk + kLink;
  b->end = blk + kLink + b->blksize;
  return 0;
}

char *drubadd(drubbuf *b, const char *s) {
  size_t len = std::strlen(s) + 1;
  if (len > b->maxitem) {
    /* The arena guarantees room for the largest item only: a longer string
     * would run past the end of its block. */
    int32_t n = len > INT32_MAX ? INT32_MAX : static_cast<int32_t>(len);
    int32_t mi = static_cast<int32_t>(b->maxitem);
    dracnierr(b->st, DRFAC_DRG, DRUB_EITEM, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_SB4, &n,
              DRA_SB4, &mi, DRA_END);
    druetrc();
    return nullptr;
  }
  if (!roomfor(b, addr(b->pos), b->maxitem) && drubblk(b) != 0) {
    druetrc();
    return nullptr;
  }
  char *at = b->pos;
  size_t n = nlscpy(dracncs(b->st), at, static_cast<size_t>(b->end - at), s);
  b->pos = at + n + 1;
  return at;
}

void *drubrsv(drubbuf *b, uint32_t n) { return drubrsva(b, n, kAlign); }

void *drubrsva(drubbuf *b, uint32_t n, uint32_t align) {
  if (n > b->blksize) return nullptr;
  uintptr_t start = (addr(b->pos) + align - 1) & ~uintptr_t{align - 1};
  if (!roomfor(b, start, n)) {
    if (drubblk(b) != 0) {
      druetrc();
      return nullptr;
    }
    start = addr(b->pos);
  }
  /* Back to a pointer into the block, now that start is known to lie in it. */
  char *at = b->pos + (start - addr(b->pos));
  b->last = at;
  b->pos = at + n;
  return at;
}

void drubrst(drubbuf *b, uint8_t release) {
  rewind(b);
  if (release == 1) drubfra(b);
}

void drubfra(drubbuf *b) {
  void *blk = b->first;
  while (blk) {
    void *next = *static_cast<void **>(blk);
    drumfre(b->st, b->st->hpmgr, b->heap, &blk);
    blk = next;
  }
  b->first = nullptr;
  b->nblocks = 0;
  rewind(b);  // nothing may point into the freed blocks
}

int drubfre(drubbuf *b) {
  if (!b) return 0;
  drsrvstate *st = b->st;
  drheap heap = b->heap;
  drubfra(b);
  void *rec = b;
  return drumfre(st, st->hpmgr, heap, &rec);
}
