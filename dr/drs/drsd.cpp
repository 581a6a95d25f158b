// The kinds of data store over the row reader: plain rows, where the text
// column holds the document; detail rows, where a document is every row of
// a key in line order; and files, where the text column names the file. The
// last two gather the document in the record's document buffer.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dr/drs/drsurl.h"
#include "dr/drs/drsx.h"
#include "dr/dru/drue.h"
#include "platform/nls/nls.h"

namespace {

constexpr drobjhd<drdsops> kPlain = {
    {DRCLS_DATASTORE, 1, nullptr},
    {.start = drsxstart, .dml = drsxdml, .key = drsxkey, .count = drsxcount,
     .next = drsxnextkey, .read = drsxfetch, .seek = drsxseek, .tell = drsxtell,
     .reset = drsxreset, .free = drsxclose}};

constexpr drobjhd<drdsops> kDetail = {
    {DRCLS_DATASTORE, 2, nullptr},
    {.start = drsxstart, .dml = drsxdml, .key = drsxkey, .count = drsxcount,
     .next = drsdetnext, .read = drsdetread, .seek = drsdetseek, .tell = drsdettell,
     .reset = drsxreset, .free = drsdetfree}};

constexpr drobjhd<drdsops> kFile = {
    {DRCLS_DATASTORE, 3, nullptr},
    {.start = drsxstart, .dml = drsxdml, .key = drsxkey, .count = drsxcount,
     .next = drsfilnext, .read = drsfilread, .seek = drsfilseek, .tell = drsfiltell,
     .reset = drsxreset, .free = drsfilfree}};

// Bytes of a file name: a longer name is refused, never cut.
constexpr int32_t kNameMax = 512;

drobj *make(drsrvstate *st, drheap heap, int32_t polid, int32_t prefid, int32_t kind,
            const drobjhd<drdsops> &tpl, bool buffer) {
  drsxstate *x = drsxnew(st, heap, polid, prefid, kind);
  if (!x) {
    druetrc();
    return nullptr;
  }
  x->hd = tpl;
  if (buffer) druvfinit(&x->doc, st, heap, nullptr);
  return &x->hd.obj;
}

// Appends the current row's text (and its line break) to the buffer.
int append(drsxstate *x) {
  char buf[2000];
  int32_t got = 0;
  for (;;) {
    int rc = drsxfetch(&x->hd.obj, buf, sizeof buf, &got);
    if (rc == 2) return 0;
    if (rc != 0) return 1;
    if (druvfwrite(&x->doc, buf, static_cast<int16_t>(got)) < 0) return 1;
  }
}

}  // namespace

// Opens a document file for reading, as the database guards reading files
// of its machine: the name is resolved (links, "." and "..") and, where the
// policy sets PATH, must stay inside that folder; only a regular file is
// opened, and without blocking, so that a FIFO, device, socket or folder is
// a document error and never a wait. The descriptor, or -1 after pushing
// why.
int drsfilopen(drsrvstate *st, const char *dir, const char *name) {
  std::string full = name;
  if (dir && *dir && name[0] != '/') full = std::string(dir) + "/" + name;
  char real[PATH_MAX];
  if (!realpath(full.c_str(), real)) {
    dracnerr(st, DRFAC_DRG, 11101, 2, DRA_STR, name, 0);
    return -1;
  }
  if (dir && *dir) {
    char top[PATH_MAX];
    if (!realpath(dir, top)) {
      dracnerr(st, DRFAC_DRG, 11107, 2, DRA_STR, dir, 0);
      return -1;
    }
    size_t n = std::strlen(top);
    bool inside = std::strncmp(real, top, n) == 0 && (real[n] == '/' || (n == 1 && top[0] == '/'));
    if (!inside) {
      dracnerr(st, DRFAC_DRG, 10725, 2, DRA_STR, name, DRA_STR, dir, 0);
      return -1;
    }
  }
  struct stat sb;
  if (stat(real, &sb) != 0 || !S_ISREG(sb.st_mode)) {
    dracnerr(st, DRFAC_DRG, 10726, 2, DRA_STR, name, 0);
    return -1;
  }
  // What was checked is what is opened: no link taken on the way, and a
  // file swapped for another kind in between is refused again.
  int fd = open(real, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    dracnerr(st, DRFAC_DRG, 11101, 2, DRA_STR, name, 0);
    return -1;
  }
  if (fstat(fd, &sb) != 0 || !S_ISREG(sb.st_mode)) {
    close(fd);
    dracnerr(st, DRFAC_DRG, 10726, 2, DRA_STR, name, 0);
    return -1;
  }
  return fd;
}

