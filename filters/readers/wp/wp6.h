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

// The reader's state of a run.
struct wp6state {
  // Format state.
  int32_t proc;              // processing state
  int32_t pagew, pagel;
  int32_t initpkt, initsize; // initial font packet and size (twentieths of a point)
  int32_t version;           // 1 to 3, from the minor version
  // Lists.
  wp6font* fonts;
  wp6font** fonttail;
  wp6packet* packets;
  wp6push* pushed;
  int32_t npushed;
  int32_t missing;           // a referenced packet is missing
  uint32_t indexoff;         // the index area
  uint32_t sumoff, sumsize;  // the summary packet
  uint32_t docoff;           // the document area
  int32_t cp819;
  const wpcoderow* row;      // current row
  int32_t heldid;            // id of the 0xF1 function that switched processing off, -1 none
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

// The tables, sorted by each run.
extern wpcoderow wp6codetab[232];
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

// Values of a buffer (little-endian, unsigned) and of the input.
inline unsigned wp6get16(const unsigned char* p) { return p[0] | p[1] << 8; }
inline uint32_t wp6get32(const unsigned char* p) { return wp6get16(p) | static_cast<uint32_t>(wp6get16(p + 2)) << 16; }
int wp6readw(cvrun* run);

inline wp6state* wp6st(cvrun* run) { return static_cast<wp6state*>(cvreader(run)); }

#endif
