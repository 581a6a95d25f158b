// The command table: for every command code the line it logs and the
// handler it runs with the arguments taken from the message, and the
// dispatch step that answers each command exactly once.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "dr/drq/drq.h"
#include "dr/drr/drr.h"
#include "dr/drt/drt.h"
#include "dr/drt/drtint.h"
#include "dr/dru/dru.h"

namespace {

// The text of argument n (from 1); an empty text for a null argument.
const char *arg(const drmcmd *c, int n) {
  const drmslot *a = &c->args[n - 1];
  return a->ind == -1 ? "" : a->text;
}
// The decimal value of argument n.
int32_t num(const drmcmd *c, int n) { return drtlnum(&c->args[n - 1]); }

// The log line of a command: "Cmd <message id>: ", the format with the user
// and the named arguments, and a line end. Built here in one piece because
// the number of arguments differs from command to command.
void logcmd(drsrvstate *s, const drmcmd *c, const char *format, std::initializer_list<int> args) {
  static char fmt[512];
  static char line[32768];
  snprintf(fmt, sizeof fmt, "Cmd %%d: %s\n", format);
  rtarg a[2 + DRM_NARGS];
  int n = 0;
  a[n].type = RTA_SB4;
  a[n++].u.p = &c->id;
  a[n].type = RTA_STR;
  a[n++].u.s = c->user.ind == -1 ? "" : c->user.text;
  for (int i : args) {
    a[n].type = RTA_STR;
    a[n++].u.s = arg(c, i);
  }
  lsffmta(s->fmt, line, sizeof line, fmt, a, n);
  dracnprt(s, s->log, "%s", DRA_STR, line, 0);
}

// A command whose handler this server does not have yet.
int notyet(drsrvstate *s, const char *name) {
  dracnerr(s, DRFAC_DRG, 50701, 2, DRA_STR, name, 0);
  druetrc();
  return 1;
}

// ---- handlers, one per row of the table ----

int c_begin(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "begin_index, user=%s, polid=%s, svrcnt=%s, runseq=%s, opqual=%s", {1, 2, 3, 4});
  return notyet(s, "begin_index");
}
int c_populate(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "populate_index, user=%s, polid=%s, svrcnt=%s, svr=%s, runseq=%s, opqual=%s",
         {1, 2, 3, 4, 5});
  return notyet(s, "populate_index");
}
int c_drop(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "drop_index, user=%s, polid=%s, runseq=%s", {1, 2});
  return notyet(s, "drop_index");
}
int c_truncate(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "truncate_index, user=%s, polid=%s", {1});
  return notyet(s, "truncate_index");
}
int c_optimize(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "opt_index, user=%s, polid=%s, opt=%s, svrcnt=%s, svr=%s, thold=%s",
         {1, 2, 4, 5, 3});
  return notyet(s, "opt_index");
}
int c_contains(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c,
         "contains, user=%s, polid=%s, query=%s, restab=%s, shr=%s, conid=%s, curid=%s, "
         "floorid=%s, ceilid=%s",
         {1, 2, 3, 4, 5, 6, 7, 8});
  return notyet(s, "contains");
}
int c_highlight(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c,
         "highlight, user=%s, polid=%s, query=%s, txtkey=%s, id=%s, uftab=%s, ftab=%s, "
         "hltab=%s, icftab=%s, mutab=%s",
         {1, 2, 3, 4, 5, 6, 7, 8, 9});
  return notyet(s, "highlight");
}
int c_htmlhl(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "html_highlight, user=%s", {});
  return 0;
}
int c_syncnow(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "sync_to_now, user=%s", {});
  return 0;
}
int c_syncts(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "sync_to_timestamp, user=%s", {});
  return 0;
}
int c_refresh(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "refresh, user=%s, polid=%s", {1});
  // Without a dictionary cache nothing is cached, so nothing needs dropping.
  if (!drtsvc.dmref) return 0;
  return drtsvc.dmref(s, num(c, 1)) == 0 ? 0 : 1;
}
int c_shutdown(drsrvstate *s, drmcmd *, drmcmd *) {
  dracnprt(s, s->log, "Shutting down server...\n", 0);
  return DRT_SHUT;
}
int c_mask(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "change_mask, user=%s", {});
  return drtlmask(s, &c->args[0]);
}
int c_continue(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "continue, user=%s", {});
  dracnprt(s, s->log, "Random Admin Command\n", 0);
  return 0;
}
int c_end(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "end_index, user=%s, polid=%s, runseq=%s, opqual=%s", {1, 2, 3});
  return notyet(s, "end_index");
}
int c_bank(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "bankquery, user=%s, query=%s, bank=%s, concept=%s", {1, 2, 3});
  return 0;  // accepted; nothing to do
}
int c_wordassist(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "wordassist, user=%s, polid=%s, asttyp=%s, astwrd=%s, limit=%s", {1, 2, 3, 4});
  return 0;  // accepted; nothing to do
}
int c_check(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "check_query, user=%s, polid=%s, query=%s", {1, 2});
  return notyet(s, "check_query");
}
int c_endopt(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "end_opt_index, user=%s, polid=%s, opt=%s", {1, 2});
  return notyet(s, "end_opt_index");
}
int c_rwparse(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "rw_parse, user=%s, requser=%s, sid=%s, curid=%s, query=%s, shr=%s, exec=%s",
         {1, 2, 3, 4, 5, 6});
  return notyet(s, "rw_parse");
}
int c_rwnoop(drsrvstate *, drmcmd *, drmcmd *) { return 0; }
int c_rwclose(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "rw_close, user=%s, requser=%s, sid=%s, curid=%s", {1, 2, 3});
  return notyet(s, "rw_close");
}
int c_beginopt(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "begin_opt_index, user=%s, polid=%s, svrcnt=%s, opt=%s", {1, 2, 3});
  return notyet(s, "begin_opt_index");
}
int c_count(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "count_hits, user=%s, polid=%s, query=%s", {1, 2});
  return notyet(s, "count_hits");
}
int c_estimate(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "estimate_hits, user=%s, polid=%s, query=%s", {1, 2});
  return notyet(s, "estimate_hits");
}
int c_vop(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "vop, user=%s, prefid=%s", {1});
  return 0;  // accepted; nothing to do
}
int c_fetch(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "contains_fetch, user=%s, polid=%s, query=%s", {1, 2});
  return notyet(s, "contains_fetch");
}
int c_sqe(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "sqe, user=%s, sqecmd=%s, polid=%s, sessid=%s, qrynm=%s, query=%s, scope=%s",
         {1, 2, 3, 4, 5, 6});
  return notyet(s, "sqe");
}
int c_sorted(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "sorted_fetch, user=%s, polid=%s, query=%s, scl=%s, dceil=%s, floorid=%s",
         {1, 2, 4, 5, 3});
  return notyet(s, "sorted_fetch");
}
int c_clear(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c,
         "clear_result, user=%s, restab=%s, srctab=%s, restyp=%s, shr=%s, conid=%s, curid=%s"
         ", tkcount=%s",
         {1, 2, 3, 4, 5, 6, 7});
  return notyet(s, "clear_result");
}
int c_gettab(drsrvstate *s, drmcmd *c, drmcmd *r) {
  logcmd(s, c, "gettab, user=%s, sid=%s, type=%s, tk_count=%s", {1, 2, 3});
  char name[DRR_TABNAME];
  if (drrtalc(s, num(c, 1), arg(c, 2), name, num(c, 3)) != 0) return 1;
  drmsettxt(s, r, 3, name);
  return 0;
}
int c_reltab(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "reltab, user=%s, table=%s", {1});
  return drrtdea(s, arg(c, 1));
}
int c_callback(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "inst_callback, user=%s", {});
  return notyet(s, "inst_callback");
}
int c_sleep(drsrvstate *s, drmcmd *c, drmcmd *) {
  logcmd(s, c, "sleep, user=%s", {});
  return drtlslp(s, num(c, 1));
}
int c_add(drsrvstate *s, drmcmd *c, drmcmd *r) {
  logcmd(s, c, "add, user=%s", {});
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
int c_reverse(drsrvstate *s, drmcmd *c, drmcmd *r) {
  logcmd(s, c, "reverse, user=%s", {});
  for (unsigned i = 0; i < DRM_NARGS; ++i) {
    const drmslot *a = &c->args[i];
    drmsetraw(s, r, DRM_NARGS - 1 - i, a->ind == -1 ? 0 : a->len, a->text);
  }
  return 0;
}

const drtlent kTable[] = {
    {10, c_begin},     {11, c_populate},  {12, c_drop},     {13, c_truncate},  {14, c_optimize},
    {15, c_contains},  {16, c_highlight}, {17, c_htmlhl},   {18, c_syncnow},   {19, c_syncts},
    {20, c_refresh},   {21, c_shutdown},  {22, c_mask},     {23, c_continue},  {24, c_continue},
    {25, c_mask},      {29, c_end},       {30, c_bank},     {31, c_wordassist}, {32, c_check},
    {33, c_endopt},    {34, c_rwparse},   {35, c_rwnoop},   {36, c_rwclose},   {37, c_beginopt},
    {38, c_count},     {39, c_estimate},  {40, c_vop},      {41, c_fetch},     {42, c_sqe},
    {43, c_sorted},    {44, c_clear},     {46, c_gettab},   {47, c_reltab},    {48, c_callback},
    {200, c_sleep},    {201, c_add},      {204, c_reverse},
};

int unknown(drsrvstate *s, drmcmd *c) {
  logcmd(s, c, "unknown, user=%s", {});
  uint32_t code = static_cast<uint32_t>(c->cmd);
  dracnierr(s, DRFAC_DRG, 50700, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_UB4, &code, 0);
  druetrc();
  return 1;
}

}  // namespace

