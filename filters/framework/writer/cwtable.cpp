// Tables: the definition, rows and cells. A row is written when it is
// complete: the row record with every cell's borders, then for each cell its
// record, shading and text. The text of a row's cells is kept meanwhile in
// one scratch stream per row, each cell's part by its offsets, so that no
// number of cells or nested tables runs out of streams; the stream goes as
// soon as its row is written. Each cell is a sub-document level of its own.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kmaxcols = 250;

struct cwcell {
  int32_t left, right;
  long start, end;        // the cell's text in the row stream, -1 none
  int32_t cspan, rspan;
  int32_t halign, valign, val;
  int32_t bord[4];
  int32_t brgb[4][3];
  cvshadevals shade;
  int32_t mar[4];         // left, right, top, bottom
};

struct cwspan {
  int32_t row, col, cspan, rspan;
};

}  // namespace

struct cwtabstate {
  int32_t version, ncols, align;
  int32_t rowh, rowalign, rows, used, written;
  int32_t started;        // the definition has ended
  int32_t cellopen;       // a cell's sub-document level is open
  int32_t pushed;         // the row stream is the output
  int32_t stream;         // the row stream, -1 none
  cvshadevals shade;
  int32_t defmar[4];
  cwcell* cells;
  int32_t cur;            // the current cell, -1 none
  cwspan* spans;
  int32_t nspans, capspans;
};

// The open tables: the innermost, the enclosing ones, and the begins
// refused inside them, whose calls are ignored up to their ends.
struct cwtables {
  cwtabstate* cur;
  cwtabstate* saved[CW_NNEST];
  int32_t nsaved;
  int32_t over;
};

