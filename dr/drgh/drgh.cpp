// The HTML filter: per document the text buffer is rebuilt from the input
// (or from its Japanese conversion); the markup reads the same source again,
// so that the hit offsets found in the text fall where they belong.
#include "dr/drgh/drgh.h"

#include <algorithm>

#include "dr/drd/drd.h"
#include "dr/drgh/druj.h"

namespace {

drghstate *filof(drobj *o) { return reinterpret_cast<drghstate *>(o); }

void internal(drsrvstate *s, int num, int line) {
  dracnierr(s, DRFAC_DRG, num, 2, DRA_STR, __FILE__, DRA_INT, line, 0);
  druetrc();
}

// Reopens a buffer in a mode; 0 / 1.
int reopen(druvfd *vf, int16_t mode) {
  if (druvfclose(vf) != 0 || !druvfopen(vf, mode)) {
    druetrc();
    return 1;
  }
  return 0;
}

// A buffer from the record's heap over the data store or, with none, a
// block chain; null after the heap manager's message.
druvfd *newbuf(drghstate *f, drobj *src) {
  auto *vf = static_cast<druvfd *>(drumalz(f->st, f->st->hpmgr, f->heap, sizeof(druvfd),
                                           __FILE__, __LINE__));
  if (vf) druvfinit(vf, f->st, f->heap, src);
  return vf;
}

void freebuf(drghstate *f, druvfd **vf) {
  if (!*vf) return;
  druvfdestroy(*vf);
  void *p = *vf;
  drumfre(f->st, f->st->hpmgr, f->heap, &p);
  *vf = nullptr;
}

int drghbnd(drobj *o, int32_t polid, drobj *ds, int32_t prefid, uint8_t standalone) {
  drghstate *f = filof(o);
  if (f->polid != 0) {
    druetrc();
    return 1;
  }
  f->polid = polid;
  f->prefid = prefid;
  f->ds = ds;
  f->standalone = standalone;
  bool detect = standalone == 0;
  if (standalone) {
    drdplist *l = nullptr;
    if (drdpopn(f->st, prefid, &l) != 0) {
      internal(f->st, 51501, __LINE__);
      return 1;
    }
    drdmattr *a = nullptr;
    if (drdpfnd(l, DRGH_ATTR_JAPANESE, &a) == 0 && a) detect = (drdpnum(a) & 0xFF) != 0;
    drdpcls(l);
  }
  f->input = newbuf(f, ds);
  if (f->input) f->text = newbuf(f, nullptr);
  if (f->text) f->markup = newbuf(f, nullptr);
  if (f->markup && detect) f->japanese = newbuf(f, nullptr);
  if (!f->markup || (detect && !f->japanese)) {
    internal(f->st, 51501, __LINE__);
    return 1;
  }
  f->source = f->input;
  return 0;
}

int drghcount(drobj *o, int32_t *count) {
  drghstate *f = filof(o);
  return drops<drdsops>(f->ds)->count(f->ds, count);
}

// Converts the input into the server's Japanese set when detection finds
// another encoding; the source is then the converted copy. 0 / 1.
int japanese(drghstate *f) {
  drujstate r;
  drujinit(f->st, &r);
  if (drujdetect(&r, f->input) != 0 || druvfseek(f->input, 0, 0) < 0) return 1;
  if (r.enc == DRUJ_NONE || (r.dcs && r.enc == r.srvid)) return 0;
  if (reopen(f->japanese, DRUVF_REWRITE) != 0 || drujconv(&r, f->input, f->japanese) != 0 ||
      reopen(f->japanese, DRUVF_READ) != 0)
    return 1;
  f->source = f->japanese;
  return 0;
}

int drghnext(drobj *o, int32_t *op, char *key) {
  drghstate *f = filof(o);
  if (!f->input) {
    internal(f->st, 50600, __LINE__);
    return 1;
  }
  if (druvfclose(f->input) != 0 || druvfclose(f->text) != 0) return 1;
  if (key) {
    int rc = drops<drdsops>(f->ds)->next(f->ds, op, key);
    if (rc == 2) return 2;
    if (rc != 0 || (op && *op != 1)) return rc;
  }
  if (!druvfopen(f->input, DRUVF_READ) || !druvfopen(f->text, DRUVF_REWRITE)) return 1;
  f->source = f->input;
  if (!f->standalone) {
    if (drghbin(f->input) != 0) return 1;
    if (druvfseek(f->input, 0, 0) < 0) return 1;
  }
  if (f->japanese && japanese(f) != 0) return 1;
  if (drghctext(f->conv, f->source, f->text, f->standalone) != 0) return 1;
  return reopen(f->text, DRUVF_READ);
}

int drghread(drobj *o, void *dst, int32_t room, int32_t *got) {
  drghstate *f = filof(o);
  // One buffer read takes at most 32767 bytes: a larger room is served in
  // part rather than taken for a negative one.
  int16_t n = druvfread(f->text, dst, static_cast<int16_t>(std::clamp<int32_t>(room, 0, INT16_MAX)));
  if (n < 0) return 1;
  *got = n;
  return n == 0 && room > 0 ? 2 : 0;
}

int drghseek(drobj *o, int32_t off, uint8_t rel) {
  return druvfseek(filof(o)->text, off, rel ? 1 : 0) < 0 ? 1 : 0;
}

int drghtell(drobj *o, int32_t *off) {
  int32_t pos = druvfseek(filof(o)->text, 0, 1);
  if (pos < 0) return 1;
  *off = pos;
  return 0;
}

int drghsetmode(drobj *o, int32_t mode) {
  filof(o)->mode = mode;
  return 0;
}

int drghicf(drobj *o, drobj *) {
  dracnerr(filof(o)->st, DRFAC_DRG, 11210, 2, 0);
  druetrc();
  return 1;
}

int drghmark(drobj *o, const int32_t *offs, const int32_t *lens, const int32_t *strengths,
             int32_t count, const char *stag, const char *etag, drobj *writer) {
  drghstate *f = filof(o);
  if (!f->markup || reopen(f->markup, DRUVF_REWRITE) != 0) return 1;
  uint32_t n = count > 0 ? static_cast<uint32_t>(count) : 0;
  if (drghcmark(f->conv, f->source, f->markup, f->standalone, offs, lens, strengths, n, stag,
                etag) != 0 ||
      reopen(f->markup, DRUVF_READ) != 0)
    return 1;
  char buf[2000];
  for (;;) {
    int16_t got = druvfread(f->markup, buf, sizeof buf);
    if (got < 0) return 1;
    if (got == 0) break;
    if (drops<drrdocops>(writer)->append(writer, buf, static_cast<uint32_t>(got)) != 0) {
      druetrc();
      return 1;
    }
  }
  return druvfclose(f->markup) != 0 ? 1 : 0;
}

int drghreset(drobj *, int32_t) { return 0; }

int drghfree(drobj *o) {
  drghstate *f = filof(o);
  drsrvstate *s = f->st;
  freebuf(f, &f->input);
  freebuf(f, &f->text);
  freebuf(f, &f->markup);
  freebuf(f, &f->japanese);
  drghcfree(f->conv);
  void *self = f;
  drumfre(s, s->hpmgr, f->heap, &self);
  return 0;
}

const drobjhd<drfilops> kTpl = {{DRCLS_FILTER, 1, nullptr},
                                {.bnd = drghbnd,
                                 .count = drghcount,
                                 .next = drghnext,
                                 .read = drghread,
                                 .seek = drghseek,
                                 .tell = drghtell,
                                 .setmode = drghsetmode,
                                 .icf = drghicf,
                                 .mark = drghmark,
                                 .reset = drghreset,
                                 .free = drghfree}};

}  // namespace

drobj *drghnew(drsrvstate *s, drheap h) {
  auto *f = drobjnew<drghstate>(s, h, kTpl);
  if (!f) {
    internal(s, 51500, __LINE__);
    return nullptr;
  }
  f->mode = 1;
  f->conv = drghcnew(s);
  if (!f->conv) {
    internal(s, 51500, __LINE__);
    void *self = f;
    drumfre(s, s->hpmgr, h, &self);
    return nullptr;
  }
  return &f->hd.obj;
}

int drghbin(druvfd *buf) {
  unsigned char a[2048];
  int n = 0;
  for (;;) {
    int16_t got = druvfread(buf, a + n, static_cast<int16_t>(sizeof a - static_cast<size_t>(n)));
    if (got < 0) return 1;
    if (got == 0 || (n += got) == static_cast<int>(sizeof a)) break;
  }
  bool nul = false;
  for (int i = 0; i + 4 <= n; ++i) {
    unsigned char b = a[i];
    if (b == 0) {
      nul = true;
      continue;
    }
    if ((b >= 0x01 && b <= 0x06) || (b >= 0x10 && b <= 0x15) || b == 0x17 || b == 0x7F ||
        b == 0xFF || nul)
      return 1;
  }
  return 0;
}
