// The component registry and the free through a class's table; the
// formatted write and the whitespace squeeze live here too. The
// constructors themselves belong to the classes' modules.
#include "dr/dras/dras.h"

#include <cstring>


// Rows hold the constructor's name; the process fills in the functions of
// the kinds it is built with (a null function: the kind is not part of it).
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

const char *(*drdsurlfn)(drobj *ds) = nullptr;

int drasmfree(drobj *o, int32_t clsid) {
  if (!o) return 0;
  switch (clsid) {
    case DRCLS_DATASTORE: return drops<drdsops>(o)->free(o);
    case DRCLS_FILTER: return drops<drfilops>(o)->free(o);
    case DRCLS_LEXER: return drops<drlexops>(o)->free(o);
    case DRCLS_WORDLIST: return drops<drwlops>(o)->free(o);
    case DRCLS_STOPLIST: return drops<drstops>(o)->free(o);
    case DRCLS_ENGINE: return drops<drengops>(o)->free(o);
    case DRCLS_READER: return drops<drrdrops>(o)->free(&o);
    case DRCLS_TRANSLATOR: return drops<drtrnops>(o)->free(&o);
    case DRCLS_LOADER: return drops<drldrops>(o)->free(&o);
    default: return 0;
  }
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