namespace {

cwstate* writer(cvrun* run) { return run->writer; }

cwtables* tables(cvrun* run) {
  cwstate* w = writer(run);
  if (!w->tables) {
    w->tables = static_cast<cwtables*>(cvalloc(run, sizeof(cwtables)));
    if (w->tables) std::memset(w->tables, 0, sizeof(cwtables));
  }
  return w->tables;
}

// The innermost table, unless calls are being ignored.
cwtabstate* open(cvrun* run) {
  cwtables* t = writer(run)->tables;
  return t && t->over == 0 ? t->cur : nullptr;
}

cwcell* current(cvrun* run) {
  cwtabstate* s = open(run);
  return s && s->started && s->cur >= 0 && s->cur < s->ncols ? &s->cells[s->cur] : nullptr;
}

void freetable(cvrun* run, cwtabstate* s) {
  if (!s) return;
  if (s->stream >= 0) cvsclose(run, s->stream);
  cwrelease(run, s->cells);
  cwrelease(run, s->spans);
  cvfree(run, s);
}

void resetcells(cwtabstate* s) {
  for (int i = 0; i < s->ncols; i++) {
    cwcell& c = s->cells[i];
    std::memset(c.bord, 0, sizeof c.bord);
    std::memset(c.brgb, 0, sizeof c.brgb);
    c.cspan = c.rspan = 1;
    c.halign = c.valign = 0;
    c.val = 2;
    c.shade.pct = 0;
    std::memset(c.shade.c1, 0, sizeof c.shade.c1);
    std::memcpy(c.mar, s->defmar, sizeof c.mar);
    c.start = c.end = -1;
  }
}

// The first span entry covering column k of row r, or null.
const cwspan* covering(const cwtabstate* s, int r, int k) {
  for (int i = 0; i < s->nspans; i++) {
    const cwspan& e = s->spans[i];
    bool rows = e.row < r && r <= e.row + e.rspan - 1;
    bool cols = e.col < k && k <= e.col + e.cspan - 1;
    if ((r == e.row && cols) || (k == e.col && rows) || (rows && cols)) return &e;
  }
  return nullptr;
}

void addspan(cvrun* run, cwtabstate* s, int cspan, int rspan) {
  for (int i = 0; i < s->nspans; i++) {
    cwspan& e = s->spans[i];
    if (e.row != s->rows || e.col != s->used) continue;
    if (cspan > 1) e.cspan = cspan;
    if (rspan > 1) e.rspan = rspan;
  }
  if (s->nspans == s->capspans) {
    int cap = s->capspans ? s->capspans * 2 : 16;
    auto* n = static_cast<cwspan*>(cvalloc(run, sizeof(cwspan) * cap));
    if (!n) return;
    if (s->spans) {
      std::memcpy(n, s->spans, sizeof(cwspan) * s->nspans);
      cvfree(run, s->spans);
    }
    s->spans = n;
    s->capspans = cap;
  }
  s->spans[s->nspans++] = {s->rows, s->used, cspan, rspan};
}

// The cells a span covers take the current cell's alignment, layout value,
// shading and margins.
void cellcopy(cwtabstate* s) {
  const cwcell& c = s->cells[s->cur];
  for (int i = 1; i < c.cspan && s->cur + i < s->ncols; i++) {
    cwcell& d = s->cells[s->cur + i];
    d.halign = c.halign;
    d.valign = c.valign;
    d.val = c.val;
    d.shade.pct = c.shade.pct;
    std::memcpy(d.shade.c1, c.shade.c1, sizeof d.shade.c1);
    std::memcpy(d.mar, c.mar, sizeof d.mar);
  }
}

// The row stream stops being the output; the current cell's text ends here.
void popcell(cvrun* run, cwtabstate* s) {
  if (!s->pushed) return;
  if (s->cur >= 0 && s->cur < s->ncols && s->cells[s->cur].start >= 0) s->cells[s->cur].end = cvssize(run, s->stream);
  cvpopout(run);
  s->pushed = 0;
}

// Copies a part of a stream to the output.
void copyrange(cvrun* run, int h, long from, long to) {
  if (from < 0 || to <= from || cvsseek(run, h, from) < 0) return;
  char buf[2048];
  for (long left = to - from; left > 0;) {
    int n = cvsread(run, h, buf, static_cast<int>(std::min<long>(left, sizeof buf)));
    if (n <= 0) break;
    cvswrite(run, run->out, buf, n);
    left -= n;
  }
}

void rowwrite(cvrun* run, cwtabstate* s) {
  if (s->rows > 0) cwrecone(run, 2152);
  cwrecbeg(run, 15938);
  cwparint(run, s->ncols);
  cwparint(run, s->rowh / 240);
  cwparint(run, s->rowh);
  for (int i = 0; i < s->ncols; i++) cwparhex4(run, cwnibbles(s->cells[i].bord));
  cwparint(run, 0);
  cwparint(run, s->rowalign);
  cwrecend(run);
  for (int i = 0; i < s->ncols; i++) {
    const cwcell& c = s->cells[i];
    if (i > 0) cwrecone(run, 2152);
    cwdecrec(run, 15458, {i + 1, c.cspan, c.rspan, covering(s, s->rows, i + 1) ? 1 : 0, c.halign, c.val, c.valign});
    if (c.shade.pct > 0) cwshaderec(run, 3, c.shade);
    if (s->stream >= 0) copyrange(run, s->stream, c.start, c.end);
  }
  // The row's text is written: its stream goes.
  if (s->stream >= 0) {
    cvsclose(run, s->stream);
    s->stream = -1;
  }
}

// Ends the level of the cell before the next one.
void endcell(cvrun* run, cwtabstate* s) {
  if (!s->cellopen) return;
  s->cellopen = 0;
  cwsubclose(run);
  cwsubend(run);
}

// Ends the state of the innermost table; the enclosing one becomes current.
void poptable(cvrun* run) {
  cwtables* t = writer(run)->tables;
  freetable(run, t->cur);
  t->cur = nullptr;
  if (t->nsaved == 0) {
    cvdelcleanup(run, cwtabcleanup);
    return;
  }
  t->cur = t->saved[--t->nsaved];
  t->saved[t->nsaved] = nullptr;
}

}  // namespace

int cwtabbeg(cvrun* run, const cwtabdesc* d) {
  cwstate* w = writer(run);
  // The pending format, without the grid step: a table right after another
  // joins its grid.
  if (!w->prolwritten) {
    cwprologue(run);
    w->prolwritten = 1;
  }
  w->pending &= ~CW_PGRID;
  cwflush(run, 1);
  w->pending = 0;
  w->chr.sub = 0;
  cwtables* t = tables(run);
  if (!t) return -1;
  // A table that cannot be had is counted; its calls are ignored to its end.
  auto refuse = [t]() {
    t->over++;
    return -1;
  };
  if (t->over > 0 || (t->cur && t->nsaved >= CW_NNEST)) return refuse();
  int ncols = std::clamp(d->ncols, 0, kmaxcols);
  auto* s = static_cast<cwtabstate*>(cvalloc(run, sizeof(cwtabstate)));
  auto* cells = ncols ? static_cast<cwcell*>(cvalloc(run, sizeof(cwcell) * ncols)) : nullptr;
  if (!s || (ncols && !cells)) {
    cwrelease(run, s);
    cwrelease(run, cells);
    return refuse();
  }
  std::memset(s, 0, sizeof *s);
  if (!t->cur)
    cvaddcleanup(run, cwtabcleanup);
  else
    t->saved[t->nsaved++] = t->cur;
  t->cur = s;
  if (w->gridmode == 1) {
    if (t->nsaved > 0) cwgridnest(run, t->nsaved - 1);
    if (cwgridadd(run, ncols) < 0) {
      cvfree(run, s);
      cwrelease(run, cells);
      t->cur = nullptr;
      poptable(run);
      return refuse();
    }
  }
  s->version = d->version;
  s->ncols = ncols;
  s->align = d->align;
  s->stream = -1;
  if (d->version >= 2) s->shade = d->shade.v;
  if (d->version >= 3) std::memcpy(s->defmar, d->mar, sizeof s->defmar);
  s->cells = cells;
  if (cells) std::memset(cells, 0, sizeof(cwcell) * ncols);
  resetcells(s);
  for (int i = 0; i < ncols; i++) std::memset(cells[i].mar, 0, sizeof cells[i].mar);
  return 0;
}

