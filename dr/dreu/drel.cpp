// The posting-list codec: code tables, the writer over a list manager's
// pieces, the copy-out, and the bounded readers over a stored list.
#include <cstring>

#include "dr/dreu/dreu.h"
#include "dr/dru/drue.h"

namespace {

// Fields that the codes name.
enum { F_END = 0, F_DOC = 1, F_POS = 2, F_GRPA = 3, F_GRPB = 4 };

// Per kind and code: the field, and the number of data nibbles.
constexpr uint8_t kField[2][16] = {
    {0, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 4, 4},
    {0, 1, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 4, 4, 4}};
constexpr uint8_t kData[2][16] = {
    {0, 1, 2, 3, 4, 5, 6, 8, 1, 2, 3, 8, 1, 2, 1, 2},
    {0, 1, 2, 3, 4, 8, 1, 2, 3, 8, 1, 2, 3, 1, 2, 3}};
// Per kind and field (1 to 4): the code for a value of s significant
// nibbles (index s - 1); 0 where the field has no code that wide.
constexpr uint8_t kCode[2][4][8] = {
    {{1, 2, 3, 4, 5, 6, 7, 7},
     {8, 9, 10, 11, 11, 11, 11, 11},
     {12, 13, 0, 0, 0, 0, 0, 0},
     {14, 15, 0, 0, 0, 0, 0, 0}},
    {{1, 2, 3, 4, 5, 5, 5, 5},
     {6, 7, 8, 9, 9, 9, 9, 9},
     {10, 11, 12, 0, 0, 0, 0, 0},
     {13, 14, 15, 0, 0, 0, 0, 0}}};
constexpr uint32_t kGrpLim[2] = {DREL_GRPLIM0, DREL_GRPLIM1};

bool goodkind(int kind) { return kind == DREL_KIND0 || kind == DREL_KIND1; }

// Internal error 50600 with two numbers as details.
int fail(drsrvstate *st, int line, uint32_t a = 0, uint32_t b = 0) {
  dracnierr(st, DRFAC_DRG, 50600, 2, DRA_STR, __FILE__, DRA_INT, line, DRA_UB4, &a, DRA_UB4, &b,
            DRA_END);
  druetrc();
  return 1;
}

// Significant nibbles of v: 1 for 0, else up to the highest non-zero one.
int signif(uint32_t v) {
  int s = 1;
  while (s < 8 && (v >> (4 * s)) != 0) ++s;
  return s;
}

// Writes one coded value of a field. The code and the first data nibble
// share a byte when the value starts on a byte boundary.
int putval(drsrvstate *st, drlstmgr *m, drelent *e, int kind, int field, uint32_t v,
           uint32_t *big) {
  uint8_t c = kCode[kind][field - 1][signif(v) - 1];
  int n = kData[kind][c];
  if ((e->nib & 1) == 0) {
    if (e->nib == 0 && drelpiece(st, m, e, 0, big) != 0) return 1;
    *e->pos++ = static_cast<uint8_t>(c | (v & 0xf) << 4);
    v >>= 4;
    --n;
    e->nib = static_cast<uint16_t>(e->nib - 2);
  } else {
    *e->pos++ |= static_cast<uint8_t>(c << 4);
    e->nib = static_cast<uint16_t>(e->nib - 1);
  }
  while (n > 1) {
    if (e->nib == 0 && drelpiece(st, m, e, 0, big) != 0) return 1;
    *e->pos++ = static_cast<uint8_t>(v & 0xff);
    v >>= 8;
    n -= 2;
    e->nib = static_cast<uint16_t>(e->nib - 2);
  }
  if (n == 1) {
    if (e->nib == 0 && drelpiece(st, m, e, 0, big) != 0) return 1;
    *e->pos = static_cast<uint8_t>(v & 0xf);  // the high half is the next code's
    e->nib = static_cast<uint16_t>(e->nib - 1);
  }
  return 0;
}

// Checks a group before anything of the occurrence is written.
int checkgrp(drsrvstate *st, int kind, const drelgroup *g, int line) {
  if (!g) return 0;
  if (g->count > DREL_GRPMAX) return fail(st, line, g->count, DREL_GRPMAX);
  // No code is wide enough for a larger value; the only code left, 0,
  // would end the list there and lose the rest of it.
  for (uint32_t i = 0; i < g->count; ++i)
    if (g->val[i] > kGrpLim[kind]) return fail(st, line, g->val[i], kGrpLim[kind]);
  return 0;
}

int putgrp(drsrvstate *st, drlstmgr *m, drelent *e, int kind, int field, const drelgroup *g,
           uint32_t *big) {
  if (!g) return 0;
  for (uint32_t i = 0; i < g->count; ++i)
    if (putval(st, m, e, kind, field, g->val[i], big) != 0) return 1;
  return 0;
}

// ---- reading ----

int bad(drelent *e) {
  e->code = DREL_BAD;
  druetrc();
  return 1;
}

// Nibbles left from the next one to the end of the stored list.
size_t left(const drelent *e) { return 2 * static_cast<size_t>(e->end - e->pos) - e->nib; }

uint8_t nextnib(drelent *e) {
  uint8_t b = *e->pos;
  if (e->nib) {
    ++e->pos;
    e->nib = 0;
    return static_cast<uint8_t>(b >> 4);
  }
  e->nib = 1;
  return static_cast<uint8_t>(b & 0xf);
}

// Decodes the current value (skip: passes over it) and reads the code after
// it; false, with the entry marked damaged, when the list ends first.
bool getval(drelent *e, int kind, uint32_t *v, bool skip) {
  int n = kData[kind][e->code];
  if (left(e) < static_cast<size_t>(n) + 1) {
    bad(e);
    return false;
  }
  if (skip) {
    size_t t = e->nib + static_cast<size_t>(n);
    e->pos += t / 2;
    e->nib = static_cast<uint16_t>(t & 1);
  } else {
    uint32_t x = 0;
    for (int i = 0; i < n; ++i) x |= static_cast<uint32_t>(nextnib(e)) << (4 * i);
    *v = x;
  }
  e->code = nextnib(e);
  return true;
}

// The field of the current code, or -1 when the entry cannot be read.
int field(const drelent *e, int kind) {
  if (e->code == DREL_BAD || !goodkind(kind)) return -1;
  return kField[kind][e->code];
}

// drelgetdoc and drelgetsum: seek, then walk the document's occurrences,
// counting position codes or adding group-B values.
int docwalk(drelent *e, int kind, dreldoc *out, uint32_t target, bool sum) {
  uint32_t doc = 0;
  int rc = drelseek(e, kind, &doc, target);
  if (rc != 0) return rc;
  uint32_t val = 0;
  for (int f = field(e, kind); f > F_DOC; f = field(e, kind)) {
    uint32_t v = 0;
    bool want = sum && f == F_GRPB;
    if (f == F_POS && !sum) ++val;
    if (!getval(e, kind, &v, !want)) return 1;
    if (want) val += v;
  }
  if (field(e, kind) < 0) return 1;
  out->doc = doc;
  out->val = val;
  return 0;
}

}  // namespace

