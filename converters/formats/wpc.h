// The WordPerfect 5.x and 6.x converters: their state blocks, the character
// lookups over the shared WordPerfect character sets, and the code table and
// packet readers of the 6.x converter, declared here for their tests.
#ifndef KES_CONVERTERS_FORMATS_WPC_H
#define KES_CONVERTERS_FORMATS_WPC_H

#include <array>
#include <cstdint>

#include "converters/runtime/cx.h"

// ---------------------------------------------------------------- WordPerfect 5.x

// The WordPerfect 5.x block (slot 15): the four settings first, then the
// scratch of one run, set afresh at its start.
struct wpc5blk {
  int32_t format;       // format number, 7 (not read)
  int32_t codepage;     // output code page, 819
  int32_t lemode;       // line ends: 1 LF, 2 CR, 3 CR LF
  const char *version;  // version text "4" (not read)
  unsigned char header[16];
  int32_t lastcp;       // code page and character of the last wpc5charmap
  int32_t lastch;
  int32_t zone10;       // a zone-10 region is open
  int32_t depth;        // groups being read, one inside another
  int32_t eof;          // the input has ended
  int64_t pos;          // bytes read from the document area
  int64_t limit;        // where the innermost group being read ends
};

// wpc5header: checks the 16-byte file header read from the input handle and
// seeks the handle to the document area; 0, or the status to end with
// (9 not a WordPerfect 5.x document, 15 encrypted, 2 area out of reach).
int wpc5header(cxstate *st, int in);
// wpc5code: handles the function code whose first byte c was just read;
// the bytes it took, the code byte included.
int wpc5code(cxstate *st, int c);
// wpc5charmap: the code page of the character that (set, number) stands
// for, its byte in *ch; a pair no table knows is a space of code page 437.
int wpc5charmap(cxstate *st, int set, int number, int *ch);
// wpc5setmap: direction 0 replaces *ch, a character number of the set, by
// its code-page-437 byte; any other direction finds the set and number of
// the code-page-437 byte *ch (sets searched 3, 1, 4, 5, 6, 7, 8). 1 found.
int wpc5setmap(cxstate *st, int direction, int *set, int *ch);
// wpc5cprev: the set and number of a byte of a code page, by the code-page
// tables; 1 found, 0 not.
int wpc5cprev(cxstate *st, int codepage, int ch, int *set, int *number);

// ---------------------------------------------------------------- WordPerfect 6.x

// One packet of the document's index that may carry text.
struct wpc6pkt {
  wpc6pkt *next;
  uint16_t number;
  uint16_t type;
  int32_t offset;
  int64_t size;
};

// One packet being read: the reader stack's entries, top first.
struct wpc6pktrd {
  wpc6pktrd *next;
  int32_t saved;        // input position to return to
  int32_t offset;       // the packet's offset and size
  int64_t size;
  int64_t unloaded;     // bytes of the packet not yet loaded
  int32_t bufpos;       // position and fill of the buffer
  int32_t buflen;
  int64_t delivered;    // bytes handed out so far
  int32_t pushed;       // stream of pushed-back bytes, -1 none
  unsigned char buf[1048];
};

// The WordPerfect 6.x block (slot 13): the fields of the document, then the
// running state of one run, set afresh at its start.
struct wpc6blk {
  int32_t indexoff;     // packet index offset, at least 16
  int32_t codepage;     // output code page, 819
  int32_t lemode;       // line ends: bit 2 CR, bit 1 LF
  int32_t inhandle;     // -1 none
  int32_t outhandle;    // -1 none
  int32_t docstate;     // -1 when the header failed
  int32_t docoff;       // offset of the document area
  unsigned char header[16];
  char name[512];       // the name a 0xD4 0x07 code writes
  wpc6pkt *pkts;        // packets that may carry text
  unsigned char box[96];  // box scratch: the content-type byte first
  // Running state.
  int32_t textsw;       // text output on
  int32_t depth;        // packets on the reader stack
  wpc6pktrd *rd;        // the reader stack
  int32_t cellzone;     // a table cell's zone is open
  int32_t cells;        // cells written in the current row
  int32_t code, sub;    // the code being dispatched
  const struct wpc6code *row;  // its table row, or none
  int32_t boxpkts[16];  // packets of the current box, -1 none
  wpc6pkt **bynum;      // the packets by number, none where the index has none
  int32_t nnum;         // numbers the index has room for
  int64_t budget;       // packet bytes that may still be read
  int32_t scratch;      // the stream of wpc6sput and wpc6spop, -1 none
};

