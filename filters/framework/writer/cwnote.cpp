// Footnotes and endnotes: the note record with its number or mark, the
// note's text as a sub-document, and the numbering of each class.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

#include <cstring>

// The numbering of footnotes (0) and endnotes (1).
struct cwnotes {
  int32_t next[2];
  char* mark[2];          // owned, or null
  int32_t markenc[2];
  int32_t automatic;      // record 1478 before each footnote
};

namespace {

// The numbering, made with its start values at first use (the run's
// memory, freed with it); null when memory ran out.
cwnotes* notes(cvrun* run) {
  cwstate* w = run->writer;
  if (w->notes) return w->notes;
  auto* n = static_cast<cwnotes*>(cvalloc(run, sizeof(cwnotes)));
  if (!n) return nullptr;
  std::memset(n, 0, sizeof *n);
  n->next[0] = n->next[1] = 1;
  n->markenc[0] = n->markenc[1] = CW_ENCBYTE;
  n->automatic = 1;
  return w->notes = n;
}

void notebeg(cvrun* run, int cls) {
  cwstate* w = run->writer;
  cwprolcheck(run);
  cwnotes* n = notes(run);
  if (n) {
    if (cls == 0 && n->automatic) cwrecone(run, 1478);
    bool marked = w->notestyle[cls] == 10;
    cwrecbeg(run, 20934);
    cwparhex2(run, (marked ? 1 : 0) + (cls ? 2 : 0));
    if (marked) {
      cwparhex2(run, cvstrlen(run, n->mark[cls], n->markenc[cls]));
      cwparhex2(run, n->mark[cls] ? static_cast<unsigned char>(n->mark[cls][0]) : 0);
    } else {
      cwparhex2(run, (n->next[cls] >> 8) & 0xFF);
      cwparhex2(run, n->next[cls] & 0xFF);
    }
    for (int v : {0, 0, 0, 0, 1, 0xFF}) cwparhex2(run, v);
    cwparint(run, w->para.lmar / 144);
    cwparint(run, (w->page.width - w->para.rmar) / 144);
    cwparhex2(run, 0x8D);
    cwrecend(run);
    n->next[cls]++;
  }
  cwsubbegin(run, cls ? 7 : 6);
}

void noteend(cvrun* run) {
  if (cwsubopen(run) == 0) return;
  cwsubclose(run);
  cwrecone(run, 14533);
  cwsubend(run);
  cwalignrec(run);
}

void freemark(cvrun* run, cwnotes* n, int cls) {
  cwrelease(run, n->mark[cls]);
  n->mark[cls] = nullptr;
}

}  // namespace

void cwftnbeg(cvrun* run) { notebeg(run, 0); }
void cwftnend(cvrun* run) { noteend(run); }
void cwednbeg(cvrun* run) { notebeg(run, 1); }
void cwednend(cvrun* run) { noteend(run); }

void cwnotefmt(cvrun* run, const cwnotefmtdesc* d) {
  cwflushpending(run);
  int style = d->style > 5 ? (d->style == 10 ? 1 : 0) : d->style;
  cwrecbeg(run, 9670);
  cwparhex2(run, d->kind & ~1);
  cwparint(run, d->start);
  cwparint(run, style);
  cwstr(run, d->before, d->enc);
  cwendfield(run);
  cwstr(run, d->after, d->enc);
  cwendfield(run);
  cwrecend(run);
  int cls = d->kind > 1 ? 1 : 0;
  run->writer->notestyle[cls] = d->style;
}

void cwnotenum(cvrun* run, int cls, intptr_t value, int enc) {
  cwnotes* n = notes(run);
  if (!n) return;
  cls = cls ? 1 : 0;
  freemark(run, n, cls);
  if (run->writer->notestyle[cls] != 10) {
    n->next[cls] = static_cast<int>(value);
    if (cls == 0) n->automatic = 0;
  } else {
    n->mark[cls] = cvstrdup(run, reinterpret_cast<const char*>(value), enc);
    n->markenc[cls] = enc;
  }
}

