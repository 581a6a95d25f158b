// Tables of the HTML reader. The writer takes a table's columns before its
// rows, so the TABLE tag reads ahead three times from just after the tag:
// for a caption before the first row, for the column count and for the
// widths of the columns' text; the columns are then fitted to the page.
// Rows and cells follow as the main pass meets them. Only the outermost
// table becomes a writer table; the text of inner ones flows into its cell.
#include <cstring>

#include "filters/readers/html/htr.h"

namespace {

constexpr int kattr = 256;

struct colnode {
  uint32_t width, minwidth, imgwidth;
};

// Reads the attributes of the tag, calling fn(name, unquoted value or null);
// the tag is left after its '>'.
template <typename F>
void attrs(cvrun* run, F fn) {
  htreachattr(run, kattr, fn);
  htrtagskip(run);
}

int clampspan(int v) { return v < 1 ? 1 : v > HTR_MAXCOLS ? HTR_MAXCOLS : v; }

int wordalign(const char* v) {
  if (htreq(v, "CENTER") || htreq(v, "MIDDLE")) return 1;
  if (htreq(v, "RIGHT") || htreq(v, "BLEEDRIGHT")) return 2;
  if (htreq(v, "JUSTIFY")) return 3;
  return 0;
}

int valign(const char* v) {
  if (htreq(v, "TOP") || htreq(v, "BASELINE")) return 0;
  if (htreq(v, "BOTTOM")) return 1;
  if (htreq(v, "CENTER") || htreq(v, "MIDDLE")) return 2;
  return -1;
}

cvshade shadeof(const int32_t* c) {
  cvshade sh{};
  sh.v.pct = 100;
  for (int i = 0; i < 3; i++) sh.v.c1[i] = c[i];
  return sh;
}

void captionon(cvrun* run, int align) {
  htrstate* s = htrst(run);
  cwfontsize(run, 240);
  s->cursize = 240;
  cwalign(run, align);
  cwattr(run, CW_BOLD, 1, 500);
}

void captionoff(cvrun* run) {
  htrstate* s = htrst(run);
  cwattr(run, CW_BOLD, 0, 0);
  cwfontsize(run, 240);
  s->cursize = 240;
  htrbreak(run, 0);
  cwalign(run, 0);
}

bool rowtag(const char* n) {
  return htreq(n, "/TR") || htreq(n, "TH") || htreq(n, "/TABLE") || htreq(n, "TD") || htreq(n, "TR");
}

// Whether a caption comes before the first row; the input is set back.
bool captionahead(cvrun* run) {
  long pos = htrtell(run);
  char name[HTR_TAGLEN + 1];
  bool found = false;
  for (;;) {
    convyield(run, 1);
    int c = cwgetc(run);
    if (c < 0) {
      // Nothing of a table from here on: a later table need not look again.
      htrreader(run)->bare = pos;
      break;
    }
    if (c != '<') continue;
    htrtagname(run, name);
    if (htreq(name, "CAPTION")) {
      found = true;
      break;
    }
    if (htreq(name, "/CAPTION") || rowtag(name) || htrtagskip(run) < 0) break;
  }
  htrseek(run, pos);
  return found;
}

// The caption before the first row, with the text before it. Written only
// when there is a caption: otherwise the main pass writes that text once.
int tabcap(cvrun* run) {
  if (!captionahead(run)) return 0;
  htrstate* s = htrst(run);
  char name[HTR_TAGLEN + 1];
  for (;;) {
    convyield(run, 1);
    int c = cwgetc(run);
    if (c < 0) break;
    if (c == '<') {
      htrtagname(run, name);
      if (htreq(name, "CAPTION")) {
        int align = 0;
        attrs(run, [&](const char* n, char* v) {
          if (v && htrprefix(n, "align", 5)) align = wordalign(v);
        });
        captionon(run, align);
      } else if (htreq(name, "/CAPTION")) {
        htrtagskip(run);
        captionoff(run);
        break;
      } else if (rowtag(name)) {
        break;
      } else {
        htrtagskip(run);
      }
    } else if (c == '&') {
      htrentity(run);
      s->blank = s->lineended = 0;
    } else if (c == ' ' || c == '\t') {
      if ((s->ws & HTR_WSALL) || !s->blank) {
        if (s->ws & HTR_WSNBSP) {
          cwspecial(run, 0);
        } else {
          cwputc(run, ' ');
          s->blank = 1;
        }
      }
    } else if (c == '\n') {
      if (s->ws & HTR_WSHARD) {
        htrbreak(run, 0);
      } else if (s->ws & HTR_WSNBSP) {
        cwspecial(run, 0);
      } else if (!s->blank) {
        cwputc(run, ' ');
        s->blank = 1;
      }
    } else if (c > 32) {
      s->blank = s->lineended = 0;
      cwputc(run, c);
    }
  }
  return 1;
}

// The column count: the widest row at the outer level; input set back.
int tabcols(cvrun* run) {
  long pos = htrtell(run);
  int nest = 1, max = 0, count = 0;
  char name[HTR_TAGLEN + 1];
  for (;;) {
    convyield(run, 1);
    int c = cwgetc(run);
    if (c < 0) break;
    if (c != '<') continue;
    htrtagname(run, name);
    if (nest == 1 && (htreq(name, "TD") || htreq(name, "TH"))) {
      count++;
      attrs(run, [&](const char* n, char* v) {
        if (v && htrprefix(n, "colspan", 7)) count += clampspan(htrnum(v)) - 1;
      });
      if (count > HTR_MAXCOLS) count = HTR_MAXCOLS;
      continue;
    }
    if (nest == 1 && (htreq(name, "TR") || htreq(name, "/TR"))) {
      if (count > max) max = count;
      count = 0;
    } else if (htreq(name, "TABLE")) {
      nest++;
    } else if (htreq(name, "/TABLE")) {
      if (nest-- == 1) {
        htrtagskip(run);
        break;
      }
    }
    if (htrtagskip(run) < 0) break;
  }
  if (count > max) max = count;
  htrseek(run, pos);
  return max;
}

struct measure {
  cvrun* run;
  colnode* cols;
  int n;
  int cur = 0;
  int first = 1;
  int style = 0;
  int nowrap = 0;
  int size = 240;
  uint32_t line = 0, word = 0;
  int span = 1;

