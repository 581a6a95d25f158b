// The format catalogue and the converter table: which document formats the
// recogniser can name, and which converter entry runs for a converter id.
// Both tables are constant and shared; nothing here reads a document.
#pragma once

#include <cstdint>

// One catalogue row: its number, the catalogue code the recogniser returns,
// and the display text.
struct fmtrow {
  int32_t row;             // 0 to 91 in table order; 0xFFFF on the end row
  int32_t code;            // catalogue code
  const char *description; // display text, versions separated by "; "
};

// A converter entry: input path, output path; 0 when the output holds the
// converted text, -1 when the state record cannot be built, else the status.
typedef int16_t (*cvtentry)(const char *inpath, const char *outpath);

// One converter-table row: the converter id and its entry (none for 999).
struct cvtrow {
  int32_t id;
  cvtentry entry;
};

// Number of catalogue rows before the end row.
constexpr int FMTCAT_ROWS = 92;

// The catalogue: 92 rows and the end row.
extern const fmtrow fmtcat[FMTCAT_ROWS + 1];
// The converter table, ended by the row whose id is 0.
extern const cvtrow cvttab[];

// Finds a catalogue code; its row number, or -1 when no row has it.
int fmtfind(int32_t code);
// Finds a converter id; 1 with its entry (possibly none) or 0 when absent.
int cvtfind(int32_t id, cvtentry *entry);
// Maps a catalogue code to the converter id that handles it (998: none).
int32_t fmtcvtid(int32_t code);

// The converter entries of the table.
int16_t cvtwp5(const char *inpath, const char *outpath);     // WordPerfect 5.x
int16_t cvtworddos(const char *inpath, const char *outpath); // Word for DOS
int16_t cvtwp6(const char *inpath, const char *outpath);     // WordPerfect 6.x
int16_t cvtmacword(const char *inpath, const char *outpath); // Mac Word
int16_t cvtword2(const char *inpath, const char *outpath);   // Word for Windows 1.x/2.0
int16_t cvtamipro(const char *inpath, const char *outpath);  // Ami Pro
int16_t cvtlotus(const char *inpath, const char *outpath);   // Lotus 1-2-3
int16_t cvtword6(const char *inpath, const char *outpath);   // Word 6.0/7.0 compound document
int16_t cvtxif(const char *inpath, const char *outpath);     // XIF
