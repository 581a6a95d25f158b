/* The Japanese lexer and, over the same tokenizer with other character
 * tables, the multi-byte lexer of the Chinese sets: characters of one or two
 * bytes, offsets counted in characters, runs of ideographs and kana cut into
 * overlapping pairs, full-width Latin letters and digits folded into single
 * bytes, and (Japanese only) half-width katakana made full-width. */
#ifndef KES_DR_DRL_DRLJ_H
#define KES_DR_DRL_DRLJ_H

#include <cstdint>

#include "dr/dras/dras.h"
#include "dr/dras/drtoken.h"

/* Sizes the lexers bind with. */
enum : int32_t {
  DRLJ_BUFSIZE = 8192, /* input buffer and token text area */
  DRLJ_BATCH = 256,    /* token records of a batch */
  DRLJ_MAXTOK = 32     /* bytes of text a token keeps */
};

/* Character classes: 0 to 13 index the state table, 14 to 18 are resolved
 * before the lookup. */
enum : int32_t {
  DRLJ_LETTER = 0, DRLJ_DIGIT = 1, DRLJ_PUNCT = 2, DRLJ_DECIMAL = 3, DRLJ_GROUP = 4,
  DRLJ_SPACE = 5, DRLJ_TAB = 6, DRLJ_NEWLINE = 7, DRLJ_OTHER = 8, DRLJ_END = 9,
  DRLJ_IDEO = 10,   /* ideograph or other two-byte character */
  DRLJ_KANA = 11,
  DRLJ_ATTACH = 12, /* small kana, n, sound and iteration marks: attach to what is before */
  DRLJ_WO = 13,     /* the hiragana wo */
  DRLJ_LOOK = 14,   /* decided by the character that follows */
  DRLJ_LEAD = 15,   /* lead byte whose pair is looked up */
  DRLJ_REMAP = 16,  /* pair only: full-width character remapped to a single byte */
  DRLJ_HKANA = 17,  /* Shift-JIS half-width katakana */
  DRLJ_HATTACH = 18 /* Shift-JIS half-width small kana and marks */
};

/* What one character set brings to the tokenizer: its lead-byte classes,
 * pair class table, remap table and fixed sets. */
struct drljcs {
  int32_t id;            /* 830, 832, 850, 852 or 865 */
  uint8_t first;         /* lead byte of the pair table's first row */
  uint8_t rows;          /* rows of the pair table */
  uint8_t kana;          /* 1 EUC-JP katakana (0x8E), 2 Shift-JIS katakana, 0 none */
  const char *punct;     /* sentence punctuation */
  int32_t cls[256];      /* single-byte classes other than letters, digits and white space */
  uint8_t remap[256];    /* second byte of a full-width Latin character to its byte */
  const int32_t *pairs;  /* rows * 256 classes */
};

/* The record of a Japanese or multi-byte lexer. */
struct drljobj {
  drobjhd<drlexops> hd;
  drsrvstate *st;
  drheap heap;            /* all its memory comes from here */
  int32_t prefid;         /* -1 until bound */
  int32_t polid;          /* -1 until bound */
  int32_t mode;           /* 0 built, 1 indexing, 2 query */
  drobj *src;             /* the filter it reads from */
  char key[DRDS_KEYSIZE]; /* key of the current document */
  int16_t csid;           /* the session character set, taken at construction */
  uint8_t ngram;          /* 1: runs cut into single characters; else pairs */
  const char *text;       /* input buffer (mode 1) or the caller's query (mode 2) */
  char *inbuf;            /* bufsize bytes while in mode 1 */
  char *area;             /* token text area, bufsize bytes */
  int32_t bufsize;
  drtoken *toks;          /* batch records */
  int32_t batch;
  int32_t maxtok;
  int32_t end;            /* valid bytes at text */
  int32_t pos;            /* next unread byte at text */
  int32_t chars;          /* characters consumed since the start of the text */
  int16_t eos;            /* 1 once the source has no more text */
  uint8_t trans[256];     /* byte copied into token text */
  int32_t cls[256];       /* class of each byte value */
  int32_t prop[256];      /* DRLA_* property bits */
  const uint8_t *remap;   /* second byte of a full-width Latin character to its byte */
  const int32_t *pairs;   /* classes by (lead - first) * 256 + second byte */
  uint8_t first;          /* lead byte of the pair table's first row */
  uint8_t wildtr[2];      /* '%' and '_' as binding set them */
  int32_t wildcls[2];
  int32_t wildprop[2];
  int32_t prevend;        /* state the document's previous token ended from */
  const drljcs *tab;      /* the character set's tables */
};

/* Builds an unbound Japanese lexer (sets 830 and 832); null after pushing
 * 11102 (another set) or 10900. */
drobj *drljnew(drsrvstate *s, drheap h);

/* Builds an unbound multi-byte lexer (sets 850, 852 and 865); null after
 * pushing 11102 (another set) or 10900. */
drobj *drlcnew(drsrvstate *s, drheap h);

/* The tables of a character set the two lexers serve, or null. */
const drljcs *drljtab(int32_t csid);

/* Builds a lexer of this tokenizer carrying object id objid for a session
 * whose character set is one of the nsets ids at sets; null after pushing
 * 11102 (another set) or 10900. */
drobj *drljmake(drsrvstate *s, drheap h, int32_t objid, const int32_t *sets, int nsets);

#endif
