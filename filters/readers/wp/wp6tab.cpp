// WordPerfect 6 tables and graphics boxes: the table definition with its
// columns, the rows, cells and ends; the box function with its box packet,
// its override blocks and its contents (box texts converted through the
// reader's own text loop).
//
// A table is read twice: the first pass writes to a scratch stream, which is
// dropped, and gathers each cell's line kinds; the end settles the lines
// between neighbouring cells and goes back to the table's begin, and the
// second pass writes the table with the settled lines.
#include <cstring>

#include "filters/readers/wp/wp6.h"

namespace {

constexpr int kmaxcols = 50;

int tw(unsigned v) { return static_cast<int>((v & 0xFFFF) * 6 / 5); }

// Where a function's data begin: after its prefix packet list.
unsigned database(const unsigned char* f) {
  return wp6b(f, 4) & 0x80 ? 6 + 2 * wp6b(f, 5) : 5;
}

// ---------------------------------------------------------------- border records

wp6tablev* curlevel(wp6state* s) {
  return s->f.tablevel >= 0 && s->f.tablevel < WP6_TABLEVELS ? &s->levels[s->f.tablevel] : nullptr;
}

// Grows an array of records to hold one more; false when memory runs out.
template <typename T>
bool grow(cvrun* run, T** a, int32_t n, int32_t* cap) {
  if (n < *cap) return true;
  int32_t ncap = *cap ? *cap * 2 : 16;
  auto* b = static_cast<T*>(cvalloc(run, sizeof(T) * static_cast<size_t>(ncap)));
  if (!b) return false;
  if (n) std::memcpy(b, *a, sizeof(T) * static_cast<size_t>(n));
  if (*a) cvfree(run, *a);
  *a = b;
  *cap = ncap;
  return true;
}

// A row record; a row of the same index as the last is that row again.
void rowadd(cvrun* run, wp6tablev* l, int index) {
  if (l->nrows && l->rows[l->nrows - 1].index == index) return;
  if (!grow(run, &l->rows, l->nrows, &l->caprows)) wp6fatal(run, RDR_NOMEM);
  l->rows[l->nrows++] = {index, l->ncells, 0};
}

void celladd(cvrun* run, wp6tablev* l, int row, int index, const int* side) {
  if (!l->nrows || l->rows[l->nrows - 1].index != row) rowadd(run, l, row);
  if (!grow(run, &l->cells, l->ncells, &l->capcells)) wp6fatal(run, RDR_NOMEM);
  wp6tabcellrec& c = l->cells[l->ncells++];
  c.index = index;
  std::memcpy(c.side, side, sizeof c.side);
  l->rows[l->nrows - 1].count++;
}

// The cell of a row whose index is the largest not above `index`; exact
// asks for that index alone. Rows and cells come in rising order.
wp6tabcellrec* cellat(wp6tablev* l, const wp6tabrowrec& r, int index, bool exact) {
  int lo = 0, hi = r.count;
  while (lo < hi) {
    int mid = (lo + hi) / 2;
    if (l->cells[r.first + mid].index <= index)
      lo = mid + 1;
    else
      hi = mid;
  }
  if (lo == 0) return nullptr;
  wp6tabcellrec* c = &l->cells[r.first + lo - 1];
  return exact && c->index != index ? nullptr : c;
}

wp6tabcellrec* cellfind(wp6tablev* l, int row, int index) {
  if (!l) return nullptr;
  int lo = 0, hi = l->nrows;
  while (lo < hi) {
    int mid = (lo + hi) / 2;
    if (l->rows[mid].index < row)
      lo = mid + 1;
    else
      hi = mid;
  }
  if (lo >= l->nrows || l->rows[lo].index != row) return nullptr;
  return cellat(l, l->rows[lo], index, true);
}

// ---------------------------------------------------------------- cells

// Walks the attribute items of a cell; with apply, writes them (and clears
// the record's sides a no-line item names). True when the cell is covered by
// a neighbour's span.
bool cellitems(cvrun* run, const unsigned char* f, bool apply, int32_t* rec) {
  unsigned at = database(f);
  unsigned a = wp6w(f, at), b = wp6w(f, at + 2);
  unsigned p = at + 4 + b;
  unsigned end = a >= b + 2 ? p + (a - b - 2) : p;
  if (end > wp6fnsize(f)) end = wp6fnsize(f);
  bool covered = false;
  while (p < end) {
    unsigned type = f[p], size = 1;
    switch (type) {
      case 0x80: size = 5; break;
      case 0x81: size = wp6w(f, p + 1); break;
      case 0x82: case 0x83: size = 4; break;
      case 0x84: size = 9; break;
      case 0x85: size = 4; break;
      case 0x86: size = 10; break;
      case 0x87: size = 6; break;
      case 0x88: size = 6; break;
      case 0x89: size = 11; break;
      case 0x8A: size = wp6w(f, p + 1) + 1; break;
      case 0x8B: case 0x8C: size = 3; break;
      default: break;
    }
    if (size == 0) size = 1;
    if (type == 0x85) {
      unsigned cs = wp6b(f, p + 1), rs = wp6b(f, p + 2);
      if (cs & 0x80 || rs & 0x80) covered = true;
      if (apply) {
        cwcellcspan(run, static_cast<int>(cs & 0x7F ? cs & 0x7F : 1));
        cwcellrspan(run, static_cast<int>(rs & 0x7F ? rs & 0x7F : 1));
      }
    } else if (apply && type == 0x84) {
      unsigned fl = wp6b(f, p + 1);
      if (fl & 2) {
        static const int al[6] = {0, 3, 1, 2, 4, 5};
        unsigned h = wp6b(f, p + 2) & 7;
        if (h < 6) cwcellhalign(run, al[h]);
      }
      unsigned v = wp6b(f, p + 3);
      if (v <= 3) cwcellvpos(run, static_cast<int>(v));
    } else if (apply && type == 0x80) {
      unsigned fl = wp6b(f, p + 1);
      if (fl & 2) cwrowheight(run, tw(wp6w(f, p + 2)));
      if (fl & 4) cwrowalign(run, 1);
    } else if (apply && type == 0x86) {
      cvshade sh{};
      sh.v.pct = static_cast<int32_t>(wp6b(f, p + 4));
      for (int i = 0; i < 3; i++) {
        sh.v.c1[i] = static_cast<int32_t>(wp6b(f, p + 1 + i));
        sh.v.c2[i] = static_cast<int32_t>(wp6b(f, p + 5 + i));
      }
      cwcellshade(run, &sh);
    } else if (apply && type == 0x88) {
      cwcellval(run, static_cast<int>(wp6w(f, p + 1) & 7));
    } else if (apply && type == 0x8B) {
      unsigned sides = wp6w(f, p + 1);
      static const unsigned bits[4] = {4, 1, 8, 2};  // top, left, bottom, right
      for (int side = 0; side < 4; side++) {
        if (!(sides & bits[side])) continue;
        cwcellbline(run, side, 0);
        if (rec) rec[side] = 0;
      }
    }
    p += size;
  }
  return covered;
}

bool hasitems(const unsigned char* f) {
  unsigned at = database(f);
  unsigned a = wp6w(f, at), b = wp6w(f, at + 2);
  return a > b + 2;
}

// Starts a cell with its borders and its attributes. In the first pass the
// line kinds come from the cell's line-style packets (or the table's default
// kind) and are recorded; in the second they come from the settled record.
void startcell(cvrun* run, wp6state* s, const unsigned char* f) {
  cwcellnext(run);
  unsigned n = wp6b(f, 4) & 0x80 ? wp6b(f, 5) : 0;
  int side[4];
  wp6tablev* l = curlevel(s);
  wp6tabcellrec* rec = s->f.tabpass == 2 ? cellfind(l, s->f.tabrow, s->f.tabcell) : nullptr;
  for (int i = 0; i < 4; i++) {
    side[i] = rec ? rec->side[i] : s->f.tabline;
    if (!rec && i < static_cast<int>(n)) {
      int num = static_cast<int>(wp6w(f, 6 + 2 * i));
      if (num) {
        wp6bordrec r{};
        side[i] = wp6linestyle(run, num, &r);
        s = wp6st(run);
      }
    }
  }
  int32_t* recsides = nullptr;
  if (s->f.tabpass == 1 && l) {
    celladd(run, l, s->f.tabrow, s->f.tabcell, side);
    recsides = l->cells[l->ncells - 1].side;
  }
  for (int i = 0; i < 4; i++) cwcellbline(run, i, side[i]);
  if (n >= 5) {
    int col[6];
    int pct = wp6readfill(run, static_cast<int>(wp6w(f, 14)), col);
    s = wp6st(run);
    if (pct >= 0) {
      cvshade sh{};
      sh.v.pct = pct;
      for (int i = 0; i < 3; i++) {
        sh.v.c1[i] = col[i];
        sh.v.c2[i] = col[3 + i];
      }
      cwcellshade(run, &sh);
    }
  }
  int c = s->f.tabcell < kmaxcols ? s->f.tabcell : kmaxcols - 1;
  cwcellhalign(run, s->f.colalign[c]);
  if (hasitems(f)) {
    cellitems(run, f, true, recsides);
  } else {
    cwcellcspan(run, 1);
    cwcellrspan(run, 1);
    cwcellvpos(run, 0);
  }
}

// ---------------------------------------------------------------- definitions

void tabdef(cvrun* run, wp6state* s, const unsigned char* f) {
  s->f.tabcols = 0;
  s->f.tabcell = s->f.tabrow = 0;
  s->f.tabline = -1;
  s->f.tabborder = -1;
  std::memset(s->f.tabshade, 0, sizeof s->f.tabshade);
  unsigned n = wp6b(f, 4) & 0x80 ? wp6b(f, 5) : 0;
  int shade[7] = {};
  for (unsigned i = 0; i < n && i < 16; i++) {
    int num = static_cast<int>(wp6w(f, 6 + 2 * i));
    wp6packet* p = num > 0 ? wp6findpkt(run, num) : nullptr;
    if (!p) continue;
    if (p->type == 0x42) {
      wp6bordrec r{};
      s->f.tabline = wp6linestyle(run, num, &r);
    } else if (p->type == 0x43 && i == 4) {
      int col[6];
      int pct = wp6readfill(run, num, col);
      if (pct >= 0) {
        shade[0] = pct;
        std::memcpy(shade + 1, col, sizeof col);
      }
    } else if (p->type == 0x44) {
      wp6bordrec r{};
      if (wp6readborder(run, num, &r))
        s->f.tabborder = (r.line[0] & 15) << 12 | (r.line[1] & 15) << 8 | (r.line[2] & 15) << 4 | (r.line[3] & 15);
    }
    s = wp6st(run);
  }
  unsigned p = n ? 6 + 2 * n : 4;
  s->f.tabalign = static_cast<int>(wp6b(f, p + 3) & 7);
  s->f.tableft = wp6b(f, p + 3) & 0x04 ? tw(wp6w(f, p + 4)) : s->f.lmar;
  // The override blocks: the table's fill in the nested block of 0x4000.
  unsigned flags = wp6w(f, p + 12), q = p + 14;
  for (unsigned bit = 0x8000; bit >= 0x2000; bit >>= 1) {
    if (!(flags & bit)) continue;
    unsigned size = wp6w(f, q);
    if (bit == 0x4000 && wp6w(f, q + 2) & 0x8000) {
      unsigned v = q + 4;
      shade[0] = static_cast<int>(wp6b(f, v + 3));
      for (int i = 0; i < 3; i++) {
        shade[1 + i] = static_cast<int>(wp6b(f, v + i));
        shade[4 + i] = static_cast<int>(wp6b(f, v + 4 + i));
      }
    }
    q += size > 4 ? size : 4;
  }
  if (s->f.tabline < 0) s->f.tabline = 0;
  if (shade[0] > 0) std::memcpy(s->f.tabshade, shade, sizeof shade);
}

void tabcol(wp6state* s, const unsigned char* f) {
  if (s->f.tabcols >= kmaxcols) return;
  unsigned at = wp6b(f, 4) & 0x80 ? 13 : 8;
  int a = tw(wp6w(f, at));
  unsigned d = wp6b(f, at + 10);
  int k = s->f.tabcols;
  int left = k == 0 ? s->f.tableft : s->f.colright[k - 1];
  s->f.colleft[k] = left;
  s->f.colright[k] = left + (a ? a : 144);
  static const int al[6] = {0, 3, 1, 2, 4, 5};
  s->f.colalign[k] = (d & 0x0F) < 6 ? al[d & 0x0F] : 0;
  s->f.tabcols++;
}

// Ends the table being read: after the first pass the borders are settled
// and the input goes back to the table's begin (true); otherwise the level's
// records are let go.
bool tabfinish(cvrun* run, wp6state* s) {
  wp6tablev* l = curlevel(s);
  if (s->f.tabpass == 1 && l) {
    cvpopout(run);
    cvsclose(run, s->f.tabscratch);
    wp6tabborders(l, s->f.tabborder);
    int32_t level = s->f.tablevel, in = s->f.tabin;
    int64_t start = s->f.tabstart;
    // The second pass begins in the state the first began in, so that what
    // the table's functions changed is not changed twice.
    s->f = l->saved;
    s->f.tabpass = 2;
    s->f.tablevel = level;
    s->f.tabin = in;
    s->f.tabstart = start;
    s->f.tabscratch = -1;
    s->f.tabopen = 0;
    cvsseek(run, in, static_cast<long>(start));
    return true;
  }
  if (l) {
    l->nrows = l->ncells = 0;
    s->ntablev = s->f.tablevel;
  }
  s->f.tabpass = -1;
  s->f.tablevel = -1;
  s->f.tabopen = 0;
  s->f.tabcell = 0;
  s->f.tabborder = 0;
  return false;
}

// The table begin: a table still open in the same text ends here first.
void tabbegin(cvrun* run, wp6state* s, int64_t here) {
  bool second = !s->f.tabopen && s->f.tabpass == 2 && s->f.tabin == run->in && s->f.tabstart == here;
  if (!second) {
    if (s->f.tabopen && s->f.tabin == run->in) {
      cwtabend(run);
      if (tabfinish(run, s)) return;  // the first pass ends here: read again from its begin
    } else if (s->f.tabpass == 2 && s->f.tabin == run->in) {
      tabfinish(run, s);  // a second pass that never found its begin
    }
    int level = s->ntablev < WP6_TABLEVELS ? s->ntablev : -1;
    int scratch = level >= 0 ? cvsscratch(run, 1024) : -1;
    s->f.tabpass = -1;
    s->f.tablevel = -1;
    s->f.tabin = run->in;
    s->f.tabstart = here;
    if (scratch >= 0 && cvpushout(run, scratch) >= 0) {
      wp6tablev* l = &s->levels[level];
      l->nrows = l->ncells = 0;
      s->ntablev = level + 1;
      s->f.tablevel = level;
      s->f.tabpass = 1;
      s->f.tabscratch = scratch;
      l->saved = s->f;
    } else if (scratch >= 0) {
      cvsclose(run, scratch);
    }
  }
  cwtabdesc d{};
  d.version = 3;
  d.ncols = s->f.tabcols;
  static const int al[5] = {0, 3, 1, 2, 4};
  d.align = s->f.tabalign >= 1 && s->f.tabalign <= 4 ? al[s->f.tabalign] : 0;
  d.shade.kind = 1;
  d.shade.v.pct = s->f.tabshade[0];
  for (int i = 0; i < 3; i++) {
    d.shade.v.c1[i] = s->f.tabshade[1 + i];
    d.shade.v.c2[i] = s->f.tabshade[4 + i];
  }
  d.mar[0] = d.mar[1] = 120;
  cwtabbeg(run, &d);
  for (int i = 0; i < s->f.tabcols; i++) cwcelladd(run, s->f.colleft[i], s->f.colright[i]);
  cwtabstart(run);
  s->f.tabrow = s->f.tabcell = 0;
  s->f.tabopen = 1;
}

}  // namespace

