// The Word 6 full reader, taken when a zone-file name is set: its
// allocation registry and fatal exit, the file header of the "WordDocument"
// stream, the piece table with its property-modifier groups, and the
// footnote and header/footer position tables; the property indexes with
// their lookups (w6index.cpp); the text walk with its zones (w6walk.cpp);
// fields, date and time characters and paragraph numbers (w6field.cpp).
#ifndef KES_CONVERTERS_FORMATS_W6FULL_H
#define KES_CONVERTERS_FORMATS_W6FULL_H

#include <cstdint>

#include "converters/formats/cvt.h"
#include "converters/formats/w6prop.h"

// The file header fields the conversion uses.
struct w6fib {
  uint16_t ident;
  uint8_t flags;  // bit 0x04: complex file
  int32_t fcmin, fcmac, ccptext, ccpftn;
  int32_t fcstshf, lcbstshf, fcfndref, lcbfndref, fcfndtxt, lcbfndtxt, fcsed, lcbsed, fchdd, lcbhdd;
  int32_t fcchpx, lcbchpx, fcpapx, lcbpapx, fcdop, lcbdop, fcclx, lcbclx;
};

// A lookup's one-run cache: the run last found and where the next scan of
// the index starts.
struct w6cache {
  uint32_t first, limit;
  int32_t scan;
};

// A pair of temporary virtual files: fixed 12-byte index entries (first
// offset, limit, data offset) and the runs' stored modifiers.
struct w6pair {
  int ix, dt;  // -1 when not open
};

enum { W6_CHP, W6_PAP, W6_SEP, W6_NPAIRS };

// The full reader's document tables.
struct w6doc {
  int vf;  // the "WordDocument" stream
  int32_t size;
  w6fib fib;
  uint8_t dop[84];
  // Style sheet header values.
  uint16_t cstd, cbbase, stimax, istdmaxfixed, nverbuiltin;
  uint8_t stdnames;
  int16_t ftcstandard;
  // Piece table: n + 1 CPs then n 8-byte descriptors.
  int32_t piecelen, npieces;
  uint8_t *pieces;
  // Property-modifier groups, as stored: 16-bit length and bytes each.
  int32_t groupslen, ngroups;
  uint8_t *groups;
  uint8_t *fndref, *fndtxt, *hdd;
  int32_t lfndref, lfndtxt, lhdd;
  uint8_t story;
  // Property indexes and the caches of their lookups: character, paragraph
  // (the walk's, and the one at paragraph marks), section.
  w6pair pairs[W6_NPAIRS];
  w6cache cchp, cpapc, cpap, csep;
  w6chp rchp;
  w6pap rpapc, rpap;
  w6sep rsep;
  w6chp base;  // the base character record: zero during a conversion
  // Numbering counters of levels 1 to 11.
  int32_t counters[12];
};

// The six property records of the walk: A the current character's, B the
// previous one's.
struct w6recs {
  w6sep *sa, *sb;
  w6pap *pa, *pb;
  w6chp *ca, *cb;
};

inline int32_t w6le32(const uint8_t *p) {
  return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
}
inline int w6le16(const uint8_t *p) { return p[0] | p[1] << 8; }

// w6readat: n bytes of the stream at off into buf; the count read (short
// at the stream's end, 0 for an offset outside it).
int32_t w6readat(cxstate *st, w6doc *d, int32_t off, void *buf, int32_t n);

// w6alloc: a zeroed block entered in the registry; a refused block or a
// full registry ends the run with 8. w6dealloc frees a registered block.
void *w6alloc(cxstate *st, int32_t size);
int w6dealloc(cxstate *st, void *block);
// w6fail: closes the zone file, frees every registered block and ends the
// run with the status. Also the error callback of the run's virtual files
// and compound document.
[[noreturn]] void w6fail(cxstate *st, int status);

// w6readfib: reads the header and document properties into doc and loads
// the style sheet's header, the footnote and header/footer tables and, for
// a complex file, the piece table; a malformed header or table ends the
// run with 9.
int w6readfib(cxstate *st, w6doc *d);
// w6cp2fc: the stream offset of internal position p (fcMin + CP).
int32_t w6cp2fc(cxstate *st, const w6doc *d, int32_t p);
// w6pieceprm: applies the property modifier of the piece holding p to the
// records given; 1 when one was applied.
int w6pieceprm(cxstate *st, const w6doc *d, int32_t p, w6sep *sep, w6pap *pap, w6chp *chp, const w6chp *base);
// w6prmapply: one sprm (number, operand) to the record of its kind.
void w6prmapply(cxstate *st, const uint8_t prm[2], w6sep *sep, w6pap *pap, w6chp *chp, const w6chp *base);

// Property indexes (w6index.cpp). w6buildindexes copies the section,
// paragraph and character runs into their pairs; a table or page that
// cannot be read whole ends the run with 5.
void w6buildindexes(cxstate *st, w6doc *d);
// Lookups by the file offset of position p: 1 when p lies in the run of
// the previous lookup (record copied from the cache), 0 found and built,
// -1 no run holds it (the record keeps its defaults).
int w6chpat(cxstate *st, w6doc *d, int32_t p, w6chp *r);
int w6papatc(cxstate *st, w6doc *d, int32_t p, w6pap *r);
// w6papat: the same lookup with its own cache; a hit reports 0.
int w6papat(cxstate *st, w6doc *d, int32_t p, w6pap *r);
int w6sepat(cxstate *st, w6doc *d, int32_t p, w6sep *r);
// w6closeall: frees the document tables, closes and deletes the pairs.
void w6closeall(cxstate *st, w6doc *d);

// The text walk (w6walk.cpp).
// w6readch: the character at position p; -1 exactly at the stream's end
// (beyond it the run ends with 5).
int w6readch(cxstate *st, w6doc *d, int32_t p);
void w6zone(cxstate *st, int code, int open);
void w6putc(cxstate *st, int c);
void w6walk(cxstate *st, w6doc *d, w6recs *r);
// w6storywalk: positions first up to limit (exclusive) as a sub-story of
// kind 1 footnote, 2 header or footer, 3 field text.
void w6storywalk(cxstate *st, w6doc *d, int32_t first, int32_t limit, int kind, w6sep *s, const w6pap *pap,
                 const w6chp *chp);
// w6parapropsat: the paragraph properties at p with the piece's modifier.
void w6parapropsat(cxstate *st, w6doc *d, int32_t p, w6pap *r);

// Fields, special characters, paragraph numbers (w6field.cpp).
void w6special(cxstate *st, w6doc *d, int c, int32_t *p, w6sep *s, const w6pap *pap, const w6chp *chp);
// w6datefmt: formats now (weekday, year - 1980, month, day, hour, minute,
// second) by the picture into out (size bytes, NUL-ended).
void w6datefmt(const char *picture, char *out, int size, const unsigned char *now);
void w6paranum(cxstate *st, w6doc *d, const w6sep *s, const w6pap *pap);
// w6numtext: number n in format nfc into out (64 bytes, NUL-ended).
void w6numtext(int32_t n, int nfc, char *out);

// w6fullrun: the full reader's run, inside the entry's frame.
[[noreturn]] void w6fullrun(cxstate *st, const char *inpath, const char *outpath, char *closed);

#endif  // KES_CONVERTERS_FORMATS_W6FULL_H
