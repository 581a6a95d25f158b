// The WordPerfect 5.x character lookups: a (set, number) pair to a byte of a
// named code page, and the reverse lookups, over the shared tables of
// converters/runtime/wpchars.h.
#include "converters/formats/wpc.h"
#include "converters/runtime/wpchars.h"

int wpc5setmap(cxstate *st, int direction, int *set, int *ch) {
  if (direction == 0) {
    if (*set < 1 || *set > 8) return 0;
    const wpc5set &t = wpc5settab[*set];
    for (int i = 0; i < t.n; i++)
      if (t.pairs[i].number == *ch) {
        *ch = t.pairs[i].ch;
        return 1;
      }
    return 0;
  }
  static const int order[] = {3, 1, 4, 5, 6, 7, 8};
  for (int s : order) {
    const wpc5set &t = wpc5settab[s];
    for (int i = 0; i < t.n; i++)
      if (t.pairs[i].ch == *ch) {
        *set = s;
        *ch = t.pairs[i].number;
        return 1;
      }
  }
  return 0;
}

int wpc5charmap(cxstate *st, int set, int number, int *ch) {
  int s = set, c = number;
  int cp = 437;
  if (!wpc5setmap(st, 0, &s, &c)) c = ' ';
  // A code-page row overrides the set table: the first table in the search
  // order, and its first row, that holds the pair decides.
  for (const wpc5cpt &t : wpc5cptab) {
    bool found = false;
    for (int i = 0; i < t.n && !found; i++)
      if (t.rows[i].set == set && t.rows[i].number == number) {
        cp = t.codepage;
        c = t.rows[i].ch;
        found = true;
      }
    if (found) break;
  }
  if (auto *b = static_cast<wpc5blk *>(st ? st->wpc5blk : nullptr)) {
    b->lastcp = cp;
    b->lastch = c;
  }
  *ch = c;
  return cp;
}

int wpc5cprev(cxstate *st, int codepage, int ch, int *set, int *number) {
  for (const wpc5cpt &t : wpc5cptab) {
    if (t.codepage != codepage) continue;
    for (int i = 0; i < t.n; i++)
      if (t.rows[i].ch == ch) {
        *set = t.rows[i].set;
        *number = t.rows[i].number;
        return 1;
      }
  }
  return 0;
}
