// The converter family as its callers see it: the table that maps a
// converter id to its entry, every entry of the table, and the Word 6
// converter's state record.
#ifndef KES_CONVERTERS_FORMATS_CVT_H
#define KES_CONVERTERS_FORMATS_CVT_H

#include <cstdint>

#include "converters/runtime/cx.h"
#include "converters/word/word.h"

// A converter entry: input path, output path; 0 when the output holds the
// converted text, -1 when the state record cannot be built, else the status.
typedef int16_t (*cvtentry)(const char *inpath, const char *outpath);

// One converter-table row: the converter id and its entry (none for 999).
struct cvtrow {
  int32_t id;
  cvtentry entry;
};

// The converter table, ended by the row whose id is 0.
extern const cvtrow cvttab[];

// cvtfind: looks a converter id up by its low 16 bits; 1 with its entry
// (none for 999, and for 0, whose row ends the table), or 0 when absent.
int cvtfind(int32_t id, cvtentry *entry);

struct w6doc;

// The Word 6 converter's block (slot 18); it begins with the extractor's
// settings. The full reader keeps its blocks in a registry of 100, so that a
// run that ends early frees them all, and its document tables in doc.
struct w6blk {
  wxset x;
  void *reg[100];
  w6doc *doc;
  // Names of the full reader's temporary virtual files: they outlive the
  // registry's blocks, since the run's end closes the files after w6fail.
  char tmpnames[6][272];
  // The clock of date and time characters; null: the runtime's (cxnow).
  int (*clock)(cxstate *st, unsigned char *out);
};

// w6newst: a state record with the Word 6 block; null when refused.
cxstate *w6newst();
// w6freest: frees a Word 6 state record and every block on it.
void w6freest(cxstate *st);
// cvtword6st: converts a Word 6 document on a state the caller built with
// w6newst (null gives -1); the entry frees the state.
int16_t cvtword6st(cxstate *st, const char *inpath, const char *outpath);

// wpc5newst, wpc6newst: state records with the WordPerfect 5.x (slot 15)
// or 6.x (slot 13) block; null when refused. The blocks: wpc.h.
cxstate *wpc5newst();
cxstate *wpc6newst();
// wpc5freest, wpc6freest: free such a state record and every block on it.
void wpc5freest(cxstate *st);
void wpc6freest(cxstate *st);
// cvtwp5st, cvtwp6st: convert a WordPerfect 5.x or 6.x document on a state
// the caller built with wpc5newst or wpc6newst (null gives -1); the entry
// frees the state.
int16_t cvtwp5st(cxstate *st, const char *inpath, const char *outpath);
int16_t cvtwp6st(cxstate *st, const char *inpath, const char *outpath);

// The converter entries of the table (cvtword2 and cvtmacword: word.h).
int16_t cvtwp5(const char *inpath, const char *outpath);     // WordPerfect 5.x
int16_t cvtworddos(const char *inpath, const char *outpath); // Word for DOS
int16_t cvtwp6(const char *inpath, const char *outpath);     // WordPerfect 6.x
int16_t cvtamipro(const char *inpath, const char *outpath);  // Ami Pro
int16_t cvtlotus(const char *inpath, const char *outpath);   // Lotus 1-2-3
int16_t cvtword6(const char *inpath, const char *outpath);   // Word 6.0/7.0 compound document
int16_t cvtxif(const char *inpath, const char *outpath);     // XIF

// State records of the Lotus 1-2-3 (slot 12), Ami Pro (slot 14), XIF
// (slot 9) and Word for DOS (slot 19) converters, each with its own block;
// null when refused. The ...freest pair frees such a record and its blocks.
cxstate *lotnewst();
void lotfreest(cxstate *st);
cxstate *apnewst();
void apfreest(cxstate *st);
cxstate *xifnewst();
void xiffreest(cxstate *st);
cxstate *wdnewst();
void wdfreest(cxstate *st);
// cvtlotusst, cvtamiprost, cvtxifst, cvtworddosst: the same conversions as
// the entries, on a state the caller built with the matching constructor
// (null gives -1); the entry frees the state.
int16_t cvtlotusst(cxstate *st, const char *inpath, const char *outpath);
int16_t cvtamiprost(cxstate *st, const char *inpath, const char *outpath);
int16_t cvtxifst(cxstate *st, const char *inpath, const char *outpath);
int16_t cvtworddosst(cxstate *st, const char *inpath, const char *outpath);

#endif
