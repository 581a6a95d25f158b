// Fields: a begin record with the field's code, the result text, the
// arguments and an end record; up to five enclosing fields are kept.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

#include <cstring>

namespace {

cwstate* writer(cvrun* run) { return run->writer; }

void release(cvrun* run, cwfieldstate* f) {
  if (!f) return;
  for (char* a : f->args) cwrelease(run, a);
  cvfree(run, f);
}

cwfieldstate* fresh(cvrun* run) {
  auto* f = static_cast<cwfieldstate*>(cvalloc(run, sizeof(cwfieldstate)));
  if (f) {
    std::memset(f, 0, sizeof *f);
    for (int32_t& h : f->streams) h = -1;
  }
  return f;
}

}  // namespace

int cwfldpush(cvrun* run) {
  cwstate* w = writer(run);
  if (!w->field) {
    cwfldinit(run);
    if (!(w->field = fresh(run))) {
      cvdelcleanup(run, cwfldfree);
      return -1;
    }
    return 0;
  }
  // A sixth nested field would take the place of the innermost: refused.
  if (w->nfields >= CW_NNEST) return -1;
  cwfieldstate* saved = fresh(run);
  if (!saved) return -1;
  *saved = *w->field;
  w->fields[w->nfields++] = saved;
  std::memset(w->field, 0, sizeof *w->field);
  for (int32_t& h : w->field->streams) h = -1;
  return 0;
}

void cwfldpop(cvrun* run) {
  cwstate* w = writer(run);
  release(run, w->field);
  w->field = nullptr;
  if (w->nfields == 0) {
    cvdelcleanup(run, cwfldfree);
    return;
  }
  w->field = w->fields[--w->nfields];
  w->fields[w->nfields] = nullptr;
}

void cwfldbeg(cvrun* run, const cwfielddesc* d) {
  cwstate* w = writer(run);
  cwflushpending(run);
  if (cwfldpush(run) < 0) {
    // Counted: its end then closes nothing around it.
    w->fieldover++;
    return;
  }
  cwfieldstate* f = w->field;
  f->version = d->version;
  f->kind = d->kind;
  f->subtype = d->subtype;
  f->closed = d->closed;
  cwrecbeg(run, 20898);
  cwparhex2(run, cwfieldcode(d->kind, d->subtype, 0));
  if (d->closed) cvsputc(run, run->out, COM_RS);
  if (d->version < 2) return;
  if (d->args[0]) {
    f->enc = d->enc;
    for (int i = 0; i < 5; i++) f->args[i] = d->args[i] ? cvstrdup(run, d->args[i], d->enc) : nullptr;
  } else if (d->streams[0] != -1) {
    for (int i = 0; i < 5; i++) f->streams[i] = d->streams[i];
  }
}

void cwfldend(cvrun* run) {
  cwstate* w = writer(run);
  if (w->fieldover > 0) {
    w->fieldover--;
    return;
  }
  cwfieldstate* f = w->field;
  if (!f) return;
  bool streams = f->streams[0] != -1;
  if (f->version >= 2) {
    for (int i = 0; i < 5; i++) {
      if (streams) {
        if (f->streams[i] == -1) break;
        cvscopy(run, f->streams[i], run->out);
      } else {
        if (!f->args[i]) break;
        cwstr(run, f->args[i], f->enc);
      }
      cwendfield(run);
    }
  }
  if (!f->closed) {
    if (f->version < 2 || (!streams && !f->args[0])) cwendfield(run);
    cvsputc(run, run->out, COM_RS);
  }
  cwhexrec(run, 20901, cwfieldcode(f->kind, f->subtype, 1));
  cwfldpop(run);
}

void cwfldinit(cvrun* run) {
  cwstate* w = writer(run);
  w->field = nullptr;
  for (cwfieldstate*& s : w->fields) s = nullptr;
  w->nfields = 0;
  cvaddcleanup(run, cwfldfree);
}

void cwfldfree(cvrun* run) {
  cwstate* w = writer(run);
  if (!w) return;
  release(run, w->field);
  w->field = nullptr;
  while (w->nfields > 0) {
    release(run, w->fields[--w->nfields]);
    w->fields[w->nfields] = nullptr;
  }
  w->fieldover = 0;
}
