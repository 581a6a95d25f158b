// The reading state of the Word 1.x/2.0 and Mac Word full readers' first
// pass: the file header, the document's tables, and one reading state per
// story, which the story switch makes current. Everything lives in blocks of
// the run (cxalloc), so a run that ends anywhere leaves nothing behind. Not
// for callers outside converters/word.
#ifndef KES_CONVERTERS_WORD_WREAD_H
#define KES_CONVERTERS_WORD_WREAD_H

#include <cstdint>

#include "converters/runtime/cx.h"

inline constexpr int32_t WNONE = 0x7FFFFFFF;  // no further position
inline constexpr int WNSTORIES = 4;
inline constexpr int WMAXFONTS = 200;
inline constexpr int WMAXDEPTH = 12;  // stories an excursion may return through

// The positions of one PLC, read whole, and a cursor over them.
struct wplc {
  int32_t* pos;  // n + 1 character positions, then WNONE
  int n;         // positions held
  int at;        // index of the position now reported, -1 before the first
  int32_t next;  // that position as a file position of the story, WNONE none
};

// One bin table: n + 1 ascending file positions and n page numbers.
struct wbin {
  int32_t* pos;
  uint16_t* page;
  int n;
};

// A cursor over the property pages of one bin table.
struct wfkp {
  int32_t next;         // file position of the next boundary, WNONE none
  int loaded;           // page number in the buffer, -1 none
  int run;              // index of the current run in the page
  int runs;             // runs of the page (clamped to what the page holds)
  int bin;              // bin table entry of the loaded page
  unsigned char* page;  // one page of the story's own
};

// One piece of a fast-saved file.
struct wpiece {
  uint8_t flag;
  int32_t fc;    // file offset of its text
  uint16_t prm;  // property modifier
  int32_t len;   // characters
  int32_t cp;    // character position of its first character
};

// The character property set: numbers, then 24 flag bytes.
struct wchp {
  int byte0, byte1;
  int32_t font;
  int size;
  int32_t position;
  int32_t packed;
  int32_t picture;
  int32_t spacebyte, colourbyte;
  int32_t language;
  unsigned char flag[24];
};

// Flag bytes of the character property set by their meaning.
enum : int {
  WF_BOLD = 0, WF_ITALIC = 1, WF_HIDDEN = 7, WF_SPECIAL = 9, WF_SPACING = 16, WF_COLOUR = 18,
  WF_UNDERLINE = 19,
};

// The paragraph property record. Distances in twips.
inline constexpr int WMAXTABS = 50;
struct wpap {
  int style, justify, sidebyside, keeptogether, keepnext, pagebreakbefore;
  int bordercode, borderstyle, nolinenumbers;
  int32_t rightindent, leftindent, firstindent;
  int32_t linespacing, spacebefore, spaceafter;
  unsigned char heightinfo[6];
  int intable, rowend;
  int32_t framex, framey, framewidth;
  int32_t border[6];  // top, left, bottom, right, between, bar
  int32_t fromtextx, fromtexty;
  int32_t wrap, frameheight, spare47;
  int tabcount;
  int32_t tabpos[WMAXTABS];
  unsigned char tabdesc[WMAXTABS];
  // The anchors that travel with the record.
  int vertanchor, horzanchor, framemode;
};

// The table definition that table modifiers build: at most 32 cells and
// their 33 boundaries, whatever a document's counts and indexes say.
inline constexpr int WMAXCELLS = 32;
struct wcell {
  int32_t flags;
  int32_t border[4];  // top, left, bottom, right
  int first, merged;
};
struct wtdef {
  int justify;
  int32_t gaphalf, rowheight;
  int cellcount;
  int32_t cellx[WMAXCELLS + 1];
  wcell cell[WMAXCELLS + 1];
  int rowopen;  // 1 a row is open, 2 its boundaries changed
};

// A stop of the working tab table, positions from the page's left edge.
struct wstop {
  int32_t pos;
  int kind, leader, dflt;
};

