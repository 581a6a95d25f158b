// Building a policy's components: each class's constructor from the
// registry row of the preference's object id, wired to the component below
// it and kept in the policy record until the policy's components are freed.
#include "dr/drd/drd.h"

// Refuses a component whose class needs one not built yet; null.
static drobj *drasmafter(drsrvstate *s, drdmpol *pol, int32_t clsid, int32_t first) {
  dracnerr(s, DRFAC_DRG, 10520, 2, DRA_INT, static_cast<int>(pol->id), DRA_INT,
           static_cast<int>(clsid), DRA_INT, static_cast<int>(first), 0);
  druetrc();
  return nullptr;
}

// Builds and binds a component of one class; null after the failing step.
static drobj *drasmbuild(drsrvstate *s, drheap h, drdmpol *pol, int32_t clsid, int32_t objid,
                         int32_t prefid) {
  drobj *o = nullptr;
  int rc = 0;
  switch (clsid) {
    case DRCLS_DATASTORE:
      if (drdsctor c = drasmctor(s, drasmtab.ds, clsid, objid)) o = c(s, h, pol->id, prefid);
      return o;
    case DRCLS_FILTER: {
      drfilctor c = drasmctor(s, drasmtab.fil, clsid, objid);
      if (!c || !(o = c(s, h))) return nullptr;
      rc = drops<drfilops>(o)->bnd(o, pol->id, pol->comp[DRCLS_DATASTORE - 1].obj, prefid, 1);
      // A lexer built before this filter must read from the new one.
      drobj *lex = pol->comp[DRCLS_LEXER - 1].obj;
      if (rc == 0 && lex) (void)drops<drlexops>(lex)->bnd(lex, pol->id, o, 0);
      break;
    }
    case DRCLS_LEXER: {
      drlexctor c = drasmctor(s, drasmtab.lex, clsid, objid);
      if (!c || !(o = c(s, h))) return nullptr;
      rc = drops<drlexops>(o)->bnd(o, pol->id, pol->comp[DRCLS_FILTER - 1].obj, prefid);
      break;
    }
    case DRCLS_WORDLIST:
      if (drwlctor c = drasmctor(s, drasmtab.wl, clsid, objid)) o = c(s, h, prefid, pol);
      return o;
    case DRCLS_STOPLIST: {
      drobj *lex = pol->comp[DRCLS_LEXER - 1].obj;
      if (!lex) return drasmafter(s, pol, clsid, DRCLS_LEXER);
      // Every stop-list preference builds the one stop-list kind.
      if (drstctor c = drasmctor(s, drasmtab.sl, clsid, 1)) o = c(s, h, prefid, lex);
      return o;
    }
    case DRCLS_ENGINE: {
      drobj *sl = pol->comp[DRCLS_STOPLIST - 1].obj;
      // Checked before building, so that a refused engine is not left behind.
      if (!sl) return drasmafter(s, pol, clsid, DRCLS_STOPLIST);
      drengctor c = drasmctor(s, drasmtab.eng, clsid, objid);
      if (!c || !(o = c(s, h))) return nullptr;
      rc = drops<drengops>(o)->bnd(o, pol->id, prefid, sl);
      break;
    }
    case DRCLS_READER: {
      drrdrctor c = drasmctor(s, drasmtab.rdr, clsid, objid);
      if (!c || !(o = c(s, h))) return nullptr;
      rc = drops<drrdrops>(o)->bnd(o, pol->id, prefid);
      break;
    }
    case DRCLS_TRANSLATOR: {
      drtrnctor c = drasmctor(s, drasmtab.trn, clsid, objid);
      if (!c || !(o = c(s, h))) return nullptr;
      rc = drops<drtrnops>(o)->bnd(o, pol->id, prefid);
      break;
    }
    case DRCLS_LOADER: {
      drldrctor c = drasmctor(s, drasmtab.ldr, clsid, objid);
      if (!c || !(o = c(s, h))) return nullptr;
      rc = drops<drldrops>(o)->bnd(o, pol->id, prefid);
      break;
    }
    default:
      return nullptr;
  }
  if (rc != 0) {
    drasmfree(o, clsid);
    return nullptr;
  }
  return o;
}

int drasmobj(drsrvstate *s, drheap h, drdmpol *pol, int32_t clsid) {
  if (!pol || clsid < 1 || clsid > 10 || clsid == DRCLS_COMPRESSOR) {
    dracnerr(s, DRFAC_DRG, 10521, 2, DRA_INT, static_cast<int>(clsid), 0);
    druetrc();
    return 1;
  }
  drdmcomp &slot = pol->comp[clsid - 1];
  if (slot.obj) return 0;

  int32_t prefcls = 0, objid = 0;
  if (druhprf(s, slot.prefid, &prefcls, &objid) != 0) {
    dracnierr(s, DRFAC_DRG, 10514, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_INT,
              static_cast<int>(slot.prefid), 0);
    druetrc();
    return 1;
  }
  drobj *o = drasmbuild(s, h, pol, clsid, objid, slot.prefid);
  if (!o) {
    druetrc();
    return 1;
  }
  slot.obj = o;
  if (clsid == DRCLS_WORDLIST) (void)druhset(s, slot.prefid, o);
  return 0;
}

int drasmrel(drsrvstate *s, drdmpol *pol) {
  static const int32_t order[] = {DRCLS_DATASTORE, DRCLS_FILTER, DRCLS_LEXER,
                                  DRCLS_STOPLIST, DRCLS_ENGINE, DRCLS_WORDLIST};
  if (!pol) return 0;
  for (int32_t c : order) {
    drdmcomp &slot = pol->comp[c - 1];
    if (!slot.obj) continue;
    drobj *o = slot.obj;
    slot.obj = nullptr;
    // The preference keeps a pointer to its word list: drop it with the list.
    if (c == DRCLS_WORDLIST) {
      drobj *att = nullptr;
      if (druhobj(s, slot.prefid, &att) == 0 && att == o) (void)druhset(s, slot.prefid, nullptr);
    }
    drasmfree(o, c);
  }
  return 0;
}

int drasmtlfre(drsrvstate *s, drdmpol *pol) {
  static const int32_t order[] = {DRCLS_READER, DRCLS_TRANSLATOR, DRCLS_LOADER};
  if (!pol) return 0;
  for (int32_t c : order) {
    drdmcomp &slot = pol->comp[c - 1];
    drobj *o = slot.obj;
    slot.obj = nullptr;
    drasmfree(o, c);
  }
  return 0;
}
