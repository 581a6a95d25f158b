// The Word 1.x/2.0 and Mac Word converter entries and their state records.
// With no zone-file name (always, in this system) an entry runs the text
// extractor; the full readers that a zone-file name selects are not here,
// so such a run ends with status 9.
#include "converters/runtime/cvtframe.h"
#include "converters/word/word.h"

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

// Ends a run that asks for a full reader: none is built yet.
void nozones(cxstate* st) {
  if (st->mn->zonefile) cxthrow(st, CX_NOTFMT);
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
    nozones(st);
    w2extract(st, inpath, outpath, closed);
  });
}

int16_t cvtmacwordst(cxstate* st, const char* inpath, const char* outpath) {
  return cvtframe(st, outpath, [&](char* closed) {
    nozones(st);
    mwextract(st, inpath, outpath, closed);
  });
}

int16_t cvtword2(const char* inpath, const char* outpath) {
  return cvtword2st(w2newst(), inpath, outpath);
}

int16_t cvtmacword(const char* inpath, const char* outpath) {
  return cvtmacwordst(mwnewst(), inpath, outpath);
}
