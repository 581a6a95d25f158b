// The query side of the word list: the prepared look-up statements of its
// query work area, the expansion of query words by kind (wildcard, sound
// code, fuzzy and stem providers) into one answer, and the listing of a
// word's neighbours in the word table.
#include <algorithm>
#include <cstring>
#include <vector>

#include "dr/dras/dras.h"
#include "dr/drd/drd.h"
#include "dr/dru/drub.h"
#include "dr/dru/druh.h"
#include "dr/drwa/drwa.h"
#include "platform/nls/nls.h"

namespace {

drwaobj *wa(drobj *o) { return reinterpret_cast<drwaobj *>(o); }

// Longest string of the call's text buffer: an index word, or a generated
// form, with its terminator.
constexpr uint32_t kItem = 256;

// An expansion array: the next array of its key, then the strings, ended
// by a null.
struct xarr {
  xarr *next;
  const char *s[1];
};

int prepone(drwaobj *w, drwaqslot *s, const char *sql) {
  drsrvstate *st = w->st;
  drwaqwork *q = w->qw;
  if (drwacurprep(w, &s->cur, sql) != 0) return 1;
  const char *why = nullptr;
  if (druodef(st, &s->cur, 1, q->fvals, DRWA_SLOT, DRUO_STRING, q->vind, nullptr,
                     &druorepq) != 0 ||
             druobnd(st, &s->cur, ":word", q->bval[0], DRWA_SLOT, DRUO_STRING, &q->ind[0],
                     nullptr, &druorepq) != 0) {
    why = "&cursor bind problem \n";
  }
  if (why) return drwacurdrop(w, &s->cur, why, "cannot close cursor data area...\n");
  s->prep = 1;
  return 0;
}

int prepin(drwaobj *w, drwaqslot *s, const char *sql) {
  drsrvstate *st = w->st;
  drwaqwork *q = w->qw;
  if (drwacurprep(w, &s->cur, sql) != 0) return 1;
  const char *why = nullptr;
  if (druodef(st, &s->cur, 1, q->fwords, DRWA_SLOT, DRUO_STRING, q->wind, nullptr,
                     &druorepq) != 0 ||
             druodef(st, &s->cur, 2, q->fvals, DRWA_SLOT, DRUO_STRING, q->vind, nullptr,
                     &druorepq) != 0) {
    why = "^cursor bind problem \n";
  }
  for (int i = 0; !why && i < DRWA_PROBE; ++i) {
    char name[8];
    (void)drasmfmt(st->fmt, name, sizeof name, ":w%d", DRA_INT, i + 1, 0);
    if (druobnd(st, &s->cur, name, q->bval[i], DRWA_SLOT, DRUO_STRING, &q->ind[i], nullptr,
                &druorepq) != 0)
      why = "^cursor bind problem \n";
  }
  if (why) return drwacurdrop(w, &s->cur, why, "cannot close cursor data area...\n");
  s->prep = 1;
  return 0;
}

// The group a word-in or group-in slot reads.
int32_t slotgroup(const drwaobj *w, const drwaqslot *s) {
  auto i = static_cast<int32_t>(s - w->qw->slot) - DRWA_QWIN;
  return i / 2 + 1;
}

int buildlike(drwaobj *w, drwaqslot *s) {
  char sql[1000];
  if (!w->attr.ttab[0]) return drwafail(w->st, nullptr, DRWA_EFAIL, __FILE__, __LINE__);
  // No escape character: a backslash stands for itself, as in the index.
  if (drasmfmt(w->st->fmt, sql, sizeof sql,
               "SELECT DISTINCT word_text FROM %s WHERE word_text LIKE :word ESCAPE ''",
               DRA_STR, w->attr.ttab, 0) < 0)
    return drwafail(w->st, nullptr, DRWA_EFAIL, __FILE__, __LINE__);
  return prepone(w, s, sql);
}

// Patterns of one fuzzy look-up statement.
constexpr int kFuzzPats = 16;

// The fuzzy provider's look-up: a branch for each pattern, so that each
// finds its words from the word table's key (the table is unique and in
// byte order) and one round trip serves a word's patterns; the rows come
// pattern by pattern, each pattern's words in byte order. Unused patterns
// are null and match nothing.
int buildfuzz(drwaobj *w, drwaqslot *s) {
  drsrvstate *st = w->st;
  drwaqwork *q = w->qw;
  char sql[8192];  // sixteen branches of a table name of up to 149 bytes
  int n = drasmfmt(st->fmt, sql, sizeof sql, "SELECT word FROM (", 0);
  for (int i = 1; n >= 0 && i <= kFuzzPats; ++i) {
    int m = drasmfmt(st->fmt, sql + n, sizeof sql - n,
                     "%sSELECT %d AS k, word FROM %s WHERE word LIKE :w%d ESCAPE ''", DRA_STR,
                     i > 1 ? " UNION ALL " : "", DRA_INT, i, DRA_STR, w->attr.wtab, DRA_INT, i, 0);
    n = m < 0 ? -1 : n + m;
  }
  if (n >= 0 && drasmfmt(st->fmt, sql + n, sizeof sql - n, ") u ORDER BY k, word", 0) < 0) n = -1;
  if (n < 0) return drwafail(st, nullptr, DRWA_EFAIL, __FILE__, __LINE__);
  if (drwacurprep(w, &s->cur, sql) != 0) return 1;
  const char *why = nullptr;
  if (druodef(st, &s->cur, 1, q->fvals, DRWA_SLOT, DRUO_STRING, q->vind, nullptr, &druorepq) != 0)
    why = "&cursor bind problem \n";
  for (int i = 0; !why && i < kFuzzPats; ++i) {
    char name[8];
    (void)drasmfmt(st->fmt, name, sizeof name, ":w%d", DRA_INT, i + 1, 0);
    if (druobnd(st, &s->cur, name, q->bval[i], DRWA_SLOT, DRUO_STRING, &q->ind[i], nullptr,
                &druorepq) != 0)
      why = "&cursor bind problem \n";
  }
  if (why) return drwacurdrop(w, &s->cur, why, "cannot close cursor data area...\n");
  s->prep = 1;
  return 0;
}

int buildnext(drwaobj *w, drwaqslot *s) {
  char sql[1000];
  bool next = s == &w->qw->slot[DRWA_QNEXT];
  if (drasmfmt(w->st->fmt, sql, sizeof sql,
               next ? "SELECT word FROM %s WHERE word > :word ORDER BY word ASC"
                    : "SELECT word FROM %s WHERE word < :word ORDER BY word DESC",
               DRA_STR, w->attr.wtab, 0) < 0)
    return drwafail(w->st, nullptr, DRWA_EFAIL, __FILE__, __LINE__);
  return prepone(w, s, sql);
}

int buildin(drwaobj *w, drwaqslot *s) {
  drsrvstate *st = w->st;
  int32_t g = slotgroup(w, s);
  bool byword = (static_cast<int32_t>(s - w->qw->slot) - DRWA_QWIN) % 2 == 0;
  char sql[1000];
  int n = byword ? drasmfmt(st->fmt, sql, sizeof sql, "SELECT word, group%d FROM %s WHERE word IN (",
                            DRA_INT, static_cast<int>(g), DRA_STR, w->attr.wtab, 0)
                 : drasmfmt(st->fmt, sql, sizeof sql,
                            "SELECT word, group%d FROM %s WHERE group%d IN (", DRA_INT,
                            static_cast<int>(g), DRA_STR, w->attr.wtab, DRA_INT,
                            static_cast<int>(g), 0);
  for (int i = 1; n >= 0 && i <= DRWA_PROBE; ++i) {
    int m = drasmfmt(st->fmt, sql + n, sizeof sql - n, i < DRWA_PROBE ? ":w%d, " : ":w%d) ",
                     DRA_INT, i, 0);
    n = m < 0 ? -1 : n + m;
  }
  if (n >= 0) {
    int m = byword ? drasmfmt(st->fmt, sql + n, sizeof sql - n, "ORDER BY word", 0)
                   : drasmfmt(st->fmt, sql + n, sizeof sql - n, "ORDER BY group%d", DRA_INT,
                              static_cast<int>(g), 0);
    n = m < 0 ? -1 : n;
  }
  if (n < 0) return drwafail(st, nullptr, DRWA_EFAIL, __FILE__, __LINE__);
  return prepin(w, s, sql);
}

int ready(drwaobj *w, drwaqslot *s) {
  if (s->prep) return 0;
  if (s->build(w, s) != 0)
    return drwafail(w->st, "component failure \n", DRWA_EFAIL, __FILE__, __LINE__);
  return 0;
}

// Runs a one-bind statement with a word; the rows of the first fetch.
int run1(drwaobj *w, int slot, const char *word, uint32_t *rows, uint32_t n) {
  drwaqslot *s = &w->qw->slot[slot];
  if (ready(w, s) != 0) return 1;
  const nlscs *cs = dracncs(w->st);
  size_t len = nlscut(cs, word, std::strlen(word), static_cast<size_t>(w->attr.maxlen));
  nlsncpy(cs, w->qw->bval[0], DRWA_SLOT, word, len);
  w->qw->ind[0] = 0;
  int rc = druoexf(w->st, &s->cur, n, &druorepq);
  if (rc != 0 && rc != DRUO_NODATA && rc != DRUO_NULL)
    return drwacurfail(w, &s->cur, "failed to execute\n", __FILE__, __LINE__);
  *rows = druorows(&s->cur);
  return 0;
}

// Runs a 40-bind statement with up to 40 words; the rows of the first fetch.
int runin(drwaobj *w, int slot, const char *const *words, int32_t n, uint32_t *rows) {
  drwaqslot *s = &w->qw->slot[slot];
  if (ready(w, s) != 0) return 1;
  drwaqwork *q = w->qw;
  const nlscs *cs = dracncs(w->st);
  int32_t k = 0;
  for (int32_t i = 0; i < n && k < DRWA_PROBE; ++i) {
    if (!words[i]) continue;
    size_t len = nlscut(cs, words[i], std::strlen(words[i]), static_cast<size_t>(w->attr.maxlen));
    nlsncpy(cs, q->bval[k], DRWA_SLOT, words[i], len);
    q->ind[k++] = 0;
  }
  for (int32_t i = k; i < DRWA_BUF; ++i) q->ind[i] = -1;
  int rc = druoexf(w->st, &s->cur, DRWA_BUF, &druorepq);
  if (rc != 0 && rc != DRUO_NODATA && rc != DRUO_NULL)
    return drwacurfail(w, &s->cur, "failed to execute\n", __FILE__, __LINE__);
  *rows = druorows(&s->cur);
  return 0;
}

// The next rows of a slot's statement: how many came.
int more(drwaobj *w, int slot, uint32_t n, uint32_t *got) {
  drwaqslot *s = &w->qw->slot[slot];
  uint32_t before = druorows(&s->cur);
  int rc = druofet(w->st, &s->cur, n, &druorepq);
  if (rc != 0 && rc != DRUO_NODATA && rc != DRUO_NULL)
    return drwacurfail(w, &s->cur, "failed to execute\n", __FILE__, __LINE__);
  *got = druorows(&s->cur) - before;
  return 0;
}

int scratch(drwaobj *w) {
  drsrvstate *st = w->st;
  if (!w->qw) {
    w->qw = static_cast<drwaqwork *>(
        drumalc(st, st->hpmgr, st->seshp, 1, sizeof(drwaqwork), __FILE__, __LINE__));
    if (!w->qw) return 1;
    for (int i = 0; i < DRWA_QSLOTS; ++i)
      w->qw->slot[i].build = i == DRWA_QLIKE  ? buildlike
                             : i < DRWA_QWIN   ? buildnext
                             : i == DRWA_QFUZZ ? buildfuzz
                                               : buildin;
  } else {
    drwaqwork *q = w->qw;
    if (q->hash && druhfre(q->hash) != 0) return 1;
    q->hash = nullptr;
    if (q->tb) drubfre(q->tb);
    q->tb = nullptr;
  }
  w->qw->tb = drubnew(st, w->heap, kItem, nullptr, DRWA_BLOCK);
  return w->qw->tb ? 0 : 1;
}

void freeheads(drwaobj *w) {
  if (!w->qw || !w->qw->heads) return;
  void *v = w->qw->heads;
  drumfre(w->st, w->st->hpmgr, w->st->seshp, &v);
  w->qw->heads = nullptr;
}

int begin(drwaobj *w, int32_t n, int32_t kind) {
  drsrvstate *st = w->st;
  if (!w->opened) {
    dracnout(st, "word list not open\n", 0);
    drwaierr(st, DRWA_ENOTOPEN, 2, __FILE__, __LINE__);
    return 1;
  }
  freeheads(w);
  if (scratch(w) != 0 || druhnew(st, w->heap, 1000, sizeof(void *), DRUH_STRKEY, &w->qw->hash) != 0)
    return drwafail(st, "hash map failed\n", DRWA_EFAIL, __FILE__, __LINE__);
  // The heads of a call of many words need not fit one block of the text
  // buffer: they come from the session heap.
  w->qw->heads = static_cast<drwaqnode **>(drumalc(st, st->hpmgr, st->seshp,
                                                   static_cast<size_t>(n) + 1,
                                                   sizeof(drwaqnode *), __FILE__, __LINE__));
  if (!w->qw->heads) return drwafail(st, "hash map failed\n", DRWA_EFAIL, __FILE__, __LINE__);
  w->qw->kind = kind;
  w->qw->boff = 0;
  return 0;
}

// Records a key for the word at a batch position.
int node(drwaobj *w, const char *key, int32_t pos) {
  drwaqwork *q = w->qw;
  size_t len = std::strlen(key);
  auto *nd = static_cast<drwaqnode *>(
      drubrsv(q->tb, static_cast<uint32_t>(offsetof(drwaqnode, key) + len + 1)));
  if (!nd) return drwafail(w->st, nullptr, DRWA_EFAIL, __FILE__, __LINE__);
  std::memcpy(nd->key, key, len + 1);
  drwaqnode *&head = q->heads[q->boff + pos];
  nd->next = head;
  head = nd;
  return 0;
}

// Enters an array of strings under a key.
int enter(drwaobj *w, const char *key, const char *const *strs, int32_t count) {
  drwaqwork *q = w->qw;
  if (count <= 0) return 0;
  auto *a = static_cast<xarr *>(
      drubrsv(q->tb, static_cast<uint32_t>(sizeof(xarr) + static_cast<size_t>(count) * sizeof(char *))));
  if (!a) return drwafail(w->st, "hash map failed\n", DRWA_EFAIL, __FILE__, __LINE__);
  for (int32_t i = 0; i < count; ++i)
    if (!(a->s[i] = drubadd(q->tb, strs[i])))
      return drwafail(w->st, "hash map failed\n", DRWA_EFAIL, __FILE__, __LINE__);
  a->s[count] = nullptr;
  size_t len = std::min<size_t>(std::strlen(key), DRUH_MAXKEY);
  char k[DRUH_MAXKEY + 1];
  nlsncpy(dracncs(w->st), k, sizeof k, key, len);
  void *el = nullptr;
  if (druhins(q->hash, k, static_cast<uint8_t>(std::strlen(k)), &el) != 0)
    return drwafail(w->st, "hash map failed\n", DRWA_EFAIL, __FILE__, __LINE__);
  auto **head = static_cast<xarr **>(el);
  a->next = *head;
  *head = a;
  return 0;
}

// The first array chained under a key, or null.
xarr *chain(drwaobj *w, const char *key) {
  char k[DRUH_MAXKEY + 1];
  nlsncpy(dracncs(w->st), k, sizeof k, key, std::min<size_t>(std::strlen(key), DRUH_MAXKEY));
  void *el = nullptr;
  if (druhget(w->qw->hash, k, &el) != 0 || !el) return nullptr;
  return *static_cast<xarr **>(el);
}

int like(drwaobj *w, const char *const *words, int32_t n) {
  drwaqwork *q = w->qw;
  const char *found[DRWA_BUF];
  for (int32_t i = 0; i < n; ++i) {
    if (node(w, words[i], i) != 0) return 1;
    uint32_t rows = 0;
    if (run1(w, DRWA_QLIKE, words[i], &rows, DRWA_BUF) != 0) return 1;
    while (rows > 0) {
      int32_t k = 0;
      for (uint32_t r = 0; r < rows; ++r)
        if (q->vind[r] == 0) found[k++] = q->fvals[r];
      if (enter(w, words[i], found, k) != 0) return 1;
      if (rows < DRWA_BUF) break;
      if (more(w, DRWA_QLIKE, DRWA_BUF, &rows) != 0) return 1;
    }
  }
  return 0;
}

// The sound-code pass: the code of each word found in the table, then
// every word of each code. Words and codes go 40 to a statement, every one
// of them.
int soundex(drwaobj *w, const char *const *words, int32_t n) {
  drwaqwork *q = w->qw;
  const nlscs *cs = dracncs(w->st);
  const int win = DRWA_QWIN, gin = DRWA_QWIN + 1;
  std::vector<const char *> codes;
  for (int32_t at = 0; at < n; at += DRWA_PROBE) {
    int32_t m = std::min<int32_t>(DRWA_PROBE, n - at);
    uint32_t rows = 0;
    if (runin(w, win, words + at, m, &rows) != 0) return 1;
    for (uint32_t r = 0; r < rows; ++r) {
      if (q->wind[r] != 0 || q->vind[r] != 0 || !q->fvals[r][0]) continue;
      char *code = drubadd(q->tb, q->fvals[r]);
      if (!code) return 1;
      bool any = false;
      for (int32_t i = at; i < at + m; ++i) {
        size_t len = nlscut(cs, words[i], std::strlen(words[i]), static_cast<size_t>(w->attr.maxlen));
        if (std::strlen(q->fwords[r]) == len && nlsncmp(cs, q->fwords[r], words[i], len) == 0) {
          if (node(w, code, i) != 0) return 1;
          any = true;
        }
      }
      if (any) codes.push_back(code);
    }
  }
  std::sort(codes.begin(), codes.end(),
            [cs](const char *a, const char *b) { return nlscmp(cs, a, b) < 0; });
  codes.erase(std::unique(codes.begin(), codes.end(),
                          [cs](const char *a, const char *b) { return nlscmp(cs, a, b) == 0; }),
              codes.end());
  std::vector<const char *> run;
  for (size_t at = 0; at < codes.size(); at += DRWA_PROBE) {
    auto m = static_cast<int32_t>(std::min<size_t>(DRWA_PROBE, codes.size() - at));
    uint32_t rows = 0;
    if (runin(w, gin, codes.data() + at, m, &rows) != 0) return 1;
    for (;;) {
      for (uint32_t r = 0; r < rows;) {
        uint32_t e = r;
        run.clear();
        while (e < rows && q->vind[e] == 0 && nlscmp(cs, q->fvals[e], q->fvals[r]) == 0) {
          if (q->wind[e] == 0) run.push_back(q->fwords[e]);
          ++e;
        }
        if (e == r) ++e;
        else if (enter(w, q->fvals[r], run.data(), static_cast<int32_t>(run.size())) != 0)
          return 1;
        r = e;
      }
      if (rows < DRWA_BUF) break;
      if (more(w, gin, DRWA_BUF, &rows) != 0) return 1;
      if (rows == 0) break;
    }
  }
  return 0;
}

int provpass(drwaobj *w, drwaprov *p, const char *const *words, int32_t n) {
  int rc = 0;
  for (int32_t i = 0; rc == 0 && i < n; ++i) {
    const char **arr = nullptr;
    int32_t count = 0;
    if (node(w, words[i], i) != 0 || p->exp(p, words[i], &arr, &count) != 0 ||
        enter(w, words[i], arr, count) != 0)
      rc = 1;
  }
  if (p->rel(p) != 0) rc = 1;
  if (rc) return drwafail(w->st, "drwaqgwexpand failure \n", DRWA_EFAIL, __FILE__, __LINE__);
  return 0;
}

// The answer: each word, its expansions other than itself, a null.
int result(drwaobj *w, const char *const *words, int32_t n, char ***out) {
  drsrvstate *st = w->st;
  drwaqwork *q = w->qw;
  const nlscs *cs = dracncs(st);
  size_t count = 0;
  for (int32_t i = 0; i < n; ++i) {
    count += 2;
    for (drwaqnode *nd = q->heads[i]; nd; nd = nd->next)
      for (xarr *a = chain(w, nd->key); a; a = a->next)
        for (const char *const *s = a->s; *s; ++s) ++count;
  }
  char **ans = nullptr;
  if (count * sizeof(char *) <= DRWA_BLOCK) {
    ans = static_cast<char **>(drubrsv(q->tb, static_cast<uint32_t>(count * sizeof(char *))));
  } else {
    // Beyond one block the answer is built on the heap rather than lost:
    // a broad wildcard must not find nothing.
    dracnprt(st, st->log, "word list: an answer of %(1)s words built outside its text buffer\n",
             DRA_INT, static_cast<int>(count), 0);
    if (count > q->answercap) {
      void *v = q->answer;
      if (v) drumfre(st, st->hpmgr, st->seshp, &v);
      q->answer = static_cast<char **>(
          drumalc(st, st->hpmgr, st->seshp, count, sizeof(char *), __FILE__, __LINE__));
      q->answercap = q->answer ? count : 0;
    }
    ans = q->answer;
  }
  if (!ans) return drwafail(st, "comp failure \n", DRWA_EFAIL, __FILE__, __LINE__);
  size_t at = 0;
  for (int32_t i = 0; i < n; ++i) {
    if (!(ans[at++] = drubadd(q->tb, words[i])))
      return drwafail(st, "comp failure \n", DRWA_EFAIL, __FILE__, __LINE__);
    for (drwaqnode *nd = q->heads[i]; nd; nd = nd->next)
      for (xarr *a = chain(w, nd->key); a; a = a->next)
        for (const char *const *s = a->s; *s; ++s)
          if (nlscmp(cs, *s, words[i]) != 0) ans[at++] = const_cast<char *>(*s);
    ans[at++] = nullptr;
  }
  *out = ans;
  return 0;
}

int expand(drwaobj *w, int32_t kind, const char *const *words, int32_t n, char ***out) {
  drsrvstate *st = w->st;
  if (kind < 0 || kind > w->attr.groups) {
    dracnout(st, "illegal group\n", 0);
    drwaierr(st, DRWA_EFAIL, 2, __FILE__, __LINE__);
    return 1;
  }
  if (kind == DRWA_SOUNDEX && !w->attr.table) {
    dracnerr(st, DRFAC_DRG, DRWA_ENOTAB, 1, 0);
    return 7;
  }
  drwaqwork *q = w->qw;
  for (q->boff = 0; q->boff < n;) {
    int32_t m = std::min<int32_t>(DRWA_BUF, n - q->boff);
    const char *const *batch = words + q->boff;
    int rc = 0;
    switch (kind) {
      case DRWA_WILD: rc = like(w, batch, m); break;
      case DRWA_SOUNDEX: rc = soundex(w, batch, m); break;
      case DRWA_FUZZY:
      case DRWA_STEM: rc = provpass(w, w->attr.prov[kind], batch, m); break;
      default: break;
    }
    if (rc != 0) return drwafail(st, "wordlist failure \n", DRWA_EFAIL, __FILE__, __LINE__);
    q->boff += m;
  }
  return result(w, words, n, out);
}

}  // namespace

