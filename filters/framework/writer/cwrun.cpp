// The writer's part of a run: its state made at the run's start, the steps
// of the run's start and end it owns, the flush of pending changes and the
// records that open a document.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

#include <cstring>

namespace {

cwstate* writer(cvrun* run) { return run->writer; }

// The writer's run-start values: counting off, a paragraph about to begin.
void cwrunstart(cvrun* run) {
  auto* w = static_cast<cwstate*>(cvalloc(run, sizeof(cwstate)));
  if (!w) cvmemerr(2);
  std::memset(w, 0, sizeof *w);
  w->nowidth = 1;
  w->parastart = 1;
  w->deflang = 1033;
  for (int8_t& m : w->cpmark) m = -1;
  run->writer = w;
}

void cwunctabhook(cvrun* run) { cvunctabinit(run); }

// A line is full at the page width less the right margin and indent.
void cwrightlimit(cvrun* run) {
  cwstate* w = writer(run);
  w->rightlimit = w->page.width - w->para.rmar - w->para.indright;
}

// The width caches start empty; the tables come with the first selection.
void cwcaches(cvrun* run) {
  cwstate* w = writer(run);
  for (cwwidthent*& e : w->widths) e = nullptr;
  w->widthcur = nullptr;
  w->query = nullptr;
}

// Tables held back for a grid that no later flush wrote would be lost with
// the scratch stream that holds them.
void cwoutclose(cvrun* run) {
  cwstate* w = writer(run);
  if (!w || !(w->pending & CW_PGRID)) return;
  cwgridflush(run);
  w->pending &= ~CW_PGRID;
}

}  // namespace

const cvhooks cwhooks = {
    .runstart = cwrunstart,
    .defsinit = cwdefsinit,
    .olereset = olstreset,
    .unctabinit = cwunctabhook,
    .charinit = cwcharinit,
    .pagedefs = cwpagedefs,
    .caches = cwcaches,
    .rightlimit = cwrightlimit,
    .unctabfree = cvunctabfree,
    .fontfree = cwfontfree,
    .parafree = cwparafree,
    .outclose = cwoutclose,
};

void cwflush(cvrun* run, int mode) {
  cwstate* w = writer(run);
  if (w->pending & CW_PGRID) {
    cwgridflush(run);
    w->pending &= ~CW_PGRID;
  }
  if (w->pending & CW_PPAGE) cwpagecheck(run);
  if ((w->pending & CW_PCHAR) && (w->chr.sub & CW_COFF)) {
    cwattroff(run);
    w->chr.sub &= ~CW_COFF;
  }
  if (w->pending & CW_PPARA) cwparaflush(run);
  if (mode != 1) return;
  if (w->parastart) {
    cwalignopen(run);
    w->parastart = 0;
  }
  if (w->pending & CW_PCHAR) cwcharflush(run);
  w->pending = 0;
  w->chr.sub = 0;
}

void cwprologue(cvrun* run) {
  cwstate* w = writer(run);
  // The identification: format, the reader's option string, two zeros.
  cwrecbeg(run, 4388);
  cwparint(run, run->fmtid);
  if (char* v = cvgetparam(run, 4)) {
    cwstr(run, v, CW_ENCBYTE);
    cvfree(run, v);
  }
  cwendfield(run);
  cwparhex8(run, 0);
  cwparint(run, 0);
  cwrecend(run);
  if (w->summary) {
    cwrecbeg(run, 9843);
    for (int i = 0; i < CW_NSUMMARY; i++) {
      if (const cwsumentry* e = w->summary[i]) {
        if (e->text)
          cwstr(run, e->text, e->enc);
        else if (e->stream >= 0)
          cvscopy(run, e->stream, run->out);
      }
      cwendfield(run);
    }
    cwrecend(run);
    cwsummaryfree(run);
    cvdelcleanup(run, cwsummaryfree);
  }
  // A document always names one font.
  if (w->nfonts == 0) {
    cvfontdesc courier = {1, "Courier", 0, 1, 0, CW_ENCBYTE, nullptr, 0, 200};
    cwfontdef(run, &courier);
    cwfontsize2(run, 0, 200);
  }
  if (w->nfonts > 0) {
    cwrecbeg(run, 20614);
    cwparint(run, w->nfonts);
    cwparint(run, 3);
    cwparhex2(run, 0);
    for (cwfont* f = w->fonts; f; f = f->next) {
      cwparint(run, f->num);
      cwstr(run, f->name, f->enc);
      cwendfield(run);
      cwparhex2(run, 0);
    }
    cwrecend(run);
  }
  cwstyleprol(run);
  if (w->docshade) {
    cwshaderec(run, 6, *w->docshade);
    cvfree(run, w->docshade);
    w->docshade = nullptr;
  }
  if (!w->font) cwfontdflsel(run);
  w->para.sub |= CW_PLEVELS;
}