  int width(int c) const {
    int w = cwcharwidth(run, "Times New Roman", CW_ENCBYTE, size, style, c);
    return w < 0 ? 0 : w;
  }
  void close() {
    colnode& k = cols[cur];
    if (k.minwidth < word) k.minwidth = word;
    word = 0;
    if (k.width < line) k.width = line / span;
  }
  void reset() {
    line = 0;
    span = 1;
    style = 0;
  }
};

// The widths of the columns' text; input set back.
void tabmeasure(cvrun* run, colnode* cols, int n) {
  long pos = htrtell(run);
  measure m{run, cols, n};
  int nest = 1;
  char name[HTR_TAGLEN + 1], ent[1024];
  for (;;) {
    convyield(run, 1);
    int c = cwgetc(run);
    if (c < 0) break;
    if (c != '<') {
      if (c < 32 || c > 127) continue;
      if (c == ' ' && !m.nowrap) {
        if (cols[m.cur].minwidth < m.word) cols[m.cur].minwidth = m.word;
        m.word = 0;
      }
      uint32_t w;
      if (c == '&') {
        htrentname(run, ent, sizeof ent);
        w = ent[0] == '#' || htrentfind(ent) ? m.width('M') : (std::strlen(ent) + 2) * m.width('M');
        m.line += w;
        m.word += w;
      } else {
        w = m.width(c);
        m.line += w;
        if (!(c == ' ' && !m.nowrap)) m.word += w;
      }
      continue;
    }
    htrtagname(run, name);
    if (htreq(name, "TD") || htreq(name, "TH")) {
      m.nowrap &= ~2;
      int span = 1;
      attrs(run, [&](const char* a, char* v) {
        if (v && htrprefix(a, "colspan", 7)) span = clampspan(htrnum(v));
        if (htrprefix(a, "nowrap", 6)) m.nowrap |= 2;
      });
      if (nest == 1) {
        if (!m.first) {
          m.close();
          if (m.cur < n - 1) m.cur++;
          m.reset();
        }
        m.span = span;
        m.first = 0;
      }
      continue;
    }
    if (htreq(name, "/TR")) {
      if (nest == 1) {
        m.close();
        m.cur = 0;
        m.first = 1;
        m.reset();
        m.nowrap = 0;
      }
    } else if (htreq(name, "TR")) {
      m.nowrap = 0;
      attrs(run, [&](const char* a, char*) {
        if (htrprefix(a, "nowrap", 6)) m.nowrap |= 1;
      });
      if (nest == 1) {
        m.close();
        m.cur = 0;
        m.first = 1;
        m.reset();
      }
      continue;
    } else if (htreq(name, "TABLE")) {
      nest++;
    } else if (htreq(name, "/TABLE")) {
      if (nest-- == 1) {
        m.close();
        break;
      }
    } else if (htreq(name, "CAPTION")) {
      htrtagskip(run);
      htrskipto(run, "/CAPTION");
      continue;
    } else if (htreq(name, "P")) {
      attrs(run, [&](const char* a, char*) {
        if (htrprefix(a, "nowrap", 6)) m.nowrap |= 4;
      });
      if (nest == 1) {
        m.close();
        m.line = 0;
      }
      continue;
    } else if (htreq(name, "/P")) {
      if (nest == 1) {
        m.close();
        m.line = 0;
      }
      m.nowrap &= ~4;
    } else if (htreq(name, "LI") || htreq(name, "BR")) {
      if (nest == 1) {
        m.close();
        m.line = 0;
      }
    } else if (htreq(name, "FONT")) {
      attrs(run, [&](const char* a, char* v) {
        if (v && htrprefix(a, "size", 4)) {
          int k = htrnum(v);
          if (k >= 1 && k <= 7) m.size = htrsizes[k - 1];
        }
      });
      continue;
    } else if (htreq(name, "IMG") || htreq(name, "EMBED")) {
      attrs(run, [&](const char* a, char* v) {
        if (v && htrprefix(a, "width", 5)) {
          int k = htrnum(v);
          cols[m.cur].imgwidth = k < 0 ? 0 : k > 100000 ? 2000000 : static_cast<uint32_t>(k) * 20;
        }
      });
      m.line += cols[m.cur].imgwidth;
      continue;
    } else {
      static const struct {
        const char* tag;
        int size, style, on;
      } simple[] = {{"H1", 480, 0, 0},  {"H2", 360, 0, 0},  {"H3", 280, 0, 0},  {"H5", 200, 0, 0},
                    {"H6", 160, 0, 0},  {"H4", 240, 0, 0},  {"/H1", 240, 0, 0}, {"/H2", 240, 0, 0},
                    {"/H3", 240, 0, 0}, {"/H4", 240, 0, 0}, {"/H5", 240, 0, 0}, {"/H6", 240, 0, 0},
                    {"/FONT", 240, 0, 0}, {"B", 0, 1, 1},   {"STRONG", 0, 1, 1}, {"/B", 0, 1, 0},
                    {"/STRONG", 0, 1, 0}, {"I", 0, 2, 1},   {"EM", 0, 2, 1},    {"/I", 0, 2, 0},
                    {"/EM", 0, 2, 0}};
      for (const auto& t : simple) {
        if (!htreq(name, t.tag)) continue;
        if (t.size) m.size = t.size;
        if (t.style) m.style = t.on ? m.style | t.style : m.style & ~t.style;
        break;
      }
    }
    if (htrtagskip(run) < 0) break;
  }
  htrseek(run, pos);
}

void fit(colnode* cols, int n, int haswidth, int pct, uint32_t value, int avail) {
  uint32_t target = static_cast<uint32_t>(avail);
  if (haswidth) target = pct ? value * static_cast<uint32_t>(avail) / 100 : value * 20;
  uint32_t sum = 0;
  for (int i = 0; i < n; i++) sum += cols[i].width;
  uint32_t prev = sum;
  for (;;) {
    if (target >= sum) {
      if (haswidth) {
        for (int i = 0; i < n; i++) cols[i].width += (target - sum) / n;
      } else if (target - sum < 1440) {
        cols[n - 1].width += target - sum;
      }
      return;
    }
    uint32_t ratio = sum ? static_cast<uint32_t>(static_cast<uint64_t>(target) * 100 / sum) : 0;
    sum = 0;
    for (int i = 0; i < n; i++) {
      uint32_t w = static_cast<uint32_t>(static_cast<uint64_t>(cols[i].width) * ratio / 100);
      if (w < cols[i].imgwidth) w = cols[i].imgwidth;
      if (w < cols[i].minwidth) w = cols[i].minwidth;
      cols[i].width = w;
      sum += w;
    }
    if (sum >= prev) return;
    prev = sum;
  }
}

void tableopen(cvrun* run) {
  htrrdr* r = htrreader(run);
  htrstate* s = r->st;
  if (++r->tabdepth > 1) {
    htrtagskip(run);
    htrbreak(run, 0);
    return;
  }
  s->nowrap = 0;
  s->ws &= ~HTR_WSNBSP;
  s->cellbord = 0;
  cwtabdesc d{};
  d.version = 3;
  int haswidth = 0, pct = 0, padding = 20;
  uint32_t wval = 0;
  attrs(run, [&](const char* name, char* val) {
    if (htrprefix(name, "align", 5)) {
      if (val) d.align = wordalign(val);
    } else if (htrprefix(name, "background", 10)) {
      if (val) cvdepfile(run, val, CW_ENCBYTE, 2);
    } else if (htrprefix(name, "bgcolor", 7)) {
      if (val) {
        int32_t c[3] = {0, 0, 0};
        htrcolor(val, &c[0], &c[1], &c[2]);
        d.shade = shadeof(c);
      }
    } else if (htrprefix(name, "border", 6)) {
      int b = val ? htrnum(val) : 0;
      s->cellbord = b == 0 || b == 3 || b == 4 ? 1 : b == 1 || b == 2 ? 7 : b == 5 || b == 6 ? 5 : 6;
    } else if (htrprefix(name, "cellpadding", 11)) {
      int p = val ? htrnum(val) : 0;
      padding = p < 0 ? 0 : p > 1000 ? 20000 : p * 20;
    } else if (htrprefix(name, "cellspacing", 11)) {
      int b = val ? htrnum(val) : 0;
      s->cellbord = b == 0 ? 0 : b == 1 ? 7 : b == 2 ? 1 : b == 3 ? 5 : 6;
    } else if (htrprefix(name, "frame", 5) && val) {
      static const char* const frames[] = {"void", "ABOVE", "BELOW", "HSIDES", "LHS", "RHS", "VSIDES", "BOX"};
      for (int i = 0; i < 8; i++)
        if (htreq(val, frames[i])) s->framerules = i;
      if (htreq(val, "BORDER")) s->framerules = 7;
    } else if (htrprefix(name, "rules", 5) && val) {
      static const char* const rules[] = {"none", "groups", "rows", "cols", "all"};
      for (int i = 0; i < 5; i++)
        if (htreq(val, rules[i])) s->framerules = i;
    } else if (htrprefix(name, "width", 5) && val) {
      int w = htrnum(val);
      haswidth = 1;
      size_t n = std::strlen(val);
      pct = n > 0 && val[n - 1] == '%';
      wval = w < 0 ? 0 : static_cast<uint32_t>(w > 100000 ? 100000 : w);
    }
  });
  htrbreak(run, 0);
  long here = htrtell(run);
  int n = 0;
  if (r->bare < 0 || here < r->bare) {
    tabcap(run);
    n = tabcols(run);
  }
  if (n == 0) {
    r->tabdepth--;
    return;
  }
  auto* cols = static_cast<colnode*>(cvalloc(run, sizeof(colnode) * n));
  if (!cols) {
    r->tabdepth--;
    return;
  }
  std::memset(cols, 0, sizeof(colnode) * n);
  tabmeasure(run, cols, n);
  for (int i = 0; i < n; i++) {
    cols[i].width += 144;
    cols[i].minwidth += 144;
  }
  int left = 0, right = 0;
  cwmargins(run, &left, &right);
  fit(cols, n, haswidth, pct, wval, 12240 - left - right);
  d.ncols = n;
  for (int& m : d.mar) m = padding;
  cwtabbeg(run, &d);
  uint32_t x = 1440;
  for (int i = 0; i < n; i++) {
    uint32_t rx = x + 2 * static_cast<uint32_t>(padding) + cols[i].width;
    cwcelladd(run, static_cast<int>(x & 0x7FFFFFFF), static_cast<int>(rx & 0x7FFFFFFF));
    x = rx;
  }
  cvfree(run, cols);
  cwtabstart(run);
  htrsave(run);
  s->tabstart = 1;
  s->lineended = 0;
  s->rowkind = 0;
  s->rowclosed = 0;
}

void tableclose(cvrun* run) {
  htrrdr* r = htrreader(run);
  htrtagskip(run);
  if (r->tabdepth > 0 && --r->tabdepth == 0) {
    cwtabend(run);
    htrrestore(run);
    r->st->lineended = 0;
  }
  htrstate* s = r->st;
  htrbreak(run, 0);
  s->tabstart = 0;
  s->nowrap = 0;
  s->ws &= ~HTR_WSNBSP;
  s->rowclosed = 0;
}

void newrow(cvrun* run) {
  htrstate* s = htrst(run);
  cwrownew(run);
  if (s->rowkind == 2) {
    cwrowalign(run, 2);
    s->rowkind = 0;
  }
}

void cell(cvrun* run, int header) {
  htrstate* s = htrst(run);
  s->nowrap &= ~2;
  s->ws &= ~HTR_WSNBSP;
  if (s->rowclosed && !s->tabstart) {
    s->rowclosed = 0;
    newrow(run);
  }
  cwcellnext(run);
  int aligned = 0, valigned = 0, shaded = 0;
  attrs(run, [&](const char* name, char* val) {
    if (htrprefix(name, "nowrap", 6)) {
      s->nowrap |= 2;
      s->ws |= HTR_WSNBSP;
      return;
    }
    if (!val) return;
    if (htrprefix(name, "align", 5)) {
      int a = header ? (htreq(val, "LEFT") ? 0 : htreq(val, "MIDDLE") || htreq(val, "CENTER") ? 1
                        : htreq(val, "RIGHT") ? 2 : htreq(val, "JUSTIFY") ? 3 : htreq(val, "DECIMAL") ? 5 : -1)
                     : htralign(static_cast<unsigned char>(val[0]), 1);
      if (a >= 0) {
        cwcellhalign(run, a);
        aligned = 1;
      }
    } else if (htrprefix(name, "background", 10)) {
      cvdepfile(run, val, CW_ENCBYTE, 2);
    } else if (header ? htrprefix(name, "bordercolor", 11) : htreq(name, "bordercolor")) {
      int32_t c[3] = {0, 0, 0};
      htrcolor(val, &c[0], &c[1], &c[2]);
      for (int side = 0; side < 4; side++) cwcellbrgb(run, side, c[0], c[1], c[2]);
    } else if (htrprefix(name, "bgcolor", 7)) {
      int32_t c[3] = {0, 0, 0};
      htrcolor(val, &c[0], &c[1], &c[2]);
      cvshade sh = shadeof(c);
      cwcellshade(run, &sh);
      shaded = 1;
    } else if (htrprefix(name, "colspan", 7)) {
      int v = htrnum(val);
      if (v > 1) cwcellcspan(run, clampspan(v));
    } else if (htrprefix(name, "rowspan", 7)) {
      int v = htrnum(val);
      if (v > 1) cwcellrspan(run, clampspan(v));
    } else if (header ? htrprefix(name, "valign", 5) : htrprefix(name, "valign", 6)) {
      int v = valign(val);
      if (v >= 0) {
        cwcellvpos(run, v);
        valigned = 1;
      }
    }
  });
  if (!header) s->lineended = 1;
  static const int sides[4] = {0, 2, 1, 3};
  for (int side : sides) cwcellbline(run, side, s->cellbord);
  if (!aligned) cwcellhalign(run, s->rowhalign >= 0 ? s->rowhalign : header ? 1 : 0);
  if (!valigned) cwcellvpos(run, s->rowvalign >= 0 ? s->rowvalign : 0);
  if (!shaded && s->rowbg[0] >= 0) {
    cvshade sh = shadeof(s->rowbg);
    cwcellshade(run, &sh);
  }
  if (header) {
    s->lineended = 1;
    cwattr(run, CW_BOLD, 1, 0);
  }
}

// Rows and cells of a table inside the writer table keep their words
// apart in the enclosing cell: a row on a line of its own, a blank between
// cells.
void innerpart(cvrun* run, bool row) {
  htrtagskip(run);
  if (htrreader(run)->tabdepth < 2) return;
  htrstate* s = htrst(run);
  if (row) {
    htrbreak(run, 0);
  } else if (!s->blank) {
    cwputc(run, ' ');
    s->blank = 1;
  }
}

}  // namespace

