// Sub-documents: the stack of saved formatting states that lets a
// container (box, cell, note, header, comment ...) start clean and the text
// after it carry on as before; and the three simplest containers on it:
// positioned boxes, comments and marked text.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

#include <cstring>

// The formatting state saved when a level is entered.
struct cwsubstate {
  int32_t kind;
  uint32_t pending;
  int32_t parastart;
  int32_t rightlimit;
  int32_t mbset[2], mborder, mbhex, mbenc, mbbyteorder;
  cwcharfmt chr, chrw;
  cwfont* font;
  cwfont* fontw;
  int32_t size, sizew;
  cwparafmt para, paraw;  // deep copies
  cwpage page, pagew;     // kind -1 only
};

namespace {

cwstate* writer(cvrun* run) { return run->writer; }

// Kinds whose text goes on in the enclosing multi-byte mode.
bool keepsmbyte(int kind) { return kind == 3 || kind == 8 || kind == 9 || kind == 10; }

void clearlayout(cwstate* w) {
  for (cwparafmt* f : {&w->para, &w->paraw}) {
    f->lmar = f->rmar = f->align = f->linespc = 0;
    f->region = 0;
  }
}

void freestate(cvrun* run, cwsubstate* s) {
  cwparaclear(run, &s->para);
  cwparaclear(run, &s->paraw);
  cwrelease(run, s);
}

// The enclosing margins, alignment and spacing come back into a cleared format.
void keepenclosing(cwparafmt& f, const cwparafmt& s) {
  f.lmar = s.lmar;
  f.rmar = s.rmar;
  f.align = s.align;
  f.linespc = s.linespc;
  f.pct1 = s.pct1;
  f.pct2 = s.pct2;
  f.widow = s.widow;
  f.once3 = s.once3;
  f.once4 = s.once4;
}

void reset(cvrun* run, int kind, const cwsubstate* s) {
  cwstate* w = writer(run);
  switch (kind) {
    case 1:
    case 2:
      cwmbyteoff(run);
      cwcharinit(run);
      cwparainit(run);
      if (kind == 1) cwfontdflsel(run);
      clearlayout(w);
      return;
    case 3:
    case 10:
      clearlayout(w);
      w->rightlimit = kind == 3 ? cwcellwidth(run) : cwcolwidth(run);
      w->para.linepos = 0;
      w->para.taborg = 0;
      w->para.sub |= CW_PBOUND;
      return;
    case 8:
    case 9:
      w->curchar = w->curpara = nullptr;
      for (cwcharfmt* f : {&w->chr, &w->chrw}) {
        std::memset(f, 0, sizeof *f);
        for (int i = 0; i < 3; i++) f->c1[i] = f->c2[i] = -1;
      }
      w->chr.ulstyle = 2;
      w->chrw.ulstyle = -1;
      cwparaclear(run, &w->para);
      cwparaclear(run, &w->paraw);
      keepenclosing(w->para, s->para);
      keepenclosing(w->paraw, s->paraw);
      w->para.region = s->para.region;
      w->para.taborg = s->para.taborg;
      return;
    default:
      cwmbyteoff(run);
      cwcharinit(run);
      cwparainit(run);
      cwfontdflsel(run);
      return;
  }
}

}  // namespace

int cwsubbegin(cvrun* run, int kind) {
  cwstate* w = writer(run);
  // A level that cannot be entered is counted, so that its end leaves
  // nothing early.
  if (w->subn >= CW_NSUB) {
    w->subover++;
    return -1;
  }
  if (w->subn == 0) cvaddcleanup(run, cwsubfree);
  // A cell after a cell enters the same level again: its state is reused.
  // Its formats own nothing: what they owned was let go at the level's end.
  cwsubstate* s = w->subspare[w->subn];
  w->subspare[w->subn] = nullptr;
  if (!s) {
    s = static_cast<cwsubstate*>(cvalloc(run, sizeof(cwsubstate)));
    if (!s) {
      if (w->subn == 0) cvdelcleanup(run, cwsubfree);
      w->subover++;
      return -1;
    }
    std::memset(static_cast<void*>(s), 0, sizeof *s);
  }
  s->kind = kind;
  s->pending = w->pending;
  s->parastart = w->parastart;
  s->rightlimit = w->rightlimit;
  s->mbset[0] = w->mbset[0];
  s->mbset[1] = w->mbset[1];
  s->mborder = w->mborder;
  s->mbhex = w->mbhex;
  s->mbenc = w->mbenc;
  s->mbbyteorder = w->mbbyteorder;
  s->chr = w->chr;
  s->chrw = w->chrw;
  s->font = w->font;
  s->fontw = w->fontw;
  s->size = w->size;
  s->sizew = w->sizew;
  cwparacopy(run, &s->para, &w->para);
  cwparacopy(run, &s->paraw, &w->paraw);
  if (kind == -1) {
    s->page = w->page;
    s->pagew = w->pagew;
  }
  w->sub[w->subn++] = s;
  w->subkind = kind;
  cwtstopfree(run, &w->para.tabs);
  cwtstopfree(run, &w->paraw.tabs);
  w->pending = 0;
  w->parastart = 1;
  reset(run, kind, s);
  return 0;
}