int drwaexp(drobj *o, const char *const *words, int32_t n, int32_t kind, drobj *, char ***out) {
  drwaobj *w = wa(o);
  if (n < 0) n = 0;
  if (begin(w, n, kind) != 0) {
    dracnout(w->st, "failed to initialize for drwaexp\n", 0);
    drwaierr(w->st, DRWA_ESETUP, 2, __FILE__, __LINE__);
    return 1;
  }
  int rc = expand(w, kind, words, n, out);
  if (rc == 7) return 7;
  if (rc != 0) return drwafail(w->st, "drwaexp failure \n", DRWA_EFAIL, __FILE__, __LINE__);
  return 0;
}

int drwaw2r(drobj *o, const char *word, int32_t n, drobj *, char ***out) {
  drwaobj *w = wa(o);
  drsrvstate *st = w->st;
  if (!w->opened) {
    dracnout(st, "word list not open\n", 0);
    drwaierr(st, DRWA_ENOTOPEN, 2, __FILE__, __LINE__);
    dracnout(st, "failed to initialize for drwaw2r\n", 0);
    drwaierr(st, DRWA_ESETUP, 2, __FILE__, __LINE__);
    return 1;
  }
  freeheads(w);
  if (scratch(w) != 0) {
    dracnout(st, "hash map failed\n", 0);
    drwaierr(st, DRWA_EFAIL, 2, __FILE__, __LINE__);
    dracnout(st, "failed to initialize for drwaw2r\n", 0);
    drwaierr(st, DRWA_ESETUP, 2, __FILE__, __LINE__);
    return 1;
  }
  int slot = n > 0 ? DRWA_QNEXT : DRWA_QPREV;
  uint32_t want = static_cast<uint32_t>(n > 0 ? n : -static_cast<int64_t>(n));
  drwaqwork *q = w->qw;
  auto **arr = static_cast<char **>(
      drubrsv(q->tb, static_cast<uint32_t>((std::min<uint32_t>(want, 4000) + 1) * sizeof(char *))));
  if (!arr) return drwafail(st, "comp failure \n", DRWA_EFAIL, __FILE__, __LINE__);
  want = std::min<uint32_t>(want, 4000);
  uint32_t stored = 0, rows = 0;
  if (want > 0 && run1(w, slot, word, &rows, std::min<uint32_t>(want, DRWA_BUF)) != 0)
    return drwafail(st, "comp failure \n", DRWA_EFAIL, __FILE__, __LINE__);
  while (stored < want && rows > 0) {
    uint32_t batch = rows;
    for (uint32_t r = 0; r < batch && stored < want; ++r) {
      if (q->vind[r] != 0) continue;
      if (!(arr[stored++] = drubadd(q->tb, q->fvals[r])))
        return drwafail(st, "comp failure \n", DRWA_EFAIL, __FILE__, __LINE__);
    }
    if (stored >= want || batch < std::min<uint32_t>(want, DRWA_BUF)) break;
    if (more(w, slot, std::min<uint32_t>(want - stored, DRWA_BUF), &rows) != 0)
      return drwafail(st, "comp failure \n", DRWA_EFAIL, __FILE__, __LINE__);
  }
  arr[stored] = nullptr;
  *out = arr;
  return 0;
}

