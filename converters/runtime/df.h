// The compound-document (OLE2) reader of a converter run: opens a document
// through a virtual file, finds streams by name in its directory and reads
// them along their sector chains, and binds such streams to the virtual-file
// layer so that a stream name opens like a file name. Reading only: nothing
// in the system writes compound documents, so the write operations refuse.
#ifndef KES_CONVERTERS_RUNTIME_DF_H
#define KES_CONVERTERS_RUNTIME_DF_H

#include <cstdint>

#include "converters/runtime/cx.h"

// Error callback of an open document: ends the run with the status.
using dferrcb_t = void (*)(cxstate *st, int status);

inline constexpr int DF_NSLOTS = 2;     // open documents per run
inline constexpr int DF_NSTREAMS = 16;  // open streams per document
inline constexpr int DF_NFAT = 237;     // FAT sectors reachable: 109 + 128
inline constexpr int DF_SECTOR = 512;
inline constexpr int DF_MINISECTOR = 64;
inline constexpr int DF_MINICUTOFF = 4096;

// One open stream of a document.
struct dfstream {
  int32_t inuse;
  int32_t pos;         // position in the stream
  int32_t mode;        // 1 open, 2 create, 3 open or create
  int32_t share;       // the value given at open
  int32_t entryoff;    // file offset of its 128-byte directory entry
  uint32_t name[32];   // the entry's 16-bit name characters
  int32_t start;       // first sector, or first mini sector
  int32_t size;        // bytes
};

// The header as kept in memory.
struct dfheader {
  int32_t loaded;
  int32_t mode;        // 1 read
  int32_t fatcount;    // FAT sector count
  int32_t minifat;     // first mini-FAT sector
  int32_t minifatcount;
  int32_t fat[DF_NFAT];  // FAT sector numbers: 109 from the header, 128 from one extension sector
};

// One open compound document.
struct dfslot {
  int32_t inuse;
  dferrcb_t errcb;
  int32_t mode;        // 1 read, 2 write
  void *cookie;        // the caller's value given to dfopen
  int32_t vfile;       // virtual-file slot of the document's bytes
  int32_t dirstart;    // first directory sector; -1 without a directory
  dfheader hdr;
  dfstream streams[DF_NSTREAMS];
  // The reader's own: a copy of the path (the virtual file keeps a pointer
  // to its name), the document's length in whole or partial sectors
  // (every sector number is checked against it, and it bounds every chain
  // walk), and the FAT sector read last.
  char *path;          // the document's path, kept for the virtual file
  int32_t nsectors;
  int32_t fatcached;   // FAT list index of the cached sector, -1 none
  uint32_t fatcache[DF_SECTOR / 4];
};

// dfopen: opens the document at path in a free slot (mode 1 reads; mode 2,
// creating, is refused); the slot index, or -1 after reporting 5 or 9.
int dfopen(cxstate *st, const char *path, int mode, void *cookie, dferrcb_t errcb);
// dfdocclose: closes the document's streams and its file and frees the slot; 0.
int dfdocclose(cxstate *st, int slot);
// dfstmopen: opens a stream by name (mode 1); its index 0-15, or -1 after reporting 5.
int dfstmopen(cxstate *st, int slot, const char *name, int mode, int share);
// dfstmread: copies up to n bytes from the stream's position on; the count.
int32_t dfstmread(cxstate *st, int slot, int stream, void *buf, int32_t n);
// dfstmwrite: refused (status 5): documents are only read.
int32_t dfstmwrite(cxstate *st, int slot, int stream, const void *data, int32_t n);
// dfstmseek: moves the position (origin 0 start, 1 position, 2 end); the new position or -1.
int32_t dfstmseek(cxstate *st, int slot, int stream, int32_t offset, int origin);
// dfstmsize: the stream's size, or -1.
int32_t dfstmsize(cxstate *st, int slot, int stream);
// dfstmtell: the stream's position, or -1.
int32_t dfstmtell(cxstate *st, int slot, int stream);
// dfstmsetpos: sets the position (0 to the size); the position, or -1.
int32_t dfstmsetpos(cxstate *st, int slot, int stream, int32_t pos);
// dfstmclose: frees the stream entry; 0.
int dfstmclose(cxstate *st, int slot, int stream);

// The run's one compound document reached through virtual files (docfile).
// dfopenread: opens the document to read and makes it the run's document.
int dfopenread(cxstate *st, const char *path, dferrcb_t errcb);
// dfopenwrite: the same for creating a document: refused (5).
int dfopenwrite(cxstate *st, const char *path, dferrcb_t errcb);
// dfopenstream: opens a stream of the run's document as a virtual file with
// a window of that size; the virtual-file slot, or -1.
int dfopenstream(cxstate *st, const char *name, int window);
// dfcreatestream: the same for a new stream: refused by the open callback.
int dfcreatestream(cxstate *st, const char *name, int window);
// dfsize, dfseek, dftell, dfread, dfwrite, dfclosestream: the virtual-file
// operations on a stream opened by dfopenstream.
int32_t dfsize(cxstate *st, int f);
int32_t dfseek(cxstate *st, int f, int32_t pos);
int32_t dftell(cxstate *st, int f);
int32_t dfread(cxstate *st, int f, void *buf, int32_t n);
int32_t dfwrite(cxstate *st, int f, const void *data, int32_t n);
int dfclosestream(cxstate *st, int f);
// dfgetc: the next byte of the stream as 0-255, or -1 at its end.
int dfgetc(cxstate *st, int f);
// dfclose: closes the run's document.
int dfclose(cxstate *st);

// The six virtual-file callbacks that dfopenstream installs: a stream's
// index in the run's document serves as the handle.
int dfcbopen(cxstate *st, const char *name, int mode, int share);
int dfcbclose(cxstate *st, int handle);
int dfcbread(cxstate *st, int handle, void *buf, int n);
int dfcbwrite(cxstate *st, int handle, const void *data, int n);
int dfcbseek(cxstate *st, int handle, int offset, int origin);
int dfcbexists(cxstate *st, const char *name);

#endif  // KES_CONVERTERS_RUNTIME_DF_H
