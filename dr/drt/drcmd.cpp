// The index command handlers: each finds the policy, makes sure the
// components it needs exist, puts them into their modes and calls the
// engine. The handlers index nothing themselves.
#include "dr/drd/drd.h"
#include "dr/drt/drt.h"
#include "dr/dru/drue.h"

namespace {

// The classes prepared for a command, in the order they are built: the
// first five for most commands, all six when the word list takes part.
const int32_t kOrder[] = {DRCLS_DATASTORE, DRCLS_FILTER, DRCLS_LEXER, DRCLS_STOPLIST,
                          DRCLS_ENGINE, DRCLS_WORDLIST};

// The cached policy, or null after 50607.
drdmpol *policy(drsrvstate *s, int32_t polid) {
  drdmpol *p = drqpol(s, polid);
  if (!p) {
    dracnerr(s, DRFAC_DRG, 50607, 2, DRA_INT, static_cast<int>(polid), 0);
    druetrc();
  }
  return p;
}

// Finds the policy and builds its first n components that are missing;
// the policy, or null (what was built stays for the next command).
drdmpol *prepare(drsrvstate *s, int32_t polid, int n) {
  drdmpol *p = policy(s, polid);
  if (!p) return nullptr;
  for (int i = 0; i < n; ++i) {
    if (drasmobj(s, s->seshp, p, kOrder[i]) != 0) {
      druetrc();
      return nullptr;
    }
  }
  return p;
}

drobj *comp(drdmpol *p, int32_t clsid) { return p->comp[clsid - 1].obj; }
const drengops *engops(drdmpol *p) { return drops<drengops>(comp(p, DRCLS_ENGINE)); }

// A handler's result from a slot's: the first failure is 1.
int res(int rc) {
  if (rc == 0) return 0;
  druetrc();
  return 1;
}

}  // namespace

int drcmdobj(drsrvstate *s, int32_t polid) { return prepare(s, polid, 6) ? 0 : 1; }

int drcmdrel(drsrvstate *s, int32_t polid) {
  drdmpol *p = policy(s, polid);
  if (!p) return 1;
  drasmrel(s, p);
  return 0;
}

int drcmdrst(drsrvstate *s, int32_t polid, int32_t type) {
  drdmpol *p = drqpol(s, polid);
  if (!p) {
    druetrc();
    return 1;
  }
  if (drobj *ds = comp(p, DRCLS_DATASTORE); ds && drops<drdsops>(ds)->reset(ds, type) != 0)
    return res(1);
  if (drobj *f = comp(p, DRCLS_FILTER); f && drops<drfilops>(f)->reset(f, type) != 0)
    return res(1);
  if (drobj *l = comp(p, DRCLS_LEXER); l && drops<drlexops>(l)->reset(l) != 0) return res(1);
  if (drobj *w = comp(p, DRCLS_WORDLIST); w && drops<drwlops>(w)->close(w, type) != 0)
    return res(1);
  return 0;
}

int drcmdbeg(drsrvstate *s, int32_t srvcnt, int32_t polid, int32_t runseq, char qual) {
  drdmpol *p = prepare(s, polid, 5);
  if (!p) return 1;
  return res(engops(p)->begx(comp(p, DRCLS_ENGINE), srvcnt, runseq, qual));
}

int drcmdpop(drsrvstate *s, int32_t polid, int32_t srvcnt, int32_t srvno, int32_t runseq,
             char qual) {
  drdmpol *p = prepare(s, polid, 6);
  if (!p) return 1;
  drobj *ds = comp(p, DRCLS_DATASTORE), *f = comp(p, DRCLS_FILTER), *l = comp(p, DRCLS_LEXER);
  drobj *sl = comp(p, DRCLS_STOPLIST), *e = comp(p, DRCLS_ENGINE), *w = comp(p, DRCLS_WORDLIST);
  if (drops<drdsops>(ds)->start(ds, srvcnt, srvno, qual, runseq) != 0 ||
      drops<drfilops>(f)->setmode(f, 1) != 0 || drops<drlexops>(l)->mode(l, 1) != 0 ||
      drops<drwlops>(w)->open(w, 0, 1) != 0)
    return res(1);
  return res(engops(p)->popx(e, l, w, sl, runseq, srvno, qual));
}

