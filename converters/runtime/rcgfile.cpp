// Detection with the whole file at hand. The first 4096 bytes are named as
// the pipeline names them; the directory of a compound document, though,
// often lies further on (and is what names it), and its "WordDocument"
// stream may be of a version no converter here reads. Both are read from
// the file itself through the compound-document reader of a small run.
#include <cstdio>
#include <cstring>

#include "converters/runtime/cx.h"
#include "converters/runtime/df.h"
#include "converters/runtime/rcg.h"

namespace {

const unsigned char ksig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

bool hasstream(cxstate *st, int slot, const char *name) {
  int s = dfstmopen(st, slot, name, 1, 1);
  if (s < 0) return false;
  dfstmclose(st, slot, s);
  return true;
}

// A "WordDocument" stream starts with its identifier and its version
// number: Word 97 and later have the identifier A5EC or a version from 193
// on. A stream too short to tell is left to the Word 6 converter, which
// refuses what it cannot read.
int wordcode(cxstate *st, int slot) {
  int s = dfstmopen(st, slot, "WordDocument", 1, 1);
  if (s < 0) return 49;
  unsigned char b[4];
  int32_t got = dfstmread(st, slot, s, b, 4);
  dfstmclose(st, slot, s);
  if (got != 4) return 49;
  int ident = b[0] | b[1] << 8, version = b[2] | b[3] << 8;
  return ident == 0xA5EC || version >= 193 ? RCG_WORD97 : 49;
}

// The code a compound document's streams give, in the order of the
// recogniser's own compound tests (presentation, word processor, workbook);
// -1 when the file does not open as a compound document.
int compound(const char *path, int32_t *sub) {
  cxstate *st = cxnewst(nullptr, 0, nullptr);
  if (!st) return -1;
  int code = -1;
  cxentry(st, [&]() -> int {
    if (bfinit(st, 2, nullptr) != 0) return 0;
    st->fb->ministream = 1;
    int slot = dfopen(st, path, 1, nullptr, nullptr);
    if (slot < 0) return 0;
    *sub = 0;
    if (hasstream(st, slot, "PP40")) {
      code = 619, *sub = 2;
    } else if (hasstream(st, slot, "PowerPoint Document")) {
      code = 619, *sub = 3;
    } else if (hasstream(st, slot, "WordDocument")) {
      code = wordcode(st, slot);
    } else if (hasstream(st, slot, "Book")) {
      code = 21, *sub = 4;
    } else {
      code = 0;
    }
    dfdocclose(st, slot);
    return 0;
  });
  cxfreest(st);
  return code;
}

}  // namespace

int rcgdetectfile(cxstate *st, const char *path, int32_t *subcode) {
  std::FILE *f = std::fopen(path, "rb");
  if (!f) return -1;
  unsigned char buf[4096];
  size_t n = std::fread(buf, 1, sizeof buf, f);
  std::fclose(f);
  int32_t sub = 0;
  int code = rcgdetect(st, buf, static_cast<int32_t>(n), 0, &sub);
  if (n >= sizeof ksig && std::memcmp(buf, ksig, sizeof ksig) == 0) {
    int32_t csub = 0;
    int c = compound(path, &csub);
    if (c >= 0) code = c, sub = csub;
  }
  if (subcode) *subcode = sub;
  return code;
}