// The reading state of one story.
struct wstory {
  int32_t first, last;   // file positions, inclusive
  int32_t length;        // characters
  int32_t fc, cp;        // file and character position of the next character
  int32_t left;          // characters not yet read
  int32_t nextstop;      // where the run loop has work next
  unsigned char* text;   // the story's text, in order
  int32_t textlen, textcap, textpos;
  unsigned char* back;   // characters given back to the input, last first out
  int32_t nback, backcap;
  wpiece* pieces;        // fast-saved: the story's pieces
  int npieces, piececap, piece;
  wpiece cur;            // the current piece
  int32_t piececp;       // its first character position
  wfkp fkp[2];           // 0 character runs, 1 paragraphs
  wplc plc[8];           // 0 sections, 2 footnote refs, 3 footnote texts, 6, 7 annotations
  // Line layout.
  int32_t linepos, linewidth, pending, spacepending, lineheight, baseheight, vpos, pagefull;
  int32_t leftedge, rightedge, linecount, pages;
  int linestart, tabkind, nowrap, softret, pendingcr;
};

// The whole first-pass state of one run.
struct wrd {
  int mac;            // Mac Word
  int version;        // Word: 1 or 2
  int layout;         // Mac Word: 3, 4 or 5
  int complex;
  int pagesize;       // property page size
  int in;             // input handle
  int32_t fsize;
  unsigned char head[384];
  int32_t fcmin;
  int32_t atnlen, macrolen;
  int lang;
  int nstories, cur;
  wstory story[WNSTORIES];
  wbin bins[2];
  wplc sections, headers;
  // Property-modifier groups of the Clx, in place.
  unsigned char* groups;
  int groupsat, groupsend, groupslen;
  // Style sheet.
  unsigned char *stnames, *stchp, *stpap, *stnext;
  int lnames, lchp, lpap, nstyles, nstd;
  // Document properties.
  int32_t pageh, pagew, top, leftm, bottom, rightm, tabwidth;
  int dopflags, hfbits, facing;
  uint32_t created, revised, printed;
  int revision, pagecount;
  uint32_t edittime, words, chars;
  // Document strings.
  unsigned char* assoc;
  int assoclen;
  // Fonts: the table and the names in it.
  unsigned char* fonttab;
  int fonttablen;
  int nfonts;
  const char* fontname[WMAXFONTS + 56];
  int fontnamelen[WMAXFONTS + 56];
  int fontnum[WMAXFONTS + 56];
  // Bookmarks.
  int32_t bkmk[3];
  int bkmklen[3];
  unsigned char* bknames;
  int32_t* bkstart;
  int32_t* bkend;
  uint16_t* bkendname;
  int nbk;
  // Character properties: current, written, saved, style.
  wchp chp, written, saved, style;
  int paraseen;
  // Paragraph properties: current, written, and the base a style change
  // returns to; reemit asks for the paragraph's records before more text.
  wpap pap, papw, base;
  int reemit;
  wtdef tdef;
  wstop stops[WMAXTABS];  // the working tab table, ascending
  int nstops;
  // Character, section, picture and table fields set by modifiers that no
  // output reads yet, by modifier code.
  int32_t modfield[256];
  int instylesheet, stylebody;
  int hiddenopen;      // Word: a hidden-text record is open
  int entrybusy;       // Mac Word: an index or contents entry is being copied
  int encl;            // flag 21 (Word) or hidden text (Mac Word): 0 none, 1 record open, 2 direct form
  int forcefont;       // the next comparison writes the font record
  // What the closing records close: the open header/footer type (4 header,
  // 6 footer, 0 none), an open frame, the previous section's columns.
  int hftype, frameopen, prevcols;
  // Paragraph output: the base-output flag (the base's records of a style
  // change are being written), the output's margins as written and as
  // pending (-1 none), the margin flag (-1 no margin record due, else the
  // mode of the paragraph output that moved them), the hanging value, the
  // line geometry and the stops placed at the indents.
  int baseout;
  int32_t mleft, mright, pendleft, pendright;
  int marginflag;
  int32_t hanging, lineleft, linefirst, lineright;
  int32_t implicit[2];
  int nimplicit;
  int32_t ncols;  // the current section's columns less one
  int orient;     // the orientation byte written last
  // Sections: the file offset of each section's modifiers (-1 none).
  int32_t* sepx;
  int nsepx;
  // Excursions into the other stories: the stack of the stories and
  // formatting to return to, the header/footer kind being walked, the next
  // entry of the header position table, the next footnote number.
  struct wreturn {
    int story;
    wpap pap, papw, base;
    wchp chp, style;
    wtdef tdef;
    int32_t chpposition;
  } ret[WMAXDEPTH];
  int depth;
  int kindbit, hdrat, hdrbits, hdrtitle;
  int32_t ftnnum;
  // The row stream: a row's output is held there until the row's end
  // (Word only); -1 none. rowsink: the stream is the output now.
  int rowstream, rowsink;
  int framepending;
  // Fields: the instructions being read (the outermost field's first),
  // the nesting depth, the counters of legal numbering by level.
  unsigned char fcode[512];
  int fcodelen, fdepth;
  int32_t lgl[9];
  void* tracked[100];  // Mac Word: the blocks of the run's reader
};

