// The paragraph format: setters that change the pending copy, the flush that
// writes a record for each value that differs from the written copy at a
// paragraph boundary (only the indents inside a paragraph), the reset to the
// run defaults, the defaults of a new sub-document, the deep copy and the query.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

#include <cstddef>
#include <cstring>

namespace {

cwstate* writer(cvrun* run) { return run->writer; }

int clamp(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// Stores a value and marks the format pending when it changed.
void setword(cvrun* run, int32_t& field, int value) {
  if (field == value) return;
  field = value;
  cwparapend(run, 0);
}

// The plain values at the head of the format, sub-flags through shading.
constexpr size_t kplain = offsetof(cwparafmt, lastlvl);

// Sub-document kinds whose paragraphs start at the container's edges.
bool incell(int kind) { return kind == 3; }
bool inbox(int kind) { return kind == 1 || kind == 2 || kind == 10; }

bool bordchanged(const cwparafmt& p, const cwparafmt& w) {
  return std::memcmp(p.bord, w.bord, sizeof p.bord) != 0;
}

// The paragraph border record: the colours go only with a line on some side.
void bordrec(cvrun* run, const cwparafmt& p) {
  unsigned kinds = cwnibbles(p.bord);
  cwbordrec(run, 0, kinds, kinds != 0 ? p.brgb : nullptr);
}

void shaderec(cvrun* run, const cvshadevals& s) {
  cwrecbeg(run, 4371);
  cwparint(run, 1);
  cwparint(run, s.pct);
  if (s.pct > 0) {
    for (int32_t v : s.c1) cwparhex2(run, v);
    cwparint(run, 0);
    for (int32_t v : s.c2) cwparhex2(run, v);
  }
  cwrecend(run);
}

// The margins record; inside a sub-document the right limit follows the
// paragraph's right edge.
void marginrec(cvrun* run) {
  cwstate* w = writer(run);
  cwparafmt& p = w->para;
  int edge;
  if (w->subkind == 0) {
    edge = w->page.width - p.rmar;
  } else {
    edge = w->rightlimit - p.rmar - p.indright;
    if (edge <= 0) edge = w->rightlimit;
    w->rightlimit = edge;
  }
  cwdecrec(run, 13938, {10, 75, p.lmar / 144, edge / 144, p.lmar, edge});
  p.linepos = p.taborg = p.lmar;
}

}  // namespace

void cwalign(cvrun* run, int align) { setword(run, writer(run)->para.align, align); }

void cwlmargin(cvrun* run, int twips) {
  cwstate* w = writer(run);
  int room = w->subkind == 0 ? w->rightlimit : w->rightlimit - w->para.rmar;
  if (twips >= 0 && twips < room) setword(run, w->para.lmar, twips);
}

void cwrmargin(cvrun* run, int twips) {
  cwstate* w = writer(run);
  int room = (w->subkind == 0 ? w->page.width : w->rightlimit) - w->para.lmar;
  if (twips >= 0 && twips <= room) setword(run, w->para.rmar, twips);
}

void cwlinespc(cvrun* run, int kind, int twips) {
  cwparafmt& p = writer(run)->para;
  setword(run, kind == 3 ? p.spc2 : p.linespc, twips);
}

void cwparaspc(cvrun* run, int which, int twips) {
  cwparafmt& p = writer(run)->para;
  setword(run, which == 0 ? p.before : p.after, twips);
}

void cwwidow(cvrun* run, int on, int lines) { setword(run, writer(run)->para.widow, on == 1 ? (lines < 2 ? 2 : lines) : -1); }

void cwparapct(cvrun* run, int v1, int v2) {
  cwparafmt& p = writer(run)->para;
  if (v1 < 0 || v1 > 100 || v2 < 0 || v2 > 100 || (v1 == p.pct1 && v2 == p.pct2)) return;
  p.pct1 = v1;
  p.pct2 = v2;
  cwparapend(run, 0);
}

void cwparaval3(cvrun* run, int value) { setword(run, writer(run)->para.once3, value); }
void cwparaval4(cvrun* run, int value) { setword(run, writer(run)->para.once4, value); }

void cwparabord(cvrun* run, int side, int kind) {
  if (side >= 0 && side <= 3) setword(run, writer(run)->para.bord[side], kind);
}

void cwparabrgb(cvrun* run, int side, int r, int g, int b) {
  if (side < 0 || side > 3) return;
  int32_t* c = writer(run)->para.brgb[side];
  setword(run, c[0], clamp(r));
  setword(run, c[1], clamp(g));
  setword(run, c[2], clamp(b));
}

void cwparashade(cvrun* run, const cvshade* shade) {
  writer(run)->para.shade = shade->v;
  cwparapend(run, 0);
}

void cwparaflush(cvrun* run) {
  cwstate* w = writer(run);
  cwparafmt& p = w->para;
  const cwparafmt& c = w->paraw;
  if (!(p.sub & CW_PBOUND)) {
    if (p.sub & CW_PINDENTS) cwindrec(run);
    return;
  }
  if (p.align != c.align) cwalignof(run, p.align);
  if (p.before != c.before) {
    cwdecrec(run, 6227, {p.before});
    cwparablank(run, 0);
  }
  if (bordchanged(p, c)) bordrec(run, p);
  if (p.shade.pct != c.shade.pct) shaderec(run, p.shade);
  if (p.sub & CW_PLEVELS) cwlvlrec(run);
  if (p.widow != c.widow) {
    if (p.widow == -1)
      cwrecone(run, 26103);
    else
      cwdecrec(run, 14839, {p.widow});
  }
  if (p.once3 > 0) cwdecrec(run, 16547, {p.once3});
  if (p.linespc != c.linespc || p.spc2 != c.spc2) cwdecrec(run, 17010, {0, p.linespc / 120, p.linespc, p.spc2});
  if (p.after != c.after) cwdecrec(run, 6195, {p.after});
  if (p.pct1 != c.pct1 || p.pct2 != c.pct2) cwdecrec(run, 26898, {0, 0, p.pct1, p.pct2});
  if (p.lmar != c.lmar || p.rmar != c.rmar) marginrec(run);
  if (p.sub & CW_PTABS) cwtstopchk(run);
  if (p.sub & CW_PINDENTS) cwindrec(run);
  w->parastart = 1;
  cwparacopy(run, &w->paraw, &p);
  p.once3 = p.once4 = -1;
  w->pending &= ~CW_PPARA;
  p.sub = 0;
}

void cwparareset(cvrun* run) {
  cwstate* w = writer(run);
  cwparafmt& p = w->para;
  const cwrundefs& d = w->defs;
  // The list levels and the style outlive the reset.
  cwlistlvl* levels[CW_NLEVELS];
  std::memcpy(levels, p.lvl, sizeof levels);
  std::memset(p.lvl, 0, sizeof p.lvl);
  cwstyle* style = p.style;
  cwparaclear(run, &p);
  p.pct1 = w->paraw.pct1 = d.pct1;
  p.pct2 = w->paraw.pct2 = d.pct2;
  p.widow = w->paraw.widow = d.widow;
  p.once3 = w->paraw.once3 = -1;
  p.once4 = w->paraw.once4 = -1;
  cwtstopcopy(run, &p.tabs, &d.tabs);
  std::memcpy(p.lvl, levels, sizeof levels);
  if (incell(w->subkind)) {
    p.lmar = p.rmar = p.align = p.linespc = 0;
  } else if (inbox(w->subkind)) {
    p.lmar = p.rmar = p.linespc = 0;
    p.align = d.align;
  } else {
    p.lmar = d.lmar;
    p.rmar = d.rmar;
    p.align = d.align;
    p.linespc = d.linespc;
  }
  p.region = 0;
  p.style = style;
  p.linepos = p.taborg = p.lmar;
  // A boundary: the next output writes the paragraph records.
  p.sub = CW_PBOUND | CW_PINDENTS;
  w->pending |= CW_PPARA;
}

void cwparainit(cvrun* run) {
  cwstate* w = writer(run);
  for (cwparafmt* f : {&w->para, &w->paraw}) {
    cwparaclear(run, f);
    f->pct1 = 4;
    f->pct2 = 10;
    f->widow = -1;
    f->once3 = -1;
  }
  w->para.lmar = w->para.rmar = 1440;
  w->para.once4 = -1;
  w->para.region = 0;
  w->para.taborg = 1440;
  w->para.sub = CW_PBOUND;
  w->pending |= CW_PPARA;
}

void cwparaclear(cvrun* run, cwparafmt* f) {
  cwtstopfree(run, &f->tabs);
  cwlvlfree(run, f);
  std::memset(static_cast<void*>(f), 0, sizeof *f);
}

void cwparacopy(cvrun* run, cwparafmt* to, const cwparafmt* from) {
  if (to == from) return;
  std::memcpy(static_cast<void*>(to), from, kplain);
  // Paragraph after paragraph the table stays the same: no copy then.
  if (!cwtstopsame(run, &to->tabs, &from->tabs)) {
    cwtstopfree(run, &to->tabs);
    cwtstopcopy(run, &to->tabs, &from->tabs);
  }
  cwlvlcopy(run, to, from);
  to->style = from->style;
  to->linepos = from->linepos;
  to->region = from->region;
  to->taborg = from->taborg;
}

void cwparafree(cvrun* run) {
  cwstate* w = writer(run);
  if (!w) return;
  cwtstopfree(run, &w->para.tabs);
  cwtstopfree(run, &w->paraw.tabs);
  cwtstopfree(run, &w->defs.tabs);
  cwlvlfree(run, &w->paraw);
  cwlvlfree(run, &w->para);
  for (cwlistlvl*& l : w->defs.lvl) cwlvldrop(run, l);
}

int cwparaget(cvrun* run, int index) {
  const cwparafmt& p = writer(run)->para;
  const int32_t head[] = {p.lmar,   p.rmar,    p.align,    p.linespc, p.spc2,  p.after, p.before, p.ind1st,
                          p.indleft, p.indright, p.once3, p.once4,   p.pct1,  p.pct2,  p.widow};
  constexpr int nhead = sizeof head / sizeof head[0];
  if (index < 0) return -1;
  if (index < nhead) return head[index];
  index -= nhead;
  if (index < 4) return p.bord[index];
  index -= 4;
  if (index < 12) return p.brgb[index / 3][index % 3];
  index -= 12;
  if (index == 0) return p.shade.pct;
  if (index <= 3) return p.shade.c1[index - 1];
  return -1;
}