drobj *drsdirnew(drsrvstate *st, drheap heap, int32_t polid, int32_t prefid) {
  return make(st, heap, polid, prefid, DRSX_ROWKIND, kPlain, false);
}

drobj *drsdetnew(drsrvstate *st, drheap heap, int32_t polid, int32_t prefid) {
  return make(st, heap, polid, prefid, DRSX_DETAILKIND, kDetail, true);
}

drobj *drsfilnew(drsrvstate *st, drheap heap, int32_t polid, int32_t prefid) {
  return make(st, heap, polid, prefid, DRSX_ROWKIND, kFile, true);
}

int drsdetnext(drobj *ds, int32_t *op, char *key) {
  drsxstate *x = drsxof(ds);
  int rc = drsxnextkey(ds, op, key);
  // A deleted document has no text; the buffer keeps what it held.
  if (rc != 0 || *op == DRSX_OPDELETE) return rc;
  if (drsxrewrite(x) != 0 || append(x) != 0) {
    druetrc();
    return 1;
  }
  const nlscs *cs = dracncs(x->st);
  char next[DRDS_KEYSIZE];
  int32_t nop = 0;
  while ((rc = drsxnextkey(ds, &nop, next)) == 0 && nlscmp(cs, next, key) == 0) {
    if (append(x) != 0) {
      druetrc();
      return 1;
    }
  }
  if (rc == 1) {
    druetrc();
    return 1;
  }
  // The row of the next key (or the end) is handed out again next time.
  drsxunread(x);
  if (drsxreadback(x) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drsfilnext(drobj *ds, int32_t *op, char *key) {
  drsxstate *x = drsxof(ds);
  drsrvstate *st = x->st;
  int rc = drsxnextkey(ds, op, key);
  if (rc != 0) return rc;
  // One byte more than a name may hold tells a name that is too long.
  char name[kNameMax + 2];
  int32_t got = 0;
  rc = drsxfetch(ds, name, kNameMax + 1, &got);
  if (rc == 1) return 1;
  if (rc == 2) got = 0;
  if (got > kNameMax) {
    dracnerr(st, DRFAC_DRG, 10724, 2, DRA_INT, static_cast<int>(kNameMax), 0);
    return drsxfail(x);
  }
  name[got] = '\0';
  // A file that cannot be read is an error of this document alone, which
  // says so itself.
  int fd = name[0] ? drsfilopen(st, x->path, name) : -1;
  if (name[0] && fd < 0) {
    druetrc();
    return 1;
  }
  bool bad = drsxrewrite(x) != 0;
  char buf[DRUVF_BLOCK];
  while (fd >= 0 && !bad) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) dracnerr(st, DRFAC_DRG, 11101, 2, DRA_STR, name, 0);
    if (n <= 0) {
      bad = n < 0;
      break;
    }
    bad = druvfwrite(&x->doc, buf, static_cast<int16_t>(n)) < 0;
  }
  if (fd >= 0) close(fd);
  if (bad || drsxreadback(x) != 0) return drsxfail(x);
  return 0;
}

int drsdetread(drobj *ds, void *dst, int32_t n, int32_t *got) {
  int16_t want = static_cast<int16_t>(n > INT16_MAX ? INT16_MAX : n < 0 ? 0 : n);
  int16_t r = druvfread(&drsxof(ds)->doc, dst, want);
  *got = r < 0 ? 0 : r;
  if (r < 0) {
    druetrc();
    return 1;
  }
  return r == 0 ? 2 : 0;
}

int drsdetseek(drobj *ds, int32_t off, uint8_t rel) {
  if (druvfseek(&drsxof(ds)->doc, off, rel ? 1 : 0) < 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drsdettell(drobj *ds, int32_t *off) {
  int32_t pos = druvfseek(&drsxof(ds)->doc, 0, 1);
  if (pos < 0) {
    druetrc();
    return 1;
  }
  *off = pos;
  return 0;
}

int drsdetfree(drobj *ds) {
  drsxstate *x = drsxof(ds);
  if ((x->doc.open && druvfclose(&x->doc) < 0) || druvfdestroy(&x->doc) != 0) {
    druetrc();
    return 1;
  }
  return drsxclose(ds);
}
