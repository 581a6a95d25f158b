// Stream sockets and threads over POSIX.
#include "platform/os/osnet.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <netdb.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

int osnetconnect(const char *host, int port, int *fd) {
  *fd = -1;
  if (port <= 0 || port > 65535) return OSNET_NOCONN;
  char serv[16];
  std::snprintf(serv, sizeof serv, "%d", port);
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo *res = nullptr;
  if (getaddrinfo(host, serv, &hints, &res) != 0 || !res) return OSNET_NOHOST;
  int s = socket(res->ai_family, res->ai_socktype | SOCK_CLOEXEC, res->ai_protocol);
  if (s < 0) {
    freeaddrinfo(res);
    return OSNET_NOCONN;
  }
  int rc;
  do rc = connect(s, res->ai_addr, res->ai_addrlen);
  while (rc != 0 && errno == EINTR);
  freeaddrinfo(res);
  if (rc != 0) {
    close(s);
    return OSNET_NOCONN;
  }
  *fd = s;
  return OSNET_OK;
}

long osnetrecv(int fd, void *buf, size_t n, int timeout) {
  timeval tv{};
  tv.tv_sec = timeout > 0 ? timeout : 0;
  if (setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0) return -1;
  ssize_t got;
  do got = recv(fd, buf, n, 0);
  while (got < 0 && errno == EINTR);
  if (got < 0) return errno == ESHUTDOWN ? 0 : -1;
  return static_cast<long>(got);
}

int osnetsend(int fd, const void *buf, size_t n) {
  const char *p = static_cast<const char *>(buf);
  while (n > 0) {
    ssize_t w = send(fd, p, n, MSG_NOSIGNAL);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return -1;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return 0;
}

void osnetclose(int fd) {
  if (fd >= 0) close(fd);
}

int osthrstart(osthrfn fn, void *arg, unsigned long *id) {
  pthread_t t;
  if (pthread_create(&t, nullptr, fn, arg) != 0) return -1;
  *id = static_cast<unsigned long>(t);
  return 0;
}

int osthrjoin(unsigned long id, void **result) {
  return pthread_join(static_cast<pthread_t>(id), result) == 0 ? 0 : -1;
}
