// Small helpers shared by the units of the writer and by no one else:
// records of decimal fields, the shading record, four kinds packed in
// nibbles, and the built-in page.
#ifndef KES_FILTERS_FRAMEWORK_WRITER_CWINT_H
#define KES_FILTERS_FRAMEWORK_WRITER_CWINT_H

#include <initializer_list>

#include "filters/framework/writer/cw.h"

// cwdecrec: a record whose fields are all decimal.
inline void cwdecrec(cvrun* run, int code, std::initializer_list<int> fields) {
  cwrecbeg(run, code);
  for (int v : fields) cwparint(run, v);
  cwrecend(run);
}

// cwhexrec: a record of one 2-hex-digit field.
inline void cwhexrec(cvrun* run, int code, int byte) {
  cwrecbeg(run, code);
  cwparhex2(run, byte);
  cwrecend(run);
}

// cwnibbles: four line kinds in one 16-bit value, the first in the top nibble.
inline unsigned cwnibbles(const int32_t* k) {
  return (k[0] & 15u) << 12 | (k[1] & 15u) << 8 | (k[2] & 15u) << 4 | (k[3] & 15u);
}

// cwletterpage: the built-in page, for the page state and the document
// defaults alike: a portrait letter page with margins of an inch, headers
// and footers 240 twips from the body and from the page's edges.
template <class Page>
void cwletterpage(Page& g) {
  g.length = 15840;
  g.width = 12240;
  g.orient = 1;
  g.tmar = g.bmar = 1440;
  g.hdrgap = g.ftrgap = 240;
  g.hdrpos = g.ftrpos = 240;
}

// cwshaderec: record 4371 for a target (0 characters, 5 the page, ...):
// the percentage, then each colour as three 2-hex-digit fields after a 0.
inline void cwshaderec(cvrun* run, int target, const cvshadevals& s) {
  cwrecbeg(run, 4371);
  cwparint(run, target);
  cwparint(run, s.pct);
  for (int32_t v : s.c1) cwparhex2(run, v);
  cwparint(run, 0);
  for (int32_t v : s.c2) cwparhex2(run, v);
  cwrecend(run);
}

// cwbordrec: record 3152 for a target (0 the paragraph, 1 the page, 2
// characters): the four line kinds packed, then, when colours are given, the
// 4-bit colour code of each side.
inline void cwbordrec(cvrun* run, int target, unsigned kinds, const int32_t (*rgb)[3]) {
  cwrecbeg(run, 3152);
  cwparhex4(run, kinds);
  cwparint(run, target);
  if (rgb)
    for (int i = 0; i < 4; i++) cwparhex2(run, cvrgb2ico(rgb[i][0], rgb[i][1], rgb[i][2]));
  cwrecend(run);
}

// cwcolourrec: record 12386 for two colours: a code word with a bit per
// component of 64 or more (another for 192 or more), then the six components,
// those below 64 made 0 in place.
void cwcolourrec(cvrun* run, int32_t* c1, int32_t* c2);
// cwchfmton: the on record of every attribute a change set switches on;
// ulfields: the single underline carries its kind.
void cwchfmton(cvrun* run, const cwchfmt* c, bool ulfields);
// cwchfmtoff: the off record of every attribute a change set switches on.
void cwchfmtoff(cvrun* run, const cwchfmt* c);
// cwfontrecof: record 6675 naming a font at a size; nothing is noted as written.
void cwfontrecof(cvrun* run, const cwfont* f, int size);
// cwlvldrop: frees a stored list level and what it owns; the slot becomes null.
void cwlvldrop(cvrun* run, cwlistlvl*& l);
// cwlvldup: a deep copy of a stored list level, or null.
cwlistlvl* cwlvldup(cvrun* run, const cwlistlvl* l);
// cwtstopsame: 1 when two tab tables hold the same stops in the same mode.
int cwtstopsame(cvrun* run, const cwtabtab* a, const cwtabtab* b);
// cwparaclear: empties a paragraph format, freeing what it owns.
void cwparaclear(cvrun* run, cwparafmt* f);
// cwparapend: marks the paragraph format pending with sub-flags.
inline void cwparapend(cvrun* run, int32_t sub) {
  run->writer->pending |= CW_PPARA;
  run->writer->para.sub |= sub;
}
// cwcharpend: marks the character format pending with sub-flags.
inline void cwcharpend(cvrun* run, int32_t sub) {
  run->writer->pending |= CW_PCHAR;
  run->writer->chr.sub |= sub;
}
// cwflushpending: the pending format goes out first, when there is any.
inline void cwflushpending(cvrun* run) {
  if (run->writer->pending) cwflush(run, 1);
}
// cwendfield: the end of a field.
inline void cwendfield(cvrun* run) { cvsputc(run, run->out, COM_US); }

// cwalignof: the record of an alignment: left, centred, right, justified
// and its variant; nothing for another value.
inline void cwalignof(cvrun* run, int align) {
  switch (align) {
    case 0: cwrecone(run, 10821); break;
    case 1: cwrecone(run, 1122); break;
    case 2: cwrecone(run, 1602); break;
    case 3: cwdecrec(run, 10818, {0}); break;
    case 4: cwdecrec(run, 10818, {1}); break;
    default: break;
  }
}

// cwrelease: frees a block of the run that may be absent.
inline void cwrelease(cvrun* run, const void* block) {
  if (block) cvfree(run, const_cast<void*>(block));
}

// cwcellfloor: where the open table cell begins in the output, when the
// output is that cell's stream; -1 otherwise. A line wrap backs no further.
long cwcellfloor(cvrun* run);

#endif
