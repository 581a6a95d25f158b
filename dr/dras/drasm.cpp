// The component registry and the build-and-wire step that gives a policy its
// components; the formatted write and the whitespace squeeze live here too.
// The constructors themselves belong to the classes' modules.
#include "dr/dras/dras.h"

#include <cstring>

#include "dr/drd/drd.h"

static const char *const kunit = "dr/dras/drasm.cpp";

// Rows hold the constructor's name; a kind's module fills in its function
// (a null function means the kind is not part of this build).
drasmreg drasmtab = {
    // class 1 data store
    {{"drsdirnew", nullptr}, {"drsdirnew", nullptr}, {"drsdetnew", nullptr},
     {"drsfilnew", nullptr}, {"drsurlnew", nullptr}, {nullptr, nullptr},
     {nullptr, nullptr}, {nullptr, nullptr}},
    // class 3 filter
    {{"drganew", nullptr}, {"drganew", nullptr}, {"drgrnew", nullptr},
     {"drghnew", nullptr}, {"drgunew", nullptr}, {nullptr, nullptr}},
    // class 4 lexer (row 4 is empty)
    {{"drlanew", nullptr}, {"drlanew", nullptr}, {"drljnew", nullptr},
     {"drlknew", nullptr}, {nullptr, nullptr}, {"drlcnew", nullptr},
     {nullptr, nullptr}, {nullptr, nullptr}},
    // class 15
    {{"drucanew", nullptr}, {"drucanew", nullptr}, {nullptr, nullptr}, {nullptr, nullptr}},
    // class 5 word list
    {{"drwanew", nullptr}, {"drwanew", nullptr}, {nullptr, nullptr}, {nullptr, nullptr}},
    // class 6 stop list
    {{"drwsanew", nullptr}, {"drwsanew", nullptr}, {"drwsanew", nullptr}, {nullptr, nullptr}},
    // class 7 engine: rows 0 and 2 the test engine, row 1 the base engine
    {{"dreanew", nullptr}, {"drebnew", nullptr}, {"dreanew", nullptr}, {nullptr, nullptr}},
    // class 10 reader
    {{"drbgdnew", nullptr}, {"drbgdnew", nullptr}, {nullptr, nullptr}, {nullptr, nullptr}},
    // class 8 loader engine
    {{"drbegnew", nullptr}, {"drbegnew", nullptr}, {nullptr, nullptr}, {nullptr, nullptr}},
    // class 9 translator
    {{"drbxnnew", nullptr}, {"drbxnnew", nullptr}, {"drbxunew", nullptr}, {nullptr, nullptr}},
};

drasmrow *drasmblk(int32_t clsid, int *size) {
  drasmrow *b = nullptr;
  int n = 0;
  switch (clsid) {
    case DRCLS_DATASTORE: b = drasmtab.ds; n = 8; break;
    case DRCLS_FILTER: b = drasmtab.fil; n = 6; break;
    case DRCLS_LEXER: b = drasmtab.lex; n = 8; break;
    case DRCLS_QUERYAUX: b = drasmtab.q15; n = 4; break;
    case DRCLS_WORDLIST: b = drasmtab.wl; n = 4; break;
    case DRCLS_STOPLIST: b = drasmtab.sl; n = 4; break;
    case DRCLS_ENGINE: b = drasmtab.eng; n = 4; break;
    case DRCLS_READER: b = drasmtab.rdr; n = 4; break;
    case DRCLS_LOADER: b = drasmtab.ldr; n = 4; break;
    case DRCLS_TRANSLATOR: b = drasmtab.trn; n = 4; break;
    default: break;
  }
  if (size) *size = n;
  return b;
}

drobjop drasmctor(drsrvstate *s, int32_t clsid, int32_t objid) {
  int n = 0;
  drasmrow *b = drasmblk(clsid, &n);
  // An object id outside the block, or an empty row, names no kind at all:
  // refuse it rather than read past the block.
  if (!b || objid < 0 || objid >= n || !b[objid].name) {
    dracnerr(s, 0, 10516, 2, 1, (int)clsid, 1, (int)objid, 0);
    druetrc();
    return nullptr;
  }
  if (!b[objid].fn) {
    dracnerr(s, 0, 10515, 2, 1, (int)clsid, 1, (int)objid, 25, b[objid].name, 0);
    druetrc();
    return nullptr;
  }
  return b[objid].fn;
}

drobjop drasmset(int32_t clsid, int32_t objid, drobjop fn) {
  int n = 0;
  drasmrow *b = drasmblk(clsid, &n);
  if (!b || objid < 0 || objid >= n) return nullptr;
  drobjop old = b[objid].fn;
  b[objid].fn = fn;
  return old;
}

// Frees a component through its class's free slot.
static void drasmfree1(drobj *o, int32_t clsid) {
  if (!o) return;
  switch (clsid) {
    case DRCLS_DATASTORE: drobjfn<drobjfre>(o, DRSLOT_DSFREE)(o); break;
    case DRCLS_FILTER: drobjfn<drobjfre>(o, DRSLOT_FILFREE)(o); break;
    case DRCLS_LEXER: drobjfn<drobjfre>(o, DRSLOT_LEXFREE)(o); break;
    case DRCLS_WORDLIST: drobjfn<drobjfre>(o, DRSLOT_WLFREE)(o); break;
    case DRCLS_STOPLIST: drobjfn<drobjfre>(o, DRSLOT_SLFREE)(o); break;
    case DRCLS_ENGINE: drobjfn<drobjfre>(o, DRSLOT_ENGFREE)(o); break;
    case DRCLS_READER: drobjfn<drobjfrp>(o, DRSLOT_RDRFREE)(&o); break;
    case DRCLS_TRANSLATOR: drobjfn<drobjfrp>(o, DRSLOT_TRNFREE)(&o); break;
    case DRCLS_LOADER: drobjfn<drobjfrp>(o, DRSLOT_LDRFREE)(&o); break;
    default: break;
  }
}