void htrtable(cvrun* run, int open) {
  if (open)
    tableopen(run);
  else
    tableclose(run);
}

void htrtr(cvrun* run, int open) {
  htrrdr* r = htrreader(run);
  htrstate* s = r->st;
  if (r->tabdepth != 1) {
    innerpart(run, open);
    return;
  }
  s->nowrap = 0;
  s->rowhalign = s->rowvalign = -1;
  s->rowbg[0] = s->rowbg[1] = s->rowbg[2] = -1;
  if (open) {
    attrs(run, [&](const char* name, char* val) {
      if (htrprefix(name, "nowrap", 6)) {
        s->nowrap |= 1;
        return;
      }
      if (!val) return;
      if (htrprefix(name, "align", 5)) {
        int a = htralign(static_cast<unsigned char>(val[0]), 1);
        if (a >= 0) s->rowhalign = a;
      } else if (htrprefix(name, "bgcolor", 7)) {
        htrcolor(val, &s->rowbg[0], &s->rowbg[1], &s->rowbg[2]);
      } else if (htrprefix(name, "valign", 6)) {
        int v = valign(val);
        if (v >= 0) s->rowvalign = v;
      }
    });
    if (s->rowkind == 1) {
      cwrowalign(run, 1);
      s->rowkind = 0;
    }
    s->rowclosed = 0;
    if (!s->tabstart) newrow(run);
  } else {
    s->rowclosed = 1;
    htrtagskip(run);
  }
  s->tabstart = 0;
  if (s->nowrap) s->ws |= HTR_WSNBSP;
}

void htrtd(cvrun* run, int) {
  if (htrreader(run)->tabdepth != 1) {
    innerpart(run, false);
    return;
  }
  cell(run, 0);
}

void htrth(cvrun* run, int open) {
  if (htrreader(run)->tabdepth != 1) {
    if (open)
      innerpart(run, false);
    else
      htrtagskip(run);
    return;
  }
  if (open) {
    cell(run, 1);
  } else {
    cwattr(run, CW_BOLD, 0, 0);
    htrtagskip(run);
  }
}

void htrcaption(cvrun* run, int open) {
  htrtagskip(run);
  if (open)
    captionon(run, 1);
  else
    captionoff(run);
}

void htrthead(cvrun* run, int open) {
  if (open) htrst(run)->rowkind = 1;
  htrtagskip(run);
}

void htrtfoot(cvrun* run, int open) {
  if (open) htrst(run)->rowkind = 2;
  htrtagskip(run);
}