void wp6tabnone(wp6state* s) {
  s->f.tabopen = 0;
  s->f.tabpass = -1;
  s->f.tablevel = -1;
  s->f.tabin = -1;
  s->f.tabscratch = -1;
  s->f.tabborder = -1;
  s->f.tabcell = s->f.tabrow = 0;
}

void wp6tabfree(cvrun* run, wp6state* s) {
  for (wp6tablev& l : s->levels) {
    if (l.rows) cvfree(run, l.rows);
    if (l.cells) cvfree(run, l.cells);
    l.rows = nullptr;
    l.cells = nullptr;
    l.nrows = l.ncells = l.caprows = l.capcells = 0;
  }
  s->ntablev = 0;
}

void wp6tabborders(wp6tablev* l, int border) {
  if (l->nrows == 0) return;
  if (border != -1) {
    int top = border >> 12 & 15, left = border >> 8 & 15, bottom = border >> 4 & 15, right = border & 15;
    for (int r = 0; r < l->nrows; r++) {
      const wp6tabrowrec& row = l->rows[r];
      for (int j = 0; j < row.count; j++) {
        wp6tabcellrec& c = l->cells[row.first + j];
        if (r == 0 && top) c.side[0] = top;
        if (r == l->nrows - 1 && bottom) c.side[2] = bottom;
        if (j == 0 && c.index == 0 && left) c.side[1] = left;
        if (j == row.count - 1 && right) c.side[3] = right;
      }
    }
  }
  // A cell whose right-hand neighbour has no left line has no right line.
  for (int r = 0; r < l->nrows; r++) {
    const wp6tabrowrec& row = l->rows[r];
    for (int j = 0; j + 1 < row.count; j++)
      if (l->cells[row.first + j + 1].side[1] == 0) l->cells[row.first + j].side[3] = 0;
  }
  // A kind not yet settled takes its neighbour's across the row boundary.
  for (int r = 0; r + 1 < l->nrows; r++) {
    const wp6tabrowrec &up = l->rows[r], &down = l->rows[r + 1];
    if (down.count == 0) continue;
    for (int j = 0; j < up.count; j++) {
      wp6tabcellrec& u = l->cells[up.first + j];
      wp6tabcellrec* d = j == 0 ? &l->cells[down.first] : cellat(l, down, u.index, false);
      if (!d) continue;
      if (u.side[2] == 9 && d->side[0] != 9)
        u.side[2] = d->side[0];
      else if (d->side[0] == 9 && u.side[2] != 9)
        d->side[0] = u.side[2];
    }
  }
  for (int i = 0; i < l->ncells; i++)
    for (int32_t& k : l->cells[i].side)
      if (k > 8) k -= 8;
}

