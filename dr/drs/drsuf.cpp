// The URL fetch engine and HTTP client.
#include "dr/drs/drsuf.h"

#include <pthread.h>

#include <chrono>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "platform/os/osnet.h"

namespace {

/* One table entry. The thread marks itself done under the table lock, and
 * the starter holds that lock from creating the thread until its entry is
 * filled, so no thread can end unregistered. */
struct fentry {
  bool used;
  bool done;
  unsigned long id;
  drsufroutine routine;
  void *arg;
};

struct fengine {
  pthread_mutex_t table = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t ended = PTHREAD_COND_INITIALIZER;
  pthread_mutex_t locks[2] = {PTHREAD_MUTEX_INITIALIZER, PTHREAD_MUTEX_INITIALIZER};
  bool up = false;
  fentry entries[DRSUF_THREADS] = {};
  int32_t next = 0;  /* next free entry; DRSUF_THREADS when full */
  int32_t count = 0; /* threads registered */
};

fengine eng;

void *trampoline(void *p) {
  fentry *e = static_cast<fentry *>(p);
  void *r = e->routine(e->arg);
  pthread_mutex_lock(&eng.table);
  e->done = true;
  pthread_cond_broadcast(&eng.ended);
  pthread_mutex_unlock(&eng.table);
  return r;
}

}  // namespace

int32_t drsufinit(void) {
  pthread_mutex_lock(&eng.table);
  bool was = eng.up;
  eng.up = true;
  pthread_mutex_unlock(&eng.table);
  return was ? DRSUF_FAIL : DRSUF_OK;
}

int32_t drsufterm(void) {
  pthread_mutex_lock(&eng.table);
  bool was = eng.up;
  eng.up = false;
  pthread_mutex_unlock(&eng.table);
  return was ? DRSUF_OK : DRSUF_FAIL;
}

int32_t drsufcount(void) {
  pthread_mutex_lock(&eng.table);
  int32_t n = eng.count;
  pthread_mutex_unlock(&eng.table);
  return n;
}

int32_t drsufstart(drsufroutine routine, void *arg) {
  int32_t rc = DRSUF_FAIL;
  pthread_mutex_lock(&eng.table);
  if (eng.count < DRSUF_THREADS && eng.next < DRSUF_THREADS) {
    fentry *e = &eng.entries[eng.next];
    e->routine = routine;
    e->arg = arg;
    e->done = false;
    if (osthrstart(trampoline, e, &e->id) == 0) {
      e->used = true;
      eng.count++;
      int32_t from = eng.next;
      int32_t i = (from + 1) % DRSUF_THREADS;
      while (i != from && eng.entries[i].used) i = (i + 1) % DRSUF_THREADS;
      eng.next = eng.entries[i].used ? DRSUF_THREADS : i;
      rc = DRSUF_OK;
    }
  }
  pthread_mutex_unlock(&eng.table);
  return rc;
}

int32_t drsufwait(void **exitcode) {
  pthread_mutex_lock(&eng.table);
  if (eng.count == 0) {
    pthread_mutex_unlock(&eng.table);
    return DRSUF_FAIL;
  }
  for (;;) {
    for (int32_t i = 0; i < DRSUF_THREADS; i++) {
      fentry *e = &eng.entries[i];
      if (!e->used || !e->done) continue;
      void *r = nullptr;
      int rc = osthrjoin(e->id, &r);
      *e = fentry{};
      eng.count--;
      eng.next = i;
      pthread_mutex_unlock(&eng.table);
      if (exitcode) *exitcode = r;
      return rc == 0 ? DRSUF_OK : DRSUF_FAIL;
    }
    pthread_cond_wait(&eng.ended, &eng.table);
  }
}

int32_t drsuflock(int32_t lock) {
  if (lock != 1 && lock != 2) return DRSUF_FAIL;
  return pthread_mutex_lock(&eng.locks[lock - 1]) == 0 ? DRSUF_OK : DRSUF_FAIL;
}

int32_t drsufunlock(int32_t lock) {
  if (lock != 1 && lock != 2) return DRSUF_FAIL;
  return pthread_mutex_unlock(&eng.locks[lock - 1]) == 0 ? DRSUF_OK : DRSUF_FAIL;
}

/* ---- The slot ---- */

size_t drsufslotsize(int32_t urlsize) {
  return sizeof(drsufslot) + 4 * static_cast<size_t>(urlsize);
}

