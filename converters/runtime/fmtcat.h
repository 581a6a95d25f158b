// The format catalogue: which document formats the recogniser can name, and
// which converter id serves each of them (the converter table that maps ids
// to entries lives with the converters). Constant and shared; nothing here
// reads a document.
#ifndef KES_CONVERTERS_RUNTIME_FMTCAT_H
#define KES_CONVERTERS_RUNTIME_FMTCAT_H

#include <cstdint>

// One catalogue row: its number, the catalogue code the recogniser returns,
// and the display text.
struct fmtrow {
  int32_t row;             // 0 to 91 in table order; 0xFFFF on the end row
  int32_t code;            // catalogue code
  const char *description; // display text, versions separated by "; "
};

// Number of catalogue rows before the end row.
constexpr int FMTCAT_ROWS = 92;

// The catalogue: 92 rows and the end row.
extern const fmtrow fmtcat[FMTCAT_ROWS + 1];

// Finds a catalogue code; its row number, or -1 when no row has it.
int fmtfind(int32_t code);
// Maps a catalogue code to the converter id that handles it (998: none).
int32_t fmtcvtid(int32_t code);


#endif  // KES_CONVERTERS_RUNTIME_FMTCAT_H
