// Reading what the dictionary cache holds: preference items by id, the
// attribute lists through which components read their settings, the index
// object names of a policy and the policy dump.
#include <cstring>

#include "dr/drd/drd.h"

static const char *const kunit = "dr/drd/drdp.cpp";

static drdmcache *dict(drsrvstate *s) { return s ? s->dmcache : nullptr; }

drdmpref *druhitm(drsrvstate *s, int32_t prefid) {
  drdmcache *c = dict(s);
  if (!c) return nullptr;
  for (uint32_t i = 0; i < c->prefcnt; ++i)
    if (c->prefs[i]->id == prefid) return c->prefs[i];
  return nullptr;
}

int druhprf(drsrvstate *s, int32_t prefid, int32_t *clsid, int32_t *objid) {
  drdmpref *p = druhitm(s, prefid);
  if (!p) return 2;
  if (clsid) *clsid = p->clsid;
  if (objid) *objid = p->objid;
  return 0;
}

int druhset(drsrvstate *s, int32_t prefid, drobj *obj) {
  drdmpref *p = druhitm(s, prefid);
  if (!p) return 2;
  p->obj = obj;
  return 0;
}

int druhobj(drsrvstate *s, int32_t prefid, drobj **obj) {
  drdmpref *p = druhitm(s, prefid);
  if (!p) return 2;
  if (obj) *obj = p->obj;
  return 0;
}

int drdpopn(drsrvstate *s, int32_t prefid, drdplist **out) {
  if (out) *out = nullptr;
  drdmcache *c = dict(s);
  if (!c || !out) {
    druetrc();
    return 1;
  }
  auto *l = static_cast<drdplist *>(
      drumalc(s, s->hpmgr, c->heap, 1, sizeof(drdplist), kunit, __LINE__));
  if (!l) {
    druetrc();
    return 1;
  }
  drdmpref *p = druhitm(s, prefid);
  if (!p) {
    dracnierr(s, 0, 10514, 2, 25, kunit, 1, __LINE__, 1, (int)prefid, 0);
    drumfre(s, s->hpmgr, c->heap, reinterpret_cast<void **>(&l));
    druetrc();
    return 1;
  }
  l->s = s;
  l->pos = 0;
  l->pref = p;
  *out = l;
  return 0;
}

int drdpfnd(drdplist *l, int32_t ordinal, drdmattr **out) {
  if (out) *out = nullptr;
  if (!l || !l->pref) return 2;
  for (int32_t i = 0; i < l->pref->attrcnt; ++i) {
    if (l->pref->attrs[i].ordinal == ordinal) {
      if (out) *out = &l->pref->attrs[i];
      return 0;
    }
  }
  return 2;
}

int drdpval(drdplist *l, void *, int32_t ordinal, const char *dflt, const char **out) {
  drdmattr *a = nullptr;
  const char *v = dflt;
  // A stored attribute wins even when it is empty: a null or 'UNDEFINED'
  // value in the dictionary reads as null, not as the default.
  if (drdpfnd(l, ordinal, &a) == 0 && a) v = a->datatype == 1 ? a->value.str : nullptr;
  if (out) *out = (v && *v) ? v : nullptr;
  return 0;
}

int drdpnxt(drdplist *l, drdmattr **out) {
  if (out) *out = nullptr;
  if (!l || !l->pref || l->pos >= l->pref->attrcnt) {
    if (l) l->pos = 0;
    return 2;
  }
  if (out) *out = &l->pref->attrs[l->pos];
  ++l->pos;
  return 0;
}

int drdpcls(drdplist *l) {
  if (!l) return 0;
  drsrvstate *s = l->s;
  std::memset(l, 0, sizeof *l);
  if (s && dict(s)) drumfre(s, s->hpmgr, dict(s)->heap, reinterpret_cast<void **>(&l));
  return 0;
}

int drdcnam(drsrvstate *s, int32_t polid, const char *suffix, char *buf, uint16_t size) {
  drdmpol *p = drqpol(s, polid);
  if (!p) {
    dracnierr(s, 0, 50200, 2, 25, kunit, 1, __LINE__, 1, (int)polid, 0);
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
