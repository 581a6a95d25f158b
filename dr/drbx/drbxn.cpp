// The plain translator: the reader's file is the load file.
#include <cstring>

#include "dr/drbx/drbx.h"
#include "dr/drd/drd.h"

namespace {

drbxnstate *trnof(drobj *o) { return reinterpret_cast<drbxnstate *>(o); }

// Binds once; attribute 1 above 0 sets the file-name flag.
int drbxnbnd(drobj *o, int32_t polid, int32_t prefid) {
  drbxnstate *t = trnof(o);
  if (t->polid != -1) return t->polid == polid ? 0 : 1;
  t->polid = polid;
  t->prefid = prefid;
  t->withname = 0;
  drdplist *l = nullptr;
  if (drdpopn(t->st, prefid, &l) != 0) {
    druetrc();
    return 1;
  }
  int rc = 0;
  drdmattr *a = nullptr;
  while (drdpnxt(l, &a) == 0) {
    if (a->ordinal != 1) {
      dracnierr(t->st, DRFAC_DRG, 100, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT,
                static_cast<int>(a->ordinal), 0);
      rc = 1;
      break;
    }
    t->withname = drdpnum(a) > 0 ? 1 : 0;
  }
  drdpcls(l);
  if (rc != 0) druetrc();
  return rc;
}

int drbxntarget(drobj *o, const char *table, const char *column) {
  drbxnstate *t = trnof(o);
  return drbxcopy(t->st, t->table, table) != 0 || drbxcopy(t->st, t->column, column) != 0;
}

int drbxnnext(drobj *o, drobj *rdr, char *name, char *table, char *column, uint8_t *withname) {
  drbxnstate *t = trnof(o);
  int rc = drops<drrdrops>(rdr)->next(rdr, name);
  std::memcpy(table, t->table, DRBX_TARGET);
  std::memcpy(column, t->column, DRBX_TARGET);
  *withname = t->withname;
  return rc;
}

int drbxndone(drobj *, drobj *rdr) { return drops<drrdrops>(rdr)->done(rdr); }
int drbxnfail(drobj *, drobj *rdr) { return drops<drrdrops>(rdr)->fail(rdr); }

int drbxnfree(drobj **po) {
  if (!po || !*po) return 0;
  drbxnstate *t = trnof(*po);
  void *b = t;
  drumfre(t->st, t->st->hpmgr, t->heap, &b);
  *po = nullptr;
  return 0;
}

const drobjhd<drtrnops> kTpl = {{DRCLS_TRANSLATOR, 1, nullptr},
                                {.bnd = drbxnbnd,
                                 .target = drbxntarget,
                                 .next = drbxnnext,
                                 .done = drbxndone,
                                 .fail = drbxnfail,
                                 .free = drbxnfree}};

}  // namespace

int drbxcopy(drsrvstate *st, char *dst, const char *src) {
  size_t n = src ? std::strlen(src) : 0;
  if (n >= DRBX_TARGET) {
    dracnerr(st, DRFAC_DRG, 10012, 2, DRA_STR, src, DRA_INT, DRBX_TARGET - 1, 0);
    druetrc();
    return 1;
  }
  if (n) std::memcpy(dst, src, n);
  dst[n] = 0;
  return 0;
}

drobj *drbxnnew(drsrvstate *s, drheap h) {
  auto *t = drobjnew<drbxnstate>(s, h, kTpl);
  if (!t) return nullptr;
  t->prefid = -1;
  t->polid = -1;
  return &t->hd.obj;
}
