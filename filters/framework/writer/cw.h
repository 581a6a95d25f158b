// The writer of the intermediate format COM, which every reader of the
// filter framework calls: its state in the run, the code-page and string
// services, units and widths, character format, fonts, page state and the
// shared record writers. The runtime beneath it is filters/framework/runtime.
#ifndef KES_FILTERS_FRAMEWORK_WRITER_CW_H
#define KES_FILTERS_FRAMEWORK_WRITER_CW_H

#include <cstdint>

#include "filters/framework/runtime/cv.h"

// ---------------------------------------------------------------- constants

// Encodings of the strings handed to the writer: 16-bit characters in the
// run's byte order, four double-byte sets, single bytes of the current code page.
inline constexpr int CW_ENC16 = 0, CW_ENCSJIS = 1, CW_ENCBIG5 = 2, CW_ENCGB = 3, CW_ENCKSC = 4,
                     CW_ENCBYTE = 5;

// Pending flags of the writer: what the next flush must write.
inline constexpr uint32_t CW_PCHAR = 1, CW_PPARA = 4, CW_PPAGE = 8, CW_PGRID = 0x10;
// Sub-flags of the character format: a value changed, something was
// switched off, the font or size changed.
inline constexpr int32_t CW_CVALUE = 1, CW_COFF = 2, CW_CFONT = 4;

// The code pages the tables know, in the order a 16-bit character is sought.
inline constexpr int CV_NCP = 13;
inline constexpr int cvcodepages[CV_NCP] = {437, 819, 850, 9999, 8591, 8592, 9998,
                                            9997, 1250, 852, 866, 1255, 1256};

inline constexpr int CW_NATTR = 20;    // attribute slots of the character format
inline constexpr int CW_NWIDTHS = 15;  // cached width tables of the selected fonts

// ---------------------------------------------------------------- records

// The values of a shading: percentage, first and second colour (red, green,
// blue, 0-255 or -1 for none), and nine values the writer carries unread.
struct cvshadevals {
  int32_t pct;
  int32_t c1[3];
  int32_t c2[3];
  int32_t rest[9];
};

// A shading description as the readers pass it: a word the writer does not
// read, then the sixteen values.
struct cvshade {
  int32_t kind;
  cvshadevals v;
};

// One attribute of the character format: on (1) or off (0), and its value.
struct cwattrword {
  int32_t on;
  int32_t val;
};

// The character format; the writer keeps a pending and a written copy.
struct cwcharfmt {
  int32_t sub;                 // sub-flags CW_CVALUE, CW_COFF, CW_CFONT
  cwattrword attr[CW_NATTR];   // by slot, in the order of the attribute table
  int32_t region;              // explicit region kind: 0, 1 centred, 2 flush right
  int32_t linehgt;             // twips, 0 none
  int32_t c1[3];               // first colour
  int32_t c2[3];               // second colour
  int32_t lang;                // language number
  cvshadevals shade;           // character shading
  int32_t bord[4];             // border line kinds of sides 0-3
  int32_t brgb[4][3];          // border colours of sides 0-3
  int32_t ulstyle;             // underline style 0-3
  int32_t charstyle;           // the character style applied last
};

// A font as a reader declares it.
struct cvfontdesc {
  int32_t kind;           // not stored
  const char* name;       // in the name encoding
  int32_t vala;           // stored and answered by the font query; not written
  int32_t family;         // written in the font record unless -1
  int32_t pitch;          // written in the font record unless -1
  int32_t enc;            // the name's encoding (CW_ENC16 ... CW_ENCBYTE)
  const char* name2;      // not stored
  int32_t dflt;           // 1: the document's default font
  int32_t dfltsize;       // twentieths of a point, used when no size is given
};

// A font of the run's font table, numbered from 0 in declaration order.
struct cwfont {
  char* name;             // owned copy in its encoding
  int32_t num;
  int32_t vala;
  int32_t family;
  int32_t pitch;
  int32_t enc;
  int32_t dflt;
  int32_t dfltsize;
  cwfont* next;
};

// A cached width table: a font name, size and style with its 256 widths.
struct cwwidthent {
  char* name;             // owned copy
  int32_t enc;            // the name's encoding
  int32_t size;           // twentieths of a point
  int32_t style;          // 1 bold, 2 italic
  int32_t* tab;           // 256 widths in twips
  int32_t age;
};

// The page set-up; the writer keeps it and the copy last written.
struct cwpage {
  int32_t w0;             // not read
  int32_t vala;           // horizontal value A
  int32_t valb;           // horizontal value B
  int32_t tmar;           // top margin
  int32_t bmar;           // bottom margin
  int32_t hdrgap;         // space between header and body text
  int32_t ftrgap;         // space between body text and footer
  int32_t hdrpos;         // header distance from the top edge
  int32_t ftrpos;         // footer distance from the bottom edge
  int32_t length;         // page length
  int32_t width;          // page width
  int32_t preset;         // preset kind
  int32_t orient;         // 1 portrait, 2 landscape
  int32_t valv;           // page value V
  int32_t pgnum;          // page numbering value (high and low byte apart)
  int32_t pgfmt;          // page-number format
  int32_t pgmode;         // page mode 0, 1, 2
  int32_t bord[4];        // border line kinds of sides 0-3
  int32_t brgb[4][3];     // border colours of sides 0-3
  int32_t unused;
  cvshadevals shade;      // page shading
};
static_assert(sizeof(cwpage) == 50 * 4, "the page state is 50 words");

// One slot of the code-page cache: a code page's forward table, its page
// flags and four of its reverse pages (the fourth also takes pages read on
// demand).
struct cvcpslot {
  int32_t cp;                    // 0 when nothing is loaded
  unsigned char fwd[512];        // each byte's 16-bit character, high byte first
  int32_t high[4];               // the high byte of each reverse page held, -1 none
  unsigned char flags[256];      // 1 for each high byte the file has a page for
  unsigned char pages[4][256];   // reverse pages: the byte of each low byte
};

// ---------------------------------------------------------------- paragraph format

inline constexpr int CW_NTABS = 256;   // tab stops of a tab table
inline constexpr int CW_NLEVELS = 9;   // list levels of a paragraph format
inline constexpr int CW_NSUMMARY = 22; // entries of the document summary

// Sub-flags of the paragraph format: a paragraph boundary (the next flush
// writes the paragraph records), the tab table, the indents and the list
// levels changed.
inline constexpr int32_t CW_PBOUND = 1, CW_PTABS = 2, CW_PINDENTS = 4, CW_PLEVELS = 0x40;

// One tab stop: position (twips), kind (0 left, 1 centred, 2 right, 3
// decimal, 4 set by an indent or a list number), leader and its encoding.
struct cwtabstop {
  int32_t pos;
  int32_t kind;
  char* leader;           // owned copy, or null
  int32_t lenc;
};

// A tab table. Mode 0: positions count from the left margin; any other
// mode: positions are line positions.
struct cwtabtab {
  int32_t count;
  int32_t mode;
  cwtabstop stops[CW_NTABS];
};

// A character-format change set: groups of words, each in force only when
// its flag word is set. The word positions are fixed (78 words).
struct cwchfmt {
  int32_t attrset;        // 0: the attribute words follow
  int32_t attr[30];       // 1-30: an on word per attribute, and value words
  int32_t unused;
  int32_t lhset;          // 32: line height
  int32_t linehgt;
  int32_t colset;         // 34: both colours
  int32_t c1[3];
  int32_t c2[3];
  int32_t langset;        // 41: language
  int32_t lang;
  int32_t shadeset;       // 43: shading
  cvshade shade;
  int32_t bordset;        // 61: border kinds and colours
  int32_t bord[4];
  int32_t brgb[4][3];
};
static_assert(sizeof(cwchfmt) == 78 * 4, "a character change set is 78 words");

// A stored list level, owned by the paragraph format that holds it.
struct cwlistlvl {
  int32_t base;           // start value - 1
  int32_t counter;
  int32_t fmt;            // numbering format
  int32_t higher;         // the numbers of the levels above come first
  char* before;           // owned copies, or null
  char* after;
  int32_t enc;            // encoding of both texts
  cwchfmt* chfmt;         // owned copy, or null
  int32_t ownfont;
  char* fontname;         // owned copy, or null
  int32_t fontenc;
  int32_t fontnum;
  int32_t ownsize;
  int32_t size;
  int32_t indent;         // from the item's start to its text, twips
  int32_t owncp;
  int32_t cp;
};

