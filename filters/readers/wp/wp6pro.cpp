// The WordPerfect 6 prologue: the summary, the font table, the initial font
// and size, the page and paragraph defaults and the style definitions with
// their contents, all handed to the writer before the body.
#include <cstdio>
#include <cstring>

#include "filters/readers/wp/wp6.h"

namespace {

struct builtin {
  int number;
  const char* name;
};

// Names of the built-in styles by their number, built once (a
// function-local static is initialised once, whatever the threads).
struct builtins {
  int n = 0;
  int number[110];
  char name[110][24];
  builtins() {
    static const struct {
      int number;
      const char* name;
    } fixed[] = {
        {0, "Normal"}, {16, "Ftn#inDoc"}, {17, "Endn#inDoc"}, {18, "FigureNum"}, {19, "TableBoxNum"},
        {20, "TextBoxNum"}, {21, "UserBoxNum"}, {22, "EquationNum"}, {23, "Hypertext"}, {29, "Index1"},
        {30, "Index2"}, {31, "List"}, {32, "TableofAuth"}, {33, "DocStyle"}, {34, "BoxText"}, {35, "Caption"},
        {36, "Footnote"}, {37, "Endnote"}, {38, "Comment"}, {39, "HeaderA"}, {40, "HeaderB"}, {41, "FooterA"},
        {42, "FooterB"}, {43, "WatermarkA"}, {44, "WatermarkB"}, {45, "ParagraphOutlnStyle"},
        {46, "OutlineStyle"}, {47, "LegalOutlnStyle"}, {48, "BulletsOutlnStyle"}, {49, "NumberList"},
        {50, "Legal_2OutlnStyle"}, {51, "NumbersOutlnStyle"}, {76, "Monospaced"}, {77, "Custom HTML"},
        {78, "Preformatted"}, {79, "Address"}, {80, "QuotationsOutln"}, {81, "DefinitionsOutln"},
        {120, "HModOutlnStyle"}, {121, "HTradOutlnStyle"}, {122, "HTradQOutlnStyle"}, {125, "HijaiOutlnStyle"},
        {126, "AbjadiOutlnStyle"}};
    for (const auto& b : fixed) add(b.number, b.name, 0);
    static const struct {
      int first, count;
      const char* stem;
    } families[] = {{24, 5, "TableofCont"}, {52, 8, "Level "},     {60, 8, "Legal "},   {68, 8, "Heading "},
                    {82, 8, "Quotation "},  {90, 8, "Definition "}, {98, 15, "Bullet "}};
    for (const auto& f : families)
      for (int i = 0; i < f.count; i++) add(f.first + i, f.stem, i + 1);
  }
  void add(int number_, const char* stem, int k) {
    number[n] = number_;
    if (k)
      std::snprintf(name[n], sizeof name[n], "%.12s%d", stem, k % 100);
    else
      std::snprintf(name[n], sizeof name[n], "%s", stem);
    n++;
  }
};

const builtins& builtintab() {
  static const builtins b;
  return b;
}

// Reads n bytes of 16-bit characters into a 16-bit string of at most cap
// characters (the zero included), mapped to their 16-bit values where a
// character set names them.
char* getstr(cvrun* run, unsigned n, unsigned cap) {
  auto* w = static_cast<char*>(cvalloc(run, 2 * cap + 2));
  unsigned used = 0, got = 0;
  bool ended = false;
  for (; used + 2 <= n; used += 2) {
    int c = cwgetc(run), set = cwgetc(run);
    if (set < 0) {
      used = n;
      break;
    }
    if (ended || !w) continue;
    if (c == 0 && set == 0) {
      ended = true;
      continue;
    }
    if (got + 1 >= cap || got >= 511) continue;
    int hi = 0, lo = c;
    int cp, b;
    if (set != 0 && wp6charcp(run, set, c, &cp, &b) == 0) {
      int h, l;
      if (cvucsmap(run, cp, b, &h, &l) == 0 && h >= 0) {
        hi = h;
        lo = l;
      }
    } else if (set != 0) {
      hi = set;
    }
    w[2 * got] = static_cast<char>(lo);
    w[2 * got + 1] = static_cast<char>(hi);
    got++;
  }
  for (; used < n; used++)
    if (cwgetc(run) < 0) break;
  convyield(run, static_cast<int>(n));
  if (!w) return nullptr;
  w[2 * got] = w[2 * got + 1] = 0;
  return w;
}

// Writes n bytes of 16-bit characters as text into a scratch stream.
void putstr(cvrun* run, int stream, unsigned n) {
  cvpushout(run, stream);
  unsigned used = 0;
  for (; used + 2 <= n; used += 2) {
    int c = cwgetc(run), set = cwgetc(run);
    if (set < 0) {
      used = n;
      break;
    }
    if (c == 0 && set == 0) {
      used += 2;
      break;
    }
    if (set == 0) {
      cwputraw(run, c);
    } else if (set == 249 && c == 10) {
      cwbreak(run, 0);
    } else {
      int cp, b;
      if (wp6charcp(run, set, c, &cp, &b) == 0) {
        cwcodepage(run, cp);
        cwputraw(run, b);
        cwcodepage(run, 819);
      }
    }
  }
  cvpopout(run);
  for (; used < n; used++)
    if (cwgetc(run) < 0) break;
}

int readw(cvrun* run) {
  int v = wp6readw(run);
  return v < 0 ? 0 : v;
}

void summary(cvrun* run) {
  wp6state* s = wp6st(run);
  if (s->sumsize == 0 || !wp6pushpkt(run, s->sumoff, s->sumsize)) return;
  for (int e = 0; e < 100; e++) {
    int len = wp6readw(run);
    if (len <= 0 || len >= 0x8000) break;  // a negative or zero length ends the list
    int tag = readw(run);
    readw(run);
    unsigned left = len > 6 ? static_cast<unsigned>(len - 6) : 0;
    // The entry's name up to and including its zero character.
    while (left >= 2) {
      int c = cwgetc(run), set = cwgetc(run);
      left -= 2;
      if (set < 0 || (c == 0 && set == 0)) break;
    }
    int index = -1, cap = 0;
    switch (tag) {
      case 2: index = 5; cap = 256; break;
      case 5: index = 1; cap = 256; break;
      case 9: index = 10; cap = 128; break;
      case 13: index = 4; cap = 1024; break;
      case 17: index = 8; cap = 128; break;
      case 19: index = 9; cap = 128; break;
      case 24: index = -2; cap = 128; break;
      case 26: index = 3; cap = 256; break;
      case 35: index = 11; cap = 128; break;
      case 46: index = 0; cap = 256; break;
      case 48: index = 2; cap = 256; break;
      case 51: index = 19; cap = 128; break;
      default: break;
    }
    if (tag == 14 || tag == 37) {
      if (left >= 10) {
        char* d = wp6datestr(run);
        left -= 10;
        if (d) {
          cwsummary(run, tag == 14 ? 6 : 7, d, CW_ENC16);
          cvfree(run, d);
        }
      }
    } else if (tag == 1) {
      int h = cvsscratch(run, 128);
      if (h >= 0) {
        putstr(run, h, left);
        left = 0;
        cwsumitem it{};
        it.index = 21;
        it.enc = -1;
        it.stream = h;
        cwsummaryrec(run, &it);
      }
    } else if (cap > 0) {
      char* w = getstr(run, left, static_cast<unsigned>(cap));
      left = 0;
      if (w && index >= 0) {
        cwsummary(run, index, w, CW_ENC16);
        if (tag == 17) cwsummary(run, 20, w, CW_ENC16);
      }
      if (w) cvfree(run, w);
    }
    for (; left > 0; left--)
      if (cwgetc(run) < 0) break;
  }
  wp6poppkt(run);
}

void fontdefs(cvrun* run) {
  wp6state* s = wp6st(run);
  if (!s->fonts) {
    char buf[sizeof(wp6font) + 8];
    auto* f = reinterpret_cast<wp6font*>(buf);
    std::memset(buf, 0, sizeof buf);
    std::strcpy(f->name, "Courier");
    wp6fontadd(run, f, 32)->packet = -1;
  }
  int i = 0;
  for (wp6font* f = s->fonts; f; f = f->next) {
    f->index = i++;
    char* w = cvwfroma(run, f->name);
    if (!w) wp6fatal(run, RDR_NOMEM);
    cvfontdesc d{};
    d.kind = 1;
    d.name = w;
    d.family = 0;
    d.vala = 1;
    d.pitch = 1;
    d.enc = CW_ENC16;
    cwfontdef(run, &d);
    cvfree(run, w);
  }
}

// The initial font and size become current.
void initialfont(cvrun* run) {
  wp6state* s = wp6st(run);
  wp6font* f = nullptr;
  for (wp6font* g = s->fonts; g && !f; g = g->next)
    if (g->packet == s->initpkt && s->initpkt > 0) f = g;
  if (!f) {
    for (wp6font* g = s->fonts; g && !f; g = g->next)
      if (g->index == 0) f = g;
    if (f && f->packet <= 0) f->packet = s->initpkt;
  }
  if (!f) f = s->fonts;
  s->f.curfont = f;
  s->f.cursize = s->initsize > 0 ? s->initsize : 240;
}

void selectfont(cvrun* run) {
  wp6state* s = wp6st(run);
  if (s->f.curfont) {
    if (char* w = cvwfroma(run, s->f.curfont->name)) {
      cwfontname(run, w, CW_ENC16);
      cvfree(run, w);
    }
  }
}

void pagesetup(cvrun* run) {
  wp6state* s = wp6st(run);
  cwdefrec d;
  std::memset(&d, 0, sizeof d);
  d.version = 1;
  d.nowidth = 1;
  d.codepage = s->cp819 ? 819 : 437;
  d.tmar = d.bmar = 1440;
  d.hdrgap = d.ftrgap = 360;
  d.hdrpos = d.ftrpos = 1440;
  d.length = 15840;
  d.width = 12240;
  d.orient = 1;
  d.lmar = d.rmar = 1440;
  d.linespc = 240;
  d.pct1 = 4;
  d.pct2 = 10;
  static const char* const after[8] = {".", ".", ".", ")", ")", ")", ")", ")"};
  static const int kinds[8] = {0, 2, 4, 0, 2, 4, 0, 2};
  cwdeflvl lv[8];
  for (int i = 0; i < 8; i++) {
    std::memset(&lv[i], 0, sizeof lv[i]);
    lv[i].start = 1;
    lv[i].fmt = kinds[i];
    lv[i].before = i >= 3 && i <= 5 ? "(" : nullptr;
    lv[i].after = after[i];
    lv[i].enc = CW_ENCBYTE;
    d.lvl[i + 1] = &lv[i];
  }
  d.ntabs = 20;
  d.tabmode = 0;
  for (int i = 0; i < 20; i++) d.tabs[i] = {720 * i, 0, nullptr, 0};
  d.font = 0;
  d.size = 240;
  d.lang = 1033;
  cwdocdefs(run, &d);
}

wp6style* styledef(cvrun* run, int packet, int kind, const char* name) {
  wp6state* s = wp6st(run);
  cwstyledesc d{};
  d.version = 1;
  d.name = name;
  d.nameenc = CW_ENC16;
  d.kind = 0;
  d.selffmt = kind == 1;
  d.fontflag = 1;
  int key = cwstyledef(run, &d);
  auto* st = static_cast<wp6style*>(cvalloc(run, sizeof(wp6style)));
  if (!st) wp6fatal(run, RDR_NOMEM);
  *st = {s->styles, packet, key};
  s->styles = st;
  return st;
}

void styles(cvrun* run) {
  wp6state* s = wp6st(run);
  // The packet list is newest first.
  for (wp6packet* p = s->packets; p; p = p->next) {
    if (p->type != 0x30) continue;
    if (!wp6pushpkt(run, p->offset, p->size)) continue;
    unsigned char h[32];
    int got = 0;
    for (; got < 32; got++) {
      int c = cwgetc(run);
      if (c < 0) break;
      h[got] = static_cast<unsigned char>(c);
    }
    if (got < 32 || wp6get16(h) != 1) {
      wp6poppkt(run);
      continue;
    }
    int64_t hl = static_cast<int32_t>(wp6get32(h + 6));
    uint32_t a = wp6get32(h + 10), b = wp6get32(h + 14), c = wp6get32(h + 18), dd = wp6get32(h + 22);
    int kind = h[26];
    int64_t n = wp6get16(h + 30);
    // A name that ends before the header's fields, or a header that is
    // negative or larger than the packet, is no style.
    if (n < 32 || hl < n || hl > static_cast<int64_t>(p->size)) {
      wp6poppkt(run);
      continue;
    }
    unsigned namelen = static_cast<unsigned>(n - 32);
    auto* raw = static_cast<unsigned char*>(cvalloc(run, namelen + 2));
    if (!raw) wp6fatal(run, RDR_NOMEM);
    unsigned rn = 0;
    for (; rn < namelen; rn++) {
      int ch = cwgetc(run);
      if (ch < 0) break;
      raw[rn] = static_cast<unsigned char>(ch);
    }
    char name[2 * 20 + 2] = {};
    if (rn >= 2 && raw[0] >= 0x80 && raw[1] == 0) {
      int number = raw[0] - 0x80;
      const builtins& rows = builtintab();
      char text[32];
      std::snprintf(text, sizeof text, "Style%d", p->number);
      for (int i = 0; i < rows.n; i++)
        if (rows.number[i] == number) std::snprintf(text, sizeof text, "%s", rows.name[i]);
      for (int i = 0; text[i] && i < 19; i++) name[2 * i] = text[i];
    } else {
      int k = 0;
      for (unsigned i = 0; i + 1 < rn && k < 19; i += 2) {
        int ch = raw[i], set = raw[i + 1];
        if (ch == 0 && set == 0) break;
        int hi = 0, lo = ch, cp, by;
        if (set != 0 && wp6charcp(run, set, ch, &cp, &by) == 0) {
          int h1, l1;
          if (cvucsmap(run, cp, by, &h1, &l1) == 0 && h1 >= 0) {
            hi = h1;
            lo = l1;
          }
        }
        name[2 * k] = static_cast<char>(lo);
        name[2 * k + 1] = static_cast<char>(hi);
        k++;
      }
    }
    cvfree(run, raw);
    wp6style* st = styledef(run, p->number, kind, name);
    for (int64_t i = n; i < hl; i++)
      if (cwgetc(run) < 0) break;
    cwstyledefbeg(run, st->key);
    if (a + b != 0) wp6text(run);
    cwstyledefsep(run);
    if (c + dd != 0) wp6text(run);
    cwstyledefend(run);
    wp6poppkt(run);
  }
}

}  // namespace

