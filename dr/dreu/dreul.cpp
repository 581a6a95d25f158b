// List managers: the registry of manager types, the default slots and the
// light-weight manager, which carves list handles and pieces from one
// arena and never frees anything but the whole arena.
#include <cstring>

#include "dr/dreu/dreu.h"
#include "dr/dru/drue.h"

namespace {

// A link word holds (block number + 1) above kOffBits bits of the piece's
// offset in its block divided by 4; 0 is the null link. Blocks are the
// arena's default 4096 bytes after an 8-byte link word, so an offset / 4
// stays below 1026.
constexpr unsigned kOffBits = 11;
constexpr uint32_t kMaxBlocks = (uint32_t{1} << (32 - kOffBits)) - 1;

const drlstmgr kDefault = {{DRLST_DEFAULT, "Default list", "Provide default list methods"},
                           {.free = dreuldef0,
                            .prep = dreuldef1,
                            .op2 = dreuldef2,
                            .open = dreuldef3,
                            .done = dreuldef4,
                            .piece = dreuldef5,
                            .op6 = dreuldef6,
                            .op7 = dreuldef7,
                            .op8 = dreuldef8,
                            .op9 = dreuldef9,
                            .op10 = dreuldef10}};

// The light-weight template: the slots it leaves null get the defaults.
const drlstmgr kLight = {
    {DRLST_LIGHT, "Light-weight list", "Manages disjoint lists in memory"},
    {.free = dreullfree, .open = dreullnewlist, .piece = dreullpiece}};

dreullw *lw(drlstmgr *m) { return reinterpret_cast<dreullw *>(m); }

// Internal error num with up to two numbers as details.
int fail(drsrvstate *st, int num, int line, int32_t a = 0, int32_t b = 0) {
  dracnierr(st, DRFAC_DRG, num, 2, DRA_STR, __FILE__, DRA_INT, line, DRA_SB4, &a, DRA_SB4, &b,
            DRA_END);
  druetrc();
  return 1;
}

uint32_t rd32(const uint8_t *p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void wr32(uint8_t *p, uint32_t v) { std::memcpy(p, &v, sizeof v); }

// Enters the arena's current block in the table when the arena has just
// taken a new one; 0, or 1 after pushing when the table cannot grow.
int track(drsrvstate *st, dreullw *m) {
  drubbuf *a = m->arena;
  m->inuse = a->blksize * static_cast<uint32_t>(a->nblocks);
  if (static_cast<uint32_t>(a->nblocks) == m->nblk) return 0;
  if (m->nblk >= kMaxBlocks) return fail(st, 50600, __LINE__, static_cast<int32_t>(m->nblk));
  if (m->nblk == m->capblk) {
    uint32_t cap = m->capblk ? m->capblk * 2 : 64;
    void *t = drumrea(st, st->hpmgr, a->heap, m->blk, cap * sizeof(uint8_t *), __FILE__, __LINE__);
    if (!t) {
      druetrc();
      return 1;
    }
    m->blk = static_cast<uint8_t **>(t);
    m->capblk = cap;
  }
  // The arena's current link word is the first word of its current block.
  m->blk[m->nblk++] = reinterpret_cast<uint8_t *>(a->curlink);
  return 0;
}

// The link word naming a piece of the current block.
uint32_t linkof(const dreullw *m, const uint8_t *piece) {
  auto off = static_cast<uint32_t>(piece - m->blk[m->nblk - 1]);
  return (m->nblk << kOffBits) | (off >> 2);
}

uint8_t *pieceof(const dreullw *m, uint32_t link) {
  return m->blk[(link >> kOffBits) - 1] + ((link & ((1u << kOffBits) - 1)) << 2);
}

// Takes n bytes from the arena, 4-byte aligned for pieces or pointer-aligned
// for records that hold pointers; null after pushing 50600.
uint8_t *take(drsrvstate *st, dreullw *m, uint32_t n, bool pointers) {
  void *p = pointers ? drubrsv(m->arena, n) : drubrsva(m->arena, n, 4);
  if (!p) {
    fail(st, 50600, __LINE__, static_cast<int32_t>(n));
    return nullptr;
  }
  if (track(st, m) != 0) return nullptr;
  return static_cast<uint8_t *>(p);
}

}  // namespace

const drlstrow drlstreg[DRLST_NTYPES] = {
    {nullptr, "Default Object"},
    {nullptr, "Virtual List Manager"},
    {dreullnew, "Light weight list manager"},
};

int dreulnew(drsrvstate *st, drheap heap, const drlstreq *req, drlstmgr **out) {
  if (!req) return fail(st, DREUL_EREQ, __LINE__);
  // Only the light-weight type can be built; asking for another is a
  // caller's mistake, reported rather than followed into a null call.
  if (req->type >= DRLST_NTYPES || !drlstreg[req->type].ctor)
    return fail(st, DREUL_EREQ, __LINE__, req->type);
  drlstmgr *m = nullptr;
  if (drlstreg[req->type].ctor(st, heap, req, &m) != 0) {
    druetrc();
    return 1;
  }
  drlstops &o = m->ops;
  const drlstops &d = kDefault.ops;
  if (!o.free) o.free = d.free;
  if (!o.prep) o.prep = d.prep;
  if (!o.op2) o.op2 = d.op2;
  if (!o.open) o.open = d.open;
  if (!o.done) o.done = d.done;
  if (!o.piece) o.piece = d.piece;
  if (!o.op6) o.op6 = d.op6;
  if (!o.op7) o.op7 = d.op7;
  if (!o.op8) o.op8 = d.op8;
  if (!o.op9) o.op9 = d.op9;
  if (!o.op10) o.op10 = d.op10;
  *out = m;
  return 0;
}

int dreullnew(drsrvstate *st, drheap heap, const drlstreq *req, drlstmgr **out) {
  *out = nullptr;
  int32_t first = req->first ? int32_t{req->first} : int32_t{DREUL_FIRST};
  // A first piece must hold its link and at least one payload byte, and
  // fit an arena block; anything else could never carry a list.
  if (first <= DREUL_LINK || first > DRUB_DEFBLOCK) return fail(st, DREUL_EREQ, __LINE__, first);
  drubbuf *arena = drubnew(st, heap, 0, nullptr, 0);
  if (!arena) {
    druetrc();
    return 1;
  }
  void *rec = drubrsv(arena, sizeof(dreullw));
  if (!rec) {
    fail(st, 50600, __LINE__, static_cast<int32_t>(sizeof(dreullw)));
    drubfre(arena);
    return 1;
  }
  dreullw *m = static_cast<dreullw *>(rec);
  std::memset(m, 0, sizeof *m);
  m->tpl = kLight;
  m->arena = arena;
  m->first = static_cast<int16_t>(first);
  m->limit = DREUL_LIMIT;
  m->step = DREUL_STEP;
  if (track(st, m) != 0) {
    drubfre(arena);
    return 1;
  }
  *out = reinterpret_cast<drlstmgr *>(m);
  return 0;
}

int dreullfree(drlstmgr *mgr) {
  dreullw *m = lw(mgr);
  drubbuf *a = m->arena;
  void *t = m->blk;
  drumfre(a->st, a->st->hpmgr, a->heap, &t);
  drubfre(a);  // the record goes with the arena
  return 0;
}

int dreullnewlist(drsrvstate *st, drlstmgr *mgr, drlwlist *list, int32_t mode, drlwlist **out) {
  dreullw *m = lw(mgr);
  if (mode != DRLST_WRITE) {
    if (!list || !list->first) return 2;
    list->size = static_cast<int16_t>(-m->first);
    list->cur = nullptr;
    *out = list;
    return 0;
  }
  if (!list) {
    list = reinterpret_cast<drlwlist *>(take(st, m, sizeof(drlwlist), true));
    if (!list) return 1;
    std::memset(list, 0, sizeof *list);
    list->size = m->first;
    *out = list;
    return 0;
  }
  // Appending: replay the growth rule along the chain to learn the size of
  // the last piece, so that the next one continues the sequence.
  int16_t size = m->first;
  uint8_t *p = list->first;
  if (p) {
    for (uint32_t link = rd32(p); link; link = rd32(p)) {
      if (size < m->limit) size = static_cast<int16_t>(size + m->step);
      p = pieceof(m, link);
    }
  }
  list->cur = p;
  list->size = size;
  *out = list;
  return 0;
}

int dreullpiece(drsrvstate *st, drlstmgr *mgr, drlwlist *list, uint16_t *size, uint8_t **addr) {
  dreullw *m = lw(mgr);
  if (list->size < 0) {
    int16_t b = static_cast<int16_t>(-list->size);
    if (list->cur) {
      uint32_t link = rd32(list->cur);
      // The last piece stays current, so reading past the end keeps
      // answering 2 instead of starting the chain over.
      if (!link) return 2;
      if (b < m->limit) b = static_cast<int16_t>(b + m->step);
      list->cur = pieceof(m, link);
    } else if (b == m->first) {
      list->cur = list->first;
    }
    if (!list->cur) return 2;
    list->size = static_cast<int16_t>(-b);
    *size = static_cast<uint16_t>(b - DREUL_LINK);
    *addr = list->cur + DREUL_LINK;
    return 0;
  }
  int16_t b = list->size;
  if (list->cur && b < m->limit) b = static_cast<int16_t>(b + m->step);
  uint8_t *p = take(st, m, static_cast<uint32_t>(b), false);
  if (!p) return 1;
  wr32(p, 0);
  if (list->cur) wr32(list->cur, linkof(m, p));
  else list->first = p;
  list->cur = p;
  list->size = b;
  *size = static_cast<uint16_t>(b - DREUL_LINK);
  *addr = p + DREUL_LINK;
  return 0;
}

int dreuldef0(drlstmgr *) { return 0; }
int dreuldef1(drsrvstate *, drlstmgr *, int32_t, drlwlist **) { return 0; }
int dreuldef2(drsrvstate *, drlstmgr *) { return 0; }
int dreuldef3(drsrvstate *, drlstmgr *, drlwlist *, int32_t, drlwlist **) { return 0; }
int dreuldef4(drsrvstate *, drlstmgr *, drlwlist *, drlwlist **) { return 0; }
int dreuldef5(drsrvstate *, drlstmgr *, drlwlist *, uint16_t *, uint8_t **) { return 0; }
int dreuldef6(drsrvstate *, drlstmgr *) { return 0; }
int dreuldef7(drsrvstate *, drlstmgr *) { return 0; }
int dreuldef8(drsrvstate *, drlstmgr *) { return 0; }
int dreuldef9(drsrvstate *, drlstmgr *) { return 0; }
int dreuldef10(drsrvstate *, drlstmgr *) { return 0; }
