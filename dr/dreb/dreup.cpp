// The indexing driver: the document loop with its id blocks, key batches,
// memory estimate and flushes, the postings of one document with the stop
// words around each word, and the hand-over of the term hash's lists to the
// indexer.
#include <cstdio>
#include <cstring>

#include "dr/dras/dras.h"
#include "dr/dreb/dreb.h"
#include "dr/dras/drtoken.h"
#include "dr/drq/drq.h"
#include "dr/dru/drue.h"
#include "dr/dru/druo.h"

int (*dreupoob)(drsrvstate *st) = nullptr;

namespace {

int internal(drsrvstate *st, int num, int line, int32_t a = 0, int32_t b = 0) {
  dracnierr(st, DRFAC_DRG, num, 2, DRA_STR, __FILE__, DRA_INT, line, DRA_SB4, &a, DRA_SB4, &b, 0);
  druetrc();
  return 1;
}

void give(dreupstate *u, void *p) {
  if (p) drumfre(u->st, u->st->hpmgr, u->heap, &p);
}

// The word types of the lexers: everything but sentence, paragraph and
// document ends.
bool wordtype(uint8_t t) {
  return t == DRTOK_WORD || t == DRTOK_NUMBER || t == DRTOK_MIXED || t == DRTOK_PIECE ||
         t == DRTOK_SINGLE || t == DRTOK_LAST || t == DRTOK_PART;
}

// The stop words between two ordinary words. The word before them keeps
// the first DREL_GRPMAX as its group B, the word after them the last
// DREL_GRPMAX as its group A; a longer run loses its middle, not the run.
struct stoprun {
  drelgroup head;                // the first values
  uint16_t ring[DREL_GRPMAX];    // the last values, circularly
  uint32_t total;                // values seen
  void clear() {
    head.count = 0;
    total = 0;
  }
  void add(uint16_t v) {
    if (head.count < DREL_GRPMAX) head.val[head.count++] = v;
    ring[total % DREL_GRPMAX] = v;
    ++total;
  }
  // The last values in their order.
  void tail(drelgroup *g) const {
    uint32_t n = total < DREL_GRPMAX ? total : uint32_t{DREL_GRPMAX};
    g->count = n;
    for (uint32_t k = 0; k < n; ++k) g->val[k] = ring[(total - n + k) % DREL_GRPMAX];
  }
};

// The memory a run holds: key arena, lists, term hash and the state.
uint32_t estimate(const dreupstate *u) {
  uint64_t m = static_cast<uint64_t>(u->keys->blksize) * static_cast<uint32_t>(u->keys->nblocks) +
               reinterpret_cast<const dreullw *>(u->lm)->inuse +
               static_cast<uint32_t>(u->terms->used) + u->fixed;
  return m > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(m);
}

// Queues the service request of a document that could not be read, with
// the error stack's texts; 0 / 1.
int unreadable(dreupstate *u, const char *key) {
  drsrvstate *st = u->st;
  char errors[2000];
  druestk(st, errors, sizeof errors);
  char pol[16];
  std::snprintf(pol, sizeof pol, "%d", u->polid);
  const char *par[DRQ_NPAR] = {pol, key ? key : ""};
  drueclr(st);
  return drqsque(st, "INDEX_SVC", 0, "E", errors, par);
}

// Moves the lists that passed the big-list size into a hash of their own
// and flushes them alone, so that one frequent term does not force a full
// flush; 0 / 1.
int flushbig(dreupstate *u, drobj *ix, drobj *wl) {
  druhtab *big = nullptr;
  if (druhnew(u->st, u->heap, DREUP_BIGHASH, sizeof(drelent), DRUH_STRKEY, &big) != 0) {
    druetrc();
    return 1;
  }
  // Every entry past the size took a piece past it since the last move, so
  // the noted entries are all the hash holds above it.
  int moved = 0;
  for (uint32_t i = 0; i < u->nbig; ++i) {
    drelent *e = u->bigs[i];
    const char *term = static_cast<const char *>(druhkey(u->terms, e));
    void *to = nullptr;
    if (druhins(big, term, static_cast<uint8_t>(std::strlen(term) + 1), &to) != 0) {
      druhfre(big);
      druetrc();
      return 1;
    }
    // The list has pieces by now, so the copy writes on through them.
    std::memcpy(to, e, sizeof *e);
    druhdel(u->terms, term);
    ++moved;
  }
  u->nbig = 0;
  u->big = 0;
  int rc = 0;
  if (moved) {
    druhtab *main = u->terms;
    u->terms = big;
    u->full = 0;
    rc = drops<dridxops>(ix)->flush(ix, u, wl);
    u->terms = main;
  }
  if (druhfre(big) != 0) rc = 1;
  if (rc) druetrc();
  return rc;
}

// Writes a posting, noting its entry when it took a piece past the
// big-list size; 0 / 1.
int put(dreupstate *u, drelent *e, const drelpost *p) {
  uint32_t before = u->big;
  if (drelputdoc(u->st, u->lm, e, u->kind, p, &u->big) != 0) {
    druetrc();
    return 1;
  }
  if (u->big == before) return 0;
  for (uint32_t i = 0; i < u->nbig; ++i)
    if (u->bigs[i] == e) return 0;
  if (u->nbig == u->capbig) {
    uint32_t cap = u->capbig ? 2 * u->capbig : 16;
    auto *grown = static_cast<drelent **>(drumrea(u->st, u->st->hpmgr, u->heap, u->bigs,
                                                  cap * sizeof(drelent *), __FILE__, __LINE__));
    if (!grown) {
      druetrc();
      return 1;
    }
    u->bigs = grown;
    u->capbig = cap;
  }
  u->bigs[u->nbig++] = e;
  return 0;
}

}  // namespace

