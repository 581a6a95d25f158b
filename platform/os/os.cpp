// Operating-system services over POSIX and /proc.
#include "platform/os/os.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

int ostmpdir(char *buf, size_t size) {
  if (!buf || size == 0) return -1;
  const char *d = std::getenv("TMPDIR");
  if (!d || !*d) d = "/tmp";
  size_t n = std::strlen(d);
  bool slash = d[n - 1] == '/';
  int w = std::snprintf(buf, size, "%s%s", d, slash ? "" : "/");
  if (w < 0 || static_cast<size_t>(w) >= size) {
    buf[0] = 0;
    errno = ENAMETOOLONG;
    return -1;
  }
  return w;
}

int ostmpmake(ostmpfn name, void *user, unsigned tries, char *buf, size_t size) {
  if (!name || !buf || size == 0) {
    errno = EINVAL;
    return -1;
  }
  for (unsigned n = 0; n < tries; n++) {
    int rc = name(user, n, buf, size);
    if (rc < 0) {
      buf[0] = 0;
      errno = ENAMETOOLONG;
      return -1;
    }
    if (rc > 0) continue;
    int fd = open(buf, O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      close(fd);
      return 0;
    }
    // Only a name that is taken is worth passing over: a directory that
    // cannot be written fails every name alike.
    if (errno != EEXIST) return -1;
  }
  buf[0] = 0;
  errno = EEXIST;
  return -1;
}

namespace {

// The names "<dir>/<prefix><number in hex>.TMP" of ostmpname.
struct tmphex {
  const char *dir, *sep, *pfx;
  unsigned start;
};

int tmphexname(const tmphex *t, unsigned u, char *buf, size_t size) {
  int w = std::snprintf(buf, size, "%s%s%s%X.TMP", t->dir, t->sep, t->pfx, u);
  return w < 0 || static_cast<size_t>(w) >= size ? -1 : 0;
}

int tmphexnext(void *user, unsigned n, char *buf, size_t size) {
  auto *t = static_cast<const tmphex *>(user);
  unsigned u = (t->start + n) & 0xFFFF;
  return tmphexname(t, u ? u : 1, buf, size);
}

}  // namespace

int ostmpname(const char *dir, const char *prefix, unsigned unique, char *buf, size_t size) {
  if (!dir || !buf || size == 0) {
    errno = EINVAL;
    return -1;
  }
  size_t dl = std::strlen(dir);
  char pfx[4];
  std::snprintf(pfx, sizeof pfx, "%s", prefix ? prefix : "");
  tmphex t = {dir, (dl && dir[dl - 1] == '/') ? "" : "/", pfx,
              static_cast<unsigned>(getpid()) ^ static_cast<unsigned>(time(nullptr))};
  if (unique) {
    if (tmphexname(&t, unique, buf, size) != 0) {
      buf[0] = 0;
      errno = ENAMETOOLONG;
      return -1;
    }
    return 0;
  }
  return ostmpmake(tmphexnext, &t, 65536, buf, size);
}

int ospid(void) { return static_cast<int>(getpid()); }

int oscmdline(char *buf, size_t size) {
  if (!buf || size == 0) return -1;
  int fd = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  size_t n = 0;
  while (n + 1 < size) {
    ssize_t r = read(fd, buf + n, size - 1 - n);
    if (r < 0) {
      if (errno == EINTR) continue;
      close(fd);
      buf[0] = 0;
      return -1;
    }
    if (r == 0) break;
    n += static_cast<size_t>(r);
  }
  close(fd);
  // Arguments are separated by NULs, the last one ends with one.
  while (n > 0 && buf[n - 1] == 0) n--;
  for (size_t i = 0; i < n; i++)
    if (buf[i] == 0) buf[i] = ' ';
  buf[n] = 0;
  return static_cast<int>(n);
}

int osfmttime(time_t t, const char *format, char *buf, size_t size) {
  if (!format || !buf || size == 0) return -1;
  struct tm tmv;
  if (!localtime_r(&t, &tmv)) {
    buf[0] = 0;
    return -1;
  }
  if (!*format) {
    buf[0] = 0;
    return 0;
  }
  size_t n = std::strftime(buf, size, format, &tmv);
  if (n == 0) {
    buf[0] = 0;
    return -1;
  }
  return static_cast<int>(n);
}

int oslocaltime(const char *format, char *buf, size_t size) {
  time_t t = time(nullptr);
  if (t == static_cast<time_t>(-1)) return -1;
  return osfmttime(t, format, buf, size);
}

int oslasterr(void) { return errno; }

int osexpand(const char *path, char *buf, size_t size) {
  if (!path || !buf || size == 0) return -1;
  size_t n = 0;
  auto put = [&](const char *s, size_t len) {
    if (n + len >= size) return false;
    std::memcpy(buf + n, s, len);
    n += len;
    return true;
  };
  for (const char *p = path; *p;) {
    // A name is letters, digits and underscores; anything else between two
    // signs is text.
    const char *close = nullptr;
    if (*p == '%') {
      const char *q = p + 1;
      while (std::isalnum(static_cast<unsigned char>(*q)) || *q == '_') q++;
      if (*q == '%' && q > p + 1) close = q;
    }
    bool ok;
    if (close) {
      std::string name(p + 1, close);
      const char *v = std::getenv(name.c_str());
      ok = v && put(v, std::strlen(v));
      p = close + 1;
    } else {
      ok = put(p, 1);
      p++;
    }
    if (!ok) {
      buf[0] = 0;
      return -1;
    }
  }
  buf[n] = 0;
  return static_cast<int>(n);
}
