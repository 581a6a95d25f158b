// The start-up marker: a file VEK<pid in hex>.TMP in the temporary directory
// that tells the machine's other processes this server runs and with which
// personality. It lives exactly as long as the process, removed on any exit.
#include "dr/main/drmain.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dr/drt/drt.h"
#include "platform/os/os.h"

namespace {

// The marker's path, kept where the signal handlers can reach it without
// allocating; empty while there is no marker.
char markpath[4096];
int markfd = -1;

void drmkunlink() {
  if (markpath[0] != '\0') {
    unlink(markpath);
    markpath[0] = '\0';
  }
}

// The first terminating signal asks the listener to shut the server down
// as the shutdown command does (it logs, leaves the registry and removes the
// marker on the way out); a second one removes the marker and then ends the
// process the way the signal would have.
void drmksig(int sig) {
  if (!drtstop) {
    drtstop = sig;
    return;
  }
  drmkunlink();
  signal(sig, SIG_DFL);
  raise(sig);
}

// Creates the marker exclusively, without following a link, readable by its
// owner only. A file already under the name (which carries this process's
// id) was left by a dead process or put there by someone: it is removed
// first, unless a live process holds its lock. A descriptor, or -1.
int drmkopen(const char *path) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    int fd = open(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    if (errno != EEXIST) return -1;
    int old = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (old >= 0) {
      bool live = flock(old, LOCK_EX | LOCK_NB) != 0;
      close(old);
      if (live) {
        errno = EEXIST;
        return -1;
      }
    } else if (errno != ELOOP) {
      return -1;  // not ours to judge (another user's file, say)
    }
    if (unlink(path) != 0) return -1;
  }
  errno = EEXIST;
  return -1;
}

bool drmkblank(char c) { return c == ' ' || c == '\t'; }

// Appends at most what fits below size - 1; returns false when cut.
bool drmkcat(char *buf, size_t size, size_t *len, const char *text, size_t n) {
  bool whole = true;
  if (*len + n > size - 1) {
    n = size - 1 - *len;
    whole = false;
  }
  memcpy(buf + *len, text, n);
  *len += n;
  buf[*len] = '\0';
  return whole;
}

// Says which call failed and why, before any server state exists.
int drmkfail(const char *what) {
  int32_t err = oslasterr();
  dracnout(nullptr, "%s failed with error: %d\n", DRA_STR, what, DRA_SB4, &err, 0);
  return 1;
}

}  // namespace

size_t drmktext(int pid, const char *cmdline, char *buf, size_t size) {
  if (size == 0) return 0;
  buf[0] = '\0';
  size_t len = 0;
  char head[32];
  int n = snprintf(head, sizeof head, "-pid %d ", pid);
  drmkcat(buf, size, &len, head, static_cast<size_t>(n));
  const char *variant = strstr(cmdline, "veksrx73") ? "veksrx73 " : "veksrv73 ";
  drmkcat(buf, size, &len, variant, strlen(variant));
  // "-personality" must stand as a word of its own, followed by another word.
  static const char opt[] = "-personality";
  for (const char *p = strstr(cmdline, opt); p; p = strstr(p + 1, opt)) {
    bool starts = p == cmdline || drmkblank(p[-1]);
    const char *q = p + sizeof opt - 1;
    if (!starts || (*q != '\0' && !drmkblank(*q))) continue;
    while (drmkblank(*q)) ++q;
    size_t wl = 0;
    while (q[wl] != '\0' && !drmkblank(q[wl])) ++wl;
    if (wl == 0) break;
    // A word too long for the buffer is cut there: the marker is a hint for
    // other processes, never a reason to write past it.
    if (drmkcat(buf, size, &len, "-personality ", 13)) drmkcat(buf, size, &len, q, wl);
    break;
  }
  return len;
}

int drmkfile() {
  char dir[260];
  if (ostmpdir(dir, sizeof dir) < 0) return drmkfail("ostmpdir");
  int pid = ospid();
  char path[sizeof markpath];
  if (ostmpname(dir, "VEK", static_cast<unsigned>(pid), path, sizeof path) != 0)
    return drmkfail("ostmpname");
  int fd = drmkopen(path);
  if (fd < 0) return drmkfail("open");
  memcpy(markpath, path, sizeof path);
  markfd = fd;
  // The lock lets a reader tell a live marker from one a crash left behind.
  flock(fd, LOCK_EX | LOCK_NB);
  atexit(drmkunlink);
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = drmksig;
  // No restart: a start-up step waiting for input gives up at once.
  sa.sa_flags = 0;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  if (lseek(fd, 0, SEEK_SET) != 0) return drmkfail("lseek");

  enum { CMDMAX = 65536 };
  char *cmd = static_cast<char *>(malloc(CMDMAX));
  if (cmd == nullptr) return 1;
  if (oscmdline(cmd, CMDMAX) < 0) cmd[0] = '\0';
  for (char *c = cmd; *c; ++c) *c = static_cast<char>(tolower(static_cast<unsigned char>(*c)));
  char text[512];
  size_t len = drmktext(pid, cmd, text, sizeof text);
  free(cmd);
  if (write(fd, text, len) != static_cast<ssize_t>(len)) return drmkfail("write");
  return 0;
}

const char *drmkpath() { return markpath; }

void drmkdone() {
  drmkunlink();
  if (markfd >= 0) {
    close(markfd);
    markfd = -1;
  }
}
