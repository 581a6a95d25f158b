// Paragraph and section output: a paragraph's properties and a section's
// page set-up and column set written through the writer. Nothing is
// compared here: every attribute a record sets is written, and the writer
// holds it as pending format until its next record.
#include <cstring>

#include "filters/word/ww.h"

namespace {

bool positioned(const wwpap* p) {
  return p->pcVert || p->pcHorz || p->dxaAbs || p->dyaAbs || p->dxaWidth;
}

bool anyborder(const wwpap* p) { return p->brcTopset || p->brcLeftset || p->brcBottomset || p->brcRightset; }

bool shaded(const wwpap* p) { return p->shdset && (p->shd.ipat || p->shd.icoBack); }

const char* leaderof(int tlc) {
  switch (tlc) {
    case 1: return ".";
    case 2: return "-";
    case 3:
    case 4: return "_";
    default: return nullptr;
  }
}

}  // namespace

void wwmbyteon(wwstate* w) {
  int e = wwfea(w) ? 1 : wwfeb(w) ? 4 : wwfec(w) ? 3 : wwfed(w) ? 2 : 0;
  if (e) cwmbyteon(w->run, e, 0);
}

int wwshdpct(int ipat) {
  static const int pct[] = {0, 100, 5, 10, 20, 25, 30, 40, 50, 60, 70, 75, 80, 90};
  return ipat >= 0 && ipat <= 13 ? pct[ipat] : 50;
}

void wwshddesc(int ipat, int fore, int back, cvshade* out) {
  std::memset(out, 0, sizeof *out);
  out->kind = 1;
  out->v.pct = wwshdpct(ipat);
  out->v.c1[0] = fore & 4, out->v.c1[1] = fore & 2, out->v.c1[2] = fore & 1;
  out->v.c2[0] = back & 4, out->v.c2[1] = back & 2, out->v.c2[2] = back & 1;
}

void wwbrcconv(wwstate*, const wwbrc* b, int* kind, int* colour) {
  int k;
  switch (b->dxpLineWidth) {
    case 6: k = 4; break;
    case 7: k = 3; break;
    default:
      if (b->brcType == 3)
        k = 2;
      else if (b->dxpLineWidth == 0)
        k = 0;
      else if (b->dxpLineWidth == 3)
        k = 5;
      else if (b->dxpLineWidth == 4 || b->dxpLineWidth == 5)
        k = 6;
      else
        k = 1;
  }
  if (kind) *kind = k;
  if (colour) *colour = b->ico;
}

void wwtabsemit(wwstate* w, int count, const int32_t* pos, const wwtbd* tbd, int limit) {
  cvrun* run = w->run;
  cwtstopclear(run);
  cwtstopkind(run, 0);
  cwtstopadd(run, 0, 0, nullptr, 5);
  if (count > WW_MAXTAB) count = WW_MAXTAB;
  int added = 1;
  int32_t last = 0;
  for (int i = 0; i < count; i++) {
    int k = tbd[i].jc >= 1 && tbd[i].jc <= 3 ? tbd[i].jc : 0;
    cwtstopadd(run, pos[i], k, leaderof(tbd[i].tlc), 5);
    last = pos[i];
    added++;
  }
  // Default stops only with a width that moves on, and no more than the
  // writer's table holds however wide the page.
  int32_t step = w->dop ? wwdxatab(w) : 720;
  if (step <= 0) return;
  int64_t at = count > 0 ? static_cast<int64_t>(step) * (last / step + 1) : step;
  for (; at < limit && added < 255; at += step, added++) cwtstopadd(run, static_cast<int>(at), 0, nullptr, 5);
}

void wwpapon(wwstate* w, const wwpap* p, const wwsep* s, int32_t, int) {
  cvrun* run = w->run;
  if (p->jc >= 0 && p->jc <= 3) cwalign(run, p->jc);
  wwtabsemit(w, p->itbdMac, p->rgdxaTab, p->rgtbd, s->xaPage - s->dxaRight);
  if (p->fKeepset && p->fKeep) cwparaval3(run, 2);
  if (p->fKeepFollowset && p->fKeepFollow) cwparaval4(run, 1);
  if (p->dxaLeftset || p->dxaLeft1set) {
    cwind1st(run, p->dxaLeft + p->dxaLeft1);
    cwindleft(run, p->dxaLeft);
  }
  if (p->dxaRightset) cwindright(run, p->dxaRight);
  if (p->dyaLineset && p->dyaLine) {
    if (p->dyaLine < 0)
      cwlinehgt(run, -p->dyaLine);
    else
      cwlinespc(run, 2, p->dyaLine);
  }
  if (p->fNoAutoHyphset && p->fNoAutoHyph) cwattr(run, 0x4000, 0, 0);
  if (p->fWidowControlset) cwwidow(run, p->fWidowControl ? 1 : 0, 2);
  if (anyborder(p) && !positioned(p)) {
    const wwbrc* sides[4] = {&p->brcTop, &p->brcLeft, &p->brcBottom, &p->brcRight};
    int kind[4], col[4];
    for (int i = 0; i < 4; i++) wwbrcconv(w, sides[i], &kind[i], &col[i]);
    for (int i = 0; i < 4; i++) cwparabord(run, i, kind[i]);
    for (int i = 0; i < 4; i++) cwparabrgb(run, i, col[i] & 4, col[i] & 2, col[i] & 1);
  }
  if (shaded(p)) {
    cvshade sh;
    wwshddesc(p->shd.ipat, p->shd.icoFore, p->shd.icoBack, &sh);
    cwparashade(run, &sh);
  }
  if (p->dyaBeforeset) cwparaspc(run, 0, p->dyaBefore);
  if (p->dyaAfterset) cwparaspc(run, 1, p->dyaAfter);
  if (p->fRightToLeftset && p->fRightToLeft) cwtextdir(run, 0, 1, 1);
}