drsufslot *drsufslotinit(void *block, const drsufcfg *cfg) {
  drsufslot *s = static_cast<drsufslot *>(block);
  char *areas = static_cast<char *>(block) + sizeof(drsufslot);
  size_t n = static_cast<size_t>(cfg->urlsize);
  s->cfg = cfg;
  s->url = areas;
  s->final = areas + n;
  s->host = areas + 2 * n;
  s->path = areas + 3 * n;
  s->sockrec.fd = -1;
  s->sock = &s->sockrec;
  return s;
}

int drsufnoproxy(drsufcfg *cfg, const char *text) {
  cfg->nnoproxy = 0;
  std::memset(cfg->no_proxy, 0, sizeof cfg->no_proxy);
  const char *p = text ? text : "";
  while (*p) {
    const char *end = std::strchr(p, ',');
    if (!end) end = p + std::strlen(p);
    const char *a = p, *b = end;
    while (a < b && (*a == ' ' || *a == '\t')) a++;
    while (b > a && (b[-1] == ' ' || b[-1] == '\t')) b--;
    if (b > a) {
      if (cfg->nnoproxy == DRSUF_NOPROXY || b - a >= DRSUF_PROXYSTR) return -1;
      std::memcpy(cfg->no_proxy[cfg->nnoproxy++], a, static_cast<size_t>(b - a));
    }
    p = *end ? end + 1 : end;
  }
  return 0;
}

/* ---- The HTTP client ---- */

namespace {

/* Copies up to n-1 bytes of [a, b) ended; false when they do not fit. */
bool copyto(char *dst, size_t n, const char *a, const char *b) {
  size_t len = static_cast<size_t>(b - a);
  if (len + 1 > n) return false;
  std::memcpy(dst, a, len);
  dst[len] = 0;
  return true;
}

/* "host[:port]" or "http://host[:port][/]" of the proxy attribute. */
void proxyroute(const char *proxy, char *host, size_t n, int32_t *port) {
  const char *p = proxy;
  if (strncasecmp(p, "http://", 7) == 0) p += 7;
  const char *end = p + std::strcspn(p, "/");
  const char *colon = static_cast<const char *>(std::memchr(p, ':', static_cast<size_t>(end - p)));
  if (!copyto(host, n, p, colon ? colon : end)) host[0] = 0;
  if (colon) *port = static_cast<int32_t>(std::strtol(colon + 1, nullptr, 10));
}

bool noproxy(const drsufcfg *cfg, const char *host) {
  size_t hl = std::strlen(host);
  for (int32_t i = 0; i < cfg->nnoproxy; i++) {
    size_t el = std::strlen(cfg->no_proxy[i]);
    if (el <= hl && strcasecmp(host + hl - el, cfg->no_proxy[i]) == 0) return true;
  }
  return false;
}

}  // namespace

int32_t drsufurl(const drsufcfg *cfg, const char *url, char *host, char *path, int32_t *port) {
  size_t n = static_cast<size_t>(cfg->urlsize);
  host[0] = path[0] = 0;
  *port = 80;
  if (std::strlen(url) >= n) return DRSUF_MSG_URLSIZE;
  const char *colon = std::strchr(url, ':');
  if (!colon || colon - url > 32) return DRSUF_MSG_SCHEME;
  size_t sl = static_cast<size_t>(colon - url);
  bool http = sl == 4 && strncasecmp(url, "http", 4) == 0;
  bool file = sl == 4 && strncasecmp(url, "file", 4) == 0;
  if (!http && !file) return DRSUF_MSG_SCHEME;
  /* The colon and the two characters after it ("//") are passed over. */
  const char *p = colon + 1;
  for (int k = 0; k < 2 && *p; k++) p++;
  if (file) {
    copyto(path, n, p, p + std::strcspn(p, "#"));
    return 1;
  }
  const char *hend = p + std::strcspn(p, "/?#");
  const char *pc = static_cast<const char *>(std::memchr(p, ':', static_cast<size_t>(hend - p)));
  copyto(host, n, p, pc ? pc : hend);
  if (!host[0]) return DRSUF_MSG_NOHOST;
  if (pc) {
    const char *d = pc + 1;
    long v = 0;
    if (d == hend || hend - d > 5) return DRSUF_MSG_NOHOST;
    for (; d < hend; d++) {
      if (*d < '0' || *d > '9') return DRSUF_MSG_NOHOST;
      v = v * 10 + (*d - '0');
    }
    if (v < 1 || v > 65535) return DRSUF_MSG_NOHOST;
    *port = static_cast<int32_t>(v);
  }
  /* A query or fragment right after the host still leaves the path "/". */
  const char *pend = hend + std::strcspn(hend, "#");
  if (*hend == '/') {
    copyto(path, n, hend, pend);
  } else {
    path[0] = '/';
    copyto(path + 1, n - 1, hend, pend);
  }
  return 2;
}

