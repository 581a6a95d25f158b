// The WordPerfect 5 character sets: a (set, number) pair becomes a byte of
// the first of ten code pages that holds it, written at once or only
// reported. The set tables are generated data (wp5chartab.cpp).
#include "filters/readers/wp/wp5.h"

namespace {

const wp5charset* setof(int set) {
  for (const wp5charset& t : wp5chartab)
    if (t.set == set) return &t;
  return nullptr;
}

// The first row of the set with the number, then its first code page that
// holds it; -1 when there is none.
int lookup(int set, int number, int* col, int* value) {
  const wp5charset* t = setof(set);
  if (!t) return -1;
  for (int i = 0; i < t->n; i++) {
    const wp5charrow& r = t->rows[i];
    if (r.v[0] != number) continue;
    for (int c = 0; c < 10; c++) {
      if (r.v[c + 1] != -1) {
        *col = c;
        *value = r.v[c + 1];
        return 0;
      }
    }
    return -1;
  }
  return -1;
}

void incodepage(cvrun* run, int cp, int byte) {
  cwcodepage(run, cp);
  cwputc(run, byte);
  cwcodepage(run, wp5st(run)->codepage);
}

}  // namespace

int wp5charout(cvrun* run, int set, int number) {
  const int values[3] = {set, number, -1};
  cwvallist(run, values, 1);
  int col = 0, value = 0;
  switch (set) {
    case 0:
      if (number < 32 || number > 127) return -1;
      cwputc(run, number);
      return 0;
    case 1: case 3: case 4: case 5: case 6: case 7: case 8: case 10:
      if (lookup(set, number, &col, &value) < 0) return -1;
      if (col == 0 && value < 32)
        cwputc(run, value);
      else
        incodepage(run, wp5cpcols[col], value);
      return 0;
    case 2: case 9: case 11:
      return -1;
    case 12:
      if (number < 128)
        cwputc(run, number);
      else
        incodepage(run, 819, number);
      return 0;
    default:
      return 0;
  }
}

int wp5charcp(cvrun* run, int set, int number, int* cp, int* byte) {
  (void)run;
  int col = 0, value = 0;
  switch (set) {
    case 0:
      if (number < 32 || number > 127) return -1;
      *cp = 437;
      *byte = number;
      return 0;
    case 1: case 3: case 4: case 5: case 6: case 7: case 8: case 10:
      if (lookup(set, number, &col, &value) < 0) return -1;
      if (value >= 32) {
        *cp = wp5cpcols[col];
        *byte = value;
      } else {
        *cp = 437;
        *byte = number;
      }
      return 0;
    case 2: case 9: case 11:
      return -1;
    case 12:
      *cp = number < 128 ? 437 : 819;
      *byte = number;
      return 0;
    default:
      // Sets above 12 have no characters: no code page, which callers
      // take as a character that cannot be shown.
      *cp = 0;
      *byte = 0;
      return 0;
  }
}

int wp5extchar(cvrun* run) {
  int number = cwgetc(run), set = cwgetc(run);
  cwgetc(run);
  if (number < 0 || set < 0) return 0;
  if (wp5charout(run, set, number) == -1) cwputc(run, '_');
  return 0;
}
