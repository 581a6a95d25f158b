/* The Korean lexer: hands each word of KS X 1001 text (character set 840)
 * to the Korean morphological analysis and makes one word token of each
 * term it finds, Hanja-initial terms spelt in their Hangul readings. */
#ifndef KES_DR_DRL_DRLK_H
#define KES_DR_DRL_DRLK_H

#include <cstdint>

#include "dr/dras/dras.h"
#include "dr/dras/drtoken.h"
#include "dr/drl/drlkm.h"

enum : int32_t {
  DRLK_BUFSIZE = 8192, /* input buffer and token text area */
  DRLK_BATCH = 256,    /* token records of a batch */
  DRLK_MAXTOK = 32,    /* room the text area keeps free before a batch ends */
  DRLK_PATH = 256      /* bytes of a dictionary path */
};

/* The Korean lexer's record. */
struct drlkobj {
  drobjhd<drlexops> hd;
  drsrvstate *st;
  drlkmmod *km;           /* the analysis module; null after a failed binding */
  drheap heap;
  int32_t prefid;         /* -1 until bound */
  int32_t polid;          /* -1 until bound */
  int32_t mode;           /* 0 built, 1 indexing, 2 query */
  drobj *src;             /* the filter it reads from */
  char key[DRDS_KEYSIZE]; /* key of the current document */
  const char *text;       /* input buffer (mode 1) or the caller's query (mode 2) */
  char *inbuf;            /* bufsize bytes while in mode 1; text[end] is NUL */
  char *area;             /* token text area */
  int32_t bufsize;
  drtoken *toks;          /* batch records */
  int32_t batch;
  int32_t maxtok;
  int32_t end;            /* valid bytes at text */
  int32_t pos;            /* next unread byte at text */
  int32_t base;           /* characters before text[0] */
  int16_t eos;            /* 1 once the source has no more text */
  uint8_t wild;           /* the wildcard flag of the last query */
  drlkmterm terms[DRLKM_TERMS];
};

/* Builds an unbound Korean lexer with its analysis module; null after
 * pushing 11102 (the session set is not 840) or 10900. */
drobj *drlknew(drsrvstate *s, drheap h);

/* Spells the Hanja of a NUL-terminated KS X 1001 text in their Hangul
 * readings, in place. */
void drlkcvt(char *text);

#endif
