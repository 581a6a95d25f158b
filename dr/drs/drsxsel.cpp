// The batch statements of the row reader: the SELECT of each start mode over
// the base table or the queue of changed rows, its binds and defines, and
// the statement that counts the batch. Every name in them was checked as a
// plain identifier when the record was built; every value is bound.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "dr/drd/drd.h"
#include "dr/drs/drsx.h"
#include "dr/dru/drue.h"
#include "platform/nls/nls.h"

namespace {

const druorep kQuiet = druorepq;

// Statement texts: %(1)s table, %(2)s key column list, %(3)s text
// expression, %(4)s line column, %(5)s key predicate, %(6)s order, %(7)s
// slice, %(8)s resume conditions, %(9)s queue join, %(10)s composite
// in-list, %(11)s the key column's type, %(12)s the key list binds.
constexpr char kPopulate[] =
    "select %(2)s, 'I', %(3)s%(4)s from %(1)s BASE where %(7)s and (%(5)s) %(8)s order by %(6)s";
// The queued key texts are cast to the key column's type, so that its index
// serves the lookup.
constexpr char kDmlOne[] =
    "select %(2)s, 'I', %(3)s%(4)s from %(1)s BASE where %(2)s in (select cast(PKEY as %(11)s)"
    " from DRQ_INPROG where SID = :sid) and (%(5)s) order by %(6)s";
// Only this session's queued keys, each base row once however often its
// key was queued.
constexpr char kDmlMany[] =
    "select %(2)s, 'I', %(3)s%(4)s from %(1)s BASE where exists (select 1 from DRQ_INPROG DML"
    " where DML.SID = :sid and %(9)s) and (%(5)s) order by %(6)s";
constexpr char kDelete[] =
    "select DML.PKEY, 'D', NULL, NULL from DRQ_INPROG DML where DML.SID = :sid"
    " and (DML.PKEY > :lp1 or :lp1 is null) order by %(6)s";
constexpr char kKeysOne[] =
    "select %(2)s, 'I', %(3)s%(4)s from %(1)s BASE where %(2)s in (%(12)s) and (%(5)s)"
    " order by %(6)s";
constexpr char kKeysMany[] =
    "select %(2)s, 'I', %(3)s%(4)s from %(1)s BASE where %(10)s and (%(5)s) order by %(6)s";

// Slices: a numeric key by the whole part of its absolute value, so that
// negative and fractional keys land in exactly one slice; a character key by
// the product of the codes of its first two characters, the second counting
// 1 when there is none.
constexpr char kSliceNum[] = "mod(trunc(abs(cast(%(1)s as numeric))), :p) = :q - 1";
constexpr char kSliceChar[] =
    "mod(cast(ascii(substr(cast(%(1)s as text), 1, 1)) as bigint)"
    " * coalesce(nullif(ascii(substr(cast(%(1)s as text), 2, 1)), 0), 1), :p) = :q - 1";

// Counts: %(1)s table, %(2)s key column list, %(5)s slice, %(6)s resume
// conditions, %(7)s first key column.
constexpr char kCountOne[] =
    "select count(%(2)s) from %(1)s where %(5)s and %(2)s >= (select min(%(2)s) from %(1)s) %(6)s";
constexpr char kCountOneDet[] =
    "select count(distinct %(2)s) from %(1)s where %(5)s and %(2)s >= (select min(%(2)s) from"
    " %(1)s) %(6)s";
constexpr char kCountMany[] =
    "select count(*) from %(1)s where %(5)s and %(7)s >= (select min(%(7)s) from %(1)s) %(6)s";
constexpr char kCountManyDet[] =
    "select count(*) from (select 1 from %(1)s where %(5)s and %(7)s >= (select min(%(7)s) from"
    " %(1)s) %(6)s group by %(2)s) grp";
constexpr char kCountDml[] = "select count(*) from DRQ_INPROG where DRQ_INPROG.SID = :sid";

// The type of a key column as the catalog names it.
constexpr char kKeyType[] =
    "select format_type(a.atttypid, null) from pg_attribute a where a.attrelid ="
    " cast(:tab as regclass) and a.attname = lower(:col) and a.attnum > 0 and not a.attisdropped";

// A zero-filled block of the record's heap; null after the heap manager's
// 10900.
char *heapbuf(drsxstate *x, size_t size) {
  return static_cast<char *>(drumalc(x->st, x->st->hpmgr, x->heap, 1, size, __FILE__, __LINE__));
}

// A block of the record's heap, released when the holder goes.
struct scratch {
  drsxstate *x;
  char *p = nullptr;
  explicit scratch(drsxstate *r) : x(r) {}
  ~scratch() {
    if (!p) return;
    void *blk = p;
    drumfre(x->st, x->st->hpmgr, x->heap, &blk);
  }
  char *take(size_t size) { return p = heapbuf(x, size); }
};

// Binds a name quietly; a code in the tolerated set counts as success, any
// other is reported as a failed bind.
int bindname(drsxstate *x, druocur *cur, const char *name, void *buf, int32_t size, int type,
             bool tolerate) {
  int rc = druobnd(x->st, cur, name, buf, size, type, nullptr, nullptr, &kQuiet);
  if (rc == 0 || (tolerate && rc == DRUO_BADNAME)) return 0;
  druoerr(x->st, rc, DRUE_BIND, 2);
  return 1;
}

// The key columns' types, read from the catalog: the queue's key texts are
// cast to them.
int keytypes(drsxstate *x) {
  drsrvstate *st = x->st;
  druocur cur{};
  char col[DRSX_KEYNAME];
  char type[DRSX_TYPENAME];
  uint16_t cut = 0;
  int rc = druoprp(st, &cur, DRUO_WORK, kKeyType);
  if (rc != 0) {
    druetrc();
    return 1;
  }
  rc = druobnd(st, &cur, ":tab", x->table, sizeof x->table, DRUO_STRING);
  if (rc == 0) rc = druobnd(st, &cur, ":col", col, sizeof col, DRUO_STRING);
  if (rc == 0) rc = druodfc(st, &cur, 1, type, sizeof type, DRUO_STRING, nullptr, nullptr, &cut);
  for (int k = 0; rc == 0 && k < x->nkeys; ++k) {
    std::strcpy(col, x->keynames[k]);
    type[0] = '\0';
    rc = druoexf(st, &cur, 1);
    if (rc == DRUO_NODATA) rc = 0;
    // A type the catalog does not give, or one that would not read as a
    // type name, leaves the queue's text as it is.
    bool plain = type[0] != '\0' && cut == 0;
    for (const char *p = type; *p; ++p)
      plain = plain && (std::isalnum(static_cast<unsigned char>(*p)) || std::strchr(" _.\"[]", *p));
    std::strcpy(x->keytypes[k], plain ? type : "text");
  }
  druoend(st, &cur);
  if (rc != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

// Whether the text expression gives bytes (bytea) rather than characters,
// from the database's description of it; 0 or 1.
int texttype(drsxstate *x) {
  drsrvstate *st = x->st;
  char sql[sizeof x->textexpr + sizeof x->table + 64];
  int32_t len = 0;
  if (drsxapp(x, sql, sizeof sql, &len, "select %(1)s from %(2)s BASE where false", DRA_STR,
              x->textexpr, DRA_STR, x->table, 0) != 0)
    return 1;
  druocur cur{};
  if (druoprp(st, &cur, DRUO_WORK, sql) != 0) {
    druetrc();
    return 1;
  }
  int16_t type = 0;
  int32_t dsize = 0;
  int rc = druodsc(st, &cur, 1, &dsize, &type, nullptr, nullptr);
  druoend(st, &cur);
  if (rc != 0) {
    druetrc();
    return 1;
  }
  x->textbytes = type == DRUO_RAW || type == DRUO_LONGRAW;
  const nlscs *cs = dracncs(st);
  x->tconv = !x->textbytes && cs->id != NLS_UTF8 && cs->id != NLS_AL32UTF8;
  return 0;
}

}  // namespace

int drsxdmlkey(drsxstate *x, char **out) {
  *out = nullptr;
  size_t size = static_cast<size_t>(x->nkeys) * (DRSX_KEYNAME + DRSX_TYPENAME + 80);
  char *buf = heapbuf(x, size);
  if (!buf) {
    druetrc();
    return 1;
  }
  int32_t len = 0;
  int bad = 0;
  for (int k = 0; !bad && k < x->nkeys; ++k)
    bad = drsxapp(x, buf, size, &len, "%(1)sBASE.%(2)s = cast(dmlq.get_textkey(DML.PKEY, %(3)s) as %(4)s)",
                  DRA_STR, k ? " and " : "", DRA_STR, x->keynames[k], DRA_INT, k + 1, DRA_STR,
                  x->keytypes[k], 0);
  *out = buf;
  return bad;
}

int drsxinlist(drsxstate *x, char **out) {
  *out = nullptr;
  int k = x->nkeys;
  x->inlsize = k == 2 ? 25 : k == 3 ? 15 : 4;
  size_t row = 8;
  for (int c = 0; c < k; ++c) row += std::strlen(x->keynames[c]) + 16;
  size_t size = row * static_cast<size_t>(x->inlsize) + 16;
  char *buf = heapbuf(x, size);
  if (!buf) {
    druetrc();
    return 1;
  }
  *out = buf;
  int32_t len = 0;
  int bad = drsxapp(x, buf, size, &len, " (", 0);
  int num = 0;
  for (int e = 0; !bad && e < x->inlsize; ++e) {
    for (int c = 0; !bad && c < k; ++c)
      bad = drsxapp(x, buf, size, &len, "%(1)s%(2)s=:x%(3)03d", DRA_STR, c ? " and " : "(",
                    DRA_STR, x->keynames[c], DRA_INT, num++, 0);
    if (!bad) bad = drsxapp(x, buf, size, &len, e + 1 < x->inlsize ? ") or " : "))", 0);
  }
  return bad;
}

int drsxbind(drsxstate *x, druocur *cur) {
  drsrvstate *st = x->st;
  char name[16];
  // The last-key binds are in every batch statement but the counts; where
  // a statement lacks one, nothing is lost.
  for (int k = 0; k < x->nkeys; ++k) {
    drasmfmt(st->fmt, name, sizeof name, ":lp%(1)s", DRA_INT, k + 1, 0);
    (void)druobnd(st, cur, name, x->lastkey[k], DRDS_KEYSIZE, DRUO_STRING, nullptr, nullptr, &kQuiet);
  }
  if (x->kind == DRSX_DETAILKIND &&
      bindname(x, cur, ":last_lineno", x->lastline, DRDS_KEYSIZE, DRUO_STRING, true) != 0)
    return 1;
  if ((x->mode == DRSX_POPULATE || x->mode == DRSX_RESUME) &&
      (bindname(x, cur, ":p", &x->srvcnt, 4, DRUO_INTEGER, false) != 0 ||
       bindname(x, cur, ":q", &x->srvno, 4, DRUO_INTEGER, false) != 0))
    return 1;
  if ((x->mode == DRSX_DMLINDEX || x->mode == DRSX_DMLDELETE) &&
      bindname(x, cur, ":sid", &st->audsid, 4, DRUO_INTEGER, true) != 0)
    return 1;
  if (x->mode == DRSX_KEYLIST && x->keysgiven > 0) {
    int num = 0;
    int entries = x->nkeys == 1 ? DRSX_INLIST : x->inlsize;
    for (int e = 0; e < entries; ++e) {
      for (int c = 0; c < x->nkeys; ++c, ++num) {
        drasmfmt(st->fmt, name, sizeof name, ":x%(1)03d", DRA_INT, num, 0);
        int rc = x->nkeys == 1
                     ? bindname(x, cur, name, x->inlist[e], DRDS_KEYSIZE, DRUO_STRING, false)
                     : bindname(x, cur, name, x->cinlist[e][c], DRSX_CKEYVAL, DRUO_STRING, false);
        if (rc != 0) return 1;
      }
    }
  }
  return bindname(x, cur, ":cid", &x->polid, 4, DRUO_INTEGER, true);
}

int drsxgroup(drsxstate *x) {
  int32_t n = std::min(x->keysgiven - x->keysused, x->inlsize);
  if (n <= 0) return 0;
  if (!x->keylist) {
    druetrc();
    return 1;
  }
  char (*keys)[DRDS_KEYSIZE] = x->keylist + x->keysused;
  for (int32_t i = 0; i < n; ++i) {
    size_t len = strnlen(keys[i], DRDS_KEYSIZE);
    if (len >= DRDS_KEYSIZE) {
      dracnerr(x->st, DRFAC_DRG, 10720, 2, DRA_STR, x->table, DRA_INT,
               static_cast<int>(DRDS_KEYSIZE - 1), 0);
      druetrc();
      return 1;
    }
    if (x->nkeys == 1) {
      std::memcpy(x->inlist[i], keys[i], len + 1);
      continue;
    }
    int32_t cnt = 0;
    if (drsxkeysplit(x, keys[i], x->cinlist[i], &cnt) != 0 || cnt != x->nkeys) {
      druetrc();
      return 1;
    }
  }
  // The binds past the group repeat its last key: the statement keeps its
  // shape and finds nothing more.
  int32_t entries = x->nkeys == 1 ? DRSX_INLIST : x->inlsize;
  for (int32_t i = n; i < entries; ++i) {
    if (x->nkeys == 1) std::memcpy(x->inlist[i], x->inlist[n - 1], DRDS_KEYSIZE);
    else std::memcpy(x->cinlist[i], x->cinlist[n - 1], sizeof x->cinlist[i]);
  }
  x->keysused += n;
  return 0;
}

int drsxcnt(drsxstate *x, const char *slice, const char *resume) {
  drsrvstate *st = x->st;
  const char *form = kCountDml;
  if (x->mode != DRSX_DMLDELETE) {
    bool det = x->kind == DRSX_DETAILKIND;
    form = x->nkeys == 1 ? (det ? kCountOneDet : kCountOne) : (det ? kCountManyDet : kCountMany);
  }
  scratch sql(x);
  size_t size = std::strlen(resume) + std::strlen(slice) + 4 * sizeof x->keycols + 4 * sizeof x->table + 512;
  if (!sql.take(size)) {
    druetrc();
    return 1;
  }
  int32_t len = 0;
  if (drsxapp(x, sql.p, size, &len, form, DRA_STR, x->table, DRA_STR, x->keycols, DRA_STR, "",
              DRA_STR, "", DRA_STR, slice, DRA_STR, resume, DRA_STR, x->keynames[0], 0) != 0) {
    druetrc();
    return 1;
  }
  druocur cur{};
  int32_t count = 0;
  int rc = druoprp(st, &cur, DRUO_WORK, sql.p);
  if (rc != 0) {
    druetrc();
    return 1;
  }
  rc = drsxbind(x, &cur);
  if (rc == 0) rc = druodef(st, &cur, 1, &count, 4, DRUO_INTEGER);
  if (rc == 0) rc = druoexf(st, &cur, 1);
  druoend(st, &cur);
  if (rc != 0 && rc != DRUO_NODATA) {
    druetrc();
    return 1;
  }
  x->doccnt = count;
  return 0;
}

namespace {

// Composes, parses, defines and binds the statement of the batch; 0 or 1.
int compose(drsxstate *x, int32_t mode, char (*keys)[DRDS_KEYSIZE], int32_t nkeys) {
  drsrvstate *st = x->st;
  drsxrowset &rs = x->rs;
  int K = x->nkeys;
  scratch resume(x), inlist(x), qjoin(x), pred(x), sql(x);
  if (mode == DRSX_RESUME && drsxrestart(x, &resume.p) != 0) return 1;
  x->inlsize = DRSX_INLIST;
  if (mode == DRSX_KEYLIST && K >= 2 && drsxinlist(x, &inlist.p) != 0) return 1;
  if (mode == DRSX_DMLINDEX && keytypes(x) != 0) return 1;
  if (mode == DRSX_DMLINDEX && K >= 2 && drsxdmlkey(x, &qjoin.p) != 0) return 1;
  // The batch fetches at most one byte more than a row's text area holds,
  // so that a cut shows, and the rest of a long text is read whole later.
  char texpr[2 * sizeof x->textexpr + 128];
  texpr[0] = '\0';
  if (mode != DRSX_DMLDELETE) {
    if (texttype(x) != 0) return 1;
    if (x->textopen) druoend(st, &x->textcur);
    x->textopen = 0;
    int32_t tl = 0;
    if (drsxapp(x, texpr, sizeof texpr, &tl,
                x->textbytes ? "substring(%(1)s from 1 for %(2)s)"
                : x->tconv   ? "substring(convert_to(cast(%(1)s as text), 'UTF8') from 1 for %(2)s)"
                             // characters, not bytes: the area's limit cuts
                             // what more than it holds
                             : "substring(cast(%(1)s as text) from 1 for %(2)s)",
                DRA_STR, x->textexpr, DRA_INT, static_cast<int>(rs.textsize) + 1, 0) != 0)
      return 1;
  }

  x->keysused = 0;
  x->keylist = keys;
  x->keysgiven = nkeys;
  rs.end = 0;
  rs.longend = 0;
  rs.pending = 0;
  rs.rows = 0;
  rs.cur = -1;
  x->failed = 0;

  char slice[sizeof kSliceChar + 4 * DRSX_KEYNAME];
  int32_t slen = 0;
  const char *skey = K == 1 ? x->keycols : x->keynames[0];
  if (drsxapp(x, slice, sizeof slice, &slen, x->keytype == 2 ? kSliceNum : kSliceChar, DRA_STR,
              skey, 0) != 0)
    return 1;

  const char *rtext = resume.p ? resume.p : "";
  if (mode == DRSX_KEYLIST) x->doccnt = nkeys;
  else if (mode != DRSX_DMLINDEX && drsxcnt(x, slice, rtext) != 0) return 1;
  // A key list without keys is an empty batch: nothing to execute.
  if (mode == DRSX_KEYLIST && nkeys <= 0) {
    rs.end = 1;
    return 0;
  }

  if (!x->rowopen) {
    if (druoopc(st, &x->rowcur, DRUO_WORK) != 0) return 1;
    x->rowopen = 1;
  }
  std::memset(x->lastkey, 0, sizeof x->lastkey);
  x->lastline[0] = '\0';

  bool det = x->kind == DRSX_DETAILKIND;
  char order[8 * DRSX_MAXKEYS + 16];
  int32_t olen = 0;
  int bad = drsxapp(x, order, sizeof order, &olen, "1", 0);
  for (int k = 2; !bad && k <= K; ++k) bad = drsxapp(x, order, sizeof order, &olen, ",%(1)s", DRA_INT, k, 0);
  if (!bad && det) bad = drsxapp(x, order, sizeof order, &olen, ",%(1)s", DRA_INT, K + 3, 0);
  // After the line column, the size of the whole text, so that a document
  // above the size limit is refused before any of it is read.
  char line[DRSX_KEYNAME + sizeof x->textexpr + 64] = "";
  int32_t llen = 0;
  if (!bad && det) bad = drsxapp(x, line, sizeof line, &llen, ", %(1)s", DRA_STR, x->lncol, 0);
  if (!bad && mode != DRSX_DMLDELETE)
    bad = drsxapp(x, line, sizeof line, &llen,
                  x->textbytes ? ", octet_length(%(1)s)" : ", octet_length(cast(%(1)s as text))",
                  DRA_STR, x->textexpr, 0);

  // The rows after the last key handed out, in key order; every bind empty
  // admits every row. A parameter's first use fixes its type, so each
  // comparison comes before its null test.
  size_t psize = static_cast<size_t>(K + 1) * static_cast<size_t>(K + 1) * (DRSX_KEYNAME + 40) + 256;
  if (!bad && !pred.take(psize)) return 1;
  int32_t plen = 0;
  if (!bad)
    bad = drsxapp(x, pred.p, psize, &plen, "BASE.%(1)s > :lp1 or :lp1 is null", DRA_STR,
                  x->keynames[0], 0);
  for (int i = 1; !bad && i < K; ++i) {
    for (int j = 0; !bad && j <= i; ++j)
      bad = drsxapp(x, pred.p, psize, &plen, "%(1)sBASE.%(2)s %(3)s :lp%(4)s%(5)s", DRA_STR,
                    j ? " and " : " or (", DRA_STR, x->keynames[j], DRA_STR, j < i ? "=" : ">",
                    DRA_INT, j + 1, DRA_STR, j < i ? "" : ")", 0);
  }
  if (!bad && det) {
    for (int j = 0; !bad && j < K; ++j)
      bad = drsxapp(x, pred.p, psize, &plen, "%(1)sBASE.%(2)s = :lp%(3)s", DRA_STR,
                    j ? " and " : " or (", DRA_STR, x->keynames[j], DRA_INT, j + 1, 0);
    if (!bad)
      bad = drsxapp(x, pred.p, psize, &plen, " and BASE.%(1)s > :last_lineno)", DRA_STR, x->lncol, 0);
  }
  char xbinds[DRSX_INLIST * 7 + 8];
  int32_t xlen = 0;
  for (int i = 0; !bad && i < DRSX_INLIST; ++i)
    bad = drsxapp(x, xbinds, sizeof xbinds, &xlen, "%(1)s:x%(2)03d", DRA_STR, i ? "," : "", DRA_INT, i, 0);
  if (bad) return 1;

  const char *form = kPopulate;
  if (mode == DRSX_DMLINDEX) form = K == 1 ? kDmlOne : kDmlMany;
  else if (mode == DRSX_DMLDELETE) form = kDelete;
  else if (mode == DRSX_KEYLIST) form = K == 1 ? kKeysOne : kKeysMany;
  size_t size = std::strlen(rtext) + (qjoin.p ? std::strlen(qjoin.p) : 0) +
                (inlist.p ? std::strlen(inlist.p) : 0) + psize + sizeof xbinds +
                2 * sizeof x->keycols + sizeof texpr + sizeof line + sizeof x->table + 1024;
  if (!sql.take(size)) return 1;
  int32_t len = 0;
  if (drsxapp(x, sql.p, size, &len, form, DRA_STR, x->table, DRA_STR, x->keycols, DRA_STR,
              texpr, DRA_STR, line, DRA_STR, pred.p, DRA_STR, order, DRA_STR, slice, DRA_STR,
              rtext, DRA_STR, qjoin.p ? qjoin.p : "", DRA_STR, inlist.p ? inlist.p : "", DRA_STR,
              x->keytypes[0], DRA_STR, xbinds, 0) != 0)
    return 1;
  // The indexer commits between fetches: the row cursor must outlive them.
  if (druopar(st, &x->rowcur, sql.p) != 0 || druohld(st, &x->rowcur, 1) != 0) return 1;

  if (!rs.text) {
    rs.text = static_cast<char *>(drumalz(st, st->hpmgr, x->heap, DRSX_TEXTAREA, __FILE__, __LINE__));
    if (!rs.text) return 1;
  }
  // Texts arrive as bytes (UTF-8 ones where the session takes another set):
  // the row reader converts them.
  int ttype = DRUO_LONGRAW;
  int rc = 0;
  for (int k = 0; rc == 0 && k < K; ++k)
    rc = druodfc(st, &x->rowcur, k + 1, rs.keys[k], DRDS_KEYSIZE, DRUO_STRING, nullptr, rs.klen[k],
                 rs.krc[k]);
  if (rc == 0) rc = druodef(st, &x->rowcur, K + 1, rs.ops, 2, DRUO_STRING);
  if (rc == 0)
    rc = druodfc(st, &x->rowcur, K + 2, rs.text, rs.textsize, ttype, rs.tind, rs.tlen, rs.trc);
  if (rc == 0 && det)
    rc = druodfc(st, &x->rowcur, K + 3, rs.lines, DRDS_KEYSIZE, DRUO_STRING, rs.lind, rs.llen,
                 rs.lrc);
  std::memset(rs.tsize, 0, sizeof rs.tsize);
  if (rc == 0 && mode != DRSX_DMLDELETE)
    rc = druodef(st, &x->rowcur, K + (det ? 4 : 3), rs.tsize, sizeof rs.tsize[0], DRUO_INTEGER,
                 rs.sind);
  if (rc != 0) return 1;
  if (mode == DRSX_KEYLIST && drsxgroup(x) != 0) return 1;
  if (drsxbind(x, &x->rowcur) != 0) return 1;
  rs.pending = 1;
  return 0;
}

}  // namespace

int drsxsel(drsxstate *x, int32_t mode, int32_t srvcnt, int32_t srvno, char (*keys)[DRDS_KEYSIZE],
            int32_t nkeys) {
  // A delete batch left before its end still works with one key column.
  if (x->mode == DRSX_DMLDELETE) x->nkeys = x->savednkeys;
  x->mode = mode;
  if (mode == DRSX_DMLDELETE) {
    x->savednkeys = x->nkeys;
    x->nkeys = 1;
  }
  x->srvcnt = srvcnt;
  x->srvno = srvno;
  if (compose(x, mode, keys, nkeys) != 0) {
    x->rs.end = 1;
    x->failed = 1;
    return drsxfail(x);
  }
  return 0;
}
