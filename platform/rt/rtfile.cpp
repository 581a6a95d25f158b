// File streams of the core runtime over the C library's streams: name and
// directory resolution, open by access mode, read, line read, write, flush.
#include "platform/rt/rtint.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int rtfdir(rtctx *rt, const char *dir, int kind, char *buf, size_t size) {
  (void)rt;
  (void)kind;  // every directory kind is a path as given on this platform
  if (!dir || !*dir || !buf) return -1;
  size_t n = std::strlen(dir);
  if (n + 1 > size) return -1;
  struct stat st;
  if (stat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) return -1;
  std::memcpy(buf, dir, n + 1);
  return 0;
}

int rtfname(rtctx *rt, const char *dir, const char *name, char *buf, size_t size) {
  (void)rt;
  if (!name || !*name || !buf || size == 0) return -1;
  int n;
  if (dir && *dir) {
    size_t dl = std::strlen(dir);
    const char *sep = dir[dl - 1] == '/' ? "" : "/";
    n = std::snprintf(buf, size, "%s%s%s", dir, sep, name);
  } else {
    n = std::snprintf(buf, size, "%s", name);
  }
  if (n < 0 || static_cast<size_t>(n) >= size) {
    buf[0] = 0;
    return -1;
  }
  return 0;
}

int rtfopen(rtctx *rt, const char *path, int mode, int kind, int attrs, int reclen, int count,
            const char *tag, rtstream **out) {
  (void)rt;
  if (!out) return -1;
  *out = nullptr;
  if (!path || !*path || !(mode & (RTF_READ | RTF_WRITE | RTF_TRUNC))) {
    errno = EINVAL;
    return -1;
  }
  bool rd = mode & RTF_READ, wr = mode & (RTF_WRITE | RTF_TRUNC);
  int flags = O_CLOEXEC;
  const char *fm;
  if (rd && wr) { flags |= O_RDWR; fm = "r+"; }
  else if (wr) { flags |= O_WRONLY; fm = "w"; }
  else { flags |= O_RDONLY; fm = "r"; }
  if (wr) {
    // Writing adds to what the file holds unless asked to start empty, so an
    // existing log is never lost by accident.
    if (mode & RTF_TRUNC) flags |= O_TRUNC;
    else flags |= O_APPEND;
    if (mode & (RTF_CREATE | RTF_TRUNC)) flags |= O_CREAT;
    if (!rd && !(mode & RTF_TRUNC)) fm = "a";
  }
  int fd = open(path, flags, 0666);
  if (fd < 0) return -1;
  FILE *f = fdopen(fd, fm);
  if (!f) {
    int e = errno;
    close(fd);
    errno = e;
    return -1;
  }
  auto *st = static_cast<rtstream *>(std::calloc(1, sizeof(rtstream)));
  if (!st) {
    std::fclose(f);
    errno = ENOMEM;
    return -1;
  }
  st->f = f;
  st->mode = mode;
  st->kind = kind;
  st->attrs = attrs;
  st->reclen = reclen;
  st->count = count;
  std::snprintf(st->tag, sizeof st->tag, "%s", tag ? tag : "");
  *out = st;
  return 0;
}

long rtfread(rtstream *st, void *buf, size_t size) {
  if (!st || !st->f || (!buf && size)) return -1;
  if (size == 0) return 0;
  size_t n = std::fread(buf, 1, size, st->f);
  if (n == 0 && std::ferror(st->f)) return -1;
  return static_cast<long>(n);
}

long rtfline(rtstream *st, char *buf, size_t size) {
  if (!st || !st->f || !buf || size < 2) return -1;
  if (!std::fgets(buf, static_cast<int>(size > 1u << 30 ? 1u << 30 : size), st->f)) {
    buf[0] = 0;
    return std::ferror(st->f) ? -1 : 0;
  }
  return static_cast<long>(std::strlen(buf));
}

long rtfwrite(rtstream *st, const void *buf, size_t len) {
  if (!st || !st->f || (!buf && len)) return -1;
  if (len == 0) return 0;
  size_t n = std::fwrite(buf, 1, len, st->f);
  if (n == 0 && std::ferror(st->f)) return -1;
  return static_cast<long>(n);
}

int rtfflush(rtstream *st) {
  if (!st || !st->f) return -1;
  return std::fflush(st->f) == 0 ? 0 : -1;
}

int rtfclose(rtstream *st) {
  if (!st || !st->f) return -1;
  if (st->isstd) return rtfflush(st);
  int rc = std::fclose(st->f);
  st->f = nullptr;
  std::free(st);
  return rc == 0 ? 0 : -1;
}
