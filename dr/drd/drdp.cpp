// Reading what the dictionary cache holds: preference items by id and the
// attribute lists through which components read their settings.
#include <cstdlib>
#include <cstring>

#include "dr/drd/drd.h"

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
      drumalc(s, s->hpmgr, c->heap, 1, sizeof(drdplist), __FILE__, __LINE__));
  if (!l) {
    druetrc();
    return 1;
  }
  drdmpref *p = druhitm(s, prefid);
  if (!p) {
    dracnierr(s, DRFAC_DRG, 10514, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT, (int)prefid,
              0);
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

int32_t drdpnum(const drdmattr *a) {
  if (a->datatype != 1) return a->value.num;
  return a->value.str ? std::atoi(a->value.str) : 0;
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

