// The server's life after the marker file: state, banner, options, log
// file, connection (log-on, registration, dictionary cache, dispatcher),
// the linguistic service, the listener loop, and the shutdown that undoes
// each step once.
#include <cstring>

#include "dr/dras/drasrv.h"
#include "dr/drbe/drbe.h"
#include "dr/drbg/drbg.h"
#include "dr/drbx/drbx.h"
#include "dr/drd/drd.h"
#include "dr/drea/drea.h"
#include "dr/dreb/dreb.h"
#include "dr/drg/drga.h"
#include "dr/drgb/drgr.h"
#include "dr/drgb/drgu.h"
#include "dr/drgh/drgh.h"
#include "dr/drl/drla.h"
#include "dr/drl/drlj.h"
#include "dr/drl/drlk.h"
#include "dr/drm/drm.h"
#include "dr/drp/drtq.h"
#include "dr/drs/drsx.h"
#include "dr/drt/drt.h"
#include "dr/dru/dru.h"
#include "dr/drwa/drwa.h"
#include "dr/drws/drws.h"
#include "dr/main/drmain.h"

namespace {

const droptent kOptEnt[] = {
    {"-user", 1, 1, 1, DROPT_VALUE},
    {"-sqltrace", 1, 2, 0, DROPT_FLAG},
    {"-logfile", 1, 1, 0, DROPT_VALUE},
    {"-personality", 1, 1, 0, DROPT_VALUE},
};
const dropttab kOptTab = {4, drtusage, kOptEnt};

int polbyspec(drsrvstate *s, const char *spec, int32_t *polid) {
  drdmpol *p = drqpnm(s, spec);
  if (!p) return 1;
  *polid = p->id;
  return 0;
}

// Fills the entry points of the components the listener calls.
void drsrvsvc() {
  drtsvc = drtlsvc{};
  drtsvc.dmini = drdmini;
  drtsvc.dmfre = drdmfre;
  drtsvc.dmref = drdmref;
  drtsvc.polbyspec = polbyspec;
  drtsvc.loadcyc = drqsldc;
  drtsvc.dmlbatch = drcmddml;
  // The indexing driver checks for interrupts through the listener.
  dreupoob = drcmdoob;
  // Long loops and long statements stop on an interrupt or a signal.
  druointr = drtlpoint;
  druowatch = drtlwatch;
  drtsvc.lingstart = drtlsini;
}

// Puts the constructors of the component kinds this server is built with into
// their registry rows, one typed line per row; a row left empty refuses with
// 10515.
void drsrvreg() {
  drasmtab.ds[0].fn = drsdirnew;
  drasmtab.ds[1].fn = drsdirnew;
  drasmtab.ds[2].fn = drsdetnew;
  drasmtab.ds[3].fn = drsfilnew;
  drasmtab.ds[4].fn = drsurlnew;
  drasmtab.fil[0].fn = drganew;
  drasmtab.fil[1].fn = drganew;
  drasmtab.fil[2].fn = drgrnew;
  drasmtab.fil[3].fn = drghnew;
  drasmtab.fil[4].fn = drgunew;
  drasmtab.lex[0].fn = drlanew;
  drasmtab.lex[1].fn = drlanew;
  drasmtab.lex[2].fn = drljnew;
  drasmtab.lex[3].fn = drlknew;
  drasmtab.lex[5].fn = drlcnew;
  drasmtab.sl[0].fn = drwsanew;
  drasmtab.sl[1].fn = drwsanew;
  drasmtab.sl[2].fn = drwsanew;
  drasmtab.q15[0].fn = drucanew;
  drasmtab.q15[1].fn = drucanew;
  drasmtab.wl[0].fn = drwanew;
  drasmtab.wl[1].fn = drwanew;
  drasmtab.eng[0].fn = dreanew;
  drasmtab.eng[1].fn = drebnew;
  drasmtab.eng[2].fn = dreanew;
  drasmtab.rdr[0].fn = drbgdnew;
  drasmtab.rdr[1].fn = drbgdnew;
  drasmtab.trn[0].fn = drbxnnew;
  drasmtab.trn[1].fn = drbxnnew;
  drasmtab.trn[2].fn = drbxunew;
  drasmtab.ldr[0].fn = drbegnew;
  drasmtab.ldr[1].fn = drbegnew;
}

void say(drsrvstate *s, const char *line) { dracnprt(s, s->log, line, 0); }

}  // namespace

int dracncon(drsrvstate *s) {
  if (dracnlog(s, s->user, s->sqltrace) != 0) {
    druetrc();
    return 1;
  }
  int rc = drasmadd(s);
  if (rc == 0 && drtsvc.dmini) rc = drtsvc.dmini(s);
  if (rc == 0) rc = drmini(s);
  if (rc != 0) {
    dracndis(s);
    druetrc();
    return 1;
  }
  return 0;
}

int dracndis(drsrvstate *s) {
  if (!s->login) {
    druetrc();
    return 1;
  }
  drasmdel(s);
  drmfre(s);
  if (drtsvc.dmfre) drtsvc.dmfre(s);
  int rc = dracnlof(s);
  s->mstate = nullptr;
  s->dmcache = nullptr;
  if (rc != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drsrvrun(int argc, char **argv) {
  drsrvsvc();
  drsrvreg();
  drsrvstate *s = nullptr;
  if (dracnnew(&s) != 0) return 3;
  static drtopts opts;
  memset(&opts, 0, sizeof opts);
  s->log = rtstdout(s->rt);
  nlscpy(drmcs(s), opts.mask, sizeof opts.mask, "DQM");
  opts.sqltrace = 0;

  char banner[152];
  drtbanner(banner);
  dracnprt(s, s->log, "%s\n", DRA_STR, banner, 0);

  rtstream *logf = nullptr;
  bool shut = false;
  droptrec rec;
  droptini(s, &rec, &kOptTab, drtoptcb, &opts);
  if (droptparse(&rec, argc, argv) != 0) {
    if (druefind(s, 10100)) drtusage(s);
  } else {
    s->pmask = opts.mask;
    s->sqltrace = opts.sqltrace;
    s->user = opts.user;
    s->log = rtstdout(s->rt);
    s->tstamp = 1;
    int rc = 0;
    if (opts.logfile[0] != '\0') {
      rc = dracnfop(s, nullptr, 0, opts.logfile, RTF_WRITE | RTF_CREATE, 0, 0, 0, 0, &logf);
      if (rc == 0) s->log = logf;
    }
    if (rc == 0) {
      say(s, "=== DR server startup ===\n");
      say(s, "Initialized RTB\n");
      dracnprt(s, s->log, "Character set %s\n", DRA_STR, s->csname, 0);
      rc = dracncon(s);
    }
    if (rc == 0) {
      say(s, "=== Server startup completed. ===\n");
      // The service starts at the first L at most once, however many the
      // mask holds.
      for (const char *c = s->pmask; *c; ++c) {
        if (*c != 'L') continue;
        rc = drtsvc.lingstart ? drtsvc.lingstart(&s) : 1;
        if (rc == 0) say(s, "=== Initialized Linguistics ===\n");
        break;
      }
    }
    if (rc == 0) shut = drtlmain(s) == 0;
  }
  if (!shut) {
    say(s, "=== Server failure ===\n");
    druelog(s);
    drueclr(s);
  }
  say(s, "=== Server shutting down ===\n");
  dracndis(s);
  if (logf) {
    s->log = rtstdout(s->rt);
    dracnfcl(s, logf);
  }
  drueclr(s);
  dracnfre(&s);
  return shut ? 0 : 3;
}