int wp6tabeof(cvrun* run) {
  wp6state* s = wp6st(run);
  if ((!s->f.tabopen && s->f.tabpass == -1) || s->f.tabin != run->in) return 0;
  if (s->f.tabopen) cwtabend(run);
  return tabfinish(run, s) ? 1 : 0;
}

int wp6tabend(cvrun* run) {
  wp6state* s = wp6st(run);
  int code = s->key[0], sub = s->key[1];
  if (code == 0xD0) {
    unsigned char* f = wp6fnread(run);
    if (!f) return 0;
    wp6fnfree(run, f);
    s = wp6st(run);
  }
  bool open = s->f.tabopen && s->f.tabin == run->in;
  if (open)
    cwtabend(run);
  else
    cwnewline(run, 1);  // the end of a table never begun still parts its text
  if (code == 0xBD) {
    cwcolsoft(run);
    cwnewline(run, 4);
    s->f.pagecount++;
  } else if (code == 0xBE || (code == 0xD0 && sub == 0x12)) {
    cwcolsoft(run);
  } else if (code == 0xD0 && sub == 0x13) {
    cwcolsoft(run);
    cwnewline(run, 3);
    s->f.pagecount++;
    if (s->f.firstind) cwind1stadd(run, s->f.firstind);
  }
  if (open && tabfinish(run, s)) return 0;
  s->f.tabcell = 0;
  s->f.tabopen = 0;
  return 0;
}