char* wp6datestr(cvrun* run) {
  int year = readw(run);
  int v[5];
  for (int& x : v) x = cwgetc(run) & 0xFF;
  for (int i = 0; i < 3; i++) cwgetc(run);
  if (year == 0) return nullptr;
  char text[64];
  std::snprintf(text, sizeof text, "%d/%d/%d  %d:%d:%d", v[0], v[1], year, v[2], v[3], v[4]);
  return cvwfroma(run, text);
}

void wp6defaults(wp6state* s) {
  wp6font* font = s->f.curfont;
  std::memset(&s->f, 0, sizeof s->f);
  (void)font;
  s->f.proc = WP6_ON;
  s->f.heldid = -1;
  s->f.pagew = 12240;
  s->f.pagel = 15840;
  s->f.hdrgap = s->f.ftrgap = 360;
  s->f.tmar = s->f.bmar = s->f.lmar = s->f.rmar = 1440;
  s->f.cursize = 240;
  s->f.leader = '.';
  s->f.pct1 = s->f.pct2 = 10;
  s->f.linkout = -1;
  wp6tabnone(s);
  s->initpkt = 0;
  s->initsize = 240;
}

void wp6fontreset(cvrun* run) {
  wp6state* s = wp6st(run);
  initialfont(run);
  selectfont(run);
  cwfontsize(run, s->f.cursize);
  s->f.sizecount = 0;
  s->f.colson = 0;
  s->f.pct1 = s->f.pct2 = 10;
  s->f.ulmode = 1;
  s->f.firstind = 0;
}

