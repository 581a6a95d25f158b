// Calls of the queue packages svcq, srcq and dmlq and of the procedures a
// request names. Each call runs once on a cursor of its own on the login's
// transport connection, so what it changes is committed when it returns.
#include "dr/drq/drq.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "dr/dru/dru.h"
#include "platform/db/db.h"

namespace {

constexpr char kFile[] = "dr/drq/drq.cpp";

// How a call reports each of its steps: the message number (0: not
// reported), and for the open and the parse whether they are fatal.
struct drqerrs {
  int open, parse, bind, exec, close;
  bool fatal;  // open and parse failures are internal, severity 3
};
constexpr drqerrs kSvc = {50800, 50801, 50802, 50804, 50805, false};
constexpr drqerrs kBatch = {50800, 50801, 50802, 50804, 0, true};

// One bind of a call: an integer or a NUL-terminated text.
struct drqbind {
  const char *name;
  int32_t *num;
  const char *text;
};

void ierr(drsrvstate *s, int num, int line) {
  dracnierr(s, DRFAC_DRG, num, 3, DRA_STR, kFile, DRA_INT, line, DRA_STR, "", DRA_STR, "",
            DRA_STR, "", DRA_STR, "", DRA_STR, "", 0);
}

// Opens, parses, binds, executes once and closes. The execute failure is
// reported by the caller when it has a message of its own (kind and name of
// a request procedure), else with e.exec.
int drqcall(drsrvstate *s, const char *sql, const drqbind *binds, int nbinds, const drqerrs &e,
            int *execrc = nullptr) {
  druocur c{};
  int rc = s->login ? druoopnt(&c, s->login) : KDB_NOTCONNECTED;
  if (rc != 0) {
    if (e.fatal) ierr(s, e.open, __LINE__);
    else druekcii(s, e.open, 2, kFile, __LINE__, rc);
    druetrc();
    return 1;
  }
  rc = kdbparse(&c, sql);
  if (rc != 0) {
    if (e.fatal) ierr(s, e.parse, __LINE__);
    else druekcii(s, e.parse, 2, kFile, __LINE__, rc);
    kdbclose(&c);
    druetrc();
    return 1;
  }
  // Texts are sent from copies sized as the call declares them.
  std::string copies[DRQ_NPAR + 4];
  for (int i = 0; i < nbinds && rc == 0; ++i) {
    const drqbind &b = binds[i];
    if (b.num) {
      rc = kdbbndrv(&c, b.name, b.num, sizeof *b.num, KDB_INTEGER);
    } else {
      copies[i] = b.text ? b.text : "";
      rc = kdbbndrv(&c, b.name, copies[i].data(), static_cast<int32_t>(copies[i].size() + 2),
                    KDB_STRING);
    }
  }
  if (rc != 0) {
    druekcii(s, e.bind, 2, kFile, __LINE__, rc);
    kdbclose(&c);
    druetrc();
    return 1;
  }
  rc = kdbexec(&c);
  if (rc != 0) {
    if (execrc) {
      *execrc = rc;
    } else {
      druekcii(s, e.exec, 2, kFile, __LINE__, rc);
    }
    kdbclose(&c);
    druetrc();
    return 1;
  }
  rc = kdbclose(&c);
  if (rc != 0 && e.close != 0) {
    druekcii(s, e.close, 2, kFile, __LINE__, rc);
    druetrc();
    return 1;
  }
  return 0;
}

}  // namespace

int drqssbd(drsrvstate *s) {
  drqbind b[] = {{":audsid", &s->audsid, nullptr}};
  return drqcall(s, "CALL svcq.batch_done(:audsid)", b, 1, kSvc);
}

int drqsrqe(drsrvstate *s, int32_t svcno, const char *errors) {
  drqbind b[] = {{":svcno", &svcno, nullptr}, {":errors", nullptr, errors}};
  return drqcall(s, "CALL svcq.request_error(:svcno, :errors)", b, 2, kSvc);
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
  int execrc = 0;
  int rc = drqcall(s, "CALL dr_utl.run_as(:usr, :proc, :svcno, :arg1, :arg2, :nargs)", b, 6, kSvc,
                   &execrc);
  if (rc != 0 && execrc != 0) {
    druekci(s, execrc);
    dracnerr(s, DRFAC_DRG, 11415, 2, DRA_STR, what, DRA_STR, proc, 0);
  }
  return rc;
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
    dracnierr(s, DRFAC_DRG, 50801, 2, DRA_STR, kFile, DRA_INT, __LINE__, DRA_STR,
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
  return drqcall(s, sql, b, n, kSvc);
}

int drqssrc(drsrvstate *s, int32_t srcid) {
  drqbind b[] = {{":src_id", &srcid, nullptr}};
  return drqcall(s, "CALL srcq.batch_done(:src_id)", b, 1, kBatch);
}

int drqsrqb(drsrvstate *s) {
  drqbind b[] = {{":sid", &s->audsid, nullptr}};
  return drqcall(s, "CALL srcq.requeue_batch(:sid)", b, 1, kBatch);
}

int drqbdn(drsrvstate *s) {
  drqbind b[] = {{":audsid", &s->audsid, nullptr}};
  return drqcall(s, "CALL dmlq.batch_done(:audsid)", b, 1, kBatch);
}
