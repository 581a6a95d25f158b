// Character format: the setters of attributes, colours, line height,
// language, shading and borders, which only mark the format pending, and the
// off, change and on records the flush writes for what differs from the
// written copy.
#include "filters/framework/writer/cw.h"
#include "filters/framework/writer/cwint.h"

#include <cstring>

namespace {

// How an attribute's on record carries its value.
enum onform { knone, kvalue, kstrike, kuline, kvpos };

// The attributes by slot: the cwattr bit, the on and off records.
const struct {
  int bit;
  int onrec;
  int offrec;
  onform form;
} kattrs[CW_NATTR] = {
    {CW_BOLD, 20546, 20549, kvalue},      {CW_UNDERLINE, 12962, 12965, kuline},
    {CW_UNDERLINE, 21634, 21637, knone},  {CW_ITALIC, 16009, 6793, kvalue},
    {CW_STRIKE, 15970, 15973, kstrike},   {CW_CAPS, 21602, 21605, knone},
    {CW_SMALLCAPS, 19554, 19557, knone},  {CW_SUPER, 19987, 19973, kvalue},
    {CW_SUB, 19539, 19525, kvalue},       {CW_OUTLINE, 12770, 12773, knone},
    {CW_REVISION, 12866, 12869, knone},   {CW_SHADOW, 16994, 16997, knone},
    {CW_VPOS, 18603, 18789, kvpos},       {4096, 16920, 16920, knone},
    {8192, 16899, 16899, knone},          {0x4000, 16642, 16645, knone},
    {0x8000, 23106, 23109, knone},        {0x10000, 12482, 12485, knone},
    {0x20000, 20738, 20741, knone},       {0x40000, 19044, 19044, knone},
};
constexpr int kbold = 0, kuline1 = 1, kuline2 = 2, kitalic = 3, kvposslot = 12;

cwstate* writer(cvrun* run) { return run->writer; }

// The slot of an attribute bit; underline by its kind: 2 and 3 double.
int slotof(int bit, int value) {
  if (bit == CW_UNDERLINE) return value == 2 || value == 3 ? kuline2 : kuline1;
  for (int i = 0; i < CW_NATTR; i++)
    if (kattrs[i].bit == bit) return i;
  return -1;
}

// An attribute's on record; the single underline with its kind when asked.
void onrec(cvrun* run, int slot, int value, bool ulfields) {
  int code = kattrs[slot].onrec;
  switch (kattrs[slot].form) {
    case knone:
      cwrecone(run, code);
      break;
    case kvalue:
      cwdecrec(run, code, {value});
      break;
    case kstrike:
      // The strike character travels as one raw byte.
      cwrecbeg(run, code);
      cvsputc(run, run->out, value & 0xFF);
      cwendfield(run);
      cwrecend(run);
      break;
    case kuline:
      cwrecbeg(run, code);
      if (ulfields) {
        cwparint(run, value % 2 == 0 ? 1 : 0);
        if (value >= 0 && value <= 15) cwparint(run, value / 2 + 1);
      }
      cwrecend(run);
      break;
    case kvpos:
      cwdecrec(run, code, {value < 0 ? 0 : 1, value < 0 ? -value : value});
      break;
  }
}

bool nocolour(const int32_t* c) { return c[0] == -1 && c[1] == -1 && c[2] == -1; }
bool complete(const int32_t* c) { return c[0] != -1 && c[1] != -1 && c[2] != -1; }

bool colourschanged(const cwcharfmt& p, const cwcharfmt& w) {
  return std::memcmp(p.c1, w.c1, sizeof p.c1) != 0 || std::memcmp(p.c2, w.c2, sizeof p.c2) != 0;
}

void setcolour(int32_t* c, int flag, int r, int g, int b) {
  c[0] = flag == 1 ? r : -1;
  c[1] = flag == 1 ? g : -1;
  c[2] = flag == 1 ? b : -1;
}

// Sets or clears one of the colours: a change, or something switched off.
void changecolour(cvrun* run, int32_t* c, int flag, int r, int g, int b) {
  setcolour(c, flag, r, g, b);
  cwcharpend(run, flag == 1 ? CW_CVALUE : CW_COFF);
}

// The colour code of the change record: bits by thresholds of 64 and 192,
// every component below 64 (and a missing one) made 0.
int colourcode(int32_t* c, const int (&mid)[3], const int (&high)[3]) {
  int code = 0;
  for (int i = 0; i < 3; i++) {
    if (c[i] >= 192)
      code += high[i];
    else if (c[i] >= 64)
      code += mid[i];
    else
      c[i] = 0;
  }
  return code;
}

bool newlyon(const cwcharfmt& p, const cwcharfmt& w, int slot) { return p.attr[slot].on && !w.attr[slot].on; }

// The words of a change set's attribute group by slot: the on word and the
// value word (0: none), as word positions of the set.
const struct {
  int on;
  int val;
} ksetwords[CW_NATTR] = {{1, 2},  {3, 4},  {5, 4},  {7, 8},  {9, 10}, {11, 0}, {12, 0},
                         {13, 14}, {15, 16}, {17, 0}, {18, 0}, {19, 0}, {20, 21}, {22, 0},
                         {24, 0}, {26, 0}, {27, 0}, {28, 0}, {29, 0}, {30, 0}};

bool seton(const cwchfmt* c, int slot) { return c->attr[ksetwords[slot].on - 1] != 0; }
int setval(const cwchfmt* c, int slot) { return ksetwords[slot].val ? c->attr[ksetwords[slot].val - 1] : 0; }

// Rebuilds the width table for the current bold and italic style.
void restyle(cvrun* run) {
  cwstate* w = writer(run);
  if (!w->nowidth && w->font) cwwidthtab(run, w->font->name, w->size, cwstylebits(run), w->font->enc);
}

void clearcolours(cwcharfmt& f) {
  setcolour(f.c1, 0, 0, 0, 0);
  setcolour(f.c2, 0, 0, 0, 0);
}

}  // namespace

