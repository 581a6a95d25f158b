// The URL data store over the row reader and the fetch engine. Everything
// here runs on the main thread; the fetch threads work on their slots alone
// and are read only after they have ended.
#include "dr/drs/drsurl.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "dr/dru/drue.h"
#include "platform/nls/nls.h"

namespace {

constexpr drobjhd<drdsops> kUrl = {
    {DRCLS_DATASTORE, 4, nullptr},
    {.start = drsurlstart, .dml = drsurldml, .key = drsurlkey, .count = drsxcount,
     .next = drsurlnext, .read = drsurlread, .seek = drsurlseek, .tell = drsurltell,
     .reset = drsxreset, .free = drsurlfree}};

// The store whose fetches hold the process-wide engine: another store that
// starts a group first reclaims what this one left running.
drsxstate *owner = nullptr;

template <class T>
T *alloc(drsxstate *x, size_t n) {
  return static_cast<T *>(drumalc(x->st, x->st->hpmgr, x->heap, n, sizeof(T), __FILE__, __LINE__));
}

template <class T>
void release(drsxstate *x, T *&p) {
  if (!p) return;
  void *b = p;
  drumfre(x->st, x->st->hpmgr, x->heap, &b);
  p = nullptr;
}

char *urlat(drsurec *u, int32_t i) {
  return u->urls + static_cast<size_t>(i) * static_cast<size_t>(u->cfg.urlsize);
}

void freegroup(drsxstate *x) {
  drsurec *u = x->url;
  release(x, u->urls);
  release(x, u->keys);
  release(x, u->ops);
  release(x, u->preset);
  release(x, u->gstart);
  release(x, u->order);
  u->nurls = u->running = u->started = u->done = 0;
}

void stopengine(drsxstate *x) {
  drsurec *u = x->url;
  if (!u->engine) return;
  drsufterm();
  u->engine = 0;
  if (owner == x) owner = nullptr;
}

// Bytes a document may have: the store's MAXDOCSIZE within the server's
// own limit.
int64_t doclimit(drsxstate *x) { return std::min<int64_t>(x->maxdocsize, x->maxdoc); }

void livein(drsurec *u, drsufslot *s) {
  for (drsufslot *&l : u->live)
    if (!l) {
      l = s;
      return;
    }
}

void liveout(drsurec *u, drsufslot *s) {
  for (drsufslot *&l : u->live)
    if (l == s) l = nullptr;
}

// Starts fetches in dispatch order while threads are free. When the group
// was cut where the operation changed, its last row (the first of the new
// operation) starts only once every other fetch of the group has ended, so
// that no key's index row overtakes its delete.
int32_t fill(drsxstate *x) {
  drsurec *u = x->url;
  while (u->started < u->nurls && u->running < u->maxthreads) {
    if (u->opchange && u->started == u->nurls - 1 && u->running > 0) break;
    if (drsuhslot(x) != DRSUF_OK) {
      dracnerr(x->st, DRFAC_DRG, DRSU_MSG_THREADS, 3, 0);
      druetrc();
      return DRSUF_FAIL;
    }
  }
  return DRSUF_OK;
}

// Receives the rest of a fetched body into the document buffer; 200 or the
// status that ends the document (10000 when the buffer failed).
int32_t body(drsxstate *x, drsufslot *s) {
  if (drsxrewrite(x) != 0) return 10000;
  int32_t st = drsuhcopy(x, s);
  char buf[DRSUF_FIRST];
  while (st == 200) {
    int32_t n = 0;
    int32_t r = drsuhread(x, s, buf, &n);
    if (r == DRSUF_END) break;
    if (r <= 0 || r > DRSUF_FIRST) {
      st = r;
      break;
    }
    if (druvfwrite(&x->doc, buf, static_cast<int16_t>(r)) < 0) st = 10000;
  }
  if (st == 200 && drsxreadback(x) != 0) st = 10000;
  return st;
}

// Ends a batch: operation 4, the key cleared whole, the next call starts
// over.
int endbatch(drsxstate *x, int32_t *op, char *key) {
  x->url->first = 1;
  *op = DRSX_OPEND;
  std::memset(key, 0, DRDS_KEYSIZE);
  return 2;
}

}  // namespace

