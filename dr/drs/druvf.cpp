// The document buffer: a chain of equal blocks that grows at its end and is
// never moved, or a read-only view of a data store through its read, seek
// and tell slots. One thread; nothing is locked.
#include "dr/drs/druvf.h"

#include <algorithm>
#include <cstring>

namespace {

// Refuses a call: an internal error of severity 0, as the buffer's callers
// expect for misuse.
void refuse(druvfd *vf, int num, int line) {
  dracnierr(vf->st, DRFAC_DRG, num, 0, DRA_STR, __FILE__, DRA_INT, line, 0);
  druetrc();
}

int freeblk(druvfd *vf, druvfblk *b) {
  void *data = b->data;
  void *hdr = b;
  if (drumfre(vf->st, vf->st->hpmgr, vf->heap, &data) != 0) return 1;
  return drumfre(vf->st, vf->st->hpmgr, vf->heap, &hdr);
}

const drdsops *srcops(const druvfd *vf) { return drops<drdsops>(vf->src); }

// Reads up to n bytes through the source; the count, or -1.
int32_t srcread(druvfd *vf, char *dst, int32_t n) {
  int32_t total = 0;
  while (total < n) {
    int32_t got = 0;
    int rc = srcops(vf)->read(vf->src, dst + total, n - total, &got);
    if (rc == 2) break;
    if (rc != 0) {
      druetrc();
      return -1;
    }
    // A source that hands out nothing without saying so is at its end:
    // asking again would never finish.
    if (got <= 0) break;
    total += std::min(got, n - total);
  }
  return total;
}

int32_t srcseek(druvfd *vf, int32_t off, int16_t whence) {
  drobj *s = vf->src;
  const drdsops *ops = srcops(vf);
  int32_t pos = 0;
  switch (whence) {
    case 0:
      if (ops->seek(s, off, 0) != 0) break;
      return off;
    case 1:
      if (ops->seek(s, off, 1) != 0 || ops->tell(s, &pos) != 0) break;
      return pos;
    case 2: {
      // The size is known only once the document has been read to its end;
      // the position is then the size plus the offset, as for a chain.
      static char scratch[32767];
      int32_t got;
      while ((got = srcread(vf, scratch, sizeof scratch)) > 0) {
      }
      if (got < 0 || ops->tell(s, &pos) != 0) break;
      int64_t target = std::max<int64_t>(0, static_cast<int64_t>(pos) + off);
      if (target > INT32_MAX) break;
      if (ops->seek(s, static_cast<int32_t>(target), 0) != 0) break;
      return static_cast<int32_t>(target);
    }
    default:
      break;
  }
  druetrc();
  return -1;
}

// Zero-fills the document bytes from..to-1 of the chain, so that a seek past
// the end of a rewritten document does not bring back an older one's bytes.
void zerogap(druvfd *vf, int32_t from, int32_t to) {
  for (druvfblk *b = vf->first; b && from < to; b = b->next) {
    int64_t end = static_cast<int64_t>(b->start) + b->size;
    if (end <= from) continue;
    int32_t lo = from - b->start;
    int32_t hi = static_cast<int32_t>(std::min<int64_t>(end, to)) - b->start;
    std::memset(static_cast<char *>(b->data) + lo, 0, static_cast<size_t>(hi - lo));
    from = b->start + hi;
  }
}

int32_t chainseek(druvfd *vf, int32_t off, int16_t whence) {
  if (whence < 0 || whence > 2) {
    druetrc();
    return -1;
  }
  // Without a current block the position is the end of the data.
  if (!vf->cur) whence = vf->first && whence != 0 ? 2 : 0;
  int64_t target = off;
  if (whence == 1) target += static_cast<int64_t>(vf->cur->start) + vf->off;
  if (whence == 2) target += vf->len;
  if (target < 0) target = 0;
  if (target > INT32_MAX) {
    druetrc();
    return -1;
  }
  if (target == 0) {
    vf->cur = vf->first;
    vf->off = 0;
    return 0;
  }
  // Only a buffer open for writing grows: a reader that seeks past the end
  // finds the end there, not a longer document.
  bool grow = vf->open && vf->mode != DRUVF_READ;
  if (!vf->first && druvfblock(vf) != 0) return -1;
  druvfblk *b = vf->cur && vf->cur->start <= target ? vf->cur : vf->first;
  while (static_cast<int64_t>(b->start) + b->size < target) {
    if (!b->next) {
      if (!grow) break;
      vf->cur = b;
      if (druvfblock(vf) != 0) return -1;
    }
    b = b->next;
  }
  vf->cur = b;
  vf->off = static_cast<int32_t>(target - b->start);
  if (grow && target > vf->len) {
    zerogap(vf, vf->len, static_cast<int32_t>(target));
    vf->len = static_cast<int32_t>(target);
  }
  return static_cast<int32_t>(target);
}

}  // namespace

int druvfinit(druvfd *vf, drsrvstate *st, drheap heap, drobj *src) {
  vf->st = st;
  vf->heap = heap;
  vf->open = 0;
  vf->mode = DRUVF_READ;
  vf->src = src;
  vf->len = 0;
  vf->bsize = DRUVF_BLOCK;
  vf->first = nullptr;
  vf->cur = nullptr;
  vf->off = 0;
  return 0;
}

