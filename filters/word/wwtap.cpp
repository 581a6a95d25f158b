// Tables and positioned frames. A table is stored as paragraphs in a table,
// each cell ended by a 7 and each row by one more 7 whose paragraph carries
// the row's description; since that description comes after the cells, a
// row's end is searched ahead when the row begins. Each row is written as
// a table of its own. A positioned paragraph opens a box that stays open
// while the following paragraphs are placed the same way.
#include <cstring>

#include "filters/word/ww.h"

namespace {

// The story that holds a position: [first, limit), or empty.
void storyof(const wwstate* w, int32_t pos, int32_t* first, int32_t* limit) {
  const int32_t st[8][2] = {{wwfcmin(w), wwccptext(w)}, {wwcpftn(w), wwccpftn(w)},   {wwcphdd(w), wwccphdd(w)},
                            {wwcpmcr(w), wwccpmcr(w)},  {wwcpatn(w), wwccpatn(w)},   {wwcpedn(w), wwccpedn(w)},
                            {wwcptxbx(w), wwccptxbx(w)}, {wwcphdrtxbx(w), wwccphdrtxbx(w)}};
  for (const auto& s : st) {
    int64_t end = static_cast<int64_t>(s[0]) + s[1];
    if (pos >= s[0] && pos < end) {
      *first = s[0];
      *limit = static_cast<int32_t>(end);
      return;
    }
  }
  *first = *limit = 0;
}

bool samepos(const wwpap* a, const wwpap* b) {
  return a->pcVert == b->pcVert && a->pcHorz == b->pcHorz && a->dxaAbs == b->dxaAbs && a->dyaAbs == b->dyaAbs &&
         a->dxaWidth == b->dxaWidth;
}

bool nopos(const wwpap* p) { return !p->pcVert && !p->pcHorz && !p->dxaAbs && !p->dyaAbs && !p->dxaWidth; }

bool anyposset(const wwpap* p) {
  return p->pcVertset || p->pcHorzset || p->dxaAbsset || p->dyaAbsset || p->dxaWidthset;
}

void copypos(wwpap* to, const wwpap* from) {
  to->pcVert = from->pcVert, to->pcVertset = from->pcVertset;
  to->pcHorz = from->pcHorz, to->pcHorzset = from->pcHorzset;
  to->dxaAbs = from->dxaAbs, to->dxaAbsset = from->dxaAbsset;
  to->dyaAbs = from->dyaAbs, to->dyaAbsset = from->dyaAbsset;
  to->dxaWidth = from->dxaWidth, to->dxaWidthset = from->dxaWidthset;
}

// The borders of a cell, a side without its own line taking the table's.
void cellborders(wwstate* w, const wwtap* t, int cell) {
  cvrun* run = w->run;
  int kind[4] = {}, col[4] = {};
  if (cell >= 0 && cell < WW_MAXCELL) {
    const wwtc& c = t->rgtc[cell];
    const wwbrc* own[4] = {&c.brcTop, &c.brcLeft, &c.brcBottom, &c.brcRight};
    for (int i = 0; i < 4; i++) {
      wwbrcconv(w, own[i], &kind[i], &col[i]);
      if (kind[i] == 0) wwbrcconv(w, &t->rgbrcTable[i], &kind[i], &col[i]);
    }
  }
  for (int i = 0; i < 4; i++) cwcellbline(run, i, kind[i]);
  for (int i = 0; i < 4; i++) cwcellbrgb(run, i, col[i] & 4, col[i] & 2, col[i] & 1);
}

void cellshade(wwstate* w, const wwtap* t, int cell) {
  if (cell < 0 || cell >= WW_MAXCELL) return;
  wwcellset(w, t->rgshd[cell].ipat, t->rgshd[cell].icoFore, t->rgshd[cell].icoBack);
}

// The normalised cell of a stored cell: merged cells fold into the cell
// that opens their group.
int normcell(const wwstate* w, int stored) {
  int n = -1;
  for (int i = 0; i <= stored && i < w->rowitc && i < WW_MAXCELL; i++)
    if (!w->rowmerged[i]) n++;
  return n < 0 ? 0 : n;
}

int32_t step(const wwstate* w) { return wwhdrf(w, WWH_CBCH) > 0 ? wwhdrf(w, WWH_CBCH) : 1; }

}  // namespace

// ---------------------------------------------------------------- cell counters

void wwcellpush(wwstate* w, int no) {
  if (w->celldepth < 2) w->celldepth++;
  w->cellno[w->celldepth] = no;
}
void wwcellsetno(wwstate* w, int no) { w->cellno[w->celldepth] = no; }
int wwcellno(const wwstate* w) { return w->cellno[w->celldepth]; }
void wwcellpop(wwstate* w) {
  if (w->celldepth > 0) w->celldepth--;
}

// ---------------------------------------------------------------- row ends

