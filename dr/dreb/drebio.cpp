// Optimisation of the token table. Lazy deletes take the postings of dead
// documents out of the rows that can hold them, rewriting each such row in
// place (or deleting it when nothing is left) with a commit per row. The
// scan reads the rows in pages, each page a statement of its own that
// starts after the last row of the one before: no cursor has to outlive the
// commits. The compaction modes are drebic's.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dr/dras/dras.h"
#include "dr/dreb/dreb.h"
#include "dr/dreb/drebiopt.h"
#include "dr/dreb/drebyint.h"
#include "dr/dru/drue.h"

namespace {

const char *const kModes[] = {"Unnknown!", "Lazy Deletes", "In-place Compaction",
                              "2-Table Compaction", "2-Table Lazy Deletes Compaction",
                              "In-place Lazy Deletes Compaction"};

// Rows one page of the scan reads.
constexpr int kPage = 64;

int internal(drsrvstate *st, int line) {
  dracnierr(st, DRFAC_DRG, 50600, 2, DRA_STR, __FILE__, DRA_INT, line, DRA_END);
  druetrc();
  return 1;
}

using Row = drebirow;

// The scan variant of lazy deletes from VEK_O1_OPT: its first character '1'
// or '2', anything else 0.
int variant() {
  const char *v = std::getenv("VEK_O1_OPT");
  return v && (v[0] == '1' || v[0] == '2') ? v[0] - '0' : 0;
}

// Reads the next page of rows after (word, first), in word and first-doc
// order, into rows; 0, or 1 after pushing. Variants 0 and 2 take the rows
// whose first document lies between the smallest and the largest dead id,
// and of every term the last row beginning at or below the smallest (it
// may reach into the dead range); variant 1 every row beginning at or
// below the largest.
int page(drsrvstate *st, drheap heap, drebiobj *x, int var, uint32_t mindead, uint32_t maxdead,
         const Row *after, std::vector<Row> &rows) {
  rows.clear();
  const char *t = x->tab->name;
  char sql[2000];
  const char *cond = var == 1 ? "first_doc <= :maxd"
                              : "(first_doc BETWEEN :mind AND :maxd OR first_doc = (SELECT max(i.first_doc)"
                                " FROM %(1)s i WHERE i.word_text = o.word_text AND i.first_doc <= :mind))";
  std::string text = std::string("SELECT word_text, first_doc, word_info FROM %(1)s o WHERE ") + cond +
                     (after ? " AND (word_text, first_doc) > (CAST(:w AS varchar), CAST(:f AS bigint))" : "") +
                     " ORDER BY 1, 2 LIMIT " + std::to_string(kPage);
  if (drasmfmt(st->fmt, sql, sizeof sql, text.c_str(), DRA_STR, t, DRA_END) < 0)
    return internal(st, __LINE__);
  uint32_t mind = mindead, maxd = maxdead, f = after ? after->first : 0;
  std::vector<drebibind> b;
  if (var != 1) b.push_back({":mind", &mind, 4, DRUO_UNSIGNED});
  b.push_back({":maxd", &maxd, 4, DRUO_UNSIGNED});
  if (after) {
    b.push_back({":w", const_cast<char *>(after->word.c_str()), static_cast<int32_t>(after->word.size() + 1),
                 DRUO_STRING});
    b.push_back({":f", &f, 4, DRUO_UNSIGNED});
  }
  return drebirows(st, heap, sql, b.data(), static_cast<int>(b.size()), 3, rows);
}

// Rebuilds a row's list without the dead documents into out; *dead the
// documents left out, *kept those kept. 0, or 1 after pushing.
int rebuild(drsrvstate *st, drlstmgr *m, int kind, const Row &r, const int32_t *dead, int32_t ndead,
            drelent *out, int *ndeadhit, int *nkept) {
  drelinit(out);
  drelent rd;
  std::vector<uint8_t> copy(r.info);
  copy.push_back(0);
  drelrdinit(&rd, copy.data(), static_cast<uint32_t>(r.info.size()));
  uint32_t doc = 0;
  int32_t di = 0;
  int rc;
  *ndeadhit = *nkept = 0;
  while ((rc = drelseek(&rd, kind, &doc, 0)) == 0) {
    while (di < ndead && static_cast<uint32_t>(dead[di]) < doc) ++di;
    bool gone = di < ndead && static_cast<uint32_t>(dead[di]) == doc;
    if (gone) ++*ndeadhit;
    else ++*nkept;
    drelgroup ga{}, gb{};
    drelocc occ{0, 0, &ga, &gb};
    int r2;
    while ((r2 = drelnextent(&rd, kind, &occ, 0)) == 0) {
      if (gone) continue;
      drelpost p{doc, occ.pos, &ga, &gb};
      if (drelputdoc(st, m, out, kind, &p, nullptr) != 0) return 1;
    }
    if (r2 != 2) {
      rc = r2;
      break;
    }
  }
  if (rc != 2) {
    drelbad(st, r.word.c_str());
    return 1;
  }
  return drelputend(st, m, out);
}

// Writes a rebuilt row back: deleted when nothing is kept, else updated
// with its list and first document; commits. 0, or 1 after a rollback.
int writerow(drsrvstate *st, drheap heap, drebiobj *x, drlstmgr *m, const Row &r, drelent *out,
             int kept) {
  char sql[2000];
  const char *t = kept ? "UPDATE %(1)s SET first_doc = :nf, doclsize = :sz, word_info = :info"
                         " WHERE word_text = :w AND first_doc = :of"
                       : "DELETE FROM %(1)s WHERE word_text = :w AND first_doc = :of";
  if (drasmfmt(st->fmt, sql, sizeof sql, t, DRA_STR, x->tab->name, DRA_END) < 0)
    return internal(st, __LINE__);
  std::vector<uint8_t> buf;
  uint32_t nbytes = 0, nf = 0, of = r.first;
  int rc = 0;
  if (kept) {
    buf.resize(r.info.size() + 16);
    rc = drelread(st, m, out, x->kind, buf.data(), static_cast<uint32_t>(buf.size()), &nbytes, &nf);
  }
  druocur *cur = nullptr;
  if (rc == 0) rc = druoprs(st, heap, sql, &cur);
  if (rc == 0)
    rc = druobnd(st, cur, ":w", const_cast<char *>(r.word.c_str()),
                 static_cast<int32_t>(r.word.size() + 1), DRUO_STRING);
  if (rc == 0) rc = druobnd(st, cur, ":of", &of, 4, DRUO_UNSIGNED);
  if (rc == 0 && kept) rc = druobnd(st, cur, ":nf", &nf, 4, DRUO_UNSIGNED);
  if (rc == 0 && kept) rc = druobnd(st, cur, ":sz", &nbytes, 4, DRUO_UNSIGNED);
  if (rc == 0 && kept)
    rc = druobnd(st, cur, ":info", buf.data(), static_cast<int32_t>(nbytes), DRUO_LONGRAW);
  if (rc == 0) rc = druoexe(st, cur);
  druofre(st, heap, &cur);
  if (rc == 0) rc = druocmt(st);
  if (rc != 0) {
    druorbk(st, &druorepq);
    druetrc();
    return 1;
  }
  return 0;
}

// Lazy deletes over the whole token table; 0, or 1 after pushing.
int drebigc(drebiobj *x, const int32_t *dead, int32_t ndead, int var) {
  drsrvstate *st = x->st;
  if (x->mode != 1) return internal(st, __LINE__);
  if (ndead < 2)
    dracnprt(st, st->log, "Garbage-collecting for one dead document %d.\n", DRA_SB4, &dead[0], 0);
  else
    dracnprt(st, st->log, "Garbage-collecting %d dead documents between %d and %d.\n", DRA_SB4, &ndead,
             DRA_SB4, &dead[0], DRA_SB4, &dead[ndead - 1], 0);
  int32_t taken = 0, deleted = 0, updated = 0;
  std::vector<Row> rows;
  Row last;
  bool started = false;
  for (;;) {
    if (page(st, x->heap, x, var, static_cast<uint32_t>(dead[0]), static_cast<uint32_t>(dead[ndead - 1]),
             started ? &last : nullptr, rows) != 0)
      return 1;
    for (const Row &r : rows) {
      if (taken % 1024 == 0 && dreupoob && dreupoob(st) != 0) {
        druetrc();
        return 1;
      }
      ++taken;
      drlstreq req{};
      req.type = DRLST_LIGHT;
      drlstmgr *m = nullptr;
      if (dreulnew(st, x->heap, &req, &m) != 0) {
        druetrc();
        return 1;
      }
      drelent out;
      int hits = 0, kept = 0;
      int rc = rebuild(st, m, x->kind, r, dead, ndead, &out, &hits, &kept);
      if (rc == 0 && hits > 0) {
        rc = writerow(st, x->heap, x, m, r, &out, kept);
        if (rc == 0) ++(kept ? updated : deleted);
      }
      m->ops.free(m);
      if (rc != 0) {
        druetrc();
        return 1;
      }
    }
    if (rows.size() < static_cast<size_t>(kPage)) break;
    last = rows.back();
    started = true;
  }
  dracnprt(st, st->log, "Rows read %d, deleted %d, updated %d.\n", DRA_SB4, &taken, DRA_SB4, &deleted,
           DRA_SB4, &updated, 0);
  return 0;
}

}  // namespace

