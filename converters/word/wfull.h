// Inside the full readers of the Word 1.x/2.0 and Mac Word converters: the
// intermediate records they write and read back, and the routines the two
// passes share. Not for callers outside converters/word.
#ifndef KES_CONVERTERS_WORD_WFULL_H
#define KES_CONVERTERS_WORD_WFULL_H

#include "converters/runtime/cx.h"
#include "converters/word/word.h"

// The records the full readers write, by their stored numbers.
enum : int {
  WR_TAB = 2100,        // a tab
  WR_CELLEND = 2152,    // the end of a table cell (or of a column)
  WR_NBHYPHEN = 3336,   // a non-breaking hyphen
  WR_OPTHYPHEN = 3347,  // an optional hyphen
  WR_DOCSTART = 4388,   // the document's format code
  WR_FRAMEEND = 6657,   // the end of a positioned paragraph
  WR_BOOKMARK = 6744,   // a bookmark start (1) or end (2)
  WR_PAGES = 7694,      // the page count
  WR_LANG = 7571,       // the document's language code
  WR_SUMMARY = 9843,    // the document strings and dates
  WR_LMARGINS = 12499,  // the page height and text height
  WR_LINEEND = 12744,   // a line end
  WR_COLSEND = 13413,   // the end of a multi-column section
  WR_HMARGINS = 13938,  // the left and right margins
  WR_SOFTRET = 14734,   // a line break inside a paragraph
  WR_FTNEND = 14533,    // the end of a footnote's text
  WR_CELLBEG = 15458,   // the start of a table cell
  WR_FRAMEBEG = 15873,  // the start of a positioned paragraph
  WR_STYLEBODY = 16563, // the body of a style record
  WR_PAGEBREAK = 16840, // a hard page break
  WR_BMARGIN = 16467,   // the bottom margin
  WR_TMARGIN = 17043,   // the top margin
  WR_NBSPACE = 18510,   // a non-breaking space
  WR_ORIENT = 18928,    // the page orientation
  WR_CHAR = 19576,      // a character of a named code page
  WR_CHAR437 = 19573,   // its code page 437 form, 128 and above
  WR_FIELDEND = 20709,  // the end of a field
  WR_FONTS = 20614,     // the font table
  WR_HIDDENON = 20738,  // hidden text starts
  WR_HIDDENOFF = 20741, // hidden text ends
  WR_ENTRY = 20898,     // an index or contents entry starts
  WR_HIDDEN = 20899,    // hidden text held inside the record
  WR_ENTRYEND = 20901,  // an index or contents entry ends
  WR_FTNBEG = 20934,    // the start of a footnote's text
  WR_STYLE = 21299,     // a style of the style sheet
  WR_PAGEWIDTH = 23792, // the page width
  WR_CTRL437 = 24744,   // the code page 437 form of a control character
  WR_HFEND = 24776,     // the end of a header or footer text
  WR_FOOTER = 28872,    // a footer text starts
  WR_HEADER = 29896,    // a header text starts
};

// wsecond: the second pass of both full readers: the intermediate records
// in outpath become its plain text, with the zones written to the state's
// zone file; mac selects the Mac Word character output. Ends the run
// through cxthrow (0, or 3, 8 and the runtime's statuses); a failed pass
// leaves no temporary file behind.
[[noreturn]] void wsecond(cxstate* st, int mac, const char* outpath, char* closed);

// wreadback: the read-back loop of the second pass, from the buffered input
// to the buffered output, with the settings x.
void wreadback(cxstate* st, wxset* x, int mac);

// wfirst: the first pass of both full readers: the document in inpath
// becomes intermediate records in outpath. Returns when they are written and
// every file of the pass is closed; a failure ends the run through cxthrow.
void wfirst(cxstate* st, int mac, const char* inpath, const char* outpath);

// ccdeplist: appends a file name with its NUL, the word of its kind (1
// "ole", 2 "graphic", 3 "stylesheet", 4 "text", 5 "spreadsheet", 6
// "formatting", 7 "footnote", 8 "dependent", other kinds "?", 0 none) and
// CR LF to the dependent-file list the caller named; nothing without one.
void ccdeplist(cxstate* st, const char* name, int kind);
// ccobjfmt: the catalogue code of a descriptor's format (1 Windows
// Metafile 610, 2 QuickDraw 602, -1 none 0, any other itself).
int ccobjfmt(cxstate* st, int format);
// ccobjrec: the descriptor record of an object descriptor (nine values:
// format, variant, three values, two size pairs in twips).
int ccobjrec(cxstate* st, const int32_t* obj);
// ccobjscale: fills the open sizes (0 or less) of both size pairs from a
// converter's reported size a, b (nothing unless both are nonzero); in 64
// bits, each result clamped to 32.
void ccobjscale(int32_t* obj, int32_t a, int32_t b);
// ccimport: a picture by name for the descriptor obj: listed as a graphic,
// then linked, copied or converted as the object flags say; 0 written, -1
// not (or the object mode is 1). A name from inside a document (fromdoc 1)
// is only ever listed or linked, never opened or converted.
int ccimport(cxstate* st, int32_t* obj, const char* name, int records, int fromdoc);
// A source of an embedded object's bytes: the next byte, -1 at the end.
typedef int (*ccbytesrc)(cxstate* st, void* ctx);
// ccobjout: an embedded object whose bytes come from src: converted through
// ccobjconv when the flags ask for it and its format is not the wanted one,
// else written as records; -1 when written as records (or ignored), else
// the result of ccobjconv.
int ccobjout(cxstate* st, int32_t* obj, ccbytesrc src, void* ctx, int records);
// ccobjconv: the object copied into a temporary file and converted there;
// 0 written, 9 format not detected, -1 nothing done (the source untouched),
// else the converter's status (3 when it could not be started, 4 when the
// copy could not be written). No temporary file outlives the call unless
// the flags keep it or hand it to the end of the run.
int ccobjconv(cxstate* st, int32_t* obj, ccbytesrc src, void* ctx, int records);
// ccdeppath: where a dependent file is looked for, into out (size n): the
// name itself unless the path setting is on, else its last part in the
// dependent-file directory or the input path's directory. Only a path is
// built; nothing is opened. 0, or -1 when it does not fit (out empty).
int ccdeppath(cxstate* st, const char* inpath, const char* name, char* out, size_t n);

#endif
