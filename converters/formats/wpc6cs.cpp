// The WordPerfect 6.x character lookup: a (set, number) pair written in the
// output code page, over the shared tables of converters/runtime/wpchars.h.
#include "converters/formats/wpc.h"
#include "converters/runtime/wpchars.h"

int wpc6extmap(cxstate *st, int set, int number) {
  // Set 0 is ASCII: the character alone stands for itself.
  if (set == 0) {
    if (number < 32 || number > 127) return -1;
    cxputc(st, number);
    return 0;
  }
  if (set == 12 || set > 14) return 0;
  const wpc6set *t = nullptr;
  for (const wpc6set &s : wpc6settab)
    if (s.set == set) t = &s;
  if (!t) return -1;
  int lo = 0, hi = t->n - 1;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    const wpc6srow &r = t->rows[mid];
    if (r.number == number) {
      if (r.codepage < 0) return -1;
      int c = cxcpconv(nullptr, r.codepage, static_cast<wpc6blk *>(st->wpc6blk)->codepage, r.ch);
      // 0: the output code page lacks the character; it is never a NUL byte.
      if (c <= 0) return -1;
      cxputc(st, c);
      return 0;
    }
    if (number < r.number)
      hi = mid - 1;
    else
      lo = mid + 1;
  }
  return -1;
}
