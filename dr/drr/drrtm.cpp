// The server's side of the result-table package dr_rtm: allocate a table
// for a session, release it, recover what ended sessions left. Each call runs
// on a cursor of its own on the transport connection, so a table handed out
// is known to the package at once.
#include <cstring>
#include <string>

#include "dr/drr/drr.h"
#include "dr/dru/dru.h"

namespace {

// A call whose cursor cannot be opened or parsed is fatal; a failing bind or
// execution reports the database's text, then the call's own message.
constexpr druorep kCall = {DRUE_OPEN, DRUE_PARSE, 0, 0, 0, 0, -1, 3, 2};

// Pushes the call's own message after a failure; 1.
int drrtfail(drsrvstate *s, int msg) {
  dracnerr(s, DRFAC_DRG, msg, 2, 0);
  druetrc();
  return 1;
}

// Executes the bound call and closes it; 0, or 1 after the call's message.
int drrtend(drsrvstate *s, druocur *c, int rc, int msg) {
  if (rc == 0) rc = druoexe(s, c, &kCall);
  druocls(c);
  return rc == 0 ? 0 : drrtfail(s, msg);
}

}  // namespace

int drrtalc(drsrvstate *s, int32_t sessid, const char *type, char *name, int32_t keycnt) {
  druocur c{};
  name[0] = '\0';
  if (druoprp(s, &c, DRUO_TRANSPORT,
              "CALL dr_rtm.allocate(:session_id, :table_type, :tablename, :textkey_count)",
              &kCall) != 0)
    return drrtfail(s, 52005);
  int16_t nameind = -1;
  int rc = druobnd(s, &c, ":session_id", &sessid, sizeof sessid, DRUO_INTEGER, nullptr, nullptr,
                   &kCall);
  if (rc == 0)
    rc = druobnd(s, &c, ":table_type", const_cast<char *>(type),
                 static_cast<int32_t>(strlen(type) + 1), DRUO_STRING, nullptr, nullptr, &kCall);
  if (rc == 0)
    rc = druobnd(s, &c, ":tablename", name, DRR_TABNAME, DRUO_STRING, &nameind, nullptr, &kCall);
  if (rc == 0)
    rc = druobnd(s, &c, ":textkey_count", &keycnt, sizeof keycnt, DRUO_INTEGER, nullptr, nullptr,
                 &kCall);
  rc = drrtend(s, &c, rc, 52005);
  if (rc == 0 && nameind == -1) name[0] = '\0';
  return rc;
}

int drrtdea(drsrvstate *s, const char *name) {
  druocur c{};
  if (druoprp(s, &c, DRUO_TRANSPORT, "CALL dr_rtm.deallocate(:tablename)", &kCall) != 0)
    return drrtfail(s, 52006);
  int rc = druobnd(s, &c, ":tablename", const_cast<char *>(name),
                   static_cast<int32_t>(strlen(name) + 1), DRUO_STRING, nullptr, nullptr, &kCall);
  return drrtend(s, &c, rc, 52006);
}

int drrtrcv(drsrvstate *s) {
  druocur c{};
  if (druoprp(s, &c, DRUO_TRANSPORT, "CALL dr_rtm.recover()", &kCall) != 0)
    return drrtfail(s, 52007);
  return drrtend(s, &c, 0, 52007);
}

int drrtprv(drsrvstate *s, const char *user, const char *table, const char *right, int *fence) {
  if (!druoidn(table, 2)) {
    dracnerr(s, DRFAC_DRG, 52009, 2, DRA_STR, table ? table : "", 0);
    druetrc();
    return 1;
  }
  // Asked on the work connection outside any transaction: no lock is kept.
  druocur c{};
  int32_t may = 0, own = 0;
  char code[200] = "";
  int16_t codeind = -1;
  std::string u = user ? user : "", t = table, r = right;
  // A table the user made may carry code of its own (triggers, rules, row
  // security, functions in defaults or a view). A caller that writes it
  // with the user's rights (fence) runs that code as the user; for the
  // others it would run with the servers' rights: such a table is refused.
  int32_t managed = 0;
  int rc = druoprp(s, &c, DRUO_WORK,
                   "SELECT has_table_privilege(:usr, :tab, :priv), dr_rtm.reserved(:tab), "
                   "left(dr_utl.attached_code(:tab, :priv <> 'SELECT'), 190), "
                   "dr_rtm.managed(:tab)");
  if (rc != 0) {
    druetrc();
    return 1;
  }
  rc = druobnd(s, &c, ":usr", u.data(), static_cast<int32_t>(u.size() + 1), DRUO_STRING);
  if (rc == 0)
    rc = druobnd(s, &c, ":tab", t.data(), static_cast<int32_t>(t.size() + 1), DRUO_STRING);
  if (rc == 0)
    rc = druobnd(s, &c, ":priv", r.data(), static_cast<int32_t>(r.size() + 1), DRUO_STRING);
  if (rc == 0) rc = druodef(s, &c, 1, &may, sizeof may, DRUO_INTEGER);
  if (rc == 0) rc = druodef(s, &c, 2, &own, sizeof own, DRUO_INTEGER);
  if (rc == 0) rc = druodef(s, &c, 3, code, sizeof code, DRUO_STRING, &codeind);
  if (rc == 0) rc = druodef(s, &c, 4, &managed, sizeof managed, DRUO_INTEGER);
  // A table that does not exist is reported by the database, then as a
  // right the user does not hold.
  static const druorep kFetch = {DRUE_OPEN, DRUE_PARSE, DRUE_BIND, DRUE_DEFINE, 0, 0, -1, 2, 2};
  if (rc == 0) rc = druoexf(s, &c, 1, &kFetch);
  druocls(&c);
  if (rc == 0 && own) {
    // The server's own tables are no message's, whoever sends it.
    dracnerr(s, DRFAC_DRG, 52010, 2, DRA_STR, table, 0);
    druetrc();
    return 1;
  }
  if (rc != 0 || !may) {
    dracnerr(s, DRFAC_DRG, 52008, 2, DRA_STR, u.c_str(), DRA_STR, table, DRA_STR, right, 0);
    druetrc();
    return 1;
  }
  if (fence) {
    *fence = !managed;
    return 0;
  }
  if (codeind >= 0 && !own) {
    dracnerr(s, DRFAC_DRG, 52011, 2, DRA_STR, table, DRA_STR, code, 0);
    druetrc();
    return 1;
  }
  return 0;
}
