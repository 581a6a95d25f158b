// The server's command-line options as the option parser hands them over:
// the callback that keeps each value, the usage text and the banner.
#include <cstring>

#include "dr/drt/drt.h"
#include "dr/drt/drtint.h"
#include "dr/dru/dru.h"

namespace {

constexpr char kLetters[] = "DMQRL";

// Keeps a value whole or refuses it: a connect string or file name cut short
// would silently name something else.
int keep(drsrvstate *s, const char *opt, char *dst, size_t size, const char *value) {
  size_t n = strlen(value);
  if (n >= size) {
    int32_t most = static_cast<int32_t>(size - 1);
    dracnerr(s, DRFAC_DRG, 10103, 2, DRA_STR, opt, DRA_SB4, &most, 0);
    druetrc();
    return 1;
  }
  nlscpy(drmcs(s), dst, size, value);
  return 0;
}

}  // namespace

int drtoptcb(drsrvstate *s, void *data, uint8_t idx, const char *value) {
  auto *o = static_cast<drtopts *>(data);
  switch (idx) {
    case 0:
      return keep(s, "-user", o->user, sizeof o->user, value);
    case 1:
      o->sqltrace = 1;
      return 0;
    case 2:
      return keep(s, "-logfile", o->logfile, sizeof o->logfile, value);
    case 3: {
      // At most the first 30 characters are the mask; each must be known.
      char mask[sizeof o->mask];
      nlsccpy(drmcs(s), mask, sizeof mask, value, sizeof mask - 1);
      for (const char *c = mask; *c; ++c) {
        if (!strchr(kLetters, *c)) {
          dracnerr(s, DRFAC_DRG, 10200, 2, DRA_STR, value, 0);
          druetrc();
          return 1;
        }
      }
      memcpy(o->mask, mask, sizeof mask);
      return 0;
    }
    default: {
      int32_t i = idx;
      dracnierr(s, DRFAC_DRG, 51100, 2, DRA_STR, __FILE__, DRA_INT, __LINE__, DRA_SB4, &i, DRA_STR,
                value ? value : "", 0);
      druetrc();
      return 1;
    }
  }
}

void drtusage(drsrvstate *s) {
  rtstream *out = rtstdout(s->rt);
  dracnprt(s, out, "Usage: veksrv \n", 0);
  dracnprt(s, out, "    -user     <dbuser>\n", 0);
  dracnprt(s, out, "   [-sqltrace]\n", 0);
  dracnprt(s, out, "   [-logfile      <filename>]\n", 0);
  dracnprt(s, out, "   [-personality  <mask>]\n", 0);
  dracnprt(s, out, "\n", 0);
}

void drtbanner(char *buf) {
  if (druobnr(buf, 152, "Kestrin Lumidex Option", 0x02004000, 0) < 0) buf[0] = '\0';
}
