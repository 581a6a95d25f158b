// The row reader: the record built from the policy and its "Data Store"
// attributes, the fetch loop with its resumption after a refused fetch, the
// rows handed out one at a time, and texts read from the array first and
// then, when the fetch cut them, piece by piece from the database.
#include "dr/drs/drsx.h"

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>

#include "dr/drd/drd.h"
#include "dr/dru/drue.h"
#include "platform/nls/nls.h"

namespace {

constexpr char kClass[] = "Data Store";

// A fetch refused because the snapshot it read from is gone: the statement
// runs again from the last key handed out.
constexpr int kTooOld = DRUO_TOOOLD;

// The row fetch acts on its codes itself.
const druorep kQuiet = druorepq;

// One number attribute: its range.
struct numattr {
  int32_t ord, lo, hi;
};

const numattr kNums[] = {
    {2, 2048, 65535}, {4, 15, 3600}, {5, 1, 1024}, {6, 32, 65535},
    {7, 1, INT32_MAX}, {8, 256, INT32_MAX},
};

// The field of a number attribute.
void setnum(drsxstate *x, int32_t ord, int32_t v) {
  switch (ord) {
    case 2: x->rs.textsize = static_cast<uint16_t>(v); break;
    case 4: x->timeout = v; break;
    case 5: x->maxthreads = v; break;
    case 6: x->urlsize = v; break;
    case 7: x->maxurls = v; break;
    default: x->maxdocsize = v; break;
  }
}

// Stores one attribute of the preference; 0, or 1 after pushing why.
int setattr(drsxstate *x, const drdmattr *a) {
  drsrvstate *st = x->st;
  switch (a->ordinal) {
    case 1:
      x->flag1 = static_cast<uint8_t>(drdpnum(a));
      return 0;
    case 3:
    case 9:
    case 10: {
      const char *v = a->datatype == 1 && a->value.str ? a->value.str : "";
      if (std::strlen(v) >= DRSX_ATTRSTR) {
        dracnerr(st, DRFAC_DRG, 10706, 2, DRA_STR, kClass, DRA_STR, a->name, DRA_INT,
                 static_cast<int>(DRSX_ATTRSTR), 0);
        druetrc();
        return 1;
      }
      char *dst = a->ordinal == 3 ? x->path : a->ordinal == 9 ? x->httpproxy : x->noproxy;
      std::strcpy(dst, v);
      return 0;
    }
    default:
      break;
  }
  for (const numattr &n : kNums) {
    if (n.ord != a->ordinal) continue;
    int32_t v = drdpnum(a);
    int32_t c = std::clamp(v, n.lo, n.hi);
    if (c != v) {
      dracnerr(st, DRFAC_DRG, 10704, 1, DRA_STR, kClass, DRA_STR, a->name, DRA_INT, n.lo, DRA_INT,
               n.hi, 0);
      dracnerr(st, DRFAC_DRG, 10705, 1, DRA_STR, kClass, DRA_STR, a->name, DRA_INT, v, 0);
      druetrc();
      return 1;
    }
    setnum(x, n.ord, v);
    return 0;
  }
  dracnierr(st, DRFAC_DRG, 100, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT,
            static_cast<int>(a->ordinal), 0);
  druetrc();
  return 1;
}

// A name that goes into statement texts: a plain identifier of at most 64
// bytes; 0, or 1 after pushing 10722.
int plainname(drsxstate *x, const char *name) {
  if (std::strlen(name) < DRSX_KEYNAME && druoidn(name, 1)) return 0;
  dracnerr(x->st, DRFAC_DRG, 10722, 2, DRA_STR, name, 0);
  druetrc();
  return 1;
}

// Splits the key column list at its single-byte commas; 0 or 1.
int keynames(drsxstate *x) {
  const nlscs *cs = dracncs(x->st);
  const char *p = x->keycols;
  x->nkeys = 0;
  for (;;) {
    const char *comma = nlschr(cs, p, ',');
    size_t n = comma ? static_cast<size_t>(comma - p) : std::strlen(p);
    if (x->nkeys >= DRSX_MAXKEYS) {
      dracnerr(x->st, DRFAC_DRG, 10723, 2, DRA_STR, x->table, DRA_INT,
               static_cast<int>(DRSX_MAXKEYS), 0);
      druetrc();
      return 1;
    }
    char name[sizeof x->keycols];
    std::memcpy(name, p, n);
    name[n] = '\0';
    if (plainname(x, name) != 0) return 1;
    std::strcpy(x->keynames[x->nkeys++], name);
    if (!comma) return 0;
    p = comma + 1;
  }
}

// Builds the record's fields from the policy and the preference; 0 or 1.
int build(drsxstate *x, int32_t polid, int32_t prefid) {
  drsrvstate *st = x->st;
  const nlscs *cs = dracncs(st);
  drdmpol *pol = drqpol(st, polid);
  if (!pol) {
    druetrc();
    return 1;
  }
  x->polid = polid;
  x->prefid = prefid;
  if (drasmfmt(st->fmt, x->table, sizeof x->table, "%(1)s.%(2)s", DRA_STR, pol->owner, DRA_STR,
               pol->table, 0) < 0) {
    druetrc();
    return 1;
  }
  nlscpy(cs, x->textexpr, sizeof x->textexpr, pol->textexpr);
  nlscpy(cs, x->keycols, sizeof x->keycols, pol->keycols);
  nlscpy(cs, x->lncol, sizeof x->lncol, pol->lncol);
  // Every name pasted into a statement is a plain one: the dictionary is
  // written by users, the statements run with the server's rights.
  if (!druoidn(x->table, 2)) {
    dracnerr(st, DRFAC_DRG, 10722, 2, DRA_STR, x->table, 0);
    druetrc();
    return 1;
  }
  if (plainname(x, x->textexpr) != 0 || keynames(x) != 0) return 1;
  if (x->kind == DRSX_DETAILKIND && plainname(x, x->lncol) != 0) return 1;
  x->savednkeys = 1;
  x->inlsize = DRSX_INLIST;
  x->texttype = pol->texttype == DRUO_CHAR ? DRUO_VARCHAR2 : pol->texttype;
  x->keytype = pol->keytype;
  bool islong = x->texttype == DRUO_LONG || x->texttype == DRUO_LONGRAW;
  x->rs.textsize = islong ? 16000 : 2001;
  x->timeout = 30;
  x->maxthreads = 8;
  x->urlsize = 256;
  x->maxurls = 256;
  x->maxdocsize = 2097152;
  drdplist *l = nullptr;
  if (drdpopn(st, prefid, &l) != 0) {
    druetrc();
    return 1;
  }
  drdmattr *a = nullptr;
  int rc = 0;
  while (rc == 0 && drdpnxt(l, &a) == 0) rc = setattr(x, a);
  drdpcls(l);
  if (rc != 0) {
    druetrc();
    return 1;
  }
  x->rs.perfetch = std::min<int32_t>(DRSX_TEXTAREA / x->rs.textsize, DRSX_ROWS);
  return 0;
}

// Grows a buffer of the record's heap to hold at least size bytes; 0, or 1
// after the heap manager's 10900.
int grow(drsxstate *x, char **buf, size_t *cap, size_t size) {
  if (*cap >= size) return 0;
  drsrvstate *st = x->st;
  size_t want = std::max(size, *cap + *cap / 2);
  void *p = *buf ? drumrea(st, st->hpmgr, x->heap, *buf, want, __FILE__, __LINE__)
                 : drumalz(st, st->hpmgr, x->heap, want, __FILE__, __LINE__);
  if (!p) {
    druetrc();
    return 1;
  }
  *buf = static_cast<char *>(p);
  *cap = want;
  return 0;
}

// Converts len bytes of UTF-8 into the session's set, into the record's
// converted text, which the document then reads; 0 or 1.
int convert(drsxstate *x, const char *src, size_t len) {
  const nlscs *cs = dracncs(x->st);
  size_t out = 0, in = 0, replaced = 0;
  for (;;) {
    if (grow(x, &x->dbuf, &x->dcap, out + (len - in) + 16) != 0) return 1;
    size_t used = 0;
    long n = nlsfromutf8(cs, x->dbuf + out, x->dcap - out, src + in, len - in, &used, &replaced);
    if (n < 0) {
      dracnerr(x->st, DRFAC_DRG, 11102, 2, DRA_STR, cs->name, 0);
      druetrc();
      return 1;
    }
    out += static_cast<size_t>(n);
    in += used;
    // Stopped with room to spare: only a character cut off by the end of
    // the bytes is left.
    if (in >= len || x->dcap - out >= 8) break;
  }
  x->dtext = x->dbuf;
  x->dlen = static_cast<int32_t>(out);
  if (replaced > 0 && x->dstate == 2) {
    uint32_t n = static_cast<uint32_t>(replaced);
    dracnprt(x->st, x->st->log,
             "Warning: document %s holds %d characters outside character set %s: replaced\n",
             DRA_STR, x->curkey, DRA_UB4, &n, DRA_STR, cs->name, 0);
  }
  return 0;
}

// The text expression of the statements: characters as UTF-8 bytes, which
// the server can always give, so that a character the session's set lacks
// never fails a fetch; bytes as they are. A UTF-8 session can take every
// character, and its text travels as it is, cheaper than bytes.
int textexpr(drsxstate *x, char *out, size_t size) {
  if (x->textbytes) return std::snprintf(out, size, "%s", x->textexpr) < static_cast<int>(size) ? 0 : 1;
  if (!x->tconv)
    return drasmfmt(x->st->fmt, out, size, "cast(%(1)s as text)", DRA_STR, x->textexpr, 0) < 0;
  return drasmfmt(x->st->fmt, out, size, "convert_to(cast(%(1)s as text), 'UTF8')", DRA_STR,
                  x->textexpr, 0) < 0;
}

// Reads the current row's whole value from the database at once, into the
// record's value buffer: one statement and one conversion a document, never
// one a piece. A value above the size limit fails the document; 0 or 1.
int wholeread(drsxstate *x) {
  drsrvstate *st = x->st;
  drsxrowset &rs = x->rs;
  if (!x->textopen) {
    char expr[sizeof x->textexpr + 80];
    if (textexpr(x, expr, sizeof expr) != 0) {
      druetrc();
      return 1;
    }
    char sql[4096 + 3 * sizeof expr];
    int32_t len = 0;
    char sized[sizeof x->textexpr + 32];
    if (x->textbytes) std::snprintf(sized, sizeof sized, "%s", x->textexpr);
    else std::snprintf(sized, sizeof sized, "cast(%s as text)", x->textexpr);
    int bad = drsxapp(x, sql, sizeof sql, &len,
                  "select case when octet_length(%(1)s) <= :maxdoc then %(2)s end, octet_length(%(1)s)"
                  " from %(3)s where %(4)s = :cur_pkey1",
                  DRA_STR, sized, DRA_STR, expr, DRA_STR, x->table, DRA_STR, x->keynames[0], 0);
    for (int k = 1; !bad && k < x->nkeys; ++k)
      bad = drsxapp(x, sql, sizeof sql, &len, " and %(1)s = :cur_pkey%(2)s", DRA_STR,
                    x->keynames[k], DRA_INT, k + 1, 0);
    if (!bad && x->kind == DRSX_DETAILKIND)
      bad = drsxapp(x, sql, sizeof sql, &len, " and %(1)s = :line_num", DRA_STR, x->lncol, 0);
    if (bad || druoprp(st, &x->textcur, DRUO_WORK, sql) != 0) {
      druetrc();
      return 1;
    }
    x->textopen = 1;
  }
  int r = rs.cur;
  int64_t size = 0;
  char probe[1];
  int16_t ind = 0, sind = 0;
  uint16_t alen = 0, vrc = 0;
  int rc = 0;
  for (int k = 0; rc == 0 && k < x->nkeys; ++k) {
    char name[16];
    drasmfmt(st->fmt, name, sizeof name, ":cur_pkey%(1)s", DRA_INT, k + 1, 0);
    rc = druobnd(st, &x->textcur, name, rs.keys[k][r], DRDS_KEYSIZE, DRUO_STRING);
  }
  if (rc == 0 && x->kind == DRSX_DETAILKIND)
    rc = druobnd(st, &x->textcur, ":line_num", rs.lines[r], DRDS_KEYSIZE, DRUO_STRING);
  if (rc == 0) rc = druobnd(st, &x->textcur, ":maxdoc", &x->maxdoc, 8, DRUO_INTEGER);
  if (rc == 0) rc = druodfc(st, &x->textcur, 1, probe, 1, DRUO_LONGRAW, &ind, &alen, &vrc);
  if (rc == 0) rc = druodef(st, &x->textcur, 2, &size, 8, DRUO_INTEGER, &sind);
  if (rc == 0) rc = druoexf(st, &x->textcur, 1);
  if (rc != 0 && rc != DRUO_NODATA) {
    druetrc();
    return 1;
  }
  if (rc == DRUO_NODATA || ind == -1) {
    // The row is gone, or its value is above the limit.
    if (rc == 0 && size > x->maxdoc) {
      dracnerr(st, DRFAC_DRG, 10727, 2, DRA_STR, x->curkey, DRA_STR, std::to_string(size).c_str(),
               DRA_STR, std::to_string(x->maxdoc).c_str(), 0);
      druetrc();
      return 1;
    }
    x->dtext = x->wbuf;
    x->dlen = 0;
    return 0;
  }
  // The value's bytes, read in pieces out of the fetched row; characters
  // of another set may grow on their way to UTF-8.
  size_t got = 0;
  for (;;) {
    if (grow(x, &x->wbuf, &x->wcap, static_cast<size_t>(size) + got / 4 + 16) != 0) return 1;
    uint32_t n = 0;
    int32_t room = static_cast<int32_t>(std::min<size_t>(x->wcap - got, INT32_MAX));
    rc = druolng(st, &x->textcur, 0, 1, x->wbuf + got, room, DRUO_LONGRAW, &n,
                 static_cast<uint32_t>(got));
    got += n;
    if (rc == DRUO_NODATA) break;
    if (rc != 0 || got > static_cast<size_t>(INT32_MAX)) {
      druetrc();
      return 1;
    }
    size = static_cast<int64_t>(got) * 2;
  }
  // The fetched row is not needed any more: its memory goes now.
  (void)druocan(st, &x->textcur);
  if (x->tconv) return convert(x, x->wbuf, got);
  x->dtext = x->wbuf;
  x->dlen = static_cast<int32_t>(got);
  return 0;
}

// Makes the current row's text ready for reading: the fetch's part of it
// at first, the whole text once a read passes that part; 0 or 1.
int prepare(drsxstate *x) {
  drsxrowset &rs = x->rs;
  bool cut = rs.trc[rs.cur] == DRUO_TRUNC;
  if (x->dstate == 0) {
    x->dstate = cut ? 1 : 2;
    const char *raw = rs.text + static_cast<size_t>(rs.cur) * rs.textsize;
    if (x->tconv) return convert(x, raw, static_cast<size_t>(rs.curlen));
    x->dtext = raw;
    x->dlen = rs.curlen;
    return 0;
  }
  x->dstate = 2;
  return wholeread(x);
}

}  // namespace