// A text argument that keeps the value stored before (list definitions).
inline const char* const CW_KEEPTEXT = reinterpret_cast<const char*>(static_cast<intptr_t>(-1));

// A list-level definition as a reader passes it; -1 (CW_KEEPTEXT for the
// texts) keeps what is stored. Below version 2 the fields from the
// character formatting on are not read.
struct cwlistdesc {
  int32_t version;
  int32_t level;          // 1-9
  int32_t start;
  int32_t fmt;
  int32_t higher;
  const char* before;
  const char* after;
  int32_t enc;
  const cwchfmt* chfmt;   // or null
  int32_t ownfont;
  const char* fontname;
  int32_t fontenc;
  int32_t fontnum;
  int32_t ownsize;
  int32_t size;
  int32_t indent;
  int32_t owncp;
  int32_t cp;
};

struct cwstyle;  // a style of the style table
// Styles, sub-documents, notes, fields, tables and column sets.
struct cwsubstate;
struct cwnotes;
struct cwhfdesc;
struct cwfieldstate;
struct cwtables;
struct cwcolsets;
struct cwgrids;

// The paragraph format; the writer keeps a pending and a written copy.
struct cwparafmt {
  int32_t sub;            // CW_PBOUND, CW_PTABS, CW_PINDENTS, CW_PLEVELS
  int32_t lmar, rmar;     // margins from the page edges
  int32_t align;          // 0 left, 1 centre, 2 right, 3 justified, 4 the same with field 1
  int32_t linespc;        // line spacing
  int32_t spc2;           // the second spacing value
  int32_t after, before;  // paragraph spacing
  int32_t ind1st, indleft, indright;
  int32_t once3;          // written once with the next paragraph records when positive
  int32_t once4;          // ended at the next line end when positive
  int32_t pct1, pct2;     // two percentages 0-100
  int32_t widow;          // widow and orphan lines, -1 off
  int32_t bord[4];        // border line kinds of sides 0-3
  int32_t brgb[4][3];     // border colours of sides 0-3
  int32_t spare;
  cvshadevals shade;
  // Not copied from one format into another:
  int32_t lastlvl;        // the list level numbered last (0-based)
  // Deep-copied:
  cwlistlvl* lvl[CW_NLEVELS];
  cwtabtab tabs;
  // Copied as they are:
  cwstyle* style;         // the paragraph style applied last, or null
  int32_t linepos;        // where the next character goes, twips
  int32_t region;         // the aligned region open: 25219, 18625 or 0
  int32_t taborg;         // where the last tab move or back-tab started
};

// A tab stop of the document defaults.
struct cwdeftab {
  int32_t pos;
  int32_t kind;
  const char* leader;     // or null
  int32_t lenc;
};

// A list level of the document defaults.
struct cwdeflvl {
  int32_t start;
  int32_t unused;
  int32_t fmt;
  int32_t higher;
  const char* before;
  const char* after;
  int32_t enc;
  const cwchfmt* chfmt;   // or null
  int32_t ownfont;
  const char* fontname;
  int32_t fontenc;
  int32_t fontnum;
  int32_t ownsize;
  int32_t size;
};

// The document-defaults record each reader hands to cwdocdefs.
struct cwdefrec {
  int32_t version;        // not read
  int32_t nowidth;        // width counting: 1 off, 0 on
  int32_t grid;           // table-grid mode: 1 on
  int32_t codepage;
  int32_t fnstyle;        // footnote numbering style
  int32_t enstyle;        // endnote numbering style
  int32_t tmar, bmar;
  int32_t hdrgap, ftrgap;
  int32_t hdrpos, ftrpos;
  int32_t length, width;
  int32_t orient;
  int32_t lmar, rmar;
  int32_t align;
  int32_t linespc;
  int32_t spc2;           // not read
  int32_t pct1, pct2;
  int32_t widow;
  int32_t unused;
  const cwdeflvl* lvl[CW_NLEVELS];  // null: absent
  int32_t ntabs;
  int32_t tabmode;
  cwdeftab tabs[CW_NTABS];
  int32_t font, size, lang;
};

// The run's copy of the document defaults, with its own tab leaders and levels.
struct cwrundefs {
  int32_t nowidth, grid, codepage, fnstyle, enstyle;
  int32_t tmar, bmar, hdrgap, ftrgap, hdrpos, ftrpos, length, width, orient;
  int32_t lmar, rmar, align, linespc, pct1, pct2, widow;
  cwlistlvl* lvl[CW_NLEVELS];
  cwtabtab tabs;
  int32_t font, size, lang;
};

// One entry of the document summary: a text, or the whole of a stream.
struct cwsumentry {
  char* text;             // owned copy, or null
  int32_t enc;            // the text's encoding, -1 for a stream
  int32_t stream;         // paged stream owned by the entry, -1 none
};

// A summary item given with its own stream.
struct cwsumitem {
  int32_t unused;
  int32_t index;
  const char* text;       // or null: the stream holds the value
  int32_t enc;
  int32_t stream;
};

// A string descriptor of the flush-right regions.
struct cwstrdesc {
  int32_t flags;
  const char* text;       // or null
  int32_t enc;
};

// The writer's state of one run (cvrun::writer), made at the run's start.
struct cwstate {
  // The writer core: pending flags and switches (the line position is kept
  // with the paragraph format, para.linepos).
  uint32_t pending;        // CW_PCHAR, CW_PPARA, CW_PPAGE, CW_PGRID
  int32_t parastart;       // a paragraph or line has just begun
  int32_t rightlimit;      // where a line is full, twips
  int32_t nowidth;         // width counting: 1 off
  int32_t prolwritten;     // the prologue has been written
  int32_t inlinestyles;    // style definitions are written inline, not in the prologue
  int32_t deflang;         // the run's default language
  int32_t subkind;         // kind of the innermost open sub-document, 0 the main text
  int32_t gridmode;        // table-grid mode of the document
  int32_t notestyle[2];    // footnote and endnote numbering styles
  cwsumentry** summary;    // 22 entries, or null
  cvshadevals* docshade;   // the document background, or null
  int32_t listcb;          // the list clean-up callback is registered
  // Paragraph format: pending and written copies; the document defaults.
  cwparafmt para;
  cwparafmt paraw;
  cwrundefs defs;
  // Character format: pending and written copies.
  cwcharfmt chr;
  cwcharfmt chrw;
  // Font table, the selected font and size, and their written copies.
  cwfont* fonts;
  cwfont* fontlast;
  int32_t nfonts;          // the next font number, also the count
  cwfont* font;
  cwfont* fontw;
  int32_t size;
  int32_t sizew;
  // Width tables: the cache, the current table, the query cache.
  cwwidthent* widths[CW_NWIDTHS];
  cwwidthent* widthcur;
  cwwidthent* query;
  // Page state and its written copy.
  cwpage page;
  cwpage pagew;
  // Code-page cache: two slots (437, and one that is reloaded) and a mark
  // for each known code page: -1 not tried, 1 loaded once, 0 missing.
  cvcpslot* cpslot[2];
  int8_t cpmark[CV_NCP];
  // Multi-byte text: two setting words, the byte-order field of inline runs
  // (0 big-endian, 1 little-endian), the hex mode, the encoding and byte
  // order given when the mode went on; the code page of single-byte strings
  // while a list number is written (0 otherwise).
  int32_t mbset[2];
  int32_t mborder;
  int32_t mbhex;
  int32_t mbenc;
  int32_t mbbyteorder;
  int32_t strcp;
  // Styles, sub-documents, notes, fields, tables and column sets.
  cwstyle* styles;         // the style list in definition order
  cwstyle* stylelast;
  int32_t nstyles;         // styles defined, also the next key
  cwstyle* curpara;        // the current paragraph style, or null
  cwstyle* curchar;        // the current character style, or null
  int32_t subn;            // sub-document levels open (0 the main text)
  int32_t subover;         // begins refused inside the open levels; their ends do nothing
  cwsubstate* sub[10];     // the saved state of each open level
  cwsubstate* subspare[10]; // states of levels left, kept for the next level entered there
  cwnotes* notes;          // note numbering, made at first use
  cwhfdesc* hf;            // the held header or footer, or null
  int32_t hfover;          // header and footer begins refused; their ends do nothing
  cwfieldstate* field;     // the innermost open field, or null
  cwfieldstate* fields[5]; // the enclosing fields, slot 0 outermost
  int32_t nfields;         // enclosing fields saved
  int32_t fieldover;       // field begins refused; their ends do nothing
  cwtables* tables;        // open tables, made at first use
  cwcolsets* cols;         // open column sets, made at first use
  cwgrids* grids;          // the table grid being collected, made at first use
};

