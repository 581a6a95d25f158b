/* The prefix and equivalence leaves: one stream of documents and positions
 * merged from the lists of every term they stand for. Rows come from one or
 * more statements in the order of their first document and are fetched only
 * when the merge reaches that document; their lists are kept in blocks that
 * are recycled, never collected. When highlighting, the occurrences of all
 * their terms in one document come merged from that document's index. */
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "dr/dra/dra.h"
#include "dr/dras/dras.h"
#include "dr/dras/drtqops.h"
#include "dr/dreb/drebyint.h"
#include "dr/dreu/dreu.h"
#include "dr/dru/drue.h"
#include "dr/dru/druo.h"

namespace {

/* One statement: its cursor, the first document of the row it fetched last,
 * whether it may deliver more rows. */
struct drebystm {
  druocur cur;
  uint32_t firstdoc;
  int16_t fdind;
  uint8_t more;
  uint8_t opened;
  drebystm *next;
};

/* The list of one fetched row, with a reader over it and the two document
 * cursors of the merge: one for slot 0 (document and occurrence count), one
 * for slots 1 and 2 (document and position). */
struct drebyblk {
  uint8_t data[DREBY_ROWSIZE + 1];
  drebylong big;          /* a row longer than its slot */
  drelent rd;
  uint32_t doc0, cnt0;
  uint32_t doc1, pos1;
  drystoparr *before, *after;
  drystoparr arr[2];
  drebyblk *next;
};

struct drebymul : drynode {
  drebystm *stmts;
  uint8_t row[DREBY_ROWSIZE];
  int16_t ind;
  uint16_t len;
  int32_t kind;
  drebyblk *used;         /* blocks whose lists are being read */
  drebyblk *spare;        /* blocks ready for reuse */
  uint32_t reach;         /* every document below it has been fetched */
  uint8_t more;           /* some statement may still deliver rows */
  uint32_t floor;         /* after a statement ran again: the highest document handed out */
  char *word;             /* prefix: the word */
  char **terms;           /* equivalence: the words, ended by null */
  int32_t nterms;
  drhiidx *idx;           /* occurrence mode: the document's index */
  drhicur *icur;          /* ... and the cursor over the terms' occurrences */
};

drebymul *mul(drynode *n) { return static_cast<drebymul *>(n); }

/* Moves a block to the head of a chain. */
void push(drebyblk **chain, drebyblk *b) {
  b->next = *chain;
  *chain = b;
}

/* Every statement starts again from its first row: what was fetched is
 * dropped, and no document at or below the highest handed out comes again. */
int drebymagain(drsrvstate *st, drebymul *n) {
  n->reach = 0;
  n->more = 1;
  n->floor = n->doc > n->floor ? n->doc : n->floor;
  while (drebyblk *b = n->used) {
    n->used = b->next;
    push(&n->spare, b);
  }
  for (drebystm *s = n->stmts; s; s = s->next) {
    s->firstdoc = 0;
    s->more = 1;
    if (druocan(st, &s->cur) != 0 || druoexe(st, &s->cur) != 0) return 1;
  }
  return 0;
}

/* The row supply: fetches, statement by statement, every row whose first
 * document the reach has come to, and moves the reach on. 0 or 1. */
int drebymfill(drsrvstate *st, drheap heap, drebymul *n) {
  for (drebystm *s = n->stmts; s; s = s->next) {
    while (s->more && n->reach >= s->firstdoc) {
      int rc = druofet(st, &s->cur, 1, &druorepq);
      if (rc == DRUO_AGAIN) return drebymagain(st, n);
      if (rc == DRUO_NODATA) {
        s->more = 0;
        break;
      }
      if (rc != 0 && rc != DRUO_TRUNC) {
        druoerr(st, rc, 0, 2);
        return 1;
      }
      drebyblk *b = n->spare;
      if (b) {
        n->spare = b->next;
      } else {
        b = static_cast<drebyblk *>(drumalc(st, st->hpmgr, heap, 1, sizeof(drebyblk), __FILE__, __LINE__));
        if (!b) return 1;
        b->before = &b->arr[0];
        b->after = &b->arr[1];
      }
      /* A reused block starts with clear cursors: the merge must not take
       * the previous row's documents for this one's. */
      b->doc0 = b->cnt0 = b->doc1 = b->pos1 = 0;
      push(&n->used, b);
      const uint8_t *data = n->row;
      uint32_t len = n->len;
      const char *what = n->word ? n->word : n->terms[0];
      if (drebyrowget(st, heap, &s->cur, 0, n->ind, &data, &len, &b->big, what) != 0) return 1;
      if (data == n->row) {
        std::memcpy(b->data, n->row, len);
        data = b->data;
      }
      drelrdinit(&b->rd, data, len);
    }
  }
  bool any = false;
  uint32_t reach = 0;
  for (drebystm *s = n->stmts; s; s = s->next) {
    if (!s->more) continue;
    if (!any || s->firstdoc < reach) reach = s->firstdoc;
    any = true;
  }
  n->reach = reach;
  if (!any) n->more = 0;
  return 0;
}

/* The merge loop of slots 0 and 1: the smallest document among the blocks
 * at or after t, fetching rows until no row still to come can hold a
 * smaller one. slot0 selects the slot-0 cursors (with counts) or the slot-1
 * ones. 0 with *doc (0 when exhausted) and *count, or 1. */
int drebymerge(drsrvstate *st, drheap heap, drebymul *n, uint32_t t, bool slot0, uint32_t *doc,
               uint32_t *count) {
  uint32_t g = drebyfloor(n->floor, t);
  uint32_t b = n->doc;
  uint32_t c = 0;
  for (;;) {
    if (b >= n->reach && n->more && drebymfill(st, heap, n) != 0) return 1;
    g = drebyfloor(n->floor, t);
    b = 0;
    c = 0;
    for (drebyblk **pp = &n->used; *pp;) {
      drebyblk *blk = *pp;
      uint32_t &bd = slot0 ? blk->doc0 : blk->doc1;
      if (bd == 0 || bd < g) {
        int rc;
        if (slot0) {
          dreldoc d{};
          rc = drelgetdoc(&blk->rd, n->kind, &d, g);
          if (rc == 0) {
            blk->doc0 = d.doc;
            blk->cnt0 = d.val;
          }
        } else {
          rc = drelseek(&blk->rd, n->kind, &blk->doc1, g);
          blk->pos1 = 0;
        }
        if (rc == 2) {
          *pp = blk->next;
          push(&n->spare, blk);
          continue;
        }
        if (rc != 0) {
          drelbad(st, n->word ? n->word : n->terms[0]);
          return 1;
        }
      }
      if (b == 0 || bd < b) {
        b = bd;
        c = blk->cnt0;
      } else if (bd == b) {
        c += blk->cnt0;
      }
      pp = &blk->next;
    }
    if (b >= n->reach && n->more) continue;
    if (b != 0) break;
    if (!n->more) break;
    b = n->reach;
  }
  *doc = b;
  *count = c;
  return 0;
}

int drebymnext(drsrvstate *st, drheap heap, drynode *dn, uint32_t t, int) {
  drebymul *n = mul(dn);
  uint32_t b = 0, c = 0;
  if (drebymerge(st, heap, n, t, true, &b, &c) != 0) return 1;
  if (b == 0) {
    n->state = DRY_DONE;
    return 0;
  }
  /* The blocks on the document move on at the next call. */
  for (drebyblk *blk = n->used; blk; blk = blk->next)
    if (blk->doc0 == b) blk->doc0 = 0;
  n->doc = b;
  n->score = c >= 10 ? 100 : static_cast<int32_t>(c) * 10;
  return 0;
}

/* Slot 1 leaves the blocks on the document it answers: they move when the
 * target passes them or when slot 2 has read all their positions. */
int drebymseek(drsrvstate *st, drheap heap, drynode *dn, uint32_t t, int) {
  drebymul *n = mul(dn);
  uint32_t b = 0, c = 0;
  if (drebymerge(st, heap, n, t, false, &b, &c) != 0) return 1;
  if (b == 0) {
    n->state = DRY_DONE;
    return 0;
  }
  n->doc = b;
  n->pos = 0;
  return 0;
}

int drebympos(drsrvstate *st, drheap, drynode *dn, uint32_t t, int) {
  drebymul *n = mul(dn);
  drebyblk *win = nullptr;
  for (drebyblk *blk = n->used; blk; blk = blk->next) {
    if (blk->doc1 != n->doc || blk->doc1 == 0) continue;
    if (blk->pos1 == 0 || blk->pos1 < t) {
      drelocc o{0, 0, blk->before, blk->after};
      int rc = drelnextent(&blk->rd, n->kind, &o, t);
      if (rc == 2) {
        blk->doc1 = 0;
        continue;
      }
      if (rc != 0) {
        drelbad(st, n->word ? n->word : n->terms[0]);
        return 1;
      }
      blk->pos1 = o.pos;
    }
    if (!win || blk->pos1 < win->pos1) win = blk;
  }
  if (!win) {
    n->pos = 0;
    return 2;
  }
  n->pos = win->pos1;
  if (n->before) *n->before = *win->before;
  if (n->after) *n->after = *win->after;
  win->pos1 = 0;
  return 0;
}

/* Releases the statements, the blocks and the node; 1 when a cursor could
 * not be closed (the release goes on). */
int drebymfree(drsrvstate *st, drheap heap, drebymul *n, int32_t mode) {
  int result = 0;
  (void)mode;
  if (n->icur) drops<drhiops>(&n->idx->hd.obj)->release(&n->idx->hd.obj, &n->icur);
  while (drebystm *s = n->stmts) {
    n->stmts = s->next;
    if (s->opened && druocls(&s->cur) != 0) {
      druoerr(st, druorc(&s->cur), DRUE_CLOSE, 2);
      result = 1;
    }
    void *p = s;
    drumfre(st, st->hpmgr, heap, &p);
  }
  for (drebyblk **chain : {&n->used, &n->spare}) {
    while (drebyblk *b = *chain) {
      *chain = b->next;
      drebylongfree(st, heap, &b->big);
      void *p = b;
      drumfre(st, st->hpmgr, heap, &p);
    }
  }
  if (n->stopalt) {
    void *p = n->stopalt;
    drumfre(st, st->hpmgr, heap, &p);
  }
  drymrel(st, heap, n);
  return result;
}

/* Slot 3: the next occurrence of any of the terms at or after word
 * position t. */
int drebymocc(drsrvstate *, drheap, drynode *dn, uint32_t t, int) {
  drebymul *n = mul(dn);
  return drebyhinext(n->idx, n->icur, n, t);
}

int drebypfree(drsrvstate *st, drheap heap, drynode *dn, int32_t mode) {
  drebymul *n = mul(dn);
  void *p = n->word;
  if (p) drumfre(st, st->hpmgr, heap, &p);
  return drebymfree(st, heap, n, mode);
}

int drebyefree(drsrvstate *st, drheap heap, drynode *dn, int32_t mode) {
  drebymul *n = mul(dn);
  if (n->terms) {
    for (char **w = n->terms; *w; ++w) {
      void *p = *w;
      drumfre(st, st->hpmgr, heap, &p);
    }
    void *p = n->terms;
    drumfre(st, st->hpmgr, heap, &p);
  }
  return drebymfree(st, heap, n, mode);
}

int drebypprint(void *, drynode *dn, int depth) {
  drymline(dn, depth, "\n%.*s%s PREFIX docid=%d term=%s", "drebypprint", mul(dn)->word);
  return 0;
}

int drebyeprint(void *, drynode *dn, int depth) {
  drymline(dn, depth, "\n%.*s%s EQUIVALENCE docid=%d terms=%s ...", "drebyeprint", mul(dn)->terms[0]);
  return 0;
}

const drytmpl kPrefix = {
    1, DRYT_PREFIX, nullptr,
    {.next = drebymnext, .seek = drebymseek, .pos = drebympos, .occ = drebymocc, .free = drebypfree,
     .dump = drebypprint}};
const drytmpl kEquiv = {
    1, DRYT_EQUIV, nullptr,
    {.next = drebymnext, .seek = drebymseek, .pos = drebympos, .occ = drebymocc, .free = drebyefree,
     .dump = drebyeprint}};

/* A new statement record at the head of the node's list, its statement
 * parsed and its two columns defined; 0, or 1 after pushing. */
int drebymstm(drsrvstate *st, drheap heap, drebyctx *ctx, drebymul *n, const char *sql, drebystm **out) {
  auto *s = static_cast<drebystm *>(drumalc(st, st->hpmgr, heap, 1, sizeof(drebystm), __FILE__, __LINE__));
  if (!s) return 1;
  s->next = n->stmts;
  n->stmts = s;
  *out = s;
  if (druoprp(st, &s->cur, DRUO_WORK, sql) != 0) return 1;
  s->opened = 1;
  s->more = 1;
  if (druodef(st, &s->cur, 1, n->row, DREBY_ROWSIZE, DRUO_LONGRAW, &n->ind, &n->len) != 0 ||
      druodef(st, &s->cur, 2, &s->firstdoc, 4, ctx->firstdoctype, &s->fdind, nullptr) != 0)
    return 1;
  return 0;
}

/* The prefix's statement: every word that begins with it. */
int drebypsql(drsrvstate *st, drheap heap, drebyctx *ctx, drebymul *n) {
  char sql[512];
  if (drasmfmt(st->fmt, sql, sizeof sql,
               "SELECT %(2)s, %(4)s FROM %(1)s WHERE %(3)s LIKE :word || '%(5)s' ORDER BY %(4)s",
               DRA_STR, ctx->table, DRA_STR, ctx->wordinfo, DRA_STR, ctx->wordtext, DRA_STR,
               ctx->firstdoc, DRA_STR, "%", DRA_END) < 0) {
    dracnierr(st, DRFAC_DRG, 50600, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_END);
    return 1;
  }
  drebystm *s = nullptr;
  if (drebymstm(st, heap, ctx, n, sql, &s) != 0 ||
      druobnd(st, &s->cur, ":word", n->word, static_cast<int32_t>(std::strlen(n->word) + 1),
              DRUO_STRING) != 0 ||
      druoexe(st, &s->cur) != 0)
    return 1;
  n->more = 1;
  return 0;
}

/* A statement text built piece by piece through the formatter. */
struct drebytxt {
  char buf[1024];
  size_t len = 0;
  bool bad = false;
};

template <class... A>
void add(drsrvstate *st, drebytxt &t, const char *fmt, A... args) {
  if (t.bad) return;
  int k = drasmfmt(st->fmt, t.buf + t.len, sizeof t.buf - t.len, fmt, args..., DRA_END);
  if (k < 0) t.bad = true;
  else t.len += static_cast<size_t>(k);
}

/* The equivalence's statements, one per 160 terms, each naming its terms in
 * groups of 16 bind variables; those of a statement's last group beyond its
 * last term are bound to null. */
int drebyesql(drsrvstate *st, drheap heap, drebyctx *ctx, drebymul *n) {
  static char empty[] = "";
  static int16_t nullind = -1;
  int32_t total = n->nterms;
  if (total == 0 || total >= DREBY_MAXTERMS) {
    dracnierr(st, DRFAC_DRG, DRYM_NOTSUP, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_STR,
              "drebyesql", DRA_INT, static_cast<int>(total), DRA_END);
    return 1;
  }
  for (int32_t from = 0; from < total; from += DREBY_STMTTERMS) {
    int32_t count = total - from < DREBY_STMTTERMS ? total - from : DREBY_STMTTERMS;
    int32_t groups = (count + DREBY_GROUP - 1) / DREBY_GROUP;
    drebytxt sql;
    add(st, sql, "SELECT %(2)s,%(3)s FROM %(1)s WHERE ", DRA_STR, ctx->table, DRA_STR, ctx->wordinfo,
        DRA_STR, ctx->firstdoc);
    for (int32_t g = 0; g < groups; ++g) {
      if (g > 0) add(st, sql, "OR ");
      add(st, sql, "%s IN (", DRA_STR, ctx->wordtext);
      for (int32_t i = 0; i < DREBY_GROUP; ++i)
        add(st, sql, i ? ",:%s" : ":%s", DRA_INT, static_cast<int>(g * DREBY_GROUP + i));
      add(st, sql, ") ");
    }
    add(st, sql, "ORDER BY %s", DRA_STR, ctx->firstdoc);
    if (sql.bad) {
      dracnierr(st, DRFAC_DRG, 50600, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_END);
      return 1;
    }
    drebystm *s = nullptr;
    if (drebymstm(st, heap, ctx, n, sql.buf, &s) != 0) return 1;
    for (int32_t i = 0; i < groups * DREBY_GROUP; ++i) {
      char name[8];
      std::snprintf(name, sizeof name, ":%d", static_cast<int>(i));
      const char *term = i < count ? n->terms[from + i] : empty;
      int rc = druobnd(st, &s->cur, name, const_cast<char *>(term),
                       static_cast<int32_t>(std::strlen(term) + 1), DRUO_STRING,
                       i < count ? nullptr : &nullind);
      if (rc != 0) return 1;
    }
    if (druoexe(st, &s->cur) != 0) return 1;
  }
  n->more = 1;
  return 0;
}

/* Allocates a node of one of the two kinds over its terms, and runs its
 * statements; null after pushing (the node is freed). */
drebymul *drebymnew(drebyctx *ctx, drytree *t, const drytmpl *tmpl, char *word, char **terms,
                    int32_t nterms) {
  drsrvstate *st = t->srv;
  auto *n = static_cast<drebymul *>(drymalc(t, sizeof(drebymul), tmpl));
  if (!n) return nullptr;
  n->word = word;
  n->terms = terms;
  n->nterms = nterms;
  n->kind = ctx->kind;
  int rc;
  if (t->mode == DRY_OCCS) {
    n->idx = t->docidx;
    rc = word ? drebyhiopen(st, n->idx, &n->icur, [&](drobj *x, const drhiops *o) {
      return o->prefix(x, word, &n->icur);
    }) : drebyhiopen(st, n->idx, &n->icur, [&](drobj *x, const drhiops *o) {
      return o->terms(x, terms, nterms, &n->icur);
    });
  } else {
    rc = drebynames(st, ctx);
    if (rc == 0) rc = word ? drebypsql(st, t->heap, ctx, n) : drebyesql(st, t->heap, ctx, n);
  }
  if (rc != 0) {
    /* The caller frees the words. */
    n->word = nullptr;
    n->terms = nullptr;
    drebymfree(st, t->heap, n, DRY_DOCS);
    return nullptr;
  }
  return n;
}

/* A copy of a text in the tree's heap, or null after pushing. */
char *dup(drytree *t, const char *text) {
  size_t len = std::strlen(text);
  auto *p = static_cast<char *>(drumalc(t->srv, t->srv->hpmgr, t->heap, 1, len + 1, __FILE__, __LINE__));
  if (p) std::memcpy(p, text, len + 1);
  return p;
}

void release(drytree *t, void *p) {
  if (p) drumfre(t->srv, t->srv->hpmgr, t->heap, &p);
}

}  // namespace