drobj *drsurlnew(drsrvstate *st, drheap heap, int32_t polid, int32_t prefid) {
  drsxstate *x = drsxnew(st, heap, polid, prefid, DRSX_URLKIND);
  if (!x) {
    druetrc();
    return nullptr;
  }
  x->hd = kUrl;
  druvfinit(&x->doc, st, heap, nullptr);
  drsurec *u = alloc<drsurec>(x, 1);
  char *cur = u ? alloc<char>(x, static_cast<size_t>(x->urlsize)) : nullptr;
  if (u) x->url = u;
  if (!cur) {
    druetrc();
    drsurlfree(&x->hd.obj);
    return nullptr;
  }
  u->cur = cur;
  u->cfg.timeout = x->timeout;
  u->cfg.urlsize = x->urlsize;
  u->maxthreads = std::min<int32_t>(x->maxthreads, DRSUF_THREADS);
  std::strcpy(u->cfg.http_proxy, x->httpproxy);
  u->first = 1;
  if (drsuhnoproxy(x) != 0) {
    drsurlfree(&x->hd.obj);
    return nullptr;
  }
  // The HTML conversion asks a data store for the current URL through this
  // hook.
  drdsurlfn = drsurlcur;
  return &x->hd.obj;
}

const char *drsurlcur(drobj *ds) {
  if (!ds || ds->clsid != DRCLS_DATASTORE || ds->objid != 4) return nullptr;
  drsxstate *x = drsxof(ds);
  return x->url && x->url->cur && x->url->cur[0] ? x->url->cur : nullptr;
}

int drsuhnoproxy(drsxstate *x) {
  if (drsufnoproxy(&x->url->cfg, x->noproxy) == 0) return 0;
  dracnerr(x->st, DRFAC_DRG, 11624, 2, DRA_INT, static_cast<int>(DRSUF_NOPROXY), DRA_INT,
           static_cast<int>(DRSUF_PROXYSTR), 0);
  druetrc();
  return 1;
}

void drsurlreclaim(drsxstate *x) {
  drsurec *u = x->url;
  if (!u) return;
  // Every running fetch ends within the timeout; its slot is then freed
  // with its socket.
  while (u->running > 0) {
    void *r = nullptr;
    if (drsufwait(&r) != DRSUF_OK) break;
    u->running--;
    drsuhabort(x, static_cast<drsufslot *>(r));
  }
  for (drsufslot *&l : u->live)
    if (l) drsuhabort(x, l);
  u->running = 0;
  stopengine(x);
  freegroup(x);
}

int drsurlstart(drobj *ds, int32_t srvcnt, int32_t srvno, char qual, int32_t runseq) {
  drsxstate *x = drsxof(ds);
  drsurlreclaim(x);
  x->url->first = 1;
  return drsxstart(ds, srvcnt, srvno, qual, runseq);
}

int drsurldml(drobj *ds) {
  drsxstate *x = drsxof(ds);
  drsurlreclaim(x);
  x->url->first = 1;
  return drsxdml(ds);
}

int drsurlkey(drobj *ds, char (*keys)[DRDS_KEYSIZE], int32_t nkeys) {
  drsxstate *x = drsxof(ds);
  drsurlreclaim(x);
  x->url->first = 1;
  return drsxkey(ds, keys, nkeys);
}

