// WordPerfect 6 layout and character-format functions: line, column and
// page ends, page size and margins, text columns, line height and spacing,
// tab sets, justification, indents and aligned regions; fonts, sizes,
// attributes, colours and languages. Each variable-length handler reads its
// function whole and takes its values by offset; a value past the
// function's end reads as 0.
#include <cstring>

#include "filters/readers/wp/wp6.h"

namespace {

int tw(unsigned v) { return static_cast<int>((v & 0xFFFF) * 6 / 5); }

// A header or footer being converted counts its lines.
void countline(wp6state* s) {
  if (s->f.hdron) s->f.hdrlines++;
  if (s->f.ftron) s->f.ftrlines++;
}

void reindent(cvrun* run, wp6state* s) {
  if (s->f.firstind != 0) cwind1stadd(run, s->f.firstind);
}

void colstep(wp6state* s) {
  if (!s->f.colson) return;
  if (++s->f.curcol >= s->f.ncols) s->f.curcol = 0;
}

void margins(cvrun* run, wp6state* s) {
  if (s->f.tabopen) return;
  cwlmargin(run, s->f.lmar + s->f.ladj);
  cwrmargin(run, s->f.rmar + s->f.radj);
}

void hardline(cvrun* run, wp6state* s) {
  if (!s->f.styleclosed) cwnewline(run, 1);
  countline(s);
}

void textcols(cvrun* run, wp6state* s, const unsigned char* f) {
  unsigned type = wp6b(f, 7);
  int n = static_cast<int>(wp6b(f, 12));
  if (n < 2) {
    s->f.colson = 0;
    s->f.curcol = 0;
    cwcolend(run);
    return;
  }
  if (n > 25) n = 25;
  if (s->f.colson) {
    cwcolend(run);
    s->f.curcol = 0;
  }
  int val[49], fixed[49];
  int avail = s->f.pagew - s->f.rmar - s->f.lmar;
  for (int i = 0; i < 2 * n - 1; i++) {
    unsigned at = 13 + 3 * static_cast<unsigned>(i);
    fixed[i] = wp6b(f, at) != 0;
    val[i] = fixed[i] ? tw(wp6w(f, at + 1)) : static_cast<int>(wp6w(f, at + 1));
    if (fixed[i]) avail -= val[i];
  }
  unsigned a16 = static_cast<unsigned>(avail) & 0xFFFF;
  for (int i = 0; i < 2 * n - 1; i++)
    if (!fixed[i]) val[i] = static_cast<int>((static_cast<unsigned>(val[i]) * a16) >> 16);
  cwcoldesc d{};
  d.ncols = n;
  if (type & 0x02) {
    d.opt[0] = 1;
  } else {
    d.opt[1] = type != 0;
  }
  cwcolbegin(run, &d);
  int x = s->f.lmar;
  for (int i = 0; i < n; i++) {
    int w = val[2 * i], g = i + 1 < n ? val[2 * i + 1] : 0;
    cwcoladd(run, x, x + w);
    x += w + g;
  }
  cwcolemit(run);
  s->f.colson = 1;
  s->f.ncols = n;
  s->f.curcol = 0;
}

void tabset(cvrun* run, wp6state* s, const unsigned char* f) {
  int rel = wp6b(f, 7) != 0;
  int moff = tw(wp6w(f, 8));
  unsigned n = wp6w(f, 10);
  unsigned have = (wp6fnsize(f) > 11 ? wp6fnsize(f) - 11 : 0) / 3;
  if (n > have) n = have;  // bounded by the bytes present
  cwtstopclear(run);
  if (rel) {
    cwtstopkind(run, 0);
    const char none16[2] = {0, 0};
    cwtstopadd(run, 0, 0, none16, CW_ENC16);
  } else {
    cwtstopkind(run, 1);
  }
  int count = 0, pos = 0, kind = -1;
  bool leader = false;
  static const int kinds[4] = {0, 1, 2, 3};
  for (unsigned i = 0; i < n && count < 256; i++) {
    unsigned at = 11 + 3 * i;
    unsigned type = f[at];
    int p = tw(wp6w(f, at + 1));
    int repeat = 1;
    if (type & 0x80) {
      repeat = static_cast<int>(type & 0x7F);
    } else {
      pos = p - (rel ? moff : 0);
      kind = (type & 7) < 4 ? static_cast<int>(type & 7) : -1;
      leader = type & 0x10;
      p = 0;
    }
    for (int r = 0; r < repeat && count < 256; r++, count++) {
      pos += p;
      if (kind < 0) continue;
      static const int types[4] = {0, 1, 2, 3};  // L C R D
      const char lead[4] = {static_cast<char>(s->f.leader), 0, 0, 0}, none16[2] = {0, 0};
      cwtstopadd(run, pos, types[kinds[kind]], leader ? lead : none16, CW_ENC16);
    }
  }
}

}  // namespace