int64_t drsxmaxdoc(drsrvstate *st) {
  char v[32];
  if (rtcfg(st->rt, "KESTRIN_MAXDOC", v, sizeof v) <= 0) return DRSX_MAXDOC;
  char *end = nullptr;
  long long n = std::strtoll(v, &end, 10);
  int shift = 0;
  switch (end && *end ? *end | 0x20 : 0) {
    case 0: break;
    case 'k': shift = 10; break;
    case 'm': shift = 20; break;
    case 'g': shift = 30; break;
    default: return DRSX_MAXDOC;
  }
  if (end && *end && end[1]) return DRSX_MAXDOC;
  if (n <= 0 || n > (INT32_MAX >> shift)) return DRSX_MAXDOC;
  return static_cast<int64_t>(n) << shift;
}

int drsxapp(drsxstate *x, char *buf, size_t size, int32_t *len, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = *len >= 0 && static_cast<size_t>(*len) < size
              ? drasmvfmt(x->st->fmt, buf + *len, size - static_cast<size_t>(*len), format, ap)
              : -1;
  va_end(ap);
  if (n < 0) {
    *len = -1;
    druetrc();
    return 1;
  }
  *len += n;
  return 0;
}

int drsxfail(drsxstate *x) {
  dracnerr(x->st, DRFAC_DRG, 10000, 2, DRA_STR, x->table, DRA_STR, x->textexpr, 0);
  druetrc();
  return 1;
}

