// The id-list store: reservations through the database side's procedure,
// release, retire and purge of this session's rows, deleted-id lists
// written as packed decimal text, and the two readers that hand the ids of
// range and list rows out in pieces.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "dr/dras/dras.h"
#include "dr/drd/drd.h"
#include "dr/dreb/dreb.h"
#include "dr/dru/drud.h"
#include "dr/dru/drue.h"

namespace {

int drebptabs(drobj *o, int32_t action);
int drebpfree(drobj *o);
int drebpclose(drobj *o, int32_t kind);
int drebpalloc(drobj *o, int32_t count, int32_t *first);
int drebprelease(drobj *o);
int drebpretire(drobj *o);
int drebpputdel(drobj *o, int32_t count, const int32_t *ids);
int drebpgetdel(drobj *o, int32_t max, int32_t *count, int32_t *ids);
int drebpgetres(drobj *o, int32_t max, int32_t *count, int32_t *ids);
int drebppurge(drobj *o);
int drebphasres(drobj *o, int32_t *flag);
int drebpmaxid(drobj *o, int32_t *id);
int drebptake(drobj *o);

const drobjhd<drilsops> kTpl = {{0, 0, nullptr},
                                {.tabs = drebptabs,
                                 .free = drebpfree,
                                 .close = drebpclose,
                                 .alloc = drebpalloc,
                                 .release = drebprelease,
                                 .retire = drebpretire,
                                 .putdel = drebpputdel,
                                 .getdel = drebpgetdel,
                                 .getres = drebpgetres,
                                 .purge = drebppurge,
                                 .hasres = drebphasres,
                                 .maxid = drebpmaxid,
                                 .take = drebptake}};

// How the store's statements report: statements and fetches as 50853,
// the execution of a query as 50851.
const druorep kStm = {DRUE_OPEN, DRUE_PARSE, DRUE_BIND, DRUE_DEFINE, 50853, 50853, DRUE_CLOSE, 2, 2};
const druorep kQry = {DRUE_OPEN, DRUE_PARSE, DRUE_BIND, DRUE_DEFINE, 50851, 50853, DRUE_CLOSE, 2, 2};

// Texts of the statements; %s is the list table.
constexpr char kAlloc[] =
    "CALL dr_lst.alloc(:tab, :size_required, :sid, :actual, :allocated_list, :contiguous_list)";
constexpr char kRelease[] = "delete from %s where sid = :sid and ltype = 'R'";
constexpr char kRetire[] = "update %s set sid = null, ltype = 'D' where sid = :sid and ltype = 'R'";
constexpr char kPutdel[] =
    "insert into %s (sid, ltype, contiguous, idcount, data) values (0, 'D', 0, :idcount, :listdata)";
// The readers' rows: %s the list table, then the rows' condition.
constexpr char kGetlist[] =
    "select idcount, contiguous, data from %s where %s order by split_part(data, ',', 1)::bigint";
constexpr char kReserved[] = "ltype = 'R'";
// Deleted rows are read and purged only once an optimisation took them, so
// that an id deleted while it runs is neither read by some of its servers
// and not others, nor purged before any of them read it.
constexpr char kTaken[] = "ltype = 'D' and sid = -1";
constexpr char kPurge[] = "delete from %s where ltype = 'D' and sid = -1";
constexpr char kTake[] = "update %s set sid = -1 where ltype = 'D' and sid is distinct from -1";
constexpr char kHasres[] = "select 1 where exists (select null from %s where ltype = 'R')";
// The lowest reserved or free id, compared as a number: compared as text,
// '1005' would come before '995' and the answer would pass reserved ids.
constexpr char kMaxid[] = "select min(data::bigint) - 1 from %s where ltype in ('R', 'F')";
constexpr char kFree[] =
    "insert into %s (ltype, contiguous, idcount, data) values ('F', 1, 4000000000, '1')";

drebpstore *store(drobj *o) { return reinterpret_cast<drebpstore *>(o); }

int internal(drsrvstate *st, int num, int line, int32_t a = 0) {
  dracnierr(st, DRFAC_DRG, num, 2, DRA_STR, __FILE__, DRA_INT, line, DRA_SB4, &a, DRA_END);
  druetrc();
  return 1;
}

// Parses a statement on first use: the text with the list table (and a
// condition) in place of its %s.
int prepare(drebpstore *p, druocur **cur, const char *fmt, const char *cond = nullptr) {
  if (*cur) return 0;
  char text[1024];
  int n = cond ? drasmfmt(p->st->fmt, text, sizeof text, fmt, DRA_STR, p->lst, DRA_STR, cond,
                          DRA_END)
               : drasmfmt(p->st->fmt, text, sizeof text, fmt, DRA_STR, p->lst, DRA_END);
  if (n < 0) return internal(p->st, 50600, __LINE__, n);
  if (druoprs(p->st, p->heap, text, cur) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

void shut(drebpstore *p, druocur **cur) { druofre(p->st, p->heap, cur); }

// Runs a statement that changes this session's rows, then commits; a failed
// commit returns 1 and pushes nothing.
int runsid(drebpstore *p, druocur **cur, const char *fmt) {
  if (prepare(p, cur, fmt) != 0) return 1;
  if (druobnd(p->st, *cur, ":sid", &p->st->audsid, sizeof p->st->audsid, DRUO_INTEGER, nullptr,
              nullptr, &kStm) != 0 ||
      druoexe(p->st, *cur, &kStm) != 0) {
    druetrc();
    return 1;
  }
  if (druocmt(p->st, &druorepq) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

// Hands out up to room ids of the reader's current row into ids; the number
// given, or -1 after pushing when a list row is malformed.
int32_t nextids(drebpstore *p, drebprdr *r, int32_t room, int32_t *ids) {
  if (r->consumed || room <= 0) return 0;
  int32_t given = 0;
  if (r->contiguous == 1) {
    if (r->next == 0) {
      char *end = nullptr;
      r->first = std::strtoll(r->data, &end, 10);
      if (end == r->data || r->first < 1 || r->first + r->idcount - 1 > INT32_MAX)
        return internal(p->st, 50600, __LINE__), -1;
      r->next = r->first;
      r->last = r->first + r->idcount - 1;
    }
    while (given < room && r->next <= r->last) ids[given++] = static_cast<int32_t>(r->next++);
    if (r->next > r->last) {
      r->next = 0;
      r->consumed = 1;
    }
    return given;
  }
  size_t len = std::strlen(r->data);
  while (given < room && static_cast<size_t>(r->off) < len) {
    const char *at = r->data + r->off;
    char *end = nullptr;
    long long v = std::strtoll(at, &end, 10);
    // Each id is a decimal number followed by a comma.
    if (end == at || *end != ',' || v < 1 || v > INT32_MAX)
      return internal(p->st, 50600, __LINE__, r->off), -1;
    ids[given++] = static_cast<int32_t>(v);
    r->off = static_cast<int32_t>(end + 1 - r->data);
  }
  if (static_cast<size_t>(r->off) >= len) {
    r->consumed = 1;
    r->off = 0;
  }
  return given;
}

// The shared body of getdel and getres.
int getlist(drebpstore *p, drebprdr *r, const char *cond, int32_t max, int32_t *count,
            int32_t *ids) {
  *count = 0;
  if (!r->cur) {
    if (prepare(p, &r->cur, kGetlist, cond) != 0) return 1;
    if (druodef(p->st, r->cur, 1, &r->idcount, sizeof r->idcount, DRUO_INTEGER, nullptr, nullptr,
                &kQry) != 0 ||
        druodef(p->st, r->cur, 2, &r->contiguous, sizeof r->contiguous, DRUO_INTEGER, nullptr,
                nullptr, &kQry) != 0 ||
        druodef(p->st, r->cur, 3, r->data, sizeof r->data, DRUO_STRING, nullptr, nullptr,
                &kQry) != 0) {
      shut(p, &r->cur);
      druetrc();
      return 1;
    }
    r->needexec = 1;
  }
  if (r->needexec) {
    if (druoexe(p->st, r->cur, &kQry) != 0) {
      druetrc();
      return 1;
    }
    r->needexec = 0;
    r->consumed = 1;
    r->next = 0;
    r->off = 0;
  }
  int32_t n = 0;
  for (;;) {
    int32_t got = nextids(p, r, max - n, ids + n);
    if (got < 0) return 1;
    n += got;
    *count = n;
    if (n >= max) return 0;
    int rc = druofet(p->st, r->cur, 1, &kStm);
    if (rc == DRUO_NODATA) {
      r->needexec = 1;
      return 2;
    }
    if (rc != 0) {
      druetrc();
      return 1;
    }
    r->consumed = 0;
    r->next = 0;
    r->off = 0;
  }
}

// A one-value query: executes and fetches one integer.
int one(drebpstore *p, druocur **cur, const char *fmt, int64_t *v, uint32_t *rows) {
  if (prepare(p, cur, fmt) != 0) return 1;
  if (druodef(p->st, *cur, 1, v, sizeof *v, DRUO_INTEGER, nullptr, nullptr, &kQry) != 0) {
    druetrc();
    return 1;
  }
  int rc = druoexf(p->st, *cur, 1, &kQry);
  if (rc != 0 && rc != DRUO_NODATA) {
    druetrc();
    return 1;
  }
  *rows = druorows(*cur);
  return 0;
}

int drebptabs(drobj *o, int32_t action) {
  drebpstore *p = store(o);
  drsrvstate *st = p->st;
  const char *ts = nullptr, *sto = nullptr, *ext = nullptr;
  switch (action) {
    case 0: {
      if (p->attrs) {
        drdpval(p->attrs, nullptr, 21, nullptr, &ts);
        drdpval(p->attrs, nullptr, 22, nullptr, &sto);
        drdpval(p->attrs, nullptr, 23, nullptr, &ext);
      }
      drudcol cols[] = {{"bigint", "sid", DRUO_INTEGER},
                        {"bigint", "idcount", DRUO_INTEGER},
                        {"varchar(2)", "ltype", DRUO_STRING},
                        {"smallint", "contiguous", DRUO_INTEGER},
                        {"varchar(1024)", "data", DRUO_STRING},
                        {nullptr, nullptr, 0}};
      drudtab t{p->lst, ts, sto, ext, cols, 0};
      char text[512], ins[256];
      if (drudcrtab(st, &t, text, sizeof text, 1) != 0) break;
      if (drasmfmt(st->fmt, ins, sizeof ins, kFree, DRA_STR, p->lst, DRA_END) < 0) {
        internal(st, 50600, __LINE__);
        break;
      }
      if (drqsexe(st, ins) != 0) break;
      if (druocmt(st, &druorepq) != 0) break;
      return 0;
    }
    case 1: {
      if (p->attrs) {
        drdpval(p->attrs, nullptr, 18, nullptr, &ts);
        drdpval(p->attrs, nullptr, 19, nullptr, &sto);
        drdpval(p->attrs, nullptr, 20, nullptr, &ext);
      }
      static const char *const cols[] = {"ltype"};
      drudidx x{p->lix, 0, p->lst, cols, 1, ts, sto, ext};
      if (drudcridx(st, &x, 1) != 0) break;
      return 0;
    }
    case 2:
      if (druddroptab(st, p->lst) != 0) break;
      return 0;
    case 3:
      // The rows stay, so that ids handed out before are never handed out again.
      return 0;
    default:
      return internal(st, DREB_EACTION, __LINE__, action);
  }
  druetrc();
  return 1;
}

int drebpfree(drobj *o) {
  drebpstore *p = store(o);
  drebpclose(o, 3);
  void *blk = p;
  drumfre(p->st, p->st->hpmgr, p->heap, &blk);
  return 0;
}

int drebpclose(drobj *o, int32_t kind) {
  drebpstore *p = store(o);
  if (kind == 0 || kind == 1 || kind == 3) {
    for (druocur **c : {&p->calloc, &p->crel, &p->cret, &p->cput, &p->chas, &p->cmax, &p->ctake}) shut(p, c);
  }
  if (kind == 1 || kind == 3) {
    shut(p, &p->del.cur);
    p->del.needexec = 1;
    shut(p, &p->cpur);
  }
  if (kind == 2 || kind == 3) {
    shut(p, &p->res.cur);
    p->res.needexec = 1;
  }
  return 0;
}

int drebpalloc(drobj *o, int32_t count, int32_t *first) {
  drebpstore *p = store(o);
  drsrvstate *st = p->st;
  if (count < 0) return internal(st, 50600, __LINE__, count);
  if (!p->calloc) {
    if (druoprs(st, p->heap, kAlloc, &p->calloc) != 0) {
      druetrc();
      return 1;
    }
  }
  int32_t size = count, actual = 0, contig = 0;
  char list[1025] = "";
  if (druobnd(st, p->calloc, ":tab", p->lst, sizeof p->lst, DRUO_STRING, nullptr, nullptr, &kStm) ||
      druobnd(st, p->calloc, ":size_required", &size, sizeof size, DRUO_INTEGER, nullptr, nullptr,
              &kStm) ||
      druobnd(st, p->calloc, ":sid", &st->audsid, sizeof st->audsid, DRUO_INTEGER, nullptr,
              nullptr, &kStm) ||
      druobnd(st, p->calloc, ":actual", &actual, sizeof actual, DRUO_INTEGER, nullptr, nullptr,
              &kStm) ||
      druobnd(st, p->calloc, ":allocated_list", list, sizeof list, DRUO_STRING, nullptr, nullptr,
              &kStm) ||
      druobnd(st, p->calloc, ":contiguous_list", &contig, sizeof contig, DRUO_INTEGER, nullptr,
              nullptr, &kStm)) {
    shut(p, &p->calloc);
    druetrc();
    return 1;
  }
  if (druoexe(st, p->calloc, &kStm) != 0) {
    druetrc();
    return 1;
  }
  // The commit ends the free row's lock; the reservation is then final.
  if (druocmt(st, &druorepq) != 0) {
    druetrc();
    return 1;
  }
  if (contig == 1) {
    char *end = nullptr;
    long long v = std::strtoll(list, &end, 10);
    if (end == list || v < 1 || v > INT32_MAX) return internal(st, 50600, __LINE__);
    *first = static_cast<int32_t>(v);
  }
  return 0;
}

int drebprelease(drobj *o) {
  drebpstore *p = store(o);
  return runsid(p, &p->crel, kRelease);
}

int drebpretire(drobj *o) {
  drebpstore *p = store(o);
  return runsid(p, &p->cret, kRetire);
}

int drebpputdel(drobj *o, int32_t count, const int32_t *ids) {
  drebpstore *p = store(o);
  drsrvstate *st = p->st;
  if (count <= 0) return 0;
  if (prepare(p, &p->cput, kPutdel) != 0) return 1;
  int32_t idcount = count;
  char data[1024];
  if (druobnd(st, p->cput, ":idcount", &idcount, sizeof idcount, DRUO_INTEGER, nullptr, nullptr,
              &kStm) ||
      druobnd(st, p->cput, ":listdata", data, sizeof data, DRUO_STRING, nullptr, nullptr, &kStm)) {
    shut(p, &p->cput);
    druetrc();
    return 1;
  }
  // Ids go into the text while it stays below 1024 characters; the one that
  // does not fit opens the next row.
  size_t len = 0;
  for (int32_t i = 0; i <= count; ++i) {
    char one[16];
    int n = i < count ? std::snprintf(one, sizeof one, "%d,", ids[i]) : 0;
    if (i == count || len + static_cast<size_t>(n) > sizeof data - 1) {
      data[len] = '\0';
      if (druoexe(st, p->cput, &kStm) != 0) {
        druetrc();
        return 1;
      }
      len = 0;
    }
    if (i < count) {
      std::memcpy(data + len, one, static_cast<size_t>(n));
      len += static_cast<size_t>(n);
    }
  }
  return 0;
}

int drebpgetdel(drobj *o, int32_t max, int32_t *count, int32_t *ids) {
  drebpstore *p = store(o);
  return getlist(p, &p->del, kTaken, max, count, ids);
}

int drebpgetres(drobj *o, int32_t max, int32_t *count, int32_t *ids) {
  drebpstore *p = store(o);
  return getlist(p, &p->res, kReserved, max, count, ids);
}

int drebppurge(drobj *o) {
  drebpstore *p = store(o);
  if (prepare(p, &p->cpur, kPurge) != 0 || druoexe(p->st, p->cpur, &kStm) != 0 ||
      druocmt(p->st, &druorepq) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drebptake(drobj *o) {
  drebpstore *p = store(o);
  if (prepare(p, &p->ctake, kTake) != 0 || druoexe(p->st, p->ctake, &kStm) != 0 ||
      druocmt(p->st, &druorepq) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drebphasres(drobj *o, int32_t *flag) {
  drebpstore *p = store(o);
  int64_t v = 0;
  uint32_t rows = 0;
  if (one(p, &p->chas, kHasres, &v, &rows) != 0) return 1;
  *flag = rows ? 1 : 0;
  return 0;
}

int drebpmaxid(drobj *o, int32_t *id) {
  drebpstore *p = store(o);
  int64_t v = 0;
  uint32_t rows = 0;
  if (one(p, &p->cmax, kMaxid, &v, &rows) != 0) return 1;
  if (rows != 1 || v < 0 || v > INT32_MAX) return internal(p->st, 50600, __LINE__);
  *id = static_cast<int32_t>(v);
  return 0;
}

}  // namespace

drobj *drebpnew(drsrvstate *st, drheap heap, int32_t polid, drdplist *attrs) {
  auto *p = drobjnew<drebpstore>(st, heap, kTpl);
  if (!p) return nullptr;
  p->attrs = attrs;
  p->res.consumed = p->res.needexec = 1;
  p->del.consumed = p->del.needexec = 1;
  if (drdcnam(st, polid, "LST", p->lst, sizeof p->lst) != 0 ||
      drdcnam(st, polid, "LIX", p->lix, sizeof p->lix) != 0) {
    void *blk = p;
    drumfre(st, st->hpmgr, heap, &blk);
    druetrc();
    return nullptr;
  }
  return &p->hd.obj;
}
