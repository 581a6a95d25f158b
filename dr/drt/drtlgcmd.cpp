// The poll: one call of listener.get_cmd for the next message addressed to
// this server. The statement is parsed once on the dispatcher's listener
// cursor and only re-bound and executed for each poll; its binds are made in
// one place, which the benchmark and the transport's test use too.
#include <cstdio>
#include <cstring>

#include "dr/drt/drt.h"
#include "dr/dru/dru.h"
#include "platform/nls/nls.h"

const char drtlgsql[] =
    "CALL listener.get_cmd_blk(:sid, :mbox, :pmask, :cmd_type, :disp_id, :disp_return_address, "
    ":disp_user, :disp_command, :disp_arg1, :disp_arg2, :disp_arg3, :disp_arg4, :disp_arg5, "
    ":disp_arg6, :disp_arg7, :disp_arg8, :disp_arg9, :disp_arg10, :dml_numpkeys, :dml_cid, "
    ":error_stack)";

// Whoever queues work for a server notifies this channel in the same
// transaction; the listener waits for it on its transport connection.
const char drtllsql[] = "LISTEN dispatcher_work";
unsigned drtwaitms = 2000;

namespace {

constexpr const char *kArgNames[DRM_NARGS] = {
    ":disp_arg1", ":disp_arg2", ":disp_arg3", ":disp_arg4", ":disp_arg5",
    ":disp_arg6", ":disp_arg7", ":disp_arg8", ":disp_arg9", ":disp_arg10"};

int bindslot(drsrvstate *s, druocur *c, const char *name, drmslot *slot) {
  slot->ind = -1;
  slot->len = 0;
  slot->text[0] = '\0';
  return druobnd(s, c, name, slot->text, DRM_SLOTMAX + 1, DRUO_STRING, &slot->ind, &slot->len,
                 &druorepf);
}

int bindnum(drsrvstate *s, druocur *c, const char *name, int32_t *v, int16_t *ind = nullptr) {
  return druobnd(s, c, name, v, sizeof *v, DRUO_INTEGER, ind, nullptr, &druorepf);
}

int bindtext(drsrvstate *s, druocur *c, const char *name, char *buf, int32_t size,
             int16_t *ind = nullptr) {
  return druobnd(s, c, name, buf, size, DRUO_STRING, ind, nullptr, &druorepf);
}

int fail(drsrvstate *s) {
  dracnerr(s, DRFAC_DRG, 50301, 3, 0);
  druetrc();
  return 1;
}

// Sets the transport connection's client encoding; 0 or 1.
int setenc(drsrvstate *s, const char *enc) {
  char sql[64];
  std::snprintf(sql, sizeof sql, "SET client_encoding TO '%s'", enc);
  druocur *c = nullptr;
  int rc = druoprst(s, s->seshp, sql, &c);
  if (rc == 0) rc = druoexe(s, c);
  if (c) druofre(s, s->seshp, &c);
  return rc != 0;
}

// A message holding a character the session's set cannot carry fails the
// poll in that set; it is taken again in UTF8 and each such character
// replaced by the set's replacement character, so that neither the message
// nor the server is lost over it. The poll's return code.
int pollutf8(drsrvstate *s, druocur *c, const druorep *rep, drtlpoll *p) {
  const nlscs *cs = dracncs(s);
  if (!cs->pgenc || setenc(s, "UTF8") != 0) return DRUO_BADTEXT;
  int rc = druoexe(s, c, rep);
  if (setenc(s, cs->pgenc) != 0) rc = DRUO_NOTCONN;
  if (rc != 0 && rc != DRUO_TRUNC) return rc;
  drmcmd *cmd = p->cmd;
  drmslot *slots[2 + DRM_NARGS] = {&cmd->addr, &cmd->user};
  for (unsigned i = 0; i < DRM_NARGS; ++i) slots[2 + i] = &cmd->args[i];
  size_t replaced = 0;
  for (drmslot *slot : slots) {
    if (slot->ind == -1) continue;
    static char out[DRM_SLOTMAX + 1];
    size_t len = strnlen(slot->text, DRM_SLOTMAX), used = 0;
    long n = nlsfromutf8(cs, out, DRM_SLOTMAX, slot->text, len, &used, &replaced);
    if (n < 0) return DRUO_BADTEXT;
    std::memcpy(slot->text, out, static_cast<size_t>(n));
    slot->text[n] = '\0';
    slot->len = static_cast<uint16_t>(n);
  }
  uint32_t nrep = static_cast<uint32_t>(replaced);
  dracnprt(s, s->log, "Warning: message %d holds %d characters outside character set %s: replaced\n",
           DRA_SB4, &cmd->id, DRA_UB4, &nrep, DRA_STR, cs->name, 0);
  return rc;
}

}  // namespace

