/* The base engine's query and highlight: the evaluation tree of the parsed
 * query walked in document order, its hits mapped to keys in ascending
 * batches of at most 1000 and handed to the result writer (the best MAX_DOC
 * kept in a heap, the FIRST_DOC window applied to positions), or handed on
 * by number; and the occurrences of the query's words in one document,
 * found through that document's in-memory index. */
#include <cstring>

#include "dr/dras/drrhlops.h"
#include "dr/dras/drrwrops.h"
#include "dr/dreb/dreb.h"
#include "dr/dreb/dreby.h"
#include "dr/drh/drh.h"
#include "dr/dru/drue.h"
#include "dr/dry/dry.h"

namespace {

drebobj *eng(drobj *o) { return reinterpret_cast<drebobj *>(o); }
const drrwrops *wro(drobj *w) { return drops<drrwrops>(w); }

/* ---- the MAX_DOC heap: a min-heap by score ---- */

void hswap(drebqstate *q, int32_t a, int32_t b) {
  char *k = q->hkeys[a];
  q->hkeys[a] = q->hkeys[b];
  q->hkeys[b] = k;
  uint8_t s = q->hscores[a];
  q->hscores[a] = q->hscores[b];
  q->hscores[b] = s;
}

/* Moves entry i down in a heap of size entries while a child scores lower
 * (the left child when both score the same). */
void hdown(drebqstate *q, int32_t i, int32_t size) {
  for (;;) {
    int32_t l = 2 * i + 1, r = l + 1;
    if (l >= size) return;
    int32_t c = r < size && q->hscores[r] < q->hscores[l] ? r : l;
    if (q->hscores[c] >= q->hscores[i]) return;
    hswap(q, c, i);
    i = c;
  }
}

/* Offers a key to the heap: kept while there is room, else only when it
 * scores above the lowest kept (a later key never displaces an equal one). */
void hoffer(drebqstate *q, char *key, uint8_t score) {
  if (q->hcount < q->maxdoc) {
    int32_t i = q->hcount++;
    q->hkeys[i] = key;
    q->hscores[i] = score;
    while (i > 0 && q->hscores[(i - 1) / 2] > q->hscores[i]) {
      hswap(q, i, (i - 1) / 2);
      i = (i - 1) / 2;
    }
  } else if (score > q->hscores[0]) {
    q->hkeys[0] = key;
    q->hscores[0] = score;
    hdown(q, 0, q->hcount);
  }
}

/* Sorts the heap in place into descending scores and hands the window's
 * positions to the writer in batches; the writer's 1 or 2, else 0. */
int hflush(drebqstate *q) {
  for (int32_t size = q->hcount; size > 1; --size) {
    hswap(q, 0, size - 1);
    hdown(q, 0, size - 1);
  }
  uint32_t to = static_cast<uint32_t>(q->hcount - 1);
  if (q->last < to) to = q->last;
  for (uint32_t at = q->first; at <= to && at < static_cast<uint32_t>(q->hcount);) {
    uint32_t k = to - at + 1;
    if (k > static_cast<uint32_t>(q->bsize)) k = static_cast<uint32_t>(q->bsize);
    int rc = wro(q->writer)->putrows(q->writer, static_cast<int32_t>(k), q->hkeys + at, q->hscores + at);
    if (rc == 1 || rc == 2) return rc;
    at += k;
  }
  return 0;
}

/* Takes a hit of the walk into the batch when it counts (not the end, not
 * past the ceiling); whether the batch must go on now: it is full, or the
 * walk ends or reaches the ceiling (*last). */
bool take(drebqstate *q, uint32_t doc, uint32_t score, bool *last) {
  if (doc != 0 && doc <= q->ceiling) {
    q->ids[q->n] = static_cast<int32_t>(doc);
    q->scores[q->n++] = static_cast<uint8_t>(score);
  }
  *last = doc == 0 || doc >= q->ceiling;
  return q->n > 0 && (*last || q->n == q->bsize);
}

}  // namespace

