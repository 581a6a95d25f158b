// The font table of a run, numbered in declaration order; selecting fonts
// and sizes, the font-change record, the code page of the text, and the
// case-insensitive search that font names are classified with.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

#include <cstring>

namespace {

constexpr int kfallbacksize = 240;  // 12 points, where a font gives no size

cwstate* writer(cvrun* run) { return run->writer; }

// Marks the font changed and rebuilds the width table for a style.
void selected(cvrun* run, int style) {
  cwstate* w = writer(run);
  cwcharpend(run, CW_CFONT);
  if (!w->nowidth && w->font) cwwidthtab(run, w->font->name, w->size, style, w->font->enc);
}

}  // namespace

int cwfontdef(cvrun* run, const cvfontdesc* d) {
  if (cwfont* f = cwfontfind(run, d->name, d->enc)) return f->num;
  return cwfontadd(run, d);
}

int cwfontadd(cvrun* run, const cvfontdesc* d) {
  cwstate* w = writer(run);
  char* name = cvstrdup(run, d->name, d->enc);
  if (!name) return -1;
  auto* f = static_cast<cwfont*>(cvalloc(run, sizeof(cwfont)));
  if (!f) {
    cvfree(run, name);
    return -1;
  }
  *f = {name, w->nfonts++, d->vala, d->family, d->pitch, d->enc, d->dflt, d->dfltsize, nullptr};
  if (w->fontlast)
    w->fontlast->next = f;
  else
    w->fonts = f;
  w->fontlast = f;
  return f->num;
}

cwfont* cwfontfind(cvrun* run, const char* name, int enc) {
  if (enc < CW_ENC16 || enc > CW_ENCBYTE) return nullptr;
  for (cwfont* f = writer(run)->fonts; f; f = f->next)
    if (f->name && f->enc == enc && cvstreq(run, f->name, name, enc) == 1) return f;
  return nullptr;
}

int cwfontbyid(cvrun* run, const char* name, int enc) {
  cwfont* f = cwfontfind(run, name, enc);
  return f ? f->num : -1;
}

cwfont* cwfontnum(cvrun* run, int num) {
  for (cwfont* f = writer(run)->fonts; f; f = f->next)
    if (f->num == num) return f;
  return nullptr;
}

cwfont* cwfontdfl(cvrun* run) {
  cwfont* first = writer(run)->fonts;
  for (cwfont* f = first; f; f = f->next)
    if (f->dflt == 1) return f;
  if (first) {
    first->dflt = 1;
    first->dfltsize = kfallbacksize;
  }
  return first;
}

int cwfontname(cvrun* run, const char* name, int enc) {
  cwfont* f = cwfontfind(run, name, enc);
  if (!f) return 0;
  writer(run)->font = f;
  selected(run, cwstylebits(run));
  return 1;
}

int cwfontsel(cvrun* run, int num) {
  cwfont* f = cwfontnum(run, num);
  if (!f) return 0;
  writer(run)->font = f;
  selected(run, cwstylebits(run));
  return 1;
}

void cwfontsize(cvrun* run, int size) {
  cwstate* w = writer(run);
  w->size = size;
  if (!w->font) {
    if (cwfont* d = cwfontdfl(run)) w->font = d;
  }
  selected(run, cwstylebits(run));
}

int cwfontsize2(cvrun* run, int num, int size) {
  cwfont* f = cwfontnum(run, num);
  if (!f) return 0;
  writer(run)->font = f;
  writer(run)->size = size;
  selected(run, 0);
  return 1;
}

void cwfontdflsel(cvrun* run) {
  cwfont* d = cwfontdfl(run);
  if (!d) return;
  // A font that gives no default size of its own is selected at 12 points.
  cwfontsize2(run, d->num, d->dfltsize > 0 ? d->dfltsize : kfallbacksize);
}

void cwfontrec(cvrun* run) {
  cwstate* w = writer(run);
  cwfont* f = w->font;
  if (!f) return;
  if (w->size <= 0) w->size = f->dfltsize > 0 ? f->dfltsize : kfallbacksize;
  if (f == w->fontw && w->size == w->sizew) return;
  cwfontrecof(run, f, w->size);
  w->fontw = f;
  w->sizew = w->size;
}

void cwfontrecof(cvrun* run, const cwfont* f, int size) {
  cwrecbeg(run, 6675);
  cwparint(run, 0);
  cwparint(run, 0);
  cwparint(run, cvtw2cpi(size));
  cwparint(run, f->num);
  cwparint(run, size);
  cwstr(run, f->name, f->enc);
  cwendfield(run);
  if (f->pitch != -1) cwparint(run, f->pitch);
  if (f->family != -1) cwparint(run, f->family);
  cwrecend(run);
}

void cwcodepage(cvrun* run, int cp) {
  if (cp == run->codepage) return;
  run->codepage = cp;
  cvunctab(run, cp, 1);
}

void cwfontfree(cvrun* run) {
  cwstate* w = writer(run);
  if (!w) return;
  for (cwfont* f = w->fonts; f;) {
    cwfont* next = f->next;
    cvfree(run, f->name);
    cvfree(run, f);
    f = next;
  }
  w->fonts = w->fontlast = w->font = w->fontw = nullptr;
  w->nfonts = 0;
}

int cvstriprefix(const char* s, const char* text) {
  for (; *text; s++, text++)
    if (!*s || cvtoupper(static_cast<unsigned char>(*s)) != cvtoupper(static_cast<unsigned char>(*text)))
      return 0;
  return 1;
}

const char* cvstristr(const char* s, const char* text) {
  if (!s || !text) return nullptr;
  for (; *s; s++)
    if (cvstriprefix(s, text)) return s;
  return nullptr;
}