int wp6hline(cvrun* run, int kind) {
  wp6state* s = wp6st(run);
  switch (kind) {
    case 0x87: case 0xB9: case 0xCC:
      cwnewline(run, 1);
      countline(s);
      reindent(run, s);
      break;
    case 0xB7: case 0xCA:
      cwnewline(run, 1);
      countline(s);
      cwcolsoft(run);
      cwnewline(run, 4);
      reindent(run, s);
      break;
    case 0xB8: case 0xCB:
      cwnewline(run, 1);
      countline(s);
      cwcolsoft(run);
      reindent(run, s);
      break;
    case 0xB4: case 0xC7:
      cwnewline(run, 1);
      cwnewline(run, 3);
      s->f.pagecount++;
      reindent(run, s);
      break;
    case 0xB5:
      cwcolsoft(run);
      cwnewline(run, 4);
      colstep(s);
      break;
    case 0xB6:
      cwcolsoft(run);
      colstep(s);
      break;
    case 0xC8:
      cwcolbreak(run);
      cwnewline(run, 4);
      colstep(s);
      break;
    case 0xC9:
      cwcolbreak(run);
      colstep(s);
      break;
    case 0xBA: case 0xCD:
      cwnewline(run, 0);
      countline(s);
      cwcolsoft(run);
      cwnewline(run, 4);
      break;
    case 0xBB: case 0xCE:
      cwnewline(run, 0);
      countline(s);
      cwcolsoft(run);
      break;
    case 0xBC: case 0xCF:
      cwnewline(run, 0);
      countline(s);
      break;
    case 0x83: case 0x85:
      // A hyphen that vanishes at a line's end: the line ends without
      // parting the word.
      cwspecial(run, 3);
      cwnewline(run, 5);
      countline(s);
      break;
    case 0x88:
      if (s->f.region == 4 || s->f.region == 8) cwflrend(run);
      if (s->f.region == 2) cwctrend(run);
      s->f.region = 0;
      break;
    case 0x89:
      if (s->f.region == 4) cwflrend(run);
      s->f.region = 0;
      break;
    case 0x90:
      cwr23811(run);
      break;
    default:
      break;
  }
  return 0;
}

