// Loading the dictionary cache: the policy statement, the preferences of a
// policy, each preference's details and attributes, the lookup by column
// specification; creating, refreshing and freeing the cache.
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "dr/drd/drd.h"
#include "dr/drd/drdsql.h"

// How the cache's statements report a failing step: the preference calls
// report every step as 50853; the attribute query executes as 50851 and
// fetches as 50853; the column-specification call binds its input as 50802
// and its output as 50803 and executes as 50853.
static const druorep kPref = {DRUE_OPEN, DRUE_PARSE, 50853, 50853, 50853, 50853, -1, 2, 2};
static const druorep kAttr = {DRUE_OPEN, DRUE_PARSE, DRUE_BIND, DRUE_DEFINE, 50851, 50853, -1,
                              2, 2};
static const druorep kColIn = {DRUE_OPEN, DRUE_PARSE, DRUE_BIND, DRUE_DEFINE, 50853, 50853, -1,
                               2, 2};
static const druorep kColOut = {DRUE_OPEN, DRUE_PARSE, DRUE_DEFINE, DRUE_DEFINE, 50853, 50853,
                                -1, 2, 2};

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
      drumalc(s, s->hpmgr, s->seshp, 1, sizeof(drdmcache), __FILE__, __LINE__));
  if (!c) {
    druetrc();
    return 1;
  }
  s->dmcache = c;
  c->prefwa.attrs = c->attrwa;
  if (drmhpnew(s, s->hpmgr, &c->heap, s->seshp, __FILE__, __LINE__) != 0 ||
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
    if (c->prefs[i]->attrs) drumfre(s, s->hpmgr, c->heap, reinterpret_cast<void **>(&c->prefs[i]->attrs));
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
    if (s)
      dracnierr(s, DRFAC_DRG, 50201, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT,
                static_cast<int>(polid), 0);
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
  druocur *cur = c->polcur;
  int32_t cid = polid;
  if (druobnd(s, cur, ":cid", &cid, sizeof cid, DRUO_INTEGER) != 0) {
    druetrc();
    return 1;
  }
  std::memset(wa, 0, sizeof *wa);
  std::memset(c->prids, 0, sizeof c->prids);
  struct {
    void *buf;
    int32_t size;
    int type;
  } const cols[] = {
      {&wa->id, 4, DRUO_INTEGER},         {wa->name, sizeof wa->name, DRUO_STRING},
      {wa->owner, sizeof wa->owner, DRUO_STRING},
      {wa->table, sizeof wa->table, DRUO_STRING},
      {wa->textexpr, sizeof wa->textexpr, DRUO_STRING},
      {&wa->texttype, 4, DRUO_INTEGER},   {wa->keycols, sizeof wa->keycols, DRUO_STRING},
      {&wa->keytype, 4, DRUO_INTEGER},    {wa->lncol, sizeof wa->lncol, DRUO_STRING},
      {&wa->lntype, 4, DRUO_INTEGER},     {wa->suffix, sizeof wa->suffix, DRUO_STRING},
  };
  int rc = 0;
  for (int k = 0; rc == 0 && k < static_cast<int>(std::size(cols)); ++k)
    rc = druodef(s, cur, k + 1, cols[k].buf, cols[k].size, cols[k].type);
  if (!rc) rc = druoexf(s, cur, 1);
  // Exactly one row: a missing one is as much a failure as a failing execute.
  if (rc == DRUO_NODATA) druoerr(s, rc, DRUE_EXEC, 2);
  if (rc != 0) {
    druetrc();
    return 1;
  }
  // A policy and a text-loading source of the same id would make the record
  // depend on which row came first: refuse the id instead.
  if (druofet(s, cur, 1, &druorepq) != DRUO_NODATA) {
    dracnerr(s, DRFAC_DRG, 10519, 2, DRA_INT, (int)polid, 0);
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
  int rc = druobnd(s, c->prcur, ":cid", &wa->id, 4, DRUO_INTEGER, nullptr, nullptr, &kPref);
  if (!rc)
    rc = druobna(s, c->prcur, ":prids", c->prids, 4, DRUO_INTEGER, c->prind, nullptr,
                 DRDM_NCLASS, &c->pridcnt, &kPref);
  if (!rc) rc = druoexe(s, c->prcur, &kPref);
  if (rc != 0) {
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
      pw->attrs = c->attrwa;
      pw->id = id;
      druocur *pd = c->pdcur;
      rc = druobnd(s, pd, ":prid", &pw->id, 4, DRUO_INTEGER, nullptr, nullptr, &kPref);
      if (!rc)
        rc = druobnd(s, pd, ":prname", pw->name, sizeof pw->name, DRUO_STRING, nullptr, nullptr,
                     &kPref);
      if (!rc) rc = druobnd(s, pd, ":clid", &pw->clsid, 4, DRUO_INTEGER, nullptr, nullptr, &kPref);
      if (!rc) rc = druobnd(s, pd, ":obid", &pw->objid, 4, DRUO_INTEGER, nullptr, nullptr, &kPref);
      if (!rc) rc = druoexe(s, pd, &kPref);
      if (rc != 0) {
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
  // A value holds up to 2000 characters of up to four bytes each: every one
  // reaches its component whole, which then judges its length.
  char vals[3][8001];
  int32_t ords[3], types[3], opts[3];
  int rc = druobnd(s, cur, ":preference", &prid, 4, DRUO_INTEGER, nullptr, nullptr, &kAttr);
  if (!rc) rc = druodef(s, cur, 1, names[0], sizeof names[0], DRUO_STRING, nullptr, nullptr,
      &kAttr);
  if (!rc) rc = druodef(s, cur, 2, vals[0], sizeof vals[0], DRUO_STRING, nullptr, nullptr, &kAttr);
  if (!rc) rc = druodef(s, cur, 3, ords, 4, DRUO_INTEGER, nullptr, nullptr, &kAttr);
  if (!rc) rc = druodef(s, cur, 4, types, 4, DRUO_INTEGER, nullptr, nullptr, &kAttr);
  if (!rc) rc = druodef(s, cur, 5, opts, 4, DRUO_INTEGER, nullptr, nullptr, &kAttr);
  if (!rc) rc = druoexe(s, cur, &kAttr);
  if (rc != 0) {
    druetrc();
    return 1;
  }
  pw->text = drubnew(s, c->heap, 0, nullptr, sizeof vals[0]);
  if (!pw->text) {
    druetrc();
    return 1;
  }
  uint32_t seen = 0;  // rows delivered so far, kept or dropped
  for (;;) {
    int frc = druofet(s, cur, 3, &kAttr);
    if (frc != 0 && frc != DRUO_NODATA) {
      druetrc();
      return 1;
    }
    uint32_t total = druorows(cur);
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
        // Each value takes the room it needs: short ones share a block, the
        // longest still fits one.
        size_t n = std::strlen(v) + 1;
        char *copy = static_cast<char *>(drubrsva(pw->text, static_cast<uint32_t>(n), 1));
        if (copy) std::memcpy(copy, v, n);
        a.value.str = copy;
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
    if (frc == DRUO_NODATA) break;
  }
  return 0;
}

int drdmadd(drsrvstate *s, drdmpref *pw) {
  drdmcache *c = s->dmcache;
  if (druhitm(s, pw->id)) return 0;
  if (c->prefcnt >= (uint32_t)DRDM_MAXPREF) {
    dracnerr(s, DRFAC_DRG, 10512, 2, 0);
    druetrc();
    return 1;
  }
  // The item keeps room for the attributes read, not for as many as a
  // preference may have.
  auto *p = static_cast<drdmpref *>(
      drumalc(s, s->hpmgr, c->heap, 1, sizeof(drdmpref), __FILE__, __LINE__));
  drdmattr *attrs = nullptr;
  if (p && pw->attrcnt > 0)
    attrs = static_cast<drdmattr *>(drumalc(s, s->hpmgr, c->heap, (size_t)pw->attrcnt,
                                            sizeof(drdmattr), __FILE__, __LINE__));
  if (!p || (pw->attrcnt > 0 && !attrs)) {
    if (p) drumfre(s, s->hpmgr, c->heap, reinterpret_cast<void **>(&p));
    druetrc();
    return 1;
  }
  *p = *pw;
  if (attrs) std::memcpy(attrs, pw->attrs, sizeof(drdmattr) * (size_t)pw->attrcnt);
  p->attrs = attrs;
  pw->text = nullptr;
  c->prefs[c->prefcnt++] = p;
  return 0;
}

int drdmcol(drsrvstate *s, const char *colspec, int32_t *polid) {
  size_t n = colspec ? std::strlen(colspec) : 0;
  // The column name travels in a fixed bind buffer: refuse what does not fit
  // rather than send a cut name that could match another policy.
  if (n >= (size_t)DRDM_COLSPEC) {
    dracnerr(s, DRFAC_DRG, 10517, 2, DRA_INT, (int)(DRDM_COLSPEC - 1), DRA_STR, colspec, 0);
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
  rc = druobnd(s, cur, ":colspec", spec, sizeof spec, DRUO_STRING, nullptr, nullptr, &kColIn);
  if (!rc) rc = druobnd(s, cur, ":cid", polid, 4, DRUO_INTEGER, nullptr, nullptr, &kColOut);
  if (!rc) rc = druoexe(s, cur, &kColIn);
  druofre(s, s->seshp, &cur);
  if (rc != 0) {
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