void wp6fontsize(cvrun* run) {
  wp6state* s = wp6st(run);
  int size = s->f.cursize, r = s->f.relsize;
  if (r & 0x10)
    size = size * 60 / 100;
  else if (r & 0x08)
    size = size * 80 / 100;
  else if (r & 0x04)
    size = size * 120 / 100;
  else if (r & 0x02)
    size = size * 150 / 100;
  else if (r & 0x01)
    size *= 2;
  selectfont(run);
  cwfontsize(run, size);
}

wp6style* wp6stylefind(cvrun* run, int packet) {
  for (wp6style* st = wp6st(run)->styles; st; st = st->next)
    if (st->packet == packet) return st;
  return nullptr;
}

int wp6prolog(cvrun* run) {
  wp6state* s = wp6st(run);
  summary(run);
  fontdefs(run);
  int32_t initpkt = s->initpkt, initsize = s->initsize;
  wp6fmt keep = s->f;
  wp6defaults(s);
  s->initpkt = initpkt;
  s->initsize = initsize;
  initialfont(run);
  cwfontsize(run, s->f.cursize);
  selectfont(run);
  pagesetup(run);
  styles(run);
  wp6defaults(s);
  s->initpkt = initpkt;
  s->initsize = initsize;
  initialfont(run);
  wp6fontsize(run);
  wp6font* cur = s->f.curfont;
  int32_t size = s->f.cursize;
  s->f = keep;
  s->f.curfont = cur;
  s->f.cursize = size;
  s->initpkt = initpkt;
  s->initsize = initsize;
  cvsseek(run, s->docin, static_cast<long>(s->docoff));
  return 0;
}
