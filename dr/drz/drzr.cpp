/* The bookkeeping of a rewritten statement: one DR$CONTAINS row per text
 * predicate and one DR$BIND row per bind variable, sent 16 rows at a time;
 * and their release at rw_close with the result tables they name. */
#include <cstdio>
#include <cstring>

#include "dr/dru/drue.h"
#include "dr/drz/drzint.h"

namespace {

constexpr int32_t kRows = 16;
constexpr int32_t kNameMax = 30;

constexpr drzecol kBindCols[] = {
    {":1", DRUO_CHAR, kNameMax, 0},   {":2", DRUO_INTEGER, 4, 0}, {":3", DRUO_INTEGER, 4, 0},
    {":4", DRUO_CHAR, kNameMax, 0},   {":5", DRUO_INTEGER, 4, 0}};
/* Wide enough for every value a predicate holds: a query of 2000 bytes, a
 * table name of 31 and a link of 128, each with its terminator. */
constexpr drzecol kContCols[] = {
    {":1", DRUO_CHAR, kNameMax, 0}, {":2", DRUO_INTEGER, 4, 0},  {":3", DRUO_INTEGER, 4, 0},
    {":4", DRUO_INTEGER, 4, 0},     {":5", DRUO_INTEGER, 4, 0},  {":6", DRUO_STRING, 31, 0},
    {":7", DRUO_INTEGER, 4, 0},     {":8", DRUO_STRING, 2001, 0}, {":9", DRUO_STRING, 32, 0},
    {":10", DRUO_STRING, 129, 0}};

void putchars(drzeset *s, int c, const char *text, int32_t n) {
  int32_t r = s->filled;
  std::memcpy(s->values[c] + r * s->sizes[c], text, static_cast<size_t>(n));
  s->lens[c][r] = static_cast<uint16_t>(n);
  s->inds[c][r] = 0;
}

void putstr(drzeset *s, int c, const char *text) {
  int32_t n = static_cast<int32_t>(strnlen(text, static_cast<size_t>(s->sizes[c] - 1)));
  int32_t r = s->filled;
  char *v = s->values[c] + r * s->sizes[c];
  std::memcpy(v, text, static_cast<size_t>(n));
  v[n] = 0;
  s->lens[c][r] = static_cast<uint16_t>(n + 1);
  s->inds[c][r] = 0;
}

void putint(drzeset *s, int c, int32_t v) {
  int32_t r = s->filled;
  std::memcpy(s->values[c] + r * s->sizes[c], &v, sizeof v);
  s->lens[c][r] = 4;
  s->inds[c][r] = 0;
}

/* Sends the set when it is full (or, with flush, when it holds any row). */
int sendif(drsrvstate *st, druocur *c, drzeset *s, bool flush) {
  if (s->filled == 0 || (!flush && s->filled < s->rows)) return 0;
  return drzeins(st, c, s);
}

int fail(drsrvstate *st, druocur **c, drzeset **s) {
  druorbk(st);
  drzefree(st, s);
  druofre(st, st->cmdhp, c);
  return 1;
}

/* Whether every value fits its column: the user name, the bind names. */
int checknames(drsrvstate *st, const drzsstate *rs) {
  if (rs->user->len > kNameMax) {
    drzpush(st, 11331, rs->user->text);
    return 1;
  }
  for (const drzsbnd *b = rs->binds; b; b = b->next)
    if (b->name->len > kNameMax) {
      drzpush(st, 11331, b->name->text);
      return 1;
    }
  return 0;
}

}  // namespace