int32_t drsufconnect(const char *host, int32_t port, int32_t *fd) {
  int s = -1;
  int rc = osnetconnect(host, port, &s);
  *fd = s;
  if (rc == OSNET_OK) return DRSUF_OK;
  *fd = -1;
  return rc == OSNET_NOHOST ? DRSUF_MSG_RESOLVE : DRSUF_MSG_CONNECT;
}

int64_t drsufnow(void) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int32_t drsufrecv(const drsufcfg *cfg, int32_t fd, void *dst, int32_t count, int64_t deadline) {
  int wait = cfg->timeout;
  if (deadline != 0) {
    int64_t left = deadline - drsufnow();
    if (left <= 0) return DRSUF_MSG_RECV;
    int64_t secs = (left + 999) / 1000;
    if (wait <= 0 || secs < wait) wait = static_cast<int>(secs);
  }
  long got = osnetrecv(fd, dst, static_cast<size_t>(count), wait);
  if (got > 0) return static_cast<int32_t>(got);
  return got == 0 ? DRSUF_END : DRSUF_MSG_RECV;
}

int32_t drsufsend(int32_t fd, const char *bytes, int32_t count) {
  return osnetsend(fd, bytes, static_cast<size_t>(count)) == 0 ? DRSUF_OK : DRSUF_MSG_SEND;
}

void drsufclose(int32_t fd) { osnetclose(fd); }

int32_t drsufhead(const drsufcfg *cfg, int32_t fd, char *location, int32_t *located,
                  int64_t deadline) {
  char head[DRSUF_HEADER];
  int32_t n = 0;
  *located = 0;
  for (;;) {
    if (n == DRSUF_HEADER) return DRSUF_MSG_RECV; /* a header without end */
    int32_t r = drsufrecv(cfg, fd, head + n, 1, deadline);
    if (r == DRSUF_END) break;
    if (r < 0 || r > 1) return DRSUF_MSG_RECV;
    n++;
    if (head[n - 1] == '\n' &&
        ((n >= 2 && head[n - 2] == '\n') || (n >= 3 && head[n - 2] == '\r' && head[n - 3] == '\n')))
      break;
  }
  /* "HTTP/1.x NNN": the status is the 10th to 12th characters. */
  int32_t status = -1;
  if (n >= 12) {
    const char *d = head + 9;
    if (d[0] >= '0' && d[0] <= '9' && d[1] >= '0' && d[1] <= '9' && d[2] >= '0' && d[2] <= '9' &&
        (n == 12 || d[3] == ' ' || d[3] == '\r' || d[3] == '\n'))
      status = (d[0] - '0') * 100 + (d[1] - '0') * 10 + (d[2] - '0');
  }
  if (status != 301 && status != 302) return status;
  for (int32_t i = 0; i + 9 <= n; i++) {
    if (i > 0 && head[i - 1] != '\n') continue;
    if (i == 0 || strncasecmp(head + i, "location:", 9) != 0) continue;
    const char *v = head + i + 9, *end = head + n;
    while (v < end && (*v == ' ' || *v == '\t')) v++;
    const char *e = v;
    while (e < end && *e != '\n') e++;
    if (e > v && e[-1] == '\r') e--;
    if (!copyto(location, static_cast<size_t>(cfg->urlsize), v, e)) return DRSUF_MSG_URLSIZE;
    *located = 1;
    break;
  }
  return status;
}

