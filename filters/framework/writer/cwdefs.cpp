// Document defaults: the run's copy of the record every reader hands over
// at its start (built-in values until then), applied to the pending formats
// and page state, and the queries by which a reader reads back the current
// paragraph format's fields and the current font.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

#include <cstring>

namespace {

cwstate* writer(cvrun* run) { return run->writer; }

// The default tab table: n stops every 720 twips from 0.
void evenstops(cwtabtab& t, int n) {
  t.count = n;
  t.mode = 1;
  for (int i = 0; i < n; i++) t.stops[i] = {i * 720, 0, nullptr, CW_ENCBYTE};
}

// A stored level made from a level of the defaults record.
cwlistlvl* levelof(cvrun* run, const cwdeflvl& d) {
  auto* l = static_cast<cwlistlvl*>(cvalloc(run, sizeof(cwlistlvl)));
  if (!l) return nullptr;
  std::memset(l, 0, sizeof *l);
  l->base = l->counter = d.start - 1;
  l->fmt = d.fmt;
  l->higher = d.higher;
  l->before = d.before ? cvstrdup(run, d.before, d.enc) : nullptr;
  l->after = d.after ? cvstrdup(run, d.after, d.enc) : nullptr;
  l->enc = d.enc;
  l->chfmt = cwchfmtcopy(run, d.chfmt);
  l->ownfont = d.ownfont;
  if (d.ownfont == 1) {
    l->fontname = d.fontname ? cvstrdup(run, d.fontname, d.fontenc) : nullptr;
    l->fontenc = d.fontenc;
    l->fontnum = d.fontnum;
  }
  l->ownsize = d.ownsize;
  if (d.ownsize == 1) l->size = d.size;
  return l;
}

// The paragraph values of the defaults; spacing, indents, one-shot values,
// borders and shading cleared.
void paravalues(const cwrundefs& d, cwparafmt& p) {
  p.lmar = d.lmar;
  p.rmar = d.rmar;
  p.align = d.align;
  p.linespc = d.linespc;
  p.pct1 = d.pct1;
  p.pct2 = d.pct2;
  p.widow = d.widow;
  p.linepos = p.taborg = d.lmar;
  p.spc2 = p.after = p.before = 0;
  p.ind1st = p.indleft = p.indright = 0;
  p.once3 = p.once4 = 0;
  std::memset(p.bord, 0, sizeof p.bord);
  std::memset(p.brgb, 0, sizeof p.brgb);
  p.shade = cvshadevals{};
}

// The default tab table and list levels into a format, replacing its own.
void paratables(cvrun* run, const cwrundefs& d, cwparafmt& p) {
  cwtstopfree(run, &p.tabs);
  cwtstopcopy(run, &p.tabs, &d.tabs);
  cwlvlfree(run, &p);
  for (int i = 0; i < CW_NLEVELS; i++) p.lvl[i] = cwlvldup(run, d.lvl[i]);
}

void pagevalues(const cwrundefs& d, cwpage& g) {
  g.length = d.length;
  g.width = d.width;
  g.orient = d.orient;
  g.tmar = d.tmar;
  g.bmar = d.bmar;
  g.hdrgap = d.hdrgap;
  g.ftrgap = d.ftrgap;
  g.hdrpos = d.hdrpos;
  g.ftrpos = d.ftrpos;
}

// Both character formats cleared: no colours, no underline style, the
// document's language pending.
void clearchars(cwstate* w) {
  for (cwcharfmt* c : {&w->chr, &w->chrw}) {
    int32_t style = c->charstyle;
    std::memset(c, 0, sizeof *c);
    for (int i = 0; i < 3; i++) c->c1[i] = c->c2[i] = -1;
    c->ulstyle = -1;
    c->charstyle = style;
  }
  w->chr.lang = w->deflang;
}

}  // namespace

