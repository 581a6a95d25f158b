// The listener loop and what it runs besides commands: the out-of-band
// check, the sleep command, batches of changed rows, linguistic requests,
// text-loading batches and the change of the personality mask.
#include <chrono>
#include <csignal>
#include <cstring>

#include "dr/dras/drasrv.h"
#include "dr/drq/drq.h"
#include "dr/drt/drt.h"
#include "dr/drt/drtint.h"
#include "dr/dru/dru.h"

drtlsvc drtsvc;
unsigned drtslpms = 1000;
volatile sig_atomic_t drtstop = 0;

namespace {

// The message being served was interrupted: an out-of-band check took the
// message that says so, and every later check answers the same until the
// next message.
bool interrupted = false;
// When the out-of-band table was last asked (drtlpoint asks at most every
// kAskMs).
std::chrono::steady_clock::time_point asked;
constexpr auto kAskMs = std::chrono::milliseconds(300);

const char *text(const drmslot *a) { return a->ind == -1 ? "" : a->text; }

// A user's text as the log may show it, its control characters escaped,
// in the k-th of three buffers (a log line shows at most three of them).
const char *esc(int k, const char *t) {
  static char buf[3][4 * DRM_SLOTMAX + 1];
  dracnesc(t, buf[k], sizeof buf[k]);
  return buf[k];
}

// One text-loading batch: the cycle, then the batch closed or requeued.
int loadbatch(drsrvstate *s, int32_t id) {
  if (id == 0) return 0;
  int rc;
  if (!drtsvc.loadcyc) {
    dracnerr(s, DRFAC_DRG, 50701, 2, DRA_STR, "text loading", 0);
    rc = 1;
  } else {
    rc = drtsvc.loadcyc(s, id) == 0 ? 0 : 1;
  }
  if (rc == 0) return drqssrc(s, id) == 0 ? 0 : 1;
  drqsrqb(s);
  druetrc();
  return 1;
}

}  // namespace

int drtlmain(drsrvstate *s) {
  auto *cmd = static_cast<drmcmd *>(
      drumalc(s, s->hpmgr, s->seshp, 1, sizeof(drmcmd), __FILE__, __LINE__));
  auto *reply = static_cast<drmcmd *>(
      drumalc(s, s->hpmgr, s->seshp, 1, sizeof(drmcmd), __FILE__, __LINE__));
  auto *dml = static_cast<drtldml *>(
      drumalc(s, s->hpmgr, s->seshp, 1, sizeof(drtldml), __FILE__, __LINE__));
  int rc = 1;
  if (!cmd || !reply || !dml) {
    dracnerr(s, DRFAC_DRG, 50703, 2, 0);
    druetrc();
  } else {
    for (;;) {
      if (drtlsig(s)) {
        rc = DRT_SHUT;
        break;
      }
      int32_t type = 0;
      if (drtlgcmd(s, &type, cmd, dml) != 0) {
        rc = 1;
        break;
      }
      if (type == DRT_IDLE) {
        drtlwait(s);
        continue;
      }
      // Only a command can be answered about arguments that did not fit;
      // any other message with such an argument fails as it stands.
      if (type != DRT_CMD && druefind(s, 50705)) type = -type;
      switch (type) {
        case DRT_CMD:
          rc = drtlcmd(s, cmd, reply);
          break;
        case DRT_DML:
          // A queue error was logged by the poll; the batch counts as failed.
          rc = (dml->nkeys < 0 && dml->polid == 0) ? 1 : drtldmb(s, dml);
          break;
        case DRT_LING: {
          auto *req = static_cast<drtlreq *>(
              drumalc(s, s->hpmgr, s->cmdhp, 1, sizeof(drtlreq), __FILE__, __LINE__));
          if (!req) {
            rc = 1;
            break;
          }
          req->id = cmd->id;
          memcpy(req->args, cmd->args, sizeof req->args);
          rc = drtlling(s, req, text(&cmd->user));
          break;
        }
        case DRT_LOAD:
          rc = loadbatch(s, cmd->id);
          break;
        default:
          if (type < 0) {
            rc = 1;
            break;
          }
          dracnout(s, "Unknown command type: %d\n", DRA_SB4, &type, 0);
          rc = 1;
          break;
      }
      // Whatever the message left open on the work connection ends with it
      // (a command's own answer has ended it already).
      if (type != DRT_CMD && drtlend(s, rc == 0) != 0) rc = 1;
      if (dracnchp(s) != 0) rc = 1;
      drtlnext();
      if (rc == DRT_SHUT) break;
      if (rc == 1) {
        druelog(s);
        if (druefatal(s)) break;
        drueclr(s);
      }
    }
  }
  drumfre(s, s->hpmgr, s->seshp, reinterpret_cast<void **>(&dml));
  drumfre(s, s->hpmgr, s->seshp, reinterpret_cast<void **>(&reply));
  drumfre(s, s->hpmgr, s->seshp, reinterpret_cast<void **>(&cmd));
  return rc == DRT_SHUT ? 0 : 1;
}

