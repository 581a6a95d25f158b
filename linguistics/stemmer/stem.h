/* The stemming library: the stemmer (stems and generated forms of a word by
 * language), the lexical-transducer runtime it stands on (loading, lookups,
 * coding, tokenizing, enumeration, information) and the noun-phrase
 * extractor. Failures are negative codes; nothing is pushed anywhere. */
#ifndef KES_LINGUISTICS_STEMMER_STEM_H
#define KES_LINGUISTICS_STEMMER_STEM_H

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/rt/rt.h"

/* ------------------------------------------------------------------ */
/* Result codes                                                        */
/* ------------------------------------------------------------------ */

enum {
  FST_EOPEN = -1,       /* file cannot be opened */
  FST_EBAD = -2,        /* wrong type or damaged */
  FST_ENOMEM = -3,      /* memory, or a region could not be read */
  FST_EOS = -4,
  FST_EALPHA = -10,     /* a character outside the alphabet */
  FST_EFUNC = -11,      /* no such mode or function */
  FST_ETOOLONG = -12,   /* does not fit the buffer */
  FST_ESTACK = -13,     /* more than the stack's pending choices */
  FST_ETAG = -14,       /* tag without its closing bracket */
  FST_ETOKEN = -15,     /* no token */
  FST_EPARTIAL = -16,   /* tokenizer input ran out */
  FST_ECLIENT = -21,    /* caller's buffer too small for a result */
  FST_ECODEDIN = -22,   /* lookup buffer's coded input area too small */
  FST_ECODEDOUT = -23,  /* lookup buffer's coded output area too small */
  FST_EMORE = -24,      /* buffer full, more results wait */
  FST_EKIND = -1993     /* choice point of an unknown kind */
};

enum {
  STEM_EUNSPEC = -100,  /* unspecified (also an overflowing lookup) */
  STEM_ENOOBJ = -101,   /* no memory for the object */
  STEM_ELIB = -102,     /* library could not start */
  STEM_ENOLEX = -103,   /* lexicon file not found */
  STEM_ENOWORD = -104   /* the lexicon does not know the word */
};

/* Lookup modes: direction, function and what is collected. */
enum {
  FST_ALL12 = 2, FST_ALL27 = 3, FST_FIRST12 = 4, FST_FIRST27 = 5,
  FST_SHORT12 = 6, FST_SHORT27 = 7, FST_GEN12 = 8, FST_GEN27 = 9
};

/* ------------------------------------------------------------------ */
/* Lexical transducers                                                 */
/* ------------------------------------------------------------------ */

struct fstnet;   /* a loaded transducer, or an error handle */
struct fstbuf;   /* a lookup buffer of a resumable enumeration */

/* Loads a transducer file; a transducer, or the error handle of -1 (cannot
 * open), -2 (damaged) or -3 (memory or a short region). */
fstnet *fstopen(const char *path);
/* 0 for a loaded transducer, else the code of the error handle. */
int fststatus(const fstnet *t);
int fststatus(const fstbuf *b);
/* Releases a loaded transducer; an error handle is left alone. */
void fstclose(fstnet *t);

/* Looks a word up by mode into buf: the results are NUL-terminated strings
 * at its start; their number (0 when none) or a negative code. The second
 * half of the buffer is the lookup's scratch, so results get size/2 - 2. */
int fstlookup(const char *word, char *buf, int size, int mode, const fstnet *t);
/* The same for 16-bit text; size counts characters. The first and shortest
 * modes return the result's length. */
int fstlookupw(const uint16_t *word, uint16_t *buf, int size, int mode, const fstnet *t);
/* The same with coded input and coded results; modes 4 and 5 only say
 * whether there is a result (1 or 0), 6 and 7 give the result's length. */
int fstlookupc(const uint8_t *coded, uint8_t *buf, int size, int mode, const fstnet *t);

/* Codes a text: type 1 reads tags, type 0 appends the end-of-string symbol,
 * type 2 appends the end-of-file symbol; the coded length or a code. */
int fstencodetext(const char *text, uint8_t *buf, int room, int type, const fstnet *t);
int fstencodetextw(const uint16_t *text, uint8_t *buf, int room, int type, const fstnet *t);
/* Decodes a coded string: type 0 stops at the end-of-string symbol, other
 * types write it as a 0; the text length or a code. */
int fstdecodetext(const uint8_t *coded, char *buf, int room, int type, const fstnet *t);
int fstdecodetextw(const uint8_t *coded, uint16_t *buf, int room, int type, const fstnet *t);

/* Tokenizes coded input: token texts (coded bytes, 16-bit text) into the
 * first half of buf, their end positions into pos; with all 0 only the
 * first. The token count, 0 for one empty token, -15 for none. */
int fsttokenize(const uint8_t *coded, char *buf, int size, int32_t *pos, int poscap, int all,
                const fstnet *t);
int fsttokenizec(const uint8_t *coded, uint8_t *buf, int size, int32_t *pos, int poscap, int all,
                 const fstnet *t);
int fsttokenizew(const uint8_t *coded, uint16_t *buf, int size, int32_t *pos, int poscap, int all,
                 const fstnet *t);

