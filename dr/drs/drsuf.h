/* The URL fetch engine and its HTTP client. The engine keeps a
 * process-wide table of up to 256 fetch threads: a thread is entered in the
 * table before it can run, and one wait reaps exactly one ended thread. A
 * fetch thread works on its slot alone: it splits the slot's URL, connects
 * directly or through the proxy, sends an HTTP/1.0 GET, follows up to two
 * redirections, reads the header and the first bytes of the body, and
 * leaves the socket open for the main thread to receive the rest. It
 * allocates nothing from the server's heaps, pushes no errors and makes no
 * database calls. */
#ifndef KES_DR_DRS_DRSUF_H
#define KES_DR_DRS_DRSUF_H

#include <cstddef>
#include <cstdint>

enum : int32_t {
  DRSUF_OK = 1001,      /* engine success */
  DRSUF_FAIL = 1003,    /* engine failure */
  DRSUF_FILE = 1004,    /* status of a file: URL, read by the main thread */
  DRSUF_END = -1005,    /* the body has ended */
  DRSUF_ENOUGH = -1007, /* the first bytes of the body are in */
  DRSUF_THREADS = 256,  /* fetch threads registered at once */
  DRSUF_HEADER = 16384, /* bytes of a response header */
  DRSUF_FIRST = 1024,   /* bytes of the body a thread receives */
  DRSUF_KEY = 257,      /* bytes of a document key with its NUL */
  DRSUF_NOPROXY = 16,   /* no_proxy entries */
  DRSUF_PROXYSTR = 1024,/* bytes of http_proxy or of a no_proxy entry */
  DRSUF_REQUESTS = 3,   /* requests made for one URL */
  /* Fetch statuses beyond the HTTP ones. */
  DRSUF_MSG_BADSTATUS = 11607,
  DRSUF_MSG_NOHOST = 11608,
  DRSUF_MSG_SCHEME = 11611,
  DRSUF_MSG_RESOLVE = 11612,
  DRSUF_MSG_RECV = 11614,
  DRSUF_MSG_SEND = 11615,
  DRSUF_MSG_REDIRECT = 11616,
  DRSUF_MSG_URLSIZE = 11617,
  DRSUF_MSG_EMPTY = 11619,
  DRSUF_MSG_CONNECT = 11621,
};

/* What the fetch threads read, never write, of their data store. */
struct drsufcfg {
  int32_t timeout;  /* seconds a receive may wait */
  int32_t urlsize;  /* bytes of a URL area, its NUL included */
  char http_proxy[DRSUF_PROXYSTR]; /* host[:port] or empty */
  int32_t nnoproxy;
  char no_proxy[DRSUF_NOPROXY][DRSUF_PROXYSTR];
};

/* Fills the no_proxy table from the attribute text: entries split at
 * commas, blanks trimmed, empty ones dropped. 0, or -1 when there are more
 * than DRSUF_NOPROXY entries or one is too long. */
int drsufnoproxy(drsufcfg *cfg, const char *text);

struct drsufsock {
  int32_t fd;       /* -1 when none */
  int32_t count;    /* body bytes received */
  int64_t deadline; /* drsufnow() by which the document must be in; 0: none */
};

/* Milliseconds of a monotonic clock. */
int64_t drsufnow(void);

/* One running fetch. The URL areas are urlsize bytes each, laid out by
 * drsufslotinit inside the block the caller gives. */
struct drsufslot {
  const drsufcfg *cfg;
  char key[DRSUF_KEY];
  int32_t op;
  int32_t index;
  char *url;
  char *final;
  int32_t status;
  drsufsock *sock;
  char body[DRSUF_FIRST];
  char *host;
  char *path;
  drsufsock sockrec;
  int32_t requests; /* requests made for this URL */
};

/* Bytes of a slot block for urlsize. */
size_t drsufslotsize(int32_t urlsize);
/* Lays out a zero-filled block of drsufslotsize bytes as a slot. */
drsufslot *drsufslotinit(void *block, const drsufcfg *cfg);

/* The engine. */
int32_t drsufinit(void);
int32_t drsufterm(void);
typedef void *(*drsufroutine)(void *arg);
int32_t drsufstart(drsufroutine routine, void *arg);
int32_t drsufwait(void **exitcode);
int32_t drsuflock(int32_t lock);
int32_t drsufunlock(int32_t lock);
/* Threads registered now. */
int32_t drsufcount(void);

/* The fetch thread's routine; its argument and result are the slot. */
void *drsufthread(void *slot);
/* Splits url: 2 for http (host, path, port set), 1 for file (path set), or
 * a message number. host and path are urlsize bytes. */
int32_t drsufurl(const drsufcfg *cfg, const char *url, char *host, char *path, int32_t *port);
/* One request of slot->final and its response header. */
void drsufget(drsufslot *slot, int32_t port);
int32_t drsufconnect(const char *host, int32_t port, int32_t *fd);
/* Reads a response header from fd: the status, or -1 when it has no
 * number, or 11614; for 301 and 302 the Location goes to location
 * (urlsize bytes) and *located is set, 11617 when it does not fit. */
int32_t drsufhead(const drsufcfg *cfg, int32_t fd, char *location, int32_t *located,
                  int64_t deadline = 0);
/* Receives up to count bytes: the count, DRSUF_END or 11614. A receive
 * waits at most the timeout, and never past the deadline (when not 0): a
 * server that trickles its bytes cannot hold a fetch for ever. */
int32_t drsufrecv(const drsufcfg *cfg, int32_t fd, void *dst, int32_t count,
                  int64_t deadline = 0);
int32_t drsufsend(int32_t fd, const char *bytes, int32_t count);
void drsufclose(int32_t fd);
/* Receives the next first bytes of a body into dst: a count, DRSUF_END,
 * DRSUF_ENOUGH once more than 512 bytes are in, or 11614. */
int32_t drsufbody(const drsufcfg *cfg, drsufsock *sock, char *dst);

#endif
