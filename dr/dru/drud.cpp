// Data-definition builders over table, index and sequence descriptions, and
// the runner they share; the insert and select builders with their binds and
// fetches. The callers' descriptions carry column types and clauses in their
// own terms: the builders map the types and leave out what this database has
// no form for (storage clauses, sequence ordering).
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "dr/dru/drue.h"

#include "dr/dru/drud.h"

void (*drudtrace)(const char *text) = nullptr;

namespace {

// The builders' statements report a failing step with the database's text
// alone.
const druorep kText = {0, 0, 0, 0, 0, 0, 0, 2, 2};

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
    dracnierr(s, DRFAC_DRG, 50100, 2, DRA_STR, __FILE__, DRA_INT, line, DRA_INT, err, 0);
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

void trace(const char *text) {
  if (drudtrace) drudtrace(text);
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
        dracnerr(s, DRFAC_DRG, 10538, 2, DRA_STR, kind, DRA_STR, name, 0);
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
  dracnierr(s, DRFAC_DRG, 50606, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_STR, name, 0);
  druetrc();
  return 1;
}

}  // namespace

int drudcrtab(drsrvstate *s, drudtab *t, char *buf, uint16_t size, uint8_t replace) {
  if (!t || !t->cols || !t->cols[0].name) {
    dracnierr(s, DRFAC_DRG, 50600, 0, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
    druetrc();
    return 1;
  }
  drudtxt txt(s, buf, size);
  txt.add("create table %s ", DRA_STR, t->name, 0);
  uint16_t n = 0;
  for (drudcol *c = t->cols; c->name; ++c, ++n) {
    std::string type = drudmaptype(c->type ? c->type : "");
    txt.add("%s%s %s", DRA_STR, n ? "," : "(", DRA_STR, c->name, DRA_STR, type.c_str(), 0);
  }
  t->ncols = n;
  txt.add(")", 0);
  if (t->tablespace) txt.add(" tablespace %s", DRA_STR, t->tablespace, 0);
  if (t->extra) txt.add(" %s", DRA_STR, t->extra, 0);
  if (txt.bad(__LINE__)) {
    druetrc();
    return 1;
  }
  trace(buf);
  return drudcreate(s, buf, "table", t->name, replace, druddroptab, t->name);
}

// A text the database refused at parse: said on standard output, then the
// code handed to the caller (errcode given) or pushed with 50801.
static void drudrefused(drsrvstate *s, const char *text, int rc, int32_t *errcode) {
  int32_t code = static_cast<int16_t>(rc);
  dracnout(s, "Failed to parse generated SQL...\n\n\"%s\"\n\nKestrin Error: %d\n\n", DRA_STR,
           text, DRA_SB4, &code, 0);
  if (errcode) *errcode = code;
  else druoerr(s, rc, DRUE_PARSE, 2);
}

// Builds a short text into a fixed buffer and runs it. Whether the database
// carried it out is ignored (the drop and truncate builders), unless the
// caller asks for it in done.
static int drudsimple(drsrvstate *s, size_t size, const char *fmt, const char *name,
                      uint8_t *done = nullptr, char *text = nullptr) {
  char buf[256];
  drudtxt txt(s, buf, size);
  txt.add(fmt, DRA_STR, name ? name : "", 0);
  if (txt.bad(__LINE__)) {
    druetrc();
    return 1;
  }
  trace(buf);
  uint8_t carried = 0;
  if (drudddl(s, buf, &carried, nullptr) != 0) {
    druetrc();
    return 1;
  }
  if (done) *done = carried;
  if (text) std::memcpy(text, buf, std::strlen(buf) + 1);
  return 0;
}

int druddroptab(drsrvstate *s, const char *table) {
  return drudsimple(s, 128, "drop table %s", table);
}

int drudtrunc(drsrvstate *s, const char *table) {
  return drudsimple(s, 128, "truncate table %s", table);
}

int druddropseq(drsrvstate *s, const char *name) {
  return drudsimple(s, 64, "drop sequence %s", name);
}

int druddropidx(drsrvstate *s, const char *name) {
  return drudsimple(s, 64, "drop index %s", name);
}

// A synonym has no form of its own here: it is a view over the object. A
// missing synonym, like a missing index, is no object the runner passes over.
int druddropsyn(drsrvstate *s, const char *synonym) {
  char text[64];
  uint8_t done = 0;
  if (drudsimple(s, sizeof text, "drop view %s", synonym, &done, text) != 0) return 1;
  if (!done) {
    drudrefused(s, text, DRUO_NOTABLE, nullptr);
    druetrc();
    return 1;
  }
  return 0;
}

int drudcrseq(drsrvstate *s, const char *name, drudseq q) {
  char buf[256];
  drudtxt txt(s, buf, sizeof buf);
  txt.add("create sequence %s", DRA_STR, name ? name : "", 0);
  if (q.incr != 0) txt.add(" increment by %d", DRA_INT, (int)q.incr, 0);
  if (q.minv <= q.start && q.start <= q.maxv) txt.add(" start with %ld", DRA_INT, (int)q.start, 0);
  if (q.minv < q.maxv)
    txt.add(" minvalue %ld maxvalue %ld", DRA_INT, (int)q.minv, DRA_INT, (int)q.maxv, 0);
  if (q.cycle) txt.add(" cycle", 0);
  if (q.cache >= 1) txt.add(" cache %ld", DRA_INT, (int)q.cache, 0);
  if (txt.bad(__LINE__)) {
    druetrc();
    return 1;
  }
  trace(buf);
  return drudcreate(s, buf, nullptr, name, q.replace, druddropseq, name);
}

int drudcridx(drsrvstate *s, drudidx *x, uint8_t replace) {
  if (!x || !x->cols || x->ncols == 0) {
    dracnierr(s, DRFAC_DRG, 50600, 0, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
    druetrc();
    return 1;
  }
  char buf[256];
  drudtxt txt(s, buf, sizeof buf);
  txt.add("create %s index %s on %s ", DRA_STR, x->unique ? "unique" : "", DRA_STR,
          drudbare(x->name), DRA_STR, x->table, 0);
  for (uint16_t i = 0; i < x->ncols; ++i)
    txt.add("%s%s", DRA_STR, i ? "," : "(", DRA_STR, x->cols[i], 0);
  txt.add(")", 0);
  if (x->tablespace) txt.add(" tablespace %s", DRA_STR, x->tablespace, 0);
  if (x->extra) txt.add(" %s", DRA_STR, x->extra, 0);
  if (txt.bad(__LINE__)) {
    druetrc();
    return 1;
  }
  trace(buf);
  return drudcreate(s, buf, "index", x->name, replace, druddropidx, x->name);
}

int drudcrsyn(drsrvstate *s, const char *object, const char *synonym, uint8_t replace) {
  if (!object || !synonym) {
    dracnierr(s, DRFAC_DRG, 50600, 0, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
    druetrc();
    return 1;
  }
  char buf[256];
  drudtxt txt(s, buf, sizeof buf);
  txt.add("create view %s as select * from %s", DRA_STR, synonym, DRA_STR, object, 0);
  if (txt.bad(__LINE__)) {
    druetrc();
    return 1;
  }
  trace(buf);
  return drudcreate(s, buf, nullptr, synonym, replace, druddropsyn, synonym);
}

int drudddl(drsrvstate *s, const char *text, uint8_t *done, int32_t *errcode) {
  // Open and close failures and a failing execute report the database's
  // text; a failing parse is the runner's own to report.
  static const druorep kDdl = {DRUE_OPEN, -1, DRUE_BIND, DRUE_DEFINE, 0, 0, 0, 2, 2};
  druocur cur{};
  if (druoopc(s, &cur, DRUO_WORK, &kDdl) != 0) {
    druetrc();
    return 1;
  }
  int rc = druopar(s, &cur, text, &kDdl);
  if (rc == DRUO_EXISTS || rc == DRUO_NOTABLE || rc == DRUO_NOSEQ) {
    // Name in use or object missing: not carried out, and not a failure.
    if (done) *done = 0;
  } else if (rc != 0) {
    drudrefused(s, text, rc, errcode);
    druocls(&cur);
    druetrc();
    return 1;
  } else {
    if (done) *done = 1;
    if (druoexe(s, &cur, &kDdl) != 0) {
      druocls(&cur);
      druetrc();
      return 1;
    }
  }
  if (druoend(s, &cur, &kDdl) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drudins(drsrvstate *s, drudtab *t, drudph *ph, char *buf, uint16_t size, druocur *cur) {
  if (!t || !t->cols || !t->cols[0].name) {
    dracnierr(s, DRFAC_DRG, 50600, 0, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
    druetrc();
    return 1;
  }
  drudtxt txt(s, buf, size);
  txt.add("insert into %s (%s", DRA_STR, t->name, DRA_STR, t->cols[0].name, 0);
  uint16_t n = 1;
  for (; t->cols[n].name; ++n) txt.add(",%s", DRA_STR, t->cols[n].name, 0);
  t->ncols = n;
  txt.add(") values(:v0", 0);
  // Each placeholder's place in the text is recorded as it is written.
  std::vector<size_t> at(n);
  at[0] = txt.len - 3;
  for (uint16_t k = 1; k < n; ++k) {
    at[k] = txt.len + 1;
    txt.add(",:v%d", DRA_INT, (int)k, 0);
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
  if (druopar(s, cur, buf, &kText) != 0) {
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
    // The placeholder points into a statement text: bind by its name alone.
    char name[256];
    std::memcpy(name, ph[k].addr, ph[k].len);
    name[ph[k].len] = '\0';
    if (druobnd(s, cur, name, vals[k], sizes[k], t->cols[k].extype, nullptr,
                lens ? lens[k] : nullptr, &kText) != 0) {
      druetrc();
      return 1;
    }
  }
  if ((nrows ? druoexn(s, cur, *nrows, &kText) : druoexe(s, cur, &kText)) != 0) {
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

int drudsel(drsrvstate *s, drudtab *t, drudph *ph, uint16_t maxph, char *buf, uint16_t size,
            const char *where, const char *order, druocur *cur, uint16_t *nph) {
  if (nph) *nph = 0;
  if (!t || !t->cols || !t->cols[0].name) {
    dracnierr(s, DRFAC_DRG, 50600, 0, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
    druetrc();
    return 1;
  }
  drudtxt txt(s, buf, size);
  txt.add("select %s", DRA_STR, t->cols[0].name, 0);
  uint16_t n = 1;
  for (; t->cols[n].name; ++n) txt.add(",%s", DRA_STR, t->cols[n].name, 0);
  t->ncols = n;
  txt.add(" from %s ", DRA_STR, t->name, 0);
  if (where && *where) txt.add("where %s ", DRA_STR, where, 0);
  if (order && *order) txt.add("order by %s", DRA_STR, order, 0);
  if (txt.bad(__LINE__)) {
    druetrc();
    return 1;
  }
  if (druopar(s, cur, buf, &kText) != 0) {
    druetrc();
    return 1;
  }
  // A ':' before a name starts a placeholder that runs to the next blank;
  // one inside a literal, a quoted name or a comment, or doubled as a cast,
  // is none.
  uint16_t k = 0;
  for (const char *p = buf; *p;) {
    if (*p == '\'' || *p == '"') {
      const char *e = std::strchr(p + 1, *p);  // a doubled quote reopens at once
      p = e ? e + 1 : p + std::strlen(p);
    } else if (p[0] == '-' && p[1] == '-') {
      const char *e = std::strchr(p, '\n');
      p = e ? e : p + std::strlen(p);
    } else if (p[0] == '/' && p[1] == '*') {
      const char *e = std::strstr(p + 2, "*/");
      p = e ? e + 2 : p + std::strlen(p);
    } else if (p[0] == ':' && p[1] == ':') {
      p += 2;
    } else if (*p == ':' && (std::isalnum((unsigned char)p[1]) || p[1] == '_')) {
      if (k >= maxph) {
        int32_t most = maxph;
        dracnierr(s, DRFAC_DRG, 50600, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_SB4, &most, 0);
        druetrc();
        return 1;
      }
      const char *e = std::strchr(p, ' ');
      size_t len = e ? (size_t)(e - p) : std::strlen(p);
      ph[k].addr = p;
      ph[k].len = (uint8_t)(len > 255 ? 255 : len);
      ++k;
      p += len;
    } else {
      ++p;
    }
  }
  if (nph) *nph = k;
  return 0;
}

int drudselbnd(drsrvstate *s, drudtab *t, drudph *ph, const int32_t *sizes, void *const *vals,
               uint16_t nph, druocur *cur) {
  return drudbindexec(s, t, ph, sizes, vals, nullptr, nph, cur, nullptr);
}

int drudselx(drsrvstate *s, drudtab *t, drudph *ph, uint16_t maxph, char *buf, uint16_t size,
             const char *where, const char *order, druocur *cur, const int32_t *sizes,
             void *const *vals) {
  uint16_t n = 0;
  if (drudsel(s, t, ph, maxph, buf, size, where, order, cur, &n) != 0 ||
      drudselbnd(s, t, ph, sizes, vals, n, cur) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drudfetch(drsrvstate *s, drudtab *t, const int32_t *sizes, void *const *vals, uint32_t nvals,
              druocur *cur) {
  if (!t || t->ncols == 0) {
    dracnierr(s, DRFAC_DRG, 50600, 0, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
    druetrc();
    return 1;
  }
  for (uint32_t i = 0; i < nvals;) {
    for (uint16_t k = 0; k < t->ncols && i < nvals; ++k, ++i) {
      if (druodef(s, cur, k + 1, vals[i], sizes[k], t->cols[k].extype, nullptr, nullptr,
                  &kText) != 0) {
        druetrc();
        return 1;
      }
    }
    int rc = druofet(s, cur, 1, &kText);
    if (rc == DRUO_NODATA) return 2;
    if (rc != 0) {
      druetrc();
      return 1;
    }
  }
  return 0;
}
