// The WordPerfect 6 reader (format 48): the file header, the packet index
// with the fonts it names, and the body of text bytes and function codes
// dispatched through the code table into the writer.
#ifndef KES_FILTERS_READERS_WP_WP6_H
#define KES_FILTERS_READERS_WP_WP6_H

#include <cstddef>
#include <cstdint>

#include "filters/framework/writer/cw.h"
#include "filters/readers/wp/wpcode.h"

// Processing states: nothing but the skip, handlers without text, everything.
inline constexpr int WP6_OFF = 0, WP6_NOTEXT = 2, WP6_ON = 3;
// Deepest nesting of pushed packets.
inline constexpr int WP6_MAXPUSH = 16;

// A packet of the index.
struct wp6packet {
  wp6packet* next;
  int32_t number, type;
  uint32_t offset, size;
  int32_t flags;
};

// A font of the font list.
struct wp6font {
  wp6font* next;
  int32_t index, packet, id;
  int32_t flaga, flagb;  // style flags: 0, 1, -1 not given
  char name[1];          // sized to the name
};

// A pushed packet: the input it replaced and where that stood.
struct wp6push {
  wp6push* next;
  int32_t input;
  long pos;
  uint32_t offset;
  int32_t stream;
};

// A style of the document: its packet and the writer's key.
struct wp6style {
  wp6style* next;
  int32_t packet, key;
};

// The format state: everything an embedded text (header, note, box) saves
// and restores around itself.
struct wp6fmt {
  int32_t proc;              // processing state
  int32_t heldid;            // id of the 0xF1 function that switched processing off, -1 none
  int32_t pagew, pagel;
  int32_t tmar, bmar, lmar, rmar, ladj, radj;
  int32_t hdrgap, ftrgap, hdrlines, ftrlines, hdron, ftron;
  int32_t firstind;
  int32_t just;
  wp6font* curfont;
  int32_t cursize, relsize, sizecount;
  int32_t attrbits, ulmode;
  int32_t colson, ncols, curcol;
  int32_t pagecount;
  int32_t leader, leader2;
  int32_t region;
  int32_t color[3];
  int32_t shadeset;
  int32_t styleclosed;       // a style ended by a line end: hard line ends are not written
  int32_t pct1, pct2;
  int32_t linerestart;       // the line-numbering restart value
  int32_t ftnnum, ednnum;
  int32_t linkopen;
  int32_t linkout;           // a link region's capture stream, -1 none
  // Tables.
  int32_t tabopen;           // a table's rows are being read
  int32_t tabcols;
  int32_t colleft[50], colright[50], colalign[50];
  int32_t tableft, tabalign;
  int32_t tabcell, tabrow;
  int32_t tabline;           // the default line kind of the table's cells
  int32_t tabborder;         // the table's outer line kinds, four nibbles from the top; -1 none
  int32_t tabshade[7];       // percentage and two colours, all 0 for none
  int32_t tabpass;           // 1 first (borders gathered), 2 second, -1 one pass
  int32_t tablevel;          // the level of the border records, -1 none
  int32_t tabin;             // the stream the table is read from
  int32_t tabscratch;        // the first pass's output, -1 none
  int64_t tabstart;          // where the table's begin function stands
};

// The border record of a cell, gathered in a table's first pass: the line
// kinds of its top, left, bottom and right sides (9 to 15 not yet settled).
struct wp6tabcellrec {
  int32_t index;
  int32_t side[4];
};
// A row of the records: its index and its cells.
struct wp6tabrowrec {
  int32_t index;
  int32_t first, count;
};
// One table level: its rows and cells, and the format state its first pass
// began with, which its second pass begins with again.
struct wp6tablev {
  wp6tabrowrec* rows;
  int32_t nrows, caprows;
  wp6tabcellrec* cells;
  int32_t ncells, capcells;
  wp6fmt saved;
};
// Tables within tables (through boxes and notes) with border records; deeper
// ones are read once with their default borders.
inline constexpr int WP6_TABLEVELS = 5;

