/* The stand-in word list: every operation succeeds and does nothing, except
 * the expansion, which answers wildcards with the index's words that the
 * engine finds for them and refuses the other kinds by name, so that such a
 * query fails clearly instead of running unexpanded. */
#include <cstring>

#include "dr/dras/drengops.h"
#include "dr/drd/drd.h"
#include "dr/drwa/drwa.h"
#include "dr/dru/dru.h"
#include "platform/nls/nls.h"

namespace {

/* What the engine pushes for a pattern with more words than it may hand out. */
constexpr int kEngineLimit = 50400;
/* Text buffer of one expansion: index words and the words asked. */
constexpr uint32_t kBlock = 32768;
constexpr uint32_t kItem = 256;

struct drwazobj {
  drobjhd<drwlops> hd;
  drsrvstate *srv;
  drheap heap;
  drdmpol *pol;
  drubbuf *tb;      /* the last answer's words, until the next expansion */
  char **found;     /* what the engine finds for one word */
  char **answer;    /* the last answer */
};

drwazobj *wa(drobj *o) { return reinterpret_cast<drwazobj *>(o); }

void *take(drwazobj *w, size_t n) {
  return drumalc(w->srv, w->srv->hpmgr, w->heap, n, sizeof(char *), __FILE__, __LINE__);
}
void drop(drwazobj *w, char **&p) {
  void *v = p;
  if (v) drumfre(w->srv, w->srv->hpmgr, w->heap, &v);
  p = nullptr;
}

int nop(drobj *) { return 0; }
int open(drobj *, int32_t, int32_t) { return 0; }
int prefs(drobj *, int32_t, drdmpol *) { return 0; }
int add(drobj *, const char *const *, int32_t) { return 0; }
int w2r(drobj *, const char *, int32_t, drobj *, char ***out) {
  static char *none[] = {nullptr};
  *out = none;
  return 0;
}
int close(drobj *, int32_t) { return 0; }

int release(drobj *o) {
  drwazobj *w = wa(o);
  if (w->tb) drubfre(w->tb);
  drop(w, w->found);
  drop(w, w->answer);
  void *p = w;
  drumfre(w->srv, w->srv->hpmgr, w->heap, &p);
  return 0;
}

/* 7 with 50937 in place of the engine's own limit message; 1 otherwise. */
int toomany(drsrvstate *srv) {
  int top = rtmsgcnt(srv->msg);
  if (top <= 0 || rtmsgnum(srv->msg, top) != kEngineLimit) return 1;
  rtmsgdel(srv->msg, top);
  dracnerr(srv, DRFAC_DRG, 50937, 1, 0);
  return 7;
}

int exp(drobj *o, const char *const *words, int32_t n, int32_t kind, drobj *, char ***out) {
  drwazobj *w = wa(o);
  drsrvstate *srv = w->srv;
  static const char *const kKinds[] = {"wildcard expansion", "soundex expansion",
                                       "fuzzy expansion", "stem expansion"};
  drobj *eng = w->pol ? w->pol->comp[DRCLS_ENGINE - 1].obj : nullptr;
  if (kind != 0 || !eng) {
    const char *what = kind >= 0 && kind < 4 ? kKinds[kind] : "word expansion";
    dracnerr(srv, DRFAC_DRG, 50701, 2, DRA_STR, what, 0);
    return 1;
  }
  if (w->tb) drubfre(w->tb);
  drop(w, w->answer);
  w->tb = drubnew(srv, w->heap, kItem, nullptr, kBlock);
  if (!w->tb) return 1;
  if (!w->found) w->found = static_cast<char **>(take(w, DRWAZ_MAXWORDS));
  if (!w->found) return 1;
  /* Each word: itself, the other words it matches, a null. */
  size_t cap = 0, len = 0;
  const nlscs *cs = dracncs(srv);
  for (int32_t i = 0; i < n; ++i) {
    int32_t got = 0;
    if (drops<drengops>(eng)->lik(eng, &words[i], 1, w->tb, w->found, &got, DRWAZ_MAXWORDS) != 0)
      return toomany(srv);
    size_t need = len + static_cast<size_t>(got) + 2;
    if (need > cap) {
      size_t ncap = need > 2 * cap ? need : 2 * cap;
      auto **grown = static_cast<char **>(take(w, ncap));
      if (!grown) return 1;
      if (len) std::memcpy(grown, w->answer, len * sizeof(char *));
      drop(w, w->answer);
      w->answer = grown;
      cap = ncap;
    }
    char *self = drubadd(w->tb, words[i]);
    if (!self) return 1;
    w->answer[len++] = self;
    for (int32_t k = 0; k < got; ++k)
      if (nlscmp(cs, w->found[k], words[i]) != 0) w->answer[len++] = w->found[k];
    w->answer[len++] = nullptr;
  }
  *out = w->answer;
  return 0;
}

const drobjhd<drwlops> kTpl = {{DRCLS_WORDLIST, 1, nullptr},
                               {.mode = 0,
                                .open = open,
                                .prefs = prefs,
                                .add = add,
                                .load = nop,
                                .exp = exp,
                                .w2r = w2r,
                                .close = close,
                                .free = release}};

}  // namespace

drobj *drwaznew(drsrvstate *s, drheap h, int32_t prefid, drdmpol *pol) {
  (void)prefid;
  auto *w = static_cast<drwazobj *>(drumalc(s, s->hpmgr, h, 1, sizeof(drwazobj), __FILE__, __LINE__));
  if (!w) return nullptr;
  w->hd = kTpl;
  w->srv = s;
  w->heap = h;
  w->pol = pol;
  return &w->hd.obj;
}
