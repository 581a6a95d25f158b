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

}  // namespace

void druekci(drsrvstate *st, int rc) {
  char text[2050];
  kdberror(login(st), rc, text, sizeof text);
  dracnerr(st, DRFAC_DRG, DRUE_DBTEXT, 2, DRA_STR, text, 0);
}

void druekcii(drsrvstate *st, int num, int sev, const char *file, int line, int rc) {
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
