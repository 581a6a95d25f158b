// Log-on and log-off of the server's session, the SQL trace that writes
// every statement the client layer runs, with its binds, into the log, and
// the hooks through which an interrupt reaches running statements. It
// belongs to the cursor layer, the only door to the client layer.
#include <cstring>

#include "dr/dru/druo.h"
#include "dr/dru/drue.h"
#include "platform/db/db.h"
#include "platform/nls/nls.h"

namespace {

// The statement that switches tracing on: the client layer does the tracing
// itself, and the session only records that it is on, which needs no
// superuser right.
constexpr char kTraceOn[] = "SELECT set_config('dr.sql_trace', 'on', false)";

// What every fresh session of the fence connection runs: the statement
// time-out an administrator sets for code the server does not own.
constexpr char kFenceSetup[] =
    "SELECT set_config('statement_timeout', dr_utl.call_timeout(), false)";

kdblda *area(drsrvstate *st) { return reinterpret_cast<kdblda *>(st->logarea); }

// Writes one traced statement into the server log.
void tracetolog(void *ctx, const char *text) {
  drsrvstate *st = static_cast<drsrvstate *>(ctx);
  dracnprt(st, st->log, "%s\n", DRA_STR, text, 0);
}

// Hands a long wait of the client layer to the listener's check.
int watchwait(void *ctx, int link) {
  return druowatch ? druowatch(static_cast<drsrvstate *>(ctx), link) : 0;
}

}  // namespace

int (*druowatch)(drsrvstate *st, int link) = nullptr;
int (*druointr)(drsrvstate *st) = nullptr;

int druochk(drsrvstate *st) { return druointr ? druointr(st) : 0; }

int dracnlog(drsrvstate *st, const char *user, uint8_t trace) {
  st->login = st->logarea;
  int rc = kdblogon(area(st), user ? user : "", -1);
  if (rc != 0) {
    druekci(st, rc);
    dracnerr(st, DRFAC_DRG, 11100, 3, 0);
    kdblogoff(area(st));  // frees what the failed attempt kept
    st->login = nullptr;
    druetrc();
    return 1;
  }
  // The session speaks the server's character set; the database converts.
  const nlscs *cs = dracncs(st);
  if (cs && cs->pgenc && std::strcmp(cs->name, "US7ASCII") != 0) kdbcharset(area(st), cs->pgenc);
  kdbfence(area(st), kFenceSetup);  // no fence connection yet: kept for its opening
  kdbwatch(area(st), watchwait, st);
  dracnprt(st, st->log, "Connected to database.\n", 0);
  if (trace == 1) {
    kdbtrace(area(st), tracetolog, st);
    if (drqsexe(st, kTraceOn) != 0) {
      dracnerr(st, DRFAC_DRG, 50852, 3, 0);
      dracnlof(st);
      druetrc();
      return 1;
    }
  }
  return 0;
}

int dracnlof(drsrvstate *st) {
  if (!st->login) {
    druetrc();
    return 1;
  }
  // A login whose connection was lost (and said so) only lets go of what
  // is left: its log-off cannot fail in any way worth telling.
  int gone = kdbgone(area(st));
  if (gone == 1) {
    char text[2050];
    kdberror(area(st), KDB_NOTCONNECTED, text, sizeof text);
    dracnerr(st, DRFAC_DRG, DRUE_DBTEXT, 2, DRA_STR, text, 0);
  }
  int rc = kdblogoff(area(st));
  if (rc != 0 && gone) {
    st->login = nullptr;
    druetrc();
    return 1;
  }
  if (rc != 0) {
    // The session is gone either way; the text was kept on the login area
    // only while it existed, so report the code's own text.
    druekcii(st, 50855, 2, __FILE__, __LINE__, rc);
    st->login = nullptr;
    druetrc();
    return 1;
  }
  st->login = nullptr;
  return 0;
}

int druofrs(drsrvstate *st) {
  if (!st->login) {
    druetrc();
    return 1;
  }
  int rc = kdbfence(area(st), nullptr);
  if (rc != 0) {
    druoerr(st, rc, 0, 2);
    return 1;
  }
  if (st->audsid <= 0) return 0;  // not registered yet: no lock to hold
  static const druorep kRep = {0, 0, 0, 0, 0, 0, -1, 2, 2};
  druocur cur{};
  int32_t sid = st->audsid, alive = 0;
  rc = druoprp(st, &cur, DRUO_TRANSPORT, "SELECT draserm.alive(:sid)::integer", &kRep);
  if (rc == 0) {
    rc = druobnd(st, &cur, ":sid", &sid, sizeof sid, DRUO_INTEGER, nullptr, nullptr, &kRep);
    if (rc == 0) rc = druodef(st, &cur, 1, &alive, sizeof alive, DRUO_INTEGER, nullptr, nullptr, &kRep);
    if (rc == 0) rc = druoexf(st, &cur, 1, &kRep);
    if (rc == DRUO_NODATA) rc = 0;
    druocls(&cur);
  }
  if (rc != 0) {
    druetrc();
    return 1;
  }
  if (alive != 1) {
    dracnerr(st, DRFAC_DRG, 50860, 3, 0);
    druetrc();
    return 1;
  }
  return 0;
}
