/* The default lexer: a single-byte lexer that reads a document through its
 * filter (or takes query words) and hands out token batches, driven by byte
 * tables prepared at binding and one fixed state table. */
#ifndef KES_DR_DRL_DRLA_H
#define KES_DR_DRL_DRLA_H

#include <cstdint>

#include "dr/dras/dras.h"
#include "dr/dras/drtoken.h"

/* Property bits of a byte. */
enum : int32_t {
  DRLA_LETTER = 0x001,
  DRLA_DIGIT = 0x002,
  DRLA_WHITE = 0x004,   /* NUL, tab, newline and space */
  DRLA_CONT = 0x008,    /* continuation: dropped with the line end after it */
  DRLA_PUNCT = 0x010,   /* ends a sentence when white space follows */
  DRLA_KEEP = 0x020,    /* joiner kept in the word */
  DRLA_DROP = 0x040,    /* joiner dropped from the word's text */
  DRLA_DECIMAL = 0x080,
  DRLA_GROUP = 0x100,
  DRLA_NEWLINE = 0x200  /* byte 10 only */
};

/* Sizes the lexer binds with. */
enum : int32_t {
  DRLA_BUFSIZE = 8192, /* input buffer and token text area */
  DRLA_BATCH = 256,    /* token records of a batch */
  DRLA_MAXTOK = 32     /* bytes of text a token keeps */
};

/* The default lexer's record. */
struct drlaobj {
  drobjhd<drlexops> hd;
  drsrvstate *st;
  drheap heap;            /* all its memory comes from here */
  int32_t prefid;         /* -1 until bound */
  int32_t polid;          /* -1 until bound */
  int32_t mode;           /* 0 built, 1 indexing, 2 query */
  drobj *src;             /* the filter it reads from */
  char key[DRDS_KEYSIZE]; /* key of the current document */
  const char *text;       /* input buffer (mode 1) or the caller's query (mode 2) */
  char *inbuf;            /* bufsize bytes while in mode 1 */
  char *area;             /* token text area, bufsize bytes */
  int32_t bufsize;
  drtoken *toks;          /* batch records */
  int32_t batch;
  int32_t maxtok;
  int32_t end;            /* valid bytes at text */
  int32_t pos;            /* next unread byte at text */
  int32_t base;           /* document offset of text[0] */
  int16_t eos;            /* 1 once the source has no more text */
  uint8_t trans[256];     /* byte copied into token text */
  int32_t cls[256];       /* 0 letter, 1 digit, 5 space, 6 tab, 7 newline, 10 by what follows */
  int32_t prop[256];      /* DRLA_* bits */
  uint8_t wildtr[2];      /* '%' and '_' as binding set them */
  int32_t wildcls[2];
  int32_t wildprop[2];
  uint8_t conv;           /* 1: letters go through the letter conversion */
};

/* Builds an unbound default lexer; null after pushing 11102 (the session
 * character set is not one byte per character) or 10900. */
drobj *drlanew(drsrvstate *s, drheap h);

/* The letter-conversion setting the stop list follows: 1 only for a default
 * lexer bound with its letter conversion on; 0 for any other lexer, also
 * for one that carries the same object id. */
int drlaconv(const drobj *lex);

#endif
