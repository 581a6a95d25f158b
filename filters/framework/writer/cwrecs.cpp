// Record writers several readers share (date formats, line numbering, text
// direction, includes, paragraph borders, value lists, generated text and a
// few markers), and the 4-bit colour codes.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

namespace {

// A record without fields, after the pending format.
void marker(cvrun* run, int code) {
  cwflushpending(run);
  cwrecone(run, code);
}

}  // namespace

void cwdatefmt(cvrun* run, const int* codes) {
  cwflushpending(run);
  cwrecbeg(run, 6788);
  int n = 0;
  for (; *codes >= 0; codes++) {
    int c = *codes;
    if (c >= 267) continue;
    cwparhex2(run, c < 256 ? c : c < 266 ? '0' + c - 256 : 1);
    n++;
  }
  for (; n < 30; n++) cwparhex2(run, 0);
  cwrecend(run);
}

void cwlinenum(cvrun* run, const cwlinedesc* d) {
  cwflushpending(run);
  int flags = (d->bit0 ? 0x80 : 0) | (d->bit1 ? 0x40 : 0) | (d->bit2 ? 0x20 : 0) | d->low;
  cwrecbeg(run, 14739);
  cwparhex2(run, 0);
  cwparhex2(run, 0);
  cwparhex2(run, flags);
  cwparhex2(run, d->interval / 144);
  cwparint(run, d->start);
  cwparint(run, d->mode >= 2 ? d->restart : 0);
  cwrecend(run);
}

void cwtextdir(cvrun* run, int flag, int on, int scope) {
  cwflushpending(run);
  cwdecrec(run, 18580, {flag, on, scope});
  if (flag != 0) return;
  if (on == 1) cwdecrec(run, 12946, {scope});
  if (on == 0) cwdecrec(run, 19084, {scope});
}

void cwfileinc(cvrun* run, const char* name, int enc, int kind) {
  cwflushpending(run);
  if (!name) return;
  if (kind < 2) cvdepfile(run, name, enc, 4);
  cwrecbeg(run, 3366);
  cwstr(run, name, enc);
  cwendfield(run);
  cwparint(run, kind);
  cwrecend(run);
}

void cwsheetinc(cvrun* run, const char* name, int enc) {
  cwflushpending(run);
  if (!name) return;
  cvdepfile(run, name, enc, 5);
  cwrecbeg(run, 20073);
  cwstr(run, name, enc);
  cwendfield(run);
  cwrecend(run);
}

void cwbordon(cvrun* run, const cwborddesc* d) {
  cwflushpending(run);
  cwrecbeg(run, 16964);
  cwparint(run, 1);
  for (int32_t v : d->v) cwparint(run, v);
  cwparhex4(run, cwnibbles(d->side));
  cwparint(run, d->last);
  cwrecend(run);
}

void cwbordoff(cvrun* run) {
  cwflushpending(run);
  cwdecrec(run, 16964, {0});
}

void cwvallist(cvrun* run, const int* values, int decimal) {
  cwflushpending(run);
  cwrecbeg(run, 16878);
  for (; *values != -1; values++) {
    if (decimal)
      cwparint(run, *values);
    else
      cwparhex2(run, *values);
  }
  cwrecend(run);
}

void cwgenbeg(cvrun* run, const cwgendesc* d) {
  cwflushpending(run);
  cwrecbeg(run, 20706);
  cwparint(run, d->kind);
  cwparint(run, d->subtype);
  if (d->kind == 3) {
    cwstr(run, d->str1, d->enc);
    cwendfield(run);
    cwparint(run, d->num);
    cwstr(run, d->str2, d->enc);
    cwendfield(run);
  }
  cwrecend(run);
}

void cwgenend(cvrun* run) { marker(run, 20709); }
void cwr23811(cvrun* run) { marker(run, 23811); }
void cwr9826(cvrun* run) { marker(run, 9826); }
void cwr9829(cvrun* run) { marker(run, 9829); }

void cwr3660(cvrun* run, const int32_t* words) {
  cwflushpending(run);
  cwdecrec(run, 3660, {words[1], words[2], words[3], words[4], words[5]});
}

void cwcharbord(cvrun*, int, int) {}

int cvrgb2ico(int r, int g, int b) {
  int code = (r ? 4 : 0) | (g ? 2 : 0) | (b ? 1 : 0);
  if (r >= 128 || g >= 128 || b >= 128) code |= 8;
  return code;
}

void cvico2rgb(int code, int* r, int* g, int* b) {
  int v = code & 8 ? 255 : 127;
  if (code & 4) *r = v;
  if (code & 2) *g = v;
  if (code & 1) *b = v;
}
