// Fuzz target over the HTTP client's parsing: the input's first byte picks
// the URL splitter, given the rest as a URL, or the header and first-body
// reader, fed the rest as a peer's bytes over a socket pair. Every result
// must be a status or message, and every text must stay inside its area.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "dr/drs/drsuf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  static drsufcfg cfg = [] {
    drsufcfg c{};
    c.timeout = 5;
    c.urlsize = 64;
    return c;
  }();
  const char *rest = reinterpret_cast<const char *>(data + 1);
  size_t n = size - 1;
  if (data[0] & 1) {
    std::string url(rest, n);
    std::vector<char> host(64), path(64);
    int32_t port = 0;
    int32_t rc = drsufurl(&cfg, url.c_str(), host.data(), path.data(), &port);
    if (rc != 1 && rc != 2 && (rc < 11600 || rc > 11622)) __builtin_trap();
    if (std::strlen(host.data()) >= 64 || std::strlen(path.data()) >= 64) __builtin_trap();
    return 0;
  }
  int sv[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0) return 0;
  /* Small inputs fit the socket buffer, so one write then a close suffices. */
  if (n > 65536) n = 65536;
  if (n > 0 && write(sv[1], rest, n) < 0) {}
  close(sv[1]);
  std::vector<char> loc(64);
  int32_t located = 0;
  int32_t st = drsufhead(&cfg, sv[0], loc.data(), &located);
  if (located && std::strlen(loc.data()) >= 64) __builtin_trap();
  if (st == 200) {
    drsufsock sock{sv[0], 0};
    char body[DRSUF_FIRST];
    int32_t r;
    do r = drsufbody(&cfg, &sock, body);
    while (r > 0 && r <= DRSUF_FIRST);
    if (sock.count > DRSUF_FIRST) __builtin_trap();
  }
  close(sv[0]);
  return 0;
}