/* A lookup buffer with areas for coded input and output and a stack of
 * choice points; the error handle of -3 when memory is short. */
fstbuf *fstbufnew(int insize, int outsize, int stackentries, intptr_t value);
/* Releases a lookup buffer. */
void fstbuffree(fstbuf *b);
/* Sets the tag brackets; returns the closing one. */
int fstbufbrackets(fstbuf *b, int open, int close);
/* Bytes delivered by the last enumeration call. */
int fstbuflen(const fstbuf *b);
/* 1 while a result waits for the next call. */
int fstbufpending(const fstbuf *b);
/* Enumerates the strings of function 1 that match text after a free prefix
 * and have min to max characters, into buf; resumed with cont 1 after
 * -24 (buffer full, more wait) or -21 (not even one fitted). The number of
 * results delivered, or a code. */
int fstenum(const char *text, char *buf, int room, fstbuf *b, int freeprefix, int min, int max,
            int cont, const fstnet *t);

/* For each position of pos, the number of non-escape bytes of coded before
 * it, into out; returns n. */
int fstcodedpos(const int32_t *pos, int n, int32_t *out, const uint8_t *coded, const fstnet *t);
/* The transducer's description text; 0 or -12. */
int fstinfo(char *buf, int room, const fstnet *t);
/* The transducer's version ("1.0" when it states none); 0 or -12. */
int fstversion(char *buf, int room, const fstnet *t);
/* Capability mask from the functions present. */
int fstcaps(const fstnet *t);
/* Header values: the 32-bit value at 8, byte 7, byte 50. */
uint32_t fstprop8(const fstnet *t);
int fstprop7(const fstnet *t);
int fstprop50(const fstnet *t);
/* Message text of a code; 0 or -12 (cut, terminated). */
int fsterrtext(int code, char *buf, int room);
/* The library's version; 0 or -12. */
int fstlibversion(char *buf, int room);

/* Noun phrases of a tagged sentence: words and tags are consecutive
 * NUL-terminated strings (tags ended by an empty one); each phrase of at
 * least minlen words up to its last head is written as its words followed
 * by blanks, then a 0; one more 0 ends the list. The phrase count or -12. */
int npextract(const char *words, const char *tags, char *out, int room, int minlen, void *unused1,
              void *unused2);
/* The same, offered with the runtime's operations. */
int fstnp(const char *words, const char *tags, char *out, int room, int minlen, void *unused1,
          void *unused2);

/* ------------------------------------------------------------------ */
/* Stemmer                                                             */
/* ------------------------------------------------------------------ */

/* Lexicon file by language index. */
enum { STEM_LANGS = 7 };

/* Configuration of a stemmer. */
struct stemcfg {
  int32_t lang;    /* language index 0..6 */
  int32_t mode;    /* lookup mode of stemming */
  int32_t flags;   /* kept only */
  int32_t retry;   /* try other capitalisations when a word yields nothing */
};

struct stemobj;

/* The stemmer's operations, in slot order; results are consecutive
 * NUL-terminated strings at the start of buf with their number in *count. */
struct stemops {
  /* The stems of a word; 0 or a code. */
  int (*word)(stemobj *s, const char *word, char *buf, int size, int *count);
  /* Every form generated from every stem of a word; 0 or a code. */
  int (*gen)(stemobj *s, const char *word, char *buf, int size, int *count);
  /* Takes a new configuration; 0 or the load's code. */
  int (*conf)(stemobj *s, const stemcfg *cfg);
  /* Drops the loaded lexicon; the next call loads it again. 0. */
  int (*unload)(stemobj *s);
  /* Drops the lexicon and releases the stemmer. */
  void (*release)(stemobj *s);
};

/* The stemmer. */
struct stemobj {
  stemops ops;
  int32_t lang, mode, flags, retry;
  rthpmgr *hpm;   /* caller's heap manager and heap, kept only */
  rtheap *hp;
  fstnet *lex;    /* loaded lexicon, or null */
};

/* Creates a stemmer and loads its lexicon; null with the code in *err. */
stemobj *stemnew(rthpmgr *hpm, rtheap *hp, const stemcfg *cfg, int *err);
int stemword(stemobj *s, const char *word, char *buf, int size, int *count);
int stemgen(stemobj *s, const char *word, char *buf, int size, int *count);
int stemconf(stemobj *s, const stemcfg *cfg);
int stemunload(stemobj *s);
void stemfree(stemobj *s);
/* Message text of a code (always terminated when size > 0); 0 for a known
 * code, -100 otherwise. */
int stemerrtext(int code, char *buf, size_t size);
/* Points arr[0..n) at the first n NUL-terminated strings laid one after the
 * other in block. */
void stemsplit(const char *block, const char **arr, int n);
/* File name of a language's lexicon, null outside 0..6. */
const char *stemfile(int lang);
/* Latin-1 case tables: lower-casing and capitalising. */
extern const std::array<unsigned char, 256> stemlower;
extern const std::array<unsigned char, 256> stemupper;

#endif