// The attribute functions F2 (on) and F3 (off).
int wp6attr(cvrun* run) {
  wp6state* s = wp6st(run);
  int on = s->key[0] == 0xF2;
  int a = cwgetc(run);
  cwgetc(run);
  convyield(run, 2);
  if (a < 0 || a & 0x80) return 0;
  a &= 0x3F;
  if (a <= 4) {
    static const int pct[5] = {200, 150, 120, 80, 60};
    if (on) {
      int size = s->f.cursize * pct[a] / 100;
      cwfontsize(run, size ? size : 240);
      s->f.sizecount++;
    } else {
      if (s->f.sizecount > 0) s->f.sizecount--;
      if (s->f.sizecount == 0) {
        cwfontsize(run, s->f.cursize);
        if (s->f.curfont) {
          if (char* w = cvwfroma(run, s->f.curfont->name)) {
            cwfontname(run, w, CW_ENC16);
            cvfree(run, w);
          }
        }
      }
    }
    return 0;
  }
  if (a <= 15) {
    int ul = s->f.ulmode != 0;
    const int bits[11] = {CW_SUPER, CW_SUB, CW_OUTLINE, CW_ITALIC, CW_SHADOW, CW_REVISION, CW_UNDERLINE,
                          CW_BOLD, CW_STRIKE, CW_UNDERLINE, CW_SMALLCAPS};
    const int kinds[11] = {60, 60, 0, 60, 0, 0, ul ? 3 : 2, 500, 45, ul ? 1 : 0, 0};
    int k = a - 5;
    int kind = on ? kinds[k] : (k == 6 || k == 9 ? kinds[k] : 0);
    cwattr(run, bits[k], on, kind);
    if (on)
      s->f.attrbits |= 1 << k;
    else
      s->f.attrbits &= ~(1 << k);
  } else if (a == 16) {
    cwattr(run, 0x10000, on, 0);
  } else if (a == 17) {
    cwattr(run, 0x8000, on, 0);
  }
  return 0;
}