// A line-numbering description.
struct cwlinedesc {
  int32_t mode;
  int32_t bit0, bit1, bit2;  // option bits
  int32_t low;               // low bits of the flags
  int32_t start;             // first number
  int32_t interval;          // twips
  int32_t restart;           // written when the mode is 2 or more
};

// A paragraph-border description.
struct cwborddesc {
  int32_t kind;              // not written
  int32_t v[4];
  int32_t side[4];           // line kinds of the four sides, one nibble each
  int32_t last;
};

// A generated-text description (tables of contents, indexes and the like).
struct cwgendesc {
  int32_t kindword;          // not written
  int32_t kind;              // 0 contents, 1 index, 2 authorities, 3 with two strings
  int32_t subtype;
  const char* str1;
  int32_t num;
  const char* str2;
  int32_t enc;               // the strings' encoding
};

// ---------------------------------------------------------------- run hooks

// The writer's steps of a run's start and end (cvsethooks installs them).
extern const cvhooks cwhooks;

// ---------------------------------------------------------------- writer core

// cwflush: writes every pending change in a fixed order: table grid, page
// records (the prologue first), attributes switched off, the paragraph
// records, the aligned region of a new line, font and character records.
void cwflush(cvrun* run, int mode);
// cwgridflush: the table grid merge of the tables collected in table-grid mode.
void cwgridflush(cvrun* run);
// cwprologue: the records that open a document, once: identification, the
// summary, the font table (naming "Courier" when no font was declared), the
// document background and the default font.
void cwprologue(cvrun* run);
// cwputc: a character of the current code page, counting its width and
// wrapping the line when it is full (fast path below).
inline void cwputc(cvrun* run, int c);
// cwputcslow: cwputc with pending format or width counting.
void cwputcslow(cvrun* run, int c);
// cwputs: a NUL-ended string of the current code page; counts, never wraps.
void cwputs(cvrun* run, const char* s);
// cwputraw: a character as it is: no flush, no width.
void cwputraw(cvrun* run, int c);
// cwputb: a byte into the output unchanged, after the pending format.
void cwputb(cvrun* run, int byte);
// cwbackc: steps the output back one byte and returns it; -1 at its start.
int cwbackc(cvrun* run);
// cwspecial: a special character (0 non-breaking space, 1 optional hyphen,
// 2 non-breaking hyphen, 3 optional hyphen shown, 4 page number, 5 page
// count, 6 tab, 7 and 8 tab codes, 9 an empty aligned region).
void cwspecial(cvrun* run, int kind);
// cwbreak: one break record by kind; no flush, no width.
void cwbreak(cvrun* run, int kind);
// cwgetc: the next byte of the current input (or of the innermost reading
// callback); -1 at its end.
inline int cwgetc(cvrun* run) {
  return run->getidx >= 0 ? run->getcbs[run->getidx](run) : cvsgetc(run, run->in);
}
// cwungetc: pushes a byte back onto the current input.
void cwungetc(cvrun* run, int byte);
// cwwrap: moves the tail of an overfull line behind a soft line end.
void cwwrap(cvrun* run);
// cwsummary: stores a summary entry (index 0-21) as a copy of the text.
void cwsummary(cvrun* run, int index, const char* text, int enc);
// cwsummaryrec: stores a summary entry from a text or, without one, from a
// stream that the entry then owns.
void cwsummaryrec(cvrun* run, const cwsumitem* item);
// cwsummaryfree: frees the summary table (a clean-up callback).
void cwsummaryfree(cvrun* run);
// cwdocshade: stores the document background for the prologue.
void cwdocshade(cvrun* run, const cvshade* shade);

// ---------------------------------------------------------------- line ends and regions

// cwnewline: ends the line: 0 soft, 1 hard (paragraph end), 2 break inside
// a paragraph, 3 hard page, 4 soft page, 5 soft without a space.
void cwnewline(cvrun* run, int kind);
// cwparablank: the space before (0) or after (1) as blank lines.
void cwparablank(cvrun* run, int which);
// cwalignopen: opens the aligned region of the pending alignment.
void cwalignopen(cvrun* run);
// cwalignclose: closes the open aligned region.
void cwalignclose(cvrun* run);
// Explicit regions: flush right (kind 10 or 44, an optional fill text),
// centred (kind 0 or 1), and their ends.
void cwflrbeg(cvrun* run, const cwstrdesc* d);
void cwflrbeg2(cvrun* run, const cwstrdesc* d);
void cwctrbeg(cvrun* run);
void cwctrbeg2(cvrun* run);
void cwctrend(cvrun* run);
void cwflrend(cvrun* run);

// ---------------------------------------------------------------- paragraph format

void cwalign(cvrun* run, int align);                  // alignment 0-4
void cwlmargin(cvrun* run, int twips);                // left margin, where it leaves room
void cwrmargin(cvrun* run, int twips);                // right margin, where it leaves room
void cwlinespc(cvrun* run, int kind, int twips);      // kind 3 the second value, else line spacing
void cwparaspc(cvrun* run, int which, int twips);     // 0 space before, else space after
void cwwidow(cvrun* run, int on, int lines);          // on 1: lines (at least 2); else off
void cwparapct(cvrun* run, int v1, int v2);           // both percentages, each 0-100
void cwparaval3(cvrun* run, int value);               // one-shot value 3
void cwparaval4(cvrun* run, int value);               // one-shot value 4
void cwparabord(cvrun* run, int side, int kind);      // a side's border line kind
void cwparabrgb(cvrun* run, int side, int r, int g, int b);  // a side's border colour
void cwparashade(cvrun* run, const cvshade* shade);   // paragraph shading
// cwparareset: the pending format back to the run defaults for where the
// writer is (main text, table cell, box ...), keeping style and list levels.
void cwparareset(cvrun* run);
// cwparaflush: the paragraph records of what changed (at a boundary), or
// only the indent records (inside a paragraph).
void cwparaflush(cvrun* run);
// cwparainit: both formats to the defaults of a new sub-document.
void cwparainit(cvrun* run);
// cwparacopy: a deep copy of a paragraph format over another.
void cwparacopy(cvrun* run, cwparafmt* to, const cwparafmt* from);
// cwparafree: frees the tab leaders and list levels the formats own.
void cwparafree(cvrun* run);
// cwparaget: a field of the pending paragraph format by index 0-34, else -1.
int cwparaget(cvrun* run, int index);

// ---------------------------------------------------------------- indents

void cwindents(cvrun* run, int first, int left, int right);  // all three, with tab stops
void cwind1st(cvrun* run, int first);                         // first-line indent
void cwindleft(cvrun* run, int left);                         // left indent, when positive
void cwindright(cvrun* run, int right);                       // right indent, when positive
// The indents advanced by an amount, 0 meaning up to the next tab stop; 0,
// or -1 when no stop follows the line position.
int cwind1stadd(cvrun* run, int amount);
int cwindleftadd(cvrun* run, int amount);
int cwindrightadd(cvrun* run, int amount);
// cwbacktab: moves the line position back by an amount (0: to the previous stop).
void cwbacktab(cvrun* run, int amount);
// cwindreset: the indents 0 and the tab origin at the left margin.
void cwindreset(cvrun* run);
// cwindrec: the indent records (from the paragraph flush).
void cwindrec(cvrun* run);
// cwindmove: the records that move the line to where the indented text starts.
void cwindmove(cvrun* run);

// ---------------------------------------------------------------- tab stops

