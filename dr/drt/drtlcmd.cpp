// The command table: for every command code the line it logs and the
// handler it runs with the arguments taken from the message, and the
// dispatch step that answers each command exactly once.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <initializer_list>
#include <string>

#include "dr/drq/drq.h"
#include "dr/drr/drr.h"
#include "dr/drt/drt.h"
#include "dr/drt/drtint.h"
#include "dr/dru/dru.h"
#include "dr/drz/drz.h"

namespace {

// The text of argument n (from 1); an empty text for a null argument.
const char *arg(const drmcmd *c, int n) {
  const drmslot *a = &c->args[n - 1];
  return a->ind == -1 ? "" : a->text;
}
// The decimal value of argument n, checked before the handler ran.
int32_t num(const drmcmd *c, int n) { return drtlnum(&c->args[n - 1]); }

// The log line of a command: "Cmd <message id>: ", the row's line with the
// user and the arguments it shows, and a line end. The user's texts are
// escaped, so that they cannot write lines of their own into the log.
void logcmd(drsrvstate *s, const drmcmd *c, const char *format, const uint8_t *show) {
  std::string fmt = std::string("Cmd %d: ") + format + "\n";
  std::string texts[1 + DRM_NARGS];
  rtarg a[2 + DRM_NARGS];
  int n = 0;
  a[n].type = RTA_SB4;
  a[n++].u.p = &c->id;
  int t = 0;
  auto add = [&](const char *text) {
    std::string &e = texts[t++];
    e.resize(4 * std::strlen(text) + 1);
    e.resize(dracnesc(text, e.data(), e.size()));
    a[n].type = RTA_STR;
    a[n++].u.s = e.c_str();
  };
  add(c->user.ind == -1 ? "" : c->user.text);
  for (const uint8_t *i = show; *i; ++i) add(arg(c, *i));
  static char line[65536];
  lsffmta(s->fmt, line, sizeof line, fmt.c_str(), a, n);
  dracnprt(s, s->log, "%s", DRA_STR, line, 0);
}

// A command whose handler this server does not have yet.
int notyet(drsrvstate *s, const char *name) {
  dracnerr(s, DRFAC_DRG, 50701, 2, DRA_STR, name, 0);
  druetrc();
  return 1;
}

// Refuses a command whose number arguments (bit n - 1 of nums for argument
// n) are not whole numbers within 32 bits; an empty or null one counts as 0.
int numcheck(drsrvstate *s, const drmcmd *c, uint16_t nums) {
  int bad = 0;
  for (int n = 1; n <= DRM_NARGS; ++n) {
    if (!(nums & (1u << (n - 1)))) continue;
    int32_t v;
    if (drtlnumok(&c->args[n - 1], &v)) continue;
    int32_t argno = n;
    dracnerr(s, DRFAC_DRG, 50706, 2, DRA_SB4, &c->id, DRA_SB4, &argno, DRA_STR, arg(c, n), 0);
    bad = 1;
  }
  if (bad) druetrc();
  return bad;
}

// ---- handlers, one per row of the table; the dispatch step has logged the
// command and checked its number arguments ----

// The operation qualifier: the first character of its argument.
char qual(const drmcmd *c, int n) { return arg(c, n)[0]; }

int c_begin(drsrvstate *s, drmcmd *c, drmcmd *) {
  return drcmdbeg(s, num(c, 2), num(c, 1), num(c, 3), qual(c, 4));
}
// A run that could not read some documents answers with their count (each
// is a document error of its own), so that it does not look clean.
int c_populate(drsrvstate *s, drmcmd *c, drmcmd *r) {
  s->docerrs = 0;
  int rc = drcmdpop(s, num(c, 1), num(c, 2), num(c, 3), num(c, 4), qual(c, 5));
  if (rc == 0 && s->docerrs != 0) drmsetuint(s, r, 0, s->docerrs);
  return rc;
}
int c_drop(drsrvstate *s, drmcmd *c, drmcmd *) { return drcmddrp(s, num(c, 1), num(c, 2)); }
int c_truncate(drsrvstate *s, drmcmd *c, drmcmd *) { return drcmdtrn(s, num(c, 1)); }
int c_optimize(drsrvstate *s, drmcmd *c, drmcmd *) {
  return drcmdopt(s, num(c, 1), num(c, 2), num(c, 4), num(c, 5), num(c, 3));
}
// The user who sent the command.
const char *user(const drmcmd *c) { return c->user.ind == -1 ? "" : c->user.text; }
uint32_t unum(const drmcmd *c, int n) { return static_cast<uint32_t>(num(c, n)); }

// Refuses a command whose id arguments (n...) hold a number below 0,
// which no document id is; 0 or 1.
int idcheck(drsrvstate *s, const drmcmd *c, std::initializer_list<int> ns) {
  int bad = 0;
  for (int n : ns) {
    if (num(c, n) >= 0) continue;
    int32_t argno = n;
    dracnerr(s, DRFAC_DRG, 50708, 2, DRA_SB4, &c->id, DRA_SB4, &argno, DRA_STR, arg(c, n), 0);
    bad = 1;
  }
  if (bad) druetrc();
  return bad;
}

int c_contains(drsrvstate *s, drmcmd *c, drmcmd *) {
  if (idcheck(s, c, {7, 8}) != 0) return 1;
  return drcmdqry(s, user(c), arg(c, 9), num(c, 1), arg(c, 2), arg(c, 3), num(c, 4), num(c, 5),
                  num(c, 6), 0, 0, unum(c, 7), unum(c, 8), arg(c, 10));
}
int c_highlight(drsrvstate *s, drmcmd *c, drmcmd *) {
  return drcmdhlt(s, user(c), num(c, 1), arg(c, 2), arg(c, 3), num(c, 4), arg(c, 5), arg(c, 6),
                  arg(c, 7), arg(c, 8), arg(c, 9), arg(c, 10));
}
int c_none(drsrvstate *, drmcmd *, drmcmd *) { return 0; }
int c_refresh(drsrvstate *s, drmcmd *c, drmcmd *) {
  // Without a dictionary cache nothing is cached, so nothing needs dropping.
  if (!drtsvc.dmref) return 0;
  return drtsvc.dmref(s, num(c, 1)) == 0 ? 0 : 1;
}
int c_shutdown(drsrvstate *s, drmcmd *, drmcmd *) {
  dracnprt(s, s->log, "Shutting down server...\n", 0);
  return DRT_SHUT;
}
int c_mask(drsrvstate *s, drmcmd *c, drmcmd *) { return drtlmask(s, &c->args[0]); }
int c_continue(drsrvstate *s, drmcmd *, drmcmd *) {
  dracnprt(s, s->log, "Random Admin Command\n", 0);
  return 0;
}
int c_end(drsrvstate *s, drmcmd *c, drmcmd *) {
  return drcmdend(s, num(c, 1), num(c, 2), qual(c, 3));
}
int c_check(drsrvstate *s, drmcmd *c, drmcmd *) {
  return drcmdchk(s, user(c), arg(c, 3), num(c, 1), arg(c, 2));
}
int c_endopt(drsrvstate *s, drmcmd *c, drmcmd *) { return drcmdeop(s, num(c, 1), num(c, 2)); }
// The contains path as the rewrite evaluates a predicate: rows into the
// predicate's result table.
int rwquery(drsrvstate *s, const char *user, const char *sess, int32_t polid, const char *query,
            const char *restab, int32_t clear, int32_t contid, int32_t curid) {
  return drcmdqry(s, user, sess, polid, query, restab, clear, contid, curid, 0, 0, 0, 0, nullptr);
}
// A statement is rewritten for the user who sent it: the requesting user
// names whose tables the predicates may read, so it may be no other.
int rwuser(drsrvstate *s, const drmcmd *c) {
  if (strcasecmp(arg(c, 1), user(c)) == 0) return 0;
  dracnerr(s, DRFAC_DRG, 11336, 2, DRA_STR, arg(c, 1), 0);
  druetrc();
  return 1;
}
int c_rwparse(drsrvstate *s, drmcmd *c, drmcmd *r) {
  if (rwuser(s, c) != 0) return 1;
  drzsops.query = rwquery;
  static char out[DRZS_OUTCAP];
  if (drzsrwp(s, arg(c, 1), num(c, 2), num(c, 3), arg(c, 4), out, sizeof out, num(c, 5),
              num(c, 6)) != 0) {
    druetrc();
    return 1;
  }
  return drtlrwtxt(s, r, out);
}
int c_rwclose(drsrvstate *s, drmcmd *c, drmcmd *) {
  if (rwuser(s, c) != 0) return 1;
  if (drzsrwc(s, arg(c, 1), num(c, 2), num(c, 3)) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}
int c_beginopt(drsrvstate *s, drmcmd *c, drmcmd *) {
  return drcmdbop(s, num(c, 1), num(c, 3), num(c, 2));
}
int c_count(drsrvstate *s, drmcmd *c, drmcmd *r) {
  return drcmdqry(s, user(c), arg(c, 4), num(c, 1), arg(c, 2), r, 0, 0, 0, 1, 0, 0, 0, arg(c, 10));
}
int c_estimate(drsrvstate *s, drmcmd *c, drmcmd *r) {
  return drcmdqry(s, user(c), arg(c, 4), num(c, 1), arg(c, 2), r, 0, 0, 0, 1, 1, 0, 0, arg(c, 10));
}
int c_fetch(drsrvstate *s, drmcmd *c, drmcmd *r) {
  if (idcheck(s, c, {3}) != 0) return 1;
  return drcmdqry(s, user(c), arg(c, 8), num(c, 1), arg(c, 2), r, 0, 0, 0, 2, 1, unum(c, 3), 0,
                  arg(c, 10));
}
int c_sqe(drsrvstate *s, drmcmd *c, drmcmd *) {
  return drcmdsqe(s, user(c), num(c, 1), num(c, 2), arg(c, 3), arg(c, 4), arg(c, 5), num(c, 6));
}
int c_bank(drsrvstate *s, drmcmd *c, drmcmd *) { return drcmdbnk(s, arg(c, 1), arg(c, 2), arg(c, 3)); }
int c_assist(drsrvstate *s, drmcmd *c, drmcmd *) {
  int32_t found = 0;
  return drcmdwas(s, num(c, 1), num(c, 2), arg(c, 3), num(c, 4), &found);
}
int c_vop(drsrvstate *s, drmcmd *c, drmcmd *) { return drcmdvop(s, num(c, 1)); }
int c_sorted(drsrvstate *s, drmcmd *c, drmcmd *r) {
  if (idcheck(s, c, {3}) != 0) return 1;
  return drcmdqry(s, user(c), arg(c, 8), num(c, 1), arg(c, 2), r, num(c, 4), 0, num(c, 5), 3, 1,
                  unum(c, 3), 0, arg(c, 10));
}
int c_clear(drsrvstate *s, drmcmd *c, drmcmd *) {
  return drcmdclr(s, user(c), arg(c, 1), arg(c, 2), num(c, 3), num(c, 4), num(c, 5), num(c, 6),
                  num(c, 7));
}
int c_gettab(drsrvstate *s, drmcmd *c, drmcmd *r) {
  char name[DRR_TABNAME];
  if (drrtalc(s, num(c, 1), arg(c, 2), name, num(c, 3)) != 0) return 1;
  drmsettxt(s, r, 3, name);
  return 0;
}
int c_reltab(drsrvstate *s, drmcmd *c, drmcmd *) {
  // The table comes from the message: released only for a user who may
  // empty it himself.
  if (drrtprv(s, user(c), arg(c, 1), "DELETE") != 0) return 1;
  return drrtdea(s, arg(c, 1));
}
int c_callback(drsrvstate *s, drmcmd *c, drmcmd *) { return drcmdcbk(s, user(c)); }
int c_sleep(drsrvstate *s, drmcmd *c, drmcmd *) { return drtlslp(s, num(c, 1)); }
int c_add(drsrvstate *s, drmcmd *c, drmcmd *r) {
  int32_t a = num(c, 1);
  int32_t b = num(c, 2);
  // Summed in 64 bits: two large arguments give their true sum, not an
  // overflow.
  int64_t sum = static_cast<int64_t>(a) + b;
  char text[24];
  snprintf(text, sizeof text, "%" PRId64, sum);
  if (sum >= INT32_MIN && sum <= INT32_MAX) {
    int32_t s32 = static_cast<int32_t>(sum);
    dracnprt(s, s->log, "add %d + %d = %d\n", DRA_SB4, &a, DRA_SB4, &b, DRA_SB4, &s32, 0);
  } else {
    dracnprt(s, s->log, "add %d + %d = %s\n", DRA_SB4, &a, DRA_SB4, &b, DRA_STR, text, 0);
  }
  drmsettxt(s, r, 2, text);
  return 0;
}
int c_reverse(drsrvstate *, drmcmd *c, drmcmd *r) {
  for (unsigned i = 0; i < DRM_NARGS; ++i) {
    const drmslot *a = &c->args[i];
    drmsetraw(nullptr, r, DRM_NARGS - 1 - i, a->ind == -1 ? 0 : a->len, a->text);
  }
  return 0;
}

// The bits of the number arguments n... (from 1).
constexpr uint16_t N() { return 0; }
template <class... T>
constexpr uint16_t N(int n, T... rest) {
  return static_cast<uint16_t>((1u << (n - 1)) | N(rest...));
}

const drtlent kTable[] = {
    {10, "begin_index, user=%s, polid=%s, svrcnt=%s, runseq=%s, opqual=%s", {1, 2, 3, 4},
     N(1, 2, 3), c_begin},
    {11, "populate_index, user=%s, polid=%s, svrcnt=%s, svr=%s, runseq=%s, opqual=%s",
     {1, 2, 3, 4, 5}, N(1, 2, 3, 4), c_populate},
    {12, "drop_index, user=%s, polid=%s, runseq=%s", {1, 2}, N(1, 2), c_drop},
    {13, "truncate_index, user=%s, polid=%s", {1}, N(1), c_truncate},
    {14, "opt_index, user=%s, polid=%s, opt=%s, svrcnt=%s, svr=%s, thold=%s", {1, 2, 4, 5, 3},
     N(1, 2, 3, 4, 5), c_optimize},
    {15,
     "contains, user=%s, polid=%s, query=%s, restab=%s, shr=%s, conid=%s, curid=%s, "
     "floorid=%s, ceilid=%s",
     {1, 2, 3, 4, 5, 6, 7, 8}, N(1, 4, 5, 6, 7, 8), c_contains},
    {16,
     "highlight, user=%s, polid=%s, query=%s, txtkey=%s, id=%s, uftab=%s, ftab=%s, hltab=%s, "
     "icftab=%s, mutab=%s",
     {1, 2, 3, 4, 5, 6, 7, 8, 9}, N(1, 4), c_highlight},
    {17, "html_highlight, user=%s", {}, N(), c_none},
    {18, "sync_to_now, user=%s", {}, N(), c_none},
    {19, "sync_to_timestamp, user=%s", {}, N(), c_none},
    {20, "refresh, user=%s, polid=%s", {1}, N(1), c_refresh},
    {21, nullptr, {}, N(), c_shutdown},
    {22, "change_mask, user=%s", {}, N(), c_mask},
    {23, "continue, user=%s", {}, N(), c_continue},
    {24, "continue, user=%s", {}, N(), c_continue},
    {25, "change_mask, user=%s", {}, N(), c_mask},
    {29, "end_index, user=%s, polid=%s, runseq=%s, opqual=%s", {1, 2, 3}, N(1, 2), c_end},
    {30, "bankquery, user=%s, query=%s, bank=%s, concept=%s", {1, 2, 3}, N(), c_bank},
    {31, "wordassist, user=%s, polid=%s, asttyp=%s, astwrd=%s, limit=%s", {1, 2, 3, 4},
     N(1, 2, 4), c_assist},
    {32, "check_query, user=%s, polid=%s, query=%s", {1, 2}, N(1), c_check},
    {33, "end_opt_index, user=%s, polid=%s, opt=%s", {1, 2}, N(1, 2), c_endopt},
    {34, "rw_parse, user=%s, requser=%s, sid=%s, curid=%s, query=%s, shr=%s, exec=%s",
     {1, 2, 3, 4, 5, 6}, N(2, 3, 5, 6), c_rwparse},
    {35, nullptr, {}, N(), c_none},
    {36, "rw_close, user=%s, requser=%s, sid=%s, curid=%s", {1, 2, 3}, N(2, 3), c_rwclose},
    {37, "begin_opt_index, user=%s, polid=%s, svrcnt=%s, opt=%s", {1, 2, 3}, N(1, 2, 3),
     c_beginopt},
    {38, "count_hits, user=%s, polid=%s, query=%s", {1, 2}, N(1), c_count},
    {39, "estimate_hits, user=%s, polid=%s, query=%s", {1, 2}, N(1), c_estimate},
    {40, "vop, user=%s, prefid=%s", {1}, N(1), c_vop},
    {41, "contains_fetch, user=%s, polid=%s, query=%s", {1, 2}, N(1, 3), c_fetch},
    {42, "sqe, user=%s, sqecmd=%s, polid=%s, sessid=%s, qrynm=%s, query=%s, scope=%s",
     {1, 2, 3, 4, 5, 6}, N(1, 2, 6), c_sqe},
    {43, "sorted_fetch, user=%s, polid=%s, query=%s, scl=%s, dceil=%s, floorid=%s",
     {1, 2, 4, 5, 3}, N(1, 3, 4, 5), c_sorted},
    {44,
     "clear_result, user=%s, restab=%s, srctab=%s, restyp=%s, shr=%s, conid=%s, curid=%s"
     ", tkcount=%s",
     {1, 2, 3, 4, 5, 6, 7}, N(3, 4, 5, 6, 7), c_clear},
    {46, "gettab, user=%s, sid=%s, type=%s, tk_count=%s", {1, 2, 3}, N(1, 3), c_gettab},
    {47, "reltab, user=%s, table=%s", {1}, N(), c_reltab},
    {48, "inst_callback, user=%s", {}, N(), c_callback},
    {200, "sleep, user=%s", {}, N(1), c_sleep},
    {201, "add, user=%s", {}, N(1, 2), c_add},
    {204, "reverse, user=%s", {}, N(), c_reverse},
};

int unknown(drsrvstate *s, drmcmd *c) {
  int32_t code = c->cmd;
  dracnierr(s, DRFAC_DRG, 50700, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_SB4, &code, 0);
  druetrc();
  return 1;
}

}  // namespace

const drtlent *drtlfind(int32_t code) {
  for (const drtlent &e : kTable)
    if (e.code == code) return &e;
  return nullptr;
}

int drtlnumok(const drmslot *a, int32_t *out) {
  *out = 0;
  if (a->ind == -1) return 1;
  size_t n = a->len < size_t{DRM_SLOTMAX} ? a->len : size_t{DRM_SLOTMAX};
  const char *p = a->text;
  const char *end = p + strnlen(p, n);
  auto blank = [](char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  };
  while (p < end && blank(*p)) ++p;
  while (end > p && blank(end[-1])) --end;
  if (p == end) return 1;  // empty: callers leave optional numbers empty
  bool neg = false;
  if (*p == '+' || *p == '-') neg = *p++ == '-';
  if (p == end) return 0;
  int64_t v = 0;
  for (; p < end; ++p) {
    if (*p < '0' || *p > '9') return 0;
    v = v * 10 + (*p - '0');
    if (v > static_cast<int64_t>(INT32_MAX) + 1) return 0;
  }
  if (neg) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return 0;
  *out = static_cast<int32_t>(v);
  return 1;
}

int32_t drtlnum(const drmslot *a) {
  int32_t v = 0;
  drtlnumok(a, &v);
  return v;
}

int drtlrwtxt(drsrvstate *s, drmcmd *reply, const char *text) {
  size_t len = strlen(text);
  size_t placed = drmsettxt(s, reply, 6, text);
  if (placed < len) placed += drmsettxt(s, reply, 7, text + placed);
  if (placed < len) {
    druetrc();
    return 1;
  }
  return 0;
}

int drtlcmd(drsrvstate *s, drmcmd *cmd, drmcmd *reply) {
  drmrpini(s, cmd, reply);
  const drtlent *e = drtlfind(cmd->cmd);
  static const uint8_t none[1] = {0};
  if (!e) logcmd(s, cmd, "unknown, user=%s", none);
  else if (e->line) logcmd(s, cmd, e->line, e->show);
  int rc;
  if (druefind(s, 50705)) {
    rc = 1;  // the poll could not deliver the arguments whole
  } else if (!e) {
    rc = unknown(s, cmd);
  } else if (numcheck(s, cmd, e->nums) != 0) {
    rc = 1;
  } else {
    rc = e->run(s, cmd, reply);
  }
  return drtlans(s, cmd, reply, rc);
}

int drtlend(drsrvstate *s, int ok) {
  // A commit that fails is a failure of the message; a roll-back that fails
  // leaves nothing behind that a later message could see either way.
  if (!ok) {
    druorbk(s);
    return 1;
  }
  if (druocmt(s) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drtlans(drsrvstate *s, const drmcmd *cmd, drmcmd *reply, int rc) {
  // The command's work is committed before its success is told, and undone
  // before its failure is.
  bool ok = rc == 0 || (rc == DRT_SHUT && cmd->cmd == 21);
  if (drtlend(s, ok) != 0 && ok) rc = 1;
  if (cmd->cmd == 20 && rc == 0) {
    // A refresh that worked is not answered.
    dracnprt(s, s->log, "End cmd %d\n", DRA_SB4, &cmd->id, 0);
    return 0;
  }
  // Only the shutdown command may end the loop, and every command gets an
  // answer: a result the dispatcher does not know becomes an error reply.
  bool shut = rc == DRT_SHUT && cmd->cmd == 21;
  if (rc != 0 && rc != 1 && rc != DRT_INTR && !shut) {
    int32_t r = rc;
    int32_t code = cmd->cmd;
    dracnierr(s, DRFAC_DRG, 50704, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_SB4, &r, DRA_SB4,
              &code, 0);
    rc = 1;
  }
  // An interrupted command says so, whatever else its handler pushed (a
  // statement cancelled under it fails with the database's own text).
  if (rc == 1 && drtlintr()) rc = DRT_INTR;
  if (rc == DRT_INTR && !druefind(s, 50707)) dracnerr(s, DRFAC_DRG, 50707, 2, DRA_SB4, &cmd->id, 0);
  if (rc == 0 || shut) {
    int sent = drmrpok(s, reply);
    if (sent == 2) {
      // The database refused what the reply carries: the caller gets that
      // as an error, and the server goes on.
      sent = drmrperr(s, reply);
      druelog(s);
      rtfflush(s->log);
      if (sent == 0 && !druefatal(s)) drueclr(s);
      else rc = 1;
    } else if (sent != 0) {
      // An answer that cannot be sent is as fatal as a failed error reply:
      // the sender would wait forever, and the stack now holds 50300.
      druelog(s);
      rtfflush(s->log);
      rc = 1;
    }
  } else {
    drmrperr(s, reply);
    druelog(s);
    rtfflush(s->log);
    if (!druefatal(s)) {
      drueclr(s);
      rc = 0;
    } else {
      rc = 1;
    }
  }
  dracnprt(s, s->log, "End cmd %d\n", DRA_SB4, &cmd->id, 0);
  return rc;
}