int32_t drsuhbatch(drsxstate *x) {
  drsurec *u = x->url;
  drsrvstate *st = x->st;
  if (!u->engine) {
    if (owner && owner != x) drsurlreclaim(owner);
    if (drsufinit() != DRSUF_OK) {
      dracnerr(st, DRFAC_DRG, DRSU_MSG_THREADS, 3, 0);
      druetrc();
      return DRSUF_FAIL;
    }
    u->engine = 1;
    owner = x;
  }
  const size_t maxurls = static_cast<size_t>(x->maxurls);
  const size_t usz = static_cast<size_t>(x->urlsize);
  if (!u->urls) {
    u->urls = alloc<char>(x, maxurls * usz);
    u->keys = u->urls ? alloc<char[DRSUF_KEY]>(x, maxurls) : nullptr;
    u->ops = u->keys ? alloc<int32_t>(x, maxurls) : nullptr;
    u->preset = u->ops ? alloc<int32_t>(x, maxurls) : nullptr;
    u->gstart = u->preset ? alloc<int32_t>(x, maxurls) : nullptr;
    u->order = u->gstart ? alloc<int32_t>(x, maxurls) : nullptr;
    if (!u->order) {
      druetrc();
      freegroup(x);
      return DRSU_NOMEM;
    }
  }
  u->nurls = u->running = u->started = u->done = 0;
  u->opchange = 0;
  u->ngroups = 0;
  std::string prevhost(usz, '\0'), host(usz, '\0'), path(usz, '\0');
  bool prevhttp = false;
  const nlscs *cs = dracncs(st);
  drobj *ds = &x->hd.obj;
  for (int32_t i = 0; i < x->maxurls; i++) {
    int32_t op = 0;
    int rc = drsxnextkey(ds, &op, u->keys[i]);
    if (rc == 2) {
      u->exhausted = 1;
      if (i == 0) return DRSU_EXHAUSTED;
      break;
    }
    if (rc != 0) {
      druetrc();
      return DRSU_NOMEM;
    }
    u->ops[i] = op;
    u->preset[i] = 0;
    char *url = urlat(u, i);
    int32_t got = 0;
    for (;;) {
      int32_t n = 0;
      rc = drsxfetch(ds, url + got, x->urlsize - got, &n);
      if (rc == 1) {
        druetrc();
        return DRSU_NOMEM;
      }
      if (rc == 2) break;
      got += n;
      if (got == x->urlsize) break;
    }
    // A URL that fills its area is that document's failure, not the
    // group's: it is kept cut, for the message, and never fetched.
    if (got == x->urlsize) {
      u->preset[i] = DRSUF_MSG_URLSIZE;
      got = x->urlsize - 1;
    }
    url[got] = '\0';
    bool join = false;
    if (u->preset[i] != 0) {
      prevhttp = false;
    } else if (!url[0]) {
      // An empty URL counts as having the scheme and host of the one
      // before it.
      join = i > 0 && prevhttp;
    } else {
      int32_t port = 80;
      int32_t kind = drsufurl(&u->cfg, url, host.data(), path.data(), &port);
      join = kind == 2 && prevhttp && nlscmp(cs, host.c_str(), prevhost.c_str()) == 0;
      prevhttp = kind == 2;
      std::memcpy(prevhost.data(), host.data(), usz);
    }
    if (!join || u->ngroups == 0) u->gstart[u->ngroups++] = i;
    u->nurls++;
    if (i > 0 && u->ops[i] != u->ops[i - 1]) {
      u->opchange = 1;
      break;
    }
  }
  // The dispatch order takes one row of each host group in turn. A row that
  // changed the operation goes last whatever its host.
  const int32_t m = u->opchange ? u->nurls - 1 : u->nurls;
  std::vector<int32_t> at, end;
  for (int32_t g = 0; g < u->ngroups; g++) {
    int32_t e = std::min(g + 1 < u->ngroups ? u->gstart[g + 1] : u->nurls, m);
    if (e > u->gstart[g]) {
      at.push_back(u->gstart[g]);
      end.push_back(e);
    }
  }
  int32_t k = 0;
  while (!at.empty()) {
    size_t w = 0;
    for (size_t g = 0; g < at.size(); g++) {
      u->order[k++] = at[g]++;
      if (at[g] < end[g]) {
        at[w] = at[g];
        end[w] = end[g];
        w++;
      }
    }
    at.resize(w);
    end.resize(w);
  }
  if (u->opchange) u->order[k++] = u->nurls - 1;
  return DRSUF_OK;
}

int32_t drsuhnext(drsxstate *x) { return fill(x); }

