// The indexer: binding to the engine preference's attributes, the flush of
// a run's lists by array inserts sized to one buffer, the token table's
// creation, index, drop and truncate, and the LIKE expansion over its words.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dr/drd/drd.h"
#include "dr/dreb/dreb.h"
#include "dr/dru/drue.h"
#include "platform/nls/nls.h"

namespace {

int drebibnd(drobj *o, int32_t polid, int32_t prefid, drdplist *attrs, int32_t mode,
             int32_t nstop);
int drebicrt(drobj *o);
int drebiflush(drobj *o, dreupstate *u, drobj *wl);
int drebicridx(drobj *o);
int drebidrop(drobj *o);
int drebitrunc(drobj *o);
int drebilik(drobj *o, const char *const *pats, int32_t npats, drubbuf *arena, char **result,
             int32_t *nresult, int32_t capacity);
int drebiunsup(drobj *) { return 1; }
int drebinop(drobj *) { return 0; }
int drebifree(drobj *o);

const drobjhd<dridxops> kTpl = {{0, 0, "Base engine indexer"},
                                {.bnd = drebibnd,
                                 .crt = drebicrt,
                                 .flush = drebiflush,
                                 .cridx = drebicridx,
                                 .drop = drebidrop,
                                 .trunc = drebitrunc,
                                 .opt = drebiopt,
                                 .lik = drebilik,
                                 .unsup = drebiunsup,
                                 .nop = drebinop,
                                 .free = drebifree}};

// The token table's columns: word_info goes as a long raw in array inserts
// and with a 4-byte length in front in the single-row insert of a list
// longer than a 16-bit length can say. The words compare by their bytes.
drudcol kCols[] = {{"varchar(64) collate \"C\" not null", "word_text", DRUO_STRING},
                   {"bigint not null", "first_doc", DRUO_UNSIGNED},
                   {"integer", "doclsize", DRUO_UNSIGNED},
                   {"bytea", "word_info", DRUO_LONGRAW},
                   {nullptr, nullptr, 0}};
drudcol kColsLong[] = {{"varchar(64) collate \"C\" not null", "word_text", DRUO_STRING},
                       {"bigint not null", "first_doc", DRUO_UNSIGNED},
                       {"integer", "doclsize", DRUO_UNSIGNED},
                       {"bytea", "word_info", DRUO_LONGVARRAW},
                       {nullptr, nullptr, 0}};
constexpr int kNcols = 4;

drebiobj *ix(drobj *o) { return reinterpret_cast<drebiobj *>(o); }

void *take(drebiobj *x, size_t n) {
  return drumalc(x->st, x->st->hpmgr, x->heap, 1, n, __FILE__, __LINE__);
}
void give(drebiobj *x, void *p) {
  if (p) drumfre(x->st, x->st->hpmgr, x->heap, &p);
}

int internal(drsrvstate *st, int line, int32_t a = 0, int32_t b = 0) {
  dracnierr(st, DRFAC_DRG, 50600, 2, DRA_STR, __FILE__, DRA_INT, line, DRA_SB4, &a, DRA_SB4, &b,
            0);
  druetrc();
  return 1;
}

// Releases the cursor and every buffer bind made; goes on after a failed
// step; 1 when any failed.
int drebiclose(drebiobj *x) {
  int rc = 0;
  if (x->cur) {
    if (x->curstate != DREBI_CLOSED && druocls(x->cur) != 0) rc = 1;
    x->curstate = DREBI_CLOSED;
    give(x, x->cur);
    x->cur = nullptr;
  }
  give(x, x->lists), x->lists = nullptr;
  if (x->ibuf) {
    void *p = x->ibuf;
    if (drumfre(x->st, x->st->hpmgr, x->heap, &p) != 0) rc = 1;
    x->ibuf = nullptr;
  }
  give(x, x->sql), x->sql = nullptr;
  give(x, x->ph), x->ph = nullptr;
  give(x, x->vals), x->vals = nullptr;
  give(x, x->sizes), x->sizes = nullptr;
  give(x, x->lens), x->lens = nullptr;
  if (x->alttab) {
    give(x, const_cast<char *>(x->alttab->name));
    give(x, x->alttab);
    x->alttab = nullptr;
  }
  if (x->tab) {
    give(x, const_cast<char *>(x->tab->name));
    give(x, x->tab);
    x->tab = nullptr;
  }
  give(x, x->base), x->base = nullptr;
  if (rc) druetrc();
  return rc;
}

// A string attribute by ordinal: null when absent or empty.
const char *clause(drebiobj *x, int32_t ordinal) {
  const char *v = nullptr;
  if (x->attrs) drdpval(x->attrs, nullptr, ordinal, nullptr, &v);
  return v && *v ? v : nullptr;
}

int drebibnd(drobj *o, int32_t polid, int32_t prefid, drdplist *attrs, int32_t mode,
             int32_t nstop) {
  drebiobj *x = ix(o);
  drsrvstate *st = x->st;
  x->prefid = prefid;
  x->attrs = attrs;
  x->mode = mode;
  x->likfetch = DREBI_LIKEFETCH;
  x->scanwidth = DREBI_SCANWIDTH;
  x->rowwidth = DREBI_ROWWIDTH;
  x->obufsize = DREBI_OPTBUF;
  x->sqlsize = DREBI_SQLSIZE;
  x->listcap = DREBI_LISTCAP;
  x->ibufsize = DREBI_INSBUF;
  x->rowtarget = DREBI_ROWTARGET;
  drdmattr *a = nullptr;
  int rc;
  while ((rc = drdpnxt(attrs, &a)) == 0) {
    int32_t v = drdpnum(a);
    switch (a->ordinal) {
      case -9: x->likfetch = static_cast<uint32_t>(v); break;
      case -7: x->scanwidth = static_cast<uint32_t>(v); break;
      case -6: x->rowwidth = static_cast<uint32_t>(v); break;
      case -5: x->obufsize = static_cast<uint32_t>(v); break;
      case -4: x->sqlsize = static_cast<uint16_t>(v); break;
      case -3: x->listcap = static_cast<uint16_t>(v); break;
      case -2: x->ibufsize = static_cast<uint32_t>(v); break;
      default: break;
    }
  }
  if (rc != 2) {
    drebiclose(x);
    druetrc();
    return 1;
  }
  // A capacity of 0 (or one whose low 16 bits are 0) would make every flush
  // take no list and commit nothing: the postings would be lost.
  if (x->listcap == 0) {
    dracnerr(st, DRFAC_DRG, 10704, 2, DRA_STR, "index engine", DRA_STR, "LIST_CAPACITY", DRA_INT,
             1, DRA_INT, 65535, 0);
    druetrc();
    return 1;
  }
  bool ok = (x->sizes = static_cast<int32_t *>(take(x, kNcols * sizeof(int32_t)))) &&
            (x->lens = static_cast<uint16_t **>(take(x, kNcols * sizeof(uint16_t *)))) &&
            (x->vals = static_cast<void **>(take(x, kNcols * sizeof(void *)))) &&
            (x->ph = static_cast<drudph *>(take(x, (kNcols + 1) * sizeof(drudph)))) &&
            (x->sql = static_cast<char *>(
                 drumalz(st, st->hpmgr, x->heap, x->sqlsize, __FILE__, __LINE__))) &&
            (x->ibuf = static_cast<uint8_t *>(
                 drumalz(st, st->hpmgr, x->heap, x->ibufsize, __FILE__, __LINE__))) &&
            (x->lists = static_cast<drelent **>(take(x, x->listcap * sizeof(drelent *)))) &&
            (x->tab = static_cast<drudtab *>(take(x, sizeof(drudtab)))) &&
            (x->tab->name = static_cast<char *>(take(x, DREBI_NAME))) &&
            (x->base = static_cast<char *>(take(x, DREBI_NAME)));
  if (!ok) {
    drebiclose(x);
    druetrc();
    return 1;
  }
  char sfx[40];
  char *name = const_cast<char *>(x->tab->name);
  if (drdcnam(st, polid, "I1T", x->base, DREBI_NAME) != 0 || drdcsfx(st, polid, sfx) != 0) {
    drebiclose(x);
    druetrc();
    return 1;
  }
  int n = std::snprintf(name, DREBI_NAME, "%s%s", x->base, sfx);
  // The suffix comes from the dictionary and goes into statement texts.
  if (n < 0 || n >= static_cast<int>(DREBI_NAME) || !druoidn(name, 2)) {
    dracnerr(st, DRFAC_DRG, 10518, 2, DRA_INT, static_cast<int>(polid), DRA_STR, x->base, DRA_STR,
             sfx, 0);
    drebiclose(x);
    druetrc();
    return 1;
  }
  x->alttab = nullptr;
  x->tab->tablespace = clause(x, 6);
  x->tab->storage = clause(x, 7);
  x->tab->extra = clause(x, 8);
  x->tab->cols = kCols;
  x->cur = static_cast<druocur *>(take(x, sizeof(druocur)));
  if (!x->cur || druoopc(st, x->cur, DRUO_WORK) != 0) {
    drebiclose(x);
    druetrc();
    return 1;
  }
  x->curstate = DREBI_OPEN;
  x->polid = static_cast<uint32_t>(polid);
  x->kind = nstop >= 256 ? DREL_KIND1 : DREL_KIND0;
  return 0;
}

int drebicrt(drobj *o) {
  drebiobj *x = ix(o);
  drudtab *t = x->alttab ? x->alttab : x->tab;
  if (drudcrtab(x->st, t, x->sql, x->sqlsize, 1) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drebicridx(drobj *o) {
  drebiobj *x = ix(o);
  char sfx[40];
  if (drdcsfx(x->st, static_cast<int32_t>(x->polid), sfx) != 0) {
    druetrc();
    return 1;
  }
  // The alternate table's index carries the other suffix character.
  if (x->alttab) sfx[0] = sfx[0] == '1' ? '2' : '1';
  char base[DREBI_NAME], name[2 * DREBI_NAME + 40];
  if (drdcnam(x->st, static_cast<int32_t>(x->polid), "I1I", base, sizeof base) != 0) {
    druetrc();
    return 1;
  }
  std::snprintf(name, sizeof name, "%s%s", base, sfx);
  static const char *const cols[] = {"word_text", "first_doc"};
  drudidx d{name, 1, (x->alttab ? x->alttab : x->tab)->name, cols, 2,
            clause(x, 3), clause(x, 4), clause(x, 5)};
  if (drudcridx(x->st, &d, 1) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drebidrop(drobj *o) {
  drebiobj *x = ix(o);
  if (druddroptab(x->st, x->tab->name) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drebitrunc(drobj *o) {
  drebiobj *x = ix(o);
  if (drudtrunc(x->st, x->tab->name) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drebifree(drobj *o) {
  drebiobj *x = ix(o);
  int rc = drebiclose(x);
  give(x, x->obuf);
  give(x, x->likbuf);
  void *p = x;
  if (drumfre(x->st, x->st->hpmgr, x->heap, &p) != 0) rc = 1;
  if (rc) druetrc();
  return rc;
}

// ---- the flush ----

constexpr uint32_t al4(uint32_t n) { return (n + 3u) & ~3u; }

// Where the areas of one array insert of rows lists of s bytes lie in the
// insert buffer, each from a 4-byte boundary; end is one past the last.
struct layout {
  uint32_t words, fdoc, dlen, lenword, lists, lens[kNcols], end;
};

layout lay(uint32_t rows, uint32_t width, uint32_t s, bool lng) {
  layout l{};
  l.words = 0;
  l.fdoc = al4(l.words + rows * width);
  l.dlen = al4(l.fdoc + rows * 4);
  uint32_t at = al4(l.dlen + rows * 4);
  if (lng) {
    l.lenword = at;
    at += 4;
  }
  l.lists = at;
  at = al4(l.lists + rows * s);
  for (int k = 0; k < kNcols; ++k) {
    l.lens[k] = at;
    at = al4(at + rows * 2);
  }
  l.end = at;
  return l;
}

// Writes the lists x->lists[0..n) (longest first) as rows of the token
// table, as many to one insert as the buffer holds; 0 / 1.
int drebiwrite(drebiobj *x, dreupstate *u, drobj *wl, uint32_t n, const drudlog *log,
               bool *logged) {
  drsrvstate *st = x->st;
  const nlscs *cs = dracncs(st);
  uint32_t width = u->terms->maxkey;
  uint8_t *b = x->ibuf;
  for (uint32_t i = 0; i < n;) {
    uint32_t s = x->lists[i]->nbytes;
    bool lng = s > DREBI_LONGLIST;
    uint32_t slot = (width + s + 19) & ~3u;
    // The rows that fit, from the estimate per row, corrected by what the
    // layout overshoots; the 16-bit count stays at 65535 rather than wrap.
    int64_t over = 0;
    uint32_t rows = 0;
    layout l{};
    // A list longer than the buffer (one document may give one) goes in a
    // buffer grown to hold it, never to an internal error.
    uint32_t need = lay(1, width, s, lng).end + 24 + (lng ? 4 : 0);
    if (need > x->ibufsize) {
      void *g = drumrea(st, st->hpmgr, x->heap, x->ibuf, need, __FILE__, __LINE__);
      if (!g) {
        druetrc();
        return 1;
      }
      x->ibuf = static_cast<uint8_t *>(g);
      x->ibufsize = need;
      b = x->ibuf;
    }
    for (int pass = 0; pass == 0 || over > 0; ++pass) {
      int64_t room = static_cast<int64_t>(x->ibufsize) - 24 - over - (lng ? 4 : 0);
      int64_t r = room > 0 ? room / slot : 0;
      if (pass > 0 && r >= rows) r = static_cast<int64_t>(rows) - 1;
      if (r > 65535) r = 65535;
      if (r <= 0) return internal(st, __LINE__, static_cast<int32_t>(s), static_cast<int32_t>(x->ibufsize));
      rows = lng ? 1 : static_cast<uint32_t>(std::min<int64_t>(r, n - i));
      l = lay(rows, width, s, lng);
      over = static_cast<int64_t>(l.end) - static_cast<int64_t>(x->ibufsize);
    }
    auto *fdoc = reinterpret_cast<uint32_t *>(b + l.fdoc);
    auto *dlen = reinterpret_cast<uint32_t *>(b + l.dlen);
    for (int k = 0; k < kNcols; ++k) x->lens[k] = reinterpret_cast<uint16_t *>(b + l.lens[k]);
    for (uint32_t j = 0; j < rows; ++j) {
      drelent *e = x->lists[i + j];
      uint32_t nb = 0, first = 0;
      if (drelread(st, u->lm, e, u->kind, b + l.lists + j * s, s, &nb, &first) != 0) {
        druetrc();
        return 1;
      }
      drelinit(e);
      fdoc[j] = first;
      dlen[j] = nb;
      char *w = reinterpret_cast<char *>(b + l.words + j * width);
      size_t wn = nlscpy(cs, w, width, static_cast<const char *>(druhkey(u->terms, e)));
      x->lens[0][j] = static_cast<uint16_t>(wn);
      x->lens[1][j] = 4;
      x->lens[2][j] = 4;
      x->lens[3][j] = lng ? 0xffff : static_cast<uint16_t>(nb);
    }
    x->vals[0] = b + l.words;
    x->vals[1] = fdoc;
    x->vals[2] = dlen;
    x->sizes[0] = static_cast<int32_t>(width);
    x->sizes[1] = 4;
    x->sizes[2] = 4;
    int rc;
    if (!lng) {
      x->vals[3] = b + l.lists;
      x->sizes[3] = static_cast<int32_t>(s);
      rc = drudexecn(st, x->tab, x->ph, x->sizes, x->vals, x->lens, rows, x->cur);
    } else {
      // One row; its length goes in the 4 bytes before the list.
      std::memcpy(b + l.lenword, &dlen[0], 4);
      x->vals[3] = b + l.lenword;
      x->sizes[3] = static_cast<int32_t>(s + 4);
      x->tab->cols = kColsLong;
      rc = drudexec1(st, x->tab, x->ph, x->sizes, x->vals, x->cur);
      x->tab->cols = kCols;
    }
    if (rc != 0) {
      druetrc();
      return 1;
    }
    if (!*logged) {
      drudlog y = *log;
      y.kind = 'Y';
      if (drudlogupd(st, x->heap, &y) != 0) {
        druetrc();
        return 1;
      }
      *logged = true;
    }
    // While changed rows are re-indexed the word list learns the new words.
    if (wl && drops<drwlops>(wl)->mode == 5) {
      const char *words[DREBI_WORDS];
      for (uint32_t j = 0; j < rows;) {
        uint32_t k = 0;
        for (; k < DREBI_WORDS && j < rows; ++k, ++j)
          words[k] = reinterpret_cast<char *>(b + l.words + j * width);
        if (drops<drwlops>(wl)->add(wl, words, static_cast<int32_t>(k)) != 0) {
          druetrc();
          return 1;
        }
      }
    }
    i += rows;
  }
  return 0;
}

int drebiflush(drobj *o, dreupstate *u, drobj *wl) {
  drebiobj *x = ix(o);
  drsrvstate *st = x->st;
  drudlog log{u->polid, u->oper, 'P', u->runseq, u->srvid, 0, nullptr, 0};
  bool logged = false;
  int rc = 0;
  if (x->curstate != DREBI_PARSED) {
    if (drudins(st, x->tab, x->ph, x->sql, x->sqlsize, x->cur) != 0) rc = 1;
    else x->curstate = DREBI_PARSED;
  }
  for (int more = rc == 0; more;) {
    uint16_t n = 0;
    int got = dreupendlists(u, x->lists, x->listcap, &n);
    if (got == 1) {
      rc = 1;
      break;
    }
    more = got != 2;
    if (n == 0) continue;
    // Longest first: the lists of one insert are then alike in length, so
    // little of the fixed slots is wasted.
    std::sort(x->lists, x->lists + n,
              [](const drelent *a, const drelent *b) { return a->nbytes > b->nbytes; });
    if (drebiwrite(x, u, wl, n, &log, &logged) != 0) rc = 1;
    if (rc) break;
  }
  if (rc == 0 && u->full) {
    log.kind = 'L';
    log.key = u->lastkey;
    log.count = static_cast<int32_t>(u->processed);
    if (drudlogupd(st, x->heap, &log) != 0) rc = 1;
  }
  if (rc == 0 && druocmt(st) != 0) rc = 1;
  if (rc != 0) {
    druorbk(st, &druorepq);
    druetrc();
    return 1;
  }
  return 0;
}

// ---- the LIKE expansion ----

// A pattern whose first wildcard is a '%' at its end.
bool prefixpat(const char *p) {
  const char *w = std::strpbrk(p, "_%");
  return w && *w == '%' && w[1] == '\0';
}

// Marks the patterns to run: in sorted order, a prefix pattern that
// begins with the stem of the prefix pattern before it matches nothing
// that one does not.
int drebisort(drebiobj *x, const char *const *pats, int32_t n, uint8_t *run) {
  const nlscs *cs = dracncs(x->st);
  auto *order = static_cast<int32_t *>(take(x, sizeof(int32_t) * static_cast<size_t>(n) + 1));
  if (!order) {
    druetrc();
    return 1;
  }
  for (int32_t i = 0; i < n; ++i) order[i] = i;
  std::sort(order, order + n,
            [&](int32_t a, int32_t b) { return nlscmp(cs, pats[a], pats[b]) < 0; });
  for (int32_t k = 0; k < n; ++k) {
    const char *p = pats[order[k]];
    run[order[k]] = 1;
    if (k == 0) continue;
    const char *prev = pats[order[k - 1]];
    size_t stem = std::strlen(prev);
    if (prefixpat(p) && prefixpat(prev) && nlsncmp(cs, p, prev, stem - 1) == 0)
      run[order[k]] = 0;
  }
  give(x, order);
  return 0;
}

int drebilik(drobj *o, const char *const *pats, int32_t npats, drubbuf *arena, char **result,
             int32_t *nresult, int32_t capacity) {
  drebiobj *x = ix(o);
  drsrvstate *st = x->st;
  *nresult = 0;
  x->likbuf = nullptr;
  if (npats <= 0) return 0;
  auto *run = static_cast<uint8_t *>(take(x, static_cast<size_t>(npats)));
  if (!run) {
    druetrc();
    return 1;
  }
  druocur *cur = nullptr;
  int rc = drebisort(x, pats, npats, run);
  char sql[1000];
  if (rc == 0) {
    // No escape character: a backslash in a pattern stands for itself.
    int len = std::snprintf(sql, sizeof sql,
                            "SELECT DISTINCT %s FROM %s WHERE %s LIKE :lkexpr ESCAPE ''",
                            kCols[0].name, x->tab->name, kCols[0].name);
    if (len < 0 || static_cast<size_t>(len) >= sizeof sql) rc = internal(st, __LINE__, len);
  }
  char bind[DREBI_WORDSLOT] = "";
  if (rc == 0 && (druoprs(st, x->heap, sql, &cur) != 0 ||
                  druobnd(st, cur, ":lkexpr", bind, sizeof bind, DRUO_STRING) != 0))
    rc = 1;
  uint32_t rows = std::min<uint32_t>(x->likfetch, DREBI_LIKEMAX) / DREBI_WORDSLOT;
  if (rc == 0 && rows == 0) rc = internal(st, __LINE__, static_cast<int32_t>(x->likfetch));
  if (rc == 0) {
    x->likbuf = static_cast<char *>(take(x, rows * DREBI_WORDSLOT));
    if (!x->likbuf || druodef(st, cur, 1, x->likbuf, DREBI_WORDSLOT, DRUO_STRING) != 0) rc = 1;
  }
  for (int32_t i = 0; rc == 0 && i < npats; ++i) {
    if (!run[i]) continue;
    nlscpy(dracncs(st), bind, sizeof bind, pats[i]);
    if (druoexe(st, cur) != 0) {
      rc = 1;
      break;
    }
    for (uint32_t before = 0;;) {
      int f = druofet(st, cur, rows);
      if (f != 0 && f != DRUO_NODATA) {
        rc = 1;
        break;
      }
      uint32_t got = druorows(cur) - before;
      before = druorows(cur);
      for (uint32_t k = 0; k < got; ++k) {
        if (*nresult >= capacity) {
          int32_t have = *nresult;
          dracnierr(st, DRFAC_DRG, DREBI_ECAP, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_SB4,
                    &have, 0);
          rc = 1;
          break;
        }
        char *w = drubadd(arena, x->likbuf + k * DREBI_WORDSLOT);
        if (!w) {
          rc = 1;
          break;
        }
        result[(*nresult)++] = w;
      }
      if (rc || f == DRUO_NODATA) break;
    }
  }
  give(x, x->likbuf);
  x->likbuf = nullptr;
  if (cur && druofre(st, x->heap, &cur) != 0) rc = 1;
  give(x, run);
  if (rc) druetrc();
  return rc;
}

}  // namespace

int drebialt(drobj *o, int on, int make) {
  drebiobj *x = ix(o);
  if (!on) {
    if (x->alttab) {
      give(x, const_cast<char *>(x->alttab->name));
      give(x, x->alttab);
      x->alttab = nullptr;
    }
    return 0;
  }
  if (!x->tab) return internal(x->st, __LINE__);
  if (!x->alttab) {
    char sfx[40];
    if (drdcsfx(x->st, static_cast<int32_t>(x->polid), sfx) != 0) {
      druetrc();
      return 1;
    }
    // The other table of the pair carries the other suffix character.
    sfx[0] = sfx[0] == '1' ? '2' : '1';
    auto *t = static_cast<drudtab *>(take(x, sizeof(drudtab)));
    char *name = t ? static_cast<char *>(take(x, DREBI_NAME)) : nullptr;
    if (!name) {
      give(x, t);
      druetrc();
      return 1;
    }
    *t = *x->tab;
    std::snprintf(name, DREBI_NAME, "%s%s", x->base, sfx);
    t->name = name;
    x->alttab = t;
  }
  if (make && drebicrt(o) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

drobj *drebinew(drsrvstate *st, drheap heap) {
  auto *x = static_cast<drebiobj *>(
      drumalc(st, st->hpmgr, heap, 1, sizeof(drebiobj), __FILE__, __LINE__));
  if (!x) {
    druetrc();
    return nullptr;
  }
  x->hd = kTpl;
  x->st = st;
  x->heap = heap;
  return &x->hd.obj;
}
