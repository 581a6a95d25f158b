// The Word 6 full reader's property records: a section, a paragraph (with
// the row of the table it belongs to) and a character record, their
// defaults, the descriptors packed in their operands, and the three
// interpreters of property modifiers (sprms). Each interpreter applies one
// sprm and returns the bytes it occupies, 0 for a number it does not
// handle (which ends a caller's walk over a run of sprms).
#ifndef KES_CONVERTERS_FORMATS_W6PROP_H
#define KES_CONVERTERS_FORMATS_W6PROP_H

#include <cstdint>

#include "converters/runtime/cx.h"

// A property: its value, then a flag set to 1 when a sprm gave the value.
template <class T>
struct w6val {
  T v;
  uint8_t set;
};

// Border: width, type, shadow, colour, spacing.
struct w6brc {
  uint8_t width, type, shadow, colour, space;
};
// Shading: pattern, background and foreground colour.
struct w6shd {
  int32_t pattern, back, fore;
};
// Date and time of a revision mark.
struct w6dttm {
  uint8_t minute, hour, day, month, weekday;
  uint16_t year;  // less 1900
};
// Table autoformat: format index and nine flags.
struct w6tlp {
  uint16_t format;
  uint8_t flags[9];
};
// One level of automatic numbering.
struct w6anlv {
  uint8_t nfc, before, after;  // format; characters of number text before and after
  uint8_t jc, prev, hang, setbold, setitalic, setsmallcaps, setcaps;
  uint8_t setstrike, setkul, prevspace, bold, italic, smallcaps, caps, strike;
  uint8_t kul, colour;
  int16_t ftc;
  uint16_t hps, startat;
  int16_t indent;
  uint16_t space;
};
// A paragraph's numbering: its level, three flags and 32 characters of text.
struct w6anld {
  w6anlv lv;
  uint8_t number1, across, restarthdn;
  uint8_t text[32];
};
// A section's outline list: nine levels, the restart flag, 64 characters.
struct w6olst {
  w6anlv lv[9];
  uint8_t restart;
  uint8_t text[64];
};
// A table cell: merge flags and four borders.
struct w6tc {
  uint8_t first, merged;
  w6brc top, left, bottom, right;
};

inline constexpr int W6_NCOLS = 89;   // column widths and spacings of a section
inline constexpr int W6_NTABS = 50;   // tab stops of a paragraph
inline constexpr int W6_NCELLS = 32;  // cells of a table row

struct w6sep {
  w6val<uint8_t> bkc, titlepage;
  w6val<int32_t> ccolm1, dxacolumns;
  w6val<uint8_t> autopgn, nfcpgn;
  w6val<uint16_t> pgnstart;
  w6val<uint8_t> protect, cnspgn, pgnrestart, endnote, lnc, grpfihdt;
  w6val<int16_t> nlnnmod, dxalnn;
  w6val<uint16_t> dyahdrtop, dyahdrbottom;
  w6val<int16_t> dxapgn, dyapgn;
  w6val<uint8_t> lbetween, vjc;
  w6val<int16_t> lnnmin;
  w6val<uint8_t> orient, iheadingpgn;
  w6val<uint16_t> xapage, yapage, dxaleft, dxaright;
  w6val<int16_t> dyatop, dyabottom;
  w6val<uint16_t> gutter, binfirst, binother, paperreq;
  w6val<uint8_t> evenly;
  w6val<uint16_t> cols[W6_NCOLS];
  w6val<w6olst> olst;
};

// The table-row part of a paragraph record.
struct w6tap {
  uint16_t jc;
  int16_t gaphalf, rowheight;
  uint8_t cantsplit, header;
  w6tlp tlp;
  int16_t itcmac;
  int16_t centers[W6_NCELLS + 1];
  uint8_t centersset, cellsset, shdsset, brcsset;
  w6tc cells[W6_NCELLS];
  w6shd shds[W6_NCELLS];
  w6brc brcs[6];  // top, left, bottom, right, inside horizontal, inside vertical
};

