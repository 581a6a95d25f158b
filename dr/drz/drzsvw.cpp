/* The structured view: a view of the keys of the rows of a policy's table
 * that an ordinary SQL condition selects, so that a text query can be
 * restricted to them. The condition is scanned and copied token by token;
 * what could reach beyond the table's own rows is refused. */
#include <cstdlib>
#include <cstring>
#include <string>

#include "dr/dru/drue.h"
#include "dr/drz/drzint.h"

namespace {

constexpr int32_t kCap = 1024;
constexpr int32_t kFail = 11300;
constexpr int32_t kTextFull = 11301;

void cat(drsrvstate *st, char *q, int32_t *n, const char *text) { drzcats(st, q, n, kCap, text); }

/* Splits the key list into names; 0, or 1 when it does not split. */
int keys(drsrvstate *st, const char *list, char names[16][65], int32_t *count) {
  if (drzpkeys(st, list, names, count) != 0) {
    drzpush(st, 11333, list);
    return 1;
  }
  return 0;
}

struct viewvars {
  drzgtstate *volatile gt;
};

}  // namespace

int drzsvwq(drsrvstate *st, const char *user, const char *owner, const char *table,
            const char *klist, const char *sq, char *q, int32_t cap) {
  (void)cap;
  char names[16][65];
  int32_t count = 0;
  if (keys(st, klist, names, &count) != 0) return 1;
  viewvars v{nullptr};
  viewvars *const vp = &v;
  volatile int result = 1;
  rtframe fr;
  RTFRM_TRY(st->msg, fr) {
    int32_t n = 0;
    if (count == 1) {
      cat(st, q, &n, "SELECT ");
      cat(st, q, &n, klist);
    } else {
      cat(st, q, &n, "SELECT replace(replace(");
      cat(st, q, &n, names[0]);
      cat(st, q, &n, ",'\\','\\\\'),',','\\,') ");
      for (int32_t k = 1; k < count; k++) {
        cat(st, q, &n, "|| ',' || replace(replace(");
        cat(st, q, &n, names[k]);
        cat(st, q, &n, ",'\\','\\\\'),',','\\,') ");
      }
    }
    cat(st, q, &n, " FROM ");
    cat(st, q, &n, owner);
    cat(st, q, &n, ".");
    cat(st, q, &n, table);
    cat(st, q, &n, " WHERE ");
    vp->gt = drzgtnew(st, nullptr, 0, sq, static_cast<int32_t>(std::strlen(sq)));
    drzgtstate *gt = vp->gt;
    for (;;) {
      drzgtnext(st, gt);
      uint16_t tok = drzgtkeyw(st, gt);
      if (tok == DRZGT_EOT) break;
      if (tok == DRZGT_USER) {
        /* The user's name becomes a literal, its quotes doubled. */
        char lit[200];
        if (drzsquote(st, lit, sizeof lit, user, static_cast<int32_t>(std::strlen(user))) < 0)
          drzgterr(st, kTextFull);
        cat(st, q, &n, lit);
        continue;
      }
      /* The condition may read the table's own row only: no text
       * predicate, row numbering or session value, no subquery and no
       * second statement. */
      if (tok == DRZGT_CONTAINS || tok == DRZGT_SCORE || tok == DRZGT_DISPLAY ||
          tok == DRZGT_ROWNUM || tok == DRZGT_SELECT ||
          (tok == DRZGT_IDENT && gt->toklen == 7 && std::memcmp(gt->toktext, "USERENV", 7) == 0) ||
          (gt->toklen == 1 && gt->toktext[0] == ';'))
        drzgterr(st, kFail);
      if (tok == DRZGT_STRING) {
        char lit[kCap];
        int32_t l = drzsquote(st, lit, sizeof lit, gt->toktext, gt->toklen);
        if (l < 0) drzgterr(st, kTextFull);
        cat(st, q, &n, lit);
        cat(st, q, &n, " ");
        continue;
      }
      if (tok == DRZGT_IDENT) drzpword(st, q, &n, kCap, gt->toktext, gt->toklen, 1);
      else drzcat(st, q, &n, kCap, gt->toktext, gt->toklen);
      cat(st, q, &n, " ");
    }
    drzcat(st, q, &n, kCap, "", 1);
    drzgtfree(st, &gt);
    vp->gt = nullptr;
    result = 0;
  }
  else {
    rtfrmenter(st->msg, &fr);
    drzgtstate *gt = vp->gt;
    drzgtfree(st, &gt);
    vp->gt = nullptr;
    if (fr.num != kFail) dracnerr(st, DRFAC_DRG, kFail, 2, 0);
    rtfrmleave(st->msg, &fr);
    result = 1;
  }
  rtfrmpop(st->msg, &fr, st->facid[DRFAC_DRG]);
  return result;
}

int drzsvw(drsrvstate *st, const char *sess, const char *user, const char *owner,
           const char *table, const char *klist, const char *sq, char *vname) {
  vname[0] = 0;
  char q[kCap];
  if (drzsvwq(st, user, owner, table, klist, sq, q, kCap) != 0) return 1;
  char name[64] = "";
  if (drzsops.alloc(st, static_cast<int32_t>(std::atoi(sess)), "STRUCT_VIEW", name, 1) != 0)
    return 1;
  /* The engine joins the view's one column, textkey, with its key table as
   * text. */
  std::string sql = std::string("CREATE VIEW ") + name +
                    " AS SELECT CAST(k AS varchar(256)) textkey FROM (" + q + ") q(k)";
  if (!druoidn(name, 1) || drqsexe(st, sql.c_str()) != 0) return 1;
  std::memcpy(vname, name, sizeof name);
  return 0;
}

int drzsvwd(drsrvstate *st, const char *vname) {
  if (!vname || !vname[0]) return 0;
  if (!druoidn(vname, 1)) {
    dracnierr(st, DRFAC_DRG, 50100, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, 0);
    return 1;
  }
  /* Dropped on the connection that made and read it: a drop from another
   * would wait for this command's own transaction. */
  std::string sql = std::string("CALL dr_rtm.deallocate('") + vname + "')";
  return drqsexe(st, sql.c_str());
}
