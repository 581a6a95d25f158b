// The chaining filter. What a sub-filter pushed while refusing a document
// is dropped once a later one accepts it, so that the error stack speaks
// only of what went wrong; when none accepts, every reason stays.
#include "dr/drgb/drgr.h"

#include "dr/drd/drd.h"
#include "dr/drgb/drgb.h"
#include "dr/drgb/drgu.h"
#include "dr/drgh/drgh.h"
#include "platform/rt/rt.h"

namespace {

drgrstate *filof(drobj *o) { return reinterpret_cast<drgrstate *>(o); }

void internal(drsrvstate *s, int num, int line) {
  dracnierr(s, DRFAC_DRG, num, 2, DRA_STR, __FILE__, DRA_INT, line, 0);
  druetrc();
}

int drgrbnd(drobj *o, int32_t polid, drobj *ds, int32_t prefid, uint8_t) {
  drgrstate *f = filof(o);
  drsrvstate *st = f->st;
  if (f->nsubs != 0) {
    // Bound once: a second binding would leak the first sub-filters.
    druetrc();
    return 1;
  }
  f->ds = ds;
  drdplist *l = nullptr;
  if (drdpopn(st, prefid, &l) != 0) {
    internal(st, 51501, __LINE__);
    return 1;
  }
  int16_t format = 998;
  drdmattr *a = nullptr;
  if (drdpfnd(l, DRGR_ATTR_FORMAT, &a) == 0 && a) format = static_cast<int16_t>(drdpnum(a) & 0xFFFF);
  const char *prog = nullptr;
  drdpval(l, nullptr, DRGR_ATTR_PROGRAM, "", &prog);
  bool program = prog && *prog;
  drdpcls(l);
  drobj *(*ctors[3])(drsrvstate *, drheap) = {};
  int n = 0;
  if (format == 997) {
    if (program) ctors[n++] = drgunew;
    ctors[n++] = drghnew;
  }
  ctors[n++] = drgbnew;
  for (int i = 0; i < n; ++i) {
    drobj *sub = ctors[i](st, f->heap);
    if (!sub) {
      druetrc();
      return 1;
    }
    f->subs[f->nsubs++] = sub;
  }
  for (int i = 0; i < f->nsubs; ++i) {
    drobj *sub = f->subs[i];
    if (drops<drfilops>(sub)->bnd(sub, polid, ds, prefid, 0) != 0) {
      // A user-program filter that fails its binding is already gone.
      if (ctors[i] == drgunew) {
        for (int k = i; k + 1 < f->nsubs; ++k) f->subs[k] = f->subs[k + 1];
        --f->nsubs;
      }
      druetrc();
      return 1;
    }
  }
  return 0;
}

int drgrcount(drobj *o, int32_t *count) {
  drgrstate *f = filof(o);
  return drops<drdsops>(f->ds)->count(f->ds, count);
}

int drgrnext(drobj *o, int32_t *op, char *key) {
  drgrstate *f = filof(o);
  f->active = nullptr;
  if (key) {
    int rc = drops<drdsops>(f->ds)->next(f->ds, op, key);
    if (rc == 2) return 2;
    if (rc != 0 || (op && *op != 1)) return rc;
  }
  int depth = rtmsgcnt(f->st->msg);
  for (int i = 0; i < f->nsubs; ++i) {
    drobj *sub = f->subs[i];
    if (drops<drfilops>(sub)->next(sub, nullptr, nullptr) == 0) {
      f->active = sub;
      break;
    }
    if (drops<drdsops>(f->ds)->seek(f->ds, 0, 0) != 0) {
      druetrc();
      return 1;
    }
  }
  if (!f->active) {
    druetrc();
    return 1;
  }
  while (rtmsgcnt(f->st->msg) > depth) rtmsgdel(f->st->msg, rtmsgcnt(f->st->msg));
  return 0;
}

int drgrread(drobj *o, void *dst, int32_t room, int32_t *got) {
  drobj *a = filof(o)->active;
  return a ? drops<drfilops>(a)->read(a, dst, room, got) : 1;
}

int drgrseek(drobj *o, int32_t off, uint8_t rel) {
  drobj *a = filof(o)->active;
  return a ? drops<drfilops>(a)->seek(a, off, rel) : 1;
}

int drgrtell(drobj *o, int32_t *off) {
  drobj *a = filof(o)->active;
  return a ? drops<drfilops>(a)->tell(a, off) : 1;
}

int drgricf(drobj *o, drobj *writer) {
  drobj *a = filof(o)->active;
  return a ? drops<drfilops>(a)->icf(a, writer) : 1;
}

int drgrmark(drobj *o, const int32_t *offs, const int32_t *lens, const int32_t *strengths,
             int32_t count, const char *stag, const char *etag, drobj *writer) {
  drobj *a = filof(o)->active;
  return a ? drops<drfilops>(a)->mark(a, offs, lens, strengths, count, stag, etag, writer) : 1;
}

int drgrsetmode(drobj *o, int32_t mode) {
  drgrstate *f = filof(o);
  int rc = 0;
  for (int i = 0; i < f->nsubs; ++i)
    if (drops<drfilops>(f->subs[i])->setmode(f->subs[i], mode) != 0) rc = 1;
  return rc;
}

int drgrreset(drobj *o, int32_t kind) {
  drgrstate *f = filof(o);
  int rc = 0;
  for (int i = 0; i < f->nsubs; ++i)
    if (drops<drfilops>(f->subs[i])->reset(f->subs[i], kind) != 0) rc = 1;
  return rc;
}

int drgrfree(drobj *o) {
  drgrstate *f = filof(o);
  drsrvstate *s = f->st;
  for (int i = 0; i < f->nsubs; ++i) drops<drfilops>(f->subs[i])->free(f->subs[i]);
  void *self = f;
  drumfre(s, s->hpmgr, f->heap, &self);
  return 0;
}

const drobjhd<drfilops> kTpl = {{DRCLS_FILTER, 1, nullptr},
                                {.bnd = drgrbnd,
                                 .count = drgrcount,
                                 .next = drgrnext,
                                 .read = drgrread,
                                 .seek = drgrseek,
                                 .tell = drgrtell,
                                 .setmode = drgrsetmode,
                                 .icf = drgricf,
                                 .mark = drgrmark,
                                 .reset = drgrreset,
                                 .free = drgrfree}};

}  // namespace

drobj *drgrnew(drsrvstate *s, drheap h) {
  auto *f = drobjnew<drgrstate>(s, h, kTpl);
  if (!f) {
    internal(s, 51500, __LINE__);
    return nullptr;
  }
  return &f->hd.obj;
}