void cwsubend(cvrun* run) {
  cwstate* w = writer(run);
  if (w->subover > 0) {
    w->subover--;
    return;
  }
  if (w->subn == 0) return;
  cwsubstate* s = w->sub[w->subn - 1];
  w->pending = s->pending;
  w->parastart = s->parastart;
  w->rightlimit = s->rightlimit;
  w->mbset[0] = s->mbset[0];
  w->mbset[1] = s->mbset[1];
  w->mborder = s->mborder;
  w->mbhex = s->mbhex;
  w->mbenc = s->mbenc;
  w->mbbyteorder = s->mbbyteorder;
  w->chr = s->chr;
  w->chrw = s->chrw;
  w->font = s->font;
  w->fontw = s->fontw;
  w->size = s->size;
  w->sizew = s->sizew;
  cwparacopy(run, &w->para, &s->para);
  cwparacopy(run, &w->paraw, &s->paraw);
  if (s->kind == -1) {
    w->page = s->page;
    w->pagew = s->pagew;
  }
  int kind = s->kind;
  for (cwparafmt* f : {&s->para, &s->paraw}) {
    cwtstopfree(run, &f->tabs);
    cwlvlfree(run, f);
  }
  w->sub[--w->subn] = nullptr;
  if (w->subspare[w->subn])
    freestate(run, s);
  else
    w->subspare[w->subn] = s;
  w->subkind = w->subn > 0 ? w->sub[w->subn - 1]->kind : 0;
  if (w->subn == 0) cvdelcleanup(run, cwsubfree);
  if (!keepsmbyte(kind) && w->mbhex) cwdecrec(run, 3149, {1, w->mbenc, w->mbbyteorder});
}

int cwsubopen(cvrun* run) { return writer(run)->subn + writer(run)->subover; }

void cwsubclose(cvrun* run) {
  cwstate* w = writer(run);
  if (w->curchar && w->curchar->selffmt != 1) {
    cwstyleoffrst(run, w->curchar);
    w->curchar = nullptr;
  }
  if (w->curpara && w->curpara->selffmt != 1) {
    cwstyleend(run);
    w->curpara = nullptr;
  }
  w->pending |= CW_PCHAR | CW_PPARA;
  w->chr.sub |= CW_COFF;
  for (int i = 0; i < CW_NATTR; i++)
    if (i != 2) w->chr.attr[i].on = 0;
  w->chr.linehgt = 0;
  for (int i = 0; i < 3; i++) w->chr.c1[i] = w->chr.c2[i] = -1;
  // The attributes go off; a new aligned region is not opened for nothing.
  cwflush(run, 0);
  if (w->subn > 0 && !keepsmbyte(w->subkind)) cwmbyteoff(run);
  if (w->parastart == 0) cwalignclose(run);
}

void cwalignrec(cvrun* run) { cwalignof(run, writer(run)->para.align); }

void cwprolcheck(cvrun* run) {
  cwstate* w = writer(run);
  if (w->prolwritten) return;
  cwprologue(run);
  w->prolwritten = 1;
  if (w->pending & CW_PPAGE) cwpageflush(run);
}

void cwsubfree(cvrun* run) {
  cwstate* w = writer(run);
  if (!w) return;
  while (w->subn > 0) {
    freestate(run, w->sub[w->subn - 1]);
    w->sub[--w->subn] = nullptr;
  }
  for (cwsubstate*& s : w->subspare) {
    if (s) freestate(run, s);
    s = nullptr;
  }
  w->subover = 0;
  w->subkind = 0;
}

void cwsubclear(cvrun* run) {
  cwstate* w = writer(run);
  for (cwsubstate*& s : w->sub) s = nullptr;
}

void cwboxbeg(cvrun* run, cwboxdesc* d) {
  cwstate* w = writer(run);
  cwprolcheck(run);
  cwflushpending(run);
  int entered = cwsubbegin(run, d->boxkind == 2 ? 2 : 1);
  for (int32_t* v : {&d->off1, &d->off2, &d->dist[0], &d->dist[1], &d->dist[2], &d->dist[3]})
    if (*v < 0) *v = 0;
  cwrecbeg(run, 15873);
  cwparhex2(run, d->boxkind);
  for (int v : {d->anchor, d->pos1, d->pos2, d->wrap, d->flag, d->width, d->height, d->off1, d->off2})
    cwparint(run, v);
  for (int v : d->dist) cwparpos(run, v);
  cwparhex4(run, cwnibbles(d->lines));
  cwparint(run, d->val1);
  cwparint(run, d->val2);
  cwstr(run, d->name, d->nameenc);
  cwendfield(run);
  cwparint(run, d->value);
  for (int v : d->more) cwparpos(run, v);
  cwrecend(run);
  if (entered < 0) return;
  w->para.lmar = w->para.rmar = 0;
  if (d->width != 0) w->rightlimit = d->width;
  w->para.linepos = w->para.taborg = 0;
  w->para.sub |= CW_PBOUND;
}

void cwboxend(cvrun* run) {
  // An end with nothing open would close a record that was never begun.
  if (cwsubopen(run) == 0) return;
  cwsubclose(run);
  cwrecone(run, 6657);
  cwsubend(run);
  cwalignrec(run);
}

void cwcmtbegin(cvrun* run) {
  cwprolcheck(run);
  cwflushpending(run);
  cwsubbegin(run, 8);
  cwrecbeg(run, 20899);
}

void cwcmtend(cvrun* run) {
  if (cwsubopen(run) == 0) return;
  cwsubclose(run);
  cwendfield(run);
  cvsputc(run, run->out, COM_RS);
  cwsubend(run);
}

void cwdelbegin(cvrun* run) {
  cwprolcheck(run);
  cwflushpending(run);
  cwrecbeg(run, 25220);
  cwsubbegin(run, 9);
}

void cwdelend(cvrun* run) {
  if (cwsubopen(run) == 0) return;
  cwsubclose(run);
  cwendfield(run);
  cvsputc(run, run->out, COM_RS);
  cwsubend(run);
}
