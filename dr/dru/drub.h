/* String arena: strings and small aligned records copied into a chain of
 * equal blocks taken from a heap; they keep their addresses until the arena
 * is rewound or freed, and nothing is freed one by one. Main thread only. */
#ifndef KES_DR_DRU_DRUB_H
#define KES_DR_DRU_DRUB_H

#include <cstdint>

#include "dr/dra/dra.h"

/* Defaults of drubnew for a size given as 0. */
enum { DRUB_DEFITEM = 64, DRUB_DEFBLOCK = 4096 };

/* Messages of the arena (internal errors). */
enum {
  DRUB_EBLOCK = 50000, /* the largest item does not fit a block */
  DRUB_EITEM = 50001   /* a string longer than the largest item */
};

/* The arena record; field order as its callers read it. */
typedef struct drubbuf {
  void *user;        /* the creator's value, not used by the arena */
  uint32_t maxitem;  /* most bytes one string may take, terminator included */
  uint32_t blksize;  /* payload bytes per block */
  int32_t nblocks;   /* blocks allocated so far: nblocks x blksize is the memory in use */
  char *last;        /* start of the last raw item reserved */
  char *pos;         /* where the next item goes in the current block */
  char *end;         /* end of the current block */
  drheap heap;       /* where the record and the blocks come from */
  drsrvstate *st;    /* state it was made for */
  void *first;       /* head of the block chain */
  void **curlink;    /* link word of the current block; &first before the first block */
} drubbuf;

/* Creates an empty arena (no block yet) on the heap; largest item 0 means 64,
 * block size 0 means 4096. Null after pushing 50000 when the largest item
 * exceeds the block size, or 10900 when memory is short. */
drubbuf *drubnew(drsrvstate *st, drheap heap, uint32_t maxitem, void *user, uint32_t blksize);
/* Copies a NUL-terminated string into the arena, moving to a new block when
 * less than the largest item is left; the copy's address, or null after
 * pushing 50001 (string longer than the largest item) or 10900. */
char *drubadd(drubbuf *b, const char *s);
/* Moves to the next block, reusing one left from before a rewind or
 * allocating one of block size + the link word; 0, or 1 after 10900. */
int drubblk(drubbuf *b);
/* Reserves n raw bytes (not cleared) at the next pointer-aligned position,
 * moving to the next block when the current one lacks room; null when n
 * exceeds the block size (nothing pushed) or a block cannot be had (10900). */
void *drubrsv(drubbuf *b, uint32_t n);
/* drubrsv at the next position aligned to align bytes (a power of two no
 * larger than a pointer), for items that hold no pointer. */
void *drubrsva(drubbuf *b, uint32_t n, uint32_t align);
/* Rewinds so that the next item goes to the first block again; release 1
 * also frees every block. */
void drubrst(drubbuf *b, uint8_t release);
/* Frees every block; the arena is then empty and rewound. */
void drubfra(drubbuf *b);
/* Frees every block and the record; the heap layer's result for the record. */
int drubfre(drubbuf *b);

#endif
