// Small record helpers shared by the units of the writer and by no one else:
// records of decimal fields, the shading record, four kinds packed in nibbles.
#ifndef KES_FILTERS_FRAMEWORK_WRITER_CWINT_H
#define KES_FILTERS_FRAMEWORK_WRITER_CWINT_H

#include <initializer_list>

#include "filters/framework/writer/cw.h"

// cwdecrec: a record whose fields are all decimal.
inline void cwdecrec(cvrun* run, int code, std::initializer_list<int> fields) {
  cwrecbeg(run, code);
  for (int v : fields) cwparint(run, v);
  cwrecend(run);
}

// cwhexrec: a record of one 2-hex-digit field.
inline void cwhexrec(cvrun* run, int code, int byte) {
  cwrecbeg(run, code);
  cwparhex2(run, byte);
  cwrecend(run);
}

// cwnibbles: four line kinds in one 16-bit value, the first in the top nibble.
inline unsigned cwnibbles(const int32_t* k) {
  return (k[0] & 15u) << 12 | (k[1] & 15u) << 8 | (k[2] & 15u) << 4 | (k[3] & 15u);
}

// cwshaderec: record 4371 for a target (0 characters, 5 the page, ...):
// the percentage, then each colour as three 2-hex-digit fields after a 0.
inline void cwshaderec(cvrun* run, int target, const cvshadevals& s) {
  cwrecbeg(run, 4371);
  cwparint(run, target);
  cwparint(run, s.pct);
  for (int32_t v : s.c1) cwparhex2(run, v);
  cwparint(run, 0);
  for (int32_t v : s.c2) cwparhex2(run, v);
  cwrecend(run);
}

#endif
