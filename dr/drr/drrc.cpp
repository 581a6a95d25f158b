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

/* What a writer through the fence has gathered: the clearing statement,
 * sent with the first rows, and the insert of the rows not yet sent. */
struct Pending {
  std::string clear, rows;
};

/* The writer's gathered statements, made on first use. */
Pending &pending(drrcwr *w) {
  if (!w->pend) w->pend = new Pending;
  return *static_cast<Pending *>(w->pend);
}

/* Runs the gathered statements on the user's table as the user, on the
 * fence connection (in one call, which commits); 0, or 1 after the
 * database's text. */
int fenced(drrcwr *w) {
  drsrvstate *st = w->st;
  Pending &p = pending(w);
  druocur c{};
  std::string u = w->user;
  int16_t clearind = p.clear.empty() ? -1 : 0, rowsind = p.rows.empty() ? -1 : 0;
  int rc = druoprp(st, &c, DRUO_FENCE, "CALL dr_utl.write_as(:usr, :clr, :stmt)", &kRep);
  bool open = rc == 0;
  if (rc == 0)
    rc = druobnd(st, &c, ":usr", u.data(), static_cast<int32_t>(u.size() + 1), DRUO_STRING,
                 nullptr, nullptr, &kRep);
  if (rc == 0)
    rc = druobnd(st, &c, ":clr", p.clear.data(), static_cast<int32_t>(p.clear.size() + 1),
                 DRUO_STRING, &clearind, nullptr, &kRep);
  if (rc == 0)
    rc = druobnd(st, &c, ":stmt", p.rows.data(), static_cast<int32_t>(p.rows.size() + 1),
                 DRUO_STRING, &rowsind, nullptr, &kRep);
  if (rc == 0) rc = druoexe(st, &c, &kRep);
  if (open) druocls(&c);
  w->dirty = 1;
  p.clear.clear();
  p.rows.clear();
  return rc;
}

/* Resets the fence connection once the writer is done with it; 0 / 1. */
int reset(drrcwr *w) {
  if (!w->dirty) return 0;
  w->dirty = 0;
  return druofrs(w->st);
}

/* Sends what is gathered for the fence: at the end, or once the rows pass
 * a megabyte; 0 / 1. */
int flush(drrcwr *w, bool end) {
  Pending &p = pending(w);
  int rc = 0;
  if ((end && (!p.clear.empty() || !p.rows.empty())) || p.rows.size() > (1u << 20))
    rc = fenced(w);
  if (end && reset(w) != 0) rc = 1;
  return rc;
}

/* Whether the user's table has every column the insert names, asked of
 * the catalogue (preparing the insert on the server's connection would
 * plan the user's code with the server's rights); 0, DRUO_NOCOLUMN, or
 * the failing step's code after the database's text. */
int columns(drrcwr *w, const char *table, int variant, int32_t k) {
  drsrvstate *st = w->st;
  std::string cols = "textkey";
  for (int32_t n = 2; n <= k; ++n) cols += ",textkey" + std::to_string(n);
  cols += variant == 0 ? ",score" : variant == 1 ? ",score,conid" : ",score,conid,curid";
  int32_t want = k + 1 + variant, have = 0;
  std::string t = table;
  druocur c{};
  int rc = druoprp(st, &c, DRUO_WORK,
                   "SELECT count(*) FROM pg_attribute WHERE attrelid = CAST(:tab AS regclass) "
                   "AND attnum > 0 AND NOT attisdropped AND attname = ANY(string_to_array(:cols, ','))",
                   &kRep);
  bool open = rc == 0;
  if (rc == 0)
    rc = druobnd(st, &c, ":tab", t.data(), static_cast<int32_t>(t.size() + 1), DRUO_STRING,
                 nullptr, nullptr, &kRep);
  if (rc == 0)
    rc = druobnd(st, &c, ":cols", cols.data(), static_cast<int32_t>(cols.size() + 1), DRUO_STRING,
                 nullptr, nullptr, &kRep);
  if (rc == 0) rc = druodef(st, &c, 1, &have, sizeof have, DRUO_INTEGER, nullptr, nullptr, &kRep);
  if (rc == 0) rc = druoexf(st, &c, 1, &kRep);
  if (open) druocls(&c);
  if (rc == 0 && have != want) rc = DRUO_NOCOLUMN;
  return rc;
}