struct w6tab {
  int16_t pos;
  uint8_t jc, leader;
};

struct w6pap {
  w6val<uint16_t> istd;
  w6val<uint8_t> jc, keep, keepfollow, pagebreak, pcvert, pchorz, brcp, brcl, lvl, nolnn, sidebyside;
  w6val<int16_t> dxaright, dxaleft, dxaleft1, dyaline, multline;
  w6val<uint16_t> dyabefore, dyaafter;
  w6val<uint8_t> noautohyph, widow, intable, ttp, tapgiven;
  w6val<int16_t> dxaabs, dyaabs;
  w6val<uint16_t> dxawidth;
  uint8_t brcset[6];
  w6val<int16_t> dxafromtext, dyafromtext;
  w6val<uint8_t> wr, locked;
  w6val<uint16_t> heightabs;
  w6val<uint8_t> minheight;
  w6val<uint8_t> ntabs;
  w6tab tabs[W6_NTABS];
  w6tap tap;
  w6brc brcs[6];  // top, left, bottom, right, between, bar
  w6val<w6shd> shd;
  w6val<uint8_t> dcskind, dcslines;
  w6val<w6anld> anld;
};

struct w6chp {
  w6val<uint8_t> bold, italic, strikerm, outline, fldvanish, smallcaps, caps, vanish, rmark, spec, strike, obj,
      shadow, data, ole2;
  w6val<uint16_t> ftc, hps;
  w6val<int16_t> dxaspace;
  w6val<uint8_t> iss, ico, kul;
  w6val<int16_t> hpspos;
  w6val<uint16_t> lid;
  w6val<int32_t> fcpic;
  w6val<int16_t> ibstrmark;
  w6val<w6dttm> dttm;
  w6val<uint16_t> istd;
  w6val<int16_t> ftcsym;
  w6val<uint8_t> chsym;
  w6val<uint8_t> chsebyte;
  w6val<uint16_t> chse;
  w6val<int16_t> idslreason;
  uint8_t s110[2];
  w6val<uint16_t> hpskern;
};

// Descriptor unpackers.
w6brc w6getbrc(uint16_t v);
w6shd w6getshd(uint16_t v);
w6dttm w6getdttm(uint16_t lo, uint16_t hi);
// p holds at least 4, 16, 52, 212 and 10 bytes respectively.
w6tlp w6gettlp(const uint8_t *p);
w6anlv w6getanlv(const uint8_t *p);
w6anld w6getanld(const uint8_t *p);
w6olst w6getolst(const uint8_t *p);
w6tc w6gettc(const uint8_t *p);

// The records' defaults.
void w6sepdefault(cxstate *st, w6sep *r);
void w6papdefault(cxstate *st, w6pap *r);
void w6chpdefault(cxstate *st, w6chp *r);

// The interpreters: s points at the sprm's number byte and n bytes are
// there to read (an operand that runs past them reads as zeros); the bytes
// the sprm occupies, or 0 for a number the interpreter does not handle.
int w6sprmsep(cxstate *st, const uint8_t *s, int32_t n, w6sep *r);
int w6sprmpap(cxstate *st, const uint8_t *s, int32_t n, w6pap *r);
// base: the record that toggles and resets refer to, or null.
int w6sprmchp(cxstate *st, const uint8_t *s, int32_t n, w6chp *r, const w6chp *base);

// Applies a run of n sprm bytes to the records given (any may be null: a
// zeroed scratch record of that kind takes its sprms). Numbers 2-52 and
// 182-200 go to the paragraph record, 65-124 to the character record (with
// base), 131-171 to the section record; any other number, or a sprm its
// interpreter does not handle, ends the walk.
void w6grpprlapply(cxstate *st, const uint8_t *s, int32_t n, w6sep *sep, w6pap *pap, w6chp *chp,
                   const w6chp *base);

#endif  // KES_CONVERTERS_FORMATS_W6PROP_H