void drelinit(drelent *e) {
  std::memset(e, 0, sizeof *e);
  e->pos = e->inl;
  e->nib = 2 * DREL_INLINE;
  e->nbytes = DREL_INLINE;
}

int drelpiece(drsrvstate *st, drlstmgr *m, drelent *e, int mode, uint32_t *big) {
  if (!e->list) {
    if (mode != 0) return 2;
    drlwlist *h = nullptr;
    if (m->ops.prep(st, m, 1, &h) != 0 || m->ops.open(st, m, nullptr, DRLST_WRITE, &h) != 0) {
      druetrc();
      return 1;
    }
    e->list = h;
  }
  uint16_t size = 0;
  uint8_t *addr = nullptr;
  int rc = m->ops.piece(st, m, e->list, &size, &addr);
  if (rc != 0) {
    druetrc();
    return rc;
  }
  // A piece without payload would leave the writer nowhere to write.
  if (size == 0) return fail(st, __LINE__, size);
  e->pos = addr;
  if (mode == 0) e->nbytes += size;
  e->nib = static_cast<uint16_t>(2 * size);
  if (e->nbytes > DREL_BIGLIST && big) ++*big;
  return 0;
}

int drelputdoc(drsrvstate *st, drlstmgr *m, drelent *e, int kind, const drelpost *p,
               uint32_t *big) {
  if (!goodkind(kind)) return fail(st, __LINE__, static_cast<uint32_t>(kind));
  bool newdoc = p->doc != e->lastdoc;
  // Document 0 would write no document delta, and a step back would make
  // the list unsearchable: both are the caller's mistakes.
  if (p->doc == 0 || p->doc < e->lastdoc || (!newdoc && p->pos < e->lastpos))
    return fail(st, __LINE__, p->doc, p->pos);
  if (checkgrp(st, kind, p->grpa, __LINE__) != 0 || checkgrp(st, kind, p->grpb, __LINE__) != 0)
    return 1;
  if (newdoc) {
    if (putval(st, m, e, kind, F_DOC, p->doc - e->lastdoc, big) != 0) return 1;
    e->lastdoc = p->doc;
    e->lastpos = 0;
  }
  if (putval(st, m, e, kind, F_POS, p->pos - e->lastpos, big) != 0) return 1;
  e->lastpos = p->pos;
  if (putgrp(st, m, e, kind, F_GRPA, p->grpa, big) != 0 ||
      putgrp(st, m, e, kind, F_GRPB, p->grpb, big) != 0)
    return 1;
  return 0;
}

