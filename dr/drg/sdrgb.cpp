// Operating-system services for the filters and the text-loading classes.
// Programs run from an argument vector, never through a shell, so that no
// argument is read as a command; sizes are 64-bit; temporary files are made
// by the one routine of the platform layer.
#include "dr/drg/sdrgb.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <signal.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/os/os.h"

extern char **environ;

int sdrgopen(drsrvstate *, const char *path, int flags, int perms) {
  if (!path) return -1;
  int fd;
  do fd = open(path, flags | O_CLOEXEC, perms);
  while (fd < 0 && errno == EINTR);
  return fd;
}

long sdrgread(drsrvstate *, int fd, void *buf, size_t n) {
  ssize_t r;
  do r = read(fd, buf, n);
  while (r < 0 && errno == EINTR);
  return static_cast<long>(r);
}

long sdrgwrite(drsrvstate *, int fd, const void *buf, size_t n) {
  size_t done = 0;
  while (done < n) {
    ssize_t w = write(fd, static_cast<const char *>(buf) + done, n - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return -1;
    done += static_cast<size_t>(w);
  }
  return static_cast<long>(done);
}

int sdrgclose(drsrvstate *, int fd) { return close(fd) == 0 ? 0 : 1; }

char *sdrgtmpnam(drsrvstate *, const char *dir, const char *prefix) {
  char tmp[SDRG_PATHMAX];
  if (!dir) {
    if (ostmpdir(tmp, sizeof tmp) < 0) return nullptr;
    dir = tmp;
  }
  char name[SDRG_PATHMAX];
  if (ostmpname(dir, prefix, 0, name, sizeof name) != 0) return nullptr;
  char *out = static_cast<char *>(std::malloc(std::strlen(name) + 1));
  if (!out) {
    unlink(name);
    return nullptr;
  }
  std::strcpy(out, name);
  return out;
}

int sdrgdelname(drsrvstate *st, char *path) {
  if (path) unlink(path);
  return sdrgfree(st, path);
}

int sdrgunlink(drsrvstate *, const char *path) {
  if (path) unlink(path);
  return 0;
}

int sdrgfree(drsrvstate *, char *block) {
  std::free(block);
  return 0;
}

int sdrgrun(drsrvstate *, const char *const *argv) {
  if (!argv || !argv[0] || !*argv[0]) return -1;
  pid_t pid;
  // The vector is only read: the const is lost in the call's old signature.
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char *const *>(argv), environ) != 0)
    return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

