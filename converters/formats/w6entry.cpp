// The Word 6 converter entry and its state record. The document is a
// compound document whose "WordDocument" stream holds header and text; with
// no zone-file name (always, in this system) the text extractor reads it,
// with one the full reader (w6full.h).
#include <cstddef>

#include "converters/formats/cvt.h"
#include "converters/formats/w6full.h"
#include "converters/runtime/cvtframe.h"

static_assert(offsetof(w6blk, x) == 0, "the Word 6 block begins with the extractor's settings");

namespace {

void w6init(void *block) { static_cast<w6blk *>(block)->x.fstream = -1; }

} // namespace

cxstate *w6newst() {
  static const cxblkspec blocks[] = {{18, sizeof(w6blk), w6init}};
  return cxnewst(blocks, 1, w6freest);
}

void w6freest(cxstate *st) { cxfreest(st); }

int16_t cvtword6st(cxstate *st, const char *inpath, const char *outpath) {
  return cvtframe(st, nullptr, [&](char *closed) {
    cxregsinit(st);
    // Streams shorter than 4096 bytes live in the document's mini stream.
    st->fb->ministream = 1;
    if (st->mn->zonefile) {
      cvtoutname(st, outpath);
      w6fullrun(st, inpath, outpath, closed);
    }
    w6extract(st, inpath, outpath, closed);
  });
}

int16_t cvtword6(const char *inpath, const char *outpath) { return cvtword6st(w6newst(), inpath, outpath); }