int cwcelladd(cvrun* run, int left, int right) {
  cwtabstate* s = open(run);
  if (!s || s->started || s->cur >= s->ncols) return -1;
  cwcell& c = s->cells[s->cur++];
  c.left = left;
  c.right = right;
  std::memcpy(c.mar, s->defmar, sizeof c.mar);
  s->used++;
  if (writer(run)->gridmode == 1) cwgridcell(run, left, right);
  return 0;
}

void cwtabstart(cvrun* run) {
  cwtabstate* s = open(run);
  if (!s || s->started) return;
  if (writer(run)->gridmode == 1) cwgridopen(run);
  if (s->shade.pct != 0) cwshaderec(run, 4, s->shade);
  int code = s->align == 1 ? 40 : s->align == 2 ? 56 : s->align == 3 ? 24 : s->align == 4 ? 72 : 8;
  cwrecbeg(run, 19587);
  cwparhex2(run, code);
  cwparint(run, s->ncols);
  for (int twips = 0; twips < 2; twips++)
    for (int i = 0; i < s->ncols; i++) {
      const cwcell& c = s->cells[i];
      unsigned l = static_cast<unsigned>(c.left + c.mar[0]), r = static_cast<unsigned>(c.right - c.mar[1]);
      cwparuint(run, twips ? l : l / 144);
      cwparuint(run, twips ? r : r / 144);
      cwparuint(run, 0);
    }
  cwrecend(run);
  cwrecone(run, 13410);
  s->started = 1;
  s->cur = -1;
  s->written = s->rowh = s->rowalign = s->used = 0;
}

void cwcellnext(cvrun* run) {
  cwtabstate* s = open(run);
  if (!s || !s->started) return;
  int n = 0;
  for (;;) {
    if (s->used >= s->ncols) return;
    endcell(run, s);
    if (s->cur >= 0) {
      cwflushpending(run);
      popcell(run, s);
      if (covering(s, s->rows, s->used + 1)) {
        s->cur++;
        n = 1;
        for (int k = s->used + 1; k <= s->ncols && covering(s, s->rows, k); k++) s->cur++, n++;
      } else {
        n = std::max(1, s->cells[s->cur].cspan);
        s->cur += n;
      }
    } else {
      s->cur = 0;
      if (const cwspan* e = covering(s, s->rows, 1)) {
        s->cur += e->cspan;
        n = e->cspan + 1;
      } else {
        n = 1;
      }
    }
    if (s->cur < s->ncols) break;
    cwrownew(run);
  }
  if (s->stream < 0) s->stream = cvsscratch(run, 2048);
  if (s->stream >= 0 && cvpushout(run, s->stream) >= 0) {
    s->pushed = 1;
    s->cells[s->cur].start = cvssize(run, s->stream);
    s->cells[s->cur].end = s->cells[s->cur].start;
  } else if (s->stream >= 0) {
    // The output stack is full: the cell's text goes on in the enclosing
    // output, and the refused push's count is taken back, since popcell
    // pops only what was pushed.
    cvpopout(run);
  }
  s->used += n;
  cwprolcheck(run);
  cwsubbegin(run, 3);
  s->cellopen = 1;
}

long cwcellfloor(cvrun* run) {
  cwtabstate* s = open(run);
  if (!s || !s->pushed || run->out != s->stream) return -1;
  const cwcell* c = current(run);
  return c ? c->start : -1;
}

void cwrownew(cvrun* run) {
  cwtabstate* s = open(run);
  if (!s || !s->started) return;
  if (!s->written) {
    popcell(run, s);
    rowwrite(run, s);
  }
  resetcells(s);
  s->rowh = s->rowalign = s->used = 0;
  s->rows++;
  s->cur = -1;
  s->written = 0;
}

void cwrowflush(cvrun* run) {
  cwtabstate* s = open(run);
  if (!s || !s->started) return;
  popcell(run, s);
  rowwrite(run, s);
  s->written = 1;
  resetcells(s);
  s->used = 0;
  s->cur = -1;
}