void wwtapmerge(wwstate* w, wwpap* p) {
  wwtap* t = &p->tap;
  int itc = t->itcMac < 0 ? 0 : t->itcMac > WW_MAXCELL ? WW_MAXCELL : t->itcMac;
  t->itcMac = itc;
  w->rowitc = itc;
  for (int i = 0; i < WW_MAXCELL; i++) w->rowmerged[i] = i < itc ? t->rgtc[i].fMerged : 0;
  for (int i = 0; i < t->itcMac; i++) {
    if (t->rgtc[i].fFirstMerged) {
      int last = i;
      while (last + 1 < t->itcMac && t->rgtc[last + 1].fMerged) last++;
      int shift = last - i;
      if (shift > 0) {
        for (int k = i;; k++) {
          int j = last + (k - i) + 1;
          if (j > t->itcMac) break;
          t->rgdxaCenter[k + 1] = t->rgdxaCenter[j];
          if (j < t->itcMac) {
            t->rgtc[k + 1] = t->rgtc[j];
            t->rgshd[k + 1] = t->rgshd[j];
          }
        }
        t->itcMac -= shift;
      }
    }
    t->rgtc[i].fFirstMerged = 0;
    t->rgtc[i].fMerged = 0;
  }
}

int wwrowendnext(wwstate* w, int32_t pos, wwpap* out) {
  if (w->rowqfirst >= 0 && pos >= w->rowqfirst && pos <= w->rowqlast) {
    *out = w->rowpap;
    return 0;
  }
  int32_t first, limit;
  storyof(w, pos, &first, &limit);
  long back = wwtell(w, WW_MAIN);
  int found = 1;
  for (int32_t d = pos; d < limit; d += step(w)) {
    int ch = wwgetch(w, WW_MAIN, d);
    if (ch < 0) break;
    wwpapget(w, d, out);
    if (!out->fInTable) break;
    if (ch == 7 && out->fTtp) {
      wwtapmerge(w, out);
      w->rowqfirst = pos;
      w->rowqlast = d;
      w->rowpap = *out;
      found = 0;
      break;
    }
  }
  if (found) w->rowqfirst = w->rowqlast = -1;
  wwseek(w, WW_MAIN, back);
  return found;
}

int wwrowendprev(wwstate* w, int32_t pos, wwpap* out) {
  int32_t first, limit;
  storyof(w, pos, &first, &limit);
  if (first == limit) return 1;
  long back = wwtell(w, WW_MAIN);
  int found = 1;
  for (int32_t d = pos - step(w); d >= first; d -= step(w)) {
    int ch = wwgetch(w, WW_MAIN, d);
    if (ch < 0) break;
    wwpapget(w, d, out);
    if (!out->fInTable) break;
    if (ch == 7 && out->fTtp) {
      wwtapmerge(w, out);
      found = 0;
      break;
    }
  }
  wwseek(w, WW_MAIN, back);
  return found;
}

// ---------------------------------------------------------------- rows and cells

void wwcellset(wwstate* w, int pattern, int fore, int back) {
  cvshade sh;
  wwshddesc(pattern, fore, back, &sh);
  cwcellshade(w->run, &sh);
}

void wwrowdef(wwstate* w, const wwtap* src, int margin) {
  cvrun* run = w->run;
  wwtap t = *src;
  int n = t.itcMac < 0 ? 0 : t.itcMac > WW_MAXCELL ? WW_MAXCELL : t.itcMac;
  if (t.fRightToLeft && t.fRightToLeftset) cwtextdir(run, 0, 1, 2);
  int64_t b = static_cast<int64_t>(t.rgdxaCenter[0]) + t.dxaGapHalf + margin;
  if (b < 0)
    for (int i = 0; i <= n; i++) t.rgdxaCenter[i] = static_cast<int32_t>(t.rgdxaCenter[i] - b);
  cwtabdesc d{};
  d.version = 1;
  d.ncols = n;
  d.align = t.jc >= 0 && t.jc <= 2 ? t.jc : 0;
  cwtabbeg(run, &d);
  for (int i = 0; i < n; i++)
    cwcelladd(run, t.rgdxaCenter[i] + t.dxaGapHalf + margin, margin + t.rgdxaCenter[i + 1] - t.dxaGapHalf);
  wwcellpush(w, 1);
  cwtabstart(run);
  cwcellnext(run);
  cwrowheight(run, t.dyaRowHeight < 0 ? -t.dyaRowHeight : t.dyaRowHeight);
  cellborders(w, &t, 0);
  wwcellsetno(w, 1);
  cellshade(w, &t, wwcellno(w) - 1);
}

void wwtabend(wwstate* w, const wwtap* t) {
  cvrun* run = w->run;
  wwcellpop(w);
  cwcharreset(run);
  cwtabend(run);
  if (t->fRightToLeft && t->fRightToLeftset) cwtextdir(run, 0, 0, 2);
}

