// The server's side of the result-table package dr_rtm: allocate a table
// for a session, release it, recover what ended sessions left. Each call runs
// on a cursor of its own on the transport connection, so a table handed out
// is known to the package at once.
#include <cstring>

#include "dr/drr/drr.h"
#include "dr/dru/dru.h"
#include "platform/db/db.h"

namespace {

constexpr char kFile[] = "dr/drr/drrtm.cpp";

void ierr(drsrvstate *s, int num, int line) {
  dracnierr(s, DRFAC_DRG, num, 3, DRA_STR, kFile, DRA_INT, line, DRA_STR, "", DRA_STR, "",
            DRA_STR, "", DRA_STR, "", DRA_STR, "", 0);
}

// Opens and parses a call; on failure pushes the step's fatal message (after
// the database's text when withtext) and returns 1.
int drrtopn(drsrvstate *s, druocur *c, const char *sql, bool withtext) {
  int rc = s->login ? druoopnt(c, s->login) : KDB_NOTCONNECTED;
  if (rc != 0) {
    if (withtext) druekci(s, rc);
    ierr(s, 50800, __LINE__);
    return 1;
  }
  rc = kdbparse(c, sql);
  if (rc != 0) {
    if (withtext) druekci(s, rc);
    ierr(s, 50801, __LINE__);
    kdbclose(c);
    return 1;
  }
  return 0;
}

int drrtend(drsrvstate *s, druocur *c, int rc, int msg) {
  if (rc != 0) druekci(s, rc);
  kdbclose(c);
  if (rc == 0) return 0;
  dracnerr(s, DRFAC_DRG, msg, 2, 0);
  druetrc();
  return 1;
}

int drrtfail(drsrvstate *s, int msg) {
  dracnerr(s, DRFAC_DRG, msg, 2, 0);
  druetrc();
  return 1;
}

}  // namespace

int drrtalc(drsrvstate *s, int32_t sessid, const char *type, char *name, int32_t keycnt) {
  druocur c{};
  name[0] = '\0';
  if (drrtopn(s, &c, "CALL dr_rtm.allocate(:session_id, :table_type, :tablename, :textkey_count)",
              true) != 0)
    return drrtfail(s, 52005);
  int16_t nameind = -1;
  int rc = kdbbndrv(&c, ":session_id", &sessid, sizeof sessid, KDB_INTEGER);
  if (rc == 0)
    rc = kdbbndrv(&c, ":table_type", const_cast<char *>(type),
                  static_cast<int32_t>(strlen(type) + 1), KDB_STRING);
  if (rc == 0) rc = kdbbndrv(&c, ":tablename", name, DRR_TABNAME, KDB_STRING, &nameind);
  if (rc == 0) rc = kdbbndrv(&c, ":textkey_count", &keycnt, sizeof keycnt, KDB_INTEGER);
  if (rc == 0) rc = kdbexec(&c);
  if (rc == 0 && nameind == -1) name[0] = '\0';
  return drrtend(s, &c, rc, 52005);
}

int drrtdea(drsrvstate *s, const char *name) {
  druocur c{};
  if (drrtopn(s, &c, "CALL dr_rtm.deallocate(:tablename)", false) != 0)
    return drrtfail(s, 52006);
  int rc = kdbbndrv(&c, ":tablename", const_cast<char *>(name),
                    static_cast<int32_t>(strlen(name) + 1), KDB_STRING);
  if (rc == 0) rc = kdbexec(&c);
  return drrtend(s, &c, rc, 52006);
}

int drrtrcv(drsrvstate *s) {
  druocur c{};
  if (drrtopn(s, &c, "CALL dr_rtm.recover()", false) != 0) return drrtfail(s, 52007);
  return drrtend(s, &c, kdbexec(&c), 52007);
}

int drrtprv(drsrvstate *s, const char *user, const char *table, const char *right) {
  if (!druoidn(table, 2)) {
    dracnerr(s, DRFAC_DRG, 52009, 2, DRA_STR, table ? table : "", 0);
    druetrc();
    return 1;
  }
  druocur c{};
  int rc = s->login ? druoopn(&c, s->login) : KDB_NOTCONNECTED;
  if (rc == 0) rc = kdbparse(&c, "SELECT has_table_privilege(:usr, :tab, :priv)");
  int32_t may = 0;
  if (rc == 0)
    rc = kdbbndrv(&c, ":usr", const_cast<char *>(user), static_cast<int32_t>(strlen(user) + 1),
                  KDB_STRING);
  if (rc == 0)
    rc = kdbbndrv(&c, ":tab", const_cast<char *>(table), static_cast<int32_t>(strlen(table) + 1),
                  KDB_STRING);
  if (rc == 0)
    rc = kdbbndrv(&c, ":priv", const_cast<char *>(right), static_cast<int32_t>(strlen(right) + 1),
                  KDB_STRING);
  if (rc == 0) rc = kdbdefin(&c, 1, &may, sizeof may, KDB_INTEGER);
  if (rc == 0) rc = kdbexfet(&c, 1);
  if (rc != 0) druekci(s, rc);
  if (c.cur) kdbclose(&c);
  if (rc != 0 || !may) {
    dracnerr(s, DRFAC_DRG, 52008, 2, DRA_STR, user, DRA_STR, table, DRA_STR, right, 0);
    druetrc();
    return 1;
  }
  return 0;
}
