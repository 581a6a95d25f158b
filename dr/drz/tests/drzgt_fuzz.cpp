// Fuzz target over the SQL scanner: any bytes, in a single-byte set, UTF8 or
// Shift-JIS, with the default table or a caller's, scanned to the end or a
// raise, with names and table references read on the way. The text sits in a
// block of exactly its length, so a read past it is caught.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "dr/dru/dru.h"
#include "dr/drz/drz.h"
#include "dr/drz/tests/drzload.h"

namespace {

drsrvstate *g_srv[3];

// Scans the whole text under st's error frame; C style only, a raise jumps
// out of it.
void scanall(drsrvstate *st, const char *text, int32_t len, bool loader) {
  drzgtstate *gt =
      drzgtnew(st, loader ? drzload::kTable : nullptr, loader ? drzload::kCount : 0, text, len);
  uint16_t tok = drzgtnext(st, gt);
  unsigned turn = 0;
  while (tok != DRZGT_EOT) {
    const char *at = gt->tokstart.pos;
    if (tok == DRZGT_IDENT || tok == DRZGT_COLON) {
      switch (turn++ % 3) {
        case 0: {
          drzgtref *ref = nullptr;
          drzgttabref(st, gt, &ref, DRZ_DB | 903);
          drzgtfreeref(st, &ref);
          break;
        }
        case 1: {
          drzgtnm *nm = nullptr;
          drzgtnames(st, gt, &nm, tok == DRZGT_COLON ? DRZGT_SIMPLE : DRZGT_DOTTED);
          drzgtfreenm(st, &nm);
          break;
        }
        default:
          drzgtkeyw(st, gt);
          break;
      }
    }
    char buf[8];
    uint16_t n = 0;
    drzgttext(st, gt, buf, sizeof buf, &n);
    if (n != gt->toklen || n > DRZGT_TEXTMAX) std::abort();
    if (gt->flags & DRZGT_ATEND) break;
    tok = gt->tokstart.pos == at ? drzgtnext(st, gt) : gt->token;
  }
  drzgtfree(st, &gt);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
#ifdef KES_SOURCE_DIR
  setenv("KESTRIN_HOME", KES_SOURCE_DIR, 0);
#endif
  const char *sets[3] = {"AMERICAN_AMERICA.WE8ISO8859P1", "AMERICAN_AMERICA.UTF8",
                         "JAPANESE_JAPAN.JA16SJIS"};
  for (int i = 0; i < 3; i++) {
    setenv("NLS_LANG", sets[i], 1);
    if (dracnnew(&g_srv[i]) != 0) std::abort();
  }
  unsetenv("NLS_LANG");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0 || size > 70000) return 0;
  drsrvstate *st = g_srv[data[0] % 3];
  bool loader = (data[0] / 3) & 1;
  drueclr(st);
  if (dracnchp(st) != 0) std::abort();
  int32_t len = static_cast<int32_t>(size - 1);
  char *text = static_cast<char *>(std::malloc(len ? static_cast<size_t>(len) : 1));
  std::memcpy(text, data + 1, static_cast<size_t>(len));
  rtframe fr;
  RTFRM_TRY(st->msg, fr) { scanall(st, text, len, loader); }
  else {
    rtfrmenter(st->msg, &fr);
    if (fr.sev != 2 || rtmsgcnt(st->msg) == 0) std::abort();  // a raise always says why
    rtfrmleave(st->msg, &fr);
  }
  rtfrmpop(st->msg, &fr, st->facid[DRFAC_DRG]);
  std::free(text);
  return 0;
}