int drsxrewrite(drsxstate *x) {
  if (x->doc.open && druvfclose(&x->doc) < 0) return 1;
  return druvfopen(&x->doc, DRUVF_REWRITE) ? 0 : 1;
}

int drsxreadback(drsxstate *x) {
  if (druvfclose(&x->doc) < 0) return 1;
  return druvfopen(&x->doc, DRUVF_READ) ? 0 : 1;
}

drsxstate *drsxnew(drsrvstate *st, drheap heap, int32_t polid, int32_t prefid, int32_t kind) {
  auto *x = static_cast<drsxstate *>(
      drumalc(st, st->hpmgr, heap, 1, sizeof(drsxstate), __FILE__, __LINE__));
  if (!x) {
    druetrc();
    return nullptr;
  }
  x->st = st;
  x->heap = heap;
  x->kind = kind;
  x->hd.obj.clsid = DRCLS_DATASTORE;
  x->maxdoc = drsxmaxdoc(st);
  if (build(x, polid, prefid) != 0) {
    drsxfail(x);
    void *blk = x;
    drumfre(st, st->hpmgr, heap, &blk);
    return nullptr;
  }
  return x;
}

int drsxstart(drobj *ds, int32_t srvcnt, int32_t srvno, char qual, int32_t runseq) {
  drsxstate *x = drsxof(ds);
  int32_t mode = DRSX_POPULATE;
  if (qual != 'C') {
    x->runseq = runseq;
    mode = DRSX_RESUME;
  }
  return drsxsel(x, mode, srvcnt, srvno, nullptr, 0);
}