int32_t drsuhslot(drsxstate *x) {
  drsurec *u = x->url;
  auto *block = alloc<char>(x, drsufslotsize(x->urlsize));
  if (!block) {
    druetrc();
    return DRSUF_FAIL;
  }
  drsufslot *s = drsufslotinit(block, &u->cfg);
  drsuflock(1);
  s->sock->fd = -1;
  int32_t row = u->order[u->started];
  std::strcpy(s->url, urlat(u, row));
  std::memcpy(s->key, u->keys[row], DRSUF_KEY);
  s->op = u->ops[row];
  s->index = row;
  s->status = u->preset[row];
  livein(u, s);
  int32_t rc = drsufstart(drsufthread, s);
  drsufunlock(1);
  if (rc != DRSUF_OK) {
    liveout(u, s);
    release(x, block);
    return DRSUF_FAIL;
  }
  u->started++;
  u->running++;
  return DRSUF_OK;
}

int32_t drsuhwait(drsxstate *x, drsufslot **slot) {
  drsurec *u = x->url;
  void *r = nullptr;
  *slot = nullptr;
  if (drsufwait(&r) != DRSUF_OK) {
    dracnerr(x->st, DRFAC_DRG, DRSU_MSG_THREADS, 3, 0);
    druetrc();
    return DRSUF_FAIL;
  }
  auto *s = static_cast<drsufslot *>(r);
  u->running--;
  u->done++;
  *slot = s;
  return DRSUF_OK;
}

int32_t drsuhend(drsxstate *x) {
  drsurec *u = x->url;
  if (u->done < u->nurls) return DRSU_BUSY;
  stopengine(x);
  if (!u->exhausted) return DRSU_GROUPDONE;
  freegroup(x);
  return DRSU_EXHAUSTED;
}

int32_t drsuhcopy(drsxstate *x, drsufslot *s) {
  // The body's first bytes count against the limit as much as the rest.
  if (s->sock->count > doclimit(x)) return DRSU_MSG_DOCSIZE;
  if (s->sock->count > 0 && druvfwrite(&x->doc, s->body, static_cast<int16_t>(s->sock->count)) < 0)
    return 10000;
  // The rest must arrive within the timeout from now: the wait for the
  // main thread to come to this document does not count.
  s->sock->deadline = drsufnow() + int64_t{x->timeout} * 1000;
  return 200;
}

int32_t drsuhread(drsxstate *x, drsufslot *s, char *dst, int32_t *count) {
  *count = 0;
  int32_t r = drsufrecv(&x->url->cfg, s->sock->fd, dst, DRSUF_FIRST, s->sock->deadline);
  if (r <= 0 || r > DRSUF_FIRST) return r;
  s->sock->count += r;
  if (s->sock->count > doclimit(x)) return DRSU_MSG_DOCSIZE;
  *count = r;
  return r;
}

void drsuhabort(drsxstate *x, drsufslot *s) {
  if (!s) return;
  liveout(x->url, s);
  if (s->sock && s->sock->fd >= 0) {
    drsufclose(s->sock->fd);
    s->sock->fd = -1;
  }
  release(x, s);
}

int32_t drsuhstatus(int32_t status) {
  switch (status) {
    case 301: return DRSU_MSG_MOVED;
    case 400: return 11601;
    case 401: return 11602;
    case 402: return 11603;
    case 403: return 11604;
    case 404: return 11605;
    case 408: return 11606;
    default: return status < 2000 ? DRSU_MSG_STATUS : status;
  }
}

int32_t drsurlfile(drsxstate *x, const char *path) {
  drsrvstate *st = x->st;
  // A row may name any file the server can read: a file URL is read only
  // inside the folder the policy names, as the file store does.
  if (!x->path[0]) {
    dracnerr(st, DRFAC_DRG, DRSU_MSG_NOPATH, 2, DRA_STR, path, 0);
    return DRSU_MSG_NOPATH;
  }
  int fd = drsfilopen(st, x->path, path);
  if (fd < 0) return DRSU_MSG_FILEOPEN;
  bool bad = drsxrewrite(x) != 0;
  char buf[DRUVF_BLOCK];
  int64_t total = 0;
  int32_t status = 1004;
  while (!bad) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0) status = DRSU_MSG_FILEREAD;
      break;
    }
    total += n;
    if (total > doclimit(x)) {
      status = DRSU_MSG_DOCSIZE;
      break;
    }
    bad = druvfwrite(&x->doc, buf, static_cast<int16_t>(n)) < 0;
  }
  close(fd);
  if (!bad && status == 1004 && drsxreadback(x) != 0) bad = true;
  if (bad) {
    drsxfail(x);
    return DRSU_MSG_FILEREAD;
  }
  return status;
}