bool drwaqtable(const drwaobj *w) {
  // A shorter maximum cuts long words in the table: the token table's
  // whole word would be missed.
  return w && w->opened && w->qw && w->attr.table && w->attr.maxlen >= DRWA_MAXLEN &&
         w->attr.wtab[0];
}

namespace {

// A pattern whose only wildcard is a '%' at its end.
bool prefixpat(const char *p) {
  const char *c = std::strpbrk(p, "_%");
  return c && *c == '%' && c[1] == '\0';
}

}  // namespace

int drwaqpats(drwaobj *w, const char *const *pats, int32_t n, drubbuf *tb, char **out,
              int32_t *nout, int32_t cap, bool *cut) {
  drsrvstate *st = w->st;
  drwaqwork *q = w->qw;
  const nlscs *cs = dracncs(st);
  *nout = 0;
  *cut = false;
  if (n <= 0) return 0;
  // In byte order, a prefix pattern that begins with the stem of the
  // prefix pattern before it finds nothing that one does not.
  std::vector<int32_t> order(static_cast<size_t>(n));
  std::vector<uint8_t> run(static_cast<size_t>(n), 1);
  for (int32_t i = 0; i < n; ++i) order[i] = i;
  std::sort(order.begin(), order.end(),
            [&](int32_t a, int32_t b) { return nlscmp(cs, pats[a], pats[b]) < 0; });
  for (int32_t k = 1; k < n; ++k) {
    const char *p = pats[order[k]], *prev = pats[order[k - 1]];
    size_t stem = std::strlen(prev);
    if (prefixpat(p) && prefixpat(prev) && nlsncmp(cs, p, prev, stem - 1) == 0)
      run[order[k]] = 0;
  }
  drwaqslot *s = &q->slot[DRWA_QFUZZ];
  if (ready(w, s) != 0) return 1;
  for (int32_t at = 0; at < n;) {
    int32_t k = 0;
    for (; at < n && k < kFuzzPats; ++at) {
      if (!run[at]) continue;
      size_t len = nlscut(cs, pats[at], std::strlen(pats[at]), static_cast<size_t>(w->attr.maxlen));
      nlsncpy(cs, q->bval[k], DRWA_SLOT, pats[at], len);
      q->ind[k++] = 0;
    }
    if (k == 0) break;
    for (int32_t i = k; i < kFuzzPats; ++i) q->ind[i] = -1;
    int rc = druoexf(st, &s->cur, DRWA_BUF, &druorepq);
    if (rc != 0 && rc != DRUO_NODATA && rc != DRUO_NULL)
      return drwacurfail(w, &s->cur, "failed to execute\n", __FILE__, __LINE__);
    uint32_t rows = druorows(&s->cur);
    for (;;) {
      for (uint32_t r = 0; r < rows; ++r) {
        if (q->vind[r] != 0) continue;
        if (*nout >= cap) {
          *cut = true;
          return 0;
        }
        if (!(out[*nout] = drubadd(tb, q->fvals[r])))
          return drwafail(st, nullptr, DRWA_EFAIL, __FILE__, __LINE__);
        ++*nout;
      }
      if (rows < DRWA_BUF) break;
      if (more(w, DRWA_QFUZZ, DRWA_BUF, &rows) != 0) return 1;
      if (rows == 0) break;
    }
  }
  return 0;
}