/* Appends a literal of text to sql. */
void literal(std::string &sql, const char *text) {
  std::string q(std::strlen(text) * 2 + 3, '\0');
  druoquo(q.data(), q.size(), text, '\'');
  sql += q.c_str();
}

/* Adds the buffered rows to the insert of literals gathered for a write
 * through the fence, and sends it once it is large; 0 / 1. */
int literalrows(drrcwr *w) {
  std::string &sql = pending(w).rows;
  bool first = sql.empty();
  if (first) {
    sql = "insert into " + std::string(w->table) + " (textkey";
    for (int32_t n = 2; n <= w->nkeys; ++n) sql += ", textkey" + std::to_string(n);
    sql += w->variant == 0 ? ", score)" : w->variant == 1 ? ", score, conid)" : ", score, conid, curid)";
    sql += " values ";
  }
  for (int32_t r = 0; r < w->rows; ++r) {
    sql += first && r == 0 ? "(" : ", (";
    for (int32_t n = 0; n < w->nkeys; ++n) {
      literal(sql, w->keys[n][r]);
      sql += ", ";
    }
    sql += std::to_string(w->score[r]);
    if (w->variant >= 1) sql += ", " + std::to_string(w->conid[r]);
    if (w->variant == 2) sql += ", " + std::to_string(w->curid[r]);
    sql += ")";
  }
  return flush(w, false);
}

/* Sends the buffered rows and commits; 0, or 1 after 50850 and 10002
 * (the rows stay buffered). */
int send(drrcwr *w) {
  if (w->rows == 0) return 0;
  if (w->user ? literalrows(w) != 0
              : druoexn(w->st, &w->cur, static_cast<uint32_t>(w->rows), &kRep) != 0 ||
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
  if (w->user) {
    /* A table the user made: cleared and filled as he, one statement of
     * literals a batch. */
    int rc = columns(w, table, variant, k);
    if (rc != 0) return openfail(w, table, rc);
    std::string sql = shr == 0   ? "truncate table " + std::string(table)
                      : shr <= 2 ? "delete from " + std::string(table) +
                                       " where conid = " + std::to_string(conid)
                                 : std::string();
    if (shr == 2) sql += " and curid = " + std::to_string(curid);
    // The table is cleared with the first rows, or at the end: a command
    // that fails before leaves the user's rows as they were.
    pending(w).clear = sql;
  } else if (shr == 0) {
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
  w->variant = variant;
  w->table = table;
  for (int32_t &c : w->conid) c = conid;
  for (int32_t &c : w->curid) c = curid;
  w->rows = 0;
  if (w->user) return 0;
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
    rc = druobnd(st, &w->cur, ":conid", w->conid, 4, DRUO_INTEGER, nullptr, nullptr, &kRep);
  }
  if (rc == 0 && variant == 2) {
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

int drrcfinish(drobj *o) {
  drrcwr *w = wrof(o);
  if (send(w) != 0) return 1;
  if (w->user && flush(w, true) != 0) {
    dracnerr(w->st, DRFAC_DRG, DRR_ESEND, 2, 0);
    druetrc();
    return 1;
  }
  return 0;
}

int drrcclose(drobj *o, int32_t how) {
  drrcwr *w = wrof(o);
  if (how != 2) return 0;
  if (w->opened) druocls(&w->cur);
  w->opened = 0;
  w->rows = 0;
  if (w->pend) *static_cast<Pending *>(w->pend) = Pending{};
  return 0;
}

int drrcdestroy(drobj *o) {
  drrcwr *w = wrof(o);
  drrcclose(o, 2);
  drsrvstate *st = w->st;
  drheap heap = w->heap;
  // A writer given up on leaves nothing of the user's on the fence.
  if (reset(w) != 0) druetrc();
  delete static_cast<Pending *>(w->pend);
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

void drrcusr(drobj *o, const char *user) { wrof(o)->user = user; }

drobj *drrcnew(drsrvstate *s, drheap heap) {
  drrcwr *w = drobjnew<drrcwr>(s, heap, kTpl);
  if (!w) return nullptr;
  w->batch = DRR_BATCH;
  w->nkeys = 1;
  return &w->hd.obj;
}