void cwtstopclear(cvrun* run);                        // empties the pending table
void cwtstopkind(cvrun* run, int mode);               // the pending table's mode
// cwtstopadd: a stop into the pending table; 0, or -1 when refused.
int cwtstopadd(cvrun* run, int pos, int kind, const char* leader, int lenc);
// cwtstopins: inserts or replaces a stop in a table, kept sorted; 0, or -1
// for a position off the page.
int cwtstopins(cvrun* run, cwtabtab* t, int lmar, int pos, int kind, const char* leader, int lenc);
// cwtstopnext: the next (dir 1) or previous (dir -1) stop from a line
// position, its kind in *kind; -1 when there is no next one, 0 no previous one.
int cwtstopnext(cvrun* run, int pos, int dir, int* kind);
// cwtstopfind: 1 and the kind when the pending table has a stop at pos, else 0.
int cwtstopfind(cvrun* run, int pos, int* kind);
// cwtstopat: the same for any table.
int cwtstopat(cvrun* run, const cwtabtab* t, int pos, int* kind);
// cwtstopcopy: a table with copies of its leaders (the target's are freed already).
void cwtstopcopy(cvrun* run, cwtabtab* to, const cwtabtab* from);
// cwtstopfree: frees a table's leaders and empties it.
void cwtstopfree(cvrun* run, cwtabtab* t);
// cwtstopchk: the tab records when the pending table differs from the written one.
void cwtstopchk(cvrun* run);
// cwtstoprec: the tab records 12978 and 2702 of the pending table.
void cwtstoprec(cvrun* run);
// cwtstopcmp: the order of two stops by position.
int cwtstopcmp(const cwtabstop* a, const cwtabstop* b);

// ---------------------------------------------------------------- list levels

// cwlistdef: defines a list level; 0, or -1 for a level outside 1-9 or no memory.
int cwlistdef(cvrun* run, const cwlistdesc* d);
// cwlistnum: writes the next number of a defined level 1-9.
void cwlistnum(cvrun* run, int level);
// cwlistinit: empties the pending levels and registers their clean-up.
void cwlistinit(cvrun* run);
// cwlistfree: frees the pending levels (a clean-up callback).
void cwlistfree(cvrun* run);
// cwlvlrec: the list-level record 4560 (from the paragraph flush).
void cwlvlrec(cvrun* run);
// cwlvlfont: the font and character records of a level's number.
void cwlvlfont(cvrun* run, const cwlistlvl* l);
// cwlvloff: the records that end a change set's formatting.
void cwlvloff(cvrun* run, const cwchfmt* c);
// cwlvlfree: frees the levels of a paragraph format.
void cwlvlfree(cvrun* run, cwparafmt* f);
// cwlvlcopy: the target's levels replaced by deep copies of the source's.
void cwlvlcopy(cvrun* run, cwparafmt* to, const cwparafmt* from);
// cwchfmtcopy: an owned copy of the groups that are set, or null when none is.
cwchfmt* cwchfmtcopy(cvrun* run, const cwchfmt* c);
// Numbers as text: decimal, letters, ordinals, English words (0-9998),
// roman numerals; each counts the widths it writes.
void cwnumdec(cvrun* run, int n);
void cwnumlalpha(cvrun* run, int n);
void cwnumualpha(cvrun* run, int n);
void cwnumord(cvrun* run, int n);
void cwnumwords(cvrun* run, int n);
void cwnumroman(cvrun* run, int n, int lower);
// cvroman: the roman numerals of n modulo 100000 into buf (24 bytes).
void cvroman(int n, char* buf, int lower);
// cwstrwidth: the widths of an 8-bit string's characters in the current font.
int cwstrwidth(cvrun* run, const char* s);

// ---------------------------------------------------------------- document defaults

// cwdocdefs: keeps a copy of a reader's defaults record and applies it.
void cwdocdefs(cvrun* run, const cwdefrec* d);
// cwdefsapply: the defaults into the pending paragraph, page and character
// formats, marked pending.
void cwdefsapply(cvrun* run);
// cwdefsreset: the defaults into both paragraph formats and both page
// states, nothing pending.
void cwdefsreset(cvrun* run);
// cwdefsinit: the built-in defaults (the run's start).
void cwdefsinit(cvrun* run);
// cwfontget: a fresh copy of an attribute of the current font (0 size, 1
// name, 2 number, 3 value a, 4 family, 5 pitch, 6 name encoding), or null.
void* cwfontget(cvrun* run, int kind);

// ---------------------------------------------------------------- code pages

// cvsetbe: the byte order of 16-bit strings (1 big-endian, 0 little-endian).
void cvsetbe(cvrun* run, int order);
// cvwcpy: copies a 16-bit string with its terminating unit.
void cvwcpy(cvrun* run, char* dst, const char* src);
// cvwlen: the units before the terminating unit; 0 for null.
int cvwlen(cvrun* run, const char* s);
// cvwequal: 1 when both have the same units; 0 otherwise or for a null.
int cvwequal(cvrun* run, const char* a, const char* b);
// cvwchr: the first unit whose two bytes are (ch >> 8, ch & 0xFF), or null.
const char* cvwchr(cvrun* run, const char* s, int ch);
// cvwncmp: 1 when the first n units agree or either string ends first; else 0.
int cvwncmp(cvrun* run, const char* a, const char* b, int n);
// cvwfroma: a new 16-bit string of an 8-bit one, in the run's byte order; null for null.
char* cvwfroma(cvrun* run, const char* s);
// cvatow: a new 8-bit string of a 16-bit one's low bytes up to a low byte 0;
// null for a null or empty string.
char* cvatow(cvrun* run, const char* w);
// cvunctabinit: empties the code-page cache, preloads 437 and 819; 0 or -1.
int cvunctabinit(cvrun* run);
// cvunctabfree: frees both cache slots.
void cvunctabfree(cvrun* run);
// cvunctab: makes a code page available in a cache slot; 0, or -1 when it is
// not known or its file is missing.
int cvunctab(cvrun* run, int cp, int slot);
// cvuncpage: reads reverse page `ordinal` of a cached code page into page
// slot `page` and records its high byte; 0, or -1 when the file is gone.
int cvuncpage(cvrun* run, int cp, int ordinal, int page, int high);
// cvucsmap: the 16-bit character of a byte of a cached code page; 0, or -1
// (and -1, -1) when the code page is in neither slot.
int cvucsmap(cvrun* run, int cp, int byte, int* hi, int* lo);
// cvcurucs: the same in the current code page, loading it when needed.
int cvcurucs(cvrun* run, int byte, int* hi, int* lo);
// cvucsback: the byte of a code page for a 16-bit character (0 where the
// code page has none), or -1 when the code page or its page is missing.
int cvucsback(cvrun* run, int cp, int hi, int lo);
// cwucschar: writes one byte of the current code page (fast path below).
inline void cwucschar(cvrun* run, int byte);
// cwucscharslow: cwucschar beyond printable ASCII in code page 437.
void cwucscharslow(cvrun* run, int byte);
// cwwchar: writes one 16-bit character.
void cwwchar(cvrun* run, int hi, int lo);
// cwwstr: writes a 16-bit string in the run's byte order.
void cwwstr(cvrun* run, const char* s);
// cw437char: writes the code-page-437 form of a byte of the current code page.
void cw437char(cvrun* run, int byte);

// ---------------------------------------------------------------- strings by encoding

// cwmbyteon: enters multi-byte text mode (once); every text byte then goes
// as two hex digits.
void cwmbyteon(cvrun* run, int enc, int order);
// cwmbyteoff: leaves multi-byte text mode.
void cwmbyteoff(cvrun* run);
// cvmbyteset: stores the setting words and the byte order, writing nothing.
void cvmbyteset(cvrun* run, int set1, int set2, int order);
// cwstr: writes a string of an encoding; nothing for null.
void cwstr(cvrun* run, const char* s, int enc);
// cvstrdup: a new copy, or null for null, empty, a bad encoding or no memory.
char* cvstrdup(cvrun* run, const char* s, int enc);
// cvstrlen: units (encoding 0) or bytes; 0 for null or a bad encoding.
int cvstrlen(cvrun* run, const char* s, int enc);
// cvstrcpy: copies a string with its terminator.
void cvstrcpy(cvrun* run, char* dst, const char* src, int enc);
// cvstreq: 1 when equal (two nulls are equal, one null is not).
int cvstreq(cvrun* run, const char* a, const char* b, int enc);
// cvstrchr: the first character equal to ch, or null. For encodings 0-4 ch
// holds two bytes (first << 8 | second), for encoding 5 the byte value.
const char* cvstrchr(cvrun* run, const char* s, int ch, int enc);
// cvstrncmp: 1 when the first n units or bytes agree (or the first string
// ends; either, for encoding 0), else 0.
int cvstrncmp(cvrun* run, const char* a, const char* b, int n, int enc);
// cvdbcslead: 1 when a byte starts a character of two bytes in an encoding 1-4.
int cvdbcslead(int enc, int byte);