int drtlgbnd(drsrvstate *s, druocur *c, drtlpoll *p) {
  drmcmd *cmd = p->cmd;
  drtldml *dml = p->dml;
  p->stack[0] = '\0';
  p->stackind = -1;
  p->type = 0;
  cmd->id = 0;
  cmd->cmd = 0;
  dml->polid = 0;
  dml->nkeys = DRT_DMLCAP;
  int rc = bindnum(s, c, ":sid", &s->audsid);
  if (rc == 0) rc = bindtext(s, c, ":mbox", s->mbox, sizeof s->mbox);
  if (rc == 0) rc = bindtext(s, c, ":error_stack", p->stack, sizeof p->stack, &p->stackind);
  if (rc == 0) rc = bindtext(s, c, ":pmask", s->pmask, 31);
  if (rc == 0) rc = bindnum(s, c, ":cmd_type", &p->type, &p->ind[0]);
  if (rc == 0) rc = bindslot(s, c, ":disp_return_address", &cmd->addr);
  if (rc == 0) rc = bindslot(s, c, ":disp_user", &cmd->user);
  if (rc == 0) rc = bindnum(s, c, ":disp_command", &cmd->cmd, &p->ind[1]);
  for (unsigned i = 0; rc == 0 && i < DRM_NARGS; ++i)
    rc = bindslot(s, c, kArgNames[i], &cmd->args[i]);
  if (rc == 0) rc = bindnum(s, c, ":disp_id", &cmd->id, &p->ind[2]);
  if (rc == 0) rc = bindnum(s, c, ":dml_cid", &dml->polid, &p->ind[3]);
  if (rc == 0) rc = bindnum(s, c, ":dml_numpkeys", &dml->nkeys, &p->ind[4]);
  return rc == 0 ? 0 : 1;
}

int drtlgcmd(drsrvstate *s, int32_t *type, drmcmd *cmd, drtldml *dml) {
  drmstate *m = s->mstate;
  if (!m) return fail(s);
  druocur *c = &m->lsncur;
  if (!m->lsnprs) {
    // Listening starts before the first look, so that nothing queued after
    // that look goes unannounced.
    druocur l{};
    int rc = druoprp(s, &l, DRUO_TRANSPORT, drtllsql, &druorepf);
    if (rc == 0) {
      rc = druoexe(s, &l, &druorepf);
      druoend(s, &l, &druorepq);
    }
    if (rc != 0) return fail(s);
    if (druoprp(s, c, DRUO_TRANSPORT, drtlgsql) != 0) return fail(s);
    m->lsnprs = 1;
  }
  // Bound by address, so it must stay put between the binds and the
  // execution; one poll at a time on the main thread.
  static drtlpoll p;
  p.cmd = cmd;
  p.dml = dml;
  if (drtlgbnd(s, c, &p) != 0) return fail(s);
  // A value longer than its slot is handled below, not reported as a failure.
  static const druorep kExec = {DRUE_OPEN, DRUE_PARSE, DRUE_BIND, DRUE_DEFINE, -1, 0, -1, 3, 2};
  int rc = druoexe(s, c, &kExec);
  if (rc == DRUO_BADTEXT) rc = pollutf8(s, c, &kExec, &p);
  *type = p.type;
  if (rc == DRUO_TRUNC) {
    // A value longer than its slot: the message was still handed to this
    // server, with every value cut to fit. It is refused rather than served
    // with cut arguments or left for the next server to choke on.
    drmslot *slots[2 + DRM_NARGS] = {&cmd->addr, &cmd->user};
    for (unsigned i = 0; i < DRM_NARGS; ++i) slots[2 + i] = &cmd->args[i];
    for (unsigned i = 0; i < 2 + DRM_NARGS; ++i) {
      // The indicator holds the value's length, or -2 for more than 32767
      // bytes; 0 and -1 (null) are whole values.
      if (slots[i]->ind == 0 || slots[i]->ind == -1) continue;
      slots[i]->ind = 0;
      int32_t argno = static_cast<int32_t>(i) - 1;
      dracnerr(s, DRFAC_DRG, 50705, 2, DRA_SB4, &cmd->id, DRA_SB4, &argno, 0);
    }
    if (p.stackind > 0) p.stackind = 0;
    rc = 0;
  }
  if (rc != 0) {
    druoerr(s, rc, 0, 2);
    return fail(s);
  }
  if (p.stackind == -1) p.stack[0] = '\0';
  if (p.type == DRT_DML && dml->nkeys < 0 && dml->polid == 0 && p.stack[0] != '\0') {
    // A queue error arrives as a failed batch: logged here, then the loop
    // counts the batch as failed and goes on.
    dracnerr(s, DRFAC_DRG, 50850, 2, DRA_STR, p.stack, 0);
    druelog(s);
    rtfflush(s->log);
    drueclr(s);
    return 0;
  }
  if (p.stack[0] != '\0') {
    dracnerr(s, DRFAC_DRG, 50850, 2, DRA_STR, p.stack, 0);
    return fail(s);
  }
  m->msgid = cmd->id;
  return 0;
}

int drtlwait(drsrvstate *s) {
  if (drtstop) return 0;
  int rc = druowai(s, DRUO_TRANSPORT, static_cast<int32_t>(drtwaitms), &druorepq);
  // A wait that cannot be made must not turn the loop into a spin; the
  // next poll reports a lost connection.
  if (rc != 0 && rc != DRUO_NODATA) rtsleep(10);
  return 0;
}