int drzrsave(drsrvstate *st, drzsstate *rs) {
  if (checknames(st, rs) != 0) return 1;
  druocur *c = nullptr;
  drzeset *s = nullptr;
  if (druoprs(st, st->cmdhp,
              "INSERT INTO DR$BIND (bin_username, bin_session, bin_queryid, bin_bind, bin_pos ) "
              "VALUES (:1, :2, :3, :4, :5)",
              &c) != 0)
    return fail(st, &c, &s);
  drzenew(st, &s, kRows, kBindCols, 5);
  for (const drzsbnd *b = rs->binds; b; b = b->next) {
    if (sendif(st, c, s, false) != 0) return fail(st, &c, &s);
    putchars(s, 0, rs->user->text, rs->user->len);
    putint(s, 1, rs->sid);
    putint(s, 2, rs->curid);
    putchars(s, 3, b->name->text, b->name->len);
    putint(s, 4, b->pos);
    s->filled++;
  }
  if (sendif(st, c, s, true) != 0) return fail(st, &c, &s);
  drzefree(st, &s);
  druofre(st, st->cmdhp, &c);
  if (druoprs(st, st->cmdhp,
              "INSERT INTO DR$CONTAINS (con_username, con_session, con_queryid, con_policy, "
              "con_contid, con_bind, con_pos, con_text, con_restab, con_dblink) VALUES (:1, :2, "
              ":3, :4, :5, :6, :7, :8, :9, :10)",
              &c) != 0)
    return fail(st, &c, &s);
  drzenew(st, &s, kRows, kContCols, 10);
  for (const drzsblk *b = rs->blocks; b; b = b->next)
    for (const drzstab *t = b->tabs; t; t = t->next)
      for (const drzspred *p = t->preds; p; p = p->next) {
        if (sendif(st, c, s, false) != 0) return fail(st, &c, &s);
        putchars(s, 0, rs->user->text, rs->user->len);
        putint(s, 1, rs->sid);
        putint(s, 2, rs->curid);
        putint(s, 3, p->policy);
        putint(s, 4, p->contid);
        putstr(s, 5, p->bind ? p->bind->name->text : "");
        putint(s, 6, p->bind ? p->bind->pos : 0);
        putstr(s, 7, p->query);
        putstr(s, 8, p->tabname);
        putstr(s, 9, p->dblink);
        s->filled++;
      }
  if (sendif(st, c, s, true) != 0) return fail(st, &c, &s);
  if (druocmt(st) != 0) return fail(st, &c, &s);
  drzefree(st, &s);
  druofre(st, st->cmdhp, &c);
  return 0;
}

void drzrsel(drsrvstate *st, drzsstate *rs, const char *prefix, int32_t flags) {
  if (flags == 0) return;
  drzouts(st, rs, "WHERE ");
  bool first = true;
  auto sep = [&] {
    if (!first) drzouts(st, rs, "AND ");
    first = false;
  };
  if (flags & 1) {
    sep();
    drzouts(st, rs, prefix);
    drzouts(st, rs, "_username = '");
    /* The name is a literal: a quote in it is doubled. */
    for (int32_t i = 0; i < rs->user->len; i++) {
      if (rs->user->text[i] == '\'') drzout(st, rs, "'", 1);
      drzout(st, rs, rs->user->text + i, 1);
    }
    drzouts(st, rs, "' ");
  }
  if (flags & 2) {
    sep();
    drzouts(st, rs, prefix);
    drzouts(st, rs, "_session = ");
    drzoutn(st, rs, rs->sid);
    drzouts(st, rs, " ");
  }
  if (flags & 4) {
    sep();
    drzouts(st, rs, prefix);
    drzouts(st, rs, "_queryid = ");
    drzoutn(st, rs, rs->curid);
    drzouts(st, rs, " ");
  }
}

namespace {

/* Runs the output text (NUL-terminated) as one statement; 0 / 1. */
int runtext(drsrvstate *st, drzsstate *rs) {
  drzout(st, rs, "", 1);
  return drqsexe(st, rs->text);
}

}  // namespace

int drzrclean(drsrvstate *st, drzsstate *rs, int32_t flags) {
  rs->textlen = rs->textpos = 0;
  drzouts(st, rs, "SELECT DISTINCT con_restab FROM DR$CONTAINS ");
  drzrsel(st, rs, "con", flags);
  drzout(st, rs, "", 1);
  /* The database side walks the rows the selection names and releases each
   * table; it takes the selection's values, not its text. */
  druocur *c = nullptr;
  if (druoprs(st, st->cmdhp, "CALL DR_REWRITE.RELEASE_TABLES(:flags, :usr, :sid, :qid)", &c) != 0) {
    druorbk(st);
    return 1;
  }
  char usr[256];
  std::snprintf(usr, sizeof usr, "%s", rs->user->text);
  int32_t fl = flags, sid = rs->sid, qid = rs->curid;
  int rc = druobnd(st, c, ":flags", &fl, 4, DRUO_INTEGER);
  if (rc == 0) rc = druobnd(st, c, ":usr", usr, sizeof usr, DRUO_STRING);
  if (rc == 0) rc = druobnd(st, c, ":sid", &sid, 4, DRUO_INTEGER);
  if (rc == 0) rc = druobnd(st, c, ":qid", &qid, 4, DRUO_INTEGER);
  if (rc == 0) rc = druoexe(st, c);
  druofre(st, st->cmdhp, &c);
  if (rc != 0) {
    druorbk(st);
    return 1;
  }
  rs->textlen = 0;
  drzouts(st, rs, "DELETE FROM DR$CONTAINS ");
  drzrsel(st, rs, "con", flags);
  if (runtext(st, rs) != 0) {
    druorbk(st);
    return 1;
  }
  rs->textlen = 0;
  drzouts(st, rs, "DELETE FROM DR$BIND ");
  drzrsel(st, rs, "bin", flags);
  if (runtext(st, rs) != 0) {
    druorbk(st);
    return 1;
  }
  if (druocmt(st) != 0) {
    druorbk(st);
    return 1;
  }
  return 0;
}
