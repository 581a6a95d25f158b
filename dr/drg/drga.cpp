// The plain-text filter: every slot goes straight to the data store, since
// its text needs no preparation; and the markup every filter whose prepared
// text is the text the hits were found in shares.
#include "dr/drg/drga.h"

#include <cstring>

#include "platform/nls/nls.h"

namespace {

drgastate *filof(drobj *o) { return reinterpret_cast<drgastate *>(o); }

// The data store of a bound filter, or null after pushing why.
drobj *drgads(drgastate *f) {
  if (f->ds) return f->ds;
  dracnierr(f->st, DRFAC_DRG, 50600, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
  druetrc();
  return nullptr;
}

// Binds the filter once; a second binding is refused without a message.
int drgabnd(drobj *o, int32_t polid, drobj *ds, int32_t prefid, uint8_t) {
  drgastate *f = filof(o);
  if (f->polid != 0) {
    druetrc();
    return 1;
  }
  f->polid = polid;
  f->prefid = prefid;
  f->ds = ds;
  return 0;
}

// The data store's document count.
int drgacount(drobj *o, int32_t *count) {
  drobj *ds = drgads(filof(o));
  return ds ? drops<drdsops>(ds)->count(ds, count) : 1;
}

// With a key buffer the data store's next document; without one there is
// nothing to prepare.
int drganext(drobj *o, int32_t *op, char *key) {
  if (!key) return 0;
  drobj *ds = drgads(filof(o));
  return ds ? drops<drdsops>(ds)->next(ds, op, key) : 1;
}

// The data store's read.
int drgaread(drobj *o, void *dst, int32_t room, int32_t *got) {
  drobj *ds = drgads(filof(o));
  return ds ? drops<drdsops>(ds)->read(ds, dst, room, got) : 1;
}

// The data store's seek.
int drgaseek(drobj *o, int32_t off, uint8_t rel) {
  drobj *ds = drgads(filof(o));
  return ds ? drops<drdsops>(ds)->seek(ds, off, rel) : 1;
}

// The data store's tell.
int drgatell(drobj *o, int32_t *off) {
  drobj *ds = drgads(filof(o));
  return ds ? drops<drdsops>(ds)->tell(ds, off) : 1;
}

// Plain text has no modes and nothing buffered.
int drgasetmode(drobj *, int32_t) { return 0; }
int drgareset(drobj *, int32_t) { return 0; }

// Plain text has no intermediate form.
int drgaicf(drobj *o, drobj *) {
  dracnerr(filof(o)->st, DRFAC_DRG, 11210, 2, 0);
  druetrc();
  return 1;
}

// The markup over the filter's own text.
int drgamark(drobj *o, const int32_t *offs, const int32_t *lens, const int32_t *strengths,
             int32_t count, const char *starttag, const char *endtag, drobj *writer) {
  return drgamarkup(filof(o)->st, o, offs, lens, strengths, count, starttag, endtag, writer);
}

// Frees the record; the data store is the policy's.
int drgafree(drobj *o) {
  drgastate *f = filof(o);
  drsrvstate *s = f->st;
  void *self = f;
  drumfre(s, s->hpmgr, f->heap, &self);
  return 0;
}

const drobjhd<drfilops> kTpl = {{DRCLS_FILTER, 1, nullptr},
                                {.bnd = drgabnd,
                                 .count = drgacount,
                                 .next = drganext,
                                 .read = drgaread,
                                 .seek = drgaseek,
                                 .tell = drgatell,
                                 .setmode = drgasetmode,
                                 .icf = drgaicf,
                                 .mark = drgamark,
                                 .reset = drgareset,
                                 .free = drgafree}};

// The markup's window over the filter's text: whole characters are handed
// out from it, a character cut at its end waits for the next read.
struct drgawin {
  enum { SIZE = 2000 };
  drobj *fil;
  drobj *writer;
  const nlscs *cs;
  char buf[SIZE];
  size_t start = 0;      // first unwritten byte
  size_t end = 0;        // end of the bytes read
  size_t avail = 0;      // whole characters from start
  int64_t written = 0;   // characters written so far
  bool inside = false;   // a tagged range is open
};

// Sends bytes to the writer's append slot; 0 / 1.
int drgaput(drgawin *w, const char *bytes, size_t n) {
  if (n == 0) return 0;
  return drops<drrdocops>(w->writer)->append(w->writer, bytes, static_cast<uint32_t>(n)) == 0 ? 0
                                                                                                : 1;
}

// Writes the next n characters of the text; 1 when the text ends first or a
// read or write fails.
int drgacopy(drgawin *w, int64_t n) {
  while (n > 0) {
    if (w->avail == 0) {
      std::memmove(w->buf, w->buf + w->start, w->end - w->start);
      w->end -= w->start;
      w->start = 0;
      // A read may end inside a character: read on until one is whole.
      while (w->avail == 0) {
        int32_t got = 0;
        size_t room = drgawin::SIZE - w->end;
        int rc = drops<drfilops>(w->fil)->read(w->fil, w->buf + w->end,
                                               static_cast<int32_t>(room), &got);
        if (rc == 2) (void)drgaput(w, w->buf, w->end);  // what there is, before failing
        if (rc != 0 || got <= 0 || static_cast<size_t>(got) > room) return 1;
        w->end += static_cast<size_t>(got);
        w->avail = nlscount(w->cs, w->buf, w->end);
      }
    }
    size_t k = n < static_cast<int64_t>(w->avail) ? static_cast<size_t>(n) : w->avail;
    size_t bytes = nlsbytes(w->cs, w->buf + w->start, w->end - w->start, k);
    if (drgaput(w, w->buf + w->start, bytes) != 0) return 1;
    w->start += bytes;
    w->avail -= k;
    n -= static_cast<int64_t>(k);
    w->written += static_cast<int64_t>(k);
  }
  return 0;
}

}  // namespace

drobj *drganew(drsrvstate *s, drheap h) {
  auto *f = drobjnew<drgastate>(s, h, kTpl);
  if (!f) return nullptr;
  return &f->hd.obj;
}

int drgamarkup(drsrvstate *s, drobj *fil, const int32_t *offs, const int32_t *lens,
               const int32_t *, int32_t count, const char *starttag, const char *endtag,
               drobj *writer) {
  const drfilops *ops = drops<drfilops>(fil);
  if (ops->seek(fil, 0, 0) != 0) {
    druetrc();
    return 1;
  }
  drgawin w{};
  w.fil = fil;
  w.writer = writer;
  w.cs = dracncs(s);
  const char *open = starttag ? starttag : "<<<";
  const char *close = endtag ? endtag : ">>>";
  auto tag = [&](const char *t) { return drgaput(&w, t, std::strlen(t)); };
  int rc = 0;
  for (int32_t i = 0; rc == 0 && i < count; ++i) {
    // Offsets are 1-based: the range starts after offset - 1 characters.
    int64_t n = static_cast<int64_t>(offs[i]) - 1 - w.written;
    if (n > 0) {
      if (w.inside) {
        rc = tag(close);
        w.inside = false;
      }
      if (rc == 0) rc = drgacopy(&w, n);
    }
    if (rc != 0) break;
    n = static_cast<int64_t>(offs[i]) + lens[i] - 1 - w.written;
    if (n <= 0) continue;
    if (!w.inside) {
      rc = tag(open);
      w.inside = true;
    }
    if (rc == 0) rc = drgacopy(&w, n);
  }
  if (rc == 0 && w.inside) rc = tag(close);
  if (rc == 0) rc = drgaput(&w, w.buf + w.start, w.end - w.start);
  while (rc == 0) {
    int32_t got = 0;
    int r = ops->read(fil, w.buf, drgawin::SIZE, &got);
    // A read that brings nothing ends the text as well: asking again would
    // ask forever.
    if (r == 2 || (r == 0 && got == 0)) return 0;
    if (r != 0 || got < 0 || got > drgawin::SIZE) break;
    rc = drgaput(&w, w.buf, static_cast<size_t>(got));
  }
  druetrc();
  return 1;
}
