/* The in-memory term index of one document: every word token of the
 * document hashed by its text, its occurrences chained in document order in
 * records taken from chunks of 1024, so that no occurrence costs an
 * allocation of its own. */
#include <cstring>

#include "dr/drd/drd.h"
#include "dr/drh/drh.h"
#include "dr/dras/drlexops.h"
#include "dr/dras/drtoken.h"
#include "dr/dru/drue.h"

namespace {

drhiidx *idxof(drobj *o) { return reinterpret_cast<drhiidx *>(o); }

void *alloc(drhiidx *x, size_t count, size_t size) {
  return drumalc(x->st, x->st->hpmgr, x->heap, count, size, __FILE__, __LINE__);
}
void release(drhiidx *x, void *p) {
  if (p) drumfre(x->st, x->st->hpmgr, x->heap, &p);
}

/* The token types that are words of the document. */
bool isword(uint8_t type) {
  switch (type) {
    case DRTOK_WORD: case DRTOK_NUMBER: case DRTOK_MIXED:
    case DRTOK_PIECE: case DRTOK_SINGLE: case DRTOK_LAST:
      return true;
    default:
      return false;
  }
}

/* The next free occurrence record, a new chunk taken when the current one
 * is full; null after pushing 10900. */
dryocc *take(drhiidx *x) {
  if (x->used == DRHI_CHUNK) {
    auto *l = static_cast<drhilink *>(alloc(x, 1, sizeof(drhilink)));
    auto *c = l ? static_cast<dryocc *>(alloc(x, DRHI_CHUNK, sizeof(dryocc))) : nullptr;
    if (!c) {
      release(x, l);
      return nullptr;
    }
    /* Appended, so that the chain lists the chunks in the order taken. */
    l->chunk = c;
    drhilink **end = &x->chain;
    while (*end) end = &(*end)->next;
    *end = l;
    x->cur = c;
    x->used = 0;
  }
  return &x->cur[x->used++];
}

/* Hashes one word token at word position p; 0 / 1. */
int add(drhiidx *x, const drtoken &t, uint32_t p) {
  void *e = nullptr;
  const char *text = t.text ? t.text : "";
  if (druhins(x->terms, text, static_cast<uint8_t>(std::strlen(text) + 1), &e) != 0 || !e)
    return 1;
  auto *el = static_cast<drhielt *>(e);
  dryocc *o;
  if (!el->taken) {
    o = &el->first;
    el->taken = 1;
  } else {
    o = take(x);
    if (!o) return 1;
    (el->last ? el->last : &el->first)->next = o;
    el->last = o;
  }
  o->off = static_cast<uint32_t>(t.offset);
  o->ext = t.extent;
  o->wpos = p;
  o->score = 100;
  o->next = nullptr;
  return 0;
}

int drhibuild(drobj *o, drobj *lexer) {
  drhiidx *x = idxof(o);
  x->first = static_cast<dryocc *>(alloc(x, DRHI_CHUNK, sizeof(dryocc)));
  if (!x->first) {
    druetrc();
    return 1;
  }
  x->cur = x->first;
  x->used = 0;
  druhtab *t = nullptr;
  if (druhnew(x->st, x->heap, DRHI_BUCKETS, sizeof(drhielt), DRUH_STRKEY, &t) != 0) {
    druetrc();
    return 1;
  }
  x->terms = t;
  const drlexops *lx = drops<drlexops>(lexer);
  if (lx->next(lexer, nullptr, nullptr) != 0) {
    druetrc();
    return 1;
  }
  uint32_t p = 0;
  for (;;) {
    drtoken *toks = nullptr;
    int32_t n = 0;
    int rc = lx->tok(lexer, 0, &toks, &n);
    if (rc != 0 && rc != 2) {
      druetrc();
      return 1;
    }
    for (int32_t i = 0; i < n; ++i) {
      if (!isword(toks[i].type)) continue;
      if (add(x, toks[i], p) != 0) {
        druetrc();
        return 1;
      }
      ++p;
    }
    /* The batch that ends the document ends with its end token; a batch
     * that brings nothing would be asked for forever. */
    if (n == 0 || toks[n - 1].type == DRTOK_END) return 0;
  }
}

/* A cursor with room for cap heads; null after pushing 10900. */
drhicur *newcur(drhiidx *x, int32_t cap) {
  auto *c = static_cast<drhicur *>(alloc(x, 1, sizeof(drhicur)));
  if (!c) return nullptr;
  c->heads = static_cast<dryocc **>(alloc(x, static_cast<size_t>(cap > 0 ? cap : 1), sizeof(dryocc *)));
  if (!c->heads) {
    release(x, c);
    return nullptr;
  }
  c->cap = cap > 0 ? cap : 1;
  return c;
}

/* The chain of a term, or null when the document does not hold it (or the
 * index was never built). */
dryocc *chain(drhiidx *x, const char *text) {
  void *e = nullptr;
  if (x->terms && text) druhget(x->terms, text, &e);
  return e ? &static_cast<drhielt *>(e)->first : nullptr;
}

int drhiterm(drobj *o, const char *text, drhicur **out) {
  drhiidx *x = idxof(o);
  *out = newcur(x, 1);
  if (!*out) {
    druetrc();
    return 1;
  }
  (*out)->heads[0] = chain(x, text);
  return 0;
}

int drhiterms(drobj *o, const char *const *texts, int32_t n, drhicur **out) {
  drhiidx *x = idxof(o);
  *out = newcur(x, n);
  if (!*out) {
    druetrc();
    return 1;
  }
  for (int32_t i = 0; i < n; ++i)
    if (dryocc *h = chain(x, texts[i])) (*out)->heads[(*out)->count++] = h;
  return 0;
}

/* A key matches when it begins with the prefix. */
int drhipfxcmp(const char *prefix, const char *key) {
  return std::strncmp(key, prefix, std::strlen(prefix)) == 0;
}

int drhiprefix(drobj *o, const char *prefix, drhicur **out) {
  drhiidx *x = idxof(o);
  drhicur *c = newcur(x, DRHI_GROW);
  if (!c) {
    druetrc();
    return 1;
  }
  *out = c;
  if (!x->terms) return 0;
  for (;;) {
    const char *key = nullptr;
    void *e = nullptr;
    if (druhscn(x->terms, prefix, drhipfxcmp, &key, &e) != 0 || !e) return 0;
    if (c->count == c->cap) {
      auto *h = static_cast<dryocc **>(alloc(x, static_cast<size_t>(c->cap) + DRHI_GROW, sizeof(dryocc *)));
      if (!h) {
        /* The scan must end, so that the next one starts afresh. */
        while (druhscn(x->terms, prefix, drhipfxcmp, &key, &e) == 0) {
        }
        release(x, c->heads);
        release(x, c);
        *out = nullptr;
        druetrc();
        return 1;
      }
      std::memcpy(h, c->heads, sizeof(dryocc *) * static_cast<size_t>(c->count));
      release(x, c->heads);
      c->heads = h;
      c->cap += DRHI_GROW;
    }
    c->heads[c->count++] = &static_cast<drhielt *>(e)->first;
  }
}

int drhinext(drobj *, drhicur *c, dryocc **out) {
  *out = nullptr;
  if (!c) return 0;
  int32_t win = -1;
  if (c->count == 0) {
    win = c->heads[0] ? 0 : -1;
  } else {
    /* The earliest word position; the earlier head wins a tie. */
    for (int32_t i = 0; i < c->count; ++i)
      if (c->heads[i] && (win < 0 || c->heads[i]->wpos < c->heads[win]->wpos)) win = i;
  }
  if (win < 0) return 0;
  *out = c->heads[win];
  c->heads[win] = (*out)->next;
  return 0;
}

int drhirelease(drobj *o, drhicur **c) {
  drhiidx *x = idxof(o);
  if (!c || !*c) return 0;
  release(x, (*c)->heads);
  release(x, *c);
  *c = nullptr;
  return 0;
}

int drhifree(drobj *o) {
  drhiidx *x = idxof(o);
  int rc = 0;
  if (x->terms && druhfre(x->terms) != 0) rc = 1;
  x->terms = nullptr;
  release(x, x->first);
  while (drhilink *l = x->chain) {
    x->chain = l->next;
    release(x, l->chunk);
    release(x, l);
  }
  release(x, x);
  if (rc) druetrc();
  return rc;
}

const drobjhd<drhiops> kTpl = {{DRCLS_DOCINDEX, 1, nullptr},
                               {.build = drhibuild,
                                .term = drhiterm,
                                .terms = drhiterms,
                                .prefix = drhiprefix,
                                .next = drhinext,
                                .release = drhirelease,
                                .free = drhifree}};

}  // namespace

drhiidx *drhinew(drsrvstate *st, int32_t polid) {
  drdmpol *p = drqpol(st, polid);
  if (!p) {
    druetrc();
    return nullptr;
  }
  auto *x = drobjnew<drhiidx>(st, st->cmdhp, kTpl);
  if (!x) return nullptr;
  x->polid = polid;
  x->pol = p;
  return x;
}
