// The page state: setters that store a value and mark the page pending, and
// the page check that writes a record for each value that differs from the
// copy last written, in a fixed order.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

namespace {

cwstate* writer(cvrun* run) { return run->writer; }

void pending(cvrun* run) { writer(run)->pending |= CW_PPAGE; }

// Stores a value and marks the page pending when it changed.
void setword(cvrun* run, int32_t& field, int value) {
  if (field == value) return;
  field = value;
  pending(run);
}

int clamp(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

}  // namespace

void cwsetpage(cvrun* run, int length, int width) {
  cwstate* w = writer(run);
  w->page.length = length;
  w->page.width = width;
  pending(run);
}

void cwsetorient(cvrun* run, int orient) { setword(run, writer(run)->page.orient, orient); }
void cwsettmar(cvrun* run, int twips) { setword(run, writer(run)->page.tmar, twips); }
void cwsetbmar(cvrun* run, int twips) { setword(run, writer(run)->page.bmar, twips); }
void cwsethdrgap(cvrun* run, int twips) { setword(run, writer(run)->page.hdrgap, twips); }
void cwsetftrgap(cvrun* run, int twips) { setword(run, writer(run)->page.ftrgap, twips); }
void cwsethdrpos(cvrun* run, int twips) { setword(run, writer(run)->page.hdrpos, twips); }
void cwsetftrpos(cvrun* run, int twips) { setword(run, writer(run)->page.ftrpos, twips); }
void cwsetpgmode(cvrun* run, int mode) { setword(run, writer(run)->page.pgmode, mode); }
void cwsetpgnum(cvrun* run, int value) { setword(run, writer(run)->page.pgnum, value); }
void cwsetpgfmt(cvrun* run, int format) { setword(run, writer(run)->page.pgfmt, format); }
void cwsetpageval(cvrun* run, int value) { setword(run, writer(run)->page.valv, value); }

void cwpageshade(cvrun* run, const cvshade* shade) {
  writer(run)->page.shade = shade->v;
  pending(run);
}

void cwpagebord(cvrun* run, int side, int kind) {
  if (side >= 0 && side <= 3) writer(run)->page.bord[side] = kind;
  pending(run);
}

void cwpagebrgb(cvrun* run, int side, int r, int g, int b) {
  if (side >= 0 && side <= 3) {
    int32_t* c = writer(run)->page.brgb[side];
    c[0] = clamp(r);
    c[1] = clamp(g);
    c[2] = clamp(b);
  }
  pending(run);
}

void cwsetpagelr(cvrun* run, int kind, int twips) {
  cwpage& p = writer(run)->page;
  if (kind == 1 || kind == 3) p.vala = twips;
  if (kind == 2 || kind == 3) p.valb = twips;
  pending(run);
}

void cwpagepreset(cvrun* run, int kind) {
  cwpage& p = writer(run)->page;
  p.preset = kind;
  if (kind == 1) {
    p.length = 15840;
    p.width = 12240;
    p.hdrpos = p.ftrpos = 240;
    p.tmar = p.bmar = 1440;
  }
  if (kind == 1 || kind == 2) p.orient = 1;
  pending(run);
}

void cwpagecheck(cvrun* run) {
  cwstate* w = writer(run);
  if (!w->prolwritten) {
    cwprologue(run);
    w->prolwritten = 1;
  }
  cwpageflush(run);
}

void cwpageflush(cvrun* run) {
  cwstate* w = writer(run);
  const cwpage& p = w->page;
  const cwpage& c = w->pagew;
  int body = p.length - p.tmar - p.bmar;
  if (p.orient != c.orient) cwdecrec(run, 18928, {p.orient - 1});
  if (p.length != c.length || p.tmar != c.tmar || p.bmar != c.bmar)
    cwdecrec(run, 12499, {0, 0, p.length / 240, body / 240, p.length, body});
  if (p.width != c.width) cwdecrec(run, 23792, {p.width / 144, p.width});
  if (p.vala != c.vala) cwdecrec(run, 15891, {p.vala / 144, p.vala});
  if (p.valb != c.valb) cwdecrec(run, 5619, {p.valb / 144, p.valb});
  if (p.hdrgap != c.hdrgap) cwdecrec(run, 424, {p.hdrgap / 240, p.hdrgap});
  if (p.hdrpos != c.hdrpos) cwdecrec(run, 13960, {p.hdrpos / 240, p.hdrpos});
  if (p.tmar != c.tmar) cwdecrec(run, 17043, {0, p.tmar / 240, p.tmar});
  if (p.ftrgap != c.ftrgap) cwdecrec(run, 422, {p.ftrgap / 240, p.ftrgap});
  if (p.ftrpos != c.ftrpos) cwdecrec(run, 13382, {p.ftrpos / 240, p.ftrpos});
  if (p.bmar != c.bmar) cwdecrec(run, 16467, {p.bmar / 240, p.bmar});
  bool bord = false;
  for (int i = 0; i < 4; i++) bord = bord || p.bord[i] != c.bord[i];
  if (bord) cwbordrec(run, 1, cwnibbles(p.bord), p.brgb);
  bool shade = p.shade.pct != c.shade.pct;
  for (int i = 0; i < 3; i++) shade = shade || p.shade.c1[i] != c.shade.c1[i];
  if (p.shade.pct != 0 && shade) cwshaderec(run, 5, p.shade);
  if (p.valv != c.valv) cwdecrec(run, 2259, {0, p.valv});
  if (p.pgfmt != c.pgfmt) cwdecrec(run, 20944, {0, p.pgfmt});
  if (p.pgmode != c.pgmode) cwdecrec(run, 7683, {p.pgmode});
  if (p.pgnum != c.pgnum) cwdecrec(run, 14867, {0, 0, p.pgnum & 0xFF00, p.pgnum & 0xFF, p.pgfmt});
  w->pagew = w->page;
  if (w->chr.ulstyle != w->chrw.ulstyle) {
    cwdecrec(run, 14003, {0, w->chr.ulstyle});
    w->chrw.ulstyle = w->chr.ulstyle;
  }
  w->pending &= ~CW_PPAGE;
}

void cwpagedefs(cvrun* run) {
  cwstate* w = writer(run);
  w->page = cwpage{};
  w->pagew = cwpage{};
  cwpage& p = w->page;
  cwletterpage(p);
  p.preset = 1;
  p.pgnum = 1;
  p.pgmode = -1;
  p.pgfmt = 0;
  cwpage& c = w->pagew;
  c.hdrpos = c.ftrpos = 240;
  c.pgmode = -1;
  c.pgnum = -1;
  // Both paragraph formats: margins of an inch, 15 stops every 720 twips.
  for (cwparafmt* f : {&w->para, &w->paraw}) {
    cwparaclear(run, f);
    f->align = -1;
    f->pct1 = 4;
    f->pct2 = 10;
    f->widow = -1;
    f->once3 = -1;
    f->tabs.count = 15;
    f->tabs.mode = 1;
    for (int i = 0; i < f->tabs.count; i++) f->tabs.stops[i] = {i * 720, 0, nullptr, CW_ENCBYTE};
  }
  cwparafmt& para = w->para;
  para.lmar = para.rmar = 1440;
  para.linepos = 1440;
  para.linespc = 240;
  para.once4 = -1;
  para.sub = CW_PBOUND;
  w->pending |= CW_PPARA | CW_PPAGE;
}