drebyctx drebqctx(drobj *o) {
  drebobj *e = eng(o);
  auto *x = reinterpret_cast<drebiobj *>(e->indexer);
  const drudcol *c = x->tab->cols;
  drebyctx ctx{};
  ctx.table = x->tab->name;
  ctx.wordtext = c[0].name;
  ctx.firstdoc = c[1].name;
  ctx.firstdoctype = c[1].extype;
  ctx.wordinfo = c[3].name;
  ctx.kind = x->kind;
  if (e->sqm) ctx.sqr = &reinterpret_cast<drebsobj *>(e->sqm)->leaf;
  return ctx;
}

int drebqinit(drebqstate *q, drobj *docids, drobj *writer, uint32_t ceiling, const char *view,
              int32_t maxdoc, int32_t firstdoc, int32_t lastdoc) {
  q->docids = docids;
  q->writer = writer;
  int b = wro(writer)->batchsize(writer);
  q->bsize = b < 1 ? 1 : b > DREBQ_BATCH ? DREBQ_BATCH : b;
  q->ceiling = ceiling;
  q->view = view;
  q->maxdoc = maxdoc > 0 ? maxdoc : 0;
  q->first = firstdoc > 0 ? static_cast<uint32_t>(firstdoc - 1) : 0;
  q->last = lastdoc > 0 ? static_cast<uint32_t>(lastdoc - 1) : UINT32_MAX;
  return 0;
}

int drebqhit(void *state, uint32_t doc, uint32_t score) {
  auto *q = static_cast<drebqstate *>(state);
  bool last = false;
  if (take(q, doc, score, &last)) {
    int32_t k = 0;
    int rc = drops<drdidops>(q->docids)->keys(q->docids, q->n, q->ids, &k, q->keys, q->scores, q->view);
    q->n = 0;
    if (rc == 1) {
      druetrc();
      return 1;
    }
    if (rc == 2) q->end = 1;
    if (k > 0 && q->maxdoc == 0) {
      /* The keys are the query's hits in id order: only the window's
       * positions go on. */
      uint32_t p = q->pos;
      if (p > q->last) {
        q->end = 1;
      } else {
        uint32_t from = p > q->first ? p : q->first;
        uint64_t end = static_cast<uint64_t>(p) + static_cast<uint32_t>(k) - 1;
        uint32_t to = end < q->last ? static_cast<uint32_t>(end) : q->last;
        if (from <= to) {
          rc = wro(q->writer)->putrows(q->writer, static_cast<int32_t>(to - from + 1),
                                       q->keys + (from - p), q->scores + (from - p));
          if (rc == 1 || rc == 2) return rc;
        }
        q->pos = p + static_cast<uint32_t>(k);
      }
    } else {
      for (int32_t i = 0; i < k; ++i) hoffer(q, q->keys[i], q->scores[i]);
    }
  }
  if (q->maxdoc > 0 && q->hcount > 0 && (last || q->end)) {
    q->end = 1;
    int rc = hflush(q);
    q->hcount = 0;
    if (rc == 1 || rc == 2) return rc;
  }
  return last || q->end ? 2 : 0;
}

int drebqhitid(void *state, uint32_t doc, uint32_t score) {
  auto *q = static_cast<drebqstate *>(state);
  bool last = false;
  if (take(q, doc, score, &last)) {
    int rc = wro(q->writer)->puthits(q->writer, q->n, reinterpret_cast<const uint32_t *>(q->ids), q->scores);
    q->n = 0;
    if (rc == 1 || rc == 2) return rc;
  }
  return last ? 2 : 0;
}

int drebhlhit(void *state, const dryocc *occ) {
  auto *h = static_cast<drebhstate *>(state);
  if (occ) {
    h->offs[h->n] = static_cast<int32_t>(occ->off) + 1;
    h->lens[h->n] = occ->ext;
    h->strs[h->n++] = occ->score;
    if (h->n < DREBQ_BATCH) return 0;
  }
  /* A full set, or the end: the end hands over what is held, even nothing. */
  int rc = drops<drrhlops>(h->writer)->add(h->writer, h->n, h->offs, h->lens, h->strs);
  h->n = 0;
  return rc;
}

