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
  for (int i = 1; i < npk; i++) boxstyles(run, &b, pk[i]);
  s = wp6st(run);
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
    cwboxbeg(run, &b.d);
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