void wwpapoff(wwstate* w, const wwpap* p, const wwsep*) {
  cvrun* run = w->run;
  if (p->fRightToLeftset && p->fRightToLeft) cwtextdir(run, 0, 0, 1);
  if (shaded(p)) {
    cvshade none;
    std::memset(&none, 0, sizeof none);
    cwparashade(run, &none);
  }
  if (!positioned(p) && anyborder(p))
    for (int i = 0; i < 4; i++) cwparabord(run, i, 0);
  if (p->fWidowControlset) cwwidow(run, p->fWidowControl ? 0 : 1, 2);
  if (p->fNoAutoHyphset && p->fNoAutoHyph) cwattr(run, 0x4000, 1, 0);
  if (p->dyaLineset && p->dyaLine) {
    if (p->dyaLine < 0)
      cwlinehgt(run, 0);
    else
      cwlinespc(run, 2, 0);
  }
  cwalign(run, 0);
}

void wwcolsemit(wwstate* w, const wwsep* s) {
  cvrun* run = w->run;
  int ncol = s->ccolM1 + 1;
  cwcoldesc d{};
  d.kind = 1;
  d.ncols = ncol;
  d.opt[0] = 0;
  d.opt[1] = s->fLBetween == 1 ? 1 : 0;
  d.opt[2] = 1;
  cwcolbegin(run, &d);
  int64_t x = s->dxaLeft;
  if (s->fEvenlySpaced == 0) {
    // Uneven widths come from the column array and stop where it ends.
    for (int i = 0; i < ncol && 4 * i + 2 < WW_NCOLVAL; i++) {
      int32_t wd = s->rgdxaColumn[4 * i];
      cwcoladd(run, static_cast<int>(x), static_cast<int>(x + wd));
      x += wd + s->rgdxaColumn[4 * i + 2];
    }
  } else if (s->fEvenlySpaced == 1 && ncol > 0) {
    int64_t wd = (static_cast<int64_t>(s->xaPage) - s->dxaLeft - s->dxaRight -
                  static_cast<int64_t>(s->dxaColumns) * s->ccolM1) / ncol;
    // The writer keeps 250 columns; a count past that adds no more.
    for (int i = 0; i < ncol && i < 250; i++) {
      cwcoladd(run, static_cast<int>(x), static_cast<int>(x + wd));
      x += wd + s->dxaColumns;
    }
  }
  cwcolemit(run);
}

void wwcolsend(wwstate* w, const wwsep*) { cwcolend(w->run); }

void wwsepemit(wwstate* w, const wwsep* s, const wwpap*, const wwchp*, int32_t) {
  cvrun* run = w->run;
  if (w->ver == 6) {
    if (s->dmOrientPage == 1) cwsetorient(run, 1);
    if (s->dmOrientPage == 2) cwsetorient(run, 2);
  } else if (w->ver <= 2) {
    if (s->dmOrientPage == 0) cwsetorient(run, 1);
    if (s->dmOrientPage == 1) cwsetorient(run, 2);
  }
  cwsetpage(run, s->yaPage, s->xaPage);
  cwsettmar(run, s->dyaTop < 0 ? -s->dyaTop : s->dyaTop);
  cwsetbmar(run, s->dyaBottom < 0 ? -s->dyaBottom : s->dyaBottom);
  cwlmargin(run, s->dxaLeft);
  cwrmargin(run, s->dxaRight);
  cwsethdrpos(run, s->dyaHdrTop);
  cwsetftrpos(run, s->dyaHdrBottom);
  cwsetpgnum(run, s->pgnStart);
  static const int fmt[] = {0, 5, 4, 3, 2};
  if (s->nfcPgn >= 0 && s->nfcPgn <= 4) cwsetpgfmt(run, fmt[s->nfcPgn]);
  cwtextdir(run, 0, s->fRightToLeft && s->fRightToLeftset ? 1 : 0, 3);
  // A column count below one column (-1 and less) sets no columns.
  if (s->ccolM1 > 0) wwcolsemit(w, s);
}

void wwsepend(wwstate* w, const wwsep* s) {
  if (s->ccolM1 > 0) wwcolsend(w, s);
}

void wwpgmarl(wwstate* w, int margin) { cwlmargin(w->run, margin); }
void wwpgmarr(wwstate* w, int margin) { cwrmargin(w->run, margin); }
