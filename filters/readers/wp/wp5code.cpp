// The WordPerfect 5 code table and the handlers of the functions that shape
// lines, pages and characters: the single-byte functions, the fixed-length
// ones (tabs and aligned regions, indents, attributes) and the format groups
// D0 to D3, D8 and D9. Every group handler reads the whole group first and
// takes its fields only within the group's length: a group too short for
// them has been consumed and does nothing.
#include <cstring>

#include "filters/readers/wp/wp5.h"

namespace {

// Lengths in 1/1200 inch as twips.
int tw(unsigned v) { return cvsixfifth(static_cast<int>(v)); }

// ---------------------------------------------------------------- single-byte functions

int special(cvrun* run, int kind) {
  cwspecial(run, kind);
  return 0;
}
int f02(cvrun* run) { return special(run, 4); }
int fa0(cvrun* run) { return special(run, 0); }
int fac(cvrun* run) { return special(run, 3); }
int line(cvrun* run, int kind) {
  cwnewline(run, kind);
  return 0;
}
int f0a(cvrun* run) { return line(run, 1); }
int f0d(cvrun* run) { return line(run, 0); }
int f0b(cvrun* run) {
  if (wp5st(run)->colsactive) {
    cwcolsoft(run);
    return 0;
  }
  return line(run, 4);
}
int f0c(cvrun* run) {
  if (wp5st(run)->colsactive) {
    cwcolbreak(run);
    return 0;
  }
  return line(run, 3);
}
int align(cvrun* run, int a) {
  cwalign(run, a);
  return 0;
}
int f81(cvrun* run) { return align(run, 2); }
int f82(cvrun* run) { return align(run, 0); }
int f83(cvrun* run) {
  wp5state* s = wp5st(run);
  if (s->region == 1) cwctrend(run);
  if (s->region == 2) cwflrend(run);
  s->region = 0;
  return 0;
}
int f86(cvrun* run) {
  cwsetpgmode(run, 0);
  return 0;
}
int f87(cvrun* run) {
  wp5state* s = wp5st(run);
  cwcoldesc d{};
  d.kind = 1;
  d.ncols = s->ncoldef;
  d.opt[0] = s->colkind ? 1 : 0;
  cwcolbegin(run, &d);
  for (int i = 0; i < s->ncoldef && i < WP5_MAXCOLS; i++) cwcoladd(run, s->colleft[i], s->colright[i]);
  cwcolemit(run);
  s->colsactive = 1;
  return 0;
}
int colsoff(cvrun* run) {
  wp5state* s = wp5st(run);
  if (s->colsactive) {
    cwcolend(run);
    s->colsactive = 0;
  }
  return 0;
}
int f88(cvrun* run) {
  cwcolend(run);
  wp5st(run)->colsactive = 0;
  return 0;
}
int f8a(cvrun* run) {
  cwwidow(run, 1, 2);
  return 0;
}
int f8b(cvrun* run) {
  cwwidow(run, 0, 0);
  return 0;
}
int f8c(cvrun* run) {
  cwnewline(run, 1);
  return line(run, 4);
}
int f9a(cvrun* run) {
  cwr23811(run);
  return 0;
}
int f9e(cvrun* run) {
  cwattr(run, 0x4000, 0, 0);
  return 0;
}
int f9f(cvrun* run) {
  cwattr(run, 0x4000, 1, 0);
  return 0;
}
int fa9(cvrun* run) {
  cwputc(run, '-');
  return 0;
}
int faa(cvrun* run) {
  cwputc(run, '-');
  return line(run, 0);
}
int fab(cvrun* run) {
  cwputc(run, '-');
  return line(run, 4);
}
int fad(cvrun* run) {
  cwspecial(run, 3);
  return line(run, 0);
}
int fae(cvrun* run) {
  cwspecial(run, 3);
  return line(run, 4);
}
int faf(cvrun* run) {
  colsoff(run);
  return line(run, 1);
}
int fb0(cvrun* run) { return colsoff(run); }

// ---------------------------------------------------------------- fixed-length functions

// C1: a tab, a back tab or an aligned region, by its flags.
int tabalign(cvrun* run) {
  wp5state* s = wp5st(run);
  int f = cwgetc(run);
  wp5skipn(run, 7);
  if (f < 0) return 0;
  cwstrdesc none{};
  switch (f & 0xC0) {
    case 0:
      cwspecial(run, 6);
      s->region = 0;
      break;
    case 0xC0:
      if (f & 0x20) {
        cwctrbeg(run);
        s->region = 1;
      } else if (f & 8) {
        cwspecial(run, 7);
        s->region = 0;
      } else {
        cwctrbeg2(run);
        s->region = 1;
      }
      break;
    case 0x80:
      cwbacktab(run, 0);
      break;
    default:
      if (f & 0x20) {
        cwflrbeg(run, &none);
        s->region = 2;
      } else if (f & 8) {
        cwflrbeg2(run, &none);
        s->region = 2;
      } else {
        cwspecial(run, 8);
        s->region = 0;
      }
      break;
  }
  return 0;
}

// C2: the first-line and left indents (and the right one by flag) advance.
int indent(cvrun* run) {
  int f = cwgetc(run);
  int amount = wp5readw(run);
  wp5skipn(run, 7);
  if (f < 0) return 0;
  int t = tw(static_cast<unsigned>(amount) & 0xFFFF);
  cwind1stadd(run, t);
  cwindleftadd(run, t);
  if (f & 1) cwindrightadd(run, t);
  return 0;
}

int attron(cvrun* run) {
  int n = cwgetc(run);
  cwgetc(run);
  if (n >= 0) wp5attron(run, n);
  return 0;
}

int attroff(cvrun* run) {
  int n = cwgetc(run);
  cwgetc(run);
  if (n >= 0) wp5attroff(run, n);
  return 0;
}

int fc7(cvrun* run) {
  wp5skipn(run, 6);
  return 0;
}

// ---------------------------------------------------------------- format groups

// Reads the group; null when it cannot hold `need` bytes (it is consumed then).
unsigned char* group(cvrun* run, unsigned need) {
  unsigned char* g = wp5grpread(run);
  if (wp5grpsize(g) < need) {
    wp5grpfree(run, g);
    return nullptr;
  }
  return g;
}

int d0_00(cvrun* run) {
  unsigned char* g = group(run, 8);
  if (!g) return 0;
  cwlinehgt(run, tw(wp5getw(g + 6)));
  wp5grpfree(run, g);
  return 0;
}

int d0_01(cvrun* run) {
  unsigned char* g = group(run, 12);
  if (!g) return 0;
  cwlmargin(run, tw(wp5getw(g + 8)));
  cwrmargin(run, tw(wp5getw(g + 10)));
  wp5grpfree(run, g);
  return 0;
}

int d0_02(cvrun* run) {
  unsigned char* g = group(run, 8);
  if (!g) return 0;
  int a = g[6], b = g[7];
  cwlinespc(run, 1, b * 240 + ((a * 100) >> 7) * 120 / 100);
  wp5grpfree(run, g);
  return 0;
}

int d0_03(cvrun* run) {
  unsigned char* g = group(run, 8);
  if (!g) return 0;
  cwparapct(run, (g[6] * 100) >> 8, (g[7] * 100) >> 8);
  wp5grpfree(run, g);
  return 0;
}

int d0_05(cvrun* run) {
  unsigned char* g = group(run, 12);
  if (!g) return 0;
  cwsettmar(run, tw(wp5getw(g + 8)));
  cwsetbmar(run, tw(wp5getw(g + 10)));
  wp5grpfree(run, g);
  return 0;
}

int d0_06(cvrun* run) {
  unsigned char* g = group(run, 6);
  if (!g) return 0;
  static const int map[5] = {0, 3, 1, 2, 5};
  if (g[5] < 5) cwalign(run, map[g[5]]);
  wp5grpfree(run, g);
  return 0;
}

int d0_07(cvrun* run) {
  unsigned char* g = group(run, 6);
  if (!g) return 0;
  cwr3603(run, g[5] & 0x3F);
  wp5grpfree(run, g);
  return 0;
}

int d0_08(cvrun* run) {
  unsigned char* g = group(run, 8);
  if (!g) return 0;
  if (g[7] <= 8) cwr16915(run, g[7]);
  wp5grpfree(run, g);
  return 0;
}

int d0_0b(cvrun* run) {
  unsigned char* g = group(run, 194);
  if (!g) return 0;
  cwsetorient(run, g[193] ? 2 : 1);
  cwsetpage(run, tw(wp5getw(g + 99)), tw(wp5getw(g + 101)));
  wp5grpfree(run, g);
  return 0;
}

int d1_00(cvrun* run) {
  unsigned char* g = group(run, 10);
  if (!g) return 0;
  cwcolor(run, 1, g[7], g[8], g[9]);
  wp5grpfree(run, g);
  return 0;
}

// D2/01: the column definition, used when columns are turned on.
int coldef(cvrun* run) {
  wp5state* s = wp5st(run);
  unsigned char* g = group(run, 102);
  if (!g) return 0;
  unsigned size = wp5grpsize(g);
  int b = g[101];
  s->colkind = b >= 64 ? 1 : 0;
  int n = b & 0x1F;
  s->ncoldef = 0;
  for (int i = 0; i < n && 106u + 4u * i <= size; i++) {
    s->colleft[i] = tw(wp5getw(g + 102 + 4 * i));
    s->colright[i] = tw(wp5getw(g + 104 + 4 * i));
    s->ncoldef = i + 1;
  }
  wp5grpfree(run, g);
  return 0;
}

// D2/02: eight outline levels.
int outline(cvrun* run) {
  wp5state* s = wp5st(run);
  unsigned char* g = group(run, s->version ? 105 : 68);
  if (!g) return 0;
  int mask = s->version ? g[104] : 0;
  int fmt = 0;
  for (int i = 0; i < 8; i++) {
    const unsigned char* l = g + 44 + 3 * i;
    switch (l[1]) {
      case '1': fmt = 0; break;
      case 'a': fmt = 2; break;
      case 'A': fmt = 3; break;
      case 'i': fmt = 4; break;
      case 'I': fmt = 5; break;
      default: break;  // the format of the level before
    }
    char pre[2] = {static_cast<char>(l[0]), 0}, suf[2] = {static_cast<char>(l[2]), 0};
    char* wpre = l[0] && l[0] != ' ' ? cvwfroma(run, pre) : nullptr;
    char* wsuf = l[0] && l[2] && l[2] != ' ' ? cvwfroma(run, suf) : nullptr;
    cwlistdesc d{};
    d.version = 1;
    d.level = i + 1;
    d.start = 1;
    d.fmt = l[0] ? fmt : 6;
    d.higher = mask >> i & 1;
    d.before = wpre;
    d.after = wsuf;
    d.enc = CW_ENC16;
    cwlistdef(run, &d);
    if (wpre) cvfree(run, wpre);
    if (wsuf) cvfree(run, wsuf);
  }
  wp5grpfree(run, g);
  return 0;
}

int d3_00(cvrun* run) {
  wp5grpfree(run, wp5grpread(run));
  return 0;
}

int d3_01(cvrun* run) {
  unsigned char* g = group(run, 6);
  if (!g) return 0;
  wp5st(run)->ulmode = g[5] & 3 ? 1 : 0;
  wp5grpfree(run, g);
  return 0;
}

int pagenum(cvrun* run) {
  wp5state* s = wp5st(run);
  unsigned char* g = group(run, 10);
  if (!g) return 0;
  unsigned w = wp5getw(g + 6);
  cwsetpgnum(run, static_cast<int>(w & 0x7FFF));
  if (s->version)
    cwsetpgfmt(run, g[9] ? 5 : 0);
  else
    cwsetpgfmt(run, w & 0x8000 ? 5 : 0);
  wp5grpfree(run, g);
  return 0;
}

int linenum(cvrun* run) {
  unsigned char* g = group(run, 14);
  if (!g) return 0;
  int f = g[9];
  unsigned n = wp5getw(g + 12);
  cwlinedesc d{};
  d.mode = 1;
  d.bit0 = f >> 7 & 1;
  d.bit1 = f >> 6 & 1;
  d.bit2 = f >> 5 & 1;
  d.low = static_cast<int>(n & 0x1F);
  d.start = static_cast<int>(n);
  d.interval = tw(wp5getw(g + 10));
  cwlinenum(run, &d);
  wp5grpfree(run, g);
  return 0;
}

int d3_07(cvrun* run) {
  unsigned char* g = group(run, 7);
  if (!g) return 0;
  cwr7686(run, 1, g[6] & 1);
  wp5grpfree(run, g);
  return 0;
}

int lang(cvrun* run) {
  static const struct {
    char a, b;
    int lang;
  } langs[] = {{'C', 'A', 1027}, {'H', 'R', 1050}, {'C', 'Z', 1029}, {'D', 'K', 1030}, {'N', 'L', 1043},
               {'O', 'Z', 3081}, {'U', 'K', 2057}, {'E', 'S', 1034}, {'U', 'S', 1033}, {'S', 'U', 1035},
               {'C', 'F', 3084}, {'F', 'R', 1036}, {'D', 'E', 1031}, {'S', 'D', 2055}, {'G', 'R', 1032},
               {'M', 'A', 1038}, {'I', 'S', 1039}, {'I', 'T', 1040}, {'N', 'O', 1044}, {'B', 'R', 1046},
               {'P', 'O', 2070}, {'R', 'U', 1049}, {'S', 'L', 1051}, {'S', 'V', 1053}};
  unsigned char* g = group(run, 8);
  if (!g) return 0;
  for (const auto& l : langs)
    if (g[6] == static_cast<unsigned char>(l.a) && g[7] == static_cast<unsigned char>(l.b)) cwlang(run, l.lang);
  wp5grpfree(run, g);
  return 0;
}

// D8/00: the date format as a list of codes ended by -1.
int datefmt(cvrun* run) {
  unsigned char* g = group(run, 4);
  if (!g) return 0;
  unsigned end = wp5getw(g + 2);  // the closing length word's offset
  if (end > wp5grpsize(g)) end = wp5grpsize(g);
  auto* codes = static_cast<int*>(cvalloc(run, sizeof(int) * (end + 1)));
  if (codes) {
    int n = 0;
    for (unsigned i = 4; i < end && g[i]; i++) {
      int c = g[i];
      if (c == '$' || c == '%') continue;
      codes[n++] = c >= '0' && c <= '9' ? 256 + (c - '0') : c;
    }
    codes[n] = -1;
    cwdatefmt(run, codes);
    cvfree(run, codes);
  }
  wp5grpfree(run, g);
  return 0;
}

int d8_01(cvrun* run) {
  unsigned char* g = group(run, 5);
  if (!g) return 0;
  cwlistnum(run, (g[4] & 0x7F) + 1);
  wp5grpfree(run, g);
  return 0;
}

int d9_01(cvrun* run) {
  unsigned char* g = group(run, 5);
  if (!g) return 0;
  cwparaval3(run, g[4]);
  wp5grpfree(run, g);
  return 0;
}

int d9_03(cvrun* run) {
  unsigned char* g = group(run, 6);
  if (!g) return 0;
  if (g[5])
    cwattr(run, 2048, 1, -5);
  else
    cwattr(run, 2048, 0, 0);
  wp5grpfree(run, g);
  return 0;
}

int d9_05(cvrun* run) {
  unsigned char* g = group(run, 12);
  if (!g) return 0;
  cwlinespc(run, 3, tw(wp5getw(g + 8)));
  cwparaspc(run, 1, tw(wp5getw(g + 10)));
  wp5grpfree(run, g);
  return 0;
}

int skip(cvrun* run) { return wp5skip(run); }

constexpr uint32_t S = WP_SINGLE, F = WP_FIXED, V = WP_VARIABLE;

}  // namespace

