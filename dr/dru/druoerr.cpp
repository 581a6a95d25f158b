// Client-layer failures on the error stack: the database's text for a
// return code as message 50850, then the failing step. Every failure of the
// cursor layer is reported here.
#include "dr/dru/druo.h"
#include "dr/dru/drue.h"
#include "platform/db/db.h"

namespace {

// The login whose last error the text comes from: the connected login, or
// the login area itself while a log-on is being given up.
kdblda *login(drsrvstate *st) {
  return static_cast<kdblda *>(st->login ? st->login : static_cast<void *>(st->logarea));
}

// A lost connection is told once, as fatal (nothing works without it);
// the steps that fail after it only because it is gone add nothing that is
// true. True when rc is such a failure (told now or before).
bool lost(drsrvstate *st, int rc) {
  if (rc != KDB_NOTCONNECTED || !st->login) return false;
  int gone = kdbgone(login(st));
  if (gone == 1) {
    char text[2050];
    kdberror(login(st), rc, text, sizeof text);
    dracnerr(st, DRFAC_DRG, DRUE_DBTEXT, 3, DRA_STR, text, 0);
  }
  return gone != 0;
}

}  // namespace

void druekci(drsrvstate *st, int rc) {
  if (lost(st, rc)) return;
  char text[2050];
  kdberror(login(st), rc, text, sizeof text);
  dracnerr(st, DRFAC_DRG, DRUE_DBTEXT, 2, DRA_STR, text, 0);
}

void druekcii(drsrvstate *st, int num, int sev, const char *file, int line, int rc) {
  if (lost(st, rc)) return;
  druekci(st, rc);
  dracnierr(st, DRFAC_DRG, num, sev, DRA_STR, file, DRA_INT, line, 0);
}

int druoerr(drsrvstate *st, int rc, int step, int sev, const char *file, int line) {
  if (sev < 0 || step < 0) return 1;
  if (step != 0) druekcii(st, step, sev, file, line, rc);
  else druekci(st, rc);
  druetrc();
  return 1;
}

int druotxt(drsrvstate *st, int rc, char *buf, size_t size) {
  return kdberror(login(st), rc, buf, size);
}
