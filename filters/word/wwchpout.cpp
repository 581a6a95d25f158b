// Character formatting output: a CHP's language, font, size, attributes,
// raised and lowered text, colour, underline, spacing, direction and
// deleted-text region switched on at the start of a run and off at its end.
#include "filters/word/ww.h"

namespace {

// The on/off attributes in the order they are begun, with the writer's bit
// and the kind passed to it.
struct attr {
  int prop, bit, kind;
};
const attr kattrs[] = {
    {WC_BOLD, CW_BOLD, 500},     {WC_ITALIC, CW_ITALIC, 60}, {WC_DELETED, 0, 0},
    {WC_OUTLINE, CW_OUTLINE, 0}, {WC_SMALLCAPS, CW_SMALLCAPS, 0}, {WC_CAPS, CW_CAPS, 0},
    {WC_HIDDEN, 0x20000, 0},     {WC_RMARK, CW_REVISION, 0}, {WC_STRIKE, CW_STRIKE, 45},
    {WC_SHADOW, CW_SHADOW, 0},
};

bool on(const wwchp* c, int p) { return wwchpisset(c, p) && wwchpv(c, p) != 0; }

// The raised/lowered kind a CHP writes: 1 raised, 2 lowered, 0 none.
int supsubkind(const wwstate* w, const wwchp* c) {
  if (w->ver == 6) return on(c, WC_SUPSUB) ? wwchpv(c, WC_SUPSUB) : 0;
  if (w->ver == 1 || w->ver == 2) {
    if (!wwchpisset(c, WC_POS)) return 0;
    return wwchpv(c, WC_POS) > 0 ? 1 : 2;
  }
  return 0;
}

// Colours 1-15: intensity 8, red 4, green 2, blue 1.
const int kcolors[15] = {0, 9, 11, 10, 13, 12, 14, 15, 1, 3, 2, 5, 4, 6, 7};

}  // namespace

void wwlang(wwstate* w, int lang) { cwlang(w->run, lang); }

void wwfontemit(wwstate* w, int font) { cwfontname(w->run, wwfontname(w, font), wwfontenc(w)); }

void wwhpsemit(wwstate* w, int hps) { cwfontsize(w->run, (hps / 2) * 20); }

void wwdelon(wwstate* w) {
  if (w->delopen == 0) cwdelbegin(w->run);
  w->delopen = 1;
}

void wwdeloff(wwstate* w) {
  if (w->delopen == 1) cwdelend(w->run);
  w->delopen = 0;
}

void wwsupsub(wwstate* w, int kind, int pos) {
  if (kind != 1 && kind != 2) return;
  if (w->ver != 1 && w->ver != 2 && w->ver != 6) return;
  int off = cvpt2tw(kind == 1 ? pos / 2 : -(pos / 2));
  if (w->ver == 6) off += 60;
  cwattr(w->run, kind == 1 ? CW_SUPER : CW_SUB, 1, off);
}

void wwsupsuboff(wwstate* w, int kind) {
  if (kind == 1) cwattr(w->run, CW_SUPER, 0, 0);
  if (kind == 2) cwattr(w->run, CW_SUB, 0, 0);
}

void wwcolor(wwstate* w, int index) {
  // Indexes past the colour table (a full byte at level 6, five bits at
  // level 2) name no colour and write none.
  if (index == 16) {
    cwcolor(w->run, 1, 192, 192, 192);
    return;
  }
  if (index < 1 || index > 15) return;
  int code = kcolors[index - 1];
  int full = code & 8 ? 255 : 127;
  cwcolor(w->run, 1, code & 4 ? full : 0, code & 2 ? full : 0, code & 1 ? full : 0);
}

void wwcoloroff(wwstate* w) { cwcolor(w->run, 0, 0, 0, 0); }

void wwulkind(wwstate* w, int kind) {
  static const int kmap[5] = {-1, 1, 0, 3, 7};
  if (kind >= 1 && kind <= 4) cwattr(w->run, CW_UNDERLINE, 1, kmap[kind]);
}

void wwuloff(wwstate* w) {
  cwattr(w->run, CW_UNDERLINE, 0, 1);
  cwattr(w->run, CW_UNDERLINE, 0, 3);
}

void wwspaceon(wwstate* w, int twips) { cwattr(w->run, CW_VPOS, 1, twips); }
void wwspaceoff(wwstate* w) { cwattr(w->run, CW_VPOS, 0, 0); }
void wwrtlon(wwstate* w) { cwtextdir(w->run, 0, 1, 0); }
void wwrtloff(wwstate* w) { cwtextdir(w->run, 0, 0, 0); }

void wwchpon(wwstate* w, const wwchp* c, int nostyle) {
  if (w->ver == 6 && !nostyle) wwstyleemit(w, wwchpv(c, WC_CSTYLE));
  wwlang(w, wwchpv(c, WC_LANG));
  wwfontemit(w, wwchpv(c, WC_FONT));
  wwhpsemit(w, wwchpv(c, WC_SIZE));
  for (const attr& a : kattrs) {
    if (!on(c, a.prop)) continue;
    if (a.prop == WC_DELETED)
      wwdelon(w);
    else
      cwattr(w->run, a.bit, 1, a.kind);
  }
  if (int k = supsubkind(w, c)) wwsupsub(w, k, wwchpv(c, WC_POS));
  if (on(c, WC_COLOR)) wwcolor(w, wwchpv(c, WC_COLOR));
  if (on(c, WC_ULINE)) wwulkind(w, wwchpv(c, WC_ULINE));
  if (on(c, WC_SPACING)) wwspaceon(w, wwchpv(c, WC_SPACING));
  if (on(c, WC_RTL)) wwrtlon(w);
}

void wwchpoff(wwstate* w, const wwchp* c, int) {
  if (on(c, WC_RTL)) wwrtloff(w);
  if (on(c, WC_SPACING)) wwspaceoff(w);
  if (on(c, WC_ULINE)) wwuloff(w);
  if (on(c, WC_COLOR)) wwcoloroff(w);
  if (int k = supsubkind(w, c)) wwsupsuboff(w, k);
  for (int i = static_cast<int>(sizeof kattrs / sizeof *kattrs) - 1; i >= 0; i--) {
    const attr& a = kattrs[i];
    if (!on(c, a.prop)) continue;
    if (a.prop == WC_DELETED)
      wwdeloff(w);
    else
      cwattr(w->run, a.bit, 0, a.kind);
  }
  wwlang(w, 1033);
}
