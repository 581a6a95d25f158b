// The document-format filter. Each document is looked at afresh: which
// path takes it (program, converter, framework, inner HTML filter or plain
// text) is chosen by next and holds until the following next.
#include "dr/drgb/drgb.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dr/drd/drd.h"
#include "dr/drg/drga.h"
#include "dr/drg/sdrgb.h"
#include "dr/drgb/drgbt.h"
#include "dr/drgb/drgu.h"
#include "dr/drgh/drgh.h"
#include "dr/drs/drsx.h"

namespace {

drgbstate *filof(drobj *o) { return reinterpret_cast<drgbstate *>(o); }

void internal(drsrvstate *s, int num, int line) {
  dracnierr(s, DRFAC_DRG, num, 0, DRA_STR, __FILE__, DRA_INT, line, 0);
  druetrc();
}

druvfd *newbuf(drgbstate *f, drobj *src) {
  auto *vf = static_cast<druvfd *>(drumalc(f->st, f->st->hpmgr, f->heap, 1, sizeof(druvfd),
                                           __FILE__, __LINE__));
  if (vf) druvfinit(vf, f->st, f->heap, src);
  return vf;
}

void freebuf(drgbstate *f, druvfd **vf) {
  if (!*vf) return;
  druvfdestroy(*vf);
  void *p = *vf;
  drumfre(f->st, f->st->hpmgr, f->heap, &p);
  *vf = nullptr;
}

void freeblk(drgbstate *f, void *p) {
  if (p) drumfre(f->st, f->st->hpmgr, f->heap, &p);
}

// Releases the program list.
void freeprogs(drgbstate *f) {
  for (int32_t i = 0; f->names && i < f->progs; ++i) freeblk(f, f->names[i]);
  freeblk(f, f->names);
  freeblk(f, f->rows);
  freeblk(f, f->bin);
  f->names = nullptr;
  f->rows = nullptr;
  f->bin = nullptr;
  f->progs = 0;
}

bool validformat(int16_t v) { return (v >= 0 && v <= 13) || (v >= 996 && v <= 999); }

struct Entry {
  int16_t row;
  std::string name;
};

// Keeps the program list in the filter's heap; 0 / 1.
int keepprogs(drgbstate *f, const std::vector<Entry> &list) {
  drsrvstate *st = f->st;
  size_t n = list.size();
  f->rows = static_cast<int16_t *>(drumalc(st, st->hpmgr, f->heap, n, sizeof(int16_t), __FILE__, __LINE__));
  f->names = static_cast<char **>(drumalc(st, st->hpmgr, f->heap, n, sizeof(char *), __FILE__, __LINE__));
  if (!f->rows || !f->names) return 1;
  f->progs = static_cast<int32_t>(n);
  for (size_t i = 0; i < n; ++i) {
    f->rows[i] = list[i].row;
    f->names[i] = static_cast<char *>(
        drumalc(st, st->hpmgr, f->heap, 1, list[i].name.size() + 1, __FILE__, __LINE__));
    if (!f->names[i]) return 1;
    std::memcpy(f->names[i], list[i].name.c_str(), list[i].name.size() + 1);
  }
  return 0;
}

// Reads the preference's attributes; 0 / 1.
int attributes(drgbstate *f, int32_t prefid, uint8_t standalone, std::vector<Entry> *list) {
  drsrvstate *st = f->st;
  drdplist *l = nullptr;
  if (drdpopn(st, prefid, &l) != 0) {
    internal(st, 51501, __LINE__);
    return 1;
  }
  int rc = 0;
  drdmattr *a = nullptr;
  while (rc == 0 && drdpnxt(l, &a) == 0 && a) {
    switch (a->ordinal) {
      case DRGB_ATTR_FORMAT: {
        int16_t v = static_cast<int16_t>(drdpnum(a) & 0xFFFF);
        if (!validformat(v)) {
          dracnerr(st, DRFAC_DRG, 10707, 0, DRA_STR, "Filter", DRA_STR, "format", 0);
          rc = 1;
        }
        f->format = v;
        break;
      }
      case DRGB_ATTR_PROGRAM: {
        int16_t row = 0;
        char name[DRGB_NAMEMAX + 1];
        int p = list->size() >= DRGB_MAXPROGS ? 1
                : a->datatype == 1 ? drgbplist(a->value.str, &row, name)
                                   : 1;
        if (p == 2) {
          dracnerr(st, DRFAC_DRG, 11205, 2, 0);
          rc = 1;
        } else if (p != 0) {
          internal(st, 51501, __LINE__);
          rc = 1;
        } else {
          list->push_back({row, name});
        }
        break;
      }
      case DRGU_SUB_PROGRAM:
        // The chaining filter's own program, read by the user-program filter.
        if (standalone) {
          internal(st, 51501, __LINE__);
          rc = 1;
        }
        break;
      case DRGU_SUB_TIMEOUT:
        // The time limit, shared with the user-program filter.
        if (standalone) {
          internal(st, 51501, __LINE__);
          rc = 1;
        }
        f->timeout = std::clamp<int32_t>(drdpnum(a), 0, DRGBT_TIMEOUT_MAX);
        break;
      default:
        internal(st, 51501, __LINE__);
        rc = 1;
    }
  }
  drdpcls(l);
  return rc;
}

int drgbbnd(drobj *o, int32_t polid, drobj *ds, int32_t prefid, uint8_t standalone) {
  drgbstate *f = filof(o);
  drsrvstate *st = f->st;
  if (f->polid != 0) {
    druetrc();
    return 1;
  }
  f->polid = polid;
  f->prefid = prefid;
  f->ds = ds;
  f->current = nullptr;
  f->format = DRGB_NONE;
  std::vector<Entry> list;
  if (attributes(f, prefid, standalone, &list) != 0) {
    druetrc();
    return 1;
  }
  if (!list.empty()) {
    if (keepprogs(f, list) != 0) {
      freeprogs(f);
      internal(st, 51501, __LINE__);
      return 1;
    }
    char bin[SDRG_PATHMAX];
    int bl = drgbtbin(st, bin, sizeof bin);
    if (bl == 0) {
      freeprogs(f);
      dracnerr(st, DRFAC_DRG, 11208, 2, 0);
      druetrc();
      return 1;
    }
    f->bin = bl < 0 ? nullptr
                    : static_cast<char *>(drumalc(st, st->hpmgr, f->heap, 1,
                                                  static_cast<size_t>(bl) + 1, __FILE__, __LINE__));
    if (!f->bin) {
      freeprogs(f);
      internal(st, 51501, __LINE__);
      return 1;
    }
    std::memcpy(f->bin, bin, static_cast<size_t>(bl) + 1);
  }
  if (drops<drfilops>(f->inner)->bnd(f->inner, polid, ds, prefid, 0) != 0) {
    druetrc();
    return 1;
  }
  f->input = newbuf(f, ds);
  if (f->input) f->output = newbuf(f, nullptr);
  if (f->output) f->icf = newbuf(f, nullptr);
  if (!f->icf) {
    internal(st, 51501, __LINE__);
    return 1;
  }
  return 0;
}

int drgbcount(drobj *o, int32_t *count) {
  drgbstate *f = filof(o);
  return drops<drdsops>(f->ds)->count(f->ds, count);
}

int failnext(drgbstate *f) {
  druvfclose(f->input);
  druvfclose(f->output);
  f->active = nullptr;
  f->current = nullptr;
  druetrc();
  return 1;
}

int drgbnext(drobj *o, int32_t *op, char *key) {
  drgbstate *f = filof(o);
  drsrvstate *st = f->st;
  int16_t cvid = DRGB_NONE, row = DRGB_NONE;
  const char *program = nullptr;
  f->active = o;
  f->current = nullptr;
  f->framework = 0;
  if (!f->input) {
    internal(st, 50600, __LINE__);
    return failnext(f);
  }
  if (druvfclose(f->input) != 0 || druvfclose(f->output) != 0) return failnext(f);
  if (key) {
    int rc = drops<drdsops>(f->ds)->next(f->ds, op, key);
    if (rc == 2) {
      f->active = nullptr;
      return 2;
    }
    if (rc != 0 || (op && *op != 1)) {
      f->active = nullptr;
      return rc;
    }
  }
  if (!druvfopen(f->input, DRUVF_READ)) return failnext(f);
  if (f->format == DRGB_RECOGNISE || f->progs > 0) {
    if (drgbsdetect(st, f->input, &cvid, &row, f->progs, &f->tmp) != 0) {
      dracnerr(st, DRFAC_DRG, 11201, 2, 0);
      return failnext(f);
    }
  } else {
    cvid = f->format;
  }
  if (druvfclose(f->input) != 0) return failnext(f);
  for (int32_t i = 0; i < f->progs && !program; ++i)
    if (f->rows[i] == row) program = f->names[i];
  cvtentry entry = nullptr;
  if (!program) {
    if (drgbsentry(cvid, &entry) == 0) {
      if (f->mode == 2) {
        if (drgbshost(st, f->input, f->icf, f->output, drsxmaxdoc(st)) != 0) return failnext(f);
        druvfclose(f->input);
        f->framework = 1;
        f->current = f->output;
        if (!druvfopen(f->current, DRUVF_READ)) return failnext(f);
        return 0;
      }
    } else if (f->progs > 0) {
      if (drops<drdsops>(f->ds)->seek(f->ds, 0, 0) != 0) return failnext(f);
      if (drops<drfilops>(f->inner)->next(f->inner, nullptr, nullptr) == 0) {
        f->active = f->inner;
        return 0;
      }
      dracnerr(st, DRFAC_DRG, 11214, 2, 0);
      return failnext(f);
    } else {
      dracnerr(st, DRFAC_DRG, 51508, 2, 0);
      return failnext(f);
    }
  }
  if (program || entry) {
    if (drgbconv(f, entry, program) != 0) return failnext(f);
    f->current = f->output;
  } else {
    f->current = f->input;
  }
  if (!druvfopen(f->current, DRUVF_READ)) return failnext(f);
  return 0;
}

int drgbread(drobj *o, void *dst, int32_t room, int32_t *got) {
  drgbstate *f = filof(o);
  if (!f->active) {
    druetrc();
    return 1;
  }
  if (f->active == f->inner) return drops<drfilops>(f->inner)->read(f->inner, dst, room, got);
  if (!f->current) return 1;
  int16_t n = druvfread(f->current, dst, static_cast<int16_t>(std::clamp<int32_t>(room, 0, INT16_MAX)));
  if (n < 0) return 1;
  *got = n;
  return n == 0 && room > 0 ? 2 : 0;
}

int drgbseek(drobj *o, int32_t off, uint8_t rel) {
  drgbstate *f = filof(o);
  if (!f->active) return 1;
  if (f->active == f->inner) return drops<drfilops>(f->inner)->seek(f->inner, off, rel);
  if (!f->current) return 1;
  return druvfseek(f->current, off, rel ? 1 : 0) < 0 ? 1 : 0;
}

int drgbtell(drobj *o, int32_t *off) {
  drgbstate *f = filof(o);
  if (!f->active) return 1;
  if (f->active == f->inner) return drops<drfilops>(f->inner)->tell(f->inner, off);
  if (!f->current) return 1;
  int32_t pos = druvfseek(f->current, 0, 1);
  if (pos < 0) return 1;
  *off = pos;
  return 0;
}

int drgbsetmode(drobj *o, int32_t mode) {
  drgbstate *f = filof(o);
  f->mode = mode;
  return drops<drfilops>(f->inner)->setmode(f->inner, mode);
}

int drgbicf(drobj *o, drobj *writer) {
  drgbstate *f = filof(o);
  if (!f->active) {
    druetrc();
    return 1;
  }
  if (f->active == f->inner) return drops<drfilops>(f->inner)->icf(f->inner, writer);
  if (!f->framework) {
    dracnerr(f->st, DRFAC_DRG, 50942, 2, DRA_STR,
             "the intermediate form exists only for documents converted to be highlighted",
             DRA_STR, "", 0);
    druetrc();
    return 1;
  }
  if (druvfclose(f->icf) != 0 || !druvfopen(f->icf, DRUVF_READ)) return 1;
  char buf[1999];
  int rc = 0;
  for (;;) {
    int16_t n = druvfread(f->icf, buf, sizeof buf);
    if (n < 0) rc = 1;
    if (n <= 0) break;
    if (drops<drrdocops>(writer)->append(writer, buf, static_cast<uint32_t>(n)) != 0) {
      rc = 1;
      break;
    }
  }
  if (druvfclose(f->icf) != 0) rc = 1;
  if (rc) druetrc();
  return rc;
}

int drgbmark(drobj *o, const int32_t *offs, const int32_t *lens, const int32_t *strengths,
             int32_t count, const char *stag, const char *etag, drobj *writer) {
  drgbstate *f = filof(o);
  if (!f->active) return 1;
  if (f->active == f->inner)
    return drops<drfilops>(f->inner)->mark(f->inner, offs, lens, strengths, count, stag, etag, writer);
  return drgamarkup(f->st, o, offs, lens, strengths, count, stag, etag, writer);
}

int drgbreset(drobj *o, int32_t kind) {
  drgbstate *f = filof(o);
  int rc = 0;
  if (kind == 1 && (druvftrim(f->input, 1) != 0 || druvftrim(f->output, 1) != 0)) rc = 1;
  if (drops<drfilops>(f->inner)->reset(f->inner, kind) != 0) rc = 1;
  return rc;
}

int drgbfree(drobj *o) {
  drgbstate *f = filof(o);
  drsrvstate *s = f->st;
  freeprogs(f);
  freebuf(f, &f->input);
  freebuf(f, &f->output);
  freebuf(f, &f->icf);
  drgbtdirgone(&f->tmp);
  if (f->inner) drops<drfilops>(f->inner)->free(f->inner);
  void *self = f;
  drumfre(s, s->hpmgr, f->heap, &self);
  return 0;
}

const drobjhd<drfilops> kTpl = {{DRCLS_FILTER, 1, nullptr},
                                {.bnd = drgbbnd,
                                 .count = drgbcount,
                                 .next = drgbnext,
                                 .read = drgbread,
                                 .seek = drgbseek,
                                 .tell = drgbtell,
                                 .setmode = drgbsetmode,
                                 .icf = drgbicf,
                                 .mark = drgbmark,
                                 .reset = drgbreset,
                                 .free = drgbfree}};

}  // namespace

