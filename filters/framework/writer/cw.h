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

// The writer's state of one run (cvrun::writer), made at the run's start.
struct cwstate {
  // The writer core: pending flags, line position and switches.
  uint32_t pending;        // CW_PCHAR, CW_PPARA, CW_PPAGE, CW_PGRID
  int32_t parastart;       // a paragraph or line has just begun
  int32_t linepos;         // where the next character goes, twips
  int32_t rightlimit;      // where a line is full, twips
  int32_t nowidth;         // width counting: 1 off
  int32_t prolwritten;     // the prologue has been written
  int32_t deflang;         // the run's default language
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

// cwflush: writes every pending change: page records, attributes switched
// off, then font and character records (mode 1 at every call).
void cwflush(cvrun* run, int mode);
// cwprologue: the records that open a document: identification, the font
// table (naming "Courier" when no font was declared), the default font.
void cwprologue(cvrun* run);

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
// cwucschar: writes one byte of the current code page.
void cwucschar(cvrun* run, int byte);
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
// cwpagedefs: the page state and the pending flags at the run's start.
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

#endif
