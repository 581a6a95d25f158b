/* The generator of the rewritten statement: every FROM-list entry that
 * carries text predicates becomes a derived table joining the table with
 * its result tables (rows without a hit kept with score 0), ROWID columns
 * read that table's DR$ROWID, and the markers the walk left are expanded
 * into score columns and handle expressions. Everything happens in place
 * in the rewrite's output text. */
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dr/drz/drzint.h"

namespace {

constexpr int32_t kTextFull = 11301;
constexpr int32_t kInternal = 11325;
constexpr int32_t kNoLabel = 11305;
constexpr int32_t kNoSplit = 11333;
constexpr int32_t kWork = 4000;     /* a derived table: at most the whole text */
constexpr int32_t kHandle = 2048;   /* a handle expression */

/* Room for n more bytes of the output text, else 11301. */
void room(drsrvstate *st, const drzsstate *rs, int32_t n) {
  if (n > rs->textcap - rs->textlen) drzgterr(st, kTextFull);
}

void insert(drsrvstate *st, drzsstate *rs, int32_t pos, const char *bytes, int32_t n) {
  room(st, rs, n);
  drzrmove(st, rs->text + pos + n, rs->text + pos, static_cast<size_t>(rs->textlen - pos));
  std::memcpy(rs->text + pos, bytes, static_cast<size_t>(n));
  rs->textlen += n;
}

void remove(drsrvstate *st, drzsstate *rs, int32_t pos, int32_t n) {
  if (n > rs->textlen - pos) n = rs->textlen - pos;
  drzrmove(st, rs->text + pos, rs->text + pos + n, static_cast<size_t>(rs->textlen - pos - n));
  rs->textlen -= n;
}

void num(drsrvstate *st, char *base, int32_t *len, int32_t cap, int32_t v) {
  char b[16];
  int n = std::snprintf(b, sizeof b, "%d", static_cast<int>(v));
  drzcat(st, base, len, cap, b, n);
}

/* The key-column list of a result table with n keys. */
void keylist(drsrvstate *st, char *base, int32_t *len, int32_t cap, int32_t n) {
  for (int32_t k = 1; k <= n; k++) {
    if (k > 1) drzcats(st, base, len, cap, ",");
    drzcats(st, base, len, cap, "TEXTKEY");
    if (k > 1) num(st, base, len, cap, k);
  }
}

bool isplain(const char *name, int32_t n) {
  if (n <= 0 || (name[0] >= '0' && name[0] <= '9')) return false;
  for (int32_t i = 0; i < n; i++) {
    char c = name[i];
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' || c == '#'))
      return false;
  }
  return true;
}

/* The join of an entry with the result table of a predicate: A.K = R.TEXTKEY
 * for each key column, parenthesised when there are several. */
void join(drsrvstate *st, char *w, int32_t *wl, const drzgtref *ref, const char *rtab,
          char keys[16][65], int32_t nkeys) {
  if (nkeys > 1) drzcats(st, w, wl, kWork, "(");
  for (int32_t k = 0; k < nkeys; k++) {
    if (k) drzcats(st, w, wl, kWork, " AND ");
    drzpname(st, w, wl, kWork, ref, 8);
    drzcats(st, w, wl, kWork, ".");
    drzpword(st, w, wl, kWork, keys[k], static_cast<int32_t>(std::strlen(keys[k])), 0);
    drzcats(st, w, wl, kWork, " = ");
    drzcats(st, w, wl, kWork, rtab);
    drzcats(st, w, wl, kWork, ".TEXTKEY");
    if (k) num(st, w, wl, kWork, k + 1);
  }
  if (nkeys > 1) drzcats(st, w, wl, kWork, ")");
}

/* The join conditions of every predicate of an entry, or of the first only
 * when the result table is shared; 0, or 1 after pushing. */
int joins(drsrvstate *st, const drzsstate *rs, char *w, int32_t *wl, const drzstab *t) {
  for (drzspred *p = t->preds; p; p = p->next) {
    char keys[16][65];
    int32_t n = 0;
    if (drzpkeys(st, p->textkey, keys, &n) != 0) {
      drzpush(st, kNoSplit, p->textkey);
      return 1;
    }
    if (p != t->preds) drzcats(st, w, wl, kWork, " OR ");
    join(st, w, wl, t->ref, p->tabname, keys, n);
    if (rs->shared) break;
  }
  return 0;
}

/* The select list of one branch of an entry's derived table: the ROWID
 * column it serves and every column of the entry. */
void columns(drsrvstate *st, char *w, int32_t *wl, const drzgtref *ref, drzscol *rid) {
  if (rid) {
    drzpname(st, w, wl, kWork, ref, 8);
    drzcats(st, w, wl, kWork, ".ROWID DR$ROWID, ");
    rid->mark = 1;
  }
  drzpname(st, w, wl, kWork, ref, 8);
  drzcats(st, w, wl, kWork, ".*");
}

/* The derived table of an entry with several predicates, each with a
 * result table of its own. The rows with a hit in some table are found
 * through the tables' keys (the entry's key index serves them), each once
 * with a score from every table (0 without a hit), one outer join per
 * table; the rows without any hit follow with scores of 0. A join of all
 * the tables at once with the conditions joined by OR would repeat a row
 * once for every pair of hits; one outer join over the whole entry would
 * read every row for the hits of one. Every score column is an integer in
 * both branches, so that the planner can push the statement's condition
 * on the scores into each and drop the second when it asks for a hit. */
int outer(drsrvstate *st, char *w, int32_t *wl, drzstab *t, drzscol *rid) {
  const drzgtref *ref = t->ref;
  char keys[16][65];
  int32_t n = 0;
  /* The key columns of predicate p into keys and n; 0, or 1 after pushing. */
  auto split = [&](const drzspred *p) {
    if (drzpkeys(st, p->textkey, keys, &n) == 0) return 0;
    drzpush(st, kNoSplit, p->textkey);
    return 1;
  };
  drzcats(st, w, wl, kWork, "((SELECT ");
  columns(st, w, wl, ref, rid);
  for (drzspred *p = t->preds; p; p = p->next) {
    drzcats(st, w, wl, kWork, ", COALESCE(");
    drzcats(st, w, wl, kWork, p->tabname);
    drzcats(st, w, wl, kWork, ".SCORE, 0) SCORE");
    num(st, w, wl, kWork, p->contid);
  }
  drzcats(st, w, wl, kWork, " FROM ");
  drzpname(st, w, wl, kWork, ref, 15);
  for (drzspred *p = t->preds; p; p = p->next) {
    if (split(p) != 0) return 1;
    drzcats(st, w, wl, kWork, " LEFT OUTER JOIN ");
    drzcats(st, w, wl, kWork, p->tabname);
    drzcats(st, w, wl, kWork, " ON ");
    join(st, w, wl, ref, p->tabname, keys, n);
  }
  /* The rows with a hit: one IN over the union of the tables' keys for
   * the predicates whose policies have the same key columns, joined by OR
   * to the others'. */
  drzcats(st, w, wl, kWork, " WHERE ");
  for (drzspred *p = t->preds; p; p = p->next) {
    bool first = true;
    for (drzspred *q = t->preds; q != p && first; q = q->next)
      first = std::strcmp(q->textkey, p->textkey) != 0;
    if (!first) continue;
    if (p != t->preds) drzcats(st, w, wl, kWork, " OR ");
    if (split(p) != 0) return 1;
    if (n > 1) drzcats(st, w, wl, kWork, "(");
    for (int32_t k = 0; k < n; k++) {
      if (k) drzcats(st, w, wl, kWork, ", ");
      drzpname(st, w, wl, kWork, ref, 8);
      drzcats(st, w, wl, kWork, ".");
      drzpword(st, w, wl, kWork, keys[k], static_cast<int32_t>(std::strlen(keys[k])), 0);
    }
    if (n > 1) drzcats(st, w, wl, kWork, ")");
    drzcats(st, w, wl, kWork, " IN (");
    for (drzspred *q = p; q; q = q->next) {
      if (std::strcmp(q->textkey, p->textkey) != 0) continue;
      if (q != p) drzcats(st, w, wl, kWork, " UNION ");
      drzcats(st, w, wl, kWork, "SELECT ");
      keylist(st, w, wl, kWork, n);
      drzcats(st, w, wl, kWork, " FROM ");
      drzcats(st, w, wl, kWork, q->tabname);
    }
    drzcats(st, w, wl, kWork, ")");
  }
  drzcats(st, w, wl, kWork, ") UNION ALL (SELECT ");
  columns(st, w, wl, ref, rid);
  for (drzspred *p = t->preds; p; p = p->next) drzcats(st, w, wl, kWork, ", 0");
  drzcats(st, w, wl, kWork, " FROM ");
  drzpname(st, w, wl, kWork, ref, 15);
  drzcats(st, w, wl, kWork, " WHERE ");
  for (drzspred *p = t->preds; p; p = p->next) {
    if (split(p) != 0) return 1;
    if (p != t->preds) drzcats(st, w, wl, kWork, " AND ");
    drzcats(st, w, wl, kWork, "NOT EXISTS (SELECT NULL FROM ");
    drzcats(st, w, wl, kWork, p->tabname);
    drzcats(st, w, wl, kWork, " WHERE ");
    join(st, w, wl, ref, p->tabname, keys, n);
    drzcats(st, w, wl, kWork, ")");
  }
  drzcats(st, w, wl, kWork, ")) ");
  if (ref->alias) drzpword(st, w, wl, kWork, ref->alias->text, ref->alias->len, 0);
  return 0;
}

/* The derived table of entry t of block b into w (kWork bytes); sets the
 * mark of the ROWID column it serves. 0, or 1 after pushing. */
int derive(drsrvstate *st, drzsstate *rs, drzsblk *b, drzstab *t, char *w, int32_t *wl) {
  const drzgtref *ref = t->ref;
  drzscol *rid = nullptr;
  /* A ROWID qualified by the entry's alias is the entry's too: the alias is
   * the only name the select list can use for it once it has one. */
  auto same = [](const drzgtstr *x, const drzgtstr *y) {
    return x && y && x->len == y->len && std::memcmp(x->text, y->text, x->len) == 0;
  };
  for (drzscol *c = b->rowids; c && !rid; c = c->next)
    if (!c->table || same(c->table, ref->table) || same(c->table, ref->alias)) rid = c;
  if (rs->shared == 0 && t->preds && t->preds->next) return outer(st, w, wl, t, rid);
  drzcats(st, w, wl, kWork, "((SELECT ");
  if (rid) {
    drzpname(st, w, wl, kWork, ref, 8);
    drzcats(st, w, wl, kWork, ".ROWID DR$ROWID, ");
    rid->mark = 1;
  }
  drzpname(st, w, wl, kWork, ref, 8);
  drzcats(st, w, wl, kWork, ".*");
  int32_t npred = 0;
  for (drzspred *p = t->preds; p; p = p->next, npred++) {
    drzcats(st, w, wl, kWork, ", ");
    if (rs->shared == 0) {
      drzcats(st, w, wl, kWork, p->tabname);
      drzcats(st, w, wl, kWork, ".SCORE ");
    }
    drzcats(st, w, wl, kWork, "SCORE");
    num(st, w, wl, kWork, p->contid);
  }
  drzcats(st, w, wl, kWork, " FROM ");
  drzpname(st, w, wl, kWork, ref, 15);
  const drzspred *p1 = t->preds;
  if (rs->shared) {
    char keys[16][65];
    int32_t n = 0;
    if (drzpkeys(st, p1->textkey, keys, &n) != 0) {
      drzpush(st, kNoSplit, p1->textkey);
      return 1;
    }
    drzcats(st, w, wl, kWork, ", (SELECT ");
    keylist(st, w, wl, kWork, n);
    drzcats(st, w, wl, kWork, " ");
    for (drzspred *p = t->preds; p; p = p->next) {
      drzcats(st, w, wl, kWork, ", SUM(DECODE(CONID,");
      num(st, w, wl, kWork, p->contid);
      drzcats(st, w, wl, kWork, ",SCORE,0)) SCORE");
      num(st, w, wl, kWork, p->contid);
    }
    drzcats(st, w, wl, kWork, " FROM ");
    drzcats(st, w, wl, kWork, p1->tabname);
    drzcats(st, w, wl, kWork, " GROUP BY ");
    keylist(st, w, wl, kWork, n);
    drzcats(st, w, wl, kWork, ") ");
    drzcats(st, w, wl, kWork, p1->tabname);
  } else {
    for (drzspred *p = t->preds; p; p = p->next) {
      drzcats(st, w, wl, kWork, ", ");
      drzcats(st, w, wl, kWork, p->tabname);
    }
  }
  drzcats(st, w, wl, kWork, " WHERE ");
  if (joins(st, rs, w, wl, t) != 0) return 1;
  drzcats(st, w, wl, kWork, ") UNION ALL (SELECT ");
  if (rid) {
    drzpname(st, w, wl, kWork, ref, 8);
    drzcats(st, w, wl, kWork, ".ROWID DR$ROWID, ");
  }
  drzpname(st, w, wl, kWork, ref, 8);
  drzcats(st, w, wl, kWork, ".*");
  for (int32_t i = 0; i < npred; i++) drzcats(st, w, wl, kWork, ", 0");
  drzcats(st, w, wl, kWork, " FROM ");
  drzpname(st, w, wl, kWork, ref, 15);
  drzcats(st, w, wl, kWork, " WHERE NOT EXISTS (SELECT NULL FROM ");
  for (drzspred *p = t->preds; p; p = p->next) {
    if (p != t->preds) drzcats(st, w, wl, kWork, ", ");
    drzcats(st, w, wl, kWork, p->tabname);
    if (rs->shared) break;
  }
  drzcats(st, w, wl, kWork, " WHERE ");
  if (joins(st, rs, w, wl, t) != 0) return 1;
  drzcats(st, w, wl, kWork, "))) ");
  /* The derived table keeps the entry's alias, so that the statement's own
   * qualified columns and the score columns still have it in scope. */
  if (ref->alias)
    drzpword(st, w, wl, kWork, ref->alias->text, ref->alias->len, 0);
  return 0;
}

/* One replacement of the table rewrite: a span of the text as the walk left
 * it and what takes its place. */
struct span {
  int32_t pos, len;
  char *text;
  int32_t n;
};

/* The table rewrite: derived tables for entries with predicates, DR$ROWID
 * for the ROWID columns they serve. All replacements are computed first and
 * applied from the end of the text backwards, so that no recorded position
 * needs moving. 0, or 1 after pushing. */
int tables(drsrvstate *st, drzsstate *rs) {
  int32_t count = 0;
  for (drzsblk *b = rs->blocks; b; b = b->next) {
    for (drzstab *t = b->tabs; t; t = t->next) count += t->preds != nullptr;
    for (drzscol *c = b->rowids; c; c = c->next) count++;
  }
  if (count == 0) return 0;
  auto *spans = static_cast<span *>(drzalloc(st, sizeof(span) * count, __FILE__, __LINE__));
  int32_t n = 0;
  for (drzsblk *b = rs->blocks; b; b = b->next) {
    for (drzstab *t = b->tabs; t; t = t->next) {
      if (!t->preds) continue;
      span &s = spans[n++];
      s.text = static_cast<char *>(drzalloc(st, kWork, __FILE__, __LINE__));
      if (derive(st, rs, b, t, s.text, &s.n) != 0) return 1;
      s.pos = t->pos;
      s.len = t->len;
    }
    for (drzscol *c = b->rowids; c; c = c->next) {
      if (!c->mark) continue;
      span &s = spans[n++];
      s.text = static_cast<char *>(drzalloc(st, kWork, __FILE__, __LINE__));
      char *w = s.text;
      int32_t *wl = &s.n;
      if (c->schema) {
        s.pos = c->schemapos;
        drzpword(st, w, wl, kWork, c->schema->text, c->schema->len, 0);
        drzcats(st, w, wl, kWork, " . ");
        drzpword(st, w, wl, kWork, c->table->text, c->table->len, 0);
        drzcats(st, w, wl, kWork, " . ");
      } else if (c->table) {
        s.pos = c->tablepos;
        drzpword(st, w, wl, kWork, c->table->text, c->table->len, 0);
        drzcats(st, w, wl, kWork, " . ");
      } else {
        s.pos = c->columnpos;
      }
      drzcats(st, w, wl, kWork, "DR$ROWID ");
      int32_t end;
      if (c->alias) {
        drzcats(st, w, wl, kWork, "\"");
        drzcat(st, w, wl, kWork, c->alias->text, c->alias->len);
        drzcats(st, w, wl, kWork, "\"");
        char tmp[600];
        int32_t tl = 0;
        drzpword(st, tmp, &tl, sizeof tmp, c->alias->text, c->alias->len, 0);
        end = c->aliaspos + tl;
      } else {
        drzcats(st, w, wl, kWork, "\"ROWID\"");
        end = c->columnpos + 5;
      }
      s.len = end - s.pos;
    }
  }
  /* Latest span first. */
  for (int32_t i = 1; i < n; i++)
    for (int32_t j = i; j > 0 && spans[j].pos > spans[j - 1].pos; j--) {
      span tmp = spans[j];
      spans[j] = spans[j - 1];
      spans[j - 1] = tmp;
    }
  for (int32_t i = 0; i < n; i++) {
    span &s = spans[i];
    if (s.pos < 0 || s.len < 0 || s.pos + s.len > rs->textlen) {
      dracnierr(st, DRFAC_DRG, kInternal, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
      return 1;
    }
    remove(st, rs, s.pos, s.len);
    insert(st, rs, s.pos, s.text, s.n);
  }
  return 0;
}

drzsblk *findblk(drzsstate *rs, int32_t id) {
  for (drzsblk *b = rs->blocks; b; b = b->next)
    if (b->id == id) return b;
  return nullptr;
}

int score(drsrvstate *st, drzsstate *rs, drzsblk *b, int32_t label) {
  for (drzstab *t = b->tabs; t; t = t->next)
    for (drzspred *p = t->preds; p; p = p->next) {
      if (p->label != label) continue;
      char w[700];
      int32_t wl = 0;
      drzpword(st, w, &wl, sizeof w, t->ref->alias->text, t->ref->alias->len, 0);
      drzcats(st, w, &wl, sizeof w, ".SCORE");
      num(st, w, &wl, sizeof w, p->contid);
      drzcats(st, w, &wl, sizeof w, " ");
      insert(st, rs, rs->textpos, w, wl);
      rs->textpos += wl;
      return 0;
    }
  drzpushn(st, kNoLabel, label);
  return 1;
}

int handle(drsrvstate *st, drzsstate *rs, drzsblk *b, int32_t id) {
  drzshdl *h = b->handles;
  while (h && h->id != id) h = h->next;
  if (!h) {
    dracnierr(st, DRFAC_DRG, kInternal, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
    return 1;
  }
  drzstab *t = nullptr;
  drzfresult res{};
  if (drzpresolve(st, &t, rs, b, h->column, &res, nullptr) != 0) return 1;
  auto *w = static_cast<char *>(drzalloc(st, kHandle, __FILE__, __LINE__));
  int32_t wl = 0;
  drzcats(st, w, &wl, kHandle, "':");
  if (!t->ref->schema) {
    drzpword(st, w, &wl, kHandle, rs->user->text, rs->user->len, 1);
    drzcats(st, w, &wl, kHandle, ".");
  }
  drzpname(st, w, &wl, kHandle, t->ref, 7 | 16);
  drzcats(st, w, &wl, kHandle, ":");
  drzpword(st, w, &wl, kHandle, h->column->column->text, h->column->column->len, 1);
  drzcats(st, w, &wl, kHandle, ":");
  drzpword(st, w, &wl, kHandle, res.textkey, static_cast<int32_t>(std::strlen(res.textkey)), 1);
  drzcats(st, w, &wl, kHandle, ":'||TO_CHAR(");
  drzpword(st, w, &wl, kHandle, t->ref->alias->text, t->ref->alias->len, 0);
  drzcats(st, w, &wl, kHandle, ".");
  drzcats(st, w, &wl, kHandle, res.textkey);
  drzcats(st, w, &wl, kHandle, ") ");
  drzrfreestr(st, &res.colname);
  insert(st, rs, rs->textpos, w, wl);
  rs->textpos += wl;
  drzfree(st, w);
  return 0;
}

int tabs(drsrvstate *st, drzsstate *rs, drzsblk *b) {
  for (drzstab *t = b->tabs; t; t = t->next)
    for (drzspred *p = t->preds; p; p = p->next) {
      char w[64];
      int32_t wl = 0;
      drzcats(st, w, &wl, sizeof w, ", ");
      drzcats(st, w, &wl, sizeof w, p->tabname);
      drzcats(st, w, &wl, sizeof w, " ");
      insert(st, rs, rs->textpos, w, wl);
      rs->textpos += wl;
      if (rs->shared) return 0;
    }
  return 0;
}

}  // namespace

void drzpword(drsrvstate *st, char *base, int32_t *len, int32_t cap, const char *name, int32_t n,
              int plain) {
  if (plain) {
    for (int32_t i = 0; i < n; i++) {
      if (name[i] == '\'') drzcat(st, base, len, cap, "'", 1);
      drzcat(st, base, len, cap, name + i, 1);
    }
    return;
  }
  if (isplain(name, n)) {
    drzcat(st, base, len, cap, name, n);
    return;
  }
  drzcat(st, base, len, cap, "\"", 1);
  for (int32_t i = 0; i < n; i++) {
    if (name[i] == '"' || name[i] == '%') drzcat(st, base, len, cap, name + i, 1);
    drzcat(st, base, len, cap, name + i, 1);
  }
  drzcat(st, base, len, cap, "\"", 1);
}

void drzpname(drsrvstate *st, char *base, int32_t *len, int32_t cap, const drzgtref *ref,
              int flags) {
  int plain = (flags & 16) != 0;
  if ((flags & 1) && ref->kind == DRZGT_BIND) {
    drzcat(st, base, len, cap, ":", 1);
  } else if ((flags & 1) && ref->schema) {
    drzpword(st, base, len, cap, ref->schema->text, ref->schema->len, plain);
    drzcat(st, base, len, cap, ".", 1);
  }
  if ((flags & 2) && ref->table) drzpword(st, base, len, cap, ref->table->text, ref->table->len, plain);
  if ((flags & 4) && ref->link) {
    drzcat(st, base, len, cap, "@", 1);
    drzpword(st, base, len, cap, ref->link->text, ref->link->len, plain);
  }
  if ((flags & 8) && ref->alias && !((flags & 2) && ref->alias == ref->table)) {
    drzcat(st, base, len, cap, " ", 1);
    drzpword(st, base, len, cap, ref->alias->text, ref->alias->len, plain);
  }
}

int drzpkeys(drsrvstate *st, const char *list, char names[16][65], int32_t *count) {
  (void)st;
  *count = 0;
  int32_t n = 0, k = 0;
  for (const char *c = list;; ++c) {
    if (*c == ',' || *c == 0) {
      if (k >= 16 || n == 0) {
        *count = 1;
        return 1;
      }
      names[k][n] = 0;
      k++;
      n = 0;
      if (*c == 0) break;
      continue;
    }
    if (k >= 16 || n >= 64) {
      *count = 1;
      return 1;
    }
    names[k][n++] = *c;
  }
  *count = k;
  return 0;
}

int drzpgen(drsrvstate *st, drzsstate *rs) {
  rs->textpos = 0;
  if (rs->style == 2) {
    if (tables(st, rs) != 0) return 1;
    rs->textpos = 0;
  }
  while (rs->textpos < rs->textlen) {
    if (rs->text[rs->textpos] != '%') {
      rs->textpos++;
      continue;
    }
    drzmarker mk{};
    int r = drzmkread(rs->text, rs->textlen, rs->textpos, &mk);
    if (r == 1) {
      remove(st, rs, rs->textpos, 1);
      rs->textpos++;
      continue;
    }
    if (r != 0) {
      dracnierr(st, DRFAC_DRG, kInternal, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
      return 1;
    }
    char word[1000];
    std::memcpy(word, mk.word, static_cast<size_t>(mk.wordlen));
    word[mk.wordlen] = 0;
    char letter = mk.letter;
    remove(st, rs, rs->textpos, mk.len);
    drzsblk *b = findblk(rs, mk.block);
    if (!b) {
      dracnierr(st, DRFAC_DRG, kInternal, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
      return 1;
    }
    int32_t v = static_cast<int32_t>(std::strtol(word, nullptr, 10));
    int rc = 0;
    if (letter == 'S') rc = score(st, rs, b, v);
    else if (letter == 'H') rc = handle(st, rs, b, v);
    else if (letter == 'T') rc = tabs(st, rs, b);
    if (rc != 0) return 1;
  }
  return 0;
}