drynode *drebypnew(void *user, drytree *t, drpanode *pn, int32_t n, drynode **children) {
  const char *text = nullptr;
  drops<drtqops>(t->cmp)->text(t->cmp, pn, &text, t->buf);
  char *word = dup(t, text ? text : "");
  if (!word) return nullptr;
  drebymul *node = drebymnew(static_cast<drebyctx *>(user), t, &kPrefix, word, nullptr, 0);
  if (!node) {
    release(t, word);
    return nullptr;
  }
  node->nchild = n;
  node->child = children;
  return node;
}

drynode *drebyenew(void *user, drytree *t, drpanode *pn, int32_t n, drynode **children) {
  drsrvstate *st = t->srv;
  const drtqops *qp = drops<drtqops>(t->cmp);
  /* First pass: how many words, how many of them stop words. */
  int32_t k = 0, s = 0;
  for (drpanode *c = qp->child(t->cmp, pn, t->buf); c; c = qp->next(t->cmp, c, t->buf)) {
    const char *text = nullptr;
    qp->text(t->cmp, c, &text, t->buf);
    int32_t num = -1;
    /* When highlighting, stop words are words like any other. */
    if (t->mode == DRY_DOCS && qp->stop(t->cmp, text ? text : "", &num) != 0) return nullptr;
    if (num == -1) ++k;
    else ++s;
  }
  auto *terms = static_cast<char **>(drumalc(st, st->hpmgr, t->heap, static_cast<size_t>(k) + 1,
                                             sizeof(char *), __FILE__, __LINE__));
  int32_t *alts = nullptr;
  if (s) alts = static_cast<int32_t *>(drumalc(st, st->hpmgr, t->heap, static_cast<size_t>(s) + 1,
                                               sizeof(int32_t), __FILE__, __LINE__));
  bool ok = terms && (s == 0 || alts);
  /* Second pass: both arrays are filled from their last element backwards,
   * so that they hold the words in reverse order of the query. */
  if (ok) {
    int32_t ki = k, si = s;
    if (alts) alts[s] = -1;
    for (drpanode *c = qp->child(t->cmp, pn, t->buf); c && ok; c = qp->next(t->cmp, c, t->buf)) {
      const char *text = nullptr;
      qp->text(t->cmp, c, &text, t->buf);
      int32_t num = -1;
      ok = t->mode != DRY_DOCS || qp->stop(t->cmp, text ? text : "", &num) == 0;
      if (!ok) break;
      if (num == -1) ok = (terms[--ki] = dup(t, text ? text : "")) != nullptr;
      else alts[--si] = num;
    }
  }
  drynode *node = nullptr;
  if (ok) {
    node = k > 0 ? drebymnew(static_cast<drebyctx *>(user), t, &kEquiv, nullptr, terms, k) : dryswnew(t, -1);
  }
  if (!node) {
    for (int32_t i = 0; terms && i < k; ++i) release(t, terms[i]);
    release(t, terms);
    release(t, alts);
    return nullptr;
  }
  if (k == 0) release(t, terms);
  node->stopalt = alts;
  node->nchild = n;
  node->child = children;
  return node;
}