char dreupoper(char qual) { return qual == 'M' ? 'N' : 'C'; }

int dreupnew(drsrvstate *st, drheap heap, drobj *sl, int32_t mode, uint32_t memlimit,
             dreupstate **out) {
  *out = nullptr;
  auto *u = static_cast<dreupstate *>(
      drumalc(st, st->hpmgr, heap, 1, sizeof(dreupstate), __FILE__, __LINE__));
  if (!u) {
    druetrc();
    return 1;
  }
  u->st = st;
  u->heap = heap;
  u->fixed = DREUP_FIXED;
  u->memlimit = memlimit;
  u->firstpiece = DREUP_FIRST;
  u->hashsize = DREUP_HASH;
  u->check = DREUP_CHECK;
  u->keybatch = DREUP_KEYS;
  if (mode != 0 && mode != 1) {
    dracnerr(st, DRFAC_DRG, DREUP_EMODE, 0, DRA_INT, static_cast<int>(mode), 0);
    dreupfree(u);
    druetrc();
    return 1;
  }
  if (mode == 1) u->flags |= DREUP_POSITIONS;
  // Keys reach 256 bytes: the arena's largest item holds one with its NUL.
  u->keys = drubnew(st, heap, DREUP_KEYSIZE, nullptr, 0);
  u->newkeys = static_cast<const char **>(
      drumalc(st, st->hpmgr, heap, DREUP_KEYS, sizeof(char *), __FILE__, __LINE__));
  u->oldkeys = static_cast<const char **>(
      drumalc(st, st->hpmgr, heap, DREUP_KEYS, sizeof(char *), __FILE__, __LINE__));
  u->lastkey = static_cast<char *>(drumalc(st, st->hpmgr, heap, 1, DREUP_KEYSIZE, __FILE__,
                                           __LINE__));
  if (!u->keys || !u->newkeys || !u->oldkeys || !u->lastkey || dreupreset(u, sl) != 0) {
    dreupfree(u);
    druetrc();
    return 1;
  }
  u->fixed += 2 * DREUP_KEYS * 4;
  *out = u;
  return 0;
}