int drelputend(drsrvstate *st, drlstmgr *m, drelent *e) {
  if ((e->nib & 1) == 0) {
    if (e->nib == 0 && drelpiece(st, m, e, 0, nullptr) != 0) return 1;
    *e->pos = 0;
  } else {
    ++e->pos;  // the high half of the current byte is already 0
  }
  e->nib = static_cast<uint16_t>(e->nib - 1);
  e->nbytes -= e->nib / 2u;
  e->nib &= 1;
  if (e->list) {
    drlwlist *h = e->list;
    if (m->ops.done(st, m, h, &h) != 0) {
      druetrc();
      return 1;
    }
  }
  return 0;
}

int drelputinit(drsrvstate *st, drlstmgr *m, drelent *e) {
  e->pos = e->inl;
  e->nib = 2 * DREL_INLINE;
  e->lastdoc = 0;
  e->lastpos = 0;
  e->code = 0;
  if (!e->list) return 0;
  drlwlist *h = e->list;
  int rc = m->ops.open(st, m, h, DRLST_READ, &h);
  if (rc != 0) druetrc();
  return rc;
}

int drelread(drsrvstate *st, drlstmgr *m, drelent *e, int kind, uint8_t *buf, uint32_t room,
             uint32_t *nbytes, uint32_t *firstdoc) {
  if (drelputinit(st, m, e) != 0) {
    druetrc();
    return 1;
  }
  uint32_t total = e->nbytes;
  if (total > room) return fail(st, __LINE__, total, room);
  *nbytes = total;
  uint32_t done = 0;
  while (done < total) {
    uint32_t have = e->nib / 2u;
    if (have == 0) {
      int rc = drelpiece(st, m, e, 1, nullptr);
      if (rc == 2) return fail(st, __LINE__, done, total);  // pieces ran out early
      if (rc != 0) return 1;
      continue;
    }
    uint32_t n = have < total - done ? have : total - done;
    std::memcpy(buf + done, e->pos, n);
    done += n;
    e->pos += n;
    e->nib = static_cast<uint16_t>(e->nib - 2 * n);
  }
  if (e->list) {
    drlwlist *h = e->list;
    if (m->ops.done(st, m, h, &h) != 0) {
      druetrc();
      return 1;
    }
  }
  drelrdinit(e, buf, total);
  *firstdoc = 0;
  if (drelseek(e, kind, firstdoc, 0) == 1) return fail(st, __LINE__, total);
  return 0;
}

int drelrdinit(drelent *e, const uint8_t *buf, uint32_t len) {
  std::memset(e, 0, sizeof *e);
  e->pos = const_cast<uint8_t *>(buf);
  e->end = buf + len;
  if (len == 0) {
    e->code = DREL_BAD;  // not even an end code
    return 0;
  }
  e->code = buf[0] & 0xf;
  e->nib = 1;
  return 0;
}

int drelseek(drelent *e, int kind, uint32_t *doc, uint32_t target) {
  for (;;) {
    int f = field(e, kind);
    while (f > F_DOC) {
      if (!getval(e, kind, nullptr, true)) return 1;
      f = field(e, kind);
    }
    if (f < 0) return bad(e);
    if (f == F_END) return 2;
    uint32_t v = 0;
    if (!getval(e, kind, &v, false)) return 1;
    e->lastdoc += v;
    e->lastpos = 0;
    if (e->lastdoc >= target) {
      if (doc) *doc = e->lastdoc;
      return 0;
    }
  }
}

int drelgetdoc(drelent *e, int kind, dreldoc *out, uint32_t target) {
  return docwalk(e, kind, out, target, false);
}

int drelgetsum(drelent *e, int kind, dreldoc *out, uint32_t target) {
  return docwalk(e, kind, out, target, true);
}

int drelnextent(drelent *e, int kind, drelocc *occ, uint32_t target) {
  for (;;) {
    int f = field(e, kind);
    if (f < 0) return bad(e);
    if (f == F_END || f == F_DOC) return 2;
    uint32_t v = 0;
    if (f != F_POS) {  // a group with no position before it: pass over it
      if (!getval(e, kind, nullptr, true)) return 1;
      continue;
    }
    if (!getval(e, kind, &v, false)) return 1;
    e->lastpos += v;
    occ->pos = e->lastpos;
    if (occ->grpa) occ->grpa->count = 0;
    if (occ->grpb) occ->grpb->count = 0;
    for (f = field(e, kind); f == F_GRPA || f == F_GRPB; f = field(e, kind)) {
      drelgroup *g = f == F_GRPA ? occ->grpa : occ->grpb;
      if (!getval(e, kind, &v, g == nullptr)) return 1;
      if (g && g->count < DREL_GRPMAX) g->val[g->count++] = static_cast<uint16_t>(v);
    }
    if (f < 0) return 1;
    if (e->lastpos >= target) return 0;
  }
}

void drelbad(drsrvstate *st, const char *what) {
  dracnerr(st, DRFAC_DRG, DREL_EDAMAGED, 2, DRA_STR, what ? what : "", DRA_END);
}