int drebqry(drobj *o, drobj *qp, drobj *writer, drobj *, uint8_t bynum, uint32_t start,
            uint32_t ceiling, const char *view, int32_t maxdoc, int32_t firstdoc, int32_t lastdoc) {
  drebobj *e = eng(o);
  drsrvstate *st = e->st;
  drheap heap = st->cmdhp;
  if (drops<drdidops>(e->docids)->close(e->docids, 0) != 0) {
    druetrc();
    return 1;
  }
  drebyctx ctx = drebqctx(o);
  drytree *tree = nullptr;
  if (drymbuild(st, heap, qp, &tree, drebytnew, drebypnew, drebyenew, drebysnew, &ctx, DRY_DOCS, 0,
                nullptr) != 0) {
    drymfree(tree);
    druetrc();
    return 1;
  }
  auto *q = static_cast<drebqstate *>(drumalc(st, st->hpmgr, heap, 1, sizeof(drebqstate), __FILE__, __LINE__));
  int rc = q ? 0 : 1;
  if (rc == 0) drebqinit(q, e->docids, writer, ceiling, view, bynum ? 0 : maxdoc, firstdoc, lastdoc);
  if (rc == 0 && q->maxdoc > 0) {
    q->hkeys = static_cast<char **>(
        drumalc(st, st->hpmgr, heap, static_cast<size_t>(q->maxdoc), sizeof(char *), __FILE__, __LINE__));
    q->hscores = static_cast<uint8_t *>(
        drumalc(st, st->hpmgr, heap, static_cast<size_t>(q->maxdoc), 1, __FILE__, __LINE__));
    if (!q->hkeys || !q->hscores) rc = 1;
  }
  if (rc == 0 && bynum) {
    /* By number nothing is mapped: no MAX_DOC, no FIRST_DOC. */
    q->first = 0;
    q->last = UINT32_MAX;
  }
  if (rc == 0) rc = drymeval(tree, start, bynum ? drebqhitid : drebqhit, q);
  if (rc == 0 && wro(writer)->finish(writer) != 0) rc = 1;
  if (drymfree(tree) != 0) rc = 1;
  if (q) {
    void *p = q->hkeys;
    if (p) drumfre(st, st->hpmgr, heap, &p);
    p = q->hscores;
    if (p) drumfre(st, st->hpmgr, heap, &p);
    p = q;
    drumfre(st, st->hpmgr, heap, &p);
  }
  if (rc) druetrc();
  return rc;
}

int drebhlite(drobj *o, drobj *lexer, drobj *, drobj *qp, drobj *, const char *, drobj *writer,
              int32_t polid) {
  drebobj *e = eng(o);
  drsrvstate *st = e->st;
  drheap heap = st->cmdhp;
  drhiidx *idx = drhinew(st, polid);
  if (!idx) {
    druetrc();
    return 1;
  }
  drobj *ix = &idx->hd.obj;
  const drhiops *ops = drops<drhiops>(ix);
  drebyctx ctx = drebqctx(o);
  drytree *tree = nullptr;
  int rc = ops->build(ix, lexer);
  if (rc == 0 && drymbuild(st, heap, qp, &tree, drebytnew, drebypnew, drebyenew, drebysnew, &ctx,
                           DRY_OCCS, polid, idx) != 0)
    rc = 1;
  drebhstate *h = nullptr;
  if (rc == 0) {
    h = static_cast<drebhstate *>(drumalc(st, st->hpmgr, heap, 1, sizeof(drebhstate), __FILE__, __LINE__));
    if (!h) rc = 1;
  }
  if (rc == 0) {
    h->writer = writer;
    rc = drymoccur(tree, drebhlhit, h);
  }
  /* The tree's cursors belong to the index: the tree goes first. */
  if (drymfree(tree) != 0) rc = 1;
  if (ops->free(ix) != 0) rc = 1;
  if (h) {
    void *p = h;
    drumfre(st, st->hpmgr, heap, &p);
  }
  if (rc) druetrc();
  return rc;
}
