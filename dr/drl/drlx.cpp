// What the lexers share: the internal error of a lexer's unit.
#include "dr/drl/drlx.h"

int drlxierr(drsrvstate *s, int num, const char *file, int line) {
  dracnierr(s, DRFAC_DRG, num, 2, DRA_STR, file, DRA_INT, line, 0);
  druetrc();
  return 1;
}