int drsxdml(drobj *ds) { return drsxsel(drsxof(ds), DRSX_DMLDELETE, 0, 0, nullptr, 0); }

int drsxkey(drobj *ds, char (*keys)[DRDS_KEYSIZE], int32_t nkeys) {
  return drsxsel(drsxof(ds), DRSX_KEYLIST, 0, 0, keys, nkeys);
}

int drsxcount(drobj *ds, int32_t *count) {
  *count = drsxof(ds)->doccnt;
  return 0;
}

int drsxrows(drsxstate *x) {
  drsrvstate *st = x->st;
  drsxrowset &rs = x->rs;
  // A failed fetch ended the batch: its cursor is not asked again.
  if (x->failed) return 2;
  for (;;) {
    if (rs.pending) {
      rs.pending = 0;
      if (druoexe(st, &x->rowcur) != 0) {
        x->failed = 1;
        druetrc();
        return 1;
      }
      rs.end = 0;
      rs.longend = 0;
      rs.rows = 0;
    }
    if (rs.rows > 0) {
      int last = rs.rows - 1;
      for (int k = 0; k < x->nkeys; ++k) std::memcpy(x->lastkey[k], rs.keys[k][last], DRDS_KEYSIZE);
      if (x->kind == DRSX_DETAILKIND)
        std::memcpy(x->lastline, rs.lind[last] == -1 ? "" : rs.lines[last], DRDS_KEYSIZE);
    }
    int rc = DRUO_NODATA;
    int32_t delivered = 0;
    if (!rs.end) {
      uint32_t before = druorows(&x->rowcur);
      rc = druofet(st, &x->rowcur, static_cast<uint32_t>(rs.perfetch), &kQuiet);
      if (rc == 0 || rc == DRUO_NODATA) delivered = static_cast<int32_t>(druorows(&x->rowcur) - before);
    }
    rs.cur = 0;
    rs.rows = delivered;
    if (rc == DRUO_NODATA) {
      rs.end = 1;
      if (delivered > 0) return 0;
    }
    if (rc == DRUO_NODATA && x->mode == DRSX_DMLDELETE) {
      // The deletes are done: the same batch goes on with the re-index of
      // the keys that are still in the base table.
      x->nkeys = x->savednkeys;
      if (drsxsel(x, DRSX_DMLINDEX, x->srvcnt, x->srvno, nullptr, 0) != 0) {
        rs.end = 1;
        rs.longend = 1;
        x->failed = 1;
        druetrc();
        return 1;
      }
      continue;
    }
    if (rc == kTooOld) {
      // The last-key binds hold the last key handed out and the rows come
      // in key order: the new execution starts right after it.
      rs.pending = 1;
      continue;
    }
    if (rc == DRUO_NODATA && x->mode == DRSX_KEYLIST && x->keysused < x->keysgiven) {
      if (drsxgroup(x) != 0) {
        x->failed = 1;
        druetrc();
        return 1;
      }
      std::memset(x->lastkey, 0, sizeof x->lastkey);
      x->lastline[0] = '\0';
      rs.pending = 1;
      continue;
    }
    if (rc == DRUO_NODATA) return 2;
    if (rc != 0) {
      rs.end = 1;
      x->failed = 1;
      druoerr(st, rc, 0, 2);
      return 1;
    }
    return 0;
  }
}