// ---------------------------------------------------------------- units

int cvpt2tw(int n);     // points to twips
int cvtw2pt(int n);     // twips to points (unsigned division)
int cvpx2tw(int n);     // pixels (a point each) to twips
int cvtw2px(int n);     // twips to pixels (unsigned division)
int cvi102tw(int n);    // tenths of an inch to twips
int cvtw2i10(int n);    // twips to tenths of an inch (unsigned division)
int cvi1202tw(int n);   // 1/120 inch to twips
int cvtw2i120(int n);   // twips to 1/120 inch (unsigned division)
int cvcpi2tw(int n);    // characters per inch to a font size: 2400 / n; 0 for 0
int cvtw2cpi(int n);    // a font size to characters per inch: 2400 / n; 0 for 0
int cvsixfifth(int n);  // 1/1200 inch to twips, n * 6 / 5
int cvsixfifth2(int n); // the same, n / 5 * 6: a multiple of 6
// A whole part and the fraction as typed after the point, to twips.
int cvin2tw(int whole, int frac);   // inches
int cvcm2tw(int whole, int frac);   // centimetres
int cvmm2tw(int whole, int hund);   // millimetres and hundredths
int cvu258tw(int whole, int hund);  // units of 258 twips and hundredths
int cvu21tw(int whole, int hund);   // units of 21 twips and hundredths
// Twips to a whole part and a fraction (also the result).
int cvtw2in(int t, int* whole, int* frac);    // hundredths of an inch
int cvtw2cm(int t, int* whole, int* frac);    // hundredths of a centimetre
int cvtw2mm(int t, int* whole, int* frac);    // tenths of a millimetre
int cvtw2u258(int t, int* whole, int* frac);  // hundredths of 258 twips
int cvtw2u21(int t, int* whole, int* frac);   // hundredths of 21 twips
// Digit parsers: every character that is not a digit of the base is skipped.
int cvoctal(const char* s);
int cvoctal2(const char* s);
int cvhex(const char* s);
int cvhex2(const char* s);

// ---------------------------------------------------------------- widths and small strings

// cwwidthtab: makes the width table of a font, size and style current; 0 or -1.
int cwwidthtab(cvrun* run, const char* name, int size, int style, int enc);
// cwwidth: a character's width in the current font, twips (120 for 256 and above).
int cwwidth(cvrun* run, int c);
// cwtextwidth: the sum of the widths of a string's bytes; 120 without a table.
int cwtextwidth(cvrun* run, const char* s);
// cwcharwidth: a character's width in a named font; -1 when memory ran out.
int cwcharwidth(cvrun* run, const char* name, int enc, int size, int style, int c);
// cwhostmetrics: the host's font metrics; 0, the host has none.
int cwhostmetrics(cvrun* run, const char* name, int size, int style, int32_t* tab);
// cwwidthfree: frees every cached width table (a clean-up callback).
void cwwidthfree(cvrun* run);
// cwstylebits: the width style of the pending format: 1 bold, 2 italic.
int cwstylebits(cvrun* run);
int cvtoupper(int c);                          // ASCII a-z to A-Z
int cvtolower(int c);                          // ASCII A-Z to a-z
void cvstrupr(char* s);                        // in place
void cvstrlwr(char* s);                        // in place
void cvp2cstr(const unsigned char* p, char* dst);   // length-prefixed to NUL-ended
void cvc2pstr(const char* s, unsigned char* dst);   // NUL-ended to length-prefixed
void cvstrrev(char* s);                        // reverses in place

// ---------------------------------------------------------------- character format

// Attribute bits of cwattr.
inline constexpr int CW_BOLD = 1, CW_UNDERLINE = 2, CW_ITALIC = 4, CW_STRIKE = 8,
                     CW_CAPS = 16, CW_SMALLCAPS = 32, CW_SUPER = 64, CW_SUB = 128,
                     CW_OUTLINE = 256, CW_REVISION = 512, CW_SHADOW = 1024, CW_VPOS = 2048;

void cwattr(cvrun* run, int bit, int on, int value);        // switches one attribute
void cwcolor(cvrun* run, int flag, int r, int g, int b);    // first colour; flag 1 sets, else clears
void cwbgcolor(cvrun* run, int flag, int r, int g, int b);  // second colour, the same way
void cwlinehgt(cvrun* run, int twips);                      // line height, when it differs
void cwlang(cvrun* run, int lang);                          // language, when it differs
void cwcharshade(cvrun* run, const cvshade* shade);         // character shading
void cwcharbline(cvrun* run, int side, int kind);           // a side's border line kind
void cwcharbrgb(cvrun* run, int side, int r, int g, int b); // a side's border colour
// cwcharreset: resets the character format and writes the records at once.
void cwcharreset(cvrun* run);
// cwattroff: the records of attributes and colours switched off.
void cwattroff(cvrun* run);
// cwcharrec: the records of changed values; the written copy follows.
void cwcharrec(cvrun* run);
// cwcharflush: font record, change records, then the written copy.
void cwcharflush(cvrun* run);
// cwattrallof: the off record of every attribute on in the pending format.
void cwattrallof(cvrun* run);
// cwattrallon: the font record and the on record of every attribute on.
void cwattrallon(cvrun* run);
// cwcharinit: the character format at the run's start.
void cwcharinit(cvrun* run);

// ---------------------------------------------------------------- fonts

int cwfontdef(cvrun* run, const cvfontdesc* d);            // number of the font, -1
int cwfontbyid(cvrun* run, const char* name, int enc);     // number, -1 undeclared
int cwfontname(cvrun* run, const char* name, int enc);     // selects; 1, or 0 undeclared
int cwfontsel(cvrun* run, int num);                        // selects; 1, or 0 no such font
void cwfontsize(cvrun* run, int size);                     // sets the size
int cwfontsize2(cvrun* run, int num, int size);            // font and size; 1, or 0
void cwfontdflsel(cvrun* run);                             // the default font at its size
void cwfontrec(cvrun* run);                                // record 6675 when changed
void cwcodepage(cvrun* run, int cp);                       // the code page of the text
int cwfontadd(cvrun* run, const cvfontdesc* d);            // appends; its number or -1
cwfont* cwfontfind(cvrun* run, const char* name, int enc); // by name, or null
cwfont* cwfontnum(cvrun* run, int num);                    // by number, or null
cwfont* cwfontdfl(cvrun* run);                             // the default font, or null
void cwfontfree(cvrun* run);                               // empties the font table
// cvstristr: the first place of text in s, ASCII letters without case; null
// when absent (an empty s never matches, an empty text matches at once).
const char* cvstristr(const char* s, const char* text);
// cvstriprefix: 1 when s begins with text, ASCII letters without case.
int cvstriprefix(const char* s, const char* text);

// ---------------------------------------------------------------- page state

void cwsetpage(cvrun* run, int length, int width);
void cwsetorient(cvrun* run, int orient);
void cwsettmar(cvrun* run, int twips);
void cwsetbmar(cvrun* run, int twips);
void cwsethdrgap(cvrun* run, int twips);
void cwsetftrgap(cvrun* run, int twips);
void cwsethdrpos(cvrun* run, int twips);
void cwsetftrpos(cvrun* run, int twips);
void cwsetpgmode(cvrun* run, int mode);
void cwsetpgnum(cvrun* run, int value);
void cwsetpgfmt(cvrun* run, int format);
void cwpageshade(cvrun* run, const cvshade* shade);
void cwpagebord(cvrun* run, int side, int kind);
void cwpagebrgb(cvrun* run, int side, int r, int g, int b);
void cwsetpagelr(cvrun* run, int kind, int twips);
void cwsetpageval(cvrun* run, int value);
void cwpagepreset(cvrun* run, int kind);
// cwpagecheck: the prologue when not yet written, then the page records.
void cwpagecheck(cvrun* run);
// cwpageflush: the records of changed page values; the written copy follows.
void cwpageflush(cvrun* run);
// cwpagedefs: the page state, both paragraph formats and the pending flags
// at the run's start.
void cwpagedefs(cvrun* run);

// ---------------------------------------------------------------- shared records

