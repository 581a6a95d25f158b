/* Inside the lexical-transducer runtime: the loaded transducer, checked
 * reads of its two regions, coding and decoding, the walks and collectors.
 * Other modules use linguistics/stemmer/stem.h only. */
#ifndef KES_LINGUISTICS_STEMMER_FSTINT_H
#define KES_LINGUISTICS_STEMMER_FSTINT_H

#include <cstddef>
#include <cstdint>

#include "linguistics/stemmer/stem.h"

/* File layout constants. */
enum {
  FST_HDRLEN = 92,         /* header bytes; the table region starts here */
  FST_DESCLEN = 36,        /* sub-network descriptor */
  FST_PAGELEN = 16,        /* alphabet page record */
  FST_NONE = 1,            /* a special symbol that does not exist */
  FST_CODEKEYS = 1024,     /* slots of the tag table by code */
  FST_NAMEKEYS = 1009,     /* slots of the tag table by name */
  FST_TAGMAX = 61,         /* longest tag name */
  FST_TAGROOM = 68,        /* room a decoded tag needs */
  FST_STACK = 100          /* choice points of a lookup */
};

/* One sub-network. */
struct fstsubnet {
  uint32_t start;          /* network position of the start state */
  uint8_t lowest;          /* lowest ordinary label */
  uint8_t flaglabel;
  uint16_t initflags;      /* initial flag register */
  uint8_t flag2, flag3, flag4; /* descriptor byte 7, bits 2, 3 and 4 (kept only) */
  uint8_t desc[FST_DESCLEN];   /* the descriptor as read */
};

/* A tag of the tag tables. */
struct fsttag {
  uint16_t code;           /* symbol byte * 256 + escape count; 0 a free slot */
  char *name;
};

/* A loaded transducer. */
struct fstnet {
  uint8_t hdr[FST_HDRLEN];
  uint8_t *tab;            /* table region: table offset o is tab[o - 92] */
  uint32_t tabend;         /* file offset of the network region */
  uint8_t *net;            /* network region */
  uint32_t netlen;
  fstsubnet *subs;
  int nsubs;
  /* header fields in host order */
  uint8_t labelbase, esc, escstep, first1, first2, first3, dense, cont;
  uint8_t flags, escafter, wide, highpage, npages;
  uint16_t pagerecs, outtab, strtab, functab, ptr1tab, ptr2tab;
  uint32_t outcount, strsize;
  /* page 0 code table */
  uint16_t code0;
  uint8_t first0, last0;
  uint16_t count0;
  /* special symbols: symbol bytes, FST_NONE when absent */
  uint8_t tagsep, eos, tb, eof, eofesc;
  uint16_t tagmode;        /* table offset of the "TAGMODE" list record, 0 none */
  fsttag *bycode;          /* FST_CODEKEYS slots, null without "TAGMODE" */
  fsttag *byname;          /* FST_NAMEKEYS slots */
  char **names;            /* every tag name taken, freed with the transducer */
  int nnames;
};

/* One choice point of a walk (28 bytes, the unit of a lookup buffer's
 * stack area). */
struct fstcp {
  int32_t kind;
  int32_t ip;              /* input position */
  int32_t op;              /* output length */
  uint32_t pos;            /* network position it was taken at */
  uint8_t label;           /* the byte found there */
  uint8_t rl;              /* remembered sibling's label byte */
  uint16_t flags;          /* flag register */
  uint32_t rs;             /* remembered sibling's position, FST_NOPOS none */
  int32_t chars;           /* characters written (enumeration) */
};
static_assert(sizeof(fstcp) == 28, "a choice point is 28 bytes");

constexpr uint32_t FST_NOPOS = 0xFFFFFFFFu;

/* A collector: gets the coded output of a path (terminated), the input
 * position reached and the output length; 1 goes on, 0 stops the walk. */
using fstcollect = int (*)(const uint8_t *coded, int ip, int olen, const fstnet *t, void *rec);

/* The collector record of one lookup. */
struct fstcol {
  int32_t count;           /* results, or an error code */
  int32_t best;            /* length of the best result so far, -1 none */
  int32_t wpos;            /* write position in the result area */
  int32_t room;            /* room of the result area (bytes or characters) */
  void *area;
  int32_t gen;             /* decoding stops at the end-of-string symbol */
  /* tokenizer */
  int32_t *pos;
  int32_t poscap;
  int32_t all;
  int32_t kind;            /* 0 text, 1 coded, 2 16-bit tokens */
};