// The reader's state of a run.
struct wp6state {
  wp6fmt f;
  int32_t initpkt, initsize; // initial font packet and size (twentieths of a point)
  int32_t version;           // 1 to 3, from the minor version
  // Lists.
  wp6font* fonts;
  wp6font** fonttail;
  wp6packet* packets;
  wp6push* pushed;
  wp6style* styles;
  int32_t npushed;
  int32_t missing;           // a referenced packet is missing
  int32_t boxdepth;          // boxes open inside one another
  wp6tablev levels[WP6_TABLEVELS];
  int32_t ntablev;           // table levels in use
  int32_t grpdepth;          // bordered groups open inside one another
  int32_t oleslot;           // compound-file path: the document's stream slot, -1 none
  int32_t objslot;           // the stream of an OLE object in the compound file, -1 none
  int32_t capture;           // a box's converted objects, -1 none
  int32_t conv;              // an OLE object's converted output, -1 none
  char boxname[256];         // a box's image file name
  int32_t ntexts;            // embedded texts open inside one another
  uint32_t indexoff;         // the index area
  uint32_t sumoff, sumsize;  // the summary packet
  uint32_t docoff;           // the document area
  int32_t cp819;
  int32_t datepic[32];       // the date picture, ended by -1
  const wpcoderow* row;      // current row
  int32_t docin;             // the stream the document is read from
  int32_t scratch;           // compound-file path: the scratch copy, -1 none
  int32_t olepushed;         // compound-file path: the stream was pushed
  uint8_t key[2];            // code and subfunction being dispatched
};

// wp6main: the reader entry of format 48; 0.
int wp6main(cvrun* run, int argc, const char** argv);
// wp6open: sorts the tables, opens the input, checks the header; failures end the run.
int wp6open(cvrun* run);
// wp6text: converts the current input to its end; 0.
int wp6text(cvrun* run);
// wp6end: ends the run after the body (status 12 when a packet was missing).
void wp6end(cvrun* run);
// wp6fatal: frees the state, closes the run files, ends the run with a status.
[[noreturn]] void wp6fatal(cvrun* run, int status);
// wp6freestate: frees the lists and the state.
void wp6freestate(cvrun* run);

// Dispatch.
int wp6disp(cvrun* run, int code);
int wp6skip(cvrun* run);
unsigned char* wp6fnread(cvrun* run);
void wp6fnfree(cvrun* run, unsigned char* buf);
// wp6charout: a character (set, number); 0, or -1 when it cannot be written.
int wp6charout(cvrun* run, int set, int number);

// The character sets 1 to 10: rows of the number and its byte in each code
// page of wp6cpcols, -1 where that code page lacks it.
struct wp6setrow {
  int16_t v[13];
};
struct wp6charset {
  int set;
  const wp6setrow* rows;
  int n;
};
extern const int wp6cpcols[12];
extern const wp6charset wp6settab[10];

// The tables, sorted by each run.
extern wpcoderow wp6codetab[];
extern const size_t wp6ncodes;
struct wp6chrrow {
  uint8_t code, set, number;
};
extern wp6chrrow wp6chartab[32];
int wp6chrcmp(const void* a, const void* b);

// Packets and fonts.
int wp6index(cvrun* run);
unsigned char* wp6pktload(cvrun* run, uint32_t offset, uint32_t size);
void wp6pktskip(cvrun* run, uint32_t offset, uint32_t size);
wp6packet* wp6findpkt(cvrun* run, int number);
int wp6pushpkt(cvrun* run, uint32_t offset, uint32_t size);
int wp6poppkt(cvrun* run);
wp6font* wp6fontadd(cvrun* run, wp6font* src, int mask);
wp6font* wp6fontfind(cvrun* run, const void* key, int mode);
char* wp6fontnorm(char* name);

// The prologue and the fonts of embedded texts.
int wp6prolog(cvrun* run);
void wp6defaults(wp6state* s);
void wp6fontreset(cvrun* run);
void wp6fontsize(cvrun* run);
char* wp6datestr(cvrun* run);
int wp6charcp(cvrun* run, int set, int number, int* cp, int* byte);
wp6style* wp6stylefind(cvrun* run, int packet);

