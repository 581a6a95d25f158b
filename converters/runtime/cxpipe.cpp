// The pipe file client: in pipe mode every file operation of a run becomes a
// big-endian request record on the request pipe, answered by reply records
// on the reply pipe. Only a stand-alone converter process switches it on.
#include "converters/runtime/cx.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

constexpr uint32_t ksig = 0x18436572;
constexpr int kwritehdr = 4104;  // header room of a write request

enum : int {
  OPEN_FILE = 2, READ_FILE = 3, WRITE_FILE = 4, SEEK_FILE = 5, CLOSE_FILE = 6,
  GET_FILE_SIZE = 7, RENAME = 8, UNLINK = 9, CHECK_EXIST = 10, END_OF_FILE = 11
};

void put32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

uint32_t get32(const unsigned char* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

int sget32(const unsigned char* p) { return static_cast<int32_t>(get32(p)); }

bool writeall(int fd, const unsigned char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

bool readall(int fd, unsigned char* p, size_t n) {
  while (n > 0) {
    ssize_t r = ::read(fd, p, n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

// The size both record buffers hold: the capacity, and never less than the
// fixed-size record every exchange uses.
size_t bufcap(cxstate* st) {
  return static_cast<size_t>(st->fb->pipecap > CX_PIPEHDR ? st->fb->pipecap : CX_PIPEHDR);
}

// Starts a request record of the given command; null when the buffers are missing.
unsigned char* begin(cxstate* st, int cmd) {
  unsigned char* r = st->fb->pipereqbuf;
  if (!r || !st->fb->piperepbuf) return nullptr;
  std::memset(r, 0, CX_PIPEHDR);
  put32(r + 4, ksig);
  put32(r + 8, static_cast<uint32_t>(st->cm->pipeserial));
  put32(r + 12, static_cast<uint32_t>(cmd));
  return r;
}

// Sends the request of len bytes and reads the first reply; the reply
// buffer, or null on failure.
unsigned char* exchange(cxstate* st, int len) {
  unsigned char* r = st->fb->pipereqbuf;
  put32(r, static_cast<uint32_t>(len));
  if (!writeall(st->fb->pipereq, r, static_cast<size_t>(len))) return nullptr;
  int rc = pioreply(st, st->fb->pipereply, st->fb->piperepbuf, 0);
  st->cm->pipeserial++;
  return rc == 0 ? st->fb->piperepbuf : nullptr;
}

// Copies a path into the request at offset 16; the offset after its NUL,
// or -1 when it does not fit the fixed-size record.
int putpath(unsigned char* r, int at, const char* path, int room) {
  size_t n = std::strlen(path) + 1;
  if (at + static_cast<int>(n) + room > CX_PIPEHDR) return -1;
  std::memcpy(r + at, path, n);
  return at + static_cast<int>(n);
}

bool success(const unsigned char* rep) { return (get32(rep + 8) & 0x80000000u) != 0; }

// Sends a request that carries one path and reads its reply; the reply when
// the host answered with success, else null.
unsigned char* pathcall(cxstate* st, int cmd, const char* path) {
  unsigned char* r = begin(st, cmd);
  if (!r || putpath(r, 16, path, 0) < 0) return nullptr;
  unsigned char* rep = exchange(st, CX_PIPEHDR);
  return rep && success(rep) ? rep : nullptr;
}

}  // namespace

int pioreply(cxstate* st, int handle, unsigned char* buf, int ignored) {
  if (!readall(handle, buf, CX_PIPEHDR)) {
    std::perror("read");
    return -1;
  }
  uint32_t len = get32(buf);
  if (len > CX_PIPEHDR) {
    // A reply longer than the buffer cannot be taken in whole: refuse it.
    if (len > bufcap(st) + 4) return -1;
    if (!readall(handle, buf + CX_PIPEHDR, len - CX_PIPEHDR)) return -1;
  }
  return get32(buf + 4) == ksig ? 0 : -1;
}

int piofopen(cxstate* st, const char* path, int mode, int share) {
  unsigned char* r = begin(st, OPEN_FILE);
  if (!r) return -1;
  int at = putpath(r, 16, path, 8);
  if (at < 0) return -1;
  put32(r + at, static_cast<uint32_t>(mode));
  put32(r + at + 4, static_cast<uint32_t>(share));
  unsigned char* rep = exchange(st, CX_PIPEHDR);
  if (!rep) return -1;
  st->cm->pipelast = sget32(rep + 16);
  return st->cm->pipelast;
}

int piofclose(cxstate* st, int handle) {
  unsigned char* r = begin(st, CLOSE_FILE);
  if (!r) return -1;
  put32(r + 16, static_cast<uint32_t>(handle));
  unsigned char* rep = exchange(st, CX_PIPEHDR);
  if (!rep || !success(rep)) return -1;
  st->cm->pipelast = sget32(rep + 16);
  return st->cm->pipelast == 0 ? 0 : -1;
}

int piofread(cxstate* st, int handle, void* buf, int n) {
  unsigned char* r = begin(st, READ_FILE);
  if (!r || n < 0) return -1;
  put32(r + 16, static_cast<uint32_t>(handle));
  put32(r + 20, static_cast<uint32_t>(n));
  unsigned char* rep = exchange(st, CX_PIPEHDR);
  auto* out = static_cast<unsigned char*>(buf);
  int total = 0;
  while (rep) {
    uint32_t len = get32(rep);
    int dlen = sget32(rep + 16);
    int room = static_cast<int>(len < CX_PIPEHDR ? CX_PIPEHDR : len) - 20;
    // Never more than the reply holds, nor more than the caller asked for.
    if (dlen < 0 || dlen > room) return -1;
    if (dlen > n - total) dlen = n - total;
    std::memcpy(out + total, rep + 20, static_cast<size_t>(dlen));
    total += dlen;
    if (total >= n || sget32(rep + 12) == END_OF_FILE) return total;
    if (pioreply(st, st->fb->pipereply, st->fb->piperepbuf, 0) != 0) return -1;
  }
  return -1;
}

int piofwrite(cxstate* st, int handle, const void* data, int n) {
  // A write request carries its data after a header of 4104 bytes, so a
  // capacity at or below that leaves no room for data: pipe writes are refused.
  int piece = st->fb->pipecap - kwritehdr;
  if (piece <= 0 || n < 0) return -1;
  auto* in = static_cast<const unsigned char*>(data);
  int total = 0;
  while (total < n) {
    int k = n - total < piece ? n - total : piece;
    unsigned char* r = begin(st, WRITE_FILE);
    if (!r) return -1;
    put32(r + 16, static_cast<uint32_t>(handle));
    put32(r + 20, static_cast<uint32_t>(k));
    std::memcpy(r + 24, in + total, static_cast<size_t>(k));
    int len = k + kwritehdr;
    if (len < CX_PIPEHDR) len = CX_PIPEHDR;
    std::memset(r + 24 + k, 0, static_cast<size_t>(len - 24 - k));
    unsigned char* rep = exchange(st, len);
    if (!rep || sget32(rep + 12) != WRITE_FILE) return -1;
    total += k;
  }
  return total;
}

int pioseek(cxstate* st, int handle, int offset, int origin) {
  unsigned char* r = begin(st, SEEK_FILE);
  if (!r) return -1;
  put32(r + 16, static_cast<uint32_t>(handle));
  put32(r + 20, static_cast<uint32_t>(offset));
  put32(r + 24, static_cast<uint32_t>(origin));
  unsigned char* rep = exchange(st, CX_PIPEHDR);
  if (!rep || !success(rep)) return -1;
  return sget32(rep + 16);
}

int piounlink(cxstate* st, const char* path) {
  unsigned char* rep = pathcall(st, UNLINK, path);
  if (!rep) return -1;
  return sget32(rep + 16);
}

int piorename(cxstate* st, const char* oldp, const char* newp) {
  unsigned char* r = begin(st, RENAME);
  if (!r) return -1;
  int at = putpath(r, 16, oldp, 0);
  if (at < 0 || putpath(r, at, newp, 0) < 0) return -1;
  unsigned char* rep = exchange(st, CX_PIPEHDR);
  if (!rep) return -1;
  return sget32(rep + 16);
}

int32_t piofsize(cxstate* st, const char* path) {
  unsigned char* rep = pathcall(st, GET_FILE_SIZE, path);
  if (!rep) return -1;
  st->cm->pipelast = sget32(rep + 16);
  if (st->cm->pipelast != 0) return -1;
  return sget32(rep + 20);
}

int pioexist(cxstate* st, const char* path) {
  unsigned char* rep = pathcall(st, CHECK_EXIST, path);
  if (!rep) return -1;
  st->cm->pipelast = sget32(rep + 16);
  return st->cm->pipelast == 0 ? 0 : -1;
}