void cwattr(cvrun* run, int bit, int on, int value) {
  cwstate* w = writer(run);
  w->pending |= CW_PCHAR;
  int slot = slotof(bit, value);
  if (slot < 0) return;
  if (on) {
    w->chr.sub |= CW_CVALUE;
    w->chr.attr[slot].on = 1;
    w->chr.attr[slot].val = value;
    if (bit == CW_UNDERLINE) w->chr.ulstyle = value == 0 ? 0 : value == 2 ? 1 : value == 3 ? 3 : 2;
  } else {
    w->chr.attr[slot].on = 0;
    w->chr.sub |= CW_COFF;
  }
  if (bit == CW_BOLD || bit == CW_ITALIC) restyle(run);
}

void cwcolor(cvrun* run, int flag, int r, int g, int b) { changecolour(run, writer(run)->chr.c1, flag, r, g, b); }

void cwbgcolor(cvrun* run, int flag, int r, int g, int b) { changecolour(run, writer(run)->chr.c2, flag, r, g, b); }

void cwlinehgt(cvrun* run, int twips) {
  cwstate* w = writer(run);
  if (w->chr.linehgt == twips) return;
  w->chr.linehgt = twips;
  cwcharpend(run, CW_CVALUE);
}

void cwlang(cvrun* run, int lang) {
  cwstate* w = writer(run);
  if (w->chr.lang == lang) return;
  w->chr.lang = lang;
  cwcharpend(run, CW_CVALUE);
}

void cwcharshade(cvrun* run, const cvshade* shade) {
  cwstate* w = writer(run);
  w->chr.shade = shade->v;
  cwcharpend(run, CW_CVALUE);
}

void cwcharbline(cvrun* run, int side, int kind) {
  cwstate* w = writer(run);
  if (side < 0 || side > 3 || w->chr.bord[side] == kind) return;
  w->chr.bord[side] = kind;
  cwcharpend(run, CW_CVALUE);
}

void cwcharbrgb(cvrun* run, int side, int r, int g, int b) {
  cwstate* w = writer(run);
  if (side >= 0 && side <= 3) {
    const int v[3] = {r, g, b};
    for (int i = 0; i < 3; i++) w->chr.brgb[side][i] = v[i] < 0 ? 0 : v[i] > 255 ? 255 : v[i];
  }
  cwcharpend(run, CW_CVALUE);
}

void cwattroff(cvrun* run) {
  cwstate* w = writer(run);
  const cwcharfmt& p = w->chr;
  const cwcharfmt& c = w->chrw;
  if (colourschanged(p, c) && (nocolour(p.c1) || nocolour(p.c2))) cwrecone(run, 12389);
  for (int i = 0; i < CW_NATTR; i++)
    if (c.attr[i].on == 1 && p.attr[i].on == 0) cwrecone(run, kattrs[i].offrec);
}