// A handler of a function code; it reads the rest of its code.
using wpc6handler = int (*)(cxstate *st);

// One row of the code table.
struct wpc6code {
  uint8_t code;
  uint8_t sub;          // 0xFF: any subfunction
  int32_t kind;         // 1 single byte, 2 fixed length, 4 variable length
  int32_t fixlen;       // whole length of a fixed-length code
  wpc6handler handler;
};

inline constexpr int WPC6_NCODES = 213;
// The code table, sorted by code and subfunction.
extern const std::array<wpc6code, WPC6_NCODES> wpc6codetab;

// wpc6findcode: the row of a code and subfunction, or none.
const wpc6code *wpc6findcode(int code, int sub);
// wpc6findpkt: the index entry of a packet number, or none.
wpc6pkt *wpc6findpkt(cxstate *st, int number);
// wpc6run: converts input to its end (of the document or of the open packet).
void wpc6run(cxstate *st);
// wpc6dispatch: handles one byte that is not a plain character.
void wpc6dispatch(cxstate *st, int c);
// wpc6skipcode: reads past the code being dispatched; the 0xF1 switch acts.
int wpc6skipcode(cxstate *st);
// wpc6pktopen: starts reading the packet at offset, size bytes; the input
// comes from it until wpc6pktclose.
void wpc6pktopen(cxstate *st, int32_t offset, int64_t size);
// wpc6pktclose: ends reading the top packet; input goes on where it stood.
void wpc6pktclose(cxstate *st);
// wpc6pktuse: opens packet number; 1 opened, 0 when it is missing (with a
// warning when warn) or unusable: already being read, or too deep (warning).
int wpc6pktuse(cxstate *st, int number, int warn);
// wpc6getcode: reads the variable-length code being dispatched into a new
// record of its whole length; none when its flags mark it ignored.
unsigned char *wpc6getcode(cxstate *st);
// wpc6freecode: frees a code record.
void wpc6freecode(cxstate *st, unsigned char *rec);
// wpc6rd16, wpc6rd32: a 16-bit (unsigned) or 32-bit value of the input;
// -1 (rd32: false) when the input ends first.
int wpc6rd16(cxstate *st);
bool wpc6rd32(cxstate *st, int32_t *v);
// wpc6skip: reads and drops n bytes; false when the input ends first.
bool wpc6skip(cxstate *st, int64_t n);
// wpc6need: the next input byte; the input ending inside a code ends the run with 16.
int wpc6need(cxstate *st);
// wpc6lineend: writes a line end in the line-end mode.
void wpc6lineend(cxstate *st);
// wpc6extmap: writes the character (set, number) stands for in the output
// code page; 0 written (or a set that writes nothing), -1 no such character.
int wpc6extmap(cxstate *st, int set, int number);
// Small services the converter offers besides (nothing here calls them):
// wpc6readat: n bytes of the input at a file offset in new memory (the
// input's position kept), none when they cannot all be read.
unsigned char *wpc6readat(cxstate *st, int32_t offset, int n);
// wpc6fill: fills n bytes of memory with a byte.
void wpc6fill(cxstate *st, void *mem, int byte, int n);
// wpc6bytecmp: 0 when n bytes are equal, else the difference of the first unequal ones.
int wpc6bytecmp(cxstate *st, const void *a, const void *b, int n);
// wpc6bitcount: the number of set bits of a 16-bit value.
int wpc6bitcount(cxstate *st, int value);
// wpc6sput, wpc6spop: append a byte to, or pop the last byte (-1 none) from,
// the converter's scratch stream.
int wpc6sput(cxstate *st, int byte);
int wpc6spop(cxstate *st);
// wpc6fatal: releases the packets, buffers and handles, then ends the run with status.
[[noreturn]] void wpc6fatal(cxstate *st, int status);

#endif