void drsxunread(drsxstate *x) { --x->rs.cur; }

int drsxnextkey(drobj *ds, int32_t *op, char *key) {
  drsxstate *x = drsxof(ds);
  drsrvstate *st = x->st;
  drsxrowset &rs = x->rs;
  *op = 0;
  if (++rs.cur >= rs.rows) {
    int rc = drsxrows(x);
    if (rc == 2) {
      *op = DRSX_OPEND;
      return 2;
    }
    if (rc != 0) return drsxfail(x);
  }
  int r = rs.cur;
  // A null or cut value in any key column would give an ambiguous key.
  for (int k = 0; k < x->nkeys; ++k) {
    if (rs.krc[k][r] != 0) {
      dracnierr(st, DRFAC_DRG, 50854, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT,
                static_cast<int>(rs.krc[k][r]), DRA_STR, x->keynames[k], 0);
      return drsxfail(x);
    }
  }
  rs.curlen = rs.tind[r] == -1 ? 0 : rs.tlen[r];
  rs.off = 0;
  rs.longend = 0;
  x->nlsent = 0;
  x->dstate = 0;
  x->dlen = 0;
  std::memset(key, 0, DRDS_KEYSIZE);
  if (x->nkeys == 1) {
    std::memcpy(key, rs.keys[0][r], DRDS_KEYSIZE - 1);
  } else {
    // One limit for every composite value, so that a key handed out here
    // can always be split back and bound whole.
    int32_t len = 0;
    for (int k = 0; k < x->nkeys; ++k) {
      char esc[2 * DRSX_CKEYVAL];
      int32_t n = -1;
      if (std::strlen(rs.keys[k][r]) < DRSX_CKEYVAL) n = drsxkeyesc(x, rs.keys[k][r], esc, sizeof esc - 1);
      if (n < 0 || len + n + (k ? 1 : 0) > DRDS_KEYSIZE - 1) {
        dracnerr(st, DRFAC_DRG, 10720, 2, DRA_STR, x->table, DRA_INT,
                 n < 0 ? static_cast<int>(DRSX_CKEYVAL - 1) : static_cast<int>(DRDS_KEYSIZE - 1), 0);
        return drsxfail(x);
      }
      if (k) key[len++] = ',';
      std::memcpy(key + len, esc, static_cast<size_t>(n));
      len += n;
    }
  }
  std::memcpy(x->curkey, key, DRDS_KEYSIZE);
  // A document above the size limit is refused whole, before any of it is
  // read; the batch goes on with the next.
  if (x->mode != DRSX_DMLDELETE && rs.sind[r] != -1 && rs.tsize[r] > x->maxdoc) {
    dracnerr(st, DRFAC_DRG, 10727, 2, DRA_STR, key, DRA_STR, std::to_string(rs.tsize[r]).c_str(),
             DRA_STR, std::to_string(x->maxdoc).c_str(), 0);
    druetrc();
    return 1;
  }
  switch (rs.ops[r][0]) {
    case 'I': *op = DRSX_OPINDEX; break;
    case 'U': *op = DRSX_OPUPDATE; break;
    case 'D': *op = DRSX_OPDELETE; break;
    default: *op = 0; break;
  }
  return 0;
}

