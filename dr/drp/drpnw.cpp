/* Word expansion: the words of a query that carry a wildcard, stem, fuzzy
 * or soundex modifier are handed to the policy's word list, one call per
 * modifier for all such words, and replaced by the indexed terms they stand
 * for. Scratch lives in the normaliser's text buffer. */
#include <algorithm>
#include <cstring>
#include <vector>

#include "dr/dras/drwlops.h"
#include "dr/drp/drpint.h"
#include "dr/dru/dru.h"
#include "platform/nls/nls.h"

namespace {

/* An equivalence holds fewer terms than this. */
constexpr size_t kMaxTerms = 2560;
/* Flag bits that ask for an expansion. */
constexpr uint8_t kExpand = DRPF_WILD | DRPF_STEM | DRPF_FUZZY | DRPF_SOUNDEX;

/* The passes in their order: the modifier and the word list's kind. */
struct wpass {
  uint8_t bit;
  int32_t kind;
};
constexpr wpass kPasses[] = {{DRPF_WILD, 0}, {DRPF_STEM, 3}, {DRPF_FUZZY, 2}, {DRPF_SOUNDEX, 1}};

/* A term list in the text buffer: a count, then the terms. */
struct termlist {
  int32_t count;
  const char *term[1];
};

/* One expandable word: its node and its current terms. */
struct wrec {
  int32_t node;
  termlist *list;
};

drpanode *nd(drpabuf *b, int32_t n) { return drpanodep(b, n); }

struct wstate {
  drpabuf **bufp;
  drubbuf *tb;
  const nlscs *cs;
  std::vector<uint8_t> seen;  /* shared expansions entered already */
  std::vector<wrec> words;
};

/* Walks the expandable words under n in tree order, a shared expansion
 * once: counts them, or with record set also records them. */
size_t walk(wstate &w, int32_t n, bool record) {
  drpabuf *b = *w.bufp;
  drpanode *x = nd(b, n);
  if (x->op & DRPOP_LEAFBIT) {
    if (!(x->flags & kExpand)) return 0;
    if (record) w.words.push_back({n, nullptr});
    return 1;
  }
  if (x->op == DRPOP_PLIST) return 0;
  if (x->op == DRPOP_SHARED) {
    auto v = static_cast<size_t>(x->value);
    if (v < w.seen.size()) {
      if (w.seen[v]) return 0;
      w.seen[v] = 1;
    }
  }
  size_t k = 0;
  for (int32_t c = x->first; c; c = nd(b, c)->next) k += walk(w, c, record);
  return k;
}

/* The number of expandable words under n. */
size_t drpnwcount(wstate &w, int32_t n) {
  std::fill(w.seen.begin(), w.seen.end(), 0);
  return walk(w, n, false);
}

/* Records every expandable word under n, in tree order. */
void drpnwcollect(wstate &w, int32_t n) {
  std::fill(w.seen.begin(), w.seen.end(), 0);
  walk(w, n, true);
}

/* The sort order of terms: the server set's comparison. */
int drpnwcmp(const nlscs *cs, const char *a, const char *b) { return nlscmp(cs, a, b); }

/* A list of k terms copied into the text buffer, sorted in collating order,
 * each once; null after pushing. */
termlist *makelist(wstate &w, const char *const *terms, size_t k) {
  auto *l = static_cast<termlist *>(
      drubrsv(w.tb, static_cast<uint32_t>(offsetof(termlist, term) + k * sizeof(char *))));
  if (!l) {
    drpierr(w.tb->st, 100, 2);
    return nullptr;
  }
  for (size_t i = 0; i < k; ++i) {
    l->term[i] = drubadd(w.tb, terms[i]);
    if (!l->term[i]) return nullptr;
  }
  const nlscs *cs = w.cs;
  auto less = [cs](const char *a, const char *b) { return drpnwcmp(cs, a, b) < 0; };
  auto same = [cs](const char *a, const char *b) { return drpnwcmp(cs, a, b) == 0; };
  std::sort(l->term, l->term + k, less);
  l->count = static_cast<int32_t>(std::unique(l->term, l->term + k, same) - l->term);
  return l;
}

/* The words a pass selects (its modifier, terms left) and their terms. */
void drpnwpick(wstate &w, const wpass &p, std::vector<wrec *> &sel) {
  for (wrec &r : w.words)
    if ((nd(*w.bufp, r.node)->flags & p.bit) && r.list->count > 0) sel.push_back(&r);
}

/* One call of the word list for the selected words' terms, word by word;
 * 0, 1 or 7. */
int drpnwgather(drobj *wl, const wpass &p, const std::vector<wrec *> &sel, char ***res) {
  std::vector<const char *> terms;
  for (wrec *r : sel)
    for (int32_t i = 0; i < r->list->count; ++i) terms.push_back(r->list->term[i]);
  *res = nullptr;
  int rc = drops<drwlops>(wl)->exp(wl, terms.data(), static_cast<int32_t>(terms.size()), p.kind,
                                   nullptr, res);
  if (rc == 7) return 7;
  return rc != 0 || !*res ? 1 : 0;
}

/* A word takes its own runs of the answer from *at on; 0, 1 or 7. */
int drpnwmerge(wstate &w, const wpass &p, wrec *r, char **res, size_t *at) {
  std::vector<const char *> found;
  for (int32_t t = 0; t < r->list->count; ++t) {
    /* A run: the term itself, its expansions, a null. A wildcard is no
     * term of its own. */
    bool first = true;
    for (; res[*at]; ++*at, first = false) {
      if (first && p.kind == 0) continue;
      if (*res[*at]) found.push_back(res[*at]);
    }
    ++*at;
  }
  if (found.size() >= kMaxTerms) {
    dracnerr((*w.bufp)->srv, DRFAC_DRG, DRPM_TOOBIG, 1, 0);
    return 7;
  }
  if (found.empty()) {
    r->list->count = 0;
    return 0;
  }
  termlist *l = makelist(w, found.data(), found.size());
  if (!l) return 1;
  r->list = l;
  return 0;
}

/* One pass over the selected words. 0, 1 or 7. */
int pass(wstate &w, drobj *wl, const wpass &p) {
  std::vector<wrec *> sel;
  drpnwpick(w, p, sel);
  if (sel.empty()) return 0;
  char **res = nullptr;
  if (int rc = drpnwgather(wl, p, sel, &res)) return rc;
  size_t at = 0;
  for (wrec *r : sel)
    if (int rc = drpnwmerge(w, p, r, res, &at)) return rc;
  return 0;
}

/* Writes a word's terms back into the tree. */
int drpnwapply(wstate &w, const wrec &r) {
  int32_t count = r.list->count;
  if (count == 0) return 0;
  if (count == 1) {
    int32_t off = 0;
    if (drpanewstr(&off, r.list->term[0], w.bufp) != 0) return 1;
    nd(*w.bufp, r.node)->text = off;
    return 0;
  }
  drpanode *x = nd(*w.bufp, r.node);
  x->op = DRPOP_EQUIV;
  x->text = 0;
  x->first = x->last = 0;
  x->nchild = 0;
  for (int32_t i = 0; i < count; ++i)
    if (drpnchild(w.bufp, r.node, DRPOP_WORD, 2, 0, r.list->term[i], nullptr) != 0) return 1;
  return 0;
}

int expand(wstate &w, drobj *wl) {
  drpabuf *b = *w.bufp;
  if (!b->root) return 0;
  w.seen.assign(static_cast<size_t>(b->shared) + 1, 0);
  size_t k = drpnwcount(w, b->root);
  if (k == 0) return 0;
  w.words.reserve(k);
  drpnwcollect(w, b->root);
  for (wrec &r : w.words) {
    int32_t t = nd(b, r.node)->text;
    const char *own = t ? drpastrp(b, t) : "";
    r.list = makelist(w, &own, 1);
    if (!r.list) return 1;
  }
  for (const wpass &p : kPasses) {
    // Each pass can ask the word list for many words: an interrupt ends
    // the expansion between passes.
    if (druochk((*w.bufp)->srv) != 0) return 1;
    if (int rc = pass(w, wl, p)) return rc;
  }
  for (const wrec &r : w.words)
    if (drpnwapply(w, r) != 0) return 1;
  return 0;
}

}  // namespace

int drpnwexpand(drpabuf **bufp, drobj *wl) {
  drsrvstate *srv = (*bufp)->srv;
  wstate w{bufp, static_cast<drubbuf *>((*bufp)->arena), drpcs(srv), {}, {}};
  if (!w.tb) return 1;
  int rc = expand(w, wl);
  if (rc == 1 && rtmsgcnt(srv->msg) == 0) {
    dracnout(srv, "component failed\n", 0);
    drpiwhy(srv, 2);
  }
  return rc;
}
