// Data-definition builders over table, index and sequence descriptions, and
// the runner they share. Each builder writes the statement in the dialect the
// callers' templates are written in and, beside it, the form this database
// runs (types mapped, storage clauses and sequence ordering dropped).
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "dr/dru/drudb.h"
#include "dr/dru/drue.h"

#include "dr/dru/drud.h"

static const char *const kunit = "dr/dru/drud.cpp";

void (*drudtrace)(const char *built, const char *run) = nullptr;

namespace {

// Appends formatted pieces to a fixed buffer; the first piece that does not
// fit (or fails to format) is remembered and everything after it ignored.
struct drudtxt {
  drsrvstate *s;
  char *buf;
  size_t size;
  size_t len = 0;
  int err = 0;

  drudtxt(drsrvstate *st, char *b, size_t sz) : s(st), buf(b), size(sz) {
    if (size) buf[0] = '\0';
  }
  void add(const char *fmt, ...) {
    if (err) return;
    if (len >= size) {
      err = LSF_ETRUNC;
      return;
    }
    va_list ap;
    va_start(ap, fmt);
    int n = lsffmtv(s->fmt, buf + len, size - len, fmt, ap);
    va_end(ap);
    if (n < 0) err = n;
    else len += (size_t)n;
  }
  // Pushes 50100 with the formatter's result when the text is not whole.
  bool bad(int line) {
    if (!err) return false;
    dracnierr(s, 0, 50100, 2, 25, kunit, 1, line, 1, err, 0);
    return true;
  }
};

bool ieq(const char *a, size_t n, const char *b) {
  if (std::strlen(b) != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower((unsigned char)a[i]) != std::tolower((unsigned char)b[i])) return false;
  return true;
}

// The type text of a column in this database: number(p) -> numeric(p),
// varchar2(n) -> varchar(n), long -> text, long raw and raw(n) -> bytea,
// date -> timestamp(0); anything after the type (not null, defaults) stays.
std::string drudmaptype(const char *type) {
  std::string out;
  const char *p = type;
  while (*p == ' ') ++p;
  const char *w = p;
  while (*p && (std::isalnum((unsigned char)*p) || *p == '_')) ++p;
  size_t wn = (size_t)(p - w);
  const char *rest = p;
  // the end of an optional "(...)" right after the type name
  const char *parend = nullptr;
  {
    const char *q = rest;
    while (*q == ' ') ++q;
    if (*q == '(') {
      while (*q && *q != ')') ++q;
      if (*q == ')') ++q;
      parend = q;
    }
  }
  if (ieq(w, wn, "long")) {
    const char *q = rest;
    while (*q == ' ') ++q;
    if (std::strncmp(q, "raw", 3) == 0 || std::strncmp(q, "RAW", 3) == 0) {
      out = "bytea";
      out += q + 3;
    } else {
      out = "text";
      out += rest;
    }
    return out;
  }
  if (ieq(w, wn, "raw")) {
    out = "bytea";
    out += parend ? parend : rest;
    return out;
  }
  if (ieq(w, wn, "number")) out = "numeric";
  else if (ieq(w, wn, "varchar2")) out = "varchar";
  else if (ieq(w, wn, "date")) return std::string("timestamp(0)") + rest;
  else out.assign(w, wn);
  out += rest;
  return out;
}

// The index name without its owner: this database creates an index in the
// schema of its table and does not accept a qualified name there.
const char *drudbare(const char *name) {
  const char *dot = std::strrchr(name, '.');
  return dot ? dot + 1 : name;
}

void trace(const char *built, const char *run) {
  if (drudtrace) drudtrace(built, run);
}

// Runs a built create text, dropping the object and retrying once when the
// name is in use and the caller asked for it. kind names the object in
// messages ("table", "index") or is null for sequences and synonyms.
int drudcreate(drsrvstate *s, const char *run, const char *kind, const char *name,
               uint8_t replace, int (*drop)(drsrvstate *, const char *), const char *dropname) {
  // One drop and one retry: when the name belongs to an object the drop
  // cannot remove, a second refusal ends the cycle instead of looping.
  for (int attempt = 0; attempt < 2; ++attempt) {
    uint8_t done = 0;
    int32_t code = 0;
    int rc = kind ? drudddl(s, run, &done, &code) : drudddl(s, run, &done, nullptr);
    if (rc != 0) {
      if (kind) {
        if (code) druekci(s, code);
        dracnerr(s, 0, 10538, 2, 25, kind, 25, name, 0);
      }
      druetrc();
      return 1;
    }
    if (done) return 0;
    if (replace != 1 || attempt == 1) break;
    if (drop(s, dropname) != 0) {
      druetrc();
      return 1;
    }
  }
  dracnierr(s, 0, 50606, 2, 25, kunit, 1, __LINE__, 25, name, 0);
  druetrc();
  return 1;
}

}  // namespace

