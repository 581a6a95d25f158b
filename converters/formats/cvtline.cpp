// Line ends and output code pages of the converters' option strings.
#include "converters/formats/cvtline.h"

#include <cstdio>

#include "converters/word/word.h"

cvtline cvtlineopts(cxstate *st, const char *mline, int defcp) {
  wxset x;
  wxoptions(st, &x, defcp);
  cvtline l{};
  std::snprintf(l.eol, sizeof l.eol, "%s", x.lemode == 1 ? "\n" : x.lemode == 2 ? mline : "\r\n");
  l.codepage = x.codepage;
  return l;
}

void cvteol(cxstate *st, const cvtline &l) {
  for (const char *p = l.eol; *p; p++) cxputc(st, *p);
}