void cwdatefmt(cvrun* run, const int* codes);               // date format, codes ended by -1
void cwlinenum(cvrun* run, const cwlinedesc* d);            // line numbering
void cwtextdir(cvrun* run, int flag, int on, int scope);    // text direction
void cwfileinc(cvrun* run, const char* name, int enc, int kind);  // file include
void cwsheetinc(cvrun* run, const char* name, int enc);     // spreadsheet include
void cwbordon(cvrun* run, const cwborddesc* d);             // paragraph border on
void cwbordoff(cvrun* run);                                 // paragraph border off
void cwvallist(cvrun* run, const int* values, int decimal); // values ended by -1
void cwgenbeg(cvrun* run, const cwgendesc* d);              // generated text begins
void cwgenend(cvrun* run);                                  // generated text ends
void cwr23811(cvrun* run);
void cwr9826(cvrun* run);
void cwr9829(cvrun* run);
void cwr3660(cvrun* run, const int32_t* words);             // words 1-5 of six
void cwcharbord(cvrun* run, int side, int kind);            // accepted and ignored
// cvrgb2ico: the 4-bit colour code of a colour.
int cvrgb2ico(int r, int g, int b);
// cvico2rgb: the components of a colour code; clear bits leave theirs alone.
void cvico2rgb(int code, int* r, int* g, int* b);

// ---------------------------------------------------------------- styles, sub-documents, notes, fields, tables, column sets

inline constexpr int CW_NSTYLES = 256;  // styles of a run
inline constexpr int CW_NSUB = 10;      // nested sub-document levels
inline constexpr int CW_NNEST = 5;      // nested fields, tables, grids and column sets

// A list level of a style's paragraph part.
struct cwstylvl {
  int32_t fmt;            // number format
  int32_t start;
  int32_t value;
  const char* before;     // or null
  const char* after;      // or null
  int32_t enc;            // both texts' encoding
};

// A paragraph-format change set: groups, each in force only when its flag
// word is set.
struct cwpfmt {
  int32_t marset, lmar, rmar;
  int32_t alignset, align;
  int32_t lsset, linespc;
  int32_t ls2set, spc2;
  int32_t afterset, after;
  int32_t beforeset, before;
  int32_t indset, ind1st, indleft, indright;
  int32_t once3set, once3;
  int32_t once4set, once4;
  int32_t pctset, pct1, pct2;
  int32_t widowset, widow;
  int32_t bordset;
  int32_t bord[4];
  int32_t brgb[4][3];
  int32_t shadeset;       // 1: the shading below
  cvshade shade;
  int32_t lvlset;         // 1: the levels below (null: absent)
  int32_t unused;
  const cwstylvl* lvl[CW_NLEVELS];
  int32_t tabset;         // 1: the tab stops below
  int32_t ntabs;
  int32_t tabmode;
  cwdeftab tabs[CW_NTABS];
};

// A field as a reader describes it. Below version 2 no arguments are read;
// no first string means the arguments are in the streams (-1 none).
struct cwfielddesc {
  int32_t version;
  int32_t kind;           // 0-3
  int32_t subtype;
  int32_t closed;         // 1: the begin record ends at once
  const char* args[5];
  int32_t enc;
  int32_t streams[5];
};

// An open field, or the field part of a style: owned argument copies.
struct cwfieldstate {
  int32_t version, kind, subtype, closed;
  char* args[5];
  int32_t enc;
  int32_t streams[5];
};

// A callback a style calls with the run.
using cwstylecb = void (*)(cvrun* run);

// A style as a reader defines it.
struct cwstyledesc {
  int32_t version;
  const char* name;
  int32_t nameenc;
  int32_t kind;           // 0 paragraph, 1 character
  int32_t selffmt;        // 1: the reader writes the formatting itself
  const cwpfmt* para;     // or null (paragraph styles only)
  int32_t fontflag;
  int32_t fontnum;        // used without a font name
  const char* fontname;   // or null
  int32_t fontenc;
  int32_t sizeflag;
  int32_t size;
  const cwchfmt* chr;     // or null
  cwstylecb on;           // right after the style-on record, or null
  cwstylecb undo;         // when the character part is undone, or null
  const cwfielddesc* field;  // or null
};

// A style's own copy of its paragraph groups: list levels with owned texts,
// the tab stops as a sorted table with owned leaders.
struct cwstypara {
  cwpfmt g;               // g.lvl owned, g.tabs unused
  cwtabtab tabs;
};

// A style of the run's style table.
struct cwstyle {
  char* name;             // owned copy
  int32_t key;
  int32_t kind;
  int32_t nameenc;
  int32_t selffmt;
  cwstypara* para;        // or null
  int32_t fontflag, fontnum;
  char* fontname;         // owned copy, or null
  int32_t fontenc;
  int32_t sizeflag, size;
  int32_t savedsize;      // the font size when the style was last switched on
  cwfont* savedfont;      // the font then
  cwchfmt* chr;           // or null
  cwstylecb on, undo;
  cwfieldstate* field;    // or null
  cwstyle* next;
};

// The formatting records of a style: switched on, its character part and
// field undone, its paragraph part undone.
void cwstylefmt(cvrun* run, cwstyle* s);
void cwstyleunfmt(cvrun* run, cwstyle* s);
void cwstyleparend(cvrun* run, cwstyle* s);
// cwfieldcode: a field's begin (end 0) or end code.
int cwfieldcode(int kind, int subtype, int end);

// cwstyledef: defines a style; its key, or -1 (table full, no memory).
int cwstyledef(cvrun* run, const cwstyledesc* d);
void cwstyleuse(cvrun* run, int key);                      // on, with its formatting
void cwstyleusen(cvrun* run, const char* name, int enc);   // the same by name
void cwstyleonfmt(cvrun* run, cwstyle* s);                 // on record, formatting, close
void cwstyleoffrst(cvrun* run, cwstyle* s);                // off record, undo, close
void cwstyleoffkey(cvrun* run, int key);                   // a character style off
cwstyle* cwstyleoffn(cvrun* run, const char* name, int enc);
void cwstyleon(cvrun* run, int key);                       // the bare on record
void cwstyleoff(cvrun* run, int key);                      // the bare off record
void cwstyleclose(cvrun* run);                             // the closing record
void cwstyleend(cvrun* run);                               // the paragraph style ends
void cwstyledefbeg(cvrun* run, int key);                   // inline definitions
void cwstyledefsep(cvrun* run);
void cwstyledefend(cvrun* run);
void cwstylefree(cvrun* run);                              // a clean-up callback
cwstyle* cwstylekey(cvrun* run, int key);                  // by key, or null
// cwstyleprol: the prologue's definitions of the styles.
void cwstyleprol(cvrun* run);

// A positioned box as a reader describes it; the codes are written as given.
struct cwboxdesc {
  int32_t version;
  int32_t boxkind;        // 2 is a box of its own kind
  int32_t anchor, pos1, pos2, wrap;
  int32_t skipped;        // not written
  int32_t flag;
  int32_t width;          // twips, 0 as wide as the enclosing text
  int32_t height;
  int32_t off1, off2;     // offsets, made non-negative
  int32_t dist[4];        // distances from the text, made non-negative
  int32_t lines[4];       // border line kinds 0-15
  int32_t val1, val2;
  const char* name;       // or null
  int32_t nameenc;
  int32_t value;
  int32_t more[4];        // a negative one is written as "A"
};

// cwsubbegin: saves the formatting state and enters a level of a kind (-1
// prologue styles, 1 and 2 boxes, 3 cell, 4 header, 5 footer, 6 footnote,
// 7 endnote, 8 comment, 9 marked text, 10 column); 0, or -1 when the level
// could not be entered (counted: its end then does nothing).
int cwsubbegin(cvrun* run, int kind);
void cwsubend(cvrun* run);          // leaves the innermost level
int cwsubopen(cvrun* run);          // levels begun and not ended, refused ones too
void cwsubclose(cvrun* run);        // the closing steps of every container
void cwalignrec(cvrun* run);        // the record of the pending alignment
void cwprolcheck(cvrun* run);       // the prologue, when not written yet
void cwsubfree(cvrun* run);         // a clean-up callback
void cwsubclear(cvrun* run);        // forgets the saved states
void cwboxbeg(cvrun* run, cwboxdesc* d);
void cwboxend(cvrun* run);
void cwcmtbegin(cvrun* run);        // comment
void cwcmtend(cvrun* run);
void cwdelbegin(cvrun* run);        // marked text
void cwdelend(cvrun* run);
// The line width of the current table cell and of the current column.
int cwcellwidth(cvrun* run);
int cwcolwidth(cvrun* run);
// Clean-up callbacks of open tables and column sets.
void cwtabcleanup(cvrun* run);
void cwcolfree(cvrun* run);