int wp6tabhandler(cvrun* run) {
  wp6state* s = wp6st(run);
  int code = s->key[0], sub = s->key[1];
  // Where this function's code stands: the table's begin, for its second pass.
  int64_t here = cvstell(run, run->in) - 2;
  unsigned char* f = wp6fnread(run);
  if (!f) return 0;
  s = wp6st(run);
  bool intable = s->f.tabopen && s->f.tabin == run->in;
  if (code == 0xD4) {
    if (sub == 0x2A)
      tabdef(run, s, f);
    else if (sub == 0x2C)
      tabcol(s, f);
    else if (sub == 0x2B)
      tabbegin(run, s, here);
  } else if (code == 0xD0 && !intable) {
    // Rows and cells without a table keep their texts apart.
    if (sub == 0x0A)
      cwspecial(run, 6);
    else
      cwnewline(run, 1);
  } else if (code == 0xD0) {
    if (sub == 0x0A) {
      if (!cellitems(run, f, false, nullptr)) {
        startcell(run, s, f);
        s->f.tabcell++;
      }
    } else {
      if (s->f.tabcell != 0) {
        s->f.tabcell = 0;
        s->f.tabrow++;
      }
      if (s->f.tabpass == 1 && curlevel(s)) rowadd(run, curlevel(s), s->f.tabrow);
      if (s->f.tabrow != 0) cwrowflush(run);
      if (sub == 0x0D) cwnewline(run, 4);
      if (sub == 0x10) {
        cwnewline(run, 3);
        s->f.pagecount++;
      }
      if (s->f.tabrow != 0) cwrownew(run);
      if (!cellitems(run, f, false, nullptr)) {
        startcell(run, s, f);
        s->f.tabcell++;
      }
    }
  }
  wp6fnfree(run, f);
  return 0;
}