drobj *drgbnew(drsrvstate *s, drheap h) {
  auto *f = drobjnew<drgbstate>(s, h, kTpl);
  if (!f) {
    internal(s, 51500, __LINE__);
    return nullptr;
  }
  f->format = DRGB_NONE;
  f->mode = 1;
  f->timeout = DRGBT_TIMEOUT;
  f->inner = drghnew(s, h);
  if (!f->inner) {
    void *self = f;
    drumfre(s, s->hpmgr, h, &self);
    internal(s, 51500, __LINE__);
    return nullptr;
  }
  return &f->hd.obj;
}

int drgbconv(drgbstate *f, cvtentry entry, const char *program) {
  drsrvstate *st = f->st;
  std::string path;
  if (program) {
    path = std::string(f->bin ? f->bin : "") + program;
    if (sdrgisexe(st, path.c_str()) != 0) {
      dracnerr(st, DRFAC_DRG, 11206, 2, DRA_STR, path.c_str(), 0);
      druetrc();
      return 1;
    }
  }
  drgbtjob j = {st, f->input, f->output, program ? path.c_str() : nullptr,
                program ? path.c_str() : nullptr, entry, f->timeout, drsxmaxdoc(st), &f->tmp};
  return drgbtconv(&j);
}

int drgbplist(const char *value, int16_t *row, char *name) {
  if (!value) return 1;
  const char *comma = std::strchr(value, ',');
  if (!comma) return 1;
  // The row: digits, with blanks around them allowed, at most ten characters.
  const char *p = value;
  while (p < comma && *p == ' ') ++p;
  const char *d = p;
  int32_t v = 0;
  while (p < comma && *p >= '0' && *p <= '9') {
    v = v * 10 + (*p - '0');
    if (v > INT16_MAX) return 1;
    ++p;
  }
  if (p == d) return 1;
  while (p < comma && *p == ' ') ++p;
  if (p != comma || comma - value > 10) return 1;
  const char *n = comma + 1;
  size_t len = std::strlen(n);
  if (len == 0 || len > DRGB_NAMEMAX) return 1;
  if (drgbtname(n) != 0) return 2;
  std::memcpy(name, n, len + 1);
  *row = static_cast<int16_t>(v);
  return 0;
}
