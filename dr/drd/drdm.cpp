// Loading the dictionary cache: the policy statement, the preferences of a
// policy, each preference's details and attributes, the lookup by column
// specification; creating, refreshing and freeing the cache.
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "dr/drd/drd.h"
#include "dr/dru/drudb.h"
#include "dr/drd/drdsql.h"

static const char *const kunit = "dr/drd/drdm.cpp";

// Copies a fetched text into a fixed field, cut to fit.
static void drdmcpy(char *dst, size_t size, const char *src) {
  size_t n = std::strlen(src);
  if (n >= size) n = size - 1;
  std::memcpy(dst, src, n);
  dst[n] = '\0';
}

int drdmopn(drsrvstate *s) {
  drdmcache *c = s->dmcache;
  if (druoprs(s, c->heap, DRD_POL_SQL, &c->polcur) != 0 ||
      druoprs(s, c->heap, DRD_PRFS_SQL, &c->prcur) != 0 ||
      druoprs(s, c->heap, DRD_ATTR_SQL, &c->atcur) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drdmopd(drsrvstate *s) {
  drdmcache *c = s->dmcache;
  c->prefcnt = 0;
  if (druoprs(s, c->heap, DRD_PRFD_SQL, &c->pdcur) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drdmini(drsrvstate *s) {
  auto *c = static_cast<drdmcache *>(
      drumalc(s, s->hpmgr, s->seshp, 1, sizeof(drdmcache), kunit, __LINE__));
  if (!c) {
    druetrc();
    return 1;
  }
  s->dmcache = c;
  if (drmhpnew(s, s->hpmgr, &c->heap, s->seshp, kunit, __LINE__) != 0 ||
      druhnew(s, c->heap, 1000, sizeof(drdmpol), 1, &c->pols) != 0 || drdmopn(s) != 0 ||
      drdmopd(s) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drdmfre(drsrvstate *s) {
  drdmcache *c = s ? s->dmcache : nullptr;
  if (!c) return 0;
  if (c->heap) {
    druofre(s, c->heap, &c->polcur);
    druofre(s, c->heap, &c->pdcur);
    druofre(s, c->heap, &c->prcur);
    druofre(s, c->heap, &c->atcur);
  }
  if (c->pols) {
    void *e = nullptr;
    while (druhnxt(c->pols, &e) == 0 && e) {
      auto *p = static_cast<drdmpol *>(e);
      drasmrel(s, p);
      drasmtlfre(s, p);
    }
    druhfre(c->pols);
    c->pols = nullptr;
  }
  for (uint32_t i = 0; i < c->prefcnt; ++i) {
    if (c->prefs[i]->text) drubfre(c->prefs[i]->text);
    drumfre(s, s->hpmgr, c->heap, reinterpret_cast<void **>(&c->prefs[i]));
  }
  c->prefcnt = 0;
  if (c->heap) drmhpdel(s, s->hpmgr, c->heap);
  drumfre(s, s->hpmgr, s->seshp, reinterpret_cast<void **>(&s->dmcache));
  s->dmcache = nullptr;
  return 0;
}

int drdmref(drsrvstate *s, int32_t polid) {
  drdmcache *c = s->dmcache;
  if (!c || !c->pols) return 0;
  void *e = nullptr;
  druhget(c->pols, &polid, &e);
  if (!e) return 0;
  auto *p = static_cast<drdmpol *>(e);
  drasmrel(s, p);
  drasmtlfre(s, p);
  druhdel(c->pols, &polid);
  return 0;
}

drdmpol *drqpol(drsrvstate *s, int32_t polid) {
  drdmcache *c = s ? s->dmcache : nullptr;
  if (!c || !c->pols) {
    druetrc();
    return nullptr;
  }
  void *e = nullptr;
  druhget(c->pols, &polid, &e);
  if (e) return static_cast<drdmpol *>(e);
  drdmpol *p = nullptr;
  if (drdmldp(s, polid, &p) != 0) {
    druetrc();
    return nullptr;
  }
  return p;
}

int drdmput(drsrvstate *s, drdmpol *wa, drdmpol **out) {
  drdmcache *c = s->dmcache;
  void *e = nullptr;
  int32_t id = wa->id;
  druhget(c->pols, &id, &e);
  if (e) {
    // Loaded again while cached: its components belong to the old reading.
    drasmrel(s, static_cast<drdmpol *>(e));
    drasmtlfre(s, static_cast<drdmpol *>(e));
  } else if (druhins(c->pols, &id, 4, &e) != 0 || !e) {
    druetrc();
    return 1;
  }
  std::memcpy(e, wa, sizeof *wa);
  for (drdmcomp &k : static_cast<drdmpol *>(e)->comp) k.obj = nullptr;
  if (out) *out = static_cast<drdmpol *>(e);
  return 0;
}

int drdmldp(drsrvstate *s, int32_t polid, drdmpol **out) {
  drdmcache *c = s->dmcache;
  drdmpol *wa = &c->polwa;
  if (out) *out = nullptr;
  int32_t cid = polid;
  if (drddb::bindint(s, c->polcur, ":cid", &cid) != 0) {
    druekcii(s, 50802, 2, kunit, __LINE__, drddb::rc(c->polcur));
    druetrc();
    return 1;
  }
  std::memset(wa, 0, sizeof *wa);
  std::memset(c->prids, 0, sizeof c->prids);
  int rc = drddb::defint(s, c->polcur, 1, &wa->id);
  if (!rc) rc = drddb::defstr(s, c->polcur, 2, wa->name, sizeof wa->name);
  if (!rc) rc = drddb::defstr(s, c->polcur, 3, wa->owner, sizeof wa->owner);
  if (!rc) rc = drddb::defstr(s, c->polcur, 4, wa->table, sizeof wa->table);
  if (!rc) rc = drddb::defstr(s, c->polcur, 5, wa->textexpr, sizeof wa->textexpr);
  if (!rc) rc = drddb::defint(s, c->polcur, 6, &wa->texttype);
  if (!rc) rc = drddb::defstr(s, c->polcur, 7, wa->keycols, sizeof wa->keycols);
  if (!rc) rc = drddb::defint(s, c->polcur, 8, &wa->keytype);
  if (!rc) rc = drddb::defstr(s, c->polcur, 9, wa->lncol, sizeof wa->lncol);
  if (!rc) rc = drddb::defint(s, c->polcur, 10, &wa->lntype);
  if (!rc) rc = drddb::defstr(s, c->polcur, 11, wa->suffix, sizeof wa->suffix);
  // Exactly one row: a missing one is as much a failure as a failing execute.
  if (!rc) rc = drddb::exfet(s, c->polcur, 1);
  if (rc != 0) {
    druekcii(s, 50804, 2, kunit, __LINE__, drddb::rc(c->polcur));
    druetrc();
    return 1;
  }
  // A policy and a text-loading source of the same id would make the record
  // depend on which row came first: refuse the id instead.
  if (drddb::fetch(s, c->polcur, 1) != 1403) {
    dracnerr(s, 0, 10519, 2, 1, (int)polid, 0);
    druetrc();
    return 1;
  }
  if (drdmlpr(s, wa) != 0 || drdmput(s, wa, out) != 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drdmlpr(drsrvstate *s, drdmpol *wa) {
  drdmcache *c = s->dmcache;
  c->pridcnt = 0;
  std::memset(c->prids, 0, sizeof c->prids);
  std::memset(c->prind, 0, sizeof c->prind);
  int rc = drddb::bindint(s, c->prcur, ":cid", &wa->id);
  if (!rc)
    rc = drddb::bindintarr(s, c->prcur, ":prids", c->prids, c->prind, DRDM_NCLASS, &c->pridcnt);
  if (!rc) rc = drddb::exec(s, c->prcur);
  if (rc != 0) {
    druekcii(s, 50853, 2, kunit, __LINE__, drddb::rc(c->prcur));
    druetrc();
    return 1;
  }
  for (int32_t k = 1; k <= DRDM_NCLASS; ++k) {
    int32_t id = 0;
    if ((uint32_t)(k - 1) < c->pridcnt && c->prind[k - 1] != -1) id = c->prids[k - 1];
    // No preference of its own: the default preference of class k has id k.
    if (id == 0) id = k;
    if (!druhitm(s, id)) {
      drdmpref *pw = &c->prefwa;
      std::memset(pw, 0, sizeof *pw);
      pw->id = id;
      rc = drddb::bindint(s, c->pdcur, ":prid", &pw->id);
      if (!rc) rc = drddb::bindstr(s, c->pdcur, ":prname", pw->name, sizeof pw->name);
      if (!rc) rc = drddb::bindint(s, c->pdcur, ":clid", &pw->clsid);
      if (!rc) rc = drddb::bindint(s, c->pdcur, ":obid", &pw->objid);
      if (!rc) rc = drddb::exec(s, c->pdcur);
      if (rc != 0) {
        druekcii(s, 50853, 2, kunit, __LINE__, drddb::rc(c->pdcur));
        druetrc();
        return 1;
      }
      if (drdmlat(s, pw) != 0 || drdmadd(s, pw) != 0) {
        if (pw->text) drubfre(pw->text);
        pw->text = nullptr;
        druetrc();
        return 1;
      }
    }
    wa->comp[k - 1].prefid = id;
  }
  return 0;
}

int drdmlat(drsrvstate *s, drdmpref *pw) {
  drdmcache *c = s->dmcache;
  druocur *cur = c->atcur;
  int32_t prid = pw->id;
  char names[3][100];
  char vals[3][1024];
  int32_t ords[3], types[3], opts[3];
  if (drddb::bindint(s, cur, ":preference", &prid) != 0) {
    druekcii(s, 50802, 2, kunit, __LINE__, drddb::rc(cur));
    druetrc();
    return 1;
  }
  int rc = drddb::defstr(s, cur, 1, names[0], sizeof names[0]);
  if (!rc) rc = drddb::defstr(s, cur, 2, vals[0], sizeof vals[0]);
  if (!rc) rc = drddb::defint(s, cur, 3, ords);
  if (!rc) rc = drddb::defint(s, cur, 4, types);
  if (!rc) rc = drddb::defint(s, cur, 5, opts);
  if (rc != 0) {
    druekcii(s, 50803, 2, kunit, __LINE__, drddb::rc(cur));
    druetrc();
    return 1;
  }
  if (drddb::exec(s, cur) != 0) {
    druekcii(s, 50851, 2, kunit, __LINE__, drddb::rc(cur));
    druetrc();
    return 1;
  }
  pw->text = drubnew(s, c->heap, 1024, nullptr, 1024);
  if (!pw->text) {
    druetrc();
    return 1;
  }
  uint32_t seen = 0;  // rows delivered so far, kept or dropped
  for (;;) {
    int frc = drddb::fetch(s, cur, 3);
    if (frc != 0 && frc != 1403) {
      druekcii(s, 50853, 2, kunit, __LINE__, drddb::rc(cur));
      druetrc();
      return 1;
    }
    uint32_t total = drddb::rows(cur);
    uint32_t fresh = total > seen ? total - seen : 0;
    if (fresh > 3) fresh = 3;
    for (uint32_t r = 0; r < fresh; ++r) {
      // Rows beyond the limit are read and dropped.
      if (pw->attrcnt >= DRDM_MAXATTR) continue;
      drdmattr &a = pw->attrs[pw->attrcnt];
      names[r][sizeof names[r] - 1] = '\0';
      vals[r][sizeof vals[r] - 1] = '\0';
      // Names longer than the entry holds are cut, never written past it.
      drdmcpy(a.name, sizeof a.name, names[r]);
      a.ordinal = ords[r];
      a.datatype = types[r];
      if (types[r] == 1) {
        const char *v = std::strcmp(vals[r], "UNDEFINED") == 0 ? "" : vals[r];
        a.value.str = drubadd(pw->text, v);
        if (!a.value.str) {
          druetrc();
          return 1;
        }
      } else {
        a.value.num = std::strcmp(vals[r], "UNDEFINED") == 0 ? 0 : std::atoi(vals[r]);
      }
      ++pw->attrcnt;
    }
    seen = total;
    if (frc == 1403) break;
  }
  return 0;
}

int drdmadd(drsrvstate *s, drdmpref *pw) {
  drdmcache *c = s->dmcache;
  if (druhitm(s, pw->id)) return 0;
  if (c->prefcnt >= (uint32_t)DRDM_MAXPREF) {
    dracnerr(s, 0, 10512, 2, 0);
    druetrc();
    return 1;
  }
  // Only the attributes in use are copied; the rest of the item stays zero.
  auto *p = static_cast<drdmpref *>(
      drumalc(s, s->hpmgr, c->heap, 1, sizeof(drdmpref), kunit, __LINE__));
  if (!p) {
    druetrc();
    return 1;
  }
  std::memcpy(p, pw, offsetof(drdmpref, attrs) + sizeof(drdmattr) * (size_t)pw->attrcnt);
  p->text = pw->text;
  p->obj = pw->obj;
  pw->text = nullptr;
  c->prefs[c->prefcnt++] = p;
  return 0;
}

int drdmcol(drsrvstate *s, const char *colspec, int32_t *polid) {
  size_t n = colspec ? std::strlen(colspec) : 0;
  // The column name travels in a fixed bind buffer: refuse what does not fit
  // rather than send a cut name that could match another policy.
  if (n >= (size_t)DRDM_COLSPEC) {
    dracnerr(s, 0, 10517, 2, 1, (int)(DRDM_COLSPEC - 1), 25, colspec, 0);
    druetrc();
    return 1;
  }
  char spec[DRDM_COLSPEC];
  std::memcpy(spec, colspec ? colspec : "", n + 1);
  druocur *cur = nullptr;
  int rc = druoprs(s, s->seshp, DRD_COL_SQL, &cur);
  if (rc != 0) {
    druetrc();
    return 1;
  }
  int fail = 0, step = 0;
  if (drddb::bindstr(s, cur, ":colspec", spec, sizeof spec) != 0) fail = 50802;
  else if (drddb::bindint(s, cur, ":cid", polid) != 0) fail = 50803;
  else if (drddb::exec(s, cur) != 0) fail = 50853;
  if (fail) {
    druekcii(s, fail, 2, kunit, __LINE__, drddb::rc(cur));
    step = 1;
  }
  druofre(s, s->seshp, &cur);
  if (step) {
    druetrc();
    return 1;
  }
  return 0;
}

drdmpol *drqpnm(drsrvstate *s, const char *colspec) {
  int32_t id = 0;
  if (drdmcol(s, colspec, &id) != 0) {
    druetrc();
    return nullptr;
  }
  return drqpol(s, id);
}