int drsurlnext(drobj *ds, int32_t *op, char *key) {
  drsxstate *x = drsxof(ds);
  drsurec *u = x->url;
  drsrvstate *st = x->st;
  if (u->first) {
    u->exhausted = 0;
    u->needgroup = 1;
  }
  if (!u->needgroup) {
    int32_t rc = drsuhend(x);
    if (rc == DRSU_EXHAUSTED) return endbatch(x, op, key);
    if (rc == DRSU_GROUPDONE) u->needgroup = 1;
  }
  if (u->needgroup) {
    int32_t rc = drsuhbatch(x);
    if (rc == DRSU_EXHAUSTED) {
      drsuhend(x);
      return endbatch(x, op, key);
    }
    if (rc != DRSUF_OK) {
      // A group that could not be read ends the batch.
      drsurlreclaim(x);
      u->first = 1;
      if (rc == DRSU_NOMEM) drsxfail(x);
      return 1;
    }
    u->needgroup = 0;
    u->first = 0;
    if (drsuhnext(x) != DRSUF_OK) return 1;
  }
  drsufslot *s = nullptr;
  if (drsuhwait(x, &s) != DRSUF_OK) return 1;
  int32_t status = s->status;
  if (status == 200) {
    status = body(x, s);
  } else if (status == DRSUF_FILE) {
    status = drsurlfile(x, s->path);
    if (status == DRSUF_FILE) status = 200;
  }
  int rc = 0;
  if (status == 200) {
    rc = 0;
  } else if (status == DRSUF_MSG_EMPTY && s->op == DRSX_OPDELETE) {
    // A delete needs no text.
    if (drsxrewrite(x) != 0 || drsxreadback(x) != 0) rc = drsxfail(x);
  } else if (status == 10000) {
    rc = drsxfail(x);
  } else if (status == DRSU_MSG_FILEOPEN || status == DRSU_MSG_FILEREAD || status == DRSU_MSG_NOPATH) {
    // The file's own messages say why.
    if (status != DRSU_MSG_NOPATH)
      dracnerr(st, DRFAC_DRG, status, 2, DRA_STR, s->url, 0);
    druetrc();
    rc = 1;
  } else {
    int32_t msg = drsuhstatus(status);
    if (msg == DRSUF_MSG_EMPTY)
      dracnerr(st, DRFAC_DRG, msg, 2, DRA_STR, s->key, 0);
    else
      dracnerr(st, DRFAC_DRG, msg, 2, DRA_STR, s->url, DRA_STR, std::to_string(status).c_str(), 0);
    druetrc();
    rc = 1;
  }
  std::memcpy(key, s->key, DRDS_KEYSIZE);
  std::strcpy(u->cur, s->final[0] ? s->final : s->url);
  *op = s->op;
  drsuhabort(x, s);
  // The next fetch starts once this document's connection is closed, so a
  // server never sees more than maxthreads connections of the store.
  if (fill(x) != DRSUF_OK) return 1;
  return rc;
}

int drsurlread(drobj *ds, void *dst, int32_t n, int32_t *got) { return drsdetread(ds, dst, n, got); }
int drsurlseek(drobj *ds, int32_t off, uint8_t rel) { return drsdetseek(ds, off, rel); }
int drsurltell(drobj *ds, int32_t *off) { return drsdettell(ds, off); }

int drsurlfree(drobj *ds) {
  drsxstate *x = drsxof(ds);
  if (x->url) {
    drsurlreclaim(x);
    release(x, x->url->cur);
    release(x, x->url);
  }
  return drsdetfree(ds);
}