int drasmobj(drsrvstate *s, drheap h, drdmpol *pol, int32_t clsid) {
  if (!pol || clsid < 1 || clsid > 10 || clsid == DRCLS_COMPRESSOR) {
    druetrc();
    return 1;
  }
  drdmcomp &slot = pol->comp[clsid - 1];
  if (slot.obj) return 0;

  int32_t prefcls = 0, objid = 0;
  if (druhprf(s, slot.prefid, &prefcls, &objid) != 0) {
    druetrc();
    return 1;
  }

  drobj *o = nullptr;
  drobjop ctor = nullptr;
  switch (clsid) {
    case DRCLS_DATASTORE:
      if (!(ctor = drasmctor(s, clsid, objid))) break;
      o = reinterpret_cast<drasmdsn>(ctor)(s, h, pol->id, slot.prefid);
      break;
    case DRCLS_FILTER:
      if (!(ctor = drasmctor(s, clsid, objid))) break;
      if (!(o = reinterpret_cast<drasmpln>(ctor)(s, h))) break;
      if (drobjfn<drfilbnd>(o, DRSLOT_BND)(o, pol->id, pol->comp[DRCLS_DATASTORE - 1].obj,
                                           slot.prefid, 1) != 0) {
        drasmfree1(o, clsid);
        o = nullptr;
        break;
      }
      // A lexer built before this filter must read from the new one.
      if (drobj *lex = pol->comp[DRCLS_LEXER - 1].obj)
        (void)drobjfn<drlexbnd>(lex, DRSLOT_BND)(lex, pol->id, o, 0);
      break;
    case DRCLS_LEXER:
      if (!(ctor = drasmctor(s, clsid, objid))) break;
      if (!(o = reinterpret_cast<drasmpln>(ctor)(s, h))) break;
      if (drobjfn<drlexbnd>(o, DRSLOT_BND)(o, pol->id, pol->comp[DRCLS_FILTER - 1].obj,
                                           slot.prefid) != 0) {
        drasmfree1(o, clsid);
        o = nullptr;
      }
      break;
    case DRCLS_WORDLIST:
      if (!(ctor = drasmctor(s, clsid, objid))) break;
      o = reinterpret_cast<drasmwln>(ctor)(s, h, slot.prefid, pol);
      break;
    case DRCLS_STOPLIST: {
      drobj *lex = pol->comp[DRCLS_LEXER - 1].obj;
      if (!lex) break;
      // Every stop-list preference builds the one stop-list kind.
      if (!(ctor = drasmctor(s, clsid, 1))) break;
      o = reinterpret_cast<drasmsln>(ctor)(s, h, slot.prefid, lex);
      break;
    }
    case DRCLS_ENGINE: {
      drobj *sl = pol->comp[DRCLS_STOPLIST - 1].obj;
      // Checked before building, so that a refused engine is not left behind.
      if (!sl) break;
      if (!(ctor = drasmctor(s, clsid, objid))) break;
      if (!(o = reinterpret_cast<drasmpln>(ctor)(s, h))) break;
      if (drobjfn<drengbnd>(o, DRSLOT_BND)(o, pol->id, slot.prefid, sl) != 0) {
        drasmfree1(o, clsid);
        o = nullptr;
      }
      break;
    }
    case DRCLS_LOADER:
    case DRCLS_TRANSLATOR:
    case DRCLS_READER:
      if (!(ctor = drasmctor(s, clsid, objid))) break;
      if (!(o = reinterpret_cast<drasmpln>(ctor)(s, h))) break;
      if (drobjfn<drtlbnd>(o, DRSLOT_BND)(o, pol->id, slot.prefid) != 0) {
        drasmfree1(o, clsid);
        o = nullptr;
      }
      break;
    default:
      break;
  }
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
    drasmfree1(o, c);
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
    drasmfree1(o, c);
  }
  return 0;
}

int drasmfmt(rtfmt *fmt, char *buf, size_t size, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = drasmvfmt(fmt, buf, size, format, ap);
  va_end(ap);
  return n;
}

char *drasmsqz(void *, const char *str, char *out) {
  if (!str || !out) return nullptr;
  auto ws = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
  const char *b = str;
  while (*b && ws(*b)) ++b;
  const char *e = b + std::strlen(b);
  while (e > b && ws(e[-1])) --e;
  if (b == e) return nullptr;
  char *w = out;
  for (const char *p = b; p < e;) {
    if (ws(*p)) {
      *w++ = ' ';
      while (p < e && ws(*p)) ++p;
    } else {
      *w++ = *p++;
    }
  }
  *w = '\0';
  return out;
}

int drasmvfmt(rtfmt *fmt, char *buf, size_t size, const char *format, va_list ap) {
  if (!fmt || !buf || size == 0) return LSF_EARGS;
  return lsffmtv(fmt, buf, size, format, ap);
}
