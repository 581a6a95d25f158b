// Temporary-file conversions. The two files live in a private folder (mode
// 0700), made for the one conversion or kept by the filter for all of its
// own, so that the output's name is ours before the program makes the file,
// and nobody else can put a file or a link there.
#include "dr/drgb/drgbt.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "converters/runtime/rcg.h"
#include "dr/drg/sdrgb.h"
#include "platform/os/os.h"
#include "platform/rt/rt.h"

const char DRGBT_FORBIDDEN[] = "!@#$%^&*()~`',/\\ :\"";

namespace {

// Empties the conversion's folder (what a program left there included;
// nothing below it is followed).
void empty(const std::string &dir) {
  if (DIR *d = opendir(dir.c_str())) {
    while (struct dirent *e = readdir(d)) {
      if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
      std::string p = dir + "/" + e->d_name;
      unlink(p.c_str());
    }
    closedir(d);
  }
}

int copyerr(drsrvstate *st) {
  dracnerr(st, DRFAC_DRG, 51800, 2, 0);
  druetrc();
  return 1;
}

// Writes the document to the file; 0 / 1.
int put(drgbtjob *j, const std::string &path) {
  drsrvstate *st = j->st;
  int fd = sdrgopen(st, path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (fd < 0) {
    dracnerr(st, DRFAC_DRG, 11101, 2, DRA_STR, path.c_str(), 0);
    druetrc();
    return 1;
  }
  int rc = 0;
  if (druvfclose(j->in) != 0 || !druvfopen(j->in, DRUVF_READ)) rc = 1;
  char buf[16384];
  while (rc == 0) {
    int16_t n = druvfread(j->in, buf, sizeof buf);
    if (n < 0) rc = 1;
    if (n <= 0) break;
    if (sdrgwrite(st, fd, buf, static_cast<size_t>(n)) != n) rc = 1;
  }
  if (druvfclose(j->in) != 0) rc = 1;
  if (sdrgclose(st, fd) != 0) rc = 1;
  return rc != 0 ? copyerr(st) : 0;
}

// Reads the text back into the output buffer; 0 / 1.
int get(drgbtjob *j, const std::string &path) {
  drsrvstate *st = j->st;
  int fd = sdrgopen(st, path.c_str(), O_RDONLY, 0);
  if (fd < 0) {
    dracnerr(st, DRFAC_DRG, 11101, 2, DRA_STR, path.c_str(), 0);
    druetrc();
    return 1;
  }
  int rc = 0;
  bool big = false;
  if (druvfclose(j->out) != 0 || !druvfopen(j->out, DRUVF_REWRITE)) rc = 1;
  char buf[16384];
  int64_t total = 0;
  while (rc == 0) {
    long n = sdrgread(st, fd, buf, sizeof buf);
    // A failed read is a failure, never the end of a cut text.
    if (n < 0) rc = 1;
    if (n <= 0) break;
    total += n;
    if (j->limit > 0 && total > j->limit) {
      big = true;
      rc = 1;
      break;
    }
    if (druvfwrite(j->out, buf, static_cast<int16_t>(n)) != n) rc = 1;
  }
  if (druvfclose(j->out) != 0) rc = 1;
  sdrgclose(st, fd);
  if (big) {
    std::string lim = std::to_string(j->limit);
    dracnerr(st, DRFAC_DRG, 11213, 2, DRA_STR, lim.c_str(), 0);
    druetrc();
    return 1;
  }
  return rc != 0 ? copyerr(st) : 0;
}

// Runs the program or the converter; 0 / 1.
int run(drgbtjob *j, const std::string &in, const std::string &out) {
  drsrvstate *st = j->st;
  if (j->path) {
    const char *argv[] = {j->path, in.c_str(), out.c_str(), nullptr};
    // The output file may not grow much past what would be read of it.
    int64_t cap = j->limit > 0 ? j->limit + 1 : 0;
    int32_t status = sdrgrunlim(st, argv, j->timeout, cap);
    if (status == -1) {
      dracnerr(st, DRFAC_DRG, 11206, 2, DRA_STR, j->name, 0);
      druetrc();
      return 1;
    }
    if (status == SDRG_TIMEOUT) {
      std::string secs = std::to_string(j->timeout);
      dracnerr(st, DRFAC_DRG, 11212, 2, DRA_STR, j->name, DRA_STR, secs.c_str(), 0);
      status = 128 + 9;
    }
    if (status != 0) {
      dracnerr(st, DRFAC_DRG, 11207, 2, DRA_SB4, &status, 0);
      druetrc();
      return 1;
    }
    return 0;
  }
  int16_t status = j->entry ? j->entry(in.c_str(), out.c_str()) : -1;
  if (status != 0) {
    dracnerr(st, DRFAC_DRG, 11200, 0, DRA_SB2, &status, 0);
    druetrc();
    return 1;
  }
  return 0;
}

}  // namespace

namespace {

// Makes a private folder into dir; 0 / 1 after pushing why.
int mkfolder(drsrvstate *st, std::string *dir) {
  char tmp[SDRG_PATHMAX];
  if (ostmpdir(tmp, sizeof tmp) < 0) {
    dracnerr(st, DRFAC_DRG, 11101, 2, DRA_STR, "TEMPFILE", 0);
    druetrc();
    return 1;
  }
  *dir = std::string(tmp) + "drbXXXXXX";
  if (!mkdtemp(dir->data())) {
    dir->clear();
    dracnerr(st, DRFAC_DRG, 11101, 2, DRA_STR, "TEMPFILE", 0);
    druetrc();
    return 1;
  }
  return 0;
}

// The folder of one job: the filter's kept folder while it is still a
// directory of ours that nobody else may enter (something may have swept
// the temporary area meanwhile), else a new one, kept when the filter keeps
// one. 0 / 1 after pushing why.
int folder(drsrvstate *st, drgbtdir *keep, std::string *dir) {
  if (keep && keep->path[0]) {
    struct stat sb;
    if (lstat(keep->path, &sb) == 0 && S_ISDIR(sb.st_mode) && sb.st_uid == geteuid() &&
        (sb.st_mode & 077) == 0) {
      *dir = keep->path;
      return 0;
    }
    keep->path[0] = 0;
  }
  if (mkfolder(st, dir) != 0) return 1;
  if (keep && dir->size() < sizeof keep->path) std::memcpy(keep->path, dir->c_str(), dir->size() + 1);
  return 0;
}

// Ends a job: empties its folder, and removes it unless the filter keeps it.
void release(const std::string &dir, const drgbtdir *keep) {
  if (dir.empty()) return;
  empty(dir);
  if (!keep || dir != keep->path) rmdir(dir.c_str());
}

}  // namespace

void drgbtdirgone(drgbtdir *d) {
  if (!d || !d->path[0]) return;
  std::string dir = d->path;
  d->path[0] = 0;
  release(dir, nullptr);
}

int drgbtconv(drgbtjob *j) {
  drsrvstate *st = j->st;
  std::string dir;
  if (folder(st, j->dir, &dir) != 0) return 1;
  std::string in = dir + "/drbin", out = dir + "/drbou";
  int rc = put(j, in);
  if (rc == 0) rc = run(j, in, out);
  if (rc == 0) {
    unlink(in.c_str());
    rc = get(j, out);
  }
  release(dir, j->dir);
  if (rc != 0) druetrc();
  return rc;
}

int drgbtwhole(drsrvstate *st, druvfd *in, int *code, int32_t *sub, drgbtdir *keep) {
  std::string dir;
  if (folder(st, keep, &dir) != 0) return 1;
  drgbtjob j = {};
  j.st = st;
  j.in = in;
  std::string path = dir + "/drbin";
  int rc = put(&j, path);
  if (rc == 0) {
    cxstate *r = rcgnew();
    if (!r) {
      dracnerr(st, DRFAC_DRG, 10900, 2, 0);
      rc = 1;
    } else {
      int32_t s = 0;
      int c = rcgdetectfile(r, path.c_str(), &s);
      rcgfree(r);
      // The file was just written: failing to read it back is a copy fault.
      if (c < 0) {
        rc = copyerr(st);
      } else {
        *code = c;
        *sub = s;
      }
    }
  }
  release(dir, keep);
  // put leaves the document closed; the caller reads it on from its start.
  if (!druvfopen(in, DRUVF_READ)) rc = 1;
  if (rc != 0) druetrc();
  return rc;
}

int drgbtname(const char *name) {
  if (!name || !*name) return 1;
  for (const char *c = DRGBT_FORBIDDEN; *c; ++c)
    if (std::strchr(name, *c)) return 1;
  // Control characters have no place in a file name either.
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(name); *p; ++p)
    if (*p < 0x20 || *p == 0x7F) return 1;
  return 0;
}

int drgbtbin(drsrvstate *st, char *out, size_t size) {
  char home[SDRG_PATHMAX];
  if (rtcfg(st->rt, "KESTRIN_HOME", home, sizeof home) <= 0) return 0;
  size_t hl = std::strlen(home);
  const char *sep = hl > 0 && home[hl - 1] == '/' ? "bin/" : "/bin/";
  int n = std::snprintf(out, size, "%s%s", home, sep);
  if (n < 0 || static_cast<size_t>(n) >= size) return -1;
  return n;
}