// The variable-length layout and format functions, by key.
int wp6fnhandler(cvrun* run) {
  wp6state* s = wp6st(run);
  int code = s->key[0], sub = s->key[1];
  unsigned char* f = wp6fnread(run);
  if (!f) return 0;
  s = wp6st(run);
  switch (code << 8 | sub) {
    case 0xD001: case 0xD015: case 0xD016:
      cwnewline(run, 0);
      countline(s);
      break;
    case 0xD014:
      cwnewline(run, 5);
      countline(s);
      break;
    case 0xD002:
      // Outside columns the column's end still ends the line, so that the
      // words on either side stay apart.
      if (s->f.colson) {
        cwcolsoft(run);
        colstep(s);
      } else {
        cwnewline(run, 0);
      }
      break;
    case 0xD003:
      if (s->f.colson) {
        cwcolsoft(run);
        colstep(s);
      } else {
        cwnewline(run, 0);
      }
      cwnewline(run, 4);
      break;
    case 0xD004: case 0xD017: case 0xD018: case 0xD019:
      hardline(run, s);
      reindent(run, s);
      break;
    case 0xD005:
      hardline(run, s);
      cwcolsoft(run);
      break;
    case 0xD006:
      hardline(run, s);
      cwnewline(run, 4);
      break;
    case 0xD007: case 0xD008: case 0xD01A: case 0xD01B: case 0xD01C:
      cwcolbreak(run);
      colstep(s);
      break;
    case 0xD009:
      cwnewline(run, 1);
      cwnewline(run, 3);
      reindent(run, s);
      s->f.pagecount++;
      break;
    case 0xD100:
      s->f.tmar = tw(wp6w(f, 7));
      cwsethdrpos(run, s->f.tmar);
      cwsettmar(run, s->f.hdrlines * 240 + s->f.hdrgap + s->f.tmar);
      break;
    case 0xD101:
      s->f.bmar = tw(wp6w(f, 7));
      cwsetftrpos(run, s->f.bmar);
      cwsetbmar(run, s->f.ftrlines * 240 + s->f.ftrgap + s->f.bmar);
      break;
    case 0xD102:
      cwr3603(run, static_cast<int>(wp6b(f, 7) & 0x3F));
      break;
    case 0xD103: {
      unsigned k = wp6b(f, 17);
      int kind = k == 8 || k == 10 ? 8 : k == 4 || k == 9 ? 4 : k > 10 ? 0 : static_cast<int>(k);
      cwr16915(run, kind);
      break;
    }
    case 0xD104:
      if (wp6b(f, 7) == 1) cwsetpgmode(run, 0);
      break;
    case 0xD105:
      cwsetpgmode(run, wp6b(f, 7) == 1 ? 1 : 2);
      break;
    case 0xD106:
      cwwidow(run, wp6b(f, 7) != 0, 2);
      break;
    case 0xD111:
      s->f.pagel = tw(wp6w(f, 10));
      s->f.pagew = tw(wp6w(f, 12));
      cwsetorient(run, wp6b(f, 15) ? 2 : 1);
      cwsetpage(run, s->f.pagel, s->f.pagew);
      break;
    case 0xD11A:
      s->f.hdrgap = tw(wp6w(f, 7));
      cwsethdrgap(run, s->f.hdrgap);
      break;
    case 0xD11B:
      s->f.ftrgap = tw(wp6w(f, 7));
      cwsetftrgap(run, s->f.ftrgap);
      break;
    case 0xD200:
      s->f.lmar = tw(wp6w(f, 7));
      margins(run, s);
      break;
    case 0xD201:
      s->f.rmar = tw(wp6w(f, 7));
      margins(run, s);
      break;
    case 0xD30C:
      s->f.ladj = tw(wp6w(f, 7));
      margins(run, s);
      break;
    case 0xD30D:
      s->f.radj = tw(wp6w(f, 7));
      margins(run, s);
      break;
    case 0xD202:
      textcols(run, s, f);
      break;
    case 0xD300:
      cwlinehgt(run, tw(wp6w(f, 7)));
      break;
    case 0xD301:
      cwlinespc(run, 1, static_cast<int>(wp6w(f, 7) * 100 / 27306 + wp6w(f, 9) * 240));
      break;
    case 0xD302:
      s->f.pct1 = static_cast<int>(wp6b(f, 7));
      cwparapct(run, s->f.pct1, s->f.pct2);
      break;
    case 0xD303:
      s->f.pct2 = static_cast<int>(wp6b(f, 7));
      cwparapct(run, s->f.pct1, s->f.pct2);
      break;
    case 0xD304:
      tabset(run, s, f);
      break;
    case 0xD305: {
      static const int align[5] = {0, 3, 1, 2, 4};
      unsigned j = wp6b(f, 7);
      s->f.just = static_cast<int>(j);
      if (j < 5) cwalign(run, align[j]);
      break;
    }
    case 0xD306:
      cwattr(run, 0x4000, wp6b(f, 7) & 1, 0);
      break;
    case 0xD30A: {
      unsigned fr = wp6w(f, 7), w = wp6w(f, 9);
      int after = (w > 1 ? static_cast<int>(w) - 1 : 0) * 240;
      if (fr) after += 240 / static_cast<int>(65536 / fr);
      cwparaspc(run, 1, after);
      break;
    }
    case 0xD30B: {
      int v = static_cast<int16_t>(wp6w(f, 7));
      s->f.firstind = v * 6 / 5;
      if (s->f.firstind) cwind1st(run, s->f.firstind);
      break;
    }
    case 0xD313:
      cwr7686(run, s->f.pagecount, static_cast<int>(wp6b(f, 7)));
      break;
    case 0xD314:
      cwr13838(run);
      break;
    case 0xD318:
      if (wp6b(f, 5) == 0) cwtextdir(run, 0, 0, 1);
      break;
    case 0xD402: {
      s->f.ulmode = static_cast<int>(wp6b(f, 7));
      if (s->f.attrbits & 1 << 6) cwattr(run, CW_UNDERLINE, 1, s->f.ulmode ? 3 : 2);
      if (s->f.attrbits & 1 << 9) cwattr(run, CW_UNDERLINE, 1, s->f.ulmode ? 1 : 0);
      break;
    }
    case 0xD410: case 0xD442:
      cwattr(run, 0x20000, 1, 0);
      break;
    case 0xD411: case 0xD443:
      cwattr(run, 0x20000, 0, 0);
      break;
    case 0xD416:
      if (wp6b(f, 7) & 1)
        cwattr(run, 2048, 1, -5);
      else
        cwattr(run, 2048, 0, 0);
      break;
    case 0xD418:
      s->f.color[0] = static_cast<int>(wp6b(f, 7));
      s->f.color[1] = static_cast<int>(wp6b(f, 8));
      s->f.color[2] = static_cast<int>(wp6b(f, 9));
      cwcolor(run, 1, s->f.color[0], s->f.color[1], s->f.color[2]);
      break;
    case 0xD419: {
      cvshade sh{};
      sh.v.pct = static_cast<int32_t>(wp6b(f, 7));
      cwcharshade(run, &sh);
      break;
    }
    case 0xD41A: {
      int32_t pkt = static_cast<int32_t>(wp6w(f, 6)), id = static_cast<int32_t>(wp6w(f, 12));
      wp6font* ft = wp6fontfind(run, &pkt, 2);
      if (!ft) ft = wp6fontfind(run, &id, 4);
      if (ft) {
        s->f.curfont = ft;
        int size = static_cast<int>(wp6w(f, 16) * 2 / 5);
        if (size > 0) s->f.cursize = size;
        wp6fontsize(run);
      }
      break;
    }
    case 0xD41B: {
      int size = static_cast<int>(wp6w(f, 10) * 2 / 5);
      s->f.cursize = size ? size : 240;
      wp6fontsize(run);
      break;
    }
    case 0xD41C: {
      static const struct {
        const char* code;
        int number;
      } langs[] = {{"AF", 0},    {"CA", 1027}, {"CZ", 1029}, {"HR", 1050}, {"DK", 1030}, {"NL", 1043},
                   {"US", 1033}, {"OZ", 3081}, {"CE", 3000}, {"UK", 2057}, {"SU", 1035}, {"CF", 3084},
                   {"FR", 1036}, {"GA", 0},    {"DE", 1031}, {"SD", 2055}, {"GR", 1032}, {"MA", 1038},
                   {"IS", 1039}, {"IT", 1040}, {"JP", 1041}, {"NO", 2068}, {"PL", 1045}, {"BR", 1046},
                   {"PO", 2070}, {"RU", 1049}, {"SL", 1051}, {"SO", 0},    {"ES", 1034}, {"EA", 1034},
                   {"SV", 1053}, {"TR", 1055}, {"YK", 0},    {"??", 0}};
      char c0 = static_cast<char>(wp6b(f, 7)), c1 = static_cast<char>(wp6b(f, 8));
      int lang = 0;
      for (const auto& l : langs)
        if (l.code[0] == c0 && l.code[1] == c1) {
          lang = l.number;
          break;
        }
      cwlang(run, lang);
      break;
    }
    case 0xD41E:
      s->f.leader = static_cast<int>(wp6b(f, 7));
      s->f.leader2 = static_cast<int>(wp6b(f, 8));
      break;
    case 0xD41F:
      cwparaval3(run, static_cast<int>(wp6b(f, 7)));
      break;
    case 0xD428:
      cwr1552(run);
      break;
    default:
      if (code == 0xDE) {
        switch (sub) {
          case 5: cwr35053(run); break;
          case 10: cwr2285(run); break;
          case 13: cwr36077(run); break;
          case 16: cwr28909(run); break;
          case 19: cwr29933(run); break;
          case 20: case 28: cwr1261(run); break;
          case 25: cwr31981(run); break;
          default: break;
        }
      } else if (code == 0xE0) {
        int kind = sub >> 3 & 0x1F;
        if (kind == 0) {
          cwbacktab(run, 0);
        } else if (kind >= 1 && kind <= 4) {
          cwspecial(run, 6);
        } else if (kind == 6 || kind == 7) {
          cwindleftadd(run, 0);
          cwind1stadd(run, 0);
          if (kind == 7) cwindrightadd(run, 0);
        } else if (kind == 8 || kind == 9) {
          cwctrbeg(run);
          s->f.region = 2;
        } else if (kind == 10) {
          cwspecial(run, 7);
        } else if (kind == 16) {
          cwstrdesc d{};
          if (sub & 0x02) {
            d.flags = 1;
            d.text = ".";
            d.enc = CW_ENCBYTE;
          }
          cwflrbeg(run, &d);
          s->f.region = 4;
        } else if (kind == 18) {
          cwspecial(run, 9);
        } else if (kind == 26) {
          cwspecial(run, 8);
        }
      }
      break;
  }
  wp6fnfree(run, f);
  return 0;
}