void wwtaprow(wwstate* w, const wwpap* prev, const wwpap* next, const wwsep* s, int32_t pos) {
  if ((prev && prev->fInTable == next->fInTable) || !next->fInTable) return;
  auto* row = static_cast<wwpap*>(wwalloc(w, sizeof(wwpap)));
  if (wwrowendnext(w, pos + step(w), row) == 0) wwrowdef(w, &row->tap, s->dxaLeft);
  wwfree(w, row);
}

void wwtapcell(wwstate* w, const wwpap* p, int32_t pos, int margin) {
  auto* row = static_cast<wwpap*>(wwalloc(w, sizeof(wwpap)));
  if (p->fTtp) {
    auto* next = static_cast<wwpap*>(wwalloc(w, sizeof(wwpap)));
    int32_t at = pos + step(w);
    int back = wwrowendprev(w, at, row);
    int fwd = wwrowendnext(w, at, next);
    if (back == 0) wwtabend(w, &row->tap);
    if (fwd == 0) wwrowdef(w, &next->tap, margin);
    wwfree(w, next);
  } else {
    int found = wwrowendnext(w, pos, row) == 0;
    int no = wwcellno(w) + 1;
    wwcellsetno(w, no);
    if (no <= w->rowitc && no - 1 < WW_MAXCELL && !w->rowmerged[no - 1]) {
      cwcellnext(w->run);
      // The row found is normalised: its merged cells have moved left, so
      // the stored cell number is mapped to its normalised cell. A cell
      // whose row was not found is written without borders or shading.
      if (found) {
        int cell = normcell(w, no - 1);
        cellborders(w, &row->tap, cell);
        cellshade(w, &row->tap, cell);
      } else {
        cellborders(w, &row->tap, -1);
      }
    }
  }
  wwfree(w, row);
}

void wwtapend(wwstate* w, const wwpap* p, const wwpap* next) {
  if (p->fInTable && (!next || next->fInTable != p->fInTable) && w->celldepth > 0) wwtabend(w, &p->tap);
}

// ---------------------------------------------------------------- frames

void wwapoemit(wwstate* w, const wwpap* p) {
  cwboxdesc d{};
  d.version = 1;
  d.boxkind = 0;
  d.anchor = p->pcVert == 2 ? 0 : 1;
  d.pos1 = p->dyaAbs == -4 ? 1 : p->dyaAbs == -8 ? 2 : p->dyaAbs == -12 ? 3 : 4;
  switch (p->dxaAbs) {
    case 0:
    case -12: d.pos2 = 0; break;
    case -8:
    case -16: d.pos2 = 1; break;
    case -4: d.pos2 = 2; break;
    default: d.pos2 = 4;
  }
  // An anchor code outside 0-2 takes the default anchor (the margin)
  // rather than ending the document.
  d.wrap = p->pcHorz == 1 ? 0 : p->pcHorz == 2 ? 2 : 1;
  d.skipped = 0;
  d.flag = p->wr == 2 ? 1 : 0;
  d.width = p->dxaWidth;
  d.height = p->wHeightAbs;
  d.off1 = p->dxaAbs > 0 ? p->dxaAbs : 0;
  d.off2 = p->dyaAbs > 0 ? p->dyaAbs : 0;
  const wwbrc* sides[4] = {&p->brcTop, &p->brcLeft, &p->brcBottom, &p->brcRight};
  for (int i = 0; i < 4; i++) {
    d.dist[i] = sides[i]->dxpSpace * 20;
    wwbrcconv(w, sides[i], &d.lines[i], nullptr);
  }
  d.val1 = d.val2 = 0;
  d.name = nullptr;
  d.nameenc = 0;
  d.value = 0;
  for (int i = 0; i < 4; i++) d.more[i] = -1;
  cwboxbeg(w->run, &d);
  wwmbyteon(w);
}

void wwapoend(wwstate* w) {
  cwboxend(w->run);
  w->frameopen = 0;
}

void wwapoon(wwstate* w, wwpap* prev, wwpap* next, int32_t) {
  if (w->frameopen) return;
  if (prev) {
    if (prev->fTtp && anyposset(next))
      copypos(prev, next);
    else if (next->fTtp && anyposset(prev))
      copypos(next, prev);
    if (samepos(prev, next)) return;
  }
  if (nopos(next)) return;
  wwapoemit(w, next);
  w->frameopen = 1;
}

void wwapooff(wwstate* w, wwpap* p, const wwpap* next, int32_t pos) {
  if (p->fTtp) {
    auto* before = static_cast<wwpap*>(wwalloc(w, sizeof(wwpap)));
    wwpapget(w, pos - step(w), before);
    copypos(p, before);
    wwfree(w, before);
  } else if (!w->frameopen || p->fInTable || (next && next->fInTable)) {
    return;
  }
  if (!w->frameopen) return;
  if (next && samepos(p, next)) return;
  if (nopos(p)) return;
  wwapoend(w);
}
