// The server registry calls. Each runs once on a cursor of its own on the
// transport connection, so other sessions see the registration at once.
#include "dr/dras/drasrv.h"

#include <cstring>

#include "dr/dru/dru.h"

namespace {

// Opens and parses a registry call on the transport connection; a failure
// here is fatal for the server.
int drasrvopn(drsrvstate *s, druocur *c, const char *sql) {
  return druoprp(s, c, DRUO_TRANSPORT, sql, &druorepf) == 0 ? 0 : 1;
}

// Binds one value of a registry call, reported as a bind of the call.
int drasrvbnd(drsrvstate *s, druocur *c, const char *name, void *buf, int32_t size, int type,
              int16_t *ind = nullptr) {
  return druobnd(s, c, name, buf, size, type, ind, nullptr, &druorepf);
}

// Executes the bound call unless a bind failed (rc) and closes it; 0 / 1.
int drasrvend(drsrvstate *s, druocur *c, int rc) {
  if (rc == 0) rc = druoexe(s, c, &druorepf);
  druocls(c);
  if (rc != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

}  // namespace

int drasmadd(drsrvstate *s) {
  druocur c{};
  if (drasrvopn(s, &c, "CALL draserm.add(:person_mask, :name, :addr, :audsid)") != 0) return 1;
  // Name and address go in as null whatever the state held, and come back
  // filled by the call.
  int16_t nameind = -1;
  int16_t addrind = -1;
  s->srvname[0] = '\0';
  s->mbox[0] = '\0';
  int rc = drasrvbnd(s, &c, ":person_mask", s->pmask, 31, DRUO_STRING);
  if (rc == 0) rc = drasrvbnd(s, &c, ":name", s->srvname, sizeof s->srvname, DRUO_STRING, &nameind);
  if (rc == 0) rc = drasrvbnd(s, &c, ":addr", s->mbox, sizeof s->mbox, DRUO_STRING, &addrind);
  if (rc == 0) rc = drasrvbnd(s, &c, ":audsid", &s->audsid, sizeof s->audsid, DRUO_INTEGER);
  rc = drasrvend(s, &c, rc);
  if (nameind == -1) s->srvname[0] = '\0';
  if (addrind == -1) s->mbox[0] = '\0';
  return rc;
}

int drasmupd(drsrvstate *s) {
  druocur c{};
  if (drasrvopn(s, &c, "CALL draserm.upd(:name, :status, :person_mask, :idle_time)") != 0) return 1;
  char status[] = "RUN";
  int32_t idle = 0;
  int rc = drasrvbnd(s, &c, ":name", s->srvname, sizeof s->srvname, DRUO_STRING);
  if (rc == 0) rc = drasrvbnd(s, &c, ":status", status, sizeof status, DRUO_STRING);
  if (rc == 0) rc = drasrvbnd(s, &c, ":person_mask", s->pmask, 31, DRUO_STRING);
  if (rc == 0) rc = drasrvbnd(s, &c, ":idle_time", &idle, sizeof idle, DRUO_INTEGER);
  return drasrvend(s, &c, rc);
}

int drasmdel(drsrvstate *s) {
  druocur c{};
  if (drasrvopn(s, &c, "CALL draserm.del(:name)") != 0) return 1;
  int rc = drasrvbnd(s, &c, ":name", s->srvname, sizeof s->srvname, DRUO_STRING);
  return drasrvend(s, &c, rc);
}