namespace {

// The box being gathered: the writer's description and what places it.
struct boxinfo {
  cwboxdesc d;
  int halign, poskind, vkind, vflags;
  int hpos, hoff, vpos, voff;
  int fill;
};

// The horizontal alignment byte and position (items of the box packet's
// position block and of the override 0x2000).
void hplace(boxinfo* b, unsigned c, unsigned pos) {
  static const int kinds[4] = {2, 0, 1, 0};
  b->poskind = kinds[c & 3];
  b->halign = static_cast<int>(c >> 2 & 7);
  if (b->poskind == 2)
    b->hpos = tw(pos);
  else
    b->hoff = static_cast<int16_t>(pos) * 6 / 5;
}

void vplace(boxinfo* b, unsigned flags, unsigned pos, bool kind) {
  b->vflags = static_cast<int>(flags & 1);
  if (kind && !(flags & 0x10)) {
    unsigned k = flags >> 2 & 7;
    b->vkind = k == 1 ? 3 : k == 2 ? 2 : k == 3 ? 4 : 1;
  }
  if (flags & 1)
    b->voff = static_cast<int16_t>(pos) * 6 / 5;
  else
    b->vpos = tw(pos);
}

// Reads the border and fill styles of a box's packets into its description.
void boxstyles(cvrun* run, boxinfo* b, int number) {
  wp6packet* p = wp6findpkt(run, number);
  if (!p) return;
  if (p->type == 0x44) {
    wp6bordrec r;
    if (wp6readborder(run, number, &r)) {
      for (int i = 0; i < 4; i++) {
        b->d.lines[i] = r.line[i];
        if (r.sp2[i] >= 0) b->d.more[i] = r.sp2[i];
      }
    }
  } else if (p->type == 0x43) {
    int col[6];
    int pct = wp6readfill(run, number, col);
    if (pct >= 0) b->d.val2 = pct;
  }
}

// The box packet: its style packets, a word, nine blocks.
void boxpacket(cvrun* run, boxinfo* b, const wp6packet* p) {
  if (!wp6pushpkt(run, p->offset, p->size)) return;
  int m = wp6readw(run);
  int styles[16], ns = 0;
  for (int i = 0; i < m; i++) {
    int v = wp6readw(run);
    if (v < 0) break;
    if (ns < 16) styles[ns++] = v;
  }
  wp6readw(run);
  for (int blk = 1; blk <= 9; blk++) {
    int size = wp6readw(run);
    if (size < 0) break;
    unsigned char v[16] = {};
    int n = 0;
    for (int used = 2; used < size; used++) {
      int c = cwgetc(run);
      if (c < 0) break;
      if (n < 16) v[n++] = static_cast<unsigned char>(c);
    }
    if (blk == 3) {
      // The block ends early when its size is used up.
      if (n >= 5 && b->d.anchor != 2) hplace(b, v[2], wp6get16(v + 3));
      if (n >= 10) {
        if (b->d.anchor == 0) {
          b->vflags = v[7] & 1;
          b->vkind = 1;
          if (v[7] & 1)
            b->voff = static_cast<int16_t>(wp6get16(v + 8)) * 6 / 5;
          else
            b->vpos = tw(wp6get16(v + 8));
        } else {
          vplace(b, v[7], wp6get16(v + 8), true);
        }
      }
      if (n >= 13) b->d.width = v[10] ? 0 : tw(wp6get16(v + 11));
      if (n >= 16) b->d.height = v[13] ? 0 : tw(wp6get16(v + 14));
    } else if (blk == 4 && n >= 2) {
      unsigned k = v[1] & 0x7F;
      b->d.boxkind = static_cast<int32_t>((v[1] & 0x80) | (k == 3 ? 2 : k == 4 ? 1 : 0));
    } else if (blk == 8 && n >= 2) {
      unsigned c = v[1], lo = c & 0x0F;
      int w = 0;
      if (lo == 0 || lo > 6) w = c > 15 ? 8 : 2;
      else if (lo == 1) w = c > 15 ? 10 : 4;
      else if (lo == 2) w = c > 15 ? 11 : 5;
      else if (lo == 3) w = 0;
      else if (lo == 6) w = 6;
      else w = c > 15 ? 7 : 1;
      b->d.flag = w;
    }
  }
  wp6poppkt(run);
  for (int i = 0; i < ns; i++) boxstyles(run, b, styles[i]);
}

// The override blocks of the box function, from `at`.
void boxoverrides(const unsigned char* f, unsigned at, boxinfo* b) {
  unsigned flags = wp6w(f, at);
  unsigned p = at + 2;
  for (unsigned bit = 0x8000; bit >= 0x0100; bit >>= 1) {
    if (!(flags & bit)) continue;
    unsigned size = wp6w(f, p), items = wp6w(f, p + 2), q = p + 4;
    auto item = [&](unsigned ib, unsigned n) {
      bool on = items & ib;
      unsigned at2 = q;
      if (on) q += n;
      return on ? at2 : 0u;
    };
    if (bit == 0x4000) {
      item(0x8000, 2);
      item(0x4000, 2);
      if (unsigned a = item(0x2000, 5); a && b->d.anchor != 2) hplace(b, wp6b(f, a), wp6w(f, a + 1));
      if (unsigned a = item(0x1000, 3); a && b->d.anchor != 0) vplace(b, wp6b(f, a), wp6w(f, a + 1), true);
      if (unsigned a = item(0x0800, 3)) b->d.width = wp6b(f, a) ? 0 : tw(wp6w(f, a + 1));
      if (unsigned a = item(0x0400, 3)) b->d.height = wp6b(f, a) ? 0 : tw(wp6w(f, a + 1));
    } else if (bit == 0x2000) {
      item(0x8000, 2);
      if (unsigned a = item(0x4000, 1)) {
        unsigned c = wp6b(f, a), k = c & 0x7F;
        b->d.boxkind = static_cast<int32_t>((c & 0x80) | (k == 3 ? 2 : k == 4 ? 1 : 0));
      }
    } else if (bit == 0x0800) {
      item(0x8000, 2);
      if (unsigned a = item(0x4000, 4)) {
        // A nested block: its own size and items.
        unsigned nsize = wp6w(f, a), nitems = wp6w(f, a + 2), r = a + 4;
        if (nitems & 0x8000) r += 2;
        if (nitems & 0x4000) r += 2;
        if (nitems & 0x2000) r += 2;
        if (nitems & 0x1000) {
          static const int order[4] = {1, 3, 0, 2};
          for (int i = 0; i < 4; i++) b->d.dist[order[i]] = static_cast<int16_t>(wp6w(f, r + 2 * i)) * 6 / 5;
          r += 8;
        }
        if (nitems & 0x0800) {
          static const int order[4] = {1, 3, 0, 2};
          for (int i = 0; i < 4; i++) b->d.more[order[i]] = static_cast<int16_t>(wp6w(f, r + 2 * i)) * 6 / 5;
        }
        q = a + (nsize > 4 ? nsize : 4);
      }
    } else if (bit == 0x0200 || bit == 0x0100) {
      item(0x8000, 2);
      if (unsigned a = item(0x4000, 2)) {
        unsigned c = wp6b(f, a + 1), lo = c & 0x0F;
        int w = 2;
        if (lo == 1) w = c > 15 ? 10 : 4;
        else if (lo == 2) w = c > 15 ? 11 : 5;
        else if (lo == 3) w = 0;
        else if (lo == 6) w = 6;
        else if (lo == 4 || lo == 5) w = c > 15 ? 7 : 1;
        else if (lo == 0) w = c > 15 ? 8 : 2;
        b->d.flag = w;
      }
    }
    p += size > 4 ? size : 4;
  }
}

}  // namespace