// ---------------------------------------------------------------- attributes

namespace {

const int ksizes[5] = {200, 150, 120, 80, 60};

// The attribute bit and its on and off values of numbers 5 to 15.
struct attrrow {
  int bit, on, off;
};

attrrow attrof(const wp5state* s, int n) {
  switch (n) {
    case 5: return {64, 60, 60};
    case 6: return {128, 60, 60};
    case 7: return {256, 0, 0};
    case 8: return {4, 45, 0};
    case 9: return {1024, 0, 0};
    case 10: return {512, 0, 0};
    case 11: return {2, s->ulmode ? 3 : 2, s->ulmode ? 3 : 2};
    case 12: return {1, 500, 0};
    case 13: return {8, 45, 0};
    case 14: return {2, s->ulmode ? 1 : 0, s->ulmode ? 1 : 0};
    default: return {32, 0, 0};
  }
}

}  // namespace

void wp5attron(cvrun* run, int n) {
  wp5state* s = wp5st(run);
  if (n < 0 || n > 15) return;
  if (n < 5) {
    cwfontsize(run, s->basesize * ksizes[n] / 100);
    return;
  }
  attrrow a = attrof(s, n);
  cwattr(run, a.bit, 1, a.on);
}

void wp5attroff(cvrun* run, int n) {
  wp5state* s = wp5st(run);
  if (n < 0 || n > 15) return;
  if (n < 5) {
    cwfontsize(run, s->basesize);
    return;
  }
  attrrow a = attrof(s, n);
  cwattr(run, a.bit, 0, a.off);
}

