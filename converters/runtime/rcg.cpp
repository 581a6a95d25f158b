// The recogniser record: a converter state record whose converter block is
// the recogniser's, and the detection call that binds a buffer to it.
#include "converters/runtime/rcg.h"

#include "converters/runtime/cx.h"

cxstate *rcgnew() {
  static const cxblkspec blocks[] = {{10, sizeof(rcgblk), nullptr}};
  cxstate *st = cxnewst(blocks, 1, rcgfree);
  if (!st) return nullptr;
  st->rcg->scratch = static_cast<uint8_t *>(cxalloc(st, 20));
  if (!st->rcg->scratch) {
    cxfreest(st);
    return nullptr;
  }
  return st;
}

void rcgfree(cxstate *st) {
  if (!st) return;
  if (st->rcg && st->rcg->scratch) cxfree(st, st->rcg->scratch);
  cxfreest(st);
}

int rcgscan(cxstate *st, int hint) { return rcgrun(st->rcg, hint); }

int rcgdetect(cxstate *st, const void *buf, int32_t length, int hint, int32_t *subcode) {
  // A state built for a conversion has no recogniser block; detection on it
  // (by name, with no bytes) runs on a block of its own.
  rcgblk local{};
  rcgblk *r = (st && st->rcg) ? st->rcg : &local;
  r->hinted = 0;
  r->subcode = 0;
  r->data = static_cast<const uint8_t *>(buf);
  r->length = (buf && length > 0) ? length : 0;
  int code = rcgrun(r, hint);
  if (subcode) *subcode = code != 0 ? r->subcode : 0;
  return code;
}
