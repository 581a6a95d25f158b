/* The Korean morphological analysis: finds the index terms of one word of
 * KS X 1001 text (character set 840) from four dictionary files: a user
 * dictionary of whole terms, an exception dictionary of morphemes never
 * indexed, a morpheme dictionary (a trie over reversed jamo letter strings
 * with a category table) and a connection grammar. */
#ifndef KES_DR_DRL_DRLKM_H
#define KES_DR_DRL_DRLKM_H

#include <cstdint>

#include "dr/dras/dras.h"

/* Limits of the data model. */
enum : int32_t {
  DRLKM_TRIE = 2000000, /* bytes of the morpheme trie */
  DRLKM_KEYS = 500,     /* connection keys and tags are below this */
  DRLKM_ROWS = 1024,    /* category rows 1 to 1023 */
  DRLKM_PAIRS = 20,     /* pairs of one category, candidates of one morpheme */
  DRLKM_LETTERS = 147,  /* letters of a Hangul run the lattice takes */
  DRLKM_CELLS = 150,    /* lattice side: the letters and two sentinels */
  DRLKM_DEPTH = 50,     /* elements of a segmentation, the sentinel included */
  DRLKM_INDEX = 40,     /* letter index entries of the trie */
  DRLKM_TOP = 20,       /* index entries of a dictionary tree */
  DRLKM_LINE = 1024,    /* bytes of a dictionary line */
  DRLKM_TERMS = 64      /* entries of a result list, its end mark included */
};

/* One term of a word: byte offsets of its first and last byte from the
 * text handed in, and its kind (1 user entry, 2 run or morpheme, 3 whole
 * Hangul run, 4 stem or ending, 6 and 7 morphemes of tags 7 and 4). An entry
 * whose two offsets are 0 ends the list. */
struct drlkmterm {
  int32_t first;
  int32_t last;
  int32_t kind;
};

/* Node of a user or exception dictionary tree. */
struct drlkmnode {
  char *label;       /* NUL-terminated */
  uint8_t len;
  uint8_t term;      /* 1: an entry ends at the end of the label */
  drlkmnode *child;
  drlkmnode *next;   /* siblings ascend by their first byte, signed */
};

struct drlkmtop {
  int8_t byte;
  drlkmnode *node;
};

/* One element of a segmentation: its candidate pairs and its first and
 * last lattice position. */
struct drlkmel {
  int32_t n;
  int32_t first;
  int32_t last;
  int32_t tag[DRLKM_PAIRS];
  int32_t key[DRLKM_PAIRS];
};

struct drlkmpath {
  drlkmel el[DRLKM_DEPTH + 1]; /* one more for the filter's closing element */
  int32_t depth;
  int32_t found;
};

struct drlkmrow {
  int32_t n;
  int32_t tag[DRLKM_PAIRS];
  int32_t key[DRLKM_PAIRS];
};

/* The analysis module. */
struct drlkmmod {
  drheap heap;
  uint8_t *trie;                          /* the morpheme dictionary's first bytes */
  int32_t triesize;
  uint8_t matrix[DRLKM_KEYS][DRLKM_KEYS]; /* [left key][right tag] */
  drlkmrow cat[DRLKM_ROWS];
  int32_t lattice[DRLKM_CELLS][DRLKM_CELLS];
  drlkmpath path;
  drlkmpath best;
  int32_t bestdepth;
  uint8_t lidx[DRLKM_INDEX];              /* letter of each index entry */
  int32_t lpos[DRLKM_INDEX];              /* its trie position */
  /* The child index of the trie: for a sibling list (by the position of its
   * first node) and a byte, the first node of the list whose label begins
   * with it, so that a walk needs no scan along the siblings. An open
   * addressed table of cmask + 1 slots of key (list << 8 | byte, -1 empty)
   * and node side by side, so that a probe reads one cache line; null when
   * the trie is too damaged to index (the walk then scans). */
  int32_t *cidx;
  uint32_t cmask;
  drlkmtop uidx[DRLKM_TOP];
  drlkmtop xidx[DRLKM_TOP];
  drlkmnode *utree;
  drlkmnode *xtree;
  int32_t boundary;                       /* the last call ended at a word boundary */
  int32_t steps;                          /* search steps left in this run */
};

/* A new empty module, or null after the allocator pushed 10900. */
drlkmmod *drlkminit(drsrvstate *s);
/* Loads the exception, user and morpheme dictionaries and the grammar; 0,
 * or 1 after pushing 11101 with the path of the file that could not be
 * opened or did not hold what its format says. */
int drlkmload(drsrvstate *s, drlkmmod *m, const char *upath, const char *spath,
              const char *xpath, const char *gpath);
/* Analyses the word at text (NUL-terminated somewhere after it): the bytes
 * taken, and its terms in out (at most DRLKM_TERMS entries, the last with
 * offsets 0). */
int32_t drlkmword(drsrvstate *s, drlkmmod *m, const char *text, drlkmterm *out);
/* Frees the module and its trees (nothing for null); 0. */
int drlkmfree(drsrvstate *s, drlkmmod *m);

/* Longest entry of a tree (by its index) that text begins with; 0 none.
 * Exposed for the tests of the tree's building. */
int32_t drlkmmatch(const drlkmtop *idx, const char *text);

#endif