// A header or footer as a reader describes it.
struct cwhfdesc {
  int32_t version;
  int32_t which;          // 0 header A, 1 header B, 2 footer A, 3 footer B
  int32_t occur;          // bits 0 and 1: the pages it stands on (3 every page)
  int32_t v3;             // written last in the end record
  int32_t v4;             // not written
  int32_t v5;             // written third in the end record
};

// The numbering format of a class of notes.
struct cwnotefmtdesc {
  int32_t version;
  int32_t kind;           // 0 footnotes, 2 endnotes
  int32_t start;
  int32_t style;          // 0-5, 10 marks by a string
  const char* before;     // or null
  const char* after;      // or null
  int32_t enc;
};

// A cross-reference or link.
struct cwxrefdesc {
  int32_t version;        // 2 and more: the streams are read
  int32_t kind;
  int32_t value;          // bit 7: the target is a dependent file
  const char* target;     // or null
  const char* text;       // or null
  int32_t enc;
  int32_t tstream;        // target stream, -1 none
  int32_t xstream;        // text stream, -1 none
};

// Footnotes (sub-document kind 6) and endnotes (kind 7).
void cwftnbeg(cvrun* run);
void cwftnend(cvrun* run);
void cwednbeg(cvrun* run);
void cwednend(cvrun* run);
void cwnotefmt(cvrun* run, const cwnotefmtdesc* d);
// cwnotenum: the next number of a class (0 footnotes, else endnotes), or
// while the class is marked by strings (style 10) its mark, a string.
void cwnotenum(cvrun* run, int cls, intptr_t value, int enc);

// Headers (sub-document kind 4) and footers (kind 5).
void cwheadbeg(cvrun* run, const cwhfdesc* d);
void cwheadend(cvrun* run);
void cwfootbeg(cvrun* run, const cwhfdesc* d);
void cwfootend(cvrun* run);
void cwhfstop(cvrun* run, int which);   // discontinues one, 0-3
void cwhfinit(cvrun* run);
void cwhffree(cvrun* run);              // a clean-up callback

// Fields.
void cwfldbeg(cvrun* run, const cwfielddesc* d);
void cwfldend(cvrun* run);
int cwfldpush(cvrun* run);              // 0, or -1 (no memory, or five enclosing fields)
void cwfldpop(cvrun* run);
void cwfldinit(cvrun* run);
void cwfldfree(cvrun* run);             // a clean-up callback

// Cross-references and the one-record emitters.
void cwxref(cvrun* run, const cwxrefdesc* d);
void cwr19843(cvrun* run);
void cwr12484(cvrun* run, const char* s, int enc);
void cwr19876(cvrun* run, const char* s, int enc);
void cwr19081(cvrun* run, const char* s, int enc);
void cwr27885(cvrun* run, int v);
void cwr28909(cvrun* run);
void cwr29933(cvrun* run);
void cwr30957(cvrun* run, const char* s, int enc);
void cwr31981(cvrun* run);
void cwr33005(cvrun* run);
void cwr34029(cvrun* run, const char* s, int enc);
void cwr35053(cvrun* run);
void cwr36077(cvrun* run);
void cwr37101(cvrun* run, const char* s, int enc);
void cwr1261(cvrun* run);
void cwr2285(cvrun* run);
void cwr3309(cvrun* run, const char* s, int enc);
void cwr4333(cvrun* run);
void cwr5357(cvrun* run);
void cwr21010(cvrun* run);
void cwr19154(cvrun* run, const char* s, int enc);
void cwr19155(cvrun* run, const char* s, int enc);
void cwr9814(cvrun* run, const char* s, int enc);
void cwr1552(cvrun* run);
void cwr13838(cvrun* run);
void cwr7694(cvrun* run, int v);
void cwr3603(cvrun* run, int v);
void cwr16915(cvrun* run, int kind);
void cwr16848(cvrun* run, int a, int b);
void cwr7686(cvrun* run, int a, int b);

// A table as a reader describes it.
struct cwtabdesc {
  int32_t version;        // 1-3
  int32_t ncols;          // columns, at most 250 are kept
  int32_t align;          // 0-4
  cvshade shade;          // read from version 2
  int32_t mar[4];         // default cell margins left, right, top, bottom; read from version 3
};

// Tables: begin (0, or -1 when refused: its calls are then ignored up to
// its end), the columns' boundaries, the end of the definition; then rows of
// cells with their setters, and the end.
int cwtabbeg(cvrun* run, const cwtabdesc* d);
int cwcelladd(cvrun* run, int left, int right);   // 0, or -1 when every column is given
void cwtabstart(cvrun* run);
void cwcellnext(cvrun* run);
void cwrownew(cvrun* run);
void cwrowflush(cvrun* run);
void cwrowheight(cvrun* run, int twips);
void cwrowalign(cvrun* run, int align);
void cwcellbline(cvrun* run, int side, int kind);
void cwcellbrgb(cvrun* run, int side, int r, int g, int b);
void cwcellcspan(cvrun* run, int n);
void cwcellrspan(cvrun* run, int n);
void cwcellvpos(cvrun* run, int pos);
void cwcellhalign(cvrun* run, int kind);
void cwcellval(cvrun* run, int value);
void cwcellshade(cvrun* run, const cvshade* shade);
void cwcellmar(cvrun* run, int side, int twips);
void cwtabend(cvrun* run);
void cwmargins(cvrun* run, int* left, int* right);
int cwgetalign(cvrun* run);
int cwtabdepth(cvrun* run);   // tables begun and not ended, refused ones too

// A column set as a reader describes it.
struct cwcoldesc {
  int32_t kind;           // not written
  int32_t ncols;          // at most 250 are kept
  int32_t opt[3];         // the first 1, the others non-zero: flags 0x02, 0x10, 0x20
};

// Column sets: begin (0, or -1 when refused: its calls are then ignored up
// to its end), the columns, the records and breaks, the end.
int cwcolbegin(cvrun* run, const cwcoldesc* d);
int cwcoladd(cvrun* run, int left, int right);   // 0, or -1 when every column is given
void cwcolemit(cvrun* run);
void cwcolbreak(cvrun* run);
void cwcolsoft(cvrun* run);
void cwcolfirst(cvrun* run);
void cwcolend(cvrun* run);
void cwcolshade(cvrun* run, const cvshade* shade);
int cwcolcurrent(cvrun* run);   // the current column from 1, 0 with no set open
void cwcolreset(cvrun* run);

// Table-grid mode: a definition per table with its columns' boundaries, the
// stream collecting the tables' records, the grids of enclosing tables.
int cwgridadd(cvrun* run, int ncols);             // 0, or -1 when memory ran out
void cwgridcell(cvrun* run, int left, int right);
void cwgridopen(cvrun* run);                      // the grid stream becomes the output
void cwgridnest(cvrun* run, int depth);           // a table begins inside another
int cwgridsaved(cvrun* run);                      // the depth of the innermost saved grid, -2 none
void cwgridfree(cvrun* run);

// ---------------------------------------------------------------- fast paths

// Text goes through the writer a byte at a time: printable ASCII of code
// page 437, with nothing pending and no widths counted, goes straight out.
inline void cwucschar(cvrun* run, int byte) {
  byte &= 0xFF;
  if (byte >= 32 && byte <= 127 && run->codepage == 437 && !run->writer->mbhex)
    cvsputc(run, run->out, byte);
  else
    cwucscharslow(run, byte);
}

inline void cwputc(cvrun* run, int c) {
  const cwstate* w = run->writer;
  if (!w->pending && w->nowidth)
    cwucschar(run, c);
  else
    cwputcslow(run, c);
}

// ---------------------------------------------------------------- objects, graphics and forms