int drcmdend(drsrvstate *s, int32_t polid, int32_t runseq, char qual) {
  drdmpol *p = prepare(s, polid, 5);
  if (!p || engops(p)->endx(comp(p, DRCLS_ENGINE), runseq, qual) != 0) return res(1);
  // The word list learns the index's words before its table is finished.
  if (drasmobj(s, s->seshp, p, DRCLS_WORDLIST) != 0) return res(1);
  drobj *w = comp(p, DRCLS_WORDLIST);
  return res(drops<drwlops>(w)->load(w) != 0 || drops<drwlops>(w)->open(w, 0, 2) != 0);
}

int drcmddrp(drsrvstate *s, int32_t polid, int32_t runseq) {
  drdmpol *p = prepare(s, polid, 5);
  if (!p || engops(p)->drpx(comp(p, DRCLS_ENGINE), runseq) != 0 ||
      drasmobj(s, s->seshp, p, DRCLS_WORDLIST) != 0)
    return res(1);
  drobj *w = comp(p, DRCLS_WORDLIST);
  if (drops<drwlops>(w)->open(w, 0, 4) != 0) return res(1);
  // A dropped index leaves no components: the next command builds them anew.
  return drcmdrel(s, polid);
}

int drcmdtrn(drsrvstate *s, int32_t polid) {
  drdmpol *p = prepare(s, polid, 5);
  if (!p) return 1;
  return engops(p)->trnx(comp(p, DRCLS_ENGINE));
}

int drcmdbop(drsrvstate *s, int32_t polid, int32_t mode, int32_t srvcnt) {
  drdmpol *p = prepare(s, polid, 5);
  if (!p) return 1;
  return engops(p)->bnox(comp(p, DRCLS_ENGINE), mode, srvcnt);
}

int drcmdopt(drsrvstate *s, int32_t polid, int32_t mode, int32_t srvcnt, int32_t srvno,
             int32_t thold) {
  drdmpol *p = prepare(s, polid, 5);
  if (!p) return 1;
  return res(engops(p)->optx(comp(p, DRCLS_ENGINE), mode, srvcnt, srvno, thold));
}

int drcmdeop(drsrvstate *s, int32_t polid, int32_t mode) {
  drdmpol *p = prepare(s, polid, 5);
  if (!p) return 1;
  return engops(p)->enox(comp(p, DRCLS_ENGINE), mode);
}

int drcmddml(drsrvstate *s, int32_t polid, int32_t) {
  drdmpol *p = prepare(s, polid, 6);
  if (!p) return 1;
  drobj *ds = comp(p, DRCLS_DATASTORE), *l = comp(p, DRCLS_LEXER);
  drobj *sl = comp(p, DRCLS_STOPLIST), *e = comp(p, DRCLS_ENGINE), *w = comp(p, DRCLS_WORDLIST);
  if (drops<drdsops>(ds)->dml(ds) != 0 || drops<drlexops>(l)->mode(l, 1) != 0 ||
      drops<drwlops>(w)->open(w, 0, 5) != 0)
    return res(1);
  return res(engops(p)->popx(e, l, w, sl, 0, 0, 'M'));
}

int drcmdoob(drsrvstate *s) {
  int rc = drtloob(s);
  // The run that stops says why, whatever its caller makes of the result.
  if (rc == DRT_INTR) {
    int32_t id = s->mstate ? s->mstate->msgid : 0;
    dracnerr(s, DRFAC_DRG, 50707, 2, DRA_SB4, &id, 0);
  }
  return rc;
}