void cwcharrec(cvrun* run) {
  cwstate* w = writer(run);
  cwcharfmt& p = w->chr;
  const cwcharfmt& c = w->chrw;
  if (p.linehgt != c.linehgt) cwdecrec(run, 8652, {p.linehgt});
  if (std::memcmp(p.bord, c.bord, sizeof p.bord) != 0) {
    // Code 0 on every side, whatever colours the format holds.
    static const int32_t kcolourless[4][3] = {};
    cwbordrec(run, 2, cwnibbles(p.bord), kcolourless);
  }
  if (p.shade.pct != c.shade.pct) cwshaderec(run, 0, p.shade);
  if (colourschanged(p, c) && (complete(p.c1) || complete(p.c2))) cwcolourrec(run, p.c1, p.c2);
  if (p.lang != c.lang) cwdecrec(run, 7571, {p.lang});
  for (int i = 0; i < CW_NATTR; i++) {
    if (i == kuline1 && (p.attr[kuline1].on || p.attr[kuline2].on)) {
      // The underline style goes with every change while an underline is on.
      cwdecrec(run, 14003, {0, p.ulstyle});
    }
    if (i == kvposslot && p.attr[i].on) {
      // A new offset of a raised or lowered run ends the old one first.
      bool was = c.attr[i].on;
      if (was && c.attr[i].val != p.attr[i].val) {
        cwrecone(run, kattrs[i].offrec);
        was = false;
      }
      if (!was) onrec(run, i, p.attr[i].val, true);
      continue;
    }
    if (newlyon(p, c, i)) onrec(run, i, p.attr[i].val, true);
  }
  w->chrw = p;
}

void cwcharflush(cvrun* run) {
  cwstate* w = writer(run);
  if (w->chr.sub & CW_CFONT) cwfontrec(run);
  if (w->chr.sub & CW_CVALUE) cwcharrec(run);
  w->chrw = w->chr;
}

void cwcharreset(cvrun* run) {
  cwstate* w = writer(run);
  int32_t style = w->chr.charstyle;
  std::memset(&w->chr, 0, sizeof w->chr);
  clearcolours(w->chr);
  w->chr.lang = w->deflang;
  w->font = cwfontdfl(run);
  cwattroff(run);
  cwcharrec(run);
  w->chr.ulstyle = 2;
  clearcolours(w->chrw);
  w->chrw.ulstyle = -1;
  w->chr.charstyle = style;
}

void cwattrallof(cvrun* run) {
  cwstate* w = writer(run);
  for (int i = 0; i < CW_NATTR; i++)
    if (w->chr.attr[i].on) cwrecone(run, kattrs[i].offrec);
}

void cwattrallon(cvrun* run) {
  cwstate* w = writer(run);
  // The font record is written whatever was written before.
  w->fontw = nullptr;
  cwfontrec(run);
  for (int i = 0; i < CW_NATTR; i++)
    if (w->chr.attr[i].on) onrec(run, i, w->chr.attr[i].val, false);
}

void cwcharinit(cvrun* run) {
  cwstate* w = writer(run);
  std::memset(&w->chr, 0, sizeof w->chr);
  std::memset(&w->chrw, 0, sizeof w->chrw);
  w->fontw = nullptr;
  w->sizew = 0;
  clearcolours(w->chr);
  clearcolours(w->chrw);
  w->chr.ulstyle = 2;
  w->chrw.ulstyle = -1;
  w->chr.sub = CW_CFONT;
}

void cwcolourrec(cvrun* run, int32_t* c1, int32_t* c2) {
  int code = colourcode(c1, {4, 2, 1}, {12, 10, 9}) + colourcode(c2, {64, 32, 16}, {192, 160, 144});
  cwrecbeg(run, 12386);
  cwparint(run, code);
  for (int i = 0; i < 3; i++) cwparint(run, c1[i]);
  for (int i = 0; i < 3; i++) cwparint(run, c2[i]);
  cwrecend(run);
}

void cwchfmton(cvrun* run, const cwchfmt* c, bool ulfields) {
  for (int i = 0; i < CW_NATTR; i++)
    if (seton(c, i)) onrec(run, i, setval(c, i), ulfields);
}

void cwchfmtoff(cvrun* run, const cwchfmt* c) {
  for (int i = 0; i < CW_NATTR; i++)
    if (seton(c, i)) cwrecone(run, kattrs[i].offrec);
}