// An object a reader hands to the writer, with the sources of its bytes.
struct cwobjdesc {
  int32_t version;     // 1 or less: only the byte callback; above 2 the link fields count
  int32_t value1;      // carried into link records
  int32_t format;      // object format, -1 not given (500-699 graphics, 699 unidentified)
  int32_t v3, v4, v5;  // carried into the object and link records
  int32_t width, height;    // twips
  int32_t dwidth, dheight;  // display size, twips
  cvgetcb_t getbyte;        // next data byte, -1 at the end
  int32_t inlined;          // 1: data goes inside an object record after a header
  int32_t convopt;          // digit handed to the conversion service
  int32_t spare;
  int (*getblock)(cvrun* run, void* buf, int size);  // bytes read, fewer at the end
  int32_t slot;             // an open compound-file stream, -1 none
  const char* stream;       // a stream of the open compound file, or null
  int32_t nameenc;
  int32_t linked;           // with a version above 2: the linked record variants
  int32_t linkid;
};

// The graphics option bits (cvgfxopts).
inline constexpr int CW_GD = 0x2, CW_GX = 0x4, CW_GRR = 0x10, CW_GRER = 0x40, CW_GVR = 0x80,
                     CW_GVX = 0x100, CW_GER = 0x200, CW_GFIX = 0x400;

// cwobject: writes an embedded object; 0 or another status when it went
// through conversion, -1 when it was written unconverted or not at all.
int cwobject(cvrun* run, cwobjdesc* d);
// cwgraphic: writes a reference to a graphic file; 0 when a record was written.
int cwgraphic(cvrun* run, cwobjdesc* d, const char* name, int enc);
int cwobjfile(cvrun* run, cwobjdesc* d);
void cwobjhead(cvrun* run, const cwobjdesc* d);
void cwobjbytes(cvrun* run, cwobjdesc* d);
void cwobjblocks(cvrun* run, cwobjdesc* d);
void cwobjstream(cvrun* run, cwobjdesc* d, int slot);
// cwobjfix: repairs the start of extracted data, writing a header into the
// file first where the format needs one; a format number, 0 or -1.
int cwobjfix(cvrun* run, int fh, const unsigned char* block, int len, const cwobjdesc* d);
void cwobjdone(cvrun* run, int fh, int format);
int cwobjfmt(int format);
// cvfmtid: the host's identification of a file's format (0: none).
int cvfmtid(cvrun* run, const char* name, int* extra);
// cwembconv: converts an embedded document file through the host; -1 when it cannot.
int cwembconv(cvrun* run, int32_t* result, const char* name);
// cwtmpfile: a tracked temporary name in the run's temporary directory, or null.
char* cwtmpfile(cvrun* run);
// cwresolve: a new string naming the file: as given, beside the input file,
// or its last component beside the input file; *exists 0 when none exists.
char* cwresolve(cvrun* run, const char* name, int* exists);

// A form's start: the method word (1 post), the action and encoding type.
struct cwformdesc {
  int32_t word0;
  int32_t post;
  const char* action;
  int32_t actionenc;
  const char* enctype;
  int32_t enctypeenc;
};
// A form control: word 1 is the type (0-9); strings travel as pointers.
struct cwctldesc {
  intptr_t word[12];
};
// cwform: record 13894, a form's start (start 1) or end.
void cwform(cvrun* run, int start, const cwformdesc* f);
// cwformfield: record 16841 for a control; types outside 0-9 write nothing.
void cwformfield(cvrun* run, const cwctldesc* c);

// OLE 1.0 objects: an object stream read into a tree of nodes (a linked
// or embedded object owns its presentation as a nested node), written back
// in binary or as record 5519 of hex digits, and extracted to files.
using ole1put_t = int (*)(cvrun* run, int byte);

struct ole1node {
  int32_t version;   // 0x0501 or 0x0201
  int32_t format;    // 0 none, 1 linked, 2 embedded, 3 and 5 presentation
  int32_t namelen[4];  // class, topic, item, network name lengths, their zero included
  char* name[4];       // owned, with a NUL after the stored bytes; null for length 0
  uint16_t word1, word2;  // linked: kept and written back unchanged
  int32_t update;         // linked: the link update option
  ole1node* nested;       // linked and embedded: the presentation
  int32_t datasize;       // native data (2) or presentation data (3, 5)
  int data;               // scratch stream of the data, -1 none
  int32_t width, height;  // presentation
  int32_t cliplen;        // format 5 with width 0: the clipboard-format name
  char* clip;
};

// The display description that travels with an object.
struct ole1view {
  int32_t kind, width, height, width2, height2, scalex, scaley, unitx, unity;
};

ole1node* ole1parse(cvrun* run, cvgetcb_t get);
void ole1free(cvrun* run, ole1node* n);
void ole1emit(cvrun* run, const ole1node* n, const ole1view* v, ole1put_t put);
// ole1parsehex: the record form read back, after its code: the header
// values from the current input, the hex digits through the callback.
ole1node* ole1parsehex(cvrun* run, ole1view** view, cvgetcb_t get);
void ole1write(cvrun* run, const ole1node* n, ole1put_t put);
ole1node* ole1new(cvrun* run, int format, const char* cls, const char* topic, const char* item);
int ole1kind(const ole1node* n);
int ole1islinked(const ole1node* n);
const char* ole1classname(const ole1node* n);
const char* ole1topic(const ole1node* n);
const char* ole1item(const ole1node* n);
const char* ole1clipname(const ole1node* n);
int32_t ole1width(const ole1node* n);
int32_t ole1height(const ole1node* n);
int32_t ole1size(const ole1node* n);
int32_t ole1nativesize(const ole1node* n);
int32_t ole1pressize(const ole1node* n);
void ole1nativeput(cvrun* run, const ole1node* n, ole1put_t put);
void ole1presput(cvrun* run, const ole1node* n, ole1put_t put);
// ole1nativeget, ole1presget: the data replaced by the callback's bytes up to -1; 0 or -1.
int ole1nativeget(cvrun* run, ole1node* n, cvgetcb_t get);
int ole1presget(cvrun* run, ole1node* n, cvgetcb_t get);
void ole1setget(cvgetcb_t get);
void ole1setput(ole1put_t put);
int ole1getc(cvrun* run);
int ole1get16(cvrun* run);
int32_t ole1get32(cvrun* run);
void ole1putc(cvrun* run, int byte);
void ole1put16(cvrun* run, int value);
void ole1put32(cvrun* run, int32_t value);
void ole1puthex(cvrun* run, int byte);
void ole1puthex16(cvrun* run, int value);
void ole1puthex32(cvrun* run, int32_t value);
int ole1hexdigit(cvrun* run);
int ole1hexbyte(cvrun* run);
int ole1hex16(cvrun* run);
int32_t ole1hex32(cvrun* run);

// The records an extraction writes through a reader's callback, their
// three code letters written as they stand: picture size "PSZ", graphic
// reference "GRF", picture data "PDA".
inline constexpr int OLE1_PICSIZE = 27248, OLE1_GRAPHICREF = 6727, OLE1_PICDATA = 1168;

int ole1conv(cvrun* run, ole1node* n, ole1put_t cb);
int ole1conv2(cvrun* run, ole1node* n, const ole1view* v, ole1put_t cb);
int ole1convpres(cvrun* run, ole1node* n, const ole1view* v, ole1put_t cb);
int ole1convpres2(cvrun* run, ole1node* n, ole1put_t cb);
// ole1extract: 0 when the data were written out, -1 without data, 8 without memory.
int ole1extract(cvrun* run, ole1node* n, const ole1view* v, ole1put_t cb, int presfirst);
int ole1nativesave(cvrun* run, ole1node* n, const char* name, const ole1view* v);
int ole1nativeload(cvrun* run, ole1node* n, const char* name);
int ole1pressave(cvrun* run, ole1node* n, const char* name, const ole1view* v);
int ole1presload(cvrun* run, ole1node* n, const char* name);
int ole1graphic(cvrun* run, ole1node* n, const ole1view* v, ole1put_t cb, const char* data, const char* conv,
                int format, int subformat);
void ole1picsize(cvrun* run, const ole1node* n, const ole1view* v, int format, ole1put_t cb);
// ole1skiprec: a record met in converted text after its ESC; 0, or 5 to stop.
int ole1skiprec(cvrun* run, int fh, unsigned char* block, ole1put_t cb);
int ole1bufgetc(cvrun* run, int fh, unsigned char* block);
void ole1bufreset();
int ole1hexchar(int value);

#endif