void wp5maskon(cvrun* run, unsigned mask) {
  wp5state* s = wp5st(run);
  for (int k = 0; k < 16; k++) {
    if (!(mask >> k & 1)) continue;
    if (k < 5) {
      cwfontsize(run, s->basesize * ksizes[k] / 100);
    } else {
      attrrow a = attrof(s, k);
      cwattr(run, a.bit, 1, k == 8 ? 60 : a.on);
    }
  }
}

void wp5maskoff(cvrun* run, unsigned mask) {
  wp5state* s = wp5st(run);
  for (int k = 0; k < 16; k++) {
    if (!(mask >> k & 1)) continue;
    if (k < 5) {
      cwfontsize(run, s->basesize);
    } else {
      attrrow a = attrof(s, k);
      cwattr(run, a.bit, 0, k == 5 || k == 6 ? 0 : a.off);
    }
  }
}

#define R1(c, h) {c, 0, S, 0, h}
#define R2(c, n, h) {c, 0, F, n, h}
#define R4(c, s, h) {c, s, V, 0, h}

// Kept in the order written; every run sorts it before the first dispatch.
wpcoderow wp5codetab[110] = {
    // Single-byte functions.
    R1(0x02, f02), R1(0x0A, f0a), R1(0x0B, f0b), R1(0x0C, f0c), R1(0x0D, f0d), R1(0x81, f81), R1(0x82, f82),
    R1(0x83, f83), R1(0x86, f86), R1(0x87, f87), R1(0x88, f88), R1(0x8A, f8a), R1(0x8B, f8b), R1(0x8C, f8c),
    R1(0x8F, f83), R1(0x9A, f9a), R1(0x9E, f9e), R1(0x9F, f9f), R1(0xA0, fa0), R1(0xA9, fa9), R1(0xAA, faa),
    R1(0xAB, fab), R1(0xAC, fac), R1(0xAD, fad), R1(0xAE, fae), R1(0xAF, faf), R1(0xB0, fb0),
    // Fixed-length functions, by their whole length.
    R2(0xC0, 4, wp5extchar), R2(0xC1, 9, tabalign), R2(0xC2, 11, indent), R2(0xC3, 4, attron),
    R2(0xC4, 3, attroff), R2(0xC5, 5, skip), R2(0xC6, 6, skip), R2(0xC7, 7, fc7), R2(0xC8, 4, skip),
    R2(0xC9, 5, skip), R2(0xCA, 6, skip), R2(0xCB, 6, skip), R2(0xCC, 8, skip), R2(0xCD, 10, skip),
    R2(0xCE, 10, skip), R2(0xCF, 12, skip),
    // Line and page format.
    R4(0xD0, 0x00, d0_00), R4(0xD0, 0x01, d0_01), R4(0xD0, 0x02, d0_02), R4(0xD0, 0x03, d0_03),
    R4(0xD0, 0x04, wp5tabset), R4(0xD0, 0x05, d0_05), R4(0xD0, 0x06, d0_06), R4(0xD0, 0x07, d0_07),
    R4(0xD0, 0x08, d0_08), R4(0xD0, 0x0B, d0_0b),
    // Colour and font.
    R4(0xD1, 0x00, d1_00), R4(0xD1, 0x01, wp5fontchg),
    // Definitions: columns, outline, box options, tables.
    R4(0xD2, 0x01, coldef), R4(0xD2, 0x02, outline), R4(0xD2, 0x05, wp5boxopts), R4(0xD2, 0x06, wp5boxopts),
    R4(0xD2, 0x07, wp5boxopts), R4(0xD2, 0x08, wp5boxopts), R4(0xD2, 0x09, wp5boxopts), R4(0xD2, 0x0B, wp5tabdef),
    // Numbering and page format.
    R4(0xD3, 0x00, d3_00), R4(0xD3, 0x01, d3_01), R4(0xD3, 0x02, wp5notenum), R4(0xD3, 0x03, wp5notenum),
    R4(0xD3, 0x04, pagenum), R4(0xD3, 0x05, linenum), R4(0xD3, 0x07, d3_07), R4(0xD3, 0x11, lang),
    R4(0xD4, 0x00, skip), R4(0xD4, 0x04, wp5inltext),
    // Headers and footers, notes.
    R4(0xD5, 0x00, wp5hdrftr), R4(0xD5, 0x01, wp5hdrftr), R4(0xD5, 0x02, wp5hdrftr), R4(0xD5, 0x03, wp5hdrftr),
    R4(0xD6, 0x00, wp5footnote), R4(0xD6, 0x01, wp5endnote),
    // Fields and marks.
    R4(0xD7, 0x00, wp5field), R4(0xD7, 0x01, wp5field), R4(0xD7, 0x03, wp5field), R4(0xD7, 0x04, wp5field),
    R4(0xD7, 0x05, wp5field), R4(0xD7, 0x07, wp5field), R4(0xD7, 0x08, wp5field), R4(0xD7, 0x09, wp5field),
    R4(0xD7, 0x0A, wp5field), R4(0xD7, 0x0B, wp5field),
    R4(0xD8, 0x00, datefmt), R4(0xD8, 0x01, d8_01),
    R4(0xD9, 0x01, d9_01), R4(0xD9, 0x02, wp5comment), R4(0xD9, 0x03, d9_03), R4(0xD9, 0x05, d9_05),
    // Boxes, styles, tables.
    R4(0xDA, 0x00, wp5box), R4(0xDA, 0x01, wp5box), R4(0xDA, 0x02, wp5box), R4(0xDA, 0x03, wp5box),
    R4(0xDA, 0x04, wp5box),
    R4(0xDB, 0x00, wp5styleonoff), R4(0xDB, 0x01, wp5styleonoff), R4(0xDB, 0x02, wp5styleonoff),
    R4(0xDB, 0x03, wp5styleonoff),
    R4(0xDC, 0x00, wp5tabcell), R4(0xDC, 0x01, wp5tabrow), R4(0xDC, 0x02, wp5tabend),
    R4(0xDD, 0x01, wp5tabrow), R4(0xDD, 0x02, wp5tabendpg), R4(0xDD, 0x03, wp5tabrow),
};