druvfd *druvfopen(druvfd *vf, int16_t mode) {
  if (mode != DRUVF_READ && mode != DRUVF_WRITE && mode != DRUVF_REWRITE) {
    refuse(vf, 51503, __LINE__);
    return nullptr;
  }
  if (vf->open) {
    refuse(vf, 51504, __LINE__);
    return nullptr;
  }
  if (vf->src && mode != DRUVF_READ) {
    refuse(vf, 51505, __LINE__);
    return nullptr;
  }
  vf->mode = mode;
  vf->open = 1;
  if (druvfseek(vf, 0, 0) < 0) {
    vf->open = 0;
    druetrc();
    return nullptr;
  }
  if (mode == DRUVF_REWRITE) vf->len = 0;
  return vf;
}

int16_t druvfread(druvfd *vf, void *dst, int16_t n) {
  if (!vf->open || vf->mode != DRUVF_READ) {
    refuse(vf, 51506, __LINE__);
    return -1;
  }
  if (n < 0) {
    refuse(vf, 50600, __LINE__);
    return -1;
  }
  char *d = static_cast<char *>(dst);
  if (vf->src) return static_cast<int16_t>(srcread(vf, d, n));
  int32_t total = 0;
  while (vf->cur && total < n) {
    druvfblk *b = vf->cur;
    int64_t avail = std::min<int64_t>(b->size, static_cast<int64_t>(vf->len) - b->start) - vf->off;
    if (avail <= 0) break;  // at or past the end of the document
    int32_t want = n - total;
    if (want < avail) {
      std::memcpy(d + total, static_cast<char *>(b->data) + vf->off, static_cast<size_t>(want));
      vf->off += want;
      total += want;
      break;
    }
    std::memcpy(d + total, static_cast<char *>(b->data) + vf->off, static_cast<size_t>(avail));
    total += static_cast<int32_t>(avail);
    vf->cur = b->next;
    vf->off = 0;
  }
  return static_cast<int16_t>(total);
}

int16_t druvfwrite(druvfd *vf, const void *src, int16_t n) {
  if (!vf->open || vf->mode == DRUVF_READ || vf->src) {
    refuse(vf, 51506, __LINE__);
    return -1;
  }
  if (n < 0) {
    refuse(vf, 50600, __LINE__);
    return -1;
  }
  if (n == 0) return 0;
  if (!vf->cur && vf->first && chainseek(vf, 0, 2) < 0) return -1;
  int64_t pos = vf->cur ? static_cast<int64_t>(vf->cur->start) + vf->off : 0;
  if (pos + n > INT32_MAX) {
    refuse(vf, 50600, __LINE__);
    return -1;
  }
  int32_t growth = static_cast<int32_t>(std::max<int64_t>(0, pos + n - vf->len));
  const char *s = static_cast<const char *>(src);
  int32_t rem = n;
  while (rem > 0) {
    int64_t room = vf->cur ? static_cast<int64_t>(vf->cur->size) - vf->off : 0;
    if (room <= 0) {
      if (vf->cur && vf->cur->next) {
        vf->cur = vf->cur->next;
        vf->off = 0;
      } else if (druvfblock(vf) != 0) {
        return -1;
      }
      room = vf->cur->size;
    }
    int32_t c = static_cast<int32_t>(std::min<int64_t>(room, rem));
    std::memcpy(static_cast<char *>(vf->cur->data) + vf->off, s, static_cast<size_t>(c));
    vf->off += c;
    s += c;
    rem -= c;
  }
  vf->len += growth;
  return n;
}

int32_t druvfseek(druvfd *vf, int32_t off, int16_t whence) {
  return vf->src ? srcseek(vf, off, whence) : chainseek(vf, off, whence);
}

int16_t druvfclose(druvfd *vf) {
  vf->open = 0;
  if (vf->src) return 0;
  vf->cur = nullptr;
  vf->off = 0;
  if (druvftrim(vf, 1) != 0) {
    druetrc();
    return -1;
  }
  return 0;
}

int druvftrim(druvfd *vf, int kind) {
  if (kind != 1 || !vf->first) return 0;
  druvfblk *keep = vf->first;
  while (keep->next && static_cast<int64_t>(keep->start) + keep->size < vf->len) keep = keep->next;
  while (druvfblk *b = keep->next) {
    keep->next = b->next;
    if (vf->cur == b) vf->cur = nullptr;
    if (freeblk(vf, b) != 0) {
      druetrc();
      return 1;
    }
  }
  return 0;
}

int druvfdestroy(druvfd *vf) {
  if (!vf) return 0;
  if (druvfclose(vf) < 0) {
    druetrc();
    return 1;
  }
  while (druvfblk *b = vf->first) {
    vf->first = b->next;
    if (freeblk(vf, b) != 0) {
      druetrc();
      return 1;
    }
  }
  vf->cur = nullptr;
  return 0;
}

int druvfblock(druvfd *vf) {
  drsrvstate *st = vf->st;
  auto *b = static_cast<druvfblk *>(
      drumalc(st, st->hpmgr, vf->heap, 1, sizeof(druvfblk), __FILE__, __LINE__));
  if (!b) {
    druetrc();
    return 1;
  }
  b->next = nullptr;
  b->size = vf->bsize;
  b->data = drumalc(st, st->hpmgr, vf->heap, 1, vf->bsize, __FILE__, __LINE__);
  if (!b->data) {
    void *hdr = b;
    drumfre(st, st->hpmgr, vf->heap, &hdr);
    druetrc();
    return 1;
  }
  druvfblk *last = vf->cur ? vf->cur : vf->first;
  while (last && last->next) last = last->next;
  if (last) {
    b->start = last->start + static_cast<int32_t>(last->size);
    last->next = b;
  } else {
    b->start = 0;
    vf->first = b;
  }
  vf->cur = b;
  vf->off = 0;
  return 0;
}