int drudcrtab(drsrvstate *s, drudtab *t, char *buf, uint16_t size, uint8_t replace) {
  if (!t || !t->cols || !t->cols[0].name) {
    dracnierr(s, 0, 50600, 0, 25, kunit, 1, __LINE__, 0);
    druetrc();
    return 1;
  }
  drudtxt txt(s, buf, size);
  std::string run = "create table ";
  run += t->name;
  run += " ";
  txt.add("create table %s ", 25, t->name, 0);
  uint16_t n = 0;
  for (drudcol *c = t->cols; c->name; ++c, ++n) {
    txt.add("%s%s %s", 25, n ? "," : "(", 25, c->name, 25, c->type ? c->type : "", 0);
    run += n ? "," : "(";
    run += c->name;
    run += " ";
    run += drudmaptype(c->type ? c->type : "");
  }
  t->ncols = n;
  txt.add(")", 0);
  run += ")";
  if (t->tablespace) {
    txt.add(" tablespace %s", 25, t->tablespace, 0);
    run += " tablespace ";
    run += t->tablespace;
  }
  if (t->storage) txt.add(" storage (%s)", 25, t->storage, 0);
  if (t->extra) {
    txt.add(" %s", 25, t->extra, 0);
    run += " ";
    run += t->extra;
  }
  if (txt.bad(__LINE__)) {
    druetrc();
    return 1;
  }
  trace(buf, run.c_str());
  return drudcreate(s, run.c_str(), "table", t->name, replace, druddroptab, t->name);
}

