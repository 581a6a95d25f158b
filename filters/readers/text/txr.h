// The plain-text reader: a document detected as text turned into the
// intermediate format through the writer, byte by byte, with tabs, line ends
// and form feeds as the writer's tab, hard line end and page break.
#ifndef KES_FILTERS_READERS_TEXT_TXR_H
#define KES_FILTERS_READERS_TEXT_TXR_H

#include <cstdint>

#include "filters/framework/writer/cw.h"

inline constexpr int TXR_NTABS = 256;

// The reader's state of a run (the run's reader state).
struct txrstate {
  int32_t layout;          // 0 plain, 1 blocks, 2 and 3 the double-byte variants
  int32_t dbcs;            // option V named a double-byte set
  int32_t dbset;           // 0 16-bit text, 1 Shift-JIS, 2 Big5, 3 GB 2312, 4 KS C 5601
  int32_t wide;            // the text is read as 2-byte units
  int32_t leadlo, leadhi;  // bytes that begin a double-byte character
  int32_t cp;              // the run's code page at the start
  int32_t pagew, pagel;
  int32_t tmar, bmar, lmar, rmar;
  int32_t textfont;        // "Courier"
  int32_t font2;           // the double-byte, Hebrew or Arabic font
  int32_t start;           // byte offset to start at, -1 none
  int32_t count;           // bytes (blocks in layout 1) to convert, -1 none
  int32_t rtl;             // right-to-left text is on
  int32_t ntabs;
  struct {
    int32_t pos, a, b;
  } tabs[TXR_NTABS];
};

// txrmain: the reader entry of format 1; 0.
int txrmain(cvrun* run, int argc, const char** argv);
// txrfatal: frees the reader state and ends the run with a status code.
void txrfatal(cvrun* run, int code);
// txroptions: option V, the input, then the defaults; 0.
int txroptions(cvrun* run);
// txrdefaults: page, margins and tab stops; options R and MZ=.
void txrdefaults(cvrun* run);
// txrprolog: the fonts, the text direction, the document defaults and tabs.
void txrprolog(cvrun* run);
// The four layouts; each 0.
int txrplain(cvrun* run);
int txrlines(cvrun* run);
int txrdbcs(cvrun* run);
int txrwide(cvrun* run);
// txrblock: the next block of layout 1 in a scratch stream, or -1.
int txrblock(cvrun* run);

#endif