void drsufget(drsufslot *s, int32_t port) {
  const drsufcfg *cfg = s->cfg;
  bool viaproxy = cfg->http_proxy[0] && !noproxy(cfg, s->host);
  char phost[DRSUF_PROXYSTR];
  int32_t cport = port;
  const char *chost = s->host;
  if (viaproxy) {
    proxyroute(cfg->http_proxy, phost, sizeof phost, &cport);
    chost = phost;
  }
  s->requests++;
  int32_t fd = -1;
  int32_t rc = drsufconnect(chost, cport, &fd);
  if (rc != DRSUF_OK) {
    s->status = rc;
    return;
  }
  /* The request goes out in pieces, so that a path of any urlsize needs
   * no buffer of its own. */
  static const char tail[] = " HTTP/1.0\nFrom: kestrin-fetch@localhost\n\n";
  rc = drsufsend(fd, "GET ", 4);
  if (rc == DRSUF_OK && viaproxy) rc = drsufsend(fd, "http://", 7);
  if (rc == DRSUF_OK && viaproxy)
    rc = drsufsend(fd, s->host, static_cast<int32_t>(std::strlen(s->host)));
  /* The proxy must learn the port too, or it would ask port 80. */
  char portext[16];
  int plen = std::snprintf(portext, sizeof portext, ":%d", static_cast<int>(port));
  if (rc == DRSUF_OK && viaproxy && port != 80) rc = drsufsend(fd, portext, plen);
  if (rc == DRSUF_OK) rc = drsufsend(fd, s->path, static_cast<int32_t>(std::strlen(s->path)));
  if (rc == DRSUF_OK) rc = drsufsend(fd, tail, static_cast<int32_t>(sizeof tail - 1));
  if (rc != DRSUF_OK) {
    drsufclose(fd);
    s->status = DRSUF_MSG_SEND;
    return;
  }
  int32_t located = 0;
  char *loc = s->path; /* reused: the path is no longer needed */
  int32_t st = drsufhead(cfg, fd, loc, &located, s->sock->deadline);
  if (st == -1) st = DRSUF_MSG_BADSTATUS;
  if (located) std::memcpy(s->final, loc, std::strlen(loc) + 1);
  s->status = st;
  if (st == 200) {
    s->sock->fd = fd;
    s->sock->count = 0;
  } else {
    drsufclose(fd);
  }
}

int32_t drsufbody(const drsufcfg *cfg, drsufsock *sock, char *dst) {
  int32_t room = DRSUF_FIRST - sock->count;
  if (room <= 0) return DRSUF_ENOUGH;
  int32_t r = drsufrecv(cfg, sock->fd, dst + sock->count, room, sock->deadline);
  /* The failure is a message number, not a count. */
  if (r == DRSUF_END || r == DRSUF_MSG_RECV) return r;
  sock->count += r;
  return sock->count > 512 ? DRSUF_ENOUGH : r;
}

void *drsufthread(void *arg) {
  drsufslot *s = static_cast<drsufslot *>(arg);
  /* A URL its store already judged (one too long for its area) is not
   * fetched: the status stands. */
  if (s->status != 0) return s;
  /* The whole document, every request and the body, must arrive within the
   * timeout: a receive alone would let a server trickle bytes for ever. */
  s->sock->deadline = drsufnow() + int64_t{s->cfg->timeout} * 1000;
  if (!s->url[0]) {
    s->status = DRSUF_MSG_EMPTY;
    return s;
  }
  int32_t port = 80;
  int32_t kind = drsufurl(s->cfg, s->url, s->host, s->path, &port);
  if (kind == 1) {
    s->status = DRSUF_FILE;
    return s;
  }
  if (kind != 2) {
    s->status = kind;
    return s;
  }
  std::memcpy(s->final, s->url, std::strlen(s->url) + 1);
  for (;;) {
    drsufget(s, port);
    if (s->status != 301 && s->status != 302) break;
    if (s->requests == DRSUF_REQUESTS) {
      s->status = DRSUF_MSG_REDIRECT;
      break;
    }
    /* A target that is not http ends the fetch with the redirection's
     * status: a remote server never leads to a local file read. */
    int32_t st = s->status;
    if (drsufurl(s->cfg, s->final, s->host, s->path, &port) != 2) {
      s->status = st;
      break;
    }
  }
  if (s->status == 200) {
    int32_t r;
    do r = drsufbody(s->cfg, s->sock, s->body);
    while (r > 0 && r <= DRSUF_FIRST);
    /* A failed document keeps no socket: only a 200 leaves one open. */
    if (r == DRSUF_MSG_RECV) {
      s->status = DRSUF_MSG_RECV;
      drsufclose(s->sock->fd);
      s->sock->fd = -1;
    }
  }
  return s;
}
