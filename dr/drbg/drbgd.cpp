// The directory reader: one folder's regular files, in the order the system
// lists them. Paths are joined with "/" and sized to the system's limit, so
// a name is never cut into the name of another file (which done would then
// delete).
#include "dr/drbg/drbg.h"

#include <sys/stat.h>

#include <cstddef>
#include <cstring>

#include "dr/drd/drd.h"
#include "dr/drg/sdrgb.h"

namespace {

drbgdstate *rdrof(drobj *o) { return reinterpret_cast<drbgdstate *>(o); }

// Binds the reader to its source once and reads the folder (attribute 1).
int drbgdbnd(drobj *o, int32_t polid, int32_t prefid) {
  drbgdstate *r = rdrof(o);
  if (r->polid != -1) return r->polid == polid ? 0 : 1;
  r->polid = polid;
  r->prefid = prefid;
  drdplist *l = nullptr;
  if (drdpopn(r->st, prefid, &l) != 0) {
    druetrc();
    return 1;
  }
  int rc = 0;
  drdmattr *a = nullptr;
  while (rc == 0 && drdpnxt(l, &a) == 0) {
    if (a->ordinal != 1) {
      dracnierr(r->st, DRFAC_DRG, 100, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT,
                static_cast<int>(a->ordinal), 0);
      rc = 1;
      break;
    }
    const char *v = a->datatype == 1 && a->value.str ? a->value.str : "";
    size_t n = std::strlen(v);
    if (n >= sizeof r->dir) {
      dracnerr(r->st, DRFAC_DRG, 51805, 2, DRA_STR, v, 0);
      rc = 1;
      break;
    }
    std::memcpy(r->dir, v, n + 1);
  }
  drdpcls(l);
  if (rc != 0) druetrc();
  return rc;
}

// Frees the listing entries after the first, which is the caller's.
void freelist(drbgdstate *r, sdrgent *first) {
  sdrgent *e = first->next;
  while (e) {
    sdrgent *n = e->next;
    void *b = e;
    drumfre(r->st, r->st->hpmgr, r->heap, &b);
    e = n;
  }
  first->next = nullptr;
}

// Builds the file chain from the listing: regular files get an entry,
// folders are passed over, anything else is named with a warning and
// passed over. 0, or 1 after 10900.
int drbgdlist(drbgdstate *r, sdrgent *first, drbgdfile **out) {
  drbgdfile *head = nullptr, *last = nullptr;
  for (sdrgent *e = first; e; e = e->next) {
    if (!e->path[0]) continue;
    struct stat sb;
    if (stat(e->path, &sb) != 0) {
      // A dangling link, or a name that went away since the listing.
      dracnerr(r->st, DRFAC_DRG, 51802, 2, DRA_STR, e->path, 0);
      dracnerr(r->st, DRFAC_DRG, 12100, 1, DRA_STR, e->path, 0);
      continue;
    }
    if (S_ISDIR(sb.st_mode)) continue;
    if (!S_ISREG(sb.st_mode)) {
      // A FIFO or device would block or never end: not a file to load.
      dracnerr(r->st, DRFAC_DRG, 12100, 1, DRA_STR, e->path, 0);
      continue;
    }
    size_t n = std::strlen(e->path);
    auto *f = static_cast<drbgdfile *>(drumalc(r->st, r->st->hpmgr, r->heap, 1,
                                               offsetof(drbgdfile, name) + n + 1, __FILE__,
                                               __LINE__));
    if (!f) {
      *out = head;
      druetrc();
      return 1;
    }
    std::memcpy(f->name, e->path, n + 1);
    f->size = static_cast<int64_t>(sb.st_size);
    f->mtime = static_cast<int64_t>(sb.st_mtime);
    if (last) last->next = f;
    else head = f;
    last = f;
  }
  *out = head;
  return 0;
}

// Drops the current entry and makes the next one current; 2 when none is left.
int advance(drbgdstate *r) {
  drbgdfile *f = r->cur;
  if (!f) return 2;
  r->cur = f->next;
  void *b = f;
  drumfre(r->st, r->st->hpmgr, r->heap, &b);
  return r->cur ? 0 : 2;
}

void freechain(drbgdstate *r) {
  while (r->cur) advance(r);
}

// Lists the folder into the file chain; 2 when it holds no regular file.
int drbgdscan(drobj *o) {
  drbgdstate *r = rdrof(o);
  drsrvstate *st = r->st;
  if (sdrgfattr(r->dir) == 0) {
    dracnerr(st, DRFAC_DRG, 51805, 2, DRA_STR, r->dir, 0);
    druetrc();
    return 1;
  }
  dracnprt(st, st->log, "scanning directory: %s\n", DRA_STR, r->dir, 0);
  freechain(r);
  sdrgent first{};
  int lr = sdrgdirlist(st, r->heap, r->dir, &first);
  if (lr != 0) {
    freelist(r, &first);
    if (lr == 2) dracnerr(st, DRFAC_DRG, 10900, 2, 0);
    else dracnerr(st, DRFAC_DRG, 51805, 2, DRA_STR, r->dir, 0);
    druetrc();
    return 1;
  }
  drbgdfile *head = nullptr;
  int rc = drbgdlist(r, &first, &head);
  freelist(r, &first);
  r->cur = head;
  if (rc != 0) {
    dracnerr(st, DRFAC_DRG, 10900, 2, 0);
    freechain(r);
    druetrc();
    return 1;
  }
  return r->cur ? 0 : 2;
}

// The current file's name; 2 when none is left. Does not advance.
int drbgdnext(drobj *o, char *name) {
  drbgdstate *r = rdrof(o);
  if (!r->cur) return 2;
  size_t n = std::strlen(r->cur->name);
  if (n >= DRRDR_NAMESIZE) n = DRRDR_NAMESIZE - 1;  // cannot happen: listed paths fit
  std::memcpy(name, r->cur->name, n);
  name[n] = 0;
  return 0;
}

// The current file was loaded: deletes it and advances.
int drbgddone(drobj *o) {
  drbgdstate *r = rdrof(o);
  if (!r->cur) return 2;
  sdrgunlink(r->st, r->cur->name);
  return advance(r);
}

// The current file failed: warns with its name, keeps it and advances.
int drbgdfail(drobj *o) {
  drbgdstate *r = rdrof(o);
  if (!r->cur) return 2;
  dracnerr(r->st, DRFAC_DRG, 12100, 1, DRA_STR, r->cur->name, 0);
  return advance(r);
}

int drbgdfree(drobj **po) {
  if (!po || !*po) return 0;
  drbgdstate *r = rdrof(*po);
  freechain(r);
  void *b = r;
  drumfre(r->st, r->st->hpmgr, r->heap, &b);
  *po = nullptr;
  return 0;
}

const drobjhd<drrdrops> kTpl = {{DRCLS_READER, 1, nullptr},
                                {.bnd = drbgdbnd,
                                 .scan = drbgdscan,
                                 .next = drbgdnext,
                                 .done = drbgddone,
                                 .fail = drbgdfail,
                                 .free = drbgdfree}};

}  // namespace

drobj *drbgdnew(drsrvstate *s, drheap h) {
  auto *r = drobjnew<drbgdstate>(s, h, kTpl);
  if (!r) return nullptr;
  r->prefid = -1;
  r->polid = -1;
  return &r->hd.obj;
}

const char *drbgddir(const drobj *rdr) {
  if (!rdr || rdr->clsid != DRCLS_READER || rdr->objid != 1) return nullptr;
  return reinterpret_cast<const drbgdstate *>(rdr)->dir;
}