int dreupreset(dreupstate *u, drobj *sl) {
  if (u->lm) {
    u->lm->ops.free(u->lm);
    u->lm = nullptr;
  }
  if (u->terms && druhfre(u->terms) != 0) {
    u->terms = nullptr;
    druetrc();
    return 1;
  }
  u->terms = nullptr;
  u->nbig = 0;
  u->big = 0;
  // The terms of a batch run to hundreds of thousands: the hash grows with
  // them, so that a term costs about one compare however many there are.
  if (druhnew(u->st, u->heap, u->hashsize, sizeof(drelent), DRUH_STRKEY, &u->terms) != 0 ||
      druhauto(u->terms) != 0 || dreupstop(u, sl) != 0) {
    druetrc();
    return 1;
  }
  drlstreq req{};
  req.type = DRLST_LIGHT;
  req.first = u->firstpiece;
  if (dreulnew(u->st, u->heap, &req, &u->lm) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int dreupstop(dreupstate *u, drobj *sl) {
  u->kind = DREL_KIND0;
  if (!sl) return 0;
  const drstops *ops = drops<drstops>(sl);
  int32_t n = ops->count(sl);
  if (n <= 0) return 0;
  u->kind = n >= 256 ? DREL_KIND1 : DREL_KIND0;
  auto **words = static_cast<const char **>(drumalc(u->st, u->st->hpmgr, u->heap,
                                                    static_cast<size_t>(n), sizeof(char *),
                                                    __FILE__, __LINE__));
  if (!words) {
    druetrc();
    return 1;
  }
  int rc = ops->list(sl, words);
  for (int32_t i = 0; rc == 0 && i < n; ++i) {
    // A stop word too long for a key of the hash could never match a token
    // of the lexer either: it is passed over.
    if (!words[i] || std::strlen(words[i]) > DRUH_MAXKEY) continue;
    void *d = nullptr;
    if (druhins(u->terms, words[i], static_cast<uint8_t>(std::strlen(words[i]) + 1), &d) != 0) {
      rc = 1;
      break;
    }
    auto *e = static_cast<drelent *>(d);
    drelinit(e);
    e->stopno = static_cast<uint16_t>(i + 1);
  }
  give(u, words);
  if (rc) druetrc();
  return rc;
}

int dreupfree(dreupstate *u) {
  if (!u) return 0;
  int rc = 0;
  if (u->lm) u->lm->ops.free(u->lm);
  if (u->terms && druhfre(u->terms) != 0) rc = 1;
  if (u->keys && drubfre(u->keys) != 0) rc = 1;
  give(u, u->newkeys);
  give(u, u->oldkeys);
  give(u, u->lastkey);
  give(u, u->bigs);
  void *p = u;
  if (drumfre(u->st, u->st->hpmgr, u->heap, &p) != 0) rc = 1;
  if (rc) druetrc();
  return rc;
}

int dreupdoc(dreupstate *u, drobj *lex, uint32_t docid, const char *key) {
  drsrvstate *st = u->st;
  const drlexops *lx = drops<drlexops>(lex);
  bool positions = (u->flags & DREUP_POSITIONS) != 0;
  uint32_t limit = u->kind == DREL_KIND1 ? DREL_GRPLIM1 : DREL_GRPLIM0;
  uint32_t pos = 0;
  stoprun run;
  run.clear();
  drelent *prev = nullptr;  // the last ordinary word, its posting not yet written
  uint32_t prevpos = 0;
  drelgroup preva{};        // its group A
  for (bool end = false; !end;) {
    // A long document is many batches: a signal or an interrupt is noticed
    // inside it too.
    if (druochk(st) != 0) return 1;
    drtoken *toks = nullptr;
    int32_t n = 0;
    int rc = lx->tok(lex, 0, &toks, &n);
    if (rc == 1) {
      druetrc();
      return 1;
    }
    end = rc == 2 || (n > 0 && toks[n - 1].type == DRTOK_END);
    // A batch that neither holds a token nor ends the document would be
    // asked for again without end.
    if (!end && n <= 0) return internal(st, 50600, __LINE__, n);
    for (int32_t k = 0; k < n; ++k) {
      const drtoken &t = toks[k];
      if (!wordtype(t.type)) continue;
      // Past the limit the rest of the document is read to its end, so
      // that the next one starts where it should, and left out.
      if (pos >= DREUP_MAXWORDS) {
        ++pos;
        continue;
      }
      void *d = nullptr;
      const char *text = t.text ? t.text : "";
      if (druhins(u->terms, text, static_cast<uint8_t>(t.length + 1), &d) != 0) {
        druetrc();
        return 1;
      }
      auto *e = static_cast<drelent *>(d);
      if (!e->pos) drelinit(e);  // a new term
      ++pos;
      if (!positions) continue;
      if (e->stopno > 0) {
        // A number the list kind cannot code is left out of its group.
        if (e->stopno <= limit) run.add(e->stopno);
        continue;
      }
      if (prev) {
        drelpost p{docid, prevpos, preva.count ? &preva : nullptr,
                   run.head.count ? &run.head : nullptr};
        if (put(u, prev, &p) != 0) return 1;
      }
      run.tail(&preva);
      run.clear();
      prev = e;
      prevpos = pos;
    }
  }
  if (prev) {
    drelpost p{docid, prevpos, preva.count ? &preva : nullptr,
               run.head.count ? &run.head : nullptr};
    if (put(u, prev, &p) != 0) return 1;
  }
  if (pos > DREUP_MAXWORDS) {
    dracnerr(st, DRFAC_DRG, 10728, 2, DRA_STR, key ? key : "", DRA_INT,
             static_cast<int>(DREUP_MAXWORDS), 0);
    druetrc();
    return 3;
  }
  return 0;
}

int dreupendlists(dreupstate *u, drelent **out, uint16_t cap, uint16_t *n) {
  *n = 0;
  bool positions = (u->flags & DREUP_POSITIONS) != 0;
  while (*n < cap) {
    void *d = nullptr;
    if (druhnxt(u->terms, &d) != 0) return 2;
    auto *e = static_cast<drelent *>(d);
    if (2u * e->nbytes - e->nib < 2u) continue;  // nothing written
    if (positions && drelputend(u->st, u->lm, e) != 0) {
      druetrc();
      return 1;
    }
    out[(*n)++] = e;
  }
  return 0;
}

int dreupindex(dreupstate *u, drobj *ix, drobj *lex, drobj *wl, drobj *dm, drobj *sl) {
  drsrvstate *st = u->st;
  const drlexops *lx = drops<drlexops>(lex);
  const drdidops *ids = drops<drdidops>(dm);
  drudlog log{u->polid, u->oper, 'P', u->runseq, u->srvid, 0, nullptr, 0};
  int32_t total = 0;
  int32_t first = 0;
  uint32_t base = 0, errors = 0, nnew = 0, nold = 0, est = 0;
  uint32_t checked = 0;  // the count the last interrupt check was made at
  bool logfirst = true;
  int32_t pendfirst = 0, next = 0;
  // A lexer of object id 3 would want postings of every token at its
  // character offset; no lexer of this server is one.
  if (lex->objid == 3) {
    internal(st, 50600, __LINE__, lex->objid);
    return 1;
  }
  if (lx->count(lex, &total) != 0 || ids->alloc(dm, total, &first) != 0) goto fail;
  pendfirst = next = first;
  u->processed = 0;
  dracnprt(st, st->log, "Begin document indexing\n", 0);
  for (;;) {
    // A document can take long: a signal or an interrupt is noticed between
    // any two, not only at the progress lines.
    if (druochk(st) != 0) goto fail;
    uint32_t done = base + u->processed;
    if (done != 0 && done % DREUP_PROGRESS == 0 && done != checked) {
      checked = done;
      int oob = dreupoob ? dreupoob(st) : 0;
      if (oob != 0) goto fail;
      dracnprt(st, st->log, "%d documents indexed\n", DRA_UB4, &done, 0);
    }
    int32_t op = 0;
    char *key = nullptr;
    int rc;
    while ((rc = lx->next(lex, &op, &key)) == 1) {
      ++errors;
      ++st->docerrs;
      if (druefatal(st) || unreadable(u, key) != 0) goto fail;
    }
    bool exhausted = rc == 2;
    if (!exhausted) {
      const char *k = drubadd(u->keys, key ? key : "");
      if (!k) goto fail;
      if (op != DREUP_NEW && op != DREUP_CHANGED && op != DREUP_DELETED) {
        internal(st, DREUP_EKIND, __LINE__, op);
        goto fail;
      }
      if (op != DREUP_NEW) u->oldkeys[nold++] = k;
      if (op != DREUP_DELETED) {
        u->newkeys[nnew++] = k;
        uint32_t id = static_cast<uint32_t>(next++);
        // A document over the word limit keeps its id and what was
        // indexed of it; its error row names it and the limit.
        int drc = dreupdoc(u, lex, id, k);
        if (drc == 3) {
          ++errors;
          if (unreadable(u, k) != 0) goto fail;
        } else if (drc != 0) {
          goto fail;
        }
        ++u->processed;
        if (u->qual == 'C' || u->qual == 'R') {
          if (logfirst) {
            logfirst = false;
            drudlog f = log;
            f.kind = 'F';
            f.key = k;
            f.count = total;
            // The first key is only a note: the run goes on without it.
            if (drudlogupd(st, u->heap, &f) != 0) drueclr(st);
          }
          u->pending = static_cast<int32_t>(nnew);
          std::snprintf(u->lastkey, DREUP_KEYSIZE, "%s", k);
        }
      }
    }
    if (u->processed % u->check == 0) est = estimate(u);
    bool full = est > u->memlimit || exhausted ||
                static_cast<int64_t>(base) + u->processed >= static_cast<int64_t>(total);
    if (full || nnew == DREUP_KEYS || nold == DREUP_KEYS) {
      if (ids->retire(dm, static_cast<int32_t>(nold), u->oldkeys) != 0) goto fail;
      nold = 0;
    }
    if (full || nnew == DREUP_KEYS) {
      if (ids->ins(dm, static_cast<int32_t>(nnew), u->newkeys, pendfirst) != 0) goto fail;
      if (static_cast<int64_t>(base) + u->processed == static_cast<int64_t>(total)) {
        int32_t more = total / 10 > 10 ? total / 10 : 10;
        if (ids->alloc(dm, more, &first) != 0) goto fail;
        total += more;
        pendfirst = next = first;
      } else {
        pendfirst = next;
      }
      nnew = 0;
    }
    if (full) {
      uint32_t processed = u->processed;
      base += processed;
      if (base > static_cast<uint32_t>(total)) {
        internal(st, DREUP_EBASE, __LINE__, total);
        goto fail;
      }
      if (processed != 0) {
        dracnprt(st, st->log, "Errors reading documents: %d\n", DRA_UB4, &errors, 0);
        dracnprt(st, st->log, "Index data for %d documents to be written to database\n", DRA_UB4,
                 &processed, 0);
        uint32_t use = estimate(u);
        dracnprt(st, st->log, "   memory use: %d\n", DRA_UB4, &use, 0);
        u->full = 1;
        if (drops<dridxops>(ix)->flush(ix, u, wl) != 0) goto fail;
        dracnprt(st, st->log, "   index data written to database. \n", 0);
        errors = 0;
      }
      drubfra(u->keys);
      if (dreupreset(u, sl) != 0) goto fail;
      est = 0;
      u->processed = 0;
      if (exhausted) break;
    } else if (u->big != 0) {
      if (flushbig(u, ix, wl) != 0) goto fail;
    }
  }
  dracnprt(st, st->log, "End of document indexing. %d documents indexed.\n", DRA_UB4, &base, 0);
  if (ids->release(dm) != 0) goto fail;
  return 2;
fail:
  ids->undo(dm);
  druetrc();
  return 1;
}
