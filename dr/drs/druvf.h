/* The document buffer: how a data store hands a document to a filter and a
 * filter hands what it made to the next stage. Either a chain of blocks
 * (write, rewrite, read back, seek) or a read-only view of a data store. */
#ifndef KES_DR_DRS_DRUVF_H
#define KES_DR_DRS_DRUVF_H

#include <cstdint>

#include "dr/dra/dra.h"
#include "dr/dras/drdsops.h"

/* Open modes. */
enum : int16_t { DRUVF_READ = 0, DRUVF_WRITE = 1, DRUVF_REWRITE = 4 };

/* Bytes of a block. */
enum : uint32_t { DRUVF_BLOCK = 2048 };

/* One block of a chain. */
struct druvfblk {
  void *data;      /* the block's bytes */
  uint32_t size;   /* room of the block */
  int32_t start;   /* document offset of its first byte */
  druvfblk *next;  /* the following block, or null */
};

/* A document buffer, embedded in its owner's record. */
struct druvfd {
  drsrvstate *st;    /* heap manager and error stack */
  drheap heap;       /* where blocks come from */
  uint32_t open;     /* nonzero while open */
  int16_t mode;      /* DRUVF_READ, DRUVF_WRITE or DRUVF_REWRITE */
  drobj *src;        /* a data store read through its slots, or null for a chain */
  int32_t len;       /* document bytes the chain holds */
  uint32_t bsize;    /* size of new blocks */
  druvfblk *first;   /* head of the chain */
  druvfblk *cur;     /* block of the current position; null at the end */
  int32_t off;       /* position within the current block */
};

/* Fills a closed, empty descriptor over a heap, reading from src when it is
 * given; allocates nothing; 0. */
int druvfinit(druvfd *vf, drsrvstate *st, drheap heap, drobj *src);
/* Opens the buffer in a mode at offset 0 (DRUVF_REWRITE empties it); the
 * buffer, or null after pushing 51503, 51504 or 51505. */
druvfd *druvfopen(druvfd *vf, int16_t mode);
/* Copies at most n bytes of the document at the current position; the
 * count, 0 at the end of the document, -1 after pushing why. */
int16_t druvfread(druvfd *vf, void *dst, int16_t n);
/* Writes n bytes at the current position, lengthening the document when
 * it passes the end; n, or -1 after pushing why. */
int16_t druvfwrite(druvfd *vf, const void *src, int16_t n);
/* Moves the position (whence 0 from the start, 1 from the current
 * position, 2 from the end); the new position, or -1. Offset 0 from the
 * current position is the buffer's tell. */
int32_t druvfseek(druvfd *vf, int32_t off, int16_t whence);
/* Ends the current open, keeping the document; 0, or -1 when a release
 * fails. */
int16_t druvfclose(druvfd *vf);
/* Kind 1 releases the blocks after the one that holds the document's last
 * byte; other kinds do nothing. 0, or 1 when a release fails. */
int druvftrim(druvfd *vf, int kind);
/* Closes the buffer and frees every block; 0 (also for null), or 1. */
int druvfdestroy(druvfd *vf);
/* Adds one zero-filled block at the end of the chain and makes it current;
 * 0, or 1 after the heap manager's 10900. */
int druvfblock(druvfd *vf);

#endif
