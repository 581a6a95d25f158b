// Cross-references and links, and the operations that each write one record
// with no state behind it.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

namespace {

void strfield(cvrun* run, const char* s, int enc) {
  cwstr(run, s, enc);
  cwendfield(run);
}

void none(cvrun* run, int code) {
  cwflushpending(run);
  cwrecone(run, code);
}

void onestr(cvrun* run, int code, const char* s, int enc) {
  cwflushpending(run);
  cwrecbeg(run, code);
  strfield(run, s, enc);
  cwrecend(run);
}

void onenum(cvrun* run, int code, int v) {
  cwflushpending(run);
  cwdecrec(run, code, {v});
}

}  // namespace

void cwxref(cvrun* run, const cwxrefdesc* d) {
  cwrecbeg(run, 6744);
  cwparhex2(run, d->kind);
  cwparint(run, d->value);
  if (d->target) {
    cwstr(run, d->target, d->enc);
    if (d->value & 0x80) cvdepfile(run, d->target, d->enc, 8);
  } else if (d->version >= 2 && d->tstream >= 0) {
    cvsseek(run, d->tstream, 0);
    for (int c; (c = cvsgetc(run, d->tstream)) >= 0;) cvsputc(run, run->out, c);
  }
  cwendfield(run);
  if (d->text)
    cwstr(run, d->text, d->enc);
  else if (d->version >= 2 && d->xstream >= 0)
    cvscopy(run, d->xstream, run->out);
  cwendfield(run);
  cwrecend(run);
}

void cwr19843(cvrun* run) { none(run, 19843); }
void cwr12484(cvrun* run, const char* s, int enc) { onestr(run, 12484, s, enc); }
void cwr19876(cvrun* run, const char* s, int enc) { onestr(run, 19876, s, enc); }
void cwr19081(cvrun* run, const char* s, int enc) { onestr(run, 19081, s, enc); }
void cwr27885(cvrun* run, int v) { onenum(run, 27885, v); }
void cwr28909(cvrun* run) { none(run, 28909); }
void cwr29933(cvrun* run) { none(run, 29933); }
void cwr30957(cvrun* run, const char* s, int enc) { onestr(run, 30957, s, enc); }
void cwr31981(cvrun* run) { none(run, 31981); }
void cwr33005(cvrun* run) { none(run, 33005); }
void cwr34029(cvrun* run, const char* s, int enc) { onestr(run, 34029, s, enc); }
void cwr35053(cvrun* run) { none(run, 35053); }
void cwr36077(cvrun* run) { none(run, 36077); }
void cwr37101(cvrun* run, const char* s, int enc) { onestr(run, 37101, s, enc); }
void cwr1261(cvrun* run) { none(run, 1261); }
void cwr2285(cvrun* run) { none(run, 2285); }
void cwr3309(cvrun* run, const char* s, int enc) { onestr(run, 3309, s, enc); }
void cwr4333(cvrun* run) { none(run, 4333); }
void cwr5357(cvrun* run) { none(run, 5357); }
void cwr21010(cvrun* run) { none(run, 21010); }
void cwr19154(cvrun* run, const char* s, int enc) { onestr(run, 19154, s, enc); }
void cwr19155(cvrun* run, const char* s, int enc) { onestr(run, 19155, s, enc); }
void cwr9814(cvrun* run, const char* s, int enc) { onestr(run, 9814, s, enc); }
void cwr1552(cvrun* run) { none(run, 1552); }
void cwr13838(cvrun* run) { none(run, 13838); }
void cwr7694(cvrun* run, int v) { onenum(run, 7694, v); }

void cwr3603(cvrun* run, int v) {
  cwflushpending(run);
  cwhexrec(run, 3603, v);
}

void cwr16915(cvrun* run, int kind) {
  cwflushpending(run);
  cwrecbeg(run, 16915);
  cwparint(run, 0);
  cwparint(run, kind);
  cwparhex2(run, 0);
  cwparhex2(run, run->writer->size / 20);
  cwrecend(run);
}

void cwr16848(cvrun* run, int a, int b) {
  cwflushpending(run);
  cwdecrec(run, 16848, {a, b});
}

// Written where the reader stands, before formatting still pending.
void cwr7686(cvrun* run, int a, int b) { cwdecrec(run, 7686, {a, b}); }