void cwdefsinit(cvrun* run) {
  cwstate* w = writer(run);
  cwrundefs& d = w->defs;
  for (cwlistlvl*& l : d.lvl) cwlvldrop(run, l);
  cwtstopfree(run, &d.tabs);
  d.nowidth = 1;
  d.grid = 0;
  d.codepage = 437;
  d.fnstyle = d.enstyle = 0;
  cwletterpage(d);
  d.lmar = d.rmar = 1440;
  d.align = 0;
  d.linespc = 240;
  d.pct1 = 4;
  d.pct2 = 10;
  d.widow = 2;
  evenstops(d.tabs, 20);
  d.font = 0;
  d.size = 240;
  d.lang = 1033;
}

void cwdocdefs(cvrun* run, const cwdefrec* r) {
  cwstate* w = writer(run);
  cwrundefs& d = w->defs;
  d.nowidth = w->nowidth = r->nowidth;
  if (r->nowidth == 0) w->para.linepos = w->para.lmar;
  d.codepage = r->codepage;
  cwcodepage(run, r->codepage);
  d.lang = w->deflang = r->lang;
  // Table-grid mode: the first table begins the grid.
  d.grid = w->gridmode = r->grid;
  d.fnstyle = r->fnstyle;
  d.enstyle = r->enstyle;
  d.tmar = r->tmar;
  d.bmar = r->bmar;
  d.hdrgap = r->hdrgap;
  d.ftrgap = r->ftrgap;
  d.hdrpos = r->hdrpos;
  d.ftrpos = r->ftrpos;
  d.length = r->length;
  d.width = r->width;
  d.orient = r->orient;
  d.lmar = r->lmar;
  d.rmar = r->rmar;
  d.align = r->align;
  d.linespc = r->linespc;
  d.pct1 = r->pct1;
  d.pct2 = r->pct2;
  d.widow = r->widow;
  cwtstopfree(run, &d.tabs);
  d.tabs.count = r->ntabs < 0 ? 0 : r->ntabs > CW_NTABS ? CW_NTABS : r->ntabs;
  d.tabs.mode = r->tabmode;
  for (int i = 0; i < d.tabs.count; i++) {
    const cwdeftab& t = r->tabs[i];
    d.tabs.stops[i] = {t.pos, t.kind, t.leader ? cvstrdup(run, t.leader, t.lenc) : nullptr, t.lenc};
  }
  for (int i = 0; i < CW_NLEVELS; i++) {
    cwlvldrop(run, d.lvl[i]);
    if (r->lvl[i]) d.lvl[i] = levelof(run, *r->lvl[i]);
  }
  d.font = r->font;
  d.size = r->size;
  cwdefsapply(run);
}

void cwdefsapply(cvrun* run) {
  cwstate* w = writer(run);
  const cwrundefs& d = w->defs;
  paravalues(d, w->para);
  paratables(run, d, w->para);
  pagevalues(d, w->page);
  w->notestyle[0] = d.fnstyle;
  w->notestyle[1] = d.enstyle;
  w->pagew = cwpage{};
  w->pagew.pgmode = -1;
  cwparaclear(run, &w->paraw);
  w->paraw.align = -1;
  clearchars(w);
  w->pending |= CW_PCHAR | CW_PPARA;
  w->para.sub |= CW_PTABS;
  w->chr.sub |= CW_CVALUE;
}

void cwdefsreset(cvrun* run) {
  cwstate* w = writer(run);
  const cwrundefs& d = w->defs;
  for (cwparafmt* p : {&w->para, &w->paraw}) {
    paravalues(d, *p);
    paratables(run, d, *p);
  }
  pagevalues(d, w->page);
  pagevalues(d, w->pagew);
  w->notestyle[0] = d.fnstyle;
  w->notestyle[1] = d.enstyle;
}

void* cwfontget(cvrun* run, int kind) {
  cwstate* w = writer(run);
  const cwfont* f = w->font;
  if (!f || kind < 0 || kind > 6) return nullptr;
  if (kind == 1) return f->name ? cvstrdup(run, f->name, f->enc) : nullptr;
  const int32_t values[] = {w->size, 0, f->num, f->vala, f->family, f->pitch, f->enc};
  auto* v = static_cast<int32_t*>(cvalloc(run, sizeof(int32_t)));
  if (v) *v = values[kind];
  return v;
}
