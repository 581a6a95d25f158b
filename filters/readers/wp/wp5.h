// The WordPerfect 5 reader (format 7): the 16-byte file header, the prefix
// of index blocks and packets (summary, fonts, styles, graphics), and the
// document area of text bytes and function codes dispatched through the
// code table into the writer. Embedded texts (notes, headers, comments,
// boxes, styles) run the same text loop over a scratch stream pushed as input.
#ifndef KES_FILTERS_READERS_WP_WP5_H
#define KES_FILTERS_READERS_WP_WP5_H

#include <cstddef>
#include <cstdint>

#include "filters/framework/writer/cw.h"
#include "filters/readers/wp/wpcode.h"

// Per-column entries of a table, and columns of a column definition.
inline constexpr int WP5_MAXCOLS = 32;
// Deepest nesting of embedded texts (notes, boxes, styles inside one another).
inline constexpr int WP5_MAXDEPTH = 16;
// Tab slots of the reader's tab table.
inline constexpr int WP5_NTABS = 50;

// A packet of the prefix index.
struct wp5packet {
  int32_t type;
  uint32_t length, offset;
  wp5packet* next;
};

// A font of the prefix, numbered by its place in the list.
struct wp5font {
  wp5font* next;
  unsigned char desc[27];
  char name[256];
};

// A style of the prefix.
struct wp5style {
  wp5style* next;
  char name[21];
  int32_t key;     // the writer's key
  int32_t kind;
  int32_t number;  // the document's style number
};

// A table column's entry: defaults and the current cell.
struct wp5colent {
  int32_t attrs, align, cellattrs, border, span;
};

// The reader's state of a run.
struct wp5state {
  wp5packet* packets;
  int32_t nfonts;
  wp5font* fonts;
  wp5font* fonttail;
  wp5style* styles;
  int32_t region;        // open aligned region: 0 none, 1 centred, 2 flush right
  int32_t version;       // 0 for 5.0, 1 for 5.1
  int32_t ntabs, tabmode;
  int32_t tabpos[WP5_NTABS];
  char tabkind[WP5_NTABS];
  char tableader[WP5_NTABS];
  int32_t colsactive;
  int32_t ulmode;        // underline mode
  int32_t boxval[5], boxbord[5];
  int32_t boxleft;       // bytes of the current picture left
  // Tables.
  int32_t prevcell, curcell, rows;
  wp5colent cols[WP5_MAXCOLS];
  // Column definition.
  int32_t ncoldef;
  int32_t colleft[WP5_MAXCOLS], colright[WP5_MAXCOLS];
  int32_t colkind;
  int32_t proc;          // processing word
  int32_t basesize;      // twentieths of a point
  uint32_t indexoff;     // first prefix index block
  const wpcoderow* row;  // row of the function being dispatched, or null
  uint8_t key[2];        // code and subfunction being dispatched
  int32_t codepage;      // the document's code page
  uint32_t docoff;       // the document area
  int32_t depth;         // embedded texts being converted
  long filesize;         // bytes of the input
};

// The group buffer: code, subfunction, length (little-endian), then the
// length bytes as they stand in the file. Handlers read only offsets below
// grplen(g) + 4.
inline unsigned wp5getw(const unsigned char* p) { return p[0] | p[1] << 8; }
inline uint32_t wp5getl(const unsigned char* p) { return wp5getw(p) | static_cast<uint32_t>(wp5getw(p + 2)) << 16; }
inline unsigned wp5grpsize(const unsigned char* g) { return wp5getw(g + 2) + 4; }

// wp5main: the reader entry of format 7; 0.
int wp5main(cvrun* run, int argc, const char** argv);
int wp5open(cvrun* run);
void wp5defaults(cvrun* run);
void wp5pagesetup(cvrun* run);
// wp5text: converts the current input to its end; 0.
int wp5text(cvrun* run);
int wp5disp(cvrun* run, int code);
int wp5skip(cvrun* run);
// wp5grpread: the rest of the current group, or null when too short to be
// one (the group is then consumed); wp5grpfree frees it.
unsigned char* wp5grpread(cvrun* run);
void wp5grpfree(cvrun* run, unsigned char* g);
// wp5fatal: frees the state, closes the run files, ends the run with a status.
[[noreturn]] void wp5fatal(cvrun* run, int status);
void wp5freestate(cvrun* run);
// Signed 16- and 32-bit values of the input; -1 at its end.
int wp5readw(cvrun* run);
int32_t wp5readl(cvrun* run);
// wp5skipn: skips n input bytes (fewer at the end of the input).
void wp5skipn(cvrun* run, long n);
// wp5copy: copies n input bytes into a scratch stream of the page size;
// the stream, or -1 when none could be had (the bytes are then left unread),
// or -2 when embedded texts are nested too deep (the bytes are passed over).
int wp5copy(cvrun* run, long n, int pagesize);
// wp5convert: converts a scratch stream through the text loop and closes it.
void wp5convert(cvrun* run, int stream);

// The prefix.
int wp5prefix(cvrun* run);
wp5packet* wp5pktfind(cvrun* run, int type);
char* wp5getstr(cvrun* run, int count);

// Characters.
int wp5charout(cvrun* run, int set, int number);
int wp5charcp(cvrun* run, int set, int number, int* cp, int* byte);
int wp5extchar(cvrun* run);
// One row of a set table: the number, then its byte in each of the ten
// code pages of wp5cpcols (-1 where the code page lacks it).
struct wp5charrow {
  int16_t v[11];
};
struct wp5charset {
  int set;
  const wp5charrow* rows;
  int n;
};
extern const int wp5cpcols[10];
extern const wp5charset wp5chartab[8];

// Attributes by number and by mask.
void wp5attron(cvrun* run, int n);
void wp5attroff(cvrun* run, int n);
void wp5maskon(cvrun* run, unsigned mask);
void wp5maskoff(cvrun* run, unsigned mask);

// Handlers of the groups (each reads its own function and returns 0).
int wp5tabset(cvrun* run);
int wp5fontchg(cvrun* run);
wp5font* wp5fontfind(cvrun* run, const unsigned char* desc, int number);
int wp5tabdef(cvrun* run);
int wp5tabrow(cvrun* run);
int wp5tabcell(cvrun* run);
int wp5tabend(cvrun* run);
int wp5tabendpg(cvrun* run);
int wp5hdrftr(cvrun* run);
int wp5footnote(cvrun* run);
int wp5endnote(cvrun* run);
int wp5notenum(cvrun* run);
int wp5comment(cvrun* run);
int wp5inltext(cvrun* run);
int wp5field(cvrun* run);
int wp5styleonoff(cvrun* run);
wp5style* wp5stylefind(cvrun* run, int number);
wp5style* wp5stylebyname(cvrun* run, const char* name, size_t max);
int wp5namecmp(const char* a, size_t alen, const char* b, size_t blen);
int wp5boxopts(cvrun* run);
int wp5box(cvrun* run);
int wp5boxgetc(cvrun* run);
// wp5linekinds: a file's line word as a border word of four nibbles.
int wp5linekinds(unsigned w);

extern wpcoderow wp5codetab[110];

inline wp5state* wp5st(cvrun* run) { return static_cast<wp5state*>(cvreader(run)); }

#endif
