// The format recogniser: names a document's format from its first bytes by
// running a fixed series of format tests over a caller's buffer. It never
// reads a file; the caller hands it the bytes (at most 4096 in practice).
#ifndef KES_CONVERTERS_RUNTIME_RCG_H
#define KES_CONVERTERS_RUNTIME_RCG_H

#include <cstdint>

struct cxstate;

// The recogniser's block of the state record (converter slot 10).
struct rcgblk {
  uint8_t *scratch;    // 20 zeroed bytes, allocated and freed with the block
  int32_t hinted;      // 1 while the test named by a hint runs
  int32_t length;      // bytes available from data on
  int32_t subcode;     // sub-code of the last test that set it
  const uint8_t *data; // first byte to examine
};

// Builds a recogniser record; none when an allocation fails.
cxstate *rcgnew();
// Frees a recogniser record and all its blocks.
void rcgfree(cxstate *st);
// Names the format of buf[0..length): the catalogue code (0 when nothing
// matched) and, through subcode, the variant within it.
int rcgdetect(cxstate *st, const void *buf, int32_t length, int hint, int32_t *subcode);
// The code of a compound document whose "WordDocument" stream is of Word 97
// or later: a format of its own, which the catalogue does not list and no
// converter claims (the Word 6 converter reads only the older streams).
constexpr int RCG_WORD97 = 50;
// Names the format of the file at path, the way rcgdetect names its first
// 4096 bytes; but a compound document is named by its directory, read where
// the header places it, and by the version that its "WordDocument" stream
// states. -1 (errno set) when the file cannot be read.
int rcgdetectfile(cxstate *st, const char *path, int32_t *subcode);
// Runs the hinted test and then the fixed order over the record's block.
int rcgscan(cxstate *st, int hint);
// The same scan over a bare block (data, length set; hinted, subcode cleared).
int rcgrun(rcgblk *r, int hint);

#endif  // KES_CONVERTERS_RUNTIME_RCG_H
