// The stand-in word list: every slot succeeds and does nothing, except the
// expansion. It has no word table, so an open for changed rows (mode 5)
// leaves it in mode 0 and the indexer hands it no words. An expansion
// answers wildcards with the index's words that the engine finds for them,
// and refuses the other kinds by name, so that such a query fails clearly
// instead of running unexpanded.
#include "dr/drwa/drwa.h"

#include <cstring>

#include "dr/dras/drengops.h"
#include "dr/drd/drd.h"
#include "dr/dru/dru.h"
#include "platform/nls/nls.h"

namespace {

/* What the engine pushes for a pattern with more words than it may hand out. */
constexpr int kEngineLimit = 50400;
/* Text buffer of one expansion: index words and the words asked. */
constexpr uint32_t kBlock = 32768;
constexpr uint32_t kItem = 256;

drwaobj *wa(drobj *o) { return reinterpret_cast<drwaobj *>(o); }

char **take(drwaobj *w, size_t n) {
  return static_cast<char **>(
      drumalc(w->st, w->st->hpmgr, w->heap, n, sizeof(char *), __FILE__, __LINE__));
}
void drop(drwaobj *w, char **&p) {
  void *v = p;
  if (v) drumfre(w->st, w->st->hpmgr, w->heap, &v);
  p = nullptr;
}

/* 7 with 50937 in place of the engine's own message about its limit; 1 for
 * any other failure. */
int toomany(drsrvstate *st) {
  int top = rtmsgcnt(st->msg);
  if (top <= 0 || rtmsgnum(st->msg, top) != kEngineLimit) return 1;
  rtmsgdel(st->msg, top);
  dracnerr(st, DRFAC_DRG, 50937, 1, 0);
  return 7;
}

int drwaopen(drobj *o, int32_t, int32_t mode) {
  wa(o)->hd.ops.mode = mode == 5 ? 0 : mode;
  return 0;
}
int drwaprefs(drobj *o, int32_t prefid, drdmpol *) {
  wa(o)->prefid = prefid;
  return 0;
}
int drwaadd(drobj *, const char *const *, int32_t) { return 0; }
int drwaload(drobj *) { return 0; }
int drwaexp(drobj *o, const char *const *words, int32_t n, int32_t kind, drobj *, char ***out) {
  drwaobj *w = wa(o);
  drsrvstate *st = w->st;
  static const char *const kKinds[] = {"wildcard expansion", "soundex expansion",
                                       "fuzzy expansion", "stem expansion"};
  drobj *eng = w->pol ? w->pol->comp[DRCLS_ENGINE - 1].obj : nullptr;
  if (kind != 0 || !eng) {
    dracnerr(st, DRFAC_DRG, 50701, 2, DRA_STR,
             kind >= 0 && kind < 4 ? kKinds[kind] : "word expansion", 0);
    return 1;
  }
  if (w->tb) drubfre(w->tb);
  drop(w, w->answer);
  w->tb = drubnew(st, w->heap, kItem, nullptr, kBlock);
  if (!w->tb) return 1;
  if (!w->found) w->found = take(w, DRWA_MAXWORDS);
  if (!w->found) return 1;
  /* Each word: itself, the other words it matches, a null. */
  size_t cap = 0, len = 0;
  const nlscs *cs = dracncs(st);
  for (int32_t i = 0; i < n; ++i) {
    int32_t got = 0;
    if (drops<drengops>(eng)->lik(eng, &words[i], 1, w->tb, w->found, &got, DRWA_MAXWORDS) != 0)
      return toomany(st);
    size_t need = len + static_cast<size_t>(got) + 2;
    if (need > cap) {
      size_t ncap = need > 2 * cap ? need : 2 * cap;
      char **grown = take(w, ncap);
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
int drwaw2r(drobj *, const char *, int32_t, drobj *, char ***out) {
  if (out) *out = nullptr;
  return 0;
}
int drwaclose(drobj *, int32_t) { return 0; }
int drwafree(drobj *o) {
  drwaobj *w = wa(o);
  if (w->tb) drubfre(w->tb);
  drop(w, w->found);
  drop(w, w->answer);
  void *p = w;
  drumfre(w->st, w->st->hpmgr, w->heap, &p);
  return 0;
}

const drobjhd<drwlops> kTpl = {{DRCLS_WORDLIST, 1, "word list"},
                               {.mode = 0,
                                .open = drwaopen,
                                .prefs = drwaprefs,
                                .add = drwaadd,
                                .load = drwaload,
                                .exp = drwaexp,
                                .w2r = drwaw2r,
                                .close = drwaclose,
                                .free = drwafree}};

}  // namespace

drobj *drwanew(drsrvstate *st, drheap heap, int32_t prefid, drdmpol *pol) {
  if (prefid == 0) {
    dracnierr(st, DRFAC_DRG, 51001, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT,
              static_cast<int>(prefid), 0);
    druetrc();
    return nullptr;
  }
  auto *w = drobjnew<drwaobj>(st, heap, kTpl);
  if (!w) return nullptr;
  w->prefid = prefid;
  w->pol = pol;
  return &w->hd.obj;
}