int drtlsig(drsrvstate *s) {
  if (!drtstop) return 0;
  // A termination signal ends the server the way the shutdown command does.
  int32_t sig = drtstop;
  dracnprt(s, s->log, "Signal %d: shutting down server...\n", DRA_SB4, &sig, 0);
  return 1;
}

void drtlnext() { interrupted = false; }

int drtlintr() { return drtstop || interrupted ? 1 : 0; }

int drtloob(drsrvstate *s) {
  static drmcmd m;  // one at a time on the main thread; too big for the stack of a deep caller
  if (interrupted) return DRT_INTR;
  asked = std::chrono::steady_clock::now();
  int ret = drmoob(s, &m);
  if (ret == 100) {
    dracnierr(s, DRFAC_DRG, 50302, 3, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
    druetrc();
    return 1;
  }
  // A termination signal interrupts the command being served.
  if (drtstop) return DRT_INTR;
  if (ret == 1 || ret == 3) return 0;
  dracnprt(s, s->log, "OOB user=%s, func_code=%d, return_addr=%s,\n  args=(%s)\n", DRA_STR,
           esc(0, text(&m.user)), DRA_SB4, &m.cmd, DRA_STR, esc(1, text(&m.addr)), DRA_STR,
           esc(2, text(&m.args[0])), 0);
  int32_t cur = s->mstate ? s->mstate->msgid : 0;
  dracnprt(s, s->log, "OOB current mesg id = %d\n", DRA_SB4, &cur, 0);
  if (drtlnum(&m.args[0]) != cur) return 0;
  interrupted = true;
  return DRT_INTR;
}

int drtlask(drsrvstate *s) {
  if (drtstop || interrupted) return DRT_INTR;
  // Before the dispatcher is there (start-up) only a signal can stop.
  if (!s->mstate || std::chrono::steady_clock::now() - asked < kAskMs) return 0;
  return drtloob(s);
}

int drtlpoint(drsrvstate *s) {
  int rc = drtlask(s);
  if (rc == 0) return 0;
  // The loop that stops says why once, however many loops it unwinds.
  if (rc == DRT_INTR && !druefind(s, 50707)) {
    int32_t id = s->mstate ? s->mstate->msgid : 0;
    dracnerr(s, DRFAC_DRG, 50707, 2, DRA_SB4, &id, 0);
  }
  return 1;
}

int drtlwatch(drsrvstate *s, int link) {
  // The transport connection carries the listener's own short waits and
  // the check itself: it is never cancelled, so no message is half taken.
  if (link == DRUO_TRANSPORT) return 0;
  return drtlask(s) != 0;
}

int drtlslp(drsrvstate *s, int32_t count) {
  dracnprt(s, s->log, "drtlslp(%d) begin\n", DRA_SB4, &count, 0);
  if (count < 0) {
    dracnierr(s, DRFAC_DRG, 50702, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
    druetrc();
    return 1;
  }
  while (count > 0) {
    int rc = drtloob(s);
    if (rc == 1) {
      dracnprt(s, s->log, "drtlslp: fatal error checking for interrupts\n", 0);
      dracnierr(s, DRFAC_DRG, 50702, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
      druetrc();
      return 1;
    }
    if (rc == DRT_INTR) {
      dracnprt(s, s->log, "drtlslp: interrupted\n", 0);
      druetrc();
      return DRT_INTR;
    }
    --count;
    rtsleep(drtslpms);
  }
  return 0;
}

int drtldmb(drsrvstate *s, drtldml *dml) {
  uint32_t pol = static_cast<uint32_t>(dml->polid);
  dracnprt(s, s->log, "DML batch: cid=%d, number of rows=%d\n", DRA_UB4, &pol, DRA_SB4,
           &dml->nkeys, 0);
  if (!drtsvc.dmlbatch) {
    dracnerr(s, DRFAC_DRG, 50701, 2, DRA_STR, "changed-rows batch", 0);
    druetrc();
    return 1;
  }
  if (drtsvc.dmlbatch(s, dml->polid, dml->nkeys) != 0) {
    druetrc();
    return 1;
  }
  int32_t zero = 0;
  dracnprt(s, s->log, "End batch, return code is %d\n", DRA_SB4, &zero, 0);
  return drqbdn(s) == 0 ? 0 : 1;
}

int drtlling(drsrvstate *s, drtlreq *req, const char *user) {
  const char *spec = text(&req->args[0]);
  const char *done = text(&req->args[4]);
  const char *onerr = text(&req->args[5]);
  int32_t polid = 0;
  int rc = 0;
  if (spec[0] != ' ') {
    if (!drtsvc.polbyspec || drtsvc.polbyspec(s, spec, &polid) != 0) {
      dracnerr(s, DRFAC_DRG, 10502, 2, DRA_STR, spec, 0);
      rc = 1;
    }
  }
  if (rc == 0) {
    dracnprt(s, s->log, "LING cmd: user=%s, svcno=%d, cid=%d\n", DRA_STR, esc(0, user), DRA_SB4,
             &req->id, DRA_SB4, &polid, 0);
    if (drtsvc.lingreq) {
      rc = drtsvc.lingreq(s, req->id, polid, text(&req->args[1]), text(&req->args[2]),
                          text(&req->args[3]));
    } else {
      // The service is a component outside this program; until one is
      // configured no request can be served.
      dracnerr(s, DRFAC_DRG, 50701, 2, DRA_STR, "the linguistic service", 0);
      rc = 1;
    }
    int32_t r = rc;
    dracnprt(s, s->log, "End LING cmd, return code is %d\n", DRA_SB4, &r, 0);
  }
  // The service's own work is kept or undone before the request's
  // procedures run and the request is closed.
  if (drtlend(s, rc == 0) != 0) rc = 1;
  if (rc == 0) {
    int prc = drqsprc(s, 0, done, user, req->id, "SUCCESS", "");
    int brc = drqssbd(s);
    if (prc != 0) {
      druetrc();
      return 1;
    }
    return brc == 0 ? 0 : 1;
  }
  char errs[DRM_SLOTMAX];
  druestk(s, errs, sizeof errs);
  drqsrqe(s, req->id, errs);
  drqsprc(s, 0, done, user, req->id, "ERROR", errs);
  drqsprc(s, 1, onerr, user, req->id, errs, nullptr);
  druetrc();
  return 1;
}

int drtlmask(drsrvstate *s, const drmslot *a) {
  // The mask holds 30 characters; a longer one is cut there.
  char mask[31];
  nlsccpy(drmcs(s), mask, sizeof mask, text(a), 30);
  for (const char *c = mask; *c; ++c) {
    if (*c != 'L') continue;
    if (s->lingsvc) break;
    int rc = drtsvc.lingstart ? drtsvc.lingstart(&s) : 1;
    if (rc != 0) {
      dracnerr(s, DRFAC_DRG, 11422, 2, 0);
      druetrc();
      return rc;
    }
    break;
  }
  // The database side routes by the mask of the next poll; the registry
  // shows it from now on.
  memcpy(s->pmask, mask, sizeof mask);
  if (drasmupd(s) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drtlsini(drsrvstate **sp) {
  drsrvstate *s = *sp;
  // The stand-in keeps no state of its own; the field only says it runs.
  s->lingsvc = s;
  return 0;
}