// Values of the document's byte order (Mac Word big-endian).
inline int32_t wget32(const wrd* d, const unsigned char* p) {
  return d->mac ? static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3])
                : static_cast<int32_t>(static_cast<uint32_t>(p[3]) << 24 | p[2] << 16 | p[1] << 8 | p[0]);
}
inline int wget16(const wrd* d, const unsigned char* p) { return d->mac ? p[0] << 8 | p[1] : p[1] << 8 | p[0]; }

// walloc: a zeroed block of the run; Mac Word tracks at most 100 at a time
// and ends the run with 8 beyond that (or when memory is refused). wfree
// gives a block back.
void* walloc(cxstate* st, wrd* d, size_t n);
void wfree(cxstate* st, wrd* d, void* b);

// wreadat: reads n bytes at a file offset; false unless all were read.
bool wreadat(cxstate* st, wrd* d, int32_t off, void* buf, int32_t n);

// The reading state of the run on its state record.
wrd* wrdof(cxstate* st);

// Story switch: makes story k current (its state stays where it was).
void wswitch(wrd* d, int k);
// wplcnext: advances a PLC cursor to its next position.
void wplcnext(wrd* d, wplc* p);
// wcptofc: a character position of the current story as a file position.
int32_t wcptofc(const wrd* d, int32_t cp);
// wfkpnext: the next run of a property-page cursor (0 characters, 1 paragraphs).
void wfkpnext(cxstate* st, wrd* d, int kind);
// wnextpiece: takes the next piece when the current one is used up; -1
// when none is left.
int wnextpiece(cxstate* st, wrd* d);
// wnextevent: the smallest position at which the run loop has work.
void wnextevent(wrd* d);
// wrunloop: applies everything due at the current position.
void wrunloop(cxstate* st, wrd* d);
// wnextchar: the next character of the current story, -1 at the end.
int wnextchar(cxstate* st, wrd* d);
// wpeekchar: the next character without reading it.
int wpeekchar(wrd* d);
// wungetchar: gives a character back to the input, positions and all.
void wungetchar(cxstate* st, wrd* d, int c);

// Tables read by the header reader; 0 or a status.
int wreadstyles(cxstate* st, wrd* d, int32_t off, int len);
int wreaddop(cxstate* st, wrd* d, int32_t off, int len);
int wreadfonts(cxstate* st, wrd* d, int32_t off, int len);
int wloadtab(cxstate* st, wrd* d, int32_t off, int len, unsigned char** out);

// Paragraph properties. wpapclear: an empty record (Word's wrap 2).
void wpapclear(const wrd* d, wpap* p);
// wapplymod: applies the modifier at m, of which avail bytes lie in its
// list; its length, or -1 for an unknown code or one that leaves the list.
// seclist 1 for a Mac Word section's list.
int wapplymod(cxstate* st, wrd* d, const unsigned char* m, int avail, int seclist);
// wapplymods: applies a list of n bytes until its end or an unknown code.
void wapplymods(cxstate* st, wrd* d, const unsigned char* m, int n);
// wparabuild: the current record from the paragraph page's entry (list
// null), or from a style's counted list (list given).
void wparabuild(cxstate* st, wrd* d, const unsigned char* list, int n);
// wpiecemod: applies a piece's modifier word.
void wpiecemod(cxstate* st, wrd* d, uint16_t m);
// wparaout: writes the records of the current paragraph against the
// written one and makes it the written one.
void wparaout(cxstate* st, wrd* d);
// wparaout2: the same with the copy flag (0 leaves the written record as
// it was) and the mode: 0 an ordinary paragraph, 2 the base's records of
// a style change.
void wparaout2(cxstate* st, wrd* d, int copy, int mode);
// wstylebegin, wstyleend: the records that open and close a paragraph style.
void wstylebegin(cxstate* st, wrd* d, int s);
void wstyleend(cxstate* st, wrd* d, int s);
// wparaend: the look-ahead of a fast-saved file at a paragraph's start:
// the paragraph's properties from its mark, and its records.
void wparaend(cxstate* st, wrd* d);
// wlinewidth: the line width from the page, margins and left indent.
void wlinewidth(wrd* d);

