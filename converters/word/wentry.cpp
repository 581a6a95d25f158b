// The Word 1.x/2.0 and Mac Word converter entries and their state records.
// With no zone-file name (always, in this system) an entry runs the text
// extractor; a zone-file name selects the full reader, whose first pass
// writes intermediate records into the output and whose second pass reads
// them back into the text and its zones.
#include <cstring>

#include "converters/runtime/cvtframe.h"
#include "converters/word/wfull.h"

namespace {

void w2init(void* block) {
  auto* b = static_cast<w2blk*>(block);
  cxw2init(&b->head);
  b->x.fstream = -1;
}

void w2docinit(void* block) {
  static_cast<w2docblk*>(block)->inhandle = -1;
}

void mwinit(void* block) {
  auto* b = static_cast<mwblk*>(block);
  b->x.fstream = -1;
  b->inhandle = -1;
}

// Runs the full reader when the state names a zone file; returns otherwise.
void fullreader(cxstate* st, int mac, const char* inpath, const char* outpath, char* closed) {
  if (!st->mn->zonefile) return;
  wfirst(st, mac, inpath, outpath);
  wsecond(st, mac, outpath, closed);
}

}  // namespace

cxstate* w2newst() {
  static const cxblkspec blocks[] = {{6, sizeof(w2blk), w2init}, {7, sizeof(w2docblk), w2docinit}};
  return cxnewst(blocks, 2, w2freest);
}

void w2freest(cxstate* st) { cxfreest(st); }

cxstate* mwnewst() {
  static const cxblkspec blocks[] = {{16, sizeof(mwblk), mwinit}, {17, sizeof(mwdocblk), nullptr}};
  return cxnewst(blocks, 2, mwfreest);
}

void mwfreest(cxstate* st) { cxfreest(st); }

int16_t cvtword2st(cxstate* st, const char* inpath, const char* outpath) {
  return cvtframe(st, nullptr, [&](char* closed) {
    fullreader(st, 0, inpath, outpath, closed);
    w2extract(st, inpath, outpath, closed);
  });
}

int16_t cvtmacwordst(cxstate* st, const char* inpath, const char* outpath) {
  return cvtframe(st, outpath, [&](char* closed) {
    fullreader(st, 1, inpath, outpath, closed);
    mwextract(st, inpath, outpath, closed);
  });
}

int wzonefile(cxstate* st, const char* name) {
  if (!st) return -1;
  size_t n = std::strlen(name) + 1;
  auto* z = static_cast<char*>(cxalloc(st, n));
  if (!z) return -1;
  std::memcpy(z, name, n);
  if (st->mn->zonefile) cxfree(st, st->mn->zonefile);
  st->mn->zonefile = z;
  return 0;
}

int16_t cvtword2(const char* inpath, const char* outpath) {
  return cvtword2st(w2newst(), inpath, outpath);
}

int16_t cvtmacword(const char* inpath, const char* outpath) {
  return cvtmacwordst(mwnewst(), inpath, outpath);
}
