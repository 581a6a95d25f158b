/* The result-table writer: a query's hits by text key go into the caller's
 * result table as rows of key columns and score (and the caller's ids),
 * 512 rows an array insert with one commit each; the table is first
 * cleared by the caller's clearing mode. */
#include <cstring>
#include <string>

#include "dr/dra/dra.h"
#include "dr/dras/dras.h"
#include "dr/drr/drr.h"
#include "dr/dru/drud.h"
#include "dr/dru/drue.h"
#include "platform/nls/nls.h"

namespace {

drrcwr *wrof(drobj *o) { return reinterpret_cast<drrcwr *>(o); }

/* The database's text alone for a failing step: the writer says what failed. */
constexpr druorep kRep = {0, 0, 0, 0, 0, 0, -1, 2, 2};

/* Pushes the open's failure for the failing step's code: 10010 for a
 * column the table lacks, else 10001; closes the cursor; 1. */
int openfail(drrcwr *w, const char *table, int rc) {
  if (w->opened) druocls(&w->cur);
  w->opened = 0;
  dracnerr(w->st, DRFAC_DRG, rc == DRUO_NOCOLUMN ? DRR_ECOLUMN : DRR_EOPEN, 2, DRA_STR, table, 0);
  druetrc();
  return 1;
}

/* Sends the buffered rows and commits; 0, or 1 after 50850 and 10002
 * (the rows stay buffered). */
int send(drrcwr *w) {
  if (w->rows == 0) return 0;
  if (druoexn(w->st, &w->cur, static_cast<uint32_t>(w->rows), &kRep) != 0 ||
      druocmt(w->st, &kRep) != 0) {
    dracnerr(w->st, DRFAC_DRG, DRR_ESEND, 2, 0);
    druetrc();
    return 1;
  }
  w->rows = 0;
  return 0;
}

/* The statement's pieces by insert variant (0, 1, 2): the fixed texts of a
 * single key, and the middles and tails of several. */
const char *const kFixed[] = {
    "insert into %(1)s (textkey, score) values (:textkey, :score)",
    "insert into %(1)s (textkey, score, conid) values  (:textkey, :score, :conid)",
    "insert into %(1)s (textkey, score, conid, curid) values  (:textkey, :score,:conid, :curid)"};
const char *const kMiddle[] = {", score) values (:textkey,", ", score, conid) values (:textkey,",
                               ", score, conid, curid) values (:textkey,"};
const char *const kTail[] = {":score)", ":score, :conid)", ":score,:conid, :curid)"};

/* Formats a piece into the statement; false when it does not fit. */
template <class... A>
bool piece(drsrvstate *st, std::string &sql, size_t size, const char *fmt, A... args) {
  char buf[1024];
  int n = drasmfmt(st->fmt, buf, size, fmt, args..., DRA_END);
  if (n < 0) return false;
  sql.append(buf, static_cast<size_t>(n));
  return sql.size() < 1024;
}

/* The insert statement of a variant for k key columns; false when it does
 * not fit. */
bool insert(drsrvstate *st, const char *table, int variant, int32_t k, std::string &sql) {
  if (k <= 1) return piece(st, sql, 1024, kFixed[variant], DRA_STR, table);
  /* Pieces of several keys are formatted into 20-byte buffers, but the
   * table's name takes more. */
  bool ok = piece(st, sql, 1024, "insert into %(1)s (textkey", DRA_STR, table);
  for (int32_t n = 2; ok && n <= k; ++n) ok = piece(st, sql, 20, ", textkey%(1)d", DRA_INT, static_cast<int>(n));
  ok = ok && piece(st, sql, 1024, kMiddle[variant]);
  for (int32_t n = 2; ok && n <= k; ++n) ok = piece(st, sql, 20, " :textkey%(1)d, ", DRA_INT, static_cast<int>(n));
  return ok && piece(st, sql, 1024, kTail[variant]);
}

int drrcopen(drobj *o, const void *target, int32_t shr, int32_t conid, int32_t curid,
             int32_t nkeys) {
  drrcwr *w = wrof(o);
  drsrvstate *st = w->st;
  const char *table = static_cast<const char *>(target);
  if (!table || !druoidn(table, 2)) {
    dracnerr(st, DRFAC_DRG, 52009, 2, DRA_STR, table ? table : "", 0);
    druetrc();
    return 1;
  }
  if (shr < 0 || shr > 5) {
    dracnerr(st, DRFAC_DRG, DRR_ESHR, 2, DRA_SB4, &shr, 0);
    druetrc();
    return 1;
  }
  /* A policy has at least one key column; more than a table can take would
   * be written past the arrays. */
  if (nkeys > DRR_MAXKEYS) {
    dracnerr(st, DRFAC_DRG, DRR_EKEYCNT, 2, DRA_SB4, &nkeys, 0);
    druetrc();
    return 1;
  }
  int32_t k = nkeys < 1 ? 1 : nkeys;
  int variant = shr % 3;
  /* Step 1: clearing. */
  if (shr == 0) {
    if (drudtrunc(st, table) != 0) {
      dracnerr(st, DRFAC_DRG, DRR_EOPEN, 2, DRA_STR, table, 0);
      druetrc();
      return 1;
    }
  } else if (shr <= 2) {
    char sql[256];
    const char *fmt = shr == 1 ? "delete from %(1)s where conid = :conid"
                               : "delete from %(1)s where conid = :conid and curid = :curid";
    if (drasmfmt(st->fmt, sql, sizeof sql, fmt, DRA_STR, table, DRA_END) < 0) return openfail(w, table, 0);
    int rc = druoprp(st, &w->cur, DRUO_WORK, sql, &kRep);
    w->opened = rc == 0;
    if (rc == 0) rc = druobnd(st, &w->cur, ":conid", &conid, 4, DRUO_INTEGER, nullptr, nullptr, &kRep);
    if (rc == 0 && shr == 2)
      rc = druobnd(st, &w->cur, ":curid", &curid, 4, DRUO_INTEGER, nullptr, nullptr, &kRep);
    if (rc == 0) rc = druoexe(st, &w->cur, &kRep);
    if (rc == 0) rc = druocmt(st, &kRep);
    if (rc != 0) return openfail(w, table, rc);
    druocls(&w->cur);
    w->opened = 0;
  }
  /* Step 2: the insert, kept open. */
  std::string sql;
  if (!insert(st, table, variant, k, sql)) {
    dracnierr(st, DRFAC_DRG, 50600, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_STR, table, 0);
    return openfail(w, table, 0);
  }
  w->keys = static_cast<char(*)[DRR_BATCH][DRR_KEYCELL]>(
      drumalc(st, st->hpmgr, w->heap, static_cast<size_t>(k), sizeof(*w->keys), __FILE__, __LINE__));
  if (!w->keys) {
    druetrc();
    return 1;
  }
  w->nkeys = k;
  int rc = druoprp(st, &w->cur, DRUO_WORK, sql.c_str(), &kRep);
  w->opened = rc == 0;
  /* Step 3: the arrays. */
  for (int32_t n = 1; rc == 0 && n <= k; ++n) {
    char name[20];
    drasmfmt(st->fmt, name, sizeof name, n == 1 ? ":textkey" : ":textkey%(1)d", DRA_INT,
             static_cast<int>(n), DRA_END);
    rc = druobnd(st, &w->cur, name, w->keys[n - 1], DRR_KEYCELL, DRUO_STRING, nullptr, nullptr, &kRep);
  }
  if (rc == 0) rc = druobnd(st, &w->cur, ":score", w->score, 4, DRUO_INTEGER, nullptr, nullptr, &kRep);
  if (rc == 0 && variant >= 1) {
    for (int32_t &c : w->conid) c = conid;
    rc = druobnd(st, &w->cur, ":conid", w->conid, 4, DRUO_INTEGER, nullptr, nullptr, &kRep);
  }
  if (rc == 0 && variant == 2) {
    for (int32_t &c : w->curid) c = curid;
    rc = druobnd(st, &w->cur, ":curid", w->curid, 4, DRUO_INTEGER, nullptr, nullptr, &kRep);
  }
  if (rc != 0) return openfail(w, table, rc);
  w->rows = 0;
  return 0;
}

/* Refuses a key value that does not fit its cell; 1. */
int toolong(drrcwr *w, size_t len) {
  int32_t n = static_cast<int32_t>(len);
  dracnerr(w->st, DRFAC_DRG, DRR_EKEYLEN, 2, DRA_SB4, &n, 0);
  druetrc();
  return 1;
}

/* Copies one key text into the cells of row r: whole with one key column,
 * else split at the commas no backslash escapes, a value a column; values
 * past the key count are dropped. 0, or 1 for a value longer than a cell. */
int putkey(drrcwr *w, int32_t r, const char *key) {
  const nlscs *cs = dracncs(w->st);
  size_t len = std::strlen(key);
  if (w->nkeys == 1) {
    if (len >= DRR_KEYCELL) return toolong(w, len);
    std::memcpy(w->keys[0][r], key, len + 1);
    return 0;
  }
  int32_t col = 0;
  size_t at = 0;
  char *cell = w->keys[0][r];
  for (size_t i = 0; i < len;) {
    size_t cl = nlsclen(cs, key + i, len - i);
    if (cl == 0) cl = 1;
    if (cl == 1 && key[i] == ',') {
      cell[at] = '\0';
      ++i;
      if (++col >= w->nkeys) return 0;  /* the extra values are dropped */
      cell = w->keys[col][r];
      at = 0;
      continue;
    }
    if (cl == 1 && key[i] == '\\' && i + 1 < len) {
      ++i;  /* the next character stands for itself */
      cl = nlsclen(cs, key + i, len - i);
      if (cl == 0) cl = 1;
    }
    if (at + cl >= DRR_KEYCELL) return toolong(w, at + cl);
    std::memcpy(cell + at, key + i, cl);
    at += cl;
    i += cl;
  }
  cell[at] = '\0';
  /* Columns the key gave no value keep an empty value. */
  for (int32_t c = col + 1; c < w->nkeys; ++c) w->keys[c][r][0] = '\0';
  return 0;
}

int drrcputrows(drobj *o, int32_t n, const char *const *keys, const uint8_t *scores) {
  drrcwr *w = wrof(o);
  for (int32_t i = 0; i < n; ++i) {
    /* A batch that could not be sent is tried again before the row that
     * would lie past the arrays. */
    if (w->rows >= w->batch && send(w) != 0) {
      dracnerr(w->st, DRFAC_DRG, DRR_ESEND, 2, 0);
      return 1;
    }
    if (putkey(w, w->rows, keys[i]) != 0) return 1;
    w->score[w->rows] = scores[i];
    if (++w->rows == w->batch && send(w) != 0) {
      dracnerr(w->st, DRFAC_DRG, DRR_ESEND, 2, 0);
      return 1;
    }
  }
  return 0;
}

int drrcfinish(drobj *o) { return send(wrof(o)); }

int drrcclose(drobj *o, int32_t how) {
  drrcwr *w = wrof(o);
  if (how != 2) return 0;
  if (w->opened) druocls(&w->cur);
  w->opened = 0;
  w->rows = 0;
  return 0;
}

int drrcdestroy(drobj *o) {
  drrcwr *w = wrof(o);
  drrcclose(o, 2);
  drsrvstate *st = w->st;
  drheap heap = w->heap;
  void *p = w->keys;
  if (p) drumfre(st, st->hpmgr, heap, &p);
  p = w;
  drumfre(st, st->hpmgr, heap, &p);
  return 0;
}

int drrcputhits(drobj *, int32_t, const uint32_t *, const uint8_t *) { return 0; }
int drrcbatch(drobj *) { return DRR_FEED; }

const drobjhd<drrwrops> kTpl = {{DRCLS_RESULT, 1, nullptr},
                                {.open = drrcopen,
                                 .putrows = drrcputrows,
                                 .finish = drrcfinish,
                                 .close = drrcclose,
                                 .destroy = drrcdestroy,
                                 .puthits = drrcputhits,
                                 .batchsize = drrcbatch}};

}  // namespace

drobj *drrcnew(drsrvstate *s, drheap heap) {
  drrcwr *w = drobjnew<drrcwr>(s, heap, kTpl);
  if (!w) return nullptr;
  w->batch = DRR_BATCH;
  w->nkeys = 1;
  return &w->hd.obj;
}