int sdrgrunlim(drsrvstate *, const char *const *argv, int seconds, int64_t maxfile) {
  if (!argv || !argv[0] || !*argv[0]) return -1;
  int devnull = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (devnull < 0) return -1;
  // A pipe closed on exec tells whether the program could be started.
  int gate[2];
  if (pipe2(gate, O_CLOEXEC) != 0) {
    close(devnull);
    return -1;
  }
  // vfork, not fork: the child only sets itself up and runs the program,
  // and copying the address space of a large server for that (page tables
  // and then a copy of every page it writes before the exec) cost more
  // than the programs it ran. The calling thread waits until the exec.
  char e = 1;
  pid_t pid = vfork();
  if (pid < 0) {
    close(devnull);
    close(gate[0]);
    close(gate[1]);
    return -1;
  }
  if (pid == 0) {
    // Only system calls here, nothing that writes the shared memory.
    setpgid(0, 0);
    dup2(devnull, 0);
    if (maxfile > 0) {
      struct rlimit rl = {static_cast<rlim_t>(maxfile), static_cast<rlim_t>(maxfile)};
      setrlimit(RLIMIT_FSIZE, &rl);
    }
    signal(SIGXFSZ, SIG_DFL);
    execv(argv[0], const_cast<char *const *>(argv));
    ssize_t ignored = write(gate[1], &e, 1);
    (void)ignored;
    _exit(127);
  }
  close(devnull);
  close(gate[1]);
  ssize_t r;
  do r = read(gate[0], &e, 1);
  while (r < 0 && errno == EINTR);
  close(gate[0]);
  bool started = r == 0;
  struct timespec start;
  clock_gettime(CLOCK_MONOTONIC, &start);
  int pfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  int status = 0;
  long nap = 1;  // milliseconds between looks, growing to 50
  for (;;) {
    // Looks without reaping, so that the group keeps its id until whatever
    // the program left running in it has been killed.
    siginfo_t info;
    std::memset(&info, 0, sizeof info);
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 &&
        errno != EINTR) {
      if (pfd >= 0) close(pfd);
      return -1;
    }
    bool ended = info.si_pid == pid;
    bool late = false;
    if (!ended && seconds > 0) {
      struct timespec now;
      clock_gettime(CLOCK_MONOTONIC, &now);
      late = now.tv_sec - start.tv_sec >= seconds;
    }
    if (ended || late) {
      kill(-pid, SIGKILL);
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      if (pfd >= 0) close(pfd);
      if (late) return SDRG_TIMEOUT;
      break;
    }
    // Waits on the process itself where the system offers it, so that its
    // end is seen at once; else looks again after a nap.
    if (pfd >= 0) {
      struct pollfd pf = {pfd, POLLIN, 0};
      int wait = 1000;
      if (seconds > 0) {
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        long left = (start.tv_sec + seconds - now.tv_sec) * 1000L - now.tv_nsec / 1000000L +
                    start.tv_nsec / 1000000L;
        wait = static_cast<int>(std::max(1L, std::min(left, 1000L)));
      }
      poll(&pf, 1, wait);
      continue;
    }
    struct timespec ts = {0, nap * 1000000L};
    nanosleep(&ts, nullptr);
    if (nap < 50) nap *= 2;
  }
  if (!started) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

int sdrgisexe(drsrvstate *, const char *path) {
  struct stat sb;
  if (!path || stat(path, &sb) != 0 || !S_ISREG(sb.st_mode)) return -1;
  return access(path, X_OK) == 0 ? 0 : -1;
}

int sdrgdirlist(drsrvstate *st, drheap heap, const char *dir, sdrgent *first) {
  if (!dir || !*dir || !first || sdrgfattr(dir) != 1) return 1;
  size_t dl = std::strlen(dir);
  const char *sep = dir[dl - 1] == '/' ? "" : "/";
  DIR *d = opendir(dir);
  if (!d) return 1;
  sdrgent *last = nullptr;
  int rc = 0;
  first->path[0] = 0;
  while (struct dirent *e = readdir(d)) {
    char path[SDRG_PATHMAX];
    int n = std::snprintf(path, sizeof path, "%s%s%s", dir, sep, e->d_name);
    if (n < 0 || static_cast<size_t>(n) >= sizeof path) continue;
    sdrgent *ent = first;
    if (last) {
      ent = static_cast<sdrgent *>(
          drumalc(st, st->hpmgr, heap, 1, sizeof(sdrgent), __FILE__, __LINE__));
      if (!ent) {
        rc = 2;
        break;
      }
      last->next = ent;
    }
    std::memcpy(ent->path, path, static_cast<size_t>(n) + 1);
    ent->next = nullptr;
    last = ent;
  }
  closedir(d);
  if (!last) first->next = nullptr;
  return rc;
}

uint8_t sdrgfattr(const char *path) {
  struct stat sb;
  if (!path || !*path || stat(path, &sb) != 0) return 255;
  return S_ISDIR(sb.st_mode) ? 1 : 0;
}

int sdrgfsize(const char *path, int64_t *size, int64_t *mtime) {
  *size = -1;
  *mtime = -1;
  int fd = path ? open(path, O_RDONLY | O_CLOEXEC) : -1;
  if (fd < 0) return 1;
  struct stat sb;
  int rc = fstat(fd, &sb);
  if (close(fd) != 0 || rc != 0) return 1;
  *size = static_cast<int64_t>(sb.st_size);
  *mtime = static_cast<int64_t>(sb.st_mtime);
  return 0;
}
