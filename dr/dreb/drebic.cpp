// Compaction of the token table: a term's consecutive rows are merged into
// as few rows as fit the row width, in place (modes 2 and 5) or into the
// other token table of the pair (modes 3 and 4); modes 4 and 5 leave out
// the postings of dead documents. Terms are written and committed in
// batches. Every scan reads in pages, each page a statement of its own that
// starts after the last key of the one before, so no cursor outlives the
// commits and a run needs no restart when older data is gone. With several
// servers mode 2 splits the terms by a hash of their first two characters
// and modes 3 to 5 work through the ranges of words assigned to each server
// in the policy's work-range table.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "dr/dras/dras.h"
#include "dr/drd/drd.h"
#include "dr/dreb/dreb.h"
#include "dr/dreb/drebiopt.h"
#include "dr/dreb/drebyint.h"
#include "dr/dru/drue.h"
#include "platform/nls/nls.h"

namespace {

// Rows, and terms of mode 2, one page reads.
constexpr int kRowPage = 256;
constexpr int kTermPage = 500;

int internal(drsrvstate *st, int line, int32_t a = 0) {
  dracnierr(st, DRFAC_DRG, 50600, 2, DRA_STR, __FILE__, DRA_INT, line, DRA_SB4, &a, DRA_END);
  druetrc();
  return 1;
}

using Row = drebirow;
using Bind = drebibind;

// A rebuilt list and the row it goes to: in place, the row of first
// document first (its key); into the other table, a new row.
struct Rec {
  std::string word;
  uint32_t first = 0;
  drelent list;
  int32_t docs = 0;      // documents written to the list
  bool open = false;     // the list was started (and must be ended)
  bool changed = false;  // merged with another row, or lost a document
};

// One run of compaction.
struct Run {
  drebiobj *x;
  drsrvstate *st;
  int32_t mode, srvno, batch;
  const int32_t *dead;
  int32_t ndead;
  drlstmgr *m = nullptr;       // the lists of the current batch
  std::deque<Rec> recs;        // records of the batch (stable addresses)
  int32_t terms = 0;           // terms in the batch
  int32_t read = 0, after = 0, met = 0;
  int32_t check = 0;           // rows read at the next out-of-band check
};

// Terms per batch from VEK_TERM_BATCH: its first three characters as a
// decimal number, 1 to 100; otherwise the mode's default.
int32_t termbatch(int32_t mode) {
  int32_t dflt = mode == 3 || mode == 4 ? 25 : 1;
  const char *v = std::getenv("VEK_TERM_BATCH");
  if (!v || !*v) return dflt;
  char three[4] = {};
  std::strncpy(three, v, 3);
  char *end = nullptr;
  long n = std::strtol(three, &end, 10);
  if (end == three || n < 1 || n > 100) return dflt;
  return static_cast<int32_t>(n);
}

int format(drsrvstate *st, char *sql, size_t size, const std::string &text, const char *table) {
  if (drasmfmt(st->fmt, sql, size, text.c_str(), DRA_STR, table, DRA_END) < 0)
    return internal(st, __LINE__);
  return 0;
}

// ---- the writers ----

// Rebinds and runs one statement on a parsed cursor for one row: the key
// (old) when asked, the new row's values when full.
int execrow(drsrvstate *st, druocur *cur, Rec &r, uint32_t *nf, uint32_t *sz, uint8_t *info,
            bool key, bool full) {
  int rc = druobnd(st, cur, ":w", const_cast<char *>(r.word.c_str()),
                   static_cast<int32_t>(r.word.size() + 1), DRUO_STRING);
  if (rc == 0 && key) rc = druobnd(st, cur, ":of", &r.first, 4, DRUO_UNSIGNED);
  if (rc == 0 && full) rc = druobnd(st, cur, ":nf", nf, 4, DRUO_UNSIGNED);
  if (rc == 0 && full) rc = druobnd(st, cur, ":sz", sz, 4, DRUO_UNSIGNED);
  if (rc == 0 && full) rc = druobnd(st, cur, ":info", info, static_cast<int32_t>(*sz), DRUO_LONGRAW);
  if (rc == 0) rc = druoexe(st, cur);
  return rc;
}

// Deletes, in place, the rows of one term whose lists came out empty: one
// statement for the term, its rows named by their first documents (only
// the rows read, never a range that could take a row written meanwhile).
int delempty(Run &r, druocur *&cur, const char *sql, std::deque<Rec>::iterator from,
             std::deque<Rec>::iterator to) {
  std::string firsts;
  for (auto i = from; i != to; ++i)
    if (i->docs == 0) firsts += (firsts.empty() ? "" : ",") + std::to_string(i->first);
  if (firsts.empty()) return 0;
  if (!cur && druoprs(r.st, r.x->heap, sql, &cur) != 0) return 1;
  int rc = druobnd(r.st, cur, ":w", const_cast<char *>(from->word.c_str()),
                   static_cast<int32_t>(from->word.size() + 1), DRUO_STRING);
  if (rc == 0)
    rc = druobnd(r.st, cur, ":ofs", firsts.data(), static_cast<int32_t>(firsts.size() + 1), DRUO_STRING);
  if (rc == 0) rc = druoexe(r.st, cur);
  return rc;
}

// Writes the batch and commits: in place the rows whose list came out
// empty are deleted first (their keys may be the new first documents of
// the rows merged into), then the changed rows are updated; into the other
// table every non-empty list is a new row. 0, or 1 after a rollback.
int writebatch(Run &r) {
  drebiobj *x = r.x;
  drsrvstate *st = r.st;
  bool inplace = r.mode == 2 || r.mode == 5;
  char del[2000], put[2000];
  int rc = format(st, del, sizeof del,
                  "DELETE FROM %(1)s WHERE word_text = :w AND first_doc = ANY (CAST(string_to_array("
                  "CAST(:ofs AS text), ',') AS bigint[]))",
                  x->tab->name);
  if (rc == 0)
    rc = inplace ? format(st, put, sizeof put,
                          "UPDATE %(1)s SET first_doc = :nf, doclsize = :sz, word_info = :info"
                          " WHERE word_text = :w AND first_doc = :of",
                          x->tab->name)
                 : format(st, put, sizeof put,
                          "INSERT INTO %(1)s (word_text, first_doc, doclsize, word_info)"
                          " VALUES (:w, :nf, :sz, :info)",
                          x->alttab ? x->alttab->name : "");
  if (rc == 0 && !inplace && !x->alttab) rc = internal(st, __LINE__);
  druocur *dc = nullptr, *pc = nullptr;
  std::vector<uint8_t> buf;
  // A term's records are next to each other in the batch.
  for (auto i = r.recs.begin(); rc == 0 && inplace && i != r.recs.end();) {
    auto j = i;
    while (j != r.recs.end() && j->word == i->word) ++j;
    rc = delempty(r, dc, del, i, j);
    i = j;
  }
  if (rc == 0) {
    for (Rec &c : r.recs) {
      if (c.docs == 0 || (inplace && !c.changed)) continue;
      if (!pc && druoprs(st, x->heap, put, &pc) != 0) {
        rc = 1;
        break;
      }
      buf.resize(c.list.nbytes + 16);
      uint32_t nb = 0, nf = 0;
      if ((rc = drelread(st, r.m, &c.list, x->kind, buf.data(), static_cast<uint32_t>(buf.size()), &nb,
                         &nf)) != 0)
        break;
      if ((rc = execrow(st, pc, c, &nf, &nb, buf.data(), inplace, true)) != 0) break;
    }
  }
  if (dc) druofre(st, x->heap, &dc);
  if (pc) druofre(st, x->heap, &pc);
  if (rc == 0) rc = druocmt(st);
  if (rc != 0) {
    druorbk(st, &druorepq);
    druetrc();
    return 1;
  }
  return 0;
}

// Writes the batch when it holds anything and starts the next one with a
// fresh list manager. 0, or 1 after pushing.
int flush(Run &r) {
  int rc = 0;
  if (!r.recs.empty()) rc = writebatch(r);
  r.recs.clear();
  r.terms = 0;
  if (r.m) r.m->ops.free(r.m);
  r.m = nullptr;
  if (rc == 0) {
    drlstreq req{};
    req.type = DRLST_LIGHT;
    if (dreulnew(r.st, r.x->heap, &req, &r.m) != 0) rc = 1;
  }
  if (rc) druetrc();
  return rc;
}

// ---- merging ----

int oob(Run &r);

// Ends a record's list; a record never started gets an empty one.
int endlist(Run &r, Rec &c) {
  if (!c.open) return 0;
  c.open = false;
  return drelputend(r.st, r.m, &c.list);
}

// Copies the documents of one row into a record's list, leaving out the
// dead ones in modes 4 and 5.
int copyrow(Run &r, const Row &row, Rec &c) {
  bool gc = r.mode == 4 || r.mode == 5;
  int32_t kept = 0, dropped = 0;
  if (drebimerge(r.st, r.m, r.x->kind, row.info.data(), static_cast<uint32_t>(row.info.size()),
                 row.word.c_str(), gc ? r.dead : nullptr, gc ? r.ndead : 0, &c.list, &kept,
                 &dropped) != 0) {
    druetrc();
    return 1;
  }
  c.docs += kept;
  if (dropped) c.changed = true;
  return 0;
}

Rec &newrec(Run &r, const Row &row) {
  Rec &c = r.recs.emplace_back();
  c.word = row.word;
  c.first = row.first;
  drelinit(&c.list);
  return c;
}

// Merges the rows of one term (in first-document order). A row starts a
// new list when adding it would take the list past the row width;
// otherwise its documents follow the list's. In place every row has a
// record keyed by its own first document and a list goes to the record of
// the row it starts from: the records of the rows merged into it are left
// empty and deleted. Into the other table each list is a record of its
// own. 0, or 1 after pushing.
int mergeterm(Run &r, const std::vector<Row> &rows) {
  if (rows.empty()) return 0;
  if (oob(r) != 0) return 1;
  bool inplace = r.mode == 2 || r.mode == 5;
  // Records of a term stay together in one batch: write first what would
  // take the batch past the list capacity, or what completes its terms.
  if (!r.recs.empty() &&
      (r.terms >= r.batch || r.recs.size() + rows.size() > r.x->listcap)) {
    if (flush(r) != 0) return 1;
  }
  ++r.met;
  ++r.terms;
  r.read += static_cast<int32_t>(rows.size());
  size_t before = r.recs.size();
  uint64_t width = r.x->rowwidth, running = 0;
  Rec *cur = nullptr;
  for (const Row &row : rows) {
    uint64_t sz = row.info.size();
    Rec *c = inplace ? &newrec(r, row) : nullptr;
    if (!cur || width < running + sz - 1) {
      if (cur && endlist(r, *cur) != 0) return 1;
      cur = c ? c : &newrec(r, row);
      cur->open = true;
      running = sz;
    } else {
      running += sz - 1;
      cur->changed = true;
    }
    if (copyrow(r, row, *cur) != 0) return 1;
  }
  if (cur && endlist(r, *cur) != 0) return 1;
  for (size_t i = before; i < r.recs.size(); ++i)
    if (r.recs[i].docs > 0) ++r.after;
  return 0;
}

// ---- the scans ----

// The out-of-band check, at the start and then once every 1024 rows read.
int oob(Run &r) {
  if (r.read < r.check) return 0;
  r.check = (r.read / 1024 + 1) * 1024;
  if (dreupoob && dreupoob(r.st) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

// Mode 2: the terms worth compacting, chosen by the database, then each
// term's rows.
int compterms(Run &r, int32_t srvcnt, int32_t thold) {
  drebiobj *x = r.x;
  drsrvstate *st = r.st;
  int32_t p = srvcnt, q = r.srvno;
  int32_t th = thold >= 1 && thold <= 99 ? thold : 50;
  // The percentage and the division by the row target are exact here.
  std::string split =
      srvcnt >= 2 ? " AND mod(ascii(word_text) * coalesce(nullif(ascii(substr(word_text, 2, 1)), 0), 1),"
                    " CAST(:p AS integer)) = (CAST(:q AS integer) - 1)"
                  : "";
  std::string target = std::to_string(x->rowtarget);
  std::string having = " GROUP BY word_text HAVING count(*) > 1 AND (min(doclsize) + max(doclsize)) < " +
                       target + " AND (sum(doclsize)::numeric / " + target +
                       ") <= floor((CAST(:thold AS numeric) / 100) * count(*)) ORDER BY 1 LIMIT " +
                       std::to_string(kTermPage);
  char tsql[2000], rsql[2000];
  if (format(st, rsql, sizeof rsql,
             "SELECT word_text, first_doc, word_info FROM %(1)s WHERE word_text = :w ORDER BY 2",
             x->tab->name) != 0)
    return 1;
  std::string last;
  bool started = false;
  for (;;) {
    std::string text = std::string("SELECT word_text FROM %(1)s WHERE true") +
                       (started ? " AND word_text > CAST(:last AS varchar)" : "") + split + having;
    if (format(st, tsql, sizeof tsql, text, x->tab->name) != 0) return 1;
    std::vector<Bind> b{{":thold", &th, 4, DRUO_INTEGER}};
    if (srvcnt >= 2) {
      b.push_back({":p", &p, 4, DRUO_INTEGER});
      b.push_back({":q", &q, 4, DRUO_INTEGER});
    }
    if (started)
      b.push_back({":last", const_cast<char *>(last.c_str()), static_cast<int32_t>(last.size() + 1),
                   DRUO_STRING});
    std::vector<Row> terms;
    if (drebirows(st, x->heap, tsql, b.data(), static_cast<int>(b.size()), 1, terms) != 0) return 1;
    for (const Row &t : terms) {
      std::vector<Row> rows;
      Bind w{":w", const_cast<char *>(t.word.c_str()), static_cast<int32_t>(t.word.size() + 1),
             DRUO_STRING};
      if (drebirows(st, x->heap, rsql, &w, 1, 3, rows) != 0 || mergeterm(r, rows) != 0) {
        druetrc();
        return 1;
      }
    }
    if (terms.size() < static_cast<size_t>(kTermPage)) break;
    last = terms.back().word;
    started = true;
  }
  if (flush(r) != 0) return 1;
  dracnprt(st, st->log, "Terms compacted %d, rows used before = %d, rows used after = %d.\n", DRA_SB4,
           &r.met, DRA_SB4, &r.read, DRA_SB4, &r.after, 0);
  return 0;
}

// Modes 3 to 5: every row in word and first-document order, within
// [lv, hv] when given; a term's rows are merged once all are read.
int comprows(Run &r, const char *lv, const char *hv) {
  drebiobj *x = r.x;
  drsrvstate *st = r.st;
  char sql[2000];
  Row last;
  bool started = false;
  std::vector<Row> term;
  int32_t met0 = r.met, read0 = r.read, after0 = r.after;
  for (;;) {
    std::string text = std::string("SELECT word_text, first_doc, word_info FROM %(1)s WHERE true") +
                       (lv ? " AND word_text BETWEEN CAST(:lv AS varchar) AND CAST(:hv AS varchar)" : "") +
                       (started ? " AND (word_text, first_doc) > (CAST(:w AS varchar), CAST(:f AS bigint))"
                                : "") +
                       " ORDER BY 1, 2 LIMIT " + std::to_string(kRowPage);
    if (format(st, sql, sizeof sql, text, x->tab->name) != 0) return 1;
    std::vector<Bind> b;
    if (lv) {
      b.push_back({":lv", const_cast<char *>(lv), static_cast<int32_t>(std::strlen(lv) + 1), DRUO_STRING});
      b.push_back({":hv", const_cast<char *>(hv), static_cast<int32_t>(std::strlen(hv) + 1), DRUO_STRING});
    }
    if (started) {
      b.push_back({":w", const_cast<char *>(last.word.c_str()), static_cast<int32_t>(last.word.size() + 1),
                   DRUO_STRING});
      b.push_back({":f", &last.first, 4, DRUO_UNSIGNED});
    }
    std::vector<Row> rows;
    if (drebirows(st, x->heap, sql, b.data(), static_cast<int>(b.size()), 3, rows) != 0) return 1;
    for (Row &row : rows) {
      if (!term.empty() && term.front().word != row.word) {
        if (mergeterm(r, term) != 0) return 1;
        term.clear();
      }
      term.push_back(row);
    }
    if (rows.size() < static_cast<size_t>(kRowPage)) break;
    last.word = rows.back().word;
    last.first = rows.back().first;
    started = true;
  }
  if (mergeterm(r, term) != 0 || flush(r) != 0) return 1;
  int32_t met = r.met - met0, read = r.read - read0, after = r.after - after0;
  dracnprt(st, st->log,
           r.mode == 3 ? "(SID=%d): Terms compacted %d, rows used before = %d, rows used after = %d.\n"
                       : "(SID=%d): Terms processed %d, rows used before = %d, rows used after = %d.\n",
           DRA_SB4, &r.srvno, DRA_SB4, &met, DRA_SB4, &read, DRA_SB4, &after, 0);
  return 0;
}

// Modes 3 to 5 with several servers: the ranges of words assigned to this
// server, one at a time, each marked complete once its scan is done.
int compranges(Run &r) {
  drsrvstate *st = r.st;
  char table[80], lv[DREBI_WORDSLOT], hv[DREBI_WORDSLOT];
  if (drdcnam(st, static_cast<int32_t>(r.x->polid), "RDTOPT", table, sizeof table) != 0) {
    druetrc();
    return 1;
  }
  for (;;) {
    int g = drudgetrange(st, r.x->heap, table, lv, hv, r.srvno);
    if (g == 2) return 0;
    if (g != 0 || comprows(r, lv, hv) != 0 || drudsetstat(st, r.x->heap, table, "C", r.srvno) != 0) {
      druetrc();
      return 1;
    }
  }
}

}  // namespace

int drebimerge(drsrvstate *st, drlstmgr *m, int kind, const uint8_t *row, uint32_t len,
               const char *word, const int32_t *dead, int32_t ndead, drelent *out, int32_t *kept,
               int32_t *dropped) {
  *kept = *dropped = 0;
  drelent rd;
  drelrdinit(&rd, row, len);
  uint32_t doc = 0;
  // The dead ids below the row's first document matter to none of its.
  int32_t di = 0;
  if (ndead > 0) {
    auto *d = reinterpret_cast<const uint32_t *>(dead);
    uint32_t first = 0;
    drelent peek;
    drelrdinit(&peek, row, len);
    if (drelseek(&peek, kind, &first, 0) == 0)
      di = static_cast<int32_t>(std::lower_bound(d, d + ndead, first) - d);
  }
  int rc;
  while ((rc = drelseek(&rd, kind, &doc, 0)) == 0) {
    while (di < ndead && static_cast<uint32_t>(dead[di]) < doc) ++di;
    bool gone = di < ndead && static_cast<uint32_t>(dead[di]) == doc;
    ++*(gone ? dropped : kept);
    drelgroup ga{}, gb{};
    drelocc occ{0, 0, &ga, &gb};
    int r2;
    while ((r2 = drelnextent(&rd, kind, &occ, 0)) == 0) {
      if (gone) continue;
      drelpost p{doc, occ.pos, &ga, &gb};
      if (drelputdoc(st, m, out, kind, &p, nullptr) != 0) {
        druetrc();
        return 1;
      }
    }
    if (r2 != 2) {
      rc = r2;
      break;
    }
  }
  if (rc != 2) {
    drelbad(st, word);
    return 1;
  }
  return 0;
}

int drebicompx(drebiobj *x, int32_t srvcnt, int32_t srvno, const int32_t *dead, int32_t ndead, int32_t mode,
               int32_t thold) {
  drsrvstate *st = x->st;
  if (x->mode != 1 || mode < 2 || mode > 5) return internal(st, __LINE__, mode);
  if ((mode == 3 || mode == 4) && !x->alttab) return internal(st, __LINE__, mode);
  Run r{x, st, mode, srvno, termbatch(mode), dead, ndead};
  if (mode != 4 && mode != 5) r.ndead = 0;
  int rc = flush(r);
  if (rc == 0) {
    if (mode == 2) rc = compterms(r, srvcnt, thold);
    else if (srvcnt < 2) rc = comprows(r, nullptr, nullptr);
    else rc = compranges(r);
  }
  r.recs.clear();
  if (r.m) r.m->ops.free(r.m);
  if (rc) druetrc();
  return rc;
}

int drebirows(drsrvstate *st, drheap heap, const char *sql, const drebibind *binds, int nbinds, int ncols,
              std::vector<drebirow> &rows) {
  druocur *cur = nullptr;
  int rc = druoprs(st, heap, sql, &cur);
  char word[DREBI_WORDSLOT] = "";
  uint32_t first = 0;
  uint8_t *info = nullptr;
  int16_t ind = 0;
  uint16_t len = 0;
  if (rc == 0 && ncols > 1) {
    info = static_cast<uint8_t *>(drumalz(st, st->hpmgr, heap, DREBI_SCANWIDTH, __FILE__, __LINE__));
    if (!info) rc = 1;
  }
  for (int i = 0; rc == 0 && i < nbinds; ++i)
    rc = druobnd(st, cur, binds[i].name, binds[i].buf, binds[i].size, binds[i].type);
  if (rc == 0) rc = druodef(st, cur, 1, word, sizeof word, DRUO_STRING);
  if (rc == 0 && ncols > 1) rc = druodef(st, cur, 2, &first, 4, DRUO_UNSIGNED);
  if (rc == 0 && ncols > 1) rc = druodef(st, cur, 3, info, DREBI_SCANWIDTH, DRUO_LONGRAW, &ind, &len);
  if (rc == 0) rc = druoexe(st, cur);
  drebylong big{};
  while (rc == 0) {
    int f = druofet(st, cur, 1, &druorepq);
    if (f == DRUO_NODATA) break;
    if (f != 0 && f != DRUO_TRUNC) {
      druoerr(st, f, 0, 2);
      rc = 1;
      break;
    }
    drebirow r{word, first, {}};
    if (ncols > 1) {
      const uint8_t *data = info;
      uint32_t n = len;
      if (ind == -1) n = 0;
      else if (drebyrowget(st, heap, cur, 0, ind, &data, &n, &big, word) != 0) {
        rc = 1;
        break;
      }
      r.info.assign(data, data + n);
    }
    rows.push_back(std::move(r));
  }
  drebylongfree(st, heap, &big);
  if (info) {
    void *p = info;
    drumfre(st, st->hpmgr, heap, &p);
  }
  druofre(st, heap, &cur);
  if (rc) druetrc();
  return rc != 0;
}
