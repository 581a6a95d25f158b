// The stemmer provider of the word list: every form generated from every
// stem of a query word, in the case of the index's words, sorted, each
// once, and without the forms that hold an apostrophe.
#include <algorithm>
#include <cstring>

#include "dr/dras/dras.h"
#include "dr/drwa/drwa.h"
#include "linguistics/stemmer/stem.h"
#include "platform/nls/nls.h"

namespace {

// The results of one word, kept until the batch is released.
struct drwasrec {
  char *buf;
  const char **arr;
  int32_t count;
  drwasrec *next;
};

struct drwasadp {
  drsrvstate *st;
  drheap heap;
  stemobj *stem;
  drwasrec *first, *last;
};

drwasadp *adp(drwaprov *p) { return static_cast<drwasadp *>(p->adp); }

void give(drwasadp *a, void *p) {
  if (p) drumfre(a->st, a->st->hpmgr, a->heap, &p);
}

void drwaserr(drsrvstate *st, int code) {
  switch (code) {
    case 0: return;
    case FST_EOPEN:
    case FST_EBAD:
    case STEM_ENOLEX:
      dracnerr(st, DRFAC_DRG, DRWA_ESLEX, 0, DRA_STR, "", 0);
      break;
    case FST_ENOMEM:
    case STEM_ENOOBJ:
      dracnierr(st, DRFAC_DRG, DRWA_ESMEM, 0, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
      break;
    case FST_EALPHA:
      dracnerr(st, DRFAC_DRG, DRWA_ESALPHA, 0, DRA_STR, "", 0);
      break;
    default:
      dracnierr(st, DRFAC_DRG, DRWA_ESTEM, 0, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT, code,
                0);
      break;
  }
  druetrc();
}

// Sorts the forms, keeps one of each, drops those with an apostrophe; the
// new count.
int32_t drwasuniq(drsrvstate *st, const char **arr, int32_t n) {
  const nlscs *cs = dracncs(st);
  std::sort(arr, arr + n, [cs](const char *a, const char *b) { return nlscmp(cs, a, b) < 0; });
  auto *end = std::unique(arr, arr + n,
                          [cs](const char *a, const char *b) { return nlscmp(cs, a, b) == 0; });
  end = std::remove_if(arr, end, [cs](const char *s) { return nlschr(cs, s, '\'') != nullptr; });
  return static_cast<int32_t>(end - arr);
}

int drwasexp(drwaprov *p, const char *word, const char ***out, int32_t *count) {
  drwasadp *a = adp(p);
  drsrvstate *st = a->st;
  *out = nullptr;
  *count = 0;
  int size = 4096, n = 0, rc = 0;
  char *buf = nullptr;
  for (;;) {
    buf = static_cast<char *>(drumalc(st, st->hpmgr, a->heap, static_cast<size_t>(size), 1,
                                      __FILE__, __LINE__));
    if (!buf) return 1;
    rc = stemgen(a->stem, word, buf, size, &n);
    if (rc != FST_ETOOLONG || size >= (1 << 24)) break;
    give(a, buf);
    size *= 2;
  }
  const nlscs *cs = dracncs(st);
  if (rc == STEM_ENOWORD) {
    nlscpy(cs, buf, static_cast<size_t>(size), word);
    n = 1;
    rc = 0;
  }
  if (rc != 0) {
    drwaserr(st, rc);
    give(a, buf);
    return 1;
  }
  // The case of the index's words, over the bytes in use only.
  size_t used = 0;
  for (int i = 0; i < n; ++i) used += std::strlen(buf + used) + 1;
  for (size_t at = 0; at < used;) {
    size_t len = std::strlen(buf + at);
    nlsupper(cs, buf + at, len + 1, buf + at, len);
    at += len + 1;
  }
  const char **arr = nullptr;
  if (n > 0) {
    arr = static_cast<const char **>(drumalc(st, st->hpmgr, a->heap, static_cast<size_t>(n),
                                             sizeof(char *), __FILE__, __LINE__));
    if (!arr) {
      give(a, buf);
      return 1;
    }
    stemsplit(buf, arr, n);
    n = drwasuniq(st, arr, n);
  }
  auto *r = static_cast<drwasrec *>(
      drumalc(st, st->hpmgr, a->heap, 1, sizeof(drwasrec), __FILE__, __LINE__));
  if (!r) {
    give(a, arr);
    give(a, buf);
    return 1;
  }
  *r = {buf, arr, n, nullptr};
  (a->last ? a->last->next : a->first) = r;
  a->last = r;
  *out = arr;
  *count = n;
  return 0;
}

int drwasrel(drwaprov *p) {
  drwasadp *a = adp(p);
  if (!a) return 0;
  // The lexicon is loaded again by the next expansion.
  if (a->stem) (void)stemunload(a->stem);
  for (drwasrec *r = a->first; r;) {
    drwasrec *next = r->next;
    give(a, r->buf);
    give(a, r->arr);
    give(a, r);
    r = next;
  }
  a->first = a->last = nullptr;
  return 0;
}

int drwasfree(drwaprov *p) {
  drwasadp *a = adp(p);
  if (!a) return 0;
  (void)drwasrel(p);
  if (a->stem) stemfree(a->stem);
  give(a, a);
  p->adp = nullptr;
  return 0;
}

}  // namespace

int32_t drwaslang(int32_t stemtype) {
  static const int32_t kLang[] = {0, 0, 1, 5, 2, 3, 4, 6};
  return stemtype >= 1 && stemtype <= 7 ? kLang[stemtype] : 0;
}

int drwasnew(drsrvstate *st, drwaprov *p, drobj *, int32_t stemtype) {
  p->exp = drwasexp;
  p->rel = drwasrel;
  p->destroy = drwasfree;
  auto *a = static_cast<drwasadp *>(
      drumalc(st, st->hpmgr, st->seshp, 1, sizeof(drwasadp), __FILE__, __LINE__));
  if (!a) return 1;
  a->st = st;
  a->heap = st->seshp;
  p->adp = a;
  stemcfg cfg{drwaslang(stemtype), FST_ALL27, 0, 1};
  int err = 0;
  a->stem = stemnew(st->hpmgr, st->seshp, &cfg, &err);
  if (!a->stem) {
    drwaserr(st, err ? err : STEM_ENOOBJ);
    return 1;
  }
  return 0;
}