// Builds a short text into a fixed buffer and runs it, ignoring whether the
// database carried it out (the drop and truncate builders).
static int drudsimple(drsrvstate *s, size_t size, const char *fmt, const char *name,
                      const char *runfmt) {
  char buf[256];
  drudtxt txt(s, buf, size);
  txt.add(fmt, 25, name ? name : "", 0);
  if (txt.bad(__LINE__)) {
    druetrc();
    return 1;
  }
  char run[256];
  drudtxt rtxt(s, run, size);
  rtxt.add(runfmt ? runfmt : fmt, 25, name ? name : "", 0);
  if (rtxt.bad(__LINE__)) {
    druetrc();
    return 1;
  }
  trace(buf, run);
  uint8_t done = 0;
  if (drudddl(s, run, &done, nullptr) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int druddroptab(drsrvstate *s, const char *table) {
  return drudsimple(s, 128, "drop table %s", table, nullptr);
}

int drudtrunc(drsrvstate *s, const char *table) {
  return drudsimple(s, 128, "truncate table %s", table, nullptr);
}

int druddropseq(drsrvstate *s, const char *name) {
  return drudsimple(s, 64, "drop sequence %s", name, nullptr);
}

int druddropidx(drsrvstate *s, const char *name) {
  return drudsimple(s, 64, "drop index %s", name, nullptr);
}

// A synonym has no form of its own here: it becomes a view over the object.
int druddropsyn(drsrvstate *s, const char *synonym) {
  return drudsimple(s, 64, "drop synonym %s", synonym, "drop view %s");
}

int drudcrseq(drsrvstate *s, const char *name, drudseq q) {
  char buf[256], run[256];
  drudtxt txt(s, buf, sizeof buf), rtxt(s, run, sizeof run);
  for (drudtxt *x : {&txt, &rtxt}) {
    x->add("create sequence %s", 25, name ? name : "", 0);
    if (q.incr != 0) x->add(" increment by %d", 1, (int)q.incr, 0);
    if (q.minv <= q.start && q.start <= q.maxv) x->add(" start with %ld", 1, (int)q.start, 0);
    if (q.minv < q.maxv) x->add(" minvalue %ld maxvalue %ld", 1, (int)q.minv, 1, (int)q.maxv, 0);
    if (q.cycle) x->add(" cycle", 0);
    if (q.cache >= 1) x->add(" cache %ld", 1, (int)q.cache, 0);
    if (q.order && x == &txt) x->add(" order", 0);
  }
  if (txt.bad(__LINE__) || rtxt.bad(__LINE__)) {
    druetrc();
    return 1;
  }
  trace(buf, run);
  return drudcreate(s, run, nullptr, name, q.replace, druddropseq, name);
}

int drudcridx(drsrvstate *s, drudidx *x, uint8_t replace) {
  if (!x || !x->cols || x->ncols == 0) {
    dracnierr(s, 0, 50600, 0, 25, kunit, 1, __LINE__, 0);
    druetrc();
    return 1;
  }
  char buf[256], run[256];
  drudtxt txt(s, buf, sizeof buf), rtxt(s, run, sizeof run);
  txt.add("create %s index %s on %s ", 25, x->unique ? "unique" : "", 25, x->name, 25, x->table, 0);
  rtxt.add("create %s index %s on %s ", 25, x->unique ? "unique" : "", 25, drudbare(x->name), 25,
           x->table, 0);
  for (uint16_t i = 0; i < x->ncols; ++i) {
    txt.add("%s%s", 25, i ? "," : "(", 25, x->cols[i], 0);
    rtxt.add("%s%s", 25, i ? "," : "(", 25, x->cols[i], 0);
  }
  txt.add(")", 0);
  rtxt.add(")", 0);
  if (x->tablespace) {
    txt.add(" tablespace %s", 25, x->tablespace, 0);
    rtxt.add(" tablespace %s", 25, x->tablespace, 0);
  }
  if (x->storage) txt.add(" storage (%s)", 25, x->storage, 0);
  if (x->extra) {
    txt.add(" %s", 25, x->extra, 0);
    rtxt.add(" %s", 25, x->extra, 0);
  }
  if (txt.bad(__LINE__) || rtxt.bad(__LINE__)) {
    druetrc();
    return 1;
  }
  trace(buf, run);
  return drudcreate(s, run, "index", x->name, replace, druddropidx, x->name);
}

int drudcrsyn(drsrvstate *s, const char *object, const char *synonym, uint8_t replace) {
  if (!object || !synonym) {
    dracnierr(s, 0, 50600, 0, 25, kunit, 1, __LINE__, 0);
    druetrc();
    return 1;
  }
  char buf[256], run[256];
  drudtxt txt(s, buf, sizeof buf), rtxt(s, run, sizeof run);
  txt.add("create synonym %s for %s", 25, synonym, 25, object, 0);
  rtxt.add("create view %s as select * from %s", 25, synonym, 25, object, 0);
  if (txt.bad(__LINE__) || rtxt.bad(__LINE__)) {
    druetrc();
    return 1;
  }
  trace(buf, run);
  return drudcreate(s, run, nullptr, synonym, replace, druddropsyn, synonym);
}

int drudddl(drsrvstate *s, const char *text, uint8_t *done, int32_t *errcode) {
  druocur cur{};
  int rc = drddb::open(s, &cur);
  if (rc != 0) {
    druekcii(s, 50800, 2, kunit, __LINE__, rc);
    druetrc();
    return 1;
  }
  rc = drddb::parse(s, &cur, text);
  if (rc != 0) {
    int code = (int16_t)drddb::rc(&cur);
    if (code == 955 || code == 942 || code == 2289) {
      // Name in use or object missing: not carried out, and not a failure.
      if (done) *done = 0;
    } else {
      dracnprt(s, rtstdout(s->rt),
               "Failed to parse generated SQL...\n\n\"%s\"\n\nKestrin Error: %d\n\n", 25, text, 1,
               code, 0);
      if (errcode) *errcode = code;
      else druekcii(s, 50801, 2, kunit, __LINE__, code);
      drddb::close(s, &cur);
      druetrc();
      return 1;
    }
  } else {
    if (done) *done = 1;
    rc = drddb::exec(s, &cur);
    if (rc != 0) {
      druekci(s, rc);
      drddb::close(s, &cur);
      druetrc();
      return 1;
    }
  }
  rc = drddb::close(s, &cur);
  if (rc != 0) {
    druekci(s, rc);
    druetrc();
    return 1;
  }
  return 0;
}

int drudins(drsrvstate *s, drudtab *t, drudph *ph, char *buf, uint16_t size, druocur *cur) {
  if (!t || !t->cols || !t->cols[0].name) {
    dracnierr(s, 0, 50600, 0, 25, kunit, 1, __LINE__, 0);
    druetrc();
    return 1;
  }
  drudtxt txt(s, buf, size);
  txt.add("insert into %s (%s", 25, t->name, 25, t->cols[0].name, 0);
  uint16_t n = 1;
  for (; t->cols[n].name; ++n) txt.add(",%s", 25, t->cols[n].name, 0);
  t->ncols = n;
  txt.add(") values(:v0", 0);
  // Each placeholder's place in the text is recorded as it is written.
  std::vector<size_t> at(n);
  at[0] = txt.len - 3;
  for (uint16_t k = 1; k < n; ++k) {
    at[k] = txt.len + 1;
    txt.add(",:v%d", 1, (int)k, 0);
  }
  txt.add(")", 0);
  // A statement that does not fit is refused, never parsed cut short.
  if (txt.bad(__LINE__)) {
    druetrc();
    return 1;
  }
  for (uint16_t k = 0; k < n; ++k) {
    ph[k].addr = buf + at[k];
    ph[k].len = (uint8_t)(k < 10 ? 3 : k < 100 ? 4 : k < 1000 ? 5 : 6);
  }
  int rc = drddb::parse(s, cur, buf);
  if (rc != 0) {
    druekci(s, drddb::rc(cur));
    druetrc();
    return 1;
  }
  return 0;
}

// Binds the first n placeholders to their values (and, for an array
// execution, their lengths), then executes once, or over nrows rows when
// nrows is given; the database's error is pushed on failure.
static int drudbindexec(drsrvstate *s, drudtab *t, drudph *ph, const int32_t *sizes,
                        void *const *vals, uint16_t *const *lens, uint16_t n, druocur *cur,
                        const uint32_t *nrows) {
  for (uint16_t k = 0; k < n; ++k) {
    if (drddb::bindext(s, cur, ph[k].addr, ph[k].len, vals[k], sizes[k], t->cols[k].extype,
                       lens ? lens[k] : nullptr, nullptr) != 0) {
      druekci(s, drddb::rc(cur));
      druetrc();
      return 1;
    }
  }
  if ((nrows ? drddb::execn(s, cur, *nrows) : drddb::exec(s, cur)) != 0) {
    druekci(s, drddb::rc(cur));
    druetrc();
    return 1;
  }
  return 0;
}

int drudexec1(drsrvstate *s, drudtab *t, drudph *ph, const int32_t *sizes, void *const *vals,
              druocur *cur) {
  return drudbindexec(s, t, ph, sizes, vals, nullptr, t->ncols, cur, nullptr);
}

int drudexecn(drsrvstate *s, drudtab *t, drudph *ph, const int32_t *sizes, void *const *vals,
              uint16_t *const *lens, uint32_t nrows, druocur *cur) {
  return drudbindexec(s, t, ph, sizes, vals, lens, t->ncols, cur, &nrows);
}

int drudsel(drsrvstate *s, drudtab *t, drudph *ph, char *buf, uint16_t size, const char *where,
            const char *order, druocur *cur, uint16_t *nph) {
  if (nph) *nph = 0;
  if (!t || !t->cols || !t->cols[0].name) {
    dracnierr(s, 0, 50600, 0, 25, kunit, 1, __LINE__, 0);
    druetrc();
    return 1;
  }
  drudtxt txt(s, buf, size);
  txt.add("select %s", 25, t->cols[0].name, 0);
  uint16_t n = 1;
  for (; t->cols[n].name; ++n) txt.add(",%s", 25, t->cols[n].name, 0);
  t->ncols = n;
  txt.add(" from %s ", 25, t->name, 0);
  if (where && *where) txt.add("where %s ", 25, where, 0);
  if (order && *order) txt.add("order by %s", 25, order, 0);
  if (txt.bad(__LINE__)) {
    druetrc();
    return 1;
  }
  if (drddb::parse(s, cur, buf) != 0) {
    druekci(s, drddb::rc(cur));
    druetrc();
    return 1;
  }
  // Every ':' of the text starts a placeholder that runs to the next blank.
  uint16_t k = 0;
  for (const char *p = std::strchr(buf, ':'); p; ) {
    const char *e = std::strchr(p, ' ');
    size_t len = e ? (size_t)(e - p) : std::strlen(p);
    ph[k].addr = p;
    ph[k].len = (uint8_t)(len > 255 ? 255 : len);
    ++k;
    if (!e) break;
    p = std::strchr(e, ':');
  }
  if (nph) *nph = k;
  return 0;
}

int drudselbnd(drsrvstate *s, drudtab *t, drudph *ph, const int32_t *sizes, void *const *vals,
               uint16_t nph, druocur *cur) {
  return drudbindexec(s, t, ph, sizes, vals, nullptr, nph, cur, nullptr);
}

int drudselx(drsrvstate *s, drudtab *t, drudph *ph, char *buf, uint16_t size, const char *where,
             const char *order, druocur *cur, const int32_t *sizes, void *const *vals) {
  uint16_t n = 0;
  if (drudsel(s, t, ph, buf, size, where, order, cur, &n) != 0 ||
      drudselbnd(s, t, ph, sizes, vals, n, cur) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drudfetch(drsrvstate *s, drudtab *t, const int32_t *sizes, void *const *vals, uint32_t nvals,
              druocur *cur) {
  if (!t || t->ncols == 0) {
    dracnierr(s, 0, 50600, 0, 25, kunit, 1, __LINE__, 0);
    druetrc();
    return 1;
  }
  for (uint32_t i = 0; i < nvals;) {
    for (uint16_t k = 0; k < t->ncols && i < nvals; ++k, ++i) {
      if (drddb::defext(s, cur, k + 1, vals[i], sizes[k], t->cols[k].extype) != 0) {
        druekci(s, drddb::rc(cur));
        druetrc();
        return 1;
      }
    }
    int rc = drddb::fetch(s, cur, 1);
    if (rc == 1403) return 2;
    if (rc != 0) {
      druekci(s, drddb::rc(cur));
      druetrc();
      return 1;
    }
  }
  return 0;
}
