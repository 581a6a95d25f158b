// Names of a policy's index objects and its table suffix, and the policy
// dump written to the server log.
#include <cstring>

#include "dr/drd/drd.h"

static const char *const kunit = "dr/drd/drdc.cpp";

static drdmcache *dict(drsrvstate *s) { return s ? s->dmcache : nullptr; }

// True for a plain name: letters, digits, '_', '$' and '#', not starting
// with a digit. The index object names are pasted into SQL texts.
static bool drdcplain(const char *n) {
  if (!n || !*n || (*n >= '0' && *n <= '9')) return false;
  for (; *n; ++n) {
    char c = *n;
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
          c == '_' || c == '$' || c == '#'))
      return false;
  }
  return true;
}

int drdcnam(drsrvstate *s, int32_t polid, const char *suffix, char *buf, uint16_t size) {
  drdmpol *p = drqpol(s, polid);
  if (!p) {
    dracnierr(s, 0, 50200, 2, 25, kunit, 1, __LINE__, 1, (int)polid, 0);
    druetrc();
    return 1;
  }
  if (!drdcplain(p->owner) || !drdcplain(suffix)) {
    dracnerr(s, 0, 10518, 2, 1, (int)polid, 25, p->owner, 25, suffix ? suffix : "", 0);
    druetrc();
    return 1;
  }
  int n = drasmfmt(s->fmt, buf, size, "%s.DR_%05d_%s", 25, p->owner, 1, (int)p->id, 25,
                   suffix ? suffix : "", 0);
  if (n < 0) {
    dracnierr(s, 0, 50100, 2, 25, kunit, 1, __LINE__, 1, n, 0);
    druetrc();
    return 1;
  }
  if (n > 32) {
    dracnierr(s, 0, 50604, 2, 25, kunit, 1, __LINE__, 1, (int)polid, 0);
    druetrc();
    return 1;
  }
  return 0;
}

int drdcsfx(drsrvstate *s, int32_t polid, char *buf) {
  drdmpol *p = drqpol(s, polid);
  if (!p) {
    dracnierr(s, 0, 50200, 2, 25, kunit, 1, __LINE__, 1, (int)polid, 0);
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
  dracnprt(s, log, "%15s = %s\n", 25, "id", 8, &p->id, 0);
  dracnprt(s, log, "%15s = %s\n", 25, "polnam", 25, p->name, 0);
  dracnprt(s, log, "%15s = %s\n", 25, "owner", 25, p->owner, 0);
  dracnprt(s, log, "%15s = %s\n", 25, "table", 25, p->table, 0);
  dracnprt(s, log, "%15s = %s\n", 25, "column", 25, p->textexpr, 0);
  dracnprt(s, log, "%15s = %s\n", 25, "coltype", 8, &p->texttype, 0);
  dracnprt(s, log, "%15s = %s\n", 25, "keycol", 25, p->keycols, 0);
  dracnprt(s, log, "%15s = %s\n", 25, "keytype", 8, &p->keytype, 0);
  dracnprt(s, log, "%15s = %s\n", 25, "linecol", 25, p->lncol, 0);
  dracnprt(s, log, "%15s = %s\n", 25, "linetype", 8, &p->lntype, 0);
  static const char *const labels[] = {"Data Store", "Compressor", "Filter",
                                       "Lexer",      "Word List",  "Stop List"};
  for (int k = 0; k < 6; ++k) {
    dracnprt(s, log, "%15s {\n", 25, labels[k], 0);
    drdmpref *pr = druhitm(s, p->comp[k].prefid);
    if (pr) {
      dracnprt(s, log, "%20s = %s\n", 25, "id", 8, &pr->id, 0);
      dracnprt(s, log, "%20s = %s\n", 25, "name", 25, pr->name, 0);
      dracnprt(s, log, "%20s = %s\n", 25, "objid", 8, &pr->objid, 0);
    } else {
      dracnprt(s, log, "%20s \n", 25, "ERROR ...", 0);
    }
    dracnprt(s, log, "%15s\n", 25, "}", 0);
  }
  dracnprt(s, log, "%15s\n", 25, "}\n", 0);
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
  dracnprt(s, s->log, "Number of policies loaded: %s\n", 8, &n, 0);
}
