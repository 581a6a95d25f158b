// The converter bridge. The recogniser and the converters are the converter
// family's; the framework is process-wide (its readers, its return point),
// so a run holds the one lock from the first pull to the last.
#include "dr/drgb/drgbs.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "converters/runtime/fmtcat.h"
#include "converters/runtime/rcg.h"
#include "dr/drgb/drgbt.h"
#include "filters/framework/runtime/cv.h"
#include "filters/readers/rdr.h"

namespace {

std::mutex gFrameLock;
std::once_flag gReaders;

const convhostcb kCallbacks = {drgbsread, drgbsseek, drgbstell, drgbsalloc, drgbsfree};

drgbhandle *hof(void *h) { return static_cast<drgbhandle *>(h); }

// Pulls one of the framework's outputs into a buffer; 0 / 1.
int pull(drsrvstate *st, convstate *cv, druvfd *out, bool text, int64_t limit) {
  if (druvfclose(out) != 0 || !druvfopen(out, DRUVF_REWRITE)) return 1;
  char buf[2000];
  int64_t total = 0;
  for (;;) {
    int n = 0;
    int r = text ? convgettext(cv, buf, sizeof buf, &n) : convgetint(cv, buf, sizeof buf, &n);
    if (r == -1) {
      druvfclose(out);
      return 1;
    }
    if (n <= 0) break;
    total += n;
    if (limit > 0 && total > limit) {
      std::string lim = std::to_string(limit);
      dracnerr(st, DRFAC_DRG, 11213, 2, DRA_STR, lim.c_str(), 0);
      druvfclose(out);
      return 1;
    }
    if (druvfwrite(out, buf, static_cast<int16_t>(n)) != n) {
      druvfclose(out);
      return 1;
    }
  }
  return druvfclose(out) != 0 ? 1 : 0;
}

}  // namespace

int16_t drgbsfmtid(int32_t code, int32_t) {
  switch (code) {
    case 1: return DRGB_PLAIN;
    case 5: return 2;
    case 7: return 4;
    case 20: return 9;
    case 21: return 10;
    case 33: return 8;
    case 44: return 7;
    case 48: return 5;
    case 49: return 11;
    case 54: return 6;
    case 103: return 13;
    case 107: return 12;
    default: return DRGB_NONE;
  }
}

int drgbsentry(int16_t cvid, cvtentry *entry) {
  cvtentry e = nullptr;
  if (!cvtfind(cvid, &e)) return 1;
  *entry = e;
  return 0;
}

int drgbsdetect(drsrvstate *st, druvfd *buf, int16_t *cvid, int16_t *row, int32_t progs,
                drgbtdir *tmp) {
  if (druvfseek(buf, 0, 0) < 0) {
    druetrc();
    return 1;
  }
  unsigned char head[DRGBS_HEAD];
  int len = 0;
  while (len < DRGBS_HEAD) {
    int16_t n = druvfread(buf, head + len, static_cast<int16_t>(DRGBS_HEAD - len));
    if (n < 0) {
      druetrc();
      return 1;
    }
    if (n == 0) break;
    len += n;
  }
  cxstate *r = rcgnew();
  if (!r) {
    dracnerr(st, DRFAC_DRG, 10900, 2, 0);
    druetrc();
    return 1;
  }
  int32_t sub = 0;
  int code = rcgdetect(r, head, len, 0, &sub);
  rcgfree(r);
  // A compound document is named by its directory and the version of its
  // streams; word processors often write the directory past the first 4096
  // bytes, so the whole document is read for it.
  static const unsigned char ksig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  if (len >= 8 && std::memcmp(head, ksig, sizeof ksig) == 0) {
    int whole = 0;
    int32_t wsub = 0;
    if (drgbtwhole(st, buf, &whole, &wsub, tmp) != 0) {
      druetrc();
      return 1;
    }
    code = whole;
    sub = wsub;
  }
  if (code <= 0) {
    dracnerr(st, DRFAC_DRG, 11201, 0, 0);
    druetrc();
    return 1;
  }
  int32_t c32 = code;
  *row = DRGB_NONE;
  if (progs > 0) {
    int at = fmtfind(code);
    if (at < 0) {
      dracnerr(st, DRFAC_DRG, 11203, 2, DRA_SWORD, &c32, DRA_SWORD, &sub, 0);
      druetrc();
      return 1;
    }
    *row = static_cast<int16_t>(at);
  }
  *cvid = drgbsfmtid(code, sub);
  if (*cvid == DRGB_NONE && progs <= 0) {
    dracnerr(st, DRFAC_DRG, 11203, 2, DRA_SWORD, &c32, DRA_SWORD, &sub, 0);
    druetrc();
    return 1;
  }
  if (druvfseek(buf, 0, 0) < 0) {
    druetrc();
    return 1;
  }
  return 0;
}

int drgbshost(drsrvstate *st, druvfd *src, druvfd *icf, druvfd *text, int64_t limit) {
  drgbhandle h = {st, src};
  if (!druvfopen(src, DRUVF_READ)) {
    druetrc();
    return 1;
  }
  // The readers are installed once, before the first run needs them.
  std::call_once(gReaders, rdrregister);
  std::lock_guard<std::mutex> one(gFrameLock);
  convstate *cv = convopen(&h, &kCallbacks);
  if (!cv || pull(st, cv, text, true, limit) != 0 || pull(st, cv, icf, false, limit) != 0) {
    // The framework's blocks go with the command heap.
    dracnerr(st, DRFAC_DRG, 11211, 2, 0);
    druetrc();
    return 1;
  }
  return 0;
}

int drgbsread(void *handle, void *buf, int len, int *count) {
  druvfd *vf = hof(handle)->src;
  int want = std::clamp(len, 0, 32767);
  int got = 0;
  // The data store may hand out less than asked: the framework gets all it
  // asked for up to the end of the document.
  while (got < want) {
    int16_t n = druvfread(vf, static_cast<char *>(buf) + got, static_cast<int16_t>(want - got));
    if (n < 0) {
      *count = -1;
      return -1;
    }
    if (n == 0) break;
    got += n;
  }
  *count = got;
  return got;
}

long drgbsseek(void *handle, long offset, int whence) {
  if (offset < INT32_MIN || offset > INT32_MAX) return -1;
  int16_t w = static_cast<int16_t>(whence);
  if (w < 0 || w > 2) return -1;
  return druvfseek(hof(handle)->src, static_cast<int32_t>(offset), w);
}

long drgbstell(void *handle, long *pos) {
  long p = druvfseek(hof(handle)->src, 0, 1);
  if (pos) *pos = p;
  return p;
}

void *drgbsalloc(void *handle, size_t size) {
  drsrvstate *st = hof(handle)->st;
  return drumalc(st, st->hpmgr, st->cmdhp, 1, size + 3, __FILE__, __LINE__);
}

int drgbsfree(void *handle, void *block) {
  drsrvstate *st = hof(handle)->st;
  void *b = block;
  return drumfre(st, st->hpmgr, st->cmdhp, &b) == 0 ? 0 : 1;
}
