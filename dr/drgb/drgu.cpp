// The user-program filter. A failed binding releases the filter itself, so
// that whoever built it only drops its pointer.
#include "dr/drgb/drgu.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "dr/drd/drd.h"
#include "dr/drgb/drgbt.h"
#include "dr/drg/drga.h"
#include "dr/drg/sdrgb.h"
#include "dr/drs/drsx.h"

namespace {

drgustate *filof(drobj *o) { return reinterpret_cast<drgustate *>(o); }

void internal(drsrvstate *s, int num, int line) {
  dracnierr(s, DRFAC_DRG, num, 2, DRA_STR, __FILE__, DRA_INT, line, 0);
  druetrc();
}

druvfd *newbuf(drgustate *f, drobj *src) {
  auto *vf = static_cast<druvfd *>(drumalc(f->st, f->st->hpmgr, f->heap, 1, sizeof(druvfd),
                                           __FILE__, __LINE__));
  if (vf) druvfinit(vf, f->st, f->heap, src);
  return vf;
}

void freebuf(drgustate *f, druvfd **vf) {
  if (!*vf) return;
  druvfdestroy(*vf);
  void *p = *vf;
  drumfre(f->st, f->st->hpmgr, f->heap, &p);
  *vf = nullptr;
}

int drgufree(drobj *o) {
  drgustate *f = filof(o);
  drsrvstate *s = f->st;
  freebuf(f, &f->input);
  freebuf(f, &f->output);
  drgbtdirgone(&f->tmp);
  if (f->path) {
    void *p = f->path;
    drumfre(s, s->hpmgr, f->heap, &p);
  }
  void *self = f;
  drumfre(s, s->hpmgr, f->heap, &self);
  return 0;
}

// Binding fails by releasing the filter.
int fail(drgustate *f) {
  drgufree(&f->hd.obj);
  druetrc();
  return 1;
}

int drgubnd(drobj *o, int32_t, drobj *ds, int32_t prefid, uint8_t standalone) {
  drgustate *f = filof(o);
  drsrvstate *st = f->st;
  f->ds = ds;
  f->current = nullptr;
  drdplist *l = nullptr;
  if (drdpopn(st, prefid, &l) != 0) {
    internal(st, 51501, __LINE__);
    return fail(f);
  }
  const char *prog = nullptr;
  drdpval(l, nullptr, standalone ? DRGU_ATTR_PROGRAM : DRGU_SUB_PROGRAM, nullptr, &prog);
  f->timeout = drgutimeout(l, standalone ? DRGU_ATTR_TIMEOUT : DRGU_SUB_TIMEOUT);
  // The name outlives the list: it is copied into the path below.
  std::string name = prog ? prog : "";
  drdpcls(l);
  if (name.empty()) {
    internal(st, 51501, __LINE__);
    return fail(f);
  }
  if (drgbtname(name.c_str()) != 0) {
    dracnerr(st, DRFAC_DRG, 11205, 2, 0);
    return fail(f);
  }
  char bin[SDRG_PATHMAX];
  int bl = drgbtbin(st, bin, sizeof bin);
  if (bl == 0) {
    dracnerr(st, DRFAC_DRG, 11208, 2, 0);
    return fail(f);
  }
  // Paths are built to their length; one the system cannot open is refused.
  size_t need = static_cast<size_t>(bl) + name.size() + 1;
  if (bl < 0 || need > SDRG_PATHMAX) {
    internal(st, 51501, __LINE__);
    return fail(f);
  }
  f->path = static_cast<char *>(drumalc(st, st->hpmgr, f->heap, 1, need, __FILE__, __LINE__));
  if (!f->path) {
    internal(st, 51501, __LINE__);
    return fail(f);
  }
  std::memcpy(f->path, bin, static_cast<size_t>(bl));
  std::memcpy(f->path + bl, name.c_str(), name.size() + 1);
  f->name = f->path + bl;
  if (sdrgisexe(st, f->path) != 0) {
    dracnerr(st, DRFAC_DRG, 11206, 2, DRA_STR, f->name, 0);
    return fail(f);
  }
  f->input = newbuf(f, ds);
  if (f->input) f->output = newbuf(f, nullptr);
  if (!f->output) {
    internal(st, 51501, __LINE__);
    return fail(f);
  }
  return 0;
}

int drgucount(drobj *o, int32_t *count) {
  drgustate *f = filof(o);
  return drops<drdsops>(f->ds)->count(f->ds, count);
}

int drgunext(drobj *o, int32_t *op, char *key) {
  drgustate *f = filof(o);
  f->current = nullptr;
  if (druvfclose(f->input) != 0 || druvfclose(f->output) != 0) {
    druetrc();
    return 1;
  }
  if (key) {
    int rc = drops<drdsops>(f->ds)->next(f->ds, op, key);
    if (rc == 2) return 2;
    if (rc != 0 || (op && *op != 1)) return rc;
  }
  if (drgurun(f) != 0 || !druvfopen(f->output, DRUVF_READ)) {
    druvfclose(f->input);
    druvfclose(f->output);
    druetrc();
    return 1;
  }
  f->current = f->output;
  return 0;
}

int drguread(drobj *o, void *dst, int32_t room, int32_t *got) {
  drgustate *f = filof(o);
  if (!f->current) {
    druetrc();
    return 1;
  }
  int16_t n = druvfread(f->current, dst, static_cast<int16_t>(std::clamp<int32_t>(room, 0, INT16_MAX)));
  if (n < 0) return 1;
  *got = n;
  return n == 0 && room > 0 ? 2 : 0;
}

int drguseek(drobj *o, int32_t off, uint8_t rel) {
  drgustate *f = filof(o);
  if (!f->current) return 1;
  return druvfseek(f->current, off, rel ? 1 : 0) < 0 ? 1 : 0;
}

int drgutell(drobj *o, int32_t *off) {
  drgustate *f = filof(o);
  if (!f->current) return 1;
  int32_t pos = druvfseek(f->current, 0, 1);
  if (pos < 0) return 1;
  *off = pos;
  return 0;
}

int drgusetmode(drobj *, int32_t) { return 0; }

int drguicf(drobj *o, drobj *) {
  dracnerr(filof(o)->st, DRFAC_DRG, 11210, 2, 0);
  druetrc();
  return 1;
}

int drgumark(drobj *o, const int32_t *offs, const int32_t *lens, const int32_t *strengths,
             int32_t count, const char *stag, const char *etag, drobj *writer) {
  return drgamarkup(filof(o)->st, o, offs, lens, strengths, count, stag, etag, writer);
}

int drgureset(drobj *o, int32_t kind) {
  drgustate *f = filof(o);
  if (kind != 1) return 0;
  return druvftrim(f->input, 1) != 0 || druvftrim(f->output, 1) != 0 ? 1 : 0;
}

const drobjhd<drfilops> kTpl = {{DRCLS_FILTER, 1, nullptr},
                                {.bnd = drgubnd,
                                 .count = drgucount,
                                 .next = drgunext,
                                 .read = drguread,
                                 .seek = drguseek,
                                 .tell = drgutell,
                                 .setmode = drgusetmode,
                                 .icf = drguicf,
                                 .mark = drgumark,
                                 .reset = drgureset,
                                 .free = drgufree}};

}  // namespace

drobj *drgunew(drsrvstate *s, drheap h) {
  auto *f = drobjnew<drgustate>(s, h, kTpl);
  if (!f) {
    internal(s, 51500, __LINE__);
    return nullptr;
  }
  f->timeout = DRGBT_TIMEOUT;
  return &f->hd.obj;
}

int drgurun(drgustate *f) {
  drgbtjob j = {f->st, f->input, f->output, f->path, f->name, nullptr, f->timeout,
                drsxmaxdoc(f->st), &f->tmp};
  return drgbtconv(&j);
}

int32_t drgutimeout(drdplist *l, int32_t ordinal) {
  drdmattr *a = nullptr;
  if (drdpfnd(l, ordinal, &a) != 0 || !a) return DRGBT_TIMEOUT;
  return std::clamp<int32_t>(drdpnum(a), 0, DRGBT_TIMEOUT_MAX);
}
