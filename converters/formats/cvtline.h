// The line end and output code page that a converter's option string asks
// for, shared by the converters whose options follow the common rules.
#ifndef KES_CONVERTERS_FORMATS_CVTLINE_H
#define KES_CONVERTERS_FORMATS_CVTLINE_H

#include "converters/runtime/cx.h"

struct cvtline {
  char eol[3];   // the line end's bytes
  int codepage;  // output code page
};

// cvtlineopts: reads the option string (character 1: "x" LF, "a" CR LF,
// "m" the converter's own mline; the code page from characters 2-5);
// CR LF and defcp by default.
cvtline cvtlineopts(cxstate *st, const char *mline, int defcp = 819);

// cvteol: writes the line end.
void cvteol(cxstate *st, const cvtline &l);

#endif