// The page records of a section or of the document's start.
enum : int { WP_ORIENT = 1, WP_WIDTH = 2, WP_VMARGINS = 4, WP_PAGES = 8, WP_HMARGINS = 16 };
void wpagerecs(cxstate* st, wrd* d, int which);

// Excursions: a section start (its page and column records and its headers
// and footers), a footnote or annotation reference, and the end of the
// other story's text that ends them. wsection and the references leave the
// current story switched when an excursion starts.
void wsection(cxstate* st, wrd* d);
void wfootref(cxstate* st, wrd* d);
void wannotref(cxstate* st, wrd* d);
void wstoryend(cxstate* st, wrd* d);
// The story stack: wstorypush leaves the current story for story k, false
// when WMAXDEPTH excursions are already open (nothing changes then);
// wstorypop returns to the story the last excursion left, with its
// formatting.
bool wstorypush(wrd* d, int k);
void wstorypop(cxstate* st, wrd* d);
// wfkpat: positions a property-page cursor of the current story at a file
// position.
void wfkpat(cxstate* st, wrd* d, int kind, int32_t pos);

// Character properties and their records.
void wchpreset(wrd* d, wchp* c);
// wchprun: the properties of the run that starts here, built and written.
void wchprun(cxstate* st, wrd* d);
// wchpx: builds the current set from the style and stored bytes (none: the
// current property page's entry); fromstyle 1 for a style's group.
void wchpx(cxstate* st, wrd* d, const unsigned char* stored, int fromstyle);
// wcharprops: applies a style at a depth; a chain deeper than 10 ends the run with 9.
void wcharprops(cxstate* st, wrd* d, int s, int depth);
// wstylename: the name and number of a style as record fields.
void wstylename(cxstate* st, wrd* d, int s);
// wchpemit: writes the records of what differs from the written set and
// copies the current set into it; wchpemit2 with the copy and direct flags.
void wchpemit(cxstate* st, wrd* d);
void wchpemit2(cxstate* st, wrd* d, int copy, int direct);
// wfontrec: the font record of the current set's font and size.
void wfontrec(cxstate* st, wrd* d);
// wfontname: a font name as record text (Word: 128 and above through the
// code page record).
void wfontname(cxstate* st, wrd* d, const char* name, int n);
// wcharwidth: the width of a character of the current font, in twips.
int wcharwidth(cxstate* st, wrd* d, int c);

// Document start, bookmarks and the date of a packed date-time.
void wdocstart(cxstate* st, wrd* d);
void wreadbookmarks(cxstate* st, wrd* d);
int wbookmarks(cxstate* st, wrd* d, int all);
void wdttm(cxstate* st, uint32_t packed);
// wsuminfostr: document string n (1 the title) as a record field: its
// characters of 32 to 127, then US.
void wsuminfostr(cxstate* st, wrd* d, int n);

// wfield: a field, read from after its begin: its records, its result
// skipped or left in the text, its replacement text written.
void wfield(cxstate* st, wrd* d);

// Special characters, extended characters and line layout.
void wspecial(cxstate* st, wrd* d, int c);
void wextchar(cxstate* st, wrd* d, int c);
void wnewline(cxstate* st, wrd* d, int mode);
void wlinecount(cxstate* st, wrd* d);
void wputcol(cxstate* st, int32_t twips);
// wnewmargins: writes the margins the indents moved back at a line's end.
void wnewmargins(cxstate* st, wrd* d);
// wbrcmap: the border code (0-7) of a stored border word.
int wbrcmap(const wrd* d, int32_t word);

// Table rows: the row start and the table's end around the paragraphs in
// cells, and the row writer at the mark that ends a row.
void wrowstart(cxstate* st, wrd* d);
void wtableend(cxstate* st, wrd* d);
void wrowflush(cxstate* st, wrd* d);

#endif
