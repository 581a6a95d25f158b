// The poll: one call of listener.get_cmd for the next message addressed to
// this server. The statement is parsed once on the dispatcher's listener
// cursor and only re-bound and executed for each poll.
#include <cstring>

#include "dr/drt/drt.h"
#include "dr/dru/dru.h"
#include "platform/db/db.h"

namespace {

constexpr char kFile[] = "dr/drt/drtlgcmd.cpp";

constexpr char kPoll[] =
    "CALL listener.get_cmd_blk(:sid, :mbox, :pmask, :cmd_type, :disp_id, :disp_return_address, "
    ":disp_user, :disp_command, :disp_arg1, :disp_arg2, :disp_arg3, :disp_arg4, :disp_arg5, "
    ":disp_arg6, :disp_arg7, :disp_arg8, :disp_arg9, :disp_arg10, :dml_numpkeys, :dml_cid, "
    ":error_stack)";

constexpr const char *kArgNames[DRM_NARGS] = {
    ":disp_arg1", ":disp_arg2", ":disp_arg3", ":disp_arg4", ":disp_arg5",
    ":disp_arg6", ":disp_arg7", ":disp_arg8", ":disp_arg9", ":disp_arg10"};

int bindslot(kdbcda *c, const char *name, drmslot *slot) {
  slot->ind = -1;
  slot->len = 0;
  slot->text[0] = '\0';
  return kdbbndrv(c, name, slot->text, DRM_SLOTMAX + 1, KDB_STRING, &slot->ind, &slot->len);
}

int fail(drsrvstate *s) {
  dracnerr(s, DRFAC_DRG, 50301, 3, 0);
  druetrc();
  return 1;
}

}  // namespace

int drtlgcmd(drsrvstate *s, int32_t *type, drmcmd *cmd, drtldml *dml) {
  drmstate *m = s->mstate;
  if (!m) return fail(s);
  kdbcda *c = &m->lsncur;
  if (!m->lsnprs) {
    int rc = s->login ? druoopnt(&m->lsncur, s->login) : KDB_NOTCONNECTED;
    if (rc != 0) {
      druekcii(s, 50800, 2, kFile, __LINE__, rc);
      return fail(s);
    }
    rc = kdbparse(c, kPoll);
    if (rc != 0) {
      druekcii(s, 50801, 2, kFile, __LINE__, rc);
      kdbclose(c);
      return fail(s);
    }
    m->lsnprs = 1;
  }
  // Scratch of the poll; bound by address, so it must stay put between the
  // binds and the execution.
  static char stack[DRM_SLOTMAX + 1];
  static int16_t stackind;
  stack[0] = '\0';
  stackind = -1;
  *type = 0;
  cmd->id = 0;
  cmd->cmd = 0;
  dml->polid = 0;
  dml->nkeys = DRT_DMLCAP;

  int rc = 0;
  int line = 0;
#define BIND(call)          \
  if (rc == 0) {            \
    rc = (call);            \
    line = __LINE__;        \
  }
  BIND(kdbbndrv(c, ":sid", &s->audsid, sizeof s->audsid, KDB_INTEGER))
  BIND(kdbbndrv(c, ":mbox", s->mbox, sizeof s->mbox, KDB_STRING))
  BIND(kdbbndrv(c, ":error_stack", stack, sizeof stack, KDB_STRING, &stackind))
  BIND(kdbbndrv(c, ":pmask", s->pmask, 31, KDB_STRING))
  BIND(kdbbndrv(c, ":cmd_type", type, sizeof *type, KDB_INTEGER))
  BIND(bindslot(c, ":disp_return_address", &cmd->addr))
  BIND(bindslot(c, ":disp_user", &cmd->user))
  BIND(kdbbndrv(c, ":disp_command", &cmd->cmd, sizeof cmd->cmd, KDB_INTEGER))
  for (unsigned i = 0; i < DRM_NARGS; ++i) BIND(bindslot(c, kArgNames[i], &cmd->args[i]))
  BIND(kdbbndrv(c, ":disp_id", &cmd->id, sizeof cmd->id, KDB_INTEGER))
  BIND(kdbbndrv(c, ":dml_cid", &dml->polid, sizeof dml->polid, KDB_INTEGER))
  BIND(kdbbndrv(c, ":dml_numpkeys", &dml->nkeys, sizeof dml->nkeys, KDB_INTEGER))
#undef BIND
  if (rc != 0) {
    druekcii(s, 50802, 2, kFile, line, rc);
    return fail(s);
  }
  rc = kdbexec(c);
  if (rc == KDB_TRUNCATED) {
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
    if (stackind > 0) stackind = 0;
    rc = 0;
  }
  // An idle poll leaves the integers of a message null; that is no failure.
  if (rc != 0 && rc != KDB_NULLVALUE) {
    druekci(s, rc);
    return fail(s);
  }
  if (stackind == -1) stack[0] = '\0';
  if (*type == DRT_DML && dml->nkeys < 0 && dml->polid == 0 && stack[0] != '\0') {
    // A queue error arrives as a failed batch: logged here, then the loop
    // counts the batch as failed and goes on.
    dracnerr(s, DRFAC_DRG, 50850, 2, DRA_STR, stack, 0);
    druelog(s);
    rtfflush(s->log);
    drueclr(s);
    return 0;
  }
  if (stack[0] != '\0') {
    dracnerr(s, DRFAC_DRG, 50850, 2, DRA_STR, stack, 0);
    return fail(s);
  }
  m->msgid = cmd->id;
  return 0;
}