int drwaqclose(drwaobj *w) {
  drsrvstate *st = w->st;
  drwaqwork *q = w->qw;
  if (q->hash) (void)druhfre(q->hash);
  q->hash = nullptr;
  if (q->tb) drubfre(q->tb);
  q->tb = nullptr;
  freeheads(w);
  int rc = 0;
  // The neighbour statements first, then the LIKE, word-in and group-in.
  static const int kOrder[] = {DRWA_QNEXT, DRWA_QPREV, DRWA_QLIKE};
  auto shut = [&](drwaqslot &s) {
    if (!s.prep) return;
    s.prep = 0;
    if (druoend(st, &s.cur, &druorepq) != 0) {
      dracnout(st, "druocls failed\n", 0);
      rc = drwacurfail(w, &s.cur, nullptr, __FILE__, __LINE__);
    }
  };
  for (int i : kOrder) shut(q->slot[i]);
  for (int i = DRWA_QWIN; i < DRWA_QSLOTS; ++i) shut(q->slot[i]);
  if (rc) return 1;
  if (q->answer) {
    void *v = q->answer;
    drumfre(st, st->hpmgr, st->seshp, &v);
  }
  void *v = q;
  drumfre(st, st->hpmgr, st->seshp, &v);
  w->qw = nullptr;
  return 0;
}
