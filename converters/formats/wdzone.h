// The zone marks of the Word for DOS converter, taken when a zone-file name
// is set: hidden ".Begin " ... ".End " blocks, other hidden text, footnote
// texts and paragraphs of some kinds, found in the document's property
// pages, its footnote table and the style sheet named in its header, and
// opened and closed while the text is written.
#ifndef KES_CONVERTERS_FORMATS_WDZONE_H
#define KES_CONVERTERS_FORMATS_WDZONE_H

#include <cstdint>

#include "converters/runtime/cx.h"

// A block of a range list: 16 (start, end) file-offset pairs; an end of 0
// marks an empty pair, which ends the list.
struct wdrblk {
  int32_t pairs[16][2];
  wdrblk *next;
};

struct wdrlist {
  wdrblk *head;
  wdrblk *at;  // block of the cursor
  int idx;     // pair of the cursor in it
};

inline constexpr int WD_NLISTS = 14;
inline constexpr int WD_DEPTH = 10;

struct wdzone {
  uint8_t *styles;  // style properties: a length byte and its bytes each
  int32_t stylelen;
  int16_t chpmap[128], papmap[128];  // offset in styles by style code, -1 none
  int codes[WD_NLISTS + 1];          // zone code by list number
  wdrlist lists[WD_NLISTS + 1];      // lists 1 to 14
  int openlist;                      // list of an open ".Begin ", 0 none
  int curlist;                       // list whose next pair starts first, 0 none
  int depth;
  int stackcode[WD_DEPTH];
  int32_t stackend[WD_DEPTH];
};

// wdzsetup: opens the zone file and the outermost zone, and reads the style
// sheet that the header names from the document's own folder; the input is
// left at offset 0. Ends the run through cxthrow with the status of a
// failure.
void wdzsetup(cxstate *st, wdzone *z, int in, const char *inpath);
// wdzscan: fills the range lists from the document's property pages and
// footnote table (h: the 128-byte header); the input is left at 128.
void wdzscan(cxstate *st, wdzone *z, int in, const unsigned char *h);
// wdzbefore: closes and opens zones before the text byte at file offset p.
void wdzbefore(cxstate *st, wdzone *z, int32_t p);
// wdzend: closes every zone still open, the outermost one and the zone file.
void wdzend(cxstate *st, wdzone *z);

#endif  // KES_CONVERTERS_FORMATS_WDZONE_H
