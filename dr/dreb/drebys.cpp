/* The stored-query leaf: the hits the stored-query manager saved for a
 * named query, read row by row from the policy's result table in the order
 * of their first document. Only document mode has it: highlighting puts
 * the stored query's own tree in its place. */
#include <cstring>

#include "dr/dra/dra.h"
#include "dr/dras/dras.h"
#include "dr/dreb/drebyint.h"
#include "dr/drp/drtq.h"
#include "dr/dru/drue.h"
#include "dr/dru/druo.h"

namespace {

struct drebysqe : drynode {
  char *name;
  druocur cur;
  uint8_t *row;           /* DREBY_ROWSIZE bytes */
  int16_t ind;
  uint16_t len;
  drebylong big;          /* a row longer than the slot, read whole */
  const uint8_t *data;    /* the current row */
  uint32_t dlen;
  uint32_t at;            /* read position in it */
  uint8_t nextrow;        /* 1: the next entry comes from the next row */
  int32_t opened;
};

drebysqe *sqe(drynode *n) { return static_cast<drebysqe *>(n); }

int drebysnext(drsrvstate *st, drheap heap, drynode *dn, uint32_t t, int) {
  drebysqe *n = sqe(dn);
  n->doc = 0;
  n->score = 0;
  for (;;) {
    if (n->nextrow) {
      int rc = druofet(st, &n->cur, 1, &druorepq);
      if (rc == DRUO_NODATA) {
        n->state = DRY_DONE;
        return 0;
      }
      if (rc != 0 && rc != DRUO_TRUNC) {
        druoerr(st, rc, 0, 2);
        return 1;
      }
      n->nextrow = 0;
      n->at = 0;
      n->data = n->row;
      n->dlen = n->len;
      /* A null row holds no entry. */
      if (n->ind == -1) n->dlen = 0;
      else if (drebyrowget(st, heap, &n->cur, 0, n->ind, &n->data, &n->dlen, &n->big, n->name) != 0)
        return 1;
    }
    uint32_t doc = 0;
    uint8_t score = 0;
    if (drebysread(n->data, n->dlen, &n->at, t, &doc, &score) == 0) {
      n->doc = doc;
      n->score = score;
      return 0;
    }
    n->nextrow = 1;
  }
}

int drebysrefuse(drsrvstate *, drheap, drynode *, uint32_t, int) { return 1; }

int drebysfree(drsrvstate *st, drheap heap, drynode *dn, int32_t mode) {
  if (mode == DRY_OCCS) return 1;
  drebysqe *n = sqe(dn);
  if (n->opened) {
    if (druocls(&n->cur) != 0) {
      druoerr(st, druorc(&n->cur), DRUE_CLOSE, 2);
      return 1;
    }
    n->opened = 0;
  }
  drebylongfree(st, heap, &n->big);
  void *p = n->row;
  if (p) drumfre(st, st->hpmgr, heap, &p);
  p = n->name;
  if (p) drumfre(st, st->hpmgr, heap, &p);
  return drymrel(st, heap, n);
}

int drebysprint(void *, drynode *dn, int depth) {
  drymline(dn, depth, "\n%.*s%s SQE docid=%d qname=%s ...", "drebysprint", sqe(dn)->name);
  return 0;
}

const drytmpl kSqe = {1, DRYT_SQE, nullptr,
                      {.next = drebysnext, .seek = drebysrefuse, .pos = drebysrefuse,
                       .occ = drebysrefuse, .free = drebysfree, .dump = drebysprint}};

/* Opens the node's statement and runs it; 0, or 1 after pushing. */
int drebyssql(drsrvstate *st, const drebysqr *q, drebysqe *n) {
  const char *names[] = {q->result, q->name, q->session, q->firstdoc};
  bool ok = q->table && druoidn(q->table, 2);
  for (const char *c : names) ok = ok && c && druoidn(c, 1);
  if (!ok) {
    dracnierr(st, DRFAC_DRG, 50600, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_STR,
              q->table ? q->table : "(null)", DRA_END);
    return 1;
  }
  char sql[512];
  if (drasmfmt(st->fmt, sql, sizeof sql,
               "SELECT %(2)s FROM %(1)s WHERE %(3)s = UPPER(:qname) and %(4)s IN ('SYSTEM', :sid)"
               " ORDER BY %(5)s",
               DRA_STR, q->table, DRA_STR, q->result, DRA_STR, q->name, DRA_STR, q->session,
               DRA_STR, q->firstdoc, DRA_END) < 0) {
    dracnierr(st, DRFAC_DRG, 50600, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_END);
    return 1;
  }
  if (druoprp(st, &n->cur, DRUO_WORK, sql) != 0) return 1;
  n->opened = 1;
  if (druobnd(st, &n->cur, ":qname", n->name, static_cast<int32_t>(std::strlen(n->name) + 1),
              DRUO_STRING) != 0 ||
      druobnd(st, &n->cur, ":sid", st->qsess, static_cast<int32_t>(strnlen(st->qsess, sizeof st->qsess - 1) + 1),
              DRUO_STRING) != 0 ||
      druodef(st, &n->cur, 1, n->row, DREBY_ROWSIZE, DRUO_LONGRAW, &n->ind, &n->len) != 0 ||
      druoexe(st, &n->cur) != 0)
    return 1;
  return 0;
}

}  // namespace

int drebysread(const uint8_t *row, uint32_t len, uint32_t *at, uint32_t target, uint32_t *doc,
               uint8_t *score) {
  for (;;) {
    /* An entry that does not fit in what is left ends the row. */
    if (*at > len || len - *at < 5) return 2;
    const uint8_t *p = row + *at;
    uint32_t id = static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                  static_cast<uint32_t>(p[2]) << 8 | p[3];
    if (id == 0) return 2;
    *at += 5;
    if (id < target) continue;
    *doc = id;
    *score = p[4];
    return 0;
  }
}

drynode *drebysnew(void *user, drytree *t, drpanode *pn, int32_t nchild, drynode **children) {
  if (t->mode == DRY_OCCS) return nullptr;
  drsrvstate *st = t->srv;
  auto *ctx = static_cast<drebyctx *>(user);
  if (!ctx || !ctx->sqr) {
    dracnerr(st, DRFAC_DRG, 50701, 2, DRA_STR, "stored query expressions in queries", DRA_END);
    return nullptr;
  }
  const char *text = nullptr;
  drops<drtqops>(t->cmp)->text(t->cmp, pn, &text, t->buf);
  auto *n = static_cast<drebysqe *>(drymalc(t, sizeof(drebysqe), &kSqe));
  if (!n) return nullptr;
  size_t len = std::strlen(text ? text : "");
  n->name = static_cast<char *>(drumalc(st, st->hpmgr, t->heap, 1, len + 1, __FILE__, __LINE__));
  n->row = static_cast<uint8_t *>(drumalz(st, st->hpmgr, t->heap, DREBY_ROWSIZE, __FILE__, __LINE__));
  if (n->name) std::memcpy(n->name, text ? text : "", len + 1);
  n->nextrow = 1;
  if (!n->name || !n->row || drebyssql(st, ctx->sqr, n) != 0) {
    drebysfree(st, t->heap, n, DRY_DOCS);
    return nullptr;
  }
  n->stopalt = nullptr;
  n->nchild = nchild;
  n->child = children;
  return n;
}
