// WordPerfect 6 tables and graphics boxes: the table definition with its
// columns, the rows, cells and ends; the box function with its box packet,
// its override blocks and its contents (box texts converted through the
// reader's own text loop).
#include <cstring>

#include "filters/readers/wp/wp6.h"

namespace {

constexpr int kmaxcols = 50;

int tw(unsigned v) { return static_cast<int>((v & 0xFFFF) * 6 / 5); }

// Where a function's data begin: after its prefix packet list.
unsigned database(const unsigned char* f) {
  return wp6b(f, 4) & 0x80 ? 6 + 2 * wp6b(f, 5) : 5;
}

// Walks the attribute items of a cell; with apply, writes them. True when
// the cell is covered by a neighbour's span.
bool cellitems(cvrun* run, const unsigned char* f, bool apply) {
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
        if ((cs & 0x7F) > 1) cwcellcspan(run, static_cast<int>(cs & 0x7F));
        if ((rs & 0x7F) > 1) cwcellrspan(run, static_cast<int>(rs & 0x7F));
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
    } else if (apply && type == 0x8B) {
      unsigned sides = wp6b(f, p + 1);
      if (sides & 4) cwcellbline(run, 0, 0);
      if (sides & 1) cwcellbline(run, 1, 0);
      if (sides & 8) cwcellbline(run, 2, 0);
      if (sides & 2) cwcellbline(run, 3, 0);
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

void startcell(cvrun* run, wp6state* s, const unsigned char* f) {
  cwcellnext(run);
  for (int side = 0; side < 4; side++) cwcellbline(run, side, s->f.tabline);
  int c = s->f.tabcell < kmaxcols ? s->f.tabcell : kmaxcols - 1;
  cwcellhalign(run, s->f.colalign[c]);
  if (hasitems(f)) {
    cellitems(run, f, true);
  } else {
    cwcellcspan(run, 1);
    cwcellrspan(run, 1);
    cwcellvpos(run, 0);
  }
}

void tabdef(cvrun* run, wp6state* s, const unsigned char* f) {
  s->f.tabcols = 0;
  s->f.tabcell = s->f.tabrow = 0;
  s->f.tabline = 0;
  unsigned n = wp6b(f, 4) & 0x80 ? wp6b(f, 5) : 0;
  unsigned p = n ? 6 + 2 * n : 4;
  s->f.tabalign = static_cast<int>(wp6b(f, p + 3) & 7);
  s->f.tableft = wp6b(f, p + 3) & 0x04 ? tw(wp6w(f, p + 4)) : s->f.lmar;
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

void tabbegin(cvrun* run, wp6state* s) {
  cwtabdesc d{};
  d.version = 3;
  d.ncols = s->f.tabcols;
  static const int al[5] = {0, 3, 1, 2, 4};
  d.align = s->f.tabalign >= 1 && s->f.tabalign <= 4 ? al[s->f.tabalign] : 0;
  d.mar[0] = d.mar[1] = 120;
  cwtabbeg(run, &d);
  for (int i = 0; i < s->f.tabcols; i++) cwcelladd(run, s->f.colleft[i], s->f.colright[i]);
  cwtabstart(run);
  s->f.tabrow = s->f.tabcell = 0;
  s->f.tabopen = 1;
  s->f.tabdepth++;
}

}  // namespace

int wp6tabend(cvrun* run) {
  wp6state* s = wp6st(run);
  int code = s->key[0], sub = s->key[1];
  if (code == 0xD0) {
    unsigned char* f = wp6fnread(run);
    if (!f) return 0;
    wp6fnfree(run, f);
    s = wp6st(run);
  }
  if (s->f.tabdepth > 0) {
    cwtabend(run);
    s->f.tabdepth--;
  } else {
    cwnewline(run, 1);  // the end of a table never begun still parts its text
  }
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
  s->f.tabcell = 0;
  s->f.tabopen = s->f.tabdepth > 0;
  return 0;
}

int wp6tabhandler(cvrun* run) {
  wp6state* s = wp6st(run);
  int code = s->key[0], sub = s->key[1];
  unsigned char* f = wp6fnread(run);
  if (!f) return 0;
  s = wp6st(run);
  if (code == 0xD4) {
    if (sub == 0x2A)
      tabdef(run, s, f);
    else if (sub == 0x2C)
      tabcol(s, f);
    else if (sub == 0x2B)
      tabbegin(run, s);
  } else if (code == 0xD0 && s->f.tabdepth == 0) {
    // Rows and cells without a table keep their texts apart.
    if (sub == 0x0A)
      cwspecial(run, 6);
    else
      cwnewline(run, 1);
  } else if (code == 0xD0) {
    if (sub == 0x0A) {
      if (!cellitems(run, f, false)) {
        startcell(run, s, f);
        s->f.tabcell++;
      }
    } else {
      if (s->f.tabcell != 0) {
        s->f.tabcell = 0;
        s->f.tabrow++;
      }
      if (s->f.tabrow != 0) cwrowflush(run);
      if (sub == 0x0D) cwnewline(run, 4);
      if (sub == 0x10) {
        cwnewline(run, 3);
        s->f.pagecount++;
      }
      if (s->f.tabrow != 0) cwrownew(run);
      if (!cellitems(run, f, false)) {
        startcell(run, s, f);
        s->f.tabcell++;
      }
    }
  }
  wp6fnfree(run, f);
  return 0;
}

int wp6boxhandler(cvrun* run) {
  wp6state* s = wp6st(run);
  int sub = s->key[1];
  unsigned char* f = wp6fnread(run);
  if (!f) return 0;
  s = wp6st(run);
  int pk[16], npk = 0;
  if (wp6b(f, 4) & 0x80)
    for (unsigned i = 0; i < wp6b(f, 5) && npk < 16; i++) pk[npk++] = static_cast<int>(wp6w(f, 6 + 2 * i));
  cwboxdesc d{};
  d.version = 1;
  d.anchor = sub == 0 ? 2 : sub == 1 ? 0 : 1;
  for (int& l : d.lines) l = 1;
  // The box packet: its style packets, a word, then nine blocks of which
  // the third places the box and the fourth names its contents.
  wp6packet* box = npk > 0 ? wp6findpkt(run, pk[0]) : nullptr;
  if (!box) {
    s->missing = 1;
    wp6fnfree(run, f);
    return 0;
  }
  if (wp6pushpkt(run, box->offset, box->size)) {
    unsigned m = static_cast<unsigned>(wp6readw(run) & 0xFFFF);
    for (unsigned i = 0; i < m; i++)
      if (wp6readw(run) < 0) break;
    wp6readw(run);
    for (int blk = 1; blk <= 9; blk++) {
      int size = wp6readw(run);
      if (size < 0) break;
      unsigned char b[16] = {};
      int used = 2;
      for (int i = 0; used < size; i++, used++) {
        int c = cwgetc(run);
        if (c < 0) break;
        if (i < 16) b[i] = static_cast<unsigned char>(c);
      }
      if (blk == 3 && size >= 2 + 14) {
        d.width = b[9] ? 0 : tw(wp6get16(b + 10));
        d.height = b[12] ? 0 : tw(wp6get16(b + 13));
      } else if (blk == 4 && size >= 4) {
        unsigned k = b[1] & 0x7F;
        d.boxkind = static_cast<int32_t>((b[1] & 0x80) | (k == 3 ? 2 : k == 4 ? 1 : 0));
      }
    }
    wp6poppkt(run);
  }
  s = wp6st(run);
  wp6fmt keep = s->f;
  if (++s->boxdepth == 1) cwboxbeg(run, &d);
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
