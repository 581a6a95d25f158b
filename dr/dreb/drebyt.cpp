/* The term leaf: the posting lists of one word, read from the token table
 * four rows at a time in the order of their first document and decoded in
 * place; nothing is collected. When highlighting, the word's occurrences
 * in one document come from that document's in-memory index instead. */
#include <cstring>

#include "dr/dra/dra.h"
#include "dr/dras/dras.h"
#include "dr/dreb/drebyint.h"
#include "dr/drh/drh.h"
#include "dr/dreu/dreu.h"
#include "dr/dru/drue.h"
#include "dr/dru/druo.h"

namespace {

struct drebyterm : drynode {
  char *text;                  /* the word */
  druocur cur;
  uint8_t *rows;               /* DREBY_ROWS slots of DREBY_ROWSIZE bytes */
  int16_t ind[DREBY_ROWS];
  uint16_t len[DREBY_ROWS];
  drebylong big;               /* a row longer than its slot, read whole */
  drelent rd;                  /* reader over the current row */
  int32_t kind;
  int32_t nextrow;             /* 1: the reader must move to the next row */
  int32_t rowidx;              /* current row of the batch; DREBY_ROWS at creation */
  int32_t nrows;               /* rows of the last fetch */
  int32_t opened;              /* the cursor is open */
  uint32_t floor;              /* after the statement ran again: the highest document handed out */
  drhiidx *idx;                /* occurrence mode: the document's index */
  drhicur *icur;               /* ... and the cursor over the word's occurrences */
};

drebyterm *term(drynode *n) { return static_cast<drebyterm *>(n); }

/* The next row of the batch, fetching the next batch when this one is used
 * up; 0 with a row at the row index, 2 when no row is left, 1 on failure. */
int drebytrow(drsrvstate *st, drebyterm *n) {
  if (++n->rowidx >= DREBY_ROWS) {
    uint32_t before = druorows(&n->cur);
    int rc = druofet(st, &n->cur, DREBY_ROWS, &druorepq);
    if (rc == DRUO_AGAIN) {
      /* The statement must run again: its rows start over, and the
       * documents already handed out are passed over. */
      if (druocan(st, &n->cur) != 0 || druoexe(st, &n->cur) != 0) return 1;
      if (n->doc > n->floor) n->floor = n->doc;
      before = 0;
      rc = druofet(st, &n->cur, DREBY_ROWS, &druorepq);
    }
    if (rc != 0 && rc != DRUO_NODATA && rc != DRUO_TRUNC) {
      druoerr(st, rc, 0, 2);
      return 1;
    }
    n->nrows = static_cast<int32_t>(druorows(&n->cur) - before);
    n->rowidx = 0;
  }
  return n->rowidx < n->nrows ? 0 : 2;
}

/* Sets the reader over the row at the row index; 0, or 1 after pushing. */
int drebytrd(drsrvstate *st, drheap heap, drebyterm *n) {
  int32_t k = n->rowidx;
  const uint8_t *data = n->rows + static_cast<size_t>(DREBY_ROWSIZE) * k;
  uint32_t len = n->len[k];
  if (drebyrowget(st, heap, &n->cur, k, n->ind[k], &data, &len, &n->big, n->text) != 0) return 1;
  drelrdinit(&n->rd, data, len);
  n->nextrow = 0;
  return 0;
}

/* Moves the reader to the first document at or after target, across rows;
 * the reader's answer (0, 2 at the end of the rows, 1 after pushing). */
template <class Step>
int drebytmove(drsrvstate *st, drheap heap, drebyterm *n, uint32_t target, Step step) {
  for (;;) {
    if (n->nextrow) {
      int rc = drebytrow(st, n);
      if (rc == 2) {
        n->state = DRY_DONE;
        return 2;
      }
      if (rc != 0 || drebytrd(st, heap, n) != 0) return 1;
    }
    int rc = step(drebyfloor(n->floor, target));
    if (rc == 0) return 0;
    if (rc != 2) {
      drelbad(st, n->text);
      return 1;
    }
    n->nextrow = 1;
  }
}

int drebytnext(drsrvstate *st, drheap heap, drynode *dn, uint32_t t, int) {
  drebyterm *n = term(dn);
  dreldoc d{};
  int rc = drebytmove(st, heap, n, t, [&](uint32_t g) { return drelgetdoc(&n->rd, n->kind, &d, g); });
  if (rc == 1) return 1;
  if (rc == 0) {
    n->doc = d.doc;
    n->score = d.val >= 10 ? 100 : static_cast<int32_t>(d.val) * 10;
  }
  return 0;
}

/* Slot 0 of a theme lexer's index: the score follows the sum of the values
 * the list carries for the document's occurrences. */
int drebytsum(drsrvstate *st, drheap heap, drynode *dn, uint32_t t, int) {
  drebyterm *n = term(dn);
  dreldoc d{};
  int rc = drebytmove(st, heap, n, t, [&](uint32_t g) { return drelgetsum(&n->rd, n->kind, &d, g); });
  if (rc == 1) return 1;
  if (rc == 0) {
    auto s = static_cast<int32_t>(d.val * 100.0 / 64.0);
    n->doc = d.doc;
    n->score = s > 100 ? 100 : s;
  }
  return 0;
}

int drebytseek(drsrvstate *st, drheap heap, drynode *dn, uint32_t t, int) {
  drebyterm *n = term(dn);
  uint32_t doc = 0;
  int rc = drebytmove(st, heap, n, t, [&](uint32_t g) { return drelseek(&n->rd, n->kind, &doc, g); });
  if (rc == 1) return 1;
  if (rc == 0) {
    n->doc = doc;
    n->pos = 0;
  }
  return 0;
}

int drebytpos(drsrvstate *st, drheap, drynode *dn, uint32_t t, int) {
  drebyterm *n = term(dn);
  drelocc o{0, 0, n->before, n->after};
  int rc = drelnextent(&n->rd, n->kind, &o, t);
  if (rc == 0) n->pos = o.pos;
  if (rc == 1) drelbad(st, n->text);
  return rc;
}

/* Slot 3: the next occurrence of the word at or after word position t. */
int drebytocc(drsrvstate *, drheap, drynode *dn, uint32_t t, int) {
  drebyterm *n = term(dn);
  return drebyhinext(n->idx, n->icur, n, t);
}

int drebytfree(drsrvstate *st, drheap heap, drynode *dn, int32_t mode) {
  drebyterm *n = term(dn);
  if (n->icur) drops<drhiops>(&n->idx->hd.obj)->release(&n->idx->hd.obj, &n->icur);
  if (mode == DRY_DOCS && n->opened) {
    if (druocls(&n->cur) != 0) {
      druoerr(st, druorc(&n->cur), DRUE_CLOSE, 2);
      return 1;
    }
    n->opened = 0;
  }
  drebylongfree(st, heap, &n->big);
  void *p = n->rows;
  if (p) drumfre(st, st->hpmgr, heap, &p);
  p = n->text;
  if (p) drumfre(st, st->hpmgr, heap, &p);
  return drymrel(st, heap, n);
}

int drebytprint(void *, drynode *dn, int depth) {
  drymline(dn, depth, "\n%.*s%s TERM docid=%d term=%s", "drebytprint", term(dn)->text);
  return 0;
}

const drytmpl kTerm = {
    1, DRYT_TERM, nullptr,
    {.next = drebytnext, .seek = drebytseek, .pos = drebytpos, .occ = drebytocc, .free = drebytfree,
     .dump = drebytprint}};
/* A theme lexer's index scores by the values its lists carry. */
const drytmpl kTermSum = {
    1, DRYT_TERM, nullptr,
    {.next = drebytsum, .seek = drebytseek, .pos = drebytpos, .occ = drebytocc, .free = drebytfree,
     .dump = drebytprint}};

/* Runs the word's statement on the node's cursor; 0, or 1 after pushing. */
int drebytsql(drsrvstate *st, drebyctx *ctx, drebyterm *n) {
  if (drebynames(st, ctx) != 0) return 1;
  char sql[512];
  if (drasmfmt(st->fmt, sql, sizeof sql, "SELECT %(2)s FROM %(1)s WHERE %(3)s = :word ORDER BY %(4)s",
               DRA_STR, ctx->table, DRA_STR, ctx->wordinfo, DRA_STR, ctx->wordtext, DRA_STR,
               ctx->firstdoc, DRA_END) < 0) {
    dracnierr(st, DRFAC_DRG, 50600, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_END);
    return 1;
  }
  if (druoprp(st, &n->cur, DRUO_WORK, sql) != 0) return 1;
  n->opened = 1;
  if (druobnd(st, &n->cur, ":word", n->text, static_cast<int32_t>(std::strlen(n->text) + 1),
              DRUO_STRING) != 0 ||
      druodef(st, &n->cur, 1, n->rows, DREBY_ROWSIZE, DRUO_LONGRAW, n->ind, n->len) != 0 ||
      druoexe(st, &n->cur) != 0)
    return 1;
  return 0;
}

}  // namespace

