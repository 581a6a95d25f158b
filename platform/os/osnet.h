/* Stream sockets over the internet family and the threads that use them:
 * the few calls a fetch needs, with results as plain codes and no errno
 * left for the caller to interpret. */
#ifndef KES_PLATFORM_OS_OSNET_H
#define KES_PLATFORM_OS_OSNET_H

#include <cstddef>

/* Results of osnetconnect. */
enum { OSNET_OK = 0, OSNET_NOHOST = 1, OSNET_NOCONN = 2 };

/* Resolves host and connects a stream socket to its first address on port;
 * on success *fd holds the socket, on failure no socket is left open. */
int osnetconnect(const char *host, int port, int *fd);
/* Receives up to n bytes waiting at most timeout seconds (0: no limit):
 * the count, 0 at the end of the stream, -1 on a failure or time-out. */
long osnetrecv(int fd, void *buf, size_t n, int timeout);
/* Sends all n bytes without raising a signal on a closed peer: 0 or -1. */
int osnetsend(int fd, const void *buf, size_t n);
void osnetclose(int fd);

/* A joinable thread running fn(arg); 0 or -1. */
typedef void *(*osthrfn)(void *arg);
int osthrstart(osthrfn fn, void *arg, unsigned long *id);
/* Waits for the thread to end and gives its result. */
int osthrjoin(unsigned long id, void **result);

#endif
