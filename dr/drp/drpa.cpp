/* The parse buffer: one heap block with a header, strings growing up from
 * the header and nodes growing down from the block's end. Everything is
 * addressed by numbers so that the block can be moved to a larger one. */
#include <cstdio>
#include <cstring>

#include "dr/drp/drpint.h"

namespace {

/* The block size cut down to a multiple of the node size. */
int32_t cut(int32_t size) { return size / DRPA_NODESIZE * DRPA_NODESIZE; }

void layout(drpabuf *b, int32_t size) {
  char *base = reinterpret_cast<char *>(b);
  b->blocksize = size;
  b->areasize = cut(size) - static_cast<int32_t>(sizeof(drpabuf));
  b->strbase = base + sizeof(drpabuf);
  b->nodebase = base + cut(size) - DRPA_NODESIZE;
}

/* Grows until the test says there is room; 0, or 1 after the messages. */
template <typename Room>
int growfor(drpabuf **bufp, Room room) {
  while (!room(*bufp)) {
    drsrvstate *srv = (*bufp)->srv;
    if (drpagrow(bufp)) {
      dracnierr(srv, DRFAC_DRG, DRPM_INTERNAL, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
      return 1;
    }
  }
  return 0;
}

int addtext(int32_t *off, const char *text, size_t len, int32_t slack, drpabuf **bufp) {
  if (len > static_cast<size_t>(DRPA_MAXSIZE)) len = DRPA_MAXSIZE; /* the room test refuses it */
  int32_t need = static_cast<int32_t>(len) + slack;
  if (growfor(bufp, [need](drpabuf *b) {
        return b->areasize - DRPA_NODESIZE * b->nnodes - DRPA_NODESIZE >= b->strbytes + need;
      }))
    return 1;
  drpabuf *b = *bufp;
  char *dst = b->strbase + b->strbytes;
  std::memcpy(dst, text, len);
  dst[len] = 0;
  *off = b->strbytes + 1;
  b->strbytes += static_cast<int32_t>(len) + 1;
  return 0;
}

}  // namespace

int drpainit(drpabuf *b, int32_t size, drsrvstate *srv) {
  if (size < DRPA_MINSIZE) return -1;
  b->srv = srv;
  b->shared = 0;
  b->arena = nullptr;
  drpgposinit(&b->err);
  b->strbytes = 0;
  b->nnodes = 0;
  b->nsqe = 0;
  b->root = 0;
  b->maxdoc = 0;
  b->firstdoc = 0;
  b->lastdoc = 0;
  layout(b, size);
  return 0;
}

int32_t drpaused(const drpabuf *b) {
  return b->strbytes + DRPA_NODESIZE * b->nnodes + DRPA_USEDEXTRA;
}

int drpacopy(drpabuf *n, drpabuf *o, int32_t size) {
  if (size < drpaused(o)) {
    dracnierr(o->srv, DRFAC_DRG, DRPM_INTERNAL, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
    return 1;
  }
  n->srv = o->srv;
  n->arena = o->arena;
  n->shared = o->shared;
  n->err = o->err;
  n->nsqe = o->nsqe;
  std::memcpy(n->sqe, o->sqe, sizeof(drpasqe) * o->nsqe);
  n->maxdoc = o->maxdoc;
  n->firstdoc = o->firstdoc;
  n->lastdoc = o->lastdoc;
  n->strbytes = o->strbytes;
  n->nnodes = o->nnodes;
  n->root = o->root;
  layout(n, size);
  std::memcpy(n->strbase, o->strbase, static_cast<size_t>(o->strbytes));
  if (o->nnodes > 0) {
    /* Nodes 1 .. count as one run ending at the node base. */
    size_t run = static_cast<size_t>(o->nnodes) * DRPA_NODESIZE;
    std::memcpy(n->nodebase + DRPA_NODESIZE - run, o->nodebase + DRPA_NODESIZE - run, run);
  }
  return 0;
}

int drpagrow(drpabuf **bufp) {
  drpabuf *o = *bufp;
  drsrvstate *srv = o->srv;
  int64_t size = static_cast<int64_t>(o->blocksize) * 2;
  if (size > DRPA_MAXSIZE) {
    dracnerr(srv, DRFAC_DRG, DRPM_TOOBIG, 2, 0);
    return 1;
  }
  auto *n = static_cast<drpabuf *>(
      drumalc(srv, srv->hpmgr, srv->cmdhp, 1, static_cast<size_t>(size), __FILE__, __LINE__));
  if (!n) {
    dracnierr(srv, DRFAC_DRG, DRPM_INTERNAL, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
    return 1;
  }
  if (drpacopy(n, o, static_cast<int32_t>(size))) {
    void *p = n;
    drumfre(srv, srv->hpmgr, srv->cmdhp, &p);
    return 1;
  }
  void *p = o;
  drumfre(srv, srv->hpmgr, srv->cmdhp, &p);
  *bufp = n;
  return 0;
}

int drpanewnode(int32_t *node, drpabuf **bufp) {
  if (growfor(bufp, [](drpabuf *b) {
        return static_cast<int64_t>(b->nnodes + 1) * DRPA_NODESIZE < b->areasize - b->strbytes;
      }))
    return 1;
  drpabuf *b = *bufp;
  *node = ++b->nnodes;
  return 0;
}

int drpanewstr(int32_t *off, const char *text, drpabuf **bufp) {
  /* Token texts are shorter than a word's limit; the fixed slack covers them. */
  size_t len = std::strlen(text);
  if (len >= DRPA_WORDMAX) len = DRPA_WORDMAX - 1;
  return addtext(off, text, len, DRPA_WORDMAX - static_cast<int32_t>(len), bufp);
}

int drpaaddstr(int32_t *off, const char *text, drpabuf **bufp) {
  return addtext(off, text, std::strlen(text), 4, bufp);
}

void *drpaalloc(void *user, size_t size) {
  auto *st = static_cast<drpmstate *>(user);
  drsrvstate *srv = st->srv;
  return drumalz(srv, srv->hpmgr, srv->cmdhp, size, __FILE__, __LINE__);
}

void *drparealloc(void *user, void *block, size_t size) {
  auto *st = static_cast<drpmstate *>(user);
  drsrvstate *srv = st->srv;
  return drumrea(srv, srv->hpmgr, srv->cmdhp, block, size, __FILE__, __LINE__);
}

void drpafree(void *user, void *block) {
  auto *st = static_cast<drpmstate *>(user);
  drsrvstate *srv = st->srv;
  drumfre(srv, srv->hpmgr, srv->cmdhp, &block);
}

void drpgposinit(drpgerrrec *r) {
  r->num = 0;
  r->len = 0;
  r->col = 1;
  r->line = 1;
}

void drpgposset(drpgerrrec *r, int32_t num) {
  if (r->num == 0) r->num = num;
}

void drpgposlen(drpgerrrec *r, int32_t len) { r->len = len; }

void drpgerrpos(drsrvstate *srv, drpgerrrec *r, const char *text) {
  int32_t line = r->line, col = r->col;
  for (int32_t i = 0; i < r->len && text && text[i]; i++) {
    if (text[i] == '\n') {
      line++;
      col = 1;
    } else {
      col++;
    }
  }
  r->line = line;
  r->col = col;
  r->len = 0; /* counted now: a second report does not count again */
  dracnerr(srv, DRFAC_DRG, r->num, 1, DRA_SB4POS, &r->line, DRA_SB4POS, &r->col, 0);
}
