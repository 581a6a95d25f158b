// Indents: setters that also set a tab stop where the indented text starts,
// the advance to the next stop, the back-tab, the reset at a paragraph end,
// and the indent record with the tab moves, tabs and back-tabs that bring
// the line position to where the indented text begins.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

namespace {

cwstate* writer(cvrun* run) { return run->writer; }

void changed(cvrun* run) { cwparapend(run, CW_PINDENTS); }

// An indent no further left than the page edge.
int clampind(const cwparafmt& p, int ind) { return p.lmar + ind < 0 ? -p.lmar : ind; }

// The tab position of an indent: itself in relative mode, from the page
// edge in absolute mode.
int tabpos(const cwparafmt& p, int ind) { return p.tabs.mode == 0 ? ind : ind + p.lmar; }

// A stop of kind 4 where none is.
void stopat(cvrun* run, int pos) {
  if (!cwtstopfind(run, pos, nullptr)) cwtstopadd(run, pos, 4, nullptr, CW_ENCBYTE);
}

// The amount that reaches the next tab stop after the line position; -1 when none.
int tonext(cvrun* run) {
  int pos = writer(run)->para.linepos;
  int next = cwtstopnext(run, pos, 1, nullptr);
  return next == -1 ? -1 : next - pos;
}

int advance(cvrun* run, int32_t& ind, int amount) {
  if (amount == 0 && (amount = tonext(run)) == -1) return -1;
  ind += amount;
  changed(run);
  return 0;
}

}  // namespace

void cwindents(cvrun* run, int first, int left, int right) {
  cwparafmt& p = writer(run)->para;
  if (left < 0) return;
  p.ind1st = clampind(p, first);
  p.indleft = clampind(p, left);
  p.indright = right < 0 ? 0 : right;
  int p1 = tabpos(p, p.ind1st);
  if (p.tabs.mode != 0 && p1 < 0) {
    p.ind1st -= p1;
    p1 = 0;
  }
  // An indent of 0 is no indent: it needs no stop of its own.
  if (p.ind1st != 0) stopat(run, p1);
  if (p.indleft != 0) stopat(run, tabpos(p, p.indleft));
  changed(run);
}

void cwind1st(cvrun* run, int first) {
  cwparafmt& p = writer(run)->para;
  p.ind1st = clampind(p, first);
  stopat(run, tabpos(p, p.ind1st));
  changed(run);
}

void cwindleft(cvrun* run, int left) {
  cwparafmt& p = writer(run)->para;
  if (left <= 0) return;
  p.indleft = clampind(p, left);
  stopat(run, tabpos(p, p.indleft));
  changed(run);
}

void cwindright(cvrun* run, int right) {
  cwparafmt& p = writer(run)->para;
  if (right <= 0) return;
  p.indright = right;
  stopat(run, right);
  changed(run);
}

int cwind1stadd(cvrun* run, int amount) { return advance(run, writer(run)->para.ind1st, amount); }
int cwindleftadd(cvrun* run, int amount) { return advance(run, writer(run)->para.indleft, amount); }
int cwindrightadd(cvrun* run, int amount) { return advance(run, writer(run)->para.indright, amount); }

void cwbacktab(cvrun* run, int amount) {
  cwflushpending(run);
  cwparafmt& p = writer(run)->para;
  int origin = 0;
  if (amount == 0) {
    origin = cwtstopnext(run, p.linepos, -1, nullptr);
    if (origin == -1) return;
    amount = p.linepos - origin;
  }
  cwdecrec(run, 18860, {amount / 144, amount});
  p.linepos -= amount;
  p.taborg = origin;
}

void cwindreset(cvrun* run) {
  cwparafmt& p = writer(run)->para;
  p.ind1st = p.indleft = p.indright = 0;
  p.taborg = p.lmar;
}

void cwindrec(cvrun* run) {
  cwstate* w = writer(run);
  cwparafmt& p = w->para;
  // A paragraph style that sets the indents starts them from the margin.
  if (w->curpara && w->curpara->para && w->curpara->para->g.indset) {
    cwrecone(run, 13957);
    p.linepos = p.lmar;
  }
  if (p.ind1st || p.indleft || p.indright) {
    int right = p.indright < 0 ? 0 : p.indright;
    int rightedge = p.rmar + p.indright < 0 ? 0 : p.rmar + p.indright;
    cwdecrec(run, 19977, {p.indleft / 144, p.ind1st / 144, p.indleft + p.lmar, p.lmar + p.ind1st, rightedge,
                          p.indleft, p.ind1st, right});
    cwindmove(run);
  }
  // Written: a later flush inside the paragraph must not move the line again.
  w->pending &= ~CW_PPARA;
  p.sub &= ~CW_PINDENTS;
}

void cwindmove(cvrun* run) {
  cwparafmt& p = writer(run)->para;
  int x = p.linepos;
  if (p.indright != 0) cwdecrec(run, 9650, {p.indright / 144, p.indright});
  if (p.indleft == 0 && p.ind1st == 0) return;
  // Tab moves up to the left indent.
  for (int s; (s = cwtstopnext(run, x, 1, nullptr)) != -1 && s > 0 && s <= p.lmar + p.indleft;) {
    cwdecrec(run, 13971, {p.taborg / 144, s / 144, p.taborg, s});
    p.linepos = x = p.taborg = s;
  }
  if (p.indleft < p.ind1st) {
    // The first line starts further right: tabs up to it.
    int target = p.linepos + p.ind1st;
    for (int s; (s = cwtstopnext(run, x, 1, nullptr)) != -1 && s > 0 && s <= target;) {
      cwdecrec(run, 2100, {1});
      p.linepos = x = s;
    }
    return;
  }
  // A hanging or equal first line: back-tabs down to it.
  int start = p.lmar + p.ind1st;
  for (;;) {
    int s = cwtstopnext(run, x, -1, nullptr);
    if (s < start) return;
    cwrecbeg(run, 18860);
    cwparint(run, (x - s) / 144);
    cwparint(run, x - s);
    if (s >= 0) cwparint(run, s);
    cwrecend(run);
    p.linepos = x = s;
    if (s == start || s == 0) return;
    p.taborg = s;
  }
}