int wp6boxhandler(cvrun* run) {
  wp6state* s = wp6st(run);
  int sub = s->key[1];
  unsigned char* f = wp6fnread(run);
  if (!f) return 0;
  s = wp6st(run);
  int pk[16], npk = 0;
  unsigned count = wp6b(f, 4) & 0x80 ? wp6b(f, 5) : 0;
  for (unsigned i = 0; i < count && npk < 16; i++) pk[npk++] = static_cast<int>(wp6w(f, 6 + 2 * i));
  boxinfo b{};
  b.d.version = 1;
  b.d.anchor = sub == 0 ? 2 : sub == 1 ? 0 : 1;
  for (int& l : b.d.lines) l = 1;
  wp6packet* box = npk > 0 ? wp6findpkt(run, pk[0]) : nullptr;
  if (!box) {
    s->missing = 1;
    wp6fnfree(run, f);
    return 0;
  }
  boxpacket(run, &b, box);
  // After the prefix list: 2, 14 and 4 bytes, then the override flags.
  boxoverrides(f, 6 + 2 * count + 20, &b);
  s = wp6st(run);
  s->boxname[0] = '\0';
  for (int i = 1; i < npk; i++) {
    wp6packet* p = wp6findpkt(run, pk[i]);
    if (p && (p->type == 0x18 || p->type == 0x40)) {
      wp6boxgeom g{b.hpos, b.vpos, b.d.width, b.d.height};
      wp6boxobj(run, p, &g);
    } else {
      boxstyles(run, &b, pk[i]);
    }
  }
  s = wp6st(run);
  // The box keeps the image name for as long as it is being written.
  char name[sizeof s->boxname];
  std::memcpy(name, s->boxname, sizeof name);
  s->boxname[0] = '\0';
  wp6fmt keep = s->f;
  if (++s->boxdepth == 1) {
    int x = 0, y = 0, w = b.d.width, h = b.d.height;
    if (b.poskind == 2) {
      x = b.hpos;
    } else if (b.d.anchor != 2) {
      if (b.halign == 0 || b.halign == 3) {
        x = s->f.lmar + b.hoff;
      } else if (b.halign == 1) {
        if (w) {
          x = s->f.pagew + b.hoff - s->f.rmar - w;
          b.halign = 4;
          b.poskind = 2;
        }
      } else if (b.halign == 2) {
        x = s->f.pagew + b.hoff - s->f.rmar - s->f.lmar - w / 2;
        b.halign = 4;
        b.poskind = 2;
      }
    }
    if (b.vflags == 0) {
      y = b.vpos;
    } else if (b.d.anchor != 0) {
      switch (b.vkind) {
        case 0: y = s->f.tmar + b.voff; break;
        case 1: y = s->f.hdrlines * 240 + s->f.hdrgap + s->f.tmar + b.voff; break;
        case 3:
          y = s->f.pagel + b.voff - s->f.bmar - s->f.ftrlines * 240 - s->f.ftrgap - h;
          break;
        case 4: y = b.voff; break;
        default: y = 0; break;
      }
    }
    b.d.pos1 = b.vkind;
    b.d.pos2 = b.halign;
    b.d.wrap = b.poskind;
    b.d.off1 = x;
    b.d.off2 = y;
    if (name[0]) {
      b.d.name = name;
      b.d.nameenc = CW_ENCBYTE;
      cvdepfile(run, name, CW_ENCBYTE, 4);
    }
    cwboxbeg(run, &b.d);
  }
  // An image: the objects converted from the box's packets, or a link to
  // the file it names.
  s = wp6st(run);
  if ((b.d.boxkind & 0x7F) == 2) {
    if (s->capture >= 0) {
      cvsseek(run, s->capture, 0);
      for (int c; (c = cvsgetc(run, s->capture)) >= 0;) cvsputc(run, run->out, c);
    } else if (b.d.boxkind & 0x80 || name[0]) {
      cwobjdesc g{};
      g.version = 1;
      g.format = -1;
      g.width = g.dwidth = b.d.width;
      g.height = g.dheight = b.d.height;
      g.v4 = b.d.off1;
      g.v5 = b.d.off2;
      g.slot = -1;
      if (name[0]) cwgraphic(run, &g, name, CW_ENCBYTE);
    }
  }
  if (s->capture >= 0) {
    cvsclose(run, s->capture);
    s->capture = -1;
  }
  for (int i = 1; i < npk; i++) {
    wp6packet* p = wp6findpkt(run, pk[i]);
    if (p && p->type == 0x08 && p->flags & 0x02) wp6embed(run, pk[i], 5, 0);
  }
  s = wp6st(run);
  s->f = keep;
  if (s->boxdepth-- == 1) cwboxend(run);
  wp6fnfree(run, f);
  return 0;
}
