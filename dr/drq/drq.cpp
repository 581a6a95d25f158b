// Calls of the queue packages svcq, srcq and dmlq and of the procedures a
// request names. Each call runs once on a cursor of its own on the login's
// transport connection, so what it changes is committed when it returns; a
// procedure a request names runs on the fence connection instead.
#include "dr/drq/drq.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "dr/dru/dru.h"

namespace {

// How a call reports its steps: the service calls report every step,
// closing included; the batch calls of the text-loading and changed-rows
// queues cannot go on when their statement does not even parse.
constexpr druorep kSvc = {DRUE_OPEN, DRUE_PARSE, DRUE_BIND, DRUE_DEFINE, DRUE_EXEC, 0,
                          DRUE_CLOSE, 2, 2};
constexpr const druorep &kBatch = druorepf;

// One bind of a call: an integer or a NUL-terminated text.
struct drqbind {
  const char *name;
  int32_t *num;
  const char *text;
};

// Opens on the transport connection (or another link), parses, binds,
// executes once and closes, each step reported as e says: 0, 2 when the
// execution failed, 1 when another step did.
int drqcall(drsrvstate *s, const char *sql, const drqbind *binds, int nbinds, const druorep &e,
            int link = DRUO_TRANSPORT) {
  druocur c{};
  int rc = druoprp(s, &c, link, sql, &e);
  if (rc != 0) {
    druetrc();
    return 1;
  }
  // Texts are sent from copies sized as the call declares them.
  std::string copies[DRQ_NPAR + 4];
  for (int i = 0; i < nbinds && rc == 0; ++i) {
    const drqbind &b = binds[i];
    if (b.num) {
      rc = druobnd(s, &c, b.name, b.num, sizeof *b.num, DRUO_INTEGER, nullptr, nullptr, &e);
    } else {
      copies[i] = b.text ? b.text : "";
      rc = druobnd(s, &c, b.name, copies[i].data(), static_cast<int32_t>(copies[i].size() + 2),
                   DRUO_STRING, nullptr, nullptr, &e);
    }
  }
  if (rc != 0) {
    druocls(&c);
    druetrc();
    return 1;
  }
  if (druoexe(s, &c, &e) != 0) {
    druocls(&c);
    druetrc();
    return 2;
  }
  if (druoend(s, &c, &e) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

}  // namespace

int drqssbd(drsrvstate *s) {
  drqbind b[] = {{":audsid", &s->audsid, nullptr}};
  return drqcall(s, "CALL svcq.batch_done(:audsid)", b, 1, kSvc) == 0 ? 0 : 1;
}

int drqsrqe(drsrvstate *s, int32_t svcno, const char *errors) {
  drqbind b[] = {{":svcno", &svcno, nullptr}, {":errors", nullptr, errors}};
  return drqcall(s, "CALL svcq.request_error(:svcno, :errors)", b, 2, kSvc) == 0 ? 0 : 1;
}

int drqsprc(drsrvstate *s, int kind, const char *proc, const char *user, int32_t svcno,
            const char *text1, const char *text2) {
  if (!proc || proc[0] == '\0') return 0;
  const char *what = kind == DRQ_DONE ? "completion" : "error";
  // The name comes from a message: only a plain name may be called, and the
  // database side calls it as the request's user, never as the server.
  if (!druoidn(proc, 2)) {
    dracnerr(s, DRFAC_DRG, 11415, 2, DRA_STR, what, DRA_STR, proc, 0);
    druetrc();
    return 1;
  }
  int32_t nargs = kind == DRQ_DONE ? 3 : 2;
  drqbind b[] = {{":usr", nullptr, user ? user : ""}, {":proc", nullptr, proc},
                 {":svcno", &svcno, nullptr}, {":arg1", nullptr, text1},
                 {":arg2", nullptr, kind == DRQ_DONE ? text2 : nullptr},
                 {":nargs", &nargs, nullptr}};
  // A failing procedure is named with its kind after the database's text.
  druorep e = kSvc;
  e.exec = 0;
  // It runs on the fence connection, which holds nothing of the server's
  // and is reset after the call, whatever the call left behind.
  int rc = drqcall(s, "CALL dr_utl.run_as(:usr, :proc, :svcno, :arg1, :arg2, :nargs)", b, 6, e,
                   DRUO_FENCE);
  if (rc == 2) dracnerr(s, DRFAC_DRG, 11415, 2, DRA_STR, what, DRA_STR, proc, 0);
  if (druofrs(s) != 0) rc = 1;
  return rc == 0 ? 0 : 1;
}

int drqsqtxt(const char *svctype, const char *const par[DRQ_NPAR], char *buf, size_t size) {
  std::string t = "CALL svcq.queue(svctype=>'";
  t += svctype;
  t += "',priority=>:priority,svcno=>NULL,do_commit=>TRUE,";
  for (int k = 1; k <= DRQ_NPAR; ++k) {
    if (!par[k - 1]) continue;
    char piece[32];
    snprintf(piece, sizeof piece, "par%d=>:par%d,", k, k);
    t += piece;
  }
  t += "errors=>:errors,status=>:status)";
  if (t.size() >= size) return 1;
  memcpy(buf, t.c_str(), t.size() + 1);
  return 0;
}

int drqsque(drsrvstate *s, const char *svctype, int32_t priority, const char *status,
            const char *errors, const char *const par[DRQ_NPAR]) {
  char sql[1024];
  if (!druoidn(svctype, 1) || drqsqtxt(svctype, par, sql, sizeof sql) != 0) {
    dracnierr(s, DRFAC_DRG, 50801, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_STR,
              svctype ? svctype : "", 0);
    druetrc();
    return 1;
  }
  static const char *const names[DRQ_NPAR] = {":par1", ":par2", ":par3", ":par4", ":par5",
                                              ":par6", ":par7", ":par8", ":par9", ":par10"};
  drqbind b[DRQ_NPAR + 3];
  int n = 0;
  b[n++] = {":priority", &priority, nullptr};
  for (int k = 0; k < DRQ_NPAR; ++k)
    if (par[k]) b[n++] = {names[k], nullptr, par[k]};
  b[n++] = {":status", nullptr, status};
  b[n++] = {":errors", nullptr, errors};
  return drqcall(s, sql, b, n, kSvc) == 0 ? 0 : 1;
}

int drqssrc(drsrvstate *s, int32_t srcid) {
  drqbind b[] = {{":src_id", &srcid, nullptr}};
  return drqcall(s, "CALL srcq.batch_done(:src_id)", b, 1, kBatch) == 0 ? 0 : 1;
}

int drqsrqb(drsrvstate *s) {
  drqbind b[] = {{":sid", &s->audsid, nullptr}};
  return drqcall(s, "CALL srcq.requeue_batch(:sid)", b, 1, kBatch) == 0 ? 0 : 1;
}

int drqbdn(drsrvstate *s) {
  drqbind b[] = {{":audsid", &s->audsid, nullptr}};
  return drqcall(s, "CALL dmlq.batch_done(:audsid)", b, 1, kBatch) == 0 ? 0 : 1;
}