/* ---- loader and address operations (fstread) ---- */

/* The error handle of a code -1 to -25. */
fstnet *fsterrh(int code);
/* Address of n bytes at a table offset, null when they leave the region. */
const uint8_t *fsttab(const fstnet *t, uint32_t toff, uint32_t n);
/* A 16-bit value of the table region; false when outside it. */
bool fsttab16(const fstnet *t, uint32_t toff, uint16_t *v);
/* Characters of string idx of the string table and their number; null when
 * the string leaves the table. */
const uint8_t *fststr(const fstnet *t, uint32_t idx, uint32_t *len);
/* Table offset of the named list called name, 0 when there is none. */
uint16_t fstlist(const fstnet *t, const char *name);
/* Code of a special symbol of "*DIACRITICS*" by name, FST_NONE when absent. */
uint16_t fstspecial(const fstnet *t, const char *name);
/* Sub-network record by number, null when there is none. */
const fstsubnet *fstsub(const fstnet *t, int n);
/* Network position a pointer at pos stands for; 0 or -2. */
int fstptr(const fstnet *t, uint32_t pos, uint32_t *target);
/* Bytes a list end at pos takes (1 for 0, the pointer's length); -2 damage. */
int fstptrlen(const fstnet *t, uint32_t pos);
/* Position of the next sibling of the arc at pos (pointers followed);
 * 1 found, 0 none, -2 damage. *budget counts the bytes read. */
int fstnext(const fstnet *t, uint32_t pos, uint32_t *next, long *budget);
/* Name of a tag by code, null when unknown. */
const char *fsttagname(const fstnet *t, uint16_t code);
/* Code of a tag by name (len bytes), 0 when unknown. */
uint16_t fsttagcode(const fstnet *t, const char *name, size_t len);

/* ---- coding and walks (fststem) ---- */

/* Step allowance of one walk: every byte read and pointer hop costs one.
 * It grows with the network, far above what a sound network's walks take,
 * and stays small enough that a walk caught in a damaged one ends at once. */
long fstbudget(const fstnet *t);
/* Codes a text: tags in tag mode, the end-of-string symbol with the end
 * mark; the coded length, or -10, -12, -14. */
int fstencode(const char *text, uint8_t *coded, int room, int tagmode, int endmark, const fstnet *t);
int fstencodew(const uint16_t *text, uint8_t *coded, int room, int tagmode, int endmark,
               const fstnet *t);
/* Decodes a coded string; the text length, or -12, -2. */
int fstdecode(const uint8_t *coded, char *text, int room, int gen, const fstnet *t);
int fstdecodew(const uint8_t *coded, uint16_t *text, int room, int gen, const fstnet *t);
/* Length the decoded text of a coded string will have. */
int fstoutlen(const uint8_t *coded, const fstnet *t);
/* Sub-network serving a function, or 255. */
int fstfunc(int fn, const fstnet *t);
/* The two walks; 0 or a negative code. */
int fstwalkup(const uint8_t *in, uint8_t *out, int room, int sub, int partial, fstcp *stack,
              int cap, const fstnet *t, fstcollect fn, void *rec);
int fstwalkdown(const uint8_t *in, uint8_t *out, int room, int sub, fstcp *stack, int cap,
                const fstnet *t, fstcollect fn, void *rec);

/* The walk's state, kept in a lookup buffer between calls of an
 * enumeration. */
struct fstwalkstate {
  uint8_t at;              /* where to go on */
  uint16_t flags;
  int32_t ip, op, chars, depth;
  uint32_t pos, rs;
  uint8_t rl;
};
/* Enumeration walk: every arc while fewer than freeprefix characters are
 * written or the input is used up, else the input; a result is a final
 * state with the input used and at least min characters. The collector
 * returning -1 suspends the walk: 1 is returned and ws keeps where it was.
 * Otherwise 0 or a negative code. */
int fstwalkenum(const uint8_t *in, uint8_t *out, int room, int sub, fstcp *stack, int cap,
                int freeprefix, int min, int max, fstwalkstate *ws, const fstnet *t,
                fstcollect fn, void *rec);

#endif