int drsxfetch(drobj *ds, void *dst, int32_t n, int32_t *got) {
  drsxstate *x = drsxof(ds);
  drsxrowset &rs = x->rs;
  char *d = static_cast<char *>(dst);
  int32_t done = 0;
  *got = 0;
  if (n <= 0) return 0;
  // Before the first row of a batch and after its end there is no text.
  if (rs.cur < 0 || rs.cur >= rs.rows) return 2;
  if (x->dstate == 0 && prepare(x) != 0) return drsxfail(x);
  // A text the fetch cut is read on whole from the database, whatever its
  // type: no text is silently shortened.
  if (rs.off >= x->dlen && x->dstate == 1 && prepare(x) != 0) return drsxfail(x);
  if (rs.off < x->dlen) {
    int32_t c = std::min(n, x->dlen - rs.off);
    std::memcpy(d, x->dtext + rs.off, static_cast<size_t>(c));
    rs.off += c;
    done = c;
  }
  // Every line of a detail document ends with a line break, wherever its
  // length falls.
  if (done < n && x->kind == DRSX_DETAILKIND && !x->flag1 && !x->nlsent && rs.off >= x->dlen &&
      x->dstate == 2) {
    d[done++] = '\n';
    x->nlsent = 1;
  }
  *got = done;
  return done == 0 ? 2 : 0;
}

