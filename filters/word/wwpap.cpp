// Paragraph property records: the defaults of a paragraph, and the decoders
// of the stored borders (current and old form), shadings and number
// descriptors.
#include <cstring>

#include "filters/word/ww.h"

namespace {

// Shading patterns of the 2.5-percent steps of a level-5 shading value.
const int kpct[41] = {0,  35, 2,  36, 3,  37, 38, 39, 4,  40, 5,  41, 6,  42, 43, 44, 7,  45, 46, 47, 8,
                      48, 49, 50, 9,  51, 52, 53, 10, 54, 11, 55, 12, 56, 57, 58, 13, 59, 60, 61, 1};

}  // namespace

void wwpapinit(wwstate*, wwpap* p) {
  std::memset(p, 0, sizeof *p);
  p->dyaLine = 240;
  p->fWidowControl = 1;
  p->fWidowControlset = 1;
  p->anld.iStartAt = 1;
}

void wwbrcread(wwstate* w, wwbrc* b, const unsigned char* stored) {
  std::memset(b, 0, sizeof *b);
  if (stored[0] == 0xFF && stored[1] == 0xFF) return;
  unsigned v = wwbufw(w, stored);
  b->dxpLineWidth = static_cast<int32_t>(v & 7);
  b->brcType = static_cast<int32_t>((v >> 3) & 3);
  b->ico = static_cast<int32_t>((v >> 6) & 31);
  b->dxpSpace = static_cast<int32_t>((v >> 11) & 31);
}

void wwbrcoldread(wwstate* w, wwbrc* b, const unsigned char* stored) {
  unsigned v = wwbufw(w, stored);
  int w2 = v & 7, gap = (v >> 3) & 7, w1 = (v >> 6) & 7;
  b->ico = 0;
  b->dxpSpace = static_cast<int32_t>((v >> 9) & 31);
  static const int ktype[8] = {0, 1, 2, 0, 2, 0, 0, 1}, kwidth[8] = {0, 2, 2, 0, 4, 0, 6, 1};
  b->brcType = w1 == 1 && (w2 || gap) ? 3 : ktype[w1];
  b->dxpLineWidth = kwidth[w1];
}

void wwshdread(wwstate* w, wwshd* s, const unsigned char* stored) {
  unsigned v = wwbufw(w, stored);
  if (w->ver == 5) {
    unsigned k = v / 250;
    s->ipat = kpct[k > 40 ? 40 : k];
    s->icoBack = s->icoFore = 0;
    return;
  }
  s->icoFore = static_cast<int32_t>(v & 31);
  s->icoBack = static_cast<int32_t>((v >> 5) & 31);
  s->ipat = static_cast<int32_t>((v >> 10) & 63);
}

void wwanldread(wwstate* w, wwanld* a, const unsigned char* b) {
  a->nfc = b[0];
  a->cxchTextBefore = b[1];
  a->cxchTextAfter = b[2];
  a->jc = b[3] & 3;
  a->fPrev = (b[3] >> 2) & 1;
  a->fHang = (b[3] >> 3) & 1;
  a->fSetBold = (b[3] >> 4) & 1;
  a->fSetItalic = (b[3] >> 5) & 1;
  a->fSetSmallCaps = (b[3] >> 6) & 1;
  a->fSetCaps = (b[3] >> 7) & 1;
  a->fSetStrike = b[4] & 1;
  a->fSetKul = (b[4] >> 1) & 1;
  a->fBold = (b[4] >> 3) & 1;
  a->fItalic = (b[4] >> 4) & 1;
  a->fSmallCaps = (b[4] >> 5) & 1;
  a->fCaps = (b[4] >> 6) & 1;
  a->fStrike = (b[4] >> 7) & 1;
  a->kul = b[5] & 7;
  a->ico = b[5] >> 3;
  a->ftc = wwbufsw(w, b + 6);
  a->hps = wwbufsw(w, b + 8);
  a->iStartAt = static_cast<int32_t>(wwbufw(w, b + 10));
  a->dxaIndent = wwbufsw(w, b + 12);
  a->dxaSpace = static_cast<int32_t>(wwbufw(w, b + 14));
  std::memcpy(a->rgch, b + 20, 32);
}

void wwbrcset(wwbrc* b, int type, int width, int colour, int space) {
  if (type != -1) b->brcType = type;
  if (width != -1) b->dxpLineWidth = width;
  if (colour != -1) b->ico = colour;
  if (space != -1) b->dxpSpace = space;
}
