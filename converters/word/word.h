// The Word for Windows 1.x/2.0 and Mac Word converters, and the text
// extractor they share with the Word 6 converter: the text of a document
// found through its file header, passed byte by byte through a filter of its
// format, with its fields reduced to one character each.
#ifndef KES_CONVERTERS_WORD_WORD_H
#define KES_CONVERTERS_WORD_WORD_H

#include <cstdint>

#include "converters/runtime/cx.h"

// Settings and running state of one text-extractor run; set afresh at every
// start, so nothing of one run reaches the next.
struct wxset {
  int lemode;    // line ends: 1 LF, 2 CR, 3 CR LF
  int codepage;  // code page of decoded field characters (and of Mac Word text)
  int field;     // 1 between a field begin and the separator or end closing its code
  int fstream;   // scratch stream collecting the field code, -1 none
  int last;      // the byte the Word 1.x/2.0 filter wrote last
};

// The Word 1.x/2.0 converter's blocks (slots 6 and 7).
struct w2blk {
  cxw2head head;  // the runtime's sink and source stacks
  wxset x;
};
struct w2docblk {
  int inhandle;   // input handle of the full reader, -1 none
  int story;      // story being read: 0 main text
  void* rd;       // the full reader's first-pass state, a block of the run
};

// The Mac Word converter's blocks (slots 16 and 17). The Mac Word and Word 6
// converter blocks begin with the extractor's settings.
struct mwblk {
  wxset x;
  int inhandle;   // input handle of the full reader, -1 none
  int story;      // story being read: 0 main text
};
struct mwdocblk {
  int32_t left;   // characters of the current story not yet read
  void* rd;       // the full reader's first-pass state, a block of the run
  int open20706;  // open entry-group records
};

// w2newst: a state record with the Word 1.x/2.0 blocks; null when refused.
cxstate* w2newst();
// w2freest: frees a Word 1.x/2.0 state record and every block on it.
void w2freest(cxstate* st);
// mwnewst: a state record with the Mac Word blocks; null when refused.
cxstate* mwnewst();
// mwfreest: frees a Mac Word state record and every block on it.
void mwfreest(cxstate* st);

// cvtword2: converts a Word for Windows 1.x/2.0 document into plain text;
// the run's status (0 converted, -1 no state, else the failure's status).
int16_t cvtword2(const char* inpath, const char* outpath);
// cvtmacword: converts a Mac Word document into plain text; as cvtword2.
int16_t cvtmacword(const char* inpath, const char* outpath);
// cvtword2st, cvtmacwordst: the same conversions on a state the caller
// built with w2newst or mwnewst (null gives -1); the entry frees the state.
// A caller may set what the constructor leaves at its defaults.
int16_t cvtword2st(cxstate* st, const char* inpath, const char* outpath);
int16_t cvtmacwordst(cxstate* st, const char* inpath, const char* outpath);

// wzonefile: names the zone file of a run on a state a constructor built,
// which makes the Word 1.x/2.0 and Mac Word entries take their full reader;
// 0, or -1 (and nothing named) when there is no state or no memory.
int wzonefile(cxstate* st, const char* name);

// w2extract, mwextract, w6extract: write the text of a Word 1.x/2.0, Mac
// Word or Word 6 document into the output and end the run through cxthrow:
// 0 converted; 1 the input (Word 6: the compound document or its
// "WordDocument" stream) cannot be opened; 3 the output cannot be opened;
// 8 no buffered output; 9 the document does not start as its format does.
// Before the final cxthrow with 0 they close what they opened and set
// *closed to 1. Word 6 reads the settings at the head of the Word 6 block.
[[noreturn]] void w2extract(cxstate* st, const char* inpath, const char* outpath, char* closed);
[[noreturn]] void mwextract(cxstate* st, const char* inpath, const char* outpath, char* closed);
[[noreturn]] void w6extract(cxstate* st, const char* inpath, const char* outpath, char* closed);

// wxoptions: reads the state's option string into the settings: line ends
// from its second character (x, m, a), the code page from characters 3-6;
// defcp when they name none.
void wxoptions(cxstate* st, wxset* x, int defcp = 819);
// w2xchar, w6xchar, mwxchar: pass one text byte of a Word 1.x/2.0, Word 6
// or Mac Word document through the format's filter to the output.
void w2xchar(cxstate* st, wxset* x, int c);
void w6xchar(cxstate* st, wxset* x, int c);
void mwxchar(cxstate* st, wxset* x, int c);
// w2xsymbol: the one character a collected field code (of Word 1.x/2.0 or
// Word 6) stands for: the character of a SYMBOL field, "_" when it names
// none, a space for any other field.
int w2xsymbol(cxstate* st, wxset* x);

#endif
