// The server registry calls. Each runs once on a cursor of its own on the
// transport connection, so other sessions see the registration at once.
#include "dr/dras/drasrv.h"

#include <cstring>

#include "dr/dru/dru.h"
#include "platform/db/db.h"

namespace {

constexpr char kFile[] = __FILE__;

void ierr(drsrvstate *s, int num, int line) {
  dracnierr(s, DRFAC_DRG, num, 3, DRA_STR, kFile, DRA_INT, line, DRA_STR, "", DRA_STR, "",
            DRA_STR, "", DRA_STR, "", DRA_STR, "", 0);
}

// Opens and parses a registry call; a failure here is fatal for the server.
int drasmopn(drsrvstate *s, druocur *c, const char *sql) {
  if (!s->login || druoopnt(c, s->login) != 0) {
    ierr(s, 50800, __LINE__);
    druetrc();
    return 1;
  }
  if (kdbparse(c, sql) != 0) {
    ierr(s, 50801, __LINE__);
    kdbclose(c);
    druetrc();
    return 1;
  }
  return 0;
}

// Reports a failed bind (50802) or execution (50804) and closes the cursor.
int drasmend(drsrvstate *s, druocur *c, int rc, int num, int line) {
  if (rc != 0) druekcii(s, num, 2, kFile, line, rc);
  kdbclose(c);
  if (rc != 0) druetrc();
  return rc != 0 ? 1 : 0;
}

}  // namespace

int drasmadd(drsrvstate *s) {
  druocur c{};
  if (drasmopn(s, &c, "CALL draserm.add(:person_mask, :name, :addr, :audsid)") != 0) return 1;
  // Name and address go in as null whatever the state held, and come back
  // filled by the call.
  int16_t nameind = -1;
  int16_t addrind = -1;
  s->srvname[0] = '\0';
  s->mbox[0] = '\0';
  int rc = kdbbndrv(&c, ":person_mask", s->pmask, 31, KDB_STRING);
  if (rc == 0) rc = kdbbndrv(&c, ":name", s->srvname, sizeof s->srvname, KDB_STRING, &nameind);
  if (rc == 0) rc = kdbbndrv(&c, ":addr", s->mbox, sizeof s->mbox, KDB_STRING, &addrind);
  if (rc == 0) rc = kdbbndrv(&c, ":audsid", &s->audsid, sizeof s->audsid, KDB_INTEGER);
  if (rc != 0) return drasmend(s, &c, rc, 50802, __LINE__);
  rc = kdbexec(&c);
  if (nameind == -1) s->srvname[0] = '\0';
  if (addrind == -1) s->mbox[0] = '\0';
  return drasmend(s, &c, rc, 50804, __LINE__);
}

int drasmupd(drsrvstate *s) {
  druocur c{};
  if (drasmopn(s, &c, "CALL draserm.upd(:name, :status, :person_mask, :idle_time)") != 0) return 1;
  char status[] = "RUN";
  int32_t idle = 0;
  int rc = kdbbndrv(&c, ":name", s->srvname, sizeof s->srvname, KDB_STRING);
  if (rc == 0) rc = kdbbndrv(&c, ":status", status, sizeof status, KDB_STRING);
  if (rc == 0) rc = kdbbndrv(&c, ":person_mask", s->pmask, 31, KDB_STRING);
  if (rc == 0) rc = kdbbndrv(&c, ":idle_time", &idle, sizeof idle, KDB_INTEGER);
  if (rc != 0) return drasmend(s, &c, rc, 50802, __LINE__);
  return drasmend(s, &c, kdbexec(&c), 50804, __LINE__);
}

int drasmdel(drsrvstate *s) {
  druocur c{};
  if (drasmopn(s, &c, "CALL draserm.del(:name)") != 0) return 1;
  int rc = kdbbndrv(&c, ":name", s->srvname, sizeof s->srvname, KDB_STRING);
  if (rc != 0) return drasmend(s, &c, rc, 50802, __LINE__);
  return drasmend(s, &c, kdbexec(&c), 50804, __LINE__);
}