#undef R1
#undef R2
#undef R4

// ---------------------------------------------------------------- tab set and font change

int wp5tabset(cvrun* run) {
  wp5state* s = wp5st(run);
  unsigned char* g = group(run, s->version ? 208 : 204);
  if (!g) return 0;
  s->ntabs = 0;
  for (int i = 0; i < 40; i++) {
    unsigned w = wp5getw(g + 104 + 2 * i);
    if (w == 0xFFFF) continue;
    s->tabpos[s->ntabs++] = tw(w);
  }
  for (int j = 0; j < 40; j++) {
    int b = g[184 + j / 2];
    int nib = j % 2 == 0 ? b >> 4 : b & 0xF;
    s->tabkind[j] = "LCRD"[nib & 3];
    s->tableader[j] = nib & 4 ? '.' : 0;
  }
  if (s->version) {
    unsigned m = wp5getw(g + 206);
    if (m == 0xFFFF) {
      s->tabmode = 0;
    } else {
      s->tabmode = 1;
      for (int i = 0; i < s->ntabs; i++) s->tabpos[i] -= tw(m);
    }
  }
  wp5grpfree(run, g);
  cwtstopclear(run);
  cwtstopkind(run, s->tabmode == 1 ? 0 : 1);
  for (int i = 0; i < s->ntabs; i++) {
    int type = static_cast<int>(std::strchr("LCRD", s->tabkind[i]) - "LCRD");
    char leader[2] = {s->tableader[i], 0};
    cwtstopadd(run, s->tabpos[i], type, s->tableader[i] ? leader : nullptr, CW_ENCBYTE);
  }
  return 0;
}

wp5font* wp5fontfind(cvrun* run, const unsigned char* desc, int number) {
  wp5state* s = wp5st(run);
  int i = 0;
  for (wp5font* f = s->fonts; f; f = f->next, i++) {
    if (std::memcmp(f->desc, desc, 24) == 0) return f;
    if (number != 0 && i == number) return f;
  }
  return nullptr;
}

int wp5fontchg(cvrun* run) {
  wp5state* s = wp5st(run);
  unsigned char* g = group(run, s->version ? 34 : 30);
  if (!g) return 0;
  if (wp5font* f = wp5fontfind(run, g + 5, g[29])) {
    if (char* w = cvwfroma(run, f->name)) {
      cwfontname(run, w, CW_ENC16);
      cvfree(run, w);
    }
    if (s->version) {
      int size = tw(wp5getw(g + 32)) / 3;
      cwfontsize(run, size);
      s->basesize = size;
    }
  }
  wp5grpfree(run, g);
  return 0;
}
