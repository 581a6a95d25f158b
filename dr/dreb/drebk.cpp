// The key map: array inserts of (text key, doc id) rows, lookups and deletes
// 40 values per execution, the range delete, the keys lookup that merges
// fetched rows with the ascending ids a query asks for, and the table
// actions.
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "dr/dras/dras.h"
#include "dr/drd/drd.h"
#include "dr/dreb/dreb.h"
#include "dr/dru/drud.h"
#include "dr/dru/drue.h"
#include "platform/nls/nls.h"

namespace {

int drebkbnd(drobj *o, int32_t polid, drdplist *attrs);
int drebkput(drobj *o, int32_t count, const char *const *keys, int32_t first);
int drebkkeys(drobj *o, const char *lsttab, int32_t n, const int32_t *ids, int32_t *found,
              char **keys, uint8_t *scores, const char *view);
int drebkids(drobj *o, int32_t count, const char *const *keys, int32_t *found, int32_t *ids);
int drebkdelids(drobj *o, int32_t count, const int32_t *ids);
int drebkdelkeys(drobj *o, int32_t count, const char *const *keys);
int drebkdelrange(drobj *o, int32_t first, int32_t count);
int drebktabs(drobj *o, int32_t action);
int drebkclose(drobj *o, int32_t kind);
int drebkfree(drobj *o);

const drobjhd<drkeyops> kTpl = {{0, 0, nullptr},
                                {.bnd = drebkbnd,
                                 .put = drebkput,
                                 .keys = drebkkeys,
                                 .ids = drebkids,
                                 .delids = drebkdelids,
                                 .delkeys = drebkdelkeys,
                                 .delrange = drebkdelrange,
                                 .tabs = drebktabs,
                                 .close = drebkclose,
                                 .free = drebkfree}};

// Queries and deletes report their execution as 50851, the insert as 50853.
const druorep kQry = {DRUE_OPEN, DRUE_PARSE, DRUE_BIND, DRUE_DEFINE, 50851, 50851, DRUE_CLOSE, 2, 2};
const druorep kIns = {DRUE_OPEN, DRUE_PARSE, DRUE_BIND, DRUE_DEFINE, 50853, 50853, DRUE_CLOSE, 2, 2};

#define KEK_PLACES                                                                       \
  ":b00, :b01, :b02, :b03, :b04, :b05, :b06, :b07, :b08, :b09, :b10, :b11, :b12, :b13, " \
  ":b14, :b15, :b16, :b17, :b18, :b19, :b20, :b21, :b22, :b23, :b24, :b25, :b26, :b27, " \
  ":b28, :b29, :b30, :b31, :b32, :b33, :b34, :b35, :b36, :b37, :b38"

constexpr char kInsert[] = "insert into %s (textkey, docid) values (:akeys, :adocs)";
constexpr char kIds[] =
    "select docid from %s where textkey in (" KEK_PLACES ", :b39) order by textkey";
constexpr char kDelKeys[] = "delete from %s where textkey in (" KEK_PLACES ", :b39)";
constexpr char kDelIds[] = "delete from %s where docid in (" KEK_PLACES ", :b39)";
constexpr char kDelRange[] = "delete from %s where docid between :lowerid and :upperid";
// The keys lookup: %(1)s the key table, %(2)s the id-list table, %(3)s to
// %(5)s the view's join, %(6)s its condition. An id inside any session's
// reserved range belongs to a run that has not finished and is hidden.
#define KEK_HIDE                                                                \
  " and not exists (select * from %(2)s r where r.ltype = 'R' and k.docid"      \
  " between split_part(r.data, ',', 1)::bigint"                                 \
  " and split_part(r.data, ',', 1)::bigint + r.idcount - 1) and %(6)s order by k.docid"
// Sparse ids go as one array of up to DREBK_BATCH ids per execution, so that
// a query's batch of ids costs one round trip, not one per 40 ids.
constexpr char kKeysIn[] = "select k.textkey, k.docid from %(1)s k %(3)s%(4)s%(5)s where k.docid = any(:ids)"
                           KEK_HIDE;
// Streaming: the first 39 ids and everything from the 40th on, so that one
// ordered scan serves every later id of the query. Chosen when the first
// call has more than 40 ids and either a view narrows the keys or the ids
// are dense (see dense()): the scan then carries few rows nobody asked for
// and saves one round trip per 40 ids.
constexpr char kKeysScan[] = "select k.textkey, k.docid from %(1)s k %(3)s%(4)s%(5)s where (k.docid in ("
                             KEK_PLACES ") or k.docid >= :b39)" KEK_HIDE;

drebkmap *kmap(drobj *o) { return reinterpret_cast<drebkmap *>(o); }

int internal(drsrvstate *st, int num, int line, int32_t a = 0) {
  dracnierr(st, DRFAC_DRG, num, 2, DRA_STR, __FILE__, DRA_INT, line, DRA_SB4, &a, DRA_END);
  druetrc();
  return 1;
}

// Keys longer than a key may be are refused before anything is written:
// they would not fit their slot.
int checkkeys(drsrvstate *st, int32_t count, const char *const *keys) {
  for (int32_t i = 0; i < count; ++i) {
    size_t n = std::strlen(keys[i]);
    if (n > DREBK_KEYMAX) {
      int32_t len = static_cast<int32_t>(n);
      dracnerr(st, DRFAC_DRG, DREBK_EKEY, 2, DRA_SB4, &len, DRA_END);
      druetrc();
      return 1;
    }
  }
  return 0;
}

int prepare(drebkmap *k, druocur **cur, const char *fmt) {
  if (*cur) return 0;
  char text[1024];
  if (drasmfmt(k->st->fmt, text, sizeof text, fmt, DRA_STR, k->ktb, DRA_END) < 0)
    return internal(k->st, 50600, __LINE__);
  if (druoprs(k->st, k->heap, text, cur) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

void shut(drebkmap *k, druocur **cur) { druofre(k->st, k->heap, cur); }

// The indicator arrays of the 40-place statements, made on first use.
int indicators(drebkmap *k) {
  if (k->ind) return 0;
  k->ind = static_cast<int16_t *>(
      drumalc(k->st, k->st->hpmgr, k->heap, 2 * DREBK_PLACES, sizeof(int16_t), __FILE__, __LINE__));
  if (!k->ind) {
    druetrc();
    return 1;
  }
  k->indf = k->ind + DREBK_PLACES;
  return 0;
}

// Prepares a 40-place statement with its places bound to the key buffer
// (keys) or the id buffer (ids).
int places(drebkmap *k, druocur **cur, const char *fmt, bool bykey) {
  if (*cur) return 0;
  if (indicators(k) != 0 || prepare(k, cur, fmt) != 0) return 1;
  for (int i = 0; i < DREBK_PLACES; ++i) {
    int rc = bykey ? druobnd(k->st, *cur, k->ph[i], k->keybuf[i], DREBK_KEYMAX + 1, DRUO_STRING,
                             &k->ind[i], nullptr, &kQry)
                   : druobnd(k->st, *cur, k->ph[i], &k->idbuf[i], sizeof(int32_t), DRUO_INTEGER,
                             &k->ind[i], nullptr, &kQry);
    if (rc != 0) {
      shut(k, cur);
      druetrc();
      return 1;
    }
  }
  return 0;
}

// Fills the places with one group of at most 40 keys or ids; the places
// left over are null and match nothing.
void fill(drebkmap *k, int32_t n, const char *const *keys, const int32_t *ids) {
  const nlscs *cs = dracncs(k->st);
  for (int i = 0; i < DREBK_PLACES; ++i) {
    k->ind[i] = i < n ? 0 : -1;
    if (i >= n) continue;
    if (keys) nlscpy(cs, k->keybuf[i], DREBK_KEYMAX + 1, keys[i]);
    else k->idbuf[i] = ids[i];
  }
}

// Runs a 40-place delete over count keys or ids.
int delgroups(drebkmap *k, druocur **cur, const char *fmt, int32_t count, const char *const *keys,
              const int32_t *ids) {
  if (keys && checkkeys(k->st, count, keys) != 0) return 1;
  if (places(k, cur, fmt, keys != nullptr) != 0) return 1;
  for (int32_t at = 0; at < count; at += DREBK_PLACES) {
    int32_t n = count - at < DREBK_PLACES ? count - at : int32_t{DREBK_PLACES};
    fill(k, n, keys ? keys + at : nullptr, ids ? ids + at : nullptr);
    if (druoexe(k->st, *cur, &kQry) != 0) {
      druetrc();
      return 1;
    }
  }
  return 0;
}

int drebkbnd(drobj *o, int32_t polid, drdplist *attrs) {
  drebkmap *k = kmap(o);
  k->attrs = attrs;
  if (drdcnam(k->st, polid, "KTB", k->ktb, sizeof k->ktb) == 0 &&
      drdcnam(k->st, polid, "KSQ", k->ksq, sizeof k->ksq) == 0 &&
      drdcnam(k->st, polid, "KIK", k->kik, sizeof k->kik) == 0 &&
      drdcnam(k->st, polid, "KID", k->kid, sizeof k->kid) == 0 &&
      (k->arena || (k->arena = drubnew(k->st, k->heap, DREBK_KEYMAX + 1, nullptr, 2048))))
    return 0;
  dracnerr(k->st, DRFAC_DRG, DREBK_EBIND, 2, DRA_SB4, &polid, DRA_END);
  druetrc();
  return 1;
}

int drebkput(drobj *o, int32_t count, const char *const *keys, int32_t first) {
  drebkmap *k = kmap(o);
  drsrvstate *st = k->st;
  drubrst(k->arena, 0);
  if (checkkeys(st, count, keys) != 0) return 1;
  bool fresh = !k->cins;
  if (prepare(k, &k->cins, kInsert) != 0) return 1;
  int rc = 0;
  if (fresh && (druobnd(st, k->cins, ":akeys", k->keybuf, DREBK_KEYMAX + 1, DRUO_STRING, nullptr,
                        nullptr, &kIns) != 0 ||
                druobnd(st, k->cins, ":adocs", k->idbuf, sizeof(int32_t), DRUO_INTEGER, nullptr,
                        nullptr, &kIns) != 0))
    rc = 1;
  const nlscs *cs = dracncs(st);
  for (int32_t at = 0; rc == 0 && at < count; at += DREBK_BATCH) {
    int32_t n = count - at < DREBK_BATCH ? count - at : int32_t{DREBK_BATCH};
    for (int32_t i = 0; i < n; ++i) {
      nlscpy(cs, k->keybuf[i], DREBK_KEYMAX + 1, keys[at + i]);
      k->idbuf[i] = first + at + i;
    }
    if (druoexn(st, k->cins, n, &kIns) != 0) rc = 1;
  }
  if (rc != 0) {
    // A statement prepared by this call is prepared afresh by the next.
    if (fresh) shut(k, &k->cins);
    druetrc();
  }
  return rc;
}

int drebkids(drobj *o, int32_t count, const char *const *keys, int32_t *found, int32_t *ids) {
  drebkmap *k = kmap(o);
  *found = 0;
  if (checkkeys(k->st, count, keys) != 0) return 1;
  if (places(k, &k->cids, kIds, true) != 0) return 1;
  for (int32_t at = 0; at < count; at += DREBK_PLACES) {
    int32_t n = count - at < DREBK_PLACES ? count - at : int32_t{DREBK_PLACES};
    fill(k, n, keys + at, nullptr);
    // Rows go straight into the caller's array after those found so far.
    if (druodef(k->st, k->cids, 1, ids + *found, sizeof(int32_t), DRUO_INTEGER, k->indf, nullptr,
                &kQry) != 0) {
      druetrc();
      return 1;
    }
    int rc = druoexf(k->st, k->cids, n, &kQry);
    if (rc != 0 && rc != DRUO_NODATA) {
      druetrc();
      return 1;
    }
    *found += static_cast<int32_t>(druorows(k->cids));
  }
  return 0;
}

int drebkdelids(drobj *o, int32_t count, const int32_t *ids) {
  drebkmap *k = kmap(o);
  return delgroups(k, &k->cdeli, kDelIds, count, nullptr, ids);
}

int drebkdelkeys(drobj *o, int32_t count, const char *const *keys) {
  drebkmap *k = kmap(o);
  return delgroups(k, &k->cdelk, kDelKeys, count, keys, nullptr);
}

int drebkdelrange(drobj *o, int32_t first, int32_t count) {
  drebkmap *k = kmap(o);
  drsrvstate *st = k->st;
  if (prepare(k, &k->cdelr, kDelRange) != 0) return 1;
  // Wide enough for any first id and count; a count of 0 makes an empty range.
  int64_t lower = first, upper = int64_t{first} + count - 1;
  if (druobnd(st, k->cdelr, ":lowerid", &lower, sizeof lower, DRUO_INTEGER, nullptr, nullptr,
              &kQry) != 0 ||
      druobnd(st, k->cdelr, ":upperid", &upper, sizeof upper, DRUO_INTEGER, nullptr, nullptr,
              &kQry) != 0 ||
      druoexe(st, k->cdelr, &kQry) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

// Prepares the keys lookup in the mode the first call of a query chooses.
int keysprep(drebkmap *k, const char *lsttab, bool streaming, const char *view) {
  drsrvstate *st = k->st;
  if (view && !druoidn(view, 2)) {
    dracnerr(st, DRFAC_DRG, DREBK_EVIEW, 2, DRA_STR, view, DRA_END);
    druetrc();
    return 1;
  }
  char text[1024];
  int n = drasmfmt(st->fmt, text, sizeof text, streaming ? kKeysScan : kKeysIn, DRA_STR, k->ktb,
                   DRA_STR, lsttab, DRA_STR, view ? ", " : "", DRA_STR, view ? view : "", DRA_STR,
                   view ? " v" : "", DRA_STR, view ? "v.textkey = k.textkey" : "k.textkey is not null",
                   DRA_END);
  if (n < 0) return internal(st, 50600, __LINE__, n);
  if (indicators(k) != 0 || druoprs(st, k->heap, text, &k->ckeys) != 0) {
    druetrc();
    return 1;
  }
  int rc = druodef(st, k->ckeys, 1, k->keybuf, DREBK_KEYMAX + 1, DRUO_STRING, nullptr, nullptr,
                   &kQry);
  if (rc == 0)
    rc = druodef(st, k->ckeys, 2, k->fetids, sizeof(int32_t), DRUO_INTEGER, nullptr, nullptr, &kQry);
  if (!streaming) {
    k->nids = 0;
    if (rc == 0)
      rc = druobna(st, k->ckeys, ":ids", k->idbuf, sizeof(int32_t), DRUO_INTEGER, nullptr, nullptr,
                   DREBK_BATCH, &k->nids, &kQry);
  }
  for (int i = 0; streaming && rc == 0 && i < DREBK_PLACES; ++i)
    rc = druobnd(st, k->ckeys, k->ph[i], &k->idbuf[i], sizeof(int32_t), DRUO_INTEGER, nullptr,
                 nullptr, &kQry);
  if (rc != 0) {
    shut(k, &k->ckeys);
    druetrc();
    return 1;
  }
  k->streaming = streaming;
  k->drained = 0;
  k->consumed = 0;
  k->posn = 0;
  k->nfetched = -1;  // not executed yet
  return 0;
}

// True when ascending ids ask for at least one in kDense of the ids their
// span covers. A scanned row costs far less than an id's share of a 40-place
// execution: the scan wins from about one in ten; six leaves room for a first
// call denser than the ids after it.
constexpr int64_t kDense = 6;
bool dense(int32_t n, const int32_t *ids) {
  return int64_t{n} * kDense >= int64_t{ids[n - 1]} - ids[0] + 1;
}

int drebkkeys(drobj *o, const char *lsttab, int32_t n, const int32_t *ids, int32_t *found,
              char **keys, uint8_t *scores, const char *view) {
  drebkmap *k = kmap(o);
  drsrvstate *st = k->st;
  int32_t got = 0;
  *found = 0;
  if (!k->ckeys &&
      keysprep(k, lsttab, n > DREBK_PLACES && (view || dense(n, ids)), view) != 0)
    return 1;
  auto failed = [&] {
    shut(k, &k->ckeys);
    *found = got;
    druetrc();
    return 1;
  };
  int32_t j = 0;
  k->chunkend = 0;
  while (j < n) {
    int32_t l = j;
    int rc = 0;
    if (k->streaming && k->nfetched >= 0) {
      // One scan serves the whole query: fetch on when its rows are used up.
      if (k->posn >= k->nfetched) {
        if (k->drained) break;
        uint32_t before = druorows(k->ckeys);
        rc = druofet(st, k->ckeys, DREBK_BATCH, &kQry);
        if (rc != 0 && rc != DRUO_NODATA) return failed();
        k->consumed += k->nfetched;
        k->posn = 0;
        k->nfetched = static_cast<int32_t>(druorows(k->ckeys) - before);
        k->drained = rc == DRUO_NODATA;
      }
    } else if (j < k->chunkend) {
      // The ids of the last execution found more rows than one fetch holds.
      uint32_t before = druorows(k->ckeys);
      rc = druofet(st, k->ckeys, DREBK_BATCH, &kQry);
      if (rc != 0 && rc != DRUO_NODATA) return failed();
      k->posn = 0;
      k->nfetched = static_cast<int32_t>(druorows(k->ckeys) - before);
      k->drained = rc == DRUO_NODATA;
    } else {
      // The next ids, up to a fetch's worth, in one array.
      int32_t m = n - j < DREBK_BATCH ? n - j : int32_t{DREBK_BATCH};
      std::memcpy(k->idbuf, ids + j, static_cast<size_t>(m) * sizeof(int32_t));
      k->nids = static_cast<uint32_t>(m);
      k->chunkend = j + m;
      rc = druoexf(st, k->ckeys, DREBK_BATCH, &kQry);
      if (rc != 0 && rc != DRUO_NODATA) return failed();
      k->consumed = 0;
      k->posn = 0;
      k->nfetched = static_cast<int32_t>(druorows(k->ckeys));
      k->drained = rc == DRUO_NODATA;
    }
    // Merge the fetched rows with the ids, both ascending.
    while (k->posn < k->nfetched && l < n) {
      int32_t row = k->fetids[k->posn];
      if (row == ids[l]) {
        char *key = drubadd(k->arena, k->keybuf[k->posn]);
        if (!key) return failed();
        keys[got] = key;
        scores[got] = scores[l];
        ++got;
        ++k->posn;
        ++l;
      } else if (row > ids[l]) {
        ++l;  // no key for this id
      } else {
        ++k->posn;  // a row no id asks for
      }
    }
    if (!k->streaming) {
      // Ids whose rows may still come are looked at again with the next
      // fetch; once the rows are drained the rest of the ids have none.
      j = k->drained || k->posn < k->nfetched ? k->chunkend : l;
      if (j >= k->chunkend) k->chunkend = 0;
    } else if (l > j) {
      j = l;
    }
    if (k->streaming && k->drained && k->posn >= k->nfetched) break;
  }
  *found = got;
  return k->streaming && k->drained && k->posn >= k->nfetched ? 2 : 0;
}

int drebktabs(drobj *o, int32_t action) {
  drebkmap *k = kmap(o);
  drsrvstate *st = k->st;
  const char *failed = nullptr;
  auto clause = [&](int32_t a, const char **out) {
    *out = nullptr;
    if (k->attrs) drdpval(k->attrs, nullptr, a, nullptr, out);
  };
  drudseq seq{};
  seq.incr = 1;
  seq.start = 0;
  seq.minv = 1;  // start outside [minv, maxv]: no clause but the increment
  seq.replace = 1;
  auto mkseq = [&] {
    if (!failed && drudcrseq(st, k->ksq, seq) != 0) failed = k->ksq;
  };
  auto mkidx = [&] {
    static const char *const kik[] = {"textkey"};
    static const char *const kid[] = {"docid", "textkey"};
    drudidx x{k->kik, 1, k->ktb, kik, 1, nullptr, nullptr, nullptr};
    clause(12, &x.tablespace), clause(13, &x.storage), clause(14, &x.extra);
    if (!failed && drudcridx(st, &x, 1) != 0) failed = k->kik;
    drudidx y{k->kid, 1, k->ktb, kid, 2, nullptr, nullptr, nullptr};
    clause(9, &y.tablespace), clause(10, &y.storage), clause(11, &y.extra);
    if (!failed && drudcridx(st, &y, 1) != 0) failed = k->kid;
  };
  switch (action) {
    case 0: {
      mkseq();
      drudcol cols[] = {{"varchar(256)", "textkey", DRUO_STRING},
                        {"bigint", "docid", DRUO_INTEGER},
                        {nullptr, nullptr, 0}};
      drudtab t{k->ktb, nullptr, nullptr, nullptr, cols, 0};
      clause(15, &t.tablespace), clause(16, &t.storage), clause(17, &t.extra);
      char text[512];
      if (!failed && drudcrtab(st, &t, text, sizeof text, 1) != 0) failed = k->ktb;
      break;
    }
    case 1:
      mkidx();
      if (!failed) drebkclose(o, 0);
      break;
    case 2:
      if (druddropseq(st, k->ksq) != 0) failed = k->ksq;
      if (!failed && druddroptab(st, k->ktb) != 0) failed = k->ktb;
      break;
    case 3:
      if (drudtrunc(st, k->ktb) != 0) failed = k->ktb;
      mkseq();
      mkidx();
      break;
    default:
      return internal(st, DREB_EACTION, __LINE__, action);
  }
  if (!failed) return 0;
  dracnerr(st, DRFAC_DRG, DREBK_ETABS, 2, DRA_STR, failed, DRA_END);
  druetrc();
  return 1;
}

int drebkclose(drobj *o, int32_t kind) {
  drebkmap *k = kmap(o);
  for (druocur **c : {&k->cins, &k->cids, &k->ckeys, &k->cdelk, &k->cdelr, &k->cdeli}) shut(k, c);
  if (k->ind) {
    void *p = k->ind;
    drumfre(k->st, k->st->hpmgr, k->heap, &p);
    k->ind = k->indf = nullptr;
  }
  if (kind > 0 && k->arena) drubrst(k->arena, 0);
  return 0;
}

int drebkfree(drobj *o) {
  drebkmap *k = kmap(o);
  drebkclose(o, 3);
  if (k->arena) drubfre(k->arena);
  void *p = k;
  drumfre(k->st, k->st->hpmgr, k->heap, &p);
  return 0;
}

}  // namespace

drobj *drebknew(drsrvstate *st, drheap heap) {
  auto *k = drobjnew<drebkmap>(st, heap, kTpl);
  if (!k) return nullptr;
  for (int i = 0; i < DREBK_PLACES; ++i) {
    char *ph = k->ph[i];
    ph[0] = 'b';
    ph[1] = static_cast<char>('0' + i / 10);
    ph[2] = static_cast<char>('0' + i % 10);
    ph[3] = '\0';
  }
  return &k->hd.obj;
}