int drebiopt(drobj *o, drlstmgr *, int32_t srvcnt, int32_t srvno, const int32_t *dead, int32_t ndead,
             int32_t mode, int32_t threshold) {
  drebiobj *x = reinterpret_cast<drebiobj *>(o);
  drsrvstate *st = x->st;
  const char *name = mode >= 1 && mode <= 5 ? kModes[mode] : kModes[0];
  dracnprt(st, st->log, "(SID=%d): Starting index optimization for %s...\n", DRA_SB4, &srvno, DRA_STR,
           name, 0);
  if (((ndead != 0 || dead) && (ndead <= 0 || !dead)) || srvcnt < srvno) return internal(st, __LINE__);
  int rc = 0;
  if (mode == 1) {
    x->curstate = DREBI_OPEN;
    rc = ndead > 0 ? drebigc(x, dead, ndead, variant()) : 0;
    x->curstate = DREBI_OPEN;
  } else if (mode >= 2 && mode <= 5) {
    x->curstate = DREBI_OPEN;
    rc = drebicompx(x, srvcnt, srvno, dead, ndead, mode, threshold);
    x->curstate = DREBI_OPEN;
  }
  if (rc != 0) {
    druetrc();
    return 1;
  }
  dracnprt(st, st->log, "(SID=%d): Ending index optimization...\n", DRA_SB4, &srvno, 0);
  return 0;
}
