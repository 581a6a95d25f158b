// Names of a policy's index objects and its table suffix, and the policy
// dump written to the server log.
#include <cstring>

#include "dr/drd/drd.h"

static drdmcache *dict(drsrvstate *s) { return s ? s->dmcache : nullptr; }

int drdcnam(drsrvstate *s, int32_t polid, const char *suffix, char *buf, uint16_t size) {
  drdmpol *p = drqpol(s, polid);
  if (!p) {
    dracnierr(s, DRFAC_DRG, 50200, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT, (int)polid, 0);
    druetrc();
    return 1;
  }
  int n = drasmfmt(s->fmt, buf, size, "%s.DR_%05d_%s", DRA_STR, p->owner, DRA_INT, (int)p->id,
                   DRA_STR, suffix ? suffix : "", 0);
  if (n < 0) {
    dracnierr(s, DRFAC_DRG, 50100, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT, n, 0);
    druetrc();
    return 1;
  }
  // The name is pasted into statement texts: owner and name must be plain.
  if (!druoidn(buf, 2)) {
    dracnerr(s, DRFAC_DRG, 10518, 2, DRA_INT, (int)polid, DRA_STR, p->owner, DRA_STR,
             suffix ? suffix : "", 0);
    druetrc();
    return 1;
  }
  if (n > 32) {
    dracnierr(s, DRFAC_DRG, 50604, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT, (int)polid, 0);
    druetrc();
    return 1;
  }
  return 0;
}

int drdcsfx(drsrvstate *s, int32_t polid, char *buf) {
  drdmpol *p = drqpol(s, polid);
  if (!p) {
    dracnierr(s, DRFAC_DRG, 50200, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT, (int)polid, 0);
    druetrc();
    return 1;
  }
  std::memcpy(buf, p->suffix, sizeof p->suffix);
  buf[sizeof p->suffix - 1] = '\0';
  return 0;
}

void drdmdmp(drsrvstate *s, drdmpol *p) {
  if (!s || !p) return;
  rtstream *log = s->log;
  dracnprt(s, log, "POLICY {\n", 0);
  dracnprt(s, log, "%15s = %s\n", DRA_STR, "id", DRA_SB4, &p->id, 0);
  dracnprt(s, log, "%15s = %s\n", DRA_STR, "polnam", DRA_STR, p->name, 0);
  dracnprt(s, log, "%15s = %s\n", DRA_STR, "owner", DRA_STR, p->owner, 0);
  dracnprt(s, log, "%15s = %s\n", DRA_STR, "table", DRA_STR, p->table, 0);
  dracnprt(s, log, "%15s = %s\n", DRA_STR, "column", DRA_STR, p->textexpr, 0);
  dracnprt(s, log, "%15s = %s\n", DRA_STR, "coltype", DRA_SB4, &p->texttype, 0);
  dracnprt(s, log, "%15s = %s\n", DRA_STR, "keycol", DRA_STR, p->keycols, 0);
  dracnprt(s, log, "%15s = %s\n", DRA_STR, "keytype", DRA_SB4, &p->keytype, 0);
  dracnprt(s, log, "%15s = %s\n", DRA_STR, "linecol", DRA_STR, p->lncol, 0);
  dracnprt(s, log, "%15s = %s\n", DRA_STR, "linetype", DRA_SB4, &p->lntype, 0);
  static const char *const labels[] = {"Data Store", "Compressor", "Filter",
                                       "Lexer",      "Word List",  "Stop List"};
  for (int k = 0; k < 6; ++k) {
    dracnprt(s, log, "%15s {\n", DRA_STR, labels[k], 0);
    drdmpref *pr = druhitm(s, p->comp[k].prefid);
    if (pr) {
      dracnprt(s, log, "%20s = %s\n", DRA_STR, "id", DRA_SB4, &pr->id, 0);
      dracnprt(s, log, "%20s = %s\n", DRA_STR, "name", DRA_STR, pr->name, 0);
      dracnprt(s, log, "%20s = %s\n", DRA_STR, "objid", DRA_SB4, &pr->objid, 0);
    } else {
      dracnprt(s, log, "%20s \n", DRA_STR, "ERROR ...", 0);
    }
    dracnprt(s, log, "%15s\n", DRA_STR, "}", 0);
  }
  dracnprt(s, log, "%15s\n", DRA_STR, "}\n", 0);
}

void drdmdal(drsrvstate *s) {
  drdmcache *c = dict(s);
  if (!c || !c->pols) return;
  int32_t n = 0;
  void *e = nullptr;
  while (druhnxt(c->pols, &e) == 0 && e) {
    drdmdmp(s, static_cast<drdmpol *>(e));
    ++n;
  }
  dracnprt(s, s->log, "Number of policies loaded: %s\n", DRA_SB4, &n, 0);
}