void cwrowheight(cvrun* run, int twips) {
  if (cwtabstate* s = open(run)) s->rowh = twips;
}

void cwrowalign(cvrun* run, int align) {
  cwtabstate* s = open(run);
  if (s && align >= 0 && align <= 2) s->rowalign = align;
}

// The setters of the current cell; all but the colour and the row span
// hand their values on to the cells a span covers.
void cwcellbline(cvrun* run, int side, int kind) {
  cwcell* c = current(run);
  if (!c) return;
  if (side >= 0 && side <= 3) c->bord[side] = kind & 15;
  cellcopy(open(run));
}

void cwcellbrgb(cvrun* run, int side, int r, int g, int b) {
  cwcell* c = current(run);
  if (!c || side < 0 || side > 3) return;
  const int v[3] = {r, g, b};
  for (int i = 0; i < 3; i++) c->brgb[side][i] = std::clamp(v[i], 0, 255);
}

void cwcellcspan(cvrun* run, int n) {
  cwcell* c = current(run);
  if (!c) return;
  cwtabstate* s = open(run);
  if (n > 1) {
    n = std::min(n, s->ncols);
    addspan(run, s, n, 1);
    c->cspan = n;
  }
  cellcopy(s);
}

void cwcellrspan(cvrun* run, int n) {
  cwcell* c = current(run);
  if (!c || n <= 1) return;
  addspan(run, open(run), 1, n);
  c->rspan = n;
}

void cwcellvpos(cvrun* run, int pos) {
  cwcell* c = current(run);
  if (!c) return;
  c->valign = pos;
  cellcopy(open(run));
}

void cwcellhalign(cvrun* run, int kind) {
  static const int codes[] = {0, 2, 3, 1, 5, 4};
  cwcell* c = current(run);
  if (!c) return;
  c->halign = kind >= 1 && kind <= 5 ? codes[kind] : 0;
  cellcopy(open(run));
}

void cwcellval(cvrun* run, int value) {
  cwcell* c = current(run);
  if (!c) return;
  c->val = value;
  cellcopy(open(run));
}

void cwcellshade(cvrun* run, const cvshade* shade) {
  cwcell* c = current(run);
  if (!c) return;
  c->shade = shade->v;
  cellcopy(open(run));
}

void cwcellmar(cvrun* run, int side, int twips) {
  cwcell* c = current(run);
  if (!c) return;
  if (side >= 0 && side <= 3) c->mar[side] = twips;
  cellcopy(open(run));
}

void cwtabend(cvrun* run) {
  cwstate* w = writer(run);
  cwtables* t = w->tables;
  if (t && t->over > 0) {
    t->over--;
    return;
  }
  cwtabstate* s = open(run);
  if (!s) return;
  // The grid of a table that ended inside this one goes out first. Then a
  // table nested deeper than the innermost saved grid writes its own grid
  // once its records are in it: its grid stream is the output only after
  // its cell stream was popped, so the grid cannot go out before.
  cwflushpending(run);
  int saved = cwgridsaved(run);
  bool gridnow = w->gridmode == 1 && saved != -2 && t->nsaved - 1 != saved;
  popcell(run, s);
  if (s->started) rowwrite(run, s);
  if (w->curpara && w->curpara->selffmt != 1) {
    cwstyleend(run);
    w->curpara = nullptr;
  }
  cwrecone(run, 2152);
  cwrecone(run, 13413);
  bool cell = s->cellopen;
  poptable(run);
  if (cell) cwsubend(run);
  if (gridnow)
    cwgridflush(run);
  else if (w->gridmode == 1)
    w->pending |= CW_PGRID;
  w->pending |= CW_PPARA;
  w->paraw.align = -1;
}

void cwmargins(cvrun* run, int* left, int* right) {
  *left = writer(run)->para.lmar;
  *right = writer(run)->para.rmar;
}

int cwgetalign(cvrun* run) { return writer(run)->para.align; }

int cwcellwidth(cvrun* run) {
  const cwcell* c = current(run);
  return c ? c->right - c->left - c->mar[0] - c->mar[1] : 0;
}

int cwtabdepth(cvrun* run) {
  const cwtables* t = writer(run)->tables;
  return t ? (t->cur ? t->nsaved + 1 : 0) + t->over : 0;
}

void cwtabcleanup(cvrun* run) {
  cwstate* w = writer(run);
  cwtables* t = w ? w->tables : nullptr;
  if (!t) return;
  while (t->cur) {
    if (t->cur->pushed) cvpopout(run);
    t->cur->pushed = 0;
    poptable(run);
  }
  t->over = 0;
}
