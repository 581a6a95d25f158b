// Form records: a form's start and end, and one record per control whose
// fields depend on the control's type.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

namespace {

const char* strword(const cwctldesc* c, int i) { return reinterpret_cast<const char*>(c->word[i]); }
int intword(const cwctldesc* c, int i) { return static_cast<int>(c->word[i]); }

// A string field: the string in its encoding (empty when absent), then US.
void strfield(cvrun* run, const char* s, int enc) {
  cwstr(run, s, enc);
  cwendfield(run);
}

void ints(cvrun* run, const cwctldesc* c, std::initializer_list<int> words) {
  for (int i : words) cwparint(run, intword(c, i));
}

// Head A: the type, the name (word 3 in the encoding of word 4), word 5.
void heada(cvrun* run, const cwctldesc* c) {
  cwparint(run, intword(c, 1));
  strfield(run, strword(c, 3), intword(c, 4));
  cwparint(run, intword(c, 5));
}

// Head B: the type, word 3, the string of word 4 in the encoding of word 5.
void headb(cvrun* run, const cwctldesc* c) {
  ints(run, c, {1, 3});
  strfield(run, strword(c, 4), intword(c, 5));
}

}  // namespace

void cwform(cvrun* run, int start, const cwformdesc* f) {
  cwflushpending(run);
  cwrecbeg(run, 13894);
  if (start == 1 && f) {
    cwparint(run, 1);
    cwparint(run, f->post == 1 ? 1 : 0);
    strfield(run, f->action, f->actionenc);
    strfield(run, f->enctype, f->enctypeenc);
  } else {
    cwparint(run, 0);
  }
  cwrecend(run);
}

void cwformfield(cvrun* run, const cwctldesc* c) {
  cwflushpending(run);
  int type = intword(c, 1);
  if (type < 0 || type > 9) return;
  cwrecbeg(run, 16841);
  switch (type) {
    case 0:
      heada(run, c);
      ints(run, c, {6, 7});
      strfield(run, strword(c, 8), intword(c, 9));
      ints(run, c, {10, 11});
      break;
    case 1:
      heada(run, c);
      cwparint(run, intword(c, 6));
      strfield(run, strword(c, 7), intword(c, 8));
      ints(run, c, {9, 10});
      break;
    case 2:
    case 3:
      heada(run, c);
      strfield(run, strword(c, 6), intword(c, 7));
      break;
    case 4:
      heada(run, c);
      if (intword(c, 5) == 1) ints(run, c, {6, 7, 8});
      break;
    case 5:
      headb(run, c);
      strfield(run, strword(c, 6), intword(c, 7));
      break;
    case 6:
      headb(run, c);
      break;
    case 7: {
      headb(run, c);
      int format = 699;
      if (const char* name = strword(c, 6)) {
        int exists = 0;
        char* file = cwresolve(run, name, &exists);
        strfield(run, file ? file : name, intword(c, 7));
        int extra = 0;
        if (exists && file) format = cvfmtid(run, file, &extra);
        if (format < 500 || format > 699) format = 699;
        if (file) cvfree(run, file);
      } else {
        cwendfield(run);
      }
      cwparint(run, 0);
      ints(run, c, {10, 11});
      cwparint(run, format);
      for (int i = 0; i < 5; i++) cwparint(run, 0);
      ints(run, c, {8, 9});
      break;
    }
    case 8:
      heada(run, c);
      cwparint(run, intword(c, 6));
      strfield(run, strword(c, 7), intword(c, 8));
      break;
    case 9:
      cwparint(run, 9);
      strfield(run, strword(c, 3), intword(c, 6));
      strfield(run, strword(c, 5), intword(c, 6));
      break;
  }
  cwrecend(run);
}
