// The user-program translator: a program of the product's bin folder turns
// each input file into a load file, a temporary file deleted again once the
// loader is done with it. The program runs from an argument vector, never
// through a shell, and its name must name a file of that folder itself.
#include <cstring>

#include "dr/drbx/drbx.h"
#include "dr/drd/drd.h"
#include "dr/drg/sdrgb.h"

namespace {

drbxustate *trnof(drobj *o) { return reinterpret_cast<drbxustate *>(o); }

// Characters a program name may not hold: with none of them it can only
// name a file right in the bin folder, and cannot be read as options or
// shell syntax.
const char kForbidden[] = "!@#$%^&*()~`',/\\ :\"";

bool badname(const char *name) {
  if (name[0] == '-' || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return true;
  for (const char *p = name; *p; ++p) {
    if (std::strchr(kForbidden, *p) || static_cast<unsigned char>(*p) < 0x20) return true;
  }
  return false;
}

// Builds the program's full path under $KESTRIN_HOME/bin and checks that it
// can be run; 0, or 1 after pushing the cause.
int drbxupath(drbxustate *t) {
  drsrvstate *st = t->st;
  char home[SDRG_PATHMAX];
  if (rtcfg(st->rt, "KESTRIN_HOME", home, sizeof home) <= 0 || !home[0]) {
    dracnerr(st, DRFAC_DRG, 12004, 2, 0);
    return 1;
  }
  size_t hl = std::strlen(home);
  const char *sep = home[hl - 1] == '/' ? "bin/" : "/bin/";
  char path[DRBX_PROGRAM];
  int n = drasmfmt(st->fmt, path, sizeof path, "%s%s%s", DRA_STR, home, DRA_STR, sep, DRA_STR,
                   t->program, 0);
  if (n < 0 || static_cast<size_t>(n) >= sizeof path) {
    dracnerr(st, DRFAC_DRG, 12002, 2, DRA_STR, t->program, 0);
    return 1;
  }
  std::memcpy(t->program, path, static_cast<size_t>(n) + 1);
  if (sdrgisexe(st, t->program) != 0) {
    dracnerr(st, DRFAC_DRG, 12002, 2, DRA_STR, t->program, 0);
    return 1;
  }
  return 0;
}

// Binds once: attribute 1 names the program.
int drbxubnd(drobj *o, int32_t polid, int32_t prefid) {
  drbxustate *t = trnof(o);
  drsrvstate *st = t->st;
  if (t->polid != -1) return t->polid == polid ? 0 : 1;
  t->polid = polid;
  t->prefid = prefid;
  t->withname = 0;
  drdplist *l = nullptr;
  if (drdpopn(st, prefid, &l) != 0) {
    dracnierr(st, DRFAC_DRG, 51501, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
    druetrc();
    return 1;
  }
  int rc = 0;
  drdmattr *a = nullptr;
  while (drdpnxt(l, &a) == 0) {
    if (a->ordinal != 1) {
      dracnierr(st, DRFAC_DRG, 100, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT,
                static_cast<int>(a->ordinal), 0);
      rc = 1;
      break;
    }
    const char *v = a->datatype == 1 && a->value.str ? a->value.str : "";
    size_t n = std::strlen(v);
    if (n >= sizeof t->program) n = 0;  // refused below as unnamed
    std::memcpy(t->program, v, n);
    t->program[n] = 0;
  }
  if (rc == 0) {
    if (!t->program[0]) {
      dracnerr(st, DRFAC_DRG, 12002, 2, DRA_STR, t->program, 0);
      rc = 1;
    } else if (badname(t->program)) {
      dracnerr(st, DRFAC_DRG, 11205, 2, DRA_STR, t->program, 0);
      rc = 1;
    } else {
      rc = drbxupath(t);
    }
  }
  drdpcls(l);
  if (rc != 0) {
    dracnierr(st, DRFAC_DRG, 51501, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
    druetrc();
  }
  return rc;
}

int drbxutarget(drobj *o, const char *table, const char *column) {
  drbxustate *t = trnof(o);
  return drbxcopy(t->st, t->table, table) != 0 || drbxcopy(t->st, t->column, column) != 0;
}

// Deletes the current translation, if any.
void droptmp(drbxustate *t) {
  if (t->tmp) sdrgdelname(t->st, t->tmp);
  t->tmp = nullptr;
}

// Translates the reader's files until one gives a load file; inputs whose
// translation fails are reported to the reader and passed over.
int drbxunext(drobj *o, drobj *rdr, char *name, char *table, char *column, uint8_t *withname) {
  drbxustate *t = trnof(o);
  drsrvstate *st = t->st;
  const drrdrops *rops = drops<drrdrops>(rdr);
  char input[DRRDR_NAMESIZE];
  int rc = rops->next(rdr, input);
  while (rc == 0) {
    droptmp(t);
    t->tmp = sdrgtmpnam(st, nullptr, "drb");
    if (!t->tmp) {
      dracnerr(st, DRFAC_DRG, 12006, 2, 0);
      dracnerr(st, DRFAC_DRG, 12007, 2, DRA_STR, input, 0);
      druetrc();
      return 1;
    }
    int64_t insize = -1, outsize = -1, mtime = 0;
    bool inread = sdrgfsize(input, &insize, &mtime) == 0;
    const char *argv[] = {t->program, input, t->tmp, nullptr};
    int status = sdrgrun(st, argv);
    if (status != 0) {
      dracnprt(st, st->log, "executing command: %s %s %s\n", DRA_STR, t->program, DRA_STR, input,
               DRA_STR, t->tmp, 0);
      dracnerr(st, DRFAC_DRG, 12003, 2, DRA_INT, status, 0);
    }
    bool outread = sdrgfsize(t->tmp, &outsize, &mtime) == 0;
    // A program that failed may have left half a translation: loading it
    // would delete an input that was never loaded whole.
    if (status == 0 && outread && outsize > 0) {
      std::strncpy(name, t->tmp, DRRDR_NAMESIZE - 1);
      name[DRRDR_NAMESIZE - 1] = 0;
      std::memcpy(table, t->table, DRBX_TARGET);
      std::memcpy(column, t->column, DRBX_TARGET);
      *withname = 0;
      return 0;
    }
    if (status != 0 || !inread || !outread || insize != 0) {
      dracnerr(st, DRFAC_DRG, 12005, 2, DRA_STR, input, 0);
      droptmp(t);
      rc = rops->fail(rdr);
    } else {
      // An empty input translated to nothing: loaded, as it holds nothing.
      droptmp(t);
      rc = rops->done(rdr);
    }
    if (rc == 0) rc = rops->next(rdr, input);
    if (rc == 1) {
      dracnprt(st, st->log, "Cannot recover from previous errors...\n", 0);
      druetrc();
      return 1;
    }
  }
  return rc;
}

int drbxudone(drobj *o, drobj *rdr) {
  droptmp(trnof(o));
  return drops<drrdrops>(rdr)->done(rdr);
}

int drbxufail(drobj *o, drobj *rdr) {
  droptmp(trnof(o));
  return drops<drrdrops>(rdr)->fail(rdr);
}

int drbxufree(drobj **po) {
  if (!po || !*po) return 0;
  drbxustate *t = trnof(*po);
  droptmp(t);
  void *b = t;
  drumfre(t->st, t->st->hpmgr, t->heap, &b);
  *po = nullptr;
  return 0;
}

const drobjhd<drtrnops> kTpl = {{DRCLS_TRANSLATOR, 2, nullptr},
                                {.bnd = drbxubnd,
                                 .target = drbxutarget,
                                 .next = drbxunext,
                                 .done = drbxudone,
                                 .fail = drbxufail,
                                 .free = drbxufree}};

}  // namespace

drobj *drbxunew(drsrvstate *s, drheap h) {
  auto *t = drobjnew<drbxustate>(s, h, kTpl);
  if (!t) return nullptr;
  t->prefid = -1;
  t->polid = -1;
  return &t->hd.obj;
}
