// WordPerfect 5.1 tables: the definition with its columns' defaults, the
// row and cell functions with their spans, borders, alignment and
// attributes, and the table ends. Tables hold at most 32 columns here; a
// wider definition is cut to 32 and cells past the last column write their
// cells but keep nothing.
#include <cstring>

#include "filters/readers/wp/wp5.h"

namespace {

int tw(unsigned v) { return cvsixfifth(static_cast<int>(v)); }

unsigned char* group(cvrun* run, unsigned need) {
  unsigned char* g = wp5grpread(run);
  if (wp5grpsize(g) < need) {
    wp5grpfree(run, g);
    return nullptr;
  }
  return g;
}

// The entry of a column index, or null past the last.
wp5colent* entry(wp5state* s, int i) { return i >= 0 && i < WP5_MAXCOLS ? &s->cols[i] : nullptr; }

void prevoff(cvrun* run) {
  wp5state* s = wp5st(run);
  if (wp5colent* e = entry(s, s->prevcell)) wp5maskoff(run, static_cast<unsigned>(e->cellattrs));
}

}  // namespace

int wp5linekinds(unsigned w) {
  const unsigned fields[4] = {w & 7, w >> 3 & 7, w >> 8 & 3, w >> 11 & 7};
  int out = 0;
  for (int i = 0; i < 4; i++) {
    unsigned f = fields[i] == 7 ? 0 : fields[i];
    out |= static_cast<int>(f) << (12 - 4 * i);
  }
  return out;
}

int wp5tabdef(cvrun* run) {
  wp5state* s = wp5st(run);
  unsigned char* g = group(run, 8);
  if (!g) return 0;
  unsigned size = wp5grpsize(g);
  unsigned q = 28 + 5 * wp5getw(g + 6);
  if (q + 4 > size) {
    wp5grpfree(run, g);
    return 0;
  }
  static const int kinds[8] = {0, 2, 1, 3, 4, 0, 0, 0};
  int pos = kinds[g[q] & 7];
  unsigned n = wp5getw(g + q + 2);
  int ncols = n > WP5_MAXCOLS ? WP5_MAXCOLS : static_cast<int>(n);
  cwtabdesc d{};
  d.version = 2;
  d.ncols = ncols;
  d.align = pos;
  cwtabbeg(run, &d);
  int left = pos == 4 && q + 8 <= size ? tw(wp5getw(g + q + 6)) : cwparaget(run, 0);
  std::memset(s->cols, 0, sizeof s->cols);
  for (int i = 0; i < ncols; i++) {
    unsigned at = q + 24 + 2 * i;
    int width = at + 2 <= size ? tw(wp5getw(g + at)) : 0;
    cwcelladd(run, left, left + width);
    left += width;
    unsigned a = q + 24 + 2 * n + 2 * i, b = q + 24 + 4 * n + i;
    if (a + 2 <= size) s->cols[i].attrs = static_cast<int32_t>(wp5getw(g + a));
    if (b < size) s->cols[i].align = g[b];
    s->cols[i].span = 1;
  }
  wp5grpfree(run, g);
  cwtabstart(run);
  s->prevcell = s->curcell = s->rows = 0;
  return 0;
}

int wp5tabrow(cvrun* run) {
  wp5state* s = wp5st(run);
  int key = s->key[0] << 8 | s->key[1];
  unsigned char* g = group(run, 8);
  if (!g) return 0;
  unsigned size = wp5grpsize(g);
  unsigned skip = g[7] & 0x80 ? g[7] & 0x7F : g[7];
  unsigned p = 8 + skip;
  int height = 0;
  if (p + 4 <= size) {
    int flags = g[p];
    height = flags & 2 ? 0 : tw(wp5getw(g + p + 1));
    int m = g[p + 3];
    if (m & 0x80) {
      unsigned end = p + 4 + (m & 0x7F);
      if (end > size) end = size;
      int cell = 0;
      for (unsigned at = p + 4; at + 2 <= end;) {
        unsigned w = wp5getw(g + at);
        if (!(w & 0x8000)) {
          if (wp5colent* e = entry(s, cell)) e->border = wp5linekinds(w);
          cell++;
          at += 2;
        } else {
          if (at + 4 > end) break;
          int kinds = wp5linekinds(wp5getw(g + at + 2));
          for (unsigned k = 0; k < (w & 0x7FFF) && cell < WP5_MAXCOLS; k++, cell++) s->cols[cell].border = kinds;
          at += 4;
        }
      }
    }
  }
  wp5grpfree(run, g);
  if (s->rows != 0) {
    prevoff(run);
    if (key == 0xDD01 || key == 0xDD03) {
      cwrowflush(run);
      cwnewline(run, key == 0xDD01 ? 4 : 3);
    }
    cwrownew(run);
  }
  cwrowheight(run, height);
  s->rows++;
  s->curcell = 0;
  return 0;
}

int wp5tabcell(cvrun* run) {
  wp5state* s = wp5st(run);
  unsigned char* g = group(run, 15);
  if (!g) return 0;
  int flags = g[4], span = g[6], rspan = g[7];
  unsigned mask = wp5getw(g + 12);
  int own = g[14];
  wp5grpfree(run, g);
  s->region = 0;
  wp5colent spare{};
  spare.span = 1;
  wp5colent* e = entry(s, s->curcell);
  if (!e) e = &spare;  // past the last column: written, not kept
  if (!(span & 0x80)) {
    if (s->curcell != 0) prevoff(run);
    cwcellnext(run);
    int cs = span & 0x3F;
    if (cs > 1) cwcellcspan(run, cs);
    if (rspan > 1) cwcellrspan(run, rspan);
    int v = flags >> 2 & 3;
    if (v < 3) cwcellvpos(run, v);
    static const int ownmap[5] = {0, 3, 1, 2, 5}, colmap[5] = {0, 2, 1, 3, 5};
    int a = flags & 1 ? own & 7 : e->align & 7;
    if (a < 5) cwcellhalign(run, flags & 1 ? ownmap[a] : colmap[a]);
    unsigned attrs = flags & 2 ? mask : static_cast<unsigned>(e->attrs);
    wp5maskon(run, attrs);
    e->cellattrs = static_cast<int32_t>(attrs);
    e->span = cs;
    if (cs > 1)
      if (wp5colent* last = entry(s, s->curcell + cs - 1)) e->border |= last->border & 0xF;
    for (int side = 0; side < 4; side++) cwcellbline(run, side, e->border >> (12 - 4 * side) & 0xF);
  }
  s->prevcell = s->curcell;
  s->curcell += e->span;
  return 0;
}

int wp5tabend(cvrun* run) {
  wp5grpfree(run, wp5grpread(run));
  prevoff(run);
  cwtabend(run);
  return 0;
}

int wp5tabendpg(cvrun* run) {
  wp5tabend(run);
  cwnewline(run, 4);
  return 0;
}
