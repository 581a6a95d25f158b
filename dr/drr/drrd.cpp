/* The document writer: one document's bytes gathered in a buffer that grows
 * fourfold up to 4 MiB and twofold up to its cap of 64 MiB, then stored as
 * one row (id, document) with one bind of the whole buffer, as text or as
 * bytes by what the table's column is. */
#include <cstring>

#include "dr/dra/dra.h"
#include "dr/dras/dras.h"
#include "dr/drr/drr.h"
#include "dr/dru/drue.h"

namespace {

/* The database's text alone for a failing step: the writer says what failed. */
constexpr druorep kRep = {0, 0, 0, 0, 0, 0, -1, 2, 2};

drrdwr *docof(drobj *o) { return reinterpret_cast<drrdwr *>(o); }

int fail(drrdwr *w, int msg) {
  dracnerr(w->st, DRFAC_DRG, msg, 2, DRA_STR, w->table, 0);
  druetrc();
  return 1;
}

/* The next capacity on the way to the cap. */
uint32_t grow(uint32_t cap) { return cap < DRR_DOCQUAD ? cap * 4 : cap * 2; }

int drrdopen(drobj *o, const char *table, int32_t id) {
  drrdwr *w = docof(o);
  drsrvstate *st = w->st;
  w->id = id;
  const char *name = table ? table : "";
  if (std::strlen(name) > DRR_DOCTAB) {
    int32_t max = DRR_DOCTAB;
    dracnerr(st, DRFAC_DRG, DRR_ETABLEN, 2, DRA_STR, name, DRA_SB4, &max, 0);
    druetrc();
    return 1;
  }
  std::memcpy(w->table, name, std::strlen(name) + 1);
  char sql[256];
  if (!druoidn(name, 2) ||
      drasmfmt(st->fmt, sql, sizeof sql, "INSERT INTO %(1)s (id, document) VALUES (:id, :document)",
               DRA_STR, name, DRA_END) < 0) {
    dracnerr(st, DRFAC_DRG, 52009, 2, DRA_STR, name, 0);
    return fail(w, DRR_EDOCOPEN);
  }
  if (druoprp(st, &w->cur, DRUO_WORK, sql, &kRep) != 0) return fail(w, DRR_EDOCOPEN);
  w->opened = 1;
  return 0;
}

/* Stores the row with what was gathered and commits; 0, or 1 after 50850
 * and 10005. The writer is marked written either way. */
int store(drrdwr *w) {
  drsrvstate *st = w->st;
  w->written = 1;
  int rc = w->opened ? 0 : 1;
  if (rc == 0) rc = druobnd(st, &w->cur, ":id", &w->id, 4, DRUO_INTEGER, nullptr, nullptr, &kRep);
  /* The column's type decides how the bytes are bound: text or raw. */
  int16_t type = DRUO_LONG;
  if (rc == 0) {
    char sql[256];
    druocur dc{};
    int32_t size = 0, namelen = 0;
    rc = drasmfmt(st->fmt, sql, sizeof sql, "SELECT document FROM %s", DRA_STR, w->table, DRA_END) < 0;
    if (rc == 0) rc = druoprp(st, &dc, DRUO_WORK, sql, &kRep);
    if (rc == 0) {
      rc = druodsc(st, &dc, 1, &size, &type, nullptr, &namelen, &kRep);
      if (druoend(st, &dc, &kRep) != 0 && rc == 0) rc = 1;
    }
  }
  static uint8_t none = 0;
  if (rc == 0)
    rc = druobnd(st, &w->cur, ":document", w->buf ? w->buf : &none, static_cast<int32_t>(w->held),
                 type, nullptr, nullptr, &kRep);
  if (rc == 0) rc = druoexe(st, &w->cur, &kRep);
  if (rc == 0) rc = druocmt(st, &kRep);
  return rc == 0 ? 0 : fail(w, DRR_EDOC);
}

int drrdappend(drobj *o, const void *bytes, uint32_t n) {
  drrdwr *w = docof(o);
  drsrvstate *st = w->st;
  if (w->written) {
    /* Full, failed or stored: nothing more is taken. */
    return w->mode == 1 && w->full ? 6 : fail(w, DRR_EDOC);
  }
  if (w->mode == 0 && n > DRR_DOCCAP) {
    w->written = w->full = 1;
    return fail(w, DRR_EDOC);
  }
  if (!w->buf) {
    uint32_t cap = DRR_DOCFIRST;
    while (cap < n && cap < DRR_DOCCAP) cap = grow(cap);
    if (cap < n) {
      w->written = w->full = 1;
      return fail(w, DRR_EDOC);
    }
    w->buf = static_cast<uint8_t *>(drumalz(st, st->hpmgr, w->heap, cap, __FILE__, __LINE__));
    if (!w->buf) {
      w->written = 1;
      druetrc();
      return 1;
    }
    w->cap = cap;
    w->held = 0;
  } else if (w->cap - w->held < n) {
    uint64_t want = static_cast<uint64_t>(w->held) + n;
    uint32_t cap = w->cap;
    while (cap < want && cap < DRR_DOCCAP) cap = grow(cap);
    if (cap < want) {
      w->full = 1;  /* nothing of this chunk is copied */
    } else {
      void *p = drumrea(st, st->hpmgr, w->heap, w->buf, cap, __FILE__, __LINE__);
      if (!p) {
        w->written = 1;
        druetrc();
        return 1;
      }
      w->buf = static_cast<uint8_t *>(p);
      w->cap = cap;
    }
  }
  if (!w->full) {
    std::memcpy(w->buf + w->held, bytes, n);
    w->held += n;
    return 0;
  }
  if (w->mode == 1) {
    /* The document ends with what it has: stored now, and no more is sent. */
    if (store(w) != 0) return fail(w, DRR_EDOC);
    return 6;
  }
  w->written = 1;
  return fail(w, DRR_EDOC);
}

int drrdfinish(drobj *o) {
  drrdwr *w = docof(o);
  drsrvstate *st = w->st;
  int rc = 0;
  if (!w->written && store(w) != 0) rc = fail(w, DRR_EDOC);
  if (w->opened) druocls(&w->cur);
  void *p = w->buf;
  if (p) drumfre(st, st->hpmgr, w->heap, &p);
  p = w;
  drumfre(st, st->hpmgr, w->heap, &p);
  return rc;
}

const drobjhd<drrdocops> kTpl = {{DRCLS_DOCWRITER, 1, nullptr},
                                 {.open = drrdopen, .append = drrdappend, .finish = drrdfinish}};

}  // namespace

drobj *drrdnew(drsrvstate *s, drheap heap, uint8_t mode) {
  drrdwr *w = drobjnew<drrdwr>(s, heap, kTpl);
  if (!w) return nullptr;
  w->mode = mode;
  return &w->hd.obj;
}