int drsxseek(drobj *ds, int32_t off, uint8_t rel) {
  drsxrowset &rs = drsxof(ds)->rs;
  rs.off = rel ? rs.off + off : off;
  return 0;
}

int drsxtell(drobj *ds, int32_t *off) {
  *off = drsxof(ds)->rs.off;
  return 0;
}

int drsxreset(drobj *ds, int32_t kind) {
  drsxstate *x = drsxof(ds);
  drsrvstate *st = x->st;
  if (kind == 2) {
    if (x->rowopen) druoend(st, &x->rowcur);
    if (x->textopen) druoend(st, &x->textcur);
    x->rowopen = 0;
    x->textopen = 0;
  } else if (kind == 1) {
    for (char **b : {&x->rs.text, &x->dbuf, &x->wbuf}) {
      void *blk = *b;
      if (blk) drumfre(st, st->hpmgr, x->heap, &blk);
      *b = nullptr;
    }
    x->dcap = 0;
    x->wcap = 0;
    x->dstate = 0;
    x->dlen = 0;
    x->keylist = nullptr;
    x->keysgiven = 0;
    x->keysused = 0;
    std::memset(&x->rs, 0, sizeof x->rs);
  }
  return 0;
}

int drsxclose(drobj *ds) {
  drsxstate *x = drsxof(ds);
  drsrvstate *st = x->st;
  drsxreset(ds, 2);
  drsxreset(ds, 1);
  void *blk = x;
  drumfre(st, st->hpmgr, x->heap, &blk);
  return 0;
}

int32_t drsxkeyesc(drsxstate *x, const char *val, char *out, int32_t limit) {
  nlscur c;
  nlscurset(&c, dracncs(x->st), val, std::strlen(val));
  int32_t n = 0;
  for (size_t w; (w = nlscurlen(&c)) > 0; nlscurnext(&c)) {
    bool esc = nlscuris(&c, '\\') || nlscuris(&c, ',');
    if (n + static_cast<int32_t>(w) + (esc ? 1 : 0) > limit) return -1;
    if (esc) out[n++] = '\\';
    std::memcpy(out + n, c.pos, w);
    n += static_cast<int32_t>(w);
  }
  out[n] = '\0';
  return n;
}

int drsxkeysplit(drsxstate *x, const char *key, char (*vals)[DRSX_CKEYVAL], int32_t *n) {
  nlscur c;
  nlscurset(&c, dracncs(x->st), key, std::strlen(key));
  int32_t cnt = 0;
  int32_t len = 0;
  vals[0][0] = '\0';
  for (size_t w; (w = nlscurlen(&c)) > 0; nlscurnext(&c)) {
    if (nlscuris(&c, ',')) {
      if (++cnt >= DRSX_MAXKEYS) return 1;
      len = 0;
      vals[cnt][0] = '\0';
      continue;
    }
    // A backslash makes the next character literal; a last one stands for
    // itself, as the queue's own split has it.
    if (nlscuris(&c, '\\') && c.pos + w < c.end) {
      nlscurnext(&c);
      w = nlscurlen(&c);
      if (w == 0) break;
    }
    if (len + static_cast<int32_t>(w) > DRSX_CKEYVAL - 1) return 1;
    std::memcpy(vals[cnt] + len, c.pos, w);
    len += static_cast<int32_t>(w);
    vals[cnt][len] = '\0';
  }
  *n = cnt + 1;
  return 0;
}