// Embedded texts: converts the text packet `number` (kind: 0 header, 1
// footer, 2 footnote, 3 endnote, 4 comment, 5 box text) between the
// writer's begin and end; 0, or -1 when the packet is missing.
int wp6embed(cvrun* run, int number, int kind, int occur);
// wp6handler: the handler of the layout, attribute, text and table functions.
int wp6fnhandler(cvrun* run);
int wp6subhandler(cvrun* run);
int wp6tabhandler(cvrun* run);
int wp6boxhandler(cvrun* run);
int wp6attr(cvrun* run);
int wp6tabend(cvrun* run);
// wp6tabeof: the end of the input inside a table whose end never came: the
// first pass is ended there (1, read on) or the table closed (0).
int wp6tabeof(cvrun* run);
// wp6tabnone: no table of the enclosing text is open in an embedded one.
void wp6tabnone(wp6state* s);
// wp6tabborders: settles the borders of a level's records between
// neighbouring cells and against the outer border word (-1 none).
void wp6tabborders(wp6tablev* l, int border);
// wp6tabfree: frees the records of every level.
void wp6tabfree(cvrun* run, wp6state* s);
int wp6hline(cvrun* run, int kind);

// Box contents other than text. The box's place and size (twips).
struct wp6boxgeom {
  int32_t x, y, width, height;
};
// wp6boxobj: reads a box-object packet: an image name into boxname, the
// object packets it lists converted into the capture stream; 0, or -1 when
// the capture stream cannot be opened.
int wp6boxobj(cvrun* run, const wp6packet* pkt, const wp6boxgeom* box);
// wp6objconv, wp6object: an object-data or OLE object packet converted into
// a scratch stream; the stream, or -1.
int wp6objconv(cvrun* run, const wp6packet* p, const wp6boxgeom* box);
int wp6object(cvrun* run, const wp6packet* p, const wp6boxgeom* box);
// Callbacks of the object output: input bytes, and output to the
// conversion stream, the current output or from the object's stream.
int wp6objgetc(cvrun* run);
int wp6objread(cvrun* run, void* buf, int n);
int wp6objput(cvrun* run, int byte);
int wp6objout(cvrun* run, int byte);
int wp6olegetc(cvrun* run);

// Border, line and fill styles: the line kinds of the top, left, bottom
// and right sides, their first and second spacings (twips; -1 for a second
// spacing not given), colour and shade.
struct wp6bordrec {
  int32_t line[4];
  int32_t sp1[4];
  int32_t sp2[4];
  int32_t rgb[3];
  int32_t shade;
};
// wp6border: reads the pushed border-style packet of `size` bytes; the shade.
int wp6border(cvrun* run, wp6bordrec* r, long size);
// wp6linestyle: the line kind of a line-style packet (0 when missing), its
// colour and shade into r.
int wp6linestyle(cvrun* run, int number, wp6bordrec* r);
// wp6fillstyle: reads the pushed fill-style packet: its two colours into
// col[0..5]; the fill percentage.
int wp6fillstyle(cvrun* run, int* col, long size);
// The same for a packet by number: false, or -1, when it is missing.
bool wp6readborder(cvrun* run, int number, wp6bordrec* r);
int wp6readfill(cvrun* run, int number, int* col);
// wp6bordfn: the border and fill functions D1/10, D2/03, D3/0F.
int wp6bordfn(cvrun* run);
// wp6linenum: line numbering (D3/12); wp6bordgrp: a bordered group of
// characters (D3/17) with the attributes of its mask.
int wp6linenum(cvrun* run);
int wp6bordgrp(cvrun* run);
void wp6paraattron(cvrun* run, unsigned mask);
void wp6paraattroff(cvrun* run, unsigned mask);

// Values of a function buffer: 0 past the function's size.
inline unsigned wp6fnsize(const unsigned char* f) { return f[2] | f[3] << 8; }
inline unsigned wp6b(const unsigned char* f, unsigned at) { return at < wp6fnsize(f) ? f[at] : 0; }
inline unsigned wp6w(const unsigned char* f, unsigned at) { return wp6b(f, at) | wp6b(f, at + 1) << 8; }

// Values of a buffer (little-endian, unsigned) and of the input.
inline unsigned wp6get16(const unsigned char* p) { return p[0] | p[1] << 8; }
inline uint32_t wp6get32(const unsigned char* p) { return wp6get16(p) | static_cast<uint32_t>(wp6get16(p + 2)) << 16; }
int wp6readw(cvrun* run);

inline wp6state* wp6st(cvrun* run) { return static_cast<wp6state*>(cvreader(run)); }

#endif