const drtlent *drtlfind(int32_t code) {
  for (const drtlent &e : kTable)
    if (e.code == code) return &e;
  return nullptr;
}

int32_t drtlnum(const drmslot *a) {
  if (a->ind == -1) return 0;
  size_t n = a->len < size_t{DRM_SLOTMAX} ? a->len : size_t{DRM_SLOTMAX};
  const char *p = a->text;
  const char *end = p + strnlen(p, n);
  while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f'))
    ++p;
  bool neg = false;
  if (p < end && (*p == '+' || *p == '-')) neg = *p++ == '-';
  int64_t v = 0;
  for (; p < end && *p >= '0' && *p <= '9'; ++p) {
    v = v * 10 + (*p - '0');
    if (v > static_cast<int64_t>(INT32_MAX) + 1) v = static_cast<int64_t>(INT32_MAX) + 1;
  }
  if (neg) v = -v;
  if (v > INT32_MAX) v = INT32_MAX;
  if (v < INT32_MIN) v = INT32_MIN;
  return static_cast<int32_t>(v);
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
  int rc;
  if (druefind(s, 50705)) {
    // The poll could not deliver the arguments whole.
    logcmd(s, cmd, "refused, user=%s", {});
    rc = 1;
  } else {
    const drtlent *e = drtlfind(cmd->cmd);
    rc = e ? e->run(s, cmd, reply) : unknown(s, cmd);
  }
  return drtlans(s, cmd, reply, rc);
}

int drtlans(drsrvstate *s, const drmcmd *cmd, drmcmd *reply, int rc) {
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
  if (rc == 0 || shut) {
    if (drmrpok(s, reply) != 0) {
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