drynode *drebytnew(void *user, drytree *t, const char *text) {
  drsrvstate *st = t->srv;
  if (t->mode == DRY_OCCS) {
    /* The word's occurrences in the highlighted document. */
    auto *n = static_cast<drebyterm *>(drymalc(t, sizeof(drebyterm), t->theme ? &kTermSum : &kTerm));
    if (!n) return nullptr;
    size_t len = std::strlen(text);
    n->text = static_cast<char *>(drumalc(st, st->hpmgr, t->heap, 1, len + 1, __FILE__, __LINE__));
    if (n->text) std::memcpy(n->text, text, len + 1);
    n->idx = t->docidx;
    if (!n->text || drebyhiopen(st, n->idx, &n->icur, [&](drobj *x, const drhiops *o) {
          return o->term(x, n->text, &n->icur);
        }) != 0) {
      drebytfree(st, t->heap, n, DRY_OCCS);
      return nullptr;
    }
    return n;
  }
  auto *n = static_cast<drebyterm *>(drymalc(t, sizeof(drebyterm), t->theme ? &kTermSum : &kTerm));
  if (!n) return nullptr;
  size_t len = std::strlen(text);
  n->text = static_cast<char *>(drumalc(st, st->hpmgr, t->heap, 1, len + 1, __FILE__, __LINE__));
  n->rows = static_cast<uint8_t *>(
      drumalz(st, st->hpmgr, t->heap, static_cast<size_t>(DREBY_ROWSIZE) * DREBY_ROWS, __FILE__, __LINE__));
  if (n->text) std::memcpy(n->text, text, len + 1);
  auto *ctx = static_cast<drebyctx *>(user);
  n->kind = ctx->kind;
  n->nextrow = 1;
  n->rowidx = DREBY_ROWS;
  if (!n->text || !n->rows || drebytsql(st, ctx, n) != 0) {
    drebytfree(st, t->heap, n, DRY_DOCS);
    return nullptr;
  }
  return n;
}
