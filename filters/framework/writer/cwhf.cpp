// Headers and footers: the begin record with the text width, the text as a
// sub-document, and the common end record that tells on which pages it
// stands. The description is held until the end, which writes its values.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

namespace {

cwstate* writer(cvrun* run) { return run->writer; }

void hfbeg(cvrun* run, const cwhfdesc* d, bool header) {
  cwstate* w = writer(run);
  cwflushpending(run);
  cwprolcheck(run);
  if (!w->hf) {
    cwhfinit(run);
    w->hf = static_cast<cwhfdesc*>(cvalloc(run, sizeof(cwhfdesc)));
    if (!w->hf) {
      // Remembered, so that the matching end closes nothing around it.
      cvdelcleanup(run, cwhffree);
      w->hfover++;
      return;
    }
  }
  *w->hf = *d;
  int right = w->page.width - w->para.rmar;
  cwrecbeg(run, header ? 29896 : 28872);
  cwparhex2(run, 0);
  for (int v : {0, w->para.lmar / 144, right / 144, 0, 1, w->para.lmar, right}) cwparint(run, v);
  cwrecend(run);
  cwsubbegin(run, header ? 4 : 5);
}

// The end record of the held description, which is then let go.
void hfrec(cvrun* run, bool header) {
  cwstate* w = writer(run);
  const cwhfdesc& d = *w->hf;
  int f = d.occur & 3;
  int code = f == 3 ? 4 : f == 2 ? 16 : 8;
  if (header ? d.which != 0 : d.which != 2) code += 1;
  if (!header) code += 2;
  cwrecbeg(run, 24776);
  cwparint(run, 0);
  cwparhex2(run, code);
  cwparint(run, d.v5);
  cwparint(run, d.v3);
  cwrecend(run);
  cwhffree(run);
  cvdelcleanup(run, cwhffree);
}

// Whether an end has a begin to close: not one that was refused.
bool ending(cvrun* run) {
  cwstate* w = writer(run);
  if (w->hfover > 0) {
    w->hfover--;
    return false;
  }
  return w->hf && cwsubopen(run) > 0;
}

}  // namespace

void cwheadbeg(cvrun* run, const cwhfdesc* d) { hfbeg(run, d, true); }
void cwfootbeg(cvrun* run, const cwhfdesc* d) { hfbeg(run, d, false); }

void cwheadend(cvrun* run) {
  if (!ending(run)) return;
  cwsubclose(run);
  cwsubend(run);
  hfrec(run, true);
  cwalignrec(run);
}

void cwfootend(cvrun* run) {
  if (!ending(run)) return;
  cwsubclose(run);
  hfrec(run, false);
  cwsubend(run);
  cwalignrec(run);
}

void cwhfstop(cvrun* run, int which) {
  static const int codes[] = {0x20, 0x02, 0x10, 0x01};
  cwrecbeg(run, 4296);
  if (which >= 0 && which <= 3) cwparhex2(run, codes[which]);
  cwrecend(run);
}

void cwhfinit(cvrun* run) {
  writer(run)->hf = nullptr;
  cvaddcleanup(run, cwhffree);
}

void cwhffree(cvrun* run) {
  cwstate* w = writer(run);
  if (!w) return;
  cwrelease(run, w->hf);
  w->hf = nullptr;
}
