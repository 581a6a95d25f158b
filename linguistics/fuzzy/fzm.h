/* Fuzzy matching of words: ranks candidate words by their resemblance to a
 * word (character classes, a smoothed positional profile per class and a
 * class histogram) and writes SQL LIKE prefix patterns that pre-select
 * plausible candidates. Memory comes only from the caller's heap manager. */
#ifndef KES_LINGUISTICS_FUZZY_FZM_H
#define KES_LINGUISTICS_FUZZY_FZM_H

#include <cstddef>
#include <cstdint>

#include "platform/rt/rt.h"

/* Result codes; only -4 to -7 come from the operations here. */
enum {
  FZM_OK = 0,
  FZM_EUNSPEC = -1,
  FZM_EOPEN = -2,
  FZM_EFILE = -3,
  FZM_ENOMEM = -4,
  FZM_ETOOLONG = -5,
  FZM_ENOOBJ = -6,
  FZM_ESHORT = -7
};

/* Longest word that takes part in matching, and in pattern generation;
 * longer words are cut. */
enum { FZM_MATCHMAX = 39, FZM_LIKEMAX = 67 };

/* One similarity pair of a class. */
struct fzmpair {
  uint8_t target; /* class the letter may stand for */
  uint8_t weight;
};

/* The character model. */
struct fzmprofile {
  const unsigned char *charmap;       /* 256 class codes, 0 outside the alphabet */
  const char *const *classstr;        /* 256 class strings, null for none */
  uint16_t classcount;                /* classes at or above it take no part */
  const unsigned char *paircount;     /* pairs of each class */
  const fzmpair *const *pairs;        /* pair list of each class */
  const unsigned char *const *rules;  /* LIKE rules of 5-byte steps, ended by null */
};

struct fzmobj;

/* The matcher's operations, in slot order. */
struct fzmops {
  /* Ranks candidates against a word: the candidates scoring above the
   * threshold, best first, at most pool-size of them; 0, or -4. */
  int (*match)(fzmobj *m, const char *word, int threshold, int poolsize,
               const char *const *cands, int ncands, const char **outwords,
               uint16_t *outscores, int *outcount);
  /* Writes LIKE patterns for a word into out; 0, -5 or -7. */
  int (*like)(fzmobj *m, const char *word, char *out, int size, int *outcount);
  /* Releases the matcher. */
  void (*release)(fzmobj *m);
};

/* The matcher. */
struct fzmobj {
  fzmops ops;
  char name[256];       /* profile name */
  fzmprofile prof;
  rthpmgr *hpm;         /* caller's heap manager and heap */
  rtheap *hp;
  uint16_t scale;       /* top of the similarity */
  uint16_t minscore;    /* lowest threshold */
};

/* Creates a matcher with the built-in profile (whatever the name); null with
 * -6 in *err when memory is short. */
fzmobj *fzmnew(rthpmgr *hpm, rtheap *hp, const char *name, int *err);
/* Ranks candidates against a word; see fzmops. */
int fzmmatch(fzmobj *m, const char *word, int threshold, int poolsize, const char *const *cands,
             int ncands, const char **outwords, uint16_t *outscores, int *outcount);
/* Writes consecutive NUL-terminated LIKE patterns and their number. */
int fzmlike(fzmobj *m, const char *word, char *out, int size, int *outcount);
/* Releases a matcher; the built-in profile's tables are static and stay. */
void fzmfree(fzmobj *m);
/* Copies the message text of a code (always terminated when size > 0); 0 for
 * a known code, -1 otherwise. */
int fzmerrtext(int code, char *buf, size_t size);
/* Points arr[0..n) at the first n NUL-terminated strings laid one after the
 * other in block. */
void fzmsplit(const char *block, const char **arr, int n);
/* Takes a block from the caller's heap (tag "MLMALLOC"); null on failure. */
void *fzmalloc(rthpmgr *hpm, rtheap *hp, size_t size);
/* Gives a block back to the caller's heap. */
void fzmdealloc(rthpmgr *hpm, rtheap *hp, void *block);

#endif
